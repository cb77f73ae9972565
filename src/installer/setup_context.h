// The installer's run record: one zero-filled block that every page, worker
// and routine of the installer works on.
#pragma once

#include <cstddef>
#include <string_view>

#include "plat/windows.h"

namespace installer {

constexpr int kPathUnits = MAX_PATH;  // a "path" field, terminator included
constexpr int kMaxKinds = 4;
constexpr int kLanguageRows = 21;
constexpr DWORD kNoLanguage = 21;  // LanguageNumber when no language applies

struct LanguageEntry {
  const char16_t* code;
  DWORD number;          // LanguageNumber
  WORD normalBitmap;     // setup's bitmap of the row
  WORD selectedBitmap;
  BYTE charset;          // GDI character set
  bool present;          // Setup.ini [Language] lists the code
};

enum class Connection : BYTE { Network = 0, UsbCable = 1, UsbMemory = 2 };

struct SetupContext {
  HINSTANCE setupInstance;
  HMODULE languageLibrary;
  HANDLE icon;
  LONG pageRect[4];
  LONG pageWidth, pageHeight;
  DWORD languageRowCount;
  LanguageEntry* languageRows;
  WCHAR setupFolder[kPathUnits];
  WCHAR instIniPath[kPathUnits];
  WCHAR uninstIniPath[kPathUnits];
  WCHAR setupIniPath[kPathUnits];
  WCHAR swiftIniPath[kPathUnits];
  WCHAR osFolder[32];
  INT type;
  INT langStyle;
  WCHAR osName[20];
  WCHAR driverFolder[kPathUnits];
  WCHAR languageValue[20];
  WCHAR kindNames[kMaxKinds][20];
  WCHAR kindFolders[kMaxKinds][kPathUnits];
  WCHAR infPaths[kMaxKinds][kPathUnits];
  WCHAR modelsSections[kMaxKinds][100];
  WCHAR usbMemoryFolders[kMaxKinds][kPathUnits];
  WCHAR usbMemoryInfPaths[kMaxKinds][kPathUnits];
  WCHAR usbMemoryModelsSections[kMaxKinds][100];
  WCHAR resourceFolder[kPathUnits];
  WCHAR resourceFolderName[30];
  WCHAR languageLibraryPath[kPathUnits];
  WCHAR languageLibraryName[30];
  WCHAR manualSourceFolder[kPathUnits];
  WCHAR readmePath[kPathUnits];
  WCHAR makerFolderName[30];
  DWORD copyManuals;
  DWORD removeManuals;
  WCHAR productPath[kPathUnits];
  WCHAR productFolder[30];
  WCHAR uninstallFolders[30][30];
  WCHAR languageCode[20];
  WCHAR manualFolderName[100];
  WCHAR manualLanguageFolder[100];
  WCHAR resourceFolderNameCopy[100];
  INT listedPrinterCount;
  DWORD dmSize, dmDriverExtra;
  INT testPage;
  INT portType;
  INT printerDataRecordCount;
  WCHAR devmodeFilePath[kPathUnits];
  Connection connection;
  DWORD installDriver;
  DWORD deviceHasPrinter;
  WCHAR modelName[32];
  DWORD kindIndex;
  WCHAR installSection[32];
  WCHAR printerName[32];
  WCHAR dataFileName[32];
  WCHAR usbHardwareId[130];  // whole, as the device reports it (260 bytes)
  WCHAR deviceInstanceId[kPathUnits];
  WCHAR portName[kPathUnits];
  WCHAR printProcessorName[32];
  WCHAR printProcessorFile[35];
  WCHAR installedInfPath[kPathUnits];
  DWORD x64System;
  DWORD previewFlag;
  WCHAR** chosenPrinters;
  INT chosenPrinterCount;
  INT uninstallFolderCount;
  HANDLE closerThread;
  DWORD closerStop;
  HANDLE closerStopEvent;  // set with closerStop; the closer waits on it
};

// Copies text into a fixed field with its terminator; false (field left
// as it was) when it does not fit. Nothing is ever cut.
template <std::size_t N>
bool SetField(WCHAR (&field)[N], std::u16string_view text) {
  if (text.size() + 1 > N) return false;
  text.copy(field, text.size());
  field[text.size()] = 0;
  return true;
}

// Joins parts into a fixed field; false when the whole does not fit.
template <std::size_t N>
bool JoinField(WCHAR (&field)[N], std::initializer_list<std::u16string_view> parts) {
  std::size_t total = 0;
  for (auto p : parts) total += p.size();
  if (total + 1 > N) return false;
  std::size_t at = 0;
  for (auto p : parts) at += p.copy(field + at, p.size());
  field[at] = 0;
  return true;
}

inline std::u16string_view Str(const WCHAR* field) { return plat::view(field); }

}  // namespace installer
