// Private profile (INI) files, addressed by Windows paths; a bare file name
// lives in the Windows folder.
#pragma once

#include <cstddef>

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
}  // namespace plat::profile
