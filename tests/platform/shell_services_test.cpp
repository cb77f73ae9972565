// The shell's folders, FO_COPY and links; the service control manager's
// spooler; the spooler's deletions.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "plat/services.h"
#include "plat/shell_link.h"
#include "plat/windows.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(ShellFolders, ProgramsFolderFollowsTheSystemVersion) {
  testsupport::MachineRoot root("shell-folders");
  struct Case {
    DWORD major;
    INT csidl;
    const char16_t* path;
  } cases[] = {
      {5, CSIDL_COMMON_PROGRAMS, u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs"},
      {6, CSIDL_COMMON_PROGRAMS, u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"},
      {5, CSIDL_PROGRAM_FILES, u"C:\\Program Files"},
  };
  for (const Case& c : cases) {
    plat::machine::OsProfile os;
    os.major = c.major;
    plat::machine::SetOsProfile(os);
    WCHAR path[MAX_PATH] = {};
    // Missing: E_FAIL with the path; CSIDL_FLAG_CREATE makes it.
    EXPECT_EQ(SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, path), E_FAIL);
    EXPECT_EQ(std::u16string(path), c.path);
    EXPECT_EQ(SHGetFolderPathW(nullptr, c.csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_EQ(SHGetFolderPathW(nullptr, c.csidl, nullptr, SHGFP_TYPE_CURRENT, path), S_OK);
    EXPECT_TRUE(fs::is_directory(plat::machine::HostPath(c.path)));
  }
  WCHAR path[MAX_PATH];
  EXPECT_EQ(SHGetFolderPathW(nullptr, 0x7F, nullptr, 0, path), E_INVALIDARG);
}

TEST(ShellFileOperation, CopiesAFolderIntoAFolder) {
  testsupport::MachineRoot root("shell-copy");
  Write(root.path() / "C/src/Preview and Edit/app.exe", "app");
  Write(root.path() / "C/src/Preview and Edit/sub/data.bin", "data");
  Write(root.path() / "C/dest/Preview and Edit/app.exe", "old");
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_COPY;
  const std::u16string from = std::u16string(u"C:\\src\\Preview and Edit\\") + u'\0';
  const std::u16string to = std::u16string(u"C:\\dest\\") + u'\0';
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  ASSERT_EQ(SHFileOperationW(&op), 0);
  EXPECT_EQ(Read(root.path() / "C/dest/Preview and Edit/app.exe"), "app");
  EXPECT_EQ(Read(root.path() / "C/dest/Preview and Edit/sub/data.bin"), "data");
  // A destination that does not exist yet is made.
  const std::u16string deep = std::u16string(u"C:\\new\\deeper") + u'\0';
  op.pTo = deep.c_str();
  ASSERT_EQ(SHFileOperationW(&op), 0);
  EXPECT_EQ(Read(root.path() / "C/new/deeper/Preview and Edit/sub/data.bin"), "data");
  // A missing source fails and says so.
  const std::u16string missing = std::u16string(u"C:\\nothing") + u'\0';
  op.pFrom = missing.c_str();
  EXPECT_EQ(SHFileOperationW(&op), static_cast<INT>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(op.fAnyOperationsAborted);
}

TEST(ShellLink, SavesAndLoadsItsTarget) {
  testsupport::MachineRoot root("shell-link");
  fs::create_directories(root.path() / "C/links");
  IShellLinkW* link = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<LPVOID*>(&link)),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(link, nullptr);
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  CoUninitialize();
  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<LPVOID*>(&link)),
            S_OK);
  IPersistFile* file = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)), S_OK);
  void* other = &other;
  EXPECT_EQ(link->QueryInterface(CLSID_ShellLink, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  const std::u16string target = u"C:\\Program Files\\NEVO\\Tool\\Setup.exe";
  ASSERT_EQ(link->SetPath(target.c_str()), S_OK);
  ASSERT_EQ(file->Save(u"C:\\links\\Uninstaller.lnk", TRUE), S_OK);
  EXPECT_EQ(file->Save(u"C:\\missing\\x.lnk", TRUE), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  file->Release();
  link->Release();

  ASSERT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                             reinterpret_cast<LPVOID*>(&file)),
            S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IShellLinkW, reinterpret_cast<void**>(&link)), S_OK);
  WCHAR path[MAX_PATH] = {};
  EXPECT_EQ(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH), S_FALSE);  // nothing loaded yet
  ASSERT_EQ(file->Load(u"C:\\links\\Uninstaller.lnk", STGM_READ), S_OK);
  ASSERT_EQ(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH), S_OK);
  EXPECT_EQ(std::u16string(path), target);
  ASSERT_EQ(link->GetPath(path, 8, nullptr, SLGP_RAWPATH), S_OK);
  EXPECT_EQ(std::u16string(path), u"C:\\Prog");  // cut to the buffer, terminated
  Write(root.path() / "C/links/other.lnk", "not a link");
  EXPECT_EQ(file->Load(u"C:\\links\\other.lnk", STGM_READ), E_FAIL);
  EXPECT_EQ(file->Load(u"C:\\links\\none.lnk", STGM_READ), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  link->Release();
  file->Release();

  plat::shell::SetShellLinkAvailable(false);
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                             reinterpret_cast<LPVOID*>(&link)),
            REGDB_E_CLASSNOTREG);
  plat::shell::SetShellLinkAvailable(true);
  CoUninitialize();
  EXPECT_EQ(plat::utf8(plat::shell::LinkTarget(u"C:\\links\\Uninstaller.lnk")), plat::utf8(target));
}

