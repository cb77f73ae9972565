#include "device/snmp_client.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <random>
#include <vector>

#include "plat/net.h"

namespace {

constexpr int kSnmpVersion1 = 1;
constexpr USHORT kSnmpPort = 161;
constexpr std::size_t kAddressSize = 24;

struct UdpTransport {
  SOCKET socket = INVALID_SOCKET;
  sockaddr_in destination{};
};

struct ProtocolBlock {
  int version = kSnmpVersion1;
  char* community = nullptr;  // owned
  std::size_t communityLength = 0;
  UdpTransport transport;
};

struct CacheEntry {
  SnmpOid oid;
  std::int32_t type;
  std::vector<std::uint8_t> value;
};

}  // namespace

struct SnmpSession {
  char address[kAddressSize];
  ProtocolBlock* protocol;
  std::int32_t timeoutSeconds;
  std::int32_t retries;
  std::vector<CacheEntry> cache;
  SnmpSession* next;
};

namespace {

// Process-wide state, no lock: the drivers call the client from one thread.
SnmpSession* g_sessions = nullptr;
bool g_socketsStarted = false;
std::uint16_t g_lastRequestId = 0;
bool g_haveLastRequestId = false;

void FreeProtocol(ProtocolBlock* protocol) {
  if (!protocol) return;
  if (protocol->transport.socket != INVALID_SOCKET) closesocket(protocol->transport.socket);
  delete[] protocol->community;
  delete protocol;
}

void FreeSession(SnmpSession* session) {
  FreeProtocol(session->protocol);
  delete session;
}

void FreeAllSessions() {
  while (g_sessions) {
    SnmpSession* next = g_sessions->next;
    FreeSession(g_sessions);
    g_sessions = next;
  }
  if (g_socketsStarted) WSACleanup();
  g_socketsStarted = false;
}

void StartSockets() {
  if (g_socketsStarted) return;
  WSADATA data;
  // The open goes on: a failure shows again as a socket error when used.
  if (WSAStartup(MAKEWORD(2, 0), &data) != 0) {
    // "WinSock" and the Shift-JIS words for "initialisation failed".
    static constexpr char kStartupFailed[] = "WinSock\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x8E\xB8\x94\x73\n";
    std::fwrite(kStartupFailed, 1, sizeof kStartupFailed - 1, stderr);
  }
  // Runs once, at process exit or when the library holding the client is
  // unloaded, whichever comes first.
  [[maybe_unused]] static const struct SessionsAtExit {
    ~SessionsAtExit() { FreeAllSessions(); }
  } atExit;
  g_socketsStarted = true;
}

// Length of text up to limit; limit when no terminator comes first.
std::size_t BoundedLength(const char* text, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && text[n] != '\0') ++n;
  return n;
}

bool IsOpen(const SnmpSession* session) {
  for (SnmpSession* s = g_sessions; s; s = s->next) {
    if (s == session) return true;
  }
  return false;
}

// Drops what an earlier exchange left in the socket (a late answer to a
// resent request, a refusal), so the next answer read is to this request.
void DiscardPending(SOCKET socket) {
  char spare[1];
  for (int i = 0; i < 64; ++i) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(socket, &readable);
    timeval now{0, 0};
    if (select(0, &readable, nullptr, nullptr, &now) <= 0) return;
    sockaddr_in from{};
    int fromLength = sizeof from;
    recvfrom(socket, spare, sizeof spare, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  }
}

// Sends the request and receives one answer, resending once after a silent
// time-out. A datagram larger than the buffer doubles it and repeats the
// exchange from the send.
int TransportExchange(SnmpSession* session, const std::vector<std::uint8_t>& request, std::size_t bufferSize,
                      std::vector<std::uint8_t>* answer) {
  UdpTransport& udp = session->protocol->transport;
  DiscardPending(udp.socket);
  for (;;) {
    int resends = 0;
    for (;;) {
      if (sendto(udp.socket, reinterpret_cast<const char*>(request.data()), static_cast<int>(request.size()), 0,
                 reinterpret_cast<const sockaddr*>(&udp.destination), sizeof udp.destination) == SOCKET_ERROR) {
        return kSnmpSendFailed | WSAGetLastError();
      }
      fd_set readable;
      FD_ZERO(&readable);
      FD_SET(udp.socket, &readable);
      timeval wait{session->timeoutSeconds, 0};
      const int ready = select(0, &readable, nullptr, nullptr, &wait);
      if (ready == SOCKET_ERROR) return kSnmpSelectFailed | WSAGetLastError();
      if (ready > 0) break;
      if (resends >= session->retries) return kSnmpNoAnswer;
      ++resends;
    }
    try {
      answer->resize(bufferSize);
    } catch (const std::bad_alloc&) {
      return kSnmpNoMemory;
    }
    sockaddr_in from{};
    int fromLength = sizeof from;
    const int got = recvfrom(udp.socket, reinterpret_cast<char*>(answer->data()), static_cast<int>(bufferSize), 0,
                             reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (got != SOCKET_ERROR) {
      answer->resize(static_cast<std::size_t>(got));
      return kSnmpOk;
    }
    const int error = WSAGetLastError();
    // No datagram exceeds 64 KiB, so a buffer that large never truncates.
    if (error != WSAEMSGSIZE || bufferSize >= 0x10000) return kSnmpReceiveFailed | error;
    bufferSize *= 2;
  }
}

// The OIDs of the caller's variables, parsed; false when one is not a
// terminated dotted text.
bool ParseBinds(const SnmpVarBind* binds, int count, std::vector<SnmpOid>* oids) {
  oids->resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    if (!std::memchr(binds[i].oid, '\0', sizeof binds[i].oid)) return false;
    if (!ParseOidText(binds[i].oid, sizeof binds[i].oid, &(*oids)[i])) return false;
  }
  return true;
}

