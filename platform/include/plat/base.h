// Base types and services of the platform layer: Windows names with fixed
// widths on every host, error codes, the thread's last error, zeroed heaps,
// UTF-16 strings and code pages.
#pragma once

#include <cstddef>
#include <cstdint>

// Exports of our own shared libraries (deliverables and the platform).
#define DLLEXPORT __attribute__((visibility("default")))
#define PLATAPI __attribute__((visibility("default")))
#define WINAPI
#define APIENTRY
#define CALLBACK
#define STDMETHODCALLTYPE

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using CHAR = char;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using ULONG = std::uint32_t;
using FLONG = ULONG;  // flags
using UINT = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using BOOL = std::int32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using FLOAT = float;
using WCHAR = char16_t;
using ULONG_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using SIZE_T = std::size_t;
using HRESULT = std::int32_t;
using LSTATUS = std::int32_t;
using COLORREF = DWORD;
using WPARAM = UINT_PTR;
using LPARAM = LONG_PTR;
using LRESULT = LONG_PTR;

using PVOID = void*;
using LPVOID = void*;
using LPCVOID = const void*;
using PBYTE = BYTE*;
using LPBYTE = BYTE*;
using PWORD = WORD*;
using PDWORD = DWORD*;
using LPDWORD = DWORD*;
using PLONG = LONG*;
using PULONG = ULONG*;
using LPBOOL = BOOL*;
using LPSTR = char*;
using LPCSTR = const char*;
using PSTR = char*;
using PCSTR = const char*;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PWCHAR = WCHAR*;

using HANDLE = void*;
using PHANDLE = HANDLE*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HWND__;
using HWND = HWND__*;
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using HGLOBAL = HANDLE;
using HLOCAL = HANDLE;
using FARPROC = void (*)();

static_assert(sizeof(WCHAR) == 2 && sizeof(DWORD) == 4 && sizeof(LONG) == 4 && sizeof(BOOL) == 4);

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

constexpr DWORD MAX_PATH = 260;
inline HANDLE const INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1));

struct POINTL {
  LONG x;
  LONG y;
};
struct SIZEL {
  LONG cx;
  LONG cy;
};
struct RECTL {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
};
using PRECTL = RECTL*;
using PPOINTL = POINTL*;
using PSIZEL = SIZEL*;
using POINT = POINTL;
using SIZE = SIZEL;
using RECT = RECTL;

struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};

