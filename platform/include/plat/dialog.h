// Headless windows and dialogs: top-level dialogs made from resource
// templates (or built in code), the common controls they hold, and the
// notifications those controls send, in the order the platform sends them.
// Nothing is drawn; windows are in-memory objects with a class, id, style,
// text, rectangle, enabled state, visibility and focus.
//
// Notification order (what product code may rely on):
// - WM_SETTEXT on an edit, and each typed character, send EN_UPDATE then
//   EN_CHANGE. ES_NUMBER and the text limit apply to typing only.
// - Setting a value by message (CB_SETCURSEL, BM_SETCHECK, UDM_SETPOS32,
//   TBM_SETPOS, IPM_SETADDRESS, LB_SETCURSEL) sends nothing.
// - Picking a combo item sends CBN_SELENDOK, CBN_CLOSEUP, then CBN_SELCHANGE,
//   even when the item was already selected.
// - A click first moves the focus (EN_KILLFOCUS of an edit that had it), then
//   BN_CLICKED follows. Enter presses the default button without moving the focus.
// - An up-down click sends UDN_DELTAPOS and then, unless that was cancelled
//   (non-zero answer), WM_VSCROLL (WM_HSCROLL with UDS_HORZ).
// - Mouse messages over a static without SS_NOTIFY, or over a group box, go
//   to the dialog.
// SendMessageW is re-entrant: notifications are sent synchronously and nest.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/ui.h"

// Window messages.
constexpr UINT WM_CREATE = 0x0001;
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETFOCUS = 0x0007;
constexpr UINT WM_KILLFOCUS = 0x0008;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_PAINT = 0x000F;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_SETCURSOR = 0x0020;
constexpr UINT WM_DRAWITEM = 0x002B;
constexpr UINT WM_MEASUREITEM = 0x002C;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_HSCROLL = 0x0114;
constexpr UINT WM_VSCROLL = 0x0115;
constexpr UINT WM_CTLCOLORSTATIC = 0x0138;
constexpr UINT WM_CTLCOLORLISTBOX = 0x0134;
constexpr UINT WM_MOUSEMOVE = 0x0200;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_LBUTTONUP = 0x0202;
constexpr UINT WM_USER = 0x0400;
constexpr UINT DM_GETDEFID = WM_USER + 0;
constexpr UINT DM_SETDEFID = WM_USER + 1;
constexpr WORD DC_HASDEFID = 0x534B;
constexpr WPARAM MK_LBUTTON = 0x0001;
constexpr WORD HTCLIENT = 1;

// Window styles.
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_SYSMENU = 0x00080000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD DS_SETFONT = 0x0040;
constexpr DWORD DS_MODALFRAME = 0x0080;
constexpr DWORD DS_CONTROL = 0x0400;
// Buttons.
constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_CHECKBOX = 0x2;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_RADIOBUTTON = 0x4;
constexpr DWORD BS_3STATE = 0x5;
constexpr DWORD BS_AUTO3STATE = 0x6;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_OWNERDRAW = 0xB;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD BS_ICON = 0x40;
constexpr DWORD BS_BITMAP = 0x80;
constexpr DWORD BS_NOTIFY = 0x4000;
// Edits.
constexpr DWORD ES_LEFT = 0x0;
constexpr DWORD ES_CENTER = 0x1;
constexpr DWORD ES_RIGHT = 0x2;
constexpr DWORD ES_MULTILINE = 0x4;
constexpr DWORD ES_PASSWORD = 0x20;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_READONLY = 0x800;
constexpr DWORD ES_NUMBER = 0x2000;
// Statics.
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_RIGHT = 0x2;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD SS_OWNERDRAW = 0xD;
constexpr DWORD SS_BITMAP = 0xE;
constexpr DWORD SS_ETCHEDHORZ = 0x10;
constexpr DWORD SS_TYPEMASK = 0x1F;
constexpr DWORD SS_NOTIFY = 0x100;
constexpr DWORD SS_CENTERIMAGE = 0x200;
constexpr DWORD SS_REALSIZEIMAGE = 0x800;
constexpr DWORD SS_SUNKEN = 0x1000;
// Combo boxes and list boxes.
constexpr DWORD CBS_SIMPLE = 0x1;
constexpr DWORD CBS_DROPDOWN = 0x2;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD CBS_OWNERDRAWFIXED = 0x10;
constexpr DWORD CBS_OWNERDRAWVARIABLE = 0x20;
constexpr DWORD CBS_AUTOHSCROLL = 0x40;
constexpr DWORD CBS_SORT = 0x100;
constexpr DWORD CBS_HASSTRINGS = 0x200;
constexpr DWORD LBS_NOTIFY = 0x1;
constexpr DWORD LBS_SORT = 0x2;
constexpr DWORD LBS_MULTIPLESEL = 0x8;
constexpr DWORD LBS_HASSTRINGS = 0x40;
constexpr DWORD LBS_EXTENDEDSEL = 0x800;
// Up-down controls and trackbars.
constexpr DWORD UDS_WRAP = 0x1;
constexpr DWORD UDS_SETBUDDYINT = 0x2;
constexpr DWORD UDS_ALIGNRIGHT = 0x4;
constexpr DWORD UDS_ALIGNLEFT = 0x8;
constexpr DWORD UDS_AUTOBUDDY = 0x10;
constexpr DWORD UDS_ARROWKEYS = 0x20;
constexpr DWORD UDS_HORZ = 0x40;
constexpr DWORD UDS_NOTHOUSANDS = 0x80;
constexpr DWORD TBS_AUTOTICKS = 0x1;
constexpr DWORD TBS_VERT = 0x2;
constexpr DWORD TBS_BOTH = 0x8;
constexpr DWORD TBS_NOTICKS = 0x10;

