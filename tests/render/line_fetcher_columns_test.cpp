// The fast paths of the line fetcher and the plane erase against plain bit
// loops: columns of random and edge-size planes (widths across the strip and
// block sizes, odd heights, ink in the last column and row, ink in the row
// padding), the white rows noted for the erase, and the erase itself.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "render/sheet_kernels.h"

using namespace render;

namespace {

struct Plane {
  std::vector<BYTE> bytes;
  PlaneView view{};
  Plane(LONG width, LONG height, LONG stride) : bytes(static_cast<std::size_t>(stride) * height, 0xFF) {
    view = {bytes.data(), width, height, stride};
  }
  Plane(const Plane& other) : bytes(other.bytes), view(other.view) { view.bits = bytes.data(); }
  Plane(Plane&& other) noexcept : bytes(std::move(other.bytes)), view(other.view) { view.bits = bytes.data(); }
  Plane& operator=(const Plane&) = delete;
  // Device form: ink is bit 0.
  bool Ink(LONG x, LONG y) const { return ((view.Row(y)[x / 8] >> (7 - x % 8)) & 1) == 0; }
  void Put(LONG x, LONG y) { view.Row(y)[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8))); }
};

enum class Fill { Sparse, Dense, LastColumnAndRow, Bands };

// Ink as the plane's kind asks; the row padding past the width gets stray ink
// too, which is never sent.
Plane MakePlane(LONG width, LONG height, LONG stride, Fill fill, std::mt19937& rng) {
  Plane p(width, height, stride);
  for (LONG y = 0; y < height; ++y) {
    for (LONG x = 0; x < width; ++x) {
      bool ink = false;
      switch (fill) {
        case Fill::Sparse: ink = rng() % 97 == 0; break;
        case Fill::Dense: ink = rng() % 3 != 0; break;
        case Fill::LastColumnAndRow: ink = x == width - 1 || y == height - 1; break;
        case Fill::Bands: ink = (y / 5) % 3 == 1 && rng() % 4 == 0; break;
      }
      if (ink) p.Put(x, y);
    }
    if (y % 7 == 3)
      for (LONG x = width; x < stride * 8; x += 5) p.Put(x, y);
  }
  return p;
}

// Column x from row count - 1 up to row 0, ink = 1, bits past the count 0.
std::vector<BYTE> ReferenceColumn(const Plane& p, LONG x, LONG firstRow, LONG count) {
  std::vector<BYTE> line(static_cast<std::size_t>(RowBytes1bpp(count)), 0);
  for (LONG j = 0; j < count; ++j)
    if (p.Ink(x, firstRow + count - 1 - j)) line[static_cast<std::size_t>(j / 8)] |= static_cast<BYTE>(0x80 >> (j % 8));
  return line;
}

bool ReferenceRowWhite(const Plane& p, LONG y) {
  for (LONG k = 0; k < p.view.stride; ++k)
    if (p.view.Row(y)[k] != 0xFF) return false;
  return true;
}

struct Shape {
  LONG width, height, stride;
};
// Widths around the byte, the 16-byte block and the strip of columns; strides
// with and without padding; heights around the 16-row block.
const Shape kShapes[] = {
    {1, 1, 1},      {7, 3, 4},      {9, 17, 2},     {15, 15, 4},    {17, 33, 3},    {127, 16, 16},
    {129, 31, 20},  {255, 47, 32},  {257, 1, 36},   {300, 49, 40},  {513, 18, 68},  {1031, 35, 132},
    {2049, 13, 260}, {600, 100, 76},
};

TEST(LineFetcherColumns, MatchPlainBitLoopsOnEdgeSizesAndRandomPlanes) {
  std::mt19937 rng(11);
  for (const Shape& s : kShapes) {
    for (Fill fill : {Fill::Sparse, Fill::Dense, Fill::LastColumnAndRow, Fill::Bands}) {
      for (bool inverted : {false, true}) {
        // A cut width and a shorter count read less than the plane holds;
        // skipped rows are not read at all.
        struct Read {
          LONG width, count, skip;
        } reads[] = {{s.width, s.height, 0}, {std::max<LONG>(1, s.width - 3), std::max<LONG>(1, s.height - 2), s.height / 3}};
        for (const Read& r : reads) {
          Plane p = MakePlane(s.width, s.height, s.stride, fill, rng);
          const Plane reference = p;
          if (inverted) InvertBytes(p.bytes.data(), p.bytes.size());
          const Plane given = p;
          std::vector<BYTE> white(static_cast<std::size_t>(s.height), 0);
          LineFetcher f(p.view, true, r.width, r.count, inverted);
          f.TrackWhiteRows(white);
          f.SkipRows(r.skip);
          const LONG count = r.count - std::min(r.skip, r.count);
          const std::string where = std::to_string(s.width) + "x" + std::to_string(s.height) + " stride " +
                                    std::to_string(s.stride) + " fill " + std::to_string(static_cast<int>(fill)) +
                                    (inverted ? " inverted" : "") + " read " + std::to_string(r.width) + "/" +
                                    std::to_string(r.count) + " skip " + std::to_string(r.skip);
          DWORD counter = 1;
          for (LONG x = 0; x < r.width; ++x) {
            const std::vector<BYTE> want = ReferenceColumn(reference, x, r.skip, count);
            bool any = false;
            for (BYTE b : want) any = any || b != 0;
            if (!any) continue;
            const std::span<BYTE> line = f.Next(counter);
            ASSERT_EQ(counter, static_cast<DWORD>(x + 1)) << where << " column " << x;
            ASSERT_EQ(std::vector<BYTE>(line.begin(), line.end()), want) << where << " column " << x;
            ++counter;
          }
          EXPECT_TRUE(f.Next(counter).empty()) << where;
          EXPECT_EQ(counter, static_cast<DWORD>(r.width + 1)) << where << ": every column is counted";
          EXPECT_EQ(p.bytes, given.bytes) << where << ": columns are read, the plane is left as it was";
          for (LONG y = 0; y < s.height; ++y) {
            const bool read = y >= r.skip && y < r.skip + count;
            const bool expected = read && !inverted && ReferenceRowWhite(given, y);
            ASSERT_EQ(white[static_cast<std::size_t>(y)] != 0, expected) << where << " row " << y;
          }
        }
      }
    }
  }
}

