// The document and page entries that drive one print job on a device
// record: DrvStartDoc, DrvStartPage, DrvSendPage, DrvEndDoc.
#pragma once

#include "planes/pdev_record.h"

// Starts (or, after a reset, continues) the document: the document name is
// taken once, at most 255 units and always terminated; the job file of a
// preview or storage job is made. FALSE only for an invalid record.
BOOL DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
// On the first page of a job, asks the device for its inks when the record
// says so; a failed query leaves the inks as they are.
BOOL DrvStartPage(SURFOBJ* pso);
// Counts the page and emits the sheet when it is full.
BOOL DrvSendPage(SURFOBJ* pso);
// Emits a partly filled sheet, the blank back of an odd duplex job and the
// job end. A job without sheets writes nothing. FALSE when the job's output
// failed.
BOOL DrvEndDoc(SURFOBJ* pso, FLONG fl);
// Carries the job from the old record to the new one; a page-size change
// ends the old job's command stream first. FALSE when that fails.
BOOL DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew);

// The end of a job's command stream (partly filled sheet, blank back sheet,
// job end and flush) without closing the job file. stopWithoutSheets: a job
// that emitted no sheet ends before the job end (the document end does so,
// a reset does not).
enum class FinishResult {
  FileFailed,   // the job had failed, or its file could not be reopened
  NoSheets,     // stopWithoutSheets and no sheet was emitted: nothing written
  WriteFailed,  // the job end could not be written
  Done,         // the job end is written and flushed; the flags are cleared
};
FinishResult FinishJob(RenderPdev* pdev, bool stopWithoutSheets);
