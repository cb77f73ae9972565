// The exports of classicrender: the driver table, the driver-info query and
// the module entry; and the drawing entries that decline until they land.
#include <gtest/gtest.h>

#include "pdev_fixture.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "plat/engine_draw.h"
#include "render/drawing_entries.h"
#include "render/render_surface.h"

using namespace pdevtest;

namespace {

class Exports : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryW(plat::u16(std::string(LIB_DIR_STR) + "/classicrender.so").c_str());
    ASSERT_NE(module, nullptr);
    enable = reinterpret_cast<BOOL (*)(ULONG, ULONG, DRVENABLEDATA*)>(GetProcAddress(module, "DrvEnableDriver"));
    query = reinterpret_cast<BOOL (*)(DWORD, PVOID, DWORD, PDWORD)>(GetProcAddress(module, "DrvQueryDriverInfo"));
    init = reinterpret_cast<BOOL (*)(HINSTANCE, DWORD, LPVOID)>(GetProcAddress(module, "DllInitialize"));
    ASSERT_NE(enable, nullptr);
    ASSERT_NE(query, nullptr);
    ASSERT_NE(init, nullptr);
    ASSERT_NE(GetProcAddress(module, "DrvDisableDriver"), nullptr);
  }
  void TearDown() override { FreeLibrary(module); }
  HMODULE module = nullptr;
  BOOL (*enable)(ULONG, ULONG, DRVENABLEDATA*) = nullptr;
  BOOL (*query)(DWORD, PVOID, DWORD, PDWORD) = nullptr;
  BOOL (*init)(HINSTANCE, DWORD, LPVOID) = nullptr;
};

TEST_F(Exports, EnableDriverChecksVersionAndTheWholeStructure) {
  DRVENABLEDATA ded{};
  ASSERT_TRUE(enable(0x20000, sizeof(ded), &ded));
  EXPECT_EQ(ded.iDriverVersion, 0x20000u);
  EXPECT_EQ(ded.c, 20u);
  ASSERT_NE(ded.pdrvfn, nullptr);
  EXPECT_EQ(ded.pdrvfn[0].iFunc, 35u);
  EXPECT_EQ(ded.pdrvfn[19].iFunc, 23u);

  struct Case {
    ULONG version;
    ULONG size;
  };
  // One byte short of the structure, whatever the pointer size: the table
  // pointer would not fit.
  for (Case c : {Case{0x10000, sizeof(ded)}, Case{0x20000, sizeof(ded) - 1}, Case{0x20000, 0}}) {
    DRVENABLEDATA untouched{7, 7, nullptr};
    SetLastError(0);
    EXPECT_FALSE(enable(c.version, c.size, &untouched));
    EXPECT_EQ(GetLastError(), ERROR_BAD_DRIVER_LEVEL);
    EXPECT_EQ(untouched.c, 7u);
  }
}

TEST_F(Exports, QueryDriverInfoAnswersOnlyUserMode) {
  DWORD value = 0, needed = 0;
  EXPECT_TRUE(query(1, &value, 4, &needed));
  EXPECT_EQ(value, 1u);
  EXPECT_EQ(needed, 4u);
  value = 0;
  needed = 0;
  EXPECT_FALSE(query(1, &value, 3, &needed));
  EXPECT_EQ(needed, 4u);
  EXPECT_EQ(value, 0u);
  EXPECT_FALSE(query(2, &value, 4, &needed));
}

TEST_F(Exports, ModuleEntryTakesReasonsZeroToThree) {
  for (DWORD reason = 0; reason < 6; ++reason) EXPECT_EQ(init(nullptr, reason, nullptr), reason <= 3) << reason;
}

using DrawingEntries = PrinterFixture;

TEST_F(DrawingEntries, BlitsAndTextDrawThroughTheEntries) {
  PrivateDevmode dm = BaseDevmode();
  RenderPdev* pdev = Enable(dm);
  ASSERT_NE(pdev, nullptr);
  auto dh = reinterpret_cast<DHPDEV>(pdev);
  ASSERT_NE(DrvEnableSurface(dh), nullptr);
  SURFOBJ* so = pdev->surfaceObject;
  RECTL r{0, 0, 16, 10};
  // PATCOPY of a black brush inks the target; a no-operation ROP4 needs no device.
  BRUSHOBJ* black = plat::engine::CreateSolidBrush(0);
  EXPECT_TRUE(DrvBitBlt(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, black, nullptr, 0xF0F0));
  EXPECT_EQ(pdev->drum2Plane[0], 0x00);
  EXPECT_EQ(pdev->drawing.rop4, 0xF0F0u);
  SURFOBJ stray{};
  EXPECT_TRUE(DrvBitBlt(&stray, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr, nullptr, 0xAAAA));
  // WHITENESS clears it again.
  EXPECT_TRUE(DrvBitBlt(so, nullptr, nullptr, nullptr, nullptr, &r, nullptr, nullptr, nullptr, nullptr, 0xFFFF));
  EXPECT_EQ(pdev->drum2Plane[0], 0xFF);
  // A paint without a region and a line without a brush draw nothing.
  EXPECT_TRUE(DrvPaint(so, nullptr, nullptr, nullptr, 0));
  EXPECT_TRUE(DrvLineTo(so, nullptr, nullptr, 0, 0, 5, 5, &r, R2_COPYPEN));
  SetLastError(0);
  EXPECT_FALSE(DrvTextOut(&stray, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(pdev->drum2Plane[0], 0xFF);
  plat::engine::DeleteBrush(black);
  DrvDisableSurface(dh);
  DrvDisablePDEV(dh);
}

}  // namespace
