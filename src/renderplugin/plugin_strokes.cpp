// The plug-in's strokes: black and white pens on the plane of their ink (the
// other ink whitened under a copied line), other colours drawn on a 24-bit
// page of the stroke's own size and halftoned into the plane of their plate.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/brush_dither.h"
#include "planes/plane_ops.h"
#include "planes/row_kernels.h"
#include "planes/stroke_planes.h"
#include "plat/engine_clip_xlate.h"
#include "renderplugin/plugin_rop.h"

namespace {

// A mix whose foreground and background are both R2_COPYPEN (ROP4 0xF0F0).
bool IsCopyMix(MIX mix) { return (mix & 0xFF) == R2_COPYPEN && ((mix >> 8) & 0xFF) == R2_COPYPEN; }

// The engine's objects of a stroke moved by (-dx, -dy) onto a page that
// starts at the area's corner; deleted with it.
struct ShiftedStroke {
  PATHOBJ* path = nullptr;
  CLIPOBJ* clip = nullptr;
  ShiftedStroke() = default;
  ShiftedStroke(const ShiftedStroke&) = delete;
  ShiftedStroke& operator=(const ShiftedStroke&) = delete;
  ~ShiftedStroke() {
    if (path) plat::engine::DeletePath(path);
    if (clip) plat::engine::DeleteClip(clip);
  }
};

PATHOBJ* ShiftPath(PATHOBJ* ppo, LONG dx, LONG dy) {
  std::vector<plat::engine::SubPath> subpaths;
  PATHOBJ_vEnumStart(ppo);
  PATHDATA pd{};
  bool more = true;
  while (more) {
    more = PATHOBJ_bEnum(ppo, &pd) != FALSE;
    if (pd.count == 0 && !(pd.flags & PD_BEGINSUBPATH)) continue;
    if ((pd.flags & PD_BEGINSUBPATH) || subpaths.empty()) subpaths.emplace_back();
    plat::engine::SubPath& sp = subpaths.back();
    for (ULONG i = 0; i < pd.count; ++i)
      sp.points.push_back(POINTFIX{pd.pptfx[i].x - dx * 16, pd.pptfx[i].y - dy * 16});
    if (pd.flags & PD_BEZIERS) sp.beziers = true;
    if (pd.flags & PD_CLOSEFIGURE) sp.closed = true;
  }
  PATHOBJ_vEnumStart(ppo);
  return plat::engine::CreatePath(subpaths);
}

// The caller's clip within the area (inclusive), moved to the area's page.
// Null when nothing of the clip lies inside.
CLIPOBJ* ShiftClip(CLIPOBJ* pco, const PdevRect& area) {
  const RECTL areaRect = ExclusiveRect(area);
  std::vector<RECTL> rects;
  auto add = [&](const RECTL& r) {
    const RECTL cut{std::max(r.left, areaRect.left), std::max(r.top, areaRect.top),
                    std::min(r.right, areaRect.right), std::min(r.bottom, areaRect.bottom)};
    if (cut.left < cut.right && cut.top < cut.bottom)
      rects.push_back(RECTL{cut.left - area.left, cut.top - area.top, cut.right - area.left, cut.bottom - area.top});
  };
  if (!pco || pco->iDComplexity == DC_TRIVIAL)
    add(areaRect);
  else if (pco->iDComplexity == DC_RECT)
    add(pco->rclBounds);
  else
    ForEachEnumeratedClipRect(pco, add);
  if (rects.empty()) return nullptr;
  if (!pco || pco->iDComplexity == DC_TRIVIAL) return plat::engine::CreateTrivialClip(rects.front());
  return plat::engine::CreateClip(rects.data(), static_cast<ULONG>(rects.size()));
}

// A locked 24-bit top-down page of the engine (black) for the device.
struct TemporaryPage {
  HSURF surface = nullptr;
  SURFOBJ* object = nullptr;
  TemporaryPage() = default;
  TemporaryPage(const TemporaryPage&) = delete;
  TemporaryPage& operator=(const TemporaryPage&) = delete;
  ~TemporaryPage() {
    if (object) EngUnlockSurface(object);
    if (surface) EngDeleteSurface(surface);
  }
  bool Make(HDEV device, LONG width, LONG height) {
    const std::int64_t stride = AlignTo4(std::int64_t{width} * 3);
    if (stride > 0x7FFFFFFF) return false;
    surface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{width, height}, static_cast<LONG>(stride), BMF_24BPP, BMF_TOPDOWN, nullptr));
    if (!surface || !EngAssociateSurface(surface, device, 0)) return false;
    object = EngLockSurface(surface);
    return object != nullptr;
  }
};

}  // namespace

