// Drawing scripts for printjob --draw: each page of the job is drawn from the
// script through the engine's GDI front, so that lines, fills and paints go
// to the driver's entries. One command a line, coordinates in plane dots,
// rectangles exclusive; '#' starts a comment.
//   clip none | clip L T R B ...            the page's clip (one rect or more)
//   paint COLOUR MIX L T R B ...             a region
//   line COLOUR MIX X1 Y1 X2 Y2
//   stroke PEN COLOUR X Y X Y ...
//   bezier PEN COLOUR X0 Y0 X1 Y1 X2 Y2 X3 Y3
//   fill COLOUR alternate|winding X Y X Y ...
//   patblt COLOUR ROP3 L T R B               a pattern blit
//   blit FILE ROP3 X Y [COLOUR]              a picture at (X, Y), COLOUR its brush
//   stretch FILE L T R B [N]                 a picture stretched; R < L, B < T mirror;
//                                            N calls of equal-height strips (the
//                                            last takes the rest), 1 by default
//   text PX COLOUR X Y TEXT                  TEXT the rest of the line, baseline at
//                                            Y, em PX dots, '#' included
//   alpha FILE SCA X Y                       a picture blended over the page with
//                                            constant alpha SCA 0..255
//   transparent FILE RRGGBB X Y              a picture without its pixels of that colour
//   stretchrop FILE ROP3 L T R B [COLOUR]    a picture stretched with a ROP3
//   plgblt FILE X0 Y0 X1 Y1 X2 Y2            a picture onto the parallelogram of its
//                                            top-left, top-right and bottom-left corners
//   gradient h|v|t X Y RRGGBB ...            shaded rectangles across (h) or down (v),
//                                            two vertices each, or triangles (t), three
// COLOUR is RRGGBB or hatch:S:RRGGBB (S 0..5); MIX the ROP2 1..16; PEN is
// W[:solid|dash|dot|dashdot|A,B,..[:round|square|flat[:round|bevel|miter]]],
// W 0 a cosmetic one-dot pen; ROP3 is hex (B8 or 0xB8); FILE a binary PBM,
// PGM (8 bpp, grey palette) or PPM (24 bpp).
#pragma once

#include <istream>
#include <memory>
#include <string>
#include <vector>

#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "printjob/netpbm_read.h"

namespace printjob {

struct DrawColour {
  bool hatch = false;
  ULONG style = 0;
  ULONG rgb = 0;  // 0x00BBGGRR
};

struct DrawPen {
  LONG width = 0;  // 0 cosmetic
  std::vector<LONG> style;  // empty: solid; cosmetic in style units, geometric in dots
  ULONG cap = ENDCAP_ROUND;
  ULONG join = JOIN_ROUND;
};

struct DrawCommand {
  enum class Kind { kClip, kPaint, kLine, kStroke, kBezier, kFill, kPatBlt, kBlit, kStretch, kText, kAlpha, kTransparent,
                    kStretchRop, kPlgBlt, kGradient } kind = Kind::kClip;
  DrawColour colour;
  bool hasColour = true;  // blit, stretchrop: whether a brush was given
  ULONG rop3 = 0xCC;
  std::shared_ptr<const NetpbmPicture> picture;  // blit, stretch and the other picture commands
  BYTE alpha = 255;  // alpha: the constant source alpha
  ULONG key = 0;     // transparent: the colour left out, in the picture's format
  ULONG gradientMode = GRADIENT_FILL_RECT_H;
  std::vector<TRIVERTEX> vertices;  // gradient
  std::u16string text;
  LONG em = 0;  // text: pixel em
  LONG strips = 1;  // stretch: calls of equal-height strips
  ULONG mix = R2_COPYPEN;
  DrawPen pen;
  bool winding = false;
  std::vector<LONG> numbers;  // rectangles or points
};

// Parses a script. On a bad line: false and `error` names it
// ("line N: why").
bool ParseDrawScript(std::istream& in, std::vector<DrawCommand>& out, std::string& error);

// Draws the commands on a print-host page surface. False when a call fails.
// paintAsBlt: regions reach the driver as DrvBitBlt with the brush.
bool DrawScriptPage(SURFOBJ* surface, const std::vector<DrawCommand>& script, bool paintAsBlt = false);

}  // namespace printjob
