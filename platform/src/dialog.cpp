#include "plat/dialog.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "plat/strings.h"

namespace {

struct ComboEntry {
  std::u16string text;
  LPARAM data = 0;
};

struct Window {
  std::uintptr_t handle = 0;
  std::uintptr_t parent = 0;  // 0 for a dialog
  int id = 0;
  bool isDialog = false;
  plat::ControlKind kind = plat::ControlKind::Static;
  std::u16string text;
  bool enabled = true;
  DLGPROC proc = nullptr;
  std::vector<std::uintptr_t> children;
  std::vector<ComboEntry> items;  // combo boxes
  int selection = -1;
};

using WindowPtr = std::shared_ptr<Window>;

// Handle values count up and are never reused, so a stale HWND finds nothing.
struct WindowTable {
  std::mutex lock;
  std::map<std::uintptr_t, WindowPtr> windows;
  std::uintptr_t next = 0x10000;
};

WindowTable& Table() {
  static WindowTable table;
  return table;
}

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HWND ToHwnd(std::uintptr_t key) { return reinterpret_cast<HWND>(key); }

// Caller holds the table lock.
WindowPtr FindLocked(HWND window) {
  auto& t = Table();
  auto it = t.windows.find(Key(window));
  return it == t.windows.end() ? nullptr : it->second;
}

WindowPtr Find(HWND window) {
  std::lock_guard<std::mutex> guard(Table().lock);
  return FindLocked(window);
}

WindowPtr FindChildLocked(const Window& dialog, int id) {
  auto& t = Table();
  for (std::uintptr_t child : dialog.children) {
    auto it = t.windows.find(child);
    if (it != t.windows.end() && it->second->id == id) return it->second;
  }
  return nullptr;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && plat::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Search of CB_FINDSTRING(EXACT): from the item after `start` round to `start`;
// a start outside the list searches the whole list from the top.
LRESULT FindItem(const Window& w, WPARAM startParam, LPCWSTR what, bool exact) {
  if (what == nullptr || w.items.empty()) return CB_ERR;
  const int count = static_cast<int>(w.items.size());
  int start = static_cast<int>(static_cast<INT_PTR>(startParam));
  if (start < 0 || start >= count) start = -1;
  const std::u16string_view needle(what);
  for (int n = 1; n <= count; ++n) {
    const int i = (start + n) % count;
    const std::u16string& text = w.items[static_cast<std::size_t>(i)].text;
    if (exact ? plat::EqualsNoCase(text, needle) : StartsWithNoCase(text, needle)) return i;
  }
  return CB_ERR;
}

void Select(Window& w, int index) {
  if (index >= 0 && index < static_cast<int>(w.items.size())) {
    w.selection = index;
    w.text = w.items[static_cast<std::size_t>(index)].text;
  } else {
    w.selection = -1;
    w.text.clear();
  }
}

int CopyText(const std::u16string& text, LPWSTR buffer, int size) {
  if (buffer == nullptr || size <= 0) return 0;
  const int n = std::min(static_cast<int>(text.size()), size - 1);
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
  return n;
}

// Messages every control answers. Caller holds the table lock.
LRESULT ControlMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      w.text = plat::view(reinterpret_cast<LPCWSTR>(lParam));
      return TRUE;
    case WM_GETTEXT:
      return CopyText(w.text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w.text.size());
    default:
      break;
  }
  if (w.kind != plat::ControlKind::ComboBox) return 0;

  const int count = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  const bool inRange = index >= 0 && index < count;
  switch (message) {
    case CB_ADDSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr) return CB_ERR;
      w.items.push_back({std::u16string(text), 0});
      return count;
    }
    case CB_INSERTSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr || index < -1 || index > count) return CB_ERR;
      const int at = index == -1 ? count : index;
      w.items.insert(w.items.begin() + at, {std::u16string(text), 0});
      if (w.selection >= at) ++w.selection;
      return at;
    }
    case CB_DELETESTRING:
      if (!inRange) return CB_ERR;
      w.items.erase(w.items.begin() + index);
      if (w.selection == index) {
        Select(w, -1);
      } else if (w.selection > index) {
        --w.selection;
      }
      return count - 1;
    case CB_RESETCONTENT:
      w.items.clear();
      Select(w, -1);
      return CB_OKAY;
    case CB_GETCOUNT:
      return count;
    case CB_GETCURSEL:
      return w.selection >= 0 ? w.selection : CB_ERR;
    case CB_SETCURSEL:
      Select(w, index);
      return inRange ? index : CB_ERR;
    case CB_GETLBTEXTLEN:
      return inRange ? static_cast<LRESULT>(w.items[static_cast<std::size_t>(index)].text.size()) : CB_ERR;
    case CB_GETLBTEXT: {
      // As on the platform, the buffer must hold CB_GETLBTEXTLEN + 1 units.
      auto buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!inRange || buffer == nullptr) return CB_ERR;
      const std::u16string& text = w.items[static_cast<std::size_t>(index)].text;
      std::copy(text.begin(), text.end(), buffer);
      buffer[text.size()] = 0;
      return static_cast<LRESULT>(text.size());
    }
    case CB_FINDSTRING:
      return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
    case CB_FINDSTRINGEXACT:
      return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), true);
    case CB_SELECTSTRING: {
      const LRESULT found = FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
      if (found != CB_ERR) Select(w, static_cast<int>(found));
      return found;
    }
    case CB_GETITEMDATA:
      return inRange ? w.items[static_cast<std::size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!inRange) return CB_ERR;
      w.items[static_cast<std::size_t>(index)].data = lParam;
      return TRUE;
    case CB_LIMITTEXT:
      return TRUE;
    default:
      return 0;
  }
}

