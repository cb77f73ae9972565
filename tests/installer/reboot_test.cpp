#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "installer/messages.h"
#include "installer_fixture.h"

namespace installer_test {
namespace {

std::string Contents(const fs::path& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Renames and deletions wait for the restart, in the order they were queued;
// the restart comes when the process that asked for it ends.
TEST_F(MachineRoot, RebootRunsTheQueueWhenTheProcessEnds) {
  Write("C/drv/new.dll", "new");
  Write("C/drv/old.dll", "old");
  Write("C/drv/gone.dll", "gone");
  ASSERT_TRUE(MoveFileExW(u"C:\\drv\\new.dll", u"C:\\drv\\old.dll", MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_TRUE(MoveFileExW(u"C:\\drv\\gone.dll", nullptr, MOVEFILE_DELAY_UNTIL_REBOOT));
  ASSERT_EQ(plat::files::PendingOperations().size(), 2u);
  EXPECT_EQ(Contents(root_ / "C/drv/old.dll"), "old");

  // Without the shutdown privilege nothing restarts.
  EXPECT_FALSE(ExitWindowsEx(EWX_REBOOT, 0));
  EXPECT_EQ(GetLastError(), ERROR_PRIVILEGE_NOT_HELD);

  const pid_t child = fork();
  if (child == 0) {
    installer::RebootWindows();
    std::exit(plat::files::PendingOperations().size() == 2 ? 0 : 1);  // not before the end
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_TRUE(plat::files::PendingOperations().empty());
  EXPECT_EQ(Contents(root_ / "C/drv/old.dll"), "new");
  EXPECT_FALSE(Exists("C/drv/new.dll"));
  EXPECT_FALSE(Exists("C/drv/gone.dll"));
}

TEST_F(MachineRoot, CopiesKeepAttributesAndTheHostMode) {
  Write("D/tool.exe", "program");
  fs::permissions(root_ / "D/tool.exe", fs::perms::owner_all);
  ASSERT_TRUE(CopyFileW(u"D:\\tool.exe", u"C:\\tool.exe", FALSE));
  // D: is a CD-ROM: its files, and so their copies, are read-only.
  EXPECT_NE(GetFileAttributesW(u"C:\\tool.exe") & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_NE(fs::status(root_ / "C/tool.exe").permissions() & fs::perms::owner_exec, fs::perms::none);
  EXPECT_FALSE(CopyFileW(u"D:\\tool.exe", u"C:\\tool.exe", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileW(u"D:\\tool.exe", u"C:\\tool.exe", TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_FALSE(CopyFileW(u"D:\\none.exe", u"C:\\none.exe", FALSE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(MachineRoot, AddPrinterChecksPortDriverProcessorAndName) {
  Write("C/WINDOWS/system32/spool/drivers/x64/ui.dll", "ui");
  Write("C/WINDOWS/system32/spool/drivers/x64/render.dll", "render");
  Write("C/WINDOWS/system32/spool/drivers/x64/model.rdf", "model");
  plat::spooler::AddPort(u"LPT1:");
  WCHAR name[] = u"Model", render[] = u"render.dll", ui[] = u"ui.dll", data[] = u"model.rdf", deps[] = u"\0";
  DRIVER_INFO_6W driver{};
  driver.pName = name;
  driver.pDriverPath = render;
  driver.pConfigFile = ui;
  driver.pDataFile = data;
  driver.pDependentFiles = deps;
  ASSERT_TRUE(AddPrinterDriverExW(nullptr, 6, reinterpret_cast<LPBYTE>(&driver), APD_COPY_NEW_FILES));
  struct Case {
    const char16_t *printer, *port, *driver, *processor;
    DWORD error;
  } cases[] = {
      {u"P", u"LPT9:", u"Model", nullptr, ERROR_UNKNOWN_PORT},
      {u"P", u"LPT1:", u"Other", nullptr, ERROR_UNKNOWN_PRINTER_DRIVER},
      {u"P", u"LPT1:", u"Model", u"NoSuch", ERROR_UNKNOWN_PRINTPROCESSOR},
      {u"A,B", u"LPT1:", u"Model", nullptr, ERROR_INVALID_PRINTER_NAME},
      {u"", u"LPT1:", u"Model", nullptr, ERROR_INVALID_PRINTER_NAME},
      {u"P", u"LPT1:", u"Model", u"WinPrint", ERROR_SUCCESS},
      {u"p", u"LPT1:", u"Model", nullptr, ERROR_PRINTER_ALREADY_EXISTS},
  };
  for (const auto& c : cases) {
    std::u16string printer = c.printer, port = c.port, drv = c.driver, proc = c.processor ? c.processor : u"";
    PRINTER_INFO_2W info{};
    info.pPrinterName = printer.data();
    info.pPortName = port.data();
    info.pDriverName = drv.data();
    info.pPrintProcessor = c.processor ? proc.data() : nullptr;
    SetLastError(0);
    HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    EXPECT_EQ(h != nullptr, c.error == ERROR_SUCCESS) << plat::utf8(c.printer);
    if (h) ClosePrinter(h);
    else EXPECT_EQ(GetLastError(), c.error) << plat::utf8(c.printer);
  }
}

}  // namespace
}  // namespace installer_test
