// User paper and setting files on disk: choosing a file, reading and writing
// it whole, and importing and exporting the tables of the dialogs.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "plat/base.h"
#include "sheets/user_file_codec.h"

inline constexpr int kUserFilePathUnits = 260;
// Resource strings of the file dialog: titles and filter names.
inline constexpr UINT kOpenFileTitle = 816, kSaveFileTitle = 817;
inline constexpr UINT kPaperFileFilter = 822, kSettingFileFilter = 823;

// The file dialog: open (FILEMUSTEXIST) or save (OVERWRITEPROMPT), paper or
// setting files. 1 with the chosen path in path (260 units), 0 when cancelled.
int SelectUserFile(HMODULE module, HWND owner, bool open, bool settingFile, WCHAR* path);

// 1 with the file's bytes; 0 for a missing, empty or unreadable file.
int ReadWholeFile(std::vector<std::uint8_t>& out, const WCHAR* path);
// Writes a file beside the target and puts it in the target's place only once
// it is complete: a failed write leaves an existing target as it was. 1 or 0.
int WriteWholeFile(std::span<const std::uint8_t> bytes, const WCHAR* path);

// A name in the system's ANSI code page (old paper files).
bool DecodeAnsiName(std::string_view bytes, std::u16string& out);

// 1 all records read, -1 read with damaged records skipped, 0 nothing read.
// A paper file without an accepted header and block is tried as an old one;
// a setting file must name modelName.
int ImportPaperFile(const WCHAR* path, const WCHAR* modelName, UserPaperTable& table);
int ImportSettingFile(const WCHAR* path, const WCHAR* modelName, FavoriteTable& table);
// 1 when the file was written, 0 when it could not be built or written.
int ExportPaperFile(const WCHAR* path, const WCHAR* modelName, const UserPaperTable& table);
int ExportSettingFile(const WCHAR* path, const WCHAR* modelName, const FavoriteTable& table);
