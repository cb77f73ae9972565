// A whole dialog (or a sheet's tab strip and current page) drawn as the
// user would see it: every visible control as a plain box with its text and
// state, owner-drawn controls with the pixels their WM_DRAWITEM left, image
// statics with their bitmap or icon.
#include <algorithm>
#include <cmath>
#include <string>

#include "gdi_internal.h"
#include "plat/dialog.h"
#include "plat/propsheet.h"
#include "window_internal.h"

namespace {

using plat::internal::WindowKind;

constexpr COLORREF kFace = RGB(240, 240, 240);
constexpr COLORREF kEdge = RGB(122, 122, 122);
constexpr COLORREF kField = RGB(255, 255, 255);
constexpr COLORREF kText = RGB(0, 0, 0);
constexpr COLORREF kGreyText = RGB(109, 109, 109);
constexpr COLORREF kButton = RGB(225, 225, 225);
constexpr int kTabHeight = 22;

class Canvas {
 public:
  Canvas(int width, int height) {
    bitmap_ = CreateCompatibleBitmap(nullptr, std::max(width, 1), std::max(height, 1));
    dc_ = CreateCompatibleDC(nullptr);
    before_ = SelectObject(dc_, bitmap_);
    SetBkMode(dc_, TRANSPARENT);
    Fill(RECT{0, 0, width, height}, kFace);
  }
  ~Canvas() {
    SelectObject(dc_, before_);
    DeleteDC(dc_);
    DeleteObject(bitmap_);
  }
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  void Fill(const RECT& r, COLORREF c) {
    HBRUSH brush = CreateSolidBrush(c);
    FillRect(dc_, &r, brush);
    DeleteObject(brush);
  }
  // A round mark of radius half the box's side, filled with c.
  void Disc(const RECT& box, COLORREF c) {
    const LONG side = std::min(box.right - box.left, box.bottom - box.top);
    const double radius = side / 2.0, cx = box.left + radius, cy = box.top + radius;
    for (LONG y = box.top; y < box.top + side; ++y) {
      const double dy = y + 0.5 - cy;
      if (dy * dy > radius * radius) continue;
      const double half = std::sqrt(radius * radius - dy * dy);
      Fill(RECT{static_cast<LONG>(std::lround(cx - half)), y, static_cast<LONG>(std::lround(cx + half)), y + 1}, c);
    }
  }
  // The width the text takes.
  LONG TextWidth(const std::u16string& text) {
    RECT r{0, 0, 10000, 100};
    DrawTextW(dc_, text.c_str(), -1, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return r.right - r.left;
  }
  void Frame(const RECT& r, COLORREF c) {
    Fill(RECT{r.left, r.top, r.right, r.top + 1}, c);
    Fill(RECT{r.left, r.bottom - 1, r.right, r.bottom}, c);
    Fill(RECT{r.left, r.top, r.left + 1, r.bottom}, c);
    Fill(RECT{r.right - 1, r.top, r.right, r.bottom}, c);
  }
  // A plain static as its dialog answers WM_CTLCOLORSTATIC: the rectangle
  // filled with the brush it returns (nothing without one); the text colour
  // the dialog chose, ink unless it chose one.
  COLORREF StaticColours(HWND control, const RECT& r, COLORREF ink) {
    SetTextColor(dc_, ink);
    const auto answer = SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc_),
                                     reinterpret_cast<LPARAM>(control));
    SetBkMode(dc_, TRANSPARENT);
    if (answer == 0) return ink;
    FillRect(dc_, &r, reinterpret_cast<HBRUSH>(answer));
    return GetTextColor(dc_);
  }
  void Text(const std::u16string& text, RECT r, COLORREF c, UINT format) {
    SetTextColor(dc_, c);
    DrawTextW(dc_, text.c_str(), -1, &r, format | DT_NOPREFIX);
  }
  // Copies a window's own pixels (what its WM_DRAWITEM drew) to (x, y).
  void Pixels(const plat::ui::Picture& p, int x, int y) {
    plat::internal::PixelView v;
    if (!plat::internal::BitmapPixels(bitmap_, v)) return;
    for (int row = 0; row < p.height; ++row) {
      if (y + row < 0 || y + row >= v.height) continue;
      BYTE* out = v.Row(y + row);
      for (int col = 0; col < p.width; ++col) {
        if (x + col < 0 || x + col >= v.width) continue;
        const BYTE* in = &p.rgb[(static_cast<std::size_t>(row) * static_cast<std::size_t>(p.width) + static_cast<std::size_t>(col)) * 3];
        BYTE* o = out + (x + col) * 3;
        o[0] = in[2];
        o[1] = in[1];
        o[2] = in[0];
      }
    }
  }
  // A bitmap at (x, y), whole: an image static takes its bitmap's size.
  bool Bitmap(HANDLE bitmap, LONG x, LONG y) {
    plat::internal::PixelView in, out;
    if (!bitmap || !plat::internal::BitmapPixels(bitmap, in) || !plat::internal::BitmapPixels(bitmap_, out)) return false;
    for (LONG row = 0; row < in.height; ++row) {
      if (y + row < 0 || y + row >= out.height) continue;
      const BYTE* from = in.Row(row);
      BYTE* to = out.Row(y + row);
      for (LONG col = 0; col < in.width; ++col) {
        if (x + col < 0 || x + col >= out.width) continue;
        std::copy_n(from + col * 3, 3, to + (x + col) * 3);
      }
    }
    return true;
  }
  // An icon at (x, y), blended over what is there by its alpha.
  bool Icon(HANDLE icon, LONG x, LONG y) {
    LONG width = 0, height = 0;
    std::vector<BYTE> rgba;
    plat::internal::PixelView out;
    if (!icon || !plat::internal::IconPixels(icon, width, height, rgba) || !plat::internal::BitmapPixels(bitmap_, out))
      return false;
    for (LONG row = 0; row < height; ++row) {
      if (y + row < 0 || y + row >= out.height) continue;
      BYTE* to = out.Row(y + row);
      for (LONG col = 0; col < width; ++col) {
        if (x + col < 0 || x + col >= out.width) continue;
        const BYTE* p = &rgba[(static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(col)) * 4];
        BYTE* o = to + (x + col) * 3;
        const int a = p[3];
        for (int k = 0; k < 3; ++k) o[k] = static_cast<BYTE>((p[2 - k] * a + o[k] * (255 - a)) / 255);
      }
    }
    return true;
  }
  plat::ui::Picture Take() const {
    plat::ui::Picture out;
    plat::internal::PixelView v;
    if (!plat::internal::BitmapPixels(bitmap_, v)) return out;
    out.width = v.width;
    out.height = v.height;
    out.rgb.resize(static_cast<std::size_t>(v.width) * static_cast<std::size_t>(v.height) * 3);
    for (LONG y = 0; y < v.height; ++y) {
      const BYTE* row = v.Row(y);
      for (LONG x = 0; x < v.width; ++x) {
        BYTE* o = &out.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(v.width) + static_cast<std::size_t>(x)) * 3];
        o[0] = row[x * 3 + 2];
        o[1] = row[x * 3 + 1];
        o[2] = row[x * 3];
      }
    }
    return out;
  }

 private:
  HGDIOBJ bitmap_ = nullptr;
  HDC dc_ = nullptr;
  HGDIOBJ before_ = nullptr;
};

