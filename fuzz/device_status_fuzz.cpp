// libFuzzer target: the device status file another program writes.
#include <cstddef>
#include <cstdint>

#include "device/device_status.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char kAddress[] = "10.1.2.3";
  static WCHAR path[MAX_PATH];
  static const bool placed = (fuzzsupport::Machine(), RsfStatusPath(kAddress, path, MAX_PATH) == 1);
  if (!placed || !fuzzsupport::PutFile(path, data, size)) return 0;
  std::int32_t ink1 = 0, ink2 = 0;
  InkLab lab1{}, lab2{};
  (void)ReadRsfStatus(kAddress, &ink1, &lab1, &ink2, &lab2);
  return 0;
}
