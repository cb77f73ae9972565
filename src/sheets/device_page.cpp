#include "sheets/device_page.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "settings/caps_store.h"
#include "settings/private_devmode.h"
#include "sheets/control_kit.h"
#include "sheets/custom_papers.h"
#include "sheets/ink_color_dialog.h"
#include "sheets/printer_access.h"
#include "sheets/sheet_rules.h"
#include "sheets/user_paper_dialog.h"

namespace {

constexpr int kAddressLabel = 3245, kNoAddressText = 3246, kAddressControl = 3247, kInkInfoCheck = 3248;
constexpr int kOptionGroup = 3250;
constexpr int kSortLabel = 3251, kSortCombo = 3252, kTapeLabel = 3253, kTapeCombo = 3254;
constexpr int kHoldCombo = 3255, kHoldLabel = 3256, kBinLabel = 3257, kBinCombo = 3258;
constexpr int kUserPaperButton = 3259, kInkColorButton = 3260, kDialogGroup = 4013;
constexpr int kInfoButton = 3261, kInfoIcon = 3060, kInfoText = 3058, kInfoFrame = 4014;
constexpr int kRestoreButton = 2009;
constexpr UINT kNotInstalledText = 804, kInstalledText = 803;
constexpr UINT kAnsweredIcon = 124, kFailedIcon = 125, kAnsweredText = 820, kFailedText = 821;
constexpr std::uint8_t kNotAsked = 0, kAnswered = 1, kFailed = 2;

DevSheetContext* ContextOf(HWND page) {
  const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(GetWindowLongPtrW(page, DWLP_USER));
  return record ? reinterpret_cast<DevSheetContext*>(record->lParam) : nullptr;
}

// Without the right to write, a group is shown disabled whatever the model says.
std::uint8_t Allowed(const DevSheetContext& context, std::uint8_t availability) {
  return context.WritePermission ? availability : 0;
}

bool IsNoAddress(const WCHAR* text) {
  const std::u16string_view address(text, FieldTextLength(std::span<const WCHAR>(text, kPrinterAddressUnits)));
  return address.empty() || address == u"0.0.0.0";
}

bool TakeAddress(HWND page, DocSettings& working) {
  const bool hadNone = IsNoAddress(working.PrinterAddress);
  const auto filled = SendDlgItemMessageW(page, kAddressControl, IPM_GETADDRESS, 0, 0);
  WCHAR before[kPrinterAddressUnits] = {};
  std::copy(std::begin(working.PrinterAddress), std::end(working.PrinterAddress), before);
  const std::uint8_t infoBefore = working.InkInformation;
  if (filled == 0) {
    std::fill(std::begin(working.PrinterAddress), std::end(working.PrinterAddress), WCHAR{0});
    working.InkInformation = 0;
  } else {
    WCHAR text[kPrinterAddressUnits + 1] = {};
    GetDlgItemTextW(page, kAddressControl, text, kPrinterAddressUnits + 1);
    // The field holds 19 characters and its terminator.
    std::fill(std::begin(working.PrinterAddress), std::end(working.PrinterAddress), WCHAR{0});
    SetFieldText(working.PrinterAddress, text);
    if (std::u16string_view(working.PrinterAddress) == u"0.0.0.0") {
      working.InkInformation = 0;
    } else if (hadNone) {
      working.InkInformation = 1;  // switched on when an address is first entered
    }
  }
  return !std::equal(std::begin(before), std::end(before), std::begin(working.PrinterAddress)) ||
         infoBefore != working.InkInformation;
}

void FillOptionCombo(HWND page, HMODULE module, int id) {
  SendDlgItemMessageW(page, id, CB_RESETCONTENT, 0, 0);
  AddResourceString(module, page, id, kNotInstalledText);
  AddResourceString(module, page, id, kInstalledText);
}

}  // namespace

void DevicePageInit(HWND page, DevSheetContext& context) {
  const ModelCaps& caps = context.Caps;
  context.WritePermission = ProbeWritePermission(context.Printer);
  SendDlgItemMessageW(page, kSortCombo, CB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < caps.Info.SortCount; ++i) {
    const LevelEntry* sort = SortAt(caps, i);
    const WCHAR* name = sort ? NameListText(caps.Names, sort->NameId) : nullptr;
    SendDlgItemMessageW(page, kSortCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name ? name : u""));
  }
  for (int id : {kTapeCombo, kHoldCombo, kBinCombo}) FillOptionCombo(page, context.ResourceDll, id);
  context.GetInfoStatus = kNotAsked;
}

