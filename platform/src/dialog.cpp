#include "plat/dialog.h"

#include <algorithm>
#include <array>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "plat/msgqueue.h"

#include "plat/strings.h"
#include "resource_data.h"
#include "window_internal.h"

namespace {

using plat::internal::WindowKind;

struct ListItem {
  std::u16string text;
  LPARAM data = 0;
  bool selected = false;  // list boxes with several selections
  std::vector<std::u16string> sub;  // list views: texts of columns 1..
};

struct Window {
  std::uintptr_t handle = 0;
  std::uintptr_t parent = 0;
  WindowKind kind = WindowKind::Other;
  std::u16string className;
  int id = 0;
  int templateId = 0;
  DWORD style = 0;
  std::u16string text;
  RECT rect{0, 0, 0, 0};  // in the parent's client coordinates (screen for a top-level window)
  bool enabled = true;
  bool visible = true;
  DLGPROC proc = nullptr;
  LONG_PTR msgResult = 0;
  LONG_PTR user = 0;
  LONG_PTR userData = 0;
  std::vector<std::uintptr_t> children;
  int invalidations = 0;
  bool invalid = true;  // waits for its WM_DRAWITEM
  // Dialogs.
  bool ended = false;
  INT_PTR result = 0;
  int defaultId = 0;
  // Controls.
  std::vector<ListItem> items;
  int selection = -1;
  bool dropped = false;  // a combo box's list is shown
  int itemHeight = 16;
  WPARAM check = BST_UNCHECKED;
  std::size_t limit = 30000;
  int selStart = 0;
  int selEnd = 0;
  int low = 0;
  int high = 100;
  int pos = 0;
  std::uintptr_t buddy = 0;
  std::vector<int> ticks;  // a track bar's marks between its ends
  std::array<int, 4> ip{-1, -1, -1, -1};
  HANDLE image = nullptr;
  std::thread::id thread;  // the thread that made the window
  int columns = 0;          // list views
  DWORD extendedStyle = 0;
  COLORREF barColor = CLR_INVALID;
};

using WindowPtr = std::shared_ptr<Window>;

// Handle values count up and are never reused, so a stale HWND finds nothing.
struct WindowTable {
  std::mutex lock;
  std::map<std::uintptr_t, WindowPtr> windows;
  std::map<std::u16string, ULONG_PTR> classCursors;
  std::uintptr_t next = 0x10000;
  std::uintptr_t focus = 0;
  HCURSOR cursor = nullptr;
};

WindowTable& Table() {
  static WindowTable* table = new WindowTable;  // lives as long as the process
  return *table;
}

std::uintptr_t Key(HWND window) { return reinterpret_cast<std::uintptr_t>(window); }
HWND ToHwnd(std::uintptr_t key) { return reinterpret_cast<HWND>(key); }

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

struct ClassKind {
  std::u16string_view name;
  WindowKind kind;
};
constexpr ClassKind kClassKinds[] = {
    {WC_DIALOG, WindowKind::Dialog},         {WC_BUTTON, WindowKind::Button},
    {WC_EDIT, WindowKind::Edit},             {WC_STATIC, WindowKind::Static},
    {WC_COMBOBOX, WindowKind::ComboBox},     {WC_LISTBOX, WindowKind::ListBox},
    {UPDOWN_CLASS, WindowKind::UpDown},      {TRACKBAR_CLASS, WindowKind::Trackbar},
    {WC_IPADDRESS, WindowKind::IpAddress},   {WC_LISTVIEW, WindowKind::ListView},
    {PROGRESS_CLASS, WindowKind::Progress},
};

WindowKind KindOfClass(std::u16string_view name) {
  for (const ClassKind& c : kClassKinds) {
    if (plat::EqualsNoCase(c.name, name)) return c.kind;
  }
  return WindowKind::Other;
}

std::u16string_view ClassOfKind(plat::ControlKind kind) {
  switch (kind) {
    case plat::ControlKind::Button: return WC_BUTTON;
    case plat::ControlKind::Edit: return WC_EDIT;
    case plat::ControlKind::Static: return WC_STATIC;
    case plat::ControlKind::ComboBox: return WC_COMBOBOX;
    case plat::ControlKind::ListBox: return WC_LISTBOX;
    case plat::ControlKind::UpDown: return UPDOWN_CLASS;
    case plat::ControlKind::Trackbar: return TRACKBAR_CLASS;
    case plat::ControlKind::IpAddress: return WC_IPADDRESS;
  }
  return WC_STATIC;
}

std::u16string Folded(std::u16string_view name) {
  std::u16string out(name);
  for (char16_t& c : out) c = plat::FoldCase(c);
  return out;
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && plat::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Search of CB_FINDSTRING(EXACT) and LB_FINDSTRING(EXACT): from the item after
// `start` round to `start`; a start outside the list searches from the top.
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

void SelectComboLocked(Window& w, int index) {
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

bool MultiSelect(const Window& w) { return (w.style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) != 0; }

std::u16string IpText(const Window& w) {
  std::u16string text;
  for (int i = 0; i < 4; ++i) {
    if (i) text += u'.';
    text += plat::u16(std::to_string(std::max(w.ip[static_cast<std::size_t>(i)], 0)));
  }
  return text;
}

// "a.b.c.d" into four fields (-1 blank); false for another shape or a field above 255.
bool ParseDotted(std::u16string_view dotted, std::array<int, 4>& out) {
  std::size_t field = 0;
  out = {-1, -1, -1, -1};
  for (char16_t c : dotted) {
    if (c == u'.') {
      if (++field > 3) return false;
    } else if (c >= u'0' && c <= u'9') {
      int& f = out[field];
      f = (f < 0 ? 0 : f) * 10 + (c - u'0');
      if (f > 255) return false;
    } else {
      return false;
    }
  }
  return field == 3;
}

// Result of the edit part of a message; the caller sends notifications after unlocking.
enum class After { Nothing, EditChanged, ListViewChanged };

int CopyText(const std::u16string& text, LPWSTR buffer, int size);

// A list view in report style: rows of column texts, one row selected and focused.
LRESULT ListViewMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam, After& after) {
  const int count = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  auto textOf = [&](int row, int column) -> std::u16string* {
    if (row < 0 || row >= count || column < 0) return nullptr;
    ListItem& item = w.items[static_cast<std::size_t>(row)];
    if (column == 0) return &item.text;
    if (item.sub.size() < static_cast<std::size_t>(column)) item.sub.resize(static_cast<std::size_t>(column));
    return &item.sub[static_cast<std::size_t>(column - 1)];
  };
  switch (message) {
    case LVM_GETITEMCOUNT: return count;
    case LVM_DELETEALLITEMS:
      w.items.clear();
      w.selection = -1;
      return TRUE;
    case LVM_INSERTCOLUMNW: {
      auto* column = reinterpret_cast<const LVCOLUMNW*>(lParam);
      if (!column) return -1;
      return w.columns++;
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
      const DWORD before = w.extendedStyle;
      const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFF;
      w.extendedStyle = (w.extendedStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
      return before;
    }
    case LVM_INSERTITEMW: {
      auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item || item->iSubItem != 0) return -1;
      const int at = std::clamp(item->iItem, 0, count);
      ListItem row;
      if ((item->mask & LVIF_TEXT) && item->pszText) row.text = plat::view(item->pszText);
      row.data = item->lParam;
      w.items.insert(w.items.begin() + at, row);
      if (w.selection >= at) ++w.selection;
      return at;
    }
    case LVM_SETITEMTEXTW: {
      auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      std::u16string* text = item ? textOf(index, item->iSubItem) : nullptr;
      if (!text) return FALSE;
      *text = item->pszText ? std::u16string(plat::view(item->pszText)) : std::u16string();
      return TRUE;
    }
    case LVM_GETITEMTEXTW: {
      auto* item = reinterpret_cast<LVITEMW*>(lParam);
      std::u16string* text = item ? textOf(index, item->iSubItem) : nullptr;
      if (!text || !item->pszText || item->cchTextMax <= 0) return 0;
      return CopyText(*text, item->pszText, item->cchTextMax);
    }
    case LVM_SETITEMSTATE: {
      auto* item = reinterpret_cast<const LVITEMW*>(lParam);
      if (!item || index < -1 || index >= count) return FALSE;
      if (item->stateMask & (LVIS_SELECTED | LVIS_FOCUSED)) {
        const int before = w.selection;
        const bool on = (item->state & LVIS_SELECTED) != 0;
        if (on) w.selection = index;
        else if (w.selection == index || index == -1) w.selection = -1;
        // The parent hears of a change made by the program as of a click.
        if (w.selection != before) after = After::ListViewChanged;
      }
      return TRUE;
    }
    case LVM_GETNEXTITEM: {
      const UINT flags = LOWORD(lParam);
      if (flags & (LVNI_SELECTED | LVNI_FOCUSED)) return w.selection > index ? w.selection : -1;
      return index + 1 < count ? index + 1 : -1;
    }
    default: return 0;
  }
}

// The item a list control's message names by wParam, among its items.
struct ItemArgument {
  int count;
  int index;
  bool inRange;
};
ItemArgument ItemOf(const Window& w, WPARAM wParam) {
  const int count = static_cast<int>(w.items.size());
  const int index = static_cast<int>(static_cast<INT_PTR>(wParam));
  return {count, index, index >= 0 && index < count};
}

// Messages of a button.
LRESULT ButtonMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case BM_GETCHECK: return static_cast<LRESULT>(w.check);
    case BM_SETCHECK: w.check = wParam <= BST_INDETERMINATE ? wParam : BST_UNCHECKED; return 0;
    case BM_GETSTATE: return static_cast<LRESULT>(w.check);
    case BM_SETIMAGE: {
      HANDLE old = w.image;
      w.image = reinterpret_cast<HANDLE>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case BM_GETIMAGE: return reinterpret_cast<LRESULT>(w.image);
    case BM_SETSTYLE: w.style = (w.style & ~0xFFFFu) | static_cast<DWORD>(wParam & 0xFFFF); return 0;
    default: return 0;
  }
}

// Messages of an edit control.
LRESULT EditMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam, After& after) {
  switch (message) {
    case EM_LIMITTEXT: w.limit = wParam == 0 ? 0x7FFFFFFE : wParam; return 0;
    case EM_GETLIMITTEXT: return static_cast<LRESULT>(w.limit);
    case EM_SETSEL: {
      const int size = static_cast<int>(w.text.size());
      int a = static_cast<int>(static_cast<INT_PTR>(wParam));
      int b = static_cast<int>(lParam);
      if (a < 0) {
        w.selStart = w.selEnd;  // -1 removes the selection
        return 0;
      }
      if (b < 0 || b > size) b = size;
      a = std::min(a, size);
      w.selStart = std::min(a, b);
      w.selEnd = std::max(a, b);
      return 0;
    }
    case EM_GETSEL:
      if (wParam) *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(w.selStart);
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(w.selEnd);
      return static_cast<LRESULT>(MAKELONG(static_cast<WORD>(w.selStart), static_cast<WORD>(w.selEnd)));
    case EM_REPLACESEL: {
      const std::u16string_view add = plat::view(reinterpret_cast<LPCWSTR>(lParam));
      w.text.replace(static_cast<std::size_t>(w.selStart), static_cast<std::size_t>(w.selEnd - w.selStart), add);
      w.selStart = w.selEnd = w.selStart + static_cast<int>(add.size());
      after = After::EditChanged;
      return 0;
    }
    default: return 0;
  }
}

