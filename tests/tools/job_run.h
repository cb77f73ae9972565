// printjob runs of the tools tests: a job on a machine root in the test's
// folder, the stream written to a file of it.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

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

}  // namespace tooltest
