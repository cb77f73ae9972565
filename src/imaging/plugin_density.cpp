// The rendering plug-in's 24-bit density converter: the classic one with the
// plug-in's byte order, and the plate classification of coloured strokes.
#include <algorithm>

#include "imaging/density.h"
#include "imaging/image_entries.h"
#include "planes/colour_classes.h"

using namespace imaging;

int OemRgbToDensity(RenderPdev* pdev, const BYTE* src, const PdevRect& srcRect, LONG srcStride, BYTE* out,
                    LONG outStride) {
  if (!pdev || !src || !out || RectIsEmpty(srcRect)) return 1;
  const PdevRect outRect{0, 0, srcRect.right - srcRect.left, srcRect.bottom - srcRect.top};
  const Conversion c{src, srcRect, srcStride, outRect, outStride, false, nullptr, 0};
  const bool redFirst = pdev->plugin.rgbOrder != 0;
  if (pdev->shared.operation == kOperationDirect) {
    pdev->drawing.plateSelector = PlateDensityFrom24Bpp(c, ClassCodeOfMode(pdev->separationModes[1]), redFirst, out,
                                                        static_cast<std::uint8_t>(pdev->drawing.plateSelector));
    return 1;
  }
  BYTE tone[256];
  ToneClampTable(ToneInputsOf(pdev), tone);
  OneInkFrom24BppOrdered(c, tone, out, redFirst);
  return 1;
}
