// Two-ink pictures: an A3 600-dpi RGB photo sent as one strip on a two-drum
// sheet in separation mode 2 and flushed through the RGB cache, separated
// and halftoned into both planes by the screens and by diffusion, against Ghostscript separating the same image
// into CMYK at 600 dpi (bitcmyk) in the same run. Each reports ns per pixel
// and, for ours, the peak heap over the RGB picture's bytes.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/halftone.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "rgb_peer.h"

namespace {

// A3 at 600 dpi.
constexpr LONG kWidth = 7016;
constexpr LONG kHeight = 9920;
constexpr double kPixels = double(kWidth) * kHeight;

// Colour waves with noise: blue, green, red rows.
const std::vector<BYTE>& PhotoRgb() {
  static const std::vector<BYTE> rgb = [] {
    std::vector<BYTE> out(size_t(kWidth) * kHeight * 3);
    std::mt19937 rng(7);
    for (LONG y = 0; y < kHeight; ++y)
      for (LONG x = 0; x < kWidth; ++x) {
        BYTE* p = &out[(size_t(y) * kWidth + x) * 3];
        const int n = int(rng() % 9) - 4;
        p[0] = BYTE(std::clamp(int(128 + 100 * std::sin(x * 0.0017 + y * 0.0009)) + n, 0, 255));
        p[1] = BYTE(std::clamp(int(128 + 110 * std::cos(y * 0.0023)) + n, 0, 255));
        p[2] = BYTE(std::clamp(int(128 + 120 * std::sin(x * 0.0031) * std::cos(y * 0.0011)) + n, 0, 255));
      }
    return out;
  }();
  return rgb;
}

std::string Scratch() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "two-ink-bench-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  return dir;
}

std::string PeerPostScript() {
  static const std::string path = benchsupport::RgbImagePostScript(Scratch(), PhotoRgb(), kWidth, kHeight);
  return path;
}

void PerPixel(benchmark::State& state) {
  state.counters["ns_per_px"] =
      benchmark::Counter(kPixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The strip on a two-drum device in separation mode 2, cached as RGB and
// flushed onto both planes; photo mode 1 diffuses (0 screens, with caching
// asked for by the edge setting).
void BM_TwoInkStrip(benchmark::State& state) {
  auto* pdev = new RenderPdev{};
  const LONG stride = (kWidth + 31) / 32 * 4;
  std::vector<BYTE> planes(size_t(stride) * kHeight * 2, 0xFF);
  pdev->flags = kPdevTwoPlanes;
  pdev->imageCaching = 1;
  pdev->separationModes[2] = 2;
  pdev->photoMode = static_cast<std::uint8_t>(state.range(0));
  pdev->edge = pdev->photoMode == 0 ? 2 : 0;
  pdev->contrast = 4;
  pdev->brightness = 4;
  pdev->amiLine = 100;
  pdev->amiAngle = 45;
  pdev->resolutionX = pdev->resolutionY = 600;
  pdev->planeWidth = kWidth;
  pdev->planeHeight = kHeight;
  pdev->planeStride = stride;
  pdev->drum1Plane = planes.data();
  pdev->drum2Plane = planes.data() + size_t(stride) * kHeight;
  pdev->drum1Lab[0] = 30;
  pdev->drum2Lab[0] = 50;
  pdev->image.darkerDrumStrength = 200;
  pdev->drawing.rop4 = pdev->drawing.previousRop4 = 0xCCCC;
  const auto& rgb = PhotoRgb();
  const PdevRect rect{0, 0, kWidth - 1, kHeight - 1};
  std::size_t peak = 0;
  for (auto _ : state) {
    pdev->shared.pictureFlag = 1;
    plat::ResetHeapPeak();
    const std::size_t before = plat::HeapLiveBytes();
    CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, stride, &rect, rgb.data(), &rect, kWidth * 3, nullptr, 0,
                   BMF_24BPP);
    CacheImageBand(pdev, pdev->drum1Plane, pdev->drum2Plane, stride, nullptr, nullptr, nullptr, 0, nullptr, 0, 0);
    peak = std::max(peak, plat::HeapPeakBytes() - before);
    benchmark::DoNotOptimize(planes.data());
  }
  PerPixel(state);
  state.counters["peak_heap_over_rgb"] = double(peak) / double(rgb.size());
  FreeImageBuffers(pdev);
  ClearClipRectList(pdev);
  if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
  delete pdev;
}

void BM_GhostscriptBitCmyk(benchmark::State& state) {
  const std::string dir = Scratch();
  const std::string command = "gs -q -dNOPAUSE -dBATCH -dSAFER --permit-file-read=" + dir +
                              "/ -sDEVICE=bitcmyk -r600 -g" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                              " -sOutputFile=/dev/null " + PeerPostScript();
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("peer failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  PerPixel(state);
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

BENCHMARK(BM_TwoInkStrip)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_GhostscriptBitCmyk)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)->ComputeStatistics("best", Best);

BENCHMARK_MAIN();
