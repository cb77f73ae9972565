// DrvEnablePDEV and the rest of the device record's life: the DEVMODE and
// printer data it is built from, the colour rules, the engine's capability
// records, completion, reset and release.
#include "render/render_pdev.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "device/device_status.h"
#include "planes/plane_ops.h"
#include "plat/codepage.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "render/command_stream.h"
#include "render/job_files.h"
#include "planes/work_buffers.h"
#include "settings/caps_store.h"
#include "settings/doc_settings.h"
#include "settings/private_devmode.h"

namespace {

// Six 32 x 32 one-bit hatch patterns, 4 bytes a row, top row first: lines
// every 8 dots as bit 0 (the brush's foreground), bit 1 elsewhere. Order of
// the engine's hatch styles: horizontal, vertical, forward diagonal,
// backward diagonal, cross, diagonal cross.
constexpr int kHatchSide = 32;
constexpr int kHatchRowBytes = 4;
constexpr int kHatchBytes = kHatchSide * kHatchRowBytes;

constexpr bool HatchInk(int style, int x, int y) {
  bool horizontal = (y % 8) == 7;
  bool vertical = (x % 8) == 7;
  bool forward = ((x - y) % 8 + 8) % 8 == 0;  // down to the right
  bool backward = ((x + y) % 8) == 7;         // up to the right
  switch (style) {
    case 0:
      return horizontal;
    case 1:
      return vertical;
    case 2:
      return forward;
    case 3:
      return backward;
    case 4:
      return horizontal || vertical;
    default:
      return forward || backward;
  }
}

struct HatchTable {
  BYTE bytes[kHatchPatternCount][kHatchBytes];
};

constexpr HatchTable MakeHatchTable() {
  HatchTable t{};
  for (int s = 0; s < kHatchPatternCount; ++s)
    for (int y = 0; y < kHatchSide; ++y)
      for (int x = 0; x < kHatchSide; ++x)
        if (!HatchInk(s, x, y)) t.bytes[s][y * kHatchRowBytes + x / 8] |= static_cast<BYTE>(0x80 >> (x % 8));
  return t;
}

constexpr HatchTable kHatchPatterns = MakeHatchTable();

struct GlobalDeleter {
  void operator()(void* p) const { GlobalFree(p); }
};

bool IsOurDevmodeShape(const DEVMODEW* dm, WORD version = kClassicDriverVersion) {
  return dm != nullptr && dm->dmDriverVersion == version && dm->dmSize == kPublicDevmodeSize &&
         dm->dmDriverExtra == kPrivateDevmodeExtra;
}

// The spooler's DEVMODE of the printer, else printer data "DefaultDevmode",
// into a zero-filled PrivateDevmode. Either is taken only when its public part
// is 220 bytes and its private part ours, so that no offset shifts.
bool ReadSpoolerDevmode(HANDLE printer, PrivateDevmode& out) {
  DWORD needed = 0;
  if (!GetPrinterW(printer, 2, nullptr, 0, &needed) && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
      needed >= sizeof(PRINTER_INFO_2W)) {
    std::vector<BYTE> buffer(needed);
    DWORD got = 0;
    if (GetPrinterW(printer, 2, buffer.data(), needed, &got)) {
      const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
      const BYTE* dm = reinterpret_cast<const BYTE*>(info->pDevMode);
      const BYTE* begin = buffer.data();
      const BYTE* end = begin + buffer.size();
      if (dm && dm >= begin && end - dm >= static_cast<std::ptrdiff_t>(sizeof(DEVMODEW))) {
        const auto* pub = reinterpret_cast<const DEVMODEW*>(dm);
        std::size_t total = static_cast<std::size_t>(pub->dmSize) + pub->dmDriverExtra;
        if (IsOurDevmodeShape(pub) && total <= static_cast<std::size_t>(end - dm)) {
          std::memcpy(&out, dm, std::min(total, sizeof(PrivateDevmode)));
          return true;
        }
      }
    }
  }
  auto value = ReadPrinterValue(printer, kValueDefaultDevmode);
  if (!value || value->size() != sizeof(PrivateDevmode)) return false;
  std::memcpy(&out, value->data(), sizeof(PrivateDevmode));
  return IsOurDevmodeShape(&out.Public);
}

// The public fields the library takes from a DEVMODE, present only when its
// dmSize covers them.
struct PublicFields {
  SHORT copies;
  SHORT paperSize;
  SHORT paperWidth;
  SHORT paperLength;
  SHORT orientation;
};

PublicFields TakePublicFields(const DEVMODEW* caller, const DEVMODEW& own) {
  const DEVMODEW* from = &own;
  constexpr std::size_t covered = offsetof(DEVMODEW, dmCopies) + sizeof(SHORT);
  if (caller && caller->dmSize >= covered) from = caller;
  return {from->dmCopies, from->dmPaperSize, from->dmPaperWidth, from->dmPaperLength, from->dmOrientation};
}

void ClearPortStatus(RenderPdev* pdev, DWORD severity) {
  if (pdev->portName[0] == 0) return;
  PORT_INFO_3W info{};
  info.dwStatus = 0;
  info.pszStatus = nullptr;
  info.dwSeverity = severity;
  // A port that cannot take the status is no reason to fail the job.
  (void)SetPortW(nullptr, pdev->portName, 3, reinterpret_cast<LPBYTE>(&info));
}

void ReadPortName(RenderPdev* pdev) {
  DWORD needed = 0;
  if (GetPrinterW(pdev->printer, 2, nullptr, 0, &needed) || needed < sizeof(PRINTER_INFO_2W)) return;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(pdev->printer, 2, buffer.data(), needed, &needed)) return;
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  if (info->pPortName) lstrcpynW(pdev->portName, info->pPortName, 256);
}

