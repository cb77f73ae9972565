// The language page: setup's own dialog 111, one owner-drawn row per offered
// language, drawn with setup's bitmaps.
#pragma once

#include "installer/setup_context.h"

namespace installer {

constexpr int kLanguagePage = 111;
constexpr int kLanguageList = 1013;
constexpr int kQuitButton = 1011;
constexpr int kLanguageItemHeight = 19;

INT_PTR LanguagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
void InitLanguagePage(HWND page, SetupContext& ctx);
void FillLanguageCombo(HWND page, SetupContext& ctx);
void DrawLanguageItem(const SetupContext& ctx, const DRAWITEMSTRUCT& item);
void OnLanguagePageCommand(HWND page, SetupContext& ctx, int id);
// Blits the whole bitmap at (x, y) with the raster operation.
void DrawBitmap(HDC dc, UINT bitmapId, HMODULE module, int x, int y, DWORD rop);

}  // namespace installer
