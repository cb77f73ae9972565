// The rendering plug-in's COM objects: the class factory COemCF and the
// rendering object COemNevoUni (IPrintOemUni2), and the bodies of the
// module's exports.
#pragma once

#include "plat/oem.h"
#include "plugincommon/com_base.h"

namespace renderplugin {

// GetInfo's signature: the plug-in devmode header's.
inline constexpr DWORD kPluginSignature = 0x4E45564F;
inline constexpr DWORD kPluginVersion = 1;
// The drawing calls the core's surface hooks for the plug-in.
inline constexpr FLONG kDriverDmsHooks = HOOK_BITBLT | HOOK_STRETCHBLT | HOOK_TEXTOUT | HOOK_STROKEPATH |
                                         HOOK_FILLPATH | HOOK_STROKEANDFILLPATH | HOOK_LINETO | HOOK_COPYBITS |
                                         HOOK_TRANSPARENTBLT | HOOK_ALPHABLEND;
static_assert(kDriverDmsHooks == 0x185EB);

class COemNevoUni final : public plugincommon::ComObject<COemNevoUni, IPrintOemUni2, plugincommon::Lifetime::Module,
                                                         &IID_IUnknown, &IID_IPrintOemUni2> {
 public:
  COemNevoUni() = default;
  ~COemNevoUni() = default;

  HRESULT STDMETHODCALLTYPE GetInfo(DWORD mode, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE DevMode(DWORD mode, OEMDMPARAM* param) override;
  HRESULT STDMETHODCALLTYPE EnableDriver(DWORD driverVersion, DWORD size, DRVENABLEDATA* ded) override;
  HRESULT STDMETHODCALLTYPE DisableDriver() override;
  HRESULT STDMETHODCALLTYPE EnablePDEV(PDEVOBJ devobj, PWSTR printerName, ULONG patterns, HSURF* patternSurfaces,
                                       ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo,
                                       DRVENABLEDATA* ded, PVOID* devOem) override;
  HRESULT STDMETHODCALLTYPE DisablePDEV(PDEVOBJ devobj) override;
  HRESULT STDMETHODCALLTYPE ResetPDEV(PDEVOBJ oldDevobj, PDEVOBJ newDevobj) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) override;
  HRESULT STDMETHODCALLTYPE GetImplementedMethod(PSTR methodName) override;
  HRESULT STDMETHODCALLTYPE DriverDMS(PVOID devobj, PVOID buffer, DWORD size, PDWORD needed) override;
  HRESULT STDMETHODCALLTYPE CommandCallback(PDEVOBJ devobj, DWORD callbackId, DWORD count, PDWORD params,
                                            INT* result) override;
  HRESULT STDMETHODCALLTYPE ImageProcessing(PDEVOBJ devobj, PBYTE source, BITMAPINFOHEADER* header, PBYTE colorTable,
                                            DWORD callbackId, IPPARAMS* params, PBYTE* result) override;
  HRESULT STDMETHODCALLTYPE FilterGraphics(PDEVOBJ devobj, PBYTE buffer, DWORD length) override;
  HRESULT STDMETHODCALLTYPE Compression(PDEVOBJ devobj, PBYTE in, PBYTE out, DWORD inLength, DWORD outLength,
                                        INT* result) override;
  HRESULT STDMETHODCALLTYPE HalftonePattern(PDEVOBJ devobj, PBYTE pattern, DWORD width, DWORD height, DWORD count,
                                            DWORD callbackId, PBYTE resource, DWORD resourceSize) override;
  HRESULT STDMETHODCALLTYPE MemoryUsage(PDEVOBJ devobj, OEMMEMORYUSAGE* usage) override;
  HRESULT STDMETHODCALLTYPE TTYGetInfo(PDEVOBJ devobj, DWORD index, PVOID output, DWORD size, DWORD* needed) override;
  HRESULT STDMETHODCALLTYPE DownloadFontHeader(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE DownloadCharGlyph(PDEVOBJ devobj, UNIFONTOBJ* font, ULONG glyph, PDWORD width,
                                              DWORD* result) override;
  HRESULT STDMETHODCALLTYPE TTDownloadMethod(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD* result) override;
  HRESULT STDMETHODCALLTYPE OutputCharStr(PDEVOBJ devobj, UNIFONTOBJ* font, DWORD type, DWORD count,
                                          PVOID glyphs) override;
  HRESULT STDMETHODCALLTYPE SendFontCmd(PDEVOBJ devobj, UNIFONTOBJ* font, FINVOCATION* invocation) override;
  HRESULT STDMETHODCALLTYPE TextOutAsBitmap(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                                            RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque,
                                            POINTL* pptlOrg, MIX mix) override;
  HRESULT STDMETHODCALLTYPE WritePrinter(PDEVOBJ devobj, PVOID buffer, DWORD size, PDWORD written) override;

  IPrintOemDriverUni* Driver() const { return driver_.Get(); }

 private:
  plugincommon::ComPtr<IPrintOemDriverUni> driver_;
};

// A rendering object queried for iid.
HRESULT CreateRenderObject(REFIID iid, void** object);
using COemCF = plugincommon::ClassFactory<CreateRenderObject>;

// The exports' bodies: the factory of CLSID_OEMRENDER.
HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

}  // namespace renderplugin
