// The print, finishing and about pages and the hold and USB job dialogs, as a
// user works them on printers of the sample models.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/usb_job_folders.h"
#include "sample_sheet.h"
#include "sheets/print_page.h"

namespace {

using plat::ui::Screen;
using sample::SampleSheet;
namespace fs = std::filesystem;

class PrintPages : public SampleSheet {};

TEST_F(PrintPages, TurboPutsThePermanentSpeedBackAndLocksTheSpeed) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> base = Merged();
  const DocSettings& permanentLike = Settings(base);
  ASSERT_EQ(permanentLike.Turbo, 0);
  std::vector<BYTE> out = RunDocument([](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2004));
    EXPECT_TRUE(s.Enabled(3171));
    EXPECT_TRUE(s.ChooseData(3171, 4)) << s.LastError();
    EXPECT_TRUE(s.Check(3172, true));
    EXPECT_FALSE(s.Enabled(3171)) << "turbo decides the speed";
    EXPECT_EQ(s.ItemData(3171), 2) << "the model's default speed";
    EXPECT_TRUE(s.Ok());
  });
  ExpectDevmode(out, base, [](DocSettings& d) {
    d.Turbo = 1;
    d.SpeedIndex = 2;
  });
}

TEST_F(PrintPages, DuplexOffersOnlyDuplexSpeedsAndTheDuplexControls) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> in = InputOnA4([](DocSettings& d) {
    d.Duplex = 1;
    d.PaperIndex = 4;  // A4
    d.SpeedIndex = 4;  // "5 (Fastest)"
  });
  std::vector<BYTE> out = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        EXPECT_EQ(s.ItemData(3171), 0) << "speed 5 is no duplex speed";
        EXPECT_EQ(s.ItemCount(3171), 3);
        for (int id : {3172, 3177}) EXPECT_FALSE(s.Enabled(id)) << id;
        for (int id : {3193, 3195}) EXPECT_TRUE(s.Enabled(id)) << id;
        EXPECT_TRUE(s.Check(3193, true));
        EXPECT_TRUE(s.Ok());
      },
      in);
  EXPECT_EQ(Settings(out).SpeedIndex, 0);
  EXPECT_EQ(Settings(out).Drum2LightPrint, 1);
  EXPECT_EQ(Settings(out).Duplex, 1);
}

TEST_F(PrintPages, EnableRulesFollowTheSettingsOfThePrintPage) {
  Open("NEVO2600.RDF", {{"KanPareUseFlag", "0"}});  // with the colour settings
  struct Case {
    const char* what;
    void (*edit)(DocSettings&);
    std::vector<int> enabled;
    std::vector<int> disabled;
  };
  const Case cases[] = {
      {"plain", [](DocSettings&) {}, {3171, 3172, 3174, 3176, 3177, 3180, 3183, 3184, 3186, 3191, 3192}, {3193, 3195, 3185, 3188}},
      {"ink saving", [](DocSettings& d) { d.SyouInkMode = 1; }, {3178}, {3174, 3176}},
      {"hold only", [](DocSettings& d) { d.OutputMode = 2; },
       {2075, 2068}, {3171, 3172, 3174, 3177, 3180, 3183, 3184, 3191, 3192}},
      {"authentication", [](DocSettings& d) { d.Ninsyo = 1; }, {3186, 3187, 3188, 3189, 3190}, {}},
      {"program printing", [](DocSettings& d) { d.ProgramPrint = 1; }, {3184, 3185}, {3180}},
      {"separation kind 2", [](DocSettings& d) { d.SeparationKind = 2; }, {}, {3180, 3183, 3184, 3185}},
      {"one ink", [](DocSettings& d) { d.ColorMode = 1; }, {3174}, {3176}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDocument(
        [&](Screen& s) {
          ASSERT_TRUE(ToPage(s, 2004));
          for (int id : c.enabled) EXPECT_TRUE(s.Enabled(id)) << id;
          for (int id : c.disabled) EXPECT_FALSE(s.Enabled(id)) << id;
          EXPECT_TRUE(s.Cancel());
        },
        Input(c.edit), IDCANCEL);
  }
}

TEST_F(PrintPages, AuthenticationNumberUsesTheModelsRangeAndIsClampedOnEnter) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> base = Merged();
  std::vector<BYTE> out = RunDocument([](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2004));
    EXPECT_EQ(s.Text(3190), u"(0 - 9999)");
    EXPECT_TRUE(s.Check(3186, true));
    EXPECT_TRUE(s.Type(3188, u"123456")) << s.LastError();
    EXPECT_EQ(s.Text(3188), u"1234") << "the edit takes as many digits as the range's maximum";
    EXPECT_TRUE(s.Type(3180, u"0"));
    EXPECT_TRUE(s.Enter());
  });
  ExpectDevmode(out, base, [](DocSettings& d) {
    d.Ninsyo = 1;
    d.NinsyoNo = 1234;
    d.Copies = 1;  // the model's minimum, although only typed
  });
}

