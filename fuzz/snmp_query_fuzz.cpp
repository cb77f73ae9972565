// libFuzzer target: the SNMP answers to the device queries (drum table,
// option table, device values). A scripted agent on 127.0.0.1 answers each
// request for its own variables, with values and error fields taken from
// the input, so the client's matching and copying see every kind of value.
#include <cstddef>
#include <cstdint>

#include "device/device_status.h"
#include "fuzz_machine.h"
#include "fuzz_snmp_agent.h"
#include "plat/net.h"

namespace {

fuzzsupport::InputAgent& TheAgent() {
  static fuzzsupport::InputAgent* a = [] {
    fuzzsupport::Machine();
    return fuzzsupport::StartInputAgent(
        [](const Bytes& request, const Bytes& input) {
          return std::vector<Bytes>{fuzzsupport::ScriptedAnswer(request, input, kDeviceCommunity)};
        },
        0.05);
  }();
  return *a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzsupport::InputAgent& agent = TheAgent();
  agent.SetInput(data, size);
  DrumRecord drums[2]{};
  (void)QueryDrumTable("127.0.0.1", drums);
  OptionRecord options[9]{};
  (void)QueryOptionTable("127.0.0.1", options);
  std::int32_t value = 0;
  (void)QueryDeviceValue("127.0.0.1", &value);
  return 0;
}
