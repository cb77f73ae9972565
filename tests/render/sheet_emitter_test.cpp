#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "plat/engine.h"
#include "plat/machine.h"
#include "plat/spooler.h"
#include "render/command_stream.h"
#include "render/sheet_emitter.h"
#include "streamdump/stream_decoder.h"
#include "support/test_printer.h"

namespace {

constexpr char16_t kPrinter[] = u"Emitter Test";

// A device record as DrvEnablePDEV and DrvEnableSurface leave it, with small
// planes so that whole sheets can be compared dot for dot.
class SheetEmitter : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    ASSERT_TRUE(testPrinter_.Add(testsupport::PrinterSetupOf(kPrinter, u"LPT1:", u"Duplicator")));
    printer_ = testPrinter_.handle();
    pdev_ = std::make_unique<RenderPdev>();
    RenderPdev& p = *pdev_;
    p = RenderPdev{};
    p.headSignature = p.tailSignature = kPdevSignature;
    p.printer = printer_;
    p.sink = SpoolerSink(printer_);
    p.jobFile = INVALID_HANDLE_VALUE;
    p.resolutionX = p.resolutionY = 600;
    p.paperWidth = 100;  // 0.1 mm
    p.paperLength = 200;
    p.copies = 1;
    p.colorMode = 2;
    p.masterSelection = 2;
    p.drumCount = 2;
    p.drum1Ink = 1001;
    p.drum2Ink = 1003;
    p.languageNumber = 1;
    SetPlanes(40, 48, true);
  }
  void TearDown() override {
    FreeOutputBuffer(pdev_.get());
    testPrinter_.Close();
  }

  void SetPlanes(LONG width, LONG height, bool two) {
    RenderPdev& p = *pdev_;
    p.planeWidth = width;
    p.planeHeight = height;
    p.planeStride = ((width + 7) / 8 + 3) & ~3;
    planes_.assign(static_cast<size_t>(p.planeStride) * height * (two ? 2 : 1), 0xFF);
    p.drum2Plane = planes_.data();
    p.drum1Plane = two ? planes_.data() + static_cast<size_t>(p.planeStride) * height : planes_.data();
    p.flags = two ? kPdevTwoPlanes : 0;
  }
  void Ink(int drum, LONG x, LONG y) {
    render::PlaneView v = render::DrumPlane(pdev_.get(), drum);
    v.Row(y)[x / 8] &= static_cast<BYTE>(~(0x80 >> (x % 8)));
  }
  streamdump::Decoded Sent() {
    const std::vector<BYTE> out = plat::spooler::Output(kPrinter);
    streamdump::Decoded d = streamdump::DecodeStream(out);
    EXPECT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
    return d;
  }
  // The ink dots of a sent drum page.
  static std::vector<std::pair<LONG, LONG>> Dots(const streamdump::Decoded& job, const streamdump::DrumPage& page) {
    std::vector<std::pair<LONG, LONG>> dots;
    const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
    for (std::uint32_t y = 0; y < plane.height; ++y)
      for (std::uint32_t x = 0; x < plane.width; ++x)
        if (plane.Ink(x, y)) dots.emplace_back(static_cast<LONG>(x), static_cast<LONG>(y));
    return dots;
  }
  // Emits the sheet while the engine's job is cancelled and the clock jumps
  // 1001 s at every read, starting at the given minute of an hour. The engine
  // reads the cancel flag of its own printer handle; the stream goes to the
  // test printer, whose sink would refuse a cancelled job.
  int EmitWithJobCancelled(WORD startMinute) {
    testsupport::TestPrinter other;
    if (!other.Add(testsupport::PrinterSetupOf(u"Cancelled Job", u"LPT2:", u"Duplicator"))) return -1;
    HANDLE cancelled = other.handle();
    plat::spooler::SetJobCancelled(u"Cancelled Job", true);
    HDEV hdev = plat::engine::CreateDevice(cancelled);
    SURFOBJ so{};
    so.hdev = hdev;
    pdev_->surfaceObject = &so;
    plat::machine::FreezeClock(true);
    plat::machine::SetLocalTime(SYSTEMTIME{2026, 12, 4, 10, 9, startMinute, 0, 0});
    plat::machine::SetReadStep(1001 * 1000);
    const int result = EmitSheet(pdev_.get());
    plat::machine::Reset();
    plat::engine::DeleteDevice(hdev);
    pdev_->surfaceObject = nullptr;
    return result;
  }
  bool PlanesWhite() const {
    for (BYTE b : planes_)
      if (b != 0xFF) return false;
    return true;
  }

  testsupport::TestPrinter testPrinter_;
  HANDLE printer_ = nullptr;
  std::unique_ptr<RenderPdev> pdev_;
  std::vector<BYTE> planes_;
};

