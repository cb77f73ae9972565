#include "sheets/user_files.h"

#include <algorithm>
#include <iterator>

#include "plat/codepage.h"
#include "plat/commdlg.h"
#include "plat/files.h"
#include "plat/resources.h"
#include "plat/strings.h"

namespace {

constexpr char16_t kTempSuffix[] = u".~new";

int ImportResult(std::size_t count, bool damaged) {
  if (count == 0) return 0;
  return damaged ? -1 : 1;
}

}  // namespace

int SelectUserFile(HMODULE module, HWND owner, bool open, bool settingFile, WCHAR* path) {
  const std::u16string_view pattern = settingFile ? u"*.uds" : u"*.udp";
  WCHAR name[256] = {};
  LoadStringW(module, settingFile ? kSettingFileFilter : kPaperFileFilter, name, 256);
  WCHAR title[256] = {};
  LoadStringW(module, open ? kOpenFileTitle : kSaveFileTitle, title, 256);
  // name NUL pattern NUL NUL
  std::u16string filter(plat::view(name));
  filter += u'\0';
  filter += pattern;
  filter += u'\0';
  filter += u'\0';
  std::fill_n(path, kUserFilePathUnits, WCHAR{0});
  std::copy(pattern.begin(), pattern.end(), path);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.hInstance = module;
  ofn.lpstrFilter = filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = kUserFilePathUnits;
  ofn.lpstrTitle = title;
  ofn.lpstrDefExt = settingFile ? u"uds" : u"udp";
  ofn.Flags = open ? OFN_EXPLORER | OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_READONLY
                   : OFN_EXPLORER | OFN_LONGNAMES | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
  const BOOL chosen = open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
  return chosen ? 1 : 0;
}

int ReadWholeFile(std::vector<std::uint8_t>& out, const WCHAR* path) {
  out.clear();
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  const DWORD size = GetFileSize(file, &high);
  bool ok = size != INVALID_FILE_SIZE && size != 0 && high == 0;
  if (ok) {
    out.resize(size);
    DWORD done = 0;
    ok = ReadFile(file, out.data(), size, &done, nullptr) && done == size;
  }
  CloseHandle(file);
  if (!ok) out.clear();
  return ok ? 1 : 0;
}

int WriteWholeFile(std::span<const std::uint8_t> bytes, const WCHAR* path) {
  if (!path || bytes.size() > 0xFFFFFFFFu) return 0;
  const std::u16string temp = std::u16string(plat::view(path)) + kTempSuffix;
  HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  DWORD done = 0;
  const auto size = static_cast<DWORD>(bytes.size());
  bool ok = WriteFile(file, bytes.data(), size, &done, nullptr) && done == size;
  ok = FlushFileBuffers(file) && ok;
  CloseHandle(file);
  ok = ok && MoveFileExW(temp.c_str(), path, MOVEFILE_REPLACE_EXISTING);
  if (!ok) DeleteFileW(temp.c_str());
  return ok ? 1 : 0;
}

bool DecodeAnsiName(std::string_view bytes, std::u16string& out) {
  out.clear();
  if (bytes.empty()) return true;
  const int n = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                    nullptr, 0);
  if (n <= 0) return false;
  out.resize(static_cast<std::size_t>(n));
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), out.data(),
                             n) == n;
}

int ImportPaperFile(const WCHAR* path, const WCHAR* modelName, UserPaperTable& table) {
  table = UserPaperTable{};
  std::vector<std::uint8_t> file;
  if (!ReadWholeFile(file, path)) return 0;
  bool damaged = false;
  const std::size_t at = ReadUserFileHeader(file, modelName, UserFileKind::Paper);
  if (at != 0 && ReadUdpRecords(std::span(file).subspan(at), table, &damaged)) {
    return ImportResult(table.Count, damaged);
  }
  damaged = false;
  if (ReadOldUdpRecords(file, table, &damaged, DecodeAnsiName)) return ImportResult(table.Count, damaged);
  return 0;
}

int ImportSettingFile(const WCHAR* path, const WCHAR* modelName, FavoriteTable& table) {
  table.Count = 0;
  std::vector<std::uint8_t> file;
  if (!ReadWholeFile(file, path)) return 0;
  const std::size_t at = ReadUserFileHeader(file, modelName, UserFileKind::Setting);
  bool damaged = false;
  if (at == 0 || !ReadUdsRecords(std::span(file).subspan(at), table, &damaged)) return 0;
  return ImportResult(table.Count, damaged);
}

int ExportPaperFile(const WCHAR* path, const WCHAR* modelName, const UserPaperTable& table) {
  std::vector<std::uint8_t> file;
  if (!WriteUserFileHeader(file, modelName, UserFileKind::Paper) || !WriteUdpRecords(file, table)) return 0;
  return WriteWholeFile(file, path);
}

int ExportSettingFile(const WCHAR* path, const WCHAR* modelName, const FavoriteTable& table) {
  std::vector<std::uint8_t> file;
  if (!WriteUserFileHeader(file, modelName, UserFileKind::Setting) || !WriteUdsRecords(file, table)) return 0;
  return WriteWholeFile(file, path);
}
