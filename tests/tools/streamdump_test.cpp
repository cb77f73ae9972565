// streamdump: the listing of a hand-made job, the first malformed byte of
// broken streams with its offset, the run-length decoder, and the drum pages
// rebuilt as PNG files by the program itself.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes S(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

const std::vector<std::string> kSmallJobListing = {
    "R",          "&64&e",     "&40;10;5&z",      "&100;100&r",          "&1&C",
    "FILE plan.txt", "&1001;0;0;0&O", "&1001;10;-5;3&o", "&1&M", "line V=1 H=0 bytes=3",
    "line V=10 H=4 bytes=2", "THUM 4x2", "FF", "&1003;255;48;0&O", "&1003;0;0;0&o", "FF", "R"};

TEST(StreamDecoder, ListsTheSmallJob) {
  const Bytes job = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  const streamdump::Decoded d = streamdump::DecodeStream(job);
  ASSERT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
  EXPECT_EQ(d.text, kSmallJobListing);
  EXPECT_TRUE(d.jobEnded);
  EXPECT_FALSE(streamdump::DecodeStream(Bytes(job.begin(), job.end() - 2)).jobEnded) << "only the reset at the start";
  EXPECT_FALSE(streamdump::DecodeStream(Cat({job, S("\x1E&1&C")})).jobEnded) << "more after the job end";
  EXPECT_EQ(d.paperWidthMm, 10u);
  EXPECT_EQ(d.dpiY, 100u);
  ASSERT_EQ(d.pages.size(), 2u);
  EXPECT_EQ(d.pages[0].lab[1], -5);
  EXPECT_EQ(d.pages[1].rgb[1], 48);
  ASSERT_EQ(d.pages[0].lines.size(), 2u);
  EXPECT_EQ(d.pages[0].lines[1].bytes, (Bytes{0xAA, 0xAA, 0xAA}));
  ASSERT_EQ(d.pages[0].thumbnails.size(), 1u);
  EXPECT_EQ(d.pages[0].thumbnails[0].pixels, (Bytes{50, 60, 70, 80, 10, 20, 30, 40})) << "top row first";

  const streamdump::Plane plane = streamdump::RebuildPlane(d, d.pages[0]);
  EXPECT_EQ(plane.width, 40u);
  EXPECT_EQ(plane.height, 20u);
  for (std::uint32_t x = 0; x < 40; ++x) {
    EXPECT_EQ(plane.Ink(x, 0), x < 8 || x == 8 || x == 15) << x;
    EXPECT_EQ(plane.Ink(x, 9), x >= 4 && x < 28 && (x - 4) % 2 == 0) << x;
  }
  EXPECT_FALSE(plane.Ink(0, 1));
}