// Sends a notification to the dialog procedure of a control's parent.
void Notify(const Window& control, WORD code) {
  const WPARAM wParam = MAKELONG(static_cast<WORD>(control.id), code);
  SendMessageW(ToHwnd(control.parent), WM_COMMAND, wParam, static_cast<LPARAM>(control.handle));
}

// A control a user can reach: it and its dialog are enabled.
WindowPtr ReachableControlLocked(HWND window, plat::ControlKind kind) {
  WindowPtr w = FindLocked(window);
  if (!w || w->isDialog || w->kind != kind || !w->enabled) return nullptr;
  WindowPtr dialog = FindLocked(ToHwnd(w->parent));
  if (!dialog || !dialog->enabled) return nullptr;
  return w;
}

}  // namespace

extern "C" {

HWND GetDlgItem(HWND dialog, int id) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr d = FindLocked(dialog);
  if (!d) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  WindowPtr c = FindChildLocked(*d, id);
  if (!c) {
    SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
  }
  return ToHwnd(c->handle);
}

int GetDlgCtrlID(HWND window) {
  WindowPtr w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  return w->id;
}

HWND GetParent(HWND window) {
  WindowPtr w = Find(window);
  return w ? ToHwnd(w->parent) : nullptr;
}

BOOL IsWindow(HWND window) { return Find(window) ? TRUE : FALSE; }

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    WindowPtr w = FindLocked(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (!w->isDialog) return ControlMessageLocked(*w, message, wParam, lParam);
    if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
      return ControlMessageLocked(*w, message, wParam, lParam);
    }
    proc = w->proc;
  }
  // The procedure runs without the lock: it sends messages of its own.
  return proc ? proc(window, message, wParam, lParam) : 0;
}

LRESULT SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SendMessageW(item, message, wParam, lParam) : 0;
}

BOOL EnableWindow(HWND window, BOOL enable) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  const BOOL wasDisabled = w->enabled ? FALSE : TRUE;
  w->enabled = enable != FALSE;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  WindowPtr w = Find(window);
  return w && w->enabled ? TRUE : FALSE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  return TRUE;
}

int GetWindowTextW(HWND window, LPWSTR buffer, int size) {
  if (buffer != nullptr && size > 0) buffer[0] = 0;
  return static_cast<int>(
      SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

int GetWindowTextLengthW(HWND window) { return static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0)); }

BOOL SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
  HWND item = GetDlgItem(dialog, id);
  return item ? SetWindowTextW(item, text) : FALSE;
}

UINT GetDlgItemTextW(HWND dialog, int id, LPWSTR buffer, int size) {
  if (buffer != nullptr && size > 0) buffer[0] = 0;
  HWND item = GetDlgItem(dialog, id);
  return item ? static_cast<UINT>(GetWindowTextW(item, buffer, size)) : 0;
}

BOOL DestroyWindow(HWND window) {
  std::lock_guard<std::mutex> guard(Table().lock);
  auto& t = Table();
  WindowPtr w = FindLocked(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  for (std::uintptr_t child : w->children) t.windows.erase(child);
  if (WindowPtr parent = w->parent ? FindLocked(ToHwnd(w->parent)) : nullptr) {
    std::erase(parent->children, w->handle);
  }
  t.windows.erase(w->handle);
  return TRUE;
}

}  // extern "C"

namespace plat {

HWND CreateHeadlessDialog(std::initializer_list<DialogItem> items, DLGPROC proc, LPARAM initParam) {
  HWND dialog = nullptr;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    auto& t = Table();
    auto d = std::make_shared<Window>();
    d->handle = t.next;
    t.next += 0x10;
    d->isDialog = true;
    d->proc = proc;
    for (const DialogItem& item : items) {
      auto c = std::make_shared<Window>();
      c->handle = t.next;
      t.next += 0x10;
      c->parent = d->handle;
      c->id = item.id;
      c->kind = item.kind;
      c->text = item.text;
      c->enabled = item.enabled;
      d->children.push_back(c->handle);
      t.windows.emplace(c->handle, std::move(c));
    }
    dialog = ToHwnd(d->handle);
    t.windows.emplace(d->handle, std::move(d));
  }
  if (proc) proc(dialog, WM_INITDIALOG, 0, initParam);
  return dialog;
}

bool UserSelectComboItem(HWND combo, int index) {
  WindowPtr w;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    w = ReachableControlLocked(combo, ControlKind::ComboBox);
    if (!w || index < 0 || index >= static_cast<int>(w->items.size())) return false;
    Select(*w, index);
  }
  Notify(*w, CBN_SELCHANGE);
  return true;
}

bool UserClickButton(HWND button) {
  WindowPtr w;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    w = ReachableControlLocked(button, ControlKind::Button);
    if (!w) return false;
  }
  Notify(*w, BN_CLICKED);
  return true;
}

std::size_t LiveWindowCount() {
  std::lock_guard<std::mutex> guard(Table().lock);
  return Table().windows.size();
}

}  // namespace plat
