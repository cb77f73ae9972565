#include "plat/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "plat/codepage.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/strings.h"

namespace {
enum class Encoding { Ansi, Utf8Bom, Utf16Le, Utf16Be };

// One line of a profile file as the readers see it.
struct Line {
  enum class Kind { Other, Section, Entry } kind = Kind::Other;
  std::u16string name;   // section name or key
  std::u16string value;  // trimmed, quotes kept
};

struct ProfileFile {
  Encoding encoding = Encoding::Ansi;
  std::vector<std::u16string> text;  // the lines as written
  std::vector<Line> lines;           // their meaning
  // Made once when parsed, so a lookup costs the same in a file of any size:
  // case-folded section name -> its first header line, and per header line
  // case-folded key -> its first entry in that section.
  std::unordered_map<std::u16string, std::size_t> sectionAt;
  std::unordered_map<std::size_t, std::unordered_map<std::u16string, std::size_t>> keyAt;
};

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = plat::FoldCase(c);
  return out;
}

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view Trim(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

Line Classify(std::u16string_view raw) {
  Line line;
  const std::u16string_view s = Trim(raw);
  if (s.empty() || s.front() == u';') return line;
  if (s.front() == u'[') {
    const auto close = s.find(u']');
    line.kind = Line::Kind::Section;
    line.name = Trim(s.substr(1, close == std::u16string_view::npos ? std::u16string_view::npos : close - 1));
    return line;
  }
  line.kind = Line::Kind::Entry;
  const auto eq = s.find(u'=');
  if (eq == std::u16string_view::npos) {
    line.name = s;
  } else {
    line.name = Trim(s.substr(0, eq));
    line.value = Trim(s.substr(eq + 1));
  }
  return line;
}

std::u16string Decode(const std::string& bytes, Encoding& encoding) {
  const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  if (n >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF))) {
    const bool little = b[0] == 0xFF;
    encoding = little ? Encoding::Utf16Le : Encoding::Utf16Be;
    std::u16string out;
    out.reserve(n / 2);
    for (std::size_t i = 2; i + 1 < n; i += 2)
      out.push_back(little ? static_cast<char16_t>(b[i] | (b[i + 1] << 8)) : static_cast<char16_t>((b[i] << 8) | b[i + 1]));
    return out;
  }
  if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) {
    encoding = Encoding::Utf8Bom;
    return plat::u16(std::string_view(bytes).substr(3));
  }
  encoding = Encoding::Ansi;
  return plat::ToWide(CP_ACP, bytes);
}

std::string Encode(const std::u16string& text, Encoding encoding) {
  switch (encoding) {
    case Encoding::Utf8Bom:
      return "\xEF\xBB\xBF" + plat::utf8(text);
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
      const bool little = encoding == Encoding::Utf16Le;
      std::string out = little ? "\xFF\xFE" : "\xFE\xFF";
      for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out.push_back(little ? lo : hi);
        out.push_back(little ? hi : lo);
      }
      return out;
    }
    case Encoding::Ansi:
      break;
  }
  return plat::ToNarrow(CP_ACP, text);
}

ProfileFile Parse(const std::string& bytes) {
  ProfileFile file;
  const std::u16string text = Decode(bytes, file.encoding);
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t j = i;
    while (j < text.size() && text[j] != u'\r' && text[j] != u'\n') ++j;
    // A zero unit ends what a line says; the rest of it is ignored.
    const auto end = std::find(text.begin() + i, text.begin() + j, u'\0');
    file.text.emplace_back(text.begin() + i, end);
    if (j < text.size() && text[j] == u'\r' && j + 1 < text.size() && text[j + 1] == u'\n') ++j;
    i = j + 1;
  }
  file.lines.reserve(file.text.size());
  for (const auto& t : file.text) file.lines.push_back(Classify(t));
  std::size_t header = std::u16string::npos;
  for (std::size_t i = 0; i < file.lines.size(); ++i) {
    const Line& line = file.lines[i];
    if (line.kind == Line::Kind::Section) {
      header = i;
      file.sectionAt.emplace(Folded(line.name), i);
      file.keyAt[i];
    } else if (line.kind == Line::Kind::Entry && header != std::u16string::npos) {
      file.keyAt[header].emplace(Folded(line.name), i);
    }
  }
  return file;
}

