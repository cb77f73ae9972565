// printjob: runs one print job through the classic driver inside the platform
// model. It creates a printer from a model data file, initialises it through
// classicui's DrvPrinterEvent, takes its "DefaultDevmode", applies the
// command line, runs the job through classicrender under the print host and
// writes what reached the spooler to a file, with one summary line per sheet.
// A preview or storage job goes to its job file instead (the spooler then
// receives nothing); printjob names that file and summarises it.
//
//   printjob [--model FILE.RDF] [--resources NEVORES.DLL] [--ui classicui.so]
//            [--render classicrender.so] [--out job.prn] [--root DIR]
//            [--pages N] [--copies N] [--paper ID|WIDTHxLENGTH]
//            [--orientation portrait|landscape] [--drive E=removable:FAT32[:LABEL]]...
//            [--storage E] [--preview] [--set NAME=VALUE]... [--draw FILE] [--printer NAME]
//
// The model data file and the resource library default to the samples in
// share/nevo beside the executable's folder (the build tree and an install
// prefix lay them out alike); the drivers to lib/ there.
//
// --draw draws every page from a drawing script (printjob/draw_script.h)
// instead of the test page; a bad script line stops with exit 2 naming it.
// --drive adds a drive to the machine (a folder under the machine root);
// --storage E adds E: as a removable FAT32 drive unless --drive says
// otherwise and stores the job in its folder 1 (OutputMode 3, UsbDrive E:\,
// UsbFolder 1; --set changes any of them); --preview sets Preview 1. A
// storage job's drive gets the job-folder tree when it has none, as the
// printer's property sheets would have made it.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/draw_script.h"
#include "printjob/job_destination.h"
#include "printjob/job_output.h"
#include "printjob/printer_setup.h"
#include "printjob/settings_options.h"
#include "printjob/stream_summary.h"
#include "printjob/test_page.h"
#include "render/job_files.h"
#include "render/sheet_emitter.h"
#include "settings/private_devmode.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitJobFailed = 1;
constexpr int kExitUsage = 2;
constexpr char16_t kPrinterName[] = u"NEVO Printer";
constexpr char16_t kPortName[] = u"LPT1:";

struct Options {
  fs::path model;
  fs::path resources;
  fs::path ui;
  fs::path render;
  fs::path out = "job.prn";
  fs::path root;
  std::u16string printer;  // an installed printer of the root; empty: printjob's own
  std::u16string port = kPortName;
  int pages = 1;
  std::optional<int> copies;
  std::optional<std::string> paper;
  std::optional<std::string> orientation;
  std::vector<plat::machine::Drive> drives;
  std::optional<char16_t> storage;
  bool preview = false;
  std::vector<std::pair<std::string, std::string>> sets;
  fs::path draw;  // a drawing script for every page instead of the test page
  std::vector<printjob::DrawCommand> script;
};

int Usage(const char* why) {
  std::fprintf(stderr, "printjob: %s\n", why);
  std::fprintf(stderr,
               "usage: printjob [--model FILE.RDF] [--resources FILE] [--ui LIB] [--render LIB] [--out FILE]\n"
               "                [--root DIR] [--pages N] [--copies N] [--paper ID|WIDTHxLENGTH]\n"
               "                [--orientation portrait|landscape] [--drive E=removable:FAT32[:LABEL]]...\n"
               "                [--storage E] [--preview] [--set NAME=VALUE]... [--draw FILE]\n"
               "                [--printer NAME]\n");
  return kExitUsage;
}

std::optional<long> Number(std::string_view text, long lo, long hi) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