CacheEntry* FindCached(SnmpSession* session, const SnmpOid& oid) {
  for (CacheEntry& entry : session->cache) {
    if (SameOid(entry.oid, oid)) return &entry;
  }
  return nullptr;
}

int FetchVarBinds(SnmpSession* session, SnmpVarBind* binds, int count, int mode) {
  std::vector<SnmpOid> oids;
  if (!ParseBinds(binds, count, &oids)) return kSnmpCannotEncode;

  std::vector<int> asked;  // indices of the variables that go to the device
  for (int i = 0; i < count; ++i) {
    if (mode == 1 || !FindCached(session, oids[static_cast<std::size_t>(i)])) asked.push_back(i);
  }
  if (!asked.empty()) {
    std::vector<SnmpOid> askedOids;
    for (int i : asked) askedOids.push_back(oids[static_cast<std::size_t>(i)]);
    const std::uint16_t id = NextRequestId();
    const std::string_view community(session->protocol->community, session->protocol->communityLength);
    std::vector<std::uint8_t> request;
    if (!EncodeGetRequest(community, id, askedOids, &request)) return kSnmpCannotEncode;

    std::vector<std::uint8_t> answer;
    const std::size_t bufferSize = 512 * asked.size() + community.size() + 34;
    int result = TransportExchange(session, request, bufferSize, &answer);
    if (result != kSnmpOk) return result;

    std::vector<std::vector<std::uint8_t>> values;
    std::vector<bool> received;
    result = DecodeGetResponse(answer, community, id, askedOids, &values, &received);
    if (result != kSnmpOk) return result;

    // Reserve first so that the cache changes all at once or not at all.
    session->cache.reserve(session->cache.size() + asked.size());
    for (std::size_t k = 0; k < asked.size(); ++k) {
      const SnmpVarBind& bind = binds[asked[k]];
      CacheEntry* existing = (mode == 1) ? FindCached(session, askedOids[k]) : nullptr;
      if (existing) {
        existing->type = bind.type;
        existing->value = std::move(values[k]);
      } else {
        session->cache.push_back(CacheEntry{askedOids[k], bind.type, std::move(values[k])});
      }
    }
  }

  for (int i = 0; i < count; ++i) {
    const CacheEntry* entry = FindCached(session, oids[static_cast<std::size_t>(i)]);
    if (!entry) continue;
    SnmpVarBind& bind = binds[i];
    const std::size_t room = (bind.buffer && bind.bufferSize > 0) ? static_cast<std::size_t>(bind.bufferSize) : 0;
    const std::size_t n = entry->value.size() < room ? entry->value.size() : room;
    if (n > 0) std::memcpy(bind.buffer, entry->value.data(), n);
    bind.returnedLength = static_cast<std::int32_t>(entry->value.size());
    bind.type = entry->type;
  }
  return kSnmpOk;
}

}  // namespace

std::uint16_t NextRequestId() {
  static std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
  std::uint16_t id;
  do {
    id = static_cast<std::uint16_t>((generator() >> 8) & 0x7FFF);
  } while (g_haveLastRequestId && id == g_lastRequestId);
  g_lastRequestId = id;
  g_haveLastRequestId = true;
  return id;
}

int SnmpOpen(const char* address, const char* community, SnmpSession** session) {
  if (!address || !community || !session) return kSnmpBadArgument;
  *session = nullptr;
  const std::size_t addressLength = BoundedLength(address, kAddressSize);
  const std::size_t communityLength = BoundedLength(community, kSnmpMaxCommunity + 1);
  if (addressLength >= kAddressSize || communityLength > kSnmpMaxCommunity) return kSnmpBadArgument;

  StartSockets();

  auto* record = new (std::nothrow) SnmpSession{};
  if (!record) return -1;
  std::memcpy(record->address, address, addressLength);

  auto* protocol = new (std::nothrow) ProtocolBlock{};
  char* communityCopy = new (std::nothrow) char[communityLength + 1];
  if (!protocol || !communityCopy) {
    delete protocol;
    delete[] communityCopy;
    delete record;
    return kSnmpNoMemory;
  }
  std::memcpy(communityCopy, community, communityLength);
  communityCopy[communityLength] = '\0';
  protocol->version = kSnmpVersion1;
  protocol->community = communityCopy;
  protocol->communityLength = communityLength;
  record->protocol = protocol;

  UdpTransport& udp = protocol->transport;
  udp.socket = socket(AF_INET, SOCK_DGRAM, 0);
  if (udp.socket == INVALID_SOCKET) {
    const int error = WSAGetLastError();
    FreeSession(record);
    return kSnmpSocketFailed | error;
  }
  udp.destination.sin_family = AF_INET;
  udp.destination.sin_port = htons(kSnmpPort);
  udp.destination.sin_addr.s_addr = inet_addr(record->address);

  record->timeoutSeconds = 4;
  record->retries = 1;
  record->next = g_sessions;
  g_sessions = record;
  *session = record;
  return kSnmpOk;
}

int SnmpGet(SnmpSession* session, SnmpVarBind* binds, int count, int mode) {
  if (!binds || count <= 0) return kSnmpBadArgument;
  if (!IsOpen(session)) return kSnmpNoSession;
  try {
    return FetchVarBinds(session, binds, count, mode);
  } catch (const std::bad_alloc&) {
    return kSnmpNoMemory;
  }
}

int SnmpClose(SnmpSession* session) {
  for (SnmpSession** link = &g_sessions; *link; link = &(*link)->next) {
    if (*link == session) {
      *link = session->next;
      FreeSession(session);
      break;
    }
  }
  return kSnmpOk;
}
