// Reading the installer's INI files and INFs: "error" marks a missing
// string, -1 a missing integer; a value longer than its field counts as
// missing, never cut.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/windows.h"

namespace installer {

// [section] key, at most maxChars characters; nullopt when missing, equal to
// "error" or longer.
std::optional<std::u16string> ReadIniString(std::u16string_view file, std::u16string_view section,
                                            std::u16string_view key, std::size_t maxChars);
// [section] key as an integer, the default when missing.
INT ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, INT defaultValue);
// Every key name of a section, in file order (empty when none).
std::vector<std::u16string> ReadIniKeys(std::u16string_view file, std::u16string_view section);
// Every line of a section, as written.
std::vector<std::u16string> ReadIniSection(std::u16string_view file, std::u16string_view section);

// The text inside a frame of two delimiters ("%KEY%" -> "KEY"); nullopt for a
// text of fewer than 2 characters or not framed by the delimiter.
std::optional<std::u16string_view> Unframe(std::u16string_view text, char16_t delimiter);

// Comma fields, blanks and tabs trimmed on both sides.
std::vector<std::u16string> SplitCommaFields(std::u16string_view text);

// One output of ScanCommaList: a text field of `units` (terminator included)
// or a number.
struct ScanOutput {
  WCHAR* text = nullptr;
  std::size_t units = 0;
  INT* number = nullptr;
};
// Splits text at commas into the outputs the format's conversions ("%s",
// "%d") name, one field each. 1 on success; -1 for a bad format, a missing
// field, a field longer than its output or a field that is not a number.
int ScanCommaList(std::u16string_view text, std::u16string_view format, std::initializer_list<ScanOutput> outputs);

// 1 when a character other than a blank occurs.
int HasNonBlank(std::u16string_view text);

}  // namespace installer
