#include "device/usb_job_folders.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plat/dialog.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "support/host_files.h"
#include "support/peer.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadHostFile;
using testsupport::WriteHostFile;
using testsupport::CounterBytes;

using plat::machine::Drive;

const Drive kFixedC{u'C', DRIVE_FIXED, u"NTFS", u"SYSTEM"};
const Drive kUsbE{u'E', DRIVE_REMOVABLE, u"FAT32", u"STICK"};
const Drive kUsbG{u'G', DRIVE_REMOVABLE, u"FAT", u"OLDSTICK"};

// "NEVOFOLDER" as the format describes it: six 264-byte records (u32
// little-endian number, 260-byte zero-padded name), zeros up to 2048.
std::vector<BYTE> FolderFileBytes(const std::array<std::string, 6>& names,
                                  std::array<std::uint32_t, 6> numbers = {1, 2, 3, 4, 5, 6}) {
  std::vector<BYTE> bytes(2048, 0);
  for (std::size_t i = 0; i < 6; ++i) {
    BYTE* record = bytes.data() + i * 264;
    for (int b = 0; b < 4; ++b) record[b] = static_cast<BYTE>(numbers[i] >> (8 * b));
    std::memcpy(record + 4, names[i].data(), std::min<std::size_t>(names[i].size(), 260));
  }
  return bytes;
}

const std::array<std::string, 6> kDefaultNames = {"1_FOLDER", "2_FOLDER", "3_FOLDER",
                                                  "4_FOLDER", "5_FOLDER", "6_FOLDER"};

class UsbFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::Reset();
    plat::machine::SetDrives({kFixedC, kUsbE, kUsbG});
    plat::files::ClearWriteFaults();
    plat::ui::ResetMessageBoxes();
    resources_ = LoadLibraryW(plat::u16(TEST_DATA_DIR_STR "/jobfiles/messages.res").c_str());
    ASSERT_NE(resources_, nullptr);
    windowsBefore_ = plat::LiveWindowCount();
  }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
    EXPECT_EQ(plat::LiveWindowCount(), windowsBefore_);
    FreeLibrary(resources_);
    EXPECT_EQ(plat::files::PendingWriteFaults(), 0u);
    plat::files::ClearWriteFaults();
  }

  static std::string Host(std::u16string_view windowsPath) { return plat::machine::HostPath(windowsPath); }

  HWND MakeDialog() {
    dialog_ = plat::CreateHeadlessDialog({{kUsbDriveCombo, plat::ControlKind::ComboBox, u""},
                                          {kUsbVolumeText, plat::ControlKind::Static, u"old label"},
                                          {kUsbFolderLabel, plat::ControlKind::Static, u"Folder", false},
                                          {kUsbFolderCombo, plat::ControlKind::ComboBox, u"", false},
                                          {kUsbOkButton, plat::ControlKind::Button, u"OK", false}});
    return dialog_;
  }

  std::vector<std::u16string> ComboItems(int id) {
    std::vector<std::u16string> items;
    const LRESULT count = SendDlgItemMessageW(dialog_, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      WCHAR text[300] = {};
      SendDlgItemMessageW(dialog_, id, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
      items.emplace_back(text);
    }
    return items;
  }
  LRESULT Selection(int id) { return SendDlgItemMessageW(dialog_, id, CB_GETCURSEL, 0, 0); }
  bool Enabled(int id) { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }

  testsupport::MachineRoot machine_{"usbfolders"};
  const std::string root_ = machine_.str();
  HMODULE resources_ = nullptr;
  HWND dialog_ = nullptr;
  std::size_t windowsBefore_ = 0;
};

