#include "render/job_files.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/usb_job_folders.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/registry.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "support/host_files.h"
#include "support/temp_folder.h"
#include "support/render_pdev.h"
#include "support/run_command.h"
#include "support/test_printer.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
using testsupport::CounterBytes;

using plat::machine::Drive;

constexpr char16_t kPrinter[] = u"Nevo 2600";
constexpr char16_t kFailedKey[] = u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\Nevo 2600\\";

std::string Narrow(const std::u16string& s) { return plat::utf8(s); }

using testsupport::PdevPtr;

class JobFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::Reset();
    plat::machine::SetDrives({{u'C', DRIVE_FIXED, u"NTFS", u"SYSTEM"},
                              {u'E', DRIVE_REMOVABLE, u"FAT32", u"STICK"},
                              {u'G', DRIVE_REMOVABLE, u"FAT", u"OLD"}});
    plat::machine::FreezeClock(true);
    plat::machine::SetSleepScale(0);
    plat::files::ClearWriteFaults();
    plat::registry::Reset();
    plat::ui::ResetMessageBoxes();
    plat::spooler::Reset();
    plat::spooler::PrinterSetup setup;
    setup.name = kPrinter;
    setup.port = u"USB001";
    setup.driver.name = u"NEVO Test Driver";
    // The drivers' resource library, where the printer interface looks for it.
    const std::u16string resources = u"C:\\WINDOWS\\NEVORES.DLL";
    fs::create_directories(fs::path(Host(resources)).parent_path());
    fs::copy_file(TEST_DATA_DIR_STR "/jobfiles/messages.res", Host(resources));
    setup.driver.dependentFiles = {resources};
    ASSERT_TRUE(testPrinter_.Add(setup));
    printer_ = testPrinter_.handle();
  }
  void TearDown() override {
    testPrinter_.Close();
    EXPECT_EQ(plat::files::PendingWriteFaults(), 0u);
    plat::files::ClearWriteFaults();
    EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::File), 0u);
    plat::machine::FreezeClock(false);
  }

  PdevPtr MakePdev(BYTE outputMode, const char16_t* drive = u"", BYTE folder = 0, DWORD jobId = 7) {
    PdevPtr pdev(new RenderPdev{});
    pdev->headSignature = pdev->tailSignature = kPdevSignature;
    pdev->printer = printer_;
    pdev->jobFile = INVALID_HANDLE_VALUE;
    pdev->outputMode = static_cast<OutputMode>(outputMode);
    pdev->storageFolder = folder;
    std::copy_n(drive, std::char_traits<char16_t>::length(drive), pdev->storageDrive);
    pdev->jobId = jobId;
    pdev->languageNumber = 1;
    return pdev;
  }

  static std::string Host(std::u16string_view path) { return plat::machine::HostPath(path); }
  static std::string CounterHost(const char16_t* root) { return Host(JobTreeControlFolder(root) + u"\\NEVOJOB"); }

  // The failed-job records of the printer: value name -> path.
  std::vector<std::pair<std::u16string, std::u16string>> FailedRecords() {
    std::vector<std::pair<std::u16string, std::u16string>> records;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFailedKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return records;
    for (DWORD i = 0;; ++i) {
      WCHAR name[64];
      DWORD nameChars = 64;
      BYTE data[1024];
      DWORD size = sizeof data;
      DWORD type = 0;
      if (RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data, &size) != ERROR_SUCCESS) break;
      EXPECT_EQ(type, REG_SZ);
      EXPECT_GE(size, 2u);
      EXPECT_EQ(size % 2, 0u);
      std::u16string path(reinterpret_cast<const char16_t*>(data), size / 2);
      EXPECT_EQ(path.back(), u'\0') << "stored with its terminator";
      path.pop_back();
      records.emplace_back(name, path);
    }
    RegCloseKey(key);
    return records;
  }

  testsupport::MachineRoot machine_{"jobfiles"};
  const std::string root_ = machine_.str();
  testsupport::TestPrinter testPrinter_;
  HANDLE printer_ = nullptr;
};

