// printjob end to end: a job through classicui and classicrender loaded by
// path, its options, its output file and its per-sheet summary.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Outcome {
  int exitCode = -1;
  std::string out;
  std::vector<unsigned char> job;
  bool jobWritten = false;
};

class PrintJob : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir = fs::temp_directory_path() / ("printjob-test-" + std::to_string(rd()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }

  Outcome Start(const std::string& args) {
    Outcome r;
    fs::path out = dir / "job.prn";
    std::string cmd = std::string(BIN_DIR_STR) + "/printjob --root '" + (dir / "root").string() + "' --out '" +
                      out.string() + "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof(buf), p)) r.out += buf;
    int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(out, std::ios::binary);
    r.jobWritten = in.good();
    r.job.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
  }

  static int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }
  static bool Holds(const std::vector<unsigned char>& job, const std::string& bytes) {
    return std::search(job.begin(), job.end(), bytes.begin(), bytes.end()) != job.end();
  }

  fs::path dir;
};

TEST_F(PrintJob, DefaultModelPrintsOneSheetPerPage) {
  Outcome r = Start("--pages 2");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 2) << r.out;
  ASSERT_GE(r.job.size(), 4u);
  EXPECT_EQ(r.job[0], 0x1E);
  EXPECT_EQ(r.job[1], 'R');
  EXPECT_EQ(r.job[r.job.size() - 2], 0x1E);
  EXPECT_EQ(r.job.back(), 'R');
  EXPECT_NE(r.out.find(std::to_string(r.job.size()) + " bytes"), std::string::npos) << r.out;
}

TEST_F(PrintJob, OptionsReachTheStream) {
  Outcome r = Start("--pages 1 --copies 5 --paper 5 --orientation landscape");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Holds(r.job, "\x1e&5&C"));
  // Legal (8.5 x 14 in = 2159 x 3556 in 0.1 mm) in portrait millimetres, rounded up.
  EXPECT_TRUE(Holds(r.job, "\x1e&40;216;356&z"));
}

TEST_F(PrintJob, SetChangesDocumentSettingsByName) {
  Outcome r = Start("--pages 1 --set ColorMode=2 --set Seihan=2 --set SeparationModeA=2 --set SeparationModeB=2");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 1);
  EXPECT_EQ(Count(r.out, " | ink "), 1) << r.out;  // two drum pages on the sheet
}

TEST_F(PrintJob, NoPagesWritesAnEmptyJob) {
  Outcome r = Start("--pages 0");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(r.jobWritten);
  EXPECT_TRUE(r.job.empty());
  EXPECT_EQ(Count(r.out, "sheet "), 0);
}

TEST_F(PrintJob, BadOptionsFailWithoutAJobFile) {
  const char* cases[] = {"--set Bogus=1", "--set ColorMode=256", "--set ColorMode=x", "--pages -1",
                         "--orientation sideways", "--paper 0", "--paper 10x", "--frobnicate"};
  for (const char* args : cases) {
    Outcome r = Start(args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.out;
    EXPECT_FALSE(r.jobWritten) << args;
    EXPECT_NE(r.out.find("printjob: "), std::string::npos) << args;
  }
}

}  // namespace