TEST_F(UsbFolders, OnlyRemovableFatDrivesOtherThanAAndBAreOffered) {
  plat::machine::SetDrives({
      {u'A', DRIVE_REMOVABLE, u"FAT", u""},
      {u'B', DRIVE_REMOVABLE, u"FAT", u""},
      kFixedC,
      {u'D', DRIVE_REMOVABLE, u"NTFS", u""},
      kUsbE,
      {u'F', DRIVE_FIXED, u"FAT32", u""},
      kUsbG,
      {u'H', DRIVE_REMOVABLE, u"fat32", u""},  // the name must match exactly
      {u'I', DRIVE_REMOVABLE, u"exFAT", u""},
      {u'J', DRIVE_CDROM, u"CDFS", u""},
  });
  std::u16string list;
  EXPECT_EQ(FindUsbDrives(nullptr, FALSE, &list), 2);
  EXPECT_EQ(list, u"E:\\,G:\\");

  // Filling the dialog starts from a clean slate.
  MakeDialog();
  SendDlgItemMessageW(dialog_, kUsbFolderCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"stale"));
  EnableWindow(GetDlgItem(dialog_, kUsbOkButton), TRUE);
  EnableWindow(GetDlgItem(dialog_, kUsbFolderCombo), TRUE);
  EXPECT_EQ(FindUsbDrives(dialog_, TRUE, nullptr), 2);
  EXPECT_EQ(ComboItems(kUsbDriveCombo), (std::vector<std::u16string>{u"E:\\", u"G:\\"}));
  EXPECT_TRUE(ComboItems(kUsbFolderCombo).empty());
  EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(dialog_, kUsbVolumeText)), 0);
  EXPECT_FALSE(Enabled(kUsbOkButton));
  EXPECT_FALSE(Enabled(kUsbFolderCombo));
  EXPECT_FALSE(Enabled(kUsbFolderLabel));

  plat::machine::SetDrives({kFixedC});
  EXPECT_EQ(FindUsbDrives(nullptr, FALSE, &list), 0);
  EXPECT_EQ(list, u"");
}

TEST_F(UsbFolders, CreatesTheWholeTreeOnceAndKeepsExistingControlFiles) {
  ASSERT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 0);
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 1);

  const std::string base = Host(u"E:\\OSTRA\\USB");
  std::vector<std::string> folders;
  for (const auto& entry : fs::directory_iterator(base)) folders.push_back(entry.path().filename().string());
  std::sort(folders.begin(), folders.end());
  EXPECT_EQ(folders, (std::vector<std::string>{"1_FOLDER", "2_FOLDER", "3_FOLDER", "4_FOLDER", "5_FOLDER", "6_FOLDER",
                                               "X_AUTO", "X_TMP"}));
  EXPECT_TRUE(GetFileAttributesW(u"E:\\OSTRA\\USB") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(GetFileAttributesW(u"E:\\OSTRA") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(ReadHostFile(base + "/X_TMP/NEVOFOLDER"), FolderFileBytes(kDefaultNames));
  EXPECT_EQ(ReadHostFile(base + "/X_TMP/NEVOJOB"), CounterBytes(1));

  // The user's names and the job counter survive a second creation.
  const auto names = FolderFileBytes({"Invoices", "2_FOLDER", "3_FOLDER", "4_FOLDER", "5_FOLDER", "Letters"});
  WriteHostFile(base + "/X_TMP/NEVOFOLDER", names);
  WriteHostFile(base + "/X_TMP/NEVOJOB", CounterBytes(4711));
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  EXPECT_EQ(ReadHostFile(base + "/X_TMP/NEVOFOLDER"), names);
  EXPECT_EQ(ReadHostFile(base + "/X_TMP/NEVOJOB"), CounterBytes(4711));
}

TEST_F(UsbFolders, CreationAddsOnlyWhatIsMissing) {
  ASSERT_TRUE(CreateDirectoryW(u"E:\\OSTRA", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"E:\\OSTRA\\USB", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"E:\\OSTRA\\USB\\X_TMP", nullptr));
  const auto names = FolderFileBytes({"A", "B", "C", "D", "E", "F"});
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP") + "/NEVOFOLDER", names);
  EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 0);

  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOFOLDER")), names);
  EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOJOB")), CounterBytes(1));
  EXPECT_TRUE(GetFileAttributesW(u"E:\\OSTRA\\USB") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 1);
}

TEST_F(UsbFolders, AControlFileThatCannotBeWrittenWholeIsNotLeftBehind) {
  struct Case {
    const char16_t* file;
    LONG shortBytes;  // -1: the write fails
  };
  const Case cases[] = {{u"NEVOFOLDER", -1}, {u"NEVOFOLDER", 2000}, {u"NEVOJOB", -1}, {u"NEVOJOB", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::utf8(c.file) + " short " + std::to_string(c.shortBytes));
    std::error_code ec;
    fs::remove_all(Host(u"E:\\OSTRA"), ec);
    plat::files::WriteFault fault;
    fault.pathContains = c.file;
    fault.shortBytes = c.shortBytes;
    plat::files::InjectWriteFault(fault);
    EXPECT_EQ(CreateJobFolderTree(u"E:\\"), 0);
    EXPECT_EQ(plat::files::PendingWriteFaults(), 0u);
    const std::u16string path = std::u16string(u"E:\\OSTRA\\USB\\X_TMP\\") + c.file;
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 0);
    // The next attempt, with the drive writable again, completes the tree.
    ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
    EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOFOLDER")), FolderFileBytes(kDefaultNames));
    EXPECT_EQ(ReadHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOJOB")), CounterBytes(1));
  }
}