BOOL OemStrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* brushOrigin,
                         LINEATTRS* lineAttrs, MIX mix) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!pdev || !pbo) return FALSE;
  const ULONG rgb = pbo->iSolidColor & 0xFFFFFF;
  if (pbo->iSolidColor != kNoSolidColor && rgb != 0 && rgb != 0xFFFFFF)
    return StrokeColouredPath(pso, ppo, pco, pxo, pbo, brushOrigin, lineAttrs, mix);
  if (!ColourUsesSecondPlane(pdev, pbo) || pdev->drum1Plane == pdev->drum2Plane)
    return EngStrokePath(pso, ppo, pco, pxo, pbo, brushOrigin, lineAttrs, mix);
  const BOOL drawn = StrokeOnDrumOneRows(pso, ppo, pco, pxo, pbo, brushOrigin, lineAttrs, mix);
  if (!drawn) return FALSE;
  if (!IsCopyMix(mix)) return drawn;
  // A copied line knocks the other ink out under it.
  BRUSHOBJ white = *pbo;
  white.iSolidColor = 0xFFFFFF;
  white.pvRbrush = nullptr;
  return EngStrokePath(pso, ppo, pco, pxo, &white, brushOrigin, lineAttrs, mix);
}

BOOL StrokeColouredPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* brushOrigin,
                        LINEATTRS* lineAttrs, MIX mix) {
  if (!IsCopyMix(mix)) return FALSE;
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev || !ppo || !pbo) return FALSE;
  // The area: the dots the stroke can reach inside the clip and the page.
  PdevRect area = StrokeReach(pdev, ppo, lineAttrs);
  if (pco) RectIntersect(area, InclusiveRect(pco->rclBounds), area);
  RectIntersect(area, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, area);
  if (RectIsEmpty(area)) return TRUE;
  const LONG width = static_cast<LONG>(RectWidth(area)), height = static_cast<LONG>(RectHeight(area));

  TemporaryPage page;
  if (!page.Make(pdev->engineDevice, width, height)) return FALSE;
  ShiftedStroke shifted;
  shifted.clip = ShiftClip(pco, area);
  if (!shifted.clip) return TRUE;
  shifted.path = ShiftPath(ppo, area.left, area.top);
  if (!shifted.path) return FALSE;
  const BOOL stroked =
      EngStrokePath(page.object, shifted.path, shifted.clip, pxo, pbo, brushOrigin, lineAttrs, mix);
  if (!stroked) return FALSE;
  const PdevRect band{0, 0, width - 1, height - 1};
  const LONG rowBytes = static_cast<LONG>(AlignTo4(RowBytes1bpp(width)));
  BYTE* block = StrokeMaskToDensity(pdev, static_cast<const BYTE*>(page.object->pvScan0), area,
                                    page.object->lDelta, band, rowBytes);
  if (!block) return stroked;

  const ULONG rgb = pbo->iSolidColor & 0xFFFFFF;
  std::uint8_t plate = 2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(pdev->separationModes[1]), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          kObjectKindImage, &plate, &density);
  pdev->drawing.plateSelector = plate;
  // The bands are page-anchored already: no pair rows of 300 x 600.
  const std::uint8_t resolutionMode = pdev->resolutionMode;
  if (resolutionMode == 2) pdev->resolutionMode = 0;
  const LONG stride = pdev->planeStride;
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, stride, &drum1, &drum2);
  BYTE* plane = plate == 2 ? drum2 : drum1;
  BYTE* dithered = block;
  BYTE* mask = block + static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height + 1);
  BYTE* other = plane == drum2 ? drum1 : drum2;
  const bool whitenOther = HasTwoPlanes(pdev) && drum1 != drum2;
  BOOL result = TRUE;
  // Row by row over the bytes the stroke reaches (off it the mask is white
  // and the dither ink, so the kernels would change nothing there).
  for (LONG y = 0; y < height; ++y) {
    BYTE* maskRow = mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes);
    LONG first = 0, last = rowBytes - 1;
    while (first <= last && maskRow[first] == 0xFF) ++first;
    if (first > last) continue;
    while (maskRow[last] == 0xFF) --last;
    const PdevRect span{first * 8, y, std::min(last * 8 + 7, width - 1), y};
    const PdevRect dest{area.left + span.left, area.top + y, area.left + span.right, area.top + y};
    result = ForEachClipRectWithSource(pdev, plane, dest, stride, mask, span, rowBytes, pco, AndRowsIntoPlane);
    result = ForEachClipRectWithSource(pdev, plane, dest, stride, dithered, span, rowBytes, pco, OrRowsIntoPlane);
    if (!whitenOther) continue;
    for (LONG k = first; k <= last; ++k) maskRow[k] = static_cast<BYTE>(~maskRow[k]);
    result = ForEachClipRectWithSource(pdev, other, dest, stride, mask, span, rowBytes, pco, OrRowsIntoPlane);
  }
  pdev->resolutionMode = resolutionMode;
  GlobalFree(block);
  return result;
}