TEST_F(JobFiles, TheCounterIsTakenAdvancedAndRepaired) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  auto tail = CounterBytes(7);
  tail[100] = 0x55;  // junk behind the number is dropped by the rewrite
  struct Case {
    const char* what;
    std::vector<BYTE> before;
    int result;
    DWORD number;
    std::vector<BYTE> after;
  };
  const Case cases[] = {
      {"41", CounterBytes(41), 1, 41, CounterBytes(42)},
      {"junk tail", tail, 1, 7, CounterBytes(8)},
      {"second to last", CounterBytes(999999998), 1, 999999998, CounterBytes(999999999)},
      {"last is never advanced", CounterBytes(999999999), 1, 999999999, CounterBytes(999999999)},
      {"zero", CounterBytes(0), 0, 0, CounterBytes(1)},
      {"above the last", CounterBytes(1000000000), 0, 0, CounterBytes(1)},
      {"all bits", CounterBytes(0xFFFFFFFF), 0, 0, CounterBytes(1)},
      {"511 bytes", CounterBytes(5, 511), 0, 0, CounterBytes(1)},
      {"513 bytes", CounterBytes(5, 513), 0, 0, CounterBytes(1)},
      {"empty", {}, 0, 0, CounterBytes(1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteHostFile(CounterHost(u"E:\\"), c.before);
    DWORD number = 0;
    EXPECT_EQ(NextStorageJobNumber(JobTreeControlFolder(u"E:\\").c_str(), &number), c.result);
    if (c.result) {
      EXPECT_EQ(number, c.number);
    }
    EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), c.after);
  }
  fs::remove(CounterHost(u"E:\\"));
  DWORD number = 0;
  EXPECT_EQ(NextStorageJobNumber(JobTreeControlFolder(u"E:\\").c_str(), &number), 0);
}

TEST_F(JobFiles, ARepairedCounterGivesNumberOneOnTheNextAttempt) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  WriteHostFile(CounterHost(u"E:\\"), CounterBytes(9, 511));
  const DWORD start = GetTickCount();
  DWORD number = 0;
  EXPECT_EQ(ReadJobCounterWithRetry(JobTreeControlFolder(u"E:\\").c_str(), &number), 1);
  EXPECT_EQ(number, 1u);
  EXPECT_EQ(GetTickCount() - start, 500u);  // one failed attempt, one pause
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(2));
}

TEST_F(JobFiles, ACounterHeldByAnotherWriterIsTriedFiveTimesThenGivesNoFile) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  const std::u16string counter = JobTreeControlFolder(u"E:\\") + u"\\NEVOJOB";
  HANDLE held = CreateFileW(counter.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const DWORD start = GetTickCount();
  DWORD number = 0;
  EXPECT_EQ(ReadJobCounterWithRetry(JobTreeControlFolder(u"E:\\").c_str(), &number), 0);
  EXPECT_EQ(GetTickCount() - start, 4u * 500u);  // five attempts, 500 ms apart

  auto pdev = MakePdev(3, u"E:\\", 1);
  EXPECT_EQ(CreateStorageJobFile(pdev.get()), 0);
  EXPECT_EQ(pdev->jobFilePath[0], 0);
  CloseHandle(held);
  EXPECT_EQ(ReadHostFile(Host(counter)), CounterBytes(1));
}

TEST_F(JobFiles, StorageJobsSkipNumbersWhoseFilesExist) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  WriteHostFile(CounterHost(u"E:\\"), CounterBytes(41));
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\1_FOLDER") + "/JOB000000041.PRN", {'o', 'l', 'd'});
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\1_FOLDER") + "/JOB000000042.PRN", {'o', 'l', 'd'});
  auto pdev = MakePdev(3, u"E:\\", 1);
  ASSERT_EQ(CreateStorageJobFile(pdev.get()), 1);
  EXPECT_EQ(std::u16string(pdev->jobFilePath), u"E:\\OSTRA\\USB\\1_FOLDER\\JOB000000043.PRN");
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(44));
  EXPECT_TRUE(ReadHostFile(Host(pdev->jobFilePath)).empty());
  EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\1_FOLDER") + "/JOB000000041.PRN").size(), 3u);
  // A record that already has its file keeps it: a second call changes nothing.
  EXPECT_EQ(CreateStorageJobFile(pdev.get()), 1);
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(44));
  EXPECT_FALSE(pdev->jobFailed);
}

