#include "plat/strings.h"

#include <cstdio>

#include <algorithm>
#include <cstring>

namespace {
template <typename C>
int Length(const C* s) {
  if (!s) return 0;
  int n = 0;
  while (s[n]) ++n;
  return n;
}

template <typename C>
C* CopyN(C* dst, const C* src, int max) {
  if (!dst || max <= 0) return dst;
  int i = 0;
  if (src)
    for (; i < max - 1 && src[i]; ++i) dst[i] = src[i];
  dst[i] = 0;
  return dst;
}

template <typename C, typename Fold>
int Compare(const C* a, const C* b, Fold fold) {
  static const C empty[1] = {0};
  if (!a) a = empty;
  if (!b) b = empty;
  for (;; ++a, ++b) {
    const auto ca = fold(*a), cb = fold(*b);
    if (ca != cb) return ca < cb ? -1 : 1;
    if (!ca) return 0;
  }
}

unsigned NarrowFold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? u - 32 : u;
}

// The formatter behind the wsprintf family. Out is the caller's buffer of at
// least WSPRINTF_MAX units; what does not fit is dropped.
template <typename C>
class Formatter {
 public:
  explicit Formatter(C* out) : out_(out) {}

  int Run(const C* format, va_list args) {
    for (const C* p = format; p && *p; ++p) {
      if (*p != '%') {
        Put(*p);
        continue;
      }
      ++p;
      if (*p == '%') {
        Put('%');
        continue;
      }
      bool left = false, zero = false, alt = false;
      for (;; ++p) {
        if (*p == '-') left = true;
        else if (*p == '0') zero = true;
        else if (*p == '#') alt = true;
        else break;
      }
      int width = 0;
      while (*p >= '0' && *p <= '9') width = std::min(width * 10 + (*p++ - '0'), WSPRINTF_MAX);
      int precision = -1;
      if (*p == '.') {
        ++p;
        precision = 0;
        while (*p >= '0' && *p <= '9') precision = std::min(precision * 10 + (*p++ - '0'), WSPRINTF_MAX);
      }
      // Size prefixes: h names the narrow form, l (and w) the wide one.
      int other = 0;  // -1 narrow, +1 wide, 0 the formatter's own width
      if (*p == 'h') other = -1, ++p;
      else if (*p == 'l' || *p == 'w') other = 1, ++p;
      if (!*p) break;
      const C conv = *p;
      std::u16string text, prefix;  // prefix: sign or 0x, kept ahead of zero padding
      bool numeric = false;
      switch (conv) {
        case 'd':
        case 'i': {
          const int v = va_arg(args, int);
          if (v < 0) prefix = u"-";
          text = Digits(v < 0 ? 0u - static_cast<unsigned>(v) : static_cast<unsigned>(v), 10, false);
          numeric = true;
          break;
        }
        case 'u':
          text = Digits(va_arg(args, unsigned), 10, false);
          numeric = true;
          break;
        case 'x':
        case 'X': {
          const unsigned v = va_arg(args, unsigned);
          text = Digits(v, 16, conv == 'X');
          if (alt && v) prefix = conv == 'X' ? u"0X" : u"0x";
          numeric = true;
          break;
        }
        case 'c':
        case 'C': {
          const int v = va_arg(args, int);
          const bool wide = other ? other > 0 : (conv == 'C') != IsWideSelf();
          text.push_back(wide ? static_cast<char16_t>(v & 0xFFFF) : static_cast<char16_t>(v & 0xFF));
          break;
        }
        case 's':
        case 'S': {
          const void* s = va_arg(args, const void*);
          const bool wide = other ? other > 0 : (conv == 'S') != IsWideSelf();
          if (!s) {
            text = u"(null)";
          } else if (wide) {
            const auto* w = static_cast<const char16_t*>(s);
            for (int i = 0; w[i] && (precision < 0 || i < precision); ++i) text.push_back(w[i]);
          } else {
            const auto* n = static_cast<const char*>(s);
            for (int i = 0; n[i] && (precision < 0 || i < precision); ++i)
              text.push_back(static_cast<unsigned char>(n[i]));
          }
          break;
        }
        default:
          // Unknown conversions print themselves, as the platform does.
          Put(conv);
          continue;
      }
      if (numeric && precision >= 0) {
        if (precision == 0 && text == u"0") text.clear();
        if (static_cast<int>(text.size()) < precision) text.insert(0, precision - text.size(), u'0');
        zero = false;
      }
      const int pad = width - static_cast<int>(prefix.size() + text.size());
      if (pad > 0 && !left) {
        if (zero && numeric) text.insert(0, pad, u'0');
        else prefix.insert(0, pad, u' ');
      }
      text.insert(0, prefix);
      for (char16_t c : text) Put(static_cast<C>(c));
      if (pad > 0 && left)
        for (int i = 0; i < pad; ++i) Put(' ');
    }
    out_[n_] = 0;
    return n_;
  }

 private:
  static constexpr bool IsWideSelf() { return sizeof(C) == 2; }

