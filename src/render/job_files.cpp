#include "render/job_files.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/usb_job_folders.h"
#include "plat/codepage.h"
#include "plat/engine.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/registry.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "settings/byte_order.h"

namespace {

constexpr std::size_t kJobFilePathUnits = sizeof(RenderPdev::jobFilePath) / sizeof(char16_t);
constexpr std::size_t kStorageDriveUnits = sizeof(RenderPdev::storageDrive) / sizeof(char16_t);
constexpr std::size_t kDocumentNameUnits = sizeof(RenderPdev::documentName) / sizeof(char16_t);
constexpr std::size_t kDriveListMax = 260;
constexpr DWORD kUserNameUnits = 257;
constexpr std::size_t kUserNameCut = 127;
constexpr char16_t kStorageJobPrefix[] = u"JOB";
constexpr char16_t kJobFileExtension[] = u".PRN";
constexpr std::size_t kJobNumberDigits = 9;

// A fixed field of the record, read only up to its end.
std::u16string FieldText(const char16_t* field, std::size_t units) {
  const char16_t* end = std::find(field, field + units, u'\0');
  return std::u16string(field, end);
}

bool JobFileOpen(const RenderPdev* pdev) {
  return pdev->jobFile != INVALID_HANDLE_VALUE && pdev->jobFile != nullptr;
}

void StorePath(RenderPdev* pdev, const std::u16string& path) {
  std::fill(std::begin(pdev->jobFilePath), std::end(pdev->jobFilePath), u'\0');
  std::copy_n(path.data(), std::min(path.size(), kJobFilePathUnits - 1), pdev->jobFilePath);
}

bool PathFits(const std::u16string& path) { return path.size() < kJobFilePathUnits; }

std::u16string PrinterName(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 4, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_4W)) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 4, buffer.data(), needed, &needed)) return {};
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  return info->pPrinterName ? std::u16string(info->pPrinterName) : std::u16string();
}

// The failed-job record of a job with the given path (which may be empty).
int RecordFailedPath(const RenderPdev* pdev, const std::u16string& path) {
  const std::u16string printer = PrinterName(pdev->printer);
  if (printer.empty()) return 0;
  std::u16string keyName(kFailedJobKeyPrefix);
  keyName += printer;
  keyName += u'\\';
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return 0;
  }
  WCHAR valueName[16];
  wsprintfW(valueName, u"%u", pdev->jobId);
  const auto bytes = static_cast<DWORD>((path.size() + 1) * sizeof(char16_t));
  const LSTATUS status =
      RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()), bytes);
  RegCloseKey(key);
  return status == ERROR_SUCCESS ? 1 : 0;
}

// Marks the job failed and records it, once per job.
void FailJobWithPath(RenderPdev* pdev, const std::u16string& path) {
  if (pdev->jobFailed) return;
  MarkJobFailed(pdev, GetLastError());
  RecordFailedPath(pdev, path);
}

std::u16string JoinRoots(const std::vector<std::u16string>& roots, std::size_t maxUnits, int* count) {
  std::u16string list;
  int n = 0;
  for (const std::u16string& root : roots) {
    const std::size_t needed = list.size() + (list.empty() ? 0 : 1) + root.size();
    if (needed > maxUnits) break;
    if (!list.empty()) list += u',';
    list += root;
    ++n;
  }
  if (count) *count = n;
  return list;
}

// Job number in the counter image, or 0 after a failed read.
bool ReadCounter(HANDLE file, std::uint32_t* value) {
  BYTE raw[4];
  DWORD done = 0;
  if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  if (!ReadFile(file, raw, sizeof raw, &done, nullptr) || done != sizeof raw) return false;
  *value = GetLe32(raw);
  return true;
}

// Rewrites the whole counter file as the 512-byte image of value.
bool RewriteCounter(HANDLE file, DWORD value) {
  return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
         WriteJobCounterFile(file, value) && SetEndOfFile(file);
}

