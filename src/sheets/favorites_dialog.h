// The favourites dialog (template 1998): saves the document pages' state
// under a name as printer data, deletes favourites, and carries them to and
// from user setting files. A favourite is never overwritten.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "plat/dialog.h"
#include "sheets/favorite_names.h"
#include "sheets/sheet_state.h"

inline constexpr int kFavoritesTemplate = 1998;
inline constexpr int kFavoriteNameEdit = 2094, kFavoriteList = 2095, kSaveFavoriteButton = 2096,
                     kDeleteFavoriteButton = 2097, kImportFavoritesButton = 2098, kExportFavoritesButton = 2099,
                     kCloseFavoritesButton = 3000;
// Message caption and texts.
inline constexpr UINT kFavoritesCaption = 3616, kFavoriteExistsText = 3617, kFavoritesFullText = 3618,
                      kFavoritesSkippedText = 3619, kFavoritesUnreadText = 3620;

struct FavoritesDialogRecord {
  const WCHAR* ModelName;
  std::uint8_t SaveSettingFileEnable;  // import and export: 0 disabled, 1 enabled, 2 hidden
  HANDLE Printer;                      // the sheet's own handle
  DocSheetContext* Context;            // its SheetState is what a save stores
  bool ColorPart;
  HANDLE Writer;  // opened for writing; the sheet's handle when that failed
  HMODULE Module;
  int Index;  // the list entry acted on
  WCHAR Name[kFavoriteNameUnits + 1];
  bool Filtering;
};

// 1 when closed; the page then lists the favourites again.
INT_PTR FavoritesDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK FavoritesDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void FavoritesCommand(HWND dialog, FavoritesDialogRecord& record, WORD id, WORD code);
void FavoritesEnableRules(HWND dialog, const FavoritesDialogRecord& record);
// Stores settings as "FavSet_" + the record's name unless that value exists
// (message 3617 unless quiet). count + 1 when written, else count: a failed
// write changes neither the list nor the count.
int SaveFavorite(HWND dialog, FavoritesDialogRecord& record, const DocSettings& settings, int count, bool quiet);
// Deletes the favourite named by the record; the list entry goes only when the value did.
void DeleteFavorite(HWND dialog, FavoritesDialogRecord& record);
void SaveCurrentAsFavorite(FavoritesDialogRecord& record, HWND dialog);
void ImportFavorites(FavoritesDialogRecord& record, HWND dialog);
// Writes every listed favourite to a file; any favourite that cannot be read
// as one settings block ends the export before anything is written.
void ExportFavorites(FavoritesDialogRecord& record, HWND dialog);
