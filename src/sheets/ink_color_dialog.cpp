#include "sheets/ink_color_dialog.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "plat/resources.h"
#include "sheets/control_kit.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

namespace {

constexpr UINT kAnsweredIcon = 124, kFailedIcon = 125;
constexpr UINT kAnsweredText = 818, kFailedText = 819;

int ListOf(const InkColorDialogRecord& r, std::size_t i) { return r.Marks[i] != 0 ? kRegisteredList : kAvailableList; }

std::vector<int> Selected(HWND dialog, int list) {
  const LRESULT count = SendDlgItemMessageW(dialog, list, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return {};
  std::vector<int> items(static_cast<std::size_t>(count));
  const LRESULT got = SendDlgItemMessageW(dialog, list, LB_GETSELITEMS, static_cast<WPARAM>(count),
                                          reinterpret_cast<LPARAM>(items.data()));
  items.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return items;
}

int ListCount(HWND dialog, int list) {
  const LRESULT n = SendDlgItemMessageW(dialog, list, LB_GETCOUNT, 0, 0);
  return n > 0 ? static_cast<int>(n) : 0;
}

}  // namespace

void FillInkColorLists(HWND dialog, InkColorDialogRecord& record) {
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    WCHAR name[kKitTextUnits] = {};
    LoadStringW(record.Module, static_cast<UINT>(ColorIdList[i]), name, kKitTextUnits);
    const LRESULT at = SendDlgItemMessageW(dialog, ListOf(record, i), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    record.Positions[i] = static_cast<int>(at);
  }
}

void DrawInkColorItem(HWND dialog, const DRAWITEMSTRUCT& item, const InkColorDialogRecord& record) {
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (ListOf(record, i) == static_cast<int>(item.CtlID) && record.Positions[i] == static_cast<int>(item.itemID)) {
      OwnerDrawColorItem(dialog, item, 1, ColorIdList[i], record.DrumColors[0], record.DrumColors[1], -1, -1, 0);
      return;
    }
  }
}

void MoveSelectedColors(HWND dialog, InkColorDialogRecord& record, bool add) {
  const int source = add ? kAvailableList : kRegisteredList;
  const std::vector<int> selected = Selected(dialog, source);
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (ListOf(record, i) != source) continue;
    if (std::find(selected.begin(), selected.end(), record.Positions[i]) != selected.end()) record.Marks[i] = add ? 1 : 0;
  }
  SendDlgItemMessageW(dialog, kAvailableList, LB_RESETCONTENT, 0, 0);
  SendDlgItemMessageW(dialog, kRegisteredList, LB_RESETCONTENT, 0, 0);
  FillInkColorLists(dialog, record);
}

void GetInkInformation(HWND dialog, InkColorDialogRecord& record) {
  PrinterQueryBlock block{};
  std::copy(std::begin(record.Marks), std::end(record.Marks), block.Marks);
  if (QueryPrinterDrums(record.Address, record.Snmp, block) == 0) {
    record.Status = 2;
    record.DrumColors[0] = block.Drum1Color;
    record.DrumColors[1] = block.Drum2Color;
    return;
  }
  record.Status = 1;
  std::copy(std::begin(block.Marks), std::end(block.Marks), record.Marks);
  record.DrumColors[0] = block.Drum1Color;
  record.DrumColors[1] = block.Drum2Color;
  const InkLab labs[2] = {block.Drum1Lab, block.Drum2Lab};
  for (int d = 0; d < 2; ++d) {
    if (IsInkCode(record.DrumColors[d])) record.InkLab.Entry[record.DrumColors[d] - kInkCodeFirst] = labs[d];
  }
  MoveSelectedColors(dialog, record, true);
}

void ShowInkQueryResult(HWND dialog, const InkColorDialogRecord& record) {
  if (record.Status == 0) {
    SetDlgItemTextW(dialog, kInkResultText, u"");
    return;
  }
  const bool answered = record.Status == 1;
  SetStaticIcon(record.Module, dialog, kInkResultIcon, answered ? kAnsweredIcon : kFailedIcon);
  SetTextFromResource(record.Module, GetDlgItem(dialog, kInkResultText), answered ? kAnsweredText : kFailedText);
}

