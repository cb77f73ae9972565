// The host model: drives under a root folder, the Windows and temporary
// folders, the user, the OS version profile and the machine clock.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;
constexpr UINT DRIVE_RAMDISK = 6;

constexpr DWORD VER_PLATFORM_WIN32s = 0;
constexpr DWORD VER_PLATFORM_WIN32_WINDOWS = 1;
constexpr DWORD VER_PLATFORM_WIN32_NT = 2;
constexpr BYTE VER_NT_WORKSTATION = 1;
constexpr BYTE VER_NT_DOMAIN_CONTROLLER = 2;
constexpr BYTE VER_NT_SERVER = 3;

constexpr WORD PROCESSOR_ARCHITECTURE_INTEL = 0;
constexpr WORD PROCESSOR_ARCHITECTURE_IA64 = 6;
constexpr WORD PROCESSOR_ARCHITECTURE_AMD64 = 9;
constexpr WORD PROCESSOR_ARCHITECTURE_UNKNOWN = 0xFFFF;

constexpr DWORD UNLEN = 256;                   // longest user name

struct OSVERSIONINFOW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
};
struct OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
};
// The ANSI form: the service-pack text is 128 bytes of the ANSI code page.
struct OSVERSIONINFOA {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  CHAR szCSDVersion[128];
};
static_assert(sizeof(OSVERSIONINFOA) == 148);
using LPOSVERSIONINFOA = OSVERSIONINFOA*;
static_assert(sizeof(OSVERSIONINFOW) == 276);
static_assert(sizeof(OSVERSIONINFOEXW) == 284);
static_assert(offsetof(OSVERSIONINFOEXW, wServicePackMajor) == 276);
static_assert(offsetof(OSVERSIONINFOEXW, wProductType) == 282);
using LPOSVERSIONINFOW = OSVERSIONINFOW*;
using LPOSVERSIONINFOEXW = OSVERSIONINFOEXW*;

// VerifyVersionInfoW: what to compare, and how.
constexpr DWORD VER_MINORVERSION = 0x0000001;
constexpr DWORD VER_MAJORVERSION = 0x0000002;
constexpr DWORD VER_BUILDNUMBER = 0x0000004;
constexpr DWORD VER_PLATFORMID = 0x0000008;
constexpr DWORD VER_SERVICEPACKMINOR = 0x0000010;
constexpr DWORD VER_SERVICEPACKMAJOR = 0x0000020;
constexpr DWORD VER_PRODUCT_TYPE = 0x0000080;
constexpr BYTE VER_EQUAL = 1;
constexpr BYTE VER_GREATER = 2;
constexpr BYTE VER_GREATER_EQUAL = 3;
constexpr BYTE VER_LESS = 4;
constexpr BYTE VER_LESS_EQUAL = 5;
constexpr DWORD ERROR_OLD_WIN_VERSION = 1150;
using DWORDLONG = std::uint64_t;
using LANGID = WORD;

// The processor word is the low half of the first DWORD (the OEM id).
struct SYSTEM_INFO {
  WORD wProcessorArchitecture;
  WORD wReserved;
  DWORD dwPageSize;
  LPVOID lpMinimumApplicationAddress;
  LPVOID lpMaximumApplicationAddress;
  DWORD_PTR dwActiveProcessorMask;
  DWORD dwNumberOfProcessors;
  DWORD dwProcessorType;
  DWORD dwAllocationGranularity;
  WORD wProcessorLevel;
  WORD wProcessorRevision;
};
using LPSYSTEM_INFO = SYSTEM_INFO*;

