#include "render/sheet_kernels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__) && !defined(SHEET_KERNELS_SCALAR)
#include <emmintrin.h>
#endif

namespace render {

namespace {

inline int GetBit(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }
inline void PutBit(BYTE* row, LONG x, int v) {
  const BYTE mask = static_cast<BYTE>(0x80 >> (x & 7));
  if (v)
    row[x >> 3] |= mask;
  else
    row[x >> 3] &= static_cast<BYTE>(~mask);
}

// Moves the bit range [from, from + n) of a row to start at to; the ranges may
// overlap. Whole bytes are moved with memmove when both ends are aligned.
void MoveBits(BYTE* row, LONG to, LONG from, LONG n) {
  if (n <= 0 || to == from) return;
  if ((to & 7) == 0 && (from & 7) == 0 && (n & 7) == 0) {
    std::memmove(row + (to >> 3), row + (from >> 3), static_cast<std::size_t>(n >> 3));
    return;
  }
  if (to < from) {
    for (LONG i = 0; i < n; ++i) PutBit(row, to + i, GetBit(row, from + i));
  } else {
    for (LONG i = n - 1; i >= 0; --i) PutBit(row, to + i, GetBit(row, from + i));
  }
}

void WhitenBits(BYTE* row, LONG from, LONG n) {
  for (LONG i = 0; i < n; ++i) PutBit(row, from + i, 1);
}

void WhitenRows(const PlaneView& p, LONG from, LONG n) {
  if (n > 0) std::memset(p.Row(from), 0xFF, static_cast<std::size_t>(n) * static_cast<std::size_t>(p.stride));
}

// 8x8 bit transpose: out[m] bit (7 - t) = in[t] bit (7 - m). The scalar
// column gather uses it; the SSE2 one transposes bytes instead.
[[maybe_unused]] inline std::uint64_t Transpose8(std::uint64_t x) {
  std::uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAULL;
  x = x ^ t ^ (t << 7);
  t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCULL;
  x = x ^ t ^ (t << 14);
  t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ULL;
  x = x ^ t ^ (t << 28);
  return x;
}

}  // namespace

void ShiftRowsDown(const PlaneView& p, LONG a) {
  if (a <= 0) return;
  a = std::min(a, p.height);
  std::memmove(p.Row(a), p.Row(0), static_cast<std::size_t>(p.height - a) * static_cast<std::size_t>(p.stride));
  WhitenRows(p, 0, a);
}

void ShiftRowsUp(const PlaneView& p, LONG a) {
  if (a <= 0) return;
  a = std::min(a, p.height);
  std::memmove(p.Row(0), p.Row(a), static_cast<std::size_t>(p.height - a) * static_cast<std::size_t>(p.stride));
  WhitenRows(p, p.height - a, a);
}

void ShiftBitsRight(const PlaneView& p, LONG a) {
  if (a <= 0) return;
  const LONG bits = p.stride * 8;
  a = std::min(a, bits);
  for (LONG y = 0; y < p.height; ++y) {
    BYTE* row = p.Row(y);
    if ((a & 7) == 0) {
      std::memmove(row + a / 8, row, static_cast<std::size_t>(p.stride - a / 8));
      std::memset(row, 0xFF, static_cast<std::size_t>(a / 8));
      continue;
    }
    const int s = a & 7;
    const LONG bytes = a >> 3;
    for (LONG i = p.stride - 1; i >= 0; --i) {
      const LONG src = i - bytes;
      const BYTE hi = src >= 0 ? row[src] : 0xFF;
      const BYTE lo = src - 1 >= 0 ? row[src - 1] : 0xFF;
      row[i] = static_cast<BYTE>((hi >> s) | (lo << (8 - s)));
    }
  }
}

void ShiftBitsLeft(const PlaneView& p, LONG a) {
  if (a <= 0) return;
  const LONG bits = p.stride * 8;
  a = std::min(a, bits);
  for (LONG y = 0; y < p.height; ++y) {
    BYTE* row = p.Row(y);
    if ((a & 7) == 0) {
      std::memmove(row, row + a / 8, static_cast<std::size_t>(p.stride - a / 8));
      std::memset(row + p.stride - a / 8, 0xFF, static_cast<std::size_t>(a / 8));
      continue;
    }
    const int s = a & 7;
    const LONG bytes = a >> 3;
    for (LONG i = 0; i < p.stride; ++i) {
      const LONG src = i + bytes;
      const BYTE hi = src < p.stride ? row[src] : 0xFF;
      const BYTE lo = src + 1 < p.stride ? row[src + 1] : 0xFF;
      row[i] = static_cast<BYTE>((hi << s) | (lo >> (8 - s)));
    }
  }
}

void GutterAcrossRows(const PlaneView& p, LONG g) {
  const LONG half = g / 2;
  const LONG mid = p.height / 2;
  if (half <= 0) return;
  const LONG h = std::min(half, mid);
  // Upper half up, lower half down; the outermost rows are lost.
  std::memmove(p.Row(0), p.Row(h), static_cast<std::size_t>(mid - h) * static_cast<std::size_t>(p.stride));
  WhitenRows(p, mid - h, h);
  const LONG lower = p.height - mid;
  const LONG d = std::min(half, lower);
  std::memmove(p.Row(mid + d), p.Row(mid), static_cast<std::size_t>(lower - d) * static_cast<std::size_t>(p.stride));
  WhitenRows(p, mid, d);
}

void SplitRowGap(BYTE* row, LONG width, LONG g) {
  const LONG half = g / 2;
  if (half <= 0 || width <= 0) return;
  const LONG centre = (width + 1) / 2;
  const LONG left = std::min(half, centre);
  MoveBits(row, 0, left, centre - left);
  WhitenBits(row, centre - left, left);
  const LONG right = std::min(half, width - centre);
  MoveBits(row, centre + right, centre, width - centre - right);
  WhitenBits(row, centre, right);
}

void GutterWithinRows(const PlaneView& p, LONG g) {
  if (g / 2 <= 0) return;
  for (LONG y = 0; y < p.height; ++y) SplitRowGap(p.Row(y), p.width, g);
}

void RepeatPageImage(const PlaneView& p, LONG gap, bool inFour, bool widthBelowLength) {
  const LONG halfH = p.height / 2;
  LONG firstRow = halfH + gap;
  if (firstRow & 1) ++firstRow;
  const LONG halfW = p.width / 2;
  const LONG startByte = (halfW + gap) / 8;
  LONG partBits = halfW - gap;
  LONG partBytes = (gap == 0 && (halfW % 8) != 0) ? partBits / 8 : (partBits + 7) / 8;
  // Never copy past the row: the part fits between the start byte and the end.
  partBytes = std::clamp<LONG>(partBytes, 0, std::max<LONG>(0, p.stride - std::max<LONG>(startByte, 0)));
  const bool sideways = startByte >= 0 && partBytes > 0;

  if (inFour) {
    for (LONG y = 0; y < halfH; ++y) {
      BYTE* src = p.Row(y);
      const LONG to = firstRow + y;
      if (to > y && to < p.height && partBytes > 0) {
        BYTE* dst = p.Row(to);
        std::memcpy(dst, src, static_cast<std::size_t>(partBytes));
        if (sideways) std::memcpy(dst + startByte, src, static_cast<std::size_t>(partBytes));
      }
      if (sideways) std::memmove(src + startByte, src, static_cast<std::size_t>(partBytes));
    }
  } else if (widthBelowLength) {
    for (LONG y = 0; y < halfH; ++y) {
      const LONG to = firstRow + y;
      if (to <= y || to >= p.height) continue;
      std::memcpy(p.Row(to), p.Row(y), static_cast<std::size_t>(p.stride));
    }
  } else if (sideways) {
    for (LONG y = 0; y < p.height; ++y) {
      BYTE* row = p.Row(y);
      std::memmove(row + startByte, row, static_cast<std::size_t>(partBytes));
    }
  }
}

Thumbnail BuildThumbnail(const PlaneView& p, bool orientation90) {
  Thumbnail t;
  if (p.width <= 0 || p.height <= 0) return t;
  const LONG shorter = std::min(p.width, p.height);
  const LONG longer = std::max(p.width, p.height);
  const LONG k = std::max<LONG>(1, shorter / 100);
  // A plane under 100 dots on its shorter side gives fewer than 100 pixels
  // rather than blocks outside the plane.
  const LONG shortSide = std::min<LONG>(100, shorter / k);
  const LONG longSide = std::min<LONG>(200, longer / k);
  LONG blocksX = p.width <= p.height ? shortSide : longSide;   // across plane rows
  LONG blocksY = p.width <= p.height ? longSide : shortSide;   // down the plane
  if (p.width == p.height) blocksY = shortSide;
  // The side that becomes the BMP row is a multiple of 4.
  if (orientation90)
    blocksY -= blocksY % 4;
  else
    blocksX -= blocksX % 4;
  if (blocksX <= 0 || blocksY <= 0) return t;

  const LONG kk = k * k;
  const LONG samples = k == 51 ? 256 : 255;
  std::vector<std::pair<LONG, LONG>> samplePoints;  // (column, row) inside a block
  if (kk >= samples) {
    samplePoints.reserve(static_cast<std::size_t>(samples));
    for (LONG i = 0; i < samples; ++i) {
      const LONG index = static_cast<LONG>(static_cast<long long>(i) * kk / samples);
      samplePoints.emplace_back(index % k, index / k);
    }
  }
  auto grey = [&](LONG bx, LONG by) -> BYTE {
    const LONG x0 = bx * k, y0 = by * k;
    if (samplePoints.empty()) {
      LONG ink = 0;
      for (LONG y = 0; y < k; ++y) {
        const BYTE* row = p.Row(y0 + y);
        for (LONG x = 0; x < k; ++x) ink += 1 - GetBit(row, x0 + x);
      }
      return static_cast<BYTE>(255 - ink * 255 / kk);
    }
    LONG ink = 0;
    for (const auto& [cx, cy] : samplePoints) ink += 1 - GetBit(p.Row(y0 + cy), x0 + cx);
    return static_cast<BYTE>(std::max<LONG>(0, 255 - ink));
  };

  if (!orientation90) {
    t.width = blocksX;
    t.height = blocksY;
    t.rows.resize(static_cast<std::size_t>(t.width) * static_cast<std::size_t>(t.height));
    for (LONG py = 0; py < t.height; ++py) {
      BYTE* out = t.rows.data() + static_cast<std::size_t>(t.height - 1 - py) * static_cast<std::size_t>(t.width);
      for (LONG px = 0; px < t.width; ++px) out[px] = grey(px, py);
    }
  } else {
    // Turned a quarter clockwise: picture row py is block column py read from
    // the bottom up; the rightmost block column is the last picture row,
    // which the bottom-up BMP stores first.
    t.width = blocksY;
    t.height = blocksX;
    t.rows.resize(static_cast<std::size_t>(t.width) * static_cast<std::size_t>(t.height));
    for (LONG py = 0; py < t.height; ++py) {
      BYTE* out = t.rows.data() + static_cast<std::size_t>(t.height - 1 - py) * static_cast<std::size_t>(t.width);
      for (LONG px = 0; px < t.width; ++px) out[px] = grey(py, blocksY - 1 - px);
    }
  }
  return t;
}

void InvertBytes(BYTE* bytes, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__) && !defined(SHEET_KERNELS_SCALAR)
  const __m128i ones = _mm_set1_epi8(-1);
  for (; i + 64 <= n; i += 64) {
    for (std::size_t k = 0; k < 64; k += 16) {
      auto* v = reinterpret_cast<__m128i*>(bytes + i + k);
      _mm_storeu_si128(v, _mm_xor_si128(_mm_loadu_si128(v), ones));
    }
  }
  for (; i + 16 <= n; i += 16) {
    auto* v = reinterpret_cast<__m128i*>(bytes + i);
    _mm_storeu_si128(v, _mm_xor_si128(_mm_loadu_si128(v), ones));
  }
#endif
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes + i, 8);
    w = ~w;
    std::memcpy(bytes + i, &w, 8);
  }
  for (; i < n; ++i) bytes[i] = static_cast<BYTE>(~bytes[i]);
}

