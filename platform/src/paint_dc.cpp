// Painting without a screen: every window has pixels of its client area,
// DCs draw either on those (paint DCs, item DCs) or on a bitmap selected into
// a memory DC; blits, fills and text change real pixels. Blits into windows
// are also recorded.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "gdi_internal.h"
#include "plat/dialog.h"
#include "plat/msgqueue.h"
#include "window_internal.h"

namespace {

using plat::internal::PixelView;

struct Dc {
  HWND window = nullptr;     // a DC on a window's pixels
  HGDIOBJ bitmap = nullptr;  // a memory DC's bitmap
  COLORREF text = 0;
  COLORREF back = 0xFFFFFF;
  int backMode = OPAQUE;
};

// A window's client pixels, top-down.
struct WindowPixels {
  LONG width = 0;
  LONG height = 0;
  std::vector<BYTE> bits;
  bool painted = false;
};

struct Gdi {
  std::mutex lock;
  std::map<HDC, Dc> dcs;
  std::map<HWND, WindowPixels> windows;
  std::map<HWND, std::vector<plat::Blit>> blits;
  std::map<HBRUSH, COLORREF> brushes;
  ULONG_PTR next = 0x5D000000;
};

Gdi& G() {
  static Gdi* g = new Gdi;
  return *g;
}

// Stock objects are fixed handles that are never freed.
HBRUSH const kWhiteBrush = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(0x5C000010));
HBRUSH const kBlackBrush = reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(0x5C000020));

HDC NewDc(HWND window) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  HDC dc = reinterpret_cast<HDC>(g.next += 16);
  g.dcs[dc] = Dc{window, nullptr};
  return dc;
}

LONG Stride(LONG width) { return (width * 3 + 3) & ~3; }

// The window's pixels at its client size (a resized window starts over, in
// the grey byte given: white for controls, the face of a dialog, whose class
// erases its background so).
WindowPixels& PixelsOfLocked(HWND window, const RECT& client, BYTE background) {
  const LONG w = std::max<LONG>(client.right - client.left, 0), h = std::max<LONG>(client.bottom - client.top, 0);
  WindowPixels& p = G().windows[window];
  if (p.width != w || p.height != h) {
    p.width = w;
    p.height = h;
    p.bits.assign(static_cast<std::size_t>(Stride(w)) * static_cast<std::size_t>(h), background);
  }
  return p;
}

bool FindDc(HDC dc, Dc& out) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.dcs.find(dc);
  if (it == g.dcs.end()) return false;
  out = it->second;
  return true;
}

// What a DC draws on; false for a memory DC without a bitmap.
bool TargetOf(const Dc& dc, PixelView& view) {
  if (dc.window) {
    RECT client{};
    if (!GetClientRect(dc.window, &client)) return false;
    const BYTE background = plat::internal::KindOf(dc.window) == plat::internal::WindowKind::Dialog ? 240 : 0xFF;
    auto& g = G();
    std::lock_guard guard(g.lock);
    WindowPixels& p = PixelsOfLocked(dc.window, client, background);
    p.painted = true;
    view = PixelView{p.width, p.height, Stride(p.width), true, p.bits.data()};
    return p.width > 0 && p.height > 0;
  }
  return dc.bitmap && plat::internal::BitmapPixels(dc.bitmap, view);
}

bool ViewOf(HDC dc, Dc& info, PixelView& view) { return FindDc(dc, info) && TargetOf(info, view); }

void Put(const PixelView& v, LONG x, LONG y, COLORREF c) {
  BYTE* p = v.Row(y) + x * 3;
  p[0] = GetBValue(c);
  p[1] = GetGValue(c);
  p[2] = GetRValue(c);
}

COLORREF Get(const PixelView& v, LONG x, LONG y) {
  const BYTE* p = v.Row(y) + x * 3;
  return RGB(p[2], p[1], p[0]);
}

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

void Fill(const PixelView& v, RECT r, COLORREF c) {
  r = Intersect(r, RECT{0, 0, v.width, v.height});
  for (LONG y = r.top; y < r.bottom; ++y)
    for (LONG x = r.left; x < r.right; ++x) Put(v, x, y, c);
}

bool BrushColour(HBRUSH brush, COLORREF& c) {
  if (brush == kWhiteBrush) return (c = RGB(255, 255, 255)), true;
  if (brush == kBlackBrush) return (c = 0), true;
  const auto value = reinterpret_cast<ULONG_PTR>(brush);
  if (value >= 1 && value <= 31) return (c = GetSysColor(static_cast<int>(value) - 1)), true;
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.brushes.find(brush);
  if (it == g.brushes.end()) return false;
  c = it->second;
  return true;
}

// ---- text ----

struct Font {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  int lineHeight = 13;
  int ascent = 10;
};

