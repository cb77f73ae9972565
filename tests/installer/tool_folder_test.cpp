#include "installer/tool_folder.h"

#include <fstream>
#include <iterator>

#include "installer_fixture.h"
#include "plat/shell_link.h"

namespace installer_test {
namespace {

using installer::SetupContext;
using installer::Str;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class ToolFolder : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    plat::spooler::AddPort(u"LPT1:");
  }
  void TearDown() override {
    if (ctx_.languageLibrary) FreeLibrary(ctx_.languageLibrary);
    if (ctx_.setupInstance) FreeLibrary(ctx_.setupInstance);
    plat::shell::SetShellLinkAvailable(true);
    MachineRoot::TearDown();
  }

  // A medium with two languages, manuals for "US", a preview program, and a
  // printer "NEVO office" of model "NEVO 2600".
  void Prepare(int type, DWORD major, DWORD minor, const char16_t* osName, bool manuals = true) {
    SetOs(major, minor, false);
    fs::create_directories(root_ / "C" / "Program Files");
    fs::create_directories(root_ / "C" / "ProgramData/Microsoft/Windows/Start Menu/Programs");
    fs::create_directories(root_ / "C" / "Documents and Settings/All Users/Start Menu/Programs");
    Write("D/Setup.ini",
          "[Setup]\nType=" + std::to_string(type) + "\nLangStyle=" + (type == 3 ? "0" : "2") +
              "\n[DLL]\nFolderName=NEVO\nUS=lang_us.dll\nJPN=lang_jpn.dll\n[Language]\nUS=ENG\nJPN=JPN\n"
              "[Manual]\nFolderName=Manuals\nUS=English\n[PVAPP]\nFileName=pvedit.exe\n");
    Write("D/uninst.ini", "[Model]\nNum=1\n\"NEVO 2600\"=1,0\n[Folder]\nNum=1\n0=NEVO 2600\n");
    Write("D/Setup.exe", "setup program");
    Write("D/Swiftinst.exe", "quick setup program");
    Write("D/setupres.dll", "RESOURCES 1\n[STRINGTABLE]\n105\tUninstaller\n");
    Write("D/NEVO/installcore.dll", "installer library");
    Write("D/NEVO/lang_us.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n10\tNEVO Works\n12\tNEVO Preview\n"
                                "45\tUninstall NEVO\n");
    Write("D/NEVO/lang_jpn.dll", "RESOURCES 1\n[STRINGTABLE]\n10\tNEVO JP\n");
    Write("D/NEVO/Preview and Edit/pvedit.exe", "preview program");
    Write("D/NEVO/Preview and Edit/data/pv.dat", "preview data");
    if (manuals) {
      Write("D/Manuals/NEVO 2600/English/guide.pdf", "guide");
      Write("D/Manuals/NEVO 2600/English/quick start.pdf", "quick");
    }
    std::memset(&ctx_, 0, sizeof ctx_);
    installer::SetField(ctx_.setupFolder, u"D:\\");
    installer::SetField(ctx_.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx_.resourceFolder, u"D:\\NEVO\\");
    installer::SetField(ctx_.resourceFolderName, u"NEVO");
    installer::SetField(ctx_.languageCode, u"US");
    installer::SetField(ctx_.languageValue, u"ENG");
    installer::SetField(ctx_.languageLibraryName, u"lang_us.dll");
    installer::SetField(ctx_.languageLibraryPath, u"D:\\NEVO\\lang_us.dll");
    installer::SetField(ctx_.osName, osName);
    installer::SetField(ctx_.productFolder, u"NEVO 2600");
    installer::SetField(ctx_.manualSourceFolder, u"D:\\Manuals\\NEVO 2600\\English\\");
    installer::SetField(ctx_.manualLanguageFolder, u"English");
    installer::SetField(ctx_.printerName, u"NEVO office");
    ctx_.type = type;
    ctx_.langStyle = type == 3 ? 0 : 2;
    ctx_.previewFlag = 1;
    ctx_.languageLibrary = LoadLibraryW(u"D:\\NEVO\\lang_us.dll");
    ctx_.setupInstance = LoadLibraryW(u"D:\\setupres.dll");
    ASSERT_NE(ctx_.languageLibrary, nullptr);
    plat::spooler::PrinterSetup printer;
    printer.name = u"NEVO office";
    printer.port = u"LPT1:";
    printer.driver.name = u"NEVO 2600";
    ASSERT_TRUE(plat::spooler::AddPrinter(printer));
  }

  // The tool-folder steps of the install sequence.
  void RunSteps(bool manuals) {
    ASSERT_EQ(installer::CopyToolFiles(ctx_), 1);
    if (manuals) {
      EXPECT_GT(installer::CopyManuals(ctx_), 0);
    }
    if (ctx_.type == 4 && ctx_.previewFlag == 1) {
      EXPECT_EQ(installer::InstallPreviewApp(ctx_), 1);
    }
    EXPECT_EQ(installer::ClearReadOnlyTree(Str(ctx_.productPath)), 1);
    EXPECT_EQ(installer::WriteUninstallerSetupIni(ctx_), 1);
  }

