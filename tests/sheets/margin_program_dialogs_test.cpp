// The binding-margin and program-print dialogs driven by the scripted user on
// a document sheet context of the fixture model; each run ends with the
// SheetState the dialog handed back.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "plat/windows.h"
#include "settings/model_fixture.h"
#include "sheets/binding_margin.h"
#include "sheets/ink_color_dialog.h"
#include "sheets/program_print.h"

namespace {

struct ContextDeleter {
  void operator()(DocSheetContext* c) const {
    if (c->State.ResourceDll) FreeLibrary(c->State.ResourceDll);
    FreeSheetNameLists(c->State);
    FreeModelCaps(&c->Caps, true);
    delete c;
  }
};
using ContextPtr = std::unique_ptr<DocSheetContext, ContextDeleter>;

class SmallDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    fixture::CapsPtr caps = fixture::MakeModel(2);
    context_.reset(new DocSheetContext{});
    std::memcpy(static_cast<void*>(&context_->Caps), caps.get(), sizeof(ModelCaps));
    GlobalFree(caps.release());
    SettingsToSheetState(context_->Caps, context_->State);
    context_->State.ResourceDll = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
    ASSERT_NE(context_->State.ResourceDll, nullptr);
  }
  void TearDown() override {
    context_.reset();
    plat::ui::ResetScript();
  }
  SheetState& State() { return context_->State; }
  ContextPtr context_;
};

// ---- binding margin ----

TEST_F(SmallDialogs, FiftyMillimetresAreOnePointNinetySevenInchesAndBack) {
  State().BindingPosition = 1;
  State().BindingAmount = 500;
  State().BindingUnit = 0;
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_EQ(d.templateId(), kBindingMarginTemplate);
    EXPECT_EQ(d.Text(kMarginEdit), u"50");
    EXPECT_EQ(d.Text(kMarginRangeLabel), u"(0 - 50)");
    EXPECT_TRUE(d.Choose(kUnitCombo, 1));
    EXPECT_EQ(d.Text(kMarginEdit), u"1.97");
    EXPECT_EQ(d.Text(kMarginRangeLabel), u"(0.00 - 2.00)");
    EXPECT_TRUE(d.Choose(kUnitCombo, 0));
    EXPECT_EQ(d.Text(kMarginEdit), u"50");
    EXPECT_TRUE(d.Spin(kMarginSpin, 1));
    EXPECT_EQ(d.Text(kMarginEdit), u"50") << "the range ends at 50";
    EXPECT_TRUE(d.Spin(kMarginSpin, -2));
    EXPECT_EQ(d.Text(kMarginEdit), u"48");
    EXPECT_TRUE(d.Ok());
  });
  EXPECT_EQ(BindingMarginDialog(nullptr, *context_), 1);
  EXPECT_EQ(State().BindingAmount, 480);
  EXPECT_EQ(State().BindingAmountInch, 0);
  EXPECT_EQ(State().BindingUnit, 0);
}

TEST_F(SmallDialogs, AnInchEntryBeyondTwoIsClampedAndItsMillimetresStayInRange) {
  context_->Caps.Info.AutoReduceEnable = 1;
  State().BindingPosition = 5;
  State().BindingAmountInch = 1000;  // 1.00 in
  State().BindingUnit = 1;
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_EQ(d.Text(kMarginEdit), u"1.00");
    EXPECT_TRUE(d.Type(kMarginEdit, u"2.5"));
    EXPECT_TRUE(d.Leave());
    EXPECT_EQ(d.Text(kMarginEdit), u"2.00");
    EXPECT_TRUE(d.Check(kAutoReduceCheck, true));
    EXPECT_TRUE(d.Ok());
  });
  EXPECT_EQ(BindingMarginDialog(nullptr, *context_), 1);
  EXPECT_EQ(State().BindingAmountInch, 2000);
  EXPECT_EQ(State().BindingAmount, 500) << "2.00 in rounds to 51 mm, outside 0-50";
  EXPECT_EQ(State().BindingUnit, 1);
  EXPECT_EQ(State().AutoReduce, 1);
}

