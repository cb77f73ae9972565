// The free paper size dialog (1994) and the image position dialog (993, 994).
#include <algorithm>
#include <cstring>
#include <optional>

#include "plat/resources.h"
#include "sheets/basic_layout_pages.h"
#include "sheets/control_kit.h"
#include "sheets/setting_pictures.h"

namespace {

enum : int {
  kUnitCombo = 3203, kUnitLabel = 3208,
  // Free size.
  kWidthEdit = 3201, kWidthSpin = 3202, kWidthRange = 3204, kLengthEdit = 3206, kLengthSpin = 3207, kLengthRange = 3209,
  // Image position.
  kFrontH = 3010, kFrontV = 3011, kFrontVSpin = 3012, kFrontHSpin = 3013, kHRange = 3015, kVRange = 3017,
  kReset = 3018, kFrontMark = 3270, kFrontDirection = 3272, kBackMark = 3273, kBackDirection = 3275,
  kEachSide = 3276, kBackV = 3278, kBackVSpin = 3279, kBackH = 3283, kBackHSpin = 3284,
};
constexpr UINT kUnitStrings[2] = {801, 802};
constexpr int kRangeTextUnits = 128;

std::int32_t Value(std::optional<std::int32_t> v) { return v.value_or(0); }

int DigitCount(std::int32_t v) {
  int n = v < 0 ? 2 : 1;
  for (std::int64_t a = v < 0 ? -std::int64_t{v} : v; a >= 10; a /= 10) ++n;
  return n;
}

// A range label's text: its template text as the format, the bounds as inserts.
void BuildRangeText(const WCHAR* format, std::int32_t low, std::int32_t high, int digits, WCHAR* out) {
  WCHAR a[32], b[32];
  FormatFixedPoint(low, digits, a, 32);
  FormatFixedPoint(high, digits, b, 32);
  FormatWithInserts(out, kRangeTextUnits, format, 2, a, b);
}

void FillUnits(HWND dialog, HMODULE module) {
  SendDlgItemMessageW(dialog, kUnitCombo, CB_RESETCONTENT, 0, 0);
  AddResourceStrings(module, dialog, kUnitCombo, kUnitStrings, 2);
}

std::u16string LabelText(HWND dialog, int id) {
  WCHAR text[kRangeTextUnits] = {};
  GetDlgItemTextW(dialog, id, text, kRangeTextUnits);
  return text;
}

// ---- free size ----

struct FreeSizeRecord {
  HMODULE module;
  std::int32_t width, length;          // millimetres
  std::int32_t widthInch, lengthInch;  // hundredths of an inch
  std::uint8_t unit;                   // 0 millimetre, 1 inch
  std::int32_t minWidth[2], maxWidth[2], minLength[2], maxLength[2];  // by unit
  int digits;
  WCHAR widthRange[2][kRangeTextUnits], lengthRange[2][kRangeTextUnits];
  int limit[2];
  bool guard;
};


void FreeRefresh(HWND dialog, FreeSizeRecord& r) {
  const int u = r.unit;
  SetComboSel(dialog, kUnitCombo, u);
  SetTextFromResource(r.module, GetDlgItem(dialog, kUnitLabel), kUnitStrings[u]);
  SetSpinRange(dialog, kWidthSpin, r.minWidth[u], r.maxWidth[u]);
  SetSpinRange(dialog, kLengthSpin, r.minLength[u], r.maxLength[u]);
  SetDlgItemTextW(dialog, kWidthRange, r.widthRange[u]);
  SetDlgItemTextW(dialog, kLengthRange, r.lengthRange[u]);
  LimitEditText(dialog, kWidthEdit, r.limit[u]);
  LimitEditText(dialog, kLengthEdit, r.limit[u]);
  r.guard = true;
  SetFixedPointEdit(dialog, kWidthEdit, kWidthSpin, r.digits, u ? r.widthInch : r.width);
  SetFixedPointEdit(dialog, kLengthEdit, kLengthSpin, r.digits, u ? r.lengthInch : r.length);
  r.guard = false;
}

void FreeInit(HWND dialog, FreeSizeRecord& r) {
  FillUnits(dialog, r.module);
  const std::u16string widthFormat = LabelText(dialog, kWidthRange), lengthFormat = LabelText(dialog, kLengthRange);
  for (int u = 0; u < 2; ++u) {
    const int digits = u ? 2 : 0;
    BuildRangeText(widthFormat.c_str(), r.minWidth[u], r.maxWidth[u], digits, r.widthRange[u]);
    BuildRangeText(lengthFormat.c_str(), r.minLength[u], r.maxLength[u], digits,
                   r.lengthRange[u]);
    const int widest = std::max({DigitCount(r.maxWidth[u]), DigitCount(r.maxLength[u]), DigitCount(r.minWidth[u]),
                                 DigitCount(r.minLength[u])});
    r.limit[u] = widest + (digits ? 1 : 0);
  }
  r.digits = r.unit ? 2 : 0;
  FreeRefresh(dialog, r);
}

void FreeUnitChanged(HWND dialog, FreeSizeRecord& r) {
  const int selection = GetComboSel(dialog, kUnitCombo);
  if (selection < 0 || selection == r.unit) return;
  r.unit = static_cast<std::uint8_t>(selection);
  r.digits = r.unit ? 2 : 0;
  if (r.unit == 1) {
    r.widthInch = Value(MicronsToInchUnits(r.width, 2, 0, 1));
    r.lengthInch = Value(MicronsToInchUnits(r.length, 2, 0, 1));
    r.width = r.length = 0;
    ClampToRange(&r.widthInch, r.minWidth[1], r.maxWidth[1]);
    ClampToRange(&r.lengthInch, r.minLength[1], r.maxLength[1]);
  } else {
    r.width = Value(InchUnitsToMicrons(r.widthInch, 2, 0, 1));
    r.length = Value(InchUnitsToMicrons(r.lengthInch, 2, 0, 1));
    r.widthInch = r.lengthInch = 0;
    ClampToRange(&r.width, r.minWidth[0], r.maxWidth[0]);
    ClampToRange(&r.length, r.minLength[0], r.maxLength[0]);
  }
  FreeRefresh(dialog, r);
}

std::int32_t& FreeField(FreeSizeRecord& r, int editId) {
  if (editId == kWidthEdit) return r.unit ? r.widthInch : r.width;
  return r.unit ? r.lengthInch : r.length;
}

void FreeOk(HWND dialog, FreeSizeRecord& r) {
  ParseFixedPointEdit(dialog, kWidthEdit, kWidthSpin, r.digits, &FreeField(r, kWidthEdit));
  ParseFixedPointEdit(dialog, kLengthEdit, kLengthSpin, r.digits, &FreeField(r, kLengthEdit));
  if (r.unit == 1) {
    r.width = Value(InchUnitsToMicrons(r.widthInch, 2, 0, 1));
    r.length = Value(InchUnitsToMicrons(r.lengthInch, 2, 0, 1));
    ClampToRange(&r.width, r.minWidth[0], r.maxWidth[0]);
    ClampToRange(&r.length, r.minLength[0], r.maxLength[0]);
  } else {
    r.widthInch = r.lengthInch = 0;
  }
  EndDialog(dialog, IDOK);
}

// UDN_DELTAPOS: the parsed edit value plus the step, clamped, written back.
void SpinStep(HWND dialog, int editId, int spinId, int digits, const NMUPDOWN& step, std::int32_t& field, bool& guard) {
  std::int32_t value = field;
  ParseFixedPointEdit(dialog, editId, spinId, digits, &value);
  const SpinRange range = GetSpinRange(dialog, spinId);
  value += step.iDelta;
  ClampToRange(&value, range.Minimum, range.Maximum);
  field = value;
  guard = true;
  SetFixedPointEdit(dialog, editId, spinId, digits, value);
  guard = false;
}

// ---- image position ----

struct PositionRecord {
  std::uint8_t resetEnable, eachEnable, duplexEnable;
  std::uint8_t duplex;
  HMODULE module;
  std::int32_t offsets[8];  // front h, v (0.1 mm), front h, v (1/1000 inch), back the same
  std::uint8_t unit, each;
  std::int32_t hLimit[2], vLimit[2];  // -f..f and 0..e by unit
  int digits;
  WCHAR hRange[2][kRangeTextUnits], vRange[2][kRangeTextUnits];
  int limit[2];
  bool guard;
  bool twoSided;  // template 994
};


// Offset slot of an edit in the current unit.
std::int32_t* OffsetFor(PositionRecord& r, int editId) {
  const int base = r.unit ? 2 : 0;
  switch (editId) {
    case kFrontH: return &r.offsets[base];
    case kFrontV: return &r.offsets[base + 1];
    case kBackH: return &r.offsets[4 + base];
    case kBackV: return &r.offsets[4 + base + 1];
    default: return nullptr;
  }
}

int SpinOf(int editId) {
  switch (editId) {
    case kFrontH: return kFrontHSpin;
    case kFrontV: return kFrontVSpin;
    case kBackH: return kBackHSpin;
    default: return kBackVSpin;
  }
}


void PositionRules(HWND dialog, const PositionRecord& r) {
  if (r.resetEnable == 2) HideItem(dialog, kReset);
  else if (r.resetEnable == 0) DisableItem(dialog, kReset);
  else EnableItem(dialog, kReset);
  if (!r.twoSided) return;
  const int back[] = {3273, 3274, 3275, 3277, 3278, 3279, 3280, 3281, 3282, 3283, 3284, 3285, 3286};
  if (r.eachEnable == 2) {
    HideItem(dialog, kEachSide);
    for (int id : back) HideItem(dialog, id);
    return;
  }
  const bool open = r.duplex != 0 && r.eachEnable != 0;
  if (open) EnableItem(dialog, kEachSide);
  else DisableItem(dialog, kEachSide);
  for (int id : back) {
    if (open && r.each == 1) EnableItem(dialog, id);
    else DisableItem(dialog, id);
  }
}

void PositionRefresh(HWND dialog, PositionRecord& r) {
  const int u = r.unit;
  SetComboSel(dialog, kUnitCombo, u);
  SetTextFromResource(r.module, GetDlgItem(dialog, kUnitLabel), kUnitStrings[u]);
  SetSpinRange(dialog, kFrontVSpin, 0, r.vLimit[u]);
  SetSpinRange(dialog, kFrontHSpin, -r.hLimit[u], r.hLimit[u]);
  SetDlgItemTextW(dialog, kHRange, r.hRange[u]);
  SetDlgItemTextW(dialog, kVRange, r.vRange[u]);
  r.guard = true;
  for (int id : {kFrontH, kFrontV}) {
    LimitEditText(dialog, id, r.limit[u]);
    SetFixedPointEdit(dialog, id, SpinOf(id), r.digits, *OffsetFor(r, id));
  }
  if (r.twoSided) {
    SetSpinRange(dialog, kBackVSpin, 0, r.vLimit[u]);
    SetSpinRange(dialog, kBackHSpin, -r.hLimit[u], r.hLimit[u]);
    for (int id : {kBackH, kBackV}) {
      LimitEditText(dialog, id, r.limit[u]);
      SetFixedPointEdit(dialog, id, SpinOf(id), r.digits, *OffsetFor(r, id));
    }
    SetCheck(dialog, kEachSide, r.each);
  }
  r.guard = false;
  InvalidateRect(GetDlgItem(dialog, kFrontDirection), nullptr, FALSE);
  if (r.twoSided) {
    InvalidateRect(GetDlgItem(dialog, kBackDirection), nullptr, FALSE);
    InvalidateRect(GetDlgItem(dialog, kBackMark), nullptr, FALSE);
  }
}

void PositionInit(HWND dialog, PositionRecord& r) {
  r.twoSided = GetDlgItem(dialog, kEachSide) != nullptr;
  FillUnits(dialog, r.module);
  const std::u16string hFormat = LabelText(dialog, kHRange), vFormat = LabelText(dialog, kVRange);
  for (int u = 0; u < 2; ++u) {
    const int digits = u ? 3 : 1;
    BuildRangeText(hFormat.c_str(), -r.hLimit[u], r.hLimit[u], digits, r.hRange[u]);
    BuildRangeText(vFormat.c_str(), 0, r.vLimit[u], digits, r.vRange[u]);
    r.limit[u] = std::max(DigitCount(-r.hLimit[u]), DigitCount(r.vLimit[u])) + 1;
  }
  r.digits = r.unit ? 3 : 1;
  ResizeItem(dialog, kFrontMark, 14, 13);
  ResizeItem(dialog, kFrontDirection, 50, 50);
  if (r.twoSided) {
    ResizeItem(dialog, kBackMark, 14, 13);
    ResizeItem(dialog, kBackDirection, 50, 50);
  }
  PositionRefresh(dialog, r);
  PositionRules(dialog, r);
}

void PositionUnitChanged(HWND dialog, PositionRecord& r) {
  const int selection = GetComboSel(dialog, kUnitCombo);
  if (selection < 0 || selection == r.unit) return;
  r.unit = static_cast<std::uint8_t>(selection);
  r.digits = r.unit ? 3 : 1;
  for (int side = 0; side < 2; ++side) {
    std::int32_t* mm = &r.offsets[side * 4];
    std::int32_t* inch = &r.offsets[side * 4 + 2];
    for (int k = 0; k < 2; ++k) {
      if (r.unit == 1) {
        inch[k] = Value(MicronsToInchUnits(mm[k], 3, 1, 1));
        mm[k] = 0;
      } else {
        mm[k] = Value(InchUnitsToMicrons(inch[k], 3, 1, 1));
        inch[k] = 0;
      }
      std::int32_t* now = r.unit ? &inch[k] : &mm[k];
      if (k == 0) ClampToRange(now, -r.hLimit[r.unit], r.hLimit[r.unit]);
      else ClampToRange(now, 0, r.vLimit[r.unit]);
    }
  }
  PositionRefresh(dialog, r);
}

void PositionOk(HWND dialog, PositionRecord& r) {
  for (int id : {kFrontH, kFrontV, kBackH, kBackV}) {
    if (!r.twoSided && (id == kBackH || id == kBackV)) continue;
    ParseFixedPointEdit(dialog, id, SpinOf(id), r.digits, OffsetFor(r, id));
  }
  for (int side = 0; side < (r.twoSided ? 2 : 1); ++side) {
    std::int32_t* mm = &r.offsets[side * 4];
    std::int32_t* inch = &r.offsets[side * 4 + 2];
    for (int k = 0; k < 2; ++k) {
      if (r.unit == 0) {
        inch[k] = 0;
      } else {
        mm[k] = Value(InchUnitsToMicrons(inch[k], 3, 1, 1));
        if (k == 0) ClampToRange(&mm[k], -r.hLimit[0], r.hLimit[0]);
        else ClampToRange(&mm[k], 0, r.vLimit[0]);
      }
    }
  }
  EndDialog(dialog, IDOK);
}

// 559 + 6 s + 3 v + h by the side's offsets in the current unit.
UINT DirectionBitmap(const PositionRecord& r, bool back) {
  const int base = (back ? 4 : 0) + (r.unit ? 2 : 0);
  const std::int32_t h = r.offsets[base], v = r.offsets[base + 1];
  const int side = back ? (IsDuplexKind(r.duplex) ? r.duplex : 0) : 0;
  return static_cast<UINT>(559 + 6 * side + 3 * (v != 0 ? 1 : 0) + (h < 0 ? 0 : h == 0 ? 1 : 2));
}

void DrawPositionItem(const PositionRecord& r, const DRAWITEMSTRUCT& item) {
  UINT id = 0;
  switch (item.CtlID) {
    case kFrontMark: id = 578; break;
    case kBackMark: id = r.each == 1 ? 578 : 579; break;
    case kFrontDirection: id = DirectionBitmap(r, false); break;
    case kBackDirection: id = r.each == 0 ? 577 : DirectionBitmap(r, true); break;
    default: return;
  }
  DrawResourceBitmap(r.module, item.hDC, id, 1);
}

}  // namespace

