// Peers are Debian packages that scripts/bootstrap installs. A test that needs
// a missing one fails under CI (CI=true), where the bootstrap ran and the
// peer's absence is a fault of the machine; elsewhere it is skipped, naming
// the package to install.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <string_view>

namespace testsupport {

inline bool UnderCi() {
  const char* ci = std::getenv("CI");
  if (!ci) return false;
  const std::string_view value(ci);
  return !value.empty() && value != "false" && value != "0";
}

// True when `program` is on PATH.
inline bool HasProgram(const std::string& program) {
  return std::system(("command -v '" + program + "' >/dev/null 2>&1").c_str()) == 0;
}

inline std::string MissingPeer(std::string_view package) {
  return std::string(package) + " is not installed (scripts/bootstrap installs it)";
}

}  // namespace testsupport

// Leaves the test unless `present`: a failure under CI, a skip naming
// `package` elsewhere. For a test body, a fixture's SetUp or a void helper.
#define REQUIRE_PEER(present, package)                                                    \
  do {                                                                                    \
    if (!(present)) {                                                                     \
      if (::testsupport::UnderCi()) GTEST_FAIL() << ::testsupport::MissingPeer(package);  \
      GTEST_SKIP() << ::testsupport::MissingPeer(package);                                \
    }                                                                                     \
  } while (0)
