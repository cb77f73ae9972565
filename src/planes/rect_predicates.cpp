// Range and rectangle predicates of the image caches and the blit recogniser.
#include "planes/rect_ops.h"

#include <algorithm>

#include "planes/plane_ops.h"

bool InRange(std::int64_t low, std::int64_t high, std::int64_t v) { return low <= v && v <= high; }

bool EitherInRange(std::int64_t low, std::int64_t high, std::int64_t v, std::int64_t w) {
  return InRange(low, high, v) || InRange(low, high, w);
}

bool RectsIntersect(const PdevRect& a, const PdevRect& b) {
  PdevRect common{};
  RectIntersect(a, b, common);
  return !RectIsEmpty(common);
}

bool RectEncloses(const PdevRect& a, const PdevRect& b) {
  return InRange(a.left, a.right, b.left) && InRange(a.left, a.right, b.right) && InRange(a.top, a.bottom, b.top) &&
         InRange(a.top, a.bottom, b.bottom);
}

bool AbutsLeft(const PdevRect& a, const PdevRect& b) {
  return EitherInRange(a.top, a.bottom, b.top, b.bottom) && std::int64_t{a.left} == std::int64_t{b.right} + 1;
}

bool AbutsAbove(const PdevRect& a, const PdevRect& b) {
  return EitherInRange(a.left, a.right, b.left, b.right) && std::int64_t{a.top} == std::int64_t{b.bottom} + 1;
}

bool AbutsRight(const PdevRect& a, const PdevRect& b) {
  return EitherInRange(a.top, a.bottom, b.top, b.bottom) && std::int64_t{b.left} == std::int64_t{a.right} + 1;
}

bool AbutsBelow(const PdevRect& a, const PdevRect& b) {
  return EitherInRange(a.left, a.right, b.left, b.right) && std::int64_t{b.top} == std::int64_t{a.bottom} + 1;
}

bool RectsAbut(const PdevRect& a, const PdevRect& b) {
  return AbutsLeft(a, b) || AbutsAbove(a, b) || AbutsRight(a, b) || AbutsBelow(a, b);
}

bool RectsTouch(const PdevRect& a, const PdevRect& b) {
  return RectEncloses(a, b) || RectsAbut(a, b) || RectsIntersect(a, b);
}

bool RectContains(const PdevRect& a, const PdevRect& b) {
  const std::int32_t left = std::min(a.left, a.right), right = std::max(a.left, a.right);
  const std::int32_t top = std::min(a.top, a.bottom), bottom = std::max(a.top, a.bottom);
  return InRange(left, right, b.left) && InRange(left, right, b.right) && InRange(top, bottom, b.top) &&
         InRange(top, bottom, b.bottom);
}

bool RectsEqualOnPage(const RenderPdev* pdev, const PdevRect& a, const PdevRect& b) {
  auto low = [](std::int32_t v) { return std::max(v, 0); };
  auto high = [](std::int32_t v, std::int32_t limit) { return std::min(v, limit); };
  return low(a.left) == low(b.left) && low(a.top) == low(b.top) &&
         high(a.right, pdev->planeWidth) == high(b.right, pdev->planeWidth) &&
         high(a.bottom, pdev->planeHeight) == high(b.bottom, pdev->planeHeight);
}