// Control class names.
inline constexpr char16_t WC_BUTTON[] = u"Button";
inline constexpr char16_t WC_EDIT[] = u"Edit";
inline constexpr char16_t WC_STATIC[] = u"Static";
inline constexpr char16_t WC_COMBOBOX[] = u"ComboBox";
inline constexpr char16_t WC_LISTBOX[] = u"ListBox";
inline constexpr char16_t UPDOWN_CLASS[] = u"msctls_updown32";
inline constexpr char16_t TRACKBAR_CLASS[] = u"msctls_trackbar32";
inline constexpr char16_t WC_IPADDRESS[] = u"SysIPAddress32";
inline constexpr char16_t WC_DIALOG[] = u"#32770";

// Buttons.
constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT BM_GETSTATE = 0x00F2;
constexpr UINT BM_SETSTYLE = 0x00F4;
constexpr UINT BM_CLICK = 0x00F5;
constexpr UINT BM_GETIMAGE = 0x00F6;
constexpr UINT BM_SETIMAGE = 0x00F7;
constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr WPARAM BST_INDETERMINATE = 2;
// Edits.
constexpr UINT EM_GETSEL = 0x00B0;
constexpr UINT EM_SETSEL = 0x00B1;
constexpr UINT EM_REPLACESEL = 0x00C2;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT EM_GETLIMITTEXT = 0x00D5;
// Statics.
constexpr UINT STM_SETICON = 0x0170;
constexpr UINT STM_GETICON = 0x0171;
constexpr UINT STM_SETIMAGE = 0x0172;
constexpr UINT STM_GETIMAGE = 0x0173;
constexpr WPARAM IMAGE_BITMAP = 0;
constexpr WPARAM IMAGE_ICON = 1;
constexpr WPARAM IMAGE_CURSOR = 2;

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
constexpr UINT CB_SHOWDROPDOWN = 0x014F;
constexpr UINT CB_GETITEMDATA = 0x0150;
constexpr UINT CB_SETITEMDATA = 0x0151;
constexpr UINT CB_SETITEMHEIGHT = 0x0153;
constexpr UINT CB_GETITEMHEIGHT = 0x0154;
constexpr UINT CB_GETDROPPEDSTATE = 0x0157;
constexpr UINT CB_FINDSTRINGEXACT = 0x0158;
constexpr LRESULT CB_OKAY = 0;
constexpr LRESULT CB_ERR = -1;
constexpr LRESULT CB_ERRSPACE = -2;

