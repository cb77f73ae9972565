// The user-paper dialog (template 1990): up to 30 named paper sizes that
// become the model's custom papers, with add, delete, reorder, import and
// export. Edited on a copy that is merged into the model when the dialog closes.
#pragma once

#include <cstdint>
#include <vector>

#include "plat/base.h"
#include "plat/dialog.h"
#include "sheets/control_kit.h"
#include "sheets/sheet_state.h"
#include "sheets/user_file_codec.h"

inline constexpr int kUserPaperTemplate = 1990;
inline constexpr int kPaperWidthEdit = 3201, kPaperWidthSpin = 3202, kPaperUnitCombo = 3203,
                     kPaperWidthRange = 3204, kPaperLengthEdit = 3206, kPaperLengthSpin = 3207,
                     kPaperUnitLabel = 3208, kPaperLengthRange = 3209, kPaperNameEdit = 3262, kPaperList = 3263,
                     kAddPaperButton = 2096, kDeletePaperButton = 2097, kPaperUpButton = 3265,
                     kPaperDownButton = 3266, kImportPapersButton = 2098, kExportPapersButton = 2099,
                     kClosePapersButton = 3000;
// Message caption and texts.
inline constexpr UINT kUserPaperCaption = 3600, kPaperNameUsedText = 3601, kPapersFullText = 3602,
                      kPapersSkippedText = 3603, kPapersUnreadText = 3604;
inline constexpr int kPaperRangeLabelUnits = 64;

struct UserPaperDialogRecord {
  const WCHAR* ModelName;
  std::uint8_t UserPaperFileEnable;  // import and export: 0 disabled, 1 enabled, 2 hidden
  std::size_t DocumentPapers;
  HMODULE Module;
  // [0] width, [1] length.
  std::int32_t DefaultMillimetres[2];
  std::int32_t DefaultHundredths[2];
  std::uint8_t Unit;  // 0 millimetres, 1 inches
  UserPaperTable Table;
  std::vector<WCHAR> DocumentNames;  // kNameSlotUnits per document paper
  std::int32_t Millimetres[2];       // the edits' values in whole millimetres
  std::int32_t Hundredths[2];        // and in hundredths of an inch
  SpinRange Ranges[2][2];            // [unit][width, length]
  WCHAR RangeLabels[2][2][kPaperRangeLabelUnits];
  int EditLimits[2][2];
  int Digits;     // fraction digits of the unit
  int Selection;  // list entry, -1 none
  WCHAR Name[kUserPaperNameUnits];
  bool Filtering;
  bool Selecting;  // a list selection is filling the name edit
};

// 1 when closed: the table is then the model's custom papers.
INT_PTR UserPaperDialog(HWND page, DevSheetContext& context);
INT_PTR CALLBACK UserPaperDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void InitUserPaperDialog(HWND dialog, UserPaperDialogRecord& record);
void RefreshUserPaperDialog(HWND dialog, UserPaperDialogRecord& record);
void UserPaperEnableRules(HWND dialog, const UserPaperDialogRecord& record);
void UserPaperCommand(HWND dialog, UserPaperDialogRecord& record, WORD id, WORD code);
// A new paper from the edits under the record's name.
void AddUserPaper(HWND dialog, UserPaperDialogRecord& record);
// Appends entry under the record's name unless it is empty or in use
// (message 3601 unless quiet); true when added.
bool AddPaperName(HWND dialog, UserPaperDialogRecord& record, const UserPaper& entry, bool quiet);
void DeleteUserPaper(HWND dialog, UserPaperDialogRecord& record);
void SwapUserPapers(UserPaperDialogRecord& record, int a, int b);
// The record's unit and values from the paper named by the record's name.
void SelectUserPaper(UserPaperDialogRecord& record);
void ChangePaperUnit(UserPaperDialogRecord& record, std::uint8_t unit);
void UserPaperSpin(HWND dialog, UserPaperDialogRecord& record, const NMUPDOWN& change);
void ImportUserPapers(HWND dialog, UserPaperDialogRecord& record);
void ExportUserPapers(HWND dialog, UserPaperDialogRecord& record);
// Makes the table the model's custom papers; 1, or 0 without memory.
int StoreUserPaperTable(ModelCaps& caps, const UserPaperTable& table);
