// DrvEnablePDEV: the device record, GDIINFO and DEVINFO built from DEVMODE
// variants and printer data.
#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>

#include "pdev_fixture.h"
#include "plat/machine.h"
#include "render/render_pdev.h"

using namespace pdevtest;

namespace {

// dots = (v x (dpi / 10) x 1584 + 40224) / 40225
std::int64_t Dots(std::int64_t v, std::int64_t dpi) { return (v * (dpi / 10) * 1584 + 40224) / 40225; }

struct Expect {
  int paperWidth = 2100, paperLength = 2970;
  int resX = 300, resY = 300, mode = 0, orientation = 0;
  int margins[4] = {50, 40, 30, 20};  // working margins
  int copies = 1;
  int colorMode = 1, oneInkDrum = 0, master = 0;
  int seps[3] = {0, 0, 0};
  int sepKind = 0, swapped = 0, duplex = 0;
  int custom = 0, front[2] = {0, 0}, back[2] = {0, 0};
};

struct Variant {
  const char* name;
  std::function<void(PrivateDevmode&)> edit;
  std::function<void(Expect&)> expect;
};
// Listings show a variant by its name, not as raw bytes.
void PrintTo(const Variant& v, std::ostream* os) { *os << v.name; }

void CustomPaper(PrivateDevmode& dm, int dx, int dy) {
  dm.Settings.ImagePosition = 1;
  dm.Settings.OutputPaperWidth = 2500;
  dm.Settings.OutputPaperLength = 3500;
  dm.Settings.ImagePositionOffsets[0] = dx;
  dm.Settings.ImagePositionOffsets[1] = dy;
}
void NoMargins(Expect& e) { e.margins[0] = e.margins[1] = e.margins[2] = e.margins[3] = 0; }

const Variant kVariants[] = {
    {"Base", [](PrivateDevmode&) {}, [](Expect&) {}},
    {"ForeignVersionUsesDefaultsPrivatePart",
     [](PrivateDevmode& dm) {
       dm.Public.dmDriverVersion = 0x3093;
       dm.Public.dmCopies = 3;
       dm.XResolution = 600;
     },
     [](Expect& e) { e.copies = 3; }},
    {"ShortPublicPartUsesDefaultsPrivatePart",
     [](PrivateDevmode& dm) {
       dm.Public.dmSize = 212;
       dm.Public.dmCopies = 3;
       dm.XResolution = 600;
     },
     [](Expect& e) { e.copies = 3; }},
    {"ForeignPrivateSizeUsesDefaultsPrivatePart",
     [](PrivateDevmode& dm) {
       dm.Public.dmDriverExtra = 3000;
       dm.XResolution = 600;
     },
     [](Expect&) {}},
    {"PaperZeroTakesDevmodeSize",
     [](PrivateDevmode& dm) {
       dm.Public.dmPaperSize = 0;
       dm.Public.dmPaperWidth = 1000;
       dm.Public.dmPaperLength = 1500;
     },
     [](Expect& e) {
       e.paperWidth = 1000;
       e.paperLength = 1500;
     }},
    {"Paper256TakesDevmodeSize",
     [](PrivateDevmode& dm) {
       dm.Public.dmPaperSize = 256;
       dm.Public.dmPaperWidth = 1200;
       dm.Public.dmPaperLength = 1800;
     },
     [](Expect& e) {
       e.paperWidth = 1200;
       e.paperLength = 1800;
     }},
    {"PaperMissingFromListIsA4", [](PrivateDevmode& dm) { dm.Public.dmPaperSize = 70; }, [](Expect&) {}},
    {"PaperFromList", [](PrivateDevmode& dm) { dm.Public.dmPaperSize = DMPAPER_A5; },
     [](Expect& e) {
       e.paperWidth = 1480;
       e.paperLength = 2100;
     }},
    {"Res300x600PrintsAs600",
     [](PrivateDevmode& dm) { dm.YResolution = 600; },
     [](Expect& e) {
       e.resX = 600;
       e.resY = 600;
       e.mode = 2;
     }},
    {"Res300x400PrintsAs300",
     [](PrivateDevmode& dm) { dm.YResolution = 400; },
     [](Expect& e) { e.mode = 1; }},
    {"Res600x600Kept",
     [](PrivateDevmode& dm) {
       dm.XResolution = 600;
       dm.YResolution = 600;
     },
     [](Expect& e) {
       e.resX = 600;
       e.resY = 600;
     }},
    {"LandscapeExchangesPaperAndDpi",
     [](PrivateDevmode& dm) {
       dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
       dm.XResolution = 400;
       dm.YResolution = 600;
     },
     [](Expect& e) {
       e.paperWidth = 2970;
       e.paperLength = 2100;
       e.resX = 600;
       e.resY = 400;
       e.orientation = 90;
     }},
    {"MarginsClearedBySurroundingMargin", [](PrivateDevmode& dm) { dm.Settings.SyuuiYohaku = 1; }, NoMargins},
    {"MarginsClearedByFitPage", [](PrivateDevmode& dm) { dm.Settings.FitPage = 1; }, NoMargins},
    {"CustomPositionWithoutDuplex", [](PrivateDevmode& dm) { CustomPaper(dm, 30, -10); },
     [](Expect& e) {
       NoMargins(e);
       e.custom = 1;
       e.front[0] = (2500 + 60 - 2100) / 2;
       e.front[1] = 0;
     }},
    {"CustomPositionLandscapeKeepsOrientation0",
     [](PrivateDevmode& dm) {
       CustomPaper(dm, 30, 12);
       dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
       dm.XResolution = 400;
       dm.YResolution = 600;
     },
     [](Expect& e) {
       NoMargins(e);
       e.custom = 1;
       e.paperWidth = 2970;
       e.paperLength = 2100;
       e.resX = 400;
       e.resY = 600;
       e.front[0] = 0;  // (2500 + 60 - 2970) / 2 is negative
       e.front[1] = 12;
     }},
    {"CustomPositionDuplexKind1",
     [](PrivateDevmode& dm) {
       CustomPaper(dm, 30, 25);
       dm.Settings.Duplex = 1;
     },
     [](Expect& e) {
       NoMargins(e);
       e.custom = 1;
       e.duplex = 1;
       e.master = 2;
       e.front[0] = (2500 - 60 - 2100) / 2;
       e.front[1] = 25;
       e.back[0] = (60 + 2500 - 2100) / 2;
       e.back[1] = 25;
     }},
    {"CustomPositionDuplexKind2",
     [](PrivateDevmode& dm) {
       CustomPaper(dm, 30, 25);
       dm.Settings.Duplex = 2;
     },
     [](Expect& e) {
       NoMargins(e);
       e.custom = 1;
       e.duplex = 2;
       e.master = 2;
       e.front[0] = (60 + 2500 - 2100) / 2;
       e.front[1] = -25;
       e.back[0] = (60 + 2500 - 2100) / 2;
       e.back[1] = 25;
     }},
    {"CustomPositionDuplexEachSide",
     [](PrivateDevmode& dm) {
       CustomPaper(dm, 30, 25);
       dm.Settings.Duplex = 2;
       dm.Settings.ImagePositionEach = 1;
       dm.Settings.ImagePositionOffsets[4] = 40;
       dm.Settings.ImagePositionOffsets[5] = -15;
     },
     [](Expect& e) {
       NoMargins(e);
       e.custom = 1;
       e.duplex = 2;
       e.master = 2;
       e.front[0] = (2500 - 80 - 2100) / 2;
       e.front[1] = -15;
       e.back[0] = (60 + 2500 - 2100) / 2;
       e.back[1] = 25;
     }},
    {"RuleA_DrumPatternUsesDrum1",
     [](PrivateDevmode& dm) {
       dm.DrumColorPattern = 1;
       dm.Settings.OneInkIndex = 1;
     },
     [](Expect& e) { e.oneInkDrum = 0; }},
    {"RuleB_TwoInksAllSeparation0BecomeDrum1",
     [](PrivateDevmode& dm) {
       dm.Settings.ColorMode = 2;
       dm.Settings.Seihan = 2;
     },
     [](Expect& e) {
       e.colorMode = 1;
       e.oneInkDrum = 0;
       e.master = 2;
     }},
    {"RuleB_TwoInksAllSeparation1BecomeDrum2",
     [](PrivateDevmode& dm) {
       dm.Settings.ColorMode = 2;
       dm.Settings.Seihan = 2;
       dm.Settings.SeparationModeA = 1;
       dm.Settings.SeparationModeB = 1;
     },
     [](Expect& e) {
       e.colorMode = 1;
       e.oneInkDrum = 1;
       e.master = 2;
       e.seps[0] = e.seps[1] = e.seps[2] = 1;
     }},
    {"RuleC_AlternatingDrums",
     [](PrivateDevmode& dm) {
       dm.Settings.ColorMode = 2;
       dm.Settings.SeparationKind = 3;
       dm.Settings.SeparationModeA = 2;
       dm.Settings.SeparationModeB = 3;
     },
     [](Expect& e) {
       e.colorMode = 2;
       e.master = 2;
       e.sepKind = 3;
     }},
    {"RuleD_DuplexUsesBothMastersWithoutSeparation",
     [](PrivateDevmode& dm) {
       dm.Settings.ColorMode = 2;
       dm.Settings.Seihan = 1;
       dm.Settings.SeparationModeA = 2;
       dm.Settings.SeparationModeB = 2;
       dm.Settings.Duplex = 1;
     },
     [](Expect& e) {
       e.colorMode = 2;
       e.master = 2;
       e.duplex = 1;
     }},
    {"RuleE_SwapsPlanes",
     [](PrivateDevmode& dm) {
       dm.Settings.ColorMode = 2;
       dm.Settings.Seihan = 2;
       dm.Settings.SeparationModeA = 0;
       dm.Settings.SeparationModeB = 1;
     },
     [](Expect& e) {
       e.colorMode = 2;
       e.master = 2;
       e.swapped = 1;
       e.seps[0] = 1;
       e.seps[1] = 1;
       e.seps[2] = 0;
     }},
    {"OneInkLimitsSeparationModes",
     [](PrivateDevmode& dm) {
       dm.Settings.SeparationModeA = 3;
       dm.Settings.SeparationModeB = 5;
     },
     [](Expect& e) { e.seps[0] = e.seps[1] = e.seps[2] = 1; }},
};

class EnableVariants : public PrinterFixture, public ::testing::WithParamInterface<Variant> {};

TEST_P(EnableVariants, RecordAndEngineRecords) {
  const Variant& v = GetParam();
  PrivateDevmode dm = BaseDevmode();
  v.edit(dm);
  Expect e;
  v.expect(e);
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr) << GetLastError();
  EXPECT_TRUE(IsValidPdev(pdev));

