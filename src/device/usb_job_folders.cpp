#include "device/usb_job_folders.h"

#include <algorithm>
#include <cstring>

#include "plat/codepage.h"
#include "plat/dialog.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "settings/byte_order.h"
#include "settings/show_message.h"

namespace {

constexpr std::size_t kDriveListMax = 259;

std::u16string Join(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  path += u'\\';
  path += name;
  return path;
}

// Opens and closes at once; false when the path cannot be opened.
bool CanOpen(const std::u16string& path, DWORD flags) {
  HANDLE h = CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

bool CreateFolderAcceptingExisting(const std::u16string& path) {
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

void MarkHidden(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(path.c_str(), attributes | FILE_ATTRIBUTE_HIDDEN);
}

// Creates a control file that does not exist yet and writes its image. An
// existing file is left alone (1). A new file that cannot be written whole
// is deleted again, so no truncated control file stays behind (0).
template <typename Writer>
int CreateControlFile(const std::u16string& path, Writer write) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? 1 : 0;
  }
  const bool written = write(h) != 0;
  const DWORD error = written ? ERROR_SUCCESS : GetLastError();
  const bool closed = CloseHandle(h) != FALSE;
  if (written && closed) return 1;
  DeleteFileW(path.c_str());
  SetLastError(error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT);
  return 0;
}

int WriteImage(HANDLE file, const BYTE* image, DWORD size) {
  DWORD done = 0;
  if (!WriteFile(file, image, size, &done, nullptr)) return 0;
  if (done != size) {
    SetLastError(ERROR_WRITE_FAULT);
    return 0;
  }
  return 1;
}

std::u16string DefaultFolderName(int number) {
  WCHAR text[16];
  wsprintfW(text, u"%u_FOLDER", static_cast<UINT>(number));
  return text;
}

// A folder name from its ANSI field, never reading past the field.
std::u16string FolderNameFromRecord(const JobFolderRecord& record) {
  const char* end = std::find(record.name, record.name + kJobFolderNameBytes, '\0');
  const auto length = static_cast<std::size_t>(end - record.name);
  if (length == 0) return {};
  std::u16string wide(length, u'\0');
  const int n =
      MultiByteToWideChar(CP_ACP, 0, record.name, static_cast<int>(length), wide.data(), static_cast<int>(wide.size()));
  wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  return wide;
}

std::u16string ComboText(HWND dialog, int id, int index) {
  const LRESULT length = SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  const LRESULT n =
      SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(n > 0 ? static_cast<std::size_t>(std::min<LRESULT>(n, length)) : 0);
  return text;
}

void EnableItem(HWND dialog, int id, BOOL enable) {
  if (HWND item = GetDlgItem(dialog, id)) EnableWindow(item, enable);
}

std::u16string DriveRootOf(std::u16string_view item) { return std::u16string(item.substr(0, 3)); }

}  // namespace

std::u16string JobTreeBase(std::u16string_view driveRoot) {
  std::u16string base(driveRoot);
  base += kJobTopFolder;
  return Join(base, kJobRootFolder);
}

std::u16string JobTreeControlFolder(std::u16string_view driveRoot) {
  return Join(JobTreeBase(driveRoot), kJobControlFolder);
}

std::vector<std::u16string> ListRemovableFatDrives() {
  std::vector<std::u16string> roots;
  std::u16string strings(128, u'\0');
  DWORD n = GetLogicalDriveStringsW(static_cast<DWORD>(strings.size()), strings.data());
  if (n >= strings.size()) {
    strings.assign(n + 1, u'\0');
    n = GetLogicalDriveStringsW(static_cast<DWORD>(strings.size()), strings.data());
    if (n >= strings.size()) return roots;
  }
  strings.resize(n);
  std::size_t at = 0;
  while (at < strings.size()) {
    const std::size_t end = std::min(strings.find(u'\0', at), strings.size());
    const std::u16string root = strings.substr(at, end - at);
    at = end + 1;
    if (root.empty()) continue;
    const char16_t letter = root[0];
    if (letter == u'A' || letter == u'a' || letter == u'B' || letter == u'b') continue;
    if (GetDriveTypeW(root.c_str()) != DRIVE_REMOVABLE) continue;
    WCHAR fileSystem[MAX_PATH + 1] = {};
    if (!GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, fileSystem, MAX_PATH + 1)) {
      continue;
    }
    const std::u16string_view fs(fileSystem);
    if (fs == u"FAT" || fs == u"FAT32") roots.push_back(root);
  }
  return roots;
}

