#include "installer/uninstall_worker.h"

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "installer/tool_folder.h"
#include "plat/shell_link.h"

namespace installer {
namespace {

constexpr DWORD kServiceWaitMs = 5000;
constexpr int kServiceTries = 3;
constexpr std::size_t kMaxUninstallFolders = 30;

void Post(const UninstallWorkerArgs& args, UINT message, WPARAM wParam) {
  if (args.post) args.post(args.page, message, wParam, 0);
}

bool UsedByAny(const PrinterList& printers, std::u16string_view name, LPWSTR PRINTER_INFO_2W::*field) {
  for (const PRINTER_INFO_2W& p : printers)
    if (Str(p.*field) == name) return true;
  return false;
}

std::u16string WithoutSlash(std::u16string_view folder) {
  std::u16string out(folder);
  while (!out.empty() && out.back() == u'\\') out.pop_back();
  return out;
}

bool StartsWithFolder(std::u16string_view path, std::u16string_view folder) {
  const std::u16string prefix = WithoutSlash(folder) + u"\\";
  return path.size() >= prefix.size() && plat::EqualsNoCase(path.substr(0, prefix.size()), prefix);
}

void DeleteAtRestart(const std::u16string& path) { MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT); }

// Closes the manager and service handles on every path.
struct ServiceHandles {
  SC_HANDLE manager = nullptr;
  SC_HANDLE service = nullptr;
  ~ServiceHandles() {
    if (service) CloseServiceHandle(service);
    if (manager) CloseServiceHandle(manager);
  }
};

// Sends the action until the service is in the goal state: at most three
// times, 5 s apart. 1 only when the goal was reached.
template <typename Action>
int ReachServiceState(SERVICE_STATUS& status, SC_HANDLE service, DWORD goal, Action action) {
  if (!ControlService(service, SERVICE_CONTROL_INTERROGATE, &status) && status.dwCurrentState != SERVICE_STOPPED)
    return 0;
  for (int i = 0; i < kServiceTries; ++i) {
    if (status.dwCurrentState == goal) return 1;
    if (!action()) return 0;
    Sleep(kServiceWaitMs);
    if (!ControlService(service, SERVICE_CONTROL_INTERROGATE, &status) && status.dwCurrentState != SERVICE_STOPPED)
      return 0;
  }
  return status.dwCurrentState == goal ? 1 : 0;
}

}  // namespace

bool ListLocalPrinters(PrinterList& list) {
  DWORD needed = 0;
  list.count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &list.count);
  list.buffer.assign(needed ? needed : 1, 0);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, list.buffer.data(), needed, &needed, &list.count)) {
    list.count = 0;
    return false;
  }
  return true;
}

int ReadUninstallFolders(SetupContext& ctx) {
  const std::u16string_view uninst = Str(ctx.uninstIniPath);
  ctx.uninstallFolderCount = 0;
  const INT n = ReadIniInt(uninst, u"Folder", u"Num", -1);
  // More folders than the context holds are refused like a missing key.
  if (n < 0 || static_cast<std::size_t>(n) > kMaxUninstallFolders) return 0;
  for (INT i = 0; i < n; ++i) {
    const auto folder = ReadIniString(uninst, u"Folder", plat::u16(std::to_string(i)), 29);
    if (!folder || !SetField(ctx.uninstallFolders[i], *folder)) return 0;
  }
  ctx.uninstallFolderCount = n;
  return 1;
}

void FreeChosenPrinters(SetupContext& ctx) {
  if (ctx.chosenPrinters) {
    for (INT i = 0; i < ctx.chosenPrinterCount; ++i) LocalFree(ctx.chosenPrinters[i]);
    LocalFree(ctx.chosenPrinters);
  }
  ctx.chosenPrinters = nullptr;
}

DWORD UninstallWorkerThread(LPVOID parameter) {
  const auto& args = *static_cast<const UninstallWorkerArgs*>(parameter);
  SetupContext& ctx = *args.context;
  const int ok = UninstallWorker(ctx, args);
  if (ok) {
    Post(args, kProgressMessage, 100);
    // The count stays: the finish page offers the restart by it.
    FreeChosenPrinters(ctx);
  }
  Post(args, kWorkerDoneMessage, ok ? 1 : 0);
  return 0;
}

int UninstallWorker(SetupContext& ctx, const UninstallWorkerArgs& args) {
  std::vector<UninstallPrinterItem> items(static_cast<std::size_t>(std::max(ctx.chosenPrinterCount, 0)));
  for (std::size_t i = 0; i < items.size(); ++i) {
    items[i] = {};
    items[i].name = ctx.chosenPrinters ? ctx.chosenPrinters[i] : nullptr;
  }
  PrinterList printers;
  if (!ListLocalPrinters(printers)) return ReportAllocFailure(ctx.languageLibrary);
  Post(args, kProgressMessage, 10);
  if (!DeleteModelPrinters(items, printers, ctx)) return 0;
  Post(args, kProgressMessage, 30);
  PrinterList remaining;
  if (!ListLocalPrinters(remaining)) return ReportAllocFailure(ctx.languageLibrary);
  Post(args, kProgressMessage, 40);
  if (!DeleteModelDrivers(items, remaining, ctx)) return 0;
  Post(args, kProgressMessage, 70);
  if (!DeletePrintProcessor(items, remaining, ctx)) return 0;
  Post(args, kProgressMessage, 90);
  if (!RemoveInstalledFiles(ctx)) return 0;
  Post(args, kProgressMessage, 95);
  return 1;
}