// ---- services ----

class SpoolerService : public testing::Test {
 protected:
  void SetUp() override {
    plat::services::Reset();
    plat::machine::FreezeClock(true);
    plat::machine::SetSleepScale(0);
  }
  void TearDown() override {
    plat::services::Reset();
    plat::machine::Reset();
  }
  testsupport::MachineRoot root_{"services"};
};

TEST_F(SpoolerService, StopAndStartPassThroughPendingStates) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(manager, nullptr);
  EXPECT_EQ(OpenServiceW(manager, u"Fax", SERVICE_ALL_ACCESS), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  SC_HANDLE service = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
  ASSERT_NE(service, nullptr);
  SERVICE_STATUS status{};
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);

  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  // Not running: the spooler's calls fail.
  DWORD needed = 0, count = 0;
  EXPECT_FALSE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count));
  EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
  Sleep(1499);
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOP_PENDING);
  Sleep(1);
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_NOT_ACTIVE);
  EXPECT_EQ(status.dwCurrentState, SERVICE_STOPPED);  // filled all the same

  ASSERT_TRUE(StartServiceW(service, 0, nullptr));
  ASSERT_TRUE(QueryServiceStatus(service, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_START_PENDING);
  Sleep(5000);
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count) ||
              GetLastError() == ERROR_INSUFFICIENT_BUFFER);
  EXPECT_TRUE(CloseServiceHandle(service));
  EXPECT_TRUE(CloseServiceHandle(manager));
  EXPECT_FALSE(CloseServiceHandle(manager));
  EXPECT_EQ(plat::services::OpenHandleCount(), 0u);
}

