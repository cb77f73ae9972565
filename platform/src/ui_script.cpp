// The scripted user of a program: PLAT_UI_SCRIPT holds steps (one a line or
// separated by ';', or "@file"), each "PAGE:step" where PAGE is the dialog
// template id or "msgbox". PLAT_UI_LOG names a file that gets one JSON line
// per event: every window opened and ended, every message box with its type
// and answer, every program started, every failed step. Without a script, a
// program on a terminal asks its user for the same steps. A script with an
// unknown step or answer word stops the program at its start (status 2),
// naming the line.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "plat/dialog.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "window_internal.h"

namespace {

struct ScriptLine {
  int line;          // of the script text, from 1
  std::string text;  // "PAGE:step"
};

struct Runner {
  std::mutex mutex;
  std::deque<ScriptLine> steps;
  std::string logPath;
  std::mutex logMutex;  // lines of several threads stay whole
  bool console = false;
};

Runner& R() {
  static Runner* r = new Runner;
  return *r;
}

std::string Json(std::u16string_view text) { return plat::JsonQuoted(text); }

void Log(const std::string& line) { plat::internal::UiLog(line); }

const char* ClassName(plat::internal::WindowKind kind) {
  using plat::internal::WindowKind;
  switch (kind) {
    case WindowKind::Button: return "Button";
    case WindowKind::Edit: return "Edit";
    case WindowKind::Static: return "Static";
    case WindowKind::ComboBox: return "ComboBox";
    case WindowKind::ListBox: return "ListBox";
    case WindowKind::UpDown: return "msctls_updown32";
    case WindowKind::Trackbar: return "msctls_trackbar32";
    case WindowKind::IpAddress: return "SysIPAddress32";
    case WindowKind::ListView: return "SysListView32";
    case WindowKind::Progress: return "msctls_progress32";
    default: return "Other";
  }
}

std::string PageOf(const plat::ui::Screen& s) {
  return s.kind() == plat::ui::Screen::Kind::MessageBox ? "msgbox" : std::to_string(s.templateId());
}

std::string Dump(const plat::ui::Screen& s) {
  std::string out = "{\"ev\":\"dump\",\"page\":\"" + PageOf(s) + "\",\"caption\":" + Json(s.Caption()) + ",\"controls\":[";
  bool first = true;
  for (HWND child : plat::internal::ChildrenOf(s.kind() == plat::ui::Screen::Kind::Sheet ? s.Page() : s.window())) {
    const int id = GetDlgCtrlID(child);
    const auto kind = plat::internal::KindOf(child);
    out += std::string(first ? "" : ",") + "{\"id\":" + std::to_string(id) + ",\"class\":\"" + ClassName(kind) +
           "\",\"text\":" + Json(s.Text(id));
    if (kind == plat::internal::WindowKind::ComboBox || kind == plat::internal::WindowKind::ListBox) {
      out += ",\"items\":[";
      for (int i = 0; i < s.ItemCount(id); ++i) out += std::string(i ? "," : "") + Json(s.ItemText(id, i));
      out += "],\"sel\":" + std::to_string(s.Selection(id));
    }
    if (kind == plat::internal::WindowKind::ListView) {
      out += ",\"rows\":[";
      for (int i = 0; i < s.ItemCount(id); ++i) {
        out += std::string(i ? "," : "") + "[";
        for (int c = 0; c < 3; ++c) out += std::string(c ? "," : "") + Json(s.ItemText(id, i, c));
        out += "]";
      }
      out += "],\"sel\":" + std::to_string(s.Selection(id));
    }
    if (kind == plat::internal::WindowKind::Progress) out += ",\"pos\":" + std::to_string(s.Selection(id));
    if (kind == plat::internal::WindowKind::Button) out += ",\"checked\":" + std::to_string(s.Checked(id));
    out += std::string(",\"enabled\":") + (s.Enabled(id) ? "true" : "false") + ",\"visible\":" +
           (s.Visible(id) ? "true" : "false") + "}";
    first = false;
  }
  return out + "]}";
}

// Actions on the machine rather than on a window ("usb plug --hwid ID --port USB001").
std::function<bool(const std::string&, const std::string&)>& Actions() {
  static auto* actions = new std::function<bool(const std::string&, const std::string&)>;
  return *actions;
}
bool ScriptAction(const std::string& verb, const std::string& rest) { return Actions() && Actions()(verb, rest); }

bool AllDigits(const std::string& t) { return !t.empty() && t.find_first_not_of("0123456789") == std::string::npos; }

// The verbs of a step; "usb" is the machine's own action (devices.cpp).
constexpr const char* kVerbs[] = {"click", "check", "choose", "type",  "ip",   "select", "answer",
                                  "expect", "wait-items", "pause", "wait", "dump", "usb"};

// Why a "PAGE:step" cannot be run, or empty when it can.
std::string ScriptLineFault(const std::string& text) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return "no page before the step (PAGE:step)";
  const std::string page = text.substr(0, colon);
  if (page != "msgbox" && !AllDigits(page)) return "the page \"" + page + "\" is neither a template id nor msgbox";
  std::istringstream in(text.substr(colon + 1));
  std::string verb, word;
  in >> verb >> word;
  if (std::find_if(std::begin(kVerbs), std::end(kVerbs), [&](const char* v) { return verb == v; }) == std::end(kVerbs))
    return "unknown step \"" + verb + "\"";
  if (verb == "answer" && plat::ui::AnswerFromWord(word) == 0) return "unknown answer \"" + word + "\"";
  return {};
}

