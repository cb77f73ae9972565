// Calls of the document entries into the image and clip state of the
// drawing paths. Until those paths exist nothing can be pending or kept, so
// each of these does nothing; the owners of the clip list, the image band
// cache and the image blit path replace their routine here with the real one.
#pragma once

#include "render/pdev_record.h"

// Empties the clip-rectangle list of the sheet.
void ClearClipRectList(RenderPdev* pdev);
// Frees the image, screen and scratch buffers of a surface.
void FreeImageBuffers(RenderPdev* pdev);
// Flushes the pending picture of the image band cache (flag 0x40) into the
// drum 2 plane when the image separation mode is not 0, else into the drum 1
// plane, through FlushOrMergeImage without an image strip. TRUE on success.
BOOL FlushPendingImage(RenderPdev* pdev);
// Frees the kept copy of a transparent image.
void FreeKeptTransparentImage(RenderPdev* pdev);
// The image parameter block of a new document.
void PrepareImageParameters(RenderPdev* pdev);
