// The GDI front on a device surface: what the engine cannot draw there goes
// to the driver's hooked entries. The fake driver repeats each entry on a
// 24-bit shadow with the engine; the shadow must equal what the front draws
// through the engine on a plain bitmap with the same start.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plat/gdi.h"

namespace {

using plat::engine::SubPath;

SURFOBJ* g_shadow = nullptr;
int g_paints = 0;

struct Driver {
  static BOOL BitBlt(SURFOBJ*, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* rect, POINTL* from,
                     POINTL* maskAt, BRUSHOBJ* brush, POINTL* brushAt, ROP4 rop4) {
    return EngBitBlt(g_shadow, src, mask, clip, xlate, rect, from, maskAt, brush, brushAt, rop4);
  }
  static BOOL CopyBits(SURFOBJ*, SURFOBJ* src, CLIPOBJ* clip, XLATEOBJ* xlate, RECTL* rect, POINTL* from) {
    return EngCopyBits(g_shadow, src, clip, xlate, rect, from);
  }
  static BOOL StretchBlt(SURFOBJ*, SURFOBJ* src, SURFOBJ* mask, CLIPOBJ* clip, XLATEOBJ* xlate, COLORADJUSTMENT* ca,
                         POINTL* ht, RECTL* to, RECTL* from, POINTL* maskAt, ULONG mode) {
    return EngStretchBlt(g_shadow, src, mask, clip, xlate, ca, ht, to, from, maskAt, mode);
  }
  static BOOL Paint(SURFOBJ*, CLIPOBJ* clip, BRUSHOBJ* brush, POINTL* at, MIX mix) {
    ++g_paints;
    return EngPaint(g_shadow, clip, brush, at, mix);
  }
  static BOOL RefuseFill(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG) { return FALSE; }
  static BOOL RefuseAlpha(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*) { return FALSE; }
  static BOOL RefuseTransparent(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, ULONG, ULONG) { return FALSE; }
};

struct Bitmap {
  HBITMAP bm;
  SURFOBJ* so;
  Bitmap(LONG w, LONG h) {
    bm = EngCreateBitmap(SIZEL{w, h}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr);
    so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  }
  ~Bitmap() {
    EngUnlockSurface(so);
    EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  }
  void Random(unsigned seed) {
    std::mt19937 rng(seed);
    for (LONG y = 0; y < so->sizlBitmap.cy; ++y)
      for (LONG x = 0; x < 3 * so->sizlBitmap.cx; ++x) static_cast<BYTE*>(so->pvScan0)[y * so->lDelta + x] = static_cast<BYTE>(rng());
  }
  void White() {
    RECTL all{0, 0, so->sizlBitmap.cx, so->sizlBitmap.cy};
    EngEraseSurface(so, &all, 0xFFFFFF);
  }
  std::vector<BYTE> Rows() const {
    std::vector<BYTE> out;
    for (LONG y = 0; y < so->sizlBitmap.cy; ++y) {
      const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + y * so->lDelta;
      out.insert(out.end(), row, row + 3 * so->sizlBitmap.cx);
    }
    return out;
  }
};

constexpr LONG kW = 48, kH = 40;

// A device surface hooked as a core driver's page is (no Paint, PlgBlt,
// StretchBltROP nor GradientFill; FillPath, AlphaBlend and TransparentBlt
// refused), its shadow, and a plain bitmap for the engine's own drawing.
class DeviceFront : public ::testing::Test {
 protected:
  void SetUp() override {
    dev = plat::engine::CreateDevice(nullptr);
    const DRVFN table[] = {
        {INDEX_DrvBitBlt, reinterpret_cast<PFN>(&Driver::BitBlt)},
        {INDEX_DrvCopyBits, reinterpret_cast<PFN>(&Driver::CopyBits)},
        {INDEX_DrvStretchBlt, reinterpret_cast<PFN>(&Driver::StretchBlt)},
        {INDEX_DrvPaint, reinterpret_cast<PFN>(&Driver::Paint)},
        {INDEX_DrvFillPath, reinterpret_cast<PFN>(&Driver::RefuseFill)},
        {INDEX_DrvAlphaBlend, reinterpret_cast<PFN>(&Driver::RefuseAlpha)},
        {INDEX_DrvTransparentBlt, reinterpret_cast<PFN>(&Driver::RefuseTransparent)},
    };
    plat::engine::SetDeviceDriver(dev, table, static_cast<ULONG>(std::size(table)));
    hsurf = EngCreateDeviceSurface(nullptr, SIZEL{kW, kH}, BMF_24BPP);
    ASSERT_NE(hsurf, nullptr);
    ASSERT_TRUE(EngAssociateSurface(hsurf, dev,
                                    HOOK_BITBLT | HOOK_COPYBITS | HOOK_STRETCHBLT | HOOK_FILLPATH | HOOK_ALPHABLEND |
                                        HOOK_TRANSPARENTBLT));
    device = EngLockSurface(hsurf);
    EXPECT_EQ(device->iType, STYPE_DEVICE);
    EXPECT_EQ(device->pvScan0, nullptr);
    g_shadow = shadow.so;
    g_paints = 0;
    source.Random(1);
  }
  void TearDown() override {
    EngUnlockSurface(device);
    EngDeleteSurface(hsurf);
    plat::engine::DeleteDevice(dev);
    g_shadow = nullptr;
  }
  // Both pages start the same.
  void Start(bool white, unsigned seed = 2) {
    if (white) {
      shadow.White();
      bitmap.White();
    } else {
      shadow.Random(seed);
      bitmap.Random(seed);
    }
  }
  static std::string Entries(const plat::gdi::Page& page) {
    std::string out;
    for (const std::string& line : page.Log()) out += line.substr(0, line.find(' ')) + ";";
    return out;
  }

