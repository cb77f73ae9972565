// The languages the package offers, in the one order the launcher and the
// language page share.
#pragma once

#include <array>
#include <string_view>

#include "plat/base.h"

namespace installer {

struct LanguageRow {
  std::u16string_view code;
  DWORD number;  // LanguageNumber
  WORD normalBitmap;
  WORD selectedBitmap;
  BYTE charset;
};

inline constexpr std::array<LanguageRow, 21> kLanguageTable = {{
    {u"ARA", 12, 165, 164, 178}, {u"CZE", 20, 180, 179, 238}, {u"DUT", 13, 168, 167, 0},
    {u"UK", 0, 139, 138, 0},     {u"US", 11, 142, 141, 0},    {u"FRN", 1, 118, 117, 0},
    {u"GER", 2, 121, 120, 0},    {u"GRE", 19, 183, 182, 161}, {u"ITA", 3, 124, 123, 0},
    {u"JPN", 8, 115, 114, 128},  {u"KOR", 17, 186, 185, 129}, {u"POL", 14, 171, 170, 0},
    {u"POR", 5, 127, 126, 0},    {u"RUM", 9, 193, 191, 0},    {u"RUS", 10, 161, 162, 204},
    {u"SChi", 6, 130, 129, 134}, {u"SPA", 4, 133, 132, 0},    {u"SWE", 15, 174, 173, 0},
    {u"THA", 18, 189, 188, 222}, {u"TChi", 7, 136, 135, 136}, {u"TUR", 16, 177, 176, 162},
}};

// The row of a LanguageNumber, or nullptr (21 and anything unknown).
inline const LanguageRow* RowOfNumber(DWORD number) {
  for (const auto& row : kLanguageTable)
    if (row.number == number) return &row;
  return nullptr;
}

}  // namespace installer