std::u16string TextOf(HWND w) {
  std::u16string text(static_cast<std::size_t>(GetWindowTextLengthW(w)) + 1, u'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(w, text.data(), static_cast<int>(text.size()))));
  return text;
}

std::u16string ItemText(HWND w, bool list, LRESULT index) {
  const LRESULT length = SendMessageW(w, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length <= 0) return {};
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendMessageW(w, list ? LB_GETTEXT : CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

bool OwnPixels(Canvas& c, HWND w, const RECT& r) {
  plat::ui::Picture p = plat::ui::Snapshot(w);
  if (p.width == 0) return false;
  const int rows = std::min<int>(p.height, static_cast<int>(r.bottom - r.top));
  p.rgb.resize(static_cast<std::size_t>(rows) * static_cast<std::size_t>(p.width) * 3);
  p.height = rows;
  c.Pixels(p, r.left, r.top);
  return true;
}

void DrawControl(Canvas& c, HWND w, RECT r) {
  const DWORD style = plat::internal::StyleOf(w);
  const bool enabled = IsWindowEnabled(w) != FALSE;
  const COLORREF ink = enabled ? kText : kGreyText;
  const std::u16string text = TextOf(w);
  switch (plat::internal::KindOf(w)) {
    case WindowKind::Button: {
      const DWORD type = style & BS_TYPEMASK;
      if (type == BS_GROUPBOX) {
        c.Frame(RECT{r.left, r.top + 6, r.right, r.bottom}, RGB(200, 200, 200));
        const RECT label{r.left + 6, r.top, r.right - 6, r.top + 13};
        // The caption interrupts the frame's top edge.
        c.Fill(RECT{label.left - 2, label.top, std::min(label.right, label.left + 8 + static_cast<LONG>(text.size()) * 6),
                    label.bottom},
               kFace);
        c.Text(text, label, ink, DT_LEFT | DT_SINGLELINE);
        return;
      }
      const bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_3STATE || type == BS_AUTO3STATE;
      const bool radio = type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
      if (check || radio) {
        const LONG mid = (r.top + r.bottom) / 2;
        const RECT box{r.left, mid - 6, r.left + 12, mid + 6};
        const bool checked = SendMessageW(w, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
        if (radio) {  // a ring, with a dot when chosen
          c.Disc(box, kEdge);
          c.Disc(RECT{box.left + 1, box.top + 1, box.right - 1, box.bottom - 1}, enabled ? kField : kFace);
          if (checked) c.Disc(RECT{box.left + 3, box.top + 3, box.right - 3, box.bottom - 3}, ink);
        } else {
          c.Fill(box, enabled ? kField : kFace);
          c.Frame(box, kEdge);
          if (checked) c.Fill(RECT{box.left + 3, box.top + 3, box.right - 3, box.bottom - 3}, ink);
        }
        c.Text(text, RECT{r.left + 16, r.top, r.right, r.bottom}, ink, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        return;
      }
      if (type == BS_OWNERDRAW && OwnPixels(c, w, r)) return;
      c.Fill(r, kButton);
      c.Frame(r, type == BS_DEFPUSHBUTTON ? RGB(0, 120, 215) : kEdge);
      c.Text(text, r, ink, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      return;
    }
    case WindowKind::Edit:
      c.Fill(r, enabled ? kField : kFace);
      c.Frame(r, kEdge);
      c.Text(text, RECT{r.left + 3, r.top, r.right - 2, r.bottom}, ink, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      return;
    case WindowKind::ComboBox: {
      r.bottom = r.top + plat::internal::ComboFieldHeight(w);
      const bool ownerDrawn = (style & (CBS_OWNERDRAWFIXED | CBS_OWNERDRAWVARIABLE)) != 0;
      if (!(ownerDrawn && OwnPixels(c, w, r))) {
        c.Fill(r, enabled ? kField : kFace);
        const LRESULT selected = SendMessageW(w, CB_GETCURSEL, 0, 0);
        if (selected >= 0) {
          c.Text(ItemText(w, false, selected), RECT{r.left + 3, r.top, r.right - 16, r.bottom}, ink,
                 DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        }
      }
      c.Frame(r, kEdge);
      const RECT arrow{r.right - 15, r.top + 1, r.right - 1, r.bottom - 1};
      c.Fill(arrow, kButton);
      c.Text(u"\u25BE", arrow, ink, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      return;
    }
    case WindowKind::ListBox: {
      const bool ownerDrawn = (style & (LBS_OWNERDRAWFIXED | LBS_OWNERDRAWVARIABLE)) != 0;
      if (!(ownerDrawn && OwnPixels(c, w, r))) {
        c.Fill(r, enabled ? kField : kFace);
        const LRESULT count = SendMessageW(w, LB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
          const LONG top = r.top + 1 + static_cast<LONG>(i) * 16;
          if (top + 16 > r.bottom) break;
          const RECT row{r.left + 1, top, r.right - 1, top + 16};
          const bool selected = SendMessageW(w, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0;
          if (selected) c.Fill(row, RGB(0, 120, 215));
          c.Text(ItemText(w, true, i), RECT{row.left + 2, row.top, row.right, row.bottom},
                 selected ? RGB(255, 255, 255) : ink, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
        }
      }
      c.Frame(r, kEdge);
      return;
    }
    case WindowKind::Static: {
      const DWORD type = style & SS_TYPEMASK;
      if (type == SS_BITMAP &&
          c.Bitmap(reinterpret_cast<HANDLE>(SendMessageW(w, STM_GETIMAGE, IMAGE_BITMAP, 0)), r.left, r.top))
        return;
      if (type == SS_OWNERDRAW || type == SS_BITMAP) {
        if (!OwnPixels(c, w, r)) c.Frame(r, RGB(200, 200, 200));
        return;
      }
      if (type == SS_ICON) {
        const auto icon = reinterpret_cast<HANDLE>(SendMessageW(w, STM_GETICON, 0, 0));
        if (icon && !c.Icon(icon, r.left, r.top)) c.Frame(RECT{r.left, r.top, r.left + 16, r.top + 16}, kEdge);
        return;
      }
      if (type == SS_ETCHEDHORZ) {
        c.Fill(RECT{r.left, r.top, r.right, r.top + 1}, RGB(160, 160, 160));
        return;
      }
      // Disabled text stays grey whatever the dialog chose.
      const COLORREF colour = c.StaticColours(w, r, ink);
      const UINT align = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
      // Labels one line high do not wrap: they show what fits.
      c.Text(text, r, enabled ? colour : ink, align | (r.bottom - r.top >= 26 ? DT_WORDBREAK : DT_SINGLELINE));
      return;
    }
    case WindowKind::UpDown: {
      c.Fill(r, kButton);
      c.Frame(r, kEdge);
      const LONG mid = (r.top + r.bottom) / 2;
      c.Text(u"\u25B4", RECT{r.left, r.top, r.right, mid}, ink, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
      c.Text(u"\u25BE", RECT{r.left, mid, r.right, r.bottom}, ink, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
      return;
    }
    default:
      c.Fill(r, enabled ? kField : kFace);
      c.Frame(r, kEdge);
      c.Text(text, RECT{r.left + 3, r.top, r.right, r.bottom}, ink, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
      return;
  }
}

void DrawChildren(Canvas& c, HWND dialog, LONG dx, LONG dy) {
  const std::vector<HWND> children = plat::internal::ChildrenOf(dialog);
  // Group boxes first: the controls they hold draw over them.
  for (int pass = 0; pass < 2; ++pass) {
    for (HWND child : children) {
      if (!IsWindowVisible(child) || plat::internal::KindOf(child) == WindowKind::Dialog) continue;
      const bool group = plat::internal::KindOf(child) == WindowKind::Button &&
                         (plat::internal::StyleOf(child) & BS_TYPEMASK) == BS_GROUPBOX;
      if (group != (pass == 0)) continue;
      RECT r{};
      GetWindowRect(child, &r);
      POINT origin{0, 0};
      ClientToScreen(dialog, &origin);
      DrawControl(c, child, RECT{r.left - origin.x + dx, r.top - origin.y + dy, r.right - origin.x + dx,
                                 r.bottom - origin.y + dy});
    }
  }
}

}  // namespace

namespace plat::ui {

Picture RenderWindow(HWND window) {
  if (!IsWindow(window)) return {};
  if (!internal::IsSheetFrame(window)) {
    RECT client{};
    GetClientRect(window, &client);
    Canvas c(client.right, client.bottom);
    // What the dialog painted itself (a banner), under its controls.
    const Picture own = Snapshot(window);
    if (own.width > 0) c.Pixels(own, 0, 0);
    DrawChildren(c, window, 0, 0);
    return c.Take();
  }
  HWND page = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
  RECT client{};
  if (page) GetClientRect(page, &client);
  const int count = internal::SheetPageCount(window);
  const int current = internal::SheetCurrentIndex(window);
  Canvas c(std::max<LONG>(client.right + 8, 200), client.bottom + kTabHeight + 8);
  LONG x = 4;
  for (int i = 0; i < count; ++i) {
    const std::u16string caption = internal::SheetPageCaption(window, i);
    const LONG width = 16 + c.TextWidth(caption);
    const RECT tab{x, i == current ? 1 : 3, x + width, kTabHeight + 1};
    c.Fill(tab, i == current ? RGB(255, 255, 255) : RGB(228, 228, 228));
    c.Frame(tab, kEdge);
    c.Text(caption, tab, kText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    x += width;
  }
  const RECT body{4, kTabHeight, client.right + 4, client.bottom + kTabHeight + 4};
  c.Frame(body, kEdge);
  if (page) DrawChildren(c, page, 4, kTabHeight + 2);
  return c.Take();
}

}  // namespace plat::ui
