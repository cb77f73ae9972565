// The plug-in device under a fake core: its life, the hooks around the
// core's entries, the shadow page, and the command stream against the
// classic library's for the same DEVMODE.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "plat/engine.h"
#include "plat/engine_blit.h"
#include "plat/engine_clip_xlate.h"
#include "plat/engine_draw.h"
#include "plugincommon/plugin_devmode.h"
#include "render/document_entries.h"
#include "render/drawing_entries.h"
#include "render/pdev_fixture.h"
#include "render/render_surface.h"
#include "renderplugin/hook_table.h"
#include "renderplugin/plugin_pdev.h"
#include "support/memory_sink.h"

namespace {

using pdevtest::kPrinter;
using renderplugin::HookSlot;

// What the fake core's entries saw.
struct CoreLog {
  std::vector<std::string> calls;
};
CoreLog* gLog = nullptr;

BOOL CoreStartPage(SURFOBJ*) { return gLog->calls.push_back("StartPage"), TRUE; }
BOOL CoreSendPage(SURFOBJ*) { return gLog->calls.push_back("SendPage"), TRUE; }
BOOL CoreStartDoc(SURFOBJ*, LPWSTR, DWORD) { return gLog->calls.push_back("StartDoc"), TRUE; }
BOOL CoreEndDoc(SURFOBJ*, FLONG) { return gLog->calls.push_back("EndDoc"), TRUE; }
BOOL CorePlgBlt(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*, RECTL*,
                POINTL*, ULONG) {
  return gLog->calls.push_back("PlgBlt"), TRUE;
}
BOOL CoreGradientFill(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG) {
  return gLog->calls.push_back("GradientFill"), TRUE;
}
ULONG CoreEscape(SURFOBJ*, ULONG iEsc, ULONG, PVOID, ULONG, PVOID) { return gLog->calls.push_back("Escape"), iEsc; }

template <typename F>
PFN Fn(F f) {
  return reinterpret_cast<PFN>(f);
}
DRVFN kCoreTable[] = {{INDEX_DrvStartPage, Fn(CoreStartPage)},     {INDEX_DrvSendPage, Fn(CoreSendPage)},
                      {INDEX_DrvStartDoc, Fn(CoreStartDoc)},       {INDEX_DrvEndDoc, Fn(CoreEndDoc)},
                      {INDEX_DrvPlgBlt, Fn(CorePlgBlt)},           {INDEX_DrvGradientFill, Fn(CoreGradientFill)},
                      {INDEX_DrvEscape, Fn(CoreEscape)}};

// The core's record starts with its DEVOBJ, as the hooks expect.
struct FakeCore {
  DEVOBJ devobj{};
  DRVPROCS procs{};
  std::vector<BYTE> spooled;
  std::size_t take = SIZE_MAX;  // bytes written before every write comes up short
  int writes = 0;
};

DWORD WINAPI CoreWrite(DEVOBJ* devobj, PVOID buffer, DWORD size) {
  auto* core = reinterpret_cast<FakeCore*>(devobj);
  ++core->writes;
  std::size_t n = size;
  if (core->spooled.size() + n > core->take) n = core->take > core->spooled.size() ? core->take - core->spooled.size() : 0;
  const auto* b = static_cast<const BYTE*>(buffer);
  core->spooled.insert(core->spooled.end(), b, b + n);
  return static_cast<DWORD>(n);
}

// A private part of the plug-in: header, then the private bytes of dm.
std::vector<BYTE> PartOf(const PrivateDevmode& dm, DWORD version = 1) {
  std::vector<BYTE> part(oemdm::kSize);
  oemdm::WriteHeader(part.data(), {static_cast<DWORD>(oemdm::kSize), oemdm::kSignature, version});
  std::memcpy(part.data() + oemdm::kPrivateBlock, reinterpret_cast<const BYTE*>(&dm) + kPublicDevmodeSize,
              kPrivateDevmodeExtra);
  return part;
}

std::string Text(const std::vector<BYTE>& b) { return std::string(b.begin(), b.end()); }

class PluginPdevTest : public pdevtest::PrinterFixture {
 protected:
  void SetUp() override {
    pdevtest::PrinterFixture::SetUp();
    gLog = &log;
    baseSurfaces = plat::engine::LiveSurfaceCount();
    core.procs.DrvWriteSpoolBuf = CoreWrite;
    core.devobj.hEngine = hdev;
    core.devobj.hPrinter = printer;
    core.devobj.pDrvProcs = &core.procs;
    plat::engine::SetDevicePdev(hdev, reinterpret_cast<DHPDEV>(&core.devobj));
    HBITMAP bm = EngCreateBitmap(SIZEL{8, 8}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr);
    coreSurface = reinterpret_cast<HSURF>(bm);
    ASSERT_TRUE(EngAssociateSurface(coreSurface, hdev, 0x185EB));
    page = EngLockSurface(coreSurface);
  }
  void TearDown() override {
    if (pp) OemDisablePdev(&core.devobj);
    EngUnlockSurface(page);
    EngDeleteSurface(coreSurface);
    EXPECT_EQ(plat::engine::LiveSurfaceCount(), baseSurfaces);
    gLog = nullptr;
    pdevtest::PrinterFixture::TearDown();
  }

