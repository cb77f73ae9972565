// What the SNMP fuzz targets share: the answer a scripted agent sends back to
// a GetRequest, its values and error field read from the fuzz input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "device/ber_builder.h"
#include "device/fake_agent.h"
#include "device/snmp_ber.h"
#include "plat/net.h"

namespace fuzzsupport {

// The OIDs a GetRequest asks for, in order.
inline std::vector<std::string> RequestedOids(const Bytes& request) {
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

// A GetResponse to the request for each variable it asks for: an error
// status when the first byte says so, then per variable a tag, a length and
// that many bytes of value, read from the input in order.
inline Bytes ScriptedAnswer(const Bytes& request, const Bytes& in, std::string_view community) {
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
  return ber::Response(community, ber::RequestId(request), bindings, errorStatus);
}

// A scripted agent on 127.0.0.1 and the input its script answers from.
struct InputAgent {
  FakeAgent agent;
  std::mutex lock;  // guards input against the agent's thread
  Bytes input;

  void SetInput(const std::uint8_t* data, std::size_t size) {
    std::lock_guard guard(lock);
    input.assign(data, data + size);
  }
};

// The process's scripted agent, the machine's agent on 127.0.0.1: it answers
// each request with answer(request, input) under the input's lock. The
// network's waits are scaled by waitScale. Aborts when it cannot be
// registered.
template <typename Answer>
InputAgent* StartInputAgent(Answer answer, double waitScale) {
  auto* made = new InputAgent;
  made->agent.SetScript([made, answer](const Bytes& request, int) {
    std::lock_guard guard(made->lock);
    return answer(request, made->input);
  });
  if (!plat::net::AddMachineAgent("127.0.0.1", made->agent.Port())) std::abort();
  plat::net::SetWaitScale(waitScale);
  return made;
}

}  // namespace fuzzsupport
