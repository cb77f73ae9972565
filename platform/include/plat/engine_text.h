// Strings and fonts of the graphics engine as a printer graphics library
// sees them in DrvTextOut: glyph positions, one-bit glyph bitmaps and their
// enumeration, and the host-side makers of fonts and strings. Glyph bitmaps
// come from a font file rendered one bit deep at a whole-pixel em.
#pragma once

#include <string>
#include <vector>

#include "plat/engine.h"

using HGLYPH = ULONG;
using FIX = LONG;  // 28.4

// A glyph's one-bit image: the top-left pixel's offset from the glyph's
// position (ptlOrigin), its size, rows of (cx + 7) / 8 bytes, bit 7 leftmost,
// 1 = glyph pixel.
struct GLYPHBITS {
  POINTL ptlOrigin;
  SIZEL sizlBitmap;
  BYTE aj[1];
};

union GLYPHDEF {
  GLYPHBITS* pgb;
  PATHOBJ* ppo;
};

struct GLYPHPOS {
  HGLYPH hg;
  GLYPHDEF* pgdf;  // null until the driver asks the font for it
  POINTL ptl;  // the glyph's position on the surface
};

struct POINTQF {
  LONGLONG x;
  LONGLONG y;
};

struct GLYPHDATA {
  GLYPHDEF gdf;
  HGLYPH hg;
  FIX fxD;  // advance
  FIX fxA;
  FIX fxAB;
  FIX fxInkTop;
  FIX fxInkBottom;
  RECTL rclInk;
  POINTQF ptqD;
};

struct STROBJ {
  ULONG cGlyphs;
  FLONG flAccel;
  ULONG ulCharInc;
  RECTL rclBkGround;
  GLYPHPOS* pgp;  // all glyphs at once, or null: enumerate them
  WCHAR* pwszOrg;
};

struct FONTOBJ {
  ULONG iUniq;
  ULONG iFace;
  ULONG cxMax;
  FLONG flFontType;
  ULONG_PTR iTTUniq;
  ULONG_PTR iFile;
  SIZEL sizLogResPpi;
  ULONG ulStyleSize;
  PVOID pvConsumer;
  PVOID pvProducer;
};

constexpr ULONG FO_HGLYPHS = 0;
constexpr ULONG FO_GLYPHBITS = 1;
constexpr ULONG FO_PATHOBJ = 2;
constexpr ULONG DDI_ERROR = 0xFFFFFFFF;

extern "C" {
// Starts (again) the enumeration of the string's glyph positions.
PLATAPI void STROBJ_vEnumStart(STROBJ* pstro);
// The next batch of glyph positions: TRUE when more follow, FALSE with the
// last batch, DDI_ERROR when the engine fails.
PLATAPI BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos);
// With FO_GLYPHBITS, the GLYPHDATA of one glyph (owned and cached by the
// font): 1, or 0 for another mode, a count other than 1 or a glyph the font
// cannot render.
PLATAPI ULONG FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph);
// The engine's own text on 1-, 24- and 32-bit surfaces: the opaque rectangle
// in the opaque brush, then the glyphs' set bits and the extra rectangles
// (underlines, strike-outs; up to an all-zero one) in the foreground brush
// through the foreground mix, all through the clip. FALSE when the string's
// enumeration fails.
PLATAPI BOOL EngTextOut(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclExtra,
                        RECTL* prclOpaque, BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, POINTL* pptlOrg, MIX mix);
}

namespace plat::engine {

// The font file the engine uses when a host names none.
PLATAPI std::string DefaultFontFile();

// A font of the file at a pixel em (whole dots); NULL when the file cannot
// be read as a font or the em is not 1..4096. DeleteFont frees its glyphs.
PLATAPI FONTOBJ* CreateFont(const std::string& file, ULONG pixelEm);
PLATAPI void DeleteFont(FONTOBJ* pfo);

// Glyph ids and pen positions of a text laid out from (x, baselineY):
// each glyph at the pen, the pen advanced by the glyph's advance rounded to
// whole dots. FALSE when the font has no face.
PLATAPI BOOL LayoutText(FONTOBJ* pfo, const std::u16string& text, LONG x, LONG baselineY,
                        std::vector<HGLYPH>& glyphs, std::vector<POINTL>& positions);

struct StringOptions {
  bool glyphArray = true;  // pgp set: all positions at once
  bool glyphDefs = true;  // each GLYPHPOS carries its GLYPHDEF
  ULONG batch = 16;  // positions per STROBJ_bEnum
  ULONG failAtBatch = 0;  // 1-based batch that returns DDI_ERROR; 0 none
};
// A string of glyphs of the font at the positions; NULL for unequal counts or
// a glyph the font cannot give when glyphDefs is set. The bounds
// (rclBkGround) cover the glyphs' bitmaps.
PLATAPI STROBJ* CreateString(FONTOBJ* pfo, const std::vector<HGLYPH>& glyphs, const std::vector<POINTL>& positions,
                             const StringOptions& options);
PLATAPI void DeleteString(STROBJ* pstro);

}  // namespace plat::engine