  PluginPdev* EnablePlugin(PrivateDevmode& dm, DWORD version = 1) {
    publicDm = dm.Public;
    part = PartOf(dm, version);
    core.devobj.pPublicDM = &publicDm;
    core.devobj.pOEMDM = part.data();
    std::memset(&gdi, 0, sizeof gdi);
    std::memset(&devinfo, 0, sizeof devinfo);
    devinfo.hpalDefault = reinterpret_cast<HPALETTE>(this);  // the core's
    HSURF hatches[6] = {reinterpret_cast<HSURF>(1)};
    DRVENABLEDATA coreData{0x20000, static_cast<ULONG>(std::size(kCoreTable)), kCoreTable};
    pp = OemEnablePdev(&core.devobj, const_cast<LPWSTR>(kPrinter), 6, hatches, sizeof gdi, &gdi, sizeof devinfo,
                       &devinfo, &coreData);
    core.devobj.pdevOEM = pp;
    if (pp) {
      EXPECT_EQ(hatches[0], nullptr);
    }
    return pp;
  }

  template <typename F>
  F Hook(ULONG index) {
    return reinterpret_cast<F>(renderplugin::OemHookTable()[static_cast<std::size_t>(HookSlot(index))].pfn);
  }

  // A page through the hooks: a black bar painted and a line, as a core does.
  void PrintPages(int pages) {
    std::u16string doc = u"Doc";
    ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
    for (int i = 0; i < pages; ++i) {
      ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
      DrawOn(page, true);
      ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
    }
    ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, FLONG)>(INDEX_DrvEndDoc)(page, 0));
  }
  void DrawOn(SURFOBJ* pso, bool hooks) {
    CLIPOBJ* clip = plat::engine::CreateTrivialClip(RECTL{100, 120, 400, 160});
    BRUSHOBJ* black = plat::engine::CreateSolidBrush(0);
    plat::engine::UseBrushOn(black, hooks ? pp->render.surfaceObject : pso);
    using PaintFn = BOOL (*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX);
    const BOOL painted = hooks ? Hook<PaintFn>(INDEX_DrvPaint)(pso, clip, black, nullptr, 0x0D0D)
                               : DrvPaint(pso, clip, black, nullptr, 0x0D0D);
    EXPECT_TRUE(painted);
    plat::engine::DeleteBrush(black);
    plat::engine::DeleteClip(clip);
  }

  // The classic library's stream of the same job (DEVMODE marked classic).
  std::vector<BYTE> ClassicStream(PrivateDevmode dm, int pages) {
    dm.Public.dmDriverVersion = kClassicDriverVersion;
    RenderPdev* classic = Enable(dm);
    EXPECT_NE(classic, nullptr);
    if (!classic) return {};
    HSURF hs = DrvEnableSurface(reinterpret_cast<DHPDEV>(classic));
    SURFOBJ* so = EngLockSurface(hs);
    testsupport::MemorySink sink;
    std::u16string doc = u"Doc";
    EXPECT_TRUE(DrvStartDoc(so, doc.data(), 5));
    classic->sink = sink.Sink();
    for (int i = 0; i < pages; ++i) {
      EXPECT_TRUE(DrvStartPage(so));
      DrawOn(so, false);
      EXPECT_TRUE(DrvSendPage(so));
    }
    EXPECT_TRUE(DrvEndDoc(so, 0));
    EngUnlockSurface(so);
    DrvDisableSurface(reinterpret_cast<DHPDEV>(classic));
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(classic));
    plat::engine::SetDevicePdev(hdev, reinterpret_cast<DHPDEV>(&core.devobj));
    return sink.bytes;
  }

  FakeCore core;
  CoreLog log;
  HSURF coreSurface = nullptr;
  SURFOBJ* page = nullptr;
  PluginPdev* pp = nullptr;
  DEVMODEW publicDm{};
  std::vector<BYTE> part;
  std::size_t baseSurfaces = 0;
};

