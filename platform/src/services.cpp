#include "plat/services.h"

#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "machine_state.h"
#include "plat/machine.h"
#include "plat/strings.h"

namespace {

std::atomic<void (*)()>& RestartHook() {
  static std::atomic<void (*)()> hook{nullptr};
  return hook;
}

// The spooler's service started again: it lets go of the drivers it held.
void RestartSpooler() {
  if (auto restart = RestartHook().load()) restart();
}

constexpr const char* kStateFile = "services";

struct Scm {
  std::mutex mutex;
  DWORD state = SERVICE_RUNNING;
  DWORD pendingUntil = 0;  // machine clock, while pending
  bool loaded = false;     // persistent state read for the current root
  std::string root;
  plat::services::Faults faults;
  std::map<SC_HANDLE, bool> handles;  // true: a service handle
  unsigned long next = 0x5C0000;
};

Scm& S() {
  static Scm* scm = new Scm;
  return *scm;
}

bool Persistent() {
  struct stat st {};
  return ::stat((plat::state::Folder() + "/profile").c_str(), &st) == 0;
}

void Store(DWORD state) {
  if (!Persistent()) return;
  plat::state::Update(kStateFile, [state](std::string& text) {
    text = std::string("Spooler\t") + (state == SERVICE_STOPPED ? "stopped" : "running") + "\n";
  });
}

// Takes up the persistent state, and lets a due pending change happen.
// Returns true when a start just completed (held drivers are then let go,
// outside this lock).
bool Settle(Scm& s) {
  const std::string root = plat::machine::Root();
  if (!s.loaded || s.root != root) {
    s.loaded = true;
    s.root = root;
    if (Persistent()) {
      const std::string text = plat::state::Read(kStateFile);
      s.state = text.find("Spooler\tstopped") != std::string::npos ? SERVICE_STOPPED : SERVICE_RUNNING;
    }
  }
  if (s.state != SERVICE_STOP_PENDING && s.state != SERVICE_START_PENDING) return false;
  if (static_cast<LONG>(GetTickCount() - s.pendingUntil) < 0) return false;
  const bool started = s.state == SERVICE_START_PENDING;
  s.state = started ? SERVICE_RUNNING : SERVICE_STOPPED;
  Store(s.state);
  return started && !s.faults.keepDriversHeld;
}

void Fill(const Scm& s, LPSERVICE_STATUS status) {
  if (!status) return;
  *status = {};
  status->dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status->dwCurrentState = s.state;
  status->dwControlsAccepted = s.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  status->dwWaitHint = (s.state == SERVICE_STOP_PENDING || s.state == SERVICE_START_PENDING) ? s.faults.pendingMs : 0;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// Runs a call on the service under the lock; held drivers are let go after it.
template <typename Call>
BOOL OnService(SC_HANDLE service, Call call) {
  Scm& s = S();
  bool release = false;
  BOOL result = FALSE;
  DWORD error = 0;
  {
    std::lock_guard lock(s.mutex);
    auto it = s.handles.find(service);
    if (it == s.handles.end() || !it->second) {
      error = ERROR_INVALID_HANDLE;
    } else {
      release = Settle(s);
      result = call(s, error);
    }
  }
  if (release) RestartSpooler();
  if (!result) SetLastError(error);
  return result;
}

SC_HANDLE NewHandle(bool service) {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  SC_HANDLE h = reinterpret_cast<SC_HANDLE>(s.next);
  s.next += 8;
  s.handles[h] = service;
  return h;
}

}  // namespace

extern "C" {

SC_HANDLE OpenSCManagerW(LPCWSTR machine, LPCWSTR, DWORD) {
  if (machine && *machine) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  return NewHandle(false);
}

SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD) {
  {
    Scm& s = S();
    std::lock_guard lock(s.mutex);
    auto it = s.handles.find(manager);
    if (it == s.handles.end() || it->second) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
  }
  if (!name || !plat::EqualsNoCase(plat::view(name), u"Spooler")) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return NewHandle(true);
}

BOOL CloseServiceHandle(SC_HANDLE handle) {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  if (!s.handles.erase(handle)) return Fail(ERROR_INVALID_HANDLE);
  return TRUE;
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (!status) return Fail(ERROR_INVALID_PARAMETER);
  return OnService(service, [&](Scm& s, DWORD& error) {
    Fill(s, status);
    if (control == SERVICE_CONTROL_INTERROGATE) {
      if (s.state == SERVICE_STOPPED) {
        error = ERROR_SERVICE_NOT_ACTIVE;
        return FALSE;
      }
      return TRUE;
    }
    if (control != SERVICE_CONTROL_STOP) {
      error = ERROR_INVALID_SERVICE_CONTROL;
      return FALSE;
    }
    if (s.state == SERVICE_STOPPED) {
      error = ERROR_SERVICE_NOT_ACTIVE;
      return FALSE;
    }
    if (s.state != SERVICE_RUNNING || s.faults.refuseStop) {
      error = ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
      return FALSE;
    }
    s.state = SERVICE_STOP_PENDING;
    s.pendingUntil = GetTickCount() + s.faults.pendingMs;
    Store(SERVICE_STOPPED);  // other processes see it gone at once
    Fill(s, status);
    return TRUE;
  });
}

BOOL StartServiceW(SC_HANDLE service, DWORD, LPCWSTR*) {
  return OnService(service, [&](Scm& s, DWORD& error) {
    if (s.state != SERVICE_STOPPED) {
      error = ERROR_SERVICE_ALREADY_RUNNING;
      return FALSE;
    }
    if (s.faults.refuseStart) {
      error = ERROR_SERVICE_REQUEST_TIMEOUT;
      return FALSE;
    }
    s.state = SERVICE_START_PENDING;
    s.pendingUntil = GetTickCount() + s.faults.pendingMs;
    return TRUE;
  });
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (!status) return Fail(ERROR_INVALID_PARAMETER);
  return OnService(service, [&](Scm& s, DWORD&) {
    Fill(s, status);
    return TRUE;
  });
}

}  // extern "C"

namespace plat::services {
void OnSpoolerRestart(void (*restart)()) { RestartHook() = restart; }


void SetFaults(const Faults& faults) {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  s.faults = faults;
}

bool SpoolerRunning() {
  Scm& s = S();
  bool release = false, running = false;
  {
    std::lock_guard lock(s.mutex);
    release = Settle(s);
    running = s.state == SERVICE_RUNNING;
  }
  if (release) RestartSpooler();
  return running;
}

void Reset() {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  s.state = SERVICE_RUNNING;
  s.faults = {};
  s.handles.clear();
  s.loaded = false;
}

void Boot() {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  s.state = SERVICE_RUNNING;
  s.loaded = true;
  s.root = plat::machine::Root();
  Store(SERVICE_RUNNING);
}

void Restart() {
  Boot();
  RestartSpooler();
}

std::size_t OpenHandleCount() {
  Scm& s = S();
  std::lock_guard lock(s.mutex);
  return s.handles.size();
}

}  // namespace plat::services
