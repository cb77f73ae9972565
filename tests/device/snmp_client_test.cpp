#include "device/snmp_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ber_builder.h"
#include "fake_agent.h"
#include "plat/net.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kAddress[] = "127.0.0.1";
const char* const kOids[] = {".1.3.6.1.4.1.40613.1.1.1.3.2.1.5", ".1.3.6.1.4.1.40613.1.1.1.3.2.1.6",
                             ".1.3.6.1.4.1.40613.1.1.1.3.2.1.7"};

// Wait scale for the 4-second time-out where a test waits on purpose: 40 ms.
// Tests whose agent answers keep the full time-out, so a busy machine cannot
// turn a slow answer into a resend.
constexpr double kWaitScale = 0.01;

struct Variable {
  SnmpVarBind bind{};
  std::uint8_t value[16];
};

void Bind(Variable& v, const char* oid, std::int32_t type = kSnmpTypeInteger) {
  v.bind = SnmpVarBind{};
  std::strncpy(v.bind.oid, oid, sizeof v.bind.oid - 1);
  v.bind.type = type;
  v.bind.bufferSize = sizeof v.value;
  v.bind.buffer = v.value;
  v.bind.returnedLength = -7;
  std::memset(v.value, 0xEE, sizeof v.value);
}

// Answers every request with the given values (or a transformation of them).
FakeAgent::Script Answering(std::vector<long long> values, int errorStatus = 0) {
  return [values, errorStatus](const Bytes& request, int) -> std::vector<Bytes> {
    std::vector<ber::Binding> bindings;
    for (std::size_t i = 0; i < values.size(); ++i) bindings.push_back({kOids[i], ber::Int(values[i])});
    return {ber::Response("marnit", ber::RequestId(request), bindings, errorStatus, errorStatus ? 1 : 0)};
  };
}

class SnmpClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::net::SetPortOverride(kAddress, agent_.Port());
    ASSERT_EQ(SnmpOpen(kAddress, "marnit", &session_), kSnmpOk);
  }
  void TearDown() override {
    agent_.SetScript(nullptr);  // scripts may refer to the test's locals
    SnmpClose(session_);
    plat::net::ClearPortOverrides();
    plat::net::SetWaitScale(1.0);
  }

  int Get(Variable* vars, int count, int mode) {
    std::vector<SnmpVarBind> binds;
    for (int i = 0; i < count; ++i) binds.push_back(vars[i].bind);
    const int result = SnmpGet(session_, binds.data(), count, mode);
    for (int i = 0; i < count; ++i) vars[i].bind = binds[static_cast<std::size_t>(i)];
    return result;
  }

  FakeAgent agent_;
  SnmpSession* session_ = nullptr;
};

TEST_F(SnmpClientTest, FillsTheCallersVariables) {
  agent_.SetScript(Answering({45, -15}));
  Variable vars[2];
  Bind(vars[0], kOids[0]);
  Bind(vars[1], kOids[1], 77);
  ASSERT_EQ(Get(vars, 2, 1), kSnmpOk);
  EXPECT_EQ(vars[0].bind.returnedLength, 1);
  EXPECT_EQ(vars[0].value[0], 0x2D);
  EXPECT_EQ(vars[0].value[1], 0xEE);  // nothing past the value
  EXPECT_EQ(vars[1].value[0], 0xF1);
  EXPECT_EQ(vars[1].bind.type, 77);  // the caller's type, carried through the cache
  EXPECT_EQ(agent_.RequestCount(), 1);
}

