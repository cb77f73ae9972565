// classicrender: the printer graphics library. The engine binds it through
// DrvEnableDriver; everything else is reached through the table it returns.
#include "plat/engine.h"
#include "render/driver_table.h"

extern "C" {

DLLEXPORT BOOL DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  return render::EnableDriver(iEngineVersion, cj, pded);
}

DLLEXPORT void DrvDisableDriver() {}

DLLEXPORT BOOL DrvQueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  return render::QueryDriverInfo(dwMode, pBuffer, cbBuf, pcbNeeded);
}

DLLEXPORT BOOL DllInitialize(HINSTANCE, DWORD reason, LPVOID) { return render::InitializeForReason(reason); }

}  // extern "C"
