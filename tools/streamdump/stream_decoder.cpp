#include "streamdump/stream_decoder.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

namespace streamdump {
namespace {

constexpr std::uint8_t kCommand = 0x1E;
constexpr std::uint8_t kRecord = 0x1F;
constexpr std::uint8_t kFormFeed = 0x0C;

// The fixed block that follows "&64&e".
constexpr std::uint8_t kEBlock[64] = {0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C,
                                      0x00, 0x00, 0x00, 0xD2, 0x01, 0x29, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A};

// Allowed parameter counts of each command letter (bit k set: k parameters).
unsigned AllowedCounts(char letter) {
  switch (letter) {
    case 'z': return 1u << 3;
    case 'r': case 'q': return 1u << 2;
    case 'C': case 'J': case 'G': case 'S': case 'n': case 'M': case 'V': case 'H': case 'i': case 'e':
      return 1u << 1;
    case 'D': return (1u << 1) | (1u << 2);
    case 'Q': case 'O': return (1u << 1) | (1u << 4);
    case 'o': case 's': return 1u << 4;
    default: return 0;
  }
}

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

class Parser {
 public:
  Parser(std::span<const std::uint8_t> s, Decoded& d, const DecodeListener* listener = nullptr)
      : s_(s), d_(d), listener_(listener) {}

  void Run() {
    if (Items(0)) Finish();
  }

  // The next part of a stream read in pieces: base is the offset of its first
  // byte in the stream; decoding goes on from its start.
  void Window(std::span<const std::uint8_t> s, std::size_t base) {
    s_ = s;
    base_ = base;
    pos_ = 0;
  }
  std::size_t Position() const { return pos_; }

  // Decodes items while more than `keep` bytes are left (all of them for 0).
  // False once the stream is found malformed.
  bool Items(std::size_t keep) {
    while (pos_ < s_.size() && s_.size() - pos_ > keep) {
      const std::uint8_t b = s_[pos_];
      d_.jobEnded = false;  // only a job end as the last item ends the job
      bool good;
      if (b == kCommand) {
        good = ParseCommand();
      } else if (b == kFormFeed) {
        good = FormFeed();
      } else {
        good = Fail(pos_, "unexpected byte outside a command");
      }
      if (!good) return false;
    }
    return true;
  }

  // The end of the stream: the open page goes to the listener.
  void Finish() {
    if (!d_.pages.empty() && !HandOver()) return;
    d_.ok = true;
  }

 private:
  bool Fail(std::size_t at, std::string why) {
    d_.ok = false;
    d_.errorOffset = base_ + at;
    d_.error = std::move(why);
    return false;
  }

  bool More(std::size_t at) const { return at < s_.size(); }

  void Text(std::string line) {
    if (listener_ == nullptr) {
      d_.text.push_back(std::move(line));
    } else if (listener_->onText) {
      listener_->onText(line);
    }
  }

  // Streaming: the last page goes to the listener (once) and its lines go.
  bool HandOver() {
    if (listener_ == nullptr || handed_ == d_.pages.size()) return true;
    DrumPage& page = d_.pages.back();
    handed_ = d_.pages.size();
    const bool go_on = !listener_->onPage || listener_->onPage(d_, page, d_.pages.size() - 1);
    std::vector<RasterLine>().swap(page.lines);
    std::vector<InfoRecord>().swap(page.thumbnails);
    return go_on ? true : Fail(pos_, "stopped after drum page " + std::to_string(d_.pages.size()));
  }

  DrumPage* OpenPage() {
    if (d_.pages.empty() || d_.pages.back().ended) return nullptr;
    return &d_.pages.back();
  }

  bool FormFeed() {
    DrumPage* page = OpenPage();
    if (page == nullptr || page->inkCode < 0) return Fail(pos_, "form feed outside a drum page");
    page->ended = true;
    Text("FF");
    ++pos_;
    page->formFeedEnd = base_ + pos_;
    havePosition_ = false;
    modeSent_ = false;
    return HandOver();
  }

