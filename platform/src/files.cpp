#include "plat/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "plat/machine.h"
#include "plat/strings.h"
#include "host_errors.h"

namespace {
// Share modes are held as OFD byte locks on a lock file per file identity
// (device and inode) in ROOT/.locks, so they hold between handles of this
// process and between processes alike. Byte 0 serialises the check-and-take;
// bytes 1-3 are held shared by opens with read, write, delete access; bytes
// 4-6 by opens that deny read, write, delete.
constexpr off_t kMutexByte = 0;
constexpr off_t kAccessByte = 1;
constexpr off_t kDenyByte = 4;
enum : DWORD { kRead = 1, kWrite = 2, kDelete = 4 };

struct FileObject {
  int fd = -1;
  int lockFd = -1;
  std::string lockPath;
  std::u16string windowsPath;
  DWORD access = 0;  // kRead | kWrite | kDelete
  bool folder = false;
};


bool Fail(DWORD error) {
  SetLastError(error);
  return false;
}

std::string Parent(const std::string& host) {
  const auto slash = host.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : host.substr(0, slash);
}

bool IsFolder(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Windows paths of files that may not be found: a missing folder on the way
// is ERROR_PATH_NOT_FOUND, a missing last component ERROR_FILE_NOT_FOUND.
DWORD MissingError(const std::string& host) { return IsFolder(Parent(host)) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND; }

bool Resolve(LPCWSTR path, std::string& host) {
  if (!path || !*path) return Fail(ERROR_PATH_NOT_FOUND);
  return plat::machine::HostPath(plat::view(path), host);
}

// ---- attributes: an extended attribute of the file, or, where the file
// system has none, a table of this process keyed by file identity ----
constexpr const char* kAttrName = "user.plat.attributes";
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

std::mutex g_attrLock;
std::map<std::pair<dev_t, ino_t>, DWORD> g_attrTable;

bool ReadStoredAttributes(const std::string& host, const struct stat& st, DWORD& attrs) {
  unsigned char raw[4];
  if (::getxattr(host.c_str(), kAttrName, raw, sizeof raw) == 4) {
    attrs = raw[0] | (raw[1] << 8) | (static_cast<DWORD>(raw[2]) << 16) | (static_cast<DWORD>(raw[3]) << 24);
    return true;
  }
  std::lock_guard g(g_attrLock);
  auto it = g_attrTable.find({st.st_dev, st.st_ino});
  if (it == g_attrTable.end()) return false;
  attrs = it->second;
  return true;
}

void StoreAttributes(const std::string& host, DWORD attrs) {
  attrs &= kKeptAttributes;
  const unsigned char raw[4] = {static_cast<unsigned char>(attrs), static_cast<unsigned char>(attrs >> 8),
                                static_cast<unsigned char>(attrs >> 16), static_cast<unsigned char>(attrs >> 24)};
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return;
  if (::setxattr(host.c_str(), kAttrName, raw, sizeof raw, 0) == 0) {
    std::lock_guard g(g_attrLock);
    g_attrTable.erase({st.st_dev, st.st_ino});
    return;
  }
  std::lock_guard g(g_attrLock);
  g_attrTable[{st.st_dev, st.st_ino}] = attrs;
}

void ForgetAttributes(const struct stat& st) {
  std::lock_guard g(g_attrLock);
  g_attrTable.erase({st.st_dev, st.st_ino});
}

// Attributes as GetFileAttributesW reports them. Files nobody set anything
// on are ARCHIVE, as files written on the platform are.
DWORD Attributes(const std::string& host, const struct stat& st) {
  DWORD attrs = 0;
  if (!ReadStoredAttributes(host, st, attrs)) attrs = S_ISDIR(st.st_mode) ? 0 : FILE_ATTRIBUTE_ARCHIVE;
  if (S_ISDIR(st.st_mode)) attrs |= FILE_ATTRIBUTE_DIRECTORY;
  return attrs ? attrs : FILE_ATTRIBUTE_NORMAL;
}

// ---- share-mode locks ----
bool OfdLock(int fd, short type, off_t byte, bool wait) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  while (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &fl) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// True when some other open file description holds a lock on the byte.
bool OthersHold(int fd, off_t byte) {
  struct flock fl {};
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = byte;
  fl.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return true;
  return fl.l_type != F_UNLCK;
}

std::string LockFolder() { return plat::machine::Root() + "/.locks"; }

std::string LockPathFor(const struct stat& st) {
  return LockFolder() + "/" + std::to_string(st.st_dev) + "-" + std::to_string(st.st_ino);
}

// Opens the lock file of a file identity with byte 0 held exclusively. The
// lock file may be removed by a closer between open and lock; then it is
// opened again.
int OpenLockedLockFile(const std::string& lockPath) {
  ::mkdir(LockFolder().c_str(), 0777);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return -1;
    if (!OfdLock(fd, F_WRLCK, kMutexByte, true)) {
      ::close(fd);
      return -1;
    }
    struct stat held {}, named {};
    if (::fstat(fd, &held) == 0 && ::stat(lockPath.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
        held.st_dev == named.st_dev)
      return fd;
    ::close(fd);
  }
  return -1;
}

void ReleaseMutex(int fd) {
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kMutexByte;
  fl.l_len = 1;
  ::fcntl(fd, F_OFD_SETLK, &fl);
}

// Removes the lock file when no open holds anything in it any more. The
// caller holds byte 0 through fd.
void DropLockFileIfUnused(int fd, const std::string& lockPath) {
  for (off_t b = kAccessByte; b < kDenyByte + 3; ++b)
    if (OthersHold(fd, b)) return;
  ::unlink(lockPath.c_str());
}

// Checks the wanted access and share mode against every other open of the
// file and records them. Returns the lock descriptor (kept by the handle),
// -1 with the last error set on a conflict or failure.
int TakeShare(const struct stat& st, DWORD access, DWORD share, std::string& lockPath) {
  lockPath = LockPathFor(st);
  const int fd = OpenLockedLockFile(lockPath);
  if (fd < 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return -1;
  }
  bool conflict = false;
  for (int k = 0; k < 3 && !conflict; ++k) {
    const DWORD bit = 1u << k;
    if ((access & bit) && OthersHold(fd, kDenyByte + k)) conflict = true;
    if (!(share & bit) && OthersHold(fd, kAccessByte + k)) conflict = true;
  }
  if (!conflict) {
    for (int k = 0; k < 3; ++k) {
      const DWORD bit = 1u << k;
      if (access & bit) OfdLock(fd, F_RDLCK, kAccessByte + k, false);
      if (!(share & bit)) OfdLock(fd, F_RDLCK, kDenyByte + k, false);
    }
  } else {
    DropLockFileIfUnused(fd, lockPath);
  }
  ReleaseMutex(fd);
  if (conflict) {
    ::close(fd);
    SetLastError(ERROR_SHARING_VIOLATION);
    return -1;
  }
  return fd;
}

void ReleaseShare(int lockFd, const std::string& lockPath) {
  if (lockFd < 0) return;
  // Give up this open's bytes first, then remove the file if it is unused.
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = kAccessByte;
  fl.l_len = 6;
  ::fcntl(lockFd, F_OFD_SETLK, &fl);
  if (OfdLock(lockFd, F_WRLCK, kMutexByte, true)) {
    DropLockFileIfUnused(lockFd, lockPath);
    ReleaseMutex(lockFd);
  }
  ::close(lockFd);
}

void CloseFileObject(void* object) {
  auto* f = static_cast<FileObject*>(object);
  ReleaseShare(f->lockFd, f->lockPath);
  if (f->fd >= 0) ::close(f->fd);
  delete f;
}

FileObject* FileOf(HANDLE h) {
  auto* f = static_cast<FileObject*>(plat::HandleObject(h, plat::HandleKind::File));
  if (!f) SetLastError(ERROR_INVALID_HANDLE);
  return f;
}

DWORD AccessBits(DWORD access) {
  DWORD bits = 0;
  if (access & (GENERIC_READ | GENERIC_ALL)) bits |= kRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL)) bits |= kWrite;
  if (access & (DELETE | GENERIC_ALL)) bits |= kDelete;
  return bits;
}

