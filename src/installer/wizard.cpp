#include "installer/wizard.h"

#include <memory>

#include "installer/ini_read.h"
#include "installer/install_worker.h"
#include "installer/messages.h"
#include "installer/model_folders.h"
#include "installer/model_list.h"
#include "installer/network_search.h"
#include "installer/ports.h"
#include "installer/printer_names.h"
#include "installer/usb_detect.h"

namespace installer {

// Which page follows which. Routes are tried in order; the first that holds wins.
const std::array<PageFlow, 8> kPageFlow{{
    {kFirstPage, {{{When::Type4, kConnectionPage}, {When::Always, kNetworkSearchPage}}}, {}},
    {kConnectionPage,
     {{{When::KindUsbOrMemory, kModelPage}, {When::Always, kNetworkSearchPage}}},
     {{{When::Always, kFirstPage}}}},
    {kNetworkSearchPage,
     {{{When::Always, kModelPage}}},
     {{{When::Type4, kConnectionPage}, {When::Always, kFirstPage}}}},
    {kModelPage,
     {{{When::UsbOnWindows8, kConfirmPage},
       {When::UsbOnVista, kPrinterNamePage},
       {When::DriverInstalled, kDriverOptionPage},
       {When::Always, kPrinterNamePage}}},
     {{{When::KindUsbOrMemory, kConnectionPage}, {When::Always, kNetworkSearchPage}}}},
    {kDriverOptionPage, {{{When::Always, kPrinterNamePage}}}, {{{When::Always, kModelPage}}}},
    {kPrinterNamePage,
     {{{When::Always, kConfirmPage}}},
     {{{When::UsbOnVista, kModelPage}, {When::DriverInstalled, kDriverOptionPage}, {When::Always, kModelPage}}}},
    {kConfirmPage,
     {{{When::Always, kInstallProgressPage}}},
     {{{When::UsbOnWindows8, kModelPage}, {When::Always, kPrinterNamePage}}}},
    {kInstallProgressPage, {{{When::Always, kFinishPage}}}, {}},
}};

namespace {

using PageProc = INT_PTR (*)(HWND, UINT, WPARAM, LPARAM);

PageProc ProcOf(int page) {
  switch (page) {
    case kFirstPage: return FirstPageProc;
    case kConnectionPage: return ConnectionPageProc;
    case kNetworkSearchPage: return NetworkSearchPageProc;
    case kModelPage: return ModelSelectPageProc;
    case kDriverOptionPage: return DriverOptionPageProc;
    case kPrinterNamePage: return PrinterNamePageProc;
    case kConfirmPage: return ConfirmPageProc;
    case kInstallProgressPage: return InstallProgressPageProc;
    case kFinishPage: return FinishPageProc;
    default: return nullptr;
  }
}

// 1 holds, 0 does not, -1 could not be asked.
int Holds(SetupContext& ctx, When when) {
  const bool usb = ctx.connection == Connection::UsbCable;
  switch (when) {
    case When::Always: return 1;
    case When::Type4: return ctx.type == 4 ? 1 : 0;
    case When::KindUsbOrMemory: return ctx.connection != Connection::Network ? 1 : 0;
    case When::UsbOnWindows8: return usb && IsWindows8(ctx) ? 1 : 0;
    case When::UsbOnVista: return usb && IsVistaOrLater(ctx) ? 1 : 0;
    case When::DriverInstalled: {
      const int installed = IsPrinterDriverInstalled(ctx.languageLibrary, Str(ctx.modelName));
      return installed < 0 ? -1 : installed;
    }
  }
  return 0;
}

INT_PTR RunDialog(SetupContext& ctx, int page, HWND owner = nullptr) {
  return RunPageDialog(ctx, page, ProcOf(page), owner);
}

}  // namespace

int FollowRoute(SetupContext& ctx, int page, INT_PTR result) {
  for (const PageFlow& row : kPageFlow) {
    if (row.page != page) continue;
    const auto& routes = result == kResultBack ? row.back : row.next;
    for (const Route& route : routes) {
      if (route.page == 0) break;
      const int holds = Holds(ctx, route.when);
      if (holds < 0) return -1;
      if (holds) return route.page;
    }
    return 0;
  }
  return 0;
}

int ShowPage(SetupContext& ctx, int page) {
  if (page == kFirstPage || page == kInstallProgressPage) StopCloserThread(ctx);
  INT_PTR result = RunDialog(ctx, page);
  if (page == kNetworkSearchPage && result == 1033) result = kResultNext;  // a port chosen on page 122
  switch (result) {
    case kResultNext:
    case kResultBack: {
      if (page == kFinishPage) break;
      const int following = FollowRoute(ctx, page, result);
      if (following < 0) return 0;
      if (following == 0) break;
      return ShowPage(ctx, following);
    }
    case kResultCancel:
      if (page == kInstallProgressPage || page == kFinishPage) {
        FreeLanguageLibrary(ctx);
        return page == kFinishPage ? 1 : 0;
      }
      return 1;
    case kResultFinish: break;
    default:
      FreeLanguageLibrary(ctx);
      return 0;
  }
  if (page == kFinishPage) FreeLanguageLibrary(ctx);
  return 1;
}

int ShowFirstPage(SetupContext& ctx) { return ShowPage(ctx, kFirstPage); }
int ShowConnectionPage(SetupContext& ctx) { return ShowPage(ctx, kConnectionPage); }
int ShowModelSelectPage(SetupContext& ctx) { return ShowPage(ctx, kModelPage); }
int ShowDriverOptionPage(SetupContext& ctx) { return ShowPage(ctx, kDriverOptionPage); }
int ShowPrinterNamePage(SetupContext& ctx) { return ShowPage(ctx, kPrinterNamePage); }
int ShowConfirmPage(SetupContext& ctx) { return ShowPage(ctx, kConfirmPage); }
int ShowInstallProgressPage(SetupContext& ctx) { return ShowPage(ctx, kInstallProgressPage); }
int ShowFinishPage(SetupContext& ctx) { return ShowPage(ctx, kFinishPage); }
int ShowNetworkSearchPage(SetupContext& ctx) { return ShowPage(ctx, kNetworkSearchPage); }

// ---- page 104 ----
INT_PTR FirstPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    PlaceDialog(ctx, page);
    HideItem(page, kBackButton);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) EndDialog(page, kResultNext);
  else HandleCommonCommand(*ctx, page, LOWORD(wParam));
  return TRUE;
}

