#include "plat/registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::u16string kFailedJobs = u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\NEVO Test\\";

class Registry : public ::testing::Test {
 protected:
  void SetUp() override { plat::registry::Reset(); }
  void TearDown() override { EXPECT_EQ(plat::registry::OpenKeyCount(), 0u) << "a key handle was left open"; }

  static HKEY Create(HKEY root, const std::u16string& path, DWORD options = REG_OPTION_NON_VOLATILE,
                     REGSAM access = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, access, nullptr, &key, disposition),
              ERROR_SUCCESS);
    return key;
  }
  static HKEY Open(HKEY root, const std::u16string& path, REGSAM access) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExW(root, path.c_str(), 0, access, &key), ERROR_SUCCESS);
    return key;
  }
  static void SetSz(HKEY key, const std::u16string& name, const std::u16string& text, bool withTerminator) {
    const DWORD bytes = static_cast<DWORD>((text.size() + (withTerminator ? 1 : 0)) * sizeof(WCHAR));
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes),
              ERROR_SUCCESS);
  }
};

TEST_F(Registry, CreateMakesTheWholePathAndReportsDisposition) {
  DWORD disposition = 0;
  HKEY key = Create(HKEY_CURRENT_USER, kFailedJobs, REG_OPTION_NON_VOLATILE, KEY_WRITE, &disposition);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  RegCloseKey(key);
  key = Create(HKEY_CURRENT_USER, u"SOFTWARE\\nevo bertal corporation", REG_OPTION_NON_VOLATILE, KEY_READ,
               &disposition);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  RegCloseKey(key);
  // Each level exists on its own, found without case and with or without the trailing backslash.
  for (const char16_t* path : {u"Software", u"software\\NEVO BERTAL CORPORATION\\nevo printer driver",
                               u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\NEVO Test"}) {
    key = Open(HKEY_CURRENT_USER, path, KEY_READ);
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
  }
  // The other hive is separate.
  HKEY other = reinterpret_cast<HKEY>(1);
  EXPECT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, u"Software", 0, KEY_READ, &other), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(other, nullptr);
}

TEST_F(Registry, BadPathsAndHandlesAreRefused) {
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"A\\\\B", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"\\A", 0, KEY_READ, &key), ERROR_BAD_PATHNAME);
  EXPECT_EQ(key, nullptr);
  HKEY closed = Create(HKEY_CURRENT_USER, u"A");
  EXPECT_EQ(RegCloseKey(closed), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(closed), ERROR_INVALID_HANDLE);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(closed, u"x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);  // predefined keys stay usable
}

TEST_F(Registry, AccessRightsOfTheHandleAreEnforced) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"K"));
  const BYTE one[4] = {1, 0, 0, 0};
  HKEY setup = Open(HKEY_CURRENT_USER, u"K", KEY_ALL_ACCESS);
  ASSERT_EQ(RegSetValueExW(setup, u"v", 0, REG_DWORD, one, 4), ERROR_SUCCESS);
  RegCloseKey(setup);

  struct Case {
    REGSAM access;
    LSTATUS set, query, enumerate, erase, createChild;
  };
  const Case cases[] = {
      {KEY_READ, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED},
      {KEY_WRITE, ERROR_SUCCESS, ERROR_ACCESS_DENIED, ERROR_ACCESS_DENIED, ERROR_SUCCESS, ERROR_SUCCESS},
      {KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS,
       ERROR_SUCCESS, ERROR_ACCESS_DENIED},
      {KEY_ALL_ACCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS, ERROR_SUCCESS},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.access);
    HKEY key = Open(HKEY_CURRENT_USER, u"K", c.access);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_DWORD, one, 4), c.set);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"v", nullptr, nullptr, nullptr, &size), c.query);
    WCHAR name[8];
    DWORD chars = 8;
    EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, nullptr, nullptr), c.enumerate);
    EXPECT_EQ(RegDeleteValueW(key, u"v"), c.erase);
    if (c.erase == ERROR_SUCCESS) {
      HKEY full = Open(HKEY_CURRENT_USER, u"K", KEY_ALL_ACCESS);
      RegSetValueExW(full, u"v", 0, REG_DWORD, one, 4);
      RegCloseKey(full);
    }
    HKEY child = nullptr;
    EXPECT_EQ(RegCreateKeyExW(key, u"Child", 0, nullptr, 0, KEY_READ, nullptr, &child, nullptr), c.createChild);
    if (child) {
      RegCloseKey(child);
      RegDeleteKeyW(key, u"Child");
    }
    RegCloseKey(key);
  }
}

