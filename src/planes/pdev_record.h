// RenderPdev: the device record of the render library, one per device
// context. Created zero-filled by DrvEnablePDEV, handed to every entry as the
// engine's dhpdev (the surface's device pointer), freed by DrvDisablePDEV.
// This header holds the record and its small accessors only: the writers,
// the emitter and the kernels use it without reaching the entries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "planes/rect_ops.h"
#include "plat/engine.h"
#include "plat/spooler.h"
#include "settings/doc_settings.h"

struct OutputBuffer;  // the 8191-byte command buffer (render/command_stream.h)

inline constexpr std::uint32_t kPdevSignature = 0x5a5a5aa5;

// Flags word of the record.
inline constexpr std::uint32_t kPdevDocNameTaken = 0x01;
inline constexpr std::uint32_t kPdevJobStarted = 0x02;
inline constexpr std::uint32_t kPdevImagePending = 0x40;
inline constexpr std::uint32_t kPdevTwoPlanes = 0x80;

// Where the command stream of a job goes, chosen once when the document
// starts: the spooler job, the preview file or a storage job file (tests use
// memory). write takes up to size bytes and answers how many it took, 0 for
// a failed write. resume readies the sink for a sheet or the job end, pause
// lets go of it (a job file is open only while a sheet is written); either
// may be null. A record without a sink writes nothing.
struct OutputSink {
  void* context;
  std::size_t (*write)(void* context, const std::uint8_t* data, std::size_t size);
  int (*resume)(void* context);
  void (*pause)(void* context);
};

// Number of hatch-brush pattern surfaces made at creation.
inline constexpr int kHatchPatternCount = 6;

// Fixed-point value with three decimals, laid out as the imaging FixedMilli.
struct PdevFixed {
  std::int32_t integer;
  std::int32_t thousandths;
};

// Narrow job texts in the printer code page of the language number.
struct JobTextBlock {
  std::uint8_t useDocumentName;
  char jobName[256];
  char userName[256];
  char dateText[32];
  std::uint8_t jobOption;
};

// Drawing state kept across drawing calls: fixed-point resolutions, the
// hatch-brush surfaces and the working fields of the drawing
// entries, plane kernels, blits and glyphs. Owners of those paths add their
// fields here.
struct PdevDrawState {
  PdevFixed fixedResolutionX;  // dots per inch
  PdevFixed fixedResolutionY;
  HSURF hatchSurfaces[kHatchPatternCount];
  std::uint32_t rop4;
  std::uint32_t previousRop4;
  RECTL lastDrawnRect;  // exclusive, as the caller gave it
  std::uint8_t hatchMarker;
  std::uint8_t clipComplexity;
  std::uint8_t previousClipComplexity;
  std::uint8_t destinationFlipped;
  std::uint32_t sourceId;
  std::uint32_t previousSourceId;
  std::uint16_t plateSelector;  // 1 drum 1, 2 drum 2
  std::uint8_t* targetPlane;
  std::uint8_t* otherPlane;
  std::uint8_t strokeSwapped;  // drum-1 contents moved into drum 2 for an engine stroke
  PdevRect strokeRect;  // the dots exchanged while strokeSwapped is set, whole bytes of its rows
  std::uint8_t* strokeSaved;  // the drum-2 bytes kept meanwhile (global heap)
  std::uint32_t keepOtherPlane;
  std::uint32_t maskIdiom;
  std::uint8_t* glyphScratch;
  std::uint32_t glyphScratchSize;
  std::uint8_t thickenCopy;
  std::uint8_t* savedPlanes;  // both planes as a PATINVERT idiom began, freed by FreeSavedPlanes
};

// Image and brush state: the image parameter block, screens, caches, clip
// list, blit state, raster-operation history, darker-drum strength. Owners of
// the imaging paths add their fields here.
struct PdevImageState {
  struct ImageBandCache* bandCache;  // owned by the image band cache
  std::uint8_t blitState;
  PdevRect operationRect;
  PdevRect earlierRect;
  std::uint32_t earlierRop4;
  std::int32_t darkerDrumStrength;
  std::uint8_t* diffusionCarryRow;  // interlaced error diffusion, freed at DrvDisablePDEV
  std::uint32_t diffusionCarrySize;
  std::uint8_t diffusionCarryKind;  // 0 none, 1 continue by rectangle, 2 by band origin; set by the image paths
  PdevRect diffusionCarryRect;  // the saved band's rectangle (page position for kind 2)
  void* screenTile;  // screens (imaging/halftone.h), freed at DrvDisableSurface
  void* secondScreenTile;
  void* separationGrid;
  void* scratch;
  std::uint8_t identityTable[256];
};

#include "planes/drawing_state.h"

// Which build made the record: the classic printer graphics library, or the
// rendering plug-in under the core driver. Where the two differ, the entries
// branch on it.
enum class PdevGeneration : std::uint8_t { Classic = 0, Plugin = 1 };

struct DEVOBJ;      // the core driver's device object (plat/oem.h)
struct DrawObject;  // a queued drawing object of the plug-in