INT_PTR FreePaperSizeDialog(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const CapsInfo& info = context.Caps.Info;
  FreeSizeRecord r{};
  r.module = s.ResourceDll;
  r.width = s.FreeWidth / 1000;
  r.length = s.FreeLength / 1000;
  r.widthInch = s.SheetValue24 / 10;
  r.lengthInch = s.SheetValue28 / 10;
  r.unit = s.FreeUnit == 1 ? 1 : 0;
  r.minWidth[0] = info.MinPaperWidth / 1000;
  r.maxWidth[0] = info.MaxPaperWidth / 1000;
  r.minLength[0] = info.MinPaperLength / 1000;
  r.maxLength[0] = info.MaxPaperLength / 1000;
  r.minWidth[1] = Value(MicronsToInchUnits(r.minWidth[0], 2, 0, 1));
  r.maxWidth[1] = Value(MicronsToInchUnits(r.maxWidth[0], 2, 0, 1));
  r.minLength[1] = Value(MicronsToInchUnits(r.minLength[0], 2, 0, 1));
  r.maxLength[1] = Value(MicronsToInchUnits(r.maxLength[0], 2, 0, 1));
  const INT_PTR result = DialogBoxParamW(s.ResourceDll, MAKEINTRESOURCEW(1994), GetParent(page), FreePaperSizeDlgProc,
                                         reinterpret_cast<LPARAM>(&r));
  if (result == IDOK) {
    s.FreeWidth = r.width * 1000;
    s.FreeLength = r.length * 1000;
    s.SheetValue24 = r.widthInch * 10;
    s.SheetValue28 = r.lengthInch * 10;
    s.FreeUnit = r.unit;
  }
  return result;
}

