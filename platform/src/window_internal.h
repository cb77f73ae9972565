// Shared between the window, property-sheet and scripted-user parts of the platform.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "plat/dialog.h"
#include "plat/ui.h"

namespace plat::internal {

enum class WindowKind { Dialog, Button, Edit, Static, ComboBox, ListBox, UpDown, Trackbar, IpAddress, ListView, Progress, Other };

WindowKind KindOf(HWND window);
std::thread::id ThreadOf(HWND window);
// A top-level dialog with that caption, or NULL.
HWND FindTopLevel(std::u16string_view caption);
// Timers and posted messages (msgqueue.cpp): whether the calling thread's loop
// has something to wait for, and dropping a destroyed window's timers.
bool HasWorkForThisThread();
void ForgetWindow(HWND window);
DWORD StyleOf(HWND window);
int TemplateIdOf(HWND dialog);
bool IsEnded(HWND dialog);
INT_PTR EndResult(HWND dialog);
// Children of a window in creation (tab) order.
std::vector<HWND> ChildrenOf(HWND window);
// A dialog made in code: class #32770, the given caption and procedure; no WM_INITDIALOG.
HWND CreateBareDialog(HWND parent, std::u16string caption, DLGPROC proc, int templateId, bool child);
// A page of a sheet from its template (an empty page when the template is
// missing), with its procedure; WM_INITDIALOG is the caller's.
HWND CreatePageDialog(HINSTANCE instance, LPCWSTR templateName, HWND frame, DLGPROC proc);
// A control of a dialog; rect in pixels of the parent's client area.
HWND CreateControl(HWND parent, std::u16string_view className, int id, DWORD style, std::u16string text, RECT rect);
// The first child containing the client point that receives the mouse (a
// static without SS_NOTIFY and a group box do not), else the window itself.
HWND MouseTarget(HWND window, POINT client);

// Control actions of the scripted user. Each assumes a reachable control.
void UserFocus(HWND control);
void UserClick(HWND control);
bool UserChoose(HWND combo, int index);
bool UserType(HWND edit, std::u16string_view text);
void UserLeave(HWND dialog);
bool UserSpin(HWND updown, int clicks);
bool UserSlide(HWND trackbar, int position);
bool UserSelect(HWND list, const std::vector<int>& indices);
bool UserSetAddress(HWND ip, std::u16string_view dotted);
void UserMouseMove(HWND window, POINT client);
void UserMouseClick(HWND window, POINT client);

// True when the window was invalidated (or never painted) since the last call.
bool TakeInvalid(HWND window);
// Height of a combo box's selection field in pixels.
LONG ComboFieldHeight(HWND combo);
// Drops the pixels of a destroyed window.
void ForgetWindowPixels(HWND window);

// Runs one modal loop on the window: takes the next handler and calls it; a
// loop without a handler or left open records a failure and calls forceEnd.
void RunModalLoop(plat::ui::Screen::Kind kind, HWND window, int templateId, const std::function<void()>& forceEnd);

// One JSON line in the scripted user's log (PLAT_UI_LOG); nothing without one.
void UiLog(const std::string& line);

// Sheets (propsheet.cpp).
bool IsSheetFrame(HWND window);
int SheetPageCount(HWND frame);
int SheetCurrentIndex(HWND frame);
int SheetPageTemplate(HWND frame, int index);
// The caption of a tab's page template (empty without one).
std::u16string SheetPageCaption(HWND frame, int index);

}  // namespace plat::internal
