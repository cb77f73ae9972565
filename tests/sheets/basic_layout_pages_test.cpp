// The basic and layout pages as a user drives them, on printers of both
// sample models; each run ends with OK and the settings block is checked
// byte for byte against the untouched run with the expected changes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "printjob/printer_setup.h"
#include "settings/private_devmode.h"
#include "sheets/basic_layout_pages.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kPrinterName[] = u"Page Printer";
const fs::path kClassicUi = fs::path(LIB_DIR_STR) / "classicui.so";

using Steps = std::function<void(plat::ui::Screen&)>;
using Edits = std::function<void(DocSettings& expected, const DocSettings& before)>;

class Pages : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    plat::resources::Reset();
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    root_ = fs::temp_directory_path() / ("pages_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    ASSERT_EQ(printjob::SetUpMachine(root_), "");
    printjob::PrinterFiles files{fs::path(MODELS_DIR_STR) / GetParam(), fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL",
                                 kClassicUi, true};
    ASSERT_EQ(printjob::SetUpPrinter(files, kPrinterName, u"LPT1:"), "");
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(kPrinterName, &printer_, &access));
    windows_ = plat::LiveWindowCount();
    objects_ = plat::LiveGdiObjectCount();
    images_ = plat::LiveImageCount();
  }
  void TearDown() override {
    EXPECT_EQ(plat::LiveWindowCount(), windows_);
    EXPECT_EQ(plat::LiveGdiObjectCount(), objects_) << "no GDI object left after the sheet";
    EXPECT_EQ(plat::LiveImageCount(), images_) << "cursors and icons freed";
    EXPECT_EQ(plat::LiveDcCount(), 0u);
    if (printer_) ClosePrinter(printer_);
    plat::ui::ResetScript();
    plat::resources::Reset();
    plat::machine::Reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  bool Is1100() const { return std::string(GetParam()) == "NEVO1100.RDF"; }

  // The sheet run with the handlers (the sheet's first); the DEVMODE after OK.
  std::vector<BYTE> Run(Steps sheet, std::vector<Steps> dialogs = {}) {
    std::vector<BYTE> out(kPrivateDevmodeSize, 0xEE);
    auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
    dm->dmSize = kPublicDevmodeSize;
    dm->dmDriverExtra = kPrivateDevmodeExtra;
    plat::ui::QueueHandler(std::move(sheet));
    for (auto& d : dialogs) plat::ui::QueueHandler(std::move(d));
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(plat::ui::QueuedHandlerCount(), 0u) << "every expected dialog opened";
    return out;
  }

  static const DocSettings& SettingsOf(const std::vector<BYTE>& dm) {
    return reinterpret_cast<const PrivateDevmode*>(dm.data())->Settings;
  }

  // The settings block of a run against the untouched run with the edits.
  void ExpectSettings(const std::vector<BYTE>& got, const Edits& edits) {
    const std::vector<BYTE> base = Run([](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); });
    DocSettings expected = SettingsOf(base);
    edits(expected, SettingsOf(base));
    const auto* a = reinterpret_cast<const BYTE*>(&SettingsOf(got));
    const auto* e = reinterpret_cast<const BYTE*>(&expected);
    for (std::size_t i = 0; i < sizeof(DocSettings); ++i) ASSERT_EQ(a[i], e[i]) << "settings byte " << i;
  }

  fs::path root_;
  HANDLE printer_ = nullptr;
  std::size_t windows_ = 0, objects_ = 0, images_ = 0;
};



