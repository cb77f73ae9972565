// The uninstaller's pages 114 to 118, nested as the install wizard's.
#include <algorithm>

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "installer/page_kit.h"
#include "installer/model_folders.h"
#include "installer/tool_folder.h"
#include "installer/uninstall.h"
#include "installer/uninstall_worker.h"
#include "plat/shell_link.h"

namespace installer {
namespace {

enum UninstallPage : int {
  kUninstallFirstPage = 114,
  kUninstallModelPage = 115,
  kUninstallConfirmPage = 116,
  kUninstallProgressPage = 117,
  kUninstallFinishPage = 118,
};
constexpr int kPrinterList = 1021;
constexpr int kManualsBox = 1029;

// A chain that cannot go on frees what the pages hold.
int EndChain(SetupContext& ctx) {
  FreeLanguageLibrary(ctx);
  FreeChosenPrinters(ctx);
  ctx.chosenPrinterCount = 0;
  return 0;
}

// Cancel (confirmed) ends the chain normally.
int Cancelled(SetupContext& ctx) {
  FreeLanguageLibrary(ctx);
  FreeChosenPrinters(ctx);
  return 1;
}

int ShowFirst(SetupContext& ctx) {
  switch (RunPageDialog(ctx, kUninstallFirstPage, UninstallFirstPageProc)) {
    case kResultNext: return ShowUninstallModelPage(ctx);
    case kResultCancel: return Cancelled(ctx);
    default: return EndChain(ctx);
  }
}

std::u16string ListText(HWND page, int row) {
  const LRESULT length = SendDlgItemMessageW(page, kPrinterList, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length < 0) return u"";
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendDlgItemMessageW(page, kPrinterList, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

// The selected rows become the chosen list (an earlier list is freed). 1, or
// 0 when it cannot be allocated.
int TakeChosenPrinters(SetupContext& ctx, HWND page) {
  FreeChosenPrinters(ctx);
  ctx.chosenPrinterCount = 0;
  const LRESULT count = SendDlgItemMessageW(page, kPrinterList, LB_GETSELCOUNT, 0, 0);
  if (count <= 0) return 1;
  std::vector<INT> rows(static_cast<std::size_t>(count));
  SendDlgItemMessageW(page, kPrinterList, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rows.data()));
  ctx.chosenPrinters = static_cast<WCHAR**>(LocalAlloc(LPTR, sizeof(WCHAR*) * rows.size()));
  if (!ctx.chosenPrinters) return 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::u16string name = ListText(page, rows[i]);
    auto* copy = static_cast<WCHAR*>(LocalAlloc(LPTR, (name.size() + 1) * sizeof(WCHAR)));
    if (!copy) return 0;
    name.copy(copy, name.size());
    ctx.chosenPrinters[i] = copy;
    ctx.chosenPrinterCount = static_cast<INT>(i + 1);
  }
  return 1;
}

struct UninstallProgressState {
  UninstallWorkerArgs args;
  HANDLE worker;
};

BOOL PostToUninstallPage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(window, message, wParam, lParam);
}

void JoinUninstallWorker(UninstallProgressState& state) {
  if (!state.worker) return;
  WaitForSingleObject(state.worker, INFINITE);
  CloseHandle(state.worker);
  state.worker = nullptr;
}

}  // namespace

int ShowUninstallPage(SetupContext& ctx) {
  const int found = FindInstalledModelPrinter(ctx, nullptr);
  if (found < 0) return EndChain(ctx);
  if (found == 0) {
    ShowResourceMessage(nullptr, ctx.languageLibrary, 27, 4, MB_OK);
    FreeLanguageLibrary(ctx);
    return 1;
  }
  return ShowFirst(ctx);
}

int ShowUninstallModelPage(SetupContext& ctx) {
  switch (RunPageDialog(ctx, kUninstallModelPage, UninstallModelPageProc)) {
    case kResultNext: return ShowUninstallConfirmPage(ctx);
    case kResultBack: return ShowFirst(ctx);
    case kResultCancel: return Cancelled(ctx);
    default: return EndChain(ctx);
  }
}

int ShowUninstallConfirmPage(SetupContext& ctx) {
  switch (RunPageDialog(ctx, kUninstallConfirmPage, UninstallConfirmPageProc)) {
    case kResultNext: return ShowUninstallProgressPage(ctx);
    case kResultBack: return ShowUninstallModelPage(ctx);
    case kResultCancel: return Cancelled(ctx);
    default: return EndChain(ctx);
  }
}

int ShowUninstallProgressPage(SetupContext& ctx) {
  if (RunPageDialog(ctx, kUninstallProgressPage, UninstallProgressPageProc) != kResultNext) return EndChain(ctx);
  RunPageDialog(ctx, kUninstallFinishPage, UninstallFinishPageProc);
  FreeLanguageLibrary(ctx);
  return 1;
}

INT_PTR UninstallFirstPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    PlaceDialog(ctx, page);
    HideItem(page, kBackButton);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) EndDialog(page, kResultNext);
  else if (LOWORD(wParam) == IDCANCEL) ConfirmCancel(*ctx, page, Leaving::Uninstall);
  return TRUE;
}

