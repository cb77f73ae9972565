#include "device/snmp_ber.h"

#include <cstring>

namespace {

constexpr std::uint8_t kTagInteger = 0x02;
constexpr std::uint8_t kTagOctetString = 0x04;
constexpr std::uint8_t kTagNull = 0x05;
constexpr std::uint8_t kTagOid = 0x06;
constexpr std::uint8_t kTagSequence = 0x30;
constexpr std::uint8_t kTagGetRequest = 0xA0;
constexpr std::uint8_t kTagGetResponse = 0xA2;

void AppendLength(std::vector<std::uint8_t>& out, std::size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<std::uint8_t>(length));
    return;
  }
  int bytes = 0;
  for (std::size_t v = length; v != 0; v >>= 8) ++bytes;
  out.push_back(static_cast<std::uint8_t>(0x80 | bytes));
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(length >> (8 * i)));
}

void AppendTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, std::span<const std::uint8_t> content) {
  out.push_back(tag);
  AppendLength(out, content.size());
  out.insert(out.end(), content.begin(), content.end());
}

// A window of the answer that no read may leave.
struct Cursor {
  const std::uint8_t* at;
  const std::uint8_t* end;
  bool AtEnd() const { return at >= end; }
  std::uint8_t PeekTag() const { return *at; }
};

struct Tlv {
  std::uint8_t tag;
  const std::uint8_t* content;
  std::uint32_t length;
};

// One element at the cursor; false when its length is malformed or runs
// past the window. The caller has checked that a tag is there.
bool ReadTlv(Cursor& c, Tlv* tlv) {
  tlv->tag = *c.at;
  if ((tlv->tag & 0x1F) == 0x1F) return false;  // multi-byte tags do not occur in SNMP
  std::uint32_t length = 0;
  std::size_t used = 0;
  if (!DecodeBerLength(c.at + 1, static_cast<std::size_t>(c.end - c.at - 1), &length, &used)) return false;
  const std::uint8_t* content = c.at + 1 + used;
  if (length > static_cast<std::size_t>(c.end - content)) return false;
  tlv->content = content;
  tlv->length = length;
  c.at = content + length;
  return true;
}

bool AllZero(const Tlv& tlv) {
  if (tlv.length == 0) return false;
  for (std::uint32_t i = 0; i < tlv.length; ++i) {
    if (tlv.content[i] != 0) return false;
  }
  return true;
}

Cursor Inside(const Tlv& tlv) { return Cursor{tlv.content, tlv.content + tlv.length}; }

}  // namespace

bool ParseOidText(const char* text, std::size_t maxLength, SnmpOid* oid) {
  if (!text || !oid) return false;
  std::size_t length = 0;
  while (length < maxLength && text[length] != '\0') ++length;
  std::size_t pos = (length > 0 && text[0] == '.') ? 1 : 0;
  int count = 0;
  while (pos < length) {
    if (count == kSnmpMaxArcs) return false;
    std::uint64_t value = 0;
    std::size_t start = pos;
    while (pos < length && text[pos] >= '0' && text[pos] <= '9') {
      value = value * 10 + static_cast<std::uint64_t>(text[pos] - '0');
      if (value > 0xFFFFFFFFu) return false;
      ++pos;
    }
    if (pos == start) return false;
    oid->arcs[count++] = static_cast<std::uint32_t>(value);
    if (pos < length) {
      if (text[pos] != '.' || pos + 1 == length) return false;
      ++pos;
    }
  }
  if (count < 2) return false;
  oid->count = count;
  return true;
}

bool SameOid(const SnmpOid& a, const SnmpOid& b) {
  return a.count == b.count && std::memcmp(a.arcs, b.arcs, sizeof(a.arcs[0]) * static_cast<std::size_t>(a.count)) == 0;
}

