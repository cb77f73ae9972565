// User interface, headless. Message boxes are recorded and answered from a
// script that tests fill (plat::ui).
#pragma once

#include <string>
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
}

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
}  // namespace plat::ui