INT_PTR CALLBACK FreePaperSizeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    FreeInit(dialog, *AdoptDialogRecord<FreeSizeRecord>(dialog, lParam));
    return TRUE;
  }
  FreeSizeRecord* r = DialogRecord<FreeSizeRecord>(dialog);
  if (!r) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam), code = HIWORD(wParam);
      if (id == IDOK) FreeOk(dialog, *r);
      else if (id == IDCANCEL) EndDialog(dialog, IDCANCEL);
      else if (id == kUnitCombo && code == CBN_SELCHANGE) FreeUnitChanged(dialog, *r);
      else if ((id == kWidthEdit || id == kLengthEdit) && code == EN_UPDATE && !r->guard) {
        r->guard = true;
        EditCharFilter(dialog, id, r->unit ? kFilterDigits | kFilterPoint : kFilterDigits);
        r->guard = false;
      } else if ((id == kWidthEdit || id == kLengthEdit) && code == EN_KILLFOCUS && !r->guard) {
        std::int32_t& field = FreeField(*r, id);
        std::int32_t value = field;
        if (ParseFixedPointEdit(dialog, id, id == kWidthEdit ? kWidthSpin : kLengthSpin, r->digits, &value) ||
            value != field) {
          field = value;
          FreeRefresh(dialog, *r);
        }
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code != UDN_DELTAPOS || (header->idFrom != kWidthSpin && header->idFrom != kLengthSpin)) return FALSE;
      const int edit = header->idFrom == kWidthSpin ? kWidthEdit : kLengthEdit;
      SpinStep(dialog, edit, static_cast<int>(header->idFrom), r->digits, *reinterpret_cast<const NMUPDOWN*>(lParam),
               FreeField(*r, edit), r->guard);
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, FALSE);
      return TRUE;
    }
    case WM_VSCROLL: FreeRefresh(dialog, *r); return TRUE;
    default: return FALSE;
  }
}