// One step on the screen; false (with a failure recorded) when it cannot be done.
bool Step(plat::ui::Screen& s, const std::string& step, int line) {
  std::istringstream in(step);
  std::string verb, idText;
  in >> verb;
  std::string rest;
  std::getline(in >> std::ws, rest);
  std::istringstream args(rest);
  args >> idText;
  std::string value;
  std::getline(args >> std::ws, value);
  const int id = std::atoi(idText.c_str());
  bool ok = true;
  if (verb == "click") ok = s.Click(id);
  else if (verb == "check") ok = s.Check(id, value == "on");
  else if (verb == "choose") ok = AllDigits(value) ? s.Choose(id, std::atoi(value.c_str())) : s.ChooseText(id, plat::u16(value));
  else if (verb == "type") ok = s.Type(id, plat::u16(value));
  else if (verb == "ip") ok = s.SetAddress(id, plat::u16(value));
  else if (verb == "select") {
    std::vector<int> indices;
    if (value == "all")
      for (int i = 0; i < s.ItemCount(id); ++i) indices.push_back(i);
    else
      for (std::istringstream list(value); std::getline(list, idText, ',');) indices.push_back(std::atoi(idText.c_str()));
    ok = s.Select(id, indices);
  } else if (verb == "answer") ok = s.Click(plat::ui::AnswerFromWord(idText));
  else if (verb == "expect") ok = s.Text(id) == plat::u16(value);
  else if (verb == "wait-items") {
    const int want = std::atoi(value.c_str());
    ok = s.WaitFor([&] { return s.ItemCount(id) >= want; }, 120000);
  } else if (verb == "pause" || verb == "wait") ok = s.Wait(static_cast<DWORD>(std::atoi(idText.c_str())));
  else if (ScriptAction(verb, rest)) ok = true;
  else if (verb == "dump") {
    const std::string d = Dump(s);
    Log(d);
    if (R().console) std::cout << d << std::endl;
  } else ok = false;
  if (!ok) {
    const std::string where = line > 0 ? "line " + std::to_string(line) + ": " : "";
    plat::ui::RecordFailure(where + "step \"" + step + "\" on " + PageOf(s) + ": " + s.LastError());
  }
  return ok;
}