  HDEV dev = nullptr;
  HSURF hsurf = nullptr;
  SURFOBJ* device = nullptr;
  Bitmap shadow{kW, kH}, bitmap{kW, kH}, source{12, 10};
};

TEST_F(DeviceFront, RegionsAreBrushBlitsWithTheMixAsTheirRop) {
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x3C96D2);
  const std::vector<RECTL> region = {{2, 3, 20, 18}, {25, 0, 60, 9}, {10, 30, 30, 45}};
  for (MIX mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
    Start(false, mix);
    plat::gdi::Page onDevice(device), onBitmap(bitmap.so);
    ASSERT_TRUE(onDevice.PaintRegion(region, brush, mix | (mix << 8))) << mix;
    ASSERT_TRUE(onBitmap.PaintRegion(region, brush, mix | (mix << 8))) << mix;
    EXPECT_EQ(shadow.Rows(), bitmap.Rows()) << "mix " << mix;
    EXPECT_EQ(Entries(onDevice), "DrvBitBlt;");
  }
  plat::engine::DeleteBrush(brush);
}

TEST_F(DeviceFront, RefusedPathFillIsABrushBlitOfItsRegion) {
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x00A0FF);
  SubPath star;
  for (auto [x, y] : {std::pair{24, 1}, {38, 38}, {2, 14}, {46, 14}, {9, 38}})
    star.points.push_back(POINTFIX{x * 16, y * 16});
  star.closed = true;
  for (bool winding : {false, true}) {
    Start(false);
    plat::gdi::Page onDevice(device);
    onDevice.SetClip({{0, 0, 30, 40}, {32, 0, 48, 25}});
    ASSERT_TRUE(onDevice.FillPath({star}, brush, R2_XORPEN, winding));
    EXPECT_EQ(Entries(onDevice), "DrvFillPath;DrvBitBlt;");
    PATHOBJ* path = plat::engine::CreatePath({star});
    const RECTL clipRects[2] = {{0, 0, 30, 40}, {32, 0, 48, 25}};
    CLIPOBJ* clip = plat::engine::CreateClip(clipRects, 2);
    ASSERT_TRUE(EngFillPath(bitmap.so, path, clip, brush, nullptr, R2_XORPEN,
                            winding ? FP_WINDINGMODE : FP_ALTERNATEMODE));
    EXPECT_EQ(shadow.Rows(), bitmap.Rows()) << (winding ? "winding" : "alternate");
    plat::engine::DeleteClip(clip);
    plat::engine::DeletePath(path);
  }
  plat::engine::DeleteBrush(brush);
}

TEST_F(DeviceFront, PaintAsBltSkipsAHookedPaintOnAnySurface) {
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x102030);
  // A bitmap page whose driver hooks DrvPaint and DrvBitBlt.
  Bitmap page(kW, kH);
  ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(page.bm), dev, HOOK_PAINT | HOOK_BITBLT));
  Start(true);
  plat::gdi::Page hooked(page.so);
  ASSERT_TRUE(hooked.PaintRegion({{1, 1, 9, 9}}, brush, R2_COPYPEN));
  EXPECT_EQ(Entries(hooked), "DrvPaint;");
  EXPECT_EQ(g_paints, 1);
  plat::gdi::Page asBlt(page.so);
  asBlt.SetPaintAsBlt(true);
  ASSERT_TRUE(asBlt.PaintRegion({{1, 1, 9, 9}}, brush, R2_COPYPEN));
  EXPECT_EQ(Entries(asBlt), "DrvBitBlt;");
  EXPECT_EQ(g_paints, 1);
  plat::engine::DeleteBrush(brush);
}

