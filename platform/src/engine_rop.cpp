// The engine's ternary raster operations on bitmap surfaces: every ROP3 is
// applied bit by bit to the blue, green and red bytes of pattern, source and
// destination, a row at a time.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "engine_pixels.h"
#include "plat/engine_blit.h"

namespace {

using namespace plat::engine::pixels;

constexpr ULONG kRopSrcCopy = 0xCC;
constexpr ULONG kRopDest = 0xAA;

// What a ROP3 reads: its result differs with the pattern, the source or the
// destination bit.
bool ReadsPattern(ULONG rop3) { return ((rop3 >> 4) & 0x0F) != (rop3 & 0x0F); }
bool ReadsSource(ULONG rop3) { return ((rop3 >> 2) & 0x33) != (rop3 & 0x33); }

// Result bits of ROP3 R: bit (P << 2 | S << 1 | D) of R for each bit position,
// eight bytes a step.
template <unsigned R, typename Word>
Word RopWord(Word P, Word S, Word D) {
  Word out = 0;
  if (R & 0x01) out |= ~P & ~S & ~D;
  if (R & 0x02) out |= ~P & ~S & D;
  if (R & 0x04) out |= ~P & S & ~D;
  if (R & 0x08) out |= ~P & S & D;
  if (R & 0x10) out |= P & ~S & ~D;
  if (R & 0x20) out |= P & ~S & D;
  if (R & 0x40) out |= P & S & ~D;
  if (R & 0x80) out |= P & S & D;
  return out;
}

template <unsigned R>
void RopRow(const BYTE* p, const BYTE* s, BYTE* d, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t P, S, D;
    std::memcpy(&P, p + i, 8), std::memcpy(&S, s + i, 8), std::memcpy(&D, d + i, 8);
    D = RopWord<R>(P, S, D);
    std::memcpy(d + i, &D, 8);
  }
  for (; i < n; ++i) d[i] = static_cast<BYTE>(RopWord<R, unsigned>(p[i], s[i], d[i]));
}

using RopFn = void (*)(const BYTE*, const BYTE*, BYTE*, std::size_t);
template <std::size_t... I>
constexpr std::array<RopFn, 256> MakeRops(std::index_sequence<I...>) {
  return {&RopRow<I>...};
}
constexpr std::array<RopFn, 256> kRops = MakeRops(std::make_index_sequence<256>{});

bool MaskBit(const SURFOBJ* mask, LONG x, LONG y) {
  return (RowOf(mask, y)[x / 8] >> (7 - x % 8)) & 1;
}

}  // namespace

