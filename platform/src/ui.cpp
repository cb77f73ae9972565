#include "plat/ui.h"

#include <deque>
#include <iterator>
#include <mutex>

#include "plat/strings.h"

namespace {

struct MessageBoxes {
  std::mutex mutex;
  std::deque<int> answers;
  std::vector<plat::ui::MessageBoxCall> log;
};

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

}  // namespace

extern "C" {

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  auto& b = Boxes();
  std::lock_guard lock(b.mutex);
  plat::ui::MessageBoxCall call;
  call.owner = owner;
  call.text = std::u16string(plat::view(text));
  call.caption = caption ? std::u16string(plat::view(caption)) : std::u16string(u"Error");
  call.type = type;
  if (!b.answers.empty()) {
    call.answer = b.answers.front();
    b.answers.pop_front();
  } else {
    call.answer = DefaultAnswer(type);
  }
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

}  // namespace plat::ui
