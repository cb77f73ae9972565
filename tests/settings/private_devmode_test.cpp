#include "settings/private_devmode.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "settings/model_fixture.h"

namespace {

using namespace fixture;

void Put16(std::vector<BYTE>& b, std::size_t off, std::uint16_t v) {
  b[off] = static_cast<BYTE>(v);
  b[off + 1] = static_cast<BYTE>(v >> 8);
}
void Put32(std::vector<BYTE>& b, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + i] = static_cast<BYTE>(v >> (8 * i));
}
void PutText(std::vector<BYTE>& b, std::size_t off, std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) Put16(b, off + 2 * i, s[i]);
}

const BYTE kSignature[26] = {0x4E, 0x45, 0x56, 0x4F, 0x20, 0x51, 0x4D, 0x37, 0x31, 0x30, 0x30, 0xBC, 0xD8,
                             0xB0, 0xBD, 0xDE, 0x20, 0x4E, 0x65, 0x76, 0x6F, 0x4B, 0x6F, 0x72, 0x74, 0x00};

// The whole expected DEVMODE, written offset by offset from the layout tables.
struct ExpectedDevmode {
  std::vector<BYTE> b = std::vector<BYTE>(3456, 0);
  ExpectedDevmode(const ModelCaps& caps) {
    PutText(b, 0, caps.ModelName);
    Put16(b, 64, 0x401);
    Put16(b, 66, 0x3092);
    Put16(b, 68, 220);
    Put16(b, 70, 3236);
    Put16(b, 84, 100);   // dmScale
    Put16(b, 92, 2);     // dmColor
    Put16(b, 98, 1);     // dmTTOption
    std::memcpy(b.data() + 220, kSignature, 26);
    Put32(b, 252, 0x10000);
    Put16(b, 340, 518);
    Put16(b, 342, 1);
    Put16(b, 344, 0x1234);
    b[346] = 1;
    for (int i = 0; i < 4; ++i) Put32(b, 476 + 4 * i, static_cast<std::uint32_t>(50 + 10 * i));
    std::memcpy(b.data() + 492, &caps.Defaults, 2936);
    b[3432] = caps.Info.DrumCount;
    b[3433] = caps.Info.DrumColorPattern;
    b[3434] = 5;
    b[3435] = 7;
  }
};

void ExpectSameBytes(const std::vector<BYTE>& want, const void* got, std::size_t n) {
  const auto* g = static_cast<const BYTE*>(got);
  ASSERT_EQ(want.size(), n);
  int reported = 0;
  for (std::size_t i = 0; i < n && reported < 12; ++i) {
    if (want[i] != g[i]) {
      ADD_FAILURE() << "byte " << i << ": want " << int(want[i]) << " got " << int(g[i]);
      ++reported;
    }
  }
}

class DevmodeTest : public ::testing::Test {
 protected:
  void SetUp() override { AddTestPrinter(); }
  void TearDown() override { plat::spooler::Reset(); }
};

TEST_F(DevmodeTest, DefaultDevmodeOfATwoDrumModel) {
  CapsPtr caps = MakeModel(2);
  SetValue(u"Preview EXE", TextBytes(u"C:\\preview\\pv.exe"), REG_SZ);
  Printer p;
  DevmodePtr pd(BuildDefaultDevmode(p.h, *caps));
  ASSERT_TRUE(pd);

  ExpectedDevmode e(*caps);
  Put32(e.b, 72, 0x16F0F | 0x1000);  // duplex offered
  Put16(e.b, 76, 2);                 // landscape
  Put16(e.b, 78, 8);                 // A3
  Put16(e.b, 80, 4200);
  Put16(e.b, 82, 2970);
  Put16(e.b, 86, 3);
  Put16(e.b, 88, 257);               // DMBIN id of bin 1
  Put16(e.b, 90, 600);               // 300 x 600 announced as 600 x 600
  Put16(e.b, 96, 600);
  PutText(e.b, 102, u"A3");
  Put32(e.b, 492 + 1340, 2970);
  Put32(e.b, 492 + 1344, 4200);
  Put32(e.b, 492 + 8, 2100);         // output paper 1
  Put32(e.b, 492 + 12, 2970);
  PutText(e.b, 492 + 2102, u"C:\\preview\\pv.exe");
  Put16(e.b, 3428, 300);             // as stored
  Put16(e.b, 3430, 600);
  ExpectSameBytes(e.b, pd.get(), sizeof(PrivateDevmode));
}

TEST_F(DevmodeTest, DefaultDevmodeOfAOneDrumModelWithFreePaper) {
  CapsPtr caps = MakeModel(1);
  DevmodePtr pd(BuildDefaultDevmode(nullptr, *caps));
  ASSERT_TRUE(pd);

  ExpectedDevmode e(*caps);
  Put32(e.b, 72, 0x16F0F);
  Put16(e.b, 76, 1);
  Put16(e.b, 78, 256);
  Put16(e.b, 80, 1481);  // (148051 + 50) / 100
  Put16(e.b, 82, 1000);  // (100049 + 50) / 100
  Put16(e.b, 86, 5);     // low 16 bits of 0x10005
  Put16(e.b, 88, 7);
  Put16(e.b, 90, 300);
  Put16(e.b, 96, 300);
  PutText(e.b, 102, u"Free size");
  Put32(e.b, 492 + 1340, 1000);
  Put32(e.b, 492 + 1344, 1481);
  Put16(e.b, 3428, 300);
  Put16(e.b, 3430, 300);
  ExpectSameBytes(e.b, pd.get(), sizeof(PrivateDevmode));
}

