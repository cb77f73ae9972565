// The user paper and setting file codec against an independent peer
// (tests/sheets/userfiles_peer.py: struct and zlib), and its refusals.
#include "sheets/user_file_codec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "support/peer.h"
#include "support/python_peer.h"

namespace {

const std::string kPeer = std::string(PROJECT_SOURCE_DIR_STR) + "/tests/sheets/userfiles_peer.py";
constexpr char16_t kModel[] = u"NEVO 2600 \u00e9";

std::string Hex(std::string_view bytes) {
  std::string out;
  char two[3];
  for (unsigned char c : bytes) {
    std::snprintf(two, sizeof two, "%02x", c);
    out += two;
  }
  return out.empty() ? "-" : out;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  EXPECT_TRUE(Utf16ToUtf8(text, out));
  return out;
}

bool Latin1(std::string_view bytes, std::u16string& out) {
  out.clear();
  for (unsigned char c : bytes) out += static_cast<char16_t>(c);
  return true;
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
}

UserPaper Paper(std::u16string_view name, std::int32_t width, std::int32_t length, std::uint16_t inch) {
  UserPaper p{};
  std::copy(name.begin(), name.end(), p.Name);
  p.Width = width;
  p.Length = length;
  p.InchFlag = inch;
  return p;
}

class Peer : public ::testing::Test {
 protected:
  void SetUp() override {
    static const std::string python = testsupport::PythonWith("struct, zlib");
    python_ = python;
    REQUIRE_PEER(!python_.empty(), "python3");
  }
  // Runs the peer; its standard output, one line an element.
  std::vector<std::string> Run(const std::string& args) {
    const std::string out = dir_.File("out.txt");
    const int rc = std::system((python_ + " " + kPeer + " " + args + " >" + out).c_str());
    EXPECT_EQ(rc, 0) << args;
    std::vector<std::string> lines;
    std::ifstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  // Builds a file of `kind` from rows (tab-separated) with the peer.
  std::vector<std::uint8_t> Build(const std::string& kind, const std::vector<std::string>& rows,
                                  const std::string& version = "V518B1",
                                  std::u16string_view model = kModel) {
    const std::string records = dir_.File("records.txt");
    {
      std::ofstream r(records);
      for (const auto& row : rows) r << row << "\n";
    }
    const std::string file = dir_.File("built.bin");
    Run("build " + kind + " " + file + " '" + Utf8(model) + "' " + version + " " + records);
    return ReadAll(file);
  }
  std::vector<std::uint8_t> ImportPapers(const std::vector<std::string>& rows, UserPaperTable& table, bool& damaged) {
    auto file = Build("paper", rows);
    const std::size_t at = ReadUserFileHeader(file, kModel, UserFileKind::Paper);
    EXPECT_GT(at, 0u);
    damaged = false;
    EXPECT_EQ(ReadUdpRecords(std::span(file).subspan(at), table, &damaged), 1);
    return file;
  }
  std::string python_;
  testsupport::ScratchDir dir_{"userfiles_peer"};
};

TEST_F(Peer, PaperFilesWeWriteParseToTheSameTable) {
  UserPaperTable table{};
  table.Entry[0] = Paper(u"Custom A4", 210000, 297000, 0);
  table.Entry[1] = Paper(u"Letter \u00fc", 215900, 279400, 1);
  table.Entry[2] = Paper(u"\u7528\u7d19 \U0001F4C4 thirty characters long", 100999, 148000, 0);
  table.Entry[3] = Paper(u"Rounded", 101727, 381, 1);  // 400.5 hundredths rounds up, 1.5 too
  table.Count = 4;
  std::vector<std::uint8_t> file;
  ASSERT_EQ(WriteUserFileHeader(file, kModel, UserFileKind::Paper), 50 + Utf8(kModel).size());
  const std::size_t block = WriteUdpRecords(file, table);
  std::size_t records = 0;
  for (int i = 0; i < 4; ++i) records += Utf8(table.Entry[i].Name).size() + 45;
  EXPECT_EQ(block, 100 + records);
  WriteAll(dir_.File("ours.udp"), file);
  const std::vector<std::string> expected = {
      "header " + Hex(Utf8(kModel)) + " V518B1",
      "paper " + Hex(Utf8(table.Entry[0].Name)) + " 210 297 1",
      "paper " + Hex(Utf8(table.Entry[1].Name)) + " 8.50 11.00 2",
      "paper " + Hex(Utf8(table.Entry[2].Name)) + " 100 148 1",
      "paper " + Hex(Utf8(table.Entry[3].Name)) + " 4.01 0.02 2",
  };
  EXPECT_EQ(Run("parse " + dir_.File("ours.udp")), expected);
}

TEST_F(Peer, PaperFilesThePeerWritesImportToTheSameValues) {
  const std::string longName(35, 'x');
  UserPaperTable table{};
  bool damaged = true;
  ImportPapers({Hex("A5 mm") + "\t148\t210\t1", Hex("Letter") + "\t8.50\t11.00\t2", Hex("Short") + "\t8.5\t11\t2",
                Hex(longName) + "\t297\t420\t1", Hex("\xe2\x82\xac uro") + "\t0\t1\t1"},
               table, damaged);
  EXPECT_FALSE(damaged);
  ASSERT_EQ(table.Count, 5);
  struct Want {
    std::u16string name;
    std::int32_t width, length;
    std::uint16_t inch;
  };
  const Want want[] = {{u"A5 mm", 148000, 210000, 0},
                       {u"Letter", 215900, 279400, 1},
                       {u"Short", 215900, 279400, 1},
                       {std::u16string(30, u'x'), 297000, 420000, 0},
                       {u"\u20ac uro", 0, 1000, 0}};
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(std::u16string(table.Entry[i].Name), want[i].name);
    EXPECT_EQ(table.Entry[i].Width, want[i].width);
    EXPECT_EQ(table.Entry[i].Length, want[i].length);
    EXPECT_EQ(table.Entry[i].InchFlag, want[i].inch);
  }
}

DocSettings RandomSettings(unsigned seed) {
  DocSettings s{};
  std::mt19937 random(seed);
  auto* bytes = reinterpret_cast<std::uint8_t*>(&s);
  for (std::size_t i = 0; i < sizeof s; ++i) bytes[i] = static_cast<std::uint8_t>(random());
  return s;
}

std::uint32_t BlockCrc(const DocSettings& s) {
  Crc32Table t;
  return Crc32(t, std::span(reinterpret_cast<const std::uint8_t*>(&s), sizeof s));
}

TEST_F(Peer, SettingFilesWeWriteParseWithTheirCrc) {
  auto table = std::make_unique<FavoriteTable>();
  const std::u16string names[] = {u"Daily", u"\u4f1a\u8b70 A3", u"twenty characters ok"};
  for (int i = 0; i < 3; ++i) {
    std::copy(names[i].begin(), names[i].end(), table->Entry[i].Name);
    table->Entry[i].Settings = RandomSettings(static_cast<unsigned>(i + 1));
  }
  table->Count = 3;
  std::vector<std::uint8_t> file;
  ASSERT_GT(WriteUserFileHeader(file, kModel, UserFileKind::Setting), 0u);
  ASSERT_GT(WriteUdsRecords(file, *table), 0u);
  WriteAll(dir_.File("ours.uds"), file);
  std::vector<std::string> expected = {"header " + Hex(Utf8(kModel)) + " V518B1"};
  char crc[16];
  for (int i = 0; i < 3; ++i) {
    std::snprintf(crc, sizeof crc, "%08x", BlockCrc(table->Entry[i].Settings));
    expected.push_back("setting " + Hex(Utf8(names[i])) + " " + crc);
  }
  EXPECT_EQ(Run("parse " + dir_.File("ours.uds")), expected);
}

TEST_F(Peer, SettingFilesThePeerWritesImportForTheirModelOnly) {
  const DocSettings a = RandomSettings(7), b = RandomSettings(8);
  WriteAll(dir_.File("a.bin"), std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&a),
                                                          reinterpret_cast<const std::uint8_t*>(&a) + sizeof a));
  WriteAll(dir_.File("b.bin"), std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&b),
                                                          reinterpret_cast<const std::uint8_t*>(&b) + sizeof b));
  const std::string longName(25, 'n');
  // The plug-in build's version is accepted as well.
  auto file = Build("setting", {Hex("Mine") + "\t" + dir_.File("a.bin"), Hex(longName) + "\t" + dir_.File("b.bin")},
                    "V219B1");
  const std::size_t at = ReadUserFileHeader(file, kModel, UserFileKind::Setting);
  ASSERT_EQ(at, 50 + Utf8(kModel).size());
  EXPECT_EQ(ReadUserFileHeader(file, u"NEVO 2600", UserFileKind::Setting), 0u) << "another model";
  EXPECT_EQ(ReadUserFileHeader(file, u"NEVO 2600", UserFileKind::Paper), at) << "papers take any model";
  auto table = std::make_unique<FavoriteTable>();
  bool damaged = false;
  ASSERT_EQ(ReadUdsRecords(std::span(file).subspan(at), *table, &damaged), 1);
  EXPECT_FALSE(damaged);
  ASSERT_EQ(table->Count, 2);
  EXPECT_EQ(std::u16string(table->Entry[0].Name), u"Mine");
  EXPECT_EQ(std::u16string(table->Entry[1].Name), std::u16string(20, u'n'));
  EXPECT_EQ(std::memcmp(&table->Entry[0].Settings, &a, sizeof a), 0);
  EXPECT_EQ(std::memcmp(&table->Entry[1].Settings, &b, sizeof b), 0);

  // One changed settings byte skips only that record.
  const std::size_t firstBlock = at + 100 + 15 + 4 + 5;
  file[firstBlock + 1000] ^= 0x01;
  damaged = false;
  ASSERT_EQ(ReadUdsRecords(std::span(file).subspan(at), *table, &damaged), 1);
  EXPECT_TRUE(damaged);
  ASSERT_EQ(table->Count, 1);
  EXPECT_EQ(std::u16string(table->Entry[0].Name), std::u16string(20, u'n'));
}

