// Fonts and strings of the engine model: glyph bitmaps rendered one bit deep
// by FreeType at the font's pixel em (default hinting), cached per font.
#include "plat/engine_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

struct Glyph {
  std::vector<BYTE> bits;  // GLYPHBITS header and rows
  GLYPHDATA data{};
  GLYPHDEF def{};
};

struct Font {
  FONTOBJ obj{};  // pvProducer points back to the Font
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  std::map<HGLYPH, std::unique_ptr<Glyph>> glyphs;
  ~Font() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
};

struct String {
  STROBJ obj{};
  std::vector<GLYPHPOS> positions;
  plat::engine::StringOptions options;
  ULONG next = 0;
  ULONG batches = 0;
};

std::mutex g_lock;
ULONG g_fontUniq = 0;
std::unordered_map<const STROBJ*, String*> g_strings;

Font* FontOf(FONTOBJ* pfo) { return pfo ? static_cast<Font*>(pfo->pvProducer) : nullptr; }

String* StringOf(const STROBJ* pstro) {
  std::lock_guard<std::mutex> hold(g_lock);
  auto found = g_strings.find(pstro);
  return found == g_strings.end() ? nullptr : found->second;
}

// The glyph's cached bitmap, rendered on first use; null when FreeType fails.
Glyph* GlyphOf(Font* font, HGLYPH hg) {
  auto found = font->glyphs.find(hg);
  if (found != font->glyphs.end()) return found->second.get();
  if (FT_Load_Glyph(font->face, hg, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return nullptr;
  const FT_GlyphSlot slot = font->face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  if (bm.rows > 0 && bm.pixel_mode != FT_PIXEL_MODE_MONO) return nullptr;
  auto glyph = std::make_unique<Glyph>();
  const std::size_t rowBytes = (bm.width + 7) / 8;
  glyph->bits.assign(offsetof(GLYPHBITS, aj) + std::max<std::size_t>(rowBytes * bm.rows, 1), 0);
  auto* gb = reinterpret_cast<GLYPHBITS*>(glyph->bits.data());
  gb->ptlOrigin = POINTL{slot->bitmap_left, -slot->bitmap_top};
  gb->sizlBitmap = SIZEL{static_cast<LONG>(bm.width), static_cast<LONG>(bm.rows)};
  for (unsigned y = 0; y < bm.rows; ++y) {
    const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
    std::memcpy(gb->aj + y * rowBytes, row, rowBytes);
  }
  glyph->def.pgb = gb;
  glyph->data.gdf = glyph->def;
  glyph->data.hg = hg;
  glyph->data.fxD = static_cast<FIX>(slot->advance.x / 4);  // 26.6 to 28.4
  glyph->data.rclInk = RECTL{gb->ptlOrigin.x, gb->ptlOrigin.y, gb->ptlOrigin.x + gb->sizlBitmap.cx,
                             gb->ptlOrigin.y + gb->sizlBitmap.cy};
  Glyph* result = glyph.get();
  font->glyphs.emplace(hg, std::move(glyph));
  return result;
}

}  // namespace

extern "C" {

PLATAPI void STROBJ_vEnumStart(STROBJ* pstro) {
  String* s = StringOf(pstro);
  if (!s) return;
  s->next = 0;
  s->batches = 0;
}

PLATAPI BOOL STROBJ_bEnum(STROBJ* pstro, ULONG* pc, GLYPHPOS** ppgpos) {
  String* s = StringOf(pstro);
  if (!pc || !ppgpos) return static_cast<BOOL>(DDI_ERROR);
  if (!s) {
    // A string the host made itself: its glyph array in one batch.
    if (!pstro || !pstro->pgp) return static_cast<BOOL>(DDI_ERROR);
    *pc = pstro->cGlyphs;
    *ppgpos = pstro->pgp;
    return FALSE;
  }
  ++s->batches;
  if (s->options.failAtBatch != 0 && s->batches == s->options.failAtBatch) {
    *pc = 0;
    *ppgpos = nullptr;
    return static_cast<BOOL>(DDI_ERROR);
  }
  const ULONG total = static_cast<ULONG>(s->positions.size());
  const ULONG batch = std::max<ULONG>(s->options.batch, 1);
  const ULONG count = std::min(batch, total - std::min(s->next, total));
  *pc = count;
  *ppgpos = count ? s->positions.data() + s->next : nullptr;
  s->next += count;
  return s->next < total ? TRUE : FALSE;
}

PLATAPI ULONG FONTOBJ_cGetGlyphs(FONTOBJ* pfo, ULONG iMode, ULONG cGlyph, HGLYPH* phg, PVOID* ppvGlyph) {
  if (!FontOf(pfo) || iMode != FO_GLYPHBITS || cGlyph != 1 || !phg || !ppvGlyph) return 0;
  Glyph* glyph = GlyphOf(FontOf(pfo), *phg);
  if (!glyph) return 0;
  *ppvGlyph = &glyph->data;
  return 1;
}

}  // extern "C"

namespace plat::engine {

std::string DefaultFontFile() { return "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"; }

FONTOBJ* CreateFont(const std::string& file, ULONG pixelEm) {
  if (pixelEm < 1 || pixelEm > 4096) return nullptr;
  auto font = std::make_unique<Font>();
  if (FT_Init_FreeType(&font->library) != 0) return nullptr;
  if (FT_New_Face(font->library, file.c_str(), 0, &font->face) != 0) return nullptr;
  if (FT_Set_Pixel_Sizes(font->face, 0, pixelEm) != 0) return nullptr;
  font->obj.pvProducer = font.get();
  {
    std::lock_guard<std::mutex> hold(g_lock);
    font->obj.iUniq = ++g_fontUniq;
  }
  font->obj.cxMax = pixelEm;
  font->obj.ulStyleSize = pixelEm;
  return &font.release()->obj;
}

void DeleteFont(FONTOBJ* pfo) { delete FontOf(pfo); }

BOOL LayoutText(FONTOBJ* pfo, const std::u16string& text, LONG x, LONG baselineY, std::vector<HGLYPH>& glyphs,
                std::vector<POINTL>& positions) {
  if (!FontOf(pfo) || !FontOf(pfo)->face) return FALSE;
  Font* font = FontOf(pfo);
  glyphs.clear();
  positions.clear();
  LONG pen = x;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    const HGLYPH hg = FT_Get_Char_Index(font->face, c);
    glyphs.push_back(hg);
    positions.push_back(POINTL{pen, baselineY});
    if (FT_Load_Glyph(font->face, hg, FT_LOAD_TARGET_MONO) == 0)
      pen += static_cast<LONG>(std::lround(font->face->glyph->advance.x / 64.0));
  }
  return TRUE;
}

STROBJ* CreateString(FONTOBJ* pfo, const std::vector<HGLYPH>& glyphs, const std::vector<POINTL>& positions,
                     const StringOptions& options) {
  if (!FontOf(pfo) || glyphs.size() != positions.size()) return nullptr;
  auto s = std::make_unique<String>();
  s->options = options;
  RECTL bounds{0, 0, 0, 0};
  bool first = true;
  for (std::size_t i = 0; i < glyphs.size(); ++i) {
    GLYPHPOS gp{glyphs[i], nullptr, positions[i]};
    Glyph* glyph = GlyphOf(FontOf(pfo), glyphs[i]);
    if (options.glyphDefs) {
      if (!glyph) return nullptr;
      gp.pgdf = &glyph->def;
    }
    if (glyph) {
      const GLYPHBITS* gb = glyph->def.pgb;
      const RECTL r{positions[i].x + gb->ptlOrigin.x, positions[i].y + gb->ptlOrigin.y,
                    positions[i].x + gb->ptlOrigin.x + gb->sizlBitmap.cx,
                    positions[i].y + gb->ptlOrigin.y + gb->sizlBitmap.cy};
      if (first)
        bounds = r;
      else
        bounds = RECTL{std::min(bounds.left, r.left), std::min(bounds.top, r.top), std::max(bounds.right, r.right),
                       std::max(bounds.bottom, r.bottom)};
      first = false;
    }
    s->positions.push_back(gp);
  }
  s->obj.cGlyphs = static_cast<ULONG>(s->positions.size());
  s->obj.rclBkGround = bounds;
  s->obj.pgp = options.glyphArray ? s->positions.data() : nullptr;
  String* made = s.release();
  std::lock_guard<std::mutex> hold(g_lock);
  g_strings.emplace(&made->obj, made);
  return &made->obj;
}

void DeleteString(STROBJ* pstro) {
  String* s = nullptr;
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto found = g_strings.find(pstro);
    if (found == g_strings.end()) return;
    s = found->second;
    g_strings.erase(found);
  }
  delete s;
}

}  // namespace plat::engine