namespace {
bool RowIsWhite(const BYTE* line, LONG bits) {
  const LONG whole = bits / 8;
  LONG i = 0;
#if defined(__SSE2__) && !defined(SHEET_KERNELS_SCALAR)
  // Most rows with ink show it in the first block; blank rows are read
  // through, 64 bytes a step.
  for (; i + 64 <= whole; i += 64) {
    const auto* v = reinterpret_cast<const __m128i*>(line + i);
    const __m128i all = _mm_and_si128(_mm_and_si128(_mm_loadu_si128(v), _mm_loadu_si128(v + 1)),
                                      _mm_and_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(v + 3)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(all, _mm_set1_epi8(-1))) != 0xFFFF) return false;
  }
#endif
  for (; i + 8 <= whole; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, line + i, 8);
    if (~w) return false;
  }
  for (; i < whole; ++i)
    if (line[i] != 0xFF) return false;
  if (bits & 7) {
    const BYTE mask = static_cast<BYTE>(0xFF << (8 - (bits & 7)));
    if ((line[whole] & mask) != mask) return false;
  }
  return true;
}

// True when the bits of a row from bit `from` to the end of its stride are white.
bool RestIsWhite(const BYTE* row, LONG from, LONG stride) {
  LONG k = from / 8;
  if (from & 7) {
    if (k >= stride) return true;
    if ((row[k] | static_cast<BYTE>(0xFF << (8 - (from & 7)))) != 0xFF) return false;
    ++k;
  }
  return k >= stride || RowIsWhite(row + k, (stride - k) * 8);
}
}  // namespace