extern "C" {

PLATAPI BOOL EngBitBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                       RECTL* prclTrg, POINTL* pptlSrc, POINTL* pptlMask, BRUSHOBJ* pbo, POINTL* pptlBrush,
                       ROP4 rop4) {
  const ULONG fore = rop4 & 0xFF;
  const ULONG back = psoMask ? (rop4 >> 8) & 0xFF : fore;
  const bool usesSource = ReadsSource(fore) || ReadsSource(back);
  const bool usesPattern = ReadsPattern(fore) || ReadsPattern(back);
  const bool masked = fore != back;
  if (!HasBits(psoTrg) || !prclTrg || (usesSource && !HasBits(psoSrc)) || (usesPattern && !pbo) ||
      (masked && (!HasBits(psoMask) || psoMask->iBitmapFormat != BMF_1BPP))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!masked && fore == kRopDest) return TRUE;
  const RECTL target = Ordered(*prclTrg);
  const POINTL srcAt = pptlSrc ? *pptlSrc : POINTL{0, 0};
  const POINTL maskAt = pptlMask ? *pptlMask : POINTL{0, 0};
  if (!masked && fore == kRopSrcCopy) {
    RECTL copyTo = target;
    POINTL from = srcAt;
    return EngCopyBits(psoTrg, psoSrc, pco, pxlo, &copyTo, &from);
  }
  RECTL bounds = target;
  if (usesSource)
    bounds = Meet(bounds, RECTL{target.left - srcAt.x, target.top - srcAt.y,
                                target.left - srcAt.x + psoSrc->sizlBitmap.cx,
                                target.top - srcAt.y + psoSrc->sizlBitmap.cy});
  if (masked)
    bounds = Meet(bounds, RECTL{target.left - maskAt.x, target.top - maskAt.y,
                                target.left - maskAt.x + psoMask->sizlBitmap.cx,
                                target.top - maskAt.y + psoMask->sizlBitmap.cy});
  BrushRow brush;
  if (usesPattern) BrushRowOf(pbo, brush);
  const POINTL brushAt = pptlBrush ? *pptlBrush : POINTL{0, 0};
  // A source on the destination's bits is read before the rows are written.
  const bool overlap = usesSource && psoSrc->pvScan0 == psoTrg->pvScan0;
  std::vector<BYTE> patternRows, s, d, other, saved;
  const LONG patternHeight = usesPattern && !brush.solid ? brush.height : 1;
  // Rows are combined in the destination's byte order.
  const bool deep = psoTrg->iBitmapFormat == BMF_24BPP;
  const bool swap = deep && RedFirst(psoTrg);
  const bool sourceInPlace = usesSource && psoSrc->iBitmapFormat == BMF_24BPP && RedFirst(psoSrc) == swap;
  for (const RECTL& r : ClipRectsIn(pco, psoTrg, bounds)) {
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    const std::size_t n = 3 * static_cast<std::size_t>(w);
    s.assign(n, 0), d.resize(n), other.resize(n);
    // The brush's rows across the rectangle, made once.
    patternRows.assign(n * patternHeight, 0);
    if (usesPattern)
      for (LONG i = 0; i < patternHeight; ++i) {
        brush.Fill(r.left, brushAt.y + i, w, brushAt, patternRows.data() + n * i);
        if (swap) SwapRedBlue(patternRows.data() + n * i, w);
      }
    const LONG sx = srcAt.x + (r.left - target.left), sy = srcAt.y + (r.top - target.top);
    if (overlap) {
      saved.resize(n * h);
      for (LONG y = 0; y < h; ++y) {
        ReadRow24(psoSrc, pxlo, sx, sy + y, w, saved.data() + n * y);
        if (swap) SwapRedBlue(saved.data() + n * y, w);
      }
    }
    for (LONG y = r.top; y < r.bottom; ++y) {
      const BYTE* pat = patternRows.data() + n * (((y - brushAt.y) % patternHeight + patternHeight) % patternHeight);
      const BYTE* src = s.data();
      if (overlap)
        src = saved.data() + n * (y - r.top);
      else if (sourceInPlace)
        src = RowOf(psoSrc, sy + (y - r.top)) + 3 * static_cast<std::ptrdiff_t>(sx);
      else if (usesSource) {
        ReadRow24(psoSrc, pxlo, sx, sy + (y - r.top), w, s.data());
        if (swap) SwapRedBlue(s.data(), w);
      }
      BYTE* dst = deep ? RowOf(psoTrg, y) + 3 * static_cast<std::ptrdiff_t>(r.left) : d.data();
      if (dst == d.data()) ReadRow24(psoTrg, nullptr, r.left, y, w, d.data());
      if (masked) {
        std::memcpy(other.data(), dst, n);
        kRops[back](pat, src, other.data(), n);
        kRops[fore](pat, src, dst, n);
        const LONG mx = maskAt.x + (r.left - target.left), my = maskAt.y + (y - target.top);
        for (LONG x = 0; x < w; ++x)
          if (!MaskBit(psoMask, mx + x, my)) std::memcpy(dst + 3 * x, other.data() + 3 * x, 3);
      } else {
        kRops[fore](pat, src, dst, n);
      }
      if (dst == d.data()) WriteRow24(psoTrg, r.left, y, w, d.data());
    }
  }
  ++psoTrg->iUniq;
  return TRUE;
}

PLATAPI BOOL EngStretchBltROP(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                              COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                              POINTL* pptlMask, ULONG iMode, BRUSHOBJ* pbo, DWORD rop4) {
  if (!HasBits(psoDest) || !prclDest) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const ULONG fore = rop4 & 0xFF, back = psoMask ? (rop4 >> 8) & 0xFF : fore;
  if (!ReadsSource(fore) && !ReadsSource(back)) {
    RECTL target = Ordered(*prclDest);
    return EngBitBlt(psoDest, nullptr, psoMask, pco, nullptr, &target, nullptr, pptlMask, pbo, pptlHTOrg, rop4);
  }
  if (!HasBits(psoSrc) || !prclSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // The source stretched to the destination's size, then combined.
  const RECTL target = Ordered(*prclDest);
  const LONG w = target.right - target.left, h = target.bottom - target.top;
  if (w <= 0 || h <= 0) return TRUE;
  SIZEL size{w, h};
  HBITMAP temp = EngCreateBitmap(size, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  SURFOBJ* stretched = temp ? EngLockSurface(reinterpret_cast<HSURF>(temp)) : nullptr;
  if (!stretched) {
    if (temp) EngDeleteSurface(reinterpret_cast<HSURF>(temp));
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  // Mirroring moves from the destination rectangle to the stretch.
  RECTL into{0, 0, w, h};
  if (prclDest->right < prclDest->left) std::swap(into.left, into.right);
  if (prclDest->bottom < prclDest->top) std::swap(into.top, into.bottom);
  RECTL from = *prclSrc;
  BOOL ok = EngStretchBlt(stretched, psoSrc, nullptr, nullptr, pxlo, pca, nullptr, &into, &from, nullptr, iMode);
  if (ok) {
    RECTL to = target;
    POINTL origin{0, 0};
    ok = EngBitBlt(psoDest, stretched, psoMask, pco, nullptr, &to, &origin, pptlMask, pbo, pptlHTOrg, rop4);
  }
  EngUnlockSurface(stretched);
  EngDeleteSurface(reinterpret_cast<HSURF>(temp));
  return ok;
}

}  // extern "C"
