// Clip bounds, lines cut to a rectangle, clip-line runs and row mirroring.
#include <gtest/gtest.h>

#include <vector>

#include "planes/line_clip.h"
#include "planes/row_mirror.h"

namespace {

TEST(IntersectClipBounds, MeetsBothRectanglesAsGiven) {
  struct Case {
    PdevRect a, b, out;
    BOOL result;
  };
  const Case cases[] = {
      {{0, 0, 10, 10}, {5, -5, 20, 7}, {5, 0, 10, 7}, TRUE},
      {{0, 0, 10, 10}, {10, 10, 30, 30}, {10, 10, 10, 10}, TRUE},
      {{0, 0, 10, 10}, {11, 0, 30, 30}, {11, 0, 10, 10}, FALSE},
      {{0, 0, 10, 10}, {0, 4, 10, 3}, {0, 4, 10, 3}, FALSE},
  };
  for (const Case& c : cases) {
    PdevRect out{};
    EXPECT_EQ(IntersectClipBounds(out, c.a, c.b), c.result);
    EXPECT_EQ(out.left, c.out.left);
    EXPECT_EQ(out.top, c.out.top);
    EXPECT_EQ(out.right, c.out.right);
    EXPECT_EQ(out.bottom, c.out.bottom);
  }
}

TEST(ClipLineToRect, CutKeepingTheSlope) {
  struct Case {
    LONG x1, y1, x2, y2;
    BOOL inside;
    LONG ex1, ey1, ex2, ey2;
  };
  const PdevRect r{0, 0, 99, 49};
  const Case cases[] = {
      {3, 4, 50, 40, TRUE, 3, 4, 50, 40},
      {-10, 5, 200, 5, TRUE, 0, 5, 99, 5},
      {-10, 0, 10, 20, TRUE, 0, 10, 10, 20},       // y = x + 10 stays on its line
      {50, -100, 50, 100, TRUE, 50, 0, 50, 49},
      {-20, -20, 200, 200, TRUE, 0, 0, 49, 49},
      {-5, 3, -1, 40, FALSE, -5, 3, -1, 40},       // both left
      {120, 60, 300, 90, FALSE, 120, 60, 300, 90},  // both right and below
      {-50, 30, 30, -50, FALSE, -50, 30, 30, -50},  // passes the corner outside
      {INT32_MIN, 10, INT32_MAX, 10, TRUE, 0, 10, 99, 10},
  };
  for (const Case& c : cases) {
    LONG x1 = c.x1, y1 = c.y1, x2 = c.x2, y2 = c.y2;
    EXPECT_EQ(ClipLineToRect(r, x1, y1, x2, y2), c.inside) << c.x1 << "," << c.y1;
    EXPECT_EQ(x1, c.ex1) << c.x1 << "," << c.y1;
    EXPECT_EQ(y1, c.ey1) << c.x1 << "," << c.y1;
    EXPECT_EQ(x2, c.ex2) << c.x1 << "," << c.y1;
    EXPECT_EQ(y2, c.ey2) << c.x1 << "," << c.y1;
  }
}

TEST(ClipLineRunEnds, IndicesAlongTheMajorAxis) {
  alignas(8) BYTE buffer[sizeof(CLIPLINE) + sizeof(RUN)];
  auto* cl = reinterpret_cast<CLIPLINE*>(buffer);
  cl->ptfxA = POINTFIX{32, 48};
  cl->ptfxB = POINTFIX{192, 128};
  cl->c = 2;
  RUN* runs = cl->arun;
  runs[0] = RUN{0, 9};
  runs[1] = RUN{3, 4};
  LONG x1, y1, x2, y2;
  ClipLineRunEnds(*cl, 0, x1, y1, x2, y2);
  EXPECT_EQ(x1, 2);
  EXPECT_EQ(y1, 3);
  EXPECT_EQ(x2, 11);
  EXPECT_EQ(y2, 8);  // 3 + 9 x 80 / 160 = 7.5, to the nearest
  // A line going up and to the left, y major.
  cl->ptfxA = POINTFIX{160, 160};
  cl->ptfxB = POINTFIX{128, 0};
  ClipLineRunEnds(*cl, 1, x1, y1, x2, y2);
  EXPECT_EQ(y1, 7);
  EXPECT_EQ(y2, 6);
  EXPECT_EQ(x1, 9);  // 160 - 3 x 16 x 32 / 160 truncated = 151, 9.4 dots
}

TEST(ReverseRowPixels, EachFormat) {
  struct Case {
    ULONG format;
    LONG width;
    std::vector<BYTE> row, mirrored;
  };
  const Case cases[] = {
      {BMF_1BPP, 10, {0xC0, 0x40}, {0x80, 0xC0}},
      {BMF_1BPP, 8, {0x01}, {0x80}},
      {BMF_4BPP, 3, {0x12, 0x30}, {0x32, 0x10}},
      {BMF_4BPP, 4, {0x12, 0x34}, {0x43, 0x21}},
      {BMF_8BPP, 3, {1, 2, 3, 9}, {3, 2, 1, 9}},
      {BMF_16BPP, 2, {1, 2, 3, 4}, {3, 4, 1, 2}},
      {BMF_24BPP, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {4, 5, 6, 1, 2, 3, 7, 8}},
      {BMF_32BPP, 2, {1, 2, 3, 4, 5, 6, 7, 8}, {5, 6, 7, 8, 1, 2, 3, 4}},
  };
  for (const Case& c : cases) {
    // Two rows, bottom-up: the second row in memory comes first.
    std::vector<BYTE> bits = c.row;
    bits.insert(bits.end(), c.row.begin(), c.row.end());
    const LONG stride = static_cast<LONG>(c.row.size());
    EXPECT_EQ(ReverseRowPixels(bits.data() + stride, c.width, 2, -stride, c.format), 1);
    std::vector<BYTE> expected = c.mirrored;
    expected.insert(expected.end(), c.mirrored.begin(), c.mirrored.end());
    EXPECT_EQ(bits, expected) << "format " << c.format;
  }
  BYTE rle[4] = {1, 2, 3, 4};
  EXPECT_EQ(ReverseRowPixels(rle, 4, 1, 4, BMF_8RLE), 0);
  EXPECT_EQ(rle[0], 1);
}

}  // namespace
