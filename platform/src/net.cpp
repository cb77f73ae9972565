#include "plat/net.h"

#include <cstdio>

#include <bit>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "machine_state.h"
#include "net_host.h"

namespace {

struct NetState {
  std::mutex lock;
  int startups = 0;
  std::set<SOCKET> sockets;
  std::map<ULONG, USHORT> portOverrides;  // address -> port, both network order
  double waitScale = 1.0;
  bool startupFails = false;
};

NetState& State() {
  static NetState* state = new NetState;  // outlives every exit-time caller
  return *state;
}

int Fail(int error) {
  SetLastError(static_cast<DWORD>(error));
  return SOCKET_ERROR;
}

int WsaFromErrno(int e) {
  switch (e) {
    case EINTR: return WSAEINTR;
    case EBADF:
    case ENOTSOCK: return WSAENOTSOCK;
    case EACCES:
    case EPERM: return WSAEACCES;
    case EFAULT: return WSAEFAULT;
    case EINVAL: return WSAEINVAL;
    case EMFILE:
    case ENFILE: return WSAEMFILE;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EDESTADDRREQ: return WSAEDESTADDRREQ;
    case EMSGSIZE: return WSAEMSGSIZE;
    case EPROTOTYPE: return WSAEPROTOTYPE;
    case EPROTONOSUPPORT: return WSAEPROTONOSUPPORT;
    case EOPNOTSUPP: return WSAEOPNOTSUPP;
    case EAFNOSUPPORT: return WSAEAFNOSUPPORT;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return WSAEADDRNOTAVAIL;
    case ENETDOWN: return WSAENETDOWN;
    case ENETUNREACH: return WSAENETUNREACH;
    case ECONNRESET:
    case ECONNREFUSED: return WSAECONNRESET;  // what Winsock reports for a refused datagram
    case ENOBUFS:
    case ENOMEM: return WSAENOBUFS;
    case ENOTCONN: return WSAENOTCONN;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case EHOSTUNREACH: return WSAEHOSTUNREACH;
    default: return WSAEINVAL;
  }
}

// Checks startup and that s is one of ours; sets the error otherwise.
bool Usable(SOCKET s) {
  NetState& st = State();
  std::lock_guard guard(st.lock);
  if (st.startups == 0) {
    SetLastError(WSANOTINITIALISED);
    return false;
  }
  if (st.sockets.count(s) == 0) {
    SetLastError(WSAENOTSOCK);
    return false;
  }
  return true;
}

// One part of an address text: decimal, 0x hex or 0 octal, up to max.
const char* ParsePart(const char* p, ULONG max, ULONG* value) {
  ULONG base = 10;
  if (*p == '0') {
    base = 8;
    if (p[1] == 'x' || p[1] == 'X') {
      base = 16;
      p += 2;
      if (!std::isxdigit(static_cast<unsigned char>(*p))) return nullptr;
    }
  }
  if (!std::isxdigit(static_cast<unsigned char>(*p))) return nullptr;
  std::uint64_t v = 0;
  for (;; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(*p))) {
      digit = (*p | 0x20) - 'a' + 10;
    } else {
      break;
    }
    if (static_cast<ULONG>(digit) >= base) return nullptr;
    v = v * base + static_cast<std::uint64_t>(digit);
    if (v > max) return nullptr;
  }
  *value = static_cast<ULONG>(v);
  return p;
}

// Strict a.b.c.d of 0-255 decimal parts, network order.
bool ParseDottedQuad(std::string_view text, ULONG* address) {
  ULONG parts[4];
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    std::size_t start = pos;
    ULONG v = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      v = v * 10 + static_cast<ULONG>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || v > 255) return false;
    parts[i] = v;
  }
  if (pos != text.size()) return false;
  *address = htonl((parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3]);
  return true;
}

}  // namespace