// The plug-in part of the record: the core's device object, through which
// the command stream is written, and the queued-drawing state. Null and zero
// in the classic generation.
struct PdevPluginState {
  DEVOBJ* devobj;
  std::int32_t rgbOrder;  // 1 while converted 24-bit data holds red first
  std::uint8_t kind;      // kind of the pending shadow-page work, 0 none
  SURFOBJ* shadowObject;  // the shadow page of the current page, null outside one
  std::uint8_t tag;
  PdevRect drawBounds;
  PdevRect operationRect;
  DrawObject* head;
  DrawObject* tail;
  DrawObject* cursor;
};

struct RenderPdev {
  std::uint32_t headSignature;
  char16_t documentName[256];
  HANDLE printer;  // spooler handle, target of WritePrinter
  HDEV engineDevice;
  HSURF surface;
  HPALETTE palette;
  OutputBuffer* outputBuffer;  // allocated at the first sheet
  std::uint16_t outputFill;
  OutputSink sink;  // set by DrvStartDoc
  std::int32_t planeWidth;  // dots
  std::int32_t planeHeight;
  std::int32_t marginLeft;  // 0.1 mm
  std::int32_t marginTop;
  std::int32_t marginRight;
  std::int32_t marginBottom;
  std::uint16_t paperWidth;  // 0.1 mm, after the landscape exchange
  std::uint16_t paperLength;
  std::uint16_t resolutionX;  // dpi as sent
  std::uint16_t resolutionY;
  std::uint16_t copies;
  std::int16_t orientation;  // 0 or 90
  std::uint8_t rotate180;
  std::uint32_t flags;
  std::uint32_t sheetCounter;  // sheets emitted in this job
  std::int16_t compressionMode;
  PdevDrawState drawing;
  std::uint8_t colorMode;  // 1 one ink, 2 two inks
  std::uint8_t oneInkDrum;  // 0 drum 1, 1 drum 2
  std::uint8_t masterSelection;  // 0 drum 1, 1 drum 2, 2 both
  std::uint8_t binListInstalled;
  std::uint8_t binIndex;
  std::uint8_t holdMemoryInstalled;
  OutputMode outputMode;
  std::uint8_t continuousMode;
  std::uint8_t drumCount;
  std::uint16_t drum1Ink;  // InkCode 1000..1063, else 0
  std::uint16_t drum2Ink;
  std::int32_t drum1Lab[3];
  std::int32_t drum2Lab[3];
  std::uint8_t separationKind;
  JobTextBlock jobText;
  std::int32_t rawMargins[4];  // left, top, right, bottom, 0.1 mm, never cleared
  std::uint8_t repeat;
  std::uint8_t repeatInFour;
  std::uint8_t nUp;
  std::uint8_t booklet[2];
  std::uint8_t pagesPerSheet;
  std::uint32_t pageCounter;  // logical pages received in this job
  std::uint8_t programPrint;
  std::int32_t programRows[6][2];  // {copies, sets}
  std::uint8_t programSeparator;
  std::uint8_t holdBox;
  std::uint8_t thumbnail;
  std::uint8_t interleaf;
  std::uint8_t turbo;
  std::uint8_t interval;
  std::uint8_t separationKindTwo;
  std::uint8_t authenticationOn;
  std::int32_t authenticationNumber;
  std::uint8_t inkSaving;
  std::uint8_t outputPaperChosen;
  char16_t storageDrive[8];
  std::uint8_t storageFolder;
  char16_t jobFilePath[260];
  HANDLE jobFile;  // INVALID_HANDLE_VALUE when closed
  std::uint32_t jobFailed;  // 0, or the error of the job's first failure
  std::uint8_t separationModes[3];  // text, graphics (both SeparationModeA), image (SeparationModeB)
  // Image settings, in this order.
  std::uint8_t photoMode;
  std::uint8_t textProcessing;
  std::uint8_t textVolumeA;
  std::uint8_t textVolumeB;
  std::uint16_t amiLine;
  std::int16_t amiAngle;
  std::uint8_t edge;
  std::uint8_t brightness;
  std::uint8_t contrast;
  std::uint8_t backlight;  // Gyakkou when GyakkouOn, else 0
  std::uint8_t gradationSmoothing;
  std::uint8_t photoKind;
  std::uint8_t sortMode;
  std::uint8_t staple;
  std::uint8_t tapeSort;
  std::uint8_t speed;
  std::uint8_t densities[2];
  std::uint8_t confidential;
  std::uint8_t panelReset;
  std::uint8_t option2025;
  std::uint8_t systemCode;
  std::uint8_t languageNumber;  // 1..30
  std::uint8_t* drum1Plane;
  std::uint8_t* drum2Plane;  // the surface bits
  PdevRect drawnRect;
  std::uint8_t resolutionMode;  // 0 as is, 1 300x400 as 300x300, 2 300x600 as 600x600
  std::uint8_t planesSwapped;
  PdevImageState image;
  SharedDrawingState shared;  // drawing and image paths (planes/drawing_state.h)
  std::uint8_t imageCaching;
  std::uint8_t askDevice;
  char16_t deviceAddress[20];
  std::uint32_t jobId;
  std::int32_t planeStride;  // bytes, a multiple of 4
  SURFOBJ* surfaceObject;
  PdevGeneration generation;
  PdevPluginState plugin;
  std::uint8_t preview;
  char16_t portName[256];
  std::uint8_t customPosition;
  std::int32_t frontX;  // 0.1 mm
  std::int32_t frontY;
  std::int32_t backX;
  std::int32_t backY;
  std::uint16_t outputPaperWidth;  // 0.1 mm
  std::uint16_t outputPaperLength;
  std::uint8_t shiftMode;  // 1 right, 2 left, 3 down, 4 up, 5 centre gutter
  std::int32_t shiftAmount;  // 0.1 mm
  std::uint8_t shiftHalved;
  std::uint8_t duplex;  // 0 off, 1 and 2 the duplex kinds
  std::uint8_t drum2LightPrint;
  std::uint32_t tailSignature;
};

