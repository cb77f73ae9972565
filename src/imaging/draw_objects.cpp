// The plug-in's queue of drawing objects: merging pieces into objects,
// flushing the objects a drawing touches, and the read-back of an object from
// the shadow page into the planes.
#include "imaging/draw_objects.h"

#include <algorithm>
#include <cstring>

#include "imaging/image_band_cache.h"
#include "imaging/merge_decision.h"
#include "imaging/picture_halftone.h"
#include "imaging/rgb_band_cache.h"
#include "imaging/rgb_picture.h"
#include "imaging/scratch.h"
#include "imaging/two_plate_render.h"
#include "planes/plane_ops.h"
#include "planes/row_kernels.h"

using namespace imaging;

namespace {

bool CompatibleKinds(std::uint8_t a, std::uint8_t b) {
  return a == b || (a == kObjectMask && b == kObjectCopy) || (a == kObjectCopy && b == kObjectMask);
}

// Room for count more items, the array growing geometrically.
bool ReserveItems(DrawObject* object, std::size_t more) {
  const std::size_t needed = static_cast<std::size_t>(object->itemCount) + more;
  if (needed <= static_cast<std::size_t>(object->itemCapacity)) return true;
  if (needed > 0x0FFFFFFF) return false;
  const std::size_t capacity = std::max<std::size_t>({needed, 2 * static_cast<std::size_t>(object->itemCapacity), 4});
  auto* grown = static_cast<DrawObjectItem*>(LocalAlloc(LPTR, capacity * sizeof(DrawObjectItem)));
  if (!grown) return false;
  if (object->items) {
    std::memcpy(grown, object->items, static_cast<std::size_t>(object->itemCount) * sizeof(DrawObjectItem));
    LocalFree(object->items);
  }
  object->items = grown;
  object->itemCapacity = static_cast<std::int32_t>(capacity);
  return true;
}

// The object's memory; the cursor never names a freed object.
void FreeObject(RenderPdev* pdev, DrawObject* object) {
  if (pdev->plugin.cursor == object) pdev->plugin.cursor = nullptr;
  if (object->items) LocalFree(object->items);
  LocalFree(object);
}

// Takes object out of the queue; predecessor is the one before it (null for
// the head).
void Unlink(RenderPdev* pdev, DrawObject* predecessor, DrawObject* object) {
  PdevPluginState& q = pdev->plugin;
  if (predecessor)
    predecessor->next = object->next;
  else
    q.head = object->next;
  if (q.tail == object) q.tail = predecessor;
  object->next = nullptr;
}

// Appends the victim's or the other's items to the survivor's: the array
// becomes first's items followed by second's (the survivor is one of them).
bool JoinItems(DrawObject* survivor, const DrawObject* first, const DrawObject* second) {
  const std::size_t n1 = static_cast<std::size_t>(first->itemCount), n2 = static_cast<std::size_t>(second->itemCount);
  if (first == survivor) {
    if (!ReserveItems(survivor, n2)) return false;
    if (n2) std::memcpy(survivor->items + n1, second->items, n2 * sizeof(DrawObjectItem));
  } else {
    // The victim's items go first: the survivor's move up behind them, in
    // place when they fit, else into an array grown geometrically.
    if (!ReserveItems(survivor, n1)) return false;
    if (n2) std::memmove(survivor->items + n1, survivor->items, n2 * sizeof(DrawObjectItem));
    if (n1) std::memcpy(survivor->items, first->items, n1 * sizeof(DrawObjectItem));
  }
  survivor->itemCount = static_cast<std::int32_t>(n1 + n2);
  return true;
}

// The device state of the object being built: merged rectangle, pending
// flag, kind and tag bytes, adjacency and the last strip.
void DescribeObject(RenderPdev* pdev, ImageBandCache& cache, const DrawObject* object, const PdevRect& N) {
  pdev->image.operationRect = object->rect;
  pdev->flags |= kPdevImagePending;
  pdev->plugin.kind = object->kind;
  cache.adjacency = 1;
  pdev->plugin.tag = object->tag;
  pdev->image.earlierRect = N;
}

// Renders an object from the shadow page; it stays queued. The clip list
// describes the object's items only while it is emitted.
void RenderObject(RenderPdev* pdev, DrawObject* object) {
  pdev->image.operationRect = object->rect;
  pdev->plugin.tag = object->tag;
  pdev->plugin.kind = object->kind;
  pdev->flags |= kPdevImagePending;
  ClipRectList& list = pdev->shared.clipRects;
  const ClipRectList kept = list;
  list = ClipRectList{};
  list.entries = object->items;
  list.count = list.capacity = static_cast<std::uint32_t>(object->itemCount);
  list.pictureFirst = 0;
  list.pictureLast = object->itemCount > 0 ? static_cast<std::uint32_t>(object->itemCount - 1) : 0;
  pdev->shared.pictureFlag = 1;
  pdev->shared.operation = kOperationIdle;
  EmitDrawObject(pdev);
  list = kept;
}

// Renders, unlinks and frees an object.
void EmitObject(RenderPdev* pdev, DrawObject* predecessor, DrawObject* object) {
  RenderObject(pdev, object);
  Unlink(pdev, predecessor, object);
  FreeObject(pdev, object);
}

// Adds the piece N to X (step "add"): FALSE when its items cannot grow.
bool AddPiece(RenderPdev* pdev, ImageBandCache& cache, DrawObject* X, const PdevRect& N, std::uint8_t kind,
              CLIPOBJ* clip, const PdevRect& reach) {
  if (!AddClipToDrawObject(pdev, X, clip, reach)) return false;
  RectUnion(X->rect, N, X->rect);
  if (X->kind != kind) X->kind = kObjectMask;
  X->lastPiece = N;
  X->clipComplexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  DescribeObject(pdev, cache, X, N);
  return true;
}

bool Complex(const CLIPOBJ* clip) { return clip && clip->iDComplexity == DC_COMPLEX; }

}  // namespace

