// Printer names the wizard proposes and accepts.
#pragma once

#include <string_view>

#include "installer/setup_context.h"

namespace installer {

constexpr int kPrinterNameUnits = 32;  // 31 characters and the terminator

// Local printers whose name begins with `text` (letter case ignored); `exact`
// tells whether one is named `text`. -1 after message 31 when the printers
// cannot be listed.
int CountPrintersWithPrefix(HMODULE library, bool& exact, std::u16string_view text);
// `base`, or base + " (<string 9> <n>)" cut to 31 characters, that no
// printer holds. 1, or 0 when the printers cannot be listed or the suffix
// alone leaves no room for the base.
int MakeUniquePrinterName(WCHAR (&out)[kPrinterNameUnits], std::u16string_view base, HMODULE library);
// 1 when a printer may be created under the name; otherwise the user has been
// told why (messages 6, 7, 8) and 0.
int ValidatePrinterName(const SetupContext& ctx, HWND page, std::u16string_view name);

}  // namespace installer