// Another job creates the file between the existence test and the creation:
// the creation finds it taken and moves on to the next number. (A dangling
// link on the host is a name that the test does not see but the creation does.)
TEST_F(JobFiles, ANumberTakenBetweenTestAndCreationMovesOn) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  WriteHostFile(CounterHost(u"E:\\"), CounterBytes(5));
  fs::create_symlink(root_ + "/nowhere", Host(u"E:\\OSTRA\\USB\\1_FOLDER") + "/JOB000000005.PRN");
  auto pdev = MakePdev(3, u"E:\\", 1);
  ASSERT_EQ(CreateStorageJobFile(pdev.get()), 1);
  EXPECT_EQ(std::u16string(pdev->jobFilePath), u"E:\\OSTRA\\USB\\1_FOLDER\\JOB000000006.PRN");
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(7));
  EXPECT_FALSE(pdev->jobFailed);
  EXPECT_TRUE(FailedRecords().empty());
}

TEST_F(JobFiles, TheLastJobNumberIsUsedOnce) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  WriteHostFile(CounterHost(u"E:\\"), CounterBytes(999999999));
  auto first = MakePdev(4, u"E:\\");
  ASSERT_EQ(CreateStorageJobFile(first.get()), 1);
  EXPECT_EQ(std::u16string(first->jobFilePath), u"E:\\OSTRA\\USB\\X_AUTO\\JOB999999999.PRN");
  auto second = MakePdev(4, u"E:\\");
  EXPECT_EQ(CreateStorageJobFile(second.get()), 0);
  EXPECT_EQ(second->jobFilePath[0], 0);
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(999999999));
}

TEST_F(JobFiles, TheFolderFollowsTheOutputModeAndTheConfiguredDrive) {
  ASSERT_EQ(CreateJobFolderTree(u"G:\\"), 1);  // E: has no tree
  struct Case {
    BYTE mode;
    const char16_t* drive;
    BYTE folder;
    const char16_t* expected;  // null: no file
  };
  const Case cases[] = {
      {3, u"G:\\", 5, u"G:\\OSTRA\\USB\\5_FOLDER\\JOB000000001.PRN"},
      {4, u"G:\\", 0, u"G:\\OSTRA\\USB\\X_AUTO\\JOB000000002.PRN"},
      {3, u"", 2, u"G:\\OSTRA\\USB\\1_FOLDER\\JOB000000003.PRN"},      // found by search
      {3, u"G:\\", 7, u"G:\\OSTRA\\USB\\1_FOLDER\\JOB000000004.PRN"},  // no valid folder: search
      {4, u"", 0, u"G:\\OSTRA\\USB\\X_AUTO\\JOB000000005.PRN"},
      {3, u"E:\\", 1, nullptr},  // the configured drive has no tree
      {4, u"E:\\", 0, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.mode) + " " + Narrow(c.drive) + " " + std::to_string(c.folder));
    auto pdev = MakePdev(c.mode, c.drive, c.folder);
    EXPECT_EQ(CreateStorageJobFile(pdev.get()), c.expected ? 1 : 0);
    EXPECT_EQ(std::u16string(pdev->jobFilePath), c.expected ? c.expected : u"");
    if (c.expected) {
      EXPECT_TRUE(fs::exists(Host(c.expected)));
    }
    EXPECT_FALSE(pdev->jobFailed);
  }
  // No drive with a tree at all.
  fs::remove_all(Host(u"G:\\OSTRA"));
  auto pdev = MakePdev(3, u"", 1);
  EXPECT_EQ(CreateStorageJobFile(pdev.get()), 0);
  std::u16string list;
  EXPECT_EQ(FindRemovableFatDrives(&list), 2);
  EXPECT_EQ(list, u"E:\\,G:\\");
}

TEST_F(JobFiles, AJobFileThatCannotBeCreatedFailsTheJobAndIsRecorded) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  // "1_FOLDER" is a file: the tree check opens it, but nothing can be created in it.
  fs::remove_all(Host(u"E:\\OSTRA\\USB\\1_FOLDER"));
  WriteHostFile(Host(u"E:\\OSTRA\\USB") + "/1_FOLDER", {'x'});
  ASSERT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 1);
  auto pdev = MakePdev(3, u"E:\\", 1, 31);
  EXPECT_EQ(CreateStorageJobFile(pdev.get()), 0);
  EXPECT_EQ(pdev->jobFilePath[0], 0);
  EXPECT_NE(pdev->jobFailed, 0u) << "the job keeps the creation's error";
  const auto records = FailedRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].first, u"31");
  EXPECT_EQ(records[0].second, u"E:\\OSTRA\\USB\\1_FOLDER\\JOB000000001.PRN");
  // The failed job writes nothing and is not recorded again.
  EXPECT_EQ(ReopenJobFileAtEnd(pdev.get()), 0);
  EXPECT_EQ(CloseSpoolFile(pdev.get(), TRUE), 0);
  EXPECT_EQ(FailedRecords().size(), 1u);
}

