#include "settings/caps_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>

#include "settings/model_fixture.h"
#include "support/temp_folder.h"

namespace {

using namespace fixture;

std::vector<BYTE> Stored(std::u16string_view name) {
  auto v = plat::spooler::GetData(kPrinter, name);
  return v ? v->bytes : std::vector<BYTE>{};
}

DWORD StoredType(std::u16string_view name) {
  auto v = plat::spooler::GetData(kPrinter, name);
  return v ? v->type : 0;
}

class CapsStoreTest : public ::testing::Test {
 protected:
  CapsPtr caps = MakeModel(2);
  void SetUp() override {
    AddTestPrinter();
    ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
  }
  void TearDown() override { plat::spooler::Reset(); }

  // Loads into a fresh record that knows only the printer's name.
  CapsPtr Load(int& result) {
    CapsPtr loaded(AllocModelCaps());
    loaded->PrinterName = DuplicateText(kPrinter);
    result = LoadCapsFromPrinterData(loaded.get(), nullptr);
    return loaded;
  }
};

TEST_F(CapsStoreTest, ListValuesAreStoredInTheirLayouts) {
  EXPECT_EQ(Stored(u"BinList"), (std::vector<BYTE>{0, 0, 7, 0, 0, 0, 7, 0, 3, 0, 1, 1, 2, 0, 8, 0}));
  EXPECT_EQ(Stored(u"Dpi"),
            (std::vector<BYTE>{0x2C, 1, 0, 0, 0x2C, 1, 0, 0, 0, 0, 9, 0, 0x2C, 1, 0, 0, 0x58, 2, 0, 0, 1, 0, 10, 0}));
  EXPECT_EQ(Stored(u"Speed"), (std::vector<BYTE>{1, 0, 11, 0, 2, 0, 12, 0}));
  EXPECT_EQ(Stored(u"Density"), (std::vector<BYTE>{1, 0, 13, 0, 3, 0, 14, 0}));
  EXPECT_EQ(Stored(u"Sort"), (std::vector<BYTE>{0, 0, 15, 0, 1, 0, 16, 0, 2, 0, 17, 0}));
  std::vector<BYTE> paper = Stored(u"Paper");
  ASSERT_EQ(paper.size(), 5u * 16);
  // The custom paper: 215900 x 279400 micrometres, inch, id 300, name 19.
  EXPECT_EQ(std::vector<BYTE>(paper.begin() + 64, paper.end()),
            (std::vector<BYTE>{0x5C, 0x4B, 0x03, 0, 0x68, 0x43, 0x04, 0, 1, 0, 0x2C, 1, 19, 0, 0, 0}));
  EXPECT_EQ(Stored(u"OutputPaper").size(), 32u);
  EXPECT_EQ(Stored(u"Free Paper"), (std::vector<BYTE>{0xA0, 0x86, 1, 0, 0x20, 0x42, 2, 0, 0, 0, 0, 1, 18, 0, 0, 0}));
  for (const char16_t* name : {u"Info", u"BinList", u"Paper", u"RdfCustomPaper", u"Defaults", u"Permanent"})
    EXPECT_EQ(StoredType(name), REG_BINARY) << plat::utf8(name);
}

TEST_F(CapsStoreTest, RecordValuesAreStoredInTheirLayouts) {
  std::vector<BYTE> info = Stored(u"Info");
  ASSERT_EQ(info.size(), 192u);
  EXPECT_EQ(info[0], 4);
  EXPECT_EQ(info[1], 1);
  EXPECT_EQ(I32(info.data(), 4), 320000);
  EXPECT_EQ(I32(info.data(), 28), 50);
  EXPECT_EQ(U16(info.data(), 44), 19);
  EXPECT_EQ(info[48], 2);
  EXPECT_EQ(info[105], 2);
  EXPECT_EQ(info[108], 2);
  EXPECT_EQ(I16(info.data(), 132), -3);
  EXPECT_EQ(info[148], 1);
  EXPECT_EQ(U16(info.data(), 152), 0x1234);
  EXPECT_EQ(info[176], 1);
  EXPECT_EQ(I32(info.data(), 184), 1);
  EXPECT_EQ(I32(info.data(), 188), 9999);

  std::vector<BYTE> table = Stored(u"RdfCustomPaper");
  ASSERT_EQ(table.size(), 2404u);
  EXPECT_EQ(U16(table.data(), 0), 1);
  EXPECT_EQ(U16(table.data(), 2), 0);
  EXPECT_EQ(Text(table.data(), 4, 31), u"Custom A");
  EXPECT_EQ(I32(table.data(), 68), 215900);
  EXPECT_EQ(I32(table.data(), 72), 279400);
  EXPECT_EQ(U16(table.data(), 76), 1);
  EXPECT_EQ(U16(table.data(), 78), 300);
  EXPECT_EQ(U32(table.data(), 80), 0u);

  std::vector<BYTE> defaults = Stored(u"Defaults");
  EXPECT_EQ(defaults, Bytes(&caps->Defaults, 2936));
  EXPECT_EQ(Stored(u"Permanent"), defaults);
  EXPECT_EQ(I16(defaults.data(), 48), 1001);  // Drum1Color
  EXPECT_EQ(defaults[2031], 2);               // SortKind
}

TEST_F(CapsStoreTest, TextsAndNamesAreUnterminatedStrings) {
  EXPECT_EQ(Stored(u"Device Name"), TextBytes(u"NEVO Duo 9"));
  EXPECT_EQ(StoredType(u"Device Name"), REG_SZ);
  EXPECT_EQ(Stored(u"Printer Name"), TextBytes(kPrinter));
  EXPECT_EQ(Stored(u"Data File"), TextBytes(u"C:\\drivers\\model.rdf"));
  EXPECT_EQ(Stored(u"Resource DLL"), TextBytes(u"C:\\drivers\\nevores.dll"));
  EXPECT_EQ(Stored(u"   1"), TextBytes(u"A4"));
  EXPECT_EQ(Stored(u"  12"), TextBytes(u"Fast"));
  EXPECT_EQ(Stored(u"  19"), TextBytes(u"Custom A"));
  EXPECT_EQ(StoredType(u"  19"), REG_SZ);
  EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"  20").has_value());
  EXPECT_EQ(NameValueName(1), u"   1");
  EXPECT_EQ(NameValueName(12), u"  12");
  EXPECT_EQ(NameValueName(123), u" 123");
  EXPECT_EQ(NameValueName(1234), u"1234");
}