TEST_F(Peer, SettingRecordsWithUnusableNamesAreDamaged) {
  const DocSettings a = RandomSettings(9);
  WriteAll(dir_.File("a.bin"), std::vector<std::uint8_t>(reinterpret_cast<const std::uint8_t*>(&a),
                                                          reinterpret_cast<const std::uint8_t*>(&a) + sizeof a));
  const std::string block = "\t" + dir_.File("a.bin");
  // An empty name would be the value "FavSet_" itself.
  auto file = Build("setting", {"" + block, Hex("   ") + block, Hex("a/b") + block, Hex("x*") + block,
                                Hex(std::string(20, ' ') + "z") + block, Hex("Good") + block});
  const std::size_t at = ReadUserFileHeader(file, kModel, UserFileKind::Setting);
  ASSERT_GT(at, 0u);
  auto table = std::make_unique<FavoriteTable>();
  bool damaged = false;
  ASSERT_EQ(ReadUdsRecords(std::span(file).subspan(at), *table, &damaged), 1);
  EXPECT_TRUE(damaged);
  ASSERT_EQ(table->Count, 1);
  EXPECT_EQ(std::u16string(table->Entry[0].Name), u"Good");
}

// Paper records as the peer writes them, with what the reader keeps.
TEST_F(Peer, DamagedPaperRecordsAreSkipped) {
  const std::string ok = Hex("Ok") + "\t210\t297\t1";
  struct Case {
    const char* what;
    std::vector<std::string> rows;
    int kept;
    bool damaged;
  };
  const Case cases[] = {
      {"unit 3", {Hex("Bad") + "\t210\t297\t3", ok}, 1, true},
      {"letters in a number", {Hex("Bad") + "\t21a\t297\t1", ok}, 1, true},
      {"a blank inside a number", {Hex("Bad") + "\t2 10\t297\t1", ok}, 1, true},
      {"a sign", {Hex("Bad") + "\t-210\t297\t1", ok}, 1, true},
      {"a point in millimetres", {Hex("Bad") + "\t210.5\t297\t1", ok}, 1, true},
      {"three inch decimals", {Hex("Bad") + "\t8.505\t11\t2", ok}, 1, true},
      {"a point without digits", {Hex("Bad") + "\t8.\t11\t2", ok}, 1, true},
      {"an empty number", {Hex("Bad") + "\t\t297\t1", ok}, 1, true},
      {"beyond int32 in micrometres", {Hex("Bad") + "\t2147484\t297\t1", ok}, 1, true},
      {"just inside int32", {Hex("Big") + "\t2147483\t297\t1", ok}, 2, false},
      {"inches beyond int32", {Hex("Bad") + "\t84546.61\t1\t2", ok}, 1, true},
      {"inches just inside int32", {Hex("Big") + "\t84546.60\t1\t2", ok}, 2, false},
      {"invalid UTF-8 name", {"c328\t210\t297\t1", ok}, 1, true},
      {"two good", {ok, ok}, 2, false},
  };
  // One peer run builds every case's file.
  const std::string batch = dir_.File("batch.txt");
  {
    std::ofstream b(batch);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
      const std::string records = dir_.File("rows" + std::to_string(i) + ".txt");
      std::ofstream r(records);
      for (const auto& row : cases[i].rows) r << row << "\n";
      b << "paper\t" << dir_.File("case" + std::to_string(i) + ".udp") << "\t" << Utf8(kModel) << "\tV518B1\t"
        << records << "\n";
    }
  }
  Run("batch " + batch);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.what);
    const auto file = ReadAll(dir_.File("case" + std::to_string(i) + ".udp"));
    const std::size_t at = ReadUserFileHeader(file, kModel, UserFileKind::Paper);
    ASSERT_GT(at, 0u);
    UserPaperTable table{};
    bool damaged = false;
    ASSERT_EQ(ReadUdpRecords(std::span(file).subspan(at), table, &damaged), 1);
    EXPECT_EQ(table.Count, c.kept);
    EXPECT_EQ(damaged, c.damaged);
    EXPECT_EQ(std::u16string(table.Entry[c.kept - 1].Name), u"Ok");
  }
}