TEST(StreamDecoder, StopsAtTheFirstMalformedByte) {
  const Bytes e = Cat({S("\x1E&64&e"), Bytes{0, 0, 0, 5, 0, 1, 0, 0, 0, 0, 0, 0x0C, 0, 0, 0, 0xD2, 0x01, 0x29, 0, 0,
                                             0, 0, 0, 0x0A},
                       Bytes(40, 0)});
  const Bytes page = S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o");  // 28 bytes
  struct Case {
    const char* name;
    Bytes stream;
    std::size_t offset;
    const char* says;
  } cases[] = {
      {"stray byte", S("\x1ER" "A"), 2, "unexpected byte"},
      {"no '&' after the command byte", S("\x1E" "x"), 1, "expected '&'"},
      {"leading zero", S("\x1E&01&C"), 3, "leading zero"},
      {"unknown letter", S("\x1E&1&X"), 4, "unknown command letter"},
      {"too many parameters", S("\x1E&1;2;3;4;5&Q"), 10, "more than four"},
      {"wrong count", S("\x1E&1;2&C"), 6, "wrong number"},
      {"missing parameter", S("\x1E&&C"), 2, "expected a decimal"},
      {"value beyond 16 bits", S("\x1E&65536&V"), 2, "0..65535"},
      {"negative outside \"&o\"", S("\x1E&-1&C"), 2, "0..65535"},
      {"cut inside a command", S("\x1E&12"), 4, "ends inside a command"},
      {"paper without 40", S("\x1E&41;1;1&z"), 2, "start with 40"},
      {"\"&e\" block changed", [&] { Bytes b = e; b[6 + 15] = 0xD3; return b; }(), 21, "differs"},
      {"line outside a page", S("\x1E&1&M"), 0, "outside a drum page"},
      {"line before the mode", Cat({page, S("\x1E&1&V\x1E&0&H\x1E&1&i")}), 38, "before a compression mode"},
      {"line without position", Cat({page, S("\x1E&1&M\x1E&1&i")}), 33, "without"},
      {"horizontal before vertical", Cat({page, S("\x1E&1&M\x1E&0&H")}), 33, "without a preceding"},
      {"line position 0", Cat({page, S("\x1E&1&M\x1E&0&V")}), 35, "position 0"},
      {"header -128", Cat({page, S("\x1E&1&M\x1E&1&V\x1E&0&H\x1E&2&i"), Bytes{0x80, 0x00}}), 48,
       "malformed compressed"},
      {"literal cut short", Cat({page, S("\x1E&1&M\x1E&1&V\x1E&0&H\x1E&2&i"), Bytes{0x05, 0x01}}), 50,
       "malformed compressed"},
      {"stream ends inside a line", Cat({page, S("\x1E&1&M\x1E&1&V\x1E&0&H\x1E&9&i"), Bytes{0x00, 0x01}}), 50,
       "ends inside a raster line"},
      {"form feed outside a page", S("\x1ER\x0C"), 2, "form feed outside"},
      {"\"&o\" code differs", S("\x1E&1001;0;0;0&O\x1E&1002;0;0;0&o"), 16, "differs"},
      {"ink code beyond 1063", S("\x1E&1064;0;0;0&O"), 2, "ink code"},
      {"record length mismatch", S("\x1E&17&n\x1F" "FILE0008\x1Fplan.txt"), 11, "disagrees"},
      {"record digits disagree", S("\x1E&18&n\x1F" "FILE0009\x1Fplan.txt"), 11, "disagrees"},
      {"record without 0x1F", S("\x1E&18&n" "XFILE0008\x1Fplan.txt"), 6, "0x1F"},
      {"unknown record", S("\x1E&18&n\x1F" "NAME0008\x1Fplan.txt"), 7, "unknown info record"},
      {"bad date", S("\x1E&26&n\x1F" "TIME0016\x1F" "2026-12-10 09:05"), 16, "date text"},
      {"empty thumbnail", S("\x1E&12&n\x1F" "THUM000000\x1F"), 18, "shorter than"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const streamdump::Decoded d = streamdump::DecodeStream(c.stream);
    EXPECT_FALSE(d.ok);
    EXPECT_EQ(d.errorOffset, c.offset) << d.error;
    EXPECT_NE(d.error.find(c.says), std::string::npos) << d.error;
  }
}

// A thumbnail whose palette or sizes are not those of a grey 8-bit bitmap.
TEST(StreamDecoder, ChecksTheThumbnailBitmap) {
  auto thumb = [](int w, int h, int paletteFault) {
    Bytes bmp = {'B', 'M'};
    auto le32 = [&](std::uint32_t v) {
      for (int k = 0; k < 4; ++k) bmp.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
    };
    auto le16 = [&](std::uint16_t v) {
      bmp.push_back(static_cast<std::uint8_t>(v));
      bmp.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    le32(1078 + w * h);
    le32(0);
    le32(1078);
    le32(40);
    le32(w);
    le32(h);
    le16(1);
    le16(8);
    le32(0);
    le32(w * h);
    for (int k = 0; k < 4; ++k) le32(0);
    for (int i = 0; i < 256; ++i) {
      const auto g = static_cast<std::uint8_t>(i == paletteFault ? i + 1 : i);
      Bytes entry = {g, g, g, 0};
      bmp.insert(bmp.end(), entry.begin(), entry.end());
    }
    bmp.resize(bmp.size() + std::size_t(w) * h, 0x7F);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06zu", bmp.size());
    Bytes rec = Cat({S("\x1F" "THUM"), S(digits), S("\x1F"), bmp});
    return Cat({S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o"), S("\x1E&" + std::to_string(rec.size()) + "&n"), rec,
                S("\x0C")});
  };
  const streamdump::Decoded good = streamdump::DecodeStream(thumb(8, 3, -1));
  ASSERT_TRUE(good.ok) << good.error;
  EXPECT_EQ(good.text[2], "THUM 8x3");
  const streamdump::Decoded palette = streamdump::DecodeStream(thumb(8, 3, 7));
  EXPECT_FALSE(palette.ok);
  EXPECT_NE(palette.error.find("palette"), std::string::npos);
  const streamdump::Decoded width = streamdump::DecodeStream(thumb(6, 3, -1));
  EXPECT_FALSE(width.ok);
  EXPECT_NE(width.error.find("multiple of 4"), std::string::npos);
}

// Damaged copies of a job: every one is listed up to its first bad byte or
// decoded, never read out of bounds.
TEST(StreamDecoder, SurvivesDamagedStreams) {
  const Bytes job = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  std::mt19937 rng(99);
  std::size_t rejected = 0;
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = job;
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < edits && !damaged.empty(); ++k) {
      const std::size_t at = rng() % damaged.size();
      switch (rng() % 3) {
        case 0: damaged[at] = static_cast<std::uint8_t>(rng()); break;
        case 1: damaged.erase(damaged.begin() + static_cast<std::ptrdiff_t>(at)); break;
        default: damaged.resize(at + 1); break;
      }
    }
    const streamdump::Decoded d = streamdump::DecodeStream(damaged);
    if (!d.ok) {
      ++rejected;
      EXPECT_LE(d.errorOffset, damaged.size());
      continue;
    }
    for (const streamdump::DrumPage& page : d.pages) (void)streamdump::RebuildPlane(d, page);
  }
  EXPECT_GT(rejected, 2000u);
}

