// The sheet rules on SheetState, and the printer query over SNMP and the
// status file.
#include "sheets/sheet_rules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "device/ber_builder.h"
#include "device/device_status.h"
#include "device/fake_agent.h"
#include "plat/windows.h"
#include "settings/model_fixture.h"
#include "support/peer.h"
#include "support/snmp_agent.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

struct ContextDeleter {
  void operator()(DocSheetContext* c) const {
    FreeSheetNameLists(c->State);
    FreeModelCaps(&c->Caps, true);
    delete c;
  }
};
using ContextPtr = std::unique_ptr<DocSheetContext, ContextDeleter>;

// A document sheet context on the fixture model, its state filled from the working settings.
ContextPtr MakeContext(int drums = 2) {
  fixture::CapsPtr caps = fixture::MakeModel(drums);
  ContextPtr context(new DocSheetContext{});
  std::memcpy(static_cast<void*>(&context->Caps), caps.get(), sizeof(ModelCaps));
  GlobalFree(caps.release());  // the blocks now belong to the context
  CapsInfo& info = context->Caps.Info;
  info.RensyaEnable = info.NupEnable = info.BookletEnable = info.FourPBookletEnable = 1;  // every layout offered
  SettingsToSheetState(context->Caps, context->State);
  return context;
}

TEST(LayoutRules, ALayoutTheModelDoesNotOfferLeavesTheMask) {
  struct Case {
    std::uint8_t CapsInfo::*enable;
    std::uint8_t value;
    std::uint8_t mode;
  };
  const Case cases[] = {{&CapsInfo::RensyaEnable, 0, kLayoutRepeat}, {&CapsInfo::NupEnable, 2, kLayoutNup},
                        {&CapsInfo::BookletEnable, 0, kLayoutBooklet},
                        {&CapsInfo::FourPBookletEnable, 2, kLayoutBooklet4P}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode));
    ContextPtr context = MakeContext();
    ModelCaps& caps = context->Caps;
    SheetState& s = context->State;
    caps.Info.DuplexEnable = 1;
    caps.Papers[0] = PaperEntry{1, 1, 0, 9, 1, 0};  // A4
    s.PaperIndex = 0;
    s.FreePaper = 0;
    s.OutputPaperIndex = 0;
    caps.Info.*c.enable = c.value;
    s.LayoutMode = c.mode;
    s.LayoutSub = c.mode == kLayoutNup ? 1 : 0;
    FitLayoutToPaper(nullptr, *context, s);
    EXPECT_EQ(s.LayoutTypeMask, 31 & ~(1u << c.mode));
    EXPECT_EQ(s.LayoutMode, kLayoutNone) << "a layout not offered is switched off";
  }
}

