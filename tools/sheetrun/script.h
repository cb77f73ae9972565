// The steps of a scripted user, one a line, run against whatever modal window
// is open: after a step opens a dialog or a message box, the next steps act
// on it until it closes.
//
//   tab N|ID         click ID          check ID on|off     choose ID N|"text"|data=N
//   type ID TEXT     leave             enter               spin ID +N|-N
//   slide ID N       select ID N,...   ip ID a.b.c.d       clickpic ID
//   answer IDYES|IDNO|IDOK|IDCANCEL|IDABORT|IDRETRY|IDIGNORE|IDTRYAGAIN|IDCONTINUE|yes|no|ok|cancel|N
//          (the installer's scripted user takes the same words)
//   ok   apply   cancel   close   snap
//   expect ID enabled|disabled|hidden|shown|checked|unchecked|text "..."|sel N|data N
//   file PATH|cancel   answers the next file dialog with a Windows path (quote
//                      it, with \\ for each backslash, when it holds blanks) or cancels it
//
// tab takes a page's template id, or else a tab index (0-based). Blank lines
// and lines starting with '#' are skipped. snap hands every open window
// (the sheet, then the dialogs over it) to the snap hook; so does the end of
// the steps, before a last ok, cancel or close.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "plat/ui.h"

namespace sheetrun {

struct Step {
  int line = 0;
  std::string verb;
  std::vector<std::string> args;  // the rest, split at blanks; a quoted text is one argument
  std::string rest;               // everything after the verb (and the id for type)
};

// Parses a script; on a bad line returns false with "line N: what".
bool ParseScript(const std::string& text, std::vector<Step>& steps, std::string& error);

// Runs the steps as the fallback handler of every modal loop.
class Runner {
 public:
  explicit Runner(std::vector<Step> steps) : steps_(std::move(steps)) {}
  void operator()(plat::ui::Screen& screen);
  bool Failed() const { return failed_; }
  std::size_t Remaining() const { return steps_.size() - next_; }
  // Called with the open windows, outermost first.
  std::function<void(const std::vector<plat::ui::Screen*>&)> onSnap;

 private:
  bool Run(plat::ui::Screen& screen, const Step& step);
  bool Fail(const Step& step, const std::string& why);

  void Snap() const;

  std::vector<Step> steps_;
  std::vector<plat::ui::Screen*> open_;
  std::size_t next_ = 0;
  bool failed_ = false;
  bool endSnapped_ = false;
};

}  // namespace sheetrun
