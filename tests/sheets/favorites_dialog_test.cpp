// The favourites dialog as a user works it from the basic page, on printers
// of both sample models; each run ends with a check of the favourites the
// printer data holds, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sample_sheet.h"
#include "sheets/favorites_dialog.h"
#include "sheets/user_files.h"

namespace {

using plat::ui::Screen;
using sample::kPrinterName;
using sample::Numbered;

using Block = std::vector<BYTE>;

// A settings block no copier would make: each byte from its offset and a seed.
Block Pattern(int seed) {
  Block b(sizeof(DocSettings));
  for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<BYTE>(i * 7 + static_cast<std::size_t>(seed) * 31);
  return b;
}

class Favorites : public sample::SampleSheet, public ::testing::WithParamInterface<const char*> {
 protected:
  void OpenModel(const std::vector<std::pair<std::string, std::string>>& keys = {}) { Open(GetParam(), keys); }

  // The document sheet: the basic page's favourites button, steps in the
  // dialog (closed with its close button unless they closed it), then OK.
  void InDialog(const std::function<void(Screen&)>& steps, const std::function<void(Screen&)>& onPage = {}) {
    RunDocument([&](Screen& s) {
      ASSERT_TRUE(ToPage(s, 2008));
      if (onPage) onPage(s);
      ASSERT_TRUE(s.Enabled(2088));
      int opened = 0;
      plat::ui::QueueHandler([&](Screen& d) {
        opened = d.templateId();
        steps(d);
        if (d.IsOpen()) {
          EXPECT_TRUE(d.Click(kCloseFavoritesButton));
        }
      });
      EXPECT_TRUE(s.Click(2088));
      EXPECT_EQ(opened, kFavoritesTemplate);
      EXPECT_TRUE(s.Ok());
    });
  }

