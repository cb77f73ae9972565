#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/strings.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {
class Profile : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "C" / "data");
    plat::machine::Reset();
    plat::profile::DropCache();
    fs::copy_file(fs::path(TEST_DATA_DIR_STR) / "platform" / "edge.ini", root_ / "C" / "data" / "edge.ini");
  }
  std::string Host(const std::string& rel) const { return (root_ / rel).string(); }
  static std::string Get(const std::string& host) {
    std::ifstream in(host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void Put(const std::string& host, const std::string& bytes) { std::ofstream(host, std::ios::binary) << bytes; }

  static std::u16string Read(LPCWSTR section, LPCWSTR key, LPCWSTR def = u"<missing>",
                             LPCWSTR file = u"C:\\data\\edge.ini") {
    WCHAR buf[256];
    const DWORD n = GetPrivateProfileStringW(section, key, def, buf, 256, file);
    EXPECT_EQ(n, static_cast<DWORD>(lstrlenW(buf)));
    return std::u16string(buf, n);
  }
  testsupport::MachineRoot machine_{"plat-profile"};
  const fs::path root_ = machine_.path();
};

struct ValueCase {
  const char16_t* section;
  const char16_t* key;
  const char16_t* expected;
};

TEST_F(Profile, ValuesFollowThePlatformRules) {
  const ValueCase cases[] = {
      {u"RDF format version", u"Version", u"701"},
      {u"model x", u"PLAIN", u"abc"},                        // names match without case; first section wins
      {u"Model X", u"Spaced", u"padded value"},              // trimmed both sides
      {u"Model X", u"Quoted", u"  keep inner spaces  "},     // one pair of quotes removed
      {u"Model X", u"Single", u"single"},
      {u"Model X", u"HalfQuote", u"\"open"},
      {u"Model X", u"Empty", u""},                           // present but empty: not the default
      {u"Model X", u"DUP", u"first"},                       // first of two keys wins
      {u"Model X", u"Accent", u"Caf\u00E9"},                 // ANSI file, code page 1252
      {u"Model X", u"Number", u"42abc"},
      {u"Model X", u"Equals", u"a=b=c"},
      {u"Model X", u"Semicolon", u"value ; not a comment"},
      {u"Model X", u";Commented", u"<missing>"},
      {u"Model X", u"Extra", u"<missing>"},                  // only in the second [model x]
      {u"Model X", u"Missing", u"<missing>"},
      {u"No Such Section", u"Plain", u"<missing>"},
      {u"Other", u"k", u"v"},                                // last line without a line break
  };
  for (const auto& c : cases)
    EXPECT_EQ(Read(c.section, c.key), c.expected) << plat::utf8(c.section) << "/" << plat::utf8(c.key);
  EXPECT_EQ(Read(u"Model X", u"Missing", u"dflt  "), u"dflt");  // default loses trailing blanks
  EXPECT_EQ(Read(u"Model X", u"Missing", nullptr), u"");
  EXPECT_EQ(Read(u"Model X", u"Plain", u"x", u"C:\\data\\absent.ini"), u"x");
}

TEST_F(Profile, Integers) {
  const LPCWSTR file = u"C:\\data\\edge.ini";
  EXPECT_EQ(GetPrivateProfileIntW(u"Model X", u"Number", 5, file), 42u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntW(u"Model X", u"Negative", 5, file)), -17);
  EXPECT_EQ(GetPrivateProfileIntW(u"Model X", u"NoNumber", 5, file), 0u);
  EXPECT_EQ(GetPrivateProfileIntW(u"Model X", u"Empty", 5, file), 5u);
  EXPECT_EQ(static_cast<INT>(GetPrivateProfileIntW(u"Model X", u"Missing", -1, file)), -1);
  EXPECT_EQ(GetPrivateProfileIntA("rdf FORMAT version", "version", 0, "C:\\data\\edge.ini"), 701u);
}

