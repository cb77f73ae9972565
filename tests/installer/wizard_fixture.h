// A medium on D: with the wizard's language library (the medium's page
// templates), two kinds of model, and a context as the language page leaves
// it; the scripted user records the pages it sees.
#pragma once

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "installer/installer_entry.h"
#include "installer/wizard.h"
#include "installer_fixture.h"

namespace installer_test {

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

class Wizard : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    plat::machine::SetSleepScale(0);
    plat::registry::Reset();
    plat::spooler::AddPort(u"LPT1:");
    WriteLanguageLibrary("9\tCopy\n");
  }
  void TearDown() override {
    if (ctx_.languageLibrary) FreeLibrary(ctx_.languageLibrary);
    ctx_.languageLibrary = nullptr;
    installer::StopCloserThread(ctx_);
    plat::ui::ResetScript();
    MachineRoot::TearDown();
  }

  void WriteLanguageLibrary(const std::string& extraStrings, const std::string& memoryFolder = "USBMEM") {
    Write("D/NEVO/lang_us.dll",
          "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n6\tEmpty name\n7\tName exists\n8\tBad character\n" + extraStrings +
              "11\t" + memoryFolder + "\n28\tLeave?\n31\tFailed\n32\tTest page?\n" +
              ReadText(std::string(RESOURCES_DIR_STR) + "/installer_pages.res.txt"));
  }

  // The medium: kinds "Classic" (NEVO RP1100, NEVO RP2600) and "Wide" (NEVO RP9000).
  void WriteMedium(const std::string& os, int validOutput, const std::string& except) {
    Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\nUS=lang_us.dll\n[Setup]\nType=4\nLangStyle=2\n[OS]\n" + os +
                             "\n[Language]\nUS=US\n");
    Write("D/inst.ini", "[Model]\nKindNum=2\nKindName=Classic,Wide\nValidOutPut=" + std::to_string(validOutput) +
                            "\n[Classic]\nINF=,classic.inf\n[Wide]\nINF=,wide.inf\n[Driver]\nFolderName=Driver\n"
                            "[Setup]\nReadmeENG=readme.txt\nexcept=" + except + "\n");
    Write("D/uninst.ini", "[Model]\n\"NEVO RP1100\"=0,A\n\"NEVO RP2600\"=1,A\n[Folder]\nA=NEVO RP\n");
    const std::string osFolder = os.substr(os.find('=') + 1);
    const std::string models =
        "[Manufacturer]\n%M%=NEVO,NTamd64\n[NEVO]\n{}[NEVO.NTamd64]\n{}[Strings]\nM=\"Maker\"\n";
    auto inf = [&](const std::string& lines) {
      std::string text = "[Version]\nSignature=\"$Windows NT$\"\n" + models;
      for (int i = 0; i < 2; ++i) text.replace(text.find("{}"), 2, lines);
      return text;
    };
    Write("D/Driver/" + osFolder + "/Classic/US/classic.inf",
          inf("\"NEVO RP1100\"=R1100,USBPRINT\\NEVORP1100A1B2\n\"NEVO RP2600\"=R2600,USBPRINT\\NEVORP2600C3D4\n"));
    Write("D/Driver/" + osFolder + "/Wide/US/wide.inf", inf("\"NEVO RP9000\"=R9000,USBPRINT\\NEVORP9000\n"));
    Write("D/readme.txt", "readme\n");
  }

  // The context after the language page: US chosen, type 4 or 1.
  void Prepare(DWORD major, DWORD minor, bool x64, const std::string& osRow, int type, int validOutput = 7,
               const std::string& except = "") {
    SetOs(major, minor, x64);
    WriteMedium(osRow, validOutput, except);
    plat::profile::DropCache();
    std::memset(&ctx_, 0, sizeof ctx_);
    installer::SetField(ctx_.setupFolder, u"D:\\");
    installer::SetField(ctx_.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx_.instIniPath, u"D:\\inst.ini");
    installer::SetField(ctx_.uninstIniPath, u"D:\\uninst.ini");
    installer::SetField(ctx_.resourceFolder, u"D:\\NEVO\\");
    ctx_.type = type;
    ctx_.langStyle = 2;
    ctx_.installDriver = 1;
    ASSERT_EQ(installer::DetectOsName(ctx_), 1);
    installer::SetField(ctx_.languageCode, u"US");
    ASSERT_EQ(installer::ReadLanguageSettings(ctx_), 1);
    ASSERT_EQ(installer::ReadDriverFolderAndReadme(ctx_, u"D:\\inst.ini"), 1);
    ASSERT_EQ(installer::ReadModelInfo(ctx_, u"D:\\inst.ini"), 1);
    ctx_.languageLibrary = LoadLibraryW(ctx_.languageLibraryPath);
    ASSERT_NE(ctx_.languageLibrary, nullptr);
  }

  // A driver of that name in the spooler (files in the driver folder).
  void InstallDriver(const std::u16string& driverName) {
    for (const char* file : {"render.dll", "ui.dll", "model.rdf"})
      Write(std::string("C/WINDOWS/system32/spool/drivers/") +
                (plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? "x64" : "W32X86") +
                "/" + file,
            "file");
    std::u16string name = driverName;
    WCHAR render[] = u"render.dll", ui[] = u"ui.dll", data[] = u"model.rdf", deps[] = u"\0";
    DRIVER_INFO_6W driver{};
    driver.pName = name.data();
    driver.pDriverPath = render;
    driver.pConfigFile = ui;
    driver.pDataFile = data;
    driver.pDependentFiles = deps;
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&driver), APD_COPY_NEW_FILES));
  }

  // Queues one handler per step; each records the page it met.
  void Script(const std::vector<std::pair<int, std::function<void(plat::ui::Screen&)>>>& steps) {
    for (const auto& step : steps) {
      const int page = step.first;
      const std::function<void(plat::ui::Screen&)>& act = step.second;
      plat::ui::QueueHandler([this, page, act](plat::ui::Screen& s) {
        seen_.push_back(s.kind() == plat::ui::Screen::Kind::MessageBox ? 0 : s.templateId());
        EXPECT_EQ(seen_.back(), page) << "step " << seen_.size();
        if (act) act(s);
      });
    }
  }

  installer::SetupContext ctx_{};
  std::vector<int> seen_;
};

inline std::function<void(plat::ui::Screen&)> Press(int id) {
  return [id](plat::ui::Screen& s) { EXPECT_TRUE(s.Click(id)) << s.LastError(); };
}
inline std::function<void(plat::ui::Screen&)> Answer(int id) { return Press(id); }

}  // namespace installer_test