TEST_F(PluginPdevTest, HookTableInItsOrder) {
  const ULONG expected[] = {12, 13, 19, 18, 20, 23, 14, 15, 16, 17, 31, 33, 32, 24, 35,
                            34, 58, 57, 26, 27, 28, 53, 47, 37, 69, 70, 74, 71, 68};
  const auto table = renderplugin::OemHookTable();
  ASSERT_EQ(table.size(), std::size(expected));
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].iFunc, expected[i]) << "entry " << i;
    EXPECT_NE(table[i].pfn, nullptr);
  }
  DRVENABLEDATA ded{};
  OemEnableDriver(&ded);
  EXPECT_EQ(ded.iDriverVersion, 0x10000u);
  EXPECT_EQ(ded.c, 29u);
  EXPECT_EQ(ded.pdrvfn, table.data());
}

TEST_F(PluginPdevTest, EnableBuildsTheRecordInPlace) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  EXPECT_TRUE(IsValidPdev(&pp->render));
  EXPECT_EQ(pp->render.generation, PdevGeneration::Plugin);
  EXPECT_EQ(pp->render.plugin.devobj, &core.devobj);
  // The planes of the job are the record's: their device pointer is it.
  std::u16string doc = u"Doc";
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
  ASSERT_NE(pp->render.surfaceObject, nullptr);
  EXPECT_EQ(pp->render.surfaceObject->dhpdev, reinterpret_cast<DHPDEV>(&pp->render));
  EXPECT_EQ(pp->render.surfaceObject->hdev, hdev);
  EXPECT_EQ(plat::engine::DeviceHooks(pp->render.surface), 0u) << "the core's device hooks the page, not the planes";
  // The core's entries saved by index, null where it has none.
  EXPECT_EQ(pp->coreEntries[HookSlot(INDEX_DrvStartPage)], Fn(CoreStartPage));
  EXPECT_EQ(pp->coreEntries[HookSlot(INDEX_DrvBitBlt)], nullptr);
  // GDIINFO and DEVINFO of the plug-in build; the core's palette stays.
  EXPECT_EQ(gdi.ulNumColors, 0xFFFFFFu);
  EXPECT_EQ(gdi.xStyleStep, 1);
  EXPECT_EQ(gdi.yStyleStep, 1);
  EXPECT_EQ(gdi.denStyleStep, 300 / 50);
  EXPECT_EQ(pp->pageWidth, static_cast<std::int32_t>(gdi.ulHorzRes));
  EXPECT_EQ(pp->pageHeight, static_cast<std::int32_t>(gdi.ulVertRes));
  EXPECT_EQ(devinfo.flGraphicsCaps, 0x5Fu);
  EXPECT_EQ(devinfo.iDitherFormat, BMF_24BPP);
  EXPECT_EQ(devinfo.cxDither, 0);
  EXPECT_EQ(devinfo.hpalDefault, reinterpret_cast<HPALETTE>(this));
  EXPECT_EQ(pp->render.palette, nullptr);
}

