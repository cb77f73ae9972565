// The engine on a 24-bit page (A4 at 300 dpi, 2480 x 3508) against its peers
// in the same run: SRCCOPY and a constant-alpha blend against pixman's
// OP_SRC and OP_OVER composites of the same r8g8b8 bytes, a 2x nearest
// stretch against a pixman scale (and the halftone box filter for the
// record), ROP 0xB8 with an 8 x 8 pattern against
// pixman's OP_SRC copy, and 1,000 dashed strokes against cairo on an RGB24
// surface without antialiasing.
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "bench_summary.h"
#include "dashed_strokes.h"
#include "plat/engine_blit.h"

namespace {

constexpr LONG kW = 2480, kH = 3508;

// An engine bitmap with a pixman image over the same bits.
struct Page {
  LONG w, h;
  HBITMAP bm;
  SURFOBJ* so;
  pixman_image_t* image;
  Page(LONG width, LONG height, unsigned seed) : w(width), h(height) {
    bm = EngCreateBitmap(SIZEL{w, h}, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
    so = EngLockSurface(reinterpret_cast<HSURF>(bm));
    std::mt19937 rng(seed);
    auto* bytes = static_cast<BYTE*>(so->pvScan0);
    for (std::size_t i = 0; i < static_cast<std::size_t>(so->lDelta) * h; i += 4) {
      const std::uint32_t v = rng();
      std::memcpy(bytes + i, &v, 4);
    }
    image = pixman_image_create_bits(PIXMAN_r8g8b8, w, h, static_cast<uint32_t*>(so->pvScan0), so->lDelta);
  }
  ~Page() {
    pixman_image_unref(image);
    EngUnlockSurface(so);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
};

Page& Source() {
  static Page p(kW, kH, 1);
  return p;
}
Page& Half() {
  static Page p(kW / 2, kH / 2, 2);
  return p;
}
Page& Target() {
  static Page p(kW, kH, 3);
  return p;
}

void BM_EngSrcCopy(benchmark::State& state) {
  RECTL r{0, 0, kW, kH};
  POINTL o{0, 0};
  for (auto _ : state) EngBitBlt(Target().so, Source().so, nullptr, nullptr, nullptr, &r, &o, nullptr, nullptr, nullptr, 0xCCCC);
}
void BM_PixmanSrc(benchmark::State& state) {
  for (auto _ : state)
    pixman_image_composite32(PIXMAN_OP_SRC, Source().image, nullptr, Target().image, 0, 0, 0, 0, 0, 0, kW, kH);
}

void BM_EngAlphaBlend(benchmark::State& state) {
  RECTL r{0, 0, kW, kH};
  BLENDOBJ blend{{AC_SRC_OVER, 0, 128, 0}};
  for (auto _ : state) EngAlphaBlend(Target().so, Source().so, nullptr, nullptr, &r, &r, &blend);
}
void BM_PixmanOver(benchmark::State& state) {
  pixman_color_t half{0, 0, 0, 128 * 257};
  pixman_image_t* mask = pixman_image_create_solid_fill(&half);
  for (auto _ : state)
    pixman_image_composite32(PIXMAN_OP_OVER, Source().image, mask, Target().image, 0, 0, 0, 0, 0, 0, kW, kH);
  pixman_image_unref(mask);
}

void BM_EngStretch2x(benchmark::State& state) {
  RECTL to{0, 0, kW, kH}, from{0, 0, kW / 2, kH / 2};
  for (auto _ : state)
    EngStretchBlt(Target().so, Half().so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, COLORONCOLOR);
}
// The box filter a halftone stretch makes on a 24-bit page (no goal: the
// figure a page with stretched pictures pays).
void BM_EngHalftone2x(benchmark::State& state) {
  RECTL to{0, 0, kW, kH}, from{0, 0, kW / 2, kH / 2};
  for (auto _ : state)
    EngStretchBlt(Target().so, Half().so, nullptr, nullptr, nullptr, nullptr, nullptr, &to, &from, nullptr, HALFTONE);
}
void BM_PixmanScale2x(benchmark::State& state) {
  pixman_transform t;
  pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
  pixman_image_set_transform(Half().image, &t);
  pixman_image_set_filter(Half().image, PIXMAN_FILTER_NEAREST, nullptr, 0);
  for (auto _ : state)
    pixman_image_composite32(PIXMAN_OP_SRC, Half().image, nullptr, Target().image, 0, 0, 0, 0, 0, 0, kW, kH);
  pixman_image_set_transform(Half().image, nullptr);
}

void BM_EngRopB8Pattern(benchmark::State& state) {
  Page pattern(8, 8, 4);
  BRUSHOBJ* brush = plat::engine::CreatePatternBrush(reinterpret_cast<HSURF>(pattern.bm), {});
  RECTL r{0, 0, kW, kH};
  POINTL o{0, 0};
  for (auto _ : state) EngBitBlt(Target().so, Source().so, nullptr, nullptr, nullptr, &r, &o, nullptr, brush, &o, 0xB8B8);
  plat::engine::DeleteBrush(brush);
}

const std::vector<benchsupport::Stroke>& Strokes() {
  static const std::vector<benchsupport::Stroke> strokes = benchsupport::RandomStrokes(kW, kH);
  return strokes;
}

void BM_EngDashedStrokes(benchmark::State& state) {
  benchsupport::StrokePaths set(Strokes());
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x204080);
  for (auto _ : state)
    for (PATHOBJ* p : set.paths)
      EngStrokePath(Target().so, p, nullptr, nullptr, brush, nullptr, &set.la, R2_COPYPEN);
  plat::engine::DeleteBrush(brush);
}
void BM_CairoDashedStrokes(benchmark::State& state) {
  benchsupport::CairoDashedStrokes(state, kW, kH, 0x80 / 255.0, 0x40 / 255.0, 0x20 / 255.0, Strokes());
}

BENCHMARK(BM_EngSrcCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanSrc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngAlphaBlend)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanOver)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngStretch2x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanScale2x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngHalftone2x)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngRopB8Pattern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngDashedStrokes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoDashedStrokes)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return benchsupport::RunWithRatioGoals(argc, argv, {
      {"SRCCOPY, A4 24 bpp", "BM_EngSrcCopy", "BM_PixmanSrc", "pixman OP_SRC", 1.5},
      {"constant-alpha blend", "BM_EngAlphaBlend", "BM_PixmanOver", "pixman OP_OVER", 1.5},
      {"2x nearest stretch", "BM_EngStretch2x", "BM_PixmanScale2x", "pixman scale", 1.5},
      {"ROP 0xB8 with a pattern", "BM_EngRopB8Pattern", "BM_PixmanSrc", "pixman OP_SRC", 4},
      {"1,000 dashed strokes", "BM_EngDashedStrokes", "BM_CairoDashedStrokes", "cairo RGB24", 2},
  });
}