using DotList = std::vector<std::pair<LONG, LONG>>;

TEST_F(SheetEmitter, TwoInkSheetSendsEachDrumItsOwnPlane) {
  Ink(1, 0, 0);
  Ink(1, 39, 47);
  Ink(2, 17, 5);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  EXPECT_EQ(pdev_->sheetCounter, 1u);
  EXPECT_TRUE(PlanesWhite());
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 2u);
  EXPECT_EQ(job.pages[0].inkCode, 1001);
  EXPECT_EQ(job.pages[1].inkCode, 1003);
  EXPECT_TRUE(job.pages[0].ended && job.pages[1].ended) << "a form feed ends each drum page";
  EXPECT_EQ(Dots(job, job.pages[0]), (DotList{{0, 0}, {39, 47}}));
  EXPECT_EQ(Dots(job, job.pages[1]), (DotList{{17, 5}}));
  EXPECT_EQ(job.commands.front().letter, 'R') << "the first sheet starts with the job header";
}

TEST_F(SheetEmitter, MasterSelectionAndInkChooseTheDrumPages) {
  struct Case {
    BYTE colorMode, master, oneInkDrum;
    WORD drum2Ink;
    std::vector<std::int64_t> inks;
  } cases[] = {
      {2, 0, 0, 1003, {1001}},        {2, 1, 0, 1003, {1003}},       {2, 2, 0, 1003, {1001, 1003}},
      {1, 2, 0, 1003, {1001}},        {1, 2, 1, 1003, {1003}},       {1, 2, 1, 0, {1001}},
  };
  for (const auto& c : cases) {
    plat::spooler::ClearOutput(kPrinter);
    pdev_->colorMode = c.colorMode;
    pdev_->masterSelection = c.master;
    pdev_->oneInkDrum = c.oneInkDrum;
    pdev_->drum2Ink = c.drum2Ink;
    pdev_->sheetCounter = 1;  // no header
    ASSERT_EQ(EmitSheet(pdev_.get()), 1);
    std::vector<std::int64_t> inks;
    const auto job = Sent();
    for (const auto& page : job.pages) {
      inks.push_back(page.inkCode);
      EXPECT_TRUE(page.lines.empty()) << "a sheet without ink sends no line";
      EXPECT_TRUE(page.ended);
    }
    EXPECT_EQ(inks, c.inks) << int(c.colorMode) << "/" << int(c.master) << "/" << int(c.oneInkDrum);
    EXPECT_EQ(DrumPagesPerSheet(pdev_.get()), static_cast<int>(c.inks.size())) << "the count tools read";
  }
  // Duplex sends one drum page a sheet, whatever the inks.
  pdev_->colorMode = 2;
  pdev_->masterSelection = 2;
  pdev_->duplex = 1;
  EXPECT_EQ(DrumPagesPerSheet(pdev_.get()), 1);
  pdev_->duplex = 0;
  pdev_->masterSelection = 3;
  EXPECT_EQ(DrumPagesPerSheet(pdev_.get()), 0) << "no drum chosen";
  EXPECT_EQ(DrumPagesPerSheet(nullptr), 0);
}

