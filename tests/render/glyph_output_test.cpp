// Glyph output on hand-made glyph bitmaps and on FreeType glyphs of the
// engine's default font.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "planes/glyph_output.h"
#include "planes/plane_ops.h"
#include "plat/engine_text.h"

namespace {

bool BitAt(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// A glyph made of strings of '#' (glyph pixel) and '.'.
struct HandGlyph {
  std::vector<BYTE> storage;
  GLYPHDEF def{};
  GLYPHPOS pos{};
  HandGlyph(const std::vector<std::string>& rows, POINTL at, POINTL origin = {0, 0}) {
    const LONG width = static_cast<LONG>(rows[0].size()), height = static_cast<LONG>(rows.size());
    const LONG rowBytes = (width + 7) / 8;
    storage.assign(offsetof(GLYPHBITS, aj) + rowBytes * height, 0);
    auto* gb = reinterpret_cast<GLYPHBITS*>(storage.data());
    gb->ptlOrigin = origin;
    gb->sizlBitmap = SIZEL{width, height};
    for (LONG y = 0; y < height; ++y)
      for (LONG x = 0; x < width; ++x)
        if (rows[y][x] == '#') gb->aj[y * rowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
    def.pgb = gb;
    pos = GLYPHPOS{0, &def, at};
  }
};

struct Page {
  LONG width, height, stride;
  std::vector<BYTE> planes;
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  Page(LONG w, LONG h, bool twoPlanes = false)
      : width(w), height(h), stride((w + 31) / 32 * 4), planes(stride * h * (twoPlanes ? 2 : 1), 0xFF) {
    pdev->planeWidth = w;
    pdev->planeHeight = h;
    pdev->textProcessing = 1;
    pdev->drum2Plane = planes.data();
    pdev->drum1Plane = twoPlanes ? planes.data() + stride * h : planes.data();
    if (twoPlanes) pdev->flags |= kPdevTwoPlanes;
    pdev->drawing.targetPlane = pdev->drum2Plane;
    pdev->drawing.otherPlane = pdev->drum1Plane;
  }
  ~Page() { FreeGlyphScratch(pdev.get()); }
  bool Ink(LONG x, LONG y, const BYTE* plane = nullptr) const {
    return !BitAt((plane ? plane : planes.data()) + y * stride, x);
  }
  // The target plane as rows of '#' (ink) and '.' over a window.
  std::vector<std::string> Window(LONG left, LONG top, LONG w, LONG h) const {
    std::vector<std::string> out;
    for (LONG y = top; y < top + h; ++y) {
      std::string row;
      for (LONG x = left; x < left + w; ++x) row += Ink(x, y) ? '#' : '.';
      out.push_back(row);
    }
    return out;
  }
};

const BYTE kBlack[8] = {0, 0, 0, 0, 0, 0, 0, 0};
const BYTE kWhite[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

using Rows = std::vector<std::string>;

struct ShapeCase {
  const char* name;
  BYTE textProc, volumeA, volumeB;
  Rows want;
};

// Thicken grows right and down (the extra row below is the last row as
// delivered); thin removes a one-dot stroke but keeps the dot where it
// meets the bar; a glyph drawn plainly is copied dot for dot.
TEST(DrawGlyphBits, ThickenAndThinOnAHandMadeGlyph) {
  const Rows glyph = {"..#..", "..#..", "..#..", "#####"};
  const ShapeCase cases[] = {
      {"plain", 1, 0, 0, {".......", "...#...", "...#...", "...#...", ".#####.", ".......", "......."}},
      {"thicken", 0, 1, 0, {".......", "...##..", "...##..", "...##..", ".######", ".#####.", "......."}},
      {"thicken solid", 1, 1, 0, {".......", "...##..", "...##..", "...##..", ".######", ".#####.", "......."}},
      {"thin", 1, 0, 1, {".......", ".......", ".......", ".......", "...#...", ".......", "......."}},
      {"both: thicken", 0, 1, 1, {".......", "...##..", "...##..", "...##..", ".######", ".#####.", "......."}},
  };
  for (const ShapeCase& c : cases) {
    Page page(40, 12);
    page.pdev->textProcessing = c.textProc;
    page.pdev->textVolumeA = c.volumeA;
    page.pdev->textVolumeB = c.volumeB;
    page.pdev->drawing.thickenCopy = c.volumeA;
    HandGlyph g(glyph, POINTL{11, 3});
    const std::vector<BYTE> engineBits = g.storage;
    DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, kBlack, 8, 8);
    EXPECT_EQ(page.Window(10, 2, 7, 7), c.want) << c.name;
    EXPECT_EQ(g.storage, engineBits) << c.name;
  }
  // A block inside the glyph loses its left column and top row when thinned.
  Page page(40, 12);
  page.pdev->textVolumeB = 1;
  HandGlyph block({"....", ".###", ".###", ".###"}, POINTL{9, 1});
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &block.pos, nullptr, kBlack, 8, 8);
  EXPECT_EQ(page.Window(8, 0, 6, 6), (Rows{"......", "......", "......", "...##.", "...##.", "......"}));
}

// Thickening within the glyph's rows: TextProc 1 does not carry a row down,
// others do.
TEST(DrawGlyphBits, ThickenCarriesDownExceptForSolidTextProcOne) {
  const Rows dot = {"#..", "...", "..."};
  for (BYTE proc : {BYTE{0}, BYTE{1}}) {
    Page page(16, 8);
    page.pdev->textProcessing = proc;
    page.pdev->textVolumeA = 1;
    page.pdev->drawing.thickenCopy = 1;
    HandGlyph g(dot, POINTL{1, 1});
    DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, kBlack, 8, 8);
    const Rows want = proc == 1 ? Rows{"##..", "....", "...."} : Rows{"##..", "#...", "...."};
    EXPECT_EQ(page.Window(1, 1, 4, 3), want) << int{proc};
  }
}

// A glyph half outside the clip on the left keeps its right columns in
// place; the engine's bits are unchanged; with a thickened glyph the extra
// row stays inside the clip.
TEST(DrawGlyphBits, ClipCutsTheGlyphAndKeepsItsColumns) {
  Page page(64, 16);
  const Rows glyph = {"#.#.#.#.#.#", "##########.", "#.........#"};
  HandGlyph g(glyph, POINTL{5, 4});
  const std::vector<BYTE> engineBits = g.storage;
  const PdevRect clip{9, 0, 40, 5};
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, &clip, kBlack, 8, 8);
  for (LONG y = 0; y < 16; ++y)
    for (LONG x = 0; x < 64; ++x) {
      const bool inGlyph = x >= 5 && x < 16 && y >= 4 && y < 7 && glyph[y - 4][x - 5] == '#';
      const bool inClip = x >= clip.left && x <= clip.right && y >= clip.top && y <= clip.bottom;
      ASSERT_EQ(page.Ink(x, y), inGlyph && inClip) << x << "," << y;
    }
  EXPECT_EQ(g.storage, engineBits);

