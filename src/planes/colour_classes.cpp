// Per-colour plate classes of the two-ink separation.
#include "planes/colour_classes.h"

#include <algorithm>

namespace {

constexpr std::int64_t kFull = 65025;  // divisor of a full-strength plate
constexpr std::int64_t kWhiteLightness = 255LL * 255 * 255;

// Divisors of codes 2 and 4 by object kind.
constexpr std::int64_t kKindDivisor[3] = {45586, 26884, 57579};

struct PlateRule {
  int plate;
  std::int64_t divisor;
};

// Darkness of a colour: 0 for white, 255^3 for black; the linear part weighs
// red, green and blue by 0.30, 0.59 and 0.11.
std::int64_t Darkness(std::int64_t r, std::int64_t g, std::int64_t b) {
  std::int64_t lightness =
      ((1275 - b) * r * 1530 + ((21 * b - 2040) * r - 1785 * b + 3836475) * g + 715275 * b) / 100;
  return kWhiteLightness - lightness;
}

// The rule of a class code for the colour; plate 0 when the code has none.
PlateRule RuleOf(int code, int r, int g, int b, int objectKind) {
  const int chroma = std::max({r, g, b}) - std::min({r, g, b});
  const bool redless = 2 * r - g - b < 1;
  const bool known = objectKind >= 0 && objectKind <= 2;
  auto hueOutside = [&](int low, int high) {
    Hsv hsv = RgbToHsv(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b));
    return hsv.lowChroma || hsv.hue < low || hsv.hue > high;
  };
  auto hueInside = [&](int low, int high) {
    Hsv hsv = RgbToHsv(static_cast<std::uint8_t>(r), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(b));
    return hsv.lowChroma || (hsv.hue >= low && hsv.hue <= high);
  };
  const bool dark = std::max({r, g, b}) < 40;  // value below 40/255
  const bool low = chroma <= 10;
  switch (code) {
    case 0: case 50: return {1, kFull};
    case 1: case 51: return {2, kFull};
    case 2:
      if (!known) return {0, 0};
      return chroma > 19 ? PlateRule{1, kKindDivisor[objectKind]} : PlateRule{2, kFull};
    case 3: return {1, (chroma >= 20 && !redless) ? 45586 : kFull};
    case 4:
      if (!known) return {0, 0};
      return chroma > 19 ? PlateRule{2, kKindDivisor[objectKind]} : PlateRule{1, kFull};
    case 5: return (chroma >= 20 && !redless) ? PlateRule{2, 45586} : PlateRule{1, kFull};
    case 6: case 58: return hueInside(50, 289) ? PlateRule{2, kFull} : PlateRule{1, 45586};
    case 7: case 59: return hueInside(50, 289) ? PlateRule{1, kFull} : PlateRule{2, 45586};
    case 8: case 60: return hueOutside(170, 289) ? PlateRule{2, kFull} : PlateRule{1, 57872};
    case 9: case 61: return hueOutside(170, 289) ? PlateRule{1, kFull} : PlateRule{2, 57872};
    case 10: case 62: return hueOutside(50, 169) ? PlateRule{2, kFull} : PlateRule{1, 26660};
    case 11: case 63: return hueOutside(50, 169) ? PlateRule{1, kFull} : PlateRule{2, 26660};
    case 12: case 64: return {dark ? 1 : 2, kFull};
    case 13: case 65: return {dark ? 2 : 1, kFull};
    case 66: return {low ? 1 : 2, kFull};
    case 67: return {low ? 2 : 1, kFull};
    default: return {0, 0};
  }
}

}  // namespace

Hsv RgbToHsv(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const int r = red, g = green, b = blue;
  const int max = std::max({r, g, b});
  const int min = std::min({r, g, b});
  const int span = max - min;
  Hsv hsv{};
  if (span != 0) {
    float h = 0.0f;
    if (r == max)
      h = 60.0f * static_cast<float>(g - b) / static_cast<float>(span);
    else if (g == max)
      h = 60.0f * static_cast<float>(b - r) / static_cast<float>(span) + 120.0f;
    else
      h = 60.0f * static_cast<float>(r - g) / static_cast<float>(span) + 240.0f;
    if (h < 0.0f) h += 360.0f;
    if (h > 360.0f) h -= 360.0f;
    hsv.hue = static_cast<int>(h + 0.5f);
  }
  hsv.saturation = max == 0 ? 0.0f : static_cast<float>(span) / static_cast<float>(max);
  hsv.value = static_cast<float>(max) / 255.0f;
  hsv.lowChroma = span <= 10;
  return hsv;
}

std::uint8_t ClassifyColourForPlates(int code, std::uint8_t red, std::uint8_t green, std::uint8_t blue, int objectKind,
                                     std::uint8_t* plate, std::uint8_t* density) {
  PlateRule rule = RuleOf(code, red, green, blue, objectKind);
  // A code without a rule prints like code 0 rather than leave the outputs unset.
  if (rule.plate == 0) rule = PlateRule{1, kFull};
  const std::int64_t d = std::min<std::int64_t>(Darkness(red, green, blue) / rule.divisor, 255);
  const auto out = static_cast<std::uint8_t>(std::max<std::int64_t>(d, 0));
  if (plate) *plate = static_cast<std::uint8_t>(rule.plate);
  if (density) *density = out;
  return out;
}

int ClassCodeOfMode(int mode) { return mode >= 14 && mode <= 17 ? mode + 50 : mode; }
