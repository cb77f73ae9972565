// Output files that are whole or absent: a tool writes through a temporary
// name beside the target and renames it over the target only when every
// byte was written, so a full drive or a failed step never leaves a
// truncated file under the name a user or a later step reads.
#pragma once

#include <filesystem>
#include <system_error>
#include <utility>

namespace tools {

// Calls write(temporary path); on true renames the temporary file to target,
// on false or a failed rename removes it. True only when target is complete.
template <typename Write>
bool WriteWhole(const std::filesystem::path& target, Write&& write) {
  std::filesystem::path temp = target;
  temp += ".part";
  std::error_code ec;
  bool ok = std::forward<Write>(write)(temp);
  if (ok) {
    std::filesystem::rename(temp, target, ec);
    ok = !ec;
  }
  if (!ok) std::filesystem::remove(temp, ec);
  return ok;
}

}  // namespace tools
