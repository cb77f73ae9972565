// Line compression at the seams of the fast path: pieces found from a bit map
// of equal neighbours 64 bytes a word, copied 16 bytes at a time, with the
// last 16 bytes and over-long pieces taken one at a time. Every line is
// compared with a plain reading of the rules; lines and outputs are sized
// exactly so that the sanitizers see any read or write past them.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "render/packbits.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The rules, one byte at a time.
Bytes Plain(const Bytes& line) {
  std::size_t n = line.size();
  while (n > 0 && line[n - 1] == 0) --n;
  Bytes out;
  std::size_t i = 0;
  while (n - i >= 3) {
    const std::size_t left = n - i;
    if (line[i] == line[i + 1]) {
      std::size_t r = 1;
      while (r < std::min<std::size_t>(left - 2, 128) && line[i + r] == line[i]) ++r;
      out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(r)));
      out.push_back(line[i]);
      i += r;
    } else {
      std::size_t j = 1;
      while (j < std::min<std::size_t>(left - 2, 127) && line[i + j] != line[i + j + 1]) ++j;
      out.push_back(static_cast<std::uint8_t>(j - 1));
      out.insert(out.end(), line.begin() + static_cast<std::ptrdiff_t>(i), line.begin() + static_cast<std::ptrdiff_t>(i + j));
      i += j;
    }
  }
  if (n > i) {
    out.push_back(static_cast<std::uint8_t>(n - i - 1));
    out.insert(out.end(), line.begin() + static_cast<std::ptrdiff_t>(i), line.begin() + static_cast<std::ptrdiff_t>(n));
  }
  return out;
}

Bytes Pack(const Bytes& line) {
  Bytes out(PackBitsBound(line.size()));
  std::int16_t mode = 0;
  const std::size_t n = PackBitsLine(line, out, mode);
  out.resize(n);
  return out;
}

// A line of n bytes ending in a non-zero byte, so that nothing is trimmed.
Bytes Line(std::size_t n, std::uint8_t fill) {
  Bytes line(n, fill);
  if (n > 0) line[n - 1] = 0xE7;
  return line;
}

TEST(PackBitsPaths, EveryLengthUpTo300) {
  std::mt19937 rng(20);
  for (std::size_t n = 1; n <= 300; ++n) {
    // Alphabets of 2 and 3 symbols give runs and pairs everywhere, 256
    // symbols long literals; sparse ink gives long white runs.
    for (unsigned symbols : {2u, 3u, 256u}) {
      for (int k = 0; k < 4; ++k) {
        Bytes line(n);
        for (auto& b : line) b = static_cast<std::uint8_t>(rng() % symbols * (symbols == 256 ? 1 : 0x35));
        ASSERT_EQ(Pack(line), Plain(line)) << "n=" << n << " symbols=" << symbols;
      }
    }
    Bytes sparse(n, 0);
    for (auto& b : sparse)
      if (rng() % 40 == 0) b = static_cast<std::uint8_t>(1 + rng() % 255);
    ASSERT_EQ(Pack(sparse), Plain(sparse)) << "n=" << n;
  }
}

// Runs and literals of lengths around the header limits, placed at every
// offset of a word and near the end of the line, where the fast path hands
// over to the one-piece-at-a-time path.
TEST(PackBitsPaths, PiecesAroundTheLimitsAtEveryOffset) {
  const std::size_t lengths[] = {1, 2, 3, 15, 16, 17, 63, 64, 65, 126, 127, 128, 129, 130, 255, 256, 257, 258, 385};
  for (std::size_t len : lengths) {
    for (std::size_t at = 0; at < 70; ++at) {
      for (std::size_t after : {0u, 1u, 2u, 3u, 16u, 17u, 40u}) {
        const std::size_t n = at + len + after + 1;
        // A literal ramp around a run of len bytes.
        Bytes run(n);
        for (std::size_t k = 0; k < n; ++k) run[k] = static_cast<std::uint8_t>(k * 7 + 1);
        std::fill(run.begin() + static_cast<std::ptrdiff_t>(at), run.begin() + static_cast<std::ptrdiff_t>(at + len), 0x00);
        ASSERT_EQ(Pack(run), Plain(run)) << "run len=" << len << " at=" << at << " after=" << after;
        // A literal of len bytes between runs, and a run followed by a literal.
        Bytes literal = Line(n, 0x99);
        for (std::size_t k = 0; k < len; ++k) literal[at + k] = static_cast<std::uint8_t>(k % 2 ? 0x0F : 0xF0);
        ASSERT_EQ(Pack(literal), Plain(literal)) << "literal len=" << len << " at=" << at << " after=" << after;
        Bytes runThenLiteral(n);
        for (std::size_t k = 0; k < n; ++k) runThenLiteral[k] = static_cast<std::uint8_t>(k < at + len ? 0x44 : k * 3 + 1);
        ASSERT_EQ(Pack(runThenLiteral), Plain(runThenLiteral)) << "len=" << len << " at=" << at << " after=" << after;
      }
    }
  }
}

