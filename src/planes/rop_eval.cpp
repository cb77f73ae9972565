// The ternary raster-operation interpreter: a ROP's reverse-Polish name run
// on one plane with the source band, the pattern and two work buffers.
#include <cstring>
#include <limits>
#include <vector>

#include "planes/plane_ops.h"
#include "planes/rop_names.h"
#include "planes/work_buffers.h"

namespace {

// ROP2 codes of the pattern steps.
constexpr ULONG kRop2NotCopyPen = 4;
constexpr ULONG kRop2XorPen = 7;
constexpr ULONG kRop2MaskPen = 9;
constexpr ULONG kRop2CopyPen = 13;
constexpr ULONG kRop2MergePen = 15;

LONG WorkStride(const PdevRect& dest) {
  const std::int64_t first = dest.left >= 0 ? dest.left / 8 : -((-static_cast<std::int64_t>(dest.left) + 7) / 8);
  const std::int64_t bytes = dest.right / 8 - first + 1;
  return static_cast<LONG>(AlignTo4(bytes));
}

template <RowOp op>
inline BYTE Combined(BYTE d, BYTE s) {
  switch (op) {
    case RowOp::And: return static_cast<BYTE>(d & s);
    case RowOp::Or: return static_cast<BYTE>(d | s);
    case RowOp::Xor: return static_cast<BYTE>(d ^ s);
    case RowOp::Copy: return s;
    case RowOp::CopyInverted: return static_cast<BYTE>(~s);
  }
  return d;
}

// The page-anchored pattern combined into a buffer over dest: edge bytes
// masked, whole bytes between them combined plainly.
template <RowOp op>
void CombinePatternAs(const BitView& view, const PdevRect& dest, const BYTE* pattern, SIZEL size) {
  const std::int64_t patternBytes = (size.cx + 7) / 8;
  const std::int64_t first = dest.left / 8, last = dest.right / 8, viewByte = view.originX / 8;
  const BYTE firstMask = static_cast<BYTE>(0xFF >> (dest.left & 7));
  const BYTE lastMask = static_cast<BYTE>(0xFF << (7 - (dest.right & 7)));
  auto masked = [](BYTE& d, BYTE s, BYTE mask) {
    d = static_cast<BYTE>((d & ~mask) | (Combined<op>(d, s) & mask));
  };
  for (std::int64_t y = dest.top; y <= dest.bottom; ++y) {
    const BYTE* p = pattern + (y % size.cy) * patternBytes;
    BYTE* d = view.bits + (y - view.originY) * static_cast<std::int64_t>(view.stride) - viewByte;
    if (first == last) {
      masked(d[first], p[first % patternBytes], static_cast<BYTE>(firstMask & lastMask));
      continue;
    }
    masked(d[first], p[first % patternBytes], firstMask);
    if (patternBytes == 1) {
      const BYTE s = p[0];
      for (std::int64_t k = first + 1; k < last; ++k) d[k] = Combined<op>(d[k], s);
    } else {
      std::int64_t pk = (first + 1) % patternBytes;
      for (std::int64_t k = first + 1; k < last; ++k) {
        d[k] = Combined<op>(d[k], p[pk]);
        if (++pk == patternBytes) pk = 0;
      }
    }
    masked(d[last], p[last % patternBytes], lastMask);
  }
}

void CombinePattern(const BitView& view, const PdevRect& dest, const BYTE* pattern, SIZEL size, RowOp op) {
  switch (op) {
    case RowOp::And: return CombinePatternAs<RowOp::And>(view, dest, pattern, size);
    case RowOp::Or: return CombinePatternAs<RowOp::Or>(view, dest, pattern, size);
    case RowOp::Xor: return CombinePatternAs<RowOp::Xor>(view, dest, pattern, size);
    case RowOp::Copy: return CombinePatternAs<RowOp::Copy>(view, dest, pattern, size);
    case RowOp::CopyInverted: return CombinePatternAs<RowOp::CopyInverted>(view, dest, pattern, size);
  }
}

// PSDPxax, the pattern where the source is 0, in one pass: ((D ^ P) & S) ^ P
// into the plane row by row through the clip, a pattern wider than a byte
// through a row buffer of the aligned source. Drawing a dot twice leaves it
// as drawing it once, so clip rectangles that overlap by a dot come out as
// the copy of a work buffer would leave them.
void PatSelectInOnePass(RenderPdev* pdev, CLIPOBJ* clip, BYTE* target, const PdevRect& dest, LONG stride,
                        const BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* pattern,
                        SIZEL size) {
  const std::int64_t patternBytes = (size.cx + 7) / 8;
  const std::int64_t bandRows = RectHeight(bandRect);
  std::vector<BYTE> row(static_cast<std::size_t>(dest.right / 8 - dest.left / 8 + 1));
  auto part = [&](PdevRect d) {
    d.left = std::max<LONG>(d.left, 0), d.top = std::max<LONG>(d.top, 0);
    d.right = std::min<LONG>(d.right, pdev->planeWidth - 1);
    d.bottom = std::min<LONG>(d.bottom, pdev->planeHeight - 1);
    d.bottom = static_cast<LONG>(std::min<std::int64_t>(d.bottom, dest.top + bandRows - 1));
    if (RectIsEmpty(d)) return;
    const std::int64_t first = d.left / 8, last = d.right / 8;
    const BYTE firstMask = static_cast<BYTE>(0xFF >> (d.left & 7));
    const BYTE lastMask = static_cast<BYTE>(0xFF << (7 - (d.right & 7)));
    const LONG srcLeft = bandRect.left + (d.left - dest.left), srcRight = bandRect.left + (d.right - dest.left);
    const BitView aligned{row.data(), static_cast<LONG>(row.size()), static_cast<LONG>(first * 8), 0};
    for (LONG y = d.top; y <= d.bottom; ++y) {
      const LONG srcRow = bandRect.top + (y - dest.top);
      const BYTE* p = pattern + (y % size.cy) * patternBytes;
      if (patternBytes == 1) {
        SelectRowsByPattern(BitView{target, stride, 0, 0}, PdevRect{d.left, y, d.right, y}, band,
                            PdevRect{srcLeft, srcRow, srcRight, srcRow}, bandStride, p[0]);
        continue;
      }
      CombineRows(aligned, PdevRect{d.left, 0, d.right, 0}, band, PdevRect{srcLeft, srcRow, srcRight, srcRow},
                  bandStride, RowOp::Copy);
      const BYTE* s = row.data() - first;
      BYTE* t = target + y * static_cast<std::int64_t>(stride);
      auto masked = [&](std::int64_t k, BYTE mask) {
        const BYTE pk = p[k % patternBytes];
        const BYTE v = static_cast<BYTE>(((t[k] ^ pk) & s[k]) ^ pk);
        t[k] = static_cast<BYTE>((t[k] & ~mask) | (v & mask));
      };
      if (first == last) {
        masked(first, static_cast<BYTE>(firstMask & lastMask));
        continue;
      }
      masked(first, firstMask);
      for (std::int64_t k = first + 1; k < last; ++k) masked(k, 0xFF);
      masked(last, lastMask);
    }
  };
  if (!clip || clip->iDComplexity == DC_TRIVIAL) return part(dest);
  if (clip->iDComplexity == DC_RECT) {
    PdevRect d;
    RectIntersect(dest, InclusiveRect(clip->rclBounds), d);
    if (!RectIsEmpty(d)) part(d);
    return;
  }
  // As ForEachClipRectWithSource: picture mode takes each rectangle one dot wider and taller.
  const LONG grow = pdev->photoMode != 0 ? 0 : 1;
  ForEachEnumeratedClipRect(clip, [&](const RECTL& r) {
    PdevRect d;
    RectIntersect(dest, PdevRect{r.left, r.top, r.right - grow, r.bottom - grow}, d);
    if (!RectIsEmpty(d)) part(d);
  });
}

struct Interpreter {
  RenderPdev* pdev;
  CLIPOBJ* clip;
  BYTE* target;
  PdevRect dest;
  LONG stride;
  const BYTE* band;
  PdevRect bandRect;
  LONG bandStride;
  const BYTE* pattern;
  SIZEL patternSize;
  BYTE* buffers[2];  // W, T
  bool inUse[2] = {false, false};

