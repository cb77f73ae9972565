// Code pages: conversions between narrow text and UTF-16.
#pragma once

#include <string>
#include <string_view>

#include "plat/base.h"

constexpr UINT CP_ACP = 0;      // the machine's ANSI code page (plat::machine, 1252 by default)
constexpr UINT CP_OEMCP = 1;    // the machine's OEM code page (437 by default)
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_PRECOMPOSED = 0x00000001;
constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_NO_BEST_FIT_CHARS = 0x00000400;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

extern "C" {
// Narrow -> UTF-16. length -1: up to and including the terminator. outSize 0:
// returns the units needed. Bytes that are not valid in the code page become
// U+FFFD (or fail with ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS).
// 0 on failure: ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_PARAMETER (unknown
// code page, null input, negative sizes, input and output overlapping).
PLATAPI int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR in, int length, LPWSTR out, int outSize);
// UTF-16 -> narrow. Characters the code page lacks become the default
// character ('?' unless given; no best-fit substitutes) and set
// *usedDefault. For CP_UTF8 defaultChar and usedDefault must be null
// (ERROR_INVALID_PARAMETER), and lone surrogates become U+FFFD.
PLATAPI int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR in, int length, LPSTR out, int outSize,
                                LPCSTR defaultChar, LPBOOL usedDefault);
PLATAPI UINT GetACP();
PLATAPI UINT GetOEMCP();
}

namespace plat {
// Whole-string conversions for C++ callers (CP_ACP etc. resolved as above).
PLATAPI std::u16string ToWide(UINT codePage, std::string_view text);
PLATAPI std::string ToNarrow(UINT codePage, std::u16string_view text, bool* usedDefault = nullptr);
}  // namespace plat
