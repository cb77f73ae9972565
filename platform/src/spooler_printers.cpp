// Printers and their data: opening, reading and changing a printer.
#include <algorithm>
#include <cstring>

#include "plat/services.h"
#include "plat/strings.h"
#include "spooler_internal.h"

using namespace plat::spool;

namespace plat::spool {

Spooler& Spl() {
  static Spooler* s = new Spooler;  // lives as long as the process; handles may be closed late
  return *s;
}

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = plat::FoldCase(c);
  return out;
}

std::shared_ptr<Printer> FindPrinter(Spooler& s, std::u16string_view name) {
  auto it = s.printers.find(Folded(name));
  return it == s.printers.end() ? nullptr : it->second;
}

// A DEVMODE is as long as its two size fields say; anything else is refused.
bool DevmodeLength(const BYTE* dm, size_t available, size_t& length) {
  if (available < offsetof(DEVMODEW, dmFields)) return false;
  const auto* d = reinterpret_cast<const DEVMODEW*>(dm);
  if (d->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD) || d->dmSize > sizeof(DEVMODEW)) return false;
  length = static_cast<size_t>(d->dmSize) + d->dmDriverExtra;
  return length <= available;
}

// The handle's record, or the error for a call that needs one of the rights in `need`.
DWORD Use(Spooler& s, HANDLE h, ACCESS_MASK need, OpenHandle*& out) {
  auto it = s.handles.find(h);
  if (it == s.handles.end() || !it->second.printer || it->second.printer->removed) return ERROR_INVALID_HANDLE;
  if (!(it->second.access & need)) return ERROR_ACCESS_DENIED;
  if (need == PRINTER_ACCESS_ADMINISTER && it->second.printer->adminDenied) return ERROR_ACCESS_DENIED;
  out = &it->second;
  return ERROR_SUCCESS;
}

DataEntry* FindData(Printer& p, std::u16string_view name) {
  auto it = p.dataIndex.find(Folded(name));
  return it == p.dataIndex.end() ? nullptr : &p.data[it->second];
}

void SetDataEntry(Printer& p, std::u16string_view name, DWORD type, std::vector<BYTE> bytes) {
  auto [it, added] = p.dataIndex.try_emplace(Folded(name), p.data.size());
  if (added) {
    p.data.push_back(DataEntry{std::u16string(name), type, std::move(bytes)});
  } else {
    p.data[it->second].type = type;
    p.data[it->second].bytes = std::move(bytes);
  }
}

bool EraseDataEntry(Printer& p, std::u16string_view name) {
  auto it = p.dataIndex.find(Folded(name));
  if (it == p.dataIndex.end()) return false;
  const std::size_t at = it->second;
  p.dataIndex.erase(it);
  p.data.erase(p.data.begin() + static_cast<std::ptrdiff_t>(at));
  for (auto& [key, place] : p.dataIndex)
    if (place > at) --place;
  return true;
}

}  // namespace plat::spool

