#include "installer/ports.h"

#include <cstring>
#include <vector>

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "installer/page_kit.h"

namespace installer {
namespace {

constexpr int kExistingRadio = 1034, kMonitorRadio = 1035, kIppRadio = 1036;
constexpr int kPortList = 1037, kMonitorList = 1038, kAddPortButton = 1039, kUrlEdit = 1040;

using NevoAddPortProc = BOOL (*)(LPCWSTR portName, DWORD level, BYTE* data);
using MonitorInstallProc = BOOL (*)(HWND, char* output, DWORD outputSize, const char* arguments, DWORD);

void PutDword(BYTE* at, DWORD value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(value >> (8 * i));
}

void PutText(BYTE* at, std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    at[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
    at[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
  }
}

template <std::size_t N>
void PutField(WCHAR (&field)[N], std::u16string_view text) {
  SetField(field, text.substr(0, N - 1));
}

PortKind KindOfPort(std::u16string_view name) {
  if (name.substr(0, 3) == u"LPT") return PortKind::Lpt;
  if (name.substr(0, 3) == u"COM") return PortKind::Com;
  if (name.substr(0, 5) == u"FILE:") return PortKind::File;
  return PortKind::Other;
}

// The local ports by name, as the spooler lists them; false when it cannot.
bool EnumPortNames(std::vector<std::u16string>& names) {
  DWORD needed = 0, returned = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &returned);
  if (needed == 0) return false;
  std::vector<BYTE> buffer(needed);
  if (!EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &returned)) return false;
  const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) names.emplace_back(Str(ports[i].pPortName));
  return true;
}

bool IsFaxPort(std::u16string_view name) { return name == u"SHRFAX:"; }

std::u16string ListText(HWND list, int row) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace

// Adds a port through a monitor's Xcv interface; the status of the call.
DWORD XcvAddPort(std::u16string_view monitor, const BYTE* data, DWORD size, bool& opened) {
  const std::u16string name = u",XcvMonitor " + std::u16string(monitor);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE xcv = nullptr;
  opened = OpenPrinterW(name.c_str(), &xcv, &defaults) != FALSE;
  if (!opened) return GetLastError();
  DWORD needed = 0, status = 0;
  const BOOL called = XcvDataW(xcv, u"AddPort", const_cast<BYTE*>(data), size, nullptr, 0, &needed, &status);
  const DWORD error = called ? status : GetLastError();
  ClosePrinter(xcv);
  return error;
}

bool FillIppPortData(NevoIppPortData& data, std::u16string_view url) {
  std::memset(data.bytes, 0, sizeof data.bytes);
  if (url.size() > 256) return false;
  PutDword(data.bytes, kIppPortDataSize);
  PutText(data.bytes + kIppUrlOffset, url);
  PutDword(data.bytes + kIppEnableProxyOffset, 0);
  PutDword(data.bytes + kIppProxyPortOffset, 0);
  PutDword(data.bytes + kIppTimeoutOffset, 180000);
  return true;
}

int AddTcpIpPort(std::u16string_view portName, std::u16string_view address) {
  PORT_DATA_1 port{};
  PutField(port.sztPortName, portName);
  port.dwVersion = 1;
  port.dwProtocol = 2;  // LPR
  port.cbSize = sizeof port;
  PutField(port.sztHostAddress, address);
  PutField(port.sztSNMPCommunity, u"marnit");
  port.dwDoubleSpool = 1;
  PutField(port.sztQueue, u"lp");
  PutField(port.sztIPAddress, address);
  port.dwPortNumber = 515;
  port.dwSNMPEnabled = 0;
  port.dwSNMPDevIndex = 1;
  bool opened = false;
  const DWORD status = XcvAddPort(u"Standard TCP/IP Port", reinterpret_cast<const BYTE*>(&port), sizeof port, opened);
  if (status == ERROR_SUCCESS || status == ERROR_DUP_NAME || status == ERROR_ALREADY_EXISTS) return 1;
  ShowSystemError(status);
  return 0;
}

int EnumPortList(PortListEntry* entries, DWORD& count, HMODULE) {
  std::vector<std::u16string> names;
  count = 0;
  if (!EnumPortNames(names)) return 0;
  for (const std::u16string& name : names) {
    if (IsFaxPort(name) || name.empty() || name.size() >= kPathUnits) continue;
    if (entries) {
      SetField(entries[count].name, name);
      entries[count].kind = KindOfPort(name);
    }
    ++count;
  }
  if (entries) entries[count] = PortListEntry{};
  return static_cast<int>(count);
}

