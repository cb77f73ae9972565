// The rendering plug-in's queued pictures: an A4 600-dpi 24-bpp photo sent
// as 1,000 SRCCOPY strips in photo mode 1, drawn on the shadow page, queued
// by the copy worker as one drawing object and emitted from the shadow page
// at the page end, against the same strips through the classic one-ink band
// cache (merged as density, diffused at the flush). Goals: the plug-in within
// 2x the classic time; 10,000 one-row strips at most 12x the time of 1,000
// one-row strips; the emit's peak heap about one 3-byte RGB record and one
// density buffer of the picture. Peak RSS is printed.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench_summary.h"
#include "imaging/draw_objects.h"
#include "imaging/rgb_band_cache.h"
#include "imaging/image_band_cache.h"
#include "imaging/image_entries.h"
#include "plat/base.h"
#include "plat/engine_clip_xlate.h"
#include "support/picture_page.h"

using namespace imaging;

namespace {

// A4 at 600 dpi; the one-row strips need a taller page.
constexpr LONG kWidth = 4960;
constexpr LONG kHeight = 7016;
constexpr LONG kTallHeight = 10016;  // a strip on the last row would be drawn the ordinary way

// Colour waves with noise, blue, green, red.
std::vector<BYTE> Photo(LONG width, LONG height) {
  std::vector<BYTE> out(std::size_t(width) * 3 * height);
  std::mt19937 rng(34);
  for (LONG y = 0; y < height; ++y)
    for (LONG x = 0; x < width; ++x) {
      BYTE* p = &out[(std::size_t(y) * width + x) * 3];
      const double v = 128 + 70 * std::sin(x * 0.0017 + y * 0.0009) + 40 * std::cos(y * 0.0023) * std::sin(x * 0.0031);
      for (int c = 0; c < 3; ++c) p[c] = BYTE(std::clamp(int(v) + c * 20 - 20 + int(rng() % 9) - 4, 0, 255));
    }
  return out;
}

const std::vector<BYTE>& PhotoOf(LONG height) {
  static std::map<LONG, std::vector<BYTE>> photos;
  auto it = photos.find(height);
  if (it == photos.end()) it = photos.emplace(height, Photo(kWidth, height)).first;
  return it->second;
}

// A one-ink page with diffusion and caching; in the plug-in generation with
// a white red-first shadow page.
struct Page : testsupport::PicturePage {
  Page(LONG height, bool plugin) : PicturePage(kWidth, height, 100) {
    if (plugin) {
      pdev->generation = PdevGeneration::Plugin;
      shadowBits.assign(std::size_t(kWidth) * 3 * height, 0xFF);
      shadow.sizlBitmap = SIZEL{kWidth, height};
      shadow.pvScan0 = shadow.pvBits = shadowBits.data();
      shadow.lDelta = kWidth * 3;
      shadow.iBitmapFormat = BMF_24BPP;
      pdev->plugin.shadowObject = &shadow;
    }
    BandCacheOf(pdev.get());
  }
  ~Page() { FreeDrawObjects(pdev.get()); }

  // The plug-in: each strip drawn on the shadow page (the engine's copy of
  // the call) and offered to the copy worker; the page end emits.
  bool DrawPlugin(const std::vector<BYTE>& photo, LONG rows, LONG strips) {
    const LONG each = rows / strips;
    bool ok = true;
    for (LONG i = 0; i < strips; ++i) {
      const LONG y0 = i * each, y1 = i + 1 == strips ? rows : (i + 1) * each;
      for (LONG y = y0; y < y1; ++y) {
        const BYTE* in = &photo[std::size_t(y) * kWidth * 3];
        BYTE* out = &shadowBits[std::size_t(y) * kWidth * 3];
        for (LONG x = 0; x < kWidth; ++x, in += 3, out += 3) {
          out[0] = in[2];
          out[1] = in[1];
          out[2] = in[0];
        }
      }
      pdev->drawing.previousRop4 = pdev->drawing.rop4;
      pdev->drawing.rop4 = kRop4SrcCopy;
      const RECTL target{0, y0, kWidth, y1};
      ok = ShadowCopyBlt(pdev.get(), &target, BMF_24BPP, nullptr) && ok;
      pdev->drawing.lastDrawnRect = target;
    }
    pdev->plugin.drawBounds = PdevRect{0, 0, 0, 0};
    return FlushDrawObjects(pdev.get()) && !pdev->plugin.head && ok;
  }