void DevicePageRefresh(HWND page, DevSheetContext& context) {
  const DocSettings& working = context.Caps.Defaults;
  context.IpSet = HasPrinterAddress(working) ? 1 : 0;
  const std::u16string address(working.PrinterAddress,
                               FieldTextLength(std::span<const WCHAR>(working.PrinterAddress)));
  if (address.empty() || !SetDlgItemTextW(page, kAddressControl, address.c_str())) {
    SendDlgItemMessageW(page, kAddressControl, IPM_CLEARADDRESS, 0, 0);
  }
  SetCheck(page, kInkInfoCheck, working.InkInformation);
  SetComboSel(page, kSortCombo, working.SortKind);
  SetComboSel(page, kTapeCombo, working.TapeSorterInstalled);
  SetComboSel(page, kHoldCombo, working.HoldMemoryInstalled);
  SetComboSel(page, kBinCombo, working.BinListInstalled);
  if (context.GetInfoStatus == kNotAsked) {
    ClearStaticIcon(page, kInfoIcon);
    SetDlgItemTextW(page, kInfoText, u"");
  } else {
    const bool answered = context.GetInfoStatus == kAnswered;
    SetStaticIcon(context.ResourceDll, page, kInfoIcon, answered ? kAnsweredIcon : kFailedIcon);
    SetTextFromResource(context.ResourceDll, GetDlgItem(page, kInfoText), answered ? kAnsweredText : kFailedText);
  }
}

void DevicePageEnableRules(HWND page, const DevSheetContext& context) {
  const CapsInfo& info = context.Caps.Info;
  const bool ip = context.IpSet != 0;
  const std::uint8_t address = Allowed(context, info.PrinterIPAdressEnable);
  SetGroupState(page, address, true, {kAddressLabel, kAddressControl});
  ShowItemIf(page, kNoAddressText, info.PrinterIPAdressEnable == 1 && info.InkInformationEnable == 1 && !ip);
  const std::uint8_t inkInfo =
      info.PrinterIPAdressEnable == 2 ? 2 : address == 0 ? 0 : Allowed(context, info.InkInformationEnable);
  SetGroupState(page, inkInfo, ip, {kInkInfoCheck});

  SetGroupState(page, Allowed(context, info.SortEnable), true, {kSortLabel, kSortCombo});
  SetGroupState(page, Allowed(context, info.TapeSortEnable), true, {kTapeLabel, kTapeCombo});
  // A model without hold memory never shows it.
  const std::uint8_t hold = info.HoldMemoryEnable == 2 ? 2 : Allowed(context, info.HoldMemoryEnable);
  SetGroupState(page, hold, true, {kHoldLabel, kHoldCombo});
  SetGroupState(page, Allowed(context, info.BinListEnable), true, {kBinLabel, kBinCombo});
  SetGroupState(page, Allowed(context, 1), true, {kOptionGroup});

  // The user-paper and ink-colour dialogs, each by its own availability.
  SetGroupState(page, Allowed(context, info.UserPaperResisterEnable), true, {kUserPaperButton});
  SetGroupState(page, Allowed(context, info.PrintColorEntryEnable), true, {kInkColorButton});
  ShowItemIf(page, kDialogGroup, !(info.UserPaperResisterEnable == 2 && info.PrintColorEntryEnable == 2) ||
                                   !context.WritePermission);

  const std::uint8_t getInfo = Allowed(context, info.GetInformationEnable);
  SetGroupState(page, getInfo, ip, {kInfoButton});
  SetGroupState(page, getInfo, true, {kInfoText});
  ShowItemIf(page, kInfoIcon, getInfo != 2 && context.GetInfoStatus != kNotAsked);
  ShowItemIf(page, kInfoFrame, getInfo != 2);
  SetGroupState(page, Allowed(context, 1), true, {kRestoreButton});
}

int QueryPrinterIntoDevice(DevSheetContext& context, const WCHAR* address, bool snmp) {
  DocSettings& working = context.Caps.Defaults;
  PrinterQueryBlock block{};
  std::copy(std::begin(working.InkMarks), std::end(working.InkMarks), block.Marks);
  OptionAnswer options{};
  const int result = QueryPrinter(address, snmp, options, block);
  if (result == 0) {
    context.DrumColors[0] = context.DrumColors[1] = 0;
    return 0;
  }
  if (result == 2) {
    working.HoldMemoryInstalled = options.Bytes[4];
    working.TapeSorterInstalled = options.Bytes[3];
    working.BinListInstalled = options.Bytes[5];
  }
  std::copy(std::begin(block.Marks), std::end(block.Marks), working.InkMarks);
  context.DrumColors[0] = static_cast<std::uint16_t>(block.Drum1Color);
  context.DrumColors[1] = static_cast<std::uint16_t>(block.Drum2Color);
  if (IsInkCode(block.Drum1Color)) working.InkLab.Entry[block.Drum1Color - kInkCodeFirst] = block.Drum1Lab;
  if (IsInkCode(block.Drum2Color)) working.InkLab.Entry[block.Drum2Color - kInkCodeFirst] = block.Drum2Lab;
  return result;
}