TEST_F(SheetEmitter, ResolutionModeOneStretchesLinePositions) {
  pdev_->resolutionMode = 1;
  pdev_->masterSelection = 0;
  for (LONG y : {0, 1, 2}) Ink(1, 8, y);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 1u);
  std::vector<std::uint32_t> positions;
  for (const auto& line : job.pages[0].lines) positions.push_back(line.v);
  EXPECT_EQ(positions, (std::vector<std::uint32_t>{1, 2, 2, 3, 4}));
}

TEST_F(SheetEmitter, TurnedSheetsAreSentAsColumnsFromTheBottomUp) {
  pdev_->orientation = 90;
  pdev_->masterSelection = 0;
  Ink(1, 3, 47);  // column 3, last row: first bit of line 4
  Ink(1, 3, 0);   // column 3, first row: last bit of line 4
  Ink(1, 30, 10);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 1u);
  EXPECT_EQ(Dots(job, job.pages[0]), (DotList{{0, 3}, {47, 3}, {37, 30}}));
}

TEST_F(SheetEmitter, DuplexBacksExchangeTheBindingSide) {
  // Duplex kind 1 at orientation 0 with a shift to the right: fronts move
  // right, backs left; every sheet is one page, fronts on drum 1.
  pdev_->duplex = 1;
  pdev_->masterSelection = 2;
  pdev_->shiftMode = 1;
  pdev_->shiftAmount = 1;  // 0.1 mm = 3 dots at 600 dpi
  SetPlanes(40, 48, false);
  Ink(1, 10, 4);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  Ink(1, 10, 4);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 2u);
  EXPECT_EQ(job.pages[0].inkCode, 1001);
  EXPECT_EQ(job.pages[1].inkCode, 1003);
  EXPECT_EQ(Dots(job, job.pages[0]), (DotList{{13, 4}}));
  EXPECT_EQ(Dots(job, job.pages[1]), (DotList{{7, 4}}));
}

TEST_F(SheetEmitter, ThumbnailFollowsEachDrumPage) {
  pdev_->thumbnail = 2;
  pdev_->masterSelection = 0;
  SetPlanes(400, 200, true);
  Ink(1, 0, 0);
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 1u);
  ASSERT_EQ(job.pages[0].thumbnails.size(), 1u);
  EXPECT_EQ(job.pages[0].thumbnails[0].width, 200u);
  EXPECT_EQ(job.pages[0].thumbnails[0].height, 100u);
  EXPECT_EQ(job.pages[0].thumbnails[0].pixels[0], 255 - 255 / 4) << "top-left block holds one dot of four";
}

TEST_F(SheetEmitter, CustomPositionCutsTheImageToTheRoomOnThePaper) {
  pdev_->customPosition = 1;
  pdev_->masterSelection = 0;
  pdev_->outputPaperWidth = 10;   // 0.1 mm: 24 dots at 600 dpi
  pdev_->outputPaperLength = 10;
  pdev_->frontX = 0;
  pdev_->frontY = 0;
  Ink(1, 23, 0);
  Ink(1, 24, 1);   // beyond the cut width, in the same byte
  Ink(1, 0, 30);   // beyond the cut length
  ASSERT_EQ(EmitSheet(pdev_.get()), 1);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 1u);
  EXPECT_EQ(Dots(job, job.pages[0]), (DotList{{23, 0}}));
}

// The engine is asked whether the job was cancelled only once the clock has
// moved on by more than 1000 s since the sheet began; a clock passing the full
// hour restarts the interval.
TEST_F(SheetEmitter, AnAbortStopsTheDrumPageOnceTheIntervalHasPassed) {
  struct Case {
    WORD startMinute;
    size_t linesBeforeAbort;
  } cases[] = {{0, 0}, {45, 64}};
  for (const auto& c : cases) {
    plat::spooler::ClearOutput(kPrinter);
    SetPlanes(40, 200, true);
    pdev_->masterSelection = 0;
    pdev_->sheetCounter = 1;
    for (LONG y = 0; y < 200; ++y) Ink(1, 1, y);
    const int result = EmitWithJobCancelled(c.startMinute);
    EXPECT_EQ(result, 0) << "minute " << c.startMinute;
    EXPECT_EQ(pdev_->sheetCounter, 1u) << "an aborted sheet is not counted";
    EXPECT_TRUE(PlanesWhite());
    const auto job = Sent();
    ASSERT_EQ(job.pages.size(), 1u);
    EXPECT_EQ(job.pages[0].lines.size(), c.linesBeforeAbort) << "minute " << c.startMinute;
    EXPECT_FALSE(job.pages[0].ended) << "no form feed after an abort";
  }
}

