// printjob end to end: a job through classicui and classicrender loaded by
// path, its options, its output file and its per-sheet summary; preview and
// storage jobs and their job files.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"
#include "support/peer.h"
#include "support/run_command.h"
#include "support/temp_folder.h"
#include "tools/job_run.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PRINTJOB_TEST_UNDER_ASAN 1
#endif
#endif
#ifndef PRINTJOB_TEST_UNDER_ASAN
#define PRINTJOB_TEST_UNDER_ASAN 0
#endif

namespace fs = std::filesystem;

namespace {

using Outcome = tooltest::JobRun;

class PrintJob : public ::testing::Test {
 protected:
  Outcome Start(const std::string& args) { return tooltest::RunPrintJob(dir, args); }

  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  static bool Holds(const std::vector<unsigned char>& job, const std::string& bytes) {
    return std::search(job.begin(), job.end(), bytes.begin(), bytes.end()) != job.end();
  }
  static std::vector<unsigned char> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static streamdump::Decoded Decode(const std::vector<unsigned char>& bytes) {
    return streamdump::DecodeStream(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  }
  static bool HasCommand(const streamdump::Decoded& job, const std::string& text) {
    return std::any_of(job.commands.begin(), job.commands.end(),
                       [&](const streamdump::Command& c) { return c.text == text; });
  }

  // The dots of the first drum page of a job drawing commands with the
  // settings in sets, ink true, row by row; none without a page.
  std::vector<bool> FirstDrumPageInk(const std::string& sets, const std::string& commands) {
    const tooltest::DrawnJob drawn = tooltest::DrawJob(dir, sets, commands);
    if (drawn.pages.empty()) return {};
    const streamdump::Plane& plane = drawn.pages[0];
    std::vector<bool> ink;
    for (std::uint32_t y = 0; y < plane.height; ++y)
      for (std::uint32_t x = 0; x < plane.width; ++x) ink.push_back(plane.Ink(x, y));
    return ink;
  }

  testsupport::TempFolder folder_{"printjob"};
  const fs::path dir = folder_.path();
};

TEST_F(PrintJob, DefaultModelPrintsOneSheetPerPage) {
  Outcome r = Start("--pages 2");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 2) << r.out;
  ASSERT_GE(r.job.size(), 4u);
  EXPECT_EQ(r.job[0], 0x1E);
  EXPECT_EQ(r.job[1], 'R');
  EXPECT_EQ(r.job[r.job.size() - 2], 0x1E);
  EXPECT_EQ(r.job.back(), 'R');
  EXPECT_NE(r.out.find(std::to_string(r.job.size()) + " bytes"), std::string::npos) << r.out;
}

// The job is kept where a spooler keeps it, in its spool file, and copied to
// the output file; the summary reads that file in pieces: the peak stays
// flat, whatever the length of the stream.
TEST_F(PrintJob, MemoryStaysFlatAsTheJobGrows) {
#if defined(__SANITIZE_ADDRESS__) || PRINTJOB_TEST_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's quarantine keeps freed pages";
#else
  auto peak = [&](int pages, std::uintmax_t& size) {
    const fs::path out = dir / ("job" + std::to_string(pages) + ".prn");
    const std::string root = (dir / ("root" + std::to_string(pages))).string();
    const std::string count = std::to_string(pages);
    const pid_t child = fork();
    if (child == 0) {
      if (!freopen("/dev/null", "w", stdout)) _exit(126);
      execl(BIN_DIR_STR "/printjob", "printjob", "--root", root.c_str(), "--out", out.c_str(), "--pages",
            count.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    struct rusage usage{};
    EXPECT_EQ(wait4(child, &status, 0, &usage), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::error_code ec;
    size = fs::file_size(out, ec);
    return static_cast<std::uintmax_t>(usage.ru_maxrss) * 1024;
  };
  std::uintmax_t shortSize = 0, longSize = 0;
  const std::uintmax_t shortPeak = peak(2, shortSize);
  const std::uintmax_t longPeak = peak(40, longSize);
  ASSERT_GT(longSize, shortSize + (4u << 20));
  const std::uintmax_t growth = longPeak > shortPeak ? longPeak - shortPeak : 0;
  EXPECT_LT(growth, std::uintmax_t{4} << 20)
      << "peak " << shortPeak << " -> " << longPeak << " bytes for jobs of " << shortSize << " and " << longSize;
#endif
}

TEST_F(PrintJob, OptionsReachTheStream) {
  Outcome r = Start("--pages 1 --copies 5 --paper 5 --orientation landscape");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Holds(r.job, "\x1e&5&C"));
  // Legal (8.5 x 14 in = 2159 x 3556 in 0.1 mm) in portrait millimetres, rounded up.
  EXPECT_TRUE(Holds(r.job, "\x1e&40;216;356&z"));
}

TEST_F(PrintJob, SetChangesDocumentSettingsByName) {
  Outcome r = Start("--pages 1 --set ColorMode=2 --set Seihan=2 --set SeparationModeA=2 --set SeparationModeB=2");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 1);
  EXPECT_EQ(Count(r.out, " | ink "), 1) << r.out;  // two drum pages on the sheet
}

// A job of no pages is no job: the command line is wrong, and nothing is written.
TEST_F(PrintJob, NoPagesIsAUsageError) {
  Outcome r = Start("--pages 0");
  EXPECT_EQ(r.exitCode, 2) << r.out;
  EXPECT_FALSE(r.jobWritten);
  EXPECT_NE(r.out.find("printjob: --pages takes 1..9999"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("usage: printjob"), std::string::npos) << r.out;
}

// A storage job lands as a numbered job file in its folder of the drive's
// job-folder tree, which printjob creates on a drive that has none.
TEST_F(PrintJob, StorageJobWritesTheNumberedJobFile) {
  struct Case {
    const char* args;
    const char* windowsPath;  // as printed
    const char* hostPath;     // under the machine root
    const char* destination;  // the output-mode command of the job header
  };
  const Case cases[] = {
      {"--storage E --pages 2", R"(E:\OSTRA\USB\1_FOLDER\JOB000000001.PRN)", "E/OSTRA/USB/1_FOLDER/JOB000000001.PRN",
       "&81&O"},
      {"--storage F --set UsbFolder=4 --pages 2", R"(F:\OSTRA\USB\4_FOLDER\JOB000000001.PRN)",
       "F/OSTRA/USB/4_FOLDER/JOB000000001.PRN", "&84&O"},
      {"--drive G=removable:FAT:STICK --set OutputMode=4 --pages 2", R"(G:\OSTRA\USB\X_AUTO\JOB000000001.PRN)",
       "G/OSTRA/USB/X_AUTO/JOB000000001.PRN", "&87&O"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir / "root");
    Outcome r = Start(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_FALSE(r.jobWritten) << "the spooler received nothing: --out is not written";
    EXPECT_NE(r.out.find("the spooler receives nothing"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.windowsPath), std::string::npos) << r.out;
    const fs::path file = dir / "root" / c.hostPath;
    EXPECT_NE(r.out.find(file.string()), std::string::npos) << r.out;

    streamdump::Decoded job = Decode(Read(file));
    ASSERT_TRUE(job.ok) << job.error << " at " << job.errorOffset;
    EXPECT_TRUE(job.jobEnded);
    EXPECT_EQ(job.pages.size(), 2u);
    EXPECT_TRUE(HasCommand(job, c.destination));

    // The tree the sheets would have made: the counter has moved on to 2.
    const fs::path control = file.parent_path().parent_path() / "X_TMP";
    EXPECT_EQ(fs::file_size(control / "NEVOFOLDER"), 2048u);
    std::vector<unsigned char> counter = Read(control / "NEVOJOB");
    ASSERT_EQ(counter.size(), 512u);
    EXPECT_EQ(counter[0], 2);
    EXPECT_EQ(std::count(counter.begin() + 1, counter.end(), 0), 511);
  }
}

TEST_F(PrintJob, SecondStorageJobTakesTheNextNumberInTheSameTree) {
  ASSERT_EQ(Start("--storage E").exitCode, 0);
  Outcome r = Start("--storage E");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const fs::path folder = dir / "root" / "E" / "OSTRA" / "USB" / "1_FOLDER";
  EXPECT_TRUE(fs::exists(folder / "JOB000000001.PRN"));
  EXPECT_TRUE(fs::exists(folder / "JOB000000002.PRN"));
  EXPECT_NE(r.out.find(R"(E:\OSTRA\USB\1_FOLDER\JOB000000002.PRN)"), std::string::npos) << r.out;
}

// The job file holds the sheets a spooler job gets.
TEST_F(PrintJob, StorageJobFileCarriesTheSpoolersSheets) {
  Outcome spooled = Start("--pages 2");
  ASSERT_EQ(spooled.exitCode, 0) << spooled.out;
  Outcome stored = Start("--pages 2 --storage E");
  ASSERT_EQ(stored.exitCode, 0) << stored.out;
  streamdump::Decoded a = Decode(spooled.job);
  streamdump::Decoded b = Decode(Read(dir / "root" / "E" / "OSTRA" / "USB" / "1_FOLDER" / "JOB000000001.PRN"));
  ASSERT_TRUE(a.ok && b.ok);
  ASSERT_EQ(a.pages.size(), b.pages.size());
  for (std::size_t p = 0; p < a.pages.size(); ++p) {
    EXPECT_EQ(a.pages[p].inkCode, b.pages[p].inkCode) << p;
    ASSERT_EQ(a.pages[p].lines.size(), b.pages[p].lines.size()) << p;
    for (std::size_t l = 0; l < a.pages[p].lines.size(); ++l) {
      EXPECT_EQ(a.pages[p].lines[l].v, b.pages[p].lines[l].v);
      EXPECT_EQ(a.pages[p].lines[l].bytes, b.pages[p].lines[l].bytes);
    }
  }
}

TEST_F(PrintJob, PreviewJobWritesTheSpoolTempFile) {
  Outcome r = Start("--preview --pages 3");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_FALSE(r.jobWritten);
  // The driver's name doubles the backslash that ends the temporary folder;
  // the path shown is the one a user writes.
  EXPECT_NE(r.out.find(R"(preview job file C:\TEMP\RV0001.PRN)"), std::string::npos) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 3) << r.out;
  streamdump::Decoded job = Decode(Read(dir / "root" / "C" / "TEMP" / "RV0001.PRN"));
  ASSERT_TRUE(job.ok) << job.error;
  EXPECT_TRUE(job.jobEnded);
  EXPECT_EQ(job.pages.size(), 3u);
}

// A model file the reader refuses: the message names the key and its line.
TEST_F(PrintJob, AModelThatDoesNotLoadSaysWhichKeyAndLine) {
  std::ifstream sample(MODELS_DIR_STR "/NEVO2600.RDF", std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(sample)), std::istreambuf_iterator<char>());
  const std::size_t at = text.find("\nDrumCount=");
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = text.find('\n', at + 1);
  text.replace(at + 1, end - at - 1, "DrumCount=4294967297");
  const long line = 2 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n');
  const fs::path model = dir / "NEVO2600.RDF";
  std::ofstream(model, std::ios::binary) << text;
  Outcome r = Start("--model '" + model.string() + "'");
  EXPECT_NE(r.exitCode, 0);
  EXPECT_FALSE(r.jobWritten);
  EXPECT_NE(r.out.find("\"DrumCount\" in [NEVO RP2600], line " + std::to_string(line) +
                       ": a number that does not fit its field"),
            std::string::npos)
      << r.out;
}

TEST_F(PrintJob, BadOptionsFailWithoutAJobFile) {
  const char* cases[] = {"--set Bogus=1",
                         "--set ColorMode=256",
                         "--set ColorMode=x",
                         "--pages -1",
                         "--orientation sideways",
                         "--paper 0",
                         "--paper 10x",
                         "--frobnicate",
                         "--set OutputMode=3",  // no removable FAT drive
                         "--storage C",
                         "--storage EE",
                         "--drive E=floppy:FAT32",
                         "--drive E=removable",
                         "--drive C=removable:FAT32",
                         "--drive E=removable:NTFS --storage E",
                         "--storage E --set 'UsbDrive=F:\\'",  // F: is not a drive of the machine
                         "--storage",
                         "--pages 0",
                         "--printer-set Bogus=1",
                         "--printer-set ResolutionIndex"};
  for (const char* args : cases) {
    Outcome r = Start(args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.out;
    EXPECT_FALSE(r.jobWritten) << args;
    EXPECT_NE(r.out.find("printjob: "), std::string::npos) << args;
  }
}

// Drawing scripts: every page drawn through the driver's entries, colours
// routed to their drums.
TEST_F(PrintJob, DrawScriptReachesBothDrums) {
  std::ofstream(dir / "page.txt") << "# two inks, separation mode 6\n"
                                     "paint 000000 13 10 10 110 110\n"
                                     "paint FF0000 13 200 10 250 50   # red\n"
                                     "line 000000 13 0 200 99 200\n"
                                     "clip 300 300 340 340\n"
                                     "fill FF0000 winding 250 250 400 250 400 400 250 400\n"
                                     "clip none\n"
                                     "stroke 0:dash 0000FF 10 500 400 500\n"
                                     "bezier 4:solid:flat:miter 000000 10 600 100 550 200 650 300 600\n";
  Outcome r = Start("--pages 2 --set ColorMode=2 --set Seihan=2 --set SeparationModeA=6 --set SeparationModeB=6 "
                    "--draw '" + (dir / "page.txt").string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  streamdump::Decoded job = Decode(r.job);
  ASSERT_TRUE(job.ok) << job.error;
  ASSERT_EQ(job.pages.size(), 4u) << "two drum pages a sheet";
  std::vector<long> counts;
  for (const auto& page : job.pages) {
    const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
    long n = 0;
    for (std::uint32_t y = 0; y < plane.height; ++y)
      for (std::uint32_t x = 0; x < plane.width; ++x) n += plane.Ink(x, y);
    counts.push_back(n);
  }
  EXPECT_EQ(counts[0], counts[2]) << "every page drawn alike";
  EXPECT_EQ(counts[1], counts[3]);
  // Red (2000 dots and the clipped 40 x 40 fill) on one drum; black (10000,
  // the line's 101 dots and the curve) and the dashed blue line on the other.
  const long red = std::min(counts[0], counts[1]), black = std::max(counts[0], counts[1]);
  EXPECT_EQ(red, 2000 + 1600);
  EXPECT_GT(black, 10000 + 101 + 300);
}

// The built-in test page goes through the drawing entries: on one ink every
// colour lands on the one drum page; on two inks both drum pages carry ink.
TEST_F(PrintJob, TestPageIsDrawnOnOneAndTwoDrums) {
  struct Case {
    const char* args;
    std::size_t drumPages;
  } cases[] = {{"", 1}, {"--set ColorMode=2 --set Seihan=2", 2}};
  for (const Case& c : cases) {
    Outcome r = Start(c.args);
    ASSERT_EQ(r.exitCode, 0) << c.args << "\n" << r.out;
    streamdump::Decoded job = Decode(r.job);
    ASSERT_TRUE(job.ok) << job.error;
    ASSERT_EQ(job.pages.size(), c.drumPages) << c.args;
    for (const auto& page : job.pages) {
      const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
      long ink = 0;
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
      EXPECT_GT(ink, 10000) << c.args;
      EXPECT_LT(ink, static_cast<long>(plane.width) * plane.height / 2) << c.args;
    }
  }
}

// --paint-as-blt hands regions to DrvBitBlt with the brush, as a device
// surface does; the classic driver draws copied regions as its DrvPaint does:
// the same drum pages, on one ink and on two, for a script and the test page.
TEST_F(PrintJob, PaintAsBltDrawsWhatPaintDraws) {
  std::ofstream(dir / "page.txt") << "paint 000000 13 10 10 110 110\n"
                                     "paint FF0000 13 200 10 250 50\n"
                                     "clip 300 300 340 340\n"
                                     "fill FF0000 winding 250 250 400 250 400 400 250 400\n";
  const std::string script = "--draw '" + (dir / "page.txt").string() + "'";
  for (const std::string& args : {script, "--set ColorMode=2 --set Seihan=2 " + script, std::string()}) {
    std::vector<std::vector<bool>> planes[2];
    for (int asBlt = 0; asBlt < 2; ++asBlt) {
      Outcome r = Start(args + (asBlt ? " --paint-as-blt" : ""));
      ASSERT_EQ(r.exitCode, 0) << args << "\n" << r.out;
      streamdump::Decoded job = Decode(r.job);
      ASSERT_TRUE(job.ok) << job.error;
      for (const auto& page : job.pages) {
        const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
        std::vector<bool> bits;
        for (std::uint32_t y = 0; y < plane.height; ++y)
          for (std::uint32_t x = 0; x < plane.width; ++x) bits.push_back(plane.Ink(x, y));
        planes[asBlt].push_back(std::move(bits));
      }
    }
    ASSERT_FALSE(planes[0].empty()) << args;
    EXPECT_TRUE(planes[0] == planes[1]) << args;
  }
}

// Pattern blits, picture blits with and without a brush, stretches (one
// mirrored) and text of a drawing script, each where the script put it.
TEST_F(PrintJob, DrawScriptBlitsStretchesAndText) {
  {
    std::ofstream pbm(dir / "p.pbm", std::ios::binary);
    pbm << "P4\n# four black columns\n16 8\n";
    for (int y = 0; y < 8; ++y) pbm << static_cast<char>(0xF0) << static_cast<char>(0x00);
  }
  const std::string pbm = (dir / "p.pbm").string();
  std::ofstream(dir / "page.txt") << "patblt 000000 F0 100 100 140 120\n"
                                     "patblt 000000 55 120 100 160 120\n"
                                     "blit " + pbm + " CC 200 100\n"
                                     "blit " + pbm + " 0x33 300 100\n"
                                     "blit " + pbm + " B8 400 100 000000\n"
                                     "stretch " + pbm + " 500 100 532 116\n"
                                     "stretch " + pbm + " 632 200 600 216\n"
                                     "text 40 000000 100 300 Hi # all of it\n";
  Outcome r = Start("--draw '" + (dir / "page.txt").string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  streamdump::Decoded job = Decode(r.job);
  ASSERT_TRUE(job.ok) << job.error;
  ASSERT_EQ(job.pages.size(), 1u);
  const streamdump::Plane plane = streamdump::RebuildPlane(job, job.pages[0]);
  // The plane starts at the printable area: the first block's corner, the
  // page's top-left ink, gives the offset.
  std::uint32_t dx = plane.width, dy = plane.height;
  for (std::uint32_t y = 0; y < plane.height; ++y)
    for (std::uint32_t x = 0; x < plane.width; ++x)
      if (plane.Ink(x, y)) dx = std::min(dx, x), dy = std::min(dy, y);
  ASSERT_GE(dx, 100u);
  ASSERT_GE(dy, 100u);
  dx -= 100, dy -= 100;
  auto count = [&](std::uint32_t l, std::uint32_t t, std::uint32_t r, std::uint32_t b) {
    long n = 0;
    for (std::uint32_t y = t + dy; y < b + dy && y < plane.height; ++y)
      for (std::uint32_t x = l + dx; x < r + dx && x < plane.width; ++x) n += plane.Ink(x, y);
    return n;
  };
  EXPECT_EQ(count(100, 100, 120, 120), 400);
  EXPECT_EQ(count(120, 100, 140, 120), 0) << "inverted back to white";
  EXPECT_EQ(count(140, 100, 160, 120), 400);
  EXPECT_EQ(count(200, 100, 204, 108), 32) << "PBM black is ink";
  EXPECT_EQ(count(204, 100, 216, 108), 0);
  EXPECT_EQ(count(300, 100, 304, 108), 0) << "NOTSRCCOPY";
  EXPECT_EQ(count(304, 100, 316, 108), 96);
  EXPECT_EQ(count(400, 100, 404, 108), 32) << "B8 takes the brush under black source";
  EXPECT_EQ(count(404, 100, 416, 108), 0) << "and keeps the destination under white";
  EXPECT_EQ(count(500, 100, 508, 116), 128) << "stretched twice";
  EXPECT_EQ(count(508, 100, 532, 116), 0);
  EXPECT_EQ(count(624, 200, 632, 216), 128) << "mirrored: the black columns at the right";
  EXPECT_EQ(count(600, 200, 624, 216), 0);
  const long text = count(95, 250, 700, 320);  // "Hi # all of it"
  EXPECT_GT(text, 500) << "text inked";
  EXPECT_EQ(count(0, 0, plane.width - dx, plane.height - dy), 400 + 400 + 32 + 96 + 32 + 128 + 128 + text);
}

TEST_F(PrintJob, BadDrawScriptLinesExitTwoNamingThem) {
  std::ofstream(dir / "short.pbm", std::ios::binary) << "P4\n16 8\n\xF0\x00";
  std::ofstream(dir / "huge.pbm", std::ios::binary) << "P4 70000 1\n";
  std::ofstream(dir / "ok.pbm", std::ios::binary) << "P4\n8 1\n\xF0";
  const std::string ok = (dir / "ok.pbm").string();
  struct Case {
    std::string script;
    const char* says;
  };
  const Case cases[] = {
      {"paint 000000 13 0 0 10\n", "line 1"},
      {"\n# fine\nline 00000G 13 0 0 5 5\n", "line 3"},
      {"paint 000000 17 0 0 1 1\n", "mix '17'"},
      {"stroke 2:zigzag 000000 0 0 5 5\n", "pen style"},
      {"stroke 2:solid:pointy 000000 0 0 5 5\n", "pen cap"},
      {"bezier 1 000000 0 0 1 1 2 2\n", "4 points"},
      {"fill 000000 evenodd 0 0 5 0 5 5\n", "fill mode"},
      {"fill hatch:9:000000 winding 0 0 5 0 5 5\n", "hatch"},
      {"clip 1 2 3\n", "clip"},
      {"circle 000000 1 1 1\n", "unknown command 'circle'"},
      {"line 000000 13 0 0 99999999999 5\n", "coordinate"},
      {"patblt 000000 1G2 0 0 5 5\n", "ROP3 '1G2'"},
      {"patblt 000000 F0 0 0 5\n", "patblt takes"},
      {"blit /nonexistent/p.pbm CC 0 0\n", "cannot open picture"},
      {"blit " + (dir / "bad.txt").string() + " CC 0 0\n", "not a binary PBM"},
      {"stretch /nonexistent/p.pbm 0 0 5\n", "stretch takes"},
      {"text 0 000000 1 1 hi\n", "text size"},
      {"text 12 000000 1 1\n", "text takes"},
      {"blit " + (dir / "short.pbm").string() + " CC 0 0\n", "shorter than its header"},
      {"blit " + (dir / "huge.pbm").string() + " CC 0 0\n", "bad header"},
      {"alpha " + ok + " 256 0 0\n", "alpha '256' is 0..255"},
      {"alpha " + ok + " 128 0\n", "alpha takes"},
      {"alpha /nonexistent/p.ppm 128 0 0\n", "cannot open picture"},
      {"alpha " + (dir / "huge.pbm").string() + " 1 0 0\n", "bad header"},
      {"transparent " + ok + " 00FF00 0 0\n", "not among the picture's colours"},
      {"transparent " + ok + " hatch:1:000000 0 0\n", "is not RRGGBB"},
      {"transparent " + ok + " 000000 0 x\n", "'x' is not a coordinate"},
      {"stretchrop " + ok + " CC 0 0 5\n", "stretchrop takes"},
      {"stretchrop " + ok + " ZZ 0 0 5 5\n", "ROP3 'ZZ'"},
      {"stretchrop " + ok + " 66 0 70000 5 5\n", "at most 65535 dots a side"},
      {"stretchrop " + ok + " CC 0 0 5 5 00000G\n", "colour '00000G'"},
      {"stretchrop " + (dir / "short.pbm").string() + " CC 0 0 5 5\n", "shorter than its header"},
      {"plgblt " + ok + " 0 0 16777217 0 0 5\n", "corner coordinate"},
      {"plgblt " + ok + " 0 0 1 1\n", "plgblt takes"},
      {"gradient q 0 0 000000\n", "gradient takes h|v|t"},
      {"gradient\n", "gradient takes h|v|t"},
      {"gradient h\n", "rectangles of 2"},
      {"gradient h 0 0 000000 5 5\n", "rectangles of 2"},
      {"gradient t 0 0 000000 5 0 FFFFFF\n", "triangles of 3"},
      {"gradient t 0 0 000000 5 0 FFFFFF 5 5 00000G\n", "colour '00000G'"},
      {"gradient v 0 0 000000 5 99999999999 FFFFFF\n", "coordinate"},
      {"gradient v 0 0 hatch:1:000000 5 5 FFFFFF\n", "is not RRGGBB"},
  };
  for (const Case& c : cases) {
    std::ofstream(dir / "bad.txt") << c.script;
    Outcome r = Start("--draw '" + (dir / "bad.txt").string() + "'");
    EXPECT_EQ(r.exitCode, 2) << c.script << r.out;
    EXPECT_FALSE(r.jobWritten) << c.script;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << c.script << r.out;
  }
}

// Settings that would choose no drum are replaced by the printer's document
// properties, and said; a job that fails reports a real error code, not 0.
TEST_F(PrintJob, AJobWithoutADrumFailsWithItsError) {
  Outcome r = Start("--set ColorMode=2 --set Seihan=3 --set SeparationModeA=4 --set SeparationModeB=5");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("printjob: warning: Seihan=3 is not taken: the driver uses 1"), std::string::npos) << r.out;
  Outcome failed = Start("--paper 100x100");
  EXPECT_EQ(failed.exitCode, 1) << failed.out;
  EXPECT_NE(failed.out.find("failed in DrvEnablePDEV (error 87)"), std::string::npos) << failed.out;
  EXPECT_EQ(failed.out.find("(error 0)"), std::string::npos) << failed.out;
}

// Without --model, printjob takes the sample data from share/nevo beside
// its own folder (the drivers from lib/ there), wherever it was built or
// installed: a copy of it in a prefix of its own finds nothing else.
TEST_F(PrintJob, SampleDataIsFoundBesideTheExecutable) {
  const fs::path prefix = dir / "prefix";
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib");
  fs::copy_file(fs::path(BIN_DIR_STR) / "printjob", prefix / "bin" / "printjob");
  for (const char* lib : {"classicui.so", "classicrender.so"})
    fs::create_symlink(fs::path(LIB_DIR_STR) / lib, prefix / "lib" / lib);
  auto run = [&](const std::string& args) { return tooltest::RunPrintJob(dir, args, (prefix / "bin" / "printjob").string()); };

  Outcome missing = run("");
  EXPECT_EQ(missing.exitCode, 2) << missing.out;
  EXPECT_NE(missing.out.find((prefix / "share" / "nevo" / "models" / "NEVO2600.RDF").string()), std::string::npos)
      << missing.out;

  fs::create_directories(prefix / "share" / "nevo" / "models");
  fs::copy(fs::path(MODELS_DIR_STR), prefix / "share" / "nevo" / "models", fs::copy_options::recursive);
  fs::copy(fs::path(RESOURCES_DIR_STR), prefix / "share" / "nevo" / "resources", fs::copy_options::recursive);
  Outcome found = run("--pages 1");
  EXPECT_EQ(found.exitCode, 0) << found.out;
  EXPECT_EQ(Count(found.out, "sheet "), 1) << found.out;
}

// A PGM of maximum 255 is drawn from the file where it lies (rows of an odd
// width, the last one ending the file); the same picture at maximum 127 is
// converted into rows of its own. Both print the same drum page, 1:1 (the
// screen taking a band of rows at a time, also when sent in strips) and
// reduced.
TEST_F(PrintJob, PicturesReadInPlaceOrConvertedPrintAlike) {
  const int w = 2001, h = 1203;
  {
    std::ofstream full(dir / "full.pgm", std::ios::binary), half(dir / "half.pgm", std::ios::binary);
    full << "P5\n" << w << " " << h << "\n255\n";
    half << "P5\n# the same greys\n" << w << " " << h << "\n127\n";
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int v = (x * 7 + y * 3) % 128;
        full << static_cast<char>(v * 255 / 127);
        half << static_cast<char>(v);
      }
  }
  const auto drumPage = [&](const std::string& commands) { return FirstDrumPageInk("", commands); };
  const std::string full = (dir / "full.pgm").string(), half = (dir / "half.pgm").string();
  const std::vector<bool> whole = drumPage("stretch " + full + " 100 100 2101 1303\n");
  ASSERT_FALSE(whole.empty());
  const auto inked = std::count(whole.begin(), whole.end(), true);
  EXPECT_GT(inked, 100000);
  EXPECT_LT(inked, std::int64_t{w} * h);
  EXPECT_EQ(drumPage("stretch " + half + " 100 100 2101 1303\n"), whole) << "converted";
  EXPECT_EQ(drumPage("stretch " + full + " 100 100 2101 1303 7\n"), whole) << "seven strips";
  const std::vector<bool> reduced = drumPage("stretch " + full + " 100 100 1100 700\n");
  EXPECT_EQ(drumPage("stretch " + half + " 100 100 1100 700\n"), reduced) << "reduced";
}

// Pictures through --draw: a picture drawn in ten strips prints the drum page
// it prints in one; a transparent picture drawn as mask and image (either
// order) prints as Pillow's composite of the two drawn as one copy, with no
// black hole.
TEST_F(PrintJob, PicturesInStripsAndTransparentPictures) {
  const std::string python = "/usr/bin/python3";
  const std::string script = R"(
import sys
from PIL import Image, ImageChops, ImageDraw
d = sys.argv[1]
w, h = 160, 120
pic = Image.new('RGB', (w, h))
px = pic.load()
for y in range(h):
    for x in range(w):
        px[x, y] = (40 + x, 30 + (x + y) // 2, 200 - y)
pic.convert('L').save(d + '/photo.pgm')
mask = Image.new('L', (w, h), 0)
ImageDraw.Draw(mask).ellipse((20, 10, 140, 110), fill=255)
white = Image.new('RGB', (w, h), (255, 255, 255))
black = Image.new('RGB', (w, h), (0, 0, 0))
ImageChops.composite(pic, white, mask).save(d + '/composite.ppm')
# SRCAND mask: black where the picture goes; SRCPAINT picture: black around it.
ImageChops.invert(mask).convert('1').save(d + '/and_mask.pbm')
ImageChops.composite(pic, black, mask).save(d + '/paint_picture.ppm')
# MERGEPAINT mask: black where the picture goes; SRCAND picture: white around it.
ImageChops.composite(pic, white, mask).save(d + '/and_picture.ppm')
)";
  std::ofstream(dir / "make.py") << script;
  REQUIRE_PEER(std::system((python + " -c 'import PIL' 2>/dev/null").c_str()) == 0, "python3-pil");
  ASSERT_EQ(std::system((python + " '" + (dir / "make.py").string() + "' '" + dir.string() + "'").c_str()), 0);
  const auto drumPage = [&](const std::string& commands) { return FirstDrumPageInk("--set PhotoMode=1", commands); };
  const std::string photo = (dir / "photo.pgm").string();
  const std::vector<bool> whole = drumPage("stretch " + photo + " 100 100 420 340\n");
  ASSERT_FALSE(whole.empty());
  EXPECT_NE(std::count(whole.begin(), whole.end(), true), 0);
  EXPECT_EQ(drumPage("stretch " + photo + " 100 100 420 340 10\n"), whole) << "ten strips";

  const std::string at = " 200 160\n";
  const std::vector<bool> composite = drumPage("blit " + (dir / "composite.ppm").string() + " CC" + at);
  const long ink = std::count(composite.begin(), composite.end(), true);
  EXPECT_GT(ink, 0);
  const std::vector<bool> andPaint = drumPage("blit " + (dir / "and_mask.pbm").string() + " 88" + at + "blit " +
                                              (dir / "paint_picture.ppm").string() + " EE" + at);
  EXPECT_EQ(andPaint, composite) << "SRCAND mask, then SRCPAINT picture";
  EXPECT_EQ(std::count(andPaint.begin(), andPaint.end(), true), ink);
  const std::vector<bool> mergeAnd = drumPage("blit " + (dir / "and_mask.pbm").string() + " BB" + at + "blit " +
                                              (dir / "and_picture.ppm").string() + " 88" + at);
  EXPECT_EQ(mergeAnd, composite) << "MERGEPAINT mask, then SRCAND picture";
}

}  // namespace

// --out holds what the spooler received from a job that succeeded, and only
// that: a file job and a failed job neither make it nor touch an earlier one.
TEST_F(PrintJob, OnlyASpooledJobThatSucceededWritesTheOutput) {
  struct Case {
    const char* args;
    int exitCode;
  } cases[] = {{"--preview", 0}, {"--storage E", 0}, {"--paper 100x100", 1}};
  const fs::path out = dir / "job.prn";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove(out);
    Outcome fresh = Start(c.args);
    EXPECT_EQ(fresh.exitCode, c.exitCode) << fresh.out;
    EXPECT_FALSE(fresh.jobWritten);
    std::ofstream(out, std::ios::binary) << "an earlier job";
    Outcome again = Start(c.args);
    EXPECT_EQ(again.exitCode, c.exitCode) << again.out;
    const std::vector<unsigned char> kept = Read(out);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "an earlier job");
  }
  // A failed job says its own error first and nothing about its stream.
  Outcome failed = Start("--paper 100x100");
  EXPECT_EQ(failed.out.rfind("printjob: the job failed in DrvEnablePDEV (error 87)", 0), 0u) << failed.out;
  EXPECT_EQ(failed.out.find("does not decode"), std::string::npos) << failed.out;
}

