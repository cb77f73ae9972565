#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "plat/machine.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "support/temp_folder.h"

namespace {

constexpr char16_t kPrinter[] = u"NEVO Forms";
constexpr DWORD kBuiltinCount = 118;

struct FormView {
  DWORD flags;
  std::u16string name;
  SIZEL size;
  RECTL area;
};

void AddTestPrinter() {
  plat::spooler::PrinterSetup setup;
  setup.name = kPrinter;
  setup.port = u"USB001";
  setup.driver.name = u"NEVO QM7100";
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
}

HANDLE OpenUse() {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  EXPECT_TRUE(OpenPrinterW(kPrinter, &h, &defaults));
  return h;
}

std::vector<FormView> Enumerate(HANDLE h) {
  DWORD needed = 0, returned = 7;
  EXPECT_FALSE(EnumFormsW(h, 1, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(returned, 0u);
  std::vector<BYTE> buffer(needed);
  EXPECT_TRUE(EnumFormsW(h, 1, buffer.data(), needed, &needed, &returned));
  std::vector<FormView> out;
  const auto* f = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) out.push_back({f[i].Flags, f[i].pName, f[i].Size, f[i].ImageableArea});
  return out;
}

FORM_INFO_1W Record(const char16_t* name, LONG cx, LONG cy) {
  return FORM_INFO_1W{FORM_USER, const_cast<LPWSTR>(name), SIZEL{cx, cy}, RECTL{0, 0, cx, cy}};
}

BOOL Add(HANDLE h, FORM_INFO_1W f) { return AddFormW(h, 1, reinterpret_cast<LPBYTE>(&f)); }

class SpoolerForms : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    AddTestPrinter();
    h_ = OpenUse();
  }
  void TearDown() override {
    ClosePrinter(h_);
    plat::spooler::Reset();
  }
  HANDLE h_ = nullptr;
};

// Position n is DMPAPER n; sizes as documented, in micrometres.
TEST_F(SpoolerForms, BuiltinFormsFollowThePaperNumbers) {
  const auto forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount);
  struct Case {
    DWORD paper;
    std::u16string name;
    LONG cx, cy;
  };
  const Case cases[] = {
      {1, u"Letter", 215900, 279400},
      {4, u"Ledger", 431800, 279400},
      {5, u"Legal", 215900, 355600},
      {7, u"Executive", 184150, 266700},
      {8, u"A3", 297000, 420000},
      {9, u"A4", 210000, 297000},
      {11, u"A5", 148000, 210000},
      {12, u"B4 (JIS)", 257000, 364000},
      {13, u"B5 (JIS)", 182000, 257000},
      {14, u"Folio", 215900, 330200},
      {19, u"Envelope #9", 98425, 225425},
      {20, u"Envelope #10", 104775, 241300},
      {27, u"Envelope DL", 110000, 220000},
      {38, u"6 3/4 Envelope", 92075, 165100},
      {39, u"US Std Fanfold", 377825, 279400},
      {43, u"Japanese Postcard", 100000, 148000},
      {47, u"Envelope Invite", 220000, 220000},
      {50, u"Letter Extra", 241300, 304800},
      {53, u"A4 Extra", 235458, 322326},
      {66, u"A2", 420000, 594000},
      {70, u"A6", 105000, 148000},
      {77, u"A4 Rotated", 297000, 210000},
      {88, u"B6 (JIS)", 128000, 182000},
      {90, u"12x11", 304800, 279400},
      {93, u"PRC 16K", 146000, 215000},
      {105, u"PRC Envelope #10", 324000, 458000},
      {118, u"PRC Envelope #10 Rotated", 458000, 324000},
  };
  for (const auto& c : cases) {
    const auto& f = forms[c.paper - 1];
    EXPECT_EQ(f.name, c.name) << c.paper;
    EXPECT_EQ(f.size.cx, c.cx) << c.paper;
    EXPECT_EQ(f.size.cy, c.cy) << c.paper;
  }
  std::set<std::u16string> names;
  for (const auto& f : forms) {
    EXPECT_EQ(f.flags, FORM_BUILTIN) << plat::utf8(f.name);
    EXPECT_GT(f.size.cx, 0);
    EXPECT_GT(f.size.cy, 0);
    EXPECT_EQ(f.area.left, 0);
    EXPECT_EQ(f.area.top, 0);
    EXPECT_EQ(f.area.right, f.size.cx) << plat::utf8(f.name);
    EXPECT_EQ(f.area.bottom, f.size.cy) << plat::utf8(f.name);
    std::u16string folded = f.name;
    for (auto& ch : folded) ch = plat::FoldCase(ch);
    EXPECT_TRUE(names.insert(folded).second) << "two forms named " << plat::utf8(f.name);
  }
}

