// Test planes and the libtiff peer shared by the render-path benchmarks:
// 1 bit-per-pixel planes of a page at 600 dpi (ink = 1, as lines reach the
// encoder), filled as blank, word rows, a text page or a halftoned photo, and
// libtiff's PackBits encoder writing their rows into an in-memory TIFF file.
#pragma once

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace benchplanes {

// Dots from 0.1 mm as the render path converts them.
constexpr long Dots(long tenthMm, long dpi) { return (tenthMm * (dpi / 10) * 1584 + 40224) / 40225; }

enum class Kind { Blank, Text, Photo };
inline const char* KindName(Kind k) { return k == Kind::Blank ? "blank" : k == Kind::Text ? "text" : "photo"; }

// Rows of `stride` bytes, top-down, ink = 1, most significant bit leftmost.
struct Plane {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t stride = 0;
  std::vector<std::uint8_t> bits;

  Plane() = default;
  Plane(std::uint32_t w, std::uint32_t h, std::size_t rowStride) : width(w), height(h), stride(rowStride) {
    bits.assign(stride * height, 0);
  }
  std::uint8_t* Row(std::uint32_t y) { return bits.data() + std::size_t(y) * stride; }
  const std::uint8_t* Row(std::uint32_t y) const { return bits.data() + std::size_t(y) * stride; }
  void Ink(std::uint32_t x, std::uint32_t y) { Row(y)[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8)); }
  // Inks [x0, x1) x [y0, y1), clipped to the plane.
  void Fill(long x0, long y0, long x1, long y1) {
    x0 = std::max(0L, x0);
    y0 = std::max(0L, y0);
    x1 = std::min<long>(width, x1);
    y1 = std::min<long>(height, y1);
    for (long y = y0; y < y1; ++y)
      for (long x = x0; x < x1; ++x) Ink(static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y));
  }
};

// Word rows: every row carries glyph-stroke bytes between 30-byte margins,
// each row drawn independently (the hardest text for a row encoder).
inline void FillWordRows(Plane& p, std::mt19937& rng) {
  const std::size_t rowBytes = (p.width + 7) / 8;
  const std::size_t margin = 30;
  for (std::uint32_t y = 0; y < p.height; ++y) {
    std::uint8_t* row = p.Row(y);
    std::size_t x = margin + rng() % 4;
    while (x + 8 < rowBytes - margin) {
      const std::size_t word = 2 + rng() % 9;  // bytes of one word
      for (std::size_t k = 0; k < word && x < rowBytes - margin; ++k, ++x) {
        const unsigned r = rng() % 8;
        row[x] = r < 3 ? 0x00 : r < 5 ? static_cast<std::uint8_t>(0xC0u >> (rng() % 7)) : static_cast<std::uint8_t>(rng() & 0x66);
        if (r == 7) row[x] = 0xFF;
      }
      x += 1 + rng() % 3;  // space between words
    }
  }
}

// A page of 10-point text at 600 dpi between 10 mm margins: lines of words
// on a 100-dot pitch, glyphs of stems, bars and diagonals 8 dots thick with
// ascenders and descenders, paragraphs with an indent, a ragged last line and
// an empty line after them.
inline void FillTextPage(Plane& p, std::mt19937& rng) {
  const long margin = Dots(100, 600);
  const long pitch = 100, xHeight = 42, ascent = 60, descent = 18, stroke = 8;
  long baseline = margin + ascent;
  int lineInParagraph = 0;
  int paragraphLines = 4 + static_cast<int>(rng() % 8);
  while (baseline + descent < static_cast<long>(p.height) - margin) {
    const bool last = lineInParagraph == paragraphLines - 1;
    long x = margin + (lineInParagraph == 0 ? 120 : 0);
    const long end = static_cast<long>(p.width) - margin - (last ? 600 + static_cast<long>(rng() % 3000) : static_cast<long>(rng() % 60));
    while (x < end) {
      const int letters = 2 + static_cast<int>(rng() % 9);
      for (int i = 0; i < letters && x < end; ++i) {
        const long cw = 28 + static_cast<long>(rng() % 26);
        const unsigned shape = rng();
        const long top = baseline - ((shape & 0x100) ? ascent : xHeight);
        const long bottom = baseline + ((shape & 0x200) ? descent : 0);
        bool drawn = false;
        if (shape & 0x01) { p.Fill(x, top, x + stroke, bottom); drawn = true; }                    // left stem
        if (shape & 0x02) { p.Fill(x + cw - stroke, baseline - xHeight, x + cw, baseline); drawn = true; }  // right stem
        if (shape & 0x04) { p.Fill(x, baseline - xHeight, x + cw, baseline - xHeight + stroke); drawn = true; }  // top bar
        if (shape & 0x08) { p.Fill(x, baseline - stroke, x + cw, baseline); drawn = true; }      // foot bar
        if (shape & 0x10) { p.Fill(x, baseline - xHeight / 2 - stroke / 2, x + cw, baseline - xHeight / 2 + stroke / 2); drawn = true; }
        if ((shape & 0x20) || !drawn) {  // diagonal
          for (long y = baseline - xHeight; y < baseline; ++y) {
            const long dx = (baseline - y) * (cw - stroke) / xHeight;
            p.Fill(x + dx, y, x + dx + stroke, y + 1);
          }
        }
        x += cw + 6;
      }
      x += 30;  // space between words
    }
    baseline += pitch;
    if (++lineInParagraph == paragraphLines) {
      baseline += pitch;  // empty line between paragraphs
      lineInParagraph = 0;
      paragraphLines = 4 + static_cast<int>(rng() % 8);
    }
  }
}

