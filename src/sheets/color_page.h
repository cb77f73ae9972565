// The colour page (template 2002: one or two inks, the inks of one-ink
// printing and of each drum, master making, the separation kind and the
// printer's drum information) and the separation list dialog (template 1996).
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

INT_PTR CALLBACK ColorPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// The DialogBoxParamW result (1 = OK); writes the two separation modes on OK.
INT_PTR SeparationDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK SeparationDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// One row of a separation mode combo: its string and its mode (item data).
struct SeparationRow {
  UINT StringId;
  std::uint8_t Mode;
};
extern const SeparationRow kFirstSeparationRows[14];
extern const SeparationRow kSecondSeparationRows[18];

// The separation picture: 456 for an image separation (second mode 8 or
// more), else 435.
inline constexpr UINT kImageSeparationBitmap = 456, kPlainSeparationBitmap = 435;
UINT SeparationBitmap(std::uint8_t secondMode);
// On the pages only with two inks and master making 2.
UINT PageSeparationBitmap(const SheetState& state);

// The ink colour icon of an InkCode; 0 for a code outside the selectable list.
UINT InkIconId(int code);
// The position of the row whose mode is mode in the rows, or -1.
int SeparationRowOf(const SeparationRow* rows, int count, int mode);
