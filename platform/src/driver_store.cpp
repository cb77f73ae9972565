// The driver store: packages uploaded from an INF's folder and drivers
// installed from them.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/spooler.h"
#include "plat/strings.h"

namespace {
namespace fs = std::filesystem;

HRESULT FromWin32(DWORD error) { return error ? static_cast<HRESULT>(0x80070000 | (error & 0xFFFF)) : 0; }

using plat::profile::ReadKeys;
using plat::profile::ReadSection;
using plat::profile::ReadValue;
using plat::profile::SplitCommaFields;

// "%KEY%" looked up in [Strings]; the text itself when it is not a key.
std::u16string Resolve(const std::u16string& inf, const std::u16string& text) {
  if (const auto key = plat::profile::Unframe(text, u'%')) return ReadValue(inf, u"Strings", *key).value_or(u"");
  return text;
}

std::u16string Folder(BOOL (*query)(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD)) {
  WCHAR folder[MAX_PATH] = {};
  DWORD needed = 0;
  if (!query(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof folder, &needed)) return {};
  return std::u16string(plat::view(folder));
}

}  // namespace

extern "C" {

HRESULT UploadPrinterDriverPackageW(LPCWSTR, LPCWSTR infPath, LPCWSTR, DWORD, HWND, LPWSTR destInfPath, PULONG destSize) {
  if (!infPath || !destInfPath || !destSize) return FromWin32(ERROR_INVALID_PARAMETER);
  const std::u16string inf(plat::view(infPath));
  std::string host;
  if (!plat::machine::HostPath(inf, host) || !fs::is_regular_file(host)) return FromWin32(ERROR_FILE_NOT_FOUND);
  const std::u16string name = inf.substr(inf.find_last_of(u'\\') + 1);
  std::u16string lower = name;
  for (auto& c : lower) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  WCHAR system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string repository = std::u16string(system, n) + u"\\DriverStore\\FileRepository\\";
  std::error_code ec;
  fs::create_directories(plat::machine::HostPath(std::u16string(system, n)) + "/DriverStore/FileRepository", ec);
  // Each upload gets a folder of its own.
  std::u16string store;
  std::string storeHost;
  for (int k = 1;; ++k) {
    if (k > 999) return FromWin32(ERROR_ACCESS_DENIED);
    store = repository + lower + u"_" + plat::u16(std::to_string(k));
    storeHost = plat::machine::HostPath(store);
    if (!storeHost.empty() && !fs::exists(storeHost)) break;
  }
  const std::u16string dest = store + u"\\" + name;
  if (*destSize < dest.size() + 1) {
    *destSize = static_cast<ULONG>(dest.size() + 1);
    return FromWin32(ERROR_INSUFFICIENT_BUFFER);
  }
  fs::create_directories(storeHost, ec);
  fs::copy(fs::path(host).parent_path(), storeHost, fs::copy_options::recursive, ec);
  if (ec) return FromWin32(ERROR_ACCESS_DENIED);
  dest.copy(destInfPath, dest.size());
  destInfPath[dest.size()] = 0;
  *destSize = static_cast<ULONG>(dest.size() + 1);
  return 0;
}

HRESULT InstallPrinterDriverFromPackageW(LPCWSTR, LPCWSTR infPath, LPCWSTR driverName, LPCWSTR, DWORD) {
  if (!infPath || !driverName) return FromWin32(ERROR_INVALID_PARAMETER);
  const std::u16string inf(plat::view(infPath));
  const std::u16string folder = inf.substr(0, inf.find_last_of(u'\\'));
  if (GetFileAttributesW(inf.c_str()) == INVALID_FILE_ATTRIBUTES) return FromWin32(ERROR_FILE_NOT_FOUND);
  // The model's line in the models sections of the first manufacturer.
  const auto makers = ReadKeys(inf, u"Manufacturer");
  if (makers.empty()) return FromWin32(ERROR_UNKNOWN_PRINTER_DRIVER);
  const auto models = SplitCommaFields(ReadValue(inf, u"Manufacturer", makers.front()).value_or(u""));
  const bool x64 = plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  std::optional<std::u16string> line;
  std::u16string key(1, u'"');
  key += plat::view(driverName);
  key += u'"';
  for (std::size_t i = 1; i <= models.size() && !line; ++i) {
    const std::u16string decoration = i < models.size() ? models[i] : u"";
    const bool fits = decoration.empty() || (x64 ? decoration.find(u"amd64") != std::u16string::npos
                                                 : decoration.find(u"x86") != std::u16string::npos);
    if (fits) line = ReadValue(inf, decoration.empty() ? models[0] : models[0] + u"." + decoration, key);
  }
  if (!line) return FromWin32(ERROR_UNKNOWN_PRINTER_DRIVER);
  const std::u16string install = SplitCommaFields(*line)[0];
  // Files of the install section into the driver and print-processor directories.
  const std::u16string driverDir = Folder(GetPrinterDriverDirectoryW), processorDir = Folder(GetPrintProcessorDirectoryW);
  const DWORD defaultDir = GetPrivateProfileIntW(u"DestinationDirs", u"DefaultDestDir", 66000, inf.c_str());
  std::u16string single;
  std::vector<std::u16string> driverFiles;
  auto place = [&](const std::u16string& file, DWORD dir) {
    const auto source = SplitCommaFields(ReadValue(inf, u"SourceDisksFiles", file).value_or(u""));
    const std::u16string sub = source.size() > 1 && !source[1].empty() ? source[1] + u"\\" : u"";
    const std::u16string from = folder + u"\\" + sub + file;
    const std::u16string to = (dir == 66001 ? processorDir : driverDir) + u"\\" + file;
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) return false;
    SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_ARCHIVE);
    if (dir != 66001) driverFiles.push_back(file);
    return true;
  };
  for (const auto& item : SplitCommaFields(ReadValue(inf, install, u"CopyFiles").value_or(u""))) {
    if (item.empty()) continue;
    if (item[0] == u'@') {
      single = item.substr(1);
      if (!place(single, defaultDir)) return FromWin32(GetLastError());
      continue;
    }
    const DWORD own = GetPrivateProfileIntW(u"DestinationDirs", item.c_str(), 0, inf.c_str());
    for (const auto& l : ReadSection(inf, item))
      if (!place(SplitCommaFields(l)[0], own ? own : defaultDir)) return FromWin32(GetLastError());
  }
  if (auto processorKey = ReadValue(inf, install, u"PrintProcessor")) {
    const auto processor = SplitCommaFields(Resolve(inf, *processorKey));
    if (processor.size() >= 2) {
      std::u16string name = processor[0], file = processor[1];
      if (!AddPrintProcessorW(nullptr, nullptr, file.data(), name.data()) &&
          GetLastError() != ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED)
        return FromWin32(GetLastError());
    }
  }
  // The driver from its data section.
  const std::u16string data = ReadValue(inf, install, u"DataSection").value_or(install);
  std::u16string driverFile = ReadValue(inf, data, u"DriverFile").value_or(u"");
  std::u16string configFile = ReadValue(inf, data, u"ConfigFile").value_or(u"");
  std::u16string helpFile = ReadValue(inf, data, u"HelpFile").value_or(u"");
  std::u16string dataFile = ReadValue(inf, data, u"DataFile").value_or(single);
  std::u16string dependents;
  for (const auto& f : driverFiles)
    if (f != driverFile && f != configFile && f != helpFile && f != dataFile) dependents += f + u'\0';
  dependents += u'\0';
  std::u16string name(plat::view(driverName));
  std::u16string maker = Resolve(inf, makers.front());
  std::u16string provider = Resolve(inf, ReadValue(inf, u"Version", u"Provider").value_or(u""));
  std::u16string empty;
  DRIVER_INFO_6W info{};
  info.pName = name.data();
  info.pDriverPath = driverFile.data();
  info.pConfigFile = configFile.data();
  info.pHelpFile = helpFile.data();
  info.pDataFile = dataFile.data();
  info.pDependentFiles = dependents.data();
  info.pDefaultDataType = empty.data();
  info.pszMfgName = maker.data();
  info.pszProvider = provider.data();
  const BOOL added = AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES);
  const DWORD error = added ? 0 : GetLastError();
  for (const auto& f : driverFiles) DeleteFileW((driverDir + u"\\" + f).c_str());
  return FromWin32(error);
}
}

namespace {
// winspool.drv exports the driver store from Windows Vista on.
[[maybe_unused]] const bool kExported = [] {
  plat::machine::RegisterSystemProc("winspool.drv", "UploadPrinterDriverPackageW",
                                    reinterpret_cast<FARPROC>(&UploadPrinterDriverPackageW), 6);
  plat::machine::RegisterSystemProc("winspool.drv", "InstallPrinterDriverFromPackageW",
                                    reinterpret_cast<FARPROC>(&InstallPrinterDriverFromPackageW), 6);
  return true;
}();
}  // namespace
