#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "render/sheet_kernels.h"

using namespace render;

namespace {

// A small plane drawn from text: '#' ink (bit 0), '.' white (bit 1).
struct TextPlane {
  std::vector<BYTE> bytes;
  PlaneView view{};
  TextPlane(LONG width, LONG height, LONG stride) : bytes(static_cast<size_t>(stride) * height, 0xFF) {
    view = {bytes.data(), width, height, stride};
  }
  explicit TextPlane(const std::vector<std::string>& rows, LONG stride = 0)
      : TextPlane(static_cast<LONG>(rows[0].size()), static_cast<LONG>(rows.size()),
                  stride ? stride : static_cast<LONG>((rows[0].size() + 7) / 8)) {
    for (size_t y = 0; y < rows.size(); ++y)
      for (size_t x = 0; x < rows[y].size(); ++x)
        if (rows[y][x] == '#') view.Row(static_cast<LONG>(y))[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
  }
  std::vector<std::string> Text() const {
    std::vector<std::string> out;
    for (LONG y = 0; y < view.height; ++y) {
      std::string r;
      for (LONG x = 0; x < view.width; ++x) r += (view.Row(y)[x / 8] >> (7 - x % 8)) & 1 ? '.' : '#';
      out.push_back(r);
    }
    return out;
  }
};

using Rows = std::vector<std::string>;

TEST(SheetKernels, ShiftsMoveInkAndLetWhiteIn) {
  const Rows start = {"#..#####.......#", "................", "##.............."};
  struct Case {
    const char* name;
    void (*kernel)(const PlaneView&, LONG);
    LONG amount;
    Rows expected;
  } cases[] = {
      {"right by a byte", ShiftBitsRight, 8, {"........#..#####", "................", "........##......"}},
      {"right by bits", ShiftBitsRight, 3, {"...#..#####.....", "................", "...##..........."}},
      {"left by bits", ShiftBitsLeft, 3, {"#####.......#...", "................", "................"}},
      {"left by a byte", ShiftBitsLeft, 8, {".......#........", "................", "................"}},
      {"down", ShiftRowsDown, 1, {"................", "#..#####.......#", "................"}},
      {"up", ShiftRowsUp, 2, {"##..............", "................", "................"}},
      {"down past the end", ShiftRowsDown, 9, {"................", "................", "................"}},
  };
  for (const auto& c : cases) {
    TextPlane p(start);
    c.kernel(p.view, c.amount);
    EXPECT_EQ(p.Text(), c.expected) << c.name;
  }
}

TEST(SheetKernels, GuttersLeaveACentredWhiteBand) {
  // Mark each row by its ink so the moves can be followed.
  TextPlane rows(Rows{"#.......", ".#......", "..#.....", "...#....", "....#...", ".....#..", "......#.", ".......#"});
  GutterAcrossRows(rows.view, 4);
  EXPECT_EQ(rows.Text(), (Rows{"..#.....", "...#....", "........", "........", "........", "........", "....#...", ".....#.."}));

  TextPlane within(Rows{"################"});
  GutterWithinRows(within.view, 4);
  EXPECT_EQ(within.Text(), (Rows{"######....######"}));
  // Odd width: the gap is centred at (width + 1) / 2.
  TextPlane odd(Rows{"#.#.#.#.#"});
  SplitRowGap(odd.view.Row(0), 9, 2);
  EXPECT_EQ(odd.Text(), (Rows{".#.#...#."}));
}

TEST(SheetKernels, RepeatCopiesTheFirstPageInHalvesOrQuarters) {
  // 32 x 4 plane, ink only in the top-left quarter.
  const Rows page = {"##......................#.......", "#.#.............................", "................................",
                     "................................"};
  {
    TextPlane p(page);
    RepeatPageImage(p.view, 0, true, false);
    // The copy to the right covers what was there (the dot at 24).
    EXPECT_EQ(p.Text(), (Rows{"##..............##..............", "#.#.............#.#.............",
                              "##..............##..............", "#.#.............#.#............."}));
  }
  {
    TextPlane p(page);
    RepeatPageImage(p.view, 0, false, true);  // portrait: rows copied down whole
    EXPECT_EQ(p.Text(), (Rows{page[0], page[1], page[0], page[1]}));
  }
  {
    TextPlane p(page);
    RepeatPageImage(p.view, 0, false, false);  // landscape: the left half copied right
    EXPECT_EQ(p.Text(), (Rows{"##..............##..............", "#.#.............#.#.............", page[2], page[3]}));
  }
}

TEST(SheetKernels, ThumbnailSizeFollowsThePlane) {
  struct Case {
    LONG w, h;
    bool turned;
    LONG tw, th;
  } cases[] = {
      {4960, 7016, false, 100, 143}, {7016, 4960, false, 140, 100}, {4960, 7016, true, 140, 100},
      {2000, 9000, false, 100, 200},  // longer side limited to 200
      {60, 300, false, 60, 200},      // under 100 dots: no block outside the plane
      {63, 300, false, 60, 200},
  };
  for (const auto& c : cases) {
    const LONG stride = ((c.w + 7) / 8 + 3) & ~3;
    std::vector<BYTE> bits(static_cast<size_t>(stride) * c.h, 0xFF);
    Thumbnail t = BuildThumbnail({bits.data(), c.w, c.h, stride}, c.turned);
    EXPECT_EQ(t.width, c.tw) << c.w << "x" << c.h;
    EXPECT_EQ(t.height, c.th) << c.w << "x" << c.h;
    EXPECT_EQ(t.rows.size(), static_cast<size_t>(c.tw * c.th));
    for (BYTE g : t.rows) ASSERT_EQ(g, 255);
  }
}

TEST(SheetKernels, ThumbnailGreyCountsInkPerBlockBottomRowFirst) {
  // 400 x 200 dots: block 2, picture 200 x 100. Ink one dot of the top-left
  // block and the whole bottom-right block.
  const LONG w = 400, h = 200, stride = 52;
  std::vector<BYTE> bits(static_cast<size_t>(stride) * h, 0xFF);
  PlaneView p{bits.data(), w, h, stride};
  p.Row(0)[0] = 0x7F;
  for (LONG y = 198; y < 200; ++y) p.Row(y)[49] = 0x03;  // dots 392..397 of rows 198, 199
  Thumbnail t = BuildThumbnail(p, false);
  ASSERT_EQ(t.width, 200);
  ASSERT_EQ(t.height, 100);
  EXPECT_EQ(t.rows[static_cast<size_t>(99) * 200 + 0], 255 - 255 / 4) << "top row is stored last";
  EXPECT_EQ(t.rows[196], 0) << "bottom row stored first; block (196, 99) is solid";
  EXPECT_EQ(t.rows[199], 255);
  // Turned: the rightmost block column becomes the first stored row.
  Thumbnail r = BuildThumbnail(p, true);
  ASSERT_EQ(r.width, 100);
  ASSERT_EQ(r.height, 200);
  EXPECT_EQ(r.rows[static_cast<size_t>(200 - 1 - 196) * 100 + 0], 0) << "block column 196 read from the bottom";
  EXPECT_EQ(r.rows[static_cast<size_t>(199) * 100 + 99], 255 - 255 / 4) << "block (0, 0) ends the top picture row";
}

TEST(SheetKernels, FetchSkipsBlankRowsAndCutsAtTheWidth) {
  TextPlane p(Rows{"................", "..........#.#...", "................", "#...............", "................"}, 4);
  LineFetcher f(p.view, false, 11, 5, false);  // cut at 11 dots
  DWORD counter = 1;
  auto line = f.Next(counter);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(counter, 2u) << "one blank row before";
  EXPECT_EQ(line[0], 0x00);
  EXPECT_EQ(line[1], 0x20) << "dot 12 lies beyond the cut and is not sent";
  ++counter;
  line = f.Next(counter);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_EQ(counter, 4u);
  EXPECT_EQ(line[0], 0x80);
  ++counter;
  EXPECT_TRUE(f.Next(counter).empty());
  EXPECT_EQ(counter, 6u) << "trailing blank rows are counted too";
}

TEST(SheetKernels, ColumnsAreReadFromTheBottomUpEightAtATime) {
  std::mt19937 rng(7);
  struct Size {
    LONG w, stride;
  };
  for (const Size size : {Size{21, 4}, Size{300, 40}}) {
  for (LONG h : {1, 7, 8, 13, 37, 64}) {
    for (bool inverted : {false, true}) {
      const LONG w = size.w, stride = size.stride;
      std::vector<BYTE> bits(static_cast<size_t>(stride) * h);
      for (auto& b : bits) b = static_cast<BYTE>(rng() & rng());  // mostly ink-free
      if (inverted)
        for (auto& b : bits) b = static_cast<BYTE>(~b);
      std::vector<BYTE> copy = bits;
      PlaneView p{bits.data(), w, h, stride};
      PlaneView ref{copy.data(), w, h, stride};
      LineFetcher f(p, true, w, h, inverted);
      DWORD counter = 1;
      std::vector<BYTE> expected(static_cast<size_t>(RowBytes1bpp(h)));
      for (LONG col = 0; col < w; ++col) {
        GatherBitColumn(ref, col / 8, static_cast<BYTE>(0x80 >> (col % 8)), h, inverted, expected.data());
        if (!RowHasInk(expected.data(), h)) continue;
        const DWORD before = counter;
        auto line = f.Next(counter);
        ASSERT_EQ(counter, static_cast<DWORD>(col + 1)) << "h " << h << " col " << col << " from " << before;
        ASSERT_EQ(std::vector<BYTE>(line.begin(), line.end()), expected) << "h " << h << " col " << col;
        ++counter;
      }
      DWORD end = counter;
      EXPECT_TRUE(f.Next(end).empty());
      EXPECT_EQ(end, static_cast<DWORD>(w + 1)) << "every column is counted";
    }
  }
  }
}

TEST(SheetKernels, HalvingSmoothsPairsThenKeepsTheLeftBit) {
  struct Case {
    std::vector<BYTE> in, prepared;
  } cases[] = {
      {{0x00, 0xFF}, {0x00, 0xFF}},
      {{0x80}, {0xC0}},  // a lone left dot keeps its pair
      {{0x40}, {0xC0}},  // a lone right dot too
      {{0x60}, {0x30}},  // 01 10: moves right by one pair (carry)
      {{0xA0}, {0xF0}},
      {{0x55}, {0xCF}},
  };
  for (const auto& c : cases) {
    std::vector<BYTE> line = c.in;
    PrepareHalveWidth(line.data(), line.size());
    EXPECT_EQ(line, c.prepared);
  }
  std::vector<BYTE> line = {0xCF, 0xF0, 0x81};
  HalveWidth(line.data(), line.size());
  EXPECT_EQ(line, (std::vector<BYTE>{0xBC, 0x80, 0x00}));
}

}  // namespace
