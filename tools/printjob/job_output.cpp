#include "printjob/job_output.h"

#include <fstream>

namespace printjob {

std::optional<std::uintmax_t> CopySpoolFile(const std::string& spoolFile, const std::filesystem::path& out) {
  namespace fs = std::filesystem;
  fs::path temp = out;
  temp += ".part";
  std::error_code ec;
  if (spoolFile.empty()) {
    std::ofstream(temp, std::ios::binary | std::ios::trunc);
  } else {
    fs::copy_file(spoolFile, temp, fs::copy_options::overwrite_existing, ec);
  }
  const std::uintmax_t size = ec ? 0 : fs::file_size(temp, ec);
  if (!ec) fs::rename(temp, out, ec);
  if (ec) {
    fs::remove(temp, ec);
    return std::nullopt;
  }
  return size;
}

}  // namespace printjob
