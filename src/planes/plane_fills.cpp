// ROP2 pattern fills on one or two ink planes, and the rectangle kernels.
#include "planes/plane_ops.h"
#include "plat/engine_draw.h"

#include <algorithm>
#include <utility>

namespace {

// ROP3 bytes the raster-operation engine hands over, as their ROP2.
int Rop2Of(ULONG rop) {
  switch (Rop3Of(rop)) {
    case kRop3Dest: return R2_NOP;
    case kRop3PatInvert: return R2_XORPEN;
    case kRop3PatAnd: return R2_MASKPEN;
    case kRop3PatCopy: return R2_COPYPEN;
    default: return static_cast<int>(Rop3Of(rop));
  }
}

// The rect cut to the device's plane; left and top at least 0 in any case.
PdevRect CutToPlane(const RenderPdev* pdev, PdevRect r) {
  r.left = std::max(r.left, 0);
  r.top = std::max(r.top, 0);
  if (pdev) {
    r.right = std::min(r.right, pdev->planeWidth - 1);
    r.bottom = std::min(r.bottom, pdev->planeHeight - 1);
  }
  return r;
}

bool Empty(const PdevRect& r) { return r.right < r.left || r.bottom < r.top; }

// Walks the rows of a rect with the pattern: op(d, p, o) is called for every
// byte (o the other plane's byte, or null) with the mask of the bits it may
// change. Middle bytes get mask 0xFF.
template <typename Op>
void WalkRect(const PdevRect& r, BYTE* target, BYTE* other, LONG stride, const BYTE* pattern, SIZEL size,
              Op op) {
  const int patternBytes = size.cx / 8;
  const int first = r.left / 8;
  const int last = r.right / 8;
  const BYTE firstMask = static_cast<BYTE>(0xFF >> (r.left % 8));
  const BYTE lastMask = static_cast<BYTE>(0xFF << (7 - r.right % 8));
  for (std::int32_t y = r.top; y <= r.bottom; ++y) {
    BYTE* d = target + static_cast<std::ptrdiff_t>(y) * stride;
    BYTE* o = other ? other + static_cast<std::ptrdiff_t>(y) * stride : nullptr;
    const BYTE* p = pattern + static_cast<std::ptrdiff_t>(y % size.cy) * patternBytes;
    int j = first % patternBytes;
    if (first == last) {
      op(d + first, p[j], o ? o + first : nullptr, static_cast<BYTE>(firstMask & lastMask));
      continue;
    }
    op(d + first, p[j], o ? o + first : nullptr, firstMask);
    if (++j == patternBytes) j = 0;
    if (patternBytes == 1) {
      const BYTE pv = p[0];
      for (int x = first + 1; x < last; ++x) op(d + x, pv, o ? o + x : nullptr, BYTE{0xFF});
    } else {
      for (int x = first + 1; x < last; ++x) {
        op(d + x, p[j], o ? o + x : nullptr, BYTE{0xFF});
        if (++j == patternBytes) j = 0;
      }
    }
    op(d + last, p[j], o ? o + last : nullptr, lastMask);
  }
}

inline void Put(BYTE* at, BYTE value, BYTE mask) { *at = static_cast<BYTE>((*at & ~mask) | (value & mask)); }

// One plane: the target's new byte from D and P.
template <typename F>
void OnePlane(const PdevRect& r, BYTE* plane, LONG stride, const BYTE* pattern, SIZEL size, F f) {
  WalkRect(r, plane, nullptr, stride, pattern, size, [&](BYTE* d, BYTE p, BYTE*, BYTE m) {
    Put(d, f(*d, p), m);
  });
}

// Two planes: f(D, P, O) gives the pair {target, other}.
template <typename F>
void TwoPlanes(const PdevRect& r, BYTE* target, BYTE* other, LONG stride, const BYTE* pattern, SIZEL size,
               F f) {
  WalkRect(r, target, other, stride, pattern, size, [&](BYTE* d, BYTE p, BYTE* o, BYTE m) {
    const auto [nd, no] = f(*d, p, *o);
    Put(d, nd, m);
    Put(o, no, m);
  });
}

BYTE Not(unsigned v) { return static_cast<BYTE>(~v); }
BYTE B(unsigned v) { return static_cast<BYTE>(v); }

// The target byte of each ROP2.
template <typename Run>
void WithTargetOp(int rop2, Run run) {
  switch (rop2) {
    case R2_BLACK: run([](BYTE, BYTE) { return BYTE{0}; }); break;
    case R2_NOTMERGEPEN: run([](BYTE d, BYTE p) { return Not(d | p); }); break;
    case R2_MASKNOTPEN: run([](BYTE d, BYTE p) { return B(d & ~p); }); break;
    case R2_NOTCOPYPEN: run([](BYTE, BYTE p) { return Not(p); }); break;
    case R2_MASKPENNOT: run([](BYTE d, BYTE p) { return B(~d & p); }); break;
    case R2_NOT: run([](BYTE d, BYTE) { return Not(d); }); break;
    case R2_XORPEN: run([](BYTE d, BYTE p) { return B(d ^ p); }); break;
    case R2_NOTMASKPEN: run([](BYTE d, BYTE p) { return Not(d & p); }); break;
    case R2_MASKPEN: run([](BYTE d, BYTE p) { return B(d & p); }); break;
    case R2_NOTXORPEN: run([](BYTE d, BYTE p) { return Not(d ^ p); }); break;
    case R2_MERGENOTPEN: run([](BYTE d, BYTE p) { return B(~p | d); }); break;
    case R2_COPYPEN: run([](BYTE, BYTE p) { return p; }); break;
    case R2_MERGEPENNOT: run([](BYTE d, BYTE p) { return B(~d | p); }); break;
    case R2_MERGEPEN: run([](BYTE d, BYTE p) { return B(d | p); }); break;
    case R2_WHITE: run([](BYTE, BYTE) { return BYTE{0xFF}; }); break;
    default: break;  // R2_NOP and unknown codes change nothing
  }
}

// What the other plane of a two-ink sheet does under a ROP2 whose rule does
// not depend on the device state.
enum class OtherRule { kWhite, kInk, kInvert, kKeep };

OtherRule FixedOtherRule(int rop2) {
  switch (rop2) {
    case R2_BLACK: case R2_MERGEPEN: case R2_WHITE: return OtherRule::kWhite;
    case R2_NOTMERGEPEN: case R2_MASKNOTPEN: case R2_NOTCOPYPEN: return OtherRule::kInk;
    case R2_MASKPENNOT: case R2_NOT: case R2_NOTMASKPEN: return OtherRule::kInvert;
    default: return OtherRule::kKeep;
  }
}

template <typename F>
void WithOtherRule(OtherRule rule, F f) {
  switch (rule) {
    case OtherRule::kWhite: f([](BYTE) { return BYTE{0xFF}; }); break;
    case OtherRule::kInk: f([](BYTE) { return BYTE{0}; }); break;
    case OtherRule::kInvert: f([](BYTE o) { return Not(o); }); break;
    case OtherRule::kKeep: f([](BYTE o) { return o; }); break;
  }
}

void FillTwoPlanes(RenderPdev* pdev, const PdevRect& r, BYTE* target, BYTE* other, LONG stride, const BYTE* pattern,
                   SIZEL size, int rop2) {
  const PdevDrawState& ds = pdev->drawing;
  const int graphicsMode = pdev->separationModes[1];
  const bool keep = ds.keepOtherPlane != 0;
  if (rop2 == R2_XORPEN) {
    if (graphicsMode >= 2 && ds.rop4 == kRop4PatInvert && !keep) {
      TwoPlanes(r, target, other, stride, pattern, size, [](BYTE d, BYTE p, BYTE o) {
        const BYTE t = B((d & o) ^ p);
        return std::pair<BYTE, BYTE>{t, B(~o | t)};
      });
      return;
    }
    const bool invert = ds.rop4 == kRop4PatInvert && (graphicsMode >= 2 ? keep : !keep);
    WithOtherRule(invert ? OtherRule::kInvert : OtherRule::kKeep, [&](auto otherOp) {
      TwoPlanes(r, target, other, stride, pattern, size,
                [&](BYTE d, BYTE p, BYTE o) { return std::pair<BYTE, BYTE>{B(d ^ p), otherOp(o)}; });
    });
    return;
  }
  if (rop2 == R2_MASKPEN) {
    const bool mask = ds.maskIdiom != 0;
    if (mask && ds.previousRop4 == kRop4PatInvert && graphicsMode <= 1) {
      TwoPlanes(r, target, other, stride, pattern, size,
                [](BYTE d, BYTE p, BYTE o) { return std::pair<BYTE, BYTE>{B(d & p), B(~p | o)}; });
    } else if (mask) {
      TwoPlanes(r, target, other, stride, pattern, size,
                [](BYTE d, BYTE p, BYTE o) { return std::pair<BYTE, BYTE>{B(d & p), B(p & o)}; });
    } else {
      WithOtherRule(keep ? OtherRule::kWhite : OtherRule::kKeep, [&](auto otherOp) {
        TwoPlanes(r, target, other, stride, pattern, size,
                  [&](BYTE d, BYTE p, BYTE o) { return std::pair<BYTE, BYTE>{B(d & p), otherOp(o)}; });
      });
    }
    return;
  }
  OtherRule rule = FixedOtherRule(rop2);
  if (rop2 == R2_COPYPEN && IsPluginPdev(pdev)) {
    // The plug-in copies the pattern to both planes while the other plane is
    // kept in the separating image modes, and whitens it otherwise.
    if (keep && pdev->separationModes[2] >= 2) {
      OnePlane(r, target, stride, pattern, size, [](BYTE, BYTE p) { return p; });
      OnePlane(r, other, stride, pattern, size, [](BYTE, BYTE p) { return p; });
      return;
    }
    rule = OtherRule::kWhite;
  } else if (rop2 == R2_COPYPEN && !keep) {
    rule = OtherRule::kWhite;
  }
  // The other plane's change does not depend on the target: two plain passes.
  WithTargetOp(rop2, [&](auto targetOp) { OnePlane(r, target, stride, pattern, size, targetOp); });
  if (rule == OtherRule::kKeep) return;
  WithOtherRule(rule, [&](auto otherOp) {
    OnePlane(r, other, stride, pattern, size, [&](BYTE o, BYTE) { return otherOp(o); });
  });
}

bool UsablePattern(const BYTE* pattern, SIZEL size) {
  return pattern != nullptr && size.cx > 0 && size.cx % 8 == 0 && size.cy > 0;
}

// Sets, clears or inverts the bits of a rect.
template <typename F>
void SolidRect(BYTE* plane, const PdevRect& r, LONG stride, F f) {
  static constexpr BYTE kNoPattern[1] = {0};
  WalkRect(r, plane, nullptr, stride, kNoPattern, SIZEL{8, 1},
           [&](BYTE* d, BYTE, BYTE*, BYTE m) { Put(d, f(*d), m); });
}

}  // namespace