TEST_F(JobFiles, PreviewFileIsNamedAfterTheJobAndStartsEmpty) {
  struct Case {
    DWORD jobId;
    const char16_t* expected;
  };
  const Case cases[] = {{7, u"C:\\TEMP\\\\RV0007.PRN"}, {12345, u"C:\\TEMP\\\\RV12345.PRN"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.jobId);
    fs::create_directories(Host(u"C:\\TEMP"));
    WriteHostFile(Host(u"C:\\TEMP") + "/" + Narrow(std::u16string(c.expected).substr(10)), {'o', 'l', 'd'});
    auto pdev = MakePdev(0, u"", 0, c.jobId);
    pdev->preview = 1;
    EXPECT_EQ(CreateSpoolTempFile(pdev.get()), 1);
    EXPECT_EQ(std::u16string(pdev->jobFilePath), c.expected);
    EXPECT_TRUE(ReadHostFile(Host(c.expected)).empty());  // emptied for the new job
  }
}

TEST_F(JobFiles, APreviewFileHeldOpenElsewhereFailsTheJobInsteadOfAppending) {
  auto pdev = MakePdev(0, u"", 0, 7);
  pdev->preview = 1;
  ASSERT_EQ(CreateSpoolTempFile(pdev.get()), 1);
  HANDLE viewer =
      CreateFileW(pdev->jobFilePath, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(viewer, INVALID_HANDLE_VALUE);
  auto next = MakePdev(0, u"", 0, 7);
  next->preview = 1;
  EXPECT_EQ(CreateSpoolTempFile(next.get()), 0);
  EXPECT_EQ(next->jobFailed, DWORD{ERROR_SHARING_VIOLATION});
  CloseHandle(viewer);
  const auto records = FailedRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].second, u"C:\\TEMP\\\\RV0007.PRN");
}

TEST_F(JobFiles, SheetsAreAppendedAndShortWritesCarryOn) {
  auto pdev = MakePdev(0, u"", 0, 3);
  pdev->preview = 1;
  ASSERT_EQ(CreateSpoolTempFile(pdev.get()), 1);
  const std::string host = Host(pdev->jobFilePath);
  const BYTE first[] = {0x1E, 'R', 0x0C};
  ASSERT_EQ(ReopenJobFileAtEnd(pdev.get()), 1);
  EXPECT_EQ(WriteJobFile(pdev.get(), first, sizeof first), 1);
  EXPECT_EQ(CloseSpoolFile(pdev.get(), TRUE), 1);
  EXPECT_EQ(pdev->jobFile, INVALID_HANDLE_VALUE);

  std::vector<BYTE> second(5000);
  for (std::size_t i = 0; i < second.size(); ++i) second[i] = static_cast<BYTE>(i * 7);
  plat::files::WriteFault shortWrite;
  shortWrite.shortBytes = 1000;
  shortWrite.count = 2;
  plat::files::InjectWriteFault(shortWrite);
  ASSERT_EQ(ReopenJobFileAtEnd(pdev.get()), 1);
  EXPECT_EQ(WriteJobFile(pdev.get(), second.data(), static_cast<DWORD>(second.size())), 1);
  EXPECT_EQ(CloseSpoolFile(pdev.get(), TRUE), 1);

  std::vector<BYTE> expected(std::begin(first), std::end(first));
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(ReadHostFile(host), expected);
  EXPECT_FALSE(pdev->jobFailed);
  EXPECT_TRUE(FailedRecords().empty());
}

