// Our stand-in for the core printer driver's rendering side, a printer
// graphics library for the print host and the spooler: it loads the
// rendering plug-in named in the printer's plug-in INI (a dependent file,
// [OEMFiles] OEM1File) for every device, drives it as the real core does
// (DllGetClassObject, CreateInstance, PublishDriverInterface, GetInfo,
// EnableDriver, EnablePDEV, DriverDMS ... DisablePDEV, DisableDriver,
// Release, DllCanUnloadNow), hands the engine's drawing calls to the
// plug-in's hooks and writes what the plug-in sends with WritePrinter. It
// draws nothing itself and never calls FilterGraphics, ImageProcessing or
// CommandCallback.
#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "plat/core.h"
#include "plat/engine.h"
#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "plat/engine_text.h"
#include "plat/oem.h"
#include "plat/profile.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plugincommon/ids.h"

namespace {

// The plug-in INI's key naming the rendering plug-in.
constexpr char16_t kOemRenderKey[] = u"OEM1File";

class CoreDriverUni;

// The core's device record; the plug-in finds its own through the DEVOBJ
// that starts it.
struct CorePdev {
  DEVOBJ devobj;
  DRVPROCS procs;
  HANDLE printer;
  HDEV engine;
  std::vector<BYTE> devmode;  // the public part, then the plug-in part
  HMODULE module;
  IPrintOemUni2* plugin;
  CoreDriverUni* services;
  DRVENABLEDATA hooks;  // the plug-in's table
  FLONG surfaceHooks;   // from DriverDMS
  HPALETTE palette;
  LONG pageWidth;  // the plug-in's GDIINFO, pixels
  LONG pageHeight;
  HSURF surface;
  DWORD writeError;  // the first failed or short write of the job
};

CorePdev* CoreOf(DHPDEV dhpdev) { return reinterpret_cast<CorePdev*>(dhpdev); }
CorePdev* CoreOf(const SURFOBJ* pso) { return pso ? CoreOf(pso->dhpdev) : nullptr; }

// WritePrinter for both routes, carrying on after short writes; the bytes
// written. A failed write is kept as the job's fault: it fails the rest of
// the job with its error.
DWORD WriteSpool(CorePdev* core, PVOID buffer, DWORD size) {
  if (!core || core->writeError != 0) return 0;
  const auto* bytes = static_cast<BYTE*>(buffer);
  DWORD done = 0;
  while (done < size) {
    DWORD written = 0;
    SetLastError(ERROR_SUCCESS);
    if (!WritePrinter(core->printer, const_cast<BYTE*>(bytes) + done, size - done, &written) || written == 0 ||
        written > size - done) {
      core->writeError = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
      SetLastError(core->writeError);
      break;
    }
    done += written;
  }
  return done;
}

DWORD WINAPI ProcsWriteSpoolBuf(DEVOBJ* devobj, PVOID buffer, DWORD size) {
  return WriteSpool(reinterpret_cast<CorePdev*>(devobj), buffer, size);
}

class CoreDriverUni final
    : public plat::com::Unknown<CoreDriverUni, plat::oem::DriverUniStubs, &IID_IUnknown, &IID_IPrintOemDriverUni> {
 public:
  HRESULT STDMETHODCALLTYPE DrvWriteSpoolBuf(PDEVOBJ devobj, PVOID buffer, DWORD size, DWORD* written) override {
    const DWORD n = WriteSpool(reinterpret_cast<CorePdev*>(devobj), buffer, size);
    if (written) *written = n;
    return n == size ? S_OK : E_FAIL;
  }
};

// ---- the core's own entries: what the plug-in's hooks call back ----

BOOL OwnDocResult(CorePdev* core) {
  if (core && core->writeError != 0) {
    SetLastError(core->writeError);
    return FALSE;
  }
  return core ? TRUE : FALSE;
}
BOOL OwnStartPage(SURFOBJ* pso) { return OwnDocResult(CoreOf(pso)); }
BOOL OwnSendPage(SURFOBJ* pso) { return OwnDocResult(CoreOf(pso)); }
BOOL OwnStartDoc(SURFOBJ* pso, LPWSTR, DWORD) {
  CorePdev* core = CoreOf(pso);
  if (core) core->writeError = 0;
  return OwnDocResult(core);
}
BOOL OwnEndDoc(SURFOBJ* pso, FLONG) { return OwnDocResult(CoreOf(pso)); }
ULONG OwnDitherColor(DHPDEV, ULONG, ULONG, ULONG*) { return 0; }
ULONG OwnEscape(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID) { return 0; }
BOOL OwnBand(SURFOBJ*, POINTL*) { return FALSE; }
// Drawing the core is left with writes nothing: the plug-in owns the page.
BOOL OwnPlgBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*, POINTL*,
               ULONG) {
  return FALSE;
}
BOOL OwnGradientFill(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG) {
  return FALSE;
}

