// The user-paper dialog as a user works it from the device page, on printers
// of both sample models; each run ends with OK and a check of the custom
// papers the printer data holds, decoded from its bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sample_sheet.h"
#include "sheets/custom_papers.h"
#include "sheets/user_files.h"
#include "sheets/user_paper_dialog.h"

namespace {

using plat::ui::Screen;
using sample::kPrinterName;
using sample::Numbered;

struct Stored {
  std::u16string name;
  std::int32_t width, length;
  std::uint16_t inch;
  bool operator==(const Stored&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Stored& p) {
  return out << plat::utf8(p.name) << " " << p.width << "x" << p.length << (p.inch ? " in" : " mm");
}

std::uint32_t Le(const std::vector<BYTE>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = v << 8 | b[at + static_cast<std::size_t>(i)];
  return v;
}

class UserPapers : public sample::SampleSheet, public ::testing::WithParamInterface<const char*> {
 protected:
  void OpenModel(const std::vector<std::pair<std::string, std::string>>& keys = {}) {
    Open(GetParam(), keys, PRINTER_ALL_ACCESS);
  }
  bool Is1100() const { return std::string(GetParam()) == "NEVO1100.RDF"; }
  // The free paper's size: 210 x 297 mm, or 8.5 x 11 in cut to whole millimetres.
  const char16_t* FreeWidth() const { return Is1100() ? u"210" : u"215"; }
  const char16_t* FreeLength() const { return Is1100() ? u"297" : u"279"; }

  // The device sheet: the user-paper button, steps in the dialog (closed
  // with its close button unless they closed it), then OK.
  void InDialog(const std::function<void(Screen&)>& steps) {
    ASSERT_TRUE(RunDevice([&](Screen& s) {
      ASSERT_TRUE(s.Enabled(3259));
      int opened = 0;
      plat::ui::QueueHandler([&](Screen& d) {
        opened = d.templateId();
        steps(d);
        if (d.IsOpen()) {
          EXPECT_TRUE(d.Click(kClosePapersButton));
        }
      });
      EXPECT_TRUE(s.Click(3259));
      EXPECT_EQ(opened, kUserPaperTemplate);
      EXPECT_TRUE(s.Ok());
    }));
  }

  // The custom papers as the printer data holds them: the entries after the
  // document papers in "Paper" (16 bytes each, little-endian), their ids, and
  // the names their name ids point at.
  static std::vector<Stored> StoredPapers() {
    const auto info = plat::spooler::GetData(kPrinterName, u"Info");
    const auto papers = plat::spooler::GetData(kPrinterName, u"Paper");
    EXPECT_TRUE(info && papers);
    if (!info || !papers) return {};
    const std::size_t documents = info->bytes[0], custom = info->bytes[1];
    EXPECT_EQ(papers->bytes.size(), (documents + custom) * 16);
    std::vector<Stored> out;
    for (std::size_t i = 0; i < custom && (documents + i + 1) * 16 <= papers->bytes.size(); ++i) {
      const std::size_t at = (documents + i) * 16;
      EXPECT_EQ(Le(papers->bytes, at + 10, 2), 300 + i) << "paper id";
      EXPECT_EQ(Le(papers->bytes, at + 14, 2), 0u);
      char id[8];
      std::snprintf(id, sizeof id, "%4u", static_cast<unsigned>(Le(papers->bytes, at + 12, 2)));
      const auto text = plat::spooler::GetData(kPrinterName, plat::u16(id));
      std::u16string name;
      if (text) {
        for (std::size_t k = 0; k + 1 < text->bytes.size(); k += 2) {
          const auto c = static_cast<char16_t>(text->bytes[k] | text->bytes[k + 1] << 8);
          if (c == 0) break;
          name += c;
        }
      }
      out.push_back({name, static_cast<std::int32_t>(Le(papers->bytes, at, 4)),
                     static_cast<std::int32_t>(Le(papers->bytes, at + 4, 4)),
                     static_cast<std::uint16_t>(Le(papers->bytes, at + 8, 2))});
    }
    return out;
  }

