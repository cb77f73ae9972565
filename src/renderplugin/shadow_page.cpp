#include "renderplugin/shadow_page.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::int32_t kNoRows = 0;

void Forget(ShadowPage& shadow) {
  shadow.touchedTop = 1;
  shadow.touchedBottom = kNoRows;
}

void DeleteBitmap(HSURF& surface, SURFOBJ*& object) {
  if (object) EngUnlockSurface(object);
  object = nullptr;
  if (surface) EngDeleteSurface(surface);
  surface = nullptr;
}

void WhitenRows(SURFOBJ* object, std::int32_t top, std::int32_t bottom) {
  const std::size_t rowBytes = static_cast<std::size_t>(object->sizlBitmap.cx) * 3;
  auto* scan = static_cast<BYTE*>(object->pvScan0);
  for (std::int32_t y = top; y < bottom; ++y)
    std::memset(scan + static_cast<std::ptrdiff_t>(y) * object->lDelta, 0xFF, rowBytes);
  ++object->iUniq;
}

}  // namespace

bool BeginShadowPage(ShadowPage& shadow, HDEV engine, std::int32_t width, std::int32_t height) {
  // One left by a page without SendPage is taken back like a kept one.
  if (shadow.surface) EndShadowPage(shadow);
  if (shadow.kept && (shadow.keptObject->sizlBitmap.cx != width || shadow.keptObject->sizlBitmap.cy != height))
    DeleteShadowPage(shadow);
  if (!shadow.kept) {
    if (width <= 0 || height <= 0) return false;
    HBITMAP bm = EngCreateBitmap(SIZEL{width, height}, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
    if (!bm) return false;
    shadow.kept = reinterpret_cast<HSURF>(bm);
    if (!EngAssociateSurface(shadow.kept, engine, 0) || !(shadow.keptObject = EngLockSurface(shadow.kept))) {
      DeleteShadowPage(shadow);
      return false;
    }
    shadow.touchedTop = 0;
    shadow.touchedBottom = height;
  }
  if (shadow.touchedTop < shadow.touchedBottom) WhitenRows(shadow.keptObject, shadow.touchedTop, shadow.touchedBottom);
  Forget(shadow);
  shadow.surface = shadow.kept;
  shadow.object = shadow.keptObject;
  return true;
}

void EndShadowPage(ShadowPage& shadow) {
  shadow.surface = nullptr;
  shadow.object = nullptr;
}

void DeleteShadowPage(ShadowPage& shadow) {
  EndShadowPage(shadow);
  DeleteBitmap(shadow.kept, shadow.keptObject);
  Forget(shadow);
}

void TouchShadowRows(ShadowPage& shadow, const RECTL* bounds) {
  if (!shadow.object) return;
  const std::int32_t height = shadow.object->sizlBitmap.cy;
  std::int32_t top = 0, bottom = height;
  if (bounds) {
    top = std::clamp<std::int32_t>(std::min(bounds->top, bounds->bottom), 0, height);
    bottom = std::clamp<std::int32_t>(std::max(bounds->top, bounds->bottom), 0, height);
  }
  if (top >= bottom) return;
  if (shadow.touchedTop >= shadow.touchedBottom) {
    shadow.touchedTop = top;
    shadow.touchedBottom = bottom;
    return;
  }
  shadow.touchedTop = std::min(shadow.touchedTop, top);
  shadow.touchedBottom = std::max(shadow.touchedBottom, bottom);
}

bool ShadowPageIsWhite(const SURFOBJ* object) {
  const std::size_t rowBytes = static_cast<std::size_t>(object->sizlBitmap.cx) * 3;
  const auto* scan = static_cast<const BYTE*>(object->pvScan0);
  for (LONG y = 0; y < object->sizlBitmap.cy; ++y) {
    const BYTE* row = scan + static_cast<std::ptrdiff_t>(y) * object->lDelta;
    if (std::any_of(row, row + rowBytes, [](BYTE b) { return b != 0xFF; })) return false;
  }
  return true;
}
