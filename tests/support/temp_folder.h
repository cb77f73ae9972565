// Temporary folders of the tests: each under the test's temp folder
// (TEST_TMPDIR or TMPDIR, as GoogleTest's TempDir()), unique to the process
// and the call, removed with everything in it when the owner goes.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "plat/files.h"
#include "plat/machine.h"

namespace testsupport {

class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix) {
    static std::atomic<unsigned> serial{0};
    std::string name(prefix);
    name += '-';
    name += std::to_string(::getpid());
    name += '-';
    name += std::to_string(serial++);
    name += '-';
    name += std::to_string(std::random_device{}() & 0xFFFF);
    path_ = std::filesystem::path(::testing::TempDir()) / name;
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string str() const { return path_.string(); }
  std::filesystem::path operator/(std::string_view name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// A fresh machine root for one test: the model's drives, clock and write
// faults start from their defaults, and the root before it comes back at the end.
class MachineRoot {
 public:
  explicit MachineRoot(std::string_view prefix) : folder_(prefix), previous_(plat::machine::Root()) {
    plat::machine::SetRoot(folder_.str());
    plat::machine::Reset();
    plat::files::ClearWriteFaults();
  }
  ~MachineRoot() {
    plat::files::ClearWriteFaults();
    plat::machine::Reset();
    plat::machine::SetRoot(previous_);
  }
  MachineRoot(const MachineRoot&) = delete;
  MachineRoot& operator=(const MachineRoot&) = delete;

  const std::filesystem::path& path() const { return folder_.path(); }
  std::string str() const { return folder_.str(); }

 private:
  TempFolder folder_;
  std::string previous_;
};

}  // namespace testsupport