// Parses the command line; an error text on failure.
std::string Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&](std::string& out) -> bool {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") return "help";
    if (a == "--preview") {
      o.preview = true;
      continue;
    }
    if (a != "--model" && a != "--resources" && a != "--ui" && a != "--render" && a != "--out" && a != "--root" &&
        a != "--pages" && a != "--copies" && a != "--paper" && a != "--orientation" && a != "--set" &&
        a != "--drive" && a != "--storage" && a != "--draw" &&
        a != "--printer")
      return "unknown option " + std::string(a);
    if (!value(v)) return std::string(a) + " needs a value";
    if (a == "--model")
      o.model = v;
    else if (a == "--resources")
      o.resources = v;
    else if (a == "--ui")
      o.ui = v;
    else if (a == "--render")
      o.render = v;
    else if (a == "--printer")
      o.printer = plat::u16(v);
    else if (a == "--out")
      o.out = v;
    else if (a == "--root")
      o.root = v;
    else if (a == "--draw")
      o.draw = v;
    else if (a == "--pages") {
      auto n = Number(v, 0, 9999);
      if (!n) return "--pages takes 0..9999";
      o.pages = static_cast<int>(*n);
    } else if (a == "--copies") {
      auto n = Number(v, 1, 9999);
      if (!n) return "--copies takes 1..9999";
      o.copies = static_cast<int>(*n);
    } else if (a == "--paper") {
      o.paper = v;
    } else if (a == "--orientation") {
      if (v != "portrait" && v != "landscape") return "--orientation takes portrait or landscape";
      o.orientation = v;
    } else if (a == "--drive") {
      plat::machine::Drive drive;
      std::string why = printjob::ParseDriveOption(v, drive);
      if (!why.empty()) return why;
      std::erase_if(o.drives, [&](const plat::machine::Drive& d) { return d.letter == drive.letter; });
      o.drives.push_back(drive);
    } else if (a == "--storage") {
      auto letter = printjob::ParseDriveLetter(v);
      if (!letter || *letter < u'D') return "--storage takes a drive letter D..Z";
      o.storage = letter;
    } else {
      std::size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) return "--set takes NAME=VALUE";
      o.sets.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    }
  }
  return {};
}

std::string ApplyOptions(const Options& o, PrivateDevmode& dm) {
  // --storage and --preview first, so that --set can change what they set.
  if (o.storage) {
    const std::u16string root = printjob::DriveRoot(*o.storage);
    dm.Settings.OutputMode = static_cast<std::uint8_t>(OutputMode::StorageFolder);
    std::fill(std::begin(dm.Settings.UsbDrive), std::end(dm.Settings.UsbDrive), 0);
    std::copy(root.begin(), root.end(), dm.Settings.UsbDrive);
    dm.Settings.UsbFolder = 1;
  }
  if (o.preview) dm.Settings.Preview = 1;
  std::span<std::uint8_t> settings(reinterpret_cast<std::uint8_t*>(&dm.Settings), sizeof(dm.Settings));
  for (const auto& [name, value] : o.sets) {
    std::string why = printjob::SetDocSetting(settings, name, value);
    if (!why.empty()) return why;
  }
  if (o.copies) {
    dm.Public.dmCopies = static_cast<SHORT>(*o.copies);
    dm.Settings.Copies = *o.copies;
  }
  if (o.orientation) {
    bool landscape = *o.orientation == "landscape";
    dm.Public.dmOrientation = landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    dm.Settings.Landscape = landscape ? 1 : 0;
  }
  if (o.paper) {
    const std::string& p = *o.paper;
    std::size_t x = p.find('x');
    if (x == std::string::npos) {
      auto id = Number(p, 1, 32767);
      if (!id || *id == DMPAPER_USER) return "--paper takes a paper id or WIDTHxLENGTH in 0.1 mm";
      dm.Public.dmPaperSize = static_cast<SHORT>(*id);
    } else {
      auto w = Number(p.substr(0, x), 1, 32767);
      auto l = Number(p.substr(x + 1), 1, 32767);
      if (!w || !l) return "--paper takes a paper id or WIDTHxLENGTH in 0.1 mm";
      dm.Public.dmPaperSize = DMPAPER_USER;
      dm.Public.dmPaperWidth = static_cast<SHORT>(*w);
      dm.Public.dmPaperLength = static_cast<SHORT>(*l);
      dm.Settings.FreeWidth = static_cast<std::int32_t>(*w * 100);
      dm.Settings.FreeLength = static_cast<std::int32_t>(*l * 100);
    }
  }
  return {};
}

