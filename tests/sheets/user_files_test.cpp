// User paper and setting files on the machine's disk: the file dialog, whole
// files, import and export, and a failed export that keeps the old file.
#include "sheets/user_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "plat/windows.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kModel[] = u"NEVO 2600";

class UserFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    fs::create_directories(machine_.path() / "C" / "papers");
  }
  void TearDown() override {
    plat::ui::ResetScript();
    if (resources_) FreeLibrary(resources_);
  }
  std::string Host(const char* name) const { return (machine_.path() / "C" / "papers" / name).string(); }
  static std::string Bytes(const std::string& host) {
    std::ifstream in(host, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  testsupport::MachineRoot machine_{"sheets-userfiles"};
  HMODULE resources_ = nullptr;
};

UserPaperTable TwoPapers() {
  UserPaperTable t{};
  const std::u16string a = u"Post card", b = u"Half letter";
  std::copy(a.begin(), a.end(), t.Entry[0].Name);
  t.Entry[0].Width = 100000;
  t.Entry[0].Length = 148000;
  std::copy(b.begin(), b.end(), t.Entry[1].Name);
  t.Entry[1].Width = 139700;
  t.Entry[1].Length = 215900;
  t.Entry[1].InchFlag = 1;
  t.Count = 2;
  return t;
}

TEST_F(UserFiles, TheFileDialogIsAskedAsTheDriverAsks) {
  resources_ = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
  ASSERT_NE(resources_, nullptr);
  std::ofstream(Host("in.uds")) << "x";
  WCHAR path[kUserFilePathUnits];
  plat::ui::QueueFileAnswer(u"C:\\papers\\in.uds");
  ASSERT_EQ(SelectUserFile(resources_, nullptr, true, true, path), 1);
  EXPECT_EQ(std::u16string(path), u"C:\\papers\\in.uds");
  plat::ui::QueueFileAnswer(std::nullopt);
  EXPECT_EQ(SelectUserFile(resources_, nullptr, false, false, path), 0);
  const auto log = plat::ui::FileDialogLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].title, u"Open");
  EXPECT_EQ(log[0].filters, (std::vector<std::pair<std::u16string, std::u16string>>{
                                {u"User Setting Files (*.uds)", u"*.uds"}}));
  EXPECT_EQ(log[0].defaultExtension, u"uds");
  EXPECT_EQ(log[0].initialFile, u"*.uds");
  EXPECT_EQ(log[0].flags, OFN_EXPLORER | OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_READONLY);
  EXPECT_TRUE(log[1].save);
  EXPECT_EQ(log[1].title, u"Save As");
  EXPECT_EQ(log[1].filters[0].first, u"User Paper Files (*.udp)");
  EXPECT_EQ(log[1].initialFile, u"*.udp");
  EXPECT_EQ(log[1].flags, OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
}

TEST_F(UserFiles, ExportedFilesImportToTheSameTables) {
  const UserPaperTable papers = TwoPapers();
  ASSERT_EQ(ExportPaperFile(u"C:\\papers\\mine.udp", kModel, papers), 1);
  UserPaperTable back{};
  ASSERT_EQ(ImportPaperFile(u"C:\\papers\\mine.udp", u"Another model", back), 1) << "papers take any model";
  ASSERT_EQ(back.Count, 2);
  EXPECT_EQ(std::u16string(back.Entry[1].Name), u"Half letter");
  EXPECT_EQ(back.Entry[1].Width, 139700);
  EXPECT_EQ(back.Entry[1].InchFlag, 1);

  auto favorites = std::make_unique<FavoriteTable>();
  const std::u16string name = u"Weekly";
  std::copy(name.begin(), name.end(), favorites->Entry[0].Name);
  favorites->Entry[0].Settings.Copies = 42;
  favorites->Count = 1;
  ASSERT_EQ(ExportSettingFile(u"C:\\papers\\fav.uds", kModel, *favorites), 1);
  auto read = std::make_unique<FavoriteTable>();
  EXPECT_EQ(ImportSettingFile(u"C:\\papers\\fav.uds", u"NEVO 1100", *read), 0) << "another model";
  ASSERT_EQ(ImportSettingFile(u"C:\\papers\\fav.uds", kModel, *read), 1);
  ASSERT_EQ(read->Count, 1);
  EXPECT_EQ(std::memcmp(&read->Entry[0].Settings, &favorites->Entry[0].Settings, sizeof(DocSettings)), 0);

  // A damaged record: read, with -1.
  std::string bytes = Bytes(Host("fav.uds"));
  bytes[bytes.size() - 100] ^= 0x10;
  std::ofstream(Host("fav.uds"), std::ios::binary) << bytes;
  EXPECT_EQ(ImportSettingFile(u"C:\\papers\\fav.uds", kModel, *read), 0) << "its only record was damaged";
  EXPECT_EQ(ImportSettingFile(u"C:\\papers\\none.uds", kModel, *read), 0);
  std::ofstream(Host("empty.udp")).flush();
  EXPECT_EQ(ImportPaperFile(u"C:\\papers\\empty.udp", kModel, back), 0);
}

TEST_F(UserFiles, APaperFileWithoutHeaderIsReadAsAnOldOne) {
  std::string file(200, '\0');
  std::memcpy(&file[0], "UDP_UserDefinitionPaper", 23);
  std::memcpy(&file[32], "NEVO/BERTAL/CORPORATION/ndrv", 28);
  std::memcpy(&file[80], "1", 1);
  std::memcpy(&file[100], "RSsta1", 6);
  std::memcpy(&file[110], "Caf\xe9", 4);  // the ANSI code page
  std::memcpy(&file[170], "8.5", 3);
  std::memcpy(&file[180], "11", 2);
  file[190] = '2';
  std::memcpy(&file[195], "RSend", 5);
  std::ofstream(Host("old.udp"), std::ios::binary) << file;
  UserPaperTable table{};
  ASSERT_EQ(ImportPaperFile(u"C:\\papers\\old.udp", kModel, table), 1);
  ASSERT_EQ(table.Count, 1);
  EXPECT_EQ(std::u16string(table.Entry[0].Name), u"Caf\u00e9");
  EXPECT_EQ(table.Entry[0].Width, 215900);
  EXPECT_EQ(table.Entry[0].Length, 279400);
  EXPECT_EQ(table.Entry[0].Id, 1);
}

TEST_F(UserFiles, AFailedExportLeavesThePreviousFileWhole) {
  const UserPaperTable first = TwoPapers();
  ASSERT_EQ(ExportPaperFile(u"C:\\papers\\keep.udp", kModel, first), 1);
  const std::string before = Bytes(Host("keep.udp"));
  UserPaperTable second = first;
  second.Count = 1;
  for (const LONG shortBytes : {-1L, 10L}) {
    SCOPED_TRACE(shortBytes);
    plat::files::WriteFault fault;
    fault.pathContains = u"keep.udp";
    fault.shortBytes = shortBytes;
    plat::files::InjectWriteFault(fault);
    EXPECT_EQ(ExportPaperFile(u"C:\\papers\\keep.udp", kModel, second), 0);
    EXPECT_EQ(Bytes(Host("keep.udp")), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(machine_.path() / "C" / "papers"), fs::directory_iterator()), 1)
        << "no temporary file is left";
  }
  ASSERT_EQ(ExportPaperFile(u"C:\\papers\\keep.udp", kModel, second), 1);
  EXPECT_NE(Bytes(Host("keep.udp")), before);
}

}  // namespace