void SetInk(std::int32_t code, const DocSettings& s, std::uint16_t& ink, std::int32_t (&lab)[3]) {
  const InkLab* entry = s.InkLab.Find(code);
  if (!entry) {
    ink = 0;
    lab[0] = lab[1] = lab[2] = 0;
    return;
  }
  ink = static_cast<std::uint16_t>(code);
  lab[0] = entry->L;
  lab[1] = entry->a;
  lab[2] = entry->b;
}

// A name of the settings in the printer code page of the language, bounded
// to the 256-byte field and always terminated.
void ConvertJobText(std::uint8_t language, std::span<const WCHAR> field, char (&out)[256]) {
  std::u16string text = FieldText(field);
  std::memset(out, 0, sizeof(out));
  // A name too long for the field keeps its whole-character beginning.
  DWORD rc = WideToPrinterCodePage(language, text.c_str(), out, sizeof(out));
  if (rc != 0 && rc != ERROR_INSUFFICIENT_BUFFER) std::memset(out, 0, sizeof(out));
  out[sizeof(out) - 1] = 0;
}

void TakeJobTexts(RenderPdev* pdev, const DocSettings& s) {
  bool storage = IsStorageMode(pdev->outputMode);
  JobTextBlock& t = pdev->jobText;
  t.useDocumentName = storage ? s.UsbNameFromDoc : s.HoldNameFromDoc;
  t.jobOption = storage ? s.UsbJobOption : s.HoldJobOption;
  ConvertJobText(pdev->languageNumber,
                 storage ? std::span<const WCHAR>(s.UsbJobName) : std::span<const WCHAR>(s.HoldJobName), t.jobName);
  ConvertJobText(pdev->languageNumber,
                 storage ? std::span<const WCHAR>(s.UsbUserName) : std::span<const WCHAR>(s.HoldUserName), t.userName);
  if (t.userName[0] == 0) {
    GetUserNameForJob(t.userName, pdev->languageNumber);
    t.userName[sizeof(t.userName) - 1] = 0;
  }
}

// The level of entry `index` of a level list as the stream sends it (its low
// byte); 0 past its end.
std::uint8_t LevelByte(const std::vector<LevelEntry>& list, std::size_t index) {
  return index < list.size() ? static_cast<std::uint8_t>(list[index].Value & 0xFF) : 0;
}

// Whether dots of a 0.1 mm length fit the 16 bits of a position command.
bool FitsPosition(std::int64_t tenthMm, std::int64_t dpi) {
  std::int64_t dots = TenthMmToDots(tenthMm < 0 ? -tenthMm : tenthMm, dpi);
  return dots <= 0xFFFF;
}

