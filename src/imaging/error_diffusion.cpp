#include "imaging/error_diffusion.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "imaging/sampling.h"
#include "imaging/scratch.h"

namespace imaging {

namespace {

// Decision of one pixel: white below 128, the error kept as a signed byte.
inline bool Decide(int m, std::int8_t& stored) {
  if (m < 128) {
    stored = static_cast<std::int8_t>(-m);
    return false;
  }
  stored = static_cast<std::int8_t>(255 - m);
  return true;
}

inline int Pull4(int left, int up, int upLeft, int upRight) {
  return (341 * (left + up) + 171 * (upLeft + upRight) + 512) / 1024;
}

inline int Pull6(int left, int up, int upLeft, int upRight) { return (2 * left + 2 * up + upLeft + upRight + 3) / 6; }

// One row of the four-neighbour kernel, the neighbours carried along in
// registers; column k reads source pixel at(k).
template <typename At>
inline void DiffuseRow(const BYTE* own, const std::int8_t* previous, std::int8_t* current, BYTE* ink, std::int64_t T,
                       At at) {
  int left = 0, upLeft = previous[0], up = previous[1];
  for (std::int64_t k = 0; k < T; ++k) {
    const int upRight = previous[k + 2];
    std::int8_t stored;
    ink[k] = Decide(own[at(k)] - Pull4(left, up, upLeft, upRight), stored);
    current[k + 1] = stored;
    left = stored;
    upLeft = up;
    up = upRight;
  }
}

// Writes the decisions of pixels first..last of a target row into a plane row;
// bits left of the rectangle in its first byte keep their value, bits right
// of it in its last byte turn white.
void StoreRow(BYTE* row, const BYTE* ink, LONG first, LONG last, LONG left) {
  LONG byte = first / 8;
  const int lead = first & 7;
  unsigned acc = lead ? static_cast<unsigned>(row[byte] >> (8 - lead)) : 0u;
  int filled = lead;
  for (LONG x = first; x <= last; ++x) {
    acc = (acc << 1) | (ink[x - left] ? 0u : 1u);
    if (++filled == 8) {
      row[byte++] = static_cast<BYTE>(acc);
      acc = 0;
      filled = 0;
    }
  }
  if (filled) row[byte] = static_cast<BYTE>((acc << (8 - filled)) | (0xFFu >> filled));
}

struct Rows {
  std::int8_t* previous;
  std::int8_t* current;
  void Advance(std::size_t width) {
    std::swap(previous, current);
    std::memset(current, 0, width);
  }
};

}  // namespace

void FreeDiffusionCarry(DiffusionCarry& carry) {
  if (carry.row) GlobalFree(carry.row);
  carry.row = nullptr;
  carry.size = 0;
  carry.saved = {0, 0, -1, -1};
}

bool AllocDiffusionRows(DiffusionRows& rows, std::int64_t width) {
  FreeDiffusionRows(rows);
  const auto bytes = width > 0 ? CheckedBytes(static_cast<std::uint64_t>(width) + 2, 3) : std::nullopt;
  if (!bytes) return false;
  rows.block = static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes));
  if (!rows.block) return false;
  rows.width = width;
  return true;
}

void FreeDiffusionRows(DiffusionRows& rows) {
  if (rows.block) GlobalFree(rows.block);
  rows = DiffusionRows{};
}