  static std::u16string Digits(unsigned v, unsigned base, bool upper) {
    const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    std::u16string s;
    do {
      s.insert(s.begin(), static_cast<char16_t>(set[v % base]));
      v /= base;
    } while (v);
    return s;
  }

  void Put(C c) {
    if (n_ < WSPRINTF_MAX - 1) out_[n_++] = c;
  }

  C* out_;
  int n_ = 0;
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
}  // namespace

extern "C" {
int lstrlenW(LPCWSTR s) { return Length(s); }
int lstrlenA(LPCSTR s) { return Length(s); }

LPWSTR lstrcpyW(LPWSTR dst, LPCWSTR src) {
  if (!dst) return nullptr;
  const int n = Length(src);
  if (n) std::memmove(dst, src, n * sizeof(WCHAR));
  dst[n] = 0;
  return dst;
}
LPSTR lstrcpyA(LPSTR dst, LPCSTR src) {
  if (!dst) return nullptr;
  const int n = Length(src);
  if (n) std::memmove(dst, src, n);
  dst[n] = 0;
  return dst;
}
LPWSTR lstrcpynW(LPWSTR dst, LPCWSTR src, int max) { return CopyN(dst, src, max); }
LPSTR lstrcpynA(LPSTR dst, LPCSTR src, int max) { return CopyN(dst, src, max); }
LPWSTR lstrcatW(LPWSTR dst, LPCWSTR src) {
  if (!dst) return nullptr;
  lstrcpyW(dst + Length(dst), src);
  return dst;
}
LPSTR lstrcatA(LPSTR dst, LPCSTR src) {
  if (!dst) return nullptr;
  lstrcpyA(dst + Length(dst), src);
  return dst;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
  return Compare(a, b, [](WCHAR c) { return static_cast<unsigned>(c); });
}
int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
  return Compare(a, b, [](WCHAR c) { return static_cast<unsigned>(plat::FoldCase(c)); });
}
int lstrcmpA(LPCSTR a, LPCSTR b) {
  return Compare(a, b, [](char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)); });
}
int lstrcmpiA(LPCSTR a, LPCSTR b) {
  return Compare(a, b, NarrowFold);
}

int wvsprintfW(LPWSTR out, LPCWSTR format, va_list args) {
  if (!out) return 0;
  return Formatter<WCHAR>(out).Run(format, args);
}
int wsprintfW(LPWSTR out, LPCWSTR format, ...) {
  va_list args;
  va_start(args, format);
  const int n = wvsprintfW(out, format, args);
  va_end(args);
  return n;
}
int wvsprintfA(LPSTR out, LPCSTR format, va_list args) {
  if (!out) return 0;
  return Formatter<char>(out).Run(format, args);
}
int wsprintfA(LPSTR out, LPCSTR format, ...) {
  va_list args;
  va_start(args, format);
  const int n = wvsprintfA(out, format, args);
  va_end(args);
  return n;
}
}

namespace plat {
std::u16string u16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0, min = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) extra = 1, cp = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, cp = b & 0x0F, min = 0x800;
      if (b == 0xE0) lo = 0xA0;
      if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, cp = b & 0x07, min = 0x10000;
      if (b == 0xF0) lo = 0x90;
      if (b == 0xF4) hi = 0x8F;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    // A broken sequence becomes one U+FFFD for its longest valid start.
    std::size_t j = i + 1;
    bool ok = true;
    for (int k = 0; k < extra; ++k, ++j) {
      if (j >= s.size()) {
        ok = false;
        break;
      }
      const auto c = static_cast<unsigned char>(s[j]);
      const unsigned char l = k == 0 ? lo : 0x80, h = k == 0 ? hi : 0xBF;
      if (c < l || c > h) {
        ok = false;
        break;
      }
      cp = (cp << 6) | (c & 0x3F);
    }
    i = j;
    if (!ok || cp < min) {
      out.push_back(0xFFFD);
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

std::string utf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

WCHAR FoldCase(WCHAR c) {
  if (c < 0x80) return (c >= u'a' && c <= u'z') ? static_cast<WCHAR>(c - 32) : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<WCHAR>(c - 32);
  if (c == 0xFF) return 0x178;
  if (c >= 0x100 && c <= 0x17F) {
    // Latin Extended-A pairs: upper case first, except in 0x139-0x148 and
    // 0x179-0x17E where the pairs start on odd code points.
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) return (c & 1) ? c : static_cast<WCHAR>(c - 1);
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c & 1) ? static_cast<WCHAR>(c - 1) : c;
  }
  if (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) return static_cast<WCHAR>(c - 32);
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return static_cast<WCHAR>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<WCHAR>(c - 80);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<WCHAR>(c - 32);  // full-width Latin
  return c;
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}
}  // namespace plat

namespace plat {
std::string JsonQuoted(std::u16string_view text) {
  std::string out = "\"";
  for (char c : utf8(text)) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char esc[8];
      std::snprintf(esc, sizeof esc, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += esc;
    } else {
      out += c;
    }
  }
  return out + "\"";
}
}  // namespace plat
