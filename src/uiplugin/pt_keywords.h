// PtKeywordTable: the texts of the private PrintTicket features, by index.
#pragma once

#include <cstddef>

#include "plat/base.h"

namespace uiplugin {

enum PtKeyword : std::size_t {
  kPtPrivateNamespace = 0,
  kPtFrameworkNamespace = 1,
  kPtKeywordsNamespace = 2,
  kPtFeature = 3,
  kPtOption = 4,
  kPtName = 5,
  kPtOn = 6,
  kPtOff = 7,
  kPtPageLayout = 12,
  kPtStandard = 13,  // then 2UP, 4UP, 2RENSYA, 4RENSYA
  kPtPageOrder = 18,
  kPtAscending = 19,  // the six orders
  kPtMarginPlus = 25,
  kPtRotation180 = 26,
  kPtProgramPrinting = 27,
  kPtDestination = 28,
  kPtDirectionPrint = 29,  // then PrintAndHold, HoldOnly
  kPtScreeningLines = 32,
  kPtScreeningAngle = 33,
  kPtKeywordCount = 34,
};

inline constexpr const WCHAR* PtKeywordTable[kPtKeywordCount] = {
    u"http://duplicator.invalid/printing/XPSDrv_Feature",
    u"http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework",
    u"http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords",
    u"Feature",
    u"Option",
    u"name",
    u"ON",
    u"OFF",
    u"OriginalPaperWidth",
    u"OriginalPaperHeight",
    u"PrintPaperWidth",
    u"PrintPaperHeight",
    u"PageLayout",
    u"Standard",
    u"2UP",
    u"4UP",
    u"2RENSYA",
    u"4RENSYA",
    u"PageOrder",
    u"Ascending",
    u"Descending",
    u"HorizontalAscending",
    u"VerticalAscending",
    u"HorizontalDescending",
    u"VerticalDescending",
    u"MarginPlus",
    u"Rotation180",
    u"ProgramPrinting",
    u"Destination",
    u"DirectionPrint",
    u"PrintAndHold",
    u"HoldOnly",
    u"ScreeningLines",
    u"ScreeningAngle",
};

inline constexpr std::size_t kPtLayoutCount = 5;
inline constexpr std::size_t kPtOrderCount = 6;
inline constexpr std::size_t kPtDestinationCount = 3;

}  // namespace uiplugin
