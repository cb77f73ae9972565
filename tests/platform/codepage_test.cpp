#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <ostream>
#include <string>

#include "plat/codepage.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "support/run_command.h"
#include "support/temp_folder.h"

namespace {
// Converts bytes with the host's iconv command, the reference for the tables.
std::string IconvCommand(const std::string& from, const std::string& to, const std::string& bytes) {
  const testsupport::TempFolder folder("plat-iconv");
  const std::string path = (folder / "in.bin").string();
  {
    std::ofstream file(path, std::ios::binary);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  const std::string cmd = "iconv -f " + from + " -t " + to + " '" + path + "'";
  std::string out;
  EXPECT_EQ(testsupport::RunCommand(cmd, &out), 0) << cmd;
  return out;
}

std::string Narrow(UINT cp, const std::u16string& text, BOOL* used = nullptr, LPCSTR def = nullptr) {
  const int n = WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, def, used);
  std::string out(n, '\0');
  EXPECT_EQ(WideCharToMultiByte(cp, 0, text.data(), static_cast<int>(text.size()), out.data(), n, def, used), n);
  return out;
}

std::u16string Wide(UINT cp, const std::string& bytes, DWORD flags = 0) {
  const int n = MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  std::u16string out(n, u'\0');
  if (n) {
    EXPECT_EQ(MultiByteToWideChar(cp, flags, bytes.data(), static_cast<int>(bytes.size()), out.data(), n), n);
  }
  return out;
}

struct PageCase {
  UINT codePage;
  const char* iconvName;
  const char* utf8;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.iconvName; }

class CodePageVsIconv : public testing::TestWithParam<PageCase> {};

TEST_P(CodePageVsIconv, RoundTripMatchesIconv) {
  const PageCase& c = GetParam();
  const std::u16string text = plat::u16(c.utf8);
  const std::string expected = IconvCommand("UTF-8", c.iconvName, c.utf8);
  ASSERT_FALSE(expected.empty());
  BOOL used = TRUE;
  EXPECT_EQ(Narrow(c.codePage, text, &used), expected);
  EXPECT_FALSE(used);
  EXPECT_EQ(Wide(c.codePage, expected), text);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, CodePageVsIconv,
    testing::Values(PageCase{932, "CP932", "日本語のジョブ名 ｶﾀｶﾅ ①"},
                    PageCase{1252, "CP1252", "Café € 5 – “quoted”"},
                    PageCase{1250, "CP1250", "Příliš žluťoučký kůň Łódź"},
                    PageCase{936, "CP936", "简体中文打印"}, PageCase{949, "CP949", "한국어 인쇄"},
                    PageCase{950, "CP950", "繁體中文列印"}, PageCase{874, "CP874", "ภาษาไทย"},
                    PageCase{1251, "CP1251", "Печать"}, PageCase{1253, "CP1253", "Εκτύπωση"},
                    PageCase{1254, "CP1254", "Yazdır ğş"}, PageCase{1255, "CP1255", "הדפסה"},
                    PageCase{1256, "CP1256", "طباعة"}, PageCase{1257, "CP1257", "Spausdinti ąč"},
                    PageCase{1258, "CP1258", "In đơn"}));

TEST(CodePage, AnsiCodePageComesFromTheMachine) {
  EXPECT_EQ(GetACP(), 1252u);
  EXPECT_EQ(Narrow(CP_ACP, u"\u00E9"), "\xE9");
  plat::machine::SetAnsiCodePage(1250);
  EXPECT_EQ(GetACP(), 1250u);
  EXPECT_EQ(Narrow(CP_ACP, u"\u0142"), "\xB3");  // ł
  EXPECT_EQ(Wide(CP_ACP, "\xB3"), u"\u0142");
  plat::machine::SetAnsiCodePage(932);
  EXPECT_EQ(Narrow(CP_ACP, u"\u3042"), "\x82\xA0");
  plat::machine::SetAnsiCodePage(1252);
  EXPECT_EQ(Narrow(CP_OEMCP, u"\u00E9"), "\x82");  // OEM 437
}

TEST(CodePage, SizeQueriesAndTerminator) {
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
  WCHAR w[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 4), 4);
  EXPECT_EQ(std::u16string(w, 4), std::u16string(u"abc\0", 4));
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, w, 3), 3);  // no terminator without -1

  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 3), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u65E5", -1, nullptr, 0, nullptr, nullptr), 4);
  char n[3];
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u65E5", -1, n, 3, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(WideCharToMultiByte(932, 0, u"\u65E5\u672C", -1, nullptr, 0, nullptr, nullptr), 5);
}

