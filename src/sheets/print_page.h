// The print page (template 2004), the finishing page (2005) and the about
// page (2006) of the document sheet.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

INT_PTR CALLBACK PrintPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The about page's version text: "%d.%02d.%02d" of major, minor and build;
// each driver generation shows its own.
struct DriverVersion {
  int Major, Minor, Build;
};
inline constexpr DriverVersion kClassicVersion{5, 18, 1};
inline constexpr DriverVersion kPluginVersion{2, 19, 1};

// The authentication number's up-down range: the model's, or 0-99 when the
// model gives none.
struct NumberRange {
  std::int32_t Minimum;
  std::int32_t Maximum;
};
NumberRange NinsyoNoRange(const CapsInfo& info);
