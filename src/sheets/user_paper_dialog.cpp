#include "sheets/user_paper_dialog.h"

#include <algorithm>
#include <memory>
#include <span>
#include <string_view>

#include "plat/resources.h"
#include "settings/caps_store.h"
#include "settings/show_message.h"
#include "sheets/binding_margin.h"
#include "sheets/custom_papers.h"
#include "sheets/user_files.h"

namespace {

constexpr int kEdits[2] = {kPaperWidthEdit, kPaperLengthEdit};
constexpr int kSpins[2] = {kPaperWidthSpin, kPaperLengthSpin};
constexpr int kRangeLabels[2] = {kPaperWidthRange, kPaperLengthRange};
constexpr UINT kUnitNames[2] = {kMillimetresString, kInchesString};
constexpr UINT kUnitLabels[2] = {801, 802};

std::u16string_view NameOf(const WCHAR* text, std::size_t units) {
  return {text, FieldTextLength(std::span<const WCHAR>(text, units))};
}

void SetName(WCHAR (&target)[kUserPaperNameUnits], std::u16string_view name) {
  std::fill(std::begin(target), std::end(target), WCHAR{0});
  std::copy_n(name.begin(), std::min(name.size(), kUserPaperNameUnits - 1), target);
}

int DigitsOf(std::uint8_t unit) { return unit == 1 ? 2 : 0; }

std::int32_t& ValueOf(UserPaperDialogRecord& r, int side) {
  return r.Unit == 1 ? r.Hundredths[side] : r.Millimetres[side];
}

void ClampValues(UserPaperDialogRecord& r) {
  for (int side = 0; side < 2; ++side) {
    ClampToRange(&ValueOf(r, side), r.Ranges[r.Unit][side].Minimum, r.Ranges[r.Unit][side].Maximum);
  }
}

// The edit read with the unit's digits into the unit's value.
void ParseSide(HWND dialog, UserPaperDialogRecord& r, int side) {
  std::int32_t value = ValueOf(r, side);
  ParseFixedPointEdit(dialog, kEdits[side], kSpins[side], r.Digits, &value);
  ValueOf(r, side) = value;
}

// Micrometres within the model's sizes in whole millimetres (the millimetre ranges).
std::int32_t ClampMicrons(const UserPaperDialogRecord& r, int side, std::int64_t microns) {
  const SpinRange range = r.Ranges[0][side];
  return static_cast<std::int32_t>(
      std::clamp<std::int64_t>(microns, std::int64_t{range.Minimum} * 1000, std::int64_t{range.Maximum} * 1000));
}

bool NameInUse(const UserPaperDialogRecord& r, std::u16string_view name) {
  for (std::size_t i = 0; i < r.DocumentPapers && (i + 1) * kNameSlotUnits <= r.DocumentNames.size(); ++i) {
    if (NameOf(r.DocumentNames.data() + i * kNameSlotUnits, kNameSlotUnits) == name) return true;
  }
  for (std::size_t i = 0; i < r.Table.Count; ++i) {
    if (NameOf(r.Table.Entry[i].Name, kUserPaperNameUnits) == name) return true;
  }
  return false;
}

void Warn(HWND dialog, const UserPaperDialogRecord& r, UINT text) {
  ShowMessage(r.Module, dialog, kUserPaperCaption, text, MB_ICONEXCLAMATION);
}

}  // namespace

void InitUserPaperDialog(HWND dialog, UserPaperDialogRecord& record) {
  AddResourceStrings(record.Module, dialog, kPaperUnitCombo, kUnitNames, 2);
  record.Digits = DigitsOf(record.Unit);
  for (int side = 0; side < 2; ++side) {
    WCHAR format[kPaperRangeLabelUnits] = {};
    GetDlgItemTextW(dialog, kRangeLabels[side], format, kPaperRangeLabelUnits);
    for (std::uint8_t unit = 0; unit < 2; ++unit) {
      WCHAR low[16], high[16];
      FormatFixedPoint(record.Ranges[unit][side].Minimum, DigitsOf(unit), low, 16);
      FormatFixedPoint(record.Ranges[unit][side].Maximum, DigitsOf(unit), high, 16);
      FormatWithInserts(record.RangeLabels[unit][side], kPaperRangeLabelUnits, format, 2, low, high);
      record.EditLimits[unit][side] =
          static_cast<int>(std::max(std::u16string_view(low).size(), std::u16string_view(high).size()));
    }
  }
  LimitEditText(dialog, kPaperNameEdit, static_cast<int>(kUserPaperNameUnits - 1));
  for (std::size_t i = 0; i < record.Table.Count; ++i) {
    SendDlgItemMessageW(dialog, kPaperList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(record.Table.Entry[i].Name));
  }
}

