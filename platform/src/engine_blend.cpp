// The engine's blends, affine maps, keyed copies and gradients on bitmap
// surfaces. Blends and affine maps are pixman's, composited onto the
// destination's own bits when pixman can address them, else onto a copy.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "engine_pixels.h"
#include "plat/engine_blit.h"

namespace {

using namespace plat::engine::pixels;

struct ImageRef {
  pixman_image_t* image = nullptr;
  ImageRef() = default;
  explicit ImageRef(pixman_image_t* i) : image(i) {}
  ImageRef(const ImageRef&) = delete;
  ImageRef& operator=(const ImageRef&) = delete;
  ~ImageRef() {
    if (image) pixman_image_unref(image);
  }
};

// A premultiplied a8r8g8b8 copy of the source rectangle: opaque colours
// through the translation, or the source's own premultiplied alpha bytes.
struct ArgbCopy {
  std::vector<uint32_t> pixels;
  ImageRef ref;
  ArgbCopy(const SURFOBJ* so, XLATEOBJ* xlate, const RECTL& r, bool alpha) {
    const LONG w = r.right - r.left, h = r.bottom - r.top;
    pixels.assign(static_cast<std::size_t>(w) * h, 0);
    const bool redFirst = RedFirst(so);
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x) {
        const ULONG rgb = ReadRgb(so, xlate, r.left + x, r.top + y, redFirst);
        const uint32_t a = alpha ? RowOf(so, r.top + y)[4 * (r.left + x) + 3] : 0xFF;
        pixels[static_cast<std::size_t>(y) * w + x] =
            (a << 24) | ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
      }
    ref.image = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, pixels.data(), w * 4);
  }
};

// Runs draw(destination image, x, y offset of the surface in it) for the
// bounds of a destination: on the surface's own bits when pixman can address
// them, else on a 24-bit copy of the bounds written back afterwards.
bool OnDeepTarget(SURFOBJ* pso, const RECTL& bounds, const std::function<void(pixman_image_t*, LONG, LONG)>& draw) {
  if (IsEmpty(bounds)) return true;
  if (pixman_image_t* view = PixmanView(pso)) {
    draw(view, 0, 0);
    pixman_image_unref(view);
    return true;
  }
  const LONG w = bounds.right - bounds.left, h = bounds.bottom - bounds.top;
  const LONG stride = (3 * w + 3) & ~3;
  std::vector<uint32_t> bits(static_cast<std::size_t>(stride / 4) * h);
  BYTE* base = reinterpret_cast<BYTE*>(bits.data());
  for (LONG y = 0; y < h; ++y) ReadRow24(pso, nullptr, bounds.left, bounds.top + y, w, base + std::size_t(stride) * y);
  ImageRef copy(pixman_image_create_bits(PIXMAN_r8g8b8, w, h, bits.data(), stride));
  if (!copy.image) return false;
  draw(copy.image, -bounds.left, -bounds.top);
  for (LONG y = 0; y < h; ++y) WriteRow24(pso, bounds.left, bounds.top + y, w, base + std::size_t(stride) * y);
  return true;
}

bool Fail() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return false;
}

}  // namespace

