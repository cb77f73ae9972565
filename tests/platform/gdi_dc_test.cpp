// DCs on windows and bitmaps: blits, transparent stretches, fills, text, the
// DIB section's layout, and owner-drawn items painted on the item's pixels.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "plat/resources.h"

#include "plat/dialog.h"

namespace {

// A bottom-up or top-down 24-bit section filled by fill(x, y) -> 0xRRGGBB.
template <typename Fill>
HGDIOBJ Section(int width, int height, bool topDown, Fill fill) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = topDown ? -height : height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  void* bits = nullptr;
  HGDIOBJ bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const int stride = (width * 3 + 3) & ~3;
  for (int y = 0; y < height; ++y) {
    BYTE* row = static_cast<BYTE*>(bits) + (topDown ? y : height - 1 - y) * stride;
    for (int x = 0; x < width; ++x) {
      const DWORD c = fill(x, y);
      row[x * 3] = static_cast<BYTE>(c);
      row[x * 3 + 1] = static_cast<BYTE>(c >> 8);
      row[x * 3 + 2] = static_cast<BYTE>(c >> 16);
    }
  }
  return bitmap;
}

class GdiDc : public ::testing::Test {
 protected:
  void SetUp() override { objects_ = plat::LiveGdiObjectCount(); }
  void TearDown() override {
    EXPECT_EQ(plat::LiveGdiObjectCount(), objects_);
    EXPECT_EQ(plat::LiveDcCount(), 0u);
  }
  std::size_t objects_ = 0;
};

