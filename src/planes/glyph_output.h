// Text as glyph bitmaps on the ink planes: glyphs fetched from the engine,
// thickened or thinned by one dot, clipped to a rectangle and combined with
// the text colour's pattern; white under each glyph on the other plane of a
// two-ink sheet.
#pragma once

#include "planes/pdev_record.h"
#include "plat/engine_text.h"

// Draws the string's glyphs within clip (inclusive; null: the whole plane).
// FALSE when the engine fails to enumerate the string or to give a glyph.
BOOL DrawGlyphs(RenderPdev* pdev, STROBJ* pstro, FONTOBJ* pfo, const PdevRect* clip, BYTE* target, LONG stride,
                const BYTE* pattern, LONG patternWidth, LONG patternHeight);
// One glyph whose GLYPHDEF is known. TRUE.
BOOL DrawGlyphBits(RenderPdev* pdev, BYTE* target, LONG stride, const GLYPHPOS* glyph, const PdevRect* clip,
                   const BYTE* pattern, LONG patternWidth, LONG patternHeight);
// The rows to draw: the glyph's own when the thicken copy flag is clear (or
// the scratch buffer cannot grow), else a copy in the scratch buffer one
// column wider. outRect and outRowBytes describe what is returned.
const BYTE* FetchGlyphBits(RenderPdev* pdev, const BYTE* rows, const PdevRect& glyphRect, LONG rowBytes,
                           PdevRect* outRect, LONG* outRowBytes);
// The device's glyph scratch buffer, grown (doubling) to outRect's rows of
// outRowBytes and cleared, with the source rows copied in and masked to the
// source's right edge. NULL when it cannot grow (the old buffer is kept).
BYTE* GlyphScratchBuffer(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcRowBytes,
                         const PdevRect& outRect, LONG outRowBytes);
// Frees the scratch buffer (surface disable).
void FreeGlyphScratch(RenderPdev* pdev);