  static int BufferIndex(char c) { return c == 'W' ? 0 : c == 'T' ? 1 : -1; }

  bool HavePattern() const { return pattern && patternSize.cx > 0 && patternSize.cy > 0; }

  // The rows of an operand as a row-kernel source over dest.
  bool Source(char c, const BYTE*& bits, PdevRect& rect, LONG& rowStride) const {
    switch (c) {
      case 'S':
        if (!band) return false;
        bits = band, rect = bandRect, rowStride = bandStride;
        return true;
      case 'D':
        bits = target, rect = dest, rowStride = stride;
        return true;
      case 'W':
      case 'T': {
        const BitView v = WorkBufferView(buffers[BufferIndex(c)], dest);
        bits = v.bits, rowStride = v.stride;
        rect = PdevRect{dest.left - v.originX, 0, dest.right - v.originX, dest.bottom - dest.top};
        return true;
      }
      default: return false;
    }
  }

  static RowOp OpOf(char op) { return op == 'a' ? RowOp::And : op == 'o' ? RowOp::Or : RowOp::Xor; }
  static ULONG Rop2Of(char op) { return op == 'a' ? kRop2MaskPen : op == 'o' ? kRop2MergePen : kRop2XorPen; }
  static RowKernel KernelOf(RowOp op) {
    switch (op) {
      case RowOp::And: return AndRowsIntoPlane;
      case RowOp::Or: return OrRowsIntoPlane;
      case RowOp::Xor: return XorRowsIntoPlane;
      case RowOp::Copy: return CopyRowsShifted;
      case RowOp::CopyInverted: return CopyRowsInverted;
    }
    return nullptr;
  }