bool RectsOverlap(const PdevRect& a, const PdevRect& b) {
  return std::max(a.left, b.left) < std::min(a.right, b.right) && std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

BOOL AddClipToDrawObject(RenderPdev* pdev, DrawObject* object, CLIPOBJ* clip, const PdevRect& reach) {
  if (!object || !clip) return TRUE;
  // Items lie inside what the blit reaches and on the page: the read-back
  // whitens and copies nothing else.
  const PdevRect page{0, 0, pdev->planeWidth - 1, pdev->planeHeight - 1};
  const PdevRect& piece = reach;
  std::size_t added = 0;
  const auto add = [&](const RECTL& r) {
    PdevRect item = InclusiveRect(r);
    RectIntersect(item, piece, item);
    RectIntersect(item, page, item);
    if (RectIsEmpty(item)) return true;
    if (!ReserveItems(object, 1)) return false;
    object->items[object->itemCount++] = DrawObjectItem{item, 0};
    ++added;
    return true;
  };
  if (clip->iDComplexity != DC_COMPLEX) {
    if (!add(clip->rclBounds)) return FALSE;
    return TRUE;
  }
  const std::int32_t before = object->itemCount;
  bool ok = true;
  ForEachEnumeratedClipRect(clip, [&](const RECTL& r) {
    if (ok) ok = add(r);
  });
  if (!ok) object->itemCount = before;
  return ok ? TRUE : FALSE;
}

DrawObject* NewDrawObject(RenderPdev* pdev, const PdevRect& N, std::uint8_t tag, std::uint8_t kind, CLIPOBJ* clip,
                          const PdevRect& reach) {
  auto* object = static_cast<DrawObject*>(LocalAlloc(LPTR, sizeof(DrawObject)));
  if (!object) return nullptr;
  object->rect = N;
  object->lastPiece = N;
  object->kind = kind;
  object->tag = tag;
  object->clipComplexity = clip ? clip->iDComplexity : DC_TRIVIAL;
  if (!AddClipToDrawObject(pdev, object, clip, reach)) {
    FreeObject(pdev, object);
    return nullptr;
  }
  return object;
}

BOOL MergeDrawObjects(RenderPdev* pdev, DrawObject* predecessor, DrawObject* victim, DrawObject* survivor) {
  if (!victim || !survivor || victim == survivor) return FALSE;
  if (!JoinItems(survivor, victim, survivor)) return FALSE;
  RectUnion(survivor->rect, victim->rect, survivor->rect);
  if (victim->clipComplexity == DC_COMPLEX) survivor->clipComplexity = DC_COMPLEX;
  Unlink(pdev, predecessor, victim);
  FreeObject(pdev, victim);
  return TRUE;
}

void UnlinkDrawObject(RenderPdev* pdev) {
  PdevPluginState& q = pdev->plugin;
  DrawObject* target = q.cursor ? q.cursor : q.tail;
  q.cursor = nullptr;
  DrawObject* predecessor = nullptr;
  for (DrawObject* o = q.head; o; predecessor = o, o = o->next) {
    if (o != target) continue;
    Unlink(pdev, predecessor, o);
    FreeObject(pdev, o);
    break;
  }
  if (!q.head) pdev->flags &= ~kPdevImagePending;
}

void FreeDrawObjects(RenderPdev* pdev) {
  PdevPluginState& q = pdev->plugin;
  while (DrawObject* o = q.head) {
    q.head = o->next;
    FreeObject(pdev, o);
  }
  q.head = q.tail = q.cursor = nullptr;
}

BOOL CoalesceDrawObjects(RenderPdev* pdev) {
  for (DrawObject* a = pdev->plugin.head; a; a = a->next) {
    DrawObject* before = a;
    for (DrawObject* b = a->next; b;) {
      if (!RectsTouch(a->rect, b->rect) || !CompatibleKinds(a->kind, b->kind) || a->tag != b->tag) {
        before = b;
        b = b->next;
        continue;
      }
      if (!JoinItems(a, a, b)) return FALSE;
      RectUnion(a->rect, b->rect, a->rect);
      if (a->kind != b->kind) a->kind = kObjectMask;
      if (b->clipComplexity == DC_COMPLEX) a->clipComplexity = DC_COMPLEX;
      DrawObject* next = b->next;
      Unlink(pdev, before, b);
      FreeObject(pdev, b);
      b = next;
    }
  }
  return TRUE;
}

BOOL QueueDrawObject(RenderPdev* pdev, const PdevRect& N, std::uint8_t tag, std::uint8_t kind, CLIPOBJ* clip,
                     const PdevRect& reach) {
  ImageBandCache* cachePtr = BandCacheOf(pdev);
  if (!cachePtr) return FALSE;
  ImageBandCache& cache = *cachePtr;
  PdevPluginState& q = pdev->plugin;
  const PdevDrawState& d = pdev->drawing;
  const auto adjacent = [&](const DrawObject* o) {
    return AreObjectsAdjacent(pdev, cache, o->lastPiece, N, o->rect);
  };
  DrawObject* T = q.tail;
  bool F = T && T->kind == kind && kind == kObjectCopy && T->tag == tag && adjacent(T);

  if (kind == kObjectLook) {
    int counted = 0;
    DrawObject* U = nullptr;
    for (DrawObject* o = q.head; o && counted < 2; o = o->next) {
      if (!RectsTouch(o->rect, N) || !RectsOverlap(o->rect, N)) continue;
      ++counted;
      if (o->kind == kObjectCopy && o->tag == tag) U = o;
    }
    if (counted != 1 || !U) return FALSE;
    // The picture is rendered before the new drawing lands on it, and stays
    // queued as a first XOR.
    RenderObject(pdev, U);
    if (!AddClipToDrawObject(pdev, U, clip, reach)) return FALSE;
    RectUnion(U->rect, N, U->rect);
    U->kind = kObjectFirstXor;
    U->lastPiece = N;
    U->clipComplexity = clip ? clip->iDComplexity : DC_TRIVIAL;
    DescribeObject(pdev, cache, U, N);
    q.cursor = U;
    return TRUE;
  }

  DrawObject* predecessor = nullptr;
  for (DrawObject* o = q.head; o;) {
    DrawObject* next = o->next;
    if (!RectsTouch(o->rect, N)) {
      predecessor = o;
      o = next;
      continue;
    }
    bool mergeable = false, judged = false;
    if (o->kind == kObjectCopy && kind == kObjectCopy && o->tag == tag &&
        (d.rop4 != d.previousRop4 || (Complex(clip) && o->clipComplexity == DC_COMPLEX) || adjacent(o) ||
         RectContains(o->rect, N))) {
      mergeable = judged = true;
    } else if (kind == kObjectFirstXor && o->kind == kObjectMask) {
      if (!(adjacent(o) || (N.left == o->rect.right && InRange(o->rect.top, o->rect.bottom, N.top) &&
                            InRange(o->rect.top, o->rect.bottom, N.bottom)))) {
        predecessor = o;
        o = next;
        continue;
      }
      mergeable = judged = true;
    }
    if (!judged) {
      if (o->kind == kObjectFirstXor && kind == kObjectMask && d.rop4 == kRop4SrcAnd && RectContains(o->lastPiece, N)) {
        // The AND completes the first XOR.
        o->lastPiece = N;
        o->kind = kObjectMask;
        DescribeObject(pdev, cache, o, N);
        return TRUE;
      }
      const bool maskPair = (d.rop4 == kRop4SrcAnd && d.previousRop4 == kRop4SrcInvert) ||
                            (d.rop4 == kRop4SrcInvert && d.previousRop4 == kRop4SrcAnd);
      const bool compatible =
          (o->kind == kind && !(kind == kObjectCopy && !Complex(clip))) || (CompatibleKinds(o->kind, kind) && o->kind != kind);
      if (o->kind == kObjectMask && kind == kObjectMask && maskPair &&
          (RectContains(o->lastPiece, N) || RectContains(N, o->lastPiece)))
        mergeable = true;
      else if (compatible && o->tag == tag)
        mergeable = true;
      else if (o->kind == kObjectBlend && kind == kObjectBlend && adjacent(o))
        mergeable = true;
    }
    if (!mergeable) {
      // A conflicting object goes down before the new drawing.
      if (o == T) {
        T = nullptr;
        F = false;
      }
      EmitObject(pdev, predecessor, o);
      o = next;
      continue;
    }
    if (F && o != T) {
      if (o->tag == T->tag && o->kind == T->kind && RectsOverlap(o->rect, T->rect) &&
          MergeDrawObjects(pdev, predecessor, o, T)) {
        if (!AddPiece(pdev, cache, T, N, kind, clip, reach)) return FALSE;
        return TRUE;
      }
      EmitObject(pdev, predecessor, o);
      o = next;
      continue;
    }
    if (!AddPiece(pdev, cache, o, N, kind, clip, reach)) return FALSE;
    return kind == kObjectFirstXor && o->kind != kObjectMask ? FALSE : TRUE;
  }

  DrawObject* object = NewDrawObject(pdev, N, tag, kind, clip, reach);
  if (!object) return FALSE;
  if (q.tail)
    q.tail->next = object;
  else
    q.head = object;
  q.tail = object;
  DescribeObject(pdev, cache, object, N);
  return kind == kObjectFirstXor ? FALSE : TRUE;
}

BOOL FlushDrawObjects(RenderPdev* pdev) {
  if (!pdev->plugin.shadowObject) return FALSE;
  PdevPluginState& q = pdev->plugin;
  const PdevRect merged = pdev->image.operationRect;
  const std::uint8_t tag = q.tag, kind = q.kind;
  const PdevRect bounds = q.drawBounds;
  const bool whole = bounds.left == 0 && bounds.top == 0 && bounds.right == 0 && bounds.bottom == 0;
  if (whole) CoalesceDrawObjects(pdev);
  DrawObject* predecessor = nullptr;
  for (DrawObject* o = q.head; o;) {
    DrawObject* next = o->next;
    if (!whole && (o->kind == kObjectFirstXor || !RectsOverlap(o->rect, bounds))) {
      predecessor = o;
    } else {
      EmitObject(pdev, predecessor, o);
    }
    o = next;
  }
  pdev->image.operationRect = merged;
  ImageBandCache* cache = pdev->image.bandCache;
  if (q.head) {
    pdev->flags |= kPdevImagePending;
    q.tag = tag;
    q.kind = kind;
    if (cache) cache->adjacency = 1;
  } else {
    pdev->flags &= ~kPdevImagePending;
    q.tail = nullptr;
    q.kind = 0;
    if (cache) {
      cache->bandContinuation = kContinueNone;
      cache->adjacency = 0;
    }
  }
  pdev->shared.pictureFlag = 1;
  pdev->shared.operation = kOperationIdle;
  return TRUE;
}

void AndBandIntoPlanes(RenderPdev* pdev, const BYTE* secondBand, const BYTE* firstBand, const PdevRect& bandRect,
                       LONG bandStride, BYTE* drum1Plane, BYTE* drum2Plane, const PdevRect& pageRect,
                       LONG planeStride) {
  AndRowsIntoPlane(pdev, drum2Plane, pageRect, planeStride, firstBand, bandRect, bandStride);
  if (HasTwoPlanes(pdev) && secondBand) AndRowsIntoPlane(pdev, drum1Plane, pageRect, planeStride, secondBand, bandRect, bandStride);
}

namespace {

// The item's pixels from the shadow page into the RGB picture of R, red and
// blue exchanged (the shadow page holds red first).
void CopyItemFromShadow(const SURFOBJ* shadow, const PdevRect& item, const PdevRect& R, BYTE* rgb, LONG rgbStride) {
  const PdevRect bounds{0, 0, shadow->sizlBitmap.cx - 1, shadow->sizlBitmap.cy - 1};
  PdevRect part;
  RectIntersect(item, bounds, part);
  RectIntersect(part, R, part);
  if (RectIsEmpty(part) || !shadow->pvScan0) return;
  const auto* base = static_cast<const BYTE*>(shadow->pvScan0);
  for (std::int64_t y = part.top; y <= part.bottom; ++y) {
    const BYTE* in = base + y * std::int64_t{shadow->lDelta} + 3 * std::int64_t{part.left};
    BYTE* out = rgb + (y - R.top) * std::int64_t{rgbStride} + 3 * (std::int64_t{part.left} - R.left);
    for (std::int64_t x = part.left; x <= part.right; ++x, in += 3, out += 3) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
    }
  }
}

}  // namespace

