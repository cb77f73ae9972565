#include "sheets/color_page.h"

#include <iterator>

#include "sheets/control_kit.h"
#include "sheets/output_controls.h"
#include "sheets/page_protocol.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

const SeparationRow kFirstSeparationRows[14] = {{928, 0}, {929, 1},  {930, 2},  {931, 3},  {932, 4},
                                                {933, 5}, {960, 6},  {962, 8},  {964, 10}, {966, 12},
                                                {961, 7}, {963, 9},  {965, 11}, {967, 13}};
const SeparationRow kSecondSeparationRows[18] = {{944, 0},  {945, 1},  {946, 2},  {947, 3},  {948, 4},  {949, 5},
                                                 {950, 6},  {951, 7},  {960, 8},  {962, 10}, {964, 12}, {966, 14},
                                                 {968, 16}, {961, 9},  {963, 11}, {965, 13}, {967, 15}, {969, 17}};

namespace {

constexpr int kOneInkRadio = 3050, kTwoInkRadio = 3051;
constexpr int kOneInkLabel = 3046, kOneInkIcon = 3047;
constexpr int kDrum1Label = 2073, kDrum2Label = 2074, kDrum1Icon = 2092, kDrum2Icon = 2093;
constexpr int kSeihanLabel = 3052, kSeihanCombo = 3053;
constexpr int kSeparationLabel = 3054, kSeparationCombo = 3055, kSeparationListButton = 3048;
constexpr int kInfoLabel = 3056, kInfoButton = 3057, kInfoText = 3058, kInfoIcon = 3060, kInfoGroup = 4025;
constexpr int kPreviewLabel = 3158, kPreviewPicture = 3159, kPreviewCheck = 3160;
constexpr int kSeparationPicture = 4002;
constexpr int kRestoreButton = 2009;
constexpr int kColorItemHeight = 14;
constexpr UINT kSeihanStrings[] = {896, 897, 898};
constexpr UINT kAnsweredIcon = 124, kFailedIcon = 125;
constexpr UINT kDrumsKnownText = 818, kNoDrumsText = 819;
constexpr std::uint8_t kNoAssignmentShown = 99;

struct SeparationKindRow {
  UINT StringId;
  std::uint8_t Bit;
  std::uint8_t Kind;
};
constexpr SeparationKindRow kSeparationKindRows[] = {{912, 1, 0}, {913, 2, 1}, {914, 4, 2}, {915, 8, 3}};

// Ink colour icons in ColorIdList order.
constexpr UINT kInkIcons[kColorIdCount] = {102, 122, 106, 103, 108, 111, 115, 117, 118, 105, 104, 106, 107, 114,
                                           107, 112, 110, 111, 109, 113, 120, 109, 106, 101, 102, 103, 103, 103,
                                           103, 106, 106, 106, 106, 111, 111, 111, 115, 115, 108, 108, 114, 114,
                                           117, 117, 118, 118, 109, 109, 120, 120, 121, 121, 110, 110, 122};

// Separation dialog controls.
constexpr int kFirstModeCombo = 3062, kSecondModeCombo = 3064, kDialogSeparationPicture = 4006;
constexpr int kSeparationTemplate = 1996;

void SetInkIcon(HWND page, HMODULE module, int id, int code) {
  const UINT icon = InkIconId(code);
  if (icon != 0) {
    SetStaticIcon(module, page, id, icon);
  } else {
    ClearStaticIcon(page, id);
  }
}

void SetItemHeights(HWND page, int id) {
  SendDlgItemMessageW(page, id, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kColorItemHeight);
  SendDlgItemMessageW(page, id, CB_SETITEMHEIGHT, 0, kColorItemHeight);
}

void ShowInfoResult(HWND page, HMODULE module, std::uint8_t shown) {
  if (shown == 1 || shown == 2) {
    SetStaticIcon(module, page, kInfoIcon, shown == 1 ? kAnsweredIcon : kFailedIcon);
    SetTextFromResource(module, GetDlgItem(page, kInfoText), shown == 1 ? kDrumsKnownText : kNoDrumsText);
  } else {
    ClearStaticIcon(page, kInfoIcon);
    SetDlgItemTextW(page, kInfoText, u"");
  }
}

// ---------------------------------------------------------------------------
// Colour page

void ColorEnableRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = context.Caps.Info;
  const SheetState& s = context.State;
  const bool duplex = s.Duplex != 0;
  const bool kind2 = s.SeparationKind == 2;
  SetGroupState(page, 1, !duplex && !kind2, {kOneInkRadio, kTwoInkRadio});
  const bool oneInk = !duplex && s.ColorMode != 2 && !kind2;
  SetGroupState(page, 1, oneInk, {kOneInkLabel, kOneInkCombo});
  ShowItemIf(page, kOneInkIcon, oneInk);
  const bool drums = s.ColorMode != 1;
  SetGroupState(page, 1, drums, {kDrum1Label, kDrum1Combo, kDrum2Label, kDrum2Combo});
  ShowItemIf(page, kDrum1Icon, drums);
  ShowItemIf(page, kDrum2Icon, drums);
  SetGroupState(page, info.SeihanEnable, !duplex && s.ColorMode != 1 && s.SeparationKind != 2 && s.SeparationKind != 3,
                {kSeihanLabel, kSeihanCombo});
  const bool separation = !duplex && s.ColorMode != 1 && s.Seihan == 2;
  SetGroupState(page, info.SepaEnable, separation, {kSeparationLabel, kSeparationCombo});
  SetGroupState(page, info.SepaEnable, separation && s.SeparationKind == 1, {kSeparationListButton});
  const std::uint8_t getInfo = info.GetInformationEnable;
  SetGroupState(page, getInfo, s.IpSet != 0, {kInfoLabel, kInfoButton});
  SetGroupState(page, getInfo, true, {kInfoText});
  ShowItemIf(page, kInfoIcon, getInfo == 1 && s.PrinterInfoShown != 0);
  ShowItemIf(page, kInfoGroup, getInfo != 2);
  SetGroupState(page, info.PreviewEnable, true, {kPreviewLabel, kPreviewPicture, kPreviewCheck});
}