void WhitenPlane(const PlaneView& p, std::span<const BYTE> whiteRows) {
  const std::size_t stride = static_cast<std::size_t>(std::max<LONG>(0, p.stride));
  for (LONG y = 0; y < p.height; ++y) {
    if (static_cast<std::size_t>(y) < whiteRows.size() && whiteRows[static_cast<std::size_t>(y)]) continue;
    BYTE* row = p.Row(y);
    if (!RowIsWhite(row, p.stride * 8)) std::memset(row, 0xFF, stride);
  }
}

bool RowHasInk(const BYTE* line, LONG bits) {
  if (bits <= 0) return false;
  const LONG whole = bits / 8;
  LONG i = 0;
  for (; i + 8 <= whole; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, line + i, 8);
    if (w) return true;
  }
  for (; i < whole; ++i)
    if (line[i]) return true;
  if (bits & 7) {
    const BYTE mask = static_cast<BYTE>(0xFF << (8 - (bits & 7)));
    if (line[whole] & mask) return true;
  }
  return false;
}

void GatherBitColumn(const PlaneView& p, LONG col, BYTE mask, LONG h, bool inverted, BYTE* out) {
  std::memset(out, 0, static_cast<std::size_t>(RowBytes1bpp(h)));
  for (LONG j = 0; j < h; ++j) {
    const bool set = (p.Row(h - 1 - j)[col] & mask) != 0;
    if (set == inverted) out[j >> 3] |= static_cast<BYTE>(0x80 >> (j & 7));
  }
}

