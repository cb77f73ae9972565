// EmitSheet on an A3 600-dpi two-drum sheet (both drums carry the same kind
// of plane: blank, a text page or a halftoned photo; orientation 0 and 90)
// writing to a spooler printer, against a memcpy of the same plane and
// libtiff's PackBits encoder over its rows, in the same run. After the
// Google Benchmark table, a summary gives the emitter's time per plane, its
// ratios to both peers and to orientation 0, and the goals; "proto" rows
// time a prototype of a faster line loop that must send the same bytes.
#include <benchmark/benchmark.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench_planes.h"
#include "plat/spooler.h"
#include "render/command_stream.h"
#include "render/packbits.h"
#include "render/sheet_emitter.h"

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

// ---- A prototype of the line loop of one drum page (default settings: no
// thumbnail, no repeat, resolution mode 0), to show where the emitter's time
// goes. It sends the same bytes as EmitSheet; the differences are: dot
// columns without ink anywhere found by one pass over the plane and never
// gathered; the others gathered 128 at a time with SSE2 (a 16 x 16 byte
// transpose, then one movemask per bit) with their ink noted as they are
// built; the clock asked once per 256 lines; rows at orientation 0 whitened
// while they are in cache, instead of a second pass over the plane.

bool RowIsWhite(const BYTE* line, LONG bits) {
  const LONG whole = bits / 8;
  LONG i = 0;
  for (; i + 8 <= whole; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, line + i, 8);
    if (~w) return false;
  }
  for (; i < whole; ++i)
    if (line[i] != 0xFF) return false;
  if (bits & 7) {
    const BYTE mask = static_cast<BYTE>(0xFF << (8 - (bits & 7)));
    if ((line[whole] & mask) != mask) return false;
  }
  return true;
}

// Lines of 128 dot columns from byte column col0, each read from row rows - 1
// up to row 0, ink = 1: line k at out + k * outStride (outStride >= line bytes
// rounded up to even); ink[k] tells whether it has any.
class ColumnStrip {
 public:
  static constexpr int kColumns = 128;
  ColumnStrip(LONG rows) : rows_(rows), lineBytes_(render::RowBytes1bpp(rows)), outStride_(((lineBytes_ + 1) & ~1) + 2) {
    lines_.assign(kColumns * outStride_, 0);
  }
  // columnInk: per byte of a row, the bits that have ink in some row (from
  // one pass over the plane); strips without any are not gathered.
  void Gather(const render::PlaneView& p, LONG col0, bool inverted, const BYTE* columnInk) {
    std::uint16_t ink[kColumns] = {};
    bool anyInk = false;
    for (LONG c = col0; c < col0 + 16 && c < p.stride; ++c) anyInk = anyInk || columnInk[c] != 0;
    if (!anyInk) {
      for (bool& k : ink_) k = false;
      return;
    }
    std::memset(lines_.data(), 0, lines_.size());
#if defined(__SSE2__)
    const __m128i flip = inverted ? _mm_setzero_si128() : _mm_set1_epi8(-1);
    const bool whole = col0 + 16 <= p.stride;
    for (LONG j0 = 0; j0 < rows_; j0 += 16) {
      const LONG r0 = rows_ - 16 - j0;
      __m128i x[16];
      __m128i any = _mm_setzero_si128();
      for (int i = 0; i < 16; ++i) {
        const LONG r = r0 + i;
        __m128i v;
        if (r < 0) {
          v = flip;  // above the plane: white
        } else if (whole) {
          v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p.Row(r) + col0));
        } else {
          alignas(16) BYTE tmp[16];
          std::memset(tmp, inverted ? 0x00 : 0xFF, 16);
          std::memcpy(tmp, p.Row(r) + col0, static_cast<std::size_t>(p.stride - col0));
          v = _mm_load_si128(reinterpret_cast<const __m128i*>(tmp));
        }
        x[i] = _mm_xor_si128(v, flip);
        any = _mm_or_si128(any, x[i]);
      }
      const std::size_t jb = static_cast<std::size_t>(j0 / 8);
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF) continue;
      for (int round = 0; round < 4; ++round) {
        __m128i y[16];
        for (int k = 0; k < 8; ++k) {
          y[2 * k] = _mm_unpacklo_epi8(x[k], x[k + 8]);
          y[2 * k + 1] = _mm_unpackhi_epi8(x[k], x[k + 8]);
        }
        for (int k = 0; k < 16; ++k) x[k] = y[k];
      }
      // x[c] byte i: byte column c of row r0 + i.
      for (int c = 0; c < 16; ++c) {
        for (int b = 0; b < 8; ++b) {
          const auto m = static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_slli_epi64(x[c], b)));
          const BYTE be[2] = {static_cast<BYTE>(m >> 8), static_cast<BYTE>(m)};
          std::memcpy(lines_.data() + (c * 8 + b) * outStride_ + jb, be, 2);
          ink[c * 8 + b] |= m;
        }
      }
    }