// Messages of a static control.
LRESULT StaticMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case STM_SETICON: {
      HANDLE old = w.image;
      w.image = reinterpret_cast<HANDLE>(wParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETICON: return reinterpret_cast<LRESULT>(w.image);
    case STM_SETIMAGE: {
      HANDLE old = w.image;
      w.image = reinterpret_cast<HANDLE>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case STM_GETIMAGE: return reinterpret_cast<LRESULT>(w.image);
    default: return 0;
  }
}

// Messages of an up-down control.
LRESULT UpDownMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case UDM_SETRANGE32:
      w.low = static_cast<int>(static_cast<INT_PTR>(wParam));
      w.high = static_cast<int>(lParam);
      return 0;
    case UDM_GETRANGE32:
      if (wParam) *reinterpret_cast<int*>(wParam) = w.low;
      if (lParam) *reinterpret_cast<int*>(lParam) = w.high;
      return 0;
    case UDM_SETPOS32: {
      const int old = w.pos;
      const int lo = std::min(w.low, w.high), hi = std::max(w.low, w.high);
      w.pos = std::clamp(static_cast<int>(lParam), lo, hi);
      return old;
    }
    case UDM_GETPOS32:
      if (lParam) *reinterpret_cast<BOOL*>(lParam) = FALSE;
      return w.pos;
    case UDM_SETBUDDY: {
      const std::uintptr_t old = w.buddy;
      w.buddy = wParam;
      return static_cast<LRESULT>(old);
    }
    case UDM_GETBUDDY: return static_cast<LRESULT>(w.buddy);
    default: return 0;
  }
}

