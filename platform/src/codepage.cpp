#include "plat/codepage.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "plat/machine.h"
#include "plat/strings.h"

namespace {
enum class Kind { Utf8, SingleByte, DoubleByte };

struct CodePageInfo {
  UINT codePage;
  Kind kind;
  const char* iconvName;
};
constexpr CodePageInfo kCodePages[] = {
    {437, Kind::SingleByte, "CP437"},    {850, Kind::SingleByte, "CP850"},    {874, Kind::SingleByte, "CP874"},
    {932, Kind::DoubleByte, "CP932"},    {936, Kind::DoubleByte, "CP936"},    {949, Kind::DoubleByte, "CP949"},
    {950, Kind::DoubleByte, "CP950"},    {1250, Kind::SingleByte, "CP1250"},  {1251, Kind::SingleByte, "CP1251"},
    {1252, Kind::SingleByte, "CP1252"},  {1253, Kind::SingleByte, "CP1253"},  {1254, Kind::SingleByte, "CP1254"},
    {1255, Kind::SingleByte, "CP1255"},  {1256, Kind::SingleByte, "CP1256"},  {1257, Kind::SingleByte, "CP1257"},
    {1258, Kind::SingleByte, "CP1258"},  {65001, Kind::Utf8, nullptr},
};

const CodePageInfo* Lookup(UINT codePage) {
  if (codePage == CP_ACP || codePage == CP_THREAD_ACP) codePage = plat::machine::AnsiCodePage();
  else if (codePage == CP_OEMCP) codePage = plat::machine::OemCodePage();
  for (const auto& cp : kCodePages)
    if (cp.codePage == codePage) return &cp;
  return nullptr;
}

// Single-byte code pages are two tables built once from iconv, one byte at a
// time (so that code pages with combining marks never compose). Bytes 80-9F
// that the code page leaves undefined stand for U+0080-U+009F, as on the
// platform; other undefined bytes are invalid.
struct ByteTable {
  std::array<char16_t, 256> decode{};
  std::array<bool, 256> valid{};
  std::vector<std::int16_t> encode = std::vector<std::int16_t>(0x10000, -1);
};

const ByteTable& TableFor(const CodePageInfo& cp) {
  static std::mutex lock;
  static std::map<UINT, std::unique_ptr<ByteTable>> tables;
  std::lock_guard g(lock);
  auto& slot = tables[cp.codePage];
  if (slot) return *slot;
  slot = std::make_unique<ByteTable>();
  ByteTable& t = *slot;
  iconv_t cd = iconv_open("UTF-16LE", cp.iconvName);
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char16_t out[4] = {};
    char* ip = &in;
    std::size_t il = 1;
    char* op = reinterpret_cast<char*>(out);
    std::size_t ol = sizeof out;
    bool ok = false;
    if (cd != reinterpret_cast<iconv_t>(-1)) {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1) &&
           iconv(cd, nullptr, nullptr, &op, &ol) != static_cast<std::size_t>(-1) && ol == sizeof out - 2;
    } else {
      ok = b < 0x80;
      out[0] = static_cast<char16_t>(b);
    }
    if (ok) {
      t.decode[b] = out[0];
      t.valid[b] = true;
    } else if (b >= 0x80 && b <= 0x9F && cp.codePage >= 1250) {
      t.decode[b] = static_cast<char16_t>(b);
      t.valid[b] = true;
    } else {
      t.decode[b] = 0xFFFD;
    }
  }
  if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  for (int b = 255; b >= 0; --b)
    if (t.valid[b]) t.encode[t.decode[b]] = static_cast<std::int16_t>(b);
  return t;
}

