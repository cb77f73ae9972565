// The shell's folders, folder copies and links: SHGetFolderPathW,
// SHFileOperationW (FO_COPY) and the shell link object (IShellLinkW,
// IPersistFile; the COM basics are in plat/com.h). A link file
// (".lnk") is our own small text format: a first line "NEVOLNK 1" and a
// line "target<TAB>path" in UTF-8.
#pragma once

#include <string>

#include "plat/base.h"
#include "plat/com.h"
#include "plat/files.h"

// The link's target and the file it lives in; only the calls in use.
constexpr DWORD SLGP_SHORTPATH = 0x1;
constexpr DWORD SLGP_UNCPRIORITY = 0x2;
constexpr DWORD SLGP_RAWPATH = 0x4;
struct IShellLinkW : IUnknown {
  // The target as set, cut to cch units with its terminator; S_FALSE and ""
  // for a link without a target.
  virtual HRESULT STDMETHODCALLTYPE GetPath(LPWSTR file, INT cch, WIN32_FIND_DATAW* data, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR file) = 0;

 protected:
  ~IShellLinkW() = default;
};
constexpr DWORD STGM_READ = 0x0;
struct IPersistFile : IUnknown {
  // Reads a link file: HRESULT_FROM_WIN32 of the file error, E_FAIL for a
  // file that is not a link of ours.
  virtual HRESULT STDMETHODCALLTYPE Load(LPCOLESTR fileName, DWORD mode) = 0;
  // Writes the link file (replacing it): HRESULT_FROM_WIN32 of the file error.
  virtual HRESULT STDMETHODCALLTYPE Save(LPCOLESTR fileName, BOOL remember) = 0;

 protected:
  ~IPersistFile() = default;
};

extern "C" {
PLATAPI extern const IID IID_IShellLinkW;
PLATAPI extern const IID IID_IPersistFile;
PLATAPI extern const CLSID CLSID_ShellLink;
}

// ---- folders ----
constexpr INT CSIDL_PROGRAMS = 0x0002;
constexpr INT CSIDL_COMMON_PROGRAMS = 0x0017;
constexpr INT CSIDL_PROGRAM_FILES = 0x0026;
constexpr INT CSIDL_FLAG_CREATE = 0x8000;
constexpr DWORD SHGFP_TYPE_CURRENT = 0;

// ---- file operations ----
constexpr UINT FO_MOVE = 0x0001;
constexpr UINT FO_COPY = 0x0002;
constexpr UINT FO_DELETE = 0x0003;
constexpr UINT FO_RENAME = 0x0004;
using FILEOP_FLAGS = WORD;
constexpr FILEOP_FLAGS FOF_SILENT = 0x0004;
constexpr FILEOP_FLAGS FOF_NOCONFIRMATION = 0x0010;
constexpr FILEOP_FLAGS FOF_NOCONFIRMMKDIR = 0x0200;
struct SHFILEOPSTRUCTW {
  HWND hwnd;
  UINT wFunc;
  LPCWSTR pFrom;  // names, each ended by a zero, the list by a second zero
  LPCWSTR pTo;
  FILEOP_FLAGS fFlags;
  BOOL fAnyOperationsAborted;
  LPVOID hNameMappings;
  LPCWSTR lpszProgressTitle;
};
using LPSHFILEOPSTRUCTW = SHFILEOPSTRUCTW*;

extern "C" {
// The folder's path without a trailing backslash into path (MAX_PATH units).
// CSIDL_PROGRAM_FILES: "C:\Program Files"; CSIDL_COMMON_PROGRAMS: the
// all-users Start menu's programs ("Documents and Settings\All Users\Start
// Menu\Programs" on drive C before 6.0, "ProgramData\Microsoft\Windows\Start
// Menu\Programs" from 6.0); CSIDL_PROGRAMS the user's. E_FAIL (path still
// written) when the folder does not exist, unless CSIDL_FLAG_CREATE makes
// it; E_INVALIDARG for other folders.
PLATAPI HRESULT SHGetFolderPathW(HWND owner, INT folder, HANDLE token, DWORD flags, LPWSTR path);
// FO_COPY only: every source (a file, or a folder with all it holds) goes
// into the destination folder under its own name, the destination made
// when missing, existing files replaced. 0, or the Win32 error of the first
// step that failed (the remaining sources are not copied).
PLATAPI INT SHFileOperationW(LPSHFILEOPSTRUCTW operation);
}

namespace plat::shell {
// The shell link class cannot be created (REGDB_E_CLASSNOTREG) while set.
PLATAPI void SetShellLinkAvailable(bool available);
// The target stored in a link file, "" when it is no link of ours.
PLATAPI std::u16string LinkTarget(std::u16string_view linkPath);
}  // namespace plat::shell
