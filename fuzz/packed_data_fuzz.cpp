// libFuzzer target: the quick-install data unpacker and the printer data
// record walk over what it unpacks.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "installer/packed_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  std::uint32_t length = 0;
  std::vector<std::uint8_t> output;
  if (installer::UnpackDataFile(file, length, output) != 0) {
    if (!output.empty() || length != 0) __builtin_trap();
    return 0;
  }
  if (length == 0 || output.size() != length + 4u) __builtin_trap();
  for (std::size_t i = length; i < output.size(); ++i) {
    if (output[i] != 0) __builtin_trap();
  }
  const std::span<const std::uint8_t> unpacked(output.data(), length);
  std::size_t walked = 0;
  for (const auto& record : installer::ReadPrinterDataRecords(unpacked, 1000)) {
    // Every record's data lies inside the unpacked bytes, in order.
    if (record.data.data() < unpacked.data() + walked ||
        record.data.data() + record.data.size() > unpacked.data() + unpacked.size()) {
      __builtin_trap();
    }
    walked = static_cast<std::size_t>(record.data.data() + record.data.size() - unpacked.data());
  }
  return 0;
}
