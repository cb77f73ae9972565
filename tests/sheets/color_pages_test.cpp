// The colour and image pages with the separation and image adjustment
// dialogs, as a user works them on a two-drum sample model that shows the
// colour page.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "sample_sheet.h"
#include "sheets/color_page.h"
#include "sheets/image_page.h"

namespace {

using plat::ui::Screen;
using sample::SampleSheet;

// The two-drum sample without its KanPare section, and with every separation kind.
const std::vector<std::pair<std::string, std::string>> kColourModel = {{"KanPareUseFlag", "0"}, {"DrillEnable", "1"}};

class ColorPages : public SampleSheet {
 protected:
  void SetUp() override {
    SampleSheet::SetUp();
    Open("NEVO2600.RDF", kColourModel);
  }
};

TEST_F(ColorPages, DuplexLocksTheInkCountAndOneInkDisablesTheDrums) {
  struct Case {
    const char* what;
    void (*edit)(DocSettings&);
    std::vector<int> enabled, disabled, hidden;
    bool a4 = false;
  };
  const Case cases[] = {
      {"two inks", [](DocSettings& d) { d.ColorMode = 2; }, {3050, 3051, 2071, 2072, 3053}, {3045}, {}},
      {"one ink", [](DocSettings& d) { d.ColorMode = 1; }, {3050, 3051, 3045}, {2071, 2072, 3053, 3055}, {2092, 2093}},
      {"duplex", [](DocSettings& d) {
         d.Duplex = 1;
         d.PaperIndex = 4;
         d.ColorMode = 2;
       }, {2071}, {3050, 3051, 3045, 3053, 3055}, {3047}, true},
      {"masters 1", [](DocSettings& d) {
         d.ColorMode = 2;
         d.Seihan = 1;
       }, {3053}, {3055, 3048}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDocument(
        [&](Screen& s) {
          ASSERT_TRUE(ToPage(s, 2002));
          for (int id : c.enabled) EXPECT_TRUE(s.Enabled(id)) << id;
          for (int id : c.disabled) EXPECT_FALSE(s.Enabled(id)) << id;
          for (int id : c.hidden) EXPECT_FALSE(s.Visible(id)) << id;
          EXPECT_TRUE(s.Cancel());
        },
        c.a4 ? InputOnA4(c.edit) : Input(c.edit), IDCANCEL);
  }
}

TEST_F(ColorPages, SeparationKindTwoForcesItsSettingsAndLeavingItRestores) {
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.ColorMode = 2;
    d.Seihan = 2;
    d.SeparationKind = 0;
    d.Copies = 12;
    d.RenzokuMode = 3;
  });
  std::vector<BYTE> out = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.ChooseData(3055, 2)) << s.LastError();
        EXPECT_EQ(s.Selection(3053), 2);
        EXPECT_FALSE(s.Enabled(3053));
        EXPECT_FALSE(s.Enabled(3050)) << "kind 2 fixes two inks";
        ASSERT_TRUE(ToPage(s, 2004));
        EXPECT_FALSE(s.Enabled(3180));
        EXPECT_FALSE(s.Enabled(3183));
        EXPECT_EQ(s.Selection(3183), 2);
        EXPECT_EQ(s.Text(3180), u"1") << "the permanent copies";
        EXPECT_TRUE(s.Ok());
      },
      in);
  const DocSettings& d = Settings(out);
  EXPECT_EQ(d.SeparationKind, 2);
  EXPECT_EQ(d.Seihan, 2);
  EXPECT_EQ(d.SeparationModeA, 4);
  EXPECT_EQ(d.SeparationModeB, 0);
  EXPECT_EQ(d.RenzokuMode, 2);
  EXPECT_EQ(d.Copies, 1);

  // Leaving kind 2 puts continuous printing and program printing back.
  std::vector<BYTE> back = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.ChooseData(3055, 3)) << s.LastError();
        EXPECT_TRUE(s.Ok());
      },
      out);
  EXPECT_EQ(Settings(back).SeparationKind, 3);
  EXPECT_EQ(Settings(back).RenzokuMode, 0) << "the permanent value";
  EXPECT_EQ(Settings(back).ProgramPrint, 0);
}

