// libFuzzer target: the SNMP answer decoder on arbitrary datagrams.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "device/snmp_ber.h"

namespace {
const char* const kRequested[] = {".1.3.6.1.4.1.40613.1.1.1.3.2.1.5", "1.3.6.1.4.1.40613.1.1.1.3.2.1.6"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static std::vector<SnmpOid> oids = [] {
    std::vector<SnmpOid> parsed(2);
    for (int i = 0; i < 2; ++i) ParseOidText(kRequested[i], 256, &parsed[static_cast<std::size_t>(i)]);
    return parsed;
  }();
  std::vector<std::vector<std::uint8_t>> values;
  std::vector<bool> received;
  const int code = DecodeGetResponse(std::span(data, size), "marnit", 0x1234, oids, &values, &received);
  if (code == kSnmpOk) {
    // Every value handed out lies within the datagram.
    std::size_t total = 0;
    for (const auto& v : values) total += v.size();
    if (total > size) __builtin_trap();
  }

  // The pieces on their own, on the raw bytes.
  std::uint32_t length = 0;
  std::size_t used = 0;
  if (DecodeBerLength(data, size, &length, &used) && used > size) __builtin_trap();
  char text[kSnmpOidTextSize];
  const int n = OidToText(data, size, text, sizeof text);
  if (n >= 0 && (static_cast<std::size_t>(n) >= sizeof text || std::strlen(text) != static_cast<std::size_t>(n))) {
    __builtin_trap();
  }
  return 0;
}
