// setup_art: draws the setup program's own pictures from its texts with the
// DejaVu fonts and writes them as a resource text to append to the program:
// the language page banner (bitmap 112), each language's item picture, normal
// and selected (bitmaps 114-193), and the window icon (icon 110). The pictures
// travel inside the resource text, so a copied setup keeps them.
//
//   setup_art FONT_FOLDER OUT.res.txt
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};
constexpr Rgb kWhite{255, 255, 255}, kInk{0, 0, 0}, kSelected{0, 120, 215}, kBrand{0, 84, 166};

// A picture in memory: rows top down, red, green, blue, alpha.
struct Picture {
  int width, height;
  std::vector<std::uint8_t> rgba;
  Picture(int w, int h, Rgb fill) : width(w), height(h), rgba(static_cast<std::size_t>(w) * h * 4) {
    Fill(0, 0, w, h, fill);
  }
  void Fill(int x0, int y0, int x1, int y1, Rgb c, std::uint8_t alpha = 255) {
    for (int y = std::max(0, y0); y < std::min(height, y1); ++y)
      for (int x = std::max(0, x0); x < std::min(width, x1); ++x) {
        std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = alpha;
      }
  }
  // Covers a pixel with colour c by coverage 0..255.
  void Blend(int x, int y, Rgb c, int coverage) {
    if (x < 0 || y < 0 || x >= width || y >= height || coverage <= 0) return;
    std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
    p[0] = static_cast<std::uint8_t>((c.r * coverage + p[0] * (255 - coverage)) / 255);
    p[1] = static_cast<std::uint8_t>((c.g * coverage + p[1] * (255 - coverage)) / 255);
    p[2] = static_cast<std::uint8_t>((c.b * coverage + p[2] * (255 - coverage)) / 255);
  }
};

class Face {
 public:
  Face(FT_Library library, const std::string& file) {
    if (FT_New_Face(library, file.c_str(), 0, &face_) != 0) face_ = nullptr;
  }
  ~Face() {
    if (face_) FT_Done_Face(face_);
  }
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  bool ok() const { return face_ != nullptr; }

  // Width of the text in pixels at the size.
  int Width(const std::u32string& text, int pixels) {
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(pixels));
    int width = 0;
    for (char32_t c : text)
      if (FT_Load_Char(face_, c, FT_LOAD_DEFAULT) == 0) width += static_cast<int>(face_->glyph->advance.x >> 6);
    return width;
  }
  // Draws the text with its baseline at y; false when a character has no glyph.
  bool Draw(Picture& p, const std::u32string& text, int pixels, int x, int y, Rgb colour) {
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(pixels));
    bool whole = true;
    for (char32_t c : text) {
      whole &= FT_Get_Char_Index(face_, c) != 0 || c == U' ';
      if (FT_Load_Char(face_, c, FT_LOAD_RENDER) != 0) continue;
      const FT_GlyphSlot g = face_->glyph;
      for (unsigned row = 0; row < g->bitmap.rows; ++row)
        for (unsigned col = 0; col < g->bitmap.width; ++col)
          p.Blend(x + g->bitmap_left + static_cast<int>(col), y - g->bitmap_top + static_cast<int>(row), colour,
                  g->bitmap.buffer[row * static_cast<unsigned>(g->bitmap.pitch) + col]);
      x += static_cast<int>(g->advance.x >> 6);
    }
    return whole;
  }

 private:
  FT_Face face_ = nullptr;
};

std::u32string Utf32(const std::string& s) {
  std::u32string out;
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
    for (int k = 1; k < n && i + k < s.size(); ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out += c;
    i += n;
  }
  return out;
}

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// A 24-bit bottom-up BMP: BITMAPFILEHEADER (14 bytes), BITMAPINFOHEADER (40).
std::vector<std::uint8_t> Bmp(const Picture& p) {
  const std::uint32_t stride = (static_cast<std::uint32_t>(p.width) * 3 + 3) & ~3u;
  const std::uint32_t bits = stride * static_cast<std::uint32_t>(p.height);
  std::vector<std::uint8_t> out{'B', 'M'};
  Put32(out, 54 + bits);
  Put32(out, 0);
  Put32(out, 54);
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(p.width));
  Put32(out, static_cast<std::uint32_t>(p.height));
  Put16(out, 1);
  Put16(out, 24);
  for (int i = 0; i < 6; ++i) Put32(out, 0);  // no compression, sizes and colours left to the reader
  for (int y = p.height - 1; y >= 0; --y) {
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t* px = &p.rgba[(static_cast<std::size_t>(y) * p.width + x) * 4];
      out.insert(out.end(), {px[2], px[1], px[0]});
    }
    out.resize(out.size() + (stride - static_cast<std::uint32_t>(p.width) * 3), 0);
  }
  return out;
}

std::vector<std::uint8_t> Png(const Picture& p) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(p.width);
  image.height = static_cast<png_uint_32>(p.height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, p.rgba.data(), 0, nullptr)) return {};
  std::vector<std::uint8_t> out(size);
  if (!png_image_write_to_memory(&image, out.data(), &size, 0, p.rgba.data(), 0, nullptr)) return {};
  out.resize(size);
  return out;
}

std::string Base64(const std::vector<std::uint8_t>& data) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < data.size(); i += 3) {
    const std::uint32_t n = (data[i] << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                            (i + 2 < data.size() ? data[i + 2] : 0);
    out += kDigits[(n >> 18) & 63];
    out += kDigits[(n >> 12) & 63];
    out += i + 1 < data.size() ? kDigits[(n >> 6) & 63] : '=';
    out += i + 2 < data.size() ? kDigits[n & 63] : '=';
  }
  return out;
}

