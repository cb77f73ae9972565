// UTF-16 and narrow string routines with the platform's names, the wsprintf
// formatter, and C++ conversions for tools and tests.
#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

#include "plat/base.h"

extern "C" {
// Lengths in units without the terminator; a null string has length 0.
PLATAPI int lstrlenW(LPCWSTR s);
PLATAPI int lstrlenA(LPCSTR s);
// Copies with the terminator; the destination must hold the whole source.
PLATAPI LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src);
PLATAPI LPSTR lstrcpyA(LPSTR dst, LPCSTR src);
// Copies at most max - 1 units and always terminates (max >= 1).
PLATAPI LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max);
PLATAPI LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max);
PLATAPI LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src);
PLATAPI LPSTR lstrcatA(LPSTR dst, LPCSTR src);
// <0, 0, >0 by code unit; the i forms fold case first (plat::FoldCase for
// WCHAR, ASCII letters for char).
PLATAPI int lstrcmpW(LPCWSTR a, LPCWSTR b);
PLATAPI int lstrcmpiW(LPCWSTR a, LPCWSTR b);
PLATAPI int lstrcmpA(LPCSTR a, LPCSTR b);
PLATAPI int lstrcmpiA(LPCSTR a, LPCSTR b);

// Formatting: %d %i %u %x %X %s %c %% with flags '-' and '0', a width and a
// precision (for %s: at most that many units). In the W forms %s takes a
// WCHAR string and %c a WCHAR; in the A forms a char string and a char; %hs
// / %ls (and %S) give the other width. A null string prints "(null)".
// Output is capped at 1024 units including the terminator; the result is
// the number of units written without the terminator.
constexpr int WSPRINTF_MAX = 1024;
PLATAPI int wsprintfW(LPWSTR out, LPCWSTR format, ...);
PLATAPI int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args);
PLATAPI int wsprintfA(LPSTR out, LPCSTR format, ...);
PLATAPI int wvsprintfA(LPSTR out, LPCSTR format, va_list args);
}

namespace plat {
// UTF-8 <-> UTF-16 for tools, tests and host paths. Invalid input becomes
// U+FFFD (UTF-16 side) or EF BF BD (UTF-8 side); never throws.
PLATAPI std::u16string u16(std::string_view utf8);
PLATAPI std::string utf8(std::u16string_view utf16);
// A view of a zero-terminated WCHAR string (empty for null).
inline std::u16string_view view(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }
// Case folding (to upper case) used by the platform's case-insensitive
// comparisons: ASCII, Latin-1, Latin Extended-A, Greek, Cyrillic and
// full-width Latin letters.
PLATAPI WCHAR FoldCase(WCHAR c);
PLATAPI bool EqualsNoCase(std::u16string_view a, std::u16string_view b);
// The text as a JSON string in UTF-8, quotes included.
PLATAPI std::string JsonQuoted(std::u16string_view text);
}  // namespace plat
