#include "device/device_status.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fake_agent.h"
#include "ber_builder.h"
#include "plat/machine.h"
#include "plat/net.h"
#include "plat/strings.h"

namespace {

namespace fs = std::filesystem;

TEST(DeviceStatusOids, FiftyThreeInQueryOrder) {
  EXPECT_EQ(DeviceStatusOid(0), ".1.3.6.1.4.1.40613.1.1.1.3.2.1.1");
  EXPECT_EQ(DeviceStatusOid(6), ".1.3.6.1.4.1.40613.1.1.1.3.2.1.7");
  EXPECT_EQ(DeviceStatusOid(7), ".1.3.6.1.4.1.40613.1.1.1.3.2.2.1");
  EXPECT_EQ(DeviceStatusOid(14), ".1.3.6.1.4.1.40613.1.1.2.2.4.1.1");
  EXPECT_EQ(DeviceStatusOid(17), ".1.3.6.1.4.1.40613.1.1.2.2.4.1.4");
  EXPECT_EQ(DeviceStatusOid(49), ".1.3.6.1.4.1.40613.1.1.2.2.4.9.4");
  EXPECT_EQ(DeviceStatusOid(50), ".1.3.6.1.4.1.40613.1.1.2.2.1.1");
  EXPECT_EQ(DeviceStatusOid(52), ".1.3.6.1.4.1.40613.1.1.2.2.1.3");
  EXPECT_EQ(DeviceStatusOid(53), "");
}

TEST(DeviceInk, CodesMapToInkCodes) {
  const std::pair<int, int> cases[] = {{0, 1032}, {1, 1001}, {5, 1005}, {63, 1063},
                                       {64, 1002}, {-1, 1002}, {255, 1002}, {-128, 1002}};
  for (auto [device, ink] : cases) EXPECT_EQ(DeviceInkToInkCode(device), ink) << device;
}

TEST(DeviceInteger, BigEndianTwosComplement) {
  struct Case {
    Bytes bytes;
    std::int32_t value;
  };
  const Case cases[] = {
      {{0x2D}, 45},           {{0xF1}, -15},          {{0x00}, 0},
      {{}, 0},                {{0x00, 0x80}, 128},    {{0xFF, 0x7F}, -129},
      {{0xFE, 0xD4}, -300},   {{0x01, 0x11, 0x70}, 70000},
      {{0x80, 0x00, 0x00, 0x00}, INT32_MIN},          {{0x7F, 0xFF, 0xFF, 0xFF}, INT32_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(BigEndianToInt(c.bytes.data(), c.bytes.size()), c.value);
}

TEST(StatusFileHex, PairsReadAsSignedBytes) {
  struct Case {
    const char16_t* text;
    int ok;
    std::int32_t value;
  };
  const Case cases[] = {
      {u"CC", 1, -52}, {u"7f", 1, 127}, {u"80", 1, -128}, {u"ff", 1, -1}, {u"00", 1, 0},
      {u"2Dxyz", 1, 45},  // further characters ignored
      {u"G1", 0, 0},   {u"1G", 0, 0},   {u"C", 0, 0},     {u"", 0, 0},    {u" C", 0, 0},
  };
  for (const Case& c : cases) {
    std::int32_t value = 12345;
    EXPECT_EQ(HexPairToSignedByte(c.text, &value), c.ok);
    EXPECT_EQ(value, c.ok ? c.value : 12345);
  }
}

class StatusFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::AddDrive({u'D', DRIVE_FIXED, u"NTFS", u"", 0});
    plat::machine::SetWindowsDirectory(u"D:\\WINDOWS");
    rsf_ = fs::path(plat::machine::Root()) / "D" / "RSF";
    fs::create_directories(rsf_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(rsf_, ignored);
    plat::machine::Reset();
  }
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(rsf_ / name, std::ios::binary) << text;
  }
  fs::path rsf_;
};

const char kStatus[] =
    "[STATUS]\r\nID46=05\r\nID168=2D\r\nID169=CC\r\nID170=00\r\n"
    "ID48=00\r\nID171=38\r\nID172=f1\r\nID173=CF\r\n";

TEST_F(StatusFileTest, PathFromTheWindowsDriveAndTheAddress) {
  WCHAR path[MAX_PATH];
  ASSERT_EQ(RsfStatusPath("192.168.1.10", path, MAX_PATH), 1);
  EXPECT_EQ(std::u16string(path), u"D:\\RSF\\R192168001010.rsf");
  EXPECT_EQ(RsfStatusPath("192.168.1.10", path, 24), 0);  // one unit short
  for (const char* bad : {"192.168.1.256", "192.168.1", "1.2.3.4.5", "1.2.3.0004", "1.2.3.-4", "a.b.c.d",
                          " 1.2.3.4", "1.2.3.4 ", "1..2.3", "", "1.2.3.4\n"}) {
    EXPECT_EQ(RsfStatusPath(bad, path, MAX_PATH), 0) << bad;
  }
  EXPECT_EQ(RsfStatusPath(nullptr, path, MAX_PATH), 0);
}

TEST_F(StatusFileTest, ReadsBothDrums) {
  // As the status program writes it: other sections and keys, CRLF, a value
  // with more than two characters.
  fs::copy_file(fs::path(TEST_DATA_DIR_STR) / "device" / "status_two_drums.rsf", rsf_ / "R192168001010.rsf");
  std::int32_t ink1 = 0;
  std::int32_t ink2 = 0;
  InkLab lab1{};
  InkLab lab2{};
  ASSERT_EQ(ReadRsfStatus("192.168.1.10", &ink1, &lab1, &ink2, &lab2), 1);
  EXPECT_EQ(ink1, 1005);
  EXPECT_EQ(lab1.L, 45);
  EXPECT_EQ(lab1.a, -52);
  EXPECT_EQ(lab1.b, 0);
  EXPECT_EQ(ink2, 1032);
  EXPECT_EQ(lab2.L, 56);
  EXPECT_EQ(lab2.a, -15);
  EXPECT_EQ(lab2.b, -49);
}

TEST_F(StatusFileTest, AnyMissingOrBadValueFailsTheWholeRead) {
  struct Case {
    const char* what;
    std::string from;
    std::string to;
  };
  const Case cases[] = {
      {"missing key", "ID172=f1\r\n", ""},
      {"empty value", "ID48=00", "ID48="},
      {"bad hex", "ID169=CC", "ID169=G1"},
      {"one digit", "ID173=CF", "ID173=C"},
      {"other section", "[STATUS]", "[STATE]"},
  };
  int n = 0;
  for (const Case& c : cases) {
    std::string text = kStatus;
    text.replace(text.find(c.from), c.from.size(), c.to);
    const std::string address = "10.0.0." + std::to_string(++n);
    char name[32];
    std::snprintf(name, sizeof name, "R010000000%03d.rsf", n);
    Write(name, text);
    std::int32_t ink1 = 7;
    std::int32_t ink2 = 7;
    InkLab lab1{7, 7, 7};
    InkLab lab2{7, 7, 7};
    EXPECT_EQ(ReadRsfStatus(address.c_str(), &ink1, &lab1, &ink2, &lab2), 0) << c.what;
    EXPECT_EQ(ink1, 7) << c.what;
    EXPECT_EQ(lab2.b, 7) << c.what;
  }
  std::int32_t ink1;
  std::int32_t ink2;
  InkLab lab1;
  InkLab lab2;
  EXPECT_EQ(ReadRsfStatus("10.0.0.99", &ink1, &lab1, &ink2, &lab2), 0);  // no file
}

TEST_F(StatusFileTest, InstalledDrumsFallBackToTheFileWhenTheDeviceIsSilent) {
  FakeAgent silent;
  plat::net::SetPortOverride("127.0.0.1", silent.Port());
  plat::net::SetWaitScale(0.005);
  Write("R127000000001.rsf", kStatus);
  DrumRecord drums[2];
  ASSERT_EQ(QueryInstalledDrums("127.0.0.1", drums), 1);
  EXPECT_EQ(silent.RequestCount(), 2);
  EXPECT_EQ(drums[0].DrumNumber, 1);
  EXPECT_EQ(drums[0].Ink, 1005);
  EXPECT_EQ(drums[1].DrumNumber, 2);
  EXPECT_EQ(drums[1].Lab.b, -49);
  plat::net::ClearPortOverrides();
  plat::net::SetWaitScale(1.0);
}

TEST_F(StatusFileTest, InstalledDrumsPlacedByTheirNumbers) {
  // The device lists drum 2 first and reports a third record number.
  FakeAgent agent;
  std::vector<long long> values = {2, 0, 5, 0, 40, 1, 2, /**/ 1, 0, 9, 0, 60, -3, -4};
  agent.SetScript([&values](const Bytes& request, int) -> std::vector<Bytes> {
    std::vector<ber::Binding> b;
    for (std::size_t i = 0; i < values.size(); ++i) b.push_back({std::string(DeviceStatusOid(i)), ber::Int(values[i])});
    return {ber::Response("marnit", ber::RequestId(request), b)};
  });
  plat::net::SetPortOverride("127.0.0.1", agent.Port());
  DrumRecord drums[2];
  ASSERT_EQ(QueryInstalledDrums("127.0.0.1", drums), 1);
  EXPECT_EQ(drums[0].DrumNumber, 1);
  EXPECT_EQ(drums[0].Ink, 1009);
  EXPECT_EQ(drums[1].DrumNumber, 2);
  EXPECT_EQ(drums[1].Ink, 1005);

  // A record claiming drum 7 is ignored; with drum 2 unreported the status
  // file decides.
  values[0] = 7;
  DrumRecord kept[2] = {{9, 9, 9, 9, {9, 9, 9}}, {9, 9, 9, 9, {9, 9, 9}}};
  EXPECT_EQ(QueryInstalledDrums("127.0.0.1", kept), 0);
  EXPECT_EQ(kept[1].DrumNumber, 9);
  Write("R127000000001.rsf", kStatus);
  ASSERT_EQ(QueryInstalledDrums("127.0.0.1", drums), 1);
  EXPECT_EQ(drums[0].Ink, 1005);
  EXPECT_EQ(drums[1].Ink, 1032);
  EXPECT_EQ(agent.RequestCount(), 3);
  agent.SetScript(nullptr);
  plat::net::ClearPortOverrides();
}

TEST(DrumPlacement, OnlyDrumsOneAndTwoAndEachOnce) {
  const DrumRecord one{1, 0, 1001, 0, {1, 2, 3}};
  const DrumRecord two{2, 0, 1002, 0, {4, 5, 6}};
  const DrumRecord bad{3, 0, 1003, 0, {7, 8, 9}};
  const DrumRecord negative{-1, 0, 1004, 0, {7, 8, 9}};
  struct Case {
    DrumRecord in[2];
    int filled;
    int ink1;
    int ink2;
  };
  const Case cases[] = {
      {{one, two}, 2, 1001, 1002}, {{two, one}, 2, 1001, 1002}, {{bad, two}, 1, 0, 1002},
      {{one, one}, 1, 1001, 0},    {{negative, bad}, 0, 0, 0},
  };
  for (const Case& c : cases) {
    DrumRecord out[2];
    EXPECT_EQ(PlaceDrumRecords(c.in, out), c.filled);
    EXPECT_EQ(out[0].Ink, c.ink1);
    EXPECT_EQ(out[1].Ink, c.ink2);
  }
}

// ---- hue classes and the separation modes ----

TEST(HueClassOf, BoundariesOfTheFourClasses) {
  struct Case {
    InkLab lab;
    int hue;
  };
  const Case cases[] = {
      {{50, 0, 0}, 0},     {{50, 6, 0}, 0},      {{50, 0, -6}, 0},   {{50, 4, 4}, 0},  // a^2 + b^2 <= 36
      {{50, 7, 0}, 1},     {{50, 4, 5}, 1},      {{50, 56, 57}, 1},  {{50, 7, -6}, 1},
      {{50, 7, -7}, 2},    {{50, 0, -7}, 2},     {{48, 0, -49}, 2},  {{50, 10, -20}, 2},
      {{50, -7, 0}, 3},    {{50, -8, -3}, 3},    {{50, -8, -4}, 2},  {{50, -15, 0}, 3},
      {{50, INT32_MIN, INT32_MIN}, 2},  // no overflow with values straight from a device
      {{50, INT32_MAX, INT32_MAX}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(HueClass(c.lab), c.hue) << c.lab.a << "," << c.lab.b;
}

constexpr InkLab kBlack{20, 0, 0};      // neutral, dark
constexpr InkLab kGrey{60, 1, 1};       // neutral, light
constexpr InkLab kRed{50, 60, 30};      // class 1
constexpr InkLab kBlue{40, 10, -50};    // class 2
constexpr InkLab kGreen{50, -40, 10};   // class 3
constexpr InkLab kOrange{70, 40, 60};   // class 1
constexpr InkLab kNoInk{2, 2, 2};

struct ModeCase {
  const char* what;
  int x;
  InkLab labX;
  int y;
  InkLab labY;
  int d1;
  InkLab lab1;
  int d2;
  InkLab lab2;
  int modeIn;
  int modeA;  // new mode A for modeIn as mode A
  int modeB;  // new mode B for modeIn as mode B
};

TEST(AssignDrumColorsTable, ModesFollowTheInstalledInks) {
  const ModeCase cases[] = {
      // Modes 0 and 1 follow colour X / Y to its drum, by code first, then by hue class.
      {"X on drum 1", 1001, kBlack, 1005, kRed, 1001, kBlack, 1005, kRed, 0, 0, 0},
      {"X on drum 2", 1001, kBlack, 1005, kRed, 1005, kRed, 1001, kBlack, 0, 1, 1},
      {"X like drum 2 only", 1006, kOrange, 1001, kBlack, 1001, kBlack, 1005, kRed, 0, 1, 1},
      {"X like both", 1006, kOrange, 1001, kBlack, 1005, kRed, 1007, kRed, 0, 99, 99},
      {"X like neither", 1003, kGreen, 1001, kBlack, 1001, kBlack, 1005, kRed, 0, 99, 99},
      {"Y on drum 1", 1001, kBlack, 1005, kRed, 1005, kRed, 1001, kBlack, 1, 0, 0},
      {"Y like drum 1 only", 1001, kBlack, 1006, kOrange, 1005, kRed, 1009, kBlue, 1, 0, 0},
      // Modes 2 and 4: the dark neutral drum, else the neutral one, else the darker one.
      {"dark neutral on drum 1", 0, kRed, 0, kRed, 1001, {34, 0, 0}, 1005, kRed, 2, 4, 5},
      {"neutral L 35 on drum 1", 0, kRed, 0, kRed, 1001, {35, 0, 0}, 1002, {30, 0, 0}, 4, 2, 99},
      {"neutral drum 1, coloured drum 2", 0, kRed, 0, kRed, 1001, kGrey, 1005, kRed, 2, 4, 5},
      {"coloured drum 1, neutral drum 2", 0, kRed, 0, kRed, 1005, kRed, 1001, kGrey, 4, 2, 2},
      {"both coloured, drum 1 darker", 0, kRed, 0, kRed, 1009, kBlue, 1005, kRed, 2, 4, 6},
      {"both coloured, drum 1 lighter", 0, kRed, 0, kRed, 1005, kRed, 1009, kBlue, 2, 2, 3},
      {"same lightness", 0, kRed, 0, kRed, 1005, {40, 60, 30}, 1009, kBlue, 4, 99, 3},
      // Modes 3 and 5: the drum with class 1.
      {"class 1 on drum 1", 0, kRed, 0, kRed, 1005, kRed, 1009, kBlue, 3, 3, 3},
      {"class 1 on drum 2", 0, kRed, 0, kRed, 1009, kBlue, 1005, kRed, 5, 5, 6},
      {"class 1 on both", 0, kRed, 0, kRed, 1005, kRed, 1006, kOrange, 3, 99, 99},
      {"class 1 on neither", 0, kRed, 0, kRed, 1001, kBlack, 1009, kBlue, 5, 99, 99},
      // Mode B 2-7 by the pair of classes.
      {"(1, 0)", 0, kRed, 0, kRed, 1005, kRed, 1001, kBlack, 7, 99, 2},
      {"(1, 3)", 0, kRed, 0, kRed, 1005, kRed, 1003, kGreen, 6, 99, 4},
      {"(0, 1)", 0, kRed, 0, kRed, 1001, kBlack, 1005, kRed, 2, 4, 5},
      {"(3, 1)", 0, kRed, 0, kRed, 1003, kGreen, 1005, kRed, 7, 99, 7},
      {"(3, 2)", 0, kRed, 0, kRed, 1003, kGreen, 1009, kBlue, 4, 2, 99},
      // Unknown modes and drums without ink.
      {"mode 8", 0, kRed, 0, kRed, 1005, kRed, 1001, kBlack, 8, 99, 99},
      {"mode -1", 0, kRed, 0, kRed, 1005, kRed, 1001, kBlack, -1, 99, 99},
      {"no ink on drum 2", 1001, kBlack, 1005, kRed, 1001, kBlack, 1063, kNoInk, 0, 99, 99},
      {"no ink on drum 1", 1001, kBlack, 1005, kRed, 1061, {1, 1, 1}, 1001, kBlack, 2, 99, 99},
      {"marker {3,3,3}", 1001, kBlack, 1005, kRed, 1005, kRed, 1062, {3, 3, 3}, 3, 99, 99},
  };
  for (const ModeCase& c : cases) {
    std::int32_t a = c.modeIn;
    std::int32_t b = c.modeIn;
    AssignDrumColors(c.x, c.labX, c.y, c.labY, c.d1, c.lab1, c.d2, c.lab2, &a, &b);
    EXPECT_EQ(a, c.modeA) << c.what;
    EXPECT_EQ(b, c.modeB) << c.what;
  }
}

TEST(AssignDrumColorsTable, ExamplesFromTheField) {
  std::int32_t a = 0;
  std::int32_t b = 3;
  AssignDrumColors(0, kRed, 0, kRed, 1005, {56, 57, 23}, 1009, {48, 0, -49}, &a, &b);
  EXPECT_EQ(b, 3);
  a = 2;
  b = 0;
  AssignDrumColors(0, kRed, 0, kRed, 1001, {34, 0, 0}, 1005, kRed, &a, &b);
  EXPECT_EQ(a, 4);
}

}  // namespace
