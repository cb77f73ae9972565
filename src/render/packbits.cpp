#include "render/packbits.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Lines are scanned eight bytes at a time; a little-endian host lets the
// lowest differing byte of a word be found with a trailing-zero count.
constexpr bool kWordScan = std::endian::native == std::endian::little;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighs = 0x8080808080808080ull;

inline std::uint64_t Load8(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

// Index of the lowest non-zero byte of a non-zero word.
inline std::size_t LowestSetByte(std::uint64_t v) { return static_cast<std::size_t>(std::countr_zero(v)) >> 3; }

// Index of the lowest zero byte of v, or 8. The borrow of the classic test
// only flags bytes above a true zero byte, so the lowest flag is exact.
inline std::size_t LowestZeroByte(std::uint64_t v) {
  const std::uint64_t m = (v - kOnes) & ~v & kHighs;
  return m ? LowestSetByte(m) : 8;
}

// Lines given with white = 1 are packed as their complement: Flip is then
// 0xFF, XORed into every byte read for the output.
template <std::uint8_t Flip>
inline std::uint8_t Ink(std::uint8_t b) {
  return static_cast<std::uint8_t>(b ^ Flip);
}

// Length of the line without its trailing blank bytes.
template <std::uint8_t Flip>
std::size_t TrimmedLength(const std::uint8_t* p, std::size_t n) {
  if constexpr (kWordScan) {
    constexpr std::uint64_t flip = Flip * kOnes;
    // Blank stretches are skipped 32 bytes at a time.
    while (n >= 32 && ((Load8(p + n - 8) ^ flip) | (Load8(p + n - 16) ^ flip) | (Load8(p + n - 24) ^ flip) |
                       (Load8(p + n - 32) ^ flip)) == 0)
      n -= 32;
    while (n >= 8) {
      const std::uint64_t v = Load8(p + n - 8) ^ flip;
      if (v != 0) return n - (static_cast<std::size_t>(std::countl_zero(v)) >> 3);
      n -= 8;
    }
  }
  while (n > 0 && Ink<Flip>(p[n - 1]) == 0) --n;
  return n;
}

template <std::uint8_t Flip>
inline void CopyInk(std::uint8_t* to, const std::uint8_t* from, std::size_t n) {
  if constexpr (Flip == 0) {
    std::memcpy(to, from, n);
  } else {
    for (std::size_t k = 0; k < n; ++k) to[k] = Ink<Flip>(from[k]);
  }
}

// Number of bytes equal to p[0] from p on, at most limit (limit >= 1).
std::size_t RunLength(const std::uint8_t* p, std::size_t limit) {
  std::size_t i = 1;
  if constexpr (kWordScan) {
    const std::uint64_t pattern = p[0] * kOnes;
    while (i + 8 <= limit) {
      const std::uint64_t diff = Load8(p + i) ^ pattern;
      if (diff != 0) return i + LowestSetByte(diff);
      i += 8;
    }
  }
  while (i < limit && p[i] == p[0]) ++i;
  return i;
}

// First position q in 1..limit - 1 where p[q] = p[q + 1], else limit. Reads
// p[0..limit] only.
std::size_t LiteralLength(const std::uint8_t* p, std::size_t limit) {
  std::size_t q = 1;
  if constexpr (kWordScan) {
    while (q + 8 <= limit) {
      const std::size_t k = LowestZeroByte(Load8(p + q) ^ Load8(p + q + 1));
      if (k < 8) return q + k;
      q += 8;
    }
  }
  while (q < limit && p[q] != p[q + 1]) ++q;
  return q;
}

#if defined(__SSE2__)
// Lines up to this length are encoded from a bit map of equal neighbours.
constexpr std::size_t kMapBytes = 16384;
constexpr std::size_t kMapWords = kMapBytes / 64 + 2;

// Bit k of eq is set when p[k] = p[k + 1], for k + 1 < n; every later bit is 0.
void MapEqualNeighbours(const std::uint8_t* p, std::size_t n, std::uint64_t* eq) {
  std::size_t word = 0;
  std::size_t i = 0;
  while (i + 64 < n) {  // loads reach p[i + 64]
    std::uint64_t bits = 0;
    for (int k = 0; k < 4; ++k) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 16 * k + 1));
      bits |= std::uint64_t(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, b)))) << (16 * k);
    }
    eq[word++] = bits;
    i += 64;
  }
  std::uint64_t bits = 0;
  for (std::size_t k = 0; i + k + 1 < n; ++k) bits |= std::uint64_t(p[i + k] == p[i + k + 1]) << k;
  eq[word++] = bits;
  eq[word++] = 0;
  eq[word] = 0;
}

