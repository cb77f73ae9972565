#include "installer/messages.h"

#include <string>
#include <vector>

namespace installer {

int ShowResourceMessage(HWND owner, HMODULE library, UINT textId, UINT captionId, UINT style) {
  WCHAR direction[8] = {};
  LoadStringW(library, 40, direction, 8);
  if (Str(direction) == u"23") style |= MB_RTLREADING | MB_RIGHT;
  WCHAR text[512] = {};
  WCHAR caption[128] = {};
  LoadStringW(library, textId, text, 512);
  LoadStringW(library, captionId, caption, 128);
  return MessageBoxW(owner, text, caption, style);
}

void ConfirmCancel(const SetupContext& ctx, HWND page, Leaving what) {
  const UINT text = what == Leaving::Install ? 28 : 29;
  if (ShowResourceMessage(page, ctx.languageLibrary, text, 4, MB_YESNO | MB_ICONQUESTION) == IDYES) EndDialog(page, IDCANCEL);
}

void PlaceDialog(SetupContext& ctx, HWND page) {
  RECT own{};
  GetWindowRect(page, &own);
  const int width = own.right - own.left, height = own.bottom - own.top;
  ctx.pageWidth = width + 1;
  ctx.pageHeight = height + 1;
  const LONG* saved = ctx.pageRect;
  if (!saved[0] && !saved[1] && !saved[2] && !saved[3]) {
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    MoveWindow(page, work.left + (work.right - work.left - width) / 2, work.top + (work.bottom - work.top - height) / 2,
               width, height, TRUE);
  } else {
    MoveWindow(page, saved[0], saved[1], width, height, TRUE);
  }
}

int ReportAllocFailure(HMODULE library) {
  ShowResourceMessage(nullptr, library, 31, 4, MB_ICONERROR);
  return 0;
}

DWORD DisplayCode(DWORD error) {
  constexpr DWORD kSetupApiBits = 0xE0000000;
  if ((error & kSetupApiBits) == kSetupApiBits)
    return 0x800F0000 | (error & 0x0000FFFF);  // HRESULT_FROM_SETUPAPI
  if (error != 0 && (error & 0x80000000) == 0) return 0x80070000 | (error & 0x0000FFFF);  // HRESULT_FROM_WIN32
  return error;
}

void ShowSystemText(DWORD error, UINT style) {
  WCHAR text[512] = {};
  FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                 MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 512, nullptr);
  MessageBoxW(nullptr, text, nullptr, style);
}

void ShowSystemError(DWORD error) { ShowSystemText(error, MB_ICONERROR); }

void RebootWindows() {
  HANDLE token = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid))
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
  }
  if (!ExitWindowsEx(EWX_REBOOT, 0)) ShowSystemText(GetLastError(), MB_OK);
}

int IsPrinterDriverInstalled(HMODULE library, std::u16string_view driverName) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, nullptr, 3, buffer.data(), needed, &needed, &count)) {
    ReportAllocFailure(library);
    return -1;
  }
  const auto* drivers = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (Str(drivers[i].pName) == driverName) return 1;
  return 0;
}

bool IsWindows8(const SetupContext& ctx) { return Str(ctx.osName) == u"Win8" || Str(ctx.osName) == u"Win8x64"; }

bool IsVistaOrLater(const SetupContext& ctx) {
  for (std::u16string_view name : {u"WinVista", u"Win7", u"Win8", u"WinVistax64", u"Win7x64", u"Win8x64"})
    if (Str(ctx.osName) == name) return true;
  return false;
}

}  // namespace installer