TEST_F(JobFiles, AWriteThatTakesNothingFailsTheJobOnce) {
  auto pdev = MakePdev(0, u"", 0, 3);
  pdev->preview = 1;
  ASSERT_EQ(CreateSpoolTempFile(pdev.get()), 1);
  plat::files::WriteFault none;
  none.shortBytes = 0;
  plat::files::InjectWriteFault(none);
  ASSERT_EQ(ReopenJobFileAtEnd(pdev.get()), 1);
  const BYTE data[] = {1, 2, 3};
  EXPECT_EQ(WriteJobFile(pdev.get(), data, sizeof data), 0);
  EXPECT_EQ(pdev->jobFile, INVALID_HANDLE_VALUE);
  EXPECT_EQ(WriteJobFile(pdev.get(), data, sizeof data), 0);
  EXPECT_EQ(FailedRecords().size(), 1u);
}

// The drive fills up in the middle of a storage job: the job fails, its file
// is closed and removed, one record names it, and the end-of-document event of the
// printer interface reports it once and deletes it.
TEST_F(JobFiles, ADriveThatFillsUpLeavesOneRecordThatIsReportedOnce) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  auto pdev = MakePdev(4, u"E:\\", 0, 12);
  ASSERT_EQ(CreateStorageJobFile(pdev.get()), 1);
  const std::u16string path(pdev->jobFilePath);
  std::vector<BYTE> block(8191, 0xAB);

  ASSERT_EQ(ReopenJobFileAtEnd(pdev.get()), 1);
  EXPECT_EQ(WriteJobFile(pdev.get(), block.data(), static_cast<DWORD>(block.size())), 1);
  plat::files::WriteFault full;
  full.pathContains = u"JOB000000001";
  full.error = ERROR_DISK_FULL;
  plat::files::InjectWriteFault(full);
  EXPECT_EQ(WriteJobFile(pdev.get(), block.data(), static_cast<DWORD>(block.size())), 0);
  EXPECT_EQ(pdev->jobFailed, DWORD{ERROR_DISK_FULL}) << "the job keeps the drive's error";
  EXPECT_EQ(pdev->jobFile, INVALID_HANDLE_VALUE);
  // Later sheets and the job end stop at once, without a second record.
  EXPECT_EQ(WriteJobFile(pdev.get(), block.data(), 10), 0);
  EXPECT_EQ(ReopenJobFileAtEnd(pdev.get()), 0);
  EXPECT_EQ(CloseSpoolFile(pdev.get(), TRUE), 0);
  EXPECT_EQ(CloseSpoolFile(pdev.get(), FALSE), 1);
  EXPECT_FALSE(std::filesystem::exists(Host(path))) << "no half job is left under its name";

  const auto records = FailedRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].first, u"12");
  EXPECT_EQ(records[0].second, u"E:\\OSTRA\\USB\\X_AUTO\\JOB000000001.PRN");

  HMODULE ui = LoadLibraryW(plat::u16(LIB_DIR_STR "/classicui.so").c_str());
  if (!ui) GTEST_SKIP() << "classicui not built";
  using DocumentEvent = INT(WINAPI*)(HANDLE, HANDLE, INT, ULONG, PVOID, ULONG, PVOID);
  auto documentEvent = reinterpret_cast<DocumentEvent>(GetProcAddress(ui, "DrvDocumentEvent"));
  ASSERT_NE(documentEvent, nullptr);
  constexpr INT kEndDoc = 8;
  EXPECT_EQ(documentEvent(printer_, nullptr, kEndDoc, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(documentEvent(printer_, nullptr, kEndDoc, 0, nullptr, 0, nullptr), 1);
  FreeLibrary(ui);
  const auto shown = plat::ui::MessageBoxLog();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, u"A job could not be written to its job file.");
  EXPECT_TRUE(FailedRecords().empty());
}

TEST_F(JobFiles, AJobWithoutAFileIsRecordedWithAnEmptyPathAndTheRecordIsVolatile) {
  auto pdev = MakePdev(3, u"", 1, 5);  // no drive holds a tree
  EXPECT_EQ(CreateStorageJobFile(pdev.get()), 0);
  EXPECT_EQ(ReopenJobFileAtEnd(pdev.get()), 0);
  EXPECT_EQ(ReopenJobFileAtEnd(pdev.get()), 0);
  const auto records = FailedRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].first, u"5");
  EXPECT_EQ(records[0].second, u"");
  // Records nobody reported disappear when the user logs off.
  plat::registry::UnloadUserHive();
  EXPECT_TRUE(FailedRecords().empty());
}