// ---- page 105 ----
namespace {
constexpr int kNetworkRadio = 1024, kUsbRadio = 1022, kMemoryRadio = 1023, kUsbNote = 1027;

void InitConnectionPage(HWND page, SetupContext& ctx) {
  INT flags = ReadIniInt(Str(ctx.instIniPath), u"Model", u"ValidOutPut", 0);
  if (Str(ctx.osName) == u"WinVistax64" || Str(ctx.osName) == u"Win7x64") flags &= ~2;
  EnableItem(page, kNetworkRadio, flags & 1);
  EnableItem(page, kUsbRadio, flags & 2);
  EnableItem(page, kUsbNote, flags & 2);
  EnableItem(page, kMemoryRadio, flags & 4);
  // Without any connection on offer only Back and Cancel remain.
  EnableItem(page, IDOK, (flags & 7) != 0);
  const int checked = ctx.connection == Connection::UsbCable    ? kUsbRadio
                      : ctx.connection == Connection::UsbMemory ? kMemoryRadio
                                                                : kNetworkRadio;
  CheckDlgButton(page, checked, BST_CHECKED);
  if (ctx.connection != Connection::Network) ctx.portName[0] = 0;
  ctx.usbHardwareId[0] = 0;
}

void OnConnectionOk(HWND page, SetupContext& ctx) {
  if (IsChecked(page, kUsbRadio)) {
    ctx.connection = Connection::UsbCable;
    if (!IsWindows8(ctx) && !ShowUsbConnectPage(page, ctx)) return;
  } else if (IsChecked(page, kMemoryRadio)) {
    ctx.connection = Connection::UsbMemory;
    WCHAR folderName[30] = {};
    LoadStringW(ctx.languageLibrary, 11, folderName, 30);
    WCHAR port[kPathUnits] = {};
    if (!AddUsbMemoryPort(Str(folderName), port)) return;  // no stale port: the page stays
    SetField(ctx.portName, Str(port));
  } else {
    ctx.connection = Connection::Network;
  }
  EndDialog(page, kResultNext);
}
}  // namespace

