#include "plat/spooler.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host_errors.h"
#include "machine_state.h"
#include "plat/machine.h"
#include "plat/resources.h"
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
  std::u16string processor = u"WinPrint";
  std::u16string datatype;  // empty: the driver's default
  DWORD attributes = PRINTER_ATTRIBUTE_LOCAL;
  DWORD priority = 1;
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
  bool adminDenied = false;  // the user may not administer this printer
};

struct OpenHandle {
  std::shared_ptr<Printer> printer;
  ACCESS_MASK access = 0;
  DWORD job = 0;
  std::u16string xcvMonitor;  // a monitor's Xcv handle (no printer)
};

struct Spooler {
  std::mutex mutex;
  std::map<std::u16string, std::shared_ptr<Printer>> printers;  // by folded name
  std::map<std::u16string, plat::spooler::PortStatus> ports;     // by folded name
  std::unordered_map<HANDLE, OpenHandle> handles;
  std::map<std::u16string, plat::spooler::DriverInfo> drivers;  // by folded name
  std::vector<std::u16string> processors;
  std::vector<std::u16string> monitors;  // added with AddMonitorW
  std::set<std::u16string> heldDrivers;  // held until the spooler restarts
  std::string stateStamp;                // of the machine's spooler file as last read or written
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
  if (need == PRINTER_ACCESS_ADMINISTER && it->second.printer->adminDenied) return ERROR_ACCESS_DENIED;
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


// ---- the spooler of a persistent machine (ROOT/.machine): canonical text ----
constexpr const char* kStateFile = "spooler";

// A root made by tools/machine has its profile in the state folder.
bool Persistent() {
  struct stat st {};
  return ::stat((plat::state::Folder() + "/profile").c_str(), &st) == 0;
}

std::string StateStamp() {
  struct stat st {};
  if (::stat((plat::state::Folder() + "/" + kStateFile).c_str(), &st) != 0) return "none";
  return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}

std::string Escape(std::u16string_view text) {
  std::string out;
  for (char c : plat::utf8(text)) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::u16string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char n = text[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
    } else {
      out += text[i];
    }
  }
  return plat::u16(out);
}

