// Pages through the rendering plug-in under the stand-in core driver against
// the classic library in the same run: A3 600-dpi two-drum pages, blank and
// the test page, jobs of ten pages; the peer is a memset of the plug-in's
// 24-bit shadow page (209 MB at A3 600 dpi). Each page of a job is timed on
// its own: the first one from the enabled device to its SendPage (the
// shadow page is made then), the later ones from SendPage to SendPage (the
// kept page whitened where the last one drew). Each job also runs once in a
// child process, before any bench, for its peak resident size.
//
//   bench_plugin_page_bench [--benchmark_repetitions=5]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plat/gdi.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plugincommon/plugin_devmode.h"
#include "printjob/printer_setup.h"
#include "printjob/test_page.h"
#include "settings/private_devmode.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPrinter[] = u"Bench Printer";
constexpr int kPages = 10;
const fs::path kLib = LIB_DIR_STR;
// A3 at 600 dpi: the shadow page of the printable area, 3 bytes a pixel.
constexpr std::size_t kShadowBytes = std::size_t{7016} * 9921 * 3;

struct Setup {
  HANDLE printer = nullptr;
  PrivateDevmode dm{};
  bool ok = false;
  Setup() {
    const fs::path root = fs::temp_directory_path() / ("plugin_page_bench_" + std::to_string(::getpid()));
    if (!printjob::SetUpMachine(root).empty()) return;
    const printjob::PrinterFiles files{fs::path(MODELS_DIR_STR) / "NEVO2600.RDF",
                                       fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL", kLib / "classicui.so", true};
    const printjob::PluginFiles plugins{kLib / (std::string(PLUGINRENDER_STR) + ".so"), {}};
    if (!printjob::SetUpPrinter(files, kPrinter, u"LPT1:", plugins).empty()) return;
    if (!OpenPrinterW(kPrinter, &printer, nullptr)) return;
    auto stored = plat::spooler::GetData(kPrinter, u"DefaultDevmode");
    if (!stored || stored->bytes.size() != sizeof dm) return;
    std::memcpy(&dm, stored->bytes.data(), sizeof dm);
    // A3 by its size, 600 dpi, two inks on both drums.
    dm.Public.dmPaperSize = DMPAPER_USER;
    dm.Public.dmPaperWidth = 2970;
    dm.Public.dmPaperLength = 4200;
    // By its size alone: the plug-in takes a form name before the size.
    dm.Public.dmFields = (dm.Public.dmFields & ~DM_FORMNAME) | DM_PAPERWIDTH | DM_PAPERLENGTH;
    dm.Settings.FreeWidth = 297000;  // an application's page record, when it applies, says the same
    dm.Settings.FreeLength = 420000;
    dm.XResolution = 600;
    dm.YResolution = 600;
    dm.Settings.ColorMode = 2;
    dm.Settings.Seihan = 2;
    ok = true;
  }
};

Setup& TheSetup() {
  static Setup setup;
  return setup;
}

std::vector<BYTE> DevmodeFor(bool plugin) {
  const PrivateDevmode& dm = TheSetup().dm;
  const auto* bytes = reinterpret_cast<const BYTE*>(&dm);
  if (!plugin) return std::vector<BYTE>(bytes, bytes + sizeof dm);
  DEVMODEW pub = dm.Public;
  pub.dmDriverExtra = static_cast<WORD>(oemdm::kSize);
  std::vector<BYTE> out(kPublicDevmodeSize + oemdm::kSize);
  std::memcpy(out.data(), &pub, kPublicDevmodeSize);
  oemdm::WriteHeader(out.data() + kPublicDevmodeSize, oemdm::kOwnHeader);
  std::memcpy(out.data() + kPublicDevmodeSize + oemdm::kPrivateBlock, bytes + kPublicDevmodeSize, kPrivateDevmodeExtra);
  return out;
}

// Times of one job's pages, ms: [0] the first page, then the later ones.
using PageTimes = std::vector<double>;

// One job of `pages` pages; false when it fails.
bool RunJob(bool plugin, bool testPage, int pages = kPages, PageTimes* times = nullptr) {
  DWORD error = 0;
  auto driver =
      plat::print_host::Driver::Load(plat::u16((kLib / (plugin ? "coredriver.so" : "classicrender.so")).string()), &error);
  if (!driver) return false;
  plat::print_host::Job job;
  job.printer = TheSetup().printer;
  job.deviceName = kPrinter;
  job.port = u"LPT1:";
  job.pages = pages;
  job.devmode = DevmodeFor(plugin);
  job.drawPage = [plugin, testPage](const plat::print_host::PageContext& page) {
    return !testPage || printjob::DrawTestPage(page.surface, page.index, 600, !plugin) == TRUE;
  };
  using Clock = std::chrono::steady_clock;
  Clock::time_point last = Clock::now();
  if (times) {
    times->clear();
    job.onEnable = [&last](const GDIINFO&, const DEVINFO&, const std::vector<HSURF>&) { last = Clock::now(); };
    job.afterPage = [&last, times](int) {
      const Clock::time_point now = Clock::now();
      times->push_back(std::chrono::duration<double, std::milli>(now - last).count());
      last = now;
    };
  }
  const bool ok = plat::print_host::RunJob(*driver, job).ok;
  plat::spooler::ClearOutput(kPrinter);
  return ok && (!times || times->size() == static_cast<std::size_t>(pages));
}

// Every job's page times by bench name, over all repetitions.
std::map<std::string, std::vector<PageTimes>>& Samples() {
  static std::map<std::string, std::vector<PageTimes>> samples;
  return samples;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

void Job(benchmark::State& state, const char* name, bool plugin, bool testPage) {
  if (!TheSetup().ok) {
    state.SkipWithError("no printer");
    return;
  }
  std::vector<PageTimes>& samples = Samples()[name];
  std::vector<double> first, later;
  for (auto _ : state) {
    PageTimes times;
    if (!RunJob(plugin, testPage, kPages, &times)) {
      state.SkipWithError("the job failed");
      break;
    }
    first.push_back(times[0]);
    later.insert(later.end(), times.begin() + 1, times.end());
    samples.push_back(std::move(times));
  }
  state.counters["first ms"] = Median(first);
  state.counters["later ms"] = Median(later);
}

void BM_ClassicBlank(benchmark::State& s) { Job(s, "BM_ClassicBlank", false, false); }
void BM_PluginBlank(benchmark::State& s) { Job(s, "BM_PluginBlank", true, false); }
void BM_ClassicTestPage(benchmark::State& s) { Job(s, "BM_ClassicTestPage", false, true); }
void BM_PluginTestPage(benchmark::State& s) { Job(s, "BM_PluginTestPage", true, true); }

// The peer: whitening the whole shadow page once.
void BM_ShadowMemset(benchmark::State& state) {
  std::vector<BYTE> page(kShadowBytes, 0);
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::memset(page.data(), 0xFF, page.size());
    benchmark::DoNotOptimize(page.data());
    benchmark::ClobberMemory();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  Samples()["BM_ShadowMemset"].push_back(ms);
}

// For the record: the same memset on memory fresh from the system, what a
// new shadow page costs at its first StartPage.
void BM_ShadowMemsetFresh(benchmark::State& state) {
  std::vector<double> ms;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    std::unique_ptr<BYTE[]> page(new BYTE[kShadowBytes]);
    std::memset(page.get(), 0xFF, kShadowBytes);
    benchmark::DoNotOptimize(page.get());
    benchmark::ClobberMemory();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  Samples()["BM_ShadowMemsetFresh"].push_back(ms);
}

BENCHMARK(BM_ClassicBlank)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PluginBlank)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ClassicTestPage)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PluginTestPage)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ShadowMemset)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ShadowMemsetFresh)->Unit(benchmark::kMillisecond)->Iterations(5);

