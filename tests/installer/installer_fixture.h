// A machine root with an installation medium on drive D: (a CD-ROM) for the
// installer's tests: Setup.ini, inst.ini and a driver INF with its files.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "installer/installer_entry.h"
#include "plat/windows.h"
#include "support/run_command.h"

namespace installer_test {

namespace fs = std::filesystem;

// Runs a shell command; its exit status (-1 when it did not end normally),
// what it wrote to stdout and stderr in *out.
inline int RunShell(const std::string& command, std::string* out) {
  return testsupport::RunCommand(command + " 2>&1", out);
}

class MachineRoot : public testing::Test {
 protected:
  void SetUp() override {
    static int counter = 0;
    root_ = fs::temp_directory_path() / ("installer-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter));
    fs::create_directories(root_ / "C" / "WINDOWS");
    fs::create_directories(root_ / "D");
    // The folders the shell names on every system version.
    fs::create_directories(root_ / "C" / "Program Files");
    fs::create_directories(root_ / "C" / "ProgramData/Microsoft/Windows/Start Menu/Programs");
    fs::create_directories(root_ / "C" / "Documents and Settings/All Users/Start Menu/Programs");
    plat::machine::SetRoot(root_.string());
    plat::machine::Reset();
    plat::machine::AddDrive({u'D', DRIVE_CDROM, u"CDFS", u"NEVO", 7});
    plat::spooler::Reset();
    plat::resources::Reset();
    plat::ui::ResetMessageBoxes();
    plat::profile::DropCache();
  }
  void TearDown() override {
    plat::spooler::Reset();
    plat::resources::Reset();
    plat::ui::ResetMessageBoxes();
    plat::machine::Reset();
    fs::remove_all(root_);
  }

  // Writes a file of the root; rel uses '/' ("D/Setup.ini").
  void Write(const std::string& rel, const std::string& text) {
    const fs::path path = root_ / rel;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  // What the tool folder copies from the medium: the launcher, uninst.ini,
  // the installer library and the "US" language library.
  void WriteToolFiles() {
    Write("D/Setup.exe", "setup program");
    Write("D/uninst.ini", "[Model]\nNum=2\n\"NEVO 2600\"=0,0\n\"NEVO RP2600\"=0,0\n[Folder]\nNum=1\n0=NEVO 2600\n");
    Write("D/NEVO/installcore.dll", "installer library");
    Write("D/setupres.dll", "RESOURCES 1\n[STRINGTABLE]\n102\tNEVO Setup\n105\tUninstaller\n106\tNot listed.\n");
    Write("D/NEVO/lang_us.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n10\tNEVO Works\n12\tNEVO Preview\n"
                                "27\tNo printer of this package is installed.\n29\tLeave the uninstallation?\n"
                                "31\tThe installation failed.\n45\tUninstall NEVO\n");
  }
  bool Exists(const std::string& rel) const { return fs::exists(root_ / rel); }
  std::string Host(const std::string& rel) const { return (root_ / rel).string(); }

  void SetOs(DWORD major, DWORD minor, bool x64, BYTE product = VER_NT_WORKSTATION) {
    plat::machine::OsProfile os;
    os.major = major;
    os.minor = minor;
    os.productType = product;
    os.nativeArchitecture = x64 ? PROCESSOR_ARCHITECTURE_AMD64 : PROCESSOR_ARCHITECTURE_INTEL;
    os.processArchitecture = os.nativeArchitecture;
    plat::machine::SetOsProfile(os);
  }

  // The context as the dispatch and the pages leave it for the worker: the
  // medium on D: read for "US" (Type 1, LangStyle 2), a model to install as
  // printer "NEVO 2600 office" on LPT1:.
  void ReadMedium(installer::SetupContext& ctx, std::u16string_view model) {
    std::memset(&ctx, 0, sizeof ctx);
    installer::SetField(ctx.setupFolder, u"D:\\");
    installer::SetField(ctx.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx.resourceFolder, u"D:\\NEVO\\");
    ctx.type = 1;
    ctx.langStyle = 2;
    ASSERT_EQ(installer::DetectOsName(ctx), 1);
    installer::SetField(ctx.languageCode, u"US");
    ASSERT_EQ(installer::ReadLanguageSettings(ctx), 1);
    ASSERT_EQ(installer::ReadDriverFolderAndReadme(ctx, u"D:\\inst.ini"), 1);
    ASSERT_EQ(installer::ReadModelInfo(ctx, u"D:\\inst.ini"), 1);
    installer::SetField(ctx.modelName, model);
    installer::SetField(ctx.printerName, u"NEVO 2600 office");
    installer::SetField(ctx.portName, u"LPT1:");
    installer::SetField(ctx.productFolder, u"NEVO 2600");
    installer::SetField(ctx.resourceFolderName, u"NEVO");
    ctx.installDriver = 1;
  }

  fs::path root_;
};

}  // namespace installer_test