std::string Hex(const std::vector<BYTE>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::vector<BYTE> Unhex(std::string_view text) {
  std::vector<BYTE> out;
  auto value = [](char c) { return c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0'; };
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<BYTE>(value(text[i]) << 4 | value(text[i + 1])));
  return out;
}

// A damaged number in the state file reads as 0 rather than ending the
// process that takes the state up.
DWORD ParseDword(std::string_view text) {
  DWORD v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && end == text.data() + text.size() ? v : 0;
}

void WriteDriver(std::ostringstream& out, const plat::spooler::DriverInfo& d, const char* indent) {
  out << indent << "version\t" << d.version << "\n";
  out << indent << "environment\t" << Escape(d.environment) << "\n";
  out << indent << "driver-path\t" << Escape(d.driverPath) << "\n";
  out << indent << "data-file\t" << Escape(d.dataFile) << "\n";
  out << indent << "config-file\t" << Escape(d.configFile) << "\n";
  out << indent << "help-file\t" << Escape(d.helpFile) << "\n";
  for (const auto& f : d.dependentFiles) out << indent << "dependent-file\t" << Escape(f) << "\n";
  out << indent << "monitor\t" << Escape(d.monitorName) << "\n";
  out << indent << "default-datatype\t" << Escape(d.defaultDataType) << "\n";
  out << indent << "manufacturer\t" << Escape(d.manufacturer) << "\n";
  out << indent << "oem-url\t" << Escape(d.oemUrl) << "\n";
  out << indent << "hardware-id\t" << Escape(d.hardwareId) << "\n";
  out << indent << "provider\t" << Escape(d.provider) << "\n";
}

bool ReadDriverField(plat::spooler::DriverInfo& d, std::string_view key, std::string_view value) {
  if (key == "version") d.version = ParseDword(value);
  else if (key == "environment") d.environment = Unescape(value);
  else if (key == "driver-path") d.driverPath = Unescape(value);
  else if (key == "data-file") d.dataFile = Unescape(value);
  else if (key == "config-file") d.configFile = Unescape(value);
  else if (key == "help-file") d.helpFile = Unescape(value);
  else if (key == "dependent-file") d.dependentFiles.push_back(Unescape(value));
  else if (key == "monitor") d.monitorName = Unescape(value);
  else if (key == "default-datatype") d.defaultDataType = Unescape(value);
  else if (key == "manufacturer") d.manufacturer = Unescape(value);
  else if (key == "oem-url") d.oemUrl = Unescape(value);
  else if (key == "hardware-id") d.hardwareId = Unescape(value);
  else if (key == "provider") d.provider = Unescape(value);
  else return false;
  return true;
}

// Ports, print processors, drivers and printers, sorted; jobs and counters
// are not part of it.
std::string Serialise(const Spooler& s) {
  std::ostringstream out;
  for (const auto& [key, st] : s.ports) {
    out << "port\t" << Escape(st.name.empty() ? key : st.name) << "\n";
    out << "  monitor\t" << Escape(st.monitor) << "\n";
    if (st.version)
      out << "  tcp\t" << Escape(st.hostAddress) << "\t" << Escape(st.ipAddress) << "\t" << Escape(st.queue) << "\t"
          << Escape(st.community) << "\t" << st.version << "\t" << st.protocol << "\t" << st.portNumber << "\t"
          << st.doubleSpool << "\t" << st.snmpEnabled << "\t" << st.snmpIndex << "\n";
  }
  for (const auto& m : s.monitors) out << "monitor\t" << Escape(m) << "\n";
  for (const auto& p : s.processors) out << "processor\t" << Escape(p) << "\n";
  for (const auto& [key, d] : s.drivers) {
    out << "driver\t" << Escape(d.name) << "\n";
    WriteDriver(out, d, "  ");
  }
  for (const auto& h : s.heldDrivers) out << "held\t" << Escape(h) << "\n";
  for (const auto& [key, p] : s.printers) {
    out << "printer\t" << Escape(p->name) << "\n";
    out << "  port\t" << Escape(p->port) << "\n";
    out << "  processor\t" << Escape(p->processor) << "\n";
    out << "  datatype\t" << Escape(p->datatype) << "\n";
    out << "  attributes\t" << p->attributes << "\n";
    out << "  priority\t" << p->priority << "\n";
    out << "  devmode\t" << Hex(p->devmode) << "\n";
    out << "  driver\t" << Escape(p->driver.name) << "\n";
    WriteDriver(out, p->driver, "    ");
    for (const auto& d : p->data) out << "  data\t" << Escape(d.name) << "\t" << d.type << "\t" << Hex(d.bytes) << "\n";
  }
  return out.str();
}

// Makes the model what the text says; printers that stay keep their jobs and faults.
void Apply(Spooler& s, const std::string& text) {
  std::map<std::u16string, plat::spooler::PortStatus> ports;
  std::vector<std::u16string> processors;
  std::vector<std::u16string> monitors;
  std::map<std::u16string, plat::spooler::DriverInfo> drivers;
  std::set<std::u16string> held;
  std::map<std::u16string, std::shared_ptr<Printer>> printers;
  plat::spooler::PortStatus* port = nullptr;
  plat::spooler::DriverInfo* driver = nullptr;
  std::shared_ptr<Printer> printer;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    const std::string_view body = std::string_view(line).substr(indent);
    const size_t tab = body.find('\t');
    const std::string_view key = body.substr(0, tab);
    const std::string_view value = tab == std::string_view::npos ? std::string_view() : body.substr(tab + 1);
    if (indent == 0) {
      driver = nullptr;
      printer = nullptr;
      port = nullptr;
      const std::u16string name = Unescape(value);
      if (key == "port") {
        auto old = s.ports.find(Folded(name));
        port = &(ports[Folded(name)] = old == s.ports.end() ? plat::spooler::PortStatus{} : old->second);
        port->name = name;
      } else if (key == "monitor") {
        monitors.push_back(name);
      } else if (key == "processor") {
        processors.push_back(name);
      } else if (key == "held") {
        held.insert(name);
      } else if (key == "driver") {
        driver = &drivers[Folded(name)];
        *driver = plat::spooler::DriverInfo{};
        driver->name = name;
      } else if (key == "printer") {
        auto old = FindPrinter(s, name);
        printer = old ? old : std::make_shared<Printer>();
        printer->name = name;
        printer->data.clear();
        printer->dataIndex.clear();
        printer->driver = plat::spooler::DriverInfo{};
        printers[Folded(name)] = printer;
      }
    } else if (port) {
      if (key == "monitor") port->monitor = Unescape(value);
      else if (key == "tcp") {
        std::vector<std::string_view> f;
        for (std::size_t at = 0;;) {
          const std::size_t t = value.find('\t', at);
          f.push_back(value.substr(at, t == std::string_view::npos ? std::string_view::npos : t - at));
          if (t == std::string_view::npos) break;
          at = t + 1;
        }
        if (f.size() != 10) continue;
        port->hostAddress = Unescape(f[0]);
        port->ipAddress = Unescape(f[1]);
        port->queue = Unescape(f[2]);
        port->community = Unescape(f[3]);
        port->version = ParseDword(f[4]);
        port->protocol = ParseDword(f[5]);
        port->portNumber = ParseDword(f[6]);
        port->doubleSpool = ParseDword(f[7]);
        port->snmpEnabled = ParseDword(f[8]);
        port->snmpIndex = ParseDword(f[9]);
      }
    } else if (driver) {
      ReadDriverField(*driver, key, value);
    } else if (printer) {
      if (indent >= 4) ReadDriverField(printer->driver, key, value);
      else if (key == "port") printer->port = Unescape(value);
      else if (key == "processor") printer->processor = Unescape(value);
      else if (key == "datatype") printer->datatype = Unescape(value);
      else if (key == "attributes") printer->attributes = ParseDword(value);
      else if (key == "priority") printer->priority = ParseDword(value);
      else if (key == "devmode") printer->devmode = Unhex(value);
      else if (key == "driver") printer->driver.name = Unescape(value);
      else if (key == "data") {
        const size_t t1 = value.find('\t'), t2 = value.find('\t', t1 + 1);
        if (t1 == std::string_view::npos || t2 == std::string_view::npos) continue;
        SetDataEntry(*printer, Unescape(value.substr(0, t1)),
                     ParseDword(value.substr(t1 + 1, t2 - t1 - 1)),
                     Unhex(value.substr(t2 + 1)));
      }
    }
  }
  for (auto& [key, p] : s.printers)
    if (!printers.count(key)) p->removed = true;
  s.ports = std::move(ports);
  s.processors = std::move(processors);
  s.monitors = std::move(monitors);
  s.drivers = std::move(drivers);
  s.heldDrivers = std::move(held);
  s.printers = std::move(printers);
}