TEST_F(UsbFolders, TheCheckNeedsEveryFolderAndBothControlFiles) {
  const char16_t* pieces[] = {
      u"OSTRA\\USB\\X_TMP\\NEVOJOB", u"OSTRA\\USB\\X_TMP\\NEVOFOLDER", u"OSTRA\\USB\\X_TMP", u"OSTRA\\USB\\X_AUTO",
      u"OSTRA\\USB\\1_FOLDER",       u"OSTRA\\USB\\6_FOLDER",          u"OSTRA\\USB",        u"OSTRA"};
  for (const char16_t* piece : pieces) {
    SCOPED_TRACE(plat::utf8(piece));
    ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
    ASSERT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 1);
    fs::remove_all(Host(std::u16string(u"E:\\") + piece));
    EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 0);
  }
  // A drive that is not there at all.
  EXPECT_EQ(CheckJobFolderTree(u"K:\\", FALSE), 0);
}

TEST_F(UsbFolders, TheCheckHidesTheJobRootAgainOnlyWhenAsked) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  ASSERT_TRUE(SetFileAttributesW(u"E:\\OSTRA\\USB", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), 1);
  EXPECT_FALSE(GetFileAttributesW(u"E:\\OSTRA\\USB") & FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(CheckJobFolderTree(u"E:\\", TRUE), 1);
  EXPECT_TRUE(GetFileAttributesW(u"E:\\OSTRA\\USB") & FILE_ATTRIBUTE_HIDDEN);
}

TEST_F(UsbFolders, FolderFileRecordsMustBeCompleteAndInOrder) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  const std::string file = Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOFOLDER");
  auto exact = FolderFileBytes(kDefaultNames);
  exact.resize(6 * 264);  // six records and nothing after them is enough
  auto fiveRecords = exact;
  fiveRecords.resize(5 * 264 + 100);
  struct Case {
    const char* what;
    std::vector<BYTE> bytes;
    int expected;
  };
  const Case cases[] = {
      {"default names as laid out", FolderFileBytes(kDefaultNames), 1},
      {"records only", exact, 1},
      {"third record numbered 4", FolderFileBytes(kDefaultNames, {1, 2, 4, 4, 5, 6}), 0},
      {"records swapped", FolderFileBytes(kDefaultNames, {2, 1, 3, 4, 5, 6}), 0},
      {"five and a half records", fiveRecords, 0},
      {"empty", {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteHostFile(file, c.bytes);
    std::array<JobFolderRecord, 6> records{};
    EXPECT_EQ(ReadJobFolderFile(u"E:\\OSTRA\\USB\\X_TMP", records), c.expected);
  }
  fs::remove(file);
  std::array<JobFolderRecord, 6> records{};
  EXPECT_EQ(ReadJobFolderFile(u"E:\\OSTRA\\USB\\X_TMP", records), 0);
}

TEST_F(UsbFolders, NamesAreShownFromTheAnsiCodePageAndBoundedByTheirField) {
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  std::string unterminated(260, 'N');  // fills the whole field: no terminator
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOFOLDER"),
                FolderFileBytes({"\xC4rzte", "", "Caf\xE9", "4_FOLDER", unterminated, "Z"}));
  MakeDialog();
  EXPECT_EQ(FillJobFolderNames(dialog_, u"E:\\"), 1);
  const auto items = ComboItems(kUsbFolderCombo);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0], u"\u00C4rzte");
  EXPECT_EQ(items[1], u"");
  EXPECT_EQ(items[2], u"Caf\u00E9");
  EXPECT_EQ(items[4], std::u16string(259, u'N'));
  EXPECT_EQ(items[5], u"Z");
  EXPECT_EQ(Selection(kUsbFolderCombo), 0);
  EXPECT_TRUE(Enabled(kUsbFolderCombo));
  EXPECT_TRUE(Enabled(kUsbFolderLabel));

  // An unreadable file shows the default names, and a refill never doubles them.
  WriteHostFile(Host(u"E:\\OSTRA\\USB\\X_TMP\\NEVOFOLDER"), {1, 0, 0});
  EXPECT_EQ(FillJobFolderNames(dialog_, u"E:\\"), 0);
  EXPECT_EQ(ComboItems(kUsbFolderCombo), (std::vector<std::u16string>{u"1_FOLDER", u"2_FOLDER", u"3_FOLDER",
                                                                      u"4_FOLDER", u"5_FOLDER", u"6_FOLDER"}));
}

