// printjob runs of the tools tests: a job on a machine root in the test's
// folder, the stream written to a file of it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "streamdump/stream_decoder.h"
#include "support/run_command.h"

namespace tooltest {

// printjob's command line: the machine root dir/root, the stream to job, then args.
inline std::string PrintJobCommand(const std::filesystem::path& dir, const std::filesystem::path& job,
                                   const std::string& args, const std::string& program = BIN_DIR_STR "/printjob") {
  return "'" + program + "' --root '" + (dir / "root").string() + "' --out '" + job.string() + "' " + args;
}

struct JobRun {
  int exitCode = -1;
  std::string out;  // stdout and stderr
  std::vector<unsigned char> job;
  bool jobWritten = false;
};

// Runs printjob with args for a job into dir/job.prn, and reads the job back.
inline JobRun RunPrintJob(const std::filesystem::path& dir, const std::string& args,
                          const std::string& program = BIN_DIR_STR "/printjob") {
  JobRun r;
  const std::filesystem::path job = dir / "job.prn";
  r.exitCode = testsupport::RunCommand(PrintJobCommand(dir, job, args, program) + " 2>&1", &r.out);
  std::ifstream in(job, std::ios::binary);
  r.jobWritten = in.good();
  r.job.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return r;
}

// A job that draws script (printjob --draw, through dir/page.txt) with args
// before it: the run and its drum pages read back from the stream. A failed
// run or a stream that does not decode fails the calling test.
struct DrawnJob {
  JobRun run;
  streamdump::Decoded decoded;
  std::vector<streamdump::Plane> pages;
};

inline DrawnJob DrawJob(const std::filesystem::path& dir, const std::string& args, const std::string& script) {
  std::ofstream(dir / "page.txt") << script;
  DrawnJob drawn;
  drawn.run = RunPrintJob(dir, args + " --draw '" + (dir / "page.txt").string() + "'");
  EXPECT_EQ(drawn.run.exitCode, 0) << drawn.run.out;
  drawn.decoded = streamdump::DecodeStream(std::span<const std::uint8_t>(drawn.run.job.data(), drawn.run.job.size()));
  EXPECT_TRUE(drawn.decoded.ok) << drawn.decoded.error;
  for (const auto& page : drawn.decoded.pages) drawn.pages.push_back(streamdump::RebuildPlane(drawn.decoded, page));
  return drawn;
}

}  // namespace tooltest