TEST_F(SnmpClientTest, CacheServesOtherModesAndModeOneAsksAgain) {
  int served = 10;
  agent_.SetScript([&served](const Bytes& request, int) -> std::vector<Bytes> {
    return {ber::Response("marnit", ber::RequestId(request), {{kOids[0], ber::Int(served)}})};
  });
  Variable v[1];
  Bind(v[0], kOids[0]);
  ASSERT_EQ(Get(v, 1, 0), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 10);

  served = 11;
  Bind(v[0], kOids[0] + 1);  // the same OID without its leading "."
  ASSERT_EQ(Get(v, 1, 0), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 10);
  EXPECT_EQ(agent_.RequestCount(), 1);

  ASSERT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 11);
  ASSERT_EQ(Get(v, 1, 0), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 11);  // replaced, not shadowed by the old entry
  EXPECT_EQ(agent_.RequestCount(), 2);
}

TEST_F(SnmpClientTest, LongValueIsCutToTheBufferButItsLengthReported) {
  const std::string text(40, 'x');
  agent_.SetScript([&text](const Bytes& request, int) -> std::vector<Bytes> {
    return {ber::Response("marnit", ber::RequestId(request), {{kOids[0], ber::Str(text)}})};
  });
  Variable v[1];
  Bind(v[0], kOids[0], kSnmpTypeOctetString);
  v[0].bind.bufferSize = 8;
  ASSERT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].bind.returnedLength, 40);
  EXPECT_EQ(v[0].value[7], 'x');
  EXPECT_EQ(v[0].value[8], 0xEE);
}

TEST_F(SnmpClientTest, FailuresLeaveVariablesAndCacheAlone) {
  struct Case {
    const char* what;
    FakeAgent::Script script;
    int code;
  };
  const Case cases[] = {
      {"noSuchName", Answering({1, 2, 3}, 2), kSnmpErrorStatus},
      {"two of three", Answering({1, 2}), kSnmpMissingOid},
      {"wrong id",
       [](const Bytes& request, int) -> std::vector<Bytes> {
         return {ber::Response("marnit", (ber::RequestId(request) + 1) & 0x7FFF,
                               {{kOids[0], ber::Int(1)}, {kOids[1], ber::Int(2)}, {kOids[2], ber::Int(3)}})};
       },
       kSnmpWrongRequestId},
      {"truncated",
       [](const Bytes& request, int) -> std::vector<Bytes> {
         Bytes answer = ber::Response("marnit", ber::RequestId(request),
                                      {{kOids[0], ber::Int(1)}, {kOids[1], ber::Int(2)}, {kOids[2], ber::Int(3)}});
         answer.resize(answer.size() / 2);
         return {answer};
       },
       kSnmpMalformed},
      {"other community",
       [](const Bytes& request, int) -> std::vector<Bytes> {
         return {ber::Response("public", ber::RequestId(request),
                               {{kOids[0], ber::Int(1)}, {kOids[1], ber::Int(2)}, {kOids[2], ber::Int(3)}})};
       },
       kSnmpBadCommunity},
  };
  for (const Case& c : cases) {
    agent_.SetScript(c.script);
    const int before = agent_.RequestCount();
    Variable vars[3];
    for (int i = 0; i < 3; ++i) Bind(vars[i], kOids[i]);
    EXPECT_EQ(Get(vars, 3, 0), c.code) << c.what;
    for (const Variable& v : vars) {
      EXPECT_EQ(v.bind.returnedLength, -7) << c.what;
      EXPECT_EQ(v.value[0], 0xEE) << c.what;
    }
    // Nothing was cached: the next get in cache mode asks again.
    agent_.SetScript(Answering({1, 2, 3}));
    ASSERT_EQ(Get(vars, 3, 0), kSnmpOk) << c.what;
    EXPECT_EQ(agent_.RequestCount(), before + 2) << c.what;
    ASSERT_EQ(Get(vars, 3, 1), kSnmpOk);  // and mode 1 keeps the cache fresh for the next case
    SnmpClose(session_);
    ASSERT_EQ(SnmpOpen(kAddress, "marnit", &session_), kSnmpOk);
  }
}

