#include "settings/doc_settings.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "plat/codepage.h"

int ColorIdIndex(int code) {
  if (code >= 1001 && code <= 1023) return code - 1001;
  if (code >= 1032 && code <= 1063) return code - 1032 + 23;
  return -1;
}

namespace {

constexpr InkLabTable BuildInkLabDefaults() {
  InkLabTable t{};
  auto set = [&t](int first, int last, InkLab lab) {
    for (int c = first; c <= last; ++c) t.Entry[c - kInkCodeFirst] = lab;
  };
  set(1000, 1000, {1, 1, 1});
  set(1001, 1001, {34, 1, 3});
  set(1033, 1033, {34, 1, 3});
  set(1002, 1002, {2, 2, 2});
  set(1003, 1003, {63, 51, 34});
  set(1038, 1041, {63, 51, 34});
  set(1004, 1004, {48, 0, -49});
  set(1034, 1037, {48, 0, -49});
  set(1005, 1005, {47, 15, 17});
  set(1047, 1048, {47, 15, 17});
  set(1006, 1006, {64, -52, 21});
  set(1042, 1044, {64, -52, 21});
  set(1007, 1007, {89, -13, 74});
  set(1045, 1046, {89, -13, 74});
  set(1008, 1008, {65, 1, 2});
  set(1051, 1052, {65, 1, 2});
  set(1009, 1009, {69, 1, 2});
  set(1053, 1054, {69, 1, 2});
  set(1010, 1010, {42, 5, -28});
  set(1011, 1011, {47, 12, -47});
  set(1012, 1012, {56, 57, 23});
  set(1013, 1013, {54, 39, 20});
  set(1014, 1014, {45, 23, -29});
  set(1049, 1050, {45, 23, -29});
  set(1015, 1015, {47, 29, 3});
  set(1016, 1016, {50, -25, -16});
  set(1017, 1017, {156, 12, -4});
  set(1018, 1018, {157, -55, 49});
  set(1019, 1019, {71, 36, 51});
  set(1055, 1056, {71, 36, 51});
  set(1020, 1020, {45, -15, 0});
  set(1021, 1021, {61, 4, 38});
  set(1057, 1058, {61, 4, 38});
  set(1022, 1022, {156, 9, 0});
  set(1023, 1023, {56, 49, 32});
  set(1024, 1032, {1, 1, 1});
  set(1059, 1060, {57, 0, 0});
  set(1061, 1062, {88, 12, -4});
  set(1063, 1063, {3, 3, 3});
  return t;
}

}  // namespace

// Constant-initialised: usable from any other static initialiser.
constexpr InkLabTable kInkLabDefaults = BuildInkLabDefaults();

bool IsNoInkLab(const InkLab& lab) {
  return (lab.L == 1 && lab.a == 1 && lab.b == 1) || (lab.L == 2 && lab.a == 2 && lab.b == 2) ||
         (lab.L == 3 && lab.a == 3 && lab.b == 3);
}

// ---------------------------------------------------------------------------

void SetLayoutChoice(DocSettings& s, int choice) {
  s.UpLayout = 0;
  s.RensyaLayout = 0;
  s.UpFour = 0;
  s.RensyaOrder = 0;
  if (choice == 1) {
    s.UpLayout = 1;
  } else if (choice == 2) {
    s.UpLayout = 1;
    s.UpFour = 1;
  } else if (choice >= 3 && choice <= 8) {
    s.RensyaLayout = 1;
    s.RensyaOrder = static_cast<std::uint8_t>(choice - 3);
  }
}

void SetTextVolume(DocSettings& s, int volume) {
  s.TextVolumeA = volume == 1 ? 1 : 0;
  s.TextVolumeB = (volume == 0 || volume == 1) ? 0 : 1;
}

void SetSortKind(DocSettings& s, int sortKind) {
  s.SortKind = static_cast<std::uint8_t>(sortKind);
  s.SorterInstalled = (sortKind == 1 || sortKind == 2) ? 1 : 0;
  s.StaplerInstalled = sortKind == 2 ? 1 : 0;
}

// ---------------------------------------------------------------------------

std::size_t FieldTextLength(std::span<const WCHAR> field) {
  std::size_t n = 0;
  while (n < field.size() && field[n] != 0) ++n;
  return n;
}

std::u16string FieldText(std::span<const WCHAR> field) {
  return std::u16string(field.data(), FieldTextLength(field));
}

bool SetFieldText(std::span<WCHAR> field, std::u16string_view text) {
  if (field.empty()) return text.empty();
  std::size_t n = text.size() < field.size() - 1 ? text.size() : field.size() - 1;
  for (std::size_t i = 0; i < n; ++i) field[i] = text[i];
  for (std::size_t i = n; i < field.size(); ++i) field[i] = 0;
  return n == text.size();
}

// ---------------------------------------------------------------------------

