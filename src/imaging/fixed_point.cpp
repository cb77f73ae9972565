#include "imaging/fixed_point.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace imaging {

namespace {

std::int32_t Saturate(std::int64_t v) {
  constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(std::clamp(v, lo, hi));
}

std::uint64_t Magnitude(std::int64_t v) { return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v); }

}  // namespace

FixedMilli FixedFromInt(std::int32_t n) { return {n, 0}; }

FixedMilli FixedFromThousandths(std::int64_t m) {
  return {Saturate(m / 1000), static_cast<std::int32_t>(m % 1000)};
}

std::optional<FixedMilli> FixedFromRatio(std::int32_t a, std::int32_t b, std::int32_t c) {
  if (c == 0) return std::nullopt;
  if (b == c) return FixedMilli{a, 0};
  const std::int64_t product = std::int64_t{a} * b;
  const std::int64_t quotient = product / c;
  if (quotient < std::numeric_limits<std::int32_t>::min() || quotient > std::numeric_limits<std::int32_t>::max())
    return std::nullopt;
  const std::int64_t r = product % c;
  const std::int64_t thousandths = 2 * (500 * r + c) / c;
  return FixedMilli{static_cast<std::int32_t>(quotient), static_cast<std::int32_t>(thousandths)};
}

FixedMilli FixedAdd(FixedMilli a, FixedMilli b) { return FixedFromThousandths(FixedThousandths(a) + FixedThousandths(b)); }

FixedMilli FixedSub(FixedMilli a, FixedMilli b) { return FixedFromThousandths(FixedThousandths(a) - FixedThousandths(b)); }

FixedMilli FixedMul(FixedMilli a, FixedMilli b) {
  const std::int64_t A = FixedThousandths(a);
  const std::int64_t B = FixedThousandths(b);
  // |A B| needs more than 64 bits. With each magnitude split at the thousand
  // (h x 1000 + l), |A B| / 1000 = hA hB 1000 + hA lB + lA hB + lA lB / 1000:
  // every term fits in 64 bits, in 32-bit builds as in 64-bit ones.
  const std::uint64_t magA = Magnitude(A), magB = Magnitude(B);
  const std::uint64_t highA = magA / 1000, lowA = magA % 1000, highB = magB / 1000, lowB = magB % 1000;
  const std::uint64_t below = highA * lowB + lowA * highB + lowA * lowB / 1000;
  const std::uint64_t whole = highA * highB + below / 1000;
  const auto thousandths = static_cast<std::int32_t>(below % 1000);
  const bool negative = (A < 0) != (B < 0);
  constexpr std::uint64_t kMostNegative = std::uint64_t{1} << 31;
  if (negative) {
    return {whole >= kMostNegative ? std::numeric_limits<std::int32_t>::min() : -static_cast<std::int32_t>(whole),
            -thousandths};
  }
  return {whole >= kMostNegative ? std::numeric_limits<std::int32_t>::max() : static_cast<std::int32_t>(whole),
          thousandths};
}

FixedMilli FixedDiv(FixedMilli a, FixedMilli b) {
  const std::int64_t A = FixedThousandths(a);
  const std::int64_t B = FixedThousandths(b);
  if (B == 0) return {0, 0};
  const bool negative = (A < 0) != (B < 0);
  // Four decimals of the quotient; the fourth rounds the third. |A| is below
  // 2^42, so |A| x 10000 fits in 64 bits.
  const std::uint64_t four = Magnitude(A) * 10000 / Magnitude(B);
  const auto three = static_cast<std::int64_t>(four / 10 + (four % 10 >= 5 ? 1 : 0));
  return FixedFromThousandths(negative ? -three : three);
}

FixedMilli FixedMin(FixedMilli a, FixedMilli b) {
  return FixedFromThousandths(std::min(FixedThousandths(a), FixedThousandths(b)));
}

FixedMilli FixedMax(FixedMilli a, FixedMilli b) {
  return FixedFromThousandths(std::max(FixedThousandths(a), FixedThousandths(b)));
}

std::int32_t FixedRound(FixedMilli a) {
  return Saturate(std::int64_t{a.integer} + (std::int64_t{a.thousandths} + 500) / 1000);
}

bool FixedGreater(FixedMilli a, FixedMilli b) { return FixedRound(a) > FixedRound(b); }

bool FixedEqual(FixedMilli a, FixedMilli b) { return FixedRound(a) == FixedRound(b); }

FixedMilli FixedInchScale(FixedMilli a, FixedMilli b) { return FixedDiv(FixedMul(a, b), FixedMilli{25, 400}); }

FixedMilli FixedDotsPerCm(FixedMilli dpi) { return FixedInchScale(FixedMilli{10, 0}, dpi); }

FixedRect RectToFixedRect(const PdevRect& r) {
  return {FixedFromInt(r.left), FixedFromInt(r.top), FixedFromInt(r.right), FixedFromInt(r.bottom)};
}

PdevRect FixedRectToRect(const FixedRect& f) {
  return {FixedRound(f.left), FixedRound(f.top), FixedRound(f.right), FixedRound(f.bottom)};
}

FixedMilli FixedRectWidth(const FixedRect& f) {
  return FixedFromThousandths(FixedThousandths(f.right) - FixedThousandths(f.left) + 1000);
}

FixedMilli FixedRectHeight(const FixedRect& f) {
  return FixedFromThousandths(FixedThousandths(f.bottom) - FixedThousandths(f.top) + 1000);
}

FixedRect FixedRectUnion(const FixedRect& a, const FixedRect& b) {
  const auto lowest = [](FixedMilli p, FixedMilli q, FixedMilli r, FixedMilli s) {
    return FixedMin(FixedMin(p, q), FixedMin(r, s));
  };
  const auto highest = [](FixedMilli p, FixedMilli q, FixedMilli r, FixedMilli s) {
    return FixedMax(FixedMax(p, q), FixedMax(r, s));
  };
  return {lowest(a.left, a.right, b.left, b.right), lowest(a.top, a.bottom, b.top, b.bottom),
          highest(a.left, a.right, b.left, b.right), highest(a.top, a.bottom, b.top, b.bottom)};
}

FixedRect FixedRectScale(const FixedRect& f, FixedMilli nx, FixedMilli ny, FixedMilli dx, FixedMilli dy) {
  const FixedMilli sx = FixedDiv(nx, dx);
  const FixedMilli sy = FixedDiv(ny, dy);
  return {FixedMul(f.left, sx), FixedMul(f.top, sy), FixedMul(f.right, sx), FixedMul(f.bottom, sy)};
}

FixedRect FixedRectShift(const FixedRect& f, FixedMilli x, FixedMilli y) {
  return {FixedSub(f.left, x), FixedSub(f.top, y), FixedSub(f.right, x), FixedSub(f.bottom, y)};
}

bool FixedRectEqual(const FixedRect& a, const FixedRect& b) {
  return FixedEqual(a.left, b.left) && FixedEqual(a.top, b.top) && FixedEqual(a.right, b.right) &&
         FixedEqual(a.bottom, b.bottom);
}

}  // namespace imaging