  fs::path Product() const { return root_ / "C/Program Files/NEVO Works/NEVO 2600"; }

  SetupContext ctx_{};
};

struct ToolCase {
  int type;
  const char16_t* os;
  DWORD major, minor;
  const char* linkFolder;  // under C/
  const char* uninstallerName;
};

TEST_F(ToolFolder, LaysOutTheProductFolderAndItsLinks) {
  const ToolCase cases[] = {
      {1, u"WinXP", 5, 1, "Documents and Settings/All Users/Start Menu/Programs/NEVO Works/NEVO 2600",
       "Uninstall NEVO"},
      {3, u"Win7", 6, 1, "ProgramData/Microsoft/Windows/Start Menu/Programs/NEVO Works/NEVO 2600", "Uninstall NEVO"},
      {4, u"Win7", 6, 1, "ProgramData/Microsoft/Windows/Start Menu/Programs/NEVO Works/NEVO 2600", "Uninstaller"},
      {4, u"Win8", 6, 2, "ProgramData/Microsoft/Windows/Start Menu/Programs/NEVO Works NEVO 2600", "Uninstaller"},
  };
  for (const ToolCase& c : cases) {
    SCOPED_TRACE("Type " + std::to_string(c.type) + " " + plat::utf8(c.os));
    TearDown();
    SetUp();
    Prepare(c.type, c.major, c.minor, c.os);
    RunSteps(true);
    EXPECT_EQ(Str(ctx_.productPath), u"C:\\Program Files\\NEVO Works\\NEVO 2600\\");
    EXPECT_EQ(Str(ctx_.makerFolderName), u"NEVO Works");
    const fs::path tool = Product() / "Tool";
    EXPECT_EQ(ReadText(tool / "Setup.exe"), c.type == 3 ? "quick setup program" : "setup program");
    EXPECT_EQ(ReadText(tool / "uninst.ini"), ReadText(root_ / "D/uninst.ini"));
    EXPECT_EQ(ReadText(tool / "NEVO/installcore.dll"), "installer library");
    EXPECT_TRUE(fs::exists(tool / "NEVO/lang_us.dll"));
    EXPECT_EQ(fs::exists(tool / "NEVO/lang_jpn.dll"), c.type == 4);
    // The copied medium files are writable in the product folder.
    for (const auto& entry : fs::recursive_directory_iterator(Product())) {
      const std::u16string path = plat::machine::WindowsPath(entry.path().string());
      EXPECT_EQ(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << entry.path();
    }

    // The uninstaller's Setup.ini.
    const std::u16string ini = plat::machine::WindowsPath((tool / "Setup.ini").string());
    auto value = [&](const char16_t* section, const char16_t* key) {
      WCHAR text[100] = {};
      GetPrivateProfileStringW(section, key, u"error", text, 100, ini.c_str());
      return std::u16string(Str(text));
    };
    plat::profile::DropCache();
    EXPECT_EQ(value(u"Setup", u"Type"), c.type == 4 ? u"5" : u"2");
    EXPECT_EQ(value(u"Setup", u"LangStyle"), c.type == 4 ? u"2" : u"0");
    EXPECT_EQ(value(u"Language", u"US"), u"ENG");
    EXPECT_EQ(value(u"Language", u"JPN"), c.type == 4 ? u"JPN" : u"error");
    EXPECT_EQ(value(u"DLL", u"FolderName"), u"NEVO");
    EXPECT_EQ(value(u"DLL", u"US"), u"lang_us.dll");
    EXPECT_EQ(value(u"DLL", u"JPN"), c.type == 4 ? u"lang_jpn.dll" : u"error");
    EXPECT_EQ(value(u"Manual", u"FolderName"), u"error");
    EXPECT_EQ(value(u"PVAPP", u"FileName"), u"pvedit.exe");

    // Links: the uninstaller, the manuals, and the preview program for Type 4.
    const fs::path links = root_ / "C" / c.linkFolder;
    auto target = [&](const std::string& name) {
      return plat::utf8(plat::shell::LinkTarget(plat::machine::WindowsPath((links / (name + ".lnk")).string())));
    };
    EXPECT_EQ(target(c.uninstallerName), "C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\Setup.exe");
    EXPECT_EQ(target("guide"), "C:\\Program Files\\NEVO Works\\NEVO 2600\\Manual\\English\\guide.pdf");
    EXPECT_EQ(target("quick start"), "C:\\Program Files\\NEVO Works\\NEVO 2600\\Manual\\English\\quick start.pdf");
    EXPECT_EQ(ReadText(Product() / "Manual/English/guide.pdf"), "guide");
    std::size_t linkCount = 0;
    for (const auto& entry : fs::directory_iterator(links)) linkCount += entry.path().extension() == ".lnk";
    EXPECT_EQ(linkCount, c.type == 4 ? 4u : 3u);
    const std::u16string previewPath = u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Preview and Edit\\pvedit.exe";
    const auto preview = plat::spooler::GetData(u"NEVO office", u"Preview EXE");
    if (c.type == 4) {
      EXPECT_EQ(target("NEVO Preview"), plat::utf8(previewPath));
      EXPECT_EQ(ReadText(Product() / "Preview and Edit/data/pv.dat"), "preview data");
      ASSERT_TRUE(preview.has_value());
      EXPECT_EQ(preview->type, static_cast<DWORD>(REG_SZ));
      // Twice the length in bytes, no terminator.
      const std::vector<BYTE> expected(reinterpret_cast<const BYTE*>(previewPath.data()),
                                       reinterpret_cast<const BYTE*>(previewPath.data() + previewPath.size()));
      EXPECT_EQ(preview->bytes, expected);
    } else {
      EXPECT_FALSE(fs::exists(Product() / "Preview and Edit"));
      EXPECT_FALSE(preview.has_value());
    }
    EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
    // Every folder search (manual links, read-only clearing) was closed.
    EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::Find), 0u);
  }
}