TEST(LineFetcherColumns, RowsNoteWhiteOnlyWhenThePaddingIsWhiteToo) {
  std::mt19937 rng(5);
  for (const Shape& s : kShapes) {
    Plane p = MakePlane(s.width, s.height, s.stride, Fill::Bands, rng);
    const Plane given = p;
    std::vector<BYTE> white(static_cast<std::size_t>(s.height), 0);
    const LONG skip = s.height / 4;
    LineFetcher f(p.view, false, s.width, s.height, false);
    f.TrackWhiteRows(white);
    f.SkipRows(skip);
    DWORD counter = 1;
    while (!f.Next(counter).empty()) ++counter;
    for (LONG y = 0; y < s.height; ++y)
      ASSERT_EQ(white[static_cast<std::size_t>(y)] != 0, y >= skip && ReferenceRowWhite(given, y))
          << s.width << "x" << s.height << " row " << y;
  }
}

TEST(LineFetcherColumns, EraseLeavesEveryByteWhiteAndSkipsRowsKnownWhite) {
  std::mt19937 rng(3);
  for (const Shape& s : kShapes) {
    for (Fill fill : {Fill::Sparse, Fill::Dense, Fill::Bands}) {
      Plane p = MakePlane(s.width, s.height, s.stride, fill, rng);
      std::vector<BYTE> white(static_cast<std::size_t>(s.height), 0);
      for (LONG y = 0; y < s.height; ++y) white[static_cast<std::size_t>(y)] = ReferenceRowWhite(p, y) && rng() % 2;
      WhitenPlane(p.view, white);
      for (BYTE b : p.bytes) ASSERT_EQ(b, 0xFF) << s.width << "x" << s.height;
      // Flags shorter than the plane, or none: every row is looked at.
      Plane q = MakePlane(s.width, s.height, s.stride, fill, rng);
      for (LONG y = 0; y < s.height; ++y) white[static_cast<std::size_t>(y)] = ReferenceRowWhite(q, y);
      WhitenPlane(q.view, std::span<const BYTE>(white.data(), white.size() / 2));
      for (BYTE b : q.bytes) ASSERT_EQ(b, 0xFF) << s.width << "x" << s.height << " half the flags";
    }
  }
  // A row flagged white is trusted: it is not even read.
  Plane p(16, 3, 2);
  p.Put(0, 0);
  p.Put(1, 1);
  const std::vector<BYTE> white = {0, 1, 0};
  WhitenPlane(p.view, white);
  EXPECT_EQ(p.bytes, (std::vector<BYTE>{0xFF, 0xFF, 0xBF, 0xFF, 0xFF, 0xFF}));
}

// A plane without ink, or with ink only in its last row or its row padding:
// the blank one gives no line, counts every column and flags every row; the
// others still give their columns as the plain reading does.
TEST(LineFetcherColumns, ABlankPlaneGivesNoLineAndFlagsEveryRow) {
  struct Case {
    const char* name;
    LONG inkX, inkY;  // -1: no ink
  } cases[] = {{"blank", -1, -1}, {"last row", 3, 40}, {"padding", 300, 0}};
  for (const Case& c : cases) {
    Plane p(290, 41, 40);
    if (c.inkX >= 0) p.Put(c.inkX, c.inkY);
    const Plane reference = p;
    std::vector<BYTE> white(41, 0);
    LineFetcher f(p.view, true, 290, 41, false);
    f.TrackWhiteRows(white);
    DWORD counter = 1;
    std::vector<LONG> sent;
    for (std::span<BYTE> line = f.Next(counter); !line.empty(); line = f.Next(++counter)) {
      sent.push_back(static_cast<LONG>(counter) - 1);
      EXPECT_EQ(std::vector<BYTE>(line.begin(), line.end()), ReferenceColumn(reference, static_cast<LONG>(counter) - 1, 0, 41))
          << c.name;
    }
    EXPECT_EQ(counter, 291u) << c.name;
    EXPECT_EQ(sent, c.inkX >= 0 && c.inkX < 290 ? std::vector<LONG>{c.inkX} : std::vector<LONG>{}) << c.name;
    for (LONG y = 0; y < 41; ++y)
      EXPECT_EQ(white[static_cast<std::size_t>(y)] != 0, ReferenceRowWhite(reference, y)) << c.name << " row " << y;
  }
}

}  // namespace
