// The device settings page as a user works it on printers of the sample
// models, checked against the printer data the device sheet writes at OK.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sample_sheet.h"
#include "sheets/custom_papers.h"
#include "sheets/device_page.h"
#include "support/peer.h"

namespace {

using plat::ui::Screen;
using sample::SampleSheet;

class DevicePage : public SampleSheet {
 protected:
  void OpenModel(const char* model, const std::vector<std::pair<std::string, std::string>>& keys = {}) {
    Open(model, keys, PRINTER_ALL_ACCESS);
    // What an OK without changes writes is the base of every expectation.
    ASSERT_TRUE(RunDevice([](Screen& s) { EXPECT_TRUE(s.Ok()); }));
    base_ = StoredDefaults();
  }
  // The stored "Defaults" are the base with edit applied, byte for byte.
  void ExpectDefaults(const std::function<void(DocSettings&)>& edit) {
    DocSettings expected = base_;
    edit(expected);
    const DocSettings stored = StoredDefaults();
    const auto* a = reinterpret_cast<const BYTE*>(&stored);
    const auto* b = reinterpret_cast<const BYTE*>(&expected);
    for (std::size_t i = 0; i < sizeof(DocSettings); ++i) ASSERT_EQ(a[i], b[i]) << "settings byte " << i;
  }
  void SetAddress(const char16_t* address, std::uint8_t inkInformation) {
    SetPrinterDefaults([&](DocSettings& d) {
      std::fill(std::begin(d.PrinterAddress), std::end(d.PrinterAddress), WCHAR{0});
      SetFieldText(d.PrinterAddress, address);
      d.InkInformation = inkInformation;
    });
    base_ = StoredDefaults();
  }
  DocSettings base_{};
};

TEST_F(DevicePage, TheAddressSwitchesInkInformationWhenFirstEntered) {
  OpenModel("NEVO2600.RDF");
  struct Case {
    const char16_t* before;
    std::uint8_t infoBefore;
    const char16_t* typed;  // "..." clears the field
    const char16_t* after;
    std::uint8_t infoAfter;
  };
  const Case cases[] = {
      {u"", 0, u"10.1.2.3", u"10.1.2.3", 1},
      {u"0.0.0.0", 0, u"192.168.100.200", u"192.168.100.200", 1},
      {u"10.1.2.3", 0, u"10.1.2.4", u"10.1.2.4", 0},
      {u"10.1.2.3", 1, u"0.0.0.0", u"0.0.0.0", 0},
      {u"10.1.2.3", 1, u"...", u"", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::utf8(c.typed));
    SetAddress(c.before, c.infoBefore);
    ASSERT_TRUE(RunDevice([&](Screen& s) {
      EXPECT_TRUE(s.SetAddress(3247, c.typed)) << s.LastError();
      EXPECT_TRUE(s.Leave());
      EXPECT_EQ(s.Checked(3248), c.infoAfter ? BST_CHECKED : BST_UNCHECKED);
      const bool set = std::u16string_view(c.after) != u"" && std::u16string_view(c.after) != u"0.0.0.0";
      EXPECT_EQ(s.Enabled(3248), set);
      EXPECT_EQ(s.Enabled(3261), set);
      EXPECT_EQ(s.Visible(3246), !set);
      EXPECT_TRUE(s.Ok());
    }));
    ExpectDefaults([&](DocSettings& d) {
      std::fill(std::begin(d.PrinterAddress), std::end(d.PrinterAddress), WCHAR{0});
      SetFieldText(d.PrinterAddress, c.after);
      d.InkInformation = c.infoAfter;
    });
  }
}

TEST_F(DevicePage, OptionsFollowTheirRulesAgainstPermanent) {
  OpenModel("NEVO2600.RDF");
  SetPrinterDefaults([](DocSettings& d) {
    d.OutputMode = 2;
    d.HoldMemoryInstalled = 1;
    d.SortKind = 0;
  });
  base_ = StoredDefaults();
  ASSERT_TRUE(RunDevice([](Screen& s) {
    EXPECT_EQ(s.ItemCount(3252), 3);
    EXPECT_EQ(s.Selection(3255), 1);
    EXPECT_TRUE(s.Choose(3255, 0));
    EXPECT_TRUE(s.Choose(3252, 2));
    EXPECT_TRUE(s.Choose(3254, 1));
    EXPECT_TRUE(s.Ok());
  }));
  ExpectDefaults([](DocSettings& d) {
    d.HoldMemoryInstalled = 0;
    d.OutputMode = 0;  // no hold memory, no holding
    SetSortKind(d, 2);
    d.TapeSorterInstalled = 1;
  });
}

TEST_F(DevicePage, WithoutTheRightToWriteEveryGroupIsDisabled) {
  for (const char* model : {"NEVO1100.RDF", "NEVO2600.RDF"}) {
    SCOPED_TRACE(model);
    OpenModel(model);
    SetAddress(u"10.0.0.1", 1);
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(sample::kPrinterName, true));
    const bool holdHidden = std::string(model) == "NEVO1100.RDF";
    RunDevice([&](Screen& s) {
      for (int id : {3245, 3247, 3248, 3250, 3251, 3252, 3253, 3254, 3257, 3258, 3259, 3260, 3261, 2009}) {
        EXPECT_TRUE(s.Visible(id)) << id;
        EXPECT_FALSE(s.Enabled(id)) << id;
      }
      EXPECT_EQ(s.Visible(3255), !holdHidden) << "a model without hold memory never shows it";
      EXPECT_TRUE(holdHidden || !s.Enabled(3255));
      EXPECT_TRUE(s.Cancel());
    });
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(sample::kPrinterName, false));
    // With the right, the model decides.
    RunDevice([&](Screen& s) {
      EXPECT_TRUE(s.Enabled(2009));
      EXPECT_TRUE(s.Enabled(3250));
      EXPECT_EQ(s.Visible(3254), !holdHidden) << "tape sorter: 2 on the one-drum model";
      EXPECT_EQ(s.Enabled(3252), !holdHidden) << "sorter: 0 on the one-drum model";
      EXPECT_TRUE(s.Cancel());
    });
    ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
  }
}