int FindUsbDrives(HWND dialog, BOOL fill, std::u16string* list) {
  const bool filling = fill && dialog != nullptr;
  if (filling) {
    SetDlgItemTextW(dialog, kUsbVolumeText, u"");
    EnableItem(dialog, kUsbFolderLabel, FALSE);
    EnableItem(dialog, kUsbFolderCombo, FALSE);
    EnableItem(dialog, kUsbOkButton, FALSE);
    SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_RESETCONTENT, 0, 0);
    SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_RESETCONTENT, 0, 0);
  }
  if (list) list->clear();
  int count = 0;
  for (const std::u16string& root : ListRemovableFatDrives()) {
    if (count == 255) break;
    // A root that no longer fits the list is left out of both, so the list
    // and the count always agree.
    if (list) {
      const std::size_t needed = list->size() + (list->empty() ? 0 : 1) + root.size();
      if (needed > kDriveListMax) break;
      if (!list->empty()) *list += u',';
      *list += root;
    }
    if (filling) SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root.c_str()));
    ++count;
  }
  return count;
}

int CheckJobFolderTree(LPCWSTR driveRoot, BOOL rehide) {
  if (driveRoot == nullptr || driveRoot[0] == 0) return 0;
  std::u16string top(driveRoot);
  top += kJobTopFolder;
  if (!CanOpen(top, FILE_FLAG_BACKUP_SEMANTICS)) return 0;
  const std::u16string base = Join(top, kJobRootFolder);
  if (!CanOpen(base, FILE_FLAG_BACKUP_SEMANTICS)) return 0;
  if (rehide) MarkHidden(base);
  for (const char16_t* folder : kJobTreeFolders) {
    if (!CanOpen(Join(base, folder), FILE_FLAG_BACKUP_SEMANTICS)) return 0;
  }
  const std::u16string control = Join(base, kJobControlFolder);
  if (!CanOpen(Join(control, kJobFolderFileName), FILE_ATTRIBUTE_NORMAL)) return 0;
  if (!CanOpen(Join(control, kJobCounterFileName), FILE_ATTRIBUTE_NORMAL)) return 0;
  return 1;
}