BOOL EmitDrawObject(RenderPdev* pdev) {
  const SURFOBJ* shadow = pdev->plugin.shadowObject;
  if (!shadow) return FALSE;
  pdev->drawing.sourceId = 0;
  pdev->drawing.previousSourceId = 0;
  ImageBandCache* cachePtr = BandCacheOf(pdev);
  if (!cachePtr) return FALSE;
  ImageBandCache& cache = *cachePtr;
  // A picture the band cache still holds goes down first: the records are
  // needed here.
  if (cache.working.buffer || cache.rgb.buffer) {
    BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
    FlushPicture(pdev, plane, pdev->planeStride);
    pdev->flags |= kPdevImagePending;
  }
  const PdevRect R = pdev->image.operationRect;
  cache.bandOrigin = R;
  const std::int64_t w = std::abs(std::int64_t{R.right} - R.left), h = std::abs(std::int64_t{R.bottom} - R.top);
  const PdevRect B{0, 0, static_cast<LONG>(w), static_cast<LONG>(h)};
  const PdevRect pageRect{std::min(R.left, R.right), std::min(R.top, R.bottom), static_cast<LONG>(std::min(R.left, R.right) + w),
                          static_cast<LONG>(std::min(R.top, R.bottom) + h)};
  pdev->shared.pictureRect = pageRect;  // the screen's phase
  const bool two = HasTwoPlanes(pdev);
  BYTE* bands = nullptr;
  const auto finish = [&](BOOL result) {
    if (bands) GlobalFree(bands);
    ImageBufferFree(cache.rgb);
    ImageBufferFree(cache.working);
    cache.target = ImageBuffer{};
    cache.pending = ImageBuffer{};
    pdev->flags &= ~kPdevImagePending;
    pdev->shared.pictureFlag = 1;
    pdev->shared.operation = kOperationIdle;
    return result;
  };
  const std::int64_t rowBytes = AlignTo4(RowBytes1bpp(w + 1));
  const auto bandBytes = rowBytes > 0 && rowBytes <= 0x7FFFFFFF && w < 0x7FFFFFFF && h < 0x7FFFFFFF
                             ? CheckedBytes(static_cast<std::uint64_t>(rowBytes), static_cast<std::uint64_t>(h + 1))
                             : std::nullopt;
  const auto allBytes = bandBytes ? CheckedBytes(*bandBytes, two ? 2 : 1) : std::nullopt;
  if (allBytes) bands = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, *allBytes));
  if (!bands) return finish(FALSE);
  std::memset(bands, 0xFF, *allBytes);
  BYTE* first = bands;
  BYTE* second = two ? bands + *bandBytes : nullptr;
  const FixedMilli dx = DeviceResolutionX(pdev), dy = DeviceResolutionY(pdev);
  const LONG width = static_cast<LONG>(w + 1), height = static_cast<LONG>(h + 1);
  cache.target = ImageBuffer{};
  ImageBufferInit(cache.target, 0, 0, width, height, dx, dy, kFormat1Bpp);
  cache.target.rowsPerCm = FixedDotsPerCm(dy);
  cache.target.buffer = two && pdev->separationModes[2] == 0 ? second : first;
  cache.target.stride = static_cast<LONG>(rowBytes);
  if (!ImageBufferAlloc(cache.rgb, width, height, dx, dy, kFormat24Bpp)) return finish(FALSE);
  std::memset(cache.rgb.block ? cache.rgb.block : cache.rgb.buffer, 0xFF,
              cache.rgb.block ? cache.rgb.blockBytes : static_cast<std::size_t>(cache.rgb.stride) * height);
  cache.rgb.filled = cache.rgb.area;
  // Every buffer of the one-ink path is had before the planes are whitened.
  const bool twoPlates = two && pdev->separationModes[2] > 1;
  if (!twoPlates) {
    if (!ImageBufferAlloc(cache.working, width, height, dx, dy, kFormat8Bpp)) return finish(FALSE);
    cache.working.filled = cache.working.area;
  }

  BYTE *drum1 = nullptr, *drum2 = nullptr;
  GetInkPlanes(pdev, pdev->planeStride, &drum1, &drum2);
  const ClipRectList& list = pdev->shared.clipRects;
  for (std::uint32_t i = list.pictureFirst; list.entries && i <= list.pictureLast && i < list.count; ++i) {
    PdevRect item = list.entries[i].rect;
    PdevRect white = item;
    FillRectWhite(pdev, drum2, white, pdev->planeStride);
    if (drum1 != drum2) {
      white = item;
      FillRectWhite(pdev, drum1, white, pdev->planeStride);
    }
    CopyItemFromShadow(shadow, item, pageRect, cache.rgb.buffer, cache.rgb.stride);
  }
  ClassifyRgbImage(pdev, cache.rgb);

  const RgbBuffer picture{cache.rgb.buffer, width, height, cache.rgb.stride};
  if (twoPlates) {
    if (pdev->shared.operation == kOperationIdle && pdev->shared.pictureFlag == 1 &&
        (pdev->edge != 0 || pdev->backlight != 0)) {
      EnhanceCachedImage(pdev, cache);
      if (pdev->edge == 1)
        SharpenImage(cache.rgb.buffer, width, height, cache.rgb.stride, B, pdev->resolutionX,
                     pdev->resolutionY ? pdev->resolutionY : pdev->resolutionX);
    }
    TwoPlateTarget target;
    target.drum2 = first;
    target.drum1 = second;
    target.stride = static_cast<LONG>(rowBytes);
    target.rows = height;
    target.rect = B;
    target.origin = {pageRect.left, pageRect.top};
    RenderRgbBandTwoPlates(pdev, picture, target);
  } else {
    pdev->plugin.rgbOrder = 0;
    pdev->shared.operation = kOperationMerging;
    ConvertToDensity(pdev, cache.rgb.buffer, B, cache.rgb.stride, cache.working.buffer, B, cache.working.stride,
                     nullptr, 0, BMF_24BPP);
    ClassifyPendingImage(pdev, cache);
    cache.params.histogram = cache.histogram;
    cache.params.sourceFormat = kFormat24Bpp;
    cache.params.resolutionX = dx;
    cache.params.resolutionY = dy;
    cache.params.packedScale = (static_cast<DWORD>(FixedRound(dy)) << 16) | static_cast<DWORD>(FixedRound(dx));
    HalftoneImageBands(pdev, cache.target, cache.working, cache.params, 0);
    ImageBufferFree(cache.working);
  }
  ImageBufferFree(cache.rgb);
  AndBandIntoPlanes(pdev, second, first, B, static_cast<LONG>(rowBytes), drum1, drum2, pageRect, pdev->planeStride);
  return finish(TRUE);
}

BOOL FlushImageIfPending(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return TRUE;
  // The plug-in's pending work may be queued drawing objects; their flush
  // keeps the flag as the queue needs it.
  if (IsPluginPdev(pdev) && pdev->plugin.head) return FlushDrawObjects(pdev);
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  BOOL flushed = FlushPicture(pdev, plane, pdev->planeStride);
  pdev->flags &= ~kPdevImagePending;
  return flushed;
}
