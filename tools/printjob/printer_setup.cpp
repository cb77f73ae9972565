#include "printjob/printer_setup.h"

#include <fstream>
#include <system_error>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/model_report.h"

namespace fs = std::filesystem;

namespace printjob {

fs::path SampleDataFolder(const fs::path& programFolder) { return programFolder.parent_path() / "share" / "nevo"; }

fs::path ExecutableFolder(const char* argv0) {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) self = fs::absolute(argv0, ec);
  return self.parent_path();
}

TempRoot::~TempRoot() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

bool TempRoot::Keep() {
  const bool temporary = !path_.empty();
  path_.clear();
  return temporary;
}

std::optional<std::string> ModelName(const fs::path& rdf) {
  std::ifstream in(rdf);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
      std::string name = line.substr(1, line.size() - 2);
      if (name != "RDF format version") return name;
    }
  }
  return std::nullopt;
}

std::optional<std::u16string> InstallFile(const fs::path& host) {
  std::u16string windows = std::u16string(kDriverFolder) + u"\\" + plat::u16(host.filename().string());
  std::string target = plat::machine::HostPath(windows);
  if (target.empty()) return std::nullopt;
  std::error_code ec;
  fs::copy_file(host, target, fs::copy_options::overwrite_existing, ec);
  if (ec) return std::nullopt;
  return windows;
}

std::string SetUpMachine(const fs::path& root) {
  std::error_code ec;
  fs::create_directories(root / "C", ec);
  if (ec) return "cannot make the machine root " + root.string();
  plat::machine::SetRoot(fs::absolute(root).string());
  return {};
}

std::string SetUpPrinter(const PrinterFiles& files, std::u16string_view printerName, std::u16string_view port) {
  auto model = ModelName(files.model);
  if (!model) return "no model section in " + files.model.string();
  CreateDirectoryW(kDriverFolder, nullptr);  // only printjob's own printer needs it
  auto dataFile = InstallFile(files.model);
  auto resourceFile = InstallFile(files.resources);
  if (!dataFile || !resourceFile) return "cannot copy the model data file and the resource library";
  // The library's pictures live in its art folder; linked, not copied.
  const fs::path art = files.resources.parent_path() / "art";
  if (fs::is_directory(art)) {
    const fs::path target = fs::path(plat::machine::HostPath(std::u16string(kDriverFolder))) / "art";
    std::error_code ec;
    if (!fs::exists(target, ec)) fs::create_directory_symlink(fs::absolute(art), target, ec);
    if (ec) return "cannot link the resource library's art folder";
  }
  const std::u16string ui = plat::u16(fs::absolute(files.ui).string());
  plat::spooler::PrinterSetup setup;
  setup.name = std::u16string(printerName);
  setup.port = std::u16string(port);
  setup.driver.name = plat::u16(*model);
  setup.driver.dataFile = *dataFile;
  setup.driver.dependentFiles = {*resourceFile};
  if (files.uiIsConfigFile) setup.driver.configFile = ui;
  if (!plat::spooler::AddPrinter(setup)) return "cannot add the printer";

  HMODULE library = LoadLibraryW(ui.c_str());
  if (!library) return "cannot load " + files.ui.string();
  using PrinterEventFn = BOOL (*)(LPWSTR, INT, DWORD, LPARAM);
  auto printerEvent = reinterpret_cast<PrinterEventFn>(GetProcAddress(library, "DrvPrinterEvent"));
  if (!printerEvent) {
    FreeLibrary(library);
    return "classicui has no DrvPrinterEvent: the printer cannot be initialised";
  }
  std::u16string name(printerName);
  constexpr INT kPrinterEventInitialize = 3;
  const BOOL initialised = printerEvent(name.data(), kPrinterEventInitialize, 0, 0);
  FreeLibrary(library);
  if (!initialised) {
    ReportModelLoadFault(*dataFile, plat::u16(*model), *resourceFile);
    return "DrvPrinterEvent could not initialise the printer";
  }
  return {};
}

}  // namespace printjob