LineFetcher::LineFetcher(const PlaneView& p, bool orientation90, LONG width, LONG count, bool alreadyInverted)
    : plane_(p),
      orientation90_(orientation90),
      inverted_(alreadyInverted),
      width_(std::max<LONG>(0, width)),
      count_(std::max<LONG>(0, count)),
      lineBytes_(RowBytes1bpp(orientation90 ? count_ : width_)) {}

void LineFetcher::SkipRows(LONG n) {
  if (n <= 0) return;
  n = std::min(n, count_);
  plane_.bits = plane_.Row(n);
  plane_.height -= n;
  firstRow_ += n;
  count_ -= n;
  if (orientation90_) lineBytes_ = RowBytes1bpp(count_);
}

std::span<BYTE> LineFetcher::Next(DWORD& lineCounter) {
  if (!orientation90_) {
    if (lastRow_) {
      std::memset(lastRow_, 0xFF, static_cast<std::size_t>(plane_.stride));
      if (!whiteRows_.empty()) whiteRows_[static_cast<std::size_t>(firstRow_ + next_ - 1)] = 1;
      lastRow_ = nullptr;
    }
    const BYTE edgeMask = (width_ & 7) ? static_cast<BYTE>(0xFF << (8 - (width_ & 7))) : 0xFF;
    while (next_ < count_) {
      BYTE* row = plane_.Row(next_++);
      // A white row is only counted; the plane is whitened after the sheet,
      // so it need not be inverted first.
      if (!inverted_) {
        if (RowIsWhite(row, width_)) {
          if (!whiteRows_.empty() && RestIsWhite(row, width_, plane_.stride))
            whiteRows_[static_cast<std::size_t>(firstRow_ + next_ - 1)] = 1;
          ++lineCounter;
          continue;
        }
        if (whiteOneAllowed_) {
          whiteOne_ = true;
          lastRow_ = row;
          if (width_ & 7) row[lineBytes_ - 1] |= static_cast<BYTE>(~edgeMask);
          return {row, static_cast<std::size_t>(lineBytes_)};
        }
        InvertBytes(row, static_cast<std::size_t>(lineBytes_));
      } else if (!RowHasInk(row, width_)) {
        ++lineCounter;
        continue;
      }
      // Bits beyond a cut width are not sent.
      if (width_ & 7) row[lineBytes_ - 1] &= edgeMask;
      return {row, static_cast<std::size_t>(lineBytes_)};
    }
    return {};
  }
  const std::size_t lineBytes = static_cast<std::size_t>(lineBytes_);
  if (next_ == 0 && stripStart_ < 0) {
    // A blank plane (a drum without ink) is read row by row, as a plane
    // is laid out, rather than strip by strip; the white rows before the
    // first ink are flagged on the way.
    const bool track = !whiteRows_.empty() && !inverted_;
    LONG y = 0;
    for (; y < count_; ++y) {
      const BYTE* row = plane_.Row(y);
      if (inverted_ ? RowHasInk(row, plane_.stride * 8) : !RowIsWhite(row, plane_.stride * 8)) break;
      if (track) whiteRows_[static_cast<std::size_t>(firstRow_ + y)] = 1;
    }
    planeBlank_ = y == count_;
  }
  if (lineBytes == 0 || planeBlank_) {  // no rows, or no ink: every column is blank
    lineCounter += static_cast<DWORD>(width_ - next_);
    next_ = width_;
    return {};
  }
  while (next_ < width_) {
    const LONG col = next_++;
    if (stripStart_ < 0 || col < stripStart_ || col >= stripStart_ + kStripColumns) GatherStrip(col - col % kStripColumns);
    const LONG c = col - stripStart_;
    if (!(stripInk_[static_cast<std::size_t>(c >> 3)] & (0x80 >> (c & 7)))) {
      ++lineCounter;
      continue;
    }
    return {strip_.data() + static_cast<std::size_t>(c) * lineBytes, lineBytes};
  }
  return {};
}