// Several processes take job numbers from one counter at the same time:
// every job gets its own number and its own file.
TEST_F(JobFiles, ProcessesRacingForTheCounterGetDistinctNumbers) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  plat::machine::SetSleepScale(0.2);  // 100 ms between attempts
  constexpr int kProcesses = 4;
  constexpr int kJobsEach = 8;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(fds[0]);
      for (int j = 0; j < kJobsEach; ++j) {
        auto pdev = MakePdev(3, u"E:\\", 2);
        DWORD number = 0;  // 0: no file
        if (CreateStorageJobFile(pdev.get()) == 1) {
          const std::u16string path(pdev->jobFilePath);  // ...\JOBnnnnnnnnn.PRN
          number = static_cast<DWORD>(std::stoul(Narrow(path.substr(path.size() - 13, 9))));
        }
        if (::write(fds[1], &number, sizeof number) != sizeof number) ::_exit(2);
      }
      ::_exit(0);
    }
    children.push_back(pid);
  }
  ::close(fds[1]);
  std::vector<DWORD> numbers;
  DWORD number = 0;
  while (::read(fds[0], &number, sizeof number) == sizeof number) numbers.push_back(number);
  ::close(fds[0]);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  ASSERT_EQ(numbers.size(), static_cast<std::size_t>(kProcesses * kJobsEach));
  const std::set<DWORD> distinct(numbers.begin(), numbers.end());
  EXPECT_EQ(distinct.size(), numbers.size()) << "two jobs got the same number";
  EXPECT_EQ(distinct.count(0), 0u) << "a job got no number";
  EXPECT_EQ(*distinct.rbegin(), static_cast<DWORD>(kProcesses * kJobsEach));
  EXPECT_EQ(ReadHostFile(CounterHost(u"E:\\")), CounterBytes(kProcesses * kJobsEach + 1));
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(Host(u"E:\\OSTRA\\USB\\2_FOLDER"))) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, numbers.size());
}

// Job names in the code page of the printer language, byte for byte as the
// system's iconv converts them.
std::vector<BYTE> Iconv(const std::string& utf8, UINT codePage) {
  const std::string command = "printf '%s' '" + utf8 + "' | iconv -f UTF-8 -t CP" + std::to_string(codePage);
  std::string out;
  testsupport::RunCommand(command, &out);
  return std::vector<BYTE>(out.begin(), out.end());
}

TEST(JobSink, OnlyPreviewOneAndTheStorageModesWriteAJobFile) {
  struct Case {
    BYTE preview;
    BYTE outputMode;
    JobOutput output;
  };
  const Case cases[] = {{0, 0, JobOutput::Spooler},     {1, 0, JobOutput::PreviewFile},
                        {2, 0, JobOutput::Spooler},     {255, 1, JobOutput::Spooler},
                        {0, 2, JobOutput::Spooler},     {0, 3, JobOutput::StorageFile},
                        {2, 4, JobOutput::StorageFile}, {1, 3, JobOutput::PreviewFile},
                        {0, 5, JobOutput::Spooler}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.preview) + " " + std::to_string(c.outputMode));
    EXPECT_EQ(JobOutputOf(c.preview, static_cast<OutputMode>(c.outputMode)), c.output);
  }
}

TEST(JobSink, StorageJobFileNames) {
  EXPECT_TRUE(IsStorageJobFileName(u"JOB000000001.PRN"));
  EXPECT_TRUE(IsStorageJobFileName(u"job999999999.prn"));
  EXPECT_FALSE(IsStorageJobFileName(u"JOB00000001.PRN"));
  EXPECT_FALSE(IsStorageJobFileName(u"JOB0000000x1.PRN"));
  EXPECT_FALSE(IsStorageJobFileName(u"RV0001.PRN"));
  EXPECT_FALSE(IsStorageJobFileName(u"JOB000000001.TXT"));
}

