#include "sheets/job_dialogs.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "device/usb_job_folders.h"
#include "plat/machine.h"
#include "plat/ui.h"
#include "settings/show_message.h"
#include "sheets/control_kit.h"

namespace {

constexpr int kNameFromDocCheck = 3210;
constexpr int kNameFromDocLabel = 3211;
constexpr int kJobNameEdit = 3212;
constexpr int kUserNameEdit = 3214;
constexpr int kBoxLabel = 3215;
constexpr int kBoxCombo = 3216;
constexpr int kOptionCheck = 3217;
constexpr int kDriveLabel = 3218;
constexpr int kNameCharacters = static_cast<int>(kSettingsNameUnits) - 1;
constexpr UINT kBoxStrings[] = {3521, 3522, 3523, 3524, 3525, 3526};
constexpr std::uint8_t kBoxCount = 6;
constexpr int kHoldTemplate = 1991;
constexpr int kUsbTemplate = 1992;

// What the two dialogs share: the name controls 3210-3214 and the option 3217.
struct NamePart {
  std::uint8_t& Editable;
  std::uint8_t& NameFromDoc;
  WCHAR (&JobName)[kSettingsNameUnits];
  WCHAR (&UserName)[kSettingsNameUnits];
  std::uint8_t& Option;
};

NamePart NamesOf(HoldOutputRecord& r) { return {r.Editable, r.NameFromDoc, r.JobName, r.UserName, r.Option}; }
NamePart NamesOf(UsbOutputRecord& r) { return {r.Editable, r.NameFromDoc, r.JobName, r.UserName, r.Option}; }

template <std::size_t N>
void CopyName(WCHAR (&target)[N], const WCHAR* source) {
  std::fill(std::begin(target), std::end(target), WCHAR{0});
  for (std::size_t i = 0; i + 1 < N && source[i]; ++i) target[i] = source[i];
}

void ReadEdit(HWND dialog, int id, WCHAR (&target)[kSettingsNameUnits]) {
  WCHAR text[kSettingsNameUnits] = {};
  GetDlgItemTextW(dialog, id, text, kNameCharacters + 1);
  CopyName(target, text);
}

void InitNames(HWND dialog) {
  LimitEditText(dialog, kJobNameEdit, kNameCharacters);
  LimitEditText(dialog, kUserNameEdit, kNameCharacters);
}

void RefreshNames(HWND dialog, NamePart names) {
  if (!names.Editable) names.NameFromDoc = 1;
  SetCheck(dialog, kNameFromDocCheck, names.NameFromDoc);
  SetDlgItemTextW(dialog, kJobNameEdit, names.Editable && names.NameFromDoc == 0 ? names.JobName : u"");
  SetDlgItemTextW(dialog, kUserNameEdit, names.UserName);
  SetCheck(dialog, kOptionCheck, names.Option);
}

void EnableNames(HWND dialog, const NamePart& names) {
  if (!names.Editable) {
    for (int id : {kNameFromDocCheck, kNameFromDocLabel, kJobNameEdit}) DisableItem(dialog, id);
    return;
  }
  EnableItem(dialog, kNameFromDocCheck);
  EnableItem(dialog, kNameFromDocLabel);
  if (names.NameFromDoc == 0) {
    EnableItem(dialog, kJobNameEdit);
  } else {
    DisableItem(dialog, kJobNameEdit);
  }
}

// The name commands; true when handled.
bool NameCommand(HWND dialog, NamePart names, WORD id, WORD code) {
  switch (id) {
    case kNameFromDocCheck:
      if (code != BN_CLICKED) return false;
      names.NameFromDoc = IsChecked(dialog, kNameFromDocCheck) ? 1 : 0;
      return true;
    case kJobNameEdit:
      if (code != EN_KILLFOCUS) return false;
      ReadEdit(dialog, kJobNameEdit, names.JobName);
      return true;
    case kUserNameEdit:
      if (code != EN_KILLFOCUS) return false;
      ReadEdit(dialog, kUserNameEdit, names.UserName);
      return true;
    case kOptionCheck:
      if (code != BN_CLICKED) return false;
      names.Option = IsChecked(dialog, kOptionCheck) ? 1 : 0;
      return true;
    default: return false;
  }
}

// OK pressed with Enter leaves the focus in an edit: its text is taken now.
// The job name edit holds the name only while it is shown.
bool NamesAcceptable(HWND dialog, NamePart names) {
  if (names.Editable && names.NameFromDoc == 0) ReadEdit(dialog, kJobNameEdit, names.JobName);
  ReadEdit(dialog, kUserNameEdit, names.UserName);
  return (names.NameFromDoc != 0 || names.JobName[0] != 0) && names.UserName[0] != 0;
}

// ---------------------------------------------------------------------------
// Hold job dialog

void RefreshHold(HWND dialog, HoldOutputRecord& r) {
  RefreshNames(dialog, NamesOf(r));
  SetComboSel(dialog, kBoxCombo, r.Box >= 1 && r.Box <= kBoxCount ? r.Box - 1 : -1);
  EnableNames(dialog, NamesOf(r));
  SetGroupState(dialog, r.DirectoryEnable, true, {kBoxLabel, kBoxCombo});
}

// ---------------------------------------------------------------------------
// USB job dialog

std::u16string SelectedDrive(HWND dialog) {
  WCHAR text[MAX_PATH] = {};
  if (GetComboSelText(dialog, kUsbDriveCombo, text, MAX_PATH) == 0) return {};
  return text;
}

void ShowVolumeLabel(HWND dialog) {
  const std::u16string drive = SelectedDrive(dialog);
  WCHAR label[MAX_PATH] = {};
  if (drive.empty() || !GetVolumeInformationW(drive.c_str(), label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0)) {
    label[0] = 0;
  }
  SetDlgItemTextW(dialog, kUsbVolumeText, label);
}

void RefreshUsb(HWND dialog, UsbOutputRecord& r) {
  RefreshNames(dialog, NamesOf(r));
  if (!r.Editable) SetDlgItemTextW(dialog, kUsbVolumeText, u"");
  EnableNames(dialog, NamesOf(r));
  if (r.Automatic) {
    DisableItem(dialog, kOptionCheck);
  } else {
    EnableItem(dialog, kOptionCheck);
  }
  for (int id : {kDriveLabel, kUsbDriveCombo, kUsbVolumeText}) {
    if (r.Editable) {
      EnableItem(dialog, id);
    } else {
      DisableItem(dialog, id);
    }
  }
  if (!r.Editable || r.Automatic) {
    DisableItem(dialog, kUsbFolderLabel);
    DisableItem(dialog, kUsbFolderCombo);
  }
}

void OnDriveChosen(HWND dialog, UsbOutputRecord& r) {
  SetDlgItemTextW(dialog, kUsbVolumeText, u"");
  for (int id : {kUsbOkButton, kUsbFolderLabel, kUsbFolderCombo}) DisableItem(dialog, id);
  SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_RESETCONTENT, 0, 0);
  ShowVolumeLabel(dialog);
  const std::u16string drive = SelectedDrive(dialog);
  if (drive.empty()) return;
  if (!CheckJobFolderTree(drive.c_str(), TRUE)) {
    const std::u16string letter = drive.substr(0, 1);
    if (ShowMessage(r.ResourceDll, dialog, kUsbMessageCaption, kUsbCreateTreeText, MB_YESNO | MB_ICONEXCLAMATION, 1,
                    letter.c_str()) != IDYES ||
        !CreateJobFolderTree(drive.c_str())) {
      return;
    }
  }
  if (!r.Automatic) FillJobFolderNames(dialog, drive.c_str());
  EnableItem(dialog, kUsbOkButton);
}

