// Strokes the engine draws for the library: a pen whose colour belongs on
// the drum-1 plane is drawn with that plane's rows standing in the surface.
#pragma once

#include "planes/pdev_record.h"
#include "plat/engine_draw.h"

// Whether a solid pen (classified with the text separation mode) belongs on
// the drum-1 plane of a two-ink sheet. FALSE with one plane and for a
// pattern brush that has a realization.
BOOL ColourUsesSecondPlane(RenderPdev* pdev, BRUSHOBJ* brush);

// EngStrokePath of the call; for a drum-1 pen the drum-1 bytes under the
// stroke (its bounds and pen) are exchanged into the surface first and back
// after, the exchange recorded in drawing.strokeSwapped and strokeRect.
// FALSE without drawing when the copy cannot be allocated; else the engine's
// result.
BOOL StrokeOnInkPlane(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo, POINTL* pptlBrushOrg,
                      LINEATTRS* plineattrs, MIX mix);

// The dots a stroke can reach: the path's bounds widened by the pen (its
// width times the miter limit for geometric pens), cut to the plane.
PdevRect StrokeReach(const RenderPdev* pdev, PATHOBJ* ppo, const LINEATTRS* plineattrs);
// Keeps the drum-2 bytes of r's rows and puts the drum-1 bytes there, the
// exchange recorded in drawing.strokeSwapped and strokeRect. FALSE, changing
// nothing, when the copy cannot be allocated.
BOOL ExchangeStrokeRows(RenderPdev* pdev, const PdevRect& r);

// EngStrokePath with the drum-1 bytes under the stroke exchanged into the
// surface and back; FALSE without drawing when the copy cannot be allocated.
BOOL StrokeOnDrumOneRows(SURFOBJ* pso, PATHOBJ* ppo, CLIPOBJ* pco, XFORMOBJ* pxo, BRUSHOBJ* pbo,
                         POINTL* pptlBrushOrg, LINEATTRS* plineattrs, MIX mix);

// Puts back what an engine stroke left exchanged: the surface's bytes go to
// the drum-1 plane and the kept drum-2 bytes return. Nothing when none are.
void RestoreStrokeRows(RenderPdev* pdev);
