// pluginrender32 / pluginrender64: the rendering plug-in of the core printer driver.
#include "plat/oem.h"
#include "plugincommon/com_base.h"
#include "renderplugin/oem_uni.h"

extern "C" {

DLLEXPORT BOOL WINAPI DllMain(HMODULE, DWORD, LPVOID) { return TRUE; }

DLLEXPORT HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return renderplugin::GetClassObject(clsid, iid, object);
}

DLLEXPORT HRESULT WINAPI DllCanUnloadNow() { return plugincommon::CanUnloadNow(); }
}