INT_PTR ConnectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    MoveToSavedPlace(ctx, page);
    InitConnectionPage(page, ctx);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx) return FALSE;
  if (message == WM_CTLCOLORSTATIC) {
    if (reinterpret_cast<HWND>(lParam) != GetDlgItem(page, kUsbNote)) return FALSE;
    HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, RGB(255, 0, 0));
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
  }
  if (message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) OnConnectionOk(page, *ctx);
  else HandleCommonCommand(*ctx, page, LOWORD(wParam));
  return TRUE;
}

// ---- page 107 ----
INT_PTR ModelSelectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    PlaceDialog(ctx, page);
    if (!InitModelList(page, ctx)) EndDialog(page, ctx.connection == Connection::UsbCable ? kResultBack : kResultCancel);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  const int id = LOWORD(wParam);
  if (id == kModelList) {
    const LRESULT rows = SendDlgItemMessageW(page, kModelList, LB_GETCOUNT, 0, 0);
    if (rows == LB_ERR) EndDialog(page, kResultCancel);
    else EnableItem(page, IDOK, rows > 0);
    return TRUE;
  }
  if (id != IDOK) {
    HandleCommonCommand(*ctx, page, id);
    return TRUE;
  }
  const LRESULT row = SendDlgItemMessageW(page, kModelList, LB_GETCURSEL, 0, 0);
  const LRESULT length = row < 0 ? LB_ERR : SendDlgItemMessageW(page, kModelList, LB_GETTEXTLEN, row, 0);
  if (length < 0) return TRUE;
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendDlgItemMessageW(page, kModelList, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  if (text.substr(0, 32) != Str(ctx->modelName).substr(0, 32)) ctx->printerName[0] = 0;
  if (!SetField(ctx->modelName, std::u16string_view(text).substr(0, 31))) return TRUE;
  ctx->kindIndex = static_cast<DWORD>(SendDlgItemMessageW(page, kModelList, LB_GETITEMDATA, row, 0));
  ReadModelFolder(*ctx);
  ReadManualFolder(*ctx);
  EndDialog(page, kResultNext);
  return TRUE;
}

// ---- page 108 ----
INT_PTR DriverOptionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr int kReinstall = 1010, kKeep = 1011;
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    MoveToSavedPlace(ctx, page);
    CheckDlgButton(page, ctx.installDriver == 1 ? kReinstall : kKeep, BST_CHECKED);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) {
    ctx->installDriver = IsChecked(page, kReinstall) ? 1 : 0;
    EndDialog(page, kResultNext);
  } else {
    HandleCommonCommand(*ctx, page, LOWORD(wParam));
  }
  return TRUE;
}

// ---- page 110 ----
namespace {
constexpr int kNameEdit = 1012;
struct NamePageState {
  WCHAR kept[kPrinterNameUnits];
};
}  // namespace

INT_PTR PrinterNamePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    MoveToSavedPlace(ctx, page);
    auto* state = new NamePageState{};
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    if (ctx.printerName[0]) SetField(state->kept, Str(ctx.printerName));
    else if (!MakeUniquePrinterName(state->kept, Str(ctx.modelName), ctx.languageLibrary)) {
      EndDialog(page, kResultCancel);
      return TRUE;
    }
    SetDlgItemTextW(page, kNameEdit, state->kept);
    SendDlgItemMessageW(page, kNameEdit, EM_LIMITTEXT, kPrinterNameUnits - 1, 0);
    return TRUE;
  }
  auto* state = reinterpret_cast<NamePageState*>(GetWindowLongPtrW(page, GWLP_USERDATA));
  if (message == WM_DESTROY) {
    delete state;
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || !state || message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) != IDOK) {
    if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == kBackButton) SavePageRect(*ctx, page);
    HandleCommonCommand(*ctx, page, LOWORD(wParam));
    return TRUE;
  }
  SavePageRect(*ctx, page);
  WCHAR name[kPrinterNameUnits] = {};
  GetDlgItemTextW(page, kNameEdit, name, kPrinterNameUnits);
  if (!ValidatePrinterName(*ctx, page, Str(name))) {
    SetDlgItemTextW(page, kNameEdit, state->kept);
    return TRUE;
  }
  SetField(ctx->printerName, Str(name));
  EndDialog(page, kResultNext);
  return TRUE;
}