BOOL Rop2FillRect(RenderPdev* pdev, const PdevRect& rect, BYTE* plane, LONG stride, const BYTE* pattern,
                  SIZEL size, ULONG rop) {
  const PdevRect r = CutToPlane(pdev, rect);
  if (Empty(r) || !plane || !UsablePattern(pattern, size)) return TRUE;
  WithTargetOp(Rop2Of(rop), [&](auto op) { OnePlane(r, plane, stride, pattern, size, op); });
  return TRUE;
}

BOOL Rop2FillPlanes(RenderPdev* pdev, const PdevRect& rect, BYTE* target, LONG stride, const BYTE* pattern,
                    SIZEL size, ULONG rop) {
  BYTE* other = pdev ? pdev->drawing.otherPlane : nullptr;
  if (!pdev || !other || other == target) return Rop2FillRect(pdev, rect, target, stride, pattern, size, rop);
  const PdevRect r = CutToPlane(pdev, rect);
  if (Empty(r) || !target || !UsablePattern(pattern, size)) return TRUE;
  FillTwoPlanes(pdev, r, target, other, stride, pattern, size, Rop2Of(rop));
  return TRUE;
}

BOOL FillRectInk(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride) {
  rect = CutToPlane(pdev, rect);
  if (!Empty(rect) && plane) SolidRect(plane, rect, stride, [](BYTE) { return BYTE{0}; });
  return TRUE;
}

