// The clip rectangles of the pending picture: grown as blits add theirs,
// emptied and freed by ClearClipRectList.
#include <algorithm>
#include <cstring>
#include <vector>

#include "planes/plane_ops.h"
#include "planes/row_kernels.h"

BOOL AddClipToClipRectList(RenderPdev* pdev, CLIPOBJ* clip) {
  ClipRectList& list = pdev->shared.clipRects;
  list.blitFirst = list.count;
  if (!clip) return TRUE;
  std::vector<PdevRect> added;
  if (clip->iDComplexity == DC_COMPLEX)
    ForEachEnumeratedClipRect(clip, [&](const RECTL& r) { added.push_back(InclusiveRect(r)); });
  else
    added.push_back(InclusiveRect(clip->rclBounds));
  const std::uint64_t needed = std::uint64_t{list.count} + added.size();
  if (needed > 0x0FFFFFFF) return FALSE;
  if (needed > list.capacity) {
    const std::uint32_t capacity = static_cast<std::uint32_t>(std::max<std::uint64_t>(needed, 2 * std::uint64_t{list.capacity}));
    auto* grown = static_cast<ClipRectEntry*>(GlobalAlloc(GMEM_FIXED, capacity * sizeof(ClipRectEntry)));
    if (!grown) return FALSE;
    if (list.entries) {
      std::memcpy(grown, list.entries, list.count * sizeof(ClipRectEntry));
      GlobalFree(list.entries);
    }
    list.entries = grown;
    list.capacity = capacity;
  }
  std::uint8_t nothingToBlank = Rop3Of(pdev->drawing.rop4) != kRop3SrcCopy ? 1 : 0;
  // The plug-in's complex clips of queued shadow-page work are whitened.
  if (IsPluginPdev(pdev) && clip->iDComplexity == DC_COMPLEX && pdev->plugin.kind != 0) nothingToBlank = 0;
  for (const PdevRect& r : added) list.entries[list.count++] = ClipRectEntry{r, nothingToBlank};
  return TRUE;
}

void ClearClipRectList(RenderPdev* pdev) {
  ClipRectList& list = pdev->shared.clipRects;
  if (list.entries) GlobalFree(list.entries);
  list = ClipRectList{};
}

BOOL ClipRectListIsEmpty(const RenderPdev* pdev) { return pdev->shared.clipRects.count == 0 ? TRUE : FALSE; }
