#include "installer/usb_detect.h"

#include <cstring>

#include "installer/messages.h"
#include "installer/page_kit.h"

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
  HDEVINFO devices = SetupDiGetClassDevsW(nullptr, u"USBPRINT", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (devices == INVALID_HANDLE_VALUE) return nullptr;
  WCHAR ids[kMaxUsbIds][kUsbIdUnits] = {};
  bool failed = false;
  for (DWORD index = 0; index < 127 && count < kMaxUsbIds; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(devices, index, &device)) {
      failed = GetLastError() != ERROR_NO_MORE_ITEMS;
      break;
    }
    // The first id of the list; one longer than the slot is not stored cut.
    WCHAR slot[kUsbIdUnits + 2] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(slot),
                                           sizeof slot - sizeof(WCHAR), nullptr))
      continue;
    if (Str(slot).size() >= kUsbIdUnits) continue;
    std::memcpy(ids[count++], slot, sizeof ids[0]);
  }
  SetupDiDestroyDeviceInfoList(devices);
  if (failed || count == 0) {
    count = 0;
    return nullptr;
  }
  auto* copy = static_cast<WCHAR(*)[kUsbIdUnits]>(LocalAlloc(LPTR, sizeof ids[0] * count));
  if (!copy) {
    count = 0;
    ReportAllocFailure(library);
    return nullptr;
  }
  std::memcpy(copy, ids, sizeof ids[0] * count);
  return copy;
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
  constexpr const char16_t* kUsbPrint = u"SYSTEM\\CurrentControlSet\\Enum\\USBPRINT\\";
  HKEY root = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUsbPrint, 0, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE, &root)) return nullptr;
  DWORD keys = 0;
  if (RegQueryInfoKeyW(root, nullptr, nullptr, nullptr, &keys, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                       nullptr) ||
      keys == 0) {
    RegCloseKey(root);
    return nullptr;
  }
  auto* entries = static_cast<UsbPortEntry*>(LocalAlloc(LPTR, sizeof(UsbPortEntry) * keys));
  if (!entries) {
    RegCloseKey(root);
    ReportAllocFailure(library);
    return nullptr;
  }
  auto readText = [](HKEY key, const char16_t* value, WCHAR* out, DWORD bytes) {
    DWORD type = 0, size = bytes - sizeof(WCHAR);
    if (RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(out), &size)) out[0] = 0;
  };
  for (DWORD k = 0; k < keys; ++k) {
    UsbPortEntry& entry = entries[count];
    DWORD chars = kPathUnits;
    if (RegEnumKeyExW(root, k, entry.deviceKey, &chars, nullptr, nullptr, nullptr, nullptr)) continue;
    HKEY device = nullptr;
    if (RegOpenKeyExW(root, entry.deviceKey, 0, KEY_ENUMERATE_SUB_KEYS, &device)) continue;
    WCHAR instance[kPathUnits];
    for (DWORD i = 0;; ++i) {
      chars = kPathUnits;
      if (RegEnumKeyExW(device, i, instance, &chars, nullptr, nullptr, nullptr, nullptr)) break;
      HKEY key = nullptr;
      if (RegOpenKeyExW(device, instance, 0, KEY_QUERY_VALUE, &key)) continue;
      if (i == 0) readText(key, u"HardwareID", entry.hardwareId, sizeof entry.hardwareId);
      HKEY control = nullptr;
      if (!RegOpenKeyExW(key, u"Control", 0, KEY_QUERY_VALUE, &control)) {
        entry.present = 1;
        RegCloseKey(control);
      }
      if (i == 0 || entry.present) {
        HKEY parameters = nullptr;
        if (!RegOpenKeyExW(key, u"Device Parameters", 0, KEY_QUERY_VALUE, &parameters)) {
          readText(parameters, u"PortName", entry.portName, sizeof entry.portName);
          RegCloseKey(parameters);
        }
      }
      RegCloseKey(key);
      if (entry.present) break;
    }
    RegCloseKey(device);
    ++count;
  }
  RegCloseKey(root);
  return entries;
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

int FindUsbDeviceInstance(SetupContext& ctx) {
  HDEVINFO devices = SetupDiGetClassDevsW(nullptr, u"USBPRINT", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
  if (devices == INVALID_HANDLE_VALUE) return -1;
  int found = 0;
  for (DWORD index = 0; index < kMaxUsbIds && found == 0; ++index) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(devices, index, &device)) {
      if (GetLastError() != ERROR_NO_MORE_ITEMS) found = -1;
      break;
    }
    WCHAR instance[kPathUnits] = {};
    WCHAR ids[kUsbIdUnits + 2] = {};
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, instance, kPathUnits, nullptr) ||
        !SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_HARDWAREID, nullptr, reinterpret_cast<BYTE*>(ids),
                                           sizeof ids - sizeof(WCHAR), nullptr)) {
      found = -1;
      break;
    }
    if (Str(ids) == Str(ctx.usbHardwareId) && SetField(ctx.deviceInstanceId, Str(instance))) found = 1;
  }
  SetupDiDestroyDeviceInfoList(devices);
  return found;
}

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
    // A second between looks; the stop event ends the wait at once.
    if (WaitForSingleObject(ctx.closerStopEvent, 1000) != WAIT_TIMEOUT) return 0;
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