int ListInstalledModelPrinters(HWND page, SetupContext& ctx) {
  const std::u16string_view uninst = Str(ctx.uninstIniPath);
  if (ReadIniInt(uninst, u"Model", u"Num", 0) <= 0) return -1;
  const std::vector<std::u16string> keys = ReadKeys(uninst, u"Model");
  PrinterList printers;
  if (!ListLocalPrinters(printers)) {
    ReportAllocFailure(ctx.languageLibrary);
    return -1;
  }
  int listed = 0;
  for (const PRINTER_INFO_2W& p : printers) {
    const int match = MatchesModelKey(keys, Str(p.pDriverName));
    if (match < 0) return -1;
    if (match == 0) continue;  // each printer is looked at once, whatever keys match
    SendDlgItemMessageW(page, kPrinterList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(p.pPrinterName));
    ++listed;
  }
  return listed;
}

int InitUninstallModelList(HWND page, SetupContext& ctx) {
  const int listed = ListInstalledModelPrinters(page, ctx);
  ctx.listedPrinterCount = listed;
  if (listed == 0) ShowResourceMessage(page, ctx.languageLibrary, 27, 4, MB_OK);
  if (listed <= 0) return listed;
  if (ctx.chosenPrinters && ctx.chosenPrinterCount > 0) {
    for (INT i = 0; i < ctx.chosenPrinterCount; ++i) {
      const LRESULT row = SendDlgItemMessageW(page, kPrinterList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                              reinterpret_cast<LPARAM>(ctx.chosenPrinters[i]));
      if (row >= 0) SendDlgItemMessageW(page, kPrinterList, LB_SETSEL, TRUE, row);
    }
  } else {
    SendDlgItemMessageW(page, kPrinterList, LB_SETSEL, TRUE, 0);
  }
  return listed;
}

INT_PTR UninstallModelPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    MoveToSavedPlace(ctx, page);
    if (InitUninstallModelList(page, ctx) <= 0) EndDialog(page, kResultCancel);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  if (id == kPrinterList) {
    if (HIWORD(wParam) == LBN_SELCHANGE) {
      const LRESULT selected = SendDlgItemMessageW(page, kPrinterList, LB_GETSELCOUNT, 0, 0);
      if (selected == LB_ERR) EndDialog(page, kResultCancel);
      else EnableItem(page, IDOK, selected > 0);
    }
    return TRUE;
  }
  SavePageRect(*ctx, page);
  if (id == IDOK) {
    if (!TakeChosenPrinters(*ctx, page)) {
      ReportAllocFailure(ctx->languageLibrary);
      EndDialog(page, kResultCancel);
      return TRUE;
    }
    ReadUninstallFolders(*ctx);  // without folders the printers still go
    EndDialog(page, kResultNext);
    return TRUE;
  }
  HandleCommonCommand(*ctx, page, id, Leaving::Uninstall);
  return TRUE;
}

void UpdateUninstallManualsCheckBox(SetupContext& ctx, HWND page) {
  ReadMakerFolder(ctx);
  const std::u16string maker = ShellFolder(CSIDL_PROGRAM_FILES) + u"\\" + std::u16string(Str(ctx.makerFolderName));
  HWND box = GetDlgItem(page, kManualsBox);
  for (INT i = 0; i < ctx.uninstallFolderCount && i < 30; ++i) {
    if (FolderHasFiles(maker + u"\\" + std::u16string(Str(ctx.uninstallFolders[i])) + u"\\Manual")) {
      CheckDlgButton(page, kManualsBox, BST_CHECKED);
      EnableWindow(box, TRUE);
      ShowWindow(box, SW_SHOW);
      return;
    }
  }
  CheckDlgButton(page, kManualsBox, BST_UNCHECKED);
  EnableWindow(box, FALSE);
  ShowWindow(box, SW_HIDE);
}

INT_PTR UninstallConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    MoveToSavedPlace(ctx, page);
    for (INT i = 0; ctx.chosenPrinters && i < ctx.chosenPrinterCount; ++i)
      SendDlgItemMessageW(page, kPrinterList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ctx.chosenPrinters[i]));
    UpdateUninstallManualsCheckBox(ctx, page);
    return TRUE;
  }
  if (message == WM_CTLCOLORLISTBOX) {
    // The list of printers to remove reads as part of the page.
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) {
    ctx->removeManuals = IsChecked(page, kManualsBox) ? 1 : 0;
    EndDialog(page, kResultNext);
    return TRUE;
  }
  HandleCommonCommand(*ctx, page, LOWORD(wParam), Leaving::Uninstall);
  return TRUE;
}

INT_PTR UninstallProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    auto* state = new UninstallProgressState{};
    state->args = UninstallWorkerArgs{page, &ctx, PostToUninstallPage};
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    StartProgressWorker(page, state->worker, UninstallWorkerThread, &state->args);
    return TRUE;
  }
  auto* state = reinterpret_cast<UninstallProgressState*>(GetWindowLongPtrW(page, GWLP_USERDATA));
  if (message == WM_DESTROY) {
    if (state) JoinUninstallWorker(*state);
    delete state;
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    return TRUE;
  }
  if (!state || message != kWorkerDoneMessage) return FALSE;
  if (wParam == 0) {
    JoinUninstallWorker(*state);
    EndDialog(page, kResultCancel);
  } else if (wParam == 1) {
    Sleep(300);
    JoinUninstallWorker(*state);
    EndDialog(page, kResultNext);
  }
  return TRUE;
}

INT_PTR UninstallFinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr FinishPage kUninstallFinish{
      [](const SetupContext& ctx) { return ctx.chosenPrinterCount == ctx.listedPrinterCount; }, false};
  return FinishPageMessage(kUninstallFinish, page, message, wParam, lParam);
}

}  // namespace installer
