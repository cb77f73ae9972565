// A Python interpreter that can import what a peer test needs: each python3
// on PATH in turn, then /usr/bin/python3 (the first python3 on PATH may lack
// the Debian packages), and a scratch folder for the files the peer reads.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

namespace testsupport {

// The first interpreter that imports every module of `modules` (comma
// separated, as in an import line); empty when none does.
inline std::string PythonWith(const std::string& modules) {
  std::string candidates;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':'))
      if (!dir.empty()) candidates += dir + "/python3\n";
  }
  candidates += "/usr/bin/python3\n";
  std::stringstream list(candidates);
  std::string python;
  while (std::getline(list, python)) {
    if (access(python.c_str(), X_OK) != 0) continue;
    const std::string probe = python + " -c 'import " + modules + "' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return python;
  }
  return {};
}

// A fresh folder under the temporary folder, removed with the object.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& tag) {
    static int serial = 0;
    path_ = std::filesystem::temp_directory_path() /
            (tag + "-" + std::to_string(::getpid()) + "-" + std::to_string(serial++));
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace testsupport
