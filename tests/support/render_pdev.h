// Device records the render tests make by hand, freed with what they hold.
#pragma once

#include <algorithm>
#include <memory>

#include "plat/files.h"
#include "render/command_stream.h"
#include "render/render_pdev.h"

namespace testsupport {

struct PdevDeleter {
  void operator()(RenderPdev* p) const {
    FreeOutputBuffer(p);
    if (p->jobFile != INVALID_HANDLE_VALUE && p->jobFile != nullptr) CloseHandle(p->jobFile);
    delete p;
  }
};
using PdevPtr = std::unique_ptr<RenderPdev, PdevDeleter>;

// Whether the dot at x, y of a plane is ink (a 0 bit).
inline bool InkAt(const BYTE* plane, LONG stride, LONG x, LONG y) {
  return (plane[static_cast<std::ptrdiff_t>(y) * stride + x / 8] & (0x80 >> (x % 8))) == 0;
}

// The ink dots of [left, right) x [top, bottom), cut to a width x height plane.
inline int InkCount(const BYTE* plane, LONG stride, LONG width, LONG height, LONG left, LONG top, LONG right,
                    LONG bottom) {
  left = std::max<LONG>(left, 0), top = std::max<LONG>(top, 0);
  right = std::min(right, width), bottom = std::min(bottom, height);
  int n = 0;
  for (LONG y = top; y < bottom; ++y)
    for (LONG x = left; x < right; ++x) n += InkAt(plane, stride, x, y);
  return n;
}

}  // namespace testsupport
