// Picture enhancement before halftoning: the auto-contrast map, the
// brightness and contrast map, and the tiled contrast-limited histogram
// equalisation blended across tiles and bands, for density and RGB bands.
#pragma once

#include <cstdint>

#include "imaging/image_buffer.h"
#include "planes/pdev_record.h"

namespace imaging {

// Band kinds of the band walks.
inline constexpr int kBandWhole = 0;
inline constexpr int kBandFirst = 1;
inline constexpr int kBandMiddle = 2;
inline constexpr int kBandLast = 3;
// Map kinds: compute the auto-contrast map now, reset it, else keep it.
inline constexpr int kMapKeep = 0;
inline constexpr int kMapCompute = 1;
inline constexpr int kMapReset = 2;

// One picture's enhancement state, owned by the band walk.
struct EnhanceContext {
  BYTE* previousMaps;  // mapsCount x 256
  BYTE* currentMaps;
  BYTE* carry;  // rows held back from the previous band: widthBytes x (H + 1)
  BYTE wholePicture;
  LONG tileSize;  // T, rows of the first band
  LONG pictureHeight;
  LONG halfTile;  // H = (T + 1) / 2
  LONG halfHeight;
  LONG mapsCount;
  LONG widthBytes;
};

// Carry buffer and both map sets (identity maps). FALSE, with nothing kept,
// when any allocation fails or a size overflows.
BOOL AllocEnhanceBuffers(EnhanceContext& ctx, LONG widthBytes, LONG halfRows, LONG mapsCount);
void FreeEnhanceBuffers(EnhanceContext& ctx);

// One density band (width x rows, stride bytes apart; for middle and last
// bands the H rows above it belong to the caller's picture too). FALSE
// without a device record or for a band the buffers were not made for.
BOOL EnhanceBandGray(BYTE* band, LONG width, LONG rows, LONG stride, const PdevRect& bandRect, int bandKind,
                     const ImageParams& params, int mapKind, RenderPdev* pdev, EnhanceContext& ctx);
// The same on 24-bit pixels (blue, green, red; 255 light).
BOOL EnhanceBandRgb(BYTE* band, LONG width, LONG rows, LONG stride, int bandKind, const DWORD histogram[256],
                    int mapKind, RenderPdev* pdev, EnhanceContext& ctx);

// ---- the pieces, for their tests ----

// Global clipped equalisation of a picture histogram; colour 1 for RGB.
void ComputeAutoContrastMap(const DWORD histogram[256], BYTE map[256], int colour);
// Contrast level 1..7, brightness level 0..7 (0 adds nothing).
void BuildBrightnessContrastMap(BYTE map[256], int contrast, int brightness);
// Clip value in percent of the mean bin for a tile.
LONG ComputeClipLimit(const DWORD histogram[256], std::uint64_t pixels, int level, int colour);
// Standard deviation of the histogram, to the nearest integer.
LONG HistogramSpread(const DWORD histogram[256], std::uint64_t pixels);
void FillIdentityMaps(BYTE* maps, LONG count);
// Tile maps 1..n of a density band (rows of stride bytes) and of an RGB band.
void EqualizeTilesGray(const BYTE* band, LONG width, LONG stride, LONG rows, BYTE* maps, LONG mapsCount, LONG tile,
                       int level);
void EqualizeTilesRgb(const BYTE* band, LONG width, LONG stride, LONG rows, BYTE* maps, LONG mapsCount, LONG tile,
                      int level);
// Bilinear blend of the band's rows between the upper and lower map sets.
void BlendTileMapsGray(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE* upper, const BYTE* lower,
                       LONG mapsCount, LONG tile, bool startHalf);
void BlendTileMapsRgb(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE* upper, const BYTE* lower,
                      LONG mapsCount, LONG tile, bool startHalf);
void ApplyMapGray(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE map[256]);
void ApplyMapRgbInverted(BYTE* band, LONG width, LONG stride, LONG rows, const BYTE map[256]);

// Four-decimal fixed point of the spread.
struct Decimal4 {
  std::int32_t integer;
  std::int32_t tenThousandths;
};
Decimal4 DecimalFromInt(std::int32_t n);
std::int32_t DecimalToInt(Decimal4 a);
Decimal4 DecimalAdd(Decimal4 a, Decimal4 b);
Decimal4 DecimalSub(Decimal4 a, Decimal4 b);
Decimal4 DecimalMul(Decimal4 a, Decimal4 b);
Decimal4 DecimalDiv(Decimal4 a, Decimal4 b);
bool DecimalLess(Decimal4 a, Decimal4 b);
Decimal4 DecimalAbs(Decimal4 a);
Decimal4 DecimalSqrt(Decimal4 x);

}  // namespace imaging