  bool ParseCommand() {
    const std::size_t start = pos_;
    std::size_t p = pos_ + 1;
    if (!More(p)) return Fail(p, "stream ends after the command byte");
    Command cmd;
    cmd.offset = start;
    if (s_[p] == 'R') {
      cmd.letter = 'R';
      cmd.text = "R";
      pos_ = p + 1;
      d_.resetEnd = base_ + pos_;
      d_.jobEnded = commandCount_ > 0 || !d_.pages.empty();
      ++commandCount_;
      if (listener_ == nullptr) d_.commands.push_back(cmd);
      Text("R");
      return true;
    }
    if (s_[p] != '&') return Fail(p, "expected '&' or 'R' after the command byte");
    ++p;
    // Parameters: decimal, no leading zeros, '-' only for "&o" (checked below).
    std::vector<std::size_t> paramOffsets;
    for (;;) {
      if (cmd.params.size() == 4) return Fail(p, "more than four parameters");
      const std::size_t numStart = p;
      bool negative = false;
      if (More(p) && s_[p] == '-') {
        negative = true;
        ++p;
      }
      const std::size_t digitsStart = p;
      std::int64_t v = 0;
      while (More(p) && s_[p] >= '0' && s_[p] <= '9') {
        if (p > digitsStart && s_[digitsStart] == '0') return Fail(p, "leading zero in a parameter");
        v = v * 10 + (s_[p] - '0');
        if (v > 0xFFFFFFFFll) return Fail(p, "parameter too large");
        ++p;
      }
      if (p == digitsStart) return Fail(p, "expected a decimal parameter");
      if (negative && v == 0) return Fail(numStart, "negative zero");
      cmd.params.push_back(negative ? -v : v);
      paramOffsets.push_back(numStart);
      if (!More(p)) return Fail(p, "stream ends inside a command");
      if (s_[p] == ';') {
        ++p;
        continue;
      }
      if (s_[p] == '&') break;
      return Fail(p, "expected ';' or '&' after a parameter");
    }
    ++p;
    if (!More(p)) return Fail(p, "stream ends before the command letter");
    const char letter = static_cast<char>(s_[p]);
    const unsigned allowed = AllowedCounts(letter);
    if (allowed == 0) return Fail(p, "unknown command letter");
    if ((allowed & (1u << cmd.params.size())) == 0) return Fail(p, "wrong number of parameters for this command");
    for (std::size_t k = 0; k < cmd.params.size(); ++k) {
      const std::int64_t v = cmd.params[k];
      if (letter == 'o') {
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max())
          return Fail(paramOffsets[k], "parameter outside 32 bits");
      } else if (v < 0 || v > 0xFFFF) {
        return Fail(paramOffsets[k], "parameter outside 0..65535");
      }
    }
    cmd.letter = letter;
    cmd.text.assign(reinterpret_cast<const char*>(s_.data() + start + 1), p + 1 - (start + 1));
    pos_ = p + 1;
    ++commandCount_;
    if (listener_ != nullptr) return Apply(cmd, paramOffsets);
    d_.commands.push_back(cmd);
    return Apply(d_.commands.back(), paramOffsets);
  }

  bool Apply(const Command& c, const std::vector<std::size_t>& at) {
    const auto& v = c.params;
    switch (c.letter) {
      case 'e':
        if (v[0] != 64) return Fail(at[0], "\"&e\" must announce 64 bytes");
        if (s_.size() - pos_ < 64) return Fail(s_.size(), "stream ends inside the \"&e\" block");
        for (std::size_t k = 0; k < 64; ++k) {
          if (s_[pos_ + k] != kEBlock[k]) return Fail(pos_ + k, "\"&e\" block differs from the fixed block");
        }
        pos_ += 64;
        Text(c.text);
        return true;
      case 'z':
        if (v[0] != 40) return Fail(at[0], "\"&z\" must start with 40");
        d_.paperWidthMm = static_cast<std::uint32_t>(v[1]);
        d_.paperLengthMm = static_cast<std::uint32_t>(v[2]);
        break;
      case 'r':
        d_.dpiX = static_cast<std::uint32_t>(v[0]);
        d_.dpiY = static_cast<std::uint32_t>(v[1]);
        break;
      case 'O':
        if (v.size() == 4 && v[0] >= 1000) {
          if (v[0] > 1063) return Fail(at[0], "ink code outside 1000..1063");
          // An ink command opens a drum page; a page left without its form
          // feed (an aborted page) is closed as it is.
          if (!d_.pages.empty()) {
            d_.pages.back().ended = true;
            if (!HandOver()) return false;
          }
          pageLineBytes_ = 0;
          DrumPage page;
          page.inkCode = v[0];
          for (int k = 0; k < 3; ++k) {
            if (v[k + 1] > 255) return Fail(at[k + 1], "ink colour component above 255");
            page.rgb[k] = v[k + 1];
          }
          d_.pages.push_back(page);
          havePosition_ = false;
          modeSent_ = false;
        }
        break;
      case 'o': {
        DrumPage* page = OpenPage();
        if (page == nullptr || page->hasLab || !page->lines.empty())
          return Fail(c.offset, "\"&o\" does not follow an ink command");
        if (v[0] != page->inkCode) return Fail(at[0], "\"&o\" ink code differs from the \"&O\" ink code");
        for (int k = 0; k < 3; ++k) page->lab[k] = v[k + 1];
        page->hasLab = true;
        break;
      }
      case 'M': {
        if (OpenPage() == nullptr) return Fail(c.offset, "compression mode outside a drum page");
        if (v[0] != 1) return Fail(at[0], "unknown compression mode");
        modeSent_ = true;
        break;
      }
      case 'V':
      case 'H': {
        if (OpenPage() == nullptr) return Fail(c.offset, "line position outside a drum page");
        if (c.letter == 'V') {
          if (v[0] == 0) return Fail(at[0], "line position 0 (lines count from 1)");
          pendingV_ = static_cast<std::uint32_t>(v[0]);
          haveV_ = true;
          haveH_ = false;
        } else {
          if (!haveV_) return Fail(c.offset, "\"&H\" without a preceding \"&V\"");
          pendingH_ = static_cast<std::uint32_t>(v[0]);
          haveH_ = true;
        }
        havePosition_ = haveV_ && haveH_;
        return true;  // folded into the line that follows
      }
      case 'i':
        return RasterLineData(c, at);
      case 'n':
        return Record(c, at);
      default:
        break;
    }
    Text(c.text);
    return true;
  }

