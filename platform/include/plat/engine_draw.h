// Drawing objects of the graphics engine (brushes, paths, line attributes,
// transforms), the mixes, and the engine's own drawing into 1-bit surfaces:
// what a printer graphics library reads in its path and paint entries and
// calls back when it leaves a call to the engine.
#pragma once

#include <vector>

#include "plat/engine.h"

// ---- mixes: the foreground ROP2 in the low byte, background in the next ----
constexpr ULONG R2_BLACK = 1;
constexpr ULONG R2_NOTMERGEPEN = 2;
constexpr ULONG R2_MASKNOTPEN = 3;
constexpr ULONG R2_NOTCOPYPEN = 4;
constexpr ULONG R2_MASKPENNOT = 5;
constexpr ULONG R2_NOT = 6;
constexpr ULONG R2_XORPEN = 7;
constexpr ULONG R2_NOTMASKPEN = 8;
constexpr ULONG R2_MASKPEN = 9;
constexpr ULONG R2_NOTXORPEN = 10;
constexpr ULONG R2_NOP = 11;
constexpr ULONG R2_MERGENOTPEN = 12;
constexpr ULONG R2_COPYPEN = 13;
constexpr ULONG R2_MERGEPENNOT = 14;
constexpr ULONG R2_MERGEPEN = 15;
constexpr ULONG R2_WHITE = 16;

// ---- brushes ----
struct BRUSHOBJ {
  ULONG iSolidColor;  // 0x00BBGGRR on the PAL_RGB device palette; 0xFFFFFFFF: hatch or pattern
  PVOID pvRbrush;     // the driver's realization, once made
  FLONG flColorType;
};
constexpr ULONG kNoSolidColor = 0xFFFFFFFF;

constexpr ULONG HS_HORIZONTAL = 0;
constexpr ULONG HS_VERTICAL = 1;
constexpr ULONG HS_FDIAGONAL = 2;
constexpr ULONG HS_BDIAGONAL = 3;
constexpr ULONG HS_CROSS = 4;
constexpr ULONG HS_DIAGCROSS = 5;
constexpr ULONG HS_DDI_MAX = 6;  // iHatch of a pattern brush

// ---- fixed point and paths ----
using FIX = LONG;  // 28.4
struct POINTFIX {
  FIX x;
  FIX y;
};
struct RECTFX {
  FIX xLeft;
  FIX yTop;
  FIX xRight;
  FIX yBottom;
};

struct PATHOBJ {
  FLONG fl;
  ULONG cCurves;
};
constexpr FLONG PO_BEZIERS = 0x0001;
constexpr FLONG PO_ELLIPSE = 0x0002;
constexpr FLONG PO_ALL_INTEGERS = 0x0004;

struct PATHDATA {
  FLONG flags;
  ULONG count;
  POINTFIX* pptfx;
};
constexpr FLONG PD_BEGINSUBPATH = 0x0001;
constexpr FLONG PD_ENDSUBPATH = 0x0002;
constexpr FLONG PD_RESETSTYLE = 0x0004;
constexpr FLONG PD_CLOSEFIGURE = 0x0008;
constexpr FLONG PD_BEZIERS = 0x0010;

struct RUN {
  LONG iStart;
  LONG iStop;
};
// A line from A to B and the runs of its pixels that lie inside the clip:
// pixel indices from A along the major axis.
struct CLIPLINE {
  POINTFIX ptfxA;
  POINTFIX ptfxB;
  LONG lStyleState;
  ULONG c;
  RUN arun[1];
};

// ---- line attributes ----
using FLOATL = float;
union FLOAT_LONG {
  FLOATL e;
  LONG l;
};
struct LINEATTRS {
  FLONG fl;
  ULONG iJoin;
  ULONG iEndCap;
  FLOAT_LONG elWidth;  // geometric: e in device units; cosmetic: l, 1
  FLOATL eMiterLimit;
  ULONG cstyle;
  FLOAT_LONG* pstyle;  // geometric: e in device units; cosmetic: l in style units
  FLOAT_LONG elStyleState;
};
constexpr FLONG LA_GEOMETRIC = 0x0001;
constexpr FLONG LA_ALTERNATE = 0x0002;
constexpr FLONG LA_STARTGAP = 0x0004;
constexpr FLONG LA_STYLED = 0x0008;
constexpr ULONG JOIN_ROUND = 0;
constexpr ULONG JOIN_BEVEL = 1;
constexpr ULONG JOIN_MITER = 2;
constexpr ULONG ENDCAP_ROUND = 0;
constexpr ULONG ENDCAP_SQUARE = 1;
constexpr ULONG ENDCAP_BUTT = 2;

// World to device transform; the engine hands drivers the identity.
struct XFORMOBJ {
  ULONG ulReserved;
};

