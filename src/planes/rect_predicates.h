// Range and rectangle predicates of the image caches and the blit
// recogniser, on inclusive rectangles.
#pragma once

#include "planes/pdev_record.h"

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
