#include "installer/packed_data.h"
#include "packed_writer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace installer_test {
namespace {

using installer::PrefixCodeTable;
using installer::UnpackDataFile;
int Unpack(const Bytes& file, Bytes& out) {
  std::uint32_t length = 0;
  const int r = UnpackDataFile(file, length, out);
  if (r == 0) {
    EXPECT_EQ(out.size(), length + 4u);
    for (std::size_t i = length; i < out.size(); ++i) EXPECT_EQ(out[i], 0) << "padding byte " << i;
    out.resize(length);
  } else {
    EXPECT_TRUE(out.empty());
  }
  return r;
}

TEST(PrefixCodeTable, OrderedCompleteAndPrefixFree) {
  // Kraft sum exactly 1 (complete), lengths never fall, no code starts another.
  std::uint64_t kraft = 0;
  for (std::size_t r = 0; r < 256; ++r) {
    const auto& row = PrefixCodeTable[r];
    ASSERT_GE(row.length, 1u);
    ASSERT_LE(row.length, 15u);
    ASSERT_LT(row.code, 1u << row.length) << r;
    if (r > 0) {
      EXPECT_GE(row.length, PrefixCodeTable[r - 1].length) << r;
    }
    kraft += 1ull << (15 - row.length);
    for (std::size_t s = 0; s < r; ++s) {
      const auto& shorter = PrefixCodeTable[s];
      EXPECT_NE(row.code >> (row.length - shorter.length), shorter.code) << "row " << s << " prefixes row " << r;
    }
  }
  EXPECT_EQ(kraft, 1ull << 15);
  // Spot rows from the written table.
  EXPECT_EQ(PrefixCodeTable[0].code, 0b00u);
  EXPECT_EQ(PrefixCodeTable[3].code, 0b1111u);
  EXPECT_EQ(PrefixCodeTable[29].code, 0b1110011u);
  EXPECT_EQ(PrefixCodeTable[70].code, 0b10101001110u);
  EXPECT_EQ(PrefixCodeTable[84].code, 0b100010111101u);
  EXPECT_EQ(PrefixCodeTable[255].code, 0b101010011011u);
}

TEST(UnpackDataFile, DecodesTheWrittenVector) {
  const Bytes file = {0x4E, 0x45, 0x56, 0x4F, 0x01, 0x01, 0x02, 0x00, 0x01, 0x00, 0x03, 0x00, 0x41, 0x42, 0x1C};
  Bytes out;
  ASSERT_EQ(Unpack(file, out), 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), "ABA");
}

TEST(UnpackDataFile, RoundTripsEverySymbol) {
  // All 256 rows in use, each symbol a different number of times, mixed order.
  Bytes text;
  for (int b = 0; b < 256; ++b) {
    for (int n = 0; n <= (255 - b) / 16; ++n) text.push_back(static_cast<std::uint8_t>(b));
  }
  std::mt19937 rng(7);
  std::shuffle(text.begin(), text.end(), rng);
  const Bytes file = Pack(text);
  ASSERT_EQ(file[6] | (file[7] << 8), 256);
  Bytes out;
  ASSERT_EQ(Unpack(file, out), 0);
  EXPECT_EQ(out, text);
}

TEST(UnpackDataFile, StoredDataIsTheBytesBehindTheHeader) {
  Bytes file = PackedHeader(0, 1, 1, 5);
  for (std::uint8_t b : {9, 8, 7, 6, 5, 4}) file.push_back(b);  // one byte more than the length
  Bytes out;
  ASSERT_EQ(Unpack(file, out), 0);
  EXPECT_EQ(out, (Bytes{9, 8, 7, 6, 5}));
}

TEST(UnpackDataFile, SymbolCountOneUsesOnlyRowZero) {
  // Code "00" four times per byte; any other bit pattern matches no row.
  Bytes file = PackedHeader(1, 1, 1, 6);
  file.push_back('Z');
  file.push_back(0x00);
  file.push_back(0x00);
  Bytes out;
  ASSERT_EQ(Unpack(file, out), 0);
  EXPECT_EQ(std::string(out.begin(), out.end()), "ZZZZZZ");
  file.back() = 0x40;  // "01" cannot start a code of a one-row table
  EXPECT_EQ(Unpack(file, out), -1);
}

TEST(UnpackDataFile, RefusesBadHeaders) {
  const Bytes good = Pack(Bytes{'x', 'y', 'x'});
  Bytes out;
  ASSERT_EQ(Unpack(good, out), 0);
  struct Case {
    const char* what;
    std::size_t at;
    std::uint8_t value;
  } cases[] = {
      {"magic", 0, 'n'},           {"magic last", 3, 'o'},     {"version 0", 4, 0},
      {"version 2", 4, 2},         {"symbol count 0", 6, 0},   {"symbol count 257", 7, 1},
      {"packed length 0", 8, 0},   {"output length 0", 10, 0},
  };
  for (const Case& c : cases) {
    Bytes bad = good;
    bad[c.at] = c.value;
    if (c.at == 8) bad[9] = 0;
    if (c.at == 10) bad[11] = 0;
    if (c.at == 7) bad[6] = 1;  // 0x0101
    EXPECT_EQ(Unpack(bad, out), -1) << c.what;
  }
  for (std::size_t n = 0; n < installer::kPackedHeaderSize; ++n) {
    EXPECT_EQ(Unpack(Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), out), -1) << n << " bytes";
  }
}

