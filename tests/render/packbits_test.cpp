// Line compression: exact bytes on the documented cases, the same bytes as a
// plain reading of the rules on exhaustive short and random long lines, the
// worst-case bound, and decoding by two outside decoders (Pillow's PackBits
// and streamdump's own).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "render/packbits.h"
#include "streamdump/stream_decoder.h"
#include "support/peer.h"
#include "support/python_peer.h"
#include "support/temp_folder.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Pack(const Bytes& line, std::int16_t* modeOut = nullptr) {
  Bytes out(PackBitsBound(line.size()) + 1, 0xEE);
  std::int16_t mode = 0;
  const std::size_t n = PackBitsLine(line, std::span<std::uint8_t>(out.data(), PackBitsBound(line.size())), mode);
  EXPECT_EQ(out[PackBitsBound(line.size())], 0xEE) << "wrote past the bound";
  if (modeOut) *modeOut = mode;
  out.resize(n);
  return out;
}

// The rules as written, one byte at a time: the oracle for the exact bytes.
Bytes Reference(Bytes b) {
  while (!b.empty() && b.back() == 0) b.pop_back();
  Bytes out;
  std::size_t i = 0;
  std::size_t n = b.size();
  while (n > 0) {
    if (n < 3) {
      out.push_back(static_cast<std::uint8_t>(n - 1));
      out.insert(out.end(), b.begin() + i, b.begin() + i + n);
      break;
    }
    if (b[i] == b[i + 1]) {
      std::size_t run = 1;
      while (i + run < b.size() && b[i + run] == b[i]) ++run;
      const std::size_t r = std::min(run, std::min<std::size_t>(n - 2, 128));
      out.push_back(static_cast<std::uint8_t>(1 - static_cast<int>(r)));
      out.push_back(b[i]);
      i += r;
      n -= r;
    } else {
      const std::size_t limit = std::min<std::size_t>(n - 2, 127);
      std::size_t j = 1;
      while (j < limit && b[i + j] != b[i + j + 1]) ++j;
      out.push_back(static_cast<std::uint8_t>(j - 1));
      out.insert(out.end(), b.begin() + i, b.begin() + i + j);
      i += j;
      n -= j;
    }
  }
  return out;
}

Bytes Trimmed(Bytes b) {
  while (!b.empty() && b.back() == 0) b.pop_back();
  return b;
}

TEST(PackBitsLine, DocumentedCases) {
  struct Case {
    const char* what;
    Bytes line;
    Bytes packed;
  } cases[] = {
      {"three equal bytes are two literals, not a run", {0xAA, 0xAA, 0xAA}, {0x00, 0xAA, 0x01, 0xAA, 0xAA}},
      {"ten equal bytes", Bytes(10, 0x5A), {0xF9, 0x5A, 0x01, 0x5A, 0x5A}},
      {"trailing white is dropped", {0x12, 0x34, 0x00, 0x00, 0x00}, {0x01, 0x12, 0x34}},
      {"single byte", {0x80}, {0x00, 0x80}},
      {"literal stops before a pair", {1, 2, 3, 3, 3, 3, 9, 8}, {0x01, 1, 2, 0xFD, 3, 0x01, 9, 8}},
      {"leading white is a run", {0, 0, 0, 0, 0, 0, 7, 6}, {0xFB, 0, 0x01, 7, 6}},
  };
  for (const Case& c : cases) {
    std::int16_t mode = 0;
    EXPECT_EQ(Pack(c.line, &mode), c.packed) << c.what;
    EXPECT_EQ(mode, 1) << c.what;
  }
}

TEST(PackBitsLine, BlankLinesAreNotSentAndKeepTheMode) {
  for (std::size_t n : {0u, 1u, 7u, 8u, 9u, 877u}) {
    std::int16_t mode = 5;
    Bytes out(PackBitsBound(n) + 1);
    const Bytes line(n, 0);
    EXPECT_EQ(PackBitsLine(line, out, mode), 0u) << n;
    EXPECT_EQ(mode, 5) << n;
  }
}

TEST(PackBitsLine, LongRunsAndLiteralsSplitAtTheirLimits) {
  // 300 equal bytes: runs of 128, 128, then 42 leaving two for the final literal.
  EXPECT_EQ(Pack(Bytes(300, 0xFF)), (Bytes{0x81, 0xFF, 0x81, 0xFF, 0xD7, 0xFF, 0x01, 0xFF, 0xFF}));
  // 200 distinct-neighbour bytes: a 127-byte literal, then 71 more, then two.
  Bytes line(200);
  for (std::size_t i = 0; i < line.size(); ++i) line[i] = static_cast<std::uint8_t>(i % 2 ? 0x55 : 0xAA);
  const Bytes packed = Pack(line);
  ASSERT_EQ(packed.size(), 200u + 3u);
  EXPECT_EQ(packed[0], 126);
  EXPECT_EQ(packed[128], 70);
  EXPECT_EQ(packed[128 + 72], 1);
  EXPECT_EQ(packed, Reference(line));
}

TEST(PackBitsLine, TooSmallOutputWritesNothing) {
  const Bytes line(16, 0x11);
  Bytes out(PackBitsBound(line.size()) - 1, 0xEE);
  std::int16_t mode = 0;
  EXPECT_EQ(PackBitsLine(line, out, mode), 0u);
  EXPECT_EQ(mode, -1);
  EXPECT_EQ(out, Bytes(out.size(), 0xEE));
}