TEST(JobTexts, LanguageNumbersSelectTheirCodePage) {
  struct Case {
    int language;
    UINT codePage;
    const char* text;
  };
  const Case cases[] = {
      {1, 1252, "Caf\u00e9 cr\u00e8me"},
      {12, 1252, "Stra\u00dfe"},
      {13, 1250, "\u0141\u00f3d\u017a"},
      {14, 1254, "\u0130stanbul \u011f"},
      {15, 1251, "\u041c\u043e\u0441\u043a\u0432\u0430"},
      {16, 1253, "\u0391\u03b8\u03ae\u03bd\u03b1"},
      {17, 1252, "\u00c5r"},
      {18, 932, "\u6771\u4eac\u306e\u8cc7\u6599"},
      {19, 936, "\u5317\u4eac\u8d44\u6599"},
      {20, 950, "\u53f0\u5317\u8cc7\u6599"},
      {21, 949, "\uc11c\uc6b8 \uc790\ub8cc"},
      {22, 1256, "\u062a\u0642\u0631\u064a\u0631"},
      {23, 1256, "\u0645\u0644\u0641"},
      {24, 1255, "\u05d3\u05d5\u05d7"},
      {25, 874, "\u0e23\u0e32\u0e22\u0e07\u0e32\u0e19"},
      {26, 1252, "\u00e6\u00f8"},
      {27, 1250, "\u010d\u0159"},
      {29, 1250, "\u0151\u0171"},
      {30, 1258, "\u0110\u00e0"},
      {0, 1252, "\u00fc"},
      {31, 1252, "\u00fc"},  // any other number: the ANSI code page (1252 here)
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.language);
    EXPECT_EQ(CodePageForLanguage(c.language), c.language == 0 || c.language == 31 ? 0u : c.codePage);
    const std::u16string wide = plat::u16(c.text);
    char out[256];
    ASSERT_EQ(WideToPrinterCodePage(c.language, wide.c_str(), out, sizeof out), 0u);
    const std::vector<BYTE> expected = Iconv(c.text, c.codePage);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(std::vector<BYTE>(out, out + std::strlen(out)), expected);
  }
}

TEST(JobTexts, ATooLongNameIsCutAtAWholeCharacter) {
  // 200 double-byte characters need 400 bytes; 127 of them fill 254 of 256.
  std::string utf8;
  for (int i = 0; i < 200; ++i) utf8 += "\u6771";
  const std::u16string wide = plat::u16(utf8);
  char out[256];
  EXPECT_EQ(WideToPrinterCodePage(18, wide.c_str(), out, sizeof out), ERROR_INSUFFICIENT_BUFFER);
  std::string first127;
  for (int i = 0; i < 127; ++i) first127 += "\u6771";
  const std::vector<BYTE> expected = Iconv(first127, 932);
  ASSERT_EQ(expected.size(), 254u);
  EXPECT_EQ(std::vector<BYTE>(out, out + std::strlen(out)), expected);

  char tiny[1];
  EXPECT_EQ(WideToPrinterCodePage(1, u"abc", tiny, 1), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(tiny[0], 0);
  EXPECT_EQ(WideToPrinterCodePage(1, u"abc", nullptr, 10), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST(JobTexts, UserNamesAreCutAt127Characters) {
  plat::machine::Reset();
  plat::machine::SetUserName(std::u16string(200, u'x'));
  char out[256];
  GetUserNameForJob(out, 1);
  EXPECT_EQ(std::string(out), std::string(127, 'x'));
  plat::machine::SetUserName(u"J\u00fcrgen");
  GetUserNameForJob(out, 1);
  EXPECT_EQ(std::string(out), "J\xFCrgen");
  plat::machine::Reset();
}

TEST(JobTexts, HeaderTextsTakeTheClockAndTheDocumentName) {
  plat::machine::Reset();
  plat::machine::FreezeClock(true);
  SYSTEMTIME t{};
  t.wYear = 2026;
  t.wMonth = 3;
  t.wDay = 5;
  t.wHour = 9;
  t.wMinute = 7;
  plat::machine::SetLocalTime(t);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->languageNumber = 15;
  SetJobHeaderText(pdev.get(), kJobHeaderDate);
  EXPECT_EQ(std::string(pdev->jobText.dateText), "2026/03/05  9: 7");

  std::copy_n(u"\u041e\u0442\u0447\u0451\u0442.doc", 10, pdev->documentName);
  std::strcpy(pdev->jobText.jobName, "kept");
  SetJobHeaderText(pdev.get(), kJobHeaderName);
  EXPECT_EQ(std::string(pdev->jobText.jobName), "kept");  // the flag is off
  pdev->jobText.useDocumentName = 1;
  SetJobHeaderText(pdev.get(), kJobHeaderName);
  EXPECT_EQ(std::string(pdev->jobText.jobName), "\xCE\xF2\xF7\xB8\xF2.doc");
  plat::machine::FreezeClock(false);
  plat::machine::Reset();
}

}  // namespace