  EXPECT_EQ(pdev->paperWidth, e.paperWidth);
  EXPECT_EQ(pdev->paperLength, e.paperLength);
  EXPECT_EQ(pdev->resolutionX, e.resX);
  EXPECT_EQ(pdev->resolutionY, e.resY);
  EXPECT_EQ(pdev->resolutionMode, e.mode);
  EXPECT_EQ(pdev->orientation, e.orientation);
  EXPECT_EQ(pdev->marginLeft, e.margins[0]);
  EXPECT_EQ(pdev->marginTop, e.margins[1]);
  EXPECT_EQ(pdev->marginRight, e.margins[2]);
  EXPECT_EQ(pdev->marginBottom, e.margins[3]);
  EXPECT_EQ(pdev->copies, e.copies);
  EXPECT_EQ(pdev->colorMode, e.colorMode);
  EXPECT_EQ(pdev->oneInkDrum, e.oneInkDrum);
  EXPECT_EQ(pdev->masterSelection, e.master);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(pdev->separationModes[i], e.seps[i]) << i;
  EXPECT_EQ(pdev->separationKind, e.sepKind);
  EXPECT_EQ(pdev->planesSwapped, e.swapped);
  EXPECT_EQ(pdev->duplex, e.duplex);
  EXPECT_EQ(pdev->customPosition, e.custom);
  EXPECT_EQ(pdev->frontX, e.front[0]);
  EXPECT_EQ(pdev->frontY, e.front[1]);
  EXPECT_EQ(pdev->backX, e.back[0]);
  EXPECT_EQ(pdev->backY, e.back[1]);
  // Raw margins are never cleared.
  EXPECT_EQ(pdev->rawMargins[0], 50);
  EXPECT_EQ(pdev->rawMargins[3], 20);
  EXPECT_EQ(pdev->planeWidth, Dots(e.paperWidth, e.resX));
  EXPECT_EQ(pdev->planeHeight, Dots(e.paperLength, e.resY));

