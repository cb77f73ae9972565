// The plug-in device's life and the plug-in build of the render entries.
#include "renderplugin/plugin_pdev.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "imaging/image_entries.h"
#include "plugincommon/plugin_devmode.h"
#include "render/command_stream.h"
#include "render/document_entries.h"
#include "render/drawing_entries.h"
#include "render/job_files.h"
#include "render/render_surface.h"
#include "render/sheet_emitter.h"
#include "renderplugin/hook_table.h"

namespace {

struct LocalDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

// What the record's entries are called with: the plane surface, whose
// device pointer is the record.
SURFOBJ* Planes(RenderPdev* pdev) { return pdev->surfaceObject; }

// The plug-in drawing state but the device object and the shadow page.
void ClearPluginDrawState(RenderPdev* pdev) {
  FreeDrawObjects(pdev);
  PdevPluginState& s = pdev->plugin;
  s.rgbOrder = 0;
  s.kind = 0;
  s.tag = 0;
  s.drawBounds = PdevRect{};
  s.operationRect = PdevRect{};
  s.head = s.tail = s.cursor = nullptr;
}

std::size_t WriteThroughCore(void* context, const std::uint8_t* data, std::size_t size) {
  auto* pdev = static_cast<RenderPdev*>(context);
  DEVOBJ* devobj = pdev->plugin.devobj;
  if (!devobj || !devobj->pDrvProcs || !devobj->pDrvProcs->DrvWriteSpoolBuf) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
  SetLastError(ERROR_SUCCESS);
  const DWORD written = devobj->pDrvProcs->DrvWriteSpoolBuf(devobj, const_cast<std::uint8_t*>(data), piece);
  // The core carries on after short writes itself: fewer bytes is a fault.
  if (written != piece) {
    if (GetLastError() == ERROR_SUCCESS) SetLastError(ERROR_WRITE_FAULT);
    return 0;
  }
  return written;
}

}  // namespace

