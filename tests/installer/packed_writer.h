// Writes packed data files and printer data records for the tests, from the
// prefix code table: an encoder independent of the unpacker.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "installer/packed_data.h"

namespace installer_test {

using Bytes = std::vector<std::uint8_t>;

// Writes codes most significant bit first, the last byte padded with zeros.
class BitWriter {
 public:
  void Put(std::uint32_t code, std::uint32_t length) {
    for (std::uint32_t i = length; i-- > 0;) {
      if (used_ == 0) bytes_.push_back(0);
      if ((code >> i) & 1u) bytes_.back() |= static_cast<std::uint8_t>(0x80u >> used_);
      used_ = (used_ + 1) % 8;
    }
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
  std::uint32_t used_ = 0;
};

inline Bytes PackedHeader(std::uint8_t packed, std::uint16_t symbols, std::uint16_t packedLength,
                          std::uint16_t outputLength) {
  return {'N', 'E', 'V', 'O', 1, packed,
          static_cast<std::uint8_t>(symbols), static_cast<std::uint8_t>(symbols >> 8),
          static_cast<std::uint8_t>(packedLength), static_cast<std::uint8_t>(packedLength >> 8),
          static_cast<std::uint8_t>(outputLength), static_cast<std::uint8_t>(outputLength >> 8)};
}

// A packed file of text: its distinct bytes become the symbol bytes, the
// most frequent first so that it gets the shortest code.
inline Bytes Pack(const Bytes& text) {
  std::vector<std::size_t> counts(256, 0);
  for (auto b : text) ++counts[b];
  std::vector<int> order;
  for (int b = 0; b < 256; ++b) {
    if (counts[static_cast<std::size_t>(b)]) order.push_back(b);
  }
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
    return counts[static_cast<std::size_t>(a)] > counts[static_cast<std::size_t>(b)];
  });
  std::vector<int> rowOf(256, -1);
  for (std::size_t r = 0; r < order.size(); ++r) rowOf[static_cast<std::size_t>(order[r])] = static_cast<int>(r);
  BitWriter w;
  for (auto b : text) {
    const auto& row = installer::PrefixCodeTable[static_cast<std::size_t>(rowOf[b])];
    w.Put(row.code, row.length);
  }
  Bytes file = PackedHeader(1, static_cast<std::uint16_t>(order.size()),
                            static_cast<std::uint16_t>(w.bytes().size() | 1), static_cast<std::uint16_t>(text.size()));
  for (int b : order) file.push_back(static_cast<std::uint8_t>(b));
  file.insert(file.end(), w.bytes().begin(), w.bytes().end());
  return file;
}

// The bytes behind a header with the packed flag 0.
inline Bytes Stored(const Bytes& data) {
  Bytes file = PackedHeader(0, 1, 1, static_cast<std::uint16_t>(data.size()));
  file.insert(file.end(), data.begin(), data.end());
  return file;
}

inline void PutU32(Bytes& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// One printer data record: name size, UTF-16 name with its zero, type, data size, data.
inline void PutRecord(Bytes& b, const std::u16string& name, std::uint32_t type, const Bytes& data) {
  PutU32(b, static_cast<std::uint32_t>((name.size() + 1) * 2));
  for (char16_t c : name) {
    b.push_back(static_cast<std::uint8_t>(c));
    b.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  b.push_back(0);
  b.push_back(0);
  PutU32(b, type);
  PutU32(b, static_cast<std::uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
}

}  // namespace installer_test