TEST(LayoutRules, DuplexPapersAllowEveryLayoutOnModelsWithDuplex) {
  struct Case {
    const char* what;
    PaperEntry paper;
    std::uint8_t duplexEnable;
    std::uint16_t mask;
  };
  const Case cases[] = {
      {"A4 by id", {1, 1, 0, 9, 1, 0}, 1, 31},
      {"A3 by id", {1, 1, 0, 8, 1, 0}, 1, 31},
      {"B4 by id", {1, 1, 0, 12, 1, 0}, 1, 31},
      {"A3 by size", {297000, 420000, 0, 300, 1, 0}, 1, 31},
      {"A4 by size", {210000, 297000, 0, 301, 1, 0}, 1, 31},
      {"B4 by size", {257000, 364000, 0, 302, 1, 0}, 1, 31},
      {"almost B4", {257000, 364001, 0, 302, 1, 0}, 1, 7},
      {"letter", {215900, 279400, 0, 1, 1, 0}, 1, 7},
      {"A4 without duplex", {210000, 297000, 0, 9, 1, 0}, 0, 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ContextPtr context = MakeContext();
    ModelCaps& caps = context->Caps;
    SheetState& s = context->State;
    caps.Info.DuplexEnable = c.duplexEnable;
    caps.Papers[0] = c.paper;
    caps.Permanent.Duplex = 0;
    s.PaperIndex = 0;
    s.FreePaper = 0;
    s.OutputPaperIndex = 0;
    s.Duplex = 1;
    s.LayoutMode = kLayoutBooklet;
    s.LayoutKind = 8;
    s.Booklet = 2;
    FitLayoutToPaper(nullptr, *context, s);
    EXPECT_EQ(s.LayoutTypeMask, c.mask);
    if (c.mask == 7) {
      EXPECT_EQ(s.Duplex, 0) << "the Permanent duplex";
      EXPECT_EQ(s.LayoutMode, 0);
      EXPECT_EQ(s.Booklet, 0);
    } else {
      EXPECT_EQ(s.Duplex, 1);
      EXPECT_EQ(s.LayoutMode, kLayoutBooklet);
    }
  }
}

TEST(LayoutRules, TheFreeSizeSwitchesLayoutsOffUnlessAnOutputPaperIsChosen) {
  ContextPtr context = MakeContext();
  SheetState& s = context->State;
  const DocSettings& permanent = context->Caps.Permanent;
  s.PaperIndex = 3;  // the free size
  s.OutputPaperIndex = 0;
  s.LayoutMode = kLayoutRepeat;
  s.LayoutSub = 2;
  s.FitPage = 9;
  FitLayoutToPaper(nullptr, *context, s);
  EXPECT_EQ(s.LayoutMode, 0);
  EXPECT_EQ(s.FitPage, permanent.FitPage);
  EXPECT_FALSE(LayoutPaperAllowed(4, 1, 0, 0));
  EXPECT_TRUE(LayoutPaperAllowed(4, 1, 3, 1));
  EXPECT_TRUE(LayoutPaperAllowed(4, 0, 2, 0));

  // A page record from the application locks the page fields.
  context->Caps.Defaults.AppPageApplied = 1;
  s.PaperIndex = 1;
  s.OutputPaperIndex = 1;
  s.Duplex = 1;
  FitLayoutToPaper(nullptr, *context, s);
  EXPECT_EQ(s.OutputPaperIndex, 0);
  EXPECT_EQ(s.FreePaper, 1);
  EXPECT_EQ(s.Duplex, 0);
}

TEST(LayoutRules, ChoicesAndBindingsPerLayout) {
  struct Case {
    std::uint8_t mode, sub, kind, binding;
    std::uint8_t outSub, outKind, outBinding;
    std::uint16_t kindMask, bindingMask;
  };
  const Case cases[] = {
      {0, 2, 5, 3, 0, 0, 3, 0, 31},        {1, 0, 4, 4, 1, 0, 4, 0, 31},      {1, 2, 0, 9, 2, 0, 0, 0, 31},
      {2, 2, 1, 0, 2, 3, 0, 120, 31},      {2, 2, 6, 0, 2, 6, 0, 120, 31},    {2, 1, 5, 0, 1, 1, 0, 6, 31},
      {2, 7, 5, 2, 1, 1, 2, 6, 31},        {3, 1, 2, 3, 0, 7, 0, 384, 33},    {4, 0, 8, 5, 0, 8, 5, 384, 33},
  };
  for (const Case& c : cases) {
    SheetState s{};
    s.LayoutMode = c.mode;
    s.LayoutSub = c.sub;
    s.LayoutKind = c.kind;
    s.BindingPosition = c.binding;
    RefreshLayoutChoices(nullptr, s);
    EXPECT_EQ(s.LayoutSub, c.outSub) << int(c.mode) << int(c.sub) << int(c.kind);
    EXPECT_EQ(s.LayoutKind, c.outKind) << int(c.mode) << int(c.sub) << int(c.kind);
    EXPECT_EQ(s.BindingPosition, c.outBinding);
    EXPECT_EQ(s.LayoutKindMask, c.kindMask);
    EXPECT_EQ(s.BindingMask, c.bindingMask);
  }
}

TEST(DuplexRules, DuplexResetsAndRestores) {
  ContextPtr context = MakeContext();
  ModelCaps& caps = context->Caps;
  SheetState& s = context->State;
  caps.Speeds[1].Value = 5;  // a speed duplex does not take
  caps.Permanent.Turbo = 1;
  caps.Permanent.Interval = 2;
  caps.Permanent.ImagePositionEach = 1;
  caps.Permanent.Drum2LightPrint = 1;
  caps.Permanent.DrumReverse = 1;
  s.ColorMode = 1;
  s.SeparationKind = 2;
  s.SpeedIndex = 1;
  s.Turbo = 1;
  s.Duplex = 1;
  OnDuplexChanged(caps, s, 0);
  EXPECT_EQ(s.ColorMode, 2);
  EXPECT_EQ(s.Seihan, 2);
  EXPECT_EQ(s.SeparationKind, 0);
  EXPECT_EQ(s.SpeedIndex, 0);
  EXPECT_EQ(s.Turbo, 0);
  EXPECT_EQ(s.ImagePositionEach, 1);
  EXPECT_EQ(s.DrumReverse, 1);
  s.Duplex = 0;
  OnDuplexChanged(caps, s, 1);
  EXPECT_EQ(s.Turbo, 1);
  EXPECT_EQ(s.Interval, 2);
  EXPECT_EQ(s.ImagePositionEach, 0);
  EXPECT_EQ(s.Drum2LightPrint, 0);

  // A booklet turns duplex on; the previous duplex decides what is restored.
  s.Duplex = 0;
  s.ImagePositionEach = 0;
  s.LayoutMode = kLayoutBooklet;
  OnLayoutTypeChanged(nullptr, caps, s, kLayoutNone);
  EXPECT_EQ(s.Duplex, 2);
  EXPECT_EQ(s.ImagePositionEach, 1) << "duplex was off before";
  EXPECT_EQ(s.LayoutKind, 7);
  s.LayoutMode = kLayoutNone;
  OnLayoutTypeChanged(nullptr, caps, s, kLayoutBooklet);
  EXPECT_EQ(s.ImagePosition, caps.Permanent.ImagePosition);

  // Speeds offered under duplex: the combo's item data is the list index.
  HWND page = plat::CreateHeadlessDialog({{kSpeedCombo, plat::ControlKind::ComboBox, u""}});
  s.Duplex = 1;
  s.SpeedIndex = 1;
  FillSpeedCombo(page, caps, s);
  EXPECT_EQ(SendDlgItemMessageW(page, kSpeedCombo, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(s.SpeedIndex, 0);
  EXPECT_EQ(SendDlgItemMessageW(page, kSpeedCombo, CB_GETCURSEL, 0, 0), 0);
  s.Duplex = 0;
  s.SpeedIndex = 1;
  FillSpeedCombo(page, caps, s);
  EXPECT_EQ(SendDlgItemMessageW(page, kSpeedCombo, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendDlgItemMessageW(page, kSpeedCombo, CB_GETITEMDATA, 1, 0), 1);
  EXPECT_EQ(SendDlgItemMessageW(page, kSpeedCombo, CB_GETCURSEL, 0, 0), 1);
  DestroyWindow(page);

  ResetForSeparationKind3(s);
  EXPECT_EQ(s.SeparationModeA, 4);
  EXPECT_EQ(s.SeparationModeB, 5);
  EXPECT_EQ(s.Seihan, 2);
  s.LayoutMode = 2;
  ImagePositionOn(s);
  EXPECT_EQ(s.LayoutMode, 0);
  EXPECT_EQ(s.FitPage, 1);
}

TEST(ImagePosition, RoomOnTheOutputPaperLimitsTheOffsets) {
  struct Case {
    const char* what;
    std::uint16_t paper;  // fixture: 0 A4, 1 A3, 3 free size
    std::uint8_t landscape;
    PaperEntry output;
    std::uint8_t avail;
    std::int32_t e, f;  // vertical and horizontal room, 0.1 mm
  };
  const Case cases[] = {
      {"A4 on A3", 0, 0, {297000, 420000, 0, 8, 6, 0}, 1, 1230, 435},
      {"A4 landscape on A3", 0, 1, {297000, 420000, 0, 8, 6, 0}, 1, 2100, 0},
      {"same size", 0, 0, {210000, 297000, 0, 9, 6, 0}, 0, 0, 0},
      {"narrower", 1, 0, {210000, 500000, 0, 9, 6, 0}, 0, 0, 0},
      {"free size", 3, 0, {110000, 150000, 0, 9, 6, 0}, 1, 20, 50},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ContextPtr context = MakeContext();
    SheetState& s = context->State;
    context->Caps.OutputPapers[1] = c.output;
    s.PaperIndex = c.paper;
    s.Landscape = c.landscape;
    s.FreeWidth = 100000;
    s.FreeLength = 148000;
    s.OutputPaperIndex = 1;
    s.ImagePosition = 1;
    const std::int32_t big[8] = {9999, 9999, 99999, 99999, -9999, -9999, -99999, -99999};
    std::copy(big, big + 8, s.ImagePositionOffsets);
    ImagePositionLimits(nullptr, context->Caps, s);
    EXPECT_EQ(s.ImagePositionAvail, c.avail);
    if (!c.avail) {
      EXPECT_EQ(s.ImagePosition, 0);
      continue;
    }
    const auto inch = [](std::int32_t tenths) { return static_cast<std::int32_t>((tenths * 1000 + 127) / 254); };
    const std::int32_t expected[8] = {c.f, c.e, inch(c.f), inch(c.e), -c.f, 0, -inch(c.f), 0};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(s.ImagePositionOffsets[i], expected[i]) << i;
  }
  ContextPtr none = MakeContext();
  none->State.OutputPaperIndex = 0;
  none->State.ImagePosition = 1;
  ImagePositionLimits(nullptr, none->Caps, none->State);
  EXPECT_EQ(none->State.ImagePosition, 0);
}

TEST(ApplySettings, ALoadedBlockNeverChangesAndTakesTheDeviceLevelValues) {
  ContextPtr context = MakeContext();
  ModelCaps& caps = context->Caps;
  caps.Permanent.SortMode = 2;  // sort needs a sorter
  caps.Permanent.PaperIndex = 40;  // outside the list: the fallback is guarded too
  caps.Permanent.Drum1Color = 1040;
  caps.Defaults.SortKind = 0;
  caps.Defaults.SorterInstalled = 0;
  caps.Defaults.HoldMemoryInstalled = 0;
  const DocSettings before = caps.Permanent;
  ApplySettingsToSheet(nullptr, caps.Permanent, *context, context->State);
  EXPECT_EQ(std::memcmp(&caps.Permanent, &before, sizeof(DocSettings)), 0) << "Permanent unchanged";
  const SheetState& s = context->State;
  EXPECT_EQ(s.PrinterQueried, 1);
  EXPECT_EQ(s.PaperIndex, 0);
  EXPECT_EQ(s.Drum1Color, 1040);
  EXPECT_EQ(s.InkMarks[ColorIdIndex(1040)], 2) << "a drum colour is marked in use";
  EXPECT_NE(s.AvailColorCount, 0);
}

// ---- the printer query ----

const char kStatus[] =
    "[STATUS]\r\nID46=05\r\nID168=2D\r\nID169=CC\r\nID170=00\r\n"
    "ID48=0A\r\nID171=38\r\nID172=f1\r\nID173=CF\r\n";

enum class Agent { Full, OptionsOnly, Silent };

class PrinterQuery : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::AddDrive({u'D', DRIVE_FIXED, u"NTFS", u"", 0});
    plat::machine::SetWindowsDirectory(u"D:\\WINDOWS");
    rsf_ = fs::path(plat::machine::Root()) / "D" / "RSF";
    fs::create_directories(rsf_);
  }
  void TearDown() override {
    plat::net::ClearPortOverrides();
    plat::net::SetWaitScale(1.0);
    std::error_code ignored;
    fs::remove_all(rsf_, ignored);
    plat::machine::Reset();
  }
  void Serve(FakeAgent& agent, Agent kind) {
    agent.SetScript([kind](const Bytes& request, int) -> std::vector<Bytes> {
      auto asks = [&request](std::size_t index) {
        const Bytes oid = ber::Oid(DeviceStatusOid(index));
        return std::search(request.begin(), request.end(), oid.begin(), oid.end()) != request.end();
      };
      if (kind == Agent::Silent) return {};
      std::vector<ber::Binding> b;
      if (asks(kDrumOidCount + kOptionOidCount)) {
        for (long long v : {0LL, 1LL, 0LL}) b.push_back({std::string(DeviceStatusOid(b.size() + 50)), ber::Int(v)});
      } else if (asks(kDrumOidCount)) {
        for (std::size_t i = 0; i < kOptionOidCount; ++i) {
          const std::size_t slot = i / 4, field = i % 4;
          const long long kind = slot == 0 ? 1 : slot == 1 ? 4 : 0;
          const Bytes value = field == 0 ? ber::Int(kind) : field == 1 ? ber::Int(1) : field == 2 ? ber::Int(0)
                                                                                                  : ber::Str("x");
          b.push_back({std::string(DeviceStatusOid(kDrumOidCount + i)), value});
        }
      } else if (kind == Agent::Full && asks(0)) {
        const long long drums[] = {1, 0, 9, 0, 60, -3, -4, 2, 0, 33, 0, 40, 1, 2};
        for (std::size_t i = 0; i < kDrumOidCount; ++i) b.push_back({std::string(DeviceStatusOid(i)), ber::Int(drums[i])});
      } else {
        return {};
      }
      return {ber::Response("marnit", ber::RequestId(request), b)};
    });
    plat::net::SetPortOverride("127.0.0.1", agent.Port());
    // Silence is waited out quickly; answers get the time they need.
    plat::net::SetWaitScale(kind == Agent::Full ? 1.0 : 0.05);
  }
  fs::path rsf_;
};

TEST_F(PrinterQuery, OptionsAndDrumsFromTheDeviceElseTheStatusFile) {
  struct Case {
    const char* what;
    Agent agent;
    bool snmp;
    bool file;
    int result;
    InkCode drum1, drum2;
    bool optionsTaken;
  };
  const Case cases[] = {
      {"the device answers everything", Agent::Full, true, false, 2, 1009, 1033, true},
      {"the device wins over the file", Agent::Full, true, true, 2, 1009, 1033, true},
      {"drums silent: the file", Agent::OptionsOnly, true, true, 1, 1005, 1010, false},
      {"drums silent, no file", Agent::OptionsOnly, true, false, 0, 0, 0, false},
      {"a silent device: the file", Agent::Silent, true, true, 1, 1005, 1010, false},
      {"a silent device, no file", Agent::Silent, true, false, 0, 0, 0, false},
      {"SNMP not allowed: the file", Agent::Full, false, true, 1, 1005, 1010, false},
      {"SNMP not allowed, no file", Agent::Full, false, false, 0, 0, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeAgent agent;
    Serve(agent, c.agent);
    std::error_code ignored;
    fs::remove(rsf_ / "R127000000001.rsf", ignored);
    if (c.file) std::ofstream(rsf_ / "R127000000001.rsf", std::ios::binary) << kStatus;
    ContextPtr context = MakeContext();
    SheetState& s = context->State;
    DocSettings& working = context->Caps.Defaults;
    working.HoldMemoryInstalled = 0;
    working.TapeSorterInstalled = 0;
    working.BinListInstalled = 0;
    s.Drum1Color = 1001;
    std::fill(std::begin(s.InkMarks), std::end(s.InkMarks), std::uint8_t{0});
    EXPECT_EQ(QueryPrinterIntoSheet(u"127.0.0.1", c.snmp, working, s), c.result);
    EXPECT_EQ(s.PrinterDrum1Color, c.drum1);
    EXPECT_EQ(s.PrinterDrum2Color, c.drum2);
    EXPECT_EQ(working.HoldMemoryInstalled, c.optionsTaken ? 1 : 0);
    EXPECT_EQ(working.BinListInstalled, c.optionsTaken ? 1 : 0);
    EXPECT_EQ(working.TapeSorterInstalled, c.optionsTaken ? 1 : 0);
    if (c.result != 0) {
      EXPECT_EQ(s.Drum1Color, c.drum1);
      EXPECT_EQ(s.OneInkColor, c.drum1);
      EXPECT_EQ(s.InkMarks[ColorIdIndex(c.drum1)], 2);
      EXPECT_EQ(s.InkMarks[ColorIdIndex(c.drum2)], 2);
    } else {
      EXPECT_EQ(s.Drum1Color, 1001) << "a failed query changes only the reported colours";
    }
    if (!c.snmp) {
      EXPECT_EQ(agent.RequestCount(), 0);
    }
  }
}

TEST_F(PrinterQuery, AtOpenTheAnswerSetsTheOutputModes) {
  FakeAgent agent;
  Serve(agent, Agent::Full);
  ContextPtr context = MakeContext();
  ModelCaps& caps = context->Caps;
  caps.Info.UsbOutEnable = 1;
  caps.Defaults.HoldMemoryInstalled = 0;
  SettingsToSheetState(caps, context->State);
  EXPECT_EQ(context->State.OutputModeMask, 25);
  EXPECT_EQ(QueryPrinterAtOpen(u"127.0.0.1", true, caps, context->State), 2);
  EXPECT_EQ(context->State.OutputModeMask, 31) << "hold memory reported";

  // A device without hold memory takes the hold modes away again.
  Serve(agent, Agent::Silent);
  std::ofstream(rsf_ / "R127000000001.rsf", std::ios::binary) << kStatus;
  caps.Defaults.HoldMemoryInstalled = 0;
  EXPECT_EQ(QueryPrinterAtOpen(u"127.0.0.1", true, caps, context->State), 1);
  EXPECT_EQ(context->State.OutputModeMask, 25);
  EXPECT_EQ(QueryPrinterAtOpen(u"not an address at all, too long", true, caps, context->State), 0);
}

}  // namespace

namespace {

// The query against a real agent: Debian's snmpd, started by scripts/snmp-agent.
TEST_F(PrinterQuery, ARealAgentGivesOptionsAndDrums) {
  std::ostringstream values;
  std::size_t i = 0;
  for (long long n : {1, 0, 9, 0, 60, -3, -4, 2, 0, 33, 0, 40, 1, 2}) {
    values << DeviceStatusOid(i++) << " integer " << n << "\n";
  }
  for (int r = 1; r <= 9; ++r) {
    values << DeviceStatusOid(i++) << " integer " << (r == 1 ? 1 : r == 2 ? 4 : 10 + r) << "\n";
    values << DeviceStatusOid(i++) << " integer 1\n";
    values << DeviceStatusOid(i++) << " integer 0\n";
    values << DeviceStatusOid(i++) << " octet_str \"slot\"\n";
  }
  for (long long n : {7, 1, 70000}) values << DeviceStatusOid(i++) << " integer " << n << "\n";
  testsupport::TempFolder folder("sheets-agent");
  const testsupport::SnmpAgent agent(folder.path(), values.str());
  REQUIRE_PEER(!agent.Missing(), "snmpd");
  ASSERT_TRUE(agent.Running()) << agent.output();
  ASSERT_TRUE(plat::net::SetPortOverride("127.0.0.1", static_cast<USHORT>(agent.port())));

  ContextPtr context = MakeContext();
  ModelCaps& caps = context->Caps;
  caps.Info.UsbOutEnable = 1;
  caps.Defaults.HoldMemoryInstalled = 0;
  caps.Defaults.TapeSorterInstalled = 0;
  caps.Defaults.BinListInstalled = 0;
  SettingsToSheetState(caps, context->State);
  EXPECT_EQ(QueryPrinterAtOpen(u"127.0.0.1", true, caps, context->State), 2);
  EXPECT_EQ(context->State.PrinterDrum1Color, 1009);
  EXPECT_EQ(context->State.PrinterDrum2Color, 1033);
  EXPECT_EQ(context->State.InkLab.Entry[9].L, 60);
  EXPECT_EQ(context->State.InkLab.Entry[33].b, 2);
  EXPECT_EQ(caps.Defaults.HoldMemoryInstalled, 1);
  EXPECT_EQ(caps.Defaults.TapeSorterInstalled, 1);
  EXPECT_EQ(caps.Defaults.BinListInstalled, 1);
  EXPECT_EQ(context->State.OutputModeMask, 31);
}

}  // namespace