// Fill modes of EngFillPath and DrvFillPath.
constexpr FLONG FP_ALTERNATEMODE = 0x0001;
constexpr FLONG FP_WINDINGMODE = 0x0002;

extern "C" {
// Memory for the driver's realization of a brush, owned by the brush and
// freed with it; NULL when cj is 0 or too large, or the brush is not the
// engine's.
PLATAPI PVOID BRUSHOBJ_pvAllocRbrush(BRUSHOBJ* pbo, ULONG cj);
// The brush's realization; realizes it once through the driver's
// DrvRealizeBrush when there is none. NULL when that fails or the brush has
// a solid colour.
PLATAPI PVOID BRUSHOBJ_pvGetRbrush(BRUSHOBJ* pbo);
// The brush's RGB colour, 0x00BBGGRR; 0xFFFFFFFF for hatch and pattern.
PLATAPI ULONG BRUSHOBJ_ulGetBrushColor(BRUSHOBJ* pbo);

// Path enumeration: subpaths in order, as many points a call as the engine
// keeps in one record. FALSE with the last record.
PLATAPI void PATHOBJ_vEnumStart(PATHOBJ* ppo);
PLATAPI BOOL PATHOBJ_bEnum(PATHOBJ* ppo, PATHDATA* ppd);
// Bounds of the path's control points, 28.4.
PLATAPI void PATHOBJ_vGetBounds(PATHOBJ* ppo, RECTFX* prectfx);
// Clip lines of a cosmetic path: each line with the runs of its pixels
// inside the clip (a whole surface without one). FALSE with the last batch.
PLATAPI void PATHOBJ_vEnumStartClipLines(PATHOBJ* ppo, CLIPOBJ* pco, SURFOBJ* pso, LINEATTRS* pla);
PLATAPI BOOL PATHOBJ_bEnumClipLines(PATHOBJ* ppo, ULONG cb, CLIPLINE* pcl);

// The engine's own drawing into 1-, 24- and 32-bit surfaces: the same pixels
// on each; one-bit surfaces take the brush dithered, deeper ones its colours
// with the mix applied bit by bit to each of blue, green and red. FALSE for a
// surface it cannot draw on or bad arguments.
PLATAPI BOOL EngStrokePath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                           POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);
PLATAPI BOOL EngFillPath(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix,
                         FLONG flOptions);
PLATAPI BOOL EngPaint(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, POINTL* pptlBrushOrg, MIX mix);
// A cosmetic line from (x1, y1) to (x2, y2), its last pixel left out.
PLATAPI BOOL EngLineTo(SURFOBJ* pso, CLIPOBJ* pco, BRUSHOBJ* pbo, LONG x1, LONG y1, LONG x2, LONG y2,
                       RECTL* prclBounds, MIX mix);
}

namespace plat::engine {

// One subpath of a host-made path: points in 28.4, Bézier when every three
// points after the first make a curve.
struct SubPath {
  std::vector<POINTFIX> points;
  bool closed = false;
  bool beziers = false;
};

// Host-side makers. The objects stay the engine's; Delete* frees them with
// their realizations.
PLATAPI PATHOBJ* CreatePath(const std::vector<SubPath>& subpaths);
PLATAPI void DeletePath(PATHOBJ* ppo);
// A solid brush of an RGB colour.
PLATAPI BRUSHOBJ* CreateSolidBrush(ULONG rgb);
// A hatch brush of the device (its hatch surface, colour on background; the
// engine's own 8 x 8 hatch when the device gave no hatch surfaces) or
// a pattern brush from a bitmap surface with its palette (iHatch 6); it is
// realized on demand through the driver of the surface it is used on.
PLATAPI BRUSHOBJ* CreateHatchBrush(ULONG hatch, ULONG rgb, ULONG background);
PLATAPI BRUSHOBJ* CreatePatternBrush(HSURF pattern, const std::vector<ULONG>& palette);
PLATAPI void DeleteBrush(BRUSHOBJ* pbo);
// The surface a brush is drawn on next: its device's driver realizes it.
PLATAPI void UseBrushOn(BRUSHOBJ* pbo, SURFOBJ* pso);

// The device's driver table (the entries the engine calls for it) and its
// hatch surfaces as DrvEnablePDEV returned them.
PLATAPI void SetDeviceDriver(HDEV hdev, const DRVFN* table, ULONG count);
PLATAPI void SetDeviceHatches(HDEV hdev, const HSURF* hatches, ULONG count);
// Cosmetic style steps of the device (GDIINFO): a style unit is
// denStyleStep / xStyleStep dots on x-major lines, / yStyleStep on y-major.
PLATAPI void SetDeviceStyleSteps(HDEV hdev, LONG x, LONG y, LONG den);
// The driver entry of a DDI index for a device, or nullptr.
PLATAPI PFN DeviceEntry(HDEV hdev, ULONG index);

}  // namespace plat::engine
