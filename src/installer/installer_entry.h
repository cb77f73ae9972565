// The installer's entry: reading Setup.ini and the model file, detecting
// Windows against the [OS] table, and the dispatch to the run modes.
#pragma once

#include <array>
#include <string>

#include "installer/setup_context.h"
#include "installer/setup_files.h"

namespace installer {

// The body of MyWinVer2X. Folders are ANSI and end in a backslash.
int RunInstaller(HMODULE handedLibrary, HINSTANCE setupInstance, const char* setupFolder,
                 const char* resourceFolder);

struct OsRow {
  std::u16string_view name;
  DWORD major, minor;  // 0.0: not supported
  bool x64;
};
// Rows 1 to 13 of the OS table (index 0 is row 1).
extern const std::array<OsRow, 13> kOsTable;
// The [OS] value of each row ("" when missing).
using OsValues = std::array<std::u16string, 13>;
void ReadOsTable(std::u16string_view setupIni, OsValues& values);
// 1 supported (name and folder copied into the context), 0 unsupported, -1
// the version could not be read.
int DetectOsName(SetupContext& ctx);

int StartSetupSession(HINSTANCE setupInstance, SetupContext& ctx, HMODULE handedLibrary);
int DispatchSetupMode(SetupContext& ctx, HMODULE handedLibrary);
int ReadFirstLanguage(SetupContext& ctx);
// The row's LanguageNumber when Setup.ini [Language] lists its code, else 21.
DWORD ReadLanguageKey(std::u16string_view setupIni, LanguageEntry* rows, int row);
// Marks the offered rows and copies them, in table order, into a heap array
// held by the context. 1, or 0 when it cannot be allocated.
int CollectLanguageRows(SetupContext& ctx);
int ShowLanguagePage(SetupContext& ctx);

}  // namespace installer