std::size_t EncodeOid(const SnmpOid& oid, std::uint8_t* out, std::size_t outSize) {
  if (oid.count < 2 || oid.count > kSnmpMaxArcs) return 0;
  const std::uint32_t x = oid.arcs[0];
  const std::uint32_t y = oid.arcs[1];
  if (x > 2 || (x < 2 && y > 39) || (x == 2 && y > 0xFFFFFFFFu - 80)) return 0;
  std::size_t written = 0;
  for (int i = 1; i < oid.count; ++i) {
    const std::uint32_t value = (i == 1) ? 40 * x + y : oid.arcs[i];
    std::uint8_t groups[5];
    int n = 0;
    std::uint32_t v = value;
    do {
      groups[n++] = static_cast<std::uint8_t>(v & 0x7F);
      v >>= 7;
    } while (v != 0);
    if (written + static_cast<std::size_t>(n) > outSize) return 0;
    for (int g = n - 1; g >= 0; --g) out[written++] = static_cast<std::uint8_t>(groups[g] | (g > 0 ? 0x80 : 0));
  }
  return written;
}

int OidToText(const std::uint8_t* content, std::size_t size, char* out, std::size_t outSize) {
  if (!content || size == 0 || !out || outSize == 0) return -1;
  std::size_t length = 0;
  auto put = [&](std::uint32_t arc) {
    char digits[11];
    int n = 0;
    do {
      digits[n++] = static_cast<char>('0' + arc % 10);
      arc /= 10;
    } while (arc != 0);
    if (length + 1 + static_cast<std::size_t>(n) >= outSize) return false;
    out[length++] = '.';
    while (n > 0) out[length++] = digits[--n];
    return true;
  };
  std::size_t pos = 0;
  bool first = true;
  while (pos < size) {
    std::uint64_t value = 0;
    int bytes = 0;
    for (;;) {
      if (pos >= size || bytes == 5) return -1;
      const std::uint8_t b = content[pos++];
      ++bytes;
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) break;
    }
    if (value > 0xFFFFFFFFu) return -1;
    const auto arc = static_cast<std::uint32_t>(value);
    if (first) {
      const std::uint32_t x = arc < 80 ? arc / 40 : 2;
      if (!put(x) || !put(arc - 40 * x)) return -1;
      first = false;
    } else if (!put(arc)) {
      return -1;
    }
  }
  out[length] = '\0';
  return static_cast<int>(length);
}

bool DecodeBerLength(const std::uint8_t* data, std::size_t available, std::uint32_t* length, std::size_t* used) {
  if (!data || available == 0) return false;
  const std::uint8_t first = data[0];
  if (first < 0x80) {
    *length = first;
    *used = 1;
    return true;
  }
  const std::size_t count = first & 0x7F;
  if (count == 0 || count > 4 || count + 1 > available) return false;
  std::uint32_t value = 0;
  for (std::size_t i = 1; i <= count; ++i) value = (value << 8) | data[i];
  *length = value;
  *used = count + 1;
  return true;
}