TEST(PackBitsPaths, ARunOneLongerThanAHeaderJoinsTheLiteralAfterIt) {
  // 129 equal bytes: a run of 128, then the last one starts a literal with
  // the bytes that follow.
  Bytes line(129, 0x3C);
  for (std::uint8_t b : {1, 2, 3, 4, 5, 6, 7, 8, 9, 9, 9}) line.push_back(b);
  line.resize(200, 0x11);
  line.back() = 0x12;
  Bytes expected = {0x81, 0x3C, 0x08, 0x3C, 1, 2, 3, 4, 5, 6, 7, 8, 0xFE, 9};
  const Bytes tail = Plain(Bytes(line.begin() + 140, line.end()));
  expected.insert(expected.end(), tail.begin(), tail.end());
  EXPECT_EQ(Pack(line), expected);
  EXPECT_EQ(Pack(line), Plain(line));
}

TEST(PackBitsPaths, ShapedRowsOfPlaneWidth) {
  // Text-like and halftone-like rows of the widths planes have (A4 to A3 at
  // 300 to 600 dpi), with trailing white of every length up to a word.
  std::mt19937 rng(21);
  for (std::size_t width : {310u, 496u, 620u, 701u, 877u, 992u, 1240u}) {
    for (int k = 0; k < 40; ++k) {
      Bytes line(width, 0);
      const std::size_t inkEnd = width - rng() % std::min<std::size_t>(width, 70);
      for (std::size_t x = rng() % 40; x < inkEnd; ++x) {
        const unsigned r = rng() % 8;
        line[x] = k % 2 ? static_cast<std::uint8_t>(r < 3 ? 0x00 : r < 5 ? 0xC0 >> (rng() % 7) : rng() & 0x66)
                        : static_cast<std::uint8_t>(r < 2 ? 0xFF : r < 4 ? 0x00 : rng() % 4 == 0 ? 0x18 : rng());
      }
      ASSERT_EQ(Pack(line), Plain(line)) << "width=" << width << " k=" << k;
    }
  }
}

// A row as the plane keeps it (white = 1) packs as its inverted copy, on the
// mapped path and on the long-line path, with white trimmed from its end.
TEST(PackBitsPaths, AWhiteOneRowPacksAsItsInvertedCopy) {
  std::mt19937 rng(22);
  auto check = [](const Bytes& ink) {
    Bytes row(ink.size());
    std::transform(ink.begin(), ink.end(), row.begin(), [](std::uint8_t b) { return static_cast<std::uint8_t>(~b); });
    Bytes out(PackBitsBound(row.size()));
    std::int16_t mode = 7;
    out.resize(PackBitsLineWhiteOne(row, out, mode));
    const Bytes expected = Plain(ink);
    EXPECT_EQ(mode, expected.empty() ? 7 : kPackBitsMode);
    return out == expected;
  };
  for (std::size_t n : {1u, 2u, 3u, 17u, 47u, 48u, 63u, 64u, 65u, 129u, 300u, 1241u, 16384u, 16385u, 40000u}) {
    for (unsigned symbols : {2u, 3u, 256u}) {
      Bytes ink(n);
      for (auto& b : ink) b = static_cast<std::uint8_t>(rng() % symbols * (symbols == 256 ? 1 : 0x35));
      // Trailing white of every length up to past a 32-byte step.
      ink.resize(n + rng() % 40, 0);
      ASSERT_TRUE(check(ink)) << "n=" << n << " symbols=" << symbols;
    }
  }
  ASSERT_TRUE(check(Bytes(100, 0)));
  ASSERT_TRUE(check(Bytes(20000, 0)));
}

}  // namespace
