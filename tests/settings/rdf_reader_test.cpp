// The model data file reader against the sample models and damaged copies.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rdf_fixture.h"
#include "settings/doc_settings.h"
#include "settings/rdf_reader.h"
#include "support/peer.h"
#include "support/run_command.h"

namespace {

using namespace rdftest;

// Offsets where two records differ, for a readable failure.
std::string Differences(const void* want, const void* got, std::size_t n) {
  const auto* a = static_cast<const BYTE*>(want);
  const auto* b = static_cast<const BYTE*>(got);
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) out += " @" + std::to_string(i) + ":" + std::to_string(a[i]) + "!=" + std::to_string(b[i]);
  }
  return out;
}

std::u16string Name(const ModelCaps& caps, unsigned id) { return std::u16string(plat::view(NameListText(caps.Names, id))); }

// ---------------------------------------------------------------------------
// Value scanner

TEST(RdfValueTest, ScansFieldsByFormat) {
  struct Case {
    const char16_t* value;
    const char* format;
    int result;
    std::vector<int> numbers;
    std::vector<std::u16string> texts;
  };
  const Case cases[] = {
      {u"701", "%d", 1, {701}, {}},
      {u"  -45 ,\t+90", "%d%d", 1, {-45, 90}, {}},
      {u"12abc,7", "%d%d", 1, {12, 7}, {}},             // digits end at the first other character
      {u"abc", "%d", 1, {0}, {}},                       // no digits: 0
      {u"99999999999", "%d", 1, {2147483647}, {}},      // saturated, not wrapped
      {u"-99999999999", "%d", 1, {-2147483647 - 1}, {}},
      {u"A4 ,9,2100,2970,MM", "%s%d%d%d%s", 1, {9, 2100, 2970}, {u"A4 ", u"MM"}},
      {u"Letter,1", "%s%d%d%d%s", 1, {1, 0, 0}, {u"Letter", u""}},  // missing fields are zero / empty
      {u"", "%d%d", 1, {0, 0}, {}},
      {u"5", "", 1, {}, {}},
      {u"5", "%x", -1, {}, {}},
      {u"5", "%d%f", -1, {}, {}},
      {u"5", "%", -1, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::utf8(c.value) + " / " + c.format);
    std::vector<int> numbers(4, -7);
    std::vector<std::u16string> texts(2, u"x");
    std::vector<RdfTarget> targets;
    std::size_t n = 0;
    std::size_t t = 0;
    for (std::size_t i = 0; i + 1 < std::strlen(c.format); i += 2) {
      if (c.format[i + 1] == 's') {
        targets.push_back({nullptr, &texts[t++]});
      } else {
        targets.push_back({&numbers[n++], nullptr});
      }
    }
    EXPECT_EQ(ScanRdfValue(c.value, c.format, targets), c.result);
    if (c.result != 1) continue;
    for (std::size_t i = 0; i < c.numbers.size(); ++i) EXPECT_EQ(numbers[i], c.numbers[i]) << i;
    for (std::size_t i = 0; i < c.texts.size(); ++i) EXPECT_EQ(texts[i], c.texts[i]) << i;
  }
}

TEST(RdfValueTest, TextFieldsAreCutAt256UnitsAndTargetsMustCoverTheFormat) {
  std::u16string text;
  const std::u16string value = std::u16string(300, u'n') + u",4";
  int number = 0;
  const RdfTarget targets[] = {{nullptr, &text}, {&number, nullptr}};
  ASSERT_EQ(ScanRdfValue(value, "%s%d", targets), 1);
  EXPECT_EQ(text.size(), kRdfTextMax);
  EXPECT_EQ(number, 4);
  EXPECT_EQ(ScanRdfValue(value, "%s%d%d", targets), -1);
}

TEST(RdfValueTest, NextFieldConsumesTheSeparator) {
  std::u16string field;
  EXPECT_EQ(NextRdfField(u"  ab,cd", field), 5u);
  EXPECT_EQ(field, u"ab");
  EXPECT_EQ(NextRdfField(u"cd", field), 2u);
  EXPECT_EQ(field, u"cd");
  EXPECT_EQ(NextRdfField(u"", field), 0u);
  EXPECT_EQ(field, u"");
}

// ---------------------------------------------------------------------------
// Sample models

class RdfSampleTest : public RdfTest {
 protected:
  // Loads a sample model and checks its scalar part, "Defaults" and
  // "Permanent" (equal in the samples) byte for byte; null when the load fails.
  CapsPtr LoadWhole(const Model& model, const CapsInfo& info, const DocSettings& defaults) {
    int result = 0;
    RdfLoadReport report;
    CapsPtr caps = Load(model, SampleText(model), &result, &report);
    EXPECT_EQ(result, 1) << plat::utf8(report.section) << " / " << plat::utf8(report.key);
    if (result != 1) return nullptr;
    EXPECT_EQ(std::memcmp(&info, &caps->Info, sizeof(CapsInfo)), 0) << Differences(&info, &caps->Info, sizeof(CapsInfo));
    EXPECT_EQ(std::memcmp(&defaults, &caps->Defaults, sizeof(DocSettings)), 0)
        << Differences(&defaults, &caps->Defaults, sizeof(DocSettings));
    EXPECT_EQ(std::memcmp(&caps->Defaults, &caps->Permanent, sizeof(DocSettings)), 0);
    return caps;
  }
};