// Messages of a trackbar.
LRESULT TrackbarMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case TBM_GETPOS: return w.pos;
    case TBM_GETRANGEMIN: return w.low;
    case TBM_GETRANGEMAX: return w.high;
    case TBM_SETPOS: w.pos = std::clamp(static_cast<int>(lParam), w.low, std::max(w.low, w.high)); return 0;
    case TBM_SETRANGE:
      w.low = static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(lParam)));
      w.high = static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(lParam)));
      w.pos = std::clamp(w.pos, w.low, std::max(w.low, w.high));
      return 0;
    case TBM_SETRANGEMIN: w.low = static_cast<int>(lParam); return 0;
    case TBM_SETRANGEMAX: w.high = static_cast<int>(lParam); return 0;
    case TBM_SETTIC:
      if (static_cast<int>(lParam) < w.low || static_cast<int>(lParam) > w.high) return FALSE;
      w.ticks.push_back(static_cast<int>(lParam));
      return TRUE;
    case TBM_GETTIC:
      return wParam < w.ticks.size() ? w.ticks[wParam] : -1;
    case TBM_GETNUMTICS: return static_cast<LRESULT>(w.ticks.size() + 2);  // the two ends count too
    default: return 0;
  }
}

// Messages of an IP address control.
LRESULT IpAddressMessageLocked(Window& w, UINT message, WPARAM, LPARAM lParam) {
  switch (message) {
    case IPM_CLEARADDRESS: w.ip = {-1, -1, -1, -1}; return 0;
    case IPM_SETADDRESS: {
      const auto a = static_cast<DWORD>(lParam);
      w.ip = {static_cast<int>(a >> 24), static_cast<int>((a >> 16) & 0xFF), static_cast<int>((a >> 8) & 0xFF),
              static_cast<int>(a & 0xFF)};
      return TRUE;
    }
    case IPM_GETADDRESS: {
      DWORD a = 0;
      int filled = 0;
      for (int f : w.ip) {
        a = (a << 8) | static_cast<DWORD>(std::max(f, 0));
        filled += f >= 0 ? 1 : 0;
      }
      if (lParam) *reinterpret_cast<DWORD*>(lParam) = a;
      return filled;
    }
    case IPM_ISBLANK: return std::all_of(w.ip.begin(), w.ip.end(), [](int f) { return f < 0; }) ? TRUE : FALSE;
    default: return 0;
  }
}

// Messages of a combo box.
LRESULT ComboBoxMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto [count, index, inRange] = ItemOf(w, wParam);
  switch (message) {
    case CB_ADDSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr) return CB_ERR;
      w.items.push_back({std::u16string(text), 0, false, {}});
      return count;
    }
    case CB_INSERTSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr || index < -1 || index > count) return CB_ERR;
      const int at = index == -1 ? count : index;
      w.items.insert(w.items.begin() + at, {std::u16string(text), 0, false, {}});
      if (w.selection >= at) ++w.selection;
      return at;
    }
    case CB_DELETESTRING:
      if (!inRange) return CB_ERR;
      w.items.erase(w.items.begin() + index);
      if (w.selection == index) {
        SelectComboLocked(w, -1);
      } else if (w.selection > index) {
        --w.selection;
      }
      return count - 1;
    case CB_RESETCONTENT:
      w.items.clear();
      SelectComboLocked(w, -1);
      return CB_OKAY;
    case CB_GETCOUNT: return count;
    case CB_GETCURSEL: return w.selection >= 0 ? w.selection : CB_ERR;
    case CB_SETCURSEL:
      SelectComboLocked(w, index);
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
    case CB_FINDSTRING: return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
    case CB_FINDSTRINGEXACT: return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), true);
    case CB_SELECTSTRING: {
      const LRESULT found = FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
      if (found != CB_ERR) SelectComboLocked(w, static_cast<int>(found));
      return found;
    }
    case CB_GETITEMDATA: return inRange ? w.items[static_cast<std::size_t>(index)].data : CB_ERR;
    case CB_SETITEMDATA:
      if (!inRange) return CB_ERR;
      w.items[static_cast<std::size_t>(index)].data = lParam;
      return TRUE;
    case CB_SETITEMHEIGHT:
      if (lParam < 0 || lParam > 255) return CB_ERR;
      w.itemHeight = static_cast<int>(lParam);
      return 0;
    case CB_GETITEMHEIGHT: return w.itemHeight;
    case CB_GETDROPPEDSTATE: return w.dropped ? TRUE : FALSE;
    case CB_SHOWDROPDOWN: w.dropped = wParam != 0; return TRUE;
    case CB_LIMITTEXT: return TRUE;
    default: return 0;
  }
}

// Messages of a list box.
LRESULT ListBoxMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto [count, index, inRange] = ItemOf(w, wParam);
  switch (message) {
    case LB_ADDSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr) return LB_ERR;
      w.items.push_back({std::u16string(text), 0, false, {}});
      return count;
    }
    case LB_INSERTSTRING: {
      auto text = reinterpret_cast<LPCWSTR>(lParam);
      if (text == nullptr || index < -1 || index > count) return LB_ERR;
      const int at = index == -1 ? count : index;
      w.items.insert(w.items.begin() + at, {std::u16string(text), 0, false, {}});
      if (w.selection >= at) ++w.selection;
      return at;
    }
    case LB_DELETESTRING:
      if (!inRange) return LB_ERR;
      w.items.erase(w.items.begin() + index);
      if (w.selection == index) {
        w.selection = -1;
      } else if (w.selection > index) {
        --w.selection;
      }
      return count - 1;
    case LB_RESETCONTENT:
      w.items.clear();
      w.selection = -1;
      return 0;
    case LB_GETCOUNT: return count;
    case LB_GETCURSEL: return w.selection >= 0 ? w.selection : LB_ERR;
    case LB_SETCURSEL:
      if (MultiSelect(w)) return LB_ERR;
      w.selection = inRange ? index : -1;
      return inRange ? index : LB_ERR;
    case LB_GETSEL:
      if (!inRange) return LB_ERR;
      return MultiSelect(w) ? (w.items[static_cast<std::size_t>(index)].selected ? 1 : 0)
                            : (w.selection == index ? 1 : 0);
    case LB_SETSEL: {
      if (!MultiSelect(w)) return LB_ERR;
      const int at = static_cast<int>(lParam);
      if (at == -1) {
        for (auto& item : w.items) item.selected = wParam != 0;
        return 0;
      }
      if (at < 0 || at >= count) return LB_ERR;
      w.items[static_cast<std::size_t>(at)].selected = wParam != 0;
      w.selection = at;
      return 0;
    }
    case LB_GETSELCOUNT:
      if (!MultiSelect(w)) return LB_ERR;
      return std::count_if(w.items.begin(), w.items.end(), [](const ListItem& i) { return i.selected; });
    case LB_GETSELITEMS: {
      if (!MultiSelect(w)) return LB_ERR;
      auto out = reinterpret_cast<int*>(lParam);
      int n = 0;
      for (int i = 0; i < count && n < static_cast<int>(wParam); ++i) {
        if (w.items[static_cast<std::size_t>(i)].selected) out[n++] = i;
      }
      return n;
    }
    case LB_GETTEXTLEN:
      return inRange ? static_cast<LRESULT>(w.items[static_cast<std::size_t>(index)].text.size()) : LB_ERR;
    case LB_GETTEXT: {
      auto buffer = reinterpret_cast<LPWSTR>(lParam);
      if (!inRange || buffer == nullptr) return LB_ERR;
      const std::u16string& text = w.items[static_cast<std::size_t>(index)].text;
      std::copy(text.begin(), text.end(), buffer);
      buffer[text.size()] = 0;
      return static_cast<LRESULT>(text.size());
    }
    case LB_FINDSTRING: return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), false);
    case LB_FINDSTRINGEXACT: return FindItem(w, wParam, reinterpret_cast<LPCWSTR>(lParam), true);
    case LB_GETITEMDATA: return inRange ? w.items[static_cast<std::size_t>(index)].data : LB_ERR;
    case LB_SETITEMDATA:
      if (!inRange) return LB_ERR;
      w.items[static_cast<std::size_t>(index)].data = lParam;
      return TRUE;
    default: return 0;
  }
}

