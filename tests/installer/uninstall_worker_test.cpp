#include "installer/uninstall_worker.h"

#include <fstream>
#include <iterator>
#include <mutex>

#include "installer/tool_folder.h"
#include "installer/uninstall.h"
#include "installer_fixture.h"
#include "plat/services.h"
#include "plat/shell_link.h"

namespace installer_test {
namespace {

using installer::SetupContext;
using installer::Str;

std::mutex g_mutex;
std::vector<std::pair<UINT, WPARAM>> g_posts;

BOOL Record(HWND, UINT message, WPARAM wParam, LPARAM) {
  std::lock_guard lock(g_mutex);
  g_posts.emplace_back(message, wParam);
  return TRUE;
}

class UninstallWorker : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    SetOs(6, 1, true);
    plat::services::Reset();
    plat::machine::FreezeClock(true);
    plat::machine::SetSleepScale(0);
    g_posts.clear();
    plat::spooler::AddPort(u"LPT1:");
  }
  void TearDown() override {
    plat::ui::ResetScript();
    installer::FreeChosenPrinters(ctx_);
    if (ctx_.languageLibrary) FreeLibrary(ctx_.languageLibrary);
    plat::services::Reset();
    plat::files::RunPendingOperations();  // nothing queued leaks into the next test
    MachineRoot::TearDown();
  }

