// DrvEnableSurface and DrvDisableSurface: the plane layout of a sheet.
#include "render/render_surface.h"

#include <algorithm>
#include <cstring>

#include "imaging/image_entries.h"
#include "planes/glyph_output.h"
#include "planes/plane_ops.h"

bool UsesTwoPlanes(const RenderPdev* pdev) {
  return PrintsTwoInks(pdev) && !IsDuplexKind(pdev->duplex) && pdev->separationKind != 3;
}

namespace {

// The highest line number the stream would carry for this plane, with the
// vertical offset that is added to it, must fit 16 bits.
bool LinesFitStream(const RenderPdev* pdev, std::int64_t width, std::int64_t height) {
  std::int64_t lines = pdev->orientation == 90 ? width : height;
  if (pdev->resolutionMode == 1) lines = lines * 4 / 3 + 1;
  std::int64_t offset = TenthMmToDots(pdev->marginTop, pdev->resolutionY);
  if (pdev->customPosition == 1) {
    offset = std::max({TenthMmToDots(std::max(pdev->frontY, 0), pdev->resolutionY),
                       TenthMmToDots(std::max(pdev->backY, 0), pdev->resolutionY)});
  }
  return lines + offset <= 0xFFFF && width <= 0xFFFF;
}

void ReleaseSurface(RenderPdev* pdev) {
  if (pdev->surfaceObject) EngUnlockSurface(pdev->surfaceObject);
  pdev->surfaceObject = nullptr;
  if (pdev->surface) EngDeleteSurface(pdev->surface);
  pdev->surface = nullptr;
  if (pdev->drum2Plane) GlobalFree(pdev->drum2Plane);
  pdev->drum1Plane = nullptr;
  pdev->drum2Plane = nullptr;
}

}  // namespace

HSURF DrvEnableSurface(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<RenderPdev*>(dhpdev);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  ReleaseSurface(pdev);
  bool two = UsesTwoPlanes(pdev);
  if (two)
    pdev->flags |= kPdevTwoPlanes;
  else
    pdev->flags &= ~kPdevTwoPlanes;

  std::int64_t m = 0, n = 0;
  PrintableMargins(pdev, m, n);
  std::int64_t width = TenthMmToDots(static_cast<std::int64_t>(pdev->paperWidth) - m, pdev->resolutionX);
  std::int64_t height = TenthMmToDots(static_cast<std::int64_t>(pdev->paperLength) - n, pdev->resolutionY);
  if (width <= 0 || height <= 0 || !LinesFitStream(pdev, width, height)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::int64_t stride = ((width + 7) / 8 + 3) & ~std::int64_t{3};
  std::int64_t planeBytes = stride * height;
  std::int64_t total = planeBytes * (two ? 2 : 1);
  auto* buffer = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<SIZE_T>(total)));
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memset(buffer, 0xFF, static_cast<size_t>(total));
  pdev->planeWidth = static_cast<std::int32_t>(width);
  pdev->planeHeight = static_cast<std::int32_t>(height);
  pdev->planeStride = static_cast<std::int32_t>(stride);
  pdev->drum2Plane = buffer;
  pdev->drum1Plane = two ? buffer + planeBytes : buffer;

  HBITMAP bm = EngCreateBitmap(SIZEL{static_cast<LONG>(width), static_cast<LONG>(height)}, static_cast<LONG>(stride),
                               BMF_1BPP, BMF_TOPDOWN, buffer);
  if (!bm) {
    ReleaseSurface(pdev);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  pdev->surface = reinterpret_cast<HSURF>(bm);
  // The plug-in's planes belong to the core's device and take no hooks.
  const bool plugin = IsPluginPdev(pdev);
  if (!EngAssociateSurface(pdev->surface, pdev->engineDevice, plugin ? 0 : kPageSurfaceHooks)) {
    ReleaseSurface(pdev);
    return nullptr;
  }
  pdev->surfaceObject = EngLockSurface(pdev->surface);
  if (!pdev->surfaceObject) {
    ReleaseSurface(pdev);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  // Their device pointer is the core's record; the entries find ours on it.
  if (plugin) pdev->surfaceObject->dhpdev = reinterpret_cast<DHPDEV>(pdev);
  ClearClipRectList(pdev);
  pdev->drawnRect = PdevRect{0, 0, -1, -1};
  pdev->drawing.thickenCopy = pdev->textVolumeA;
  return pdev->surface;
}

void DrvDisableSurface(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<RenderPdev*>(dhpdev);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  ReleaseSurface(pdev);
  pdev->planeWidth = 0;
  pdev->planeHeight = 0;
  FreeImageBuffers(pdev);
  FreeGlyphScratch(pdev);
  pdev->pageCounter = 0;
  pdev->sheetCounter = 0;
  pdev->compressionMode = 0;
  pdev->outputFill = 0;
}
