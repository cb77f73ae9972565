// Modules: our own shared libraries (loaded with dlopen) and resource
// modules (text files in the format below), with reference counts, exports
// and string tables.
//
// Resource module file format (UTF-8, an optional BOM, LF or CRLF lines):
//
//   RESOURCES 1
//   # a comment: a line whose first character is '#'
//   [STRINGTABLE]
//   800<TAB>5
//   835<TAB>Free size\tline two\nline three
//
// - The first line is exactly "RESOURCES 1" (format version 1).
// - "[NAME]" on a line of its own starts a section. Sections this loader does
//   not know are skipped whole, so that newer files still load.
// - In [STRINGTABLE] each line is a decimal id 0..65535, one TAB and the text
//   up to the end of the line. Escapes in the text: \n (line feed), \r, \t,
//   \\ and \uXXXX (one UTF-16 unit, four hex digits). An id given twice, an
//   unknown escape, invalid UTF-8 or a line without TAB makes the file invalid.
// - [DIALOG id] holds one dialog template, a line each (fields split by TAB):
//     CAPTION<TAB>text            SIZE<TAB>width<TAB>height (dialog units)
//     STYLE<TAB>styles            (WS_CHILD makes a page or child dialog)
//     CONTROL<TAB>id<TAB>class<TAB>x<TAB>y<TAB>width<TAB>height<TAB>styles[<TAB>text]
//   id -1 is a control without id; class is Button, Edit, Static, ComboBox,
//   ListBox, msctls_updown32, msctls_trackbar32 or SysIPAddress32; styles are
//   names (WS_TABSTOP, BS_AUTOCHECKBOX, ES_NUMBER, ...) or numbers joined by
//   '|' (empty: none). Texts take the escapes of the string table.
// - [BITMAP] (24-bit BMP), [ICON] and [CURSOR] (PNG): lines of id, TAB and a
//   file path relative to the module file; a cursor line adds TAB, hot spot
//   x, TAB, y. LoadLibraryW does not open the files; CheckResourceFile does.
// - Blank lines are skipped everywhere.
// An invalid file fails LoadLibraryW with ERROR_BAD_FORMAT;
// plat::resources::CheckResourceFile names the line and the fault.
//
// Which file a module name means:
// 1. "kernel32.dll" and "winspool.drv" (any case, with or without folder)
//    are the platform's own pseudo-modules; they are always loaded and never
//    counted; their exports follow the machine's OS profile.
// 2. A name registered with plat::resources::MapModule (the full name, or else
//    its file name part, without case) is the host file registered for it.
// 3. A host path (starting with '/') is used as it stands.
// 4. A Windows path with a drive ("C:\...") is the file the machine model
//    maps it to, when that file exists.
// 5. Otherwise the file name part is looked up in the search folders, first
//    as it stands, then with ".dll" replaced by ".so".
// A file starting with the ELF magic is loaded with dlopen; a file starting
// with "RESOURCES" is a resource module; anything else is ERROR_BAD_FORMAT.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"

constexpr DWORD LOAD_LIBRARY_AS_DATAFILE = 0x00000002;
constexpr DWORD LOAD_WITH_ALTERED_SEARCH_PATH = 0x00000008;
constexpr DWORD LOAD_LIBRARY_AS_IMAGE_RESOURCE = 0x00000020;

extern "C" {
// Loads the module or adds a reference to it when it is loaded already (the
// same file gives the same handle). NULL with ERROR_MOD_NOT_FOUND (no such
// file) or ERROR_BAD_FORMAT.
PLATAPI HMODULE LoadLibraryW(LPCWSTR fileName);
// The ANSI name in the machine's code page.
PLATAPI HMODULE LoadLibraryA(LPCSTR fileName);
// The flags above change nothing here: resource modules never run code.
PLATAPI HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE reserved, DWORD flags);
// Drops a reference; the module is unloaded at 0. FALSE with
// ERROR_INVALID_HANDLE for a handle that is not loaded.
PLATAPI BOOL FreeLibrary(HMODULE module);
// A loaded module by name (matched like LoadLibraryW, or by file name part
// without case); no reference is added. NULL name: the program's own module.
PLATAPI HMODULE GetModuleHandleW(LPCWSTR moduleName);
// The Windows path of a module (NULL: the program) inside the machine root,
// cut to size - 1 units and terminated; returns the units copied (with
// ERROR_INSUFFICIENT_BUFFER when cut). A program outside the root answers
// plat::ProcessImagePath(); a module outside it: 0 with ERROR_MOD_NOT_FOUND.
PLATAPI DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size);
PLATAPI DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);
// Exports by name; NULL with ERROR_PROC_NOT_FOUND (ordinals are not supported).
PLATAPI FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// String id of the module's string table into buffer, cut to chars - 1 units
// and terminated; returns the units copied. chars 0: *(const WCHAR**)buffer
// receives a read-only pointer to the text (not terminated, valid while the
// module is loaded) and the result is its length. A missing (or empty) string gives 0
// with ERROR_RESOURCE_NAME_NOT_FOUND; a module without strings 0 with
// ERROR_RESOURCE_DATA_NOT_FOUND.
PLATAPI int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int chars);
}

namespace plat::resources {
// Host folders searched for bare module names (in order), replacing earlier ones.
PLATAPI void SetSearchFolders(std::vector<std::string> hostFolders);
// Maps a module name (a bare file name like u"res.dll" or a full Windows path)
// to a host file; an empty hostPath removes the mapping.
PLATAPI void MapModule(std::u16string_view moduleName, std::string hostPath);
// The reference count of a loaded module, 0 when it is not loaded.
// The pseudo-module "kernel32.dll" answers 1.
PLATAPI int RefCount(HMODULE module);
// Modules loaded now (the pseudo-module not counted), for leak checks.
PLATAPI std::size_t LoadedModuleCount();
// Empty when hostPath is a valid resource module whose image files exist,
// else "line N: what is wrong" or "image N: missing file PATH".
PLATAPI std::string CheckResourceFile(const std::string& hostPath);
// Unloads every module and forgets mappings and search folders.
PLATAPI void Reset();
}  // namespace plat::resources

namespace plat {
// What GetModuleFileNameW(NULL) answers for a program outside the machine
// root; tests set it.
PLATAPI void SetProcessImagePath(std::u16string path);
PLATAPI std::u16string ProcessImagePath();
}  // namespace plat
