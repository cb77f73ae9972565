#include "plat/setup.h"
#include "plat/services.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>

#include "plat/codepage.h"
#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/strings.h"

namespace {

// ---- threads and events: one waitable object model ----
struct Waitable {
  std::mutex mutex;
  std::condition_variable changed;
  bool signalled = false;
  bool manualReset = true;
  DWORD exitCode = STILL_ACTIVE;
};

struct WaitableRef {
  std::shared_ptr<Waitable> object;
};

void CloseWaitable(void* object) { delete static_cast<WaitableRef*>(object); }

std::shared_ptr<Waitable> WaitableOf(HANDLE h) {
  for (auto kind : {plat::HandleKind::Thread, plat::HandleKind::Event})
    if (auto* ref = static_cast<WaitableRef*>(plat::HandleObject(h, kind))) return ref->object;
  return nullptr;
}

// ---- named mutexes: a lock file per name under the machine root ----
struct NamedMutex {
  int fd = -1;  // holds the file's lock when this handle created the mutex
};

void CloseNamedMutex(void* object) {
  auto* m = static_cast<NamedMutex*>(object);
  if (m->fd >= 0) ::close(m->fd);
  delete m;
}

std::string MutexFolder() { return plat::machine::Root() + "/.machine/mutex"; }

// Names may hold any character but the backslash; the file name keeps them readable.
std::string MutexFileName(std::u16string_view name) {
  std::string out;
  for (char16_t c : name) {
    const bool plain = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'-' ||
                       c == u'_' || c == u'.';
    if (plain) out += static_cast<char>(c);
    else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "%%%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

HANDLE CreateNamedMutex(std::u16string_view name) {
  auto* m = new NamedMutex;
  if (!name.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(MutexFolder(), ec);
    const std::string path = MutexFolder() + "/" + MutexFileName(name);
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
      delete m;
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &fl) == 0) {
      m->fd = fd;
      SetLastError(ERROR_SUCCESS);
    } else {
      ::close(fd);
      SetLastError(ERROR_ALREADY_EXISTS);
    }
  } else {
    SetLastError(ERROR_SUCCESS);
  }
  const DWORD error = GetLastError();
  HANDLE h = plat::RegisterHandle(plat::HandleKind::Mutex, m, CloseNamedMutex);
  SetLastError(error);
  return h;
}

// ---- INF files ----
struct Inf {
  std::u16string path;
};

std::atomic<std::size_t> g_openInfs{0};

// The process token's one privilege.
constexpr LUID kShutdownLuid{19, 0};
std::atomic<bool> g_shutdownEnabled{false};

void CloseInf(void* object) {
  delete static_cast<Inf*>(object);
  --g_openInfs;
}

Inf* InfOf(HINF h) { return static_cast<Inf*>(plat::HandleObject(h, plat::HandleKind::Inf)); }

std::u16string ReadValue(const Inf& inf, const char16_t* section, std::u16string_view key, bool& found) {
  auto value = plat::profile::ReadValue(inf.path, section, key);
  found = value.has_value();
  return value.value_or(u"");
}

// Field n (0-based) of a comma list, trimmed, with one pair of quotes removed.
std::u16string Field(std::u16string_view text, int n) {
  for (int i = 0; i < n; ++i) {
    const auto comma = text.find(u',');
    if (comma == std::u16string_view::npos) return {};
    text.remove_prefix(comma + 1);
  }
  text = text.substr(0, text.find(u','));
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  if (text.size() >= 2 && text.front() == u'"' && text.back() == u'"') text = text.substr(1, text.size() - 2);
  return std::u16string(text);
}

// Size protocol of SetupAPI: *required in units with the terminator.
BOOL CopyOut(std::u16string_view text, LPWSTR buffer, DWORD size, LPDWORD required) {
  const DWORD need = static_cast<DWORD>(text.size() + 1);
  if (required) *required = need;
  if (!buffer) return TRUE;
  if (size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return TRUE;
}

}  // namespace

namespace {
std::atomic<int>& RunningThreads() {
  static std::atomic<int> running{0};
  return running;
}
}  // namespace

extern "C" {

HANDLE GetCurrentProcess() { return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)); }

