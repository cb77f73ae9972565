// The copy of both planes kept while a PATINVERT idiom is open.
#include "planes/work_buffers.h"

void FreeSavedPlanes(RenderPdev* pdev) {
  if (pdev->drawing.savedPlanes) GlobalFree(pdev->drawing.savedPlanes);
  pdev->drawing.savedPlanes = nullptr;
}