namespace {

constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();
constexpr std::int64_t kInt32Max = std::numeric_limits<std::int32_t>::max();

std::optional<std::int32_t> Fit32(std::int64_t v) {
  if (v < kInt32Min || v > kInt32Max) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

std::optional<std::int32_t> Fit32(double v) {
  if (!std::isfinite(v) || v <= static_cast<double>(kInt32Min) - 1.0 || v >= static_cast<double>(kInt32Max) + 1.0)
    return std::nullopt;
  return static_cast<std::int32_t>(v);
}

// trunc(x + 0.5) on the magnitude, with the sign of a.
std::optional<std::int32_t> RoundedWithSign(std::int64_t a, double magnitude) {
  double r = std::trunc(magnitude + 0.5);
  return Fit32(a < 0 ? -r : r);
}

// A fixed-point text: optional blanks, an optional sign, digits, optionally a
// "." and more digits, optional blanks. At least one digit.
struct FixedText {
  bool negative = false;
  std::u16string_view whole;
  std::u16string_view fraction;
};

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::optional<FixedText> SplitFixedText(std::u16string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  FixedText out;
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) {
    out.negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  std::size_t dot = text.find(u'.');
  out.whole = text.substr(0, dot);
  if (dot != std::u16string_view::npos) out.fraction = text.substr(dot + 1);
  for (char16_t c : out.whole)
    if (!IsDigit(c)) return std::nullopt;
  for (char16_t c : out.fraction)
    if (!IsDigit(c)) return std::nullopt;
  if (out.whole.empty() && out.fraction.empty()) return std::nullopt;
  return out;
}

// Decimal digits as a number; nullopt beyond 18 significant digits.
std::optional<std::int64_t> DigitsValue(std::u16string_view digits) {
  while (digits.size() > 1 && digits.front() == u'0') digits.remove_prefix(1);
  if (digits.size() > 18) return std::nullopt;
  std::int64_t v = 0;
  for (char16_t c : digits) v = v * 10 + (c - u'0');
  return v;
}

// whole * 10^n + the fraction padded with "0" (or cut) to n digits.
std::optional<std::int64_t> ScaledValue(const FixedText& t, int n) {
  auto whole = DigitsValue(t.whole);
  if (!whole) return std::nullopt;
  std::int64_t scale = PowerOfTen(static_cast<std::uint16_t>(n));
  if (scale == 0 || *whole > kInt32Max * std::int64_t{1000}) return std::nullopt;
  std::int64_t fraction = 0;
  for (int i = 0; i < n; ++i) {
    fraction = fraction * 10 + (static_cast<std::size_t>(i) < t.fraction.size() ? t.fraction[i] - u'0' : 0);
  }
  if (*whole > std::numeric_limits<std::int64_t>::max() / scale) return std::nullopt;
  std::int64_t v = *whole * scale + fraction;
  return t.negative ? -v : v;
}

std::u16string Widen(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out.push_back(static_cast<unsigned char>(c));
  return out;
}

}  // namespace

std::int64_t PowerOfTen(std::uint16_t n) {
  if (n > 18) return 0;
  std::int64_t v = 1;
  for (std::uint16_t i = 0; i < n; ++i) v *= 10;
  return v;
}

std::optional<std::int32_t> MilsToMicrons(std::int64_t v) {
  if (v > kInt32Max * std::int64_t{10} || v < kInt32Min * std::int64_t{10}) return std::nullopt;
  return Fit32((v * 254 + 5) / 10);
}

std::optional<std::int32_t> MicronsToInchUnits(std::int64_t a, int b, int c, int d) {
  if (d == 0) return std::nullopt;
  double magnitude = std::pow(10.0, b - c) * std::fabs(static_cast<double>(a)) / (25.4 * d);
  return RoundedWithSign(a, magnitude);
}

std::optional<std::int32_t> InchUnitsToMicrons(std::int64_t a, int b, int c, int d) {
  double magnitude = std::fabs(static_cast<double>(a)) * d * 25.4 / std::pow(10.0, b - c);
  return RoundedWithSign(a, magnitude);
}

bool IsMillimetreUnit(std::u16string_view unit) {
  return unit.size() == 2 && (unit[0] == u'M' || unit[0] == u'm') && (unit[1] == u'M' || unit[1] == u'm');
}

std::u16string FormatSizeDigits(std::int32_t size, bool inch) {
  std::int64_t v = size;
  int fractionDigits = 1;
  if (inch) {
    v = v * 1000 / 254;  // exact trunc(size * 100 / 25.4)
    fractionDigits = 3;
  }
  std::u16string out;
  if (v == 0) return out;
  if (v < 0) {
    out.push_back(u'-');
    v = -v;
  }
  std::u16string digits;
  for (; v > 0; v /= 10) digits.insert(digits.begin(), static_cast<char16_t>(u'0' + v % 10));
  for (std::size_t i = 0; i < digits.size(); ++i) {
    out.push_back(digits[i]);
    std::size_t remaining = digits.size() - i - 1;
    if (remaining == static_cast<std::size_t>(fractionDigits)) out.push_back(u'.');
  }
  return out;
}

std::optional<std::int32_t> ParseFixedTextW(std::u16string_view text, bool inch) {
  auto parts = SplitFixedText(text);
  if (!parts) return std::nullopt;
  auto thousandths = ScaledValue(*parts, 3);
  if (!thousandths) return std::nullopt;
  if (inch) return MilsToMicrons(*thousandths);
  return Fit32(*thousandths);
}

std::optional<std::int32_t> ParseFixedTextAnsi(std::string_view text, bool inch) {
  return ParseFixedTextW(plat::ToWide(CP_ACP, text), inch);
}

std::optional<std::int32_t> ParseFixedTextN(std::string_view text, bool inch, int n) {
  if (n < 0 || n > 9) return std::nullopt;
  std::u16string wide = Widen(text);
  auto parts = SplitFixedText(wide);
  if (!parts) return std::nullopt;
  auto value = ScaledValue(*parts, n);
  if (!value) return std::nullopt;
  if (inch) return InchUnitsToMicrons(*value, 3, 1, 1000);
  if (*value > kInt32Max / 1000 || *value < kInt32Min / 1000) return std::nullopt;
  return static_cast<std::int32_t>(*value * 1000);
}

std::string FormatFixedText(std::int32_t microns, bool inch, int n) {
  if (n < 0 || n > 9) return {};
  std::int64_t v;
  if (inch) {
    auto units = MicronsToInchUnits(microns, 3, 1, 1000);
    if (!units) return {};
    v = *units;
  } else {
    v = microns / 1000;
  }
  std::string out;
  if (v < 0) {
    out.push_back('-');
    v = -v;
  }
  if (n > 0) {
    std::int64_t scale = PowerOfTen(static_cast<std::uint16_t>(n));
    std::string fraction = std::to_string(v % scale);
    out += std::to_string(v / scale);
    out.push_back('.');
    out.append(static_cast<std::size_t>(n) - fraction.size(), '0');
    out += fraction;
  } else {
    out += std::to_string(v);
  }
  if (out.size() > 10) return {};
  return out;
}

namespace {

template <typename T>
constexpr SettingField MakeSettingField(std::string_view name, std::size_t offset) {
  if constexpr (std::is_integral_v<T>) {
    return SettingField{name, offset, sizeof(T), std::is_signed_v<T>, SettingKind::Integer};
  } else if constexpr (std::is_array_v<T> && std::is_same_v<std::remove_extent_t<T>, WCHAR>) {
    return SettingField{name, offset, std::extent_v<T>, false, SettingKind::Text};
  } else {
    return SettingField{name, offset, sizeof(T), false, SettingKind::Other};
  }
}

#define DOC_SETTINGS_FIELD(name, offset) MakeSettingField<decltype(DocSettings::name)>(#name, offset),
constexpr SettingField kSettingFields[] = {DOC_SETTINGS_LAYOUT(DOC_SETTINGS_FIELD)};
#undef DOC_SETTINGS_FIELD

}  // namespace

std::span<const SettingField> DocSettingsFields() { return kSettingFields; }

// clang-format off
const std::uint8_t InkColorTable[64][3] = {
    {1, 1, 1},       {0, 0, 0},       {2, 2, 2},       {255, 48, 0},    // 1000
    {0, 80, 208},    {160, 32, 32},   {0, 176, 0},     {255, 255, 0},   // 1004
    {128, 128, 128}, {208, 208, 208}, {0, 0, 128},     {48, 0, 192},    // 1008
    {224, 0, 48},    {192, 0, 64},    {128, 0, 176},   {144, 0, 80},    // 1012
    {0, 128, 128},   {255, 0, 208},   {128, 255, 128}, {255, 144, 0},   // 1016
    {0, 128, 96},    {208, 176, 80},  {255, 80, 96},   {192, 32, 0},    // 1020
    {1, 1, 1},       {1, 1, 1},       {1, 1, 1},       {1, 1, 1},       // 1024
    {1, 1, 1},       {1, 1, 1},       {1, 1, 1},       {1, 1, 1},       // 1028
    {1, 1, 1},       {0, 0, 0},       {0, 0, 255},     {0, 0, 255},     // 1032
    {0, 0, 255},     {0, 0, 255},     {255, 0, 0},     {255, 0, 0},     // 1036
    {255, 0, 0},     {255, 0, 0},     {0, 255, 0},     {0, 255, 0},     // 1040
    {0, 255, 0},     {255, 255, 0},   {255, 255, 0},   {160, 48, 48},   // 1044
    {160, 48, 48},   {128, 0, 176},   {128, 0, 176},   {128, 128, 128}, // 1048
    {128, 128, 128}, {208, 208, 208}, {208, 208, 208}, {255, 144, 0},   // 1052
    {255, 144, 0},   {224, 160, 48},  {224, 160, 48},  {160, 160, 144}, // 1056
    {160, 160, 144}, {255, 0, 255},   {255, 0, 255},   {3, 3, 3},       // 1060
};
// clang-format on