extern "C" {
// "C:\\\0D:\\\0\0" for the drives of the table. Returns the units written
// without the final terminator, or, when size is too small, the units needed
// (including it) with nothing written.
PLATAPI DWORD GetLogicalDriveStringsW(DWORD size, LPWSTR buffer);
// Type of the drive of a root such as "E:\" (also "E:" or "e:/"); null means
// the drive of the Windows folder. DRIVE_NO_ROOT_DIR for unknown drives.
PLATAPI UINT GetDriveTypeW(LPCWSTR root);
// Volume label, serial, longest component (255), flags and file-system name.
// Sizes in units including the terminator; a buffer too small fails with
// ERROR_BAD_LENGTH. A drive outside the table: ERROR_PATH_NOT_FOUND.
PLATAPI BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serial,
                                   LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                                   DWORD fileSystemNameSize);
// Folder paths without (Windows) / with (temp) the trailing backslash.
// Return the units written without the terminator, or the units needed
// including it when size is too small. The temp folder is created on demand.
PLATAPI UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size);
PLATAPI DWORD GetTempPathW(DWORD size, LPWSTR buffer);
// *size in units including the terminator, set on success and on
// ERROR_INSUFFICIENT_BUFFER to the size needed.
PLATAPI BOOL GetUserNameW(LPWSTR buffer, LPDWORD size);
// Fills an OSVERSIONINFOW or OSVERSIONINFOEXW chosen by dwOSVersionInfoSize
// (276 or 284; anything else fails with ERROR_INSUFFICIENT_BUFFER).
PLATAPI BOOL GetVersionExW(LPOSVERSIONINFOW info);
// dwOSVersionInfoSize must be 148.
PLATAPI BOOL GetVersionExA(LPOSVERSIONINFOA info);
// Adds the condition of one VER_* field (3 bits per field) to the mask.
PLATAPI DWORDLONG VerSetConditionMask(DWORDLONG conditionMask, DWORD typeMask, BYTE condition);
// TRUE when the running system meets every asked field; the major, minor and
// service-pack fields compare as one version, with the major field's
// condition. A system that does not: FALSE with ERROR_OLD_WIN_VERSION.
PLATAPI BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, DWORDLONG conditionMask);
PLATAPI LANGID GetUserDefaultLangID();
// The Windows folder + "\system32"; size protocol of GetWindowsDirectoryW.
PLATAPI UINT GetSystemDirectoryW(LPWSTR buffer, UINT size);
// The processor seen by this process / the machine's own processor.
PLATAPI void GetSystemInfo(LPSYSTEM_INFO info);
PLATAPI void GetNativeSystemInfo(LPSYSTEM_INFO info);

PLATAPI void GetLocalTime(SYSTEMTIME* time);
PLATAPI void GetSystemTime(SYSTEMTIME* time);
// Milliseconds of machine clock since the model started (wraps at 2^32).
PLATAPI DWORD GetTickCount();
// Advances the machine clock by ms; really waits ms x the sleep scale.
PLATAPI void Sleep(DWORD ms);
}

