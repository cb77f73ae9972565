// The document and page entries of a print job.
#include "render/document_entries.h"

#include <cstring>

#include "device/device_status.h"
#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "plat/codepage.h"
#include "render/command_stream.h"
#include "render/job_files.h"
#include "render/render_pdev.h"
#include "render/rop_blits.h"
#include "render/sheet_emitter.h"

namespace {

// FALSE with the job's error as the last error (a write fault when the job
// itself has not failed), so a failed job never reports error 0.
BOOL JobFailed(const RenderPdev* pdev) {
  SetLastError(JobError(pdev, ERROR_WRITE_FAULT));
  return FALSE;
}

bool SheetPartlyFilled(const RenderPdev* pdev) { return pdev->pageCounter % PagesPerSheet(pdev) != 0; }

// The device address as UTF-8 text of at most 20 characters; empty when it
// cannot be converted.
std::string DeviceAddressText(const RenderPdev* pdev) {
  WCHAR wide[21] = {};
  std::memcpy(wide, pdev->deviceAddress, sizeof(pdev->deviceAddress));
  char narrow[64] = {};
  int n = WideCharToMultiByte(CP_UTF8, 0, wide, -1, narrow, sizeof(narrow), nullptr, nullptr);
  if (n <= 0) return {};
  std::string text(narrow);
  if (text.size() > 20) text.resize(20);
  return text;
}

void SetLab(std::int32_t (&lab)[3], const InkLab& from) {
  lab[0] = from.L;
  lab[1] = from.a;
  lab[2] = from.b;
}

}  // namespace

BOOL DrvStartDoc(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  pdev->flags |= kPdevJobStarted;
  if (!(pdev->flags & kPdevDocNameTaken)) {
    pdev->flags |= kPdevDocNameTaken;
    if (pwszDocName) {
      constexpr std::size_t units = sizeof(pdev->documentName) / sizeof(pdev->documentName[0]);
      std::size_t i = 0;
      for (; i + 1 < units && pwszDocName[i] != 0; ++i) pdev->documentName[i] = pwszDocName[i];
      for (; i < units; ++i) pdev->documentName[i] = 0;
    }
  }
  SetJobHeaderText(pdev, kJobHeaderDate);
  SetJobHeaderText(pdev, kJobHeaderName);
  pdev->drawing.fixedResolutionX = PdevFixed{pdev->resolutionX, 0};
  pdev->drawing.fixedResolutionY = PdevFixed{pdev->resolutionY, 0};
  PrepareImageParameters(pdev);
  ClearClipRectList(pdev);
  if (dwJobId != 0) pdev->jobId = dwJobId;
  // The sink of the job. A job file that cannot be made fails the job at its first sheet.
  switch (JobOutputOf(pdev->preview, pdev->outputMode)) {
    case JobOutput::PreviewFile:
      (void)CreateSpoolTempFile(pdev);
      pdev->sink = JobFileSink(pdev);
      break;
    case JobOutput::StorageFile:
      (void)CreateStorageJobFile(pdev);
      pdev->sink = JobFileSink(pdev);
      break;
    case JobOutput::Spooler:
      pdev->sink = SpoolerSink(pdev->printer);
      break;
  }
  return TRUE;
}

BOOL DrvStartPage(SURFOBJ* pso) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  if (pdev->pageCounter != 0 || pdev->askDevice == 0) return TRUE;

  // Over SNMP, else from the status file; records come placed by drum
  // number, so a device listing its drums in another order or reporting a
  // number other than 1 and 2 cannot swap or invent an ink.
  const std::string address = DeviceAddressText(pdev);
  DrumRecord drums[2] = {};
  if (QueryInstalledDrums(address.c_str(), drums) != 1) return TRUE;
  const std::int32_t ink[2] = {drums[0].Ink, drums[1].Ink};
  const InkLab lab[2] = {drums[0].Lab, drums[1].Lab};

  AssignModesToDrums(pdev, ink, lab);
  pdev->drum1Ink = static_cast<std::uint16_t>(ink[0]);
  SetLab(pdev->drum1Lab, lab[0]);
  if (pdev->colorMode == 1) {
    pdev->drum2Ink = 0;
    SetLab(pdev->drum2Lab, InkLab{0, 0, 0});
  } else {
    pdev->drum2Ink = static_cast<std::uint16_t>(ink[1]);
    SetLab(pdev->drum2Lab, lab[1]);
  }
  return TRUE;
}