#else
    // Plain bit loop where SSE2 is missing.
    for (int k = 0; k < kColumns; ++k) {
      const LONG col = col0 + k / 8;
      if (col >= p.stride) break;
      const BYTE mask = static_cast<BYTE>(0x80 >> (k % 8));
      BYTE* line = lines_.data() + k * outStride_;
      for (LONG j = 0; j < rows_; ++j) {
        if (((p.Row(rows_ - 1 - j)[col] & mask) != 0) == inverted) {
          line[j >> 3] |= static_cast<BYTE>(0x80 >> (j & 7));
          ink[k] = 1;
        }
      }
    }
#endif
    for (int k = 0; k < kColumns; ++k) ink_[k] = ink[k] != 0;
  }
  std::span<BYTE> Line(int k) { return {lines_.data() + k * outStride_, static_cast<std::size_t>(lineBytes_)}; }
  bool Ink(int k) const { return ink_[k]; }

 private:
  LONG rows_;
  LONG lineBytes_;
  std::size_t outStride_;
  std::vector<BYTE> lines_;
  bool ink_[kColumns] = {};
};

DWORD NowSeconds() {
  ENG_TIME_FIELDS t{};
  EngQueryLocalTime(&t);
  return render::ClockSeconds(t.usMinute, t.usSecond);
}

struct ProtoWork {
  std::vector<BYTE> packed;
  std::unique_ptr<ColumnStrip> strip;
  std::vector<std::uint32_t> columnAnd;
  std::vector<BYTE> columnInk;
  DWORD clockBase = 0;
};

bool SendLine(RenderPdev* pdev, ProtoWork& work, std::span<BYTE> line, DWORD counter) {
  if ((counter & 255) == 0) {
    const DWORD now = NowSeconds();
    if (now < work.clockBase) work.clockBase = now;
    if (now - work.clockBase > 1000) {
      if (EngCheckAbort(pdev->surfaceObject)) return false;
      work.clockBase = now;
    }
  }
  std::int16_t mode = pdev->compressionMode;
  const std::size_t n = PackBitsLine(line, work.packed, mode);
  if (n == 0) return true;
  if (mode != pdev->compressionMode && !WriteCompressionMode(pdev, mode)) return false;
  return WriteLinePosition(pdev, static_cast<std::int32_t>(counter)) &&
         WriteRasterLine(pdev, std::span<const BYTE>(work.packed.data(), n));
}

