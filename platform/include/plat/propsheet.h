// Property sheets, headless: pages made from resource templates, the sheet
// frame and its page protocol, the common property-sheet UI (CPSUI) that
// printer drivers plug into, and the spooler's document- and
// printer-properties calls that load a printer's config-file library.
//
// Sheet protocol:
// - A page's dialog is created when its tab is first shown; WM_INITDIALOG's
//   lParam is the sheet's copy of the page record.
// - A tab change sends PSN_KILLACTIVE to the current page (DWLP_MSGRESULT TRUE
//   keeps it), then PSN_SETACTIVE to the new one.
// - OK sends PSN_KILLACTIVE, then PSN_APPLY (lParam TRUE) to each created page
//   in tab order, and closes. Apply does the same (lParam FALSE) after
//   PSM_CHANGED, without closing.
// - Cancel sends PSN_RESET to each created page, then SET_RESULT with
//   CPSUI_CANCEL. DESTROY comes last, after the pages are gone.
#pragma once

#include <cstddef>

#include "plat/base.h"
#include "plat/dialog.h"
#include "plat/spooler.h"

struct _PSP;
using HPROPSHEETPAGE = _PSP*;
struct PROPSHEETPAGEW;
using LPFNPSPCALLBACKW = UINT(CALLBACK*)(HWND window, UINT message, PROPSHEETPAGEW* page);

struct PROPSHEETPAGEW {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  LPCWSTR pszTemplate;  // MAKEINTRESOURCEW(id)
  HICON hIcon;
  LPCWSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKW pfnCallback;
  UINT* pcRefParent;
  LPCWSTR pszHeaderTitle;  // version 2 ends here
  LPCWSTR pszHeaderSubTitle;
  HANDLE hActCtx;       // version 3
  HANDLE hbmHeader;     // version 4
};
using LPPROPSHEETPAGEW = PROPSHEETPAGEW*;
using LPCPROPSHEETPAGEW = const PROPSHEETPAGEW*;
constexpr DWORD PROPSHEETPAGEW_V1_SIZE = offsetof(PROPSHEETPAGEW, pszHeaderTitle);
constexpr DWORD PROPSHEETPAGEW_V2_SIZE = offsetof(PROPSHEETPAGEW, hActCtx);
constexpr DWORD PROPSHEETPAGEW_V3_SIZE = offsetof(PROPSHEETPAGEW, hbmHeader);
constexpr DWORD PROPSHEETPAGEW_V4_SIZE = sizeof(PROPSHEETPAGEW);
static_assert(sizeof(void*) != 8 || (PROPSHEETPAGEW_V1_SIZE == 72 && PROPSHEETPAGEW_V2_SIZE == 88 &&
                                     PROPSHEETPAGEW_V4_SIZE == 104));
constexpr DWORD PSP_DEFAULT = 0x0000;

struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
};
constexpr UINT PSN_FIRST = static_cast<UINT>(-200);
constexpr UINT PSN_SETACTIVE = PSN_FIRST - 0;
constexpr UINT PSN_KILLACTIVE = PSN_FIRST - 1;
constexpr UINT PSN_APPLY = PSN_FIRST - 2;
constexpr UINT PSN_RESET = PSN_FIRST - 3;
constexpr LONG_PTR PSNRET_NOERROR = 0;
constexpr LONG_PTR PSNRET_INVALID = 1;
constexpr LONG_PTR PSNRET_INVALID_NOCHANGEPAGE = 2;

constexpr UINT PSM_SETCURSEL = WM_USER + 101;  // wParam tab index
constexpr UINT PSM_CHANGED = WM_USER + 104;    // wParam the page
constexpr UINT PSM_UNCHANGED = WM_USER + 109;
constexpr UINT PSM_PRESSBUTTON = WM_USER + 113;
constexpr UINT PSM_GETCURRENTPAGEHWND = WM_USER + 118;
constexpr WPARAM PSBTN_OK = 3;
constexpr WPARAM PSBTN_APPLYNOW = 4;
constexpr WPARAM PSBTN_CANCEL = 5;
// The sheet's Apply button.
constexpr int kApplyButton = 0x3021;

