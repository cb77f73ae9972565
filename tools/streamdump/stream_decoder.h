// Independent decoder of the duplicator's command stream: parses every
// command and record, checks the syntax as it goes, decodes the compressed
// lines with its own run-length decoder and rebuilds each drum page.
// Shares no code with the writer on purpose; tests use it to read streams back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace streamdump {

// One 0x1E command: its letter, parameters and text as sent (without 0x1E);
// bare commands ("R") have letter 'R' and no parameters.
struct Command {
  std::size_t offset = 0;  // of the 0x1E byte
  char letter = 0;
  std::vector<std::int64_t> params;
  std::string text;  // e.g. "&40;210;297&z"
};

// An info record announced by "&n": tag FILE, TIME, HOST or THUM.
struct InfoRecord {
  std::size_t offset = 0;  // of the 0x1F byte
  std::string tag;
  std::string value;  // FILE, TIME, HOST: the text
  // THUM: the picture, rows top first, one grey byte a pixel.
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> pixels;
};

// One positioned raster line, decoded (ink = 1, most significant bit first).
struct RasterLine {
  std::size_t offset = 0;  // of the "&i" command
  std::uint32_t v = 0;  // line position in dots
  std::uint32_t h = 0;  // horizontal position in dots
  std::size_t packedBytes = 0;
  std::vector<std::uint8_t> bytes;
};

// Everything sent between one set of ink commands and its form feed.
struct DrumPage {
  std::int64_t inkCode = -1;  // from "&O" with four values, -1 when none came
  std::int64_t rgb[3] = {0, 0, 0};
  std::int64_t lab[3] = {0, 0, 0};
  bool hasLab = false;
  std::vector<RasterLine> lines;
  std::vector<InfoRecord> thumbnails;
  bool ended = false;  // a form feed closed it
  std::size_t formFeedEnd = 0;  // offset just past its form feed; 0 when none closed it
};

struct Decoded {
  bool ok = false;
  std::size_t errorOffset = 0;  // first malformed byte
  std::string error;
  std::vector<std::string> text;  // one line per command and record
  std::vector<Command> commands;
  std::vector<InfoRecord> records;  // every record in order, thumbnails included
  std::vector<DrumPage> pages;
  // Paper in millimetres ("&z") and resolution ("&r") of the job, 0 when not sent.
  std::uint32_t paperWidthMm = 0;
  std::uint32_t paperLengthMm = 0;
  std::uint32_t dpiX = 0;
  std::uint32_t dpiY = 0;
  bool jobEnded = false;  // the stream ends with the job-end "R"
  std::size_t resetEnd = 0;  // offset just past the latest "R"
};

// Decodes a whole stream. Stops at the first malformed byte: ok false,
// errorOffset and error say where and why; everything before it is kept.
Decoded DecodeStream(std::span<const std::uint8_t> stream);

// Most decoded line bytes one drum page may carry; a stream past it is malformed.
inline constexpr std::uint64_t kMaxPageLineBytes = std::uint64_t(1) << 28;

// Decoding a stream of any length without holding what it decodes: each text
// line goes to onText as it is decoded, each drum page to onPage once it is
// closed (by its form feed, the next ink command or the end of the stream),
// and its lines and thumbnails are dropped after. The result keeps neither
// text nor commands nor records nor lines. onPage returning false stops the
// decoding (ok false).
struct DecodeListener {
  std::function<void(const std::string&)> onText;
  std::function<bool(const Decoded& job, const DrumPage& page, std::size_t index)> onPage;
  std::uint64_t maxPageLineBytes = kMaxPageLineBytes;
  bool keepLineBytes = true;  // false: lines are checked and counted, their bytes dropped at once
};
Decoded DecodeStream(std::span<const std::uint8_t> stream, const DecodeListener& listener);

// The most bytes one item takes: a command (at most 64 bytes) and its payload
// (at most 65535).
inline constexpr std::size_t kMaxItemBytes = std::size_t(1) << 17;

// The same for a stream read in pieces, holding at most 2 * kMaxItemBytes of
// it at a time. read fills up to size bytes at into and returns how many it
// gave: 0 at the end of the stream, a negative number when reading failed
// (ok false, error "the stream cannot be read").
using StreamRead = std::function<std::ptrdiff_t(std::uint8_t* into, std::size_t size)>;
Decoded DecodeStream(const StreamRead& read, const DecodeListener& listener);

// Run-length decoder of a compressed line (headers 0..127 literal, -1..-127
// run, -128 refused). Returns false on a malformed or truncated line.
bool UnpackBits(std::span<const std::uint8_t> packed, std::vector<std::uint8_t>& out);

// A drum page rebuilt from its positioned lines: 1 bit a dot, ink = 1, rows
// of (width + 7) / 8 bytes. Sized to the paper of "&z" at the "&r"
// resolution, grown by the lines that reach past it up to one millimetre
// more (the header's rounding), lines cut there; without both, sized to the
// lines. A page that would need more than kMaxPlaneBytes is not rebuilt:
// the plane comes back empty (width 0).
inline constexpr std::uint64_t kMaxPlaneBytes = std::uint64_t(1) << 28;
struct Plane {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t stride = 0;
  std::vector<std::uint8_t> bits;
  bool Ink(std::uint32_t x, std::uint32_t y) const {
    return x < width && y < height && (bits[std::size_t(y) * stride + x / 8] & (0x80u >> (x % 8))) != 0;
  }
};
Plane RebuildPlane(const Decoded& job, const DrumPage& page);

// Writes a plane as a 1-bit grey PNG, ink black. Returns false on failure.
bool WritePlanePng(const Plane& plane, const std::string& path);

}  // namespace streamdump