TEST_F(SheetEmitter, AFailedSpoolerWriteFailsTheSheet) {
  plat::spooler::WriteFault fault;
  fault.failOnCall = 1;
  plat::spooler::SetWriteFault(kPrinter, fault);
  Ink(1, 0, 0);
  EXPECT_EQ(EmitSheet(pdev_.get()), 0);
  EXPECT_EQ(pdev_->sheetCounter, 0u);
  EXPECT_TRUE(PlanesWhite()) << "the planes are whitened even when the sheet fails";
}


// After an abort the next drum page asks the engine again with its first line
// that has ink, so a short second page cannot slip through and count the sheet.
TEST_F(SheetEmitter, AnAbortIsAskedAgainByTheNextDrumPage) {
  SetPlanes(40, 48, true);
  for (LONG y = 0; y < 48; ++y) Ink(1, 1, y);
  for (LONG y = 0; y < 3; ++y) Ink(2, 2, y);
  const int result = EmitWithJobCancelled(0);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(pdev_->sheetCounter, 0u);
  const auto job = Sent();
  ASSERT_EQ(job.pages.size(), 2u);
  EXPECT_EQ(job.pages[1].lines.size(), 0u);
  EXPECT_FALSE(job.pages[1].ended);
}


// The centre gutter within rows is halved once whenever the shift-halved byte
// is set, whatever its value: 0.4 mm = 10 dots, the gap centred at dot 20.
TEST_F(SheetEmitter, GutterWithinRowsIsHalvedWhenTheHalvedByteIsSet) {
  struct Case {
    BYTE halved;
    LONG dot;
  } cases[] = {{0, 14}, {1, 17}, {2, 17}};
  for (const auto& c : cases) {
    plat::spooler::ClearOutput(kPrinter);
    pdev_->sheetCounter = 1;
    pdev_->masterSelection = 0;
    pdev_->shiftMode = 5;
    pdev_->shiftAmount = 4;
    pdev_->shiftHalved = c.halved;
    Ink(1, 19, 3);
    ASSERT_EQ(EmitSheet(pdev_.get()), 1);
    const auto job = Sent();
    ASSERT_EQ(job.pages.size(), 1u);
    EXPECT_EQ(Dots(job, job.pages[0]), (DotList{{c.dot, 3}})) << "halved byte " << int(c.halved);
  }
}


// Duplex with a custom position: a negative front y on an even sheet drops
// dots(-y) rows at the top, in either orientation (0.4 mm = 10 rows).
TEST_F(SheetEmitter, NegativeFrontYSkipsTopRowsOfADuplexFront) {
  struct Case {
    SHORT orientation;
    DotList expected;
  } cases[] = {{0, {{5, 2}, {7, 37}}}, {90, {{35, 5}, {0, 7}}}};
  for (const auto& c : cases) {
    plat::spooler::ClearOutput(kPrinter);
    pdev_->sheetCounter = 0;
    pdev_->duplex = 1;
    pdev_->orientation = c.orientation;
    pdev_->customPosition = 1;
    pdev_->outputPaperWidth = 2000;
    pdev_->outputPaperLength = 2000;
    pdev_->frontY = -4;
    Ink(1, 6, 9);   // in the skipped rows
    Ink(1, 5, 12);
    Ink(1, 7, 47);
    ASSERT_EQ(EmitSheet(pdev_.get()), 1);
    const auto job = Sent();
    ASSERT_EQ(job.pages.size(), 1u);
    EXPECT_EQ(Dots(job, job.pages[0]), c.expected) << "orientation " << c.orientation;
  }
}

}  // namespace