// CapsInfo of the NEVO RP2600 as its file describes it (Windows 7 x64 profile,
// English resources).
CapsInfo TwoDrumInfo() {
  CapsInfo i{};
  i.DocumentPaperCount = 7;
  i.CustomPaperCount = 2;
  i.MaxPaperWidth = 320000;
  i.MaxPaperLength = 435000;
  i.MinPaperWidth = 90000;
  i.MinPaperLength = 148000;
  i.FreeDefaultWidth = 215900;
  i.FreeDefaultLength = 279400;
  i.Margins[0] = 50;
  i.Margins[1] = 50;
  i.Margins[2] = 40;
  i.Margins[3] = 60;
  i.NameCount = 34;
  i.FirstCustomNameId = 33;
  i.OutputPaperCount = 4;
  i.ResolutionCount = 4;
  i.SpeedCount = 5;
  i.DensityCount = 5;
  i.SortEnable = 1;
  i.StapleEnable = 1;
  i.SortCount = 3;
  i.TapeSortEnable = 1;
  i.HoldMemoryEnable = 1;
  i.HoldMemoryDefaultOnOFF = 1;
  i.HoldMemoryDirectoryEnable = 1;
  i.ProgramPrintEnable = 1;
  i.AishiEnable = 1;
  i.IntervalEnable = 1;
  i.TurboEnable = 1;
  i.KimituEnable = 1;
  i.SpeedListEnable = 1;
  i.DensityListEnable = 1;
  i.ResolutionEnable = 1;
  i.UserPaperResisterEnable = 1;
  i.UserPaperFileEnable = 1;
  i.NinsyoNoMax = 9999;
  for (std::uint8_t* b : {&i.OutputPaperEnable, &i.PageLayoutEnable, &i.SyuuiYohakuEnable, &i.RotateEnable,
                          &i.LayoutImageEnable, &i.RenzokuModeEnable, &i.OutputModeEnable, &i.SeihanEnable,
                          &i.UsbOutEnable, &i.PhotoModeEnable, &i.AmiLineEnable, &i.AmiAngleEnable,
                          &i.GazouTyouseiEnable, &i.AkarusaEnable, &i.ContrastEnable, &i.GyakkouEnable, &i.EdgeEnable,
                          &i.TextProcEnable, &i.TextVolumeEnable, &i.KaityoSmoothEnable, &i.PhotoSyuruiEnable,
                          &i.InkInformationEnable, &i.OsusumeSepaEnable}) {
    *b = 1;
  }
  i.BinCount = 3;
  i.BinListEnable = 1;
  i.BinListDefaultOnOFF = 1;
  i.DrumCount = 2;
  i.InkColorList = 1;
  i.RGPanelResetEnable = 1;
  i.RGPanelResetDefault = 1;
  i.AmiLineMin = 50;
  i.AmiLineMax = 200;
  i.AmiAngleMax = 90;
  i.AmiLineDefault = 100;
  i.AmiAngleDefault = 45;
  i.TextProcDefault = 1;
  i.WindowsKind = 111;
  i.ResourceLanguage = 1;
  i.SepaProcUseFlag = 1;
  i.SepaDefaultA = 4;
  i.SepaDefaultACopy = 4;
  i.SepaDefaultB = 3;  // KanPare
  i.KanPareUseFlag = 1;
  i.SepaDefault = 1;
  i.UnitValue = 130;
  i.DuplexEnable = 1;
  i.SaveSettingEnable = 1;
  i.SaveSettingFileEnable = 1;
  i.PreviewEnable = 1;
  i.RecognizedByPreview = 300;
  for (std::uint8_t* b : {&i.RensyaEnable, &i.NupEnable, &i.BookletEnable, &i.FourPBookletEnable,
                          &i.BindingMarginEnable, &i.AutoReduceEnable, &i.FitPageEnable, &i.ImagePositionEnable,
                          &i.ImagePositionEachSettingEnable, &i.ImagePositionResetEnable, &i.AppSepaSupportEnable,
                          &i.SepaEnable, &i.Drum2LightPrintEnable, &i.ReversePrintEnable, &i.DrumReverseEnable,
                          &i.PrinterIPAdressEnable, &i.PrintColorEntryEnable}) {
    *b = 1;
  }
  i.GetInformationType = 2;
  i.GetInformationOn = 1;
  i.GetInformationBoth = 1;
  i.GetInformationEnable = 1;
  i.OverseaModelUIChange = 1;
  i.OriginalSizeEnable = 1;
  i.OrientationEnable = 1;
  i.PrintCopiesEnable = 1;
  i.NinsyoEnable = 1;
  i.SyouInkModeEnable = 1;
  i.CopiesMin = 1;
  i.CopiesMax = 9999;
  return i;
}

// Fields both models share: the fixed rules of every load.
void CommonDefaults(DocSettings& d) {
  d.InkLab = kInkLabDefaults;
  d.HoldNameFromDoc = 1;
  d.UsbNameFromDoc = 1;
  d.Copies = 1;
  SetFieldText(d.PrinterAddress, u"0.0.0.0");
  d.ProgramPrintBlock[0] = {1, 1};
  for (int g = 1; g < 6; ++g) d.ProgramPrintBlock[g] = {0, 1};
}

