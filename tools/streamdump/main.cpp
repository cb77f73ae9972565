// streamdump: prints a command stream one line per command and record, stops
// at the first malformed byte (exit 1), and with --planes DIR writes every
// drum page rebuilt from its lines as DIR/pageNNN.png. The file is mapped, not
// read, and each page is written and dropped once it ends, so a long job
// needs no more memory than its largest page.
#include <cstdio>
#include <new>
#include <string>

#include "streamdump/mapped_file.h"
#include "streamdump/stream_decoder.h"

namespace {
int Usage() {
  std::fprintf(stderr, "usage: streamdump [--planes DIR] JOBFILE\n");
  return 2;
}

int Dump(const std::string& input, const std::string& planesDir) {
  const streamdump::MappedFile file(input);
  if (!file.ok()) {
    std::fprintf(stderr, "streamdump: cannot open %s: %s\n", input.c_str(), file.error().c_str());
    return file.opened() ? 1 : 2;
  }
  std::string pageFailure;
  streamdump::DecodeListener listener;
  listener.onText = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
  listener.onPage = [&](const streamdump::Decoded& job, const streamdump::DrumPage& page, std::size_t index) {
    if (planesDir.empty()) return true;
    char name[32];
    std::snprintf(name, sizeof name, "/page%03zu.png", index + 1);
    const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
    if (plane.width == 0) {
      pageFailure = "drum page " + std::to_string(index + 1) + " is too large to rebuild";
      return false;
    }
    if (!streamdump::WritePlanePng(plane, planesDir + name)) {
      pageFailure = "cannot write " + planesDir + name;
      return false;
    }
    return true;
  };
  const streamdump::Decoded job = streamdump::DecodeStream(file.bytes(), listener);
  if (!pageFailure.empty()) {
    std::fprintf(stderr, "streamdump: %s\n", pageFailure.c_str());
    return 2;
  }
  if (!job.ok) {
    std::fprintf(stderr, "streamdump: malformed byte at offset %zu (0x%zX): %s\n", job.errorOffset, job.errorOffset,
                 job.error.c_str());
    return 1;
  }
  return 0;
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
  try {
    return Dump(input, planesDir);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "streamdump: out of memory decoding %s\n", input.c_str());
    return 1;
  }
}
