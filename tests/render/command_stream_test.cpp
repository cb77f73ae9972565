// The command stream: golden bytes of the job header, info records, ink
// commands, thumbnail and lines; the flush through a memory sink and the job
// file's sink with short writes and failures; every stream read back by
// streamdump.
#include "render/command_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/registry.h"
#include "render/job_files.h"
#include "render/packbits.h"
#include "streamdump/stream_decoder.h"
#include "support/memory_sink.h"
#include "support/render_pdev.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
// One command as sent: 0x1E and its text.
Bytes Cmd(const std::string& s) {
  Bytes b(s.size() + 1);
  b[0] = 0x1E;
  std::copy(s.begin(), s.end(), b.begin() + 1);
  return b;
}
void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

// The "&e" block as the device expects it.
Bytes EBlock() {
  Bytes b = {0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C,
             0x00, 0x00, 0x00, 0xD2, 0x01, 0x29, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A};
  b.resize(64, 0x00);
  return b;
}

// "&n" and a text record.
Bytes Record(const std::string& tag, const std::string& value) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04zu", value.size());
  Bytes rec{0x1F};
  Append(rec, Text(tag + digits));
  rec.push_back(0x1F);
  Append(rec, Text(value));
  std::string command = "&";
  command += std::to_string(rec.size());
  command += "&n";
  Bytes out = Cmd(command);
  Append(out, rec);
  return out;
}

using testsupport::PdevPtr;

class CommandStream : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::Reset();
    plat::machine::SetLocalTime(SYSTEMTIME{2026, 12, 4, 10, 9, 5, 30, 0});
    plat::machine::FreezeClock(true);
    plat::files::ClearWriteFaults();
    plat::registry::Reset();
    pdev_ = MakePdev();
  }
  void TearDown() override {
    pdev_.reset();
    plat::files::ClearWriteFaults();
    plat::machine::FreezeClock(false);
  }

  // A plain one-ink A4 job at 600 dpi to the memory sink.
  PdevPtr MakePdev() {
    PdevPtr p(new RenderPdev{});
    p->headSignature = p->tailSignature = kPdevSignature;
    p->sink = sink_.Sink();
    p->jobFile = INVALID_HANDLE_VALUE;
    p->paperWidth = 2100;
    p->paperLength = 2970;
    p->resolutionX = 600;
    p->resolutionY = 600;
    p->copies = 1;
    p->colorMode = 1;
    p->masterSelection = 0;
    p->drumCount = 1;
    p->holdBox = 1;
    p->speed = 3;
    p->densities[0] = 4;
    p->densities[1] = 5;
    p->languageNumber = 1;
    p->systemCode = 2;
    p->drum1Ink = 1001;
    p->drum2Ink = 1003;
    std::strcpy(p->jobText.jobName, "report.doc");
    std::strcpy(p->jobText.userName, "alice");
    EXPECT_EQ(AllocateOutputBuffer(p.get()), 1);
    return p;
  }

  // What the buffer holds now (nothing of a header is flushed).
  Bytes Buffered() const {
    return Bytes(pdev_->outputBuffer->bytes, pdev_->outputBuffer->bytes + pdev_->outputFill);
  }
  Bytes Spooled() const { return sink_.bytes; }
  // Empties the sink and takes its faults away.
  void ClearOutput() { sink_ = testsupport::MemorySink{}; }

  testsupport::MachineRoot machine_{"cmdstream"};
  testsupport::MemorySink sink_;
  PdevPtr pdev_;
};

// The header of the plain job, item by item.
std::vector<Bytes> PlainHeader() {
  Bytes reset = Cmd("R");
  Bytes e = Cmd("&64&e");
  Append(e, EBlock());
  return {reset,
          e,
          Cmd("&40;210;297&z"),
          Cmd("&600;600&r"),
          Cmd("&1&C"),
          Cmd("&1&J"),
          Cmd("&1&G"),
          Cmd("&3&S"),
          Cmd("&4&D"),
          Cmd("&0&Q"),
          Cmd("&10&Q"),
          Cmd("&51;0;0;0&Q"),
          Cmd("&40;0;0;0&Q"),
          Cmd("&51&O"),
          Cmd("&61&O"),
          Cmd("&71&O"),
          Cmd("&81&O"),
          Cmd("&91&O"),
          Cmd("&95;0;0;0&O"),
          Cmd("&98;0;0;0&O"),
          Record("FILE", "report.doc"),
          Record("TIME", "2026/12/10  9: 5"),
          Record("HOST", "alice"),
          Cmd("&9;0;0;0&O"),
          Cmd("&11;0;0;0&O"),
          Cmd("&31;0;0;0&O"),
          Cmd("&41;0;0;0&O"),
          Cmd("&1;0;0;0&s"),
          Cmd("&2;0;0;0&s"),
          Cmd("&201;333;0;0&s"),
          Cmd("&211;518;1;0&s"),
          Cmd("&301;0;0;0&s"),
          Cmd("&30;0;0;0&Q")};
}

// Edits of the plain header: replace the item `was` by `now` (possibly
// several items, or none).
struct Edit {
  std::string was;
  std::vector<std::string> now;
};

