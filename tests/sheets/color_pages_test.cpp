// The colour and image pages with the separation and image adjustment
// dialogs, as a user works them on a two-drum sample model that shows the
// colour page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "sample_sheet.h"
#include "sheets/color_page.h"
#include "sheets/image_page.h"
#include "sheets/page_protocol.h"
#include "sheets/setting_pictures.h"
#include "support/peer.h"

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

// An ink picture as InkColourPicture draws it for state, on a control the
// size of like: what the page's own picture must show.
const SheetState* g_reference = nullptr;
INT_PTR CALLBACK ReferenceProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_DRAWITEM || !g_reference) return FALSE;
  InkColourPicture(dialog, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), *g_reference, false);
  return TRUE;
}
plat::ui::Picture ReferencePicture(const SheetState& state, int id, HWND like) {
  RECT r{};
  GetClientRect(like, &r);
  g_reference = &state;
  HWND dialog =
      plat::CreateHeadlessDialog({{id, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, r}}, ReferenceProc);
  plat::PaintWindow(dialog);
  plat::ui::Picture p = plat::ui::Snapshot(GetDlgItem(dialog, id));
  DestroyWindow(dialog);
  g_reference = nullptr;
  return p;
}

bool Contains(const plat::ui::Picture& p, COLORREF c) {
  const DWORD want = static_cast<DWORD>(GetRValue(c)) << 16 | static_cast<DWORD>(GetGValue(c)) << 8 | GetBValue(c);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      if (p.At(x, y) == want) return true;
    }
  }
  return false;
}

// Row index of an owner-drawn combo as its dialog's procedure draws it, at
// the top of the control's own pixels; the row's pixels.
plat::ui::Picture DrawComboRow(HWND dialog, int id, int index, UINT state = 0) {
  HWND combo = GetDlgItem(dialog, id);
  RECT client{};
  GetClientRect(combo, &client);
  const auto height = static_cast<LONG>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
  DRAWITEMSTRUCT item{ODT_COMBOBOX, static_cast<UINT>(id), static_cast<UINT>(index), ODA_DRAWENTIRE, state, combo,
                      GetDC(combo), {0, 0, client.right, height},
                      static_cast<ULONG_PTR>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(index), 0))};
  SendMessageW(dialog, WM_DRAWITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&item));
  ReleaseDC(combo, item.hDC);
  plat::ui::Picture p = plat::ui::Snapshot(combo);
  p.height = std::min<int>(p.height, height);
  p.rgb.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3);
  return p;
}

// Text pixels of a marked row: blue on white, yellow on the highlight.
int BluePixels(const plat::ui::Picture& p) {
  int n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const DWORD c = p.At(x, y);
      const int r = static_cast<int>(c >> 16 & 0xFF), g = static_cast<int>(c >> 8 & 0xFF);
      const int b = static_cast<int>(c & 0xFF);
      n += b > r + 80 && b > g + 80 ? 1 : 0;
    }
  return n;
}
// Yellow text on the highlight: the glyphs' cores, whatever their smoothed edges.
int YellowPixels(const plat::ui::Picture& p) {
  int n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      const DWORD c = p.At(x, y);
      n += (c >> 16 & 0xFF) > 200 && (c >> 8 & 0xFF) > 200 && (c & 0xFF) < 120 ? 1 : 0;
    }
  return n;
}

