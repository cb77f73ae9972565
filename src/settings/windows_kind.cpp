#include "settings/windows_kind.h"

#include "plat/machine.h"
#include "plat/resources.h"

namespace {

using GetNativeSystemInfoFn = void (*)(LPSYSTEM_INFO);

// The machine's own processor: the native call exists only on newer systems,
// so it is looked up by name.
WORD NativeArchitecture() {
  SYSTEM_INFO info{};
  const HMODULE kernel = GetModuleHandleW(u"kernel32.dll");
  const FARPROC proc = kernel ? GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
  if (proc) {
    reinterpret_cast<GetNativeSystemInfoFn>(proc)(&info);
  } else {
    GetSystemInfo(&info);
  }
  return info.wProcessorArchitecture;
}

}  // namespace

int GetWindowsKind() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version))) return -1;

  const bool x64 = NativeArchitecture() == PROCESSOR_ARCHITECTURE_AMD64;
  const bool workstation = version.wProductType == VER_NT_WORKSTATION;
  if (version.dwMajorVersion == 5) {
    switch (version.dwMinorVersion) {
      case 0: return 104;
      case 1: return 106;
      case 2: return (workstation && x64) ? 107 : 0;
      default: return 0;
    }
  }
  if (version.dwMajorVersion == 6 && workstation) {
    switch (version.dwMinorVersion) {
      case 0: return x64 ? 109 : 108;
      case 1: return x64 ? 111 : 110;
      case 2: return x64 ? 113 : 112;
      default: return 0;
    }
  }
  return 0;
}