// The spooler's lock. In a persistent machine it first takes up what other
// processes wrote, and a holder that changed the model writes it back.
class SplLock {
 public:
  explicit SplLock(Spooler& s) : s_(s), lock_(s.mutex) {
    persistent_ = Persistent();
    if (!persistent_) return;
    const std::string stamp = StateStamp();
    if (stamp != s_.stateStamp) {
      Apply(s_, plat::state::Read(kStateFile));
      s_.stateStamp = StateStamp();
    }
  }
  ~SplLock() {
    if (!persistent_ || !changed_) return;
    plat::state::Update(kStateFile, [text = Serialise(s_)](std::string& stored) { stored = text; });
    s_.stateStamp = StateStamp();
  }
  SplLock(const SplLock&) = delete;
  SplLock& operator=(const SplLock&) = delete;
  void Changed() { changed_ = true; }

 private:
  Spooler& s_;
  std::lock_guard<std::mutex> lock_;
  bool persistent_ = false;
  bool changed_ = false;
};

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
  if (!p) {
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
  SplLock lock(s);
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
      LPWSTR processor = k.String(p.processor);
      LPWSTR datatype = k.String(p.datatype.empty() ? p.driver.defaultDataType : p.datatype);
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
      info->Attributes = p.attributes;
      info->Priority = p.priority;
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
  SplLock lock(s);
    lock.Changed();
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
  SplLock lock(s);
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
  SplLock lock(s);
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
  SplLock lock(s);
    lock.Changed();
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_ADMINISTER, h)) return e;
  SetDataEntry(*h->printer, plat::view(valueName), type, std::vector<BYTE>(data, data + size));
  return ERROR_SUCCESS;
}

