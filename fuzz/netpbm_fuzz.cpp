// libFuzzer target: printjob's netpbm picture reader.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_machine.h"
#include "printjob/netpbm_read.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string path = (fuzzsupport::Machine() / "picture.pnm").string();
  if (!fuzzsupport::PutHostFile(path, data, size)) return 0;
  printjob::NetpbmPicture picture;
  std::string error;
  if (!printjob::ReadNetpbm(path, picture, error)) return 0;
  // Rows of stride bytes, a multiple of 4, hold the picture.
  if (picture.width <= 0 || picture.height <= 0 || picture.stride % 4 != 0) __builtin_trap();
  if (picture.bits.size() != std::size_t(picture.stride) * std::size_t(picture.height)) __builtin_trap();
  return 0;
}
