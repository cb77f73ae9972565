// What the fuzz targets share: a machine root of their own, made once per
// process under TMPDIR and removed at exit, and the input placed as a file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "plat/machine.h"

namespace fuzzsupport {

// The machine root (a fresh temporary folder with its C: drive).
inline const std::filesystem::path& Machine() {
  static const std::filesystem::path root = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz-machine-XXXXXX";
    if (!mkdtemp(pattern.data())) std::abort();
    std::filesystem::create_directories(std::filesystem::path(pattern) / "C");
    plat::machine::SetRoot(pattern);
    plat::machine::Reset();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(plat::machine::Root(), ec);
    });
    return std::filesystem::path(pattern);
  }();
  return root;
}

// Writes bytes to a host file, its folders made; false when it cannot.
inline bool PutHostFile(const std::filesystem::path& host, const std::uint8_t* data, std::size_t size) {
  std::error_code ec;
  std::filesystem::create_directories(host.parent_path(), ec);
  std::ofstream out(host, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

// Writes bytes to the file at a Windows path of the machine.
inline bool PutFile(std::u16string_view windowsPath, const std::uint8_t* data, std::size_t size) {
  Machine();
  std::string host;
  return plat::machine::HostPath(windowsPath, host) && PutHostFile(host, data, size);
}

}  // namespace fuzzsupport
