// The bodies of the blit and text entries, reached from the driver table's
// DrvBitBlt, DrvStretchBlt, DrvCopyBits and DrvTextOut, and the pieces of
// them that the rendering plug-in's entries share.
#pragma once

#include <algorithm>

#include "planes/pdev_record.h"
#include "plat/engine_clip_xlate.h"
#include "plat/engine_text.h"

BOOL BitBltBody(SURFOBJ* psoTrg, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclTrg, POINTL* pptlSrc,
                BRUSHOBJ* pbo, ROP4 rop4);
BOOL CopyBitsBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, CLIPOBJ* pco, XLATEOBJ* pxlo, RECTL* prclDest, POINTL* pptlSrc);
BOOL TextOutBody(SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque, BRUSHOBJ* pboFore,
                 BRUSHOBJ* pboOpaque, MIX mix);
// DrvStretchBlt: mirrored and flipped destinations read a private mirrored
// copy of the source rectangle; the caller's bits are never written.
BOOL StretchBltBody(SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco, XLATEOBJ* pxlo,
                    COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc, POINTL* pptlMask,
                    ULONG iMode);

// ---- shared with the plug-in's entries ----

// The current ROP4 becomes the previous one.
inline void NextRop4(RenderPdev* pdev, ULONG rop4) {
  pdev->drawing.previousRop4 = pdev->drawing.rop4;
  pdev->drawing.rop4 = rop4;
}

// A missing clip becomes a trivial one over the target cut to the surface,
// deleted with this object.
struct DefaultClip {
  CLIPOBJ* made = nullptr;
  CLIPOBJ* Use(CLIPOBJ* given, const SURFOBJ* pso, const RECTL& target) {
    if (given) return given;
    const RECTL cut{std::max<LONG>(target.left, 0), std::max<LONG>(target.top, 0),
                    std::min(target.right, pso->sizlBitmap.cx), std::min(target.bottom, pso->sizlBitmap.cy)};
    made = plat::engine::CreateTrivialClip(cut);
    return made;
  }
  DefaultClip() = default;
  DefaultClip(const DefaultClip&) = delete;
  DefaultClip& operator=(const DefaultClip&) = delete;
  ~DefaultClip() {
    if (made) plat::engine::DeleteClip(made);
  }
};

// A copy's source becomes the current one (clip complexity and source id
// history).
void NoteCopySource(RenderPdev* pdev, const SURFOBJ* src);

// The opaque rectangle and the glyphs of a text call on the planes of the
// render surface pso, after the caller's flush. TRUE.
BOOL TextToPlanes(RenderPdev* pdev, SURFOBJ* pso, STROBJ* pstro, FONTOBJ* pfo, CLIPOBJ* pco, RECTL* prclOpaque,
                  BRUSHOBJ* pboFore, BRUSHOBJ* pboOpaque, MIX mix);

// What differs between the classic stretch and the plug-in's: the flush of
// pending work, and a hook after the clip is known that may take the call
// (dest exclusive and ordered); TRUE from it ends the call as drawn.
struct StretchRules {
  BOOL (*flush)(RenderPdev* pdev);
  BOOL (*queue)(RenderPdev* pdev, const RECTL& dest, SURFOBJ* src, CLIPOBJ* clip);
};
// The body of DrvStretchBlt on the render surface psoDest of a valid record.
BOOL StretchBltToPlanes(RenderPdev* pdev, SURFOBJ* psoDest, SURFOBJ* psoSrc, SURFOBJ* psoMask, CLIPOBJ* pco,
                        XLATEOBJ* pxlo, COLORADJUSTMENT* pca, POINTL* pptlHTOrg, RECTL* prclDest, RECTL* prclSrc,
                        POINTL* pptlMask, ULONG iMode, const StretchRules& rules);

// One-bit bands over their destination (inclusive), or band null.
struct StretchBands {
  BYTE* band = nullptr;
  BYTE* secondBand = nullptr;  // the other drum's, after band on a two-ink sheet
  LONG stride = 0;
  PdevRect dest{};
};
// Whitens dest through the clip and ANDs the bands into the planes (the
// second only on a two-ink sheet); frees them. The last placement's result.
BOOL PlaceStretchBands(RenderPdev* pdev, SURFOBJ* psoDest, const StretchBands& bands, CLIPOBJ* clip);
