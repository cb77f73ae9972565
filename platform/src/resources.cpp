#include "plat/resources.h"

#include <dlfcn.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>

#include "plat/codepage.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "resource_data.h"

namespace {

enum class Kind { Shared, Resource };

struct Module {
  Kind kind = Kind::Shared;
  std::string hostPath;  // canonical
  void* dl = nullptr;
  plat::internal::ResourceData data;
  int refs = 0;
  std::set<std::u16string> aliases;  // folded file names it answers to
};

const HMODULE kProgram = reinterpret_cast<HMODULE>(ULONG_PTR{0x00400000});
const HMODULE kKernel32 = reinterpret_cast<HMODULE>(ULONG_PTR{0x7FF00000});
const HMODULE kWinspool = reinterpret_cast<HMODULE>(ULONG_PTR{0x7FE00000});
const HMODULE kNewdev = reinterpret_cast<HMODULE>(ULONG_PTR{0x7FD00000});

struct Modules {
  std::mutex mutex;
  std::map<HMODULE, std::unique_ptr<Module>> loaded;
  std::map<std::u16string, std::string> mappings;  // folded module name -> host file
  std::vector<std::string> searchFolders;
  ULONG_PTR nextHandle = 0x10000000;
  bool programRead = false;
  plat::internal::ResourceData programData;  // the program's own, embedded in its file
};

Modules& Mods() {
  static Modules* m = new Modules;  // lives as long as the process; libraries may free late
  return *m;
}

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = plat::FoldCase(c);
  return out;
}

std::u16string_view FileNamePart(std::u16string_view name) {
  size_t slash = name.find_last_of(u"\\/");
  return slash == std::u16string_view::npos ? name : name.substr(slash + 1);
}

bool EndsWithNoCase(std::u16string_view s, std::u16string_view tail) {
  return s.size() > tail.size() && plat::EqualsNoCase(s.substr(s.size() - tail.size()), tail);
}

bool IsKernel32(std::u16string_view name) {
  auto f = FileNamePart(name);
  return plat::EqualsNoCase(f, u"kernel32.dll") || plat::EqualsNoCase(f, u"kernel32");
}

bool IsWinspool(std::u16string_view name) { return plat::EqualsNoCase(FileNamePart(name), u"winspool.drv"); }
// The device installer's library came with Windows Vista.
bool IsNewdev(std::u16string_view name) {
  return plat::EqualsNoCase(FileNamePart(name), u"newdev.dll") && plat::machine::GetOsProfile().major >= 6;
}