// iconv descriptors of the double-byte code pages, one set per thread
// (a descriptor carries conversion state).
struct Descriptors {
  std::map<std::pair<UINT, bool>, iconv_t> open;
  ~Descriptors() {
    for (auto& [key, cd] : open) iconv_close(cd);
  }
  iconv_t Get(const CodePageInfo& cp, bool toWide) {
    auto [it, fresh] = open.try_emplace({cp.codePage, toWide}, reinterpret_cast<iconv_t>(-1));
    if (fresh) {
      it->second = toWide ? iconv_open("UTF-16LE", cp.iconvName) : iconv_open(cp.iconvName, "UTF-16LE");
      if (it->second == reinterpret_cast<iconv_t>(-1)) {
        open.erase(it);
        return reinterpret_cast<iconv_t>(-1);
      }
    }
    iconv(it->second, nullptr, nullptr, nullptr, nullptr);
    return it->second;
  }
};
thread_local Descriptors t_descriptors;

bool DecodeDoubleByte(const CodePageInfo& cp, const char* in, std::size_t n, std::u16string& out, bool& invalid) {
  iconv_t cd = t_descriptors.Get(cp, true);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char16_t> buf(n + 8);
  char* ip = const_cast<char*>(in);
  std::size_t il = n;
  while (il > 0) {
    char* op = reinterpret_cast<char*>(buf.data());
    std::size_t ol = buf.size() * 2;
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf.data(), (buf.size() * 2 - ol) / 2);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // A byte that starts no valid character (or a lead byte cut off at the
    // end) becomes U+FFFD, and decoding goes on with the next byte.
    out.push_back(0xFFFD);
    invalid = true;
    ++ip;
    --il;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool EncodeDoubleByte(const CodePageInfo& cp, const char16_t* in, std::size_t n, std::string_view defaultChar,
                      std::string& out, bool& usedDefault) {
  iconv_t cd = t_descriptors.Get(cp, false);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::vector<char> buf(n * 2 + 8);
  const char* const start = reinterpret_cast<const char*>(in);
  char* ip = const_cast<char*>(start);
  std::size_t il = n * 2;
  while (il > 0) {
    char* op = buf.data();
    std::size_t ol = buf.size();
    const std::size_t r = iconv(cd, &ip, &il, &op, &ol);
    out.append(buf.data(), buf.size() - ol);
    if (r != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) continue;
    // Unmappable character: the default character, never a look-alike.
    const std::size_t at = (ip - start) / 2;
    std::size_t skip = 1;
    if (at + 1 < n && in[at] >= 0xD800 && in[at] <= 0xDBFF && in[at + 1] >= 0xDC00 && in[at + 1] <= 0xDFFF) skip = 2;
    out.append(defaultChar);
    usedDefault = true;
    ip += skip * 2;
    il -= std::min(il, skip * 2);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return true;
}

bool Overlap(const void* a, std::size_t aBytes, const void* b, std::size_t bBytes) {
  const auto pa = reinterpret_cast<std::uintptr_t>(a), pb = reinterpret_cast<std::uintptr_t>(b);
  return pa < pb + bBytes && pb < pa + aBytes;
}

bool Decode(const CodePageInfo& cp, const char* in, std::size_t n, std::u16string& out, bool& invalid) {
  switch (cp.kind) {
    case Kind::Utf8: {
      out = plat::u16(std::string_view(in, n));
      invalid = plat::utf8(out) != std::string_view(in, n);
      return true;
    }
    case Kind::SingleByte: {
      const ByteTable& t = TableFor(cp);
      out.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(in[i]);
        out[i] = t.decode[b];
        if (!t.valid[b]) invalid = true;
      }
      return true;
    }
    case Kind::DoubleByte:
      return DecodeDoubleByte(cp, in, n, out, invalid);
  }
  return false;
}

bool Encode(const CodePageInfo& cp, const char16_t* in, std::size_t n, std::string_view defaultChar,
            std::string& out, bool& usedDefault, bool& invalid) {
  switch (cp.kind) {
    case Kind::Utf8: {
      const std::u16string_view text(in, n);
      out = plat::utf8(text);
      invalid = plat::u16(out) != text;
      return true;
    }
    case Kind::SingleByte: {
      const ByteTable& t = TableFor(cp);
      out.clear();
      out.reserve(n);
      for (std::size_t i = 0; i < n; ++i) {
        const std::int16_t b = t.encode[in[i]];
        if (b >= 0) {
          out.push_back(static_cast<char>(b));
          continue;
        }
        // A surrogate pair is one character and gets one default character.
        if (in[i] >= 0xD800 && in[i] <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) ++i;
        out.append(defaultChar);
        usedDefault = true;
      }
      return true;
    }
    case Kind::DoubleByte:
      out.clear();
      return EncodeDoubleByte(cp, in, n, defaultChar, out, usedDefault);
  }
  return false;
}
}  // namespace