bool EncodeGetRequest(std::string_view community, std::uint16_t requestId, std::span<const SnmpOid> oids,
                      std::vector<std::uint8_t>* message) {
  if (!message || community.size() > kSnmpMaxCommunity) return false;
  try {
    std::vector<std::uint8_t> list;
    std::vector<std::uint8_t> binding;
    std::uint8_t oidBytes[kSnmpMaxEncodedOid];
    for (const SnmpOid& oid : oids) {
      const std::size_t n = EncodeOid(oid, oidBytes, sizeof oidBytes);
      if (n == 0) return false;
      binding.clear();
      AppendTlv(binding, kTagOid, std::span<const std::uint8_t>(oidBytes, n));
      binding.push_back(kTagNull);
      binding.push_back(0x00);
      AppendTlv(list, kTagSequence, binding);
    }
    std::vector<std::uint8_t> pdu = {kTagInteger, 0x02, static_cast<std::uint8_t>(requestId >> 8),
                                     static_cast<std::uint8_t>(requestId & 0xFF),
                                     kTagInteger, 0x01, 0x00,   // error-status
                                     kTagInteger, 0x01, 0x00};  // error-index
    AppendTlv(pdu, kTagSequence, list);
    std::vector<std::uint8_t> body = {kTagInteger, 0x01, 0x00};  // version: SNMPv1
    AppendTlv(body, kTagOctetString,
              std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(community.data()), community.size()));
    AppendTlv(body, kTagGetRequest, pdu);
    message->clear();
    AppendTlv(*message, kTagSequence, body);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int DecodeGetResponse(std::span<const std::uint8_t> answer, std::string_view community, std::uint16_t requestId,
                      std::span<const SnmpOid> requested, std::vector<std::vector<std::uint8_t>>* values,
                      std::vector<bool>* received) {
  values->assign(requested.size(), {});
  received->assign(requested.size(), false);
  Cursor whole{answer.data(), answer.data() + answer.size()};
  Tlv message;
  if (whole.AtEnd() || whole.PeekTag() != kTagSequence || !ReadTlv(whole, &message)) return kSnmpMalformed;
  Cursor body = Inside(message);

  Tlv field;
  if (body.AtEnd() || body.PeekTag() != kTagInteger) return kSnmpBadVersion;
  if (!ReadTlv(body, &field)) return kSnmpMalformed;
  if (field.length != 1 || field.content[0] != 0) return kSnmpBadVersion;

  if (body.AtEnd() || body.PeekTag() != kTagOctetString) return kSnmpBadCommunity;
  if (!ReadTlv(body, &field)) return kSnmpMalformed;
  if (field.length != community.size() || std::memcmp(field.content, community.data(), community.size()) != 0) {
    return kSnmpBadCommunity;
  }

  Tlv pdu;
  if (body.AtEnd() || body.PeekTag() != kTagGetResponse || !ReadTlv(body, &pdu)) return kSnmpMalformed;
  Cursor inPdu = Inside(pdu);

  if (inPdu.AtEnd() || inPdu.PeekTag() != kTagInteger || !ReadTlv(inPdu, &field) || field.length == 0) {
    return kSnmpMalformed;
  }
  if (field.length > 2) return kSnmpWrongRequestId;
  std::uint32_t id = field.content[0];
  if (field.length == 2) id = (id << 8) | field.content[1];
  if (id != requestId) return kSnmpWrongRequestId;

  for (int i = 0; i < 2; ++i) {  // error-status, error-index
    if (inPdu.AtEnd() || inPdu.PeekTag() != kTagInteger) return kSnmpErrorStatus;
    if (!ReadTlv(inPdu, &field)) return kSnmpMalformed;
    if (!AllZero(field)) return kSnmpErrorStatus;
  }

  Tlv list;
  if (inPdu.AtEnd() || inPdu.PeekTag() != kTagSequence || !ReadTlv(inPdu, &list)) return kSnmpMalformed;
  Cursor inList = Inside(list);
  char text[kSnmpOidTextSize];
  SnmpOid oid;
  while (!inList.AtEnd()) {
    Tlv binding;
    if (inList.PeekTag() != kTagSequence || !ReadTlv(inList, &binding)) return kSnmpMalformed;
    Cursor inBinding = Inside(binding);
    Tlv name;
    Tlv value;
    if (inBinding.AtEnd() || inBinding.PeekTag() != kTagOid || !ReadTlv(inBinding, &name)) return kSnmpMalformed;
    if (inBinding.AtEnd() || !ReadTlv(inBinding, &value)) return kSnmpMalformed;
    if (OidToText(name.content, name.length, text, sizeof text) < 0) return kSnmpMalformed;
    if (!ParseOidText(text, sizeof text, &oid)) return kSnmpMalformed;
    for (std::size_t r = 0; r < requested.size(); ++r) {
      if (SameOid(oid, requested[r])) {
        (*values)[r].assign(value.content, value.content + value.length);
        (*received)[r] = true;
      }
    }
  }
  for (bool got : *received) {
    if (!got) return kSnmpMissingOid;
  }
  return kSnmpOk;
}