inline WORD LOWORD(DWORD_PTR v) { return static_cast<WORD>(v & 0xFFFF); }
inline WORD HIWORD(DWORD_PTR v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
inline BYTE LOBYTE(DWORD_PTR v) { return static_cast<BYTE>(v & 0xFF); }
inline DWORD MAKELONG(WORD lo, WORD hi) { return static_cast<DWORD>(lo) | (static_cast<DWORD>(hi) << 16); }

// System error codes (GetLastError / Reg* / GetPrinterDataW results).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD NO_ERROR = 0;
constexpr DWORD ERROR_INVALID_FUNCTION = 1;
constexpr DWORD ERROR_FILE_NOT_FOUND = 2;
constexpr DWORD ERROR_PATH_NOT_FOUND = 3;
constexpr DWORD ERROR_TOO_MANY_OPEN_FILES = 4;
constexpr DWORD ERROR_ACCESS_DENIED = 5;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_OUTOFMEMORY = 14;
constexpr DWORD ERROR_NOT_READY = 21;
constexpr DWORD ERROR_BAD_LENGTH = 24;
constexpr DWORD ERROR_WRITE_FAULT = 29;
constexpr DWORD ERROR_READ_FAULT = 30;
constexpr DWORD ERROR_GEN_FAILURE = 31;
constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr DWORD ERROR_LOCK_VIOLATION = 33;
constexpr DWORD ERROR_NO_MORE_FILES = 18;
constexpr DWORD ERROR_HANDLE_EOF = 38;
constexpr DWORD ERROR_HANDLE_DISK_FULL = 39;
constexpr DWORD ERROR_NOT_SUPPORTED = 50;
constexpr DWORD ERROR_PRINT_CANCELLED = 63;
constexpr DWORD ERROR_FILE_EXISTS = 80;
constexpr DWORD ERROR_INVALID_PARAMETER = 87;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_CALL_NOT_IMPLEMENTED = 120;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_INVALID_NAME = 123;
constexpr DWORD ERROR_INVALID_LEVEL = 124;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_PROC_NOT_FOUND = 127;
constexpr DWORD ERROR_NEGATIVE_SEEK = 131;
constexpr DWORD ERROR_DIR_NOT_EMPTY = 145;
constexpr DWORD ERROR_DIRECTORY = 267;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;
constexpr DWORD ERROR_ALREADY_EXISTS = 183;
constexpr DWORD ERROR_ENVVAR_NOT_FOUND = 203;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_INVALID_FLAGS = 1004;
constexpr DWORD ERROR_NO_UNICODE_TRANSLATION = 1113;
constexpr DWORD ERROR_NOT_FOUND = 1168;
constexpr DWORD ERROR_CANCELLED = 1223;
constexpr DWORD ERROR_RESOURCE_DATA_NOT_FOUND = 1812;
constexpr DWORD ERROR_RESOURCE_TYPE_NOT_FOUND = 1813;
constexpr DWORD ERROR_RESOURCE_NAME_NOT_FOUND = 1814;
constexpr DWORD ERROR_UNKNOWN_PRINTER_DRIVER = 1797;
constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;
constexpr DWORD ERROR_PRINTER_ALREADY_EXISTS = 1802;
constexpr DWORD ERROR_INVALID_PRINTER_COMMAND = 1803;
constexpr DWORD ERROR_INVALID_DATATYPE = 1804;
constexpr DWORD ERROR_INVALID_ENVIRONMENT = 1805;
constexpr DWORD ERROR_INVALID_PRINTER_STATE = 1906;
constexpr DWORD ERROR_UNKNOWN_PORT = 1796;
constexpr DWORD ERROR_INVALID_FORM_NAME = 1902;
constexpr DWORD ERROR_INVALID_FORM_SIZE = 1903;

extern "C" {
PLATAPI void SetLastError(DWORD code);
PLATAPI DWORD GetLastError();

// Heaps. Memory from GlobalAlloc/LocalAlloc with the ZEROINIT flag is zero-filled;
// every block is released with the matching Free call (NULL on success).
constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;
constexpr UINT LMEM_FIXED = 0x0000;
constexpr UINT LMEM_ZEROINIT = 0x0040;
constexpr UINT LPTR = LMEM_FIXED | LMEM_ZEROINIT;
PLATAPI HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
PLATAPI HGLOBAL GlobalFree(HGLOBAL mem);
PLATAPI HLOCAL LocalAlloc(UINT flags, SIZE_T bytes);
PLATAPI HLOCAL LocalFree(HLOCAL mem);

// Messages of system error codes. With FORMAT_MESSAGE_ALLOCATE_BUFFER the
// buffer argument is really a LPWSTR* that receives a LocalAlloc'ed text
// (released with LocalFree); otherwise size is the caller's buffer in units.
// Returns the units written without the terminator, 0 with the last error
// (ERROR_MR_MID_NOT_FOUND for an unknown code, ERROR_INSUFFICIENT_BUFFER).
constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;
constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_MAX_WIDTH_MASK = 0x000000FF;
constexpr WORD LANG_NEUTRAL = 0x00;
constexpr WORD SUBLANG_DEFAULT = 0x01;
constexpr WORD SUBLANG_NEUTRAL = 0x00;
inline constexpr WORD MAKELANGID(WORD primary, WORD sub) { return static_cast<WORD>((sub << 10) | primary); }
PLATAPI DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                             DWORD size, void* arguments);

// Closes any handle the platform gave out (files, find handles, and handles
// other modules registered below). FALSE with ERROR_INVALID_HANDLE otherwise.
PLATAPI BOOL CloseHandle(HANDLE handle);
}

namespace plat {
// Kinds of object behind a HANDLE. Modules pick their own numbers here.
enum class HandleKind : std::uint32_t { File = 1, Find = 2, Mutex = 3, Event = 4, Process = 5, Thread = 6, Inf = 7, Other = 99 };

// The process-wide handle table. A module registers an object with a closer
// that CloseHandle calls once; handle values are never 0 or
// INVALID_HANDLE_VALUE and are not reused while the process runs.
using HandleCloser = void (*)(void* object);
PLATAPI HANDLE RegisterHandle(HandleKind kind, void* object, HandleCloser closer);
// The object of a handle of the given kind, or nullptr.
PLATAPI void* HandleObject(HANDLE handle, HandleKind kind);
// Number of live handles of a kind (tests check for leaks).
PLATAPI std::size_t LiveHandleCount(HandleKind kind);

// Bytes of the global and local heaps in use now and at most since the
// process started or the peak was last reset (to the bytes in use).
PLATAPI std::size_t HeapLiveBytes();
PLATAPI std::size_t HeapPeakBytes();
PLATAPI void ResetHeapPeak();
// Test hook: the n-th GlobalAlloc or LocalAlloc from now (1 = the next one)
// fails with ERROR_NOT_ENOUGH_MEMORY; 0 disarms it.
PLATAPI void FailNthHeapAlloc(std::size_t n);
}  // namespace plat
