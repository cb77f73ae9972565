// A small SNMPv1 client: GetRequest over UDP to port 161 with a time-out and
// one resend, a per-session value cache, and the process-wide list of open
// sessions. Callers use it from one thread at a time.
#pragma once

#include <cstdint>

#include "device/snmp_ber.h"

constexpr std::int32_t kSnmpTypeInteger = 2;
constexpr std::int32_t kSnmpTypeOctetString = 4;

// One requested variable, filled by the caller.
struct SnmpVarBind {
  char oid[kSnmpOidTextSize];  // dotted text, leading "." optional
  std::int32_t type;           // type the caller expects; carried, never sent
  std::int32_t bufferSize;     // bytes at buffer
  void* buffer;                // receives min(value length, bufferSize) bytes
  std::int32_t returnedLength; // the value's length as the device sent it
  std::uint8_t reserved[8];
};

struct SnmpSession;

// Opens a session to an IPv4 text (at most 23 characters) with a community
// (at most 127 bytes). 0 and *session on success; 1 for a missing or too long
// text; -1 when the session record cannot be allocated; 2 when the
// community copy cannot; 0x30000000 | Winsock error when the socket fails.
int SnmpOpen(const char* address, const char* community, SnmpSession** session);

// Mode 1 asks the device for every variable; any other mode only for those
// not yet in the session's cache. Every variable found in the cache then
// receives its value. Returns 0 or a code of SnmpResult / the socket bases;
// on failure neither the cache nor the caller's variables change.
int SnmpGet(SnmpSession* session, SnmpVarBind* binds, int count, int mode);

// Frees the session with its socket and cache; a session that is not open
// is ignored. Returns 0.
int SnmpClose(SnmpSession* session);

// The id of the next request: 15 random bits, never the previous id. Seeded
// once per process from the clock.
std::uint16_t NextRequestId();
