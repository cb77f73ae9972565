// DrvEnableSurface / DrvDisableSurface: the plane layout, and the validity
// check of every entry that takes a device record.
#include <gtest/gtest.h>

#include "pdev_fixture.h"
#include "render/document_entries.h"
#include "render/render_surface.h"

using namespace pdevtest;

namespace {

std::int64_t Dots(std::int64_t v, std::int64_t dpi) { return (v * (dpi / 10) * 1584 + 40224) / 40225; }

using PlaneLayout = PrinterFixture;

TEST_F(PlaneLayout, OneAndTwoPlanes) {
  struct Case {
    const char* name;
    int colorMode, seihan, duplex, sepKind;
    bool two;
  };
  const Case cases[] = {
      {"OneInk", 1, 0, 0, 0, false},
      {"TwoInksBothMasters", 2, 2, 0, 0, true},
      {"TwoInksOneMaster", 2, 1, 0, 0, false},
      {"TwoInksDuplex", 2, 2, 1, 0, false},
      {"TwoInksAlternating", 2, 2, 0, 3, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = BaseDevmode();
    dm.Settings.ColorMode = static_cast<std::uint8_t>(c.colorMode);
    dm.Settings.Seihan = static_cast<std::uint8_t>(c.seihan);
    dm.Settings.Duplex = static_cast<std::uint8_t>(c.duplex);
    dm.Settings.SeparationKind = static_cast<std::uint8_t>(c.sepKind);
    dm.Settings.SeparationModeA = 2;  // keep two inks
    dm.Settings.SeparationModeB = 2;
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    auto dh = reinterpret_cast<DHPDEV>(pdev);
    HSURF hs = DrvEnableSurface(dh);
    ASSERT_NE(hs, nullptr);

    const std::int64_t width = Dots(2100 - 80, 300), height = Dots(2970 - 60, 300);
    const std::int64_t stride = ((width + 7) / 8 + 3) / 4 * 4;
    EXPECT_EQ(pdev->planeWidth, width);
    EXPECT_EQ(pdev->planeHeight, height);
    EXPECT_EQ(pdev->planeStride, stride);
    EXPECT_EQ(pdev->planeStride % 4, 0);
    EXPECT_EQ((pdev->flags & 0x80) != 0, c.two);
    if (c.two) {
      EXPECT_EQ(pdev->drum1Plane, pdev->drum2Plane + stride * height);
    } else {
      EXPECT_EQ(pdev->drum1Plane, pdev->drum2Plane);
    }
    std::int64_t bytes = stride * height * (c.two ? 2 : 1);
    for (std::int64_t i = 0; i < bytes; ++i) ASSERT_EQ(pdev->drum2Plane[i], 0xFF) << i;

    SURFOBJ* so = pdev->surfaceObject;
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->hsurf, hs);
    EXPECT_EQ(so->pvBits, pdev->drum2Plane);
    EXPECT_EQ(so->pvScan0, pdev->drum2Plane);
    EXPECT_EQ(so->lDelta, stride);
    EXPECT_EQ(so->sizlBitmap.cx, width);
    EXPECT_EQ(so->sizlBitmap.cy, height);
    EXPECT_EQ(so->iBitmapFormat, BMF_1BPP);
    EXPECT_EQ(so->dhpdev, dh);
    EXPECT_EQ(plat::engine::DeviceHooks(hs), 0x5FBu);

    DrvDisableSurface(dh);
    EXPECT_EQ(pdev->planeWidth, 0);
    EXPECT_EQ(pdev->surface, nullptr);
    EXPECT_EQ(plat::engine::LiveSurfaceCount(), 6u);  // the hatch surfaces remain
    DrvDisablePDEV(dh);
    EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
  }
}

TEST_F(PlaneLayout, LandscapeExchangesTheMargins) {
  PrivateDevmode dm = BaseDevmode();
  dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  auto dh = reinterpret_cast<DHPDEV>(pdev);
  ASSERT_NE(DrvEnableSurface(dh), nullptr);
  // Paper 2970 wide, 2100 long; top + bottom (60) across, left + right (80) down.
  EXPECT_EQ(pdev->planeWidth, Dots(2970 - 60, 300));
  EXPECT_EQ(pdev->planeHeight, Dots(2100 - 80, 300));
  DrvDisableSurface(dh);
  DrvDisablePDEV(dh);
}

TEST_F(PlaneLayout, LinesBeyondTheStreamFail) {
  // 3000 mm of paper at 600 dpi has more rows than a 16-bit line number.
  PrivateDevmode dm = BaseDevmode();
  dm.Public.dmPaperSize = 0;
  dm.Public.dmPaperWidth = 2100;
  dm.Public.dmPaperLength = 30000;
  dm.XResolution = 600;
  dm.YResolution = 600;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  auto dh = reinterpret_cast<DHPDEV>(pdev);
  SetLastError(0);
  EXPECT_EQ(DrvEnableSurface(dh), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(pdev->surface, nullptr);
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 6u);
  DrvDisablePDEV(dh);
}

TEST_F(PlaneLayout, DocumentNameIsBoundedAndTerminated) {
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  auto dh = reinterpret_cast<DHPDEV>(pdev);
  ASSERT_NE(DrvEnableSurface(dh), nullptr);
  std::u16string longName(300, u'n');
  ASSERT_TRUE(DrvStartDoc(pdev->surfaceObject, longName.data(), 5));
  EXPECT_EQ(std::u16string(pdev->documentName), std::u16string(255, u'n'));
  EXPECT_EQ(pdev->documentName[255], 0);
  EXPECT_EQ(pdev->jobId, 5u);
  EXPECT_EQ(pdev->flags & 0x03, 0x03u);
  // Taken once per device.
  std::u16string other = u"other";
  ASSERT_TRUE(DrvStartDoc(pdev->surfaceObject, other.data(), 0));
  EXPECT_EQ(pdev->documentName[0], u'n');
  EXPECT_EQ(pdev->jobId, 5u);
  DrvDisableSurface(dh);
  DrvDisablePDEV(dh);
}

// Entries given a record that fails the signature test.
TEST_F(PlaneLayout, InvalidRecordsAreRejected) {
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* good = Enable(dm);
  ASSERT_NE(good, nullptr);
  RenderPdev broken = *good;
  broken.tailSignature = 0x12345678;
  RenderPdev headless = *good;
  headless.headSignature = 0;
  SURFOBJ so{};
  so.pvBits = &so;
  for (RenderPdev* bad : {static_cast<RenderPdev*>(nullptr), &broken, &headless}) {
    auto dh = reinterpret_cast<DHPDEV>(bad);
    so.dhpdev = dh;
    auto expectRejected = [](BOOL ok, const char* entry) {
      EXPECT_FALSE(ok) << entry;
      EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << entry;
    };
    SetLastError(0);
    EXPECT_EQ(DrvEnableSurface(dh), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    expectRejected(DrvStartDoc(&so, nullptr, 1), "DrvStartDoc");
    SetLastError(0);
    expectRejected(DrvStartPage(&so), "DrvStartPage");
    SetLastError(0);
    expectRejected(DrvSendPage(&so), "DrvSendPage");
    SetLastError(0);
    expectRejected(DrvEndDoc(&so, 0), "DrvEndDoc");
    SetLastError(0);
    expectRejected(DrvResetPDEV(dh, reinterpret_cast<DHPDEV>(good)), "DrvResetPDEV old");
    SetLastError(0);
    expectRejected(DrvResetPDEV(reinterpret_cast<DHPDEV>(good), dh), "DrvResetPDEV new");
    SetLastError(0);
    DrvCompletePDEV(dh, hdev);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    DrvDisableSurface(dh);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    SetLastError(0);
    DrvDisablePDEV(dh);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  // A surface without bits is refused before the record is looked at.
  so.dhpdev = reinterpret_cast<DHPDEV>(good);
  so.pvBits = nullptr;
  EXPECT_FALSE(DrvSendPage(&so));
  EXPECT_EQ(good->pageCounter, 0u);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(good));
}

}  // namespace
