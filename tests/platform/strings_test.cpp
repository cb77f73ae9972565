#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "plat/strings.h"

namespace {
using plat::u16;

struct FormatCase {
  const char16_t* format;
  int a;
  int b;
  const char16_t* expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << plat::utf8(c.format); }

class WsprintfNumbers : public testing::TestWithParam<FormatCase> {};

TEST_P(WsprintfNumbers, FormatsLikeThePlatform) {
  const FormatCase& c = GetParam();
  WCHAR out[WSPRINTF_MAX];
  const int n = wsprintfW(out, c.format, c.a, c.b);
  EXPECT_EQ(std::u16string(out), c.expected);
  EXPECT_EQ(n, lstrlenW(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, WsprintfNumbers,
    testing::Values(FormatCase{u"%d", 42, 0, u"42"}, FormatCase{u"%d", -7, 0, u"-7"},
                    FormatCase{u"%4d", 7, 0, u"   7"}, FormatCase{u"%4d", -7, 0, u"  -7"},
                    FormatCase{u"%-4d|", 7, 0, u"7   |"}, FormatCase{u"%04d", -7, 0, u"-007"},
                    FormatCase{u"%04u", 7, 0, u"0007"}, FormatCase{u"%04u", 12345, 0, u"12345"},
                    FormatCase{u"%09u", 41, 0, u"000000041"}, FormatCase{u"%u", -1, 0, u"4294967295"},
                    FormatCase{u"%x", 255, 0, u"ff"}, FormatCase{u"%X", 0xBEEF, 0, u"BEEF"},
                    FormatCase{u"%08X", 0x1A, 0, u"0000001A"}, FormatCase{u"%#x", 255, 0, u"0xff"},
                    FormatCase{u"%2d:%2d", 9, 5, u" 9: 5"}, FormatCase{u"%u_FOLDER", 3, 0, u"3_FOLDER"},
                    FormatCase{u"RV%04u.PRN", 7, 0, u"RV0007.PRN"}, FormatCase{u"%d%%", 50, 0, u"50%"},
                    FormatCase{u"&%d;%d&D", 300, -2, u"&300;-2&D"}, FormatCase{u"%ld %lu", -3, 3, u"-3 3"},
                    FormatCase{u"%.3d", 5, 0, u"005"}, FormatCase{u"%d", INT32_MIN, 0, u"-2147483648"},
                    FormatCase{u"R%03d%03d.rsf", 192, 8, u"R192008.rsf"}));

TEST(Wsprintf, StringsAndCharacters) {
  WCHAR out[WSPRINTF_MAX];
  EXPECT_EQ(wsprintfW(out, u"%s%s\\", u"Software\\Maker\\", u"Printer 1"), 25);
  EXPECT_EQ(std::u16string(out), u"Software\\Maker\\Printer 1\\");
  wsprintfW(out, u"%s\\RV%04u.PRN", u"C:\\TEMP\\", 7u);
  EXPECT_EQ(std::u16string(out), u"C:\\TEMP\\\\RV0007.PRN");
  wsprintfW(out, u"[%-6s][%6s][%.2s][%c]", u"ab", u"cd", u"efgh", u'Z');
  EXPECT_EQ(std::u16string(out), u"[ab    ][    cd][ef][Z]");
  wsprintfW(out, u"%hs|%S", "narrow", "other");
  EXPECT_EQ(std::u16string(out), u"narrow|other");
  wsprintfW(out, u"%s", static_cast<LPCWSTR>(nullptr));
  EXPECT_EQ(std::u16string(out), u"(null)");

  char narrow[WSPRINTF_MAX];
  EXPECT_EQ(wsprintfA(narrow, "&%d;%d;%d;%d&O", 1, 2, 3, 4), 10);
  EXPECT_STREQ(narrow, "&1;2;3;4&O");
  wsprintfA(narrow, "%s-%ls-%c", "a", u"b", 'c');
  EXPECT_STREQ(narrow, "a-b-c");
}

TEST(Wsprintf, OutputIsCappedAt1024Units) {
  const std::u16string big(2000, u'x');
  std::u16string out(2100, u'#');
  const int n = wsprintfW(out.data(), u"%s%s", big.c_str(), big.c_str());
  EXPECT_EQ(n, WSPRINTF_MAX - 1);
  EXPECT_EQ(out[WSPRINTF_MAX - 1], 0);
  EXPECT_EQ(out[WSPRINTF_MAX], u'#');  // nothing written past the cap
}

TEST(Lstr, CopyConcatCompare) {
  WCHAR buf[16];
  EXPECT_EQ(lstrlenW(nullptr), 0);
  EXPECT_EQ(lstrlenW(u"abc"), 3);
  lstrcpyW(buf, u"ab");
  lstrcatW(buf, u"cd");
  EXPECT_EQ(std::u16string(buf), u"abcd");

  // lstrcpyn copies max - 1 units and always terminates.
  std::u16string dst(8, u'#');
  lstrcpynW(dst.data(), u"abcdefgh", 4);
  EXPECT_EQ(dst.substr(0, 5), std::u16string(u"abc\0#", 5));
  char nb[4] = {'#', '#', '#', '#'};
  lstrcpynA(nb, "xyz123", 3);
  EXPECT_STREQ(nb, "xy");

  EXPECT_EQ(lstrcmpW(u"abc", u"abc"), 0);
  EXPECT_LT(lstrcmpW(u"abc", u"abd"), 0);
  EXPECT_NE(lstrcmpW(u"ABC", u"abc"), 0);
  EXPECT_EQ(lstrcmpiW(u"FAT32", u"fat32"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u00C9t\u00E9", u"\u00E9T\u00C9"), 0);
  EXPECT_EQ(lstrcmpiW(u"\u0416", u"\u0436"), 0);  // Cyrillic
  EXPECT_GT(lstrcmpiW(u"abcd", u"ABC"), 0);
  EXPECT_EQ(lstrcmpiA("Explorer.EXE", "explorer.exe"), 0);
}

TEST(Utf8, RoundTripsAndReplacesBrokenInput) {
  const std::string text = "A\xC3\xA9\xE6\x97\xA5\xF0\x9F\x98\x80";  // A é 日 😀
  const std::u16string wide = u16(text);
  EXPECT_EQ(wide, u"A\u00E9\u65E5\U0001F600");
  EXPECT_EQ(plat::utf8(wide), text);
  // Cut sequence, overlong form, encoded surrogate: one U+FFFD per broken piece.
  EXPECT_EQ(u16("a\xE6\x97"), u"a\uFFFD");
  EXPECT_EQ(u16("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(u16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(plat::utf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}
}  // namespace