// A line placed far out would need a plane of gigabytes: it is refused.
TEST(StreamDecoder, RefusesToRebuildAnAbsurdPage) {
  Bytes line;
  for (int k = 0; k < 300; ++k) line.insert(line.end(), {0x81, 0xFF});
  line.insert(line.end(), {0x00, 0xFF});
  const Bytes stream = Cat({S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o\x1E&1&M\x1E&65535&V\x1E&0&H"),
                            S("\x1E&" + std::to_string(line.size()) + "&i"), line, S("\x0C")});
  const streamdump::Decoded d = streamdump::DecodeStream(stream);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(streamdump::RebuildPlane(d, d.pages[0]).width, 0u);
}

// A header's paper and resolution bound the page: a short stream with a
// line far down and far right costs the paper's plane and the one
// millimetre the header's rounding may hide, the lines cut there.
TEST(StreamDecoder, APageIsBoundedByThePaperItsHeaderSent) {
  Bytes wide;
  for (int k = 0; k < 300; ++k) wide.insert(wide.end(), {0x81, 0xFF});  // 38,400 dots of ink
  wide.insert(wide.end(), {0x00, 0xFF});
  auto lineAt = [](int v, int h, const Bytes& packed) {
    return Cat({S("\x1E&" + std::to_string(v) + "&V\x1E&" + std::to_string(h) + "&H"),
                S("\x1E&" + std::to_string(packed.size()) + "&i"), packed});
  };
  // 10 x 5 mm at 100 dpi: 40 x 20 dots, and 4 dots a millimetre.
  const Bytes header = S("\x1E&40;10;5&z\x1E&100;100&r\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o\x1E&1&M");
  {
    SCOPED_TRACE("lines inside the paper: the page is the paper");
    const Bytes stream = Cat({header, lineAt(3, 0, Bytes{0x00, 0xFF}), S("\x0C")});
    const streamdump::Decoded d = streamdump::DecodeStream(stream);
    ASSERT_TRUE(d.ok) << d.error;
    const streamdump::Plane plane = streamdump::RebuildPlane(d, d.pages[0]);
    EXPECT_EQ(plane.width, 40u);
    EXPECT_EQ(plane.height, 20u);
  }
  SCOPED_TRACE("lines far past the paper");
  const Bytes stream = Cat({header, lineAt(65535, 0, wide), lineAt(3, 36, Bytes{0x00, 0xFF}),
                            lineAt(22, 0, wide), S("\x0C")});
  ASSERT_LT(stream.size(), 4096u);
  const streamdump::Decoded d = streamdump::DecodeStream(stream);
  ASSERT_TRUE(d.ok) << d.error;
  const streamdump::Plane plane = streamdump::RebuildPlane(d, d.pages[0]);
  EXPECT_EQ(plane.width, 44u);
  EXPECT_EQ(plane.height, 24u);
  EXPECT_EQ(plane.bits.size(), 6u * 24u);
  for (std::uint32_t x = 0; x < 44; ++x) {
    EXPECT_EQ(plane.Ink(x, 2), x >= 36) << "the line at H=36 keeps its eight dots, " << x;
    EXPECT_TRUE(plane.Ink(x, 21)) << "a row within the rounding, " << x;
  }
  EXPECT_EQ(plane.bits[21 * 6 + 5], 0xF0) << "nothing past the paper's width and one millimetre";
}

