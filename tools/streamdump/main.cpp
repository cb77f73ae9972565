// streamdump: prints a command stream one line per command and record, stops
// at the first malformed byte (exit 1), and with --planes DIR writes every
// drum page rebuilt from its lines as DIR/pageNNN.png.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"

namespace {
int Usage() {
  std::fprintf(stderr, "usage: streamdump [--planes DIR] JOBFILE\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  std::string planesDir;
  std::string input;
  for (int k = 1; k < argc; ++k) {
    const std::string arg = argv[k];
    if (arg == "--planes") {
      if (++k >= argc) return Usage();
      planesDir = argv[k];
    } else if (input.empty() && !arg.empty() && arg[0] != '-') {
      input = arg;
    } else {
      return Usage();
    }
  }
  if (input.empty()) return Usage();

  std::ifstream file(input, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "streamdump: cannot open %s\n", input.c_str());
    return 2;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  const streamdump::Decoded job = streamdump::DecodeStream(bytes);
  for (const std::string& line : job.text) std::printf("%s\n", line.c_str());
  if (!job.ok) {
    std::fprintf(stderr, "streamdump: malformed byte at offset %zu (0x%zX): %s\n", job.errorOffset, job.errorOffset,
                 job.error.c_str());
    return 1;
  }
  if (!planesDir.empty()) {
    for (std::size_t k = 0; k < job.pages.size(); ++k) {
      char name[32];
      std::snprintf(name, sizeof name, "/page%03zu.png", k + 1);
      const streamdump::Plane plane = streamdump::RebuildPlane(job, job.pages[k]);
      if (plane.width == 0) {
        std::fprintf(stderr, "streamdump: drum page %zu is too large to rebuild\n", k + 1);
        return 2;
      }
      if (!streamdump::WritePlanePng(plane, planesDir + name)) {
        std::fprintf(stderr, "streamdump: cannot write %s%s\n", planesDir.c_str(), name);
        return 2;
      }
    }
  }
  return 0;
}
