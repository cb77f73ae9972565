// Our search library on the medium: asks every host of the machine's subnet
// at once for its description, name and hardware address over SNMPv1, and
// keeps the devices whose description holds one of the filter words.
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "device/snmp_ber.h"
#include "installer/search_library.h"
#include "plat/windows.h"

namespace {

constexpr const char* kCommunity = "marnit";
constexpr DWORD kCollectMs = 2000;
constexpr std::size_t kEntryBytes = 44;
constexpr std::size_t kNameBytes = 32;
constexpr std::size_t kFilterSlot = 16;
constexpr int kMaxFilterWords = 8;
constexpr const char* kOids[] = {"1.3.6.1.2.1.1.1.0", "1.3.6.1.2.1.1.5.0", "1.3.6.1.2.1.2.2.1.6.1"};

struct Filter {
  std::mutex mutex;
  std::vector<std::string> words;
};
// Lives while the library is loaded: the installer frees it after each search.
Filter& TheFilter() {
  static Filter f;
  return f;
}

struct Found {
  ULONG address;  // network order
  std::vector<std::uint8_t> mac, name;
};

bool Wanted(const std::vector<std::uint8_t>& description) {
  auto& f = TheFilter();
  std::lock_guard lock(f.mutex);
  if (f.words.empty()) return true;
  const std::string text(description.begin(), description.end());
  for (const auto& w : f.words)
    if (!w.empty() && text.find(w) != std::string::npos) return true;
  return false;
}

// At most 31 bytes, never ending inside a UTF-8 sequence.
std::size_t CutName(const std::vector<std::uint8_t>& name) {
  std::size_t cut = std::min(name.size(), kNameBytes - 1);
  if (cut < name.size())
    while (cut > 0 && (name[cut] & 0xC0) == 0x80) --cut;
  return cut;
}

// An empty MAC or name (an empty OCTET STRING) leaves its field zero.
void PutEntry(BYTE* at, const Found& f) {
  std::memset(at, 0, kEntryBytes);
  if (!f.mac.empty()) std::memcpy(at, f.mac.data(), std::min<std::size_t>(f.mac.size(), 6));
  std::memcpy(at + 8, &f.address, 4);
  if (const std::size_t n = CutName(f.name); n > 0) std::memcpy(at + 12, f.name.data(), n);
}

}  // namespace

extern "C" DLLEXPORT NevoSetFilterFn NevoSetFilter;
extern "C" DLLEXPORT NevoEnumPrintServersFn NevoEnumPrintServers;

extern "C" DLLEXPORT INT NevoSetFilter(const BYTE* filter, INT words) {
  if (!filter || words < 0 || words > kMaxFilterWords) return 0;
  auto& f = TheFilter();
  std::lock_guard lock(f.mutex);
  f.words.clear();
  for (INT i = 0; i < words; ++i) {
    const char* slot = reinterpret_cast<const char*>(filter + i * kFilterSlot);
    f.words.emplace_back(slot, strnlen(slot, kFilterSlot));
  }
  return 1;
}

extern "C" DLLEXPORT INT NevoEnumPrintServers(DWORD, DWORD, BYTE* results, DWORD bytes, INT* status, INT* count) {
  if (!results || !status || !count) return 0;
  *status = 0;
  *count = 0;
  ULONG base = 0;
  int prefix = 0;
  if (!plat::net::MachineSubnet(base, prefix)) {
    base = htonl(0x7F000000);  // 127.0.0.0/24 when the machine names none
    prefix = 24;
  }
  WSADATA wsa{};
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 0;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET) {
    WSACleanup();
    return 0;
  }
  std::vector<SnmpOid> oids(3);
  for (int i = 0; i < 3; ++i) ParseOidText(kOids[i], 64, &oids[i]);
  const ULONG first = ntohl(base);
  const ULONG hosts = prefix >= 31 ? 0 : (1u << (32 - prefix)) - 2;
  for (ULONG i = 1; i <= hosts; ++i) {
    std::vector<std::uint8_t> request;
    if (!EncodeGetRequest(kCommunity, static_cast<std::uint16_t>(i), oids, &request)) continue;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(161);
    to.sin_addr.s_addr = htonl(first + i);
    sendto(s, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
           reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  std::map<ULONG, Found> found;  // by host-order address: the answers in address order
  const DWORD start = GetTickCount();
  for (;;) {
    const DWORD spent = GetTickCount() - start;
    if (spent >= kCollectMs) break;
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(s, &ready);
    const DWORD left = kCollectMs - spent;
    const timeval wait{static_cast<LONG>(left / 1000), static_cast<LONG>((left % 1000) * 1000)};
    if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
    std::uint8_t answer[1500];
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int n = recvfrom(s, reinterpret_cast<char*>(answer), sizeof answer, 0, reinterpret_cast<sockaddr*>(&from),
                           &fromLength);
    if (n <= 0) continue;  // a refusal from a silent host, or a datagram too long
    const ULONG host = ntohl(from.sin_addr.s_addr);
    if (host <= first || host > first + hosts) continue;
    std::vector<std::vector<std::uint8_t>> values;
    std::vector<bool> received;
    if (DecodeGetResponse({answer, static_cast<std::size_t>(n)}, kCommunity, static_cast<std::uint16_t>(host - first),
                          oids, &values, &received) != kSnmpOk)
      continue;
    if (!Wanted(values[0])) continue;
    found[host] = Found{from.sin_addr.s_addr, values[2], values[1]};
  }
  closesocket(s);
  WSACleanup();
  const std::size_t room = std::min<std::size_t>(bytes / kEntryBytes, 256);
  std::size_t filled = 0;
  for (const auto& [host, f] : found) {
    if (filled == room) break;
    PutEntry(results + filled * kEntryBytes, f);
    ++filled;
  }
  *status = 1;
  *count = static_cast<INT>(filled);
  return 1;
}