  // Replaces the printer's custom papers with count papers "Paper 1".. of 150 x 200 mm.
  void SeedPapers(int count) {
    ModelCaps* caps = AllocModelCaps();
    ASSERT_EQ(LoadCapsFromPrinterData(caps, printer_), 1);
    UserPaperTable table{};
    for (int i = 0; i < count; ++i) {
      UserPaper& p = table.Entry[table.Count++];
      p.Width = 150000;
      p.Length = 200000;
      const std::u16string name = Numbered(u"Paper ", i + 1);
      std::copy(name.begin(), name.end(), p.Name);
    }
    ASSERT_EQ(MergeUserPapers(*caps, table), 1);
    WriteCapsInfo(printer_, caps);
    WritePaperList(printer_, caps);
    FreeModelCaps(caps, true);
    GlobalFree(caps);
  }

  void Reopen(const std::vector<std::pair<std::string, std::string>>& keys = {}) {
    ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
    OpenModel(keys);
  }
};

TEST_P(UserPapers, AddRefusesNamesInUseAndKeepsSizesInTheModelsRange) {
  OpenModel();
  const std::vector<Stored> before = StoredPapers();
  ASSERT_FALSE(before.empty()) << "both models bring custom papers";
  const std::int32_t maxWidth = Is1100() ? 297 : 300;
  InDialog([&](Screen& d) {
    EXPECT_EQ(d.Text(kPaperWidthEdit), FreeWidth()) << "the free paper's size to start with";
    EXPECT_EQ(d.Text(kPaperLengthEdit), FreeLength());
    EXPECT_EQ(d.Text(kPaperWidthRange), Is1100() ? u"(100 - 297)" : u"(90 - 320)");
    EXPECT_EQ(d.Text(kPaperUnitLabel), u"mm");
    EXPECT_FALSE(d.Enabled(kAddPaperButton)) << "no name yet";
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"A4"));
    EXPECT_TRUE(d.Click(kAddPaperButton));
    EXPECT_EQ(Messages(kUserPaperCaption), std::vector<std::u16string>{Message(kPaperNameUsedText, u"A4")});
    EXPECT_TRUE(d.Type(kPaperNameEdit, before[0].name));
    EXPECT_TRUE(d.Click(kAddPaperButton));
    EXPECT_EQ(Messages(kUserPaperCaption).size(), 2u) << "a user paper's name too";
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"  Wide  "));
    EXPECT_TRUE(d.Type(kPaperWidthEdit, u"300"));
    EXPECT_TRUE(d.Type(kPaperLengthEdit, u"200"));
    EXPECT_TRUE(d.Click(kAddPaperButton));
    EXPECT_EQ(d.Text(kPaperNameEdit), u"Wide") << "trimmed";
    EXPECT_EQ(d.Text(kPaperWidthEdit), plat::u16(std::to_string(maxWidth)));
    EXPECT_EQ(Listed(d, kPaperList).back(), u"Wide");
    EXPECT_EQ(d.Selection(kPaperList), d.ItemCount(kPaperList) - 1) << "the new paper is selected";
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"a4"));  // names differ by case
    EXPECT_TRUE(d.Click(kAddPaperButton));
    EXPECT_EQ(Messages(kUserPaperCaption).size(), 2u);
  });
  std::vector<Stored> expected = before;
  expected.push_back({u"Wide", maxWidth * 1000, 200000, 0});
  expected.push_back({u"a4", maxWidth * 1000, 200000, 0});
  EXPECT_EQ(StoredPapers(), expected);
}

