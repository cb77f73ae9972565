#include "plat/ui.h"

#include <deque>
#include <iterator>
#include <mutex>
#include <thread>

#include "plat/dialog.h"
#include "plat/msgqueue.h"
#include "plat/propsheet.h"
#include "plat/strings.h"
#include "window_internal.h"

namespace {

// How long (machine clock) a user waits for a busy window, and how long a
// dialog of a worker thread may run by itself.
constexpr DWORD kUserPatienceMs = 120000;
constexpr DWORD kSelfRunningLimitMs = 600000;

std::thread::id MainThread() {
  static const std::thread::id main = std::this_thread::get_id();
  return main;
}
// Taken while the process starts, on its first thread.
const std::thread::id g_mainThread = MainThread();

struct MessageBoxes {
  std::mutex mutex;
  std::deque<int> answers;
  std::vector<plat::ui::MessageBoxCall> log;
};

struct Script {
  std::mutex mutex;
  std::deque<plat::ui::Handler> queue;
  plat::ui::Handler fallback;
  std::vector<std::string> failures;
  std::function<void(const std::string&)> hook;
  std::vector<void (*)()> clears;  // registered by the modules above
};

Script& Scripted() {
  static Script* s = new Script;  // lives as long as the process
  return *s;
}

plat::ui::Handler TakeHandler() {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  if (!s.queue.empty()) {
    plat::ui::Handler h = std::move(s.queue.front());
    s.queue.pop_front();
    return h;
  }
  return s.fallback;
}

bool HandlerWaiting() {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  return !s.queue.empty() || static_cast<bool>(s.fallback);
}

const char* KindName(plat::ui::Screen::Kind kind) {
  switch (kind) {
    case plat::ui::Screen::Kind::Sheet: return "sheet";
    case plat::ui::Screen::Kind::MessageBox: return "message box";
    default: return "dialog";
  }
}

MessageBoxes& Boxes() {
  static MessageBoxes* b = new MessageBoxes;  // lives as long as the process
  return *b;
}

// The answer of the button a user gets by pressing Enter.
int DefaultAnswer(UINT type) {
  static constexpr int kButtons[][3] = {
      {IDOK, IDOK, IDOK},                 // MB_OK
      {IDOK, IDCANCEL, IDOK},             // MB_OKCANCEL
      {IDABORT, IDRETRY, IDIGNORE},       // MB_ABORTRETRYIGNORE
      {IDYES, IDNO, IDCANCEL},            // MB_YESNOCANCEL
      {IDYES, IDNO, IDYES},               // MB_YESNO
      {IDRETRY, IDCANCEL, IDRETRY},       // MB_RETRYCANCEL
      {IDCANCEL, IDTRYAGAIN, IDCONTINUE}  // MB_CANCELTRYCONTINUE
  };
  const UINT kind = type & MB_TYPEMASK;
  if (kind >= std::size(kButtons)) return IDOK;
  const UINT def = (type & MB_DEFMASK) >> 8;
  return kButtons[kind][def < 3 ? def : 0];
}

// The buttons of each message-box type, in order.
constexpr int kTypeButtons[][3] = {
    {IDOK, 0, 0},                        // MB_OK
    {IDOK, IDCANCEL, 0},                 // MB_OKCANCEL
    {IDABORT, IDRETRY, IDIGNORE},        // MB_ABORTRETRYIGNORE
    {IDYES, IDNO, IDCANCEL},             // MB_YESNOCANCEL
    {IDYES, IDNO, 0},                    // MB_YESNO
    {IDRETRY, IDCANCEL, 0},              // MB_RETRYCANCEL
    {IDCANCEL, IDTRYAGAIN, IDCONTINUE},  // MB_CANCELTRYCONTINUE
};

INT_PTR CALLBACK MessageBoxProc(HWND box, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  EndDialog(box, LOWORD(wParam));
  return TRUE;
}

// A message box as a window of its own, run by the next handler.
int RunMessageBox(const plat::ui::MessageBoxCall& call) {
  const UINT kind = call.type & MB_TYPEMASK;
  const int* buttons = kTypeButtons[kind < std::size(kTypeButtons) ? kind : 0];
  HWND box = plat::internal::CreateBareDialog(nullptr, call.caption, MessageBoxProc, 0, false);
  MoveWindow(box, 0, 0, 320, 140, FALSE);
  plat::internal::CreateControl(box, WC_STATIC, plat::ui::kMessageBoxText, WS_CHILD | WS_VISIBLE, call.text,
                                RECT{12, 12, 308, 80});
  const int defaultAnswer = DefaultAnswer(call.type);
  for (int i = 0; i < 3 && buttons[i] != 0; ++i) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | (buttons[i] == defaultAnswer ? BS_DEFPUSHBUTTON : 0);
    plat::internal::CreateControl(box, WC_BUTTON, buttons[i], style, u"", RECT{12 + 100 * i, 100, 100 * i + 96, 124});
  }
  plat::internal::RunModalLoop(plat::ui::Screen::Kind::MessageBox, box, 0, [box] { EndDialog(box, IDCANCEL); });
  const int answer = static_cast<int>(plat::internal::EndResult(box));
  DestroyWindow(box);
  return answer;
}

}  // namespace