TEST_F(CapsStoreTest, AModelWithoutCustomPapersStoresAnEmptyTable) {
  caps->Info.CustomPaperCount = 0;
  ASSERT_EQ(BuildCustomPaperTable(caps.get()), 1);
  ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
  std::vector<BYTE> table = Stored(u"RdfCustomPaper");
  ASSERT_EQ(table.size(), 2404u);
  EXPECT_EQ(table[0], 0);
  EXPECT_EQ(table[1], 0);
  EXPECT_EQ(Stored(u"Paper").size(), 4u * 16);
}

TEST(CustomPaperTableBuild, KeepsTheFirstThirtyWithNamesCut) {
  CapsPtr caps = MakeModel(2);
  std::vector<PaperEntry> papers(caps->Papers, caps->Papers + 4);
  for (int i = 0; i < 35; ++i) {
    NameList* node = NameListAppend(caps->Names, std::u16string(40, static_cast<char16_t>(u'a' + i % 26)));
    papers.push_back({100000 + i, 200000 + i, 1, static_cast<std::uint16_t>(300 + i), node->Id, 0});
  }
  GlobalFree(caps->Papers);
  caps->Papers = Block(papers);
  caps->Info.CustomPaperCount = 35;
  ASSERT_EQ(BuildCustomPaperTable(caps.get()), 1);
  EXPECT_EQ(caps->Info.CustomPaperCount, 30);
  const CustomPaperTable& t = *caps->CustomPapers;
  EXPECT_EQ(t.Count, 30);
  EXPECT_EQ(FieldText(t.Entry[29].Name), std::u16string(30, u'd'));
  EXPECT_EQ(t.Entry[29].Width, 100029);
  EXPECT_EQ(t.Entry[29].PaperId, 329);
  EXPECT_EQ(t.Entry[0].InchFlag, 1);
}

