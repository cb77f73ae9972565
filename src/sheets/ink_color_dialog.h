// The ink-colour dialog (template 1995): which of the selectable ink colours
// the printer's users have, moved between the available and the registered
// list, and the colours now on the drums. Edited on a copy that goes back into
// the device sheet's working settings only on OK.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "plat/dialog.h"
#include "sheets/sheet_state.h"

inline constexpr int kInkColorTemplate = 1995;
inline constexpr int kAvailableList = 3154, kRegisteredList = 3155, kAddColorButton = 3156,
                     kRemoveColorButton = 3157, kGetInfoButton = 3261, kInkResultIcon = 3060,
                     kInkResultText = 3058, kInkResultFrame = 4014;

struct InkColorDialogRecord {
  std::uint8_t DrumCount;
  WCHAR Address[kPrinterAddressUnits + 1];
  std::int32_t IpSet;
  std::uint8_t GetInformationEnable;  // 0 disabled, 1 enabled, 2 hidden
  bool Snmp;
  HMODULE Module;
  InkLabTable InkLab;
  std::uint8_t Marks[kColorIdCount];  // not 0: registered
  int Positions[kColorIdCount];       // index in the list that shows the colour
  InkCode DrumColors[2];
  std::uint8_t Status;  // 0 not asked, 1 answered, 2 failed
};

INT_PTR InkColorDialog(HWND page, DevSheetContext& context);
INT_PTR CALLBACK InkColorDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void FillInkColorLists(HWND dialog, InkColorDialogRecord& record);
void DrawInkColorItem(HWND dialog, const DRAWITEMSTRUCT& item, const InkColorDialogRecord& record);
// add: the selected available colours become registered; else the selected
// registered colours become available. Both lists are filled again.
void MoveSelectedColors(HWND dialog, InkColorDialogRecord& record, bool add);
// Asks the printer for its drums' colours (the get-information button).
void GetInkInformation(HWND dialog, InkColorDialogRecord& record);
void ShowInkQueryResult(HWND dialog, const InkColorDialogRecord& record);
void InkColorEnableRules(HWND dialog, const InkColorDialogRecord& record);
