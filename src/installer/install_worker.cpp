#include "installer/install_worker.h"

#include <vector>

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "installer/quick_install.h"
#include "installer/tool_folder.h"

namespace installer {
namespace {

bool IsWin8(const SetupContext& ctx) { return Str(ctx.osName) == u"Win8" || Str(ctx.osName) == u"Win8x64"; }

std::u16string_view InfOf(const SetupContext& ctx) {
  return Str(ctx.connection == Connection::UsbMemory ? ctx.usbMemoryInfPaths[ctx.kindIndex] : ctx.infPaths[ctx.kindIndex]);
}

std::u16string_view SourceFolderOf(const SetupContext& ctx) {
  return Str(ctx.connection == Connection::UsbMemory ? ctx.usbMemoryFolders[ctx.kindIndex]
                                                     : ctx.kindFolders[ctx.kindIndex]);
}

bool IsAbsolute(std::u16string_view path) {
  return (path.size() >= 2 && path[1] == u':') || (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\');
}

// A path made absolute against `base` (a folder ending in a backslash), with
// "." and ".." resolved; the current directory plays no part.
std::u16string Absolute(std::u16string_view base, std::u16string_view path) {
  std::u16string joined = IsAbsolute(path) ? std::u16string(path) : std::u16string(base) + std::u16string(path);
  std::vector<std::u16string> parts;
  std::u16string head = joined.substr(0, 2);
  std::size_t at = 2;
  while (at <= joined.size()) {
    std::size_t end = joined.find_first_of(u"\\/", at);
    if (end == std::u16string::npos) end = joined.size();
    const std::u16string part = joined.substr(at, end - at);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::u16string out = head;
  for (const auto& p : parts) out += u"\\" + p;
  return out;
}

bool SameName(std::u16string_view a, std::u16string_view b) { return !a.empty() && plat::EqualsNoCase(a, b); }

std::u16string FolderFromSpooler(BOOL (*query)(LPWSTR, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD)) {
  WCHAR folder[kPathUnits] = {};
  DWORD needed = 0;
  if (!query(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(folder), sizeof folder, &needed)) return {};
  return std::u16string(Str(folder));
}

void Post(const InstallWorkerArgs& args, UINT message, WPARAM wParam) {
  if (args.post) args.post(args.page, message, wParam, 0);
}

void Progress(const InstallWorkerArgs& args, int value) { Post(args, kProgressMessage, static_cast<WPARAM>(value)); }

}  // namespace

bool IsPackageMode(const SetupContext& ctx) {
  static constexpr std::u16string_view kVistaOrLater[] = {u"WinVista", u"Win7", u"Win8",
                                                          u"WinVistax64", u"Win7x64", u"Win8x64"};
  if (ctx.type != 4) return false;
  for (auto name : kVistaOrLater)
    if (Str(ctx.osName) == name) return true;
  return false;
}

int ReadInfModelSection(SetupContext& ctx, WCHAR* datatype) {
  const std::u16string_view inf = InfOf(ctx);
  const std::u16string_view models = Str(ctx.connection == Connection::UsbMemory
                                             ? ctx.usbMemoryModelsSections[ctx.kindIndex]
                                             : ctx.modelsSections[ctx.kindIndex]);
  const std::u16string key = u"\"" + std::u16string(Str(ctx.modelName)) + u"\"";
  const auto line = ReadIniString(inf, models, key, 99);
  if (!line) return 0;
  const std::vector<std::u16string> fields = SplitCommaFields(*line);
  if (fields[0].empty() || !SetField(ctx.installSection, fields[0])) return 0;
  if (!IsWin8(ctx)) {
    bool matched = false;
    for (std::size_t i = 1; i < fields.size(); ++i) {
      if (fields[i].find(u"USBPRINT\\") == std::u16string::npos) continue;
      if (ctx.connection == Connection::UsbCable) {
        matched = matched || fields[i] == Str(ctx.usbHardwareId);
      } else {
        if (!SetField(ctx.usbHardwareId, fields[i])) return 0;
        break;
      }
    }
    if (ctx.connection == Connection::UsbCable && !matched) return 0;
  }
  const auto processorKey = ReadIniString(inf, Str(ctx.installSection), u"PrintProcessor", 99);
  const auto stringsKey = processorKey ? Unframe(*processorKey, u'%') : std::nullopt;
  if (stringsKey) {
    const auto processor = ReadIniString(inf, u"Strings", *stringsKey, 99);
    if (!processor) return 0;
    if (ScanCommaList(*processor, u"%s%s", {{ctx.printProcessorName, 32}, {ctx.printProcessorFile, 35}}) != 1)
      return 0;
    const std::u16string_view type = ctx.type == 4 ? u"NT EMF 1.008" : u"RAW";
    type.copy(datatype, type.size());
    datatype[type.size()] = 0;
  }
  return 1;
}

int ReadInfCopyList(SetupContext& ctx, CopyList& list) {
  list = {};
  const std::u16string_view inf = InfOf(ctx);
  const INT defaultDir = ReadIniInt(inf, u"DestinationDirs", u"DefaultDestDir", 0);
  if (defaultDir == 0) return -1;
  const auto copyFiles = ReadIniString(inf, Str(ctx.installSection), u"CopyFiles", 99);
  if (!copyFiles) return 0;
  std::size_t used = 0;
  auto add = [&](std::u16string_view name, DWORD dir) {
    if (used == kCopyListSize || name.empty() || !SetField(list[used].fileName, name)) return false;
    list[used++].directoryId = dir;
    return true;
  };
  for (const std::u16string& item : SplitCommaFields(*copyFiles)) {
    if (item.empty()) continue;
    if (item[0] == u'@') {
      const std::u16string_view name = std::u16string_view(item).substr(1);
      if (!SetField(ctx.dataFileName, name) || !add(name, static_cast<DWORD>(defaultDir))) return 0;
      continue;
    }
    const INT own = ReadIniInt(inf, u"DestinationDirs", item, 0);
    const DWORD dir = static_cast<DWORD>(own == 0 ? defaultDir : own);
    for (const std::u16string& line : ReadSection(inf, item))
      if (!add(SplitCommaFields(line).front(), dir)) return 0;
  }
  const std::u16string infPath(inf);
  HINF handle = SetupOpenInfFileW(infPath.c_str(), u"Printer", INF_STYLE_OLDNT | INF_STYLE_WIN4, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  const std::vector<std::u16string> sourceKeys = ReadKeys(inf, u"SourceDisksFiles");
  int result = sourceKeys.empty() ? 0 : 1;
  for (std::size_t row = 0; result && row < used; ++row) {
    const std::u16string_view name = Str(list[row].fileName);
    for (const std::u16string& key : sourceKeys) {
      if (SplitCommaFields(key).front() != name) continue;
      UINT sourceId = 0;
      WCHAR subFolder[200] = {}, sourcePath[200] = {};
      DWORD required = 0;
      const std::u16string fileName(name);
      if (!SetupGetSourceFileLocationW(handle, nullptr, fileName.c_str(), &sourceId, subFolder, 200, &required) ||
          !SetupGetSourceInfoW(handle, sourceId, SRCINFO_PATH, sourcePath, 200, &required)) {
        result = 0;
        break;
      }
      const std::u16string folder =
          Absolute(SourceFolderOf(ctx), Str(subFolder[0] ? subFolder : sourcePath));
      if (!JoinField(list[row].sourcePath, {folder, u"\\", name})) result = 0;
      break;
    }
  }
  SetupCloseInfFile(handle);
  return result;
}

int FindPrintProcessor(HMODULE library, std::u16string_view name) {
  DWORD needed = 0, count = 0;
  EnumPrintProcessorsW(nullptr, nullptr, 1, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintProcessorsW(nullptr, nullptr, 1, buffer.data(), needed, &needed, &count)) {
    ReportAllocFailure(library);
    return -1;
  }
  const auto* processors = reinterpret_cast<const PRINTPROCESSOR_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (Str(processors[i].pName) == name) return 1;
  return 0;
}

int CopyFileChecked(std::u16string_view target, std::size_t row, const CopyList& list) {
  LPWSTR actual = nullptr;
  DWORD sourceSize = 0, targetSize = 0;
  UINT compression = 0;
  const DWORD error = SetupGetFileCompressionInfoW(list[row].sourcePath, &actual, &sourceSize, &targetSize, &compression);
  if (error != ERROR_SUCCESS) {
    ShowSystemError(DisplayCode(error));
    return 0;
  }
  const std::u16string source = Str(actual) == u"" ? std::u16string(Str(list[row].sourcePath)) : std::u16string(Str(actual));
  LocalFree(actual);
  if (compression != FILE_COMPRESSION_NONE) return 0;
  const std::u16string to(target);
  if (!CopyFileW(source.c_str(), to.c_str(), FALSE)) {
    DWORD failure = GetLastError();
    bool copied = false;
    if (failure == ERROR_ACCESS_DENIED) {
      SetFileAttributesW(to.c_str(), GetFileAttributesW(to.c_str()) & ~FILE_ATTRIBUTE_READONLY);
      copied = CopyFileW(source.c_str(), to.c_str(), FALSE);
      if (!copied) failure = GetLastError();
    }
    if (!copied) {
      ShowSystemError(failure);
      return 0;
    }
  }
  const DWORD attrs = GetFileAttributesW(to.c_str());
  SetFileAttributesW(to.c_str(), ((attrs == INVALID_FILE_ATTRIBUTES ? 0 : attrs) & ~FILE_ATTRIBUTE_READONLY) |
                                     FILE_ATTRIBUTE_ARCHIVE);
  return 1;
}

int ReplaceFileAtReboot(const CopyList& list, std::size_t row, std::u16string_view target) {
  const std::u16string driverFolder = FolderFromSpooler(GetPrinterDriverDirectoryW);
  if (driverFolder.empty()) return 0;
  const std::u16string staged = driverFolder + u"\\" + std::u16string(Str(list[row].fileName));
  if (!CopyFileChecked(staged, row, list)) return 0;
  const std::u16string inUse(target);
  const DWORD attrs = GetFileAttributesW(inUse.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(inUse.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
  if (!MoveFileExW(staged.c_str(), inUse.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
    ShowSystemError(GetLastError());
    return 0;
  }
  return 1;
}

int CopyDriverFiles(DWORD& keep, CopyList& list, SetupContext& ctx) {
  for (std::size_t row = 0; row < kCopyListSize && list[row].fileName[0]; ++row) {
    const std::u16string_view name = Str(list[row].fileName);
    if (list[row].directoryId == kDriverDirectoryId) {
      const std::u16string folder = FolderFromSpooler(GetPrinterDriverDirectoryW);
      if (folder.empty() || !CopyFileChecked(folder + u"\\" + std::u16string(name), row, list)) return 0;
    } else if (list[row].directoryId == kProcessorDirectoryId) {
      const std::u16string folder = FolderFromSpooler(GetPrintProcessorDirectoryW);
      if (folder.empty()) return 0;
      const std::u16string target = folder + u"\\" + std::u16string(name);
      const int installed = FindPrintProcessor(ctx.languageLibrary, Str(ctx.printProcessorName));
      if (installed == -1) return 0;
      if (installed == 1) {
        if (!ReplaceFileAtReboot(list, row, target)) return 0;
        keep = 0;
      } else if (!CopyFileChecked(target, row, list)) {
        return 0;
      }
    }
  }
  return 1;
}

int BuildDriverInfo(DRIVER_INFO_6W& info, DriverInfoStrings& s, const CopyList& list, const WCHAR* datatype,
                    const SetupContext& ctx) {
  const std::u16string_view inf = InfOf(ctx);
  const auto dataSection = ReadIniString(inf, Str(ctx.installSection), u"DataSection", 99);
  if (!dataSection) return 0;
  const std::vector<std::u16string> keys = ReadKeys(inf, *dataSection);
  if (keys.empty()) return 0;
  for (const std::u16string& key : keys) {
    const auto value = ReadIniString(inf, *dataSection, key, 31);
    if (!value) return 0;
    if (plat::EqualsNoCase(key, u"DriverFile")) s.driverPath = *value;
    else if (plat::EqualsNoCase(key, u"ConfigFile")) s.configFile = *value;
    else if (plat::EqualsNoCase(key, u"HelpFile")) s.helpFile = *value;
    else if (plat::EqualsNoCase(key, u"DataFile")) s.dataFile = *value;
  }
  if (s.dataFile.empty()) s.dataFile = Str(ctx.dataFileName);
  s.dependentFiles.clear();
  for (std::size_t row = 0; row < kCopyListSize && list[row].fileName[0]; ++row) {
    const std::u16string_view name = Str(list[row].fileName);
    if (list[row].directoryId != kDriverDirectoryId || SameName(name, s.driverPath) || SameName(name, s.configFile) ||
        SameName(name, s.helpFile) || SameName(name, s.dataFile))
      continue;
    s.dependentFiles += name;
    s.dependentFiles += u'\0';
  }
  s.dependentFiles += u'\0';
  const std::vector<std::u16string> makers = ReadKeys(inf, u"Manufacturer");
  if (makers.empty()) return 0;
  if (auto key = Unframe(makers.front(), u'%'))
    s.manufacturer = ReadIniString(inf, u"Strings", *key, 99).value_or(u"");
  s.oemUrl = ReadIniString(inf, u"OEM URLS", makers.front(), 99).value_or(u"");
  const auto provider = ReadIniString(inf, u"Version", u"Provider", 99);
  if (!provider) return 0;
  if (auto key = Unframe(*provider, u'%')) s.provider = ReadIniString(inf, u"Strings", *key, 99).value_or(u"");
  s.name = Str(ctx.modelName);
  s.datatype = Str(datatype);
  s.hardwareId = Str(ctx.usbHardwareId);
  info = {};
  info.cVersion = 0;
  info.pName = s.name.data();
  info.pEnvironment = nullptr;
  info.pDriverPath = s.driverPath.data();
  info.pConfigFile = s.configFile.data();
  info.pHelpFile = s.helpFile.data();
  info.pDataFile = s.dataFile.data();
  info.pDependentFiles = s.dependentFiles.data();
  info.pDefaultDataType = s.datatype.data();
  info.pszMfgName = s.manufacturer.data();
  info.pszOEMUrl = s.oemUrl.data();
  info.pszHardwareID = s.hardwareId.data();
  info.pszProvider = s.provider.data();
  return 1;
}

int AddDriver(SetupContext& ctx, const CopyList& list, const WCHAR* datatype, DWORD keep) {
  DRIVER_INFO_6W info{};
  DriverInfoStrings strings;
  if (!BuildDriverInfo(info, strings, list, datatype, ctx)) return 0;
  if (!AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES)) {
    ShowSystemError(GetLastError());
    return 0;
  }
  const std::u16string folder = FolderFromSpooler(GetPrinterDriverDirectoryW);
  for (std::size_t row = 0; row < kCopyListSize && list[row].fileName[0]; ++row) {
    if (list[row].directoryId != kDriverDirectoryId) continue;
    if (!keep && SameName(Str(list[row].fileName), Str(ctx.printProcessorFile))) continue;
    const std::u16string copy = folder + u"\\" + std::u16string(Str(list[row].fileName));
    if (!DeleteFileW(copy.c_str())) return 0;
  }
  return 1;
}

int AddLocalPrinter(SetupContext& ctx, const WCHAR* datatype) {
  DEVMODEW devmode{};
  std::u16string processor = ctx.printProcessorName[0] ? std::u16string(Str(ctx.printProcessorName)) : u"WinPrint";
  std::u16string type(Str(datatype));
  PRINTER_INFO_2W info{};
  info.pPrinterName = ctx.printerName;
  info.pPortName = ctx.portName;
  info.pDriverName = ctx.modelName;
  info.pPrintProcessor = processor.data();
  info.pDatatype = type.data();
  info.pDevMode = &devmode;
  info.Attributes = PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST;
  info.Priority = 1;
  HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!printer) {
    ShowSystemError(GetLastError());
    return 0;
  }
  ClosePrinter(printer);
  return 1;
}

int InstallPrinter(WCHAR* datatype, CopyList& list, const InstallWorkerArgs& args, SetupContext& ctx) {
  const bool package = IsPackageMode(ctx);
  const bool usb = ctx.connection == Connection::UsbCable;
  if (!package && usb) {
    const std::u16string inf(InfOf(ctx));
    const std::u16string root(SourceFolderOf(ctx));
    WCHAR copied[kPathUnits] = {};
    if (!SetupCopyOEMInfW(inf.c_str(), root.c_str(), SPOST_PATH, SP_COPY_NOOVERWRITE, copied, kPathUnits, nullptr,
                          nullptr) &&
        GetLastError() != ERROR_FILE_EXISTS) {
      ShowSystemError(DisplayCode(GetLastError()));
      return 0;
    }
  }
  Progress(args, 30);
  if (ctx.installDriver) {
    DWORD keep = 1;
    if (!package) {
      if (!CopyDriverFiles(keep, list, ctx)) return 0;
      Progress(args, 40);
      if (ctx.printProcessorName[0]) {
        const int installed = FindPrintProcessor(ctx.languageLibrary, Str(ctx.printProcessorName));
        if (installed == -1) return 0;
        if (installed == 0 &&
            !AddPrintProcessorW(nullptr, nullptr, ctx.printProcessorFile, ctx.printProcessorName) &&
            GetLastError() != ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED) {
          ShowSystemError(GetLastError());
          return 0;
        }
      }
      Progress(args, 50);
      if (!AddDriver(ctx, list, datatype, keep)) return 0;
    } else {
      using UploadProc = HRESULT (*)(LPCWSTR, LPCWSTR, LPCWSTR, DWORD, HWND, LPWSTR, PULONG);
      using InstallProc = HRESULT (*)(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, DWORD);
      HMODULE spooler = LoadLibraryW(u"winspool.drv");
      auto upload = spooler ? reinterpret_cast<UploadProc>(GetProcAddress(spooler, "UploadPrinterDriverPackageW")) : nullptr;
      auto install =
          spooler ? reinterpret_cast<InstallProc>(GetProcAddress(spooler, "InstallPrinterDriverFromPackageW")) : nullptr;
      if (!upload || !install) {
        ShowSystemError(GetLastError());
        if (spooler) FreeLibrary(spooler);
        return 0;
      }
      const std::u16string inf(InfOf(ctx));
      WCHAR stored[kPathUnits] = {};
      ULONG storedSize = kPathUnits;
      HRESULT hr = upload(nullptr, inf.c_str(), nullptr, UPDP_UPLOAD_ALWAYS, nullptr, stored, &storedSize);
      if (hr == 0) hr = install(nullptr, stored, ctx.modelName, nullptr, IPDFP_COPY_ALL_FILES);
      FreeLibrary(spooler);
      if (hr != 0) {
        ShowSystemError(static_cast<DWORD>(hr));
        return 0;
      }
      if (!SetField(ctx.installedInfPath, Str(stored))) return 0;
    }
    Progress(args, 70);
  }
  if (ctx.type == 3 && ctx.langStyle == 0) {
    if (!InstallQuickPrinter(ctx)) return 0;
  } else if (ctx.type == 4 || (ctx.type == 1 && ctx.langStyle == 2)) {
    if (!(usb && IsWin8(ctx)) && !AddLocalPrinter(ctx, datatype)) return 0;
  }
  Progress(args, 80);
  if (!CopyToolFiles(ctx)) return 0;
  Progress(args, 90);
  if (ctx.copyManuals) CopyManuals(ctx);
  if (ctx.type == 4 && Str(ctx.languageCode) != u"JPN" && ctx.previewFlag == 1) InstallPreviewApp(ctx);
  ClearReadOnlyTree(Str(ctx.productPath));
  WriteUninstallerSetupIni(ctx);
  Progress(args, 95);
  if (usb && !IsWin8(ctx)) {
    if (const DWORD error = InstallUsbDevice(ctx)) {
      ShowSystemError(DisplayCode(error));
      return 0;
    }
  }
  return 1;
}

int FindPrinterForDevice(SetupContext& ctx) {
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()), &needed, &count))
    return 0;
  const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    HANDLE printer = nullptr;
    if (!OpenPrinterW(printers[i].pPrinterName, &printer, nullptr)) return 0;
    DWORD type = 0, size = 0;
    DWORD status = GetPrinterDataExW(printer, u"PnPData", u"DeviceInstanceId", &type, nullptr, 0, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
      ClosePrinter(printer);
      continue;
    }
    if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) {
      ClosePrinter(printer);
      ShowResourceMessage(nullptr, ctx.languageLibrary, 31, 4, MB_ICONERROR);
      SetLastError(status);
      return 0;
    }
    std::vector<BYTE> value(size + sizeof(WCHAR));
    status = GetPrinterDataExW(printer, u"PnPData", u"DeviceInstanceId", &type, value.data(), size, &size);
    ClosePrinter(printer);
    if (status == ERROR_SUCCESS && Str(reinterpret_cast<const WCHAR*>(value.data())) == Str(ctx.deviceInstanceId)) {
      ctx.deviceHasPrinter = 1;
      return 1;
    }
  }
  return 1;
}