BOOL DrvSendPage(SURFOBJ* pso) {
  if (!pso || !pso->pvBits) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  FreeKeptTransparentImage(pdev);
  FreeSavedPlanes(pdev);
  if (pdev->flags & kPdevImagePending) {
    pdev->drawing.previousRop4 = pdev->drawing.rop4;
    pdev->drawing.rop4 = 0;
    (void)FlushImageIfPending(pdev);
  }
  ++pdev->pageCounter;
  if (pdev->pageCounter % PagesPerSheet(pdev) == 0) return EmitSheet(pdev) ? TRUE : FALSE;
  // Logical pages of one sheet draw onto the same planes.
  ClearClipRectList(pdev);
  pdev->drawnRect = PdevRect{0, 0, -1, -1};
  return TRUE;
}

FinishResult FinishJob(RenderPdev* pdev, bool stopWithoutSheets) {
  if (SheetPartlyFilled(pdev)) (void)EmitSheet(pdev);
  if (!ResumeOutput(pdev)) return FinishResult::FileFailed;
  if (stopWithoutSheets && pdev->sheetCounter == 0) return FinishResult::NoSheets;
  bool ok = true;
  if (AlternatesDrums(pdev) && (pdev->sheetCounter & 1)) {
    // The blank back of the last sheet.
    ok = WriteDrum2Ink(pdev) && WriteBlankThumbnail(pdev) && WriteFormFeed(pdev);
  }
  ok = ok && WriteJobEnd(pdev) && FlushOutputAll(pdev);
  if (!ok) return FinishResult::WriteFailed;
  pdev->flags = 0;
  return FinishResult::Done;
}

BOOL DrvEndDoc(SURFOBJ* pso, FLONG) {
  RenderPdev* pdev = ValidPdevOf(pso);
  if (!pdev) return FALSE;
  switch (FinishJob(pdev, true)) {
    case FinishResult::FileFailed:
      return JobFailed(pdev);
    case FinishResult::NoSheets:
      (void)PauseOutput(pdev, FALSE);
      return TRUE;
    case FinishResult::WriteFailed:
      // The job end did not reach its sink: the job is not complete.
      (void)PauseOutput(pdev, TRUE);
      return JobFailed(pdev);
    case FinishResult::Done:
      break;
  }
  return PauseOutput(pdev, TRUE) ? TRUE : JobFailed(pdev);
}

BOOL DrvResetPDEV(DHPDEV dhpdevOld, DHPDEV dhpdevNew) {
  auto* old = reinterpret_cast<RenderPdev*>(dhpdevOld);
  auto* next = reinterpret_cast<RenderPdev*>(dhpdevNew);
  if (!IsValidPdev(old) || !IsValidPdev(next)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (old->flags & kPdevJobStarted) {
    next->jobId = old->jobId;
    bool pageChanged = old->paperWidth != next->paperWidth || old->paperLength != next->paperLength ||
                       old->orientation != next->orientation;
    if (old->pageCounter != 0 && old->customPosition == 0 && pageChanged && next->nUp == 0 && next->repeat == 0) {
      FinishResult finished = FinishJob(old, false);
      if (finished == FinishResult::FileFailed) return JobFailed(old);
      old->flags = 0;
      old->sheetCounter = 0;
      old->pageCounter = 0;
      if (!PauseOutput(old, TRUE)) return JobFailed(old);
      // A job end that did not reach the spooler is a failed job, not a reset.
      if (finished == FinishResult::WriteFailed) return JobFailed(old);
    }
  }
  if (old->flags & kPdevJobStarted) {
    std::memcpy(next->jobText.jobName, old->jobText.jobName, sizeof(next->jobText.jobName));
    std::memcpy(next->jobText.userName, old->jobText.userName, sizeof(next->jobText.userName));
    std::memcpy(next->jobText.dateText, old->jobText.dateText, sizeof(next->jobText.dateText));
  }
  std::memcpy(next->documentName, old->documentName, sizeof(next->documentName));
  next->sheetCounter = old->sheetCounter;
  next->pageCounter = old->pageCounter;
  std::memcpy(next->jobFilePath, old->jobFilePath, sizeof(next->jobFilePath));
  next->jobFailed = old->jobFailed;
  return TRUE;
}
