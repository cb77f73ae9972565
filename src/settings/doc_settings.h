// DocSettings: the 2936-byte block of every document setting and printer-level
// default. The same bytes live in the private DEVMODE, in printer data
// "Defaults"/"Permanent", in favourites and in user setting files, so the
// struct below is the stored format itself (little-endian, no implicit padding).
// Also: the ink tables and the unit conversions shared by every user of sizes.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "plat/base.h"

static_assert(std::endian::native == std::endian::little, "stored records are little-endian byte views");

// ---------------------------------------------------------------------------
// Output modes (OutputMode, offset 45)

enum class OutputMode : std::uint8_t {
  Print = 0,
  PrintAndHold = 1,
  HoldOnly = 2,
  StorageFolder = 3,     // a numbered job file in a job folder of a removable drive
  StorageAutomatic = 4,  // likewise, in the automatic folder
};
inline constexpr std::uint8_t kOutputModeLast = 4;
inline constexpr bool IsStorageMode(OutputMode mode) {
  return mode == OutputMode::StorageFolder || mode == OutputMode::StorageAutomatic;
}

// ---------------------------------------------------------------------------
// Ink codes and their tables

// A drum's ink colour code, 1000-1063; anything else means "no colour".
using InkCode = std::int16_t;
inline constexpr InkCode kInkCodeFirst = 1000;
inline constexpr InkCode kInkCodeLast = 1063;
inline constexpr bool IsInkCode(int code) { return code >= kInkCodeFirst && code <= kInkCodeLast; }
// The colour of each InkCode: R, G, B, row = code - 1000. Sent with the ink
// commands and shown by the sheets.
extern const std::uint8_t InkColorTable[64][3];

// The 55 selectable ink ids (1001-1023, 1032-1063), in InkMarks order. Also the
// string ids of the colour names in the resource library.
inline constexpr std::size_t kColorIdCount = 55;
inline constexpr std::array<InkCode, kColorIdCount> ColorIdList = [] {
  std::array<InkCode, kColorIdCount> ids{};
  std::size_t n = 0;
  for (int c = 1001; c <= 1023; ++c) ids[n++] = static_cast<InkCode>(c);
  for (int c = 1032; c <= 1063; ++c) ids[n++] = static_cast<InkCode>(c);
  return ids;
}();
// Index of an ink code in ColorIdList, or -1.
int ColorIdIndex(int code);

struct InkLab {
  std::int32_t L;
  std::int32_t a;
  std::int32_t b;
};
static_assert(sizeof(InkLab) == 12);

// L, a, b per InkCode: entry n for code 1000 + n.
struct InkLabTable {
  InkLab Entry[64];
  // nullptr for a code outside 1000-1063.
  const InkLab* Find(int code) const { return IsInkCode(code) ? &Entry[code - kInkCodeFirst] : nullptr; }
};
static_assert(sizeof(InkLabTable) == 768);

// The default InkLab block every model starts from. {1,1,1}, {2,2,2} and
// {3,3,3} mark codes that are not real inks.
extern const InkLabTable kInkLabDefaults;
// True for the three marker triples above.
bool IsNoInkLab(const InkLab& lab);

// ---------------------------------------------------------------------------
// The record

struct ProgramGroup {
  std::int32_t Copies;
  std::int32_t Sets;
};

inline constexpr std::size_t kSettingsNameUnits = 128;   // hold / USB job and user names
inline constexpr std::size_t kUsbDriveUnits = 8;
inline constexpr std::size_t kPrinterAddressUnits = 20;
inline constexpr std::size_t kPreviewProgramUnits = 260;