  Page thick(64, 16);
  thick.pdev->textVolumeA = 1;
  thick.pdev->drawing.thickenCopy = 1;
  HandGlyph bar({"###"}, POINTL{20, 5});
  const PdevRect tight{0, 0, 63, 5};
  DrawGlyphBits(thick.pdev.get(), thick.planes.data(), thick.stride, &bar.pos, &tight, kBlack, 8, 8);
  EXPECT_EQ(thick.Window(20, 5, 4, 2), (Rows{"####", "...."}));
}

// Without a clip the plane's edges cut the glyph: nothing is written outside.
TEST(DrawGlyphBits, GlyphsOverThePlaneEdgesStayInside) {
  Page page(16, 4);
  std::vector<BYTE> guard(32, 0x5A);
  page.planes.insert(page.planes.end(), guard.begin(), guard.end());
  page.pdev->textVolumeA = 1;
  page.pdev->drawing.thickenCopy = 1;
  HandGlyph g({"##########", "##########", "##########"}, POINTL{10, 2}, POINTL{0, 0});
  HandGlyph h({"####", "####"}, POINTL{-3, -1});
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, kBlack, 8, 8);
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &h.pos, nullptr, kBlack, 8, 8);
  EXPECT_TRUE(std::equal(guard.begin(), guard.end(), page.planes.end() - 32));
  EXPECT_TRUE(page.Ink(15, 3));
  EXPECT_TRUE(page.Ink(0, 0));
  EXPECT_FALSE(page.Ink(9, 2));
}

