#include "sheets/output_controls.h"

#include <iterator>

#include "sheets/control_kit.h"
#include "sheets/job_dialogs.h"

namespace {

struct OutputModeRow {
  UINT StringId;
  std::uint8_t Bit;
  std::uint8_t Mode;
};
constexpr OutputModeRow kOutputModeRows[] = {{3511, 1, 0}, {3512, 2, 1}, {3513, 4, 2}, {3514, 8, 3}, {3515, 16, 4}};
constexpr UINT kRenzokuStrings[] = {3507, 3508, 3509, 3510};
constexpr int kCopiesEditLimit = 4;

// The edit's leading digits as an unsigned number (what EN_CHANGE stores).
std::int32_t TypedNumber(HWND page, int editId) {
  WCHAR text[kFixedPointTextUnits] = {};
  GetDlgItemTextW(page, editId, text, kFixedPointTextUnits);
  std::uint32_t value = 0;
  for (const WCHAR* c = text; *c >= u'0' && *c <= u'9'; ++c) {
    value = value > 99999999u ? value : value * 10 + static_cast<std::uint32_t>(*c - u'0');
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace

void FillOutputControls(HMODULE module, HWND page, const ModelCaps& caps, std::uint8_t outputModeMask) {
  SendDlgItemMessageW(page, kOutputModeCombo, CB_RESETCONTENT, 0, 0);
  for (const OutputModeRow& row : kOutputModeRows) {
    if (!(outputModeMask & row.Bit)) continue;
    AddResourceString(module, page, kOutputModeCombo, row.StringId);
    const int last = static_cast<int>(SendDlgItemMessageW(page, kOutputModeCombo, CB_GETCOUNT, 0, 0)) - 1;
    SetComboItemData(page, kOutputModeCombo, last, row.Mode);
  }
  SetSpinRange(page, kCopiesSpin, caps.Info.CopiesMin, caps.Info.CopiesMax);
  LimitEditText(page, kCopiesEdit, kCopiesEditLimit);
  SendDlgItemMessageW(page, kRenzokuCombo, CB_RESETCONTENT, 0, 0);
  AddResourceStrings(module, page, kRenzokuCombo, kRenzokuStrings, static_cast<int>(std::size(kRenzokuStrings)));
}

void SelectRowByData(HWND page, int comboId, LPARAM value) {
  const int count = static_cast<int>(SendDlgItemMessageW(page, comboId, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    if (GetComboItemData(page, comboId, i) == value) {
      SetComboSel(page, comboId, i);
      return;
    }
  }
  SetComboSel(page, comboId, -1);
}

LPARAM SelectedRowData(HWND page, int comboId) {
  const int selection = GetComboSel(page, comboId);
  return selection < 0 ? -1 : GetComboItemData(page, comboId, selection);
}

void RefreshOutputControls(HWND page, const SheetState& state) {
  SelectRowByData(page, kOutputModeCombo, state.OutputMode);
  SetFixedPointEdit(page, kCopiesEdit, kCopiesSpin, 0, state.Copies);
  SetComboSel(page, kRenzokuCombo, state.RenzokuMode);
}

void OutputModeEnableRules(HWND page, const ModelCaps& caps, const SheetState& state) {
  const CapsInfo& info = caps.Info;
  const int group[] = {kOutputModeLabel, kOutputModeCombo, kJobGroupButton};
  if (info.OutputModeEnable == 2) {
    for (int id : group) HideItem(page, id);
    HideItem(page, kOutputModeGroup);
    return;
  }
  for (int id : group) ShowItem(page, id);
  ShowItem(page, kOutputModeGroup);
  const bool usb = info.UsbOutEnable == 1;
  const bool available = info.OutputModeEnable != 0 && (caps.Defaults.HoldMemoryInstalled != 0 || usb) &&
                         !(usb && state.Ninsyo == 1);
  if (!available) {
    for (int id : group) DisableItem(page, id);
    return;
  }
  EnableItem(page, kOutputModeLabel);
  EnableItem(page, kOutputModeCombo);
  if (state.OutputMode != 0) {
    EnableItem(page, kJobGroupButton);
  } else {
    DisableItem(page, kJobGroupButton);
  }
}

void OnOutputModeChanged(const DocSettings& permanent, SheetState& state, std::uint8_t mode) {
  const std::uint8_t previous = state.OutputMode;
  if (IsStoreMode(previous)) state.ProgramPrint = permanent.ProgramPrint;
  if (previous == 4) state.Ninsyo = permanent.Ninsyo;
  if (IsStoreMode(mode)) {
    state.Rotate = permanent.Rotate;
    state.SortMode = permanent.SortMode;
    state.TapeSort = permanent.TapeSort;
    state.SpeedIndex = permanent.SpeedIndex;
    state.Density1 = permanent.Density1;
    state.Density2 = permanent.Density2;
    state.Interval = permanent.Interval;
    state.Kimitu = permanent.Kimitu;
    state.RGPanelReset = permanent.RGPanelReset;
    state.Staple = permanent.Staple;
    state.Interleaf = permanent.Interleaf;
    state.Turbo = permanent.Turbo;
    state.Copies = permanent.Copies;
    state.ProgramPrint = 0;
  }
  if (mode == 4) state.Ninsyo = 0;
  state.OutputMode = mode;
}

bool OpenJobGroupDialog(HWND page, DocSheetContext& context) {
  switch (context.State.OutputMode) {
    case 1:
    case 2: return HoldOutputDialog(page, context) == 1;
    case 3:
    case 4: return UsbOutputDialog(page, context) == 1;
    default: return false;
  }
}

bool NumberEditCommand(HWND page, SheetState& state, int editId, int spinId, WORD code, std::int32_t& value) {
  if (code == EN_CHANGE) {
    value = TypedNumber(page, editId);
    if (state.Refreshing != 1) {
      state.FavoriteIndex = kNoFavorite;
      NotifySheetChanged(page);
    }
    return false;
  }
  if (code != EN_KILLFOCUS) return false;
  std::int32_t parsed = 0;
  const int rewrite = ParseFixedPointEdit(page, editId, spinId, 0, &parsed);
  if (!rewrite && parsed == value) return false;
  value = parsed;
  return true;
}

void TakeNumberEdit(HWND page, int editId, int spinId, std::int32_t& value) {
  // Only what the user could have typed.
  HWND edit = GetDlgItem(page, editId);
  if (!edit || !IsWindowVisible(edit) || !IsWindowEnabled(edit)) return;
  std::int32_t parsed = 0;
  if (ParseFixedPointEdit(page, editId, spinId, 0, &parsed) || parsed != value) {
    value = parsed;
    SetFixedPointEdit(page, editId, spinId, 0, value);
  }
}

bool OutputControlsCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& state = context.State;
  const DocSettings& permanent = context.Caps.Permanent;
  switch (id) {
    case kJobGroupButton: return code == BN_CLICKED && OpenJobGroupDialog(page, context);
    case kOutputModeCombo: {
      if (code != CBN_SELCHANGE) return false;
      const LPARAM mode = SelectedRowData(page, kOutputModeCombo);
      if (mode < 0 || mode == state.OutputMode) return false;
      OnOutputModeChanged(permanent, state, static_cast<std::uint8_t>(mode));
      return true;
    }
    case kCopiesEdit: return NumberEditCommand(page, state, kCopiesEdit, kCopiesSpin, code, state.Copies);
    case kRenzokuCombo: {
      if (!TakeComboSelection(page, id, code, state.RenzokuMode)) return false;
      if (state.RenzokuMode != 0) state.TapeSort = permanent.TapeSort;
      return true;
    }
    default: return false;
  }
}
