// Netpbm files and peer programs for the imaging tests: grey (P5) and
// bitmap (P4) images read and written, and a scratch folder per test.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

struct Pnm {
  std::string magic;  // "P4", "P5", "P6"
  int width = 0, height = 0, maxval = 1;
  std::vector<std::uint8_t> data;  // as stored: P4 rows of (width + 7) / 8 bytes, 1 = black
  bool Black(int x, int y) const { return (data[size_t(y) * ((width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1; }
};

inline Pnm ReadPnm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Pnm p;
  size_t at = 0;
  auto token = [&]() {
    std::string t;
    while (at < bytes.size()) {
      const char c = bytes[at];
      if (c == '#') {
        while (at < bytes.size() && bytes[at] != '\n') ++at;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        if (!t.empty()) break;
        ++at;
      } else {
        t += c;
        ++at;
      }
    }
    return t;
  };
  p.magic = token();
  p.width = std::atoi(token().c_str());
  p.height = std::atoi(token().c_str());
  if (p.magic != "P4") p.maxval = std::atoi(token().c_str());
  ++at;  // the one white-space byte before the raster
  if (at <= bytes.size()) p.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.end());
  return p;
}

inline void WritePgm(const std::string& path, int width, int height, const std::vector<std::uint8_t>& grey) {
  std::ofstream out(path, std::ios::binary);
  out << "P5\n" << width << " " << height << "\n255\n";
  out.write(reinterpret_cast<const char*>(grey.data()), static_cast<std::streamsize>(grey.size()));
}

// A folder of its own for one test, removed with it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "imaging-XXXXXX").string();
    path_ = mkdtemp(pattern.data());
  }
  ~ScratchDir() { std::filesystem::remove_all(path_); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Runs a shell command line, its diagnostics dropped; the exit status.
inline int Run(const std::string& command) { return std::system((command + " 2>/dev/null").c_str()); }

}  // namespace testsupport
