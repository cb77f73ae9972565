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

}  // namespace

std::optional<std::u16string> ReadIniString(std::u16string_view file, std::u16string_view section,
                                            std::u16string_view key, std::size_t maxChars) {
  auto value = plat::profile::ReadValue(file, section, key);
  if (!value || *value == kMissing || value->size() > maxChars) return std::nullopt;
  return value;
}

INT ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, INT defaultValue) {
  const std::u16string f(file), sec(section), k(key);
  return static_cast<INT>(GetPrivateProfileIntW(sec.c_str(), k.c_str(), defaultValue, f.c_str()));
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
