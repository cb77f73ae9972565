// User interface, headless: message boxes and the scripted user (plat::ui).
//
// Every modal loop (a property sheet, a dialog box, a message box) takes the
// next queued handler and calls it with a Screen of its window; the handler
// acts as a user would until the window closes. A dialog or sheet without a
// handler, or left open by its handler, ends with IDCANCEL (a sheet through
// its Cancel sequence) and records a failure; it never waits. A message box
// without a handler takes the next queued answer, else its default button.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

// MessageBoxW buttons.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_OKCANCEL = 0x00000001;
constexpr UINT MB_ABORTRETRYIGNORE = 0x00000002;
constexpr UINT MB_YESNOCANCEL = 0x00000003;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_RETRYCANCEL = 0x00000005;
constexpr UINT MB_CANCELTRYCONTINUE = 0x00000006;
constexpr UINT MB_TYPEMASK = 0x0000000F;
// Icons.
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONERROR = MB_ICONHAND;
constexpr UINT MB_ICONSTOP = MB_ICONHAND;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_ICONINFORMATION = MB_ICONASTERISK;
constexpr UINT MB_ICONMASK = 0x000000F0;
// Default button, modality and options.
constexpr UINT MB_DEFBUTTON1 = 0x00000000;
constexpr UINT MB_DEFBUTTON2 = 0x00000100;
constexpr UINT MB_DEFBUTTON3 = 0x00000200;
constexpr UINT MB_DEFMASK = 0x00000F00;
constexpr UINT MB_APPLMODAL = 0x00000000;
constexpr UINT MB_SYSTEMMODAL = 0x00001000;
constexpr UINT MB_TASKMODAL = 0x00002000;
constexpr UINT MB_SETFOREGROUND = 0x00010000;
constexpr UINT MB_TOPMOST = 0x00040000;
constexpr UINT MB_RIGHT = 0x00080000;
constexpr UINT MB_RTLREADING = 0x00100000;

// Answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;
constexpr int IDTRYAGAIN = 10;
constexpr int IDCONTINUE = 11;

extern "C" {
// Records the call and returns the next scripted answer; without one, the
// default button of the type (the first button unless MB_DEFBUTTON2/3 says
// otherwise: IDOK for MB_OK, IDYES for MB_YESNO). A NULL text is
// recorded as empty, a NULL caption as "Error" (what the platform shows).
PLATAPI int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Terminal services. The machine has one session, the active console's.
PLATAPI DWORD WTSGetActiveConsoleSessionId();
// A message box without owner in the session: title and text of the given
// byte lengths (each read up to its first zero unit), shown to the scripted
// user as MessageBoxW(NULL, ...). With wait, *response gets the button; without,
// IDASYNC. FALSE with ERROR_INVALID_PARAMETER for another session, a missing
// text or response, or an odd length.
PLATAPI BOOL WTSSendMessageW(HANDLE server, DWORD sessionId, LPWSTR title, DWORD titleLength, LPWSTR message,
                             DWORD messageLength, DWORD style, DWORD timeout, DWORD* response, BOOL wait);
}
inline constexpr HANDLE WTS_CURRENT_SERVER_HANDLE = nullptr;
inline constexpr DWORD IDASYNC = 32001;

// Device changes.
constexpr UINT WM_DEVICECHANGE = 0x0219;
constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;

namespace plat::ui {
struct MessageBoxCall {
  HWND owner = nullptr;
  std::u16string text;
  std::u16string caption;
  UINT type = 0;
  int answer = 0;
};
// Answers for the next message boxes, first in first out.
PLATAPI void QueueMessageBoxAnswer(int answer);
// Every message box shown since the last reset, oldest first.
PLATAPI std::vector<MessageBoxCall> MessageBoxLog();
// Clears the log and the queued answers.
PLATAPI void ResetMessageBoxes();

// Control ids of a message box's own window: its text, and one button per
// answer (IDOK, IDCANCEL, IDYES, ...).
constexpr int kMessageBoxText = 0xFFFF;

// What the user sees of one modal window, and what the user can do there.
// Actions return false (and record why in LastError) when the window is
// closed, the control is missing, disabled or hidden, or the choice does not
// exist. On a sheet, ids are looked up on the current page, then on the
// sheet's own buttons (IDOK, IDCANCEL, kApplyButton). After each action that
// leaves the window open, the page or dialog is painted (plat::PaintWindow).
class PLATAPI Screen {
 public:
  enum class Kind { Dialog, Sheet, MessageBox };
  Screen(Kind kind, HWND window, int templateId);

