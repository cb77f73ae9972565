#include "planes/thinning.h"

#include <algorithm>
#include <new>
#include <vector>

namespace imaging {

const BYTE ThinningOrder8x8[8][8] = {
    {1, 51, 14, 64, 4, 54, 17, 67},   {76, 26, 89, 39, 79, 29, 92, 42},
    {20, 70, 7, 57, 23, 73, 10, 60},  {95, 45, 82, 32, 98, 48, 85, 35},
    {6, 56, 18, 68, 3, 53, 15, 65},   {81, 31, 93, 43, 78, 28, 90, 40},
    {25, 75, 12, 62, 21, 71, 9, 59},  {100, 50, 87, 37, 96, 46, 84, 34},
};

void BuildThinningCurve(bool photoMode, DWORD curve[226]) {
  const int b = photoMode ? 52 : 25;
  for (int i = 0; i <= 225; ++i) {
    const int a = i * 100 / 15 / 15;
    if (a < b)
      curve[i] = 0;
    else if (a > 100)
      curve[i] = 50;
    else
      curve[i] = static_cast<DWORD>(50.0 / (100 - b) * (a - b));
  }
}

namespace {

inline int Bit(const BYTE* row, LONG x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

// The window state runs incrementally across the whole sheet: column counts
// run one byte ahead of the pixel being decided and carry over from the end
// of one row into the next; removals never feed back because the rows that
// the window still needs are read from unthinned copies.
class ThinningWindow {
 public:
  ThinningWindow(const BYTE* data, LONG stride, LONG rows, std::vector<BYTE>& ring)
      : data_(data), stride_(stride), rows_(rows), width_(stride * 8), ring_(ring), counts_(width_, 0) {}

  // Unthinned row r: rows still to come are read from the plane, the recent
  // ones from the ring (the current row is being thinned in place). The ring
  // holds sixteen rows so that row r - 8 is still there while row r is saved.
  const BYTE* UnthinnedRow(LONG r, LONG current) const {
    if (r < 0 || r >= rows_) return nullptr;
    if (r > current) return data_ + static_cast<size_t>(r) * stride_;
    return ring_.data() + static_cast<size_t>(r & 15) * stride_;
  }

  void Start() {
    for (LONG r = 0; r <= 6 && r < rows_; ++r) {
      const BYTE* row = data_ + static_cast<size_t>(r) * stride_;
      for (LONG x = 0; x < width_; ++x) counts_[x] += Bit(row, x);
    }
    if (rows_ > 7) {
      const BYTE* row7 = data_ + static_cast<size_t>(7) * stride_;
      for (LONG x = 0; x < 8 && x < width_; ++x) counts_[x] += Bit(row7, x);
    }
    sum_ = 0;
    for (LONG x = 0; x <= 6 && x < width_; ++x) sum_ += counts_[x];
    sum_ = std::clamp(sum_, 0, 225);
  }

  // Brings column x to row target: adds row target + 7, drops row target - 8.
  void Advance(LONG x, LONG target, LONG current) {
    int c = counts_[x];
    if (const BYTE* below = UnthinnedRow(target + 7, current)) c += Bit(below, x);
    if (const BYTE* above = UnthinnedRow(target - 8, current)) c -= Bit(above, x);
    counts_[x] = static_cast<BYTE>(std::clamp(c, 0, 15));
  }

  // Window sum for pixel x of row r.
  int Step(LONG x, LONG r) {
    const LONG ahead = x + 8;
    if (ahead < width_)
      Advance(ahead, r, r);
    else
      Advance(ahead - width_, r + 1, r);
    const LONG add = (x + 7) % width_;
    const LONG sub = ((x - 8) % width_ + width_) % width_;
    sum_ = std::clamp(sum_ + counts_[add] - counts_[sub], 0, 225);
    return sum_;
  }

 private:
  const BYTE* data_;
  LONG stride_;
  LONG rows_;
  LONG width_;
  std::vector<BYTE>& ring_;
  std::vector<BYTE> counts_;
  int sum_ = 0;
};

}  // namespace

bool ThinSolidAreas(bool photoMode, BYTE* data, LONG stride, LONG rows) {
  if (!data || stride <= 0 || rows < 16) return true;
  DWORD curve[226];
  BuildThinningCurve(photoMode, curve);
  std::vector<BYTE> ring;
  try {
    ring.resize(static_cast<size_t>(stride) * 16);
  } catch (const std::bad_alloc&) {
    return false;
  }
  ThinningWindow window(data, stride, rows, ring);
  window.Start();
  const LONG width = stride * 8;
  for (LONG r = 0; r <= rows - 16; ++r) {
    BYTE* row = data + static_cast<size_t>(r) * stride;
    std::copy(row, row + stride, ring.begin() + static_cast<size_t>(r & 15) * stride);
    const int q = r == 0 ? 0 : (rows - 14 - r) % 8;
    const BYTE* order = ThinningOrder8x8[q];
    for (LONG x = 0; x < width; ++x) {
      const int sum = window.Step(x, r);
      const BYTE mask = static_cast<BYTE>(0x80 >> (x & 7));
      if ((row[x >> 3] & mask) && curve[sum] >= order[7 - (x & 7)]) row[x >> 3] &= static_cast<BYTE>(~mask);
    }
  }
  return true;
}

}  // namespace imaging
