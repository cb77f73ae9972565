// The working state of an open sheet: SheetState (the document settings in
// the form the pages edit), the document and device sheet contexts, and the
// copiers between DocSettings and SheetState.
#pragma once

#include <cstdint>
#include <type_traits>

#include "plat/base.h"
#include "plat/propsheet.h"
#include "settings/doc_settings.h"
#include "settings/model_caps.h"

// Name slots hold kNameSlotUnits units each (48 characters and a terminator).
struct NameSlots {
  std::uint16_t Count;
  WCHAR* Slots;  // Count slots, owned; nullptr when Count is 0
  const WCHAR* At(std::size_t i) const;
};

struct PictureBitmaps;

struct SheetState {
  std::uint8_t Duplex;
  std::uint16_t PaperIndex;  // document papers, then custom papers
  NameSlots PaperNames;
  std::uint8_t FreePaper;
  std::int32_t FreeWidth, FreeLength;  // micrometres
  std::int32_t SheetValue24, SheetValue28;
  std::uint8_t FreeUnit;
  std::uint8_t Landscape;
  std::uint16_t OutputPaperIndex;
  NameSlots OutputPaperNames;
  std::uint8_t BinIndex;
  NameSlots BinNames;
  std::uint8_t UpLayout, UpFour, RensyaLayout, RensyaOrder, Booklet, Booklet4P;
  std::uint8_t BindingPosition;
  std::int32_t BindingAmount, BindingAmountInch;
  std::uint8_t BindingUnit, AutoReduce;
  std::uint8_t FitPage;
  std::uint8_t Rotate;
  std::uint8_t SyuuiYohaku;
  std::uint8_t ImagePositionAvail;
  std::uint8_t ImagePosition;
  std::int32_t ImagePositionOffsets[8];
  std::uint8_t SheetByte2672, ImagePositionEach;
  std::uint16_t LayoutTypeMask;
  std::uint8_t LayoutMode, LayoutSub;
  std::uint16_t LayoutKindMask;
  std::uint8_t LayoutKind;
  std::uint16_t BindingMask;
  std::uint8_t ColorMode;
  std::uint8_t OneInkIndex;
  std::uint8_t Seihan;
  std::uint8_t DrumComboIndex[2];
  InkCode OneInkColor;
  InkCode Drum1Color, Drum2Color;
  std::uint8_t InkMarks[kColorIdCount];
  InkLabTable InkLab;
  InkCode PrinterDrum1Color, PrinterDrum2Color;
  std::uint8_t SeparationKind;
  std::uint8_t SeparationModeA, SeparationModeB;
  std::uint8_t AssignedModeA, AssignedModeB;
  std::uint8_t StoredModeA, StoredModeB;
  InkCode StoredColorA, StoredColorB;
  std::uint16_t AvailColorCount;
  InkCode AvailColors[kColorIdCount];
  std::uint8_t SeparationKindMask;
  std::uint8_t PrinterInfoShown;
  std::int32_t IpSet;
  std::uint8_t PhotoMode;
  std::int16_t AmiLine;
  std::int8_t AmiAngle;
  std::uint8_t PhotoSyurui, Akarusa, Contrast, GyakkouOn, Gyakkou, Edge, KaityoSmooth, TextProc, TextVolumeA,
      TextVolumeB;
  std::uint8_t SpeedIndex;
  NameSlots SpeedNames;
  std::uint8_t Density1, Density2;
  NameSlots DensityNames;
  std::uint8_t Turbo, Interval, SyouInkMode;
  std::uint8_t Drum2LightPrint;
  std::uint8_t ProgramPrint;
  ProgramGroup ProgramPrintBlock[6];
  std::uint8_t ProgramSeparator;
  std::uint8_t ReversePrint, DrumReverse;
  std::uint8_t Ninsyo;
  std::int32_t NinsyoNo;
  std::uint8_t Kimitu, RGPanelReset;
  std::uint8_t SortMode, Staple, TapeSort, Interleaf;
  std::int32_t Copies;
  std::uint8_t RenzokuMode;
  std::uint8_t OutputMode;
  std::uint8_t OutputModeMask;
  std::uint8_t HoldNameFromDoc;
  WCHAR HoldJobName[kSettingsNameUnits];
  WCHAR HoldUserName[kSettingsNameUnits];
  std::uint8_t HoldJobOption;
  std::uint8_t HoldBox;
  std::uint8_t UsbNameFromDoc;
  WCHAR UsbJobName[kSettingsNameUnits];
  WCHAR UsbUserName[kSettingsNameUnits];
  std::uint8_t UsbJobOption;
  WCHAR UsbDrive[kUsbDriveUnits];
  std::uint8_t UsbFolder;
  std::uint8_t Preview;
  std::uint8_t FavoriteIndex;  // 255 = none
  std::int32_t Refreshing;
  HANDLE HandCursor, PageCursor;
  std::uint8_t PrinterQueried;  // 0 no, 1 taken from the DEVMODE or a loaded block, 2 queried at open
  HANDLE Printer;
  PFNCOMPROPSHEET ComPropSheet;
  HANDLE ComPropSheetHandle;
  HANDLE PageHandles[7];  // pages 2008, 2001, 2002, 2003, 2004, 2005, 2006
  HMODULE ResourceDll;
  std::uint8_t FavoriteWritePermission;  // page 2008 could write a favourite
  PictureBitmaps* Pictures;  // the open sheet's loaded bitmaps; null: loaded per drawing
  Generation Build;          // generation of the library that opened the sheet (zero: classic)
};
static_assert(std::is_trivially_copyable_v<SheetState>, "lives in a zero-filled heap block");

