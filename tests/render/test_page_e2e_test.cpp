// printjob's built-in test page end to end, on one and two drums: the job
// decoded back by the stream decoder against a reference drawn here (cairo
// for the title, the raster-operation rule for the blits and fills).
#include <gtest/gtest.h>

#ifdef HAVE_CAIRO
#include <cairo-ft.h>
#include <cairo.h>
#endif
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "plat/engine_text.h"
#include "streamdump/stream_decoder.h"
#include "support/peer.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

#ifdef HAVE_CAIRO
constexpr LONG kDpi = 300;  // the sample model's default resolution

class TestPageEndToEnd : public ::testing::Test {
 protected:
  // The drum pages of a printjob run; empty when it failed.
  std::vector<streamdump::Plane> Run(const std::string& args) {
    const fs::path out = dir / "job.prn";
    const std::string cmd = std::string(BIN_DIR_STR) + "/printjob --root '" + (dir / "root").string() + "' --out '" +
                            out.string() + "' " + args + " > /dev/null 2>&1";
    if (std::system(cmd.c_str()) != 0) return {};
    std::ifstream in(out, std::ios::binary);
    const std::vector<unsigned char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const streamdump::Decoded job = streamdump::DecodeStream(std::span<const std::uint8_t>(bytes.data(), bytes.size()));
    std::vector<streamdump::Plane> planes;
    if (!job.ok) return planes;
    for (const auto& page : job.pages) planes.push_back(streamdump::RebuildPlane(job, page));
    return planes;
  }

  testsupport::TempFolder folder_{"testpage"};
  const fs::path dir = folder_.path();
};

// Ink on any drum page at surface position (x, y).
struct Page {
  std::vector<streamdump::Plane> planes;
  LONG dx = 0, dy = 0;
  bool Ink(LONG x, LONG y) const {
    return std::any_of(planes.begin(), planes.end(), [&](const streamdump::Plane& p) {
      return x + dx >= 0 && y + dy >= 0 && p.Ink(static_cast<std::uint32_t>(x + dx), static_cast<std::uint32_t>(y + dy));
    });
  }
};

// Dots in the exclusive rect where the page differs from want(x, y).
long Differing(const Page& page, LONG l, LONG t, LONG r, LONG b, const std::function<bool(LONG, LONG)>& want) {
  long n = 0;
  for (LONG y = t; y < b; ++y)
    for (LONG x = l; x < r; ++x) n += page.Ink(x, y) != want(x, y);
  return n;
}

// The title's dots as cairo draws them: one-bit, no antialiasing, the same
// glyph ids at the same whole-dot positions from the same font file.
std::vector<bool> CairoTitle(LONG em, LONG x0, LONG baseline, LONG l, LONG t, LONG w, LONG h) {
  std::vector<bool> out(static_cast<std::size_t>(w * h), false);
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), static_cast<ULONG>(em));
  if (!font) return out;
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  plat::engine::LayoutText(font, u"Duplicator test page", x0, baseline, glyphs, positions);
  plat::engine::DeleteFont(font);
  FT_Library library;
  FT_Face face;
  if (FT_Init_FreeType(&library) != 0) return out;
  if (FT_New_Face(library, plat::engine::DefaultFontFile().c_str(), 0, &face) == 0) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A1, w, h);
    cairo_t* cr = cairo_create(surface);
    cairo_font_face_t* cface = cairo_ft_font_face_create_for_ft_face(face, 0);
    cairo_set_font_face(cr, cface);
    cairo_set_font_size(cr, static_cast<double>(em));
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, options);
    std::vector<cairo_glyph_t> cg;
    for (std::size_t i = 0; i < glyphs.size(); ++i)
      cg.push_back(cairo_glyph_t{glyphs[i], static_cast<double>(positions[i].x - l),
                                 static_cast<double>(positions[i].y - t)});
    cairo_show_glyphs(cr, cg.data(), static_cast<int>(cg.size()));
    cairo_surface_flush(surface);
    const unsigned char* a1 = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (LONG y = 0; y < h; ++y)
      for (LONG x = 0; x < w; ++x)
        out[static_cast<std::size_t>(y * w + x)] =
            (reinterpret_cast<const std::uint32_t*>(a1 + y * stride)[x / 32] >> (x % 32)) & 1;
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(cface);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return out;
}