void ColorRefresh(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const HMODULE module = s.ResourceDll;
  s.Refreshing = 1;
  CheckDlgButton(page, kOneInkRadio, s.ColorMode == 1 ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kTwoInkRadio, s.ColorMode == 1 ? BST_UNCHECKED : BST_CHECKED);
  SetComboSel(page, kOneInkCombo, s.OneInkIndex);
  if (context.Caps.Info.DrumColorPattern != 0) SetInkIcon(page, module, kOneInkIcon, s.OneInkColor);
  SetComboSel(page, kDrum1Combo, s.DrumComboIndex[0]);
  SetComboSel(page, kDrum2Combo, s.DrumComboIndex[1]);
  SetInkIcon(page, module, kDrum1Icon, s.Drum1Color);
  SetInkIcon(page, module, kDrum2Icon, s.Drum2Color);
  SetComboSel(page, kSeihanCombo, s.Seihan);
  SelectRowByData(page, kSeparationCombo, s.SeparationKind);
  ShowInfoResult(page, module, s.PrinterInfoShown);
  SetCheck(page, kPreviewCheck, s.Preview);
  SetStaticBitmap(module, page, kSeparationPicture, PageSeparationBitmap(s));
  s.Refreshing = 0;
  InvalidateInkPictures(page);
  ColorEnableRules(page, context);
}

