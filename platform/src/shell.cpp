#include "plat/shell.h"

#include <mutex>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/strings.h"
#include "window_internal.h"

namespace {

struct Shell {
  std::mutex mutex;
  std::vector<plat::shell::Start> starts;
};

Shell& S() {
  static Shell* s = new Shell;  // lives as long as the process
  return *s;
}

void Record(std::u16string what, bool ran) {
  plat::internal::UiLog("{\"ev\":\"start\",\"command\":" + plat::JsonQuoted(what) + ",\"ran\":" +
                        (ran ? "true" : "false") + "}");
  std::lock_guard lock(S().mutex);
  S().starts.push_back({std::move(what), ran});
}

// The printer name of "... printui.dll,PrintUIEntry /k /n "NAME"", or nothing.
bool TestPageRequest(std::u16string_view line, std::u16string& name) {
  constexpr std::u16string_view kEntry = u"printui.dll,PrintUIEntry /k /n \"";
  const auto at = line.find(kEntry);
  if (at == std::u16string_view::npos || line.empty() || line.back() != u'"') return false;
  const std::size_t start = at + kEntry.size();
  if (start > line.size() - 1) return false;
  name = std::u16string(line.substr(start, line.size() - 1 - start));
  return name.find(u'"') == std::u16string::npos;
}

}  // namespace

extern "C" {

HINSTANCE ShellExecuteW(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
  const std::u16string what = std::u16string(operation ? plat::view(operation) : u"open") + u" " +
                              std::u16string(file ? plat::view(file) : u"");
  const bool exists = file && GetFileAttributesW(file) != INVALID_FILE_ATTRIBUTES;
  Record(what, exists);
  if (!exists) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(2));
  }
  return reinterpret_cast<HINSTANCE>(static_cast<ULONG_PTR>(42));
}

BOOL CreateProcessW(LPCWSTR application, LPWSTR commandLine, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD, LPVOID, LPCWSTR, STARTUPINFOW*, PROCESS_INFORMATION* info) {
  const std::u16string line(commandLine ? plat::view(commandLine) : plat::view(application ? application : u""));
  WCHAR system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::u16string rundll = std::u16string(plat::view(system)) + u"\\rundll32.exe";
  std::u16string printer;
  const bool isRundll = application && plat::EqualsNoCase(plat::view(application), rundll);
  if (!isRundll || !TestPageRequest(line, printer)) {
    Record(line, false);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  const DWORD error = plat::print_host::PrintTestPage(printer);
  Record(line, error == ERROR_SUCCESS);
  if (info) *info = PROCESS_INFORMATION{};
  // printui reports its own failures; the start itself succeeded.
  return TRUE;
}

}  // extern "C"

namespace plat::shell {

std::vector<Start> Starts() {
  std::lock_guard lock(S().mutex);
  return S().starts;
}

void ResetStarts() {
  std::lock_guard lock(S().mutex);
  S().starts.clear();
}

}  // namespace plat::shell