TEST_F(ColorPages, InkPicturesFollowTheDrumColoursOnBothPages) {
  // The printer's drums (read at open) add their inks to the choice.
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 1;
  });
  WriteStatusFile("05", "0A");
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.ColorMode = 2;
    d.Seihan = 0;
    d.SeparationKind = 0;
    d.Duplex = 0;
  });
  RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        const SheetState& state = PageContext(s.Page())->State;
        auto expectPictures = [&](const char* where) {
          SCOPED_TRACE(where);
          for (int id : {kTextInkPicture, kImageInkPicture}) {
            const plat::ui::Picture got = plat::ui::Snapshot(s.Item(id));
            ASSERT_GT(got.width, 0) << id << " was drawn";
            const plat::ui::Picture want = ReferencePicture(state, id, s.Item(id));
            EXPECT_EQ(got.rgb, want.rgb) << id;
          }
        };
        expectPictures("colour page");
        const plat::ui::Picture before = plat::ui::Snapshot(s.Item(kTextInkPicture));
        EXPECT_TRUE(Contains(before, InkDisplayColour(state.Drum1Color)));
        // Another drum 1 ink of another display colour: the text picture shows it.
        int other = -1;
        for (int i = 0; i < state.AvailColorCount && other < 0; ++i) {
          const COLORREF c = InkDisplayColour(state.AvailColors[i]);
          if (c != InkDisplayColour(state.Drum1Color) && c != InkDisplayColour(state.Drum2Color) &&
              c != RGB(1, 1, 1) && c != RGB(0, 0, 0))
            other = i;
        }
        ASSERT_GE(other, 0);
        ASSERT_TRUE(s.Choose(2071, other)) << s.LastError();
        ASSERT_EQ(state.Drum1Color, state.AvailColors[other]);
        expectPictures("colour page, drum 1 changed");
        EXPECT_TRUE(Contains(plat::ui::Snapshot(s.Item(kTextInkPicture)), InkDisplayColour(state.Drum1Color)));
        EXPECT_NE(plat::ui::Snapshot(s.Item(kTextInkPicture)).rgb, before.rgb);
        ASSERT_TRUE(ToPage(s, 2003));
        expectPictures("image page");
        ASSERT_TRUE(s.Click(2031));  // another text processing: another text picture
        expectPictures("image page, text processing changed");
        EXPECT_TRUE(s.Cancel());
      },
      in, IDCANCEL);
}

// The colour page with the model's drum colour pattern as the parameter: with
// pattern 0 the one-ink list is not a list of inks.
class ColorItems : public SampleSheet, public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    SampleSheet::SetUp();
    auto keys = kColourModel;
    keys.emplace_back("DrumColorPattern", std::to_string(GetParam()));
    Open("NEVO2600.RDF", keys);
  }
};
INSTANTIATE_TEST_SUITE_P(Patterns, ColorItems, ::testing::Values(0, 1));

TEST_P(ColorItems, InksOnTheDrumsAreMarked) {
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 1;  // asked at open
  });
  WriteStatusFile("05", "0A");
  const std::vector<BYTE> in = Input([](DocSettings& d) {
    d.ColorMode = 2;
    d.SeparationKind = 0;
  });
  RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        const SheetState& state = PageContext(s.Page())->State;
        ASSERT_EQ(state.PrinterDrum1Color, 1005);
        ASSERT_EQ(state.PrinterDrum2Color, 1010);
        // The selection field, as the page paints it: the drum 1 ink, marked when on the drum.
        const plat::ui::Picture field = plat::ui::Snapshot(s.Item(2071));
        ASSERT_GT(field.width, 0) << "the page drew the selection field";
        EXPECT_EQ(field.At(field.width - 1, 0), 0xFFFFFFu);
        EXPECT_EQ(BluePixels(field) > 0, state.Drum1Color == 1005);
        // Drum 1's list marks drum 1's ink, drum 2's drum 2's, the one-ink list both.
        const struct {
          int combo;
          std::vector<InkCode> marked;
        } combos[] = {{2071, {1005}}, {2072, {1010}}, {3045, {1005, 1010}}};
        for (const auto& c : combos) {
          SCOPED_TRACE(c.combo);
          if (c.combo == 3045 && GetParam() == 0) continue;
          ASSERT_EQ(s.ItemCount(c.combo), state.AvailColorCount);
          std::size_t markedRows = 0;
          for (int i = 0; i < state.AvailColorCount; ++i) {
            const bool marked = std::find(c.marked.begin(), c.marked.end(), state.AvailColors[i]) != c.marked.end();
            markedRows += marked ? 1 : 0;
            const plat::ui::Picture row = DrawComboRow(s.Page(), c.combo, i);
            ASSERT_GT(row.width, 0);
            EXPECT_EQ(row.At(row.width - 1, 0), 0xFFFFFFu) << "row " << i << " on the window colour";
            EXPECT_EQ(BluePixels(row) > 0, marked) << "row " << i;
            if (marked) {
              const plat::ui::Picture selected = DrawComboRow(s.Page(), c.combo, i, ODS_SELECTED);
              EXPECT_EQ(selected.At(selected.width - 1, 0), 0x0078D7u) << "the highlight";
              EXPECT_GT(YellowPixels(selected), 0) << "a marked row stays marked when selected";
            }
          }
          EXPECT_EQ(markedRows, c.marked.size());
        }
        EXPECT_TRUE(s.Cancel());
      },
      in, IDCANCEL);
}