TEST_F(DevmodeTest, ResolutionPairsAnnouncedToApplications) {
  struct Case {
    std::int32_t x, y;
    SHORT quality, yres;
  } cases[] = {{300, 600, 600, 600}, {300, 400, 300, 300}, {600, 600, 600, 600}, {400, 300, 400, 300}};
  for (const Case& c : cases) {
    CapsPtr caps = MakeModel(2);
    caps->Resolutions[1].X = c.x;
    caps->Resolutions[1].Y = c.y;
    DevmodePtr pd(BuildDefaultDevmode(nullptr, *caps));
    EXPECT_EQ(pd->Public.dmPrintQuality, c.quality) << c.x << "x" << c.y;
    EXPECT_EQ(pd->Public.dmYResolution, c.yres) << c.x << "x" << c.y;
    EXPECT_EQ(pd->XResolution, c.x);
    EXPECT_EQ(pd->YResolution, c.y);
  }
}

TEST_F(DevmodeTest, LongNamesAreCutAndTerminatedInThePublicPart) {
  CapsPtr caps = MakeModel(2);
  GlobalFree(caps->ModelName);
  caps->ModelName = DuplicateText(std::u16string(40, u'M'));
  for (int i = 0; i < 255; ++i) NameListFind(caps->Names, 2)->Text[i] = u'F';
  DevmodePtr pd(BuildDefaultDevmode(nullptr, *caps));
  EXPECT_EQ(FieldText(pd->Public.dmDeviceName), std::u16string(31, u'M'));
  EXPECT_EQ(FieldText(pd->Public.dmFormName), std::u16string(31, u'F'));
}

TEST_F(DevmodeTest, ValidatingTheBuiltDevmodeChangesNothing) {
  CapsPtr caps = MakeModel(2);
  DevmodePtr pd(BuildDefaultDevmode(nullptr, *caps));
  std::vector<BYTE> before = Bytes(pd.get(), sizeof(PrivateDevmode));
  ASSERT_TRUE(ValidateDevmode(nullptr, &pd->Public, *caps));
  ExpectSameBytes(before, pd.get(), sizeof(PrivateDevmode));
}

