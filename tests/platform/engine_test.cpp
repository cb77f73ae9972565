// The graphics engine model: bitmaps, devices, the engine's own fills,
// palettes and the abort check.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "plat/engine.h"
#include "plat/machine.h"
#include "plat/spooler.h"

namespace {

bool Bit(const SURFOBJ* so, LONG x, LONG y) {
  auto* row = static_cast<const BYTE*>(so->pvScan0) + static_cast<std::ptrdiff_t>(y) * so->lDelta;
  return (row[x / 8] & (0x80 >> (x % 8))) != 0;
}

TEST(EngineBitmap, TopDownAndBottomUpLayouts) {
  std::vector<BYTE> bits(8 * 3, 0);
  HBITMAP top = EngCreateBitmap(SIZEL{20, 3}, 8, BMF_1BPP, BMF_TOPDOWN, bits.data());
  HBITMAP bottom = EngCreateBitmap(SIZEL{20, 3}, 8, BMF_1BPP, 0, bits.data());
  ASSERT_NE(top, nullptr);
  ASSERT_NE(bottom, nullptr);
  SURFOBJ* t = EngLockSurface(reinterpret_cast<HSURF>(top));
  SURFOBJ* b = EngLockSurface(reinterpret_cast<HSURF>(bottom));
  EXPECT_EQ(t->pvScan0, bits.data());
  EXPECT_EQ(t->lDelta, 8);
  EXPECT_EQ(t->fjBitmap & BMF_TOPDOWN, BMF_TOPDOWN);
  EXPECT_EQ(b->pvScan0, bits.data() + 16);
  EXPECT_EQ(b->lDelta, -8);
  EXPECT_EQ(t->cjBits, 24u);
  EXPECT_EQ(t->iType, STYPE_BITMAP);
  EngUnlockSurface(t);
  EngUnlockSurface(b);
  EXPECT_TRUE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));
  EXPECT_TRUE(EngDeleteSurface(reinterpret_cast<HSURF>(bottom)));
  EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(EngineBitmap, BadSizesAreRefused) {
  struct Case {
    SIZEL size;
    LONG stride;
    ULONG format;
  };
  const Case cases[] = {{{0, 5}, 4, BMF_1BPP},  {{5, -1}, 4, BMF_1BPP}, {{33, 1}, 4, BMF_1BPP},
                        {{4, 4}, 8, 99},        {{10, 1}, 29, BMF_24BPP}, {{0x7FFFFFFF, 0x7FFFFFFF}, 0, BMF_8BPP}};
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(EngCreateBitmap(c.size, c.stride, c.format, BMF_TOPDOWN, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(plat::engine::LiveSurfaceCount(), 0u);
}

TEST(EngineFill, OneBitRectangleAcrossBytesIsClippedAndBumpsUniq) {
  HBITMAP bm = EngCreateBitmap(SIZEL{40, 6}, 8, BMF_1BPP, BMF_TOPDOWN, nullptr);
  ASSERT_NE(bm, nullptr);
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  for (LONG y = 0; y < 6; ++y)
    for (LONG x = 0; x < 40; ++x) ASSERT_FALSE(Bit(so, x, y));  // zero-filled
  ULONG uniq = so->iUniq;
  ASSERT_TRUE(plat::engine::FillRect(so, RECTL{3, 1, 29, 3}, 1));
  EXPECT_NE(so->iUniq, uniq);
  for (LONG y = 0; y < 6; ++y)
    for (LONG x = 0; x < 40; ++x) EXPECT_EQ(Bit(so, x, y), x >= 3 && x < 29 && y >= 1 && y < 3) << x << "," << y;
  // Clipped to the bitmap; clearing bits back.
  ASSERT_TRUE(plat::engine::FillRect(so, RECTL{-10, -10, 100, 2}, 0));
  for (LONG x = 0; x < 40; ++x) {
    EXPECT_FALSE(Bit(so, x, 1));
    EXPECT_EQ(Bit(so, x, 2), x >= 3 && x < 29);
  }
  // Bytes past the width in the row padding stay untouched.
  EXPECT_EQ(static_cast<BYTE*>(so->pvBits)[5], 0);
  RECTL erase{0, 0, 40, 6};
  ASSERT_TRUE(EngEraseSurface(so, &erase, 1));
  EXPECT_TRUE(Bit(so, 39, 5));
  EngUnlockSurface(so);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

TEST(EngineFill, OnlyTheEnginesSurfacesAreDrawnOn) {
  BYTE bits[16] = {};
  SURFOBJ foreign{};
  foreign.sizlBitmap = SIZEL{1000, 1000};  // claims far more than it has
  foreign.pvBits = foreign.pvScan0 = bits;
  foreign.lDelta = 4;
  foreign.iBitmapFormat = BMF_1BPP;
  EXPECT_FALSE(plat::engine::FillRect(&foreign, RECTL{0, 0, 1000, 1000}, 1));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  for (BYTE b : bits) EXPECT_EQ(b, 0);
}

TEST(EngineFill, TwentyFourBitStoresBlueGreenRed) {
  HBITMAP bm = EngCreateBitmap(SIZEL{3, 2}, 12, BMF_24BPP, BMF_TOPDOWN, nullptr);
  ASSERT_NE(bm, nullptr);
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  ASSERT_TRUE(plat::engine::FillRect(so, RECTL{1, 1, 3, 2}, 0x00332211));  // red 11, green 22, blue 33
  auto* p = static_cast<BYTE*>(so->pvBits);
  const BYTE want[12] = {0, 0, 0, 0x33, 0x22, 0x11, 0x33, 0x22, 0x11, 0, 0, 0};
  EXPECT_EQ(std::memcmp(p + 12, want, 12), 0);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(p[i], 0) << i;
  EngUnlockSurface(so);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
}

TEST(EngineDevice, AssociationGivesTheDriverRecordAndHooks) {
  HDEV dev = plat::engine::CreateDevice(nullptr);
  int record = 0;
  plat::engine::SetDevicePdev(dev, reinterpret_cast<DHPDEV>(&record));
  HBITMAP bm = EngCreateBitmap(SIZEL{8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, nullptr);
  auto hs = reinterpret_cast<HSURF>(bm);
  ASSERT_TRUE(EngAssociateSurface(hs, dev, HOOK_BITBLT | HOOK_COPYBITS));
  SURFOBJ* so = EngLockSurface(hs);
  EXPECT_EQ(so->dhpdev, reinterpret_cast<DHPDEV>(&record));
  EXPECT_EQ(so->hdev, dev);
  EXPECT_EQ(plat::engine::DeviceHooks(hs), HOOK_BITBLT | HOOK_COPYBITS);
  EXPECT_FALSE(EngCheckAbort(so));  // no printer behind the device
  EngUnlockSurface(so);
  EXPECT_FALSE(EngAssociateSurface(hs, reinterpret_cast<HDEV>(&record), 0));
  EngDeleteSurface(hs);
  plat::engine::DeleteDevice(dev);
}

TEST(EngineDevice, AbortFollowsTheSpoolerCancelFlag) {
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup;
  setup.name = u"Abort Printer";
  setup.port = u"ABORT:";
  setup.driver.name = u"Driver";
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(u"Abort Printer", &printer, nullptr));
  HDEV dev = plat::engine::CreateDevice(printer);
  HBITMAP bm = EngCreateBitmap(SIZEL{8, 8}, 4, BMF_1BPP, BMF_TOPDOWN, nullptr);
  ASSERT_TRUE(EngAssociateSurface(reinterpret_cast<HSURF>(bm), dev, 0));
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(bm));
  EXPECT_FALSE(EngCheckAbort(so));
  plat::spooler::SetJobCancelled(u"Abort Printer", true);
  EXPECT_TRUE(EngCheckAbort(so));
  plat::spooler::SetJobCancelled(u"Abort Printer", false);
  EXPECT_FALSE(EngCheckAbort(so));
  EngUnlockSurface(so);
  EngDeleteSurface(reinterpret_cast<HSURF>(bm));
  plat::engine::DeleteDevice(dev);
  ClosePrinter(printer);
  plat::spooler::Reset();
}

TEST(EnginePalette, CreateAndDelete) {
  HPALETTE rgb = EngCreatePalette(PAL_RGB, 0, nullptr, 0, 0, 0);
  ASSERT_NE(rgb, nullptr);
  ULONG colours[2] = {0, 0xFFFFFF};
  HPALETTE indexed = EngCreatePalette(PAL_INDEXED, 2, colours, 0, 0, 0);
  ASSERT_NE(indexed, nullptr);
  EXPECT_EQ(EngCreatePalette(PAL_INDEXED, 0, nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(EngCreatePalette(0x40, 0, nullptr, 0, 0, 0), nullptr);
  EXPECT_EQ(plat::engine::LivePaletteCount(), 2u);
  EXPECT_TRUE(EngDeletePalette(rgb));
  EXPECT_TRUE(EngDeletePalette(indexed));
  EXPECT_FALSE(EngDeletePalette(rgb));
  EXPECT_EQ(plat::engine::LivePaletteCount(), 0u);
}

TEST(EngineClock, LocalTimeIsTheMachineClock) {
  SYSTEMTIME set{2026, 3, 2, 17, 9, 41, 7, 250};
  plat::machine::SetLocalTime(set);
  plat::machine::FreezeClock(true);
  ENG_TIME_FIELDS t{};
  EngQueryLocalTime(&t);
  EXPECT_EQ(t.usYear, 2026);
  EXPECT_EQ(t.usMonth, 3);
  EXPECT_EQ(t.usDay, 17);
  EXPECT_EQ(t.usHour, 9);
  EXPECT_EQ(t.usMinute, 41);
  EXPECT_EQ(t.usSecond, 7);
  plat::machine::Reset();
}

}  // namespace
