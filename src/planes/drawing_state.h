// State that the drawing paths and the image paths share in the device
// record: the image cache's operation and picture bytes, the palette's ink
// table, the picture rectangle and the clip rectangles of the pending picture.
// Included by pdev_record.h (include that header, not this one); the
// routines on this state are declared in planes/plane_ops.h.
#pragma once

#include <cstdint>

#include "planes/blit_states.h"
#include "planes/rect_ops.h"
#include "planes/rop_names.h"

struct DocSettings;

// (density, plate) of one colour: density 0 no ink .. 255 full ink, plate 1
// (drum 1) or 2 (drum 2).
struct InkDensityPair {
  std::uint8_t density;
  std::uint8_t plate;
};

// One clip rectangle of the pending picture, inclusive and cut to its blit's
// target. nothingToBlank is 1 when the area needs no whitening before the
// picture is put down (a blit that is not a copy, or already whitened).
struct ClipRectEntry {
  PdevRect rect;
  std::uint8_t nothingToBlank;
};

// The clip rectangles of the pending picture. entries is a global-heap array
// of capacity entries, of which count are used; freed by ClearClipRectList.
struct ClipRectList {
  ClipRectEntry* entries;
  std::uint32_t count;
  std::uint32_t capacity;
  std::uint32_t blitFirst;  // first entry of the current blit: the count before the latest addition
  std::uint32_t pictureFirst;  // first and last entry of the pending picture
  std::uint32_t pictureLast;
};

// Values of the operation byte.
inline constexpr std::uint8_t kOperationIdle = 0;
inline constexpr std::uint8_t kOperationBrushOrMask = 1;  // a brush, a mask or a single-level band
inline constexpr std::uint8_t kOperationMerging = 2;
inline constexpr std::uint8_t kOperationDirect = 3;

// The shared block of the device record (RenderPdev::shared). Besides it the
// two tracks share fields the record already had: the caching switch
// (imageCaching), the flipped flag, source ids, clip complexities and ROP4
// history, the target and other plane (drawing), and the blit state (image).
// One set of fields serves the raster history and the image cache:
// image.operationRect is also the cache's merged rectangle, image.earlierRect
// its last strip rectangle and image.earlierRop4 its last-flush ROP4.
// Imaging-private state (cache records, screens, grid, maps) sits behind the
// image pointers, freed by FreeImageBuffers.
struct SharedDrawingState {
  std::uint8_t operation;  // kOperation*
  std::uint8_t pictureFlag;  // 1 a picture with several levels and caching allowed
  std::uint8_t blackWhiteSource;  // a 1-bpp black-and-white source is being converted
  InkDensityPair paletteInk[256];  // filled by PaletteToInkDensity
  PdevRect pictureRect;  // page rectangle of the picture being rendered
  ClipRectList clipRects;
};

// Image settings outside the ranges the image paths index by are replaced
// before the device takes them: Contrast outside 1..7 and Akarusa above 7
// become 4, Gyakkou above 5 becomes 5, a separation mode above 17 becomes 0.
void BoundImageSettings(DocSettings& s);