void RefreshUserPaperDialog(HWND dialog, UserPaperDialogRecord& record) {
  const int unit = record.Unit == 1 ? 1 : 0;
  SetComboSel(dialog, kPaperUnitCombo, unit);
  SetTextFromResource(record.Module, GetDlgItem(dialog, kPaperUnitLabel), kUnitLabels[unit]);
  for (int side = 0; side < 2; ++side) {
    SetSpinRange(dialog, kSpins[side], record.Ranges[unit][side].Minimum, record.Ranges[unit][side].Maximum);
    SetDlgItemTextW(dialog, kRangeLabels[side], record.RangeLabels[unit][side]);
    LimitEditText(dialog, kEdits[side], record.EditLimits[unit][side]);
    SetFixedPointEdit(dialog, kEdits[side], kSpins[side], record.Digits, ValueOf(record, side));
  }
  SendDlgItemMessageW(dialog, kPaperList, LB_SETCURSEL, static_cast<WPARAM>(record.Selection), 0);
  // Only a new text: rewriting the same one would drop the list selection.
  WCHAR shown[kUserPaperNameUnits] = {};
  GetDlgItemTextW(dialog, kPaperNameEdit, shown, kUserPaperNameUnits);
  if (NameOf(shown, kUserPaperNameUnits) != NameOf(record.Name, kUserPaperNameUnits)) {
    SetDlgItemTextW(dialog, kPaperNameEdit, record.Name);
  }
}

void UserPaperEnableRules(HWND dialog, const UserPaperDialogRecord& record) {
  const int count = record.Table.Count;
  const int selected = record.Selection < count ? record.Selection : -1;
  UpdateAddButton(dialog, static_cast<int>(kMaxUserPapers), kAddPaperButton, kPaperNameEdit, kPaperList);
  EnableWindow(GetDlgItem(dialog, kDeletePaperButton), selected >= 0 ? TRUE : FALSE);
  EnableWindow(GetDlgItem(dialog, kPaperUpButton), selected > 0 ? TRUE : FALSE);
  EnableWindow(GetDlgItem(dialog, kPaperDownButton), selected >= 0 && selected < count - 1 ? TRUE : FALSE);
  SetGroupState(dialog, record.UserPaperFileEnable, count < static_cast<int>(kMaxUserPapers), {kImportPapersButton});
  SetGroupState(dialog, record.UserPaperFileEnable, count > 0, {kExportPapersButton});
}

bool AddPaperName(HWND dialog, UserPaperDialogRecord& record, const UserPaper& entry, bool quiet) {
  const std::u16string_view name = NameOf(record.Name, kUserPaperNameUnits);
  if (name.empty() || record.Table.Count >= kMaxUserPapers) return false;
  if (NameInUse(record, name)) {
    if (!quiet) {
      ShowMessage(record.Module, dialog, kUserPaperCaption, kPaperNameUsedText, MB_ICONEXCLAMATION, 1, record.Name);
    }
    return false;
  }
  UserPaper& e = record.Table.Entry[record.Table.Count];
  e = entry;
  e.Id = 0;
  e.NameId = 0;
  SetName(e.Name, name);
  const LRESULT at = SendDlgItemMessageW(dialog, kPaperList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.Name));
  ++record.Table.Count;
  record.Selection = at >= 0 ? static_cast<int>(at) : record.Table.Count - 1;
  SendDlgItemMessageW(dialog, kPaperList, LB_SETCURSEL, static_cast<WPARAM>(record.Selection), 0);
  return true;
}

