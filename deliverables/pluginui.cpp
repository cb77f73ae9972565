// pluginui32 / pluginui64: the UI plug-in of the core printer driver.
#include "plat/oem.h"
#include "plugincommon/com_base.h"
#include "uiplugin/oem_ui.h"

extern "C" {

DLLEXPORT BOOL WINAPI DllMain(HMODULE, DWORD, LPVOID) { return TRUE; }

DLLEXPORT HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return uiplugin::GetClassObject(clsid, iid, object);
}

DLLEXPORT HRESULT WINAPI DllCanUnloadNow() { return plugincommon::CanUnloadNow(); }
}