TEST_P(Pages, SelectingTheFreeSizeAgainReopensItsDialog) {
  int opened = 0;
  int freeIndex = -1;
  const auto out = Run(
      [&](plat::ui::Screen& s) {
        ASSERT_TRUE(s.Tab(0));
        // The free paper is the last document paper; custom papers follow it.
        for (int i = 0; i < s.ItemCount(2079); ++i)
          if (s.ItemText(2079, i) == u"Free Size") freeIndex = i;
        ASSERT_GE(freeIndex, 0);
        EXPECT_TRUE(s.Choose(2079, freeIndex));
        EXPECT_TRUE(s.Choose(2079, freeIndex)) << "already selected, opens again";
        EXPECT_TRUE(s.Ok());
      },
      {[&](plat::ui::Screen& d) {
         ++opened;
         EXPECT_EQ(d.templateId(), 1994);
         EXPECT_TRUE(d.ChooseText(3203, u"mm"));
         EXPECT_TRUE(d.Type(3201, u"150"));
         EXPECT_TRUE(d.Ok());
       },
       [&](plat::ui::Screen& d) {
         ++opened;
         EXPECT_EQ(d.Text(3201), u"150");
         EXPECT_TRUE(d.Cancel());
       }});
  EXPECT_EQ(opened, 2);
  const DocSettings& s = SettingsOf(out);
  EXPECT_EQ(s.FreePaper, 1);
  EXPECT_EQ(s.PaperIndex, freeIndex);
  EXPECT_EQ(s.FreeWidth, 150000);
}

TEST_P(Pages, TypedCopiesConfirmedWithEnterAreClamped) {
  const auto out = Run([&](plat::ui::Screen& s) {
    ASSERT_TRUE(s.Tab(0));
    if (!s.Visible(3180)) {
      EXPECT_FALSE(Is1100()) << "hidden only where the model says so";
      EXPECT_FALSE(s.Visible(3183));
      EXPECT_TRUE(s.Ok());
      return;
    }
    EXPECT_FALSE(s.Enabled(kApplyButton));
    EXPECT_TRUE(s.Type(3180, u"0"));
    EXPECT_TRUE(s.Enabled(kApplyButton)) << "typing marks the sheet changed";
    EXPECT_EQ(s.Selection(2087), -1);
    EXPECT_TRUE(s.Enter());
  });
  if (!Is1100()) return;
  ExpectSettings(out, [](DocSettings& e, const DocSettings&) { e.Copies = 1; });
}

TEST_P(Pages, OverseaModelsHideCopiesAndShowTheInvertedFitPage) {
  bool before = false;
  const auto out = Run([&](plat::ui::Screen& s) {
    ASSERT_TRUE(s.Tab(0));
    EXPECT_EQ(s.Visible(3180), Is1100());
    EXPECT_EQ(s.Visible(3183), Is1100());
    EXPECT_EQ(s.Visible(4030), Is1100());
    ASSERT_TRUE(s.Tab(1));
    EXPECT_EQ(s.Visible(3032), Is1100());
    EXPECT_EQ(s.Visible(3033), !Is1100());
    const int fitBox = Is1100() ? 3032 : 3033;
    before = s.Checked(fitBox) == BST_CHECKED;
    if (Is1100()) {
      // This model starts with fit page and the surrounding margin both on: each locks the other.
      EXPECT_FALSE(s.Enabled(3032));
      EXPECT_FALSE(s.Enabled(3029));
      EXPECT_TRUE(s.Ok());
      before = false;
      return;
    }
    EXPECT_TRUE(s.Click(fitBox)) << s.LastError();
    EXPECT_TRUE(s.Ok());
  });
  // The inverted box shows fit page off as checked.
  EXPECT_EQ(SettingsOf(out).FitPage, Is1100() ? !before : before);
}

TEST_P(Pages, ThirteenClicksOnA4ComeBackToNoLayoutWithDuplexOff) {
  std::vector<int> modes;
  const auto out = Run([&](plat::ui::Screen& s) {
    ASSERT_TRUE(s.Tab(0));
    ASSERT_TRUE(s.ChooseText(2079, u"A4"));
    // Every choice the paper and the model offer, then no layout again.
    const int clicks = Is1100() ? 9 : 13;
    for (int i = 0; i < clicks; ++i) {
      ASSERT_TRUE(s.ClickOn(kLayoutPicture)) << s.LastError();
      ASSERT_TRUE(s.Tab(1));
      modes.push_back(static_cast<int>(s.ItemData(kLayoutTypeCombo)));
      ASSERT_TRUE(s.Tab(0));
    }
    EXPECT_EQ(plat::Blits(GetDlgItem(s.Page(), kLayoutPicture)).size() > 0, true);
    EXPECT_TRUE(s.Ok());
  });
  const std::vector<int> expected =
      Is1100() ? std::vector<int>{1, 1, 2, 2, 2, 2, 2, 2, 0} : std::vector<int>{1, 1, 2, 2, 2, 2, 2, 2, 3, 3, 4, 4, 0};
  EXPECT_EQ(modes, expected);
  const DocSettings& s = SettingsOf(out);
  EXPECT_EQ(s.Duplex, 0);
  EXPECT_EQ(s.UpLayout | s.UpFour | s.RensyaLayout | s.RensyaOrder | s.Booklet | s.Booklet4P, 0);
}

