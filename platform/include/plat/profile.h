// Private profile (INI) files, addressed by Windows paths; a bare file name
// lives in the Windows folder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

extern "C" {
// The value of [section] key, trimmed, with one pair of surrounding double
// quotes removed, or the default (trailing blanks cut) when missing. Sections
// and keys match without case; the first match wins. A null section gives
// the section names, a null key the section's key names, each terminated,
// with a double terminator at the end. Returns the units copied without the
// terminator: size - 1 when a value is cut (size - 2 when a list is cut).
PLATAPI DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer,
                                       DWORD size, LPCWSTR fileName);
PLATAPI DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                                       LPCSTR fileName);
// The leading decimal digits (with an optional sign) of the value, 0 when
// there are none, the default when the key is missing.
PLATAPI UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName);
PLATAPI UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName);
// Every "key=value" line of the section (as written, comments left out),
// each terminated, with a double terminator; cut lists return size - 2.
PLATAPI DWORD GetPrivateProfileSectionW(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR fileName);
// Sets a value (creating the file, section and key as needed), deletes the
// key (null value) or the whole section (null key). The file keeps its
// encoding; a new file is written in the ANSI code page.
PLATAPI BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName);
}

namespace plat::profile {
// Times a file was read and parsed (the cache holds a file until its size or
// modification time changes).
PLATAPI std::size_t ParseCount();
PLATAPI void DropCache();

// Readers for C++ callers: the lookups of GetPrivateProfileStringW and
// GetPrivateProfileSectionW, without buffer sizes or sentinel defaults, so
// nothing is cut however long.
// The value of [section] key (trimmed, one pair of quotes removed); nullopt
// when the file, section or key is missing.
PLATAPI std::optional<std::u16string> ReadValue(std::u16string_view file, std::u16string_view section,
                                                std::u16string_view key);
// The key names of a section, in file order; empty when it is missing.
PLATAPI std::vector<std::u16string> ReadKeys(std::u16string_view file, std::u16string_view section);
// Every line of a section as "key=value" (the key alone when it has no '=').
PLATAPI std::vector<std::u16string> ReadSection(std::u16string_view file, std::u16string_view section);
// Comma fields of a value, blanks and tabs trimmed on both sides.
PLATAPI std::vector<std::u16string> SplitCommaFields(std::u16string_view text);
// The text inside a frame of two delimiters ("%KEY%" -> "KEY"); nullopt for a
// text of fewer than 2 characters or not framed by the delimiter.
PLATAPI std::optional<std::u16string_view> Unframe(std::u16string_view text, char16_t delimiter);
}  // namespace plat::profile