  // The driver "NEVO 2600" (its interface library loads when `held`, so the
  // spooler keeps it), the processor "NEVO Processor", and printers of it.
  void InstallPrinters(const std::vector<std::u16string>& names, const char16_t* processor, bool held) {
    const std::string spool = "C/WINDOWS/system32/spool/";
    Write(spool + "drivers/x64/render.dll", "render");
    Write(spool + "drivers/x64/ui.dll", held ? "RESOURCES 1\n[STRINGTABLE]\n1\tui\n" : "ui");
    Write(spool + "drivers/x64/NEVO2600.RDF", "model");
    std::u16string name = u"NEVO 2600", render = u"render.dll", ui = u"ui.dll", data = u"NEVO2600.RDF";
    DRIVER_INFO_3W info{};
    info.pName = name.data();
    info.pDriverPath = render.data();
    info.pConfigFile = ui.data();
    info.pDataFile = data.data();
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES));
    Write(spool + "prtprocs/x64/nevopp.dll", "processor");
    WCHAR file[] = u"nevopp.dll", procName[] = u"NEVO Processor";
    ASSERT_TRUE(AddPrintProcessorW(nullptr, nullptr, file, procName));
    for (const auto& printer : names) {
      std::u16string n = printer, port = u"LPT1:", proc = processor, driver = u"NEVO 2600";
      PRINTER_INFO_2W pi{};
      pi.pPrinterName = n.data();
      pi.pPortName = port.data();
      pi.pDriverName = driver.data();
      pi.pPrintProcessor = proc.data();
      HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&pi));
      ASSERT_NE(h, nullptr);
      ClosePrinter(h);
    }
    // The tool folder, its link, a manual and its link, as the install leaves them.
    WriteToolFiles();
    Write("D/Setup.ini", "[Setup]\nType=1\nLangStyle=2\n[DLL]\nFolderName=NEVO\nUS=lang_us.dll\n[Language]\nUS=US\n");
    std::memset(&ctx_, 0, sizeof ctx_);
    installer::SetField(ctx_.setupFolder, u"D:\\");
    installer::SetField(ctx_.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx_.resourceFolder, u"D:\\NEVO\\");
    installer::SetField(ctx_.resourceFolderName, u"NEVO");
    installer::SetField(ctx_.languageCode, u"US");
    installer::SetField(ctx_.languageLibraryName, u"lang_us.dll");
    installer::SetField(ctx_.languageLibraryPath, u"D:\\NEVO\\lang_us.dll");
    installer::SetField(ctx_.osName, u"Win7x64");
    installer::SetField(ctx_.productFolder, u"NEVO 2600");
    ctx_.type = 1;
    ctx_.languageLibrary = LoadLibraryW(ctx_.languageLibraryPath);
    ASSERT_EQ(installer::CopyToolFiles(ctx_), 1);
    Write("C/Program Files/NEVO Works/NEVO 2600/Manual/English/guide.pdf", "guide");
    ASSERT_EQ(installer::CreateStartMenuShortcut(
                  u"guide.pdf", ctx_, installer::LinkKind::Manual,
                  u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Manual\\English\\guide.pdf"),
              1);
    plat::ui::ResetMessageBoxes();
  }

  // The uninstaller run from the tool folder, the given printers chosen.
  void Choose(const std::vector<std::u16string>& chosen, int listed, bool removeManuals) {
    installer::SetField(ctx_.setupFolder, u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\");
    installer::SetField(ctx_.uninstIniPath, u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\uninst.ini");
    ctx_.makerFolderName[0] = 0;
    ASSERT_EQ(installer::ReadUninstallFolders(ctx_), 1);
    ctx_.chosenPrinters = static_cast<WCHAR**>(LocalAlloc(LPTR, sizeof(WCHAR*) * chosen.size()));
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      ctx_.chosenPrinters[i] = static_cast<WCHAR*>(LocalAlloc(LPTR, (chosen[i].size() + 1) * sizeof(WCHAR)));
      chosen[i].copy(ctx_.chosenPrinters[i], chosen[i].size());
    }
    ctx_.chosenPrinterCount = static_cast<INT>(chosen.size());
    ctx_.listedPrinterCount = listed;
    ctx_.removeManuals = removeManuals;
  }

  bool Run() {
    installer::UninstallWorkerArgs args{nullptr, &ctx_, Record};
    installer::UninstallWorkerThread(&args);
    std::lock_guard lock(g_mutex);
    return !g_posts.empty() && g_posts.back() == std::make_pair(installer::kWorkerDoneMessage, WPARAM{1});
  }

  std::vector<std::u16string> Printers() {
    installer::PrinterList list;
    EXPECT_TRUE(installer::ListLocalPrinters(list));
    std::vector<std::u16string> out;
    for (const auto& p : list) out.emplace_back(Str(p.pPrinterName));
    return out;
  }
  bool HasDriver() {
    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
    std::vector<BYTE> b(needed + 1);
    EnumPrinterDriversW(nullptr, nullptr, 3, b.data(), needed, &needed, &count);
    return count == 1;
  }
  bool HasProcessor() {
    const auto list = plat::spooler::PrintProcessors();
    return std::find(list.begin(), list.end(), u"NEVO Processor") != list.end();
  }
  std::vector<std::u16string> Pending() {
    std::vector<std::u16string> out;
    for (const auto& op : plat::files::PendingOperations()) out.push_back(op.from);
    return out;
  }

  // The language library with the pages, as the medium's; the uninstaller
  // run from the tool folder as its copied Setup.ini says (Type 2).
  void PreparePages() {
    FreeLibrary(ctx_.languageLibrary);
    std::ifstream pages(std::string(RESOURCES_DIR_STR) + "/uninstaller_pages.res.txt");
    const std::string tool = product_ + "/Tool/NEVO/lang_us.dll";
    std::ifstream lang(Host(tool));
    Write(tool, std::string(std::istreambuf_iterator<char>(lang), {}) + "\n" +
                    std::string(std::istreambuf_iterator<char>(pages), {}));
    ctx_.languageLibrary = LoadLibraryW(u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\NEVO\\lang_us.dll");
    ASSERT_NE(ctx_.languageLibrary, nullptr);
    installer::SetField(ctx_.setupFolder, u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\");
    installer::SetField(ctx_.uninstIniPath, u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool\\uninst.ini");
    ctx_.makerFolderName[0] = 0;
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
  }

  const std::string product_ = "C/Program Files/NEVO Works/NEVO 2600";
  const std::string links_ = "C/ProgramData/Microsoft/Windows/Start Menu/Programs/NEVO Works/NEVO 2600";
  SetupContext ctx_{};
};

TEST_F(UninstallWorker, OneOfTwoPrintersKeepsDriverProcessorToolAndLinks) {
  InstallPrinters({u"NEVO A", u"NEVO B"}, u"NEVO Processor", false);
  Choose({u"NEVO A"}, 2, false);
  ASSERT_TRUE(Run());
  EXPECT_EQ(Printers(), std::vector<std::u16string>{u"NEVO B"});
  EXPECT_TRUE(HasDriver());
  EXPECT_TRUE(HasProcessor());
  EXPECT_TRUE(Exists(product_ + "/Tool/Setup.exe"));
  EXPECT_TRUE(Exists(links_ + "/Uninstall NEVO.lnk"));
  EXPECT_TRUE(Exists(links_ + "/guide.lnk"));
  std::vector<WPARAM> progress;
  for (const auto& [m, w] : g_posts)
    if (m == installer::kProgressMessage) progress.push_back(w);
  EXPECT_EQ(progress, (std::vector<WPARAM>{10, 30, 40, 70, 90, 95, 100}));
  EXPECT_EQ(ctx_.chosenPrinters, nullptr);  // freed after the success
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(UninstallWorker, AllPrintersRemovedTakesEverythingRunningFilesAtTheRestart) {
  for (bool manuals : {false, true}) {
    SCOPED_TRACE(manuals ? "with manuals" : "manuals kept");
    TearDown();
    SetUp();
    InstallPrinters({u"NEVO A", u"NEVO B"}, u"NEVO Processor", false);
    Choose({u"NEVO A", u"NEVO B"}, 2, manuals);
    ASSERT_TRUE(Run());
    EXPECT_TRUE(Printers().empty());
    EXPECT_FALSE(HasDriver());
    EXPECT_FALSE(HasProcessor());
    EXPECT_FALSE(Exists("C/WINDOWS/system32/spool/drivers/x64/3/ui.dll"));
    EXPECT_TRUE(Exists("C/WINDOWS/system32/spool/prtprocs/x64/nevopp.dll"));  // the file stays
    EXPECT_FALSE(Exists(links_ + "/Uninstall NEVO.lnk"));
    EXPECT_EQ(Exists(links_ + "/guide.lnk"), !manuals);
    EXPECT_EQ(Exists(product_ + "/Manual/English/guide.pdf"), !manuals);
    // The running uninstaller's files wait for the restart; the rest went.
    EXPECT_TRUE(Exists(product_ + "/Tool/Setup.exe"));
    EXPECT_TRUE(Exists(product_ + "/Tool/NEVO/installcore.dll"));
    EXPECT_TRUE(Exists(product_ + "/Tool/NEVO/lang_us.dll"));
    EXPECT_FALSE(Exists(product_ + "/Tool/uninst.ini"));
    EXPECT_FALSE(Exists(product_ + "/Tool/Setup.ini"));
    const auto pending = Pending();
    const std::u16string tool = u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Tool";
    for (const std::u16string& path :
         {tool + u"\\Setup.exe", tool + u"\\NEVO\\installcore.dll", tool + u"\\NEVO\\lang_us.dll", tool + u"\\NEVO",
          tool, std::u16string(u"C:\\Program Files\\NEVO Works\\NEVO 2600"), std::u16string(u"C:\\Program Files\\NEVO Works")})
      EXPECT_NE(std::find(pending.begin(), pending.end(), path), pending.end()) << plat::utf8(path);
    plat::setup::Reboot();
    EXPECT_EQ(Exists("C/Program Files/NEVO Works"), !manuals);
    EXPECT_TRUE(Exists("C/Program Files"));
    EXPECT_EQ(Exists(links_), !manuals);
    EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
  }
}

TEST_F(UninstallWorker, WinPrintIsNeverDeleted) {
  InstallPrinters({u"NEVO A"}, u"WinPrint", false);
  Choose({u"NEVO A"}, 1, false);
  ASSERT_TRUE(Run());
  EXPECT_FALSE(HasDriver());
  const auto list = plat::spooler::PrintProcessors();
  EXPECT_NE(std::find(list.begin(), list.end(), u"WinPrint"), list.end());
  EXPECT_TRUE(HasProcessor());  // no printer of ours named it
}

TEST_F(UninstallWorker, AHeldDriverGoesAfterTheSpoolerRestarts) {
  struct Case {
    const char* what;
    plat::services::Faults faults;
    bool driverGone;
    std::size_t messages;
  };
  plat::services::Faults refuseStop, keepHeld, refuseStart;
  refuseStop.refuseStop = true;
  keepHeld.keepDriversHeld = true;
  refuseStart.refuseStart = true;
  const Case cases[] = {
      {"restart", {}, true, 0},
      {"spooler refuses to stop", refuseStop, false, 1},
      {"driver kept across the restart", keepHeld, false, 0},
      {"spooler does not start", refuseStart, false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TearDown();
    SetUp();
    InstallPrinters({u"NEVO A"}, u"NEVO Processor", true);
    ASSERT_EQ(plat::spooler::HeldDrivers(), std::vector<std::u16string>{u"NEVO 2600"});
    plat::services::SetFaults(c.faults);
    Choose({u"NEVO A"}, 1, false);
    const DWORD before = GetTickCount();
    ASSERT_TRUE(Run());  // the uninstallation goes on either way
    EXPECT_EQ(plat::ui::MessageBoxLog().size(), c.messages);
    // A spooler that was stopped runs again, except when it cannot be started.
    EXPECT_EQ(plat::services::SpoolerRunning(), !c.faults.refuseStart);
    if (c.faults.refuseStart) plat::services::Boot();  // to look at what stayed
    EXPECT_EQ(HasDriver(), !c.driverGone);
    EXPECT_EQ(HasProcessor(), !c.driverGone);  // a driver that stays keeps its processor
    // Each step waits 5 s on the machine clock: a stop, and a start when it was sent.
    const DWORD waited = c.faults.refuseStop ? 0 : c.faults.refuseStart ? 5000 : 10000;
    EXPECT_EQ(GetTickCount() - before, waited);
    EXPECT_FALSE(Exists(links_ + "/Uninstall NEVO.lnk"));
    EXPECT_EQ(plat::services::OpenHandleCount(), 0u);
  }
}

TEST_F(UninstallWorker, FolderCountMissingOrTooLargeIsRefused) {
  InstallPrinters({u"NEVO A"}, u"NEVO Processor", false);
  struct Case {
    const char* folder;
    int result;
    int count;
  } cases[] = {
      {"[Folder]\n0=NEVO 2600\n", 0, 0},
      {"[Folder]\nNum=31\n0=NEVO 2600\n", 0, 0},
      {"[Folder]\nNum=2\n0=NEVO 2600\n", 0, 0},  // key 1 missing
      {"[Folder]\nNum=1\n0=NEVO 2600\n", 1, 1},
      {"[Folder]\nNum=0\n", 1, 0},
  };
  for (const auto& c : cases) {
    Write("D/uninst.ini", std::string("[Model]\nNum=1\n\"NEVO 2600\"=0,0\n") + c.folder);
    plat::profile::DropCache();
    installer::SetField(ctx_.uninstIniPath, u"D:\\uninst.ini");
    ctx_.uninstallFolderCount = 0;
    EXPECT_EQ(installer::ReadUninstallFolders(ctx_), c.result) << c.folder;
    EXPECT_EQ(ctx_.uninstallFolderCount, c.count) << c.folder;
  }
  // No folder read: the printer goes, the files stay.
  ctx_.uninstallFolderCount = 0;
  ctx_.chosenPrinters = static_cast<WCHAR**>(LocalAlloc(LPTR, sizeof(WCHAR*)));
  ctx_.chosenPrinters[0] = static_cast<WCHAR*>(LocalAlloc(LPTR, 7 * sizeof(WCHAR)));
  std::u16string(u"NEVO A").copy(ctx_.chosenPrinters[0], 6);
  ctx_.chosenPrinterCount = 1;
  ctx_.listedPrinterCount = 1;
  ASSERT_TRUE(Run());
  EXPECT_TRUE(Printers().empty());
  EXPECT_TRUE(Exists(product_ + "/Tool/uninst.ini"));
  EXPECT_TRUE(Exists(links_ + "/Uninstall NEVO.lnk"));
}

TEST_F(UninstallWorker, LinksOfOtherTargetsStay) {
  InstallPrinters({u"NEVO A"}, u"NEVO Processor", false);
  ASSERT_EQ(installer::CreateShellLink(plat::u16(std::string("C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\NEVO Works\\NEVO 2600\\")),
                                       u"Other", u"C:\\Program Files\\NEVO Works\\NEVO 2600\\Toolbox\\x.exe"),
            1);
  Choose({u"NEVO A"}, 1, true);
  ASSERT_TRUE(Run());
  EXPECT_TRUE(Exists(links_ + "/Other.lnk"));
  EXPECT_FALSE(Exists(links_ + "/guide.lnk"));
  EXPECT_FALSE(Exists(links_ + "/Uninstall NEVO.lnk"));
}


TEST_F(UninstallWorker, PagesChooseThePrintersAndRemoveThem) {
  InstallPrinters({u"NEVO A", u"NEVO B", u"NEVO C"}, u"NEVO Processor", false);
  Write(product_ + "/Manual/English/guide.pdf", "guide");
  PreparePages();
  std::vector<std::u16string> listed, confirmed;
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 114);
    EXPECT_FALSE(s.Visible(1001));
    s.Ok();
  });
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 115);
    for (int i = 0; i < s.ItemCount(1021); ++i) listed.push_back(s.ItemText(1021, i));
    EXPECT_EQ(s.Selections(1021), std::vector<int>{0});  // the first row at first
    EXPECT_TRUE(s.Select(1021, {0, 2}));
    s.Ok();
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 116);
    EXPECT_EQ(s.ItemCount(1021), 2);
    s.Click(1001);  // back: the earlier choice is selected again
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 115);
    EXPECT_EQ(s.Selections(1021), (std::vector<int>{0, 2}));
    EXPECT_TRUE(s.Select(1021, {0, 1, 2}));
    s.Ok();
  });
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 116);
    for (int i = 0; i < s.ItemCount(1021); ++i) confirmed.push_back(s.ItemText(1021, i));
    // The printer list takes the page's colour.
    const auto brush = SendMessageW(s.window(), WM_CTLCOLORLISTBOX, 0, reinterpret_cast<LPARAM>(s.Item(1021)));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
    EXPECT_TRUE(s.Visible(1029));
    EXPECT_EQ(s.Checked(1029), BST_CHECKED);
    s.Ok();
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) { EXPECT_EQ(s.templateId(), 117); });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 118);
    EXPECT_EQ(s.Checked(1026), BST_CHECKED);  // every listed printer went
    EXPECT_TRUE(s.Check(1026, false));
    s.Click(1007);
  });
  EXPECT_EQ(installer::ShowUninstallPage(ctx_), 1);
  EXPECT_EQ(listed, (std::vector<std::u16string>{u"NEVO A", u"NEVO B", u"NEVO C"}));
  EXPECT_EQ(confirmed, (std::vector<std::u16string>{u"NEVO A", u"NEVO B", u"NEVO C"}));
  EXPECT_TRUE(Printers().empty());
  EXPECT_FALSE(HasDriver());
  EXPECT_FALSE(Exists(product_ + "/Manual/English/guide.pdf"));
  EXPECT_EQ(ctx_.languageLibrary, nullptr);
  EXPECT_EQ(plat::ui::QueuedHandlerCount(), 0u);
}

