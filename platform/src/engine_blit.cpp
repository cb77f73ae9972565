// The engine's copies and stretches on bitmap surfaces: pixman copies rows
// between surfaces of one deep format, other formats go pixel by pixel.
#include "plat/engine_blit.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine_pixels.h"

namespace {

using namespace plat::engine::pixels;

constexpr int kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

bool SameBits(const SURFOBJ* a, const SURFOBJ* b) { return a->pvScan0 == b->pvScan0; }

// A copy pixman can make: the same 24- or 32-bit format, nothing to translate,
// two surfaces.
bool PixmanCopies(SURFOBJ* dst, SURFOBJ* src) {
  return dst->iBitmapFormat == src->iBitmapFormat &&
         (dst->iBitmapFormat == BMF_24BPP || dst->iBitmapFormat == BMF_32BPP) && !SameBits(dst, src);
}

// Box-filter taps of one destination pixel: the source pixels its footprint
// covers, weighted by the covered length (in 1/count of a source pixel; the
// weights sum to the source length).
struct Tap {
  LONG index;
  std::uint32_t weight;
};
std::vector<Tap> BoxTaps(std::int64_t index, std::int64_t count, LONG srcLow, LONG srcHigh, bool flip) {
  const std::int64_t i = flip ? count - 1 - index : index;
  const std::int64_t length = srcHigh - srcLow;
  const std::int64_t from = i * length, to = (i + 1) * length;  // in 1/count source pixels
  std::vector<Tap> taps;
  for (std::int64_t j = from / count; j * count < to; ++j) {
    const std::int64_t lo = std::max(from, j * count), hi = std::min(to, (j + 1) * count);
    if (hi > lo) taps.push_back(Tap{static_cast<LONG>(srcLow + j), static_cast<std::uint32_t>(hi - lo)});
  }
  return taps;
}

}  // namespace

extern "C" {

PLATAPI BOOL EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                         POINTL* pptlSrc) {
  if (!HasBits(psoDest) || !HasBits(psoSrc) || !prclDest) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const POINTL origin = pptlSrc ? *pptlSrc : POINTL{0, 0};
  // Only pixels with a source pixel are written.
  const RECTL fromSource{prclDest->left - origin.x, prclDest->top - origin.y,
                         prclDest->left - origin.x + psoSrc->sizlBitmap.cx,
                         prclDest->top - origin.y + psoSrc->sizlBitmap.cy};
  const std::vector<RECTL> rects = ClipRectsIn(pco, psoDest, Meet(*prclDest, fromSource));
  pixman_image_t* dst = PixmanCopies(psoDest, psoSrc) ? PixmanView(psoDest) : nullptr;
  pixman_image_t* src = dst ? PixmanView(psoSrc) : nullptr;
  if (dst && src) {
    for (const RECTL& r : rects)
      pixman_image_composite32(PIXMAN_OP_SRC, src, nullptr, dst, origin.x + (r.left - prclDest->left),
                               origin.y + (r.top - prclDest->top), 0, 0, r.left, r.top, r.right - r.left,
                               r.bottom - r.top);
  } else {
    // Rows go through a copy so a source overlapping the destination reads
    // what was there before.
    const bool overlap = SameBits(psoDest, psoSrc);
    const bool srcRedFirst = RedFirst(psoSrc), dstRedFirst = RedFirst(psoDest);
    std::vector<BYTE> saved;
    std::vector<BYTE> row;
    for (const RECTL& r : rects) {
      const LONG w = r.right - r.left, h = r.bottom - r.top;
      const LONG sx = origin.x + (r.left - prclDest->left), sy = origin.y + (r.top - prclDest->top);
      if (overlap) {
        saved.resize(3 * static_cast<std::size_t>(w) * h);
        for (LONG y = 0; y < h; ++y) ReadRow24(psoSrc, pxlo, sx, sy + y, w, saved.data() + 3 * std::size_t(w) * y);
      }
      for (LONG y = 0; y < h; ++y) {
        if (psoDest->iBitmapFormat == BMF_24BPP || overlap) {
          row.resize(3 * static_cast<std::size_t>(w));
          if (overlap)
            std::memcpy(row.data(), saved.data() + 3 * std::size_t(w) * y, row.size());
          else
            ReadRow24(psoSrc, pxlo, sx, sy + y, w, row.data());
          WriteRow24(psoDest, r.left, r.top + y, w, row.data());
          continue;
        }
        for (LONG x = 0; x < w; ++x)
          WriteRgb(psoDest, r.left + x, r.top + y, ReadRgb(psoSrc, pxlo, sx + x, sy + y, srcRedFirst), 128,
                   dstRedFirst);
      }
    }
  }
  if (src) pixman_image_unref(src);
  if (dst) pixman_image_unref(dst);
  ++psoDest->iUniq;
  return TRUE;
}

