// Parsing and drawing of printjob's drawing scripts.
#include "printjob/draw_script.h"

#include <charconv>
#include <cstdlib>
#include <sstream>

#include "plat/gdi.h"
#include "plat/strings.h"
#include "planes/rop_names.h"

namespace printjob {

namespace {

// Coordinates stay well inside 28.4 fixed point.
constexpr LONG kCoordinateLimit = 1 << 26;
// A parallelogram's fourth corner, B + C - A, also stays inside it.
constexpr LONG kCornerLimit = 1 << 24;
constexpr LONG kSideLimit = 65535;

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, sep)) out.push_back(part);
  if (!text.empty() && text.back() == sep) out.emplace_back();
  return out;
}

bool Integer(const std::string& s, long lo, long hi, LONG& out) {
  long v = 0;
  const char* end = s.data() + s.size();
  auto [p, ec] = std::from_chars(s.data(), end, v);
  if (ec != std::errc() || p != end || v < lo || v > hi) return false;
  out = static_cast<LONG>(v);
  return true;
}

bool Colour(const std::string& s, DrawColour& c, std::string& why) {
  std::string hex = s;
  if (s.rfind("hatch:", 0) == 0) {
    const auto parts = Split(s, ':');
    LONG style = 0;
    if (parts.size() != 3 || !Integer(parts[1], 0, 5, style)) {
      why = "hatch colour is hatch:S:RRGGBB with S 0..5";
      return false;
    }
    c.hatch = true;
    c.style = static_cast<ULONG>(style);
    hex = parts[2];
  }
  unsigned v = 0;
  auto [p, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
  if (hex.size() != 6 || ec != std::errc() || p != hex.data() + hex.size()) {
    why = "colour '" + s + "' is not RRGGBB";
    return false;
  }
  c.rgb = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
  return true;
}

bool Pen(const std::string& s, DrawPen& pen, std::string& why) {
  const auto parts = Split(s, ':');
  if (parts.empty() || parts.size() > 4 || !Integer(parts[0], 0, 10000, pen.width)) {
    why = "pen '" + s + "' is W[:style[:cap[:join]]] with W 0..10000";
    return false;
  }
  const LONG unit = pen.width > 0 ? pen.width : 1;
  if (parts.size() > 1) {
    const std::string& st = parts[1];
    if (st == "solid") {
      pen.style.clear();
    } else if (st == "dash") {
      pen.style = pen.width > 0 ? std::vector<LONG>{3 * unit, unit} : std::vector<LONG>{6, 2};
    } else if (st == "dot") {
      pen.style = pen.width > 0 ? std::vector<LONG>{unit, unit} : std::vector<LONG>{1, 1};
    } else if (st == "dashdot") {
      pen.style = pen.width > 0 ? std::vector<LONG>{3 * unit, unit, unit, unit} : std::vector<LONG>{6, 2, 1, 2};
    } else {
      for (const std::string& v : Split(st, ',')) {
        LONG n = 0;
        if (!Integer(v, 0, 100000, n)) {
          why = "pen style '" + st + "' is solid, dash, dot, dashdot or lengths A,B,...";
          return false;
        }
        pen.style.push_back(n);
      }
      if (pen.style.size() > 16) {
        why = "a pen style has at most 16 lengths";
        return false;
      }
      LONG total = 0;
      for (LONG v : pen.style) total += v;
      if (total == 0) {
        why = "pen style lengths are all 0";
        return false;
      }
    }
  }
  if (parts.size() > 2) {
    const std::string& cap = parts[2];
    if (cap == "round") pen.cap = ENDCAP_ROUND;
    else if (cap == "square") pen.cap = ENDCAP_SQUARE;
    else if (cap == "flat") pen.cap = ENDCAP_BUTT;
    else {
      why = "pen cap '" + cap + "' is round, square or flat";
      return false;
    }
  }
  if (parts.size() > 3) {
    const std::string& join = parts[3];
    if (join == "round") pen.join = JOIN_ROUND;
    else if (join == "bevel") pen.join = JOIN_BEVEL;
    else if (join == "miter") pen.join = JOIN_MITER;
    else {
      why = "pen join '" + join + "' is round, bevel or miter";
      return false;
    }
  }
  return true;
}

bool Numbers(const std::vector<std::string>& words, std::size_t from, std::vector<LONG>& out, std::string& why) {
  for (std::size_t i = from; i < words.size(); ++i) {
    LONG v = 0;
    if (!Integer(words[i], -kCoordinateLimit, kCoordinateLimit, v)) {
      why = "'" + words[i] + "' is not a coordinate";
      return false;
    }
    out.push_back(v);
  }
  return true;
}

bool Mix(const std::string& s, ULONG& mix, std::string& why) {
  LONG v = 0;
  if (!Integer(s, 1, 16, v)) {
    why = "mix '" + s + "' is a ROP2 1..16";
    return false;
  }
  mix = static_cast<ULONG>(v);
  return true;
}

bool Rop3(const std::string& s, ULONG& rop3, std::string& why) {
  std::string_view hex = s;
  if (hex.size() > 2 && hex[0] == '0' && (hex[1] == 'x' || hex[1] == 'X')) hex.remove_prefix(2);
  unsigned v = 0;
  auto [p, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
  if (hex.empty() || hex.size() > 2 || ec != std::errc() || p != hex.data() + hex.size()) {
    why = "ROP3 '" + s + "' is two hex digits 00..FF";
    return false;
  }
  rop3 = v;
  return true;
}

bool Picture(const std::string& file, DrawCommand& c, std::string& why) {
  auto picture = std::make_shared<NetpbmPicture>();
  if (!ReadNetpbm(file, *picture, why)) return false;
  c.picture = std::move(picture);
  return true;
}

// text PX COLOUR X Y TEXT: the text is the rest of the raw line after one
// blank, comment sign included.
bool TextLine(const std::string& line, DrawCommand& c, std::string& why) {
  std::vector<std::string> w;
  std::size_t at = 0;
  while (w.size() < 5) {
    const std::size_t from = line.find_first_not_of(" \t", at);
    if (from == std::string::npos) break;
    at = line.find_first_of(" \t", from);
    w.push_back(line.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) break;
  }
  if (w.size() < 5 || at == std::string::npos || at + 1 >= line.size()) {
    why = "text takes PX COLOUR X Y TEXT";
    return false;
  }
  c.kind = DrawCommand::Kind::kText;
  if (!Integer(w[1], 1, 4096, c.em)) {
    why = "text size '" + w[1] + "' is 1..4096 dots";
    return false;
  }
  if (!Colour(w[2], c.colour, why) || !Numbers(w, 3, c.numbers, why)) return false;
  std::string text = line.substr(at + 1);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  c.text = plat::u16(text);
  if (c.text.empty()) {
    why = "text takes PX COLOUR X Y TEXT";
    return false;
  }
  return true;
}

bool ParseLine(const std::vector<std::string>& w, DrawCommand& c, std::string& why) {
  using Kind = DrawCommand::Kind;
  const std::string& verb = w[0];
  auto count = [&](std::size_t from, std::size_t multiple, std::size_t least, const char* what) {
    const std::size_t n = w.size() > from ? w.size() - from : 0;
    if (n < least || n % multiple != 0) {
      why = std::string(what);
      return false;
    }
    return Numbers(w, from, c.numbers, why);
  };
  if (verb == "clip") {
    c.kind = Kind::kClip;
    if (w.size() == 2 && w[1] == "none") return true;
    return count(1, 4, 4, "clip takes none or rectangles L T R B");
  }
  if (verb == "paint") {
    c.kind = Kind::kPaint;
    return w.size() >= 3 && Colour(w[1], c.colour, why) && Mix(w[2], c.mix, why) &&
           count(3, 4, 4, "paint takes COLOUR MIX and rectangles L T R B");
  }
  if (verb == "line") {
    c.kind = Kind::kLine;
    if (w.size() != 7) {
      why = "line takes COLOUR MIX X1 Y1 X2 Y2";
      return false;
    }
    return Colour(w[1], c.colour, why) && Mix(w[2], c.mix, why) && Numbers(w, 3, c.numbers, why);
  }
  if (verb == "stroke" || verb == "bezier") {
    c.kind = verb == "stroke" ? Kind::kStroke : Kind::kBezier;
    if (w.size() < 3) {
      why = verb + " takes PEN COLOUR and points";
      return false;
    }
    if (!Pen(w[1], c.pen, why) || !Colour(w[2], c.colour, why)) return false;
    if (c.kind == Kind::kBezier) {
      if (w.size() != 11) {
        why = "bezier takes PEN COLOUR and 4 points";
        return false;
      }
      return Numbers(w, 3, c.numbers, why);
    }
    return count(3, 2, 4, "stroke takes PEN COLOUR and at least 2 points X Y");
  }
  if (verb == "fill") {
    c.kind = Kind::kFill;
    if (w.size() < 3 || !Colour(w[1], c.colour, why)) {
      if (why.empty()) why = "fill takes COLOUR alternate|winding and points";
      return false;
    }
    if (w[2] != "alternate" && w[2] != "winding") {
      why = "fill mode '" + w[2] + "' is alternate or winding";
      return false;
    }
    c.winding = w[2] == "winding";
    return count(3, 2, 6, "fill takes at least 3 points X Y");
  }
  if (verb == "patblt") {
    c.kind = Kind::kPatBlt;
    if (w.size() != 7) {
      why = "patblt takes COLOUR ROP3 L T R B";
      return false;
    }
    return Colour(w[1], c.colour, why) && Rop3(w[2], c.rop3, why) && Numbers(w, 3, c.numbers, why);
  }
  if (verb == "blit") {
    c.kind = Kind::kBlit;
    if (w.size() != 5 && w.size() != 6) {
      why = "blit takes FILE ROP3 X Y [COLOUR]";
      return false;
    }
    c.hasColour = w.size() == 6;
    if (!Rop3(w[2], c.rop3, why) || !Numbers({w[3], w[4]}, 0, c.numbers, why)) return false;
    if (c.hasColour && !Colour(w[5], c.colour, why)) return false;
    return Picture(w[1], c, why);
  }
  if (verb == "stretch") {
    c.kind = Kind::kStretch;
    if (w.size() != 6 && w.size() != 7) {
      why = "stretch takes FILE L T R B [N]";
      return false;
    }
    if (w.size() == 7 && !Integer(w[6], 1, 65535, c.strips)) {
      why = "stretch strips '" + w[6] + "' is 1..65535";
      return false;
    }
    if (!Numbers({w[2], w[3], w[4], w[5]}, 0, c.numbers, why) || !Picture(w[1], c, why)) return false;
    c.strips = std::min(c.strips, c.picture->height);
    return true;
  }
  if (verb == "alpha" || verb == "transparent") {
    const bool alpha = verb == "alpha";
    c.kind = alpha ? Kind::kAlpha : Kind::kTransparent;
    if (w.size() != 5) {
      why = alpha ? "alpha takes FILE SCA X Y" : "transparent takes FILE RRGGBB X Y";
      return false;
    }
    DrawColour key;
    LONG sca = 0;
    if (alpha && !Integer(w[2], 0, 255, sca)) {
      why = "alpha '" + w[2] + "' is 0..255";
      return false;
    }
    if (!alpha && (!Colour(w[2], key, why) || key.hatch)) {
      if (key.hatch) why = "transparent colour '" + w[2] + "' is not RRGGBB";
      return false;
    }
    if (!Numbers({w[3], w[4]}, 0, c.numbers, why) || !Picture(w[1], c, why)) return false;
    c.alpha = static_cast<BYTE>(sca);
    if (alpha) return true;
    // The key in the picture's format: RGB bytes or the palette's index.
    const ULONG rgb = key.rgb;
    if (c.picture->palette.empty()) {
      c.key = ((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF);
      return true;
    }
    for (std::size_t i = 0; i < c.picture->palette.size(); ++i)
      if (c.picture->palette[i] == rgb) {
        c.key = static_cast<ULONG>(i);
        return true;
      }
    why = "transparent colour '" + w[2] + "' is not among the picture's colours";
    return false;
  }
  if (verb == "stretchrop") {
    c.kind = Kind::kStretchRop;
    if (w.size() != 7 && w.size() != 8) {
      why = "stretchrop takes FILE ROP3 L T R B [COLOUR]";
      return false;
    }
    c.hasColour = w.size() == 8;
    if (!Rop3(w[2], c.rop3, why) || !Numbers({w[3], w[4], w[5], w[6]}, 0, c.numbers, why)) return false;
    // A stretch through a temporary holds the whole target.
    if (std::abs(c.numbers[2] - c.numbers[0]) > kSideLimit || std::abs(c.numbers[3] - c.numbers[1]) > kSideLimit) {
      why = "stretchrop's rectangle is at most " + std::to_string(kSideLimit) + " dots a side";
      return false;
    }
    if (c.hasColour && !Colour(w[7], c.colour, why)) return false;
    return Picture(w[1], c, why);
  }
  if (verb == "plgblt") {
    c.kind = Kind::kPlgBlt;
    if (w.size() != 8) {
      why = "plgblt takes FILE X0 Y0 X1 Y1 X2 Y2";
      return false;
    }
    for (std::size_t i = 2; i < 8; ++i) {
      LONG v = 0;
      if (!Integer(w[i], -kCornerLimit, kCornerLimit, v)) {
        why = "'" + w[i] + "' is not a corner coordinate (within " + std::to_string(kCornerLimit) + ")";
        return false;
      }
      c.numbers.push_back(v);
    }
    return Picture(w[1], c, why);
  }
  if (verb == "gradient") {
    c.kind = Kind::kGradient;
    const std::string mode = w.size() > 1 ? w[1] : std::string();
    if (mode != "h" && mode != "v" && mode != "t") {
      why = "gradient takes h|v|t and vertices X Y RRGGBB";
      return false;
    }
    c.gradientMode = mode == "h" ? GRADIENT_FILL_RECT_H : mode == "v" ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_TRIANGLE;
    const std::size_t per = mode == "t" ? 3 : 2;
    const std::size_t n = w.size() - 2;
    if (n == 0 || n % (3 * per) != 0) {
      why = mode == "t" ? "gradient t takes triangles of 3 vertices X Y RRGGBB"
                        : "gradient " + mode + " takes rectangles of 2 vertices X Y RRGGBB";
      return false;
    }
    for (std::size_t i = 2; i < w.size(); i += 3) {
      std::vector<LONG> xy;
      DrawColour colour;
      if (!Numbers({w[i], w[i + 1]}, 0, xy, why) || !Colour(w[i + 2], colour, why)) return false;
      if (colour.hatch) {
        why = "gradient colour '" + w[i + 2] + "' is not RRGGBB";
        return false;
      }
      // 8.8 channels: the byte in both halves, so that FF is full.
      auto channel = [&](int shift) { return static_cast<COLOR16>(((colour.rgb >> shift) & 0xFF) * 0x101); };
      c.vertices.push_back(TRIVERTEX{xy[0], xy[1], channel(0), channel(8), channel(16), 0});
    }
    return true;
  }
  why = "unknown command '" + verb + "'";
  return false;
}

struct BrushHolder {
  BRUSHOBJ* bo;
  explicit BrushHolder(const DrawColour& c)
      : bo(c.hatch ? plat::engine::CreateHatchBrush(c.style, c.rgb, 0xFFFFFF) : plat::engine::CreateSolidBrush(c.rgb)) {}
  ~BrushHolder() {
    if (bo) plat::engine::DeleteBrush(bo);
  }
};

// A picture as an engine bitmap over its rows mapped copy on write, so that
// nothing the driver does can reach the parsed script.
struct PictureSurface {
  PictureRows rows;
  HBITMAP bitmap = nullptr;
  SURFOBJ* so = nullptr;
  explicit PictureSurface(const NetpbmPicture& p) : rows(p) {
    if (rows.bits()) bitmap = EngCreateBitmap(SIZEL{p.width, p.height}, p.stride, p.format, BMF_TOPDOWN, rows.bits());
    if (bitmap) so = EngLockSurface(reinterpret_cast<HSURF>(bitmap));
  }
  ~PictureSurface() {
    if (so) EngUnlockSurface(so);
    if (bitmap) EngDeleteSurface(reinterpret_cast<HSURF>(bitmap));
  }
  PictureSurface(const PictureSurface&) = delete;
  PictureSurface& operator=(const PictureSurface&) = delete;
};

// The picture and text commands.
bool DrawPictureOrText(plat::gdi::Page& page, const DrawCommand& c) {
  const std::vector<LONG>& n = c.numbers;
  if (c.kind == DrawCommand::Kind::kText) {
    FONTOBJ* font = plat::engine::CreateFont(plat::engine::DefaultFontFile(), static_cast<ULONG>(c.em));
    if (!font) return false;
    BrushHolder brush(c.colour);
    const bool ok = brush.bo && page.TextOut(font, c.text, n[0], n[1], brush.bo);
    plat::engine::DeleteFont(font);
    return ok;
  }
  if (!c.picture) return false;
  PictureSurface picture(*c.picture);
  if (!picture.so) return false;
  if (c.kind == DrawCommand::Kind::kStretch) {
    // Strips of h / N source rows, the last taking the rest, each to its
    // share of the target's rows.
    const LONG h = c.picture->height, each = h / c.strips;
    const std::int64_t span = std::int64_t{n[3]} - n[1];
    bool ok = true;
    for (LONG i = 0; i < c.strips; ++i) {
      const LONG y0 = i * each, y1 = i + 1 == c.strips ? h : (i + 1) * each;
      const auto top = static_cast<LONG>(n[1] + span * y0 / h), bottom = static_cast<LONG>(n[1] + span * y1 / h);
      ok = page.StretchBlt(picture.so, c.picture->palette, RECTL{n[0], top, n[2], bottom},
                           RECTL{0, y0, c.picture->width, y1}) &&
           ok;
    }
    return ok;
  }
  const RECTL whole{0, 0, c.picture->width, c.picture->height};
  const RECTL at{n[0], n[1], n[0] + c.picture->width, n[1] + c.picture->height};
  switch (c.kind) {
    case DrawCommand::Kind::kAlpha:
      return page.AlphaBlend(picture.so, c.picture->palette, at, whole, BLENDFUNCTION{AC_SRC_OVER, 0, c.alpha, 0});
    case DrawCommand::Kind::kTransparent:
      return page.TransparentBlt(picture.so, c.picture->palette, at, whole, c.key);
    case DrawCommand::Kind::kPlgBlt: {
      const POINTFIX corners[3] = {{n[0] * 16, n[1] * 16}, {n[2] * 16, n[3] * 16}, {n[4] * 16, n[5] * 16}};
      return page.PlgBlt(picture.so, c.picture->palette, corners);
    }
    default:
      break;
  }
  const bool rop = c.kind == DrawCommand::Kind::kStretchRop;
  auto draw = [&](BRUSHOBJ* bo) {
    return rop ? page.StretchBltROP(picture.so, c.picture->palette, RECTL{n[0], n[1], n[2], n[3]}, whole, bo,
                                    Rop4Of(c.rop3))
               : page.BitBlt(picture.so, c.picture->palette, n[0], n[1], c.rop3, bo);
  };
  if (!c.hasColour) return draw(nullptr);
  BrushHolder brush(c.colour);
  return brush.bo && draw(brush.bo);
}

LINEATTRS Attributes(const DrawPen& pen, std::vector<FLOAT_LONG>& style) {
  LINEATTRS la{};
  style.clear();
  for (LONG v : pen.style) {
    FLOAT_LONG f;
    if (pen.width > 0)
      f.e = static_cast<FLOATL>(v);
    else
      f.l = v;
    style.push_back(f);
  }
  la.fl = (pen.width > 0 ? LA_GEOMETRIC : 0) | (style.empty() ? 0 : LA_STYLED);
  la.iJoin = pen.join;
  la.iEndCap = pen.cap;
  if (pen.width > 0)
    la.elWidth.e = static_cast<FLOATL>(pen.width);
  else
    la.elWidth.l = 1;
  la.eMiterLimit = 10;
  la.cstyle = static_cast<ULONG>(style.size());
  la.pstyle = style.empty() ? nullptr : style.data();
  return la;
}

}  // namespace

bool ParseDrawScript(std::istream& in, std::vector<DrawCommand>& out, std::string& error) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (line.size() > 100000) {
      error = "line " + std::to_string(number) + ": too long";
      return false;
    }
    if (std::istringstream first(line); (first >> std::ws).peek() != EOF) {
      std::string verb;
      first >> verb;
      if (verb == "text") {
        DrawCommand c;
        std::string why;
        if (!TextLine(line, c, why)) {
          error = "line " + std::to_string(number) + ": " + why;
          return false;
        }
        out.push_back(std::move(c));
        continue;
      }
    }
    if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    if (w.empty()) continue;
    DrawCommand c;
    std::string why;
    if (!ParseLine(w, c, why)) {
      error = "line " + std::to_string(number) + ": " + why;
      return false;
    }
    out.push_back(std::move(c));
  }
  return true;
}

