#include "sheetrun/script.h"

#include <charconv>
#include <cstdio>
#include <sstream>

#include "plat/commdlg.h"
#include "plat/dialog.h"
#include "plat/strings.h"

namespace sheetrun {

namespace {

bool Int(const std::string& text, long long& out) {
  std::string_view t = text;
  if (!t.empty() && t[0] == '+') t.remove_prefix(1);
  auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), out);
  return ec == std::errc() && end == t.data() + t.size() && out >= INT32_MIN && out <= INT32_MAX;
}

// Splits at blanks; "..." is one argument (\" inside it is a quote).
bool Split(std::string_view line, std::vector<std::string>& out) {
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      ++i;
      bool closed = false;
      while (i < line.size()) {
        if (line[i] == '\\' && i + 1 < line.size()) {
          word += line[i + 1];
          i += 2;
        } else if (line[i] == '"') {
          ++i;
          closed = true;
          break;
        } else {
          word += line[i++];
        }
      }
      if (!closed) return false;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') word += line[i++];
    }
    out.push_back(std::move(word));
  }
  return true;
}

struct Shape {
  const char* verb;
  std::size_t args;  // exact count; type takes the rest of the line
};
constexpr Shape kShapes[] = {{"tab", 1},    {"click", 1},  {"check", 2}, {"choose", 2}, {"type", 1},
                             {"leave", 0},  {"enter", 0},  {"spin", 2},  {"slide", 2},  {"select", 2},
                             {"ip", 2},     {"clickpic", 1}, {"answer", 1}, {"ok", 0},  {"apply", 0},
                             {"cancel", 0}, {"close", 0},  {"expect", 2}, {"file", 1},  {"snap", 0}};

}  // namespace

bool ParseScript(const std::string& text, std::vector<Step>& steps, std::string& error) {
  std::istringstream in(text);
  std::string raw;
  int lineNo = 0;
  while (std::getline(in, raw)) {
    ++lineNo;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string_view line = raw;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.empty() || line[0] == '#') continue;
    Step step;
    step.line = lineNo;
    const std::size_t blank = line.find_first_of(" \t");
    step.verb = std::string(line.substr(0, blank));
    std::string_view rest = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
    auto fault = [&](const std::string& what) {
      error = "line " + std::to_string(lineNo) + ": " + what;
      return false;
    };
    const Shape* shape = nullptr;
    for (const Shape& s : kShapes) {
      if (step.verb == s.verb) shape = &s;
    }
    if (!shape) return fault("unknown step \"" + step.verb + "\"");
    if (step.verb == "type") {
      while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
      const std::size_t idEnd = rest.find(' ');
      step.args.emplace_back(rest.substr(0, idEnd));
      std::string_view typed = idEnd == std::string_view::npos ? std::string_view() : rest.substr(idEnd + 1);
      if (typed.size() >= 2 && typed.front() == '"' && typed.back() == '"') typed = typed.substr(1, typed.size() - 2);
      step.rest = std::string(typed);
    } else if (!Split(rest, step.args)) {
      return fault("a quoted text is not closed");
    }
    if (step.args.size() != shape->args && !(step.verb == "expect" && step.args.size() == 3)) {
      return fault("\"" + step.verb + "\" takes " + std::to_string(shape->args) + " argument(s)");
    }
    long long id = 0;
    if (shape->args > 0 && step.verb != "answer" && step.verb != "file" && !Int(step.args[0], id)) return fault("a control id is a number");
    if (step.verb == "answer" && plat::ui::AnswerFromWord(step.args[0]) == 0)
      return fault("unknown answer \"" + step.args[0] + "\"");
    steps.push_back(std::move(step));
  }
  return true;
}

void Runner::Snap() const {
  if (onSnap) onSnap(open_);
}

void Runner::operator()(plat::ui::Screen& screen) {
  open_.push_back(&screen);
  while (next_ < steps_.size() && screen.IsOpen()) {
    const Step& step = steps_[next_++];
    const bool closing = step.verb == "ok" || step.verb == "cancel" || step.verb == "close";
    if (closing && next_ == steps_.size() && !endSnapped_) {
      endSnapped_ = true;
      Snap();
    }
    if (!Run(screen, step)) {
      next_ = steps_.size();  // the rest would act on the wrong window
      open_.pop_back();
      return;
    }
  }
  if (next_ == steps_.size() && screen.IsOpen() && !endSnapped_) {
    endSnapped_ = true;
    Snap();
  }
  open_.pop_back();
}

bool Runner::Fail(const Step& step, const std::string& why) {
  failed_ = true;
  std::fprintf(stderr, "sheetrun: line %d (%s): %s\n", step.line, step.verb.c_str(), why.c_str());
  return false;
}