DocSettings TwoDrumDefaults() {
  DocSettings d{};
  CommonDefaults(d);
  d.ColorMode = 2;
  d.OneInkIndex = 1;
  d.Seihan = 1;
  d.FreeWidth = 215900;
  d.FreeLength = 279400;
  d.OneInkColor = d.Drum1Color = d.StoredColorA = 1001;
  d.Drum2Color = d.StoredColorB = 1003;
  d.InkMarks[0] = 1;  // 1001
  d.InkMarks[2] = 1;  // 1003
  d.PaperIndex = 2;   // Letter
  d.HoldBox = 1;
  d.Thumbnail = 1;
  d.SeparationModeA = d.SeparationModeACopy = d.StoredModeA = 4;
  d.SeparationModeB = d.StoredModeB = 3;
  d.TextProc = 1;
  d.TextVolumeB = 1;
  d.AmiLine = 100;
  d.AmiAngle = 45;
  d.Akarusa = 3;
  d.Contrast = 3;
  d.Gyakkou = 2;
  d.PhotoSyurui = 1;
  d.SpeedIndex = 2;
  d.Density1 = 2;
  d.Density2 = 2;
  d.RGPanelReset = 1;
  d.InkInformation = 1;
  d.HoldMemoryInstalled = 1;
  d.BinListInstalled = 1;
  d.ImagePositionEach = 1;
  return d;
}

CapsInfo OneDrumInfo() {
  CapsInfo i{};
  i.DocumentPaperCount = 9;
  i.CustomPaperCount = 1;
  i.MaxPaperWidth = 297000;
  i.MaxPaperLength = 432000;
  i.MinPaperWidth = 100000;
  i.MinPaperLength = 148000;
  i.FreeDefaultWidth = 210000;
  i.FreeDefaultLength = 297000;
  for (auto& m : i.Margins) m = 50;
  i.NameCount = 27;
  i.FirstCustomNameId = 27;
  i.OutputPaperCount = 4;
  i.ResolutionCount = 2;
  i.SpeedCount = 3;
  i.DensityCount = 5;
  i.SortCount = 1;
  i.TapeSortEnable = 2;
  i.HoldMemoryEnable = 2;
  i.HoldMemoryDirectoryEnable = 2;
  i.ProgramPrintEnable = 1;
  i.IntervalEnable = 1;
  i.KimituEnable = 1;
  i.SpeedListEnable = 1;
  i.DensityListEnable = 1;
  i.ResolutionEnable = 1;
  i.UserPaperResisterEnable = 1;
  i.UserPaperFileEnable = 1;
  i.NinsyoNoMax = 999;
  for (std::uint8_t* b : {&i.OutputPaperEnable, &i.PageLayoutEnable, &i.SyuuiYohakuEnable, &i.RotateEnable,
                          &i.LayoutImageEnable, &i.OutputModeEnable, &i.SeihanEnable, &i.PhotoModeEnable,
                          &i.AmiLineEnable, &i.AmiAngleEnable, &i.GazouTyouseiEnable, &i.AkarusaEnable,
                          &i.ContrastEnable, &i.EdgeEnable, &i.TextProcEnable, &i.TextVolumeEnable,
                          &i.InkInformationEnable}) {
    *b = 1;
  }
  i.UsbOutEnable = 2;
  i.OsusumeSepaEnable = 2;
  i.DrillEnable = 2;
  i.BinCount = 1;
  i.BinListEnable = 2;
  i.DrumCount = 1;
  i.InkColorList = 1;
  i.DrumColorPattern = 1;
  i.RGPanelResetEnable = 2;
  i.AmiLineMin = 50;
  i.AmiLineMax = 150;
  i.AmiAngleMax = 90;
  i.AmiLineDefault = 75;
  i.AmiAngleDefault = 45;
  i.WindowsKind = 111;
  i.ResourceLanguage = 1;
  i.SepaDefaultA = 2;
  i.SepaDefaultACopy = 2;
  i.SepaDefaultB = 2;
  i.SaveSettingEnable = 1;
  i.SaveSettingFileEnable = 1;
  i.PreviewEnable = 1;
  i.RecognizedByPreview = 1;
  i.RensyaEnable = 1;
  i.NupEnable = 1;
  i.BookletEnable = 1;
  i.FourPBookletEnable = 2;
  i.BindingMarginEnable = 1;
  i.AutoReduceEnable = 1;
  i.FitPageEnable = 1;
  for (std::uint8_t* b : {&i.ImagePositionEnable, &i.ImagePositionEachSettingEnable, &i.ImagePositionResetEnable,
                          &i.AppSepaSupportEnable, &i.SepaEnable, &i.Drum2LightPrintEnable, &i.DrumReverseEnable,
                          &i.PrintColorEntryEnable, &i.NinsyoEnable, &i.SyouInkModeEnable}) {
    *b = 2;
  }
  i.ReversePrintEnable = 1;
  i.PrinterIPAdressEnable = 1;
  i.GetInformationType = 1;
  i.GetInformationOn = 1;
  i.GetInformationEnable = 1;
  i.OriginalSizeEnable = 1;
  i.OrientationEnable = 1;
  i.PrintCopiesEnable = 1;
  i.CopiesMin = 1;
  i.CopiesMax = 9999;
  return i;
}