// Lines are laid on their row byte by byte, shifted when they start inside a
// byte: every start within a byte, lines cut at the paper's edge (and its
// millimetre of rounding) and lines sharing a row must give the dots a dot
// by dot rebuild gives.
TEST(StreamDecoder, RebuildsLinesAtEveryBitOffsetAsDotByDot) {
  streamdump::Decoded job;
  job.paperWidthMm = 40;  // 158 dots at 100 dpi; lines may reach 162
  job.dpiX = job.dpiY = 100;
  constexpr std::uint32_t kWidth = 162;
  std::mt19937 rng(7);
  streamdump::DrumPage page;
  std::uint32_t v = 1;
  for (std::uint32_t h = 0; h < kWidth + 8; ++h) {
    for (std::size_t bytes : {1u, 2u, 3u, 8u, 9u, 17u, 24u}) {
      // Two lines on one row: the second over the first's dots.
      for (int k = 0; k < 2; ++k) {
        streamdump::RasterLine line;
        line.v = v;
        line.h = k == 0 ? h : h / 2;
        for (std::size_t b = 0; b < bytes; ++b) line.bytes.push_back(static_cast<std::uint8_t>(rng()));
        line.bytes.back() |= 0x01;  // ink on the last dot: it must be cut past the edge
        page.lines.push_back(line);
      }
      ++v;
    }
  }
  job.paperLengthMm = v / 3 + 1;  // taller than the rows used
  const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
  ASSERT_EQ(plane.width, kWidth);
  ASSERT_GE(plane.height, v - 1);
  std::vector<std::vector<bool>> want(plane.height, std::vector<bool>(plane.stride * 8, false));
  for (const streamdump::RasterLine& line : page.lines)
    for (std::size_t d = 0; d < line.bytes.size() * 8; ++d)
      if (line.h + d < kWidth && (line.bytes[d / 8] & (0x80u >> (d % 8))))
        want[line.v - 1][line.h + d] = true;
  for (std::uint32_t y = 0; y < plane.height; ++y) {
    for (std::uint32_t x = 0; x < plane.stride * 8; ++x) {
      const bool got = (plane.bits[std::size_t(y) * plane.stride + x / 8] & (0x80u >> (x % 8))) != 0;
      ASSERT_EQ(got, static_cast<bool>(want[y][x])) << "row " << y << " dot " << x;
    }
  }
}

// Decoding for a listener hands each page over once it ends and keeps none of
// its lines after: a long job costs the memory of one page.
TEST(StreamDecoder, AListenerGetsTheTextAndEachPageAsItEnds) {
  const Bytes one = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  const streamdump::Decoded whole = streamdump::DecodeStream(one);
  ASSERT_TRUE(whole.ok) << whole.error;

  std::vector<std::string> text;
  std::vector<std::size_t> handed;
  std::vector<std::vector<std::pair<std::uint32_t, std::size_t>>> lines;  // per page: V and bytes of each line
  streamdump::DecodeListener listener;
  listener.onText = [&](const std::string& line) { text.push_back(line); };
  listener.onPage = [&](const streamdump::Decoded& job, const streamdump::DrumPage& page, std::size_t index) {
    handed.push_back(index);
    for (std::size_t k = 0; k < index; ++k) EXPECT_TRUE(job.pages[k].lines.empty()) << "page " << k << " kept";
    EXPECT_EQ(&job.pages[index], &page);
    lines.emplace_back();
    for (const streamdump::RasterLine& l : page.lines) lines.back().emplace_back(l.v, l.bytes.size());
    return true;
  };
  const streamdump::Decoded streamed = streamdump::DecodeStream(one, listener);
  ASSERT_TRUE(streamed.ok) << streamed.error;
  EXPECT_EQ(text, whole.text);
  EXPECT_TRUE(streamed.text.empty());
  EXPECT_TRUE(streamed.commands.empty());
  EXPECT_TRUE(streamed.jobEnded);
  ASSERT_EQ(handed, (std::vector<std::size_t>{0, 1}));
  ASSERT_EQ(streamed.pages.size(), whole.pages.size());
  for (std::size_t k = 0; k < whole.pages.size(); ++k) {
    EXPECT_TRUE(streamed.pages[k].lines.empty());
    EXPECT_EQ(streamed.pages[k].inkCode, whole.pages[k].inkCode);
    ASSERT_EQ(lines[k].size(), whole.pages[k].lines.size());
    for (std::size_t n = 0; n < lines[k].size(); ++n) {
      EXPECT_EQ(lines[k][n].first, whole.pages[k].lines[n].v);
      EXPECT_EQ(lines[k][n].second, whole.pages[k].lines[n].bytes.size());
    }
  }

  // A page left open at the end of the stream is handed over too; a listener
  // that refuses a page stops the decoding there.
  Bytes open = one;
  open.resize(open.size() - 2);  // without the last form feed and job end
  handed.clear();
  EXPECT_TRUE(streamdump::DecodeStream(open, listener).ok);
  EXPECT_EQ(handed, (std::vector<std::size_t>{0, 1}));
  listener.onPage = [](const streamdump::Decoded&, const streamdump::DrumPage&, std::size_t) { return false; };
  const streamdump::Decoded stopped = streamdump::DecodeStream(one, listener);
  EXPECT_FALSE(stopped.ok);
  EXPECT_EQ(stopped.pages.size(), 1u);
}

