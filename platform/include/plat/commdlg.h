// Common file dialogs, headless: GetOpenFileNameW and GetSaveFileNameW take
// their answers from a script (a Windows path, or cancel), as message boxes do,
// and every call is recorded.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plat/base.h"
#include "plat/dialog.h"

using LPOFNHOOKPROC = UINT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

// This platform's layout (88 bytes with 32-bit pointers).
struct OPENFILENAMEW {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCWSTR lpstrFilter;  // pairs of texts (shown name, patterns), ended by an empty text
  LPWSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPWSTR lpstrFile;  // in: the initial file name; out: the chosen path
  DWORD nMaxFile;    // units of lpstrFile, terminator included
  LPWSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCWSTR lpstrInitialDir;
  LPCWSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCWSTR lpstrDefExt;
  LPARAM lCustData;
  LPOFNHOOKPROC lpfnHook;
  LPCWSTR lpTemplateName;
  void* pvReserved;
  DWORD dwReserved;
  DWORD FlagsEx;
};
using LPOPENFILENAMEW = OPENFILENAMEW*;
static_assert(sizeof(void*) != 4 || sizeof(OPENFILENAMEW) == 88);
// The size of the older layout, without the last three fields.
constexpr DWORD OPENFILENAME_SIZE_VERSION_400W = offsetof(OPENFILENAMEW, pvReserved);

constexpr DWORD OFN_READONLY = 0x00000001;
constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_NOCHANGEDIR = 0x00000008;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;
constexpr DWORD OFN_CREATEPROMPT = 0x00002000;
constexpr DWORD OFN_NOREADONLYRETURN = 0x00008000;
constexpr DWORD OFN_EXPLORER = 0x00080000;
constexpr DWORD OFN_LONGNAMES = 0x00200000;

// CommDlgExtendedError codes.
constexpr DWORD CDERR_STRUCTSIZE = 0x0001;
constexpr DWORD CDERR_INITIALIZATION = 0x0002;
constexpr DWORD FNERR_INVALIDFILENAME = 0x3002;
constexpr DWORD FNERR_BUFFERTOOSMALL = 0x3003;

extern "C" {
// TRUE with the chosen path in lpstrFile; FALSE when the user cancelled
// (CommDlgExtendedError 0) or the call was wrong (its code). A name without an
// extension gets lpstrDefExt. OFN_FILEMUSTEXIST / OFN_PATHMUSTEXIST refuse a
// scripted path that does not exist (a script fault: recorded as a failure,
// the dialog cancelled). On save, OFN_OVERWRITEPROMPT asks through a message
// box when the file exists; any answer but IDYES takes the next scripted answer.
PLATAPI BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn);
PLATAPI BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn);
PLATAPI DWORD CommDlgExtendedError();
}

namespace plat::ui {
struct FileDialogCall {
  bool save = false;
  HWND owner = nullptr;
  std::u16string title;
  std::vector<std::pair<std::u16string, std::u16string>> filters;  // shown name, patterns
  std::u16string defaultExtension;
  DWORD flags = 0;
  std::u16string initialFile;
  std::optional<std::u16string> answer;  // the path returned; none when cancelled
};
// The next file dialog's answer: a Windows path, or std::nullopt to cancel.
// A dialog without a queued answer is cancelled and records a failure.
PLATAPI void QueueFileAnswer(std::optional<std::u16string> path);
PLATAPI std::vector<FileDialogCall> FileDialogLog();
// Clears the log and the queued answers (ResetScript does too).
PLATAPI void ResetFileDialogs();
}  // namespace plat::ui
