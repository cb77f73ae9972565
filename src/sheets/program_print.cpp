#include "sheets/program_print.h"

#include <algorithm>
#include <string>

#include "plat/dialog.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "sheets/control_kit.h"

namespace {

constexpr std::int32_t kMaxCopies = 9999, kMaxSets = 99;

// A separator availability: the capability when it is 0 or 2, else whether
// the option is installed.
std::uint8_t SeparatorAvailability(std::uint8_t capability, std::uint8_t installed) {
  if (capability == 0 || capability == 2) return capability;
  return installed ? 1 : 0;
}

void SetNumber(HWND dialog, int id, std::int32_t value) {
  const std::u16string text = plat::u16(std::to_string(value));
  SetDlgItemTextW(dialog, id, text.c_str());
}

std::int32_t CopiesMinimum(int row) { return row == 0 ? 1 : 0; }

}  // namespace

std::int32_t ReadRowValue(HWND dialog, int editId, std::int32_t minimum, std::int32_t maximum) {
  WCHAR text[kKitTextUnits] = {};
  GetDlgItemTextW(dialog, editId, text, kKitTextUnits);
  const std::u16string_view t(text);
  bool number = !t.empty();
  std::int64_t value = 0;
  for (char16_t c : t) {
    if (c < u'0' || c > u'9') {
      number = false;
      break;
    }
    value = std::min<std::int64_t>(value * 10 + (c - u'0'), std::int64_t{1} << 40);
  }
  if (!number) value = minimum;
  const std::int32_t clamped = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, minimum, maximum));
  if (!number || clamped != value) SetNumber(dialog, editId, clamped);
  return clamped;
}

void PackProgramRows(ProgramGroup (&rows)[kProgramRows]) {
  int next = 0;
  for (int i = 0; i < kProgramRows; ++i) {
    if (rows[i].Copies != 0 && rows[i].Sets != 0) rows[next++] = rows[i];
  }
  for (; next < kProgramRows; ++next) rows[next] = ProgramGroup{0, 1};
}

void FillProgramPrintDialog(HWND dialog, const ProgramPrintRecord& record) {
  for (int i = 0; i < kProgramRows; ++i) {
    SetNumber(dialog, kFirstCopiesEdit + i, record.Rows[i].Copies);
    SetNumber(dialog, kFirstSetsEdit + i, record.Rows[i].Sets);
  }
  ApplyAvailability(dialog, kTapeRadio, record.TapeAvailability);
  ApplyAvailability(dialog, kInterleafRadio, record.InterleafAvailability);
  const int selected = record.Separator == 1 ? kTapeRadio : record.Separator == 2 ? kInterleafRadio : kNoSeparatorRadio;
  for (const int id : {kTapeRadio, kInterleafRadio, kNoSeparatorRadio}) SetCheck(dialog, id, id == selected ? 1 : 0);
}

INT_PTR CALLBACK ProgramPrintDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* record = AdoptDialogRecord<ProgramPrintRecord>(dialog, lParam);
    for (int i = 0; i < kProgramRows; ++i) {
      LimitEditText(dialog, kFirstCopiesEdit + i, 4);
      LimitEditText(dialog, kFirstSetsEdit + i, 2);
    }
    FillProgramPrintDialog(dialog, *record);
    return TRUE;
  }
  if (message == WM_CLOSE) {
    EndDialog(dialog, 0);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  ProgramPrintRecord* record = DialogRecord<ProgramPrintRecord>(dialog);
  if (!record) return FALSE;
  const int id = LOWORD(wParam);
  const WORD code = HIWORD(wParam);
  if (id >= kFirstCopiesEdit && id < kFirstCopiesEdit + kProgramRows && code == EN_KILLFOCUS) {
    const int row = id - kFirstCopiesEdit;
    record->Rows[row].Copies = ReadRowValue(dialog, id, CopiesMinimum(row), kMaxCopies);
    return TRUE;
  }
  if (id >= kFirstSetsEdit && id < kFirstSetsEdit + kProgramRows && code == EN_KILLFOCUS) {
    record->Rows[id - kFirstSetsEdit].Sets = ReadRowValue(dialog, id, 1, kMaxSets);
    return TRUE;
  }
  if (code != BN_CLICKED) return FALSE;
  switch (id) {
    case kClearRowsButton:
      for (ProgramGroup& row : record->Rows) row = ProgramGroup{0, 1};
      record->Rows[0].Copies = 1;
      FillProgramPrintDialog(dialog, *record);
      return TRUE;
    case kTapeRadio: record->Separator = 1; return TRUE;
    case kInterleafRadio: record->Separator = 2; return TRUE;
    case kNoSeparatorRadio: record->Separator = 0; return TRUE;
    case IDOK:
      for (int i = 0; i < kProgramRows; ++i) {
        record->Rows[i].Copies = ReadRowValue(dialog, kFirstCopiesEdit + i, CopiesMinimum(i), kMaxCopies);
        record->Rows[i].Sets = ReadRowValue(dialog, kFirstSetsEdit + i, 1, kMaxSets);
      }
      PackProgramRows(record->Rows);
      EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    default: return FALSE;
  }
}

INT_PTR ProgramPrintDialog(HWND page, DocSheetContext& context, SheetState& state) {
  ProgramPrintRecord record{};
  std::copy(std::begin(state.ProgramPrintBlock), std::end(state.ProgramPrintBlock), record.Rows);
  record.Separator = state.ProgramSeparator;
  const DocSettings& s = context.Caps.Defaults;
  record.TapeAvailability = SeparatorAvailability(context.Caps.Info.TapeSortEnable, s.TapeSorterInstalled);
  record.InterleafAvailability = SeparatorAvailability(context.Caps.Info.AishiEnable, s.BinListInstalled);
  const INT_PTR result = DialogBoxParamW(state.ResourceDll, MAKEINTRESOURCEW(kProgramPrintTemplate), page,
                                         ProgramPrintDlgProc, reinterpret_cast<LPARAM>(&record));
  if (result == 1) {
    std::copy(std::begin(record.Rows), std::end(record.Rows), state.ProgramPrintBlock);
    state.ProgramSeparator = record.Separator;
  }
  return result;
}
