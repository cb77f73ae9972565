// Ports the installer creates or lets the user choose: Standard TCP/IP,
// IPP through the package's port configuration library, ports of a port
// monitor, and the local port of a USB memory.
#pragma once

#include <cstddef>
#include <string_view>

#include "installer/setup_context.h"

namespace installer {

// The platform's Standard TCP/IP port record (XcvData "AddPort").
struct PORT_DATA_1 {
  WCHAR sztPortName[64];
  DWORD dwVersion;
  DWORD dwProtocol;
  DWORD cbSize;
  DWORD dwReserved;
  WCHAR sztHostAddress[49];
  WCHAR sztSNMPCommunity[33];
  DWORD dwDoubleSpool;
  WCHAR sztQueue[33];
  WCHAR sztIPAddress[16];
  BYTE Reserved[540];
  DWORD dwPortNumber;
  DWORD dwSNMPEnabled;
  DWORD dwSNMPDevIndex;
};
static_assert(offsetof(PORT_DATA_1, sztPortName) == 0);
static_assert(offsetof(PORT_DATA_1, dwVersion) == 128);
static_assert(offsetof(PORT_DATA_1, dwProtocol) == 132);
static_assert(offsetof(PORT_DATA_1, cbSize) == 136);
static_assert(offsetof(PORT_DATA_1, dwReserved) == 140);
static_assert(offsetof(PORT_DATA_1, sztHostAddress) == 144);
static_assert(offsetof(PORT_DATA_1, sztSNMPCommunity) == 242);
static_assert(offsetof(PORT_DATA_1, dwDoubleSpool) == 308);
static_assert(offsetof(PORT_DATA_1, sztQueue) == 312);
static_assert(offsetof(PORT_DATA_1, sztIPAddress) == 378);
static_assert(offsetof(PORT_DATA_1, Reserved) == 410);
static_assert(offsetof(PORT_DATA_1, dwPortNumber) == 952);
static_assert(offsetof(PORT_DATA_1, dwSNMPEnabled) == 956);
static_assert(offsetof(PORT_DATA_1, dwSNMPDevIndex) == 960);
static_assert(sizeof(PORT_DATA_1) == 964);

// The record handed to NevoAddPortW, written byte by byte (little-endian,
// UTF-16 texts).
constexpr std::size_t kIppPortDataSize = 1052;
constexpr std::size_t kIppUrlOffset = 4, kIppUrlBytes = 520;
constexpr std::size_t kIppEnableProxyOffset = 524;
constexpr std::size_t kIppProxyNameOffset = 528, kIppProxyNameBytes = 514;
constexpr std::size_t kIppProxyPortOffset = 1044;
constexpr std::size_t kIppTimeoutOffset = 1048;
struct NevoIppPortData {
  BYTE bytes[kIppPortDataSize];
};
static_assert(sizeof(NevoIppPortData) == kIppPortDataSize);
static_assert(kIppUrlOffset + kIppUrlBytes == kIppEnableProxyOffset);
static_assert(kIppProxyNameOffset + kIppProxyNameBytes + 2 == kIppProxyPortOffset);
// Fills the record for a URL of at most 256 characters; false when longer.
bool FillIppPortData(NevoIppPortData& data, std::u16string_view url);

constexpr int kMaxIppUrl = 254;  // "NEVO_" + URL fits a 260-unit port name

// One port of the port list.
enum class PortKind : DWORD { Other = 0, Lpt = 1, Com = 2, File = 3 };
struct PortListEntry {
  WCHAR name[kPathUnits];
  PortKind kind;
};

// "NEVO_<address>" on the Standard TCP/IP monitor; an existing port of that
// name is used as it is. 1, or 0 after the system's text of the failure.
int AddTcpIpPort(std::u16string_view portName, std::u16string_view address);
// The local ports, classified, ended by an empty entry; "SHRFAX:" is left
// out. Count (entries without the end), or 0 when none can be listed.
// `entries` may be NULL to ask for the count; it holds count + 1 entries.
int EnumPortList(PortListEntry* entries, DWORD& count, HMODULE library);
// The port monitors except "WSD Port" and "Microsoft Shared Fax Monitor".
int EnumMonitorList(DWORD& count, std::u16string* names, HMODULE library);
// A port name no row of the port list holds and that was not there before
// (stored into the context): 1, else 0.
int FindAddedPort(SetupContext& ctx, HWND page);
// The IPP port for a URL: the record through "Nevopcfg.dll". The library's
// result (0 when it or its export is missing, or the URL is too long).
int AddIppPortFromUrl(SetupContext& ctx, std::u16string_view url);
int CallNevoAddPort(std::u16string_view portName, std::u16string_view resourceFolder, NevoIppPortData& data);
// Installs the port monitor of IPP ports through "QP4WInst.dll"; non-zero on success.
int InstallQp4wPortMonitor(const SetupContext& ctx);
// The hidden folder <Windows drive>\<folderName> and its local port
// "<folder>\USBMemory". 1 with the name, or 0.
int AddUsbMemoryPort(std::u16string_view folderName, WCHAR (&portName)[kPathUnits]);

// Page 122, owned by the search page: 1 when a port was chosen or made.
int ShowPortSelectPage(HWND owner, SetupContext& ctx);
INT_PTR PortSelectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
void FillPortList(HWND page, SetupContext& ctx);
void FillMonitorList(HWND page, SetupContext& ctx);

}  // namespace installer