bool FileExists(const std::u16string& path) {
  HANDLE h = CreateFileW(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

// Converts the first `units` units of text; the byte count, or -1.
int Convert(UINT codePage, LPCWSTR text, int units, char* out, int outSize) {
  if (units == 0) return 0;
  if (outSize <= 0) {  // 0 would ask for the size instead of converting
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return -1;
  }
  const int n = WideCharToMultiByte(codePage, 0, text, units, out, outSize, nullptr, nullptr);
  return n > 0 ? n : -1;
}

}  // namespace

JobOutput JobOutputOf(std::uint8_t preview, OutputMode mode) {
  if (preview == 1) return JobOutput::PreviewFile;
  return IsStorageMode(mode) ? JobOutput::StorageFile : JobOutput::Spooler;
}

std::u16string PreviewFilePath(DWORD jobId) {
  WCHAR temp[MAX_PATH] = {};
  const DWORD n = GetTempPathW(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) return {};
  WCHAR name[WSPRINTF_MAX];
  wsprintfW(name, u"%s\\RV%04u.PRN", temp, jobId);
  const std::u16string path(name);
  return PathFits(path) ? path : std::u16string();
}

bool IsStorageJobFileName(std::u16string_view name) {
  const std::u16string_view prefix(kStorageJobPrefix);
  const std::u16string_view extension(kJobFileExtension);
  if (name.size() != prefix.size() + kJobNumberDigits + extension.size()) return false;
  if (!plat::EqualsNoCase(name.substr(0, prefix.size()), prefix) ||
      !plat::EqualsNoCase(name.substr(name.size() - extension.size()), extension))
    return false;
  const std::u16string_view digits = name.substr(prefix.size(), kJobNumberDigits);
  return std::all_of(digits.begin(), digits.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

OutputSink JobFileSink(RenderPdev* pdev) {
  OutputSink sink{};
  sink.context = pdev;
  sink.write = [](void* context, const std::uint8_t* data, std::size_t size) -> std::size_t {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
    return WriteJobFile(static_cast<RenderPdev*>(context), data, piece) ? piece : 0;
  };
  sink.resume = [](void* context) { return ReopenJobFileAtEnd(static_cast<RenderPdev*>(context)); };
  sink.pause = [](void* context) { CloseSpoolFile(static_cast<RenderPdev*>(context), FALSE); };
  return sink;
}

int CreateSpoolTempFile(RenderPdev* pdev) {
  if (pdev->jobFilePath[0] != 0) return 1;
  const std::u16string path = PreviewFilePath(pdev->jobId);
  if (path.empty()) return 0;  // no name: the first sheet fails the job
  StorePath(pdev, path);
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    // The old content could not be dropped; appending to it would corrupt
    // the preview, so the job fails here.
    FailJobWithPath(pdev, path);
    return 0;
  }
  CloseHandle(h);
  return 1;
}

int CreateStorageJobFile(RenderPdev* pdev) {
  if (pdev->jobFilePath[0] != 0) return 1;
  const std::u16string configured = FieldText(pdev->storageDrive, kStorageDriveUnits);
  const int folderNumber = pdev->storageFolder;
  const bool automatic = pdev->outputMode == OutputMode::StorageAutomatic;
  std::u16string root;
  std::u16string folder = automatic ? kJobAutoFolder : kJobTreeFolders[0];
  if (!configured.empty() && (automatic || (folderNumber >= 1 && folderNumber <= kJobFolderCount))) {
    if (!CheckJobFolderTree(configured.c_str(), FALSE)) return 0;
    root = configured;
    if (!automatic) folder = kJobTreeFolders[static_cast<std::size_t>(folderNumber - 1)];
  } else if (!FindStorageDrive(&root)) {
    return 0;
  }

  const std::u16string base = JobTreeBase(root);
  const std::u16string counterFolder = JobTreeControlFolder(root);
  for (;;) {
    DWORD number = 0;
    if (!ReadJobCounterWithRetry(counterFolder.c_str(), &number) || number == 0) return 0;
    WCHAR name[WSPRINTF_MAX];
    wsprintfW(name, u"%s\\%s\\%s%09u%s", base.c_str(), folder.c_str(), kStorageJobPrefix, number, kJobFileExtension);
    const std::u16string path(name);
    if (!PathFits(path)) return 0;
    if (!FileExists(path)) {
      HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        StorePath(pdev, path);
        return 1;
      }
      const DWORD error = GetLastError();
      // Another job took this number between the test and the creation.
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
        FailJobWithPath(pdev, path);
        return 0;
      }
    }
    if (number >= kLastJobNumber) return 0;
  }
}