TEST_F(GdiDc, SectionsReportTheirLayout) {
  struct Case {
    int width, height;
    bool topDown;
    LONG stride;
  };
  for (const Case& c : {Case{5, 3, false, 16}, Case{4, 2, true, 12}, Case{1, 1, false, 4}}) {
    HGDIOBJ b = Section(c.width, c.height, c.topDown, [](int, int) { return 0u; });
    ASSERT_NE(b, nullptr);
    DIBSECTION ds{};
    ASSERT_EQ(GetObjectW(b, sizeof ds, &ds), static_cast<int>(sizeof ds));
    EXPECT_EQ(ds.dsBm.bmWidthBytes, c.stride);
    EXPECT_EQ(ds.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(ds.dsBmih.biHeight, c.topDown ? -c.height : c.height);
    BITMAP bm{};
    EXPECT_EQ(GetObjectW(b, sizeof bm, &bm), static_cast<int>(sizeof bm)) << "a BITMAP-sized buffer gets a BITMAP";
    EXPECT_TRUE(DeleteObject(b));
  }
  BITMAPINFO eight{};
  eight.bmiHeader.biWidth = 4;
  eight.bmiHeader.biHeight = 4;
  eight.bmiHeader.biBitCount = 8;
  void* bits = &eight;
  EXPECT_EQ(CreateDIBSection(nullptr, &eight, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  EXPECT_EQ(CreateCompatibleBitmap(nullptr, 0, 5), nullptr);
}

TEST_F(GdiDc, BlitsStretchesAndFillsChangePixels) {
  HWND dialog = plat::CreateHeadlessDialog({{7, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {0, 0, 8, 8}}});
  HWND item = GetDlgItem(dialog, 7);
  HDC dc = GetDC(item);
  // A 2 x 2 source, top-down: red (key), green / blue, white.
  HGDIOBJ source = Section(2, 2, true, [](int x, int y) {
    static const DWORD c[2][2] = {{0xFF0000, 0x00FF00}, {0x0000FF, 0xFFFFFF}};
    return c[y][x];
  });
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ before = SelectObject(memory, source);
  HBRUSH grey = CreateSolidBrush(RGB(50, 60, 70));
  const RECT all{0, 0, 8, 8};
  EXPECT_EQ(FillRect(dc, &all, grey), 1);
  EXPECT_TRUE(DeleteObject(grey));
  ASSERT_TRUE(TransparentBlt(dc, 0, 0, 4, 4, memory, 0, 0, 2, 2, RGB(255, 0, 0)));
  ASSERT_TRUE(BitBlt(dc, 6, 6, 2, 2, memory, 0, 0, SRCCOPY));
  plat::ui::Picture p = plat::ui::Snapshot(item);
  ASSERT_EQ(p.width, 8);
  EXPECT_EQ(p.At(0, 0), 0x323C46u) << "the key colour is not drawn";
  EXPECT_EQ(p.At(1, 1), 0x323C46u);
  EXPECT_EQ(p.At(2, 0), 0x00FF00u) << "nearest neighbour: each source pixel twice";
  EXPECT_EQ(p.At(3, 1), 0x00FF00u);
  EXPECT_EQ(p.At(1, 3), 0x0000FFu);
  EXPECT_EQ(p.At(3, 3), 0xFFFFFFu);
  EXPECT_EQ(p.At(6, 6), 0xFF0000u) << "a copy keeps every colour";
  EXPECT_EQ(p.At(7, 7), 0xFFFFFFu);
  EXPECT_EQ(p.At(5, 5), 0x323C46u);
  ASSERT_EQ(plat::Blits(item).size(), 1u);
  EXPECT_EQ(plat::Blits(item)[0].firstPixel, 0xFF0000u);
  SelectObject(memory, before);
  DeleteDC(memory);
  DeleteObject(source);
  ReleaseDC(item, dc);
  DestroyWindow(dialog);
  plat::ClearBlits();
}

TEST_F(GdiDc, TextIsDrawnInTheTextColourInsideItsRectangle) {
  HGDIOBJ bitmap = CreateCompatibleBitmap(nullptr, 60, 20);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ before = SelectObject(dc, bitmap);
  const RECT all{0, 0, 60, 20};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  EXPECT_EQ(SetTextColor(dc, RGB(0, 0, 255)), 0u);
  SetBkColor(dc, RGB(255, 255, 0));
  RECT clip{0, 0, 30, 20};
  EXPECT_GT(DrawTextW(dc, u"WWWWWWWWWW", -1, &clip, DT_SINGLELINE | DT_VCENTER), 0);
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof ds, &ds), static_cast<int>(sizeof ds));
  int blue = 0, outside = 0;
  for (int y = 0; y < 20; ++y) {
    const BYTE* row = static_cast<const BYTE*>(ds.dsBm.bmBits) + (19 - y) * ds.dsBm.bmWidthBytes;
    for (int x = 0; x < 60; ++x) {
      const bool white = row[x * 3] == 255 && row[x * 3 + 1] == 255 && row[x * 3 + 2] == 255;
      if (x >= 30 && !white) ++outside;
      if (row[x * 3] > row[x * 3 + 2] + 100) ++blue;
    }
  }
  EXPECT_GT(blue, 40) << "glyphs in blue over the yellow background";
  EXPECT_EQ(outside, 0) << "clipped to the rectangle";
  RECT measure{0, 0, 1000, 0};
  DrawTextW(dc, u"ab", -1, &measure, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_GT(measure.right, 5);
  EXPECT_LT(measure.right, 30);
  SelectObject(dc, before);
  DeleteDC(dc);
  DeleteObject(bitmap);
}

// Owner-drawn statics are drawn once per invalidation, while visible.
int g_draws = 0;
INT_PTR CALLBACK DrawingProc(HWND, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_DRAWITEM) return FALSE;
  const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  if (d->CtlType != ODT_STATIC) return FALSE;
  ++g_draws;
  FillRect(d->hDC, &d->rcItem, GetSysColorBrush(COLOR_HIGHLIGHT));
  return TRUE;
}

TEST_F(GdiDc, OwnerDrawnStaticsPaintWhenInvalid) {
  HWND dialog = plat::CreateHeadlessDialog({{9, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {2, 2, 12, 10}}},
                                           DrawingProc);
  HWND item = GetDlgItem(dialog, 9);
  g_draws = 0;
  plat::PaintWindow(dialog);
  plat::PaintWindow(dialog);
  EXPECT_EQ(g_draws, 1) << "new windows start invalid; a valid one is not drawn again";
  plat::ui::Picture p = plat::ui::Snapshot(item);
  ASSERT_EQ(p.width, 10);
  ASSERT_EQ(p.height, 8);
  EXPECT_EQ(p.At(9, 7), 0x0078D7u);
  ShowWindow(item, SW_HIDE);
  InvalidateRect(item, nullptr, FALSE);
  plat::PaintWindow(dialog);
  EXPECT_EQ(g_draws, 1) << "hidden: not drawn";
  ShowWindow(item, SW_SHOW);
  plat::PaintWindow(dialog);
  EXPECT_EQ(g_draws, 2) << "drawn once shown again";
  DestroyWindow(dialog);
  EXPECT_EQ(plat::ui::Snapshot(item).width, 0);
}

// A dialog drawn to a picture shows its image statics with their images: the
// bitmap of an SS_BITMAP static and the icon of an SS_ICON static, blended by
// the icon's alpha, not empty frames; and what the dialog painted itself lies
// under its controls.
TEST_F(GdiDc, ImageStaticsAndTheDialogsOwnPaintAreDrawn) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "gdi_dc_icons";
  std::filesystem::create_directories(folder);
  plat::ui::Picture blue;  // 8 x 8, blue
  blue.width = 8;
  blue.height = 8;
  for (int i = 0; i < 64; ++i) blue.rgb.insert(blue.rgb.end(), {0, 0, 255});
  ASSERT_TRUE(plat::ui::WritePng(blue, (folder / "blue.png").string()));
  std::ofstream(folder / "icons.res") << "RESOURCES 1\n[ICON]\n5\tblue.png\n";
  plat::resources::MapModule(u"gdiicons.dll", (folder / "icons.res").string());
  HMODULE module = LoadLibraryW(u"gdiicons.dll");
  ASSERT_NE(module, nullptr);
  HICON icon = LoadIconW(module, MAKEINTRESOURCEW(5));
  ASSERT_NE(icon, nullptr);
  HGDIOBJ red = Section(10, 6, false, [](int, int) { return 0xFF0000u; });

  HWND dialog = plat::CreateHeadlessDialog({{30, plat::ControlKind::Static, u"", true, SS_BITMAP, {10, 10, 20, 16}},
                                            {31, plat::ControlKind::Static, u"", true, SS_ICON, {40, 10, 72, 42}}});
  MoveWindow(dialog, 0, 0, 120, 80, FALSE);
  SendDlgItemMessageW(dialog, 30, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(red));
  SendDlgItemMessageW(dialog, 31, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  HDC dc = GetDC(dialog);
  HBRUSH green = CreateSolidBrush(RGB(0, 160, 0));
  const RECT painted{90, 60, 100, 70};
  FillRect(dc, &painted, green);
  DeleteObject(green);
  ReleaseDC(dialog, dc);

  const plat::ui::Picture drawn = plat::ui::RenderWindow(dialog);
  ASSERT_GE(drawn.width, 100);
  EXPECT_EQ(drawn.At(12, 12), 0xFF0000u) << "the bitmap";
  EXPECT_EQ(drawn.At(19, 15), 0xFF0000u) << "the bitmap's last pixel";
  EXPECT_EQ(drawn.At(43, 13), 0x0000FFu) << "the icon";
  EXPECT_EQ(drawn.At(95, 65), 0x00A000u) << "the dialog's own paint";
  EXPECT_EQ(drawn.At(5, 5), 0xF0F0F0u) << "the face where nothing was drawn";

  DestroyWindow(dialog);
  DeleteObject(red);
  DestroyIcon(icon);
  FreeLibrary(module);
  std::filesystem::remove_all(folder);
}

}  // namespace
