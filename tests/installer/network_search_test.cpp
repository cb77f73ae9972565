#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "installer/network_search.h"
#include "wizard_fixture.h"

namespace installer_test {
namespace {

class Search : public Wizard {
 protected:
  void SetUp() override {
    Wizard::SetUp();
    log_ = Host("outside.log");
    setenv("FAKE_OUTSIDE_LOG", log_.c_str(), 1);
    Prepare(6, 1, true, "Win7x64=x64", 4);
  }
  void TearDown() override {
    unsetenv("FAKE_OUTSIDE_LOG");
    unsetenv("FAKE_SEARCH");
    Wizard::TearDown();
  }
  void PlaceSearch(const char* fake) {
    std::filesystem::create_directories(Host("D/NEVO"));
    std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/" + fake + ".so", Host("D/NEVO/Nevosrch.dll"),
                               std::filesystem::copy_options::overwrite_existing);
  }
  INT_PTR ShowSearchPage() {
    return DialogBoxParamW(ctx_.languageLibrary, MAKEINTRESOURCEW(121), nullptr, installer::NetworkSearchPageProc,
                           reinterpret_cast<LPARAM>(&ctx_));
  }
  std::vector<std::vector<std::u16string>> Rows(plat::ui::Screen& s) {
    std::vector<std::vector<std::u16string>> rows;
    for (int i = 0; i < s.ItemCount(1031); ++i) rows.push_back({s.ItemText(1031, i, 0), s.ItemText(1031, i, 1), s.ItemText(1031, i, 2)});
    return rows;
  }
  std::string log_;
};

// The search ends after the progress page gave up: the list fills when it
// ends, and "search again" waits for it.
TEST_F(Search, ResultsOfASearchThatOutlastsTheProgressPageArriveWhenItEnds) {
  PlaceSearch("fake_outside");
  setenv("FAKE_SEARCH", "slow", 1);
  std::vector<std::vector<std::u16string>> rows;
  Script({{121, [&](plat::ui::Screen& s) {
             EXPECT_FALSE(s.Enabled(1032));
             EXPECT_FALSE(s.Enabled(IDOK));
             ASSERT_TRUE(s.WaitFor([&] { return s.ItemCount(1031) >= 2; }, 600000));
             EXPECT_TRUE(s.Enabled(1032));
             rows = Rows(s);
             EXPECT_EQ(s.Selection(1031), 0);
             EXPECT_TRUE(s.Select(1031, {1}));
             EXPECT_EQ(s.Text(1041), u"10.0.0.1");
             EXPECT_TRUE(s.Click(IDOK));
           }}});
  EXPECT_EQ(ShowSearchPage(), 1);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"10.0.0.0", u"A0:A1:A2:A3:A4:A5", u"Device 0"}));
  // A name filling all 32 bytes is read from its field only.
  EXPECT_EQ(rows[1], (std::vector<std::u16string>{u"10.0.0.1", u"A1:A2:A3:A4:A5:A6", std::u16string(32, u'X')}));
  EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_10.0.0.1");
  const std::string log = ReadText(log_);
  const std::string filter = std::string("filter 3 NEVO") + std::string(12, '\0') + "QP4W" + std::string(12, '\0') +
                             "TANDRIL" + std::string(9, '\0') + "\n";
  EXPECT_NE(log.find(filter), std::string::npos);
  EXPECT_NE(log.find("search 11264\n"), std::string::npos);
  EXPECT_EQ(plat::ui::RunningThreadCount(), 0);
}

TEST_F(Search, AnswersBeyondTheBufferAndFailedSearchesFillWhatTheyMay) {
  const struct {
    const char* library;
    const char* mode;
    int rows;
  } cases[] = {{"fake_outside", "many", 256}, {"fake_outside", "status0", 0}, {"fake_empty", "", 0}, {nullptr, "", 0}};
  for (const auto& c : cases) {
    std::filesystem::remove(Host("D/NEVO/Nevosrch.dll"));
    if (c.library) PlaceSearch(c.library);
    setenv("FAKE_SEARCH", c.mode, 1);
    int rows = -1;
    Script({{121, [&](plat::ui::Screen& s) {
               EXPECT_TRUE(s.WaitFor([&] { return s.Enabled(1032); }, 600000));
               rows = s.ItemCount(1031);
               EXPECT_FALSE(s.Enabled(IDOK));
               EXPECT_TRUE(s.SetAddress(1041, u"192.168.5.7"));  // typed without a search
               EXPECT_TRUE(s.Enabled(IDOK));
               EXPECT_TRUE(s.Click(IDOK));
             }}});
    EXPECT_EQ(ShowSearchPage(), 1) << c.mode;
    EXPECT_EQ(rows, c.rows) << (c.library ? c.library : "none") << " " << c.mode;
    EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_192.168.5.7");
  }
}

TEST_F(Search, SearchAgainEmptiesTheListAndSearchesOnceMore) {
  PlaceSearch("fake_outside");
  setenv("FAKE_SEARCH", "", 1);
  Script({{121, [&](plat::ui::Screen& s) {
             ASSERT_TRUE(s.WaitFor([&] { return s.ItemCount(1031) == 2 && s.Enabled(1032); }, 600000));
             EXPECT_TRUE(s.Click(1032));
             EXPECT_TRUE(s.WaitFor([&] { return s.Enabled(1032); }, 600000));
             EXPECT_EQ(s.ItemCount(1031), 2);
             EXPECT_TRUE(s.Click(1001));
           }}});
  EXPECT_EQ(ShowSearchPage(), 1001);
  const std::string log = ReadText(log_);
  EXPECT_NE(log.find("search"), log.rfind("search"));  // two searches
}

}  // namespace
}  // namespace installer_test