void AddUserPaper(HWND dialog, UserPaperDialogRecord& record) {
  if (record.Table.Count >= kMaxUserPapers) return;
  UserPaper entry{};
  entry.InchFlag = record.Unit == 1 ? 1 : 0;
  for (int side = 0; side < 2; ++side) {
    ParseSide(dialog, record, side);
    const std::int64_t microns =
        record.Unit == 1 ? std::int64_t{record.Hundredths[side]} * 254 : std::int64_t{record.Millimetres[side]} * 1000;
    (side == 0 ? entry.Width : entry.Length) = ClampMicrons(record, side, microns);
  }
  AddPaperName(dialog, record, entry, false);
}

void DeleteUserPaper(HWND dialog, UserPaperDialogRecord& record) {
  const int at = record.Selection;
  UserPaperTable& t = record.Table;
  if (at < 0 || at >= t.Count) return;
  std::copy(t.Entry + at + 1, t.Entry + t.Count, t.Entry + at);
  t.Entry[--t.Count] = UserPaper{};
  SendDlgItemMessageW(dialog, kPaperList, LB_DELETESTRING, static_cast<WPARAM>(at), 0);
  SetName(record.Name, {});
  record.Selection = -1;
  std::copy(std::begin(record.DefaultMillimetres), std::end(record.DefaultMillimetres), record.Millimetres);
  std::copy(std::begin(record.DefaultHundredths), std::end(record.DefaultHundredths), record.Hundredths);
}

void SwapUserPapers(UserPaperDialogRecord& record, int a, int b) {
  std::swap(record.Table.Entry[a], record.Table.Entry[b]);
}

void SelectUserPaper(UserPaperDialogRecord& record) {
  const std::u16string_view name = NameOf(record.Name, kUserPaperNameUnits);
  for (std::size_t i = 0; i < record.Table.Count; ++i) {
    const UserPaper& e = record.Table.Entry[i];
    if (NameOf(e.Name, kUserPaperNameUnits) != name) continue;
    record.Unit = e.InchFlag ? 1 : 0;
    record.Digits = DigitsOf(record.Unit);
    const std::int32_t microns[2] = {e.Width, e.Length};
    for (int side = 0; side < 2; ++side) {
      record.Hundredths[side] = record.Unit == 1 ? MicronsToHundredthsInch(microns[side]) : 0;
      record.Millimetres[side] = record.Unit == 1 ? 0 : MicronsToMillimetres(microns[side]);
    }
    ClampValues(record);
    return;
  }
}

void ChangePaperUnit(UserPaperDialogRecord& record, std::uint8_t unit) {
  for (int side = 0; side < 2; ++side) {
    if (unit == 1) {
      record.Hundredths[side] = MillimetresToHundredthsInch(record.Millimetres[side]);
      record.Millimetres[side] = 0;
    } else {
      record.Millimetres[side] = HundredthsInchToMillimetres(record.Hundredths[side]);
      record.Hundredths[side] = 0;
    }
  }
  record.Unit = unit == 1 ? 1 : 0;
  record.Digits = DigitsOf(record.Unit);
  ClampValues(record);
}

void UserPaperSpin(HWND dialog, UserPaperDialogRecord& record, const NMUPDOWN& change) {
  const int side = change.hdr.idFrom == static_cast<UINT_PTR>(kPaperLengthSpin) ? 1 : 0;
  ParseSide(dialog, record, side);
  const SpinRange range = record.Ranges[record.Unit][side];
  std::int32_t& value = ValueOf(record, side);
  value = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(std::int64_t{value} + change.iDelta, range.Minimum, range.Maximum));
}

void ImportUserPapers(HWND dialog, UserPaperDialogRecord& record) {
  WCHAR path[kUserFilePathUnits];
  if (!SelectUserFile(record.Module, dialog, true, false, path)) return;
  auto papers = std::make_unique<UserPaperTable>();
  const int read = ImportPaperFile(path, record.ModelName, *papers);
  if (read == 0) {
    Warn(dialog, record, kPapersUnreadText);
    return;
  }
  WCHAR kept[kUserPaperNameUnits] = {};
  GetDlgItemTextW(dialog, kPaperNameEdit, kept, kUserPaperNameUnits);
  bool skipped = read < 0;
  for (std::size_t i = 0; i < papers->Count; ++i) {
    if (record.Table.Count >= kMaxUserPapers) {
      Warn(dialog, record, kPapersFullText);
      break;
    }
    UserPaper entry = papers->Entry[i];
    TrimSpaces(entry.Name);
    SetName(record.Name, NameOf(entry.Name, kUserPaperNameUnits));
    entry.Width = ClampMicrons(record, 0, entry.Width);
    entry.Length = ClampMicrons(record, 1, entry.Length);
    // A name that is blank is no name: skipped like one in use.
    if (!AddPaperName(dialog, record, entry, true)) skipped = true;
  }
  if (skipped) Warn(dialog, record, kPapersSkippedText);
  SetName(record.Name, NameOf(kept, kUserPaperNameUnits));
}