// A stream read in pieces decodes as the whole of it does, also where its
// items are longer than the pieces and the stream longer than what is held;
// a fault's offset counts from the start of the stream.
TEST(StreamDecoder, AStreamReadInPiecesDecodesAsAWhole) {
  Bytes big = S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o\x1E&1&M");
  Bytes line;
  for (int k = 0; k < 500; ++k) {
    line.push_back(0x7F);
    for (int b = 0; b < 128; ++b) line.push_back(static_cast<std::uint8_t>(k + b));
  }
  for (int v = 1; v <= 10; ++v)
    big = Cat({big, S("\x1E&" + std::to_string(v) + "&V\x1E&0&H\x1E&" + std::to_string(line.size()) + "&i"), line});
  big = Cat({big, S("\x0C\x1ER")});
  ASSERT_GT(big.size(), 2 * streamdump::kMaxItemBytes);
  Bytes broken = big;
  broken.push_back('x');

  for (const Bytes* stream : {&big, &broken}) {
    streamdump::DecodeListener listener;
    std::vector<std::size_t> lineCounts;
    listener.onPage = [&](const streamdump::Decoded&, const streamdump::DrumPage& page, std::size_t) {
      lineCounts.push_back(page.lines.size());
      for (const streamdump::RasterLine& l : page.lines) EXPECT_EQ(l.bytes.size(), 500u * 128u);
      return true;
    };
    const streamdump::Decoded whole = streamdump::DecodeStream(*stream, listener);
    for (std::size_t piece : {std::size_t(1000), std::size_t(65536), stream->size()}) {
      SCOPED_TRACE(piece);
      std::size_t at = 0;
      const streamdump::StreamRead read = [&](std::uint8_t* into, std::size_t size) {
        const std::size_t n = std::min({size, piece, stream->size() - at});
        std::copy_n(stream->data() + at, n, into);
        at += n;
        return static_cast<std::ptrdiff_t>(n);
      };
      lineCounts.clear();
      const streamdump::Decoded pieces = streamdump::DecodeStream(read, listener);
      EXPECT_EQ(pieces.ok, whole.ok);
      EXPECT_EQ(pieces.errorOffset, whole.errorOffset);
      EXPECT_EQ(pieces.error, whole.error);
      EXPECT_EQ(pieces.jobEnded, whole.jobEnded);
      EXPECT_EQ(lineCounts, std::vector<std::size_t>{10});
    }
  }
  EXPECT_EQ(streamdump::DecodeStream(broken).errorOffset, big.size());

  // A reader that fails is a stream that cannot be read.
  const streamdump::Decoded failed =
      streamdump::DecodeStream([](std::uint8_t*, std::size_t) -> std::ptrdiff_t { return -1; }, {});
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.error, "the stream cannot be read");
}