// Messages of a progress bar.
LRESULT ProgressMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam) {
  const int position = static_cast<int>(static_cast<INT_PTR>(wParam));
  switch (message) {
    case PBM_SETRANGE: w.low = LOWORD(lParam); w.high = HIWORD(lParam); return 0;
    case PBM_SETPOS: {
      const int before = w.pos;
      w.pos = std::clamp(position, w.low, std::max(w.low, w.high));
      return before;
    }
    case PBM_GETPOS: return w.pos;
    case PBM_SETBARCOLOR: {
      const COLORREF before = w.barColor;
      w.barColor = static_cast<COLORREF>(lParam);
      return static_cast<LRESULT>(before);
    }
    default: return 0;
  }
}

// Messages a control answers. Caller holds the table lock.
LRESULT ControlMessageLocked(Window& w, UINT message, WPARAM wParam, LPARAM lParam, After& after) {
  switch (message) {
    case WM_SETTEXT:
      if (w.kind == WindowKind::IpAddress) {
        std::array<int, 4> fields{};
        if (!ParseDotted(plat::view(reinterpret_cast<LPCWSTR>(lParam)), fields)) return FALSE;
        w.ip = fields;
        return TRUE;
      }
      w.text = plat::view(reinterpret_cast<LPCWSTR>(lParam));
      if (w.kind == WindowKind::Edit) {
        w.selStart = w.selEnd = 0;
        after = After::EditChanged;
      }
      return TRUE;
    case WM_GETTEXT:
      return CopyText(w.kind == WindowKind::IpAddress ? IpText(w) : w.text, reinterpret_cast<LPWSTR>(lParam),
                      static_cast<int>(wParam));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w.kind == WindowKind::IpAddress ? IpText(w).size() : w.text.size());
    default:
      break;
  }
  switch (w.kind) {
    case WindowKind::Button: return ButtonMessageLocked(w, message, wParam, lParam);
    case WindowKind::Edit: return EditMessageLocked(w, message, wParam, lParam, after);
    case WindowKind::Static: return StaticMessageLocked(w, message, wParam, lParam);
    case WindowKind::UpDown: return UpDownMessageLocked(w, message, wParam, lParam);
    case WindowKind::Trackbar: return TrackbarMessageLocked(w, message, wParam, lParam);
    case WindowKind::IpAddress: return IpAddressMessageLocked(w, message, wParam, lParam);
    case WindowKind::ComboBox: return ComboBoxMessageLocked(w, message, wParam, lParam);
    case WindowKind::ListBox: return ListBoxMessageLocked(w, message, wParam, lParam);
    case WindowKind::Progress: return ProgressMessageLocked(w, message, wParam, lParam);
    case WindowKind::ListView: return ListViewMessageLocked(w, message, wParam, lParam, after);
    default: return 0;
  }
}

// WM_COMMAND from a control to its parent dialog.
void Notify(HWND control, WORD code) {
  WindowPtr w = Find(control);
  if (!w || !w->parent) return;
  SendMessageW(ToHwnd(w->parent), WM_COMMAND, MAKELONG(static_cast<WORD>(w->id), code),
               reinterpret_cast<LPARAM>(control));
}

// A control a user can reach: it and its dialog are enabled.
WindowPtr ReachableControlLocked(HWND window, WindowKind kind) {
  WindowPtr w = FindLocked(window);
  if (!w || w->kind != kind || !w->enabled) return nullptr;
  WindowPtr dialog = FindLocked(ToHwnd(w->parent));
  if (!dialog || !dialog->enabled) return nullptr;
  return w;
}

std::uintptr_t NewHandleLocked() {
  auto& t = Table();
  const std::uintptr_t h = t.next;
  t.next += 0x10;
  return h;
}

WindowPtr MakeWindowLocked(std::uintptr_t parent, std::u16string_view className, int id, DWORD style,
                           std::u16string text, RECT rect) {
  auto& t = Table();
  auto w = std::make_shared<Window>();
  w->handle = NewHandleLocked();
  w->parent = parent;
  w->className = std::u16string(className);
  w->kind = KindOfClass(className);
  w->thread = std::this_thread::get_id();
  w->id = id;
  w->style = style;
  w->text = std::move(text);
  w->rect = rect;
  w->enabled = (style & WS_DISABLED) == 0;
  w->visible = w->kind == WindowKind::Dialog ? true : (style & WS_VISIBLE) != 0;
  if (w->kind == WindowKind::Trackbar) w->high = 100;
  if (w->kind == WindowKind::UpDown) {
    w->low = 100;  // the platform's default range runs backwards
    w->high = 0;
    w->pos = 0;
  }
  if (parent) {
    if (WindowPtr p = FindLocked(ToHwnd(parent))) p->children.push_back(w->handle);
  }
  t.windows.emplace(w->handle, w);
  return w;
}

int DialogUnitsX(int units) { return units * 6 / 4; }
int DialogUnitsY(int units) { return units * 13 / 8; }

// Tab stops of a dialog that can take the focus, in order.
std::vector<HWND> TabStops(HWND dialog) {
  std::vector<HWND> out;
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr d = FindLocked(dialog);
  if (!d) return out;
  for (std::uintptr_t c : d->children) {
    WindowPtr w = FindLocked(ToHwnd(c));
    if (w && w->kind != WindowKind::Dialog && (w->style & WS_TABSTOP) && w->enabled && w->visible) {
      out.push_back(ToHwnd(c));
    }
  }
  return out;
}

// Focus notifications a control sends to its dialog.
WORD FocusCode(const Window& w, bool gained) {
  switch (w.kind) {
    case WindowKind::Edit:
    case WindowKind::IpAddress: return gained ? EN_SETFOCUS : EN_KILLFOCUS;
    case WindowKind::ComboBox: return gained ? CBN_SETFOCUS : CBN_KILLFOCUS;
    case WindowKind::ListBox:
      return (w.style & LBS_NOTIFY) ? (gained ? LBN_SETFOCUS : LBN_KILLFOCUS) : WORD{0xFFFF};
    case WindowKind::Button: return (w.style & BS_NOTIFY) ? (gained ? BN_SETFOCUS : BN_KILLFOCUS) : WORD{0xFFFF};
    default: return 0xFFFF;
  }
}