  // GDIINFO, with the margins taken in the page's terms.
  int m = e.margins[0] + e.margins[2], n = e.margins[1] + e.margins[3];
  if (e.orientation == 90) std::swap(m, n);
  EXPECT_EQ(gdi.ulVersion, 0x400u);
  EXPECT_EQ(gdi.ulTechnology, DT_RASPRINTER);
  EXPECT_EQ(gdi.ulHorzSize, static_cast<ULONG>((e.paperWidth - m + 9) / 10));
  EXPECT_EQ(gdi.ulVertSize, static_cast<ULONG>((e.paperLength - n + 9) / 10));
  EXPECT_EQ(gdi.ulHorzRes, static_cast<ULONG>(Dots(e.paperWidth - m, e.resX)));
  EXPECT_EQ(gdi.ulVertRes, static_cast<ULONG>(Dots(e.paperLength - n, e.resY)));
  EXPECT_EQ(gdi.cBitsPixel, 24u);
  EXPECT_EQ(gdi.cPlanes, 1u);
  EXPECT_EQ(gdi.ulNumColors, 0x1000000u);
  EXPECT_EQ(gdi.ulLogPixelsX, static_cast<ULONG>(e.resX));
  EXPECT_EQ(gdi.ulLogPixelsY, static_cast<ULONG>(e.resY));
  EXPECT_EQ(gdi.ulAspectXY, static_cast<ULONG>((e.resX + e.resY) * 707 / 1000));
  EXPECT_EQ(gdi.xStyleStep, 3);
  EXPECT_EQ(gdi.yStyleStep, 4);
  EXPECT_EQ(gdi.denStyleStep, 12);
  if (e.orientation == 90) {
    EXPECT_EQ(gdi.ptlPhysOffset.x, Dots(e.margins[1], e.resY));
    EXPECT_EQ(gdi.ptlPhysOffset.y, Dots(e.margins[2], e.resX));
  } else {
    EXPECT_EQ(gdi.ptlPhysOffset.x, Dots(e.margins[0], e.resX));
    EXPECT_EQ(gdi.ptlPhysOffset.y, Dots(e.margins[1], e.resY));
  }
  EXPECT_EQ(gdi.szlPhysSize.cx, Dots(e.paperWidth, e.resX));
  EXPECT_EQ(gdi.szlPhysSize.cy, Dots(e.paperLength, e.resY));
  EXPECT_EQ(gdi.ulHTPatternSize, HT_PATSIZE_4x4);
  EXPECT_EQ(gdi.ulHTOutputFormat, HT_FORMAT_24BPP);
  EXPECT_EQ(gdi.flHTFlags, HT_FLAG_HAS_BLACK_DYE);

