// The graphics engine as a printer graphics library sees it: the driver
// function table, device capabilities, surfaces, palettes and the Eng*
// services the library calls back. Surfaces live in this process-wide model;
// a print host (plat/print_host.h) plays the engine's side of a job.
#pragma once
#include "plat/base.h"

// Engine handles. Opaque to the driver; the engine model owns what they name.
struct HSURF__;
using HSURF = HSURF__*;
struct HDEV__;
using HDEV = HDEV__*;
struct HPALETTE__;
using HPALETTE = HPALETTE__*;
struct DHPDEV__;
using DHPDEV = DHPDEV__*;  // the driver's device record, as the engine carries it
struct DHSURF__;
using DHSURF = DHSURF__*;
using ROP4 = ULONG;
using MIX = ULONG;

// Drawing objects the engine hands to drawing entries; their layouts join
// this header with the entries that read them.
struct CLIPOBJ;
struct BRUSHOBJ;
struct XLATEOBJ;
struct PATHOBJ;
struct STROBJ;
struct FONTOBJ;
struct LINEATTRS;
struct COLORADJUSTMENT;
struct XFORMOBJ;
using PFN = void (*)();  // an entry of any signature, cast back by the caller
struct HBITMAP__;
using HBITMAP = HBITMAP__*;  // an engine bitmap; its handle is also its HSURF

// ---- driver function table ----
struct DRVFN {
  ULONG iFunc;
  PFN pfn;
};
struct DRVENABLEDATA {
  ULONG iDriverVersion;
  ULONG c;
  DRVFN* pdrvfn;
};

constexpr ULONG DDI_DRIVER_VERSION_NT4 = 0x20000;
constexpr ULONG DRVQUERY_USERMODE = 1;
constexpr DWORD ERROR_BAD_DRIVER_LEVEL = 119;

// Function indices of the driver table.
constexpr ULONG INDEX_DrvEnablePDEV = 0;
constexpr ULONG INDEX_DrvCompletePDEV = 1;
constexpr ULONG INDEX_DrvDisablePDEV = 2;
constexpr ULONG INDEX_DrvEnableSurface = 3;
constexpr ULONG INDEX_DrvDisableSurface = 4;
constexpr ULONG INDEX_DrvResetPDEV = 7;
constexpr ULONG INDEX_DrvDisableDriver = 8;
constexpr ULONG INDEX_DrvRealizeBrush = 12;
constexpr ULONG INDEX_DrvStrokePath = 14;
constexpr ULONG INDEX_DrvFillPath = 15;
constexpr ULONG INDEX_DrvStrokeAndFillPath = 16;
constexpr ULONG INDEX_DrvPaint = 17;
constexpr ULONG INDEX_DrvBitBlt = 18;
constexpr ULONG INDEX_DrvCopyBits = 19;
constexpr ULONG INDEX_DrvStretchBlt = 20;
constexpr ULONG INDEX_DrvTextOut = 23;
constexpr ULONG INDEX_DrvEscape = 24;
constexpr ULONG INDEX_DrvLineTo = 31;
constexpr ULONG INDEX_DrvSendPage = 32;
constexpr ULONG INDEX_DrvStartPage = 33;
constexpr ULONG INDEX_DrvEndDoc = 34;
constexpr ULONG INDEX_DrvStartDoc = 35;
constexpr ULONG INDEX_DrvDitherColor = 13;
constexpr ULONG INDEX_DrvQueryFont = 26;
constexpr ULONG INDEX_DrvQueryFontTree = 27;
constexpr ULONG INDEX_DrvQueryFontData = 28;
constexpr ULONG INDEX_DrvGetGlyphMode = 37;
constexpr ULONG INDEX_DrvFontManagement = 47;
constexpr ULONG INDEX_DrvQueryAdvanceWidths = 53;
constexpr ULONG INDEX_DrvStartBanding = 57;
constexpr ULONG INDEX_DrvNextBand = 58;
constexpr ULONG INDEX_DrvGradientFill = 68;
constexpr ULONG INDEX_DrvStretchBltROP = 69;
constexpr ULONG INDEX_DrvPlgBlt = 70;
constexpr ULONG INDEX_DrvAlphaBlend = 71;
constexpr ULONG INDEX_DrvTransparentBlt = 74;
constexpr ULONG INDEX_LAST = 89;