  // Operand c combined into the plane through the clip.
  bool IntoPlane(char c, RowOp op, ULONG rop2) {
    if (c == 'P') {
      if (!HavePattern()) return false;
      ForEachDestPart(clip, dest, [&](const PdevRect& part) {
        Rop2FillPlanes(pdev, part, target, stride, pattern, patternSize, rop2);
      });
      return true;
    }
    const BYTE* bits;
    PdevRect rect;
    LONG rowStride;
    if (!Source(c, bits, rect, rowStride)) return false;
    return ForEachClipRectWithSource(pdev, target, dest, stride, bits, rect, rowStride, clip, KernelOf(op)) != FALSE;
  }

  // Operand c combined into work buffer index i over the whole destination.
  bool IntoBuffer(int i, char c, RowOp op) {
    const BitView view = WorkBufferView(buffers[i], dest);
    if (c == 'P') {
      if (!HavePattern()) return false;
      CombinePattern(view, dest, pattern, patternSize, op);
      return true;
    }
    const BYTE* bits;
    PdevRect rect;
    LONG rowStride;
    if (!Source(c, bits, rect, rowStride)) return false;
    CombineRows(view, dest, bits, rect, rowStride, op);
    return true;
  }

  int FreeBuffer() const {
    for (int i = 0; i < 2; ++i)
      if (!inUse[i] && buffers[i]) return i;
    return -1;
  }