// ---- write faults ----
std::mutex g_faultLock;
std::deque<plat::files::WriteFault> g_faults;

bool ContainsNoCase(std::u16string_view text, std::u16string_view part) {
  if (part.empty()) return true;
  if (part.size() > text.size()) return false;
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i)
    if (plat::EqualsNoCase(text.substr(i, part.size()), part)) return true;
  return false;
}

// The fault that applies to this write, consumed; false when none does.
bool TakeFault(std::u16string_view path, plat::files::WriteFault& fault) {
  std::lock_guard g(g_faultLock);
  for (auto it = g_faults.begin(); it != g_faults.end(); ++it) {
    if (!ContainsNoCase(path, it->pathContains)) continue;
    fault = *it;
    if (--it->count == 0) g_faults.erase(it);
    return true;
  }
  return false;
}

bool WriteAll(int fd, const BYTE* data, std::size_t size, std::size_t& written) {
  written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    written += static_cast<std::size_t>(n);
  }
  return true;
}

// ---- folder enumeration ----
struct FindObject {
  std::vector<WIN32_FIND_DATAW> entries;
  std::size_t next = 0;
};

void CloseFindObject(void* object) { delete static_cast<FindObject*>(object); }

bool WildcardMatch(std::u16string_view name, std::u16string_view pattern) {
  std::size_t n = 0, p = 0, star = std::u16string_view::npos, mark = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == u'?' || plat::FoldCase(pattern[p]) == plat::FoldCase(name[n]))) {
      ++n, ++p;
    } else if (p < pattern.size() && pattern[p] == u'*') {
      star = p++;
      mark = n;
    } else if (star != std::u16string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && (pattern[p] == u'*' || pattern[p] == u'.')) {
    // "*.*" and "name.*" also match names without a dot, as on the platform.
    if (pattern[p] == u'.' && !(p + 1 < pattern.size() && pattern[p + 1] == u'*')) break;
    ++p;
  }
  return p == pattern.size();
}