void FillPortList(HWND page, SetupContext& ctx) {
  DWORD count = 0;
  EnumPortList(nullptr, count, ctx.languageLibrary);
  auto* entries = static_cast<PortListEntry*>(LocalAlloc(LPTR, sizeof(PortListEntry) * (count + 1)));
  if (!entries) {
    ReportAllocFailure(ctx.languageLibrary);
    return;
  }
  DWORD filled = 0;
  EnumPortList(entries, filled, ctx.languageLibrary);
  HWND list = GetDlgItem(page, kPortList);
  for (PortKind kind : {PortKind::Lpt, PortKind::Com, PortKind::File, PortKind::Other}) {
    for (DWORD i = 0; i < filled && i <= count; ++i)
      if (entries[i].kind == kind && entries[i].name[0])
        SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entries[i].name));
  }
  LocalFree(entries);
  LRESULT row = SendMessageW(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(ctx.portName));
  if (!ctx.portName[0] || row < 0) row = 0;
  SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
}

int EnumMonitorList(DWORD& count, std::u16string* names, HMODULE) {
  count = 0;
  DWORD needed = 0, returned = 0;
  EnumMonitorsW(nullptr, 2, nullptr, 0, &needed, &returned);
  if (needed == 0) return 0;
  std::vector<BYTE> buffer(needed);
  if (!EnumMonitorsW(nullptr, 2, buffer.data(), needed, &needed, &returned)) return 0;
  const auto* monitors = reinterpret_cast<const MONITOR_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < returned; ++i) {
    const std::u16string_view name = Str(monitors[i].pName);
    if (name == u"WSD Port" || name == u"Microsoft Shared Fax Monitor") continue;
    if (names) names[count] = std::u16string(name);
    ++count;
  }
  return 1;
}

void FillMonitorList(HWND page, SetupContext& ctx) {
  DWORD count = 0;
  if (!EnumMonitorList(count, nullptr, ctx.languageLibrary)) return;
  std::vector<std::u16string> names(count);
  if (!EnumMonitorList(count, names.data(), ctx.languageLibrary)) return;
  for (const auto& name : names) SendDlgItemMessageW(page, kMonitorList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  SendDlgItemMessageW(page, kMonitorList, LB_SETCURSEL, 0, 0);
}

int FindAddedPort(SetupContext& ctx, HWND page) {
  std::vector<std::u16string> names;
  if (!EnumPortNames(names)) return 0;
  HWND list = GetDlgItem(page, kPortList);
  const int rows = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (it->empty() || IsFaxPort(*it)) continue;
    bool listed = false;
    for (int row = 0; row < rows && !listed; ++row) listed = ListText(list, row) == *it;
    if (!listed && SetField(ctx.portName, *it)) return 1;
  }
  return 0;
}

int CallNevoAddPort(std::u16string_view portName, std::u16string_view resourceFolder, NevoIppPortData& data) {
  const std::u16string path = std::u16string(resourceFolder) + u"Nevopcfg.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return 0;
  int result = 0;
  if (auto add = reinterpret_cast<NevoAddPortProc>(GetProcAddress(library, "NevoAddPortW"))) {
    const std::u16string name(portName);
    result = add(name.c_str(), 1, data.bytes);
  }
  FreeLibrary(library);
  return result;
}

int AddIppPortFromUrl(SetupContext& ctx, std::u16string_view url) {
  NevoIppPortData data;
  if (url.size() > kMaxIppUrl || !FillIppPortData(data, url)) return 0;
  const std::u16string port = u"NEVO_" + std::u16string(url);
  if (port.size() >= std::size(ctx.portName)) return 0;
  // The name is the stored port's only once the library made the port.
  const int result = CallNevoAddPort(port, Str(ctx.resourceFolder), data);
  if (result) SetField(ctx.portName, port);
  return result;
}

int InstallQp4wPortMonitor(const SetupContext& ctx) {
  const std::u16string path = std::u16string(Str(ctx.resourceFolder)) + u"QP4WInst.dll";
  HMODULE library = LoadLibraryW(path.c_str());
  if (!library) return 0;
  int result = 1;
  if (auto install = reinterpret_cast<MonitorInstallProc>(GetProcAddress(library, "Qp4wPortMonitorInstall"))) {
    const std::u16string argument = (u"-L" + std::u16string(Str(ctx.languageValue))).substr(0, 19);
    char ansi[20] = {};
    WideCharToMultiByte(CP_THREAD_ACP, 0, argument.c_str(), -1, ansi, 20, nullptr, nullptr);
    ansi[19] = 0;
    char output[256] = {};
    result = install(nullptr, output, 256, ansi, 0);
  }
  FreeLibrary(library);
  return result;
}

