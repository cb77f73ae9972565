// The engine's copies and stretches on bitmap surfaces, pixel by pixel.
#include "plat/engine_blit.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "plat/engine_clip_xlate.h"

namespace {

bool HasBits(const SURFOBJ* so) {
  return so && so->pvScan0 && so->lDelta != 0 && so->iBitmapFormat >= BMF_1BPP && so->iBitmapFormat <= BMF_32BPP;
}

const BYTE* RowOf(const SURFOBJ* so, LONG y) {
  return static_cast<const BYTE*>(so->pvScan0) + static_cast<std::int64_t>(y) * so->lDelta;
}
BYTE* RowOf(SURFOBJ* so, LONG y) { return static_cast<BYTE*>(so->pvScan0) + static_cast<std::int64_t>(y) * so->lDelta; }

// The source pixel as 0x00BBGGRR.
ULONG ReadRgb(const SURFOBJ* so, XLATEOBJ* xlate, LONG x, LONG y) {
  const BYTE* row = RowOf(so, y);
  ULONG index = 0;
  switch (so->iBitmapFormat) {
    case BMF_1BPP: index = (row[x / 8] >> (7 - x % 8)) & 1; break;
    case BMF_4BPP: index = (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4); break;
    case BMF_8BPP: index = row[x]; break;
    case BMF_16BPP: {
      const unsigned v = row[2 * x] | (row[2 * x + 1] << 8);
      return ((v >> 7) & 0xF8) | (((v >> 2) & 0xF8) << 8) | (((v << 3) & 0xF8) << 16);
    }
    case BMF_24BPP: return row[3 * x + 2] | (row[3 * x + 1] << 8) | (row[3 * x] << 16);
    case BMF_32BPP: return row[4 * x + 2] | (row[4 * x + 1] << 8) | (row[4 * x] << 16);
  }
  if (xlate && (xlate->flXlate & XO_TABLE)) return XLATEOBJ_iXlate(xlate, index) & 0xFFFFFF;
  if (so->iBitmapFormat == BMF_1BPP) return index ? 0xFFFFFF : 0;
  const ULONG grey = so->iBitmapFormat == BMF_4BPP ? index * 17 : index;
  return grey | (grey << 8) | (grey << 16);
}

int Luminance(ULONG rgb) {
  return (2449 * (rgb & 0xFF) + 4805 * ((rgb >> 8) & 0xFF) + 938 * ((rgb >> 16) & 0xFF)) >> 13;
}

bool WriteRgb(SURFOBJ* so, LONG x, LONG y, ULONG rgb, int threshold) {
  BYTE* row = RowOf(so, y);
  switch (so->iBitmapFormat) {
    case BMF_1BPP: {
      const BYTE m = static_cast<BYTE>(0x80 >> (x % 8));
      row[x / 8] = static_cast<BYTE>(Luminance(rgb) >= threshold ? (row[x / 8] | m) : (row[x / 8] & ~m));
      return true;
    }
    case BMF_24BPP:
      row[3 * x] = static_cast<BYTE>(rgb >> 16), row[3 * x + 1] = static_cast<BYTE>(rgb >> 8),
      row[3 * x + 2] = static_cast<BYTE>(rgb);
      return true;
    case BMF_32BPP:
      row[4 * x] = static_cast<BYTE>(rgb >> 16), row[4 * x + 1] = static_cast<BYTE>(rgb >> 8),
      row[4 * x + 2] = static_cast<BYTE>(rgb), row[4 * x + 3] = 0;
      return true;
  }
  return false;
}

// The clip as exclusive rectangles; one covering everything without a clip.
std::vector<RECTL> ClipRects(CLIPOBJ* clip) {
  std::vector<RECTL> out;
  if (!clip || clip->iDComplexity == DC_TRIVIAL) return {RECTL{-0x7FFFFFFF, -0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF}};
  if (clip->iDComplexity == DC_RECT) return {clip->rclBounds};
  struct {
    ULONG c;
    RECTL r[64];
  } batch;
  CLIPOBJ_cEnumStart(clip, FALSE, CT_RECTANGLES, CD_ANY, 0);
  for (;;) {
    batch.c = 0;
    const BOOL more = CLIPOBJ_bEnum(clip, sizeof(batch), reinterpret_cast<ULONG*>(&batch));
    out.insert(out.end(), batch.r, batch.r + std::min<ULONG>(batch.c, 64));
    if (!more || batch.c == 0) break;
  }
  return out;
}

bool Inside(const std::vector<RECTL>& rects, LONG x, LONG y) {
  for (const RECTL& r : rects)
    if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
  return false;
}

constexpr int kBayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

}  // namespace

