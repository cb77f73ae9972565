// printjob's report: the sheets it lists from a stream read in pieces, and
// the streams it calls malformed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "printjob/stream_summary.h"
#include "support/host_files.h"
#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes ReadFile(const fs::path& path) { return testsupport::ReadHostFile(path.string()); }

// A reader that gives the stream at most `piece` bytes a call.
streamdump::StreamRead InPieces(const Bytes& stream, std::size_t piece, std::size_t& at) {
  return [&stream, piece, &at](std::uint8_t* into, std::size_t size) {
    const std::size_t n = std::min({size, piece, stream.size() - at});
    if (n != 0) std::memcpy(into, stream.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
}

TEST(StreamSummary, ListsEachSheetsInksLinesAndBytes) {
  const Bytes job = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  for (std::size_t piece : {std::size_t(1), std::size_t(7), job.size()}) {
    SCOPED_TRACE(piece);
    std::size_t at = 0;
    const printjob::StreamSummary s = printjob::Summarize(InPieces(job, piece, at));
    EXPECT_TRUE(s.wellFormed);
    EXPECT_EQ(s.jobHeaders, 1);
    EXPECT_EQ(s.jobEnds, 2);
    EXPECT_EQ(printjob::SheetLines(s, 1), (std::vector<std::string>{"sheet 1: ink 1001 2 lines (1299 bytes)",
                                                                     "sheet 2: ink 1003 0 lines (32 bytes)"}));
    EXPECT_EQ(printjob::SheetLines(s, 2),
              (std::vector<std::string>{"sheet 1: ink 1001 2 lines | ink 1003 0 lines (1331 bytes)"}));
  }
}

// A number past the stream's range (here twenty digits, beyond any machine
// integer) makes the stream malformed; the pages before it are still listed.
TEST(StreamSummary, AStreamItsDecoderRefusesIsMalformed) {
  const Bytes job = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  Bytes twentyDigits = {0x1E, 0x26};
  twentyDigits.insert(twentyDigits.end(), 20, 0x33);
  Bytes after = job;
  after.insert(after.end(), twentyDigits.begin(), twentyDigits.end());
  Bytes garbage = job;
  garbage.push_back('x');
  struct Case {
    const char* name;
    Bytes stream;
    std::size_t pages;
  } cases[] = {
      {"a parameter of twenty digits", twentyDigits, 0},
      {"the same after a whole job", after, 2},
      {"a byte outside any command", garbage, 2},
      {"a parameter past 16 bits", {0x1E, '&', '6', '5', '5', '3', '6', '&', 'V'}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const printjob::StreamSummary s = printjob::Summarize(c.stream);
    EXPECT_FALSE(s.wellFormed);
    EXPECT_EQ(s.drumPages.size(), c.pages);
  }
}

// The file reader: the bytes it read, and a file that is not there read as
// an empty stream.
TEST(StreamSummary, ReadsAFileAndCountsItsBytes) {
  testsupport::TempFolder dir("stream-summary");
  const Bytes job = ReadFile(TEST_DATA_DIR_STR "/stream/small_job.prn");
  const fs::path path = dir.path() / "job.prn";
  testsupport::WriteHostFile(path.string(), job);
  std::size_t size = 0;
  const printjob::StreamSummary s = printjob::SummarizeFile(path.string(), size);
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(size, job.size());
  EXPECT_EQ(s.drumPages.size(), 2u);
  const printjob::StreamSummary none = printjob::SummarizeFile((dir.path() / "absent.prn").string(), size);
  EXPECT_TRUE(none.wellFormed);
  EXPECT_TRUE(none.drumPages.empty());
  EXPECT_EQ(size, 0u);
}

}  // namespace