TEST_F(DevmodeTest, ValidationCases) {
  struct Case {
    const char* name;
    std::function<void(PrivateDevmode&)> edit;
    std::function<void(const PrivateDevmode&, const ModelCaps&)> check;
  } cases[] = {
      {"paper by id",
       [](PrivateDevmode& d) { d.Public.dmPaperSize = 9; },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.PaperIndex, 0);
         EXPECT_EQ(d.Settings.PaperWidth, 2100);
         EXPECT_EQ(d.Settings.PaperLength, 2970);
         EXPECT_EQ(d.Public.dmPaperWidth, 2100);
         EXPECT_EQ(d.Public.dmPaperLength, 2970);
       }},
      {"a master selection beyond 2 takes the defaults'",
       [](PrivateDevmode& d) {
         d.Settings.ColorMode = 2;
         d.Settings.Seihan = 3;
       },
       [](const PrivateDevmode& d, const ModelCaps& caps) { EXPECT_EQ(d.Settings.Seihan, caps.Defaults.Seihan); }},
      {"unknown id takes the first paper",
       [](PrivateDevmode& d) { d.Public.dmPaperSize = 77; },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.PaperIndex, 0);
         EXPECT_EQ(d.Public.dmPaperWidth, 2100);
       }},
      {"size 0 matching a paper takes its id",
       [](PrivateDevmode& d) {
         d.Public.dmPaperSize = 0;
         d.Public.dmPaperWidth = 2159;
         d.Public.dmPaperLength = 2794;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.PaperIndex, 4);  // the custom paper
         EXPECT_EQ(d.Public.dmPaperSize, 300);
         EXPECT_EQ(d.Settings.FreeWidth, 215900);
         EXPECT_EQ(d.Settings.PaperWidth, 2159);
       }},
      {"free size matching nothing is the free paper",
       [](PrivateDevmode& d) {
         d.Public.dmPaperSize = 256;
         d.Public.dmPaperWidth = 1234;
         d.Public.dmPaperLength = 2345;
       },
       [](const PrivateDevmode& d, const ModelCaps& caps) {
         EXPECT_EQ(d.Settings.PaperIndex, 3);
         EXPECT_EQ(d.Public.dmPaperSize, 256);
         EXPECT_EQ(d.Settings.PaperWidth, 1234);
         EXPECT_EQ(d.Settings.PaperLength, 2345);
         EXPECT_EQ(caps.Defaults.FreeWidth, 123400);
         EXPECT_EQ(caps.Defaults.FreeLength, 234500);
       }},
      {"no paper size field: by size only",
       [](PrivateDevmode& d) {
         d.Public.dmFields &= ~DM_PAPERSIZE;
         d.Public.dmPaperSize = 8;
         d.Public.dmPaperWidth = 2100;
         d.Public.dmPaperLength = 2970;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.PaperIndex, 0);
         EXPECT_EQ(d.Settings.PaperWidth, 2100);
         EXPECT_EQ(d.Settings.FreeLength, 297000);
         EXPECT_EQ(d.Public.dmPaperSize, 8);  // untouched
       }},
      {"bin 256 is index 1",
       [](PrivateDevmode& d) { d.Public.dmDefaultSource = 256; },
       [](const PrivateDevmode& d, const ModelCaps&) { EXPECT_EQ(d.Settings.BinIndex, 1); }},
      {"bin below 256 is index 0",
       [](PrivateDevmode& d) { d.Public.dmDefaultSource = 7; },
       [](const PrivateDevmode& d, const ModelCaps&) { EXPECT_EQ(d.Settings.BinIndex, 0); }},
      {"bin index beyond the list takes the default",
       [](PrivateDevmode& d) { d.Public.dmDefaultSource = 300; },
       [](const PrivateDevmode& d, const ModelCaps&) { EXPECT_EQ(d.Settings.BinIndex, 1); }},
      {"indices beyond their lists take the defaults",
       [](PrivateDevmode& d) {
         d.Settings.SpeedIndex = 9;
         d.Settings.Density1 = 200;
         d.Settings.Density2 = 2;
         d.Settings.ResolutionIndex = 5;
         d.Settings.OutputPaperIndex = 7;
         d.Settings.OutputPaperWidth = 1;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.SpeedIndex, 1);
         EXPECT_EQ(d.Settings.Density1, 1);
         EXPECT_EQ(d.Settings.Density2, 0);
         EXPECT_EQ(d.Settings.ResolutionIndex, 1);
         EXPECT_EQ(d.Settings.OutputPaperIndex, 0);
       }},
      {"copies and orientation",
       [](PrivateDevmode& d) {
         d.Public.dmCopies = 44;
         d.Public.dmOrientation = 1;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.Copies, 44);
         EXPECT_EQ(d.Settings.Landscape, 0);
       }},
      {"unavailable drum colours are picked again",
       [](PrivateDevmode& d) {
         d.Settings.Drum1Color = 1063;
         d.Settings.Drum2Color = 1063;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.Settings.Drum1Color, 1001);
         EXPECT_EQ(d.Settings.Drum2Color, 1004);
       }},
      {"information taken keeps the colours",
       [](PrivateDevmode& d) {
         d.InfoTaken = 1;
         d.Settings.Drum1Color = 1063;
       },
       [](const PrivateDevmode& d, const ModelCaps&) { EXPECT_EQ(d.Settings.Drum1Color, 1063); }},
      {"page record turned by 90 degrees",
       [](PrivateDevmode& d) {
         d.AppPage.ApplyFlag = 1;
         d.AppPage.Rotation = 90;
         d.AppPage.Size1 = 2970;
         d.AppPage.Size2 = 2100;
         SetFieldText(d.AppPage.FormName, u"Poster");
         d.Settings.Duplex = 1;
         d.Settings.UpLayout = 1;
       },
       [](const PrivateDevmode& d, const ModelCaps& caps) {
         EXPECT_EQ(d.Settings.Landscape, 1);
         EXPECT_EQ(d.Settings.Rotate, 1);
         EXPECT_EQ(d.Settings.FreeWidth, 210000);
         EXPECT_EQ(d.Settings.FreeLength, 297000);
         EXPECT_EQ(d.Settings.FreePaper, 1);
         EXPECT_EQ(d.Settings.AppPageApplied, 1);
         EXPECT_EQ(d.Settings.Duplex, 0);
         EXPECT_EQ(d.Settings.UpLayout, 0);
         EXPECT_EQ(d.Settings.OutputPaperIndex, 0);
         EXPECT_EQ(d.AppPage.Applied, 1);
         EXPECT_EQ(d.Public.dmPaperSize, 256);
         EXPECT_EQ(d.Public.dmOrientation, 2);
         EXPECT_EQ(d.Public.dmPaperWidth, 2100);
         EXPECT_EQ(d.Public.dmPaperLength, 2970);
         EXPECT_EQ(FieldText(d.Public.dmFormName), u"Poster");
         EXPECT_EQ(caps.Defaults.FreeWidth, 210000);
         EXPECT_EQ(caps.Defaults.Landscape, 1);
         EXPECT_EQ(caps.Defaults.AppPageApplied, 1);
       }},
      {"page record with a size out of range is refused",
       [](PrivateDevmode& d) {
         d.AppPage.ApplyFlag = 1;
         d.AppPage.Size1 = 50000000;
         d.AppPage.Size2 = 2100;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.AppPage.Applied, 0);
         EXPECT_EQ(d.Settings.FreePaper, 0);
         EXPECT_EQ(d.Settings.FreeWidth, 100000);
       }},
      {"page record not asked for is cleared",
       [](PrivateDevmode& d) {
         d.AppPage.Applied = 1;
         d.AppPage.Size1 = 5;
         d.AppPage.Size2 = 6;
         d.AppPage.Rotation = 90;
         d.AppPage.FormName[0] = u'X';
         d.AppPage.FormName[1] = u'Y';
         d.Settings.AppPageApplied = 1;
       },
       [](const PrivateDevmode& d, const ModelCaps&) {
         EXPECT_EQ(d.AppPage.Applied, 0);
         EXPECT_EQ(d.AppPage.Size1, 0);
         EXPECT_EQ(d.AppPage.Size2, 0);
         EXPECT_EQ(d.AppPage.Rotation, 0);
         EXPECT_EQ(d.AppPage.FormName[0], 0);
         EXPECT_EQ(d.AppPage.FormName[1], u'Y');
         EXPECT_EQ(d.Settings.AppPageApplied, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CapsPtr caps = MakeModel(2);
    DevmodePtr pd(BuildDefaultDevmode(nullptr, *caps));
    c.edit(*pd);
    ASSERT_TRUE(ValidateDevmode(nullptr, &pd->Public, *caps));
    c.check(*pd, *caps);
    // The header is always rewritten.
    EXPECT_EQ(0, std::memcmp(pd->Signature, kSignature, 26));
    EXPECT_EQ(pd->BuildNumber, 518);
  }
}

TEST_F(DevmodeTest, PageRecordRotations) {
  struct Case {
    std::int32_t rotation;
    std::uint8_t rotate, landscape;
    std::int32_t width, length;
  } cases[] = {{0, 0, 0, 100, 200}, {90, 1, 1, 200, 100}, {180, 1, 0, 100, 200}, {270, 0, 1, 200, 100},
               {45, 7, 7, 100, 200}};
  for (const Case& c : cases) {
    AppPageRecord r{};
    r.ApplyFlag = 1;
    r.Rotation = c.rotation;
    r.Size1 = 100;
    r.Size2 = 200;
    DocSettings s{};
    s.Rotate = s.Landscape = 7;
    EXPECT_TRUE(ApplyAppPageRecord(r, s, nullptr));
    EXPECT_EQ(s.Rotate, c.rotate) << c.rotation;
    EXPECT_EQ(s.Landscape, c.landscape) << c.rotation;
    EXPECT_EQ(s.FreeWidth, c.width * 100) << c.rotation;
    EXPECT_EQ(s.FreeLength, c.length * 100) << c.rotation;
  }
}

TEST_F(DevmodeTest, ForeignDevmodesAreLeftAlone) {
  CapsPtr caps = MakeModel(2);
  std::vector<BYTE> buffer(220 + 100, 0x5A);
  auto* dm = reinterpret_cast<DEVMODEW*>(buffer.data());
  dm->dmSize = 220;
  dm->dmDriverExtra = 100;
  std::vector<BYTE> before = buffer;
  EXPECT_FALSE(ValidateDevmode(nullptr, dm, *caps));
  EXPECT_EQ(FillPrivateHeader(dm, caps.get()), 0);
  EXPECT_EQ(FillPrivateHeader(nullptr, nullptr), 0);
  EXPECT_EQ(buffer, before);
}

TEST(OptionRules, AgainstPermanent) {
  DocSettings permanent{};
  permanent.SortMode = 4;
  permanent.Staple = 5;
  permanent.TapeSort = 6;
  permanent.Interleaf = 8;
  struct Case {
    const char* name;
    std::function<void(DocSettings&)> setup;
    std::function<void(const DocSettings&)> check;
  } cases[] = {
      {"no sorter: sort and staple from permanent", [](DocSettings& s) { s.SortKind = 0; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.SortMode, 4);
         EXPECT_EQ(s.Staple, 5);
       }},
      {"sorter without stapler: staple only", [](DocSettings& s) { s.SortKind = 1; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.SortMode, 1);
         EXPECT_EQ(s.Staple, 5);
       }},
      {"sorter with stapler: both kept", [](DocSettings& s) { s.SortKind = 2; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.SortMode, 1);
         EXPECT_EQ(s.Staple, 1);
       }},
      {"no tape sorter", [](DocSettings& s) { s.TapeSorterInstalled = 0; s.ProgramSeparator = 1; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.TapeSort, 6);
         EXPECT_EQ(s.ProgramSeparator, 0);
       }},
      {"no tape sorter keeps the bin-list separator",
       [](DocSettings& s) { s.TapeSorterInstalled = 0; s.ProgramSeparator = 2; },
       [](const DocSettings& s) { EXPECT_EQ(s.ProgramSeparator, 2); }},
      {"tape sorter present", [](DocSettings& s) { s.ProgramSeparator = 1; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.TapeSort, 1);
         EXPECT_EQ(s.ProgramSeparator, 1);
       }},
      {"no hold memory: hold modes become print", [](DocSettings& s) { s.HoldMemoryInstalled = 0; s.OutputMode = 2; },
       [](const DocSettings& s) { EXPECT_EQ(s.OutputMode, 0); }},
      {"no hold memory: USB output stays", [](DocSettings& s) { s.HoldMemoryInstalled = 0; s.OutputMode = 3; },
       [](const DocSettings& s) { EXPECT_EQ(s.OutputMode, 3); }},
      {"hold memory present", [](DocSettings& s) { s.OutputMode = 1; },
       [](const DocSettings& s) { EXPECT_EQ(s.OutputMode, 1); }},
      {"no bin list", [](DocSettings& s) { s.BinListInstalled = 0; s.ProgramSeparator = 2; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.Interleaf, 8);
         EXPECT_EQ(s.ProgramSeparator, 0);
       }},
      {"bin list present", [](DocSettings& s) { s.ProgramSeparator = 2; },
       [](const DocSettings& s) {
         EXPECT_EQ(s.Interleaf, 1);
         EXPECT_EQ(s.ProgramSeparator, 2);
       }},
  };
  for (const Case& c : cases) {
    DocSettings s{};
    s.SortKind = 2;
    s.SortMode = s.Staple = s.TapeSort = s.Interleaf = 1;
    s.TapeSorterInstalled = s.HoldMemoryInstalled = s.BinListInstalled = 1;
    c.setup(s);
    ApplyOptionRules(s, permanent);
    SCOPED_TRACE(c.name);
    c.check(s);
  }
}

