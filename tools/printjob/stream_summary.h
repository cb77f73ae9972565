// A one-line-per-sheet summary of a job's command stream.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"

namespace printjob {

// One drum page: the ink it was announced with, its raster lines and bytes.
struct DrumPage {
  long inkCode = 0;
  long lines = 0;
  std::size_t bytes = 0;
};

struct StreamSummary {
  bool wellFormed = true;  // the stream decodes, every byte in a command or its payload
  int jobHeaders = 0;      // "&e" blocks
  int jobEnds = 0;         // bare reset/job-end commands
  std::vector<DrumPage> drumPages;
};

// Reads the stream through the stream decoder, piece by piece: the memory
// it takes does not grow with the stream. A stream the decoder refuses is
// not well formed; what came before the fault is still summarised.
StreamSummary Summarize(const streamdump::StreamRead& read);
StreamSummary Summarize(std::span<const std::uint8_t> stream);
// The same for a file; size is set to the bytes read. A file that is not
// there summarises as an empty stream; one that fails while read is not well
// formed.
StreamSummary SummarizeFile(const std::string& path, std::size_t& size);

// Lines such as "sheet 1: ink 1001 812 lines | ink 1003 640 lines (23456 bytes)",
// drumPagesPerSheet drum pages to a sheet.
std::vector<std::string> SheetLines(const StreamSummary& summary, int drumPagesPerSheet);

}  // namespace printjob