TEST_F(ToolFolder, AMakerFolderNameIsReadWithTheSameLengthEverywhere) {
  Prepare(1, 6, 1, u"Win7");
  FreeLibrary(ctx_.languageLibrary);
  Write("D/NEVO/lang_us.dll", "RESOURCES 1\n[STRINGTABLE]\n10\t" + std::string(40, 'M') + "\n45\tUninstall\n");
  ctx_.languageLibrary = LoadLibraryW(u"D:\\NEVO\\lang_us.dll");
  ASSERT_EQ(installer::CopyToolFiles(ctx_), 1);
  EXPECT_EQ(Str(ctx_.makerFolderName), std::u16string(29, u'M'));
  EXPECT_TRUE(fs::exists(root_ / "C/Program Files" / std::string(29, 'M') / "NEVO 2600/Tool/Setup.exe"));
}

TEST_F(ToolFolder, AManualFolderWithoutFilesGivesNoLinks) {
  Prepare(1, 6, 1, u"Win7", false);
  fs::create_directories(root_ / "D/Manuals/NEVO 2600/English");
  ASSERT_EQ(installer::CopyToolFiles(ctx_), 1);
  EXPECT_EQ(installer::CopyManuals(ctx_), -1);
  std::size_t links = 0;
  for (const auto& entry :
       fs::directory_iterator(root_ / "C/ProgramData/Microsoft/Windows/Start Menu/Programs/NEVO Works/NEVO 2600"))
    links += entry.path().extension() == ".lnk";
  EXPECT_EQ(links, 1u);  // the uninstaller only
}

TEST_F(ToolFolder, PreviewPathLongerThanAPathBufferIsRefused) {
  Prepare(4, 6, 1, u"Win7");
  const std::u16string fits = u"C:\\" + std::u16string(256, u'p');   // 259 units
  const std::u16string over = fits + u"q";                           // 260 units
  EXPECT_EQ(installer::SetPreviewExePath(over, ctx_), 0);
  EXPECT_FALSE(plat::spooler::GetData(u"NEVO office", u"Preview EXE").has_value());
  EXPECT_EQ(installer::SetPreviewExePath(fits, ctx_), 1);
  const auto value = plat::spooler::GetData(u"NEVO office", u"Preview EXE");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(value->bytes.size(), fits.size() * 2);
  // A printer that cannot be opened leaves the value unset, without a message.
  installer::SetField(ctx_.printerName, u"missing");
  EXPECT_EQ(installer::SetPreviewExePath(u"C:\\x.exe", ctx_), 0);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(ToolFolder, WithoutTheShellLinkObjectNoLinkIsMade) {
  Prepare(1, 6, 1, u"Win7");
  plat::shell::SetShellLinkAvailable(false);
  EXPECT_EQ(installer::CopyToolFiles(ctx_), 0);  // the uninstaller link is the step's result
  EXPECT_TRUE(fs::exists(Product() / "Tool/Setup.exe"));
  EXPECT_EQ(installer::CreateShellLink(u"C:\\", u"x", u"C:\\y"), 0);
  EXPECT_FALSE(fs::exists(root_ / "C/x.lnk"));
}

TEST_F(ToolFolder, AFailingFolderIsShownAndStopsTheCopy) {
  Prepare(1, 6, 1, u"Win7");
  // A file where the maker folder should be.
  Write("C/Program Files/NEVO Works", "in the way");
  EXPECT_EQ(installer::CopyToolFiles(ctx_), 0);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 1u);
}

}  // namespace
}  // namespace installer_test