extern "C" {

int WSAStartup(WORD versionRequested, LPWSADATA data) {
  if (!data) return WSAEFAULT;
  const BYTE major = LOBYTE(versionRequested);
  const BYTE minor = static_cast<BYTE>(versionRequested >> 8);
  std::memset(data, 0, sizeof *data);
  data->wHighVersion = MAKEWORD(2, 2);
  if (major == 0) {
    data->wVersion = MAKEWORD(2, 2);
    return WSAVERNOTSUPPORTED;
  }
  data->wVersion = (major > 2 || (major == 2 && minor > 2)) ? MAKEWORD(2, 2) : versionRequested;
  std::strcpy(data->szDescription, "WinSock 2.0");
  std::strcpy(data->szSystemStatus, "Running");
  data->iMaxUdpDg = 65467;
  NetState& st = State();
  std::lock_guard guard(st.lock);
  if (st.startupFails) return WSASYSNOTREADY;
  ++st.startups;
  return 0;
}

int WSACleanup() {
  NetState& st = State();
  std::lock_guard guard(st.lock);
  if (st.startups == 0) return Fail(WSANOTINITIALISED);
  --st.startups;
  return 0;
}

int WSAGetLastError() { return static_cast<int>(GetLastError()); }
void WSASetLastError(int error) { SetLastError(static_cast<DWORD>(error)); }

}  // extern "C"

SOCKET socket(int af, int type, int protocol) {
  NetState& st = State();
  {
    std::lock_guard guard(st.lock);
    if (st.startups == 0) {
      SetLastError(WSANOTINITIALISED);
      return INVALID_SOCKET;
    }
  }
  if (af != AF_INET) {
    SetLastError(WSAEAFNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (type != SOCK_DGRAM) {
    SetLastError(WSAESOCKTNOSUPPORT);
    return INVALID_SOCKET;
  }
  if (protocol != 0 && protocol != IPPROTO_UDP) {
    SetLastError(WSAEPROTONOSUPPORT);
    return INVALID_SOCKET;
  }
  int err = 0;
  int fd = plat::nethost::OpenUdp(&err);
  if (fd < 0) {
    SetLastError(static_cast<DWORD>(WsaFromErrno(err)));
    return INVALID_SOCKET;
  }
  std::lock_guard guard(st.lock);
  st.sockets.insert(static_cast<SOCKET>(fd));
  return static_cast<SOCKET>(fd);
}

int closesocket(SOCKET s) {
  if (!Usable(s)) return SOCKET_ERROR;
  {
    NetState& st = State();
    std::lock_guard guard(st.lock);
    st.sockets.erase(s);
  }
  int err = 0;
  if (plat::nethost::Close(static_cast<int>(s), &err) != 0) return Fail(WsaFromErrno(err));
  return 0;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  if (!Usable(s)) return SOCKET_ERROR;
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
  if (!to || tolen < static_cast<int>(sizeof(sockaddr_in))) return Fail(WSAEFAULT);
  sockaddr_in dest;
  std::memcpy(&dest, to, sizeof dest);
  if (dest.sin_family != AF_INET) return Fail(WSAEAFNOSUPPORT);
  if (dest.sin_addr.s_addr == INADDR_ANY || dest.sin_port == 0) return Fail(WSAEADDRNOTAVAIL);
  if (dest.sin_addr.s_addr == INADDR_BROADCAST) return Fail(WSAEACCES);
  if (len > 65507) return Fail(WSAEMSGSIZE);
  USHORT port = dest.sin_port;
  {
    NetState& st = State();
    std::lock_guard guard(st.lock);
    auto it = st.portOverrides.find(dest.sin_addr.s_addr);
    if (it != st.portOverrides.end()) port = it->second;
  }
  if (port == dest.sin_port) {
    for (const auto& [address, agentPort] : plat::net::MachineAgents())
      if (address == dest.sin_addr.s_addr) port = htons(agentPort);
  }
  int err = 0;
  long n = plat::nethost::SendTo(static_cast<int>(s), buf, static_cast<std::size_t>(len), dest.sin_addr.s_addr, port,
                                 &err);
  if (n < 0) return Fail(WsaFromErrno(err));
  return static_cast<int>(n);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  if (!Usable(s)) return SOCKET_ERROR;
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (len > 0 && !buf)) return Fail(WSAEFAULT);
  if (from && (!fromlen || *fromlen < static_cast<int>(sizeof(sockaddr_in)))) return Fail(WSAEFAULT);
  std::size_t full = 0;
  std::uint32_t address = 0;
  std::uint16_t port = 0;
  int err = 0;
  long n = plat::nethost::ReceiveFrom(static_cast<int>(s), buf, static_cast<std::size_t>(len), &full, &address, &port,
                                      &err);
  if (n < 0) return Fail(WsaFromErrno(err));
  if (from) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    source.sin_port = port;
    source.sin_addr.s_addr = address;
    std::memcpy(from, &source, sizeof source);
    *fromlen = sizeof source;
  }
  if (full > static_cast<std::size_t>(len)) return Fail(WSAEMSGSIZE);
  return static_cast<int>(n);
}