TEST_F(Peer, TheScanResumesFiveBytesAfterABadRecordsStart) {
  // The bad record's name is a whole good record: skipping the bad record as
  // a whole would miss it.
  const std::string inner = std::string("RSsta") + std::string("1\0\0\0\0", 5) + std::string("5\0\0\0\0", 5) +
                            "Inner" + std::string("99\0\0\0\0\0\0\0\0", 10) + std::string("88\0\0\0\0\0\0\0\0", 10) +
                            std::string("1\0\0\0\0", 5) + "RSend";
  UserPaperTable table{};
  bool damaged = false;
  ImportPapers({Hex(inner) + "\t210\t297\t3"}, table, damaged);
  EXPECT_TRUE(damaged);
  ASSERT_EQ(table.Count, 1);
  EXPECT_EQ(std::u16string(table.Entry[0].Name), u"Inner");
  EXPECT_EQ(table.Entry[0].Width, 99000);
}

TEST_F(Peer, OldPaperFilesRead) {
  auto file = Build("old", {Hex("Caf\xe9") + "\t210\t297\t1", Hex("Inch") + "\t8.5\t11.125\t2",
                            Hex("   ") + "\t100\t100\t1", Hex("Fine") + "\t100.125\t99.9  \t1",
                            Hex("BadUnit") + "\t100\t100\t3"});
  EXPECT_EQ(file.size(), 600u);
  UserPaperTable table{};
  bool damaged = false;
  ASSERT_EQ(ReadOldUdpRecords(file, table, &damaged, Latin1), 1);
  EXPECT_TRUE(damaged);
  ASSERT_EQ(table.Count, 3);
  EXPECT_EQ(std::u16string(table.Entry[0].Name), u"Caf\u00e9");
  EXPECT_EQ(table.Entry[0].Width, 210000);
  EXPECT_EQ(table.Entry[0].Id, 1);
  EXPECT_EQ(table.Entry[1].Width, 215900);
  EXPECT_EQ(table.Entry[1].Length, 282575);  // 11125 thousandths x 254 / 10, rounded
  EXPECT_EQ(table.Entry[1].InchFlag, 1);
  EXPECT_EQ(table.Entry[2].Width, 100125);
  EXPECT_EQ(table.Entry[2].Length, 99900);
  EXPECT_EQ(table.Entry[2].Id, 4);
  // Sizes that do not fit the count are refused as a whole.
  file.resize(500);
  EXPECT_EQ(ReadOldUdpRecords(file, table, &damaged, Latin1), 0);
  // And a new-format file is not an old one.
  auto fresh = Build("paper", {Hex("x") + "\t1\t1\t1"});
  EXPECT_EQ(ReadOldUdpRecords(fresh, table, &damaged, Latin1), 0);
}