DocSettings OneDrumDefaults() {
  DocSettings d{};
  CommonDefaults(d);
  d.ColorMode = 1;
  d.OneInkIndex = 0;
  d.FreeWidth = 210000;
  d.FreeLength = 297000;
  d.OneInkColor = d.Drum1Color = d.Drum2Color = d.StoredColorA = d.StoredColorB = 1001;
  d.InkMarks[0] = 1;
  d.PaperIndex = 2;  // A4
  d.HoldBox = 1;
  d.SyuuiYohaku = 1;
  d.SeparationModeA = d.SeparationModeACopy = d.StoredModeA = 2;
  d.SeparationModeB = d.StoredModeB = 2;
  d.PhotoMode = 1;
  d.TextVolumeA = 1;
  d.AmiLine = 75;
  d.AmiAngle = 45;
  d.Edge = 1;
  d.Akarusa = 2;
  d.Contrast = 2;
  d.Gyakkou = 1;
  d.PhotoSyurui = 3;  // photo kind not offered
  d.SpeedIndex = 1;
  d.Density1 = 2;
  d.Density2 = 2;
  d.ResolutionIndex = 1;
  d.AutoReduce = 1;
  d.FitPage = 1;
  return d;
}

struct PaperWant {
  std::int32_t width, length;
  std::uint16_t inch, id;
  const char16_t* name;
};

void ExpectPapers(const ModelCaps& caps, const PaperEntry* list, const std::vector<PaperWant>& want) {
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list[i].Width, want[i].width);
    EXPECT_EQ(list[i].Length, want[i].length);
    EXPECT_EQ(list[i].InchFlag, want[i].inch);
    EXPECT_EQ(list[i].PaperId, want[i].id);
    EXPECT_EQ(list[i].Zero, 0);
    EXPECT_EQ(Name(caps, list[i].NameId), want[i].name);
  }
}

TEST_F(RdfSampleTest, TwoDrumModelLoadsWhole) {
  CapsPtr caps = LoadWhole(kTwoDrum, TwoDrumInfo(), TwoDrumDefaults());
  ASSERT_NE(caps, nullptr);
  const ModelCaps& c = *caps;

  ExpectPapers(c, c.Papers,
               {{279400, 431800, 0, 3, u"Tabloid"},
                {215900, 355600, 0, 5, u"Legal"},
                {215900, 279400, 0, 1, u"Letter"},
                {139700, 215900, 0, 6, u"Statement"},
                {210000, 297000, 0, 9, u"A4"},
                {215900, 330200, 0, 119, u"Legal 13"},
                {215900, 279400, 0, 256, u"Free Size"},
                {215900, 139700, 1, 300, u"Half Letter Wide"},
                {127000, 188000, 0, 301, u"Program Card"}});
  ExpectPapers(c, c.OutputPapers,
               {{0, 0, 0, 0, u"Same as Document Size"},
                {279400, 431800, 0, 3, u"Tabloid"},
                {215900, 355600, 0, 5, u"Legal"},
                {215900, 279400, 0, 1, u"Letter"}});
  ExpectPapers(c, &c.FreePaper, {{215900, 279400, 0, 256, u"Free"}});
  EXPECT_EQ(c.Papers[7].NameId, 33);

  const BinEntry bins[] = {{0, 15, 0, 13}, {1, 256, 1, 14}, {2, 257, 2, 15}};
  EXPECT_EQ(std::memcmp(bins, c.Bins, sizeof(bins)), 0);
  EXPECT_EQ(Name(c, 15), u"Paper Feed Unit 3");
  const ResolutionEntry dpi[] = {{300, 300, 0, 26}, {300, 600, 1, 27}, {300, 400, 2, 28}, {600, 600, 3, 29}};
  EXPECT_EQ(std::memcmp(dpi, c.Resolutions, sizeof(dpi)), 0);
  const LevelEntry speeds[] = {{1, 16}, {2, 17}, {3, 18}, {4, 19}, {5, 20}};
  EXPECT_EQ(std::memcmp(speeds, c.Speeds, sizeof(speeds)), 0);
  const LevelEntry densities[] = {{1, 21}, {2, 22}, {3, 23}, {4, 24}, {5, 25}};
  EXPECT_EQ(std::memcmp(densities, c.Densities, sizeof(densities)), 0);
  const LevelEntry sorts[] = {{0, 30}, {1, 31}, {2, 32}};
  EXPECT_EQ(std::memcmp(sorts, c.Sorts, sizeof(sorts)), 0);
  EXPECT_EQ(Name(c, 32), u"Sorter with Stapler");
  EXPECT_EQ(Name(c, 34), u"Program Card");
  EXPECT_EQ(NameListFind(c.Names, 35), nullptr);

  ASSERT_NE(c.CustomPapers, nullptr);
  EXPECT_EQ(c.CustomPapers->Count, 2);
  EXPECT_EQ(FieldText(c.CustomPapers->Entry[0].Name), u"Half Letter Wide");
  EXPECT_EQ(c.CustomPapers->Entry[0].Width, 215900);
  EXPECT_EQ(c.CustomPapers->Entry[0].InchFlag, 1);
  EXPECT_EQ(c.CustomPapers->Entry[1].PaperId, 301);
}

