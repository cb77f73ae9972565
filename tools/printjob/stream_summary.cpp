// Stream summary for printjob's report, read through the stream decoder.
#include "printjob/stream_summary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

namespace printjob {

StreamSummary Summarize(const streamdump::StreamRead& read) {
  StreamSummary out;
  std::size_t previousEnd = 0;  // just past the last form feed
  streamdump::DecodeListener listener;
  listener.keepLineBytes = false;
  listener.onText = [&](const std::string& line) {
    if (line == "R") ++out.jobEnds;
    if (line.ends_with("&e")) ++out.jobHeaders;
  };
  listener.onPage = [&](const streamdump::Decoded& job, const streamdump::DrumPage& page, std::size_t) {
    if (page.formFeedEnd == 0) return true;  // closed without its form feed: not a drum page sent
    DrumPage sent;
    sent.inkCode = page.hasLab ? static_cast<long>(page.inkCode) : 0;
    sent.lines = static_cast<long>(page.lines.size());
    // A page's bytes run from the previous form feed or job end, whichever came later.
    sent.bytes = page.formFeedEnd - std::max(previousEnd, job.resetEnd);
    previousEnd = page.formFeedEnd;
    out.drumPages.push_back(sent);
    return true;
  };
  out.wellFormed = streamdump::DecodeStream(read, listener).ok;
  return out;
}

StreamSummary Summarize(std::span<const std::uint8_t> stream) {
  std::size_t at = 0;
  return Summarize([&](std::uint8_t* into, std::size_t size) {
    const std::size_t n = std::min(size, stream.size() - at);
    if (n != 0) std::memcpy(into, stream.data() + at, n);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  });
}

StreamSummary SummarizeFile(const std::string& path, std::size_t& size) {
  size = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return StreamSummary{};  // no stream was written: nothing to summarise
  return Summarize([&](std::uint8_t* into, std::size_t want) -> std::ptrdiff_t {
    const std::size_t got = std::fread(into, 1, want, file.get());
    if (got == 0 && std::ferror(file.get())) return -1;
    size += got;
    return static_cast<std::ptrdiff_t>(got);
  });
}
std::vector<std::string> SheetLines(const StreamSummary& summary, int drumPagesPerSheet) {
  std::vector<std::string> lines;
  if (drumPagesPerSheet < 1) drumPagesPerSheet = 1;
  const auto& pages = summary.drumPages;
  for (std::size_t first = 0; first < pages.size(); first += static_cast<std::size_t>(drumPagesPerSheet)) {
    std::string line = "sheet " + std::to_string(first / static_cast<std::size_t>(drumPagesPerSheet) + 1) + ":";
    std::size_t bytes = 0;
    for (std::size_t k = first; k < pages.size() && k < first + static_cast<std::size_t>(drumPagesPerSheet); ++k) {
      if (k != first) line += " |";
      line += " ink " + std::to_string(pages[k].inkCode) + " " + std::to_string(pages[k].lines) + " lines";
      bytes += pages[k].bytes;
    }
    line += " (" + std::to_string(bytes) + " bytes)";
    lines.push_back(line);
  }
  return lines;
}

}  // namespace printjob