  EXPECT_EQ(devinfo.flGraphicsCaps, 0x512u);
  EXPECT_EQ(devinfo.cFonts, 0u);
  EXPECT_EQ(devinfo.iDitherFormat, BMF_24BPP);
  EXPECT_EQ(devinfo.cxDither, 8);
  EXPECT_EQ(devinfo.cyDither, 8);
  EXPECT_NE(devinfo.hpalDefault, nullptr);
  EXPECT_EQ(devinfo.hpalDefault, pdev->palette);

  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

INSTANTIATE_TEST_SUITE_P(Devmodes, EnableVariants, ::testing::ValuesIn(kVariants),
                         [](const auto& info) { return std::string(info.param.name); });

using EnablePdev = PrinterFixture;

TEST_F(EnablePdev, NoDevmodeTakesDefaultDevmodeWhole) {
  RenderPdev* pdev = Enable(static_cast<DEVMODEW*>(nullptr));
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->copies, 7);  // both parts from "DefaultDevmode"
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, PrinterDevmodeComesBeforeDefaultDevmode) {
  PrivateDevmode own = BaseDevmode();
  own.XResolution = 600;
  own.YResolution = 600;
  plat::spooler::PrinterSetup setup;
  setup.name = u"With Devmode";
  setup.port = kPort;
  setup.driver.name = u"Render Test Driver";
  setup.devmode = Bytes(own);
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  HANDLE other = nullptr;
  ASSERT_TRUE(OpenPrinterW(u"With Devmode", &other, nullptr));
  DHPDEV p = DrvEnablePDEV(nullptr, nullptr, 0, nullptr, sizeof(gdi), reinterpret_cast<ULONG*>(&gdi), sizeof(devinfo),
                           &devinfo, hdev, nullptr, other);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<RenderPdev*>(p)->resolutionX, 600);
  DrvDisablePDEV(p);
  ClosePrinter(other);
}

