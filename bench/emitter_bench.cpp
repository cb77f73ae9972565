// EmitSheet on an A3 600-dpi two-drum sheet (both drums carry the same kind
// of plane: blank, a text page or a halftoned photo; orientation 0 and 90)
// writing to a spooler printer, against a memcpy of the same plane, a
// read-only pass over it (an OR of all its words) and libtiff's PackBits
// encoder over its rows, in the same run. "write" writes the stream a sheet
// sends to a new file with plain write calls of 64 KiB: what the spooler's
// job writes should cost. "pack" is the emitter's own
// PackBits over the lines the sheet sends, fetched beforehand: the part of
// the emitter's time that depends on the lines' content, not on fetching
// them. After the Google Benchmark table, a summary gives the emitter's time
// per plane, its ratios to the peers and to orientation 0, and the goals.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_planes.h"
#include "bench_summary.h"
#include "plat/spooler.h"
#include "render/command_stream.h"
#include "render/packbits.h"
#include "render/sheet_emitter.h"
#include "render/sheet_kernels.h"

namespace {

using benchplanes::Dots;
using benchplanes::Kind;
using benchplanes::KindName;

constexpr char16_t kPrinter[] = u"Bench Duplicator";
constexpr int kDpi = 600;
constexpr long kA3Width = 2970, kA3Length = 4200;  // 0.1 mm

// The source picture of one case: ink = 1 rows (what libtiff compresses) and
// the same plane as the device keeps it (bit 1 white), both of the device's
// stride.
struct Source {
  benchplanes::Plane ink;
  std::vector<std::uint8_t> device;
};

std::uint32_t PlaneWidth(int orientation) { return static_cast<std::uint32_t>(Dots(orientation == 90 ? kA3Length : kA3Width, kDpi)); }
std::uint32_t PlaneHeight(int orientation) { return static_cast<std::uint32_t>(Dots(orientation == 90 ? kA3Width : kA3Length, kDpi)); }
std::size_t PlaneStride(std::uint32_t width) { return ((width + 7) / 8 + 3) & ~std::size_t(3); }

const Source& SourceOf(Kind kind, int orientation) {
  static std::map<std::pair<int, int>, std::unique_ptr<Source>> cache;
  auto& slot = cache[{static_cast<int>(kind), orientation}];
  if (!slot) {
    slot = std::make_unique<Source>();
    const std::uint32_t w = PlaneWidth(orientation), h = PlaneHeight(orientation);
    slot->ink = benchplanes::Plane(w, h, PlaneStride(w));
    std::mt19937 rng(1234);
    if (kind == Kind::Text) benchplanes::FillTextPage(slot->ink, rng);
    if (kind == Kind::Photo) benchplanes::FillPhoto(slot->ink, rng);
    slot->device.resize(slot->ink.bits.size());
    for (std::size_t i = 0; i < slot->device.size(); ++i) slot->device[i] = static_cast<std::uint8_t>(~slot->ink.bits[i]);
  }
  return *slot;
}

// A device record as DrvEnablePDEV and DrvEnableSurface leave it for a
// two-ink A3 job at 600 x 600 dpi, both drums, no margins, no thumbnails,
// printing to the spooler printer; planes and output buffer are reused
// between sheets, as the engine's surface is.
class Device {
 public:
  explicit Device(int orientation) {
    plat::spooler::Reset();
    plat::spooler::PrinterSetup setup;
    setup.name = kPrinter;
    setup.port = u"LPT1:";
    setup.driver.name = u"Duplicator";
    plat::spooler::AddPrinter(setup);
    OpenPrinterW(kPrinter, &printer_, nullptr);
    pdev_ = std::make_unique<RenderPdev>();
    RenderPdev& p = *pdev_;
    p = RenderPdev{};
    p.headSignature = p.tailSignature = kPdevSignature;
    p.printer = printer_;
    p.sink = SpoolerSink(printer_);
    p.jobFile = INVALID_HANDLE_VALUE;
    p.orientation = static_cast<std::int16_t>(orientation);
    p.paperWidth = static_cast<std::uint16_t>(orientation == 90 ? kA3Length : kA3Width);
    p.paperLength = static_cast<std::uint16_t>(orientation == 90 ? kA3Width : kA3Length);
    p.resolutionX = p.resolutionY = kDpi;
    p.copies = 1;
    p.colorMode = 2;
    p.masterSelection = 2;
    p.drumCount = 2;
    p.drum1Ink = 1001;
    p.drum2Ink = 1003;
    p.languageNumber = 1;
    p.planeWidth = static_cast<std::int32_t>(PlaneWidth(orientation));
    p.planeHeight = static_cast<std::int32_t>(PlaneHeight(orientation));
    p.planeStride = static_cast<std::int32_t>(PlaneStride(PlaneWidth(orientation)));
    planeBytes_ = static_cast<std::size_t>(p.planeStride) * static_cast<std::size_t>(p.planeHeight);
    planes_.assign(2 * planeBytes_, 0xFF);
    p.drum2Plane = planes_.data();
    p.drum1Plane = planes_.data() + planeBytes_;
    p.flags = kPdevTwoPlanes;
  }
  ~Device() {
    FreeOutputBuffer(pdev_.get());
    ClosePrinter(printer_);
    plat::spooler::Reset();
  }
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // Draws the sheet: both planes become the source.
  void Draw(const std::vector<std::uint8_t>& plane) {
    std::memcpy(pdev_->drum1Plane, plane.data(), planeBytes_);
    std::memcpy(pdev_->drum2Plane, plane.data(), planeBytes_);
  }
  RenderPdev* Pdev() { return pdev_.get(); }

