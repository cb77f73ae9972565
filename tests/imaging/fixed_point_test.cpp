#include <gtest/gtest.h>

#include <random>

#include "imaging/fixed_point.h"
#include "planes/rect_ops.h"

namespace imaging {
void PrintTo(FixedMilli f, std::ostream* os) { *os << "(" << f.integer << ", " << f.thousandths << ")"; }
}  // namespace imaging

using namespace imaging;

namespace {

bool Same(FixedMilli a, FixedMilli b) { return a.integer == b.integer && a.thousandths == b.thousandths; }


TEST(FixedMilli, WorkedExamples) {
  struct Case {
    const char* what;
    FixedMilli got, want;
  } cases[] = {
      {"ratio 1 x 1 / 3", *FixedFromRatio(1, 1, 3), {0, 335}},
      {"ratio 1 x 1 / 2", *FixedFromRatio(1, 1, 2), {0, 502}},
      {"ratio 7 x 5 / 5", *FixedFromRatio(7, 5, 5), {7, 0}},
      {"dots per cm at 600", FixedDotsPerCm({600, 0}), {236, 220}},
      {"1 / 3", FixedDiv({1, 0}, {3, 0}), {0, 333}},
      {"2 / 3", FixedDiv({2, 0}, {3, 0}), {0, 667}},
      {"-2 / 3", FixedDiv({-2, 0}, {3, 0}), {0, -667}},
      {"1.6 + 0.4", FixedAdd({1, 600}, {0, 400}), {2, 0}},
      {"-1.6 + -0.6 carries downward", FixedAdd({-1, -600}, {0, -600}), {-2, -200}},
      {"2.2 - 0.7", FixedSub({2, 200}, {0, 700}), {1, 500}},
      {"0.5 - 2", FixedSub({0, 500}, {2, 0}), {-1, -500}},
      {"from -1500", FixedFromThousandths(-1500), {-1, -500}},
      {"1.5 x 2.5", FixedMul({1, 500}, {2, 500}), {3, 750}},
      {"div by zero", FixedDiv({5, 0}, {0, 0}), {0, 0}},
      {"min of 1.001 (as 0, 1001) and 1.0005", FixedMin({0, 1001}, {1, 0}), {1, 0}},
      {"max renormalises", FixedMax({0, 1001}, {1, 0}), {1, 1}},
      {"width of 10..19", FixedRectWidth({{10, 0}, {0, 0}, {19, 0}, {0, 0}}), {10, 0}},
      {"height of 0.5..2.25", FixedRectHeight({{0, 0}, {0, 500}, {0, 0}, {2, 250}}), {2, 750}},
  };
  for (const auto& c : cases) EXPECT_PRED2(Same, c.got, c.want) << c.what;

  struct RoundCase {
    FixedMilli v;
    int want;
  } rounds[] = {{{2, 500}, 3}, {{2, 499}, 2}, {{-1, -600}, -1}, {{0, 1001}, 1}, {{-2, -200}, -2}};
  for (const auto& r : rounds) EXPECT_EQ(FixedRound(r.v), r.want) << testing::PrintToString(r.v);
  EXPECT_EQ(FixedRound(FixedAdd({-1, -600}, {0, -600})), -2);
}

TEST(FixedMilli, RatioRefusesZeroDivisorAndOverflow) {
  EXPECT_FALSE(FixedFromRatio(1, 2, 0));
  EXPECT_FALSE(FixedFromRatio(2'000'000'000, 2'000'000'000, 3));
  const auto big = FixedFromRatio(2'000'000'000, 3, 4);  // a x b needs 64 bits
  ASSERT_TRUE(big);
  EXPECT_EQ(big->integer, 1'500'000'000);
}

TEST(FixedMilli, ComparisonsAreByRoundedPixel) {
  EXPECT_TRUE(FixedEqual({3, 400}, {2, 600}));
  EXPECT_FALSE(FixedGreater({3, 400}, {2, 600}));
  EXPECT_TRUE(FixedGreater({3, 500}, {3, 499}));
  EXPECT_TRUE(FixedRectEqual({{1, 0}, {2, 0}, {3, 0}, {4, 0}}, {{0, 900}, {2, 100}, {3, 499}, {3, 500}}));
}

// Against exact rational arithmetic: products truncate toward zero, quotients
// round the third place half away from zero, sums and differences are exact.
TEST(FixedMilli, RandomOperandsAgreeWithExactArithmetic) {
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> value(-5'000'000'000, 5'000'000'000);  // thousandths
  std::uniform_int_distribution<int> small(-3'000'000, 3'000'000);
  using Wide = __int128;
  for (int i = 0; i < 100'000; ++i) {
    const std::int64_t A = i % 2 ? value(rng) : small(rng);
    const std::int64_t B = i % 3 ? small(rng) : value(rng);
    const FixedMilli a = FixedFromThousandths(A), b = FixedFromThousandths(B);
    ASSERT_EQ(FixedThousandths(a), A);
    ASSERT_TRUE(a.thousandths > -1000 && a.thousandths < 1000 && (a.integer == 0 || (a.integer > 0) == (A > 0)));
    ASSERT_EQ(FixedThousandths(FixedAdd(a, b)), A + B);
    ASSERT_EQ(FixedThousandths(FixedSub(a, b)), A - B);
    // |R| <= |A B| / 1000 < |R| + 1, with the sign of the product.
    const Wide p = Wide{A} * B;
    const Wide R = FixedThousandths(FixedMul(a, b));
    const Wide magP = p < 0 ? -p : p, magR = R < 0 ? -R : R;
    if (magP / 1'000'000 > 2'147'483'648) {
      ASSERT_TRUE(magR / 1000 == Wide{2'147'483'647} + (p < 0 ? 1 : 0)) << "saturates";
    } else {
      ASSERT_TRUE(magR * 1000 <= magP && magP < (magR + 1) * 1000) << A << " x " << B;
      ASSERT_TRUE(R == 0 || (R < 0) == (p < 0));
    }
    if (B == 0 || Wide{A} * 1000 / B > Wide{2'000'000'000} * 1000 || Wide{A} * 1000 / B < -Wide{2'000'000'000} * 1000)
      continue;
    // |2000 A / B - 2 Q| <= 1, ties going away from zero.
    const Wide Q = FixedThousandths(FixedDiv(a, b));
    const Wide num = Wide{A} * 2000, magB = B < 0 ? -Wide{B} : Wide{B};
    const Wide signedNum = B < 0 ? -num : num;
    const Wide diff = signedNum - 2 * Q * magB;
    ASSERT_TRUE(diff <= magB && diff >= -magB) << A << " / " << B;
    if (diff == magB || diff == -magB) {
      ASSERT_TRUE((Q > 0) == (signedNum > 0)) << "tie away from zero";
    }
  }
}

TEST(FixedRect, UnionScaleShiftAndIntersection) {
  const FixedRect swapped{{9, 0}, {8, 0}, {2, 0}, {1, 0}};
  const FixedRect other{{4, 0}, {-3, -500}, {5, 0}, {6, 0}};
  const FixedRect u = FixedRectUnion(swapped, other);
  EXPECT_PRED2(Same, u.left, (FixedMilli{2, 0}));
  EXPECT_PRED2(Same, u.top, (FixedMilli{-3, -500}));
  EXPECT_PRED2(Same, u.right, (FixedMilli{9, 0}));
  EXPECT_PRED2(Same, u.bottom, (FixedMilli{8, 0}));

  const FixedRect s = FixedRectScale({{10, 0}, {10, 0}, {20, 0}, {30, 0}}, {300, 0}, {600, 0}, {600, 0}, {400, 0});
  EXPECT_PRED2(Same, s.left, (FixedMilli{5, 0}));
  EXPECT_PRED2(Same, s.right, (FixedMilli{10, 0}));
  EXPECT_PRED2(Same, s.top, (FixedMilli{15, 0}));
  EXPECT_PRED2(Same, s.bottom, (FixedMilli{45, 0}));

  const PdevRect r = FixedRectToRect(FixedRectShift(RectToFixedRect({10, 20, 30, 40}), {2, 500}, {-1, 0}));
  EXPECT_EQ(r.left, 8);  // 7.5 rounds up
  EXPECT_EQ(r.top, 21);
  EXPECT_EQ(r.right, 28);
  EXPECT_EQ(r.bottom, 41);

  EXPECT_TRUE(RectsIntersect({0, 0, 5, 5}, {5, 5, 9, 9}));
  EXPECT_FALSE(RectsIntersect({0, 0, 5, 5}, {6, 0, 9, 9}));
  EXPECT_FALSE(RectsIntersect({0, 0, -1, -1}, {0, 0, 9, 9}));
  EXPECT_TRUE(EitherInRange(3, 5, 9, 5));
  EXPECT_FALSE(EitherInRange(3, 5, 2, 6));
}

}  // namespace
