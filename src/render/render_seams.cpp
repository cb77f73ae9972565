// Placeholders of the drawing paths' state routines (see render_seams.h).
#include "render/render_seams.h"

void ClearClipRectList(RenderPdev*) {}
void FreeImageBuffers(RenderPdev*) {}
BOOL FlushPendingImage(RenderPdev*) { return TRUE; }
void FreeKeptTransparentImage(RenderPdev*) {}
void PrepareImageParameters(RenderPdev*) {}
