// Whole jobs through the print host with classicrender loaded by path: the
// engine's call order, the command stream that reaches the spooler, resets,
// cancelled and failed jobs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdev_fixture.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/strings.h"

using namespace pdevtest;

namespace {

// One command of the stream: its letter ('R' for the bare reset/job end,
// '\f' for the form feed) and parameters; payloads are skipped.
struct Command {
  char letter;
  std::vector<long> params;
};

// Reads the stream as commands, independently of the writers. Fails the test
// on a byte that starts no command.
std::vector<Command> Decode(const std::vector<BYTE>& s) {
  std::vector<Command> out;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == 0x0C) {
      out.push_back({'\f', {}});
      ++i;
      continue;
    }
    if (s[i] != 0x1E || i + 1 >= s.size()) {
      ADD_FAILURE() << "stray byte at " << i;
      return out;
    }
    if (s[i + 1] == 'R') {
      out.push_back({'R', {}});
      i += 2;
      continue;
    }
    if (s[i + 1] != '&') {
      ADD_FAILURE() << "bad command at " << i;
      return out;
    }
    std::size_t j = i + 2;
    Command c{0, {}};
    long value = 0;
    bool neg = false, any = false;
    for (; j < s.size() && s[j] != '&'; ++j) {
      if (s[j] == ';') {
        c.params.push_back(neg ? -value : value);
        value = 0;
        neg = false;
        any = false;
      } else if (s[j] == '-') {
        neg = true;
      } else {
        value = value * 10 + (s[j] - '0');
        any = true;
      }
    }
    if (any) c.params.push_back(neg ? -value : value);
    if (j + 1 >= s.size()) {
      ADD_FAILURE() << "truncated command at " << i;
      return out;
    }
    c.letter = static_cast<char>(s[j + 1]);
    i = j + 2;
    if ((c.letter == 'e' || c.letter == 'n' || c.letter == 'i') && !c.params.empty()) i += c.params[0];
    out.push_back(c);
  }
  return out;
}

int Count(const std::vector<Command>& cmds, char letter) {
  int n = 0;
  for (const Command& c : cmds) n += c.letter == letter;
  return n;
}

class PrintHostJob : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    DWORD error = 0;
    driver = plat::print_host::Driver::Load(plat::u16(std::string(LIB_DIR_STR) + "/classicrender.so"), &error);
    ASSERT_NE(driver, nullptr) << error;
  }
  void TearDown() override {
    driver.reset();
    PrinterFixture::TearDown();
  }

  plat::print_host::Result Run(const PrivateDevmode& dm, int pages) {
    plat::print_host::Job job;
    job.printer = printer;
    job.deviceName = kPrinter;
    job.port = kPort;
    job.devmode = Bytes(dm);
    job.documentName = u"C:\\docs\\plan.txt";
    job.pages = pages;
    job.drawPage = [](const plat::print_host::PageContext& page) {
      // A black bar: bit 0 is ink on the plane.
      return plat::engine::FillRect(page.surface, RECTL{10, 10 + page.index, 200, 40}, 0) == TRUE;
    };
    if (devmodeBeforePage) job.devmodeBeforePage = devmodeBeforePage;
    return plat::print_host::RunJob(*driver, job);
  }

  std::vector<Command> Output() { return Decode(plat::spooler::Output(kPrinter)); }

  std::unique_ptr<plat::print_host::Driver> driver;
  std::function<std::vector<BYTE>(int)> devmodeBeforePage;
};

TEST_F(PrintHostJob, TableIsTheDriversTwentyEntries) {
  const ULONG order[20] = {35, 33, 32, 34, 0, 1, 2, 3, 4, 18, 20, 19, 31, 15, 14, 16, 17, 12, 7, 23};
  ASSERT_EQ(driver->Table().size(), 20u);
  EXPECT_EQ(driver->EngineVersion(), 0x20000u);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(driver->Table()[i].iFunc, order[i]) << i;
    EXPECT_NE(driver->Table()[i].pfn, nullptr) << i;
  }
}