int OpenSpoolFile(RenderPdev* pdev) {
  if (JobFileOpen(pdev)) CloseHandle(pdev->jobFile);
  pdev->jobFile = INVALID_HANDLE_VALUE;
  const std::u16string path = FieldText(pdev->jobFilePath, kJobFilePathUnits);
  if (path.empty()) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  HANDLE h =
      CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  pdev->jobFile = h;
  return 1;
}

int CloseSpoolFile(RenderPdev* pdev, BOOL testFailure) {
  if (JobFileOpen(pdev)) {
    CloseHandle(pdev->jobFile);
    pdev->jobFile = INVALID_HANDLE_VALUE;
  }
  return testFailure && pdev->jobFailed ? 0 : 1;
}

int RecordFailedJobFile(RenderPdev* pdev) {
  return RecordFailedPath(pdev, FieldText(pdev->jobFilePath, kJobFilePathUnits));
}

void FailJobFile(RenderPdev* pdev) {
  // The job reports why the file failed (a full drive is ERROR_DISK_FULL), not
  // what closing it and recording it left behind.
  const DWORD error = GetLastError();
  if (JobFileOpen(pdev)) CloseHandle(pdev->jobFile);
  pdev->jobFile = INVALID_HANDLE_VALUE;
  if (!pdev->jobFailed) {
    MarkJobFailed(pdev, error);
    RecordFailedJobFile(pdev);
    // What was written cannot be printed in order: no half job is left under
    // the job's name for the duplicator or the preview to take. The record
    // keeps the path for the warning.
    const std::u16string path = FieldText(pdev->jobFilePath, kJobFilePathUnits);
    if (!path.empty()) DeleteFileW(path.c_str());
  }
  SetLastError(JobError(pdev, ERROR_WRITE_FAULT));
}