template <typename F>
PFN Fn(F f) {
  return reinterpret_cast<PFN>(f);
}

// The core's entries as the plug-in receives them (its EnablePDEV argument).
DRVFN gOwnTable[] = {
    {INDEX_DrvStartPage, Fn(OwnStartPage)},   {INDEX_DrvSendPage, Fn(OwnSendPage)},
    {INDEX_DrvStartDoc, Fn(OwnStartDoc)},     {INDEX_DrvEndDoc, Fn(OwnEndDoc)},
    {INDEX_DrvDitherColor, Fn(OwnDitherColor)}, {INDEX_DrvEscape, Fn(OwnEscape)},
    {INDEX_DrvNextBand, Fn(OwnBand)},         {INDEX_DrvStartBanding, Fn(OwnBand)},
    {INDEX_DrvPlgBlt, Fn(OwnPlgBlt)},         {INDEX_DrvGradientFill, Fn(OwnGradientFill)},
};

// The plug-in's hook of a DDI index, or the core's own entry.
PFN HookOf(const CorePdev* core, ULONG index) {
  if (core && core->hooks.pdrvfn)
    for (ULONG i = 0; i < core->hooks.c; ++i)
      if (core->hooks.pdrvfn[i].iFunc == index) return core->hooks.pdrvfn[i].pfn;
  for (const DRVFN& own : gOwnTable)
    if (own.iFunc == index) return own.pfn;
  return nullptr;
}

template <typename F, typename... Args>
auto Dispatch(const CorePdev* core, ULONG index, Args... args) {
  auto fn = reinterpret_cast<F>(HookOf(core, index));
  using R = decltype(fn(args...));
  return fn ? fn(args...) : R{};
}

// ---- plug-in loading ----

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, LPVOID*);
using CanUnloadFn = HRESULT(WINAPI*)();

void UnloadPlugin(CorePdev* core) {
  if (core->plugin) {
    if (core->devobj.pdevOEM) core->plugin->DisablePDEV(&core->devobj);
    core->devobj.pdevOEM = nullptr;
    core->plugin->DisableDriver();
    core->plugin->Release();
    core->plugin = nullptr;
  }
  if (core->services) core->services->Release();
  core->services = nullptr;
  if (core->module) {
    auto canUnload = reinterpret_cast<CanUnloadFn>(GetProcAddress(core->module, "DllCanUnloadNow"));
    if (!canUnload || canUnload() == S_OK) FreeLibrary(core->module);
    core->module = nullptr;
  }
}

bool LoadPlugin(CorePdev* core) {
  const std::u16string path = plat::core::OemPluginPath(core->printer, kOemRenderKey);
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
  }
  core->module = LoadLibraryW(path.c_str());
  if (!core->module) return false;
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(core->module, "DllGetClassObject"));
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject ? getClassObject(CLSID_OEMRENDER, IID_IClassFactory, reinterpret_cast<void**>(&factory))
                              : E_FAIL;
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IPrintOemUni2, reinterpret_cast<void**>(&core->plugin));
    factory->Release();
  }
  if (FAILED(hr) || !core->plugin) return false;
  core->services = new CoreDriverUni;
  DWORD signature = 0, needed = 0;
  return SUCCEEDED(core->plugin->PublishDriverInterface(core->services)) &&
         SUCCEEDED(core->plugin->GetInfo(OEMGI_GETSIGNATURE, &signature, sizeof signature, &needed)) &&
         SUCCEEDED(core->plugin->EnableDriver(DDI_DRIVER_VERSION_NT4, sizeof(DRVENABLEDATA), &core->hooks));
}

void FreeCore(CorePdev* core) {
  UnloadPlugin(core);
  if (core->palette) EngDeletePalette(core->palette);
  delete core;
}

// ---- the engine's entries ----

