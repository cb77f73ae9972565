// A one-ink page in memory with the picture cache's settings (diffusion,
// 600 dpi, caching on, plain copy), for the image cache's tests and benches.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "render/render_pdev.h"

namespace testsupport {

struct PicturePage {
  PicturePage(LONG width, LONG height, std::uint16_t amiLine) : pdev(std::make_unique<RenderPdev>()) {
    pdev->headSignature = pdev->tailSignature = kPdevSignature;
    pdev->planeWidth = width;
    pdev->planeHeight = height;
    pdev->planeStride = static_cast<LONG>(AlignTo4(RowBytes1bpp(width)));
    plane.assign(static_cast<std::size_t>(pdev->planeStride) * height, 0xFF);
    pdev->drum1Plane = pdev->drum2Plane = plane.data();
    pdev->resolutionX = pdev->resolutionY = 600;
    pdev->drawing.fixedResolutionX = pdev->drawing.fixedResolutionY = PdevFixed{600, 0};
    pdev->amiLine = amiLine;
    pdev->amiAngle = 45;
    pdev->photoMode = 1;
    pdev->contrast = pdev->brightness = 4;
    pdev->imageCaching = 1;
    pdev->drawing.rop4 = pdev->drawing.previousRop4 = 0xCCCC;
    pdev->shared.pictureFlag = 1;
  }
  ~PicturePage() {
    FreeImageBuffers(pdev.get());
    if (pdev->image.diffusionCarryRow) GlobalFree(pdev->image.diffusionCarryRow);
    ClearClipRectList(pdev.get());
  }
  PicturePage(const PicturePage&) = delete;
  PicturePage& operator=(const PicturePage&) = delete;

  std::unique_ptr<RenderPdev> pdev;
  std::vector<BYTE> plane;
};

}  // namespace testsupport
