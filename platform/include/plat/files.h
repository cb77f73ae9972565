// Files and folders addressed by Windows paths through the machine model,
// with share modes held across processes, attributes, and fault injection
// for tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD GENERIC_EXECUTE = 0x20000000;
constexpr DWORD GENERIC_ALL = 0x10000000;
constexpr DWORD DELETE = 0x00010000;

constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;
constexpr DWORD FILE_SHARE_DELETE = 0x00000004;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x00000002;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x00000004;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x00000020;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD FILE_ATTRIBUTE_TEMPORARY = 0x00000100;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
constexpr DWORD FILE_FLAG_RANDOM_ACCESS = 0x10000000;
constexpr DWORD FILE_FLAG_SEQUENTIAL_SCAN = 0x08000000;
constexpr DWORD FILE_FLAG_BACKUP_SEMANTICS = 0x02000000;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

struct SECURITY_ATTRIBUTES {
  DWORD nLength;
  LPVOID lpSecurityDescriptor;
  BOOL bInheritHandle;
};
using LPSECURITY_ATTRIBUTES = SECURITY_ATTRIBUTES*;
struct OVERLAPPED;  // asynchronous I/O is not offered: pass nullptr
using LPOVERLAPPED = OVERLAPPED*;

struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
struct WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAW) == 592);
using LPWIN32_FIND_DATAW = WIN32_FIND_DATAW*;

extern "C" {
// Opens or creates a file (or, with FILE_FLAG_BACKUP_SEMANTICS, opens a
// folder). Share modes are checked against every other open of the same
// file in this and other processes: ERROR_SHARING_VIOLATION. An open that
// asks for neither read, write nor delete access takes part in no sharing
// check. Errors: ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_FILE_EXISTS
// (CREATE_NEW), ERROR_ACCESS_DENIED (writing a read-only file, opening a
// folder as a file). CREATE_ALWAYS / OPEN_ALWAYS on an existing file succeed
// with the last error ERROR_ALREADY_EXISTS, else 0. New files get the
// READONLY, HIDDEN, SYSTEM attributes asked for, plus ARCHIVE.
PLATAPI HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                           DWORD disposition, DWORD flagsAndAttributes, HANDLE templateFile);
// *done receives the bytes moved (0 at the end of the file for a read).
PLATAPI BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
PLATAPI BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped);
// Returns the new low 32 bits of the position (high in *high when given),
// or INVALID_SET_FILE_POINTER with the last error (ERROR_NEGATIVE_SEEK).
PLATAPI DWORD SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method);
PLATAPI DWORD GetFileSize(HANDLE file, LPDWORD high);
PLATAPI BOOL SetEndOfFile(HANDLE file);
PLATAPI BOOL FlushFileBuffers(HANDLE file);

// ERROR_ALREADY_EXISTS for an existing file or folder, ERROR_PATH_NOT_FOUND
// for a missing parent. The Ex form copies the template folder's attributes.
PLATAPI BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
PLATAPI BOOL CreateDirectoryExW(LPCWSTR templateFolder, LPCWSTR path, LPSECURITY_ATTRIBUTES security);
// ERROR_DIR_NOT_EMPTY for a folder that still holds entries.
PLATAPI BOOL RemoveDirectoryW(LPCWSTR path);
// FILE_ATTRIBUTE_* of a file or folder (NORMAL when none is set), or
// INVALID_FILE_ATTRIBUTES with ERROR_FILE_NOT_FOUND / ERROR_PATH_NOT_FOUND.
PLATAPI DWORD GetFileAttributesW(LPCWSTR path);
// Keeps READONLY, HIDDEN, SYSTEM, ARCHIVE; NORMAL alone clears them.
PLATAPI BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes);
// ERROR_ACCESS_DENIED for a read-only file or a folder, ERROR_SHARING_VIOLATION
// while it is open without FILE_SHARE_DELETE.
PLATAPI BOOL DeleteFileW(LPCWSTR path);

// Folder enumeration with '*' and '?' wildcards in the last component,
// matched without case; "." and ".." are listed for folders other than a
// drive root. ERROR_FILE_NOT_FOUND when nothing matches; FindNextFileW ends
// with ERROR_NO_MORE_FILES.
PLATAPI HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
PLATAPI BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
PLATAPI BOOL FindClose(HANDLE find);

// Copies the contents, the attributes and the host's execute bits (a copied
// program still runs). Files on a CD-ROM drive read as read-only, and so do
// their copies. failIfExists: ERROR_FILE_EXISTS for an existing target;
// a read-only target fails with ERROR_ACCESS_DENIED.
PLATAPI BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists);
constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x00000001;
constexpr DWORD MOVEFILE_COPY_ALLOWED = 0x00000002;
constexpr DWORD MOVEFILE_DELAY_UNTIL_REBOOT = 0x00000004;
// Renames at once, or with MOVEFILE_DELAY_UNTIL_REBOOT queues the rename (a
// null target: the deletion) for the next restart of the machine, in order.
PLATAPI BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags);
}

namespace plat::files {
// Makes the next `count` WriteFile calls (on files whose Windows path contains
// `pathContains` without case; empty: every file) fail with `error`, or, when
// shortBytes >= 0, write at most shortBytes bytes, report that count and
// succeed. Faults queue in order; each call consumes from the first rule
// that matches.
struct WriteFault {
  DWORD count = 1;
  std::u16string pathContains;
  DWORD error = ERROR_DISK_FULL;
  LONG shortBytes = -1;
};
PLATAPI void InjectWriteFault(const WriteFault& fault);
PLATAPI void ClearWriteFaults();
// Faults not yet consumed (sum of remaining counts).
PLATAPI DWORD PendingWriteFaults();

// The queue of file operations that wait for a restart, kept in the machine
// root so that every process sees it: each is {from, to}; an empty `to` is
// a deletion.
struct PendingOperation {
  std::u16string from;
  std::u16string to;
};
PLATAPI std::vector<PendingOperation> PendingOperations();
// Runs the queue in order (as a restart does) and empties it; a deletion of
// a folder removes it only when it is empty. Operations that fail are
// dropped, as the system does.
PLATAPI void RunPendingOperations();

// The Windows path a file handle was opened with ("" for other handles).
PLATAPI std::u16string HandlePath(HANDLE file);
}  // namespace plat::files
