// The shared drawing state of the device record: the image settings' bounds,
// the clip rectangle list's release and the pending-image flush.
#include <gtest/gtest.h>

#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "render/pdev_fixture.h"
#include "render/render_surface.h"

namespace {

using pdevtest::BaseDevmode;

class DrawingState : public pdevtest::PrinterFixture {};

// Settings the image paths index tables by are bounded when the device is
// made; values in range pass unchanged.
TEST_F(DrawingState, ImageSettingsAreBoundedAtEnable) {
  struct Case {
    int contrast, brightness, gyakkou, modeA, modeB;
    int wantContrast, wantAkarusa, wantBacklight, wantA, wantB;
  } cases[] = {
      {1, 0, 0, 2, 3, 1, 0, 0, 2, 3},          {7, 7, 5, 17, 17, 7, 7, 5, 17, 17},
      {0, 8, 6, 18, 9, 4, 4, 5, 0, 9},         {8, 255, 255, 9, 200, 4, 4, 5, 9, 0},
      {255, 4, 1, 255, 255, 4, 4, 1, 0, 0},
  };
  for (const Case& c : cases) {
    PrivateDevmode dm = BaseDevmode();
    DocSettings& s = dm.Settings;
    s.ColorMode = 2;  // two inks keep separation modes above 1
    s.Seihan = 2;
    s.SeparationKind = 1;  // the user's own modes: not adapted to the drums' inks
    s.Contrast = static_cast<std::uint8_t>(c.contrast);
    s.Akarusa = static_cast<std::uint8_t>(c.brightness);
    s.GyakkouOn = 1;
    s.Gyakkou = static_cast<std::uint8_t>(c.gyakkou);
    s.SeparationModeA = static_cast<std::uint8_t>(c.modeA);
    s.SeparationModeB = static_cast<std::uint8_t>(c.modeB);
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(pdev->contrast, c.wantContrast) << c.contrast;
    EXPECT_EQ(pdev->brightness, c.wantAkarusa) << c.brightness;
    EXPECT_EQ(pdev->backlight, c.wantBacklight) << c.gyakkou;
    EXPECT_EQ(pdev->separationModes[0], c.wantA) << c.modeA;
    EXPECT_EQ(pdev->separationModes[1], c.wantA) << c.modeA;
    EXPECT_EQ(pdev->separationModes[2], c.wantB) << c.modeB;
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  }
}

// The list's entries are freed by ClearClipRectList and with the device.
TEST_F(DrawingState, ClipRectListIsReleased) {
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  const std::size_t before = plat::HeapLiveBytes();
  auto fill = [&] {
    ClipRectList& list = pdev->shared.clipRects;
    list.entries = static_cast<ClipRectEntry*>(GlobalAlloc(GPTR, 8 * sizeof(ClipRectEntry)));
    ASSERT_NE(list.entries, nullptr);
    list.capacity = 8;
    list.count = 3;
    list.blitFirst = 2;
    list.pictureFirst = 1;
    list.pictureLast = 2;
  };
  fill();
  EXPECT_FALSE(ClipRectListIsEmpty(pdev));
  ClearClipRectList(pdev);
  EXPECT_TRUE(ClipRectListIsEmpty(pdev));
  EXPECT_EQ(pdev->shared.clipRects.entries, nullptr);
  EXPECT_EQ(pdev->shared.clipRects.capacity, 0u);
  EXPECT_EQ(pdev->shared.clipRects.blitFirst + pdev->shared.clipRects.pictureFirst +
                pdev->shared.clipRects.pictureLast,
            0u);
  EXPECT_EQ(plat::HeapLiveBytes(), before);
  fill();
  const std::size_t withList = plat::HeapLiveBytes();
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  EXPECT_LE(plat::HeapLiveBytes() + 8 * sizeof(ClipRectEntry), withList);
}

// Nothing pending: nothing to do. Pending: flushed through the image cache,
// which draws nothing yet, and the flag is cleared.
TEST_F(DrawingState, FlushImageIfPendingClearsTheFlag) {
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  ASSERT_NE(DrvEnableSurface(reinterpret_cast<DHPDEV>(pdev)), nullptr);
  const std::vector<BYTE> planeBefore(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * pdev->planeHeight);
  EXPECT_TRUE(FlushImageIfPending(pdev));
  pdev->flags |= kPdevImagePending;
  EXPECT_TRUE(FlushImageIfPending(pdev));
  EXPECT_EQ(pdev->flags & kPdevImagePending, 0u);
  EXPECT_EQ(std::vector<BYTE>(pdev->drum2Plane, pdev->drum2Plane + pdev->planeStride * pdev->planeHeight),
            planeBefore);
  DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

}  // namespace
