// The core printer driver's plug-in interfaces and records, in their slot
// orders: what the core hands a UI plug-in (IPrintCoreHelper,
// IPrintCoreHelperUni), what a UI plug-in and a PrintTicket provider answer
// (IPrintOemUI2, IPrintOemPrintTicketProvider), the devmode protocol's
// OEMDMPARAM and the records around them. plat::core plays the core.
#pragma once

#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/com.h"
#include "plat/engine.h"
#include "plat/spooler.h"

struct PROPSHEETUI_INFO;
struct DEVQUERYPRINT_INFO;
struct IStream;
struct IXMLDOMDocument2;

// The header every plug-in devmode part starts with.
struct OEM_DMEXTRAHEADER {
  DWORD dwSize;
  DWORD dwSignature;
  DWORD dwVersion;
};
static_assert(sizeof(OEM_DMEXTRAHEADER) == 12);

struct OEMDMPARAM {
  DWORD cbSize;
  PVOID pdriverobj;
  HANDLE hPrinter;
  HANDLE hModule;
  DEVMODEW* pPublicDMIn;
  DEVMODEW* pPublicDMOut;
  PVOID pOEMDMIn;
  PVOID pOEMDMOut;
  DWORD cbBufSize;
};

struct OEMUIOBJ {
  DWORD cbSize;
  PVOID pOemUIProcs;
};

struct OEMUIPSPARAM {
  DWORD cbSize;
  OEMUIOBJ* poemuiobj;
  HANDLE hPrinter;
  PWSTR pPrinterName;
  HANDLE hModule;
  HANDLE hOEMHeap;
  DEVMODEW* pPublicDM;
  PVOID pOEMDM;
  DWORD dwFlags;
  PVOID pOEMUserData;
};

struct OEMCUIPPARAM;
struct DEVOBJ;
// The core's services to a rendering plug-in; bytes written, 0 on failure.
struct DRVPROCS {
  DWORD(WINAPI* DrvWriteSpoolBuf)(DEVOBJ* devobj, PVOID buffer, DWORD size);
};
struct DEVOBJ {
  PVOID pdevOEM;
  HANDLE hEngine;
  HANDLE hPrinter;
  HANDLE hOEM;
  DEVMODEW* pPublicDM;
  PVOID pOEMDM;
  DRVPROCS* pDrvProcs;
};

// GetInfo modes.
constexpr DWORD OEMGI_GETSIGNATURE = 1;
constexpr DWORD OEMGI_GETINTERFACEVERSION = 2;
constexpr DWORD OEMGI_GETVERSION = 3;
constexpr DWORD OEMGI_GETPUBLISHERINFO = 4;
constexpr DWORD OEMGI_GETREQUESTEDHELPERINTERFACES = 5;
constexpr DWORD OEMPUBLISH_IPRINTCOREHELPER = 1;
// DevMode modes.
constexpr DWORD OEMDM_SIZE = 1;
constexpr DWORD OEMDM_DEFAULT = 2;
constexpr DWORD OEMDM_CONVERT = 3;
constexpr DWORD OEMDM_MERGE = 4;
// HideStandardUI modes.
constexpr DWORD OEMCUIP_DOCPROP = 1;
constexpr DWORD OEMCUIP_PRNPROP = 2;

constexpr HRESULT S_NO_CONFLICT = 0x00040001;
constexpr HRESULT E_VERSION_NOT_SUPPORTED = static_cast<HRESULT>(0x80040001);

// What the core hands a rendering plug-in's optional callbacks; only passed on.
struct BITMAPINFOHEADER;
struct IPPARAMS;
struct OEMMEMORYUSAGE;
struct UNIFONTOBJ;
struct FINVOCATION;
using PDEVOBJ = DEVOBJ*;

// The core's services to a rendering plug-in (PublishDriverInterface).
struct IPrintOemDriverUni : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID driverObject, PCSTR feature, PVOID output, DWORD size,
                                                        PDWORD needed, PDWORD optionsReturned) = 0;
  // Writes bytes to the job; *written receives how many were taken.
  virtual HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ devobj, PVOID buffer, DWORD size, DWORD* written) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ devobj, INT x, DWORD flags, INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ devobj, INT y, DWORD flags, INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ devobj, DWORD index, PVOID buffer, DWORD size,
                                                           PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ devobj, DWORD type, PVOID input, PVOID buffer, DWORD size,
                                                  PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                                  RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                                  BRUSHOBJ* pboOpaque, POINTL* pptlBrushOrg, MIX mix) = 0;
  virtual HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ devobj, PVOID buffer, DWORD size, DWORD wait) = 0;

 protected:
  ~IPrintOemDriverUni() = default;
};