// Every line of up to 9 bytes over a three-symbol alphabet, so that every
// arrangement of runs, pairs and literals at every word offset is met.
TEST(PackBitsLine, MatchesTheRulesOnEveryShortLine) {
  const std::uint8_t symbols[3] = {0x00, 0x3C, 0xC3};
  for (std::size_t n = 1; n <= 9; ++n) {
    std::size_t total = 1;
    for (std::size_t k = 0; k < n; ++k) total *= 3;
    for (std::size_t code = 0; code < total; ++code) {
      Bytes line(n);
      std::size_t c = code;
      for (std::size_t k = 0; k < n; ++k, c /= 3) line[k] = symbols[c % 3];
      const Bytes packed = Pack(line);
      ASSERT_EQ(packed, Reference(line)) << "n=" << n << " code=" << code;
      ASSERT_LE(packed.size(), PackBitsBound(n));
      Bytes decoded;
      ASSERT_TRUE(streamdump::UnpackBits(packed, decoded));
      ASSERT_EQ(decoded, Trimmed(line));
    }
  }
}

// Lines shaped like plane rows: long white, text strokes, halftone, pairs.
std::vector<Bytes> RandomLines(std::size_t count, std::uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<Bytes> lines;
  for (std::size_t k = 0; k < count; ++k) {
    Bytes line(1 + rng() % 1200);
    std::size_t i = 0;
    while (i < line.size()) {
      const std::size_t len = std::min<std::size_t>(line.size() - i, 1 + rng() % (rng() % 4 == 0 ? 300 : 12));
      const unsigned kind = rng() % 4;
      for (std::size_t j = 0; j < len; ++j) {
        if (kind == 0) line[i + j] = 0;
        if (kind == 1) line[i + j] = 0xFF;
        if (kind == 2) line[i + j] = static_cast<std::uint8_t>(rng());
        if (kind == 3) line[i + j] = static_cast<std::uint8_t>((j / 2) % 2 ? 0x81 : 0x18);
      }
      i += len;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

TEST(PackBitsLine, MatchesTheRulesOnRandomLines) {
  for (const Bytes& line : RandomLines(3000, 7)) {
    const Bytes packed = Pack(line);
    ASSERT_EQ(packed, Reference(line));
    Bytes decoded;
    ASSERT_TRUE(streamdump::UnpackBits(packed, decoded));
    ASSERT_EQ(decoded, Trimmed(line));
  }
}

TEST(PackBitsLine, MatchesTheRulesOnVeryLongLines) {
  // Longer than any plane row; joined from the shaped lines above.
  for (std::uint32_t seed : {3u, 4u}) {
    Bytes line;
    for (const Bytes& part : RandomLines(60, seed)) line.insert(line.end(), part.begin(), part.end());
    ASSERT_GT(line.size(), 20000u);
    const Bytes packed = Pack(line);
    ASSERT_EQ(packed, Reference(line));
  }
}

TEST(PackBitsLine, WorstCaseStaysWithinTwiceTheLine) {
  // A literal byte before every pair and three-byte tails cost the most.
  for (std::size_t n = 1; n <= 64; ++n) {
    Bytes pairs(n);
    for (std::size_t i = 0; i < n; ++i) pairs[i] = static_cast<std::uint8_t>(i % 3 == 0 ? 0x11 : 0x22 + (i / 3) % 2);
    EXPECT_LE(Pack(pairs).size(), PackBitsBound(n));
    EXPECT_LE(Pack(Bytes(n, 0x77)).size(), PackBitsBound(n));
  }
  EXPECT_EQ(Pack({0x44}).size(), 2u);  // the bound is reached
}

// Pillow's PackBits decoder, run as an outside program.
TEST(PackBitsLine, PillowDecodesRandomLines) {
  const std::string python = testsupport::PythonWith("PIL");
  REQUIRE_PEER(!python.empty(), "python3-pil");
  const testsupport::TempFolder folder("packbits-pil");
  const std::filesystem::path& dir = folder.path();
  const auto in = dir / "lines.bin";
  const auto out = dir / "decoded.bin";
  const auto script = dir / "decode.py";
  const std::vector<Bytes> lines = RandomLines(400, 11);
  {
    std::ofstream f(in, std::ios::binary);
    for (const Bytes& line : lines) {
      const Bytes packed = Pack(line);
      const std::uint32_t sizes[2] = {static_cast<std::uint32_t>(Trimmed(line).size()),
                                      static_cast<std::uint32_t>(packed.size())};
      f.write(reinterpret_cast<const char*>(sizes), sizeof sizes);
      f.write(reinterpret_cast<const char*>(packed.data()), static_cast<std::streamsize>(packed.size()));
    }
    std::ofstream s(script);
    s << "import struct, sys\n"
         "from PIL import Image\n"
         "data = open(sys.argv[1], 'rb').read()\n"
         "out = open(sys.argv[2], 'wb')\n"
         "i = 0\n"
         "while i < len(data):\n"
         "    raw, packed = struct.unpack_from('<II', data, i)\n"
         "    i += 8\n"
         "    if raw:\n"
         "        out.write(Image.frombytes('L', (raw, 1), data[i:i + packed], 'packbits', 'L').tobytes())\n"
         "    i += packed\n";
  }
  const std::string command = python + " " + script.string() + " " + in.string() + " " + out.string();
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream f(out, std::ios::binary);
  const Bytes decoded((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  Bytes expected;
  for (const Bytes& line : lines) {
    const Bytes t = Trimmed(line);
    expected.insert(expected.end(), t.begin(), t.end());
  }
  EXPECT_EQ(decoded, expected);
}

}  // namespace
