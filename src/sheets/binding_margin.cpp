#include "sheets/binding_margin.h"

#include <algorithm>

#include "plat/resources.h"
#include "plat/strings.h"
#include "sheets/control_kit.h"
#include "sheets/setting_pictures.h"

namespace {

constexpr SpinRange kMillimetreRange{0, 50};
constexpr SpinRange kInchRange{0, 200};  // 0.00-2.00
constexpr int kSmallPicture = 80, kLargePicture = 96;
// Pictures of binding positions 1-5.
constexpr UINT kBindingPictures[5] = {556, 557, 554, 555, 558};

std::int32_t& ValueOfUnit(BindingMarginRecord& r) { return r.Unit == 1 ? r.HundredthsInch : r.Millimetres; }
std::int32_t ValueOfUnit(const BindingMarginRecord& r) { return r.Unit == 1 ? r.HundredthsInch : r.Millimetres; }

// The edit read with the unit's digits into the unit's value; true when it changed or must be rewritten.
bool ParseMarginEdit(HWND dialog, BindingMarginRecord& r) {
  std::int32_t value = 0;
  const int rewrite = ParseFixedPointEdit(dialog, kMarginEdit, kMarginSpin, r.Digits, &value);
  std::int32_t& current = ValueOfUnit(r);
  const bool changed = value != current;
  current = value;
  return changed || rewrite != 0;
}

}  // namespace

std::int32_t MillimetresToHundredthsInch(std::int32_t millimetres) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(millimetres) * 1000 + 127) / 254);
}

std::int32_t HundredthsInchToMillimetres(std::int32_t hundredths) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(hundredths) * 254 + 500) / 1000);
}

UINT BindingPictureId(std::uint8_t position) {
  return position >= 1 && position <= 5 ? kBindingPictures[position - 1] : 0;
}

void InitBindingMargin(HWND dialog, BindingMarginRecord& record) {
  const UINT units[2] = {kMillimetresString, kInchesString};
  AddResourceStrings(record.Module, dialog, kUnitCombo, units, 2);
  record.Digits = record.Unit == 1 ? 2 : 0;
  record.Ranges[0] = kMillimetreRange;
  record.Ranges[1] = kInchRange;
  record.EditLimits[0] = 2;
  record.EditLimits[1] = 4;
  WCHAR format[kRangeLabelUnits] = {};
  GetDlgItemTextW(dialog, kMarginRangeLabel, format, kRangeLabelUnits);
  for (int unit = 0; unit < 2; ++unit) {
    WCHAR low[16], high[16];
    FormatFixedPoint(record.Ranges[unit].Minimum, unit == 1 ? 2 : 0, low, 16);
    FormatFixedPoint(record.Ranges[unit].Maximum, unit == 1 ? 2 : 0, high, 16);
    FormatWithInserts(record.RangeLabels[unit], kRangeLabelUnits, format, 2, low, high);
  }
  const int side = record.BindingPosition == 5 ? kSmallPicture : kLargePicture;
  ResizeItem(dialog, kBindingPicture, side, side);
}

void AutoReduceAvailability(HWND dialog, const BindingMarginRecord& record) {
  ApplyAvailability(dialog, kAutoReduceCheck, record.AutoReduceAvailability);
}

void RefreshBindingMargin(HWND dialog, const BindingMarginRecord& record) {
  const int unit = record.Unit == 1 ? 1 : 0;
  SetComboSel(dialog, kUnitCombo, unit);
  SetSpinRange(dialog, kMarginSpin, record.Ranges[unit].Minimum, record.Ranges[unit].Maximum);
  SetDlgItemTextW(dialog, kMarginRangeLabel, record.RangeLabels[unit]);
  LimitEditText(dialog, kMarginEdit, record.EditLimits[unit]);
  SetFixedPointEdit(dialog, kMarginEdit, kMarginSpin, record.Digits, ValueOfUnit(record));
  SetCheck(dialog, kAutoReduceCheck, record.AutoReduce);
  AutoReduceAvailability(dialog, record);
}

void ChangeMarginUnit(BindingMarginRecord& record, std::uint8_t unit) {
  if (unit == 1) {
    record.Digits = 2;
    record.HundredthsInch = MillimetresToHundredthsInch(record.Millimetres);
    record.Millimetres = 0;
  } else {
    record.Digits = 0;
    record.Millimetres = HundredthsInchToMillimetres(record.HundredthsInch);
    record.HundredthsInch = 0;
  }
  record.Unit = unit == 1 ? 1 : 0;
  ClampToRange(&ValueOfUnit(record), record.Ranges[record.Unit].Minimum, record.Ranges[record.Unit].Maximum);
}

