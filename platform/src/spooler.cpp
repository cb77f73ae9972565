#include "plat/spooler.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host_errors.h"
#include "plat/machine.h"
#include "plat/strings.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// A spool file of the printer: one per job, and one for writes made outside a job.
struct SpoolFile {
  DWORD job = 0;
  std::string host;
};

struct DataEntry {
  std::u16string name;
  DWORD type = 0;
  std::vector<BYTE> bytes;
};

struct Printer {
  std::u16string name;
  std::u16string port;
  plat::spooler::DriverInfo driver;
  std::vector<BYTE> devmode;
  std::vector<DataEntry> data;  // creation order, which the enumeration keeps
  std::unordered_map<std::u16string, std::size_t> dataIndex;  // folded name -> place in data
  // What WritePrinter wrote lives in spool files, as a spooler keeps it, in
  // write order; the last one stays open for appending.
  std::vector<SpoolFile> spool;
  std::unique_ptr<std::FILE, FileCloser> spoolOut;
  std::uint64_t outputBytes = 0;
  bool hasFault = false;
  plat::spooler::WriteFault fault;
  DWORD callsSinceFault = 0;
  bool cancelled = false;
  bool removed = false;
};

struct OpenHandle {
  std::shared_ptr<Printer> printer;
  ACCESS_MASK access = 0;
  DWORD job = 0;
};

struct Spooler {
  std::mutex mutex;
  std::map<std::u16string, std::shared_ptr<Printer>> printers;  // by folded name
  std::map<std::u16string, plat::spooler::PortStatus> ports;     // by folded name
  std::unordered_map<HANDLE, OpenHandle> handles;
  ULONG_PTR nextHandle = 0x10000;
  DWORD lastJob = 0;
};

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
  if (it == s.handles.end() || it->second.printer->removed) return ERROR_INVALID_HANDLE;
  if (!(it->second.access & need)) return ERROR_ACCESS_DENIED;
  out = &it->second;
  return ERROR_SUCCESS;
}
constexpr ACCESS_MASK kRead = PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER;

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