TEST(CodePage, BadArgumentsAreInvalidParameter) {
  WCHAR w[8];
  char n[8];
  BOOL used;
  struct Case {
    const char* what;
    int result;
  };
  const Case cases[] = {
      {"unknown code page", MultiByteToWideChar(12345, 0, "a", 1, w, 8)},
      {"zero length", MultiByteToWideChar(1252, 0, "a", 0, w, 8)},
      {"null input", MultiByteToWideChar(1252, 0, nullptr, 1, w, 8)},
      {"negative size", MultiByteToWideChar(1252, 0, "a", 1, w, -1)},
      {"null output with size", MultiByteToWideChar(1252, 0, "a", 1, nullptr, 8)},
      {"length below -1", WideCharToMultiByte(1252, 0, u"a", -2, n, 8, nullptr, nullptr)},
      {"default char with UTF-8", WideCharToMultiByte(CP_UTF8, 0, u"a", 1, n, 8, "?", nullptr)},
      {"used flag with UTF-8", WideCharToMultiByte(CP_UTF8, 0, u"a", 1, n, 8, nullptr, &used)},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(c.result, 0) << c.what;
  }
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(12345, 0, "a", 1, w, 8), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  SetLastError(0);
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, n, 8, "?", nullptr), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(CodePage, UnmappableCharactersTakeTheDefaultCharacter) {
  BOOL used = FALSE;
  EXPECT_EQ(Narrow(1252, u"a\u65E5b", &used), "a?b");
  EXPECT_TRUE(used);
  EXPECT_EQ(Narrow(1252, u"a\u65E5b", &used, "*"), "a*b");
  // No look-alike substitutes: A with macron is not turned into A.
  EXPECT_EQ(Narrow(1252, u"\u0100"), "?");
  // One default character for a whole surrogate pair, and for a lone surrogate.
  EXPECT_EQ(Narrow(1252, u"x\U0001F600y"), "x?y");
  EXPECT_EQ(Narrow(932, u"x\U0001F600y\u20AC", &used), "x?y?");
  EXPECT_TRUE(used);
  EXPECT_EQ(Narrow(932, std::u16string(u"a") + char16_t(0xDC00) + u"b"), "a?b");
  // Thai text through code page 874, as the job texts of language 25 go.
  EXPECT_EQ(Narrow(874, u"\u0E01\u0E02"), "\xA1\xA2");
  EXPECT_EQ(Narrow(CP_UTF8, std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePage, InvalidBytesBecomeReplacementCharacters) {
  // Bytes 1252 leaves undefined stand for the C1 controls, as on the platform.
  EXPECT_EQ(Wide(1252, "\x81\x8D"), u"\u0081\u008D");
  EXPECT_EQ(Narrow(1252, u"\u0081"), "\x81");
  EXPECT_EQ(Wide(932, "a\x81\x20" "b"), u"a\uFFFD b");
  EXPECT_EQ(Wide(932, "a\x82"), u"a\uFFFD");  // lead byte cut off
  EXPECT_EQ(Wide(CP_UTF8, "a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Wide(1253, "\xAA"), u"\uFFFD");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", 2, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, "\x82", 1, nullptr, 0), 0);
  EXPECT_EQ(GetLastError(), ERROR_NO_UNICODE_TRANSLATION);
  // Embedded zero bytes are characters like any other.
  EXPECT_EQ(Wide(936, std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}
}  // namespace