  static void Put(const std::u16string& name, const Block& bytes, DWORD type = REG_BINARY) {
    ASSERT_TRUE(plat::spooler::SetData(kPrinterName, u"FavSet_" + name, type, bytes));
  }
  // The stored favourite; nullopt when the value is missing.
  static std::optional<Block> Stored(const std::u16string& name) {
    auto value = plat::spooler::GetData(kPrinterName, u"FavSet_" + name);
    if (!value) return std::nullopt;
    EXPECT_EQ(value->type, static_cast<DWORD>(REG_BINARY)) << plat::utf8(name);
    return value->bytes;
  }
  // A setting file C:\<file> of the model with the favourites in order.
  void WriteFile(const char16_t* file, const std::u16string& model,
                 const std::vector<std::pair<std::u16string, Block>>& favourites) {
    auto table = std::make_unique<FavoriteTable>();
    for (const auto& [name, bytes] : favourites) {
      Favorite& f = table->Entry[table->Count++];
      std::copy(name.begin(), name.end(), f.Name);
      std::memcpy(static_cast<void*>(&f.Settings), bytes.data(), sizeof(DocSettings));
    }
    ASSERT_EQ(ExportSettingFile((u"C:\\" + std::u16string(file)).c_str(), model.c_str(), *table), 1);
  }
};

TEST_P(Favorites, SavingStoresTheSheetAndAnExistingNameIsNeverOverwritten) {
  OpenModel();
  Put(u"Mine", Pattern(1));
  InDialog(
      [&](Screen& d) {
        EXPECT_EQ(Listed(d, kFavoriteList), std::vector<std::u16string>{u"Mine"});
        EXPECT_FALSE(d.Enabled(kSaveFavoriteButton)) << "no name yet";
        EXPECT_FALSE(d.Enabled(kDeleteFavoriteButton)) << "nothing selected";
        EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"Mine"));
        EXPECT_TRUE(d.Click(kSaveFavoriteButton));
        EXPECT_EQ(Messages(kFavoritesCaption), std::vector<std::u16string>{Message(kFavoriteExistsText, u"Mine")});
        EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"mine"));  // printer data names ignore case
        EXPECT_TRUE(d.Click(kSaveFavoriteButton));
        EXPECT_EQ(Messages(kFavoritesCaption).size(), 2u);
        EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"Second"));
        EXPECT_TRUE(d.Click(kSaveFavoriteButton));
        EXPECT_EQ(Messages(kFavoritesCaption).size(), 2u);
        EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"Wi*de:"));
        EXPECT_EQ(d.Text(kFavoriteNameEdit), u"Wide") << "characters a value name cannot hold are dropped";
        EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"   "));
        EXPECT_TRUE(d.Click(kSaveFavoriteButton));
        EXPECT_EQ(Listed(d, kFavoriteList), (std::vector<std::u16string>{u"Mine", u"Second"}))
            << "a blank name saves nothing";
      },
      [](Screen& s) {
        EXPECT_TRUE(s.Tab(1));
        EXPECT_TRUE(s.Check(3028, true));  // rotation
        EXPECT_TRUE(s.Tab(0));
      });
  EXPECT_EQ(Stored(u"Mine"), Pattern(1)) << "the existing favourite is unchanged";
  ASSERT_TRUE(Stored(u"Second"));
  const Block saved = *Stored(u"Second");
  ASSERT_EQ(saved.size(), sizeof(DocSettings));
  DocSettings s{};
  std::memcpy(static_cast<void*>(&s), saved.data(), sizeof s);
  EXPECT_EQ(s.Rotate, 1) << "the sheet's state as it was when saved";
  EXPECT_EQ(s.PrinterAddress[0], 0) << "device values are not part of a favourite";
  EXPECT_FALSE(plat::spooler::GetData(kPrinterName, u"FavSet_   "));

  // The saved favourite loads into the pages.
  plat::ui::ResetMessageBoxes();
  const auto out = RunDocument([](Screen& s) {
    EXPECT_TRUE(s.ChooseText(2087, u"Second"));
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(Settings(out).Rotate, 1);
}

TEST_P(Favorites, DeleteRemovesTheSelectedFavourite) {
  OpenModel();
  Put(u"One", Pattern(1));
  Put(u"Two", Pattern(2));
  InDialog([&](Screen& d) {
    EXPECT_TRUE(d.Select(kFavoriteList, {0}));
    EXPECT_TRUE(d.Enabled(kDeleteFavoriteButton));
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, true));
    EXPECT_TRUE(d.Click(kDeleteFavoriteButton));
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, false));
    EXPECT_EQ(Listed(d, kFavoriteList), (std::vector<std::u16string>{u"One", u"Two"}))
        << "a failed delete keeps the entry";
    EXPECT_TRUE(d.Click(kDeleteFavoriteButton));
    EXPECT_EQ(Listed(d, kFavoriteList), std::vector<std::u16string>{u"Two"});
    EXPECT_FALSE(d.Enabled(kDeleteFavoriteButton));
  });
  EXPECT_FALSE(Stored(u"One"));
  EXPECT_EQ(Stored(u"Two"), Pattern(2));
}

TEST_P(Favorites, TenFavouritesDisableSaveAndImport) {
  OpenModel();
  for (int i = 1; i <= 9; ++i) Put(Numbered(u"F", i), Pattern(i));
  InDialog([&](Screen& d) {
    EXPECT_EQ(d.ItemCount(kFavoriteList), 9);
    EXPECT_TRUE(d.Enabled(kImportFavoritesButton));
    EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"Tenth"));
    EXPECT_TRUE(d.Click(kSaveFavoriteButton));
    EXPECT_EQ(d.ItemCount(kFavoriteList), 10);
    EXPECT_FALSE(d.Enabled(kSaveFavoriteButton));
    EXPECT_FALSE(d.Enabled(kImportFavoritesButton));
    EXPECT_TRUE(d.Enabled(kExportFavoritesButton));
    EXPECT_TRUE(d.Type(kFavoriteNameEdit, u"Eleventh"));
    EXPECT_FALSE(d.Enabled(kSaveFavoriteButton)) << "typing does not open it again";
  });
  EXPECT_TRUE(Stored(u"Tenth"));
  EXPECT_FALSE(Stored(u"Eleventh"));
  EXPECT_TRUE(Messages(kFavoritesCaption).empty());
}

