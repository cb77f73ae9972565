// The basic page (template 2008) and the layout page (template 2001) of the
// document sheet, and the two dialogs they open: the free paper size (1994)
// and the image position (993, 994).
#pragma once

#include <cstdint>

#include "plat/dialog.h"
#include "sheets/sheet_state.h"

// Strings of the duplex combo 3288 for Duplex 0, 1, 2.
extern const UINT kDuplexStrings[3];
// Output mode combo 2075: a row is listed when its bit is in OutputModeMask.
struct OutputModeRow {
  UINT StringId;
  std::uint8_t Bit;
  std::uint8_t Value;
};
extern const OutputModeRow kOutputModeRows[5];
extern const UINT kRenzokuStrings[4];
// Icon per ColorIdList entry.
extern const UINT kInkIcons[kColorIdCount];
// The icon of an ink code; 0 for a code not in the list.
UINT InkIconFor(InkCode code);

INT_PTR CALLBACK BasicPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK LayoutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// Modal; both return the DialogBoxParamW result and store back only on OK.
INT_PTR FreePaperSizeDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK FreePaperSizeDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ImagePositionDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK ImagePositionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