// The machine's spool folder (WINDOWS\System32\spool\PRINTERS), made when missing; "" when
// the Windows folder is on no drive of the machine.
std::string SpoolFolder() {
  WCHAR windows[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return "";
  std::u16string folder(windows, n);
  folder += u"\\System32\\spool\\PRINTERS";
  const std::string host = plat::machine::HostPath(folder);
  if (host.empty()) return "";
  std::error_code ec;
  std::filesystem::create_directories(host, ec);
  return ec ? "" : host;
}

void CloseSpool(Printer& p) {
  p.spoolOut.reset();
}

// Deletes the printer's spool files: its output is gone.
void DropSpool(Printer& p) {
  CloseSpool(p);
  std::error_code ec;
  for (const SpoolFile& f : p.spool) std::filesystem::remove(f.host, ec);
  p.spool.clear();
  p.outputBytes = 0;
}

// Appends to the spool file of the job (a new file when the job changes).
// ERROR_SUCCESS or why the bytes could not be kept.
DWORD AppendSpool(Printer& p, DWORD job, const BYTE* bytes, DWORD size) {
  if (p.spool.empty() || p.spool.back().job != job || !p.spoolOut) {
    CloseSpool(p);
    // A job that wrote before (another handle's job ran between) goes on in its own file.
    auto known = std::find_if(p.spool.begin(), p.spool.end(), [&](const SpoolFile& f) { return job != 0 && f.job == job; });
    if (known != p.spool.end()) std::rotate(known, known + 1, p.spool.end());
    if (p.spool.empty() || p.spool.back().job != job) {
      static std::atomic<unsigned> outsideJobs{0};
      const std::string folder = SpoolFolder();
      if (folder.empty()) return ERROR_PATH_NOT_FOUND;
      char name[64];
      if (job != 0) {
        std::snprintf(name, sizeof name, "/%05u.SPL", static_cast<unsigned>(job));
      } else {
        std::snprintf(name, sizeof name, "/NOJOB-%d-%u.SPL", static_cast<int>(::getpid()), ++outsideJobs);
      }
      std::FILE* f = std::fopen((folder + name).c_str(), "wb");
      if (f == nullptr) return plat::host::ErrnoToError(errno);
      p.spoolOut.reset(f);
      p.spool.push_back(SpoolFile{job, folder + name});
    } else {
      std::FILE* f = std::fopen(p.spool.back().host.c_str(), "ab");
      if (f == nullptr) return plat::host::ErrnoToError(errno);
      p.spoolOut.reset(f);
    }
  }
  if (size > 0 && std::fwrite(bytes, 1, size, p.spoolOut.get()) != size) {
    const DWORD error = plat::host::ErrnoToError(errno);
    CloseSpool(p);
    return error;
  }
  p.outputBytes += size;
  return ERROR_SUCCESS;
}

// Lays out a structure with its strings and blobs in a caller's buffer.
// Run once without a buffer to measure, then with the buffer to fill.
class Packer {
 public:
  Packer(BYTE* buffer, size_t fixed) : buffer_(buffer), used_(fixed) {}
  LPWSTR String(std::u16string_view s) {
    used_ = (used_ + 1) & ~size_t{1};
    size_t at = used_;
    used_ += (s.size() + 1) * sizeof(WCHAR);
    if (!buffer_) return nullptr;
    auto* out = reinterpret_cast<LPWSTR>(buffer_ + at);
    std::memcpy(out, s.data(), s.size() * sizeof(WCHAR));
    out[s.size()] = 0;
    return out;
  }
  // Several strings, each terminated, then an empty one.
  LPWSTR MultiString(const std::vector<std::u16string>& list) {
    used_ = (used_ + 1) & ~size_t{1};
    size_t at = used_;
    for (const auto& s : list) String(s);
    String(u"");
    return buffer_ ? reinterpret_cast<LPWSTR>(buffer_ + at) : nullptr;
  }
  BYTE* Blob(const std::vector<BYTE>& bytes) {
    used_ = (used_ + 7) & ~size_t{7};
    size_t at = used_;
    used_ += bytes.size();
    if (!buffer_) return nullptr;
    std::memcpy(buffer_ + at, bytes.data(), bytes.size());
    return buffer_ + at;
  }
  size_t used() const { return used_; }

 private:
  BYTE* buffer_;
  size_t used_;
};

template <typename Fill>
BOOL PackInto(LPBYTE buffer, DWORD size, LPDWORD needed, size_t fixed, Fill fill) {
  Packer measure(nullptr, fixed);
  fill(measure, nullptr);
  const size_t need = measure.used();
  *needed = static_cast<DWORD>(need);
  if (!buffer || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(buffer, 0, fixed);
  Packer packer(buffer, fixed);
  fill(packer, buffer);
  return TRUE;
}

}  // namespace

extern "C" {

BOOL OpenPrinterW(LPCWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults) {
  if (!printer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *printer = nullptr;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto p = printerName ? FindPrinter(s, plat::view(printerName)) : nullptr;
  if (!p) {
    SetLastError(ERROR_INVALID_PRINTER_NAME);
    return FALSE;
  }
  ACCESS_MASK access = defaults && defaults->DesiredAccess ? defaults->DesiredAccess : PRINTER_ACCESS_USE;
  HANDLE h = reinterpret_cast<HANDLE>(s.nextHandle);
  s.nextHandle += 8;
  s.handles[h] = OpenHandle{p, access, 0};
  *printer = h;
  return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (!s.handles.erase(printer)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (!needed || (!buffer && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, kRead, h)) {
    SetLastError(e);
    return FALSE;
  }
  const Printer& p = *h->printer;
  if (level == 2) {
    return PackInto(buffer, size, needed, sizeof(PRINTER_INFO_2W), [&](Packer& k, BYTE* out) {
      auto* info = reinterpret_cast<PRINTER_INFO_2W*>(out);
      BYTE* dm = p.devmode.empty() ? nullptr : k.Blob(p.devmode);
      LPWSTR name = k.String(p.name);
      LPWSTR share = k.String(u"");
      LPWSTR port = k.String(p.port);
      LPWSTR driver = k.String(p.driver.name);
      LPWSTR comment = k.String(u"");
      LPWSTR location = k.String(u"");
      LPWSTR sepFile = k.String(u"");
      LPWSTR processor = k.String(u"WinPrint");
      LPWSTR datatype = k.String(p.driver.defaultDataType);
      LPWSTR parameters = k.String(u"");
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
      info->Attributes = PRINTER_ATTRIBUTE_LOCAL;
      info->Priority = 1;
      info->DefaultPriority = 1;
      info->cJobs = h->job ? 1 : 0;
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
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_ADMINISTER, h)) {
    SetLastError(e);
    return FALSE;
  }
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!info || command != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2W*>(info);
  if (pi->pDevMode) {
    // The caller vouches for dmSize + dmDriverExtra bytes; the header itself must be sane.
    const auto* d = pi->pDevMode;
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
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, kRead, h)) {
    SetLastError(e);
    return FALSE;
  }
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
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, kRead, h)) return e;
  const DataEntry* v = FindData(*h->printer, plat::view(valueName));
  if (!v) return ERROR_FILE_NOT_FOUND;
  const auto need = static_cast<DWORD>(v->bytes.size());
  *needed = need;
  if (type) *type = v->type;
  if (size < need) return ERROR_MORE_DATA;
  if (need) std::memcpy(data, v->bytes.data(), need);
  return ERROR_SUCCESS;
}

DWORD SetPrinterDataW(HANDLE printer, LPCWSTR valueName, DWORD type, const BYTE* data, DWORD size) {
  if (!valueName || !*valueName || (!data && size)) return ERROR_INVALID_PARAMETER;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_ADMINISTER, h)) return e;
  SetDataEntry(*h->printer, plat::view(valueName), type, std::vector<BYTE>(data, data + size));
  return ERROR_SUCCESS;
}