void CustomPosition(RenderPdev* pdev, const DocSettings& s) {
  const std::int64_t w = pdev->outputPaperWidth;
  const std::int64_t p = pdev->paperWidth;
  const std::int64_t dx = s.ImagePositionOffsets[0];
  const std::int64_t dy = s.ImagePositionOffsets[1];
  const std::int64_t bx = s.ImagePositionOffsets[4];
  const std::int64_t by = s.ImagePositionOffsets[5];
  std::int64_t fx = 0, fy = 0, backX = 0, backY = 0;
  if (!IsDuplexKind(s.Duplex)) {
    fx = std::max<std::int64_t>(0, (w + 2 * dx - p) / 2);
    fy = std::max<std::int64_t>(0, dy);
  } else {
    if (s.ImagePositionEach == 0) {
      if (s.Duplex == 1) {
        fx = (w - 2 * dx - p) / 2;
        fy = dy;
      } else {
        fx = (2 * dx + w - p) / 2;
        fy = -dy;
      }
    } else {
      fx = s.Duplex == 1 ? (2 * bx + w - p) / 2 : (w - 2 * bx - p) / 2;
      fy = by;
    }
    backX = std::max<std::int64_t>(0, (2 * dx + w - p) / 2);
    backY = dy;
    fx = std::max<std::int64_t>(0, fx);
  }
  auto clamp32 = [](std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(),
                                                              std::numeric_limits<std::int32_t>::max()));
  };
  pdev->frontX = clamp32(fx);
  pdev->frontY = clamp32(fy);
  pdev->backX = clamp32(backX);
  pdev->backY = clamp32(backY);
}

void ApplyColourRules(RenderPdev* pdev, const PrivateDevmode& dm) {
  const DocSettings& s = dm.Settings;
  std::uint8_t(&sep)[3] = pdev->separationModes;
  // A model with a drum colour pattern prints one ink on drum 1. Otherwise two
  // inks on both drums whose three separation modes all pick one drum (0 or 1)
  // become one ink on that drum.
  if (dm.DrumColorPattern != 0) {
    pdev->oneInkDrum = 0;
  } else if (PrintsTwoInks(pdev) && sep[0] == sep[1] && sep[1] == sep[2] && sep[0] < 2) {
    pdev->colorMode = 1;
    pdev->oneInkDrum = sep[0] == 1 ? 1 : 0;
  }
  // Alternating-drum separation prints both drums without modes.
  if (s.ColorMode == 2 && s.SeparationKind == 3) {
    pdev->separationKind = 3;
    pdev->masterSelection = 2;
    sep[0] = sep[1] = sep[2] = 0;
  }
  // Binding shift; duplex prints both drums without modes.
  pdev->shiftMode = s.BindingPosition;
  pdev->shiftAmount = s.BindingAmount;
  pdev->shiftHalved = s.AutoReduce;
  if (IsDuplexKind(s.Duplex)) {
    pdev->duplex = s.Duplex;
    pdev->masterSelection = 2;
    sep[0] = sep[1] = sep[2] = 0;
  }
  pdev->drum2LightPrint = s.Drum2LightPrint;
  // Text and graphics in mode 0 with images in mode 1 are drawn with the
  // planes swapped and the modes exchanged.
  if (PrintsTwoInks(pdev) && sep[0] == 0 && sep[2] == 1) {
    pdev->planesSwapped = 1;
    sep[0] = 1;
    sep[1] = 1;
    sep[2] = 0;
  } else {
    pdev->planesSwapped = 0;
  }
}

bool MakeHatchSurfaces(RenderPdev* pdev, ULONG cPat, HSURF* patterns) {
  if (patterns)
    for (ULONG i = 0; i < cPat; ++i) patterns[i] = nullptr;
  for (int i = 0; i < kHatchPatternCount; ++i) {
    HBITMAP bm = EngCreateBitmap(SIZEL{kHatchSide, kHatchSide}, kHatchRowBytes, BMF_1BPP, BMF_TOPDOWN, nullptr);
    if (!bm) return false;
    HSURF hs = reinterpret_cast<HSURF>(bm);
    pdev->drawing.hatchSurfaces[i] = hs;
    SURFOBJ* so = EngLockSurface(hs);
    if (!so) return false;
    std::memcpy(so->pvBits, kHatchPatterns.bytes[i], kHatchBytes);
    EngUnlockSurface(so);
    if (patterns && static_cast<ULONG>(i) < cPat) patterns[i] = hs;
  }
  return true;
}

void ReleasePdevParts(RenderPdev* pdev) {
  for (HSURF& hs : pdev->drawing.hatchSurfaces) {
    if (hs) EngDeleteSurface(hs);
    hs = nullptr;
  }
  if (pdev->palette) EngDeletePalette(pdev->palette);
  pdev->palette = nullptr;
  FreeOutputBuffer(pdev);
  ClearClipRectList(pdev);
  FreeSavedPlanes(pdev);
  if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
  pdev->image.diffusionCarryRow = nullptr;
  pdev->image.diffusionCarrySize = 0;
  // A stale pointer to a freed record must not pass the validity test.
  pdev->headSignature = 0;
  pdev->tailSignature = 0;
}