TEST_F(Profile, ListsOfSectionsAndKeys) {
  WCHAR buf[256];
  // 41 units of names and the list's closing null; nothing written past them.
  std::u16string(256, u'#').copy(buf, 256);
  const std::u16string sections(u"RDF format version\0Model X\0model x\0Other\0", 42);
  EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, u"x", buf, 256, u"C:\\data\\edge.ini"), 41u);
  EXPECT_EQ(std::u16string(buf, 43), sections + u'#');

  std::u16string(256, u'#').copy(buf, 256);
  EXPECT_EQ(GetPrivateProfileStringW(u"other", nullptr, u"x", buf, 256, u"C:\\data\\edge.ini"), 2u);
  EXPECT_EQ(std::u16string(buf, 4), std::u16string(u"k\0\0#", 4));
  GetPrivateProfileStringW(u"Model X", nullptr, u"", buf, 256, u"C:\\data\\edge.ini");
  EXPECT_EQ(std::u16string(buf), u"Plain");
  // Comment lines are no keys; a line without "=" is.
  std::u16string all(buf, 255);
  EXPECT_EQ(all.find(u";Commented"), std::u16string::npos);
  EXPECT_NE(all.find(std::u16string(u"KeyOnly\0\0", 9)), std::u16string::npos);

  // Missing section or file: an empty list.
  buf[0] = buf[1] = u'#';
  EXPECT_EQ(GetPrivateProfileStringW(u"nothing", nullptr, u"x", buf, 256, u"C:\\data\\edge.ini"), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 0);

  // The first key of a section, as the installer reads its language code.
  WCHAR code[20];
  GetPrivateProfileStringW(u"Model X", nullptr, u"", code, 20, u"C:\\data\\edge.ini");
  EXPECT_EQ(std::u16string(code), u"Plain");

  WCHAR section[64];
  EXPECT_EQ(GetPrivateProfileSectionW(u"Other", section, 64, u"C:\\data\\edge.ini"), 4u);
  EXPECT_EQ(std::u16string(section, 5), std::u16string(u"k=v\0\0", 5));
}