// List-box messages.
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_FINDSTRING = 0x018F;
constexpr UINT LB_GETSELCOUNT = 0x0190;
constexpr UINT LB_GETSELITEMS = 0x0191;
constexpr UINT LB_GETITEMDATA = 0x0199;
constexpr UINT LB_SETITEMDATA = 0x019A;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr LRESULT LB_OKAY = 0;
constexpr LRESULT LB_ERR = -1;

// Up-down, trackbar and IP address messages.
constexpr UINT UDM_SETBUDDY = WM_USER + 105;
constexpr UINT UDM_GETBUDDY = WM_USER + 106;
constexpr UINT UDM_SETRANGE32 = WM_USER + 111;
constexpr UINT UDM_GETRANGE32 = WM_USER + 112;  // wParam int* low, lParam int* high
constexpr UINT UDM_SETPOS32 = WM_USER + 113;    // returns the previous position
constexpr UINT UDM_GETPOS32 = WM_USER + 114;    // lParam BOOL* error (may be NULL)
constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;
constexpr UINT TBM_GETTIC = WM_USER + 3;  // wParam index of a mark set with TBM_SETTIC; -1 without
constexpr UINT TBM_SETTIC = WM_USER + 4;  // lParam position; FALSE outside the range
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;  // lParam MAKELONG(min, max)
constexpr UINT TBM_SETRANGEMIN = WM_USER + 7;
constexpr UINT TBM_SETRANGEMAX = WM_USER + 8;
constexpr UINT TBM_GETNUMTICS = WM_USER + 16;
constexpr UINT IPM_CLEARADDRESS = WM_USER + 100;
constexpr UINT IPM_SETADDRESS = WM_USER + 101;
constexpr UINT IPM_GETADDRESS = WM_USER + 102;  // returns the number of fields that are not blank
constexpr UINT IPM_ISBLANK = WM_USER + 105;
inline constexpr DWORD MAKEIPADDRESS(DWORD a, DWORD b, DWORD c, DWORD d) {
  return ((a & 0xFF) << 24) | ((b & 0xFF) << 16) | ((c & 0xFF) << 8) | (d & 0xFF);
}
// Scroll codes of WM_HSCROLL / WM_VSCROLL (low word; the position is the high word).
constexpr WORD SB_THUMBPOSITION = 4;
constexpr WORD SB_ENDSCROLL = 8;
constexpr WORD TB_THUMBPOSITION = 4;
constexpr WORD TB_ENDTRACK = 8;

// Notification codes carried in the high word of WM_COMMAND's wParam.
constexpr WORD BN_CLICKED = 0;
constexpr WORD BN_SETFOCUS = 6;
constexpr WORD BN_KILLFOCUS = 7;
constexpr WORD STN_CLICKED = 0;
constexpr WORD EN_SETFOCUS = 0x0100;
constexpr WORD EN_KILLFOCUS = 0x0200;
constexpr WORD EN_CHANGE = 0x0300;
constexpr WORD EN_UPDATE = 0x0400;
constexpr WORD EN_MAXTEXT = 0x0501;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD CBN_SETFOCUS = 3;
constexpr WORD CBN_KILLFOCUS = 4;
constexpr WORD CBN_DROPDOWN = 7;
constexpr WORD CBN_CLOSEUP = 8;
constexpr WORD CBN_SELENDOK = 9;
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD LBN_SELCANCEL = 3;
constexpr WORD LBN_SETFOCUS = 4;
constexpr WORD LBN_KILLFOCUS = 5;

// WM_NOTIFY.
struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};
using LPNMHDR = NMHDR*;
constexpr UINT UDN_DELTAPOS = static_cast<UINT>(-722);
struct NMUPDOWN {
  NMHDR hdr;
  int iPos;
  int iDelta;
};

// Window slots of a dialog (pointer-sized, in this order).
constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_DLGPROC = static_cast<int>(sizeof(LRESULT));
constexpr int DWLP_USER = DWLP_DLGPROC + static_cast<int>(sizeof(void*));
constexpr int GWLP_USERDATA = -21;
constexpr int GWL_STYLE = -16;
constexpr int GWL_ID = -12;
constexpr int GWLP_HINSTANCE = -6;
constexpr int GCLP_HCURSOR = -12;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