// Peak resident size of a job in a fresh child process, MB.
double PeakMb(bool plugin, bool testPage, int pages) {
  const pid_t child = fork();
  if (child == 0) _exit(RunJob(plugin, testPage, pages) ? 0 : 1);
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return double(usage.ru_maxrss) / 1024.0;
}

// The medians of the first pages and of the later ones over every job a
// bench ran.
struct PageMedians {
  double first = 0, later = 0;
};
PageMedians MediansOf(const std::string& name) {
  std::vector<double> first, later;
  for (const PageTimes& t : Samples()[name]) {
    if (t.empty()) continue;
    first.push_back(t[0]);
    later.insert(later.end(), t.begin() + 1, t.end());
  }
  return {Median(first), Median(later)};
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!TheSetup().ok) return 1;
  // Resident sizes first, while this process holds nothing the children
  // would inherit.
  const double shadowMb = kShadowBytes / 1048576.0;
  struct Peak {
    double classic, plugin, pluginOnePage;
  } peaks[2];
  for (bool testPage : {false, true})
    peaks[testPage] = {PeakMb(false, testPage, kPages), PeakMb(true, testPage, kPages), PeakMb(true, testPage, 1)};
  benchmark::RunSpecifiedBenchmarks();

  std::printf("the shadow page of an A3 page at 600 dpi: %.0f MB (%.0f MiB; resident sizes are in MiB)\n",
              kShadowBytes / 1e6, shadowMb);
  std::vector<double> memsets;
  for (const PageTimes& t : Samples()["BM_ShadowMemset"]) memsets.insert(memsets.end(), t.begin(), t.end());
  const double memsetMs = Median(memsets);
  std::vector<double> fresh;
  for (const PageTimes& t : Samples()["BM_ShadowMemsetFresh"]) fresh.insert(fresh.end(), t.begin(), t.end());
  const double freshMs = Median(fresh);
  std::printf("memset of the shadow bytes: %.1f ms (median); on fresh memory %.1f ms\n", memsetMs, freshMs);
  const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
  for (bool testPage : {false, true}) {
    const char* what = testPage ? "test" : "blank";
    const PageMedians classic = MediansOf(testPage ? "BM_ClassicTestPage" : "BM_ClassicBlank");
    const PageMedians plugin = MediansOf(testPage ? "BM_PluginTestPage" : "BM_PluginBlank");
    if (classic.first > 0 && plugin.first > 0 && memsetMs > 0) {
      const double firstExtra = plugin.first - classic.first, laterExtra = plugin.later - classic.later;
      std::printf("first %s page: classic %.1f ms, plug-in %.1f ms: +%.2f memsets (goal <= 1, %s; "
                  "+%.2f memsets on fresh memory)\n",
                  what, classic.first, plugin.first, firstExtra / memsetMs, verdict(firstExtra <= memsetMs),
                  freshMs > 0 ? firstExtra / freshMs : 0.0);
      // A later test page draws on every row again: no goal, the figure alone.
      if (testPage)
        std::printf("later %s pages: classic %.1f ms, plug-in %.1f ms: +%.2f memsets\n", what, classic.later,
                    plugin.later, laterExtra / memsetMs);
      else
        std::printf("later %s pages: classic %.1f ms, plug-in %.1f ms: +%.2f memsets (goal <= 0.2, %s)\n", what,
                    classic.later, plugin.later, laterExtra / memsetMs, verdict(laterExtra <= 0.2 * memsetMs));
    }
    const Peak& p = peaks[testPage];
    if (p.classic > 0 && p.plugin > 0)
      std::printf("peak RSS of %d %s pages: classic %.0f MiB, plug-in %.0f MiB (one page %.0f MiB): +%.2f shadow pages "
                  "(goal <= 1.15, %s)\n",
                  kPages, what, p.classic, p.plugin, p.pluginOnePage, (p.plugin - p.classic) / shadowMb,
                  verdict(p.plugin - p.classic <= 1.15 * shadowMb));
    else
      std::printf("peak RSS of %d %s pages: a job failed\n", kPages, what);
  }
  benchmark::Shutdown();
  return 0;
}