bool IsDrivePath(std::u16string_view name) {
  return name.size() >= 3 && ((name[0] >= u'A' && name[0] <= u'Z') || (name[0] >= u'a' && name[0] <= u'z')) &&
         name[1] == u':' && (name[2] == u'\\' || name[2] == u'/');
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Canonical(const std::string& path) {
  char buf[PATH_MAX];
  return ::realpath(path.c_str(), buf) ? std::string(buf) : path;
}

// The host file a module name means (see resources.h), or "" when none exists.
std::string ResolveFile(Modules& m, std::u16string_view name) {
  if (auto it = m.mappings.find(Folded(name)); it != m.mappings.end()) return it->second;
  const std::u16string_view file = FileNamePart(name);
  if (auto it = m.mappings.find(Folded(file)); it != m.mappings.end()) return it->second;
  if (!name.empty() && name[0] == u'/') return IsFile(plat::utf8(name)) ? plat::utf8(name) : std::string();
  if (IsDrivePath(name)) {
    std::string host = plat::machine::HostPath(name);
    if (IsFile(host)) return host;
  }
  if (file.empty()) return {};
  std::string narrow = plat::utf8(file);
  for (const auto& folder : m.searchFolders) {
    std::string candidate = folder + "/" + narrow;
    if (IsFile(candidate)) return candidate;
    if (EndsWithNoCase(file, u".dll")) {
      candidate = folder + "/" + narrow.substr(0, narrow.size() - 4) + ".so";
      if (IsFile(candidate)) return candidate;
    }
  }
  return {};
}

// "name.so" also answers to "name.dll".
std::u16string SoAlias(std::u16string_view fileName) {
  if (EndsWithNoCase(fileName, u".so")) return Folded(std::u16string(fileName.substr(0, fileName.size() - 3)) + u".dll");
  return Folded(fileName);
}

Module* FindByPath(Modules& m, const std::string& canonical, HMODULE* handle) {
  for (auto& [h, mod] : m.loaded) {
    if (mod->hostPath == canonical) {
      *handle = h;
      return mod.get();
    }
  }
  return nullptr;
}

// ---- resource module files ----

constexpr std::string_view kMagic = "RESOURCES";

// Appends the UTF-16 form of one UTF-8 text; false on invalid UTF-8.
bool DecodeUtf8(std::string_view in, std::u16string& out) {
  size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    char32_t cp = 0;
    size_t extra = 0;
    if (b < 0x80) {
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      cp = b & 0x1F;
      extra = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      cp = b & 0x0F;
      extra = 2;
    } else if (b >= 0xF0 && b <= 0xF4) {
      cp = b & 0x07;
      extra = 3;
    } else {
      return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
      if (i + k >= in.size()) return false;
      const auto c = static_cast<unsigned char>(in[i + k]);
      if ((c & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (c & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += extra + 1;
  }
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The text of a string entry with its escapes resolved; "" error when fine.
std::string UnescapeText(std::string_view raw, std::u16string& out) {
  std::string plain;  // UTF-8 runs between escapes
  auto flush = [&]() -> bool {
    bool ok = DecodeUtf8(plain, out);
    plain.clear();
    return ok;
  };
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      plain.push_back(raw[i]);
      continue;
    }
    if (!flush()) return "invalid UTF-8";
    if (++i >= raw.size()) return "'\\' at the end of the line";
    switch (raw[i]) {
      case 'n': out.push_back(u'\n'); break;
      case 'r': out.push_back(u'\r'); break;
      case 't': out.push_back(u'\t'); break;
      case '\\': out.push_back(u'\\'); break;
      case 'u': {
        if (i + 4 >= raw.size()) return "\\u needs four hex digits";
        unsigned v = 0;
        for (int k = 1; k <= 4; ++k) {
          int d = HexDigit(raw[i + k]);
          if (d < 0) return "\\u needs four hex digits";
          v = v * 16 + static_cast<unsigned>(d);
        }
        out.push_back(static_cast<char16_t>(v));
        i += 4;
        break;
      }
      default: return std::string("unknown escape \\") + raw[i];
    }
  }
  if (!flush()) return "invalid UTF-8";
  return {};
}

// Names a template's style field may use; numbers (decimal or 0x hex) are taken as they are.
struct StyleName {
  std::string_view name;
  DWORD value;
};
constexpr StyleName kStyleNames[] = {
    {"WS_POPUP", 0x80000000},     {"WS_CHILD", 0x40000000},          {"WS_VISIBLE", 0x10000000},
    {"WS_DISABLED", 0x08000000},  {"WS_CAPTION", 0x00C00000},        {"WS_BORDER", 0x00800000},
    {"WS_VSCROLL", 0x00200000},   {"WS_HSCROLL", 0x00100000},        {"WS_SYSMENU", 0x00080000},
    {"WS_GROUP", 0x00020000},     {"WS_TABSTOP", 0x00010000},        {"DS_SETFONT", 0x40},
    {"DS_MODALFRAME", 0x80},      {"DS_CONTROL", 0x400},             {"BS_PUSHBUTTON", 0x0},
    {"BS_DEFPUSHBUTTON", 0x1},    {"BS_CHECKBOX", 0x2},              {"BS_AUTOCHECKBOX", 0x3},
    {"BS_RADIOBUTTON", 0x4},      {"BS_3STATE", 0x5},                {"BS_AUTO3STATE", 0x6},
    {"BS_GROUPBOX", 0x7},         {"BS_AUTORADIOBUTTON", 0x9},       {"BS_OWNERDRAW", 0xB},
    {"BS_ICON", 0x40},            {"BS_BITMAP", 0x80},               {"BS_NOTIFY", 0x4000},
    {"ES_LEFT", 0x0},             {"ES_CENTER", 0x1},                {"ES_RIGHT", 0x2},
    {"ES_MULTILINE", 0x4},        {"ES_PASSWORD", 0x20},             {"ES_AUTOHSCROLL", 0x80},
    {"ES_READONLY", 0x800},       {"ES_NUMBER", 0x2000},             {"SS_LEFT", 0x0},
    {"SS_CENTER", 0x1},           {"SS_RIGHT", 0x2},                 {"SS_ICON", 0x3},
    {"SS_OWNERDRAW", 0xD},        {"SS_BITMAP", 0xE},                {"SS_ETCHEDHORZ", 0x10},
    {"SS_NOTIFY", 0x100},         {"SS_CENTERIMAGE", 0x200},         {"SS_REALSIZEIMAGE", 0x800},
    {"SS_SUNKEN", 0x1000},        {"CBS_SIMPLE", 0x1},               {"CBS_DROPDOWN", 0x2},
    {"CBS_DROPDOWNLIST", 0x3},    {"CBS_OWNERDRAWFIXED", 0x10},      {"CBS_OWNERDRAWVARIABLE", 0x20},
    {"CBS_AUTOHSCROLL", 0x40},    {"CBS_SORT", 0x100},               {"CBS_HASSTRINGS", 0x200},
    {"LBS_NOTIFY", 0x1},          {"LBS_SORT", 0x2},                 {"LBS_MULTIPLESEL", 0x8},
    {"LBS_HASSTRINGS", 0x40},     {"LBS_EXTENDEDSEL", 0x800},        {"UDS_WRAP", 0x1},
    {"UDS_SETBUDDYINT", 0x2},     {"UDS_ALIGNRIGHT", 0x4},           {"UDS_ALIGNLEFT", 0x8},
    {"UDS_AUTOBUDDY", 0x10},      {"UDS_ARROWKEYS", 0x20},           {"UDS_HORZ", 0x40},
    {"UDS_NOTHOUSANDS", 0x80},    {"TBS_AUTOTICKS", 0x1},            {"TBS_VERT", 0x2},
    {"TBS_BOTH", 0x8},            {"TBS_NOTICKS", 0x10},
    {"LVS_REPORT", 0x1},          {"LVS_SINGLESEL", 0x4},            {"LVS_SHOWSELALWAYS", 0x8},
};

// The window classes a template may name (matched without case).
constexpr std::u16string_view kControlClasses[] = {u"Button",          u"Edit",           u"Static",
                                                   u"ComboBox",        u"ListBox",        u"msctls_updown32",
                                                   u"msctls_trackbar32", u"SysIPAddress32",
                                                   u"SysListView32",   u"msctls_progress32"};

std::vector<std::string_view> SplitTabs(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) return parts;
    start = tab + 1;
  }
}

// A signed decimal number that fits in int32.
bool ParseInt(std::string_view text, long long lo, long long hi, long long& out) {
  bool negative = !text.empty() && text[0] == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty() || text.size() > 10) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  out = negative ? -v : v;
  return out >= lo && out <= hi;
}