extern "C" {

BOOL OpenPrinterW(LPCWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  if (!printer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *printer = nullptr;
  if (!plat::services::SpoolerRunning()) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
  }
  auto& s = Spl();
  SplLock lock(s);
  constexpr std::u16string_view kXcv = u",XcvMonitor ";
  if (printerName && plat::view(printerName).substr(0, kXcv.size()) == kXcv) {
    const std::u16string monitor(plat::view(printerName).substr(kXcv.size()));
    if (!KnownMonitor(s, monitor)) {
      SetLastError(ERROR_INVALID_PRINTER_NAME);
      return FALSE;
    }
    HANDLE h = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 8;
    s.handles[h] = OpenHandle{nullptr, defaults ? defaults->DesiredAccess : 0, 0, monitor};
    *printer = h;
    return TRUE;
  }
  auto p = printerName ? FindPrinter(s, plat::view(printerName)) : nullptr;
  if (!p || p->pendingDeletion) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  ACCESS_MASK access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
  if ((access & PRINTER_ACCESS_ADMINISTER) && p->adminDenied) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  HANDLE h = reinterpret_cast<HANDLE>(s.nextHandle);
  s.nextHandle += 8;
  s.handles[h] = OpenHandle{p, access, 0, {}};
  *printer = h;
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.handles.find(printer);
  if (it == s.handles.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::shared_ptr<Printer> p = it->second.printer;
  s.handles.erase(it);
  if (p && p->pendingDeletion && !p->removed) {
    const bool open = std::any_of(s.handles.begin(), s.handles.end(), [&](const auto& h) { return h.second.printer == p; });
    if (!open) {
      lock.Changed();
      p->removed = true;
      DropSpool(*p);
      s.printers.erase(Folded(p->name));
    }
  }
  return TRUE;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (!needed || (!buffer && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleCall call(printer, kRead);
  if (call.Failed()) return FALSE;
  OpenHandle* h = &call.handle();
  const Printer& p = *h->printer;
  if (level == 2) {
    return PackInto(buffer, size, needed, sizeof(PRINTER_INFO_2W), [&](Packer& k, BYTE* out) {
      auto* info = reinterpret_cast<PRINTER_INFO_2W*>(out);
      BYTE* dm = p.devmode.empty() ? nullptr : k.Blob(p.devmode);
      LPWSTR name = k.String(p.name);
      LPWSTR share = k.String(u"");
      LPWSTR port = k.String(p.port);
      LPWSTR driver = k.String(p.driver.name);
      LPWSTR comment = k.String(p.comment);
      LPWSTR location = k.String(p.location);
      LPWSTR sepFile = k.String(p.sepFile);
      LPWSTR processor = k.String(p.processor);
      LPWSTR datatype = k.String(p.datatype.empty() ? p.driver.defaultDataType : p.datatype);
      LPWSTR parameters = k.String(p.parameters);
      if (!info) return;
      info->pPrinterName = name;
      info->pShareName = share;
      info->pPortName = port;
      info->pDriverName = driver;
      info->pComment = comment;
      info->pLocation = location;
      info->pDevMode = reinterpret_cast<DEVMODEW*>(dm);
      info->pSepFile = sepFile;
      info->pPrintProcessor = processor;
      info->pDatatype = datatype;
      info->pParameters = parameters;
      info->Attributes = p.attributes;
      info->Priority = p.priority;
      info->DefaultPriority = p.defaultPriority;
      info->StartTime = p.startTime;
      info->UntilTime = p.untilTime;
      info->Status = p.pendingDeletion ? PRINTER_STATUS_PENDING_DELETION : 0;
      info->cJobs = h->job ? 1 : 0;
    });
  }
  if (level == 8) {
    return PackInto(buffer, size, needed, sizeof(PRINTER_INFO_8W), [&](Packer& k, BYTE* out) {
      BYTE* dm = p.devmode.empty() ? nullptr : k.Blob(p.devmode);
      if (out) reinterpret_cast<PRINTER_INFO_8W*>(out)->pDevMode = reinterpret_cast<DEVMODEW*>(dm);
    });
  }
  if (level == 4) {
    return PackInto(buffer, size, needed, sizeof(PRINTER_INFO_4W), [&](Packer& k, BYTE* out) {
      LPWSTR name = k.String(p.name);
      if (!out) return;
      auto* info = reinterpret_cast<PRINTER_INFO_4W*>(out);
      info->pPrinterName = name;
      info->Attributes = PRINTER_ATTRIBUTE_LOCAL;
    });
  }
  SetLastError(ERROR_INVALID_LEVEL);
  return FALSE;
}

BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command) {
  HandleCall call(printer, PRINTER_ACCESS_ADMINISTER, true);
  if (call.Failed()) return FALSE;
  OpenHandle* h = &call.handle();
  if (level == 0) {
    // Purging drops the queued jobs; what was written already stays printed.
    if (info || command != PRINTER_CONTROL_PURGE) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    h->printer->cancelled = false;
    return TRUE;
  }
  if (level != 2 && level != 8) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!info || command != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DEVMODEW* devmode = level == 2 ? reinterpret_cast<const PRINTER_INFO_2W*>(info)->pDevMode
                                       : reinterpret_cast<const PRINTER_INFO_8W*>(info)->pDevMode;
  if (level == 8 && !devmode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (devmode) {
    // The caller vouches for dmSize + dmDriverExtra bytes; the header itself must be sane.
    const auto* d = devmode;
    if (d->dmSize < offsetof(DEVMODEW, dmFields) + sizeof(DWORD) || d->dmSize > sizeof(DEVMODEW)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    const auto* dm = reinterpret_cast<const BYTE*>(d);
    const size_t length = static_cast<size_t>(d->dmSize) + d->dmDriverExtra;
    h->printer->devmode.assign(dm, dm + length);
  }
  return TRUE;
}

BOOL GetPrinterDriverW(HANDLE printer, LPCWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                       LPDWORD needed) {
  if (!needed || (!buffer && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HandleCall call(printer, kRead);
  if (call.Failed()) return FALSE;
  OpenHandle* h = &call.handle();
  const auto& d = h->printer->driver;
  if (environment && !plat::EqualsNoCase(plat::view(environment), d.environment)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  if (level != 3) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  return PackInto(buffer, size, needed, sizeof(DRIVER_INFO_3W), [&](Packer& k, BYTE* out) {
    DRIVER_INFO_3W v{};
    v.cVersion = d.version;
    v.pName = k.String(d.name);
    v.pEnvironment = k.String(d.environment);
    v.pDriverPath = k.String(d.driverPath);
    v.pDataFile = k.String(d.dataFile);
    v.pConfigFile = k.String(d.configFile);
    v.pHelpFile = k.String(d.helpFile);
    v.pDependentFiles = k.MultiString(d.dependentFiles);
    v.pMonitorName = k.String(d.monitorName);
    v.pDefaultDataType = k.String(d.defaultDataType);
    if (out) std::memcpy(out, &v, sizeof v);
  });
}

DWORD GetPrinterDataW(HANDLE printer, LPCWSTR valueName, LPDWORD type, LPBYTE data, DWORD size, LPDWORD needed) {
  if (!needed || !valueName || (!data && size)) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, kRead);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  const DataEntry* v = FindData(*h->printer, plat::view(valueName));
  if (!v) return ERROR_FILE_NOT_FOUND;
  const auto need = static_cast<DWORD>(v->bytes.size());
  *needed = need;
  if (type) *type = v->type;
  if (size < need) return ERROR_MORE_DATA;
  if (need) std::memcpy(data, v->bytes.data(), need);
  return ERROR_SUCCESS;
}

DWORD GetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                        LPDWORD needed) {
  if (!needed || !keyName || !valueName || (!data && size)) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, kRead);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  auto it = h->printer->keyed.find(Folded(std::u16string(plat::view(keyName)) + u"\\" + std::u16string(plat::view(valueName))));
  if (it == h->printer->keyed.end()) return ERROR_FILE_NOT_FOUND;
  const auto need = static_cast<DWORD>(it->second.bytes.size());
  *needed = need;
  if (type) *type = it->second.type;
  if (size < need) return ERROR_MORE_DATA;
  if (need) std::memcpy(data, it->second.bytes.data(), need);
  return ERROR_SUCCESS;
}

DWORD SetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, DWORD type, const BYTE* data, DWORD size) {
  if (!keyName || !*keyName || !valueName || (!data && size)) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, PRINTER_ACCESS_ADMINISTER, true);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  DataEntry entry;
  entry.name = std::u16string(plat::view(keyName)) + u"\\" + std::u16string(plat::view(valueName));
  entry.type = type;
  entry.bytes.assign(data, data + size);
  h->printer->keyed[Folded(entry.name)] = entry;
  return ERROR_SUCCESS;
}

DWORD SetPrinterDataW(HANDLE printer, LPCWSTR valueName, DWORD type, const BYTE* data, DWORD size) {
  if (!valueName || !*valueName || (!data && size)) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, PRINTER_ACCESS_ADMINISTER, true);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  SetDataEntry(*h->printer, plat::view(valueName), type, std::vector<BYTE>(data, data + size));
  return ERROR_SUCCESS;
}

DWORD DeletePrinterDataW(HANDLE printer, LPCWSTR valueName) {
  if (!valueName) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, PRINTER_ACCESS_ADMINISTER, true);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  return EraseDataEntry(*h->printer, plat::view(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD EnumPrinterDataW(HANDLE printer, DWORD index, LPWSTR valueName, DWORD nameSize, LPDWORD nameNeeded,
                       LPDWORD type, LPBYTE data, DWORD dataSize, LPDWORD dataNeeded) {
  if (!nameNeeded || !dataNeeded || (!valueName && nameSize) || (!data && dataSize)) return ERROR_INVALID_PARAMETER;
  HandleCall call(printer, kRead);
  if (call.error()) return call.error();
  OpenHandle* h = &call.handle();
  const auto& list = h->printer->data;
  if (nameSize == 0 && dataSize == 0) {
    size_t name = 0, bytes = 0;
    for (const auto& d : list) {
      name = std::max(name, (d.name.size() + 1) * sizeof(WCHAR));
      bytes = std::max(bytes, d.bytes.size());
    }
    *nameNeeded = static_cast<DWORD>(name);
    *dataNeeded = static_cast<DWORD>(bytes);
    return ERROR_SUCCESS;
  }
  if (index >= list.size()) return ERROR_NO_MORE_ITEMS;
  const DataEntry& d = list[index];
  const auto nameBytes = static_cast<DWORD>((d.name.size() + 1) * sizeof(WCHAR));
  const auto need = static_cast<DWORD>(d.bytes.size());
  *nameNeeded = nameBytes;
  *dataNeeded = need;
  if (nameSize < nameBytes || dataSize < need) return ERROR_MORE_DATA;
  std::memcpy(valueName, d.name.c_str(), nameBytes);
  if (type) *type = d.type;
  if (need) std::memcpy(data, d.bytes.data(), need);
  return ERROR_SUCCESS;
}

}  // extern "C"

namespace plat::spooler {

bool AddPrinter(const PrinterSetup& setup) {
  if (setup.name.empty()) return false;
  size_t length = 0;
  if (!setup.devmode.empty() && (!DevmodeLength(setup.devmode.data(), setup.devmode.size(), length) ||
                                 length != setup.devmode.size()))
    return false;
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  auto key = Folded(setup.name);
  if (s.printers.count(key)) return false;
  auto p = std::make_shared<Printer>();
  p->name = setup.name;
  p->port = setup.port;
  p->driver = setup.driver;
  p->devmode = setup.devmode;
  s.printers[key] = p;
  if (!setup.port.empty()) {
    auto [it, fresh] = s.ports.try_emplace(Folded(setup.port));
    if (fresh) it->second.name = setup.port;
  }
  return true;
}

bool RemovePrinter(std::u16string_view name) {
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  auto it = s.printers.find(Folded(name));
  if (it == s.printers.end()) return false;
  it->second->removed = true;
  DropSpool(*it->second);
  s.printers.erase(it);
  return true;
}

void Reset() {
  auto& s = Spl();
  SplLock lock(s);
  lock.Changed();
  for (auto& [key, p] : s.printers) {
    p->removed = true;
    DropSpool(*p);
  }
  s.printers.clear();
  s.ports.clear();
  s.handles.clear();
  s.drivers.clear();
  s.processors.clear();
  s.forms.clear();
  s.lastJob = 0;
}

bool SetData(std::u16string_view printer, std::u16string_view valueName, DWORD type, std::vector<BYTE> bytes) {
  if (valueName.empty()) return false;
  NamedPrinterCall call(printer, true);
  Printer* p = call.printer();
  if (!p) return false;
  SetDataEntry(*p, valueName, type, std::move(bytes));
  return true;
}

std::optional<DataValue> GetData(std::u16string_view printer, std::u16string_view valueName) {
  NamedPrinterCall call(printer);
  Printer* p = call.printer();
  if (!p) return std::nullopt;
  const DataEntry* v = FindData(*p, valueName);
  if (!v) return std::nullopt;
  return DataValue{v->type, v->bytes};
}

std::vector<BYTE> Devmode(std::u16string_view printer) {
  NamedPrinterCall call(printer);
  Printer* p = call.printer();
  return p ? p->devmode : std::vector<BYTE>{};
}

bool SetAdministerDenied(std::u16string_view printer, bool denied) {
  NamedPrinterCall call(printer);
  Printer* p = call.printer();
  if (p) p->adminDenied = denied;
  return p != nullptr;
}

std::size_t OpenHandleCount() {
  auto& s = Spl();
  SplLock lock(s);
  return s.handles.size();
}

}  // namespace plat::spooler
