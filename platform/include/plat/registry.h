// Registry: the current user's and the machine's keys and values, held in
// memory for the whole process. Volatile keys live until the user's hive is
// unloaded (plat::registry::UnloadUserHive).
#pragma once

#include <cstddef>

#include "plat/base.h"

using ACCESS_MASK = DWORD;
using REGSAM = ACCESS_MASK;
struct SECURITY_ATTRIBUTES;
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;

inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u));
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u));

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights of a key handle.
constexpr ACCESS_MASK READ_CONTROL = 0x00020000;
constexpr ACCESS_MASK STANDARD_RIGHTS_READ = READ_CONTROL;
constexpr ACCESS_MASK STANDARD_RIGHTS_WRITE = READ_CONTROL;
constexpr ACCESS_MASK STANDARD_RIGHTS_REQUIRED = 0x000F0000;
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;  // 0x20019
constexpr REGSAM KEY_WRITE = STANDARD_RIGHTS_WRITE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY;                   // 0x20006
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyExW options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0x0;
constexpr DWORD REG_OPTION_VOLATILE = 0x1;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Registry-only error codes.
constexpr DWORD ERROR_BAD_PATHNAME = 161;
constexpr DWORD ERROR_KEY_DELETED = 1018;
constexpr DWORD ERROR_CHILD_MUST_BE_VOLATILE = 1021;

// Every call returns ERROR_SUCCESS or the error code; the last error is left alone.
// Subkey paths are relative, separated by backslashes, matched without case;
// a trailing backslash is ignored.
extern "C" {
// Opens or creates subKey (and any missing keys on its path, with the same
// options) below key. disposition, when given, says which happened.
PLATAPI LSTATUS RegCreateKeyExW(HKEY key, LPCWSTR subKey, DWORD reserved, LPWSTR keyClass, DWORD options,
                                REGSAM desired, LPSECURITY_ATTRIBUTES security, PHKEY result, LPDWORD disposition);
// ERROR_FILE_NOT_FOUND when the key does not exist; *result is NULL on failure.
PLATAPI LSTATUS RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM desired, PHKEY result);
PLATAPI LSTATUS RegCloseKey(HKEY key);
// Stores exactly size bytes (a REG_SZ gets no terminator added). Needs KEY_SET_VALUE.
PLATAPI LSTATUS RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                               DWORD size);
// size query with data NULL; ERROR_MORE_DATA (and *size = needed) when the
// buffer is too small; ERROR_FILE_NOT_FOUND for a missing value. Needs KEY_QUERY_VALUE.
PLATAPI LSTATUS RegQueryValueExW(HKEY key, LPCWSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                                 LPDWORD size);
// Value number index in the order the values were created. *nameChars is the
// buffer in characters on entry and the name's length without terminator on
// return; ERROR_MORE_DATA when the name or the data does not fit (data size
// then in *dataSize), ERROR_NO_MORE_ITEMS past the last value.
PLATAPI LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                              LPDWORD type, LPBYTE data, LPDWORD dataSize);
PLATAPI LSTATUS RegDeleteValueW(HKEY key, LPCWSTR valueName);
// Subkey number index, in name order; the same size protocol as RegEnumValueW
// for the name. Needs KEY_ENUMERATE_SUB_KEYS.
PLATAPI LSTATUS RegEnumKeyExW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameChars, LPDWORD reserved,
                              LPWSTR keyClass, LPDWORD classChars, void* lastWriteTime);
// The number of subkeys, the longest subkey name and the number of values.
PLATAPI LSTATUS RegQueryInfoKeyW(HKEY key, LPWSTR keyClass, LPDWORD classChars, LPDWORD reserved, LPDWORD subKeys,
                                 LPDWORD maxSubKeyChars, LPDWORD maxClassChars, LPDWORD values,
                                 LPDWORD maxValueNameChars, LPDWORD maxValueBytes, LPDWORD securityBytes,
                                 void* lastWriteTime);
// Deletes a key without subkeys (ERROR_ACCESS_DENIED when it has some).
PLATAPI LSTATUS RegDeleteKeyW(HKEY key, LPCWSTR subKey);
}

namespace plat::registry {
// Empties both hives and invalidates every open key handle.
PLATAPI void Reset();
// The user logs off: every volatile key below HKEY_CURRENT_USER disappears
// with its subtree; handles to them answer ERROR_KEY_DELETED.
PLATAPI void UnloadUserHive();
// Number of open key handles (predefined roots not counted), for leak checks.
PLATAPI std::size_t OpenKeyCount();
}  // namespace plat::registry