BOOL OpenProcessToken(HANDLE process, DWORD, PHANDLE token) {
  if (process != GetCurrentProcess() || !token) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *token = plat::RegisterHandle(plat::HandleKind::Other, new int(0), [](void* o) { delete static_cast<int*>(o); });
  return TRUE;
}

BOOL LookupPrivilegeValueW(LPCWSTR, LPCWSTR name, LUID* luid) {
  if (!name || !luid || !plat::EqualsNoCase(plat::view(name), SE_SHUTDOWN_NAME)) {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  *luid = kShutdownLuid;
  return TRUE;
}

BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD, TOKEN_PRIVILEGES*,
                           PDWORD) {
  if (!plat::HandleObject(token, plat::HandleKind::Other)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (disableAll) {
    g_shutdownEnabled = false;
  } else if (newState) {
    for (DWORD i = 0; i < newState->PrivilegeCount && i < 1; ++i)
      if (newState->Privileges[i].Luid.LowPart == kShutdownLuid.LowPart)
        g_shutdownEnabled = (newState->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) != 0;
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL ExitWindowsEx(UINT flags, DWORD) {
  if (!(flags & (EWX_REBOOT | EWX_SHUTDOWN))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!g_shutdownEnabled) {
    SetLastError(ERROR_PRIVILEGE_NOT_HELD);
    return FALSE;
  }
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(plat::setup::Reboot); });
  return TRUE;
}

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                    LPDWORD threadId) {
  if (!start || flags != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto state = std::make_shared<Waitable>();
  ++RunningThreads();
  std::thread([state, start, parameter] {
    const DWORD code = start(parameter);
    --RunningThreads();
    std::lock_guard g(state->mutex);
    state->exitCode = code;
    state->signalled = true;
    state->changed.notify_all();
  }).detach();
  static std::atomic<DWORD> nextId{0x1000};
  if (threadId) *threadId = nextId += 4;
  return plat::RegisterHandle(plat::HandleKind::Thread, new WaitableRef{state}, CloseWaitable);
}

BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode) {
  auto* ref = static_cast<WaitableRef*>(plat::HandleObject(thread, plat::HandleKind::Thread));
  if (!ref || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard g(ref->object->mutex);
  *exitCode = ref->object->exitCode;
  return TRUE;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR) {
  auto state = std::make_shared<Waitable>();
  state->manualReset = manualReset != FALSE;
  state->signalled = initialState != FALSE;
  return plat::RegisterHandle(plat::HandleKind::Event, new WaitableRef{state}, CloseWaitable);
}

static BOOL SetEventState(HANDLE event, bool signalled) {
  auto* ref = static_cast<WaitableRef*>(plat::HandleObject(event, plat::HandleKind::Event));
  if (!ref) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard g(ref->object->mutex);
  ref->object->signalled = signalled;
  if (signalled) ref->object->changed.notify_all();
  return TRUE;
}

BOOL SetEvent(HANDLE event) { return SetEventState(event, true); }
BOOL ResetEvent(HANDLE event) { return SetEventState(event, false); }

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
  auto state = WaitableOf(object);
  if (!state) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  std::unique_lock lock(state->mutex);
  auto ready = [&] { return state->signalled; };
  if (milliseconds == INFINITE) state->changed.wait(lock, ready);
  else if (!state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) return WAIT_TIMEOUT;
  if (!state->manualReset) state->signalled = false;
  return WAIT_OBJECT_0;
}

HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  return CreateNamedMutex(name ? plat::ToWide(CP_ACP, name) : std::u16string());
}

HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES, BOOL, LPCWSTR name) { return CreateNamedMutex(plat::view(name)); }

