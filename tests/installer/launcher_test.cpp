#include <sys/wait.h>
#include <unistd.h>

#include "installer_fixture.h"
#include "launcher/launcher.h"

namespace installer_test {
namespace {

class Launcher : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    paths_.setupFolder = "D:\\";
    paths_.setupIni = "D:\\Setup.ini";
    paths_.resourceFolder = "D:\\NEVO\\";
    for (const char* code : {"us", "uk", "jpn", "tchi"})
      Write(std::string("D/NEVO/lang_") + code + ".dll", std::string("RESOURCES 1\n[STRINGTABLE]\n1\t") + code + "\n");
  }
  void SetLang(LANGID id) {
    plat::machine::OsProfile os;
    os.userLangId = id;
    plat::machine::SetOsProfile(os);
  }
  // The string 1 of what was handed over: the library's code, "setup" for
  // setup's own instance, "" for none.
  std::string Handed(HINSTANCE self) {
    HMODULE m = launcher::LoadLanguageResourceDll(paths_, self);
    if (!m) return "";
    if (m == self) return "setup";
    WCHAR text[16] = {};
    LoadStringW(m, 1, text, 16);
    FreeLibrary(m);
    return plat::utf8(text);
  }
  launcher::SetupPaths paths_;
};

TEST_F(Launcher, UserLanguagesMapToLanguageNumbers) {
  const struct {
    LANGID id;
    DWORD number;
  } cases[] = {
      {0x0409, 11}, {0x0809, 0},  {0x0C09, 11}, {0x0404, 7},  {0x0804, 6},  {0x0C04, 6},  {0x0411, 8},
      {0x0401, 12}, {0x0405, 20}, {0x0407, 2},  {0x0408, 19}, {0x040A, 4},  {0x040C, 1},  {0x0410, 3},
      {0x0412, 17}, {0x0413, 13}, {0x0415, 14}, {0x0416, 5},  {0x0418, 9},  {0x0419, 10}, {0x041D, 15},
      {0x041E, 18}, {0x041F, 16}, {0x040E, 21}, {0x0000, 21},
  };
  for (const auto& c : cases) {
    SetLang(c.id);
    EXPECT_EQ(launcher::LangIdToLanguageNumber(), c.number) << std::hex << c.id;
  }
}

TEST_F(Launcher, PicksTheLanguageLibraryOrHandsItsOwnInstance) {
  HINSTANCE self = GetModuleHandleW(nullptr);
  const struct {
    const char* what;
    LANGID lang;
    const char* setupIni;
    const char* handed;
  } cases[] = {
      {"US English", 0x0409, "[Language]\nUS=US\n[DLL]\nUS=lang_us.dll\n", "us"},
      {"UK with LangStyle 1 takes US", 0x0809, "[Setup]\nLangStyle=1\n[Language]\nUS=US\nUK=UK\n[DLL]\nUS=lang_us.dll\nUK=lang_uk.dll\n", "us"},
      {"UK with LangStyle 0", 0x0809, "[Setup]\nLangStyle=0\n[Language]\nUS=US\nUK=UK\n[DLL]\nUS=lang_us.dll\nUK=lang_uk.dll\n", "uk"},
      {"UK without LangStyle ends", 0x0809, "[Language]\nUK=UK\n[DLL]\nUK=lang_uk.dll\n", ""},
      {"Taiwan", 0x0404, "[Language]\nTChi=23\n[DLL]\nTChi=lang_tchi.dll\n", "tchi"},
      {"Hungarian is not offered", 0x040E, "[Language]\nUS=US\n[DLL]\nUS=lang_us.dll\n", "setup"},
      {"code missing from [Language]", 0x0411, "[Language]\nUS=US\n[DLL]\nJPN=lang_jpn.dll\n", "setup"},
      {"[DLL] code missing ends", 0x0411, "[Language]\nJPN=JPN\n", ""},
      {"library missing ends", 0x0411, "[Language]\nJPN=JPN\n[DLL]\nJPN=nothere.dll\n", ""},
  };
  for (const auto& c : cases) {
    Write("D/Setup.ini", c.setupIni);
    plat::profile::DropCache();
    SetLang(c.lang);
    EXPECT_EQ(Handed(self), c.handed) << c.what;
  }
  EXPECT_EQ(plat::resources::LoadedModuleCount(), 0u);
}

TEST_F(Launcher, NtFromWindows2000On) {
  const struct {
    DWORD platform, major;
    int result;
  } cases[] = {{VER_PLATFORM_WIN32_NT, 5, 1}, {VER_PLATFORM_WIN32_NT, 4, 0}, {VER_PLATFORM_WIN32_WINDOWS, 4, 0},
               {VER_PLATFORM_WIN32_WINDOWS, 5, 1}, {VER_PLATFORM_WIN32s, 3, 1}};
  for (const auto& c : cases) {
    plat::machine::OsProfile os;
    os.platformId = c.platform;
    os.major = c.major;
    plat::machine::SetOsProfile(os);
    EXPECT_EQ(launcher::IsWindows2000OrLater(), c.result) << c.platform << "." << c.major;
  }
}

TEST_F(Launcher, TheMutexMarksARunningCopyAcrossProcesses) {
  HANDLE first = CreateMutexA(nullptr, FALSE, "NEVOAGE");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  const pid_t child = fork();
  if (child == 0) {
    HANDLE other = CreateMutexA(nullptr, FALSE, "NEVOAGE");
    _exit(other && GetLastError() == ERROR_ALREADY_EXISTS ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  HANDLE second = CreateMutexA(nullptr, FALSE, "NEVOAGE");
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CloseHandle(second);
  CloseHandle(first);
  HANDLE again = CreateMutexA(nullptr, FALSE, "NEVOAGE");
  EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
  CloseHandle(again);
  EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::Mutex), 0u);
}

}  // namespace
}  // namespace installer_test
