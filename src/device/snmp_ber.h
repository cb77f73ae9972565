// SNMPv1 message coding: the BER GetRequest the client sends and the
// GetResponse it accepts. Pure byte work, no sockets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

// Result codes of the SNMP client (0 is success).
enum SnmpResult : std::int32_t {
  kSnmpOk = 0,
  kSnmpBadArgument = 1,      // missing argument, version 3, no community, text too long
  kSnmpNoMemory = 2,
  kSnmpNoAnswer = 3,         // no answer after the retries
  kSnmpMalformed = 4,        // a tag missing where the message needs it, or a length out of bounds
  kSnmpWrongRequestId = 6,
  kSnmpErrorStatus = 7,      // error-status or error-index not 0
  kSnmpMissingOid = 8,       // not every requested OID is in the answer
  kSnmpCannotEncode = 9,
  kSnmpBadVersion = 10,
  kSnmpBadCommunity = 11,
  kSnmpNoSession = 12,       // the session is not on the list of open sessions
};
// Socket failures: the base OR'ed with the Winsock error.
constexpr std::int32_t kSnmpSocketFailed = 0x30000000;
constexpr std::int32_t kSnmpSendFailed = 0x50000000;
constexpr std::int32_t kSnmpSelectFailed = 0x60000000;
constexpr std::int32_t kSnmpReceiveFailed = 0x70000000;

constexpr std::size_t kSnmpOidTextSize = 256;     // with the terminator
constexpr int kSnmpMaxArcs = 128;                 // the most a 255-character text holds
constexpr std::size_t kSnmpMaxEncodedOid = 260;
constexpr std::size_t kSnmpMaxCommunity = 127;

struct SnmpOid {
  std::uint32_t arcs[kSnmpMaxArcs];
  int count;
};

// Dotted text with or without a leading "." ("1.3.6.1.4.1.40613..."), read
// up to the terminator or maxLength characters. False for an empty part, a
// character other than digits and ".", an arc above 2^32-1, fewer than two
// arcs or more than kSnmpMaxArcs.
bool ParseOidText(const char* text, std::size_t maxLength, SnmpOid* oid);
bool SameOid(const SnmpOid& a, const SnmpOid& b);

// OID content bytes: 40 X + Y, then each arc in base 128, high groups first.
// Returns the bytes written, 0 when the OID cannot be encoded (first arc above
// 2, second above 39 under 0 or 1) or does not fit outSize.
std::size_t EncodeOid(const SnmpOid& oid, std::uint8_t* out, std::size_t outSize);

// OID content bytes as dotted text ".X.Y.n..." into out, terminated.
// Returns the text length, or -1 when the content is empty, ends inside a
// sub-identifier, has one longer than 5 bytes or above 2^32-1, or the text
// does not fit outSize.
int OidToText(const std::uint8_t* content, std::size_t size, char* out, std::size_t outSize);

// Definite BER length at data[0, available): a first byte below 128 is the
// length, 0x81-0x84 announce 1-4 big-endian bytes. False for the indefinite
// form, more than four length bytes or bytes missing.
bool DecodeBerLength(const std::uint8_t* data, std::size_t available, std::uint32_t* length, std::size_t* used);

// The whole GetRequest for the OIDs, each bound to NULL. False when the
// community is 128 bytes or longer, an OID cannot be encoded or memory runs out.
bool EncodeGetRequest(std::string_view community, std::uint16_t requestId, std::span<const SnmpOid> oids,
                      std::vector<std::uint8_t>* message);

// Checks a GetResponse against the request and hands out the raw content
// bytes of each value whose OID was requested: values->at(i) and
// received->at(i) for requested[i]. Every length is bounded by its parent and
// by the bytes received. Returns kSnmpOk or the first failure's code
// (4, 6, 7, 8, 10, 11).
int DecodeGetResponse(std::span<const std::uint8_t> answer, std::string_view community, std::uint16_t requestId,
                      std::span<const SnmpOid> requested, std::vector<std::vector<std::uint8_t>>* values,
                      std::vector<bool>* received);