void SendEditChanged(HWND edit) {
  Notify(edit, EN_UPDATE);
  Notify(edit, EN_CHANGE);
}

// WM_NOTIFY LVN_ITEMCHANGED from a list view whose selection moved.
void SendListViewChanged(HWND list) {
  WindowPtr w = Find(list);
  if (!w) return;
  NMHDR changed{list, static_cast<UINT_PTR>(w->id), LVN_ITEMCHANGED};
  SendMessageW(ToHwnd(w->parent), WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&changed));
}

// Creates a dialog from a template; WM_INITDIALOG is the caller's.
HWND BuildFromTemplate(const plat::internal::DialogTemplate& t, HWND parent, DLGPROC proc, int templateId,
                       bool child) {
  HWND dialog = plat::internal::CreateBareDialog(parent, t.caption, proc, templateId, child);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    if (WindowPtr d = FindLocked(dialog)) {
      d->style |= t.style;
      d->rect.right = d->rect.left + DialogUnitsX(t.width);
      d->rect.bottom = d->rect.top + DialogUnitsY(t.height);
    }
  }
  for (const auto& c : t.controls) {
    const RECT r{DialogUnitsX(c.units.left), DialogUnitsY(c.units.top), DialogUnitsX(c.units.left + c.units.right),
                 DialogUnitsY(c.units.top + c.units.bottom)};
    plat::internal::CreateControl(dialog, c.className, c.id, c.style | WS_CHILD | WS_VISIBLE, c.text, r);
  }
  return dialog;
}

// Sends WM_INITDIALOG; a non-zero answer puts the focus on the first tab stop.
void InitDialog(HWND dialog, LPARAM initParam) {
  WindowPtr d = Find(dialog);
  if (!d || !d->proc) return;
  if (d->proc(dialog, WM_INITDIALOG, 0, initParam)) {
    const std::vector<HWND> stops = TabStops(dialog);
    if (!stops.empty()) SetFocus(stops.front());
  }
}

}  // namespace

namespace plat::internal {

std::thread::id ThreadOf(HWND window) {
  WindowPtr w = Find(window);
  return w ? w->thread : std::thread::id();
}

HWND FindTopLevel(std::u16string_view caption) {
  std::lock_guard<std::mutex> guard(Table().lock);
  for (const auto& [key, w] : Table().windows)
    if (!w->parent && w->kind == WindowKind::Dialog && w->text == caption) return ToHwnd(key);
  return nullptr;
}

WindowKind KindOf(HWND window) {
  WindowPtr w = Find(window);
  return w ? w->kind : WindowKind::Other;
}

DWORD StyleOf(HWND window) {
  WindowPtr w = Find(window);
  return w ? w->style : 0;
}

int TemplateIdOf(HWND dialog) {
  WindowPtr w = Find(dialog);
  return w ? w->templateId : 0;
}

bool IsEnded(HWND dialog) {
  WindowPtr w = Find(dialog);
  return !w || w->ended;
}

INT_PTR EndResult(HWND dialog) {
  WindowPtr w = Find(dialog);
  return w ? w->result : IDCANCEL;
}

std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> out;
  std::lock_guard<std::mutex> guard(Table().lock);
  if (WindowPtr w = FindLocked(window)) {
    for (std::uintptr_t c : w->children) out.push_back(ToHwnd(c));
  }
  return out;
}

HWND CreateBareDialog(HWND parent, std::u16string caption, DLGPROC proc, int templateId, bool child) {
  std::lock_guard<std::mutex> guard(Table().lock);
  const DWORD style = child ? (WS_CHILD | DS_CONTROL) : (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
  RECT rect{0, 0, 0, 0};
  if (child) rect = RECT{6, 28, 6, 28};
  WindowPtr d = MakeWindowLocked(child ? Key(parent) : 0, WC_DIALOG, 0, style, std::move(caption), rect);
  d->proc = proc;
  d->templateId = templateId;
  d->user = 0;
  (void)parent;  // a top-level dialog's owner is not modelled
  return ToHwnd(d->handle);
}

HWND CreatePageDialog(HINSTANCE instance, LPCWSTR templateName, HWND frame, DLGPROC proc) {
  plat::internal::DialogTemplate t;
  const UINT id = IS_INTRESOURCE(templateName) ? static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName)) : 0;
  if (!IS_INTRESOURCE(templateName) || !FindDialogTemplate(instance, id, t)) {
    t = plat::internal::DialogTemplate{};
  }
  HWND page = BuildFromTemplate(t, frame, proc, static_cast<int>(id), true);
  return page;
}

HWND CreateControl(HWND parent, std::u16string_view className, int id, DWORD style, std::u16string text, RECT rect) {
  std::lock_guard<std::mutex> guard(Table().lock);
  if (!FindLocked(parent)) return nullptr;
  WindowPtr w = MakeWindowLocked(Key(parent), className, id, style, std::move(text), rect);
  if (w->kind == WindowKind::Button && (style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) {
    if (WindowPtr p = FindLocked(parent); p && p->defaultId == 0) p->defaultId = id;
  }
  if (w->kind == WindowKind::UpDown && (style & UDS_AUTOBUDDY)) {
    WindowPtr p = FindLocked(parent);
    if (p && p->children.size() >= 2) w->buddy = p->children[p->children.size() - 2];
  }
  return ToHwnd(w->handle);
}

HWND MouseTarget(HWND window, POINT client) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr d = FindLocked(window);
  if (!d) return nullptr;
  for (auto it = d->children.rbegin(); it != d->children.rend(); ++it) {
    WindowPtr w = FindLocked(ToHwnd(*it));
    if (!w || !w->visible) continue;
    const RECT& r = w->rect;
    if (client.x < r.left || client.x >= r.right || client.y < r.top || client.y >= r.bottom) continue;
    if (w->kind == WindowKind::Static && !(w->style & SS_NOTIFY)) continue;
    if (w->kind == WindowKind::Button && (w->style & BS_TYPEMASK) == BS_GROUPBOX) continue;
    return ToHwnd(w->handle);
  }
  return window;
}

void UserFocus(HWND control) {
  if (GetFocus() != control) SetFocus(control);
}

