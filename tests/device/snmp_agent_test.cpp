// The client against a real agent: Debian's snmpd on 127.0.0.1, started by
// scripts/snmp-agent with the values each test chooses.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "device/device_status.h"
#include "device/snmp_client.h"
#include "plat/net.h"
#include "support/peer.h"
#include "support/run_command.h"
#include "support/snmp_agent.h"
#include "support/temp_folder.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Served {
  bool text;          // OCTET STRING, else INTEGER
  long long number;
  std::string string;
};

using testsupport::RunCommand;

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Values for the 53 private OIDs, negative L*a*b* among them.
std::vector<Served> ChosenValues() {
  std::vector<Served> v;
  for (long long n : {1, 7, 5, 0, 45, -15, 0}) v.push_back({false, n, {}});           // drum 1
  for (long long n : {2, 3, 0, 1, 56, -300, -49}) v.push_back({false, n, {}});        // drum 2, ink 0
  for (int r = 1; r <= 9; ++r) {
    v.push_back({false, r == 1 ? 1 : r == 4 ? 4 : 10 + r, {}});
    v.push_back({false, r % 2, {}});
    v.push_back({false, -r * 1000, {}});
    v.push_back({true, 0, r == 1 ? "Tape sorter" : r == 4 ? "Bin list" : r == 9 ? "" : "Slot " + std::to_string(r)});
  }
  for (long long n : {7, 1, 70000}) v.push_back({false, n, {}});
  return v;
}

class RealAgentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    values_ = ChosenValues();
    ASSERT_EQ(values_.size(), kDeviceStatusOidCount);
    std::ostringstream file;
    for (std::size_t i = 0; i < values_.size(); ++i) {
      const Served& s = values_[i];
      file << DeviceStatusOid(i) << (s.text ? " octet_str " + Quoted(s.string) : " integer " + std::to_string(s.number))
           << "\n";
    }
    agent_ = std::make_unique<testsupport::SnmpAgent>(folder_.path(), file.str());
    REQUIRE_PEER(!agent_->Missing(), "snmpd");
    ASSERT_TRUE(agent_->Running()) << agent_->output();
    port_ = agent_->port();
    ASSERT_TRUE(plat::net::SetPortOverride("127.0.0.1", static_cast<USHORT>(port_)));
  }

  void TearDown() override {
    plat::net::ClearPortOverrides();
    plat::net::SetWaitScale(1.0);
    agent_.reset();
  }

  testsupport::TempFolder folder_{"snmp-agent"};
  std::vector<Served> values_;
  std::unique_ptr<testsupport::SnmpAgent> agent_;
  int port_ = 0;
};

TEST_F(RealAgentTest, SnmpgetSeesTheChosenValues) {
  std::string command = "snmpget -v1 -c marnit -Oqv -M /dev/null -m '' 127.0.0.1:" + std::to_string(port_);
  for (std::size_t i = 0; i < kDeviceStatusOidCount; ++i) {
    command += ' ';
    command += DeviceStatusOid(i);
  }
  std::string out;
  ASSERT_EQ(RunCommand(command + " 2>&1", &out), 0) << out;
  std::istringstream lines(out);
  for (std::size_t i = 0; i < kDeviceStatusOidCount; ++i) {
    std::string line;
    ASSERT_TRUE(std::getline(lines, line)) << i;
    const Served& s = values_[i];
    EXPECT_EQ(line, s.text ? Quoted(s.string) : std::to_string(s.number)) << DeviceStatusOid(i);
  }
}

TEST_F(RealAgentTest, ClientReadsEveryValueAsServed) {
  SnmpSession* session = nullptr;
  ASSERT_EQ(SnmpOpen("127.0.0.1", kDeviceCommunity, &session), kSnmpOk);
  std::vector<SnmpVarBind> binds(kDeviceStatusOidCount);
  std::vector<std::array<std::uint8_t, 64>> buffers(kDeviceStatusOidCount);
  for (std::size_t i = 0; i < binds.size(); ++i) {
    std::memcpy(binds[i].oid, DeviceStatusOid(i).data(), DeviceStatusOid(i).size());
    binds[i].type = values_[i].text ? kSnmpTypeOctetString : kSnmpTypeInteger;
    binds[i].bufferSize = 64;
    binds[i].buffer = buffers[i].data();
  }
  ASSERT_EQ(SnmpGet(session, binds.data(), static_cast<int>(binds.size()), 1), kSnmpOk);
  SnmpClose(session);
  for (std::size_t i = 0; i < binds.size(); ++i) {
    const Served& s = values_[i];
    const auto length = static_cast<std::size_t>(binds[i].returnedLength);
    if (s.text) {
      EXPECT_EQ(std::string(reinterpret_cast<char*>(buffers[i].data()), length), s.string) << i;
    } else {
      EXPECT_LE(length, 4u);
      EXPECT_EQ(BigEndianToInt(buffers[i].data(), length), s.number) << DeviceStatusOid(i);
    }
  }
}

