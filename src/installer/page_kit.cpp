#include "installer/page_kit.h"

namespace installer {

INT_PTR RunPageDialog(SetupContext& ctx, int page, DLGPROC proc, HWND owner) {
  return DialogBoxParamW(ctx.languageLibrary, MAKEINTRESOURCEW(static_cast<UINT>(page)), owner, proc,
                         reinterpret_cast<LPARAM>(&ctx));
}

bool HandleCommonCommand(SetupContext& ctx, HWND page, int id, Leaving leaving) {
  if (id == IDCANCEL) {
    ConfirmCancel(ctx, page, leaving);
    return true;
  }
  if (id == kBackButton) {
    EndDialog(page, kResultBack);
    return true;
  }
  return false;
}

void FreeLanguageLibrary(SetupContext& ctx) {
  if (ctx.languageLibrary) FreeLibrary(ctx.languageLibrary);
  ctx.languageLibrary = nullptr;
}

void StopCloserThread(SetupContext& ctx) {
  if (!ctx.closerThread) return;
  ctx.closerStop = 1;
  if (ctx.closerStopEvent) SetEvent(ctx.closerStopEvent);
  WaitForSingleObject(ctx.closerThread, INFINITE);  // it ends within a second of the event
  CloseHandle(ctx.closerThread);
  ctx.closerThread = nullptr;
  if (ctx.closerStopEvent) CloseHandle(ctx.closerStopEvent);
  ctx.closerStopEvent = nullptr;
}

SetupContext* PageContext(HWND page) { return reinterpret_cast<SetupContext*>(GetWindowLongPtrW(page, DWLP_USER)); }

SetupContext& AdoptContext(HWND page, LPARAM lParam) {
  SetWindowLongPtrW(page, DWLP_USER, lParam);
  return *reinterpret_cast<SetupContext*>(lParam);
}

void SavePageRect(SetupContext& ctx, HWND page) {
  RECT r{};
  if (!GetWindowRect(page, &r)) return;
  ctx.pageRect[0] = r.left;
  ctx.pageRect[1] = r.top;
  ctx.pageRect[2] = r.right;
  ctx.pageRect[3] = r.bottom;
}

void MoveToSavedPlace(const SetupContext& ctx, HWND page) {
  MoveWindow(page, ctx.pageRect[0], ctx.pageRect[1], ctx.pageWidth, ctx.pageHeight, TRUE);
}

bool StartProgressWorker(HWND page, HANDLE& worker, LPTHREAD_START_ROUTINE proc, void* args) {
  worker = CreateThread(nullptr, 0, proc, args, 0, nullptr);
  if (!worker) {
    ShowSystemError(GetLastError());
    EndDialog(page, kResultCancel);
    return false;
  }
  CentreInWorkArea(page);
  EnableItem(page, IDOK, false);
  SendDlgItemMessageW(page, kProgressBar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(RGB(0, 64, 128)));
  return true;
}

void CentreInWorkArea(HWND page) {
  RECT work{}, own{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  GetWindowRect(page, &own);
  const int width = own.right - own.left, height = own.bottom - own.top;
  MoveWindow(page, work.left + (work.right - work.left - width) / 2, work.top + (work.bottom - work.top - height) / 2,
             width, height, TRUE);
}

void CentreOn(HWND page, HWND on) {
  RECT outer{}, own{};
  GetWindowRect(on, &outer);
  GetWindowRect(page, &own);
  const int width = own.right - own.left, height = own.bottom - own.top;
  MoveWindow(page, outer.left + (outer.right - outer.left - width) / 2,
             outer.top + (outer.bottom - outer.top - height) / 2, width, height, TRUE);
}

bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void EnableItem(HWND page, int id, bool on) { EnableWindow(GetDlgItem(page, id), on ? TRUE : FALSE); }

void HideItem(HWND page, int id) {
  EnableWindow(GetDlgItem(page, id), FALSE);
  ShowWindow(GetDlgItem(page, id), SW_HIDE);
}

void SetIcon(const SetupContext& ctx, HWND page) {
  SendMessageW(page, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(ctx.icon));
}

INT_PTR FinishPageMessage(const FinishPage& kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr int kRestart = 1026, kReadme = 1025;
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    if (kind.withIcon) SetIcon(ctx, page);
    MoveToSavedPlace(ctx, page);
    if (kind.offerRestart(ctx)) {
      CheckDlgButton(page, kRestart, BST_CHECKED);
    } else {
      CheckDlgButton(page, kRestart, BST_UNCHECKED);
      EnableItem(page, kRestart, false);
    }
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  switch (LOWORD(wParam)) {
    case kFinishButton:
      if (IsChecked(page, kRestart)) {
        EndDialog(page, kResultCancel);
        RebootWindows();
      } else {
        EndDialog(page, kResultFinish);
      }
      return TRUE;
    case kReadme: {
      const auto shown = reinterpret_cast<INT_PTR>(ShellExecuteW(page, u"open", ctx->readmePath, nullptr, nullptr, SW_SHOW));
      if (shown <= 32) ShowSystemText(GetLastError(), MB_ICONWARNING);
      return TRUE;
    }
    case IDCANCEL: EndDialog(page, kResultCancel); return TRUE;
    default: return TRUE;
  }
}

}  // namespace installer
