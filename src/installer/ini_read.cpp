#include "installer/ini_read.h"

namespace installer {
namespace {

constexpr std::u16string_view kMissing = u"error";

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A list read (null key or section): the buffer grows until the list fits.
std::vector<std::u16string> ReadList(std::u16string_view file, std::u16string_view section, bool lines) {
  const std::u16string f(file), sec(section);
  for (DWORD size = 1024;; size *= 2) {
    std::u16string buffer(size, u'\0');
    const DWORD n = lines ? GetPrivateProfileSectionW(sec.c_str(), buffer.data(), size, f.c_str())
                          : GetPrivateProfileStringW(sec.c_str(), nullptr, u"", buffer.data(), size, f.c_str());
    if (n + 2 >= size && size < (1u << 24)) continue;  // cut: try a larger buffer
    std::vector<std::u16string> out;
    for (std::size_t at = 0; at < n;) {
      const std::u16string_view item(buffer.data() + at);
      if (item.empty()) break;
      out.emplace_back(item);
      at += item.size() + 1;
    }
    return out;
  }
}

}  // namespace

std::optional<std::u16string> ReadIniString(std::u16string_view file, std::u16string_view section,
                                            std::u16string_view key, std::size_t maxChars) {
  const std::u16string f(file), sec(section), k(key);
  // One unit more than the field holds shows a value that would be cut.
  std::u16string buffer(maxChars + 2, u'\0');
  const DWORD n = GetPrivateProfileStringW(sec.c_str(), k.c_str(), u"error", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), f.c_str());
  buffer.resize(n);
  if (buffer == kMissing || n > maxChars) return std::nullopt;
  return buffer;
}

INT ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, INT defaultValue) {
  const std::u16string f(file), sec(section), k(key);
  return static_cast<INT>(GetPrivateProfileIntW(sec.c_str(), k.c_str(), defaultValue, f.c_str()));
}

std::vector<std::u16string> ReadIniKeys(std::u16string_view file, std::u16string_view section) {
  return ReadList(file, section, false);
}

std::vector<std::u16string> ReadIniSection(std::u16string_view file, std::u16string_view section) {
  return ReadList(file, section, true);
}

std::optional<std::u16string_view> Unframe(std::u16string_view text, char16_t delimiter) {
  if (text.size() < 2 || text.front() != delimiter || text.back() != delimiter) return std::nullopt;
  return text.substr(1, text.size() - 2);
}

std::vector<std::u16string> SplitCommaFields(std::u16string_view text) {
  std::vector<std::u16string> out;
  for (;;) {
    const auto comma = text.find(u',');
    out.emplace_back(Trim(text.substr(0, comma)));
    if (comma == std::u16string_view::npos) return out;
    text.remove_prefix(comma + 1);
  }
}

int ScanCommaList(std::u16string_view text, std::u16string_view format, std::initializer_list<ScanOutput> outputs) {
  if (format.size() != outputs.size() * 2) return -1;
  for (std::size_t i = 0; i < format.size(); i += 2)
    if (format[i] != u'%' || (format[i + 1] != u's' && format[i + 1] != u'd')) return -1;
  std::size_t index = 0;
  bool more = true;
  for (const ScanOutput& out : outputs) {
    if (!more) return -1;  // fewer fields than conversions
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    const auto comma = text.find(u',');
    const std::u16string_view field = text.substr(0, comma);
    more = comma != std::u16string_view::npos;
    if (more) text.remove_prefix(comma + 1);
    if (format[index * 2 + 1] == u's') {
      if (!out.text || field.size() + 1 > out.units) return -1;
      field.copy(out.text, field.size());
      out.text[field.size()] = 0;
    } else {
      const std::u16string_view digits = Trim(field);
      std::size_t at = (!digits.empty() && (digits[0] == u'-' || digits[0] == u'+')) ? 1 : 0;
      if (at == digits.size() || digits.size() > 11 || !out.number) return -1;
      long long value = 0;
      for (std::size_t k = at; k < digits.size(); ++k) {
        if (digits[k] < u'0' || digits[k] > u'9') return -1;
        value = value * 10 + (digits[k] - u'0');
      }
      if (digits[0] == u'-') value = -value;
      if (value < INT32_MIN || value > INT32_MAX) return -1;
      *out.number = static_cast<INT>(value);
    }
    ++index;
  }
  return 1;
}

int HasNonBlank(std::u16string_view text) {
  for (char16_t c : text)
    if (c != u' ') return 1;
  return 0;
}

}  // namespace installer