// A rendering plug-in, slots 0-26 in this order.
struct IPrintOemUni2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, OEMDMPARAM* param) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnableDriver(DWORD driverVersion, DWORD size, DRVENABLEDATA* ded) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisableDriver() = 0;
  virtual HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ devobj, PWSTR printerName, ULONG patterns, HSURF* patternSurfaces,
                                               ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize,
                                               DEVINFO* devInfo, DRVENABLEDATA* ded, PVOID* devOem) = 0;
  virtual HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ devobj) = 0;
  virtual HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ oldDevobj, PDEVOBJ newDevobj) = 0;
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR methodName) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverDMS(PVOID devobj, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ devobj, DWORD callbackId, DWORD count, PDWORD params,
                                                    INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ devobj, PBYTE source, BITMAPINFOHEADER* header,
                                                    PBYTE colorTable, DWORD callbackId, IPPARAMS* params,
                                                    PBYTE* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ devobj, PBYTE buffer, DWORD length) = 0;
  virtual HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ devobj, PBYTE in, PBYTE out, DWORD inLength, DWORD outLength,
                                                INT* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ devobj, PBYTE pattern, DWORD width, DWORD height,
                                                    DWORD count, DWORD callbackId, PBYTE resource,
                                                    DWORD resourceSize) = 0;
  virtual HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ devobj, OEMMEMORYUSAGE* usage) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ devobj, DWORD index, PVOID output, DWORD size,
                                               DWORD* needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ devobj, UNIFONTOBJ* font, ULONG glyph, PDWORD width,
                                                      DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD type, DWORD count,
                                                  PVOID glyphs) = 0;
  virtual HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ devobj, UNIFONTOBJ* font, FINVOCATION* invocation) = 0;
  virtual HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco,
                                                    RECTL* prclExtra, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                                                    BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix) = 0;
  virtual HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ devobj, PVOID buffer, DWORD size, PDWORD written) = 0;

 protected:
  ~IPrintOemUni2() = default;
};

struct PRINT_FEATURE_OPTION {
  PCSTR pszFeature;
  PCSTR pszOption;
};

