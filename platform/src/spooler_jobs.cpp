// Jobs: what WritePrinter writes, kept in spool files as a spooler keeps it.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>

#include "host_errors.h"
#include "plat/machine.h"
#include "spooler_internal.h"

using namespace plat::spool;

namespace {

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

// The job's file stays open for its writes, which come a few KiB a call:
// a larger buffer makes one write of several calls.
constexpr std::size_t kSpoolBuffer = std::size_t(1) << 16;

void KeepOpen(Printer& p, std::FILE* f) {
  if (!p.spoolBuffer) p.spoolBuffer = std::make_unique<char[]>(kSpoolBuffer);
  std::setvbuf(f, p.spoolBuffer.get(), _IOFBF, kSpoolBuffer);
  p.spoolOut.reset(f);
}

// Whether the handle's writes go on in the spool file open for appending.
bool WritingItsFile(const OpenHandle& h) {
  const Printer& p = *h.printer;
  return p.spoolOut && !p.spool.empty() && p.spool.back().job == h.job;
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
      KeepOpen(p, f);
      p.spool.push_back(SpoolFile{job, folder + name});
    } else {
      std::FILE* f = std::fopen(p.spool.back().host.c_str(), "ab");
      if (f == nullptr) return plat::host::ErrnoToError(errno);
      KeepOpen(p, f);
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

}  // namespace

namespace plat::spool {

DWORD CloseSpool(Printer& p) {
  std::FILE* f = p.spoolOut.release();
  if (f == nullptr) return ERROR_SUCCESS;
  errno = 0;
  if (std::fclose(f) == 0) return ERROR_SUCCESS;
  return errno != 0 ? plat::host::ErrnoToError(errno) : ERROR_WRITE_FAULT;
}

void DropSpool(Printer& p) {
  CloseSpool(p);
  std::error_code ec;
  for (const SpoolFile& f : p.spool) std::filesystem::remove(f.host, ec);
  p.spool.clear();
  p.outputBytes = 0;
}

}  // namespace plat::spool

extern "C" {

DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo) {
  HandleCall call(printer, PRINTER_ACCESS_USE);
  if (call.Failed()) return 0;
  OpenHandle* h = &call.handle();
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
  h->job = ++call.spooler().lastJob;
  return h->job;
}

BOOL EndDocPrinter(HANDLE printer) {
  HandleCall call(printer, PRINTER_ACCESS_USE);
  if (call.Failed()) return FALSE;
  OpenHandle* h = &call.handle();
  if (!h->job) {
    SetLastError(ERROR_SPL_NO_STARTDOC);
    return FALSE;
  }
  Printer& p = *h->printer;
  DWORD error = ERROR_SUCCESS;
  if (!p.spool.empty() && p.spool.back().job == h->job) error = CloseSpool(p);
  h->job = 0;
  if (error != ERROR_SUCCESS) {
    SetLastError(error);  // the job's last bytes did not reach its file
    return FALSE;
  }
  return TRUE;
}

BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written) {
  if (!written || (!data && size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *written = 0;
  // A job writing on in its open spool file changes nothing of the model, so
  // its writes skip taking up other processes' changes (a printer deleted
  // meanwhile keeps the job, as a spooler keeps a deleted printer's jobs);
  // the job's first write and writes outside it take them up.
  Spooler& s = Spl();
  SplLock lock(s, false);
  OpenHandle* h = nullptr;
  DWORD error = Use(s, printer, PRINTER_ACCESS_USE, h);
  if (error != ERROR_SUCCESS || !WritingItsFile(*h)) {
    lock.TakeUp();
    error = Use(s, printer, PRINTER_ACCESS_USE, h);
  }
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
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

std::vector<BYTE> Output(std::u16string_view printer) {
  NamedPrinterCall call(printer);
  Printer* p = call.printer();
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
  NamedPrinterCall call(printer);
  if (Printer* p = call.printer()) DropSpool(*p);
}

void SetWriteFault(std::u16string_view printer, const WriteFault& fault) {
  NamedPrinterCall call(printer);
  if (Printer* p = call.printer()) {
    p->hasFault = true;
    p->fault = fault;
    p->callsSinceFault = 0;
  }
}

void ClearWriteFault(std::u16string_view printer) {
  NamedPrinterCall call(printer);
  if (Printer* p = call.printer()) p->hasFault = false;
}

void SetJobCancelled(std::u16string_view printer, bool cancelled) {
  NamedPrinterCall call(printer);
  if (Printer* p = call.printer()) p->cancelled = cancelled;
}

bool IsJobCancelled(HANDLE printer) {
  auto& s = Spl();
  SplLock lock(s);
  auto it = s.handles.find(printer);
  return it != s.handles.end() && it->second.printer->cancelled;
}

DWORD LastJobId() {
  auto& s = Spl();
  SplLock lock(s);
  return s.lastJob;
}

}  // namespace plat::spooler
