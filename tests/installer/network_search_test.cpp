#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "installer/network_search.h"
#include "support/peer.h"
#include "support/snmp_agent.h"
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
  EXPECT_EQ(plat::setup::RunningThreadCount(), 0);
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
               EXPECT_EQ(s.Enabled(IDOK), rows > 0) << "Next is ready with the first result chosen, else off";
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

namespace installer_test {
namespace {

// Real agents in the machine's subnet 127.0.0.0/29: three duplicators (one
// with a name that is not UTF-8, one with an empty name and hardware
// address) and a device of another maker.
class RealAgents : public Search {
 protected:
  struct Agent {
    std::string address, description, name, mac;
    std::shared_ptr<testsupport::SnmpAgent> agent;
    int port = 0;
  };
  void SetUp() override {
    Search::SetUp();
    agents_ = {{"127.0.0.2", "NEVO RP2600 print controller", "NEVO-Front", "0x001122334455", {}, 0},
               {"127.0.0.3", "OtherMaker Laser 5", "Laser", "0x665544332211", {}, 0},
               {"127.0.0.5", "NEVO RP1100", "Dup\xc3\x28name", "0x0A0B0C0D0E0F", {}, 0},
               {"127.0.0.4", "NEVO RP3000", "", "\"\"", {}, 0}};
    for (auto& a : agents_) {
      a.agent = std::make_shared<testsupport::SnmpAgent>(Host("agent-" + a.address),
                                                         testsupport::SystemValues(a.description, a.name, a.mac),
                                                         a.address);
      REQUIRE_PEER(!a.agent->Missing(), "snmpd");
      ASSERT_TRUE(a.agent->Running()) << a.agent->output();
      a.port = a.agent->port();
      ASSERT_TRUE(plat::net::AddMachineAgent(a.address, static_cast<USHORT>(a.port)));
    }
    ASSERT_TRUE(plat::net::SetSubnet("127.0.0.0/29"));
  }
  void TearDown() override {
    agents_.clear();
    Search::TearDown();
  }
  std::vector<Agent> agents_;
};

TEST_F(RealAgents, SearchListsTheDuplicatorsInAddressOrder) {
  // The fixture as snmpget sees it.
  REQUIRE_PEER(testsupport::HasProgram("snmpget"), "snmp");
  std::string out;
  ASSERT_EQ(RunShell("snmpget -v1 -c marnit -M /dev/null -m '' -Ox 127.0.0.5:" + std::to_string(agents_[2].port) +
                    " .1.3.6.1.2.1.1.5.0 .1.3.6.1.2.1.2.2.1.6.1",
                &out),
            0);
  EXPECT_NE(out.find("44 75 70 C3 28 6E 61 6D 65"), std::string::npos) << out;
  EXPECT_NE(out.find("0A 0B 0C 0D 0E 0F"), std::string::npos) << out;
  std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/Nevosrch.so", Host("D/NEVO/Nevosrch.dll"));
  plat::machine::SetSleepScale(0.2);
  std::vector<std::vector<std::u16string>> rows;
  Script({{121, [&](plat::ui::Screen& s) {
             ASSERT_TRUE(s.WaitFor([&] { return s.Enabled(1032); }, 600000));
             rows = Rows(s);
             EXPECT_TRUE(s.Cancel());
           }},
          {0, Answer(IDYES)}});
  EXPECT_EQ(ShowSearchPage(), 2);
  EXPECT_EQ(rows, (std::vector<std::vector<std::u16string>>{{u"127.0.0.2", u"00:11:22:33:44:55", u"NEVO-Front"},
                                                            {u"127.0.0.4", u"00:00:00:00:00:00", u""},
                                                            {u"127.0.0.5", u"0A:0B:0C:0D:0E:0F", u""}}));
}

// The first result is selected as the list fills: its address is in the
// address control and Next is ready, without a click on the list.
TEST_F(RealAgents, NextWithoutAClickTakesTheFirstResultsAddress) {
  std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/Nevosrch.so", Host("D/NEVO/Nevosrch.dll"));
  plat::machine::SetSleepScale(0.2);
  Script({{121, [&](plat::ui::Screen& s) {
             ASSERT_TRUE(s.WaitFor([&] { return s.Enabled(1032); }, 600000));
             EXPECT_EQ(s.Selection(1031), 0);
             EXPECT_EQ(s.Text(1041), u"127.0.0.2");
             EXPECT_TRUE(s.Enabled(IDOK));
             EXPECT_TRUE(s.Click(IDOK));
           }}});
  EXPECT_EQ(ShowSearchPage(), 1);
  EXPECT_EQ(std::u16string(ctx_.portName), u"NEVO_127.0.0.2");
}

}  // namespace
}  // namespace installer_test