 private:
  HANDLE printer_ = nullptr;
  std::unique_ptr<RenderPdev> pdev_;
  std::vector<std::uint8_t> planes_;
  std::size_t planeBytes_ = 0;
};

std::string Name(const char* what, Kind kind, int orientation) {
  return std::string(what) + "/" + KindName(kind) + "/o" + std::to_string(orientation);
}

void SetPlaneRate(benchmark::State& state, std::size_t planeBytes, int planesPerIteration) {
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(planeBytes) *
                          planesPerIteration);
}

// One sheet an iteration: two drum pages of the same plane.
void BM_EmitSheet(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  Device device(orientation);
  std::size_t sent = 0;
  // One sheet first, untimed: the planes, the output buffer and the
  // printer's output are then in place, as from the second sheet of a job.
  device.Draw(src.device);
  if (EmitSheet(device.Pdev()) != 1) {
    state.SkipWithError("EmitSheet failed");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    device.Draw(src.device);
    plat::spooler::ClearOutput(kPrinter);
    state.ResumeTiming();
    if (EmitSheet(device.Pdev()) != 1) {
      state.SkipWithError("EmitSheet failed");
      break;
    }
  }
  sent = plat::spooler::Output(kPrinter).size();
  SetPlaneRate(state, src.device.size(), 2);
  state.counters["sent/plane"] = static_cast<double>(sent) / 2.0 / static_cast<double>(src.device.size());
}

// The sheet's stream (two drum pages) written to a new file in the machine's
// temporary folder, as the spooler's job file is: a file write's cost.
void BM_FileWrite(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  std::vector<std::uint8_t> stream;
  {
    Device device(orientation);
    device.Draw(src.device);
    if (EmitSheet(device.Pdev()) != 1) {
      state.SkipWithError("EmitSheet failed");
      return;
    }
    stream = plat::spooler::Output(kPrinter);
  }
  const std::string path =
      (std::filesystem::temp_directory_path() / ("emitter-bench-" + std::to_string(::getpid()) + ".prn")).string();
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
      state.SkipWithError("cannot open the file");
      break;
    }
    for (std::size_t at = 0; at < stream.size();) {
      const ssize_t n = ::write(fd, stream.data() + at, std::min<std::size_t>(stream.size() - at, 65536));
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    ::close(fd);
    state.PauseTiming();
    ::unlink(path.c_str());
    state.ResumeTiming();
  }
  SetPlaneRate(state, src.device.size(), 2);
  state.counters["sent/plane"] = static_cast<double>(stream.size()) / 2.0 / static_cast<double>(src.device.size());
}

void BM_Memcpy(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  std::vector<std::uint8_t> to(src.device.size(), 0xFF);
  for (auto _ : state) {
    std::memcpy(to.data(), src.device.data(), to.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  SetPlaneRate(state, src.device.size(), 1);
}

// The least any pass that looks at every byte of the plane can take.
void BM_OrReduce(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  const std::size_t words = src.device.size() / 8;
  for (auto _ : state) {
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < words; ++i) {
      std::uint64_t w;
      std::memcpy(&w, src.device.data() + 8 * i, 8);
      any |= ~w;
    }
    benchmark::DoNotOptimize(any);
  }
  SetPlaneRate(state, src.device.size(), 1);
}

// The lines a drum page of the plane sends (ink = 1, blank lines left out).
std::vector<std::vector<std::uint8_t>> SentLines(Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  std::vector<std::uint8_t> plane = src.device;
  const auto w = static_cast<LONG>(PlaneWidth(orientation)), h = static_cast<LONG>(PlaneHeight(orientation));
  const render::PlaneView view{plane.data(), w, h, static_cast<LONG>(PlaneStride(PlaneWidth(orientation)))};
  render::LineFetcher fetcher(view, orientation == 90, w, h, false);
  std::vector<std::vector<std::uint8_t>> lines;
  DWORD counter = 1;
  for (std::span<BYTE> line = fetcher.Next(counter); !line.empty(); line = fetcher.Next(++counter))
    lines.emplace_back(line.begin(), line.end());
  return lines;
}

void BM_Pack(benchmark::State& state, Kind kind, int orientation) {
  const std::vector<std::vector<std::uint8_t>> lines = SentLines(kind, orientation);
  std::vector<std::uint8_t> out(PackBitsBound(lines.empty() ? 0 : lines.front().size()));
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = 0;
    for (const auto& line : lines) {
      std::int16_t mode = 0;
      packed += PackBitsLine(line, out, mode);
    }
    benchmark::DoNotOptimize(packed);
  }
  SetPlaneRate(state, SourceOf(kind, orientation).device.size(), 1);
}