// Images (DIB sections, icons, cursors from the resource module).
struct HICON__;
using HICON = HICON__*;
using HCURSOR = HICON;
struct HBRUSH__;
using HBRUSH = HBRUSH__*;
using HGDIOBJ = void*;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_SHARED = 0x8000;
struct BITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
};
inline LPCWSTR MAKEINTRESOURCEW(UINT id) { return reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(id & 0xFFFF)); }
inline bool IS_INTRESOURCE(LPCWSTR name) { return (reinterpret_cast<ULONG_PTR>(name) >> 16) == 0; }

constexpr DWORD ERROR_INVALID_WINDOW_HANDLE = 1400;
constexpr DWORD ERROR_CONTROL_ID_NOT_FOUND = 1421;
constexpr DWORD ERROR_RESOURCE_NOT_FOUND_DIALOG = ERROR_RESOURCE_NAME_NOT_FOUND;

using DLGPROC = INT_PTR(CALLBACK*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

extern "C" {
// The control with this id in the dialog; NULL with ERROR_CONTROL_ID_NOT_FOUND
// (or ERROR_INVALID_WINDOW_HANDLE for a dialog that does not exist).
PLATAPI HWND GetDlgItem(HWND dialog, int id);
PLATAPI int GetDlgCtrlID(HWND window);
PLATAPI HWND GetParent(HWND window);
PLATAPI BOOL IsWindow(HWND window);
// Messages to a control are answered by the control; messages to a dialog go
// to its dialog procedure. A procedure that handles a message (returns
// non-zero) answers with its DWLP_MSGRESULT, except for WM_INITDIALOG,
// WM_CTLCOLORSTATIC, WM_CTLCOLORLISTBOX and WM_SETCURSOR, whose answer is the
// procedure's own. An unhandled WM_CLOSE becomes WM_COMMAND IDCANCEL. An
// unknown window answers 0.
PLATAPI LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
PLATAPI LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
// Returns nonzero when the window was disabled before the call.
PLATAPI BOOL EnableWindow(HWND window, BOOL enable);
PLATAPI BOOL IsWindowEnabled(HWND window);
// Returns nonzero when the window was visible before the call.
PLATAPI BOOL ShowWindow(HWND window, int command);
PLATAPI BOOL IsWindowVisible(HWND window);
PLATAPI BOOL SetWindowTextW(HWND window, LPCWSTR text);
// Copies at most size - 1 units and terminates; returns the units copied.
PLATAPI int GetWindowTextW(HWND window, LPWSTR buffer, int size);
PLATAPI int GetWindowTextLengthW(HWND window);
PLATAPI BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text);
PLATAPI UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size);
PLATAPI BOOL CheckDlgButton(HWND dialog, int id, UINT check);
PLATAPI UINT IsDlgButtonChecked(HWND dialog, int id);
// Rectangles: a child's is in its parent's client coordinates; a dialog's
// client area starts at its screen position.
PLATAPI BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
PLATAPI BOOL GetWindowRect(HWND window, RECT* rect);
PLATAPI BOOL GetClientRect(HWND window, RECT* rect);
PLATAPI BOOL ClientToScreen(HWND window, POINT* point);
PLATAPI BOOL ScreenToClient(HWND window, POINT* point);
// Dialog units to pixels (a dialog base unit of 6 x 13 pixels).
PLATAPI BOOL MapDialogRect(HWND dialog, RECT* rect);
// The focus moves at once: the old window's kill-focus notification, then the
// new one's set-focus notification. Returns the window that had the focus.
PLATAPI HWND SetFocus(HWND window);
PLATAPI HWND GetFocus();
// Counts the invalidation (there is no painting).
PLATAPI BOOL InvalidateRect(HWND window, const RECT* rect, BOOL erase);
PLATAPI LONG_PTR GetWindowLongPtrW(HWND window, int index);
PLATAPI LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
// Only GCLP_HCURSOR: the cursor of the window's class.
PLATAPI ULONG_PTR GetClassLongPtrW(HWND window, int index);
PLATAPI ULONG_PTR SetClassLongPtrW(HWND window, int index, LONG_PTR value);
PLATAPI HCURSOR SetCursor(HCURSOR cursor);
PLATAPI HCURSOR GetCursor();
// Destroys a window with its children; a dialog procedure receives WM_DESTROY.
PLATAPI BOOL DestroyWindow(HWND window);