void ReportFailure(const plat::print_host::Result& result) {
  std::fprintf(stderr, "printjob: the job failed%s%s (error %u)\n", result.failedEntry.empty() ? "" : " in ",
               result.failedEntry.c_str(), static_cast<unsigned>(result.error));
}

// The drivers and the sample data beside the executable's folder, unless
// the command line names them.
void FillDefaultPaths(Options& o, const fs::path& bin) {
  const fs::path prefix = bin.parent_path();
  const fs::path data = prefix / "share" / "nevo";
  if (o.model.empty()) o.model = data / "models" / "NEVO2600.RDF";
  if (o.resources.empty()) o.resources = data / "resources" / "NEVORES.DLL";
  if (o.ui.empty()) o.ui = prefix / "lib" / "classicui.so";
  if (o.render.empty()) o.render = prefix / "lib" / "classicrender.so";
}

// The machine root (given, or a fresh temporary folder) with its drives;
// --storage adds its drive unless --drive did. An error text on failure.
std::string PrepareMachine(Options& o, fs::path& tempRoot) {
  std::error_code ec;
  if (o.root.empty()) {
    std::random_device rd;
    tempRoot = fs::temp_directory_path(ec) / ("printjob-" + std::to_string(rd()));
    o.root = tempRoot;
  }
  if (std::string why = printjob::SetUpMachine(o.root); !why.empty()) return why;
  std::vector<plat::machine::Drive> drives = o.drives;
  if (o.storage && std::none_of(drives.begin(), drives.end(),
                                [&](const plat::machine::Drive& d) { return d.letter == *o.storage; })) {
    drives.push_back(plat::machine::Drive{*o.storage, DRIVE_REMOVABLE, u"FAT32", u"", 0});
  }
  for (const plat::machine::Drive& d : drives) plat::machine::AddDrive(d);
  return {};
}

// The printer of the model, initialised through classicui as the spooler
// would at installation. An error text on failure.
std::string AddModelPrinter(const Options& o) {
  if (!fs::is_regular_file(o.model))
    return "no model data file " + o.model.string() + " (give --model FILE.RDF)";
  return printjob::SetUpPrinter({o.model, o.resources, o.ui, false}, kPrinterName, kPortName);
}

std::u16string PrinterOf(const Options& o) { return o.printer.empty() ? std::u16string(kPrinterName) : o.printer; }

// printjob's own printer and its files go when printjob ends, so that a
// persistent machine root keeps only what was installed.
class OwnPrinter {
 public:
  void Take(const Options& o) {
    files_.clear();
    for (const fs::path& f : {o.model, o.resources})
      files_.push_back(std::u16string(printjob::kDriverFolder) + u"\\" + plat::u16(f.filename().string()));
    taken_ = true;
  }
  ~OwnPrinter() {
    if (!taken_) return;
    plat::spooler::RemovePrinter(kPrinterName);
    for (const auto& f : files_) DeleteFileW(f.c_str());
    RemoveDirectoryW(printjob::kDriverFolder);  // when nothing else is in it
  }

 private:
  bool taken_ = false;
  std::vector<std::u16string> files_;
};

// The port and the graphics library of an installed printer. An error text on failure.
std::string UseInstalledPrinter(Options& o) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(o.printer.c_str(), &h, nullptr)) return "no installed printer " + plat::utf8(o.printer);
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed ? needed : 1);
  bool ok = GetPrinterW(h, 2, info.data(), needed, &needed);
  if (ok) o.port = plat::view(reinterpret_cast<const PRINTER_INFO_2W*>(info.data())->pPortName);
  GetPrinterDriverW(h, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> driver(needed ? needed : 1);
  ok = ok && GetPrinterDriverW(h, nullptr, 3, driver.data(), needed, &needed);
  ClosePrinter(h);
  if (!ok) return "cannot read the installed printer " + plat::utf8(o.printer);
  // The graphics library is loaded by its host path.
  o.render = plat::machine::HostPath(plat::view(reinterpret_cast<const DRIVER_INFO_3W*>(driver.data())->pDriverPath));
  return {};
}