int DeleteModelPrinters(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext& ctx) {
  for (UninstallPrinterItem& item : items) {
    if (!item.name) continue;
    const PRINTER_INFO_2W* found = nullptr;
    for (const PRINTER_INFO_2W& p : printers)
      if (Str(p.pPrinterName) == Str(item.name)) found = &p;
    if (!found) continue;
    SetField(item.driverName, Str(found->pDriverName));
    SetField(item.printProcessor, Str(found->pPrintProcessor));
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (!OpenPrinterW(item.name, &printer, &defaults)) return ReportAllocFailure(ctx.languageLibrary);
    if (!SetPrinterW(printer, 0, nullptr, PRINTER_CONTROL_PURGE)) {
      ClosePrinter(printer);
      return 0;
    }
    if (!DeletePrinter(printer)) {
      ShowSystemError(GetLastError());
      ClosePrinter(printer);
      return 0;
    }
    if (!ClosePrinter(printer)) return 0;
  }
  return 1;
}

int DeleteModelDrivers(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext& ctx) {
  for (UninstallPrinterItem& item : items) {
    const std::u16string driver(Str(item.driverName));
    if (driver.empty() || UsedByAny(printers, driver, &PRINTER_INFO_2W::pDriverName)) continue;
    std::u16string name = driver;
    if (DeletePrinterDriverExW(nullptr, nullptr, name.data(), DPD_DELETE_UNUSED_FILES, 0)) continue;
    const DWORD error = GetLastError();
    if (error == ERROR_UNKNOWN_PRINTER_DRIVER) continue;  // gone already
    if (error == ERROR_PRINTER_DRIVER_IN_USE && RestartSpoolerAndDeleteDriver(ctx.languageLibrary, driver)) continue;
    item.driverName[0] = 0;  // the driver stays, and so does its processor
  }
  return 1;
}

int DeletePrintProcessor(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext&) {
  for (UninstallPrinterItem& item : items) {
    const std::u16string processor(Str(item.printProcessor));
    if (!item.driverName[0] || processor.empty() || plat::EqualsNoCase(processor, u"WinPrint")) continue;
    if (UsedByAny(printers, processor, &PRINTER_INFO_2W::pPrintProcessor)) continue;
    std::u16string name = processor;
    DeletePrintProcessorW(nullptr, nullptr, name.data());
  }
  return 1;
}

int RestartSpoolerAndDeleteDriver(HMODULE library, std::u16string_view driverName) {
  {
    ServiceHandles handles;
    handles.manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (handles.manager) handles.service = OpenServiceW(handles.manager, u"Spooler", SERVICE_ALL_ACCESS);
    if (!handles.service) return ReportAllocFailure(library);
    SERVICE_STATUS status{};
    const int stopped = StopSpoolerService(status, handles.service, handles.manager);
    // A spooler that was stopped is always started again.
    const int started = StartSpoolerService(status, handles.service, handles.manager);
    if (!stopped || !started) return ReportAllocFailure(library);
  }
  std::u16string name(driverName);
  return DeletePrinterDriverExW(nullptr, nullptr, name.data(), DPD_DELETE_UNUSED_FILES, 0) ? 1 : 0;
}

int StopSpoolerService(SERVICE_STATUS& status, SC_HANDLE service, SC_HANDLE) {
  return ReachServiceState(status, service, SERVICE_STOPPED,
                           [&] { return ControlService(service, SERVICE_CONTROL_STOP, &status) != FALSE; });
}

int StartSpoolerService(SERVICE_STATUS& status, SC_HANDLE service, SC_HANDLE) {
  return ReachServiceState(status, service, SERVICE_RUNNING,
                           [&] { return StartServiceW(service, 0, nullptr) != FALSE; });
}

int RemoveInstalledFiles(SetupContext& ctx) {
  if (!ctx.makerFolderName[0]) ReadMakerFolder(ctx);
  const std::u16string programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
  // Without a maker folder nothing of ours can be named: nothing is removed.
  if (programFiles.empty() || !ctx.makerFolderName[0]) return 1;
  const std::u16string makerPath = programFiles + u"\\" + std::u16string(Str(ctx.makerFolderName));
  for (INT i = 0; i < ctx.uninstallFolderCount && i < static_cast<INT>(kMaxUninstallFolders); ++i) {
    if (ctx.uninstallFolders[i][0]) RemoveModelFolder(ctx, Str(ctx.uninstallFolders[i]), makerPath);
  }
  DeleteAtRestart(makerPath);
  return 1;
}

