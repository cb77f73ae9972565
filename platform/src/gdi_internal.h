// Shared between the image loader (which owns bitmaps) and the DCs that draw
// on them.
#pragma once

#include <vector>

#include "plat/dialog.h"

namespace plat::internal {

// The pixels of a live 24-bit bitmap: rows of blue, green, red, stride bytes
// apart, bottom-up unless topDown. The pointer stays valid while the bitmap lives.
struct PixelView {
  LONG width = 0;
  LONG height = 0;
  LONG stride = 0;
  bool topDown = false;
  BYTE* bits = nullptr;
  BYTE* Row(LONG y) const { return bits + static_cast<std::size_t>(topDown ? y : height - 1 - y) * stride; }
};

bool BitmapPixels(HGDIOBJ bitmap, PixelView& out);
// An icon's or cursor's pixels (red, green, blue, alpha; rows top down);
// false for any other handle or one whose file gave no pixels.
bool IconPixels(HANDLE icon, LONG& width, LONG& height, std::vector<BYTE>& rgba);
std::size_t LiveBitmapCount();
// Brushes live in the DC part; DeleteObject hands them over.
bool DeleteBrush(HGDIOBJ brush);

}  // namespace plat::internal
