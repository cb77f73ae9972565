// Builds SNMP messages for tests, written apart from the client's encoder so
// that each checks the other.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "fake_agent.h"

namespace ber {

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

inline Bytes Length(std::size_t n) {
  if (n < 128) return {static_cast<std::uint8_t>(n)};
  if (n < 256) return {0x81, static_cast<std::uint8_t>(n)};
  return {0x82, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

inline Bytes Tlv(std::uint8_t tag, const Bytes& content) { return Cat({{tag}, Length(content.size()), content}); }
inline Bytes Seq(std::initializer_list<Bytes> items) { return Tlv(0x30, Cat(items)); }

// Minimal two's-complement content.
inline Bytes IntContent(long long v) {
  Bytes out;
  for (int shift = 56; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
  while (out.size() > 1 && ((out[0] == 0x00 && !(out[1] & 0x80)) || (out[0] == 0xFF && (out[1] & 0x80)))) {
    out.erase(out.begin());
  }
  return out;
}
inline Bytes Int(long long v) { return Tlv(0x02, IntContent(v)); }
inline Bytes Str(std::string_view s) { return Tlv(0x04, Bytes(s.begin(), s.end())); }

inline Bytes OidContent(std::string_view text) {
  std::vector<unsigned long> arcs;
  if (!text.empty() && text[0] == '.') text.remove_prefix(1);
  unsigned long v = 0;
  for (char c : text) {
    if (c == '.') {
      arcs.push_back(v);
      v = 0;
    } else {
      v = v * 10 + static_cast<unsigned long>(c - '0');
    }
  }
  arcs.push_back(v);
  Bytes out;
  auto put = [&](unsigned long value) {
    Bytes groups{static_cast<std::uint8_t>(value & 0x7F)};
    for (value >>= 7; value; value >>= 7) groups.insert(groups.begin(), static_cast<std::uint8_t>(0x80 | (value & 0x7F)));
    out.insert(out.end(), groups.begin(), groups.end());
  };
  put(arcs[0] * 40 + arcs[1]);
  for (std::size_t i = 2; i < arcs.size(); ++i) put(arcs[i]);
  return out;
}
inline Bytes Oid(std::string_view text) { return Tlv(0x06, OidContent(text)); }

struct Binding {
  std::string oid;
  Bytes value;  // a whole TLV
};

inline Bytes Response(std::string_view community, long long requestId, const std::vector<Binding>& bindings,
                      long long errorStatus = 0, long long errorIndex = 0) {
  Bytes list;
  for (const Binding& b : bindings) {
    Bytes one = Seq({Oid(b.oid), b.value});
    list.insert(list.end(), one.begin(), one.end());
  }
  return Seq({Int(0), Str(community),
              Tlv(0xA2, Cat({Int(requestId), Int(errorStatus), Int(errorIndex), Tlv(0x30, list)}))});
}

// The request id of a GetRequest as the client sends it ("02 02 hi lo" after
// version and community).
inline int RequestId(const Bytes& request) {
  // 30 L 02 01 00 04 n community A0 L 02 02 hi lo
  std::size_t at = 1;
  at += (request[at] & 0x80) ? 1 + (request[at] & 0x7F) : 1;
  at += 3;                    // version
  at += 2 + request[at + 1];  // community
  at += 1;                    // A0
  at += (request[at] & 0x80) ? 1 + (request[at] & 0x7F) : 1;
  return (request[at + 2] << 8) | request[at + 3];
}

}  // namespace ber
