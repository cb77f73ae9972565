// The copiers between DocSettings and SheetState, and the layout bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "settings/model_fixture.h"
#include "sheets/sheet_state.h"

namespace {

struct StateDeleter {
  void operator()(SheetState* s) const {
    FreeSheetNameLists(*s);
    delete s;
  }
};
using StatePtr = std::unique_ptr<SheetState, StateDeleter>;
StatePtr NewState() { return StatePtr(new SheetState{}); }

template <std::size_t N>
void SetName(WCHAR (&field)[N], std::u16string_view text) {
  std::fill(field, field + N, WCHAR{0});
  std::copy(text.begin(), text.end(), field);
}

TEST(LayoutBytes, ReadAsTheLastMatchingRuleAndWriteBack) {
  struct Case {
    std::uint8_t up, upFour, rensya, order, booklet, booklet4p;  // DS 1349, 1351, 1350, 1352, 2623, 2624
    std::uint8_t mode, sub, kind;
    std::uint8_t back[6];  // the bytes LayoutChoiceToBytes writes for that choice
  };
  const Case cases[] = {
      {0, 0, 0, 0, 0, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0}},
      {1, 0, 0, 0, 0, 0, 1, 1, 0, {1, 0, 0, 0, 0, 0}},
      {1, 1, 0, 0, 0, 0, 1, 2, 0, {1, 1, 0, 0, 0, 0}},
      {0, 0, 1, 0, 0, 0, 2, 1, 1, {0, 0, 1, 0, 0, 0}},
      {0, 0, 1, 1, 0, 0, 2, 1, 2, {0, 0, 1, 1, 0, 0}},
      {0, 0, 1, 2, 0, 0, 2, 2, 3, {0, 0, 1, 2, 0, 0}},
      {0, 0, 1, 5, 0, 0, 2, 2, 6, {0, 0, 1, 5, 0, 0}},
      {0, 0, 1, 9, 0, 0, 2, 1, 1, {0, 0, 1, 0, 0, 0}},  // unknown order: two pages, first kind
      {0, 0, 0, 0, 1, 0, 3, 0, 7, {0, 0, 0, 0, 1, 0}},
      {0, 0, 0, 0, 2, 0, 3, 0, 8, {0, 0, 0, 0, 2, 0}},
      {0, 0, 0, 0, 0, 2, 4, 0, 8, {0, 0, 0, 0, 0, 2}},
      {0, 0, 0, 0, 3, 0, 0, 0, 0, {0, 0, 0, 0, 0, 0}},  // no booklet value 3
      {1, 1, 1, 3, 2, 1, 4, 2, 7, {0, 0, 0, 0, 0, 1}},  // everything set: the second booklet kind wins
      {1, 0, 1, 4, 0, 0, 2, 2, 5, {0, 0, 1, 4, 0, 0}},
  };
  for (const Case& c : cases) {
    SheetState s{};
    s.UpLayout = c.up;
    s.UpFour = c.upFour;
    s.RensyaLayout = c.rensya;
    s.RensyaOrder = c.order;
    s.Booklet = c.booklet;
    s.Booklet4P = c.booklet4p;
    LayoutBytesToChoice(s);
    EXPECT_EQ(s.LayoutMode, c.mode) << int(c.up) << int(c.rensya) << int(c.order) << int(c.booklet);
    EXPECT_EQ(s.LayoutSub, c.sub);
    EXPECT_EQ(s.LayoutKind, c.kind);
    LayoutChoiceToBytes(s);
    const std::uint8_t back[6] = {s.UpLayout, s.UpFour, s.RensyaLayout, s.RensyaOrder, s.Booklet, s.Booklet4P};
    EXPECT_EQ(std::memcmp(back, c.back, 6), 0) << int(c.mode) << "/" << int(c.kind);
  }
}