DWORD DeletePrinterDataW(HANDLE printer, LPCWSTR valueName) {
  if (!valueName) return ERROR_INVALID_PARAMETER;
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  OpenHandle* h = nullptr;
  if (DWORD e = Use(s, printer, PRINTER_ACCESS_ADMINISTER, h)) return e;
  return EraseDataEntry(*h->printer, plat::view(valueName)) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

DWORD EnumPrinterDataW(HANDLE printer, DWORD index, LPWSTR valueName, DWORD nameSize, LPDWORD nameNeeded,
                       LPDWORD type, LPBYTE data, DWORD dataSize, LPDWORD dataNeeded) {
  if (!nameNeeded || !dataNeeded || (!valueName && nameSize) || (!data && dataSize)) return ERROR_INVALID_PARAMETER;
  auto& s = Spl();
  SplLock lock(s);
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

DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo) {
  auto& s = Spl();
  SplLock lock(s);
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
  SplLock lock(s);
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
  SplLock lock(s);
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
  s.lastJob = 0;
}

bool SetData(std::u16string_view printer, std::u16string_view valueName, DWORD type, std::vector<BYTE> bytes) {
  if (valueName.empty()) return false;
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  auto p = FindPrinter(s, printer);
  if (!p) return false;
  SetDataEntry(*p, valueName, type, std::move(bytes));
  return true;
}

std::optional<DataValue> GetData(std::u16string_view printer, std::u16string_view valueName) {
  auto& s = Spl();
  SplLock lock(s);
  auto p = FindPrinter(s, printer);
  if (!p) return std::nullopt;
  const DataEntry* v = FindData(*p, valueName);
  if (!v) return std::nullopt;
  return DataValue{v->type, v->bytes};
}

std::vector<BYTE> Devmode(std::u16string_view printer) {
  auto& s = Spl();
  SplLock lock(s);
  auto p = FindPrinter(s, printer);
  return p ? p->devmode : std::vector<BYTE>{};
}

std::vector<BYTE> Output(std::u16string_view printer) {
  auto& s = Spl();
  SplLock lock(s);
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
  SplLock lock(s);
  if (auto p = FindPrinter(s, printer)) DropSpool(*p);
}

void SetWriteFault(std::u16string_view printer, const WriteFault& fault) {
  auto& s = Spl();
  SplLock lock(s);
  if (auto p = FindPrinter(s, printer)) {
    p->hasFault = true;
    p->fault = fault;
    p->callsSinceFault = 0;
  }
}

void ClearWriteFault(std::u16string_view printer) {
  auto& s = Spl();
  SplLock lock(s);
  if (auto p = FindPrinter(s, printer)) p->hasFault = false;
}

void SetJobCancelled(std::u16string_view printer, bool cancelled) {
  auto& s = Spl();
  SplLock lock(s);
  if (auto p = FindPrinter(s, printer)) p->cancelled = cancelled;
}

bool SetAdministerDenied(std::u16string_view printer, bool denied) {
  auto& s = Spl();
  SplLock lock(s);
  auto p = FindPrinter(s, printer);
  if (p) p->adminDenied = denied;
  return p != nullptr;
}

bool IsJobCancelled(HANDLE printer) {
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.handles.find(printer);
  return it != s.handles.end() && it->second.printer->cancelled;
}

std::optional<PortStatus> PortStatusOf(std::u16string_view port) {
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.ports.find(Folded(port));
  if (it == s.ports.end()) return std::nullopt;
  return it->second;
}

DWORD LastJobId() {
  auto& s = Spl();
  SplLock lock(s);
  return s.lastJob;
}

std::size_t OpenHandleCount() {
  auto& s = Spl();
  SplLock lock(s);
  return s.handles.size();
}

}  // namespace plat::spooler

