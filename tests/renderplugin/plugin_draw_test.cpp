// The plug-in's drawing entries on a plug-in device under a fake core: the
// page is a device surface hooked as the core hooks it, drawn on through the
// GDI front or the hooks directly; the ink planes and the shadow page are
// read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "imaging/draw_objects.h"
#include "plat/base.h"
#include "plat/engine.h"
#include "plat/engine_blit.h"
#include "plat/engine_draw.h"
#include "plat/engine_text.h"
#include "plat/gdi.h"
#include "planes/rop_names.h"
#include "planes/stroke_planes.h"
#include "plugincommon/plugin_devmode.h"
#include "render/pdev_fixture.h"
#include "renderplugin/hook_table.h"
#include "renderplugin/oem_uni.h"
#include "renderplugin/plugin_draw.h"
#include "renderplugin/plugin_pdev.h"
#include "support/render_pdev.h"

namespace {

using plat::engine::SubPath;

POINTFIX Fx(LONG x, LONG y) { return POINTFIX{x * 16, y * 16}; }

struct Brush {
  BRUSHOBJ* bo;
  explicit Brush(ULONG rgb) : bo(plat::engine::CreateSolidBrush(rgb)) {}
  ~Brush() { plat::engine::DeleteBrush(bo); }
  Brush(const Brush&) = delete;
  Brush& operator=(const Brush&) = delete;
};

// A bitmap the test draws from, deleted with the object.
struct Bitmap {
  HSURF surface = nullptr;
  SURFOBJ* so = nullptr;
  // On the core's device: 24-bit pixels red first.
  Bitmap(LONG width, LONG height, ULONG format, HDEV device) {
    surface = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{width, height}, 0, format, BMF_TOPDOWN, nullptr));
    EngAssociateSurface(surface, device, 0);
    so = EngLockSurface(surface);
  }
  ~Bitmap() {
    EngUnlockSurface(so);
    EngDeleteSurface(surface);
  }
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  // 0x00BBGGRR, stored red first as on the core's device.
  void Fill24(LONG l, LONG t, LONG r, LONG b, ULONG rgb) {
    for (LONG y = t; y < b; ++y)
      for (LONG x = l; x < r; ++x) {
        BYTE* p = static_cast<BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta + x * 3;
        p[0] = static_cast<BYTE>(rgb);
        p[1] = static_cast<BYTE>(rgb >> 8);
        p[2] = static_cast<BYTE>(rgb >> 16);
      }
  }
};

// The core's record starts with its DEVOBJ, as the hooks expect.
struct FakeCore {
  DEVOBJ devobj{};
  DRVPROCS procs{};
};

DWORD WINAPI SwallowWrite(DEVOBJ*, PVOID, DWORD size) { return size; }

// The core's page and document entries, which the hooks end with.
BOOL CorePage(SURFOBJ*) { return TRUE; }
BOOL CoreStartDoc(SURFOBJ*, LPWSTR, DWORD) { return TRUE; }
BOOL CoreEndDoc(SURFOBJ*, FLONG) { return TRUE; }
template <typename F>
PFN Fn(F f) {
  return reinterpret_cast<PFN>(f);
}
DRVFN kCoreTable[] = {{INDEX_DrvStartPage, Fn(CorePage)},
                      {INDEX_DrvSendPage, Fn(CorePage)},
                      {INDEX_DrvStartDoc, Fn(CoreStartDoc)},
                      {INDEX_DrvEndDoc, Fn(CoreEndDoc)}};

class PluginDraw : public pdevtest::PrinterFixture {
 protected:
  void SetUp() override {
    pdevtest::PrinterFixture::SetUp();
    baseSurfaces = plat::engine::LiveSurfaceCount();
    core.procs.DrvWriteSpoolBuf = SwallowWrite;
    core.devobj.hEngine = hdev;
    core.devobj.hPrinter = printer;
    core.devobj.pDrvProcs = &core.procs;
    plat::engine::SetDevicePdev(hdev, reinterpret_cast<DHPDEV>(&core.devobj));
    palette = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
    plat::engine::SetDevicePalette(hdev, palette);
  }
  void TearDown() override {
    Stop();
    plat::engine::SetDevicePalette(hdev, nullptr);
    EngDeletePalette(palette);
    EXPECT_EQ(plat::engine::LiveSurfaceCount(), baseSurfaces);
    pdevtest::PrinterFixture::TearDown();
  }

