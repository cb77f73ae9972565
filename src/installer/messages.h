// Messages and small shared routines of the installer.
#pragma once

#include <string_view>

#include "installer/setup_context.h"

namespace installer {

// Text and caption from a library's string table; right-to-left languages
// (string 40 "23") add MB_RTLREADING | MB_RIGHT. Returns the button pressed.
int ShowResourceMessage(HWND owner, HMODULE library, UINT textId, UINT captionId, UINT style);
// Asks whether to leave (text 28 installing, 29 uninstalling); Yes ends the page with 2.
enum class Leaving { Install = 0, Uninstall = 1 };
void ConfirmCancel(const SetupContext& ctx, HWND page, Leaving what);
// Centres the first page in the work area, later ones where the last was
// left; keeps the page's size for the pages that follow.
void PlaceDialog(SetupContext& ctx, HWND page);
// Message 31, caption 4, from the library; returns 0.
int ReportAllocFailure(HMODULE library);
// The code a failure is shown with: SetupAPI codes as HRESULT_FROM_SETUPAPI,
// other positive Win32 codes as HRESULT_FROM_WIN32.
DWORD DisplayCode(DWORD error);
// The system's text for the code in a message box without caption: with
// the style given, or as an error.
void ShowSystemText(DWORD error, UINT style);
void ShowSystemError(DWORD error);
// 1 when a driver of that name is installed, 0 when none, -1 after message 31.
int IsPrinterDriverInstalled(HMODULE library, std::u16string_view driverName);

// The detected system by its [OS] name: Windows 8 (either tree), Vista or later.
bool IsWindows8(const SetupContext& ctx);
bool IsVistaOrLater(const SetupContext& ctx);

// Restarts Windows with the shutdown privilege; a failure shows its system text.
void RebootWindows();

template <typename T>
void FreeAndClear(T*& pointer) {
  if (pointer) LocalFree(pointer);
  pointer = nullptr;
}

}  // namespace installer
