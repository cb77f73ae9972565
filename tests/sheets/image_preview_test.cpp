// The image adjustment previews against a Pillow peer that maps the same
// pictures by the tone and brightness rule: each drawn byte is within one
// unit of the peer's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "sheets/image_page.h"
#include "support/peer.h"
#include "support/python_peer.h"

namespace {

namespace fs = std::filesystem;
using plat::ui::Screen;

constexpr int kWidth = 23, kHeight = 11;  // the peer's pictures
constexpr UINT kCanvas = 9999;
const std::string kPeer = PROJECT_SOURCE_DIR_STR "/tests/sheets/preview_peer.py";

// The adjustment dialog's template from the drivers' bundle.
std::string AdjustTemplate() {
  std::ifstream in(fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL", std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  const std::size_t at = all.find("[DIALOG 1999]");
  const std::size_t end = all.find("\n[", at + 1);
  return at == std::string::npos ? std::string() : all.substr(at, end == std::string::npos ? end : end - at + 1);
}

// Bytes of the canvas as BGR rows, top row first.
std::vector<std::uint8_t> CanvasBytes(HANDLE canvas) {
  BITMAP bm{};
  std::vector<std::uint8_t> out;
  if (GetObjectW(canvas, sizeof bm, &bm) != sizeof bm || !bm.bmBits) return out;
  const int height = bm.bmHeight < 0 ? -bm.bmHeight : bm.bmHeight;
  for (int y = 0; y < height; ++y) {
    const int row = bm.bmHeight > 0 ? height - 1 - y : y;
    const auto* p = static_cast<const std::uint8_t*>(bm.bmBits) + static_cast<std::size_t>(row) * bm.bmWidthBytes;
    out.insert(out.end(), p, p + 3 * bm.bmWidth);
  }
  return out;
}

// Whether a blit between two memory DCs copies the pixels.
bool CopiesPixels(HMODULE module) {
  HANDLE picture = LoadImageW(module, MAKEINTRESOURCEW(460), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  HANDLE canvas = LoadImageW(module, MAKEINTRESOURCEW(kCanvas), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  HDC from = CreateCompatibleDC(nullptr), to = CreateCompatibleDC(nullptr);
  HGDIOBJ a = SelectObject(from, picture), b = SelectObject(to, canvas);
  BitBlt(to, 0, 0, kWidth, kHeight, from, 0, 0, SRCCOPY);
  SelectObject(from, a);
  SelectObject(to, b);
  DeleteDC(from);
  DeleteDC(to);
  const bool copied = CanvasBytes(canvas) == CanvasBytes(picture);
  DeleteObject(picture);
  DeleteObject(canvas);
  return copied;
}

TEST(ImagePreview, DrawnPicturesMatchThePeer) {
  const std::string python = testsupport::PythonWith("PIL");
  REQUIRE_PEER(!python.empty(), "python3-pil");
  testsupport::ScratchDir dir("image-preview");
  const fs::path folder = fs::path(dir.File("bundle"));
  fs::create_directories(folder);
  ASSERT_EQ(std::system((python + " " + kPeer + " make " + folder.string()).c_str()), 0);
  {
    std::ofstream bundle(folder / "PREVIEW.DLL", std::ios::binary);
    bundle << "RESOURCES 1\n" << AdjustTemplate() << "[BITMAP]\n";
    for (int id = 460; id < 520; ++id) bundle << id << "\t" << id << ".bmp\n";
    bundle << kCanvas << "\t" << kCanvas << ".bmp\n";
  }
  HMODULE module = LoadLibraryW(plat::u16((folder / "PREVIEW.DLL").string()).c_str());
  ASSERT_NE(module, nullptr);
  if (!CopiesPixels(module)) {
    FreeLibrary(module);
    GTEST_SKIP() << "the platform's BitBlt does not copy pixels";
  }

  struct Case {
    std::uint8_t colorMode, seihan, modeB;  // the base: 460 with separated masters, else 490
    int contrast, brightness;
    bool backlight;
    int level;
    bool edge;
    int preview;
    UINT id;
  };
  const Case cases[] = {
      {1, 0, 0, 4, 4, false, 3, false, 0, 490},  // backlight off: level 1
      {1, 0, 0, 1, 7, true, 3, false, 1, 490 + 12 + 1},
      {2, 2, 2, 7, 1, true, 5, true, 2, 460 + 24 + 2 + 3},
      {2, 2, 1, 5, 3, false, 5, true, 1, 490 + 1 + 3},
      {2, 2, 9, 2, 6, true, 2, false, 0, 460 + 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    auto context = std::make_unique<DocSheetContext>();
    CapsInfo& info = context->Caps.Info;
    info.AkarusaEnable = info.ContrastEnable = info.GyakkouEnable = info.EdgeEnable = info.KaityoSmoothEnable = 1;
    SheetState& s = context->State;
    s.ResourceDll = module;
    s.ColorMode = c.colorMode;
    s.Seihan = c.seihan;
    s.SeparationModeB = c.modeB;
    s.Akarusa = s.Contrast = s.Gyakkou = 1;
    std::vector<std::uint8_t> drawn;
    plat::ui::QueueHandler([&](Screen& d) {
      EXPECT_TRUE(d.Slide(2043, c.brightness));
      EXPECT_TRUE(d.Slide(2047, c.contrast));
      EXPECT_TRUE(d.Check(2048, true));
      EXPECT_TRUE(d.Slide(2051, c.level));
      EXPECT_TRUE(d.Check(2048, c.backlight));
      EXPECT_TRUE(d.Check(2052, c.edge));
      HANDLE canvas = LoadImageW(module, MAKEINTRESOURCEW(kCanvas), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
      HDC dc = CreateCompatibleDC(nullptr);
      HGDIOBJ before = SelectObject(dc, canvas);
      const int id = 2057 + c.preview;
      DRAWITEMSTRUCT item{ODT_STATIC, static_cast<UINT>(id), 0, ODA_DRAWENTIRE, 0, d.Item(id), dc, {0, 0, kWidth, kHeight}, 0};
      SendMessageW(d.window(), WM_DRAWITEM, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&item));
      SelectObject(dc, before);
      DeleteDC(dc);
      drawn = CanvasBytes(canvas);
      DeleteObject(canvas);
      EXPECT_TRUE(d.Cancel());
    });
    EXPECT_EQ(ImageAdjustDialog(nullptr, *context), 0);
    const std::string out = dir.File("expected");
    ASSERT_EQ(std::system((python + " " + kPeer + " expect " + folder.string() + " " + std::to_string(c.id) + " " +
                           std::to_string(c.contrast) + " " + std::to_string(c.brightness) + " " + out)
                              .c_str()),
              0);
    std::ifstream in(out, std::ios::binary);
    const std::vector<std::uint8_t> expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(drawn.size(), expected.size());
    for (std::size_t i = 0; i < drawn.size(); ++i) {
      ASSERT_LE(std::abs(drawn[i] - expected[i]), 1) << "byte " << i;
    }
  }
  FreeLibrary(module);
}

}  // namespace
