// The rendering plug-in's device: PluginPdev (the core's saved entries, the
// page size, the shadow page and the render library's record built in
// place), its life under the core driver, and the plug-in build of the
// render entries.
#pragma once

#include <cstdint>

#include "plat/oem.h"
#include "render/render_pdev.h"
#include "renderplugin/shadow_page.h"

inline constexpr ULONG kOemHookCount = 29;

struct PluginPdev {
  PFN coreEntries[kOemHookCount];  // in OemHookTable order, null where the core has none
  std::int32_t pageWidth;          // pixels, the core's GDIINFO after enabling
  std::int32_t pageHeight;
  ShadowPage shadow;
  RenderPdev render;
};

// The plug-in device behind a core device object, or null.
PluginPdev* PluginPdevOf(const DEVOBJ* devobj);
// The plug-in device behind a surface (or the core's dhpdev) of the core's
// device, whose record starts with its DEVOBJ; null with
// ERROR_INVALID_PARAMETER when there is none or its record fails the
// signature test.
PluginPdev* PluginPdevOfSurface(const SURFOBJ* pso);
PluginPdev* PluginPdevOfDevice(DHPDEV dhpdev);

// Fills DRVENABLEDATA with the hook table.
void OemEnableDriver(DRVENABLEDATA* ded);

// Makes the plug-in device of a core device object. The core's public and
// plug-in DEVMODE become one DEVMODE of 220 public and 3236 private bytes
// (the private bytes of the printer's defaults when the part is not ours).
// Null when there is no memory or the render record cannot be built.
PluginPdev* OemEnablePdev(DEVOBJ* devobj, PWSTR printerName, ULONG patternCount, HSURF* patterns, ULONG gdiInfoSize,
                          GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo, const DRVENABLEDATA* coreEntries);
// Frees the device, its shadow page and everything its record owns.
void OemDisablePdev(DEVOBJ* devobj);
// Carries the job from the old device to the new one (what DrvResetPDEV
// does); the old device's shadow page is deleted. FALSE when that fails.
BOOL OemRenderResetPdev(DEVOBJ* oldDevobj, DEVOBJ* newDevobj);

// The plug-in build of the render entries on a record built in place.
// OemRenderEnablePdev: ERROR_SUCCESS or the reason; the record is then
// released again.
DWORD OemRenderEnablePdev(RenderPdev* pdev, const DEVMODEW* devmode, ULONG patternCount, HSURF* patterns,
                          ULONG gdiInfoSize, GDIINFO* gdiInfo, ULONG devInfoSize, DEVINFO* devInfo, HDEV engine,
                          HANDLE printer);
void OemRenderDisablePdev(RenderPdev* pdev);
bool OemFillGdiInfo(RenderPdev* pdev, GDIINFO& gdi);
void OemFillDevInfo(DEVINFO& devinfo);
BOOL OemRenderEnableSurface(RenderPdev* pdev);
BOOL OemRenderStartDoc(PluginPdev* pp, DEVOBJ* devobj, LPWSTR docName, DWORD jobId);
BOOL OemRenderEndDoc(PluginPdev* pp, DEVOBJ* devobj, FLONG flags);
// Emits the sheet without abort polling and clears the plug-in drawing state.
int OemEmitPage(RenderPdev* pdev);
// The printer sink: the core's DrvWriteSpoolBuf through the record's device
// object; fewer bytes written than given is a failure.
OutputSink OemFlushOutput(RenderPdev* pdev);
BOOL OemRenderRealizeBrush(PluginPdev* pp, BRUSHOBJ* pbo, SURFOBJ* pattern, XLATEOBJ* xlate, ULONG hatch);
