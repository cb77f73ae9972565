// libFuzzer target: the scripted user's steps (what PLAT_UI_SCRIPT holds),
// taken up and played on the message boxes a program shows.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "fuzz_machine.h"
#include "plat/msgqueue.h"
#include "plat/ui.h"

namespace {

// The steps' waits pass on the machine's clock alone: the pump polls every
// 10 machine ms, so a wait costs its length / 10 polls. What the user may ask
// for (up to weeks) is bounded here to what a run can afford.
constexpr std::uint64_t kLongestWaitsMs = 600000;
constexpr std::uint64_t kWaitItemsMs = 120000;  // what "wait-items" gives at most

// Machine ms the script's waiting steps take at most, split as the loader and
// the player split them.
std::uint64_t WaitingMs(std::string_view text) {
  std::uint64_t total = 0;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find_first_of(";\n", start);
    if (end == std::string_view::npos) end = text.size();
    const std::string step(text.substr(start, end - start));
    const auto colon = step.find(':');
    if (colon != std::string::npos) {
      std::istringstream in(step.substr(colon + 1));
      std::string verb, id;
      in >> verb >> id;
      if (verb == "wait-items") total += kWaitItemsMs;
      else if (verb == "pause" || verb == "wait") total += static_cast<DWORD>(std::atoi(id.c_str()));
    }
    start = end + 1;
  }
  return total;
}

void NoHostPause() {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("PLAT_SLEEP_SCALE", "0", 1);
  plat::ui::SetPumpHostPause(NoHostPause);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::Machine();
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (WaitingMs(text) > kLongestWaitsMs) return 0;
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
