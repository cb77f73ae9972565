#include "renderplugin/oem_uni.h"

#include <cstring>

#include "plugincommon/ids.h"
#include "plugincommon/plugin_devmode.h"
#include "renderplugin/plugin_pdev.h"

namespace renderplugin {

using plugincommon::CreateAndQuery;

namespace {

void PutDword(PVOID buffer, DWORD value) { std::memcpy(buffer, &value, sizeof value); }

}  // namespace

HRESULT COemNevoUni::GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (!needed || (mode != OEMGI_GETSIGNATURE && mode != OEMGI_GETVERSION)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  *needed = sizeof(DWORD);
  if (!buffer || size < sizeof(DWORD)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return E_FAIL;
  }
  // The core's buffer need not be aligned.
  PutDword(buffer, mode == OEMGI_GETSIGNATURE ? kPluginSignature : kPluginVersion);
  return S_OK;
}

HRESULT COemNevoUni::DevMode(DWORD mode, OEMDMPARAM* param) { return hrOEMDevMode(mode, param); }

HRESULT COemNevoUni::EnableDriver(DWORD, DWORD, DRVENABLEDATA* ded) {
  if (!ded) return E_POINTER;
  OemEnableDriver(ded);
  return S_OK;
}

HRESULT COemNevoUni::DisableDriver() {
  driver_.Reset();
  return S_OK;
}

HRESULT COemNevoUni::EnablePDEV(PDEVOBJ devobj, PWSTR printerName, ULONG patterns, HSURF* patternSurfaces,
                                ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo,
                                DRVENABLEDATA* ded, PVOID* devOem) {
  if (!devOem) return E_POINTER;
  *devOem = OemEnablePdev(devobj, printerName, patterns, patternSurfaces, gdiInfoSize, gdiInfo, devInfoSize, devInfo,
                          ded);
  return *devOem ? S_OK : E_FAIL;
}

HRESULT COemNevoUni::DisablePDEV(PDEVOBJ devobj) {
  OemDisablePdev(devobj);
  return S_OK;
}

HRESULT COemNevoUni::ResetPDEV(PDEVOBJ oldDevobj, PDEVOBJ newDevobj) {
  return OemRenderResetPdev(oldDevobj, newDevobj) ? S_OK : E_FAIL;
}

HRESULT COemNevoUni::PublishDriverInterface(IUnknown* driver) {
  if (!driver) return E_FAIL;
  if (driver_) return S_OK;
  if (FAILED(driver->QueryInterface(IID_IPrintOemDriverUni, driver_.PutVoid()))) {
    driver_.Reset();
    return E_FAIL;
  }
  return S_OK;
}

HRESULT COemNevoUni::GetImplementedMethod(PSTR methodName) {
  if (!methodName) return S_FALSE;
  for (const char* name : {"CommandCallback", "FilterGraphics", "ImageProcessing"})
    if (std::strcmp(methodName, name) == 0) return S_OK;
  return S_FALSE;
}

HRESULT COemNevoUni::DriverDMS(PVOID devobj, PVOID buffer, DWORD size, PDWORD needed) {
  if (!devobj) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  if (buffer && size >= sizeof(DWORD)) {
    if (needed) *needed = sizeof(DWORD);
    PutDword(buffer, kDriverDmsHooks);
    return S_OK;
  }
  if (needed) {
    *needed = sizeof(DWORD);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
  } else {
    SetLastError(ERROR_INVALID_PARAMETER);
  }
  return E_FAIL;
}

HRESULT COemNevoUni::CommandCallback(PDEVOBJ, DWORD, DWORD, PDWORD, INT* result) {
  if (result) *result = 0;
  return S_OK;
}

HRESULT COemNevoUni::ImageProcessing(PDEVOBJ, PBYTE, BITMAPINFOHEADER*, PBYTE, DWORD, IPPARAMS*, PBYTE*) {
  return S_OK;
}

HRESULT COemNevoUni::FilterGraphics(PDEVOBJ devobj, PBYTE buffer, DWORD length) {
  // Nothing is written without the core's interface: not published yet, or
  // given up by DisableDriver.
  if (!driver_) return E_FAIL;
  DWORD written = 0;
  const HRESULT hr = driver_->DrvWriteSpoolBuf(devobj, buffer, length, &written);
  return SUCCEEDED(hr) && written == length ? S_OK : S_FALSE;
}

HRESULT COemNevoUni::Compression(PDEVOBJ, PBYTE, PBYTE, DWORD, DWORD, INT*) { return E_NOTIMPL; }
HRESULT COemNevoUni::HalftonePattern(PDEVOBJ, PBYTE, DWORD, DWORD, DWORD, DWORD, PBYTE, DWORD) { return E_NOTIMPL; }
HRESULT COemNevoUni::MemoryUsage(PDEVOBJ, OEMMEMORYUSAGE*) { return E_NOTIMPL; }
HRESULT COemNevoUni::TTYGetInfo(PDEVOBJ, DWORD, PVOID, DWORD, DWORD*) { return E_NOTIMPL; }
HRESULT COemNevoUni::DownloadFontHeader(PDEVOBJ, UNIFONTOBJ*, DWORD*) { return E_NOTIMPL; }
HRESULT COemNevoUni::DownloadCharGlyph(PDEVOBJ, UNIFONTOBJ*, ULONG, PDWORD, DWORD*) { return E_NOTIMPL; }
HRESULT COemNevoUni::TTDownloadMethod(PDEVOBJ, UNIFONTOBJ*, DWORD*) { return E_NOTIMPL; }
HRESULT COemNevoUni::OutputCharStr(PDEVOBJ, UNIFONTOBJ*, DWORD, DWORD, PVOID) { return E_NOTIMPL; }
HRESULT COemNevoUni::SendFontCmd(PDEVOBJ, UNIFONTOBJ*, FINVOCATION*) { return E_NOTIMPL; }
HRESULT COemNevoUni::TextOutAsBitmap(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                     POINTL*, MIX) {
  return E_NOTIMPL;
}
HRESULT COemNevoUni::WritePrinter(PDEVOBJ, PVOID, DWORD, PDWORD) { return E_NOTIMPL; }

HRESULT CreateRenderObject(REFIID iid, void** object) { return CreateAndQuery<COemNevoUni>(iid, object); }

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  return plugincommon::GetClassObject<COemCF>(IsEqualGUID(clsid, CLSID_OEMRENDER), iid, object);
}

}  // namespace renderplugin
