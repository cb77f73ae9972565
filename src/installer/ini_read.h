// Reading the installer's INI files and INFs: "error" marks a missing
// string, -1 a missing integer; a value longer than its field counts as
// missing, never cut.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/profile.h"
#include "plat/windows.h"

namespace installer {

// [section] key, at most maxChars characters; nullopt when missing, equal to
// "error" or longer.
std::optional<std::u16string> ReadIniString(std::u16string_view file, std::u16string_view section,
                                            std::u16string_view key, std::size_t maxChars);
// [section] key as an integer, the default when missing.
INT ReadIniInt(std::u16string_view file, std::u16string_view section, std::u16string_view key, INT defaultValue);
// The platform's reader: key names, section lines, comma fields, "%KEY%".
using plat::profile::ReadKeys;
using plat::profile::ReadSection;
using plat::profile::SplitCommaFields;
using plat::profile::Unframe;

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
