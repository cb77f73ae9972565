// The job's stream as the spooler kept it: copied to the output file and read
// back through a mapping, so that no copy of a long job is held in memory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace printjob {

// Copies the spool file (none: the spooler received nothing) to out, written
// beside it and renamed so that a failure leaves no half file. The bytes
// copied, or nullopt on failure.
std::optional<std::uintmax_t> CopySpoolFile(const std::string& spoolFile, const std::filesystem::path& out);

}  // namespace printjob