TEST(NinsyoNoRange, TheModelsRangeOrZeroToNinetyNine) {
  CapsInfo info{};
  EXPECT_EQ(NinsyoNoRange(info).Maximum, 99);
  info.NinsyoNoMin = 10;
  info.NinsyoNoMax = 5;
  EXPECT_EQ(NinsyoNoRange(info).Minimum, 5);
  EXPECT_EQ(NinsyoNoRange(info).Maximum, 10);
}

TEST_F(PrintPages, FinishingFollowsTheSorterAndTheTwoSeparators) {
  Open("NEVO2600.RDF");
  struct Case {
    const char* what;
    std::uint8_t sortKind;
    std::uint8_t tapeSort, interleaf;
    bool sort, staple, tape, sheets;
  };
  const Case cases[] = {
      {"no sorter", 0, 0, 0, true, true, true, true},
      {"sorter", 1, 0, 0, false, true, true, true},
      {"sorter with stapler", 2, 0, 0, false, false, true, true},
      {"interleaf 2", 0, 0, 2, true, true, false, true},
      {"tape sort 2", 0, 2, 0, true, true, true, false},
      {"tape sort 1", 0, 1, 1, true, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetPrinterDefaults([&](DocSettings& d) {
      d.SortKind = c.sortKind;
      d.TapeSorterInstalled = 1;
      d.BinListInstalled = 1;
    });
    const std::vector<BYTE> in = Input([&](DocSettings& d) {
      d.TapeSort = c.tapeSort;
      d.Interleaf = c.interleaf;
    });
    RunDocument(
        [&](Screen& s) {
          ASSERT_TRUE(ToPage(s, 2005));
          EXPECT_EQ(s.Enabled(3163), c.sort);
          EXPECT_EQ(s.Enabled(3165), c.staple);
          EXPECT_EQ(s.Enabled(3167), c.tape);
          EXPECT_EQ(s.Enabled(3169), c.sheets);
          EXPECT_EQ(s.Selection(3167), c.tapeSort);
          EXPECT_TRUE(s.Cancel());
        },
        in, IDCANCEL);
  }
  // A choice is stored and the restore button brings the defaults back.
  SetPrinterDefaults([](DocSettings& d) { d.SortKind = 0; });
  const std::vector<BYTE> base = Merged();
  std::vector<BYTE> out = RunDocument([](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2005));
    EXPECT_TRUE(s.Choose(3163, 4));
    EXPECT_TRUE(s.Choose(3165, 2));
    EXPECT_TRUE(s.Choose(3169, 3));
    EXPECT_FALSE(s.Enabled(3167)) << "interleaf 3 rules out tape sort";
    EXPECT_TRUE(s.Ok());
  });
  ExpectDevmode(out, base, [](DocSettings& d) {
    d.SortMode = 4;
    d.Staple = 2;
    d.Interleaf = 3;
  });
}

TEST_F(PrintPages, AboutPageShowsTheVersionAndTheModel) {
  for (const char* model : {"NEVO1100.RDF", "NEVO2600.RDF"}) {
    SCOPED_TRACE(model);
    Open(model);
    RunDocument(
        [&](Screen& s) {
          ASSERT_TRUE(ToPage(s, 2006));
          EXPECT_EQ(s.Text(3002), u"Version 5.18.01");
          EXPECT_EQ(s.Text(3004), std::string(model) == "NEVO1100.RDF" ? u"NEVO RP1100" : u"NEVO RP2600");
          EXPECT_FALSE(s.Text(3001).empty());
          EXPECT_TRUE(s.Cancel());
        },
        {}, IDCANCEL);
    ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
  }
}

