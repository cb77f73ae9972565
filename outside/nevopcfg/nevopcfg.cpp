// Our port configuration library on the medium: adds an IPP port through
// the package's port monitor, which must be installed first.
#include <string>

#include "plat/windows.h"

namespace {
constexpr const char16_t* kMonitor = u"QP4W Port Monitor";
constexpr DWORD kRecordSize = 1052;
constexpr std::size_t kUrlOffset = 4, kUrlUnits = 260;
}  // namespace

extern "C" DLLEXPORT BOOL NevoAddPortW(LPCWSTR portName, DWORD level, const BYTE* data) {
  if (!portName || !*portName || level != 1 || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<DWORD>(data[3]) << 24);
  if (size != kRecordSize) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string url;
  for (std::size_t i = 0; i < kUrlUnits; ++i) {
    const char16_t c = static_cast<char16_t>(data[kUrlOffset + 2 * i] | (data[kUrlOffset + 2 * i + 1] << 8));
    if (!c) break;
    url += c;
  }
  bool installed = false;
  for (const auto& m : plat::spooler::Monitors()) installed = installed || m == kMonitor;
  if (!installed || url.empty()) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  plat::spooler::PortStatus port;
  port.name = plat::view(portName);
  port.monitor = kMonitor;
  port.hostAddress = url;
  if (!plat::spooler::AddPortOf(port)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return TRUE;
}