  bool RasterLineData(const Command& c, const std::vector<std::size_t>& at) {
    DrumPage* page = OpenPage();
    if (page == nullptr || page->inkCode < 0) return Fail(c.offset, "raster line outside a drum page");
    if (!modeSent_) return Fail(c.offset, "raster line before a compression mode");
    if (!havePosition_) return Fail(c.offset, "raster line without \"&V\" and \"&H\"");
    const std::size_t n = static_cast<std::size_t>(c.params[0]);
    if (n == 0) return Fail(at[0], "empty raster line");
    if (s_.size() - pos_ < n) return Fail(s_.size(), "stream ends inside a raster line");
    RasterLine line;
    line.offset = base_ + c.offset;
    line.v = pendingV_;
    line.h = pendingH_;
    line.packedBytes = n;
    std::size_t bad = 0;
    if (!Unpack(s_.subspan(pos_, n), line.bytes, bad)) return Fail(pos_ + bad, "malformed compressed line");
    pageLineBytes_ += line.bytes.size();
    const std::uint64_t most = listener_ != nullptr ? listener_->maxPageLineBytes : kMaxPageLineBytes;
    if (pageLineBytes_ > most) return Fail(c.offset, "drum page carries more line data than any page holds");
    if (listener_ != nullptr && !listener_->keepLineBytes) std::vector<std::uint8_t>().swap(line.bytes);
    pos_ += n;
    havePosition_ = haveV_ = haveH_ = false;
    Text("line V=" + std::to_string(line.v) + " H=" + std::to_string(line.h) + " bytes=" + std::to_string(n));
    page->lines.push_back(std::move(line));
    return true;
  }

 public:
  // Decodes one line; on failure `bad` is the offset of the offending byte
  // within the packed data (or its size when it is cut short).
  static bool Unpack(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& out, std::size_t& bad) {
    out.clear();
    // The headers are checked and the line's length summed first, so that
    // the bytes are then written into a line sized once.
    std::size_t total = 0;
    for (std::size_t i = 0; i < in.size();) {
      const int h = static_cast<std::int8_t>(in[i]);
      if (h == -128) {
        bad = i;
        return false;
      }
      if (h >= 0) {
        const std::size_t count = static_cast<std::size_t>(h) + 1;
        if (in.size() - i - 1 < count) {
          bad = in.size();
          return false;
        }
        total += count;
        i += 1 + count;
      } else {
        if (i + 1 >= in.size()) {
          bad = in.size();
          return false;
        }
        total += static_cast<std::size_t>(1 - h);
        i += 2;
      }
    }
    out.resize(total);
    std::uint8_t* o = out.data();
    for (std::size_t i = 0; i < in.size();) {
      const int h = static_cast<std::int8_t>(in[i]);
      if (h >= 0) {
        const std::size_t count = static_cast<std::size_t>(h) + 1;
        std::memcpy(o, in.data() + i + 1, count);
        o += count;
        i += 1 + count;
      } else {
        std::memset(o, in[i + 1], static_cast<std::size_t>(1 - h));
        o += 1 - h;
        i += 2;
      }
    }
    return true;
  }