bool ParseStyle(std::string_view text, DWORD& out) {
  out = 0;
  if (text.empty()) return true;
  size_t start = 0;
  for (;;) {
    const size_t bar = text.find('|', start);
    std::string_view part = text.substr(start, bar == std::string_view::npos ? std::string_view::npos : bar - start);
    while (!part.empty() && part.front() == ' ') part.remove_prefix(1);
    while (!part.empty() && part.back() == ' ') part.remove_suffix(1);
    bool found = false;
    if (part.size() > 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X') && part.size() <= 10) {
      DWORD v = 0;
      found = true;
      for (char c : part.substr(2)) {
        const int d = HexDigit(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<DWORD>(d);
      }
      out |= v;
    } else if (long long n = 0; ParseInt(part, 0, 0xFFFFFFFFLL, n)) {
      found = true;
      out |= static_cast<DWORD>(n);
    } else {
      for (const StyleName& s : kStyleNames) {
        if (s.name == part) {
          out |= s.value;
          found = true;
          break;
        }
      }
    }
    if (!found) return false;
    if (bar == std::string_view::npos) return true;
    start = bar + 1;
  }
}

std::string JoinHost(const std::string& folder, std::string_view relative) {
  if (!relative.empty() && relative[0] == '/') return std::string(relative);
  return folder.empty() ? std::string(relative) : folder + "/" + std::string(relative);
}

// Parses a resource module file; folder is the host folder of the file, to
// which image paths are relative. Returns "" or "line N: fault".
// Base64 text (with '=' padding) to bytes; false for any other character or length.
bool DecodeBase64(std::string_view text, std::vector<BYTE>& out) {
  if (text.size() % 4 != 0) return false;
  const auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
  };
  out.clear();
  out.reserve(text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const int pad = last ? (text[i + 3] == '=') + (text[i + 2] == '=') : 0;
    std::uint32_t n = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int v = k >= 4 - static_cast<std::size_t>(pad) ? 0 : value(text[i + k]);
      if (v < 0) return false;
      n = (n << 6) | static_cast<std::uint32_t>(v);
    }
    out.push_back(static_cast<BYTE>(n >> 16));
    if (pad < 2) out.push_back(static_cast<BYTE>(n >> 8));
    if (pad < 1) out.push_back(static_cast<BYTE>(n));
  }
  return true;
}