struct HeaderCase {
  const char* name;
  std::function<void(RenderPdev&)> set;
  std::vector<Edit> edits;
  std::uint16_t copiesAfter = 1;
};

Bytes Expected(const std::vector<Edit>& edits) {
  std::vector<Bytes> items = PlainHeader();
  for (const Edit& e : edits) {
    const auto at = std::find(items.begin(), items.end(), Cmd(e.was));
    EXPECT_NE(at, items.end()) << e.was;
    if (at == items.end()) continue;
    std::vector<Bytes> now;
    for (const std::string& s : e.now) now.push_back(Cmd(s));
    const auto pos = items.erase(at);
    items.insert(pos, now.begin(), now.end());
  }
  Bytes all;
  for (const Bytes& b : items) Append(all, b);
  return all;
}

TEST_F(CommandStream, JobHeaderGoldenBytes) {
  const HeaderCase cases[] = {
      {"plain job", [](RenderPdev&) {}, {}},
      {"copies 0 are sent as 1", [](RenderPdev& p) { p.copies = 0; }, {}, 1},
      {"copies 12000 are sent as 9999", [](RenderPdev& p) { p.copies = 12000; }, {{"&1&C", {"&9999&C"}}}, 9999},
      {"authentication",
       [](RenderPdev& p) {
         p.authenticationOn = 1;
         p.authenticationNumber = 4321;
       },
       {{"&1&C", {"&1&C", "&2;4321&q"}}}},
      {"confidential", [](RenderPdev& p) { p.confidential = 1; }, {{"&1&G", {"&1&G", "&8&G"}}}},
      {"continuous 1", [](RenderPdev& p) { p.continuousMode = 1; }, {{"&1&G", {"&6&G"}}}},
      {"continuous 2", [](RenderPdev& p) { p.continuousMode = 2; }, {{"&1&G", {"&2&G"}}}},
      {"continuous 3", [](RenderPdev& p) { p.continuousMode = 3; }, {{"&1&G", {"&7&G"}}}},
      {"rotated", [](RenderPdev& p) { p.rotate180 = 1; }, {{"&1&J", {"&2&J"}}}},
      {"program print rows with separator 1",
       [](RenderPdev& p) {
         p.programPrint = 1;
         p.programSeparator = 1;
         p.programRows[0][0] = 5;
         p.programRows[0][1] = 2;
         p.programRows[2][0] = 30;
         p.programRows[2][1] = 1;
         p.programRows[5][0] = 7;
         p.programRows[5][1] = 4;
       },
       {{"&51;0;0;0&Q", {"&53;1;2;5&Q", "&53;2;1;30&Q", "&53;3;4;7&Q"}}}},
      {"program print separator 2, all rows empty",
       [](RenderPdev& p) {
         p.programPrint = 1;
         p.programSeparator = 2;
       },
       {{"&51;0;0;0&Q", {}}}},
      {"program print separator 0 and an unknown one",
       [](RenderPdev& p) {
         p.programPrint = 1;
         p.programSeparator = 9;
         p.programRows[1][0] = 3;
         p.programRows[1][1] = 6;
       },
       {{"&51;0;0;0&Q", {"&0;1;6;3&Q"}}}},
      {"interleaf 2 and 5",
       [](RenderPdev& p) { p.interleaf = 2; }, {{"&40;0;0;0&Q", {"&42;0;0;0&Q"}}}},
      {"interleaf beyond 2", [](RenderPdev& p) { p.interleaf = 5; }, {{"&40;0;0;0&Q", {"&43;0;0;0&Q"}}}},
      {"turbo, interval, separation two, ink saving",
       [](RenderPdev& p) {
         p.turbo = 1;
         p.interval = 1;
         p.separationKindTwo = 1;
         p.inkSaving = 1;
       },
       {{"&51&O", {"&52&O"}}, {"&61&O", {"&62&O"}}, {"&71&O", {"&72&O"}}, {"&91&O", {"&92&O"}}}},
      {"print and hold, job option",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::PrintAndHold;
         p.holdBox = 3;
         p.jobText.jobOption = 1;
       },
       {{"&81&O", {"&83&O"}}, {"&11;0;0;0&O", {"&15;0;0;0&O"}}}},
      {"print and hold", [](RenderPdev& p) { p.outputMode = OutputMode::PrintAndHold; }, {{"&11;0;0;0&O", {"&14;0;0;0&O"}}}},
      {"hold",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::HoldOnly;
         p.holdBox = 6;
       },
       {{"&81&O", {"&86&O"}}, {"&11;0;0;0&O", {"&12;0;0;0&O"}}}},
      {"hold, job option",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::HoldOnly;
         p.jobText.jobOption = 1;
       },
       {{"&11;0;0;0&O", {"&13;0;0;0&O"}}}},
      {"storage folder 4",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::StorageFolder;
         p.storageFolder = 4;
       },
       {{"&81&O", {"&84&O"}}, {"&11;0;0;0&O", {"&16;0;0;0&O"}}}},
      {"storage without a folder",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::StorageFolder;
         p.holdBox = 5;
         p.storageFolder = 0;
       },
       {{"&11;0;0;0&O", {"&16;0;0;0&O"}}}},
      {"storage automatic, job option",
       [](RenderPdev& p) {
         p.outputMode = OutputMode::StorageAutomatic;
         p.jobText.jobOption = 1;
       },
       {{"&81&O", {"&87&O"}}, {"&11;0;0;0&O", {"&17;0;0;0&O"}}}},
      {"duplex kind 1",
       [](RenderPdev& p) { p.duplex = 1; },
       {{"&95;0;0;0&O", {"&96;0;0;0&O"}}, {"&31;0;0;0&O", {"&37;0;0;0&O"}}}},
      {"duplex kind 2",
       [](RenderPdev& p) { p.duplex = 2; },
       {{"&95;0;0;0&O", {"&97;0;0;0&O"}}, {"&31;0;0;0&O", {"&37;0;0;0&O"}}}},
      {"drum 2 light print", [](RenderPdev& p) { p.drum2LightPrint = 1; }, {{"&98;0;0;0&O", {"&99;0;0;0&O"}}}},
      {"two drums, two inks on both",
       [](RenderPdev& p) {
         p.drumCount = 2;
         p.colorMode = 2;
         p.masterSelection = 2;
       },
       {{"&4&D", {"&4;5&D"}}, {"&31;0;0;0&O", {"&33;0;0;0&O"}}}},
      {"two drums, two inks on both, option 2025",
       [](RenderPdev& p) {
         p.drumCount = 2;
         p.colorMode = 2;
         p.masterSelection = 2;
         p.option2025 = 1;
       },
       {{"&4&D", {"&4;5&D"}}, {"&31;0;0;0&O", {"&34;0;0;0&O"}}}},
      {"two inks, drum 1 master only",
       [](RenderPdev& p) {
         p.drumCount = 2;
         p.colorMode = 2;
         p.masterSelection = 0;
       },
       {{"&4&D", {"&4;5&D"}}, {"&31;0;0;0&O", {"&35;0;0;0&O"}}}},
      {"two inks, drum 2 master only",
       [](RenderPdev& p) {
         p.drumCount = 2;
         p.colorMode = 2;
         p.masterSelection = 1;
       },
       {{"&4&D", {"&4;5&D"}}, {"&31;0;0;0&O", {"&36;0;0;0&O"}}}},
      {"two drums, one ink on drum 2",
       [](RenderPdev& p) {
         p.drumCount = 2;
         p.oneInkDrum = 1;
       },
       {{"&4&D", {"&0;5&D"}}, {"&31;0;0;0&O", {"&32;0;0;0&O"}}}},
      {"two drums, one ink on drum 1", [](RenderPdev& p) { p.drumCount = 2; }, {{"&4&D", {"&4;0&D"}}}},
      {"landscape is sent in portrait terms",
       [](RenderPdev& p) {
         p.orientation = 90;
         p.paperWidth = 2970;
         p.paperLength = 2100;
         p.resolutionX = 300;
         p.resolutionY = 600;
       },
       {{"&600;600&r", {"&600;300&r"}}}},
      {"paper rounded up to whole millimetres",
       [](RenderPdev& p) {
         p.paperWidth = 2101;
         p.paperLength = 2979;
       },
       {{"&40;210;297&z", {"&40;211;298&z"}}}},
      {"custom position sends the output paper",
       [](RenderPdev& p) {
         p.customPosition = 1;
         p.outputPaperWidth = 2970;
         p.outputPaperLength = 4200;
       },
       {{"&40;210;297&z", {"&40;297;420&z"}}}},
      {"resolution mode 1", [](RenderPdev& p) { p.resolutionMode = 1; }, {{"&600;600&r", {"&300;400&r"}}}},
      {"resolution mode 2", [](RenderPdev& p) { p.resolutionMode = 2; }, {{"&600;600&r", {"&300;600&r"}}}},
      {"sort and staple",
       [](RenderPdev& p) {
         p.sortMode = 2;
         p.staple = 1;
       },
       {{"&0&Q", {"&2&Q"}}, {"&10&Q", {"&11&Q"}}}},
      {"bin index 3", [](RenderPdev& p) { p.binIndex = 3; }, {{"&9;0;0;0&O", {"&0;0;0;0&O"}}}},
      {"bin index 1", [](RenderPdev& p) { p.binIndex = 1; }, {{"&9;0;0;0&O", {"&2;0;0;0&O"}}}},
      {"bin index 7", [](RenderPdev& p) { p.binIndex = 7; }, {{"&9;0;0;0&O", {"&1;0;0;0&O"}}}},
      {"panel reset", [](RenderPdev& p) { p.panelReset = 1; }, {{"&41;0;0;0&O", {"&42;0;0;0&O"}}}},
      {"language 0", [](RenderPdev& p) { p.languageNumber = 0; }, {{"&1;0;0;0&s", {"&0;0;0;0&s"}}}},
      {"language 31", [](RenderPdev& p) { p.languageNumber = 31; }, {{"&1;0;0;0&s", {"&0;0;0;0&s"}}}},
      {"language 30", [](RenderPdev& p) { p.languageNumber = 30; }, {{"&1;0;0;0&s", {"&30;0;0;0&s"}}}},
      {"raw margins: top, left, bottom",
       [](RenderPdev& p) {
         p.rawMargins[0] = 50;
         p.rawMargins[1] = 60;
         p.rawMargins[2] = 70;
         p.rawMargins[3] = 80;
       },
       {{"&301;0;0;0&s", {"&301;60;50;80&s"}}}},
      {"tape sort 5", [](RenderPdev& p) { p.tapeSort = 5; }, {{"&30;0;0;0&Q", {"&35;0;0;0&Q"}}}},
      {"tape sort 6", [](RenderPdev& p) { p.tapeSort = 6; }, {}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    pdev_ = MakePdev();
    c.set(*pdev_);
    ASSERT_EQ(WriteJobHeader(pdev_.get()), 1);
    const Bytes got = Buffered();
    EXPECT_EQ(got, Expected(c.edits));
    EXPECT_EQ(pdev_->copies, c.copiesAfter);
    const streamdump::Decoded d = streamdump::DecodeStream(got);
    EXPECT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
  }
}

