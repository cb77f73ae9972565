// DocSettings fields by name for printjob's --set.
#include "printjob/settings_options.h"

#include <charconv>
#include <cstddef>
#include <utility>

#include "plat/strings.h"
#include "settings/doc_settings.h"

namespace printjob {

namespace {

// Integer and text fields by name, from the layout of DocSettings.
struct Field {
  std::string_view name;
  std::size_t offset;
  std::size_t size;  // bytes of an integer; units of a text
  bool isSigned;
  bool isText;
};

// The field of a name, including the array forms.
bool FindField(std::string_view name, Field& out) {
  for (const SettingField& f : DocSettingsFields())
    if (f.name == name && f.kind != SettingKind::Other) {
      out = Field{f.name, f.offset, f.size, f.isSigned, f.kind == SettingKind::Text};
      return true;
    }
  auto indexOf = [&](std::string_view prefix, std::size_t count, std::size_t& index, std::string_view& rest) {
    if (name.substr(0, prefix.size()) != prefix) return false;
    std::string_view tail = name.substr(prefix.size());
    std::size_t close = tail.find(']');
    if (close == std::string_view::npos) return false;
    auto [p, ec] = std::from_chars(tail.data(), tail.data() + close, index);
    if (ec != std::errc() || p != tail.data() + close || index >= count) return false;
    rest = tail.substr(close + 1);
    return true;
  };
  std::size_t i = 0;
  std::string_view rest;
  if (indexOf("ImagePositionOffsets[", 8, i, rest) && rest.empty()) {
    out = Field{name, offsetof(DocSettings, ImagePositionOffsets) + 4 * i, 4, true, false};
    return true;
  }
  if (indexOf("ProgramPrintBlock[", 6, i, rest) && (rest == ".Copies" || rest == ".Sets")) {
    out = Field{name, offsetof(DocSettings, ProgramPrintBlock) + 8 * i + (rest == ".Sets" ? 4 : 0), 4, true, false};
    return true;
  }
  return false;
}

// The values an integer field holds: its width and sign.
std::pair<std::int64_t, std::int64_t> Bounds(const Field& f) {
  const int bits = static_cast<int>(8 * f.size);
  if (f.isSigned) return {-(std::int64_t{1} << (bits - 1)), (std::int64_t{1} << (bits - 1)) - 1};
  return {0, (std::int64_t{1} << bits) - 1};
}

std::string RangeOf(const Field& f) {
  if (f.isText) return "text of at most " + std::to_string(f.size - 1) + " characters";
  const auto [lo, hi] = Bounds(f);
  return std::to_string(lo) + ".." + std::to_string(hi);
}

}  // namespace

std::vector<std::string> DocSettingNames() {
  std::vector<std::string> lines;
  for (const SettingField& f : DocSettingsFields()) {
    if (f.kind == SettingKind::Other) continue;
    Field field{};
    if (FindField(f.name, field)) lines.push_back(std::string(f.name) + " " + RangeOf(field));
  }
  Field offsets{}, block{};
  FindField("ImagePositionOffsets[0]", offsets);
  FindField("ProgramPrintBlock[0].Copies", block);
  lines.push_back("ImagePositionOffsets[0..7] " + RangeOf(offsets));
  lines.push_back("ProgramPrintBlock[0..5].Copies, ProgramPrintBlock[0..5].Sets " + RangeOf(block));
  return lines;
}

std::string SetDocSetting(std::span<std::uint8_t> settings, std::string_view name, std::string_view value) {
  if (settings.size() != sizeof(DocSettings)) return "settings block of the wrong size";
  Field f{};
  if (!FindField(name, f)) return "unknown setting " + std::string(name);
  if (f.isText) {
    std::u16string text = plat::u16(value);
    if (text.size() + 1 > f.size)
      return std::string(name) + " holds at most " + std::to_string(f.size - 1) + " characters";
    for (std::size_t u = 0; u < f.size; ++u) {
      char16_t c = u < text.size() ? text[u] : 0;
      settings[f.offset + 2 * u] = static_cast<std::uint8_t>(c & 0xFF);
      settings[f.offset + 2 * u + 1] = static_cast<std::uint8_t>(c >> 8);
    }
    return {};
  }
  std::int64_t v = 0;
  std::string_view digits = value;
  bool negative = !digits.empty() && digits[0] == '-';
  if (negative) digits.remove_prefix(1);
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
    digits.remove_prefix(2);
    base = 16;
  }
  auto [p, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v, base);
  if (digits.empty() || ec != std::errc() || p != digits.data() + digits.size())
    return "not a number: " + std::string(value);
  if (negative) v = -v;
  const auto [lo, hi] = Bounds(f);
  if (v < lo || v > hi) return std::string(name) + " takes " + RangeOf(f);
  auto u = static_cast<std::uint64_t>(v);
  for (std::size_t b = 0; b < f.size; ++b) settings[f.offset + b] = static_cast<std::uint8_t>((u >> (8 * b)) & 0xFF);
  return {};
}

bool GetDocSetting(std::span<const std::uint8_t> settings, std::string_view name, std::int64_t& value) {
  Field f{};
  if (settings.size() != sizeof(DocSettings) || !FindField(name, f) || f.isText) return false;
  std::uint64_t u = 0;
  for (std::size_t b = 0; b < f.size; ++b) u |= std::uint64_t{settings[f.offset + b]} << (8 * b);
  if (f.isSigned && f.size < 8 && (u >> (8 * f.size - 1)) & 1) u |= ~std::uint64_t{0} << (8 * f.size);
  value = static_cast<std::int64_t>(u);
  return true;
}

}  // namespace printjob
