// Ports and port monitors: the monitors' list, the ports' status and the
// Xcv interface that adds ports.
#include "plat/machine.h"
#include "plat/msgqueue.h"
#include "plat/strings.h"
#include "spooler_internal.h"
#include "window_internal.h"

using namespace plat::spool;

namespace plat::spool {

// The system's monitors, then the added ones; the fax and WSD monitors come with 6.0.
std::vector<std::u16string> MonitorNames(const Spooler& s) {
  std::vector<std::u16string> names{u"Local Port", u"Standard TCP/IP Port", u"USB Monitor"};
  if (plat::machine::GetOsProfile().major >= 6) {
    names.push_back(u"WSD Port");
    names.push_back(u"Microsoft Shared Fax Monitor");
  }
  names.insert(names.end(), s.monitors.begin(), s.monitors.end());
  return names;
}

bool KnownMonitor(const Spooler& s, std::u16string_view name) {
  for (const auto& m : MonitorNames(s))
    if (plat::EqualsNoCase(m, name)) return true;
  return false;
}

}  // namespace plat::spool

extern "C" {

BOOL EnumPortsW(LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (level != 2 || !needed || !returned) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  auto& s = Spl();
  SplLock lock(s);
  std::vector<std::pair<std::u16string, std::u16string>> ports;  // name, monitor
  for (const auto& [key, st] : s.ports) ports.emplace_back(st.name.empty() ? key : st.name, st.monitor);
  if (plat::machine::GetOsProfile().major >= 6 && !s.ports.count(Folded(u"SHRFAX:")))
    ports.emplace_back(u"SHRFAX:", u"Microsoft Shared Fax Monitor");
  *returned = 0;
  const BOOL ok = PackInto(buffer, size, needed, sizeof(PORT_INFO_2W) * ports.size(), [&](Packer& k, BYTE* out) {
    for (std::size_t i = 0; i < ports.size(); ++i) {
      LPWSTR name = k.String(ports[i].first);
      LPWSTR monitor = k.String(ports[i].second);
      LPWSTR description = k.String(ports[i].second);
      if (!out) continue;
      auto* info = reinterpret_cast<PORT_INFO_2W*>(out) + i;
      *info = PORT_INFO_2W{name, monitor, description, PORT_TYPE_WRITE, 0};
    }
  });
  if (ok) *returned = static_cast<DWORD>(ports.size());
  return ok;
}

BOOL EnumMonitorsW(LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (level != 2 || !needed || !returned) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  auto& s = Spl();
  SplLock lock(s);
  const std::vector<std::u16string> names = MonitorNames(s);
  *returned = 0;
  const BOOL ok = PackInto(buffer, size, needed, sizeof(MONITOR_INFO_2W) * names.size(), [&](Packer& k, BYTE* out) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      LPWSTR name = k.String(names[i]);
      LPWSTR environment = k.String(u"Windows x64");
      LPWSTR dll = k.String(u"localspl.dll");
      if (!out) continue;
      reinterpret_cast<MONITOR_INFO_2W*>(out)[i] = MONITOR_INFO_2W{name, environment, dll};
    }
  });
  if (ok) *returned = static_cast<DWORD>(names.size());
  return ok;
}