TEST_F(RdfSampleTest, OneDrumModelLoadsWhole) {
  CapsPtr caps = LoadWhole(kOneDrum, OneDrumInfo(), OneDrumDefaults());
  ASSERT_NE(caps, nullptr);
  const ModelCaps& c = *caps;

  ExpectPapers(c, c.Papers,
               {{297000, 420000, 0, 8, u"A3"},
                {257000, 364000, 0, 12, u"B4"},
                {210000, 297000, 0, 9, u"A4"},
                {182000, 257000, 0, 13, u"B5"},
                {148000, 210000, 0, 11, u"A5"},
                {100000, 148000, 0, 43, u"Postcard"},
                {148000, 200000, 0, 119, u"Wide Postcard"},
                {210000, 330000, 0, 120, u"Foolscap"},  // unit "mm" in lower case
                {210000, 297000, 0, 256, u"Free Size"},
                {80000, 180000, 0, 300, u"Ticket"}});
  ExpectPapers(c, c.OutputPapers, {{0, 0, 0, 0, u"Same as Document Size"}, {297000, 420000, 0, 8, u"A3"}});
  ExpectPapers(c, &c.FreePaper, {{210000, 297000, 0, 256, u"Free"}});
  const BinEntry bins[] = {{0, 15, 0, 15}};
  EXPECT_EQ(std::memcmp(bins, c.Bins, sizeof(bins)), 0);
  const ResolutionEntry dpi[] = {{300, 300, 0, 24}, {400, 400, 1, 25}};
  EXPECT_EQ(std::memcmp(dpi, c.Resolutions, sizeof(dpi)), 0);
  const LevelEntry sorts[] = {{0, 26}};
  EXPECT_EQ(std::memcmp(sorts, c.Sorts, sizeof(sorts)), 0);
  EXPECT_EQ(Name(c, 27), u"Ticket");
  EXPECT_EQ(c.CustomPapers->Count, 1);
}

// An outside INI reader's view of a file: "section\tkey\tvalue" lines.
std::string CrudiniLines(const std::string& path) {
  std::string out;
  const std::string cmd = "crudini --get --format=lines '" + path + "' 2>/dev/null";
  testsupport::RunCommand(cmd, &out);
  return out;
}

TEST_F(RdfSampleTest, SampleListsMatchTheirSizesForAnOutsideIniReader) {
  REQUIRE_PEER(testsupport::HasProgram("crudini"), "crudini");
  for (const Model& m : {kTwoDrum, kOneDrum}) {
    SCOPED_TRACE(m.file);
    const std::string lines = CrudiniLines(std::string(MODELS_DIR_STR) + "/" + m.file);
    ASSERT_FALSE(lines.empty());
    // Every "...Size = n" of a list section has its entries 1..n beside it.
    std::size_t at = 0;
    int lists = 0;
    while ((at = lines.find("ListSize = ", at)) != std::string::npos) {
      const std::size_t lineStart = lines.rfind('\n', at) + 1;
      const std::string section = lines.substr(lineStart, lines.find(" ]", lineStart) - lineStart + 2);
      const int size = std::atoi(lines.c_str() + at + 11);
      for (int i = 1; i <= size; ++i) {
        EXPECT_NE(lines.find(section + " " + std::to_string(i) + " = "), std::string::npos) << section << " " << i;
      }
      ++lists;
      ++at;
    }
    EXPECT_EQ(lists, 8);
  }
}

// ---------------------------------------------------------------------------
// Damaged files stop at the right key