std::string ParseResourceText(std::string_view text, const std::string& folder, plat::internal::ResourceData& data) {
  using plat::internal::ImageFile;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  enum class Section { None, Strings, Dialog, Bitmaps, Icons, Cursors, Unknown } section = Section::None;
  plat::internal::DialogTemplate* dialog = nullptr;
  size_t lineNo = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    pos = end == std::string_view::npos ? text.size() : end + 1;
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    auto fault = [&](const std::string& what) { return "line " + std::to_string(lineNo) + ": " + what; };
    if (lineNo == 1) {
      if (line != "RESOURCES 1") return fault("the first line must be \"RESOURCES 1\"");
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.size() < 3 || line.back() != ']') return fault("a section name is written [NAME]");
      const std::string_view name = line.substr(1, line.size() - 2);
      dialog = nullptr;
      if (name == "STRINGTABLE") {
        section = Section::Strings;
      } else if (name == "BITMAP") {
        section = Section::Bitmaps;
      } else if (name == "ICON") {
        section = Section::Icons;
      } else if (name == "CURSOR") {
        section = Section::Cursors;
      } else if (name.substr(0, 7) == "DIALOG ") {
        long long id = 0;
        if (!ParseInt(name.substr(7), 0, 65535, id)) return fault("a dialog section is written [DIALOG id]");
        auto [it, fresh] = data.dialogs.try_emplace(static_cast<UINT>(id));
        if (!fresh) return fault("dialog " + std::to_string(id) + " given twice");
        dialog = &it->second;
        section = Section::Dialog;
      } else {
        section = Section::Unknown;
      }
      continue;
    }
    if (section == Section::Unknown) continue;
    if (section == Section::None) return fault("an entry before the first section");
    const std::vector<std::string_view> f = SplitTabs(line);
    if (f.size() < 2) return fault("no TAB between the id and the text");
    if (section == Section::Dialog) {
      std::u16string textOut;
      if (f[0] == "CAPTION" && f.size() == 2) {
        if (std::string e = UnescapeText(f[1], dialog->caption); !e.empty()) return fault(e);
      } else if (f[0] == "SIZE" && f.size() == 3) {
        long long w = 0, h = 0;
        if (!ParseInt(f[1], 1, 4096, w) || !ParseInt(f[2], 1, 4096, h)) return fault("SIZE takes a width and a height");
        dialog->width = static_cast<int>(w);
        dialog->height = static_cast<int>(h);
      } else if (f[0] == "FONT" && f.size() == 3) {
        long long points = 0;
        if (!ParseInt(f[1], 1, 72, points)) return fault("FONT takes a size in points and a name");
        dialog->fontPoints = static_cast<int>(points);
        if (std::string e = UnescapeText(f[2], dialog->fontName); !e.empty()) return fault(e);
      } else if (f[0] == "STYLE" && f.size() == 2) {
        if (!ParseStyle(f[1], dialog->style)) return fault("unknown style");
      } else if (f[0] == "CONTROL" && (f.size() == 9 || f.size() == 8)) {
        plat::internal::ControlTemplate c;
        long long id = 0, x = 0, y = 0, w = 0, h = 0;
        if (!ParseInt(f[1], -1, 65535, id)) return fault("a control id is a number -1..65535");
        std::u16string cls;
        if (std::string e = UnescapeText(f[2], cls); !e.empty()) return fault(e);
        bool known = false;
        for (std::u16string_view k : kControlClasses) {
          if (plat::EqualsNoCase(cls, k)) {
            c.className = std::u16string(k);
            known = true;
          }
        }
        if (!known) return fault("unknown control class");
        if (!ParseInt(f[3], 0, 4096, x) || !ParseInt(f[4], 0, 4096, y) || !ParseInt(f[5], 0, 4096, w) ||
            !ParseInt(f[6], 0, 4096, h)) {
          return fault("a control's rectangle is x, y, width, height in dialog units");
        }
        if (!ParseStyle(f[7], c.style)) return fault("unknown style");
        if (f.size() == 9) {
          if (std::string e = UnescapeText(f[8], c.text); !e.empty()) return fault(e);
        }
        c.id = static_cast<int>(id);
        c.units = RECT{static_cast<LONG>(x), static_cast<LONG>(y), static_cast<LONG>(w), static_cast<LONG>(h)};
        for (const auto& other : dialog->controls) {
          if (c.id != -1 && other.id == c.id) return fault("control " + std::to_string(c.id) + " given twice");
        }
        dialog->controls.push_back(std::move(c));
      } else {
        return fault("a dialog line is CAPTION, SIZE, FONT, STYLE or CONTROL with its fields");
      }
      continue;
    }
    long long id = 0;
    if (!ParseInt(f[0], 0, 65535, id)) return fault("the id must be a number 0..65535");
    if (section == Section::Strings) {
      std::u16string textOut;
      if (std::string e = UnescapeText(line.substr(line.find('\t') + 1), textOut); !e.empty()) return fault(e);
      if (!data.strings.emplace(static_cast<UINT>(id), std::move(textOut)).second) {
        return fault("id " + std::to_string(id) + " given twice");
      }
      continue;
    }
    ImageFile file;
    if (section == Section::Cursors) {
      long long hx = 0, hy = 0;
      if (f.size() != 4 || !ParseInt(f[2], 0, 255, hx) || !ParseInt(f[3], 0, 255, hy)) {
        return fault("a cursor line is id, file, hot spot x and y");
      }
      file.hotSpot = POINT{static_cast<LONG>(hx), static_cast<LONG>(hy)};
    } else if (f.size() != 2) {
      return fault("an image line is id and file");
    }
    if (f[1].empty()) return fault("an image line names a file");
    if (f[1].substr(0, 5) == "data:") {
      if (!DecodeBase64(f[1].substr(5), file.bytes) || file.bytes.empty()) return fault("an image's data is not base64");
    } else {
      file.hostPath = JoinHost(folder, f[1]);
      file.moduleFolder = folder;
    }
    auto& table = section == Section::Bitmaps ? data.bitmaps : section == Section::Icons ? data.icons : data.cursors;
    if (!table.emplace(static_cast<UINT>(id), std::move(file)).second) {
      return fault("id " + std::to_string(id) + " given twice");
    }
  }
  if (lineNo == 0) return "line 1: the first line must be \"RESOURCES 1\"";
  return {};
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