TEST_F(SmallDialogs, CancelKeepsTheMarginAndTheCheckBoxFollowsItsAvailability) {
  State().BindingPosition = 2;
  State().BindingAmount = 120;
  for (const std::uint8_t availability : {0, 1, 2}) {
    SCOPED_TRACE(int(availability));
    context_->Caps.Info.AutoReduceEnable = availability;
    plat::ui::QueueHandler([availability](plat::ui::Screen& d) {
      EXPECT_EQ(d.Visible(kAutoReduceCheck), availability != 2);
      if (availability != 2) {
        EXPECT_EQ(d.Enabled(kAutoReduceCheck), availability == 1);
      }
      EXPECT_TRUE(d.Type(kMarginEdit, u"30"));
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_EQ(BindingMarginDialog(nullptr, *context_), 0);
    EXPECT_EQ(State().BindingAmount, 120);
  }
}

TEST(BindingPicture, PositionsOneToFiveHaveTheirBitmapsAndNoOtherHasOne) {
  const UINT expected[] = {0, 556, 557, 554, 555, 558, 0, 0};
  for (std::uint8_t position = 0; position < 8; ++position) {
    EXPECT_EQ(BindingPictureId(position), expected[position]) << int(position);
  }
  EXPECT_EQ(MillimetresToHundredthsInch(50), 197);
  EXPECT_EQ(HundredthsInchToMillimetres(197), 50);
  EXPECT_EQ(HundredthsInchToMillimetres(200), 51);
}

// ---- program print ----

TEST_F(SmallDialogs, RowsWithoutCopiesAreDroppedAndTheRestMoveUp) {
  context_->Caps.Info.AishiEnable = 1;  // offered; the fixture's bin list is installed
  for (ProgramGroup& g : State().ProgramPrintBlock) g = ProgramGroup{0, 1};
  State().ProgramPrintBlock[0] = {1, 1};
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_EQ(d.templateId(), kProgramPrintTemplate);
    EXPECT_TRUE(d.Type(kFirstCopiesEdit, u"5"));
    EXPECT_TRUE(d.Type(kFirstSetsEdit, u"2"));
    EXPECT_TRUE(d.Type(kFirstCopiesEdit + 1, u"0"));
    EXPECT_TRUE(d.Type(kFirstSetsEdit + 1, u"3"));
    EXPECT_TRUE(d.Type(kFirstCopiesEdit + 2, u"7"));
    EXPECT_TRUE(d.Type(kFirstSetsEdit + 2, u"1"));
    EXPECT_TRUE(d.Click(kInterleafRadio));
    EXPECT_TRUE(d.Ok());
  });
  EXPECT_EQ(ProgramPrintDialog(nullptr, *context_, State()), 1);
  const ProgramGroup expected[6] = {{5, 2}, {7, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(State().ProgramPrintBlock[i].Copies, expected[i].Copies) << i;
    EXPECT_EQ(State().ProgramPrintBlock[i].Sets, expected[i].Sets) << i;
  }
  EXPECT_EQ(State().ProgramSeparator, 2);
}

TEST_F(SmallDialogs, ValuesOutsideTheirRangesAreRaisedWhenRead) {
  for (ProgramGroup& g : State().ProgramPrintBlock) g = ProgramGroup{0, 1};
  State().ProgramPrintBlock[0] = {3, 4};
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_TRUE(d.Type(kFirstCopiesEdit, u"0"));
    EXPECT_TRUE(d.Leave());
    EXPECT_EQ(d.Text(kFirstCopiesEdit), u"1") << "row 1 has at least one copy";
    EXPECT_TRUE(d.Type(kFirstSetsEdit + 3, u"0"));
    EXPECT_TRUE(d.Leave());
    EXPECT_EQ(d.Text(kFirstSetsEdit + 3), u"1");
    EXPECT_TRUE(d.Type(kFirstCopiesEdit + 3, u""));
    EXPECT_TRUE(d.Leave());
    EXPECT_EQ(d.Text(kFirstCopiesEdit + 3), u"0") << "empty gives the minimum";
    EXPECT_TRUE(d.Ok());
  });
  EXPECT_EQ(ProgramPrintDialog(nullptr, *context_, State()), 1);
  EXPECT_EQ(State().ProgramPrintBlock[0].Copies, 1);
  EXPECT_EQ(State().ProgramPrintBlock[0].Sets, 4);
}

TEST_F(SmallDialogs, SeparatorsFollowTheirCapabilityAndTheInstalledOptions) {
  context_->Caps.Info.TapeSortEnable = 1;
  context_->Caps.Defaults.TapeSorterInstalled = 0;
  context_->Caps.Info.AishiEnable = 2;
  State().ProgramSeparator = 1;
  State().ProgramPrintBlock[2] = {9, 9};
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_FALSE(d.Enabled(kTapeRadio)) << "the tape sorter is not installed";
    EXPECT_FALSE(d.Visible(kInterleafRadio));
    EXPECT_EQ(d.Checked(kTapeRadio), static_cast<int>(BST_CHECKED));
    EXPECT_TRUE(d.Click(kClearRowsButton));
    EXPECT_EQ(d.Text(kFirstCopiesEdit), u"1");
    EXPECT_EQ(d.Text(kFirstCopiesEdit + 2), u"0");
    EXPECT_EQ(d.Text(kFirstSetsEdit + 2), u"1");
    EXPECT_TRUE(d.Cancel());
  });
  EXPECT_EQ(ProgramPrintDialog(nullptr, *context_, State()), 0);
  EXPECT_EQ(State().ProgramPrintBlock[2].Copies, 9) << "cancel changes nothing";
  context_->Caps.Defaults.TapeSorterInstalled = 1;
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_TRUE(d.Enabled(kTapeRadio));
    EXPECT_TRUE(d.Cancel());
  });
  EXPECT_EQ(ProgramPrintDialog(nullptr, *context_, State()), 0);
}

}  // namespace

// ---- ink colours ----