// ---------------------------------------------------------------------------
// The merge

class MergeTest : public ::testing::Test {
 protected:
  CapsPtr caps = MakeModel(2);
  DevmodePtr defaults;

  // A printer holding the model's printer data and "DefaultDevmode"; with
  // printerDevmode also a DEVMODE of its own.
  void Install(const PrivateDevmode* printerDevmode) {
    AddTestPrinter(printerDevmode ? Bytes(printerDevmode, sizeof(PrivateDevmode)) : std::vector<BYTE>{});
    ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
    defaults.reset(BuildDefaultDevmode(nullptr, *caps));
    WriteDefaultDevmode(kPrinter.c_str(), &defaults->Public);
  }
  void TearDown() override { plat::spooler::Reset(); }

  // The printer's own DEVMODE: another copy count and document setting, and
  // different device-level values that the merge must not keep.
  DevmodePtr PrinterDevmode() {
    DevmodePtr p(BuildDefaultDevmode(nullptr, *caps));
    p->Public.dmCopies = 7;
    p->Settings.Kimitu = 1;
    SetSortKind(p->Settings, 0);
    p->Settings.HoldMemoryInstalled = 0;
    p->Settings.ResolutionIndex = 0;
    std::memset(p->Settings.InkMarks, 0, kColorIdCount);
    p->Settings.InkMarks[ColorIdIndex(1063)] = 1;
    p->Settings.InkLab.Entry[5] = {9, 9, 9};
    SetFieldText(p->Settings.PrinterAddress, u"9.9.9.9");
    p->XResolution = 999;
    p->InfoTaken = 1;
    return p;
  }

