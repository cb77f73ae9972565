// What the uninstaller needs to know before its pages.
#pragma once

#include "installer/setup_context.h"

namespace installer {

// 1 when a local printer uses the driver of a model listed in uninst.ini,
// 0 when none does, -1 on failure (shown from `library`: setup's own strings
// when it is setup's instance, else the language library's).
int FindInstalledModelPrinter(SetupContext& ctx, HMODULE library);

}  // namespace installer