TEST_F(EnablePdev, NoUsableDevmodeFails) {
  ASSERT_EQ(DeletePrinterDataW(printer, u"DefaultDevmode"), ERROR_SUCCESS);
  PrivateDevmode dm = BaseDevmode();
  dm.Public.dmDriverVersion = 0x3093;
  EXPECT_EQ(Enable(dm), nullptr);
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
  EXPECT_EQ(plat::engine::LivePaletteCount(), 0u);
}

TEST_F(EnablePdev, SpeedAndDensitiesIndexOnlyEntriesPresent) {
  struct Case {
    int speed, d1, d2;
    int wantSpeed, wantD1, wantD2;
  };
  const Case cases[] = {{0, 0, 1, 11, 41, 42}, {2, 1, 0, 33, 42, 41}, {3, 2, 200, 0, 0, 0}};
  for (const Case& c : cases) {
    PrivateDevmode dm = BaseDevmode();
    dm.Settings.SpeedIndex = static_cast<std::uint8_t>(c.speed);
    dm.Settings.Density1 = static_cast<std::uint8_t>(c.d1);
    dm.Settings.Density2 = static_cast<std::uint8_t>(c.d2);
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(pdev->speed, c.wantSpeed) << c.speed;
    EXPECT_EQ(pdev->densities[0], c.wantD1) << c.d1;
    EXPECT_EQ(pdev->densities[1], c.wantD2) << c.d2;
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  }
}

TEST_F(EnablePdev, MissingSpeedLeavesSpeedAndDensitiesZero) {
  ASSERT_EQ(DeletePrinterDataW(printer, u"Speed"), ERROR_SUCCESS);
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->speed, 0);
  EXPECT_EQ(pdev->densities[0], 0);
  EXPECT_EQ(pdev->densities[1], 0);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, MissingPaperListGivesA4) {
  ASSERT_EQ(DeletePrinterDataW(printer, u"Paper"), ERROR_SUCCESS);
  PrivateDevmode dm = BaseDevmode();
  dm.Public.dmPaperSize = DMPAPER_A3;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->paperWidth, 2100);
  EXPECT_EQ(pdev->paperLength, 2970);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, GeometryTheDeviceCannotTakeFailsCleanly) {
  const std::function<void(PrivateDevmode&)> edits[] = {
      [](PrivateDevmode& dm) { dm.XResolution = 0; },
      [](PrivateDevmode& dm) { dm.YResolution = 0; },
      [](PrivateDevmode& dm) { dm.XResolution = 9; },
      [](PrivateDevmode& dm) {  // margins wider than the paper
        dm.Margins[0] = 1500;
        dm.Margins[2] = 1500;
      },
      [](PrivateDevmode& dm) {
        dm.Public.dmPaperSize = 0;
        dm.Public.dmPaperWidth = -5;
      },
      [](PrivateDevmode& dm) {  // a position beyond the stream's 16 bits
        CustomPaper(dm, 0, 60000);
        dm.XResolution = 600;
        dm.YResolution = 600;
      },
  };
  int i = 0;
  for (const auto& edit : edits) {
    PrivateDevmode dm = BaseDevmode();
    edit(dm);
    SetLastError(0);
    EXPECT_EQ(Enable(dm), nullptr) << i;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << i;
    EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u) << i;
    EXPECT_EQ(plat::engine::LivePaletteCount(), 0u) << i;
    ++i;
  }
}

