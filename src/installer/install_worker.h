// The install worker: reads the chosen model from the driver INF, copies
// the driver files, installs print processor and driver and creates the
// printer, reporting progress to the progress page with posted messages.
#pragma once

#include <array>
#include <string>

#include "installer/setup_context.h"

namespace installer {

constexpr UINT kWorkerDoneMessage = 0x8000;  // WM_APP; wParam 1 success, 0 failure
constexpr UINT kProgressMessage = 0x0402;    // PBM_SETPOS to the page's bar 1002
constexpr DWORD kDriverDirectoryId = 66000;
constexpr DWORD kProcessorDirectoryId = 66001;
constexpr std::size_t kCopyListSize = 10;

struct CopyListEntry {
  WCHAR fileName[32];
  WCHAR sourcePath[kPathUnits];
  DWORD directoryId;
};
using CopyList = std::array<CopyListEntry, kCopyListSize>;

// How the worker reaches its page: PostMessageW once the page exists.
using PostProc = BOOL (*)(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct InstallWorkerArgs {
  HWND page;
  WCHAR* datatype;  // 32 units
  CopyList* copyList;
  SetupContext* context;
  PostProc post;
};

// Thread routine: posts the progress values and kWorkerDoneMessage; exit code 0.
DWORD InstallWorkerThread(LPVOID args);

// Type 4 on Vista or later: the driver comes from the driver store.
bool IsPackageMode(const SetupContext& ctx);
int ReadInfModelSection(SetupContext& ctx, WCHAR* datatype);
// 1, 0, or -1 when the INF has no [DestinationDirs] DefaultDestDir.
int ReadInfCopyList(SetupContext& ctx, CopyList& list);
int CopyDriverFiles(DWORD& keep, CopyList& list, SetupContext& ctx);
int CopyFileChecked(std::u16string_view target, std::size_t row, const CopyList& list);
int ReplaceFileAtReboot(const CopyList& list, std::size_t row, std::u16string_view target);
int FindPrintProcessor(HMODULE library, std::u16string_view name);
int AddDriver(SetupContext& ctx, const CopyList& list, const WCHAR* datatype, DWORD keep);
int AddLocalPrinter(SetupContext& ctx, const WCHAR* datatype);
int InstallPrinter(WCHAR* datatype, CopyList& list, const InstallWorkerArgs& args, SetupContext& ctx);

// The strings of a DRIVER_INFO_6W, each sized from its value.
struct DriverInfoStrings {
  std::u16string name, driverPath, dataFile, configFile, helpFile, datatype;
  std::u16string dependentFiles;  // zero-separated, ended by an empty name
  std::u16string manufacturer, oemUrl, hardwareId, provider;
};
int BuildDriverInfo(DRIVER_INFO_6W& info, DriverInfoStrings& strings, const CopyList& list, const WCHAR* datatype,
                    const SetupContext& ctx);

// The device instance's printer (flag `deviceHasPrinter`): 1 when the
// printers could be searched, 0 otherwise (last error set).
int FindPrinterForDevice(SetupContext& ctx);
// Gives the connected USB printer the model's driver and its printer. 0, or
// the error code (ERROR_NO_DRIVER_SELECTED when no driver of the INF for the
// device is named like the model).
DWORD InstallUsbDevice(SetupContext& ctx);

}  // namespace installer