TEST_F(Registry, QueryFollowsTheSizeProtocol) {
  HKEY key = Create(HKEY_CURRENT_USER, u"K");
  const BYTE data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  ASSERT_EQ(RegSetValueExW(key, u"Blob", 0, REG_BINARY, data, 10), ERROR_SUCCESS);
  struct Case {
    bool withBuffer;
    DWORD size;
    LSTATUS result;
    DWORD sizeAfter;
    bool copied;
  };
  const Case cases[] = {
      {false, 0, ERROR_SUCCESS, 10, false},   // size query
      {true, 0, ERROR_MORE_DATA, 10, false},  // no room at all
      {true, 9, ERROR_MORE_DATA, 10, false},  // one byte short
      {true, 10, ERROR_SUCCESS, 10, true},
      {true, 64, ERROR_SUCCESS, 10, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    BYTE buffer[64];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    DWORD type = 0, size = c.size;
    EXPECT_EQ(RegQueryValueExW(key, u"blob", nullptr, &type, c.withBuffer ? buffer : nullptr, &size), c.result);
    EXPECT_EQ(size, c.sizeAfter);
    EXPECT_EQ(type, REG_BINARY);
    if (c.copied) {
      EXPECT_EQ(0, std::memcmp(buffer, data, 10));
    } else {
      EXPECT_EQ(buffer[0], 0xEE) << "nothing is written when the data does not fit";
    }
  }
  DWORD size = 64;
  BYTE buffer[64];
  EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, buffer, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueExW(key, u"Blob", nullptr, nullptr, buffer, nullptr), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST_F(Registry, TextValuesKeepTheByteCountTheCallerGave) {
  HKEY key = Create(HKEY_CURRENT_USER, u"K");
  const std::u16string path = u"E:\\OSTRA\\USB\\X_AUTO\\JOB000000041.PRN";
  SetSz(key, u"7", path, true);
  SetSz(key, u"8", path, false);
  DWORD size = 0, type = 0;
  ASSERT_EQ(RegQueryValueExW(key, u"7", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, (path.size() + 1) * 2);
  EXPECT_EQ(type, REG_SZ);
  ASSERT_EQ(RegQueryValueExW(key, u"8", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, path.size() * 2) << "no terminator is added";
  // A later set replaces type and data.
  const BYTE dword[4] = {4, 3, 2, 1};
  ASSERT_EQ(RegSetValueExW(key, u"8", 0, REG_DWORD, dword, 4), ERROR_SUCCESS);
  ASSERT_EQ(RegQueryValueExW(key, u"8", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(type, REG_DWORD);
  RegCloseKey(key);
}

TEST_F(Registry, EnumerationReportsMoreDataAndTheEnd) {
  HKEY key = Create(HKEY_CURRENT_USER, u"K");
  SetSz(key, u"12", u"C:\\TEMP\\RV0012.PRN", true);  // 38 bytes
  SetSz(key, u"123456789", u"x", true);              // name of 9 units

  struct Case {
    DWORD index, nameChars, dataSize;
    LSTATUS result;
    DWORD nameAfter, dataAfter;
  };
  const Case cases[] = {
      {0, 24, 260, ERROR_SUCCESS, 2, 38},
      {0, 3, 38, ERROR_SUCCESS, 2, 38},     // name and terminator fit exactly
      {0, 2, 260, ERROR_MORE_DATA, 2, 38},  // no room for the terminator
      {0, 24, 37, ERROR_MORE_DATA, 24, 38}, // data one byte short: size reported
      {1, 10, 4, ERROR_SUCCESS, 9, 4},
      {1, 9, 4, ERROR_MORE_DATA, 9, 4},
      {2, 24, 260, ERROR_NO_MORE_ITEMS, 24, 260},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " " << c.nameChars << " " << c.dataSize);
    WCHAR name[32] = {};
    BYTE data[300];
    DWORD chars = c.nameChars, size = c.dataSize, type = 0;
    EXPECT_EQ(RegEnumValueW(key, c.index, name, &chars, nullptr, &type, data, &size), c.result);
    if (c.result == ERROR_SUCCESS) {
      EXPECT_EQ(chars, c.nameAfter);
      EXPECT_EQ(name[chars], 0);
      EXPECT_EQ(type, REG_SZ);
    }
    if (c.result != ERROR_NO_MORE_ITEMS) {
      EXPECT_EQ(size, c.dataAfter);
    }
  }
  // Data size query without a data buffer.
  WCHAR name[24];
  DWORD chars = 24, size = 0;
  EXPECT_EQ(RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 38u);
  RegCloseKey(key);
}

TEST_F(Registry, EnumeratingValueZeroAndDeletingEmptiesTheKey) {
  HKEY key = Create(HKEY_CURRENT_USER, kFailedJobs, REG_OPTION_VOLATILE, KEY_WRITE);
  SetSz(key, u"7", u"C:\\TEMP\\RV0007.PRN", true);
  SetSz(key, u"9", u"", true);
  RegCloseKey(key);

  key = Open(HKEY_CURRENT_USER, kFailedJobs, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS);
  std::vector<std::u16string> seen;
  while (true) {
    WCHAR name[24];
    BYTE data[260];
    DWORD chars = 24, size = 260;
    if (RegEnumValueW(key, 0, name, &chars, nullptr, nullptr, data, &size) != ERROR_SUCCESS) break;
    seen.emplace_back(name);
    ASSERT_EQ(RegDeleteValueW(key, name), ERROR_SUCCESS);
  }
  EXPECT_EQ(seen, (std::vector<std::u16string>{u"7", u"9"}));
  EXPECT_EQ(RegDeleteValueW(key, u"7"), ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);
}

TEST_F(Registry, UnloadingTheUserHiveDropsVolatileKeysOnly) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Keep"));
  HKEY keep = Open(HKEY_CURRENT_USER, u"Software\\Keep", KEY_ALL_ACCESS);
  SetSz(keep, u"v", u"kept", false);
  HKEY gone = Create(HKEY_CURRENT_USER, kFailedJobs, REG_OPTION_VOLATILE, KEY_WRITE);
  SetSz(gone, u"7", u"path", true);
  HKEY machine = Create(HKEY_LOCAL_MACHINE, u"Volatile", REG_OPTION_VOLATILE);

  // Below a volatile key only volatile keys may be made.
  HKEY child = nullptr;
  EXPECT_EQ(RegCreateKeyExW(gone, u"Sub", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &child,
                            nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(child, nullptr);

  plat::registry::UnloadUserHive();

  HKEY key = nullptr;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kFailedJobs.c_str(), 0, KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  // The intermediate keys were created volatile with it.
  EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Nevo Bertal Corporation", 0, KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegSetValueExW(gone, u"8", 0, REG_SZ, nullptr, 0), ERROR_KEY_DELETED);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(keep, u"v", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 8u);
  key = Open(HKEY_LOCAL_MACHINE, u"Volatile", KEY_READ);
  EXPECT_NE(key, nullptr) << "the machine hive is not unloaded with the user";
  for (HKEY k : {keep, gone, machine, key}) RegCloseKey(k);
}

TEST_F(Registry, DeletingAKeyNeedsItToBeLeaf) {
  RegCloseKey(Create(HKEY_CURRENT_USER, u"A\\B"));
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"A"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"a\\b"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"A\\B"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, u"A"), ERROR_SUCCESS);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
  constexpr int kThreads = 8, kValues = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kValues; ++i) {
        HKEY key = nullptr;
        std::u16string path = u"Jobs\\T" + std::u16string(1, static_cast<char16_t>(u'A' + t));
        if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS)
          return;
        std::u16string name(1, static_cast<char16_t>(0x4E00 + i));  // no two fold together
        DWORD v = static_cast<DWORD>(i);
        RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4);
        RegCloseKey(key);
      }
    });
  }
  for (auto& t : threads) t.join();
  for (int t = 0; t < kThreads; ++t) {
    std::u16string path = u"Jobs\\T" + std::u16string(1, static_cast<char16_t>(u'A' + t));
    HKEY key = Open(HKEY_CURRENT_USER, path, KEY_READ);
    DWORD count = 0;
    WCHAR name[4];
    DWORD chars = 4;
    while (RegEnumValueW(key, count, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
      ++count;
      chars = 4;
    }
    EXPECT_EQ(count, static_cast<DWORD>(kValues));
    RegCloseKey(key);
  }
}

}  // namespace
