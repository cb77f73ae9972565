// What the pages read about the chosen model's folders, and the test page.
#pragma once

#include <string_view>

#include "installer/setup_context.h"

namespace installer {

// uninst.ini [Model] "<model>" = flag, folder key; [Folder] <key>: the
// preview flag and the product folder. 1, or 0 when a key is missing.
int ReadModelFolder(SetupContext& ctx);
// Setup.ini [Manual]: the manual source folder. 1, or 0 when a key is missing.
int ReadManualFolder(SetupContext& ctx);
// 1 when the folder holds any entry.
int FolderHasFiles(std::u16string_view folder);
// Check box 1029 checked when there are manuals to copy, else unchecked and hidden.
void UpdateManualsCheckBox(const SetupContext& ctx, HWND page);
// Prints the printer's test page through printui and tells the user so. 1 or 0.
int PrintTestPage(std::u16string_view printerName, HWND page, Connection connection, HMODULE library);

}  // namespace installer