constexpr int kTextPixels = 11;

// The one face the UI draws with, loaded on first use (nullptr without the
// font file). The condensed face runs as wide as the 8-point font the dialog
// templates are sized for; the plain one, wider, is the fallback.
Font* UiFont() {
  static Font* font = [] {
    auto* f = new Font;
    if (FT_Init_FreeType(&f->library) != 0) return static_cast<Font*>(nullptr);
    const bool opened =
        FT_New_Face(f->library, "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed.ttf", 0, &f->face) == 0 ||
        FT_New_Face(f->library, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", 0, &f->face) == 0;
    if (!opened || FT_Set_Pixel_Sizes(f->face, 0, kTextPixels) != 0) return static_cast<Font*>(nullptr);
    f->lineHeight = static_cast<int>(f->face->size->metrics.height >> 6);
    f->ascent = static_cast<int>(f->face->size->metrics.ascender >> 6);
    return f;
  }();
  return font;
}

std::mutex& FontLock() {
  static std::mutex* m = new std::mutex;
  return *m;
}

int Advance(Font& f, char16_t c) {
  if (FT_Load_Char(f.face, c, FT_LOAD_DEFAULT) != 0) return 0;
  return static_cast<int>(f.face->glyph->advance.x >> 6);
}

int Width(Font& f, std::u16string_view s) {
  int w = 0;
  for (char16_t c : s) w += Advance(f, c);
  return w;
}

// Lines of the text: '&' prefixes removed unless DT_NOPREFIX, broken at line
// feeds (not DT_SINGLELINE) and at spaces to fit width (DT_WORDBREAK).
std::vector<std::u16string> LinesOf(Font& f, std::u16string_view text, UINT format, int width) {
  std::u16string clean;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'&' && !(format & DT_NOPREFIX)) {
      if (i + 1 < text.size() && text[i + 1] == u'&') ++i;
      else continue;
    }
    if (c == u'\r') continue;
    if (c == u'\n' && (format & DT_SINGLELINE)) c = u' ';
    clean += c;
  }
  std::vector<std::u16string> lines;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = clean.find(u'\n', start);
    std::u16string line = clean.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    if ((format & DT_WORDBREAK) && !(format & DT_SINGLELINE)) {
      while (Width(f, line) > width) {
        std::size_t cut = line.size();
        while (cut > 0) {
          cut = line.rfind(u' ', cut - 1);
          if (cut == std::u16string::npos || cut == 0) break;
          if (Width(f, std::u16string_view(line).substr(0, cut)) <= width) break;
        }
        if (cut == std::u16string::npos || cut == 0) break;
        lines.push_back(line.substr(0, cut));
        line = line.substr(cut + 1);
      }
    }
    lines.push_back(line);
    if (end == std::u16string::npos) break;
    start = end + 1;
  }
  return lines;
}

void DrawLine(Font& f, const PixelView& v, const RECT& clip, int x, int baseline, std::u16string_view s, COLORREF colour) {
  for (char16_t c : s) {
    if (FT_Load_Char(f.face, c, FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = f.face->glyph;
    const FT_Bitmap& bm = g->bitmap;
    if (bm.pixel_mode == FT_PIXEL_MODE_GRAY) {
      for (unsigned row = 0; row < bm.rows; ++row) {
        const LONG y = baseline - g->bitmap_top + static_cast<LONG>(row);
        if (y < clip.top || y >= clip.bottom) continue;
        for (unsigned col = 0; col < bm.width; ++col) {
          const LONG px = x + g->bitmap_left + static_cast<LONG>(col);
          if (px < clip.left || px >= clip.right) continue;
          const unsigned a = bm.buffer[static_cast<std::ptrdiff_t>(row) * bm.pitch + col];
          if (a == 0) continue;
          const COLORREF d = Get(v, px, y);
          auto mix = [a](unsigned fg, unsigned bg) { return static_cast<BYTE>((fg * a + bg * (255 - a) + 127) / 255); };
          Put(v, px, y,
              RGB(mix(GetRValue(colour), GetRValue(d)), mix(GetGValue(colour), GetGValue(d)),
                  mix(GetBValue(colour), GetBValue(d))));
        }
      }
    }
    x += static_cast<int>(g->advance.x >> 6);
  }
}

}  // namespace

extern "C" {

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  if (!IsWindow(window) || !paint) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  std::memset(paint, 0, sizeof *paint);
  paint->hdc = NewDc(window);
  GetClientRect(window, &paint->rcPaint);
  return paint->hdc;
}

BOOL EndPaint(HWND, const PAINTSTRUCT* paint) { return paint && DeleteDC(paint->hdc); }

HDC GetDC(HWND window) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return NewDc(window);
}

