// Starting programs and opening documents: ShellExecuteW and CreateProcessW.
// Every start is recorded. The only program that runs is the system's
// rundll32 with "printui.dll,PrintUIEntry /k /n "NAME"": it prints the
// printer's test page through the printer's driver into the machine root
// (ROOT/.machine/printed/<port>/). Any other program fails with
// ERROR_FILE_NOT_FOUND.
#pragma once

#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/files.h"

struct STARTUPINFOW {
  DWORD cb;
  LPWSTR lpReserved;
  LPWSTR lpDesktop;
  LPWSTR lpTitle;
  DWORD dwX, dwY, dwXSize, dwYSize, dwXCountChars, dwYCountChars, dwFillAttribute;
  DWORD dwFlags;
  WORD wShowWindow;
  WORD cbReserved2;
  BYTE* lpReserved2;
  HANDLE hStdInput, hStdOutput, hStdError;
};
struct PROCESS_INFORMATION {
  HANDLE hProcess;
  HANDLE hThread;
  DWORD dwProcessId;
  DWORD dwThreadId;
};
constexpr DWORD STARTF_USESHOWWINDOW = 0x00000001;

extern "C" {
// Opens a document: a value above 32 when the file exists, else 2
// (SE_ERR_FNF) with ERROR_FILE_NOT_FOUND.
PLATAPI HINSTANCE ShellExecuteW(HWND owner, LPCWSTR operation, LPCWSTR file, LPCWSTR parameters, LPCWSTR folder,
                                INT show);
PLATAPI BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                            LPSECURITY_ATTRIBUTES threadAttributes, BOOL inherit, DWORD flags, LPVOID environment,
                            LPCWSTR folder, STARTUPINFOW* startup, PROCESS_INFORMATION* info);
}

namespace plat::shell {
struct Start {
  std::u16string what;  // "open FILE" or the command line
  bool ran = false;
};
PLATAPI std::vector<Start> Starts();
PLATAPI void ResetStarts();
// What printui does for the test page: set by the print host when it is
// linked in; returns ERROR_SUCCESS or an error code.
using TestPagePrinter = DWORD (*)(std::u16string_view printerName);
PLATAPI void SetTestPagePrinter(TestPagePrinter printer);
}  // namespace plat::shell
