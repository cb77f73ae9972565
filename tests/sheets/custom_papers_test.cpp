// The device sheet's custom papers (a user table installed, the model's own
// papers restored) and the write-permission probe.
#include "sheets/custom_papers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/model_fixture.h"
#include "sheets/printer_access.h"

namespace {

std::u16string NameOfPaper(const ModelCaps& caps, std::size_t index) {
  const WCHAR* name = NameListText(caps.Names, caps.Papers[index].NameId);
  return name ? std::u16string(name) : std::u16string(u"<none>");
}

UserPaperTable TableOf(const std::vector<std::pair<std::u16string, std::int32_t>>& papers) {
  UserPaperTable table{};
  for (const auto& [name, width] : papers) {
    UserPaper& e = table.Entry[table.Count];
    e.Width = width;
    e.Length = 297000;
    SetFieldText(e.Name, name);
    ++table.Count;
  }
  return table;
}

std::vector<std::u16string> CustomNames(const ModelCaps& caps) {
  std::vector<std::u16string> names;
  for (std::size_t i = caps.Info.DocumentPaperCount; i < caps.PaperCount(); ++i) names.push_back(NameOfPaper(caps, i));
  return names;
}

TEST(MergeUserPapers, InstallsTheTableWithNewIdsAndNames) {
  fixture::CapsPtr caps = fixture::MakeModel(2);
  const UserPaperTable table = TableOf({{u"Postcard", 100000}, {u"Custom A", 215900}, {u"Menu", 120000}});
  ASSERT_EQ(MergeUserPapers(*caps, table), 1);
  EXPECT_EQ(caps->Info.CustomPaperCount, 3);
  EXPECT_EQ(CustomNames(*caps), (std::vector<std::u16string>{u"Postcard", u"Custom A", u"Menu"}));
  for (std::size_t i = 0; i < 3; ++i) {
    const PaperEntry& e = caps->Papers[4 + i];
    EXPECT_EQ(e.PaperId, 300 + i);
    EXPECT_EQ(e.NameId, caps->Info.FirstCustomNameId + i) << "the old custom name was removed first";
    EXPECT_EQ(e.Width, table.Entry[i].Width);
  }
  EXPECT_EQ(caps->Info.NameCount, caps->Info.FirstCustomNameId + 2);
  EXPECT_EQ(NameOfPaper(*caps, 0), u"A4") << "document papers keep their names";
  // An empty table leaves only the document papers.
  ASSERT_EQ(MergeUserPapers(*caps, UserPaperTable{}), 1);
  EXPECT_EQ(caps->PaperCount(), 4u);
  EXPECT_EQ(caps->Info.NameCount, caps->Info.FirstCustomNameId - 1);
}

TEST(MergeUserPapers, TheChosenPaperIsFoundAgainByNameOrFallsBackToPermanent) {
  struct Case {
    const char* what;
    std::uint16_t chosen;
    std::vector<std::pair<std::u16string, std::int32_t>> table;
    std::uint16_t expected;
  };
  const Case cases[] = {
      {"moved down", 4, {{u"Postcard", 100000}, {u"Custom A", 215900}}, 5},
      {"deleted", 4, {{u"Postcard", 100000}}, 2},
      {"all deleted", 4, {}, 2},
      {"a document paper stays", 1, {{u"Postcard", 100000}}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fixture::CapsPtr caps = fixture::MakeModel(2);
    caps->Defaults.PaperIndex = c.chosen;
    caps->Permanent.PaperIndex = 2;
    ASSERT_EQ(MergeUserPapers(*caps, TableOf(c.table)), 1);
    EXPECT_EQ(caps->Defaults.PaperIndex, c.expected);
    EXPECT_LT(caps->Defaults.PaperIndex, caps->PaperCount());
  }
}

TEST(AddUniquePaper, RefusesNamesInUseAndAFullTable) {
  std::vector<WCHAR> slots(2 * kNameSlotUnits, 0);
  SetFieldText(std::span<WCHAR>(slots.data(), kNameSlotUnits), u"A4");
  SetFieldText(std::span<WCHAR>(slots.data() + kNameSlotUnits, kNameSlotUnits), u"Letter");
  UserPaperTable table = TableOf({{u"Mine", 100000}});
  CustomPaperEntry paper{};
  paper.Width = 111000;
  paper.Length = 222000;
  paper.InchFlag = 1;
  paper.PaperId = 305;
  struct Case {
    const char16_t* name;
    std::uint16_t count;
  };
  const Case cases[] = {{u"A4", 1}, {u"Letter", 1}, {u"Mine", 1}, {u"a4", 2}, {u"Banner", 2}};
  for (const Case& c : cases) {
    UserPaperTable t = table;
    SetFieldText(paper.Name, c.name);
    EXPECT_EQ(AddUniquePaper(slots.data(), paper, t, 1, 2), c.count) << plat::utf8(c.name);
    if (c.count == 2) {
      EXPECT_EQ(t.Entry[1].Width, 111000);
      EXPECT_EQ(t.Entry[1].InchFlag, 1);
      EXPECT_EQ(std::u16string(t.Entry[1].Name), c.name);
    }
  }
  SetFieldText(paper.Name, u"Banner");
  EXPECT_EQ(AddUniquePaper(slots.data(), paper, table, 30, 2), 30) << "the table holds 30";
}

TEST(RestoreUserPapers, KeepsTheUsersPapersAndAddsTheModelsUnusedOnes) {
  fixture::CapsPtr caps = fixture::MakeModel(2);
  // The model's own table: Custom A (too wide for the model), a name a
  // document paper has, and a narrow one.
  CustomPaperTable& model = *caps->CustomPapers;
  model.Count = 3;
  model.Entry[0].Width = 330500;  // above the 320 mm maximum
  model.Entry[0].Length = 139999;  // below the 140 mm minimum
  SetFieldText(model.Entry[1].Name, u"A3");
  model.Entry[1].Width = 297000;
  model.Entry[1].Length = 420000;
  SetFieldText(model.Entry[2].Name, u"Slip");
  model.Entry[2].Width = 100400;
  model.Entry[2].Length = 200600;
  ASSERT_EQ(MergeUserPapers(*caps, TableOf({{u"Mine", 150000}})), 1);
  DevSheetContext context{};
  context.Caps = *caps;
  ASSERT_EQ(RestoreUserPapers(context), 1);
  *caps = context.Caps;  // the blocks now belong to caps again
  EXPECT_EQ(CustomNames(*caps), (std::vector<std::u16string>{u"Mine", u"Custom A", u"Slip"}));
  EXPECT_EQ(caps->Papers[5].Width, 320000);
  EXPECT_EQ(caps->Papers[5].Length, 140000);
  EXPECT_EQ(caps->Papers[6].Width, 100000) << "whole millimetres";
  EXPECT_EQ(caps->Papers[6].Length, 200000);
  EXPECT_EQ(caps->Papers[6].PaperId, 302);

  // Run again: everything is in use already.
  context.Caps = *caps;
  ASSERT_EQ(RestoreUserPapers(context), 1);
  *caps = context.Caps;
  EXPECT_EQ(caps->Info.CustomPaperCount, 3);
}

TEST(WritePermission, TheProbeWritesNothingAndFailsWithoutTheRight) {
  fixture::AddTestPrinter();
  fixture::Printer use(PRINTER_ACCESS_USE);
  ASSERT_NE(use.h, nullptr);
  const std::size_t handles = plat::spooler::OpenHandleCount();
  EXPECT_EQ(ProbeWritePermission(use.h), 1) << "a user's handle is opened again for writing";
  EXPECT_FALSE(plat::spooler::GetData(fixture::kPrinter, u"FavSet_")) << "the probe is deleted again";
  EXPECT_EQ(plat::spooler::OpenHandleCount(), handles);

  ASSERT_TRUE(plat::spooler::SetAdministerDenied(fixture::kPrinter, true));
  EXPECT_EQ(OpenPrinterForWrite(use.h), use.h) << "the own handle when the printer cannot be opened for writing";
  EXPECT_EQ(ProbeWritePermission(use.h), 0);
  EXPECT_EQ(plat::spooler::OpenHandleCount(), handles);
  plat::spooler::Reset();
}

}  // namespace
