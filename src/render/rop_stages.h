// The stages of the raster path that DrvBitBlt's BitBltToPlanes and the
// rendering plug-in's brush path share: the destination on the plane, the
// source as bands, the interpreter's buffers, the saved-planes idiom of
// PATINVERT and the drawing on one or both planes. The paths differ in the
// raster-operation history and the plate rules around them.
#pragma once

#include <optional>

#include "render/rop_blits.h"

// The destination cut to the plane, the source origin moved with it; the
// target again as an exclusive RECTL.
struct PlaneDestination {
  PdevRect dest;
  POINTL origin;
  RECTL cutTarget;
};
// Nothing when the target lies wholly off the plane.
std::optional<PlaneDestination> DestinationOnPlane(const RenderPdev* pdev, const RECTL& target,
                                                   const POINTL* srcOrigin);

// The SRCAND of a masked image (right after a PATINVERT meeting it) sets the
// operation byte; otherwise the byte is cleared and, but for MASKPEN and
// PATINVERT, the saved planes are freed. Whether the idiom applies.
bool StartMaskIdiom(RenderPdev* pdev, ULONG rop4, const PdevRect& dest);
// A copy of the source with the planes' layout: CopyBitsToPlanes or the plug-in's.
using CopyBitsFn = BOOL (*)(SURFOBJ* pso, const RECTL* dest, SURFOBJ* src, const POINTL* srcOrigin, CLIPOBJ* clip,
                            XLATEOBJ* xlate, BOOL flag);
// BLACKNESS, WHITENESS, the destination itself, SRCCOPY and the two-ink
// SRCAND of image modes 0 and 1: the blit's result, or nothing when the ROP
// goes to the interpreter.
std::optional<BOOL> RopFastPaths(SURFOBJ* pso, ULONG rop4, const PlaneDestination& at, SURFOBJ* src, CLIPOBJ* clip,
                                 XLATEOBJ* xlate, CopyBitsFn copyBits);

// What one raster operation draws with; the blocks are freed with it (the
// band and pattern from the global heap, the work buffers from the heap
// localHeap names).
struct RopBuffers {
  BYTE* band = nullptr;
  BYTE* secondBand = nullptr;  // inside band's block
  BYTE* pattern = nullptr;
  BYTE* work = nullptr;
  BYTE* temp = nullptr;
  bool localHeap = false;
  RopBuffers() = default;
  RopBuffers(const RopBuffers&) = delete;
  RopBuffers& operator=(const RopBuffers&) = delete;
  ~RopBuffers();
};
struct RopOperands {
  const char* name;
  int nameLength;
  const BYTE* source = nullptr;  // what the name's S reads: the band, or a one-bit source in place
  PdevRect bandRect;  // of source
  LONG bandStride;
  SIZEL patternSize;
  RopBuffers buf;
};
// The operands of the ROP's name over dest (band rect of dest's size, 8 x 8
// pattern size until one is realized).
void StartRopOperands(RopOperands& op, ULONG rop4, const PdevRect& dest);

// The source converted directly into bands over the destination (dest
// shrinks to the source's bits; sourceRect out). A result when the blit ends
// here: TRUE when nothing of the source lies under it, FALSE for a source
// without bits or no band.
std::optional<BOOL> ConvertRopSource(RenderPdev* pdev, SURFOBJ* src, const PlaneDestination& at, XLATEOBJ* xlate,
                                     CLIPOBJ* clip, LONG planeStride, RopOperands& op, PdevRect& dest,
                                     PdevRect& sourceRect);
// With a band from a source that has colour on the plate that is not the
// graphics separation mode's default, the fill moves to that plate (two
// inks, graphics modes 2 and up).
void MoveFillToSourcePlate(RenderPdev* pdev, const RopOperands& op, SURFOBJ* src, const PdevRect& sourceRect,
                           XLATEOBJ* xlate);
// The interpreter's work buffers for names longer than three letters that
// it does not draw in one pass, uninitialised (the interpreter writes each
// dot it reads); false when they cannot be had.
bool AllocateWorkBuffers(const RenderPdev* pdev, RopOperands& op, const PdevRect& dest);

// Two inks: the PATINVERT that opens a masked-image idiom is also drawn into
// a copy of both planes, which the idiom's SRCAND (maskIdiom) puts back.
// keepCleared: a PATINVERT that closes the sequence leaves the other plane
// as it is.
void SaveOrRestoreMaskedPlanes(RenderPdev* pdev, CLIPOBJ* clip, ULONG rop4, const PdevRect& dest, bool maskIdiom,
                               bool keepCleared, BYTE* drum1, BYTE* drum2, LONG planeStride, RopOperands& op);
// Operation byte: a one-bit SRCPAINT after a SRCAND renders directly; a
// paint over its mask ends the mask's operation.
void UpdateOperation(RenderPdev* pdev, ULONG rop4, const PdevRect& dest, bool oneBit);
// The ROP on its plane and, on two inks without a pattern when the image
// mode separates or the operation byte is set, on the other one. The
// operation byte is cleared; the last interpreter's result.
BOOL DrawRopOnPlanes(RenderPdev* pdev, CLIPOBJ* clip, ULONG rop4, const PdevRect& dest, LONG planeStride,
                     bool maskIdiom, BYTE* drum1, BYTE* drum2, RopOperands& op);