// Bit of row j (counted up from the last row) in the ink mask of its block of
// 16: the order the SSE2 gather loads them in.
inline unsigned RowInkBit(LONG j) {
  const LONG r = j & 15;
  return 1u << (r < 8 ? 7 - r : 23 - r);
}

// Builds the lines of the dot columns [first, first + kStripColumns): bit j of
// a line is row count - 1 - j, ink = 1, bits past the count 0. A strip takes
// 32 bytes of each row, half a cache line, while its lines stay small enough
// to be packed from the second-level cache. The same reads note the strip's
// dot columns with ink and, strip by strip, the rows with ink: once the
// strips have covered the rows to their last byte, the rows without any are
// flagged white.
void LineFetcher::GatherStrip(LONG first) {
  const std::size_t lineBytes = static_cast<std::size_t>(lineBytes_);
  const std::size_t stripBytes = lineBytes * static_cast<std::size_t>(kStripColumns);
  // Cleared on its first ink: the lines of a blank strip are never handed out.
  bool cleared = strip_.size() != stripBytes;
  if (cleared) strip_.assign(stripBytes, 0);
  auto clear = [&] {
    if (!cleared) std::memset(strip_.data(), 0, stripBytes);
    cleared = true;
  };
  stripStart_ = first;
  const LONG byte0 = first / 8;
  const LONG byteCount = std::clamp<LONG>(plane_.stride - byte0, 0, kStripColumns / 8);
  const BYTE white = inverted_ ? 0x00 : 0xFF;
  std::memset(stripInk_, 0, sizeof stripInk_);
  const bool trackRows = !whiteRows_.empty() && !inverted_;
  if (trackRows && (first == 0 || rowInk_.empty())) rowInk_.assign(static_cast<std::size_t>((count_ + 15) / 16), 0);
  // 16 row bytes from byte0 + at, padded with white past the row's end or
  // the last row.
  auto load = [&](LONG j, LONG at, BYTE* out16) {
    const std::size_t n = static_cast<std::size_t>(std::clamp<LONG>(byteCount - at, 0, 16));
    if (j < count_ && n > 0) std::memcpy(out16, plane_.Row(count_ - 1 - j) + byte0 + at, n);
    std::memset(out16 + (j < count_ ? n : 0), white, 16 - (j < count_ ? n : 0));
  };
#if defined(__SSE2__) && !defined(SHEET_KERNELS_SCALAR)
  const __m128i flip = _mm_set1_epi8(static_cast<char>(inverted_ ? 0x00 : 0xFF));
  const __m128i zero = _mm_setzero_si128();
  alignas(16) BYTE rows[16][16];
  for (LONG j0 = 0; j0 < count_; j0 += 16) {
    const bool fullRows = j0 + 16 <= count_;
    // Rows of the block after next are asked for early: between strips the
    // packing of their lines pushes the rows out of the nearer caches, and
    // the rows lie a stride apart going up the plane.
    for (LONG k = 32; k < 48 && j0 + k < count_; ++k) {
      const char* ahead = reinterpret_cast<const char*>(plane_.Row(count_ - 1 - (j0 + k)) + byte0);
      _mm_prefetch(ahead, _MM_HINT_T0);
      _mm_prefetch(ahead + std::max<LONG>(0, byteCount - 1), _MM_HINT_T0);
    }
    const std::size_t at = static_cast<std::size_t>(j0 / 8);
    const bool second = at + 1 < lineBytes;
    for (LONG g = 0; g < byteCount; g += 16) {
      // Byte i of each vector is row j0 + 7 - i (i < 8) or j0 + 23 - i, so
      // that a movemask yields the two line bytes most significant bit first.
      __m128i x[16];
      __m128i any = zero;
      const bool inside = fullRows && g + 16 <= byteCount;
      for (int k = 0; k < 16; ++k) {
        const LONG j = j0 + (k < 8 ? 7 - k : 23 - k);
        __m128i v;
        if (inside) {
          v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(plane_.Row(count_ - 1 - j) + byte0 + g));
        } else {
          load(j, g, rows[k]);
          v = _mm_load_si128(reinterpret_cast<const __m128i*>(rows[k]));
        }
        x[k] = _mm_xor_si128(v, flip);
        any = _mm_or_si128(any, x[k]);
      }
      // Byte columns without ink in these rows keep their zeros.
      auto* inkAt = reinterpret_cast<__m128i*>(stripInk_ + g);
      _mm_storeu_si128(inkAt, _mm_or_si128(_mm_loadu_si128(inkAt), any));
      const unsigned blank = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero)));
      const LONG columns = std::min<LONG>(16, byteCount - g);
      unsigned inked = ~blank & ((1u << columns) - 1);
      if (!inked) continue;
      clear();
      if (whiteOneAllowed_) {
        // The caller whitens the plane after the sheet: bytes with ink are
        // whitened now, while their lines are in the cache.
        const __m128i ones = _mm_set1_epi8(-1);
        for (int k = 0; k < 16; ++k) {
          const LONG j = j0 + (k < 8 ? 7 - k : 23 - k);
          if (j >= count_) continue;
          BYTE* at = plane_.Row(count_ - 1 - j) + byte0 + g;
          if (g + 16 <= byteCount)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(at), ones);
          else
            std::memset(at, 0xFF, static_cast<std::size_t>(byteCount - g));
        }
      }
      // 16 x 16 byte transpose: afterwards x[c] holds byte column c of the 16 rows.
      for (int round = 0; round < 4; ++round) {
        __m128i y[16];
        for (int k = 0; k < 8; ++k) {
          y[2 * k] = _mm_unpacklo_epi8(x[k], x[k + 8]);
          y[2 * k + 1] = _mm_unpackhi_epi8(x[k], x[k + 8]);
        }
        for (int k = 0; k < 16; ++k) x[k] = y[k];
      }
      if (trackRows && !whiteOneAllowed_) {
        // Byte i of every x[c] is the row loaded into x[i].
        __m128i rowsAny = x[0];
        for (int c = 1; c < 16; ++c) rowsAny = _mm_or_si128(rowsAny, x[c]);
        rowInk_[static_cast<std::size_t>(j0 / 16)] |=
            static_cast<std::uint16_t>(~_mm_movemask_epi8(_mm_cmpeq_epi8(rowsAny, zero)));
      }
      for (; inked; inked &= inked - 1) {
        const int c = std::countr_zero(inked);
        __m128i v = x[c];
        BYTE* line = strip_.data() + static_cast<std::size_t>((g + c) * 8) * lineBytes + at;
        if (second) {
          for (int b = 0; b < 8; ++b, line += lineBytes) {
            const auto two = static_cast<std::uint16_t>(_mm_movemask_epi8(v));  // little-endian: low byte first
            std::memcpy(line, &two, 2);
            v = _mm_add_epi8(v, v);
          }
        } else {
          for (int b = 0; b < 8; ++b, line += lineBytes) {
            line[0] = static_cast<BYTE>(_mm_movemask_epi8(v));
            v = _mm_add_epi8(v, v);
          }
        }
      }
    }
  }
