// The device entries of the render library: DrvEnablePDEV builds the device
// record (planes/pdev_record.h) from the DEVMODE and the printer data,
// DrvCompletePDEV finishes it, DrvDisablePDEV frees it; the engine's
// capability records it answers with.
#pragma once

#include <cstdint>
#include <optional>

#include "planes/pdev_record.h"

// Paper size in 0.1 mm.
struct PaperSize {
  std::int32_t width;
  std::int32_t length;
};

// The size of a paper id from printer data "Paper" (16-byte records, sizes in
// micrometres); A4 (2100 x 2970) when the value or the id is missing.
// Nothing when the record's size does not fit the device record.
std::optional<PaperSize> LookupPaperSize(HANDLE printer, int paperId);

// The paper of a plug-in device's DEVMODE: a form id (DM_PAPERSIZE, not 0
// or 256) through OemGetPaperSize; else a form name (DM_FORMNAME) as the
// spooler form of that name, A4 when there is none; else the DEVMODE's own
// width and length (DM_PAPERLENGTH, DM_PAPERWIDTH or id 256); else A4.
// Nothing for a size the device record cannot take.
std::optional<PaperSize> PluginPaperSize(const DEVMODEW& dm, HANDLE printer);
// The size of a paper id for the plug-in: the spooler form at that 1-based
// position, else LookupPaperSize. Nothing for a form of size 0 or over
// 0xFFFF tenths of a millimetre, as for a bad "Paper" record.
std::optional<PaperSize> OemGetPaperSize(HANDLE printer, int paperId);

// The engine's capability records of a device. FillGdiInfo fails when the
// printable area is empty; FillDevInfo makes the record's palette (replacing
// an earlier one) and fails without it.
bool FillGdiInfo(const RenderPdev* pdev, GDIINFO& gdi);
bool FillDevInfo(RenderPdev* pdev, DEVINFO& devinfo);

// Builds a zero-filled record in place from a DEVMODE of its generation (the
// caller sets the generation first): a caller's with that version, 220 public
// and 3236 private bytes, else the printer's own. The signature words but the
// last are set. ERROR_SUCCESS; ERROR_INVALID_PARAMETER for no usable DEVMODE
// (the head signature stays 0) or a geometry the device cannot take.
DWORD BuildRenderPdev(RenderPdev* pdev, const DEVMODEW* pdm, HANDLE printer, HDEV hdev);
// Frees everything the record owns, not the record itself, and clears the
// port status of a preview job; the record fails the validity test afterwards.
void DisableRenderPdev(RenderPdev* pdev);

// Device entries. DrvEnablePDEV builds the record from the caller's DEVMODE
// (only one of our version with a 220-byte public and a 3236-byte private
// part), else the printer's DEVMODE or "DefaultDevmode", and the printer data;
// it writes at most cjCaps bytes of GDIINFO, cjDevInfo bytes of DEVINFO and
// cPat pattern handles. NULL when no usable DEVMODE, no memory, or a
// geometry the device cannot take (a resolution below 10 dpi, an empty
// printable area, a position beyond the stream's 16 bits).
DHPDEV DrvEnablePDEV(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps,
                     ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR pwszDeviceName,
                     HANDLE hDriver);
void DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev);

// Adapts the text and graphics mode and the image mode of a two-ink job of
// automatic separation (kind 0) to the inks on the drums (codes and L, a, b),
// from the job's own drum inks; a mode that no assignment fits is kept. The
// device is built with its DEVMODE's drums, so that each colour prints on
// the drum of its ink whether or not the sheet adapted the modes before;
// the first page adapts them again to the inks the device reports.
void AssignModesToDrums(RenderPdev* pdev, const std::int32_t (&ink)[2], const InkLab (&lab)[2]);
// Frees the record and everything it owns.
void DrvDisablePDEV(DHPDEV dhpdev);