void ReleasePdev(RenderPdev* pdev) {
  ReleasePdevParts(pdev);
  GlobalFree(pdev);
}

}  // namespace

std::optional<PaperSize> LookupPaperSize(HANDLE printer, int paperId) {
  PaperSize size{2100, 2970};
  auto value = ReadPrinterValue(printer, kValuePaper);
  if (!value) return size;
  for (const PaperEntry& paper : DecodePaperRecords(*value)) {
    if (paper.PaperId != static_cast<std::uint16_t>(paperId)) continue;
    std::int64_t w = paper.Width / 100;
    std::int64_t l = paper.Length / 100;
    if (w <= 0 || l <= 0 || w > 0xFFFF || l > 0xFFFF) return std::nullopt;
    return PaperSize{static_cast<std::int32_t>(w), static_cast<std::int32_t>(l)};
  }
  return size;
}

bool FillGdiInfo(const RenderPdev* pdev, GDIINFO& gdi) {
  std::int64_t m = 0, n = 0;
  PrintableMargins(pdev, m, n);
  const std::int64_t x = pdev->resolutionX;
  const std::int64_t y = pdev->resolutionY;
  const std::int64_t w = static_cast<std::int64_t>(pdev->paperWidth) - m;
  const std::int64_t l = static_cast<std::int64_t>(pdev->paperLength) - n;
  const std::int64_t horzRes = TenthMmToDots(w, x);
  const std::int64_t vertRes = TenthMmToDots(l, y);
  if (w <= 0 || l <= 0 || horzRes <= 0 || vertRes <= 0) return false;
  std::memset(&gdi, 0, sizeof(gdi));
  gdi.ulVersion = 0x400;
  gdi.ulTechnology = DT_RASPRINTER;
  gdi.ulHorzSize = static_cast<ULONG>((w + 9) / 10);
  gdi.ulVertSize = static_cast<ULONG>((l + 9) / 10);
  gdi.ulHorzRes = static_cast<ULONG>(horzRes);
  gdi.ulVertRes = static_cast<ULONG>(vertRes);
  gdi.cBitsPixel = 24;
  gdi.cPlanes = 1;
  gdi.ulNumColors = 0x1000000;
  gdi.flRaster = 0;
  gdi.ulLogPixelsX = static_cast<ULONG>(x);
  gdi.ulLogPixelsY = static_cast<ULONG>(y);
  gdi.ulAspectX = static_cast<ULONG>(x);
  gdi.ulAspectY = static_cast<ULONG>(y);
  gdi.ulAspectXY = static_cast<ULONG>((x + y) * 707 / 1000);
  gdi.xStyleStep = 3;
  gdi.yStyleStep = 4;
  gdi.denStyleStep = 12;
  if (pdev->orientation == 90) {
    gdi.ptlPhysOffset.x = static_cast<LONG>(TenthMmToDots(pdev->marginTop, y));
    gdi.ptlPhysOffset.y = static_cast<LONG>(TenthMmToDots(pdev->marginRight, x));
  } else {
    gdi.ptlPhysOffset.x = static_cast<LONG>(TenthMmToDots(pdev->marginLeft, x));
    gdi.ptlPhysOffset.y = static_cast<LONG>(TenthMmToDots(pdev->marginTop, y));
  }
  gdi.szlPhysSize.cx = static_cast<LONG>(TenthMmToDots(pdev->paperWidth, x));
  gdi.szlPhysSize.cy = static_cast<LONG>(TenthMmToDots(pdev->paperLength, y));
  gdi.ulHTPatternSize = HT_PATSIZE_4x4;
  gdi.ulHTOutputFormat = HT_FORMAT_24BPP;
  gdi.flHTFlags = HT_FLAG_HAS_BLACK_DYE;
  return true;
}

bool FillDevInfo(RenderPdev* pdev, DEVINFO& devinfo) {
  std::memset(&devinfo, 0, sizeof(devinfo));
  devinfo.flGraphicsCaps = GCAPS_MONO_DITHER | GCAPS_OPAQUERECT | GCAPS_HALFTONE | GCAPS_GEOMETRICWIDE;
  devinfo.cFonts = 0;
  devinfo.iDitherFormat = BMF_24BPP;
  devinfo.cxDither = 8;
  devinfo.cyDither = 8;
  if (pdev->palette) EngDeletePalette(pdev->palette);
  pdev->palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  devinfo.hpalDefault = pdev->palette;
  return pdev->palette != nullptr;
}