#else
  BYTE rows[8][16];
  for (LONG g = 0; g < byteCount; g += 16) {
    const LONG columns = std::min<LONG>(16, byteCount - g);
    for (LONG j0 = 0; j0 < count_; j0 += 8) {
      for (int t = 0; t < 8; ++t) {
        load(j0 + t, g, rows[t]);
        if (white) InvertBytes(rows[t], 16);
      }
      for (LONG c = 0; c < columns; ++c) {
        std::uint64_t x = 0;
        for (int t = 0; t < 8; ++t) x |= static_cast<std::uint64_t>(rows[t][c]) << (8 * (7 - t));
        if (!x) continue;
        clear();
        std::uint64_t f = x | (x >> 32);
        f |= f >> 16;
        stripInk_[g + c] |= static_cast<BYTE>(f | (f >> 8));
        if (trackRows)
          for (int t = 0; t < 8; ++t)
            if (rows[t][c]) rowInk_[static_cast<std::size_t>((j0 + t) / 16)] |= static_cast<std::uint16_t>(RowInkBit(j0 + t));
        x = Transpose8(x);
        for (int m = 0; m < 8; ++m)
          strip_[static_cast<std::size_t>((g + c) * 8 + m) * lineBytes + static_cast<std::size_t>(j0 / 8)] = static_cast<BYTE>(x >> (8 * (7 - m)));
      }
    }
  }