// The lines of one page are bounded: a stream that piles more decoded line
// bytes on a page than the bound is malformed, before it can exhaust memory.
TEST(StreamDecoder, APageWithMoreLineDataThanTheBoundIsMalformed) {
  Bytes line;
  for (int k = 0; k < 64; ++k) line.insert(line.end(), {0x81, 0xFF});  // 64 x 128 bytes
  Bytes stream = S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o\x1E&1&M");
  for (int v = 1; v <= 40; ++v) {
    stream = Cat({stream, S("\x1E&" + std::to_string(v) + "&V\x1E&0&H\x1E&" + std::to_string(line.size()) + "&i"),
                  line});
  }
  stream = Cat({stream, S("\x0C")});
  streamdump::DecodeListener listener;
  listener.maxPageLineBytes = 32 * 8192;  // 32 of the 40 lines
  const streamdump::Decoded d = streamdump::DecodeStream(stream, listener);
  EXPECT_FALSE(d.ok);
  EXPECT_NE(d.error.find("more line data"), std::string::npos) << d.error;
  listener.maxPageLineBytes = 40 * 8192;
  EXPECT_TRUE(streamdump::DecodeStream(stream, listener).ok);
  EXPECT_TRUE(streamdump::DecodeStream(stream).ok);
}

TEST(StreamDecoder, UnpackBitsFollowsTheHeaders) {
  Bytes out;
  ASSERT_TRUE(streamdump::UnpackBits(Bytes{0x00, 0xAA, 0x01, 0xAA, 0xAA}, out));
  EXPECT_EQ(out, Bytes(3, 0xAA));
  ASSERT_TRUE(streamdump::UnpackBits(Bytes{0xF9, 0x11, 0x01, 0x11, 0x11}, out));
  EXPECT_EQ(out, Bytes(10, 0x11));
  ASSERT_TRUE(streamdump::UnpackBits(Bytes{0x81, 0x22}, out));
  EXPECT_EQ(out, Bytes(128, 0x22));
  EXPECT_FALSE(streamdump::UnpackBits(Bytes{0x80, 0x00}, out)) << "-128 never occurs";
  EXPECT_FALSE(streamdump::UnpackBits(Bytes{0xFE}, out)) << "run without its byte";
  EXPECT_FALSE(streamdump::UnpackBits(Bytes{0x7F, 0x01}, out)) << "literal cut short";
}

// The program itself, as end-to-end tests call it.
class StreamdumpProgram : public ::testing::Test {
 protected:
  // Runs streamdump with the arguments; returns the exit status, stdout and stderr.
  int Run(const std::string& args, std::string& out, std::string& err) {
    const fs::path o = dir_ / "out.txt";
    const fs::path e = dir_ / "err.txt";
    const std::string command =
        std::string(BIN_DIR_STR) + "/streamdump " + args + " >" + o.string() + " 2>" + e.string();
    const int status = std::system(command.c_str());
    const Bytes ob = ReadFile(o);
    const Bytes eb = ReadFile(e);
    out.assign(ob.begin(), ob.end());
    err.assign(eb.begin(), eb.end());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  testsupport::TempFolder folder_{"streamdump"};
  const fs::path dir_ = folder_.path();
};

// Reads a 1-bit grey PNG into rows of bits (1 = white as stored).
bool ReadPng(const fs::path& path, std::uint32_t& width, std::uint32_t& height, std::vector<Bytes>& rows) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return false;
  }
  png_init_io(png, f);
  png_read_info(png, info);
  width = png_get_image_width(png, info);
  height = png_get_image_height(png, info);
  const bool oneBitGrey = png_get_bit_depth(png, info) == 1 && png_get_color_type(png, info) == PNG_COLOR_TYPE_GRAY;
  rows.assign(height, Bytes(png_get_rowbytes(png, info)));
  for (auto& row : rows) png_read_row(png, row.data(), nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return oneBitGrey;
}

TEST_F(StreamdumpProgram, PrintsTheListingAndWritesEachDrumPage) {
  std::string out, err;
  ASSERT_EQ(Run("--planes " + dir_.string() + " " TEST_DATA_DIR_STR "/stream/small_job.prn", out, err), 0) << err;
  std::string expected;
  for (const std::string& line : kSmallJobListing) expected += line + "\n";
  EXPECT_EQ(out, expected);

  std::uint32_t w = 0, h = 0;
  std::vector<Bytes> rows;
  ASSERT_TRUE(ReadPng(dir_ / "page001.png", w, h, rows));
  EXPECT_EQ(w, 40u);
  EXPECT_EQ(h, 20u);
  EXPECT_EQ(rows[0][0], 0x00) << "ink is black";
  EXPECT_EQ(rows[0][1], 0x7E);
  EXPECT_EQ(rows[9][0], 0xF5);
  EXPECT_EQ(rows[1][0], 0xFF);
  ASSERT_TRUE(ReadPng(dir_ / "page002.png", w, h, rows));
  for (const Bytes& row : rows) {
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(row[k], 0xFF) << "the second page is blank";
  }
  EXPECT_FALSE(fs::exists(dir_ / "page003.png"));
}

