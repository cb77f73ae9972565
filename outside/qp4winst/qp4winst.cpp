// Our installer of the IPP port monitor on the medium. The arguments are
// "-L" followed by the installer's language value.
#include <cstring>

#include "plat/windows.h"

extern "C" DLLEXPORT BOOL Qp4wPortMonitorInstall(HWND, char* output, DWORD outputSize, const char* arguments,
                                                  DWORD) {
  if (!arguments || std::strncmp(arguments, "-L", 2) != 0) return FALSE;
  MONITOR_INFO_2W info{const_cast<LPWSTR>(u"QP4W Port Monitor"), const_cast<LPWSTR>(u"Windows x64"),
                       const_cast<LPWSTR>(u"qp4wmon.dll")};
  const BOOL added = AddMonitorW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  const bool ok = added || GetLastError() == ERROR_PRINT_MONITOR_ALREADY_INSTALLED;
  if (output && outputSize) {
    const char* text = ok ? "installed" : "failed";
    std::strncpy(output, text, outputSize - 1);
    output[outputSize - 1] = 0;
  }
  return ok ? TRUE : FALSE;
}