namespace plat::internal {

void RunModalLoop(plat::ui::Screen::Kind kind, HWND window, int templateId, const std::function<void()>& forceEnd) {
  // Message boxes log one line of their own, with the answer.
  const bool logged = kind != plat::ui::Screen::Kind::MessageBox;
  const bool worker = std::this_thread::get_id() != MainThread();
  if (logged) {
    UiLog("{\"ev\":\"open\",\"page\":\"" + std::to_string(templateId) + "\",\"caption\":" +
          plat::JsonQuoted(plat::ui::Screen(kind, window, templateId).Caption()) + (worker ? ",\"thread\":\"worker\"}" : "}"));
  }
  struct LogEnd {
    bool logged;
    HWND window;
    int templateId;
    ~LogEnd() {
      if (!logged) return;
      const INT_PTR result = IsWindow(window) ? EndResult(window) : 0;
      UiLog("{\"ev\":\"end\",\"page\":\"" + std::to_string(templateId) + "\",\"result\":" + std::to_string(result) + "}");
    }
  } logEnd{logged, window, templateId};
  // Dialog boxes of other threads (progress pages) run by themselves.
  if (kind == plat::ui::Screen::Kind::Dialog && worker) {
    plat::ui::Pump([window] { return IsEnded(window); }, kSelfRunningLimitMs);
    if (!IsEnded(window)) {
      plat::ui::RecordFailure("the " + std::string(KindName(kind)) + " " + std::to_string(templateId) +
                              " of a worker thread did not end");
      forceEnd();
    }
    return;
  }
  plat::ui::Handler handler = TakeHandler();
  if (!handler) {
    plat::ui::RecordFailure(std::string("no handler for the ") + KindName(kind) + " " + std::to_string(templateId) +
                            " \"" + plat::utf8(plat::ui::Screen(kind, window, templateId).Caption()) + "\"");
  } else {
    plat::ui::Screen screen(kind, window, templateId);
    if (kind != plat::ui::Screen::Kind::MessageBox) plat::PaintWindow(screen.Page() ? screen.Page() : window);
    handler(screen);
  }
  // The user is done; timers, posted messages and running threads may still end it.
  if (!IsEnded(window) && HasWorkForThisThread())
    plat::ui::Pump([window] { return IsEnded(window) || !HasWorkForThisThread(); }, kUserPatienceMs);
  if (!IsEnded(window)) {
    if (handler) {
      plat::ui::RecordFailure(std::string("the ") + KindName(kind) + " " + std::to_string(templateId) +
                              " was left open");
    }
    forceEnd();
    if (!IsEnded(window)) EndDialog(window, IDCANCEL);
  }
}

}  // namespace plat::internal

namespace {
constexpr DWORD kConsoleSession = 1;
}  // namespace

