// Whole jobs through classicrender into job files: a storage job holds the
// stream a spooler job of the same settings gets; a preview job through the
// printjob tool likewise; a drive that fills up leaves one reported record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/host_files.h"
#include "device/usb_job_folders.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/registry.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "settings/private_devmode.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadHostFile;
using testsupport::WriteHostFile;

constexpr char16_t kPrinter[] = u"NEVO Storage";
constexpr char16_t kFailedKey[] = u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\NEVO Storage\\";

std::vector<BYTE> Bytes(std::string_view text) { return std::vector<BYTE>(text.begin(), text.end()); }

// Replaces the single occurrence of `from` by `to` (same length); false when
// it is not there exactly once.
bool ReplaceOnce(std::vector<BYTE>& stream, const std::vector<BYTE>& from, const std::vector<BYTE>& to) {
  auto at = std::search(stream.begin(), stream.end(), from.begin(), from.end());
  if (at == stream.end() || std::search(at + 1, stream.end(), from.begin(), from.end()) != stream.end()) return false;
  std::copy(to.begin(), to.end(), at);
  return true;
}

// Blanks the value of the TIME record, which holds the minute the job ran.
void MaskTime(std::vector<BYTE>& stream) {
  const std::vector<BYTE> tag = Bytes(
      "\x1F"
      "TIME0016\x1F");
  auto at = std::search(stream.begin(), stream.end(), tag.begin(), tag.end());
  if (at != stream.end() && stream.end() - at >= static_cast<long>(tag.size() + 16)) {
    std::fill_n(at + static_cast<long>(tag.size()), 16, BYTE{'#'});
  }
}

void SetText(WCHAR* field, std::size_t units, std::u16string_view text) {
  std::fill_n(field, units, u'\0');
  std::copy_n(text.data(), std::min(text.size(), units - 1), field);
}

class StorageJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ + "/C");
    plat::machine::Reset();
    plat::machine::SetDrives({{u'C', DRIVE_FIXED, u"NTFS", u"SYSTEM"}, {u'E', DRIVE_REMOVABLE, u"FAT32", u"STICK"}});
    plat::machine::FreezeClock(true);
    plat::machine::SetSleepScale(0);
    plat::files::ClearWriteFaults();
    plat::registry::Reset();
    plat::ui::ResetMessageBoxes();
    plat::spooler::Reset();

    ASSERT_TRUE(CreateDirectoryW(u"C:\\DRIVERS", nullptr));
    fs::copy_file(MODELS_DIR_STR "/NEVO2600.RDF", Host(u"C:\\DRIVERS\\NEVO2600.RDF"));
    fs::copy_file(RESOURCES_DIR_STR "/NEVORES.DLL", Host(u"C:\\DRIVERS\\NEVORES.DLL"));
    plat::spooler::PrinterSetup setup;
    setup.name = kPrinter;
    setup.port = u"USB001";
    setup.driver.name = u"NEVO RP2600";  // the model section of the data file
    setup.driver.dataFile = u"C:\\DRIVERS\\NEVO2600.RDF";
    setup.driver.dependentFiles = {u"C:\\DRIVERS\\NEVORES.DLL"};
    ASSERT_TRUE(plat::spooler::AddPrinter(setup));

    ui_ = LoadLibraryW(plat::u16(LIB_DIR_STR "/classicui.so").c_str());
    ASSERT_NE(ui_, nullptr);
    using PrinterEvent = BOOL (*)(LPWSTR, INT, DWORD, LPARAM);
    auto printerEvent = reinterpret_cast<PrinterEvent>(GetProcAddress(ui_, "DrvPrinterEvent"));
    ASSERT_NE(printerEvent, nullptr);
    std::u16string name = kPrinter;
    ASSERT_TRUE(printerEvent(name.data(), 3, 0, 0));
    auto stored = plat::spooler::GetData(kPrinter, u"DefaultDevmode");
    ASSERT_TRUE(stored && stored->bytes.size() == sizeof(PrivateDevmode));
    std::memcpy(&devmode_, stored->bytes.data(), sizeof devmode_);

    DWORD error = 0;
    driver_ = plat::print_host::Driver::Load(plat::u16(LIB_DIR_STR "/classicrender.so"), &error);
    ASSERT_NE(driver_, nullptr) << error;
    ASSERT_TRUE(OpenPrinterW(kPrinter, &printer_, nullptr));

    // The same job texts whichever group the output mode reads.
    DocSettings& s = devmode_.Settings;
    s.HoldNameFromDoc = s.UsbNameFromDoc = 1;
    SetText(s.HoldUserName, std::size(s.HoldUserName), u"tester");
    SetText(s.UsbUserName, std::size(s.UsbUserName), u"tester");
    s.HoldJobOption = s.UsbJobOption = 0;
    s.HoldBox = 2;
    s.UsbFolder = 2;
    SetText(s.UsbDrive, std::size(s.UsbDrive), u"E:\\");
    s.Preview = 0;
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    driver_.reset();
    if (ui_) FreeLibrary(ui_);
    plat::files::ClearWriteFaults();
    plat::machine::FreezeClock(false);
  }

  static std::string Host(std::u16string_view path) { return plat::machine::HostPath(path); }

  plat::print_host::Result Run(BYTE outputMode, int pages = 2) {
    PrivateDevmode dm = devmode_;
    dm.Settings.OutputMode = outputMode;
    plat::print_host::Job job;
    job.printer = printer_;
    job.deviceName = kPrinter;
    job.port = u"USB001";
    job.devmode.resize(sizeof dm);
    std::memcpy(job.devmode.data(), &dm, sizeof dm);
    job.documentName = u"C:\\docs\\plan.txt";
    job.pages = pages;
    // A few bands of ink on each page (bit 0 is ink).
    job.drawPage = [](const plat::print_host::PageContext& page) {
      SURFOBJ* so = page.surface;
      auto* row0 = static_cast<BYTE*>(so->pvScan0);
      for (LONG y = 40 + 10 * page.index; y < so->sizlBitmap.cy; y += 97) {
        BYTE* row = row0 + static_cast<std::ptrdiff_t>(y) * so->lDelta;
        std::fill_n(row + 4, std::min<LONG>(60, so->sizlBitmap.cx / 8 - 4), BYTE{0x0F});
      }
      return true;
    };
    plat::spooler::ClearOutput(kPrinter);
    return plat::print_host::RunJob(*driver_, job);
  }

  std::size_t FailedRecordCount() {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kFailedKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    std::size_t n = 0;
    for (;; ++n) {
      WCHAR name[64];
      DWORD chars = 64;
      BYTE data[1024];
      DWORD size = sizeof data;
      if (RegEnumValueW(key, static_cast<DWORD>(n), name, &chars, nullptr, nullptr, data, &size) != ERROR_SUCCESS)
        break;
    }
    RegCloseKey(key);
    return n;
  }

  testsupport::MachineRoot machine_{"storagejobs"};
  const std::string root_ = machine_.str();
  HMODULE ui_ = nullptr;
  std::unique_ptr<plat::print_host::Driver> driver_;
  HANDLE printer_ = nullptr;
  PrivateDevmode devmode_{};
};