TEST(UserFileCodec, AnEmptyTableWritesABlockTheReadersRefuse) {
  UserPaperTable papers{};
  std::vector<std::uint8_t> block;
  ASSERT_EQ(WriteUdpRecords(block, papers), 100u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data() + 80), 2), std::string("0\0", 2));
  bool damaged = false;
  EXPECT_EQ(ReadUdpRecords(block, papers, &damaged), 0);
  auto favorites = std::make_unique<FavoriteTable>();
  block.clear();
  ASSERT_EQ(WriteUdsRecords(block, *favorites), 100u);
  EXPECT_EQ(ReadUdsRecords(block, *favorites, &damaged), 0);
  EXPECT_FALSE(damaged);
}

TEST(UserFileCodec, HeadersAreCheckedFieldByField) {
  std::vector<std::uint8_t> good;
  ASSERT_EQ(WriteUserFileHeader(good, u"M", UserFileKind::Setting), 51u);
  EXPECT_EQ(std::string(good.begin(), good.begin() + 15), std::string("100\0\0V518B1\0\0\0\0", 15));
  struct Case {
    const char* what;
    std::size_t at;
    std::string bytes;
    std::size_t result;
  };
  const Case cases[] = {
      {"as written", 0, "", 51},
      {"format 0", 0, std::string("0\0\0", 3), 0},
      {"format 101", 0, "101", 0},
      {"format 1", 0, std::string("1\0\0", 3), 51},
      {"plug-in build", 5, "V219B1", 51},
      {"build 600", 5, "V600B1", 0},
      {"build 199", 5, "V199B1", 0},
      {"no B", 5, "V518X1", 0},
      {"no digits", 5, std::string("VB1\0\0\0", 6), 0},
      {"encoding case", 15, "utf-8", 0},
      {"model length 0", 45, std::string("0\0", 2), 0},
      {"model length past the end", 45, std::string("2\0", 2), 0},
      {"model length with junk", 45, std::string("1x", 2), 0},
      {"another model", 50, "N", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto file = good;
    std::copy(c.bytes.begin(), c.bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(c.at));
    EXPECT_EQ(ReadUserFileHeader(file, u"M", UserFileKind::Setting), c.result);
  }
  EXPECT_EQ(ReadUserFileHeader(std::span(good).first(50), u"M", UserFileKind::Setting), 0u);
  std::vector<std::uint8_t> none;
  EXPECT_EQ(WriteUserFileHeader(none, u"", UserFileKind::Paper), 0u);
  EXPECT_EQ(WriteUserFileHeader(none, u"\xd800x", UserFileKind::Paper), 0u) << "a lone surrogate";
  EXPECT_TRUE(none.empty());
}

TEST(UserFileCodec, RecordLengthsMustFitTheBlock) {
  UserPaperTable table{};
  table.Entry[0] = Paper(u"Name", 210000, 297000, 0);
  table.Count = 1;
  std::vector<std::uint8_t> block;
  ASSERT_EQ(WriteUdpRecords(block, table), 100u + 4 + 45);
  for (const char* n : {"5", "50", "99999", "3"}) {
    SCOPED_TRACE(n);
    auto bad = block;
    std::fill(bad.begin() + 110, bad.begin() + 115, 0);
    std::memcpy(bad.data() + 110, n, std::strlen(n));
    bool damaged = false;
    ASSERT_EQ(ReadUdpRecords(bad, table, &damaged), 1);
    EXPECT_EQ(table.Count, 0);
    EXPECT_TRUE(damaged);
  }
  // Cut short: the record no longer fits.
  bool damaged = false;
  ASSERT_EQ(ReadUdpRecords(std::span(block).first(block.size() - 1), table, &damaged), 1);
  EXPECT_EQ(table.Count, 0);
  EXPECT_TRUE(damaged);
}

TEST(UserFileCodec, CrcMatchesZlibCheckValue) {
  Crc32Table t;
  const char* text = "123456789";
  EXPECT_EQ(Crc32(t, std::span(reinterpret_cast<const std::uint8_t*>(text), 9)), 0xCBF43926u);
  EXPECT_EQ(Crc32(t, {}), 0u);
}

}  // namespace