void ExportUserPapers(HWND dialog, UserPaperDialogRecord& record) {
  WCHAR path[kUserFilePathUnits];
  if (!SelectUserFile(record.Module, dialog, false, false, path)) return;
  ExportPaperFile(path, record.ModelName, record.Table);
}

void UserPaperCommand(HWND dialog, UserPaperDialogRecord& record, WORD id, WORD code) {
  switch (id) {
    case kPaperWidthEdit:
    case kPaperLengthEdit: {
      const int side = id == kPaperLengthEdit ? 1 : 0;
      if (code == EN_UPDATE && !record.Filtering) {
        record.Filtering = true;
        EditCharFilter(dialog, id, record.Unit == 1 ? kFilterDigits | kFilterPoint : kFilterDigits);
        record.Filtering = false;
      }
      if (code != EN_KILLFOCUS) return;
      ParseSide(dialog, record, side);
      break;
    }
    case kPaperUnitCombo: {
      if (code != CBN_SELCHANGE) return;
      const int unit = GetComboSel(dialog, kPaperUnitCombo);
      if (unit < 0 || unit == record.Unit) return;
      ChangePaperUnit(record, static_cast<std::uint8_t>(unit));
      break;
    }
    case kPaperNameEdit:
      if (code == EN_UPDATE && !record.Filtering) {
        record.Filtering = true;
        EditCharFilter(dialog, kPaperNameEdit, kFilterName);
        record.Filtering = false;
        return;
      }
      if (code == EN_CHANGE) {
        // A typed name no longer names the selected paper.
        if (!record.Selecting) {
          record.Selection = -1;
          SendDlgItemMessageW(dialog, kPaperList, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        }
        UserPaperEnableRules(dialog, record);
        return;
      }
      if (code != EN_KILLFOCUS) return;
      {
        WCHAR text[kUserPaperNameUnits] = {};
        GetDlgItemTextW(dialog, kPaperNameEdit, text, kUserPaperNameUnits);
        SetName(record.Name, NameOf(text, kUserPaperNameUnits));
      }
      break;
    case kPaperList: {
      if (code != LBN_SELCHANGE) return;
      const LRESULT at = SendDlgItemMessageW(dialog, kPaperList, LB_GETCURSEL, 0, 0);
      if (at < 0 || at >= record.Table.Count) return;
      record.Selection = static_cast<int>(at);
      SetName(record.Name, NameOf(record.Table.Entry[at].Name, kUserPaperNameUnits));
      record.Selecting = true;
      SelectUserPaper(record);
      break;
    }
    case kAddPaperButton: {
      if (code != BN_CLICKED) return;
      WCHAR text[kUserPaperNameUnits] = {};
      GetDlgItemTextW(dialog, kPaperNameEdit, text, kUserPaperNameUnits);
      SetName(record.Name, NameOf(TrimSpaces(text), kUserPaperNameUnits));
      SetDlgItemTextW(dialog, kPaperNameEdit, record.Name);
      AddUserPaper(dialog, record);
      break;
    }
    case kDeletePaperButton:
      if (code != BN_CLICKED) return;
      DeleteUserPaper(dialog, record);
      break;
    case kPaperUpButton:
    case kPaperDownButton: {
      if (code != BN_CLICKED) return;
      const int from = record.Selection;
      const int to = id == kPaperUpButton ? from - 1 : from + 1;
      if (from < 0 || from >= record.Table.Count || to < 0 || to >= record.Table.Count) return;
      SwapUserPapers(record, from, to);
      WCHAR buffer[kUserPaperNameUnits] = {};
      MoveListItem(dialog, kPaperList, from, to, buffer, static_cast<int>(kUserPaperNameUnits));
      record.Selection = to;
      break;
    }
    case kImportPapersButton:
      if (code != BN_CLICKED) return;
      ImportUserPapers(dialog, record);
      UserPaperEnableRules(dialog, record);
      return;
    case kExportPapersButton:
      if (code == BN_CLICKED) ExportUserPapers(dialog, record);
      return;
    case kClosePapersButton:
      if (code == BN_CLICKED) EndDialog(dialog, 1);
      return;
    default:
      return;
  }
  RefreshUserPaperDialog(dialog, record);
  record.Selecting = false;
  UserPaperEnableRules(dialog, record);
}

INT_PTR CALLBACK UserPaperDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto& record = *AdoptDialogRecord<UserPaperDialogRecord>(dialog, lParam);
    InitUserPaperDialog(dialog, record);
    RefreshUserPaperDialog(dialog, record);
    UserPaperEnableRules(dialog, record);
    return TRUE;
  }
  UserPaperDialogRecord* record = DialogRecord<UserPaperDialogRecord>(dialog);
  if (!record) return FALSE;
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (!header || header->code != UDN_DELTAPOS ||
          (header->idFrom != static_cast<UINT_PTR>(kPaperWidthSpin) &&
           header->idFrom != static_cast<UINT_PTR>(kPaperLengthSpin))) {
        return FALSE;
      }
      UserPaperSpin(dialog, *record, *reinterpret_cast<const NMUPDOWN*>(lParam));
      return TRUE;
    }
    case WM_VSCROLL:
      RefreshUserPaperDialog(dialog, *record);
      return TRUE;
    case WM_COMMAND:
      UserPaperCommand(dialog, *record, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    default:
      return FALSE;
  }
}