TEST_F(RdfSampleTest, DamagedFilesStopAtTheFaultyKey) {
  struct Case {
    const char* what;
    const char* key;   // line to change
    const char* line;  // new line, "" removes it
    RdfFault fault;
    const char16_t* section;
    const char16_t* faultKey;
  };
  const Case cases[] = {
      {"version 700", "Version", "Version=700", RdfFault::BadVersion, u"RDF format version", u"Version"},
      {"no version", "Version", "", RdfFault::MissingKey, u"RDF format version", u"Version"},
      {"no document list", "DocumentPaperList", "", RdfFault::MissingKey, u"NEVO RP2600", u"DocumentPaperList"},
      {"list size 255", "DocumentPaperListSize", "DocumentPaperListSize=255", RdfFault::BadListSize,
       u"RP2600 Document Papers", u"DocumentPaperListSize"},
      {"negative list size", "BinListSize", "BinListSize=-1", RdfFault::BadListSize, u"RP2600 Bins", u"BinListSize"},
      {"empty bin list", "BinListSize", "BinListSize=0", RdfFault::BadListSize, u"RP2600 Bins", u"BinListSize"},
      {"empty resolution list", "ResolutionListSize", "ResolutionListSize=0", RdfFault::BadListSize,
       u"RP2600 Resolutions", u"ResolutionListSize"},
      {"missing entry", "3", "", RdfFault::MissingKey, u"RP2600 Document Papers", u"3"},
      {"paper size overflows", "1", "1=Tabloid,3,99999999999,17000,INCH", RdfFault::BadValue,
       u"RP2600 Document Papers", u"1"},
      {"empty value", "ImagePositionEachSettingDefault", "ImagePositionEachSettingDefault=", RdfFault::MissingKey,
       u"NEVO RP2600", u"ImagePositionEachSettingDefault"},
      {"limit overflows", "MaxPaperSize", "MaxPaperSize=30000000,4350", RdfFault::BadValue, u"NEVO RP2600",
       u"MaxPaperSize"},
      {"no drum count", "DrumCount", "", RdfFault::MissingKey, u"NEVO RP2600", u"DrumCount"},
      {"no sort list size", "SortListSize", "", RdfFault::MissingKey, u"RP2600 Sorters", u"SortListSize"},
      {"last key missing", "TapeSortDefaultOnOFF", "", RdfFault::MissingKey, u"NEVO RP2600", u"TapeSortDefaultOnOFF"},
      {"custom list without size", "CustomPaperListSize", "", RdfFault::MissingKey, u"RP2600 Custom Papers",
       u"CustomPaperListSize"},
      // Numbers beyond 32 bits fit no field; _wtoi's saturation would load them as the largest value.
      {"drum count beyond 32 bits", "DrumCount", "DrumCount=4294967297", RdfFault::OutOfRange, u"NEVO RP2600",
       u"DrumCount"},
      {"preview flag beyond 32 bits", "RecognizedByPreview", "RecognizedByPreview=99999999999", RdfFault::OutOfRange,
       u"NEVO RP2600", u"RecognizedByPreview"},
      {"negative beyond 32 bits", "MarginSize", "MarginSize=0,-99999999999,0,0", RdfFault::OutOfRange, u"NEVO RP2600",
       u"MarginSize"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    int result = -1;
    RdfLoadReport report;
    const std::string text = WithLine(SampleText(kTwoDrum), c.key, c.line);
    CapsPtr caps = Load(kTwoDrum, text, &result, &report);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(report.fault, c.fault);
    EXPECT_EQ(report.section, c.section);
    EXPECT_EQ(report.key, c.faultKey);
    // The report's line is the changed line's, or 0 for a key that is not there.
    if (*c.line != '\0') {
      const std::size_t at = text.find(std::string("\n") + c.line);
      ASSERT_NE(at, std::string::npos);
      EXPECT_EQ(report.line, 2 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
    } else if (c.fault == RdfFault::MissingKey) {
      EXPECT_EQ(report.line, 0u);
    }
  }
}

TEST_F(RdfSampleTest, TheLoadMessageNamesTheFaultKeySectionAndLine) {
  int result = -1;
  RdfLoadReport report;
  CapsPtr caps = Load(kTwoDrum, WithLine(SampleText(kTwoDrum), "DrumCount", "DrumCount=4294967297"), &result, &report);
  ASSERT_EQ(result, 0);
  ASSERT_GT(report.line, 0u);
  EXPECT_EQ(RdfLoadMessage(report), u"model data file: \"DrumCount\" in [NEVO RP2600], line " +
                                        plat::u16(std::to_string(report.line)) + u": a number that does not fit its field");
  report.line = 0;
  report.fault = RdfFault::MissingKey;
  EXPECT_EQ(RdfLoadMessage(report), u"model data file: \"DrumCount\" in [NEVO RP2600]: missing or empty");
  EXPECT_EQ(RdfLoadMessage(RdfLoadReport{}), u"");
}

TEST_F(RdfSampleTest, WhatWasReadBeforeTheFaultStays) {
  int result = -1;
  CapsPtr caps = Load(kTwoDrum, WithLine(SampleText(kTwoDrum), "DrumCount", ""), &result);
  ASSERT_EQ(result, 0);
  EXPECT_EQ(caps->Info.DocumentPaperCount, 7);  // lists come first
  EXPECT_EQ(caps->Info.MaxPaperWidth, 320000);  // keys before DrumCount
  EXPECT_EQ(caps->Info.DrumCount, 0);
  EXPECT_EQ(caps->Info.PreviewEnable, 0);  // keys after it are not read
}

// ---------------------------------------------------------------------------
// Rules of single keys

TEST_F(RdfSampleTest, ValueRules) {
  struct Case {
    const char* what;
    std::vector<std::pair<const char*, const char*>> edits;
    std::function<void(const ModelCaps&)> check;
  };
  const std::vector<Case> cases = {
      {"copies 300 stay 300", {{"PrintCopiesDefault", "PrintCopiesDefault=300"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.Copies, 300); }},
      {"copies 0 become 1", {{"PrintCopiesDefault", "PrintCopiesDefault=0"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.Copies, 1); }},
      {"copies -5 become 1", {{"PrintCopiesDefault", "PrintCopiesDefault=-5"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.Copies, 1); }},
      {"copies 20000 become 9999", {{"PrintCopiesDefault", "PrintCopiesDefault=20000"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.Copies, 9999); }},
      {"information type 3", {{"GetInformationType", "GetInformationType=3"}},
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Info.GetInformationType, 3);
         EXPECT_EQ(c.Info.GetInformationOn, 0);
         EXPECT_EQ(c.Info.GetInformationBoth, 0);
       }},
      {"default index 0 takes the first", {{"BinListIndexDefault", "BinListIndexDefault=0"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.BinIndex, 0); }},
      {"default index above the list takes the last", {{"SpeedListIndexDefault", "SpeedListIndexDefault=9"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.SpeedIndex, 4); }},
      {"document default may be the free paper",
       {{"DocumentPaperListIndexDefault", "DocumentPaperListIndexDefault=7"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.PaperIndex, 6); }},
      {"output default is kept as read within the list", {{"FormPaperListIndexDefault", "FormPaperListIndexDefault=9"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.OutputPaperIndex, 3); }},
      {"sort default gives the installed options", {{"SortListIndexDefault", "SortListIndexDefault=3"}},
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Defaults.SortKind, 2);
         EXPECT_EQ(c.Defaults.SorterInstalled, 1);
         EXPECT_EQ(c.Defaults.StaplerInstalled, 1);
       }},
      {"layout choice 5", {{"PageLayoutDefault", "PageLayoutDefault=5"}},
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Defaults.RensyaLayout, 1);
         EXPECT_EQ(c.Defaults.RensyaOrder, 2);
       }},
      {"byte fields keep the low byte", {{"AkarusaDefault", "AkarusaDefault=258"}},
       [](const ModelCaps& c) { EXPECT_EQ(c.Defaults.Akarusa, 2); }},
      {"no custom papers", {{"CustomPaperList", ""}},
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Info.CustomPaperCount, 0);
         EXPECT_EQ(c.Info.NameCount, 32);
         ASSERT_NE(c.CustomPapers, nullptr);
         EXPECT_EQ(c.CustomPapers->Count, 0);
       }},
      {"no optional sections",
       {{"UnitValue", ""}, {"DuplexEnable", ""}, {"DuplexDefault", ""}, {"SepaProcUseFlag", ""},
        {"SepaListDefault", ""}, {"KanPareUseFlag", ""}},
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Info.UnitValue, 0);
         EXPECT_EQ(c.Info.DuplexEnable, 0);
         EXPECT_EQ(c.Info.SepaDefaultA, 2);
         EXPECT_EQ(c.Info.SepaDefaultB, 2);
         EXPECT_EQ(c.Defaults.SeparationModeB, 2);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string text = SampleText(kTwoDrum);
    for (const auto& [key, line] : c.edits) text = WithLine(text, key, line);
    int result = -1;
    RdfLoadReport report;
    CapsPtr caps = Load(kTwoDrum, text, &result, &report);
    ASSERT_EQ(result, 1) << plat::utf8(report.key);
    c.check(*caps);
  }
}