 private:
  bool Record(const Command& c, const std::vector<std::size_t>& at) {
    const std::size_t n = static_cast<std::size_t>(c.params[0]);
    const std::size_t r = pos_;
    if (s_.size() - r < n) return Fail(s_.size(), "stream ends inside an info record");
    if (n < 6) return Fail(at[0], "info record too short");
    if (s_[r] != kRecord) return Fail(r, "info record does not start with 0x1F");
    const std::string tag(reinterpret_cast<const char*>(s_.data() + r + 1), 4);
    std::size_t digits;
    if (tag == "FILE" || tag == "TIME" || tag == "HOST") {
      digits = 4;
    } else if (tag == "THUM") {
      digits = 6;
    } else {
      return Fail(r + 1, "unknown info record tag");
    }
    if (n < 1 + 4 + digits + 1) return Fail(at[0], "info record too short");
    std::size_t len = 0;
    for (std::size_t k = 0; k < digits; ++k) {
      const std::uint8_t ch = s_[r + 5 + k];
      if (ch < '0' || ch > '9') return Fail(r + 5 + k, "expected a digit of the record length");
      len = len * 10 + (ch - '0');
    }
    const std::size_t valueAt = r + 5 + digits + 1;
    if (s_[valueAt - 1] != kRecord) return Fail(valueAt - 1, "expected 0x1F after the record length");
    if (1 + 4 + digits + 1 + len != n) return Fail(r + 5, "record length disagrees with the \"&n\" length");
    InfoRecord rec;
    rec.offset = base_ + r;
    rec.tag = tag;
    const std::span<const std::uint8_t> value = s_.subspan(valueAt, len);
    if (tag == "THUM") {
      if (!Thumbnail(value, valueAt, rec)) return false;
      DrumPage* page = OpenPage();
      if (page == nullptr || page->inkCode < 0) return Fail(r, "thumbnail outside a drum page");
      Text("THUM " + std::to_string(rec.width) + "x" + std::to_string(rec.height));
      page->thumbnails.push_back(rec);
    } else {
      for (std::size_t k = 0; k < len; ++k) {
        if (value[k] == 0) return Fail(valueAt + k, "zero byte inside a record text");
      }
      rec.value.assign(reinterpret_cast<const char*>(value.data()), len);
      if (tag == "TIME" && !DateText(rec.value)) return Fail(valueAt, "date text is not \"YYYY/MM/DD hh:mm\"");
      Text(tag + " " + rec.value);
    }
    if (listener_ == nullptr) d_.records.push_back(std::move(rec));
    pos_ = r + n;
    return true;
  }

  // "%04d/%02d/%02d %2d:%2d"
  static bool DateText(const std::string& t) {
    if (t.size() != 16) return false;
    auto digit = [&](std::size_t k) { return t[k] >= '0' && t[k] <= '9'; };
    auto padded = [&](std::size_t k) { return (t[k] == ' ' || digit(k)) && digit(k + 1); };
    return digit(0) && digit(1) && digit(2) && digit(3) && t[4] == '/' && digit(5) && digit(6) && t[7] == '/' &&
           digit(8) && digit(9) && t[10] == ' ' && padded(11) && t[13] == ':' && padded(14);
  }