INT_PTR ImagePositionDialog(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const ModelCaps& caps = context.Caps;
  PositionRecord r{};
  r.resetEnable = caps.Info.ImagePositionResetEnable;
  r.eachEnable = caps.Info.ImagePositionEachSettingEnable;
  r.duplexEnable = caps.Info.DuplexEnable;
  r.duplex = s.Duplex;
  r.module = s.ResourceDll;
  std::memcpy(r.offsets, s.ImagePositionOffsets, sizeof r.offsets);
  r.unit = s.SheetByte2672 == 1 ? 1 : 0;
  r.each = s.ImagePositionEach;
  std::int32_t width = 0, length = 0;
  const PaperEntry* output = OutputPaperAt(caps, s.OutputPaperIndex);
  std::int32_t outWidth = 0, outLength = 0;
  if (ChosenPaperSize(caps, s, width, length)) {
    if (s.OutputPaperIndex != 0 && output) {
      outWidth = output->Width;
      outLength = output->Length;
    } else {
      outWidth = width;
      outLength = length;
    }
  }
  if (s.Landscape == 1) std::swap(width, length);
  const std::int32_t e = std::max<std::int32_t>((outLength - length) / 100, 0);
  const std::int32_t f = std::max<std::int32_t>((outWidth - width) / 200, 0);
  r.vLimit[0] = e;
  r.hLimit[0] = f;
  r.vLimit[1] = Value(MicronsToInchUnits(e, 3, 1, 1));
  r.hLimit[1] = Value(MicronsToInchUnits(f, 3, 1, 1));
  const UINT templateId = r.duplexEnable == 1 ? 994 : 993;
  const INT_PTR result = DialogBoxParamW(s.ResourceDll, MAKEINTRESOURCEW(templateId), GetParent(page),
                                         ImagePositionDlgProc, reinterpret_cast<LPARAM>(&r));
  if (result == IDOK) {
    std::memcpy(s.ImagePositionOffsets, r.offsets, sizeof r.offsets);
    s.SheetByte2672 = r.unit;
    s.ImagePositionEach = r.each;
  }
  return result;
}