  Kind kind() const { return kind_; }
  HWND window() const { return window_; }
  int templateId() const { return templateId_; }
  bool IsOpen() const;
  std::u16string Caption() const;
  const std::string& LastError() const { return error_; }

  // Sheets: pages by tab index (0-based); the page window shown now.
  bool Tab(int index);
  int TabCount() const;
  // The template id of a tab's page (0 when it has none); -1 for no such tab.
  int TabTemplate(int index) const;
  int CurrentTab() const;
  HWND Page() const;

  bool Click(int id);
  bool Check(int id, bool on);  // clicks only when the state differs
  bool Choose(int id, int index);
  bool ChooseText(int id, std::u16string_view text);
  bool ChooseData(int id, LPARAM data);
  bool Type(int id, std::u16string_view text);  // select all, then type (nothing: delete)
  bool Leave();                                 // the focus moves to the next tab stop
  bool Enter();                                 // presses the default button
  bool Spin(int id, int clicks);                // up (positive) or down arrow clicks
  bool Slide(int id, int position);
  bool Select(int id, const std::vector<int>& indices);
  bool SetAddress(int id, std::u16string_view dotted);  // "a.b.c.d"; an empty part is blank
  bool MouseMove(int x, int y);                         // client coordinates of the page or dialog
  bool ClickOn(int x, int y);
  bool ClickOn(int id);  // the centre of a control
  bool Ok();
  bool Apply();
  bool Cancel();
  bool Close();

  HWND Item(int id) const;
  std::u16string Text(int id) const;
  bool Enabled(int id) const;
  bool Visible(int id) const;
  int Checked(int id) const;  // BST_*; -1 without such a control
  int Selection(int id) const;
  std::vector<int> Selections(int id) const;
  LPARAM ItemData(int id) const;  // of the selected item; -1 without one
  int ItemCount(int id) const;
  std::u16string ItemText(int id, int index) const;
  // A list view's column text (column 0 is the item's own).
  std::u16string ItemText(int id, int index, int column) const;
  // The user waits: the window's timers and posted messages run for that
  // long (machine clock), or until the window closes.
  bool Wait(DWORD machineMs);
  // Waits until the condition holds (false, recorded, when it never does).
  bool WaitFor(const std::function<bool()>& condition, DWORD machineMs);
  HANDLE Cursor() const;

 private:
  HWND Surface() const;  // the page of a sheet, else the window
  HWND Reach(int id);    // a control the user can act on, or nullptr with error_ set
  bool Fail(std::string why);
  bool Painted() const;  // paints what the action invalidated; true

  Kind kind_;
  HWND window_;
  int templateId_;
  std::string error_;
};

// WM_DEVICECHANGE to every open dialog (pages included), after a test has
// added or removed a drive; event is DBT_DEVICEARRIVAL or DBT_DEVICEREMOVECOMPLETE.
PLATAPI void BroadcastDeviceChange(WPARAM event);

using Handler = std::function<void(Screen&)>;
// Handlers for the next modal loops, first in first out.
PLATAPI void QueueHandler(Handler handler);
// Used by a modal loop when the queue is empty (a script that reads its steps
// as it goes); an empty function removes it.
PLATAPI void SetFallbackHandler(Handler handler);
PLATAPI std::size_t QueuedHandlerCount();
// Faults of scripted runs: loops without a handler, loops left open, failed
// actions. A hook (tests: ADD_FAILURE) sees each as it happens.
PLATAPI std::vector<std::string> Failures();
PLATAPI void SetFailureHook(std::function<void(const std::string&)> hook);
PLATAPI void RecordFailure(const std::string& what);
// A step of the scripted user that acts on the machine, not on a window
// (verb and the rest of the line); true when it was one and succeeded.
PLATAPI void SetScriptAction(std::function<bool(const std::string& verb, const std::string& rest)> action);
// Takes up a script's text (what PLAT_UI_SCRIPT holds) as the scripted
// user's steps, replacing those not yet taken, and makes that user the
// fallback handler. False, with the line and why in *fault, for a script
// that cannot be run; nothing is taken up then.
PLATAPI bool LoadScript(std::string_view text, std::string* fault);
// Clears handlers, the fallback, failures, the hook, the message boxes and
// what the modules above registered (the file dialogs).
PLATAPI void ResetScript();
// A module above this one that keeps scripted answers of its own (the file
// dialogs) has them cleared by every ResetScript.
PLATAPI void ClearWithScript(void (*clear)());
// The answer a scripted user names: IDOK, IDCANCEL, IDABORT, IDRETRY,
// IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE, the plain ok, cancel, yes,
// no, or a positive number; 0 for any other word.
PLATAPI int AnswerFromWord(std::string_view word);
}  // namespace plat::ui