TEST_F(ColorPages, KindOneOpensTheListsAtOnceAndTheirRowsAreModes) {
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.ColorMode = 2;
    d.Seihan = 2;
    d.SeparationKind = 1;
    d.SeparationModeA = 8;   // the eighth row of the first list, not the ninth
    d.SeparationModeB = 10;  // the tenth row of the second list
  });
  int dialogs = 0;
  std::vector<BYTE> out = RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.Enabled(3048));
        plat::ui::QueueHandler([&](Screen& d) {
          ++dialogs;
          EXPECT_EQ(d.templateId(), 1996);
          EXPECT_EQ(d.ItemCount(3062), 14);
          EXPECT_EQ(d.ItemCount(3064), 18);
          EXPECT_EQ(d.ItemData(3062), 8);
          EXPECT_EQ(d.Selection(3062), 7);
          EXPECT_EQ(d.ItemData(3064), 10);
          EXPECT_EQ(d.Selection(3064), 9);
          EXPECT_TRUE(d.ChooseData(3062, 13));
          EXPECT_TRUE(d.ChooseData(3064, 17));
          EXPECT_TRUE(d.Cancel());
        });
        EXPECT_TRUE(s.Click(3048));
        EXPECT_TRUE(s.ChooseData(3055, 0)) << s.LastError();
        EXPECT_FALSE(s.Enabled(3048));
        plat::ui::QueueHandler([&](Screen& d) {
          ++dialogs;
          EXPECT_TRUE(d.ChooseData(3062, 13));
          EXPECT_TRUE(d.ChooseData(3064, 17));
          EXPECT_TRUE(d.Ok());
        });
        EXPECT_TRUE(s.ChooseData(3055, 1)) << s.LastError();
        EXPECT_EQ(dialogs, 2) << "kind 1 opens the lists at once";
        EXPECT_TRUE(s.Enabled(3048));
        EXPECT_TRUE(s.Ok());
      },
      in);
  EXPECT_EQ(Settings(out).SeparationKind, 1);
  EXPECT_EQ(Settings(out).SeparationModeA, 13);
  EXPECT_EQ(Settings(out).SeparationModeB, 17);
}

TEST(SeparationRows, AModeIsFoundByItsDataNotItsPosition) {
  EXPECT_EQ(SeparationRowOf(kFirstSeparationRows, 14, 8), 7);
  EXPECT_EQ(SeparationRowOf(kFirstSeparationRows, 14, 7), 10);
  EXPECT_EQ(SeparationRowOf(kSecondSeparationRows, 18, 8), 8);
  EXPECT_EQ(SeparationRowOf(kSecondSeparationRows, 18, 9), 13);
  EXPECT_EQ(SeparationRowOf(kSecondSeparationRows, 18, 99), -1);
  EXPECT_EQ(SeparationBitmap(8), 456u);
  EXPECT_EQ(SeparationBitmap(7), 435u);
  SheetState s{};
  s.SeparationModeB = 9;
  s.ColorMode = 2;
  s.Seihan = 1;
  EXPECT_EQ(PageSeparationBitmap(s), 435u) << "only with separated masters";
  s.Seihan = 2;
  EXPECT_EQ(PageSeparationBitmap(s), 456u);
}

TEST_F(ColorPages, GetInformationReportsTheDrumsOrTheFailure) {
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 0;  // not asked at open
  });
  const std::u16string known = ResourceString(818), none = ResourceString(819);
  // No status file, no agent: the query fails.
  std::vector<BYTE> out = RunDocument([&](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2002));
    EXPECT_FALSE(s.Visible(3060));
    EXPECT_EQ(s.Text(3058), u"");
    EXPECT_TRUE(s.Enabled(3057));
    EXPECT_TRUE(s.Click(3057));
    EXPECT_TRUE(s.Visible(3060));
    EXPECT_EQ(s.Text(3058), none);
    EXPECT_TRUE(s.Ok());
  });
  const DocSettings before = Settings(Merged());
  EXPECT_EQ(Settings(out).Drum1Color, before.Drum1Color) << "a failure changes no setting";

  WriteStatusFile("05", "0A");
  out = RunDocument([&](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2002));
    EXPECT_TRUE(s.Click(3057));
    EXPECT_TRUE(s.Visible(3060));
    EXPECT_EQ(s.Text(3058), known);
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(Settings(out).Drum1Color, 1005);
  EXPECT_EQ(Settings(out).Drum2Color, 1010);
  EXPECT_EQ(Settings(out).InkLab.Entry[5].L, 45);
  EXPECT_EQ(out[offsetof(PrivateDevmode, InfoTaken)], 1);
}

