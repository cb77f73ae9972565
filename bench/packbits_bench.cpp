// PackBitsLine against libtiff's PackBits encoder on the same rows of an A3
// 600-dpi plane (ink = 1, as the lines reach the encoder): blank rows,
// text-like rows and halftoned photo rows. Both report MB/s of plane.
#include <benchmark/benchmark.h>
#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "render/packbits.h"

namespace {

// A3 at 600 dpi, dots from 0.1 mm as the render path converts them.
constexpr long Dots(long tenthMm, long dpi) { return (tenthMm * (dpi / 10) * 1584 + 40224) / 40225; }
constexpr std::uint32_t kWidth = static_cast<std::uint32_t>(Dots(2970, 600));
constexpr std::uint32_t kHeight = static_cast<std::uint32_t>(Dots(4200, 600));
constexpr std::size_t kRowBytes = (kWidth + 7) / 8;

enum class Kind { Blank, Text, Photo };

struct Plane {
  std::vector<std::uint8_t> bits;  // kHeight rows of kRowBytes
  const std::uint8_t* Row(std::uint32_t y) const { return bits.data() + std::size_t(y) * kRowBytes; }
};

// Text: 10-point lines of glyph strokes between 10 mm margins; every row
// carries ink (the rows between text lines are blank rows, measured apart).
void FillText(Plane& p, std::mt19937& rng) {
  const std::size_t margin = 30;
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::uint8_t* row = p.bits.data() + std::size_t(y) * kRowBytes;
    std::size_t x = margin + rng() % 4;
    while (x + 8 < kRowBytes - margin) {
      const std::size_t word = 2 + rng() % 9;  // bytes of one word
      for (std::size_t k = 0; k < word && x < kRowBytes - margin; ++k, ++x) {
        const unsigned r = rng() % 8;
        row[x] = r < 3 ? 0x00 : r < 5 ? static_cast<std::uint8_t>(0xC0u >> (rng() % 7)) : static_cast<std::uint8_t>(rng() & 0x66);
        if (r == 7) row[x] = 0xFF;
      }
      x += 1 + rng() % 3;  // space between words
    }
  }
}

// Photo: a smooth picture (gradients and waves with noise) through an 8 x 8
// clustered-dot screen, as the halftoner sends it.
void FillPhoto(Plane& p, std::mt19937& rng) {
  static const int kScreen[8][8] = {{24, 10, 12, 26, 35, 47, 49, 37}, {8, 0, 2, 14, 45, 59, 61, 51},
                                    {22, 6, 4, 16, 43, 57, 63, 53}, {30, 20, 18, 28, 33, 41, 55, 39},
                                    {34, 46, 48, 36, 25, 11, 13, 27}, {44, 58, 60, 50, 9, 1, 3, 15},
                                    {42, 56, 62, 52, 23, 7, 5, 17}, {32, 40, 54, 38, 31, 21, 19, 29}};
  std::uniform_int_distribution<int> noise(-6, 6);
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    std::uint8_t* row = p.bits.data() + std::size_t(y) * kRowBytes;
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const double v = 32 + 28 * std::sin(x * 0.0021 + y * 0.0013) + 14 * std::cos(y * 0.0047) * std::sin(x * 0.0009);
      const int level = std::clamp(static_cast<int>(v) + noise(rng), 0, 64);
      if (level > kScreen[y % 8][x % 8]) row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
  }
}

const Plane& PlaneOf(Kind kind) {
  static Plane planes[3];
  Plane& p = planes[static_cast<int>(kind)];
  if (p.bits.empty()) {
    p.bits.assign(kRowBytes * kHeight, 0);
    std::mt19937 rng(1234);
    if (kind == Kind::Text) FillText(p, rng);
    if (kind == Kind::Photo) FillPhoto(p, rng);
  }
  return p;
}

void Report(benchmark::State& state, std::size_t packed) {
  const double planeBytes = double(kRowBytes) * kHeight;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * planeBytes));
  state.counters["MB/s"] = benchmark::Counter(planeBytes / 1e6, benchmark::Counter::kIsIterationInvariantRate);
  state.counters["ratio"] = packed / planeBytes;
}

void BM_PackBitsLine(benchmark::State& state, Kind kind) {
  const Plane& plane = PlaneOf(kind);
  std::vector<std::uint8_t> out(PackBitsBound(kRowBytes));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      std::int16_t mode = 0;
      packed += PackBitsLine(std::span<const std::uint8_t>(plane.Row(y), kRowBytes), out, mode);
      benchmark::DoNotOptimize(out.data());
    }
  }
  Report(state, packed);
}

// An in-memory TIFF file for libtiff's client I/O.
struct MemoryFile {
  std::vector<std::uint8_t> data;
  std::size_t pos = 0;
};
tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  const std::size_t n = std::min<std::size_t>(size, f->data.size() - std::min(f->pos, f->data.size()));
  std::memcpy(buf, f->data.data() + f->pos, n);
  f->pos += n;
  return static_cast<tsize_t>(n);
}
tsize_t MemWrite(thandle_t h, tdata_t buf, tsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  if (f->pos + size > f->data.size()) f->data.resize(f->pos + size);
  std::memcpy(f->data.data() + f->pos, buf, size);
  f->pos += size;
  return size;
}
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  if (whence == SEEK_SET) f->pos = off;
  if (whence == SEEK_CUR) f->pos += off;
  if (whence == SEEK_END) f->pos = f->data.size() + off;
  return f->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void MemUnmap(thandle_t, tdata_t, toff_t) {}

void BM_LibTiffPackBits(benchmark::State& state, Kind kind) {
  const Plane& plane = PlaneOf(kind);
  TIFFSetWarningHandler(nullptr);
  std::size_t packed = 0;
  MemoryFile file;
  file.data.reserve(2 * kRowBytes * kHeight);
  for (auto _ : state) {
    file.data.clear();
    file.pos = 0;
    TIFF* tif = TIFFClientOpen("plane", "w", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kHeight);
    for (std::uint32_t y = 0; y < kHeight; ++y) {
      // PackBits without a predictor leaves the row as it is.
      TIFFWriteScanline(tif, const_cast<std::uint8_t*>(plane.Row(y)), y, 0);
    }
    TIFFClose(tif);
    packed = file.data.size();
  }
  Report(state, packed);
}

BENCHMARK_CAPTURE(BM_PackBitsLine, blank, Kind::Blank)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibTiffPackBits, blank, Kind::Blank)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackBitsLine, text, Kind::Text)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibTiffPackBits, text, Kind::Text)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackBitsLine, photo, Kind::Photo)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_LibTiffPackBits, photo, Kind::Photo)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