// 0.1 mm to dots at dpi: (v x (dpi / 10) x 1584 + 40224) / 40225 in integers
// (rounds up for v >= 0). The one conversion of the render library; computed
// in 64 bits, so callers check the range of the result where it is stored.
constexpr std::int64_t TenthMmToDots(std::int64_t v, std::int64_t dpi) {
  return (v * (dpi / 10) * 1584 + 40224) / 40225;
}

// Fails the job with the error of its first failure (a later one keeps it);
// an error of 0 is taken as ERROR_WRITE_FAULT, so a failed job always has one.
inline void MarkJobFailed(RenderPdev* pdev, DWORD error) {
  if (pdev->jobFailed == 0) pdev->jobFailed = error != ERROR_SUCCESS ? error : ERROR_WRITE_FAULT;
}

// The error a failed job reports; fallback when the job itself has not failed.
inline DWORD JobError(const RenderPdev* pdev, DWORD fallback) {
  return pdev->jobFailed != 0 ? pdev->jobFailed : fallback;
}

inline bool IsPluginPdev(const RenderPdev* pdev) { return pdev->generation == PdevGeneration::Plugin; }

// A device record is valid when present and both signature words are intact.
inline bool IsValidPdev(const RenderPdev* pdev) {
  return pdev != nullptr && pdev->headSignature == kPdevSignature && pdev->tailSignature == kPdevSignature;
}

// The record behind a surface (its dhpdev), or null.
inline RenderPdev* PdevFromSurface(const SURFOBJ* pso) {
  return pso != nullptr ? reinterpret_cast<RenderPdev*>(pso->dhpdev) : nullptr;
}

// The valid record behind a surface; null with ERROR_INVALID_PARAMETER.
inline RenderPdev* ValidPdevOf(const SURFOBJ* pso) {
  RenderPdev* pdev = PdevFromSurface(pso);
  if (!IsValidPdev(pdev)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return pdev;
}

// Logical pages drawn onto one sheet (N-up), at least 1.
inline std::uint32_t PagesPerSheet(const RenderPdev* pdev) { return pdev->pagesPerSheet ? pdev->pagesPerSheet : 1; }

// The sheet is laid out on two ink planes (both drums' inks on one sheet).
inline bool HasTwoPlanes(const RenderPdev* pdev) { return (pdev->flags & kPdevTwoPlanes) != 0; }
// The settings print two inks on both drums' masters.
inline bool PrintsTwoInks(const RenderPdev* pdev) { return pdev->colorMode == 2 && pdev->masterSelection == 2; }

// The settings ask for picture treatment: error diffusion (any photo mode but
// 0), sharpening or backlight enhancement.
inline bool PictureOptionsOn(const RenderPdev* pdev) {
  return pdev->photoMode != 0 || pdev->edge != 0 || pdev->backlight != 0;
}
// Pictures are cached: the caching switch is on and the settings ask for
// picture treatment.
inline bool CachesPictures(const RenderPdev* pdev) { return pdev->imageCaching == 1 && PictureOptionsOn(pdev); }

// The plane a one-ink picture goes to: drum 2's for a non-zero image
// separation mode, drum 1's otherwise.
inline std::uint8_t* OneInkPicturePlane(const RenderPdev* pdev, std::uint8_t* drum1, std::uint8_t* drum2) {
  return pdev->separationModes[2] != 0 ? drum2 : drum1;
}

// Sheets alternate between the drums (their one plane to drum 1 on even
// sheets, to drum 2 on odd ones): a duplex job, or separation kind 3.
inline bool AlternatesDrums(const RenderPdev* pdev) {
  return IsDuplexKind(pdev->duplex) || pdev->separationKind == 3;
}

// Left + right (m) and top + bottom (n) working margins in 0.1 mm, in the
// terms of the page: exchanged at orientation 90.
inline void PrintableMargins(const RenderPdev* pdev, std::int64_t& m, std::int64_t& n) {
  std::int64_t horizontal = static_cast<std::int64_t>(pdev->marginLeft) + pdev->marginRight;
  std::int64_t vertical = static_cast<std::int64_t>(pdev->marginTop) + pdev->marginBottom;
  if (pdev->orientation == 90) std::swap(horizontal, vertical);
  m = horizontal;
  n = vertical;
}