// A drive that fills up in the middle of a file job: the job fails with the
// drive's error, reported first, and no half job file is left under its name
// for the duplicator or the preview to take. (A file size limit plays the
// full drive.)
TEST_F(PrintJob, AFileJobOnAFullDriveLeavesNoHalfJobFile) {
  struct Case {
    const char* args;
    const char* jobFile;
  } cases[] = {{"--storage E --pages 3", "E/OSTRA/USB/1_FOLDER/JOB000000001.PRN"},
               {"--preview --pages 3", "C/TEMP/RV0001.PRN"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir / "root");
    std::string out;
    const int rc = testsupport::RunCommand(
        "bash -c \"trap '' XFSZ; ulimit -f 64; " + tooltest::PrintJobCommand(dir, dir / "job.prn", c.args) + "\" 2>&1",
        &out);
    EXPECT_EQ(rc, 1) << out;
    EXPECT_EQ(out.rfind("printjob: the job failed in ", 0), 0u) << out;
    EXPECT_EQ(out.find("does not decode"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(dir / "root" / c.jobFile)) << "a half job file is left";
    EXPECT_FALSE(fs::exists(dir / "job.prn"));
  }
}

// Every value the driver does not take as asked is named; values it takes
// draw no warning.
TEST_F(PrintJob, EachReplacedValueIsNamed) {
  struct Case {
    const char* args;
    const char* warning;  // nullptr: no warning at all
  } cases[] = {
      {"--set ColorMode=7", "ColorMode=7 is not taken: the driver uses 2"},
      {"--set Duplex=5", "Duplex=5 is not taken: the driver uses 0"},
      {"--set Copies=-5", "Copies=-5 is not taken: the driver uses 1"},
      {"--paper 999", "--paper 999 is not taken: the driver prints on 2100x2970 (0.1 mm)"},
      {"--set ResolutionIndex=3", "ResolutionIndex=3 is not taken: the driver uses 0 (a printer-level value: give "
                                  "--printer-set ResolutionIndex=3)"},
      {"--set ColorMode=2 --set Seihan=2 --set PhotoMode=1 --copies 3 --paper 9 --orientation landscape", nullptr},
      {"--printer-set ResolutionIndex=3", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Outcome r = Start(c.args);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    if (c.warning) {
      EXPECT_NE(r.out.find(std::string("printjob: warning: ") + c.warning), std::string::npos) << r.out;
      EXPECT_EQ(Count(r.out, "warning"), 1) << r.out;
    } else {
      EXPECT_EQ(r.out.find("warning"), std::string::npos) << r.out;
    }
  }
}

// The resolution is the printer's: --printer-set gives 600 dpi as the device
// sheet would, the page twice as many dots across.
TEST_F(PrintJob, PrinterSetResolutionPrintsAt600Dpi) {
  auto width = [&](const std::string& args) -> std::uint32_t {
    Outcome r = Start(args);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    streamdump::Decoded job = Decode(r.job);
    if (!job.ok || job.pages.empty()) return 0;
    return streamdump::RebuildPlane(job, job.pages[0]).width;
  };
  const std::uint32_t at300 = width("");
  const std::uint32_t at600 = width("--printer-set ResolutionIndex=3");
  ASSERT_GT(at300, 1000u);
  EXPECT_NEAR(double(at600) / double(at300), 2.0, 0.01);
}

// --help lists the options and how to list the settings, --list-settings
// lists them; errors say why, with the usage only when the usage is wrong.
TEST_F(PrintJob, HelpListsTheSettingsAndErrorsSayWhy) {
  Outcome help = Start("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("--printer-set NAME=VALUE"), std::string::npos) << help.out;
  EXPECT_NE(help.out.find("--list-settings"), std::string::npos) << help.out;
  Outcome list = Start("--list-settings");
  EXPECT_EQ(list.exitCode, 0);
  for (const char* line : {"\nColorMode 0..255\n", "\nResolutionIndex ", "\nHoldJobName text of at most ",
                           "\nImagePositionOffsets[0..7] "})
    EXPECT_NE(("\n" + list.out).find(line), std::string::npos) << line << "\n" << list.out;
  Outcome noModel = Start("--model '" + (dir / "none.RDF").string() + "'");
  EXPECT_EQ(noModel.exitCode, 2);
  EXPECT_NE(noModel.out.find("printjob: no model data file"), std::string::npos) << noModel.out;
  EXPECT_EQ(noModel.out.find("usage:"), std::string::npos) << noModel.out;
  Outcome badValue = Start("--set ColorMode=x");
  EXPECT_NE(badValue.out.find("printjob: not a number: x"), std::string::npos) << badValue.out;
  EXPECT_NE(badValue.out.find("usage:"), std::string::npos) << badValue.out;
}
