#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "installer/ports.h"
#include "wizard_fixture.h"

namespace installer_test {
namespace {

using installer::PortKind;

class Ports : public Wizard {
 protected:
  void SetUp() override {
    Wizard::SetUp();
    log_ = Host("outside.log");
    setenv("FAKE_OUTSIDE_LOG", log_.c_str(), 1);
    unsetenv("FAKE_ADDPORT");
    unsetenv("FAKE_MONITOR");
  }
  void TearDown() override {
    unsetenv("FAKE_OUTSIDE_LOG");
    Wizard::TearDown();
  }
  // The test library under an outside library's name on the medium.
  void PlaceFake(const std::string& asName, const char* fake = "fake_outside") {
    std::filesystem::create_directories(Host("D/NEVO"));
    std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/" + fake + ".so", Host("D/NEVO/" + asName),
                               std::filesystem::copy_options::overwrite_existing);
  }
  std::string log_;
};

TEST_F(Ports, TcpIpPortCarriesItsRecordFieldByField) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  ASSERT_EQ(installer::AddTcpIpPort(u"NEVO_192.168.1.20", u"192.168.1.20"), 1);
  const auto port = plat::spooler::PortStatusOf(u"NEVO_192.168.1.20");
  ASSERT_TRUE(port);
  EXPECT_EQ(port->monitor, u"Standard TCP/IP Port");
  EXPECT_EQ(port->name, u"NEVO_192.168.1.20");
  EXPECT_EQ(port->version, 1u);
  EXPECT_EQ(port->protocol, 2u);
  EXPECT_EQ(port->hostAddress, u"192.168.1.20");
  EXPECT_EQ(port->ipAddress, u"192.168.1.20");
  EXPECT_EQ(port->community, u"marnit");
  EXPECT_EQ(port->queue, u"lp");
  EXPECT_EQ(port->doubleSpool, 1u);
  EXPECT_EQ(port->portNumber, 515u);
  EXPECT_EQ(port->snmpEnabled, 0u);
  EXPECT_EQ(port->snmpIndex, 1u);
  // The same port again is used as it is, without a message.
  ASSERT_EQ(installer::AddTcpIpPort(u"NEVO_192.168.1.20", u"10.0.0.1"), 1);
  EXPECT_EQ(plat::spooler::PortStatusOf(u"NEVO_192.168.1.20")->hostAddress, u"192.168.1.20");
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(Ports, RecordLayoutMatchesTheMonitorsOffsets) {
  installer::PORT_DATA_1 record{};
  record.cbSize = sizeof record;
  const auto* bytes = reinterpret_cast<const BYTE*>(&record);
  EXPECT_EQ(bytes[136], 0xC4);  // 964 = 0x3C4, little-endian
  EXPECT_EQ(bytes[137], 0x03);
}

TEST_F(Ports, PortListGroupsLptComFileThenOthersWithoutTheFaxPort) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  plat::spooler::Reset();
  for (const char16_t* p : {u"NEVO_10.0.0.1", u"FILE:", u"COM2:", u"LPT2:", u"nul:", u"COM1:", u"LPT1:", u"lpt9:"})
    plat::spooler::AddPort(p);
  DWORD count = 0;
  ASSERT_EQ(installer::EnumPortList(nullptr, count, ctx_.languageLibrary), 8);
  std::vector<installer::PortListEntry> entries(count + 1);
  ASSERT_EQ(installer::EnumPortList(entries.data(), count, ctx_.languageLibrary), 8);
  EXPECT_EQ(entries[count].name[0], 0);  // the list ends with an empty entry
  for (DWORD i = 0; i < count; ++i) EXPECT_NE(installer::Str(entries[i].name), u"SHRFAX:");