struct DocSettings {
  std::uint8_t ColorMode;             // 0    1 one ink, 2 two inks
  std::uint8_t OneInkIndex;           // 1
  std::uint8_t Seihan;                // 2
  std::uint8_t Reserved3;             // 3
  std::uint16_t OutputPaperIndex;     // 4    0 = no output paper change
  std::uint8_t Reserved6[2];          // 6
  std::int32_t OutputPaperWidth;      // 8    0.1 mm
  std::int32_t OutputPaperLength;     // 12   0.1 mm
  std::int32_t FreeWidth;             // 16   micrometres
  std::int32_t FreeLength;            // 20   micrometres
  std::int32_t SheetValue24;          // 24   carried for the sheets (free width, 1/1000 inch)
  std::int32_t SheetValue28;          // 28   carried for the sheets (free length, 1/1000 inch)
  std::uint8_t FreePaper;             // 32
  std::uint8_t FreeUnit;              // 33   0 mm, 1 inch
  std::uint8_t BinIndex;              // 34
  std::uint8_t Landscape;             // 35
  std::uint8_t Rotate;                // 36
  std::uint8_t Reserved37[3];         // 37
  std::int32_t Copies;                // 40
  std::uint8_t RenzokuMode;           // 44
  std::uint8_t OutputMode;            // 45   0 print, 1 print+hold, 2 hold, 3 USB folder, 4 USB auto
  InkCode OneInkColor;                // 46
  InkCode Drum1Color;                 // 48
  InkCode Drum2Color;                 // 50
  InkLabTable InkLab;                 // 52
  std::uint8_t HoldNameFromDoc;       // 820
  std::uint8_t Reserved821;           // 821
  WCHAR HoldJobName[kSettingsNameUnits];   // 822
  WCHAR HoldUserName[kSettingsNameUnits];  // 1078
  std::uint8_t HoldJobOption;         // 1334
  std::uint8_t Reserved1335;          // 1335
  std::uint16_t PaperIndex;           // 1336
  std::uint8_t Reserved1338[2];       // 1338
  std::int32_t PaperWidth;            // 1340 0.1 mm
  std::int32_t PaperLength;           // 1344 0.1 mm
  std::uint8_t SyuuiYohaku;           // 1348
  std::uint8_t UpLayout;              // 1349
  std::uint8_t RensyaLayout;          // 1350
  std::uint8_t UpFour;                // 1351
  std::uint8_t RensyaOrder;           // 1352
  std::uint8_t ProgramPrint;          // 1353
  std::uint8_t Reserved1354[2];       // 1354
  ProgramGroup ProgramPrintBlock[6];  // 1356 (the 52-byte block ends with ProgramSeparator and 3 spare bytes)
  std::uint8_t ProgramSeparator;      // 1404 0 none, 1 tape sorter, 2 bin list
  std::uint8_t Reserved1405[3];       // 1405
  std::uint8_t InkMarks[kColorIdCount];  // 1408 one byte per ColorIdList entry: 0 no, 1/2 available
  std::uint8_t HoldBox;               // 1463
  std::uint8_t Thumbnail;             // 1464
  std::uint8_t UsbNameFromDoc;        // 1465
  WCHAR UsbJobName[kSettingsNameUnits];    // 1466
  WCHAR UsbUserName[kSettingsNameUnits];   // 1722
  std::uint8_t UsbJobOption;          // 1978
  std::uint8_t Reserved1979;          // 1979
  WCHAR UsbDrive[kUsbDriveUnits];     // 1980
  std::uint8_t UsbFolder;             // 1996
  std::uint8_t SeparationModeA;       // 1997
  std::uint8_t SeparationModeACopy;   // 1998 written as 1997, read by nothing
  std::uint8_t SeparationModeB;       // 1999
  std::uint8_t PhotoMode;             // 2000
  std::uint8_t TextProc;              // 2001
  std::uint8_t TextVolumeA;           // 2002
  std::uint8_t TextVolumeB;           // 2003
  std::int16_t AmiLine;               // 2004
  std::int8_t AmiAngle;               // 2006
  std::uint8_t Edge;                  // 2007
  std::uint8_t Akarusa;               // 2008
  std::uint8_t Contrast;              // 2009
  std::uint8_t GyakkouOn;             // 2010
  std::uint8_t Gyakkou;               // 2011
  std::uint8_t KaityoSmooth;          // 2012
  std::uint8_t PhotoSyurui;           // 2013
  std::uint8_t SortMode;              // 2014
  std::uint8_t Staple;                // 2015
  std::uint8_t TapeSort;              // 2016
  std::uint8_t SorterInstalled;       // 2017
  std::uint8_t StaplerInstalled;      // 2018
  std::uint8_t TapeSorterInstalled;   // 2019
  std::uint8_t SpeedIndex;            // 2020
  std::uint8_t Density1;              // 2021
  std::uint8_t Density2;              // 2022
  std::uint8_t Kimitu;                // 2023
  std::uint8_t RGPanelReset;          // 2024
  std::uint8_t Reserved2025;          // 2025 kept 0
  std::uint8_t Interleaf;             // 2026
  std::uint8_t Turbo;                 // 2027
  std::uint8_t Interval;              // 2028
  std::uint8_t SeparationKindTwo;     // 2029
  std::uint8_t ResolutionIndex;       // 2030
  std::uint8_t SortKind;              // 2031 0 none, 1 sorter, 2 sorter with stapler
  std::uint8_t InkInformation;        // 2032
  std::uint8_t Reserved2033;          // 2033
  WCHAR PrinterAddress[kPrinterAddressUnits];  // 2034
  std::uint8_t SheetMode;             // 2074
  std::uint8_t AppPageApplied;        // 2075
  std::uint8_t SeparationKind;        // 2076
  std::uint8_t StoredModeA;           // 2077
  std::uint8_t StoredModeB;           // 2078
  std::uint8_t Reserved2079;          // 2079
  InkCode StoredColorA;               // 2080
  InkCode StoredColorB;               // 2082
  std::uint8_t Ninsyo;                // 2084
  std::uint8_t Reserved2085[3];       // 2085
  std::int32_t NinsyoNo;              // 2088
  std::uint8_t SyouInkMode;           // 2092
  std::uint8_t Reserved2093;          // 2093
  std::uint16_t PluginPaperSize;      // 2094 plug-in: public dmPaperSize of the last OK
  std::uint16_t PluginOutputForm;     // 2096 plug-in: form index of the output paper, 0 for none
  std::uint8_t HoldMemoryInstalled;   // 2098
  std::uint8_t BinListInstalled;      // 2099
  std::uint8_t Preview;               // 2100
  std::uint8_t Reserved2101;          // 2101
  WCHAR PreviewProgram[kPreviewProgramUnits];  // 2102
  std::uint8_t Duplex;                // 2622
  std::uint8_t Booklet;               // 2623
  std::uint8_t Booklet4P;             // 2624
  std::uint8_t BindingPosition;       // 2625
  std::uint8_t Reserved2626[2];       // 2626
  std::int32_t BindingAmount;         // 2628 0.1 mm
  std::int32_t BindingAmountInch;     // 2632 1/1000 inch
  std::uint8_t BindingUnit;           // 2636
  std::uint8_t AutoReduce;            // 2637
  std::uint8_t FitPage;               // 2638
  std::uint8_t ImagePosition;         // 2639
  std::int32_t ImagePositionOffsets[8];  // 2640 front four, back four
  std::uint8_t SheetByte2672;         // 2672 carried for the sheets
  std::uint8_t ImagePositionEach;     // 2673
  std::uint8_t Drum2LightPrint;       // 2674
  std::uint8_t ReversePrint;          // 2675
  std::uint8_t DrumReverse;           // 2676
  std::uint8_t Reserved2677[259];     // 2677-2935
};