constexpr std::streamoff kMaxResourceFile = 64 << 20;

bool ReadWholeFile(const std::string& path, std::string& out) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return false;
  f.seekg(0, std::ios::end);
  std::streamoff size = f.tellg();
  if (size < 0 || size > kMaxResourceFile) return false;
  f.seekg(0);
  out.resize(static_cast<size_t>(size));
  return static_cast<bool>(f.read(out.data(), size)) || size == 0;
}

enum class FileKind { Missing, Elf, Resource, Other };

FileKind Sniff(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) return FileKind::Missing;
  char head[12] = {};
  f.read(head, sizeof head);
  std::string_view h(head, static_cast<size_t>(f.gcount()));
  if (h.substr(0, 4) == "\x7F" "ELF") return FileKind::Elf;
  if (h.substr(0, 3) == "\xEF\xBB\xBF") h.remove_prefix(3);
  if (h.substr(0, kMagic.size()) == kMagic) return FileKind::Resource;
  return FileKind::Other;
}


// A program's own resources follow its file: the resource text, then
// "PLATRES1" and the text's length as 10 decimal digits.
void ReadProgramResources(plat::internal::ResourceData& data) {
  std::ifstream in("/proc/self/exe", std::ios::binary);
  constexpr std::streamoff kTrailer = 18;
  if (!in.seekg(-kTrailer, std::ios::end)) return;
  const std::streamoff end = in.tellg();
  char trailer[kTrailer + 1] = {};
  if (!in.read(trailer, kTrailer) || std::string_view(trailer, 8) != "PLATRES1") return;
  char* stop = nullptr;
  const unsigned long length = std::strtoul(trailer + 8, &stop, 10);
  if (stop != trailer + kTrailer || length == 0 || static_cast<std::streamoff>(length) > end) return;
  std::string text(length, '\0');
  if (!in.seekg(end - static_cast<std::streamoff>(length)) || !in.read(text.data(), static_cast<std::streamsize>(length)))
    return;
  // Files the resources name (bitmaps, icons) are beside the program.
  char exe[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return;
  const std::string self(exe, static_cast<std::size_t>(n));
  plat::internal::ResourceData parsed;
  if (ParseResourceText(text, self.substr(0, self.find_last_of('/')), parsed).empty()) data = std::move(parsed);
}

// The program's embedded resources, read once; false when it has none. The
// caller holds the modules' lock.
bool ProgramData(Modules& m) {
  if (!m.programRead) {
    m.programRead = true;
    ReadProgramResources(m.programData);
  }
  const auto& d = m.programData;
  return !d.strings.empty() || !d.dialogs.empty() || !d.bitmaps.empty() || !d.icons.empty();
}
}  // namespace