// Windows path of a profile file: a name without a drive lives in the
// Windows folder; no name at all means "win.ini" there.
std::u16string ProfilePath(LPCWSTR fileName) {
  std::u16string name = fileName && *fileName ? std::u16string(fileName) : std::u16string(u"win.ini");
  const bool absolute = name.size() >= 2 && name[1] == u':';
  if (absolute) return name;
  WCHAR dir[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(dir, MAX_PATH);
  std::u16string path(dir, n < MAX_PATH ? n : 0);
  while (!name.empty() && (name.front() == u'\\' || name.front() == u'/')) name.erase(0, 1);
  return path + u"\\" + name;
}

bool ReadBytes(const std::string& host, std::string& bytes) {
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  bytes.clear();
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

// Parsed files by host path, valid while the file's identity, size and
// times and the ANSI code page stay the same.
struct CacheEntry {
  dev_t dev;
  ino_t ino;
  off_t size;
  struct timespec mtime;
  struct timespec ctime;
  UINT codePage;
  std::shared_ptr<const ProfileFile> file;
};
std::mutex g_cacheLock;
std::map<std::string, CacheEntry> g_cache;
std::size_t g_parseCount = 0;

bool SameTime(const struct timespec& a, const struct timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

// The parsed file, or nullptr when it cannot be read.
std::shared_ptr<const ProfileFile> Load(LPCWSTR fileName) {
  std::string host;
  if (!plat::machine::HostPath(ProfilePath(fileName), host)) return nullptr;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  const UINT codePage = plat::machine::AnsiCodePage();
  {
    std::lock_guard g(g_cacheLock);
    auto it = g_cache.find(host);
    if (it != g_cache.end()) {
      const CacheEntry& e = it->second;
      if (e.dev == st.st_dev && e.ino == st.st_ino && e.size == st.st_size && SameTime(e.mtime, st.st_mtim) &&
          SameTime(e.ctime, st.st_ctim) && e.codePage == codePage)
        return e.file;
    }
  }
  std::string bytes;
  if (!ReadBytes(host, bytes)) return nullptr;
  auto file = std::make_shared<const ProfileFile>(Parse(bytes));
  std::lock_guard g(g_cacheLock);
  ++g_parseCount;
  // The times are those seen before reading: a change while reading makes
  // the next call read again.
  g_cache[host] = CacheEntry{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim, codePage, file};
  return file;
}

// Index of the first line of the first section with that name, or npos.
// Valid on a file as parsed (the index is not kept up by edits).
std::size_t FindSection(const ProfileFile& f, std::u16string_view name) {
  const auto it = f.sectionAt.find(Folded(name));
  return it == f.sectionAt.end() ? std::u16string::npos : it->second;
}

std::size_t SectionEnd(const ProfileFile& f, std::size_t header) {
  std::size_t i = header + 1;
  while (i < f.lines.size() && f.lines[i].kind != Line::Kind::Section) ++i;
  return i;
}

// The line of key in the section whose header is at `header`, or npos; on a
// file as parsed, like FindSection.
std::size_t FindKey(const ProfileFile& f, std::size_t header, std::u16string_view key) {
  const auto keys = f.keyAt.find(header);
  if (keys == f.keyAt.end()) return std::u16string::npos;
  const auto it = keys->second.find(Folded(key));
  return it == keys->second.end() ? std::u16string::npos : it->second;
}

std::u16string Unquote(std::u16string_view v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
  return std::u16string(v);
}

// The value of [section] key, one pair of quotes removed; nullopt when missing.
std::optional<std::u16string> Lookup(const ProfileFile* file, std::u16string_view section, std::u16string_view key) {
  if (!file) return std::nullopt;
  const std::size_t s = FindSection(*file, Trim(section));
  if (s == std::u16string::npos) return std::nullopt;
  const std::size_t k = FindKey(*file, s, Trim(key));
  if (k == std::u16string::npos) return std::nullopt;
  return Unquote(file->lines[k].value);
}

// Every "key=value" line of the section (the key alone when it has no '='),
// each followed by a zero.
std::u16string SectionLines(LPCWSTR section, LPCWSTR fileName) {
  std::u16string list;
  if (!section) return list;
  const auto file = Load(fileName);
  if (!file) return list;
  const std::size_t s = FindSection(*file, Trim(plat::view(section)));
  if (s == std::u16string::npos) return list;
  for (std::size_t i = s + 1, end = SectionEnd(*file, s); i < end; ++i) {
    const Line& l = file->lines[i];
    if (l.kind != Line::Kind::Entry) continue;
    list += l.name;
    if (Trim(file->text[i]).find(u'=') != std::u16string_view::npos) list += u"=" + l.value;
    list += u'\0';
  }
  return list;
}

// The items of a zero-separated list, up to the first empty one.
std::vector<std::u16string> SplitList(std::u16string_view list) {
  std::vector<std::u16string> out;
  for (std::size_t at = 0; at < list.size();) {
    const std::size_t end = std::min(list.find(u'\0', at), list.size());
    if (end == at) break;
    out.emplace_back(list.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// What a string query answers: a single value, or a list of names.
struct Answer {
  bool list = false;
  std::u16string text;  // list: each name followed by a zero
};

Answer Query(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPCWSTR fileName) {
  const auto file = Load(fileName);
  Answer a;
  if (!section || !key) {
    a.list = true;
    if (!file) return a;
    if (!section) {
      for (const auto& l : file->lines)
        if (l.kind == Line::Kind::Section) a.text += l.name + u'\0';
      return a;
    }
    const std::size_t s = FindSection(*file, plat::view(section));
    if (s == std::u16string::npos) return a;
    for (std::size_t i = s + 1, end = SectionEnd(*file, s); i < end; ++i)
      if (file->lines[i].kind == Line::Kind::Entry) a.text += file->lines[i].name + u'\0';
    return a;
  }
  if (auto value = Lookup(file.get(), plat::view(section), plat::view(key))) {
    a.text = std::move(*value);
    return a;
  }
  std::u16string_view def = plat::view(defaultValue);
  while (!def.empty() && IsBlank(def.back())) def.remove_suffix(1);
  a.text = def;
  return a;
}

// Copies an answer into a caller's buffer of `size` units with the
// truncation rules of the platform; returns the units copied without the
// final terminator (a list counts the zero after each name).
template <typename C>
DWORD CopyAnswer(const std::basic_string<C>& text, bool list, C* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  if (!list) {
    const std::size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n * sizeof(C));
    buffer[n] = 0;
    return static_cast<DWORD>(n);
  }
  // A list ends with a second zero; a cut list still does, and answers size - 2.
  if (text.size() + 1 <= size) {
    std::memcpy(buffer, text.data(), text.size() * sizeof(C));
    buffer[text.size()] = 0;
    if (text.empty() && size >= 2) buffer[1] = 0;
    return static_cast<DWORD>(text.size());
  }
  if (size < 2) {
    buffer[0] = 0;
    return 0;
  }
  std::memcpy(buffer, text.data(), (size - 2) * sizeof(C));
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  return size - 2;
}

std::u16string Wide(LPCSTR s) { return s ? plat::ToWide(CP_ACP, s) : std::u16string(); }

UINT ParseInt(std::u16string_view v) {
  std::size_t i = 0;
  bool negative = false;
  if (i < v.size() && (v[i] == u'-' || v[i] == u'+')) negative = v[i++] == u'-';
  std::uint32_t n = 0;
  for (; i < v.size() && v[i] >= u'0' && v[i] <= u'9'; ++i) n = n * 10 + (v[i] - u'0');
  return negative ? 0u - n : n;
}

bool WriteWhole(const std::string& host, const std::string& bytes) {
  const auto slash = host.find_last_of('/');
  const std::string temp = host.substr(0, slash + 1) + "." + host.substr(slash + 1) + ".tmp" + std::to_string(getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const bool ok = done == bytes.size() && ::close(fd) == 0;
  // The old file is replaced only by a complete new one.
  if (!ok || ::rename(temp.c_str(), host.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}
}  // namespace

extern "C" {
DWORD GetPrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR defaultValue, LPWSTR buffer, DWORD size,
                               LPCWSTR fileName) {
  const Answer a = Query(section, key, defaultValue, fileName);
  return CopyAnswer(a.text, a.list, buffer, size);
}

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR defaultValue, LPSTR buffer, DWORD size,
                               LPCSTR fileName) {
  const std::u16string s = Wide(section), k = Wide(key), d = Wide(defaultValue), f = Wide(fileName);
  const Answer a = Query(section ? s.c_str() : nullptr, key ? k.c_str() : nullptr, defaultValue ? d.c_str() : nullptr,
                         fileName ? f.c_str() : nullptr);
  return CopyAnswer(plat::ToNarrow(CP_ACP, a.text), a.list, buffer, size);
}

UINT GetPrivateProfileIntW(LPCWSTR section, LPCWSTR key, INT defaultValue, LPCWSTR fileName) {
  if (!section || !key) return static_cast<UINT>(defaultValue);
  const Answer a = Query(section, key, u"", fileName);
  if (a.text.empty()) return static_cast<UINT>(defaultValue);
  return ParseInt(a.text);
}

UINT GetPrivateProfileIntA(LPCSTR section, LPCSTR key, INT defaultValue, LPCSTR fileName) {
  if (!section || !key) return static_cast<UINT>(defaultValue);
  const std::u16string s = Wide(section), k = Wide(key), f = Wide(fileName);
  return GetPrivateProfileIntW(s.c_str(), k.c_str(), defaultValue, fileName ? f.c_str() : nullptr);
}

DWORD GetPrivateProfileSectionW(LPCWSTR section, LPWSTR buffer, DWORD size, LPCWSTR fileName) {
  return CopyAnswer(SectionLines(section, fileName), true, buffer, size);
}

BOOL WritePrivateProfileStringW(LPCWSTR section, LPCWSTR key, LPCWSTR value, LPCWSTR fileName) {
  if (!section) {
    if (!key && !value) plat::profile::DropCache();
    SetLastError(key || value ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
    return FALSE;
  }
  const std::u16string path = ProfilePath(fileName);
  std::string host;
  if (!plat::machine::HostPath(path, host)) return FALSE;

  ProfileFile file;
  std::string bytes;
  const bool existed = ReadBytes(host, bytes);
  if (existed) file = Parse(bytes);
  const DWORD attrs = existed ? GetFileAttributesW(path.c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }

  const std::size_t s = FindSection(file, Trim(plat::view(section)));
  auto erase = [&](std::size_t from, std::size_t to) {
    file.text.erase(file.text.begin() + from, file.text.begin() + to);
    file.lines.erase(file.lines.begin() + from, file.lines.begin() + to);
  };
  auto insert = [&](std::size_t at, std::u16string text) {
    file.lines.insert(file.lines.begin() + at, Classify(text));
    file.text.insert(file.text.begin() + at, std::move(text));
  };
  if (!key) {
    if (s == std::u16string::npos) return TRUE;
    erase(s, SectionEnd(file, s));
  } else if (!value) {
    if (s == std::u16string::npos) return TRUE;
    const std::size_t k = FindKey(file, s, Trim(plat::view(key)));
    if (k == std::u16string::npos) return TRUE;
    erase(k, k + 1);
  } else if (s == std::u16string::npos) {
    insert(file.text.size(), u"[" + std::u16string(Trim(plat::view(section))) + u"]");
    insert(file.text.size(), std::u16string(Trim(plat::view(key))) + u"=" + std::u16string(value));
  } else {
    const std::size_t k = FindKey(file, s, Trim(plat::view(key)));
    if (k != std::u16string::npos) {
      std::u16string line = file.lines[k].name + u"=" + std::u16string(value);
      erase(k, k + 1);
      insert(k, std::move(line));
    } else {
      // After the section's last non-blank line, ahead of blank lines that
      // separate it from the next section.
      std::size_t at = SectionEnd(file, s);
      while (at > s + 1 && Trim(file.text[at - 1]).empty()) --at;
      insert(at, std::u16string(Trim(plat::view(key))) + u"=" + std::u16string(value));
    }
  }

  // Share modes of other opens hold for this write too.
  HANDLE probe = INVALID_HANDLE_VALUE;
  if (existed) {
    probe = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return FALSE;
  }
  std::u16string text;
  for (const auto& t : file.text) text += t + u"\r\n";
  const bool ok = WriteWhole(host, Encode(text, file.encoding));
  const DWORD error = ok ? ERROR_SUCCESS : (errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
  if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);
  if (!ok) {
    SetLastError(error);
    return FALSE;
  }
  if (attrs != INVALID_FILE_ATTRIBUTES) SetFileAttributesW(path.c_str(), attrs);
  {
    std::lock_guard g(g_cacheLock);
    g_cache.erase(host);
  }
  return TRUE;
}
}

namespace plat::profile {
std::size_t ParseCount() {
  std::lock_guard g(g_cacheLock);
  return g_parseCount;
}

void DropCache() {
  std::lock_guard g(g_cacheLock);
  g_cache.clear();
}

std::optional<std::u16string> ReadValue(std::u16string_view file, std::u16string_view section,
                                        std::u16string_view key) {
  const std::u16string f(file);
  return Lookup(Load(f.c_str()).get(), section, key);
}

std::vector<std::u16string> ReadKeys(std::u16string_view file, std::u16string_view section) {
  const std::u16string f(file), s(section);
  return SplitList(Query(s.c_str(), nullptr, u"", f.c_str()).text);
}

std::vector<std::u16string> ReadSection(std::u16string_view file, std::u16string_view section) {
  const std::u16string f(file), s(section);
  return SplitList(SectionLines(s.c_str(), f.c_str()));
}

std::vector<std::u16string> SplitCommaFields(std::u16string_view text) {
  std::vector<std::u16string> out;
  for (;;) {
    const auto comma = text.find(u',');
    out.emplace_back(Trim(text.substr(0, comma)));
    if (comma == std::u16string_view::npos) return out;
    text.remove_prefix(comma + 1);
  }
}

std::optional<std::u16string_view> Unframe(std::u16string_view text, char16_t delimiter) {
  if (text.size() < 2 || text.front() != delimiter || text.back() != delimiter) return std::nullopt;
  return text.substr(1, text.size() - 2);
}
}  // namespace plat::profile
