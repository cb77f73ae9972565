// The platform's Winsock subset as the SNMP client relies on it.
#include "plat/net.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "fake_agent.h"

namespace {

using Clock = std::chrono::steady_clock;

class NetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 0), &data), 0);
    s_ = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_NE(s_, INVALID_SOCKET);
  }
  void TearDown() override {
    closesocket(s_);
    plat::net::ClearPortOverrides();
    plat::net::SetWaitScale(1.0);
    WSACleanup();
  }

  static sockaddr_in To(const char* address, USHORT port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = inet_addr(address);
    return to;
  }
  int Send(const char* address, USHORT port, const char* text) {
    const sockaddr_in to = To(address, port);
    return sendto(s_, text, static_cast<int>(std::strlen(text)), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  }
  // select for reading with a time-out in milliseconds.
  int WaitReadable(long ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s_, &set);
    timeval tv{static_cast<LONG>(ms / 1000), static_cast<LONG>((ms % 1000) * 1000)};
    return select(0, &set, nullptr, nullptr, &tv);
  }

  SOCKET s_ = INVALID_SOCKET;
};

TEST(NetAddress, InetAddrAndByteOrder) {
  struct Case {
    const char* text;
    ULONG hostOrder;
  };
  const Case cases[] = {
      {"127.0.0.1", 0x7F000001},   {"192.168.1.10", 0xC0A8010A}, {"255.255.255.254", 0xFFFFFFFE},
      {"10.1", 0x0A000001},        {"10.1.2", 0x0A010002},       {"0x7f.1", 0x7F000001},
      {"010.0.0.1", 0x08000001},   {"1.2.3.4 x", 0x01020304},
      {"", INADDR_NONE},           {"1.2.3.256", INADDR_NONE},   {"1.2.3.4.5", INADDR_NONE},
      {"a.b.c.d", INADDR_NONE},    {"1..2.3", INADDR_NONE},      {"08.1.1.1", INADDR_NONE},
  };
  for (const Case& c : cases) EXPECT_EQ(ntohl(inet_addr(c.text)), c.hostOrder) << c.text;
  EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);
  EXPECT_EQ(htons(0x1234), ntohs(0x1234));
  const USHORT n = htons(0x0102);
  EXPECT_EQ(reinterpret_cast<const BYTE*>(&n)[0], 0x01);
}

TEST(NetStartup, RefusesVersionZero) {
  WSADATA data;
  EXPECT_EQ(WSAStartup(0, &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(MAKEWORD(2, 0), nullptr), WSAEFAULT);
}

TEST_F(NetTest, RefusesUnspecifiedAndBroadcastDestinations) {
  struct Case {
    const char* address;
    USHORT port;
    int error;
  };
  const Case cases[] = {
      {"0.0.0.0", 161, WSAEADDRNOTAVAIL},
      {"255.255.255.255", 161, WSAEACCES},
      {"not an address", 161, WSAEACCES},  // INADDR_NONE is the broadcast address
      {"127.0.0.1", 0, WSAEADDRNOTAVAIL},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Send(c.address, c.port, "x"), SOCKET_ERROR) << c.address;
    EXPECT_EQ(WSAGetLastError(), c.error) << c.address;
  }
}

TEST_F(NetTest, PortOverrideReachesTheAgentAndTheAnswerComesBack) {
  FakeAgent agent;
  agent.SetScript([](const Bytes& request, int) -> std::vector<Bytes> { return {request}; });
  ASSERT_TRUE(plat::net::SetPortOverride("127.0.0.1", agent.Port()));
  EXPECT_FALSE(plat::net::SetPortOverride("127.0.0", 1));
  ASSERT_EQ(Send("127.0.0.1", 161, "hello"), 5);
  ASSERT_EQ(WaitReadable(2000), 1);
  char buffer[16] = {};
  sockaddr_in from{};
  int fromLength = sizeof from;
  ASSERT_EQ(recvfrom(s_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength), 5);
  EXPECT_STREQ(buffer, "hello");
  EXPECT_EQ(ntohl(from.sin_addr.s_addr), INADDR_LOOPBACK);
  EXPECT_EQ(ntohs(from.sin_port), agent.Port());
  EXPECT_EQ(agent.RequestCount(), 1);
}