void ColorFill(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const HMODULE module = s.ResourceDll;
  for (int id : {kOneInkCombo, kDrum1Combo, kDrum2Combo}) SetItemHeights(page, id);
  AddResourceStrings(module, page, kSeihanCombo, kSeihanStrings, static_cast<int>(std::size(kSeihanStrings)));
  for (const SeparationKindRow& row : kSeparationKindRows) {
    if (!(s.SeparationKindMask & row.Bit)) continue;
    AddResourceString(module, page, kSeparationCombo, row.StringId);
    const int last = static_cast<int>(SendDlgItemMessageW(page, kSeparationCombo, CB_GETCOUNT, 0, 0)) - 1;
    SetComboItemData(page, kSeparationCombo, last, row.Kind);
  }
  if (s.PrinterQueried == 2) {
    s.PrinterInfoShown = s.PrinterDrum1Color != 0 || s.PrinterDrum2Color != 0 ? 1 : 2;
  } else {
    s.AssignedModeA = s.AssignedModeB = kNoAssignmentShown;
    s.PrinterInfoShown = 0;
  }
  BuildDrumColorList(page, s, context.Caps.Info.DrumColorPattern);
  RefreshColorAssignment(s);
}

void ColorActivate(HWND page, DocSheetContext& context) {
  BuildDrumColorList(page, context.State, context.Caps.Info.DrumColorPattern);
  RefreshColorAssignment(context.State);
}

void GetPrinterInformation(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const ModelCaps& caps = context.Caps;
  PrinterQueryBlock block{};
  std::copy(std::begin(s.InkMarks), std::end(s.InkMarks), block.Marks);
  if (!QueryPrinterDrums(caps.Defaults.PrinterAddress, caps.Info.GetInformationBoth == 1, block)) {
    s.PrinterDrum1Color = block.Drum1Color;
    s.PrinterDrum2Color = block.Drum2Color;
    s.PrinterInfoShown = 2;
    return;
  }
  std::copy(std::begin(block.Marks), std::end(block.Marks), s.InkMarks);
  s.OneInkColor = s.Drum1Color = s.PrinterDrum1Color = block.Drum1Color;
  s.Drum2Color = s.PrinterDrum2Color = block.Drum2Color;
  if (IsInkCode(block.Drum1Color)) s.InkLab.Entry[block.Drum1Color - kInkCodeFirst] = block.Drum1Lab;
  if (IsInkCode(block.Drum2Color)) s.InkLab.Entry[block.Drum2Color - kInkCodeFirst] = block.Drum2Lab;
  s.PrinterInfoShown = 1;
  BuildDrumColorList(page, s, caps.Info.DrumColorPattern);
  RefreshColorAssignment(s);
  s.PrinterQueried = 1;
}

void OnSeparationKindChosen(HWND page, DocSheetContext& context, std::uint8_t kind) {
  SheetState& s = context.State;
  const DocSettings& permanent = context.Caps.Permanent;
  if (s.SeparationKind == 2) {
    s.RenzokuMode = permanent.RenzokuMode;
    s.ProgramPrint = permanent.ProgramPrint;
  } else if (s.SeparationKind == 3) {
    s.ImagePosition = permanent.ImagePosition;
  }
  s.SeparationKind = kind;
  switch (kind) {
    case 0: AssignDrumModes(s); break;
    case 1:
      AssignDrumModes(s);
      SeparationDialog(page, context);
      break;
    case 2:
      s.Seihan = 2;
      s.Copies = permanent.Copies;
      s.RenzokuMode = 2;
      s.ProgramPrint = 0;
      s.SeparationModeA = 4;
      s.SeparationModeB = 0;
      break;
    case 3: ResetForSeparationKind3(s); break;
    default: break;
  }
}