bool DrawScriptPage(SURFOBJ* surface, const std::vector<DrawCommand>& script, bool paintAsBlt) {
  if (!surface) return false;
  plat::gdi::Page page(surface);
  page.SetPaintAsBlt(paintAsBlt);
  bool ok = true;
  for (const DrawCommand& c : script) {
    const std::vector<LONG>& n = c.numbers;
    if (c.kind == DrawCommand::Kind::kClip) {
      std::vector<RECTL> rects;
      for (std::size_t i = 0; i + 3 < n.size(); i += 4) rects.push_back(RECTL{n[i], n[i + 1], n[i + 2], n[i + 3]});
      page.SetClip(std::move(rects));
      continue;
    }
    if (c.kind == DrawCommand::Kind::kGradient) {
      const std::size_t per = c.gradientMode == GRADIENT_FILL_TRIANGLE ? 3 : 2;
      std::vector<ULONG> mesh(c.vertices.size() / per * per);
      for (std::size_t i = 0; i < mesh.size(); ++i) mesh[i] = static_cast<ULONG>(i);
      ok = page.GradientFill(c.vertices, std::move(mesh), c.gradientMode) && ok;
      continue;
    }
    if (c.kind != DrawCommand::Kind::kPaint && c.kind != DrawCommand::Kind::kLine &&
        c.kind != DrawCommand::Kind::kStroke && c.kind != DrawCommand::Kind::kBezier &&
        c.kind != DrawCommand::Kind::kFill && c.kind != DrawCommand::Kind::kPatBlt) {
      ok = DrawPictureOrText(page, c) && ok;
      continue;
    }
    BrushHolder brush(c.colour);
    if (!brush.bo) return false;
    std::vector<FLOAT_LONG> style;
    plat::engine::SubPath path;
    for (std::size_t i = 0; i + 1 < n.size(); i += 2) path.points.push_back(POINTFIX{n[i] * 16, n[i + 1] * 16});
    switch (c.kind) {
      case DrawCommand::Kind::kPaint: {
        std::vector<RECTL> rects;
        for (std::size_t i = 0; i + 3 < n.size(); i += 4) rects.push_back(RECTL{n[i], n[i + 1], n[i + 2], n[i + 3]});
        ok = page.PaintRegion(rects, brush.bo, c.mix) && ok;
        break;
      }
      case DrawCommand::Kind::kLine:
        ok = page.LineTo(n[0], n[1], n[2], n[3], brush.bo, c.mix) && ok;
        break;
      case DrawCommand::Kind::kStroke:
      case DrawCommand::Kind::kBezier:
        path.beziers = c.kind == DrawCommand::Kind::kBezier;
        ok = page.StrokePath({path}, Attributes(c.pen, style), brush.bo, R2_COPYPEN) && ok;
        break;
      case DrawCommand::Kind::kFill:
        path.closed = true;
        ok = page.FillPath({path}, brush.bo, R2_COPYPEN, c.winding) && ok;
        break;
      case DrawCommand::Kind::kPatBlt:
        ok = page.PatBlt(RECTL{n[0], n[1], n[2], n[3]}, brush.bo, c.rop3) && ok;
        break;
      case DrawCommand::Kind::kClip:
      case DrawCommand::Kind::kBlit:
      case DrawCommand::Kind::kStretch:
      case DrawCommand::Kind::kText:
      case DrawCommand::Kind::kAlpha:
      case DrawCommand::Kind::kTransparent:
      case DrawCommand::Kind::kStretchRop:
      case DrawCommand::Kind::kPlgBlt:
      case DrawCommand::Kind::kGradient:
        break;
    }
  }
  return ok;
}

}  // namespace printjob
