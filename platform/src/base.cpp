#include "plat/base.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include <sys/mman.h>

namespace {
thread_local DWORD g_lastError = 0;

// Blocks come from the C heap with a header that keeps their size for the
// live and peak counters; the flag decides whether they are zero-filled. A
// zero-byte request still gives a unique block, as the platform does.
struct alignas(alignof(std::max_align_t)) BlockHeader {
  std::size_t bytes;
};

struct HeapCounters {
  std::atomic<std::size_t> live{0};
  std::atomic<std::size_t> peak{0};
  std::atomic<std::size_t> failCountdown{0};  // the allocation that reaches 0 fails
};

HeapCounters& Counters() {
  static HeapCounters counters;
  return counters;
}

// True when the test hook makes this allocation fail.
bool HookFails() {
  std::size_t c = Counters().failCountdown.load();
  while (c > 0 && !Counters().failCountdown.compare_exchange_weak(c, c - 1)) {
  }
  return c == 1;
}

// Page-sized pictures are touched from end to end: backing them with large
// pages saves a page fault per 4 KB. Only whole large pages inside the block
// are asked for; the request is advice and may be refused.
void AskForLargePages(void* block, std::size_t bytes) {
  constexpr std::size_t kLargePage = std::size_t{2} << 20;
  constexpr std::size_t kWorthIt = std::size_t{32} << 20;
  if (bytes < kWorthIt) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (start + kLargePage - 1) & ~(kLargePage - 1);
  const std::uintptr_t last = (start + bytes) & ~(kLargePage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

// The largest block handed out: 1 TiB, or less where the address space
// (with the block's header) is smaller, as in a 32-bit process.
constexpr SIZE_T kMaxHeapBlock = static_cast<SIZE_T>(
    std::min<std::uint64_t>(std::uint64_t{1} << 40, std::numeric_limits<SIZE_T>::max() - sizeof(BlockHeader) - 1));

void* HeapBlock(UINT flags, SIZE_T bytes) {
  if (bytes > kMaxHeapBlock || HookFails()) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  const std::size_t total = sizeof(BlockHeader) + (bytes ? bytes : 1);
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(1, total) : std::malloc(total);
  if (!p) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  static_cast<BlockHeader*>(p)->bytes = bytes;
  AskForLargePages(p, total);
  const std::size_t live = Counters().live.fetch_add(bytes) + bytes;
  std::size_t peak = Counters().peak.load();
  while (live > peak && !Counters().peak.compare_exchange_weak(peak, live)) {
  }
  return static_cast<BlockHeader*>(p) + 1;
}

void FreeBlock(void* mem) {
  if (!mem) return;
  BlockHeader* header = static_cast<BlockHeader*>(mem) - 1;
  Counters().live.fetch_sub(header->bytes);
  std::free(header);
}

// Short English texts of the system error codes the platform reports.
struct ErrorText {
  DWORD code;
  std::u16string_view text;
};
constexpr ErrorText kErrorTexts[] = {
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_INVALID_FUNCTION, u"Incorrect function."},
    {ERROR_FILE_NOT_FOUND, u"The file could not be found."},
    {ERROR_PATH_NOT_FOUND, u"The path could not be found."},
    {ERROR_TOO_MANY_OPEN_FILES, u"Too many files are open."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_HANDLE, u"The handle is not valid."},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory is available for this operation."},
    {ERROR_BAD_FORMAT, u"The format is not valid."},
    {ERROR_INVALID_DATA, u"The data is not valid."},
    {ERROR_OUTOFMEMORY, u"Not enough memory is available to complete this operation."},
    {ERROR_NO_MORE_FILES, u"There are no more files."},
    {ERROR_NOT_READY, u"The device is not ready."},
    {ERROR_BAD_LENGTH, u"The length is not valid."},
    {ERROR_WRITE_FAULT, u"The device cannot be written to."},
    {ERROR_READ_FAULT, u"The device cannot be read from."},
    {ERROR_GEN_FAILURE, u"A device attached to the system is not working."},
    {ERROR_SHARING_VIOLATION, u"The file is being used by another process."},
    {ERROR_LOCK_VIOLATION, u"Another process has locked a part of the file."},
    {ERROR_HANDLE_EOF, u"The end of the file has been reached."},
    {ERROR_HANDLE_DISK_FULL, u"The disk is full."},
    {ERROR_NOT_SUPPORTED, u"The request is not supported."},
    {ERROR_PRINT_CANCELLED, u"The print job was deleted."},
    {ERROR_FILE_EXISTS, u"The file exists."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    {ERROR_DISK_FULL, u"There is not enough space on the disk."},
    {ERROR_CALL_NOT_IMPLEMENTED, u"This function is not supported on this system."},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, u"The file name, folder name or volume label syntax is incorrect."},
    {ERROR_INVALID_LEVEL, u"The system call level is not correct."},
    {ERROR_MOD_NOT_FOUND, u"The module could not be found."},
    {ERROR_PROC_NOT_FOUND, u"The procedure could not be found."},
    {ERROR_NEGATIVE_SEEK, u"The file pointer cannot be set before the beginning of the file."},
    {ERROR_DIR_NOT_EMPTY, u"The folder is not empty."},
    {ERROR_ALREADY_EXISTS, u"The file or folder already exists."},
    {ERROR_ENVVAR_NOT_FOUND, u"The environment variable could not be found."},
    {ERROR_MORE_DATA, u"More data is available."},
    {ERROR_NO_MORE_ITEMS, u"No more data is available."},
    {ERROR_DIRECTORY, u"The folder name is not valid."},
    {ERROR_MR_MID_NOT_FOUND, u"The message text for this error code could not be found."},
    {ERROR_INVALID_FLAGS, u"The flags are not valid."},
    {ERROR_NO_UNICODE_TRANSLATION, u"No mapping for the Unicode character exists in the target code page."},
    {ERROR_NOT_FOUND, u"The element could not be found."},
    {ERROR_CANCELLED, u"The operation was cancelled by the user."},
    {ERROR_UNKNOWN_PORT, u"The port is unknown."},
    {ERROR_UNKNOWN_PRINTER_DRIVER, u"The printer driver is unknown."},
    {ERROR_INVALID_PRINTER_NAME, u"The printer name is not valid."},
    {ERROR_PRINTER_ALREADY_EXISTS, u"The printer already exists."},
    {ERROR_INVALID_PRINTER_COMMAND, u"The printer command is not valid."},
    {ERROR_INVALID_DATATYPE, u"The data type is not valid."},
    {ERROR_INVALID_ENVIRONMENT, u"The environment is not valid."},
    {ERROR_RESOURCE_DATA_NOT_FOUND, u"The specified image file did not contain a resource section."},
    {ERROR_RESOURCE_TYPE_NOT_FOUND, u"The resource type could not be found in the image file."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, u"The resource name could not be found in the image file."},
    {ERROR_INVALID_FORM_NAME, u"The form name is not valid."},
    {ERROR_INVALID_FORM_SIZE, u"The form size is not valid."},
    {ERROR_INVALID_PRINTER_STATE, u"The printer state is not valid."},
    {1150, u"The specified program requires a newer version of Windows."},
    {1798, u"The print processor is unknown."},
    {3001, u"The specified printer driver is currently in use."},
    {3005, u"The specified print processor has already been installed."},
    {0xE0000100, u"The style of the INF is different than what was requested."},
    {0xE0000101, u"The required section was not found in the INF."},
    {0xE0000102, u"The required line was not found in the INF."},
};

// HRESULT_FROM_WIN32 and HRESULT_FROM_SETUPAPI codes have the texts of the
// codes they carry.
const ErrorText* FindErrorText(DWORD code) {
  if ((code & 0xFFFF0000) == 0x80070000) code &= 0xFFFF;
  else if ((code & 0xFFFF0000) == 0x800F0000) code = 0xE0000000 | (code & 0xFFFF);
  for (const auto& e : kErrorTexts)
    if (e.code == code) return &e;
  return nullptr;
}

// The handle table. Values start high and step by 4 so that they never look
// like 0, INVALID_HANDLE_VALUE or a small integer.
struct HandleEntry {
  plat::HandleKind kind;
  void* object;
  plat::HandleCloser closer;
};
struct HandleTable {
  std::mutex lock;
  std::unordered_map<std::uintptr_t, HandleEntry> entries;
  std::uintptr_t next = 0x10000;
};
HandleTable& Handles() {
  static HandleTable* table = new HandleTable;  // lives until exit, past static destructors
  return *table;
}
}  // namespace

extern "C" {
void SetLastError(DWORD code) { g_lastError = code; }
DWORD GetLastError() { return g_lastError; }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return HeapBlock(flags, bytes); }
HGLOBAL GlobalFree(HGLOBAL mem) {
  FreeBlock(mem);
  return nullptr;
}
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return HeapBlock(flags, bytes); }
HLOCAL LocalFree(HLOCAL mem) {
  FreeBlock(mem);
  return nullptr;
}

