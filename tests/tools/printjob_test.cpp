// printjob end to end: a job through classicui and classicrender loaded by
// path, its options, its output file and its per-sheet summary; preview and
// storage jobs and their job files.
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

#include "streamdump/stream_decoder.h"

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
  static std::vector<unsigned char> Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static streamdump::Decoded Decode(const std::vector<unsigned char>& bytes) {
    return streamdump::DecodeStream(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
  }
  static bool HasCommand(const streamdump::Decoded& job, const std::string& text) {
    return std::any_of(job.commands.begin(), job.commands.end(),
                       [&](const streamdump::Command& c) { return c.text == text; });
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

// A storage job lands as a numbered job file in its folder of the drive's
// job-folder tree, which printjob creates on a drive that has none.
TEST_F(PrintJob, StorageJobWritesTheNumberedJobFile) {
  struct Case {
    const char* args;
    const char* windowsPath;  // as printed
    const char* hostPath;     // under the machine root
    const char* destination;  // the output-mode command of the job header
  };
  const Case cases[] = {
      {"--storage E --pages 2", R"(E:\OSTRA\USB\1_FOLDER\JOB000000001.PRN)", "E/OSTRA/USB/1_FOLDER/JOB000000001.PRN",
       "&81&O"},
      {"--storage F --set UsbFolder=4 --pages 2", R"(F:\OSTRA\USB\4_FOLDER\JOB000000001.PRN)",
       "F/OSTRA/USB/4_FOLDER/JOB000000001.PRN", "&84&O"},
      {"--drive G=removable:FAT:STICK --set OutputMode=4 --pages 2", R"(G:\OSTRA\USB\X_AUTO\JOB000000001.PRN)",
       "G/OSTRA/USB/X_AUTO/JOB000000001.PRN", "&87&O"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    fs::remove_all(dir / "root");
    Outcome r = Start(c.args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(r.jobWritten);
    EXPECT_TRUE(r.job.empty());  // the spooler received nothing
    EXPECT_NE(r.out.find("the spooler receives nothing"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.windowsPath), std::string::npos) << r.out;
    const fs::path file = dir / "root" / c.hostPath;
    EXPECT_NE(r.out.find(file.string()), std::string::npos) << r.out;

    streamdump::Decoded job = Decode(Read(file));
    ASSERT_TRUE(job.ok) << job.error << " at " << job.errorOffset;
    EXPECT_TRUE(job.jobEnded);
    EXPECT_EQ(job.pages.size(), 2u);
    EXPECT_TRUE(HasCommand(job, c.destination));

    // The tree the sheets would have made: the counter has moved on to 2.
    const fs::path control = file.parent_path().parent_path() / "X_TMP";
    EXPECT_EQ(fs::file_size(control / "NEVOFOLDER"), 2048u);
    std::vector<unsigned char> counter = Read(control / "NEVOJOB");
    ASSERT_EQ(counter.size(), 512u);
    EXPECT_EQ(counter[0], 2);
    EXPECT_EQ(std::count(counter.begin() + 1, counter.end(), 0), 511);
  }
}

TEST_F(PrintJob, SecondStorageJobTakesTheNextNumberInTheSameTree) {
  ASSERT_EQ(Start("--storage E").exitCode, 0);
  Outcome r = Start("--storage E");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const fs::path folder = dir / "root" / "E" / "OSTRA" / "USB" / "1_FOLDER";
  EXPECT_TRUE(fs::exists(folder / "JOB000000001.PRN"));
  EXPECT_TRUE(fs::exists(folder / "JOB000000002.PRN"));
  EXPECT_NE(r.out.find(R"(E:\OSTRA\USB\1_FOLDER\JOB000000002.PRN)"), std::string::npos) << r.out;
}

// The job file holds the sheets a spooler job gets.
TEST_F(PrintJob, StorageJobFileCarriesTheSpoolersSheets) {
  Outcome spooled = Start("--pages 2");
  ASSERT_EQ(spooled.exitCode, 0) << spooled.out;
  Outcome stored = Start("--pages 2 --storage E");
  ASSERT_EQ(stored.exitCode, 0) << stored.out;
  streamdump::Decoded a = Decode(spooled.job);
  streamdump::Decoded b = Decode(Read(dir / "root" / "E" / "OSTRA" / "USB" / "1_FOLDER" / "JOB000000001.PRN"));
  ASSERT_TRUE(a.ok && b.ok);
  ASSERT_EQ(a.pages.size(), b.pages.size());
  for (std::size_t p = 0; p < a.pages.size(); ++p) {
    EXPECT_EQ(a.pages[p].inkCode, b.pages[p].inkCode) << p;
    ASSERT_EQ(a.pages[p].lines.size(), b.pages[p].lines.size()) << p;
    for (std::size_t l = 0; l < a.pages[p].lines.size(); ++l) {
      EXPECT_EQ(a.pages[p].lines[l].v, b.pages[p].lines[l].v);
      EXPECT_EQ(a.pages[p].lines[l].bytes, b.pages[p].lines[l].bytes);
    }
  }
}

TEST_F(PrintJob, PreviewJobWritesTheSpoolTempFile) {
  Outcome r = Start("--preview --pages 3");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(r.jobWritten);
  EXPECT_TRUE(r.job.empty());
  // The temporary folder ends with a backslash: two in a row in the name.
  EXPECT_NE(r.out.find(R"(C:\TEMP\\RV0001.PRN)"), std::string::npos) << r.out;
  EXPECT_EQ(Count(r.out, "sheet "), 3) << r.out;
  streamdump::Decoded job = Decode(Read(dir / "root" / "C" / "TEMP" / "RV0001.PRN"));
  ASSERT_TRUE(job.ok) << job.error;
  EXPECT_TRUE(job.jobEnded);
  EXPECT_EQ(job.pages.size(), 3u);
}

TEST_F(PrintJob, BadOptionsFailWithoutAJobFile) {
  const char* cases[] = {"--set Bogus=1",
                         "--set ColorMode=256",
                         "--set ColorMode=x",
                         "--pages -1",
                         "--orientation sideways",
                         "--paper 0",
                         "--paper 10x",
                         "--frobnicate",
                         "--set OutputMode=3",  // no removable FAT drive
                         "--storage C",
                         "--storage EE",
                         "--drive E=floppy:FAT32",
                         "--drive E=removable",
                         "--drive C=removable:FAT32",
                         "--drive E=removable:NTFS --storage E",
                         "--storage E --set 'UsbDrive=F:\\'",  // F: is not a drive of the machine
                         "--storage"};
  for (const char* args : cases) {
    Outcome r = Start(args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.out;
    EXPECT_FALSE(r.jobWritten) << args;
    EXPECT_NE(r.out.find("printjob: "), std::string::npos) << args;
  }
}

// Settings that choose no drum fail the job with a real error code, not 0.
TEST_F(PrintJob, AJobWithoutADrumFailsWithItsError) {
  Outcome r = Start("--set ColorMode=2 --set Seihan=3 --set SeparationModeA=4 --set SeparationModeB=5");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("failed in DrvSendPage (error 87)"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("(error 0)"), std::string::npos) << r.out;
}

// Without --model, printjob takes the sample data from share/nevo beside
// its own folder (the drivers from lib/ there), wherever it was built or
// installed: a copy of it in a prefix of its own finds nothing else.
TEST_F(PrintJob, SampleDataIsFoundBesideTheExecutable) {
  const fs::path prefix = dir / "prefix";
  fs::create_directories(prefix / "bin");
  fs::create_directories(prefix / "lib");
  fs::copy_file(fs::path(BIN_DIR_STR) / "printjob", prefix / "bin" / "printjob");
  for (const char* lib : {"classicui.so", "classicrender.so"})
    fs::create_symlink(fs::path(LIB_DIR_STR) / lib, prefix / "lib" / lib);
  auto run = [&](const std::string& args) {
    Outcome r;
    const std::string cmd = (prefix / "bin" / "printjob").string() + " --root '" + (dir / "root").string() +
                            "' --out '" + (dir / "job.prn").string() + "' " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[512];
    while (std::fgets(buf, sizeof(buf), p)) r.out += buf;
    const int status = pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  };

  Outcome missing = run("");
  EXPECT_EQ(missing.exitCode, 2) << missing.out;
  EXPECT_NE(missing.out.find((prefix / "share" / "nevo" / "models" / "NEVO2600.RDF").string()), std::string::npos)
      << missing.out;

  fs::create_directories(prefix / "share" / "nevo" / "models");
  fs::copy(fs::path(MODELS_DIR_STR), prefix / "share" / "nevo" / "models", fs::copy_options::recursive);
  fs::copy(fs::path(RESOURCES_DIR_STR), prefix / "share" / "nevo" / "resources", fs::copy_options::recursive);
  Outcome found = run("--pages 1");
  EXPECT_EQ(found.exitCode, 0) << found.out;
  EXPECT_EQ(Count(found.out, "sheet "), 1) << found.out;
}

}  // namespace
