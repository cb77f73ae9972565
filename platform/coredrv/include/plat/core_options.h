// The core driver's own features, as its helper lists and sets them for a
// plug-in: "Orientation" {PORTRAIT, LANDSCAPE_CC90} and "PaperSize", one
// option per spooler form named as the form.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plat/spooler.h"

namespace plat::core {

// The options of a feature in the core's order. E_INVALIDARG for a feature
// the core does not have; E_FAIL when the forms cannot be listed.
HRESULT CoreOptions(HANDLE printer, std::string_view feature, std::vector<std::string>& names);

// Sets one option on a public DEVMODE: the orientation, or the paper by the
// form's number (DM_PAPERSIZE, a built-in form) or name (DM_FORMNAME, a user
// form). Each pair set is traced on the debug output as kSetOptionsTrace,
// FEATURE=OPTION and a line end. E_INVALIDARG for an unknown feature or option.
HRESULT SetCoreOption(HANDLE printer, DEVMODEW& devmode, std::string_view feature, std::string_view option);

inline constexpr char kSetOptionsTrace[] = "coredrv: SetOptions ";

}  // namespace plat::core