// The language rows: code, the language's name as the user reads it, the
// normal and the selected bitmap.
struct Language {
  const char* code;
  const char* name;
  int normal, selected;
};
constexpr Language kLanguages[] = {
    {"ARA", "Arabic", 165, 164},
    {"CZE", "\xC4\x8C" "e\xC5\xA1tina (Czech)", 180, 179},
    {"DUT", "Nederlands (Dutch)", 168, 167},
    {"UK", "English (United Kingdom)", 139, 138},
    {"US", "English (United States)", 142, 141},
    {"FRN", "Fran\xC3\xA7" "ais (French)", 118, 117},
    {"GER", "Deutsch (German)", 121, 120},
    {"GRE", "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC (Greek)", 183, 182},
    {"ITA", "Italiano (Italian)", 124, 123},
    {"JPN", "Japanese", 115, 114},
    {"KOR", "Korean", 186, 185},
    {"POL", "Polski (Polish)", 171, 170},
    {"POR", "Portugu\xC3\xAAs (Portuguese)", 127, 126},
    {"RUM", "Rom\xC3\xA2n\xC4\x83 (Romanian)", 193, 191},
    {"RUS", "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9 (Russian)", 161, 162},
    {"SChi", "Chinese (Simplified)", 130, 129},
    {"SPA", "Espa\xC3\xB1ol (Spanish)", 133, 132},
    {"SWE", "Svenska (Swedish)", 174, 173},
    {"THA", "Thai", 189, 188},
    {"TChi", "Chinese (Traditional)", 136, 135},
    {"TUR", "T\xC3\xBCrk\xC3\xA7" "e (Turkish)", 177, 176},
};

// The language page's texts: the program's caption and what the page asks.
constexpr char kCaption[] = "HALVERDON Driver Setup";
constexpr char kQuestion[] = "Choose the language of the installation.";
// Item pictures fill the list's selection field (293 pixels less its arrow);
// the list's items are 19 pixels high.
constexpr int kItemWidth = 276, kItemHeight = 19;
constexpr int kBannerWidth = 293, kBannerHeight = 38;
constexpr int kIconSide = 32;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: setup_art FONT_FOLDER OUT.res.txt\n");
    return 2;
  }
  const std::string fonts = argv[1];
  // Declared before the faces: freed after them.
  struct Library {
    FT_Library handle = nullptr;
    ~Library() {
      if (handle) FT_Done_FreeType(handle);
    }
  } library;
  if (FT_Init_FreeType(&library.handle) != 0) return 1;
  Face regular(library.handle, fonts + "/DejaVuSans.ttf"), bold(library.handle, fonts + "/DejaVuSans-Bold.ttf");
  if (!regular.ok() || !bold.ok()) {
    std::fprintf(stderr, "setup_art: the DejaVu fonts are not in %s (scripts/bootstrap installs them)\n", fonts.c_str());
    return 1;
  }
  std::string bitmaps = "[BITMAP]\n";
  bool whole = true;

  // The banner: the caption in bold and the question below, on white (the page
  // draws it with SRCAND, so white leaves the page's face).
  Picture banner(kBannerWidth, kBannerHeight, kWhite);
  whole &= bold.Draw(banner, Utf32(kCaption), 16, 0, 16, kBrand);
  whole &= regular.Draw(banner, Utf32(kQuestion), 11, 0, 33, kInk);
  bitmaps += "112\tdata:" + Base64(Bmp(banner)) + "\n";

  for (const Language& l : kLanguages) {
    for (const bool selected : {false, true}) {
      Picture item(kItemWidth, kItemHeight, selected ? kSelected : kWhite);
      const Rgb ink = selected ? kWhite : kInk;
      whole &= regular.Draw(item, Utf32(l.name), 12, 4, 14, ink);
      const std::u32string code = Utf32(l.code);
      whole &= bold.Draw(item, code, 10, kItemWidth - 6 - bold.Width(code, 10), 14, ink);
      bitmaps += std::to_string(selected ? l.selected : l.normal) + "\tdata:" + Base64(Bmp(item)) + "\n";
    }
  }

  // The icon: the product's initial, white on a rounded square.
  Picture icon(kIconSide, kIconSide, kBrand);
  for (const int corner : {0, 1}) {
    const int x = corner ? kIconSide - 2 : 0;
    icon.Fill(x, 0, x + 2, 2, kBrand, 0);
    icon.Fill(x, kIconSide - 2, x + 2, kIconSide, kBrand, 0);
  }
  const std::u32string initial = Utf32(std::string(kCaption, 1));
  whole &= bold.Draw(icon, initial, 26, (kIconSide - bold.Width(initial, 26)) / 2, 26, kWhite);
  const std::vector<std::uint8_t> iconPng = Png(icon);
  if (!whole || iconPng.empty()) {
    std::fprintf(stderr, "setup_art: a text could not be drawn whole with the DejaVu fonts\n");
    return 1;
  }
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << "# setup's pictures, drawn by tools/makeres/setup_art from its texts.\n"
      << bitmaps << "[ICON]\n110\tdata:" << Base64(iconPng) << "\n";
  out.close();
  if (!out) {
    std::fprintf(stderr, "setup_art: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
