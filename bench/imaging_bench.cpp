// Halftoning and density conversion of an A3 600-dpi photo-like image,
// against peers in the same run: error diffusion against pamditherbw -fs,
// the screen against pamditherbw -cluster8, and the 24-bit conversion with
// tone against Ghostscript drawing the same RGB image 1:1 to a one-bit page.
// Each reports ns per pixel; the "best" rows are the best of three runs.
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

#include "rgb_peer.h"
#include "imaging/error_diffusion.h"
#include "imaging/image_entries.h"
#include "imaging/screen_dither.h"
#include "imaging/screens.h"

using namespace imaging;

namespace {

// A3 at 600 dpi.
constexpr LONG kWidth = 7016;
constexpr LONG kHeight = 9920;
constexpr double kPixels = double(kWidth) * kHeight;

// Smooth waves and gradients with noise, as a photograph's density.
const std::vector<BYTE>& Photo() {
  static const std::vector<BYTE> image = [] {
    std::vector<BYTE> d(size_t(kWidth) * kHeight);
    std::mt19937 rng(5);
    for (LONG y = 0; y < kHeight; ++y)
      for (LONG x = 0; x < kWidth; ++x) {
        const double v = 128 + 70 * std::sin(x * 0.0021 + y * 0.0013) + 40 * std::cos(y * 0.0047) * std::sin(x * 0.0009);
        d[size_t(y) * kWidth + x] = BYTE(std::clamp(int(v) + int(rng() % 13) - 6, 0, 255));
      }
    return d;
  }();
  return image;
}

// The same picture as 24-bit rows (blue, green, red; full light is 255).
const std::vector<BYTE>& PhotoRgb() {
  static const std::vector<BYTE> rgb = [] {
    const auto& d = Photo();
    std::vector<BYTE> out(size_t(kWidth) * kHeight * 3);
    for (size_t i = 0; i < d.size(); ++i) {
      const BYTE light = BYTE(255 - d[i]);
      out[3 * i] = BYTE(light * 7 / 8);
      out[3 * i + 1] = light;
      out[3 * i + 2] = BYTE(std::min(255, light + 10));
    }
    return out;
  }();
  return rgb;
}

struct Plane {
  LONG stride = (kWidth + 31) / 32 * 4;
  std::vector<BYTE> bits = std::vector<BYTE>(size_t(stride) * kHeight, 0xFF);
  BandBuffer view() { return {bits.data(), stride, kHeight, {0, 0}}; }
};

std::string Scratch() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "imaging-bench-XXXXXX").string();
    return std::string(mkdtemp(pattern.data()));
  }();
  return dir;
}

// Files for the peers, written once.
std::string PeerGrey() {
  static const std::string path = [] {
    const std::string p = Scratch() + "/photo.pgm";
    std::ofstream out(p, std::ios::binary);
    out << "P5\n" << kWidth << " " << kHeight << "\n255\n";
    std::vector<BYTE> grey(Photo());
    for (BYTE& v : grey) v = BYTE(255 - v);
    out.write(reinterpret_cast<const char*>(grey.data()), std::streamsize(grey.size()));
    return p;
  }();
  return path;
}

std::string PeerPostScript() {
  static const std::string path = benchsupport::RgbImagePostScript(Scratch(), PhotoRgb(), kWidth, kHeight);
  return path;
}

void RunPeer(benchmark::State& state, const std::string& command) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError(("peer failed: " + command).c_str());
      return;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["ns_per_px"] = benchmark::Counter(kPixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate |
                                                                        benchmark::Counter::kInvert);
}

// ns per pixel; Mpx/s is 1000 over it. (A rate counter would make the
// "best" row, the smallest of each value, the slowest run.)
void PerPixel(benchmark::State& state, double pixels) {
  state.counters["ns_per_px"] =
      benchmark::Counter(pixels * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_DiffuseError(benchmark::State& state) {
  const auto& d = Photo();
  Plane plane;
  for (auto _ : state) {
    DiffuseError({}, {d.data(), kWidth, kHeight, kWidth}, plane.view(), {0, 0, kWidth - 1, kHeight - 1});
    benchmark::DoNotOptimize(plane.bits.data());
  }
  PerPixel(state, kPixels);
}

void BM_PamditherbwFs(benchmark::State& state) { RunPeer(state, "pamditherbw -fs " + PeerGrey() + " > /dev/null"); }

void BM_DitherByScreen(benchmark::State& state) {
  const LONG scale = static_cast<LONG>(state.range(0));
  const auto& d = Photo();
  const ScreenSpec params;  // 600 dpi, 100 lines, 45 degrees
  std::vector<BYTE> tile(*ScreenTileBytes(params));
  LONG side = 0;
  BuildScreen(params, tile.data(), tile.size(), &side);
  Plane plane;
  // Enlarged: the upper-left part of the picture at 1 / scale of the page.
  const DensityImage src{d.data(), kWidth / scale, kHeight / scale, kWidth};
  for (auto _ : state) {
    DitherByScreen({}, src, plane.view(), {0, 0, kWidth - 1, kHeight - 1}, {tile.data(), side});
    benchmark::DoNotOptimize(plane.bits.data());
  }
  PerPixel(state, kPixels);
}

void BM_PamditherbwCluster8(benchmark::State& state) {
  RunPeer(state, "pamditherbw -cluster8 " + PeerGrey() + " > /dev/null");
}

void BM_ConvertToDensity24(benchmark::State& state) {
  auto* pdev = new RenderPdev{};
  pdev->contrast = 6;  // contrast and brightness: the tone table is in use
  pdev->brightness = 3;
  pdev->drawing.rop4 = 0xCCCC;
  const auto& rgb = PhotoRgb();
  std::vector<BYTE> out(size_t(kWidth) * kHeight);
  const PdevRect rect{0, 0, kWidth - 1, kHeight - 1};
  for (auto _ : state) {
    ConvertToDensity(pdev, rgb.data(), rect, kWidth * 3, out.data(), rect, kWidth, nullptr, 0, BMF_24BPP);
    benchmark::DoNotOptimize(out.data());
  }
  PerPixel(state, kPixels);
  delete pdev;
}

void BM_GhostscriptRgbToPbm(benchmark::State& state) {
  const std::string dir = Scratch();
  RunPeer(state, "gs -q -dNOPAUSE -dBATCH -dSAFER --permit-file-read=" + dir + "/ -sDEVICE=pbmraw -r600 -g" +
                     std::to_string(kWidth) + "x" + std::to_string(kHeight) + " -sOutputFile=/dev/null " +
                     PeerPostScript());
}

double Best(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }

}  // namespace

BENCHMARK(BM_DiffuseError)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_PamditherbwFs)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_DitherByScreen)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_PamditherbwCluster8)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_ConvertToDensity24)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(3)->ComputeStatistics("best", Best);
BENCHMARK(BM_GhostscriptRgbToPbm)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)->ComputeStatistics("best", Best);

BENCHMARK_MAIN();