// Random settings the pages could have made: list indices inside their lists,
// layout bytes of a real choice, names given.
DocSettings RandomSettings(const ModelCaps& caps, std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  DocSettings d = caps.Defaults;
  d.FreePaper = static_cast<std::uint8_t>(pick(0, 1));
  d.PaperIndex = static_cast<std::uint16_t>(d.FreePaper ? caps.Info.DocumentPaperCount - 1
                                                        : pick(0, static_cast<int>(caps.PaperCount()) - 1));
  d.FreeWidth = pick(90000, 320000);
  d.FreeLength = pick(140000, 432000);
  d.SheetValue24 = pick(0, 100000);
  d.SheetValue28 = pick(0, 100000);
  d.FreeUnit = static_cast<std::uint8_t>(pick(0, 1));
  d.Landscape = static_cast<std::uint8_t>(pick(0, 1));
  d.Rotate = static_cast<std::uint8_t>(pick(0, 1));
  d.OutputPaperIndex = static_cast<std::uint16_t>(pick(0, caps.Info.OutputPaperCount - 1));
  d.BinIndex = static_cast<std::uint8_t>(pick(0, caps.Info.BinCount - 1));
  SheetState layout{};
  layout.LayoutMode = static_cast<std::uint8_t>(pick(0, 4));
  layout.LayoutSub = static_cast<std::uint8_t>(pick(1, 2));
  layout.LayoutKind = static_cast<std::uint8_t>(layout.LayoutMode >= 3 ? pick(7, 8)
                                                : layout.LayoutSub == 1 ? pick(1, 2)
                                                                        : pick(3, 6));
  LayoutChoiceToBytes(layout);
  d.UpLayout = layout.UpLayout;
  d.UpFour = layout.UpFour;
  d.RensyaLayout = layout.RensyaLayout;
  d.RensyaOrder = layout.RensyaOrder;
  d.Booklet = layout.Booklet;
  d.Booklet4P = layout.Booklet4P;
  d.Duplex = static_cast<std::uint8_t>(pick(0, 2));
  d.BindingPosition = static_cast<std::uint8_t>(pick(0, 5));
  d.BindingAmount = pick(0, 500);
  d.BindingAmountInch = pick(0, 2000);
  d.BindingUnit = static_cast<std::uint8_t>(pick(0, 1));
  d.AutoReduce = static_cast<std::uint8_t>(pick(0, 1));
  d.FitPage = static_cast<std::uint8_t>(pick(0, 1));
  d.SyuuiYohaku = static_cast<std::uint8_t>(pick(0, 1));
  d.ImagePosition = static_cast<std::uint8_t>(pick(0, 1));
  for (auto& o : d.ImagePositionOffsets) o = pick(-500, 500);
  d.SheetByte2672 = static_cast<std::uint8_t>(pick(0, 255));
  d.ImagePositionEach = static_cast<std::uint8_t>(pick(0, 1));
  d.ColorMode = static_cast<std::uint8_t>(pick(1, 2));
  d.OneInkIndex = static_cast<std::uint8_t>(pick(0, 1));
  d.Seihan = static_cast<std::uint8_t>(pick(0, 2));
  d.OneInkColor = static_cast<InkCode>(pick(1001, 1023));
  d.Drum1Color = static_cast<InkCode>(pick(1001, 1023));
  d.Drum2Color = static_cast<InkCode>(pick(1032, 1063));
  for (auto& e : d.InkLab.Entry) e = InkLab{pick(0, 100), pick(-128, 127), pick(-128, 127)};
  d.SeparationKind = static_cast<std::uint8_t>(pick(0, 3));
  d.SeparationKindTwo = d.SeparationKind == 2 ? 1 : 0;
  d.SeparationModeA = static_cast<std::uint8_t>(pick(0, 5));
  d.SeparationModeACopy = d.SeparationModeA;
  d.SeparationModeB = static_cast<std::uint8_t>(pick(0, 5));
  d.StoredModeA = static_cast<std::uint8_t>(pick(0, 5));
  d.StoredModeB = static_cast<std::uint8_t>(pick(0, 5));
  d.StoredColorA = static_cast<InkCode>(pick(1001, 1063));
  d.StoredColorB = static_cast<InkCode>(pick(1001, 1063));
  d.PhotoMode = static_cast<std::uint8_t>(pick(0, 1));
  d.AmiLine = static_cast<std::int16_t>(pick(-300, 300));
  d.AmiAngle = static_cast<std::int8_t>(pick(-90, 90));
  for (std::uint8_t* b : {&d.PhotoSyurui, &d.Akarusa, &d.Contrast, &d.GyakkouOn, &d.Gyakkou, &d.Edge, &d.KaityoSmooth,
                          &d.TextProc, &d.TextVolumeA, &d.TextVolumeB, &d.Turbo, &d.Interval, &d.SyouInkMode,
                          &d.Drum2LightPrint, &d.ReversePrint, &d.DrumReverse, &d.Ninsyo, &d.Kimitu, &d.RGPanelReset,
                          &d.SortMode, &d.Staple, &d.TapeSort, &d.Interleaf, &d.RenzokuMode, &d.HoldBox,
                          &d.HoldJobOption, &d.UsbJobOption, &d.UsbFolder, &d.Preview}) {
    *b = static_cast<std::uint8_t>(pick(0, 6));
  }
  d.SpeedIndex = static_cast<std::uint8_t>(pick(0, caps.Info.SpeedCount - 1));
  d.Density1 = static_cast<std::uint8_t>(pick(0, caps.Info.DensityCount - 1));
  d.Density2 = static_cast<std::uint8_t>(pick(0, caps.Info.DensityCount - 1));
  d.ProgramPrint = 1;
  for (auto& g : d.ProgramPrintBlock) g = ProgramGroup{pick(1, 9999), pick(1, 99)};
  d.ProgramSeparator = static_cast<std::uint8_t>(pick(0, 2));
  d.NinsyoNo = pick(0, 99999999);
  d.Copies = pick(1, 9999);
  d.OutputMode = static_cast<std::uint8_t>(pick(0, 4));
  d.HoldNameFromDoc = static_cast<std::uint8_t>(pick(0, 1));
  d.UsbNameFromDoc = static_cast<std::uint8_t>(pick(0, 1));
  SetName(d.HoldJobName, d.HoldNameFromDoc ? u"" : u"Quarterly report");
  SetName(d.HoldUserName, u"anna");
  SetName(d.UsbJobName, d.UsbNameFromDoc ? u"" : u"Minutes");
  SetName(d.UsbUserName, u"ben");
  SetName(d.UsbDrive, u"E:\\");
  d.SheetMode = 0;
  const PaperEntry* paper = PaperAt(caps, d.PaperIndex);
  const bool freeSize = d.PaperIndex == caps.Info.DocumentPaperCount - 1;
  d.PaperWidth = freeSize ? d.FreeWidth / 100 : paper->Width / 100;
  d.PaperLength = freeSize ? d.FreeLength / 100 : paper->Length / 100;
  return d;
}

