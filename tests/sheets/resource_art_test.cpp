// Every picture the sheets load is in the bundle and keeps the rules the
// drawing relies on: 24-bit, pure red transparent, the text pictures' inks
// exactly black or grey 128, grey ramps in the image pictures, and the
// layout picture's layers 142 x 142.
#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <string>

#include "plat/windows.h"

namespace {

struct Rgb {
  BYTE r, g, b;
  bool operator<(const Rgb& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
  bool operator==(const Rgb&) const = default;
};

std::set<Rgb> ColoursOf(const BITMAP& bm) {
  std::set<Rgb> colours;
  for (LONG y = 0; y < bm.bmHeight; ++y) {
    const BYTE* row = static_cast<const BYTE*>(bm.bmBits) + y * bm.bmWidthBytes;
    for (LONG x = 0; x < bm.bmWidth; ++x) colours.insert(Rgb{row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
  }
  return colours;
}

bool In(UINT id, UINT first, UINT last) { return id >= first && id <= last; }

TEST(ResourceArt, EveryIdKeepsTheRules) {
  HMODULE module = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
  ASSERT_NE(module, nullptr);
  std::set<UINT> ids;
  for (UINT id = 402; id <= 405; ++id) ids.insert(id);
  for (UINT id = 420; id <= 456; ++id) ids.insert(id);
  for (UINT id = 460; id <= 519; ++id) ids.insert(id);
  for (UINT id = 521; id <= 579; ++id) ids.insert(id);
  for (UINT id = 3661; id <= 3741; ++id) ids.insert(id);
  const Rgb red{255, 0, 0}, black{0, 0, 0}, grey{128, 128, 128}, white{255, 255, 255};
  for (UINT id : ids) {
    SCOPED_TRACE(id);
    HGDIOBJ bitmap = LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    ASSERT_NE(bitmap, nullptr);
    BITMAP bm{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
    EXPECT_EQ(bm.bmBitsPixel, 24);
    const std::set<Rgb> colours = ColoursOf(bm);
    if (id == 405 || In(id, 521, 553)) {
      EXPECT_EQ(bm.bmWidth, 142);
      EXPECT_EQ(bm.bmHeight, 142);
      // Layers show what is under them through pure red; the frame is the opaque bottom.
      EXPECT_EQ(colours.count(red), id == 405 ? 0u : 1u);
    }
    if (In(id, 3661, 3687) || In(id, 3706, 3741)) {  // the text and graphics pictures
      EXPECT_EQ(colours, (std::set<Rgb>{black, grey, white})) << "inks exactly black (A) and grey 128 (B)";
    }
    if (In(id, 420, 456)) {
      for (const Rgb& c : colours) EXPECT_TRUE(c.r == c.g && c.g == c.b) << "a grey ramp";
      EXPECT_GT(colours.size(), 32u) << "levels from ink to white";
    }
    DeleteObject(bitmap);
  }
  for (UINT id = 101; id <= 125; ++id) {
    HICON icon = LoadIconW(module, MAKEINTRESOURCEW(id));
    EXPECT_NE(icon, nullptr) << id;
    DestroyIcon(icon);
  }
  HCURSOR hand = LoadCursorW(module, MAKEINTRESOURCEW(400));
  SIZE size{};
  POINT hot{};
  ASSERT_TRUE(plat::ImageInfo(hand, &size, &hot));
  EXPECT_EQ(size.cx, 32);
  EXPECT_LT(hot.x, size.cx);
  DestroyCursor(hand);
  FreeLibrary(module);
}

}  // namespace