int AddUsbMemoryPort(std::u16string_view folderName, WCHAR (&portName)[kPathUnits]) {
  // The folder name comes from the language library: one plain folder name.
  if (folderName.empty() || folderName.find_first_of(u"\\/:*?\"<>|") != std::u16string_view::npos ||
      folderName == u"." || folderName == u"..")
    return 0;
  WCHAR windows[kPathUnits] = {};
  if (!GetWindowsDirectoryW(windows, kPathUnits) || windows[1] != u':') return 0;
  const std::u16string folder = std::u16string(Str(windows).substr(0, 2)) + u"\\" + std::u16string(folderName);
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    ShowSystemError(GetLastError());
    return 0;
  }
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(folder.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
  const std::u16string port = folder + u"\\USBMemory";
  if (port.size() >= kPathUnits) return 0;
  bool opened = false;
  const DWORD status = XcvAddPort(u"Local Port", reinterpret_cast<const BYTE*>(port.c_str()),
                                  static_cast<DWORD>((port.size() + 1) * sizeof(WCHAR)), opened);
  if (!opened) {
    ShowSystemError(status);
    return 0;
  }
  if (status != ERROR_SUCCESS && status != ERROR_ALREADY_EXISTS) return 0;
  return SetField(portName, port) ? 1 : 0;
}

// ---- page 122 ----
int ShowPortSelectPage(HWND owner, SetupContext& ctx) {
  const INT_PTR result = DialogBoxParamW(ctx.languageLibrary, MAKEINTRESOURCEW(kPortSelectPage), owner,
                                         PortSelectPageProc, reinterpret_cast<LPARAM>(&ctx));
  if (result == 1) return 1;
  if (result != 2) FreeLanguageLibrary(ctx);
  return 0;
}

INT_PTR PortSelectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetupContext& ctx = AdoptContext(page, lParam);
    CentreOn(page, GetParent(page) ? GetParent(page) : page);
    if (ctx.type == 4) {
      HideItem(page, kIppRadio);
      HideItem(page, kUrlEdit);
    } else if (ctx.type == 1 && ctx.langStyle == 2) {
      SetDlgItemTextW(page, kUrlEdit, u"https://xxx.xxx.xxx.xxx/ipp/lp");
    }
    SendDlgItemMessageW(page, kUrlEdit, EM_LIMITTEXT, kMaxIppUrl, 0);
    CheckDlgButton(page, kExistingRadio, BST_CHECKED);
    EnableItem(page, kPortList, true);
    EnableItem(page, kMonitorList, false);
    EnableItem(page, kAddPortButton, false);
    EnableItem(page, kUrlEdit, false);
    FillPortList(page, ctx);
    FillMonitorList(page, ctx);
    return TRUE;
  }
  SetupContext* ctx = PageContext(page);
  if (!ctx || message != WM_COMMAND) return FALSE;
  const int id = LOWORD(wParam);
  switch (id) {
    case kExistingRadio:
    case kMonitorRadio:
    case kIppRadio: {
      EnableItem(page, kPortList, id == kExistingRadio);
      EnableItem(page, kMonitorList, id == kMonitorRadio);
      EnableItem(page, kAddPortButton, id == kMonitorRadio);
      EnableItem(page, kUrlEdit, id == kIppRadio);
      EnableItem(page, IDOK, id != kMonitorRadio);
      return TRUE;
    }
    case kUrlEdit: {
      if (HIWORD(wParam) != EN_CHANGE) return TRUE;
      WCHAR url[kMaxIppUrl + 1] = {};
      GetDlgItemTextW(page, kUrlEdit, url, kMaxIppUrl + 1);
      EnableItem(page, IDOK, url[0] && HasNonBlank(Str(url)));
      return TRUE;
    }
    case kAddPortButton: {
      HWND monitors = GetDlgItem(page, kMonitorList);
      const LRESULT row = SendMessageW(monitors, LB_GETCURSEL, 0, 0);
      if (row < 0) return TRUE;
      const std::u16string monitor = ListText(monitors, static_cast<int>(row));
      if (AddPortW(nullptr, page, const_cast<LPWSTR>(monitor.c_str())) && FindAddedPort(*ctx, page))
        EndDialog(page, 1);
      return TRUE;
    }
    case IDOK: {
      if (IsChecked(page, kExistingRadio)) {
        HWND list = GetDlgItem(page, kPortList);
        const LRESULT row = SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (row < 0 || !SetField(ctx->portName, ListText(list, static_cast<int>(row)))) return TRUE;
      } else if (IsChecked(page, kIppRadio)) {
        WCHAR url[kMaxIppUrl + 1] = {};
        GetDlgItemTextW(page, kUrlEdit, url, kMaxIppUrl + 1);
        if (!InstallQp4wPortMonitor(*ctx)) return TRUE;
        if (!AddIppPortFromUrl(*ctx, Str(url))) return TRUE;  // no port: the page stays
      } else {
        return TRUE;
      }
      EndDialog(page, 1);
      return TRUE;
    }
    case IDCANCEL: EndDialog(page, 2); return TRUE;
    default: return TRUE;
  }
}

}  // namespace installer