  // The plug-in device of dm, its document started; a page (and its shadow
  // page) when withPage.
  void Start(PrivateDevmode dm, bool withPage = true) {
    publicDm = dm.Public;
    part.assign(oemdm::kSize, 0);
    oemdm::WriteHeader(part.data(), {static_cast<DWORD>(oemdm::kSize), oemdm::kSignature, 1});
    std::memcpy(part.data() + oemdm::kPrivateBlock, reinterpret_cast<const BYTE*>(&dm) + kPublicDevmodeSize,
                kPrivateDevmodeExtra);
    core.devobj.pPublicDM = &publicDm;
    core.devobj.pOEMDM = part.data();
    GDIINFO gdiInfo{};
    DEVINFO devInfo{};
    DRVENABLEDATA coreData{0x20000, static_cast<ULONG>(std::size(kCoreTable)), kCoreTable};
    pp = OemEnablePdev(&core.devobj, nullptr, 0, nullptr, sizeof gdiInfo, &gdiInfo, sizeof devInfo, &devInfo,
                       &coreData);
    ASSERT_NE(pp, nullptr);
    core.devobj.pdevOEM = pp;
    plat::engine::SetDeviceDriver(hdev, renderplugin::OemHookTable().data(), kOemHookCount);
    // The core's page: a device surface of the plug-in's page size.
    pageSurface = reinterpret_cast<HSURF>(
        EngCreateBitmap(SIZEL{pp->pageWidth, pp->pageHeight}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
    ASSERT_TRUE(EngAssociateSurface(pageSurface, hdev, renderplugin::kDriverDmsHooks));
    page = EngLockSurface(pageSurface);
    page->iType = STYPE_DEVICE;
    std::u16string doc = u"Doc";
    ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
    if (withPage) {
      ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
    }
    pdev = &pp->render;
    front = std::make_unique<plat::gdi::Page>(page);
  }
  // Ends the document and frees the device and its page.
  void Stop() {
    front.reset();
    if (pp) {
      (void)Hook<BOOL (*)(SURFOBJ*, FLONG)>(INDEX_DrvEndDoc)(page, 0);
      OemDisablePdev(&core.devobj);
    }
    pp = nullptr;
    pdev = nullptr;
    if (page) EngUnlockSurface(page);
    if (pageSurface) EngDeleteSurface(pageSurface);
    page = nullptr;
    pageSurface = nullptr;
  }
  static PrivateDevmode TwoInks(int separationMode) {
    PrivateDevmode dm = pdevtest::BaseDevmode();
    dm.Settings.ColorMode = 2;
    dm.Settings.Seihan = 2;
    dm.Settings.SeparationModeA = static_cast<std::uint8_t>(separationMode);
    dm.Settings.SeparationModeB = static_cast<std::uint8_t>(separationMode);
    return dm;
  }

  template <typename F>
  F Hook(ULONG index) {
    return reinterpret_cast<F>(
        renderplugin::OemHookTable()[static_cast<std::size_t>(renderplugin::HookSlot(index))].pfn);
  }

  bool Ink(const BYTE* plane, LONG x, LONG y) const { return testsupport::InkAt(plane, pdev->planeStride, x, y); }
  int Count(const BYTE* plane, LONG l, LONG t, LONG r, LONG b) const {  // exclusive, cut to the plane
    return testsupport::InkCount(plane, pdev->planeStride, pdev->planeWidth, pdev->planeHeight, l, t, r, b);
  }
  int CountAll(const BYTE* plane) const { return Count(plane, 0, 0, pdev->planeWidth, pdev->planeHeight); }
  bool Logged(const std::string& line) const {
    for (const std::string& l : front->Log())
      if (l == line) return true;
    return false;
  }
  void SetPending() { pdev->flags |= kPdevImagePending; }

  FakeCore core;
  HPALETTE palette = nullptr;
  DEVMODEW publicDm{};
  std::vector<BYTE> part;
  PluginPdev* pp = nullptr;
  RenderPdev* pdev = nullptr;
  HSURF pageSurface = nullptr;
  SURFOBJ* page = nullptr;
  std::unique_ptr<plat::gdi::Page> front;
  std::size_t baseSurfaces = 0;
};

TEST(MixToRop4, EachRop2ByteBecomesItsRop3) {
  struct Case {
    MIX mix;
    ULONG rop4;
  } cases[] = {
      {0x0D0D, kRop4PatCopy},  {0x0101, 0x0000}, {0x1010, 0xFFFF}, {0x0B0D, 0xAAF0},
      {0x0707, kRop4PatInvert}, {0x0909, kRop4PatAnd}, {0x0D06, 0xF055}, {0x0000, 0xFFFF},
  };
  for (const Case& c : cases) EXPECT_EQ(MixToRop4(c.mix), c.rop4) << std::hex << c.mix;
}

// A ROP4 that keeps the destination is TRUE before the device is looked at,
// and the ROP4 history stays as it was.
TEST_F(PluginDraw, DestinationRopsAreTakenWithoutLookingAtTheDevice) {
  Start(pdevtest::BaseDevmode());
  pdev->drawing.rop4 = kRop4PatCopy;
  pdev->drawing.previousRop4 = kRop4SrcCopy;
  RECTL target{10, 10, 20, 20};
  HSURF stray = reinterpret_cast<HSURF>(EngCreateBitmap(SIZEL{8, 8}, 0, BMF_1BPP, BMF_TOPDOWN, nullptr));
  SURFOBJ* noDevice = EngLockSurface(stray);  // its dhpdev names no plug-in device
  struct Case {
    SURFOBJ* surface;
    ROP4 rop4;
    BOOL result;
  } cases[] = {
      {page, 0xAAAA, TRUE}, {noDevice, 0xAAAA, TRUE}, {noDevice, 0x55AA, TRUE},
      {nullptr, 0xAAAA, TRUE}, {noDevice, kRop4PatCopy, FALSE},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(OemDrawBitBlt(c.surface, nullptr, nullptr, nullptr, nullptr, &target, nullptr, nullptr, nullptr, nullptr,
                            c.rop4),
              c.result)
        << std::hex << c.rop4;
    EXPECT_EQ(GetLastError(), c.result ? 0u : static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << std::hex << c.rop4;
  }
  EXPECT_EQ(pdev->drawing.rop4, kRop4PatCopy);
  EXPECT_EQ(pdev->drawing.previousRop4, kRop4SrcCopy);
  EXPECT_EQ(CountAll(pdev->drum1Plane), 0);
  EngUnlockSurface(noDevice);
  EngDeleteSurface(stray);
}

// Every entry refuses a device record whose signature is broken.
TEST_F(PluginDraw, AnInvalidDeviceFailsEveryEntry) {
  Start(pdevtest::BaseDevmode());
  pdev->tailSignature = 0;
  RECTL r{0, 0, 8, 8};
  POINTL origin{0, 0};
  Brush black(0);
  Bitmap src(8, 8, BMF_24BPP, hdev);
  auto refused = [&](BOOL result) {
    const DWORD error = GetLastError();
    SetLastError(0);
    return result == FALSE && error == static_cast<DWORD>(ERROR_INVALID_PARAMETER);
  };
  SetLastError(0);
  EXPECT_TRUE(refused(OemDrawBitBlt(page, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, black.bo, nullptr,
                                    kRop4PatCopy)));
  EXPECT_TRUE(refused(OemDrawCopyBits(page, src.so, nullptr, nullptr, &r, &origin)));
  EXPECT_TRUE(refused(OemDrawLineTo(page, nullptr, black.bo, 0, 0, 5, 5, &r, 0x0D0D)));
  EXPECT_TRUE(refused(OemDrawPaint(page, nullptr, black.bo, nullptr, 0x0D0D)));
  EXPECT_TRUE(refused(OemDrawStrokePath(page, nullptr, nullptr, nullptr, black.bo, nullptr, nullptr, 0x0D0D)));
  EXPECT_TRUE(refused(OemDrawStretchBlt(page, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr,
                                        COLORONCOLOR)));
  EXPECT_TRUE(refused(OemDrawTextOut(page, nullptr, nullptr, nullptr, nullptr, &r, nullptr, black.bo, nullptr,
                                     0x0D0D)));
  EXPECT_TRUE(refused(OemDrawSendPage(page)));
  EXPECT_TRUE(refused(OemDrawTransparentBlt(page, src.so, nullptr, nullptr, &r, &r, 0, 0)));
  EXPECT_TRUE(refused(OemDrawStretchBltROP(page, src.so, nullptr, nullptr, nullptr, nullptr, nullptr, &r, &r, nullptr,
                                           COLORONCOLOR, nullptr, kRop4SrcCopy)));
  BLENDOBJ blend{};
  EXPECT_TRUE(refused(OemDrawAlphaBlend(page, src.so, nullptr, nullptr, &r, &r, &blend)));
  pdev->tailSignature = kPdevSignature;
}

// A line the plug-in drew is taken (and stroked on the shadow page): GDI
// does not stroke it again, so an XOR line stays. A complex clip goes back
// to GDI.
TEST_F(PluginDraw, LinesAreDrawnOnceAndRepeatedOnTheShadowPage) {
  Start(pdevtest::BaseDevmode());
  Brush white(0xFFFFFF);
  ASSERT_TRUE(front->LineTo(100, 50, 300, 50, white.bo, R2_XORPEN));
  EXPECT_TRUE(Logged("DrvLineTo 1 -> TRUE"));
  EXPECT_FALSE(Logged("DrvStrokePath 1 -> TRUE")) << "the line is not offered twice";
  const int line = Count(pdev->drum1Plane, 99, 49, 302, 52);
  EXPECT_GE(line, 200);
  EXPECT_LE(line, 203);
  EXPECT_EQ(CountAll(pdev->drum1Plane), line);
  EXPECT_FALSE(ShadowPageIsWhite(pp->shadow.object));
  // Drawn again with XOR, the line is gone.
  ASSERT_TRUE(front->LineTo(100, 50, 300, 50, white.bo, R2_XORPEN));
  EXPECT_EQ(CountAll(pdev->drum1Plane), 0);
  // Two rectangles: the line is GDI's to break down.
  using LineFn = BOOL (*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, LONG, LONG, LONG, LONG, RECTL*, MIX);
  const RECTL rects[2] = {{0, 0, 50, 50}, {60, 0, 90, 50}};
  CLIPOBJ* complex = plat::engine::CreateClip(rects, 2);
  ASSERT_EQ(complex->iDComplexity, DC_COMPLEX);
  RECTL bounds{0, 10, 90, 11};
  Brush black(0);
  EXPECT_FALSE(Hook<LineFn>(INDEX_DrvLineTo)(page, complex, black.bo, 0, 10, 90, 10, &bounds, 0x0D0D));
  EXPECT_EQ(CountAll(pdev->drum1Plane), 0);
  plat::engine::DeleteClip(complex);
}

// The rows a repeated call marks for the next StartPage's whitening: every
// row it drew on, and not the whole page when the call's own rectangle or a
// clip bounds it.
TEST_F(PluginDraw, RepeatedCallsMarkTheRowsTheyReach) {
  Start(pdevtest::BaseDevmode());
  Brush black(0);
  Bitmap src(8, 4, BMF_24BPP, hdev);
  src.Fill24(0, 0, 8, 4, 0x000000);
  LINEATTRS wide{};
  wide.fl = LA_GEOMETRIC;
  wide.iJoin = JOIN_ROUND;
  wide.iEndCap = ENDCAP_ROUND;
  wide.elWidth.e = 6;
  const struct Case {
    const char* what;
    std::vector<RECTL> clip;
    std::function<bool(plat::gdi::Page&)> draw;
    LONG top, bottom;  // the rows the call may mark
  } cases[] = {
      {"a line", {}, [&](plat::gdi::Page& f) { return f.LineTo(100, 200, 300, 260, black.bo, R2_COPYPEN); }, 199, 262},
      {"a stretched picture", {},
       [&](plat::gdi::Page& f) { return f.StretchBlt(src.so, {}, RECTL{100, 500, 164, 532}, RECTL{0, 0, 8, 4}); }, 500,
       532},
      {"a mirrored stretch", {},
       [&](plat::gdi::Page& f) { return f.StretchBlt(src.so, {}, RECTL{164, 532, 100, 500}, RECTL{0, 0, 8, 4}); }, 500,
       532},
      {"a wide stroke clipped to a band", {RECTL{0, 400, 1000, 420}},
       [&](plat::gdi::Page& f) {
         SubPath path;
         path.points = {Fx(50, 300), Fx(900, 600)};
         return f.StrokePath({path}, wide, black.bo, R2_COPYPEN);
       },
       400, 420},
  };
  const auto inkRows = [this](LONG& first, LONG& last) {
    const SURFOBJ* so = pp->shadow.object;
    first = -1, last = -1;
    for (LONG y = 0; y < so->sizlBitmap.cy; ++y) {
      const BYTE* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
      if (std::any_of(row, row + 3 * so->sizlBitmap.cx, [](BYTE b) { return b != 0xFF; })) {
        if (first < 0) first = y;
        last = y;
      }
    }
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
    ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
    ASSERT_TRUE(ShadowPageIsWhite(pp->shadow.object));
    ASSERT_GT(pp->shadow.touchedTop, pp->shadow.touchedBottom) << "nothing marked at StartPage";
    front->SetClip(c.clip);
    ASSERT_TRUE(c.draw(*front));
    front->SetClip({});
    LONG first, last;
    inkRows(first, last);
    ASSERT_GE(first, 0) << "the call reached the shadow page";
    EXPECT_LE(pp->shadow.touchedTop, first);
    EXPECT_GT(pp->shadow.touchedBottom, last);
    EXPECT_GE(pp->shadow.touchedTop, c.top);
    EXPECT_LE(pp->shadow.touchedBottom, c.bottom);
  }
}

// Strokes: a complex clip is refused even after the pending work went down;
// without a clip object the drawing bounds are the path's bounds on the page.
TEST_F(PluginDraw, StrokeBoundsAndRefusals) {
  Start(pdevtest::BaseDevmode());
  Brush black(0);
  using StrokeFn = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
  auto stroke = Hook<StrokeFn>(INDEX_DrvStrokePath);
  LINEATTRS cosmetic{};
  cosmetic.elWidth.l = 1;
  const LONG w = pdev->planeWidth, h = pdev->planeHeight;
  struct Case {
    const char* what;
    std::vector<POINTFIX> points;
    bool complexClip;
    BOOL result;
    PdevRect bounds;
    int ink;
  } cases[] = {
      {"inside the page", {Fx(100, 100), Fx(200, 150)}, false, TRUE, {100, 100, 200, 150}, 101},
      {"half off the page", {Fx(w - 50, h - 20), Fx(w + 50, h + 20)}, false, TRUE, {w - 50, h - 20, w - 1, h - 1}, 50},
      {"complex clip", {Fx(100, 300), Fx(200, 300)}, true, FALSE, {0, 0, 90, 50}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::memset(pdev->drum1Plane, 0xFF, static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight);
    PATHOBJ* path = plat::engine::CreatePath({SubPath{c.points, false, false}});
    const RECTL rects[2] = {{0, 0, 50, 51}, {60, 0, 91, 51}};
    CLIPOBJ* complex = c.complexClip ? plat::engine::CreateClip(rects, 2) : nullptr;
    SetPending();
    pdev->drawing.rop4 = kRop4SrcAnd;
    EXPECT_EQ(stroke(page, path, complex, nullptr, black.bo, nullptr, &cosmetic, 0x0D0D), c.result);
    EXPECT_EQ(pdev->drawing.rop4, 0u) << "flushed with an empty queue";
    EXPECT_EQ(pdev->drawing.previousRop4, kRop4SrcAnd);
    const PdevRect& b = pdev->plugin.drawBounds;
    EXPECT_EQ((std::vector<LONG>{b.left, b.top, b.right, b.bottom}),
              (std::vector<LONG>{c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom}));
    // Ink only around the bounds (the pen's last dot may go one past), at
    // least a dot a column.
    const int ink = CountAll(pdev->drum1Plane);
    EXPECT_GE(ink, c.ink);
    EXPECT_EQ(Count(pdev->drum1Plane, c.bounds.left - 1, c.bounds.top - 1, c.bounds.right + 2, c.bounds.bottom + 2),
              ink);
    if (complex) plat::engine::DeleteClip(complex);
    plat::engine::DeletePath(path);
  }
}

// The ROP4 rules of strokes the engine draws: a solid round outline around a
// pending copy on two inks is refused untouched; a geometric stroke after an
// XOR over a mask inside the last strip clears the current ROP4.
TEST_F(PluginDraw, StrokeRopRules) {
  struct Case {
    const char* what;
    bool twoInks;
    bool pending;
    ULONG rop4, previous;
    ULONG rop4After, previousAfter;
  } cases[] = {
      {"outline around a pending copy", true, true, kRop4SrcCopy, kRop4SrcAnd, kRop4SrcCopy, kRop4SrcAnd},
      {"the same on one ink is flushed", false, true, kRop4SrcCopy, kRop4SrcAnd, 0, kRop4SrcCopy},
      {"XOR after AND inside the strip", false, false, kRop4SrcInvert, kRop4SrcAnd, 0, kRop4SrcAnd},
      {"XOR after DPa inside the strip", false, false, kRop4SrcInvert, kRop4PatAnd, 0, kRop4PatAnd},
      {"XOR after a pattern copy", false, false, kRop4SrcInvert, kRop4PatCopy, kRop4SrcInvert, kRop4PatCopy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start(c.twoInks ? TwoInks(6) : pdevtest::BaseDevmode(), false);
    LINEATTRS round{};
    round.fl = LA_GEOMETRIC;
    round.iJoin = JOIN_ROUND;
    round.iEndCap = ENDCAP_ROUND;
    round.elWidth.e = 5;
    PATHOBJ* path = plat::engine::CreatePath({SubPath{{Fx(100, 100), Fx(300, 100)}, false, false}});
    CLIPOBJ* clip = plat::engine::CreateTrivialClip(RECTL{0, 0, 1000, 1000});
    Brush black(0);
    if (c.pending) SetPending();
    pdev->image.operationRect = PdevRect{50, 50, 60, 60};
    pdev->image.earlierRect = PdevRect{0, 0, 400, 400};
    pdev->drawing.lastDrawnRect = RECTL{90, 90, 310, 110};
    pdev->drawing.rop4 = c.rop4;
    pdev->drawing.previousRop4 = c.previous;
    using StrokeFn = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, XFORMOBJ*, BRUSHOBJ*, POINTL*, LINEATTRS*, MIX);
    EXPECT_FALSE(Hook<StrokeFn>(INDEX_DrvStrokePath)(page, path, clip, nullptr, black.bo, nullptr, &round, 0x0D0D));
    EXPECT_EQ(pdev->drawing.rop4, c.rop4After);
    EXPECT_EQ(pdev->drawing.previousRop4, c.previousAfter);
    EXPECT_EQ(CountAll(pdev->drum2Plane), 0) << "the engine's to draw";
    pdev->flags &= ~kPdevImagePending;
    plat::engine::DeleteClip(clip);
    plat::engine::DeletePath(path);
    Stop();
  }
}

// Text without a clip object: its bounds are the opaque rectangle, or the
// string's background, on the page.
TEST_F(PluginDraw, TextBoundsWithoutAClipObject) {
  Start(pdevtest::BaseDevmode());
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 40);
  ASSERT_NE(font, nullptr);
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  const LONG x = pdev->planeWidth - 30;
  ASSERT_TRUE(plat::engine::LayoutText(font, u"Hi there", x, 200, glyphs, positions));
  STROBJ* text = plat::engine::CreateString(font, glyphs, positions, {});
  ASSERT_NE(text, nullptr);
  Brush black(0);
  using TextFn = BOOL (*)(SURFOBJ*, STROBJ*, FONTOBJ*, CLIPOBJ*, RECTL*, RECTL*, BRUSHOBJ*, BRUSHOBJ*, POINTL*, MIX);
  auto textOut = Hook<TextFn>(INDEX_DrvTextOut);
  RECTL opaque{x - 10, 150, x + 500, 260};
  struct Case {
    RECTL* opaque;
    PdevRect bounds;
  } cases[] = {
      {&opaque, {x - 10, 150, pdev->planeWidth - 1, 259}},
      {nullptr,
       {text->rclBkGround.left, text->rclBkGround.top, pdev->planeWidth - 1, text->rclBkGround.bottom - 1}},
  };
  for (const Case& c : cases) {
    SetPending();
    EXPECT_TRUE(textOut(page, text, font, nullptr, nullptr, c.opaque, black.bo, c.opaque ? black.bo : nullptr,
                        nullptr, 0x0D0D));
    const PdevRect& b = pdev->plugin.drawBounds;
    EXPECT_EQ((std::vector<LONG>{b.left, b.top, b.right, b.bottom}),
              (std::vector<LONG>{c.bounds.left, c.bounds.top, c.bounds.right, c.bounds.bottom}));
  }
  EXPECT_GT(Count(pdev->drum1Plane, x - 10, 150, pdev->planeWidth, 260), 0);
  plat::engine::DeleteString(text);
  plat::engine::DeleteFont(font);
}

// Without a shadow page the blend is made against white: ink under the
// target goes, and what the blend leaves white is not inked.
TEST_F(PluginDraw, AlphaBlendAgainstWhite) {
  Start(pdevtest::BaseDevmode(), false);
  ASSERT_EQ(pp->shadow.object, nullptr);
  Brush black(0);
  Bitmap src(16, 16, BMF_24BPP, hdev);
  src.Fill24(0, 0, 16, 16, 0x000000);
  struct Case {
    BYTE alpha;
    int low, high;  // ink in the 64 x 64 target
  } cases[] = {{255, 4096, 4096}, {128, 1200, 2900}, {0, 0, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.alpha);
    ASSERT_TRUE(front->PaintRegion({RECTL{0, 0, 400, 400}}, black.bo, R2_COPYPEN));
    ASSERT_TRUE(front->AlphaBlend(src.so, {}, RECTL{100, 100, 164, 164}, RECTL{0, 0, 16, 16},
                                  BLENDFUNCTION{AC_SRC_OVER, 0, c.alpha, 0}));
    EXPECT_TRUE(Logged("DrvAlphaBlend 1 -> TRUE"));
    const int ink = Count(pdev->drum1Plane, 100, 100, 164, 164);
    EXPECT_GE(ink, c.low);
    EXPECT_LE(ink, c.high);
    EXPECT_EQ(Count(pdev->drum1Plane, 0, 0, 400, 100), 400 * 100) << "outside the target nothing changes";
  }
  EXPECT_EQ(pdev->drawing.rop4, kRop4SrcCopy);
  EXPECT_EQ(pdev->plugin.rgbOrder, 0);
}

// Whenever a shadow page exists, blends and transparent blits are offered
// to its worker: queued with their mark in the ROP4 history and rendered
// from the shadow page when later drawing meets them. One the worker
// declines (off the page) leaves the history as it was.
TEST_F(PluginDraw, BlendsWithAShadowPageAreQueued) {
  Start(pdevtest::BaseDevmode());
  ASSERT_NE(pp->shadow.object, nullptr);
  Bitmap src(4, 4, BMF_24BPP, hdev);
  src.Fill24(0, 0, 4, 4, 0x000000);
  Brush white(0xFFFFFF);
  struct Case {
    const char* what;
    bool transparent;
    ULONG mark;
  } cases[] = {{"alpha blend", false, kRop4BlendMark}, {"transparent blit", true, kRop4TransparentMark}};
  LONG x = 10;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto draw = [&](const RECTL& dest) {
      return c.transparent ? front->TransparentBlt(src.so, {}, dest, RECTL{0, 0, 4, 4}, 0x00FF00)
                           : front->AlphaBlend(src.so, {}, dest, RECTL{0, 0, 4, 4},
                                               BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0});
    };
    pdev->drawing.rop4 = kRop4PatCopy;
    pdev->drawing.previousRop4 = kRop4SrcInvert;
    ASSERT_TRUE(draw(RECTL{x, 10, x + 8, 18}));
    EXPECT_EQ(pdev->drawing.rop4, c.mark);
    EXPECT_EQ(pdev->drawing.previousRop4, kRop4PatCopy);
    EXPECT_EQ(pdev->drawing.lastDrawnRect.left, x);
    EXPECT_EQ(Count(pdev->drum1Plane, x, 10, x + 8, 18), 0) << "queued, not drawn";
    EXPECT_NE(pdev->flags & kPdevImagePending, 0u);
    // A blit over its corner renders the queued region first.
    ASSERT_TRUE(front->PatBlt(RECTL{x, 10, x + 2, 12}, white.bo, kRop3PatCopy));
    EXPECT_GT(Count(pdev->drum1Plane, x, 10, x + 8, 18), 40);
    EXPECT_EQ(Count(pdev->drum1Plane, x, 10, x + 2, 12), 0);
    pdev->drawing.rop4 = kRop4PatCopy;
    pdev->drawing.previousRop4 = kRop4SrcInvert;
    ASSERT_TRUE(draw(RECTL{-50, -50, -42, -42}));
    EXPECT_EQ(pdev->drawing.rop4, kRop4PatCopy);
    EXPECT_EQ(pdev->drawing.previousRop4, kRop4SrcInvert);
    x += 20;
  }
}

// Blends and transparent blits far larger than the page, or half off it,
// work on the visible part only.
TEST_F(PluginDraw, BlitsOffThePageDrawTheirVisiblePart) {
  Start(pdevtest::BaseDevmode(), false);
  Bitmap src(8, 8, BMF_24BPP, hdev);
  src.Fill24(0, 0, 8, 8, 0x000000);
  const LONG w = pdev->planeWidth, h = pdev->planeHeight;
  const RECTL halfOff{w - 40, h - 40, w + 40, h + 40};
  ASSERT_TRUE(front->TransparentBlt(src.so, {}, halfOff, RECTL{0, 0, 8, 8}, 0x00FF00));
  EXPECT_TRUE(Logged("DrvTransparentBlt 1 -> TRUE"));
  EXPECT_EQ(Count(pdev->drum1Plane, w - 40, h - 40, w, h), 1600);
  EXPECT_EQ(CountAll(pdev->drum1Plane), 1600);
  ASSERT_TRUE(front->TransparentBlt(src.so, {}, RECTL{-40, -40, 40, 40}, RECTL{0, 0, 8, 8}, 0x00FF00));
  EXPECT_EQ(Count(pdev->drum1Plane, 0, 0, 40, 40), 1600);
  ASSERT_TRUE(front->AlphaBlend(src.so, {}, RECTL{-1000, -1000, w + 1000, h + 1000}, RECTL{0, 0, 8, 8},
                                BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0}));
  EXPECT_TRUE(Logged("DrvAlphaBlend 1 -> TRUE"));
  EXPECT_EQ(CountAll(pdev->drum1Plane), w * h);
}