TEST_F(PrintPages, HoldDialogRefusesOkWithoutNamesAndTakesTypedNamesOnEnter) {
  Open("NEVO2600.RDF");
  const std::vector<BYTE> in = Input([](DocSettings& d) { d.OutputMode = 1; });
  std::vector<BYTE> out = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        plat::ui::QueueHandler([](Screen& d) {
          EXPECT_EQ(d.templateId(), 1991);
          EXPECT_FALSE(d.Enabled(3212)) << "the document names the job";
          EXPECT_TRUE(d.Check(3210, false));
          EXPECT_TRUE(d.Enabled(3212));
          EXPECT_TRUE(d.Ok());
          EXPECT_TRUE(d.IsOpen()) << "no job name";
          EXPECT_TRUE(d.Type(3212, u"Minutes"));
          EXPECT_TRUE(d.Type(3214, u""));
          EXPECT_TRUE(d.Enter());
          EXPECT_TRUE(d.IsOpen()) << "no user name";
          EXPECT_TRUE(d.Type(3214, u"Clerk"));
          EXPECT_TRUE(d.Choose(3216, 4));
          EXPECT_TRUE(d.Check(3217, true));
          EXPECT_TRUE(d.Enter()) << "typed names count without leaving the edit";
          EXPECT_FALSE(d.IsOpen());
        });
        EXPECT_TRUE(s.Click(2068));
        EXPECT_TRUE(s.Ok());
      },
      in);
  const DocSettings& d = Settings(out);
  EXPECT_EQ(d.HoldNameFromDoc, 0);
  EXPECT_EQ(std::u16string(d.HoldJobName), u"Minutes");
  EXPECT_EQ(std::u16string(d.HoldUserName), u"Clerk");
  EXPECT_EQ(d.HoldBox, 5);
  EXPECT_EQ(d.HoldJobOption, 1);

  // Cancel keeps everything.
  std::vector<BYTE> kept = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        plat::ui::QueueHandler([](Screen& d) {
          EXPECT_TRUE(d.Type(3214, u"Nobody"));
          EXPECT_TRUE(d.Cancel());
        });
        EXPECT_TRUE(s.Click(2068));
        EXPECT_TRUE(s.Ok());
      },
      out);
  EXPECT_EQ(std::u16string(Settings(kept).HoldUserName), u"Clerk");
}

// The buttons of the basic and print pages open their dialogs; a cancelled
// dialog changes nothing.
TEST_F(PrintPages, ButtonsOpenTheirDialogs) {
  Open("NEVO2600.RDF");
  struct Case {
    int page, button, dialog;
    void (*edit)(DocSettings&);
  };
  const Case cases[] = {
      {2008, 2068, 1991, [](DocSettings& d) { d.OutputMode = 1; }},
      {2004, 2068, 1991, [](DocSettings& d) { d.OutputMode = 1; }},
      {2004, 3185, 1993, [](DocSettings& d) { d.ProgramPrint = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    const std::vector<BYTE> in = Input(c.edit);
    int opened = 0;
    std::vector<BYTE> out = RunDocument(
        [&](Screen& s) {
          ASSERT_TRUE(ToPage(s, c.page));
          ASSERT_TRUE(s.Enabled(c.button));
          plat::ui::QueueHandler([&](Screen& d) {
            opened = d.templateId();
            EXPECT_TRUE(d.Cancel());
          });
          EXPECT_TRUE(s.Click(c.button));
          EXPECT_TRUE(s.Ok());
        },
        in);
    EXPECT_EQ(opened, c.dialog);
    EXPECT_EQ(Settings(out).OutputMode, Settings(in).OutputMode);
    EXPECT_EQ(Settings(out).ProgramPrint, Settings(in).ProgramPrint);
  }
}

class UsbDialog : public SampleSheet {
 protected:
  // A removable FAT32 drive, with the job folders when tree is set.
  void AddUsbDrive(char16_t letter, const char16_t* label, bool tree) {
    plat::machine::AddDrive({letter, DRIVE_REMOVABLE, u"FAT32", label, 7});
    fs::create_directories(root_ / std::string(1, static_cast<char>(letter)));
    const std::u16string drive = std::u16string(1, letter) + u":\\";
    if (tree) {
      ASSERT_EQ(CreateJobFolderTree(drive.c_str()), 1);
    }
  }
};

TEST_F(UsbDialog, UsbAutomaticModeLocksAuthentication) {
  Open("NEVO2600.RDF");
  AddUsbDrive(u'E', u"STICK", true);
  const std::vector<BYTE> in = Input([](DocSettings& d) { d.OutputMode = 4; });
  RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        for (int id : {3186, 3187, 3188, 3189, 3190}) EXPECT_FALSE(s.Enabled(id)) << id;
        EXPECT_TRUE(s.ChooseData(2075, 3)) << s.LastError();
        EXPECT_TRUE(s.Enabled(3186));
        EXPECT_TRUE(s.Check(3186, true));
        EXPECT_FALSE(s.Enabled(2075)) << "authentication rules out the USB output modes";
        EXPECT_TRUE(s.Cancel());
      },
      in, IDCANCEL);
}

