#include "installer/packed_data.h"

#include <algorithm>
#include <cstring>

namespace installer {
namespace {

// Runs of consecutive codes of one length, in row order.
struct CodeRun {
  std::uint32_t first;
  std::uint32_t length;
  std::uint32_t count;
};

constexpr CodeRun kCodeRuns[] = {
    {0b00, 2, 1},
    {0b0111, 4, 1}, {0b1101, 4, 1}, {0b1111, 4, 1},
    {0b01000, 5, 2}, {0b10000, 5, 1}, {0b10010, 5, 1}, {0b10100, 5, 1}, {0b10011, 5, 1}, {0b10111, 5, 1},
    {0b010101, 6, 2}, {0b011011, 6, 1}, {0b110000, 6, 2}, {0b111000, 6, 1}, {0b111010, 6, 1},
    {0b0101000, 7, 2}, {0b0101111, 7, 1}, {0b0110000, 7, 1}, {0b0110010, 7, 2}, {0b0110101, 7, 1},
    {0b1000100, 7, 1}, {0b1000110, 7, 1}, {0b1100110, 7, 1}, {0b1100100, 7, 1}, {0b1110011, 7, 1},
    {0b01011100, 8, 1}, {0b01100011, 8, 1}, {0b01100010, 8, 1}, {0b01101001, 8, 1}, {0b10110101, 8, 1},
    {0b11001010, 8, 1}, {0b10110110, 8, 1}, {0b11001011, 8, 1}, {0b11001111, 8, 1}, {0b11100100, 8, 1},
    {0b11001110, 8, 1}, {0b11101101, 8, 1}, {0b11101100, 8, 1},
    {0b010111010, 9, 2}, {0b011010000, 9, 1}, {0b100010100, 9, 2}, {0b011010001, 9, 1}, {0b101101000, 9, 1},
    {0b101101110, 9, 1}, {0b101101001, 9, 1}, {0b101011111, 9, 1}, {0b101101111, 9, 1}, {0b111011100, 9, 2},
    {0b111001011, 9, 1}, {0b111011110, 9, 1},
    {0b1010111001, 10, 1}, {0b1010110110, 10, 1}, {0b1010111000, 10, 1}, {0b1010111011, 10, 1},
    {0b1010111100, 10, 1}, {0b1010111010, 10, 1}, {0b1010110111, 10, 1}, {0b1010111101, 10, 1},
    {0b1110111110, 10, 1}, {0b1110010100, 10, 2}, {0b1110111111, 10, 1},
    {0b10101001110, 11, 2}, {0b10101100000, 11, 12},
    {0b100010111101, 12, 1}, {0b100010111001, 12, 1}, {0b100010111110, 12, 2}, {0b100010111000, 12, 1},
    {0b100010111010, 12, 3}, {0b100010110100, 12, 4}, {0b101010111000, 12, 8}, {0b100010110000, 12, 4},
    {0b100011100000, 12, 16}, {0b101010110000, 12, 8}, {0b100011110000, 12, 16}, {0b101010100000, 12, 16},
    {0b101100000000, 12, 64}, {0b101010000000, 12, 28},
};

constexpr std::array<PrefixCode, 256> BuildTable() {
  std::array<PrefixCode, 256> table{};
  std::size_t row = 0;
  for (const CodeRun& run : kCodeRuns) {
    for (std::uint32_t i = 0; i < run.count; ++i) table[row++] = {run.first + i, run.length};
  }
  // A wrong run list leaves rows unfilled or overflows; both fail the build.
  if (row != table.size()) throw "prefix code runs do not give 256 rows";
  return table;
}

std::uint16_t ReadU16(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t ReadU32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return static_cast<std::uint32_t>(bytes[at]) | (static_cast<std::uint32_t>(bytes[at + 1]) << 8) |
         (static_cast<std::uint32_t>(bytes[at + 2]) << 16) | (static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

constexpr std::array<std::uint32_t, 256> BuildCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<std::uint32_t, 256> kCrcTable = BuildCrcTable();

}  // namespace

constinit const std::array<PrefixCode, 256> PrefixCodeTable = BuildTable();

std::optional<PackedDataHeader> ReadPackedDataHeader(std::span<const std::uint8_t> file) {
  if (file.size() < kPackedHeaderSize) return std::nullopt;
  if (std::memcmp(file.data() + kHeaderMagicOffset, "NEVO", 4) != 0) return std::nullopt;
  PackedDataHeader h;
  h.version = file[kHeaderVersionOffset];
  h.packed = file[kHeaderPackedOffset];
  h.symbolCount = ReadU16(file, kHeaderSymbolCountOffset);
  h.packedLength = ReadU16(file, kHeaderPackedLengthOffset);
  h.outputLength = ReadU16(file, kHeaderOutputLengthOffset);
  if (h.version != 1 || h.symbolCount == 0 || h.symbolCount > PrefixCodeTable.size() || h.packedLength == 0 ||
      h.outputLength == 0) {
    return std::nullopt;
  }
  return h;
}

int DecodePrefixCode(BitReader& reader, std::span<std::uint8_t> output, std::span<const std::uint8_t> symbols,
                     std::size_t outputLength, std::size_t symbolCount) {
  symbolCount = std::min({symbolCount, symbols.size(), PrefixCodeTable.size()});
  if (outputLength > output.size()) return -1;
  std::size_t k = 0;
  std::uint32_t bits = 0;
  std::uint32_t j = 0;
  std::size_t r = 0;
  while (k < outputLength) {
    if (reader.used == 8) {
      ++reader.byte;
      reader.used = 0;
    }
    if (reader.byte >= reader.bytes.size()) return -1;  // the stream ended first
    const std::uint32_t bit = (reader.bytes[reader.byte] >> (7 - reader.used)) & 1u;
    ++reader.used;
    bits = bits * 2 + bit;
    ++j;
    if (j > kMaxCodeBits) return -1;
    for (; r < symbolCount; ++r) {
      const PrefixCode& row = PrefixCodeTable[r];
      if (row.length > j) break;
      if (row.length == j && row.code == bits) {
        output[k++] = symbols[r];
        bits = 0;
        j = 0;
        r = 0;
        break;
      }
    }
  }
  return 0;
}

int UnpackDataFile(std::span<const std::uint8_t> file, std::uint32_t& outputLength, std::vector<std::uint8_t>& output) {
  output.clear();
  outputLength = 0;
  const std::optional<PackedDataHeader> header = ReadPackedDataHeader(file);
  if (!header) return -1;
  const std::size_t length = header->outputLength;
  std::span<const std::uint8_t> rest = file.subspan(kPackedHeaderSize);
  std::vector<std::uint8_t> out(length + 4, 0);
  if (header->packed == 0) {
    if (rest.size() < length) return -1;
    std::copy_n(rest.begin(), length, out.begin());
  } else {
    const std::size_t count = header->symbolCount;
    if (rest.size() < count) return -1;
    BitReader reader{rest.subspan(count)};
    if (DecodePrefixCode(reader, out, rest.first(count), length, count) != 0) return -1;
  }
  output = std::move(out);
  outputLength = static_cast<std::uint32_t>(length);
  return 0;
}

std::vector<PrinterDataRecord> ReadPrinterDataRecords(std::span<const std::uint8_t> data, std::size_t count) {
  std::vector<PrinterDataRecord> records;
  std::size_t at = 0;
  while (records.size() < count) {
    const std::size_t left = data.size() - at;
    if (left < kRecordFixedBytes) break;
    const std::uint32_t n = ReadU32(data, at + kRecordNameSizeOffset);
    if (n < 2 || n % 2 != 0 || n > left - kRecordFixedBytes) break;
    const std::size_t nameAt = at + kRecordNameOffset;
    if (data[nameAt + n - 2] != 0 || data[nameAt + n - 1] != 0) break;
    const std::uint32_t type = ReadU32(data, nameAt + n);
    const std::uint32_t d = ReadU32(data, nameAt + n + 4);
    if (d > left - kRecordFixedBytes - n) break;
    PrinterDataRecord record;
    record.name.resize(n / 2 - 1);
    for (std::size_t i = 0; i < record.name.size(); ++i) {
      record.name[i] = static_cast<char16_t>(data[nameAt + 2 * i] | (data[nameAt + 2 * i + 1] << 8));
    }
    record.type = type;
    record.data = data.subspan(nameAt + n + 8, d);
    records.push_back(std::move(record));
    at += kRecordFixedBytes + n + d;
  }
  return records;
}

std::uint32_t DataFileCrc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace installer
