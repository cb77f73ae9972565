// The whole life of an installation on a machine root made by tools/machine:
// install from the built medium, print through the printer from another
// process, uninstall with the tool folder's Setup.exe (a process of its own,
// a scripted user choosing the restart), and find the machine as it was.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>

#include "installer/install_worker.h"
#include "installer/model_folders.h"
#include "installer_fixture.h"

namespace installer_test {
namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

BOOL IgnorePost(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

class FullCycle : public MachineRoot {
 protected:
  void RunCycle(int type);

  // Every file and folder of the drives with its attributes and contents,
  // and the machine's state files (an empty one counts as none).
  std::map<std::string, std::string> Snapshot() {
    std::map<std::string, std::string> shot;
    plat::profile::DropCache();
    for (const auto& drive : fs::directory_iterator(root_)) {
      const std::string name = drive.path().filename().string();
      if (name.size() != 1) continue;
      for (const auto& entry : fs::recursive_directory_iterator(drive.path())) {
        const std::u16string windows = plat::machine::WindowsPath(entry.path().string());
        const std::string rel = fs::relative(entry.path(), root_).string();
        std::string what = "attributes " + std::to_string(GetFileAttributesW(windows.c_str()));
        if (entry.is_regular_file()) {
          // Small files by content; the medium's large libraries by size and time.
          const auto size = entry.file_size();
          if (size < 65536) {
            what += ' ';
            what += ReadAll(entry.path());
          } else {
            what += " size ";
            what += std::to_string(size);
            what += " time ";
            what += std::to_string(entry.last_write_time().time_since_epoch().count());
          }
        }
        shot[rel] = what;
      }
    }
    for (const auto& entry : fs::directory_iterator(root_ / ".machine" / "state")) {
      const std::string name = entry.path().filename().string();
      if (name == ".lock" || name.find(".new.") != std::string::npos) continue;
      const std::string text = ReadAll(entry.path());
      if (!text.empty()) shot["state/" + name] = text;
    }
    return shot;
  }
};

// Type 1 (the network installer) and Type 4 (the full one, on Windows 7 x64
// from the driver store): the machine is as before, but for the stored
// driver package, which no uninstaller step removes.
TEST_F(FullCycle, UninstallFromTheToolFolderLeavesTheMachineAsBefore) {
  for (int type : {1, 4}) {
    SCOPED_TRACE("Type " + std::to_string(type));
    TearDown();
    SetUp();
    RunCycle(type);
  }
}

void FullCycle::RunCycle(int type) {
  const std::string bin = BIN_DIR_STR;
  std::string out;
  ASSERT_EQ(RunShell("'" + bin + "/machine' init '" + root_.string() + "' --version 6.1 --arch x64 --drive D=cdrom:CDFS:NEVO",
                     &out),
            0)
      << out;
  plat::machine::SetRoot(root_.string());
  fs::remove_all(root_ / "D");
  fs::copy(fs::path(bin).parent_path() / "medium", root_ / "D", fs::copy_options::recursive);
  if (type == 1) {
    ASSERT_TRUE(WritePrivateProfileStringW(u"Setup", u"Type", u"1", u"D:\\Setup.ini"));
  }
  const auto before = Snapshot();

  installer::SetupContext ctx;
  ReadMedium(ctx, u"NEVO RP1100");
  ctx.type = type;
  installer::SetField(ctx.uninstIniPath, u"D:\\uninst.ini");
  ASSERT_EQ(installer::ReadModelFolder(ctx), 1);
  ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
  ASSERT_NE(ctx.languageLibrary, nullptr);
  WCHAR datatype[32] = {};
  installer::CopyList list{};
  installer::InstallWorkerArgs args{nullptr, datatype, &list, &ctx, IgnorePost};
  installer::InstallWorkerThread(&args);
  FreeLibrary(ctx.languageLibrary);
  ASSERT_TRUE(plat::ui::MessageBoxLog().empty());
  const fs::path tool = root_ / "C/Program Files/NEVO/NEVO RP/Tool";
  ASSERT_TRUE(fs::exists(tool / "Setup.exe"));

  ASSERT_EQ(RunShell("'" + bin + "/printjob' --root '" + root_.string() + "' --printer 'NEVO 2600 office' --out '" +
                         (root_ / "job.prn").string() + "'",
                     &out),
            0)
      << out;
  fs::remove(root_ / "job.prn");

  // The uninstaller from the tool folder (Type 5 asks for the language
  // first): all printers, then the restart.
  const std::string log = (root_ / "ui.log").string();
  const std::string pages = std::string(type == 4 ? "111:choose 1013 US;111:click 1;" : "") +
                            "114:click 1;115:click 1;116:click 1;117:wait 600000;118:click 1007";
  ASSERT_EQ(RunShell("cd / && PLAT_SLEEP_SCALE=0.01 PLAT_UI_SCRIPT='" + pages + "' PLAT_UI_LOG='" + log + "' '" +
                         (tool / "Setup.exe").string() + "' < /dev/null",
                     &out),
            0)
      << out;
  const std::string ui = ReadAll(log);
  EXPECT_NE(ui.find("{\"ev\":\"end\",\"page\":\"118\",\"result\":2}"), std::string::npos) << ui;
  fs::remove(log);

  plat::machine::SetRoot(root_.string());  // takes up what the other processes left
  const auto after = Snapshot();
  for (const auto& [path, what] : before) {
    const auto it = after.find(path);
    if (it == after.end()) ADD_FAILURE() << "gone: " << path;
    else if (it->second != what) ADD_FAILURE() << "changed: " << path << "\n" << what.substr(0, 300) << "\n---\n" << it->second.substr(0, 300);
  }
  for (const auto& [path, what] : after) {
    const bool stored = type == 4 && path.rfind("C/WINDOWS/system32/DriverStore", 0) == 0;
    if (!before.count(path) && !stored) ADD_FAILURE() << "left: " << path << " " << what.substr(0, 200);
  }
}

}  // namespace
}  // namespace installer_test