bool ColorCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const CapsInfo& info = context.Caps.Info;
  switch (id) {
    case kRestoreButton:
      if (code != BN_CLICKED) return false;
      ApplySettingsToSheet(page, context.Caps.Permanent, context, s);
      return true;
    case kDrum1Combo:
    case kDrum2Combo: {
      if (code != CBN_SELCHANGE) return false;
      const int drum = id == kDrum1Combo ? 0 : 1;
      const int selection = GetComboSel(page, id);
      if (selection < 0 || selection >= s.AvailColorCount || selection == s.DrumComboIndex[drum]) return false;
      s.DrumComboIndex[drum] = static_cast<std::uint8_t>(selection);
      (drum == 0 ? s.Drum1Color : s.Drum2Color) = s.AvailColors[selection];
      RefreshColorAssignment(s);
      s.PrinterQueried = 1;
      return true;
    }
    case kOneInkCombo: {
      if (code != CBN_SELCHANGE) return false;
      const int selection = GetComboSel(page, id);
      if (selection < 0 || selection >= s.AvailColorCount || selection == s.OneInkIndex) return false;
      s.OneInkIndex = static_cast<std::uint8_t>(selection);
      if (info.DrumColorPattern != 0) {
        s.OneInkColor = s.AvailColors[selection];
        s.PrinterQueried = 1;
      }
      return true;
    }
    case kSeparationListButton: return code == BN_CLICKED && SeparationDialog(page, context) == 1;
    case kOneInkRadio:
      if (code != BN_CLICKED || s.ColorMode == 1) return false;
      s.ColorMode = 1;
      return true;
    case kTwoInkRadio:
      if (code != BN_CLICKED || s.ColorMode == 2) return false;
      s.ColorMode = 2;
      RefreshColorAssignment(s);
      return true;
    case kSeihanCombo: return TakeComboSelection(page, id, code, s.Seihan);
    case kSeparationCombo: {
      if (code != CBN_SELCHANGE) return false;
      const LPARAM kind = SelectedRowData(page, kSeparationCombo);
      if (kind < 0 || kind == s.SeparationKind) return false;
      OnSeparationKindChosen(page, context, static_cast<std::uint8_t>(kind));
      return true;
    }
    case kInfoButton:
      if (code != BN_CLICKED) return false;
      GetPrinterInformation(page, context);
      return true;
    case kPreviewCheck: return TakeCheck(page, id, code, s.Preview);
    default: return false;
  }
}

// ---------------------------------------------------------------------------
// Separation dialog

void FillSeparationRows(HWND dialog, HMODULE module, int comboId, const SeparationRow* rows, int count,
                        std::uint8_t selected) {
  SetItemHeights(dialog, comboId);
  for (int i = 0; i < count; ++i) {
    AddResourceString(module, dialog, comboId, rows[i].StringId);
    SetComboItemData(dialog, comboId, i, rows[i].Mode);
  }
  SelectRowByData(dialog, comboId, selected);
}

void ShowDialogSeparationPicture(HWND dialog, HMODULE module) {
  const LPARAM mode = SelectedRowData(dialog, kSecondModeCombo);
  SetStaticBitmap(module, dialog, kDialogSeparationPicture, SeparationBitmap(mode < 0 ? 0 : static_cast<std::uint8_t>(mode)));
}

}  // namespace

UINT InkIconId(int code) {
  const int index = ColorIdIndex(code);
  return index >= 0 && index < static_cast<int>(kColorIdCount) ? kInkIcons[index] : 0;
}

int SeparationRowOf(const SeparationRow* rows, int count, int mode) {
  for (int i = 0; i < count; ++i) {
    if (rows[i].Mode == mode) return i;
  }
  return -1;
}

UINT SeparationBitmap(std::uint8_t secondMode) {
  return secondMode >= 8 ? kImageSeparationBitmap : kPlainSeparationBitmap;
}

UINT PageSeparationBitmap(const SheetState& state) {
  return SeparatesTwoInks(state) ? SeparationBitmap(state.SeparationModeB) : kPlainSeparationBitmap;
}

