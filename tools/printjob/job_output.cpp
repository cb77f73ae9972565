#include "printjob/job_output.h"

#include <fstream>

#include "streamdump/whole_file.h"

namespace printjob {

std::optional<std::uintmax_t> CopySpoolFile(const std::string& spoolFile, const std::filesystem::path& out) {
  namespace fs = std::filesystem;
  std::uintmax_t size = 0;
  const bool copied = tools::WriteWhole(out, [&](const fs::path& temp) {
    std::error_code ec;
    if (spoolFile.empty()) {
      std::ofstream file(temp, std::ios::binary | std::ios::trunc);
      file.close();
      if (!file) return false;
    } else {
      fs::copy_file(spoolFile, temp, fs::copy_options::overwrite_existing, ec);
    }
    size = ec ? 0 : fs::file_size(temp, ec);
    return !ec;
  });
  if (!copied) return std::nullopt;
  return size;
}

}  // namespace printjob