TEST_P(Pages, ImagePositionFollowsOutputPaperMarginAndItsDialog) {
  if (Is1100()) GTEST_SKIP() << "the model hides image position";
  HMODULE module = LoadLibraryW(plat::u16((fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL").string()).c_str());
  const auto out = Run(
      [&](plat::ui::Screen& s) {
        ASSERT_TRUE(s.Tab(1));
        ASSERT_TRUE(s.ChooseText(2079, u"Letter"));
        ASSERT_TRUE(s.ChooseText(2080, u"Letter"));
        EXPECT_FALSE(s.Enabled(3030)) << "an output paper the size of the document leaves no room";
        ASSERT_TRUE(s.ChooseText(2080, u"Tabloid"));
        ASSERT_TRUE(s.Enabled(3030));
        EXPECT_TRUE(s.Check(3030, true));
        EXPECT_TRUE(s.Enabled(3031));
        EXPECT_FALSE(s.Enabled(3029)) << "no surrounding margin while the image is shifted";
        EXPECT_TRUE(s.Check(3030, false));
        EXPECT_EQ(s.Checked(3033), BST_UNCHECKED) << "image position switched fit page on";
        EXPECT_TRUE(s.Check(3033, true));
        EXPECT_TRUE(s.Check(3029, true));
        EXPECT_EQ(s.Checked(3030), BST_UNCHECKED) << "the surrounding margin keeps image position off";
        EXPECT_FALSE(s.Enabled(3030));
        EXPECT_TRUE(s.Check(3029, false));
        EXPECT_EQ(s.Checked(3030), BST_UNCHECKED) << "back to the \"Permanent\" image position (off)";
        EXPECT_TRUE(s.Check(3030, true));
        EXPECT_TRUE(s.Click(3031));
        EXPECT_TRUE(s.Ok());
      },
      {[&](plat::ui::Screen& d) {
        EXPECT_EQ(d.templateId(), 994);
        EXPECT_FALSE(d.Enabled(3276)) << "duplex off: one side only";
        EXPECT_FALSE(d.Enabled(3283));
        EXPECT_FALSE(d.Enabled(3278));
        EXPECT_TRUE(d.ChooseText(3203, u"mm"));
        // The direction picture: 559 + 3 v + h over the button face.
        auto expectBitmap = [&](UINT id) {
          HGDIOBJ bitmap = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, 0);
          ASSERT_NE(bitmap, nullptr);
          BITMAP bm{};
          GetObjectW(bitmap, sizeof bm, &bm);
          const plat::ui::Picture p = plat::ui::Snapshot(GetDlgItem(d.window(), 3272));
          EXPECT_EQ(p.width, 50);
          EXPECT_EQ(bm.bmWidth, 50);
          if (p.width != 50 || bm.bmWidth != 50) return DeleteObject(bitmap), void();
          int wrong = 0;
          for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 50; ++x) {
              const BYTE* px = static_cast<const BYTE*>(bm.bmBits) + (bm.bmHeight - 1 - y) * bm.bmWidthBytes + x * 3;
              DWORD want = static_cast<DWORD>(px[2]) << 16 | static_cast<DWORD>(px[1]) << 8 | px[0];
              if (want == 0xFF0000u) want = 0xF0F0F0u;
              wrong += p.At(x, y) != want;
            }
          EXPECT_EQ(wrong, 0) << "bitmap " << id;
          DeleteObject(bitmap);
        };
        EXPECT_TRUE(d.Type(3010, u"-5.0"));
        EXPECT_TRUE(d.Leave());
        EXPECT_EQ(d.Text(3010), u"-5.0");
        expectBitmap(559);
        EXPECT_TRUE(d.Click(3018));
        EXPECT_TRUE(d.Type(3011, u"3.0"));
        EXPECT_TRUE(d.Leave());
        expectBitmap(563);
        EXPECT_TRUE(d.Ok());
      }});
  const DocSettings& s = SettingsOf(out);
  EXPECT_EQ(s.ImagePosition, 1);
  EXPECT_EQ(s.SyuuiYohaku, 0);
  FreeLibrary(module);
}

TEST_P(Pages, StoringOutputModesResetAndLeavingRestoresProgramPrint) {
  if (Is1100()) GTEST_SKIP() << "no storing output mode without hold memory or USB";
  const auto out = Run([&](plat::ui::Screen& s) {
    ASSERT_TRUE(s.Tab(1));
    EXPECT_TRUE(s.Check(3028, true));
    ASSERT_TRUE(s.Tab(0));
    ASSERT_TRUE(s.ChooseData(2075, 3)) << s.LastError();
    EXPECT_TRUE(s.Enabled(2068)) << "job groups for a storing mode";
    // Without a USB drive the page keeps the user until the mode is changed.
    EXPECT_FALSE(s.Tab(1));
    ASSERT_TRUE(s.ChooseData(2075, 0));
    EXPECT_FALSE(s.Enabled(2068));
    ASSERT_TRUE(s.Tab(1));
    EXPECT_EQ(s.Checked(3028), BST_UNCHECKED) << "rotation back to \"Permanent\"";
    EXPECT_TRUE(s.Ok());
  });
  ExpectSettings(out, [](DocSettings&, const DocSettings&) {});
}

TEST_P(Pages, OnlyWholeBinaryFavouritesAreListedAndApplied) {
  // The favourite: the untouched settings with other copies and rotation.
  std::vector<BYTE> base = Run([](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); });
  DocSettings mine = SettingsOf(base);
  mine.Copies = 7;
  mine.Rotate = 1;
  auto put = [&](const char16_t* name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(SetPrinterDataW(printer_, name, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
  };
  put(u"FavSet_Short", REG_BINARY, &mine, 100);
  put(u"FavSet_Mine", REG_BINARY, &mine, sizeof mine);
  put(u"favset_Case", REG_BINARY, &mine, sizeof mine);
  put(u"FavSet_Text", REG_SZ, &mine, sizeof mine);
  std::vector<std::u16string> listed;
  const auto out = Run([&](plat::ui::Screen& s) {
    ASSERT_TRUE(s.Tab(0));
    for (int i = 0; i < s.ItemCount(2087); ++i) listed.push_back(s.ItemText(2087, i));
    EXPECT_TRUE(s.ChooseText(2087, u"Short"));
    EXPECT_FALSE(s.Enabled(kApplyButton)) << "a damaged favourite changes nothing";
    EXPECT_TRUE(s.ChooseText(2087, u"Text"));
    EXPECT_FALSE(s.Enabled(kApplyButton)) << "nor one of another type";
    EXPECT_TRUE(s.ChooseText(2087, u"Mine"));
    EXPECT_TRUE(s.Enabled(kApplyButton));
    EXPECT_EQ(s.ItemText(2087, s.Selection(2087)), u"Mine") << "the favourite stays selected";
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(listed, (std::vector<std::u16string>{u"Short", u"Mine", u"Text"})) << "the prefix is case-sensitive";
  EXPECT_EQ(SettingsOf(out).Rotate, 1);
  if (Is1100()) {
    EXPECT_EQ(SettingsOf(out).Copies, 7);
  }
}

INSTANTIATE_TEST_SUITE_P(SampleModels, Pages, ::testing::Values("NEVO1100.RDF", "NEVO2600.RDF"),
                         [](const auto& info) { return std::string(info.param).substr(0, 8); });

}  // namespace
