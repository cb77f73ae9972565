#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "plat/machine.h"
#include "plat/strings.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {
class Machine : public testing::Test {
 protected:
  void SetUp() override {
    plat::machine::Reset();
  }
  void TearDown() override {
    plat::machine::Reset();
  }
  std::string Host(const std::string& rel) const { return (root_ / rel).string(); }
  testsupport::MachineRoot machine_{"plat-machine"};
  const fs::path root_ = machine_.path();
};

struct PathCase {
  const char16_t* windows;
  const char* host;  // relative to the root; nullptr: refused
  DWORD error;
};

TEST_F(Machine, MapsWindowsPathsUnderTheRoot) {
  const PathCase cases[] = {
      {u"C:\\x\\y", "C/x/y", 0},
      {u"c:/x/y", "C/x/y", 0},
      {u"C:\\x\\.\\z\\..\\y", "C/x/y", 0},
      {u"C:\\\\x\\\\", "C/x", 0},
      {u"C:", "C", 0},
      {u"C:\\..\\..\\etc", "C/etc", 0},  // never above the drive
      {u"x\\y", nullptr, ERROR_PATH_NOT_FOUND},
      {u"", nullptr, ERROR_PATH_NOT_FOUND},
      {u"Q:\\x", nullptr, ERROR_PATH_NOT_FOUND},
      {u"C:\\a*b", nullptr, ERROR_INVALID_NAME},
      {u"C:\\a\\b?", nullptr, ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    std::string host;
    SetLastError(0);
    const bool ok = plat::machine::HostPath(c.windows, host);
    if (c.host) {
      EXPECT_TRUE(ok) << plat::utf8(c.windows);
      EXPECT_EQ(host, Host(c.host)) << plat::utf8(c.windows);
    } else {
      EXPECT_FALSE(ok) << plat::utf8(c.windows);
      EXPECT_EQ(GetLastError(), c.error) << plat::utf8(c.windows);
    }
  }
}

TEST_F(Machine, ExistingEntriesMatchWithoutCase) {
  fs::create_directories(Host("C/Data/Sub"));
  std::ofstream(Host("C/Data/File.TXT")) << "x";
  EXPECT_EQ(plat::machine::HostPath(u"c:\\DATA\\file.txt"), Host("C/Data/File.TXT"));
  EXPECT_EQ(plat::machine::HostPath(u"C:\\data\\SUB\\New.txt"), Host("C/Data/Sub/New.txt"));
  EXPECT_EQ(plat::machine::HostPath(u"C:\\data\\Missing\\X"), Host("C/Data/Missing/X"));
}

TEST_F(Machine, DriveTable) {
  plat::machine::SetDrives({{u'C', DRIVE_FIXED, u"NTFS", u"SYSTEM", 1},
                            {u'e', DRIVE_REMOVABLE, u"FAT32", u"USBSTICK", 0x1234ABCD},
                            {u'D', DRIVE_CDROM, u"CDFS", u"", 3}});
  EXPECT_EQ(GetLogicalDriveStringsW(0, nullptr), 13u);
  WCHAR small[12];
  EXPECT_EQ(GetLogicalDriveStringsW(12, small), 13u);
  WCHAR list[13];
  EXPECT_EQ(GetLogicalDriveStringsW(13, list), 12u);
  EXPECT_EQ(std::u16string(list, 13), std::u16string(u"C:\\\0D:\\\0E:\\\0\0", 13));

  EXPECT_EQ(GetDriveTypeW(u"E:\\"), DRIVE_REMOVABLE);
  EXPECT_EQ(GetDriveTypeW(u"e:"), DRIVE_REMOVABLE);
  EXPECT_EQ(GetDriveTypeW(u"D:/"), DRIVE_CDROM);
  EXPECT_EQ(GetDriveTypeW(nullptr), DRIVE_FIXED);
  EXPECT_EQ(GetDriveTypeW(u"Z:\\"), DRIVE_NO_ROOT_DIR);
  EXPECT_EQ(GetDriveTypeW(u"E:\\OSTRA"), DRIVE_NO_ROOT_DIR);

  WCHAR label[32], fsName[8];
  DWORD serial = 0, maxLen = 0, flags = 0;
  ASSERT_TRUE(GetVolumeInformationW(u"E:\\", label, 32, &serial, &maxLen, &flags, fsName, 8));
  EXPECT_EQ(std::u16string(label), u"USBSTICK");
  EXPECT_EQ(std::u16string(fsName), u"FAT32");
  EXPECT_EQ(serial, 0x1234ABCDu);
  EXPECT_EQ(maxLen, 255u);
  ASSERT_TRUE(GetVolumeInformationW(u"E:\\", nullptr, 0, nullptr, nullptr, nullptr, fsName, 8));
  SetLastError(0);
  EXPECT_FALSE(GetVolumeInformationW(u"E:\\", nullptr, 0, nullptr, nullptr, nullptr, fsName, 5));
  EXPECT_EQ(GetLastError(), ERROR_BAD_LENGTH);
  SetLastError(0);
  EXPECT_FALSE(GetVolumeInformationW(u"Z:\\", nullptr, 0, nullptr, nullptr, nullptr, fsName, 8));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  SetLastError(0);
  EXPECT_FALSE(GetVolumeInformationW(u"E:", nullptr, 0, nullptr, nullptr, nullptr, fsName, 8));  // a root ends with "\"
  EXPECT_EQ(GetLastError(), ERROR_INVALID_NAME);

  plat::machine::RemoveDrive(u'D');
  plat::machine::AddDrive({u'F', DRIVE_REMOVABLE, u"NTFS", u"", 0});
  EXPECT_EQ(GetLogicalDriveStringsW(13, list), 12u);
  EXPECT_EQ(std::u16string(list, 13), std::u16string(u"C:\\\0E:\\\0F:\\\0\0", 13));
}

TEST_F(Machine, WindowsAndTempFolders) {
  WCHAR buf[MAX_PATH];
  EXPECT_EQ(GetWindowsDirectoryW(nullptr, 0), 11u);
  EXPECT_EQ(GetWindowsDirectoryW(buf, 5), 11u);
  EXPECT_EQ(GetWindowsDirectoryW(buf, MAX_PATH), 10u);
  EXPECT_EQ(std::u16string(buf), u"C:\\WINDOWS");

  EXPECT_EQ(GetTempPathW(MAX_PATH, buf), 8u);
  EXPECT_EQ(std::u16string(buf), u"C:\\TEMP\\");
  EXPECT_TRUE(fs::is_directory(Host("C/TEMP")));  // created on demand
  EXPECT_EQ(GetTempPathW(3, buf), 9u);

  plat::machine::AddDrive({u'D', DRIVE_FIXED, u"NTFS", u"", 0});
  plat::machine::SetTempPath(u"D:\\Users\\x\\Temp");
  EXPECT_EQ(GetTempPathW(MAX_PATH, buf), 16u);
  EXPECT_EQ(std::u16string(buf), u"D:\\Users\\x\\Temp\\");
}

TEST_F(Machine, UserNameSizeProtocol) {
  const std::u16string longName(200, u'n');
  plat::machine::SetUserName(longName);
  WCHAR buf[257];
  DWORD size = 257;
  ASSERT_TRUE(GetUserNameW(buf, &size));
  EXPECT_EQ(size, 201u);
  EXPECT_EQ(std::u16string(buf), longName);
  size = 10;
  SetLastError(0);
  EXPECT_FALSE(GetUserNameW(buf, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(size, 201u);
}

TEST_F(Machine, VersionProfile) {
  OSVERSIONINFOEXW ex{};
  ex.dwOSVersionInfoSize = sizeof ex;
  ASSERT_TRUE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
  EXPECT_EQ(ex.dwMajorVersion, 6u);
  EXPECT_EQ(ex.dwMinorVersion, 1u);
  EXPECT_EQ(ex.wProductType, VER_NT_WORKSTATION);

  plat::machine::OsProfile os;
  os.major = 5;
  os.minor = 2;
  os.productType = VER_NT_SERVER;
  os.servicePack = u"Service Pack 2";
  plat::machine::SetOsProfile(os);
  // The plain structure is filled up to its own size and not beyond.
  struct {
    OSVERSIONINFOW info;
    BYTE after[8];
  } plain{};
  std::memset(plain.after, 0xAB, sizeof plain.after);
  plain.info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
  ASSERT_TRUE(GetVersionExW(&plain.info));
  EXPECT_EQ(plain.info.dwMajorVersion, 5u);
  EXPECT_EQ(plain.info.dwMinorVersion, 2u);
  EXPECT_EQ(std::u16string(plain.info.szCSDVersion), u"Service Pack 2");
  EXPECT_EQ(plain.after[0], 0xAB);

  OSVERSIONINFOW bad{};
  bad.dwOSVersionInfoSize = 100;
  SetLastError(0);
  EXPECT_FALSE(GetVersionExW(&bad));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  os.versionQueryFails = true;
  plat::machine::SetOsProfile(os);
  EXPECT_FALSE(GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&ex)));
}

TEST_F(Machine, NativeSystemInfoFoundByNameOnlyWhenTheSystemHasIt) {
  using Fn = void (*)(LPSYSTEM_INFO);
  plat::machine::OsProfile os;
  os.processArchitecture = PROCESSOR_ARCHITECTURE_INTEL;  // 32-bit process on a 64-bit system
  plat::machine::SetOsProfile(os);
  SYSTEM_INFO si{};
  GetSystemInfo(&si);
  EXPECT_EQ(si.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_INTEL);
  auto native = reinterpret_cast<Fn>(plat::machine::SystemProcAddress("KERNEL32.DLL", "GetNativeSystemInfo"));
  ASSERT_NE(native, nullptr);
  native(&si);
  EXPECT_EQ(si.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_AMD64);
  EXPECT_EQ(si.dwNumberOfProcessors, 2u);
  EXPECT_EQ(plat::machine::SystemProcAddress("kernel32", "NoSuchExport"), nullptr);
  EXPECT_EQ(plat::machine::SystemProcAddress("user32.dll", "GetNativeSystemInfo"), nullptr);

  os.hasNativeSystemInfo = false;
  plat::machine::SetOsProfile(os);
  EXPECT_EQ(plat::machine::SystemProcAddress("kernel32.dll", "GetNativeSystemInfo"), nullptr);
  EXPECT_NE(plat::machine::SystemProcAddress("kernel32.dll", "GetSystemInfo"), nullptr);
}

bool Same(const SYSTEMTIME& t, int y, int mo, int d, int dow, int h, int mi, int s, int ms) {
  return t.wYear == y && t.wMonth == mo && t.wDay == d && t.wDayOfWeek == dow && t.wHour == h && t.wMinute == mi &&
         t.wSecond == s && t.wMilliseconds == ms;
}

TEST_F(Machine, ClockCanBeSetFrozenAndScaled) {
  plat::machine::FreezeClock(true);
  plat::machine::SetSleepScale(0);
  plat::machine::SetLocalTime(SYSTEMTIME{2026, 3, 0, 1, 23, 59, 59, 500}, 60);
  SYSTEMTIME t{};
  GetLocalTime(&t);
  EXPECT_TRUE(Same(t, 2026, 3, 1, 0, 23, 59, 59, 500));  // a Sunday
  GetSystemTime(&t);
  EXPECT_TRUE(Same(t, 2026, 3, 1, 0, 22, 59, 59, 500));

  const DWORD ticks = GetTickCount();
  const auto start = std::chrono::steady_clock::now();
  Sleep(500);
  Sleep(500);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  EXPECT_EQ(GetTickCount() - ticks, 1000u);
  GetLocalTime(&t);
  EXPECT_TRUE(Same(t, 2026, 3, 2, 1, 0, 0, 0, 500));

  plat::machine::SetLocalTime(SYSTEMTIME{2024, 2, 0, 28, 23, 30, 0, 0});
  plat::machine::Advance(3600 * 1000);
  GetLocalTime(&t);
  EXPECT_TRUE(Same(t, 2024, 2, 29, 4, 0, 30, 0, 0));
}

TEST_F(Machine, ScaledSleepAdvancesTheClockByTheWholeTime) {
  plat::machine::SetSleepScale(0.01);
  const DWORD ticks = GetTickCount();
  const auto start = std::chrono::steady_clock::now();
  Sleep(2000);
  const auto real = std::chrono::steady_clock::now() - start;
  EXPECT_GE(real, std::chrono::milliseconds(15));
  EXPECT_LT(real, std::chrono::milliseconds(1000));
  EXPECT_GE(GetTickCount() - ticks, 2000u);
  EXPECT_LT(GetTickCount() - ticks, 2900u);
}
}  // namespace