// LayoutChoice modes.
inline constexpr std::uint8_t kLayoutNone = 0, kLayoutRepeat = 1, kLayoutNup = 2, kLayoutBooklet = 3,
                              kLayoutBooklet4P = 4;
// The full mask of output modes 0-4 (see SettingsToSheetState).
inline constexpr std::uint8_t kAllOutputModes = 31;
inline constexpr std::uint8_t kNoFavorite = 255;

// One per open document sheet, zero-filled from the global heap (the
// plug-in's from the local heap).
struct DocSheetContext {
  ModelCaps Caps;  // Caps.Defaults is the sheet's working DocSettings
  SheetState State;
};

// One per open device sheet, zero-filled from the global heap (the
// plug-in's from the local heap).
struct DevSheetContext {
  ModelCaps Caps;
  std::int32_t IpSet;
  std::uint8_t GetInfoStatus;
  std::uint16_t DrumColors[2];
  HANDLE Printer;
  std::int32_t WritePermission;
  PFNCOMPROPSHEET ComPropSheet;
  HANDLE ComPropSheetHandle;
  HANDLE PageHandle;
  HMODULE ResourceDll;
  Generation Build;       // generation of the library that opened the sheet (zero: classic)
};

// Output modes offered (bit v = mode v): 0-4 with USB output, else 0-2; the
// hold modes 1 and 2 only with hold memory installed.
std::uint8_t OutputModeMaskFor(const ModelCaps& caps, const DocSettings& s);
// True when the model shows the colour part (two drums, no KanPare).
bool HasColorPart(const ModelCaps& caps);
// Two inks separated onto both drums' masters.
inline bool SeparatesTwoInks(const SheetState& state) { return state.ColorMode == 2 && state.Seihan == 2; }
// True when the settings block is in defaults mode (the printer's defaults are edited).
inline bool IsDefaultsMode(const DocSettings& s) { return s.SheetMode != 0; }
// The printer address field holds an address: not empty and not "0.0.0.0".
bool HasPrinterAddress(const DocSettings& s);

// Name-slot lists of the model's papers (documents then custom), output
// papers, bins, speeds and densities. A list that cannot be allocated is empty.
void BuildSheetNameLists(const ModelCaps& caps, SheetState& state);
void FreeSheetNameLists(SheetState& state);

// Part copiers. fallbackPaper is the paper index taken when the stored one is
// outside the document and custom papers.
void OutputPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state);
void PaperLayoutPartToSheet(const ModelCaps& caps, const DocSettings& s, std::uint16_t fallbackPaper,
                            SheetState& state);
void ColorPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state);
void ImagePartToSheet(const DocSettings& s, SheetState& state);
void PrintPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state);
void FinishingPartToSheet(const DocSettings& s, SheetState& state);
// Every part (colour only with HasColorPart). List indices outside their
// lists become the "Permanent" value, else 0.
void CopyPartsToSheet(const ModelCaps& caps, const DocSettings& s, std::uint16_t fallbackPaper, SheetState& state);

void OutputPartToSettings(const SheetState& state, DocSettings& s);
void PaperLayoutPartToSettings(const ModelCaps& caps, const SheetState& state, DocSettings& s);
void ColorPartToSettings(SheetState& state, DocSettings& s);
void ImagePartToSettings(const SheetState& state, DocSettings& s);
void PrintPartToSettings(const SheetState& state, DocSettings& s);
void FinishingPartToSettings(const SheetState& state, DocSettings& s);

// From the working settings (caps.Defaults): name lists, marks, every part.
void SettingsToSheetState(ModelCaps& caps, SheetState& state);
// Back into the working settings.
void SheetStateToSettings(ModelCaps& caps, SheetState& state);

// The six layout bytes and the LayoutChoice of the state.
void LayoutBytesToChoice(SheetState& state);
void LayoutChoiceToBytes(SheetState& state);
