// The job-group dialogs of the output modes that store the job: the hold job
// dialog (template 1991, modes 1 and 2) and the USB job dialog (template
// 1992, modes 3 and 4). Both work on a copy and write back only on OK.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

struct HoldOutputRecord {
  std::uint8_t DirectoryEnable;  // HoldMemoryDirectoryEnable
  std::uint8_t Editable;         // not in defaults mode
  HMODULE ResourceDll;
  std::uint8_t NameFromDoc;
  WCHAR JobName[kSettingsNameUnits];
  WCHAR UserName[kSettingsNameUnits];
  std::uint8_t Option;
  std::uint8_t Box;  // 1-6
};

struct UsbOutputRecord {
  std::uint8_t Automatic;  // output mode 4
  std::uint8_t Editable;
  HMODULE ResourceDll;
  std::uint8_t NameFromDoc;
  WCHAR JobName[kSettingsNameUnits];
  WCHAR UserName[kSettingsNameUnits];
  std::uint8_t Option;
  WCHAR Drive[kUsbDriveUnits];
  std::uint8_t Folder;  // 1-6
};

// The DialogBoxParamW result (1 = OK).
INT_PTR HoldOutputDialog(HWND page, DocSheetContext& context);
INT_PTR UsbOutputDialog(HWND page, DocSheetContext& context);
// 2068: the hold dialog for modes 1 and 2, the USB dialog for 3 and 4; true on OK.
bool OpenJobGroupDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK HoldOutputDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK UsbOutputDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
