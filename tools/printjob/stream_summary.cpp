// Stream summary for printjob's report.
#include "printjob/stream_summary.h"

namespace printjob {

StreamSummary Summarize(std::span<const std::uint8_t> s) {
  StreamSummary out;
  DrumPage page;
  std::size_t pageStart = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    if (s[i] == 0x0C) {
      ++i;
      page.bytes = i - pageStart;
      out.drumPages.push_back(page);
      page = DrumPage{};
      pageStart = i;
      continue;
    }
    if (s[i] != 0x1E || i + 1 >= s.size()) {
      out.wellFormed = false;
      return out;
    }
    if (s[i + 1] == 'R') {
      ++out.jobEnds;
      i += 2;
      pageStart = i;
      continue;
    }
    if (s[i + 1] != '&') {
      out.wellFormed = false;
      return out;
    }
    std::vector<long> params;
    long value = 0;
    bool negative = false, any = false;
    std::size_t j = i + 2;
    for (; j < s.size() && s[j] != '&'; ++j) {
      char c = static_cast<char>(s[j]);
      if (c == ';') {
        params.push_back(negative ? -value : value);
        value = 0;
        negative = any = false;
      } else if (c == '-') {
        negative = true;
      } else if (c >= '0' && c <= '9') {
        value = value * 10 + (c - '0');
        any = true;
      } else {
        out.wellFormed = false;
        return out;
      }
    }
    if (any) params.push_back(negative ? -value : value);
    if (j + 1 >= s.size()) {
      out.wellFormed = false;
      return out;
    }
    char letter = static_cast<char>(s[j + 1]);
    i = j + 2;
    long payload = 0;
    if ((letter == 'e' || letter == 'n' || letter == 'i') && !params.empty()) payload = params[0];
    if (payload < 0 || static_cast<std::size_t>(payload) > s.size() - i) {
      out.wellFormed = false;
      return out;
    }
    i += static_cast<std::size_t>(payload);
    if (letter == 'e') ++out.jobHeaders;
    // Only a drum page's ink description uses "&o" (code; L; a; b).
    if (letter == 'o' && params.size() == 4) page.inkCode = params[0];
    if (letter == 'i') ++page.lines;
  }
  return out;
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
