// The shared drawing state's own routines: the settings bounds, the clip
// rectangle list's release and the drawing entries' pending-image flush.
#include "imaging/image_entries.h"
#include "render/plane_ops.h"
#include "render/pdev_record.h"
#include "settings/doc_settings.h"

void BoundImageSettings(DocSettings& s) {
  if (s.Contrast < 1 || s.Contrast > 7) s.Contrast = 4;
  if (s.Akarusa > 7) s.Akarusa = 4;
  if (s.Gyakkou > 5) s.Gyakkou = 5;
  if (s.SeparationModeA > 17) s.SeparationModeA = 0;
  if (s.SeparationModeB > 17) s.SeparationModeB = 0;
}

void ClearClipRectList(RenderPdev* pdev) {
  ClipRectList& list = pdev->shared.clipRects;
  if (list.entries) GlobalFree(list.entries);
  list = ClipRectList{};
}

BOOL ClipRectListIsEmpty(const RenderPdev* pdev) { return pdev->shared.clipRects.count == 0 ? TRUE : FALSE; }

BOOL FlushImageIfPending(RenderPdev* pdev) {
  if (!(pdev->flags & kPdevImagePending)) return TRUE;
  BYTE* plane = OneInkPicturePlane(pdev, pdev->drum1Plane, pdev->drum2Plane);
  BOOL flushed = FlushOrMergeImage(pdev, plane, pdev->planeStride, nullptr, nullptr, nullptr, 0, nullptr, 0, 0);
  pdev->flags &= ~kPdevImagePending;
  return flushed;
}