// The core's public DEVMODE may be shorter than 220 bytes: only dmSize
// bytes are read, the rest is zero, and the assembled one says 220.
TEST_F(PluginPdevTest, ShortPublicDevmodesAreReadToTheirSize) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  dm.Public.dmFields = DM_PAPERSIZE | DM_FORMNAME;
  dm.Public.dmPaperSize = DMPAPER_A5;
  dm.Margins[0] = 120;
  const std::vector<BYTE> part = PartOf(dm);
  for (WORD size : {WORD{100}, WORD{220}}) {
    SCOPED_TRACE(size);
    // Exactly dmSize bytes, so that a longer read is caught.
    std::vector<BYTE> shortPublic(size);
    DEVMODEW pub = dm.Public;
    pub.dmSize = size;
    std::memcpy(shortPublic.data(), &pub, size);
    PrivateDevmodePtr assembled =
        AssemblePluginDevmode(printer, reinterpret_cast<const DEVMODEW*>(shortPublic.data()), part.data());
    ASSERT_NE(assembled, nullptr);
    EXPECT_EQ(assembled->Public.dmSize, kPublicDevmodeSize);
    EXPECT_EQ(assembled->Public.dmDriverVersion, kPluginDriverVersion);
    EXPECT_EQ(assembled->Public.dmDriverExtra, kPrivateDevmodeExtra);
    EXPECT_EQ(assembled->Public.dmPaperSize, DMPAPER_A5);
    const auto* bytes = reinterpret_cast<const BYTE*>(assembled.get());
    if (size == 100) {
      EXPECT_TRUE(std::all_of(bytes + 100, bytes + kPublicDevmodeSize, [](BYTE b) { return b == 0; }));
    }
    EXPECT_EQ(assembled->Margins[0], 120);
  }
}

TEST_F(PluginPdevTest, PartsThatAreNotOursTakeThePrintersDefaults) {
  struct Case {
    DWORD version;
    std::int32_t marginLeft;
  };
  // The printer's defaults have a left margin of 5 mm; the part's is 12 mm.
  for (const Case& c : {Case{1, 120}, Case{2, 50}, Case{0, 50}}) {
    PrivateDevmode dm = pdevtest::BaseDevmode();
    dm.Margins[0] = 120;
    ASSERT_NE(EnablePlugin(dm, c.version), nullptr);
    EXPECT_EQ(pp->render.marginLeft, c.marginLeft) << "version " << c.version;
    OemDisablePdev(&core.devobj);
    pp = nullptr;
  }
}

TEST_F(PluginPdevTest, PaperOfTheDevmode) {
  struct Case {
    const char* what;
    DWORD fields;
    SHORT paper;
    const char16_t* form;
    SHORT width, length;
    std::uint16_t expectWidth, expectLength;
  };
  const Case cases[] = {
      {"A5, the spooler's form 11", DM_PAPERSIZE, DMPAPER_A5, nullptr, 0, 0, 1480, 2100},
      {"form 99", DM_PAPERSIZE, 99, nullptr, 0, 0, 1100, 2080},
      {"past the forms and the Paper records", DM_PAPERSIZE, 200, nullptr, 0, 0, 2100, 2970},
      {"form A3 by name", DM_FORMNAME, 0, u"A3", 0, 0, 2970, 4200},
      {"unknown form name", DM_FORMNAME, 0, u"No Such Form", 0, 0, 2100, 2970},
      {"own size", DM_PAPERWIDTH | DM_PAPERLENGTH, 0, nullptr, 1000, 1500, 1000, 1500},
      {"user id", DM_PAPERSIZE, DMPAPER_USER, nullptr, 1200, 1600, 1200, 1600},
      {"nothing", 0, 0, nullptr, 0, 0, 2100, 2970},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PrivateDevmode dm = pdevtest::BaseDevmode();
    dm.Public.dmFields = c.fields;
    dm.Public.dmPaperSize = c.paper;
    dm.Public.dmPaperWidth = c.width;
    dm.Public.dmPaperLength = c.length;
    if (c.form) std::memcpy(dm.Public.dmFormName, c.form, std::char_traits<char16_t>::length(c.form) * 2);
    ASSERT_NE(EnablePlugin(dm), nullptr);
    EXPECT_EQ(pp->render.paperWidth, c.expectWidth);
    EXPECT_EQ(pp->render.paperLength, c.expectLength);
    OemDisablePdev(&core.devobj);
    pp = nullptr;
  }
}