void RestoreDeviceDefaults(DevSheetContext& context) {
  DocSettings& working = context.Caps.Defaults;
  const DocSettings& permanent = context.Caps.Permanent;
  std::copy(std::begin(permanent.PrinterAddress), std::end(permanent.PrinterAddress), working.PrinterAddress);
  working.InkInformation = permanent.InkInformation;
  working.SortKind = permanent.SortKind;
  working.SorterInstalled = permanent.SorterInstalled;
  working.StaplerInstalled = permanent.StaplerInstalled;
  working.TapeSorterInstalled = permanent.TapeSorterInstalled;
  working.HoldMemoryInstalled = permanent.HoldMemoryInstalled;
  working.BinListInstalled = permanent.BinListInstalled;
  RestoreUserPapers(context);
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (ColorIdList[i] == permanent.Drum1Color || ColorIdList[i] == permanent.Drum2Color) working.InkMarks[i] = 1;
  }
  ApplyOptionRules(working, permanent);
}

bool DevicePageCommand(HWND page, DevSheetContext& context, WORD id, WORD code) {
  DocSettings& working = context.Caps.Defaults;
  const DocSettings& permanent = context.Caps.Permanent;
  switch (id) {
    case kAddressControl: return code == EN_KILLFOCUS && TakeAddress(page, working);
    case kInkInfoCheck: return TakeCheck(page, id, code, working.InkInformation);
    case kInkColorButton: return code == BN_CLICKED && InkColorDialog(page, context) == 1;
    case kUserPaperButton: return code == BN_CLICKED && UserPaperDialog(page, context) == 1;
    case kSortCombo: {
      std::uint8_t kind = working.SortKind;
      if (!TakeComboSelection(page, id, code, kind)) return false;
      SetSortKind(working, kind);
      ApplySortOptionRule(working, permanent);
      return true;
    }
    case kTapeCombo:
      if (!TakeComboSelection(page, id, code, working.TapeSorterInstalled)) return false;
      ApplyTapeSortOptionRule(working, permanent);
      return true;
    case kHoldCombo:
      if (!TakeComboSelection(page, id, code, working.HoldMemoryInstalled)) return false;
      ApplyHoldMemoryOptionRule(working, permanent);
      return true;
    case kBinCombo:
      if (!TakeComboSelection(page, id, code, working.BinListInstalled)) return false;
      ApplyBinListOptionRule(working, permanent);
      return true;
    case kInfoButton:
      if (code != BN_CLICKED) return false;
      context.GetInfoStatus =
          QueryPrinterIntoDevice(context, working.PrinterAddress, context.Caps.Info.GetInformationBoth == 1) != 0
              ? kAnswered
              : kFailed;
      return true;
    case kRestoreButton:
      if (code != BN_CLICKED) return false;
      RestoreDeviceDefaults(context);
      return true;
    default: return false;
  }
}

INT_PTR DevicePageNotify(HWND page, DevSheetContext& context, const NMHDR& header) {
  switch (header.code) {
    case PSN_RESET: return TRUE;
    case PSN_APPLY: {
      const LONG_PTR done = context.ComPropSheet
                                ? context.ComPropSheet(context.ComPropSheetHandle, CPSFUNC_SET_RESULT,
                                                       reinterpret_cast<LPARAM>(context.PageHandle), CPSUI_OK)
                                : 0;
      SetWindowLongPtrW(page, DWLP_MSGRESULT, done ? PSNRET_NOERROR : PSNRET_INVALID);
      return done ? TRUE : FALSE;
    }
    case PSN_SETACTIVE:
      DevicePageRefresh(page, context);
      DevicePageEnableRules(page, context);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
      return TRUE;
    default: return FALSE;
  }
}

INT_PTR CALLBACK DeviceSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(page, DWLP_USER, lParam);
    if (DevSheetContext* context = ContextOf(page)) {
      DevicePageInit(page, *context);
      DevicePageRefresh(page, *context);
      DevicePageEnableRules(page, *context);
    }
    return TRUE;
  }
  DevSheetContext* context = ContextOf(page);
  if (!context) return FALSE;
  switch (message) {
    case WM_NOTIFY: return DevicePageNotify(page, *context, *reinterpret_cast<const NMHDR*>(lParam));
    case WM_DESTROY: ClearStaticIcon(page, kInfoIcon); return FALSE;
    case WM_CTLCOLORSTATIC: return WhiteTextBackground(page, kInfoText, wParam, lParam);
    case WM_COMMAND:
      if (!DevicePageCommand(page, *context, LOWORD(wParam), HIWORD(wParam))) return FALSE;
      DevicePageRefresh(page, *context);
      DevicePageEnableRules(page, *context);
      NotifySheetChanged(page);
      return TRUE;
    default: return FALSE;
  }
}
