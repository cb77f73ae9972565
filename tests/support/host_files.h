// Host-side file helpers shared by the tests: read and write a file of the
// machine root as bytes, and the bytes of a stored job counter.
#pragma once

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "plat/base.h"

namespace testsupport {

inline std::vector<BYTE> ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteHostFile(const std::string& path, const std::vector<BYTE>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// "NEVOJOB": a little-endian u32 and zeros up to its size (512 bytes).
inline std::vector<BYTE> CounterBytes(std::uint32_t value, std::size_t size = 512) {
  std::vector<BYTE> bytes(size, 0);
  for (std::size_t b = 0; b < 4 && b < size; ++b) bytes[b] = static_cast<BYTE>(value >> (8 * b));
  return bytes;
}

}  // namespace testsupport