  bool Run(const char* name, int length) {
    if (!name || length <= 0) return false;
    char stack[16];
    int depth = 0;
    for (int k = 0; k < length; ++k) {
      const char c = name[k];
      if (c == 'D' || c == 'P' || c == 'S') {
        if (depth == 16) return false;
        stack[depth++] = c;
      } else if (c == 'a' || c == 'o' || c == 'x') {
        if (depth < 2) return false;
        const char a = stack[depth - 2], b = stack[depth - 1];
        const RowOp op = OpOf(c);
        int acc = BufferIndex(a) >= 0 ? BufferIndex(a) : BufferIndex(b);
        if (acc >= 0) {
          const char other = BufferIndex(a) == acc ? b : a;
          if (!IntoBuffer(acc, other, op)) return false;
          if (BufferIndex(other) >= 0) inUse[BufferIndex(other)] = false;
        } else if (length == 3) {
          // The plane is the accumulator; PS names start from the source.
          const char first = a == 'P' ? b : a, second = a == 'P' ? a : b;
          if (first == 'S' && !IntoPlane('S', RowOp::Copy, 0)) return false;
          return IntoPlane(second, op, Rop2Of(c));
        } else {
          acc = FreeBuffer();
          if (acc < 0) return false;
          const char start = a == 'P' ? b : b == 'P' ? a : b;
          const char other = start == b ? a : b;
          if (!IntoBuffer(acc, start, RowOp::Copy) || !IntoBuffer(acc, other, op)) return false;
          inUse[acc] = true;
        }
        stack[--depth - 1] = acc == 0 ? 'W' : 'T';
      } else if (c == 'n') {
        if (depth < 1) return false;
        const char top = stack[depth - 1];
        if (BufferIndex(top) >= 0) {
          const BitView view = WorkBufferView(buffers[BufferIndex(top)], dest);
          PdevRect rect = dest;
          rect.left -= view.originX, rect.right -= view.originX, rect.top = 0, rect.bottom = dest.bottom - dest.top;
          InvertRect(nullptr, view.bits, rect, view.stride);
          continue;
        }
        if (length == 2) {
          if (top == 'P') return IntoPlane('P', RowOp::CopyInverted, kRop2NotCopyPen);
          if (top == 'S') return IntoPlane('S', RowOp::CopyInverted, 0);
          ForEachDestPart(clip, dest, [&](const PdevRect& part) {
            PdevRect r = part;
            InvertRect(pdev, target, r, stride);
          });
          return true;
        }
        const int acc = FreeBuffer();
        if (acc < 0 || !IntoBuffer(acc, top, RowOp::CopyInverted)) return false;
        inUse[acc] = true;
        stack[depth - 1] = acc == 0 ? 'W' : 'T';
      } else {
        return false;
      }
    }
    if (depth != 1) return false;
    switch (stack[0]) {
      case 'D': return true;
      case 'P': return IntoPlane('P', RowOp::Copy, kRop2CopyPen);
      default: return IntoPlane(stack[0], RowOp::Copy, 0);
    }
  }
};

}  // namespace

bool RopRunsInOnePass(const RenderPdev* pdev, const char* name, int nameLength, const BYTE* band,
                      const BYTE* pattern, SIZEL patternSize) {
  const char* patSelect = Rop3Name(kRop3PatSelect);
  return pdev && pdev->resolutionMode != 2 && band && pattern && patternSize.cx > 0 && patternSize.cy > 0 && name &&
         nameLength == static_cast<int>(std::strlen(patSelect)) && std::memcmp(name, patSelect, nameLength) == 0;
}

std::size_t WorkBufferBytes(const PdevRect& dest) {
  if (RectIsEmpty(dest)) return 0;
  const std::int64_t stride = WorkStride(dest);
  const std::int64_t rows = RectHeight(dest) + 5;
  if (stride <= 0 || rows > std::numeric_limits<std::int64_t>::max() / stride) return 0;
  return static_cast<std::size_t>(stride * rows);
}

BitView WorkBufferView(BYTE* buffer, const PdevRect& dest) {
  const LONG originByte = dest.left >= 0 ? dest.left / 8 : -((-dest.left + 7) / 8);
  return BitView{buffer, WorkStride(dest), originByte * 8, dest.top};
}

BOOL EvalRop3Rpn(RenderPdev* pdev, CLIPOBJ* clip, BYTE* target, const PdevRect& dest, LONG stride, const char* name,
                 int nameLength, const BYTE* band, const PdevRect& bandRect, LONG bandStride, const BYTE* pattern,
                 SIZEL patternSize, BYTE* work, BYTE* temp) {
  if (!target || RectIsEmpty(dest)) return name && nameLength > 0 ? TRUE : FALSE;
  if (RopRunsInOnePass(pdev, name, nameLength, band, pattern, patternSize)) {
    PatSelectInOnePass(pdev, clip, target, dest, stride, band, bandRect, bandStride, pattern, patternSize);
    return TRUE;
  }
  Interpreter run{pdev, clip, target, dest, stride, band, bandRect, bandStride, pattern, patternSize, {work, temp}};
  return run.Run(name, nameLength) ? TRUE : FALSE;
}