PluginPdev* PluginPdevOf(const DEVOBJ* devobj) {
  auto* pp = devobj ? static_cast<PluginPdev*>(devobj->pdevOEM) : nullptr;
  if (!pp || !IsValidPdev(&pp->render)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pp;
}

PluginPdev* PluginPdevOfDevice(DHPDEV dhpdev) { return PluginPdevOf(reinterpret_cast<const DEVOBJ*>(dhpdev)); }

PluginPdev* PluginPdevOfSurface(const SURFOBJ* pso) {
  if (!pso) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return PluginPdevOfDevice(pso->dhpdev);
}

void OemEnableDriver(DRVENABLEDATA* ded) {
  ded->iDriverVersion = 0x10000;
  ded->c = kOemHookCount;
  ded->pdrvfn = const_cast<DRVFN*>(renderplugin::OemHookTable().data());
}

PluginPdev* OemEnablePdev(DEVOBJ* devobj, PWSTR, ULONG patternCount, HSURF* patterns, ULONG gdiInfoSize,
                          GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo, const DRVENABLEDATA* coreEntries) {
  if (!devobj) return nullptr;
  std::unique_ptr<PluginPdev, LocalDeleter> pp(static_cast<PluginPdev*>(LocalAlloc(LPTR, sizeof(PluginPdev))));
  if (!pp) return nullptr;
  const auto table = renderplugin::OemHookTable();
  for (ULONG i = 0; i < kOemHookCount; ++i) {
    pp->coreEntries[i] = nullptr;
    if (!coreEntries || !coreEntries->pdrvfn) continue;
    for (ULONG k = 0; k < coreEntries->c; ++k)
      if (coreEntries->pdrvfn[k].iFunc == table[i].iFunc) {
        pp->coreEntries[i] = coreEntries->pdrvfn[k].pfn;
        break;
      }
  }
  PrivateDevmodePtr devmode;
  if (devobj->pPublicDM && devobj->pOEMDM) {
    devmode = AssemblePluginDevmode(devobj->hPrinter, devobj->pPublicDM, devobj->pOEMDM);
    if (!devmode) return nullptr;
  }
  // The record is built where it stays.
  RenderPdev* pdev = &pp->render;
  pdev->plugin.devobj = devobj;
  if (OemRenderEnablePdev(pdev, devmode ? &devmode->Public : nullptr, patternCount, patterns, gdiInfoSize, gdiInfo,
                          devInfoSize, devInfo, static_cast<HDEV>(devobj->hEngine), devobj->hPrinter) != ERROR_SUCCESS)
    return nullptr;
  pp->pageWidth = pdev->planeWidth;
  pp->pageHeight = pdev->planeHeight;
  return pp.release();
}

void OemDisablePdev(DEVOBJ* devobj) {
  PluginPdev* pp = PluginPdevOf(devobj);
  if (!pp) return;
  // Also the queue and shadow page of a page that never reached SendPage.
  FreeDrawObjects(&pp->render);
  DeleteShadowPage(pp->shadow);
  OemRenderDisablePdev(&pp->render);
  devobj->pdevOEM = nullptr;
  LocalFree(pp);
}

BOOL OemRenderResetPdev(DEVOBJ* oldDevobj, DEVOBJ* newDevobj) {
  PluginPdev* old = PluginPdevOf(oldDevobj);
  PluginPdev* next = PluginPdevOf(newDevobj);
  if (!old || !next) return FALSE;
  old->render.plugin.devobj = oldDevobj;
  next->render.plugin.devobj = newDevobj;
  DeleteShadowPage(old->shadow);
  return DrvResetPDEV(reinterpret_cast<DHPDEV>(&old->render), reinterpret_cast<DHPDEV>(&next->render));
}

DWORD OemRenderEnablePdev(RenderPdev* pdev, const DEVMODEW* devmode, ULONG patternCount, HSURF* patterns,
                          ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo, HDEV engine,
                          HANDLE printer) {
  pdev->generation = PdevGeneration::Plugin;
  // No hatch surfaces of our own: the engine's are used.
  if (patterns)
    for (ULONG i = 0; i < patternCount; ++i) patterns[i] = nullptr;
  DWORD error = BuildRenderPdev(pdev, devmode, printer, engine);
  GDIINFO gdi{};
  if (error == ERROR_SUCCESS && !OemFillGdiInfo(pdev, gdi)) error = ERROR_INVALID_PARAMETER;
  if (error != ERROR_SUCCESS) {
    OemRenderDisablePdev(pdev);
    SetLastError(error);
    return error;
  }
  if (gdiInfo) std::memcpy(gdiInfo, &gdi, std::min<std::size_t>(gdiInfoSize, sizeof(gdi)));
  if (devInfo && devInfoSize >= sizeof(DEVINFO)) OemFillDevInfo(*devInfo);
  pdev->tailSignature = kPdevSignature;
  return ERROR_SUCCESS;
}

void OemRenderDisablePdev(RenderPdev* pdev) {
  if (pdev->surface) DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
  // Also what a failed build left: its tail word is not set yet.
  if (pdev->headSignature == kPdevSignature) DisableRenderPdev(pdev);
}

bool OemFillGdiInfo(RenderPdev* pdev, GDIINFO& gdi) {
  if (!FillGdiInfo(pdev, gdi)) return false;
  gdi.ulNumColors = 0xFFFFFF;
  gdi.xStyleStep = 1;
  gdi.yStyleStep = 1;
  gdi.denStyleStep = static_cast<LONG>(pdev->resolutionX / 50);
  pdev->planeWidth = static_cast<std::int32_t>(gdi.ulHorzRes);
  pdev->planeHeight = static_cast<std::int32_t>(gdi.ulVertRes);
  return true;
}

void OemFillDevInfo(DEVINFO& devinfo) {
  devinfo.flGraphicsCaps = GCAPS_BEZIERS | GCAPS_GEOMETRICWIDE | GCAPS_ALTERNATEFILL | GCAPS_WINDINGFILL |
                           GCAPS_HALFTONE | GCAPS_HORIZSTRIKE;
  devinfo.cFonts = 0;
  devinfo.cxDither = 0;
  devinfo.cyDither = 0;
  devinfo.iDitherFormat = BMF_24BPP;
}

BOOL OemRenderEnableSurface(RenderPdev* pdev) { return DrvEnableSurface(reinterpret_cast<DHPDEV>(pdev)) != nullptr; }

BOOL OemRenderStartDoc(PluginPdev* pp, DEVOBJ* devobj, LPWSTR docName, DWORD jobId) {
  RenderPdev* pdev = &pp->render;
  pdev->plugin.devobj = devobj;
  if (!(pdev->flags & kPdevJobStarted) || !pdev->surface) {
    pdev->engineDevice = static_cast<HDEV>(devobj->hEngine);
    if (!OemRenderEnableSurface(pdev)) return FALSE;
  }
  if (!DrvStartDoc(Planes(pdev), docName, jobId)) return FALSE;
  if (JobOutputOf(pdev->preview, pdev->outputMode) == JobOutput::Spooler) pdev->sink = OemFlushOutput(pdev);
  return TRUE;
}

BOOL OemRenderEndDoc(PluginPdev* pp, DEVOBJ* devobj, FLONG flags) {
  RenderPdev* pdev = &pp->render;
  pdev->plugin.devobj = devobj;
  const BOOL ok = Planes(pdev) ? DrvEndDoc(Planes(pdev), flags) : FALSE;
  if (pdev->surface) DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
  return ok;
}

int OemEmitPage(RenderPdev* pdev) {
  const int ok = EmitSheet(pdev);
  ClearPluginDrawState(pdev);
  return ok;
}

OutputSink OemFlushOutput(RenderPdev* pdev) { return OutputSink{pdev, WriteThroughCore, nullptr, nullptr}; }

BOOL OemRenderRealizeBrush(PluginPdev* pp, BRUSHOBJ* pbo, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch) {
  pp->render.plugin.shadowObject = pp->shadow.object;
  return DrvRealizeBrush(pbo, Planes(&pp->render), pattern, nullptr, xlate, hatch);
}
