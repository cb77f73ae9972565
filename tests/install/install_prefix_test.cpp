// `cmake --install` into a fresh prefix: every installed program and library
// finds its libraries inside the prefix, and the installed printjob prints
// the test page from there with the drivers and data installed beside it.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"
#include "support/run_command.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// Where ldd's report says `library` was found, as a canonical path; empty when it is not listed.
fs::path Resolved(const std::string& ldd, const std::string& library) {
  const std::string arrow = library + " => ";
  const std::size_t at = ldd.find(arrow);
  if (at == std::string::npos) return {};
  const std::size_t from = at + arrow.size();
  const std::size_t end = ldd.find(" (", from);
  std::error_code ec;
  return fs::weakly_canonical(ldd.substr(from, end == std::string::npos ? std::string::npos : end - from), ec);
}

class InstalledPrefix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = new testsupport::TempFolder("install-prefix");
    prefix_ = new fs::path(folder_->path() / "prefix");
    const fs::path build = fs::path(BIN_DIR_STR).parent_path();
    installed_ = testsupport::RunCommand(std::string(CMAKE_COMMAND_STR) + " --install " + Quoted(build) +
                                             " --prefix " + Quoted(*prefix_) + " 2>&1",
                                         &installLog_) == 0;
  }
  static void TearDownTestSuite() {
    delete prefix_;
    delete folder_;
  }
  void SetUp() override { ASSERT_TRUE(installed_) << installLog_; }

  static const fs::path& Prefix() { return *prefix_; }

 private:
  static inline testsupport::TempFolder* folder_ = nullptr;
  static inline fs::path* prefix_ = nullptr;
  static inline bool installed_ = false;
  static inline std::string installLog_;
};

// Every program and library resolves its libraries, the platform from the
// prefix's lib/ and not from the build tree.
TEST_F(InstalledPrefix, EveryProgramAndLibraryFindsItsLibrariesInThePrefix) {
  const fs::path platform = fs::weakly_canonical(Prefix() / "lib" / "libplatform.so");
  std::vector<fs::path> files;
  for (const char* folder : {"bin", "lib"})
    for (const auto& entry : fs::directory_iterator(Prefix() / folder))
      if (entry.is_regular_file()) files.push_back(entry.path());
  files.push_back(Prefix() / "share" / "nevo" / "medium" / "Setup.exe");
  for (const char* program : {"printjob", "streamdump", "imagetool", "sheetrun", "machine", "setup"})
    EXPECT_TRUE(fs::exists(Prefix() / "bin" / program)) << program;
  for (const char* library : {"libplatform.so", "classicui.so", "classicrender.so", "installcore.so"})
    EXPECT_TRUE(fs::exists(Prefix() / "lib" / library)) << library;
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    std::string out;
    ASSERT_EQ(testsupport::RunCommand("ldd " + Quoted(file) + " 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("not found"), std::string::npos) << out;
    if (file.filename() != "libplatform.so") {
      EXPECT_EQ(Resolved(out, "libplatform.so"), platform) << out;
    }
  }
}

// The installed printjob prints its test page with the installed drivers and
// sample data; the installed streamdump reads the job back.
TEST_F(InstalledPrefix, PrintjobPrintsTheTestPageFromThePrefix) {
  const fs::path job = Prefix().parent_path() / "job.prn";
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(Quoted(Prefix() / "bin" / "printjob") + " --root " +
                                        Quoted(Prefix().parent_path() / "root") + " --out " + Quoted(job) + " 2>&1",
                                    &out),
            0)
      << out;
  std::ifstream in(job, std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const streamdump::Decoded decoded = streamdump::DecodeStream(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  ASSERT_TRUE(decoded.ok) << decoded.error;
  ASSERT_EQ(decoded.pages.size(), 1u);
  const streamdump::Plane plane = streamdump::RebuildPlane(decoded, decoded.pages[0]);
  long ink = 0;
  for (std::uint32_t y = 0; y < plane.height; ++y)
    for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
  EXPECT_GT(ink, 10000);
  ASSERT_EQ(testsupport::RunCommand(Quoted(Prefix() / "bin" / "streamdump") + " " + Quoted(job) + " 2>&1", &out), 0)
      << out;
}

}  // namespace
