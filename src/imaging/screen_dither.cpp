#include "imaging/screen_dither.h"

#include <algorithm>
#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "imaging/sampling.h"

namespace imaging {

namespace {

constexpr int kChunk = 64;  // pixels per step of the plain dither

constexpr std::array<BYTE, 256> MakeReverse() {
  std::array<BYTE, 256> t{};
  for (int v = 0; v < 256; ++v) {
    int r = 0;
    for (int b = 0; b < 8; ++b)
      if (v & (1 << b)) r |= 0x80 >> b;
    t[v] = static_cast<BYTE>(r);
  }
  return t;
}
constexpr std::array<BYTE, 256> kReverse = MakeReverse();

// 64 white decisions (density <= threshold) packed as 8 plane bytes.
inline void PackWhite(const BYTE* density, const BYTE* threshold, BYTE* out) {
#if defined(__SSE2__)
  for (int i = 0; i < kChunk; i += 16) {
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(density + i));
    const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(threshold + i));
    const unsigned m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, t), d)));
    out[i / 8] = kReverse[m & 0xFF];
    out[i / 8 + 1] = kReverse[m >> 8];
  }
#else
  for (int i = 0; i < kChunk; i += 8) {
    unsigned b = 0;
    for (int k = 0; k < 8; ++k) b = (b << 1) | (density[i + k] <= threshold[i + k] ? 1u : 0u);
    out[i / 8] = static_cast<BYTE>(b);
  }
#endif
}

// count thresholds of a tile row from column phase on, wrapping.
inline void TileRun(const BYTE* tileRow, LONG side, LONG phase, BYTE* out, int count) {
  while (count > 0) {
    const int run = static_cast<int>(std::min<LONG>(count, side - phase));
    std::memcpy(out, tileRow + phase, static_cast<size_t>(run));
    out += run;
    count -= run;
    phase = 0;
  }
}

// Writes n plane bytes from byte index first of a row: the first keeps the
// bits left of pixel xa.
inline void StoreBytes(BYTE* row, LONG first, const BYTE* bytes, int n, LONG xa) {
  int i = 0;
  if (first == xa / 8 && (xa & 7)) {
    const BYTE keep = static_cast<BYTE>(0xFF00 >> (xa & 7));
    row[first] = static_cast<BYTE>((row[first] & keep) | (bytes[0] & ~keep));
    i = 1;
  }
  std::memcpy(row + first + i, bytes + i, static_cast<size_t>(n - i));
}

// Assembles one row's bits pixel by pixel from xa to xb.
class BitRow {
 public:
  BitRow(BYTE* row, LONG xa) : row_(row), x_(xa), byte_(xa / 8) {
    const int lead = xa & 7;
    acc_ = lead ? static_cast<unsigned>(row[byte_] >> (8 - lead)) : 0u;
    filled_ = lead;
  }
  void Put(bool white) {
    acc_ = (acc_ << 1) | (white ? 1u : 0u);
    if (++filled_ == 8) {
      row_[byte_++] = static_cast<BYTE>(acc_);
      acc_ = 0;
      filled_ = 0;
    }
    ++x_;
  }
  // Pads the last byte with white.
  void Finish() {
    if (filled_) row_[byte_] = static_cast<BYTE>((acc_ << (8 - filled_)) | (0xFFu >> filled_));
  }

 private:
  BYTE* row_;
  LONG x_;
  LONG byte_;
  unsigned acc_;
  int filled_;
};

inline LONG Wrap(std::int64_t v, LONG n) {
  const LONG r = static_cast<LONG>(v % n);
  return r < 0 ? r + n : r;
}

bool Usable(const DensityImage& src, const BandBuffer& band, const ScreenTile& tile) {
  return src.data && src.width > 0 && src.height > 0 && src.stride >= src.width && band.bits && band.stride > 0 &&
         band.rows > 0 && tile.data && tile.side > 0;
}

}  // namespace

BOOL DitherScreenPlain(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile) {
  if (!Usable(src, band, tile)) return TRUE;
  const TargetSpan cols = SpanOf(target.left, target.right, band.stride * 8LL);
  const TargetSpan rows = SpanOf(target.top, target.bottom, band.rows);
  if (cols.empty() || rows.empty()) return TRUE;
  const Sampler colSample(src.width, cols.size);
  const Sampler rowSample(src.height, rows.size);
  const bool sameWidth = src.width == cols.size;
  const LONG n = tile.side;
  BYTE density[kChunk], threshold[kChunk], bytes[kChunk / 8];
  for (LONG y = rows.first; y <= rows.last; ++y) {
    const BYTE* srcRow = src.Row(rowSample.At(y - target.top));
    const BYTE* tileRow = tile.data + static_cast<std::ptrdiff_t>(Wrap(std::int64_t{band.origin.y} + y, n)) * n;
    BYTE* out = band.bits + static_cast<std::ptrdiff_t>(y) * band.stride;
    const LONG xa = cols.first, xb = cols.last;
    LONG phase = Wrap(std::int64_t{band.origin.x} + (xa & ~7), n);
    SampleWalker walk = colSample.Walk(xa - target.left);
    for (LONG p0 = xa & ~7; p0 <= xb; p0 += kChunk) {
      const int count = static_cast<int>(std::min<LONG>(kChunk, xb - p0 + 1 + 7) & ~7);
      TileRun(tileRow, n, phase, threshold, kChunk);
      phase = static_cast<LONG>((phase + kChunk) % n);
      const LONG from = std::max(p0, xa), to = std::min<LONG>(p0 + kChunk - 1, xb);
      std::memset(density, 0, sizeof density);
      if (sameWidth) {
        std::memcpy(density + (from - p0), srcRow + (from - target.left), static_cast<size_t>(to - from + 1));
      } else {
        for (LONG x = from; x <= to; ++x) density[x - p0] = srcRow[walk.Next()];
      }
      PackWhite(density, threshold, bytes);
      StoreBytes(out, p0 / 8, bytes, count / 8, xa);
    }
  }
  return TRUE;
}

