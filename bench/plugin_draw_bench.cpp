// The plug-in's raster-operation and stroke path against the classic
// library's and cairo on an A3 600-dpi two-ink page: 1,000 dashed red
// strokes 3 dots wide through the plug-in's stroke path (drawn on a 24-bit
// page of each stroke's reach and halftoned onto red's plate) against
// 1,000 dashed black ones through DrvStrokePath (with the engine's fallback
// GDI would make) and against cairo on an RGB24 page; SRCCOPY and ROP 0xB8
// with a grey brush through OemBrushBlt against the classic raster path.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "bench_summary.h"
#include "dashed_strokes.h"
#include "random_bytes.h"
#include "plat/engine.h"
#include "plat/engine_clip_xlate.h"
#include "plat/engine_draw.h"
#include "render/drawing_entries.h"
#include "render/render_pdev.h"
#include "render/rop_blits.h"
#include "renderplugin/plugin_rop.h"

namespace {

// A3 at 600 dpi.
constexpr LONG kW = 7016, kH = 9921, kStride = (kW + 31) / 32 * 4;

// Two ink planes behind a device record of either generation.
struct Page {
  std::vector<BYTE> bits = std::vector<BYTE>(static_cast<std::size_t>(kStride) * kH * 2, 0xFF);
  std::unique_ptr<RenderPdev> pdev = std::make_unique<RenderPdev>();
  SURFOBJ so{};
  HDEV hdev = plat::engine::CreateDevice(nullptr);
  HPALETTE palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  explicit Page(bool plugin) {
    plat::engine::SetDevicePalette(hdev, palette);
    plat::engine::SetDeviceStyleSteps(hdev, 1, 1, 1);
    RenderPdev& p = *pdev;
    p.headSignature = p.tailSignature = kPdevSignature;
    p.generation = plugin ? PdevGeneration::Plugin : PdevGeneration::Classic;
    p.planeWidth = kW;
    p.planeHeight = kH;
    p.planeStride = kStride;
    p.drum2Plane = bits.data();
    p.drum1Plane = bits.data() + static_cast<std::size_t>(kStride) * kH;
    p.flags |= kPdevTwoPlanes;
    p.engineDevice = hdev;
    so.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
    so.hdev = hdev;
    so.lDelta = kStride;
    so.pvScan0 = bits.data();
    so.iBitmapFormat = BMF_1BPP;
    so.sizlBitmap = SIZEL{kW, kH};
  }
  ~Page() {
    plat::engine::DeleteDevice(hdev);
    EngDeletePalette(palette);
  }
};

const std::vector<benchsupport::Stroke>& Strokes() {
  static const std::vector<benchsupport::Stroke> strokes = benchsupport::RandomStrokes(kW, kH);
  return strokes;
}
using benchsupport::StrokePaths;

constexpr MIX kCopyMix = (R2_COPYPEN << 8) | R2_COPYPEN;

void BM_PluginRedStrokes(benchmark::State& state) {
  Page page(true);
  StrokePaths set(Strokes());
  BRUSHOBJ* red = plat::engine::CreateSolidBrush(0x0000FF);
  for (auto _ : state)
    for (PATHOBJ* p : set.paths) OemStrokeOnInkPlane(&page.so, p, nullptr, nullptr, red, nullptr, &set.la, kCopyMix);
  plat::engine::DeleteBrush(red);
}

void BM_ClassicBlackStrokes(benchmark::State& state) {
  Page page(false);
  StrokePaths set(Strokes());
  BRUSHOBJ* black = plat::engine::CreateSolidBrush(0);
  for (auto _ : state)
    for (PATHOBJ* p : set.paths)
      if (!DrvStrokePath(&page.so, p, nullptr, nullptr, black, nullptr, &set.la, kCopyMix))
        EngStrokePath(&page.so, p, nullptr, nullptr, black, nullptr, &set.la, kCopyMix);
  plat::engine::DeleteBrush(black);
}

void BM_CairoStrokes(benchmark::State& state) { benchsupport::CairoDashedStrokes(state, kW, kH, 1, 0, 0, Strokes()); }

std::vector<BYTE>& SourceBits() {
  static std::vector<BYTE> bits = benchsupport::RandomBytes(static_cast<std::size_t>(kStride) * kH, 1);
  return bits;
}

// A whole-page blit of a random one-bit source at x 3, SRCCOPY or 0xB8 with
// a grey brush, by the plug-in or the classic path.
void BitBlt(benchmark::State& state, ULONG rop4, bool plugin) {
  Page page(plugin);
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{kW, kH};
  src.lDelta = kStride;
  src.pvScan0 = SourceBits().data();
  src.iBitmapFormat = BMF_1BPP;
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x808080);
  const RECTL target{3, 0, kW - 8, kH};
  const POINTL origin{0, 0};
  BRUSHOBJ* used = rop4 == 0xCCCC ? nullptr : brush;
  page.pdev->drawing.rop4 = rop4;
  for (auto _ : state) {
    if (plugin)
      OemBrushBlt(rop4, &page.so, &target, &src, &origin, nullptr, xlate, used);
    else
      BitBltToPlanes(rop4, &page.so, &target, &src, &origin, nullptr, xlate, used);
    benchmark::DoNotOptimize(page.bits.data());
  }
  plat::engine::DeleteBrush(brush);
  plat::engine::DeleteXlate(xlate);
}

BENCHMARK(BM_PluginRedStrokes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassicBlackStrokes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CairoStrokes)->Unit(benchmark::kMillisecond);
void BM_ClassicSrcCopy(benchmark::State& state) { BitBlt(state, 0xCCCC, false); }
void BM_PluginSrcCopy(benchmark::State& state) { BitBlt(state, 0xCCCC, true); }
void BM_ClassicB8(benchmark::State& state) { BitBlt(state, 0xB8B8, false); }
void BM_PluginB8(benchmark::State& state) { BitBlt(state, 0xB8B8, true); }
BENCHMARK(BM_ClassicSrcCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginSrcCopy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClassicB8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PluginB8)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return benchsupport::RunWithRatioGoals(argc, argv, {
      {"1,000 dashed red strokes", "BM_PluginRedStrokes", "BM_ClassicBlackStrokes", "classic black", 3},
      {"1,000 dashed red strokes", "BM_PluginRedStrokes", "BM_CairoStrokes", "cairo RGB24", 5},
      {"SRCCOPY A3", "BM_PluginSrcCopy", "BM_ClassicSrcCopy", "classic", 1.2},
      {"ROP 0xB8 with a pattern A3", "BM_PluginB8", "BM_ClassicB8", "classic", 1.2},
  });
}