int WSAFDIsSet(SOCKET s, fd_set* set) {
  if (!set) return 0;
  for (UINT i = 0; i < set->fd_count && i < FD_SETSIZE; ++i) {
    if (set->fd_array[i] == s) return 1;
  }
  return 0;
}

int select(int /*nfds*/, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout) {
  NetState& st = State();
  double scale;
  {
    std::lock_guard guard(st.lock);
    if (st.startups == 0) return Fail(WSANOTINITIALISED);
    scale = st.waitScale;
  }
  fd_set* sets[3] = {readfds, writefds, exceptfds};
  const short wants[3] = {plat::nethost::kWantRead, plat::nethost::kWantWrite, plat::nethost::kWantExcept};
  plat::nethost::PollItem items[3 * FD_SETSIZE];
  std::size_t count = 0;
  for (int k = 0; k < 3; ++k) {
    if (!sets[k]) continue;
    if (sets[k]->fd_count > FD_SETSIZE) return Fail(WSAEINVAL);
    for (UINT i = 0; i < sets[k]->fd_count; ++i) {
      SOCKET s = sets[k]->fd_array[i];
      {
        std::lock_guard guard(st.lock);
        if (st.sockets.count(s) == 0) return Fail(WSAENOTSOCK);
      }
      items[count++] = {static_cast<int>(s), wants[k], 0, false};
    }
  }
  if (count == 0) return Fail(WSAEINVAL);
  long long ms = -1;
  if (timeout) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
    double wanted = (static_cast<double>(timeout->tv_sec) * 1000.0 + static_cast<double>(timeout->tv_usec) / 1000.0) * scale;
    constexpr double kLongest = 30.0 * 24 * 3600 * 1000;
    ms = static_cast<long long>(std::ceil(wanted < kLongest ? wanted : kLongest));
  }
  int err = 0;
  int ready = plat::nethost::Poll(items, count, ms, &err);
  if (ready < 0) return Fail(WsaFromErrno(err));
  for (std::size_t i = 0; i < count; ++i) {
    if (items[i].invalid) return Fail(WSAENOTSOCK);
  }
  std::size_t at = 0;
  for (int k = 0; k < 3; ++k) {
    if (!sets[k]) continue;
    UINT n = sets[k]->fd_count;
    sets[k]->fd_count = 0;
    for (UINT i = 0; i < n; ++i, ++at) {
      if (items[at].ready) sets[k]->fd_array[sets[k]->fd_count++] = static_cast<SOCKET>(items[at].fd);
    }
  }
  return ready;
}

char* inet_ntoa(in_addr address) {
  thread_local char text[16];
  const auto* b = reinterpret_cast<const unsigned char*>(&address.s_addr);
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
  return text;
}

ULONG inet_addr(const char* cp) {
  if (!cp) return INADDR_NONE;
  ULONG parts[4] = {};
  int count = 0;
  const char* p = cp;
  for (;;) {
    if (count == 4) return INADDR_NONE;
    const char* next = ParsePart(p, 0xFFFFFFFFu, &parts[count]);
    if (!next) return INADDR_NONE;
    ++count;
    p = next;
    if (*p != '.') break;
    ++p;
  }
  if (*p != '\0' && *p != ' ' && *p != '\t') return INADDR_NONE;
  // The last part fills the remaining bytes.
  ULONG value;
  switch (count) {
    case 1: value = parts[0]; break;
    case 2:
      if (parts[0] > 255 || parts[1] > 0xFFFFFF) return INADDR_NONE;
      value = (parts[0] << 24) | parts[1];
      break;
    case 3:
      if (parts[0] > 255 || parts[1] > 255 || parts[2] > 0xFFFF) return INADDR_NONE;
      value = (parts[0] << 24) | (parts[1] << 16) | parts[2];
      break;
    default:
      if (parts[0] > 255 || parts[1] > 255 || parts[2] > 255 || parts[3] > 255) return INADDR_NONE;
      value = (parts[0] << 24) | (parts[1] << 16) | (parts[2] << 8) | parts[3];
      break;
  }
  return htonl(value);
}

USHORT htons(USHORT v) {
  if constexpr (std::endian::native == std::endian::big) return v;
  return static_cast<USHORT>((v >> 8) | (v << 8));
}
USHORT ntohs(USHORT v) { return htons(v); }
ULONG htonl(ULONG v) {
  if constexpr (std::endian::native == std::endian::big) return v;
  return ((v & 0xFF) << 24) | ((v & 0xFF00) << 8) | ((v >> 8) & 0xFF00) | (v >> 24);
}
ULONG ntohl(ULONG v) { return htonl(v); }