inline constexpr std::size_t kDocSettingsSize = 2936;
static_assert(sizeof(DocSettings) == kDocSettingsSize);
static_assert(std::is_trivially_copyable_v<DocSettings> && std::is_standard_layout_v<DocSettings>);
static_assert(std::has_unique_object_representations_v<DocSettings>, "no implicit padding");

// The layout: every field with the offset the stored format fixes. Each is
// checked below, and the same list names the fields for the tools that set
// settings by name (DocSettingsFields), so a field is named in one place.
#define DOC_SETTINGS_LAYOUT(X) \
  X(ColorMode, 0) X(OneInkIndex, 1) X(Seihan, 2) X(OutputPaperIndex, 4) X(OutputPaperWidth, 8) \
  X(OutputPaperLength, 12) X(FreeWidth, 16) X(FreeLength, 20) X(SheetValue24, 24) X(SheetValue28, 28) \
  X(FreePaper, 32) X(FreeUnit, 33) X(BinIndex, 34) X(Landscape, 35) X(Rotate, 36) X(Copies, 40) X(RenzokuMode, 44) \
  X(OutputMode, 45) X(OneInkColor, 46) X(Drum1Color, 48) X(Drum2Color, 50) X(InkLab, 52) X(HoldNameFromDoc, 820) \
  X(HoldJobName, 822) X(HoldUserName, 1078) X(HoldJobOption, 1334) X(PaperIndex, 1336) X(PaperWidth, 1340) \
  X(PaperLength, 1344) X(SyuuiYohaku, 1348) X(UpLayout, 1349) X(RensyaLayout, 1350) X(UpFour, 1351) \
  X(RensyaOrder, 1352) X(ProgramPrint, 1353) X(ProgramPrintBlock, 1356) X(ProgramSeparator, 1404) X(InkMarks, 1408) \
  X(HoldBox, 1463) X(Thumbnail, 1464) X(UsbNameFromDoc, 1465) X(UsbJobName, 1466) X(UsbUserName, 1722) \
  X(UsbJobOption, 1978) X(UsbDrive, 1980) X(UsbFolder, 1996) X(SeparationModeA, 1997) X(SeparationModeACopy, 1998) \
  X(SeparationModeB, 1999) X(PhotoMode, 2000) X(TextProc, 2001) X(TextVolumeA, 2002) X(TextVolumeB, 2003) \
  X(AmiLine, 2004) X(AmiAngle, 2006) X(Edge, 2007) X(Akarusa, 2008) X(Contrast, 2009) X(GyakkouOn, 2010) \
  X(Gyakkou, 2011) X(KaityoSmooth, 2012) X(PhotoSyurui, 2013) X(SortMode, 2014) X(Staple, 2015) X(TapeSort, 2016) \
  X(SorterInstalled, 2017) X(StaplerInstalled, 2018) X(TapeSorterInstalled, 2019) X(SpeedIndex, 2020) \
  X(Density1, 2021) X(Density2, 2022) X(Kimitu, 2023) X(RGPanelReset, 2024) X(Reserved2025, 2025) \
  X(Interleaf, 2026) X(Turbo, 2027) X(Interval, 2028) X(SeparationKindTwo, 2029) X(ResolutionIndex, 2030) \
  X(SortKind, 2031) X(InkInformation, 2032) X(PrinterAddress, 2034) X(SheetMode, 2074) X(AppPageApplied, 2075) \
  X(SeparationKind, 2076) X(StoredModeA, 2077) X(StoredModeB, 2078) X(StoredColorA, 2080) X(StoredColorB, 2082) \
  X(Ninsyo, 2084) X(NinsyoNo, 2088) X(SyouInkMode, 2092) X(PluginPaperSize, 2094) X(PluginOutputForm, 2096) \
  X(HoldMemoryInstalled, 2098) X(BinListInstalled, 2099) \
  X(Preview, 2100) X(PreviewProgram, 2102) X(Duplex, 2622) X(Booklet, 2623) X(Booklet4P, 2624) \
  X(BindingPosition, 2625) X(BindingAmount, 2628) X(BindingAmountInch, 2632) X(BindingUnit, 2636) \
  X(AutoReduce, 2637) X(FitPage, 2638) X(ImagePosition, 2639) X(ImagePositionOffsets, 2640) X(SheetByte2672, 2672) \
  X(ImagePositionEach, 2673) X(Drum2LightPrint, 2674) X(ReversePrint, 2675) X(DrumReverse, 2676) \
  X(Reserved2677, 2677)

