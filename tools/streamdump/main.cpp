// streamdump: prints a command stream one line per command and record, stops
// at the first malformed byte (exit 1), and with --planes DIR writes every
// drum page rebuilt from its lines as DIR/pageNNN.png (DIR is made when
// missing; each PNG is whole or absent). The file is read in pieces and
// each page is written and dropped once it ends, so a long job needs no more
// memory than its largest page.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <system_error>

#include "streamdump/stream_decoder.h"
#include "streamdump/whole_file.h"

namespace {
int Usage() {
  std::fprintf(stderr, "usage: streamdump [--planes DIR] JOBFILE\n");
  return 2;
}

int Dump(const std::string& input, const std::string& planesDir) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(input.c_str(), "rb"), &std::fclose);
  struct stat st {};
  if (!file || ::fstat(::fileno(file.get()), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "streamdump: cannot open %s: %s\n", input.c_str(),
                 file ? "not a regular file" : std::strerror(errno));
    return 2;
  }
  bool readFailed = false;
  const streamdump::StreamRead read = [&](std::uint8_t* into, std::size_t want) -> std::ptrdiff_t {
    const std::size_t got = std::fread(into, 1, want, file.get());
    if (got == 0 && std::ferror(file.get())) {
      readFailed = true;
      return -1;
    }
    return static_cast<std::ptrdiff_t>(got);
  };
  std::string pageFailure;
  if (!planesDir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(planesDir, ec);
    if (ec) {
      std::fprintf(stderr, "streamdump: cannot make %s: %s\n", planesDir.c_str(), ec.message().c_str());
      return 2;
    }
  }
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
    const std::string path = planesDir + name;
    if (!tools::WriteWhole(path, [&](const std::filesystem::path& temp) {
          return streamdump::WritePlanePng(plane, temp.string());
        })) {
      pageFailure = "cannot write " + planesDir + name;
      return false;
    }
    return true;
  };
  const streamdump::Decoded job = streamdump::DecodeStream(read, listener);
  if (!pageFailure.empty()) {
    std::fprintf(stderr, "streamdump: %s\n", pageFailure.c_str());
    return 2;
  }
  if (readFailed) {
    std::fprintf(stderr, "streamdump: cannot read %s at offset %zu\n", input.c_str(), job.errorOffset);
    return 1;
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
