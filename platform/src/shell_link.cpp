// The shell's folders, FO_COPY and the shell link object over our own
// files calls, so that share modes, attributes and pending deletions apply.
#include "plat/shell_link.h"

#include <atomic>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "plat/machine.h"
#include "plat/strings.h"

extern "C" {
const IID IID_IShellLinkW = {0x000214F9, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}

namespace {

thread_local int t_comInits = 0;
std::atomic<bool> g_linkAvailable{true};
constexpr const char* kLinkMagic = "NEVOLNK 1";

HRESULT LastErrorResult() {
  const DWORD e = GetLastError();
  return e ? HRESULT_FROM_WIN32(e) : E_FAIL;
}

// Whole file through the files calls; false with the last error.
bool ReadWhole(LPCWSTR path, std::string& text) {
  HANDLE f = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  text.clear();
  char buffer[512];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(f, buffer, sizeof buffer, &got, nullptr)) && got > 0) text.append(buffer, got);
  const DWORD error = GetLastError();
  CloseHandle(f);
  SetLastError(error);
  return ok;
}

bool ParseLink(const std::string& text, std::u16string& target) {
  const std::string head = std::string(kLinkMagic) + "\ntarget\t";
  if (text.compare(0, head.size(), head) != 0) return false;
  std::string rest = text.substr(head.size());
  if (!rest.empty() && rest.back() == '\n') rest.pop_back();
  if (rest.find('\n') != std::string::npos) return false;
  target = plat::u16(rest);
  return true;
}

class ShellLink final : public IShellLinkW, public IPersistFile {
 public:
  HRESULT QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IShellLinkW) {
      *object = static_cast<IShellLinkW*>(this);
    } else if (iid == IID_IPersistFile) {
      *object = static_cast<IPersistFile*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++count_; }
  ULONG Release() override {
    const ULONG left = --count_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT GetPath(LPWSTR file, INT cch, WIN32_FIND_DATAW* data, DWORD) override {
    if (!file || cch <= 0) return E_INVALIDARG;
    const std::size_t n = std::min(target_.size(), static_cast<std::size_t>(cch - 1));
    target_.copy(file, n);
    file[n] = 0;
    if (data) std::memset(data, 0, sizeof *data);
    return target_.empty() ? S_FALSE : S_OK;
  }
  HRESULT SetPath(LPCWSTR file) override {
    if (!file) return E_INVALIDARG;
    target_ = plat::view(file);
    return S_OK;
  }

  HRESULT Load(LPCOLESTR fileName, DWORD) override {
    if (!fileName) return E_INVALIDARG;
    std::string text;
    if (!ReadWhole(fileName, text)) return LastErrorResult();
    std::u16string target;
    if (!ParseLink(text, target)) return E_FAIL;
    target_ = target;
    return S_OK;
  }
  HRESULT Save(LPCOLESTR fileName, BOOL) override {
    if (!fileName) return E_INVALIDARG;
    const std::string text = std::string(kLinkMagic) + "\ntarget\t" + plat::utf8(target_) + "\n";
    HANDLE f = CreateFileW(fileName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return LastErrorResult();
    DWORD done = 0;
    const BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) && done == text.size();
    const HRESULT hr = ok ? S_OK : LastErrorResult();
    CloseHandle(f);
    if (!ok) DeleteFileW(fileName);  // no half-written link stays behind
    return hr;
  }

 private:
  ~ShellLink() = default;
  std::atomic<ULONG> count_{1};
  std::u16string target_;
};

std::u16string Trimmed(std::u16string_view path) {
  std::u16string p(path);
  while (p.size() > 3 && (p.back() == u'\\' || p.back() == u'/')) p.pop_back();
  return p;
}

