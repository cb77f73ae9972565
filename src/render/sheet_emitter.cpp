#include "render/sheet_emitter.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "planes/plane_ops.h"
#include "planes/thinning.h"
#include "render/command_stream.h"
#include "render/packbits.h"

namespace render {

namespace {

constexpr DWORD kAbortPollSeconds = 1000;
constexpr DWORD kLinesPerClockRead = 64;

LONG Dots(std::int64_t tenthMm, int dpi) {
  const std::int64_t d = TenthMmToDots(tenthMm, dpi);
  return static_cast<LONG>(std::clamp<std::int64_t>(d, -0x7FFFFFFF, 0x7FFFFFFF));
}


void ForEachPlane(RenderPdev* pdev, void (*fn)(const PlaneView&, LONG), LONG amount) {
  fn(DrumPlane(pdev, 1), amount);
  if (HasTwoPlanes(pdev)) fn(DrumPlane(pdev, 2), amount);
}

// The binding shift in dots: y dpi for row moves, x dpi for bit moves,
// halved once when the document asks for an automatic reduction (the gap
// within rows takes any non-zero halved byte as that request).
enum class Halve { kWhenOne, kWhenSet };
LONG ShiftDots(const RenderPdev* pdev, bool rows, Halve rule = Halve::kWhenOne) {
  LONG a = Dots(pdev->shiftAmount, rows ? pdev->resolutionY : pdev->resolutionX);
  if (rule == Halve::kWhenOne ? pdev->shiftHalved == 1 : pdev->shiftHalved != 0) a /= 2;
  return std::max<LONG>(0, a);
}

DWORD NowSeconds() {
  ENG_TIME_FIELDS t{};
  EngQueryLocalTime(&t);
  return ClockSeconds(t.usMinute, t.usSecond);
}

// The drums (send[1], send[2]) of an even or odd sheet: both only for two
// inks with both masters; one ink goes to its drum when that drum has an ink.
void ChooseDrumPages(const RenderPdev* pdev, bool odd, bool (&send)[3]) {
  send[0] = send[1] = send[2] = false;
  if (AlternatesDrums(pdev)) {
    send[odd ? 2 : 1] = true;
  } else if (pdev->colorMode == 2) {
    send[1] = pdev->masterSelection == 0 || pdev->masterSelection == 2;
    send[2] = pdev->masterSelection == 1 || pdev->masterSelection == 2;
  } else {
    send[1] = pdev->oneInkDrum == 0 || pdev->drum2Ink == 0;
    send[2] = pdev->oneInkDrum == 1 && pdev->drum2Ink != 0;
  }
}

bool ThumbnailWanted(const RenderPdev* pdev) {
  return pdev->thumbnail == 2 || (pdev->thumbnail == 1 && (pdev->outputMode == OutputMode::PrintAndHold || pdev->outputMode == OutputMode::HoldOnly));
}

// Working state of one EmitSheet call.
struct SheetWork {
  LONG lineWidth = 0;  // dots across a row (cut to the paper with a custom position)
  LONG lineCount = 0;  // rows
  std::vector<BYTE> packed;
  DWORD clockBase = 0;
  DWORD linesSinceClock = 0;
  // Per plane buffer: the rows its last fetch found white, which the erase
  // after the sheet need not touch.
  struct WhiteRows {
    const BYTE* plane = nullptr;
    std::vector<BYTE> flags;
  } whiteRows[2];