// The stream of the plug-in is the classic one with the build number of its
// generation in the set-up list.
TEST_F(PluginPdevTest, SameStreamAsTheClassicLibrary) {
  for (int pages : {1, 3}) {
    SCOPED_TRACE(pages);
    PrivateDevmode dm = pdevtest::BaseDevmode();
    dm.Public.dmDriverVersion = kPluginDriverVersion;
    core.spooled.clear();
    ASSERT_NE(EnablePlugin(dm), nullptr);
    PrintPages(pages);
    OemDisablePdev(&core.devobj);
    pp = nullptr;
    std::string classic = Text(ClassicStream(dm, pages));
    const std::string plugin = Text(core.spooled);
    ASSERT_GT(plugin.size(), 1000u);
    ASSERT_NE(classic.find("211;518;1;0"), std::string::npos);
    classic.replace(classic.find("211;518;1;0"), 11, "211;219;1;0");
    EXPECT_EQ(plugin, classic);
  }
  EXPECT_EQ(log.calls.front(), "StartDoc");
  EXPECT_EQ(log.calls.back(), "EndDoc");
}

TEST_F(PluginPdevTest, ShortSpoolWritesFailTheJob) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  core.take = 40;
  PrintPages(1);
  EXPECT_EQ(core.spooled.size(), 40u);
  EXPECT_EQ(pp->render.jobFailed, static_cast<DWORD>(ERROR_WRITE_FAULT));
  // Nothing is written after the failure.
  EXPECT_EQ(core.writes, 1);
}

TEST_F(PluginPdevTest, ShadowPageIsKeptAndWhitenedBetweenPages) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  std::u16string doc = u"Doc";
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
  ASSERT_NE(pp->shadow.object, nullptr);
  EXPECT_EQ(pp->render.plugin.shadowObject, pp->shadow.object);
  EXPECT_EQ(pp->shadow.object->iBitmapFormat, BMF_24BPP);
  EXPECT_EQ(pp->shadow.object->sizlBitmap.cx, pp->pageWidth);
  EXPECT_TRUE(ShadowPageIsWhite(pp->shadow.object));
  HSURF first = pp->shadow.surface;
  // A 24-bit picture copied onto the page reaches the shadow page.
  HBITMAP pic = EngCreateBitmap(SIZEL{16, 4}, 0, BMF_24BPP, BMF_TOPDOWN, nullptr);
  SURFOBJ* src = EngLockSurface(reinterpret_cast<HSURF>(pic));
  std::memset(src->pvBits, 0x20, src->cjBits);
  RECTL dest{50, 300, 66, 304};
  POINTL origin{0, 0};
  using CopyFn = BOOL (*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, POINTL*);
  EXPECT_TRUE(Hook<CopyFn>(INDEX_DrvCopyBits)(page, src, nullptr, nullptr, &dest, &origin));
  EXPECT_FALSE(ShadowPageIsWhite(pp->shadow.object));
  EXPECT_EQ(pp->shadow.touchedTop, 300);
  EXPECT_EQ(pp->shadow.touchedBottom, 304);
  // FillPath is left to GDI: FALSE, the shadow page untouched.
  using FillFn = BOOL (*)(SURFOBJ*, PATHOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX, FLONG);
  EXPECT_FALSE(Hook<FillFn>(INDEX_DrvFillPath)(page, nullptr, nullptr, nullptr, nullptr, 0x0D0D, 0));
  EXPECT_EQ(pp->shadow.touchedTop, 300);
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
  EXPECT_EQ(pp->shadow.object, nullptr);
  EXPECT_EQ(pp->render.plugin.shadowObject, nullptr);
  // The next page gets the same bitmap back, white again.
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
  EXPECT_EQ(pp->shadow.surface, first);
  EXPECT_TRUE(ShadowPageIsWhite(pp->shadow.object));
  EngUnlockSurface(src);
  EngDeleteSurface(reinterpret_cast<HSURF>(pic));
  // Disabled without SendPage: the shadow page goes too (checked in TearDown).
  OemDisablePdev(&core.devobj);
  pp = nullptr;
  EXPECT_EQ(log.calls, (std::vector<std::string>{"StartDoc", "StartPage", "SendPage", "StartPage"}));
}

