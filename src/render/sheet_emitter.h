// The sheet emitter: turns the finished ink planes of one sheet into the
// command stream (job header before the first sheet, binding shift, gutter,
// repeat, drum pages with thumbnails and compressed lines), then whitens the
// planes for the next sheet.
#pragma once

#include "planes/pdev_record.h"
#include "render/sheet_kernels.h"

// Emits the current sheet. 1 when it was completed and counted; 0 with the
// last error set when the job has failed (its error), the job file cannot be
// reopened, there is no memory, the sink failed, the job was aborted or the
// settings choose no drum page. The planes are white afterwards.
int EmitSheet(RenderPdev* pdev);

// Drum pages a sheet of the record sends: 2 when both drums print every
// sheet, 1 for one ink, one master, duplex and alternating drums, 0 when the
// settings choose no drum (such a sheet fails). 0 for an invalid record.
int DrumPagesPerSheet(const RenderPdev* pdev);

// The thumbnail of the blank back sheet of an odd duplex job (only when
// thumbnails are switched on for this output mode). 1, or 0 when the write fails.
int WriteBlankThumbnail(RenderPdev* pdev);

namespace render {
// The plane of drum 1 or drum 2 as the record lays it out.
PlaneView DrumPlane(const RenderPdev* pdev, int drum);
// Applies the binding shift (shift modes 1..4) with the duplex exchange of
// odd sheets, to every plane of the sheet.
void ShiftPageImage(RenderPdev* pdev);
}  // namespace render