TEST_F(CapsStoreTest, AnUnknownPrinterStoresNothing) {
  GlobalFree(caps->PrinterName);
  caps->PrinterName = DuplicateText(u"No Such Printer");
  EXPECT_EQ(StoreCapsAsPrinterData(caps.get()), 0);
  CapsPtr loaded(AllocModelCaps());
  loaded->PrinterName = DuplicateText(u"No Such Printer");
  EXPECT_EQ(LoadCapsFromPrinterData(loaded.get(), nullptr), 0);
}

TEST_F(CapsStoreTest, StoreThenLoadGivesTheModelBack) {
  int result = 0;
  CapsPtr loaded = Load(result);
  ASSERT_EQ(result, 1);
  const ModelCaps& a = *caps;
  const ModelCaps& b = *loaded;
  EXPECT_EQ(0, std::memcmp(&a.Info, &b.Info, sizeof(CapsInfo)));
  EXPECT_EQ(0, std::memcmp(a.Papers, b.Papers, 5 * sizeof(PaperEntry)));
  EXPECT_EQ(0, std::memcmp(a.OutputPapers, b.OutputPapers, 2 * sizeof(PaperEntry)));
  EXPECT_EQ(0, std::memcmp(a.CustomPapers, b.CustomPapers, sizeof(CustomPaperTable)));
  EXPECT_EQ(0, std::memcmp(&a.FreePaper, &b.FreePaper, sizeof(PaperEntry)));
  EXPECT_EQ(0, std::memcmp(a.Bins, b.Bins, 2 * sizeof(BinEntry)));
  EXPECT_EQ(0, std::memcmp(a.Speeds, b.Speeds, 2 * sizeof(LevelEntry)));
  EXPECT_EQ(0, std::memcmp(a.Densities, b.Densities, 2 * sizeof(LevelEntry)));
  EXPECT_EQ(0, std::memcmp(a.Resolutions, b.Resolutions, 2 * sizeof(ResolutionEntry)));
  EXPECT_EQ(0, std::memcmp(a.Sorts, b.Sorts, 3 * sizeof(LevelEntry)));
  EXPECT_EQ(0, std::memcmp(&a.Defaults, &b.Defaults, sizeof(DocSettings)));
  EXPECT_EQ(0, std::memcmp(&a.Defaults, &b.Permanent, sizeof(DocSettings)));
  EXPECT_EQ(plat::view(b.ModelName), plat::view(a.ModelName));
  EXPECT_EQ(plat::view(b.PrinterName), plat::view(a.PrinterName));
  EXPECT_EQ(plat::view(b.DataFile), plat::view(a.DataFile));
  EXPECT_EQ(plat::view(b.ResourceDll), plat::view(a.ResourceDll));
  unsigned count = 0;
  for (const NameList *x = a.Names, *y = b.Names; x || y; x = x->Next, y = y->Next, ++count) {
    ASSERT_TRUE(x && y);
    EXPECT_EQ(x->Id, y->Id);
    EXPECT_EQ(x->Length, y->Length);
    EXPECT_EQ(plat::view(x->Text), plat::view(y->Text));
  }
  EXPECT_EQ(count, 19u);
  EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);

  // Loading again into the same record replaces everything it held.
  Printer p;
  EXPECT_EQ(LoadCapsFromPrinterData(loaded.get(), p.h), 1);
  EXPECT_EQ(loaded->Info.BinCount, 2);
}

