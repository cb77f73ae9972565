// The shared drawing state's own routines: the settings bounds and the clip
// rectangle list's release.
#include "planes/pdev_record.h"
#include "planes/plane_ops.h"
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
