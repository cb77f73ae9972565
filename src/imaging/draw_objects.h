// The rendering plug-in's queue of drawing objects: regions of blits that are
// not drawn into the planes but read back later from the 24-bit shadow page
// as finished colour and halftoned as one picture.
//
// Rectangles of objects and pieces keep the exclusive right and bottom the
// caller gave; items are inclusive. State lives in pdev->plugin (kind, tag,
// drawing bounds, head, tail, cursor) and in the image band cache (merged
// rectangle image.operationRect, last strip image.earlierRect, adjacency,
// merge state, band continuation, pending flag).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/image_buffer.h"
#include "imaging/image_entries.h"
#include "planes/pdev_record.h"

// An item is a record of the clip rectangle list, so that an object's items
// can stand in for the current picture's part of that list while it is
// emitted.
using DrawObjectItem = ClipRectEntry;
static_assert(sizeof(DrawObjectItem) == 20);
static_assert(offsetof(DrawObjectItem, rect) == 0 && offsetof(PdevRect, left) == 0 && offsetof(PdevRect, top) == 4 &&
              offsetof(PdevRect, right) == 8 && offsetof(PdevRect, bottom) == 12);
static_assert(offsetof(DrawObjectItem, nothingToBlank) == 16);

// Kinds of objects.
inline constexpr std::uint8_t kObjectLook = 0;  // a request only: pre-render an overlapped picture
inline constexpr std::uint8_t kObjectMask = 1;  // a masking sequence in progress
inline constexpr std::uint8_t kObjectCopy = 2;  // pieces of copied pictures
inline constexpr std::uint8_t kObjectBlend = 3;  // alpha blends and transparent-colour blits
inline constexpr std::uint8_t kObjectRop = 5;  // stretched blits with source-only raster operations
inline constexpr std::uint8_t kObjectFirstXor = 8;  // the first XOR of a possible mask over white

struct DrawObject {
  PdevRect rect;  // union of the pieces
  std::uint8_t kind;
  std::uint8_t tag;  // the source's BMF_*
  DrawObjectItem* items;  // local heap, owned
  std::int32_t itemCount;
  DrawObject* next;
  std::uint8_t clipComplexity;  // of the latest piece; DC_COMPLEX survives merges
  PdevRect lastPiece;
  std::int32_t itemCapacity;  // entries the items array has room for
};

// A zeroed, unlinked object of one piece with its clip's items; null when
// the heap refuses it. reach is the inclusive part of the page the piece's
// blit can change (its target cut to the page).
DrawObject* NewDrawObject(RenderPdev* pdev, const PdevRect& N, std::uint8_t tag, std::uint8_t kind, CLIPOBJ* clip,
                          const PdevRect& reach);
// Adds the clip's rectangles, cut to reach and to the page, as items; empty
// ones are left out. FALSE, items unchanged, when the array cannot grow.
BOOL AddClipToDrawObject(RenderPdev* pdev, DrawObject* object, CLIPOBJ* clip, const PdevRect& reach);
// Merges victim into survivor (victim's items first) and frees it;
// predecessor is the object before the victim, null when it is the head.
// FALSE, nothing changed, when the item array cannot be had.
BOOL MergeDrawObjects(RenderPdev* pdev, DrawObject* predecessor, DrawObject* victim, DrawObject* survivor);
// The intersection of the two has left < right and top < bottom.
bool RectsOverlap(const PdevRect& a, const PdevRect& b);
// Queues or merges a piece N of kind (0: only pre-render an overlapped
// picture), its items cut to reach. TRUE when the caller need not draw it.
BOOL QueueDrawObject(RenderPdev* pdev, const PdevRect& N, std::uint8_t tag, std::uint8_t kind, CLIPOBJ* clip,
                     const PdevRect& reach);
// Merges touching objects of compatible kinds and equal tags; FALSE when an
// item array cannot be had.
BOOL CoalesceDrawObjects(RenderPdev* pdev);
// Renders the object the device state describes (merged rectangle, kind and
// tag bytes, the clip list's picture range) from the shadow page into the
// planes. FALSE without a shadow page or when a buffer cannot be had.
BOOL EmitDrawObject(RenderPdev* pdev);
// ANDs the first band into the drum-2 plane and, on a two-ink sheet, the
// second into the drum-1 plane, at the page rectangle.
void AndBandIntoPlanes(RenderPdev* pdev, const BYTE* secondBand, const BYTE* firstBand, const PdevRect& bandRect,
                       LONG bandStride, BYTE* drum1Plane, BYTE* drum2Plane, const PdevRect& pageRect,
                       LONG planeStride);

// ---- colour of the read-back ----

