// A one-line-per-sheet summary of a job's command stream.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace printjob {

// One drum page: the ink it was announced with, its raster lines and bytes.
struct DrumPage {
  long inkCode = 0;
  long lines = 0;
  std::size_t bytes = 0;
};

struct StreamSummary {
  bool wellFormed = true;  // every byte belonged to a command or its payload
  int jobHeaders = 0;      // "&e" blocks
  int jobEnds = 0;         // bare reset/job-end commands
  std::vector<DrumPage> drumPages;
};

// Reads the stream command by command; payloads are skipped by their counts.
StreamSummary Summarize(std::span<const std::uint8_t> stream);

// Lines such as "sheet 1: ink 1001 812 lines | ink 1003 640 lines (23456 bytes)",
// drumPagesPerSheet drum pages to a sheet.
std::vector<std::string> SheetLines(const StreamSummary& summary, int drumPagesPerSheet);

}  // namespace printjob