int RemoveModelFolder(SetupContext& ctx, std::u16string_view folder, std::u16string_view makerPath) {
  const std::u16string product = std::u16string(makerPath) + u"\\" + std::u16string(folder);
  const std::u16string manual = product + u"\\Manual";
  const std::u16string tool = product + u"\\Tool";
  const std::u16string preview = product + u"\\" + std::u16string(kPreviewFolder);
  const bool removeAll = ctx.chosenPrinterCount == ctx.listedPrinterCount;
  RemoveStartMenuLinks(ctx, folder, tool, preview, manual, removeAll);
  if (removeAll) {
    DeleteFolderTree(tool, Str(ctx.languageLibraryName), Str(ctx.setupFolder));
    DeleteFolderTree(preview, u"", u"");
  }
  if (ctx.removeManuals) DeleteFolderTree(manual, u"", u"");
  DeleteAtRestart(product);
  return 1;
}

int RemoveStartMenuLinks(SetupContext& ctx, std::u16string_view folder, std::u16string_view toolFolder,
                         std::u16string_view previewFolder, std::u16string_view manualFolder, bool removeAll) {
  const std::u16string links = LinkFolder(ctx, folder);
  if (links.empty()) return 1;
  WIN32_FIND_DATAW found{};
  const std::u16string pattern = links + u"*.*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string_view name = Str(found.cFileName);
      if (name == u"." || name == u"..") continue;
      DeleteLinkIfTargetIn(toolFolder, previewFolder, links + std::u16string(name), manualFolder, removeAll,
                           ctx.removeManuals != 0);
    } while (FindNextFileW(find, &found));
    FindClose(find);
  }
  RemoveDirectoryW(WithoutSlash(links).c_str());
  const std::u16string makerPrograms = ShellFolder(CSIDL_COMMON_PROGRAMS) + u"\\" + std::u16string(Str(ctx.makerFolderName));
  RemoveDirectoryW(makerPrograms.c_str());
  return 1;
}

int DeleteLinkIfTargetIn(std::u16string_view toolFolder, std::u16string_view previewFolder, std::u16string_view link,
                         std::u16string_view manualFolder, bool removeAll, bool removeManuals) {
  const std::u16string linkPath(link);
  const HRESULT init = CoInitialize(nullptr);
  IShellLinkW* shellLink = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<LPVOID*>(&shellLink));
  if (SUCCEEDED(hr)) hr = shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) hr = file->Load(linkPath.c_str(), STGM_READ);
  if (SUCCEEDED(hr)) {
    WCHAR target[kPathUnits] = {};
    shellLink->GetPath(target, kPathUnits, nullptr, SLGP_RAWPATH);
    const std::u16string_view path = Str(target);
    const bool ours = (removeAll && (StartsWithFolder(path, toolFolder) || StartsWithFolder(path, previewFolder))) ||
                      (removeManuals && StartsWithFolder(path, manualFolder));
    if (ours) DeleteFileW(linkPath.c_str());
  }
  if (file) file->Release();
  if (shellLink) shellLink->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return SUCCEEDED(hr) ? 1 : 0;
}

int DeleteFolderTree(std::u16string_view folder, std::u16string_view inUseName, std::u16string_view runningFolder) {
  const std::u16string base = WithoutSlash(folder);
  const bool running = !runningFolder.empty() && plat::EqualsNoCase(base + u"\\", WithoutSlash(runningFolder) + u"\\");
  int result = 1;
  WIN32_FIND_DATAW found{};
  const std::u16string pattern = base + u"\\*.*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::u16string name(Str(found.cFileName));
      if (name == u"." || name == u"..") continue;
      const std::u16string path = base + u"\\" + name;
      DWORD kept = found.dwFileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
      SetFileAttributesW(path.c_str(), kept ? kept : FILE_ATTRIBUTE_NORMAL);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        const std::u16string sub = runningFolder.empty() ? u"" : WithoutSlash(runningFolder) + u"\\" + name + u"\\";
        if (!DeleteFolderTree(path, inUseName, sub)) result = 0;
      } else if (running && (plat::EqualsNoCase(name, u"installcore.dll") || plat::EqualsNoCase(name, u"Setup.exe") ||
                             (!inUseName.empty() && plat::EqualsNoCase(name, inUseName)))) {
        if (!MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) result = 0;
      } else if (!DeleteFileW(path.c_str())) {
        result = 0;
      }
    } while (result && FindNextFileW(find, &found));
    FindClose(find);
  }
  if (!inUseName.empty()) {
    if (!MoveFileExW(base.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT)) result = 0;
  } else if (!RemoveDirectoryW(base.c_str())) {
    result = 0;
  }
  return result;
}

}  // namespace installer