bool ProtoDrumPage(RenderPdev* pdev, ProtoWork& work, int drum, const render::PlaneView& plane) {
  if (!(drum == 1 ? WriteDrum1Ink(pdev) : WriteDrum2Ink(pdev))) return false;
  pdev->compressionMode = 0;
  DWORD counter = 1;
  if (pdev->orientation != 90) {
    const LONG lineBytes = render::RowBytes1bpp(plane.width);
    work.packed.resize(PackBitsBound(static_cast<std::size_t>(lineBytes)));
    for (LONG y = 0; y < plane.height; ++y, ++counter) {
      BYTE* row = plane.Row(y);
      if (RowIsWhite(row, plane.width)) continue;
      render::InvertBytes(row, static_cast<std::size_t>(lineBytes));
      if (plane.width & 7) row[lineBytes - 1] &= static_cast<BYTE>(0xFF << (8 - (plane.width & 7)));
      if (!SendLine(pdev, work, {row, static_cast<std::size_t>(lineBytes)}, counter)) return false;
      std::memset(row, 0xFF, static_cast<std::size_t>(plane.stride));
    }
  } else {
    work.packed.resize(PackBitsBound(static_cast<std::size_t>(render::RowBytes1bpp(plane.height))));
    if (!work.strip) work.strip = std::make_unique<ColumnStrip>(plane.height);
    // Which dot columns have ink anywhere: the AND of every row (ink = 0).
    std::vector<std::uint32_t>& all = work.columnAnd;
    all.assign(static_cast<std::size_t>(plane.stride) / 4, 0xFFFFFFFFu);
    for (LONG y = 0; y < plane.height; ++y) {
      const BYTE* row = plane.Row(y);
      for (std::size_t w = 0; w < all.size(); ++w) {
        std::uint32_t v;
        std::memcpy(&v, row + 4 * w, 4);
        all[w] &= v;
      }
    }
    std::vector<BYTE>& columnInk = work.columnInk;
    columnInk.resize(static_cast<std::size_t>(plane.stride));
    std::memcpy(columnInk.data(), all.data(), columnInk.size());
    for (BYTE& b : columnInk) b = static_cast<BYTE>(~b);
    for (LONG x0 = 0; x0 < plane.width; x0 += ColumnStrip::kColumns) {
      work.strip->Gather(plane, x0 / 8, false, columnInk.data());
      for (int k = 0; k < ColumnStrip::kColumns && x0 + k < plane.width; ++k, ++counter) {
        if (!work.strip->Ink(k)) continue;
        if (!SendLine(pdev, work, work.strip->Line(k), counter)) return false;
      }
    }
    std::memset(plane.bits, 0xFF, static_cast<std::size_t>(plane.stride) * static_cast<std::size_t>(plane.height));
  }
  return WriteFormFeed(pdev) != 0;
}

// Both drum pages of a sheet after the first (no job header).
bool ProtoSheet(RenderPdev* pdev, ProtoWork& work) {
  work.clockBase = NowSeconds();
  if (!AllocateOutputBuffer(pdev)) return false;
  const bool ok = ProtoDrumPage(pdev, work, 1, render::DrumPlane(pdev, 1)) &&
                  ProtoDrumPage(pdev, work, 2, render::DrumPlane(pdev, 2)) && FlushOutputAll(pdev);
  if (ok) ++pdev->sheetCounter;
  return ok;
}

void BM_ProtoSheet(benchmark::State& state, Kind kind, int orientation) {
  const Source& src = SourceOf(kind, orientation);
  Device device(orientation);
  // The prototype must send what EmitSheet sends for a second sheet.
  device.Draw(src.device);
  EmitSheet(device.Pdev());
  plat::spooler::ClearOutput(kPrinter);
  device.Draw(src.device);
  EmitSheet(device.Pdev());
  const std::vector<BYTE> expected = plat::spooler::Output(kPrinter);
  plat::spooler::ClearOutput(kPrinter);
  ProtoWork work;
  device.Draw(src.device);
  if (!ProtoSheet(device.Pdev(), work) || plat::spooler::Output(kPrinter) != expected) {
    state.SkipWithError("the prototype sends other bytes than EmitSheet");
    return;
  }
  for (auto _ : state) {
    state.PauseTiming();
    device.Draw(src.device);
    plat::spooler::ClearOutput(kPrinter);
    state.ResumeTiming();
    if (!ProtoSheet(device.Pdev(), work)) {
      state.SkipWithError("prototype failed");
      break;
    }
  }
  SetPlaneRate(state, src.device.size(), 2);
}

