// CopyFileW, MoveFileExW and the queue of operations that wait for a restart.
#include <sys/stat.h>

#include <cstdio>
#include <vector>

#include "machine_state.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/strings.h"

namespace {
constexpr const char* kPendingFile = "pending-file-operations";

bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

bool OnCdrom(std::u16string_view path) {
  if (path.size() < 2 || path[1] != u':') return false;
  const WCHAR root[] = {path[0], u':', u'\\', 0};
  return GetDriveTypeW(root) == DRIVE_CDROM;
}

// One operation a line: from TAB to (to empty for a deletion), UTF-8.
std::vector<plat::files::PendingOperation> ParseQueue(const std::string& text) {
  std::vector<plat::files::PendingOperation> ops;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    ops.push_back({plat::u16(line.substr(0, tab)), plat::u16(line.substr(tab + 1))});
  }
  return ops;
}

bool ReadAll(HANDLE f, std::vector<BYTE>& data) {
  BYTE chunk[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(f, chunk, sizeof chunk, &got, nullptr)) return false;
    if (got == 0) return true;
    data.insert(data.end(), chunk, chunk + got);
  }
}
}  // namespace

extern "C" {

BOOL CopyFileW(LPCWSTR existing, LPCWSTR target, BOOL failIfExists) {
  if (!existing || !target) return Fail(ERROR_INVALID_PARAMETER);
  DWORD attrs = GetFileAttributesW(existing);
  if (attrs == INVALID_FILE_ATTRIBUTES) return FALSE;
  if (attrs & FILE_ATTRIBUTE_DIRECTORY) return Fail(ERROR_ACCESS_DENIED);
  if (OnCdrom(plat::view(existing))) attrs |= FILE_ATTRIBUTE_READONLY;
  HANDLE in = CreateFileW(existing, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return FALSE;
  std::vector<BYTE> data;
  const bool read = ReadAll(in, data);
  const DWORD readError = GetLastError();
  CloseHandle(in);
  if (!read) return Fail(readError);
  HANDLE out = CreateFileW(target, GENERIC_WRITE, 0, nullptr, failIfExists ? CREATE_NEW : CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return FALSE;
  DWORD written = 0;
  const BOOL ok = data.empty() || (WriteFile(out, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
                                   written == data.size());
  const DWORD writeError = ok ? 0 : (GetLastError() ? GetLastError() : ERROR_WRITE_FAULT);
  CloseHandle(out);
  if (!ok) {
    DeleteFileW(target);
    return Fail(writeError);
  }
  const std::string from = plat::machine::HostPath(plat::view(existing));
  const std::string to = plat::machine::HostPath(plat::view(target));
  struct stat st {};
  if (::stat(from.c_str(), &st) == 0) ::chmod(to.c_str(), (st.st_mode & 0777) | S_IWUSR);
  SetFileAttributesW(target, attrs & ~FILE_ATTRIBUTE_NORMAL ? attrs : FILE_ATTRIBUTE_NORMAL);
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existing, LPCWSTR target, DWORD flags) {
  if (!existing) return Fail(ERROR_INVALID_PARAMETER);
  if (flags & MOVEFILE_DELAY_UNTIL_REBOOT) {
    const std::u16string to = target ? std::u16string(plat::view(target)) : std::u16string();
    if (plat::utf8(existing).find_first_of("\t\n") != std::string::npos ||
        plat::utf8(to).find_first_of("\t\n") != std::string::npos)
      return Fail(ERROR_INVALID_NAME);
    const bool stored = plat::state::Update(kPendingFile, [&](std::string& text) {
      text += plat::utf8(existing) + "\t" + plat::utf8(to) + "\n";
    });
    return stored ? TRUE : Fail(ERROR_ACCESS_DENIED);
  }
  if (!target) return DeleteFileW(existing);
  std::string from, to;
  if (!plat::machine::HostPath(plat::view(existing), from) || !plat::machine::HostPath(plat::view(target), to))
    return FALSE;
  struct stat st {};
  if (::stat(from.c_str(), &st) != 0) return Fail(ERROR_FILE_NOT_FOUND);
  if (::stat(to.c_str(), &st) == 0) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    if (GetFileAttributesW(target) & FILE_ATTRIBUTE_READONLY) return Fail(ERROR_ACCESS_DENIED);
  }
  if (std::rename(from.c_str(), to.c_str()) != 0) return Fail(ERROR_ACCESS_DENIED);
  return TRUE;
}
}

namespace plat::files {
std::vector<PendingOperation> PendingOperations() { return ParseQueue(plat::state::Read(kPendingFile)); }

void RunPendingOperations() {
  std::vector<PendingOperation> ops;
  plat::state::Update(kPendingFile, [&](std::string& text) {
    ops = ParseQueue(text);
    text.clear();
  });
  for (const auto& op : ops) {
    if (op.to.empty()) {
      const DWORD attrs = GetFileAttributesW(op.from.c_str());
      if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) {
        RemoveDirectoryW(op.from.c_str());  // only an empty folder goes
        continue;
      }
      SetFileAttributesW(op.from.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(op.from.c_str());
    } else {
      MoveFileExW(op.from.c_str(), op.to.c_str(), MOVEFILE_REPLACE_EXISTING);
    }
  }
}
}  // namespace plat::files