TEST_F(CapsStoreTest, DamagedPrinterData) {
  struct Case {
    const char* name;
    std::function<void()> damage;
    int result;
    std::function<void(const ModelCaps&)> check;
  } cases[] = {
      {"short Info", [] { SetValue(u"Info", std::vector<BYTE>(100, 1)); }, 0, nullptr},
      {"long Info", [] { SetValue(u"Info", std::vector<BYTE>(193, 1)); }, 0, nullptr},
      {"missing Info", [] { DeletePrinterDataW(Printer().h, u"Info"); }, 0, nullptr},
      {"missing Dpi", [] { DeletePrinterDataW(Printer().h, u"Dpi"); }, 0, nullptr},
      {"empty Speed", [] { SetValue(u"Speed", {}); }, 0, nullptr},
      {"missing Printer Name", [] { DeletePrinterDataW(Printer().h, u"Printer Name"); }, 0, nullptr},
      {"short RdfCustomPaper", [] { SetValue(u"RdfCustomPaper", std::vector<BYTE>(100, 0)); }, 0, nullptr},
      {"short Defaults", [] { SetValue(u"Defaults", std::vector<BYTE>(100, 0)); }, 0, nullptr},
      {"missing Defaults is a zero block", [] { DeletePrinterDataW(Printer().h, u"Defaults"); }, 1,
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Defaults.ColorMode, 0);
         EXPECT_EQ(c.Permanent.ColorMode, 2);
       }},
      {"missing Free Paper is a zero record", [] { DeletePrinterDataW(Printer().h, u"Free Paper"); }, 1,
       [](const ModelCaps& c) { EXPECT_EQ(c.FreePaper.Width, 0); }},
      {"bin list shorter than its count", [] { SetValue(u"BinList", std::vector<BYTE>{0, 0, 7, 0, 0, 0, 7, 0, 9}); }, 1,
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Info.BinCount, 1);
         EXPECT_EQ(BinAt(c, 1), nullptr);
       }},
      {"paper list shorter than its counts",
       [] {
         std::vector<BYTE> p = Stored(u"Paper");
         p.resize(3 * 16);
         SetValue(u"Paper", p);
       },
       1,
       [](const ModelCaps& c) {
         EXPECT_EQ(c.Info.DocumentPaperCount, 3);
         EXPECT_EQ(c.Info.CustomPaperCount, 0);
         EXPECT_EQ(c.PaperCount(), 3u);
       }},
      {"more than 30 custom papers keep the first 30",
       [] {
         std::vector<BYTE> info = Stored(u"Info");
         info[1] = 40;
         SetValue(u"Info", info);
         std::vector<BYTE> p = Stored(u"Paper");
         p.resize(44 * 16, 0);
         SetValue(u"Paper", p);
       },
       1, [](const ModelCaps& c) { EXPECT_EQ(c.Info.CustomPaperCount, 30); }},
      {"custom table count and names beyond their fields",
       [] {
         std::vector<BYTE> t(2404, 'A');
         t[0] = 99;
         t[1] = 0;
         SetValue(u"RdfCustomPaper", t);
       },
       1,
       [](const ModelCaps& c) {
         EXPECT_EQ(c.CustomPapers->Count, 30);
         for (const CustomPaperEntry& e : c.CustomPapers->Entry) EXPECT_EQ(FieldTextLength(e.Name), 30u);
       }},
      {"name value that fills its buffer",
       [] { SetValue(u"   3", std::vector<BYTE>(600, 'n'), REG_SZ); }, 1,
       [](const ModelCaps& c) {
         const NameList* n = NameListFind(c.Names, 3);
         ASSERT_NE(n, nullptr);
         EXPECT_EQ(n->Length, 255);
         EXPECT_EQ(n->Text[255], 0);
         EXPECT_EQ(n->Text[0], 0x6E6E);
       }},
      {"name value of an odd size",
       [] { SetValue(u"   3", std::vector<BYTE>{'B', 0, '5', 0, 'x'}, REG_SZ); }, 1,
       [](const ModelCaps& c) { EXPECT_EQ(plat::view(NameListText(c.Names, 3)), u"B5"); }},
      {"missing names are empty",
       [] {
         std::vector<BYTE> info = Stored(u"Info");
         info[44] = 22;
         SetValue(u"Info", info);
         DeletePrinterDataW(Printer().h, u"   5");
       },
       1,
       [](const ModelCaps& c) {
         EXPECT_EQ(plat::view(NameListText(c.Names, 5)), u"");
         EXPECT_EQ(plat::view(NameListText(c.Names, 6)), u"A4 output");
         EXPECT_EQ(plat::view(NameListText(c.Names, 22)), u"");
         EXPECT_EQ(NameListText(c.Names, 23), nullptr);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AddTestPrinter();
    ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
    c.damage();
    int result = -1;
    CapsPtr loaded = Load(result);
    EXPECT_EQ(result, c.result);
    if (result == 1 && c.check) c.check(*loaded);
    if (result == 0) {
      EXPECT_EQ(loaded->Papers, nullptr);
      EXPECT_EQ(loaded->Names, nullptr);
    }
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  }
}