  // A caller's DEVMODE as an application would hand it back.
  DevmodePtr Caller() {
    DevmodePtr c(BuildDefaultDevmode(nullptr, *caps));
    c->Public.dmCopies = 12;
    c->Settings.Rotate = 1;
    SetSortKind(c->Settings, 1);
    c->Settings.InkInformation = 0;
    std::memset(c->Settings.InkMarks, 0, kColorIdCount);
    c->Settings.InkMarks[ColorIdIndex(1050)] = 2;
    c->Settings.InkLab.Entry[7] = {7, 7, 7};
    SetFieldText(c->Settings.PrinterAddress, u"1.2.3.4");
    return c;
  }

  DevmodePtr Merge(const PrivateDevmode* caller) {
    Printer p;
    return DevmodePtr(GetMergedDevmode(p.h, caller ? &caller->Public : nullptr));
  }

  void ExpectDeviceLevelOfDefaults(const PrivateDevmode& m, bool ink) {
    EXPECT_EQ(m.Settings.SortKind, 2);
    EXPECT_EQ(m.Settings.SorterInstalled, 1);
    EXPECT_EQ(m.Settings.StaplerInstalled, 1);
    EXPECT_EQ(m.Settings.HoldMemoryInstalled, 1);
    EXPECT_EQ(m.Settings.ResolutionIndex, 1);
    EXPECT_EQ(m.Settings.InkInformation, 1);
    EXPECT_EQ(FieldText(m.Settings.PrinterAddress), u"0.0.0.0");
    EXPECT_EQ(m.XResolution, 300);
    EXPECT_EQ(m.YResolution, 600);
    if (ink) {
      EXPECT_EQ(0, std::memcmp(m.Settings.InkMarks, caps->Defaults.InkMarks, kColorIdCount));
      EXPECT_EQ(0, std::memcmp(&m.Settings.InkLab, &kInkLabDefaults, sizeof(InkLabTable)));
    }
  }
};

TEST_F(MergeTest, PrinterLayerOverDefaults) {
  DevmodePtr own = PrinterDevmode();
  Install(own.get());
  DevmodePtr m = Merge(nullptr);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Public.dmCopies, 7);
  EXPECT_EQ(m->Settings.Kimitu, 1);
  EXPECT_EQ(m->InfoTaken, 0);
  ExpectDeviceLevelOfDefaults(*m, true);
}

TEST_F(MergeTest, CallerDevmodes) {
  struct Case {
    const char* name;
    bool printerLayer;
    std::function<void(PrivateDevmode&)> edit;
    std::function<void(const PrivateDevmode&)> check;
  } cases[] = {
      {"taken whole", true, [](PrivateDevmode&) {},
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmCopies, 12);
         EXPECT_EQ(m.Settings.Rotate, 1);
         EXPECT_EQ(m.Settings.Kimitu, 0);  // the caller's private part replaced the printer's
       }},
      {"other driver version ignored", true, [](PrivateDevmode& c) { c.Public.dmDriverVersion = 0x3093; },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmCopies, 7);
         EXPECT_EQ(m.Settings.Rotate, 0);
         EXPECT_EQ(m.Settings.Kimitu, 1);
       }},
      {"other private size ignored", true, [](PrivateDevmode& c) { c.Public.dmDriverExtra = 3000; },
       [](const PrivateDevmode& m) { EXPECT_EQ(m.Public.dmCopies, 7); }},
      {"empty device name ignored", true, [](PrivateDevmode& c) { c.Public.dmDeviceName[0] = 0; },
       [](const PrivateDevmode& m) { EXPECT_EQ(m.Public.dmCopies, 7); }},
      {"copies 0 become 1", true, [](PrivateDevmode& c) { c.Public.dmCopies = 0; },
       [](const PrivateDevmode& m) { EXPECT_EQ(m.Public.dmCopies, 1); }},
      {"negative copies become 1", true, [](PrivateDevmode& c) { c.Public.dmCopies = -5; },
       [](const PrivateDevmode& m) { EXPECT_EQ(m.Public.dmCopies, 1); }},
      {"partial paper keeps the merged paper", true,
       [](PrivateDevmode& c) {
         c.Public.dmPaperSize = 0;
         c.Public.dmPaperWidth = 1000;
         c.Public.dmPaperLength = 0;
         c.Public.dmOrientation = 1;
       },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmPaperSize, 8);
         EXPECT_EQ(m.Public.dmPaperWidth, 2970);
         EXPECT_EQ(m.Public.dmPaperLength, 4200);
         EXPECT_EQ(m.Public.dmOrientation, 2);
       }},
      {"a whole size is taken with its orientation", true,
       [](PrivateDevmode& c) {
         c.Public.dmPaperSize = 0;
         c.Public.dmPaperWidth = 1000;
         c.Public.dmPaperLength = 1500;
         c.Public.dmOrientation = 1;
       },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmPaperSize, 0);
         EXPECT_EQ(m.Public.dmPaperWidth, 1000);
         EXPECT_EQ(m.Public.dmPaperLength, 1500);
         EXPECT_EQ(m.Public.dmOrientation, 1);
       }},
      {"collate needs DM_COLLATE in the merged fields", true,
       [](PrivateDevmode& c) {
         c.Public.dmCollate = 1;
         c.Public.dmFields |= DM_COLLATE;
       },
       [](const PrivateDevmode& m) { EXPECT_EQ(m.Public.dmCollate, 0); }},
      {"scale and source copied", true,
       [](PrivateDevmode& c) {
         c.Public.dmScale = 50;
         c.Public.dmDefaultSource = 7;
       },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmScale, 50);
         EXPECT_EQ(m.Public.dmDefaultSource, 7);
       }},
      {"device-level values come from the defaults", true, [](PrivateDevmode&) {},
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Settings.SortKind, 2);
         EXPECT_EQ(m.Settings.InkInformation, 1);
         EXPECT_EQ(FieldText(m.Settings.PrinterAddress), u"0.0.0.0");
         EXPECT_EQ(m.Settings.InkMarks[ColorIdIndex(1050)], 0);
         EXPECT_EQ(m.Settings.InkLab.Entry[7].L, kInkLabDefaults.Entry[7].L);
       }},
      {"information taken keeps the caller's inks only", true, [](PrivateDevmode& c) { c.InfoTaken = 1; },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.InfoTaken, 1);
         EXPECT_EQ(m.Settings.InkMarks[ColorIdIndex(1050)], 2);
         EXPECT_EQ(m.Settings.InkMarks[ColorIdIndex(1001)], 0);
         EXPECT_EQ(m.Settings.InkLab.Entry[7].L, 7);
         EXPECT_EQ(m.Settings.SortKind, 2);
         EXPECT_EQ(FieldText(m.Settings.PrinterAddress), u"0.0.0.0");
       }},
      {"printer layer absent: device-level values still restored", false, [](PrivateDevmode&) {},
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Public.dmCopies, 12);
         EXPECT_EQ(m.Settings.SortKind, 2);
         EXPECT_EQ(m.Settings.SorterInstalled, 1);
         EXPECT_EQ(m.Settings.StaplerInstalled, 1);
         EXPECT_EQ(m.Settings.InkInformation, 1);
         EXPECT_EQ(FieldText(m.Settings.PrinterAddress), u"0.0.0.0");
         EXPECT_EQ(m.Settings.InkMarks[ColorIdIndex(1001)], 1);
       }},
      {"indices beyond the lists take the defaults", true,
       [](PrivateDevmode& c) {
         c.Settings.PaperIndex = 99;
         c.Settings.SpeedIndex = 50;
         c.Settings.BinIndex = 9;
         c.Settings.Density2 = 3;
         c.Settings.OutputPaperIndex = 9;
       },
       [](const PrivateDevmode& m) {
         EXPECT_EQ(m.Settings.PaperIndex, 1);
         EXPECT_EQ(m.Settings.SpeedIndex, 1);
         EXPECT_EQ(m.Settings.BinIndex, 1);
         EXPECT_EQ(m.Settings.Density2, 0);
         EXPECT_EQ(m.Settings.OutputPaperIndex, 0);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DevmodePtr own = PrinterDevmode();
    Install(c.printerLayer ? own.get() : nullptr);
    DevmodePtr caller = Caller();
    c.edit(*caller);
    DevmodePtr m = Merge(caller.get());
    ASSERT_TRUE(m);
    c.check(*m);
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  }
}