DWORD DeletePrinterDataW(HANDLE printer, LPCWSTR valueName) {
  if (!valueName) return ERROR_INVALID_PARAMETER;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_ADMINISTER, h)) return e;
  return EraseDataEntry(*h->printer, plat::view(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD EnumPrinterDataW(HANDLE printer, DWORD index, LPWSTR valueName, DWORD nameSize, LPDWORD nameNeeded,
                       LPDWORD type, LPBYTE data, DWORD dataSize, LPDWORD dataNeeded) {
  if (!nameNeeded || !dataNeeded || (!valueName && nameSize) || (!data && dataSize)) return ERROR_INVALID_PARAMETER;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, kRead, h)) return e;
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
  std::lock_guard lock(s.mutex);
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

DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_USE, h)) {
    SetLastError(e);
    return 0;
  }
  if (level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return 0;
  }
  if (!docInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (h->job) {
    SetLastError(ERROR_INVALID_PRINTER_STATE);
    return 0;
  }
  h->job = ++s.lastJob;
  return h->job;
}

BOOL EndDocPrinter(HANDLE printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_USE, h)) {
    SetLastError(e);
    return FALSE;
  }
  if (!h->job) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  Printer& p = *h->printer;
  if (!p.spool.empty() && p.spool.back().job == h->job) CloseSpool(p);
  h->job = 0;
  return TRUE;
}

BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written) {
  if (!written || (!data && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_USE, h)) {
    SetLastError(e);
    return FALSE;
  }
  Printer& p = *h->printer;
  if (p.cancelled) {
    SetLastError(ERROR_PRINT_CANCELLED);
    return FALSE;
  }
  DWORD take = size;
  if (p.hasFault) {
    const auto& f = p.fault;
    ++p.callsSinceFault;
    if (f.failOnCall && p.callsSinceFault == f.failOnCall) {
      SetLastError(f.error);
      return FALSE;
    }
    if (p.outputBytes >= f.failAfterBytes) {
      SetLastError(f.error);
      return FALSE;
    }
    take = static_cast<DWORD>(std::min<std::uint64_t>(take, f.failAfterBytes - p.outputBytes));
    if (f.maxPerCall) take = std::min(take, f.maxPerCall);
  }
  if (DWORD e = AppendSpool(p, h->job, static_cast<const BYTE*>(data), take)) {
    SetLastError(e);
    return FALSE;
  }
  *written = take;
  return TRUE;
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
  std::lock_guard lock(s.mutex);
  auto key = Folded(setup.name);
  if (s.printers.count(key)) return false;
  auto p = std::make_shared<Printer>();
  p->name = setup.name;
  p->port = setup.port;
  p->driver = setup.driver;
  p->devmode = setup.devmode;
  s.printers[key] = p;
  if (!setup.port.empty()) s.ports.try_emplace(Folded(setup.port));
  return true;
}