// ---- installation: drivers, print processors, printers ----
constexpr INT kPrinterEventInitialize = 3;  // DrvPrinterEvent(PRINTER_EVENT_INITIALIZE)
namespace {

std::u16string SpoolFolder(std::u16string_view kind) {
  WCHAR system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const bool x64 = plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  return std::u16string(system, n < MAX_PATH ? n : 0) + u"\\spool\\" + std::u16string(kind) + (x64 ? u"\\x64" : u"\\W32X86");
}

// Creates every missing folder of a Windows path.
void MakeFolders(const std::u16string& path) {
  for (size_t at = path.find(u'\\', 3); ; at = path.find(u'\\', at + 1)) {
    const std::u16string part = path.substr(0, at);
    CreateDirectoryW(part.c_str(), nullptr);
    if (at == std::u16string::npos) break;
  }
}

BOOL FolderOut(const std::u16string& folder, LPBYTE buffer, DWORD size, LPDWORD needed) {
  MakeFolders(folder);
  const DWORD need = static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR));
  if (needed) *needed = need;
  if (!buffer || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, folder.c_str(), need);
  return TRUE;
}

bool EnvironmentOk(LPCWSTR environment) {
  return !environment || !*environment || plat::EqualsNoCase(plat::view(environment), plat::spooler::Environment());
}

std::u16string NameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string Text(LPCWSTR s) { return s ? std::u16string(plat::view(s)) : std::u16string(); }

bool HasProcessor(const Spooler& s, std::u16string_view name) {
  for (const auto& p : s.processors)
    if (plat::EqualsNoCase(p, name)) return true;
  return false;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" {

BOOL GetPrinterDriverDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  return FolderOut(SpoolFolder(u"drivers"), buffer, size, needed);
}

BOOL GetPrintProcessorDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  return FolderOut(SpoolFolder(u"prtprocs"), buffer, size, needed);
}

BOOL AddPrinterDriverExW(LPWSTR, DWORD level, LPBYTE info, DWORD flags) {
  if (level != 3 && level != 6) return Fail(ERROR_INVALID_LEVEL);
  if (!info) return Fail(ERROR_INVALID_PARAMETER);
  // Levels 3 and 6 share their first ten fields.
  const auto* d = reinterpret_cast<const DRIVER_INFO_6W*>(info);
  if (!d->pName || !*d->pName || !d->pDriverPath || !d->pDataFile || !d->pConfigFile)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(d->pEnvironment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  plat::spooler::DriverInfo driver;
  driver.name = Text(d->pName);
  driver.environment = plat::spooler::Environment();
  driver.monitorName = Text(d->pMonitorName);
  driver.defaultDataType = Text(d->pDefaultDataType);
  if (level == 6) {
    driver.manufacturer = Text(d->pszMfgName);
    driver.oemUrl = Text(d->pszOEMUrl);
    driver.hardwareId = Text(d->pszHardwareID);
    driver.provider = Text(d->pszProvider);
  }
  const std::u16string from = SpoolFolder(u"drivers");
  const std::u16string to = from + u"\\3";
  MakeFolders(to);
  // Every file goes into the version folder; the last error of a failed copy is kept.
  auto place = [&](LPCWSTR file, std::u16string& out) {
    if (!file || !*file) return true;
    const std::u16string name = NameOf(plat::view(file));
    const std::u16string target = to + u"\\" + name;
    if (flags & APD_COPY_NEW_FILES) {
      const std::u16string source = from + u"\\" + name;
      if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) return false;
    } else if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
    out = target;
    return true;
  };
  if (!place(d->pDriverPath, driver.driverPath) || !place(d->pDataFile, driver.dataFile) ||
      !place(d->pConfigFile, driver.configFile) || !place(d->pHelpFile, driver.helpFile))
    return FALSE;
  for (LPCWSTR f = d->pDependentFiles; f && *f; f += std::char_traits<char16_t>::length(f) + 1) {
    std::u16string placed;
    if (!place(f, placed)) return FALSE;
    driver.dependentFiles.push_back(placed);
  }
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  s.drivers[Folded(driver.name)] = driver;
  return TRUE;
}