// A damaged name count loads the names that exist, and no more names than
// the lists can use: "Info" claiming 65,535 must not cost 65,535 reads a load.
TEST_F(CapsStoreTest, LargestNameCountLoadsTheNamesThatExist) {
  std::vector<BYTE> info = Stored(u"Info");
  info[44] = 0xFF;
  info[45] = 0xFF;
  SetValue(u"Info", info);
  int result = -1;
  CapsPtr loaded = Load(result);
  ASSERT_EQ(result, 1);
  EXPECT_EQ(plat::view(NameListText(loaded->Names, 19)), u"Custom A");
  EXPECT_EQ(plat::view(NameListText(loaded->Names, 0xFFFF)), u"");
  unsigned nodes = 0;
  for (const NameList* n = loaded->Names; n; n = n->Next) ++nodes;
  EXPECT_EQ(nodes, 19u) << "the highest name id the lists use";

  // A count below the lists' needs is kept: names past it stay missing.
  info[44] = 5;
  info[45] = 0;
  SetValue(u"Info", info);
  loaded = Load(result);
  ASSERT_EQ(result, 1);
  nodes = 0;
  for (const NameList* n = loaded->Names; n; n = n->Next) ++nodes;
  EXPECT_EQ(nodes, 5u);
}

TEST_F(CapsStoreTest, DefaultDevmodeValue) {
  DevmodePtr built(BuildDefaultDevmode(nullptr, *caps));
  WriteDefaultDevmode(kPrinter.c_str(), &built->Public);
  EXPECT_EQ(Stored(u"DefaultDevmode"), Bytes(built.get(), 3456));

  std::vector<BYTE> buffer(3456, 0);
  auto* dm = reinterpret_cast<DEVMODEW*>(buffer.data());
  dm->dmSize = 220;
  dm->dmDriverExtra = 3236;
  EXPECT_EQ(ReadDefaultDevmode(kPrinter.c_str(), dm), 1);
  EXPECT_EQ(buffer, Bytes(built.get(), 3456));

  // A buffer too small for the value, and a stored value whose sizes lie, are refused.
  std::vector<BYTE> small(1000, 0);
  auto* sdm = reinterpret_cast<DEVMODEW*>(small.data());
  sdm->dmSize = 220;
  sdm->dmDriverExtra = 780;
  EXPECT_EQ(ReadDefaultDevmode(kPrinter.c_str(), sdm), 0);
  std::vector<BYTE> lying = Bytes(built.get(), 400);
  SetValue(u"DefaultDevmode", lying);
  std::vector<BYTE> before = buffer;
  EXPECT_EQ(ReadDefaultDevmode(kPrinter.c_str(), dm), 0);
  EXPECT_EQ(buffer, before);
  EXPECT_EQ(ReadDefaultDevmode(u"No Such Printer", dm), 0);
}

