// Stand-in for the plug-in's density converter until it is built.
#include "imaging/image_entries.h"

int OemRgbToDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                    LONG outStride) {
  const PdevRect outRect{0, 0, srcRect.right - srcRect.left, srcRect.bottom - srcRect.top};
  return ConvertToDensity(pdev, src, srcRect, srcStride, out, outRect, outStride, nullptr, 0, BMF_24BPP);
}