// TransparentBlt without a shadow page: every pixel that is not the key
// colour is whitened on both plates, then inked on its own plate; the key
// colour keeps what was there. On one ink every colour inks the one plane.
TEST_F(PluginDraw, TransparentBlitsWhitenAndInk) {
  struct Case {
    const char* what;
    PrivateDevmode dm;
  } cases[] = {{"one ink", pdevtest::BaseDevmode()}, {"two inks", TwoInks(6)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start(c.dm, false);
    const bool two = pdev->drum1Plane != pdev->drum2Plane;
    Brush red(0x0000FF), blue(0xFF0000);
    // Red (drum 1) on the left half, blue (drum 2) on the right, 64 x 32.
    ASSERT_TRUE(front->PaintRegion({RECTL{100, 100, 132, 132}}, red.bo, R2_COPYPEN));
    ASSERT_TRUE(front->PaintRegion({RECTL{132, 100, 164, 132}}, blue.bo, R2_COPYPEN));
    const int redBefore = Count(pdev->drum1Plane, 100, 100, 132, 132);
    const int blueBefore = Count(pdev->drum2Plane, 132, 100, 164, 132);
    // Source: black top half, green (the key) bottom half; then red.
    Bitmap src(64, 32, BMF_24BPP, hdev);
    src.Fill24(0, 0, 64, 16, 0x000000);
    src.Fill24(0, 16, 64, 32, 0x00FF00);
    ASSERT_TRUE(front->TransparentBlt(src.so, {}, RECTL{100, 100, 164, 132}, RECTL{0, 0, 64, 32}, 0x00FF00));
    EXPECT_TRUE(Logged("DrvTransparentBlt 1 -> TRUE"));
    // Under black: black ink on its plate, the other plate white.
    EXPECT_EQ(Count(pdev->drum2Plane, 100, 100, 164, 116), 64 * 16);
    if (two) {
      EXPECT_EQ(Count(pdev->drum1Plane, 100, 100, 164, 116), 0) << "the red under black is knocked out";
      // Under the key colour both plates keep their ink.
      EXPECT_EQ(Count(pdev->drum1Plane, 100, 116, 132, 132), redBefore / 2);
      EXPECT_EQ(Count(pdev->drum2Plane, 132, 116, 164, 132), blueBefore / 2);
    }
    // Red pixels ink the drum-1 plate on two inks, the one plane on one ink.
    Bitmap redSrc(16, 16, BMF_24BPP, hdev);
    redSrc.Fill24(0, 0, 16, 16, 0x0000FF);
    ASSERT_TRUE(front->TransparentBlt(redSrc.so, {}, RECTL{300, 300, 316, 316}, RECTL{0, 0, 16, 16}, 0x00FF00));
    EXPECT_GT(Count(pdev->drum1Plane, 300, 300, 316, 316), 100) << "a one-ink job inks every plate's colour";
    if (two) {
      EXPECT_EQ(Count(pdev->drum2Plane, 300, 300, 316, 316), 0);
    }
    Stop();
  }
}

// The key colour of a palette source is an index: it is translated before
// the compare.
TEST_F(PluginDraw, TransparentKeyIsTranslated) {
  Start(pdevtest::BaseDevmode(), false);
  Bitmap src(16, 8, BMF_8BPP, hdev);
  for (LONG y = 0; y < 8; ++y)
    for (LONG x = 0; x < 16; ++x)
      static_cast<BYTE*>(src.so->pvScan0)[static_cast<std::ptrdiff_t>(y) * src.so->lDelta + x] = x < 8 ? 0 : 1;
  // Index 0 is white-ish red, index 1 black; index 0 is the key.
  std::vector<ULONG> palette(256, 0xFFFFFF);
  palette[0] = 0x0000FF;
  palette[1] = 0x000000;
  ASSERT_TRUE(front->TransparentBlt(src.so, palette, RECTL{200, 200, 216, 208}, RECTL{0, 0, 16, 8}, 0));
  EXPECT_EQ(Count(pdev->drum1Plane, 200, 200, 208, 208), 0) << "index 0 is transparent";
  EXPECT_EQ(Count(pdev->drum1Plane, 208, 200, 216, 208), 64) << "black is not the key";
}

// DSna goes to the image path from a deep source on one ink and on two inks
// in any separation mode (the classic entry only on two inks above mode 1).
TEST_F(PluginDraw, DsnaTakesTheImagePathInEveryMode) {
  struct Case {
    const char* what;
    PrivateDevmode dm;
  } cases[] = {
      {"one ink", pdevtest::BaseDevmode()}, {"two inks, mode 0", TwoInks(0)}, {"two inks, mode 6", TwoInks(6)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start(c.dm, false);
    Bitmap src(16, 16, BMF_24BPP, hdev);
    std::memset(src.so->pvBits, 0, src.so->cjBits);
    RECTL target{100, 100, 116, 116};
    POINTL origin{0, 0};
    EXPECT_TRUE(OemDrawBitBlt(page, src.so, nullptr, nullptr, nullptr, &target, &origin, nullptr, nullptr, nullptr,
                              kRop4Dsna));
    EXPECT_EQ(pdev->image.blitState, kBlitDsnaNew);
    EXPECT_EQ(pdev->drawing.lastDrawnRect.right, 116);
    Stop();
  }
}

// StretchBltROP without a shadow page: the source stretched over the whole
// target, of which only the page's part is made and blitted.
TEST_F(PluginDraw, StretchBltRopMapsTheWholeTarget) {
  Start(pdevtest::BaseDevmode(), false);
  // Three columns: black, white, black.
  Bitmap src(3, 1, BMF_24BPP, hdev);
  src.Fill24(0, 0, 3, 1, 0xFFFFFF);
  src.Fill24(0, 0, 1, 1, 0x000000);
  src.Fill24(2, 0, 3, 1, 0x000000);
  const LONG w = pdev->planeWidth;
  using RopFn = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, RECTL*, RECTL*,
                         POINTL*, ULONG, BRUSHOBJ*, DWORD);
  auto stretchRop = Hook<RopFn>(INDEX_DrvStretchBltROP);
  Brush black(0);
  ASSERT_TRUE(front->PaintRegion({RECTL{0, 100, w, 110}}, black.bo, R2_COPYPEN));
  RECTL dest{-w, 100, 2 * w, 110};
  RECTL source{0, 0, 3, 1};
  CLIPOBJ* clip = plat::engine::CreateTrivialClip(RECTL{0, 0, w, pdev->planeHeight});
  ASSERT_TRUE(stretchRop(page, src.so, nullptr, clip, nullptr, nullptr, nullptr, &dest, &source, nullptr,
                         COLORONCOLOR, nullptr, kRop4SrcCopy));
  EXPECT_EQ(CountAll(pdev->drum1Plane), 0) << "the page shows the white middle column";
  // Mirrored, two thirds on the page: the black right column of the source
  // at its left, the white middle, the black left column off the page.
  RECTL mirrored{w + 30, 200, w - 60, 210};
  ASSERT_TRUE(stretchRop(page, src.so, nullptr, clip, nullptr, nullptr, nullptr, &mirrored, &source, nullptr,
                         COLORONCOLOR, nullptr, kRop4SrcCopy));
  EXPECT_EQ(Count(pdev->drum1Plane, w - 60, 200, w - 30, 210), 300);
  EXPECT_EQ(Count(pdev->drum1Plane, w - 30, 200, w, 210), 0);
  EXPECT_EQ(CountAll(pdev->drum1Plane), 300);
  plat::engine::DeleteClip(clip);
}

// CopyBits without a source in picture modes is the engine's, not queued.
TEST_F(PluginDraw, CopyBitsWithoutASourceInPictureModes) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  dm.Settings.PhotoMode = 1;
  Start(dm);
  ASSERT_EQ(pdev->photoMode, 1);
  RECTL target{0, 0, 16, 16};
  POINTL origin{0, 0};
  EXPECT_FALSE(OemDrawCopyBits(page, nullptr, nullptr, nullptr, &target, &origin)) << "the engine has no source";
  EXPECT_EQ(pdev->drawing.rop4, kRop4SrcCopy);
  EXPECT_EQ(CountAll(pdev->drum1Plane), 0);
}

