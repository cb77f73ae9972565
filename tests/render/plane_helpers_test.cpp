// Colour, row, unit and rectangle helpers of the plane routines, and the
// one-colour brush pattern bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <limits>
#include <vector>

#include "planes/plane_ops.h"
#include "support/host_files.h"
#include "support/peer.h"
#include "support/python_peer.h"

namespace {

ULONG Rgb(int r, int g, int b) { return static_cast<ULONG>(r | (g << 8) | (b << 16)); }

TEST(RgbToDensity, WhiteBlackAndPureGreen) {
  const ULONG colours[] = {0xFFFFFF, 0x000000, Rgb(0, 255, 0), Rgb(255, 0, 0), Rgb(0, 0, 255)};
  BYTE out[5] = {};
  RgbToDensity(colours, out, 5);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 255);
  EXPECT_EQ(out[2], 106);  // 255 - ((4805 x 255) >> 13)
  EXPECT_EQ(out[3], 255 - ((2449 * 255) >> 13));
  EXPECT_EQ(out[4], 255 - ((938 * 255) >> 13));
}

// Every colour against Pillow's luminance: 255 - density is L or L - 1.
TEST(RgbToDensity, AgreesWithPillowOnEveryColour) {
  const std::string python = testsupport::PythonWith("PIL");
  REQUIRE_PEER(!python.empty(), "python3-pil");
  testsupport::ScratchDir dir("density-pil");
  const std::string ppm = dir.File("all.ppm"), pgm = dir.File("all.l");
  constexpr int kSide = 4096;  // 4096 x 4096 = every 24-bit colour once
  {
    std::ofstream f(ppm, std::ios::binary);
    f << "P6\n" << kSide << " " << kSide << "\n255\n";
    std::vector<char> row(kSide * 3);
    for (std::uint32_t y = 0; y < kSide; ++y) {
      for (std::uint32_t x = 0; x < kSide; ++x) {
        const std::uint32_t c = y * kSide + x;
        row[3 * x] = static_cast<char>(c & 0xFF);
        row[3 * x + 1] = static_cast<char>((c >> 8) & 0xFF);
        row[3 * x + 2] = static_cast<char>(c >> 16);
      }
      f.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
  }
  const std::string command = python + " -c \"import sys; from PIL import Image; "
                              "open(sys.argv[2], 'wb').write(Image.open(sys.argv[1]).convert('L').tobytes())\" " +
                              ppm + " " + pgm;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const std::vector<BYTE> luminance = testsupport::ReadHostFile(pgm);
  ASSERT_EQ(luminance.size(), std::size_t{1} << 24);
  std::vector<ULONG> colours(kSide);
  std::vector<BYTE> density(kSide);
  int mismatches = 0;
  for (std::uint32_t start = 0; start < (1u << 24); start += kSide) {
    for (std::uint32_t i = 0; i < kSide; ++i) colours[i] = start + i;
    RgbToDensity(colours.data(), density.data(), kSide);
    for (std::uint32_t i = 0; i < kSide; ++i) {
      const int ours = 255 - density[i], pillow = luminance[start + i];
      if (ours != pillow && ours != pillow - 1 && mismatches++ < 5)
        ADD_FAILURE() << "colour 0x" << std::hex << (start + i) << std::dec << ": ours " << ours << ", Pillow "
                      << pillow;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Two rows of each format; row 1 is read, from x = 1 (an odd x) to x = 3.
TEST(ExpandRowTo24, EachFormatThroughItsPalette) {
  std::vector<ULONG> palette(256);
  for (ULONG i = 0; i < 256; ++i) palette[i] = Rgb(i, 255 - i, i / 2);
  auto bgr = [](ULONG c) { return std::vector<BYTE>{BYTE(c >> 16), BYTE(c >> 8), BYTE(c)}; };
  auto cat = [](std::initializer_list<std::vector<BYTE>> parts) {
    std::vector<BYTE> all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    const char* name;
    ULONG format;
    LONG stride;
    std::vector<BYTE> row1;
    std::vector<BYTE> expected;
  } cases[] = {
      {"1bpp", BMF_1BPP, 4, {0b01100000, 0, 0, 0}, cat({bgr(palette[1]), bgr(palette[1]), bgr(palette[0])})},
      // Odd x: the low nibble first, then the high nibble of the next byte.
      {"4bpp", BMF_4BPP, 4, {0x12, 0x34, 0, 0}, cat({bgr(palette[2]), bgr(palette[3]), bgr(palette[4])})},
      {"8bpp", BMF_8BPP, 4, {9, 200, 7, 255}, cat({bgr(palette[200]), bgr(palette[7]), bgr(palette[255])})},
      {"16bpp", BMF_16BPP, 8, {0, 0, 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C},
       {0xF8, 0, 0, 0, 0xF8, 0, 0, 0, 0xF8}},
      {"24bpp", BMF_24BPP, 12, {0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
      {"32bpp", BMF_32BPP, 16, {0, 0, 0, 0, 1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99}, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
  };
  for (const Case& c : cases) {
    std::vector<BYTE> bits(static_cast<std::size_t>(c.stride), 0xEE);  // row 0 is never read
    bits.insert(bits.end(), c.row1.begin(), c.row1.end());
    bits.resize(static_cast<std::size_t>(2 * c.stride), 0);
    std::vector<BYTE> out(9, 0xAB);
    ASSERT_TRUE(ExpandRowTo24(bits.data(), PdevRect{1, 0, 3, 1}, c.stride, 1, out.data(), palette.data(), 256,
                              c.format))
        << c.name;
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(ExpandRowTo24, RefusesShortPalettesAndUnknownFormats) {
  const BYTE bits[4] = {};
  const ULONG palette[16] = {};
  BYTE out[3] = {7, 7, 7};
  EXPECT_FALSE(ExpandRowTo24(bits, PdevRect{0, 0, 0, 0}, 4, 0, out, palette, 1, BMF_1BPP));
  EXPECT_FALSE(ExpandRowTo24(bits, PdevRect{0, 0, 0, 0}, 4, 0, out, palette, 16, BMF_8BPP));
  EXPECT_FALSE(ExpandRowTo24(bits, PdevRect{0, 0, 0, 0}, 4, 0, out, nullptr, 0, BMF_4BPP));
  EXPECT_FALSE(ExpandRowTo24(bits, PdevRect{0, 0, 0, 0}, 4, 0, out, palette, 16, BMF_8RLE));
  EXPECT_FALSE(ExpandRowTo24(bits, PdevRect{-1, 0, 0, 0}, 4, 0, out, palette, 16, BMF_24BPP));
  EXPECT_EQ(out[0], 7);
}

// A 6 x 5 source whose bytes name their place (row x 16 + column).
std::vector<BYTE> Numbered(int width, int height) {
  std::vector<BYTE> v(static_cast<std::size_t>(width * height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) v[static_cast<std::size_t>(y * width + x)] = static_cast<BYTE>(y * 16 + x);
  return v;
}

TEST(CopyRectReduce, KeepsTheLastRowAndColumnOfEachGroup) {
  const std::vector<BYTE> src = Numbered(6, 5);
  struct Case {
    PdevRect dst;
    std::vector<BYTE> expected;  // rows of the destination rect, width bytes each
  } cases[] = {
      // 6 -> 3 columns keep 1, 3, 5; 5 -> 2 rows keep 2 and 4.
      {{0, 0, 2, 1}, {0x21, 0x23, 0x25, 0x41, 0x43, 0x45}},
      // 6 -> 4 columns: sums 4, 8-6=2, 6-6=0 ... keep 1, 2, 4, 5; 5 rows -> 5 copy all rows.
      {{0, 0, 3, 4}, {0x01, 0x02, 0x04, 0x05, 0x11, 0x12, 0x14, 0x15, 0x21, 0x22, 0x24, 0x25,
                      0x31, 0x32, 0x34, 0x35, 0x41, 0x42, 0x44, 0x45}},
      // A wider destination keeps the source width; rows 5 -> 1 keep the last.
      {{0, 0, 7, 0}, {0x40, 0x41, 0x42, 0x43, 0x44, 0x45, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    const LONG w = static_cast<LONG>(RectWidth(c.dst)), h = static_cast<LONG>(RectHeight(c.dst));
    std::vector<BYTE> dst(static_cast<std::size_t>(w * h), 0xFF);
    ASSERT_EQ(CopyRectReduce(src.data(), PdevRect{0, 0, 5, 4}, 6, dst.data(), c.dst, w), 1);
    EXPECT_EQ(dst, c.expected) << w << " x " << h;
  }
}

TEST(CopyRectReduce, EqualSizesCopyAndRefusals) {
  std::vector<BYTE> src = Numbered(6, 5);
  std::vector<BYTE> dst(12, 0);
  // The 3 x 2 part at (2, 1) of the source into a 4-byte-stride destination at (1, 1).
  ASSERT_EQ(CopyRectReduce(src.data(), PdevRect{2, 1, 4, 2}, 6, dst.data(), PdevRect{1, 1, 3, 2}, 4), 1);
  EXPECT_EQ(dst, (std::vector<BYTE>{0, 0, 0, 0, 0, 0x12, 0x13, 0x14, 0, 0x22, 0x23, 0x24}));
  EXPECT_EQ(CopyRectReduce(src.data(), PdevRect{0, 0, 1, 1}, 6, src.data(), PdevRect{2, 2, 3, 3}, 6), -1);
  EXPECT_EQ(CopyRectReduce(src.data(), PdevRect{0, 0, 1, 1}, 6, dst.data(), PdevRect{0, 0, 2, 2}, 4), -1);
}

TEST(CopyRectOverlap, CopiesTheCommonSize) {
  const std::vector<BYTE> src = Numbered(6, 5);
  std::vector<BYTE> dst(8, 0);
  CopyRectOverlap(dst.data(), PdevRect{1, 0, 3, 1}, 4, src.data(), PdevRect{2, 3, 5, 3}, 6);
  EXPECT_EQ(dst, (std::vector<BYTE>{0, 0x32, 0x33, 0x34, 0, 0, 0, 0}));
}

TEST(Units, DotsToMillimetresRoundsUp) {
  struct Case {
    ULONG dots;
    USHORT dpi;
    ULONG mm;
  } cases[] = {{600, 600, 26}, {0, 600, 0}, {236, 600, 10}, {2362, 600, 100}, {2363, 600, 101},
               {300, 300, 26}, {0xFFFFFFFF, 600, 181820283}, {100, 0, 0}};
  for (const Case& c : cases) EXPECT_EQ(DotsToMillimetres(c.dots, c.dpi), c.mm) << c.dots << " at " << c.dpi;
}

TEST(Units, RowSizesAreSixtyFourBitAndChecked) {
  constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMaxLong = std::numeric_limits<LONG>::max();
  struct Case {
    std::int64_t width;
    ULONG format;
    std::int64_t bytes;
  } cases[] = {
      {0, BMF_1BPP, 0},   {1, BMF_1BPP, 4},    {33, BMF_1BPP, 8},   {9, BMF_4BPP, 8},    {9, BMF_8BPP, 12},
      {9, BMF_16BPP, 20}, {9, BMF_24BPP, 28},  {9, BMF_32BPP, 36},  {9, BMF_4RLE, 0},    {9, 0, 0},
      {-1, BMF_8BPP, -1}, {kMaxLong, BMF_1BPP, 0x10000000},        {kMaxLong, BMF_32BPP, -1},
      {kMaxLong / 3, BMF_24BPP, -1},           {kMax64, BMF_1BPP, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(RowBytesForFormat(c.width, c.format), c.bytes) << c.width << " " << c.format;
  EXPECT_EQ(AlignTo4(0), 0);
  EXPECT_EQ(AlignTo4(5), 8);
  EXPECT_EQ(AlignTo4(8), 8);
  EXPECT_EQ(AlignTo4(-1), -1);
  EXPECT_EQ(AlignTo4(kMax64), -1);
  EXPECT_EQ(AlignTo4(std::int64_t{1} << 40 | 1), (std::int64_t{1} << 40) + 4);
  EXPECT_EQ(RowBytes1bpp(9), 2);
  EXPECT_EQ(RowBytes1bpp(-3), -1);
  EXPECT_EQ(RowBytes1bpp(kMax64), -1);
}

TEST(Rects, SizesIntersectionUnionAndEmptiness) {
  const PdevRect a{0, 0, 9, 4}, b{5, 2, 14, 19}, swapped{9, 4, 0, 0};
  EXPECT_EQ(RectWidth(a), 10);
  EXPECT_EQ(RectHeight(a), 5);
  EXPECT_EQ(RectWidth(swapped), 10);
  EXPECT_EQ(RectHeight(swapped), 5);
  EXPECT_EQ(RectWidth(PdevRect{std::numeric_limits<std::int32_t>::min(), 0, std::numeric_limits<std::int32_t>::max(), 0}),
            std::int64_t{1} << 32);
  PdevRect out{};
  RectIntersect(a, b, out);
  EXPECT_EQ((std::vector<int>{out.left, out.top, out.right, out.bottom}), (std::vector<int>{5, 2, 9, 4}));
  RectUnion(a, b, out);
  EXPECT_EQ((std::vector<int>{out.left, out.top, out.right, out.bottom}), (std::vector<int>{0, 0, 14, 19}));
  EXPECT_FALSE(RectIsEmpty(PdevRect{3, 3, 3, 3}));
  EXPECT_TRUE(RectIsEmpty(PdevRect{0, 0, -1, -1}));
  EXPECT_TRUE(RectIsEmpty(PdevRect{4, 0, 3, 0}));
  EXPECT_TRUE(RectIsEmpty(PdevRect{0, 4, 0, 3}));
}

// The 16-bit form of one 8-row block of a pattern's rows.
std::vector<BYTE> Rows(const BYTE* out, int rowBytes, int rows) {
  return std::vector<BYTE>(out, out + rowBytes * rows);
}

TEST(BuildBrushPatternBits, HatchesFillEveryBlockAtTheColoursLevel) {
  // A 32 x 32 hatch surface: every 8 x 8 block becomes the hatch row of the
  // level; the brush rows themselves do not matter.
  struct Case {
    ULONG style;
    BYTE density;
    int row;
  } cases[] = {{0, 0, 4 + 3}, {1, 64, 8 + 2}, {3, 191, 16 + 1}, {5, 255, 24 + 0}};
  std::vector<BYTE> brush(32 * 4, 0x5A);
  for (const Case& c : cases) {
    std::vector<BYTE> out(32 * 4, 0x11);
    ASSERT_TRUE(BuildBrushPatternBits(c.density, c.style, SIZEL{32, 32}, brush.data(), out.data()));
    for (int y = 0; y < 32; ++y)
      for (int k = 0; k < 4; ++k)
        ASSERT_EQ(out[static_cast<std::size_t>(y * 4 + k)], HatchGreyPatterns[c.row][y % 8])
            << "style " << c.style << " row " << y << " byte " << k;
  }
}

TEST(BuildBrushPatternBits, PatternsAreInvertedAndScreenedByGreyLevel) {
  // 16 x 10: rows of 2 bytes in 4-byte brush rows; rows 8 and 9 start a
  // second block and take grey bytes 0 and 1 again.
  std::vector<BYTE> brush(10 * 4, 0);
  for (int y = 0; y < 10; ++y) {
    brush[static_cast<std::size_t>(y * 4)] = static_cast<BYTE>(0x0F ^ y);
    brush[static_cast<std::size_t>(y * 4 + 1)] = 0xF0;
    brush[static_cast<std::size_t>(y * 4 + 2)] = 0x77;  // padding, never read
  }
  for (int density : {0, 63, 64, 200}) {
    const int level = 3 - density / 64;
    std::vector<BYTE> out(20, 0);
    ASSERT_TRUE(BuildBrushPatternBits(static_cast<BYTE>(density), 6, SIZEL{16, 10}, brush.data(), out.data()));
    for (int y = 0; y < 10; ++y) {
      const BYTE grey = HatchGreyPatterns[level][y % 8];
      EXPECT_EQ(out[static_cast<std::size_t>(y * 2)], static_cast<BYTE>(~(0x0F ^ y) & grey)) << density << " " << y;
      EXPECT_EQ(out[static_cast<std::size_t>(y * 2 + 1)], static_cast<BYTE>(0x0F & grey)) << density << " " << y;
    }
  }
  // Full ink level leaves the inverted brush as it is.
  std::vector<BYTE> out(20, 0);
  ASSERT_TRUE(BuildBrushPatternBits(255, 7, SIZEL{16, 10}, brush.data(), out.data()));
  EXPECT_EQ(Rows(out.data(), 2, 1), (std::vector<BYTE>{0xF0, 0x0F}));
}

TEST(BuildBrushPatternBits, RefusesSizesItCannotLayOut) {
  std::vector<BYTE> brush(64, 0), out(64, 0x33);
  EXPECT_FALSE(BuildBrushPatternBits(0, 6, SIZEL{12, 8}, brush.data(), out.data()));
  EXPECT_FALSE(BuildBrushPatternBits(0, 6, SIZEL{0, 8}, brush.data(), out.data()));
  EXPECT_FALSE(BuildBrushPatternBits(0, 6, SIZEL{8, 0}, brush.data(), out.data()));
  EXPECT_FALSE(BuildBrushPatternBits(0, 6, SIZEL{8, 8}, nullptr, out.data()));
  EXPECT_EQ(out[0], 0x33);
}

TEST(IsBlackWhitePalette, OnlyBlackAndWhiteInEitherOrder) {
  struct Case {
    ULONG a, b;
    bool bw;
  } cases[] = {{0, 0xFFFFFF, true}, {0xFFFFFF, 0, true}, {0, 0, false}, {0xFFFFFF, 0xFFFFFF, false},
               {0x010101, 0xFFFFFF, false}, {0, 0xFEFFFF, false}, {0xFF0000, 0x00FFFF, false}};
  for (const Case& c : cases) {
    const ULONG palette[2] = {c.a, c.b};
    EXPECT_EQ(IsBlackWhitePalette(palette) != FALSE, c.bw) << std::hex << c.a << " " << c.b;
  }
}

}  // namespace
