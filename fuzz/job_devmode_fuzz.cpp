// libFuzzer target: an application's DEVMODE through classicrender's
// DrvEnablePDEV and a whole one-page job run by the print host, on a printer
// of the two-drum sample model.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz_printer.h"
#include "plat/engine.h"
#include "plat/print_host.h"

namespace {

plat::print_host::Driver& Render() {
  static const std::unique_ptr<plat::print_host::Driver> driver = [] {
    DWORD error = 0;
    auto d = plat::print_host::Driver::Load(plat::u16(std::string(LIB_DIR_STR) + "/classicrender.so"), &error);
    if (!d) std::abort();
    return d;
  }();
  return *driver;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzsupport::FuzzPrinter& printer = fuzzsupport::Printer();
  plat::print_host::Driver& driver = Render();
  // The engine hands the driver a DEVMODE whose buffer holds what its size fields say.
  constexpr std::size_t kSizeFields = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (size < kSizeFields) return 0;
  const std::size_t own = std::size_t(data[offsetof(DEVMODEW, dmSize)] | data[offsetof(DEVMODEW, dmSize) + 1] << 8) +
                          std::size_t(data[offsetof(DEVMODEW, dmDriverExtra)] |
                                      data[offsetof(DEVMODEW, dmDriverExtra) + 1] << 8);
  if (own < kSizeFields || own > size) return 0;

  plat::print_host::Job job;
  job.printer = printer.handle;
  job.deviceName = fuzzsupport::kPrinterName;
  job.port = u"LPT1:";
  job.devmode.assign(data, data + own);
  job.documentName = u"C:\\docs\\fuzz.txt";
  job.drawPage = [](const plat::print_host::PageContext& page) {
    // A bar across the page's corner: bit 0 is ink on the plane.
    (void)plat::engine::FillRect(page.surface, RECTL{10, 10, 200, 40}, 0);
    return true;
  };
  (void)plat::print_host::RunJob(driver, job);
  plat::spooler::ClearOutput(fuzzsupport::kPrinterName);
  return 0;
}
