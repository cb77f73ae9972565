// The headless file dialogs: scripted answers, the record of each call, the
// existence checks and the overwrite prompt.
#include "plat/commdlg.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "plat/files.h"
#include "plat/ui.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

class FileDialog : public testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([this](const std::string& what) { failures_.push_back(what); });
    fs::create_directories(machine_.path() / "C" / "data");
    std::ofstream(machine_.path() / "C" / "data" / "old.udp") << "x";
  }
  void TearDown() override { plat::ui::ResetScript(); }
  // An open or save call with the usual fields; returns its result.
  BOOL Ask(bool save, DWORD flags, WCHAR* path, DWORD units = 260) {
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.lpstrFilter = u"Paper files (*.udp)\0*.udp\0All\0*.*\0";
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = units;
    ofn.lpstrTitle = u"Pick";
    ofn.lpstrDefExt = u"udp";
    ofn.Flags = flags;
    const BOOL r = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    offset_ = ofn.nFileOffset;
    extension_ = ofn.nFileExtension;
    return r;
  }
  testsupport::MachineRoot machine_{"plat-commdlg"};
  std::vector<std::string> failures_;
  WORD offset_ = 0, extension_ = 0;
};

TEST_F(FileDialog, AnswersComeFromTheScriptAndEveryCallIsRecorded) {
  WCHAR path[260] = u"*.udp";
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  ASSERT_TRUE(Ask(false, OFN_FILEMUSTEXIST | OFN_EXPLORER, path));
  EXPECT_EQ(std::u16string(path), u"C:\\data\\old.udp");
  EXPECT_EQ(offset_, 8);
  EXPECT_EQ(extension_, 12);
  plat::ui::QueueFileAnswer(std::nullopt);
  EXPECT_FALSE(Ask(true, OFN_OVERWRITEPROMPT, path));
  EXPECT_EQ(CommDlgExtendedError(), 0u) << "a cancel is no error";
  // A name without an extension gets the default one.
  plat::ui::QueueFileAnswer(u"C:\\data\\new");
  ASSERT_TRUE(Ask(true, OFN_OVERWRITEPROMPT, path));
  EXPECT_EQ(std::u16string(path), u"C:\\data\\new.udp");

  const auto log = plat::ui::FileDialogLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_FALSE(log[0].save);
  EXPECT_EQ(log[0].title, u"Pick");
  ASSERT_EQ(log[0].filters.size(), 2u);
  EXPECT_EQ(log[0].filters[0], std::make_pair(std::u16string(u"Paper files (*.udp)"), std::u16string(u"*.udp")));
  EXPECT_EQ(log[0].filters[1], std::make_pair(std::u16string(u"All"), std::u16string(u"*.*")));
  EXPECT_EQ(log[0].defaultExtension, u"udp");
  EXPECT_EQ(log[0].flags, OFN_FILEMUSTEXIST | OFN_EXPLORER);
  EXPECT_EQ(log[0].initialFile, u"*.udp");
  EXPECT_EQ(log[0].answer, std::optional<std::u16string>(u"C:\\data\\old.udp"));
  EXPECT_TRUE(log[1].save);
  EXPECT_FALSE(log[1].answer.has_value());
  EXPECT_TRUE(failures_.empty());
}

// The scripted user's reset takes the file dialogs' queued answers and log
// along: a dialog after it has no answer left.
TEST_F(FileDialog, ResetScriptClearsQueuedAnswersAndTheLog) {
  WCHAR path[260] = {};
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  ASSERT_TRUE(Ask(false, OFN_FILEMUSTEXIST, path));
  ASSERT_EQ(plat::ui::FileDialogLog().size(), 1u);
  plat::ui::ResetScript();
  EXPECT_TRUE(plat::ui::FileDialogLog().empty());
  std::vector<std::string> failures;
  plat::ui::SetFailureHook([&](const std::string& what) { failures.push_back(what); });
  EXPECT_FALSE(Ask(false, OFN_FILEMUSTEXIST, path)) << "the second answer went with the reset";
  EXPECT_EQ(failures.size(), 1u) << "no answer for the dialog";
  EXPECT_EQ(plat::ui::FileDialogLog().size(), 1u);
}

TEST_F(FileDialog, PathsThatMustExistAreScriptFaults) {
  WCHAR path[260] = {};
  plat::ui::QueueFileAnswer(u"C:\\data\\missing.udp");
  EXPECT_FALSE(Ask(false, OFN_FILEMUSTEXIST, path));
  plat::ui::QueueFileAnswer(u"C:\\nofolder\\x.udp");
  EXPECT_FALSE(Ask(true, OFN_PATHMUSTEXIST, path));
  EXPECT_FALSE(Ask(false, 0, path)) << "no answer queued";
  EXPECT_EQ(failures_.size(), 3u);
  // Without the flags the same path is taken.
  plat::ui::QueueFileAnswer(u"C:\\data\\missing.udp");
  EXPECT_TRUE(Ask(false, 0, path));
}

TEST_F(FileDialog, OverwritePromptAsksThroughAMessageBox) {
  WCHAR path[260] = {};
  // No: the dialog stays open and takes the next answer.
  plat::ui::QueueMessageBoxAnswer(IDNO);
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  plat::ui::QueueFileAnswer(u"C:\\data\\other.udp");
  ASSERT_TRUE(Ask(true, OFN_OVERWRITEPROMPT, path));
  EXPECT_EQ(std::u16string(path), u"C:\\data\\other.udp");
  plat::ui::QueueMessageBoxAnswer(IDYES);
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  ASSERT_TRUE(Ask(true, OFN_OVERWRITEPROMPT, path));
  EXPECT_EQ(std::u16string(path), u"C:\\data\\old.udp");
  const auto boxes = plat::ui::MessageBoxLog();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].type & MB_TYPEMASK, MB_YESNO);
  EXPECT_NE(boxes[0].text.find(u"C:\\data\\old.udp"), std::u16string::npos);
  // Without the flag nothing is asked.
  plat::ui::QueueFileAnswer(u"C:\\data\\old.udp");
  ASSERT_TRUE(Ask(true, 0, path));
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 2u);
}

TEST_F(FileDialog, WrongCallsFailWithTheirCode) {
  WCHAR path[8] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = 76 + 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = 8;
  EXPECT_FALSE(GetOpenFileNameW(&ofn));
  EXPECT_EQ(CommDlgExtendedError(), CDERR_STRUCTSIZE);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  plat::ui::QueueFileAnswer(u"C:\\a.u");
  EXPECT_TRUE(GetOpenFileNameW(&ofn));
  // A path longer than the buffer.
  plat::ui::QueueFileAnswer(u"C:\\data\\long.udp");
  EXPECT_FALSE(Ask(false, 0, path, 8));
  EXPECT_EQ(CommDlgExtendedError(), FNERR_BUFFERTOOSMALL);
}

TEST_F(FileDialog, MoveFileReplacesAnExistingTargetWhole) {
  std::ofstream(machine_.path() / "C" / "data" / "new.tmp") << "new contents";
  EXPECT_FALSE(MoveFileExW(u"C:\\data\\new.tmp", u"C:\\data\\old.udp", 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
  ASSERT_TRUE(MoveFileExW(u"C:\\data\\new.tmp", u"C:\\data\\old.udp", MOVEFILE_REPLACE_EXISTING));
  std::ifstream in(machine_.path() / "C" / "data" / "old.udp");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "new contents");
  EXPECT_FALSE(fs::exists(machine_.path() / "C" / "data" / "new.tmp"));
}

}  // namespace