// Dialogs from resource templates ([DIALOG id] of a resource module; the
// template name is MAKEINTRESOURCEW(id)). The procedure gets WM_INITDIALOG with
// initParam; when it answers non-zero the first tab stop gets the focus.
// CreateDialogParamW returns the dialog (NULL with the last error when the
// template is missing). DialogBoxParamW runs a modal loop: the scripted user
// (plat::ui) acts on the dialog until EndDialog; it returns EndDialog's result,
// or -1 when the dialog could not be made.
PLATAPI HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam);
PLATAPI INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc,
                                LPARAM initParam);
PLATAPI BOOL EndDialog(HWND dialog, INT_PTR result);

// Images of a resource module: bitmaps ([BITMAP], 24-bit BMP files) as DIB
// sections, icons and cursors ([ICON], [CURSOR], PNG files). NULL with
// ERROR_RESOURCE_NAME_NOT_FOUND for a missing id; for its file
// ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED (outside the module's folder) or
// ERROR_BAD_FORMAT (not a regular file, over 32 MiB, not the format). Released with DeleteObject, DestroyIcon, DestroyCursor.
PLATAPI HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int cx, int cy, UINT flags);
PLATAPI HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
PLATAPI HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name);
PLATAPI BOOL DestroyIcon(HICON icon);
PLATAPI BOOL DestroyCursor(HCURSOR cursor);
PLATAPI BOOL DeleteObject(HGDIOBJ object);
// BITMAP of a DIB section: returns the bytes written (sizeof(BITMAP)), 0 otherwise.
PLATAPI int GetObjectW(HGDIOBJ object, int size, LPVOID out);
}

// Painting: DCs on a window's pixels (a paint DC, or the DC of a
// WM_DRAWITEM, which covers the item) and memory DCs holding a bitmap. Every
// bitmap is 24-bit (blue, green, red; rows padded to 4 bytes). Every blit into
// a window's DC is also recorded (plat::Blits) with the source pixel at its
// top-left corner.
struct HDC__;
using HDC = HDC__*;
struct PAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
};
constexpr DWORD SRCCOPY = 0x00CC0020;
constexpr DWORD SRCAND = 0x008800C6;
constexpr DWORD SRCPAINT = 0x00EE0086;