INT_PTR CALLBACK ImagePositionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    PositionInit(dialog, *AdoptDialogRecord<PositionRecord>(dialog, lParam));
    return TRUE;
  }
  PositionRecord* r = DialogRecord<PositionRecord>(dialog);
  if (!r) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam), code = HIWORD(wParam);
      std::int32_t* offset = OffsetFor(*r, id);
      if (id == IDOK) {
        PositionOk(dialog, *r);
      } else if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
      } else if (id == kReset && code == BN_CLICKED) {
        std::fill(std::begin(r->offsets), std::end(r->offsets), 0);
        PositionRefresh(dialog, *r);
      } else if (id == kUnitCombo && code == CBN_SELCHANGE) {
        PositionUnitChanged(dialog, *r);
      } else if (id == kEachSide && code == BN_CLICKED) {
        r->each = IsChecked(dialog, kEachSide) ? 1 : 0;
        PositionRules(dialog, *r);
        PositionRefresh(dialog, *r);
      } else if (offset && code == EN_UPDATE && !r->guard) {
        r->guard = true;
        EditCharFilter(dialog, id, kFilterDigits | kFilterPoint | kFilterMinus);
        r->guard = false;
      } else if (offset && code == EN_KILLFOCUS && !r->guard) {
        std::int32_t value = *offset;
        if (ParseFixedPointEdit(dialog, id, SpinOf(id), r->digits, &value) || value != *offset) {
          *offset = value;
          PositionRefresh(dialog, *r);
        }
      }
      return TRUE;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (header->code != UDN_DELTAPOS) return FALSE;
      for (int edit : {kFrontH, kFrontV, kBackH, kBackV}) {
        if (SpinOf(edit) != static_cast<int>(header->idFrom)) continue;
        SpinStep(dialog, edit, SpinOf(edit), r->digits, *reinterpret_cast<const NMUPDOWN*>(lParam), *OffsetFor(*r, edit),
                 r->guard);
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, FALSE);
        InvalidateRect(GetDlgItem(dialog, kFrontDirection), nullptr, FALSE);
        InvalidateRect(GetDlgItem(dialog, kBackDirection), nullptr, FALSE);
        return TRUE;
      }
      return FALSE;
    }
    case WM_VSCROLL: PositionRefresh(dialog, *r); return TRUE;
    case WM_DRAWITEM: DrawPositionItem(*r, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)); return TRUE;
    default: return FALSE;
  }
}