TEST_P(Favorites, ImportStopsAtTenAndReportsWhatItCouldNotStore) {
  OpenModel();
  const std::u16string model = ModelName();
  struct Case {
    const char* what;
    int before;                                            // favourites F1.. already stored
    std::vector<std::pair<std::u16string, Block>> file;    // written for the printer's model
    const char16_t* otherModel;                            // or for this one
    bool damageSecond;                                     // one byte of the second record's settings changed
    std::vector<std::u16string> stored;                    // from the file, in list order
    std::vector<UINT> messages;
  };
  const Case cases[] = {
      {"all new", 0, {{u"A", Pattern(11)}, {u"B", Pattern(12)}}, nullptr, false, {u"A", u"B"}, {}},
      {"into nine", 9, {{u"A", Pattern(11)}, {u"B", Pattern(12)}}, nullptr, false, {u"A"}, {kFavoritesFullText}},
      {"another model", 0, {{u"A", Pattern(11)}}, u"NEVO RP9999", false, {}, {kFavoritesUnreadText}},
      {"a damaged record", 0, {{u"A", Pattern(11)}, {u"B", Pattern(12)}, {u"C", Pattern(13)}}, nullptr, true,
       {u"A", u"C"}, {kFavoritesSkippedText}},
      {"a name in use", 1, {{u"F1", Pattern(11)}, {u"C", Pattern(13)}}, nullptr, false, {u"C"},
       {kFavoritesSkippedText}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plat::ui::ResetMessageBoxes();
    ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
    OpenModel();
    for (int i = 1; i <= c.before; ++i) Put(Numbered(u"F", i), Pattern(i));
    WriteFile(u"in.uds", c.otherModel ? std::u16string(c.otherModel) : model, c.file);
    if (c.damageSecond) {
      std::string bytes = FileBytes("in.uds");
      // The second record starts after the headers and the first record (name "A").
      const std::size_t second = bytes.find("RSsta", bytes.find("RSsta") + 5);
      ASSERT_NE(second, std::string::npos);
      bytes[second + 15 + 1 + 5 + 100] ^= 0x01;
      std::ofstream(root_ / "C" / "in.uds", std::ios::binary) << bytes;
    }
    std::vector<std::u16string> listed;
    InDialog([&](Screen& d) {
      plat::ui::QueueFileAnswer(u"C:\\in.uds");
      EXPECT_TRUE(d.Click(kImportFavoritesButton));
      listed = Listed(d, kFavoriteList);
    });
    std::vector<std::u16string> expectedList;
    for (int i = 1; i <= c.before; ++i) expectedList.push_back(Numbered(u"F", i));
    for (const auto& name : c.stored) expectedList.push_back(name);
    EXPECT_EQ(listed, expectedList);
    for (const auto& [name, bytes] : c.file) {
      const bool stored = std::find(c.stored.begin(), c.stored.end(), name) != c.stored.end();
      if (stored) {
        EXPECT_EQ(Stored(name), bytes) << plat::utf8(name);
      } else if (name == u"F1") {
        EXPECT_EQ(Stored(name), Pattern(1)) << "the stored favourite stays";
      } else {
        EXPECT_FALSE(Stored(name)) << plat::utf8(name);
      }
    }
    std::vector<std::u16string> expectedMessages;
    for (UINT id : c.messages) expectedMessages.push_back(Message(id));
    EXPECT_EQ(Messages(kFavoritesCaption), expectedMessages);
    const auto log = plat::ui::FileDialogLog();
    ASSERT_FALSE(log.empty());
    EXPECT_FALSE(log.back().save);
    EXPECT_EQ(log.back().defaultExtension, u"uds");
  }
}

TEST_P(Favorites, AFailedWriteDuringImportIsReportedAndListsNothing) {
  OpenModel();
  WriteFile(u"in.uds", ModelName(), {{u"A", Pattern(11)}});
  InDialog([&](Screen& d) {
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, true));
    plat::ui::QueueFileAnswer(u"C:\\in.uds");
    EXPECT_TRUE(d.Click(kImportFavoritesButton));
    ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, false));
    EXPECT_EQ(d.ItemCount(kFavoriteList), 0) << "the list follows the printer data";
    EXPECT_FALSE(d.Enabled(kExportFavoritesButton));
  });
  EXPECT_FALSE(Stored(u"A"));
  EXPECT_EQ(Messages(kFavoritesCaption), std::vector<std::u16string>{Message(kFavoritesSkippedText)});
}

TEST_P(Favorites, ThePrefixIsCaseSensitive) {
  OpenModel();
  Put(u"Up", Pattern(1));
  ASSERT_TRUE(plat::spooler::SetData(kPrinterName, u"favset_Low", REG_BINARY, Pattern(2)));
  ASSERT_TRUE(plat::spooler::SetData(kPrinterName, u"FAVSET_Loud", REG_BINARY, Pattern(3)));
  InDialog([&](Screen& d) { EXPECT_EQ(Listed(d, kFavoriteList), std::vector<std::u16string>{u"Up"}); });
}

