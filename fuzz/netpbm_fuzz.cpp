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
  // Rows of stride bytes hold the picture, all of them readable.
  const std::int64_t bitsPerPixel = picture.format == BMF_1BPP ? 1 : picture.format == BMF_8BPP ? 8 : 24;
  if (picture.width <= 0 || picture.height <= 0 || !picture.rows ||
      std::int64_t{picture.stride} * 8 < std::int64_t{picture.width} * bitsPerPixel)
    __builtin_trap();
  const printjob::PictureRows rows(picture);
  if (!rows.bits()) return 0;
  volatile BYTE last = rows.bits()[std::size_t(picture.stride) * std::size_t(picture.height) - 1];
  (void)last;
  return 0;
}