  HWND page = plat::CreateHeadlessDialog({{1037, plat::ControlKind::ListBox, u""}});
  installer::SetField(ctx_.portName, u"COM2:");
  installer::FillPortList(page, ctx_);
  std::vector<std::u16string> rows;
  for (int i = 0; i < SendDlgItemMessageW(page, 1037, LB_GETCOUNT, 0, 0); ++i) {
    WCHAR text[MAX_PATH] = {};
    SendDlgItemMessageW(page, 1037, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
    rows.emplace_back(installer::Str(text));
  }
  // Prefixes are matched with their case: "lpt9:" is one of the others, which keep the spooler's order.
  EXPECT_EQ(rows, (std::vector<std::u16string>{u"LPT1:", u"LPT2:", u"COM1:", u"COM2:", u"FILE:", u"lpt9:",
                                                u"NEVO_10.0.0.1", u"nul:"}));
  EXPECT_EQ(SendDlgItemMessageW(page, 1037, LB_GETCURSEL, 0, 0), 3);
  DestroyWindow(page);
}

TEST_F(Ports, MonitorListLeavesOutWsdAndFax) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  DWORD count = 0;
  ASSERT_EQ(installer::EnumMonitorList(count, nullptr, ctx_.languageLibrary), 1);
  std::vector<std::u16string> names(count);
  installer::EnumMonitorList(count, names.data(), ctx_.languageLibrary);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Local Port", u"Standard TCP/IP Port", u"USB Monitor"}));
}

// Page 122: a port added through a monitor's own dialog is found and chosen.
TEST_F(Ports, PortAddedThroughAMonitorIsChosen) {
  Prepare(6, 1, true, "Win7x64=x64", 1);
  HWND owner = plat::CreateHeadlessDialog({});
  Script({{122,
           [](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Visible(1036));  // Type 1 offers IPP
             EXPECT_EQ(s.Text(1040), u"https://xxx.xxx.xxx.xxx/ipp/lp");
             EXPECT_TRUE(s.Check(1035, true));
             EXPECT_FALSE(s.Enabled(IDOK));
             EXPECT_TRUE(s.Click(1039));  // the monitor's dialog: the user gives up
             EXPECT_TRUE(s.IsOpen());
             EXPECT_TRUE(s.Click(1039));
           }},
          {0, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Cancel()); }},
          {0,
           [](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Type(1000, u"C:\\print.out"));
             EXPECT_TRUE(s.Click(IDOK));
           }}});
  EXPECT_EQ(installer::ShowPortSelectPage(owner, ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.portName), u"C:\\print.out");
  EXPECT_EQ(plat::spooler::PortStatusOf(u"C:\\print.out")->monitor, u"Local Port");
  DestroyWindow(owner);
}

TEST_F(Ports, Type4HidesIppAndAnExistingPortIsChosen) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  plat::spooler::AddPort(u"COM1:");
  HWND owner = plat::CreateHeadlessDialog({});
  Script({{122, [](plat::ui::Screen& s) {
             EXPECT_FALSE(s.Visible(1036));
             EXPECT_FALSE(s.Visible(1040));
             EXPECT_TRUE(s.Select(1037, {1}));
             EXPECT_TRUE(s.Click(IDOK));
           }}});
  EXPECT_EQ(installer::ShowPortSelectPage(owner, ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.portName), u"COM1:");
  DestroyWindow(owner);
}

// The record NevoAddPortW receives, byte by byte.
TEST_F(Ports, IppRecordReachesTheLibraryAsWritten) {
  Prepare(6, 1, true, "Win7x64=x64", 1);
  PlaceFake("Nevopcfg.dll");
  PlaceFake("QP4WInst.dll");
  const std::u16string url = u"https://10.1.2.3/ipp/lp";
  EXPECT_EQ(installer::InstallQp4wPortMonitor(ctx_), 1);
  EXPECT_EQ(installer::AddIppPortFromUrl(ctx_, url), 1);
  EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_" + url);
  const std::string log = ReadText(log_);
  EXPECT_NE(log.find("monitor 256 zeroed -LUS\n"), std::string::npos) << log;
  const std::string head = "addport NEVO_https://10.1.2.3/ipp/lp 1 ";
  const auto at = log.find(head);
  ASSERT_NE(at, std::string::npos) << log;
  ASSERT_GE(log.size(), at + head.size() + 1052);
  const auto* b = reinterpret_cast<const unsigned char*>(log.data() + at + head.size());
  auto dword = [&](std::size_t o) { return b[o] | b[o + 1] << 8 | b[o + 2] << 16 | static_cast<DWORD>(b[o + 3]) << 24; };
  EXPECT_EQ(dword(0), 1052u);
  for (std::size_t i = 0; i < url.size(); ++i) {
    EXPECT_EQ(b[4 + 2 * i], url[i]);
    EXPECT_EQ(b[5 + 2 * i], 0);
  }
  EXPECT_EQ(b[4 + 2 * url.size()], 0);
  EXPECT_EQ(dword(524), 0u);
  for (std::size_t i = 528; i < 1044; ++i) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(dword(1044), 0u);
  EXPECT_EQ(dword(1048), 180000u);
}