TEST(Copiers, SettingsMadeByThePagesRoundTripThroughTheSheetState) {
  fixture::CapsPtr caps = fixture::MakeModel(2);
  ASSERT_TRUE(HasColorPart(*caps));
  std::mt19937 rng(20261210);
  for (int round = 0; round < 200; ++round) {
    const DocSettings expected = RandomSettings(*caps, rng);
    caps->Defaults = expected;
    StatePtr state = NewState();
    SettingsToSheetState(*caps, *state);
    // Other settings in the working block: every field the pages edit must come back from the state.
    caps->Defaults = RandomSettings(*caps, rng);
    SheetStateToSettings(*caps, *state);
    ASSERT_EQ(std::memcmp(&caps->Defaults, &expected, sizeof(DocSettings)), 0) << "round " << round;
  }
}

TEST(Copiers, ListIndicesOutsideTheirListsTakePermanentElseZero) {
  fixture::CapsPtr caps = fixture::MakeModel(2);
  DocSettings& d = caps->Defaults;
  caps->Permanent.PaperIndex = 2;
  caps->Permanent.BinIndex = 1;
  caps->Permanent.SpeedIndex = 9;  // outside too: 0
  d.PaperIndex = 40;
  d.FreePaper = 0;
  d.OutputPaperIndex = 7;
  d.BinIndex = 200;
  d.SpeedIndex = 2;
  d.Density1 = 1;
  d.Density2 = 5;
  StatePtr state = NewState();
  SettingsToSheetState(*caps, *state);
  EXPECT_EQ(state->PaperIndex, 2);
  EXPECT_EQ(state->OutputPaperIndex, caps->Permanent.OutputPaperIndex);
  EXPECT_EQ(state->BinIndex, 1);
  EXPECT_EQ(state->SpeedIndex, 0);
  EXPECT_EQ(state->Density1, 1);
  EXPECT_EQ(state->Density2, caps->Permanent.Density2);
  EXPECT_EQ(state->PaperNames.Count, caps->PaperCount());
  EXPECT_EQ(std::u16string(state->PaperNames.At(1)), u"A3");
  EXPECT_EQ(state->PaperNames.At(99), nullptr);

  d.FreePaper = 1;
  SettingsToSheetState(*caps, *state);
  EXPECT_EQ(state->PaperIndex, 3) << "the free size is the last document paper";
}

