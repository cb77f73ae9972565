#include "uiplugin/oem_ui.h"

#include <cstring>
#include <new>

#include "plugincommon/ids.h"
#include "plugincommon/plugin_devmode.h"
#include "settings/printer_interface.h"
#include "uiplugin/plugin_sheets.h"
#include "uiplugin/printer_init.h"
#include "uiplugin/pt_provider.h"

namespace uiplugin {

CFeatureCollection::~CFeatureCollection() {
  delete[] features_;
  features_ = nullptr;
  for (DWORD& w : words_) w = 0;
}

COemNevoUI::~COemNevoUI() { helper_.Reset(); }

HRESULT COemNevoUI::GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) {
  if (!needed ||
      (mode != OEMGI_GETSIGNATURE && mode != OEMGI_GETVERSION && mode != OEMGI_GETREQUESTEDHELPERINTERFACES)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
  }
  *needed = sizeof(DWORD);
  if (size < sizeof(DWORD) || !buffer) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return E_FAIL;
  }
  DWORD value = OEMPUBLISH_IPRINTCOREHELPER;
  if (mode == OEMGI_GETSIGNATURE) value = oemdm::kSignature;
  if (mode == OEMGI_GETVERSION) value = oemdm::kVersion;
  std::memcpy(buffer, &value, sizeof value);  // the caller's buffer may be unaligned
  return S_OK;
}

HRESULT COemNevoUI::DevMode(DWORD mode, OEMDMPARAM* param) { return hrOEMDevMode(mode, param); }

HRESULT COemNevoUI::PublishDriverInterface(IUnknown* driver) {
  if (helper_) return S_OK;
  // Nothing to ask: nothing is held.
  if (!driver) return E_FAIL;
  if (FAILED(driver->QueryInterface(IID_IPrintCoreHelper, helper_.PutVoid()))) {
    helper_.Reset();
    return E_FAIL;
  }
  return S_OK;
}

HRESULT COemNevoUI::CommonUIProp(DWORD, OEMCUIPPARAM*) { return S_OK; }
HRESULT COemNevoUI::DocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return DocumentSheetsCallback(info, lParam, helper_.Get());
}
HRESULT COemNevoUI::DevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return DeviceSheetsCallback(info, lParam);
}
HRESULT COemNevoUI::DevQueryPrintEx(OEMUIOBJ*, DEVQUERYPRINT_INFO*, DEVMODEW*, PVOID) { return E_NOTIMPL; }

HRESULT COemNevoUI::DeviceCapabilities(OEMUIOBJ*, HANDLE printer, PWSTR deviceName, WORD capability, PVOID output,
                                       DEVMODEW* publicDm, PVOID oemDm, DWORD, DWORD* result) {
  PrivateDevmodePtr dm = AssemblePluginDevmode(printer, publicDm, oemDm);
  const DWORD answer = printer_interface::DrvDeviceCapabilities(printer, deviceName, capability, output,
                                                                dm ? &dm->Public : nullptr, Generation::Plugin);
  if (result) *result = answer;
  return kDeviceCapabilitiesDone;
}

HRESULT COemNevoUI::UpgradePrinter(DWORD, PBYTE) { return E_NOTIMPL; }
HRESULT COemNevoUI::PrinterEvent(PWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
  return HandlePrinterInitialize(printerName, event, flags, lParam) ? S_OK : E_FAIL;
}
HRESULT COemNevoUI::DriverEvent(DWORD, DWORD, LPBYTE, LPARAM) { return E_NOTIMPL; }
HRESULT COemNevoUI::QueryColorProfile(HANDLE, OEMUIOBJ*, DEVMODEW*, PVOID, ULONG, void*, ULONG*, FLONG*) {
  return E_NOTIMPL;
}
HRESULT COemNevoUI::FontInstallerDlgProc(HWND, UINT, WPARAM, LPARAM) { return E_NOTIMPL; }
HRESULT COemNevoUI::UpdateExternalFonts(HANDLE, HANDLE, PWSTR) { return E_NOTIMPL; }
HRESULT COemNevoUI::QueryJobAttributes(HANDLE, DEVMODEW*, DWORD, LPBYTE) { return E_NOTIMPL; }

HRESULT COemNevoUI::HideStandardUI(DWORD mode) {
  return mode == OEMCUIP_DOCPROP || mode == OEMCUIP_PRNPROP ? S_OK : E_NOTIMPL;
}

HRESULT COemNevoUI::DocumentEvent(HANDLE printer, PVOID dc, INT escape, ULONG inSize, PVOID in, ULONG outSize,
                                  PVOID out, INT* result) {
  const int answer =
      printer_interface::DrvDocumentEvent(printer, dc, escape, inSize, in, outSize, out, Generation::Plugin);
  if (result) *result = answer;
  return S_OK;
}

// ---------------------------------------------------------------------------

using plugincommon::CreateAndQuery;

HRESULT CreateUiObject(REFIID iid, void** object) {
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IPrintOemUI2)) {
    const HRESULT hr = CreateAndQuery<COemNevoUI>(iid, object);
    if (SUCCEEDED(hr) || hr == E_OUTOFMEMORY) return hr;
  }
  return CreateAndQuery<INevoOEMPTProvider>(iid, object);
}

HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  const bool served = IsEqualGUID(clsid, CLSID_OEMUI) || IsEqualGUID(clsid, CLSID_OEMPTPROVIDER);
  return plugincommon::GetClassObject<COemCF>(served, iid, object);
}

}  // namespace uiplugin
