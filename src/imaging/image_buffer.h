// One image in memory with its geometry (ImageBuffer), and the state of the
// image band caches that lives behind pdev->image.bandCache: the working,
// scaled, target, pending and RGB records, the picture's histogram and
// parameter block, and the bytes that steer merging and enhancement.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/fixed_point.h"
#include "planes/pdev_record.h"

namespace imaging {

// Bitmap formats as the records keep them (BMF_* values).
inline constexpr BYTE kFormat1Bpp = 1;
inline constexpr BYTE kFormat8Bpp = 3;
inline constexpr BYTE kFormat24Bpp = 5;

struct ImageBuffer {
  BYTE* buffer;  // pixel (area.left, area.top); owned unless the record describes a caller's pixels
  FixedRect area;
  FixedRect filled;  // starts empty: bottom = top - 1
  FixedRect saved;  // in the working image: where the latest strip goes
  LONG stride;  // bytes per row
  FixedMilli rowsPerCm;
  FixedMilli resolutionX;  // dots per inch
  FixedMilli resolutionY;
  BYTE format;
  // The heap block behind buffer, larger than the area when the working image
  // has room to grow; null for pixels the record does not own.
  BYTE* block;
  std::size_t blockBytes;
};

// Stride of width pixels in a record format (no alignment); -1 for a
// negative width, 0 for another format.
std::int64_t ImageStride(std::int64_t width, BYTE format);
// Area, filled (empty), saved, rows per cm, resolutions and format; buffer
// and stride are left alone.
void ImageBufferInit(ImageBuffer& r, LONG left, LONG top, LONG width, LONG height, FixedMilli resolutionX,
                     FixedMilli resolutionY, BYTE format);
// Frees the record, then allocates (height + 1) x stride zero bytes and
// initialises it at (0, 0). FALSE (record cleared) when the size overflows,
// exceeds limitBytes (0: no limit) or the heap refuses it.
bool ImageBufferAlloc(ImageBuffer& r, LONG width, LONG height, FixedMilli resolutionX, FixedMilli resolutionY,
                      BYTE format, std::size_t limitBytes = 0);
// Frees the pixels the record owns and zeroes the whole record.
void ImageBufferFree(ImageBuffer& r);
// Whitens the area's rows: 0 (no ink) for density records, 255 for RGB.
// 0 without a buffer, else 1.
int ImageBufferWhiten(ImageBuffer& r);
// Width and height of the area in whole pixels (FixedRound of the sizes).
LONG ImageWidth(const ImageBuffer& r);
LONG ImageHeight(const ImageBuffer& r);
// The area as an integer rectangle at (0, 0).
PdevRect ImageRect(const ImageBuffer& r);

// The image parameter block of the pending picture. The picture flag itself
// is pdev->shared.pictureFlag, which the drawing paths read.
struct ImageParams {
  DWORD* histogram;
  DWORD packedScale;  // vertical source dpi << 16 | horizontal, rounded
  BYTE sourceFormat;
  FixedMilli resolutionX;  // the resolutions the target size in mm is taken with
  FixedMilli resolutionY;
};

// Values of the band-continuation and merge-state bytes.
inline constexpr BYTE kContinueNone = 0;
inline constexpr BYTE kContinueFlushing = 1;
inline constexpr BYTE kContinueFlushed = 2;
inline constexpr BYTE kMergeNextRowLeft = 1;
inline constexpr BYTE kMergeNextRightAbove = 2;
inline constexpr BYTE kMergeContinues = 5;

}  // namespace imaging

// Merged rectangle M and last strip rectangle L are the device record's
// image.operationRect and image.earlierRect; the last-flush ROP4 is
// image.earlierRop4; the pending flag is kPdevImagePending.
struct ImageBandCache {
  imaging::ImageBuffer working;  // merged 8-bit density at the cache resolution
  imaging::ImageBuffer scaled;  // source-resolution copy of a strip larger than its target
  imaging::ImageBuffer target;  // the pending picture's device rectangle
  imaging::ImageBuffer pending;  // the incoming strip (the caller's pixels)
  imaging::ImageBuffer rgb;  // RGB picture of two-ink sheets
  PdevRect bandOrigin;
  BYTE adjacency;
  DWORD histogram[256];
  imaging::ImageParams params;
  BYTE bandContinuation;
  BYTE mergeState;
  LONG rememberedRow;  // working row and device top recorded with merge state 1
  LONG rememberedTop;
  LONG rememberedWidthMm;  // width of the last enhanced picture
  BYTE autoContrastMap[256];
  BYTE savedRecord;
  std::uint32_t pictureRop4;  // the ROP4 of the pending picture's latest strip
};

namespace imaging {

using ::ImageBandCache;

// The device's cache state, made zero-filled on first use; null when the
// heap refuses it.
ImageBandCache* BandCacheOf(RenderPdev* pdev);
// The working image may not exceed the page at device resolution plus a row;
// 0 when the device has no page yet (no limit).
std::size_t WorkingImageLimit(const RenderPdev* pdev);

}  // namespace imaging