TEST_F(MergeTest, CollateFollowsTheMergedFields) {
  DevmodePtr own = PrinterDevmode();
  own->Public.dmFields |= DM_COLLATE;
  Install(own.get());
  DevmodePtr caller = Caller();
  caller->Public.dmCollate = 1;
  DevmodePtr m = Merge(caller.get());
  EXPECT_EQ(m->Public.dmCollate, 1);
}

TEST_F(MergeTest, WithoutDefaultDevmodeThereIsNothing) {
  AddTestPrinter();
  EXPECT_EQ(Merge(nullptr), nullptr);
  // A stored value that is not our DEVMODE is refused too.
  SetValue(u"DefaultDevmode", std::vector<BYTE>(300, 0));
  EXPECT_EQ(Merge(nullptr), nullptr);
}

// Indices that the stored default DEVMODE itself holds beyond the lists take
// the printer's "Defaults" values, not 0.
TEST_F(MergeTest, DamagedDefaultIndicesTakeThePrintersDefaults) {
  Install(nullptr);
  defaults->Settings.PaperIndex = 200;
  defaults->Settings.SpeedIndex = 9;
  defaults->Settings.Density1 = 7;
  defaults->Settings.BinIndex = 5;
  WriteDefaultDevmode(kPrinter.c_str(), &defaults->Public);
  DevmodePtr m = Merge(nullptr);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Settings.PaperIndex, caps->Defaults.PaperIndex);
  EXPECT_EQ(m->Settings.SpeedIndex, caps->Defaults.SpeedIndex);
  EXPECT_EQ(m->Settings.Density1, caps->Defaults.Density1);
  EXPECT_EQ(m->Settings.BinIndex, caps->Defaults.BinIndex);
}

// Kind bytes beyond their range (a master selection of 3 would send no drum
// page) take the printer's "Defaults" values, whether the caller's DEVMODE or
// the stored one holds them.
TEST_F(MergeTest, KindsOutOfRangeTakeThePrintersDefaults) {
  struct Case {
    const char* name;
    std::uint8_t DocSettings::*field;
    std::uint8_t value;
  } cases[] = {
      {"master selection 3", &DocSettings::Seihan, 3},
      {"master selection 255", &DocSettings::Seihan, 255},
      {"colour mode 0", &DocSettings::ColorMode, 0},
      {"colour mode 3", &DocSettings::ColorMode, 3},
      {"output mode 5", &DocSettings::OutputMode, 5},
      {"separation kind 4", &DocSettings::SeparationKind, 4},
      {"duplex 3", &DocSettings::Duplex, 200},
  };
  Install(nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode caller = *defaults;
    caller.Settings.*c.field = c.value;
    DevmodePtr fromCaller = Merge(&caller);
    ASSERT_TRUE(fromCaller);
    EXPECT_EQ(fromCaller->Settings.*c.field, caps->Defaults.*c.field);

    PrivateDevmode stored = *defaults;
    stored.Settings.*c.field = c.value;
    WriteDefaultDevmode(kPrinter.c_str(), &stored.Public);
    DevmodePtr fromStored = Merge(nullptr);
    WriteDefaultDevmode(kPrinter.c_str(), &defaults->Public);
    ASSERT_TRUE(fromStored);
    EXPECT_EQ(fromStored->Settings.*c.field, caps->Defaults.*c.field);
  }
  DocSettings s{};
  DocSettings damaged{};
  s.ColorMode = 9;
  damaged.ColorMode = 7;
  ReplaceKindsOutOfRange(s, damaged);
  EXPECT_EQ(s.ColorMode, 1) << "damaged defaults give the first value of the range";
}