TEST_F(StorageJobs, AStoredJobHoldsTheStreamASpoolerJobGets) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  std::vector<BYTE> counter(512, 0);
  counter[0] = 41;
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOJOB"), counter);

  const auto stored = Run(3);
  ASSERT_TRUE(stored.ok) << stored.failedEntry;
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty()) << "a storage job sends nothing to the spooler";
  const std::vector<BYTE> file = ReadHostFile(Host(u"E:\\OSTRA\\USB\\2_FOLDER\\JOB000000041.PRN"));
  EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOJOB"))[0], 42);

  const auto printed = Run(0);
  ASSERT_TRUE(printed.ok) << printed.failedEntry;
  std::vector<BYTE> expected = plat::spooler::Output(kPrinter);
  ASSERT_GT(expected.size(), 1000u);
  // The one command that names the output mode: 11 print, 16 store.
  ASSERT_TRUE(ReplaceOnce(expected, Bytes("\x1E&11;0;0;0&O"), Bytes("\x1E&16;0;0;0&O")));
  EXPECT_TRUE(file == expected) << "job file " << file.size() << " bytes, spooler stream " << expected.size();
  EXPECT_EQ(FailedRecordCount(), 0u);
}

TEST_F(StorageJobs, ADriveThatFillsUpFailsTheJobAndIsReportedOnce) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  plat::files::WriteFault full;
  full.pathContains = u"JOB0000";
  full.error = ERROR_DISK_FULL;
  full.count = 1000;  // the drive stays full
  plat::files::InjectWriteFault(full);
  const auto result = Run(4, 3);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_DISK_FULL)) << result.failedEntry;
  plat::files::ClearWriteFaults();
  EXPECT_EQ(FailedRecordCount(), 1u);
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty());

  using DocumentEvent = INT (*)(HANDLE, HANDLE, INT, ULONG, PVOID, ULONG, PVOID);
  auto documentEvent = reinterpret_cast<DocumentEvent>(GetProcAddress(ui_, "DrvDocumentEvent"));
  ASSERT_NE(documentEvent, nullptr);
  EXPECT_EQ(documentEvent(printer_, nullptr, 12, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(documentEvent(printer_, nullptr, 8, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 1u);
  EXPECT_EQ(FailedRecordCount(), 0u);
}

TEST_F(StorageJobs, AStorageJobWithoutADriveIsRecordedNotLost) {
  // E: holds no job-folder tree.
  const auto result = Run(3, 1);
  EXPECT_FALSE(result.ok);
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty());
  EXPECT_EQ(FailedRecordCount(), 1u);
}

// printjob with the preview switch writes the preview file instead of the
// spooler, and the file holds exactly what the spooler gets without it.
TEST(PreviewThroughPrintjob, ThePreviewFileHoldsTheSpoolerStream) {
  const std::string printjob = BIN_DIR_STR "/printjob";
  if (!fs::exists(printjob)) GTEST_SKIP() << "printjob not built";
  const testsupport::TempFolder folder("previewjob");
  const fs::path& work = folder.path();
  const std::string quiet = " >/dev/null 2>&1";
  const std::string spool = "'" + printjob + "' --root '" + (work / "a").string() + "' --pages 2 --out '" +
                            (work / "spool.prn").string() + "'" + quiet;
  const std::string preview = "'" + printjob + "' --root '" + (work / "b").string() + "' --pages 2 --out '" +
                              (work / "preview-spool.prn").string() + "' --set Preview=1" + quiet;
  ASSERT_EQ(std::system(spool.c_str()), 0);
  ASSERT_EQ(std::system(preview.c_str()), 0);
  std::vector<BYTE> expected = ReadHostFile((work / "spool.prn").string());
  std::vector<BYTE> file = ReadHostFile((work / "b/C/TEMP/RV0001.PRN").string());
  EXPECT_TRUE(ReadHostFile((work / "preview-spool.prn").string()).empty());
  ASSERT_GT(expected.size(), 1000u);
  MaskTime(expected);
  MaskTime(file);
  EXPECT_TRUE(file == expected) << "preview file " << file.size() << " bytes, spooler stream " << expected.size();
}

}  // namespace
