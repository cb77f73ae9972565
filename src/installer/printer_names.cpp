#include "installer/printer_names.h"

#include <vector>

#include "installer/messages.h"

namespace installer {
namespace {

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && plat::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Characters the name may not hold: the spooler's separators, and the quote
// that wraps the name on the test page's command line.
constexpr std::u16string_view kForbidden = u"!,\\\"";

}  // namespace

int CountPrintersWithPrefix(HMODULE library, bool& exact, std::u16string_view text) {
  exact = false;
  DWORD needed = 0, returned = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed,
                     &returned)) {
    ReportAllocFailure(library);
    return -1;
  }
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  int count = 0;
  for (DWORD i = 0; i < returned; ++i) {
    const std::u16string_view name = Str(printers[i].pPrinterName);
    if (!StartsWithNoCase(name, text)) continue;
    ++count;
    if (name.size() == text.size()) exact = true;
  }
  return count;
}

int MakeUniquePrinterName(WCHAR (&out)[kPrinterNameUnits], std::u16string_view base, HMODULE library) {
  constexpr std::size_t kMaxName = kPrinterNameUnits - 1;
  bool exact = false;
  const int count = CountPrintersWithPrefix(library, exact, base);
  if (count < 0) return 0;
  if (count == 0 || !exact) return SetField(out, base.substr(0, kMaxName)) ? 1 : 0;
  WCHAR word[26] = {};
  LoadStringW(library, 9, word, 26);
  for (int n = 1;; ++n) {
    const std::u16string suffix = u" (" + std::u16string(Str(word)) + u" " + plat::u16(std::to_string(n)) + u")";
    if (suffix.size() >= kMaxName) return 0;  // no room left for any of the base
    const std::size_t keep = std::min(base.size(), kMaxName - suffix.size());
    const std::u16string name = std::u16string(base.substr(0, keep)) + suffix;
    const int taken = CountPrintersWithPrefix(library, exact, name);
    if (taken < 0) return 0;
    if (taken == 0 || !exact) return SetField(out, name) ? 1 : 0;
  }
}

int ValidatePrinterName(const SetupContext& ctx, HWND page, std::u16string_view name) {
  auto refuse = [&](UINT text) {
    ShowResourceMessage(page, ctx.languageLibrary, text, 4, MB_ICONERROR);
    return 0;
  };
  bool exact = false;
  const int count = CountPrintersWithPrefix(ctx.languageLibrary, exact, name);
  if (count < 0) return 0;
  if (exact) return refuse(name.empty() ? 6 : 7);
  bool content = false;
  for (char16_t c : name) {
    if (c == u' ') continue;
    if (kForbidden.find(c) != std::u16string_view::npos) return refuse(8);
    content = true;
  }
  return content ? 1 : refuse(6);
}

}  // namespace installer