#define DOC_SETTINGS_CHECK_OFFSET(name, offset) static_assert(offsetof(DocSettings, name) == offset, #name);
DOC_SETTINGS_LAYOUT(DOC_SETTINGS_CHECK_OFFSET)
#undef DOC_SETTINGS_CHECK_OFFSET

// A named field of the layout: integers by width and sign, texts by units;
// records and arrays are Other.
enum class SettingKind { Integer, Text, Other };
struct SettingField {
  std::string_view name;
  std::size_t offset;
  std::size_t size;  // bytes of an integer, units of a text, bytes otherwise
  bool isSigned;
  SettingKind kind;
};
// Every field of the layout, in layout order.
std::span<const SettingField> DocSettingsFields();

// Copy of the device-level fields (resolution, sort kind and installed
// options, ink information switch, printer address, ink marks and ink L,a,b).
struct DeviceLevelValues {
  std::uint8_t ResolutionIndex;
  std::uint8_t SortKind;
  std::uint8_t SorterInstalled;
  std::uint8_t StaplerInstalled;
  std::uint8_t TapeSorterInstalled;
  std::uint8_t HoldMemoryInstalled;
  std::uint8_t BinListInstalled;
  std::uint8_t InkInformation;
  std::uint8_t InkMarks[kColorIdCount];
  InkLabTable InkLab;
  WCHAR PrinterAddress[kPrinterAddressUnits];
};