TEST_F(SpoolerService, FaultsAndTheRestart) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceW(manager, u"spooler", SERVICE_ALL_ACCESS);
  SERVICE_STATUS status{};
  plat::services::Faults faults;
  faults.refuseStop = true;
  plat::services::SetFaults(faults);
  EXPECT_FALSE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_CANNOT_ACCEPT_CTRL);
  EXPECT_TRUE(plat::services::SpoolerRunning());
  faults.refuseStop = false;
  faults.refuseStart = true;
  plat::services::SetFaults(faults);
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
  Sleep(5000);
  EXPECT_FALSE(StartServiceW(service, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_REQUEST_TIMEOUT);
  EXPECT_FALSE(plat::services::SpoolerRunning());
  // A restart of the machine starts it again.
  plat::setup::Reboot();
  EXPECT_TRUE(plat::services::SpoolerRunning());
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

// ---- spooler deletions ----

class SpoolerDeletion : public testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    plat::services::Reset();
    fs::create_directories(root_.path() / "C/WINDOWS");
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/render.dll", "render");
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/ui.dll", "ui");
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/shared.dll", "shared");
    Write(root_.path() / "C/WINDOWS/system32/spool/prtprocs/x64/pp.dll", "processor");
    plat::spooler::AddPort(u"LPT1:");
  }
  void TearDown() override { plat::spooler::Reset(); }

  void AddDriver(const char16_t* name, const char16_t* ui) {
    std::u16string n = name, render = u"render.dll", config = ui, data = u"render.dll";
    std::u16string deps = std::u16string(u"shared.dll") + u'\0' + u'\0';
    DRIVER_INFO_3W info{};
    info.pName = n.data();
    info.pDriverPath = render.data();
    info.pConfigFile = config.data();
    info.pDataFile = data.data();
    info.pDependentFiles = deps.data();
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES));
  }
  HANDLE AddPrinter(const char16_t* name, const char16_t* driver) {
    std::u16string n = name, d = driver, port = u"LPT1:";
    PRINTER_INFO_2W info{};
    info.pPrinterName = n.data();
    info.pDriverName = d.data();
    info.pPortName = port.data();
    return AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  }
  bool DriverFile(const char* name) {
    return fs::exists(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/3" / name);
  }

  testsupport::MachineRoot root_{"spooler-delete"};
};

TEST_F(SpoolerDeletion, APrinterGoesWhenItsLastHandleCloses) {
  AddDriver(u"D", u"ui.dll");
  HANDLE created = AddPrinter(u"P", u"D");
  ASSERT_NE(created, nullptr);
  PRINTER_DEFAULTSW use{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE reader = nullptr;
  ASSERT_TRUE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &reader, &use));
  EXPECT_FALSE(DeletePrinter(reader));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(SetPrinterW(created, 0, nullptr, PRINTER_CONTROL_PURGE));
  EXPECT_FALSE(SetPrinterW(reader, 0, nullptr, PRINTER_CONTROL_PURGE));
  ASSERT_TRUE(DeletePrinter(created));
  HANDLE again = nullptr;
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(u"P"), &again, &use));
  ASSERT_TRUE(ClosePrinter(created));
  // Still open elsewhere: its driver is in use.
  WCHAR driver[] = u"D";
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(GetLastError(), ERROR_PRINTER_DRIVER_IN_USE);
  ASSERT_TRUE(ClosePrinter(reader));
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
  EXPECT_EQ(count, 0u);
}

TEST_F(SpoolerDeletion, AHeldDriverGoesAfterASpoolerStartUnlessItStaysHeld) {
  plat::machine::FreezeClock(true);
  plat::machine::SetSleepScale(0);
  for (bool keep : {false, true}) {
    SCOPED_TRACE(keep ? "kept held" : "let go");
    plat::spooler::Reset();
    plat::services::Reset();
    plat::spooler::AddPort(u"LPT1:");
    plat::services::Faults faults;
    faults.keepDriversHeld = keep;
    plat::services::SetFaults(faults);
    // A printer interface library that loads: the spooler holds the driver from then on.
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/ui.dll", "RESOURCES 1\n[STRINGTABLE]\n1\tui\n");
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/render.dll", "render");
    Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/shared.dll", "shared");
    AddDriver(u"D", u"ui.dll");
    HANDLE h = AddPrinter(u"P", u"D");
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(plat::spooler::HeldDrivers(), std::vector<std::u16string>{u"D"});
    ASSERT_TRUE(DeletePrinter(h));
    ASSERT_TRUE(ClosePrinter(h));
    WCHAR driver[] = u"D";
    EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(GetLastError(), ERROR_PRINTER_DRIVER_IN_USE);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE service = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
    SERVICE_STATUS status{};
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    Sleep(5000);
    EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0));
    EXPECT_EQ(GetLastError(), RPC_S_SERVER_UNAVAILABLE);
    ASSERT_TRUE(StartServiceW(service, 0, nullptr));
    Sleep(5000);
    EXPECT_EQ(DeletePrinterDriverExW(nullptr, nullptr, driver, DPD_DELETE_UNUSED_FILES, 0), keep ? FALSE : TRUE);
    EXPECT_EQ(DriverFile("ui.dll"), keep);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
  }
  plat::services::Reset();
  plat::machine::Reset();
}