extern "C" {

DWORD WTSGetActiveConsoleSessionId() { return kConsoleSession; }

BOOL WTSSendMessageW(HANDLE, DWORD sessionId, LPWSTR title, DWORD titleLength, LPWSTR message, DWORD messageLength,
                     DWORD style, DWORD, DWORD* response, BOOL wait) {
  if (sessionId != kConsoleSession || !message || !response || (!title && titleLength) || titleLength % 2 ||
      messageLength % 2) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto upTo = [](LPCWSTR text, DWORD bytes) {
    std::u16string_view v(text ? text : u"", text ? bytes / 2 : 0);
    return std::u16string(v.substr(0, std::min(v.find(u'\0'), v.size())));
  };
  const std::u16string caption = upTo(title, titleLength), text = upTo(message, messageLength);
  const int answer = MessageBoxW(nullptr, text.c_str(), caption.c_str(), style);
  *response = wait ? static_cast<DWORD>(answer) : IDASYNC;
  return TRUE;
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  plat::ui::MessageBoxCall call;
  call.owner = owner;
  call.text = std::u16string(plat::view(text));
  call.caption = caption ? std::u16string(plat::view(caption)) : std::u16string(u"Error");
  call.type = type;
  // Only the first thread's boxes meet the scripted user; a worker's take the queued answers.
  if (HandlerWaiting() && std::this_thread::get_id() == MainThread()) {
    call.answer = RunMessageBox(call);
  } else {
    auto& b = Boxes();
    std::lock_guard lock(b.mutex);
    if (!b.answers.empty()) {
      call.answer = b.answers.front();
      b.answers.pop_front();
    } else {
      call.answer = DefaultAnswer(type);
    }
  }
  plat::internal::UiLog("{\"ev\":\"msgbox\",\"caption\":" + plat::JsonQuoted(call.caption) +
                        ",\"text\":" + plat::JsonQuoted(call.text) + ",\"type\":" + std::to_string(call.type) +
                        ",\"answer\":" + std::to_string(call.answer) + "}");
  auto& b = Boxes();
  std::lock_guard lock(b.mutex);
  b.log.push_back(call);
  return call.answer;
}

}  // extern "C"

