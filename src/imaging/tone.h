// Tone of ink density: the document's contrast and brightness, the presets
// that switch them off, and the halftone tone curves applied just before
// screening or diffusion.
#pragma once

#include <array>
#include <cstdint>

#include "planes/rop_names.h"
#include "plat/base.h"

namespace imaging {

// o(L, v) for contrast level L = 1..7 (index L - 1): 127 + trunc((v - 127) s)
// with s = 1/2, 2/3, 4/5, 1, 5/4, 3/2, 2, and o(L, 0) = 0. Values outside
// 0..255 occur and are clamped after the brightness offset.
extern const std::array<std::array<std::int16_t, 256>, 7> ContrastCurves;
// Added to the density by brightness level 0..7: positive is darker.
extern const std::array<std::int16_t, 8> BrightnessOffsets;

// 1 or 2 when the photo kind (or brightness and contrast both 5, or both 3,
// unless the kind is 3) selects a preset; 0 otherwise.
int TonePreset(int photoKind, int brightness, int contrast);
// The sheet emitter thins this sheet: a duplex kind 1 or 2 on an even sheet
// or with drum-2 light print.
bool ThinnedSheet(int duplexKind, std::uint32_t sheetCounter, bool drum2LightPrint);

// What decides the tone of converted pixels.
struct ToneInputs {
  std::uint8_t operation = 0;  // 1 brush, mask or one-level band; 2 no tone
  std::uint8_t hatchMarker = 0;  // 3, 4, 6: diagonal hatches
  std::uint8_t blackWhiteSource = 0;
  std::uint32_t rop4 = kRop4SrcCopy;
  int preset = 0;
  int contrast = 4;  // 1..7; anything else leaves the density as it is
  int brightness = 0;  // 0..7; anything else adds nothing
};

// Contrast and brightness of one density, clamped to 0..255; white stays white.
BYTE ContrastBrightness(int contrast, int brightness, BYTE d);
// The density each input becomes in a converter, as one table per call.
void ToneClampTable(const ToneInputs& in, BYTE table[256]);
BYTE ToneClampDensity(const ToneInputs& in, BYTE d);
// Contrast and brightness over a density image in place, unless a preset is on.
void ToneAdjust(int preset, int contrast, int brightness, BYTE* data, LONG rowLength, LONG rows, LONG stride);

// 20 halftone tone curves, by curve number and input density.
extern const std::array<std::array<BYTE, 256>, 20> ToneTableSet;
// The curve for a photo mode (0 screen, 1 diffusion), preset, resolution mode
// and thinned sheet.
int ToneCurveIndex(int photoMode, int preset, int resolutionMode, bool thinnedSheet);
// Maps a density image in place through its curve.
void ApplyToneCurve(int photoMode, int preset, BYTE* data, LONG rowLength, LONG rows, LONG stride, int resolutionMode,
                    bool thinnedSheet);

}  // namespace imaging