namespace {

using DevmodePtr = std::unique_ptr<PrivateDevmode, GlobalDeleter>;

// The DEVMODE of the device: a caller's only with our version and both
// sizes, else the printer's own; null when neither is usable or without memory.
DevmodePtr ReadDevmode(const DEVMODEW* caller, HANDLE printer, WORD version) {
  DevmodePtr dm(static_cast<PrivateDevmode*>(GlobalAlloc(GPTR, sizeof(PrivateDevmode))));
  if (!dm) return nullptr;
  if (IsOurDevmodeShape(caller, version)) {
    std::memcpy(dm.get(), caller, sizeof(PrivateDevmode));
  } else if (!ReadSpoolerDevmode(printer, *dm)) {
    return nullptr;
  }
  return dm;
}

// Paper, orientation, resolution, margins, image position and the planes'
// first size. ERROR_SUCCESS, or ERROR_INVALID_PARAMETER for a geometry the
// device cannot take (no paper, a resolution below 10 dpi, a position beyond
// the stream's 16 bits).
DWORD SetPageGeometry(RenderPdev* pdev, PrivateDevmode& dm, const PublicFields& pub, HANDLE printer) {
  DocSettings& s = dm.Settings;
  std::int64_t paperWidth = 0, paperLength = 0;
  std::int16_t orientation = 0;
  if (dm.AppPage.ApplyFlag == 1) {
    ApplyAppPageRecord(dm.AppPage, s, nullptr);
    orientation = s.Landscape ? 90 : 0;
    paperWidth = s.FreeWidth / 100;
    paperLength = s.FreeLength / 100;
  } else {
    if (IsPluginPdev(pdev)) {
      auto size = PluginPaperSize(dm.Public, printer);
      if (!size) return ERROR_INVALID_PARAMETER;
      paperWidth = size->width;
      paperLength = size->length;
    } else if (pub.paperSize != 0 && pub.paperSize != DMPAPER_USER) {
      auto size = LookupPaperSize(printer, pub.paperSize);
      if (!size) return ERROR_INVALID_PARAMETER;
      paperWidth = size->width;
      paperLength = size->length;
    } else {
      paperWidth = pub.paperWidth;
      paperLength = pub.paperLength;
    }
    orientation = pub.orientation == DMORIENT_LANDSCAPE ? 90 : 0;
  }
  if (paperWidth <= 0 || paperLength <= 0 || paperWidth > 0xFFFF || paperLength > 0xFFFF)
    return ERROR_INVALID_PARAMETER;

  // Resolution modes: 300 x 600 is printed as 600 x 600, 300 x 400 as 300 x 300.
  std::int64_t xdpi = dm.XResolution;
  std::int64_t ydpi = dm.YResolution;
  std::uint8_t mode = 0;
  if (xdpi == 300 && ydpi == 600) {
    xdpi = 600;
    mode = 2;
  } else if (xdpi == 300 && ydpi == 400) {
    ydpi = 300;
    mode = 1;
  }
  // Below 10 dpi every length would become 0 dots.
  if (xdpi < 10 || ydpi < 10) return ERROR_INVALID_PARAMETER;

  for (int i = 0; i < 4; ++i) pdev->rawMargins[i] = dm.Margins[i];
  const bool noMargins = s.SyuuiYohaku == 1 || s.FitPage == 1 || s.ImagePosition == 1;
  pdev->marginLeft = noMargins ? 0 : dm.Margins[0];
  pdev->marginTop = noMargins ? 0 : dm.Margins[1];
  pdev->marginRight = noMargins ? 0 : dm.Margins[2];
  pdev->marginBottom = noMargins ? 0 : dm.Margins[3];

  // Landscape exchanges the paper sides.
  if (orientation == 90) std::swap(paperWidth, paperLength);
  pdev->paperWidth = static_cast<std::uint16_t>(paperWidth);
  pdev->paperLength = static_cast<std::uint16_t>(paperLength);
  pdev->outputPaperWidth = static_cast<std::uint16_t>(s.OutputPaperWidth & 0xFFFF);
  pdev->outputPaperLength = static_cast<std::uint16_t>(s.OutputPaperLength & 0xFFFF);

  // A custom image position is placed on portrait terms.
  pdev->customPosition = s.ImagePosition;
  if (s.ImagePosition == 1) {
    orientation = 0;
    CustomPosition(pdev, s);
  }
  if (orientation == 90) std::swap(xdpi, ydpi);
  pdev->orientation = orientation;
  pdev->resolutionX = static_cast<std::uint16_t>(xdpi);
  pdev->resolutionY = static_cast<std::uint16_t>(ydpi);
  pdev->resolutionMode = mode;

  // Every position the stream will carry must fit its 16 bits.
  const std::int64_t margins[4] = {pdev->marginLeft, pdev->marginTop, pdev->marginRight, pdev->marginBottom};
  for (std::int64_t m : margins)
    if (m < 0 || !FitsPosition(m, std::max(xdpi, ydpi))) return ERROR_INVALID_PARAMETER;
  if (!FitsPosition(pdev->frontX, xdpi) || !FitsPosition(pdev->backX, xdpi) || !FitsPosition(pdev->frontY, ydpi) ||
      !FitsPosition(pdev->backY, ydpi))
    return ERROR_INVALID_PARAMETER;

  pdev->planeWidth = static_cast<std::int32_t>(TenthMmToDots(paperWidth, xdpi));
  pdev->planeHeight = static_cast<std::int32_t>(TenthMmToDots(paperLength, ydpi));
  pdev->drawing.fixedResolutionX = PdevFixed{static_cast<std::int32_t>(xdpi), 0};
  pdev->drawing.fixedResolutionY = PdevFixed{static_cast<std::int32_t>(ydpi), 0};
  return ERROR_SUCCESS;
}

// Copies, layout, finishing options, output mode and preview.
void TakeCopyOptions(RenderPdev* pdev, const DocSettings& s) {
  pdev->copies = static_cast<std::uint16_t>(std::clamp<std::int32_t>(s.Copies, 0, 0xFFFF));
  pdev->repeat = s.UpLayout;
  pdev->repeatInFour = s.UpFour;
  pdev->nUp = s.RensyaLayout;
  pdev->booklet[0] = s.Booklet;
  pdev->booklet[1] = s.Booklet4P;
  pdev->pagesPerSheet = s.RensyaLayout ? (s.RensyaOrder <= 1 ? 2 : 4) : 1;
  pdev->programPrint = s.ProgramPrint;
  for (int i = 0; i < 6; ++i) {
    pdev->programRows[i][0] = s.ProgramPrintBlock[i].Copies;
    pdev->programRows[i][1] = s.ProgramPrintBlock[i].Sets;
  }
  pdev->programSeparator = s.ProgramSeparator;
  pdev->holdBox = s.HoldBox;
  pdev->thumbnail = s.Thumbnail;
  pdev->interleaf = s.Interleaf;
  pdev->turbo = s.Turbo;
  pdev->interval = s.Interval;
  pdev->separationKindTwo = s.SeparationKindTwo;
  pdev->authenticationOn = s.Ninsyo;
  pdev->authenticationNumber = s.NinsyoNo;
  pdev->inkSaving = s.SyouInkMode;
  pdev->outputPaperChosen = s.OutputPaperIndex != 0 ? 1 : 0;
  pdev->rotate180 = s.Rotate;
  pdev->binIndex = s.BinIndex;
  pdev->binListInstalled = s.BinListInstalled;
  pdev->holdMemoryInstalled = s.HoldMemoryInstalled;
  pdev->continuousMode = s.RenzokuMode;
  pdev->sortMode = s.SortMode;
  pdev->staple = s.Staple;
  pdev->tapeSort = s.TapeSort;
  pdev->confidential = s.Kimitu;
  pdev->panelReset = s.RGPanelReset;
  pdev->option2025 = s.Reserved2025;
  pdev->outputMode = static_cast<OutputMode>(s.OutputMode);
  if (IsStorageMode(pdev->outputMode)) {
    std::memcpy(pdev->storageDrive, s.UsbDrive, sizeof(pdev->storageDrive));
    pdev->storageDrive[7] = 0;
    pdev->storageFolder = s.UsbFolder;
  }
  // The port status is cleared for the preview program.
  pdev->preview = s.Preview;
  if (s.Preview == 1) {
    ReadPortName(pdev);
    ClearPortStatus(pdev, 1);
  }
}

// Image settings for the image paths, in the record's order.
void TakeImageSettings(RenderPdev* pdev, const DocSettings& s) {
  pdev->photoMode = s.PhotoMode;
  pdev->textProcessing = s.TextProc;
  pdev->textVolumeA = s.TextVolumeA;
  pdev->textVolumeB = s.TextVolumeB;
  pdev->amiLine = static_cast<std::uint16_t>(s.AmiLine);
  pdev->amiAngle = s.AmiAngle;
  pdev->edge = s.Edge;
  pdev->brightness = s.Akarusa;
  pdev->contrast = s.Contrast;
  pdev->backlight = s.GyakkouOn ? s.Gyakkou : 0;
  pdev->gradationSmoothing = s.KaityoSmooth;
  pdev->photoKind = s.PhotoSyurui;
}

// The darker drum's strength from drum 2's lightness: 32 below L 35, else
// growing with L. L is bounded to its 0..100 range first, so that no value
// of the DEVMODE can overflow the arithmetic.
std::int32_t DarkerDrumStrength(std::int32_t lightness) {
  if (lightness < 35) return 32;
  return (std::min(lightness, 100) - 55) * 1115 / 100 + 255;
}

// Inks, the device query, separation, levels, job texts and the colour rules.
void TakeInksAndColourRules(RenderPdev* pdev, const PrivateDevmode& dm, HANDLE printer) {
  const DocSettings& s = dm.Settings;
  pdev->colorMode = s.ColorMode;
  pdev->oneInkDrum = (s.ColorMode == 1 && s.OneInkIndex > 1) ? 0 : s.OneInkIndex;
  pdev->masterSelection = s.Seihan;
  const std::int32_t code1 = s.ColorMode == 1 ? s.OneInkColor : s.Drum1Color;
  const std::int32_t code2 = s.ColorMode == 1 ? s.OneInkColor : s.Drum2Color;
  SetInk(code1, s, pdev->drum1Ink, pdev->drum1Lab);
  SetInk(code2, s, pdev->drum2Ink, pdev->drum2Lab);

  pdev->askDevice = (s.InkInformation == 1 && dm.InfoTaken == 0) ? 1 : 0;
  std::memcpy(pdev->deviceAddress, s.PrinterAddress, sizeof(pdev->deviceAddress));

  // The language first: the job texts need it.
  pdev->languageNumber = dm.LanguageNumber;
  pdev->systemCode = dm.WindowsKind;
  pdev->drumCount = dm.DrumCount;
  pdev->separationKind = s.SeparationKind;
  const std::uint8_t limit = s.ColorMode == 1 ? 1 : 0xFF;
  pdev->separationModes[0] = std::min(s.SeparationModeA, limit);
  pdev->separationModes[1] = std::min(s.SeparationModeA, limit);
  pdev->separationModes[2] = std::min(s.SeparationModeB, limit);
  const std::int32_t inks[2] = {pdev->drum1Ink, pdev->drum2Ink};
  const InkLab labs[2] = {InkLab{pdev->drum1Lab[0], pdev->drum1Lab[1], pdev->drum1Lab[2]},
                          InkLab{pdev->drum2Lab[0], pdev->drum2Lab[1], pdev->drum2Lab[2]}};
  AssignModesToDrums(pdev, inks, labs);
  TakeImageSettings(pdev, s);
  auto speeds = ReadPrinterValue(printer, kValueSpeed);
  auto densities = ReadPrinterValue(printer, kValueDensity);
  if (speeds && densities) {
    const std::vector<LevelEntry> speedList = DecodeLevelRecords(*speeds);
    const std::vector<LevelEntry> densityList = DecodeLevelRecords(*densities);
    pdev->speed = LevelByte(speedList, s.SpeedIndex);
    pdev->densities[0] = LevelByte(densityList, s.Density1);
    pdev->densities[1] = LevelByte(densityList, s.Density2);
  }
  TakeJobTexts(pdev, s);
  pdev->image.darkerDrumStrength = DarkerDrumStrength(pdev->drum2Lab[0]);
  ApplyColourRules(pdev, dm);
}

// GDIINFO and DEVINFO within the sizes the caller gave, and the hatch pattern
// surfaces. ERROR_SUCCESS, or the reason of the failure.
DWORD AnswerEngineRecords(RenderPdev* pdev, ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, ULONG cPat,
                          HSURF* patterns) {
  GDIINFO gdi{};
  if (!FillGdiInfo(pdev, gdi)) return ERROR_INVALID_PARAMETER;
  DEVINFO devinfo{};
  if (!FillDevInfo(pdev, devinfo)) return ERROR_NOT_ENOUGH_MEMORY;
  if (pdevcaps) std::memcpy(pdevcaps, &gdi, std::min<std::size_t>(cjCaps, sizeof(gdi)));
  if (pdi) std::memcpy(pdi, &devinfo, std::min<std::size_t>(cjDevInfo, sizeof(devinfo)));
  if (!MakeHatchSurfaces(pdev, cPat, patterns)) {
    if (patterns)
      for (ULONG i = 0; i < cPat; ++i) patterns[i] = nullptr;
    return ERROR_NOT_ENOUGH_MEMORY;
  }
  return ERROR_SUCCESS;
}

}  // namespace