extern "C" {

HMODULE LoadLibraryW(LPCWSTR fileName) {
  const std::u16string_view name = plat::view(fileName);
  if (name.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (IsKernel32(name)) return kKernel32;
  if (IsWinspool(name)) return kWinspool;
  if (IsNewdev(name)) return kNewdev;
  auto& m = Mods();
  std::string host;
  {
    std::lock_guard lock(m.mutex);
    host = ResolveFile(m, name);
    if (host.empty()) {
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    }
    host = Canonical(host);
    HMODULE h = nullptr;
    if (Module* mod = FindByPath(m, host, &h)) {
      ++mod->refs;
      mod->aliases.insert(Folded(FileNamePart(name)));
      return h;
    }
  }
  auto mod = std::make_unique<Module>();
  mod->hostPath = host;
  mod->refs = 1;
  mod->aliases.insert(Folded(FileNamePart(name)));
  mod->aliases.insert(SoAlias(FileNamePart(plat::u16(host))));
  switch (Sniff(host)) {
    case FileKind::Missing:
      SetLastError(ERROR_MOD_NOT_FOUND);
      return nullptr;
    case FileKind::Other:
      SetLastError(ERROR_BAD_FORMAT);
      return nullptr;
    case FileKind::Resource: {
      std::string text;
      if (!ReadWholeFile(host, text) || !ParseResourceText(text, FolderOf(host), mod->data).empty()) {
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
      }
      mod->kind = Kind::Resource;
      break;
    }
    case FileKind::Elf:
      // Outside the lock: the library's constructors may load modules themselves.
      mod->dl = ::dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (!mod->dl) {
        SetLastError(ERROR_BAD_FORMAT);
        return nullptr;
      }
      mod->kind = Kind::Shared;
      break;
  }
  void* extra = nullptr;
  HMODULE result = nullptr;
  {
    std::lock_guard lock(m.mutex);
    HMODULE h = nullptr;
    if (Module* other = FindByPath(m, host, &h)) {  // another thread loaded it meanwhile
      ++other->refs;
      other->aliases.insert(mod->aliases.begin(), mod->aliases.end());
      extra = mod->dl;
      result = h;
    } else {
      result = reinterpret_cast<HMODULE>(m.nextHandle);
      m.nextHandle += 0x10000;
      m.loaded[result] = std::move(mod);
    }
  }
  if (extra) ::dlclose(extra);
  return result;
}

HMODULE LoadLibraryExW(LPCWSTR fileName, HANDLE, DWORD) { return LoadLibraryW(fileName); }

HMODULE LoadLibraryA(LPCSTR fileName) {
  if (!fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::u16string wide = plat::ToWide(CP_ACP, fileName);
  return LoadLibraryW(wide.c_str());
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR buffer, DWORD size) {
  const bool program = !module || module == kProgram;
  std::string host;
  if (program) {
    char exe[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) host.assign(exe, static_cast<std::size_t>(n));
  } else {
    auto& m = Mods();
    std::lock_guard lock(m.mutex);
    if (auto it = m.loaded.find(module); it != m.loaded.end()) host = it->second->hostPath;
  }
  std::u16string path = host.empty() ? std::u16string() : plat::machine::WindowsPath(host);
  if (path.empty() && program) path = plat::ProcessImagePath();
  if (path.empty()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
  }
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DWORD n = static_cast<DWORD>(std::min<std::size_t>(path.size(), size - 1));
  std::memcpy(buffer, path.data(), n * sizeof(WCHAR));
  buffer[n] = 0;
  if (n < path.size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return n;
}

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size) {
  WCHAR wide[MAX_PATH * 4];
  SetLastError(ERROR_SUCCESS);
  const DWORD n = GetModuleFileNameW(module, wide, MAX_PATH * 4);
  if (n == 0) return 0;
  const std::string narrow = plat::ToNarrow(CP_ACP, std::u16string_view(wide, n));
  if (!buffer || size == 0) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  const DWORD copied = static_cast<DWORD>(std::min<std::size_t>(narrow.size(), size - 1));
  std::memcpy(buffer, narrow.data(), copied);
  buffer[copied] = 0;
  if (copied < narrow.size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return copied;
}

BOOL FreeLibrary(HMODULE module) {
  if (module == kKernel32 || module == kWinspool || module == kNewdev || module == kProgram) return TRUE;
  auto& m = Mods();
  std::unique_ptr<Module> gone;
  {
    std::lock_guard lock(m.mutex);
    auto it = m.loaded.find(module);
    if (it == m.loaded.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    if (--it->second->refs > 0) return TRUE;
    gone = std::move(it->second);
    m.loaded.erase(it);
  }
  // Outside the lock: the library's destructors may free modules themselves.
  if (gone->dl) ::dlclose(gone->dl);
  return TRUE;
}

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  if (!moduleName) return kProgram;
  const std::u16string_view name = plat::view(moduleName);
  if (IsKernel32(name)) return kKernel32;
  if (IsWinspool(name)) return kWinspool;
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  std::string host = ResolveFile(m, name);
  HMODULE h = nullptr;
  if (!host.empty() && FindByPath(m, Canonical(host), &h)) return h;
  const std::u16string file = Folded(FileNamePart(name));
  const std::u16string withDll = file.find(u'.') == std::u16string::npos ? Folded(std::u16string(file) + u".dll") : file;
  for (auto& [handle, mod] : m.loaded)
    if (mod->aliases.count(file) || mod->aliases.count(withDll)) return handle;
  SetLastError(ERROR_MOD_NOT_FOUND);
  return nullptr;
}

FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
  if (!procName || reinterpret_cast<ULONG_PTR>(procName) < 0x10000) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  if (module == kKernel32 || module == kWinspool || module == kNewdev) {
    FARPROC f = plat::machine::SystemProcAddress(
        module == kKernel32 ? "kernel32.dll" : module == kNewdev ? "newdev.dll" : "winspool.drv", procName);
    if (!f) SetLastError(ERROR_PROC_NOT_FOUND);
    return f;
  }
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  auto it = m.loaded.find(module);
  if (it == m.loaded.end() && module != kProgram) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  void* sym = nullptr;
  if (it != m.loaded.end() && it->second->dl) sym = ::dlsym(it->second->dl, procName);
  if (!sym) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  return reinterpret_cast<FARPROC>(sym);
}

int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int chars) {
  if (!buffer || chars < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  const bool program = instance == kProgram && ProgramData(m);
  auto it = m.loaded.find(instance);
  if (!program && (it == m.loaded.end() || it->second->kind != Kind::Resource)) {
    if (chars > 0) buffer[0] = 0;
    SetLastError(it == m.loaded.end() && instance != kProgram && instance != kKernel32 ? ERROR_INVALID_HANDLE
                                                                                       : ERROR_RESOURCE_DATA_NOT_FOUND);
    return 0;
  }
  const auto& strings = program ? m.programData.strings : it->second->data.strings;
  auto s = strings.find(id);
  if (s == strings.end() || s->second.empty()) {
    if (chars > 0) buffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  const std::u16string& text = s->second;
  if (chars == 0) {
    const WCHAR* p = text.data();
    std::memcpy(buffer, &p, sizeof p);
    return static_cast<int>(text.size());
  }
  const size_t n = std::min(text.size(), static_cast<size_t>(chars) - 1);
  std::memcpy(buffer, text.data(), n * sizeof(WCHAR));
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // extern "C"

namespace plat::internal {

bool FindDialogTemplate(HMODULE module, UINT id, DialogTemplate& out) {
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  auto it = m.loaded.find(module);
  const bool program = module == kProgram && ProgramData(m);
  if (!program && (it == m.loaded.end() || it->second->kind != Kind::Resource)) return false;
  const auto& dialogs = program ? m.programData.dialogs : it->second->data.dialogs;
  auto d = dialogs.find(id);
  if (d == dialogs.end()) return false;
  out = d->second;
  return true;
}

bool FindImageFile(HMODULE module, ImageKind kind, UINT id, ImageFile& out) {
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  auto it = m.loaded.find(module);
  const bool program = module == kProgram && ProgramData(m);
  if (!program && (it == m.loaded.end() || it->second->kind != Kind::Resource)) return false;
  const ResourceData& data = program ? m.programData : it->second->data;
  const auto& table = kind == ImageKind::Bitmap ? data.bitmaps : kind == ImageKind::Icon ? data.icons : data.cursors;
  auto f = table.find(id);
  if (f == table.end()) return false;
  out = f->second;
  return true;
}

}  // namespace plat::internal

namespace plat::resources {

void SetSearchFolders(std::vector<std::string> hostFolders) {
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  m.searchFolders = std::move(hostFolders);
}

void MapModule(std::u16string_view moduleName, std::string hostPath) {
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  if (hostPath.empty())
    m.mappings.erase(Folded(moduleName));
  else
    m.mappings[Folded(moduleName)] = std::move(hostPath);
}

int RefCount(HMODULE module) {
  if (module == kKernel32 || module == kWinspool || module == kNewdev || module == kProgram) return 1;
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  auto it = m.loaded.find(module);
  return it == m.loaded.end() ? 0 : it->second->refs;
}

std::size_t LoadedModuleCount() {
  auto& m = Mods();
  std::lock_guard lock(m.mutex);
  return m.loaded.size();
}

std::string CheckResourceFile(const std::string& hostPath) {
  std::string text;
  if (!ReadWholeFile(hostPath, text)) return "cannot read " + hostPath;
  plat::internal::ResourceData data;
  if (std::string fault = ParseResourceText(text, FolderOf(hostPath), data); !fault.empty()) return fault;
  for (const auto* table : {&data.bitmaps, &data.icons, &data.cursors}) {
    for (const auto& [id, file] : *table) {
      if (file.bytes.empty() && !IsFile(file.hostPath))
        return "image " + std::to_string(id) + ": missing file " + file.hostPath;
    }
  }
  return {};
}

void Reset() {
  auto& m = Mods();
  std::map<HMODULE, std::unique_ptr<Module>> gone;
  {
    std::lock_guard lock(m.mutex);
    gone.swap(m.loaded);
    m.mappings.clear();
    m.searchFolders.clear();
  }
  for (auto& [h, mod] : gone)
    if (mod->dl) ::dlclose(mod->dl);
}

}  // namespace plat::resources

namespace plat {
namespace {
struct ImagePath {
  std::mutex lock;
  std::u16string path = u"C:\\Program Files\\app.exe";
};
ImagePath& TheImagePath() {
  static ImagePath* p = new ImagePath;  // lives as long as the process
  return *p;
}
}  // namespace

std::u16string ProcessImagePath() {
  std::lock_guard lock(TheImagePath().lock);
  return TheImagePath().path;
}

void SetProcessImagePath(std::u16string path) {
  std::lock_guard lock(TheImagePath().lock);
  TheImagePath().path = std::move(path);
}

}  // namespace plat
