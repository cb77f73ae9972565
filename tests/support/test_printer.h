// A printer of the spooler model for one test, and its handle.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "plat/spooler.h"

namespace testsupport {

inline plat::spooler::PrinterSetup PrinterSetupOf(std::u16string name, std::u16string port, std::u16string driver) {
  plat::spooler::PrinterSetup setup;
  setup.name = std::move(name);
  setup.port = std::move(port);
  setup.driver.name = std::move(driver);
  return setup;
}

// The setup with the driver's files (Windows paths; the dependent files list
// the data file and resource library the driver reads).
inline plat::spooler::PrinterSetup PrinterSetupOf(std::u16string name, std::u16string port, std::u16string driver,
                                                  std::u16string driverPath, std::u16string configFile,
                                                  std::u16string dataFile,
                                                  std::vector<std::u16string> dependentFiles) {
  plat::spooler::PrinterSetup setup = PrinterSetupOf(std::move(name), std::move(port), std::move(driver));
  setup.driver.driverPath = std::move(driverPath);
  setup.driver.configFile = std::move(configFile);
  setup.driver.dataFile = std::move(dataFile);
  setup.driver.dependentFiles = std::move(dependentFiles);
  return setup;
}

// Opens a printer as an application does: access 0 without defaults.
inline HANDLE OpenTestPrinter(const std::u16string& name, ACCESS_MASK access) {
  HANDLE handle = nullptr;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
  return OpenPrinterW(name.c_str(), &handle, access != 0 ? &defaults : nullptr) ? handle : nullptr;
}

// A handle to a printer of the spooler model, closed when the object goes.
struct PrinterHandle {
  HANDLE h = nullptr;
  explicit PrinterHandle(const std::u16string& name, ACCESS_MASK access = PRINTER_ALL_ACCESS)
      : h(OpenTestPrinter(name, access)) {}
  ~PrinterHandle() {
    if (h) ClosePrinter(h);
  }
  PrinterHandle(const PrinterHandle&) = delete;
  PrinterHandle& operator=(const PrinterHandle&) = delete;
};

// A value of a printer's data, as the printer interface would have stored it.
inline bool SetPrinterValue(std::u16string_view printer, std::u16string_view name, std::vector<BYTE> bytes,
                            DWORD type = REG_BINARY) {
  return plat::spooler::SetData(printer, name, type, std::move(bytes));
}

// Adds the printer and opens it; the handle is closed and the printer removed
// when the object goes.
class TestPrinter {
 public:
  TestPrinter() = default;
  ~TestPrinter() { Close(); }
  TestPrinter(const TestPrinter&) = delete;
  TestPrinter& operator=(const TestPrinter&) = delete;

  // access 0: opened without defaults, as a plain application does.
  bool Add(const plat::spooler::PrinterSetup& setup, ACCESS_MASK access = 0) {
    Close();
    if (!plat::spooler::AddPrinter(setup)) return false;
    name_ = setup.name;
    handle_ = OpenTestPrinter(name_, access);
    return handle_ != nullptr;
  }
  void Close() {
    if (handle_ != nullptr) ClosePrinter(handle_);
    handle_ = nullptr;
    if (!name_.empty()) plat::spooler::RemovePrinter(name_);
    name_.clear();
  }
  HANDLE handle() const { return handle_; }
  const std::u16string& name() const { return name_; }

 private:
  HANDLE handle_ = nullptr;
  std::u16string name_;
};

}  // namespace testsupport