  // The flags of a plane, cleared for a new fetch.
  std::span<BYTE> FreshWhiteRows(const PlaneView& p) {
    WhiteRows* slot = nullptr;
    for (WhiteRows& w : whiteRows)
      if (w.plane == p.bits || (!slot && !w.plane)) slot = &w;
    if (!slot || !p.bits) return {};
    slot->plane = p.bits;
    slot->flags.assign(static_cast<std::size_t>(std::max<LONG>(0, p.height)), 0);
    return slot->flags;
  }
  std::span<const BYTE> WhiteRowsOf(const BYTE* plane) const {
    for (const WhiteRows& w : whiteRows)
      if (plane && w.plane == plane) return w.flags;
    return {};
  }
};

enum class PageEnd { kDone, kAborted, kFailed };

PageEnd SendDrumPage(RenderPdev* pdev, SheetWork& work, int drum, const PlaneView& plane) {
  if (!(drum == 1 ? WriteDrum1Ink(pdev) : WriteDrum2Ink(pdev)) || pdev->jobFailed) return PageEnd::kFailed;

  if (pdev->repeat && pdev->shiftAmount == 0) {
    const LONG m = std::max({pdev->marginLeft, pdev->marginTop, pdev->marginRight, pdev->marginBottom});
    const bool anyMargin = pdev->marginLeft || pdev->marginTop || pdev->marginRight || pdev->marginBottom;
    const LONG gap = anyMargin ? Dots(static_cast<std::int64_t>(m) - 20, pdev->resolutionX) : 0;
    RepeatPageImage(plane, gap, pdev->repeatInFour != 0, pdev->paperWidth < pdev->paperLength);
  }

  Thumbnail thumb;
  const bool withThumbnail = ThumbnailWanted(pdev);
  if (withThumbnail) thumb = BuildThumbnail(plane, pdev->orientation == 90);

  const std::span<BYTE> whiteRows = work.FreshWhiteRows(plane);
  const bool odd = (pdev->sheetCounter & 1) != 0;
  const bool duplex = IsDuplexKind(pdev->duplex);
  bool inverted = false;
  if (duplex && (!odd || pdev->drum2LightPrint)) {
    InvertBytes(plane.bits, static_cast<std::size_t>(plane.stride) * static_cast<std::size_t>(plane.height));
    imaging::ThinSolidAreas(pdev->photoMode != 0, plane.bits, plane.stride, plane.height);
    inverted = true;
  }

  const bool turned = pdev->orientation == 90;
  LineFetcher lines(plane, turned, work.lineWidth, work.lineCount, inverted);
  lines.TrackWhiteRows(whiteRows);
  // Rows are packed as they lie unless the line is rewritten first.
  if (pdev->resolutionMode != 2) lines.HandOutWhiteOne();
  if (duplex && pdev->customPosition) {
    const LONG y = odd ? pdev->backY : pdev->frontY;
    if (y < 0) lines.SkipRows(Dots(-static_cast<std::int64_t>(y), pdev->resolutionY));
  }

  pdev->compressionMode = 0;
  DWORD counter = 1;
  const std::size_t bound = PackBitsBound(static_cast<std::size_t>(lines.LineBytes()));
  if (work.packed.size() < bound) work.packed.resize(bound);
  for (;;) {
    std::span<BYTE> line = lines.Next(counter);
    if (line.empty()) break;
    if (pdev->resolutionMode == 2) {
      PrepareHalveWidth(line.data(), line.size());
      HalveWidth(line.data(), line.size());
    }
    // The clock is read every few lines: the poll interval is 1000 s.
    // The plug-in's core polls for aborts itself.
    if (!IsPluginPdev(pdev) && (work.linesSinceClock++ & (kLinesPerClockRead - 1)) == 0) {
      const DWORD now = NowSeconds();
      if (now < work.clockBase) work.clockBase = now;
      if (now - work.clockBase > kAbortPollSeconds) {
        if (EngCheckAbort(pdev->surfaceObject)) {
          work.linesSinceClock = 0;  // the next drum page asks again with its first line
          return PageEnd::kAborted;
        }
        work.clockBase = now;
      }
    }
    std::int16_t mode = pdev->compressionMode;
    const std::size_t n =
        lines.LineIsWhiteOne() ? PackBitsLineWhiteOne(line, work.packed, mode) : PackBitsLine(line, work.packed, mode);
    if (n > 0) {
      if (mode != pdev->compressionMode && !WriteCompressionMode(pdev, mode)) return PageEnd::kFailed;
      const std::span<const BYTE> packed(work.packed.data(), n);
      auto send = [&](DWORD at) {
        return WriteLinePosition(pdev, static_cast<std::int32_t>(at)) && WriteRasterLine(pdev, packed) &&
               !pdev->jobFailed;
      };
      if (pdev->resolutionMode == 1) {
        const DWORD at = counter * 4 / 3;
        if (!send(at) || ((at % 4) != 0 && !send(at + 1))) return PageEnd::kFailed;
      } else if (!send(counter)) {
        return PageEnd::kFailed;
      }
    }
    ++counter;
  }
  if (withThumbnail && thumb.width > 0 &&
      (!WriteThumbnail(pdev, thumb.rows, static_cast<std::uint32_t>(thumb.width), static_cast<std::uint32_t>(thumb.height)) ||
       pdev->jobFailed))
    return PageEnd::kFailed;
  if (!WriteFormFeed(pdev) || pdev->jobFailed) return PageEnd::kFailed;
  return PageEnd::kDone;
}

// Only rows with ink are written: most of a sheet is white.
void WhitenPlanes(RenderPdev* pdev, const SheetWork& work) {
  if (pdev->drum2Plane) WhitenPlane(DrumPlane(pdev, 2), work.WhiteRowsOf(pdev->drum2Plane));
  if (HasTwoPlanes(pdev) && pdev->drum1Plane && pdev->drum1Plane != pdev->drum2Plane)
    WhitenPlane(DrumPlane(pdev, 1), work.WhiteRowsOf(pdev->drum1Plane));
}

}  // namespace

PlaneView DrumPlane(const RenderPdev* pdev, int drum) {
  BYTE* bits = drum == 1 ? pdev->drum1Plane : pdev->drum2Plane;
  return {bits, pdev->planeWidth, pdev->planeHeight, pdev->planeStride};
}

void ShiftPageImage(RenderPdev* pdev) {
  int mode = pdev->shiftMode;
  const bool odd = (pdev->sheetCounter & 1) != 0;
  if (odd && IsDuplexKind(pdev->duplex)) {
    // Odd sheets are backs: the binding edge moves to the other side.
    const bool turned = pdev->orientation == 90;
    const bool exchangeSideways = (pdev->duplex == 1) != turned;
    if (exchangeSideways && (mode == 1 || mode == 2)) mode = 3 - mode;
    if (!exchangeSideways && (mode == 3 || mode == 4)) mode = 7 - mode;
  }
  switch (mode) {
    case 1: ForEachPlane(pdev, ShiftBitsRight, ShiftDots(pdev, false)); break;
    case 2: ForEachPlane(pdev, ShiftBitsLeft, ShiftDots(pdev, false)); break;
    case 3: ForEachPlane(pdev, ShiftRowsDown, ShiftDots(pdev, true)); break;
    case 4: ForEachPlane(pdev, ShiftRowsUp, ShiftDots(pdev, true)); break;
    default: break;
  }
}

}  // namespace render