TEST(UnpackDataFile, TruncatedFilesFailInsideTheFile) {
  Bytes text;
  for (int i = 0; i < 300; ++i) text.push_back(static_cast<std::uint8_t>((i * 37) % 41));
  const Bytes packed = Pack(text);
  const std::size_t symbols = static_cast<std::size_t>(packed[6] | (packed[7] << 8));
  Bytes out;
  // Every cut inside the symbols or the stream fails (the last byte holds
  // bits of the last code).
  for (std::size_t n = installer::kPackedHeaderSize; n < packed.size(); ++n) {
    ASSERT_EQ(Unpack(Bytes(packed.begin(), packed.begin() + static_cast<std::ptrdiff_t>(n)), out), -1)
        << n << " of " << packed.size() << " bytes, " << symbols << " symbols";
  }
  // A stored file shorter than its output length.
  Bytes stored = PackedHeader(0, 1, 1, 4);
  stored.insert(stored.end(), {1, 2, 3});
  EXPECT_EQ(Unpack(stored, out), -1);
  // An output length above what the stream holds: the stream ends first.
  Bytes longer = packed;
  longer[10] = static_cast<std::uint8_t>((text.size() + 50) & 0xFF);
  longer[11] = static_cast<std::uint8_t>((text.size() + 50) >> 8);
  EXPECT_EQ(Unpack(longer, out), -1);
}

TEST(UnpackDataFile, OutputLengthBeyondPackedLengthIsAllowed) {
  // 65535 twelve-bit codes need more bytes than a 16-bit packed length can say.
  Bytes file = PackedHeader(1, 256, 1, 65535);
  for (int b = 0; b < 256; ++b) file.push_back(static_cast<std::uint8_t>(255 - b));
  BitWriter w;
  for (int i = 0; i < 65535; ++i) w.Put(PrefixCodeTable[255].code, 12);
  file.insert(file.end(), w.bytes().begin(), w.bytes().end());
  ASSERT_GT(w.bytes().size(), 65535u);
  Bytes out;
  ASSERT_EQ(Unpack(file, out), 0);
  EXPECT_EQ(out, Bytes(65535, 0));
}

// --- printer data records ---

TEST(PrinterDataRecords, WalksRecordsInOrderUpToTheCount) {
  Bytes data;
  PutRecord(data, u"PrinterDataSize", 4, {8, 0, 0, 0});
  PutRecord(data, u"PrinterData", 3, {1, 2, 3});
  PutRecord(data, u"Empty", 3, {});
  auto all = installer::ReadPrinterDataRecords(data, 3);
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].name, u"PrinterDataSize");
  EXPECT_EQ(all[0].type, 4u);
  EXPECT_EQ(Bytes(all[0].data.begin(), all[0].data.end()), (Bytes{8, 0, 0, 0}));
  EXPECT_EQ(all[1].name, u"PrinterData");
  EXPECT_EQ(Bytes(all[1].data.begin(), all[1].data.end()), (Bytes{1, 2, 3}));
  EXPECT_TRUE(all[2].data.empty());
  EXPECT_EQ(installer::ReadPrinterDataRecords(data, 2).size(), 2u);
  EXPECT_EQ(installer::ReadPrinterDataRecords(data, 9).size(), 3u);
}

TEST(PrinterDataRecords, ARecordThatDoesNotFitEndsTheWalk) {
  Bytes first;
  PutRecord(first, u"A", 4, {1, 0, 0, 0});
  struct Case {
    const char* what;
    Bytes second;
  };
  auto record = [](std::uint32_t n, const Bytes& name, std::uint32_t d, const Bytes& data) {
    Bytes b;
    PutU32(b, n);
    for (std::uint8_t c : name) b.push_back(c);
    PutU32(b, 3);
    PutU32(b, d);
    for (std::uint8_t c : data) b.push_back(c);
    return b;
  };
  const Case cases[] = {
      {"name size past the end", record(0xFFFFFFF0u, {'B', 0, 0, 0}, 0, {})},
      {"odd name size", record(3, {'B', 0, 0}, 0, {})},
      {"name size 0", record(0, {}, 0, {})},
      {"name not ended by a zero unit", record(2, {'B', 0}, 0, {})},
      {"data size past the end", record(4, {'B', 0, 0, 0}, 1000, {1, 2, 3, 4})},
      {"data size wraps", record(4, {'B', 0, 0, 0}, 0xFFFFFFFFu, {1})},
      {"fixed fields cut", Bytes{4, 0, 0, 0, 'B', 0, 0, 0, 3, 0}},
  };
  for (const Case& c : cases) {
    Bytes data = first;
    data.insert(data.end(), c.second.begin(), c.second.end());
    PutRecord(data, u"C", 4, {2, 0, 0, 0});  // never reached behind a bad record
    const auto got = installer::ReadPrinterDataRecords(data, 3);
    ASSERT_GE(got.size(), 1u) << c.what;
    EXPECT_EQ(got.size(), 1u) << c.what;
    EXPECT_EQ(got[0].name, u"A") << c.what;
  }
}

// --- check value ---

TEST(DataFileCrc32, AgreesWithZlib) {
  std::mt19937 rng(25);
  for (std::size_t size : {0u, 1u, 3u, 255u, 4096u}) {
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    const uLong peer = crc32(crc32(0L, Z_NULL, 0), b.data(), static_cast<uInt>(b.size()));
    EXPECT_EQ(installer::DataFileCrc32(b), static_cast<std::uint32_t>(peer)) << size;
  }
  const std::string check = "123456789";
  EXPECT_EQ(installer::DataFileCrc32(Bytes(check.begin(), check.end())), 0xCBF43926u);
}

}  // namespace
}  // namespace installer_test
