// Clip and colour-translation objects of the engine: the layouts drawing
// entries read, their enumeration and lookup services, and the host-side
// makers that play the engine's part for print hosts and tests.
#pragma once
#include "plat/base.h"

// Clip complexity (iDComplexity) and the shape of the whole region
// (iFComplexity).
constexpr BYTE DC_TRIVIAL = 0;  // nothing clipped: draw the whole target
constexpr BYTE DC_RECT = 1;  // one rectangle, rclBounds
constexpr BYTE DC_COMPLEX = 3;  // rectangles to enumerate
constexpr BYTE FC_RECT = 1;
constexpr BYTE FC_RECT4 = 2;
constexpr BYTE FC_COMPLEX = 3;
constexpr BYTE TC_RECTANGLES = 4;
constexpr BYTE OC_BANK_CLIP = 1;

struct CLIPOBJ {
  ULONG iUniq;
  RECTL rclBounds;  // exclusive right and bottom
  BYTE iDComplexity;
  BYTE iFComplexity;
  BYTE iMode;
  BYTE fjOptions;
};

// Enumeration kinds and directions of CLIPOBJ_cEnumStart.
constexpr ULONG CT_RECTANGLES = 0;
constexpr ULONG CD_RIGHTDOWN = 0;
constexpr ULONG CD_LEFTDOWN = 1;
constexpr ULONG CD_RIGHTUP = 2;
constexpr ULONG CD_LEFTUP = 3;
constexpr ULONG CD_ANY = 4;
constexpr ULONG CLIPOBJ_ENUM_LIMIT = 0xFFFFFFFF;

// A batch of CLIPOBJ_bEnum: c rectangles follow the count in the buffer.
struct ENUMRECTS {
  ULONG c;
  RECTL arcl[1];
};

// Palette modes (EngCreatePalette, and a translation's source and target).
constexpr ULONG PAL_INDEXED = 0x1;
constexpr ULONG PAL_BITFIELDS = 0x2;
constexpr ULONG PAL_RGB = 0x4;
constexpr ULONG PAL_BGR = 0x8;

// Colour translation (flXlate) and palette selectors.
constexpr FLONG XO_TRIVIAL = 0x01;  // colours pass unchanged
constexpr FLONG XO_TABLE = 0x02;  // pulXlate maps source indices
constexpr FLONG XO_TO_MONO = 0x04;
constexpr ULONG XO_SRCPALETTE = 1;
constexpr ULONG XO_DESTPALETTE = 2;

struct XLATEOBJ {
  ULONG iUniq;
  FLONG flXlate;
  USHORT iSrcType;  // PAL_* of the source
  USHORT iDstType;
  ULONG cEntries;  // entries of pulXlate
  ULONG* pulXlate;
};

extern "C" {
// Starts an enumeration of the clip's rectangles (bAll, the direction and
// the kind are taken as given: rectangles come in the order they were made).
// The number of rectangles, or CLIPOBJ_ENUM_LIMIT when cLimit is not 0 and
// there are more than cLimit.
PLATAPI ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL bAll, ULONG iType, ULONG iDirection, ULONG cLimit);
// Fills the cj-byte buffer as an ENUMRECTS with as many whole rectangles
// (exclusive) as fit; FALSE with the last batch (and after it, with c = 0).
// A DC_TRIVIAL or DC_RECT clip gives its bounds. A buffer too small for the
// count gives FALSE with ERROR_INVALID_PARAMETER.
PLATAPI BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul);
// With XO_SRCPALETTE: copies up to cPal source palette entries (0x00BBGGRR)
// into pPal and returns how many; with pPal null, the number of entries.
// 0 for a translation without a source palette or another selector.
PLATAPI ULONG XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal);
// The destination colour of a source colour: through the table for
// XO_TABLE (0 for an index past its end), unchanged otherwise.
PLATAPI ULONG XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor);
}

namespace plat::engine {

// Clips the host owns, each deleted by DeleteClip. A trivial clip with the
// given bounds; a clip of count exclusive rectangles (one: DC_RECT, more:
// DC_COMPLEX), bounds their union. NULL with ERROR_INVALID_PARAMETER for no
// rectangles.
PLATAPI CLIPOBJ* CreateTrivialClip(const RECTL& bounds);
PLATAPI CLIPOBJ* CreateClip(const RECTL* rects, ULONG count);
PLATAPI void DeleteClip(CLIPOBJ* pco);

// Translations the host owns, each deleted by DeleteXlate. From a source
// palette of count entries to the device's RGB colours: XO_TABLE, the table
// being the palette itself; without a palette (count 0): XO_TRIVIAL.
PLATAPI XLATEOBJ* CreateXlate(const ULONG* palette, ULONG count);
PLATAPI void DeleteXlate(XLATEOBJ* pxlo);

}  // namespace plat::engine
