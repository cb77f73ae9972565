// Row lines of the line fetcher across the block widths of the row scans:
// one ink dot at every position of rows from 1 to 1100 dots, white rows with
// ink only past the cut width, and whole-row inversion of every length.
#include <gtest/gtest.h>

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
  void Ink(LONG x, LONG y) { view.Row(y)[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8))); }
};

TEST(LineFetcherRows, OneDotAnywhereIsSentAndWhiteRowsAreCounted) {
  for (LONG width : {1L, 7L, 8L, 9L, 127L, 128L, 129L, 505L, 512L, 513L, 1031L, 1100L}) {
    const LONG bytes = RowBytes1bpp(width);
    const LONG stride = (bytes + 3) & ~3L;
    // Row 2x: white inside the width, ink in the padding past it; row 2x + 1:
    // one dot at x.
    Plane p(width, 2 * width, stride);
    for (LONG x = 0; x < width; ++x) {
      for (LONG pad = width; pad < stride * 8; ++pad) p.Ink(pad, 2 * x);
      p.Ink(x, 2 * x + 1);
    }
    LineFetcher f(p.view, false, width, 2 * width, false);
    DWORD counter = 1;
    for (LONG x = 0; x < width; ++x) {
      const std::span<BYTE> line = f.Next(counter);
      ASSERT_EQ(line.size(), static_cast<std::size_t>(bytes)) << width;
      // Line numbers count from 1: the white row before is counted only.
      ASSERT_EQ(counter, static_cast<DWORD>(2 * x + 2)) << "width " << width << " x " << x;
      for (LONG k = 0; k < bytes; ++k) {
        const BYTE want = k == x / 8 ? static_cast<BYTE>(0x80 >> (x % 8)) : 0;
        ASSERT_EQ(line[static_cast<std::size_t>(k)], want) << "width " << width << " x " << x << " byte " << k;
      }
      ++counter;
    }
    EXPECT_TRUE(f.Next(counter).empty());
  }
}

TEST(LineFetcherRows, InvertBytesFlipsExactlyTheRange) {
  for (std::size_t n = 0; n <= 200; ++n) {
    for (std::size_t at = 0; at < 3; ++at) {
      std::vector<BYTE> bytes(n + 6);
      for (std::size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<BYTE>(k * 37 + 5);
      const std::vector<BYTE> before = bytes;
      InvertBytes(bytes.data() + at, n);
      for (std::size_t k = 0; k < bytes.size(); ++k) {
        const bool inside = k >= at && k < at + n;
        ASSERT_EQ(bytes[k], inside ? static_cast<BYTE>(~before[k]) : before[k]) << "n " << n << " at " << at << " k " << k;
      }
    }
  }
}

}  // namespace
