// The setting pictures against a Python peer that composes them from the
// bundle's BMP files by the same rules, pixel for pixel; each picture copied
// to its item once; no GDI object left behind.
#include "sheets/setting_pictures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "plat/windows.h"
#include "support/peer.h"
#include "support/python_peer.h"

namespace {

const std::string kArt = std::string(RESOURCES_DIR_STR) + "/art";

struct Case {
  const char* name;
  int landscape, width, length, rotate, duplex, margin, mode, sub, kind, binding;
  int colormode, seihan, modea, modeb, photo, textproc, vola, volb, oneink, drum1, drum2;
};

// A4 is 210000 x 297000 micrometres.
const Case kCases[] = {
    {"portrait-paper-landscape", 1, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 0, 1001, 1004},
    {"landscape-paper-portrait", 0, 297000, 210000, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 1, 0, 0, 1001, 1004},
    {"two-up-duplex-margin", 0, 210000, 297000, 1, 1, 1, 2, 1, 2, 3, 2, 2, 2, 2, 0, 1, 0, 1, 0, 1003, 1004},
    {"four-up-short-edge", 1, 210000, 297000, 0, 2, 1, 2, 2, 5, 1, 2, 2, 4, 9, 1, 2, 0, 0, 0, 1006, 1010},
    {"booklet-slots-empty", 0, 210000, 297000, 1, 2, 1, 3, 0, 8, 5, 2, 2, 13, 8, 0, 0, 0, 0, 0, 1019, 1001},
    {"one-ink", 0, 210000, 297000, 0, 0, 0, 1, 2, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 1012, 1001, 1004},
    {"second-mode-0", 0, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 2, 5, 0, 0, 0, 0, 1, 0, 1003, 1004},
    {"second-mode-1", 0, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 2, 5, 1, 0, 0, 0, 1, 0, 1003, 1004},
    {"second-mode-8", 0, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 2, 8, 8, 1, 0, 0, 1, 0, 1003, 1004},
    {"inks-out-of-range", 0, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 3, 0, 0, 0, 0, 0, 999, 2000},
    {"text-3-draws-nothing", 0, 210000, 297000, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 18, 0, 3, 0, 0, 0, 1001, 1004},
};

std::string CaseLine(const Case& c) {
  std::ostringstream o;
  o << c.name << " landscape=" << c.landscape << " width=" << c.width << " length=" << c.length
    << " rotate=" << c.rotate << " duplex=" << c.duplex << " margin=" << c.margin << " mode=" << c.mode
    << " sub=" << c.sub << " kind=" << c.kind << " binding=" << c.binding << " colormode=" << c.colormode
    << " seihan=" << c.seihan << " modea=" << c.modea << " modeb=" << c.modeb << " photo=" << c.photo
    << " textproc=" << c.textproc << " vola=" << c.vola << " volb=" << c.volb << " oneink=" << c.oneink
    << " drum1=" << c.drum1 << " drum2=" << c.drum2 << "\n";
  return o.str();
}

SheetState g_state{};
std::int32_t g_width = 0, g_length = 0;

INT_PTR CALLBACK PictureProc(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_DRAWITEM) return FALSE;
  const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  if (item.CtlID == kLayoutPicture) ComposeLayoutPicture(dialog, item, g_state, g_width, g_length);
  else InkColourPicture(dialog, item, g_state, false);
  return TRUE;
}

void ToState(const Case& c, SheetState& s) {
  s.Landscape = static_cast<std::uint8_t>(c.landscape);
  s.Rotate = static_cast<std::uint8_t>(c.rotate);
  s.Duplex = static_cast<std::uint8_t>(c.duplex);
  s.SyuuiYohaku = static_cast<std::uint8_t>(c.margin);
  s.LayoutMode = static_cast<std::uint8_t>(c.mode);
  s.LayoutSub = static_cast<std::uint8_t>(c.sub);
  s.LayoutKind = static_cast<std::uint8_t>(c.kind);
  s.BindingPosition = static_cast<std::uint8_t>(c.binding);
  s.ColorMode = static_cast<std::uint8_t>(c.colormode);
  s.Seihan = static_cast<std::uint8_t>(c.seihan);
  s.SeparationModeA = static_cast<std::uint8_t>(c.modea);
  s.SeparationModeB = static_cast<std::uint8_t>(c.modeb);
  s.PhotoMode = static_cast<std::uint8_t>(c.photo);
  s.TextProc = static_cast<std::uint8_t>(c.textproc);
  s.TextVolumeA = static_cast<std::uint8_t>(c.vola);
  s.TextVolumeB = static_cast<std::uint8_t>(c.volb);
  s.OneInkColor = static_cast<InkCode>(c.oneink);
  s.Drum1Color = static_cast<InkCode>(c.drum1);
  s.Drum2Color = static_cast<InkCode>(c.drum2);
}

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return f ? std::string(std::istreambuf_iterator<char>(f), {}) : std::string("missing");
}