void Handle(plat::ui::Screen& s) {
  auto& r = R();
  const std::string page = PageOf(s);
  while (s.IsOpen()) {
    std::string step;
    int line = 0;
    if (r.console) {
      std::cout << Dump(s) << "\n" << page << "> " << std::flush;
      if (!std::getline(std::cin, step) || step.empty()) break;
    } else {
      std::lock_guard lock(r.mutex);
      if (r.steps.empty()) break;
      const ScriptLine& next = r.steps.front();
      const auto colon = next.text.find(':');
      if (colon == std::string::npos || next.text.substr(0, colon) != page) break;  // a step for another window
      step = next.text.substr(colon + 1);
      line = next.line;
      r.steps.pop_front();
    }
    Step(s, step, line);
  }
  // Nothing left to do on an open window: the user walks away, as after 30 s.
  if (s.IsOpen()) s.kind() == plat::ui::Screen::Kind::MessageBox ? s.Close() : s.Cancel();
}

// Installs the scripted (or console) user when the program's environment asks for one.
struct Install {
  Install() {
    auto& r = R();
    const char* script = std::getenv("PLAT_UI_SCRIPT");
    if (const char* log = std::getenv("PLAT_UI_LOG")) r.logPath = log;
    std::string text;
    if (script && *script == '@') {
      std::ifstream in(script + 1);
      std::ostringstream all;
      all << in.rdbuf();
      text = all.str();
    } else if (script) {
      text = script;
    }
    if (script) {
      std::string fault;
      // Before any window opens: a script that cannot be run is not run at all.
      if (!plat::ui::LoadScript(text, &fault)) {
        std::fprintf(stderr, "PLAT_UI_SCRIPT %s\n", fault.c_str());
        std::_Exit(2);
      }
    }
    r.console = !script && ::isatty(0) && ::isatty(1);
    if (script || r.console || !r.logPath.empty()) plat::ui::SetFallbackHandler(Handle);
  }
};
const Install g_install;

}  // namespace

namespace plat::internal {
void UiLog(const std::string& line) {
  auto& r = R();
  if (r.logPath.empty()) return;
  std::lock_guard lock(r.logMutex);
  std::ofstream(r.logPath, std::ios::app) << line << "\n";
}
}  // namespace plat::internal

namespace plat::ui {
int AnswerFromWord(std::string_view word) {
  struct Named {
    std::string_view word;
    int answer;
  };
  static constexpr Named kNamed[] = {{"IDOK", IDOK},       {"IDCANCEL", IDCANCEL},     {"IDABORT", IDABORT},
                                     {"IDRETRY", IDRETRY}, {"IDIGNORE", IDIGNORE},     {"IDYES", IDYES},
                                     {"IDNO", IDNO},       {"IDTRYAGAIN", IDTRYAGAIN}, {"IDCONTINUE", IDCONTINUE},
                                     {"ok", IDOK},         {"cancel", IDCANCEL},       {"yes", IDYES},
                                     {"no", IDNO}};
  for (const Named& n : kNamed)
    if (word == n.word) return n.answer;
  int number = 0;
  if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string_view::npos) return 0;
  for (const char c : word) number = number * 10 + (c - '0');
  return number;
}

void SetScriptAction(std::function<bool(const std::string& verb, const std::string& rest)> action) {
  Actions() = std::move(action);
}

bool LoadScript(std::string_view text, std::string* fault) {
  std::deque<ScriptLine> steps;
  int line = 1;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find_first_of(";\n", start);
    if (end == std::string_view::npos) end = text.size();
    std::string step(text.substr(start, end - start));
    while (!step.empty() && (step.back() == '\r' || step.back() == ' ')) step.pop_back();
    while (!step.empty() && step.front() == ' ') step.erase(0, 1);
    if (!step.empty()) {
      const std::string why = ScriptLineFault(step);
      if (!why.empty()) {
        if (fault) *fault = "line " + std::to_string(line) + ": " + why + " in \"" + step + "\"";
        return false;
      }
      steps.push_back({line, step});
    }
    if (end < text.size() && text[end] == '\n') ++line;
    start = end + 1;
  }
  {
    auto& r = R();
    std::lock_guard lock(r.mutex);
    r.steps = std::move(steps);
  }
  SetFallbackHandler(Handle);
  return true;
}
}  // namespace plat::ui