TEST_F(NetTest, OversizedDatagramFillsTheBufferAndReportsMsgSize) {
  FakeAgent agent;
  agent.SetScript([](const Bytes&, int) -> std::vector<Bytes> {
    Bytes big(100);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i);
    return {big};
  });
  plat::net::SetPortOverride("127.0.0.1", agent.Port());
  plat::net::SetWaitScale(0.01);
  ASSERT_EQ(Send("127.0.0.1", 161, "q"), 1);
  ASSERT_EQ(WaitReadable(100000), 1);
  char buffer[10] = {};
  EXPECT_EQ(recvfrom(s_, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEMSGSIZE);
  EXPECT_EQ(buffer[9], 9);
  EXPECT_EQ(WaitReadable(1000), 0);  // the rest of the datagram is gone
}

TEST_F(NetTest, SelectTimeOutIsScaledAndEmptiesTheSet) {
  plat::net::SetWaitScale(0.01);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s_, &set);
  timeval tv{4, 0};
  const auto start = Clock::now();
  EXPECT_EQ(select(0, &set, nullptr, nullptr, &tv), 0);
  const auto elapsed = Clock::now() - start;
  EXPECT_EQ(set.fd_count, 0u);
  EXPECT_GE(elapsed, std::chrono::milliseconds(39));
  EXPECT_LT(elapsed, std::chrono::milliseconds(1000));
}

TEST_F(NetTest, RefusalShowsAsConnResetOnceAndTheSocketGoesOn) {
  plat::net::SetPortOverride("127.0.0.1", ClosedPort());
  ASSERT_EQ(Send("127.0.0.1", 161, "q"), 1);
  ASSERT_EQ(WaitReadable(2000), 1);
  char buffer[16];
  EXPECT_EQ(recvfrom(s_, buffer, sizeof buffer, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAECONNRESET);
  plat::net::SetWaitScale(0.01);
  EXPECT_EQ(WaitReadable(1000), 0);

  FakeAgent agent;
  agent.SetScript([](const Bytes& request, int) -> std::vector<Bytes> { return {request}; });
  plat::net::SetPortOverride("127.0.0.1", agent.Port());
  ASSERT_EQ(Send("127.0.0.1", 161, "again"), 5);
  plat::net::SetWaitScale(1.0);
  ASSERT_EQ(WaitReadable(2000), 1);
  EXPECT_EQ(recvfrom(s_, buffer, sizeof buffer, 0, nullptr, nullptr), 5);
}

TEST_F(NetTest, ForeignHandlesAreNotSockets) {
  const SOCKET other = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(other, INVALID_SOCKET);
  EXPECT_EQ(closesocket(other), 0);
  EXPECT_EQ(closesocket(other), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  char c;
  EXPECT_EQ(recvfrom(other, &c, 1, 0, nullptr, nullptr), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  fd_set set;
  FD_ZERO(&set);
  FD_SET(other, &set);
  timeval tv{0, 0};
  EXPECT_EQ(select(0, &set, nullptr, nullptr, &tv), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAENOTSOCK);
  FD_ZERO(&set);
  EXPECT_EQ(select(0, &set, nullptr, nullptr, &tv), SOCKET_ERROR);
  EXPECT_EQ(WSAGetLastError(), WSAEINVAL);
  EXPECT_EQ(socket(AF_INET, SOCK_STREAM, 0), INVALID_SOCKET);
  EXPECT_EQ(WSAGetLastError(), WSAESOCKTNOSUPPORT);
}

}  // namespace