TEST_F(ColorPages, TheResultTextIsShownOnWhite) {
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"127.0.0.1");
    d.InkInformation = 0;
  });
  RunDocument(
      [&](Screen& s) {
        ASSERT_TRUE(ToPage(s, 2002));
        EXPECT_TRUE(s.Click(3057));  // fails: the failure text
        EXPECT_EQ(s.Text(3058), ResourceString(819));
        EXPECT_GT(sample::WhiteShare(s.Page(), 3058), 0.7);
        EXPECT_LT(sample::WhiteShare(s.Page(), 3056), 0.1) << "other labels keep the page's face";
        EXPECT_TRUE(s.Cancel());
      },
      {}, IDCANCEL);
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

// The separation dialog on a sheet state of its own: two inks, separated masters.
class SeparationLists : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    module_ = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
    ASSERT_NE(module_, nullptr);
    images_ = plat::LiveImageCount();
    context_ = std::make_unique<DocSheetContext>();
    SheetState& s = context_->State;
    s.ResourceDll = module_;
    s.ColorMode = 2;
    s.Seihan = 2;
    s.Drum1Color = 1003;
    s.Drum2Color = 1004;
    s.TextVolumeA = 1;
    s.SeparationModeA = 4;
    s.SeparationModeB = 2;
    s.AssignedModeA = s.AssignedModeB = 99;
  }
  void TearDown() override {
    EXPECT_EQ(plat::LiveImageCount(), images_) << "the dialog frees what it showed";
    plat::ui::ResetScript();
    FreeLibrary(module_);
  }
  HMODULE module_ = nullptr;
  std::size_t images_ = 0;
  std::unique_ptr<DocSheetContext> context_;
};

TEST_F(SeparationLists, OnlyTheRowOfTheAssignedModeIsDrawnMarked) {
  // Rows are not in mode order: mode 8 is row 7 of the first list, mode 9 row 13 of the second.
  const struct {
    std::uint8_t modeA, modeB;
    int rowA, rowB;
  } cases[] = {{8, 99, 7, -1}, {99, 9, -1, 13}, {7, 16, 10, 12}, {3, 3, 3, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.modeA) + "/" + std::to_string(c.modeB));
    context_->State.AssignedModeA = c.modeA;
    context_->State.AssignedModeB = c.modeB;
    plat::ui::QueueHandler([&](Screen& d) {
      for (int combo : {3062, 3064}) {
        const int expected = combo == 3062 ? c.rowA : c.rowB;
        for (int i = 0; i < d.ItemCount(combo); ++i) {
          EXPECT_EQ(BluePixels(DrawComboRow(d.window(), combo, i)) > 0, i == expected) << combo << " row " << i;
        }
      }
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_EQ(SeparationDialog(nullptr, *context_), 0);
  }
}

TEST_F(SeparationLists, InkPicturesFollowTheChosenRows) {
  const SheetState& state = context_->State;
  plat::ui::QueueHandler([&](Screen& d) {
    SheetState chosen = state;
    auto expectPictures = [&](const char* when) {
      SCOPED_TRACE(when);
      for (int id : {kDialogTextInkPicture, kDialogImageInkPicture}) {
        const plat::ui::Picture got = plat::ui::Snapshot(d.Item(id));
        ASSERT_GT(got.width, 0) << id << " was drawn";
        EXPECT_EQ(got.rgb, ReferencePicture(chosen, id, d.Item(id)).rgb) << id;
      }
    };
    expectPictures("opened");
    const std::vector<BYTE> before = plat::ui::Snapshot(d.Item(kDialogTextInkPicture)).rgb;
    // Mode 1 prints text and images with drum 2 only.
    EXPECT_TRUE(d.ChooseData(3062, 1));
    EXPECT_TRUE(d.ChooseData(3064, 1));
    chosen.SeparationModeA = chosen.SeparationModeB = 1;
    expectPictures("rows of mode 1");
    EXPECT_NE(plat::ui::Snapshot(d.Item(kDialogTextInkPicture)).rgb, before);
    EXPECT_TRUE(Contains(plat::ui::Snapshot(d.Item(kDialogTextInkPicture)), InkDisplayColour(1004)));
    EXPECT_FALSE(Contains(plat::ui::Snapshot(d.Item(kDialogTextInkPicture)), InkDisplayColour(1003)));
    EXPECT_EQ(state.SeparationModeA, 4) << "nothing is written before OK";
    EXPECT_TRUE(d.Ok());
  });
  EXPECT_EQ(SeparationDialog(nullptr, *context_), 1);
  EXPECT_EQ(state.SeparationModeA, 1);
  EXPECT_EQ(state.SeparationModeB, 1);
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
  REQUIRE_PEER(!agent.Missing(), "snmpd");
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