// A BitBlt after an engine stroke that called back into the plug-in puts the
// exchanged rows back first.
TEST_F(PluginDraw, BitBltPutsStrokeRowsBack) {
  Start(TwoInks(6));
  const std::size_t bytes = static_cast<std::size_t>(pdev->planeStride) * pdev->planeHeight;
  std::memset(pdev->drum1Plane + 10 * pdev->planeStride, 0x00, 2);  // drum-1 ink, row 10
  const std::vector<BYTE> drum1(pdev->drum1Plane, pdev->drum1Plane + bytes);
  const std::vector<BYTE> drum2(pdev->drum2Plane, pdev->drum2Plane + bytes);
  // What StrokeOnInkPlane leaves while the engine strokes: drum 1's rows in drum 2.
  const PdevRect rows{0, 8, 31, 12};
  auto* saved = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, 4 * 5));
  for (int y = 0; y < 5; ++y) std::memcpy(saved + 4 * y, pdev->drum2Plane + (8 + y) * pdev->planeStride, 4);
  for (int y = 8; y <= 12; ++y)
    std::memcpy(pdev->drum2Plane + y * pdev->planeStride, pdev->drum1Plane + y * pdev->planeStride, 4);
  pdev->drawing.strokeSaved = saved;
  pdev->drawing.strokeRect = rows;
  pdev->drawing.strokeSwapped = 1;
  Brush white(0xFFFFFF);
  RECTL far{1000, 1000, 1008, 1008};
  CLIPOBJ* clip = plat::engine::CreateTrivialClip(far);
  ASSERT_TRUE(OemDrawBitBlt(page, nullptr, nullptr, clip, nullptr, &far, nullptr, nullptr, white.bo, nullptr,
                            kRop4PatCopy));
  EXPECT_EQ(pdev->drawing.strokeSwapped, 0);
  EXPECT_EQ(pdev->drawing.strokeSaved, nullptr);
  EXPECT_TRUE(std::vector<BYTE>(pdev->drum1Plane, pdev->drum1Plane + bytes) == drum1);
  EXPECT_TRUE(std::vector<BYTE>(pdev->drum2Plane, pdev->drum2Plane + bytes) == drum2);
  plat::engine::DeleteClip(clip);
}