namespace plat::net {

bool SetPortOverride(std::string_view ipv4, USHORT port) {
  ULONG address;
  if (!ParseDottedQuad(ipv4, &address)) return false;
  NetState& st = State();
  std::lock_guard guard(st.lock);
  if (port == 0) {
    st.portOverrides.erase(address);
  } else {
    st.portOverrides[address] = htons(port);
  }
  return true;
}

void ClearPortOverrides() {
  NetState& st = State();
  std::lock_guard guard(st.lock);
  st.portOverrides.clear();
}

void SetWaitScale(double scale) {
  NetState& st = State();
  std::lock_guard guard(st.lock);
  st.waitScale = scale > 0 ? scale : 0;
}

void SetStartupFailure(bool fail) {
  NetState& st = State();
  std::lock_guard guard(st.lock);
  st.startupFails = fail;
}

// ---- the machine's network: its subnet and its agents on other ports ----
namespace {
constexpr const char* kNetStateFile = "net";

std::string SubnetLine(ULONG base, int prefix) {
  in_addr a{base};
  return std::string(inet_ntoa(a)) + "/" + std::to_string(prefix);
}
}  // namespace

bool SetSubnet(std::string_view cidr) {
  const auto slash = cidr.find('/');
  if (slash == std::string_view::npos) return false;
  ULONG base = 0;
  if (!ParseDottedQuad(cidr.substr(0, slash), &base)) return false;
  int prefix = 0;
  for (char c : cidr.substr(slash + 1)) {
    if (c < '0' || c > '9') return false;
    prefix = prefix * 10 + (c - '0');
    if (prefix > 32) return false;
  }
  if (slash + 1 == cidr.size() || prefix < 8) return false;
  const ULONG mask = prefix == 32 ? 0xFFFFFFFFu : ~(0xFFFFFFFFu >> prefix);
  base = htonl(ntohl(base) & mask);
  return plat::state::Update(kNetStateFile, [&](std::string& text) {
    std::string kept;
    std::size_t at = 0;
    while (at < text.size()) {
      std::size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(at, end - at);
      if (line.rfind("subnet\t", 0) != 0 && !line.empty()) kept += line + "\n";
      at = end + 1;
    }
    text = "subnet\t" + SubnetLine(base, prefix) + "\n" + kept;
  });
}

bool AddMachineAgent(std::string_view ipv4, USHORT port) {
  ULONG address = 0;
  if (!ParseDottedQuad(ipv4, &address) || port == 0) return false;
  in_addr a{address};
  const std::string line = "agent\t" + std::string(inet_ntoa(a)) + "\t" + std::to_string(port) + "\n";
  return plat::state::Update(kNetStateFile, [&](std::string& text) {
    if (text.find(line) == std::string::npos) text += line;
  });
}

bool MachineSubnet(ULONG& base, int& prefix) {
  const std::string text = plat::state::Read(kNetStateFile);
  const auto at = text.find("subnet\t");
  if (at == std::string::npos) return false;
  const auto end = text.find('\n', at);
  const std::string cidr = text.substr(at + 7, end == std::string::npos ? std::string::npos : end - at - 7);
  const auto slash = cidr.find('/');
  if (slash == std::string::npos || !ParseDottedQuad(cidr.substr(0, slash), &base)) return false;
  prefix = std::atoi(cidr.c_str() + slash + 1);
  return prefix >= 8 && prefix <= 32;
}

std::vector<std::pair<ULONG, USHORT>> MachineAgents() {
  std::vector<std::pair<ULONG, USHORT>> agents;
  const std::string text = plat::state::Read(kNetStateFile);
  std::size_t at = 0;
  while ((at = text.find("agent\t", at)) != std::string::npos) {
    const auto tab = text.find('\t', at + 6);
    const auto end = text.find('\n', at);
    if (tab == std::string::npos || end == std::string::npos || tab > end) break;
    ULONG address = 0;
    if (ParseDottedQuad(std::string_view(text).substr(at + 6, tab - at - 6), &address)) {
      const int port = std::atoi(text.c_str() + tab + 1);
      if (port > 0 && port < 65536) agents.emplace_back(address, static_cast<USHORT>(port));
    }
    at = end + 1;
  }
  return agents;
}

}  // namespace plat::net