// The readers without buffers answer what the API answers, tell a missing
// key from an empty value, and cut nothing however long.
TEST_F(Profile, ReadersWithoutBuffers) {
  using plat::profile::ReadKeys, plat::profile::ReadSection, plat::profile::ReadValue;
  const std::u16string file = u"C:\\data\\edge.ini";
  const ValueCase cases[] = {
      {u"model x", u"PLAIN", u"abc"},
      {u"Model X", u"Quoted", u"  keep inner spaces  "},
      {u"Model X", u"Empty", u""},
      {u"Model X", u"DUP", u"first"},
      {u"Other", u"k", u"v"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadValue(file, c.section, c.key), c.expected) << plat::utf8(c.key);
  EXPECT_FALSE(ReadValue(file, u"Model X", u"Missing"));
  EXPECT_FALSE(ReadValue(file, u"No Such Section", u"Plain"));
  EXPECT_FALSE(ReadValue(u"C:\\data\\absent.ini", u"Model X", u"Plain"));
  EXPECT_EQ(ReadKeys(file, u"Other"), std::vector<std::u16string>{u"k"});
  EXPECT_EQ(ReadKeys(file, u"Model X").front(), u"Plain");
  EXPECT_TRUE(ReadKeys(file, u"nothing").empty());
  EXPECT_EQ(ReadSection(file, u"Other"), std::vector<std::u16string>{u"k=v"});

  // Longer than any buffer the INF readers used before (1024 units for a
  // value, 32768 for a list).
  const std::string longValue(5000, 'v');
  std::string text = "[Long]\r\nValue=" + longValue + "\r\n[Many]\r\n";
  for (int i = 0; i < 4000; ++i) text += "SomeLongerKeyName" + std::to_string(i) + "=x\r\n";
  Put(Host("C/data/long.inf"), text);
  const std::u16string inf = u"C:\\data\\long.inf";
  EXPECT_EQ(ReadValue(inf, u"Long", u"Value"), plat::u16(longValue));
  const auto keys = ReadKeys(inf, u"Many");
  ASSERT_EQ(keys.size(), 4000u);
  EXPECT_EQ(keys.back(), u"SomeLongerKeyName3999");
  EXPECT_EQ(ReadSection(inf, u"Many").back(), u"SomeLongerKeyName3999=x");
}

TEST(ProfileFields, CommaFieldsAndFrames) {
  using plat::profile::SplitCommaFields, plat::profile::Unframe;
  EXPECT_EQ(SplitCommaFields(u" a , b\t,,c"), (std::vector<std::u16string>{u"a", u"b", u"", u"c"}));
  EXPECT_EQ(SplitCommaFields(u""), std::vector<std::u16string>{u""});
  EXPECT_EQ(Unframe(u"%KEY%", u'%').value(), u"KEY");
  EXPECT_EQ(Unframe(u"\"\"", u'"').value(), u"");
  EXPECT_FALSE(Unframe(u"%", u'%'));
  EXPECT_FALSE(Unframe(u"%KEY", u'%'));
}

TEST_F(Profile, TruncationReturnsTheDocumentedCounts) {
  WCHAR buf[16];
  std::u16string(16, u'#').copy(buf, 16);
  EXPECT_EQ(GetPrivateProfileStringW(u"Model X", u"Spaced", u"", buf, 7, u"C:\\data\\edge.ini"), 6u);
  EXPECT_EQ(std::u16string(buf, 8), std::u16string(u"padded\0#", 8));
  EXPECT_EQ(GetPrivateProfileStringW(u"Model X", u"Spaced", u"", buf, 0, u"C:\\data\\edge.ini"), 0u);

  std::u16string(16, u'#').copy(buf, 16);
  EXPECT_EQ(GetPrivateProfileStringW(nullptr, nullptr, u"", buf, 10, u"C:\\data\\edge.ini"), 8u);
  EXPECT_EQ(std::u16string(buf, 11), std::u16string(u"RDF form\0\0#", 11));

  char narrow[8];
  EXPECT_EQ(GetPrivateProfileStringA("Model X", "Accent", "", narrow, 8, "C:\\data\\edge.ini"), 4u);
  EXPECT_STREQ(narrow, "Caf\xE9");
  EXPECT_EQ(GetPrivateProfileStringA("Model X", "Semicolon", "", narrow, 8, "C:\\data\\edge.ini"), 7u);
  EXPECT_STREQ(narrow, "value ;");
}

TEST_F(Profile, Utf16AndUtf8Files) {
  fs::copy_file(fs::path(TEST_DATA_DIR_STR) / "platform" / "setup_utf16.ini", root_ / "C" / "data" / "Setup.ini");
  EXPECT_EQ(Read(u"Language", u"jpn", u"", u"C:\\data\\setup.ini"), u"\u65E5\u672C\u8A9E");
  EXPECT_EQ(Read(u"DLL", u"FolderName", u"", u"C:\\data\\setup.ini"), u"\u30C9\u30E9\u30A4\u30D0");
  WCHAR first[20];
  GetPrivateProfileStringW(u"Language", nullptr, u"", first, 20, u"C:\\data\\setup.ini");
  EXPECT_EQ(std::u16string(first), u"JPN");

  Put(Host("C/data/u8.ini"), "\xEF\xBB\xBF[S]\nName=\xE5\x90\x8D\n");
  EXPECT_EQ(Read(u"S", u"Name", u"", u"C:\\data\\u8.ini"), u"\u540D");
  // Without a mark the bytes are ANSI, whatever they look like.
  Put(Host("C/data/ansi.ini"), "[S]\nName=\xC3\xA9\n");
  EXPECT_EQ(Read(u"S", u"Name", u"", u"C:\\data\\ansi.ini"), u"\u00C3\u00A9");
}

TEST_F(Profile, BareNamesLiveInTheWindowsFolder) {
  fs::create_directories(Host("C/WINDOWS"));
  Put(Host("C/WINDOWS/drv.ini"), "[A]\nb=windows folder\n");
  EXPECT_EQ(Read(u"A", u"b", u"", u"drv.ini"), u"windows folder");
  ASSERT_TRUE(WritePrivateProfileStringW(u"A", u"c", u"written", u"DRV.INI"));
  EXPECT_EQ(Get(Host("C/WINDOWS/drv.ini")), "[A]\r\nb=windows folder\r\nc=written\r\n");
}

TEST_F(Profile, ParsedOnceUntilTheFileChanges) {
  const std::size_t before = plat::profile::ParseCount();
  for (int i = 0; i < 200; ++i) ASSERT_EQ(Read(u"Model X", u"Plain"), u"abc");
  EXPECT_EQ(plat::profile::ParseCount(), before + 1);

  // Same size, new contents and time: read again.
  const std::string host = Host("C/data/edge.ini");
  std::string bytes = Get(host);
  bytes.replace(bytes.find("Plain=abc"), 9, "Plain=xyz");
  Put(host, bytes);
  fs::last_write_time(host, fs::last_write_time(host) + std::chrono::seconds(2));
  EXPECT_EQ(Read(u"Model X", u"Plain"), u"xyz");
  EXPECT_EQ(plat::profile::ParseCount(), before + 2);

  Put(host, "[Model X]\nPlain=shorter\n");
  EXPECT_EQ(Read(u"Model X", u"Plain"), u"shorter");
}

// A large file (like a model data file with 100,000 keys more than it
// needs) is read once and answers every query from it.
TEST_F(Profile, LookupsInALargeFileReadItOnce) {
  constexpr int kKeys = 200000;
  std::string text = "[first]\r\nA=1\r\n[Big]\r\n";
  for (int i = 0; i < kKeys; ++i) text += "Key" + std::to_string(i) + "=v" + std::to_string(i) + "\r\n";
  text += "[Big]\r\nKey0=second section\r\n[Last]\r\nEnd=yes\r\n";
  Put(Host("C/data/big.ini"), text);
  const std::size_t before = plat::profile::ParseCount();
  EXPECT_EQ(Read(u"Last", u"End", u"", u"C:\\data\\big.ini"), u"yes");  // parsed here
  EXPECT_EQ(Read(u"big", u"KEY0", u"", u"C:\\data\\big.ini"), u"v0") << "first section of the name";
  EXPECT_EQ(Read(u"Big", u"Nothing", u"none", u"C:\\data\\big.ini"), u"none");
  // Every key of the section answers, from the one parse (bench_profile_bench
  // races these lookups against a small file's).
  for (int i = 0; i < 2000; ++i) {
    const int k = kKeys - 1 - i * 97 % kKeys;
    const std::u16string key = plat::u16("kEY" + std::to_string(k));
    ASSERT_EQ(Read(u"Big", key.c_str(), u"", u"C:\\data\\big.ini"), plat::u16("v" + std::to_string(k)));
  }
  EXPECT_EQ(plat::profile::ParseCount(), before + 1);
}

TEST_F(Profile, WritesCreateReplaceAndDelete) {
  const LPCWSTR file = u"C:\\data\\new.ini";
  const std::string host = Host("C/data/new.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Job", u"Name", u"Caf\u00E9", file));
  EXPECT_EQ(Get(host), "[Job]\r\nName=Caf\xE9\r\n");  // a new file is ANSI
  ASSERT_TRUE(WritePrivateProfileStringW(u"Job", u"Count", u"1", file));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Other", u"k", u"v", file));
  ASSERT_TRUE(WritePrivateProfileStringW(u"JOB", u"name", u"second", file));  // keeps the key's spelling
  EXPECT_EQ(Get(host), "[Job]\r\nName=second\r\nCount=1\r\n[Other]\r\nk=v\r\n");
  EXPECT_EQ(Read(u"job", u"count", u"", file), u"1");

  ASSERT_TRUE(WritePrivateProfileStringW(u"Job", u"Count", nullptr, file));
  ASSERT_TRUE(WritePrivateProfileStringW(u"Job", u"Absent", nullptr, file));
  EXPECT_EQ(Get(host), "[Job]\r\nName=second\r\n[Other]\r\nk=v\r\n");
  ASSERT_TRUE(WritePrivateProfileStringW(u"job", nullptr, nullptr, file));
  EXPECT_EQ(Get(host), "[Other]\r\nk=v\r\n");
  EXPECT_EQ(Read(u"Job", u"Name", u"gone", file), u"gone");

  // Comments and blank lines stay; a new key goes before the blank line.
  ASSERT_TRUE(WritePrivateProfileStringW(u"RDF format version", u"Added", u"1", u"C:\\data\\edge.ini"));
  const std::string edge = Get(Host("C/data/edge.ini"));
  EXPECT_EQ(edge.substr(0, 64), std::string("; comment line\r\n[RDF format version]\r\nVersion=701\r\nAdded=1\r\n\r\n[ "));
  EXPECT_EQ(Read(u"Model X", u"Accent"), u"Caf\u00E9");

  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\missing\\x.ini"));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Profile, WritesKeepTheEncodingAndRespectProtection) {
  fs::copy_file(fs::path(TEST_DATA_DIR_STR) / "platform" / "setup_utf16.ini", root_ / "C" / "data" / "Setup.ini");
  ASSERT_TRUE(WritePrivateProfileStringW(u"Language", u"KOR", u"\uD55C\uAD6D\uC5B4", u"C:\\data\\Setup.ini"));
  const std::string bytes = Get(Host("C/data/Setup.ini"));
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  EXPECT_EQ(Read(u"Language", u"KOR", u"", u"C:\\data\\Setup.ini"), u"\uD55C\uAD6D\uC5B4");
  EXPECT_EQ(Read(u"Language", u"JPN", u"", u"C:\\data\\Setup.ini"), u"\u65E5\u672C\u8A9E");

  const std::string before = Get(Host("C/data/edge.ini"));
  ASSERT_TRUE(SetFileAttributesW(u"C:\\data\\edge.ini", FILE_ATTRIBUTE_READONLY));
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\data\\edge.ini"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributesW(u"C:\\data\\edge.ini", FILE_ATTRIBUTE_HIDDEN));

  HANDLE h = CreateFileW(u"C:\\data\\edge.ini", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  SetLastError(0);
  EXPECT_FALSE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\data\\edge.ini"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  EXPECT_EQ(Get(Host("C/data/edge.ini")), before);

  ASSERT_TRUE(WritePrivateProfileStringW(u"S", u"k", u"v", u"C:\\data\\edge.ini"));
  EXPECT_EQ(GetFileAttributesW(u"C:\\data\\edge.ini"), FILE_ATTRIBUTE_HIDDEN);  // kept through the rewrite
}
TEST_F(Profile, OddFilesReadSafely) {
  struct Case {
    std::string bytes;
    const char16_t* section;
    const char16_t* key;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"[Open\r\nk=v\r\n", u"Open", u"k", u"v"},           // header without "]"
      {"=no key\r\n[S]\r\n=x\r\nk=1", u"S", u"k", u"1"},
      {"[S]\rk=cr only\r", u"S", u"k", u"cr only"},
      {std::string("[S]\nk=a\0b\n", 10), u"S", u"k", u"a"},  // the value ends at a zero unit
      {std::string("\xFF\xFE[\0S\0]\0\n\0k\0=\0v\0x", 17), u"S", u"k", u"v"},  // odd byte ends UTF-16
      {"k=before any section\n[S]\n", u"S", u"k", u"<missing>"},
      {"[S]\nk=\"\"\n", u"S", u"k", u""},
      {"[S]\nk=\"\n", u"S", u"k", u"\""},
      {std::string(100000, 'x') + "\n[S]\nk=" + std::string(300, 'y') + "\n", u"S", u"k", nullptr},
  };
  int i = 0;
  for (const auto& c : cases) {
    const std::string name = "odd" + std::to_string(++i) + ".ini";
    Put(Host("C/data/" + name), c.bytes);
    const std::u16string file = u"C:\\data\\" + plat::u16(name);
    WCHAR buf[256];
    const DWORD n = GetPrivateProfileStringW(c.section, c.key, u"<missing>", buf, 256, file.c_str());
    if (c.expected) {
      EXPECT_EQ(std::u16string(buf, n), c.expected) << name;
    } else {
      EXPECT_EQ(n, 255u) << name;  // cut to the buffer
    }
    GetPrivateProfileStringW(nullptr, nullptr, u"", buf, 256, file.c_str());
    GetPrivateProfileSectionW(c.section, buf, 256, file.c_str());
  }
}
}  // namespace
