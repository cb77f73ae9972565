// Winsock subset for UDP clients: datagram sockets, select with a time-out,
// byte-order helpers and address text. Errors go to WSAGetLastError.
//
// The socket calls have C++ linkage on purpose: with C linkage the platform
// library would replace the host C library's own socket, select, htons ...
// for the whole process.
#pragma once

// The host C library declares fd_set, timeval and select of its own through
// <cstdlib>; it is included first so that the names below, renamed by macro,
// never meet those declarations.
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "plat/base.h"

// Winsock's USHORT, UINT and ULONG are spelt USHORT, UINT and ULONG here:
// the host C library already owns those names, with a 64-bit ULONG.
using SOCKET = UINT_PTR;
constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
constexpr int SOCKET_ERROR = -1;

constexpr int AF_INET = 2;
constexpr int SOCK_STREAM = 1;
constexpr int SOCK_DGRAM = 2;
constexpr int IPPROTO_UDP = 17;

constexpr ULONG INADDR_ANY = 0x00000000;
constexpr ULONG INADDR_LOOPBACK = 0x7F000001;  // host byte order
constexpr ULONG INADDR_BROADCAST = 0xFFFFFFFF;
constexpr ULONG INADDR_NONE = 0xFFFFFFFF;

inline WORD MAKEWORD(BYTE lo, BYTE hi) { return static_cast<WORD>(lo | (hi << 8)); }

// Winsock error codes (WSAGetLastError).
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
  unsigned short iMaxSockets;
  unsigned short iMaxUdpDg;
  char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

// Addresses and ports are held in network byte order.
struct in_addr {
  ULONG s_addr;
};
struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};
struct sockaddr_in {
  short sin_family;
  USHORT sin_port;
  in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(in_addr) == 4);
static_assert(sizeof(sockaddr) == 16 && sizeof(sockaddr_in) == 16);
static_assert(offsetof(sockaddr_in, sin_port) == 2 && offsetof(sockaddr_in, sin_addr) == 4);
using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using PSOCKADDR = sockaddr*;
using LPSOCKADDR = sockaddr*;

// Socket sets hold the sockets themselves (not a bit per descriptor).
#undef FD_SETSIZE
#undef FD_ZERO
#undef FD_SET
#undef FD_CLR
#undef FD_ISSET
#define fd_set WinsockFdSet
#define timeval WinsockTimeval
constexpr UINT FD_SETSIZE = 64;
struct fd_set {
  UINT fd_count;
  SOCKET fd_array[FD_SETSIZE];
};
struct timeval {
  LONG tv_sec;
  LONG tv_usec;
};

PLATAPI int WSAFDIsSet(SOCKET s, fd_set* set);
inline void WSAFdSetAdd(SOCKET s, fd_set* set) {
  for (UINT i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == s) return;
  }
  if (set->fd_count < FD_SETSIZE) set->fd_array[set->fd_count++] = s;
}
inline void WSAFdSetRemove(SOCKET s, fd_set* set) {
  for (UINT i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == s) {
      set->fd_array[i] = set->fd_array[--set->fd_count];
      return;
    }
  }
}
#define FD_ZERO(set) ((set)->fd_count = 0)
#define FD_SET(s, set) WSAFdSetAdd((s), (set))
#define FD_CLR(s, set) WSAFdSetRemove((s), (set))
#define FD_ISSET(s, set) WSAFDIsSet((s), (set))

// Startup is counted; every other call fails with WSANOTINITIALISED while
// the count is 0. Versions below 1.0 are refused (WSAVERNOTSUPPORTED).
extern "C" {
PLATAPI int WSAStartup(WORD versionRequested, LPWSADATA data);
PLATAPI int WSACleanup();
PLATAPI int WSAGetLastError();
PLATAPI void WSASetLastError(int error);
}

// Only AF_INET datagram sockets. INVALID_SOCKET / SOCKET_ERROR on failure.
PLATAPI SOCKET socket(int af, int type, int protocol);
PLATAPI int closesocket(SOCKET s);
// Sends to 0.0.0.0 or port 0 fail with WSAEADDRNOTAVAIL, to the broadcast
// address with WSAEACCES.
PLATAPI int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
// One datagram. A datagram longer than len fills the buffer and fails with
// WSAEMSGSIZE (the rest is lost). An ICMP refusal of an earlier send shows
// as WSAECONNRESET.
PLATAPI int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
// nfds is ignored. Leaves in each set the sockets that are ready and returns
// their count; 0 when the time-out passed (null: wait for ever).
PLATAPI int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout);

// Dotted text a.b.c.d (also a.b.c, a.b, a; parts decimal, 0x hex or 0 octal)
// in network byte order; INADDR_NONE for anything else.
PLATAPI ULONG inet_addr(const char* cp);
// Dotted text of an address, in a buffer of the calling thread (valid until
// its next call).
PLATAPI char* inet_ntoa(in_addr address);
PLATAPI USHORT htons(USHORT v);
PLATAPI USHORT ntohs(USHORT v);
PLATAPI ULONG htonl(ULONG v);
PLATAPI ULONG ntohl(ULONG v);

namespace plat::net {
// Datagrams sent to `ipv4` (dotted quad) go to `port` (host byte order)
// instead of the port asked for, so tests reach an agent on a high port.
// Port 0 removes the override. False for an address that is not a dotted quad.
PLATAPI bool SetPortOverride(std::string_view ipv4, USHORT port);
PLATAPI void ClearPortOverrides();
// The machine's own network, kept in its root (every process sees it): the
// subnet it sits in ("127.0.0.0/29") and agents that listen on another port
// than the one asked for. False for bad text or a root that cannot be written.
PLATAPI bool SetSubnet(std::string_view cidr);
PLATAPI bool AddMachineAgent(std::string_view ipv4, USHORT port);
// Base address (network order) and prefix length; false when none is set.
PLATAPI bool MachineSubnet(ULONG& base, int& prefix);
PLATAPI std::vector<std::pair<ULONG, USHORT>> MachineAgents();
// select waits its time-out x scale (default 1; 0 polls once).
PLATAPI void SetWaitScale(double scale);
// While set, WSAStartup fails with WSASYSNOTREADY, as when the socket library
// of the host cannot start.
PLATAPI void SetStartupFailure(bool fail);
}  // namespace plat::net
