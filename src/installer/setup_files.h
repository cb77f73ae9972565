// Setup.ini's settings of the chosen language and the model file (inst.ini)
// read into the context; the language page reads them once a language is
// chosen, the entry when there is no choice to make. Each returns 1, or 0
// for a missing or over-long value.
#pragma once

#include <string_view>

#include "installer/setup_context.h"

namespace installer {

int ReadLanguageSettings(SetupContext& ctx);
int ReadDriverFolderAndReadme(SetupContext& ctx, std::u16string_view modelFile);
int ReadModelInfo(SetupContext& ctx, std::u16string_view modelFile);

}  // namespace installer
