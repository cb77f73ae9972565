// Solid text through DrawGlyphs against cairo's one-bit rendering of the same
// glyph ids at the same whole-dot positions from the same font file.
#include <gtest/gtest.h>

#ifdef HAVE_CAIRO
#include <cairo-ft.h>
#include <cairo.h>
#endif
#include <ft2build.h>
#include FT_FREETYPE_H

#include <memory>
#include <vector>

#include "planes/glyph_output.h"
#include "plat/engine_text.h"
#include "support/peer.h"

namespace {

#ifdef HAVE_CAIRO
TEST(DrawGlyphs, SolidTextMatchesCairoBitForBit) {
  const std::string file = plat::engine::DefaultFontFile();
  FT_Library library;
  ASSERT_EQ(FT_Init_FreeType(&library), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(library, file.c_str(), 0, &face), 0) << file;
  const BYTE black[8] = {};
  for (ULONG em : {42u, 83u}) {
    FONTOBJ* font = plat::engine::CreateFont(file, em);
    ASSERT_NE(font, nullptr);
    std::vector<HGLYPH> glyphs;
    std::vector<POINTL> positions;
    ASSERT_TRUE(plat::engine::LayoutText(font, u"Duplex 2 drums: gyo, @#&%! Wq", 7, static_cast<LONG>(em), glyphs,
                                         positions));
    const LONG width = positions.back().x + static_cast<LONG>(em) * 2, height = static_cast<LONG>(em) * 3 / 2;

    // The driver's plane.
    const LONG stride = (width + 31) / 32 * 4;
    std::vector<BYTE> plane(static_cast<std::size_t>(stride) * height, 0xFF);
    auto pdev = std::make_unique<RenderPdev>();
    pdev->planeWidth = width;
    pdev->planeHeight = height;
    pdev->textProcessing = 1;
    STROBJ* str = plat::engine::CreateString(font, glyphs, positions, {});
    ASSERT_NE(str, nullptr);
    ASSERT_TRUE(DrawGlyphs(pdev.get(), str, font, nullptr, plane.data(), stride, black, 8, 8));
    plat::engine::DeleteString(str);
    plat::engine::DeleteFont(font);

    // cairo's.
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A1, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_font_face_t* cface = cairo_ft_font_face_create_for_ft_face(face, 0);
    cairo_set_font_face(cr, cface);
    cairo_set_font_size(cr, em);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, options);
    std::vector<cairo_glyph_t> cg;
    for (std::size_t i = 0; i < glyphs.size(); ++i)
      cg.push_back(cairo_glyph_t{glyphs[i], static_cast<double>(positions[i].x), static_cast<double>(positions[i].y)});
    cairo_show_glyphs(cr, cg.data(), static_cast<int>(cg.size()));
    cairo_surface_flush(surface);
    const unsigned char* a1 = cairo_image_surface_get_data(surface);
    const int a1Stride = cairo_image_surface_get_stride(surface);

    long differing = 0, inked = 0;
    for (LONG y = 0; y < height; ++y)
      for (LONG x = 0; x < width; ++x) {
        const auto* word = reinterpret_cast<const std::uint32_t*>(a1 + y * a1Stride) + x / 32;
        const bool cairoInk = (*word >> (x % 32)) & 1;
        const bool ours = !((plane[y * stride + x / 8] >> (7 - x % 8)) & 1);
        differing += cairoInk != ours;
        inked += ours;
      }
    EXPECT_EQ(differing, 0) << "em " << em;
    EXPECT_GT(inked, 100) << "em " << em;
    cairo_font_options_destroy(options);
    cairo_font_face_destroy(cface);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}
#else
TEST(DrawGlyphs, NeedsCairo) { REQUIRE_PEER(false, "libcairo2-dev"); }
#endif

}  // namespace
