#include "installer/language_page.h"

#include "installer/ini_read.h"
#include "installer/setup_files.h"

namespace installer {
namespace {

SetupContext* ContextOf(HWND page) { return reinterpret_cast<SetupContext*>(GetWindowLongPtrW(page, DWLP_USER)); }

void Place(HWND page, int id, int x, int y, int width, int height) {
  MoveWindow(GetDlgItem(page, id), x, y, width, height, TRUE);
}

}  // namespace

void DrawBitmap(HDC dc, UINT bitmapId, HMODULE module, int x, int y, DWORD rop) {
  HGDIOBJ bitmap = LoadBitmapW(module, MAKEINTRESOURCEW(bitmapId));
  if (!bitmap) return;
  BITMAP info{};
  GetObjectW(bitmap, sizeof info, &info);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ before = SelectObject(memory, bitmap);
  BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, rop);
  SelectObject(memory, before);
  DeleteDC(memory);
  DeleteObject(bitmap);
}

void FillLanguageCombo(HWND page, SetupContext& ctx) {
  const std::u16string preselect =
      ReadIniString(Str(ctx.setupIniPath), u"Language", u"Default", 19).value_or(u"JPN");
  Place(page, IDOK, 148, 102, 72, 20);
  Place(page, IDCANCEL, 235, 102, 72, 20);
  HWND list = GetDlgItem(page, kLanguageList);
  SendMessageW(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kLanguageItemHeight);
  SendMessageW(list, CB_SETITEMHEIGHT, 0, kLanguageItemHeight);
  Place(page, kLanguageList, 15, 62, 293, 200);
  int selected = 0;
  for (DWORD row = 0; row < ctx.languageRowCount; ++row) {
    const LanguageEntry& entry = ctx.languageRows[row];
    SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.code));
    if (preselect == entry.code) selected = static_cast<int>(row);
  }
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void InitLanguagePage(HWND page, SetupContext& ctx) {
  FillLanguageCombo(page, ctx);
  HWND quit = GetDlgItem(page, kQuitButton);
  EnableWindow(quit, FALSE);
  ShowWindow(quit, SW_HIDE);
  SendMessageW(page, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ctx.icon));
  RECT work{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  constexpr int kWidth = 324, kHeight = 160;
  MoveWindow(page, work.left + (work.right - work.left - kWidth) / 2, work.top + (work.bottom - work.top - kHeight) / 2,
             kWidth, kHeight, TRUE);
}

void DrawLanguageItem(const SetupContext& ctx, const DRAWITEMSTRUCT& item) {
  if (item.CtlID != kLanguageList || item.itemID >= ctx.languageRowCount) return;
  const LanguageEntry& row = ctx.languageRows[item.itemID];
  if (item.itemState & ODS_COMBOBOXEDIT) {
    DrawBitmap(item.hDC, row.normalBitmap, ctx.setupInstance, 0, 0, SRCCOPY);
    return;
  }
  const bool highlighted = (item.itemState & (ODS_SELECTED | ODS_FOCUS)) != 0;
  const LRESULT top = SendMessageW(item.hwndItem, CB_GETTOPINDEX, 0, 0);
  const int y = (static_cast<int>(item.itemID) - static_cast<int>(top > 0 ? top : 0)) * kLanguageItemHeight;
  DrawBitmap(item.hDC, highlighted ? row.selectedBitmap : row.normalBitmap, ctx.setupInstance, 0, y, SRCCOPY);
}

void OnLanguagePageCommand(HWND page, SetupContext& ctx, int id) {
  if (id == IDCANCEL) {
    EndDialog(page, IDCANCEL);
    return;
  }
  if (id != IDOK) return;
  const LRESULT selected = SendDlgItemMessageW(page, kLanguageList, CB_GETCURSEL, 0, 0);
  if (selected >= 0 && static_cast<DWORD>(selected) < ctx.languageRowCount &&
      SetField(ctx.languageCode, ctx.languageRows[selected].code) && ReadLanguageSettings(ctx)) {
    if (ctx.type != 5) {
      ReadDriverFolderAndReadme(ctx, Str(ctx.instIniPath));
      ReadModelInfo(ctx, Str(ctx.instIniPath));
    }
    ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
  }
  EndDialog(page, IDOK);
}

INT_PTR LanguagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    // The context pointer needs the full width of a pointer.
    SetWindowLongPtrW(page, DWLP_USER, lParam);
    InitLanguagePage(page, *reinterpret_cast<SetupContext*>(lParam));
    return TRUE;
  }
  SetupContext* ctx = ContextOf(page);
  if (!ctx) return FALSE;
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(page, &paint);
      DrawBitmap(dc, 112, ctx->setupInstance, 15, 20, SRCAND);
      EndPaint(page, &paint);
      return TRUE;
    }
    case WM_DRAWITEM:
      DrawLanguageItem(*ctx, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_COMMAND:
      OnLanguagePageCommand(page, *ctx, LOWORD(wParam));
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace installer
