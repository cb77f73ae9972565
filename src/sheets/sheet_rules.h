// The rules that keep the document pages' settings consistent (layouts a
// paper allows, what duplex, booklets, image position and separation kind 3
// force), the ink colours offered, the printer query that fills the sheet with
// the drums' inks and the installed options, and the load of a whole settings
// block into the pages. Conflicts are resolved without messages, mostly from
// the "Permanent" block.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

// Combos the rules fill.
inline constexpr int kLayoutTypeCombo = 3021;
inline constexpr int kLayoutKindCombo = 3023;
inline constexpr int kBindingCombo = 3292;
inline constexpr int kSpeedCombo = 3171;
inline constexpr int kOneInkCombo = 3045;
inline constexpr int kDrum1Combo = 2071;
inline constexpr int kDrum2Combo = 2072;

// One row of a combo the rules fill: its string, the mask bit that offers it,
// and its item data.
struct ComboRow {
  UINT StringId;
  std::uint16_t Bit;
  std::uint8_t Data;
};
extern const ComboRow kLayoutTypeRows[5];
extern const ComboRow kLayoutKindRows[8];
extern const ComboRow kBindingRows[6];

bool LayoutPaperAllowed(std::size_t documentPapers, std::uint8_t freePaper, std::uint16_t paperIndex,
                        std::uint16_t outputPaperIndex);
// A3, A4 or B4 by paper id or exact size: the output paper when one is chosen,
// else the document paper (never the free size).
bool IsDuplexPaper(std::size_t documentPapers, std::uint8_t freePaper, const PaperEntry* papers,
                   std::uint16_t paperIndex, const PaperEntry* outputPapers, std::uint16_t outputPaperIndex);
// Speeds offered with duplex on.
bool IsDuplexSpeed(const LevelEntry& speed);

void FitLayoutToPaper(HWND page, DocSheetContext& context, SheetState& state);
void RefreshLayoutChoices(HWND page, SheetState& state);
void OnLayoutTypeChanged(HWND page, const ModelCaps& caps, SheetState& state, std::uint8_t previousMode);
void ImagePositionLimits(HWND page, const ModelCaps& caps, SheetState& state);
// After Duplex changed from previousDuplex.
void OnDuplexChanged(const ModelCaps& caps, SheetState& state, std::uint8_t previousDuplex);
void ImagePositionOn(SheetState& state);
void ResetForSeparationKind3(SheetState& state);

void FillLayoutTypeCombo(HMODULE module, HWND page, std::uint16_t mask);
void FillLayoutKindCombo(HMODULE module, HWND page, std::uint16_t mask);
void FillBindingCombo(HMODULE module, HWND page, std::uint16_t mask);
// Combo 3171: every speed, with duplex only the duplex speeds; item data is
// the list index.
void FillSpeedCombo(HWND page, const ModelCaps& caps, SheetState& state);

void AssignDrumModes(SheetState& state);
void RefreshColorAssignment(SheetState& state);
void BuildAvailColorList(HMODULE module, HWND page, std::uint16_t& count, InkCode* ids,
                         const std::uint8_t (&marks)[kColorIdCount], std::uint8_t oneInkFlag);
void BuildDrumColorList(HWND page, SheetState& state, std::uint8_t oneInkFlag);

// Exchanged with the device status routines.
struct PrinterQueryBlock {
  std::uint8_t Marks[kColorIdCount];
  std::uint8_t Spare;
  InkCode Drum1Color;
  InkCode Drum2Color;
  InkLab Drum1Lab;
  InkLab Drum2Lab;
};
static_assert(sizeof(PrinterQueryBlock) == 84);
static_assert(offsetof(PrinterQueryBlock, Drum1Color) == 56 && offsetof(PrinterQueryBlock, Drum1Lab) == 60);
// Byte 3 tape sort installed, byte 4 hold memory installed, byte 5 bin list installed.
struct OptionAnswer {
  std::uint8_t Bytes[6];
};

int QueryPrinterOptions(const WCHAR* address, bool snmp, OptionAnswer& answer);
// 2 over SNMP, 1 from the status file (also when SNMP fails), 0.
int QueryPrinterDrums(const WCHAR* address, bool snmp, PrinterQueryBlock& block);
int QueryPrinter(const WCHAR* address, bool snmp, OptionAnswer& answer, PrinterQueryBlock& block);
int QueryPrinterIntoSheet(const WCHAR* address, bool snmp, DocSettings& settings, SheetState& state);
int QueryPrinterAtOpen(const WCHAR* address, bool snmp, ModelCaps& caps, SheetState& state);

// Loads a copy of block (a favourite or "Permanent") into the state; block is not changed.
void ApplySettingsToSheet(HWND page, const DocSettings& block, DocSheetContext& context, SheetState& state);