void InkColorEnableRules(HWND dialog, const InkColorDialogRecord& record) {
  EnableWindow(GetDlgItem(dialog, kAddColorButton), Selected(dialog, kAvailableList).empty() ? FALSE : TRUE);
  EnableWindow(GetDlgItem(dialog, kRemoveColorButton), Selected(dialog, kRegisteredList).empty() ? FALSE : TRUE);
  switch (record.GetInformationEnable) {
    case 0:
      DisableItem(dialog, kGetInfoButton);
      HideItem(dialog, kInkResultIcon);
      DisableItem(dialog, kInkResultText);
      break;
    case 2:
      for (const int id : {kGetInfoButton, kInkResultIcon, kInkResultText, kInkResultFrame}) HideItem(dialog, id);
      break;
    default: {
      EnableItem(dialog, kInkResultText);
      const bool address = record.Address[0] != 0 && std::u16string_view(record.Address) != u"0.0.0.0";
      EnableWindow(GetDlgItem(dialog, kGetInfoButton), address ? TRUE : FALSE);
      ShowWindow(GetDlgItem(dialog, kInkResultIcon), record.Status != 0 ? SW_SHOW : SW_HIDE);
      break;
    }
  }
  EnableWindow(GetDlgItem(dialog, IDOK), ListCount(dialog, kRegisteredList) >= record.DrumCount ? TRUE : FALSE);
}

INT_PTR CALLBACK InkColorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto& record = *AdoptDialogRecord<InkColorDialogRecord>(dialog, lParam);
    record.Status = 0;
    FillInkColorLists(dialog, record);
    ShowInkQueryResult(dialog, record);
    InkColorEnableRules(dialog, record);
    return TRUE;
  }
  InkColorDialogRecord* record = DialogRecord<InkColorDialogRecord>(dialog);
  if (!record) return FALSE;
  switch (message) {
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (!item || (item->CtlID != static_cast<UINT>(kAvailableList) && item->CtlID != static_cast<UINT>(kRegisteredList)))
        return FALSE;
      DrawInkColorItem(dialog, *item, *record);
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: return WhiteTextBackground(dialog, kInkResultText, wParam, lParam);
    case WM_CLOSE:
      EndDialog(dialog, 0);
      return TRUE;
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam), code = HIWORD(wParam);
      if ((id == kAvailableList || id == kRegisteredList) && (code == LBN_SELCHANGE || code == LBN_SELCANCEL)) {
        ShowInkQueryResult(dialog, *record);
        InkColorEnableRules(dialog, *record);
        return TRUE;
      }
      if (code != BN_CLICKED) return FALSE;
      switch (id) {
        case kAddColorButton:
        case kRemoveColorButton:
          MoveSelectedColors(dialog, *record, id == kAddColorButton);
          break;
        case kGetInfoButton:
          GetInkInformation(dialog, *record);
          ShowInkQueryResult(dialog, *record);
          break;
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        default:
          return FALSE;
      }
      InkColorEnableRules(dialog, *record);
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR InkColorDialog(HWND page, DevSheetContext& context) {
  auto record = std::make_unique<InkColorDialogRecord>();
  DocSettings& s = context.Caps.Defaults;
  record->DrumCount = context.Caps.Info.DrumCount;
  std::copy(std::begin(s.PrinterAddress), std::end(s.PrinterAddress), record->Address);
  record->Address[kPrinterAddressUnits] = 0;
  record->IpSet = context.IpSet;
  record->GetInformationEnable = context.Caps.Info.GetInformationEnable;
  record->Snmp = context.Caps.Info.GetInformationType == 2;
  record->Module = context.ResourceDll;
  record->InkLab = s.InkLab;
  std::copy(std::begin(s.InkMarks), std::end(s.InkMarks), record->Marks);
  record->DrumColors[0] = context.DrumColors[0];
  record->DrumColors[1] = context.DrumColors[1];
  const INT_PTR result = DialogBoxParamW(record->Module, MAKEINTRESOURCEW(kInkColorTemplate), page, InkColorDlgProc,
                                         reinterpret_cast<LPARAM>(record.get()));
  if (result == 1) {
    s.InkLab = record->InkLab;
    std::copy(std::begin(record->Marks), std::end(record->Marks), s.InkMarks);
    context.DrumColors[0] = record->DrumColors[0];
    context.DrumColors[1] = record->DrumColors[1];
  }
  return result;
}
