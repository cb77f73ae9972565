#include "plat/commdlg.h"

#include <deque>
#include <mutex>

#include "plat/files.h"
#include "plat/strings.h"
#include "plat/ui.h"

namespace {

struct FileDialogs {
  std::mutex mutex;
  std::deque<std::optional<std::u16string>> answers;
  std::vector<plat::ui::FileDialogCall> log;
};

FileDialogs& Dialogs() {
  static FileDialogs* d = new FileDialogs;  // lives as long as the process
  return *d;
}

thread_local DWORD t_extendedError = 0;

// The next scripted answer; false when none is queued.
bool NextAnswer(std::optional<std::u16string>& answer) {
  auto& d = Dialogs();
  std::lock_guard lock(d.mutex);
  if (d.answers.empty()) return false;
  answer = std::move(d.answers.front());
  d.answers.pop_front();
  return true;
}

void Log(plat::ui::FileDialogCall call) {
  auto& d = Dialogs();
  std::lock_guard lock(d.mutex);
  d.log.push_back(std::move(call));
}

// Text pairs up to the empty text that ends the list.
std::vector<std::pair<std::u16string, std::u16string>> FilterPairs(LPCWSTR filter) {
  std::vector<std::pair<std::u16string, std::u16string>> pairs;
  if (!filter) return pairs;
  for (const WCHAR* p = filter; *p != 0;) {
    std::u16string name(plat::view(p));
    p += name.size() + 1;
    std::u16string patterns(plat::view(p));
    const bool last = patterns.empty();  // a name without patterns ends the list
    p += patterns.size() + (last ? 0 : 1);
    pairs.emplace_back(std::move(name), std::move(patterns));
    if (last) break;
  }
  return pairs;
}

std::size_t NameStart(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/:");
  return slash == std::u16string_view::npos ? 0 : slash + 1;
}

// The parent folder of path ("" for a bare name).
std::u16string Parent(std::u16string_view path) {
  std::size_t start = NameStart(path);
  if (start == 0) return {};
  if (start >= 1 && path[start - 1] == u':') return std::u16string(path.substr(0, start)) + u"\\";
  if (start == 3 && path[1] == u':') return std::u16string(path.substr(0, start));
  return std::u16string(path.substr(0, start - 1));
}

bool Exists(const std::u16string& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Describe(const plat::ui::FileDialogCall& call) {
  return std::string(call.save ? "save" : "open") + " file dialog \"" + plat::utf8(call.title) + "\"";
}

BOOL Run(LPOPENFILENAMEW ofn, bool save) {
  t_extendedError = 0;
  if (!ofn) {
    t_extendedError = CDERR_INITIALIZATION;
    return FALSE;
  }
  if (ofn->lStructSize != sizeof(OPENFILENAMEW) && ofn->lStructSize != OPENFILENAME_SIZE_VERSION_400W) {
    t_extendedError = CDERR_STRUCTSIZE;
    return FALSE;
  }
  if (!ofn->lpstrFile || ofn->nMaxFile == 0) {
    t_extendedError = FNERR_INVALIDFILENAME;
    return FALSE;
  }
  plat::ui::FileDialogCall call;
  call.save = save;
  call.owner = ofn->hwndOwner;
  call.title = ofn->lpstrTitle ? std::u16string(plat::view(ofn->lpstrTitle)) : std::u16string(save ? u"Save As" : u"Open");
  call.filters = FilterPairs(ofn->lpstrFilter);
  call.defaultExtension = ofn->lpstrDefExt ? std::u16string(plat::view(ofn->lpstrDefExt)) : std::u16string();
  call.flags = ofn->Flags;
  std::size_t initial = 0;
  while (initial < ofn->nMaxFile && ofn->lpstrFile[initial] != 0) ++initial;
  call.initialFile.assign(ofn->lpstrFile, initial);

  std::optional<std::u16string> answer;
  for (;;) {
    if (!NextAnswer(answer)) {
      plat::ui::RecordFailure("no answer for the " + Describe(call));
      answer.reset();
    }
    if (!answer) break;
    std::u16string& path = *answer;
    const std::size_t nameAt = NameStart(path);
    if (path.size() == nameAt) {
      plat::ui::RecordFailure("the " + Describe(call) + " was answered with a folder");
      answer.reset();
      break;
    }
    if (!call.defaultExtension.empty() && path.find(u'.', nameAt) == std::u16string::npos) {
      path += u"." + call.defaultExtension;
    }
    const std::u16string parent = Parent(path);
    if ((ofn->Flags & (OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST)) && !parent.empty() && !Exists(parent)) {
      plat::ui::RecordFailure("the " + Describe(call) + " was answered with \"" + plat::utf8(path) +
                              "\", whose folder does not exist");
      answer.reset();
      break;
    }
    if ((ofn->Flags & OFN_FILEMUSTEXIST) && !Exists(path)) {
      plat::ui::RecordFailure("the " + Describe(call) + " was answered with \"" + plat::utf8(path) +
                              "\", which does not exist");
      answer.reset();
      break;
    }
    if (save && (ofn->Flags & OFN_OVERWRITEPROMPT) && Exists(path)) {
      const std::u16string text = path + u" already exists.\nDo you want to replace it?";
      if (MessageBoxW(ofn->hwndOwner, text.c_str(), call.title.c_str(), MB_YESNO | MB_ICONEXCLAMATION) != IDYES) {
        continue;  // the dialog stays open for another name
      }
    }
    break;
  }
  call.answer = answer;
  Log(call);
  if (!answer) return FALSE;
  const std::u16string& path = *answer;
  if (path.size() + 1 > ofn->nMaxFile) {
    t_extendedError = FNERR_BUFFERTOOSMALL;
    return FALSE;
  }
  std::copy(path.begin(), path.end(), ofn->lpstrFile);
  ofn->lpstrFile[path.size()] = 0;
  const std::size_t nameAt = NameStart(path);
  const std::size_t dot = path.find_last_of(u'.');
  ofn->nFileOffset = static_cast<WORD>(nameAt);
  ofn->nFileExtension = static_cast<WORD>(dot != std::u16string::npos && dot >= nameAt ? dot + 1 : 0);
  if (ofn->lpstrFileTitle && ofn->nMaxFileTitle > 0) {
    const std::u16string name = path.substr(nameAt);
    const std::size_t n = std::min<std::size_t>(name.size(), ofn->nMaxFileTitle - 1);
    std::copy_n(name.begin(), n, ofn->lpstrFileTitle);
    ofn->lpstrFileTitle[n] = 0;
  }
  return TRUE;
}

}  // namespace

extern "C" {

BOOL GetOpenFileNameW(LPOPENFILENAMEW ofn) { return Run(ofn, false); }
BOOL GetSaveFileNameW(LPOPENFILENAMEW ofn) { return Run(ofn, true); }
DWORD CommDlgExtendedError() { return t_extendedError; }

}  // extern "C"

namespace plat::ui {

void QueueFileAnswer(std::optional<std::u16string> path) {
  auto& d = Dialogs();
  std::lock_guard lock(d.mutex);
  d.answers.push_back(std::move(path));
}

std::vector<FileDialogCall> FileDialogLog() {
  auto& d = Dialogs();
  std::lock_guard lock(d.mutex);
  return d.log;
}

void ResetFileDialogs() {
  auto& d = Dialogs();
  std::lock_guard lock(d.mutex);
  d.answers.clear();
  d.log.clear();
}

namespace {
// The scripted user's reset clears the file dialogs' answers and log too.
[[maybe_unused]] const bool kClearedWithScript = (ClearWithScript(&ResetFileDialogs), true);
}  // namespace

}  // namespace plat::ui