TEST_F(CapsStoreTest, SheetWrites) {
  Printer p;
  caps->Info.NameCount = 20;
  caps->Defaults.Kimitu = 1;
  EXPECT_EQ(WriteCapsInfo(p.h, caps.get()), ERROR_SUCCESS);
  EXPECT_EQ(Stored(u"Info"), Bytes(&caps->Info, 192));
  EXPECT_EQ(WriteDefaultSettings(p.h, caps.get()), ERROR_SUCCESS);
  EXPECT_EQ(Stored(u"Defaults")[2023], 1);
  EXPECT_NE(Stored(u"Permanent")[2023], 1);

  NameList* node = NameListFind(caps->Names, 19);
  SetFieldText(node->Text, u"Renamed");
  EXPECT_EQ(WritePaperList(p.h, caps.get()), ERROR_SUCCESS);
  EXPECT_EQ(Stored(u"  19"), TextBytes(u"Renamed"));

  Printer readOnly(PRINTER_ACCESS_USE);
  EXPECT_EQ(WriteCapsInfo(readOnly.h, caps.get()), ERROR_ACCESS_DENIED);
}

TEST_F(CapsStoreTest, PrinterDataReads) {
  SetValue(u"Five", std::vector<BYTE>{1, 2, 3, 4, 5});
  Printer p;
  DWORD size = 0;
  BYTE* padded = GetPrinterDataPadded(p.h, u"Five", &size);
  ASSERT_NE(padded, nullptr);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(padded[4], 5);
  EXPECT_EQ(padded[5], 0);
  EXPECT_EQ(padded[6], 0);
  GlobalFree(padded);
  BYTE* exact = GetPrinterDataAlloc(p.h, u"Five", &size);
  ASSERT_NE(exact, nullptr);
  EXPECT_EQ(size, 5u);
  GlobalFree(exact);
  SetValue(u"Empty", {});
  EXPECT_EQ(GetPrinterDataAlloc(p.h, u"Empty", &size), nullptr);
  EXPECT_EQ(GetPrinterDataPadded(p.h, u"Missing", &size), nullptr);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(GetPrinterDataPadded(nullptr, u"Five"), nullptr);
  // The whole-value reader tells an empty value from a missing one.
  EXPECT_EQ(ReadPrinterValue(p.h, u"Five"), (std::vector<BYTE>{1, 2, 3, 4, 5}));
  EXPECT_EQ(ReadPrinterValue(p.h, u"Empty"), std::vector<BYTE>{});
  EXPECT_FALSE(ReadPrinterValue(p.h, u"Missing"));
  EXPECT_FALSE(ReadPrinterValue(nullptr, u"Five"));
}

TEST(NameListOps, AppendFindRemove) {
  NameList* head = NameListAppend(nullptr, u"one");
  ASSERT_NE(head, nullptr);
  EXPECT_EQ(head->Id, 1);
  NameList* two = NameListAppend(head, u"two");
  EXPECT_EQ(two->Id, 2);
  EXPECT_EQ(NameListAppend(head, std::u16string(300, u'z'))->Length, 255);
  EXPECT_EQ(NameListText(head, 3)[255], 0);
  EXPECT_EQ(NameListAppend(head, u"four")->Id, 4);

  NameListRemove(head, 1);
  NameListRemove(head, 0);
  EXPECT_EQ(plat::view(NameListText(head, 1)), u"one");
  NameListRemove(head, 3);
  EXPECT_EQ(NameListFind(head, 3), nullptr);
  EXPECT_EQ(head->Next->Next->Id, 4);
  NameListRemove(head, 42);
  EXPECT_EQ(NameListAppend(head, u"five")->Id, 5);  // after the last node's id
  EXPECT_EQ(NameListText(head, 99), nullptr);
  EXPECT_EQ(NameListFree(head), nullptr);
}