// A smooth picture (gradients and waves with noise) through an 8 x 8
// clustered-dot screen, as the halftoner sends it.
inline void FillPhoto(Plane& p, std::mt19937& rng) {
  static const int kScreen[8][8] = {{24, 10, 12, 26, 35, 47, 49, 37}, {8, 0, 2, 14, 45, 59, 61, 51},
                                    {22, 6, 4, 16, 43, 57, 63, 53}, {30, 20, 18, 28, 33, 41, 55, 39},
                                    {34, 46, 48, 36, 25, 11, 13, 27}, {44, 58, 60, 50, 9, 1, 3, 15},
                                    {42, 56, 62, 52, 23, 7, 5, 17}, {32, 40, 54, 38, 31, 21, 19, 29}};
  std::uniform_int_distribution<int> noise(-6, 6);
  for (std::uint32_t y = 0; y < p.height; ++y) {
    std::uint8_t* row = p.Row(y);
    for (std::uint32_t x = 0; x < p.width; ++x) {
      const double v = 32 + 28 * std::sin(x * 0.0021 + y * 0.0013) + 14 * std::cos(y * 0.0047) * std::sin(x * 0.0009);
      const int level = std::clamp(static_cast<int>(v) + noise(rng), 0, 64);
      if (level > kScreen[y % 8][x % 8]) row[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
  }
}

// An in-memory TIFF file for libtiff's client I/O.
struct MemoryFile {
  std::vector<std::uint8_t> data;
  std::size_t pos = 0;
};
inline tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  const std::size_t n = std::min<std::size_t>(size, f->data.size() - std::min(f->pos, f->data.size()));
  std::memcpy(buf, f->data.data() + f->pos, n);
  f->pos += n;
  return static_cast<tsize_t>(n);
}
inline tsize_t MemWrite(thandle_t h, tdata_t buf, tsize_t size) {
  auto* f = static_cast<MemoryFile*>(h);
  if (f->pos + size > f->data.size()) f->data.resize(f->pos + size);
  std::memcpy(f->data.data() + f->pos, buf, size);
  f->pos += size;
  return size;
}
inline toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* f = static_cast<MemoryFile*>(h);
  if (whence == SEEK_SET) f->pos = off;
  if (whence == SEEK_CUR) f->pos += off;
  if (whence == SEEK_END) f->pos = f->data.size() + off;
  return f->pos;
}
inline int MemClose(thandle_t) { return 0; }
inline toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
inline int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
inline void MemUnmap(thandle_t, tdata_t, toff_t) {}

// Compresses every row of the plane with libtiff's PackBits encoder into
// `file` (cleared first, capacity kept). Returns the file's size, 0 on failure.
inline std::size_t LibTiffPackBits(const Plane& plane, MemoryFile& file) {
  TIFFSetWarningHandler(nullptr);
  file.data.clear();
  file.pos = 0;
  TIFF* tif = TIFFClientOpen("plane", "w", &file, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
  if (!tif) return 0;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, plane.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, plane.height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, plane.height);
  bool ok = true;
  for (std::uint32_t y = 0; y < plane.height && ok; ++y) {
    // PackBits without a predictor leaves the row as it is.
    ok = TIFFWriteScanline(tif, const_cast<std::uint8_t*>(plane.Row(y)), y, 0) == 1;
  }
  TIFFClose(tif);
  return ok ? file.data.size() : 0;
}

}  // namespace benchplanes
