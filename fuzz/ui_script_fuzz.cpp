// libFuzzer target: the scripted user's steps (what PLAT_UI_SCRIPT holds),
// taken up and played on the message boxes a program shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_machine.h"
#include "plat/ui.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The steps' waits ("pause", "wait-items") pass on the machine's clock only.
  setenv("PLAT_SLEEP_SCALE", "0", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::Machine();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // "wait", "pause" and "wait-items" wait in real time (what the user asked
  // for, up to minutes), not a fault of the reader: left out.
  if (text.find("wait") != std::string_view::npos || text.find("pause") != std::string_view::npos) return 0;
  std::string fault;
  if (plat::ui::LoadScript(text, &fault)) {
    if (!fault.empty()) __builtin_trap();
    for (UINT type : {UINT(MB_OK), UINT(MB_YESNO | MB_ICONQUESTION), UINT(MB_RETRYCANCEL), UINT(MB_YESNOCANCEL)})
      (void)MessageBoxW(nullptr, u"Print a test page?", u"Setup", type);
  } else if (fault.empty()) {
    __builtin_trap();  // a refused script says why
  }
  plat::ui::ResetScript();
  return 0;
}
