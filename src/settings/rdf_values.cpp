#include "settings/rdf_values.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "plat/profile.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// _wtoi: optional sign and decimal digits; anything else ends the number.
// Saturated to 32 bits instead of overflowing (saturated then set).
int ToInt(std::u16string_view text, bool& saturated) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  std::int64_t v = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    v = v * 10 + (text[i] - u'0');
    if (v > kLimit) {
      v = kLimit;
      saturated = true;
    }
  }
  if (negative) v = -v;
  const std::int64_t fitted = std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  if (fitted != v) saturated = true;
  return static_cast<int>(fitted);
}

}  // namespace

int ReadRdfString(const WCHAR* file, const WCHAR* section, const WCHAR* key, WCHAR* buffer, DWORD size) {
  if (!file || !section || !key || !buffer || size == 0) return -1;
  buffer[0] = 0;
  const DWORD n = GetPrivateProfileStringW(section, key, u"", buffer, size, file);
  if (n == 0) return -1;
  return static_cast<int>(n);
}

std::size_t NextRdfField(std::u16string_view value, std::u16string& field) {
  field.clear();
  std::size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  const std::size_t start = i;
  while (i < value.size() && value[i] != u',') ++i;
  field.assign(value.substr(start, i - start));
  if (i < value.size()) ++i;  // the separator
  return i;
}

int ScanRdfValue(std::u16string_view value, std::string_view format, std::span<const RdfTarget> targets,
                 bool* saturated) {
  // The format is checked whole first, so that a bad one changes no target.
  std::size_t conversions = 0;
  for (std::size_t i = 0; i < format.size(); i += 2, ++conversions) {
    if (format[i] != '%' || i + 1 >= format.size() || (format[i + 1] != 'd' && format[i + 1] != 's')) return -1;
  }
  if (targets.size() < conversions) return -1;

  std::u16string field;
  bool cut = false;
  for (std::size_t c = 0; c < conversions; ++c) {
    const bool number = format[2 * c + 1] == 'd';
    const RdfTarget& target = targets[c];
    // Fields past the end of the value are zero or empty.
    const bool have = !value.empty();
    if (have) {
      value.remove_prefix(NextRdfField(value, field));
    } else {
      field.clear();
    }
    if (number) {
      if (target.number) *target.number = have ? ToInt(field, cut) : 0;
    } else if (target.text) {
      target.text->assign(field.substr(0, kRdfTextMax));
    }
  }
  if (saturated) *saturated = cut;
  return 1;
}