// ---- surfaces ----
struct SURFOBJ {
  DHSURF dhsurf;
  HSURF hsurf;
  DHPDEV dhpdev;
  HDEV hdev;
  SIZEL sizlBitmap;
  ULONG cjBits;
  PVOID pvBits;
  PVOID pvScan0;
  LONG lDelta;
  ULONG iUniq;  // changes whenever the bits change
  ULONG iBitmapFormat;
  USHORT iType;
  USHORT fjBitmap;
};

constexpr USHORT STYPE_BITMAP = 0;
constexpr USHORT STYPE_DEVICE = 1;
constexpr USHORT STYPE_DEVBITMAP = 3;

constexpr ULONG BMF_1BPP = 1;
constexpr ULONG BMF_4BPP = 2;
constexpr ULONG BMF_8BPP = 3;
constexpr ULONG BMF_16BPP = 4;
constexpr ULONG BMF_24BPP = 5;
constexpr ULONG BMF_32BPP = 6;
constexpr ULONG BMF_4RLE = 7;
constexpr ULONG BMF_8RLE = 8;

// EngCreateBitmap flags and SURFOBJ::fjBitmap bits.
constexpr FLONG BMF_TOPDOWN = 0x0001;
constexpr FLONG BMF_NOZEROINIT = 0x0002;
constexpr FLONG BMF_DONTCACHE = 0x0004;
constexpr FLONG BMF_USERMEM = 0x0008;

// Drawing calls a driver takes over from the engine (EngAssociateSurface).
constexpr FLONG HOOK_BITBLT = 0x0001;
constexpr FLONG HOOK_STRETCHBLT = 0x0002;
constexpr FLONG HOOK_PLGBLT = 0x0004;
constexpr FLONG HOOK_TEXTOUT = 0x0008;
constexpr FLONG HOOK_PAINT = 0x0010;
constexpr FLONG HOOK_STROKEPATH = 0x0020;
constexpr FLONG HOOK_FILLPATH = 0x0040;
constexpr FLONG HOOK_STROKEANDFILLPATH = 0x0080;
constexpr FLONG HOOK_LINETO = 0x0100;
constexpr FLONG HOOK_COPYBITS = 0x0400;
constexpr FLONG HOOK_STRETCHBLTROP = 0x2000;
constexpr FLONG HOOK_TRANSPARENTBLT = 0x8000;
constexpr FLONG HOOK_ALPHABLEND = 0x10000;
constexpr FLONG HOOK_GRADIENTFILL = 0x20000;

// ---- device capabilities ----
struct CIECHROMA {
  LONG x;
  LONG y;
  LONG Y;
};
struct COLORINFO {
  CIECHROMA Red;
  CIECHROMA Green;
  CIECHROMA Blue;
  CIECHROMA Cyan;
  CIECHROMA Magenta;
  CIECHROMA Yellow;
  CIECHROMA AlignmentWhite;
  LONG RedGamma;
  LONG GreenGamma;
  LONG BlueGamma;
  LONG MagentaInCyanDye;
  LONG YellowInCyanDye;
  LONG CyanInMagentaDye;
  LONG YellowInMagentaDye;
  LONG CyanInYellowDye;
  LONG MagentaInYellowDye;
};