DWORD InstallUsbDevice(SetupContext& ctx) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return GetLastError();
  // Every way out destroys the list.
  auto fail = [set](DWORD error) {
    SetupDiDestroyDeviceInfoList(set);
    return error ? error : static_cast<DWORD>(ERROR_GEN_FAILURE);
  };
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (!SetupDiOpenDeviceInfoW(set, ctx.deviceInstanceId, nullptr, 0, &device) ||
      !SetupDiSetSelectedDevice(set, &device))
    return fail(GetLastError());
  SP_DEVINSTALL_PARAMS_W params{};
  params.cbSize = sizeof params;
  if (!SetupDiGetDeviceInstallParamsW(set, &device, &params)) return fail(GetLastError());
  params.Flags |= DI_ENUMSINGLEINF | DI_NOFILECOPY;
  params.FlagsEx |= DI_FLAGSEX_USECLASSFORCOMPAT;
  const std::u16string inf(InfOf(ctx));
  if (inf.size() >= MAX_PATH) return fail(ERROR_BAD_PATHNAME);
  inf.copy(params.DriverPath, inf.size());
  params.DriverPath[inf.size()] = 0;
  if (!SetupDiSetDeviceInstallParamsW(set, &device, &params) ||
      !SetupDiBuildDriverInfoList(set, &device, SPDIT_COMPATDRIVER))
    return fail(GetLastError());
  bool selected = false;
  for (DWORD index = 0; !selected; ++index) {
    SP_DRVINFO_DATA_W driver{};
    driver.cbSize = sizeof driver;
    if (!SetupDiEnumDriverInfoW(set, &device, SPDIT_COMPATDRIVER, index, &driver)) {
      if (GetLastError() != ERROR_NO_MORE_ITEMS) return fail(GetLastError());
      break;
    }
    if (Str(driver.Description) != Str(ctx.modelName)) continue;
    if (!SetupDiSetSelectedDriverW(set, &device, &driver)) return fail(GetLastError());
    selected = true;
  }
  // No driver of the model fits the device: nothing is installed.
  if (!selected) return fail(ERROR_NO_DRIVER_SELECTED);
  BOOL installed = FALSE;
  if (!IsVistaOrLater(ctx)) {
    if (!FindPrinterForDevice(ctx)) return fail(GetLastError());
    installed = ctx.deviceHasPrinter ? SetupDiInstallDevice(set, &device)
                                     : SetupDiCallClassInstaller(DIF_INSTALLDEVICE, set, &device);
  } else {
    SP_DRVINFO_DATA_W driver{};
    driver.cbSize = sizeof driver;
    if (!SetupDiGetSelectedDriverW(set, &device, &driver)) return fail(GetLastError());
    using DiInstallProc = BOOL (*)(HWND, HDEVINFO, SP_DEVINFO_DATA*, SP_DRVINFO_DATA_W*, DWORD, BOOL*);
    HMODULE newdev = LoadLibraryW(u"newdev.dll");
    auto install = newdev ? reinterpret_cast<DiInstallProc>(GetProcAddress(newdev, "DiInstallDevice")) : nullptr;
    if (!install) {
      const DWORD error = GetLastError();
      if (newdev) FreeLibrary(newdev);
      return fail(error);
    }
    installed = install(nullptr, set, &device, &driver, 0, nullptr);
    const DWORD error = installed ? 0 : GetLastError();
    FreeLibrary(newdev);
    if (!installed) return fail(error);
  }
  if (!installed) return fail(GetLastError());
  SetupDiDestroyDeviceInfoList(set);
  return 0;
}

DWORD InstallWorkerThread(LPVOID parameter) {
  const auto& args = *static_cast<const InstallWorkerArgs*>(parameter);
  SetupContext& ctx = *args.context;
  bool ok = ReadInfModelSection(ctx, args.datatype) == 1;
  if (ok && !IsPackageMode(ctx)) ok = ReadInfCopyList(ctx, *args.copyList) != 0;
  if (ok) ok = InstallPrinter(args.datatype, *args.copyList, args, ctx) == 1;
  if (ok) Progress(args, 100);
  Post(args, kWorkerDoneMessage, ok ? 1 : 0);
  return 0;
}


}  // namespace installer