struct IPrintOemUI2 : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, OEMDMPARAM* param) = 0;
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE CommonUIProp(DWORD mode, OEMCUIPPARAM* param) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DevQueryPrintEx(OEMUIOBJ* uiobj, DEVQUERYPRINT_INFO* info, DEVMODEW* publicDm,
                                                    PVOID oemDm) = 0;
  virtual HRESULT STDMETHODCALLTYPE DeviceCapabilities(OEMUIOBJ* uiobj, HANDLE printer, PWSTR deviceName,
                                                       WORD capability, PVOID output, DEVMODEW* publicDm, PVOID oemDm,
                                                       DWORD oldResult, DWORD* result) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpgradePrinter(DWORD level, PBYTE info) = 0;
  virtual HRESULT STDMETHODCALLTYPE PrinterEvent(PWSTR printerName, INT event, DWORD flags, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE DriverEvent(DWORD event, DWORD level, LPBYTE info, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryColorProfile(HANDLE printer, OEMUIOBJ* uiobj, DEVMODEW* publicDm, PVOID oemDm,
                                                      ULONG queryMode, void* profile, ULONG* profileSize,
                                                      FLONG* flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE FontInstallerDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) = 0;
  virtual HRESULT STDMETHODCALLTYPE UpdateExternalFonts(HANDLE printer, HANDLE heap, PWSTR cartridges) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryJobAttributes(HANDLE printer, DEVMODEW* devmode, DWORD level,
                                                       LPBYTE output) = 0;
  virtual HRESULT STDMETHODCALLTYPE HideStandardUI(DWORD mode) = 0;
  virtual HRESULT STDMETHODCALLTYPE DocumentEvent(HANDLE printer, PVOID dc, INT escape, ULONG inSize, PVOID in,
                                                  ULONG outSize, PVOID out, INT* result) = 0;

 protected:
  ~IPrintOemUI2() = default;
};

struct IPrintCoreHelper : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetOption(const DEVMODEW* devmode, DWORD size, PCSTR feature, PCSTR* option) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetOptions(DEVMODEW* devmode, DWORD size, BOOL resolveConflicts,
                                               const PRINT_FEATURE_OPTION* pairs, DWORD count, DWORD* resolvedCount,
                                               DWORD* conflictStatus) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumConstrainedOptions(const DEVMODEW* devmode, DWORD size, PCSTR feature,
                                                           PCSTR** options, DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE WhyConstrained(const DEVMODEW* devmode, DWORD size, PCSTR feature, PCSTR option,
                                                   const PRINT_FEATURE_OPTION** pairs, DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** features, DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR feature, PCSTR** options, DWORD* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetFontSubstitution(PCWSTR trueTypeFont, PCWSTR* deviceFont) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetFontSubstitution(PCWSTR trueTypeFont, PCWSTR deviceFont) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID clsid, IUnknown* outer, DWORD context,
                                                                REFIID iid, LPVOID* object) = 0;

 protected:
  ~IPrintCoreHelper() = default;
};

struct IPrintCoreHelperUni : IPrintCoreHelper {
  virtual HRESULT STDMETHODCALLTYPE CreateGDLSnapshot(DEVMODEW* devmode, DWORD size, DWORD flags,
                                                      IStream** snapshot) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateDefaultGDLSnapshot(DWORD flags, IStream** snapshot) = 0;

 protected:
  ~IPrintCoreHelperUni() = default;
};

namespace plat::oem {
// A core helper that offers nothing: every method of IPrintCoreHelper (and of
// IPrintCoreHelperUni) answers E_NOTIMPL, out-pointers nulled where given.
// Cores and test doubles override what they do offer.
template <typename Interface = IPrintCoreHelper>
class CoreHelperStubs : public Interface {
 public:
  HRESULT STDMETHODCALLTYPE GetOption(const DEVMODEW*, DWORD, PCSTR, PCSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetOptions(DEVMODEW*, DWORD, BOOL, const PRINT_FEATURE_OPTION*, DWORD, DWORD*,
                                       DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumConstrainedOptions(const DEVMODEW*, DWORD, PCSTR, PCSTR**, DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE WhyConstrained(const DEVMODEW*, DWORD, PCSTR, PCSTR, const PRINT_FEATURE_OPTION**,
                                           DWORD*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR**, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR, PCSTR**, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetFontSubstitution(PCWSTR, PCWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetFontSubstitution(PCWSTR, PCWSTR) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID, IUnknown*, DWORD, REFIID, LPVOID*) override {
    return E_NOTIMPL;
  }

 protected:
  ~CoreHelperStubs() = default;
};

// A core driver interface that offers only what a core or a test double
// writes: everything but DrvWriteSpoolBuf answers E_NOTIMPL.
class DriverUniStubs : public IPrintOemDriverUni {
 public:
  HRESULT STDMETHODCALLTYPE DrvGetDriverSetting(PVOID, PCSTR, PVOID, DWORD, PDWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvXMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvYMoveTo(PDEVOBJ, INT, DWORD, INT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvGetStandardVariable(PDEVOBJ, DWORD, PVOID, DWORD, PDWORD) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvGetGPDData(PDEVOBJ, DWORD, PVOID, PVOID, DWORD, PDWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DrvUniTextOut(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                          POINTL*, MIX) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE DrvWriteAbortBuf(PDEVOBJ, PVOID, DWORD, DWORD) override { return E_NOTIMPL; }

 protected:
  ~DriverUniStubs() = default;
};

class CoreHelperUniStubs : public CoreHelperStubs<IPrintCoreHelperUni> {
 public:
  HRESULT STDMETHODCALLTYPE CreateGDLSnapshot(DEVMODEW*, DWORD, DWORD, IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE CreateDefaultGDLSnapshot(DWORD, IStream** out) override {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

 protected:
  ~CoreHelperUniStubs() = default;
};
}  // namespace plat::oem

struct OEMPTOPTS;
struct IPrintOemPrintTicketProvider : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetSupportedVersions(HANDLE printer, INT* versions[], INT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE BindPrinter(HANDLE printer, INT version, OEMPTOPTS** options, INT* namespaceCount,
                                                BSTR** namespaces) = 0;
  virtual HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) = 0;
  virtual HRESULT STDMETHODCALLTYPE QueryDeviceDefaultNamespace(BSTR* uri) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConvertPrintTicketToDevMode(IXMLDOMDocument2* ticket, ULONG devmodeSize,
                                                                DEVMODEW* devmode, ULONG privateSize,
                                                                PVOID privatePart) = 0;
  virtual HRESULT STDMETHODCALLTYPE ConvertDevModeToPrintTicket(ULONG devmodeSize, DEVMODEW* devmode,
                                                                ULONG privateSize, PVOID privatePart,
                                                                IXMLDOMDocument2* ticket) = 0;
  virtual HRESULT STDMETHODCALLTYPE CompletePrintCapabilities(IXMLDOMDocument2* ticket,
                                                              IXMLDOMDocument2* capabilities) = 0;
  virtual HRESULT STDMETHODCALLTYPE ExpandIntentOptions(IXMLDOMDocument2* ticket) = 0;
  virtual HRESULT STDMETHODCALLTYPE ValidatePrintTicket(IXMLDOMDocument2* ticket) = 0;

 protected:
  ~IPrintOemPrintTicketProvider() = default;
};

extern "C" {
PLATAPI extern const IID IID_IPrintOemUni2;
PLATAPI extern const IID IID_IPrintOemDriverUni;
PLATAPI extern const IID IID_IPrintOemUI2;
PLATAPI extern const IID IID_IPrintCoreHelper;
PLATAPI extern const IID IID_IPrintCoreHelperUni;
PLATAPI extern const IID IID_IPrintOemPrintTicketProvider;
}
