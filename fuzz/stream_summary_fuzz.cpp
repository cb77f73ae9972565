// libFuzzer target: printjob's report of a job's command stream, read through
// the stream decoder's listener in pieces, and the sheet lines made from it.
#include <cstddef>
#include <cstdint>
#include <span>

#include "printjob/stream_summary.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const printjob::StreamSummary summary = printjob::Summarize(std::span<const std::uint8_t>(data, size));
  std::size_t bytes = 0;
  for (const printjob::DrumPage& page : summary.drumPages) {
    if (page.lines < 0 || page.bytes > size) __builtin_trap();
    bytes += page.bytes;
  }
  // Each byte of the stream counts towards one drum page at most.
  if (bytes > size) __builtin_trap();
  for (int perSheet : {0, 1, 2}) (void)printjob::SheetLines(summary, perSheet);
  return 0;
}