TEST_F(UninstallWorker, FinishPageOffersTheRestartOnlyWhenAllWent) {
  InstallPrinters({u"NEVO A", u"NEVO B"}, u"NEVO Processor", false);
  fs::remove_all(root_ / product_ / "Manual");
  PreparePages();
  plat::ui::QueueHandler([](plat::ui::Screen& s) { s.Ok(); });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_TRUE(s.Select(1021, {1}));
    s.Ok();
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_FALSE(s.Visible(1029));  // no manuals in the product folder
    s.Ok();
  });
  plat::ui::QueueHandler([](plat::ui::Screen&) {});
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 118);
    EXPECT_EQ(s.Checked(1026), BST_UNCHECKED);
    EXPECT_FALSE(s.Enabled(1026));
    s.Click(1007);
  });
  EXPECT_EQ(installer::ShowUninstallPage(ctx_), 1);
  EXPECT_EQ(Printers(), std::vector<std::u16string>{u"NEVO A"});
}

TEST_F(UninstallWorker, APrinterOfTwoMatchingKeysIsListedOnce) {
  InstallPrinters({u"NEVO A"}, u"NEVO Processor", false);
  PreparePages();
  Write(product_ + "/Tool/uninst.ini",
        "[Model]\nNum=2\n\"NEVO 2600\"=0,0\n\"NEVO 2600\" , x=1,0\n[Folder]\nNum=1\n0=NEVO 2600\n");
  plat::profile::DropCache();
  int rows = -1;
  plat::ui::QueueHandler([](plat::ui::Screen& s) { s.Ok(); });
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    rows = s.ItemCount(1021);
    s.Cancel();
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.kind(), plat::ui::Screen::Kind::MessageBox);
    s.Click(IDYES);
  });
  EXPECT_EQ(installer::ShowUninstallPage(ctx_), 1);
  EXPECT_EQ(rows, 1);
  EXPECT_EQ(Printers(), std::vector<std::u16string>{u"NEVO A"});  // cancelled: nothing removed
}

TEST_F(UninstallWorker, NoPrinterOfTheModelsEndsWithMessage27) {
  InstallPrinters({}, u"NEVO Processor", false);
  PreparePages();
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.Text(plat::ui::kMessageBoxText), u"No printer of this package is installed.");
    s.Ok();
  });
  EXPECT_EQ(installer::ShowUninstallPage(ctx_), 1);
  EXPECT_EQ(plat::ui::QueuedHandlerCount(), 0u);
}

}  // namespace
}  // namespace installer_test
