// The medium end to end: a machine root made by tools/machine with two
// duplicators' agents in its subnet; Setup.exe runs as its own process with a
// scripted user, finds them, makes the port and the printer and prints the
// test page; printjob then prints through the installed printer.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "installer_fixture.h"
#include "streamdump/stream_decoder.h"
#include "support/peer.h"
#include "support/snmp_agent.h"

namespace installer_test {
namespace {

// A shell command running one of our programs: the quoted program, then the
// rest of the line. Built by appending (GCC 12 misreads the chain of +).
std::string Program(const char* name, const std::string& rest) {
  std::string command = "'";
  command.append(BIN_DIR_STR).append("/").append(name).append("' ").append(rest);
  return command;
}

class WizardMedium : public MachineRoot {
 protected:
  void TearDown() override {
    agents_.clear();
    MachineRoot::TearDown();
  }
  // An agent at a loopback address; its port, or 0 (the test is skipped) without snmpd.
  int StartAgent(const std::string& address, const std::string& description, const std::string& name) {
    auto agent = std::make_unique<testsupport::SnmpAgent>(root_ / ("agent-" + address),
                                                          testsupport::SystemValues(description, name, "0x00AA00BB00CC"),
                                                          address);
    if (!agent->Running()) return 0;
    agents_.push_back(std::move(agent));
    return agents_.back()->port();
  }
  void Init(const std::string& options) {
    std::string out;
    ASSERT_EQ(RunShell(Program("machine", "init '" + root_.string() + "' --drive D=cdrom:CDFS:NEVO " + options), &out),
              0)
        << out;
    fs::copy(fs::path(BIN_DIR_STR).parent_path() / "medium", root_ / "D",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  std::string RunSetup(const std::string& script) {
    const std::string log = (root_ / "ui.log").string();
    fs::remove(log);
    std::string out;
    EXPECT_EQ(RunShell("cd / && PLAT_SLEEP_SCALE=0.1 PLAT_UI_SCRIPT='" + script + "' PLAT_UI_LOG='" + log + "' '" +
                           (root_ / "D" / "Setup.exe").string() + "' < /dev/null",
                       &out),
              0)
        << out;
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  // The medium's inst.ini offers the USB cable, and the x86 INFs name the
  // duplicators' USB hardware ids.
  // An x86 package lists only the x86 systems.
  void X86Medium() { Edit("D/Setup.ini", "Win8x64=x64\nWin7x64=x64\nWinVistax64=x64\n", ""); }
  void OfferUsb() {
    X86Medium();
    Edit("D/inst.ini", "ValidOutPut=1", "ValidOutPut=3");
    for (const char* kind : {"NEVO1100", "NEVO2600"}) {
      const std::string inf = std::string("D/Driver/x86/") + kind + "/US/" + (std::string(kind) == "NEVO1100" ? "nevo1100.inf" : "nevo2600.inf");
      Edit(inf, std::string("=") + kind + "\n", std::string("=") + kind + ",USBPRINT\\" + kind + "ID\n");
    }
  }
  void Edit(const std::string& rel, const std::string& from, const std::string& to) {
    std::ifstream in(root_ / rel);
    std::ostringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    for (auto at = all.find(from); at != std::string::npos; at = all.find(from, at + to.size()))
      all.replace(at, from.size(), to);
    std::ofstream(root_ / rel, std::ios::trunc) << all;
  }
  std::string State(const std::string& name) {
    std::ifstream in(root_ / ".machine" / "state" / name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::unique_ptr<testsupport::SnmpAgent>> agents_;
};

TEST_F(WizardMedium, Type4OnWindows7FindsTheDuplicatorMakesItsPortAndPrintsTheTestPage) {
  const int first = StartAgent("127.0.0.2", "NEVO RP2600", "Front office");
  const int second = first ? StartAgent("127.0.0.5", "NEVO RP1100", "Back office") : 0;
  REQUIRE_PEER(first && second, "snmpd");
  Init("--version 6.1 --arch x64 --subnet 127.0.0.0/29 --agent 127.0.0.2=" + std::to_string(first) +
       " --agent 127.0.0.5=" + std::to_string(second));
  const std::string log = RunSetup(
      "111:choose 1013 US;111:click 1;104:click 1;105:click 1;"
      "121:wait-items 1031 2;121:dump;121:select 1031 1;121:click 1;"
      "107:select 1009 1;107:click 1;110:click 1;111:click 1;112:wait 600000;"
      "msgbox:answer IDYES;msgbox:answer IDOK;113:check 1026 off;113:click 1007");
  EXPECT_NE(log.find("\"rows\":[[\"127.0.0.2\",\"00:AA:00:BB:00:CC\",\"Front office\"],"
                     "[\"127.0.0.5\",\"00:AA:00:BB:00:CC\",\"Back office\"]]"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"113\",\"result\":1007}"), std::string::npos) << log;
  // The log holds every window, also the search's progress page of a worker
  // thread, every message box with its type and answer, every program started.
  EXPECT_NE(log.find("{\"ev\":\"open\",\"page\":\"123\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"thread\":\"worker\"}"), std::string::npos) << log;
  EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"123\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"type\":36,\"answer\":6}"), std::string::npos) << "the test page question, answered IDYES: " << log;
  EXPECT_NE(log.find("{\"ev\":\"start\",\"command\":\"\\\"rundll32\\\" printui.dll,PrintUIEntry /k /n "
                     "\\\"NEVO RP2600\\\"\",\"ran\":true}"),
            std::string::npos)
      << log;
  // The medium's manual was offered, copied and linked in the start menu.
  bool manual = false, link = false;
  for (const auto& entry : fs::recursive_directory_iterator(root_ / "C")) {
    manual |= entry.path().filename() == "NEVO Printer Driver Manual.html" &&
              entry.path().parent_path().filename() == "English" &&
              entry.path().string().find("Program Files") != std::string::npos;
    link |= entry.path().filename() == "NEVO Printer Driver Manual.lnk";
  }
  EXPECT_TRUE(manual);
  EXPECT_TRUE(link);

  std::string out;
  ASSERT_EQ(RunShell(Program("machine", "show '" + root_.string() + "' ports"), &out), 0);
  EXPECT_NE(out.find("{\"name\":\"NEVO_127.0.0.5\",\"monitor\":\"Standard TCP/IP Port\",\"hostAddress\":"
                     "\"127.0.0.5\",\"ipAddress\":\"127.0.0.5\",\"queue\":\"lp\",\"community\":\"marnit\",\"version\":1,"
                     "\"protocol\":2,\"portNumber\":515,\"doubleSpool\":1,\"snmpEnabled\":0,\"snmpDevIndex\":1}"),
            std::string::npos)
      << out;
  ASSERT_EQ(RunShell(Program("machine", "show '" + root_.string() + "' spooler"), &out), 0);
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
  EXPECT_EQ(RunShell(Program("printjob", "--root '" + root_.string() + "' --printer 'NEVO RP2600' --out '" + prn + "'"),
                     &out),
            0)
      << out;
}

// The network installer (Type 1) on Windows XP copies the driver files itself.
TEST_F(WizardMedium, Type1OnWindowsXpCopiesTheDriverAndPrints) {
  const int first = StartAgent("127.0.0.2", "NEVO RP2600", "Front office");
  REQUIRE_PEER(first, "snmpd");
  Init("--version 5.1 --arch x86 --subnet 127.0.0.0/29 --agent 127.0.0.2=" + std::to_string(first));
  Edit("D/Setup.ini", "Type=4", "Type=1");
  X86Medium();
  const std::string log = RunSetup(
      "111:choose 1013 US;111:click 1;104:click 1;"
      "121:wait-items 1031 1;121:select 1031 0;121:click 1;"
      "107:select 1009 1;107:click 1;110:type 1012 Front office;110:click 1;111:click 1;112:wait 600000;"
      "msgbox:answer yes;msgbox:answer ok;113:check 1026 off;113:click 1007");
  EXPECT_EQ(log.find("\"page\":\"105\""), std::string::npos) << log;
  EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"113\",\"result\":1007}"), std::string::npos) << log;
  const std::string spooler = State("spooler");
  EXPECT_NE(spooler.find("printer\tFront office"), std::string::npos) << spooler;
  EXPECT_TRUE(fs::exists(root_ / "C/WINDOWS/system32/spool/drivers/W32X86/3/classicrender.dll"));
  EXPECT_TRUE(fs::is_directory(root_ / ".machine" / "printed" / "NEVO_127_0_0_2")) << log;
}

// A USB printer plugged in while page 106 waits gets its printer on its
// port, with the device's instance in the printer's "PnPData".
TEST_F(WizardMedium, UsbCableOnXpAndWindows7MakesThePrinterOnTheDevicesPort) {
  for (const char* version : {"5.1", "6.1"}) {
    fs::remove_all(root_ / ".machine");
    fs::remove_all(root_ / "C");
    Init(std::string("--version ") + version + " --arch x86");
    OfferUsb();
    const std::string log = RunSetup(
        "111:choose 1013 US;111:click 1;104:click 1;105:check 1022 on;105:click 1;"
        "106:wait 2000;106:usb plug --hwid USBPRINT\\NEVO2600ID --port USB001;106:wait 3000;msgbox:answer ok;"
        "107:wait 20000;107:dump;107:click 1;110:click 1;111:click 1;112:wait 600000;msgbox:answer no;113:check 1026 off;"
        "113:click 1007");
    EXPECT_NE(log.find("\"items\":[\"NEVO RP2600\"],\"sel\":0"), std::string::npos) << version << log;
    EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"113\",\"result\":1007}"), std::string::npos) << version << log;
    const std::string spooler = State("spooler");
    EXPECT_NE(spooler.find("printer\tNEVO RP2600\n  port\tUSB001"), std::string::npos) << version << spooler;
    EXPECT_NE(spooler.find("keyed\tPnPData\\\\DeviceInstanceId"), std::string::npos) << version << spooler;
    EXPECT_EQ(State("devices").find("newhw"), std::string::npos) << version;  // the closer shut the window
  }
}

// Windows 8 makes the printer itself: no device page, no name page, no printer.
TEST_F(WizardMedium, UsbCableOnWindows8SkipsTheNamePageAndMakesNoPrinter) {
  Init("--version 6.2 --arch x86");
  OfferUsb();
  const std::string log = RunSetup(
      "111:choose 1013 US;111:click 1;104:click 1;105:check 1022 on;105:click 1;"
      "107:select 1009 1;107:click 1;111:dump;111:click 1;112:wait 600000;msgbox:answer ok;113:check 1026 off;"
      "113:click 1007");
  EXPECT_EQ(log.find("\"page\":\"106\""), std::string::npos) << log;
  EXPECT_EQ(log.find("\"page\":\"110\""), std::string::npos) << log;
  EXPECT_NE(log.find("{\"id\":1018,\"class\":\"Static\",\"text\":\"\",\"enabled\":false,\"visible\":false}"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Windows installs the printer for the USB device."), std::string::npos) << log;
  EXPECT_EQ(State("spooler").find("printer\t"), std::string::npos);
}

}  // namespace
}  // namespace installer_test