// SendPage of a page that does not complete a sheet empties the page's
// plug-in state; the sheet's last page emits it.
TEST_F(PluginDraw, SendPageOfNUpPages) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  dm.Settings.RensyaLayout = 1;
  Start(dm);
  ASSERT_EQ(pdev->pagesPerSheet, 2);
  pdev->plugin.kind = 2;
  pdev->plugin.tag = BMF_24BPP;
  pdev->image.operationRect = PdevRect{1, 2, 3, 4};
  SetPending();
  pdev->drawing.rop4 = kRop4SrcCopy;
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
  EXPECT_EQ(pdev->pageCounter, 1u);
  EXPECT_EQ(pdev->plugin.kind, 0);
  EXPECT_EQ(pdev->plugin.tag, 0);
  EXPECT_EQ(pdev->image.operationRect.right, -1);
  EXPECT_EQ(pdev->flags & kPdevImagePending, 0u);
  EXPECT_EQ(pdev->drawing.rop4, 0u);
  EXPECT_EQ(pdev->drawing.previousRop4, kRop4SrcCopy);
  EXPECT_EQ(pdev->sheetCounter, 0u);
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
  EXPECT_EQ(pdev->sheetCounter, 1u);
}

// In picture modes a copied picture is queued for the shadow page; when its
// drawing object or item array cannot be had, the worker declines and the
// call takes the ordinary picture path, nothing left queued.
TEST_F(PluginDraw, QueueThatCannotAllocateDrawsTheOrdinaryWay) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  dm.Settings.PhotoMode = 1;
  struct Case {
    const char* what;
    std::size_t failAt;  // 0: none
    bool queued;
  } cases[] = {{"queued", 0, true}, {"no object", 1, false}, {"no items", 2, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start(dm);
    ASSERT_NE(pp->shadow.object, nullptr);
    Bitmap src(16, 16, BMF_24BPP, hdev);
    src.Fill24(0, 0, 16, 16, 0x000000);
    Brush white(0xFFFFFF);
    plat::FailNthHeapAlloc(c.failAt);
    const bool drawn = front->BitBlt(src.so, {}, 40, 40, kRop3SrcCopy, nullptr);
    plat::FailNthHeapAlloc(0);
    ASSERT_TRUE(drawn);
    EXPECT_EQ(pdev->plugin.head != nullptr, c.queued);
    EXPECT_EQ(pdev->plugin.kind, c.queued ? kObjectCopy : 0);
    // Either way the picture is waiting (in the queue or the band cache) and
    // a fill over its corner puts it down first.
    EXPECT_NE(pdev->flags & kPdevImagePending, 0u);
    EXPECT_EQ(CountAll(pdev->drum1Plane), 0);
    ASSERT_TRUE(front->PatBlt(RECTL{40, 40, 42, 42}, white.bo, kRop3PatCopy));
    EXPECT_EQ(pdev->plugin.head, nullptr);
    EXPECT_EQ(Count(pdev->drum1Plane, 40, 40, 56, 56), 256 - 4);
    EXPECT_EQ(CountAll(pdev->drum1Plane), 256 - 4);
    Stop();
  }
}