int FolderSelection(HWND dialog) {
  const int selection = GetComboSel(dialog, kUsbFolderCombo);
  return selection < 0 ? 1 : selection + 1;
}

}  // namespace

INT_PTR CALLBACK HoldOutputDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* r = AdoptDialogRecord<HoldOutputRecord>(dialog, lParam);
    InitNames(dialog);
    AddResourceStrings(r->ResourceDll, dialog, kBoxCombo, kBoxStrings, static_cast<int>(std::size(kBoxStrings)));
    RefreshHold(dialog, *r);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  HoldOutputRecord* r = DialogRecord<HoldOutputRecord>(dialog);
  if (!r) return FALSE;
  const WORD id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDOK:
      if (NamesAcceptable(dialog, NamesOf(*r))) EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    case kBoxCombo: {
      if (code != CBN_SELCHANGE) return FALSE;
      const int selection = GetComboSel(dialog, kBoxCombo);
      if (selection >= 0) r->Box = static_cast<std::uint8_t>(selection + 1);
      break;
    }
    default:
      if (!NameCommand(dialog, NamesOf(*r), id, code)) return FALSE;
      break;
  }
  RefreshHold(dialog, *r);
  return TRUE;
}

INT_PTR HoldOutputDialog(HWND page, DocSheetContext& context) {
  SheetState& state = context.State;
  HoldOutputRecord r{};
  r.DirectoryEnable = context.Caps.Info.HoldMemoryDirectoryEnable;
  r.Editable = IsDefaultsMode(context.Caps.Defaults) ? 0 : 1;
  r.ResourceDll = state.ResourceDll;
  r.NameFromDoc = state.HoldNameFromDoc;
  CopyName(r.JobName, state.HoldJobName);
  CopyName(r.UserName, state.HoldUserName);
  r.Option = state.HoldJobOption;
  r.Box = state.HoldBox;
  const INT_PTR result = DialogBoxParamW(state.ResourceDll, MAKEINTRESOURCEW(kHoldTemplate), page, HoldOutputDlgProc,
                                         reinterpret_cast<LPARAM>(&r));
  if (result == 1) {
    state.HoldNameFromDoc = r.NameFromDoc;
    CopyName(state.HoldJobName, r.JobName);
    CopyName(state.HoldUserName, r.UserName);
    state.HoldJobOption = r.Option;
    state.HoldBox = r.Box;
  }
  return result;
}

