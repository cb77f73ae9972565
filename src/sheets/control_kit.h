// The small kit every page and dialog of the sheets works its controls with:
// enabling and showing, check boxes, combo boxes, up-down controls, resource
// strings and images, list moves, range labels, fixed-point number fields,
// the typed-character filter, and the USB destination check.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>

#include "plat/base.h"
#include "plat/dialog.h"
#include "sheets/sheet_state.h"

// Resource strings read by the kit are at most 255 characters.
inline constexpr int kKitTextUnits = 256;
// Fixed-point edits are read up to 63 characters.
inline constexpr int kFixedPointTextUnits = 64;

// A dialog keeps the record it was opened with in DWLP_USER from WM_INITDIALOG on.
template <typename Record>
Record* AdoptDialogRecord(HWND dialog, LPARAM lParam) {
  SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  return reinterpret_cast<Record*>(lParam);
}
template <typename Record>
Record* DialogRecord(HWND dialog) {
  return reinterpret_cast<Record*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

void SetTextFromResource(HMODULE module, HWND window, UINT stringId);
void EnableItem(HWND dialog, int id);
void DisableItem(HWND dialog, int id);
void ShowItem(HWND dialog, int id);
void HideItem(HWND dialog, int id);
// A tri-state availability: 0 shown disabled, 1 shown enabled, 2 hidden.
void ApplyAvailability(HWND dialog, int id, std::uint8_t availability);
bool IsChecked(HWND dialog, int id);  // BST_CHECKED only
void SetCheck(HWND dialog, int id, std::uint8_t value);
int GetComboSel(HWND dialog, int id);
void SetComboSel(HWND dialog, int id, int index);
LPARAM GetComboItemData(HWND dialog, int id, int index);
void SetComboItemData(HWND dialog, int id, int index, LPARAM data);
struct SpinRange {
  std::int32_t Minimum;
  std::int32_t Maximum;
};
SpinRange GetSpinRange(HWND dialog, int id);
void SetSpinRange(HWND dialog, int id, std::int32_t minimum, std::int32_t maximum);
void SetSpinPos(HWND dialog, int id, std::int32_t position);
void LimitEditText(HWND dialog, int id, int characters);
void SetStaticIcon(HMODULE module, HWND dialog, int id, UINT iconId);
void SetStaticBitmap(HMODULE module, HWND dialog, int id, UINT bitmapId);
// The two above free the image they replace. These free the shown image and
// show none (a dialog's images go before the dialog does).
void ClearStaticIcon(HWND dialog, int id);
void ClearStaticBitmap(HWND dialog, int id);
// PSM_CHANGED to the sheet that holds the page.
void NotifySheetChanged(HWND page);
// The answer to WM_CTLCOLORSTATIC for a result text shown on white: the white
// stock brush (and a white text background) for control id, else 0 (unhandled).
INT_PTR WhiteTextBackground(HWND dialog, int id, WPARAM wParam, LPARAM lParam);
void AddResourceString(HMODULE module, HWND dialog, int id, UINT stringId);
void AddResourceStrings(HMODULE module, HWND dialog, int id, const UINT* stringIds, int count);
// Moves a list-box item; buffer (capacity units) receives its text on the way.
void MoveListItem(HWND dialog, int id, int from, int to, WCHAR* buffer, int capacity);
// New width and height; the top-left corner stays.
void ResizeItem(HWND dialog, int id, int width, int height);
// format with one or (count 2) two %s inserts into buffer, cut to capacity.
void FormatWithInserts(WCHAR* buffer, int capacity, const WCHAR* format, int count, const WCHAR* a, const WCHAR* b);
void FormatItemText(HWND dialog, int id, int count, const WCHAR* a, const WCHAR* b);
// Text of the selected combo item: 0 when nothing is selected or it does not
// fit with its terminator, else its length + 1.
int GetComboSelText(HWND dialog, int id, WCHAR* buffer, int capacity);
void* AllocBlock(std::size_t bytes);
void FreeBlock(void*& block);

// Limits *value to minimum..maximum; 1 when it changed, else 0.
int ClampToRange(std::int32_t* value, std::int32_t minimum, std::int32_t maximum);
// Reads a fixed-point edit (value x 10^digits, digits 0-9) clamped to its
// up-down's range; non-zero when the edit's text must be rewritten. A text
// other than [-]digits[.digits] reads its valid prefix; numbers beyond 64 bits saturate.
int ParseFixedPointEdit(HWND dialog, int editId, int spinId, int digits, std::int32_t* value);
// value / 10^digits with exactly digits decimals ("-0.50" for -50, 2 digits), cut to capacity.
void FormatFixedPoint(std::int32_t value, int digits, WCHAR* buffer, int capacity);
void SetFixedPointEdit(HWND dialog, int editId, int spinId, int digits, std::int32_t value);
// Removes leading and trailing U+0020 in place; returns text.
WCHAR* TrimSpaces(WCHAR* text);
void UpdateAddButton(HWND dialog, int maximumCount, int buttonId, int editId, int listId);

// Character filter flags of EditCharFilter.
inline constexpr int kFilterDigits = 1, kFilterPoint = 2, kFilterMinus = 4, kFilterName = 8;
// Removes characters the field does not take; 1 (or -1 without memory).
int EditCharFilter(HWND dialog, int editId, int flags);

struct DocSheetContext;
// 0 keeps the user on the page: the USB destination is not usable.
int ValidateUsbOutput(HWND page, DocSheetContext& context, SheetState& state);

// A group of controls by its availability byte: 2 hides them; otherwise they
// are shown, and enabled when the byte is 1 and enabled is true.
void SetGroupState(HWND dialog, std::uint8_t availability, bool enabled, std::initializer_list<int> ids);
// Shows the control when shown is true, else hides it.
void ShowItemIf(HWND dialog, int id, bool shown);
// A combo's CBN_SELCHANGE into field (the selection) or a check box's
// BN_CLICKED into field (1 checked, 0 not); true when field changed.
bool TakeComboSelection(HWND dialog, int id, WORD code, std::uint8_t& field);
bool TakeCheck(HWND dialog, int id, WORD code, std::uint8_t& field);
