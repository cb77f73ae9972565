// Per-colour plate classes of the two-ink separation: which drum a colour is
// printed on and with what density, by class code and object kind.
#pragma once

#include <cstdint>

#include "plat/base.h"

// Hue, saturation, value of an RGB colour.
struct Hsv {
  int hue;  // whole degrees 0..360 (0 and 360 are the same hue)
  float saturation;  // 0..1
  float value;  // 0..1
  bool lowChroma;  // max - min <= 10
};

Hsv RgbToHsv(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// The object kind (0..2) chooses the colour plate's divisor of codes 2 and 4.
// Writes the plate (1 drum 1, 2 drum 2) and the density (0..255) of the
// colour under the class code, and returns the density. Both outputs are
// always written: an unknown code, or code 2 or 4 with an object kind outside
// 0..2, gives plate 1 with the density of code 0. White is 0 on every code.
std::uint8_t ClassifyColourForPlates(int code, std::uint8_t red, std::uint8_t green, std::uint8_t blue, int objectKind,
                                     std::uint8_t* plate, std::uint8_t* density);

// The class code of a text or graphics separation mode 0..17: the mode
// itself, 64..67 for modes 14..17 (as the image modes' codes).
int ClassCodeOfMode(int mode);

// Default plate of pattern brushes per separation mode 0..17: 1 makes plate
// 2 the default, 0 plate 1.
inline constexpr int kSeparationModes = 18;
inline constexpr BYTE SeparationDefaultPlate[kSeparationModes] = {1, 1, 1, 1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 0, 0, 0};

// Object kinds handed to the colour classifier by the pattern builders.
inline constexpr int kObjectKindImage = 0;
inline constexpr int kObjectKindText = 1;
inline constexpr int kObjectKindGraphics = 2;