TEST_F(SnmpClientTest, SilentDeviceCostsTwoSendsAndTwoTimeOuts) {
  std::vector<Bytes> seen;
  agent_.SetScript([&seen](const Bytes& request, int) -> std::vector<Bytes> {
    seen.push_back(request);
    return {};
  });
  plat::net::SetWaitScale(kWaitScale);
  Variable v[1];
  Bind(v[0], kOids[0]);
  const auto start = Clock::now();
  EXPECT_EQ(Get(v, 1, 1), kSnmpNoAnswer);
  const auto elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  // Two waits of 4 s scaled to 40 ms each, and the same request twice.
  EXPECT_GE(elapsed, 2 * 4000 * kWaitScale - 1);
  EXPECT_LT(elapsed, 2000);
  ASSERT_EQ(agent_.RequestCount(), 2);
  EXPECT_EQ(seen[0], seen[1]);
  EXPECT_EQ(v[0].bind.returnedLength, -7);
}

TEST_F(SnmpClientTest, AnswerAfterTheResendIsTaken) {
  agent_.SetScript([](const Bytes& request, int n) -> std::vector<Bytes> {
    if (n == 0) return {};
    return {ber::Response("marnit", ber::RequestId(request), {{kOids[0], ber::Int(9)}})};
  });
  plat::net::SetWaitScale(0.1);  // 400 ms per wait
  Variable v[1];
  Bind(v[0], kOids[0]);
  EXPECT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 9);
  EXPECT_EQ(agent_.RequestCount(), 2);
}

TEST_F(SnmpClientTest, LateDuplicateAnswerDoesNotFailTheNextQuery) {
  // The first request is answered twice (a late answer to a resend looks the
  // same); the spare copy must not be taken as the answer to the next request.
  agent_.SetScript([](const Bytes& request, int n) -> std::vector<Bytes> {
    const Bytes answer = ber::Response("marnit", ber::RequestId(request), {{kOids[0], ber::Int(n + 1)}});
    if (n == 0) return {answer, answer};
    return {answer};
  });
  Variable v[1];
  Bind(v[0], kOids[0]);
  ASSERT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the spare copy arrives meanwhile
  ASSERT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].value[0], 2);
}

TEST_F(SnmpClientTest, OversizedAnswerGrowsTheBufferAndAsksAgain) {
  // One variable: the first buffer is 512 + 6 + 34 bytes.
  const std::string big(1500, 'z');
  Bytes first;
  agent_.SetScript([&](const Bytes& request, int n) -> std::vector<Bytes> {
    if (n == 0) first = request;
    return {ber::Response("marnit", ber::RequestId(request), {{kOids[0], ber::Str(big)}})};
  });
  Variable v[1];
  Bind(v[0], kOids[0], kSnmpTypeOctetString);
  ASSERT_EQ(Get(v, 1, 1), kSnmpOk);
  EXPECT_EQ(v[0].bind.returnedLength, 1500);
  EXPECT_EQ(v[0].value[0], 'z');
  // 552 -> 1104 -> 2208 bytes: three sends of the same request.
  EXPECT_EQ(agent_.RequestCount(), 3);
  EXPECT_EQ(agent_.LastRequest(), first);
}

TEST_F(SnmpClientTest, RefusedDatagramIsAReceiveErrorNotATimeOut) {
  plat::net::SetPortOverride(kAddress, ClosedPort());
  plat::net::SetWaitScale(0.5);
  Variable v[1];
  Bind(v[0], kOids[0]);
  const auto start = Clock::now();
  EXPECT_EQ(Get(v, 1, 1), kSnmpReceiveFailed | WSAECONNRESET);
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
}

TEST_F(SnmpClientTest, ClosedSessionIsRefused) {
  Variable v[1];
  Bind(v[0], kOids[0]);
  SnmpSession* other = nullptr;
  ASSERT_EQ(SnmpOpen(kAddress, "marnit", &other), kSnmpOk);
  EXPECT_EQ(SnmpClose(other), kSnmpOk);
  EXPECT_EQ(SnmpGet(other, &v[0].bind, 1, 1), kSnmpNoSession);
  EXPECT_EQ(SnmpClose(other), kSnmpOk);  // ignored
  EXPECT_EQ(SnmpGet(nullptr, &v[0].bind, 1, 1), kSnmpNoSession);
  EXPECT_EQ(SnmpGet(session_, nullptr, 1, 1), kSnmpBadArgument);
  EXPECT_EQ(SnmpGet(session_, &v[0].bind, 0, 1), kSnmpBadArgument);
  EXPECT_EQ(agent_.RequestCount(), 0);
}