namespace {
bool DrawColorPageItem(HWND page, const DocSheetContext& context, const DRAWITEMSTRUCT& item) {
  switch (item.CtlID) {
    case kTextInkPicture:
    case kImageInkPicture: InkColourPicture(page, item, context.State, false); return true;
    case kOneInkCombo:
    case kDrum1Combo:
    case kDrum2Combo: DrawAvailColorItem(page, item, context.State, context.Caps.Info.DrumColorPattern); return true;
    default: return false;
  }
}

INT_PTR ColorOther(HWND page, DocSheetContext& context, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DRAWITEM:
      return DrawColorPageItem(page, context, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)) ? TRUE : FALSE;
    case WM_CTLCOLORSTATIC: return WhiteTextBackground(page, kInfoText, wParam, lParam);
    case WM_DESTROY:
      // Images the page showed go with it.
      for (int id : {kOneInkIcon, kDrum1Icon, kDrum2Icon, kInfoIcon}) ClearStaticIcon(page, id);
      ClearStaticBitmap(page, kSeparationPicture);
      return FALSE;
    default: return FALSE;
  }
}

// Rows of the separation lists: the row whose mode the drum colours assigned
// is marked (none for 99).
void DrawSeparationItem(HWND dialog, const SheetState& s, const DRAWITEMSTRUCT& item) {
  const int markedA = SeparationRowOf(kFirstSeparationRows, static_cast<int>(std::size(kFirstSeparationRows)),
                                      s.AssignedModeA);
  const int markedB = SeparationRowOf(kSecondSeparationRows, static_cast<int>(std::size(kSecondSeparationRows)),
                                      s.AssignedModeB);
  OwnerDrawColorItem(dialog, item, 0, 0, 0, 0, markedA, markedB, 0);
}
}  // namespace

INT_PTR CALLBACK ColorPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static const PageHooks hooks{2002, ColorFill, ColorRefresh, ColorCommand, ColorActivate, nullptr, ColorOther};
  return RunDocumentPage(hooks, page, message, wParam, lParam);
}

INT_PTR CALLBACK SeparationDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* context = AdoptDialogRecord<const DocSheetContext>(dialog, lParam);
    const SheetState& s = context->State;
    FillSeparationRows(dialog, s.ResourceDll, kFirstModeCombo, kFirstSeparationRows,
                       static_cast<int>(std::size(kFirstSeparationRows)), s.SeparationModeA);
    FillSeparationRows(dialog, s.ResourceDll, kSecondModeCombo, kSecondSeparationRows,
                       static_cast<int>(std::size(kSecondSeparationRows)), s.SeparationModeB);
    ShowDialogSeparationPicture(dialog, s.ResourceDll);
    return TRUE;
  }
  auto* context = DialogRecord<DocSheetContext>(dialog);
  if (message == WM_DESTROY) {
    ClearStaticBitmap(dialog, kDialogSeparationPicture);
    return FALSE;
  }
  if (!context) return FALSE;
  SheetState& s = context->State;
  if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    switch (item.CtlID) {
      case kDialogTextInkPicture:
      case kDialogImageInkPicture: InkColourPicture(dialog, item, s, true); return TRUE;
      case kFirstModeCombo:
      case kSecondModeCombo: DrawSeparationItem(dialog, s, item); return TRUE;
      default: return FALSE;
    }
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDOK: {
      const LPARAM first = SelectedRowData(dialog, kFirstModeCombo);
      const LPARAM second = SelectedRowData(dialog, kSecondModeCombo);
      if (first >= 0) s.SeparationModeA = static_cast<std::uint8_t>(first);
      if (second >= 0) s.SeparationModeB = static_cast<std::uint8_t>(second);
      EndDialog(dialog, 1);
      return TRUE;
    }
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    case kFirstModeCombo:
    case kSecondModeCombo:
      if (code != CBN_SELCHANGE) return FALSE;
      ShowDialogSeparationPicture(dialog, s.ResourceDll);
      InvalidateRect(GetDlgItem(dialog, kDialogTextInkPicture), nullptr, TRUE);
      InvalidateRect(GetDlgItem(dialog, kDialogImageInkPicture), nullptr, TRUE);
      return TRUE;
    default: return FALSE;
  }
}

INT_PTR SeparationDialog(HWND page, DocSheetContext& context) {
  return DialogBoxParamW(context.State.ResourceDll, MAKEINTRESOURCEW(kSeparationTemplate), page, SeparationDlgProc,
                         reinterpret_cast<LPARAM>(&context));
}