TEST_F(TestPageEndToEnd, EachDrawingMatchesItsReferenceOnOneAndTwoDrums) {
  // Where the surface lies on the plane: a paint over everything inks
  // exactly the surface.
  std::ofstream(dir / "all.txt") << "paint 000000 13 0 0 100000 100000\n";
  const std::vector<streamdump::Plane> all = Run("--draw '" + (dir / "all.txt").string() + "'");
  ASSERT_EQ(all.size(), 1u);
  std::uint32_t minX = all[0].width, minY = all[0].height, maxX = 0, maxY = 0;
  for (std::uint32_t y = 0; y < all[0].height; ++y)
    for (std::uint32_t x = 0; x < all[0].width; ++x)
      if (all[0].Ink(x, y)) minX = std::min(minX, x), minY = std::min(minY, y), maxX = x, maxY = std::max(maxY, y);
  ASSERT_LT(minX, maxX);
  const LONG w = static_cast<LONG>(maxX - minX + 1), h = static_cast<LONG>(maxY - minY + 1);

  // The test page's geometry.
  const LONG unit = w / 64, cell = unit * 2, boardTop = h / 3, pictureTop = boardTop + 13 * cell, side = 64;
  auto checker = [&](LONG x, LONG y) {
    const LONG col = (x - unit * 4) / cell, row = (y - boardTop) / cell;
    return (row + col) % 2 == 0;
  };
  auto stripes = [](LONG x, LONG y) { return ((x + y) / 8) % 2 == 0; };  // black dots of the one-bit picture

  struct Case {
    const char* args;
    std::size_t drumPages;
  } cases[] = {{"--set TextProc=1 --set TextVolumeA=0 --set TextVolumeB=0", 1},
               {"--set TextProc=1 --set TextVolumeA=0 --set TextVolumeB=0 --set ColorMode=2 --set Seihan=2", 2}};
  for (const Case& c : cases) {
    Page page;
    page.planes = Run(c.args);
    ASSERT_EQ(page.planes.size(), c.drumPages) << c.args;
    page.dx = static_cast<LONG>(minX);
    page.dy = static_cast<LONG>(minY);
    for (const auto& plane : page.planes) {
      long ink = 0;
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
      EXPECT_GT(ink, 10000) << c.args << ": every drum gets ink";
    }
    // DSTINVERT of the board's upper right, PATINVERT of white over its lower
    // left, the board as drawn elsewhere (away from the diagonal line).
    const LONG boardLeft = unit * 4;
    // On two drums DSTINVERT inverts one drum, white there: ink everywhere.
    EXPECT_EQ(Differing(page, boardLeft + 12 * cell, boardTop, boardLeft + 24 * cell, boardTop + 6 * cell,
                        [&](LONG x, LONG y) {
                          const LONG lineX = unit + (y - unit) * (w - 2 * unit) / (h - 2 * unit);
                          if (c.drumPages == 2) return true;
                          return std::abs(x - lineX) <= 3 ? page.Ink(x, y) : !checker(x, y);
                        }),
              0)
        << c.args;
    EXPECT_EQ(Differing(page, boardLeft, boardTop + 6 * cell, boardLeft + 6 * cell, boardTop + 12 * cell,
                        [&](LONG x, LONG y) { return !checker(x, y); }),
              0)
        << c.args;
    EXPECT_EQ(Differing(page, boardLeft, boardTop, boardLeft + 6 * cell, boardTop + 6 * cell, checker), 0) << c.args;
    // The one-bit picture copied, and by ROP 0xB8 with the blue brush: no ink
    // where the stripes are white, blue where they are black.
    EXPECT_EQ(Differing(page, boardLeft, pictureTop, boardLeft + side, pictureTop + side,
                        [&](LONG x, LONG y) { return stripes(x - boardLeft, y - pictureTop); }),
              0)
        << c.args;
    const LONG ropLeft = unit * 5 + side;
    long blue = 0, stray = 0;
    for (LONG y = pictureTop; y < pictureTop + side; ++y)
      for (LONG x = ropLeft; x < ropLeft + side; ++x)
        (stripes(x - ropLeft, y - pictureTop) ? blue : stray) += page.Ink(x, y);
    EXPECT_EQ(stray, 0) << c.args;
    EXPECT_GT(blue, side * side / 8) << c.args;
    // The 24-bpp picture twice its size and mirrored: its black columns 0..11
    // at the right, white columns 12..15 left of them, colour further left.
    const LONG photoLeft = unit * 40;
    EXPECT_EQ(Differing(page, photoLeft + 40, pictureTop, photoLeft + 64, pictureTop + 32,
                        [](LONG, LONG) { return true; }),
              0)
        << c.args;
    EXPECT_EQ(Differing(page, photoLeft + 32, pictureTop, photoLeft + 40, pictureTop + 32,
                        [](LONG, LONG) { return false; }),
              0)
        << c.args;
    EXPECT_GT(64 * 32 - Differing(page, photoLeft, pictureTop, photoLeft + 32, pictureTop + 32,
                                  [](LONG, LONG) { return false; }),
              0)
        << c.args;
    // The 10-point title, dot for dot as cairo draws it.
    const LONG em = kDpi * 10 / 72, titleX = unit * 4, baseline = boardTop - unit;
    const LONG boxL = titleX - em, boxT = baseline - em * 5 / 4, boxW = em * 13, boxH = em * 3 / 2;
    const std::vector<bool> title = CairoTitle(em, titleX, baseline, boxL, boxT, boxW, boxH);
    long titleInk = 0;
    for (bool b : title) titleInk += b;
    EXPECT_GT(titleInk, 200);
    // On two drums the title's drum is the one that matches best.
    long differing = boxW * boxH;
    for (const auto& plane : page.planes) {
      long n = 0;
      for (LONG y = boxT; y < boxT + boxH; ++y)
        for (LONG x = boxL; x < boxL + boxW; ++x)
          n += plane.Ink(static_cast<std::uint32_t>(x + page.dx), static_cast<std::uint32_t>(y + page.dy)) !=
               title[static_cast<std::size_t>((y - boxT) * boxW + x - boxL)];
      differing = std::min(differing, n);
    }
    EXPECT_EQ(differing, 0) << c.args;
  }
}

#else
TEST(TestPageEndToEnd, NeedsCairo) { REQUIRE_PEER(false, "libcairo2-dev"); }
#endif

}  // namespace