int StoreUserPaperTable(ModelCaps& caps, const UserPaperTable& table) { return MergeUserPapers(caps, table); }

INT_PTR UserPaperDialog(HWND page, DevSheetContext& context) {
  auto record = std::make_unique<UserPaperDialogRecord>();
  const ModelCaps& caps = context.Caps;
  const CapsInfo& info = caps.Info;
  record->ModelName = caps.ModelName;
  record->UserPaperFileEnable = info.UserPaperFileEnable;
  record->DocumentPapers = info.DocumentPaperCount;
  record->Module = context.ResourceDll;
  const std::int32_t sizes[2] = {caps.FreePaper.Width, caps.FreePaper.Length};
  const std::int32_t minimum[2] = {info.MinPaperWidth, info.MinPaperLength};
  const std::int32_t maximum[2] = {info.MaxPaperWidth, info.MaxPaperLength};
  for (int side = 0; side < 2; ++side) {
    record->DefaultMillimetres[side] = MicronsToMillimetres(sizes[side]);
    record->DefaultHundredths[side] = MicronsToHundredthsInch(sizes[side]);
    const SpinRange millimetres{minimum[side] / 1000, maximum[side] / 1000};
    record->Ranges[0][side] = millimetres;
    record->Ranges[1][side] = {MillimetresToHundredthsInch(millimetres.Minimum),
                               MillimetresToHundredthsInch(millimetres.Maximum)};
    record->Millimetres[side] = record->DefaultMillimetres[side];
    record->Hundredths[side] = record->DefaultHundredths[side];
  }
  LoadUserPaperTable(caps, record->Table);
  record->DocumentNames.assign(std::max<std::size_t>(record->DocumentPapers, 1) * kNameSlotUnits, WCHAR{0});
  if (caps.Papers && record->DocumentPapers > 0) {
    CopyListNames(caps.Names, std::span<const PaperEntry>(caps.Papers, record->DocumentPapers),
                  record->DocumentNames.data());
  }
  record->Selection = -1;
  const INT_PTR result = DialogBoxParamW(record->Module, MAKEINTRESOURCEW(kUserPaperTemplate), page, UserPaperDlgProc,
                                         reinterpret_cast<LPARAM>(record.get()));
  if (result == 1) StoreUserPaperTable(context.Caps, record->Table);
  return result;
}
