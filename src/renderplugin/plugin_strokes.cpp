// The plug-in's strokes: black and white pens on the plane of their ink (the
// other ink whitened under a copied line), other colours drawn as a mask of
// the stroke's own size and halftoned into the plane of their plate.
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

// Rows ahead of the one being combined whose plane bytes are fetched early.
constexpr LONG kRowsAhead = 16;

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
  if (!pdev || !ppo || !pbo || pbo->iSolidColor == kNoSolidColor) return FALSE;
  // The area: the dots the stroke can reach inside the clip and the page.
  PdevRect area = StrokeReach(pdev, ppo, lineAttrs);
  if (pco) RectIntersect(area, InclusiveRect(pco->rclBounds), area);
  RectIntersect(area, PdevRect{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1}, area);
  if (RectIsEmpty(area)) return TRUE;
  // From a byte of the plane: the bands' bytes are then the plane's.
  area.left &= ~7;
  const LONG width = static_cast<LONG>(RectWidth(area)), height = static_cast<LONG>(RectHeight(area));
  const LONG rowBytes = static_cast<LONG>(AlignTo4(RowBytes1bpp(width)));
  const std::size_t bandBytes = static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height + 1);

  // The brush's colour as a 24-bit page of the device holds it.
  TemporaryPage pixelPage;
  if (!pixelPage.Make(pdev->engineDevice, 1, 1)) return FALSE;
  const ULONG rgb = pbo->iSolidColor & 0xFFFFFF;
  const bool redFirst = plat::engine::RedFirst(pixelPage.object);
  const BYTE pixel[3] = {static_cast<BYTE>(redFirst ? rgb : rgb >> 16), static_cast<BYTE>(rgb >> 8),
                         static_cast<BYTE>(redFirst ? rgb >> 16 : rgb)};

  // The stroke drawn black on the white mask band: a solid pen inks every
  // dot it covers in its one colour, so the band says all that a 24-bit
  // page of the area would, at a twenty-fourth of its size.
  auto* block = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 2 * bandBytes));
  if (!block) return FALSE;
  BYTE* dithered = block;
  BYTE* mask = block + bandBytes;
  std::memset(mask, 0xFF, bandBytes);
  BOOL stroked = FALSE;
  {
    HSURF surface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{width, height}, rowBytes, BMF_1BPP, BMF_TOPDOWN, mask));
    SURFOBJ* object = surface && EngAssociateSurface(surface, pdev->engineDevice, 0) ? EngLockSurface(surface) : nullptr;
    ShiftedStroke shifted;
    shifted.clip = object ? ShiftClip(pco, area) : nullptr;
    shifted.path = shifted.clip ? ShiftPath(ppo, area.left, area.top) : nullptr;
    if (shifted.path) {
      BRUSHOBJ black = *pbo;
      black.iSolidColor = 0;
      black.pvRbrush = nullptr;
      stroked = EngStrokePath(object, shifted.path, shifted.clip, pxo, &black, brushOrigin, lineAttrs, mix);
    }
    const bool outsideClip = object && !shifted.clip;
    if (object) EngUnlockSurface(object);
    if (surface) EngDeleteSurface(surface);
    if (outsideClip) {
      GlobalFree(block);
      return TRUE;
    }
  }
  const PdevRect band{0, 0, width - 1, height - 1};
  if (!stroked || !StrokeMaskToDensity(pdev, pixel, area, block, band, rowBytes)) {
    GlobalFree(block);
    return stroked;
  }

  std::uint8_t plate = 2, density = 0;
  ClassifyColourForPlates(ClassCodeOfMode(pdev->separationModes[1]), static_cast<std::uint8_t>(rgb & 0xFF),
                          static_cast<std::uint8_t>((rgb >> 8) & 0xFF), static_cast<std::uint8_t>((rgb >> 16) & 0xFF),
                          kObjectKindImage, &plate, &density);
  pdev->drawing.plateSelector = plate;
  const LONG stride = pdev->planeStride;
  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, stride, &drum1, &drum2);
  BYTE* plane = plate == 2 ? drum2 : drum1;
  BYTE* other = plane == drum2 ? drum1 : drum2;
  const bool whitenOther = HasTwoPlanes(pdev) && drum1 != drum2;
  // Row by row over the bytes the stroke reaches: its dots take the ink and
  // the dither on their plate and are whitened on the other. Off the stroke
  // the mask is white, also outside the clip, which the engine kept. The
  // bands are page-anchored already: no pair rows of 300 x 600.
  const std::int64_t spanBytes = RowBytes1bpp(width), firstByte = area.left / 8;
  for (LONG y = 0; y < height; ++y) {
    const BYTE* maskRow = mask + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes);
    std::int64_t first = 0, last = spanBytes - 1;
    while (first <= last && maskRow[first] == 0xFF) ++first;
    if (first > last) continue;
    while (maskRow[last] == 0xFF) --last;
    const BYTE* ditherRow = dithered + static_cast<std::size_t>(y) * static_cast<std::size_t>(rowBytes);
    const std::int64_t at = (std::int64_t{area.top} + y) * stride + firstByte;
    // The planes' rows lie far apart: ask for a later row's bytes near this
    // span while this one is combined.
    if (y + kRowsAhead < height) {
      __builtin_prefetch(plane + at + kRowsAhead * std::int64_t{stride} + first, 1);
      if (whitenOther) __builtin_prefetch(other + at + kRowsAhead * std::int64_t{stride} + first, 1);
    }
    BYTE* ink = plane + at;
    for (std::int64_t k = first; k <= last; ++k) ink[k] = static_cast<BYTE>((ink[k] & maskRow[k]) | ditherRow[k]);
    if (!whitenOther) continue;
    BYTE* white = other + at;
    for (std::int64_t k = first; k <= last; ++k) white[k] = static_cast<BYTE>(white[k] | ~maskRow[k]);
  }
  GlobalFree(block);
  return TRUE;
}