int ReleaseDC(HWND, HDC dc) { return DeleteDC(dc) ? 1 : 0; }

HDC CreateCompatibleDC(HDC) { return NewDc(nullptr); }

BOOL DeleteDC(HDC dc) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  return g.dcs.erase(dc) ? TRUE : FALSE;
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.dcs.find(dc);
  if (it == g.dcs.end() || it->second.window) return nullptr;
  HGDIOBJ before = it->second.bitmap;
  it->second.bitmap = object;
  return before;
}

BOOL BitBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY, DWORD rop) {
  Dc t{}, s{};
  PixelView tv, sv;
  if (!FindDc(target, t) || !ViewOf(source, s, sv) || width < 0 || height < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (sourceX < 0 || sourceY < 0 || sourceX >= sv.width || sourceY >= sv.height) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (t.window) {
    const COLORREF first = Get(sv, sourceX, sourceY);
    const DWORD rgb = static_cast<DWORD>(GetRValue(first)) << 16 | static_cast<DWORD>(GetGValue(first)) << 8 | GetBValue(first);
    auto& g = G();
    std::lock_guard guard(g.lock);
    g.blits[t.window].push_back(plat::Blit{x, y, width, height, rop, rgb});
  }
  if (!TargetOf(t, tv)) return TRUE;  // nothing to draw on: the blit is recorded only
  for (int row = 0; row < height; ++row) {
    const LONG ty = y + row, sy = sourceY + row;
    if (ty < 0 || ty >= tv.height || sy >= sv.height) continue;
    for (int col = 0; col < width; ++col) {
      const LONG tx = x + col, sx = sourceX + col;
      if (tx < 0 || tx >= tv.width || sx >= sv.width) continue;
      const COLORREF c = Get(sv, sx, sy);
      switch (rop) {
        case SRCAND: Put(tv, tx, ty, c & Get(tv, tx, ty)); break;
        case SRCPAINT: Put(tv, tx, ty, c | Get(tv, tx, ty)); break;
        default: Put(tv, tx, ty, c); break;
      }
    }
  }
  return TRUE;
}

BOOL TransparentBlt(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, UINT key) {
  Dc t{}, s{};
  PixelView tv, sv;
  if (!ViewOf(target, t, tv) || !ViewOf(source, s, sv) || width <= 0 || height <= 0 || sourceWidth <= 0 ||
      sourceHeight <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  for (int row = 0; row < height; ++row) {
    const LONG ty = y + row;
    const LONG sy = sourceY + static_cast<LONG>(static_cast<long long>(row) * sourceHeight / height);
    if (ty < 0 || ty >= tv.height || sy < 0 || sy >= sv.height) continue;
    for (int col = 0; col < width; ++col) {
      const LONG tx = x + col;
      const LONG sx = sourceX + static_cast<LONG>(static_cast<long long>(col) * sourceWidth / width);
      if (tx < 0 || tx >= tv.width || sx < 0 || sx >= sv.width) continue;
      const COLORREF c = Get(sv, sx, sy);
      if (c != key) Put(tv, tx, ty, c);
    }
  }
  return TRUE;
}

int FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  Dc info{};
  PixelView v;
  COLORREF c = 0;
  if (!rect || !ViewOf(dc, info, v) || !BrushColour(brush, c)) return 0;
  Fill(v, *rect, c);
  return 1;
}

HBRUSH CreateSolidBrush(COLORREF colour) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  HBRUSH brush = reinterpret_cast<HBRUSH>(g.next += 16);
  g.brushes[brush] = colour & 0xFFFFFF;
  return brush;
}

HGDIOBJ GetStockObject(int index) {
  switch (index) {
    case WHITE_BRUSH: return kWhiteBrush;
    case BLACK_BRUSH: return kBlackBrush;
    default: return nullptr;
  }
}

DWORD GetSysColor(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_BTNSHADOW: return RGB(160, 160, 160);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    default: return RGB(0, 0, 0);
  }
}

HBRUSH GetSysColorBrush(int index) {
  return index >= 0 && index < 31 ? reinterpret_cast<HBRUSH>(static_cast<ULONG_PTR>(index + 1)) : nullptr;
}

COLORREF SetTextColor(HDC dc, COLORREF colour) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.dcs.find(dc);
  if (it == g.dcs.end()) return CLR_INVALID;
  return std::exchange(it->second.text, colour & 0xFFFFFF);
}

COLORREF SetBkColor(HDC dc, COLORREF colour) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.dcs.find(dc);
  if (it == g.dcs.end()) return CLR_INVALID;
  return std::exchange(it->second.back, colour & 0xFFFFFF);
}

COLORREF GetBkColor(HDC dc) {
  Dc info{};
  return FindDc(dc, info) ? info.back : CLR_INVALID;
}

