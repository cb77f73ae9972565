// The quick-install data files: the 12-byte header, the fixed prefix code
// that packs them, the unpacker and the printer data records they carry.
// Pure byte work on spans; every length read from a file is checked
// against the bytes that are really there.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace installer {

// One row of the prefix code: the code's bits, most significant first, in
// the low `length` bits of `code`.
struct PrefixCode {
  std::uint32_t code;
  std::uint32_t length;
};

// Row i codes symbol byte i; rows are ordered by length and form a complete
// prefix code (not canonical).
extern const std::array<PrefixCode, 256> PrefixCodeTable;

constexpr std::size_t kPackedHeaderSize = 12;
constexpr std::size_t kMaxCodeBits = 15;

// The first 12 bytes of "PPfile.dat" and "DMfile.dat", little-endian.
struct PackedDataHeader {
  std::uint8_t version = 0;
  std::uint8_t packed = 0;          // 0: stored
  std::uint16_t symbolCount = 0;    // 1..256 symbol bytes follow the header
  std::uint16_t packedLength = 0;   // must not be 0; bounds nothing
  std::uint16_t outputLength = 0;   // bytes the file unpacks to, 1..65535
};
// The header's 16-bit output length: no unpacked file, and so no set of
// printer data records, holds more.
inline constexpr std::uint32_t kMaxUnpackedLength = 0xFFFF;
inline constexpr std::size_t kHeaderMagicOffset = 0;
inline constexpr std::size_t kHeaderVersionOffset = 4;
inline constexpr std::size_t kHeaderPackedOffset = 5;
inline constexpr std::size_t kHeaderSymbolCountOffset = 6;
inline constexpr std::size_t kHeaderPackedLengthOffset = 8;
inline constexpr std::size_t kHeaderOutputLengthOffset = 10;
static_assert(kHeaderOutputLengthOffset + 2 == kPackedHeaderSize);

// The header of a file image; nullopt when it is short or breaks a rule
// (magic "NEVO", version 1, symbol count 1..256, packed and output length
// not 0).
std::optional<PackedDataHeader> ReadPackedDataHeader(std::span<const std::uint8_t> file);

// Reads bits most significant first from a byte span; never past its end.
struct BitReader {
  std::span<const std::uint8_t> bytes;
  std::size_t byte = 0;      // current byte
  std::uint32_t used = 0;    // bits of it already taken
};

// Decodes outputLength symbols into output (which holds at least that many
// bytes) with the first symbolCount rows of the table. 0, or -1 when a code
// matches no row within 15 bits or the stream ends first.
int DecodePrefixCode(BitReader& reader, std::span<std::uint8_t> output, std::span<const std::uint8_t> symbols,
                     std::size_t outputLength, std::size_t symbolCount);

// Unpacks a file image. On 0, outputLength is the header's and output holds
// outputLength + 4 bytes (the last four zero). -1 for a bad header, a file
// shorter than its header says or an undecodable stream; output is then
// empty.
int UnpackDataFile(std::span<const std::uint8_t> file, std::uint32_t& outputLength, std::vector<std::uint8_t>& output);

// One printer data value of the unpacked "PPfile.dat".
struct PrinterDataRecord {
  std::u16string name;                  // without its terminating zero
  std::uint32_t type = 0;               // registry type
  std::span<const std::uint8_t> data;   // inside the unpacked output
};
inline constexpr std::size_t kRecordNameSizeOffset = 0;
inline constexpr std::size_t kRecordNameOffset = 4;
inline constexpr std::size_t kRecordFixedBytes = 12;  // name size, type, data size

// The first `count` records of data, in order. The walk stops at a record
// that does not fit the rest of data or whose name size is odd, below 2 or
// not ended by a zero unit.
std::vector<PrinterDataRecord> ReadPrinterDataRecords(std::span<const std::uint8_t> data, std::size_t count);

// CRC-32 (reflected 0xEDB88320, register starting at all ones, result
// complemented).
std::uint32_t DataFileCrc32(std::span<const std::uint8_t> bytes);

}  // namespace installer
