#include "plat/resources.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "plat/machine.h"
#include "plat/strings.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

const std::string kStrings = std::string(TEST_DATA_DIR_STR) + "/platform/strings.res.txt";
const std::string kPlatformLib = std::string(LIB_DIR_STR) + "/libplatform.so";

std::u16string W(const std::string& s) { return plat::u16(s); }

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::resources::Reset();
  }
  void TearDown() override {
    EXPECT_EQ(plat::resources::LoadedModuleCount(), 0u) << "a module was left loaded";
    plat::resources::Reset();
  }
  std::string Write(const std::string& name, const std::string& content) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  testsupport::TempFolder folder_{"resources"};
  const fs::path dir_ = folder_.path();
};

TEST_F(Resources, LoadStringCopiesTruncatesAndTerminates) {
  HMODULE res = LoadLibraryW(W(kStrings).c_str());
  ASSERT_NE(res, nullptr) << plat::resources::CheckResourceFile(kStrings);
  struct Case {
    UINT id;
    int chars;
    std::u16string text;
  };
  const Case cases[] = {
      {800, 8, u"5"},
      {835, 260, u"Free size"},
      {835, 10, u"Free size"},  // exactly room for the terminator
      {835, 9, u"Free siz"},
      {835, 2, u"F"},
      {835, 1, u""},
      {3634, 260, u"Create the job folders on drive %c:?\nAll files stay."},
      {3635, 260, u"Tab\there, backslash \\ and \u00e9 escaped"},
      {2000, 260, u"Caf\u00e9 \u65e5\u672c \U0001F600"},
      {2000, 10, u"Caf\u00e9 \u65e5\u672c \xD83D"},  // cut by units, as the platform does
      {65535, 260, u"last id"},
      {0, 260, u"id zero"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.id << " / " << c.chars);
    WCHAR buffer[300];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(LoadStringW(res, c.id, buffer, c.chars), static_cast<int>(c.text.size()));
    EXPECT_EQ(std::u16string(buffer), c.text);
    EXPECT_EQ(buffer[c.chars], u'#') << "nothing written past the buffer";
  }
  EXPECT_TRUE(FreeLibrary(res));
}

TEST_F(Resources, LoadStringWithoutBufferGivesAReadOnlyPointer) {
  HMODULE res = LoadLibraryW(W(kStrings).c_str());
  ASSERT_NE(res, nullptr);
  const WCHAR* text = nullptr;
  EXPECT_EQ(LoadStringW(res, 835, reinterpret_cast<LPWSTR>(&text), 0), 9);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::u16string(text, 9), u"Free size");
  EXPECT_TRUE(FreeLibrary(res));
}

