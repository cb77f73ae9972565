// The python3 that can import what a test needs: each python3 on PATH in
// turn, the system's /usr/bin/python3 last ("" when none can).
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// modules: a comma-separated import list, as in "numpy, PIL".
inline std::string PythonWith(std::string_view modules) {
  std::vector<std::string> candidates;
  if (const char* path = std::getenv("PATH")) {
    std::string_view rest(path);
    while (!rest.empty()) {
      const std::size_t colon = rest.find(':');
      const std::string_view dir = rest.substr(0, colon);
      if (!dir.empty()) candidates.push_back(std::string(dir) + "/python3");
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
  }
  candidates.push_back("/usr/bin/python3");
  for (const std::string& python : candidates) {
    if (::access(python.c_str(), X_OK) != 0) continue;
    std::string probe = "'" + python + "' -c 'import ";
    probe += modules;
    probe += "' >/dev/null 2>&1";
    if (std::system(probe.c_str()) == 0) return python;
  }
  return "";
}

}  // namespace testsupport
