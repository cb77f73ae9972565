// libFuzzer target: the machine root's services state file
// (ROOT/.machine/state/services) as the service control manager takes it up,
// then the spooler stopped and started through it and the file read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz_machine.h"
#include "plat/services.h"

namespace {

// A root that keeps its state (it has a profile); the clock moves only
// through Sleep, which returns at once.
void PersistentMachine() {
  static const bool made = [] {
    fuzzsupport::Machine();
    if (!plat::machine::SaveProfile()) std::abort();
    plat::machine::SetSleepScale(0);
    plat::machine::FreezeClock(true);
    return true;
  }();
  (void)made;
}

DWORD State(SC_HANDLE service) {
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service, &status)) __builtin_trap();
  return status.dwCurrentState;
}

// Stops a running spooler or starts a stopped one and lets the change pass.
void Toggle(SC_HANDLE service, DWORD from) {
  SERVICE_STATUS status{};
  if (from == SERVICE_RUNNING) {
    if (!ControlService(service, SERVICE_CONTROL_STOP, &status)) __builtin_trap();
  } else if (!StartServiceW(service, 0, nullptr)) {
    __builtin_trap();
  }
  Sleep(plat::services::Faults{}.pendingMs + 1);
  if (State(service) != (from == SERVICE_RUNNING ? SERVICE_STOPPED : SERVICE_RUNNING)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  PersistentMachine();
  if (!fuzzsupport::PutHostFile(plat::machine::Root() + "/.machine/state/services", data, size)) std::abort();
  // Taken up afresh, as by a process that starts on this root.
  plat::services::Reset();
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
  if (!manager || !service) __builtin_trap();
  const DWORD first = State(service);
  if (first != SERVICE_RUNNING && first != SERVICE_STOPPED) __builtin_trap();
  if ((first == SERVICE_RUNNING) != plat::services::SpoolerRunning()) __builtin_trap();
  Toggle(service, first);
  // What was written back is read back the same.
  plat::services::Reset();
  service = nullptr;
  manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  service = OpenServiceW(manager, u"Spooler", SERVICE_ALL_ACCESS);
  if (!service) __builtin_trap();
  const DWORD second = State(service);
  if (second == first) __builtin_trap();
  Toggle(service, second);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  plat::services::Reset();
  return 0;
}