// White text whitens glyph dots, solid or screened; screened text takes the
// pattern anchored to the glyph; on two inks the other plane is white under
// every glyph dot.
TEST(DrawGlyphBits, PatternsAndTheOtherPlane) {
  const Rows glyph = {"########", "########"};
  for (BYTE proc : {BYTE{0}, BYTE{1}}) {
    Page page(32, 6);
    std::memset(page.planes.data(), 0x00, page.planes.size());
    page.pdev->textProcessing = proc;
    HandGlyph g(glyph, POINTL{3, 1});
    DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, kWhite, 8, 8);
    EXPECT_EQ(page.Window(2, 1, 10, 2), (Rows{"#........#", "#........#"})) << int{proc};
  }
  Page page(32, 6, true);
  std::memset(page.planes.data() + page.stride * 6, 0x00, page.stride * 6);  // drum 1 all ink
  page.pdev->textProcessing = 0;
  const BYTE stripes[8] = {0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00, 0xAA, 0x00};
  HandGlyph g(glyph, POINTL{3, 1});
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, stripes, 8, 8);
  // Glyph row 0 takes pattern row 0, byte 0 at the glyph's first plane byte.
  EXPECT_EQ(page.Window(3, 1, 8, 2), (Rows{"#.#.#.#.", "########"}));
  for (LONG y = 0; y < 6; ++y)
    for (LONG x = 0; x < 32; ++x)
      EXPECT_EQ(page.Ink(x, y, page.pdev->drum1Plane), !(x >= 3 && x < 11 && y >= 1 && y < 3)) << x << "," << y;
}

TEST(GlyphScratchBuffer, GrowsByDoublingAndMasksTheRightEdge) {
  Page page(8, 8);
  const BYTE rows[2] = {0xFF, 0xFF};
  BYTE* a = GlyphScratchBuffer(page.pdev.get(), rows, PdevRect{0, 0, 4, 1}, 1, PdevRect{0, 0, 5, 1}, 4);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a[0], 0xF8);
  EXPECT_EQ(a[1], 0x00);
  EXPECT_EQ(a[4], 0xF8);
  EXPECT_EQ(page.pdev->drawing.glyphScratchSize, 8u);
  GlyphScratchBuffer(page.pdev.get(), rows, PdevRect{0, 0, 4, 1}, 1, PdevRect{0, 0, 5, 2}, 4);
  EXPECT_EQ(page.pdev->drawing.glyphScratchSize, 16u);
  // A scratch that cannot grow leaves the glyph drawn unthickened.
  page.pdev->textVolumeA = 1;
  page.pdev->drawing.thickenCopy = 1;
  HandGlyph g({"#", "#", "#", "#", "#", "#", "#"}, POINTL{2, 0});
  plat::FailNthHeapAlloc(1);
  DrawGlyphBits(page.pdev.get(), page.planes.data(), page.stride, &g.pos, nullptr, kBlack, 8, 8);
  plat::FailNthHeapAlloc(0);
  EXPECT_EQ(page.Window(1, 0, 3, 8), (Rows{".#.", ".#.", ".#.", ".#.", ".#.", ".#.", ".#.", "..."}));
}

// Strings from the engine: without a glyph array and without glyph defs
// each glyph is fetched and drawn; an enumeration failure ends with FALSE.
TEST(DrawGlyphs, EnumeratesBatchesAndFetchesMissingGlyphs) {
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 24);
  ASSERT_NE(font, nullptr);
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  ASSERT_TRUE(plat::engine::LayoutText(font, u"Hello, drums", 4, 30, glyphs, positions));
  std::vector<std::vector<BYTE>> results;
  for (bool array : {true, false})
    for (bool defs : {true, false}) {
      Page page(256, 40);
      plat::engine::StringOptions options;
      options.glyphArray = array;
      options.glyphDefs = defs;
      options.batch = 5;
      STROBJ* str = plat::engine::CreateString(font, glyphs, positions, options);
      ASSERT_NE(str, nullptr);
      EXPECT_TRUE(DrawGlyphs(page.pdev.get(), str, font, nullptr, page.planes.data(), page.stride, kBlack, 8, 8));
      plat::engine::DeleteString(str);
      results.push_back(page.planes);
    }
  for (const auto& r : results) EXPECT_EQ(r, results[0]);
  EXPECT_NE(std::count(results[0].begin(), results[0].end(), BYTE{0xFF}), static_cast<long>(results[0].size()));

  Page page(256, 40);
  plat::engine::StringOptions failing;
  failing.glyphArray = false;
  failing.batch = 4;
  failing.failAtBatch = 2;
  STROBJ* str = plat::engine::CreateString(font, glyphs, positions, failing);
  EXPECT_FALSE(DrawGlyphs(page.pdev.get(), str, font, nullptr, page.planes.data(), page.stride, kBlack, 8, 8));
  plat::engine::DeleteString(str);
  plat::engine::DeleteFont(font);
}

}  // namespace