TEST_F(PluginPdevTest, ShadowPageOfAnotherSizeIsMadeAnew) {
  ShadowPage shadow{};
  ASSERT_TRUE(BeginShadowPage(shadow, hdev, 40, 30));
  TouchShadowRows(shadow, nullptr);
  std::memset(shadow.object->pvBits, 0, shadow.object->cjBits);
  EndShadowPage(shadow);
  ASSERT_TRUE(BeginShadowPage(shadow, hdev, 50, 30));
  EXPECT_EQ(shadow.object->sizlBitmap.cx, 50);
  EXPECT_TRUE(ShadowPageIsWhite(shadow.object));
  // A page left without SendPage is taken back and whitened.
  TouchShadowRows(shadow, nullptr);
  std::memset(shadow.object->pvBits, 0, shadow.object->cjBits);
  ASSERT_TRUE(BeginShadowPage(shadow, hdev, 50, 30));
  EXPECT_TRUE(ShadowPageIsWhite(shadow.object));
  EXPECT_FALSE(BeginShadowPage(shadow, hdev, 0, 30));
  EXPECT_EQ(shadow.object, nullptr);
  DeleteShadowPage(shadow);
}

// A new DEVMODE between pages: the old device's job carries over, its
// shadow page goes; a page-size change ends the old job's stream first.
TEST_F(PluginPdevTest, ResetCarriesTheJobToTheNewDevice) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  std::u16string doc = u"Doc";
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(page));
  DrawOn(page, true);
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvSendPage)(page));
  ASSERT_NE(pp->shadow.kept, nullptr);
  const std::size_t firstJob = core.spooled.size();

  FakeCore next;
  next.procs.DrvWriteSpoolBuf = CoreWrite;
  next.devobj = core.devobj;
  next.devobj.pDrvProcs = &next.procs;
  PrivateDevmode a5 = dm;
  a5.Public.dmPaperSize = DMPAPER_A5;
  DEVMODEW pub = a5.Public;
  std::vector<BYTE> nextPart = PartOf(a5);
  next.devobj.pPublicDM = &pub;
  next.devobj.pOEMDM = nextPart.data();
  DRVENABLEDATA coreData{0x20000, static_cast<ULONG>(std::size(kCoreTable)), kCoreTable};
  GDIINFO nextGdi{};
  DEVINFO nextInfo{};
  PluginPdev* second = OemEnablePdev(&next.devobj, nullptr, 0, nullptr, sizeof nextGdi, &nextGdi, sizeof nextInfo,
                                     &nextInfo, &coreData);
  ASSERT_NE(second, nullptr);
  next.devobj.pdevOEM = second;
  EXPECT_TRUE(OemRenderResetPdev(&core.devobj, &next.devobj));
  EXPECT_EQ(pp->shadow.kept, nullptr) << "the old device's shadow page is gone";
  // The old job ended, so the new device counts from 0 in the same job.
  EXPECT_EQ(second->render.pageCounter, 0u);
  EXPECT_EQ(second->render.jobId, 5u);
  // The old job's sheet and job end went out through the old device.
  EXPECT_GT(core.spooled.size(), firstJob);
  EXPECT_EQ(core.spooled.back(), 'R');
  OemDisablePdev(&next.devobj);
  EXPECT_FALSE(OemRenderResetPdev(&core.devobj, &next.devobj)) << "no device behind it any more";
}