BOOL EnumPrinterDriversW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 3 && level != 6) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  *returned = 0;
  std::vector<plat::spooler::DriverInfo> list;
  {
    auto& s = Spl();
    SplLock lock(s);
    for (const auto& [key, d] : s.drivers) list.push_back(d);
  }
  const size_t fixed = (level == 3 ? sizeof(DRIVER_INFO_3W) : sizeof(DRIVER_INFO_6W)) * list.size();
  const BOOL ok = PackInto(buffer, size, needed, fixed, [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < list.size(); ++i) {
      const auto& d = list[i];
      LPWSTR name = k.String(d.name), env = k.String(d.environment), path = k.String(d.driverPath);
      LPWSTR data = k.String(d.dataFile), config = k.String(d.configFile), help = k.String(d.helpFile);
      LPWSTR deps = k.MultiString(d.dependentFiles);
      LPWSTR monitor = k.String(d.monitorName), datatype = k.String(d.defaultDataType);
      LPWSTR mfg = nullptr, url = nullptr, hwid = nullptr, provider = nullptr;
      if (level == 6) {
        mfg = k.String(d.manufacturer);
        url = k.String(d.oemUrl);
        hwid = k.String(d.hardwareId);
        provider = k.String(d.provider);
      }
      if (!out) continue;
      auto fill = [&](auto* info) {
        info->cVersion = 3;
        info->pName = name;
        info->pEnvironment = env;
        info->pDriverPath = path;
        info->pDataFile = data;
        info->pConfigFile = config;
        info->pHelpFile = help;
        info->pDependentFiles = deps;
        info->pMonitorName = monitor;
        info->pDefaultDataType = datatype;
      };
      if (level == 3) {
        fill(reinterpret_cast<DRIVER_INFO_3W*>(out) + i);
      } else {
        auto* info = reinterpret_cast<DRIVER_INFO_6W*>(out) + i;
        fill(info);
        info->pszMfgName = mfg;
        info->pszOEMUrl = url;
        info->pszHardwareID = hwid;
        info->pszProvider = provider;
      }
    }
  });
  if (ok) *returned = static_cast<DWORD>(list.size());
  return ok;
}

BOOL AddPrintProcessorW(LPWSTR, LPWSTR environment, LPWSTR pathName, LPWSTR printProcessorName) {
  if (!pathName || !*pathName || !printProcessorName || !*printProcessorName) return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  const std::u16string file = SpoolFolder(u"prtprocs") + u"\\" + NameOf(plat::view(pathName));
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail(ERROR_FILE_NOT_FOUND);
  auto& s = Spl();
  SplLock lock(s);
    lock.Changed();
  if (HasProcessor(s, plat::view(printProcessorName))) return Fail(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
  s.processors.push_back(Text(printProcessorName));
  return TRUE;
}

BOOL EnumPrintProcessorsW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  *returned = 0;
  const std::vector<std::u16string> list = plat::spooler::PrintProcessors();
  const BOOL ok = PackInto(buffer, size, needed, sizeof(PRINTPROCESSOR_INFO_1W) * list.size(), [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < list.size(); ++i) {
      LPWSTR name = k.String(list[i]);
      if (out) reinterpret_cast<PRINTPROCESSOR_INFO_1W*>(out)[i].pName = name;
    }
  });
  if (ok) *returned = static_cast<DWORD>(list.size());
  return ok;
}