TEST_F(PrintHostJob, OnePlaneJobInEngineOrder) {
  PrivateDevmode dm = BaseDevmode();
  auto r = Run(dm, 3);
  ASSERT_TRUE(r.ok) << r.failedEntry << " " << r.error;
  const std::vector<std::string> want = {
      "DrvEnablePDEV", "DrvCompletePDEV", "DrvEnableSurface", "DrvStartDoc",  "DrvStartPage",
      "draw",          "DrvSendPage",     "DrvStartPage",     "draw",         "DrvSendPage",
      "DrvStartPage",  "draw",            "DrvSendPage",      "DrvEndDoc",    "DrvDisableSurface",
      "DrvDisablePDEV"};
  EXPECT_EQ(r.calls, want);
  auto cmds = Output();
  ASSERT_GE(cmds.size(), 3u);
  EXPECT_EQ(cmds.front().letter, 'R');
  EXPECT_EQ(cmds[1].letter, 'e');
  EXPECT_EQ(cmds.back().letter, 'R');
  EXPECT_EQ(Count(cmds, 'R'), 2);    // header reset and job end
  EXPECT_EQ(Count(cmds, '\f'), 3);   // one drum page per sheet
  EXPECT_EQ(Count(cmds, 'i'), 30 + 29 + 28);  // the bar's rows, one line each
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
  EXPECT_EQ(plat::engine::LivePaletteCount(), 0u);
}

TEST_F(PrintHostJob, TwoPlaneJobSendsTwoDrumPagesASheet) {
  PrivateDevmode dm = BaseDevmode();
  dm.Settings.ColorMode = 2;
  dm.Settings.Seihan = 2;
  dm.Settings.SeparationModeA = 2;
  dm.Settings.SeparationModeB = 2;
  dm.Settings.Drum1Color = 1001;
  dm.Settings.Drum2Color = 1003;
  auto r = Run(dm, 2);
  ASSERT_TRUE(r.ok) << r.failedEntry << " " << r.error;
  auto cmds = Output();
  EXPECT_EQ(Count(cmds, '\f'), 4);
  // Each drum page opens with its ink: code and R, G, B, then code and L, a, b.
  int inks1001 = 0, inks1003 = 0;
  for (const Command& c : cmds)
    if (c.letter == 'O' && c.params.size() == 4) {
      inks1001 += c.params[0] == 1001;
      inks1003 += c.params[0] == 1003;
    }
  EXPECT_EQ(inks1001, 2);
  EXPECT_EQ(inks1003, 2);
}

TEST_F(PrintHostJob, NoPageWritesNothing) {
  PrivateDevmode dm = BaseDevmode();
  auto r = Run(dm, 0);
  ASSERT_TRUE(r.ok);
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty());
}

TEST_F(PrintHostJob, PartlyFilledLastSheetIsEmittedAtTheEnd) {
  PrivateDevmode dm = BaseDevmode();
  dm.Settings.RensyaLayout = 1;  // two pages a sheet
  auto r = Run(dm, 3);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Count(Output(), '\f'), 2);
}

TEST_F(PrintHostJob, OddDuplexJobEndsWithABlankBack) {
  PrivateDevmode dm = BaseDevmode();
  dm.Settings.Duplex = 1;
  auto r = Run(dm, 3);
  ASSERT_TRUE(r.ok);
  auto cmds = Output();
  EXPECT_EQ(Count(cmds, '\f'), 4);
  // Between the last two form feeds: the drum 2 ink commands and no lines.
  int last = -1, before = -1;
  for (int i = 0; i < static_cast<int>(cmds.size()); ++i)
    if (cmds[i].letter == '\f') {
      before = last;
      last = i;
    }
  ASSERT_GT(before, 0);
  int lines = 0, inks = 0;
  for (int i = before + 1; i < last; ++i) {
    lines += cmds[i].letter == 'i';
    inks += cmds[i].letter == 'O' || cmds[i].letter == 'o';
  }
  EXPECT_EQ(lines, 0);
  EXPECT_EQ(inks, 2);
  EXPECT_EQ(cmds.back().letter, 'R');
}

TEST_F(PrintHostJob, PaperChangeResetEndsTheJobAndStartsANewOne) {
  PrivateDevmode dm = BaseDevmode();
  PrivateDevmode a5 = BaseDevmode();
  a5.Public.dmPaperSize = DMPAPER_A5;
  devmodeBeforePage = [&](int page) { return page == 2 ? Bytes(a5) : std::vector<BYTE>(); };
  auto r = Run(dm, 3);
  ASSERT_TRUE(r.ok) << r.failedEntry;
  const std::vector<std::string> want = {
      "DrvEnablePDEV",  "DrvCompletePDEV", "DrvEnableSurface",  "DrvStartDoc",    "DrvStartPage",
      "draw",           "DrvSendPage",     "DrvStartPage",      "draw",           "DrvSendPage",
      "DrvEnablePDEV",  "DrvCompletePDEV", "DrvResetPDEV",      "DrvDisableSurface", "DrvDisablePDEV",
      "DrvEnableSurface", "DrvStartDoc",   "DrvStartPage",      "draw",           "DrvSendPage",
      "DrvEndDoc",      "DrvDisableSurface", "DrvDisablePDEV"};
  EXPECT_EQ(r.calls, want);
  auto cmds = Output();
  EXPECT_EQ(Count(cmds, 'R'), 4);  // two jobs: header and end each
  EXPECT_EQ(Count(cmds, '\f'), 3);
  // The second job's paper command is A5 in millimetres.
  std::vector<std::vector<long>> papers;
  for (const Command& c : cmds)
    if (c.letter == 'z') papers.push_back(c.params);
  ASSERT_EQ(papers.size(), 2u);
  EXPECT_EQ(papers[0], (std::vector<long>{40, 210, 297}));
  EXPECT_EQ(papers[1], (std::vector<long>{40, 148, 210}));
}