TEST_F(MergeTest, OptionRulesRunAgainstPermanentOrZero) {
  SetSortKind(caps->Defaults, 0);
  caps->Defaults.SortMode = 1;
  caps->Defaults.Staple = 1;
  Install(nullptr);
  DevmodePtr caller = Caller();
  SetSortKind(caller->Settings, 0);
  caller->Settings.SortMode = 3;
  caller->Settings.Staple = 3;

  DevmodePtr m = Merge(caller.get());
  EXPECT_EQ(m->Settings.SortMode, 1);  // "Permanent" is the model's defaults
  EXPECT_EQ(m->Settings.Staple, 1);

  ASSERT_EQ(DeletePrinterDataW(Printer().h, u"Permanent"), ERROR_SUCCESS);
  m = Merge(caller.get());
  EXPECT_EQ(m->Settings.SortMode, 0);
  EXPECT_EQ(m->Settings.Staple, 0);
}

// ---------------------------------------------------------------------------

std::vector<BYTE> MakeDevmode(WORD size, WORD extra, BYTE fill) {
  std::vector<BYTE> b(std::size_t{size} + extra, fill);
  auto* dm = reinterpret_cast<DEVMODEW*>(b.data());
  dm->dmSize = size;
  dm->dmDriverExtra = extra;
  dm->dmSpecVersion = 0x401;
  dm->dmDriverVersion = static_cast<WORD>(0x1000 + fill);
  return b;
}

TEST(DevmodeCopy, SpecVersionBySize) {
  EXPECT_EQ(SpecVersionForSize(nullptr), 0);
  struct Case {
    WORD size, own, want;
  } cases[] = {{188, 0x999, 0x320}, {212, 0x999, 0x400}, {220, 0x999, 0x401}, {200, 0x777, 0x777}, {200, 0, 0}};
  for (const Case& c : cases) {
    std::vector<BYTE> b = MakeDevmode(c.size, 0, 0);
    reinterpret_cast<DEVMODEW*>(b.data())->dmSpecVersion = c.own;
    EXPECT_EQ(SpecVersionForSize(reinterpret_cast<DEVMODEW*>(b.data())), c.want) << c.size;
  }
}

TEST(DevmodeCopy, CommonBytesWithTheTargetsShapeKept) {
  std::vector<BYTE> src = MakeDevmode(220, 3236, 0x11);
  std::vector<BYTE> dst = MakeDevmode(188, 100, 0x22);
  auto* s = reinterpret_cast<DEVMODEW*>(src.data());
  auto* t = reinterpret_cast<DEVMODEW*>(dst.data());
  EXPECT_EQ(CopyDevmode(s, t), 188 + 100);
  EXPECT_EQ(t->dmSize, 188);
  EXPECT_EQ(t->dmDriverExtra, 100);
  EXPECT_EQ(t->dmDriverVersion, 0x1022);
  EXPECT_EQ(t->dmSpecVersion, 0x320);
  EXPECT_EQ(dst[0], 0x11);
  EXPECT_EQ(dst[187], 0x11);
  EXPECT_EQ(dst[188], 0x11);  // private part from the source's byte 220
  EXPECT_EQ(dst[287], 0x11);

  EXPECT_EQ(CopyDevmode(nullptr, t), -1);
  EXPECT_EQ(CopyDevmode(s, nullptr), -1);
  std::vector<BYTE> odd = MakeDevmode(200, 0, 0);
  reinterpret_cast<DEVMODEW*>(odd.data())->dmSpecVersion = 0;
  EXPECT_EQ(CopyDevmode(s, reinterpret_cast<DEVMODEW*>(odd.data())), -1);
}

TEST(DevmodeCopy, OutputShapedLikeTheSmallerOfSourceAndInput) {
  std::vector<BYTE> src = MakeDevmode(220, 3236, 0x11);
  auto* s = reinterpret_cast<DEVMODEW*>(src.data());
  {
    std::vector<BYTE> out(3456, 0);
    EXPECT_EQ(CopyDevmodeOut(s, nullptr, reinterpret_cast<DEVMODEW*>(out.data()), out.size()), 1);
    EXPECT_EQ(out, src);
    EXPECT_EQ(CopyDevmodeOut(s, nullptr, reinterpret_cast<DEVMODEW*>(out.data()), 3455), 0);
  }
  {
    std::vector<BYTE> in = MakeDevmode(188, 100, 0x33);
    std::vector<BYTE> out(3456, 0);
    auto* o = reinterpret_cast<DEVMODEW*>(out.data());
    EXPECT_EQ(CopyDevmodeOut(s, reinterpret_cast<DEVMODEW*>(in.data()), o, out.size()), 1);
    EXPECT_EQ(o->dmSize, 188);
    EXPECT_EQ(o->dmSpecVersion, 0x320);
    EXPECT_EQ(o->dmDriverExtra, 100);
    EXPECT_EQ(o->dmDriverVersion, 0x1033);
    EXPECT_EQ(out[288], 0);  // nothing beyond the shape
    EXPECT_EQ(CopyDevmodeOut(s, reinterpret_cast<DEVMODEW*>(in.data()), o, 200), 0);
  }
  {
    std::vector<BYTE> in = MakeDevmode(220, 3236, 0x44);  // a tie takes the source
    std::vector<BYTE> out(3456, 0);
    auto* o = reinterpret_cast<DEVMODEW*>(out.data());
    EXPECT_EQ(CopyDevmodeOut(s, reinterpret_cast<DEVMODEW*>(in.data()), o, out.size()), 1);
    EXPECT_EQ(o->dmDriverVersion, 0x1011);
  }
}