// Colours are 0x00BBGGRR.
constexpr COLORREF RGB(BYTE r, BYTE g, BYTE b) {
  return static_cast<COLORREF>(r) | (static_cast<COLORREF>(g) << 8) | (static_cast<COLORREF>(b) << 16);
}
constexpr COLORREF CLR_INVALID = 0xFFFFFFFF;
constexpr BYTE GetRValue(COLORREF c) { return static_cast<BYTE>(c & 0xFF); }
constexpr BYTE GetGValue(COLORREF c) { return static_cast<BYTE>((c >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF c) { return static_cast<BYTE>((c >> 16) & 0xFF); }

// System colours (one fixed scheme) and their brushes: (HBRUSH)(index + 1).
constexpr int COLOR_WINDOW = 5;
constexpr int COLOR_WINDOWTEXT = 8;
constexpr int COLOR_HIGHLIGHT = 13;
constexpr int COLOR_HIGHLIGHTTEXT = 14;
constexpr int COLOR_BTNFACE = 15;
constexpr int COLOR_3DFACE = COLOR_BTNFACE;
constexpr int COLOR_BTNSHADOW = 16;
constexpr int COLOR_GRAYTEXT = 17;
constexpr int COLOR_BTNTEXT = 18;
constexpr int WHITE_BRUSH = 0;
constexpr int BLACK_BRUSH = 4;
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;

// DrawTextW formats.
constexpr UINT DT_LEFT = 0x0;
constexpr UINT DT_CENTER = 0x1;
constexpr UINT DT_RIGHT = 0x2;
constexpr UINT DT_VCENTER = 0x4;
constexpr UINT DT_BOTTOM = 0x8;
constexpr UINT DT_WORDBREAK = 0x10;
constexpr UINT DT_SINGLELINE = 0x20;
constexpr UINT DT_CALCRECT = 0x400;
constexpr UINT DT_NOPREFIX = 0x800;

// Device-independent bitmaps (24 bits, BI_RGB only).
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;  // negative: top-down rows
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
struct RGBQUAD {
  BYTE rgbBlue, rgbGreen, rgbRed, rgbReserved;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
};
struct DIBSECTION {
  BITMAP dsBm;
  BITMAPINFOHEADER dsBmih;
  DWORD dsBitfields[3];
  HANDLE dshSection;
  DWORD dsOffset;
};
constexpr DWORD BI_RGB = 0;
constexpr UINT DIB_RGB_COLORS = 0;

constexpr UINT WM_SETICON = 0x0080;
constexpr WPARAM ICON_SMALL = 0;
constexpr WPARAM ICON_BIG = 1;
constexpr UINT WM_APP = 0x8000;
constexpr UINT CB_GETTOPINDEX = 0x015B;

// Owner-drawn controls.
struct DRAWITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemAction;
  UINT itemState;
  HWND hwndItem;
  HDC hDC;
  RECT rcItem;
  ULONG_PTR itemData;
};
struct MEASUREITEMSTRUCT {
  UINT CtlType;
  UINT CtlID;
  UINT itemID;
  UINT itemWidth;
  UINT itemHeight;
  ULONG_PTR itemData;
};
constexpr UINT ODT_LISTBOX = 2;
constexpr UINT ODT_COMBOBOX = 3;
constexpr UINT ODT_STATIC = 5;
constexpr UINT ODS_DISABLED = 0x0004;
constexpr DWORD LBS_OWNERDRAWFIXED = 0x10;
constexpr DWORD LBS_OWNERDRAWVARIABLE = 0x20;
constexpr UINT ODA_DRAWENTIRE = 0x0001;
constexpr UINT ODS_SELECTED = 0x0001;
constexpr UINT ODS_FOCUS = 0x0010;
constexpr UINT ODS_COMBOBOXEDIT = 0x1000;

constexpr UINT SPI_GETWORKAREA = 0x0030;

extern "C" {
PLATAPI HDC BeginPaint(HWND window, PAINTSTRUCT* paint);
PLATAPI BOOL EndPaint(HWND window, const PAINTSTRUCT* paint);
PLATAPI HDC CreateCompatibleDC(HDC dc);
PLATAPI BOOL DeleteDC(HDC dc);
// Returns the object selected before (NULL the first time).
PLATAPI HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
// From a memory DC with a bitmap into a window's DC (recorded) or another memory DC.
PLATAPI BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                    DWORD rop);
// LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, 0).
// The bitmap as a GDI object (the engine has its own HBITMAP).
PLATAPI HGDIOBJ LoadBitmapW(HINSTANCE instance, LPCWSTR name);
// A zero-filled (black) bitmap; NULL for a size below 1 or above 16384.
PLATAPI HGDIOBJ CreateCompatibleBitmap(HDC dc, int width, int height);
// A 24-bit BI_RGB section; *bits receives its pixels. NULL for another format.
PLATAPI HGDIOBJ CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                                 DWORD offset);
// Stretches source to target (nearest neighbour), skipping source pixels of
// the key colour. FALSE when a DC has no pixels or a size is not positive.
PLATAPI BOOL TransparentBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                            int sourceWidth, int sourceHeight, UINT key);
PLATAPI int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
PLATAPI HBRUSH CreateSolidBrush(COLORREF colour);
PLATAPI HGDIOBJ GetStockObject(int index);
PLATAPI DWORD GetSysColor(int index);
PLATAPI HBRUSH GetSysColorBrush(int index);
// Both return the colour before; CLR_INVALID for a DC that does not exist.
PLATAPI COLORREF SetTextColor(HDC dc, COLORREF colour);
PLATAPI COLORREF SetBkColor(HDC dc, COLORREF colour);
PLATAPI int SetBkMode(HDC dc, int mode);
PLATAPI COLORREF GetBkColor(HDC dc);
PLATAPI COLORREF GetTextColor(HDC dc);
// One line (or, with DT_WORDBREAK, lines broken at spaces) of DejaVu Sans at
// 11 pixels, clipped to rect; the background is filled in OPAQUE mode. Returns
// the height of the text; DT_CALCRECT only measures into rect.
PLATAPI int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format);
// A DC on the window's pixels (its client area); ReleaseDC frees it.
PLATAPI HDC GetDC(HWND window);
PLATAPI int ReleaseDC(HWND window, HDC dc);
// SPI_GETWORKAREA: the desktop without the task bar (1920 x 1040).
PLATAPI BOOL SystemParametersInfoW(UINT action, UINT param, LPVOID out, UINT winIni);
}