BOOL AddMonitorW(LPWSTR, DWORD level, LPBYTE info) {
  const auto* m = reinterpret_cast<const MONITOR_INFO_2W*>(info);
  if (level != 2 || !m || !m->pName || !*m->pName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto& s = Spl();
  SplLock lock(s);
  if (KnownMonitor(s, plat::view(m->pName))) {
    SetLastError(ERROR_PRINT_MONITOR_ALREADY_INSTALLED);
    return FALSE;
  }
  lock.Changed();
  s.monitors.emplace_back(plat::view(m->pName));
  return TRUE;
}

BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, BYTE* input, DWORD inputSize, BYTE*, DWORD, LPDWORD needed,
              LPDWORD status) {
  std::u16string monitor;
  {
    auto& s = Spl();
    SplLock lock(s);
    auto it = s.handles.find(xcv);
    if (it == s.handles.end() || it->second.xcvMonitor.empty()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    monitor = it->second.xcvMonitor;
  }
  if (!dataName || !status) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (needed) *needed = 0;
  if (plat::view(dataName) != u"AddPort") {
    *status = ERROR_NOT_SUPPORTED_XCV;
    return TRUE;
  }
  auto text = [&](std::size_t offset, std::size_t units) {
    std::u16string out;
    for (std::size_t i = 0; i < units; ++i) {
      const char16_t c = static_cast<char16_t>(input[offset + 2 * i] | (input[offset + 2 * i + 1] << 8));
      if (c == 0) break;
      out += c;
    }
    return out;
  };
  auto dword = [&](std::size_t offset) {
    return static_cast<DWORD>(input[offset] | (input[offset + 1] << 8) | (input[offset + 2] << 16) |
                              (static_cast<DWORD>(input[offset + 3]) << 24));
  };
  plat::spooler::PortStatus port;
  port.monitor = monitor;
  if (plat::EqualsNoCase(monitor, u"Standard TCP/IP Port")) {
    constexpr DWORD kPortData1 = 964;
    if (!input || inputSize < kPortData1 || dword(136) != kPortData1) {
      *status = ERROR_INVALID_DATA;
      return TRUE;
    }
    port.name = text(0, 64);
    port.version = dword(128);
    port.protocol = dword(132);
    port.hostAddress = text(144, 49);
    port.community = text(242, 33);
    port.doubleSpool = dword(308);
    port.queue = text(312, 33);
    port.ipAddress = text(378, 16);
    port.portNumber = dword(952);
    port.snmpEnabled = dword(956);
    port.snmpIndex = dword(960);
  } else if (plat::EqualsNoCase(monitor, u"Local Port")) {
    if (!input || inputSize < 2 || inputSize % 2) {
      *status = ERROR_INVALID_DATA;
      return TRUE;
    }
    port.name = text(0, inputSize / 2);
  } else {
    *status = ERROR_NOT_SUPPORTED_XCV;
    return TRUE;
  }
  if (port.name.empty()) {
    *status = ERROR_INVALID_DATA;
    return TRUE;
  }
  *status = plat::spooler::AddPortOf(port) ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS;
  return TRUE;
}

BOOL SetPortW(LPCWSTR server, LPCWSTR portName, DWORD level, LPBYTE info) {
  if (server && *server) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!portName || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.ports.find(Folded(plat::view(portName)));
  if (it == s.ports.end()) {
    SetLastError(ERROR_UNKNOWN_PORT);
    return FALSE;
  }
  const auto* pi = reinterpret_cast<const PORT_INFO_3W*>(info);
  it->second.status = pi->dwStatus;
  it->second.text = std::u16string(plat::view(pi->pszStatus));
  it->second.severity = pi->dwSeverity;
  ++it->second.setCount;
  return TRUE;
}

}  // extern "C"

namespace plat::spooler {

std::optional<PortStatus> PortStatusOf(std::u16string_view port) {
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.ports.find(Folded(port));
  if (it == s.ports.end()) return std::nullopt;
  return it->second;
}

bool AddPort(std::u16string_view name) {
  if (name.empty()) return false;
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  auto [it, fresh] = s.ports.try_emplace(Folded(name));
  if (fresh) it->second.name = std::u16string(name);
  return fresh;
}

bool AddPortOf(const PortStatus& port) {
  if (port.name.empty()) return false;
  auto& s = Spl();
  SplLock lock(s);
  auto [it, fresh] = s.ports.try_emplace(Folded(port.name), port);
  if (fresh) lock.Changed();
  return fresh;
}

std::vector<std::u16string> Monitors() {
  auto& s = Spl();
  SplLock lock(s);
  return MonitorNames(s);
}

std::vector<std::u16string> Ports() {
  auto& s = Spl();
  SplLock lock(s);
  std::vector<std::u16string> out;
  for (const auto& [key, status] : s.ports) out.push_back(status.name.empty() ? key : status.name);
  return out;
}

}  // namespace plat::spooler

namespace {
INT_PTR CALLBACK PortNameProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return message == WM_INITDIALOG ? TRUE : FALSE;
  if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
  return TRUE;
}
}  // namespace

// The port-name dialog of the Local Port monitor, then the port.
extern "C" BOOL AddPortW(LPWSTR, HWND window, LPWSTR monitor) {
  bool known = false;
  for (const auto& m : plat::spooler::Monitors()) known = known || (monitor && plat::EqualsNoCase(m, plat::view(monitor)));
  if (!known) {
    SetLastError(ERROR_UNKNOWN_PRINT_MONITOR);
    return FALSE;
  }
  constexpr int kNameEdit = 1000;
  HWND dialog = plat::CreateHeadlessDialog({{kNameEdit, plat::ControlKind::Edit, u""},
                                            {IDOK, plat::ControlKind::Button, u"OK"},
                                            {IDCANCEL, plat::ControlKind::Button, u"Cancel"}},
                                           PortNameProc);
  SetWindowTextW(dialog, u"Port Name");
  const bool ownerEnabled = window && IsWindowEnabled(window);
  if (ownerEnabled) EnableWindow(window, FALSE);
  plat::internal::RunModalLoop(plat::ui::Screen::Kind::Dialog, dialog, 0, [dialog] { EndDialog(dialog, IDCANCEL); });
  if (ownerEnabled) EnableWindow(window, TRUE);
  WCHAR name[MAX_PATH] = {};
  GetDlgItemTextW(dialog, kNameEdit, name, MAX_PATH);
  const bool ok = plat::internal::EndResult(dialog) == IDOK && name[0];
  DestroyWindow(dialog);
  if (!ok) {
    SetLastError(ERROR_CANCELLED);
    return FALSE;
  }
  plat::spooler::PortStatus port;
  port.name = plat::view(name);
  port.monitor = plat::view(monitor);
  if (!plat::spooler::AddPortOf(port)) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  return TRUE;
}