BOOL FillRectWhite(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride) {
  rect = CutToPlane(pdev, rect);
  if (!Empty(rect) && plane) SolidRect(plane, rect, stride, [](BYTE) { return BYTE{0xFF}; });
  return TRUE;
}

BOOL InvertRect(RenderPdev* pdev, BYTE* plane, PdevRect& rect, LONG stride) {
  if (pdev) rect = CutToPlane(pdev, rect);
  if (!Empty(rect) && plane && rect.left >= 0 && rect.top >= 0) SolidRect(plane, rect, stride, [](BYTE d) {
    return Not(d);
  });
  return TRUE;
}

BOOL DrawLine(RenderPdev* pdev, BYTE* target, LONG x1, LONG y1, LONG x2, LONG y2, LONG width, LONG stride,
              const BYTE* pattern, SIZEL size, ULONG rop) {
  if (x2 < x1) {
    std::swap(x1, x2);
    std::swap(y1, y2);
  }
  // 64-bit spans: end points may lie anywhere in the 32-bit range.
  const std::int64_t columns = std::int64_t{x2} - x1 + 1;
  const std::int64_t rows = (y2 > y1 ? std::int64_t{y2} - y1 : std::int64_t{y1} - y2) + 1;
  auto square = [&](std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b) {
    auto clamp = [](std::int64_t v) {
      return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
    };
    Rop2FillPlanes(pdev, PdevRect{clamp(l), clamp(t), clamp(r), clamp(b)}, target, stride, pattern, size, rop);
  };
  if (rows == 1) {
    square(x1, y1, std::int64_t{x2} + 1, std::int64_t{y1} + width - 1);
    return TRUE;
  }
  if (columns == 1) {
    square(x1, std::min(y1, y2), std::int64_t{x1} + width - 1, std::int64_t{std::max(y1, y2)} + 1);
    return TRUE;
  }
  const std::int64_t q = rows / columns;
  const std::int64_t rem = rows % columns;
  std::int64_t error = rem / 2;
  const int step = y1 < y2 ? 1 : -1;
  std::int64_t x = x1;
  std::int64_t y = y1;
  const std::int64_t xEnd = pdev ? std::min<std::int64_t>(x2, pdev->planeWidth) : x2;
  for (; x <= xEnd; ++x) {
    error += rem;
    std::int64_t run = q;
    if (error > columns) {
      ++run;
      error -= columns;
    }
    square(x, y, x + width - 1, y + width - 1);
    for (std::int64_t i = 0; i < run; ++i) {
      y += step;
      if (y >= 0 && y + width - 1 >= 0) square(x, y, x + width - 1, y + width - 1);
    }
    // Past the plane in the direction of travel nothing more can land.
    if (pdev && ((step > 0 && y >= pdev->planeHeight) || (step < 0 && y + width - 1 < 0))) break;
  }
  return TRUE;
}