bool RemovePrinter(std::u16string_view name) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto it = s.printers.find(Folded(name));
  if (it == s.printers.end()) return false;
  it->second->removed = true;
  DropSpool(*it->second);
  s.printers.erase(it);
  return true;
}

void Reset() {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  for (auto& [key, p] : s.printers) {
    p->removed = true;
    DropSpool(*p);
  }
  s.printers.clear();
  s.ports.clear();
  s.handles.clear();
  s.lastJob = 0;
}

bool SetData(std::u16string_view printer, std::u16string_view valueName, DWORD type, std::vector<BYTE> bytes) {
  if (valueName.empty()) return false;
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto p = FindPrinter(s, printer);
  if (!p) return false;
  SetDataEntry(*p, valueName, type, std::move(bytes));
  return true;
}

std::optional<DataValue> GetData(std::u16string_view printer, std::u16string_view valueName) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto p = FindPrinter(s, printer);
  if (!p) return std::nullopt;
  const DataEntry* v = FindData(*p, valueName);
  if (!v) return std::nullopt;
  return DataValue{v->type, v->bytes};
}

std::vector<BYTE> Devmode(std::u16string_view printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto p = FindPrinter(s, printer);
  return p ? p->devmode : std::vector<BYTE>{};
}

std::vector<BYTE> Output(std::u16string_view printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto p = FindPrinter(s, printer);
  std::vector<BYTE> out;
  if (!p) return out;
  if (p->spoolOut) std::fflush(p->spoolOut.get());
  out.reserve(p->outputBytes);
  for (const SpoolFile& f : p->spool) {
    std::unique_ptr<std::FILE, FileCloser> in(std::fopen(f.host.c_str(), "rb"));
    if (!in) continue;
    BYTE chunk[65536];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in.get())) > 0;) out.insert(out.end(), chunk, chunk + n);
  }
  return out;
}

std::string JobSpoolFile(DWORD job) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (job == 0) return "";
  for (auto& [key, p] : s.printers) {
    for (const SpoolFile& f : p->spool) {
      if (f.job != job) continue;
      if (p->spoolOut && &f == &p->spool.back()) std::fflush(p->spoolOut.get());
      return f.host;
    }
  }
  return "";
}

void ClearOutput(std::u16string_view printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (auto p = FindPrinter(s, printer)) DropSpool(*p);
}

void SetWriteFault(std::u16string_view printer, const WriteFault& fault) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (auto p = FindPrinter(s, printer)) {
    p->hasFault = true;
    p->fault = fault;
    p->callsSinceFault = 0;
  }
}

void ClearWriteFault(std::u16string_view printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (auto p = FindPrinter(s, printer)) p->hasFault = false;
}

void SetJobCancelled(std::u16string_view printer, bool cancelled) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  if (auto p = FindPrinter(s, printer)) p->cancelled = cancelled;
}

bool IsJobCancelled(HANDLE printer) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto it = s.handles.find(printer);
  return it != s.handles.end() && it->second.printer->cancelled;
}

std::optional<PortStatus> PortStatusOf(std::u16string_view port) {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  auto it = s.ports.find(Folded(port));
  if (it == s.ports.end()) return std::nullopt;
  return it->second;
}

DWORD LastJobId() {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  return s.lastJob;
}

std::size_t OpenHandleCount() {
  auto& s = Spl();
  std::lock_guard lock(s.mutex);
  return s.handles.size();
}

}  // namespace plat::spooler
