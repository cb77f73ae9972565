// libFuzzer target: an application's DEVMODE through the document sheet of
// classicui, opened headless by DocumentPropertiesW and closed with OK by the
// scripted user (every message box on the way answered with OK, or closed).
// The input is laid over the printer's default DEVMODE, so that a short one
// changes the public part and a long one reaches the private part; the
// buffer then holds what its size fields say.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#define FUZZ_PRINTER_SHEETS true
#include "fuzz_printer.h"
#include "plat/propsheet.h"
#include "plat/ui.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzsupport::FuzzPrinter& printer = fuzzsupport::Printer();
  std::vector<BYTE> in = fuzzsupport::DefaultDevmode();
  if (size > in.size()) in.resize(size);
  std::memcpy(in.data(), data, size);
  constexpr std::size_t kSizeFields = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (in.size() < kSizeFields) return 0;
  const std::size_t own = std::size_t(in[offsetof(DEVMODEW, dmSize)] | in[offsetof(DEVMODEW, dmSize) + 1] << 8) +
                          std::size_t(in[offsetof(DEVMODEW, dmDriverExtra)] |
                                      in[offsetof(DEVMODEW, dmDriverExtra) + 1] << 8);
  if (own < kSizeFields || own > in.size()) return 0;
  in.resize(own);

  plat::ui::ResetScript();
  plat::ui::SetFailureHook([](const std::string&) {});
  plat::ui::SetFallbackHandler([](plat::ui::Screen& screen) {
    if (!screen.Click(IDOK)) (void)screen.Cancel();
  });
  std::vector<BYTE> out(fuzzsupport::DefaultDevmode().size());
  auto* outDm = reinterpret_cast<DEVMODEW*>(out.data());
  outDm->dmSize = sizeof(DEVMODEW);
  outDm->dmDriverExtra = static_cast<WORD>(out.size() - sizeof(DEVMODEW));
  (void)DocumentPropertiesW(nullptr, printer.handle, nullptr, outDm, reinterpret_cast<DEVMODEW*>(in.data()),
                            DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER);
  plat::ui::ResetScript();
  return 0;
}