// 64 bits of the map from bit i on.
inline std::uint64_t MapAt(const std::uint64_t* eq, std::size_t i) {
  const std::size_t w = i >> 6;
  const unsigned s = i & 63;
  return s == 0 ? eq[w] : (eq[w] >> s) | (eq[w + 1] << (64 - s));
}

// Where pieces begin, for the 64 bytes of map word w: a run begins at the
// first of a stretch of equal neighbours, and the byte after a run's last one
// begins the next piece. Between these, pieces follow without a limit or the
// end of the line cutting them. Bit 0 of the line is left out.
inline std::uint64_t StartsAt(const std::uint64_t* eq, std::size_t w) {
  const std::uint64_t e = eq[w];
  const std::uint64_t before = w == 0 ? 0 : eq[w - 1];
  const std::uint64_t e1 = (e << 1) | (before >> 63);  // bit k: p[k - 1] = p[k]
  const std::uint64_t e2 = (e << 2) | (before >> 62);  // bit k: p[k - 2] = p[k - 1]
  return ~e1 & (e | e2);
}

// One piece from i, with every limit applied; returns the bytes taken.
template <std::uint8_t Flip>
inline std::size_t PackOne(const std::uint8_t* p, std::size_t n, std::size_t i, const std::uint64_t* eq,
                           std::uint8_t*& o) {
  const std::size_t left = n - i;
  std::uint64_t m = MapAt(eq, i);
  if (m & 1) {
    // Run: equal neighbours from i on, plus one.
    std::size_t r = static_cast<std::size_t>(std::countr_one(m));
    if (r == 64) r += static_cast<std::size_t>(std::countr_one(MapAt(eq, i + 64)));
    r = std::min(r + 1, std::min<std::size_t>(left - 2, 128));
    *o++ = static_cast<std::uint8_t>(1 - static_cast<int>(r));
    *o++ = Ink<Flip>(p[i]);
    return r;
  }
  // Literal up to the next pair of equal neighbours.
  m &= ~std::uint64_t(1);
  std::size_t j = m ? static_cast<std::size_t>(std::countr_zero(m)) : 64;
  if (j == 64) {
    const std::uint64_t m2 = MapAt(eq, i + 64);
    j += m2 ? static_cast<std::size_t>(std::countr_zero(m2)) : 64;
  }
  j = std::min(j, std::min<std::size_t>(left - 2, 127));
  *o++ = static_cast<std::uint8_t>(j - 1);
  CopyInk<Flip>(o, p + i, j);
  o += j;
  return j;
}

// Copies 16 bytes at a time, at least 16 and at most len + 15.
template <std::uint8_t Flip>
inline void CopyBlocks(std::uint8_t* to, const std::uint8_t* from, std::size_t len) {
  const __m128i flip = _mm_set1_epi8(static_cast<char>(Flip));
  auto block = [&](std::size_t k) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + k));
    if constexpr (Flip != 0) v = _mm_xor_si128(v, flip);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(to + k), v);
  };
  block(0);
  for (std::size_t k = 16; k < len; k += 16) block(k);
}