void BM_LibTiff(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  benchplanes::MemoryFile file;
  file.data.reserve(2 * src.ink.bits.size());
  std::size_t packed = 0;
  for (auto _ : state) {
    packed = benchplanes::LibTiffPackBits(src.ink, file);
    if (packed == 0) {
      state.SkipWithError("libtiff failed");
      break;
    }
  }
  SetPlaneRate(state, src.ink.bits.size(), 1);
  state.counters["sent/plane"] = static_cast<double>(packed) / static_cast<double>(src.ink.bits.size());
}

using SummaryReporter = benchsupport::MedianReporter;

void PrintSummary(const SummaryReporter& reporter) {
  // Milliseconds per plane (a sheet carries two).
  const auto medians = reporter.Medians();
  auto ms = [&](const char* what, Kind kind, int orientation) {
    auto it = medians.find(Name(what, kind, orientation));
    if (it == medians.end()) return -1.0;
    const bool sheet = std::string(what) == "emit" || std::string(what) == "write";
    return it->second.cpuMs / (sheet ? 2.0 : 1.0);
  };
  auto ratio = [](double a, double b) { return a > 0 && b > 0 ? a / b : -1.0; };
  std::printf("\nPer plane, median CPU time over the repetitions (ms)\n");
  std::printf("%-6s %-4s %9s %9s %9s %9s %9s %9s %12s %9s %13s %9s %12s %11s\n", "plane", "ori", "emit", "memcpy", "or",
              "pack", "write", "libtiff", "emit/memcpy", "emit/or", "libtiff/emit", "o90/o0", "pack o90/o0",
              "emit-write");
  for (int orientation : {0, 90}) {
    for (Kind kind : {Kind::Blank, Kind::Text, Kind::Photo}) {
      const double emit = ms("emit", kind, orientation), copy = ms("memcpy", kind, orientation);
      const double scan = ms("or", kind, orientation), pack = ms("pack", kind, orientation);
      const double tiff = ms("libtiff", kind, orientation), write = ms("write", kind, orientation);
      if (emit < 0) continue;
      std::printf("%-6s %-4d %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %12.2f %9.2f %13.2f %9.2f %12.2f %11.3f\n",
                  KindName(kind), orientation, emit, copy, scan, pack, write, tiff, ratio(emit, copy),
                  ratio(emit, scan), ratio(tiff, emit), ratio(emit, ms("emit", kind, 0)),
                  ratio(pack, ms("pack", kind, 0)), write >= 0 ? emit - write : -1.0);
    }
  }
  struct Goal {
    const char* text;
    double value;
    double limit;
    bool atMost;
  };
  {
    const char* what = "emit";
    const Goal goals[] = {
        {"text o0: time / memcpy <= 5", ratio(ms(what, Kind::Text, 0), ms("memcpy", Kind::Text, 0)), 5, true},
        {"text o0: libtiff / time >= 3", ratio(ms("libtiff", Kind::Text, 0), ms(what, Kind::Text, 0)), 3, false},
        {"text o0: time / (pack + write) <= 1.5",
         ratio(ms(what, Kind::Text, 0), ms("pack", Kind::Text, 0) + ms("write", Kind::Text, 0)), 1.5, true},
        {"photo o0: time / memcpy <= 20", ratio(ms(what, Kind::Photo, 0), ms("memcpy", Kind::Photo, 0)), 20, true},
        {"blank o0: time / or <= 3", ratio(ms(what, Kind::Blank, 0), ms("or", Kind::Blank, 0)), 3, true},
        {"blank o90: time / or <= 3", ratio(ms(what, Kind::Blank, 90), ms("or", Kind::Blank, 90)), 3, true},
        {"blank o90 / o0 <= 1.5", ratio(ms(what, Kind::Blank, 90), ms(what, Kind::Blank, 0)), 1.5, true},
        {"text o90 / o0 <= 1.5", ratio(ms(what, Kind::Text, 90), ms(what, Kind::Text, 0)), 1.5, true},
        {"photo o90 / o0 <= 1.5", ratio(ms(what, Kind::Photo, 90), ms(what, Kind::Photo, 0)), 1.5, true},
    };
    std::printf("\nGoals (%s):\n", what);
    for (const Goal& g : goals) {
      if (g.value < 0) continue;
      const bool met = g.atMost ? g.value <= g.limit : g.value >= g.limit;
      std::printf("  %-32s %7.2f  %s\n", g.text, g.value, met ? "met" : "MISSED");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  for (int orientation : {0, 90}) {
    for (Kind kind : {Kind::Blank, Kind::Text, Kind::Photo}) {
      benchmark::RegisterBenchmark(Name("emit", kind, orientation).c_str(), BM_EmitSheet, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("memcpy", kind, orientation).c_str(), BM_Memcpy, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("or", kind, orientation).c_str(), BM_OrReduce, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("pack", kind, orientation).c_str(), BM_Pack, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("libtiff", kind, orientation).c_str(), BM_LibTiff, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("write", kind, orientation).c_str(), BM_FileWrite, kind, orientation)
          ->Unit(benchmark::kMillisecond);
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