struct GDIINFO {
  ULONG ulVersion;
  ULONG ulTechnology;
  ULONG ulHorzSize;  // millimetres
  ULONG ulVertSize;
  ULONG ulHorzRes;  // pixels
  ULONG ulVertRes;
  ULONG cBitsPixel;
  ULONG cPlanes;
  ULONG ulNumColors;
  ULONG flRaster;
  ULONG ulLogPixelsX;
  ULONG ulLogPixelsY;
  ULONG flTextCaps;
  ULONG ulDACRed;
  ULONG ulDACGreen;
  ULONG ulDACBlue;
  ULONG ulAspectX;
  ULONG ulAspectY;
  ULONG ulAspectXY;
  LONG xStyleStep;
  LONG yStyleStep;
  LONG denStyleStep;
  POINTL ptlPhysOffset;
  SIZEL szlPhysSize;
  ULONG ulNumPalReg;
  COLORINFO ciDevice;
  ULONG ulDevicePelsDPI;
  ULONG ulPrimaryOrder;
  ULONG ulHTPatternSize;
  ULONG ulHTOutputFormat;
  ULONG flHTFlags;
  ULONG ulVRefresh;
  ULONG ulBltAlignment;
  ULONG ulPanningHorzRes;
  ULONG ulPanningVertRes;
  ULONG xPanningAlignment;
  ULONG yPanningAlignment;
  ULONG cxHTPat;
  ULONG cyHTPat;
  LPBYTE pHTPatA;
  LPBYTE pHTPatB;
  LPBYTE pHTPatC;
  ULONG flShadeBlend;
  ULONG ulPhysicalPixelCharacteristics;
  ULONG ulPhysicalPixelGamma;
};

constexpr ULONG DT_PLOTTER = 0;
constexpr ULONG DT_RASDISPLAY = 1;
constexpr ULONG DT_RASPRINTER = 2;
constexpr ULONG HT_PATSIZE_2x2 = 0;
constexpr ULONG HT_PATSIZE_2x2_M = 1;
constexpr ULONG HT_PATSIZE_4x4 = 2;
constexpr ULONG HT_PATSIZE_4x4_M = 3;
constexpr ULONG HT_FORMAT_1BPP = 0;
constexpr ULONG HT_FORMAT_4BPP = 2;
constexpr ULONG HT_FORMAT_4BPP_IRGB = 3;
constexpr ULONG HT_FORMAT_8BPP = 4;
constexpr ULONG HT_FORMAT_16BPP = 5;
constexpr ULONG HT_FORMAT_24BPP = 6;
constexpr ULONG HT_FORMAT_32BPP = 7;
constexpr ULONG HT_FLAG_SQUARE_DEVICE_PEL = 0x01;
constexpr ULONG HT_FLAG_HAS_BLACK_DYE = 0x02;
constexpr ULONG HT_FLAG_ADDITIVE_PRIMS = 0x04;

// Font description as the engine takes it in DEVINFO.
struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[32];
};

struct DEVINFO {
  FLONG flGraphicsCaps;
  LOGFONTW lfDefaultFont;
  LOGFONTW lfAnsiVarFont;
  LOGFONTW lfAnsiFixFont;
  ULONG cFonts;
  ULONG iDitherFormat;
  USHORT cxDither;
  USHORT cyDither;
  HPALETTE hpalDefault;
  FLONG flGraphicsCaps2;
};

constexpr FLONG GCAPS_BEZIERS = 0x0001;
constexpr FLONG GCAPS_GEOMETRICWIDE = 0x0002;
constexpr FLONG GCAPS_ALTERNATEFILL = 0x0004;
constexpr FLONG GCAPS_WINDINGFILL = 0x0008;
constexpr FLONG GCAPS_HALFTONE = 0x0010;
constexpr FLONG GCAPS_COLOR_DITHER = 0x0020;
constexpr FLONG GCAPS_HORIZSTRIKE = 0x0040;
constexpr FLONG GCAPS_VERTSTRIKE = 0x0080;
constexpr FLONG GCAPS_OPAQUERECT = 0x0100;
constexpr FLONG GCAPS_VECTORFONT = 0x0200;
constexpr FLONG GCAPS_MONO_DITHER = 0x0400;

// Palette modes (EngCreatePalette): PAL_* in plat/engine_clip_xlate.h.

struct ENG_TIME_FIELDS {
  USHORT usYear;
  USHORT usMonth;
  USHORT usDay;
  USHORT usHour;
  USHORT usMinute;
  USHORT usSecond;
  USHORT usMilliseconds;
  USHORT usWeekday;  // 0 = Sunday
};