namespace plat::ui {

void QueueMessageBoxAnswer(int answer) {
  auto& b = Boxes();
  std::lock_guard lock(b.mutex);
  b.answers.push_back(answer);
}

std::vector<MessageBoxCall> MessageBoxLog() {
  auto& b = Boxes();
  std::lock_guard lock(b.mutex);
  return b.log;
}

void ResetMessageBoxes() {
  auto& b = Boxes();
  std::lock_guard lock(b.mutex);
  b.answers.clear();
  b.log.clear();
}

void QueueHandler(Handler handler) {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  s.queue.push_back(std::move(handler));
}

void SetFallbackHandler(Handler handler) {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  s.fallback = std::move(handler);
}

std::size_t QueuedHandlerCount() {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  return s.queue.size();
}

std::vector<std::string> Failures() {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  return s.failures;
}

void SetFailureHook(std::function<void(const std::string&)> hook) {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  s.hook = std::move(hook);
}

void RecordFailure(const std::string& what) {
  std::function<void(const std::string&)> hook;
  {
    auto& s = Scripted();
    std::lock_guard lock(s.mutex);
    s.failures.push_back(what);
    hook = s.hook;
  }
  plat::internal::UiLog("{\"ev\":\"failure\",\"what\":" + plat::JsonQuoted(plat::u16(what)) + "}");
  if (hook) hook(what);
}

void ResetScript() {
  {
    auto& s = Scripted();
    std::lock_guard lock(s.mutex);
    s.queue.clear();
    s.fallback = nullptr;
    s.failures.clear();
    s.hook = nullptr;
  }
  ResetMessageBoxes();
  std::vector<void (*)()> clears;
  {
    auto& s = Scripted();
    std::lock_guard lock(s.mutex);
    clears = s.clears;
  }
  for (auto clear : clears) clear();
}

void ClearWithScript(void (*clear)()) {
  auto& s = Scripted();
  std::lock_guard lock(s.mutex);
  s.clears.push_back(clear);
}

// ---- Screen ----

Screen::Screen(Kind kind, HWND window, int templateId) : kind_(kind), window_(window), templateId_(templateId) {}

bool Screen::IsOpen() const { return IsWindow(window_) && !internal::IsEnded(window_); }

std::u16string Screen::Caption() const {
  WCHAR buffer[256];
  GetWindowTextW(window_, buffer, 256);
  return buffer;
}

bool Screen::Painted() const {
  if (IsOpen()) PaintWindow(Surface());
  return true;
}

bool Screen::Fail(std::string why) {
  error_ = std::move(why);
  return false;
}

HWND Screen::Surface() const {
  if (kind_ != Kind::Sheet) return window_;
  HWND page = reinterpret_cast<HWND>(SendMessageW(window_, PSM_GETCURRENTPAGEHWND, 0, 0));
  return page ? page : window_;
}

HWND Screen::Item(int id) const {
  HWND surface = Surface();
  HWND item = nullptr;
  for (HWND c : internal::ChildrenOf(surface)) {
    if (GetDlgCtrlID(c) == id && internal::KindOf(c) != internal::WindowKind::Dialog) item = c;
  }
  if (!item && surface != window_) {
    for (HWND c : internal::ChildrenOf(window_)) {
      if (GetDlgCtrlID(c) == id && internal::KindOf(c) != internal::WindowKind::Dialog) item = c;
    }
  }
  return item;
}

HWND Screen::Reach(int id) {
  if (!IsOpen()) {
    Fail("the window is closed");
    return nullptr;
  }
  HWND item = Item(id);
  if (!item) {
    Fail("no control " + std::to_string(id));
    return nullptr;
  }
  if (!IsWindowVisible(item)) {
    Fail("control " + std::to_string(id) + " is hidden");
    return nullptr;
  }
  // A window disabled by a modal child of another thread: the user waits for it.
  if (!IsWindowEnabled(GetParent(item)))
    Pump([item] { return IsWindowEnabled(GetParent(item)) != FALSE; }, kUserPatienceMs);
  if (!IsWindowEnabled(item) || !IsWindowEnabled(GetParent(item))) {
    Fail("control " + std::to_string(id) + " is disabled");
    return nullptr;
  }
  return item;
}

bool Screen::Tab(int index) {
  if (!IsOpen()) return Fail("the window is closed");
  if (kind_ != Kind::Sheet) return Fail("only a sheet has tabs");
  if (index < 0 || index >= internal::SheetPageCount(window_)) return Fail("no tab " + std::to_string(index));
  SendMessageW(window_, PSM_SETCURSEL, static_cast<WPARAM>(index), 0);
  if (internal::SheetCurrentIndex(window_) != index) return Fail("the page kept the focus");
  return Painted();
}

int Screen::TabCount() const { return kind_ == Kind::Sheet ? internal::SheetPageCount(window_) : 0; }
int Screen::TabTemplate(int index) const {
  return kind_ == Kind::Sheet ? internal::SheetPageTemplate(window_, index) : -1;
}

int Screen::CurrentTab() const { return kind_ == Kind::Sheet ? internal::SheetCurrentIndex(window_) : -1; }
HWND Screen::Page() const { return kind_ == Kind::Sheet ? Surface() : nullptr; }

bool Screen::Click(int id) {
  HWND item = Reach(id);
  if (!item) return false;
  internal::UserClick(item);
  return Painted();
}

bool Screen::Check(int id, bool on) {
  HWND item = Reach(id);
  if (!item) return false;
  if (internal::KindOf(item) != internal::WindowKind::Button) return Fail("control " + std::to_string(id) + " is not a button");
  const bool checked = SendMessageW(item, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
  if (checked == on) return Painted();
  internal::UserClick(item);
  if ((SendMessageW(item, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED)) != on) {
    return Fail("control " + std::to_string(id) + " did not change");
  }
  return Painted();
}

bool Screen::Choose(int id, int index) {
  HWND item = Reach(id);
  if (!item) return false;
  if (internal::KindOf(item) != internal::WindowKind::ComboBox) return Fail("control " + std::to_string(id) + " is not a combo box");
  if (!internal::UserChoose(item, index)) return Fail("combo " + std::to_string(id) + " has no item " + std::to_string(index));
  return Painted();
}

bool Screen::ChooseText(int id, std::u16string_view text) {
  const int count = ItemCount(id);
  for (int i = 0; i < count; ++i) {
    if (ItemText(id, i) == text) return Choose(id, i);
  }
  return Fail("combo " + std::to_string(id) + " has no item \"" + plat::utf8(text) + "\"");
}

bool Screen::ChooseData(int id, LPARAM data) {
  HWND item = Item(id);
  const int count = ItemCount(id);
  for (int i = 0; i < count; ++i) {
    if (SendMessageW(item, CB_GETITEMDATA, static_cast<WPARAM>(i), 0) == data) return Choose(id, i);
  }
  return Fail("combo " + std::to_string(id) + " has no item with data " + std::to_string(data));
}

bool Screen::Type(int id, std::u16string_view text) {
  HWND item = Reach(id);
  if (!item) return false;
  if (internal::KindOf(item) == internal::WindowKind::IpAddress) return SetAddress(id, text);
  if (!internal::UserType(item, text)) return Fail("control " + std::to_string(id) + " takes no typing");
  return Painted();
}

bool Screen::Leave() {
  if (!IsOpen()) return Fail("the window is closed");
  internal::UserLeave(Surface());
  return Painted();
}

bool Screen::Enter() {
  if (!IsOpen()) return Fail("the window is closed");
  if (kind_ == Kind::Sheet) {
    SendMessageW(window_, PSM_PRESSBUTTON, PSBTN_OK, 0);
    return Painted();
  }
  const LRESULT def = SendMessageW(window_, DM_GETDEFID, 0, 0);
  const int id = HIWORD(static_cast<DWORD_PTR>(def)) == DC_HASDEFID ? LOWORD(static_cast<DWORD_PTR>(def)) : IDOK;
  HWND button = GetDlgItem(window_, id);
  if (button && !IsWindowEnabled(button)) return Fail("the default button is disabled");
  SendMessageW(window_, WM_COMMAND, MAKELONG(static_cast<WORD>(id), BN_CLICKED), reinterpret_cast<LPARAM>(button));
  return Painted();
}

bool Screen::Spin(int id, int clicks) {
  HWND item = Reach(id);
  if (!item) return false;
  if (internal::KindOf(item) != internal::WindowKind::UpDown) return Fail("control " + std::to_string(id) + " is not an up-down control");
  internal::UserSpin(item, clicks);
  return Painted();
}

bool Screen::Slide(int id, int position) {
  HWND item = Reach(id);
  if (!item) return false;
  if (!internal::UserSlide(item, position)) return Fail("control " + std::to_string(id) + " is not a trackbar");
  return Painted();
}

bool Screen::Select(int id, const std::vector<int>& indices) {
  HWND item = Reach(id);
  if (!item) return false;
  if (!internal::UserSelect(item, indices)) return Fail("list " + std::to_string(id) + " cannot select that");
  return Painted();
}

bool Screen::SetAddress(int id, std::u16string_view dotted) {
  HWND item = Reach(id);
  if (!item) return false;
  if (!internal::UserSetAddress(item, dotted)) return Fail("control " + std::to_string(id) + " takes no such address");
  return Painted();
}

bool Screen::MouseMove(int x, int y) {
  if (!IsOpen()) return Fail("the window is closed");
  internal::UserMouseMove(Surface(), POINT{x, y});
  return Painted();
}

bool Screen::ClickOn(int x, int y) {
  if (!IsOpen()) return Fail("the window is closed");
  HWND target = internal::MouseTarget(Surface(), POINT{x, y});
  if (target != Surface() && !IsWindowEnabled(target)) return Fail("the control there is disabled");
  internal::UserMouseClick(Surface(), POINT{x, y});
  return Painted();
}

bool Screen::ClickOn(int id) {
  if (!IsOpen()) return Fail("the window is closed");
  HWND item = Item(id);
  if (!item) return Fail("no control " + std::to_string(id));
  if (!IsWindowVisible(item)) return Fail("control " + std::to_string(id) + " is hidden");
  RECT r{};
  GetWindowRect(item, &r);
  POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  ScreenToClient(Surface(), &centre);
  return ClickOn(centre.x, centre.y);
}

bool Screen::Ok() {
  if (kind_ == Kind::Sheet) {
    if (!IsOpen()) return Fail("the window is closed");
    SendMessageW(window_, PSM_PRESSBUTTON, PSBTN_OK, 0);
    return true;
  }
  return Click(IDOK);
}

bool Screen::Apply() {
  if (kind_ != Kind::Sheet) return Fail("only a sheet has Apply");
  HWND apply = Reach(kApplyButton);
  if (!apply) return false;
  SendMessageW(window_, PSM_PRESSBUTTON, PSBTN_APPLYNOW, 0);
  return Painted();
}

bool Screen::Cancel() {
  if (kind_ == Kind::Sheet) {
    if (!IsOpen()) return Fail("the window is closed");
    SendMessageW(window_, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
    return true;
  }
  return Click(IDCANCEL);
}

bool Screen::Close() {
  if (!IsOpen()) return Fail("the window is closed");
  if (kind_ == Kind::MessageBox) {
    // The close box of a message box answers Cancel, or OK when there is only OK.
    const int id = Item(IDCANCEL) ? IDCANCEL : IDOK;
    if (!Item(id)) return Fail("this message box cannot be closed");
    return Click(id);
  }
  SendMessageW(window_, WM_CLOSE, 0, 0);
  return true;
}

std::u16string Screen::Text(int id) const {
  HWND item = Item(id);
  if (!item) return {};
  std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(item)) + 1, u'\0');
  GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
  text.resize(text.size() - 1);
  return text;
}

bool Screen::Enabled(int id) const {
  HWND item = Item(id);
  return item && IsWindowEnabled(item);
}

bool Screen::Visible(int id) const {
  HWND item = Item(id);
  return item && IsWindowVisible(item);
}

int Screen::Checked(int id) const {
  HWND item = Item(id);
  return item ? static_cast<int>(SendMessageW(item, BM_GETCHECK, 0, 0)) : -1;
}

int Screen::Selection(int id) const {
  HWND item = Item(id);
  if (!item) return -1;
  switch (internal::KindOf(item)) {
    case internal::WindowKind::ComboBox: return static_cast<int>(SendMessageW(item, CB_GETCURSEL, 0, 0));
    case internal::WindowKind::ListBox: return static_cast<int>(SendMessageW(item, LB_GETCURSEL, 0, 0));
    case internal::WindowKind::UpDown: return static_cast<int>(SendMessageW(item, UDM_GETPOS32, 0, 0));
    case internal::WindowKind::Trackbar: return static_cast<int>(SendMessageW(item, TBM_GETPOS, 0, 0));
    case internal::WindowKind::Progress: return static_cast<int>(SendMessageW(item, PBM_GETPOS, 0, 0));
    case internal::WindowKind::ListView:
      return static_cast<int>(SendMessageW(item, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED | LVNI_FOCUSED));
    default: return -1;
  }
}

std::vector<int> Screen::Selections(int id) const {
  std::vector<int> out;
  HWND item = Item(id);
  const int count = ItemCount(id);
  for (int i = 0; item && i < count; ++i) {
    if (SendMessageW(item, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) out.push_back(i);
  }
  return out;
}

LPARAM Screen::ItemData(int id) const {
  HWND item = Item(id);
  const int sel = Selection(id);
  if (!item || sel < 0) return -1;
  const UINT message = internal::KindOf(item) == internal::WindowKind::ListBox ? LB_GETITEMDATA : CB_GETITEMDATA;
  return SendMessageW(item, message, static_cast<WPARAM>(sel), 0);
}

int Screen::ItemCount(int id) const {
  HWND item = Item(id);
  if (!item) return 0;
  if (internal::KindOf(item) == internal::WindowKind::ListView)
    return static_cast<int>(SendMessageW(item, LVM_GETITEMCOUNT, 0, 0));
  const UINT message = internal::KindOf(item) == internal::WindowKind::ListBox ? LB_GETCOUNT : CB_GETCOUNT;
  return static_cast<int>(SendMessageW(item, message, 0, 0));
}

std::u16string Screen::ItemText(int id, int index) const { return ItemText(id, index, 0); }

std::u16string Screen::ItemText(int id, int index, int column) const {
  HWND item = Item(id);
  if (!item) return {};
  if (internal::KindOf(item) == internal::WindowKind::ListView) {
    WCHAR buffer[512] = {};
    LVITEMW lv{};
    lv.iSubItem = column;
    lv.pszText = buffer;
    lv.cchTextMax = 512;
    SendMessageW(item, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&lv));
    return std::u16string(plat::view(buffer));
  }
  const bool list = internal::KindOf(item) == internal::WindowKind::ListBox;
  const LRESULT length = SendMessageW(item, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendMessageW(item, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

HANDLE Screen::Cursor() const { return GetCursor(); }

bool Screen::Wait(DWORD machineMs) {
  Pump([this] { return !IsOpen(); }, machineMs);
  return true;
}

bool Screen::WaitFor(const std::function<bool()>& condition, DWORD machineMs) {
  if (Pump([&] { return condition() || !IsOpen(); }, machineMs) && condition()) return true;
  return Fail("waited in vain");
}

}  // namespace plat::ui