TEST_F(UsbFolders, PrepareWithoutAnySuitableDriveWarnsAndFails) {
  plat::machine::SetDrives({kFixedC, {u'D', DRIVE_REMOVABLE, u"NTFS", u""}});
  MakeDialog();
  EXPECT_EQ(PrepareUsbJobFolder(dialog_, resources_, FALSE, TRUE, u"", 1), 0);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].caption, u"USB job folders");
  EXPECT_EQ(log[0].text, u"No removable FAT or FAT32 drive was found.");
  EXPECT_EQ(log[0].type, MB_ICONWARNING);
  EXPECT_EQ(log[0].owner, dialog_);
}

TEST_F(UsbFolders, PrepareSelectsTheWantedDriveAndFolder) {
  ASSERT_EQ(CreateJobFolderTree(u"G:\\"), 1);
  MakeDialog();
  EXPECT_EQ(PrepareUsbJobFolder(dialog_, resources_, FALSE, TRUE, u"g:\\", 4), 1);
  EXPECT_EQ(ComboItems(kUsbDriveCombo), (std::vector<std::u16string>{u"E:\\", u"G:\\"}));
  EXPECT_EQ(Selection(kUsbDriveCombo), 1);
  EXPECT_EQ(ComboItems(kUsbFolderCombo).size(), 6u);
  EXPECT_EQ(Selection(kUsbFolderCombo), 3);
  EXPECT_TRUE(Enabled(kUsbOkButton));
  EXPECT_TRUE(Enabled(kUsbFolderCombo));
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());

  // Without the folder names only the drive is chosen.
  EXPECT_EQ(PrepareUsbJobFolder(dialog_, resources_, TRUE, TRUE, u"G:\\", 4), 1);
  EXPECT_TRUE(ComboItems(kUsbFolderCombo).empty());
  EXPECT_TRUE(Enabled(kUsbOkButton));

  // A wanted drive that lost its tree is not accepted, and nothing is offered.
  fs::remove_all(Host(u"G:\\OSTRA\\USB\\X_AUTO"));
  EXPECT_EQ(PrepareUsbJobFolder(dialog_, resources_, FALSE, TRUE, u"G:\\", 4), 0);
  EXPECT_FALSE(Enabled(kUsbOkButton));
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(UsbFolders, PrepareFallsBackToTheFirstDriveHoldingATree) {
  ASSERT_EQ(CreateJobFolderTree(u"G:\\"), 1);
  ASSERT_TRUE(SetFileAttributesW(u"G:\\OSTRA\\USB", FILE_ATTRIBUTE_NORMAL));
  MakeDialog();
  EXPECT_EQ(PrepareUsbJobFolder(dialog_, resources_, FALSE, TRUE, u"F:\\", 2), 1);
  EXPECT_EQ(Selection(kUsbDriveCombo), 1);
  EXPECT_EQ(Selection(kUsbFolderCombo), 0);
  EXPECT_TRUE(Enabled(kUsbOkButton));
  EXPECT_TRUE(GetFileAttributesW(u"G:\\OSTRA\\USB") & FILE_ATTRIBUTE_HIDDEN);  // hidden again by the check
  // Outside the dialog a drive with the tree is simply accepted.
  EXPECT_EQ(PrepareUsbJobFolder(nullptr, resources_, FALSE, FALSE, nullptr, 0), 1);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(UsbFolders, PrepareOffersToCreateTheTreeOnTheChosenDrive) {
  struct Case {
    bool dialogMode;
    int answer;
    int expected;
    const char16_t* createdOn;  // null: nothing created
    const char16_t* letter;
  };
  const Case cases[] = {
      {true, IDNO, 0, nullptr, u"E"},
      {true, IDYES, 1, u"E:\\", u"E"},  // the drive selected in the dialog: the first
      {false, IDNO, 0, nullptr, u"G"},
      {false, IDYES, 1, u"G:\\", u"G"},  // outside the dialog: the last drive of the list
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.dialogMode ? "dialog" : "no dialog") + " answer " + std::to_string(c.answer));
    std::error_code ec;
    fs::remove_all(Host(u"E:\\OSTRA"), ec);
    fs::remove_all(Host(u"G:\\OSTRA"), ec);
    plat::ui::ResetMessageBoxes();
    plat::ui::QueueMessageBoxAnswer(c.answer);
    HWND dialog = c.dialogMode ? MakeDialog() : nullptr;
    EXPECT_EQ(PrepareUsbJobFolder(dialog, resources_, FALSE, c.dialogMode ? TRUE : FALSE, nullptr, 0), c.expected);
    const auto log = plat::ui::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, std::u16string(u"Drive ") + c.letter + u": holds no job folders. Create them now?");
    EXPECT_EQ(log[0].caption, u"USB job folders");
    EXPECT_EQ(log[0].type, MB_YESNO | MB_ICONWARNING);
    EXPECT_EQ(CheckJobFolderTree(u"E:\\", FALSE), c.createdOn && c.createdOn[0] == u'E' ? 1 : 0);
    EXPECT_EQ(CheckJobFolderTree(u"G:\\", FALSE), c.createdOn && c.createdOn[0] == u'G' ? 1 : 0);
    if (c.dialogMode) {
      EXPECT_EQ(Selection(kUsbDriveCombo), 0);
      EXPECT_EQ(Enabled(kUsbOkButton), c.expected == 1);
      EXPECT_EQ(ComboItems(kUsbFolderCombo).size(), c.expected == 1 ? 6u : 0u);
      DestroyWindow(dialog_);
      dialog_ = nullptr;
    }
  }
}