#endif
#if defined(__SSE2__) && !defined(SHEET_KERNELS_SCALAR)
  const bool gatherWhitened = whiteOneAllowed_;
#else
  const bool gatherWhitened = false;
#endif
  if (trackRows && first + kStripColumns >= width_) {
    // Past a cut width the strips stop short of the row's end.
    const LONG covered = byte0 + byteCount;
    for (LONG j = 0; j < count_; ++j) {
      if (!gatherWhitened && (rowInk_[static_cast<std::size_t>(j / 16)] & RowInkBit(j))) continue;
      const LONG y = count_ - 1 - j;
      if (covered >= plane_.stride || RowIsWhite(plane_.Row(y) + covered, (plane_.stride - covered) * 8))
        whiteRows_[static_cast<std::size_t>(firstRow_ + y)] = 1;
    }
  }
}

void PrepareHalveWidth(BYTE* line, std::size_t n) {
  bool carry = false;
  BYTE previous = 0;  // already rewritten
  for (std::size_t i = 0; i < n; ++i) {
    const BYTE current = line[i];
    const BYTE next = i + 1 < n ? line[i + 1] : 0;
    if (current == 0x00) carry = false;
    if (current == 0x00 || current == 0xFF) {
      previous = current;
      continue;
    }
    BYTE out = 0;
    int p = previous & 1;
    for (int pair = 0; pair < 4; ++pair) {
      const int shift = 6 - 2 * pair;
      const int l = (current >> (shift + 1)) & 1;
      const int r = (current >> shift) & 1;
      int m1, m2;
      if (pair < 3) {
        m1 = (current >> (shift - 1)) & 1;
        m2 = (current >> (shift - 2)) & 1;
      } else {
        m1 = (next >> 7) & 1;
        m2 = (next >> 6) & 1;
      }
      int value;
      if (carry) {
        value = 1;
        carry = false;
      } else if (l == r) {
        value = l;
      } else {
        const int s = 1 + m1 + m2 + 2 * p;
        if (s == 5)
          value = 0;
        else if (s == 1)
          value = 1;
        else if (s == 3)
          value = p == 1 ? 1 : l;
        else if (l == 0 && r == 1 && m1 == 1 && m2 == 0) {
          value = 0;
          carry = true;
        } else {
          value = (pair == 0 || pair == 2) ? 1 : 0;
        }
      }
      if (value) out |= static_cast<BYTE>(3 << shift);
      p = value;
    }
    line[i] = out;
    previous = out;
  }
}

void HalveWidth(BYTE* line, std::size_t n) {
  auto pick = [](BYTE b) {
    return static_cast<BYTE>(((b >> 4) & 0x08) | ((b >> 3) & 0x04) | ((b >> 2) & 0x02) | ((b >> 1) & 0x01));
  };
  const std::size_t half = (n + 1) / 2;
  for (std::size_t i = 0; i < half; ++i) {
    const BYTE a = line[2 * i];
    const BYTE b = 2 * i + 1 < n ? line[2 * i + 1] : 0;
    line[i] = static_cast<BYTE>((pick(a) << 4) | pick(b));
  }
  std::memset(line + half, 0, n - half);
}

DWORD ClockSeconds(WORD minute, WORD second) { return static_cast<DWORD>(minute) * 60 + second; }

}  // namespace render
