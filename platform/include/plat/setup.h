// The installer's side of the platform: threads, events and named mutexes
// (held across the processes of a machine root), the queue of file
// operations that wait for a restart, and SetupAPI's INF and file calls.
#pragma once

#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/files.h"

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD STILL_ACTIVE = 259;

using PUINT = UINT*;
using LPTHREAD_START_ROUTINE = DWORD (*)(LPVOID parameter);

// SetupAPI.
using HINF = void*;
constexpr DWORD INF_STYLE_OLDNT = 0x00000001;
constexpr DWORD INF_STYLE_WIN4 = 0x00000002;
constexpr DWORD SRCINFO_PATH = 1;
constexpr DWORD SRCINFO_TAGFILE = 2;
constexpr DWORD SRCINFO_DESCRIPTION = 3;
constexpr UINT FILE_COMPRESSION_NONE = 0;
constexpr UINT FILE_COMPRESSION_WINLZA = 1;
// SetupAPI's own codes carry the customer and error bits.
constexpr DWORD APPLICATION_ERROR_MASK = 0x20000000;
constexpr DWORD ERROR_SEVERITY_ERROR = 0xC0000000;
constexpr DWORD ERROR_SECTION_NOT_FOUND = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x101;
constexpr DWORD ERROR_LINE_NOT_FOUND = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x102;
constexpr DWORD ERROR_WRONG_INF_STYLE = APPLICATION_ERROR_MASK | ERROR_SEVERITY_ERROR | 0x100;

// Privileges and restarting.
struct LUID {
  DWORD LowPart;
  LONG HighPart;
};
struct LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
};
struct TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
};
constexpr DWORD TOKEN_ADJUST_PRIVILEGES = 0x0020;
constexpr DWORD TOKEN_QUERY = 0x0008;
constexpr DWORD SE_PRIVILEGE_ENABLED = 0x00000002;
inline constexpr const WCHAR* SE_SHUTDOWN_NAME = u"SeShutdownPrivilege";
constexpr UINT EWX_LOGOFF = 0x00000000;
constexpr UINT EWX_SHUTDOWN = 0x00000001;
constexpr UINT EWX_REBOOT = 0x00000002;
constexpr DWORD ERROR_PRIVILEGE_NOT_HELD = 1314;
constexpr DWORD ERROR_NO_SUCH_PRIVILEGE = 1313;

extern "C" {
// Threads run the routine on a host thread. The handle answers
// WaitForSingleObject (signalled when the routine has returned) and
// GetExitCodeThread (STILL_ACTIVE while it runs). Closing the handle does
// not stop the thread.
PLATAPI HANDLE CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize, LPTHREAD_START_ROUTINE start,
                            LPVOID parameter, DWORD flags, LPDWORD threadId);
PLATAPI BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// Events of this process (names are not shared).
PLATAPI HANDLE CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset, BOOL initialState, LPCWSTR name);
PLATAPI BOOL SetEvent(HANDLE event);
PLATAPI BOOL ResetEvent(HANDLE event);
// Threads and events; WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED with
// ERROR_INVALID_HANDLE. Timeouts run on the host clock.
PLATAPI DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds);

// A named mutex lives as long as a handle of its first creator is open, in
// any process of the machine root; a later CreateMutex of the same name
// gets a handle with the last error ERROR_ALREADY_EXISTS. Ownership is not
// modelled: ReleaseMutex always succeeds on a mutex handle.
PLATAPI HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCSTR name);
PLATAPI HANDLE CreateMutexW(LPSECURITY_ATTRIBUTES security, BOOL initialOwner, LPCWSTR name);
PLATAPI BOOL ReleaseMutex(HANDLE mutex);

PLATAPI HANDLE GetCurrentProcess();
// The process token: its only privilege is SeShutdownPrivilege, disabled at start.
PLATAPI BOOL OpenProcessToken(HANDLE process, DWORD access, PHANDLE token);
PLATAPI BOOL LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, LUID* luid);
PLATAPI BOOL AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES* newState, DWORD length,
                                   TOKEN_PRIVILEGES* previous, PDWORD returnLength);
// EWX_REBOOT with the shutdown privilege enabled: the machine restarts when
// this process ends (the queue of pending file operations runs and the
// spooler lets go of its drivers). Without it: ERROR_PRIVILEGE_NOT_HELD.
PLATAPI BOOL ExitWindowsEx(UINT flags, DWORD reason);

// Opens an INF (read through the profile reader). INVALID_HANDLE_VALUE with
// ERROR_FILE_NOT_FOUND, or ERROR_WRONG_INF_STYLE for a file without [Version].
PLATAPI HINF SetupOpenInfFileW(LPCWSTR fileName, LPCWSTR infClass, DWORD infStyle, PUINT errorLine);
PLATAPI void SetupCloseInfFile(HINF inf);
// [SourceDisksFiles] file = disk id [, sub-folder]: the disk id and the
// sub-folder ("" when none). Size protocol in units with the terminator;
// ERROR_LINE_NOT_FOUND for an unknown file.
PLATAPI BOOL SetupGetSourceFileLocationW(HINF inf, void* context, LPCWSTR fileName, PUINT sourceId,
                                         LPWSTR buffer, DWORD size, LPDWORD required);
// [SourceDisksNames] id = description, tag file, unused, path.
PLATAPI BOOL SetupGetSourceInfoW(HINF inf, UINT sourceId, UINT infoDesired, LPWSTR buffer, DWORD size,
                                 LPDWORD required);
// *actualSourceFileName: a LocalAlloc'ed copy of the name (LocalFree it).
// A file starting with "SZDD" counts as compressed (FILE_COMPRESSION_WINLZA).
// Returns ERROR_SUCCESS or the error code.
PLATAPI DWORD SetupGetFileCompressionInfoW(LPCWSTR sourceFileName, LPWSTR* actualSourceFileName,
                                           PDWORD sourceFileSize, PDWORD targetFileSize, PUINT compressionType);
}

namespace plat::setup {
// Open INF handles, for leak checks.
PLATAPI std::size_t OpenInfCount();
// What a restart does: runs the pending file operations and restarts the spooler.
PLATAPI void Reboot();
// Threads started by the program that still run.
PLATAPI int RunningThreadCount();
}  // namespace plat::setup