INT_PTR CALLBACK UsbOutputDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* r = AdoptDialogRecord<UsbOutputRecord>(dialog, lParam);
    InitNames(dialog);
    if (r->Editable) {
      if (r->Drive[0] != 0 && !CheckJobFolderTree(r->Drive, TRUE)) {
        std::fill(std::begin(r->Drive), std::end(r->Drive), WCHAR{0});
        r->Folder = 1;
      }
      PrepareUsbJobFolder(dialog, r->ResourceDll, r->Automatic, TRUE, r->Drive, r->Folder);
      ShowVolumeLabel(dialog);
    }
    RefreshUsb(dialog, *r);
    return TRUE;
  }
  UsbOutputRecord* r = DialogRecord<UsbOutputRecord>(dialog);
  if (!r) return FALSE;
  if (message == WM_DEVICECHANGE) {
    if (!r->Editable || (wParam != DBT_DEVICEARRIVAL && wParam != DBT_DEVICEREMOVECOMPLETE)) return FALSE;
    const std::u16string shown = SelectedDrive(dialog);
    PrepareUsbJobFolder(dialog, r->ResourceDll, r->Automatic, TRUE, shown.c_str(), FolderSelection(dialog));
    ShowVolumeLabel(dialog);
    RefreshUsb(dialog, *r);
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  const WORD id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDOK: {
      if (!NamesAcceptable(dialog, NamesOf(*r))) return TRUE;
      CopyName(r->Drive, SelectedDrive(dialog).c_str());
      r->Folder = r->Automatic ? 1 : static_cast<std::uint8_t>(FolderSelection(dialog));
      EndDialog(dialog, 1);
      return TRUE;
    }
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    case kUsbDriveCombo:
      if (code != CBN_SELCHANGE) return FALSE;
      OnDriveChosen(dialog, *r);
      break;
    case kUsbFolderCombo:
      if (code != CBN_SELCHANGE) return FALSE;
      r->Folder = static_cast<std::uint8_t>(FolderSelection(dialog));
      break;
    default:
      if (!NameCommand(dialog, NamesOf(*r), id, code)) return FALSE;
      break;
  }
  RefreshUsb(dialog, *r);
  return TRUE;
}

INT_PTR UsbOutputDialog(HWND page, DocSheetContext& context) {
  SheetState& state = context.State;
  UsbOutputRecord r{};
  r.Automatic = state.OutputMode == 4 ? 1 : 0;
  r.Editable = IsDefaultsMode(context.Caps.Defaults) ? 0 : 1;
  r.ResourceDll = state.ResourceDll;
  r.NameFromDoc = state.UsbNameFromDoc;
  CopyName(r.JobName, state.UsbJobName);
  CopyName(r.UserName, state.UsbUserName);
  r.Option = r.Automatic ? 0 : state.UsbJobOption;
  CopyName(r.Drive, state.UsbDrive);
  r.Folder = state.UsbFolder;
  const INT_PTR result = DialogBoxParamW(state.ResourceDll, MAKEINTRESOURCEW(kUsbTemplate), page, UsbOutputDlgProc,
                                         reinterpret_cast<LPARAM>(&r));
  if (result == 1) {
    state.UsbNameFromDoc = r.NameFromDoc;
    CopyName(state.UsbJobName, r.JobName);
    CopyName(state.UsbUserName, r.UserName);
    state.UsbJobOption = r.Option;
    CopyName(state.UsbDrive, r.Drive);
    state.UsbFolder = r.Folder;
  }
  return result;
}