// The printer's "DefaultDevmode" with the command line applied. An error
// text on failure.
std::string BuildJobDevmode(const Options& o, PrivateDevmode& dm) {
  auto stored = plat::spooler::GetData(PrinterOf(o), u"DefaultDevmode");
  if (!stored || stored->bytes.size() != sizeof(PrivateDevmode)) return "the printer has no usable \"DefaultDevmode\"";
  std::memcpy(&dm, stored->bytes.data(), sizeof(dm));
  return ApplyOptions(o, dm);
}

// What the job run through classicrender left behind.
struct JobRun {
  plat::print_host::Result result;
  int drumPagesPerSheet = 1;
};

// Runs the job under the print host. An error text when it cannot start.
std::string RunJob(const Options& o, const PrivateDevmode& dm, JobRun& run) {
  DWORD error = 0;
  auto driver = plat::print_host::Driver::Load(plat::u16(o.render.string()), &error);
  if (!driver) return "cannot load " + o.render.string() + " (error " + std::to_string(error) + ")";
  HANDLE printer = nullptr;
  const std::u16string name = PrinterOf(o);
  if (!OpenPrinterW(name.c_str(), &printer, nullptr)) return "cannot open the printer";
  plat::print_host::Job job;
  job.printer = printer;
  job.deviceName = name;
  job.port = o.port;
  job.devmode.resize(sizeof(dm));
  std::memcpy(job.devmode.data(), &dm, sizeof(dm));
  job.documentName = u"printjob test page";
  job.pages = o.pages;
  int drumPages = 0;
  job.drawPage = [&drumPages, &o](const plat::print_host::PageContext& page) {
    // The device record says how many drum pages make a sheet of this job.
    if (drumPages == 0) drumPages = DrumPagesPerSheet(reinterpret_cast<const RenderPdev*>(page.pdev));
    if (!o.draw.empty()) return printjob::DrawScriptPage(page.surface, o.script);
    const auto* pdev = reinterpret_cast<const RenderPdev*>(page.pdev);
    return printjob::DrawTestPage(page.surface, page.index, pdev ? pdev->resolutionY : 300) == TRUE;
  };
  run.result = plat::print_host::RunJob(*driver, job);
  run.drumPagesPerSheet = std::max(drumPages, 1);
  ClosePrinter(printer);
  return {};
}

// The job file the driver wrote for a preview or storage job: its Windows
// and host paths, empty when there is none. Storage job files are created new
// and never overwritten: the job's is the one that was not there before.
std::pair<std::u16string, std::string> FindJobFile(JobOutput output,
                                                   const std::map<std::string, std::u16string>& before) {
  if (output == JobOutput::PreviewFile) {
    const std::u16string windows = PreviewFilePath(plat::spooler::LastJobId());
    std::string host = windows.empty() ? std::string() : plat::machine::HostPath(windows);
    std::error_code ec;
    if (!fs::is_regular_file(host, ec)) host.clear();
    return {windows, host};
  }
  for (const auto& [host, windows] : printjob::StorageJobFiles())
    if (!before.contains(host)) return {windows, host};
  return {};
}

const char* OutputName(JobOutput output) { return output == JobOutput::PreviewFile ? "preview" : "storage"; }