  bool Thumbnail(std::span<const std::uint8_t> b, std::size_t at, InfoRecord& rec) {
    constexpr std::size_t kHeaders = 14 + 40 + 1024;
    if (b.size() < kHeaders) return Fail(at, "thumbnail shorter than its bitmap headers");
    if (b[0] != 'B' || b[1] != 'M') return Fail(at, "thumbnail is not a bitmap file");
    if (Le32(&b[2]) != b.size()) return Fail(at + 2, "bitmap file size disagrees with the record length");
    if (Le32(&b[6]) != 0) return Fail(at + 6, "bitmap reserved words not 0");
    if (Le32(&b[10]) != kHeaders) return Fail(at + 10, "bitmap data offset not 1078");
    if (Le32(&b[14]) != 40) return Fail(at + 14, "bitmap info header size not 40");
    const std::int32_t w = static_cast<std::int32_t>(Le32(&b[18]));
    const std::int32_t h = static_cast<std::int32_t>(Le32(&b[22]));
    if (w <= 0 || w % 4 != 0 || w > 4096) return Fail(at + 18, "thumbnail width not a positive multiple of 4");
    if (h <= 0 || h > 4096) return Fail(at + 22, "thumbnail height not positive");
    if (Le16(&b[26]) != 1 || Le16(&b[28]) != 8) return Fail(at + 26, "thumbnail is not one 8-bit plane");
    if (Le32(&b[30]) != 0) return Fail(at + 30, "thumbnail is compressed");
    const std::size_t pixels = std::size_t(w) * std::size_t(h);
    if (Le32(&b[34]) != pixels) return Fail(at + 34, "bitmap image size disagrees with width x height");
    for (std::size_t k = 38; k < 54; ++k) {
      if (b[k] != 0) return Fail(at + k, "bitmap resolution or colour counts not 0");
    }
    for (std::size_t i = 0; i < 256; ++i) {
      const std::uint8_t* e = &b[54 + 4 * i];
      if (e[0] != i || e[1] != i || e[2] != i || e[3] != 0) return Fail(at + 54 + 4 * i, "palette is not grey");
    }
    if (b.size() != kHeaders + pixels) return Fail(at + kHeaders, "bitmap pixel bytes disagree with its size");
    rec.width = static_cast<std::uint32_t>(w);
    rec.height = static_cast<std::uint32_t>(h);
    rec.pixels.resize(pixels);
    for (std::size_t row = 0; row < std::size_t(h); ++row) {  // bottom row first in the file
      std::memcpy(&rec.pixels[row * w], &b[kHeaders + (h - 1 - row) * std::size_t(w)], std::size_t(w));
    }
    return true;
  }

  std::span<const std::uint8_t> s_;
  Decoded& d_;
  const DecodeListener* listener_ = nullptr;
  std::size_t handed_ = 0;         // pages given to the listener
  std::size_t commandCount_ = 0;
  std::uint64_t pageLineBytes_ = 0;  // decoded line bytes of the open page
  std::size_t pos_ = 0;
  std::size_t base_ = 0;  // offset in the stream of s_[0]
  std::uint32_t pendingV_ = 0;
  std::uint32_t pendingH_ = 0;
  bool haveV_ = false;
  bool haveH_ = false;
  bool havePosition_ = false;
  bool modeSent_ = false;
};

// Eight plane bytes as one number, the first byte most significant.
std::uint64_t BigEndian(std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(v);
  return v;
}
std::uint64_t LoadBe64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, sizeof v);
  return BigEndian(v);
}
void OrBe64(std::uint8_t* p, std::uint64_t v) {
  std::uint64_t old;
  std::memcpy(&old, p, sizeof old);
  old |= BigEndian(v);
  std::memcpy(p, &old, sizeof old);
}

std::uint32_t MmToDots(std::uint32_t mm, std::uint32_t dpi) {
  return static_cast<std::uint32_t>((std::uint64_t(mm) * dpi * 10 + 253) / 254);
}

}  // namespace

Decoded DecodeStream(std::span<const std::uint8_t> stream) {
  Decoded d;
  Parser(stream, d).Run();
  return d;
}

Decoded DecodeStream(std::span<const std::uint8_t> stream, const DecodeListener& listener) {
  Decoded d;
  Parser(stream, d, &listener).Run();
  return d;
}

Decoded DecodeStream(const StreamRead& read, const DecodeListener& listener) {
  Decoded d;
  std::vector<std::uint8_t> buffer(2 * kMaxItemBytes);
  std::size_t held = 0;
  std::size_t base = 0;
  Parser parser({}, d, &listener);
  bool end = false;
  for (;;) {
    while (!end && held < buffer.size()) {
      const std::ptrdiff_t got = read(buffer.data() + held, buffer.size() - held);
      if (got < 0 || static_cast<std::size_t>(got) > buffer.size() - held) {
        d.errorOffset = base + held;
        d.error = "the stream cannot be read";
        return d;
      }
      end = got == 0;
      held += static_cast<std::size_t>(got);
    }
    parser.Window({buffer.data(), held}, base);
    if (!parser.Items(end ? 0 : kMaxItemBytes)) return d;
    if (end) break;
    const std::size_t used = parser.Position();
    std::memmove(buffer.data(), buffer.data() + used, held - used);
    held -= used;
    base += used;
  }
  parser.Finish();
  return d;
}

bool UnpackBits(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& out) {
  std::size_t bad = 0;
  return Parser::Unpack(packed, out, bad);
}