TEST_F(SnmpClientTest, UnencodableOidSendsNothing) {
  Variable v[2];
  Bind(v[0], kOids[0]);
  Bind(v[1], "1.3.6.x");
  EXPECT_EQ(Get(v, 2, 1), kSnmpCannotEncode);
  std::memset(v[1].bind.oid, '1', sizeof v[1].bind.oid);  // no terminator
  EXPECT_EQ(Get(v, 2, 1), kSnmpCannotEncode);
  EXPECT_EQ(agent_.RequestCount(), 0);
}

TEST(SnmpOpenArguments, RefusesMissingAndOversizedTexts) {
  SnmpSession* s = nullptr;
  const std::string address23 = "127.000.000.001" + std::string(8, ' ');
  struct Case {
    const char* what;
    const char* address;
    std::string community;
    int code;
  };
  const Case cases[] = {
      {"community of 128", "127.0.0.1", std::string(128, 'c'), kSnmpBadArgument},
      {"community of 127", "127.0.0.1", std::string(127, 'c'), kSnmpOk},
      {"address of 24", "127.000.000.001.00000000", "marnit", kSnmpBadArgument},
      {"address of 23", address23.c_str(), "marnit", kSnmpOk},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SnmpOpen(c.address, c.community.c_str(), &s), c.code) << c.what;
    if (c.code == kSnmpOk) {
      EXPECT_EQ(SnmpClose(s), kSnmpOk);
    }
  }
  EXPECT_EQ(SnmpOpen(nullptr, "marnit", &s), kSnmpBadArgument);
  EXPECT_EQ(SnmpOpen("127.0.0.1", nullptr, &s), kSnmpBadArgument);
}

// The first open of a process starts the socket library; a failure is
// written to standard error and the open goes on (it then fails as the socket
// cannot be made). A child process, as the start happens once per process.
TEST(SnmpOpenStartup, FailureIsReportedOnStandardErrorAndTheOpenGoesOn) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        plat::net::SetStartupFailure(true);
        SnmpSession* s = nullptr;
        const int opened = SnmpOpen("127.0.0.1", "marnit", &s);
        std::fflush(stderr);
        std::_Exit(opened != kSnmpBadArgument ? 0 : 1);
      },
      testing::ExitedWithCode(0), "WinSock\x82\xCC\x8F\x89\x8A\xFA\x89\xBB\x8E\xB8\x94\x73\n");
}

TEST(SnmpRequestId, NeverRepeatsThePreviousAndFitsTwoBytes) {
  std::uint16_t previous = NextRequestId();
  for (int i = 0; i < 5000; ++i) {
    const std::uint16_t id = NextRequestId();
    ASSERT_NE(id, previous);
    ASSERT_LE(id, 0x7FFF);
    previous = id;
  }
}

TEST(SnmpRequestId, BackToBackRequestsDoNotWaitForTheClock) {
  FakeAgent agent;
  agent.SetScript(Answering({1}));
  plat::net::SetPortOverride(kAddress, agent.Port());
  SnmpSession* s = nullptr;
  ASSERT_EQ(SnmpOpen(kAddress, "marnit", &s), kSnmpOk);
  Variable v[1];
  Bind(v[0], kOids[0]);
  const auto start = Clock::now();
  for (int i = 0; i < 20; ++i) ASSERT_EQ(SnmpGet(s, &v[0].bind, 1, 1), kSnmpOk);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
  SnmpClose(s);
  plat::net::ClearPortOverrides();
}

}  // namespace