BOOL DitherScreenSmooth(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile) {
  if (!Usable(src, band, tile)) return TRUE;
  const TargetSpan cols = SpanOf(target.left, target.right, band.stride * 8LL);
  const TargetSpan rows = SpanOf(target.top, target.bottom, band.rows);
  if (cols.empty() || rows.empty()) return TRUE;
  const Sampler colSample(src.width, cols.size);
  const Sampler rowSample(src.height, rows.size);
  const LONG n = tile.side;
  const LONG lastK = cols.size - 1;
  for (LONG y = rows.first; y <= rows.last; ++y) {
    const BYTE* srcRow = src.Row(rowSample.At(y - target.top));
    const BYTE* tileRow = tile.data + static_cast<std::ptrdiff_t>(Wrap(std::int64_t{band.origin.y} + y, n)) * n;
    BitRow out(band.bits + static_cast<std::ptrdiff_t>(y) * band.stride, cols.first);
    for (LONG x = cols.first; x <= cols.last; ++x) {
      const LONG k = x - target.left;
      const std::int64_t X = std::int64_t{band.origin.x} + x;
      const LONG tx = Wrap(X, n);
      int t = tileRow[tx], d = srcRow[colSample.At(k)];
      if ((X & 1) == 0 && k < lastK) {
        t = (t + tileRow[tx + 1 == n ? 0 : tx + 1]) / 2;
        d = (d + srcRow[colSample.At(k + 1)]) / 2;
      } else if ((X & 1) != 0 && k > 0) {
        t = (t + tileRow[tx == 0 ? n - 1 : tx - 1]) / 2;
        d = (d + srcRow[colSample.At(k - 1)]) / 2;
      }
      out.Put(!(t < d));
    }
    out.Finish();
  }
  return TRUE;
}

BOOL DitherScreenInterlaced(const DensityImage& src, const BandBuffer& band, const PdevRect& target, const ScreenTile& tile,
                            LONG pageHeight, int carryKind) {
  if (!Usable(src, band, tile)) return TRUE;
  const TargetSpan cols = SpanOf(target.left, target.right, band.stride * 8LL);
  const TargetSpan rows = SpanOf(target.top, target.bottom, band.rows);
  if (cols.empty() || rows.empty()) return TRUE;
  const Sampler colSample(src.width, cols.size);
  const Sampler rowSample(src.height, rows.size);
  const LONG n = tile.side;
  const LONG p = pageHeight & 1;
  const LONG lastJ = rows.size - 1;
  for (LONG y = rows.first; y <= rows.last; ++y) {
    const LONG j = y - target.top;
    const std::int64_t Y = p + std::int64_t{band.origin.y} + y;
    const bool odd = (Y & 1) != 0;
    const BYTE* ownSrc = src.Row(rowSample.At(j));
    const BYTE* ownTile = tile.data + static_cast<std::ptrdiff_t>(Wrap(Y, n)) * n;
    const BYTE* pairSrc = nullptr;
    const BYTE* pairTile = nullptr;
    if (!odd && j < lastJ) {
      pairSrc = src.Row(rowSample.At(j + 1));
      pairTile = tile.data + static_cast<std::ptrdiff_t>(Wrap(Y + 1, n)) * n;
    } else if (odd) {
      const LONG above = j > 0 ? rowSample.At(j - 1) : std::max<LONG>(rowSample.At(0) - 1, 0);
      pairSrc = src.Row(above);
      pairTile = tile.data + static_cast<std::ptrdiff_t>(Wrap(Y - 1, n)) * n;
    }
    BYTE* outRow = band.bits + static_cast<std::ptrdiff_t>(y) * band.stride;
    BitRow out(outRow, cols.first);
    for (LONG x = cols.first; x <= cols.last; ++x) {
      const LONG k = colSample.At(x - target.left);
      const LONG tx = Wrap(std::int64_t{band.origin.x} + x, n);
      int t = ownTile[tx], d = ownSrc[k];
      if (pairSrc) {
        t = (t + pairTile[tx]) / 2;
        d = (d + pairSrc[k]) / 2;
      }
      out.Put(!(t < d));
    }
    out.Finish();
    // An image continued from the band above completes the pair it started.
    if (odd && j == 0 && y == target.top && y > 0 && carryKind != 0) {
      BYTE* above = outRow - band.stride;
      const LONG first = cols.first / 8, last = cols.last / 8;
      const BYTE keep = static_cast<BYTE>(0xFF00 >> (cols.first & 7));
      above[first] = static_cast<BYTE>((above[first] & keep) | (outRow[first] & ~keep));
      std::memcpy(above + first + 1, outRow + first + 1, static_cast<size_t>(last - first));
    }
  }
  return TRUE;
}

BOOL DitherByScreen(const DitherContext& context, const DensityImage& src, const BandBuffer& band, const PdevRect& target,
                    const ScreenTile& tile) {
  switch (context.resolutionMode) {
    case 0:
    case 1:
      return DitherScreenPlain(src, band, target, tile);
    case 2:
      if (context.ontoMask)
        return DitherScreenPlain(src, band, target, tile);
      if (context.orientation == 90)
        return DitherScreenInterlaced(src, band, target, tile, context.pageHeight, context.carryKind);
      return DitherScreenSmooth(src, band, target, tile);
    default:
      return FALSE;
  }
}

}  // namespace imaging