TEST_F(RdfSampleTest, SeparationDefaultsFollowTheUseFlag) {
  struct Case {
    const char* flag;  // "" leaves the key out
    const char* list;
    const char* kanPare;
    int a, b;
  };
  const Case cases[] = {
      {"", "", "", 2, 2},        {"1", "", "", 0, 1},          {"2", "", "", 0, 1},
      {"0", "14,18", "", 2, 2},  {"0", "13,17", "", 13, 17},   {"1", "14,2", "", 0, 1},
      {"1", "13,0", "", 13, 0},  {"2", "2,2", "", 0, 1},       {"3", "5,17", "", 5, 17},  // flag 3 counts as 0
      {"0", "5,5", "1", 5, 3},   {"0", "5,5", "2", 5, 5},      // KanPare 2 counts as 0
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.flag) + " / " + c.list + " / " + c.kanPare);
    std::string text = SampleText(kOneDrum);
    if (*c.flag || *c.list) text += "\n[SeparationProc]\n";
    if (*c.flag) text += std::string("SepaProcUseFlag=") + c.flag + "\n";
    if (*c.list) text += std::string("SepaListDefault=") + c.list + "\n";
    if (*c.kanPare) text += std::string("\n[KanPare]\nKanPareUseFlag=") + c.kanPare + "\n";
    int result = -1;
    CapsPtr caps = Load(kOneDrum, text, &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(caps->Info.SepaDefaultA, c.a);
    EXPECT_EQ(caps->Info.SepaDefaultACopy, c.a);
    EXPECT_EQ(caps->Info.SepaDefaultB, c.b);
    EXPECT_EQ(caps->Defaults.SeparationModeA, c.a);
    EXPECT_EQ(caps->Defaults.SeparationModeACopy, c.a);
    EXPECT_EQ(caps->Defaults.SeparationModeB, c.b);
    EXPECT_EQ(caps->Defaults.StoredModeB, c.b);
  }
}