// Keeps the fastest CPU and real time of each benchmark (over repetitions)
// in milliseconds, for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  struct Best {
    double cpuMs = 0;
    double realMs = 0;
  };
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
      const double scale = 1e3 / benchmark::GetTimeUnitMultiplier(run.time_unit);
      const double cpu = run.GetAdjustedCPUTime() * scale, real = run.GetAdjustedRealTime() * scale;
      auto [it, fresh] = best.try_emplace(run.run_name.function_name, Best{cpu, real});
      if (!fresh) {
        it->second.cpuMs = std::min(it->second.cpuMs, cpu);
        it->second.realMs = std::min(it->second.realMs, real);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, Best> best;
};

void PrintSummary(const SummaryReporter& reporter) {
  // Milliseconds per plane (a sheet carries two).
  auto ms = [&](const char* what, Kind kind, int orientation) {
    auto it = reporter.best.find(Name(what, kind, orientation));
    if (it == reporter.best.end()) return -1.0;
    const bool sheet = std::string(what) == "emit" || std::string(what) == "proto";
    return it->second.cpuMs / (sheet ? 2.0 : 1.0);
  };
  auto ratio = [](double a, double b) { return a > 0 && b > 0 ? a / b : -1.0; };
  std::printf("\nPer plane, fastest CPU time over the repetitions (ms); proto: the prototype line loop\n");
  std::printf("%-6s %-4s %9s %9s %9s %12s %13s %9s %9s %12s %9s\n", "plane", "ori", "emit", "memcpy", "libtiff",
              "emit/memcpy", "libtiff/emit", "o90/o0", "proto", "proto/memcpy", "o90/o0");
  for (int orientation : {0, 90}) {
    for (Kind kind : {Kind::Blank, Kind::Text, Kind::Photo}) {
      const double emit = ms("emit", kind, orientation), copy = ms("memcpy", kind, orientation);
      const double tiff = ms("libtiff", kind, orientation), proto = ms("proto", kind, orientation);
      if (emit < 0 && proto < 0) continue;
      std::printf("%-6s %-4d %9.3f %9.3f %9.3f %12.2f %13.2f %9.2f %9.3f %12.2f %9.2f\n", KindName(kind),
                  orientation, emit, copy, tiff, ratio(emit, copy), ratio(tiff, emit),
                  ratio(emit, ms("emit", kind, 0)), proto, ratio(proto, copy), ratio(proto, ms("proto", kind, 0)));
    }
  }
  struct Goal {
    const char* text;
    double value;
    double limit;
    bool atMost;
  };
  for (const char* what : {"emit", "proto"}) {
    const Goal goals[] = {
        {"text o0: time / memcpy <= 5", ratio(ms(what, Kind::Text, 0), ms("memcpy", Kind::Text, 0)), 5, true},
        {"text o0: libtiff / time >= 3", ratio(ms("libtiff", Kind::Text, 0), ms(what, Kind::Text, 0)), 3, false},
        {"photo o0: time / memcpy <= 20", ratio(ms(what, Kind::Photo, 0), ms("memcpy", Kind::Photo, 0)), 20, true},
        {"blank o90 / o0 <= 2", ratio(ms(what, Kind::Blank, 90), ms(what, Kind::Blank, 0)), 2, true},
        {"text o90 / o0 <= 2", ratio(ms(what, Kind::Text, 90), ms(what, Kind::Text, 0)), 2, true},
        {"photo o90 / o0 <= 2", ratio(ms(what, Kind::Photo, 90), ms(what, Kind::Photo, 0)), 2, true},
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
      benchmark::RegisterBenchmark(Name("proto", kind, orientation).c_str(), BM_ProtoSheet, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("memcpy", kind, orientation).c_str(), BM_Memcpy, kind, orientation)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(Name("libtiff", kind, orientation).c_str(), BM_LibTiff, kind, orientation)
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
