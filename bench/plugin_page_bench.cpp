// Pages through the rendering plug-in under the stand-in core driver against
// the classic library in the same run: A3 600-dpi two-drum pages, blank and
// the test page, jobs of ten pages; the peer is a memset of the plug-in's
// 24-bit shadow page (209 MB at A3 600 dpi). Each job also runs once in a
// child process for its peak resident size.
//
//   bench_plugin_page_bench [--benchmark_repetitions=3]
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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

// One job of kPages pages; false when it fails.
bool RunJob(bool plugin, bool testPage) {
  DWORD error = 0;
  auto driver =
      plat::print_host::Driver::Load(plat::u16((kLib / (plugin ? "coredriver.so" : "classicrender.so")).string()), &error);
  if (!driver) return false;
  plat::print_host::Job job;
  job.printer = TheSetup().printer;
  job.deviceName = kPrinter;
  job.port = u"LPT1:";
  job.pages = kPages;
  job.devmode = DevmodeFor(plugin);
  job.drawPage = [plugin, testPage](const plat::print_host::PageContext& page) {
    return !testPage || printjob::DrawTestPage(page.surface, page.index, 600, !plugin) == TRUE;
  };
  const bool ok = plat::print_host::RunJob(*driver, job).ok;
  plat::spooler::ClearOutput(kPrinter);
  return ok;
}

void Job(benchmark::State& state, bool plugin, bool testPage) {
  if (!TheSetup().ok) {
    state.SkipWithError("no printer");
    return;
  }
  double ms = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!RunJob(plugin, testPage)) state.SkipWithError("the job failed");
    ms += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  }
  state.counters["ms/page"] = ms / (double(state.iterations()) * kPages);
}

void BM_ClassicBlank(benchmark::State& s) { Job(s, false, false); }
void BM_PluginBlank(benchmark::State& s) { Job(s, true, false); }
void BM_ClassicTestPage(benchmark::State& s) { Job(s, false, true); }
void BM_PluginTestPage(benchmark::State& s) { Job(s, true, true); }

// The peer: whitening the whole shadow page once.
void BM_ShadowMemset(benchmark::State& state) {
  std::vector<BYTE> page(kShadowBytes, 0);
  for (auto _ : state) {
    std::memset(page.data(), 0xFF, page.size());
    benchmark::DoNotOptimize(page.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(BM_ClassicBlank)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PluginBlank)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ClassicTestPage)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_PluginTestPage)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ShadowMemset)->Unit(benchmark::kMillisecond);

// Peak resident size of one job in a child process, MB.
double PeakMb(bool plugin, bool testPage) {
  const pid_t child = fork();
  if (child == 0) _exit(RunJob(plugin, testPage) ? 0 : 1);
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  return double(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  if (!TheSetup().ok) return 1;
  std::printf("the shadow page of an A3 page at 600 dpi: %.0f MB\n", kShadowBytes / 1048576.0);
  for (bool testPage : {false, true}) {
    const double classic = PeakMb(false, testPage), plugin = PeakMb(true, testPage);
    std::printf("peak RSS of %d %s pages: classic %.0f MB, plug-in %.0f MB (+%.0f MB)\n", kPages,
                testPage ? "test" : "blank", classic, plugin, plugin - classic);
  }
  benchmark::Shutdown();
  return 0;
}