bool Runner::Run(plat::ui::Screen& s, const Step& step) {
  const std::string& v = step.verb;
  long long id = 0;
  if (!step.args.empty() && v != "answer" && v != "file") Int(step.args[0], id);
  const int control = static_cast<int>(id);
  auto acted = [&](bool ok) { return ok ? true : Fail(step, s.LastError()); };
  long long n = 0;
  if (v == "tab") {
    // A page's template id names its tab; otherwise the number is the tab's index.
    int index = control;
    for (int t = 0; t < s.TabCount(); ++t) {
      if (s.TabTemplate(t) == control) index = t;
    }
    return acted(s.Tab(index));
  }
  if (v == "file") {
    // Queued for the file dialog the next step opens.
    if (step.args[0] == "cancel") plat::ui::QueueFileAnswer(std::nullopt);
    else plat::ui::QueueFileAnswer(plat::u16(step.args[0]));
    return true;
  }
  if (v == "click") return acted(s.Click(control));
  if (v == "clickpic") return acted(s.ClickOn(control));
  if (v == "leave") return acted(s.Leave());
  if (v == "enter") return acted(s.Enter());
  if (v == "ok") return acted(s.Ok());
  if (v == "apply") return acted(s.Apply());
  if (v == "cancel") return acted(s.Cancel());
  if (v == "close") return acted(s.Close());
  if (v == "snap") {
    Snap();
    return true;
  }
  if (v == "type") return acted(s.Type(control, plat::u16(step.rest)));
  if (v == "ip") return acted(s.SetAddress(control, plat::u16(step.args[1])));
  if (v == "check") {
    if (step.args[1] != "on" && step.args[1] != "off") return Fail(step, "check takes on or off");
    return acted(s.Check(control, step.args[1] == "on"));
  }
  if (v == "spin" || v == "slide") {
    if (!Int(step.args[1], n)) return Fail(step, "a number is needed");
    return acted(v == "spin" ? s.Spin(control, static_cast<int>(n)) : s.Slide(control, static_cast<int>(n)));
  }
  if (v == "choose") {
    const std::string& what = step.args[1];
    if (what.rfind("data=", 0) == 0) {
      if (!Int(what.substr(5), n)) return Fail(step, "data= takes a number");
      return acted(s.ChooseData(control, static_cast<LPARAM>(n)));
    }
    if (Int(what, n)) return acted(s.Choose(control, static_cast<int>(n)));
    return acted(s.ChooseText(control, plat::u16(what)));
  }
  if (v == "select") {
    std::vector<int> indices;
    std::string_view list = step.args[1];
    while (!list.empty()) {
      const std::size_t comma = list.find(',');
      if (!Int(std::string(list.substr(0, comma)), n)) return Fail(step, "select takes N,N,...");
      indices.push_back(static_cast<int>(n));
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return acted(s.Select(control, indices));
  }
  if (v == "answer") {
    if (s.kind() != plat::ui::Screen::Kind::MessageBox) return Fail(step, "no message box is open");
    return acted(s.Click(plat::ui::AnswerFromWord(step.args[0])));
  }
  if (v == "expect") {
    const std::string& what = step.args[1];
    if (!s.Item(control)) return Fail(step, "no control " + step.args[0]);
    bool ok = false;
    std::string seen;
    if (what == "enabled" || what == "disabled") {
      ok = s.Enabled(control) == (what == "enabled");
      seen = s.Enabled(control) ? "enabled" : "disabled";
    } else if (what == "shown" || what == "hidden") {
      ok = s.Visible(control) == (what == "shown");
      seen = s.Visible(control) ? "shown" : "hidden";
    } else if (what == "checked" || what == "unchecked") {
      ok = (s.Checked(control) == static_cast<int>(BST_CHECKED)) == (what == "checked");
      seen = "check state " + std::to_string(s.Checked(control));
    } else if (step.args.size() == 3 && what == "text") {
      ok = s.Text(control) == plat::u16(step.args[2]);
      seen = "text \"" + plat::utf8(s.Text(control)) + "\"";
    } else if (step.args.size() == 3 && (what == "sel" || what == "data") && Int(step.args[2], n)) {
      const long long got = what == "sel" ? s.Selection(control) : s.ItemData(control);
      ok = got == n;
      seen = what + " " + std::to_string(got);
    } else {
      return Fail(step, "unknown expectation");
    }
    return ok ? true : Fail(step, "expected " + what + (step.args.size() == 3 ? " " + step.args[2] : "") + ", found " + seen);
  }
  return Fail(step, "unknown step");
}

}  // namespace sheetrun