BOOL StrokeMaskToDensity(RenderPdev* pdev, const BYTE* pixel, const PdevRect& area, BYTE* block, const PdevRect& band,
                         LONG bandRowBytes) {
  if (!pdev || !pixel || !block || RectIsEmpty(band) || band.left != 0 || band.top != 0 || bandRowBytes <= 0 ||
      std::int64_t{bandRowBytes} * 8 < RectWidth(band))
    return FALSE;
  const std::int64_t width = RectWidth(band), height = RectHeight(band);
  const std::size_t bandBytes = static_cast<std::size_t>(bandRowBytes) * static_cast<std::size_t>(height + 1);
  BYTE* dithered = block;
  const BYTE* mask = block + bandBytes;
  // The stroke's colour classified for the plates, red first as drawn: every
  // dot of the stroke takes its density.
  pdev->shared.operation = kOperationDirect;
  pdev->plugin.rgbOrder = 1;
  BYTE density = 0;
  OemRgbToDensity(pdev, pixel, PdevRect{0, 0, 0, 0}, 3, &density, 1);
  pdev->shared.operation = kOperationIdle;
  pdev->plugin.rgbOrder = 0;
  std::vector<BYTE> densities(static_cast<std::size_t>(width) + 8, density);
  // The dithered band is ink off the stroke, so that ORing it keeps the
  // plane there.
  std::memset(dithered, 0x00, bandBytes);
  for (std::int64_t y = 0; y < height; ++y) {
    const BYTE* maskRow = mask + y * bandRowBytes;
    std::int64_t first = 0, last = RowBytes1bpp(width) - 1;
    while (first <= last && maskRow[first] == 0xFF) ++first;
    if (first > last) continue;
    while (maskRow[last] == 0xFF) --last;
    // Whole bytes: the dither is phased by the page position, and the dots
    // off the stroke go back to ink.
    const std::int64_t from = first * 8, count = std::min(last * 8 + 8, width) - from;
    BYTE* ditheredRow = dithered + y * bandRowBytes;
    imaging::DitherMatrix8x8Phased(densities.data(), ditheredRow + first, count, 1, static_cast<LONG>(count),
                                   bandRowBytes, POINTL{static_cast<LONG>(area.left + from), static_cast<LONG>(area.top + y)});
    for (std::int64_t k = first; k <= last; ++k) ditheredRow[k] = static_cast<BYTE>(ditheredRow[k] & ~maskRow[k]);
  }
  pdev->drawing.targetPlane = dithered;
  pdev->drawing.otherPlane = block + bandBytes;
  return TRUE;
}
