#include "device/snmp_ber.h"

#include <gtest/gtest.h>

#include <string>

#include "ber_builder.h"

namespace {

constexpr char kHoldOid[] = ".1.3.6.1.4.1.40613.1.1.2.2.1.1";

SnmpOid Parse(const char* text) {
  SnmpOid oid{};
  EXPECT_TRUE(ParseOidText(text, 256, &oid)) << text;
  return oid;
}

TEST(SnmpEncode, GetRequestBytesForOneVariable) {
  const SnmpOid oid = Parse(kHoldOid);
  Bytes message;
  ASSERT_TRUE(EncodeGetRequest("marnit", 0x0041, std::span(&oid, 1), &message));
  const Bytes expected = {
      0x30, 0x2D,                                      // message
      0x02, 0x01, 0x00,                                // version 0
      0x04, 0x06, 'm', 'a', 'r', 'n', 'i', 't',        // community
      0xA0, 0x20,                                      // GetRequest
      0x02, 0x02, 0x00, 0x41,                          // request id, always two bytes
      0x02, 0x01, 0x00, 0x02, 0x01, 0x00,              // error-status, error-index
      0x30, 0x14, 0x30, 0x12,                          // binding list, binding
      0x06, 0x0E, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0xBD, 0x25, 0x01, 0x01, 0x02, 0x02, 0x01, 0x01,
      0x05, 0x00};                                     // NULL value
  EXPECT_EQ(message, expected);
}

TEST(SnmpEncode, LongFormLengthsAndLeadingDotOptional) {
  std::vector<SnmpOid> oids(10, Parse("1.3.6.1.4.1.40613.1.1.2.2.1.1"));
  Bytes message;
  ASSERT_TRUE(EncodeGetRequest("marnit", 0x1234, oids, &message));
  ASSERT_EQ(message.size(), 230u);
  EXPECT_EQ(Bytes(message.begin(), message.begin() + 3), (Bytes{0x30, 0x81, 0xE3}));
  EXPECT_EQ(Bytes(message.begin() + 14, message.begin() + 17), (Bytes{0xA0, 0x81, 0xD5}));
  EXPECT_EQ(Bytes(message.begin() + 17, message.begin() + 21), (Bytes{0x02, 0x02, 0x12, 0x34}));
  EXPECT_EQ(Bytes(message.begin() + 27, message.begin() + 32), (Bytes{0x30, 0x81, 0xC8, 0x30, 0x12}));

  Bytes withDot;
  std::vector<SnmpOid> dotted(10, Parse(kHoldOid));
  ASSERT_TRUE(EncodeGetRequest("marnit", 0x1234, dotted, &withDot));
  EXPECT_EQ(message, withDot);
}

TEST(SnmpEncode, SubIdentifiersInBase128) {
  struct Case {
    const char* text;
    Bytes content;
  };
  const Case cases[] = {
      {"1.3", {0x2B}},
      {"2.100.3", {0x81, 0x34, 0x03}},
      {"1.3.127.128.16383.16384", {0x2B, 0x7F, 0x81, 0x00, 0xFF, 0x7F, 0x81, 0x80, 0x00}},
      {"1.3.4294967295", {0x2B, 0x8F, 0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const Case& c : cases) {
    std::uint8_t out[kSnmpMaxEncodedOid];
    const std::size_t n = EncodeOid(Parse(c.text), out, sizeof out);
    EXPECT_EQ(Bytes(out, out + n), c.content) << c.text;
  }
}

TEST(SnmpEncode, RefusesWhatCannotBeEncoded) {
  SnmpOid oid{};
  for (const char* bad : {"", ".", "1", "1..3", "1.3.", "1.3.x", "1.3.4294967296", " 1.3"}) {
    EXPECT_FALSE(ParseOidText(bad, 256, &oid)) << bad;
  }
  std::uint8_t out[kSnmpMaxEncodedOid];
  EXPECT_EQ(EncodeOid(Parse("3.1"), out, sizeof out), 0u);
  EXPECT_EQ(EncodeOid(Parse("1.40"), out, sizeof out), 0u);

  Bytes message;
  const SnmpOid good = Parse(kHoldOid);
  EXPECT_FALSE(EncodeGetRequest(std::string(128, 'c'), 1, std::span(&good, 1), &message));
  EXPECT_TRUE(EncodeGetRequest(std::string(127, 'c'), 1, std::span(&good, 1), &message));
}

TEST(SnmpBerLength, ShortAndLongForms) {
  struct Case {
    Bytes bytes;
    bool ok;
    std::uint32_t length;
    std::size_t used;
  };
  const Case cases[] = {
      {{0x00}, true, 0, 1},
      {{0x7F}, true, 127, 1},
      {{0x81, 0x80}, true, 128, 2},
      {{0x82, 0x01, 0x00}, true, 256, 3},
      {{0x84, 0xFF, 0xFF, 0xFF, 0xFF}, true, 0xFFFFFFFF, 5},
      {{0x80}, false, 0, 0},                          // indefinite
      {{0x85, 0, 0, 0, 0, 1}, false, 0, 0},           // five length bytes
      {{0x82, 0x01}, false, 0, 0},                    // cut short
      {{}, false, 0, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t length = 0;
    std::size_t used = 0;
    EXPECT_EQ(DecodeBerLength(c.bytes.data(), c.bytes.size(), &length, &used), c.ok);
    if (c.ok) {
      EXPECT_EQ(length, c.length);
      EXPECT_EQ(used, c.used);
    }
  }
}

TEST(SnmpOidText, DecodesAndStaysInItsBuffer) {
  char text[256];
  const Bytes hold = ber::OidContent(kHoldOid);
  EXPECT_EQ(OidToText(hold.data(), hold.size(), text, sizeof text), 30);
  EXPECT_STREQ(text, kHoldOid);

  const Bytes big = {0x81, 0x34, 0x03};
  ASSERT_GT(OidToText(big.data(), big.size(), text, sizeof text), 0);
  EXPECT_STREQ(text, ".2.100.3");

  // 130 arcs of 1: ".1" x 130 = 260 characters, more than the text holds.
  Bytes longOid(129, 0x01);
  longOid[0] = 0x29;
  EXPECT_EQ(OidToText(longOid.data(), longOid.size(), text, sizeof text), -1);
  const Bytes sixByteArc = {0x2B, 0x81, 0x80, 0x80, 0x80, 0x80, 0x00};
  EXPECT_EQ(OidToText(sixByteArc.data(), sixByteArc.size(), text, sizeof text), -1);
  const Bytes overflow = {0x2B, 0x90, 0x80, 0x80, 0x80, 0x00};  // 2^32
  EXPECT_EQ(OidToText(overflow.data(), overflow.size(), text, sizeof text), -1);
  const Bytes cut = {0x2B, 0x81};
  EXPECT_EQ(OidToText(cut.data(), cut.size(), text, sizeof text), -1);
}

// ---- GetResponse decoding ----

constexpr int kId = 0x1234;
const char* const kOids[] = {".1.3.6.1.4.1.40613.1.1.1.3.2.1.5", ".1.3.6.1.4.1.40613.1.1.1.3.2.1.6"};

Bytes GoodAnswer() {
  return ber::Response("marnit", kId, {{kOids[0], ber::Int(45)}, {kOids[1], ber::Int(-15)}});
}

struct Decoded {
  int code;
  std::vector<Bytes> values;
};

Decoded Decode(const Bytes& answer, int id = kId, std::vector<std::string> requested = {kOids[0], kOids[1]}) {
  std::vector<SnmpOid> oids;
  for (const std::string& t : requested) oids.push_back(Parse(t.c_str()));
  std::vector<Bytes> values;
  std::vector<bool> received;
  const int code = DecodeGetResponse(answer, "marnit", static_cast<std::uint16_t>(id), oids, &values, &received);
  return {code, values};
}

TEST(SnmpDecode, AcceptsAWellFormedAnswer) {
  const Decoded d = Decode(GoodAnswer());
  ASSERT_EQ(d.code, kSnmpOk);
  EXPECT_EQ(d.values[0], (Bytes{0x2D}));
  EXPECT_EQ(d.values[1], (Bytes{0xF1}));
}

TEST(SnmpDecode, ValuesOfAnyTagAreTakenRawAndOidsCompareAsArcs) {
  const Bytes answer = ber::Response("marnit", kId, {{kOids[1], ber::Str("abc")}, {kOids[0], ber::Tlv(0x41, {7})}});
  const Decoded d = Decode(answer, kId, {"1.3.6.1.4.1.40613.1.1.1.3.2.1.5", kOids[1]});
  ASSERT_EQ(d.code, kSnmpOk);
  EXPECT_EQ(d.values[0], (Bytes{7}));
  EXPECT_EQ(d.values[1], (Bytes{'a', 'b', 'c'}));
}

TEST(SnmpDecode, ShortRequestIdMatchesByValue) {
  const Bytes answer = ber::Response("marnit", 0x41, {{kOids[0], ber::Int(1)}, {kOids[1], ber::Int(2)}});
  // id sent back as the single byte 41
  EXPECT_EQ(Bytes(answer.begin() + 15, answer.begin() + 18), (Bytes{0x02, 0x01, 0x41}));
  EXPECT_EQ(Decode(answer, 65).code, kSnmpOk);
  EXPECT_EQ(Decode(answer, 0x0141).code, kSnmpWrongRequestId);
}

TEST(SnmpDecode, CodesOfBrokenAnswers) {
  using ber::Int;
  using ber::Seq;
  using ber::Str;
  using ber::Tlv;
  const Bytes list = Tlv(0x30, ber::Cat({Seq({ber::Oid(kOids[0]), Int(45)}), Seq({ber::Oid(kOids[1]), Int(-15)})}));
  auto message = [&](const Bytes& version, const Bytes& community, std::uint8_t pduTag, const Bytes& pduBody) {
    return Seq({version, community, Tlv(pduTag, pduBody)});
  };
  const Bytes okHead = ber::Cat({Int(kId), Int(0), Int(0)});
  Bytes good = GoodAnswer();
  Bytes truncated(good.begin(), good.end() - 1);
  Bytes longLength = good;
  longLength.insert(longLength.begin() + 1, {0x85, 0, 0, 0, 0});
  longLength.erase(longLength.begin() + 6);
  Bytes valueLongerThanBinding = good;
  // The last value claims two bytes although its binding ends after one; the
  // datagram has bytes to spare behind it.
  valueLongerThanBinding.back() = 0xF1;
  valueLongerThanBinding[valueLongerThanBinding.size() - 2] = 0x02;
  valueLongerThanBinding.push_back(0x00);

  struct Case {
    const char* what;
    Bytes answer;
    int code;
  };
  const Case cases[] = {
      {"empty", {}, kSnmpMalformed},
      {"not a sequence", ber::Cat({{0x31}, Bytes(good.begin() + 1, good.end())}), kSnmpMalformed},
      {"truncated", truncated, kSnmpMalformed},
      {"five length bytes", longLength, kSnmpMalformed},
      {"indefinite length", ber::Cat({{0x30, 0x80}, Bytes(good.begin() + 2, good.end()), {0, 0}}), kSnmpMalformed},
      {"child longer than parent", valueLongerThanBinding, kSnmpMalformed},
      {"version missing", Seq({Str("marnit"), Tlv(0xA2, ber::Cat({okHead, list}))}), kSnmpBadVersion},
      {"version 1", message(Int(1), Str("marnit"), 0xA2, ber::Cat({okHead, list})), kSnmpBadVersion},
      {"community missing", Seq({Int(0), Tlv(0xA2, ber::Cat({okHead, list}))}), kSnmpBadCommunity},
      {"other community", message(Int(0), Str("public"), 0xA2, ber::Cat({okHead, list})), kSnmpBadCommunity},
      {"longer community", message(Int(0), Str("marnitx"), 0xA2, ber::Cat({okHead, list})), kSnmpBadCommunity},
      {"GetRequest tag", message(Int(0), Str("marnit"), 0xA0, ber::Cat({okHead, list})), kSnmpMalformed},
      {"id missing", message(Int(0), Str("marnit"), 0xA2, list), kSnmpMalformed},
      {"id empty", message(Int(0), Str("marnit"), 0xA2, ber::Cat({Tlv(0x02, {}), Int(0), Int(0), list})),
       kSnmpMalformed},
      {"id of three bytes", message(Int(0), Str("marnit"), 0xA2,
                                    ber::Cat({Tlv(0x02, {0x00, 0x12, 0x34}), Int(0), Int(0), list})),
       kSnmpWrongRequestId},
      {"other id", message(Int(0), Str("marnit"), 0xA2, ber::Cat({Int(kId + 1), Int(0), Int(0), list})),
       kSnmpWrongRequestId},
      {"noSuchName", message(Int(0), Str("marnit"), 0xA2, ber::Cat({Int(kId), Int(2), Int(1), list})),
       kSnmpErrorStatus},
      {"error-index only", message(Int(0), Str("marnit"), 0xA2, ber::Cat({Int(kId), Int(0), Int(1), list})),
       kSnmpErrorStatus},
      {"no binding list", message(Int(0), Str("marnit"), 0xA2, okHead), kSnmpMalformed},
      {"binding without value",
       message(Int(0), Str("marnit"), 0xA2, ber::Cat({okHead, Tlv(0x30, Seq({ber::Oid(kOids[0])}))})),
       kSnmpMalformed},
      {"binding not a sequence",
       message(Int(0), Str("marnit"), 0xA2, ber::Cat({okHead, Tlv(0x30, Tlv(0x31, ber::Oid(kOids[0])))})),
       kSnmpMalformed},
      {"one OID missing",
       message(Int(0), Str("marnit"), 0xA2, ber::Cat({okHead, Tlv(0x30, Seq({ber::Oid(kOids[0]), Int(45)}))})),
       kSnmpMissingOid},
      {"other OID", ber::Response("marnit", kId, {{kOids[0], Int(1)}, {".1.3.6.1.4.1.40613.1.1.1.3.2.1.7", Int(2)}}),
       kSnmpMissingOid},
  };
  for (const Case& c : cases) EXPECT_EQ(Decode(c.answer).code, c.code) << c.what;
}

}  // namespace
