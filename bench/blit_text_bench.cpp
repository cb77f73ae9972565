// Blit and glyph paths against their peers in the same run: an A4 600-dpi
// one-bit copy by the row kernels at x 0 and x 3 against pixman's a1
// composite and its 32-bpp blt of the same bytes; 5,000 glyphs at 42 and
// 83 px by the glyph path against cairo_show_glyphs on CAIRO_FORMAT_A1.
#include <benchmark/benchmark.h>
#include <cairo-ft.h>
#include <cairo.h>
#include <pixman.h>

#include <memory>
#include <random>
#include <vector>

#include "random_bytes.h"
#include "planes/glyph_output.h"
#include "planes/plane_ops.h"
#include "plat/engine_draw.h"
#include "plat/engine_text.h"
#include "render/render_pdev.h"
#include "render/rop_blits.h"

namespace {

constexpr LONG kW = 4960, kH = 7016, kStride = (kW + 31) / 32 * 4;

std::vector<BYTE>& SourceBits() {
  static std::vector<BYTE> bits = benchsupport::RandomBytes(static_cast<std::size_t>(kStride) * kH, 1);
  return bits;
}

void CopyA4(benchmark::State& state) {
  const LONG x = static_cast<LONG>(state.range(0));
  std::vector<BYTE> plane(static_cast<std::size_t>(kStride) * kH + 8, 0xFF);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->planeWidth = kW + 8;
  pdev->planeHeight = kH;
  const PdevRect dest{x, 0, x + kW - 1 - 8, kH - 1};
  const PdevRect src{0, 0, kW - 1 - 8, kH - 1};
  for (auto _ : state) {
    CopyRowsShifted(pdev.get(), plane.data(), dest, kStride, SourceBits().data(), src, kStride);
    benchmark::DoNotOptimize(plane.data());
  }
}
BENCHMARK(CopyA4)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// The whole raster path: SRCCOPY at x 0 and x 3, and ROP 0xB8 of the source
// with a grey brush's dither pattern at x 3.
void BitBltA4(benchmark::State& state) {
  const LONG x = static_cast<LONG>(state.range(0));
  const ULONG rop = static_cast<ULONG>(state.range(1));
  std::vector<BYTE> plane(static_cast<std::size_t>(kStride) * kH + 8, 0xFF);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->planeWidth = kW + 8;
  pdev->planeHeight = kH;
  pdev->drum1Plane = pdev->drum2Plane = plane.data();
  SURFOBJ so{};
  so.dhpdev = reinterpret_cast<DHPDEV>(pdev.get());
  so.lDelta = kStride;
  so.sizlBitmap = SIZEL{kW, kH};
  SURFOBJ src{};
  src.sizlBitmap = SIZEL{kW, kH};
  src.lDelta = kStride;
  src.pvScan0 = SourceBits().data();
  src.iBitmapFormat = BMF_1BPP;
  const ULONG palette[2] = {0, 0xFFFFFF};
  XLATEOBJ* xlate = plat::engine::CreateXlate(palette, 2);
  BRUSHOBJ* brush = plat::engine::CreateSolidBrush(0x808080);
  const RECTL target{x, 0, x + kW - 8, kH};
  const POINTL origin{0, 0};
  for (auto _ : state) {
    BitBltToPlanes(rop, &so, &target, &src, &origin, nullptr, xlate, rop == 0xCCCC ? nullptr : brush);
    benchmark::DoNotOptimize(plane.data());
  }
  plat::engine::DeleteBrush(brush);
  plat::engine::DeleteXlate(xlate);
}
BENCHMARK(BitBltA4)->Args({0, 0xCCCC})->Args({3, 0xCCCC})->Args({3, 0xB8B8})->Unit(benchmark::kMillisecond);

void PixmanA1(benchmark::State& state) {
  std::vector<std::uint32_t> dst(static_cast<std::size_t>(kStride) * kH / 4);
  pixman_image_t* s = pixman_image_create_bits(PIXMAN_a1, kW, kH, reinterpret_cast<std::uint32_t*>(SourceBits().data()), kStride);
  pixman_image_t* d = pixman_image_create_bits(PIXMAN_a1, kW, kH, dst.data(), kStride);
  const pixman_op_t op = state.range(0) ? PIXMAN_OP_ADD : PIXMAN_OP_SRC;
  for (auto _ : state) pixman_image_composite32(op, s, nullptr, d, 0, 0, 0, 0, 3, 0, kW - 3, kH);
  pixman_image_unref(s);
  pixman_image_unref(d);
}
BENCHMARK(PixmanA1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void PixmanBlt32(benchmark::State& state) {
  std::vector<std::uint32_t> dst(static_cast<std::size_t>(kStride) * kH / 4);
  auto* src = reinterpret_cast<std::uint32_t*>(SourceBits().data());
  for (auto _ : state)
    pixman_blt(src, dst.data(), kStride / 4, kStride / 4, 32, 32, 0, 0, 0, 0, kStride / 4, kH);
}
BENCHMARK(PixmanBlt32)->Unit(benchmark::kMillisecond);

struct Text {
  std::vector<HGLYPH> glyphs;
  std::vector<POINTL> positions;
  LONG width = 0, height = 0;
};

Text Lay(FONTOBJ* font, ULONG em) {
  Text t;
  std::vector<HGLYPH> g;
  std::vector<POINTL> p;
  const std::u16string line = u"The quick brown fox jumps over the lazy dog 0123456789 ";
  LONG y = static_cast<LONG>(em);
  while (t.glyphs.size() < 5000) {
    plat::engine::LayoutText(font, line + line, 0, y, g, p);
    t.glyphs.insert(t.glyphs.end(), g.begin(), g.end());
    t.positions.insert(t.positions.end(), p.begin(), p.end());
    t.width = std::max(t.width, p.back().x + static_cast<LONG>(em) * 2);
    y += static_cast<LONG>(em) * 5 / 4;
  }
  t.glyphs.resize(5000);
  t.positions.resize(5000);
  t.height = y + static_cast<LONG>(em);
  return t;
}

void GlyphPath(benchmark::State& state) {
  const ULONG em = static_cast<ULONG>(state.range(0));
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), em);
  const Text t = Lay(font, em);
  const LONG stride = (t.width + 31) / 32 * 4;
  std::vector<BYTE> plane(static_cast<std::size_t>(stride) * t.height, 0xFF);
  auto pdev = std::make_unique<RenderPdev>();
  pdev->planeWidth = t.width;
  pdev->planeHeight = t.height;
  pdev->textProcessing = 1;
  pdev->textVolumeA = pdev->drawing.thickenCopy = static_cast<BYTE>(state.range(1));
  const BYTE black[8] = {};
  STROBJ* str = plat::engine::CreateString(font, t.glyphs, t.positions, {});
  for (auto _ : state) DrawGlyphs(pdev.get(), str, font, nullptr, plane.data(), stride, black, 8, 8);
  plat::engine::DeleteString(str);
  plat::engine::DeleteFont(font);
  FreeGlyphScratch(pdev.get());
}
BENCHMARK(GlyphPath)->Args({42, 0})->Args({83, 0})->Args({42, 1})->Args({83, 1})->Unit(benchmark::kMillisecond);