void UserClick(HWND control) {
  WindowPtr w = Find(control);
  if (!w) return;
  if (w->kind == WindowKind::Static) {
    if (w->style & SS_NOTIFY) Notify(control, STN_CLICKED);
    return;
  }
  UserFocus(control);
  if (w->kind != WindowKind::Button) return;
  const DWORD type = w->style & BS_TYPEMASK;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    if (type == BS_AUTOCHECKBOX) {
      w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    } else if (type == BS_AUTO3STATE) {
      w->check = (w->check + 1) % 3;
    } else if (type == BS_AUTORADIOBUTTON) {
      // The group runs from the control with WS_GROUP before it to the next one.
      WindowPtr d = FindLocked(ToHwnd(w->parent));
      std::vector<WindowPtr> group;
      bool mine = false;
      for (std::uintptr_t c : d ? d->children : std::vector<std::uintptr_t>{}) {
        WindowPtr o = FindLocked(ToHwnd(c));
        if (!o) continue;
        if (o->style & WS_GROUP) {
          if (mine) break;
          group.clear();
        }
        if (o->kind == WindowKind::Button && (o->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON) group.push_back(o);
        if (o == w) mine = true;
      }
      for (const WindowPtr& o : group) o->check = o == w ? BST_CHECKED : BST_UNCHECKED;
    }
  }
  if (type != BS_GROUPBOX) Notify(control, BN_CLICKED);
}

bool UserChoose(HWND combo, int index) {
  {
    WindowPtr w = Find(combo);
    if (!w || index < 0 || index >= static_cast<int>(w->items.size())) return false;
  }
  UserFocus(combo);
  Notify(combo, CBN_DROPDOWN);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    WindowPtr w = FindLocked(combo);
    if (!w || index >= static_cast<int>(w->items.size())) return false;
    SelectComboLocked(*w, index);
  }
  Notify(combo, CBN_SELENDOK);
  Notify(combo, CBN_CLOSEUP);
  Notify(combo, CBN_SELCHANGE);
  return true;
}

bool UserType(HWND edit, std::u16string_view text) {
  WindowPtr w = Find(edit);
  if (!w || w->kind != WindowKind::Edit || (w->style & ES_READONLY)) return false;
  UserFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  if (text.empty()) {
    // Typing nothing over the selection is the Delete key.
    bool cleared = false;
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      if (!FindLocked(edit)) return false;
      if (w->selEnd > w->selStart) {
        w->text.erase(static_cast<std::size_t>(w->selStart), static_cast<std::size_t>(w->selEnd - w->selStart));
        w->selEnd = w->selStart;
        cleared = true;
      }
    }
    if (cleared) SendEditChanged(edit);
    return true;
  }
  for (char16_t c : text) {
    bool accepted = false;
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      if (!FindLocked(edit)) return false;
      const bool digit = c >= u'0' && c <= u'9';
      const std::size_t kept = w->text.size() - static_cast<std::size_t>(w->selEnd - w->selStart);
      if ((!(w->style & ES_NUMBER) || digit) && kept < w->limit) {
        w->text.replace(static_cast<std::size_t>(w->selStart), static_cast<std::size_t>(w->selEnd - w->selStart), 1,
                        c);
        w->selStart = w->selEnd = w->selStart + 1;
        accepted = true;
      }
    }
    if (accepted) {
      SendEditChanged(edit);
    } else if (!(w->style & ES_NUMBER) || (c >= u'0' && c <= u'9')) {
      Notify(edit, EN_MAXTEXT);
    }
  }
  return true;
}

void UserLeave(HWND dialog) {
  const std::vector<HWND> stops = TabStops(dialog);
  HWND focus = GetFocus();
  auto it = std::find(stops.begin(), stops.end(), focus);
  HWND next = nullptr;
  if (it != stops.end() && std::next(it) != stops.end()) {
    next = *std::next(it);
  } else if (!stops.empty() && stops.front() != focus) {
    next = stops.front();
  }
  SetFocus(next);
}

bool UserSpin(HWND updown, int clicks) {
  const int step = clicks < 0 ? -1 : 1;
  for (int n = 0; n != clicks; n += step) {
    WindowPtr w = Find(updown);
    if (!w) return false;
    NMUPDOWN nm{{updown, static_cast<UINT_PTR>(w->id), UDN_DELTAPOS}, w->pos, step};
    if (SendMessageW(ToHwnd(w->parent), WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&nm)) != 0) {
      continue;  // the dialog cancelled the change
    }
    int pos = 0;
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      const int lo = std::min(w->low, w->high), hi = std::max(w->low, w->high);
      // A range written high to low runs the arrows the other way.
      const int delta = w->low > w->high ? -nm.iDelta : nm.iDelta;
      long long next = static_cast<long long>(w->pos) + delta;
      if (next > hi) next = (w->style & UDS_WRAP) ? lo : hi;
      if (next < lo) next = (w->style & UDS_WRAP) ? hi : lo;
      w->pos = static_cast<int>(next);
      pos = w->pos;
    }
    if ((w->style & UDS_SETBUDDYINT) && w->buddy) {
      const std::u16string text = plat::u16(std::to_string(pos));
      SendMessageW(ToHwnd(w->buddy), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageW(ToHwnd(w->parent), (w->style & UDS_HORZ) ? WM_HSCROLL : WM_VSCROLL,
                 MAKELONG(SB_THUMBPOSITION, static_cast<WORD>(pos)), reinterpret_cast<LPARAM>(updown));
  }
  return true;
}

bool UserSlide(HWND trackbar, int position) {
  WindowPtr w = Find(trackbar);
  if (!w || w->kind != WindowKind::Trackbar) return false;
  UserFocus(trackbar);
  int pos = 0;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    w->pos = std::clamp(position, w->low, std::max(w->low, w->high));
    pos = w->pos;
  }
  const UINT message = (w->style & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
  SendMessageW(ToHwnd(w->parent), message, MAKELONG(TB_THUMBPOSITION, static_cast<WORD>(pos)),
               reinterpret_cast<LPARAM>(trackbar));
  SendMessageW(ToHwnd(w->parent), message, MAKELONG(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(trackbar));
  return true;
}

bool UserSelect(HWND list, const std::vector<int>& indices) {
  WindowPtr w = Find(list);
  if (w && w->kind == WindowKind::ListView) {
    if (indices.size() != 1 || indices[0] < 0 || indices[0] >= static_cast<int>(w->items.size())) return false;
    UserFocus(list);
    {
      std::lock_guard<std::mutex> guard(Table().lock);
      w->selection = indices[0];
    }
    SendListViewChanged(list);
    NMHDR click{list, static_cast<UINT_PTR>(w->id), NM_CLICK};
    SendMessageW(ToHwnd(w->parent), WM_NOTIFY, static_cast<WPARAM>(w->id), reinterpret_cast<LPARAM>(&click));
    return true;
  }
  if (!w || w->kind != WindowKind::ListBox) return false;
  const int count = static_cast<int>(w->items.size());
  if (indices.empty() || (!MultiSelect(*w) && indices.size() != 1)) return false;
  for (int i : indices) {
    if (i < 0 || i >= count) return false;
  }
  UserFocus(list);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    for (auto& item : w->items) item.selected = false;
    for (int i : indices) w->items[static_cast<std::size_t>(i)].selected = true;
    w->selection = indices.back();
  }
  if (w->style & LBS_NOTIFY) Notify(list, LBN_SELCHANGE);
  return true;
}