TEST_F(ColorPages, TheQueryAtOpenIsReportedOnThePage) {
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 1;
  });
  const std::u16string known = ResourceString(818), none = ResourceString(819);
  WriteStatusFile("05", "0A");
  RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.Visible(3060));
        EXPECT_EQ(s.Text(3058), known);
        EXPECT_TRUE(s.Cancel());
      },
      {}, IDCANCEL);
  RemoveStatusFile();
  RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.Visible(3060));
        EXPECT_EQ(s.Text(3058), none);
        EXPECT_TRUE(s.Cancel());
      },
      {}, IDCANCEL);
}

TEST_F(ColorPages, GetInformationFromARealAgent) {
  sample::RealAgent agent(9, 33);
  if (agent.Missing()) GTEST_SKIP() << "snmpd is not installed";
  ASSERT_TRUE(agent.Running()) << agent.Output();
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 0;
  });
  std::vector<BYTE> out = RunDocument([&](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2002));
    EXPECT_TRUE(s.Click(3057));
    EXPECT_EQ(s.Text(3058), ResourceString(818));
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(Settings(out).Drum1Color, 1009);
  EXPECT_EQ(Settings(out).Drum2Color, 1033);
  EXPECT_EQ(Settings(out).InkLab.Entry[9].L, 60);
}

TEST_F(ColorPages, ImageSeparationLocksThePhotoControls) {
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.ColorMode = 2;
    d.Seihan = 2;
    d.SeparationKind = 1;
    d.SeparationModeB = 8;
    d.PhotoSyurui = 0;
    d.PhotoMode = 0;
  });
  RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2003));
        for (int id : {2011, 2013, 2017, 2024, 2025, 2027}) EXPECT_FALSE(s.Enabled(id)) << id;
        EXPECT_TRUE(s.Enabled(2029));
        EXPECT_TRUE(s.Cancel());
      },
      in, IDCANCEL);
}

class ImagePage : public SampleSheet {};

TEST_F(ImagePage, ScreeningValuesAreClampedEvenWhenConfirmedWithEnter) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> base = Merged();
  std::vector<BYTE> out = RunDocument([](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2003));
    EXPECT_EQ(s.Text(2015), u"(50-200)");
    EXPECT_EQ(s.Text(2019), u"(0-90)");
    EXPECT_TRUE(s.Type(2013, u"0"));
    EXPECT_TRUE(s.Type(2017, u"99"));
    EXPECT_TRUE(s.Enter());
  });
  ExpectDevmode(out, base, [](DocSettings& d) {
    d.AmiLine = 50;
    d.AmiAngle = 90;
  });
  // Leaving the edit clamps and rewrites at once.
  RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2003));
        EXPECT_TRUE(s.Type(2013, u"999"));
        EXPECT_TRUE(s.Leave());
        EXPECT_EQ(s.Text(2013), u"200");
        EXPECT_TRUE(s.Cancel());
      },
      {}, IDCANCEL);
}

TEST_F(ImagePage, PhotoKindsResetTheAdjustmentAndPhotoModeLocksScreening) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> base = Merged();
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.PhotoSyurui = 0;
    d.PhotoMode = 0;
    d.Akarusa = 7;
    d.Contrast = 1;
    d.Edge = 1;
  });
  std::vector<BYTE> out = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2003));
        EXPECT_TRUE(s.Enabled(2027));
        EXPECT_TRUE(s.Click(2026));
        EXPECT_FALSE(s.Enabled(2027)) << "adjustment only for the standard kind";
        EXPECT_TRUE(s.ChooseData(2011, 1));
        EXPECT_FALSE(s.Enabled(2013));
        EXPECT_FALSE(s.Enabled(2017));
        EXPECT_TRUE(s.Click(2031));
        EXPECT_TRUE(s.Click(2034));
        EXPECT_TRUE(s.Ok());
      },
      in);
  ExpectDevmode(out, base, [](DocSettings& d) {
    d.PhotoSyurui = 2;
    d.PhotoMode = 1;
    d.TextProc = 1;
    d.TextVolumeA = 0;
    d.TextVolumeB = 1;
  });
}

