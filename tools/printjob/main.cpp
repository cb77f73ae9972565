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
//            [--storage E] [--preview] [--set NAME=VALUE]... [--printer-set NAME=VALUE]...
//            [--draw FILE] [--paint-as-blt] [--printer NAME] [--list-settings] [--help]
//            [--plugin] [--plugin-ui LIB] [--plugin-render LIB] [--form NAME]
//            [--shadow-png DIR] [--clock "YYYY-MM-DD HH:MM:SS"]
//
// --plugin prints through the stand-in core driver (coredriver) and the
// plug-ins of the tree, installed with the printer and named in its plug-in
// INI; --form names the paper by spooler form alone, --shadow-png writes each
// page's shadow page; --clock freezes the machine clock.
//
// The model data file and the resource library default to the samples in
// share/nevo beside the executable's folder (the build tree and an install
// prefix lay them out alike); the drivers to lib/ there.
//
// --draw draws every page from a drawing script (printjob/draw_script.h)
// instead of the test page; a bad script line stops with exit 2 naming it.
// --paint-as-blt hands regions (and path fills the driver refuses) to
// DrvBitBlt with the brush instead of DrvPaint, as a device surface does.
// --drive adds a drive to the machine (a folder under the machine root);
// --storage E adds E: as a removable FAT32 drive unless --drive says
// otherwise and stores the job in its folder 1 (OutputMode 3, UsbDrive E:\,
// UsbFolder 1; --set changes any of them); --preview sets Preview 1. A
// storage job's drive gets the job-folder tree when it has none, as the
// printer's property sheets would have made it.
//
// The job's DEVMODE goes through the printer's document properties, as an
// application's does; printjob warns about each value asked that the driver
// replaced. --printer-set sets printer-level values (the resolution, the
// installed options) as the device sheet does, before the job. --out is
// written only when the spooler received the job, and only when it succeeded.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/propsheet.h"
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
#include "plat/dialog.h"
#include "plugincommon/plugin_devmode.h"
#include "renderplugin/plugin_pdev.h"
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
  std::vector<std::pair<std::string, std::string>> printerSets;
  bool listSettings = false;
  fs::path draw;  // a drawing script for every page instead of the test page
  bool paintAsBlt = false;  // regions go to DrvBitBlt with the brush, as on a device surface
  std::vector<printjob::DrawCommand> script;
  // Printing through the stand-in core driver and its plug-ins.
  bool plugin = false;
  fs::path pluginUi;
  fs::path pluginRender;
  std::optional<std::string> form;  // DM_FORMNAME
  fs::path shadowPng;               // the shadow page of every page as PNG
  std::optional<SYSTEMTIME> clock;  // a frozen machine clock
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: printjob [--model FILE.RDF] [--resources FILE] [--ui LIB] [--render LIB] [--out FILE]\n"
               "                [--root DIR] [--pages N] [--copies N] [--paper ID|WIDTHxLENGTH]\n"
               "                [--orientation portrait|landscape] [--drive E=removable:FAT32[:LABEL]]...\n"
               "                [--storage E] [--preview] [--set NAME=VALUE]... [--printer-set NAME=VALUE]...\n"
               "                [--draw FILE] [--paint-as-blt] [--printer NAME] [--list-settings] [--help]\n"
               "                [--plugin] [--plugin-ui LIB] [--plugin-render LIB] [--form NAME]\n"
               "                [--shadow-png DIR] [--clock \"YYYY-MM-DD HH:MM:SS\"]\n");
}