TEST_F(EnablePdev, CallerSizesAreRespected) {
  PrivateDevmode dm = BaseDevmode();
  // Room for three pattern handles, the start of GDIINFO and of DEVINFO.
  HSURF handles[8];
  for (HSURF& h : handles) h = reinterpret_cast<HSURF>(0x1);
  BYTE caps[sizeof(GDIINFO)];
  BYTE info[sizeof(DEVINFO)];
  std::memset(caps, 0xCD, sizeof(caps));
  std::memset(info, 0xCD, sizeof(info));
  constexpr ULONG capsRoom = 12, infoRoom = 4;
  DHPDEV p = DrvEnablePDEV(&dm.Public, nullptr, 3, handles, capsRoom, reinterpret_cast<ULONG*>(caps), infoRoom,
                           reinterpret_cast<DEVINFO*>(info), hdev, nullptr, printer);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 3; ++i) EXPECT_NE(handles[i], nullptr);
  for (int i = 3; i < 8; ++i) EXPECT_EQ(handles[i], reinterpret_cast<HSURF>(0x1)) << i;
  ULONG version = 0;
  std::memcpy(&version, caps, 4);
  EXPECT_EQ(version, 0x400u);
  for (ULONG i = capsRoom; i < sizeof(caps); ++i) ASSERT_EQ(caps[i], 0xCD) << i;
  ULONG gcaps = 0;
  std::memcpy(&gcaps, info, 4);
  EXPECT_EQ(gcaps, 0x512u);
  for (ULONG i = infoRoom; i < sizeof(info); ++i) ASSERT_EQ(info[i], 0xCD) << i;
  DrvDisablePDEV(p);
}

TEST_F(EnablePdev, SixHatchSurfacesFillALongerArrayAndGoWithTheRecord) {
  PrivateDevmode dm = BaseDevmode();
  HSURF handles[8];
  for (HSURF& h : handles) h = reinterpret_cast<HSURF>(0x1);
  DHPDEV p = DrvEnablePDEV(&dm.Public, nullptr, 8, handles, sizeof(gdi), reinterpret_cast<ULONG*>(&gdi),
                           sizeof(devinfo), &devinfo, hdev, nullptr, printer);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 6; ++i) {
    ASSERT_NE(handles[i], nullptr);
    SURFOBJ* so = EngLockSurface(handles[i]);
    ASSERT_NE(so, nullptr);
    EXPECT_EQ(so->sizlBitmap.cx, 32);
    EXPECT_EQ(so->sizlBitmap.cy, 32);
    EXPECT_EQ(so->lDelta, 4);
    EXPECT_EQ(so->iBitmapFormat, BMF_1BPP);
    EngUnlockSurface(so);
  }
  EXPECT_EQ(handles[6], nullptr);
  EXPECT_EQ(handles[7], nullptr);
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 6u);
  DrvDisablePDEV(p);
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
  EXPECT_EQ(plat::engine::LivePaletteCount(), 0u);
}

TEST_F(EnablePdev, InksAndDeviceQuerySwitch) {
  PrivateDevmode dm = BaseDevmode();
  dm.Settings.ColorMode = 2;
  dm.Settings.Seihan = 0;
  dm.Settings.Drum1Color = 1004;
  dm.Settings.Drum2Color = 1200;  // not an ink code
  dm.Settings.InkInformation = 1;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->drum1Ink, 1004);
  EXPECT_EQ(pdev->drum1Lab[0], kInkLabDefaults.Entry[4].L);
  EXPECT_EQ(pdev->drum2Ink, 0);
  EXPECT_EQ(pdev->drum2Lab[0], 0);
  EXPECT_EQ(pdev->image.darkerDrumStrength, 32);
  EXPECT_EQ(pdev->askDevice, 1);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));

  dm.InfoTaken = 1;
  pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->askDevice, 0);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, JobTextsComeFromTheOutputModesGroup) {
  auto set = [](WCHAR* field, std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) field[i] = text[i];
  };
  struct Case {
    int outputMode;
    const char* jobName;
    const char* userName;
    int option;
  };
  plat::machine::SetUserName(u"night shift");
  for (Case c : {Case{0, "Hold job", "Hold user", 1}, Case{2, "Hold job", "Hold user", 1},
                 Case{3, "Usb job", "night shift", 0}, Case{4, "Usb job", "night shift", 0}}) {
    PrivateDevmode dm = BaseDevmode();
    DocSettings& s = dm.Settings;
    s.OutputMode = static_cast<std::uint8_t>(c.outputMode);
    set(s.HoldJobName, u"Hold job");
    set(s.HoldUserName, u"Hold user");
    s.HoldJobOption = 1;
    s.HoldNameFromDoc = 1;
    set(s.UsbJobName, u"Usb job");  // no user name: the machine's user
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    EXPECT_STREQ(pdev->jobText.jobName, c.jobName) << c.outputMode;
    EXPECT_STREQ(pdev->jobText.userName, c.userName) << c.outputMode;
    EXPECT_EQ(pdev->jobText.jobOption, c.option) << c.outputMode;
    EXPECT_EQ(pdev->jobText.useDocumentName, c.option) << c.outputMode;
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  }
  plat::machine::Reset();
}

