// The UI plug-in's COM objects: the class factory COemCF and the UI object
// COemNevoUI behind IPrintOemUI2, with its (always empty) CFeatureCollection.
#pragma once

#include "plat/oem.h"
#include "plugincommon/com_base.h"

namespace uiplugin {

// A collection of feature objects; nothing fills it.
class CFeatureCollection {
 public:
  CFeatureCollection() = default;
  CFeatureCollection(const CFeatureCollection&) = delete;
  CFeatureCollection& operator=(const CFeatureCollection&) = delete;
  // Destroys the feature array and zeroes the fields.
  virtual ~CFeatureCollection();

  struct Feature {
    virtual ~Feature() = default;
  };

 private:
  DWORD words_[4] = {};
  Feature* features_ = nullptr;  // new[]
};

// The success code DeviceCapabilities answers with.
constexpr HRESULT kDeviceCapabilitiesDone = 0x0004DC01;

class COemNevoUI final : public plugincommon::ComObject<COemNevoUI, IPrintOemUI2, plugincommon::Lifetime::Module,
                                                        &IID_IUnknown, &IID_IPrintOemUI2> {
 public:
  COemNevoUI() = default;

  HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, OEMDMPARAM* param) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) override;
  HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD mode, OEMCUIPPARAM* param) override;
  HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DevQueryPrintEx(OEMUIOBJ* uiobj, DEVQUERYPRINT_INFO* info, DEVMODEW* publicDm,
                                            PVOID oemDm) override;
  HRESULT STDMETHODCALLTYPE DeviceCapabilities(OEMUIOBJ* uiobj, HANDLE printer, PWSTR deviceName, WORD capability,
                                               PVOID output, DEVMODEW* publicDm, PVOID oemDm, DWORD oldResult,
                                               DWORD* result) override;
  HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD level, PBYTE info) override;
  HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR printerName, INT event, DWORD flags, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE DriverEvent(DWORD event, DWORD level, LPBYTE info, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE printer, OEMUIOBJ* uiobj, DEVMODEW* publicDm, PVOID oemDm,
                                              ULONG queryMode, void* profile, ULONG* profileSize,
                                              FLONG* flags) override;
  HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE printer, HANDLE heap, PWSTR cartridges) override;
  HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE printer, DEVMODEW* devmode, DWORD level,
                                               LPBYTE output) override;
  HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD mode) override;
  HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE printer, PVOID dc, INT escape, ULONG inSize, PVOID in, ULONG outSize,
                                          PVOID out, INT* result) override;

  // Releases the core helper once; the table's last slot.
  virtual ~COemNevoUI();

  IPrintCoreHelper* CoreHelper() const { return helper_.Get(); }

 private:
  plugincommon::ComPtr<IPrintCoreHelper> helper_;
  CFeatureCollection features_;
};

// IUnknown or IPrintOemUI2: a COemNevoUI; any other interface (and a UI
// object that does not answer it): the PrintTicket provider.
HRESULT CreateUiObject(REFIID iid, void** object);
using COemCF = plugincommon::ClassFactory<CreateUiObject>;

// The exports' bodies.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace uiplugin