TEST_F(RdfSampleTest, MoreThanThirtyCustomPapersKeepTheFirstThirty) {
  std::string text = WithLine(SampleText(kOneDrum), "CustomPaperListSize", "CustomPaperListSize=31");
  for (int i = 2; i <= 31; ++i) text += std::to_string(i) + "=Card " + std::to_string(i) + ",0,1000,1500,MM\n";
  int result = -1;
  CapsPtr caps = Load(kOneDrum, text, &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(caps->Info.CustomPaperCount, 30);
  EXPECT_EQ(caps->CustomPapers->Count, 30);
  EXPECT_EQ(caps->Papers[9 + 29].PaperId, 329);
  EXPECT_EQ(FieldText(caps->CustomPapers->Entry[29].Name), u"Card 30");
}

TEST_F(RdfSampleTest, WithoutResourceLibraryTheFreePaperHasNoName) {
  FreeLibrary(resources_);
  resources_ = nullptr;
  int result = -1;
  CapsPtr caps = Load(kOneDrum, SampleText(kOneDrum), &result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(Name(*caps, caps->Papers[8].NameId), u"");
  EXPECT_EQ(caps->Info.ResourceLanguage, 0);
}

TEST_F(RdfSampleTest, WindowsKindComesFromTheOsProfile) {
  struct Case {
    bool fails;
    DWORD major, minor;
    BYTE product;
    WORD arch;
    bool native;
    int kind;
  };
  const Case cases[] = {
      {true, 6, 1, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 0},
      {false, 5, 0, VER_NT_SERVER, PROCESSOR_ARCHITECTURE_INTEL, true, 104},
      {false, 5, 1, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_INTEL, true, 106},
      {false, 5, 2, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 107},
      {false, 5, 2, VER_NT_SERVER, PROCESSOR_ARCHITECTURE_AMD64, true, 0},
      {false, 6, 0, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_INTEL, true, 108},
      {false, 6, 0, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 109},
      {false, 6, 1, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_INTEL, true, 110},
      {false, 6, 2, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 113},
      {false, 6, 2, VER_NT_SERVER, PROCESSOR_ARCHITECTURE_AMD64, true, 0},
      {false, 6, 3, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 0},
      {false, 10, 0, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, true, 0},
      // Without the native call the process's own (32-bit) view is taken.
      {false, 6, 1, VER_NT_WORKSTATION, PROCESSOR_ARCHITECTURE_AMD64, false, 110},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.major) + "." + std::to_string(c.minor));
    plat::machine::OsProfile p;
    p.versionQueryFails = c.fails;
    p.major = c.major;
    p.minor = c.minor;
    p.productType = c.product;
    p.nativeArchitecture = c.arch;
    p.processArchitecture = c.native ? c.arch : PROCESSOR_ARCHITECTURE_INTEL;
    p.hasNativeSystemInfo = c.native;
    plat::machine::SetOsProfile(p);
    int result = -1;
    CapsPtr caps = Load(kOneDrum, SampleText(kOneDrum), &result);
    ASSERT_EQ(result, 1);
    EXPECT_EQ(caps->Info.WindowsKind, c.kind);
  }
}

TEST_F(RdfSampleTest, ReadRdfStringReportsMissingAndCutsLongValues) {
  PutFile(u"C:\\DRIVERS\\T.RDF", "[S]\nA=" + std::string(200, 'x') + "\nE=\n");
  WCHAR buffer[64] = {};
  EXPECT_EQ(ReadRdfString(u"C:\\DRIVERS\\T.RDF", u"S", u"A", buffer, 64), 63);
  EXPECT_EQ(ReadRdfString(u"C:\\DRIVERS\\T.RDF", u"S", u"E", buffer, 64), -1);
  EXPECT_EQ(ReadRdfString(u"C:\\DRIVERS\\T.RDF", u"S", u"B", buffer, 64), -1);
  EXPECT_EQ(ReadRdfString(u"C:\\DRIVERS\\T.RDF", nullptr, u"A", buffer, 64), -1);
  EXPECT_EQ(ReadRdfString(u"C:\\DRIVERS\\T.RDF", u"S", nullptr, buffer, 64), -1);
}

TEST_F(RdfSampleTest, LongestListFitsItsCount) {
  std::string text = WithLine(SampleText(kOneDrum), "DensityListSize", "DensityListSize=254");
  std::string entries;
  for (int i = 6; i <= 254; ++i) entries += std::to_string(i) + "=Level " + std::to_string(i) + "," + std::to_string(i) + "\n";
  text.insert(text.find("5=5 (Darkest),5\n") + 16, entries);
  int result = -1;
  RdfLoadReport report;
  CapsPtr caps = Load(kOneDrum, text, &result, &report);
  ASSERT_EQ(result, 1) << plat::utf8(report.key);
  EXPECT_EQ(caps->Info.DensityCount, 254);
  EXPECT_EQ(caps->Densities[253].Value, 254);
  EXPECT_EQ(Name(*caps, caps->Densities[253].NameId), u"Level 254");
}

TEST_F(RdfSampleTest, ResourceBundleHoldsEveryStringTheDriversUse) {
  EXPECT_EQ(plat::resources::CheckResourceFile(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL"), "");
  std::vector<UINT> ids = {800, 835, 3632, 3633, 3634, 3635, 3648, 3649, 3650};
  for (InkCode code : ColorIdList) ids.push_back(static_cast<UINT>(code));
  for (UINT id : ids) {
    WCHAR text[600] = {};
    EXPECT_GT(LoadStringW(resources_, id, text, 600), 0) << id;
  }
  WCHAR freeName[64] = {};
  EXPECT_LE(LoadStringW(resources_, 835, freeName, 64), 32);
  WCHAR language[8] = {};
  LoadStringW(resources_, 800, language, 8);
  EXPECT_EQ(std::u16string(language), u"1");
}

}  // namespace
