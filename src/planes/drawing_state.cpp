// The bounds of the image settings that the drawing state is built from.
#include "planes/drawing_state.h"
#include "settings/doc_settings.h"

void BoundImageSettings(DocSettings& s) {
  if (s.Contrast < 1 || s.Contrast > 7) s.Contrast = 4;
  if (s.Akarusa > 7) s.Akarusa = 4;
  if (s.Gyakkou > 5) s.Gyakkou = 5;
  if (s.SeparationModeA > 17) s.SeparationModeA = 0;
  if (s.SeparationModeB > 17) s.SeparationModeB = 0;
}
