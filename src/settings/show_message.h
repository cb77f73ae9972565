// The message box of the printer interface library: caption and text are
// string ids of the drivers' resource library.
#pragma once

#include "plat/base.h"
#include "settings/model_caps.h"

// Text (at most 512 characters) and caption (at most 128) from module; insert
// code 1, 2 or 4 formats the text with a; a and b; a, b and c (%s inserts);
// any other code shows it unchanged. A resource library whose language number
// (string 800) is 23 reads right to left. Returns MessageBoxW's answer. The
// plug-in generation shows a message without owner in the active console
// session (WTSSendMessageW, waiting for the answer).
int ShowMessage(HMODULE module, HWND owner, UINT captionId, UINT textId, UINT style, int insertCode = 0,
                const WCHAR* a = nullptr, const WCHAR* b = nullptr, const WCHAR* c = nullptr,
                Generation generation = Generation::Classic);

// String 800 of the resource library as a decimal number; 0 when missing.
int GetLanguageNumber(HMODULE module);
