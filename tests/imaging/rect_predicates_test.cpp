// Range and rectangle predicates of the image caches and the blit recogniser.
#include <gtest/gtest.h>

#include <memory>

#include "imaging/image_entries.h"

namespace {

std::string Text(const PdevRect& r) {
  return "(" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom) + ")";
}

TEST(RectPredicates, Ranges) {
  EXPECT_TRUE(InRange(2, 5, 2));
  EXPECT_TRUE(InRange(2, 5, 5));
  EXPECT_FALSE(InRange(2, 5, 1));
  EXPECT_FALSE(InRange(2, 5, 6));
  EXPECT_FALSE(InRange(5, 2, 3));  // the range is not reordered
  EXPECT_TRUE(EitherInRange(2, 5, 0, 3));
  EXPECT_TRUE(EitherInRange(2, 5, 4, 9));
  EXPECT_FALSE(EitherInRange(2, 5, 0, 9));  // spanning the range is not in it
}

// a = (10, 10)-(19, 19) against rectangles around it.
TEST(RectPredicates, TouchingKinds) {
  const PdevRect a{10, 10, 19, 19};
  struct Case {
    PdevRect b;
    bool intersect, encloses, left, above, right, below, touch;
  } cases[] = {
      {{12, 12, 15, 15}, true, true, false, false, false, false, true},     // inside
      {{10, 10, 19, 19}, true, true, false, false, false, false, true},     // equal
      {{15, 15, 25, 25}, true, false, false, false, false, false, true},    // overlapping corner
      {{0, 12, 9, 15}, false, false, true, false, false, false, true},      // directly left
      {{0, 12, 10, 15}, true, false, false, false, false, false, true},     // overlapping one column on the left
      {{12, 0, 15, 9}, false, false, false, true, false, false, true},      // directly above
      {{20, 12, 30, 15}, false, false, false, false, true, false, true},    // directly right
      {{12, 20, 15, 30}, false, false, false, false, false, true, true},    // directly below
      {{21, 12, 30, 15}, false, false, false, false, false, false, false},  // one column gap
      {{20, 20, 25, 25}, false, false, false, false, false, false, false},  // diagonal neighbour
      {{0, 0, 9, 9}, false, false, false, false, false, false, false},      // diagonal neighbour above left
      {{0, 20, 9, 30}, false, false, false, false, false, false, false},    // left, rows outside
      {{0, 5, 9, 10}, false, false, true, false, false, false, true},       // left, bottom edge within a's rows
      {{19, 19, 19, 19}, true, true, false, false, false, false, true},     // one pixel, a's corner
      {{20, 19, 20, 19}, false, false, false, false, true, false, true},    // one pixel right of a's corner
      {{9, 20, 9, 20}, false, false, false, false, false, false, false},    // one pixel diagonal
      {{19, 19, 10, 10}, false, true, false, false, false, false, true},    // a with swapped edges: empty overlap
  };
  for (const Case& c : cases) {
    const std::string where = Text(c.b);
    EXPECT_EQ(RectsIntersect(a, c.b), c.intersect) << where;
    EXPECT_EQ(RectsIntersect(c.b, a), c.intersect) << where;
    EXPECT_EQ(RectEncloses(a, c.b), c.encloses) << where;
    EXPECT_EQ(AbutsLeft(a, c.b), c.left) << where;
    EXPECT_EQ(AbutsAbove(a, c.b), c.above) << where;
    EXPECT_EQ(AbutsRight(a, c.b), c.right) << where;
    EXPECT_EQ(AbutsBelow(a, c.b), c.below) << where;
    EXPECT_EQ(RectsAbut(a, c.b), c.left || c.above || c.right || c.below) << where;
    EXPECT_EQ(RectsTouch(a, c.b), c.touch) << where;
  }
}

TEST(RectPredicates, ContainsTakesEitherEdgeOrder) {
  struct Case {
    PdevRect a, b;
    bool contains;
  } cases[] = {
      {{0, 0, 9, 9}, {2, 2, 5, 5}, true},   {{9, 9, 0, 0}, {2, 2, 5, 5}, true},   {{0, 9, 9, 0}, {0, 0, 9, 9}, true},
      {{0, 0, 9, 9}, {5, 5, 10, 9}, false}, {{0, 0, 9, 9}, {-1, 0, 3, 3}, false}, {{4, 4, 4, 4}, {4, 4, 4, 4}, true},
      {{0, 0, 9, 9}, {5, 5, 2, 2}, true},  // b's edges are each within a
  };
  for (const Case& c : cases) EXPECT_EQ(RectContains(c.a, c.b), c.contains) << Text(c.a) << " " << Text(c.b);
}

TEST(RectPredicates, EqualOnPageCutsToThePage) {
  auto pdev = std::make_unique<RenderPdev>();
  pdev->planeWidth = 100;
  pdev->planeHeight = 200;
  struct Case {
    PdevRect a, b;
    bool equal;
  } cases[] = {
      {{0, 0, 50, 50}, {0, 0, 50, 50}, true},       {{-5, -3, 50, 50}, {0, 0, 50, 50}, true},
      {{0, 0, 120, 250}, {0, 0, 100, 200}, true},   {{0, 0, 99, 199}, {0, 0, 100, 200}, false},
      {{1, 0, 50, 50}, {0, 0, 50, 50}, false},      {{0, 0, 50, 51}, {0, 0, 50, 50}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(RectsEqualOnPage(pdev.get(), c.a, c.b), c.equal) << Text(c.a) << Text(c.b);
}

}  // namespace
