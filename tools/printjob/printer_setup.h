// Setting up the machine and a printer of a sample model, as the tools and
// the end-to-end tests need them: the machine root, the model data file and
// the resource library copied into the driver folder, the printer added and
// initialised through classicui.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace printjob {

inline constexpr char16_t kDriverFolder[] = u"C:\\DRIVERS";

// The sample models and the drivers' resource library: share/nevo beside the
// program's folder (the build tree and an install prefix lay them out alike).
std::filesystem::path SampleDataFolder(const std::filesystem::path& programFolder);
// The folder of the running program.
std::filesystem::path ExecutableFolder(const char* argv0);

// A temporary machine root, removed when it goes unless kept.
class TempRoot {
 public:
  explicit TempRoot(std::filesystem::path path) : path_(std::move(path)) {}
  ~TempRoot();
  TempRoot(const TempRoot&) = delete;
  TempRoot& operator=(const TempRoot&) = delete;
  // Leaves the folder in place; true when it was a temporary one.
  bool Keep();

 private:
  std::filesystem::path path_;
};

// The model's section: the first section of the file that is not its version.
std::optional<std::string> ModelName(const std::filesystem::path& rdf);
// Copies a host file into the machine's driver folder; its Windows path.
std::optional<std::u16string> InstallFile(const std::filesystem::path& host);

struct PrinterFiles {
  std::filesystem::path model;      // model data file
  std::filesystem::path resources;  // the drivers' resource library
  std::filesystem::path ui;         // classicui, or the UI plug-in of a plug-in printer
  bool uiIsConfigFile = false;      // the spooler loads classicui for the printer's sheets
  // Set for a plug-in printer: the core's config-file library. The printer's
  // driver then has it as config file and lists the model data file, the
  // resource library, the driver INI naming the plug-in and the plug-in as
  // dependent files; it is initialised through the core's DrvPrinterEvent.
  std::filesystem::path core{};
};

// The plug-ins of the core driver, installed as "<name>.dll" with the
// plug-in INI among the dependent files; either may be empty.
struct PluginFiles {
  std::filesystem::path render;
  std::filesystem::path ui;
};

// The plug-in INI the core driver reads ([OEMFiles] OEM1File, OEM1ConfigFile).
inline constexpr char16_t kPluginIni[] = u"C:\\DRIVERS\\NEVOOEM.INI";
// The Windows name a plug-in is installed under: its stem and ".dll".
std::u16string PluginFileName(const std::filesystem::path& host);

// Makes root (with its C: folder and the driver folder) the machine root. "" or what went wrong.
std::string SetUpMachine(const std::filesystem::path& root);
// Adds the printer of the model and initialises it through classicui's (or
// the core's) DrvPrinterEvent. "" or what went wrong.
std::string SetUpPrinter(const PrinterFiles& files, std::u16string_view printerName, std::u16string_view port,
                         const PluginFiles& plugins = {});

// Printer-level settings as the device sheet sets them: each NAME=VALUE (by
// the --set names) into the printer's "Defaults", then "DefaultDevmode"
// rebuilt from them, so that derived fields (the resolution in dots) follow.
// "" or what went wrong (nothing written then).
std::string SetPrinterDefaults(std::u16string_view printerName,
                               const std::vector<std::pair<std::string, std::string>>& sets);

}  // namespace printjob