TEST_F(CommandStream, FileRecordKeepsTheNameAfterTheLastFolder) {
  struct Case {
    const char* name;
    std::uint8_t language;
    std::string job;
    std::string file;
  } cases[] = {
      {"folders removed", 1, "D:\\docs\\plan.txt", "plan.txt"},
      {"no folder", 1, "plan.txt", "plan.txt"},
      {"trailing backslash", 1, "D:\\docs\\", ""},
      // 0x95 0x5C is one Shift-JIS character whose trail byte is a backslash.
      {"Shift-JIS trail byte is no separator", 18, "C:\\a\\\x95\x5C.txt", "\x95\x5C.txt"},
      {"the same bytes under a single-byte language", 1, "C:\\a\\\x95\x5C.txt", ".txt"},
      {"GBK lead bytes", 19, "C:\\\xC4\x5C\\\xB1\x5C.doc", "\xB1\x5C.doc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pdev_ = MakePdev();
    pdev_->languageNumber = c.language;
    std::strcpy(pdev_->jobText.jobName, c.job.c_str());
    ASSERT_EQ(WriteJobInfoRecords(pdev_.get()), 1);
    Bytes expected = Record("FILE", c.file);
    Append(expected, Record("TIME", "2026/12/10  9: 5"));
    Append(expected, Record("HOST", "alice"));
    EXPECT_EQ(Buffered(), expected);
    EXPECT_EQ(std::string(pdev_->jobText.jobName), c.file) << "the record keeps the reduced name";
  }
}

TEST_F(CommandStream, AJobNameFillingItsFieldStaysInsideIt) {
  std::memset(pdev_->jobText.jobName, 'a', sizeof pdev_->jobText.jobName);
  ASSERT_EQ(WriteJobInfoRecords(pdev_.get()), 1);
  const Bytes got = Buffered();
  const Bytes expected = Record("FILE", std::string(255, 'a'));
  ASSERT_GE(got.size(), expected.size());
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin()));
}