PLATAPI BOOL EngStretchBlt(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ* pxlo,
                           COLORADJUSTMENT*, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL*,
                           ULONG iMode) {
  if (!HasBits(psoDest) || !HasBits(psoSrc) || !prclDest || !prclSrc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const bool flipX = (prclDest->right < prclDest->left) != (prclSrc->right < prclSrc->left);
  const bool flipY = (prclDest->bottom < prclDest->top) != (prclSrc->bottom < prclSrc->top);
  const RECTL d = Ordered(*prclDest), s = Ordered(*prclSrc);
  if (IsEmpty(d) || IsEmpty(s)) return TRUE;
  const std::int64_t dw = d.right - d.left, dh = d.bottom - d.top;
  const POINTL ht = pptlHTOrg ? *pptlHTOrg : POINTL{0, 0};
  const bool deep = psoDest->iBitmapFormat == BMF_24BPP || psoDest->iBitmapFormat == BMF_32BPP;
  const bool box = iMode == HALFTONE && deep;
  const bool dither = iMode == HALFTONE && psoDest->iBitmapFormat == BMF_1BPP;
  const bool srcRedFirst = RedFirst(psoSrc), dstRedFirst = RedFirst(psoDest);
  auto inSource = [&](LONG x, LONG y) {
    return x >= 0 && y >= 0 && x < psoSrc->sizlBitmap.cx && y < psoSrc->sizlBitmap.cy;
  };
  std::vector<BYTE> row;
  for (const RECTL& r : ClipRectsIn(pco, psoDest, d)) {
    const LONG w = r.right - r.left;
    if (box) {
      // Separable box filter: each source row of the footprint converted
      // once, filtered across, then the rows weighted down. Taps off the
      // source are left out.
      std::vector<std::vector<Tap>> across(w);
      LONG lo = psoSrc->sizlBitmap.cx, hi = 0;
      for (LONG x = 0; x < w; ++x) {
        for (const Tap& t : BoxTaps(r.left + x - d.left, dw, s.left, s.right, flipX))
          if (t.index >= 0 && t.index < psoSrc->sizlBitmap.cx) across[x].push_back(t);
        for (const Tap& t : across[x]) lo = std::min(lo, t.index), hi = std::max(hi, t.index + 1);
      }
      const std::uint64_t total = std::uint64_t(s.right - s.left) * std::uint64_t(s.bottom - s.top);
      std::vector<std::uint64_t> acc(3 * static_cast<std::size_t>(w));
      std::vector<BYTE> source(3 * static_cast<std::size_t>(std::max<LONG>(hi - lo, 0)));
      row.resize(3 * static_cast<std::size_t>(w));
      for (LONG y = r.top; y < r.bottom; ++y) {
        std::fill(acc.begin(), acc.end(), 0);
        for (const Tap& down : BoxTaps(y - d.top, dh, s.top, s.bottom, flipY)) {
          if (down.index < 0 || down.index >= psoSrc->sizlBitmap.cy || hi <= lo) continue;
          ReadRow24(psoSrc, pxlo, lo, down.index, hi - lo, source.data());
          for (LONG x = 0; x < w; ++x) {
            std::uint32_t b = 0, g = 0, red = 0;
            for (const Tap& t : across[x]) {
              const BYTE* px = source.data() + 3 * static_cast<std::size_t>(t.index - lo);
              b += t.weight * px[0], g += t.weight * px[1], red += t.weight * px[2];
            }
            acc[3 * x] += std::uint64_t(down.weight) * b, acc[3 * x + 1] += std::uint64_t(down.weight) * g,
                acc[3 * x + 2] += std::uint64_t(down.weight) * red;
          }
        }
        for (std::size_t i = 0; i < acc.size(); ++i) row[i] = static_cast<BYTE>((acc[i] + total / 2) / total);
        WriteRow24(psoDest, r.left, y, w, row.data());
      }
      continue;
    }
    std::vector<LONG> columns(w);
    for (LONG x = 0; x < w; ++x) columns[x] = NearestOf(r.left + x - d.left, dw, s.left, s.right, flipX);
    const bool direct = psoDest->iBitmapFormat == BMF_24BPP && psoSrc->iBitmapFormat == BMF_24BPP &&
                        !SameBits(psoDest, psoSrc) && srcRedFirst == dstRedFirst;
    for (LONG y = r.top; y < r.bottom; ++y) {
      const LONG sy = NearestOf(y - d.top, dh, s.top, s.bottom, flipY);
      if (sy < 0 || sy >= psoSrc->sizlBitmap.cy) continue;
      if (direct) {
        const BYTE* from = RowOf(psoSrc, sy);
        BYTE* to = RowOf(psoDest, y) + 3 * static_cast<std::ptrdiff_t>(r.left);
        for (LONG x = 0; x < w; ++x)
          if (columns[x] >= 0 && columns[x] < psoSrc->sizlBitmap.cx)
            std::memcpy(to + 3 * x, from + 3 * static_cast<std::ptrdiff_t>(columns[x]), 3);
        continue;
      }
      for (LONG x = 0; x < w; ++x) {
        if (!inSource(columns[x], sy)) continue;
        const LONG dx = r.left + x;
        const int threshold = dither ? 8 + 16 * kBayer4[((y - ht.y) % 4 + 4) % 4][((dx - ht.x) % 4 + 4) % 4] : 128;
        WriteRgb(psoDest, dx, y, ReadRgb(psoSrc, pxlo, columns[x], sy, srcRedFirst), threshold, dstRedFirst);
      }
    }
  }
  ++psoDest->iUniq;
  return TRUE;
}

}  // extern "C"