void ReadBindingMargin(HWND dialog, BindingMarginRecord& record) {
  ParseMarginEdit(dialog, record);
  if (record.Unit == 1) {
    // 2.00 in would round to 51 mm.
    record.Millimetres = HundredthsInchToMillimetres(record.HundredthsInch);
    ClampToRange(&record.Millimetres, kMillimetreRange.Minimum, kMillimetreRange.Maximum);
  } else {
    record.HundredthsInch = 0;
  }
}

bool BindingMarginCommand(HWND dialog, BindingMarginRecord& record, WORD id, WORD code) {
  if (id == kMarginEdit && code == EN_UPDATE) {
    if (record.Filtering) return false;
    record.Filtering = true;
    EditCharFilter(dialog, kMarginEdit, record.Unit == 1 ? kFilterDigits | kFilterPoint : kFilterDigits);
    record.Filtering = false;
    return false;
  }
  if (id == kMarginEdit && code == EN_KILLFOCUS) return ParseMarginEdit(dialog, record);
  if (id == kUnitCombo && code == CBN_SELCHANGE) {
    const int unit = GetComboSel(dialog, kUnitCombo);
    if (unit < 0 || unit == record.Unit) return false;
    ChangeMarginUnit(record, static_cast<std::uint8_t>(unit));
    return true;
  }
  if (id == kAutoReduceCheck && code == BN_CLICKED) {
    const std::uint8_t checked = IsChecked(dialog, kAutoReduceCheck) ? 1 : 0;
    if (checked == record.AutoReduce) return false;
    record.AutoReduce = checked;
    return true;
  }
  return false;
}

void BindingMarginSpin(HWND dialog, BindingMarginRecord& record, const NMUPDOWN& change) {
  ParseMarginEdit(dialog, record);
  std::int32_t& value = ValueOfUnit(record);
  value = static_cast<std::int32_t>(std::clamp<std::int64_t>(static_cast<std::int64_t>(value) + change.iDelta,
                                                             record.Ranges[record.Unit].Minimum,
                                                             record.Ranges[record.Unit].Maximum));
}

void DrawBindingPicture(const DRAWITEMSTRUCT& item, const BindingMarginRecord& record) {
  const UINT bitmap = BindingPictureId(record.BindingPosition);
  if (bitmap == 0 || !item.hDC) return;
  DrawResourceBitmap(record.Module, item.hDC, bitmap, 1);
}

INT_PTR CALLBACK BindingMarginDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto& record = *AdoptDialogRecord<BindingMarginRecord>(dialog, lParam);
    InitBindingMargin(dialog, record);
    RefreshBindingMargin(dialog, record);
    return TRUE;
  }
  BindingMarginRecord* record = DialogRecord<BindingMarginRecord>(dialog);
  if (!record) return FALSE;
  switch (message) {
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (!item || item->CtlID != static_cast<UINT>(kBindingPicture)) return FALSE;
      DrawBindingPicture(*item, *record);
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || header->idFrom != static_cast<UINT_PTR>(kMarginSpin) || header->code != UDN_DELTAPOS) return FALSE;
      BindingMarginSpin(dialog, *record, *reinterpret_cast<const NMUPDOWN*>(lParam));
      return TRUE;
    }
    case WM_VSCROLL:
      RefreshBindingMargin(dialog, *record);
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDOK && code == BN_CLICKED) {
        ReadBindingMargin(dialog, *record);
        EndDialog(dialog, 1);
        return TRUE;
      }
      if (id == IDCANCEL && code == BN_CLICKED) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      if (BindingMarginCommand(dialog, *record, id, code)) RefreshBindingMargin(dialog, *record);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR BindingMarginDialog(HWND page, DocSheetContext& context) {
  SheetState& state = context.State;
  BindingMarginRecord record{};
  record.AutoReduceAvailability = context.Caps.Info.AutoReduceEnable;
  record.BindingPosition = state.BindingPosition;
  record.Module = state.ResourceDll;
  record.Millimetres = state.BindingAmount / 10;
  record.HundredthsInch = state.BindingAmountInch / 10;
  record.Unit = state.BindingUnit == 1 ? 1 : 0;
  record.AutoReduce = state.AutoReduce;
  const INT_PTR result = DialogBoxParamW(record.Module, MAKEINTRESOURCEW(kBindingMarginTemplate), page,
                                         BindingMarginDlgProc, reinterpret_cast<LPARAM>(&record));
  if (result == 1) {
    state.BindingAmount = record.Millimetres * 10;
    state.BindingAmountInch = record.HundredthsInch * 10;
    state.BindingUnit = record.Unit;
    state.AutoReduce = record.AutoReduce;
  }
  return result;
}