// ---- page 111 ----
INT_PTR ConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  constexpr int kNameField = 1018, kPortField = 1019, kModelField = 1020, kManuals = 1029;
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    MoveToSavedPlace(ctx, page);
    if (ctx.connection == Connection::UsbCable && IsWindows8(ctx)) {
      for (int id : {1043, kNameField, 1044, kPortField}) HideItem(page, id);
    } else {
      SetDlgItemTextW(page, kNameField, ctx.printerName);
      if (ctx.connection == Connection::UsbMemory) {
        WCHAR text[256] = {};
        LoadStringW(ctx.languageLibrary, 37, text, 256);
        SetDlgItemTextW(page, kPortField, text);
      } else {
        SetDlgItemTextW(page, kPortField, ctx.portName);
      }
    }
    SetDlgItemTextW(page, kModelField, ctx.modelName);
    UpdateManualsCheckBox(ctx, page);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  SavePageRect(*ctx, page);
  if (LOWORD(wParam) == IDOK) {
    ctx->copyManuals = IsChecked(page, kManuals) ? 1 : 0;
    EndDialog(page, kResultNext);
  } else {
    HandleCommonCommand(*ctx, page, LOWORD(wParam));
  }
  return TRUE;
}

// ---- page 112 ----
namespace {
struct ProgressPageState {
  WCHAR datatype[32];
  CopyList copyList;
  InstallWorkerArgs args;
  HANDLE worker;
};

BOOL PostToPage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageW(window, message, wParam, lParam);
}

DWORD RunWorker(LPVOID parameter) { return InstallWorkerThread(parameter); }

void JoinWorker(ProgressPageState& state) {
  if (!state.worker) return;
  WaitForSingleObject(state.worker, INFINITE);
  CloseHandle(state.worker);
  state.worker = nullptr;
}

void AfterInstall(HWND page, SetupContext& ctx) {
  if (ctx.connection == Connection::UsbMemory) {
    ShowResourceMessage(page, ctx.languageLibrary, 38, 4, MB_OK);
  } else if (ctx.type == 3 && ctx.langStyle == 0 && ctx.testPage == 0) {
    // the quick install was told not to offer the test page
  } else if (ctx.connection == Connection::UsbCable && IsWindows8(ctx)) {
    ShowResourceMessage(page, ctx.languageLibrary, 1042, 16, MB_OK);
  } else if (ShowResourceMessage(page, ctx.languageLibrary, 32, 4, MB_YESNO | MB_ICONQUESTION) == IDYES) {
    PrintTestPage(Str(ctx.printerName), page, ctx.connection, ctx.languageLibrary);
  }
}
}  // namespace

INT_PTR InstallProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    SetIcon(ctx, page);
    if (ctx.connection == Connection::UsbCable && !IsWindows8(ctx)) {
      const int found = FindUsbDeviceInstance(ctx);
      if (found <= 0) {
        if (found == 0) ShowResourceMessage(page, ctx.languageLibrary, 31, 4, MB_ICONERROR);
        EndDialog(page, kResultCancel);
        return TRUE;
      }
    }
    auto* state = new ProgressPageState{};
    state->args = InstallWorkerArgs{page, state->datatype, &state->copyList, &ctx, PostToPage};
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    StartProgressWorker(page, state->worker, RunWorker, &state->args);
    return TRUE;
  }
  auto* state = reinterpret_cast<ProgressPageState*>(GetWindowLongPtrW(page, GWLP_USERDATA));
  SetupContext* ctx = PageContext(page);
  if (message == WM_DESTROY) {
    if (state) JoinWorker(*state);
    delete state;
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    return TRUE;
  }
  if (!ctx || !state) return FALSE;
  if (message == kWorkerDoneMessage) {
    if (wParam == 0) {
      JoinWorker(*state);
      EndDialog(page, kResultCancel);
      return TRUE;
    }
    Sleep(300);
    JoinWorker(*state);
    AfterInstall(page, *ctx);
    EndDialog(page, kResultNext);
    return TRUE;
  }
  return FALSE;
}

// ---- page 113 ----
INT_PTR FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static constexpr FinishPage kInstallFinish{
      [](const SetupContext& ctx) { return ctx.installDriver == 1 || ctx.type == 4; }, true};
  return FinishPageMessage(kInstallFinish, page, message, wParam, lParam);
}

}  // namespace installer