bool UserSetAddress(HWND ip, std::u16string_view dotted) {
  std::array<int, 4> fields{};
  if (KindOf(ip) != WindowKind::IpAddress || !ParseDotted(dotted, fields)) return false;
  UserFocus(ip);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    WindowPtr w = FindLocked(ip);
    if (!w) return false;
    w->ip = fields;
  }
  Notify(ip, EN_CHANGE);
  return true;
}

void UserMouseMove(HWND window, POINT client) {
  HWND target = MouseTarget(window, client);
  const LPARAM where = static_cast<LPARAM>(MAKELONG(static_cast<WORD>(client.x), static_cast<WORD>(client.y)));
  if (!SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELONG(HTCLIENT, WM_MOUSEMOVE))) {
    SetCursor(reinterpret_cast<HCURSOR>(GetClassLongPtrW(target, GCLP_HCURSOR)));
  }
  if (target == window) SendMessageW(window, WM_MOUSEMOVE, 0, where);
}

void UserMouseClick(HWND window, POINT client) {
  HWND target = MouseTarget(window, client);
  if (target != window) {
    UserClick(target);
    return;
  }
  const LPARAM where = static_cast<LPARAM>(MAKELONG(static_cast<WORD>(client.x), static_cast<WORD>(client.y)));
  SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, where);
  SendMessageW(window, WM_LBUTTONUP, 0, where);
}

}  // namespace plat::internal

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
  WindowPtr w;
  After after = After::Nothing;
  LRESULT answer = 0;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    w = FindLocked(window);
    if (!w) {
      SetLastError(ERROR_INVALID_WINDOW_HANDLE);
      return 0;
    }
    if (w->kind != WindowKind::Dialog) {
      answer = ControlMessageLocked(*w, message, wParam, lParam, after);
    } else if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH) {
      return ControlMessageLocked(*w, message, wParam, lParam, after);
    }
  }
  if (w->kind != WindowKind::Dialog) {
    if (after == After::EditChanged) SendEditChanged(window);
    if (after == After::ListViewChanged) SendListViewChanged(window);
    return answer;
  }
  // The procedure runs without the lock: it sends messages of its own.
  const INT_PTR handled = w->proc ? w->proc(window, message, wParam, lParam) : 0;
  switch (message) {
    case WM_INITDIALOG:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_SETCURSOR:
      return handled;
    default:
      break;
  }
  if (handled) return w->msgResult;
  if (message == WM_CLOSE) return SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
  if (message == DM_GETDEFID) {
    return w->defaultId ? static_cast<LRESULT>(MAKELONG(static_cast<WORD>(w->defaultId), DC_HASDEFID)) : 0;
  }
  if (message == DM_SETDEFID) {
    w->defaultId = static_cast<int>(wParam);
    return TRUE;
  }
  return 0;
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

BOOL ShowWindow(HWND window, int command) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) return FALSE;
  const BOOL was = w->visible ? TRUE : FALSE;
  w->visible = command != SW_HIDE;
  return was;
}

BOOL IsWindowVisible(HWND window) {
  std::lock_guard<std::mutex> guard(Table().lock);
  for (WindowPtr w = FindLocked(window); w; w = w->parent ? FindLocked(ToHwnd(w->parent)) : nullptr) {
    if (!w->visible) return FALSE;
    if (!w->parent) return TRUE;
  }
  return FALSE;
}

BOOL SetWindowTextW(HWND window, LPCWSTR text) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  static const WCHAR kEmpty[] = u"";
  return SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : kEmpty)) ? TRUE : FALSE;
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

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return FALSE;
  SendMessageW(item, BM_SETCHECK, check, 0);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  return static_cast<UINT>(SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->rect = RECT{x, y, x + width, y + height};
  return TRUE;
}

BOOL ClientToScreen(HWND window, POINT* point) {
  if (!point) return FALSE;
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) return FALSE;
  for (; w; w = w->parent ? FindLocked(ToHwnd(w->parent)) : nullptr) {
    point->x += w->rect.left;
    point->y += w->rect.top;
  }
  return TRUE;
}

BOOL ScreenToClient(HWND window, POINT* point) {
  if (!point) return FALSE;
  POINT origin{0, 0};
  if (!ClientToScreen(window, &origin)) return FALSE;
  point->x -= origin.x;
  point->y -= origin.y;
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  WindowPtr w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  POINT origin{0, 0};
  if (w->parent) ClientToScreen(ToHwnd(w->parent), &origin);
  *rect = RECT{w->rect.left + origin.x, w->rect.top + origin.y, w->rect.right + origin.x, w->rect.bottom + origin.y};
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  if (!rect) return FALSE;
  WindowPtr w = Find(window);
  if (!w) return FALSE;
  *rect = RECT{0, 0, w->rect.right - w->rect.left, w->rect.bottom - w->rect.top};
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  if (!rect || !IsWindow(dialog)) return FALSE;
  *rect = RECT{DialogUnitsX(rect->left), DialogUnitsY(rect->top), DialogUnitsX(rect->right),
               DialogUnitsY(rect->bottom)};
  return TRUE;
}

HWND SetFocus(HWND window) {
  WindowPtr old;
  WindowPtr now;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    auto& t = Table();
    old = t.focus ? FindLocked(ToHwnd(t.focus)) : nullptr;
    now = window ? FindLocked(window) : nullptr;
    if (window && !now) return nullptr;
    t.focus = now ? now->handle : 0;
  }
  if (old == now) return window;
  if (old && old->parent) {
    const WORD code = FocusCode(*old, false);
    if (code != 0xFFFF) Notify(ToHwnd(old->handle), code);
  }
  if (now && now->parent) {
    const WORD code = FocusCode(*now, true);
    if (code != 0xFFFF) Notify(window, code);
  }
  return old ? ToHwnd(old->handle) : nullptr;
}

HWND GetFocus() {
  std::lock_guard<std::mutex> guard(Table().lock);
  auto& t = Table();
  return t.focus && FindLocked(ToHwnd(t.focus)) ? ToHwnd(t.focus) : nullptr;
}

BOOL InvalidateRect(HWND window, const RECT*, BOOL) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) return FALSE;
  ++w->invalidations;
  w->invalid = true;
  return TRUE;
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  WindowPtr w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  switch (index) {
    case DWLP_MSGRESULT: return w->kind == WindowKind::Dialog ? w->msgResult : 0;
    case DWLP_DLGPROC: return w->kind == WindowKind::Dialog ? reinterpret_cast<LONG_PTR>(w->proc) : 0;
    case DWLP_USER: return w->kind == WindowKind::Dialog ? w->user : 0;
    case GWLP_USERDATA: return w->userData;
    case GWL_STYLE: return static_cast<LONG_PTR>(w->style);
    case GWL_ID: return w->id;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  LONG_PTR old = 0;
  auto swap = [&](LONG_PTR& slot) {
    old = slot;
    slot = value;
  };
  switch (index) {
    case DWLP_MSGRESULT:
      if (w->kind == WindowKind::Dialog) swap(w->msgResult);
      break;
    case DWLP_USER:
      if (w->kind == WindowKind::Dialog) swap(w->user);
      break;
    case GWLP_USERDATA: swap(w->userData); break;
    case GWL_STYLE:
      old = static_cast<LONG_PTR>(w->style);
      w->style = static_cast<DWORD>(value);
      break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
  return old;
}

ULONG_PTR GetClassLongPtrW(HWND window, int index) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w || index != GCLP_HCURSOR) return 0;
  auto& cursors = Table().classCursors;
  auto it = cursors.find(Folded(w->className));
  return it == cursors.end() ? 0 : it->second;
}