namespace {

// The first and last pixel of a 24-bit row with any non-zero byte; false
// when the row is all zero.
bool InkedSpan(const BYTE* row, std::int64_t width, std::int64_t& first, std::int64_t& last) {
  const std::int64_t bytes = 3 * width;
  std::int64_t i = 0;
  for (; i + 32 <= bytes; i += 32) {
    std::uint64_t v[4];
    std::memcpy(v, row + i, 32);
    if (v[0] | v[1] | v[2] | v[3]) break;
  }
  while (i < bytes && row[i] == 0) ++i;
  if (i >= bytes) return false;
  std::int64_t j = bytes - 1;
  for (; j - 31 > i; j -= 32) {
    std::uint64_t v[4];
    std::memcpy(v, row + j - 31, 32);
    if (v[0] | v[1] | v[2] | v[3]) break;
  }
  while (row[j] == 0) --j;
  first = i / 3;
  last = j / 3;
  return true;
}

}  // namespace

BYTE* StrokeMaskToDensity(RenderPdev* pdev, const BYTE* pixels, const PdevRect& area, LONG stride,
                          const PdevRect& band, LONG bandRowBytes) {
  if (!pdev || !pixels || RectIsEmpty(band) || band.left != 0 || band.top != 0 || bandRowBytes <= 0 ||
      std::int64_t{bandRowBytes} * 8 < RectWidth(band))
    return nullptr;
  const std::int64_t width = RectWidth(band), height = RectHeight(band);
  const std::size_t bandBytes = static_cast<std::size_t>(bandRowBytes) * static_cast<std::size_t>(height + 1);
  auto* block = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 2 * bandBytes));
  if (!block) return nullptr;
  // The dithered band is ink off the stroke, so that ORing it keeps the
  // plane there; the mask band is white off the stroke.
  BYTE* dithered = block;
  BYTE* mask = block + bandBytes;
  std::memset(dithered, 0x00, bandBytes);
  std::memset(mask, 0xFF, bandBytes);
  const LONG densityStride = static_cast<LONG>(width + 1);
  auto* density = static_cast<BYTE*>(LocalAlloc(LPTR, static_cast<std::size_t>((width + 1) * (height + 1))));
  if (!density) {
    GlobalFree(block);
    return nullptr;
  }
  // Every stroke pixel classified for the plates, red first as drawn; only
  // the span of each row that the stroke reaches is converted.
  pdev->shared.operation = kOperationDirect;
  pdev->plugin.rgbOrder = 1;
  for (std::int64_t y = 0; y < height; ++y) {
    const BYTE* row = pixels + y * std::int64_t{stride};
    std::int64_t x0 = 0, x1 = 0;
    if (!InkedSpan(row, width, x0, x1)) continue;
    BYTE* maskRow = mask + y * bandRowBytes;
    for (std::int64_t x = x0; x <= x1; ++x) {
      const BYTE* p = row + 3 * x;
      if (p[0] | p[1] | p[2]) maskRow[x >> 3] = static_cast<BYTE>(maskRow[x >> 3] & ~(0x80 >> (x & 7)));
    }
    BYTE* densityRow = density + y * densityStride;
    OemRgbToDensity(pdev, pixels, PdevRect{static_cast<LONG>(x0), static_cast<LONG>(y), static_cast<LONG>(x1),
                                           static_cast<LONG>(y)},
                    stride, densityRow + x0, densityStride);
    // Whole bytes from the span's first: the dither is phased by the page
    // position, and the dots off the stroke go back to ink.
    const std::int64_t from = x0 & ~std::int64_t{7};
    BYTE* ditheredRow = dithered + y * bandRowBytes;
    imaging::DitherMatrix8x8Phased(densityRow + from, ditheredRow + from / 8, x1 - from + 1, 1, densityStride,
                                   bandRowBytes, POINTL{static_cast<LONG>(area.left + from), static_cast<LONG>(area.top + y)});
    for (std::int64_t k = from / 8; k <= x1 / 8; ++k) ditheredRow[k] = static_cast<BYTE>(ditheredRow[k] & ~maskRow[k]);
  }
  pdev->shared.operation = kOperationIdle;
  pdev->plugin.rgbOrder = 0;
  pdev->drawing.targetPlane = dithered;
  pdev->drawing.otherPlane = mask;
  LocalFree(density);
  return block;
}
