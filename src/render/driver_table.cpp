// The driver function table and the module queries.
#include "render/driver_table.h"

#include <array>
#include <cstring>

#include "render/document_entries.h"
#include "render/drawing_entries.h"
#include "render/render_pdev.h"
#include "render/render_surface.h"

namespace render {

namespace {

template <typename F>
PFN Entry(F f) {
  return reinterpret_cast<PFN>(f);
}

const std::array<DRVFN, kDriverTableSize> kTable = {{
    {INDEX_DrvStartDoc, Entry(DrvStartDoc)},
    {INDEX_DrvStartPage, Entry(DrvStartPage)},
    {INDEX_DrvSendPage, Entry(DrvSendPage)},
    {INDEX_DrvEndDoc, Entry(DrvEndDoc)},
    {INDEX_DrvEnablePDEV, Entry(DrvEnablePDEV)},
    {INDEX_DrvCompletePDEV, Entry(DrvCompletePDEV)},
    {INDEX_DrvDisablePDEV, Entry(DrvDisablePDEV)},
    {INDEX_DrvEnableSurface, Entry(DrvEnableSurface)},
    {INDEX_DrvDisableSurface, Entry(DrvDisableSurface)},
    {INDEX_DrvBitBlt, Entry(DrvBitBlt)},
    {INDEX_DrvStretchBlt, Entry(DrvStretchBlt)},
    {INDEX_DrvCopyBits, Entry(DrvCopyBits)},
    {INDEX_DrvLineTo, Entry(DrvLineTo)},
    {INDEX_DrvFillPath, Entry(DrvFillPath)},
    {INDEX_DrvStrokePath, Entry(DrvStrokePath)},
    {INDEX_DrvStrokeAndFillPath, Entry(DrvStrokeAndFillPath)},
    {INDEX_DrvPaint, Entry(DrvPaint)},
    {INDEX_DrvRealizeBrush, Entry(DrvRealizeBrush)},
    {INDEX_DrvResetPDEV, Entry(DrvResetPDEV)},
    {INDEX_DrvTextOut, Entry(DrvTextOut)},
}};

}  // namespace

std::span<const DRVFN, kDriverTableSize> DriverTable() { return kTable; }

BOOL EnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded) {
  if (iEngineVersion < DDI_DRIVER_VERSION_NT4 || cj < sizeof(DRVENABLEDATA) || !pded) {
    SetLastError(ERROR_BAD_DRIVER_LEVEL);
    return FALSE;
  }
  pded->iDriverVersion = DDI_DRIVER_VERSION_NT4;
  pded->c = kDriverTableSize;
  pded->pdrvfn = const_cast<DRVFN*>(kTable.data());
  return TRUE;
}

BOOL QueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded) {
  if (dwMode != DRVQUERY_USERMODE) return FALSE;
  if (pcbNeeded) *pcbNeeded = sizeof(DWORD);
  if (!pBuffer || cbBuf < sizeof(DWORD)) return FALSE;
  const DWORD userMode = 1;
  std::memcpy(pBuffer, &userMode, sizeof(userMode));
  return TRUE;
}

BOOL InitializeForReason(DWORD reason) { return reason <= 3 ? TRUE : FALSE; }

}  // namespace render