extern "C" {

PLATAPI BOOL EngAlphaBlend(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest,
                           RECTL* prclSrc, BLENDOBJ* pBlendObj) {
  if (!HasBits(psoDest) || !HasBits(psoSrc) || !prclDest || !prclSrc || !pBlendObj ||
      pBlendObj->BlendFunction.BlendOp != AC_SRC_OVER)
    return Fail();
  const RECTL d = Ordered(*prclDest), s = Meet(Ordered(*prclSrc), RECTL{0, 0, psoSrc->sizlBitmap.cx,
                                                                         psoSrc->sizlBitmap.cy});
  if (IsEmpty(d) || IsEmpty(s)) return TRUE;
  const BYTE constant = pBlendObj->BlendFunction.SourceConstantAlpha;
  if (constant == 0) return TRUE;
  const bool perPixel = (pBlendObj->BlendFunction.AlphaFormat & AC_SRC_ALPHA) && psoSrc->iBitmapFormat == BMF_32BPP;
  const std::vector<RECTL> rects = ClipRectsIn(pco, psoDest, d);
  if (rects.empty()) return TRUE;
  // The source as pixman reads it: its own bits when they are 24-bit or
  // premultiplied 32-bit rows pixman can address, else a copy of the rectangle.
  const bool direct = !(pxlo && (pxlo->flXlate & XO_TABLE)) && psoSrc->pvScan0 != psoDest->pvScan0 &&
                      (psoSrc->iBitmapFormat == BMF_24BPP || perPixel);
  ImageRef view(direct ? PixmanView(psoSrc) : nullptr);
  std::unique_ptr<ArgbCopy> copy;
  LONG originX = s.left, originY = s.top;  // the source rectangle's corner in the image
  if (view.image && perPixel) {
    pixman_image_t* argb = pixman_image_create_bits(RedFirst(psoSrc) ? PIXMAN_a8b8g8r8 : PIXMAN_a8r8g8b8, psoSrc->sizlBitmap.cx, psoSrc->sizlBitmap.cy,
                                                    static_cast<uint32_t*>(psoSrc->pvScan0), psoSrc->lDelta);
    pixman_image_unref(view.image);
    view.image = argb;
  }
  pixman_image_t* src = view.image;
  if (!src) {
    copy = std::make_unique<ArgbCopy>(psoSrc, pxlo, s, perPixel);
    src = copy->ref.image;
    originX = originY = 0;
  }
  if (!src) return Fail();
  const LONG dw = d.right - d.left, dh = d.bottom - d.top, sw = s.right - s.left, sh = s.bottom - s.top;
  const bool flipX = (prclDest->right < prclDest->left) != (prclSrc->right < prclSrc->left);
  const bool flipY = (prclDest->bottom < prclDest->top) != (prclSrc->bottom < prclSrc->top);
  const bool scaled = dw != sw || dh != sh || flipX || flipY;
  if (scaled) {
    // Destination offsets from d's corner to source pixels.
    pixman_f_transform f;
    pixman_f_transform_init_identity(&f);
    f.m[0][0] = (flipX ? -1.0 : 1.0) * sw / dw;
    f.m[0][2] = flipX ? originX + sw : originX;
    f.m[1][1] = (flipY ? -1.0 : 1.0) * sh / dh;
    f.m[1][2] = flipY ? originY + sh : originY;
    pixman_transform t;
    pixman_transform_from_pixman_f_transform(&t, &f);
    pixman_image_set_transform(src, &t);
    pixman_image_set_filter(src, PIXMAN_FILTER_NEAREST, nullptr, 0);
  }
  pixman_color_t alpha{0, 0, 0, static_cast<uint16_t>(constant * 257)};
  ImageRef mask(constant == 0xFF ? nullptr : pixman_image_create_solid_fill(&alpha));
  const bool ok = OnDeepTarget(psoDest, BoundsOf(rects), [&](pixman_image_t* dst, LONG ox, LONG oy) {
    for (const RECTL& r : rects) {
      const LONG sx = scaled ? r.left - d.left : originX + (r.left - d.left);
      const LONG sy = scaled ? r.top - d.top : originY + (r.top - d.top);
      pixman_image_composite32(PIXMAN_OP_OVER, src, mask.image, dst, sx, sy, 0, 0, r.left + ox, r.top + oy,
                               r.right - r.left, r.bottom - r.top);
    }
  });
  if (scaled) pixman_image_set_transform(src, nullptr);
  if (!ok) return Fail();
  ++psoDest->iUniq;
  return TRUE;
}

PLATAPI BOOL EngPlgBlt(SURFOBJ* psoTrg, SURFOBJ* psoSrc, SURFOBJ*, CLIPOBJ* pco, XLATEOBJ* pxlo, COLORADJUSTMENT*,
                       POINTL*, POINTFIX* pptfx, RECTL* prcl, POINTL*, ULONG) {
  if (!HasBits(psoTrg) || !HasBits(psoSrc) || !pptfx) return Fail();
  const RECTL s = Meet(prcl ? Ordered(*prcl) : RECTL{0, 0, psoSrc->sizlBitmap.cx, psoSrc->sizlBitmap.cy},
                       RECTL{0, 0, psoSrc->sizlBitmap.cx, psoSrc->sizlBitmap.cy});
  if (IsEmpty(s)) return TRUE;
  const double ax = pptfx[0].x / 16.0, ay = pptfx[0].y / 16.0;
  const double ux = pptfx[1].x / 16.0 - ax, uy = pptfx[1].y / 16.0 - ay;  // along the source's rows
  const double vx = pptfx[2].x / 16.0 - ax, vy = pptfx[2].y / 16.0 - ay;  // down its columns
  const double det = ux * vy - uy * vx;
  if (std::fabs(det) < 1e-9) return TRUE;  // a flat parallelogram covers no pixel
  const LONG sw = s.right - s.left, sh = s.bottom - s.top;
  // Destination to source: solve p - A = a U + b V for the fractions a, b.
  pixman_f_transform f;
  pixman_f_transform_init_identity(&f);
  f.m[0][0] = vy / det * sw, f.m[0][1] = -vx / det * sw, f.m[0][2] = -(vy * ax - vx * ay) / det * sw;
  f.m[1][0] = -uy / det * sh, f.m[1][1] = ux / det * sh, f.m[1][2] = -(-uy * ax + ux * ay) / det * sh;
  pixman_transform t;
  if (!pixman_transform_from_pixman_f_transform(&t, &f)) return Fail();
  const double xs[4] = {ax, ax + ux, ax + vx, ax + ux + vx}, ys[4] = {ay, ay + uy, ay + vy, ay + uy + vy};
  const RECTL reach{static_cast<LONG>(std::floor(*std::min_element(xs, xs + 4))),
                    static_cast<LONG>(std::floor(*std::min_element(ys, ys + 4))),
                    static_cast<LONG>(std::ceil(*std::max_element(xs, xs + 4))),
                    static_cast<LONG>(std::ceil(*std::max_element(ys, ys + 4)))};
  const std::vector<RECTL> rects = ClipRectsIn(pco, psoTrg, reach);
  if (rects.empty()) return TRUE;
  // Outside the source pixman reads transparent pixels, which leave the
  // destination as it is.
  ArgbCopy source(psoSrc, pxlo, s, false);
  if (!source.ref.image) return Fail();
  pixman_image_set_transform(source.ref.image, &t);
  pixman_image_set_filter(source.ref.image, PIXMAN_FILTER_NEAREST, nullptr, 0);
  const bool ok = OnDeepTarget(psoTrg, BoundsOf(rects), [&](pixman_image_t* dst, LONG ox, LONG oy) {
    for (const RECTL& r : rects)
      pixman_image_composite32(PIXMAN_OP_OVER, source.ref.image, nullptr, dst, r.left, r.top, 0, 0, r.left + ox,
                               r.top + oy, r.right - r.left, r.bottom - r.top);
  });
  if (!ok) return Fail();
  ++psoTrg->iUniq;
  return TRUE;
}

PLATAPI BOOL EngTransparentBlt(SURFOBJ* psoDst, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDst,
                               RECTL* prclSrc, ULONG iTransColor, ULONG) {
  if (!HasBits(psoDst) || !HasBits(psoSrc) || !prclDst || !prclSrc) return Fail();
  const RECTL d = Ordered(*prclDst), s = Ordered(*prclSrc);
  if (IsEmpty(d) || IsEmpty(s)) return TRUE;
  const bool flipX = (prclDst->right < prclDst->left) != (prclSrc->right < prclSrc->left);
  const bool flipY = (prclDst->bottom < prclDst->top) != (prclSrc->bottom < prclSrc->top);
  const ULONG key = psoSrc->iBitmapFormat > BMF_8BPP ? iTransColor & 0xFFFFFF : iTransColor;
  const bool srcRedFirst = RedFirst(psoSrc), dstRedFirst = RedFirst(psoDst);
  for (const RECTL& r : ClipRectsIn(pco, psoDst, d)) {
    std::vector<LONG> columns(r.right - r.left);
    for (LONG x = r.left; x < r.right; ++x)
      columns[x - r.left] = NearestOf(x - d.left, d.right - d.left, s.left, s.right, flipX);
    for (LONG y = r.top; y < r.bottom; ++y) {
      const LONG sy = NearestOf(y - d.top, d.bottom - d.top, s.top, s.bottom, flipY);
      if (sy < 0 || sy >= psoSrc->sizlBitmap.cy) continue;
      for (LONG x = r.left; x < r.right; ++x) {
        const LONG sx = columns[x - r.left];
        if (sx < 0 || sx >= psoSrc->sizlBitmap.cx || ReadRaw(psoSrc, sx, sy, srcRedFirst) == key) continue;
        WriteRgb(psoDst, x, y, ReadRgb(psoSrc, pxlo, sx, sy, srcRedFirst), 128, dstRedFirst);
      }
    }
  }
  ++psoDst->iUniq;
  return TRUE;
}

PLATAPI BOOL EngGradientFill(SURFOBJ* psoDest, CLIPOBJ* pco, XLATEOBJ*, TRIVERTEX* pVertex, ULONG nVertex,
                             PVOID pMesh, ULONG nMesh, RECTL* prclExtents, POINTL*, ULONG ulMode) {
  if (!HasBits(psoDest) || !pVertex || (!pMesh && nMesh > 0) || ulMode > GRADIENT_FILL_TRIANGLE) return Fail();
  const RECTL extents = prclExtents ? *prclExtents : RECTL{0, 0, psoDest->sizlBitmap.cx, psoDest->sizlBitmap.cy};
  const std::vector<RECTL> rects = ClipRectsIn(pco, psoDest, extents);
  const bool redFirst = RedFirst(psoDest);
  auto channel = [](double c) { return static_cast<ULONG>(std::clamp(c, 0.0, 65535.0)) >> 8; };
  auto put = [&](LONG x, LONG y, double r, double g, double b) {
    WriteRgb(psoDest, x, y, channel(r) | (channel(g) << 8) | (channel(b) << 16), 128, redFirst);
  };
  for (ULONG m = 0; m < nMesh; ++m) {
    if (ulMode == GRADIENT_FILL_TRIANGLE) {
      const GRADIENT_TRIANGLE& tri = static_cast<const GRADIENT_TRIANGLE*>(pMesh)[m];
      if (tri.Vertex1 >= nVertex || tri.Vertex2 >= nVertex || tri.Vertex3 >= nVertex) return Fail();
      const TRIVERTEX* v[3] = {&pVertex[tri.Vertex1], &pVertex[tri.Vertex2], &pVertex[tri.Vertex3]};
      const double area = double(v[1]->x - v[0]->x) * (v[2]->y - v[0]->y) - double(v[2]->x - v[0]->x) * (v[1]->y - v[0]->y);
      if (area == 0) continue;
      const RECTL box{std::min({v[0]->x, v[1]->x, v[2]->x}), std::min({v[0]->y, v[1]->y, v[2]->y}),
                      std::max({v[0]->x, v[1]->x, v[2]->x}) + 1, std::max({v[0]->y, v[1]->y, v[2]->y}) + 1};
      for (const RECTL& c : rects) {
        const RECTL r = Meet(c, box);
        for (LONG y = r.top; y < r.bottom; ++y)
          for (LONG x = r.left; x < r.right; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            double w[3];
            for (int i = 0; i < 3; ++i) {
              const TRIVERTEX* a = v[(i + 1) % 3];
              const TRIVERTEX* b = v[(i + 2) % 3];
              w[i] = ((b->x - a->x) * (py - a->y) - (b->y - a->y) * (px - a->x)) / area;
            }
            if (w[0] < 0 || w[1] < 0 || w[2] < 0) continue;
            put(x, y, w[0] * v[0]->Red + w[1] * v[1]->Red + w[2] * v[2]->Red,
                w[0] * v[0]->Green + w[1] * v[1]->Green + w[2] * v[2]->Green,
                w[0] * v[0]->Blue + w[1] * v[1]->Blue + w[2] * v[2]->Blue);
          }
      }
      continue;
    }
    const GRADIENT_RECT& gr = static_cast<const GRADIENT_RECT*>(pMesh)[m];
    if (gr.UpperLeft >= nVertex || gr.LowerRight >= nVertex) return Fail();
    const TRIVERTEX& a = pVertex[gr.UpperLeft];
    const TRIVERTEX& b = pVertex[gr.LowerRight];
    const RECTL box = Ordered(RECTL{a.x, a.y, b.x, b.y});
    const bool across = ulMode == GRADIENT_FILL_RECT_H;
    const double from = across ? a.x : a.y, length = across ? double(b.x) - a.x : double(b.y) - a.y;
    for (const RECTL& c : rects) {
      const RECTL r = Meet(c, box);
      for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) {
          const double t = std::clamp(((across ? x : y) + 0.5 - from) / length, 0.0, 1.0);
          put(x, y, a.Red + t * (double(b.Red) - a.Red), a.Green + t * (double(b.Green) - a.Green),
              a.Blue + t * (double(b.Blue) - a.Blue));
        }
    }
  }
  ++psoDest->iUniq;
  return TRUE;
}

}  // extern "C"