HANDLE AddPrinterW(LPWSTR, DWORD level, LPBYTE info) {
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2W*>(info);
  const std::u16string name = Text(pi->pPrinterName);
  std::u16string configFile;
  HANDLE handle = nullptr;
  {
    auto& s = Spl();
    SplLock lock(s);
    lock.Changed();
    DWORD error = ERROR_SUCCESS;
    auto driver = pi->pDriverName ? s.drivers.find(Folded(plat::view(pi->pDriverName))) : s.drivers.end();
    const std::u16string processor = pi->pPrintProcessor && *pi->pPrintProcessor ? Text(pi->pPrintProcessor) : u"WinPrint";
    if (!pi->pPortName || !s.ports.count(Folded(plat::view(pi->pPortName)))) error = ERROR_UNKNOWN_PORT;
    else if (driver == s.drivers.end()) error = ERROR_UNKNOWN_PRINTER_DRIVER;
    else if (!plat::EqualsNoCase(processor, u"WinPrint") && !HasProcessor(s, processor)) error = ERROR_UNKNOWN_PRINTPROCESSOR;
    else if (name.empty() || name.size() >= MAX_PATH || name.find_first_of(u"\\,!") != std::u16string::npos)
      error = ERROR_INVALID_PRINTER_NAME;
    else if (s.printers.count(Folded(name))) error = ERROR_PRINTER_ALREADY_EXISTS;
    std::vector<BYTE> devmode;
    if (!error && pi->pDevMode && pi->pDevMode->dmSize != 0) {
      size_t length = 0;
      const auto* dm = reinterpret_cast<const BYTE*>(pi->pDevMode);
      if (!DevmodeLength(dm, pi->pDevMode->dmSize + size_t{pi->pDevMode->dmDriverExtra}, length))
        error = ERROR_INVALID_PARAMETER;
      else devmode.assign(dm, dm + length);
    }
    if (error) {
      SetLastError(error);
      return nullptr;
    }
    auto p = std::make_shared<Printer>();
    p->name = name;
    p->port = Text(pi->pPortName);
    p->driver = driver->second;
    p->devmode = std::move(devmode);
    p->processor = processor;
    p->datatype = pi->pDatatype && *pi->pDatatype ? Text(pi->pDatatype) : u"RAW";
    p->attributes = pi->Attributes | PRINTER_ATTRIBUTE_LOCAL;
    p->priority = pi->Priority;
    s.printers[Folded(name)] = p;
    handle = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 8;
    s.handles[handle] = OpenHandle{p, PRINTER_ALL_ACCESS, 0, {}};
    configFile = p->driver.configFile;
  }
  // The printer interface library initialises the new printer.
  if (HMODULE ui = LoadLibraryW(configFile.c_str())) {
    if (auto event = reinterpret_cast<PFN_DrvPrinterEvent>(GetProcAddress(ui, "DrvPrinterEvent"))) {
      std::u16string writable = name;
      event(writable.data(), kPrinterEventInitialize, 0, 0);
    }
    FreeLibrary(ui);
    // The spooler keeps the printer interface library loaded from now on.
    auto& s = Spl();
    SplLock lock(s);
    lock.Changed();
    s.heldDrivers.insert(Text(pi->pDriverName));
  }
  return handle;
}

