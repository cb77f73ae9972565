#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {
class Files : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "C" / "work");
    plat::machine::Reset();
    plat::files::ClearWriteFaults();
    handlesBefore_ = plat::LiveHandleCount(plat::HandleKind::File);
  }
  void TearDown() override {
    plat::files::ClearWriteFaults();
    EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::File), handlesBefore_);
    // Every lock file goes with the last handle of its file.
    if (fs::exists(root_ / ".locks")) {
      EXPECT_TRUE(fs::is_empty(root_ / ".locks"));
    }
  }
  std::string Host(const std::string& rel) const { return (root_ / rel).string(); }
  static void Put(const std::string& host, const std::string& bytes) { std::ofstream(host, std::ios::binary) << bytes; }
  static std::string Get(const std::string& host) {
    std::ifstream in(host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static HANDLE Open(LPCWSTR path, DWORD access, DWORD share, DWORD disposition, DWORD flags = 0) {
    return CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
  }
  testsupport::MachineRoot machine_{"plat-files"};
  const fs::path root_ = machine_.path();
  std::size_t handlesBefore_ = 0;
};

constexpr DWORD RW = GENERIC_READ | GENERIC_WRITE;
constexpr DWORD ShareRW = FILE_SHARE_READ | FILE_SHARE_WRITE;

struct DispositionCase {
  DWORD disposition;
  bool exists;
  bool opens;
  DWORD error;
  std::size_t sizeAfter;
};

TEST_F(Files, DispositionsAndTheirErrors) {
  const DispositionCase cases[] = {
      {CREATE_NEW, false, true, 0, 0},         {CREATE_NEW, true, false, ERROR_FILE_EXISTS, 3},
      {CREATE_ALWAYS, false, true, 0, 0},      {CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 0},
      {OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0}, {OPEN_EXISTING, true, true, 0, 3},
      {OPEN_ALWAYS, false, true, 0, 0},        {OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS, 3},
      {TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND, 0}, {TRUNCATE_EXISTING, true, true, 0, 0},
  };
  for (const auto& c : cases) {
    const std::string host = Host("C/work/f.bin");
    fs::remove(host);
    if (c.exists) Put(host, "old");
    SetLastError(12345);
    HANDLE h = Open(u"C:\\work\\f.bin", RW, 0, c.disposition);
    const std::string what = "disposition " + std::to_string(c.disposition) + (c.exists ? " existing" : " missing");
    EXPECT_EQ(h != INVALID_HANDLE_VALUE, c.opens) << what;
    EXPECT_EQ(GetLastError(), c.error) << what;
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    EXPECT_EQ(fs::exists(host), c.exists || c.opens) << what;
    if (fs::exists(host)) {
      EXPECT_EQ(fs::file_size(host), c.sizeAfter) << what;
    }
  }
  SetLastError(0);
  EXPECT_EQ(Open(u"C:\\nowhere\\f.bin", RW, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(Open(u"C:\\nowhere\\f.bin", RW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(Open(u"Q:\\f.bin", RW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, NamesMatchWithoutCase) {
  fs::create_directories(Host("C/Dir"));
  Put(Host("C/Dir/File.txt"), "content");
  HANDLE h = Open(u"c:\\DIR\\file.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  char buf[16];
  DWORD got = 0;
  ASSERT_TRUE(ReadFile(h, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(std::string(buf, got), "content");
  CloseHandle(h);
  SetLastError(0);
  EXPECT_EQ(Open(u"C:\\dir\\FILE.TXT", RW, 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  // New names keep the caller's case.
  h = Open(u"C:\\dir\\NewName.Bin", RW, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_TRUE(fs::exists(Host("C/Dir/NewName.Bin")));
}

TEST_F(Files, ReadWriteSeekAndTruncate) {
  HANDLE h = Open(u"C:\\work\\data.bin", RW, 0, CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(h, "hello world", 11, &done, nullptr));
  EXPECT_EQ(done, 11u);
  EXPECT_EQ(GetFileSize(h, nullptr), 11u);
  EXPECT_EQ(SetFilePointer(h, 6, nullptr, FILE_BEGIN), 6u);
  char buf[16] = {};
  ASSERT_TRUE(ReadFile(h, buf, 16, &done, nullptr));
  EXPECT_EQ(std::string(buf, done), "world");
  ASSERT_TRUE(ReadFile(h, buf, 16, &done, nullptr));  // end of file: success, nothing read
  EXPECT_EQ(done, 0u);
  EXPECT_EQ(SetFilePointer(h, -5, nullptr, FILE_END), 6u);
  EXPECT_EQ(SetFilePointer(h, -1, nullptr, FILE_CURRENT), 5u);
  SetLastError(0);
  EXPECT_EQ(SetFilePointer(h, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  LONG high = 0;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  ASSERT_TRUE(SetEndOfFile(h));
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  EXPECT_TRUE(FlushFileBuffers(h));
  CloseHandle(h);
  EXPECT_EQ(Get(Host("C/work/data.bin")), "hello");

  h = Open(u"C:\\work\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  SetLastError(0);
  EXPECT_FALSE(WriteFile(h, "x", 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
  h = Open(u"C:\\work\\data.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
  SetLastError(0);
  EXPECT_FALSE(ReadFile(h, buf, 1, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(CloseHandle(h));
  SetLastError(0);
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Sizes beyond 4 GB and times beyond 2038 reach the caller whole, in 32-bit
// builds as in 64-bit ones (the host's file calls take 64-bit offsets and times).
TEST_F(Files, LargeFilesAndDistantTimes) {
  constexpr std::uint64_t kSize = (std::uint64_t{5} << 30) + 3;  // 5 GiB and 3 bytes, sparse
  {
    std::ofstream out(Host("C/work/big.bin"), std::ios::binary);
    out.seekp(static_cast<std::streamoff>(kSize - 1));
    out.put('z');
    ASSERT_TRUE(out.good());
  }
  HANDLE h = Open(u"C:\\work\\big.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << GetLastError();
  DWORD high = 0;
  EXPECT_EQ(GetFileSize(h, &high), static_cast<DWORD>(kSize));
  EXPECT_EQ(high, 1u);
  LONG seekHigh = 1;
  EXPECT_EQ(SetFilePointer(h, static_cast<LONG>(static_cast<DWORD>(kSize - 1)), &seekHigh, FILE_BEGIN),
            static_cast<DWORD>(kSize - 1));
  EXPECT_EQ(seekHigh, 1);
  char last = 0;
  DWORD done = 0;
  EXPECT_TRUE(ReadFile(h, &last, 1, &done, nullptr));
  EXPECT_EQ(std::string(&last, done), "z");
  CloseHandle(h);

  Put(Host("C/work/late.txt"), "1234");
  ASSERT_EQ(std::system(("touch -d '2100-01-01 00:00:00 UTC' '" + Host("C/work/late.txt") + "'").c_str()), 0);
  constexpr std::uint64_t k2100 = (4'102'444'800ull + 11'644'473'600ull) * 10'000'000ull;
  struct Case {
    const char16_t* pattern;
    std::uint64_t size;
    std::uint64_t writeTime;  // 0: not checked
  } cases[] = {{u"C:\\work\\big.bin", kSize, 0}, {u"C:\\work\\late.txt", 4, k2100}};
  for (const Case& c : cases) {
    EXPECT_NE(GetFileAttributesW(c.pattern), INVALID_FILE_ATTRIBUTES) << plat::utf8(c.pattern);
    WIN32_FIND_DATAW d;
    HANDLE find = FindFirstFileW(c.pattern, &d);
    ASSERT_NE(find, INVALID_HANDLE_VALUE) << plat::utf8(c.pattern);
    EXPECT_EQ((std::uint64_t{d.nFileSizeHigh} << 32) | d.nFileSizeLow, c.size);
    if (c.writeTime) {
      EXPECT_EQ((std::uint64_t{d.ftLastWriteTime.dwHighDateTime} << 32) | d.ftLastWriteTime.dwLowDateTime, c.writeTime);
    }
    FindClose(find);
  }
  std::size_t listed = 0;
  WIN32_FIND_DATAW d;
  HANDLE find = FindFirstFileW(u"C:\\work\\*", &d);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do {
    const std::u16string_view name(d.cFileName);
    if (name == u"big.bin" || name == u"late.txt") ++listed;
  } while (FindNextFileW(find, &d));
  FindClose(find);
  EXPECT_EQ(listed, 2u) << "a listing leaves out neither file";
}

struct ShareCase {
  DWORD access1, share1, access2, share2;
  bool secondOpens;
};

TEST_F(Files, ShareModesWithinTheProcess) {
  Put(Host("C/work/s.bin"), "x");
  const ShareCase cases[] = {
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, FILE_SHARE_READ, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_WRITE, ShareRW, false},  // first does not share writing
      {GENERIC_WRITE, ShareRW, GENERIC_READ, FILE_SHARE_READ, false},  // second would deny the first's writing
      {RW, 0, GENERIC_READ, ShareRW, false},
      {RW, 0, 0, 0, true},                                              // no data access: no check
      {0, 0, RW, 0, true},
      {GENERIC_READ, ShareRW, GENERIC_WRITE, ShareRW, true},
      {RW, ShareRW, RW, ShareRW, true},
      {GENERIC_READ, FILE_SHARE_READ, GENERIC_READ, ShareRW, true},
  };
  for (const auto& c : cases) {
    const std::string what = "first " + std::to_string(c.access1 >> 30) + "/" + std::to_string(c.share1) + " second " +
                             std::to_string(c.access2 >> 30) + "/" + std::to_string(c.share2);
    HANDLE a = Open(u"C:\\work\\s.bin", c.access1, c.share1, OPEN_EXISTING);
    ASSERT_NE(a, INVALID_HANDLE_VALUE) << what;
    SetLastError(0);
    HANDLE b = Open(u"C:\\WORK\\S.BIN", c.access2, c.share2, OPEN_EXISTING);
    EXPECT_EQ(b != INVALID_HANDLE_VALUE, c.secondOpens) << what;
    if (b == INVALID_HANDLE_VALUE) {
      EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION) << what;
    } else {
      CloseHandle(b);
    }
    CloseHandle(a);
    // Once the first is closed the second always opens.
    b = Open(u"C:\\work\\s.bin", c.access2, c.share2, OPEN_EXISTING);
    EXPECT_NE(b, INVALID_HANDLE_VALUE) << what;
    CloseHandle(b);
  }
}

TEST_F(Files, DeleteHonoursShareDelete) {
  Put(Host("C/work/d.bin"), "x");
  HANDLE h = Open(u"C:\\work\\d.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(u"C:\\work\\d.bin"));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  h = Open(u"C:\\work\\d.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  EXPECT_TRUE(DeleteFileW(u"C:\\work\\d.bin"));
  CloseHandle(h);
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(u"C:\\work\\d.bin"));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// Runs fn in a child process and returns its exit code.
template <typename Fn>
int InChild(Fn fn) {
  const pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

TEST_F(Files, ShareModesHoldAcrossProcesses) {
  Put(Host("C/work/NEVOJOB"), std::string(512, '\0'));
  HANDLE h = Open(u"C:\\work\\NEVOJOB", RW, 0, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(InChild([] {
              HANDLE c = CreateFileW(u"C:\\work\\nevojob", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
              return c == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION ? 0 : 1;
            }),
            0);
  CloseHandle(h);
  EXPECT_EQ(InChild([] {
              HANDLE c = CreateFileW(u"C:\\work\\NEVOJOB", RW, 0, nullptr, OPEN_EXISTING, 0, nullptr);
              return c != INVALID_HANDLE_VALUE && CloseHandle(c) ? 0 : 1;
            }),
            0);
}

// Each round opens the counter without sharing, reads it and writes it back
// plus one; only exclusive opens keep every increment.
int BumpCounter(int rounds) {
  for (int i = 0; i < rounds; ++i) {
    HANDLE h;
    while ((h = CreateFileW(u"C:\\work\\counter", RW, 0, nullptr, OPEN_EXISTING, 0, nullptr)) == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_SHARING_VIOLATION) return 2;
      usleep(50);
    }
    unsigned char b[4];
    DWORD done = 0;
    if (!ReadFile(h, b, 4, &done, nullptr) || done != 4) return 3;
    const std::uint32_t v = (b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24)) + 1;
    for (int k = 0; k < 4; ++k) b[k] = static_cast<unsigned char>(v >> (8 * k));
    SetFilePointer(h, 0, nullptr, FILE_BEGIN);
    if (!WriteFile(h, b, 4, &done, nullptr) || done != 4) return 4;
    CloseHandle(h);
  }
  return 0;
}

TEST_F(Files, TwoProcessesRacingForACounterNeverLoseAnIncrement) {
  Put(Host("C/work/counter"), std::string(4, '\0'));
  const pid_t pid = fork();
  if (pid == 0) _exit(BumpCounter(300));
  EXPECT_EQ(BumpCounter(300), 0);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  const std::string bytes = Get(Host("C/work/counter"));
  ASSERT_EQ(bytes.size(), 4u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]) | (static_cast<unsigned char>(bytes[1]) << 8), 600);
}

TEST_F(Files, AttributesHiddenAndReadOnly) {
  HANDLE h = Open(u"C:\\work\\hidden.bin", RW, 0, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesW(u"C:\\work\\hidden.bin"), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  // Replacing a hidden file must ask for a hidden file.
  SetLastError(0);
  EXPECT_EQ(Open(u"C:\\work\\hidden.bin", RW, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  h = Open(u"C:\\work\\hidden.bin", RW, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  Put(Host("C/work/ro.bin"), "keep");
  EXPECT_EQ(GetFileAttributesW(u"C:\\work\\ro.bin"), FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\ro.bin", FILE_ATTRIBUTE_READONLY));
  for (DWORD disposition : {OPEN_EXISTING, CREATE_ALWAYS, TRUNCATE_EXISTING}) {
    SetLastError(0);
    EXPECT_EQ(Open(u"C:\\work\\ro.bin", GENERIC_WRITE, 0, disposition), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  }
  SetLastError(0);
  EXPECT_FALSE(DeleteFileW(u"C:\\work\\ro.bin"));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  h = Open(u"C:\\work\\ro.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(Get(Host("C/work/ro.bin")), "keep");
  // Kept with the file: another process sees them too.
  EXPECT_EQ(InChild([] { return GetFileAttributesW(u"C:\\work\\RO.bin") == FILE_ATTRIBUTE_READONLY ? 0 : 1; }), 0);
  ASSERT_TRUE(SetFileAttributesW(u"C:\\work\\ro.bin", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesW(u"C:\\work\\ro.bin"), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(DeleteFileW(u"C:\\work\\ro.bin"));

  SetLastError(0);
  EXPECT_EQ(GetFileAttributesW(u"C:\\work\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(GetFileAttributesW(u"C:\\none\\none"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Files, Folders) {
  ASSERT_TRUE(CreateDirectoryW(u"E:\\OSTRA", nullptr) || GetLastError() == ERROR_PATH_NOT_FOUND);
  plat::machine::AddDrive({u'E', DRIVE_REMOVABLE, u"FAT32", u"", 0});
  ASSERT_TRUE(CreateDirectoryW(u"E:\\OSTRA", nullptr));
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(u"e:\\ostra", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(u"E:\\OSTRA\\USB\\X_TMP", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);

  ASSERT_TRUE(SetFileAttributesW(u"E:\\OSTRA", GetFileAttributesW(u"E:\\OSTRA") | FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(CreateDirectoryExW(u"E:\\OSTRA", u"E:\\OSTRA\\USB", nullptr));
  EXPECT_EQ(GetFileAttributesW(u"E:\\OSTRA\\USB"), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);

  // A folder opens only as a folder; an open without access shares with all.
  SetLastError(0);
  EXPECT_EQ(Open(u"E:\\OSTRA\\USB", 0, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  HANDLE a = Open(u"E:\\OSTRA\\USB", 0, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  HANDLE b = Open(u"E:\\ostra\\usb", 0, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  CloseHandle(a);
  CloseHandle(b);

  HANDLE f = Open(u"E:\\OSTRA\\USB\\file", RW, 0, CREATE_NEW);
  CloseHandle(f);
  SetLastError(0);
  EXPECT_FALSE(RemoveDirectoryW(u"E:\\OSTRA\\USB"));
  EXPECT_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  EXPECT_TRUE(DeleteFileW(u"E:\\OSTRA\\USB\\file"));
  EXPECT_TRUE(RemoveDirectoryW(u"E:\\OSTRA\\USB"));
}

TEST_F(Files, InjectedWriteFaults) {
  HANDLE job = Open(u"C:\\work\\NEVOJOB", RW, 0, CREATE_NEW);
  HANDLE other = Open(u"C:\\work\\other", RW, 0, CREATE_NEW);
  plat::files::InjectWriteFault({2, u"nevojob", ERROR_DISK_FULL, -1});
  EXPECT_EQ(plat::files::PendingWriteFaults(), 2u);
  const std::string block(512, 'z');
  DWORD done = 99;
  EXPECT_TRUE(WriteFile(other, block.data(), 512, &done, nullptr));
  EXPECT_EQ(done, 512u);
  for (int i = 0; i < 2; ++i) {
    SetLastError(0);
    EXPECT_FALSE(WriteFile(job, block.data(), 512, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(done, 0u);
  }
  EXPECT_EQ(plat::files::PendingWriteFaults(), 0u);
  EXPECT_TRUE(WriteFile(job, block.data(), 512, &done, nullptr));

  plat::files::InjectWriteFault({1, u"", 0, 100});
  EXPECT_TRUE(WriteFile(job, block.data(), 512, &done, nullptr));
  EXPECT_EQ(done, 100u);
  EXPECT_EQ(GetFileSize(job, nullptr), 612u);
  CloseHandle(job);
  CloseHandle(other);
}

// A real full drive: the host's ENOSPC is the platform's ERROR_DISK_FULL.
TEST_F(Files, AFullHostDeviceIsDiskFull) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  fs::create_symlink("/dev/full", root_ / "C" / "work" / "full.bin");
  HANDLE full = Open(u"C:\\work\\full.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
  ASSERT_NE(full, INVALID_HANDLE_VALUE);
  const std::string block(512, 'z');
  DWORD done = 99;
  SetLastError(0);
  EXPECT_FALSE(WriteFile(full, block.data(), 512, &done, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
  EXPECT_EQ(done, 0u);
  CloseHandle(full);
}

TEST_F(Files, FindFilesWithWildcards) {
  for (const char* name : {"a.txt", "B.TXT", "c.dat", "README"}) Put(Host("C/work/") + name, "1234");
  fs::create_directories(Host("C/work/Sub"));
  auto list = [](LPCWSTR pattern) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW(pattern, &d);
    if (h == INVALID_HANDLE_VALUE) return names;
    do names.emplace_back(d.cFileName);
    while (FindNextFileW(h, &d));
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindClose(h));
    return names;
  };
  EXPECT_EQ(list(u"C:\\work\\*.txt"), (std::vector<std::u16string>{u"a.txt", u"B.TXT"}));
  EXPECT_EQ(list(u"c:\\WORK\\*"),
            (std::vector<std::u16string>{u".", u"..", u"a.txt", u"B.TXT", u"c.dat", u"README", u"Sub"}));
  EXPECT_EQ(list(u"C:\\work\\*.*").size(), 7u);
  EXPECT_EQ(list(u"C:\\work\\?.dat"), (std::vector<std::u16string>{u"c.dat"}));
  EXPECT_EQ(list(u"C:\\work\\readme"), (std::vector<std::u16string>{u"README"}));

  WIN32_FIND_DATAW d;
  HANDLE h = FindFirstFileW(u"C:\\work\\c.dat", &d);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(d.nFileSizeLow, 4u);
  EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_ARCHIVE);
  FindClose(h);
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(u"C:\\work\\*.none", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(FindFirstFileW(u"C:\\missing\\*", &d), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}
}  // namespace