TEST_F(SpoolerDeletion, DriverFilesGoUnlessAnotherDriverNamesThem) {
  AddDriver(u"D1", u"ui.dll");
  Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/render.dll", "render");
  Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/shared.dll", "shared");
  Write(root_.path() / "C/WINDOWS/system32/spool/drivers/x64/ui2.dll", "ui2");
  AddDriver(u"D2", u"ui2.dll");
  WCHAR d1[] = u"D1", d2[] = u"D2", none[] = u"none";
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, none, DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_PRINTER_DRIVER);
  ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, d1, DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_FALSE(DriverFile("ui.dll"));
  EXPECT_TRUE(DriverFile("render.dll"));
  EXPECT_TRUE(DriverFile("shared.dll"));
  ASSERT_TRUE(DeletePrinterDriverExW(nullptr, nullptr, d2, DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_FALSE(DriverFile("render.dll"));
  EXPECT_FALSE(DriverFile("shared.dll"));
  EXPECT_FALSE(DriverFile("ui2.dll"));
  EXPECT_FALSE(DeletePrinterDriverExW(nullptr, nullptr, d2, DPD_DELETE_UNUSED_FILES, 0));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_PRINTER_DRIVER);
}

TEST_F(SpoolerDeletion, PrintProcessorRegistrationGoesAndItsFileStays) {
  WCHAR file[] = u"pp.dll", name[] = u"NEVO Processor", winprint[] = u"WinPrint";
  ASSERT_TRUE(AddPrintProcessorW(nullptr, nullptr, file, name));
  ASSERT_TRUE(DeletePrintProcessorW(nullptr, nullptr, name));
  EXPECT_FALSE(DeletePrintProcessorW(nullptr, nullptr, name));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_PRINTPROCESSOR);
  EXPECT_FALSE(DeletePrintProcessorW(nullptr, nullptr, winprint));
  EXPECT_TRUE(fs::exists(root_.path() / "C/WINDOWS/system32/spool/prtprocs/x64/pp.dll"));
  const auto list = plat::spooler::PrintProcessors();
  EXPECT_EQ(std::count(list.begin(), list.end(), u"NEVO Processor"), 0);
}

TEST_F(SpoolerDeletion, LevelEightCarriesTheDevmode) {
  AddDriver(u"D", u"ui.dll");
  HANDLE h = AddPrinter(u"P", u"D");
  ASSERT_NE(h, nullptr);
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 8, nullptr, 0, &needed));
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 8, buffer.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<PRINTER_INFO_8W*>(buffer.data())->pDevMode, nullptr);
  std::vector<BYTE> dm(sizeof(DEVMODEW) + 8, 0);
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  d->dmSize = sizeof(DEVMODEW);
  d->dmDriverExtra = 8;
  dm.back() = 0x5A;
  PRINTER_INFO_8W info{d};
  ASSERT_TRUE(SetPrinterW(h, 8, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(plat::spooler::Devmode(u"P"), dm);
  GetPrinterW(h, 8, nullptr, 0, &needed);
  buffer.resize(needed);
  ASSERT_TRUE(GetPrinterW(h, 8, buffer.data(), needed, &needed));
  const auto* got = reinterpret_cast<PRINTER_INFO_8W*>(buffer.data())->pDevMode;
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(got)[sizeof(DEVMODEW) + 7], 0x5A);
  ClosePrinter(h);
}

}  // namespace