DHPDEV CoreEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps,
                      ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName, HANDLE hDriver) {
  auto* core = new CorePdev{};
  core->printer = hDriver;
  core->engine = hdev;
  core->procs.DrvWriteSpoolBuf = ProcsWriteSpoolBuf;
  core->devobj.hEngine = hdev;
  core->devobj.hPrinter = hDriver;
  core->devobj.pDrvProcs = &core->procs;
  if (pdm && pdm->dmSize >= offsetof(DEVMODEW, dmFields)) {
    const std::size_t total = std::size_t{pdm->dmSize} + pdm->dmDriverExtra;
    const auto* bytes = reinterpret_cast<const BYTE*>(pdm);
    core->devmode.assign(bytes, bytes + total);
    core->devobj.pPublicDM = reinterpret_cast<DEVMODEW*>(core->devmode.data());
    if (pdm->dmDriverExtra >= sizeof(OEM_DMEXTRAHEADER)) core->devobj.pOEMDM = core->devmode.data() + pdm->dmSize;
  }
  if (!LoadPlugin(core)) {
    const DWORD error = GetLastError();
    FreeCore(core);
    SetLastError(error ? error : ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  GDIINFO gdi{};
  DEVINFO devinfo{};
  core->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  devinfo.iDitherFormat = BMF_24BPP;
  devinfo.hpalDefault = core->palette;
  DRVENABLEDATA own{DDI_DRIVER_VERSION_NT4, static_cast<ULONG>(std::size(gOwnTable)), gOwnTable};
  PVOID devOem = nullptr;
  const HRESULT hr = core->plugin->EnablePDEV(&core->devobj, pwszDeviceName, cPat, phsurfPatterns, sizeof gdi, &gdi,
                                              sizeof devinfo, &devinfo, &own, &devOem);
  core->devobj.pdevOEM = devOem;
  DWORD hooks = 0, needed = 0;
  if (FAILED(hr) || !devOem || FAILED(core->plugin->DriverDMS(&core->devobj, &hooks, sizeof hooks, &needed))) {
    FreeCore(core);
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  core->surfaceHooks = hooks;
  core->pageWidth = static_cast<LONG>(gdi.ulHorzRes);
  core->pageHeight = static_cast<LONG>(gdi.ulVertRes);
  if (pdevcaps) std::memcpy(pdevcaps, &gdi, std::min<std::size_t>(cjCaps, sizeof gdi));
  if (pdi) std::memcpy(pdi, &devinfo, std::min<std::size_t>(cjDevInfo, sizeof devinfo));
  return reinterpret_cast<DHPDEV>(core);
}

void CoreCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  if (CorePdev* core = CoreOf(dhpdev)) {
    core->engine = hdev;
    core->devobj.hEngine = hdev;
  }
}

void CoreDisablePDEV(DHPDEV dhpdev) {
  if (CorePdev* core = CoreOf(dhpdev)) FreeCore(core);
}

// The page: a device surface of the plug-in's page size with DriverDMS's
// hooks. Its bits are one-bit: what the engine draws there itself never
// reaches the printer.
HSURF CoreEnableSurface(DHPDEV dhpdev) {
  CorePdev* core = CoreOf(dhpdev);
  if (!core) return nullptr;
  HBITMAP bm = EngCreateBitmap(SIZEL{core->pageWidth, core->pageHeight}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr);
  if (!bm) return nullptr;
  core->surface = reinterpret_cast<HSURF>(bm);
  SURFOBJ* so = EngAssociateSurface(core->surface, core->engine, core->surfaceHooks) ? EngLockSurface(core->surface)
                                                                                    : nullptr;
  if (!so) {
    EngDeleteSurface(core->surface);
    core->surface = nullptr;
    return nullptr;
  }
  // The engine draws nothing of its own on a device surface.
  so->iType = STYPE_DEVICE;
  EngUnlockSurface(so);
  return core->surface;
}

void CoreDisableSurface(DHPDEV dhpdev) {
  CorePdev* core = CoreOf(dhpdev);
  if (core && core->surface) EngDeleteSurface(core->surface);
  if (core) core->surface = nullptr;
}

BOOL CoreResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  CorePdev* old = CoreOf(dhpdevOld);
  CorePdev* next = CoreOf(dhpdevNew);
  if (!old || !next || !next->plugin) return FALSE;
  return SUCCEEDED(next->plugin->ResetPDEV(&old->devobj, &next->devobj)) ? TRUE : FALSE;
}

using StartDocFn = BOOL (*)(SURFOBJ*, LPWSTR, DWORD);
using PageFn = BOOL (*)(SURFOBJ*);
using EndDocFn = BOOL (*)(SURFOBJ*, FLONG);

BOOL CoreStartDoc(SURFOBJ* pso, LPWSTR doc, DWORD job) {
  return Dispatch<StartDocFn>(CoreOf(pso), INDEX_DrvStartDoc, pso, doc, job);
}
BOOL CoreStartPage(SURFOBJ* pso) { return Dispatch<PageFn>(CoreOf(pso), INDEX_DrvStartPage, pso); }
BOOL CoreSendPage(SURFOBJ* pso) { return Dispatch<PageFn>(CoreOf(pso), INDEX_DrvSendPage, pso); }
BOOL CoreEndDoc(SURFOBJ* pso, FLONG fl) { return Dispatch<EndDocFn>(CoreOf(pso), INDEX_DrvEndDoc, pso, fl); }

// A drawing call on the page goes to the plug-in's hook of its index.
template <ULONG kIndex, typename... Args>
BOOL Hooked(SURFOBJ* pso, Args... args) {
  return Dispatch<BOOL (*)(SURFOBJ*, Args...)>(CoreOf(pso), kIndex, pso, args...);
}

BOOL CoreRealizeBrush(BRUSHOBJ* pbo, SURFOBJ* psoTarget, SURFOBJ* psoPattern, SURFOBJ* psoMask, XLATEOBJ* pxlo,
                      ULONG iHatch) {
  using Fn = BOOL (*)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
  return Dispatch<Fn>(CoreOf(psoTarget), INDEX_DrvRealizeBrush, pbo, psoTarget, psoPattern, psoMask, pxlo, iHatch);
}

const DRVFN kEngineTable[] = {
    {INDEX_DrvEnablePDEV, Fn(CoreEnablePDEV)},
    {INDEX_DrvCompletePDEV, Fn(CoreCompletePDEV)},
    {INDEX_DrvDisablePDEV, Fn(CoreDisablePDEV)},
    {INDEX_DrvEnableSurface, Fn(CoreEnableSurface)},
    {INDEX_DrvDisableSurface, Fn(CoreDisableSurface)},
    {INDEX_DrvResetPDEV, Fn(CoreResetPDEV)},
    {INDEX_DrvStartDoc, Fn(CoreStartDoc)},
    {INDEX_DrvStartPage, Fn(CoreStartPage)},
    {INDEX_DrvSendPage, Fn(CoreSendPage)},
    {INDEX_DrvEndDoc, Fn(CoreEndDoc)},
    {INDEX_DrvRealizeBrush, Fn(CoreRealizeBrush)},
    {INDEX_DrvBitBlt, Fn(Hooked<INDEX_DrvBitBlt, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*, POINTL*,
                                BRUSHOBJ*, POINTL*, ROP4>)},
    {INDEX_DrvCopyBits, Fn(Hooked<INDEX_DrvCopyBits, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*>)},
    {INDEX_DrvStretchBlt, Fn(Hooked<INDEX_DrvStretchBlt, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*,
                                    POINTL*, RECTL*, RECTL*, POINTL*, ULONG>)},
    {INDEX_DrvTextOut, Fn(Hooked<INDEX_DrvTextOut, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*,
                                 POINTL*, MIX>)},
    {INDEX_DrvStrokePath,
     Fn(Hooked<INDEX_DrvStrokePath, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX>)},
    {INDEX_DrvFillPath, Fn(Hooked<INDEX_DrvFillPath, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG>)},
    {INDEX_DrvStrokeAndFillPath, Fn(Hooked<INDEX_DrvStrokeAndFillPath, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*,
                                           LINEATTRS*, BRUSHOBJ*, POINTL*, MIX, FLONG>)},
    {INDEX_DrvPaint, Fn(Hooked<INDEX_DrvPaint, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX>)},
    {INDEX_DrvLineTo, Fn(Hooked<INDEX_DrvLineTo, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX>)},
    {INDEX_DrvStretchBltROP, Fn(Hooked<INDEX_DrvStretchBltROP, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*,
                                       COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*, POINTL*, ULONG, BRUSHOBJ*, DWORD>)},
    {INDEX_DrvPlgBlt, Fn(Hooked<INDEX_DrvPlgBlt, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*,
                                POINTFIX*, RECTL*, POINTL*, ULONG>)},
    {INDEX_DrvTransparentBlt,
     Fn(Hooked<INDEX_DrvTransparentBlt, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG>)},
    {INDEX_DrvAlphaBlend, Fn(Hooked<INDEX_DrvAlphaBlend, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*>)},
    {INDEX_DrvGradientFill, Fn(Hooked<INDEX_DrvGradientFill, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG,
                                      RECTL*, POINTL*, ULONG>)},
};

}  // namespace

extern "C" {

DLLEXPORT BOOL DrvEnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  if (iEngineVersion < DDI_DRIVER_VERSION_NT4 || cj < sizeof(DRVENABLEDATA) || !pded) {
    SetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT4;
  pded->c = static_cast<ULONG>(std::size(kEngineTable));
  pded->pdrvfn = const_cast<DRVFN*>(kEngineTable);
  return TRUE;
}

DLLEXPORT void DrvDisableDriver() {}

}  // extern "C"