FILETIME ToFileTime(const struct timespec& ts) {
  const std::uint64_t t =
      (static_cast<std::uint64_t>(ts.tv_sec) + 11644473600ull) * 10000000ull + static_cast<std::uint64_t>(ts.tv_nsec) / 100;
  return FILETIME{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
}

WIN32_FIND_DATAW FindEntry(std::u16string_view name, const std::string& host, const struct stat& st) {
  WIN32_FIND_DATAW d{};
  d.dwFileAttributes = Attributes(host, st);
  d.ftCreationTime = ToFileTime(st.st_ctim);
  d.ftLastAccessTime = ToFileTime(st.st_atim);
  d.ftLastWriteTime = ToFileTime(st.st_mtim);
  const std::uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  d.nFileSizeHigh = static_cast<DWORD>(size >> 32);
  d.nFileSizeLow = static_cast<DWORD>(size);
  const std::size_t n = std::min<std::size_t>(name.size(), MAX_PATH - 1);
  std::memcpy(d.cFileName, name.data(), n * sizeof(WCHAR));
  return d;
}
}  // namespace

extern "C" {
HANDLE CreateFileW(LPCWSTR path, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD flagsAndAttributes, HANDLE) {
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const DWORD bits = AccessBits(access);
  if (disposition == TRUNCATE_EXISTING && !(bits & kWrite)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string host;
  if (!Resolve(path, host)) return INVALID_HANDLE_VALUE;
  const bool wantFolder = (flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0;

  int fd = -1;
  bool existed = false;
  struct stat st {};
  for (int attempt = 0; fd < 0; ++attempt) {
    if (::stat(host.c_str(), &st) == 0) {
      existed = true;
      if (S_ISDIR(st.st_mode)) {
        if (!wantFolder || (bits & kWrite) || disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING) {
          SetLastError(disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED);
          return INVALID_HANDLE_VALUE;
        }
        if (disposition == CREATE_NEW) {
          SetLastError(ERROR_FILE_EXISTS);
          return INVALID_HANDLE_VALUE;
        }
        fd = ::open(host.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      } else {
        if (disposition == CREATE_NEW) {
          SetLastError(ERROR_FILE_EXISTS);
          return INVALID_HANDLE_VALUE;
        }
        const DWORD attrs = Attributes(host, st);
        const bool truncates = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
        if ((attrs & FILE_ATTRIBUTE_READONLY) && ((bits & (kWrite | kDelete)) || truncates)) {
          SetLastError(ERROR_ACCESS_DENIED);
          return INVALID_HANDLE_VALUE;
        }
        // Replacing a hidden or system file must say so, as on the platform.
        const DWORD guarded = attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
        if (disposition == CREATE_ALWAYS && (guarded & ~flagsAndAttributes)) {
          SetLastError(ERROR_ACCESS_DENIED);
          return INVALID_HANDLE_VALUE;
        }
        fd = ::open(host.c_str(), ((bits & kWrite) || truncates ? O_RDWR : O_RDONLY) | O_CLOEXEC);
      }
      if (fd < 0 && errno == ENOENT && attempt < 5) continue;  // removed meanwhile
      if (fd < 0) {
        SetLastError(plat::host::ErrnoToError(errno));
        return INVALID_HANDLE_VALUE;
      }
    } else {
      existed = false;
      if (errno != ENOENT) {
        SetLastError(errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : plat::host::ErrnoToError(errno));
        return INVALID_HANDLE_VALUE;
      }
      if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) {
        SetLastError(MissingError(host));
        return INVALID_HANDLE_VALUE;
      }
      fd = ::open(host.c_str(), ((bits & kWrite) ? O_RDWR : O_RDONLY) | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno == EEXIST && disposition != CREATE_NEW && attempt < 5) continue;  // created meanwhile
      if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND : plat::host::ErrnoToError(errno));
        return INVALID_HANDLE_VALUE;
      }
      StoreAttributes(host, (flagsAndAttributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
    }
  }
  if (::fstat(fd, &st) != 0) {
    ::close(fd);
    SetLastError(ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }

  auto* f = new FileObject;
  f->fd = fd;
  f->windowsPath = plat::view(path);
  f->access = bits;
  f->folder = S_ISDIR(st.st_mode);
  // Opens that ask for no data access take part in no share check.
  if (bits) {
    f->lockFd = TakeShare(st, bits, shareMode & (FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE), f->lockPath);
    if (f->lockFd < 0) {
      const DWORD error = GetLastError();
      CloseFileObject(f);
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
  }
  if (existed && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
    if (::ftruncate(fd, 0) != 0) {
      const DWORD error = plat::host::ErrnoToError(errno);
      CloseFileObject(f);
      SetLastError(error);
      return INVALID_HANDLE_VALUE;
    }
    if (disposition == CREATE_ALWAYS) StoreAttributes(host, (flagsAndAttributes & kKeptAttributes) | FILE_ATTRIBUTE_ARCHIVE);
  }
  HANDLE h = plat::RegisterHandle(plat::HandleKind::File, f, CloseFileObject);
  SetLastError(existed && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS) ? ERROR_ALREADY_EXISTS
                                                                                      : ERROR_SUCCESS);
  return h;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) {
  if (done) *done = 0;
  FileObject* f = FileOf(file);
  if (!f) return FALSE;
  if (overlapped || !done || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
  if (f->folder) return Fail(ERROR_INVALID_FUNCTION);
  if (!(f->access & kRead)) return Fail(ERROR_ACCESS_DENIED);
  DWORD total = 0;
  auto* p = static_cast<BYTE*>(buffer);
  while (total < size) {
    const ssize_t n = ::read(f->fd, p + total, size - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      *done = total;
      return Fail(ERROR_READ_FAULT);
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  *done = total;
  return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD done, LPOVERLAPPED overlapped) {
  if (done) *done = 0;
  FileObject* f = FileOf(file);
  if (!f) return FALSE;
  if (overlapped || !done || (!buffer && size)) return Fail(ERROR_INVALID_PARAMETER);
  if (f->folder || !(f->access & kWrite)) return Fail(ERROR_ACCESS_DENIED);
  DWORD toWrite = size;
  plat::files::WriteFault fault;
  if (TakeFault(f->windowsPath, fault)) {
    if (fault.shortBytes < 0) return Fail(fault.error);
    toWrite = std::min<DWORD>(size, static_cast<DWORD>(fault.shortBytes));
  }
  std::size_t written = 0;
  const bool ok = WriteAll(f->fd, static_cast<const BYTE*>(buffer), toWrite, written);
  *done = static_cast<DWORD>(written);
  if (!ok) return Fail(plat::host::ErrnoToError(errno));
  return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, PLONG high, DWORD method) {
  FileObject* f = FileOf(file);
  if (!f) return INVALID_SET_FILE_POINTER;
  std::int64_t move = high ? static_cast<std::int64_t>((static_cast<std::uint64_t>(static_cast<std::uint32_t>(*high)) << 32) |
                                                       static_cast<std::uint32_t>(distance))
                           : distance;
  std::int64_t base = 0;
  if (method == FILE_CURRENT) {
    base = ::lseek(f->fd, 0, SEEK_CUR);
  } else if (method == FILE_END) {
    struct stat st {};
    base = ::fstat(f->fd, &st) == 0 ? st.st_size : -1;
  } else if (method != FILE_BEGIN) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (base < 0) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_SET_FILE_POINTER;
  }
  const std::int64_t target = base + move;
  if (target < 0) {
    SetLastError(ERROR_NEGATIVE_SEEK);
    return INVALID_SET_FILE_POINTER;
  }
  if (::lseek(f->fd, target, SEEK_SET) < 0) {
    SetLastError(plat::host::ErrnoToError(errno));
    return INVALID_SET_FILE_POINTER;
  }
  if (high) *high = static_cast<LONG>(static_cast<std::uint64_t>(target) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(target);
}

DWORD GetFileSize(HANDLE file, LPDWORD high) {
  FileObject* f = FileOf(file);
  if (!f) return INVALID_FILE_SIZE;
  struct stat st {};
  if (::fstat(f->fd, &st) != 0) {
    SetLastError(plat::host::ErrnoToError(errno));
    return INVALID_FILE_SIZE;
  }
  const std::uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  if (high) *high = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL SetEndOfFile(HANDLE file) {
  FileObject* f = FileOf(file);
  if (!f) return FALSE;
  if (f->folder || !(f->access & kWrite)) return Fail(ERROR_ACCESS_DENIED);
  const off_t at = ::lseek(f->fd, 0, SEEK_CUR);
  if (at < 0 || ::ftruncate(f->fd, at) != 0) return Fail(plat::host::ErrnoToError(errno));
  return TRUE;
}

BOOL FlushFileBuffers(HANDLE file) {
  FileObject* f = FileOf(file);
  if (!f) return FALSE;
  if (f->folder || !(f->access & kWrite)) return Fail(ERROR_ACCESS_DENIED);
  if (::fdatasync(f->fd) != 0) return Fail(plat::host::ErrnoToError(errno));
  return TRUE;
}

BOOL CreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES) {
  std::string host;
  if (!Resolve(path, host)) return FALSE;
  if (::mkdir(host.c_str(), 0777) != 0) {
    if (errno == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
    if (errno == ENOENT || errno == ENOTDIR) return Fail(ERROR_PATH_NOT_FOUND);
    return Fail(plat::host::ErrnoToError(errno));
  }
  return TRUE;
}

BOOL CreateDirectoryExW(LPCWSTR templateFolder, LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
  std::string templ;
  if (!Resolve(templateFolder, templ)) return FALSE;
  struct stat st {};
  if (::stat(templ.c_str(), &st) != 0) return Fail(MissingError(templ));
  const DWORD attrs = Attributes(templ, st);
  if (!CreateDirectoryW(path, security)) return FALSE;
  StoreAttributes(plat::machine::HostPath(plat::view(path)), attrs);
  return TRUE;
}

BOOL RemoveDirectoryW(LPCWSTR path) {
  std::string host;
  if (!Resolve(path, host)) return FALSE;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return Fail(MissingError(host));
  if (!S_ISDIR(st.st_mode)) return Fail(ERROR_DIRECTORY);
  if (::rmdir(host.c_str()) != 0) return Fail(plat::host::ErrnoToError(errno));
  ForgetAttributes(st);
  return TRUE;
}

DWORD GetFileAttributesW(LPCWSTR path) {
  std::string host;
  if (!Resolve(path, host)) return INVALID_FILE_ATTRIBUTES;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(errno == ENOENT ? MissingError(host) : errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : plat::host::ErrnoToError(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  return Attributes(host, st);
}

BOOL SetFileAttributesW(LPCWSTR path, DWORD attributes) {
  std::string host;
  if (!Resolve(path, host)) return FALSE;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return Fail(errno == ENOENT ? MissingError(host) : plat::host::ErrnoToError(errno));
  StoreAttributes(host, attributes & kKeptAttributes);
  return TRUE;
}

BOOL DeleteFileW(LPCWSTR path) {
  std::string host;
  if (!Resolve(path, host)) return FALSE;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return Fail(errno == ENOENT ? MissingError(host) : plat::host::ErrnoToError(errno));
  if (S_ISDIR(st.st_mode) || (Attributes(host, st) & FILE_ATTRIBUTE_READONLY)) return Fail(ERROR_ACCESS_DENIED);
  // Deleting is an open for delete access that shares everything.
  std::string lockPath = LockPathFor(st);
  const int lockFd = OpenLockedLockFile(lockPath);
  if (lockFd < 0) return Fail(ERROR_ACCESS_DENIED);
  const bool denied = OthersHold(lockFd, kDenyByte + 2);
  bool ok = false;
  DWORD error = ERROR_SHARING_VIOLATION;
  if (!denied) {
    ok = ::unlink(host.c_str()) == 0;
    if (!ok) error = plat::host::ErrnoToError(errno);
    else ForgetAttributes(st);
  }
  DropLockFileIfUnused(lockFd, lockPath);
  ReleaseMutex(lockFd);
  ::close(lockFd);
  if (!ok) return Fail(error);
  return TRUE;
}

HANDLE FindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string_view whole(pattern);
  const auto cut = whole.find_last_of(u"\\/");
  if (cut == std::u16string_view::npos) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const std::u16string folder(whole.substr(0, cut + 1));
  const std::u16string_view mask = whole.substr(cut + 1);
  std::string host;
  if (!plat::machine::HostPath(folder, host)) return INVALID_HANDLE_VALUE;
  DIR* dir = ::opendir(host.c_str());
  if (!dir) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  const bool driveRoot = folder.size() <= 3;
  auto* find = new FindObject;
  std::vector<std::pair<std::u16string, WIN32_FIND_DATAW>> found;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    if (driveRoot && (name == "." || name == "..")) continue;
    const std::u16string wide = plat::u16(name);
    if (!WildcardMatch(wide, mask.empty() ? u"*" : mask)) continue;
    struct stat st {};
    const std::string full = host + "/" + name;
    if (::stat(full.c_str(), &st) != 0) continue;
    found.emplace_back(wide, FindEntry(wide, full, st));
  }
  ::closedir(dir);
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return lstrcmpiW(a.first.c_str(), b.first.c_str()) < 0;
  });
  for (auto& [name, entry] : found) find->entries.push_back(entry);
  if (find->entries.empty()) {
    delete find;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = find->entries[0];
  find->next = 1;
  return plat::RegisterHandle(plat::HandleKind::Find, find, CloseFindObject);
}

BOOL FindNextFileW(HANDLE handle, LPWIN32_FIND_DATAW data) {
  auto* find = static_cast<FindObject*>(plat::HandleObject(handle, plat::HandleKind::Find));
  if (!find) return Fail(ERROR_INVALID_HANDLE);
  if (!data) return Fail(ERROR_INVALID_PARAMETER);
  if (find->next >= find->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *data = find->entries[find->next++];
  return TRUE;
}

BOOL FindClose(HANDLE handle) {
  if (!plat::HandleObject(handle, plat::HandleKind::Find)) return Fail(ERROR_INVALID_HANDLE);
  return CloseHandle(handle);
}
}

namespace plat::files {
void InjectWriteFault(const WriteFault& fault) {
  if (fault.count == 0) return;
  std::lock_guard g(g_faultLock);
  g_faults.push_back(fault);
}

void ClearWriteFaults() {
  std::lock_guard g(g_faultLock);
  g_faults.clear();
}

DWORD PendingWriteFaults() {
  std::lock_guard g(g_faultLock);
  DWORD n = 0;
  for (const auto& f : g_faults) n += f.count;
  return n;
}

std::u16string HandlePath(HANDLE file) {
  auto* f = static_cast<FileObject*>(plat::HandleObject(file, plat::HandleKind::File));
  return f ? f->windowsPath : std::u16string();
}
}  // namespace plat::files
