// The binding-margin dialog (template 1989): the margin in millimetres or
// inches and the automatic reduction, edited on a copy that goes back into
// SheetState only on OK.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "plat/dialog.h"
#include "sheets/control_kit.h"
#include "sheets/sheet_state.h"

inline constexpr int kBindingMarginTemplate = 1989;
inline constexpr int kMarginEdit = 3294, kMarginSpin = 3295, kMarginRangeLabel = 3296, kUnitCombo = 3203,
                     kAutoReduceCheck = 3297, kBindingPicture = 3298;
inline constexpr UINT kMillimetresString = 48, kInchesString = 92;
inline constexpr int kRangeLabelUnits = 64;

struct BindingMarginRecord {
  std::uint8_t AutoReduceAvailability;  // 0 disabled, 1 enabled, 2 hidden
  std::uint8_t BindingPosition;
  HMODULE Module;
  std::int32_t Millimetres;     // whole millimetres
  std::int32_t HundredthsInch;  // hundredths of an inch
  std::uint8_t Unit;            // 0 millimetres, 1 inches
  std::uint8_t AutoReduce;
  SpinRange Ranges[2];
  WCHAR RangeLabels[2][kRangeLabelUnits];
  int EditLimits[2];
  int Digits;  // fraction digits of the current unit
  bool Filtering;
};

INT_PTR BindingMarginDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK BindingMarginDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitBindingMargin(HWND dialog, BindingMarginRecord& record);
void RefreshBindingMargin(HWND dialog, const BindingMarginRecord& record);
void AutoReduceAvailability(HWND dialog, const BindingMarginRecord& record);
// Converts the value to the other unit (rounded half up) and clamps it to its range.
void ChangeMarginUnit(BindingMarginRecord& record, std::uint8_t unit);
void ReadBindingMargin(HWND dialog, BindingMarginRecord& record);
// True when the command changed a value (the dialog is then refreshed).
bool BindingMarginCommand(HWND dialog, BindingMarginRecord& record, WORD id, WORD code);
void BindingMarginSpin(HWND dialog, BindingMarginRecord& record, const NMUPDOWN& change);
void DrawBindingPicture(const DRAWITEMSTRUCT& item, const BindingMarginRecord& record);
// The picture of a binding position 1-5; 0 (no picture) for any other.
UINT BindingPictureId(std::uint8_t position);

// Unit conversions of margins and paper sizes, rounded half up.
std::int32_t MillimetresToHundredthsInch(std::int32_t millimetres);
std::int32_t HundredthsInchToMillimetres(std::int32_t hundredths);
