// Random bytes for a bench's source pictures, the same in every run.
#pragma once

#include <cstddef>
#include <random>
#include <vector>

#include "plat/base.h"

namespace benchsupport {

inline std::vector<BYTE> RandomBytes(std::size_t count, unsigned seed) {
  std::vector<BYTE> bytes(count);
  std::mt19937 rng(seed);
  for (BYTE& b : bytes) b = static_cast<BYTE>(rng());
  return bytes;
}

}  // namespace benchsupport
