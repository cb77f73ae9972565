// The spooler's model, shared by its parts: printers and their data
// (spooler_printers.cpp), jobs and spool files (spooler_jobs.cpp), ports and
// monitors (spooler_monitors.cpp), forms (spooler_forms.cpp), installation
// (spooler_install.cpp) and the persistent machine's state file
// (spooler_state.cpp).
#pragma once

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plat/spooler.h"

namespace plat::spool {

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
  DWORD defaultPriority = 1;
  DWORD startTime = 0;
  DWORD untilTime = 0;
  std::u16string comment, location, sepFile, parameters;
  bool pendingDeletion = false;  // goes when its last handle closes
  std::vector<DataEntry> data;  // creation order, which the enumeration keeps
  std::map<std::u16string, DataEntry> keyed;  // values under a key ("KEY\\NAME", folded)
  std::unordered_map<std::u16string, std::size_t> dataIndex;  // folded name -> place in data
  // What WritePrinter wrote lives in spool files, as a spooler keeps it, in
  // write order; the last one stays open for appending.
  std::vector<SpoolFile> spool;
  std::unique_ptr<char[]> spoolBuffer;  // the open file's buffer: declared first, so it outlives the file
  std::unique_ptr<std::FILE, FileCloser> spoolOut;
  std::uint64_t outputBytes = 0;
  bool hasFault = false;
  plat::spooler::WriteFault fault;
  DWORD callsSinceFault = 0;
  bool cancelled = false;
  bool removed = false;
  bool adminDenied = false;  // the user may not administer this printer
};

// A user form (built-in forms are a fixed table, spooler_forms.cpp).
struct UserForm {
  std::u16string name;
  DWORD flags = FORM_USER;
  SIZEL size{};
  RECTL imageable{};
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
  std::vector<UserForm> forms;           // in the order they were added
  std::string stateStamp;                // of the machine's spooler file as last read or written
  ULONG_PTR nextHandle = 0x10000;
  DWORD lastJob = 0;
};

// The process's spooler; lives as long as the process.
Spooler& Spl();
std::u16string Folded(std::u16string_view s);
std::shared_ptr<Printer> FindPrinter(Spooler& s, std::u16string_view name);

// A DEVMODE is as long as its two size fields say; anything else is refused.
bool DevmodeLength(const BYTE* dm, size_t available, size_t& length);

// The handle's record, or the error for a call that needs one of the rights in `need`.
DWORD Use(Spooler& s, HANDLE h, ACCESS_MASK need, OpenHandle*& out);
inline constexpr ACCESS_MASK kRead = PRINTER_ACCESS_USE | PRINTER_ACCESS_ADMINISTER;

// The printer's values in creation order, found by folded name.
DataEntry* FindData(Printer& p, std::u16string_view name);
void SetDataEntry(Printer& p, std::u16string_view name, DWORD type, std::vector<BYTE> bytes);
bool EraseDataEntry(Printer& p, std::u16string_view name);

// Closes the spool file open for appending: ERROR_SUCCESS, or why its last
// buffered bytes could not be written.
DWORD CloseSpool(Printer& p);
// Deletes the printer's spool files: its output is gone.
void DropSpool(Printer& p);

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
inline BOOL PackInto(LPBYTE buffer, DWORD size, LPDWORD needed, size_t fixed, Fill fill) {
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

// The spooler's lock. In a persistent machine it first takes up what other
// processes wrote, and a holder that changed the model writes it back.
class SplLock {
 public:
  // takeUp false: the lock only, until TakeUp() is called.
  explicit SplLock(Spooler& s, bool takeUp = true);
  ~SplLock();
  SplLock(const SplLock&) = delete;
  SplLock& operator=(const SplLock&) = delete;
  void Changed() { changed_ = true; }
  // Takes up what other processes wrote (once; the constructor does it unless told not to).
  void TakeUp();

 private:
  Spooler& s_;
  std::lock_guard<std::mutex> lock_;
  bool persistent_ = false;
  bool changed_ = false;
  bool takenUp_ = false;
};

// The prologue of a call on a printer handle: the spooler locked (its state
// saved afterwards when `changes`) and the handle's record, when the handle
// holds one of the rights in `need`; error() says why not.
class HandleCall {
 public:
  HandleCall(HANDLE printer, ACCESS_MASK need, bool changes = false) : s_(Spl()), lock_(s_) {
    if (changes) lock_.Changed();
    error_ = Use(s_, printer, need, h_);
  }
  DWORD error() const { return error_; }
  // For calls that answer FALSE: true, with error() as the last error, when
  // the handle does not serve.
  bool Failed() const {
    if (error_) SetLastError(error_);
    return error_ != ERROR_SUCCESS;
  }
  OpenHandle& handle() const { return *h_; }
  Spooler& spooler() const { return s_; }

 private:
  Spooler& s_;
  SplLock lock_;
  OpenHandle* h_ = nullptr;
  DWORD error_ = ERROR_SUCCESS;
};

// The same for a printer named by the model's own callers: the spooler locked
// and the printer, or nullptr when there is none of that name.
class NamedPrinterCall {
 public:
  explicit NamedPrinterCall(std::u16string_view name, bool changes = false)
      : s_(Spl()), lock_(s_), printer_(FindPrinter(s_, name)) {
    if (changes) lock_.Changed();
  }
  Printer* printer() const { return printer_.get(); }

 private:
  Spooler& s_;
  SplLock lock_;
  std::shared_ptr<Printer> printer_;
};

// The system's monitors, then the added ones; the fax and WSD monitors come with 6.0.
std::vector<std::u16string> MonitorNames(const Spooler& s);

bool KnownMonitor(const Spooler& s, std::u16string_view name);

}  // namespace plat::spool