TEST_F(CommandStream, PlanTxtRecordBytes) {
  std::strcpy(pdev_->jobText.jobName, "D:\\docs\\plan.txt");
  ASSERT_EQ(WriteJobInfoRecords(pdev_.get()), 1);
  const Bytes got = Buffered();
  const std::string head = "\x1E&18&n\x1F" "FILE0008\x1F" "plan.txt";
  ASSERT_GE(got.size(), head.size());
  EXPECT_EQ(std::string(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(head.size())), head);
  const streamdump::Decoded d = streamdump::DecodeStream(got);
  ASSERT_TRUE(d.ok) << d.error;
  EXPECT_EQ(d.text, (std::vector<std::string>{"FILE plan.txt", "TIME 2026/12/10  9: 5", "HOST alice"}));
}

TEST_F(CommandStream, InkCommandsCarryTheTableColourAndLab) {
  struct Case {
    std::int32_t code;
    std::string rgb;  // "&code;R;G;B&O" as sent
    std::string lab;
  } cases[] = {
      {1001, "&1001;0;0;0&O", "&1001;53;-20;35&o"},
      {1003, "&1003;255;48;0&O", "&1003;53;-20;35&o"},
      {1063, "&1063;3;3;3&O", "&1063;53;-20;35&o"},
      {1048, "&1048;160;48;48&O", "&1048;53;-20;35&o"},
      {5, "&1005;160;32;32&O", "&1005;53;-20;35&o"},
      {0, "&1000;1;1;1&O", "&1000;53;-20;35&o"},
      {1200, "&1032;1;1;1&O", "&1032;53;-20;35&o"},
      {64, "&1032;1;1;1&O", "&1032;53;-20;35&o"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    for (int drum = 1; drum <= 2; ++drum) {
      pdev_ = MakePdev();
      std::int32_t* lab = drum == 1 ? pdev_->drum1Lab : pdev_->drum2Lab;
      lab[0] = 53;
      lab[1] = -20;
      lab[2] = 35;
      (drum == 1 ? pdev_->drum1Ink : pdev_->drum2Ink) = static_cast<std::uint16_t>(c.code);
      ASSERT_EQ(drum == 1 ? WriteDrum1Ink(pdev_.get()) : WriteDrum2Ink(pdev_.get()), 1);
      Bytes expected = Cmd(c.rgb);
      Append(expected, Cmd(c.lab));
      EXPECT_EQ(Buffered(), expected);
    }
  }
  const InkColor negative = InkCodeToRgb(-3);
  EXPECT_EQ(negative.code, 1032);
  EXPECT_EQ(InkColorTable[1021 - 1000][0], 208);
  EXPECT_EQ(InkColorTable[1021 - 1000][2], 80);
}

// Every row of the ink colour table, as sent for codes 1000..1063 and 0..63.
TEST(InkColours, EveryCodeSendsItsTableColour) {
  // clang-format off
  const std::uint8_t rows[64][3] = {
      {1, 1, 1}, {0, 0, 0}, {2, 2, 2}, {255, 48, 0}, {0, 80, 208}, {160, 32, 32}, {0, 176, 0}, {255, 255, 0},
      {128, 128, 128}, {208, 208, 208}, {0, 0, 128}, {48, 0, 192}, {224, 0, 48}, {192, 0, 64}, {128, 0, 176},
      {144, 0, 80},                                                                       // 1000..1015
      {0, 128, 128}, {255, 0, 208}, {128, 255, 128}, {255, 144, 0}, {0, 128, 96}, {208, 176, 80}, {255, 80, 96},
      {192, 32, 0}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 1, 1},
      {1, 1, 1},                                                                          // 1016..1031
      {1, 1, 1}, {0, 0, 0}, {0, 0, 255}, {0, 0, 255}, {0, 0, 255}, {0, 0, 255}, {255, 0, 0}, {255, 0, 0},
      {255, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 255, 0}, {0, 255, 0}, {255, 255, 0}, {255, 255, 0},
      {160, 48, 48},                                                                      // 1032..1047
      {160, 48, 48}, {128, 0, 176}, {128, 0, 176}, {128, 128, 128}, {128, 128, 128}, {208, 208, 208},
      {208, 208, 208}, {255, 144, 0}, {255, 144, 0}, {224, 160, 48}, {224, 160, 48}, {160, 160, 144},
      {160, 160, 144}, {255, 0, 255}, {255, 0, 255}, {3, 3, 3},                           // 1048..1063
  };
  // clang-format on
  for (int row = 0; row < 64; ++row) {
    for (const std::int32_t code : {1000 + row, row}) {
      const InkColor ink = InkCodeToRgb(code);
      EXPECT_EQ(ink.code, 1000 + row) << code;
      EXPECT_EQ(ink.rgb[0], rows[row][0]) << code;
      EXPECT_EQ(ink.rgb[1], rows[row][1]) << code;
      EXPECT_EQ(ink.rgb[2], rows[row][2]) << code;
    }
  }
}