TEST_F(ImagePage, AdjustmentDialogWritesOnlyOnOk) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.PhotoSyurui = 0;
    d.PhotoMode = 1;
    d.GyakkouOn = 0;
  });
  const DocSettings permanent = StoredDefaults();
  std::vector<BYTE> out = RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2003));
        plat::ui::QueueHandler([&](Screen& d) {
          EXPECT_EQ(d.templateId(), 1999);
          HWND bar = d.Item(2043);
          EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 7);
          EXPECT_EQ(SendMessageW(bar, TBM_GETTIC, 0, 0), permanent.Akarusa);
          EXPECT_EQ(SendMessageW(d.Item(2051), TBM_GETRANGEMAX, 0, 0), 5);
          EXPECT_FALSE(d.Enabled(2051)) << "backlight correction is off";
          EXPECT_FALSE(d.Enabled(2053)) << "photo mode 1 has no smoothing";
          EXPECT_TRUE(d.Slide(2043, 6));
          EXPECT_TRUE(d.Check(2048, true));
          EXPECT_TRUE(d.Enabled(2051));
          EXPECT_TRUE(d.Slide(2051, 4));
          EXPECT_TRUE(d.Check(2052, true));
          EXPECT_TRUE(d.Cancel());
        });
        EXPECT_TRUE(s.Click(2027));
        plat::ui::QueueHandler([&](Screen& d) {
          EXPECT_TRUE(d.Slide(2047, 2));
          EXPECT_TRUE(d.Check(2048, true));
          EXPECT_TRUE(d.Slide(2051, 5));
          EXPECT_TRUE(d.Ok());
        });
        EXPECT_TRUE(s.Click(2027));
        EXPECT_TRUE(s.Ok());
      },
      in);
  const DocSettings& d = Settings(out);
  EXPECT_EQ(d.Akarusa, permanent.Akarusa) << "cancelled";
  EXPECT_EQ(d.Contrast, 2);
  EXPECT_EQ(d.GyakkouOn, 1);
  EXPECT_EQ(d.Gyakkou, 5);
  EXPECT_EQ(d.Edge, permanent.Edge);
}

TEST(PreviewTables, ToneRowsFollowTheRuleWithinOneUnit) {
  const double scale[7] = {0.5, 2.0 / 3.0, 0.8, 1.0, 1.25, 1.5, 2.0};
  for (int r = 0; r < 7; ++r) {
    for (int x = 0; x < 256; ++x) {
      const double rule = x == 255 ? 255.0 : std::clamp(128.0 + (x - 128) * scale[r], 0.0, 255.0);
      EXPECT_LE(std::abs(kPreviewToneRows[r][x] - rule), 1.0) << r << " " << x;
    }
  }
  for (int x = 0; x < 256; ++x) EXPECT_EQ(kPreviewToneRows[3][x], x);
  EXPECT_EQ(PreviewByte(255, 1, 1), 255) << "white stays white";
  EXPECT_EQ(PreviewByte(128, 4, 1), 38);
  EXPECT_EQ(PreviewByte(200, 4, 7), 255);
  EXPECT_EQ(PreviewByte(10, 4, 1), 0);
}

TEST(PreviewTables, BitmapIdsFollowLevelEdgeAndSeparation) {
  SheetState s{};
  struct Case {
    std::uint8_t colorMode, seihan, modeB;
    int preview, level;
    bool edge;
    UINT id;
  };
  const Case cases[] = {
      {1, 0, 0, 0, 1, false, 490}, {2, 2, 2, 0, 1, false, 460}, {2, 2, 1, 2, 1, false, 492},
      {2, 1, 9, 1, 3, true, 490 + 12 + 1 + 3}, {2, 2, 9, 2, 5, true, 460 + 24 + 2 + 3},
  };
  for (const Case& c : cases) {
    s.ColorMode = c.colorMode;
    s.Seihan = c.seihan;
    s.SeparationModeB = c.modeB;
    EXPECT_EQ(PreviewBitmapId(s, c.preview, c.level, c.edge), c.id);
  }
}

}  // namespace