BOOL ReleaseMutex(HANDLE mutex) {
  if (!plat::HandleObject(mutex, plat::HandleKind::Mutex)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR, DWORD, PUINT errorLine) {
  if (errorLine) *errorLine = 0;
  if (!fileName || GetFileAttributesW(fileName) == INVALID_FILE_ATTRIBUTES) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  WCHAR names[64] = {};
  if (GetPrivateProfileSectionW(u"Version", names, 64, fileName) == 0) {
    SetLastError(ERROR_WRONG_INF_STYLE);
    return INVALID_HANDLE_VALUE;
  }
  ++g_openInfs;
  return plat::RegisterHandle(plat::HandleKind::Inf, new Inf{std::u16string(plat::view(fileName))}, CloseInf);
}

void SetupCloseInfFile(HINF inf) {
  if (InfOf(inf)) CloseHandle(inf);
}

BOOL SetupGetSourceFileLocationW(HINF handle, void*, LPCWSTR fileName, PUINT sourceId, LPWSTR buffer, DWORD size,
                                 LPDWORD required) {
  const Inf* inf = InfOf(handle);
  if (!inf || !fileName) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  bool found = false;
  const std::u16string line = ReadValue(*inf, u"SourceDisksFiles", plat::view(fileName), found);
  if (!found) {
    SetLastError(ERROR_LINE_NOT_FOUND);
    return FALSE;
  }
  if (sourceId) *sourceId = static_cast<UINT>(std::strtoul(plat::utf8(Field(line, 0)).c_str(), nullptr, 10));
  return CopyOut(Field(line, 1), buffer, size, required);
}

BOOL SetupGetSourceInfoW(HINF handle, UINT sourceId, UINT infoDesired, LPWSTR buffer, DWORD size, LPDWORD required) {
  const Inf* inf = InfOf(handle);
  if (!inf) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int field = 0;
  switch (infoDesired) {
    case SRCINFO_PATH: field = 3; break;
    case SRCINFO_TAGFILE: field = 1; break;
    case SRCINFO_DESCRIPTION: field = 0; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return FALSE;
  }
  bool found = false;
  const std::u16string line = ReadValue(*inf, u"SourceDisksNames", plat::u16(std::to_string(sourceId)), found);
  if (!found) {
    SetLastError(ERROR_LINE_NOT_FOUND);
    return FALSE;
  }
  return CopyOut(Field(line, field), buffer, size, required);
}

DWORD SetupGetFileCompressionInfoW(LPCWSTR sourceFileName, LPWSTR* actual, PDWORD sourceSize, PDWORD targetSize,
                                   PUINT compressionType) {
  if (!sourceFileName || !actual || !sourceSize || !targetSize || !compressionType) return ERROR_INVALID_PARAMETER;
  *actual = nullptr;
  HANDLE f = CreateFileW(sourceFileName, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return GetLastError();
  BYTE head[14] = {};
  DWORD got = 0;
  const DWORD size = GetFileSize(f, nullptr);
  const BOOL read = ReadFile(f, head, sizeof head, &got, nullptr);
  CloseHandle(f);
  if (!read) return GetLastError();
  const bool szdd = got >= 14 && std::memcmp(head, "SZDD", 4) == 0;
  *compressionType = szdd ? FILE_COMPRESSION_WINLZA : FILE_COMPRESSION_NONE;
  *sourceSize = size;
  // An SZDD header holds the expanded size at byte 10, little-endian.
  *targetSize = szdd ? static_cast<DWORD>(head[10] | head[11] << 8 | head[12] << 16 | static_cast<DWORD>(head[13]) << 24)
                     : size;
  const std::u16string_view name = plat::view(sourceFileName);
  auto* copy = static_cast<LPWSTR>(LocalAlloc(LPTR, (name.size() + 1) * sizeof(WCHAR)));
  if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
  std::memcpy(copy, name.data(), name.size() * sizeof(WCHAR));
  *actual = copy;
  return ERROR_SUCCESS;
}
}

namespace plat::setup {
std::size_t OpenInfCount() { return g_openInfs; }
int RunningThreadCount() { return RunningThreads(); }

void Reboot() {
  plat::files::RunPendingOperations();
  plat::services::Restart();
}
}  // namespace plat::setup