// A 100 x 200 grey picture, written inside a drum page.
TEST_F(CommandStream, ThumbnailRecordAndBitmapHeaders) {
  Bytes pixels(100 * 200);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>(i / 100);  // row index
  ASSERT_EQ(WriteDrum1Ink(pdev_.get()), 1);
  const std::size_t before = pdev_->outputFill;
  ASSERT_EQ(WriteThumbnail(pdev_.get(), pixels, 100, 200), 1);
  ASSERT_EQ(WriteFormFeed(pdev_.get()), 1);
  ASSERT_EQ(FlushOutputAll(pdev_.get()), 1);
  const Bytes all = Spooled();
  ASSERT_EQ(all.size(), before + 9 + 12 + 1078 + 20000 + 1);
  const Bytes got(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());

  Bytes expected = Cmd("&21090&n");
  expected.push_back(0x1F);
  Append(expected, Text("THUM021078"));
  expected.push_back(0x1F);
  const std::uint8_t fileHeader[14] = {'B', 'M', 0x56, 0x52, 0x00, 0x00, 0, 0, 0, 0, 0x36, 0x04, 0x00, 0x00};
  const std::uint8_t infoHeader[40] = {40, 0, 0, 0, 100, 0, 0, 0, 200, 0, 0, 0, 1, 0, 8, 0, 0, 0, 0, 0,
                                       0x20, 0x4E, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  expected.insert(expected.end(), std::begin(fileHeader), std::end(fileHeader));
  expected.insert(expected.end(), std::begin(infoHeader), std::end(infoHeader));
  for (int i = 0; i < 256; ++i) Append(expected, {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
  Append(expected, pixels);
  expected.push_back(0x0C);
  EXPECT_EQ(got, expected);

  const streamdump::Decoded d = streamdump::DecodeStream(all);
  ASSERT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
  ASSERT_EQ(d.pages.size(), 1u);
  ASSERT_EQ(d.pages[0].thumbnails.size(), 1u);
  EXPECT_EQ(d.text[2], "THUM 100x200");
  // The decoder turns the rows top first again: the last stored row is the top.
  EXPECT_EQ(d.pages[0].thumbnails[0].pixels[0], 199);

  EXPECT_EQ(WriteThumbnail(pdev_.get(), Bytes(102 * 2), 102, 2), 0) << "width not a multiple of 4";
  EXPECT_EQ(WriteThumbnail(pdev_.get(), Bytes(256 * 252), 256, 252), 0) << "record length beyond 16 bits";
  EXPECT_EQ(WriteThumbnail(pdev_.get(), Bytes(10), 100, 200), 0) << "fewer pixels than the size says";
}

TEST_F(CommandStream, LinePositions) {
  struct Case {
    const char* name;
    std::function<void(RenderPdev&)> set;
    std::int32_t line;
    std::string v, h;
  } cases[] = {
      {"margins at 600 dpi", [](RenderPdev& p) { p.marginTop = 40; p.marginLeft = 50; }, 1, "&96&V", "&119&H"},
      {"resolution mode 2 places at 300 dpi",
       [](RenderPdev& p) {
         p.resolutionMode = 2;
         p.marginTop = 40;
         p.marginLeft = 50;
       },
       7, "&102&V", "&60&H"},
      {"custom position, no duplex",
       [](RenderPdev& p) {
         p.customPosition = 1;
         p.frontX = 100;
         p.frontY = 10;
         p.marginTop = 500;
       },
       3, "&27&V", "&237&H"},
      {"custom position, duplex, even sheet is the front",
       [](RenderPdev& p) {
         p.customPosition = 1;
         p.duplex = 1;
         p.frontX = 100;
         p.frontY = -10;
         p.backX = 20;
         p.backY = 10;
         p.sheetCounter = 2;
       },
       3, "&3&V", "&237&H"},
      {"custom position, duplex, odd sheet is the back",
       [](RenderPdev& p) {
         p.customPosition = 1;
         p.duplex = 2;
         p.frontX = 100;
         p.frontY = -10;
         p.backX = 20;
         p.backY = 10;
         p.sheetCounter = 3;
       },
       3, "&27&V", "&48&H"},
      {"the largest position is a value like any other", [](RenderPdev&) {}, 65535, "&65535&V", "&0&H"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    pdev_ = MakePdev();
    c.set(*pdev_);
    ASSERT_EQ(WriteLinePosition(pdev_.get(), c.line), 1);
    Bytes expected = Cmd(c.v);
    Append(expected, Cmd(c.h));
    EXPECT_EQ(Buffered(), expected);
  }
  pdev_ = MakePdev();
  pdev_->marginTop = 10;
  EXPECT_EQ(WriteLinePosition(pdev_.get(), 65535), 0) << "a position beyond 16 bits is not sent wrapped";
  EXPECT_EQ(pdev_->outputFill, 0);
}

TEST_F(CommandStream, CompressionModeIsRemembered) {
  pdev_->compressionMode = 0;
  ASSERT_EQ(WriteCompressionMode(pdev_.get(), 1), 1);
  EXPECT_EQ(pdev_->compressionMode, 1);
  EXPECT_EQ(Buffered(), Cmd("&1&M"));
}

// A formatted command that fits by its format's length but not by its
// formatted length is sent whole.
TEST_F(CommandStream, FormattedCommandsAreNeverCutAtTheBufferEnd) {
  for (std::size_t fill = kOutputBufferSize - 20; fill <= kOutputBufferSize; ++fill) {
    SCOPED_TRACE(fill);
    ClearOutput();
    pdev_ = MakePdev();
    const Bytes prefix(fill, 0x41);
    ASSERT_EQ(PutRawBytes(pdev_.get(), prefix), 1);
    const CommandText format{"\x1E&%d;%d&r", 9};
    ASSERT_EQ(PutCommand2(pdev_.get(), format, 65535, 65535), 1);
    ASSERT_EQ(FlushOutputAll(pdev_.get()), 1);
    Bytes expected = prefix;
    Append(expected, Cmd("&65535;65535&r"));
    EXPECT_EQ(Spooled(), expected);
  }
  const CommandText empty{"\x1E&%d&C", 0};
  EXPECT_EQ(PutCommand2(pdev_.get(), empty, 1, 0), 0);
  EXPECT_EQ(PutRawBytes(pdev_.get(), {}), 0);
}

// Lines from a plane drawn at random: the job written through the writers.
struct TestPlane {
  std::uint32_t width, height, stride;
  Bytes bits;  // ink = 1
};

TestPlane RandomPlane(std::uint32_t width, std::uint32_t height, std::uint32_t seed) {
  TestPlane p{width, height, (width + 7) / 8, {}};
  p.bits.assign(std::size_t(p.stride) * height, 0);
  std::mt19937 rng(seed);
  for (std::uint32_t y = 0; y < height; ++y) {
    if (rng() % 5 == 0) continue;  // blank rows are not sent
    for (std::uint32_t x = 0; x < width; ++x) {
      const bool ink = (x / 16 + y / 8) % 3 == 0 ? rng() % 2 == 0 : rng() % 9 == 0;
      if (ink) p.bits[std::size_t(y) * p.stride + x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
  }
  return p;
}

// One drum page of a plane, as the sheet emitter sends it.
void WritePage(RenderPdev* pdev, int drum, const TestPlane& plane) {
  ASSERT_EQ(drum == 1 ? WriteDrum1Ink(pdev) : WriteDrum2Ink(pdev), 1);
  pdev->compressionMode = 0;
  Bytes packed(PackBitsBound(plane.stride));
  for (std::uint32_t y = 0; y < plane.height; ++y) {
    std::int16_t mode = pdev->compressionMode;
    const std::size_t n = PackBitsLine(
        std::span<const std::uint8_t>(plane.bits.data() + std::size_t(y) * plane.stride, plane.stride), packed, mode);
    if (n == 0) continue;
    if (mode != pdev->compressionMode) {
      ASSERT_EQ(WriteCompressionMode(pdev, mode), 1);
    }
    ASSERT_EQ(WriteLinePosition(pdev, static_cast<std::int32_t>(y + 1)), 1);
    ASSERT_EQ(WriteRasterLine(pdev, std::span<const std::uint8_t>(packed.data(), n)), 1);
  }
  ASSERT_EQ(WriteFormFeed(pdev), 1);
}

void WriteJob(RenderPdev* pdev, const TestPlane& one, const TestPlane& two) {
  ASSERT_EQ(WriteJobHeader(pdev), 1);
  WritePage(pdev, 1, one);
  WritePage(pdev, 2, two);
  ASSERT_EQ(WriteJobEnd(pdev), 1);
  ASSERT_EQ(FlushOutputAll(pdev), 1);
}

TEST_F(CommandStream, AJobDecodesBackToItsPlanes) {
  pdev_->marginLeft = 50;  // 119 dots: lines start inside a byte
  pdev_->paperWidth = 300;
  pdev_->paperLength = 200;
  const TestPlane one = RandomPlane(500, 300, 1);
  const TestPlane two = RandomPlane(650, 420, 2);
  WriteJob(pdev_.get(), one, two);
  const Bytes stream = Spooled();
  const streamdump::Decoded d = streamdump::DecodeStream(stream);
  ASSERT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
  EXPECT_TRUE(d.jobEnded);
  ASSERT_EQ(d.pages.size(), 2u);
  EXPECT_EQ(d.pages[0].inkCode, 1001);
  EXPECT_EQ(d.pages[1].inkCode, 1003);
  const TestPlane* planes[2] = {&one, &two};
  for (int k = 0; k < 2; ++k) {
    const streamdump::Plane back = streamdump::RebuildPlane(d, d.pages[k]);
    const TestPlane& p = *planes[k];
    std::size_t mismatches = 0;
    for (std::uint32_t y = 0; y < back.height; ++y) {
      for (std::uint32_t x = 0; x < back.width; ++x) {
        const bool drawn = y < p.height && x >= 119 && x - 119 < p.width &&
                           (p.bits[std::size_t(y) * p.stride + (x - 119) / 8] & (0x80u >> ((x - 119) % 8)));
        if (back.Ink(x, y) != drawn) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0u) << "page " << k + 1;
  }
}

// The bytes sent do not depend on where the flushes fall or on how much the
// sink takes per call.
TEST_F(CommandStream, StreamIsTheSameWhateverTheFlushBoundariesAndShortWrites) {
  const TestPlane one = RandomPlane(2000, 120, 3);
  const TestPlane two = RandomPlane(1500, 90, 4);
  WriteJob(pdev_.get(), one, two);
  const Bytes reference = Spooled();
  ASSERT_GT(reference.size(), 3 * kOutputBufferSize);

  struct Case {
    std::size_t prefix;
    DWORD maxPerCall;
  } cases[] = {{0, 1}, {1, 7}, {13, 255}, {254, 4096}, {3000, 8190}, {8190, 0}, {5, 0}, {77, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "prefix " << c.prefix << " max per call " << c.maxPerCall);
    ClearOutput();
    sink_.maxPerCall = c.maxPerCall;
    pdev_ = MakePdev();
    const Bytes prefix(c.prefix, 0x5A);  // moves every later flush boundary
    if (c.prefix) {
      ASSERT_EQ(PutRawBytes(pdev_.get(), prefix), 1);
    }
    WriteJob(pdev_.get(), one, two);
    Bytes expected = prefix;
    Append(expected, reference);
    EXPECT_TRUE(Spooled() == expected);
  }
}

// Raw items larger than the buffer, and raster counts or record lengths of
// 65535, go out whole and in order.
TEST_F(CommandStream, LargeRawItemsAndTheLargestCountsPassThrough) {
  // A literal-only line of exactly 65535 bytes: 508 literals of 128 bytes, then one of 2.
  Bytes line;
  for (int k = 0; k < 508; ++k) {
    line.push_back(127);
    for (int b = 0; b < 128; ++b) line.push_back(static_cast<std::uint8_t>(b * 2 + 1));
  }
  Append(line, {1, 0x55, 0xAA});
  ASSERT_EQ(line.size(), 65535u);

  ASSERT_EQ(WriteDrum1Ink(pdev_.get()), 1);
  ASSERT_EQ(WriteCompressionMode(pdev_.get(), 1), 1);
  ASSERT_EQ(WriteLinePosition(pdev_.get(), 65535), 1);
  ASSERT_EQ(WriteRasterLine(pdev_.get(), line), 1);
  Bytes thumb(100 * 200, 0x33);
  ASSERT_EQ(WriteThumbnail(pdev_.get(), thumb, 100, 200), 1);
  ASSERT_EQ(WriteFormFeed(pdev_.get()), 1);
  ASSERT_EQ(FlushOutputAll(pdev_.get()), 1);
  const Bytes stream = Spooled();
  const streamdump::Decoded d = streamdump::DecodeStream(stream);
  ASSERT_TRUE(d.ok) << d.error << " at " << d.errorOffset;
  ASSERT_EQ(d.pages.size(), 1u);
  ASSERT_EQ(d.pages[0].lines.size(), 1u);
  EXPECT_EQ(d.pages[0].lines[0].v, 65535u);
  EXPECT_EQ(d.pages[0].lines[0].packedBytes, 65535u);
  EXPECT_EQ(d.text[3], "line V=65535 H=0 bytes=65535");
  EXPECT_EQ(d.text[4], "THUM 100x200");
  EXPECT_EQ(WriteRasterLine(pdev_.get(), Bytes(65536, 1)), 0) << "a count beyond 16 bits is refused";
}

TEST_F(CommandStream, AFailedSinkFailsTheJobAndNothingMoreIsSent) {
  struct Case {
    const char* name;
    std::size_t failAfter;
    bool claimMore;
  } cases[] = {
      {"the first call fails", 0, false},
      {"the sink stops taking bytes mid-job", 10000, false},
      {"the sink claims more than it was given", SIZE_MAX, true},
  };
  const TestPlane one = RandomPlane(2000, 120, 5);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearOutput();
    sink_.failAfter = c.failAfter;
    sink_.claimMore = c.claimMore;
    pdev_ = MakePdev();
    int ok = WriteJobHeader(pdev_.get());
    for (std::uint32_t y = 0; ok && y < 200; ++y) ok = WriteRasterLine(pdev_.get(), one.bits);
    ok = ok && FlushOutputAll(pdev_.get());
    EXPECT_EQ(ok, 0);
    EXPECT_NE(pdev_->jobFailed, 0u) << "the record remembers the failure";
    sink_.failAfter = SIZE_MAX;
    sink_.claimMore = false;
    const std::size_t sent = Spooled().size();
    const std::size_t calls = sink_.calls;
    EXPECT_EQ(FlushOutputAll(pdev_.get()), 0);
    ASSERT_EQ(PutRawBytes(pdev_.get(), Bytes(9000, 0x0C)), 0);
    EXPECT_EQ(FlushOutputAll(pdev_.get()), 0);
    EXPECT_EQ(Spooled().size(), sent) << "a failed job sends nothing more";
    EXPECT_EQ(sink_.calls, calls) << "nor asks its sink";
  }
  pdev_ = MakePdev();
  pdev_->sink = OutputSink{};
  ASSERT_EQ(WriteFormFeed(pdev_.get()), 1);
  EXPECT_EQ(FlushOutputAll(pdev_.get()), 0) << "a record without a sink writes nothing";
  EXPECT_NE(pdev_->jobFailed, 0u);
}

TEST_F(CommandStream, NoBufferWritesNothing) {
  FreeOutputBuffer(pdev_.get());
  EXPECT_EQ(WriteJobHeader(pdev_.get()), 0);
  EXPECT_EQ(WriteFormFeed(pdev_.get()), 0);
  EXPECT_EQ(FlushOutputAll(pdev_.get()), 0);
  EXPECT_EQ(FlushOutputAll(nullptr), 0);
}

// Preview and storage jobs go to the job file: the same bytes, through short
// writes; a file that is not open fails the job.
TEST_F(CommandStream, FileSinkWritesTheSameStream) {
  const TestPlane one = RandomPlane(2000, 120, 6);
  const TestPlane two = RandomPlane(700, 50, 7);
  WriteJob(pdev_.get(), one, two);
  const Bytes reference = Spooled();
  ClearOutput();

  pdev_ = MakePdev();
  pdev_->preview = 1;
  pdev_->jobId = 12;
  pdev_->sink = JobFileSink(pdev_.get());
  ASSERT_EQ(CreateSpoolTempFile(pdev_.get()), 1);
  ASSERT_EQ(ResumeOutput(pdev_.get()), 1);
  plat::files::WriteFault shortWrites;
  shortWrites.shortBytes = 333;
  shortWrites.count = 5;
  plat::files::InjectWriteFault(shortWrites);
  WriteJob(pdev_.get(), one, two);
  EXPECT_EQ(PauseOutput(pdev_.get(), TRUE), 1);
  std::ifstream in(plat::machine::HostPath(pdev_->jobFilePath), std::ios::binary);
  const Bytes written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(written == reference);
  EXPECT_TRUE(Spooled().empty());

  pdev_ = MakePdev();
  pdev_->outputMode = OutputMode::StorageAutomatic;
  pdev_->sink = JobFileSink(pdev_.get());
  ASSERT_EQ(WriteFormFeed(pdev_.get()), 1);
  EXPECT_EQ(FlushOutputAll(pdev_.get()), 0) << "no job file";
  EXPECT_NE(pdev_->jobFailed, 0u);
  EXPECT_EQ(FlushOutputAll(pdev_.get()), 0);
}

}  // namespace
