// Waiting for a USB printer to be connected (page 106), and the closer of
// the system's new-hardware window.
#pragma once

#include "installer/setup_context.h"

namespace installer {

constexpr int kUsbIdUnits = 130;  // one snapshot slot: 260 bytes
constexpr int kMaxUsbIds = 20;

struct UsbIdSnapshot {
  WCHAR ids[kMaxUsbIds][kUsbIdUnits];
  WORD count;
};

struct UsbPortEntry {
  WCHAR deviceKey[kPathUnits];
  WCHAR hardwareId[kUsbIdUnits];
  WCHAR portName[kPathUnits];
  WORD present;
};

// The hardware ids of the USB printers present now (at most 20). Heap
// array (LocalFree) and count; NULL and 0 when there are none or they cannot
// be listed.
WCHAR (*EnumUsbPrintHardwareIds(HMODULE library, WORD& count))[kUsbIdUnits];
// The first current id that is none of the snapshot's, or NULL.
const WCHAR* FindNewHardwareId(const WCHAR (*snapshot)[kUsbIdUnits], WORD snapshotCount,
                               const WCHAR (*current)[kUsbIdUnits], WORD currentCount);
// One entry per device under Enum\USBPRINT (LocalFree); NULL when none.
UsbPortEntry* FindUsbPrintPortName(HMODULE library, DWORD& count);
// 1 when a USB printer not in the snapshot has arrived: its port and
// hardware id are stored in the context.
int CheckUsbPrinterArrived(const WCHAR (*snapshot)[kUsbIdUnits], WORD snapshotCount, SetupContext& ctx);

// Page 106, owned by the connection page: 1 when a USB printer was found
// (kind USB cable), 0 when the user gave up (kind network).
int ShowUsbConnectPage(HWND owner, SetupContext& ctx);
INT_PTR UsbConnectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The device instance of the stored hardware id: 1 found, 0 not found, -1
// the devices could not be listed.
int FindUsbDeviceInstance(SetupContext& ctx);

// Thread routine: closes the system's new-hardware window every second
// until the context's stop event is set.
DWORD CloseNewHardwareWindowThread(LPVOID context);
// Starts the closer unless it runs; 1 or 0.
int StartCloserThread(SetupContext& ctx);

}  // namespace installer
