#include "imaging/image_buffer.h"

#include <cstring>

#include "imaging/enhancement.h"
#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "imaging/scratch.h"
#include "planes/plane_ops.h"

namespace imaging {

std::int64_t ImageStride(std::int64_t width, BYTE format) {
  if (width < 0) return -1;
  switch (format) {
    case 1: return (width + 7) / 8;
    case 2: return (width + 1) / 2;
    case 3: return width;
    case 4: return 2 * width;
    case 5: return 3 * width;
    case 6: return 4 * width;
    default: return 0;
  }
}

void ImageBufferInit(ImageBuffer& r, LONG left, LONG top, LONG width, LONG height, FixedMilli resolutionX,
                     FixedMilli resolutionY, BYTE format) {
  const auto edge = [](std::int64_t v) { return FixedFromThousandths(v * 1000); };
  r.area = {edge(left), edge(top), edge(std::int64_t{left} + width - 1), edge(std::int64_t{top} + height - 1)};
  r.filled = {r.area.left, r.area.top, r.area.right, edge(std::int64_t{top} - 1)};
  r.saved = r.area;
  r.rowsPerCm = FixedDotsPerCm(resolutionY);
  r.resolutionX = resolutionX;
  r.resolutionY = resolutionY;
  r.format = format;
}

bool ImageBufferAlloc(ImageBuffer& r, LONG width, LONG height, FixedMilli resolutionX, FixedMilli resolutionY,
                      BYTE format, std::size_t limitBytes) {
  ImageBufferFree(r);
  const std::int64_t stride = ImageStride(width, format);
  if (stride <= 0 || height <= 0 || stride > 0x7FFFFFFF) return false;
  const auto bytes = CheckedBytes(static_cast<std::uint64_t>(height) + 1, static_cast<std::uint64_t>(stride));
  if (!bytes || (limitBytes != 0 && *bytes > limitBytes)) return false;
  auto* block = static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes));
  if (!block) return false;
  r.buffer = block;
  r.block = block;
  r.blockBytes = *bytes;
  r.stride = static_cast<LONG>(stride);
  ImageBufferInit(r, 0, 0, width, height, resolutionX, resolutionY, format);
  return true;
}

void ImageBufferFree(ImageBuffer& r) {
  if (r.block) GlobalFree(r.block);
  r = ImageBuffer{};
}

LONG ImageWidth(const ImageBuffer& r) { return FixedRound(FixedRectWidth(r.area)); }
LONG ImageHeight(const ImageBuffer& r) { return FixedRound(FixedRectHeight(r.area)); }
PdevRect ImageRect(const ImageBuffer& r) { return {0, 0, ImageWidth(r) - 1, ImageHeight(r) - 1}; }

int ImageBufferWhiten(ImageBuffer& r) {
  if (!r.buffer) return 0;
  const LONG rows = ImageHeight(r);
  const std::int64_t rowBytes = ImageStride(ImageWidth(r), r.format);
  if (rows <= 0 || rowBytes <= 0) return 1;
  // Density records whiten with 0 (no ink); RGB and one-bit records with 255.
  const int white = r.format == kFormat8Bpp ? 0 : 0xFF;
  for (LONG y = 0; y < rows; ++y)
    std::memset(r.buffer + std::int64_t{y} * r.stride, white,
                static_cast<std::size_t>(std::min<std::int64_t>(rowBytes, r.stride)));
  return 1;
}

ImageBandCache* BandCacheOf(RenderPdev* pdev) {
  if (!pdev) return nullptr;
  if (!pdev->image.bandCache)
    pdev->image.bandCache = static_cast<ImageBandCache*>(GlobalAlloc(GPTR, sizeof(ImageBandCache)));
  return pdev->image.bandCache;
}

std::size_t WorkingImageLimit(const RenderPdev* pdev) {
  if (pdev->planeWidth <= 0 || pdev->planeHeight <= 0) return 0;
  return static_cast<std::size_t>(pdev->planeWidth) * (static_cast<std::size_t>(pdev->planeHeight) + 1);
}

}  // namespace imaging

using namespace imaging;

void FreeImageBuffers(RenderPdev* pdev) {
  if (!pdev) return;
  if (ImageBandCache* cache = pdev->image.bandCache) {
    ImageBufferFree(cache->working);
    ImageBufferFree(cache->scaled);
    ImageBufferFree(cache->rgb);
    // The target and pending records describe buffers of the callers.
    cache->target = ImageBuffer{};
    cache->pending = ImageBuffer{};
    cache->savedRecord = 0;
    GlobalFree(cache);
    pdev->image.bandCache = nullptr;
  }
  FreeJobScreens(pdev);
}

void PrepareImageParameters(RenderPdev* pdev) {
  if (!pdev) return;
  pdev->shared.pictureFlag = 1;
  if (ImageBandCache* cache = pdev->image.bandCache) {
    cache->params = ImageParams{};
    cache->params.histogram = cache->histogram;
    cache->bandContinuation = kContinueNone;
    cache->mergeState = 0;
    cache->rememberedWidthMm = 0;
  }
}

void FreeKeptTransparentImage(RenderPdev*) {}
