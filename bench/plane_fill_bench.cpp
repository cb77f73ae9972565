// ROP2 pattern fills of the plane kernels over an A4 600-dpi plane (4960 x
// 7016, unaligned edges): solid black on one and two planes and a grey
// pattern, against pixman's one-bit fills and a memset of the same rows.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "planes/dither_patterns.h"
#include "planes/plane_ops.h"
#include "planes/stroke_planes.h"
#include "plat/engine_draw.h"

namespace {

constexpr int kWidth = 4960;
constexpr int kHeight = 7016;
constexpr int kStride = ((kWidth + 31) / 32) * 4;
constexpr PdevRect kRect{3, 5, kWidth - 4, kHeight - 6};

struct Page {
  std::vector<std::uint32_t> words;  // both planes, word-aligned for pixman
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  explicit Page(bool two) : words(static_cast<std::size_t>(kStride / 4) * kHeight * 2, 0xFFFFFFFF) {
    pdev->planeWidth = kWidth;
    pdev->planeHeight = kHeight;
    pdev->drawing.targetPlane = Plane(0);
    pdev->drawing.otherPlane = two ? Plane(1) : Plane(0);
  }
  BYTE* Plane(int i) { return reinterpret_cast<BYTE*>(words.data()) + static_cast<std::size_t>(i) * kStride * kHeight; }
};

void Fill(benchmark::State& state, bool two, std::uint8_t density) {
  Page page(two);
  std::array<std::uint8_t, 128> pattern{};
  SolidPatternBits(density, SolidPatternForm{false, 0, 0}, pattern);
  for (auto _ : state) {
    Rop2FillPlanes(page.pdev.get(), kRect, page.Plane(0), kStride, pattern.data(), SIZEL{8, 8}, R2_COPYPEN);
    benchmark::ClobberMemory();
  }
  if (density == 255 && page.Plane(0)[kStride * 100 + 10] != 0) state.SkipWithError("the fill did not ink");
}

void BM_SolidOnePlane(benchmark::State& state) { Fill(state, false, 255); }
void BM_SolidTwoPlanes(benchmark::State& state) { Fill(state, true, 255); }
void BM_GreyOnePlane(benchmark::State& state) { Fill(state, false, 133); }

void BM_PixmanFill(benchmark::State& state) {
  Page page(false);
  for (auto _ : state) {
    pixman_fill(page.words.data(), kStride / 4, 1, kRect.left, kRect.top, kRect.right - kRect.left + 1,
                kRect.bottom - kRect.top + 1, 0);
    benchmark::ClobberMemory();
  }
  // The peer really filled: whole bytes inside the rectangle are ink.
  if (page.Plane(0)[kStride * 100 + 10] != 0 || page.Plane(0)[kStride * kHeight / 2 + kStride / 2] != 0)
    state.SkipWithError("pixman_fill did not fill");
}

void BM_PixmanFillRectangles(benchmark::State& state) {
  Page page(false);
  pixman_image_t* image =
      pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, page.words.data(), kStride);
  const pixman_color_t colour{0, 0, 0, 0};
  const pixman_rectangle16_t rect{static_cast<int16_t>(kRect.left), static_cast<int16_t>(kRect.top),
                                  static_cast<uint16_t>(kRect.right - kRect.left + 1),
                                  static_cast<uint16_t>(kRect.bottom - kRect.top + 1)};
  for (auto _ : state) {
    pixman_image_fill_rectangles(PIXMAN_OP_SRC, image, &colour, 1, &rect);
    benchmark::ClobberMemory();
  }
  pixman_image_unref(image);
  if (page.Plane(0)[kStride * 100 + 10] != 0) state.SkipWithError("pixman_image_fill_rectangles did not fill");
}

void BM_MemsetRows(benchmark::State& state) {
  Page page(false);
  const int first = kRect.left / 8, last = kRect.right / 8;
  for (auto _ : state) {
    for (int y = kRect.top; y <= kRect.bottom; ++y)
      std::memset(page.Plane(0) + static_cast<std::size_t>(y) * kStride + first, 0, static_cast<size_t>(last - first + 1));
    benchmark::ClobberMemory();
  }
}

// 1,000 short dashed strokes of a drum-1 colour drawn by the engine: on two
// planes only the rows under each stroke change places.
void Strokes(benchmark::State& state, bool two) {
  Page page(true);
  RenderPdev* pdev = page.pdev.get();
  pdev->headSignature = pdev->tailSignature = kPdevSignature;
  pdev->flags = two ? kPdevTwoPlanes : 0;
  pdev->separationModes[0] = pdev->separationModes[1] = 6;
  pdev->planeStride = kStride;
  pdev->drum2Plane = page.Plane(0);
  pdev->drum1Plane = two ? page.Plane(1) : page.Plane(0);
  HBITMAP bm = EngCreateBitmap(SIZEL{kWidth, kHeight}, kStride, BMF_1BPP, BMF_TOPDOWN, page.Plane(0));
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  so->dhpdev = reinterpret_cast<DHPDEV>(pdev);
  BRUSHOBJ* red = plat::engine::CreateSolidBrush(0x0000FF);
  std::vector<PATHOBJ*> paths;
  for (int i = 0; i < 1000; ++i) {
    const LONG x = 100 + (i % 40) * 110, y = 100 + (i / 40) * 250;
    plat::engine::SubPath sp;
    sp.points = {POINTFIX{x * 16, y * 16}, POINTFIX{(x + 60) * 16, (y + 20) * 16}};
    paths.push_back(plat::engine::CreatePath({sp}));
  }
  FLOAT_LONG style[2];
  style[0].l = 2;
  style[1].l = 1;
  LINEATTRS la{};
  la.fl = LA_STYLED;
  la.elWidth.l = 1;
  la.cstyle = 2;
  la.pstyle = style;
  for (auto _ : state) {
    for (PATHOBJ* po : paths) StrokeOnInkPlane(so, po, nullptr, nullptr, red, nullptr, &la, R2_COPYPEN);
    benchmark::ClobberMemory();
  }
  for (PATHOBJ* po : paths) plat::engine::DeletePath(po);
  plat::engine::DeleteBrush(red);
  EngUnlockSurface(so);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}
void BM_DashedStrokesOnePlane(benchmark::State& state) { Strokes(state, false); }
void BM_DashedStrokesTwoPlanes(benchmark::State& state) { Strokes(state, true); }

BENCHMARK(BM_SolidOnePlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolidTwoPlanes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GreyOnePlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanFill)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PixmanFillRectangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemsetRows)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DashedStrokesOnePlane)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DashedStrokesTwoPlanes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