TEST_F(UsbDialog, AutomaticModeStoresInTheFirstFolder) {
  Open("NEVO2600.RDF");
  AddUsbDrive(u'E', u"STICK", true);
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.OutputMode = 4;
    d.UsbFolder = 3;
    d.UsbJobOption = 1;
  });
  std::vector<BYTE> out = RunDocument(
      [](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        plat::ui::QueueHandler([](Screen& d) {
          EXPECT_EQ(d.templateId(), 1992);
          EXPECT_EQ(d.Text(3219), u"E:\\");
          EXPECT_EQ(d.Text(3220), u"STICK");
          EXPECT_FALSE(d.Enabled(3222));
          EXPECT_FALSE(d.Enabled(3217));
          EXPECT_EQ(d.Checked(3217), BST_UNCHECKED);
          EXPECT_TRUE(d.Ok());
        });
        EXPECT_TRUE(s.Click(2068));
        EXPECT_TRUE(s.Ok());
      },
      in);
  const DocSettings& d = Settings(out);
  EXPECT_EQ(std::u16string(d.UsbDrive), u"E:\\");
  EXPECT_EQ(d.UsbFolder, 1);
  EXPECT_EQ(d.UsbJobOption, 0);
}

TEST_F(UsbDialog, ADriveWithoutFoldersIsOfferedTheTreeAndDeviceChangesRefill) {
  Open("NEVO2600.RDF");
  AddUsbDrive(u'E', u"WITH", true);
  AddUsbDrive(u'F', u"BARE", false);
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.OutputMode = 3;
    SetFieldText(d.UsbDrive, u"E:\\");
    d.UsbFolder = 2;
  });
  std::vector<BYTE> out = RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2004));
        plat::ui::QueueHandler([&](Screen& d) {
          EXPECT_EQ(d.Text(3219), u"E:\\");
          EXPECT_EQ(d.Selection(3222), 1) << "the saved folder";
          EXPECT_TRUE(d.Enabled(3222));
          // No tree on F:, and the user declines: OK stays disabled.
          plat::ui::QueueMessageBoxAnswer(IDNO);
          EXPECT_TRUE(d.ChooseText(3219, u"F:\\"));
          ASSERT_EQ(plat::ui::MessageBoxLog().size(), 1u);
          const plat::ui::MessageBoxCall ask = plat::ui::MessageBoxLog()[0];
          EXPECT_EQ(ask.type, static_cast<UINT>(MB_YESNO | MB_ICONEXCLAMATION));
          EXPECT_NE(ask.text.find(u"Drive F "), std::u16string::npos) << plat::utf8(ask.text);
          EXPECT_EQ(d.Text(3220), u"BARE");
          EXPECT_FALSE(d.Enabled(1));
          EXPECT_EQ(d.ItemCount(3222), 0);
          // Yes creates it.
          plat::ui::QueueMessageBoxAnswer(IDYES);
          EXPECT_TRUE(d.ChooseText(3219, u"F:\\"));
          EXPECT_TRUE(d.Enabled(1));
          EXPECT_EQ(d.ItemCount(3222), 6);
          EXPECT_TRUE(fs::exists(root_ / "F" / "OSTRA" / "USB" / "X_TMP" / "NEVOFOLDER"));
          // A drive goes and one comes: the combos are filled again.
          plat::machine::RemoveDrive(u'E');
          AddUsbDrive(u'G', u"NEW", true);
          plat::ui::BroadcastDeviceChange(DBT_DEVICEARRIVAL);
          EXPECT_EQ(d.ItemCount(3219), 2);
          EXPECT_EQ(d.ItemText(3219, 1), u"G:\\");
          EXPECT_EQ(d.Text(3219), u"F:\\") << "the drive shown stays";
          EXPECT_TRUE(d.Choose(3222, 5));
          EXPECT_TRUE(d.Ok());
        });
        EXPECT_TRUE(s.Click(2068));
        EXPECT_TRUE(s.Ok());
      },
      in);
  EXPECT_EQ(std::u16string(Settings(out).UsbDrive), u"F:\\");
  EXPECT_EQ(Settings(out).UsbFolder, 6);
}

}  // namespace