namespace {

struct DevContextDeleter {
  void operator()(DevSheetContext* c) const {
    if (c->ResourceDll) FreeLibrary(c->ResourceDll);
    FreeModelCaps(&c->Caps, true);
    delete c;
  }
};
using DevContextPtr = std::unique_ptr<DevSheetContext, DevContextDeleter>;

class InkColours : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    fixture::CapsPtr caps = fixture::MakeModel(2);
    context_.reset(new DevSheetContext{});
    std::memcpy(static_cast<void*>(&context_->Caps), caps.get(), sizeof(ModelCaps));
    GlobalFree(caps.release());
    context_->ResourceDll = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
    ASSERT_NE(context_->ResourceDll, nullptr);
    context_->Caps.Info.GetInformationEnable = 1;
  }
  void TearDown() override {
    context_.reset();
    plat::ui::ResetScript();
  }
  DocSettings& Settings() { return context_->Caps.Defaults; }
  DevContextPtr context_;
};

TEST_F(InkColours, OkNeedsAsManyRegisteredColoursAsDrumsAndCancelChangesNothing) {
  const DocSettings before = Settings();
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_EQ(d.templateId(), kInkColorTemplate);
    ASSERT_EQ(d.ItemCount(kRegisteredList), 2);
    EXPECT_EQ(d.ItemText(kRegisteredList, 0), u"Black");
    EXPECT_EQ(d.ItemCount(kAvailableList), 53);
    EXPECT_TRUE(d.Enabled(IDOK));
    EXPECT_FALSE(d.Enabled(kRemoveColorButton)) << "nothing selected";
    EXPECT_TRUE(d.Select(kRegisteredList, {0}));
    EXPECT_TRUE(d.Click(kRemoveColorButton));
    EXPECT_EQ(d.ItemCount(kRegisteredList), 1);
    EXPECT_FALSE(d.Enabled(IDOK)) << "one colour for two drums";
    EXPECT_TRUE(d.Select(kRegisteredList, {0}));
    EXPECT_TRUE(d.Click(kRemoveColorButton));
    EXPECT_EQ(d.ItemCount(kRegisteredList), 0);
    EXPECT_FALSE(d.Enabled(kGetInfoButton)) << "no printer address";
    EXPECT_TRUE(d.Cancel());
  });
  EXPECT_EQ(InkColorDialog(nullptr, *context_), 0);
  EXPECT_EQ(std::memcmp(&Settings(), &before, sizeof(DocSettings)), 0);
}

TEST_F(InkColours, AddedColoursAreRegisteredOnOk) {
  plat::ui::QueueHandler([](plat::ui::Screen& d) {
    EXPECT_TRUE(d.Select(kAvailableList, {0, 2}));
    EXPECT_TRUE(d.Click(kAddColorButton));
    EXPECT_EQ(d.ItemCount(kRegisteredList), 4);
    EXPECT_TRUE(d.Ok());
  });
  ASSERT_EQ(InkColorDialog(nullptr, *context_), 1);
  // Available were 1002, 1003, 1005, ...: items 0 and 2 are 1002 and 1005.
  EXPECT_EQ(Settings().InkMarks[ColorIdIndex(1002)], 1);
  EXPECT_EQ(Settings().InkMarks[ColorIdIndex(1005)], 1);
  EXPECT_EQ(Settings().InkMarks[ColorIdIndex(1003)], 0);
  EXPECT_EQ(Settings().InkMarks[ColorIdIndex(1001)], 1);
}

// A list whose selection was cancelled (LBN_SELCANCEL) runs the same rules
// as a changed one: the buttons follow what the lists hold selected now.
TEST_F(InkColours, ACancelledSelectionRunsTheEnableRulesAsAChangedOne) {
  for (const WORD code : {LBN_SELCHANGE, LBN_SELCANCEL}) {
    SCOPED_TRACE(code);
    plat::ui::QueueHandler([code](plat::ui::Screen& d) {
      ASSERT_FALSE(d.Enabled(kAddColorButton));
      SendMessageW(d.Item(kAvailableList), LB_SETSEL, TRUE, 1);  // no notification of its own
      SendMessageW(d.window(), WM_COMMAND, MAKELONG(static_cast<WORD>(kAvailableList), code),
                   reinterpret_cast<LPARAM>(d.Item(kAvailableList)));
      EXPECT_TRUE(d.Enabled(kAddColorButton));
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_EQ(InkColorDialog(nullptr, *context_), 0);
  }
}

TEST_F(InkColours, TheGetInformationGroupFollowsItsAvailability) {
  for (const std::uint8_t availability : {0, 2}) {
    SCOPED_TRACE(int(availability));
    context_->Caps.Info.GetInformationEnable = availability;
    plat::ui::QueueHandler([availability](plat::ui::Screen& d) {
      EXPECT_FALSE(d.Enabled(kGetInfoButton) && d.Visible(kGetInfoButton));
      EXPECT_EQ(d.Visible(kInkResultFrame), availability != 2);
      EXPECT_FALSE(d.Visible(kInkResultIcon));
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_EQ(InkColorDialog(nullptr, *context_), 0);
  }
}

}  // namespace
