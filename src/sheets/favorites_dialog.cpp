#include "sheets/favorites_dialog.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "plat/registry.h"
#include "plat/spooler.h"
#include "settings/show_message.h"
#include "sheets/control_kit.h"
#include "sheets/printer_access.h"
#include "sheets/user_files.h"

namespace {

int ListCount(HWND dialog) {
  const LRESULT n = SendDlgItemMessageW(dialog, kFavoriteList, LB_GETCOUNT, 0, 0);
  return n > 0 ? static_cast<int>(n) : 0;
}

// The text of a list entry (at most kFavoriteNameUnits characters); empty when it does not fit.
std::u16string ListText(HWND dialog, int index) {
  const LRESULT length = SendDlgItemMessageW(dialog, kFavoriteList, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0 || length > kFavoriteNameUnits) return {};
  WCHAR text[kFavoriteNameUnits + 1] = {};
  SendDlgItemMessageW(dialog, kFavoriteList, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return std::u16string(text);
}

// Case matters: "Mine" and "mine" are two favourites.
bool Listed(HWND dialog, std::u16string_view name) {
  for (int i = 0, n = ListCount(dialog); i < n; ++i) {
    if (ListText(dialog, i) == name) return true;
  }
  return false;
}

void SetName(FavoritesDialogRecord& record, std::u16string_view name) {
  std::fill(std::begin(record.Name), std::end(record.Name), WCHAR{0});
  std::copy_n(name.begin(), std::min<std::size_t>(name.size(), kFavoriteNameUnits), record.Name);
}

bool ValueExists(HANDLE printer, const WCHAR* valueName) {
  DWORD type = 0, needed = 0;
  const DWORD rc = GetPrinterDataW(printer, valueName, &type, nullptr, 0, &needed);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA;
}

void FillFavoriteList(HWND dialog, const FavoritesDialogRecord& record) {
  FavoriteSlot slots[kMaxFavorites] = {};
  const int count = EnumFavorites(record.Printer, slots);
  for (int i = 0; i < count; ++i) {
    SendDlgItemMessageW(dialog, kFavoriteList, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(slots[i] + kFavoritePrefixUnits));
  }
}

void Warn(HWND dialog, const FavoritesDialogRecord& record, UINT text) {
  ShowMessage(record.Module, dialog, kFavoritesCaption, text, MB_ICONEXCLAMATION);
}

}  // namespace

void FavoritesEnableRules(HWND dialog, const FavoritesDialogRecord& record) {
  const int count = ListCount(dialog);
  UpdateAddButton(dialog, kMaxFavorites, kSaveFavoriteButton, kFavoriteNameEdit, kFavoriteList);
  const LRESULT selected = SendDlgItemMessageW(dialog, kFavoriteList, LB_GETCURSEL, 0, 0);
  EnableWindow(GetDlgItem(dialog, kDeleteFavoriteButton), selected >= 0 ? TRUE : FALSE);
  SetGroupState(dialog, record.SaveSettingFileEnable, count < kMaxFavorites, {kImportFavoritesButton});
  SetGroupState(dialog, record.SaveSettingFileEnable, count > 0, {kExportFavoritesButton});
}

int SaveFavorite(HWND dialog, FavoritesDialogRecord& record, const DocSettings& settings, int count, bool quiet) {
  const std::u16string valueName = FavoriteValueName(record.Name);
  if (ValueExists(record.Printer, valueName.c_str())) {
    if (!quiet) {
      ShowMessage(record.Module, dialog, kFavoritesCaption, kFavoriteExistsText, MB_ICONEXCLAMATION, 1, record.Name);
    }
    return count;
  }
  if (SetPrinterDataW(record.Writer, valueName.c_str(), REG_BINARY, reinterpret_cast<const BYTE*>(&settings),
                      sizeof(DocSettings)) != ERROR_SUCCESS) {
    return count;
  }
  if (!Listed(dialog, record.Name)) {
    SendDlgItemMessageW(dialog, kFavoriteList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(record.Name));
  }
  return count + 1;
}

void DeleteFavorite(HWND dialog, FavoritesDialogRecord& record) {
  const std::u16string valueName = FavoriteValueName(record.Name);
  if (DeletePrinterDataW(record.Writer, valueName.c_str()) != ERROR_SUCCESS) return;
  SendDlgItemMessageW(dialog, kFavoriteList, LB_DELETESTRING, static_cast<WPARAM>(record.Index), 0);
  record.Index = -1;
}

void SaveCurrentAsFavorite(FavoritesDialogRecord& record, HWND dialog) {
  const int count = ListCount(dialog);
  if (count >= kMaxFavorites) return;
  auto settings = std::make_unique<DocSettings>();  // zero-filled
  DocSheetContext& context = *record.Context;
  SheetState& state = context.State;
  OutputPartToSettings(state, *settings);
  PaperLayoutPartToSettings(context.Caps, state, *settings);
  if (record.ColorPart) ColorPartToSettings(state, *settings);
  ImagePartToSettings(state, *settings);
  PrintPartToSettings(state, *settings);
  FinishingPartToSettings(state, *settings);
  SaveFavorite(dialog, record, *settings, count, false);
}

void ImportFavorites(FavoritesDialogRecord& record, HWND dialog) {
  WCHAR path[kUserFilePathUnits];
  if (!SelectUserFile(record.Module, dialog, true, true, path)) return;
  auto table = std::make_unique<FavoriteTable>();
  const int read = ImportSettingFile(path, record.ModelName, *table);
  if (read == 0) {
    Warn(dialog, record, kFavoritesUnreadText);
    return;
  }
  WCHAR kept[kFavoriteNameUnits + 1];
  std::copy(std::begin(record.Name), std::end(record.Name), kept);
  bool skipped = read < 0;
  int count = ListCount(dialog);
  for (std::size_t i = 0; i < table->Count; ++i) {
    if (count >= kMaxFavorites) {
      Warn(dialog, record, kFavoritesFullText);
      break;
    }
    SetName(record, std::u16string_view(table->Entry[i].Name));
    const int before = count;
    count = SaveFavorite(dialog, record, table->Entry[i].Settings, count, true);
    if (count == before) skipped = true;
  }
  if (skipped) Warn(dialog, record, kFavoritesSkippedText);
  std::copy(std::begin(kept), std::end(kept), record.Name);
}

void ExportFavorites(FavoritesDialogRecord& record, HWND dialog) {
  WCHAR path[kUserFilePathUnits];
  if (!SelectUserFile(record.Module, dialog, false, true, path)) return;
  auto table = std::make_unique<FavoriteTable>();
  const int count = std::min(ListCount(dialog), kMaxFavorites);
  for (int i = 0; i < count; ++i) {
    const std::u16string name = ListText(dialog, i);
    BYTE* block = name.empty() ? nullptr : ReadFavoriteBlock(record.Printer, FavoriteValueName(name.c_str()).c_str());
    if (!block) return;
    Favorite& entry = table->Entry[i];
    std::copy(name.begin(), name.end(), entry.Name);
    std::copy_n(block, sizeof(DocSettings), reinterpret_cast<BYTE*>(&entry.Settings));
    GlobalFree(block);
    table->Count = static_cast<std::uint16_t>(i + 1);
  }
  ExportSettingFile(path, record.ModelName, *table);
}

void FavoritesCommand(HWND dialog, FavoritesDialogRecord& record, WORD id, WORD code) {
  switch (id) {
    case kFavoriteNameEdit:
      if (code == EN_UPDATE && !record.Filtering) {
        record.Filtering = true;
        EditCharFilter(dialog, kFavoriteNameEdit, kFilterName);
        record.Filtering = false;
      } else if (code == EN_CHANGE) {
        UpdateAddButton(dialog, kMaxFavorites, kSaveFavoriteButton, kFavoriteNameEdit, kFavoriteList);
      }
      return;
    case kFavoriteList: {
      if (code != LBN_SELCHANGE) return;
      const LRESULT selected = SendDlgItemMessageW(dialog, kFavoriteList, LB_GETCURSEL, 0, 0);
      if (selected >= 0) SetName(record, ListText(dialog, static_cast<int>(selected)));
      break;
    }
    case kSaveFavoriteButton: {
      if (code != BN_CLICKED) return;
      WCHAR name[kFavoriteNameUnits + 1] = {};
      GetDlgItemTextW(dialog, kFavoriteNameEdit, name, kFavoriteNameUnits + 1);
      // A blank name would be a favourite no file could carry.
      const std::u16string_view text(name);
      if (text.find_first_not_of(u' ') == std::u16string_view::npos) return;
      SetName(record, text);
      SaveCurrentAsFavorite(record, dialog);
      break;
    }
    case kDeleteFavoriteButton: {
      if (code != BN_CLICKED) return;
      const LRESULT selected = SendDlgItemMessageW(dialog, kFavoriteList, LB_GETCURSEL, 0, 0);
      if (selected < 0) return;
      record.Index = static_cast<int>(selected);
      const std::u16string name = ListText(dialog, record.Index);
      if (name.empty()) return;
      SetName(record, name);
      DeleteFavorite(dialog, record);
      break;
    }
    case kImportFavoritesButton:
      if (code != BN_CLICKED) return;
      ImportFavorites(record, dialog);
      break;
    case kExportFavoritesButton:
      if (code == BN_CLICKED) ExportFavorites(record, dialog);
      return;
    case kCloseFavoritesButton:
      if (code == BN_CLICKED) EndDialog(dialog, 1);
      return;
    default:
      return;
  }
  FavoritesEnableRules(dialog, record);
}

INT_PTR CALLBACK FavoritesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto& record = *AdoptDialogRecord<FavoritesDialogRecord>(dialog, lParam);
    record.Writer = OpenPrinterForWrite(record.Printer);
    LimitEditText(dialog, kFavoriteNameEdit, kFavoriteNameUnits);
    FillFavoriteList(dialog, record);
    FavoritesEnableRules(dialog, record);
    return TRUE;
  }
  FavoritesDialogRecord* record = DialogRecord<FavoritesDialogRecord>(dialog);
  if (!record) return FALSE;
  switch (message) {
    case WM_COMMAND:
      FavoritesCommand(dialog, *record, LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      EndDialog(dialog, 1);
      return TRUE;
    case WM_DESTROY:
      CloseWriteHandle(record->Writer, record->Printer);
      record->Writer = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR FavoritesDialog(HWND page, DocSheetContext& context) {
  FavoritesDialogRecord record{};
  record.ModelName = context.Caps.ModelName;
  record.SaveSettingFileEnable = context.Caps.Info.SaveSettingFileEnable;
  record.Printer = context.State.Printer;
  record.Context = &context;
  record.ColorPart = HasColorPart(context.Caps);
  record.Module = context.State.ResourceDll;
  record.Index = -1;
  return DialogBoxParamW(record.Module, MAKEINTRESOURCEW(kFavoritesTemplate), page, FavoritesDlgProc,
                         reinterpret_cast<LPARAM>(&record));
}