TEST(PaperLookup, ByIdAndBySize) {
  CapsPtr caps = MakeModel(2);
  const PaperEntry* p = caps->Papers;
  EXPECT_EQ(FindPaperById(p, 5, 8), 1u);
  EXPECT_EQ(FindPaperById(p, 5, 300), 4u);
  EXPECT_EQ(FindPaperById(p, 5, 42), 0u);
  EXPECT_EQ(FindPaperById(p, 4, 300), 0u);  // beyond the count
  EXPECT_EQ(FindPaperById(nullptr, 5, 8), 0u);
  EXPECT_EQ(FindPaperBySize(p, 5, 2100, 2970), 1u);  // 1-based
  EXPECT_EQ(FindPaperBySize(p, 5, 2159, 2794), 5u);
  EXPECT_EQ(FindPaperBySize(p, 5, 2970, 2100), 0u);
  EXPECT_EQ(FindPaperBySize(p, 5, 30000000, 2100), 0u);
}

TEST(PaperLookup, ByFormIndexIsOneBased) {
  CapsPtr caps = MakeModel(2);
  const PaperEntry* p = caps->Papers;
  EXPECT_EQ(FindPaperByFormIndex(p, 5, 9), 1u);
  EXPECT_EQ(FindPaperByFormIndex(p, 5, 8), 2u);
  EXPECT_EQ(FindPaperByFormIndex(p, 5, 300), 5u);
  EXPECT_EQ(FindPaperByFormIndex(p, 4, 300), 0u);  // beyond the count
  EXPECT_EQ(FindPaperByFormIndex(p, 5, 42), 0u);
  EXPECT_EQ(FindPaperByFormIndex(nullptr, 5, 8), 0u);
}

// The plug-in generation's DEVMODE differs from the classic one only in the
// driver version and the build number; validation finds the same paper.
TEST_F(DevmodeTest, PluginGenerationDevmode) {
  CapsPtr caps = MakeModel(2);
  Printer p;
  DevmodePtr classic(BuildDefaultDevmode(p.h, *caps));
  DevmodePtr plugin(BuildDefaultDevmode(p.h, *caps, Generation::Plugin));
  ASSERT_TRUE(classic && plugin);
  const auto* c = reinterpret_cast<const BYTE*>(classic.get());
  const auto* g = reinterpret_cast<const BYTE*>(plugin.get());
  EXPECT_EQ(U16(g, 66), 0x3093);
  EXPECT_EQ(U16(g, 340), 219);
  EXPECT_EQ(U16(c, 66), 0x3092);
  EXPECT_EQ(U16(c, 340), 518);
  for (std::size_t i = 0; i < sizeof(PrivateDevmode); ++i) {
    if (i == 66 || i == 67 || i == 340 || i == 341) continue;
    ASSERT_EQ(c[i], g[i]) << "byte " << i;
  }
  for (SHORT paper : {SHORT{8}, SHORT{300}, SHORT{42}}) {
    DevmodePtr a(BuildDefaultDevmode(p.h, *caps));
    DevmodePtr b(BuildDefaultDevmode(p.h, *caps, Generation::Plugin));
    a->Public.dmPaperSize = b->Public.dmPaperSize = paper;
    ASSERT_TRUE(ValidateDevmode(p.h, &a->Public, *caps));
    ASSERT_TRUE(ValidateDevmode(p.h, &b->Public, *caps, Generation::Plugin));
    EXPECT_EQ(a->Settings.PaperIndex, b->Settings.PaperIndex) << paper;
    EXPECT_EQ(b->BuildNumber, 219) << "validation keeps the plug-in's build number";
  }
  // A paper without an id is announced as a free size.
  caps->Papers[caps->Defaults.PaperIndex].PaperId = 0;
  DevmodePtr zero(BuildDefaultDevmode(p.h, *caps, Generation::Plugin));
  EXPECT_EQ(zero->Public.dmPaperSize, 256);
  DevmodePtr classicZero(BuildDefaultDevmode(p.h, *caps));
  EXPECT_EQ(classicZero->Public.dmPaperSize, 0) << "the classic DEVMODE keeps its bytes";
}

TEST(WideCopy, BoundedOnBothSidesAndUnaligned) {
  BYTE src[9] = {0, 'A', 0, 'B', 0, 'C', 0, 0, 0};
  BYTE dst[8];
  std::memset(dst, 0x7F, sizeof(dst));
  EXPECT_TRUE(CopyWideString16(dst + 1, 3, src + 1, 4));
  EXPECT_EQ(dst[0], 0x7F);
  EXPECT_EQ(dst[1], 'A');
  EXPECT_EQ(dst[3], 'B');
  EXPECT_EQ(dst[5], 0);
  EXPECT_EQ(dst[6], 0);
  EXPECT_EQ(dst[7], 0x7F);
  BYTE empty[2] = {0, 0};
  EXPECT_FALSE(CopyWideString16(dst, 4, empty, 1));
  BYTE unterminated[4] = {'x', 0, 'y', 0};
  EXPECT_TRUE(CopyWideString16(dst, 4, unterminated, 2));
  EXPECT_EQ(dst[4], 0);
  EXPECT_EQ(dst[5], 0);
}

}  // namespace