extern "C" {

PLATAPI BOOL EngCopyBits(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                         POINTL* pptlSrc) {
  if (!HasBits(psoDest) || !HasBits(psoSrc) || !prclDest) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const POINTL origin = pptlSrc ? *pptlSrc : POINTL{0, 0};
  const std::vector<RECTL> clip = ClipRects(pco);
  const LONG top = std::max<LONG>(prclDest->top, 0), bottom = std::min(prclDest->bottom, psoDest->sizlBitmap.cy);
  const LONG left = std::max<LONG>(prclDest->left, 0), right = std::min(prclDest->right, psoDest->sizlBitmap.cx);
  for (LONG y = top; y < bottom; ++y) {
    const LONG sy = origin.y + (y - prclDest->top);
    if (sy < 0 || sy >= psoSrc->sizlBitmap.cy) continue;
    for (LONG x = left; x < right; ++x) {
      const LONG sx = origin.x + (x - prclDest->left);
      if (sx < 0 || sx >= psoSrc->sizlBitmap.cx || !Inside(clip, x, y)) continue;
      WriteRgb(psoDest, x, y, ReadRgb(psoSrc, pxlo, sx, sy), 128);
    }
  }
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
  const LONG dl = std::min(prclDest->left, prclDest->right), dr = std::max(prclDest->left, prclDest->right);
  const LONG dt = std::min(prclDest->top, prclDest->bottom), db = std::max(prclDest->top, prclDest->bottom);
  const LONG sl = std::min(prclSrc->left, prclSrc->right), sr = std::max(prclSrc->left, prclSrc->right);
  const LONG st = std::min(prclSrc->top, prclSrc->bottom), sb = std::max(prclSrc->top, prclSrc->bottom);
  if (dr == dl || db == dt || sr == sl || sb == st) return TRUE;
  const std::vector<RECTL> clip = ClipRects(pco);
  const POINTL ht = pptlHTOrg ? *pptlHTOrg : POINTL{0, 0};
  const bool dither = iMode == HALFTONE && psoDest->iBitmapFormat == BMF_1BPP;
  for (LONG y = std::max<LONG>(dt, 0); y < std::min(db, psoDest->sizlBitmap.cy); ++y) {
    const std::int64_t iy = flipY ? (db - 1 - y) : (y - dt);
    const LONG sy = static_cast<LONG>(st + (2 * iy + 1) * (sb - st) / (2 * std::int64_t{db - dt}));
    if (sy < 0 || sy >= psoSrc->sizlBitmap.cy) continue;
    for (LONG x = std::max<LONG>(dl, 0); x < std::min(dr, psoDest->sizlBitmap.cx); ++x) {
      const std::int64_t ix = flipX ? (dr - 1 - x) : (x - dl);
      const LONG sx = static_cast<LONG>(sl + (2 * ix + 1) * (sr - sl) / (2 * std::int64_t{dr - dl}));
      if (sx < 0 || sx >= psoSrc->sizlBitmap.cx || !Inside(clip, x, y)) continue;
      const int threshold =
          dither ? 8 + 16 * kBayer4[((y - ht.y) % 4 + 4) % 4][((x - ht.x) % 4 + 4) % 4] : 128;
      WriteRgb(psoDest, x, y, ReadRgb(psoSrc, pxlo, sx, sy), threshold);
    }
  }
  ++psoDest->iUniq;
  return TRUE;
}

}  // extern "C"