extern "C" {
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR in, int length, LPWSTR out, int outSize) {
  const CodePageInfo* cp = Lookup(codePage);
  if (!cp || !in || length == 0 || length < -1 || outSize < 0 || (outSize > 0 && !out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = cp->kind == Kind::Utf8 ? MB_ERR_INVALID_CHARS : (MB_PRECOMPOSED | MB_ERR_INVALID_CHARS);
  if (flags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  const std::size_t n = length == -1 ? std::strlen(in) + 1 : static_cast<std::size_t>(length);
  if (outSize > 0 && Overlap(in, n, out, static_cast<std::size_t>(outSize) * sizeof(WCHAR))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string wide;
  bool invalid = false;
  if (!Decode(*cp, in, n, wide, invalid)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (outSize == 0) return static_cast<int>(wide.size());
  if (wide.size() > static_cast<std::size_t>(outSize)) {
    std::memcpy(out, wide.data(), static_cast<std::size_t>(outSize) * sizeof(WCHAR));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, wide.data(), wide.size() * sizeof(WCHAR));
  return static_cast<int>(wide.size());
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR in, int length, LPSTR out, int outSize,
                        LPCSTR defaultChar, LPBOOL usedDefault) {
  const CodePageInfo* cp = Lookup(codePage);
  if (!cp || !in || length == 0 || length < -1 || outSize < 0 || (outSize > 0 && !out) ||
      (cp->kind == Kind::Utf8 && (defaultChar || usedDefault))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD allowed = cp->kind == Kind::Utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  if (flags & ~allowed) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  std::size_t n = 0;
  if (length == -1) {
    while (in[n]) ++n;
    ++n;
  } else {
    n = static_cast<std::size_t>(length);
  }
  if (outSize > 0 && Overlap(in, n * sizeof(WCHAR), out, static_cast<std::size_t>(outSize))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string_view def = "?";
  if (defaultChar && defaultChar[0]) {
    const bool pair = cp->kind == Kind::DoubleByte && static_cast<unsigned char>(defaultChar[0]) >= 0x81 && defaultChar[1];
    def = std::string_view(defaultChar, pair ? 2 : 1);
  }
  std::string narrow;
  bool used = false, invalid = false;
  if (!Encode(*cp, in, n, def, narrow, used, invalid)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (invalid && (flags & WC_ERR_INVALID_CHARS)) {
    SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return 0;
  }
  if (usedDefault) *usedDefault = used ? TRUE : FALSE;
  if (outSize == 0) return static_cast<int>(narrow.size());
  if (narrow.size() > static_cast<std::size_t>(outSize)) {
    std::memcpy(out, narrow.data(), static_cast<std::size_t>(outSize));
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, narrow.data(), narrow.size());
  return static_cast<int>(narrow.size());
}

UINT GetACP() { return plat::machine::AnsiCodePage(); }
UINT GetOEMCP() { return plat::machine::OemCodePage(); }
}

namespace plat {
std::u16string ToWide(UINT codePage, std::string_view text) {
  std::u16string out;
  bool invalid = false;
  if (const CodePageInfo* cp = Lookup(codePage)) Decode(*cp, text.data(), text.size(), out, invalid);
  return out;
}

std::string ToNarrow(UINT codePage, std::u16string_view text, bool* usedDefault) {
  std::string out;
  bool used = false, invalid = false;
  if (const CodePageInfo* cp = Lookup(codePage)) Encode(*cp, text.data(), text.size(), "?", out, used, invalid);
  if (usedDefault) *usedDefault = used;
  return out;
}
}  // namespace plat