TEST(Copiers, OutputModesFollowUsbOutputAndHoldMemory) {
  struct Case {
    std::uint8_t usb, hold, mask;
  };
  const Case cases[] = {{1, 1, 31}, {1, 0, 25}, {0, 1, 7}, {0, 0, 1}, {2, 1, 7}};
  fixture::CapsPtr caps = fixture::MakeModel(2);
  for (const Case& c : cases) {
    caps->Info.UsbOutEnable = c.usb;
    caps->Defaults.HoldMemoryInstalled = c.hold;
    EXPECT_EQ(OutputModeMaskFor(*caps, caps->Defaults), c.mask) << int(c.usb) << int(c.hold);
  }
}

TEST(Copiers, DefaultsModeKeepsNoDocumentNamesAndOneInkModelsNoColours) {
  fixture::CapsPtr caps = fixture::MakeModel(2);
  DocSettings& d = caps->Defaults;
  d.SheetMode = 1;
  d.HoldNameFromDoc = 0;
  SetName(d.HoldJobName, u"job");
  SetName(d.HoldUserName, u"");
  d.UsbNameFromDoc = 0;
  SetName(d.UsbDrive, u"F:\\");
  d.UsbFolder = 4;
  StatePtr state = NewState();
  SettingsToSheetState(*caps, *state);
  EXPECT_EQ(state->HoldNameFromDoc, 1);
  EXPECT_EQ(state->HoldJobName[0], 0);
  EXPECT_NE(state->HoldUserName[0], 0) << "the login name";
  EXPECT_EQ(state->UsbDrive[0], 0);
  EXPECT_EQ(state->UsbFolder, 1);
  SheetStateToSettings(*caps, *state);
  EXPECT_EQ(d.HoldNameFromDoc, 1);
  EXPECT_EQ(d.UsbDrive[0], 0);
  EXPECT_EQ(d.UsbFolder, 1);

  // Stored separation modes follow the current ones for separation kind 1 in defaults mode.
  state->SeparationKind = 1;
  state->SeparationModeA = 3;
  state->Drum2Color = 1040;
  SheetStateToSettings(*caps, *state);
  EXPECT_EQ(d.StoredModeA, 3);
  EXPECT_EQ(d.StoredColorB, 1040);
  EXPECT_EQ(state->StoredColorB, 1040);

  fixture::CapsPtr one = fixture::MakeModel(1);
  ASSERT_FALSE(HasColorPart(*one));
  one->Defaults.Drum2Color = 1050;
  StatePtr s1 = NewState();
  SettingsToSheetState(*one, *s1);
  EXPECT_EQ(s1->Drum2Color, 0) << "no colour part read";
  s1->Drum2Color = 1033;
  SheetStateToSettings(*one, *s1);
  EXPECT_EQ(one->Defaults.Drum2Color, 1050) << "nor written";
}

}  // namespace