bool DiffuseError(const DiffusionContext& context, const DensityImage& src, const BandBuffer& band, const PdevRect& target) {
  if (!src.data || src.width <= 0 || src.height <= 0 || src.stride < src.width || !band.bits || band.stride <= 0 ||
      band.rows <= 0)
    return true;
  const TargetSpan cols = SpanOf(target.left, target.right, band.stride * 8LL);
  const TargetSpan rows = SpanOf(target.top, target.bottom, band.rows);
  if (cols.empty() || rows.empty()) return true;
  const std::int64_t T = cols.size;
  DiffusionRows* kept = context.rows;
  if (kept && kept->width != T) return false;
  const auto errorBytes = CheckedBytes(static_cast<std::uint64_t>(T) + 2, 2);
  const auto allBytes = errorBytes ? CheckedBytes(*errorBytes + static_cast<std::uint64_t>(T), 1) : std::nullopt;
  Scratch block(kept ? std::nullopt : allBytes);
  BYTE* memory = kept ? kept->block : block.data();
  if (!memory) return false;
  const std::size_t rowWidth = static_cast<std::size_t>(T) + 2;
  std::int8_t* first = reinterpret_cast<std::int8_t*>(memory);
  const bool previousFirst = !kept || kept->previousFirst;
  Rows err{previousFirst ? first : first + rowWidth, previousFirst ? first + rowWidth : first};
  BYTE* ink = memory + 2 * rowWidth;
  const std::int64_t startRow = kept ? kept->nextRow : 0;
  const bool picturesFirstRows = startRow == 0;

  const Sampler colSample(src.width, T);
  const Sampler rowSample(src.height, rows.size);
  const auto sourceRow = [&](LONG index) { return src.Row(index); };
  const bool paired = context.resolutionMode == 2 && !context.ontoMask;
  const bool pairColumns = paired && context.orientation != 90;
  const bool pairRows = paired && context.orientation == 90;
  const LONG lastRow = rows.last;  // rows below the buffer change nothing written

  // Interlaced carry: does this band continue the saved one?
  DiffusionCarry* carry = pairRows ? context.carry : nullptr;
  const auto keyOf = [&](const PdevRect& r) {
    if (carry && carry->kind == 2) return PdevRect{r.left + band.origin.x, r.top + band.origin.y, r.right + band.origin.x, r.bottom + band.origin.y};
    return r;
  };
  const PdevRect key = kept && !picturesFirstRows ? kept->key : keyOf(target);
  if (kept && picturesFirstRows) kept->key = key;
  const auto rowParityOdd = [&](LONG y) { return ((std::int64_t{context.pageHeight} + band.origin.y + y) & 1) != 0; };
  const BYTE* continued = nullptr;
  if (picturesFirstRows && carry && carry->row && carry->size == static_cast<std::uint32_t>(src.width) && rowParityOdd(target.top) &&
      key.top == carry->saved.bottom + 1 && key.left == carry->saved.left && key.right == carry->saved.right)
    continued = carry->row;

  for (LONG y = static_cast<LONG>(target.top + startRow); y <= lastRow; ++y) {
    const std::int64_t j = std::int64_t{y} - target.top;
    const LONG srcIndex = rowSample.At(j);
    const BYTE* own = sourceRow(srcIndex);
    if (pairRows) {
      const bool odd = rowParityOdd(y);
      if (odd && j > 0) {  // the second row of a pair repeats the first
        if (y >= 0) StoreRow(band.bits + static_cast<std::ptrdiff_t>(y) * band.stride, ink, cols.first, cols.last, target.left);
        continue;
      }
      const BYTE* other = odd ? (continued ? continued : own) : srcIndex + 1 < src.height ? sourceRow(srcIndex + 1) : own;
      SampleWalker walk = colSample.Walk(0);
      for (std::int64_t k = 0; k < T; ++k) {
        const LONG s = walk.Next();
        const int d = (own[s] + other[s]) / 2;
        const std::size_t i = static_cast<std::size_t>(k) + 1;
        ink[k] = Decide(d - Pull6(err.current[i - 1], err.previous[i], err.previous[i - 1], err.previous[i + 1]), err.current[i]);
      }
    } else if (pairColumns) {
      const int parity0 = static_cast<int>((std::int64_t{band.origin.x} + target.left) & 1);
      SampleWalker walk = colSample.Walk(0);
      for (std::int64_t k = 0; k < T; ++k) {
        const LONG s = walk.Next();
        const bool oddColumn = ((k + parity0) & 1) != 0;
        if (oddColumn && k > 0) {  // takes its pair's decision
          ink[k] = ink[k - 1];
          continue;
        }
        const bool cut = oddColumn || k == T - 1;
        const int d = cut || s + 1 >= src.width ? own[s] : (own[s] + own[s + 1]) / 2;
        const std::size_t slot = static_cast<std::size_t>((k + parity0) / 2) + 1;
        ink[k] = Decide(d - Pull6(err.current[slot - 1], err.previous[slot], err.previous[slot - 1], err.previous[slot + 1]),
                        err.current[slot]);
      }
    } else if (src.width == T) {
      DiffuseRow(own, err.previous, err.current, ink, T, [](std::int64_t k) { return k; });
    } else {
      SampleWalker walk = colSample.Walk(0);
      DiffuseRow(own, err.previous, err.current, ink, T, [&walk](std::int64_t) { return walk.Next(); });
    }
    err.Advance(rowWidth);
    if (y >= 0) StoreRow(band.bits + static_cast<std::ptrdiff_t>(y) * band.stride, ink, cols.first, cols.last, target.left);
  }
  if (kept) {
    kept->nextRow = std::max<std::int64_t>(startRow, std::int64_t{lastRow} - target.top + 1);
    kept->previousFirst = err.previous == first;
  }

  // A band ending on the first row of a pair leaves its last source row to
  // the next band; any other end drops what was saved.
  if (carry) {
    const bool endsOnFirstOfPair = !rowParityOdd(target.bottom) && target.bottom == rows.last;
    FreeDiffusionCarry(*carry);
    if (endsOnFirstOfPair && carry->kind != 0) {
      BYTE* copy = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, static_cast<std::size_t>(src.width)));
      if (copy) {
        std::memcpy(copy, sourceRow(rowSample.At(rows.size - 1)), static_cast<std::size_t>(src.width));
        carry->row = copy;
        carry->size = static_cast<std::uint32_t>(src.width);
        carry->saved = key;
      }
    }
  }
  return true;
}

}  // namespace imaging