BOOL EnumPrintersW(DWORD flags, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 2 && level != 4) return Fail(ERROR_INVALID_LEVEL);
  *returned = 0;
  std::vector<std::u16string> names;
  if (flags & PRINTER_ENUM_LOCAL) {
    auto& s = Spl();
    SplLock lock(s);
    for (const auto& [key, p] : s.printers) names.push_back(p->name);
  }
  // Each printer as GetPrinterW packs it, one after the other.
  std::vector<std::vector<BYTE>> records;
  for (const auto& n : names) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(n.c_str(), &h, nullptr)) continue;
    DWORD need = 0;
    GetPrinterW(h, level, nullptr, 0, &need);
    std::vector<BYTE> record(need);
    if (GetPrinterW(h, level, record.data(), need, &need)) records.push_back(std::move(record));
    ClosePrinter(h);
  }
  const size_t fixed = (level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_4W)) * records.size();
  const BOOL ok = PackInto(buffer, size, needed, fixed, [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < records.size(); ++i) {
      if (level == 2) {
        const auto& r = *reinterpret_cast<const PRINTER_INFO_2W*>(records[i].data());
        std::vector<BYTE> dm;
        if (r.pDevMode) {
          const auto* b = reinterpret_cast<const BYTE*>(r.pDevMode);
          dm.assign(b, b + r.pDevMode->dmSize + r.pDevMode->dmDriverExtra);
        }
        BYTE* dmOut = dm.empty() ? nullptr : k.Blob(dm);
        LPWSTR strings[] = {k.String(plat::view(r.pPrinterName)), k.String(plat::view(r.pShareName)),
                            k.String(plat::view(r.pPortName)), k.String(plat::view(r.pDriverName)),
                            k.String(plat::view(r.pComment)), k.String(plat::view(r.pLocation)),
                            k.String(plat::view(r.pSepFile)), k.String(plat::view(r.pPrintProcessor)),
                            k.String(plat::view(r.pDatatype)), k.String(plat::view(r.pParameters))};
        if (!out) continue;
        auto& o = reinterpret_cast<PRINTER_INFO_2W*>(out)[i];
        o = r;
        o.pPrinterName = strings[0];
        o.pShareName = strings[1];
        o.pPortName = strings[2];
        o.pDriverName = strings[3];
        o.pComment = strings[4];
        o.pLocation = strings[5];
        o.pSepFile = strings[6];
        o.pPrintProcessor = strings[7];
        o.pDatatype = strings[8];
        o.pParameters = strings[9];
        o.pDevMode = reinterpret_cast<DEVMODEW*>(dmOut);
      } else {
        const auto& r = *reinterpret_cast<const PRINTER_INFO_4W*>(records[i].data());
        LPWSTR name = k.String(plat::view(r.pPrinterName));
        if (!out) continue;
        auto& o = reinterpret_cast<PRINTER_INFO_4W*>(out)[i];
        o.pPrinterName = name;
        o.pServerName = nullptr;
        o.Attributes = r.Attributes;
      }
    }
  });
  if (ok) *returned = static_cast<DWORD>(records.size());
  return ok;
}
}

namespace plat::spooler {
std::u16string Environment() {
  return plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? u"Windows x64"
                                                                                          : u"Windows NT x86";
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

std::vector<std::u16string> HeldDrivers() {
  auto& s = Spl();
  SplLock lock(s);
  return {s.heldDrivers.begin(), s.heldDrivers.end()};
}

void RestartSpooler() {
  auto& s = Spl();
  SplLock lock(s);
  lock.Changed();
  s.heldDrivers.clear();
}

std::string StateText() {
  auto& s = Spl();
  SplLock lock(s);
  return Serialise(s);
}

std::vector<std::u16string> PrintProcessors() {
  auto& s = Spl();
  SplLock lock(s);
  std::vector<std::u16string> out = {u"WinPrint"};
  out.insert(out.end(), s.processors.begin(), s.processors.end());
  return out;
}
}  // namespace plat::spooler