// User forms follow the built-in ones in the order they were added; a
// deleted form's followers move up, a form added again goes last.
TEST_F(SpoolerForms, UserFormsFollowInCreationOrder) {
  auto ticket = Record(u"Ticket", 100000, 50000);
  ticket.ImageableArea = RECTL{1000, 2000, 99000, 48000};
  ASSERT_TRUE(Add(h_, Record(u"Program Card", 127000, 188000)));
  ASSERT_TRUE(Add(h_, ticket));
  ASSERT_TRUE(Add(h_, Record(u"Legal 13", 215900, 330200)));
  auto forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount + 3);
  EXPECT_EQ(forms[118].name, u"Program Card");
  EXPECT_EQ(forms[119].name, u"Ticket");
  EXPECT_EQ(forms[120].name, u"Legal 13");
  EXPECT_EQ(forms[119].flags, FORM_USER);
  EXPECT_EQ(forms[119].size.cx, 100000);
  EXPECT_EQ(forms[119].size.cy, 50000);
  EXPECT_EQ(forms[119].area.left, 1000);
  EXPECT_EQ(forms[119].area.top, 2000);
  EXPECT_EQ(forms[119].area.right, 99000);
  EXPECT_EQ(forms[119].area.bottom, 48000);

  ASSERT_TRUE(DeleteFormW(h_, u"program card"));
  ASSERT_TRUE(Add(h_, Record(u"Program Card", 127000, 188000)));
  forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount + 3);
  EXPECT_EQ(forms[118].name, u"Ticket");
  EXPECT_EQ(forms[119].name, u"Legal 13");
  EXPECT_EQ(forms[120].name, u"Program Card");
}

