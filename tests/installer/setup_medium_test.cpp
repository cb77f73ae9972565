#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "installer_fixture.h"

namespace installer_test {
namespace {

// build/medium copied onto the CD-ROM drive of a machine root made by
// tools/machine; Setup.exe runs there as its own process.
class SetupMedium : public MachineRoot {
 protected:
  void Init(const std::string& options) {
    ASSERT_EQ(std::system(("'" + std::string(BIN_DIR_STR) + "/machine' init '" + root_.string() +
                           "' --drive D=cdrom:CDFS:NEVO " + options)
                              .c_str()),
              0);
    fs::copy(fs::path(BIN_DIR_STR).parent_path() / "medium", root_ / "D",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
  // Runs Setup.exe with the script; the UI log's lines.
  std::string Run(const std::string& script) {
    const std::string log = (root_ / "ui.log").string();
    fs::remove(log);
    const std::string command = "cd / && PLAT_UI_SCRIPT='" + script + "' PLAT_UI_LOG='" + log + "' '" +
                                (root_ / "D" / "Setup.exe").string() + "' < /dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0);
    std::ifstream in(log);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void SetIni(const std::string& key, const std::string& value) {
    std::ifstream in(root_ / "D" / "Setup.ini");
    std::ostringstream text;
    text << in.rdbuf();
    std::string ini = text.str();
    const auto at = ini.find(key + "=");
    ini.replace(at, ini.find('\n', at) - at, key + "=" + value);
    std::ofstream(root_ / "D" / "Setup.ini") << ini;
  }
};

TEST_F(SetupMedium, ReachesTheLanguagePageScripted) {
  Init("--version 6.1 --arch x64 --lang 0x0409");
  const std::string log = Run("111:dump;111:choose 1013 GER;111:click 1");
  EXPECT_NE(log.find("{\"ev\":\"open\",\"page\":\"111\",\"caption\":\"HALVERDON Driver Setup\"}"), std::string::npos)
      << log;
  EXPECT_NE(log.find("\"items\":[\"ARA\",\"UK\",\"US\",\"GER\",\"JPN\",\"TChi\"],\"sel\":2"), std::string::npos) << log;
  EXPECT_NE(log.find("{\"ev\":\"end\",\"page\":\"111\",\"result\":1}"), std::string::npos) << log;
}

TEST_F(SetupMedium, HandsOverTheUsersLanguageOrItsOwnStrings) {
  // Type 5 without an installed printer says so with the strings handed over.
  const struct {
    const char* lang;
    const char* caption;
  } cases[] = {
      {"0x0407", "NEVO Installer (GER)"},  // German: the GER library
      {"0x0809", "NEVO Installer (UK)"},   // English (UK), LangStyle 2: the UK library
      {"0x040E", "HALVERDON Driver Setup"},  // Hungarian: setup's own strings 104 and 102
  };
  for (const auto& c : cases) {
    fs::remove_all(root_ / ".machine");
    Init(std::string("--lang ") + c.lang);
    SetIni("Type", "5");
    const std::string log = Run("");
    EXPECT_NE(log.find("{\"ev\":\"msgbox\",\"caption\":\"" + std::string(c.caption) + "\""), std::string::npos)
        << c.lang << ": " << log;
  }
}

// A script with a word the scripted user does not know stops before any
// window opens, naming its line, instead of answering 0.
TEST_F(SetupMedium, AnUnknownStepOrAnswerIsAnErrorNamingTheLine) {
  Init("--version 6.1 --arch x64 --lang 0x0409");
  const struct {
    const char* script;
    const char* said;
  } cases[] = {
      {"111:choose 1013 US;111:click 1\nmsgbox:answer IDYESS", "line 2: unknown answer \"IDYESS\""},
      {"111:choose 1013 US;111:press 1", "line 1: unknown step \"press\""},
  };
  for (const auto& c : cases) {
    const std::string out = (root_ / "stderr.txt").string();
    const std::string command = "cd / && PLAT_UI_SCRIPT='" + std::string(c.script) + "' '" +
                                (root_ / "D" / "Setup.exe").string() + "' < /dev/null 2>'" + out + "'";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.script;
    std::ifstream in(out);
    std::ostringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find(c.said), std::string::npos) << text.str();
  }
}

TEST_F(SetupMedium, ASecondSetupEndsAtOnce) {
  Init("");
  plat::machine::SetRoot(root_.string());
  HANDLE running = CreateMutexA(nullptr, FALSE, "NEVOAGE");
  ASSERT_EQ(GetLastError(), ERROR_SUCCESS);
  EXPECT_EQ(Run("111:click 1"), "");  // nothing shown
  CloseHandle(running);
  EXPECT_NE(Run("111:click 2"), "");
}

TEST_F(SetupMedium, UnsupportedSystemsHearItFromInstallcore9x) {
  const char* profiles[] = {"--platform 9x --version 4.10 --arch x86", "--version 6.1 --arch x64 --product server"};
  for (const char* profile : profiles) {
    fs::remove_all(root_ / ".machine");
    Init(profile);
    const std::string log = Run("");
    // The box's type (MB_ICONWARNING) and the user's answer are in the log.
    EXPECT_NE(log.find("{\"ev\":\"msgbox\",\"caption\":\"HALVERDON Driver Setup\",\"text\":\"This installer does not "
                       "work on the OS you are using.\\u000aSetup will exit.\",\"type\":48,\"answer\":1}"),
              std::string::npos)
        << profile << ": " << log;
  }
}

}  // namespace
}  // namespace installer_test