std::u16string LastName(std::u16string_view path) {
  const std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

// Creates the folder and any missing parents; true when it exists afterwards.
bool MakeFolders(const std::u16string& folder) {
  for (std::size_t at = folder.find(u'\\', 3);; at = folder.find(u'\\', at + 1)) {
    const std::u16string part = folder.substr(0, at);
    CreateDirectoryW(part.c_str(), nullptr);
    if (at == std::u16string::npos) break;
  }
  const DWORD attrs = GetFileAttributesW(folder.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

// Copies a file or a folder tree to `target`; 0 or the first error.
DWORD CopyTree(const std::u16string& source, const std::u16string& target) {
  const DWORD attrs = GetFileAttributesW(source.c_str());
  if (attrs == INVALID_FILE_ATTRIBUTES) return GetLastError();
  if (!(attrs & FILE_ATTRIBUTE_DIRECTORY)) {
    const DWORD old = GetFileAttributesW(target.c_str());
    if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_READONLY))
      SetFileAttributesW(target.c_str(), old & ~FILE_ATTRIBUTE_READONLY);
    return CopyFileW(source.c_str(), target.c_str(), FALSE) ? 0 : GetLastError();
  }
  if (!CreateDirectoryW(target.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return GetLastError();
  WIN32_FIND_DATAW found{};
  const std::u16string pattern = source + u"\\*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : GetLastError();
  DWORD error = 0;
  do {
    const std::u16string_view name = plat::view(found.cFileName);
    if (name == u"." || name == u"..") continue;
    error = CopyTree(source + u"\\" + std::u16string(name), target + u"\\" + std::u16string(name));
  } while (error == 0 && FindNextFileW(find, &found));
  FindClose(find);
  return error;
}

}  // namespace

extern "C" {

HRESULT CoInitialize(LPVOID) { return t_comInits++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
  if (t_comInits > 0) --t_comInits;
}

HRESULT CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD context, REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (t_comInits == 0) return CO_E_NOTINITIALIZED;
  if (!(clsid == CLSID_ShellLink) || !(context & CLSCTX_INPROC_SERVER) || !g_linkAvailable) return REGDB_E_CLASSNOTREG;
  if (outer) return static_cast<HRESULT>(0x80040110);  // CLASS_E_NOAGGREGATION
  auto* link = new (std::nothrow) ShellLink;
  if (!link) return E_OUTOFMEMORY;
  const HRESULT hr = static_cast<IShellLinkW*>(link)->QueryInterface(iid, object);
  static_cast<IShellLinkW*>(link)->Release();
  return hr;
}

HRESULT SHGetFolderPathW(HWND, INT folder, HANDLE, DWORD, LPWSTR path) {
  if (!path) return E_INVALIDARG;
  path[0] = 0;
  const bool create = (folder & CSIDL_FLAG_CREATE) != 0;
  const bool nt6 = plat::machine::GetOsProfile().major >= 6;
  std::u16string place;
  switch (folder & 0xFF) {
    case CSIDL_PROGRAM_FILES:
      place = u"C:\\Program Files";
      break;
    case CSIDL_COMMON_PROGRAMS:
      place = nt6 ? u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"
                  : u"C:\\Documents and Settings\\All Users\\Start Menu\\Programs";
      break;
    case CSIDL_PROGRAMS: {
      WCHAR user[64];
      DWORD size = 64;
      if (!GetUserNameW(user, &size)) return E_FAIL;
      place = nt6 ? u"C:\\Users\\" + std::u16string(plat::view(user)) + u"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
                  : u"C:\\Documents and Settings\\" + std::u16string(plat::view(user)) + u"\\Start Menu\\Programs";
      break;
    }
    default:
      return E_INVALIDARG;
  }
  place.copy(path, place.size());
  path[place.size()] = 0;
  const DWORD attrs = GetFileAttributesW(path);
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return S_OK;
  if (create && MakeFolders(place)) return S_OK;
  return E_FAIL;
}

INT SHFileOperationW(LPSHFILEOPSTRUCTW op) {
  if (!op || !op->pFrom || !op->pTo) return static_cast<INT>(ERROR_INVALID_PARAMETER);
  op->fAnyOperationsAborted = FALSE;
  if (op->wFunc != FO_COPY) return static_cast<INT>(ERROR_NOT_SUPPORTED);
  const std::u16string to = Trimmed(plat::view(op->pTo));
  if (to.empty()) return static_cast<INT>(ERROR_INVALID_PARAMETER);
  if (!MakeFolders(to)) return static_cast<INT>(GetLastError() ? GetLastError() : ERROR_PATH_NOT_FOUND);
  for (LPCWSTR from = op->pFrom; *from; from += std::char_traits<char16_t>::length(from) + 1) {
    const std::u16string source = Trimmed(plat::view(from));
    if (const DWORD error = CopyTree(source, to + u"\\" + LastName(source))) {
      op->fAnyOperationsAborted = TRUE;
      return static_cast<INT>(error);
    }
  }
  return 0;
}

}  // extern "C"

namespace plat::shell {
void SetShellLinkAvailable(bool available) { g_linkAvailable = available; }

std::u16string LinkTarget(std::u16string_view linkPath) {
  const std::u16string path(linkPath);
  std::string text;
  std::u16string target;
  if (!ReadWhole(path.c_str(), text) || !ParseLink(text, target)) return u"";
  return target;
}
}  // namespace plat::shell
