#include "installer/usb_detect.h"

#include <cstring>

#include "installer/messages.h"
#include "installer/wizard.h"

namespace installer {
namespace {

constexpr UINT_PTR kUsbTimer = 10000;
constexpr UINT kUsbTickMs = 1000;
constexpr WORD kUsbMaxTicks = 30;

struct UsbPageState {
  WCHAR (*snapshot)[kUsbIdUnits];
  WORD snapshotCount;
  WORD ticks;
};

UsbPageState* StateOf(HWND page) { return reinterpret_cast<UsbPageState*>(GetWindowLongPtrW(page, GWLP_USERDATA)); }

bool SameSlot(const WCHAR* a, const WCHAR* b) { return std::memcmp(a, b, kUsbIdUnits * sizeof(WCHAR)) == 0; }

}  // namespace

WCHAR (*EnumUsbPrintHardwareIds(HMODULE library, WORD& count))[kUsbIdUnits] {
  count = 0;
  (void)library;
  return nullptr;
}

const WCHAR* FindNewHardwareId(const WCHAR (*snapshot)[kUsbIdUnits], WORD snapshotCount,
                               const WCHAR (*current)[kUsbIdUnits], WORD currentCount) {
  for (WORD i = 0; i < currentCount; ++i) {
    bool known = false;
    for (WORD j = 0; j < snapshotCount && !known; ++j) known = SameSlot(current[i], snapshot[j]);
    if (!known) return current[i];
  }
  return nullptr;
}

UsbPortEntry* FindUsbPrintPortName(HMODULE library, DWORD& count) {
  count = 0;
  (void)library;
  return nullptr;
}

int CheckUsbPrinterArrived(const WCHAR (*snapshot)[kUsbIdUnits], WORD snapshotCount, SetupContext& ctx) {
  WORD currentCount = 0;
  auto* current = EnumUsbPrintHardwareIds(ctx.languageLibrary, currentCount);
  if (!current) return 0;
  int found = 0;
  if (const WCHAR* id = FindNewHardwareId(snapshot, snapshotCount, current, currentCount)) {
    DWORD entries = 0;
    UsbPortEntry* ports = FindUsbPrintPortName(ctx.languageLibrary, entries);
    for (DWORD i = 0; ports && i < entries && !found; ++i) {
      if (ports[i].present != 1 || Str(ports[i].hardwareId) != Str(id)) continue;
      if (SetField(ctx.portName, Str(ports[i].portName)) && SetField(ctx.usbHardwareId, Str(id))) found = 1;
    }
    LocalFree(ports);
  }
  LocalFree(current);
  return found;
}

int FindUsbDeviceInstance(SetupContext&) { return 0; }

INT_PTR UsbConnectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    auto* state = new UsbPageState{};
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
    state->snapshot = EnumUsbPrintHardwareIds(ctx.languageLibrary, state->snapshotCount);
    StartCloserThread(ctx);
    if (!SetTimer(page, kUsbTimer, kUsbTickMs, nullptr)) {
      EndDialog(page, kResultCancel);
      return TRUE;
    }
    CentreInWorkArea(page);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  UsbPageState* state = StateOf(page);
  if (message == WM_DESTROY) {
    KillTimer(page, kUsbTimer);
    if (state) LocalFree(state->snapshot);
    delete state;
    SetWindowLongPtrW(page, GWLP_USERDATA, 0);
    return TRUE;
  }
  if (!ctx || !state) return FALSE;
  if (message == WM_TIMER && wParam == kUsbTimer) {
    if (++state->ticks >= kUsbMaxTicks) {
      KillTimer(page, kUsbTimer);
      state->ticks = 0;
      ShowResourceMessage(page, ctx->languageLibrary, 17, 4, MB_SETFOREGROUND);
      if (!SetTimer(page, kUsbTimer, kUsbTickMs, nullptr)) EndDialog(page, kResultCancel);
    } else if (CheckUsbPrinterArrived(state->snapshot, state->snapshotCount, *ctx)) {
      KillTimer(page, kUsbTimer);
      EndDialog(page, kResultNext);
    }
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
    KillTimer(page, kUsbTimer);
    state->ticks = 0;
    EndDialog(page, kResultCancel);
    return TRUE;
  }
  return FALSE;
}

int ShowUsbConnectPage(HWND owner, SetupContext& ctx) {
  const INT_PTR result = DialogBoxParamW(ctx.languageLibrary, MAKEINTRESOURCEW(kUsbConnectPage), owner,
                                         UsbConnectPageProc, reinterpret_cast<LPARAM>(&ctx));
  if (result == kResultNext) {
    ShowResourceMessage(owner, ctx.languageLibrary, 19, 4, MB_OK);
    ctx.connection = Connection::UsbCable;
    return 1;
  }
  ShowResourceMessage(owner, ctx.languageLibrary, 18, 4, MB_ICONWARNING);
  ctx.connection = Connection::Network;
  return 0;
}

DWORD CloseNewHardwareWindowThread(LPVOID parameter) {
  auto& ctx = *static_cast<SetupContext*>(parameter);
  UINT captionId = 0;
  const std::u16string_view os = Str(ctx.osName);
  if (os == u"Win7x64" || os == u"WinVistax64" || os == u"Win7" || os == u"WinVista") captionId = 39;
  else if (os == u"WinXP") captionId = 23;
  else if (os == u"Win2000") captionId = 24;
  WCHAR caption[512] = {};
  if (captionId) LoadStringW(ctx.languageLibrary, captionId, caption, 512);
  for (;;) {
    if (caption[0]) {
      if (HWND window = FindWindowW(nullptr, caption)) {
        SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
        SendMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
    }
    // The stop event ends the wait at once; the clock's second otherwise.
    if (WaitForSingleObject(ctx.closerStopEvent, 0) == WAIT_OBJECT_0) return 0;
    Sleep(1000);
    if (WaitForSingleObject(ctx.closerStopEvent, 0) == WAIT_OBJECT_0) return 0;
  }
}

int StartCloserThread(SetupContext& ctx) {
  if (ctx.closerThread) return 1;
  ctx.closerStop = 0;
  ctx.closerStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!ctx.closerStopEvent) return 0;
  ctx.closerThread = CreateThread(nullptr, 0, CloseNewHardwareWindowThread, &ctx, 0, nullptr);
  if (!ctx.closerThread) {
    CloseHandle(ctx.closerStopEvent);
    ctx.closerStopEvent = nullptr;
    return 0;
  }
  return 1;
}

}  // namespace installer