// DrvEndDoc flags.
constexpr FLONG ED_ABORTDOC = 0x0001;

extern "C" {
// Makes an engine bitmap of the given size and format. lWidth is the row
// stride in bytes; pvBits, when given, stays the caller's and must outlive the
// bitmap; without it the engine allocates rows of lWidth bytes (zero-filled
// unless BMF_NOZEROINIT). Without BMF_TOPDOWN the first row in memory is the
// bottom one. NULL with ERROR_INVALID_PARAMETER for a bad size or format.
PLATAPI HBITMAP EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits);
// A surface the driver manages: no bits, drawn on only through the driver's
// hooked entries; iFormatCompat is the format of the bitmaps it is close to.
// NULL with ERROR_INVALID_PARAMETER for a bad size or format.
PLATAPI HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat);
// Ties the surface to a device: its dhpdev becomes the device's driver record
// and the hooked drawing calls go to the driver.
PLATAPI BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks);
PLATAPI SURFOBJ* EngLockSurface(HSURF hsurf);
PLATAPI void EngUnlockSurface(SURFOBJ* pso);
// Frees the surface and the bits the engine allocated for it.
PLATAPI BOOL EngDeleteSurface(HSURF hsurf);
// Fills the rectangle (exclusive right and bottom) with the colour index or
// RGB value of the surface's format.
PLATAPI BOOL EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor);
PLATAPI HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG flRed, FLONG flGreen,
                                  FLONG flBlue);
PLATAPI BOOL EngDeletePalette(HPALETTE hpal);
// TRUE when the job behind the surface's device was cancelled in the spooler.
PLATAPI BOOL EngCheckAbort(SURFOBJ* pso);
// The machine clock's local time.
PLATAPI void EngQueryLocalTime(ENG_TIME_FIELDS* ptf);
}

// ---- the engine's own side (hosts and tests) ----
namespace plat::engine {

// A device as the engine keeps it: made by the host before DrvEnablePDEV,
// given the driver's record afterwards, deleted after DrvDisablePDEV.
// printer is the spooler handle whose job's cancel flag EngCheckAbort reads.
PLATAPI HDEV CreateDevice(HANDLE printer);
PLATAPI void SetDevicePdev(HDEV hdev, DHPDEV dhpdev);
PLATAPI DHPDEV DevicePdev(HDEV hdev);
PLATAPI FLONG DeviceHooks(HSURF hsurf);
PLATAPI void DeleteDevice(HDEV hdev);

// The engine's own solid fill on 1- and 24-bit surfaces (and 8/32-bit),
// clipped to the surface; rect is exclusive. color is the format's value:
// a 0/1 bit on 1-bit surfaces, an index on 4/8-bit ones, and on 24/32-bit an
// RGB value with red in the low byte (0x00BBGGRR), stored blue, green, red
// (red, green, blue on a PAL_RGB device's surface).
// Bumps iUniq once. FALSE for an unsupported format or no bits.
PLATAPI BOOL FillRect(SURFOBJ* pso, const RECTL& rect, ULONG color);

// The device's default palette (DEVINFO's hpalDefault). Its mode sets the
// byte order of the device's 24- and 32-bit surfaces: red, green, blue under
// PAL_RGB, else blue, green, red. Colours in calls are 0x00BBGGRR either way.
PLATAPI void SetDevicePalette(HDEV hdev, HPALETTE hpal);
// Whether a 24- or 32-bit surface holds red, green, blue (its device's
// palette is PAL_RGB).
PLATAPI bool RedFirst(const SURFOBJ* pso);

// EngCheckAbort calls made in this process so far.
PLATAPI std::uint64_t CheckAbortCalls();

// Number of live surfaces and palettes, for leak checks in tests.
PLATAPI std::size_t LiveSurfaceCount();
PLATAPI std::size_t LivePaletteCount();

}  // namespace plat::engine

// Clip and colour-translation objects.
#include "plat/engine_clip_xlate.h"