COLORREF GetTextColor(HDC dc) {
  Dc info{};
  return FindDc(dc, info) ? info.text : CLR_INVALID;
}

int SetBkMode(HDC dc, int mode) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.dcs.find(dc);
  if (it == g.dcs.end() || (mode != OPAQUE && mode != TRANSPARENT)) return 0;
  return std::exchange(it->second.backMode, mode);
}

int DrawTextW(HDC dc, LPCWSTR text, int count, RECT* rect, UINT format) {
  Dc info{};
  if (!text || !rect || !FindDc(dc, info)) return 0;
  std::u16string_view s(text);
  if (count >= 0 && static_cast<std::size_t>(count) < s.size()) s = s.substr(0, static_cast<std::size_t>(count));
  Font* font = UiFont();
  if (!font) return 0;
  std::lock_guard fontGuard(FontLock());
  const std::vector<std::u16string> lines = LinesOf(*font, s, format, rect->right - rect->left);
  const int height = static_cast<int>(lines.size()) * font->lineHeight;
  int widest = 0;
  for (const auto& line : lines) widest = std::max(widest, Width(*font, line));
  if (format & DT_CALCRECT) {
    rect->right = rect->left + widest;
    rect->bottom = rect->top + height;
    return height;
  }
  PixelView v;
  if (!TargetOf(info, v)) return 0;
  const RECT clip = Intersect(*rect, RECT{0, 0, v.width, v.height});
  int top = rect->top;
  if (format & DT_SINGLELINE) {
    if (format & DT_VCENTER) top = rect->top + (rect->bottom - rect->top - height) / 2;
    else if (format & DT_BOTTOM) top = rect->bottom - height;
  }
  for (const auto& line : lines) {
    const int w = Width(*font, line);
    int x = rect->left;
    if (format & DT_CENTER) x = rect->left + (rect->right - rect->left - w) / 2;
    else if (format & DT_RIGHT) x = rect->right - w;
    if (info.backMode == OPAQUE) Fill(v, Intersect(RECT{x, top, x + w, top + font->lineHeight}, clip), info.back);
    DrawLine(*font, v, clip, x, top + font->ascent, line, info.text);
    top += font->lineHeight;
  }
  return height;
}

HGDIOBJ LoadBitmapW(HINSTANCE instance, LPCWSTR name) { return LoadImageW(instance, name, IMAGE_BITMAP, 0, 0, 0); }

BOOL SystemParametersInfoW(UINT action, UINT, LPVOID out, UINT) {
  if (action != SPI_GETWORKAREA || !out) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *static_cast<RECT*>(out) = RECT{0, 0, 1920, 1040};
  return TRUE;
}
}

namespace plat::internal {

bool DeleteBrush(HGDIOBJ brush) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  if (brush == kWhiteBrush || brush == kBlackBrush) return true;
  return g.brushes.erase(static_cast<HBRUSH>(brush)) != 0;
}

void ForgetWindowPixels(HWND window) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  g.windows.erase(window);
}

}  // namespace plat::internal

namespace plat {

std::vector<Blit> Blits(HWND window) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.blits.find(window);
  return it == g.blits.end() ? std::vector<Blit>{} : it->second;
}

void ClearBlits() {
  auto& g = G();
  std::lock_guard guard(g.lock);
  g.blits.clear();
}

std::size_t LiveDcCount() {
  auto& g = G();
  std::lock_guard guard(g.lock);
  return g.dcs.size();
}

std::size_t LiveGdiObjectCount() {
  std::size_t brushes = 0;
  {
    auto& g = G();
    std::lock_guard guard(g.lock);
    brushes = g.brushes.size();
  }
  return brushes + internal::LiveBitmapCount();
}

}  // namespace plat

namespace plat::ui {

Picture Snapshot(HWND window) {
  Picture out;
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto it = g.windows.find(window);
  if (it == g.windows.end() || !it->second.painted) return out;
  const WindowPixels& p = it->second;
  out.width = p.width;
  out.height = p.height;
  out.rgb.resize(static_cast<std::size_t>(p.width) * static_cast<std::size_t>(p.height) * 3);
  for (LONG y = 0; y < p.height; ++y) {
    const BYTE* row = &p.bits[static_cast<std::size_t>(y) * static_cast<std::size_t>(Stride(p.width))];
    for (LONG x = 0; x < p.width; ++x) {
      BYTE* o = &out.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(x)) * 3];
      o[0] = row[x * 3 + 2];
      o[1] = row[x * 3 + 1];
      o[2] = row[x * 3];
    }
  }
  return out;
}

COLORREF TextColorOf(HDC dc) {
  Dc info{};
  return FindDc(dc, info) ? info.text : CLR_INVALID;
}

}  // namespace plat::ui
