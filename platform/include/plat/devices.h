// Devices of the machine: USB printers that are plugged in and out
// (plat::devices, `machine usb`, the scripted user's "usb" step), the
// SetupAPI calls that list and install them, DiInstallDevice of
// "newdev.dll" (from 6.0) and SetupCopyOEMInfW.
//
// A plugged printer is a device "USBPRINT\<id>\<instance>" under
// HKLM\SYSTEM\CurrentControlSet\Enum\USBPRINT with its "HardwareID", a
// "Control" subkey while it is present and "Device Parameters\PortName"; its
// port (USB00n, monitor "USB Monitor") exists from the first plug. Before 6.2
// a plug opens the system's new-hardware window; from 6.2 a plugged printer
// without a driver installs itself from the first driver-store package whose
// INF names its id (the driver when missing, and a printer as below). The
// machine's devices live in its root, so a plug by another process is seen here.
//
// Compatible drivers of a device are the lines of the INF named in the
// install parameters whose hardware-id fields name the device's id; the
// description is the model name. Installing the device gives it that driver
// and a printer on its port: a printer with that driver already on the port
// is taken over, otherwise one named like the driver is made. The printer
// gets printer data "PnPData"\"DeviceInstanceId".
#pragma once

#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/files.h"
#include "plat/machine.h"

using HDEVINFO = void*;
struct SP_DEVINFO_DATA {
  DWORD cbSize;
  BYTE ClassGuid[16];
  DWORD DevInst;
  ULONG_PTR Reserved;
};
struct SP_DEVINSTALL_PARAMS_W {
  DWORD cbSize;
  DWORD Flags;
  DWORD FlagsEx;
  HWND hwndParent;
  void* InstallMsgHandler;
  void* InstallMsgHandlerContext;
  void* FileQueue;
  ULONG_PTR ClassInstallReserved;
  DWORD Reserved;
  WCHAR DriverPath[MAX_PATH];
};
struct SP_DRVINFO_DATA_W {
  DWORD cbSize;
  DWORD DriverType;
  ULONG_PTR Reserved;
  WCHAR Description[256];
  WCHAR MfgName[256];
  WCHAR ProviderName[256];
  FILETIME DriverDate;
  DWORDLONG DriverVersion;
};
constexpr DWORD DIGCF_PRESENT = 0x00000002;
constexpr DWORD DIGCF_ALLCLASSES = 0x00000004;
constexpr DWORD SPDRP_HARDWAREID = 0x00000001;
constexpr DWORD SPDIT_COMPATDRIVER = 0x00000002;
constexpr DWORD DI_ENUMSINGLEINF = 0x00010000;
constexpr DWORD DI_NOFILECOPY = 0x01000000;
constexpr DWORD DI_FLAGSEX_USECLASSFORCOMPAT = 0x00002000;
constexpr UINT DIF_INSTALLDEVICE = 0x00000002;
constexpr DWORD SPOST_PATH = 1;
constexpr DWORD SP_COPY_NOOVERWRITE = 0x0000008;
constexpr DWORD ERROR_NO_SUCH_DEVINST = 0xE000020B;
constexpr DWORD ERROR_NO_DRIVER_SELECTED = 0xE0000203;
constexpr DWORD ERROR_NO_COMPAT_DRIVERS = 0xE0000228;
constexpr DWORD ERROR_INVALID_HANDLE_STATE = 1609;

extern "C" {
// Enumerator "USBPRINT" only; DIGCF_PRESENT leaves out unplugged devices.
PLATAPI HDEVINFO SetupDiGetClassDevsW(const void* classGuid, LPCWSTR enumerator, HWND parent, DWORD flags);
PLATAPI HDEVINFO SetupDiCreateDeviceInfoList(const void* classGuid, HWND parent);
PLATAPI BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);
// FALSE with ERROR_NO_MORE_ITEMS past the last device.
PLATAPI BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data);
// SPDRP_HARDWAREID: the ids as a list of zero-ended texts ended by an empty one.
PLATAPI BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, LPDWORD type,
                                               LPBYTE buffer, DWORD size, LPDWORD required);
PLATAPI BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR buffer, DWORD size,
                                         LPDWORD required);
PLATAPI BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, LPCWSTR instanceId, HWND parent, DWORD flags, SP_DEVINFO_DATA* data);
PLATAPI BOOL SetupDiSetSelectedDevice(HDEVINFO set, SP_DEVINFO_DATA* data);
PLATAPI BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params);
PLATAPI BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params);
PLATAPI BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType);
PLATAPI BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType, DWORD index,
                                    SP_DRVINFO_DATA_W* driver);
PLATAPI BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver);
PLATAPI BOOL SetupDiGetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver);
PLATAPI BOOL SetupDiInstallDevice(HDEVINFO set, SP_DEVINFO_DATA* data);
PLATAPI BOOL SetupDiCallClassInstaller(UINT function, HDEVINFO set, SP_DEVINFO_DATA* data);
// "newdev.dll" (6.0 and later).
PLATAPI BOOL DiInstallDevice(HWND parent, HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver, DWORD flags,
                             BOOL* needReboot);
// Copies the INF to C:\WINDOWS\inf\oemN.inf; the same INF again fails with
// ERROR_FILE_EXISTS and names the copy there is.
PLATAPI BOOL SetupCopyOEMInfW(LPCWSTR source, LPCWSTR mediaRoot, DWORD mediaType, DWORD style, LPWSTR destination,
                              DWORD destinationSize, LPDWORD required, LPWSTR* component);
}

namespace plat::devices {
struct UsbPrinter {
  std::u16string instanceId;  // "USBPRINT\<id>\<instance>"
  std::u16string hardwareId;
  std::u16string port;
  bool present = false;
  std::u16string driver;  // installed driver, empty when none
};
// Plugs a USB printer in (again); false for an id not starting with "USBPRINT\" or a bad port.
PLATAPI bool Plug(std::u16string_view hardwareId, std::u16string_view port);
PLATAPI bool Unplug(std::u16string_view hardwareId);
PLATAPI std::vector<UsbPrinter> UsbPrinters();
// The caption of the new-hardware window a plug opens on this system ("" from 6.2).
PLATAPI std::u16string NewHardwareCaption();
// New-hardware windows still open (closing one is recorded).
PLATAPI int OpenNewHardwareWindows();
}  // namespace plat::devices
