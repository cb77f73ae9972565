// What the uninstaller needs to know before its pages.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "installer/setup_context.h"

namespace installer {

// 1 when a local printer uses the driver of a model listed in uninst.ini,
// 0 when none does, -1 on failure (shown from `library`: setup's own strings
// when it is setup's instance, else the language library's).
int FindInstalledModelPrinter(SetupContext& ctx, HMODULE library);

// Whether a driver is one of the models named by uninst.ini's [Model] key
// names (each "\"model\"" up to a comma): 1 yes, 0 no, -1 for a key longer
// than 33 characters.
int MatchesModelKey(const std::vector<std::u16string>& keys, std::u16string_view driverName);

// The uninstaller from its first page.
int ShowUninstallPage(SetupContext& ctx);
// Pages 114 to 118. Each returns 1, or 0 after freeing the language library
// and the chosen list.
int ShowUninstallModelPage(SetupContext& ctx);
int ShowUninstallConfirmPage(SetupContext& ctx);
int ShowUninstallProgressPage(SetupContext& ctx);
INT_PTR UninstallFirstPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR UninstallModelPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR UninstallConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR UninstallProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR UninstallFinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// The local printers of the models, added to list 1021: their number, or -1
// after message 31 (or for a bad key). A printer is listed once.
int ListInstalledModelPrinters(HWND page, SetupContext& ctx);
// Lists them (the count is kept as the listed printer count), tells the user
// when there are none, and selects the earlier choice or the first row.
int InitUninstallModelList(HWND page, SetupContext& ctx);
// Check box 1029 shown and checked when a product folder holds manuals.
void UpdateUninstallManualsCheckBox(SetupContext& ctx, HWND page);

}  // namespace installer