TEST_F(PrintHostJob, SamePaperResetContinuesTheJob) {
  PrivateDevmode dm = BaseDevmode();
  devmodeBeforePage = [&](int page) { return page == 1 ? Bytes(dm) : std::vector<BYTE>(); };
  auto r = Run(dm, 2);
  ASSERT_TRUE(r.ok) << r.failedEntry;
  auto cmds = Output();
  EXPECT_EQ(Count(cmds, 'R'), 2);
  EXPECT_EQ(Count(cmds, '\f'), 2);
}

TEST_F(PrintHostJob, CancelledJobStopsAtTheNextPage) {
  PrivateDevmode dm = BaseDevmode();
  plat::print_host::Job job;
  job.printer = printer;
  job.devmode = Bytes(dm);
  job.pages = 3;
  // The user cancels between the first and the second page.
  job.devmodeBeforePage = [](int page) {
    if (page == 1) plat::spooler::SetJobCancelled(kPrinter, true);
    return std::vector<BYTE>();
  };
  auto r = plat::print_host::RunJob(*driver, job);
  plat::spooler::SetJobCancelled(kPrinter, false);
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.pagesSent, 1);
  EXPECT_EQ(r.calls.back(), "DrvDisablePDEV");
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
}

// The spooler's sink carries on after short writes: the same bytes arrive
// whatever the spooler takes per call.
TEST_F(PrintHostJob, ShortSpoolerWritesSendTheSameStream) {
  // The job header carries the time: one minute for every run.
  plat::machine::SetLocalTime(SYSTEMTIME{2026, 12, 4, 10, 9, 5, 30, 0});
  plat::machine::FreezeClock(true);
  struct Thaw {
    ~Thaw() { plat::machine::FreezeClock(false); }
  } thaw;
  PrivateDevmode dm = BaseDevmode();
  ASSERT_TRUE(Run(dm, 2).ok);
  const std::vector<BYTE> whole = plat::spooler::Output(kPrinter);
  ASSERT_FALSE(whole.empty());
  for (DWORD perCall : {1u, 7u, 4096u}) {
    SCOPED_TRACE(perCall);
    plat::spooler::ClearOutput(kPrinter);
    plat::spooler::WriteFault fault;
    fault.maxPerCall = perCall;
    plat::spooler::SetWriteFault(kPrinter, fault);
    auto r = Run(dm, 2);
    plat::spooler::ClearWriteFault(kPrinter);
    ASSERT_TRUE(r.ok) << r.failedEntry << " " << r.error;
    EXPECT_TRUE(plat::spooler::Output(kPrinter) == whole);
  }
}

// A failed job names its error: the sink's own, or why the sheet could not
// be sent.
TEST_F(PrintHostJob, FailedJobsCarryARealErrorCode) {
  struct Case {
    const char* name;
    DWORD spoolerError;  // 0: the spooler takes everything
    std::uint8_t colorMode;
    std::uint8_t masterSelection;
    DWORD error;
  } cases[] = {
      {"the spooler stops taking bytes", ERROR_WRITE_FAULT, 1, 0, ERROR_WRITE_FAULT},
      {"the spooler's job is gone", ERROR_PRINT_CANCELLED, 1, 0, ERROR_PRINT_CANCELLED},
      {"two inks and master selection 3 choose no drum", 0, 2, 3, ERROR_INVALID_PARAMETER},
      {"two inks and master selection 255", 0, 2, 255, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = BaseDevmode();
    dm.Settings.ColorMode = c.colorMode;
    dm.Settings.Seihan = c.masterSelection;
    dm.Settings.SeparationModeA = 4;  // two separate inks: the job stays a two-ink job
    dm.Settings.SeparationModeB = 5;
    plat::spooler::ClearOutput(kPrinter);
    if (c.spoolerError) {
      plat::spooler::WriteFault fault;
      fault.failAfterBytes = 100;
      fault.error = c.spoolerError;
      plat::spooler::SetWriteFault(kPrinter, fault);
    }
    auto r = Run(dm, 1);
    plat::spooler::ClearWriteFault(kPrinter);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.failedEntry, "DrvSendPage");
    EXPECT_EQ(r.error, c.error);
  }
}

}  // namespace
