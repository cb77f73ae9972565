// The medium end to end: a machine root made by tools/machine with two
// duplicators' agents in its subnet; Setup.exe runs as its own process with a
// scripted user, finds them, makes the port and the printer and prints the
// test page; printjob then prints through the installed printer.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "installer_fixture.h"
#include "streamdump/stream_decoder.h"

namespace installer_test {
namespace {

class WizardMedium : public MachineRoot {
 protected:
  void TearDown() override {
    std::string out;
    for (const auto& dir : agents_) RunShell("bash " PROJECT_SOURCE_DIR_STR "/scripts/snmp-agent stop '" + dir + "'", &out);
    MachineRoot::TearDown();
  }
  // An agent at a loopback address; its port, or 0 (the test is skipped) without snmpd.
  int StartAgent(const std::string& address, const std::string& description, const std::string& name) {
    const std::string dir = (root_ / ("agent-" + address)).string();
    Write("agent-" + address + ".txt", ".1.3.6.1.2.1.1.1.0 octet_str \"" + description +
                                           "\"\n.1.3.6.1.2.1.1.5.0 octet_str \"" + name +
                                           "\"\n.1.3.6.1.2.1.2.2.1.6.1 octet_str 0x00AA00BB00CC\n");
    std::string out;
    const int status = RunShell("bash " PROJECT_SOURCE_DIR_STR "/scripts/snmp-agent start '" + dir + "' '" +
                                    Host("agent-" + address + ".txt") + "' " + address,
                                &out);
    if (status != 0) return 0;
    agents_.push_back(dir);
    return std::atoi(out.c_str());
  }
  void Init(const std::string& options) {
    std::string out;
    ASSERT_EQ(RunShell("'" + std::string(BIN_DIR_STR) + "/machine' init '" + root_.string() +
                           "' --drive D=cdrom:CDFS:NEVO " + options,
                       &out),
              0)
        << out;
    fs::copy(fs::path(BIN_DIR_STR).parent_path() / "medium", root_ / "D",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  std::string RunSetup(const std::string& script) {
    const std::string log = (root_ / "ui.log").string();
    fs::remove(log);
    std::string out;
    EXPECT_EQ(RunShell("cd / && PLAT_UI_SCRIPT='" + script + "' PLAT_UI_LOG='" + log + "' '" +
                           (root_ / "D" / "Setup.exe").string() + "' < /dev/null",
                       &out),
              0)
        << out;
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> agents_;
};

TEST_F(WizardMedium, Type4OnWindows7FindsTheDuplicatorMakesItsPortAndPrintsTheTestPage) {
  const int first = StartAgent("127.0.0.2", "NEVO RP2600", "Front office");
  const int second = first ? StartAgent("127.0.0.5", "NEVO RP1100", "Back office") : 0;
  if (!first || !second) GTEST_SKIP() << "snmpd is not installed";
  Init("--version 6.1 --arch x64 --subnet 127.0.0.0/29 --agent 127.0.0.2=" + std::to_string(first) +
       " --agent 127.0.0.5=" + std::to_string(second));
  const std::string log = RunSetup(
      "111:choose 1013 US;111:click 1;104:click 1;105:click 1;"
      "121:wait-items 1031 2;121:dump;121:select 1031 1;121:click 1;"
      "107:select 1009 1;107:click 1;110:click 1;111:click 1;112:wait 600000;"
      "msgbox:answer yes;msgbox:answer ok;113:check 1026 off;113:click 1007");
  EXPECT_NE(log.find("\"rows\":[[\"127.0.0.2\",\"00:AA:00:BB:00:CC\",\"Front office\"],"
                     "[\"127.0.0.5\",\"00:AA:00:BB:00:CC\",\"Back office\"]]"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"113\",\"result\":1007}"), std::string::npos) << log;

  std::string out;
  ASSERT_EQ(RunShell("'" + std::string(BIN_DIR_STR) + "/machine' show '" + root_.string() + "' ports", &out), 0);
  EXPECT_NE(out.find("{\"name\":\"NEVO_127.0.0.5\",\"monitor\":\"Standard TCP/IP Port\",\"hostAddress\":"
                     "\"127.0.0.5\",\"ipAddress\":\"127.0.0.5\",\"queue\":\"lp\",\"community\":\"marnit\",\"version\":1,"
                     "\"protocol\":2,\"portNumber\":515,\"doubleSpool\":1,\"snmpEnabled\":0,\"snmpDevIndex\":1}"),
            std::string::npos)
      << out;
  ASSERT_EQ(RunShell("'" + std::string(BIN_DIR_STR) + "/machine' show '" + root_.string() + "' spooler", &out), 0);
  EXPECT_NE(out.find("\"pPrinterName\":\"NEVO RP2600\""), std::string::npos) << out;

  // The test page went through the driver to the port.
  const fs::path printed = root_ / ".machine" / "printed" / "NEVO_127_0_0_5";
  ASSERT_TRUE(fs::is_directory(printed)) << log;
  std::vector<std::uint8_t> stream;
  for (const auto& entry : fs::directory_iterator(printed)) {
    std::ifstream in(entry.path(), std::ios::binary);
    stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  const auto job = streamdump::DecodeStream(stream);
  EXPECT_TRUE(job.ok);
  EXPECT_EQ(job.pages.size(), 1u);

  const std::string prn = (root_ / "job.prn").string();
  EXPECT_EQ(RunShell("'" + std::string(BIN_DIR_STR) + "/printjob' --root '" + root_.string() +
                         "' --printer 'NEVO RP2600' --out '" + prn + "'",
                     &out),
            0)
      << out;
}

}  // namespace
}  // namespace installer_test
