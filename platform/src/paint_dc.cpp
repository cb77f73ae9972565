// Painting without a screen: paint and memory DCs, bitmaps selected into
// them, and BitBlt, with every blit into a window recorded.
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "plat/dialog.h"
#include "window_internal.h"

namespace {

struct Dc {
  HWND window = nullptr;      // a window's paint DC
  HGDIOBJ bitmap = nullptr;   // a memory DC's bitmap
};

struct Gdi {
  std::mutex lock;
  std::map<HDC, Dc> dcs;
  std::map<HWND, std::vector<plat::Blit>> blits;
  ULONG_PTR next = 0x5D000000;
};

Gdi& G() {
  static Gdi* g = new Gdi;
  return *g;
}

HDC NewDc(HWND window) {
  auto& g = G();
  std::lock_guard guard(g.lock);
  HDC dc = reinterpret_cast<HDC>(g.next += 16);
  g.dcs[dc] = Dc{window, nullptr};
  return dc;
}

// The 0xRRGGBB pixel of a 24-bit bitmap, bottom-up rows as BMP files keep them.
bool PixelOf(HGDIOBJ bitmap, int x, int y, DWORD& rgb) {
  BITMAP bm{};
  if (!bitmap || GetObjectW(bitmap, sizeof bm, &bm) != sizeof bm || !bm.bmBits) return false;
  if (x < 0 || y < 0 || x >= bm.bmWidth || y >= bm.bmHeight) return false;
  const auto* row = static_cast<const BYTE*>(bm.bmBits) + static_cast<std::size_t>(bm.bmHeight - 1 - y) * bm.bmWidthBytes;
  const BYTE* p = row + x * 3;
  rgb = static_cast<DWORD>(p[2]) << 16 | static_cast<DWORD>(p[1]) << 8 | p[0];
  return true;
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
  auto& g = G();
  std::lock_guard guard(g.lock);
  auto t = g.dcs.find(target);
  auto s = g.dcs.find(source);
  if (t == g.dcs.end() || s == g.dcs.end() || !s->second.bitmap || width < 0 || height < 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD pixel = 0;
  if (!PixelOf(s->second.bitmap, sourceX, sourceY, pixel)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (t->second.window) g.blits[t->second.window].push_back(plat::Blit{x, y, width, height, rop, pixel});
  return TRUE;
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

void PaintWindow(HWND dialog) {
  SendMessageW(dialog, WM_PAINT, 0, 0);
  for (HWND child : internal::ChildrenOf(dialog)) {
    if (internal::KindOf(child) != internal::WindowKind::ComboBox || !(internal::StyleOf(child) & CBS_OWNERDRAWFIXED))
      continue;
    const int id = GetDlgCtrlID(child);
    const LRESULT selected = SendMessageW(child, CB_GETCURSEL, 0, 0);
    const LRESULT count = SendMessageW(child, CB_GETCOUNT, 0, 0);
    const bool dropped = SendMessageW(child, CB_GETDROPPEDSTATE, 0, 0) != 0;
    HDC dc = NewDc(child);
    auto draw = [&](LRESULT item, UINT state) {
      DRAWITEMSTRUCT d{};
      d.CtlType = ODT_COMBOBOX;
      d.CtlID = static_cast<UINT>(id);
      d.itemID = static_cast<UINT>(item);
      d.itemAction = ODA_DRAWENTIRE;
      d.itemState = state;
      d.hwndItem = child;
      d.hDC = dc;
      d.itemData = item >= 0 ? static_cast<ULONG_PTR>(SendMessageW(child, CB_GETITEMDATA, static_cast<WPARAM>(item), 0)) : 0;
      SendMessageW(dialog, WM_DRAWITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&d));
    };
    draw(selected, ODS_COMBOBOXEDIT);
    if (dropped)
      for (LRESULT i = 0; i < count; ++i) draw(i, i == selected ? ODS_SELECTED : 0);
    DeleteDC(dc);
  }
}

std::size_t LiveDcCount() {
  auto& g = G();
  std::lock_guard guard(g.lock);
  return g.dcs.size();
}

}  // namespace plat