namespace plat::machine {
// Host folder under which each drive letter is a folder ("C:\x" -> ROOT/C/x).
// Default: $PLAT_ROOT, else a folder in the host's temporary folder, unique
// to the process and removed when it exits. Changing the root drops nothing
// else of the model.
PLATAPI void SetRoot(const std::string& hostFolder);
PLATAPI std::string Root();

// Host path of a Windows path: drive letter in either case, '\' or '/',
// "." and ".." resolved, each existing component matched without case.
// Returns false (with the last error ERROR_PATH_NOT_FOUND / ERROR_INVALID_NAME)
// for a path that is not an absolute drive path or names an unknown drive.
PLATAPI bool HostPath(std::u16string_view windowsPath, std::string& hostPath);
PLATAPI std::string HostPath(std::u16string_view windowsPath);  // "" on failure

struct Drive {
  char16_t letter = u'C';
  UINT type = DRIVE_FIXED;
  std::u16string fileSystem = u"NTFS";
  std::u16string label;
  DWORD serial = 0;
};
// The drive table, kept in letter order. Default: C: fixed NTFS.
PLATAPI void SetDrives(const std::vector<Drive>& drives);
PLATAPI void AddDrive(const Drive& drive);  // replaces a drive with the same letter
PLATAPI void RemoveDrive(char16_t letter);
PLATAPI std::vector<Drive> Drives();

// Defaults: "C:\WINDOWS", "C:\TEMP\" (ends with a backslash), user "user".
PLATAPI void SetWindowsDirectory(std::u16string_view path);
PLATAPI void SetTempPath(std::u16string_view path);
PLATAPI void SetUserName(std::u16string_view name);

// Code pages behind CP_ACP and CP_OEMCP (defaults 1252 and 437).
PLATAPI void SetAnsiCodePage(UINT codePage);
PLATAPI UINT AnsiCodePage();
PLATAPI void SetOemCodePage(UINT codePage);
PLATAPI UINT OemCodePage();

// What the version and system-information calls report. Default: 6.1.7601
// workstation "Service Pack 1", x86-64 machine running this 64-bit process.
struct OsProfile {
  bool versionQueryFails = false;  // GetVersionExW fails (ERROR_NOT_SUPPORTED)
  DWORD major = 6;
  DWORD minor = 1;
  DWORD build = 7601;
  DWORD platformId = VER_PLATFORM_WIN32_NT;
  std::u16string servicePack = u"Service Pack 1";
  WORD servicePackMajor = 1;
  WORD servicePackMinor = 0;
  WORD suiteMask = 0x0100;
  BYTE productType = VER_NT_WORKSTATION;
  WORD nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;   // GetNativeSystemInfo
  WORD processArchitecture = PROCESSOR_ARCHITECTURE_AMD64;  // GetSystemInfo
  bool hasNativeSystemInfo = true;  // "kernel32.dll" exports GetNativeSystemInfo
  DWORD processors = 2;
  LANGID userLangId = 0x0409;       // GetUserDefaultLangID
  DWORD verifyVersionError = 0;     // nonzero: VerifyVersionInfoW fails with it
};
PLATAPI void SetOsProfile(const OsProfile& profile);
PLATAPI OsProfile GetOsProfile();
// The system's own exports that can be looked up by name (for
// GetProcAddress on a system module such as "kernel32.dll"): nullptr when the
// module or the function is absent on the modelled system.
PLATAPI FARPROC SystemProcAddress(std::string_view module, std::string_view function);
// The modules above the machine (the spooler, the device installer) register
// their system exports here: `module` without ".dll", found from Windows
// `sinceMajor` on.
PLATAPI void RegisterSystemProc(std::string_view module, std::string_view function, FARPROC address, DWORD sinceMajor);

// The machine clock. It runs with the host clock from the time set (default:
// the host's local time and UTC). Sleep(ms) advances it by ms and really
// waits ms x scale (scale 0: returns at once). A frozen clock moves only
// through Sleep and Advance. A program takes its scale from PLAT_SLEEP_SCALE
// when that is set.
PLATAPI void SetLocalTime(const SYSTEMTIME& local, int utcOffsetMinutes = 0);
// The default scale is 1, or the number in $PLAT_SLEEP_SCALE.
PLATAPI void SetSleepScale(double scale);
PLATAPI void FreezeClock(bool frozen);
PLATAPI void Advance(DWORD ms);
// Every later read of the time of day moves the clock on by ms afterwards
// (0: off), so that code reading the clock in a loop sees time pass.
PLATAPI void SetReadStep(DWORD ms);

// The Windows path of a host path under the root ("ROOT/C/x" -> "C:\\x"),
// "" for a path outside every drive folder.
PLATAPI std::u16string WindowsPath(const std::string& hostPath);

// A persistent machine root (made by tools/machine) keeps its profile
// (version, architecture, product, language, folders, drives) in
// ROOT/.machine/state/profile; SetRoot and every process started with that
// root take it up. SaveProfile writes the current one there.
PLATAPI bool SaveProfile();

// Back to the defaults above (drives, folders, names, code pages, profile,
// clock); the root folder is kept.
PLATAPI void Reset();
}  // namespace plat::machine
