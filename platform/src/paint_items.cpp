// What the screen would repaint of a dialog: owner-drawn statics, combo
// boxes and list boxes get their WM_DRAWITEM on a DC of the control; and
// pictures written out as PNG files.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <memory>

#include "plat/dialog.h"
#include "window_internal.h"

namespace {

using plat::internal::WindowKind;

bool IsOwnerDrawnStatic(DWORD style) { return (style & SS_TYPEMASK) == SS_OWNERDRAW; }

void SendDrawItem(HWND dialog, HWND control, UINT type, LRESULT item, UINT state, const RECT& rect, LPARAM data) {
  HDC dc = GetDC(control);
  DRAWITEMSTRUCT d{};
  d.CtlType = type;
  d.CtlID = static_cast<UINT>(GetDlgCtrlID(control));
  d.itemID = static_cast<UINT>(item);
  d.itemAction = ODA_DRAWENTIRE;
  d.itemState = state | (IsWindowEnabled(control) ? 0 : ODS_DISABLED);
  d.hwndItem = control;
  d.hDC = dc;
  d.rcItem = rect;
  d.itemData = static_cast<ULONG_PTR>(data);
  SendMessageW(dialog, WM_DRAWITEM, static_cast<WPARAM>(d.CtlID), reinterpret_cast<LPARAM>(&d));
  ReleaseDC(control, dc);
}

}  // namespace

namespace plat::internal {
// A combo box's window holds its dropped list too; the selection field is its top.
LONG ComboFieldHeight(HWND combo) {
  RECT client{};
  GetClientRect(combo, &client);
  const auto item = static_cast<LONG>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  return std::min<LONG>(client.bottom, (item > 0 ? item : 16) + 6);
}
}  // namespace plat::internal

namespace {

void PaintCombo(HWND dialog, HWND combo) {
  RECT client{};
  GetClientRect(combo, &client);
  client.bottom = plat::internal::ComboFieldHeight(combo);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  auto data = [combo](LRESULT i) { return i >= 0 ? static_cast<LPARAM>(SendMessageW(combo, CB_GETITEMDATA, static_cast<WPARAM>(i), 0)) : 0; };
  SendDrawItem(dialog, combo, ODT_COMBOBOX, selected, ODS_COMBOBOXEDIT, client, data(selected));
  if (SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) == 0) return;
  // The dropped list lies below the control: its items are drawn outside the control's pixels.
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  const LONG height = static_cast<LONG>(SendMessageW(combo, CB_GETITEMHEIGHT, 0, 0));
  for (LRESULT i = 0; i < count; ++i) {
    const LONG top = client.bottom + static_cast<LONG>(i) * height;
    SendDrawItem(dialog, combo, ODT_COMBOBOX, i, i == selected ? ODS_SELECTED : 0,
                 RECT{0, top, client.right, top + height}, data(i));
  }
}

void PaintList(HWND dialog, HWND list) {
  RECT client{};
  GetClientRect(list, &client);
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  LONG height = 16;
  for (LRESULT i = 0; i < count; ++i) {
    const LONG top = static_cast<LONG>(i) * height;
    if (top >= client.bottom) break;
    const bool selected = SendMessageW(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
    SendDrawItem(dialog, list, ODT_LISTBOX, i, selected ? ODS_SELECTED : 0, RECT{0, top, client.right, top + height},
                 static_cast<LPARAM>(SendMessageW(list, LB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
  }
}

}  // namespace

namespace plat {

void PaintWindow(HWND dialog) {
  SendMessageW(dialog, WM_PAINT, 0, 0);
  for (HWND child : internal::ChildrenOf(dialog)) {
    const DWORD style = internal::StyleOf(child);
    switch (internal::KindOf(child)) {
      case WindowKind::Static:
        // Hidden statics stay invalid until they are shown.
        if (IsOwnerDrawnStatic(style) && IsWindowVisible(child) && internal::TakeInvalid(child)) {
          RECT client{};
          GetClientRect(child, &client);
          SendDrawItem(dialog, child, ODT_STATIC, 0, 0, client, 0);
        }
        break;
      case WindowKind::ComboBox:
        if ((style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) && IsWindowVisible(child)) PaintCombo(dialog, child);
        break;
      case WindowKind::ListBox:
        if ((style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) && IsWindowVisible(child)) PaintList(dialog, child);
        break;
      default: break;
    }
  }
}

}  // namespace plat

namespace plat::ui {

std::vector<HWND> OwnerDrawnStatics(HWND dialog) {
  std::vector<HWND> out;
  for (HWND child : internal::ChildrenOf(dialog)) {
    if (internal::KindOf(child) == WindowKind::Static && IsOwnerDrawnStatic(internal::StyleOf(child))) out.push_back(child);
  }
  return out;
}

bool WritePng(const Picture& picture, const std::string& path) {
  if (picture.width <= 0 || picture.height <= 0 ||
      picture.rgb.size() != static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height) * 3) {
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < picture.height; ++y) {
    png_write_row(png, &picture.rgb[static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) * 3]);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(f.get()) == 0;
}

}  // namespace plat::ui
