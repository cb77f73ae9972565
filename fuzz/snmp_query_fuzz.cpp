// libFuzzer target: the SNMP answers to the device queries (drum table,
// option table, device values). A scripted agent on 127.0.0.1 answers each
// request for its own variables, with values and error fields taken from
// the input, so the client's matching and copying see every kind of value.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/ber_builder.h"
#include "device/device_status.h"
#include "device/fake_agent.h"
#include "device/snmp_ber.h"
#include "fuzz_machine.h"
#include "plat/net.h"

namespace {

// The OIDs a GetRequest of the client asks for, in order.
std::vector<std::string> RequestedOids(const Bytes& request) {
  std::vector<std::string> oids;
  std::size_t at = 0;
  // Steps into a TLV's content when into, else past it; false at the end.
  auto step = [&](bool into) {
    if (at + 2 > request.size()) return false;
    std::uint32_t length = 0;
    std::size_t used = 0;
    if (!DecodeBerLength(&request[at + 1], request.size() - at - 1, &length, &used)) return false;
    const std::size_t content = at + 1 + used;
    if (length > request.size() - content) return false;
    at = into ? content : content + length;
    return true;
  };
  // Message, version, community, PDU, id, status, index, list.
  if (!step(true) || !step(false) || !step(false) || !step(true) || !step(false) || !step(false) || !step(false) ||
      !step(true))
    return oids;
  while (at < request.size()) {
    const std::size_t binding = at;
    if (!step(true)) break;
    const std::size_t oidAt = at;
    if (request[oidAt] != 0x06 || !step(false)) break;
    char text[kSnmpOidTextSize];
    const std::size_t contentAt = oidAt + 2;
    if (contentAt <= at && OidToText(&request[contentAt], at - contentAt, text, sizeof text) >= 0) oids.push_back(text);
    at = binding;
    if (!step(false)) break;
  }
  return oids;
}

struct Agent {
  FakeAgent agent;
  std::mutex lock;
  Bytes input;
};

Agent& TheAgent() {
  static Agent* a = [] {
    fuzzsupport::Machine();
    auto* made = new Agent;
    made->agent.SetScript([made](const Bytes& request, int) {
      std::lock_guard guard(made->lock);
      const Bytes& in = made->input;
      std::size_t at = 0;
      auto next = [&]() -> std::uint8_t { return at < in.size() ? in[at++] : 0; };
      const long long errorStatus = next() % 8 == 7 ? next() : 0;
      std::vector<ber::Binding> bindings;
      for (const std::string& oid : RequestedOids(request)) {
        const std::uint8_t tag = next();
        const std::size_t length = std::min<std::size_t>(next(), in.size() - std::min(at, in.size()));
        bindings.push_back({oid, ber::Tlv(tag, Bytes(in.begin() + static_cast<std::ptrdiff_t>(at),
                                                     in.begin() + static_cast<std::ptrdiff_t>(at + length)))});
        at += length;
      }
      return std::vector<Bytes>{ber::Response(kDeviceCommunity, ber::RequestId(request), bindings, errorStatus)};
    });
    plat::net::AddMachineAgent("127.0.0.1", made->agent.Port());
    plat::net::SetWaitScale(0.05);
    return made;
  }();
  return *a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Agent& agent = TheAgent();
  {
    std::lock_guard guard(agent.lock);
    agent.input.assign(data, data + size);
  }
  DrumRecord drums[2]{};
  (void)QueryDrumTable("127.0.0.1", drums);
  OptionRecord options[9]{};
  (void)QueryOptionTable("127.0.0.1", options);
  std::int32_t value = 0;
  (void)QueryDeviceValue("127.0.0.1", &value);
  return 0;
}