// A write probe that could not delete its value leaves a bare "FavSet_",
// which stays while the user may not write: it names no favourite.
TEST_P(Favorites, ALeftoverWriteProbeIsNoFavourite) {
  OpenModel();
  Put(u"", Block(16, 0x41));
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, true));
  RunDocument([&](Screen& s) {
    ASSERT_TRUE(ToPage(s, 2008));
    EXPECT_EQ(s.ItemCount(2087), 0);
    EXPECT_FALSE(s.Enabled(2087));
    EXPECT_TRUE(s.Ok());
  });
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinterName, false));
}

TEST_P(Favorites, ExportThenImportIntoANewPrinterGivesTheSameBlocks) {
  OpenModel();
  Put(u"One", Pattern(1));
  Put(u"Two words", Pattern(2));
  InDialog([&](Screen& d) {
    plat::ui::QueueFileAnswer(u"C:\\carry");  // the default extension is added
    EXPECT_TRUE(d.Click(kExportFavoritesButton));
  });
  const auto log = plat::ui::FileDialogLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_TRUE(log[0].save);
  EXPECT_EQ(log[0].flags, OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
  ASSERT_FALSE(FileBytes("carry.uds").empty());

  ClosePrinter(printer_);
  printer_ = nullptr;
  plat::spooler::Reset();
  OpenModel();
  ASSERT_FALSE(Stored(u"One"));
  InDialog([&](Screen& d) {
    plat::ui::QueueFileAnswer(u"C:\\carry.uds");
    EXPECT_TRUE(d.Click(kImportFavoritesButton));
    EXPECT_EQ(Listed(d, kFavoriteList), (std::vector<std::u16string>{u"One", u"Two words"}));
  });
  EXPECT_EQ(Stored(u"One"), Pattern(1));
  EXPECT_EQ(Stored(u"Two words"), Pattern(2));
  EXPECT_TRUE(Messages(kFavoritesCaption).empty());
}

TEST_P(Favorites, AValueThatIsNotOneSettingsBlockFailsTheExportAndKeepsTheOldFile) {
  OpenModel();
  WriteFile(u"old.uds", ModelName(), {{u"Old", Pattern(9)}});
  const std::string before = FileBytes("old.uds");
  struct Case {
    const char* what;
    Block bytes;
    DWORD type;
  };
  const Block whole = Pattern(2);
  Block longer = whole;
  longer.push_back(0);
  const Case cases[] = {
      {"too short", Block(whole.begin(), whole.begin() + 100), REG_BINARY},
      {"too long", longer, REG_BINARY},
      {"not binary", Pattern(2), REG_SZ},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
    OpenModel();
    Put(u"Good", Pattern(1));
    Put(u"Odd", c.bytes, c.type);
    InDialog([&](Screen& d) {
      EXPECT_EQ(d.ItemCount(kFavoriteList), 2);
      plat::ui::QueueMessageBoxAnswer(IDYES);  // replace the file
      plat::ui::QueueFileAnswer(u"C:\\old.uds");
      EXPECT_TRUE(d.Click(kExportFavoritesButton));
    });
    EXPECT_EQ(FileBytes("old.uds"), before);
  }
}

TEST_P(Favorites, ImportAndExportFollowTheirCapability) {
  for (const char* availability : {"0", "2"}) {
    SCOPED_TRACE(availability);
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    plat::spooler::Reset();
    OpenModel({{"SaveSettingFileEnable", availability}});
    Put(u"One", Pattern(1));
    InDialog([&](Screen& d) {
      for (int id : {kImportFavoritesButton, kExportFavoritesButton}) {
        EXPECT_EQ(d.Visible(id), availability[0] == '0') << id;
        EXPECT_TRUE(availability[0] != '0' || !d.Enabled(id)) << id;
      }
      EXPECT_TRUE(d.Select(kFavoriteList, {0}));
      EXPECT_TRUE(d.Enabled(kDeleteFavoriteButton));
    });
  }
}

INSTANTIATE_TEST_SUITE_P(SampleModels, Favorites, ::testing::Values("NEVO1100.RDF", "NEVO2600.RDF"),
                         [](const auto& info) { return std::string(info.param).substr(0, 8); });

}  // namespace