TEST_F(Resources, MissingStringsAndModulesGiveZero) {
  HMODULE res = LoadLibraryW(W(kStrings).c_str());
  ASSERT_NE(res, nullptr);
  WCHAR buffer[16] = {u'#'};
  struct Case {
    HMODULE module;
    UINT id;
    DWORD error;
  };
  const Case cases[] = {
      {res, 801, ERROR_RESOURCE_NAME_NOT_FOUND},
      {res, 2001, ERROR_RESOURCE_NAME_NOT_FOUND},  // an empty string is no string
      {res, 70000, ERROR_RESOURCE_NAME_NOT_FOUND},
      {GetModuleHandleW(u"kernel32.dll"), 800, ERROR_RESOURCE_DATA_NOT_FOUND},
      {reinterpret_cast<HMODULE>(0x1234), 800, ERROR_INVALID_HANDLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    buffer[0] = u'#';
    SetLastError(0);
    EXPECT_EQ(LoadStringW(c.module, c.id, buffer, 16), 0);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(buffer[0], 0) << "the buffer holds an empty string";
  }
  EXPECT_TRUE(FreeLibrary(res));
}

TEST_F(Resources, InvalidResourceFilesAreRefusedWithTheirLine) {
  struct Case {
    const char* content;
    const char* fault;
  };
  const Case cases[] = {
      {"", "line 1"},
      {"RESOURCES 2\n[STRINGTABLE]\n1\tx\n", "line 1"},
      {"RESOURCES 1\n1\tbefore any section\n", "line 2"},
      {"RESOURCES 1\n[STRINGTABLE]\n1 no tab\n", "line 3: no TAB"},
      {"RESOURCES 1\n[STRINGTABLE]\n65536\ttoo big\n", "line 3: the id"},
      {"RESOURCES 1\n[STRINGTABLE]\n-1\tsigned\n", "line 3: the id"},
      {"RESOURCES 1\n[STRINGTABLE]\n\tno id\n", "line 3: the id"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\ta\n\n1\tb\n", "line 5: id 1 given twice"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\tbad \\q escape\n", "line 3: unknown escape"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\tends in \\\n", "line 3"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\t\\u00e\n", "line 3: \\u needs"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\tbad \xC3\x28 utf-8\n", "line 3: invalid UTF-8"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\toverlong \xC0\xAF\n", "line 3: invalid UTF-8"},
      {"RESOURCES 1\n[STRINGTABLE]\n1\tcut \xE6\x97\n", "line 3: invalid UTF-8"},
      {"RESOURCES 1\n[STRINGTABLE\n", "line 2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.content);
    std::string path = Write("bad.res.txt", c.content);
    std::string fault = plat::resources::CheckResourceFile(path);
    EXPECT_NE(fault.find(c.fault), std::string::npos) << fault;
    if (std::string(c.content).rfind("RESOURCES", 0) == 0) {
      SetLastError(0);
      EXPECT_EQ(LoadLibraryW(W(path).c_str()), nullptr);
      EXPECT_EQ(GetLastError(), ERROR_BAD_FORMAT);
    }
  }
  EXPECT_EQ(plat::resources::CheckResourceFile(kStrings), "");
}

TEST_F(Resources, LoadLibraryCountsReferences) {
  HMODULE a = LoadLibraryW(W(kStrings).c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(plat::resources::RefCount(a), 1);
  // The same file under another spelling of its path is the same module.
  const std::string other = std::string(TEST_DATA_DIR_STR) + "/platform/../platform/strings.res.txt";
  HMODULE b = LoadLibraryExW(W(other).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  EXPECT_EQ(b, a);
  EXPECT_EQ(plat::resources::RefCount(a), 2);
  EXPECT_EQ(GetModuleHandleW(u"STRINGS.RES.TXT"), a) << "no reference added";
  EXPECT_EQ(plat::resources::RefCount(a), 2);
  EXPECT_TRUE(FreeLibrary(a));
  EXPECT_EQ(plat::resources::RefCount(a), 1);
  WCHAR buffer[8];
  EXPECT_EQ(LoadStringW(a, 800, buffer, 8), 1) << "still loaded";
  EXPECT_TRUE(FreeLibrary(b));
  EXPECT_EQ(plat::resources::RefCount(a), 0);
  EXPECT_EQ(plat::resources::LoadedModuleCount(), 0u);
  EXPECT_FALSE(FreeLibrary(a));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(LoadStringW(a, 800, buffer, 8), 0);
  EXPECT_EQ(GetModuleHandleW(u"strings.res.txt"), nullptr);
}

TEST_F(Resources, NamesResolveThroughMappingsDrivesAndSearchFolders) {
  // A Windows drive path is looked up in the machine model.
  const testsupport::MachineRoot machine("resources-root");
  const std::string root = machine.str();
  fs::create_directories(root + "/C/Drivers");
  fs::copy_file(kStrings, root + "/C/Drivers/NEVORES.DLL");
  HMODULE drive = LoadLibraryW(u"c:\\drivers\\nevores.dll");
  ASSERT_NE(drive, nullptr);
  WCHAR buffer[16];
  EXPECT_EQ(LoadStringW(drive, 1040, buffer, 16), 8);
  EXPECT_EQ(GetModuleHandleW(u"NEVORES.DLL"), drive);

  // A mapped name; the mapping wins over the drive.
  const std::string mapped = Write("mapped.res.txt", "RESOURCES 1\n[STRINGTABLE]\n1040\tmapped\n");
  plat::resources::MapModule(u"OtherRes.dll", mapped);
  HMODULE byName = LoadLibraryW(u"C:\\Anywhere\\otherres.dll");
  ASSERT_NE(byName, nullptr);
  EXPECT_NE(byName, drive);
  EXPECT_EQ(LoadStringW(byName, 1040, buffer, 16), 6);

  // A bare ".dll" name finds the ".so" of the same stem in a search folder.
  SetLastError(0);
  EXPECT_EQ(LoadLibraryW(u"libplatform.dll"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
  plat::resources::SetSearchFolders({dir_.string(), LIB_DIR_STR});
  HMODULE lib = LoadLibraryW(u"libplatform.dll");
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(LoadLibraryW(W(kPlatformLib).c_str()), lib);
  EXPECT_EQ(plat::resources::RefCount(lib), 2);

  for (HMODULE m : {drive, byName, lib, lib}) EXPECT_TRUE(FreeLibrary(m));
}

TEST_F(Resources, UnknownAndForeignFilesAreRefused) {
  struct Case {
    std::u16string name;
    DWORD error;
  };
  const std::string text = Write("notes.txt", "just some text\n");
  const Case cases[] = {
      {W((dir_ / "missing.dll").string()), ERROR_MOD_NOT_FOUND},
      {u"nothere.dll", ERROR_MOD_NOT_FOUND},
      {W(text), ERROR_BAD_FORMAT},
      {u"", ERROR_INVALID_PARAMETER},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(LoadLibraryW(c.name.c_str()), nullptr);
    EXPECT_EQ(GetLastError(), c.error);
  }
}

TEST_F(Resources, GetProcAddressFindsExportsOfASharedLibrary) {
  HMODULE lib = LoadLibraryW(W(kPlatformLib).c_str());
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(GetProcAddress(lib, "SetLastError"), reinterpret_cast<FARPROC>(&SetLastError));
  EXPECT_EQ(GetProcAddress(lib, "NoSuchExport"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(lib, reinterpret_cast<LPCSTR>(7)), nullptr) << "ordinals are not supported";
  HMODULE res = LoadLibraryW(W(kStrings).c_str());
  EXPECT_EQ(GetProcAddress(res, "SetLastError"), nullptr) << "resource modules export nothing";
  EXPECT_TRUE(FreeLibrary(res));
  EXPECT_TRUE(FreeLibrary(lib));
}

TEST_F(Resources, Kernel32ExportsFollowTheOsProfile) {
  HMODULE k = GetModuleHandleW(u"KERNEL32.DLL");
  ASSERT_NE(k, nullptr);
  EXPECT_EQ(LoadLibraryW(u"kernel32.dll"), k);
  EXPECT_EQ(GetProcAddress(k, "GetNativeSystemInfo"), reinterpret_cast<FARPROC>(&GetNativeSystemInfo));
  struct ProfileGuard {
    plat::machine::OsProfile saved = plat::machine::GetOsProfile();
    ~ProfileGuard() { plat::machine::SetOsProfile(saved); }
  } guard;
  auto profile = guard.saved;
  profile.hasNativeSystemInfo = false;
  plat::machine::SetOsProfile(profile);
  EXPECT_EQ(GetProcAddress(k, "GetNativeSystemInfo"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_NE(GetProcAddress(k, "GetSystemInfo"), nullptr);
  EXPECT_TRUE(FreeLibrary(k));
  EXPECT_EQ(GetModuleHandleW(u"kernel32"), k) << "the system module never goes away";
}

}  // namespace