  // The classic library: each strip into the one-ink band cache, the
  // page end flushes.
  bool DrawClassic(const std::vector<BYTE>& photo, LONG rows, LONG strips) {
    const LONG each = rows / strips;
    for (LONG i = 0; i < strips; ++i) {
      const LONG y0 = i * each, y1 = i + 1 == strips ? rows : (i + 1) * each;
      pdev->drawing.previousRop4 = pdev->drawing.rop4;
      pdev->drawing.rop4 = kRop4SrcCopy;
      const RECTL target{0, y0, kWidth, y1};
      CLIPOBJ* clip = plat::engine::CreateTrivialClip(target);
      const PdevRect source{0, y0, kWidth - 1, y1 - 1};
      const PictureBands direct = SubmitImageToCache(pdev.get(), photo.data(), source, kWidth * 3, BMF_24BPP,
                                                     InclusiveRect(target), nullptr, 0, pdev->planeStride, clip);
      plat::engine::DeleteClip(clip);
      if (direct.first) {
        GlobalFree(direct.first);
        return false;
      }
    }
    return FlushImageIfPending(pdev.get()) != FALSE;
  }

  std::vector<BYTE> shadowBits;
  SURFOBJ shadow{};
};

std::map<std::string, double> heapPerPixel;

void Run(benchmark::State& state, const char* name, bool plugin, LONG height, LONG rows, LONG strips) {
  const std::vector<BYTE>& photo = PhotoOf(height);
  double worst = 0;
  for (auto _ : state) {
    state.PauseTiming();
    Page page(height, plugin);
    state.ResumeTiming();
    plat::ResetHeapPeak();
    const std::size_t before = plat::HeapLiveBytes();
    const bool ok = plugin ? page.DrawPlugin(photo, rows, strips) : page.DrawClassic(photo, rows, strips);
    if (!ok) {
      state.SkipWithError("a strip or the flush failed");
      return;
    }
    worst = std::max(worst, double(plat::HeapPeakBytes() - before) / (double(kWidth) * rows));
    benchmark::DoNotOptimize(page.plane.data());
  }
  heapPerPixel[name] = worst;
  state.counters["peak_heap_per_pixel"] = worst;
}

void BM_Plugin1000Strips(benchmark::State& s) { Run(s, "BM_Plugin1000Strips", true, kHeight, kHeight, 1000); }
void BM_Classic1000Strips(benchmark::State& s) { Run(s, "BM_Classic1000Strips", false, kHeight, kHeight, 1000); }
void BM_Plugin1000Rows(benchmark::State& s) { Run(s, "BM_Plugin1000Rows", true, kTallHeight, 1000, 1000); }
void BM_Plugin10000Rows(benchmark::State& s) { Run(s, "BM_Plugin10000Rows", true, kTallHeight, 10000, 10000); }

}  // namespace

BENCHMARK(BM_Plugin1000Strips)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Classic1000Strips)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Plugin1000Rows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_Plugin10000Rows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchsupport::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const auto m = reporter.Medians();
  const auto ms = [&](const char* name) { return m.contains(name) ? m.at(name).realMs : 0.0; };
  const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  const double plugin = ms("BM_Plugin1000Strips"), classic = ms("BM_Classic1000Strips");
  if (plugin > 0 && classic > 0)
    std::printf("1,000 strips: plug-in queue %.0f ms, classic band cache %.0f ms: %.2fx (goal <= 2x, %s)\n", plugin,
                classic, plugin / classic, verdict(plugin / classic <= 2));
  const double thousand = ms("BM_Plugin1000Rows"), tenThousand = ms("BM_Plugin10000Rows");
  if (thousand > 0 && tenThousand > 0)
    std::printf("one-row strips: 10,000 %.0f ms, 1,000 %.0f ms: %.1fx (goal <= 12x, %s)\n", tenThousand, thousand,
                tenThousand / thousand, verdict(tenThousand / thousand <= 12));
  for (const auto& [name, perPixel] : heapPerPixel)
    std::printf("%s: peak heap %.2f bytes a picture pixel\n", name.c_str(), perPixel);
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak RSS of the run: %.0f MB\n", double(usage.ru_maxrss) / 1024.0);
  benchmark::Shutdown();
  return 0;
}