// ---------------------------------------------------------------------------
// Rules of the model defaults

// Duplex 1 and 2 are the two duplex kinds; any other value prints one side.
inline bool IsDuplexKind(std::uint8_t duplex) { return duplex == 1 || duplex == 2; }

// "PageLayoutDefault" 0-8 -> UpLayout, RensyaLayout, UpFour, RensyaOrder.
void SetLayoutChoice(DocSettings& s, int choice);
// "TextVolumeDefault" -> TextVolumeA, TextVolumeB.
void SetTextVolume(DocSettings& s, int volume);
// SortKind and the SorterInstalled / StaplerInstalled bytes that follow from it.
void SetSortKind(DocSettings& s, int sortKind);

// ---------------------------------------------------------------------------
// Bounded texts of the record. Every read stops at the field's end; every
// write leaves a terminator inside the field.

// Length in units of a text field, never beyond its end.
std::size_t FieldTextLength(std::span<const WCHAR> field);
std::u16string FieldText(std::span<const WCHAR> field);
// Copies at most field.size() - 1 units of text and zero-fills the rest.
// Returns false when the text had to be cut.
bool SetFieldText(std::span<WCHAR> field, std::u16string_view text);

// ---------------------------------------------------------------------------
// Unit conversions. Every result is computed wide; a value that does not fit
// 32 bits (or bad text) gives std::nullopt instead of wrapping.

// 1 for n = 0, else 10^n; 0 when 10^n does not fit 64 bits (n > 18).
std::int64_t PowerOfTen(std::uint16_t n);
// Thousandths of an inch -> micrometres: (v * 254 + 5) / 10.
std::optional<std::int32_t> MilsToMicrons(std::int64_t v);
// trunc(10^(b-c) * |a| / (25.4 * d) + 0.5) with the sign of a.
// (3, 1, 1000): micrometres -> hundredths of an inch. nullopt for d = 0 or overflow.
std::optional<std::int32_t> MicronsToInchUnits(std::int64_t a, int b, int c, int d);
// trunc(|a| * d * 25.4 / 10^(b-c) + 0.5) with the sign of a.
std::optional<std::int32_t> InchUnitsToMicrons(std::int64_t a, int b, int c, int d);
// True when the unit text is "MM" in any case; anything else is inch.
bool IsMillimetreUnit(std::u16string_view unit);

// Size in 0.1 mm -> digits: millimetres with one fraction digit ("210.0"),
// inch as thousandths with three ("8.500"); 0 gives "" and 5 (mm) gives "5".
std::u16string FormatSizeDigits(std::int32_t size, bool inch);
// "210.5" -> thousandths of the unit (210500); inch results pass through
// MilsToMicrons. Text: optional blanks, digits, optionally "." and digits.
std::optional<std::int32_t> ParseFixedTextW(std::u16string_view text, bool inch);
// As ParseFixedTextW on the text converted from the ANSI code page.
std::optional<std::int32_t> ParseFixedTextAnsi(std::string_view text, bool inch);
// Text with n fraction digits -> micrometres (inch: InchUnitsToMicrons(v, 3, 1, 1000);
// mm: v * 1000).
std::optional<std::int32_t> ParseFixedTextN(std::string_view text, bool inch, int n);
// Micrometres -> ANSI text with n fraction digits, at most 10 characters
// (empty when the value does not fit).
std::string FormatFixedText(std::int32_t microns, bool inch, int n);