// Common property-sheet UI.
struct PROPSHEETUI_INFO;
using PFNCOMPROPSHEET = LONG_PTR(CALLBACK*)(HANDLE hComPropSheet, UINT function, LPARAM lParam1, LPARAM lParam2);
using PFNPROPSHEETUI = LONG(CALLBACK*)(PROPSHEETUI_INFO* info, LPARAM lParam);
struct PROPSHEETUI_INFO {
  WORD cbSize;
  WORD Version;
  WORD Flags;
  WORD Reason;
  HANDLE hComPropSheet;
  PFNCOMPROPSHEET pfnComPropSheet;
  LPARAM lParamInit;
  ULONG_PTR UserData;
  ULONG_PTR Result;
};
constexpr WORD PROPSHEETUI_INFO_VERSION = 0x0100;
constexpr WORD PROPSHEETUI_REASON_INIT = 0;
constexpr WORD PROPSHEETUI_REASON_GET_INFO_HEADER = 1;
constexpr WORD PROPSHEETUI_REASON_DESTROY = 2;
constexpr WORD PROPSHEETUI_REASON_SET_RESULT = 3;
constexpr WORD PROPSHEETUI_REASON_GET_ICON = 4;

struct PROPSHEETUI_INFO_HEADER {
  WORD cbSize;
  WORD Flags;
  LPCWSTR pTitle;
  HWND hWndParent;
  HINSTANCE hInst;
  ULONG_PTR IconID;
};

struct SETRESULT_INFO {
  WORD cbSize;
  WORD wReserved;
  HANDLE hSetResult;
  LRESULT Result;
};

constexpr UINT CPSFUNC_ADD_HPROPSHEETPAGE = 0;
// lParam1 a PFNPROPSHEETUI, lParam2 its lParamInit: the child gets INIT at
// once (its handle, or 0 when it answered <= 0), then SET_RESULT before the
// sheet's own callback, and DESTROY before it.
constexpr UINT CPSFUNC_ADD_PFNPROPSHEETUIW = 5;
constexpr UINT CPSFUNC_SET_RESULT = 9;
constexpr LONG CPSUI_CANCEL = 0;
constexpr LONG CPSUI_OK = 1;
constexpr LONG ERR_CPSUI_GETLASTERROR = -1;

// Document and device properties.
constexpr DWORD DM_UPDATE = 1;
constexpr DWORD DM_COPY = 2;
constexpr DWORD DM_PROMPT = 4;
constexpr DWORD DM_MODIFY = 8;
constexpr DWORD DM_OUT_BUFFER = DM_COPY;
constexpr DWORD DM_IN_PROMPT = DM_PROMPT;
constexpr DWORD DM_IN_BUFFER = DM_MODIFY;
constexpr DWORD DM_USER_DEFAULT = 0x40;
constexpr DWORD DM_NOPERMISSION = 0x80;

struct DOCUMENTPROPERTYHEADER {
  WORD cbSize;
  WORD Reserved;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
  DEVMODEW* pdmIn;
  DEVMODEW* pdmOut;
  DWORD cbOut;
  DWORD fMode;
};
struct DEVICEPROPERTYHEADER {
  WORD cbSize;
  WORD Flags;
  HANDLE hPrinter;
  LPWSTR pszPrinterName;
};
constexpr WORD DPS_NOPERMISSION = 0x0001;
static_assert(sizeof(void*) != 8 || (sizeof(DOCUMENTPROPERTYHEADER) == 48 && sizeof(DEVICEPROPERTYHEADER) == 24 &&
                                     sizeof(SETRESULT_INFO) == 24 && sizeof(PROPSHEETUI_INFO) == 48));

extern "C" {
// Copies the record (dwSize bytes, from version 1 to 4). NULL with
// ERROR_INVALID_PARAMETER for another size.
PLATAPI HPROPSHEETPAGE CreatePropertySheetPageW(LPCPROPSHEETPAGEW page);
// For a page never added to a sheet (a sheet destroys its own pages).
PLATAPI BOOL DestroyPropertySheetPage(HPROPSHEETPAGE page);

// Runs a sheet: INIT (lParam = lParam), GET_INFO_HEADER, the modal loop, then
// DESTROY. Returns CPSUI_OK or CPSUI_CANCEL (also in *result), or
// ERR_CPSUI_GETLASTERROR when INIT failed.
PLATAPI LONG CommonPropertySheetUIW(HWND parent, PFNPROPSHEETUI callback, LPARAM lParam, LPDWORD result);

// Loads the printer's config-file library. With DM_IN_PROMPT the document sheet
// runs (IDOK or IDCANCEL); otherwise the driver's answer to the call without
// UI (the size needed for fMode 0). -1 when the library cannot be used.
PLATAPI LONG DocumentPropertiesW(HWND parent, HANDLE printer, LPWSTR deviceName, DEVMODEW* out, DEVMODEW* in,
                                 DWORD mode);
// The device sheet; TRUE when it closed with OK.
PLATAPI BOOL PrinterPropertiesW(HWND parent, HANDLE printer);

}

namespace plat {
// Page records and sheets alive (leak checks).
PLATAPI std::size_t LivePageCount();
PLATAPI std::size_t LiveSheetCount();
}  // namespace plat