TEST(NameListOps, SlotsAndAppend) {
  NameList* head = NameListAppend(nullptr, u"Short");
  NameListAppend(head, std::u16string(60, u'L'));
  LevelEntry levels[] = {{1, 2}, {2, 1}};
  std::vector<WCHAR> slots(2 * kNameSlotUnits, u'?');
  EXPECT_EQ(CopyLevelListNames(head, levels, slots.data()), 1);
  EXPECT_EQ(std::u16string_view(slots.data()), std::u16string(48, u'L'));
  EXPECT_EQ(std::u16string_view(slots.data() + kNameSlotUnits), u"Short");
  EXPECT_EQ(slots[kNameSlotUnits + 48], 0);
  BinEntry bins[] = {{0, 0, 0, 3}};
  EXPECT_EQ(CopyBinListNames(head, bins, slots.data()), 0);
  NameListFree(head);

  WCHAR text[10] = u"abc";
  EXPECT_EQ(AppendWide(text, 10, u"def"), 7u);
  EXPECT_EQ(AppendWide(text, 10, u"ghijkl"), 10u);
  EXPECT_EQ(std::u16string_view(text), u"abcdefghi");
}

// ---------------------------------------------------------------------------

class ResourceDllTest : public CapsStoreTest {
 public:
  testsupport::MachineRoot machine{"caps-store-root"};
  const std::filesystem::path root = machine.path();
  void WriteModule(const std::string& relative, const std::string& language) {
    std::filesystem::path p = root / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p) << "RESOURCES 1\n[STRINGTABLE]\n800\t" << language << "\n";
  }
  std::u16string LanguageOf(HMODULE m) {
    WCHAR text[16] = {};
    LoadStringW(m, 800, text, 16);
    return text;
  }
};

TEST_F(ResourceDllTest, FindsTheLibrary) {
  struct Case {
    const char* name;
    std::function<void(ResourceDllTest&)> setup;
    const char16_t* language;  // nullptr: none loads
  } cases[] = {
      {"stored path", [](ResourceDllTest& t) { t.WriteModule("C/drivers/nevores.dll", "5"); }, u"5"},
      {"stored name beside the driver's first dependent file",
       [](ResourceDllTest& t) {
         SetValue(u"Resource DLL", TextBytes(u"C:\\old\\place\\nevores.dll"), REG_SZ);
         t.WriteModule("C/drivers/nevores.dll", "6");
       },
       u"6"},
      {"no stored value: the first dependent file",
       [](ResourceDllTest& t) {
         DeletePrinterDataW(Printer().h, u"Resource DLL");
         t.WriteModule("C/drivers/nevores.dll", "7");
       },
       u"7"},
      {"nothing there", [](ResourceDllTest&) {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(root);
    ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
    c.setup(*this);
    HMODULE m = LoadResourceDll(kPrinter.c_str(), nullptr);
    if (!c.language) {
      EXPECT_EQ(m, nullptr);
    } else {
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(LanguageOf(m), c.language);
      FreeLibrary(m);
    }
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  }
  EXPECT_EQ(LoadResourceDll(u"No Such Printer", nullptr), nullptr);
}

TEST(LoginName, CutTo127Characters) {
  plat::machine::SetUserName(std::u16string(200, u'u'));
  WCHAR name[128];
  std::fill(std::begin(name), std::end(name), u'?');
  GetLoginName(name);
  EXPECT_EQ(FieldText(name), std::u16string(127, u'u'));
  plat::machine::SetUserName(u"alice");
  GetLoginName(name);
  EXPECT_EQ(FieldText(name), u"alice");
  plat::machine::Reset();
}

}  // namespace