ULONG_PTR SetClassLongPtrW(HWND window, int index, LONG_PTR value) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  if (!w || index != GCLP_HCURSOR) return 0;
  ULONG_PTR& slot = Table().classCursors[Folded(w->className)];
  const ULONG_PTR old = slot;
  slot = static_cast<ULONG_PTR>(value);
  return old;
}

HCURSOR SetCursor(HCURSOR cursor) {
  std::lock_guard<std::mutex> guard(Table().lock);
  HCURSOR old = Table().cursor;
  Table().cursor = cursor;
  return old;
}

HCURSOR GetCursor() {
  std::lock_guard<std::mutex> guard(Table().lock);
  return Table().cursor;
}

BOOL DestroyWindow(HWND window) {
  WindowPtr w = Find(window);
  if (!w) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  // The window hears WM_DESTROY while its controls still exist (it takes back
  // the icons and bitmaps it gave them), then its children go; pages of a
  // sheet are dialogs of their own and hear theirs in turn.
  if (w->kind == WindowKind::Dialog && w->proc) w->proc(window, WM_DESTROY, 0, 0);
  for (HWND child : plat::internal::ChildrenOf(window)) DestroyWindow(child);
  plat::internal::ForgetWindowPixels(window);
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    auto& t = Table();
    if (t.focus == w->handle) t.focus = 0;
    if (WindowPtr parent = w->parent ? FindLocked(ToHwnd(w->parent)) : nullptr) {
      std::erase(parent->children, w->handle);
    }
    t.windows.erase(w->handle);
  }
  // The message queue looks windows up while it holds its own lock: its
  // timers are dropped outside this table's lock.
  plat::internal::ForgetWindow(window);
  return TRUE;
}

HWND CreateDialogParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam) {
  plat::internal::DialogTemplate t;
  if (!IS_INTRESOURCE(templateName)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const UINT id = static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName));
  if (!plat::internal::FindDialogTemplate(instance, id, t)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  HWND dialog = BuildFromTemplate(t, parent, proc, static_cast<int>(id), (t.style & WS_CHILD) != 0);
  InitDialog(dialog, initParam);
  return dialog;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC proc, LPARAM initParam) {
  plat::internal::DialogTemplate t;
  const UINT id = IS_INTRESOURCE(templateName) ? static_cast<UINT>(reinterpret_cast<ULONG_PTR>(templateName)) : 0;
  if (!IS_INTRESOURCE(templateName) || !plat::internal::FindDialogTemplate(instance, id, t)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  HWND dialog = BuildFromTemplate(t, parent, proc, static_cast<int>(id), false);
  const bool parentWasEnabled = parent && IsWindowEnabled(parent);
  if (parentWasEnabled) EnableWindow(parent, FALSE);
  HWND focusBefore = GetFocus();
  InitDialog(dialog, initParam);
  if (!plat::internal::IsEnded(dialog)) {
    plat::internal::RunModalLoop(plat::ui::Screen::Kind::Dialog, dialog, static_cast<int>(id),
                                 [dialog] { EndDialog(dialog, IDCANCEL); });
  }
  const INT_PTR result = plat::internal::EndResult(dialog);
  DestroyWindow(dialog);
  if (parentWasEnabled) EnableWindow(parent, TRUE);
  if (focusBefore && IsWindow(focusBefore)) SetFocus(focusBefore);
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(dialog);
  if (!w || w->kind != WindowKind::Dialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (!w->ended) {
    w->ended = true;
    w->result = result;
  }
  return TRUE;
}

}  // extern "C"

namespace plat {

HWND CreateHeadlessDialog(std::initializer_list<DialogItem> items, DLGPROC proc, LPARAM initParam) {
  HWND dialog = internal::CreateBareDialog(nullptr, u"", proc, 0, false);
  for (const DialogItem& item : items) {
    DWORD style = WS_CHILD | WS_VISIBLE | item.style | (item.enabled ? 0 : WS_DISABLED);
    if (item.kind == ControlKind::ComboBox) style |= CBS_DROPDOWNLIST | WS_TABSTOP;
    if (item.kind == ControlKind::Edit || item.kind == ControlKind::ListBox || item.kind == ControlKind::IpAddress) {
      style |= WS_TABSTOP;
    }
    internal::CreateControl(dialog, ClassOfKind(item.kind), item.id, style, item.text, item.rect);
  }
  if (proc) proc(dialog, WM_INITDIALOG, 0, initParam);
  return dialog;
}

bool UserSelectComboItem(HWND combo, int index) {
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    WindowPtr w = ReachableControlLocked(combo, WindowKind::ComboBox);
    if (!w || index < 0 || index >= static_cast<int>(w->items.size())) return false;
    SelectComboLocked(*w, index);
  }
  Notify(combo, CBN_SELCHANGE);
  return true;
}

bool UserClickButton(HWND button) {
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    if (!ReachableControlLocked(button, WindowKind::Button)) return false;
  }
  Notify(button, BN_CLICKED);
  return true;
}

void plat::ui::BroadcastDeviceChange(WPARAM event) {
  std::vector<HWND> dialogs;
  {
    std::lock_guard<std::mutex> guard(Table().lock);
    for (const auto& [key, w] : Table().windows) {
      if (w->kind == WindowKind::Dialog && !w->ended && w->proc) dialogs.push_back(ToHwnd(key));
    }
  }
  // A dialog may close another while handling the message.
  for (HWND dialog : dialogs) {
    if (WindowPtr w = Find(dialog); w && !w->ended) w->proc(dialog, WM_DEVICECHANGE, event, 0);
  }
}

std::size_t LiveWindowCount() {
  std::lock_guard<std::mutex> guard(Table().lock);
  return Table().windows.size();
}

namespace internal {
bool TakeInvalid(HWND window) {
  std::lock_guard<std::mutex> guard(Table().lock);
  WindowPtr w = FindLocked(window);
  return w && std::exchange(w->invalid, false);
}
}  // namespace internal

int InvalidationCount(HWND window) {
  WindowPtr w = Find(window);
  return w ? w->invalidations : 0;
}

}  // namespace plat
