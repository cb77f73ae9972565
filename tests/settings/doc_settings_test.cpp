#include "settings/doc_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "plat/windows.h"

namespace {

TEST(InkTables, ColorIdListRunsOverBothRanges) {
  ASSERT_EQ(ColorIdList.size(), 55u);
  EXPECT_EQ(ColorIdList[0], 1001);
  EXPECT_EQ(ColorIdList[22], 1023);
  EXPECT_EQ(ColorIdList[23], 1032);
  EXPECT_EQ(ColorIdList[54], 1063);
  for (std::size_t i = 0; i < ColorIdList.size(); ++i) EXPECT_EQ(ColorIdIndex(ColorIdList[i]), static_cast<int>(i));
  for (int code : {1000, 1024, 1031, 1064, 0, -1}) EXPECT_EQ(ColorIdIndex(code), -1) << code;
}

TEST(InkTables, DefaultLabValuesPerCode) {
  struct Case {
    int code;
    InkLab lab;
  } cases[] = {{1000, {1, 1, 1}},     {1001, {34, 1, 3}},   {1033, {34, 1, 3}},   {1002, {2, 2, 2}},
               {1041, {63, 51, 34}},  {1034, {48, 0, -49}}, {1048, {47, 15, 17}}, {1044, {64, -52, 21}},
               {1046, {89, -13, 74}}, {1052, {65, 1, 2}},   {1054, {69, 1, 2}},   {1010, {42, 5, -28}},
               {1016, {50, -25, -16}}, {1018, {157, -55, 49}}, {1056, {71, 36, 51}}, {1020, {45, -15, 0}},
               {1058, {61, 4, 38}},   {1022, {156, 9, 0}},  {1023, {56, 49, 32}}, {1024, {1, 1, 1}},
               {1032, {1, 1, 1}},     {1059, {57, 0, 0}},   {1062, {88, 12, -4}}, {1063, {3, 3, 3}}};
  for (const Case& c : cases) {
    const InkLab* lab = kInkLabDefaults.Find(c.code);
    ASSERT_NE(lab, nullptr) << c.code;
    EXPECT_EQ(lab->L, c.lab.L) << c.code;
    EXPECT_EQ(lab->a, c.lab.a) << c.code;
    EXPECT_EQ(lab->b, c.lab.b) << c.code;
  }
  EXPECT_EQ(kInkLabDefaults.Find(999), nullptr);
  EXPECT_EQ(kInkLabDefaults.Find(1064), nullptr);
  EXPECT_TRUE(IsNoInkLab(*kInkLabDefaults.Find(1063)));
  EXPECT_FALSE(IsNoInkLab(*kInkLabDefaults.Find(1001)));
}

TEST(InkTables, InkLabBlockSitsAtOffset52AsLittleEndianTriples) {
  DocSettings s{};
  s.InkLab = kInkLabDefaults;
  BYTE bytes[sizeof(DocSettings)];
  std::memcpy(bytes, &s, sizeof(s));
  // Entry 4 (code 1004): 48, 0, -49.
  const BYTE expected[] = {48, 0, 0, 0, 0, 0, 0, 0, 0xCF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(0, std::memcmp(bytes + 52 + 4 * 12, expected, sizeof(expected)));
}

TEST(DefaultRules, LayoutChoices) {
  struct Case {
    int choice;
    std::uint8_t up, rensya, four, order;
  } cases[] = {{0, 0, 0, 0, 0}, {1, 1, 0, 0, 0}, {2, 1, 0, 1, 0}, {3, 0, 1, 0, 0},
               {5, 0, 1, 0, 2}, {8, 0, 1, 0, 5}, {9, 0, 0, 0, 0}, {-1, 0, 0, 0, 0}};
  for (const Case& c : cases) {
    DocSettings s{};
    s.UpLayout = s.RensyaLayout = s.UpFour = s.RensyaOrder = 7;
    SetLayoutChoice(s, c.choice);
    EXPECT_EQ(s.UpLayout, c.up) << c.choice;
    EXPECT_EQ(s.RensyaLayout, c.rensya) << c.choice;
    EXPECT_EQ(s.UpFour, c.four) << c.choice;
    EXPECT_EQ(s.RensyaOrder, c.order) << c.choice;
  }
}

TEST(DefaultRules, TextVolumeAndSortKind) {
  struct Volume {
    int v;
    std::uint8_t a, b;
  } volumes[] = {{0, 0, 0}, {1, 1, 0}, {2, 0, 1}, {-4, 0, 1}};
  for (const Volume& c : volumes) {
    DocSettings s{};
    SetTextVolume(s, c.v);
    EXPECT_EQ(s.TextVolumeA, c.a) << c.v;
    EXPECT_EQ(s.TextVolumeB, c.b) << c.v;
  }
  struct Sort {
    int kind;
    std::uint8_t sorter, stapler;
  } sorts[] = {{0, 0, 0}, {1, 1, 0}, {2, 1, 1}, {3, 0, 0}};
  for (const Sort& c : sorts) {
    DocSettings s{};
    SetSortKind(s, c.kind);
    EXPECT_EQ(s.SortKind, c.kind);
    EXPECT_EQ(s.SorterInstalled, c.sorter) << c.kind;
    EXPECT_EQ(s.StaplerInstalled, c.stapler) << c.kind;
  }
}

TEST(SettingsText, ReadsStopAtTheFieldAndWritesTerminate) {
  DocSettings s{};
  // An unterminated name that fills its field must not run into the next one.
  for (WCHAR& c : s.HoldJobName) c = u'x';
  s.HoldUserName[0] = u'y';
  EXPECT_EQ(FieldTextLength(s.HoldJobName), 128u);
  EXPECT_EQ(FieldText(s.HoldJobName), std::u16string(128, u'x'));

  EXPECT_FALSE(SetFieldText(s.PrinterAddress, u"1234567890.1234567890.123"));
  EXPECT_EQ(s.PrinterAddress[19], 0);
  EXPECT_EQ(FieldText(s.PrinterAddress), u"1234567890.12345678");
  EXPECT_TRUE(SetFieldText(s.PrinterAddress, u"10.0.0.1"));
  EXPECT_EQ(FieldText(s.PrinterAddress), u"10.0.0.1");
  EXPECT_EQ(s.PrinterAddress[12], 0);  // old tail cleared
  EXPECT_EQ(s.SheetMode, 0);
}

TEST(Conversions, PowerOfTenAndMils) {
  EXPECT_EQ(PowerOfTen(0), 1);
  EXPECT_EQ(PowerOfTen(1), 10);
  EXPECT_EQ(PowerOfTen(9), 1000000000);
  EXPECT_EQ(PowerOfTen(19), 0);
  EXPECT_EQ(MilsToMicrons(8500), 215900);
  EXPECT_EQ(MilsToMicrons(1), 25);  // (254 + 5) / 10
  EXPECT_EQ(MilsToMicrons(2), 51);
  EXPECT_EQ(MilsToMicrons(0), 0);
  // Beyond 32 bits the value is refused instead of wrapping.
  EXPECT_EQ(MilsToMicrons(84546000), 2147468400);
  EXPECT_FALSE(MilsToMicrons(84547000).has_value());
  EXPECT_EQ(MilsToMicrons(-8500), -215899);
  EXPECT_FALSE(MilsToMicrons(std::int64_t{1} << 40).has_value());
}

TEST(Conversions, InchUnitsBothWays) {
  EXPECT_EQ(MicronsToInchUnits(215900, 3, 1, 1000), 850);
  EXPECT_EQ(InchUnitsToMicrons(850, 3, 1, 1000), 215900);
  EXPECT_EQ(MicronsToInchUnits(-215900, 3, 1, 1000), -850);
  EXPECT_EQ(InchUnitsToMicrons(-850, 3, 1, 1000), -215900);
  // Millimetres to hundredths of an inch, as the free-size dialog uses it.
  EXPECT_EQ(MicronsToInchUnits(210, 2, 0, 1), 827);
  EXPECT_EQ(InchUnitsToMicrons(827, 2, 0, 1), 210);
  // Rounding half up on the magnitude.
  EXPECT_EQ(MicronsToInchUnits(127, 3, 1, 1000), 1);
  EXPECT_EQ(MicronsToInchUnits(126, 3, 1, 1000), 0);
  EXPECT_FALSE(MicronsToInchUnits(5, 3, 1, 0).has_value());
  EXPECT_FALSE(InchUnitsToMicrons(std::int64_t{10000000}, 3, 1, 1000).has_value());
}

TEST(Conversions, MillimetreUnitText) {
  EXPECT_TRUE(IsMillimetreUnit(u"MM"));
  EXPECT_TRUE(IsMillimetreUnit(u"mm"));
  EXPECT_TRUE(IsMillimetreUnit(u"Mm"));
  EXPECT_FALSE(IsMillimetreUnit(u"inch"));
  EXPECT_FALSE(IsMillimetreUnit(u"MMM"));
  EXPECT_FALSE(IsMillimetreUnit(u""));
}

TEST(Conversions, FormatSizeDigits) {
  struct Case {
    std::int32_t size;
    bool inch;
    const char16_t* text;
  } cases[] = {{2100, false, u"210.0"}, {2159, true, u"8.500"}, {0, false, u""},     {0, true, u""},
               {5, false, u"5"},        {15, false, u"1.5"},    {2970, false, u"297.0"}, {2794, true, u"11.000"},
               {1, true, u"3"},        {-2100, false, u"-210.0"}};
  for (const Case& c : cases) EXPECT_EQ(FormatSizeDigits(c.size, c.inch), c.text) << c.size << " " << c.inch;
}

TEST(Conversions, ParseFixedText) {
  struct Case {
    const char16_t* text;
    bool inch;
    std::optional<std::int32_t> value;
  } cases[] = {
      {u"210.5", false, 210500},
      {u"8.5", true, 215900},
      {u"210", false, 210000},
      {u"0.1234", false, 123},  // fraction cut to three digits
      {u".5", false, 500},
      {u" 12.25 ", false, 12250},
      {u"-1.5", false, -1500},  // the sign covers the fraction too
      {u"70000", false, 70000000},  // no longer taken modulo 65536 (4464000)
      {u"2147483.647", false, 2147483647},
      {u"2147483.648", false, std::nullopt},
      {u"9", true, 228600},
      {u"90000", true, std::nullopt},
      {u"", false, std::nullopt},
      {u".", false, std::nullopt},
      {u"12a", false, std::nullopt},
      {u"1.2.3", false, std::nullopt},
  };
  for (const Case& c : cases) {
    auto got = ParseFixedTextW(c.text, c.inch);
    EXPECT_EQ(got, c.value) << plat::utf8(c.text);
  }
  EXPECT_EQ(ParseFixedTextAnsi("210.5", false), 210500);
  EXPECT_EQ(ParseFixedTextAnsi("8.5", true), 215900);
}

TEST(Conversions, ParseAndFormatWithFractionDigits) {
  struct Case {
    const char* text;
    bool inch;
    int n;
    std::optional<std::int32_t> microns;
  } cases[] = {
      {"210", false, 0, 210000},  {"8.50", true, 2, 215900}, {"8.5", true, 2, 215900},
      {"8.567", true, 2, 217424}, {"210.7", false, 0, 210000}, {"x", false, 0, std::nullopt},
      {"2147484", false, 0, std::nullopt}, {"-2.50", true, 2, -63500},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseFixedTextN(c.text, c.inch, c.n), c.microns) << c.text;

  EXPECT_EQ(FormatFixedText(210000, false, 0), "210");
  EXPECT_EQ(FormatFixedText(215900, true, 2), "8.50");
  EXPECT_EQ(FormatFixedText(25400, true, 2), "1.00");
  EXPECT_EQ(FormatFixedText(2540, true, 2), "0.10");
  EXPECT_EQ(FormatFixedText(-215900, true, 2), "-8.50");
  EXPECT_EQ(FormatFixedText(2147483647, false, 0), "2147483");
  EXPECT_EQ(FormatFixedText(2147483647, false, 4), "214.7483");
  EXPECT_EQ(FormatFixedText(2147483647, true, 2), "84546.60");
  EXPECT_EQ(FormatFixedText(2147483647, false, 9), "");  // "0.002147483" does not fit 10 characters
  // Round trip of what the user paper files store.
  for (std::int32_t microns : {90000, 210000, 297000, 432000}) {
    EXPECT_EQ(ParseFixedTextN(FormatFixedText(microns, false, 0), false, 0), microns);
  }
}

}  // namespace

// The named fields cover the block in order without overlapping, and their
// kinds follow the stored widths.
TEST(SettingsLayout, NamedFieldsTileTheBlockInOrder) {
  const auto fields = DocSettingsFields();
  ASSERT_FALSE(fields.empty());
  std::size_t end = 0;
  for (const SettingField& f : fields) {
    SCOPED_TRACE(std::string(f.name));
    const std::size_t bytes = f.kind == SettingKind::Text ? 2 * f.size : f.size;
    EXPECT_GE(f.offset, end) << "fields overlap or are out of order";
    end = f.offset + bytes;
    EXPECT_LE(end, sizeof(DocSettings));
  }
  EXPECT_EQ(end, sizeof(DocSettings)) << "the reserved tail is the last field";
  struct Expect {
    std::string_view name;
    std::size_t offset, size;
    bool isSigned;
    SettingKind kind;
  } cases[] = {{"Seihan", 2, 1, false, SettingKind::Integer},
               {"OneInkColor", 46, 2, true, SettingKind::Integer},
               {"HoldJobName", 822, 128, false, SettingKind::Text},
               {"AmiAngle", 2006, 1, true, SettingKind::Integer},
               {"InkLab", 52, 768, false, SettingKind::Other}};
  for (const Expect& e : cases) {
    const auto it = std::find_if(fields.begin(), fields.end(), [&](const SettingField& f) { return f.name == e.name; });
    ASSERT_NE(it, fields.end()) << e.name;
    EXPECT_EQ(it->offset, e.offset) << e.name;
    EXPECT_EQ(it->size, e.size) << e.name;
    EXPECT_EQ(it->isSigned, e.isSigned) << e.name;
    EXPECT_EQ(it->kind, e.kind) << e.name;
  }
}