// A library that refuses the port keeps page 122 open; so does a missing monitor installer.
TEST_F(Ports, IppPortThatTheLibraryRefusesKeepsThePageOpen) {
  Prepare(6, 1, true, "Win7x64=x64", 1);
  PlaceFake("Nevopcfg.dll");
  PlaceFake("QP4WInst.dll");
  setenv("FAKE_ADDPORT", "0", 1);
  HWND owner = plat::CreateHeadlessDialog({});
  installer::SetField(ctx_.portName, u"NEVO_10.0.0.9");
  Script({{122, [this](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Check(1036, true));
             EXPECT_TRUE(s.Type(1040, u"https://10.1.2.3/ipp/lp"));
             EXPECT_TRUE(s.Click(IDOK));
             EXPECT_TRUE(s.IsOpen());
             EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_10.0.0.9");  // a refused port is not stored
             setenv("FAKE_ADDPORT", "1", 1);
             EXPECT_TRUE(s.Click(IDOK));
           }}});
  EXPECT_EQ(installer::ShowPortSelectPage(owner, ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_https://10.1.2.3/ipp/lp");
  unsetenv("FAKE_ADDPORT");
  DestroyWindow(owner);

  // A URL of 255 characters cannot be typed: the edit takes 254, and "NEVO_" + 254 fits a port name.
  std::filesystem::remove(Host("D/NEVO/QP4WInst.dll"));
  Script({{122, [](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Check(1036, true));
             EXPECT_TRUE(s.Type(1040, std::u16string(255, u'a')));
             EXPECT_EQ(s.Text(1040).size(), 254u);
             EXPECT_TRUE(s.Click(IDOK));  // no monitor installer: the page stays
             EXPECT_TRUE(s.IsOpen());
             EXPECT_TRUE(s.Cancel());
           }}});
  owner = plat::CreateHeadlessDialog({});
  EXPECT_EQ(installer::ShowPortSelectPage(owner, ctx_), 0);
  DestroyWindow(owner);
}

TEST_F(Ports, MissingLibraryOrExportAddsNoIppPort) {
  Prepare(6, 1, true, "Win7x64=x64", 1);
  installer::NevoIppPortData data;
  ASSERT_TRUE(installer::FillIppPortData(data, u"https://h/ipp/lp"));
  EXPECT_EQ(installer::CallNevoAddPort(u"NEVO_x", u"D:\\NEVO\\", data), 0);
  PlaceFake("Nevopcfg.dll", "fake_empty");
  EXPECT_EQ(installer::CallNevoAddPort(u"NEVO_x", u"D:\\NEVO\\", data), 0);
  EXPECT_FALSE(installer::FillIppPortData(data, std::u16string(257, u'a')));
}

// The medium's own libraries: the monitor first, then the port through it.
TEST_F(Ports, MediumLibrariesInstallTheMonitorThenThePort) {
  Prepare(6, 1, true, "Win7x64=x64", 1);
  for (const char* name : {"Nevopcfg", "QP4WInst"})
    std::filesystem::copy_file(std::string(LIB_DIR_STR) + "/" + name + ".so", Host(std::string("D/NEVO/") + name + ".dll"));
  EXPECT_EQ(installer::AddIppPortFromUrl(ctx_, u"https://10.1.2.3/ipp/lp"), 0);  // no monitor yet
  EXPECT_NE(installer::InstallQp4wPortMonitor(ctx_), 0);
  EXPECT_EQ(installer::AddIppPortFromUrl(ctx_, u"https://10.1.2.3/ipp/lp"), 1);
  const auto port = plat::spooler::PortStatusOf(u"NEVO_https://10.1.2.3/ipp/lp");
  ASSERT_TRUE(port);
  EXPECT_EQ(port->monitor, u"QP4W Port Monitor");
}

}  // namespace
}  // namespace installer_test