DWORD FormatMessageW(DWORD flags, LPCVOID /*source*/, DWORD messageId, DWORD /*languageId*/, LPWSTR buffer,
                     DWORD size, void* /*arguments*/) {
  if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || (flags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) ||
      !buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const ErrorText* e = FindErrorText(messageId);
  if (!e) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  // System texts end with a line break unless a maximum width is asked for.
  std::u16string text(e->text);
  if (!(flags & FORMAT_MESSAGE_MAX_WIDTH_MASK)) text += u"\r\n";
  const DWORD needed = static_cast<DWORD>(text.size()) + 1;
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const DWORD units = needed > size ? needed : size;
    auto* out = static_cast<LPWSTR>(LocalAlloc(LPTR, units * sizeof(WCHAR)));
    if (!out) return 0;
    std::memcpy(out, text.data(), text.size() * sizeof(WCHAR));
    *reinterpret_cast<LPWSTR*>(buffer) = out;
  } else {
    if (size < needed) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    buffer[text.size()] = 0;
  }
  return static_cast<DWORD>(text.size());
}

BOOL CloseHandle(HANDLE handle) {
  HandleEntry entry{};
  {
    auto& t = Handles();
    std::lock_guard g(t.lock);
    auto it = t.entries.find(reinterpret_cast<std::uintptr_t>(handle));
    if (it == t.entries.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    entry = it->second;
    t.entries.erase(it);
  }
  if (entry.closer) entry.closer(entry.object);
  return TRUE;
}
}

namespace plat {
HANDLE RegisterHandle(HandleKind kind, void* object, HandleCloser closer) {
  auto& t = Handles();
  std::lock_guard g(t.lock);
  const std::uintptr_t value = t.next;
  t.next += 4;
  t.entries.emplace(value, HandleEntry{kind, object, closer});
  return reinterpret_cast<HANDLE>(value);
}

void* HandleObject(HANDLE handle, HandleKind kind) {
  auto& t = Handles();
  std::lock_guard g(t.lock);
  auto it = t.entries.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.entries.end() || it->second.kind != kind) return nullptr;
  return it->second.object;
}

std::size_t LiveHandleCount(HandleKind kind) {
  auto& t = Handles();
  std::lock_guard g(t.lock);
  std::size_t n = 0;
  for (const auto& [value, entry] : t.entries)
    if (entry.kind == kind) ++n;
  return n;
}
std::size_t HeapLiveBytes() { return Counters().live.load(); }
std::size_t HeapPeakBytes() { return Counters().peak.load(); }
void ResetHeapPeak() { Counters().peak.store(Counters().live.load()); }
void FailNthHeapAlloc(std::size_t n) { Counters().failCountdown.store(n); }

}  // namespace plat