void CairoGlyphs(benchmark::State& state) {
  const ULONG em = static_cast<ULONG>(state.range(0));
  FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), em);
  const Text t = Lay(font, em);
  plat::engine::DeleteFont(font);
  FT_Library library;
  FT_Init_FreeType(&library);
  FT_Face face;
  FT_New_Face(library, plat::engine::DefaultFontFile().c_str(), 0, &face);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A1, t.width, t.height);
  cairo_t* cr = cairo_create(surface);
  cairo_font_face_t* cface = cairo_ft_font_face_create_for_ft_face(face, 0);
  cairo_set_font_face(cr, cface);
  cairo_set_font_size(cr, em);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
  cairo_set_font_options(cr, options);
  std::vector<cairo_glyph_t> cg;
  for (std::size_t i = 0; i < t.glyphs.size(); ++i)
    cg.push_back(cairo_glyph_t{t.glyphs[i], double(t.positions[i].x), double(t.positions[i].y)});
  cairo_show_glyphs(cr, cg.data(), static_cast<int>(cg.size()));  // warm the caches
  for (auto _ : state) {
    cairo_show_glyphs(cr, cg.data(), static_cast<int>(cg.size()));
    cairo_surface_flush(surface);
  }
  cairo_font_options_destroy(options);
  cairo_font_face_destroy(cface);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
}
BENCHMARK(CairoGlyphs)->Arg(42)->Arg(83)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
