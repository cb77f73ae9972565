// Decimal fixed point with three places (FixedMilli) for image placement and
// scaling, so that strips arriving in many pieces add up without drift. The
// integer range and rectangle predicates are in planes/rect_ops.h.
#pragma once

#include <cstdint>
#include <optional>

#include "planes/pdev_record.h"

namespace imaging {

// Value = integer + thousandths / 1000. Division results carry the sign in
// both parts; ratios and quotients may leave 1000 or 1001 thousandths, which
// every operation takes by numeric value.
struct FixedMilli {
  std::int32_t integer;
  std::int32_t thousandths;
};
static_assert(sizeof(FixedMilli) == sizeof(PdevFixed) && offsetof(FixedMilli, thousandths) == offsetof(PdevFixed, thousandths),
              "FixedMilli has the layout of the device record's resolution fields");

// Inclusive edges: a rectangle one pixel wide has left == right.
struct FixedRect {
  FixedMilli left;
  FixedMilli top;
  FixedMilli right;
  FixedMilli bottom;
};

inline FixedMilli ToFixed(PdevFixed f) { return {f.integer, f.thousandths}; }
inline PdevFixed ToPdevFixed(FixedMilli f) { return {f.integer, f.thousandths}; }

// The value in thousandths (integer x 1000 + thousandths), exact in 64 bits.
constexpr std::int64_t FixedThousandths(FixedMilli a) { return std::int64_t{a.integer} * 1000 + a.thousandths; }

FixedMilli FixedFromInt(std::int32_t n);
// Truncating: -1500 is (-1, -500). An integer part beyond 32 bits saturates.
FixedMilli FixedFromThousandths(std::int64_t m);
// a x b / c: (a, 0) when b == c, else the truncated quotient plus two
// thousandths above it. Nothing for c == 0 or a result beyond 32 bits.
std::optional<FixedMilli> FixedFromRatio(std::int32_t a, std::int32_t b, std::int32_t c);
// Exact sums and differences, normalised whichever way the carry goes.
FixedMilli FixedAdd(FixedMilli a, FixedMilli b);
FixedMilli FixedSub(FixedMilli a, FixedMilli b);
// Product truncated toward zero to thousandths.
FixedMilli FixedMul(FixedMilli a, FixedMilli b);
// Quotient to three places, the third rounded by the fourth (half away from
// zero); division by zero gives (0, 0).
FixedMilli FixedDiv(FixedMilli a, FixedMilli b);
FixedMilli FixedMin(FixedMilli a, FixedMilli b);
FixedMilli FixedMax(FixedMilli a, FixedMilli b);
// integer + (thousandths + 500) / 1000: non-negative values round half up,
// negative values come out truncated toward zero where the parts allow it.
std::int32_t FixedRound(FixedMilli a);
// Comparisons of the pixels the values round to, not of exact values.
bool FixedGreater(FixedMilli a, FixedMilli b);
bool FixedEqual(FixedMilli a, FixedMilli b);
// a x b / 25.4: from millimetres and dots per inch to dots.
FixedMilli FixedInchScale(FixedMilli a, FixedMilli b);
// Dots per centimetre from dots per inch.
FixedMilli FixedDotsPerCm(FixedMilli dpi);

FixedRect RectToFixedRect(const PdevRect& r);
PdevRect FixedRectToRect(const FixedRect& f);
FixedMilli FixedRectWidth(const FixedRect& f);
FixedMilli FixedRectHeight(const FixedRect& f);
// Smallest and largest of all four edges in each direction, so rectangles
// given with swapped edges are taken as they are meant.
FixedRect FixedRectUnion(const FixedRect& a, const FixedRect& b);
// Left and right times nx / dx, top and bottom times ny / dy.
FixedRect FixedRectScale(const FixedRect& f, FixedMilli nx, FixedMilli ny, FixedMilli dx, FixedMilli dy);
// Moves the rectangle by (-x, -y).
FixedRect FixedRectShift(const FixedRect& f, FixedMilli x, FixedMilli y);
bool FixedRectEqual(const FixedRect& a, const FixedRect& b);

}  // namespace imaging