TEST_P(UserPapers, UnitsConvertAndInchPapersKeepTheirUnit) {
  OpenModel();
  const std::vector<Stored> before = StoredPapers();
  const std::u16string maxWidth = Is1100() ? u"297" : u"320";
  InDialog([&](Screen& d) {
    EXPECT_TRUE(d.Type(kPaperWidthEdit, u"999"));
    EXPECT_TRUE(d.Leave());
    EXPECT_EQ(d.Text(kPaperWidthEdit), maxWidth) << "read against the model's range";
    EXPECT_TRUE(d.Spin(kPaperWidthSpin, 1));
    EXPECT_EQ(d.Text(kPaperWidthEdit), maxWidth);
    EXPECT_TRUE(d.Spin(kPaperWidthSpin, -2));
    EXPECT_EQ(d.Text(kPaperWidthEdit), Is1100() ? u"295" : u"318");
    EXPECT_TRUE(d.Type(kPaperWidthEdit, FreeWidth()));
    EXPECT_TRUE(d.Leave());
    EXPECT_TRUE(d.Choose(kPaperUnitCombo, 1));
    EXPECT_EQ(d.Text(kPaperWidthEdit), Is1100() ? u"8.27" : u"8.46") << "from whole millimetres";
    EXPECT_EQ(d.Text(kPaperLengthEdit), Is1100() ? u"11.69" : u"10.98");
    EXPECT_EQ(d.Text(kPaperUnitLabel), u"inch");
    EXPECT_EQ(d.Text(kPaperWidthRange), Is1100() ? u"(3.94 - 11.69)" : u"(3.54 - 12.60)");
    EXPECT_TRUE(d.Choose(kPaperUnitCombo, 0));
    EXPECT_EQ(d.Text(kPaperWidthEdit), FreeWidth());
    EXPECT_EQ(d.Text(kPaperLengthEdit), FreeLength());
    EXPECT_TRUE(d.Choose(kPaperUnitCombo, 1));
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"My Letter"));
    EXPECT_TRUE(d.Type(kPaperWidthEdit, u"8.5"));
    EXPECT_TRUE(d.Type(kPaperLengthEdit, u"11"));
    EXPECT_TRUE(d.Click(kAddPaperButton));
    EXPECT_TRUE(d.Select(kPaperList, {0}));
    EXPECT_EQ(d.Selection(kPaperUnitCombo), before[0].inch);
    EXPECT_TRUE(d.Select(kPaperList, {d.ItemCount(kPaperList) - 1}));
    EXPECT_EQ(d.Text(kPaperNameEdit), u"My Letter");
    EXPECT_EQ(d.Selection(kPaperUnitCombo), 1) << "a paper shows in its own unit";
    EXPECT_EQ(d.Text(kPaperWidthEdit), u"8.50");
    EXPECT_EQ(d.Text(kPaperLengthEdit), u"11.00");
  });
  std::vector<Stored> expected = before;
  expected.push_back({u"My Letter", 215900, 279400, 1});
  EXPECT_EQ(StoredPapers(), expected);
}

TEST_P(UserPapers, MovesStopAtTheEndsAndDeleteStartsAfresh) {
  OpenModel();
  SeedPapers(3);
  InDialog([&](Screen& d) {
    EXPECT_FALSE(d.Enabled(kDeletePaperButton));
    EXPECT_FALSE(d.Enabled(kPaperUpButton));
    EXPECT_FALSE(d.Enabled(kPaperDownButton));
    EXPECT_TRUE(d.Select(kPaperList, {0}));
    EXPECT_FALSE(d.Enabled(kPaperUpButton)) << "the first paper";
    EXPECT_TRUE(d.Enabled(kPaperDownButton));
    EXPECT_TRUE(d.Select(kPaperList, {2}));
    EXPECT_TRUE(d.Enabled(kPaperUpButton));
    EXPECT_FALSE(d.Enabled(kPaperDownButton)) << "the last paper";
    EXPECT_TRUE(d.Click(kPaperUpButton));
    EXPECT_EQ(Listed(d, kPaperList), (std::vector<std::u16string>{u"Paper 1", u"Paper 3", u"Paper 2"}));
    EXPECT_EQ(d.Selection(kPaperList), 1) << "the moved paper stays selected";
    EXPECT_TRUE(d.Click(kPaperUpButton));
    EXPECT_FALSE(d.Enabled(kPaperUpButton));
    EXPECT_EQ(d.Text(kPaperWidthEdit), u"150");
    EXPECT_TRUE(d.Select(kPaperList, {1}));
    EXPECT_TRUE(d.Click(kDeletePaperButton));
    EXPECT_EQ(Listed(d, kPaperList), (std::vector<std::u16string>{u"Paper 3", u"Paper 2"}));
    EXPECT_EQ(d.Selection(kPaperList), -1);
    EXPECT_EQ(d.Text(kPaperNameEdit), u"");
    EXPECT_EQ(d.Text(kPaperWidthEdit), FreeWidth()) << "the free paper's size again";
    EXPECT_EQ(d.Text(kPaperLengthEdit), FreeLength());
    EXPECT_FALSE(d.Enabled(kDeletePaperButton));
    EXPECT_TRUE(d.Select(kPaperList, {0}));
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"Other"));
    EXPECT_EQ(d.Selection(kPaperList), -1) << "typing a name leaves the paper";
    EXPECT_FALSE(d.Enabled(kDeletePaperButton));
  });
  EXPECT_EQ(StoredPapers(), (std::vector<Stored>{{u"Paper 3", 150000, 200000, 0}, {u"Paper 2", 150000, 200000, 0}}));
}

