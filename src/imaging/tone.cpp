#include "imaging/tone.h"

#include <algorithm>

namespace imaging {

namespace {

constexpr std::array<std::array<std::int16_t, 256>, 7> MakeContrastCurves() {
  constexpr int num[7] = {1, 2, 4, 1, 5, 3, 2};
  constexpr int den[7] = {2, 3, 5, 1, 4, 2, 1};
  std::array<std::array<std::int16_t, 256>, 7> curves{};
  for (int l = 0; l < 7; ++l)
    for (int v = 1; v < 256; ++v) curves[l][v] = static_cast<std::int16_t>(127 + (v - 127) * num[l] / den[l]);
  return curves;
}

// Sample points of the tone curves; between them the curves are linear,
// truncated.
constexpr int kSampleInputs[12] = {0, 16, 32, 64, 96, 128, 160, 192, 224, 240, 254, 255};
constexpr BYTE kSamples[20][12] = {
    {0, 15, 28, 57, 87, 118, 151, 185, 220, 238, 254, 255}, {0, 9, 18, 40, 65, 97, 132, 174, 222, 240, 254, 255},
    {0, 20, 41, 83, 124, 166, 188, 210, 232, 243, 253, 255}, {0, 15, 30, 60, 90, 119, 149, 185, 233, 244, 254, 255},
    {0, 4, 10, 32, 56, 87, 124, 171, 210, 233, 253, 255},   {0, 4, 9, 29, 51, 78, 110, 161, 223, 238, 253, 255},
    {0, 6, 14, 46, 83, 132, 166, 193, 221, 237, 252, 255},  {0, 4, 9, 22, 37, 53, 72, 91, 126, 167, 249, 255},
    {0, 4, 9, 22, 37, 53, 72, 91, 112, 120, 127, 128},      {0, 4, 8, 20, 34, 48, 65, 87, 117, 122, 127, 128},
    {0, 5, 12, 31, 51, 75, 89, 105, 116, 122, 127, 128},    {0, 4, 8, 20, 34, 48, 65, 87, 142, 187, 249, 255},
    {0, 5, 12, 31, 51, 75, 89, 108, 139, 182, 242, 255},    {0, 4, 9, 22, 37, 57, 77, 107, 171, 220, 253, 255},
    {0, 4, 8, 20, 34, 51, 69, 99, 200, 230, 253, 255},      {0, 5, 12, 30, 54, 81, 102, 133, 197, 227, 251, 255},
    {0, 10, 20, 43, 67, 95, 135, 180, 219, 237, 254, 255},  {0, 7, 14, 27, 40, 60, 85, 122, 205, 233, 253, 255},
    {0, 8, 15, 28, 40, 61, 87, 128, 223, 246, 255, 255},    {0, 16, 32, 64, 96, 128, 160, 192, 224, 240, 254, 255},
};

constexpr std::array<std::array<BYTE, 256>, 20> MakeToneTableSet() {
  std::array<std::array<BYTE, 256>, 20> set{};
  for (int c = 0; c < 20; ++c) {
    int seg = 0;
    for (int x = 0; x < 256; ++x) {
      while (x > kSampleInputs[seg + 1]) ++seg;
      const int x0 = kSampleInputs[seg], x1 = kSampleInputs[seg + 1];
      const int y0 = kSamples[c][seg], y1 = kSamples[c][seg + 1];
      set[c][x] = static_cast<BYTE>(y0 + (y1 - y0) * (x - x0) / (x1 - x0));
    }
  }
  return set;
}

}  // namespace

const std::array<std::array<std::int16_t, 256>, 7> ContrastCurves = MakeContrastCurves();
const std::array<std::int16_t, 8> BrightnessOffsets = {0, 90, 60, 30, 0, -30, -60, -90};
const std::array<std::array<BYTE, 256>, 20> ToneTableSet = MakeToneTableSet();

int TonePreset(int photoKind, int brightness, int contrast) {
  if (photoKind == 1 || (photoKind != 3 && brightness == 5 && contrast == 5)) return 1;
  if (photoKind == 2 || (photoKind != 3 && brightness == 3 && contrast == 3)) return 2;
  return 0;
}

bool ThinnedSheet(int duplexKind, std::uint32_t sheetCounter, bool drum2LightPrint) {
  return (duplexKind == 1 || duplexKind == 2) && (sheetCounter % 2 == 0 || drum2LightPrint);
}

BYTE ContrastBrightness(int contrast, int brightness, BYTE d) {
  const int v = contrast >= 1 && contrast <= 7 ? ContrastCurves[contrast - 1][d] : d;
  if (d == 0 && v == 0) return 0;
  const int offset = brightness >= 0 && brightness <= 7 ? BrightnessOffsets[brightness] : 0;
  return static_cast<BYTE>(std::clamp(v + offset, 0, 255));
}

BYTE ToneClampDensity(const ToneInputs& in, BYTE d) {
  if (in.operation == 1) {
    const bool diagonal = in.hatchMarker == 3 || in.hatchMarker == 4 || in.hatchMarker == 6;
    return diagonal && d >= 1 && d <= 65 ? 66 : d;
  }
  if (in.operation == 2 || in.blackWhiteSource || in.rop4 == kRop4SrcAnd || in.rop4 == kRop4SrcPaint || in.preset != 0) return d;
  return ContrastBrightness(in.contrast, in.brightness, d);
}

void ToneClampTable(const ToneInputs& in, BYTE table[256]) {
  for (int d = 0; d < 256; ++d) table[d] = ToneClampDensity(in, static_cast<BYTE>(d));
}

namespace {

void MapInPlace(const BYTE table[256], BYTE* data, LONG rowLength, LONG rows, LONG stride) {
  if (!data || rowLength <= 0 || rows <= 0) return;
  for (LONG y = 0; y < rows; ++y) {
    BYTE* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    for (LONG x = 0; x < rowLength; ++x) row[x] = table[row[x]];
  }
}

}  // namespace

void ToneAdjust(int preset, int contrast, int brightness, BYTE* data, LONG rowLength, LONG rows, LONG stride) {
  if (preset != 0) return;
  BYTE table[256];
  for (int d = 0; d < 256; ++d) table[d] = ContrastBrightness(contrast, brightness, static_cast<BYTE>(d));
  MapInPlace(table, data, rowLength, rows, stride);
}

int ToneCurveIndex(int photoMode, int preset, int resolutionMode, bool thinnedSheet) {
  if (photoMode == 1) {
    static constexpr int kDiffusion[3][3] = {{13, 8, 7}, {14, 9, 11}, {15, 10, 12}};  // mode 2, thinned, otherwise
    if (preset < 0 || preset > 2) return 4;
    return kDiffusion[preset][resolutionMode == 2 ? 0 : thinnedSheet ? 1 : 2];
  }
  if (photoMode == 0) return preset == 1 ? 5 : preset == 2 ? 6 : 4;
  return 4;
}

void ApplyToneCurve(int photoMode, int preset, BYTE* data, LONG rowLength, LONG rows, LONG stride, int resolutionMode,
                    bool thinnedSheet) {
  MapInPlace(ToneTableSet[ToneCurveIndex(photoMode, preset, resolutionMode, thinnedSheet)].data(), data, rowLength, rows,
             stride);
}

}  // namespace imaging