TEST_F(PluginPdevTest, CoreEntriesArePassedOn) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  using PlgFn = BOOL (*)(SURFOBJ*, SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, COLORADJUSTMENT*, POINTL*, POINTFIX*,
                         RECTL*, POINTL*, ULONG);
  using GradFn = BOOL (*)(SURFOBJ*, CLIPOBJ*, XLATEOBJ*, TRIVERTEX*, ULONG, PVOID, ULONG, RECTL*, POINTL*, ULONG);
  using EscFn = ULONG (*)(SURFOBJ*, ULONG, ULONG, PVOID, ULONG, PVOID);
  EXPECT_TRUE(Hook<PlgFn>(INDEX_DrvPlgBlt)(page, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, 0));
  EXPECT_TRUE(Hook<GradFn>(INDEX_DrvGradientFill)(page, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, nullptr, 0));
  EXPECT_EQ(Hook<EscFn>(INDEX_DrvEscape)(page, 4107, 0, nullptr, 0, nullptr), 4107u);
  // Entries the core does not have answer 0 / FALSE.
  using BandFn = BOOL (*)(SURFOBJ*, POINTL*);
  POINTL at{};
  EXPECT_FALSE(Hook<BandFn>(INDEX_DrvNextBand)(page, &at));
  // A blend outside a document is refused, not passed to the core.
  using AlphaFn = BOOL (*)(SURFOBJ*, SURFOBJ*, CLIPOBJ*, XLATEOBJ*, RECTL*, RECTL*, BLENDOBJ*);
  EXPECT_FALSE(Hook<AlphaFn>(INDEX_DrvAlphaBlend)(page, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(log.calls, (std::vector<std::string>{"PlgBlt", "GradientFill", "Escape"}));
}

TEST_F(PluginPdevTest, HooksOfAnotherDeviceFail) {
  using PaintFn = BOOL (*)(SURFOBJ*, CLIPOBJ*, BRUSHOBJ*, POINTL*, MIX);
  SetLastError(0);
  EXPECT_FALSE(Hook<PaintFn>(INDEX_DrvPaint)(page, nullptr, nullptr, nullptr, 0x0D0D));  // no plug-in device yet
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(Hook<BOOL (*)(SURFOBJ*)>(INDEX_DrvStartPage)(nullptr));
}

TEST_F(PluginPdevTest, RealizedPatternRowsStayInsideShortScanLines) {
  PrivateDevmode dm = pdevtest::BaseDevmode();
  ASSERT_NE(EnablePlugin(dm), nullptr);
  std::u16string doc = u"Doc";
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, LPWSTR, DWORD)>(INDEX_DrvStartDoc)(page, doc.data(), 5));
  // 3 x 2 pixels of 24 bits: 9 bytes a scan line, 12 a realized row.
  std::vector<BYTE> bits(18, 0x40);
  HBITMAP bm = EngCreateBitmap(SIZEL{3, 2}, 9, BMF_24BPP, BMF_TOPDOWN, bits.data());
  SURFOBJ* pattern = EngLockSurface(reinterpret_cast<HSURF>(bm));
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0);
  using RealizeFn = BOOL (*)(BRUSHOBJ*, SURFOBJ*, SURFOBJ*, SURFOBJ*, XLATEOBJ*, ULONG);
  EXPECT_TRUE(Hook<RealizeFn>(INDEX_DrvRealizeBrush)(brush, page, pattern, nullptr, nullptr, 0xFFFFFFFF));
  plat::engine::DeleteBrush(brush);
  EngUnlockSurface(pattern);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  ASSERT_TRUE(Hook<BOOL (*)(SURFOBJ*, FLONG)>(INDEX_DrvEndDoc)(page, 0));
}

}  // namespace
