// libFuzzer target: printer data as the spooler stores it: one value of the
// printer ("Info", a list, the levels, a name value, "DefaultDevmode",
// "Defaults") replaced by the input, then the capability record and the
// default DEVMODE read back as printer initialisation and the sheets read them.
// The value is put back after each run, so each input meets the same printer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_printer.h"
#include "settings/caps_store.h"

namespace {

struct Stored {
  std::u16string name;
  DWORD type = REG_BINARY;
  std::vector<BYTE> bytes;
};

std::vector<Stored>& Originals() {
  static std::vector<Stored> values = [] {
    const HANDLE printer = fuzzsupport::Printer().handle;
    std::vector<Stored> all;
    const std::u16string names[] = {kValueInfo,     kValueBinList,     kValueDensity,   kValueSpeed,
                                    kValueSort,     kValuePaper,       kValueOutputPaper, kValueRdfCustomPaper,
                                    kValueDpi,      kValueDefaults,    kValuePermanent, kValueFreePaper,
                                    kValueDataFile, kValueResourceDll, kValueDeviceName, kValuePrinterName,
                                    kValueDefaultDevmode, NameValueName(1), NameValueName(2)};
    for (const auto& name : names) {
      Stored s{name, REG_BINARY, {}};
      DWORD needed = 0;
      GetPrinterDataW(printer, name.c_str(), &s.type, nullptr, 0, &needed);
      s.bytes.resize(needed);
      if (GetPrinterDataW(printer, name.c_str(), &s.type, s.bytes.data(), needed, &needed) != ERROR_SUCCESS) std::abort();
      all.push_back(std::move(s));
    }
    // FUZZ_WRITE_SEEDS=folder writes one seed a value: its index, then its bytes.
    if (const char* seeds = std::getenv("FUZZ_WRITE_SEEDS")) {
      for (std::size_t i = 0; i < all.size(); ++i) {
        std::vector<std::uint8_t> seed{static_cast<std::uint8_t>(i)};
        seed.insert(seed.end(), all[i].bytes.begin(), all[i].bytes.end());
        fuzzsupport::PutHostFile(std::filesystem::path(seeds) / ("value" + std::to_string(i)), seed.data(), seed.size());
      }
    }
    return all;
  }();
  return values;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const HANDLE printer = fuzzsupport::Printer().handle;
  const Stored& original = Originals()[data[0] % Originals().size()];
  if (SetPrinterDataW(printer, original.name.c_str(), original.type, data + 1, static_cast<DWORD>(size - 1)) !=
      ERROR_SUCCESS)
    std::abort();  // the harness, not the reader, is broken
  if (ModelCaps* caps = AllocModelCaps()) {
    (void)LoadCapsFromPrinterData(caps, printer);
    FreeModelCaps(caps, true);
    GlobalFree(caps);
  }
  std::vector<std::uint64_t> held(16384 / 8);
  auto* devmode = reinterpret_cast<DEVMODEW*>(held.data());
  devmode->dmSize = sizeof(DEVMODEW);
  devmode->dmDriverExtra = static_cast<WORD>(held.size() * 8 - sizeof(DEVMODEW));
  (void)ReadDefaultDevmodeFromHandle(printer, devmode);
  SetPrinterDataW(printer, original.name.c_str(), original.type, original.bytes.data(),
                  static_cast<DWORD>(original.bytes.size()));
  return 0;
}