TEST_F(UsbFolders, MessagesReadRightToLeftForThatLanguage) {
  const std::string file = root_ + "/rtl.res";
  std::ofstream(file) << "RESOURCES 1\n[STRINGTABLE]\n800\t23\n3632\tc\n3633\tt\n";
  HMODULE rtl = LoadLibraryW(plat::u16(file).c_str());
  ASSERT_NE(rtl, nullptr);
  plat::machine::SetDrives({kFixedC});
  EXPECT_EQ(PrepareUsbJobFolder(nullptr, rtl, FALSE, FALSE, nullptr, 0), 0);
  FreeLibrary(rtl);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].type, MB_ICONWARNING | MB_RTLREADING | MB_RIGHT);
}

// The names of the tree are valid on a real FAT32 volume: the tree is copied
// into a FAT32 image with mtools and listed back.
TEST_F(UsbFolders, TheTreeFitsOnARealFat32Volume) {
  REQUIRE_PEER(testsupport::HasProgram("mformat") && testsupport::HasProgram("mcopy"), "mtools");
  ASSERT_EQ(CreateJobFolderTree(u"E:\\"), 1);
  const std::string image = root_ + "/fat32.img";
  const std::string listing = root_ + "/listing.txt";
  const std::string commands = "mformat -i '" + image +
                               "' -C -F -T 131072 -h 16 -s 32 :: >/dev/null 2>&1 && "
                               "mcopy -s -i '" +
                               image + "' '" + Host(u"E:\\OSTRA") +
                               "' ::/ && "
                               "mdir -/ -b -i '" +
                               image + "' ::/OSTRA > '" + listing + "'";
  ASSERT_EQ(std::system(commands.c_str()), 0);
  std::ifstream in(listing);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  const std::vector<std::string> expected = {
      "::/OSTRA/USB",          "::/OSTRA/USB/1_FOLDER",         "::/OSTRA/USB/2_FOLDER",     "::/OSTRA/USB/3_FOLDER",
      "::/OSTRA/USB/4_FOLDER", "::/OSTRA/USB/5_FOLDER",         "::/OSTRA/USB/6_FOLDER",     "::/OSTRA/USB/X_AUTO",
      "::/OSTRA/USB/X_TMP",    "::/OSTRA/USB/X_TMP/NEVOFOLDER", "::/OSTRA/USB/X_TMP/NEVOJOB"};
  for (const std::string& name : expected) {
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), name) != lines.end() ||
                std::find(lines.begin(), lines.end(), name + "/") != lines.end())
        << name;
  }
}

}  // namespace