// Every option of the record comes from its own DocSettings or DEVMODE
// byte: the settings are written by offset, each with its own value.
TEST_F(EnablePdev, OptionsComeFromTheirOwnOffsets) {
  PrivateDevmode dm = BaseDevmode();
  BYTE* raw = reinterpret_cast<BYTE*>(&dm);
  BYTE* d = reinterpret_cast<BYTE*>(&dm.Settings);
  auto put32 = [](BYTE* at, std::int32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(static_cast<std::uint32_t>(v) >> (8 * i));
  };
  put32(d + 8, 0x12345);    // OutputPaperWidth: low half kept
  put32(d + 12, 0x2ABCD);   // OutputPaperLength
  d[4] = 3;                 // OutputPaperIndex
  d[34] = 5;                // BinIndex
  d[36] = 1;                // Rotate
  d[44] = 2;                // RenzokuMode
  d[45] = 1;                // OutputMode
  d[1349] = 1;              // UpLayout
  d[1351] = 1;              // UpFour
  d[1353] = 1;              // ProgramPrint
  for (int i = 0; i < 6; ++i) {
    put32(d + 1356 + 8 * i, 10 + i);
    put32(d + 1360 + 8 * i, 20 + i);
  }
  d[1404] = 4;              // ProgramSeparator
  d[1463] = 6;              // HoldBox
  d[1464] = 1;              // Thumbnail
  const std::int16_t imageBytes[] = {11, 12, 13, 14};
  for (int i = 0; i < 4; ++i) d[2000 + i] = static_cast<BYTE>(imageBytes[i]);
  d[2004] = 0x34;
  d[2005] = 0x12;           // u16 0x1234
  d[2006] = 0xF1;           // -15
  d[2007] = 17;
  d[2008] = 6;             // in range: bounds are tested apart
  d[2009] = 2;
  d[2010] = 1;
  d[2011] = 3;
  d[2012] = 22;
  d[2013] = 23;
  d[2014] = 24;
  d[2015] = 25;
  d[2016] = 26;
  d[2023] = 27;
  d[2024] = 28;
  d[2025] = 29;
  d[2026] = 30;
  d[2027] = 31;
  d[2028] = 32;
  d[2029] = 33;
  d[2084] = 1;
  put32(d + 2088, 4321);
  d[2092] = 1;
  d[2098] = 1;
  d[2099] = 1;
  d[2623] = 1;
  d[2624] = 2;
  d[2625] = 3;
  put32(d + 2628, 150);
  d[2637] = 1;
  d[2674] = 1;
  raw[3432] = 2;            // drum count
  raw[3434] = 6;            // system code
  raw[3435] = 1;            // language number
  dm.Public.dmCopies = 9;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr) << GetLastError();
  EXPECT_EQ(pdev->outputPaperWidth, 0x2345);
  EXPECT_EQ(pdev->outputPaperLength, 0xABCD);
  EXPECT_EQ(pdev->outputPaperChosen, 1);
  EXPECT_EQ(pdev->binIndex, 5);
  EXPECT_EQ(pdev->rotate180, 1);
  EXPECT_EQ(pdev->continuousMode, 2);
  EXPECT_EQ(pdev->outputMode, 1);
  EXPECT_EQ(pdev->storageDrive[0], 0);  // not a storage mode
  EXPECT_EQ(pdev->copies, 9);
  EXPECT_EQ(pdev->repeat, 1);
  EXPECT_EQ(pdev->repeatInFour, 1);
  EXPECT_EQ(pdev->programPrint, 1);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(pdev->programRows[i][0], 10 + i) << i;
    EXPECT_EQ(pdev->programRows[i][1], 20 + i) << i;
  }
  EXPECT_EQ(pdev->programSeparator, 4);
  EXPECT_EQ(pdev->holdBox, 6);
  EXPECT_EQ(pdev->thumbnail, 1);
  EXPECT_EQ(pdev->photoMode, 11);
  EXPECT_EQ(pdev->textProc, 12);
  EXPECT_EQ(pdev->textVolumeA, 13);
  EXPECT_EQ(pdev->textVolumeB, 14);
  EXPECT_EQ(pdev->amiLine, 0x1234);
  EXPECT_EQ(pdev->amiAngle, -15);
  EXPECT_EQ(pdev->edge, 17);
  EXPECT_EQ(pdev->akarusa, 6);
  EXPECT_EQ(pdev->contrast, 2);
  EXPECT_EQ(pdev->backlight, 3);
  EXPECT_EQ(pdev->kaityoSmooth, 22);
  EXPECT_EQ(pdev->photoSyurui, 23);
  EXPECT_EQ(pdev->sortMode, 24);
  EXPECT_EQ(pdev->staple, 25);
  EXPECT_EQ(pdev->tapeSort, 26);
  EXPECT_EQ(pdev->confidential, 27);
  EXPECT_EQ(pdev->panelReset, 28);
  EXPECT_EQ(pdev->option2025, 29);
  EXPECT_EQ(pdev->interleaf, 30);
  EXPECT_EQ(pdev->turbo, 31);
  EXPECT_EQ(pdev->interval, 32);
  EXPECT_EQ(pdev->separationKindTwo, 33);
  EXPECT_EQ(pdev->authenticationOn, 1);
  EXPECT_EQ(pdev->authenticationNumber, 4321);
  EXPECT_EQ(pdev->inkSaving, 1);
  EXPECT_EQ(pdev->holdMemoryInstalled, 1);
  EXPECT_EQ(pdev->binListInstalled, 1);
  EXPECT_EQ(pdev->booklet[0], 1);
  EXPECT_EQ(pdev->booklet[1], 2);
  EXPECT_EQ(pdev->shiftMode, 3);
  EXPECT_EQ(pdev->shiftAmount, 150);
  EXPECT_EQ(pdev->shiftHalved, 1);
  EXPECT_EQ(pdev->drum2LightPrint, 1);
  EXPECT_EQ(pdev->drumCount, 2);
  EXPECT_EQ(pdev->systemCode, 6);
  EXPECT_EQ(pdev->languageNumber, 1);
  EXPECT_EQ(pdev->imageCaching, 1);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));

  // The backlight value counts only while it is switched on.
  d[2010] = 0;
  pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->backlight, 0);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, DarkerDrumStrengthFollowsDrum2Lightness) {
  const std::pair<std::int32_t, std::int32_t> cases[] = {{34, 32}, {35, (35 - 55) * 1115 / 100 + 255},
                                                         {55, 255}, {90, (90 - 55) * 1115 / 100 + 255}};
  for (auto [lightness, want] : cases) {
    PrivateDevmode dm = BaseDevmode();
    dm.Settings.ColorMode = 2;
    dm.Settings.Drum2Color = 1010;
    dm.Settings.InkLab.Entry[10].L = lightness;
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(pdev->drum2Lab[0], lightness);
    EXPECT_EQ(pdev->image.darkerDrumStrength, want) << lightness;
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  }
}