TEST_P(UserPapers, ImportAddsWhatFitsAndReportsTheRest) {
  OpenModel();
  const std::u16string model = ModelName();
  auto paper = [](const char16_t* name, std::int32_t w, std::int32_t l, std::uint16_t inch = 0) {
    UserPaper p{};
    std::u16string_view n(name);
    std::copy(n.begin(), n.end(), p.Name);
    p.Width = w;
    p.Length = l;
    p.InchFlag = inch;
    return p;
  };
  struct Case {
    const char* what;
    int before;  // "Paper 1".. in the dialog
    std::vector<UserPaper> file;
    bool damageFirst;  // the first record's unit is "3"
    std::vector<Stored> added;
    std::vector<UINT> messages;
  };
  const Case cases[] = {
      {"new papers, one in inches, one beyond the model",
       0,
       {paper(u"Card", 100000, 150000), paper(u"My Letter", 215900, 279400, 1), paper(u"Huge", 900000, 900000)},
       false,
       {{u"Card", 100000, 150000, 0},
        {u"My Letter", 215900, 279400, 1},
        {u"Huge", Is1100() ? 297000 : 320000, Is1100() ? 432000 : 435000, 0}},
       {}},
      {"into 29", 29, {paper(u"Card", 100000, 150000), paper(u"Menu", 120000, 150000)}, false,
       {{u"Card", 100000, 150000, 0}}, {kPapersFullText}},
      {"names in use or blank", 1,
       {paper(u"Paper 1", 100000, 150000), paper(u"A4", 100000, 150000), paper(u"   ", 100000, 150000),
        paper(u" Menu ", 120000, 150000)},
       false, {{u"Menu", 120000, 150000, 0}}, {kPapersSkippedText}},
      {"a damaged record", 0, {paper(u"Bad", 100000, 150000), paper(u"Card", 100000, 150000)}, true,
       {{u"Card", 100000, 150000, 0}}, {kPapersSkippedText}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Reopen();
    SeedPapers(c.before);
    UserPaperTable table{};
    for (const UserPaper& p : c.file) table.Entry[table.Count++] = p;
    ASSERT_EQ(ExportPaperFile(u"C:\\in.udp", model.c_str(), table), 1);
    if (c.damageFirst) {
      std::string bytes = FileBytes("in.udp");
      const std::size_t unit = bytes.find("RSend") - 5;
      ASSERT_EQ(bytes[unit], '1');
      bytes[unit] = '3';
      std::ofstream(root_ / "C" / "in.udp", std::ios::binary) << bytes;
    }
    plat::ui::ResetMessageBoxes();
    InDialog([&](Screen& d) {
      EXPECT_TRUE(d.Type(kPaperNameEdit, u"Typed"));
      plat::ui::QueueFileAnswer(u"C:\\in.udp");
      EXPECT_TRUE(d.Click(kImportPapersButton));
      EXPECT_EQ(d.Text(kPaperNameEdit), u"Typed") << "the name being typed stays";
      EXPECT_EQ(d.ItemCount(kPaperList), c.before + static_cast<int>(c.added.size()));
      EXPECT_EQ(d.Enabled(kImportPapersButton), d.ItemCount(kPaperList) < 30);
    });
    std::vector<Stored> expected;
    for (int i = 1; i <= c.before; ++i) expected.push_back({Numbered(u"Paper ", i), 150000, 200000, 0});
    expected.insert(expected.end(), c.added.begin(), c.added.end());
    EXPECT_EQ(StoredPapers(), expected);
    std::vector<std::u16string> messages;
    for (UINT id : c.messages) messages.push_back(Message(id));
    EXPECT_EQ(Messages(kUserPaperCaption), messages);
  }
}

TEST_P(UserPapers, AnUnreadableFileChangesNothing) {
  OpenModel();
  const std::vector<Stored> before = StoredPapers();
  std::ofstream(root_ / "C" / "junk.udp", std::ios::binary) << std::string(300, 'x');
  InDialog([&](Screen& d) {
    plat::ui::QueueFileAnswer(u"C:\\junk.udp");
    EXPECT_TRUE(d.Click(kImportPapersButton));
    plat::ui::QueueFileAnswer(std::nullopt);
    EXPECT_TRUE(d.Click(kImportPapersButton));
  });
  EXPECT_EQ(Messages(kUserPaperCaption), std::vector<std::u16string>{Message(kPapersUnreadText)})
      << "a cancelled choice says nothing";
  EXPECT_EQ(StoredPapers(), before);
}

TEST_P(UserPapers, ExportThenImportIntoANewPrinterGivesTheSamePapers) {
  OpenModel();
  SeedPapers(2);
  InDialog([&](Screen& d) {
    EXPECT_TRUE(d.Type(kPaperNameEdit, u"My Letter"));
    EXPECT_TRUE(d.Choose(kPaperUnitCombo, 1));
    EXPECT_TRUE(d.Type(kPaperWidthEdit, u"8.5"));
    EXPECT_TRUE(d.Type(kPaperLengthEdit, u"11"));
    EXPECT_TRUE(d.Click(kAddPaperButton));
    plat::ui::QueueFileAnswer(u"C:\\mine");
    EXPECT_TRUE(d.Click(kExportPapersButton));
  });
  const std::vector<Stored> exported = StoredPapers();
  ASSERT_EQ(exported.size(), 3u);
  const auto log = plat::ui::FileDialogLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].defaultExtension, u"udp");
  ASSERT_FALSE(FileBytes("mine.udp").empty());

  Reopen();
  SeedPapers(0);
  InDialog([&](Screen& d) {
    plat::ui::QueueFileAnswer(u"C:\\mine.udp");
    EXPECT_TRUE(d.Click(kImportPapersButton));
  });
  EXPECT_EQ(StoredPapers(), exported);
  EXPECT_TRUE(Messages(kUserPaperCaption).empty());
}

TEST_P(UserPapers, ImportAndExportFollowTheirCapability) {
  for (const char* availability : {"0", "2"}) {
    SCOPED_TRACE(availability);
    if (printer_) Reopen({{"UserPaperFileEnable", availability}});
    else OpenModel({{"UserPaperFileEnable", availability}});
    InDialog([&](Screen& d) {
      for (int id : {kImportPapersButton, kExportPapersButton}) {
        EXPECT_EQ(d.Visible(id), availability[0] == '0') << id;
        EXPECT_TRUE(availability[0] != '0' || !d.Enabled(id)) << id;
      }
    });
  }
}

INSTANTIATE_TEST_SUITE_P(SampleModels, UserPapers, ::testing::Values("NEVO1100.RDF", "NEVO2600.RDF"),
                         [](const auto& info) { return std::string(info.param).substr(0, 8); });

}  // namespace
