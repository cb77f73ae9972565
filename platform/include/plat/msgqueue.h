// Timers and posted messages of the headless windows, the progress bar and
// list-view controls.
//
// Each window belongs to the thread that made it. A modal loop runs that
// thread's posted messages and timers (WM_TIMER at the machine clock) while
// its scripted user waits, and after the user is done for as long as a timer
// runs, a message waits or a thread started by the program still runs. A
// dialog box made on any other thread than the process's first one runs by
// itself (no scripted user): it pumps until it ends.
#pragma once

#include <functional>

#include "plat/base.h"
#include "plat/dialog.h"

constexpr UINT WM_TIMER = 0x0113;
constexpr UINT WM_SYSCOMMAND = 0x0112;
constexpr WPARAM SC_CLOSE = 0xF060;

using TIMERPROC = void (*)(HWND, UINT, UINT_PTR, DWORD);

// Progress bar.
inline constexpr char16_t PROGRESS_CLASS[] = u"msctls_progress32";
constexpr UINT PBM_SETRANGE = WM_USER + 1;
constexpr UINT PBM_SETPOS = WM_USER + 2;
constexpr UINT PBM_GETPOS = WM_USER + 8;
constexpr UINT PBM_SETBARCOLOR = WM_USER + 9;

// List view (report style).
inline constexpr char16_t WC_LISTVIEW[] = u"SysListView32";
constexpr UINT LVM_FIRST = 0x1000;
constexpr UINT LVM_GETITEMCOUNT = LVM_FIRST + 4;
constexpr UINT LVM_DELETEALLITEMS = LVM_FIRST + 9;
constexpr UINT LVM_GETNEXTITEM = LVM_FIRST + 12;
constexpr UINT LVM_SETITEMSTATE = LVM_FIRST + 43;
constexpr UINT LVM_SETEXTENDEDLISTVIEWSTYLE = LVM_FIRST + 54;
constexpr UINT LVM_GETITEMW = LVM_FIRST + 75;
constexpr UINT LVM_SETITEMW = LVM_FIRST + 76;
constexpr UINT LVM_INSERTITEMW = LVM_FIRST + 77;
constexpr UINT LVM_INSERTCOLUMNW = LVM_FIRST + 97;
constexpr UINT LVM_GETITEMTEXTW = LVM_FIRST + 115;
constexpr UINT LVM_SETITEMTEXTW = LVM_FIRST + 116;
constexpr UINT LVIF_TEXT = 0x1;
constexpr UINT LVIF_STATE = 0x8;
constexpr UINT LVIS_FOCUSED = 0x1;
constexpr UINT LVIS_SELECTED = 0x2;
constexpr UINT LVNI_ALL = 0x0;
constexpr UINT LVNI_FOCUSED = 0x1;
constexpr UINT LVNI_SELECTED = 0x2;
constexpr UINT LVCF_FMT = 0x1;
constexpr UINT LVCF_WIDTH = 0x2;
constexpr UINT LVCF_TEXT = 0x4;
constexpr UINT LVCF_SUBITEM = 0x8;
constexpr DWORD LVS_REPORT = 0x1;
constexpr DWORD LVS_SINGLESEL = 0x4;
constexpr DWORD LVS_SHOWSELALWAYS = 0x8;
constexpr DWORD LVS_EX_FULLROWSELECT = 0x20;
constexpr UINT NM_CLICK = static_cast<UINT>(-2);
constexpr UINT LVN_ITEMCHANGED = static_cast<UINT>(-101);

struct LVCOLUMNW {
  UINT mask;
  int fmt;
  int cx;
  LPWSTR pszText;
  int cchTextMax;
  int iSubItem;
};
struct LVITEMW {
  UINT mask;
  int iItem;
  int iSubItem;
  UINT state;
  UINT stateMask;
  LPWSTR pszText;
  int cchTextMax;
  int iImage;
  LPARAM lParam;
};

constexpr DWORD ERROR_NOT_ENOUGH_QUOTA = 1816;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

extern "C" {
// A timer of the window: WM_TIMER (wParam id) every `elapse` ms of machine
// clock, from the loop of the window's thread. Returns the id; 0 for a
// window that does not exist. Setting an id again restarts it.
PLATAPI UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
PLATAPI BOOL KillTimer(HWND window, UINT_PTR id);
// Queues the message for the window's thread; FALSE for a window that does not exist.
PLATAPI BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// A top-level window with that caption (class: any when NULL); NULL when none.
PLATAPI HWND FindWindowW(LPCWSTR className, LPCWSTR caption);
PLATAPI void InitCommonControls();
// Waits for all (or any) of the threads and events; WAIT_OBJECT_0 (+ index
// for any), WAIT_TIMEOUT, or WAIT_FAILED.
PLATAPI DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
}

namespace plat::ui {
// Runs the calling thread's posted messages and timers until `done` says so
// or `machineMs` of machine clock have passed; true when done.
PLATAPI bool Pump(const std::function<bool()>& done, DWORD machineMs);
// Between idle polls the pump gives other threads real time (1 ms of host
// time). A single-threaded harness, whose machine clock alone must pass, sets
// a function that returns at once; nullptr puts the host pause back.
PLATAPI void SetPumpHostPause(void (*pause)());
// Text colour of a DC (CLR_INVALID for a DC that does not exist).
PLATAPI COLORREF TextColorOf(HDC dc);
// Live timers of the process (tests check that pages kill theirs).
PLATAPI std::size_t LiveTimerCount();
// A top-level window of the system with a caption, closed by IDCANCEL or
// SC_CLOSE (the new-hardware window of older systems).
PLATAPI HWND OpenSystemWindow(std::u16string_view caption, DLGPROC proc = nullptr);
}  // namespace plat::ui