int CreateJobFolderTree(LPCWSTR driveRoot) {
  if (driveRoot == nullptr || driveRoot[0] == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string top(driveRoot);
  top += kJobTopFolder;
  if (!CreateFolderAcceptingExisting(top)) return 0;
  const std::u16string base = Join(top, kJobRootFolder);
  if (!CreateDirectoryExW(top.c_str(), base.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
  MarkHidden(base);
  for (const char16_t* folder : kJobTreeFolders) {
    const std::u16string path = Join(base, folder);
    if (!CreateFolderAcceptingExisting(path)) return 0;
    if (std::u16string_view(folder) != kJobControlFolder) continue;
    if (!CreateControlFile(Join(path, kJobFolderFileName), [](HANDLE h) { return WriteJobFolderFile(h); })) return 0;
    if (!CreateControlFile(Join(path, kJobCounterFileName), [](HANDLE h) { return WriteJobCounterFile(h, 1); })) {
      return 0;
    }
  }
  return 1;
}

int ReadJobFolderFile(LPCWSTR controlFolder, std::span<JobFolderRecord, kJobFolderCount> records) {
  if (controlFolder == nullptr) return 0;
  const std::u16string path = Join(controlFolder, kJobFolderFileName);
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int ok = 1;
  for (int i = 0; i < kJobFolderCount && ok; ++i) {
    BYTE raw[sizeof(JobFolderRecord)];
    DWORD done = 0;
    if (!ReadFile(h, raw, sizeof raw, &done, nullptr) || done != sizeof raw) {
      ok = 0;
      break;
    }
    JobFolderRecord& record = records[static_cast<std::size_t>(i)];
    record.number = GetLe32(raw);
    std::memcpy(record.name, raw + 4, kJobFolderNameBytes);
    // A name that fills its whole field is cut so that it stays a string.
    record.name[kJobFolderNameBytes - 1] = 0;
    if (record.number != static_cast<std::uint32_t>(i + 1)) ok = 0;
  }
  CloseHandle(h);
  return ok;
}

std::array<BYTE, kJobFolderFileSize> DefaultJobFolderFileImage() {
  std::array<BYTE, kJobFolderFileSize> image{};
  for (int i = 0; i < kJobFolderCount; ++i) {
    BYTE* record = image.data() + static_cast<std::size_t>(i) * sizeof(JobFolderRecord);
    PutLe32(record, static_cast<std::uint32_t>(i + 1));
    char name[16];
    wsprintfA(name, "%u_FOLDER", static_cast<UINT>(i + 1));
    std::memcpy(record + 4, name, std::strlen(name));
  }
  return image;
}

std::array<BYTE, kJobCounterFileSize> JobCounterFileImage(std::uint32_t value) {
  std::array<BYTE, kJobCounterFileSize> image{};
  PutLe32(image.data(), value);
  return image;
}

int WriteJobFolderFile(HANDLE file) {
  const auto image = DefaultJobFolderFileImage();
  return WriteImage(file, image.data(), static_cast<DWORD>(image.size()));
}

int WriteJobCounterFile(HANDLE file, DWORD value) {
  const auto image = JobCounterFileImage(value);
  return WriteImage(file, image.data(), static_cast<DWORD>(image.size()));
}

int FillJobFolderNames(HWND dialog, LPCWSTR driveRoot) {
  std::array<JobFolderRecord, kJobFolderCount> records{};
  const std::u16string control = JobTreeControlFolder(plat::view(driveRoot));
  const int read = driveRoot != nullptr ? ReadJobFolderFile(control.c_str(), records) : 0;
  // Filled afresh, so a second call never shows the names twice.
  SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_RESETCONTENT, 0, 0);
  for (int i = 0; i < kJobFolderCount; ++i) {
    const std::u16string name =
        read ? FolderNameFromRecord(records[static_cast<std::size_t>(i)]) : DefaultFolderName(i + 1);
    SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_SETCURSEL, 0, 0);
  EnableItem(dialog, kUsbFolderCombo, TRUE);
  EnableItem(dialog, kUsbFolderLabel, TRUE);
  return read;
}

int PrepareUsbJobFolder(HWND dialog, HMODULE resources, BOOL noNames, BOOL dialogMode, LPCWSTR wantedDrive,
                        int wantedFolder) {
  const bool inDialog = dialogMode && dialog != nullptr;
  std::u16string list;
  if (FindUsbDrives(dialog, inDialog ? TRUE : FALSE, &list) == 0) {
    ShowMessage(resources, dialog, kUsbMessageCaption, kUsbNoDriveText, MB_ICONWARNING);
    return 0;
  }

  std::vector<std::u16string> drives;
  for (std::size_t at = 0; at <= list.size();) {
    const std::size_t end = std::min(list.find(u',', at), list.size());
    drives.push_back(DriveRootOf(std::u16string_view(list).substr(at, end - at)));
    at = end + 1;
  }
  int withTree = 0;
  std::u16string firstWithTree;
  for (const std::u16string& root : drives) {
    if (!CheckJobFolderTree(root.c_str(), TRUE)) continue;
    if (withTree++ == 0) firstWithTree = root;
  }

  if (inDialog) {
    const LRESULT wanted = wantedDrive != nullptr && wantedDrive[0] != 0
                               ? SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_FINDSTRINGEXACT,
                                                     static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(wantedDrive))
                               : CB_ERR;
    if (wanted != CB_ERR) {
      SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_SETCURSEL, static_cast<WPARAM>(wanted), 0);
      const std::u16string root = DriveRootOf(ComboText(dialog, kUsbDriveCombo, static_cast<int>(wanted)));
      if (!CheckJobFolderTree(root.c_str(), TRUE)) return 0;
      if (!noNames) {
        FillJobFolderNames(dialog, root.c_str());
        if (wantedFolder >= 1 && wantedFolder <= kJobFolderCount) {
          SendDlgItemMessageW(dialog, kUsbFolderCombo, CB_SETCURSEL, static_cast<WPARAM>(wantedFolder - 1), 0);
        }
      }
      EnableItem(dialog, kUsbOkButton, TRUE);
      return 1;
    }
    if (withTree > 0) {
      const LRESULT index = SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                reinterpret_cast<LPARAM>(firstWithTree.c_str()));
      SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      if (!noNames) FillJobFolderNames(dialog, firstWithTree.c_str());
      EnableItem(dialog, kUsbOkButton, TRUE);
      return 1;
    }
    SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_SETCURSEL, 0, 0);
  }
  if (withTree > 0) return 1;

  const std::u16string root =
      inDialog
          ? DriveRootOf(ComboText(dialog, kUsbDriveCombo,
                                  static_cast<int>(SendDlgItemMessageW(dialog, kUsbDriveCombo, CB_GETCURSEL, 0, 0))))
          : drives.back();
  if (root.empty()) return 0;
  const std::u16string letter = root.substr(0, 1);
  if (ShowMessage(resources, dialog, kUsbMessageCaption, kUsbCreateTreeText, MB_YESNO | MB_ICONWARNING, 1,
                  letter.c_str()) != IDYES) {
    return 0;
  }
  if (!CreateJobFolderTree(root.c_str())) return 0;
  if (inDialog) {
    if (!noNames) FillJobFolderNames(dialog, root.c_str());
    EnableItem(dialog, kUsbOkButton, TRUE);
  }
  return 1;
}
