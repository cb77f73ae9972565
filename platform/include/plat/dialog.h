// Headless dialogs: a dialog window holding controls addressed by id
// (buttons, edits, static texts, combo boxes), the window calls product code
// makes on them, and user actions for tests that drive a dialog as a user
// would. Nothing is drawn; windows are in-memory objects.
#pragma once

#include <initializer_list>
#include <string>

#include "plat/base.h"

// Window messages.
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;

// Combo-box messages and answers.
constexpr UINT CB_GETEDITSEL = 0x0140;
constexpr UINT CB_LIMITTEXT = 0x0141;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_DELETESTRING = 0x0144;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_INSERTSTRING = 0x014A;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SELECTSTRING = 0x014D;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_OKAY = 0;
constexpr LRESULT CB_ERR = -1;
constexpr LRESULT CB_ERRSPACE = -2;

// Notification codes carried in the high word of WM_COMMAND's wParam.
constexpr WORD BN_CLICKED = 0;
constexpr WORD CBN_SELCHANGE = 1;

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND = 1421;

using DLGPROC = INT_PTR(CALLBACK*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

extern "C" {
// The control with this id in the dialog; NULL with ERROR_CONTROL_ID_NOT_FOUND
// (or ERROR_INVALID_WINDOW_HANDLE for a dialog that does not exist).
PLATAPI HWND GetDlgItem(HWND dialog, int id);
PLATAPI int GetDlgCtrlID(HWND window);
PLATAPI HWND GetParent(HWND window);
PLATAPI BOOL IsWindow(HWND window);
// Messages to a control are answered by the control; messages to a dialog go
// to its dialog procedure (0 without one). An unknown window answers 0.
PLATAPI LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLATAPI LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
// Returns nonzero when the window was disabled before the call.
PLATAPI BOOL EnableWindow(HWND window, BOOL enable);
PLATAPI BOOL IsWindowEnabled(HWND window);
PLATAPI BOOL SetWindowTextW(HWND window, LPCWSTR text);
// Copies at most size - 1 units and terminates; returns the units copied.
PLATAPI int GetWindowTextW(HWND window, LPWSTR buffer, int size);
PLATAPI int GetWindowTextLengthW(HWND window);
PLATAPI BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
PLATAPI UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size);
// Destroys a dialog with its controls (or one control).
PLATAPI BOOL DestroyWindow(HWND window);
}

namespace plat {
enum class ControlKind { Button, Edit, Static, ComboBox };

struct DialogItem {
  int id;
  ControlKind kind;
  std::u16string text;
  bool enabled = true;
};

// Creates a dialog with the given controls. With a procedure, it receives
// WM_INITDIALOG with initParam before the call returns.
PLATAPI HWND CreateHeadlessDialog(std::initializer_list<DialogItem> items, DLGPROC proc = nullptr,
                                  LPARAM initParam = 0);

// What a user can do. Each fails (false) when the control or its dialog is
// disabled or the choice does not exist; otherwise the dialog procedure gets
// the WM_COMMAND notification the control would send.
PLATAPI bool UserSelectComboItem(HWND combo, int index);
PLATAPI bool UserClickButton(HWND button);

// Windows alive in the process (tests check for leaks).
PLATAPI std::size_t LiveWindowCount();
}  // namespace plat
