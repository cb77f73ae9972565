// Two-ink separation of RGB pictures: the per-device lookup grid of the
// blending modes, the per-pixel classes of the one-plate-per-colour modes and
// the corrections for a darker drum-2 ink. Plain functions over rows; the
// grid's state is owned by the caller.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Per image separation mode 0..17 (two spare entries): which modes use the
// fixed screen matrices and which print plate 1 on drum 2 and plate 2 on drum 1.
struct SeparationModeFlags {
  std::array<std::uint8_t, 20> fixedMatrix;
  std::array<std::uint8_t, 20> exchangePlanes;
};
extern const SeparationModeFlags kSeparationModeFlags;

// Density pair of one pixel, 255 = full ink.
struct PlatePair {
  int plate1;
  int plate2;
};

// The three grid families over channel densities 0..255 (255 - channel).
// Results are 0..255; a curve is a 256-entry tone table.
PlatePair GridFamilyA(int dr, int dg, int db);
PlatePair GridFamilyB(int dr, int dg, int db, const std::uint8_t* curve0, const std::uint8_t* curve1);
PlatePair GridFamilyC(int dr, int dg, int db, const std::uint8_t* curve1);

// Tone curves the families and the pre-map draw on (each 256 entries).
struct SeparationCurves {
  const std::uint8_t* curve0;
  const std::uint8_t* curve1;
};

// 33 x 33 x 33 plate pairs, index (red k) * 1089 + (green k) * 33 + (blue k),
// grid coordinate k standing for channel value 8k (255 for k = 32); plus the
// 256-byte pre-map. Both are built once, with the first picture's mode, and
// kept until the surface goes. A plain record (zero-filled is unbuilt), so a
// device keeps it in one heap block.
struct SeparationGrid {
  static constexpr int kSide = 33;
  static constexpr std::size_t kEntries = 33u * 33u * 33u;
  std::array<std::uint8_t, kEntries * 2> entries;  // 2 bytes an entry (plate 1, plate 2)
  std::array<std::uint8_t, 256> preMap;
  bool built;
};

// Channel value of grid coordinate k (0..32).
int GridCoordinateValue(int k);

// Builds the grid with the family of `mode` (2, 5: family 1; 3, 6: family 2;
// any other: family 3) and takes `preMap` (256 entries) unless already built.
void EnsureSeparationGrid(SeparationGrid& grid, int mode, const SeparationCurves& curves, const std::uint8_t* preMap);

// Chooses the pre-map: identity above mode 7 (`identity`), else curve 3 for
// photo preset 1, curve 2 for preset 2, otherwise the brightness/contrast map.
const std::uint8_t* ChooseSeparationPreMap(int mode, int preset, const std::uint8_t* identity,
                                           const std::uint8_t* curve2, const std::uint8_t* curve3,
                                           const std::uint8_t* brightnessContrast);

// Interpolates the built grid at channel values (red, green, blue). Greys use
// the two diagonal corners only, weighted (high - v)^3 and (v - low)^3.
PlatePair TrilinearLookup(const SeparationGrid& grid, int red, int green, int blue);

// p2 grown where plate 1 also inks: b (26 a + 58395) / 58395, 0..255.
int BoostOverprint(int a, int b);
// b thinned where the darker ink a is heavy, c the darker-drum strength, 0..255.
int DarkerDrumCut(int a, int b, int c);
// Darker-drum strength of drum 2's ink lightness L*.
int DarkerDrumStrength(int drum2Lightness);

// Whether a picture line draws as a mask: a blit state neither idle nor
// pairing with a mask; or the idle state with MERGEPAINT, SRCPAINT, or
// SRCAND / SRCINVERT from a black-and-white source.
bool IsSeparationMaskMode(int blitState, std::uint32_t rop4, std::uint8_t blackWhiteSource);

// What one line's separation depends on besides the grid.
struct SeparationLine {
  int mode = 2;  // 2..17
  bool maskMode = false;
  bool skipPreMap = false;  // carry kind 1 or black-and-white source
  const std::uint8_t* toneCurve = nullptr;  // curve q, 256 entries
  int drum1Lightness = 100;
  int drum2Lightness = 100;
  int darkerDrumStrength = 255;
};

// The tone curve index q: 16 without photo mode, else 18 in resolution mode 2, else 17.
int SeparationToneCurveIndex(int photoMode, int resolutionMode);

// One line of `count` BGR pixels to plate-1 and plate-2 densities. Modes 2..7
// need the grid built (EnsureSeparationGrid); modes 8..17 classify each pixel
// and need no grid (it may be null).
void SeparateLineTwoPlates(SeparationGrid* grid, const SeparationLine& line, const std::uint8_t* bgr,
                           std::size_t count, std::uint8_t* plate1, std::uint8_t* plate2);