// A queued picture stays queued while text is drawn beside it; a fill over
// it puts it down first, the fill on top.
TEST_F(PluginDraw, QueuedPictureBesideTextAndUnderAFill) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  dm.Settings.PhotoMode = 1;
  Start(dm);
  Bitmap src(16, 16, BMF_24BPP, hdev);
  src.Fill24(0, 0, 16, 16, 0x000000);
  Brush black(0), white(0xFFFFFF);
  ASSERT_TRUE(front->BitBlt(src.so, {}, 40, 40, kRop3SrcCopy, nullptr));
  ASSERT_NE(pdev->plugin.head, nullptr);
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), 40);
  ASSERT_NE(font, nullptr);
  ASSERT_TRUE(front->TextOut(font, u"Hi", 200, 240, black.bo));
  EXPECT_NE(pdev->plugin.head, nullptr) << "text beside leaves the picture queued";
  EXPECT_EQ(Count(pdev->drum1Plane, 40, 40, 56, 56), 0);
  const int text = CountAll(pdev->drum1Plane);
  EXPECT_GT(text, 50);
  ASSERT_TRUE(front->PaintRegion({RECTL{36, 36, 44, 44}}, white.bo, R2_COPYPEN));
  EXPECT_EQ(pdev->plugin.head, nullptr);
  EXPECT_EQ(pdev->flags & kPdevImagePending, 0u);
  EXPECT_EQ(Count(pdev->drum1Plane, 40, 40, 56, 56), 256 - 16);
  EXPECT_EQ(CountAll(pdev->drum1Plane), text + 256 - 16);
  plat::engine::DeleteFont(font);
}

}  // namespace

