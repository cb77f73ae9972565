// A printer of the spooler model for one test, and its handle.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "plat/spooler.h"

namespace testsupport {

inline plat::spooler::PrinterSetup PrinterSetupOf(std::u16string name, std::u16string port, std::u16string driver) {
  plat::spooler::PrinterSetup setup;
  setup.name = std::move(name);
  setup.port = std::move(port);
  setup.driver.name = std::move(driver);
  return setup;
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
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    return OpenPrinterW(name_.c_str(), &handle_, access != 0 ? &defaults : nullptr) != FALSE;
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