DWORD BuildRenderPdev(RenderPdev* pdev, const DEVMODEW* pdm, HANDLE printer, HDEV hdev) {
  const WORD version = IsPluginPdev(pdev) ? kPluginDriverVersion : kClassicDriverVersion;
  DevmodePtr dm = ReadDevmode(pdm, printer, version);
  if (!dm) return ERROR_INVALID_PARAMETER;
  const PublicFields pub = TakePublicFields(pdm, dm->Public);
  dm->Settings.Copies = pub.copies;
  BoundImageSettings(dm->Settings);

  pdev->headSignature = kPdevSignature;
  pdev->printer = printer;
  pdev->engineDevice = hdev;
  pdev->imageCaching = 1;
  pdev->jobFile = INVALID_HANDLE_VALUE;
  pdev->drawnRect = PdevRect{0, 0, -1, -1};

  if (DWORD error = SetPageGeometry(pdev, *dm, pub, printer)) return error;
  TakeCopyOptions(pdev, dm->Settings);
  TakeInksAndColourRules(pdev, *dm, printer);
  return ERROR_SUCCESS;
}

DHPDEV DrvEnablePDEV(DEVMODEW* pdm, LPWSTR, ULONG cPat, HSURF* phsurfPatterns, ULONG cjCaps, ULONG* pdevcaps,
                     ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev, LPWSTR, HANDLE hDriver) {
  auto* pdev = static_cast<RenderPdev*>(GlobalAlloc(GPTR, sizeof(RenderPdev)));
  if (!pdev) return nullptr;
  auto fail = [&](DWORD error) -> DHPDEV {
    ReleasePdev(pdev);
    SetLastError(error);
    return nullptr;
  };
  if (DWORD error = BuildRenderPdev(pdev, pdm, hDriver, hdev)) {
    // A DEVMODE that cannot be read leaves the error of its reader.
    if (pdev->headSignature == 0) {
      GlobalFree(pdev);
      return nullptr;
    }
    return fail(error);
  }
  if (DWORD error = AnswerEngineRecords(pdev, cjCaps, pdevcaps, cjDevInfo, pdi, cPat, phsurfPatterns))
    return fail(error);

  pdev->tailSignature = kPdevSignature;
  return reinterpret_cast<DHPDEV>(pdev);
}

