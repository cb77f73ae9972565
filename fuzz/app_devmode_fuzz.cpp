// libFuzzer target: an application's DEVMODE through classicui's entries
// (capabilities, conversion, the spooler's print query) on a printer of the
// two-drum sample model.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_printer.h"
#include "settings/printer_interface.h"

namespace {

using CapabilitiesFn = DWORD WINAPI(HANDLE, LPWSTR, WORD, PVOID, DEVMODEW*);
using ConvertFn = BOOL WINAPI(LPWSTR, DEVMODEW*, DEVMODEW*, LONG*, DWORD);
using QueryFn = BOOL WINAPI(DEVQUERYPRINT_INFO*);

struct Entries {
  CapabilitiesFn* capabilities = nullptr;
  ConvertFn* convert = nullptr;
  QueryFn* query = nullptr;
};

const Entries& UiEntries() {
  static const Entries entries = [] {
    HMODULE ui = fuzzsupport::Printer().ui;
    Entries e{reinterpret_cast<CapabilitiesFn*>(GetProcAddress(ui, "DrvDeviceCapabilities")),
              reinterpret_cast<ConvertFn*>(GetProcAddress(ui, "DrvConvertDevMode")),
              reinterpret_cast<QueryFn*>(GetProcAddress(ui, "DevQueryPrintEx"))};
    if (!e.capabilities || !e.convert || !e.query) std::abort();
    return e;
  }();
  return entries;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const HANDLE printer = fuzzsupport::Printer().handle;
  const Entries& ui = UiEntries();
  // An application hands a DEVMODE whose buffer holds what its size fields say.
  constexpr std::size_t kSizeFields = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (size < kSizeFields) return 0;
  const std::size_t own = std::size_t(data[offsetof(DEVMODEW, dmSize)] | data[offsetof(DEVMODEW, dmSize) + 1] << 8) +
                          std::size_t(data[offsetof(DEVMODEW, dmDriverExtra)] |
                                      data[offsetof(DEVMODEW, dmDriverExtra) + 1] << 8);
  if (own < kSizeFields || own > size) return 0;
  std::vector<std::uint64_t> held((own + 7) / 8);
  std::memcpy(held.data(), data, own);
  auto* devmode = reinterpret_cast<DEVMODEW*>(held.data());
  std::u16string name = fuzzsupport::kPrinterName;

  static std::vector<BYTE> output(1 << 16);
  for (WORD index : {DC_FIELDS, DC_PAPERS, DC_PAPERSIZE, DC_BINS, DC_SIZE, DC_EXTRA, DC_BINNAMES, DC_ENUMRESOLUTIONS,
                     DC_PAPERNAMES, DC_ORIENTATION, DC_COPIES, DC_COLLATE, DC_MEDIAREADY, DC_COLORDEVICE}) {
    const DWORD count = ui.capabilities(printer, name.data(), index, nullptr, devmode);
    if (count != GDI_ERROR && count < 256) (void)ui.capabilities(printer, name.data(), index, output.data(), devmode);
  }
  std::vector<std::uint64_t> converted(4096 / 8);
  for (DWORD mode : {CDM_CONVERT, CDM_CONVERT351}) {
    LONG room = 4096;
    (void)ui.convert(name.data(), devmode, reinterpret_cast<DEVMODEW*>(converted.data()), &room, mode);
  }
  WCHAR message[64];
  DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer, devmode, message, 64, 0};
  (void)ui.query(&info);
  return 0;
}
