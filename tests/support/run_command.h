// Runs a shell command and keeps what it prints, for tests and benches that
// drive a tool or a host command. Callers that want stderr too append " 2>&1".
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace testsupport {

// The command's exit status (-1 when it could not start or did not end
// normally); its standard output in *out when given.
inline int RunCommand(const std::string& command, std::string* out = nullptr) {
  std::string text;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) {
    if (out) out->clear();
    return -1;
  }
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
  const int status = pclose(pipe);
  if (out) *out = std::move(text);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One of our programs as a command: run through the emulator the tests run
// under (TEST_EMULATOR, e.g. qemu-i386 in an x86 tree on a kernel without
// 32-bit programs), when there is one.
inline std::string OurProgram(const std::string& path) {
  const char* emulator = std::getenv("TEST_EMULATOR");
  return emulator && *emulator ? std::string(emulator) + " " + path : path;
}

}  // namespace testsupport