TEST_F(RealAgentTest, StatusQueriesDecodeTheAgentsAnswers) {
  DrumRecord drums[2];
  ASSERT_EQ(QueryDrumTable("127.0.0.1", drums), 1);
  EXPECT_EQ(drums[0].DrumNumber, 1);
  EXPECT_EQ(drums[0].Attribute, 7);
  EXPECT_EQ(drums[0].Ink, 1005);
  EXPECT_EQ(drums[0].Lab.L, 45);
  EXPECT_EQ(drums[0].Lab.a, -15);
  EXPECT_EQ(drums[0].Lab.b, 0);
  EXPECT_EQ(drums[1].DrumNumber, 2);
  EXPECT_EQ(drums[1].Ink, 1032);
  EXPECT_EQ(drums[1].Attribute2, 1);
  EXPECT_EQ(drums[1].Lab.L, 56);
  EXPECT_EQ(drums[1].Lab.a, -300);
  EXPECT_EQ(drums[1].Lab.b, -49);

  OptionRecord options[9];
  ASSERT_EQ(QueryOptionTable("127.0.0.1", options), 1);
  EXPECT_EQ(options[0].Kind, 1);
  EXPECT_STREQ(options[0].Text, "Tape sorter");
  EXPECT_EQ(options[3].Kind, 4);
  EXPECT_EQ(options[3].Value, 0);
  EXPECT_STREQ(options[3].Text, "Bin list");
  EXPECT_EQ(options[4].Kind, 15);
  EXPECT_EQ(options[4].Value, 1);
  EXPECT_EQ(options[8].ThirdValue, -9000);
  EXPECT_STREQ(options[8].Text, "");

  std::int32_t holdMemory = 0;
  ASSERT_EQ(QueryDeviceValue("127.0.0.1", &holdMemory), 1);
  EXPECT_EQ(holdMemory, 1);
}

TEST_F(RealAgentTest, AgentErrorsAndSilenceReachTheCaller) {
  // An OID the agent does not serve: noSuchName, buffers untouched.
  SnmpSession* session = nullptr;
  ASSERT_EQ(SnmpOpen("127.0.0.1", kDeviceCommunity, &session), kSnmpOk);
  std::uint8_t buffer[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  SnmpVarBind binds[2] = {};
  std::strcpy(binds[0].oid, std::string(DeviceStatusOid(0)).c_str());
  std::strcpy(binds[1].oid, ".1.3.6.1.4.1.40613.1.1.1.3.2.3.1");
  for (SnmpVarBind& b : binds) {
    b.type = kSnmpTypeInteger;
    b.bufferSize = 4;
    b.buffer = buffer;
  }
  EXPECT_EQ(SnmpGet(session, binds, 2, 1), kSnmpErrorStatus);
  EXPECT_EQ(buffer[0], 0xEE);
  SnmpClose(session);

  // A wrong community gets no answer at all: two sends, then 3.
  plat::net::SetWaitScale(0.02);
  ASSERT_EQ(SnmpOpen("127.0.0.1", "public", &session), kSnmpOk);
  EXPECT_EQ(SnmpGet(session, binds, 1, 1), kSnmpNoAnswer);
  SnmpClose(session);
}

TEST_F(RealAgentTest, ThreeBackToBackQueriesTakeMilliseconds) {
  DrumRecord drums[2];
  const auto start = Clock::now();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(QueryDrumTable("127.0.0.1", drums), 1);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  RecordProperty("three_drum_queries_ms", std::to_string(ms));
  std::printf("three drum queries against snmpd: %.1f ms\n", ms);
  EXPECT_LT(ms, 1000.0);
}

}  // namespace