TEST_F(SpoolerForms, GetFormFollowsTheSizeProtocol) {
  ASSERT_TRUE(Add(h_, Record(u"Wide Postcard", 148000, 100000)));
  for (const char16_t* name : {u"A4", u"a4", u"Wide Postcard", u"WIDE POSTCARD"}) {
    DWORD needed = 0;
    EXPECT_FALSE(GetFormW(h_, name, 1, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, sizeof(FORM_INFO_1W));
    std::vector<BYTE> buffer(needed);
    DWORD again = 0;
    EXPECT_FALSE(GetFormW(h_, name, 1, buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(again, needed);
    ASSERT_TRUE(GetFormW(h_, name, 1, buffer.data(), needed, &needed));
    const auto* f = reinterpret_cast<const FORM_INFO_1W*>(buffer.data());
    const bool a4 = name[0] == u'A' || name[0] == u'a';
    EXPECT_EQ(std::u16string(f->pName), a4 ? u"A4" : u"Wide Postcard");  // the stored spelling
    EXPECT_EQ(f->Flags, a4 ? FORM_BUILTIN : FORM_USER);
    EXPECT_EQ(f->Size.cx, a4 ? 210000 : 148000);
    EXPECT_EQ(f->Size.cy, a4 ? 297000 : 100000);
  }
  DWORD needed = 0;
  EXPECT_FALSE(GetFormW(h_, u"No Such Form", 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FORM_NAME);
  EXPECT_FALSE(GetFormW(h_, u"A4", 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
  DWORD returned = 0;
  EXPECT_FALSE(EnumFormsW(h_, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
}

// Every refused change leaves the forms as they were.
TEST_F(SpoolerForms, RefusedAddsChangeNothing) {
  ASSERT_TRUE(Add(h_, Record(u"Ticket", 100000, 50000)));
  auto builtinFlag = Record(u"New", 1000, 1000);
  builtinFlag.Flags = FORM_BUILTIN;
  auto areaOutside = Record(u"New", 1000, 1000);
  areaOutside.ImageableArea.right = 1001;
  auto areaEmpty = Record(u"New", 1000, 1000);
  areaEmpty.ImageableArea = RECTL{500, 0, 500, 1000};
  auto negativeArea = Record(u"New", 1000, 1000);
  negativeArea.ImageableArea.top = -1;
  struct Case {
    const char* what;
    FORM_INFO_1W form;
    DWORD error;
  };
  const Case cases[] = {
      {"a user form's name in other case", Record(u"TICKET", 1000, 1000), ERROR_FILE_EXISTS},
      {"a built-in form's name", Record(u"a4", 210000, 297000), ERROR_FILE_EXISTS},
      {"an empty name", Record(u"", 1000, 1000), ERROR_INVALID_FORM_NAME},
      {"no name", Record(nullptr, 1000, 1000), ERROR_INVALID_FORM_NAME},
      {"zero width", Record(u"New", 0, 1000), ERROR_INVALID_PARAMETER},
      {"negative length", Record(u"New", 1000, -5), ERROR_INVALID_PARAMETER},
      {"built-in flag", builtinFlag, ERROR_INVALID_PARAMETER},
      {"area outside the sheet", areaOutside, ERROR_INVALID_PARAMETER},
      {"empty area", areaEmpty, ERROR_INVALID_PARAMETER},
      {"area before the sheet", negativeArea, ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(Add(h_, c.form)) << c.what;
    EXPECT_EQ(GetLastError(), c.error) << c.what;
  }
  auto ok = Record(u"New", 1000, 1000);
  EXPECT_FALSE(AddFormW(h_, 2, reinterpret_cast<LPBYTE>(&ok)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
  EXPECT_FALSE(AddFormW(h_, 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(AddFormW(reinterpret_cast<HANDLE>(0x1234), 1, reinterpret_cast<LPBYTE>(&ok)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinter, true));
  EXPECT_FALSE(Add(h_, ok));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(SetFormW(h_, u"Ticket", 1, reinterpret_cast<LPBYTE>(&ok)));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(DeleteFormW(h_, u"Ticket"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Enumerate(h_).size(), kBuiltinCount + 1) << "reading needs no administer right";
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinter, false));

  const auto forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount + 1);
  EXPECT_EQ(forms.back().name, u"Ticket");
  EXPECT_EQ(forms.back().size.cx, 100000);
}

TEST_F(SpoolerForms, SetFormChangesAUserFormInPlace) {
  ASSERT_TRUE(Add(h_, Record(u"Program Card", 127000, 188000)));
  ASSERT_TRUE(Add(h_, Record(u"Ticket", 100000, 50000)));
  auto bigger = Record(u"ignored", 130000, 190000);
  bigger.Flags = FORM_PRINTER;
  ASSERT_TRUE(SetFormW(h_, u"PROGRAM CARD", 1, reinterpret_cast<LPBYTE>(&bigger)));
  auto forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount + 2);
  EXPECT_EQ(forms[118].name, u"Program Card");
  EXPECT_EQ(forms[118].flags, FORM_PRINTER);
  EXPECT_EQ(forms[118].size.cx, 130000);
  EXPECT_EQ(forms[118].size.cy, 190000);
  EXPECT_EQ(forms[118].area.right, 130000);
  EXPECT_EQ(forms[119].name, u"Ticket");

  auto letter = Record(u"Letter", 1000, 1000);
  EXPECT_FALSE(SetFormW(h_, u"Letter", 1, reinterpret_cast<LPBYTE>(&letter)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetFormW(h_, u"No Such Form", 1, reinterpret_cast<LPBYTE>(&letter)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FORM_NAME);
  auto empty = Record(u"Ticket", 0, 0);
  EXPECT_FALSE(SetFormW(h_, u"Ticket", 1, reinterpret_cast<LPBYTE>(&empty)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(SetFormW(h_, u"Ticket", 2, reinterpret_cast<LPBYTE>(&letter)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);

  EXPECT_FALSE(DeleteFormW(h_, u"A4"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(DeleteFormW(h_, u"No Such Form"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_FORM_NAME);

  forms = Enumerate(h_);
  ASSERT_EQ(forms.size(), kBuiltinCount + 2);
  EXPECT_EQ(forms[0].size.cx, 215900);
  EXPECT_EQ(forms[8].name, u"A4");
  EXPECT_EQ(forms[119].size.cx, 100000);
}

TEST_F(SpoolerForms, ResetRemovesTheUserForms) {
  ASSERT_TRUE(Add(h_, Record(u"Ticket", 100000, 50000)));
  ClosePrinter(h_);
  plat::spooler::Reset();
  AddTestPrinter();
  h_ = OpenUse();
  EXPECT_EQ(Enumerate(h_).size(), kBuiltinCount);
}

}  // namespace

// Forms live with the machine's spooler state: what another process writes
// there, names with tabs and the order included, is what this one lists.
TEST(PersistentSpoolerForms, StateFileKeepsTheUserFormsInOrder) {
  namespace fs = std::filesystem;
  testsupport::MachineRoot root("spooler-forms");
  ASSERT_TRUE(plat::machine::SaveProfile());
  plat::spooler::Reset();
  AddTestPrinter();
  HANDLE h = OpenUse();
  ASSERT_TRUE(Add(h, Record(u"Program Card", 127000, 188000)));
  ASSERT_TRUE(Add(h, Record(u"Tab\tName", 100000, 50000)));

  const fs::path state = root.path() / ".machine" / "state" / "spooler";
  std::ifstream in(state, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const size_t card = text.find("form\tProgram Card\t0\t127000\t188000\t0\t0\t127000\t188000\n");
  const size_t tab = text.find("form\tTab\\tName\t0\t100000\t50000\t0\t0\t100000\t50000\n");
  ASSERT_NE(card, std::string::npos) << text;
  ASSERT_NE(tab, std::string::npos) << text;
  EXPECT_LT(card, tab);

  // Another process swaps them and changes a size (the file's length
  // changes too, so that the change is seen within one clock tick).
  std::string swapped = text.substr(0, card) + "form\tTab\\tName\t0\t100000\t50000\t0\t0\t100000\t50000\n" +
                        "form\tProgram Card\t2\t130000\t1190000\t0\t0\t130000\t1190000\n" +
                        text.substr(tab + std::string("form\tTab\\tName\t0\t100000\t50000\t0\t0\t100000\t50000\n").size());
  std::ofstream(state, std::ios::binary | std::ios::trunc) << swapped;
  const auto forms = Enumerate(h);
  ASSERT_EQ(forms.size(), kBuiltinCount + 2);
  EXPECT_EQ(forms[118].name, u"Tab\tName");
  EXPECT_EQ(forms[119].name, u"Program Card");
  EXPECT_EQ(forms[119].flags, FORM_PRINTER);
  EXPECT_EQ(forms[119].size.cy, 1190000);
  ClosePrinter(h);
  plat::spooler::Reset();
}