int ReopenJobFileAtEnd(RenderPdev* pdev) {
  if (pdev->jobFailed) return 0;
  if (!OpenSpoolFile(pdev) || SetFilePointer(pdev->jobFile, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER) {
    FailJobFile(pdev);
    return 0;
  }
  return 1;
}

int WriteJobFile(RenderPdev* pdev, const BYTE* data, DWORD size) {
  if (!JobFileOpen(pdev) || pdev->jobFailed) {
    if (!JobFileOpen(pdev)) SetLastError(ERROR_INVALID_HANDLE);
    FailJobFile(pdev);
    return 0;
  }
  while (size > 0) {
    DWORD done = 0;
    // No progress is a failure too, so a full drive cannot loop forever.
    const BOOL written = WriteFile(pdev->jobFile, data, size, &done, nullptr);
    if (!written || done == 0 || done > size) {
      if (written) SetLastError(done == 0 ? ERROR_DISK_FULL : ERROR_WRITE_FAULT);  // the drive took nothing
      FailJobFile(pdev);
      return 0;
    }
    data += done;
    size -= done;
  }
  return 1;
}

int NextStorageJobNumber(LPCWSTR counterFolder, DWORD* number) {
  if (counterFolder == nullptr || number == nullptr) return 0;
  std::u16string path(counterFolder);
  path += u'\\';
  path += kJobCounterFileName;
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  int result = 0;
  DWORD high = 0;
  const DWORD size = GetFileSize(h, &high);
  std::uint32_t value = 0;
  if (size != kJobCounterFileSize || high != 0) {
    RewriteCounter(h, 1);  // repaired; the next attempt reads 1
  } else if (ReadCounter(h, &value)) {
    if (value >= 1 && value < kLastJobNumber) {
      if (RewriteCounter(h, value + 1)) {
        *number = value;
        result = 1;
      }
    } else if (value == kLastJobNumber) {
      *number = value;
      result = 1;
    } else {
      RewriteCounter(h, 1);
    }
  }
  CloseHandle(h);
  return result;
}

int ReadJobCounterWithRetry(LPCWSTR counterFolder, DWORD* number) {
  for (int attempt = 1; attempt <= kJobCounterAttempts; ++attempt) {
    if (NextStorageJobNumber(counterFolder, number)) return 1;
    if (attempt < kJobCounterAttempts) Sleep(kJobCounterRetryMs);
  }
  return 0;
}

int FindRemovableFatDrives(std::u16string* list) {
  int count = 0;
  const std::u16string joined = JoinRoots(ListRemovableFatDrives(), kDriveListMax, &count);
  if (list) *list = joined;
  return count;
}

int FindStorageDrive(std::u16string* root) {
  for (const std::u16string& drive : ListRemovableFatDrives()) {
    const std::u16string candidate = drive.substr(0, 3);
    if (CheckJobFolderTree(candidate.c_str(), FALSE)) {
      if (root) *root = candidate;
      return 1;
    }
  }
  return 0;
}

UINT CodePageForLanguage(int language) {
  struct Range {
    int first;
    int last;
    UINT codePage;
  };
  static constexpr Range kTable[] = {
      {1, 12, 1252}, {13, 13, 1250}, {14, 14, 1254}, {15, 15, 1251}, {16, 16, 1253}, {17, 17, 1252},
      {18, 18, 932}, {19, 19, 936},  {20, 20, 950},  {21, 21, 949},  {22, 23, 1256}, {24, 24, 1255},
      {25, 25, 874}, {26, 26, 1252}, {27, 29, 1250}, {30, 30, 1258},
  };
  for (const Range& r : kTable) {
    if (language >= r.first && language <= r.last) return r.codePage;
  }
  return CP_ACP;
}

DWORD WideToPrinterCodePage(int language, LPCWSTR text, char* out, int size) {
  if (out == nullptr || size <= 0) return ERROR_INVALID_PARAMETER;
  out[0] = 0;
  if (text == nullptr) return ERROR_INVALID_PARAMETER;
  const UINT codePage = CodePageForLanguage(language);
  const int units = lstrlenW(text);
  int n = Convert(codePage, text, units, out, size - 1);
  if (n >= 0) {
    out[n] = 0;
    return ERROR_SUCCESS;
  }
  const DWORD error = GetLastError();
  if (error != ERROR_INSUFFICIENT_BUFFER) return error != ERROR_SUCCESS ? error : ERROR_INVALID_DATA;
  // Too long for the field: the longest beginning that fits, never cutting a
  // character (or a surrogate pair) in two. Longer beginnings never need
  // fewer bytes, so the cut is found by halving.
  std::vector<int> cuts;
  for (int k = 1; k < units; ++k) {
    if (!(text[k] >= 0xDC00 && text[k] <= 0xDFFF)) cuts.push_back(k);
  }
  std::size_t low = 0;
  std::size_t high = cuts.size();  // cuts[i - 1] for i in 1..size; 0 means nothing
  while (low < high) {
    const std::size_t mid = low + (high - low + 1) / 2;
    if (Convert(codePage, text, cuts[mid - 1], out, size - 1) >= 0) {
      low = mid;
    } else {
      high = mid - 1;
    }
  }
  n = low > 0 ? Convert(codePage, text, cuts[low - 1], out, size - 1) : 0;
  out[n > 0 ? n : 0] = 0;
  return ERROR_INSUFFICIENT_BUFFER;
}

void SetJobHeaderText(RenderPdev* pdev, int kind) {
  if (kind == kJobHeaderDate) {
    ENG_TIME_FIELDS t{};
    EngQueryLocalTime(&t);
    std::snprintf(pdev->jobText.dateText, sizeof pdev->jobText.dateText, "%04d/%02d/%02d %2d:%2d",
                  static_cast<int>(t.usYear), static_cast<int>(t.usMonth), static_cast<int>(t.usDay),
                  static_cast<int>(t.usHour), static_cast<int>(t.usMinute));
  } else if (kind == kJobHeaderName && pdev->jobText.useDocumentName) {
    const std::u16string name = FieldText(pdev->documentName, kDocumentNameUnits);
    WideToPrinterCodePage(pdev->languageNumber, name.c_str(), pdev->jobText.jobName,
                          static_cast<int>(sizeof pdev->jobText.jobName));
  }
}

void GetUserNameForJob(char* out, int language) {
  if (out == nullptr) return;
  out[0] = 0;
  WCHAR name[kUserNameUnits] = {};
  DWORD size = kUserNameUnits;
  if (!GetUserNameW(name, &size)) return;
  name[kUserNameUnits - 1] = 0;
  if (lstrlenW(name) > static_cast<int>(kUserNameCut)) name[kUserNameCut] = 0;
  WideToPrinterCodePage(language, name, out, 256);
}
