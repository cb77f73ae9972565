// The uninstall worker: deletes the chosen printers, the drivers and print
// processors no remaining printer uses (restarting the spooler for a driver
// it still holds), then the product's links and folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "installer/install_worker.h"
#include "installer/setup_context.h"
#include "plat/services.h"

namespace installer {

struct UninstallPrinterItem {
  const WCHAR* name;           // into the chosen list
  WCHAR driverName[kPathUnits];  // emptied when the driver must stay
  WCHAR printProcessor[kPathUnits];
};

struct UninstallWorkerArgs {
  HWND page;
  SetupContext* context;
  PostProc post;
};

// The local printers at level 2; false when they cannot be listed.
struct PrinterList {
  std::vector<BYTE> buffer;
  DWORD count = 0;
  const PRINTER_INFO_2W* begin() const { return reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data()); }
  const PRINTER_INFO_2W* end() const { return begin() + count; }
};
bool ListLocalPrinters(PrinterList& list);

// [Folder] Num (at most 30) and its folders 0 .. Num - 1; 1, or 0 when a key
// is missing or Num is out of range.
int ReadUninstallFolders(SetupContext& ctx);

// Thread routine: posts progress and kWorkerDoneMessage (1 success, 0 failure).
DWORD UninstallWorkerThread(LPVOID args);
int UninstallWorker(SetupContext& ctx, const UninstallWorkerArgs& args);
int DeleteModelPrinters(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext& ctx);
int DeleteModelDrivers(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext& ctx);
int DeletePrintProcessor(std::vector<UninstallPrinterItem>& items, const PrinterList& printers, SetupContext& ctx);
// Stops and starts the spooler, then deletes the driver again; 1 when it went.
int RestartSpoolerAndDeleteDriver(HMODULE library, std::u16string_view driverName);
// 1 when the service reached the state (within three tries of 5 s each).
int StopSpoolerService(SERVICE_STATUS& status, SC_HANDLE service, SC_HANDLE manager);
int StartSpoolerService(SERVICE_STATUS& status, SC_HANDLE service, SC_HANDLE manager);

int RemoveInstalledFiles(SetupContext& ctx);
int RemoveModelFolder(SetupContext& ctx, std::u16string_view folder, std::u16string_view makerPath);
int RemoveStartMenuLinks(SetupContext& ctx, std::u16string_view folder, std::u16string_view toolFolder,
                         std::u16string_view previewFolder, std::u16string_view manualFolder, bool removeAll);
int DeleteLinkIfTargetIn(std::u16string_view toolFolder, std::u16string_view previewFolder, std::u16string_view link,
                         std::u16string_view manualFolder, bool removeAll, bool removeManuals);
// inUseName: the language library of a running tool folder (the folder is
// then deleted at the next restart); runningFolder: the folder the
// uninstaller runs from, whose running files go at the next restart.
int DeleteFolderTree(std::u16string_view folder, std::u16string_view inUseName, std::u16string_view runningFolder);

// Frees the chosen list.
void FreeChosenPrinters(SetupContext& ctx);

}  // namespace installer
