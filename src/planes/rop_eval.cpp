// The ternary raster-operation interpreter: a ROP's reverse-Polish name run
// on one plane with the source band, the pattern and two work buffers.
#include <limits>

#include "planes/plane_ops.h"
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
  Interpreter run{pdev, clip, target, dest, stride, band, bandRect, bandStride, pattern, patternSize, {work, temp}};
  return run.Run(name, nameLength) ? TRUE : FALSE;
}