void DrvCompletePDEV(DHPDEV dhpdev, HDEV hdev) {
  auto* pdev = reinterpret_cast<RenderPdev*>(dhpdev);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  pdev->engineDevice = hdev;
}

void DrvDisablePDEV(DHPDEV dhpdev) {
  auto* pdev = reinterpret_cast<RenderPdev*>(dhpdev);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return;
  }
  DisableRenderPdev(pdev);
  GlobalFree(pdev);
}

void DisableRenderPdev(RenderPdev* pdev) {
  if (pdev->preview == 1) ClearPortStatus(pdev, 0);
  ReleasePdevParts(pdev);
}

void AssignModesToDrums(RenderPdev* pdev, const std::int32_t (&ink)[2], const InkLab (&lab)[2]) {
  if (pdev->colorMode != 2 || pdev->separationKind != 0) return;
  std::int32_t modeA = pdev->separationModes[0];
  std::int32_t modeB = pdev->separationModes[2];
  const InkLab want1{pdev->drum1Lab[0], pdev->drum1Lab[1], pdev->drum1Lab[2]};
  const InkLab want2{pdev->drum2Lab[0], pdev->drum2Lab[1], pdev->drum2Lab[2]};
  AssignDrumColors(pdev->drum1Ink, want1, pdev->drum2Ink, want2, ink[0], lab[0], ink[1], lab[1], &modeA, &modeB);
  if (modeA != kNoAssignment) {
    pdev->separationModes[0] = static_cast<std::uint8_t>(modeA);
    pdev->separationModes[1] = static_cast<std::uint8_t>(modeA);
  }
  if (modeB != kNoAssignment) pdev->separationModes[2] = static_cast<std::uint8_t>(modeB);
}
