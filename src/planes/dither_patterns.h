// The solid-colour patterns of the plane fills: an ink density (0 none,
// 255 full) becomes an 8 x 8, 24 x 12 or 32 x 32 pattern in plane
// convention (1 = white).
#pragma once

#include <array>
#include <cstdint>
#include <span>

// 64 nested levels of 8 x 8, 1 = ink, 8 bytes a level.
const std::array<std::uint8_t, 64 * 8>& DitherPattern8x8();
// 32 dispersed levels of 32 x 32, 1 = ink, 128 bytes a level (4 a row).
const std::array<std::uint8_t, 32 * 128>& DitherPattern32x32();
// 64 nested clustered levels of 24 x 12 in plane convention (1 = white), 36
// bytes a level (3 a row): landscape false builds of side-by-side pairs,
// true of pairs one above the other.
const std::array<std::uint8_t, 64 * 36>& DitherPattern24x12(bool landscape);

// The pattern of a density in plane convention, written to out (128 bytes
// is enough for every form): wide gives 32 x 32 (level d / 8); narrow gives
// 8 x 8 (level 1 for 0 < d < 4, else d / 4), or 24 x 12 in resolution mode 2
// from the table of the orientation. Returns the bytes written.
struct SolidPatternForm {
  bool wide;
  std::uint8_t resolutionMode;
  std::int16_t orientation;  // 0 or 90
};
std::size_t SolidPatternBits(std::uint8_t density, SolidPatternForm form, std::span<std::uint8_t, 128> out);