using namespace render;

int EmitSheet(RenderPdev* pdev) {
  if (!IsValidPdev(pdev) || !pdev->drum1Plane || !pdev->drum2Plane) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (!ResumeOutput(pdev)) {
    SetLastError(JobError(pdev, ERROR_WRITE_FAULT));
    return 0;
  }
  if (!AllocateOutputBuffer(pdev)) {
    PauseOutput(pdev, FALSE);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }

  int result = 0;
  DWORD reason = ERROR_INVALID_PARAMETER;  // settings that choose no drum page
  bool skip = false;
  if (pdev->sheetCounter == 0) {
    WriteJobHeader(pdev);
    skip = pdev->jobFailed != 0;
  }

  SheetWork work;
  if (!skip) {
    work.clockBase = NowSeconds();
    const bool turned = pdev->orientation == 90;
    work.lineWidth = pdev->planeWidth;
    work.lineCount = pdev->planeHeight;
    const bool duplex = IsDuplexKind(pdev->duplex);
    const bool odd = (pdev->sheetCounter & 1) != 0;
    if (pdev->customPosition) {
      const bool back = duplex && odd;
      const LONG x = back ? pdev->backX : pdev->frontX;
      const LONG y = back ? pdev->backY : pdev->frontY;
      const LONG roomW = Dots(static_cast<std::int64_t>(pdev->outputPaperWidth) - x, pdev->resolutionX);
      const LONG roomH = Dots(static_cast<std::int64_t>(pdev->outputPaperLength) - std::max<LONG>(0, y), pdev->resolutionY);
      if (work.lineWidth > roomW) work.lineWidth = std::max<LONG>(0, roomW);
      if (work.lineCount > roomH) work.lineCount = std::max<LONG>(0, roomH);
    }

    if (pdev->shiftAmount != 0) {
      if (pdev->shiftMode >= 1 && pdev->shiftMode <= 4) {
        ShiftPageImage(pdev);
      } else if (pdev->shiftMode == 5) {
        if ((pdev->booklet[0] == 0 && pdev->booklet[1] == 0) || turned)
          ForEachPlane(pdev, GutterWithinRows, ShiftDots(pdev, false, Halve::kWhenSet));
        else
          ForEachPlane(pdev, GutterAcrossRows, ShiftDots(pdev, true));
      }
    }

    bool send[3] = {false, false, false};
    ChooseDrumPages(pdev, odd, send);
    PlaneView planes[3] = {{}, DrumPlane(pdev, 1), DrumPlane(pdev, 2)};
    if (AlternatesDrums(pdev)) {
      planes[2] = planes[1];  // one plane, sent to the drum of the side
    } else if (pdev->planesSwapped) {
      std::swap(planes[1], planes[2]);
    }

    for (int drum = 1; drum <= 2; ++drum) {
      if (!send[drum]) continue;
      result = 1;
      const PageEnd end = SendDrumPage(pdev, work, drum, planes[drum]);
      if (end == PageEnd::kAborted) {
        result = 0;
        reason = ERROR_PRINT_CANCELLED;
        continue;
      }
      if (end == PageEnd::kFailed) {
        result = 0;
        reason = ERROR_WRITE_FAULT;
        break;
      }
    }
  }

  if (!FlushOutputAll(pdev)) result = 0;
  ClearClipRectList(pdev);
  pdev->drawnRect = {0, 0, -1, -1};
  if (result == 1) ++pdev->sheetCounter;
  WhitenPlanes(pdev, work);
  if (!PauseOutput(pdev, TRUE)) result = 0;
  if (result == 0) SetLastError(JobError(pdev, reason));
  return result;
}

int DrumPagesPerSheet(const RenderPdev* pdev) {
  if (!IsValidPdev(pdev)) return 0;
  bool send[3];
  ChooseDrumPages(pdev, false, send);
  return (send[1] ? 1 : 0) + (send[2] ? 1 : 0);
}

int WriteBlankThumbnail(RenderPdev* pdev) {
  if (!IsValidPdev(pdev) || !ThumbnailWanted(pdev) || !pdev->drum1Plane) return 1;
  const PlaneView plane = DrumPlane(pdev, 1);
  std::memset(plane.bits, 0xFF, static_cast<std::size_t>(plane.stride) * static_cast<std::size_t>(std::max(0, plane.height)));
  const Thumbnail thumb = BuildThumbnail(plane, pdev->orientation == 90);
  if (thumb.width <= 0) return 1;
  return WriteThumbnail(pdev, thumb.rows, static_cast<std::uint32_t>(thumb.width), static_cast<std::uint32_t>(thumb.height));
}