TEST(SettingPictures, MatchThePeerPixelForPixelAndAreCopiedOnce) {
  const std::string python = testsupport::PythonWith("PIL");
  REQUIRE_PEER(!python.empty(), "python3-pil");
  testsupport::ScratchDir scratch("pictures");
  {
    std::ofstream cases(scratch.File("cases.txt"));
    for (const Case& c : kCases) cases << CaseLine(c);
  }
  const std::string command = python + " " + PROJECT_SOURCE_DIR_STR + "/tests/sheets/pictures_peer.py " + kArt + " " +
                              scratch.File("cases.txt") + " " + scratch.File("");
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  HMODULE module = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
  ASSERT_NE(module, nullptr);
  const std::size_t objects = plat::LiveGdiObjectCount();
  // Each case loaded per drawing, then all of them drawn in turn by one sheet
  // that keeps its bitmaps, as an open sheet redraws on each change.
  PictureBitmaps* sheetBitmaps = NewPictureBitmaps();
  for (PictureBitmaps* pictures : {static_cast<PictureBitmaps*>(nullptr), sheetBitmaps})
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.name) + (pictures ? ", the sheet's bitmaps" : ""));
    g_state = SheetState{};
    g_state.ResourceDll = module;
    g_state.Pictures = pictures;
    ToState(c, g_state);
    g_width = c.width;
    g_length = c.length;
    HWND dialog = plat::CreateHeadlessDialog(
        {{kLayoutPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {0, 0, 142, 142}},
         {kTextInkPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {150, 0, 220, 56}},
         {kImageInkPicture, plat::ControlKind::Static, u"", true, SS_OWNERDRAW, {230, 0, 300, 56}}},
        PictureProc);
    plat::ClearBlits();
    plat::PaintWindow(dialog);
    const struct {
      int id;
      const char* kind;
    } pictures[] = {{kLayoutPicture, "layout"}, {kTextInkPicture, "text"}, {kImageInkPicture, "image"}};
    for (const auto& p : pictures) {
      HWND item = GetDlgItem(dialog, p.id);
      const std::string expected = Read(scratch.File(std::string(c.name) + "-" + p.kind + ".rgb"));
      const plat::ui::Picture got = plat::ui::Snapshot(item);
      if (expected == "missing") {
        EXPECT_TRUE(plat::Blits(item).empty()) << p.kind << " is not drawn";
        continue;
      }
      EXPECT_EQ(plat::Blits(item).size(), 1u) << p.kind << " copied once";
      ASSERT_EQ(got.rgb.size(), expected.size()) << p.kind;
      EXPECT_TRUE(std::equal(got.rgb.begin(), got.rgb.end(), expected.begin(),
                             [](BYTE a, char b) { return a == static_cast<BYTE>(b); }))
          << p.kind << " differs from the peer";
    }
    if (std::string(c.name) == "one-ink") {
      const plat::ui::Picture text = plat::ui::Snapshot(GetDlgItem(dialog, kTextInkPicture));
      int nearBlack = 0;
      for (int y = 0; y < text.height; ++y)
        for (int x = 0; x < text.width; ++x) nearBlack += text.At(x, y) == 0x010101u;
      EXPECT_GT(nearBlack, 0) << "grey areas show RGB 1,1,1";
    }
    DestroyWindow(dialog);
  }
  DeletePictureBitmaps(sheetBitmaps);
  EXPECT_EQ(plat::LiveGdiObjectCount(), objects);
  EXPECT_EQ(plat::LiveDcCount(), 0u);
  plat::ClearBlits();
  FreeLibrary(module);
}

TEST(SettingPictures, PortraitInLandscapeEqualsLandscapeInPortrait) {
  UINT a[kLayoutPictureLayers] = {}, b[kLayoutPictureLayers] = {};
  SheetState s{};
  s.Landscape = 1;
  const int n = LayoutPicture(a, s, 210000, 297000);
  s.Landscape = 0;
  ASSERT_EQ(LayoutPicture(b, s, 297000, 210000), n);
  EXPECT_TRUE(std::equal(a, a + n, b));
  EXPECT_EQ(a[0], 522u);
  s.Landscape = 7;  // any non-zero byte is landscape
  LayoutPicture(a, s, 210000, 297000);
  EXPECT_EQ(a[0], 522u);
}

}  // namespace