TEST_F(DeviceFront, StretchBltRopIsAStretchOrAStretchedTemporaryBlit) {
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x5522EE);
  struct Case {
    ULONG rop4;
    RECTL dest;
    const char* entries;
  };
  const Case cases[] = {
      {0xCCCC, {4, 2, 40, 32}, "DrvStretchBlt;"},
      {0xB8B8, {4, 2, 40, 32}, "DrvBitBlt;"},
      {0x6666, {44, 30, 8, 5}, "DrvBitBlt;"},  // mirrored both ways
  };
  for (const Case& c : cases) {
    Start(false);
    plat::gdi::Page onDevice(device), onBitmap(bitmap.so);
    const RECTL from{0, 0, 12, 10};
    ASSERT_TRUE(onDevice.StretchBltROP(source.so, {}, c.dest, from, brush, c.rop4));
    ASSERT_TRUE(onBitmap.StretchBltROP(source.so, {}, c.dest, from, brush, c.rop4));
    EXPECT_EQ(Entries(onDevice), c.entries);
    EXPECT_EQ(Entries(onBitmap), "EngStretchBltROP;");
    EXPECT_EQ(shadow.Rows(), bitmap.Rows()) << std::hex << c.rop4;
  }
  plat::engine::DeleteBrush(brush);
}

// PlgBlt, GradientFill and the refused AlphaBlend and TransparentBlt are
// drawn on a white temporary of their bounds and copied: on a white page
// that is what the engine draws there itself.
TEST_F(DeviceFront, UnhookedAndRefusedCallsCopyAWhiteTemporary) {
  const POINTFIX corners[3] = {{30 * 16, 4 * 16}, {30 * 16, 16 * 16}, {20 * 16, 4 * 16}};
  std::vector<TRIVERTEX> vertices = {{3, 20, 0xFF00, 0, 0x8000, 0}, {45, 38, 0, 0xFF00, 0x2000, 0}, {3, 38, 0, 0, 0xFF00, 0}};
  const BLENDFUNCTION blend{AC_SRC_OVER, 0, 140, 0};
  enum Call { kPlg, kRectGradient, kTriangle, kAlpha, kTransparent };
  struct Case {
    Call call;
    const char* device;
    const char* bitmap;
  };
  const Case cases[] = {
      {kPlg, "DrvCopyBits;", "EngPlgBlt;"},
      {kRectGradient, "DrvCopyBits;", "EngGradientFill;"},
      {kTriangle, "DrvCopyBits;", "EngGradientFill;"},
      {kAlpha, "DrvAlphaBlend;DrvCopyBits;", "EngAlphaBlend;"},
      {kTransparent, "DrvTransparentBlt;DrvCopyBits;", "EngTransparentBlt;"},
  };
  const ULONG key = static_cast<const BYTE*>(source.so->pvScan0)[2] | (static_cast<const BYTE*>(source.so->pvScan0)[1] << 8) |
                    (static_cast<const BYTE*>(source.so->pvScan0)[0] << 16);
  for (const Case& c : cases) {
    Start(true);
    plat::gdi::Page onDevice(device), onBitmap(bitmap.so);
    onDevice.SetClip({{0, 0, 26, 40}, {28, 0, 48, 36}});
    onBitmap.SetClip({{0, 0, 26, 40}, {28, 0, 48, 36}});
    for (plat::gdi::Page* page : {&onDevice, &onBitmap}) {
      switch (c.call) {
        case kPlg: ASSERT_TRUE(page->PlgBlt(source.so, {}, corners)); break;
        case kRectGradient: ASSERT_TRUE(page->GradientFill(vertices, {0, 1}, GRADIENT_FILL_RECT_H)); break;
        case kTriangle: ASSERT_TRUE(page->GradientFill(vertices, {0, 1, 2}, GRADIENT_FILL_TRIANGLE)); break;
        case kAlpha: ASSERT_TRUE(page->AlphaBlend(source.so, {}, {5, 6, 29, 26}, {0, 0, 12, 10}, blend)); break;
        case kTransparent: ASSERT_TRUE(page->TransparentBlt(source.so, {}, {40, 6, 16, 26}, {0, 0, 12, 10}, key)); break;
      }
    }
    EXPECT_EQ(Entries(onDevice), c.device);
    EXPECT_EQ(Entries(onBitmap), c.bitmap);
    EXPECT_EQ(shadow.Rows(), bitmap.Rows()) << c.device << " / " << c.bitmap;
    // Something was drawn, and not over the whole page.
    const std::vector<BYTE> rows = shadow.Rows();
    const auto white = std::count(rows.begin(), rows.end(), BYTE{0xFF});
    EXPECT_GT(white, kW * kH / 4) << c.bitmap;
    EXPECT_LT(white, static_cast<long>(rows.size()) - 100) << c.bitmap;
  }
  EXPECT_FALSE(plat::gdi::Page(device).GradientFill(vertices, {0, 5}, GRADIENT_FILL_RECT_V)) << "a vertex out of range";
}

}  // namespace