// A command line that cannot be taken: the reason and the usage.
int Usage(const std::string& why) {
  std::fprintf(stderr, "printjob: %s\n", why.c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

// Anything else that stops the job before it runs: the reason alone.
int Refuse(const std::string& why) {
  std::fprintf(stderr, "printjob: %s\n", why.c_str());
  return kExitUsage;
}

int Help() {
  std::printf("printjob prints a job (the test page, or --draw FILE on every page) through the drivers.\n");
  PrintUsage(stdout);
  std::printf(
      "  --set NAME=VALUE          a document setting of the job's DEVMODE (--list-settings lists the names)\n"
      "  --printer-set NAME=VALUE  a printer-level setting (ResolutionIndex, the installed options, InkInformation,\n"
      "                            PrinterAddress) in the printer's defaults, as the device sheet sets it; the\n"
      "                            printer's value stands over a document's\n"
      "  --out FILE                the stream the spooler received (default job.prn), written only then\n"
      "  --pages N                 1..9999 pages\n"
      "  --plugin                  through the core driver and the rendering plug-in (--plugin-render LIB,\n"
      "                            --plugin-ui LIB for other libraries); --form NAME names the paper by form\n"
      "  --shadow-png DIR          each page's shadow page as DIR/shadow-NNN.png (with --plugin)\n"
      "  --clock \"YYYY-MM-DD HH:MM:SS\"  the machine clock, frozen\n"
      "  --draw FILE               every page drawn from the script: clip, paint, line, stroke, bezier, fill,\n"
      "                            patblt, blit, stretch, text, alpha, transparent, stretchrop, plgblt, gradient\n"
      "                            (printjob/draw_script.h)\n"
      "  --paint-as-blt            regions and refused path fills reach the driver as DrvBitBlt with the brush,\n"
      "                            as on a device surface\n");
  return 0;
}

int ListSettings() {
  for (const std::string& line : printjob::DocSettingNames()) std::printf("%s\n", line.c_str());
  return 0;
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

// "YYYY-MM-DD HH:MM:SS" as a local time.
std::optional<SYSTEMTIME> ParseClock(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' || text[16] != ':')
    return std::nullopt;
  auto year = Number(text.substr(0, 4), 1601, 9999);
  auto month = Number(text.substr(5, 2), 1, 12);
  auto day = Number(text.substr(8, 2), 1, 31);
  auto hour = Number(text.substr(11, 2), 0, 23);
  auto minute = Number(text.substr(14, 2), 0, 59);
  auto second = Number(text.substr(17, 2), 0, 59);
  if (!year || !month || !day || !hour || !minute || !second) return std::nullopt;
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(*year);
  t.wMonth = static_cast<WORD>(*month);
  t.wDay = static_cast<WORD>(*day);
  t.wHour = static_cast<WORD>(*hour);
  t.wMinute = static_cast<WORD>(*minute);
  t.wSecond = static_cast<WORD>(*second);
  return t;
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
    if (a == "--list-settings") {
      o.listSettings = true;
      continue;
    }
    if (a == "--plugin") {
      o.plugin = true;
      continue;
    }
    if (a == "--paint-as-blt") {
      o.paintAsBlt = true;
      continue;
    }
    if (a != "--model" && a != "--resources" && a != "--ui" && a != "--render" && a != "--out" && a != "--root" &&
        a != "--pages" && a != "--copies" && a != "--paper" && a != "--orientation" && a != "--set" &&
        a != "--drive" && a != "--storage" && a != "--draw" && a != "--printer" && a != "--printer-set" &&
        a != "--plugin-ui" && a != "--plugin-render" && a != "--form" && a != "--shadow-png" && a != "--clock")
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
    else if (a == "--plugin-ui" || a == "--plugin-render") {
      (a == "--plugin-ui" ? o.pluginUi : o.pluginRender) = v;
      o.plugin = true;
    } else if (a == "--form") {
      if (v.empty() || plat::u16(v).size() >= CCHFORMNAME) return "--form takes a form name of 1..31 characters";
      o.form = v;
    } else if (a == "--shadow-png")
      o.shadowPng = v;
    else if (a == "--clock") {
      auto when = ParseClock(v);
      if (!when) return "--clock takes \"YYYY-MM-DD HH:MM:SS\"";
      o.clock = *when;
    }
    else if (a == "--pages") {
      auto n = Number(v, 1, 9999);
      if (!n) return "--pages takes 1..9999";
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
      if (eq == std::string::npos || eq == 0) return std::string(a) + " takes NAME=VALUE";
      (a == "--set" ? o.sets : o.printerSets).emplace_back(v.substr(0, eq), v.substr(eq + 1));
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
  // The plug-ins of this tree's pointer size.
  const std::string bits = std::to_string(sizeof(void*) * 8);
  if (o.plugin && o.pluginRender.empty()) o.pluginRender = prefix / "lib" / ("pluginrender" + bits + ".so");
  if (o.plugin && o.pluginUi.empty()) o.pluginUi = prefix / "lib" / ("pluginui" + bits + ".so");
  if (o.render.empty()) o.render = prefix / "lib" / (o.plugin ? "coredriver.so" : "classicrender.so");
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
// would at installation; classicui answers its document properties. An error
// text on failure.
std::string AddModelPrinter(const Options& o) {
  if (!fs::is_regular_file(o.model))
    return "no model data file " + o.model.string() + " (give --model FILE.RDF)";
  printjob::PluginFiles plugins;
  if (o.plugin) plugins = {o.pluginRender, o.pluginUi};
  return printjob::SetUpPrinter({o.model, o.resources, o.ui, true}, kPrinterName, kPortName, plugins);
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
    if (o.plugin) {
      for (const fs::path& f : {o.pluginRender, o.pluginUi})
        files_.push_back(std::u16string(printjob::kDriverFolder) + u"\\" + printjob::PluginFileName(f));
      files_.push_back(printjob::kPluginIni);
    }
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
// text on failure; `usage` tells whether the command line is at fault.
std::string BuildJobDevmode(const Options& o, PrivateDevmode& dm, bool& usage) {
  usage = false;
  auto stored = plat::spooler::GetData(PrinterOf(o), u"DefaultDevmode");
  if (!stored || stored->bytes.size() != sizeof(PrivateDevmode)) return "the printer has no usable \"DefaultDevmode\"";
  std::memcpy(&dm, stored->bytes.data(), sizeof(dm));
  usage = true;
  return ApplyOptions(o, dm);
}

// The DEVMODE an application gets from the printer's document properties for
// the one asked: merged with the printer's own values and brought in line with
// the model. This is the DEVMODE the driver prints with. An error text on failure.
std::string TakeDocumentProperties(const Options& o, const PrivateDevmode& asked, PrivateDevmode& used) {
  std::u16string name = PrinterOf(o);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return "cannot open the printer";
  PrivateDevmode in = asked;
  used = PrivateDevmode{};
  used.Public.dmSize = asked.Public.dmSize;
  used.Public.dmDriverExtra = asked.Public.dmDriverExtra;
  const LONG answer = DocumentPropertiesW(nullptr, printer, name.data(), &used.Public, &in.Public,
                                          DM_IN_BUFFER | DM_OUT_BUFFER);
  ClosePrinter(printer);
  if (answer != IDOK) return "the printer's document properties do not take the job's DEVMODE";
  return {};
}

std::span<const std::uint8_t> SettingsBytes(const PrivateDevmode& dm) {
  return {reinterpret_cast<const std::uint8_t*>(&dm.Settings), sizeof(dm.Settings)};
}

// A setting the printer's own value stands over: the settings' own copy of
// the printer-level values carries it.
bool IsPrinterLevel(const std::string& name, const std::string& value) {
  DocSettings probe{};
  DocSettings back{};
  std::span<std::uint8_t> bytes(reinterpret_cast<std::uint8_t*>(&probe), sizeof(probe));
  if (!printjob::SetDocSetting(bytes, name, value).empty()) return false;
  RestoreDeviceLevelValues(back, TakeDeviceLevelValues(probe), true);
  const std::span<const std::uint8_t> a(reinterpret_cast<const std::uint8_t*>(&probe), sizeof(probe));
  const std::span<const std::uint8_t> b(reinterpret_cast<const std::uint8_t*>(&back), sizeof(back));
  std::int64_t asked = 0, kept = 0;
  return printjob::GetDocSetting(a, name, asked) && printjob::GetDocSetting(b, name, kept) && asked == kept &&
         asked != 0;
}

void Warn(const std::string& what) { std::fprintf(stderr, "printjob: warning: %s\n", what.c_str()); }

// Warns about each value asked that the DEVMODE the driver prints with does
// not hold.
void WarnReplacedSettings(const Options& o, const PrivateDevmode& asked, const PrivateDevmode& used) {
  for (const auto& [name, value] : o.sets) {
    std::int64_t a = 0, u = 0;
    if (!printjob::GetDocSetting(SettingsBytes(asked), name, a) ||
        !printjob::GetDocSetting(SettingsBytes(used), name, u) || a == u)
      continue;
    std::string why = name + "=" + value + " is not taken: the driver uses " + std::to_string(u);
    if (IsPrinterLevel(name, value)) why += " (a printer-level value: give --printer-set " + name + "=" + value + ")";
    Warn(why);
  }
  if (o.copies && used.Public.dmCopies != *o.copies)
    Warn("--copies " + std::to_string(*o.copies) + " is not taken: the driver uses " +
         std::to_string(used.Public.dmCopies));
  if (o.orientation && (used.Public.dmOrientation == DMORIENT_LANDSCAPE) != (*o.orientation == "landscape"))
    Warn("--orientation " + *o.orientation + " is not taken");
}

// What the job run through classicrender left behind.
struct JobRun {
  plat::print_host::Result result;
  int drumPagesPerSheet = 1;
  // The paper the device was made for, in 0.1 mm, portrait; 0 when none was.
  int paperWidth = 0;
  int paperLength = 0;
};

// Warns when the paper the driver printed on is not the one asked: a paper id
// the model does not list, or a size it does not print.
void WarnReplacedPaper(const Options& o, const PrivateDevmode& used, const JobRun& run) {
  if (!o.paper || run.paperWidth == 0) return;
  int width = used.Public.dmPaperWidth, length = used.Public.dmPaperLength;
  if (used.Public.dmPaperSize == DMPAPER_USER || used.Public.dmPaperSize == 0) {
    width = used.Settings.FreeWidth / 100;
    length = used.Settings.FreeLength / 100;
  }
  const std::size_t x = o.paper->find('x');
  if (x != std::string::npos) {
    width = std::atoi(o.paper->substr(0, x).c_str());
    length = std::atoi(o.paper->substr(x + 1).c_str());
  }
  if (width == run.paperWidth && length == run.paperLength) return;
  Warn("--paper " + *o.paper + " is not taken: the driver prints on " + std::to_string(run.paperWidth) + "x" +
       std::to_string(run.paperLength) + " (0.1 mm)");
}

// The core driver's DEVMODE: the job's public part, then the plug-ins' part
// (its header and the job's private bytes). --form names the paper by form
// name alone.
std::vector<BYTE> CoreDevmode(const Options& o, const PrivateDevmode& dm) {
  DEVMODEW pub = dm.Public;
  pub.dmSize = kPublicDevmodeSize;
  pub.dmDriverExtra = static_cast<WORD>(oemdm::kSize);
  if (o.form) {
    pub.dmFields = (pub.dmFields & ~(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH)) | DM_FORMNAME;
    std::fill(std::begin(pub.dmFormName), std::end(pub.dmFormName), u'\0');
    const std::u16string name = plat::u16(*o.form);
    std::copy(name.begin(), name.end(), pub.dmFormName);
  }
  std::vector<BYTE> bytes(kPublicDevmodeSize + oemdm::kSize);
  std::memcpy(bytes.data(), &pub, kPublicDevmodeSize);
  oemdm::WriteHeader(bytes.data() + kPublicDevmodeSize, oemdm::kOwnHeader);
  std::memcpy(bytes.data() + kPublicDevmodeSize + oemdm::kPrivateBlock,
              reinterpret_cast<const BYTE*>(&dm) + kPublicDevmodeSize, kPrivateDevmodeExtra);
  return bytes;
}

// The render library's record behind a page: the driver's own, or the one
// the rendering plug-in keeps behind the core's device object.
const RenderPdev* RenderPdevOf(const Options& o, DHPDEV pdev) {
  if (!o.plugin) return reinterpret_cast<const RenderPdev*>(pdev);
  const PluginPdev* pp = PluginPdevOfDevice(pdev);
  return pp ? &pp->render : nullptr;
}

// DIR/shadow-NNN.png of the page's shadow page, before it is sent.
bool WriteShadowPng(const Options& o, const plat::print_host::PageContext& page) {
  const PluginPdev* pp = o.plugin ? PluginPdevOfDevice(page.pdev) : nullptr;
  const SURFOBJ* shadow = pp ? pp->shadow.object : nullptr;
  if (!shadow) {
    std::fprintf(stderr, "printjob: page %d has no shadow page\n", page.index + 1);
    return false;
  }
  plat::ui::Picture picture;
  picture.width = shadow->sizlBitmap.cx;
  picture.height = shadow->sizlBitmap.cy;
  const std::size_t row = static_cast<std::size_t>(picture.width) * 3;
  picture.rgb.resize(row * static_cast<std::size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(picture.rgb.data() + row * static_cast<std::size_t>(y),
                static_cast<const BYTE*>(shadow->pvScan0) + static_cast<std::ptrdiff_t>(y) * shadow->lDelta, row);
  char name[32];
  std::snprintf(name, sizeof name, "shadow-%03d.png", page.index + 1);
  std::error_code ec;
  fs::create_directories(o.shadowPng, ec);
  if (!plat::ui::WritePng(picture, (o.shadowPng / name).string())) {
    std::fprintf(stderr, "printjob: cannot write %s\n", (o.shadowPng / name).string().c_str());
    return false;
  }
  return true;
}

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
  job.devmode = o.plugin ? CoreDevmode(o, dm) : std::vector<BYTE>(reinterpret_cast<const BYTE*>(&dm),
                                                                  reinterpret_cast<const BYTE*>(&dm) + sizeof(dm));
  job.documentName = u"printjob test page";
  job.pages = o.pages;
  int drumPages = 0;
  job.drawPage = [&drumPages, &o, &run](const plat::print_host::PageContext& page) {
    // The device record says how many drum pages make a sheet of this job
    // and which paper it prints on.
    const RenderPdev* device = RenderPdevOf(o, page.pdev);
    if (drumPages == 0) {
      drumPages = DrumPagesPerSheet(device);
      if (device) {
        const bool turned = device->orientation == 90;
        run.paperWidth = turned ? device->paperLength : device->paperWidth;
        run.paperLength = turned ? device->paperWidth : device->paperLength;
      }
    }
    const bool drawn = !o.draw.empty()
                           ? printjob::DrawScriptPage(page.surface, o.script, o.paintAsBlt)
                           : printjob::DrawTestPage(page.surface, page.index, device ? device->resolutionY : 300,
                                                    o.paintAsBlt) == TRUE;
    if (drawn && !o.shadowPng.empty()) return WriteShadowPng(o, page);
    return drawn;
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

// A Windows path as a user writes it: the driver's preview name doubles the
// backslash that ends the temporary folder. A leading pair (a share) stays.
std::string ShownPath(std::u16string_view path) {
  const std::string text = plat::utf8(path);
  std::string shown;
  for (char c : text)
    if (!(c == '\\' && shown.size() >= 2 && shown.back() == '\\')) shown += c;
  return shown;
}

// The summary lines of a job that ran to its end; the exit code.
int Report(const JobRun& run, const std::string& streamFile, const std::string& destination) {
  std::size_t streamBytes = 0;
  const printjob::StreamSummary summary = printjob::SummarizeFile(streamFile, streamBytes);
  for (const std::string& line : printjob::SheetLines(summary, run.drumPagesPerSheet))
    std::printf("%s\n", line.c_str());
  std::printf("%d pages, %zu drum pages, %zu bytes to %s\n", run.result.pagesSent, summary.drumPages.size(),
              streamBytes, destination.c_str());
  if (summary.wellFormed) return 0;
  std::fprintf(stderr, "printjob: the stream does not decode as commands\n");
  return kExitJobFailed;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string why = Parse(argc, argv, o);
  if (why == "help") return Help();
  if (!why.empty()) return Usage(why);
  if (o.listSettings) return ListSettings();
  if (!o.draw.empty()) {
    std::ifstream in(o.draw);
    if (!in) return Refuse("cannot read " + o.draw.string());
    if (!printjob::ParseDrawScript(in, o.script, why)) return Refuse(o.draw.string() + " " + why);
  }
  FillDefaultPaths(o, printjob::ExecutableFolder(argv[0]));

  if (o.form && !o.plugin) return Usage("--form needs --plugin: only the plug-in reads the spooler's forms");
  if (!o.shadowPng.empty() && !o.plugin) return Usage("--shadow-png needs --plugin");
  if (o.clock) {
    plat::machine::SetLocalTime(*o.clock);
    plat::machine::FreezeClock(true);
  }

  fs::path tempRoot;
  why = PrepareMachine(o, tempRoot);
  printjob::TempRoot cleanup(tempRoot);
  if (!why.empty()) return Refuse(why);
  OwnPrinter own;
  if (o.printer.empty()) {
    own.Take(o);
    why = AddModelPrinter(o);
  } else {
    why = UseInstalledPrinter(o);
  }
  if (!why.empty()) return Refuse(why);
  why = printjob::SetPrinterDefaults(PrinterOf(o), o.printerSets);
  if (!why.empty()) return Refuse("--printer-set: " + why);

  PrivateDevmode asked;
  bool usage = false;
  why = BuildJobDevmode(o, asked, usage);
  if (!why.empty()) return usage ? Usage(why) : Refuse(why);
  PrivateDevmode dm;
  why = TakeDocumentProperties(o, asked, dm);
  if (!why.empty()) return Refuse(why);
  WarnReplacedSettings(o, asked, dm);
  const JobOutput output = JobOutputOf(dm.Settings.Preview, static_cast<OutputMode>(dm.Settings.OutputMode));
  if (output == JobOutput::StorageFile) {
    std::u16string storageRoot;
    why = printjob::PrepareStorageDrive(dm.Settings, &storageRoot);
    if (!why.empty()) return Refuse(why);
  }
  const auto jobFilesBefore = printjob::StorageJobFiles();

  JobRun run;
  why = RunJob(o, dm, run);
  if (!why.empty()) return Refuse(why);
  WarnReplacedPaper(o, dm, run);
  if (!run.result.ok) {
    // The job's own error first; a failed job leaves no output of its own
    // (the driver removes a failed job file and records it).
    ReportFailure(run.result);
    if (!o.printer.empty()) plat::spooler::ClearOutput(o.printer);
    return kExitJobFailed;
  }

  if (output == JobOutput::Spooler) {
    // The spooler's own spool file of the job becomes --out; nothing of it is held in memory.
    const std::optional<std::uintmax_t> spooled =
        printjob::CopySpoolFile(plat::spooler::JobSpoolFile(plat::spooler::LastJobId()), o.out);
    // Copied out, the job has printed: the spooler lets go of its spool file.
    if (!o.printer.empty()) plat::spooler::ClearOutput(o.printer);
    if (!spooled) {
      std::fprintf(stderr, "printjob: cannot write %s\n", o.out.string().c_str());
      return kExitJobFailed;
    }
    return Report(run, o.out.string(), o.out.string());
  }
  if (!o.printer.empty()) plat::spooler::ClearOutput(o.printer);

  // A file job: the stream is in the job file the driver made; --out is not touched.
  const auto [jobFile, jobFileHost] = FindJobFile(output, jobFilesBefore);
  if (jobFileHost.empty()) {
    std::fprintf(stderr, "printjob: the driver made no %s job file\n", OutputName(output));
    return kExitJobFailed;
  }
  if (cleanup.Keep())
    std::printf("the machine root %s is kept for the job file\n", fs::absolute(o.root).string().c_str());
  std::printf("%s job file %s\n", OutputName(output), ShownPath(jobFile).c_str());
  std::printf("the spooler receives nothing from a file job: %s is not written\n", o.out.string().c_str());
  return Report(run, jobFileHost, jobFileHost);
}