// The summary lines of the stream; the exit code of the job.
int Report(const Options& o, const JobRun& run, JobOutput output, std::uintmax_t spooled,
           const std::string& streamFile, const std::u16string& jobFile, const std::string& jobFileHost) {
  std::size_t streamBytes = 0;
  const printjob::StreamSummary summary = printjob::SummarizeFile(streamFile, streamBytes);
  for (const std::string& line : printjob::SheetLines(summary, run.drumPagesPerSheet))
    std::printf("%s\n", line.c_str());
  if (output == JobOutput::Spooler) {
    std::printf("%d pages, %zu drum pages, %zu bytes to %s\n", run.result.pagesSent, summary.drumPages.size(),
                static_cast<std::size_t>(spooled), o.out.string().c_str());
  } else {
    std::printf("%s job file %s\n", OutputName(output), plat::utf8(jobFile).c_str());
    std::printf("%d pages, %zu drum pages, %zu bytes to %s\n", run.result.pagesSent, summary.drumPages.size(),
                streamBytes, jobFileHost.c_str());
    std::printf("%zu bytes to %s (the spooler receives nothing from a file job)\n", static_cast<std::size_t>(spooled),
                o.out.string().c_str());
  }
  if (!summary.wellFormed) std::fprintf(stderr, "printjob: the stream does not decode as commands\n");
  if (!run.result.ok) {
    ReportFailure(run.result);
    return kExitJobFailed;
  }
  return summary.wellFormed ? 0 : kExitJobFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string why = Parse(argc, argv, o);
  if (why == "help") {
    Usage("prints a test job");
    return 0;
  }
  if (!why.empty()) return Usage(why.c_str());
  if (!o.draw.empty()) {
    std::ifstream in(o.draw);
    if (!in) return Usage(("cannot read " + o.draw.string()).c_str());
    if (!printjob::ParseDrawScript(in, o.script, why)) return Usage((o.draw.string() + " " + why).c_str());
  }
  FillDefaultPaths(o, printjob::ExecutableFolder(argv[0]));

  fs::path tempRoot;
  why = PrepareMachine(o, tempRoot);
  printjob::TempRoot cleanup(tempRoot);
  if (!why.empty()) return Usage(why.c_str());
  OwnPrinter own;
  if (o.printer.empty()) {
    own.Take(o);
    why = AddModelPrinter(o);
  } else {
    why = UseInstalledPrinter(o);
  }
  if (!why.empty()) return Usage(why.c_str());

  PrivateDevmode dm;
  why = BuildJobDevmode(o, dm);
  if (!why.empty()) return Usage(why.c_str());
  const JobOutput output = JobOutputOf(dm.Settings.Preview, static_cast<OutputMode>(dm.Settings.OutputMode));
  if (output == JobOutput::StorageFile) {
    std::u16string storageRoot;
    why = printjob::PrepareStorageDrive(dm.Settings, &storageRoot);
    if (!why.empty()) return Usage(why.c_str());
  }
  const auto jobFilesBefore = printjob::StorageJobFiles();

  JobRun run;
  why = RunJob(o, dm, run);
  if (!why.empty()) return Usage(why.c_str());

  // The spooler's own spool file of the job becomes --out; nothing of it is held in memory.
  const std::optional<std::uintmax_t> spooled =
      printjob::CopySpoolFile(plat::spooler::JobSpoolFile(plat::spooler::LastJobId()), o.out);
  if (!spooled) {
    std::fprintf(stderr, "printjob: cannot write %s\n", o.out.string().c_str());
    return kExitJobFailed;
  }
  // Copied out, the job has printed: the spooler lets go of its spool file.
  if (!o.printer.empty()) plat::spooler::ClearOutput(o.printer);
  if (output == JobOutput::Spooler) return Report(o, run, output, *spooled, o.out.string(), {}, {});

  // A file job: the stream is in the job file the driver made.
  const auto [jobFile, jobFileHost] = FindJobFile(output, jobFilesBefore);
  if (jobFileHost.empty()) {
    std::fprintf(stderr, "printjob: the driver made no %s job file\n", OutputName(output));
    if (!run.result.ok) ReportFailure(run.result);
    return kExitJobFailed;
  }
  if (cleanup.Keep())
    std::printf("the machine root %s is kept for the job file\n", fs::absolute(o.root).string().c_str());
  return Report(o, run, output, *spooled, jobFileHost, jobFile, jobFileHost);
}