TEST_F(StreamdumpProgram, ReportsTheOffsetOfAMalformedByte) {
  std::string out, err;
  EXPECT_EQ(Run(TEST_DATA_DIR_STR "/stream/leading_zero.prn", out, err), 1);
  EXPECT_EQ(out, "R\n");
  EXPECT_NE(err.find("offset 5"), std::string::npos) << err;
  EXPECT_EQ(Run(dir_.string() + "/missing.prn", out, err), 2);
  EXPECT_EQ(Run("", out, err), 2);
}

// The program reads its file in pieces: a job longer than what it holds at a
// time lists as the whole stream decodes, and a cut copy stops at the same
// offset.
TEST_F(StreamdumpProgram, ALongJobListsAsTheWholeStreamDecodes) {
  Bytes line;
  for (int k = 0; k < 300; ++k) {
    line.push_back(0x7F);
    for (int b = 0; b < 128; ++b) line.push_back(static_cast<std::uint8_t>(3 * k + b));
  }
  Bytes job = S("\x1ER\x1E&40;10;5&z\x1E&100;100&r");
  for (int page = 0; page < 4; ++page) {
    job = Cat({job, S("\x1E&1001;0;0;0&O\x1E&1001;0;0;0&o\x1E&1&M")});
    for (int v = 1; v <= 12; ++v)
      job = Cat({job, S("\x1E&" + std::to_string(v) + "&V\x1E&" + std::to_string(8 * page) + "&H\x1E&" +
                        std::to_string(line.size()) + "&i"),
                 line});
    job = Cat({job, S("\x0C")});
  }
  job = Cat({job, S("\x1ER")});
  ASSERT_GT(job.size(), 4 * streamdump::kMaxItemBytes);
  Bytes cut(job.begin(), job.end() - 1000);
  cut.push_back(0x00);
  for (const Bytes* stream : {&job, &cut}) {
    const fs::path file = dir_ / "long.prn";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(stream->data()), static_cast<std::streamsize>(stream->size()));
    const streamdump::Decoded whole = streamdump::DecodeStream(*stream);
    std::string expected;
    for (const std::string& text : whole.text) expected += text + "\n";
    std::string out, err;
    EXPECT_EQ(Run(file.string(), out, err), whole.ok ? 0 : 1) << err;
    EXPECT_EQ(out, expected);
    EXPECT_EQ(whole.ok, stream == &job);
    if (!whole.ok) {
      EXPECT_NE(err.find("offset " + std::to_string(whole.errorOffset)), std::string::npos) << err;
    }
  }
}

// --planes makes its folder; a page that cannot be written whole (a file
// size limit of 0 plays the full drive) fails the dump and leaves neither a
// truncated PNG nor an earlier one changed.
TEST_F(StreamdumpProgram, PlanesAreWrittenWholeIntoAFolderMadeForThem) {
  std::string out, err;
  const fs::path made = dir_ / "new" / "planes";
  ASSERT_EQ(Run("--planes " + made.string() + " " TEST_DATA_DIR_STR "/stream/small_job.prn", out, err), 0) << err;
  EXPECT_TRUE(fs::exists(made / "page001.png"));
  EXPECT_TRUE(fs::exists(made / "page002.png"));

  const fs::path full = dir_ / "full";
  fs::create_directories(full);
  std::ofstream(full / "page001.png", std::ios::binary) << "earlier";
  const std::string command = "bash -c \"trap '' XFSZ; ulimit -f 0; '" + std::string(BIN_DIR_STR) +
                              "/streamdump' --planes '" + full.string() + "' '" TEST_DATA_DIR_STR
                              "/stream/small_job.prn'\" >/dev/null 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
  const Bytes kept = ReadFile(full / "page001.png");
  EXPECT_EQ(std::string(kept.begin(), kept.end()), "earlier");
  EXPECT_EQ(std::distance(fs::directory_iterator(full), fs::directory_iterator()), 1) << "nothing else is left";
}

}  // namespace
