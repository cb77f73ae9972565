#include "printjob/printer_setup.h"

#include <cstring>
#include <fstream>
#include <memory>
#include <system_error>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/model_report.h"
#include "printjob/settings_options.h"
#include "settings/caps_store.h"
#include "settings/private_devmode.h"

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

std::u16string PluginFileName(const fs::path& host) { return plat::u16(host.stem().string()) + u".dll"; }

namespace {

// Copies a plug-in into the driver folder under its ".dll" name; its Windows path.
std::optional<std::u16string> InstallPlugin(const fs::path& host) {
  const std::u16string windows = std::u16string(kDriverFolder) + u"\\" + PluginFileName(host);
  const std::string target = plat::machine::HostPath(windows);
  std::error_code ec;
  if (target.empty() || !fs::copy_file(host, target, fs::copy_options::overwrite_existing, ec)) return std::nullopt;
  return windows;
}

// The plug-ins and their INI, added to the driver's dependent files. "" or what went wrong.
std::string InstallPlugins(const PluginFiles& files, plat::spooler::DriverInfo& driver) {
  if (files.render.empty() && files.ui.empty()) return {};
  for (const fs::path& plugin : {files.render, files.ui}) {
    if (plugin.empty()) continue;
    auto installed = InstallPlugin(plugin);
    if (!installed) return "cannot copy the plug-in " + plugin.string();
    driver.dependentFiles.push_back(*installed);
  }
  const bool written =
      (files.render.empty() ||
       WritePrivateProfileStringW(u"OEMFiles", u"OEM1File", PluginFileName(files.render).c_str(), kPluginIni)) &&
      (files.ui.empty() ||
       WritePrivateProfileStringW(u"OEMFiles", u"OEM1ConfigFile", PluginFileName(files.ui).c_str(), kPluginIni));
  if (!written) return "cannot write the plug-in INI";
  driver.dependentFiles.push_back(kPluginIni);
  return {};
}

}  // namespace

std::string SetUpMachine(const fs::path& root) {
  std::error_code ec;
  fs::create_directories(root / "C", ec);
  if (ec) return "cannot make the machine root " + root.string();
  plat::machine::SetRoot(fs::absolute(root).string());
  return {};
}

std::string SetUpPrinter(const PrinterFiles& files, std::u16string_view printerName, std::u16string_view port,
                         const PluginFiles& plugins) {
  auto model = ModelName(files.model);
  if (!model) return "no model section in " + files.model.string();
  CreateDirectoryW(kDriverFolder, nullptr);  // only printjob's own printer needs it
  auto dataFile = InstallFile(files.model);
  auto resourceFile = InstallFile(files.resources);
  if (!dataFile || !resourceFile) return "cannot copy the model data file and the resource library";
  // The library's pictures live in its art folder. Its files are hard-linked
  // (copied across file systems), not the folder linked: a module's images
  // must lie inside its own folder once links are resolved.
  const fs::path art = files.resources.parent_path() / "art";
  if (fs::is_directory(art)) {
    const fs::path target = fs::path(plat::machine::HostPath(std::u16string(kDriverFolder))) / "art";
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(art, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      const fs::path to = target / fs::relative(it->path(), art);
      if (it->is_directory()) {
        fs::create_directories(to, ec);
      } else if (!fs::exists(to)) {
        fs::create_hard_link(it->path(), to, ec);
        if (ec) {
          ec.clear();
          fs::copy_file(it->path(), to, ec);
        }
      }
    }
    if (ec) return "cannot place the resource library's art folder";
  }
  std::u16string ui = plat::u16(fs::absolute(files.ui).string());
  plat::spooler::PrinterSetup setup;
  setup.name = std::u16string(printerName);
  setup.port = std::u16string(port);
  setup.driver.name = plat::u16(*model);
  if (files.core.empty()) {
    setup.driver.dataFile = *dataFile;
    setup.driver.dependentFiles = {*resourceFile};
    if (std::string why = InstallPlugins(plugins, setup.driver); !why.empty()) return why;
    if (files.uiIsConfigFile) setup.driver.configFile = ui;
  } else {
    auto core = InstallFile(files.core);
    if (!core) return "cannot copy the core";
    setup.driver.configFile = *core;
    setup.driver.dependentFiles = {*dataFile, *resourceFile};
    // The UI plug-in is the printer's sheets.
    PluginFiles withUi = plugins;
    withUi.ui = files.ui;
    if (std::string why = InstallPlugins(withUi, setup.driver); !why.empty()) return why;
    ui = *core;
  }
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

std::string SetPrinterDefaults(std::u16string_view printerName,
                               const std::vector<std::pair<std::string, std::string>>& sets) {
  if (sets.empty()) return {};
  std::u16string name(printerName);
  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(name.data(), &printer, &administer)) return "cannot open the printer to change it";
  std::unique_ptr<void, decltype(&ClosePrinter)> closer(printer, &ClosePrinter);
  auto freeCaps = [](ModelCaps* caps) {
    FreeModelCaps(caps, true);
    GlobalFree(caps);
  };
  std::unique_ptr<ModelCaps, decltype(freeCaps)> caps(AllocModelCaps(), freeCaps);
  if (!caps || !LoadCapsFromPrinterData(caps.get(), printer)) return "the printer's data does not load";
  std::span<std::uint8_t> defaults(reinterpret_cast<std::uint8_t*>(&caps->Defaults), sizeof(DocSettings));
  for (const auto& [field, value] : sets)
    if (std::string why = SetDocSetting(defaults, field, value); !why.empty()) return why;
  std::unique_ptr<PrivateDevmode, decltype(&GlobalFree)> devmode(BuildDefaultDevmode(printer, *caps), &GlobalFree);
  if (!devmode) return "no memory for the printer's DEVMODE";
  if (WriteDefaultSettings(printer, caps.get()) != ERROR_SUCCESS ||
      WriteDefaultDevmodeToHandle(printer, &devmode->Public) != ERROR_SUCCESS)
    return "cannot write the printer's \"Defaults\" and \"DefaultDevmode\"";
  return {};
}

}  // namespace printjob