TEST_F(DevicePage, RestoreKeepsTheUsersPapersAndAddsTheModelsBack) {
  OpenModel("NEVO2600.RDF");
  // The user's own papers replace the model's two.
  {
    ModelCaps* caps = AllocModelCaps();
    ASSERT_EQ(LoadCapsFromPrinterData(caps, printer_), 1);
    UserPaperTable table{};
    table.Count = 2;
    table.Entry[0] = UserPaper{u"Mine", 150000, 200000, 0, 0, 0};
    table.Entry[1] = UserPaper{u"Program Card", 160000, 210000, 0, 0, 0};  // the model's name, the user's size
    ASSERT_EQ(MergeUserPapers(*caps, table), 1);
    WriteCapsInfo(printer_, caps);
    WritePaperList(printer_, caps);
    FreeModelCaps(caps, true);
    GlobalFree(caps);
  }
  SetPrinterDefaults([](DocSettings& d) {
    SetFieldText(d.PrinterAddress, u"10.9.9.9");
    d.InkInformation = 0;
    d.HoldMemoryInstalled = 0;
  });
  ASSERT_TRUE(RunDevice([](Screen& s) {
    EXPECT_TRUE(s.Click(2009));
    EXPECT_EQ(s.Selection(3255), 1) << "hold memory as the model has it";
    EXPECT_TRUE(s.Ok());
  }));
  ModelCaps* caps = AllocModelCaps();
  ASSERT_EQ(LoadCapsFromPrinterData(caps, printer_), 1);
  std::vector<std::u16string> names;
  for (std::size_t i = caps->Info.DocumentPaperCount; i < caps->PaperCount(); ++i) {
    names.emplace_back(NameListText(caps->Names, caps->Papers[i].NameId));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Mine", u"Program Card", u"Half Letter Wide"}));
  EXPECT_EQ(caps->Papers[caps->Info.DocumentPaperCount + 1].Width, 160000) << "the user's size stays";
  const DocSettings& d = caps->Defaults;
  EXPECT_EQ(std::u16string(d.PrinterAddress), std::u16string(caps->Permanent.PrinterAddress));
  EXPECT_EQ(d.HoldMemoryInstalled, caps->Permanent.HoldMemoryInstalled);
  EXPECT_EQ(d.InkMarks[ColorIdIndex(caps->Permanent.Drum2Color)], 1);
  FreeModelCaps(caps, true);
  GlobalFree(caps);
}

TEST_F(DevicePage, InkColourButtonOpensItsDialog) {
  OpenModel("NEVO2600.RDF");
  int opened = 0;
  ASSERT_TRUE(RunDevice([&](Screen& s) {
    ASSERT_TRUE(s.Enabled(3260));
    plat::ui::QueueHandler([&](Screen& d) {
      opened = d.templateId();
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_TRUE(s.Click(3260));
    EXPECT_TRUE(s.Ok());
  }));
  EXPECT_EQ(opened, 1995);
  ExpectDefaults([](DocSettings&) {});
}

TEST_F(DevicePage, GetInformationFromTheStatusFile) {
  OpenModel("NEVO2600.RDF");
  SetAddress(u"127.0.0.1", 1);
  const std::u16string answered = ResourceString(820), failed = ResourceString(821);
  ASSERT_TRUE(RunDevice([&](Screen& s) {
    EXPECT_FALSE(s.Visible(3060));
    EXPECT_EQ(s.Text(3058), u"");
    EXPECT_TRUE(s.Click(3261));
    EXPECT_TRUE(s.Visible(3060));
    EXPECT_EQ(s.Text(3058), failed);
    EXPECT_TRUE(s.Ok());
  }));
  ExpectDefaults([](DocSettings&) {});
  WriteStatusFile("05", "0A");
  ASSERT_TRUE(RunDevice([&](Screen& s) {
    EXPECT_TRUE(s.Click(3261));
    EXPECT_EQ(s.Text(3058), answered);
    EXPECT_TRUE(s.Ok());
  }));
  const DocSettings stored = StoredDefaults();
  EXPECT_EQ(stored.InkMarks[ColorIdIndex(1005)], 2);
  EXPECT_EQ(stored.InkMarks[ColorIdIndex(1010)], 2);
  EXPECT_EQ(stored.InkLab.Entry[5].L, 45);
  EXPECT_EQ(stored.HoldMemoryInstalled, base_.HoldMemoryInstalled) << "a status file tells no options";
}

TEST_F(DevicePage, TheResultTextIsShownOnWhite) {
  OpenModel("NEVO2600.RDF");
  SetAddress(u"127.0.0.1", 1);
  ASSERT_TRUE(RunDevice([&](Screen& s) {
    EXPECT_TRUE(s.Click(3261));
    EXPECT_EQ(s.Text(3058), ResourceString(821));
    EXPECT_GT(sample::WhiteShare(s.Page(), 3058), 0.6) << "white behind the text";
    EXPECT_LT(sample::WhiteShare(s.Page(), 3246), 0.1) << "other labels keep the page's face";
    EXPECT_TRUE(s.Ok());
  }));
}

TEST_F(DevicePage, GetInformationFromARealAgentTakesTheOptions) {
  sample::RealAgent agent(9, 33);
  REQUIRE_PEER(!agent.Missing(), "snmpd");
  ASSERT_TRUE(agent.Running()) << agent.Output();
  OpenModel("NEVO2600.RDF");
  SetAddress(u"127.0.0.1", 1);
  SetPrinterDefaults([](DocSettings& d) {
    d.HoldMemoryInstalled = 0;
    d.TapeSorterInstalled = 0;
    d.BinListInstalled = 0;
  });
  ASSERT_TRUE(RunDevice([&](Screen& s) {
    EXPECT_TRUE(s.Click(3261));
    EXPECT_EQ(s.Text(3058), ResourceString(820));
    EXPECT_EQ(s.Selection(3255), 1);
    EXPECT_EQ(s.Selection(3254), 1);
    EXPECT_EQ(s.Selection(3258), 1);
    EXPECT_TRUE(s.Ok());
  }));
  const DocSettings stored = StoredDefaults();
  EXPECT_EQ(stored.HoldMemoryInstalled, 1);
  EXPECT_EQ(stored.TapeSorterInstalled, 1);
  EXPECT_EQ(stored.BinListInstalled, 1);
  EXPECT_EQ(stored.InkMarks[ColorIdIndex(1009)], 2);
  EXPECT_EQ(stored.InkLab.Entry[9].L, 60);
}

}  // namespace