namespace plat {
enum class ControlKind { Button, Edit, Static, ComboBox, ListBox, UpDown, Trackbar, IpAddress };

struct DialogItem {
  int id;
  ControlKind kind;
  std::u16string text;
  bool enabled = true;
  DWORD style = 0;  // added to the kind's usual style (a combo is a drop-down list)
  RECT rect{0, 0, 0, 0};
};

// Creates a dialog with the given controls. With a procedure, it receives
// WM_INITDIALOG with initParam before the call returns.
PLATAPI HWND CreateHeadlessDialog(std::initializer_list<DialogItem> items, DLGPROC proc = nullptr,
                                  LPARAM initParam = 0);

// Single notifications for tests of one routine: each fails (false) when the
// control or its dialog is disabled or the choice does not exist; otherwise the
// dialog gets only the WM_COMMAND the control would send last (CBN_SELCHANGE,
// BN_CLICKED). A whole user, with focus moves, is plat::ui::Screen.
PLATAPI bool UserSelectComboItem(HWND combo, int index);
PLATAPI bool UserClickButton(HWND button);

// Windows alive in the process (tests check for leaks).
PLATAPI std::size_t LiveWindowCount();
// Images (bitmaps, icons, cursors) alive in the process.
PLATAPI std::size_t LiveImageCount();
// Times InvalidateRect was called on the window.
PLATAPI int InvalidationCount(HWND window);
// Size of a loaded image, and a cursor's hot spot.
PLATAPI bool ImageInfo(HANDLE image, SIZE* size, POINT* hotSpot = nullptr);

// One blit into a window's DC: where, how, and the source's pixel at the
// top-left corner of what was copied (0xRRGGBB).
struct Blit {
  int x, y, width, height;
  DWORD rop;
  DWORD firstPixel;
};
PLATAPI std::vector<Blit> Blits(HWND window);
PLATAPI void ClearBlits();
// Paints a dialog as the screen would: WM_PAINT to the dialog, then
// WM_DRAWITEM for each visible owner-drawn static that was invalidated (or
// never painted), for the selection field of each visible owner-drawn combo
// box (and, while it is dropped down, for each of its items) and for the
// visible items of each owner-drawn list box.
PLATAPI void PaintWindow(HWND dialog);
// DCs alive in the process (leak checks).
PLATAPI std::size_t LiveDcCount();
// Bitmaps and brushes alive in the process (stock objects not counted).
PLATAPI std::size_t LiveGdiObjectCount();
}  // namespace plat

namespace plat::ui {
// Pixels, top-down rows of red, green, blue.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<BYTE> rgb;
  DWORD At(int x, int y) const {  // 0xRRGGBB
    const BYTE* p = &rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 3];
    return static_cast<DWORD>(p[0]) << 16 | static_cast<DWORD>(p[1]) << 8 | p[2];
  }
};
// A window's client pixels as last drawn; empty when nothing drew on it.
PLATAPI Picture Snapshot(HWND window);
// A dialog as the user sees it: each visible control as a box with its text
// and state, owner-drawn controls as their WM_DRAWITEM drew them, plain
// statics on the brush their dialog answers to WM_CTLCOLORSTATIC. A sheet's
// frame gives its tab strip over the current page.
PLATAPI Picture RenderWindow(HWND window);
// The owner-drawn statics of a dialog, in creation order.
PLATAPI std::vector<HWND> OwnerDrawnStatics(HWND dialog);
// False when the picture is empty or the file cannot be written.
PLATAPI bool WritePng(const Picture& picture, const std::string& path);
}  // namespace plat::ui