template <std::uint8_t Flip>
std::size_t PackMapped(const std::uint8_t* p, std::size_t n, std::uint8_t* out) {
  std::uint64_t eq[kMapWords];
  MapEqualNeighbours(p, n, eq);
  std::uint8_t* o = out;
  std::size_t i = 0;
  // Pieces ending at most 16 bytes before the end are taken from the map of
  // piece starts, one set bit each, without a chain of dependent loads; whole
  // 16-byte copies then stay inside the line and, as no piece costs more than
  // twice its bytes, inside the output.
  if (n >= 48) {
    const std::size_t last = n - 16;
    const std::size_t lastWord = last >> 6;
    const std::uint64_t lastMask = ~std::uint64_t(0) >> (63 - (last & 63));
    // starts: piece starts after i in word w (none past last); runs: those
    // that begin a run; run: whether the piece at i is one.
    std::size_t w = 0;
    std::size_t base = 0;  // w * 64
    std::uint64_t starts = 0;
    std::uint64_t runs = 0;
    auto load = [&](std::uint64_t after) {
      base = w << 6;
      starts = StartsAt(eq, w) & after;
      if (w == lastWord) starts &= lastMask;
      runs = starts & eq[w];
    };
    load(~std::uint64_t(1));
    std::size_t run = static_cast<std::size_t>(eq[0] & 1);
    for (;;) {
      if (starts == 0) {
        if (++w > lastWord) break;
        load(~std::uint64_t(0));
        continue;
      }
      const auto bit = static_cast<unsigned>(std::countr_zero(starts));
      const std::size_t next = base + bit;
      const std::size_t len = next - i;
      if (len > 127 && !(run && len == 128)) [[unlikely]] {
        // Too long for one header: take limited pieces until one ends where
        // the map has a start again.
        do {
          i += PackOne<Flip>(p, n, i, eq, o);
        } while (i <= last && !((StartsAt(eq, i >> 6) >> (i & 63)) & 1));
        if (i > last) break;
        w = i >> 6;
        load((~std::uint64_t(0) << (i & 63)) << 1);
        run = static_cast<std::size_t>((eq[w] >> (i & 63)) & 1);
        continue;
      }
      starts &= starts - 1;
      const std::size_t nextRun = static_cast<std::size_t>((runs >> bit) & 1);
      // Header: len - 1 for a literal, 1 - len for a run; a run sends one byte.
      const std::size_t runMask = std::size_t(0) - run;
      o[0] = static_cast<std::uint8_t>(((len - 1) ^ runMask) + run);
      const std::size_t payload = len ^ ((len ^ 1) & runMask);
      CopyBlocks<Flip>(o + 1, p + i, payload);
      o += 1 + payload;
      i = next;
      run = nextRun;
    }
  }
  while (n - i >= 3) i += PackOne<Flip>(p, n, i, eq, o);
  const std::size_t rest = n - i;
  *o++ = static_cast<std::uint8_t>(rest - 1);
  CopyInk<Flip>(o, p + i, rest);
  o += rest;
  return static_cast<std::size_t>(o - out);
}
#endif

// Plain word-scanning encoder, for long lines and hosts without SSE2.
template <std::uint8_t Flip>
std::size_t PackScanned(const std::uint8_t* p, std::size_t n, std::uint8_t* out) {
  std::uint8_t* o = out;
  while (n >= 3) {
    if (p[0] == p[1]) {
      const std::size_t r = RunLength(p, std::min<std::size_t>(n - 2, 128));
      *o++ = static_cast<std::uint8_t>(1 - static_cast<int>(r));  // r = 1 gives 0x00, a one-byte literal
      *o++ = Ink<Flip>(p[0]);
      p += r;
      n -= r;
    } else {
      const std::size_t j = LiteralLength(p, std::min<std::size_t>(n - 2, 127));
      *o++ = static_cast<std::uint8_t>(j - 1);
      CopyInk<Flip>(o, p, j);
      o += j;
      p += j;
      n -= j;
    }
  }
  *o++ = static_cast<std::uint8_t>(n - 1);
  CopyInk<Flip>(o, p, n);
  o += n;
  return static_cast<std::size_t>(o - out);
}

template <std::uint8_t Flip>
std::size_t Pack(std::span<const std::uint8_t> line, std::span<std::uint8_t> out, std::int16_t& mode) {
  if (out.size() < PackBitsBound(line.size())) {
    mode = -1;
    return 0;
  }
  const std::size_t n = TrimmedLength<Flip>(line.data(), line.size());
  if (n == 0) return 0;
  mode = kPackBitsMode;
  // Neither a run nor a literal takes the last two bytes, so the line always
  // ends with a short literal of one or two bytes.
#if defined(__SSE2__)
  if (n <= kMapBytes) return PackMapped<Flip>(line.data(), n, out.data());
#endif
  return PackScanned<Flip>(line.data(), n, out.data());
}

}  // namespace

std::size_t PackBitsLine(std::span<const std::uint8_t> line, std::span<std::uint8_t> out, std::int16_t& mode) {
  return Pack<0x00>(line, out, mode);
}

std::size_t PackBitsLineWhiteOne(std::span<const std::uint8_t> line, std::span<std::uint8_t> out, std::int16_t& mode) {
  return Pack<0xFF>(line, out, mode);
}
