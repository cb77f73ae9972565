// Plane kernels of the sheet emitter: binding shifts, centre gutters, repeat,
// thumbnails, line fetching and the 600-to-300 dpi width halving. Each works
// on one plane view and knows nothing of the device record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "plat/base.h"

namespace render {

// One 1 bit-per-pixel plane, rows top-down, most significant bit leftmost.
struct PlaneView {
  BYTE* bits;
  LONG width;   // dots a row
  LONG height;  // rows
  LONG stride;  // bytes a row
  BYTE* Row(LONG y) const { return bits + static_cast<std::size_t>(y) * static_cast<std::size_t>(stride); }
};

// Bytes of a line of n dots.
constexpr LONG RowBytes1bpp(LONG n) { return (n + 7) / 8; }

// Shifts; white (bit 1) enters, what is pushed out is lost. a in dots.
void ShiftRowsDown(const PlaneView& p, LONG a);
void ShiftRowsUp(const PlaneView& p, LONG a);
void ShiftBitsRight(const PlaneView& p, LONG a);
void ShiftBitsLeft(const PlaneView& p, LONG a);

// Centre gutters of g dots: across rows (upper half up, lower half down by
// g / 2 each) and within rows (left half left, right half right by g / 2).
void GutterAcrossRows(const PlaneView& p, LONG g);
void GutterWithinRows(const PlaneView& p, LONG g);
// One row of width dots split at (width + 1) / 2 with a white gap of g dots.
void SplitRowGap(BYTE* row, LONG width, LONG g);

// Copies the first page over the sheet. gap: dots between the copies (0
// without margins); inFour: quarters; widthBelowLength: portrait paper.
void RepeatPageImage(const PlaneView& p, LONG gap, bool inFour, bool widthBelowLength);

// Grey thumbnail of a plane (ink = bit 0): width x height bytes, rows stored
// bottom row first, width a multiple of 4. Empty when the plane is empty.
struct Thumbnail {
  LONG width = 0;
  LONG height = 0;
  std::vector<BYTE> rows;
};
Thumbnail BuildThumbnail(const PlaneView& p, bool orientation90);

void InvertBytes(BYTE* bytes, std::size_t n);
// Whitens every byte of the plane's rows. whiteRows: one flag a row (or
// empty), non-zero for a row known white, which is skipped unread; other
// rows are written only when they are not white already.
void WhitenPlane(const PlaneView& p, std::span<const BYTE> whiteRows);
// True when any of the first bits of the line is ink (bit 1 after inversion).
bool RowHasInk(const BYTE* line, LONG bits);
// Column under mask of byte index col of the plane, read from row h - 1 up to
// row 0 into out (h bits, most significant first). inverted: plane bit 1 is
// ink; else the complement is taken.
void GatherBitColumn(const PlaneView& p, LONG col, BYTE mask, LONG h, bool inverted, BYTE* out);

// Reads a plane line by line for sending: rows (orientation 0) or columns
// from the left (orientation 90), ink = 1, blank lines skipped and counted.
class LineFetcher {
 public:
  // width: line width w (dots across, possibly cut); count: line count h.
  LineFetcher(const PlaneView& p, bool orientation90, LONG width, LONG count, bool alreadyInverted);
  // Skips n leading rows (they are not sent and the count shrinks).
  void SkipRows(LONG n);
  // Asks the fetcher to set whiteRows[y] to 1 for each row y of the plane it
  // reads and finds white to its last byte (one flag a row of the plane as
  // given; rows it does not read are left as they are).
  void TrackWhiteRows(std::span<BYTE> whiteRows) { whiteRows_ = whiteRows; }
  // The next line with ink (its bytes stay valid until the next call), the
  // blank lines before it added to lineCounter; empty when all are read.
  std::span<BYTE> Next(DWORD& lineCounter);
  // Bytes of every line handed out.
  LONG LineBytes() const { return lineBytes_; }
  // Lets Next hand out rows of a plane that is not inverted as they are
  // (white = 1, bits past a cut width set white), for a caller that packs
  // their complement and whitens the plane after the sheet: each such row is
  // whitened (and flagged white) when the next line is asked for, while it
  // is still in the cache. Turned lines are gathered from bytes that are
  // whitened once read.
  void HandOutWhiteOne() { whiteOneAllowed_ = true; }
  // Whether the line Next gave last has white = 1.
  bool LineIsWhiteOne() const { return whiteOne_; }

 private:
  PlaneView plane_;
  bool orientation90_;
  bool inverted_;
  LONG width_;
  LONG count_;
  LONG lineBytes_;
  LONG next_ = 0;  // next row, or next column
  LONG firstRow_ = 0;  // plane row of row 0 after SkipRows
  std::span<BYTE> whiteRows_;
  bool whiteOneAllowed_ = false;
  bool whiteOne_ = false;
  BYTE* lastRow_ = nullptr;  // the white-one row handed out last
  // Orientation 90: columns are gathered a strip of kStripColumns at a time;
  // stripInk_ marks the strip's dot columns with any ink, so that blank
  // columns are only counted; rowInk_ has a bit per row with ink in the
  // strips gathered so far.
  static constexpr LONG kStripColumns = 256;
  void GatherStrip(LONG firstColumn);
  BYTE stripInk_[kStripColumns / 8] = {};
  std::vector<std::uint16_t> rowInk_;
  std::vector<BYTE> strip_;
  LONG stripStart_ = -1;
  bool planeBlank_ = false;
};

// 600 to 300 dpi across a line (ink = 1): smooths pairs, then keeps the left
// bit of each pair, packing the line into its first half.
void PrepareHalveWidth(BYTE* line, std::size_t n);
void HalveWidth(BYTE* line, std::size_t n);

// Seconds within the hour of a local time: minute x 60 + second.
DWORD ClockSeconds(WORD minute, WORD second);

}  // namespace render