Plane RebuildPlane(const Decoded& job, const DrumPage& page) {
  Plane plane;
  const std::uint64_t paperWidth = MmToDots(job.paperWidthMm, job.dpiX);
  const std::uint64_t paperHeight = MmToDots(job.paperLengthMm, job.dpiY);
  std::uint64_t width = paperWidth, height = paperHeight;
  for (const RasterLine& line : page.lines) {
    width = std::max<std::uint64_t>(width, std::uint64_t(line.h) + line.bytes.size() * 8);
    height = std::max<std::uint64_t>(height, line.v);
  }
  // With the paper and resolution sent, the page is the paper: the header
  // rounds it to whole millimetres, so lines may reach one more millimetre;
  // what lies beyond is cut, and a short stream cannot ask for a huge plane.
  if (paperWidth != 0 && paperHeight != 0) {
    width = std::min(width, paperWidth + MmToDots(1, job.dpiX));
    height = std::min(height, paperHeight + MmToDots(1, job.dpiY));
  }
  width = std::max<std::uint64_t>(width, 1);
  height = std::max<std::uint64_t>(height, 1);
  if ((width + 7) / 8 * height > kMaxPlaneBytes) return plane;  // refused: empty
  plane.width = static_cast<std::uint32_t>(width);
  plane.height = static_cast<std::uint32_t>(height);
  plane.stride = (plane.width + 7) / 8;
  plane.bits.assign(std::size_t(plane.stride) * plane.height, 0);
  for (const RasterLine& line : page.lines) {
    if (line.v == 0 || line.v > plane.height) continue;
    std::uint8_t* row = &plane.bits[std::size_t(line.v - 1) * plane.stride];
    const std::uint64_t lineEnd = std::uint64_t(line.h) + line.bytes.size() * 8;
    const std::uint64_t visibleDots = lineEnd <= plane.width ? line.bytes.size() * 8
                                      : line.h < plane.width  ? plane.width - line.h
                                                              : 0;
    if (visibleDots == 0) continue;
    // Whole bytes of the line, the last one cut to the visible dots; each
    // lands on two plane bytes unless the line starts on a byte.
    const std::size_t count = static_cast<std::size_t>((visibleDots + 7) / 8);
    const std::uint8_t lastMask = static_cast<std::uint8_t>(0xFF00u >> (((visibleDots - 1) & 7) + 1));
    const std::uint8_t* from = line.bytes.data();
    std::uint8_t* to = row + line.h / 8;
    const unsigned shift = line.h % 8;
    if (shift == 0) {
      for (std::size_t k = 0; k + 1 < count; ++k) to[k] |= from[k];
      to[count - 1] |= static_cast<std::uint8_t>(from[count - 1] & lastMask);
      continue;
    }
    // The plane's bytes this line reaches: its visible dots end inside the row.
    const std::size_t reach = static_cast<std::size_t>((shift + visibleDots + 7) / 8);
    // Eight bytes a step while a whole step stays before the last byte.
    std::size_t k = 0;
    std::uint64_t wordCarry = 0;
    for (; k + 8 < count; k += 8) {
      const std::uint64_t w = LoadBe64(from + k);
      OrBe64(to + k, wordCarry | (w >> shift));
      wordCarry = w << (64 - shift);
    }
    unsigned carry = static_cast<unsigned>(wordCarry >> 56);
    for (; k + 1 < count; ++k) {
      to[k] |= static_cast<std::uint8_t>(carry | (from[k] >> shift));
      carry = (from[k] << (8 - shift)) & 0xFFu;
    }
    const unsigned last = from[count - 1] & lastMask;
    to[count - 1] |= static_cast<std::uint8_t>(carry | (last >> shift));
    if (count < reach) to[count] |= static_cast<std::uint8_t>((last << (8 - shift)) & 0xFFu);
  }
  return plane;
}

bool WritePlanePng(const Plane& plane, const std::string& path) {
  if (plane.width == 0 || plane.height == 0) return false;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "wb"), &std::fclose);
  if (!f) return false;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  std::vector<std::uint8_t> row(plane.stride);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f.get());
  png_set_IHDR(png, info, plane.width, plane.height, 1, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // A fast deflate: zlib's default level took most of a page's time to make
  // its file a third smaller.
  png_set_compression_level(png, 3);
  png_write_info(png, info);
  for (std::uint32_t y = 0; y < plane.height; ++y) {
    const std::uint8_t* src = &plane.bits[std::size_t(y) * plane.stride];
    for (std::uint32_t k = 0; k < plane.stride; ++k) row[k] = static_cast<std::uint8_t>(~src[k]);  // ink black
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return std::fflush(f.get()) == 0;
}

}  // namespace streamdump
