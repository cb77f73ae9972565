// Timers, posted messages and the loop that runs them for the headless windows.
#include "plat/msgqueue.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "plat/machine.h"
#include "plat/setup.h"
#include "plat/strings.h"
#include "window_internal.h"

namespace {

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  DWORD due;
  TIMERPROC proc;
  std::thread::id thread;
};

struct Posted {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct Queue {
  std::mutex mutex;
  std::vector<Timer> timers;
  std::deque<Posted> posted;
  std::vector<HWND> systemWindows;
};

Queue& Q() {
  static Queue* q = new Queue;  // lives as long as the process
  return *q;
}

bool Due(DWORD now, DWORD due) { return static_cast<LONG>(now - due) >= 0; }

// One posted message or timer of this thread; false when none is ready.
bool RunOne() {
  auto& q = Q();
  const auto self = std::this_thread::get_id();
  std::optional<Posted> message;
  std::optional<Timer> timer;
  {
    std::lock_guard lock(q.mutex);
    for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
      if (!IsWindow(it->window)) {
        q.posted.erase(it);
        return true;
      }
      if (plat::internal::ThreadOf(it->window) == self) {
        message = *it;
        q.posted.erase(it);
        break;
      }
    }
    if (!message) {
      const DWORD now = GetTickCount();
      for (Timer& t : q.timers) {
        if (t.thread != self || !Due(now, t.due)) continue;
        t.due = now + t.elapse;
        timer = t;
        break;
      }
    }
  }
  if (message) {
    SendMessageW(message->window, message->message, message->wParam, message->lParam);
    return true;
  }
  if (timer) {
    if (timer->proc) timer->proc(timer->window, WM_TIMER, timer->id, GetTickCount());
    else SendMessageW(timer->window, WM_TIMER, timer->id, 0);
    return true;
  }
  return false;
}

std::atomic<void (*)()>& HostPause() {
  static std::atomic<void (*)()> pause{nullptr};
  return pause;
}

// Machine milliseconds until this thread's next timer (a short poll without one).
DWORD NextWait() {
  auto& q = Q();
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(q.mutex);
  const DWORD now = GetTickCount();
  bool timed = false;
  DWORD wait = 0xFFFFFFFF;
  for (const Timer& t : q.timers) {
    if (t.thread != self) continue;
    const LONG left = static_cast<LONG>(t.due - now);
    wait = std::min<DWORD>(wait, left > 0 ? static_cast<DWORD>(left) : 0);
    timed = true;
  }
  return std::max<DWORD>(timed ? wait : 10, 1);
}

void DropWindowLocked(Queue& q, HWND window) {
  std::erase_if(q.timers, [window](const Timer& t) { return t.window == window; });
}

}  // namespace

namespace plat::internal {

bool HasWorkForThisThread() {
  auto& q = Q();
  const auto self = std::this_thread::get_id();
  std::lock_guard lock(q.mutex);
  std::erase_if(q.timers, [](const Timer& t) { return !IsWindow(t.window); });
  for (const Timer& t : q.timers)
    if (t.thread == self) return true;
  for (const Posted& p : q.posted)
    if (IsWindow(p.window) && ThreadOf(p.window) == self) return true;
  return plat::setup::RunningThreadCount() > 0;
}

void ForgetWindow(HWND window) {
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  DropWindowLocked(q, window);
  std::erase(q.systemWindows, window);
}

}  // namespace plat::internal

extern "C" {

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  elapse = std::max<UINT>(elapse, 10);
  for (Timer& t : q.timers) {
    if (t.window == window && t.id == id) {
      t.elapse = elapse;
      t.due = GetTickCount() + elapse;
      t.proc = proc;
      return id;
    }
  }
  q.timers.push_back({window, id, elapse, GetTickCount() + elapse, proc, plat::internal::ThreadOf(window)});
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  const auto before = q.timers.size();
  std::erase_if(q.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  return before != q.timers.size() ? TRUE : FALSE;
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  q.posted.push_back({window, message, wParam, lParam});
  return TRUE;
}

HWND FindWindowW(LPCWSTR, LPCWSTR caption) {
  if (!caption) return nullptr;
  std::vector<HWND> windows;
  {
    auto& q = Q();
    std::lock_guard lock(q.mutex);
    windows = q.systemWindows;
  }
  WCHAR text[512];
  for (HWND w : windows) {
    if (IsWindow(w) && GetWindowTextW(w, text, 512) >= 0 && plat::view(text) == plat::view(caption)) return w;
  }
  return plat::internal::FindTopLevel(plat::view(caption));
}

void InitCommonControls() {}

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
  if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || !handles) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    DWORD signalled = 0;
    for (DWORD i = 0; i < count; ++i) {
      const DWORD r = WaitForSingleObject(handles[i], 0);
      if (r == WAIT_FAILED) return WAIT_FAILED;
      if (r == WAIT_OBJECT_0) {
        if (!waitAll) return WAIT_OBJECT_0 + i;
        ++signalled;
      }
    }
    if (waitAll && signalled == count) return WAIT_OBJECT_0;
    const auto spent = std::chrono::steady_clock::now() - start;
    if (milliseconds != INFINITE && spent >= std::chrono::milliseconds(milliseconds)) return WAIT_TIMEOUT;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // extern "C"

namespace plat::ui {

bool Pump(const std::function<bool()>& done, DWORD machineMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (done()) return true;
    if (RunOne()) continue;
    const DWORD spent = GetTickCount() - start;
    if (spent >= machineMs) return done();
    Sleep(std::min(NextWait(), machineMs - spent));
    // Other threads get real time to run, however fast the machine clock goes.
    if (auto pause = HostPause().load()) pause();
    else std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void SetPumpHostPause(void (*pause)()) { HostPause() = pause; }

std::size_t LiveTimerCount() {
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  std::erase_if(q.timers, [](const Timer& t) { return !IsWindow(t.window); });
  return q.timers.size();
}

HWND OpenSystemWindow(std::u16string_view caption, DLGPROC proc) {
  HWND window = plat::internal::CreateBareDialog(nullptr, std::u16string(caption), proc, 0, false);
  auto& q = Q();
  std::lock_guard lock(q.mutex);
  q.systemWindows.push_back(window);
  return window;
}

}  // namespace plat::ui
