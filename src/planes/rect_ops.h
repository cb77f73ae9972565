// The device's rectangles and their rules: PdevRect, inclusive (right and
// bottom are the last pixel), the conversions from and to the engine's
// exclusive RECTL, sizes, intersection and union, and the range and
// rectangle predicates of the image caches and the blit recogniser.
#pragma once

#include <cstdint>

#include "plat/base.h"

struct RenderPdev;

// Inclusive rectangle of the render library; empty is (0, 0, -1, -1).
struct PdevRect {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// The inclusive rectangle of the engine's exclusive one, and back.
inline PdevRect InclusiveRect(const RECTL& r) { return PdevRect{r.left, r.top, r.right - 1, r.bottom - 1}; }
inline RECTL ExclusiveRect(const PdevRect& r) { return RECTL{r.left, r.top, r.right + 1, r.bottom + 1}; }

// abs(right - left) + 1, abs(bottom - top) + 1, in 64 bits.
std::int64_t RectWidth(const PdevRect& r);
std::int64_t RectHeight(const PdevRect& r);
// out = (max left, max top, min right, min bottom); out may be a or b.
void RectIntersect(const PdevRect& a, const PdevRect& b, PdevRect& out);
// out = (min left, min top, max right, max bottom).
void RectUnion(const PdevRect& a, const PdevRect& b, PdevRect& out);
// right < left or bottom < top.
BOOL RectIsEmpty(const PdevRect& r);

// low <= v <= high.
bool InRange(std::int64_t low, std::int64_t high, std::int64_t v);
// InRange of v or of w.
bool EitherInRange(std::int64_t low, std::int64_t high, std::int64_t v, std::int64_t w);
// The rectangles share at least one pixel.
bool RectsIntersect(const PdevRect& a, const PdevRect& b);
// b's left and right lie in a's columns and b's top and bottom in a's rows.
bool RectEncloses(const PdevRect& a, const PdevRect& b);
// b lies directly left of / above / right of / below a, one of its edges
// within a's span on the other axis.
bool AbutsLeft(const PdevRect& a, const PdevRect& b);
bool AbutsAbove(const PdevRect& a, const PdevRect& b);
bool AbutsRight(const PdevRect& a, const PdevRect& b);
bool AbutsBelow(const PdevRect& a, const PdevRect& b);
bool RectsAbut(const PdevRect& a, const PdevRect& b);
// RectEncloses, RectsAbut or RectsIntersect.
bool RectsTouch(const PdevRect& a, const PdevRect& b);
// b's edges lie within a, a's edges taken in either order.
bool RectContains(const PdevRect& a, const PdevRect& b);
// Equal once both are cut to the page (negative edges raised to 0, right and
// bottom lowered to the plane width and height).
bool RectsEqualOnPage(const RenderPdev* pdev, const PdevRect& a, const PdevRect& b);
