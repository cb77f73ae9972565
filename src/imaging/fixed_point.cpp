#include "imaging/fixed_point.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace imaging {

namespace {

std::int32_t Saturate(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                           std::numeric_limits<std::int32_t>::max()));
}

FixedMilli FromThousandths(std::int64_t m) { return {Saturate(m / 1000), static_cast<std::int32_t>(m % 1000)}; }

// An unsigned 128-bit product in 32-bit limbs, least significant first: the
// same arithmetic on 32-bit targets, which have no 128-bit integer.
struct Limbs {
  std::uint32_t v[4];
};

Limbs Multiply(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a0 = a & 0xFFFFFFFF, a1 = a >> 32, b0 = b & 0xFFFFFFFF, b1 = b >> 32;
  const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const std::uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFF) + (p10 & 0xFFFFFFFF);
  const std::uint64_t high = p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32);
  return {{static_cast<std::uint32_t>(p00), static_cast<std::uint32_t>(middle), static_cast<std::uint32_t>(high),
           static_cast<std::uint32_t>(high >> 32)}};
}

// Divides in place by d (below 2^31); the remainder.
std::uint32_t DivideInPlace(Limbs& n, std::uint32_t d) {
  std::uint64_t rest = 0;
  for (int i = 3; i >= 0; --i) {
    const std::uint64_t part = (rest << 32) | n.v[i];
    n.v[i] = static_cast<std::uint32_t>(part / d);
    rest = part % d;
  }
  return static_cast<std::uint32_t>(rest);
}

}  // namespace

FixedMilli FixedFromInt(std::int32_t n) { return {n, 0}; }

FixedMilli FixedFromThousandths(std::int64_t m) { return FromThousandths(m); }

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
  // The product of thousandths, truncated to thousandths: (a x b / 1000) as
  // whole units (saturated) and its last three digits.
  const std::int64_t A = FixedThousandths(a);
  const std::int64_t B = FixedThousandths(b);
  const bool negative = (A < 0) != (B < 0);
  Limbs product = Multiply(static_cast<std::uint64_t>(A < 0 ? -A : A), static_cast<std::uint64_t>(B < 0 ? -B : B));
  const std::uint32_t rest = DivideInPlace(product, 1000000);
  const bool huge = product.v[3] != 0 || product.v[2] != 0 || product.v[1] != 0 || product.v[0] > 0x80000000u;
  const std::int64_t units = huge ? std::int64_t{0x80000001} : std::int64_t{product.v[0]};
  const std::int32_t digits = static_cast<std::int32_t>(rest / 1000);
  return {Saturate(negative ? -units : units), negative ? -digits : digits};
}

FixedMilli FixedDiv(FixedMilli a, FixedMilli b) {
  const std::int64_t A = FixedThousandths(a);
  const std::int64_t B = FixedThousandths(b);
  if (B == 0) return {0, 0};
  const bool negative = (A < 0) != (B < 0);
  // Thousandths stay below 2^42, so ten thousand times them fits 64 bits.
  const std::int64_t magA = A < 0 ? -A : A;
  const std::int64_t magB = B < 0 ? -B : B;
  // Four decimals of the quotient; the fourth rounds the third.
  const std::int64_t four = magA * 10000 / magB;
  const std::int64_t three = four / 10 + (four % 10 >= 5 ? 1 : 0);
  return FromThousandths(negative ? -three : three);
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