TEST_F(EnablePdev, CustomPositionDuplexKind1EachSide) {
  PrivateDevmode dm = BaseDevmode();
  DocSettings& s = dm.Settings;
  s.ImagePosition = 1;
  s.OutputPaperWidth = 2500;
  s.ImagePositionOffsets[0] = 31;   // dx
  s.ImagePositionOffsets[1] = -7;   // dy
  s.ImagePositionOffsets[4] = 45;   // bx
  s.ImagePositionOffsets[5] = -9;   // by
  s.Duplex = 1;
  s.ImagePositionEach = 1;
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  EXPECT_EQ(pdev->frontX, (2 * 45 + 2500 - 2100) / 2);
  EXPECT_EQ(pdev->frontY, -9);
  EXPECT_EQ(pdev->backX, (2 * 31 + 2500 - 2100) / 2);
  EXPECT_EQ(pdev->backY, -7);
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
}

TEST_F(EnablePdev, PagesPerSheetFollowsLayout) {
  const std::pair<int, int> cases[] = {{-1, 1}, {0, 2}, {1, 2}, {2, 4}, {5, 4}};
  for (auto [order, want] : cases) {
    PrivateDevmode dm = BaseDevmode();
    if (order >= 0) {
      dm.Settings.RensyaLayout = 1;
      dm.Settings.RensyaOrder = static_cast<std::uint8_t>(order);
    }
    RenderPdev* pdev = Enable(dm);
    ASSERT_NE(pdev, nullptr);
    EXPECT_EQ(pdev->pagesPerSheet, want) << order;
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  }
}

}  // namespace
