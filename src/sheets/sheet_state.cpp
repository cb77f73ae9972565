#include "sheets/sheet_state.h"

#include <algorithm>
#include <cstring>

#include "settings/caps_store.h"

namespace {

// Copies a terminated name of at most units - 1 characters.
template <std::size_t N, std::size_t M>
void CopyName(WCHAR (&to)[N], const WCHAR (&from)[M]) {
  std::size_t n = 0;
  while (n + 1 < N && n < M && from[n] != 0) {
    to[n] = from[n];
    ++n;
  }
  std::fill(to + n, to + N, WCHAR{0});
}

template <std::size_t N>
void ClearName(WCHAR (&to)[N]) {
  std::fill(to, to + N, WCHAR{0});
}

// The name, or the login name when it is empty.
template <std::size_t N>
void NameOrLogin(WCHAR (&to)[N], const WCHAR (&from)[N]) {
  if (from[0] != 0) {
    CopyName(to, from);
    return;
  }
  WCHAR login[128];
  GetLoginName(login);
  CopyName(to, login);
}

// An index inside its list; otherwise the "Permanent" one when that is inside, else 0.
template <typename T>
T ListIndex(T index, T permanent, std::size_t count) {
  if (index < count) return index;
  return permanent < count ? permanent : T{0};
}

WCHAR* AllocSlots(std::size_t count) {
  if (count == 0) return nullptr;
  return static_cast<WCHAR*>(GlobalAlloc(GPTR, count * kNameSlotUnits * sizeof(WCHAR)));
}

template <typename Entry, typename Copier>
void BuildList(NameSlots& list, const NameList* names, const Entry* entries, std::size_t count, Copier copy) {
  list.Slots = entries ? AllocSlots(count) : nullptr;
  list.Count = list.Slots ? static_cast<std::uint16_t>(count) : 0;
  if (list.Slots) copy(names, std::span<const Entry>(entries, count), list.Slots);
}

void FreeList(NameSlots& list) {
  if (list.Slots) GlobalFree(list.Slots);
  list.Slots = nullptr;
  list.Count = 0;
}

}  // namespace

const WCHAR* NameSlots::At(std::size_t i) const {
  return Slots && i < Count ? Slots + i * kNameSlotUnits : nullptr;
}

std::uint8_t OutputModeMaskFor(const ModelCaps& caps, const DocSettings& s) {
  // Mode 0 stays offered with USB output: the hold-memory rule sends jobs there.
  std::uint8_t mask = caps.Info.UsbOutEnable == 1 ? kAllOutputModes : 7;
  if (s.HoldMemoryInstalled != 1) mask &= static_cast<std::uint8_t>(~6u);
  return mask;
}

bool HasColorPart(const ModelCaps& caps) { return caps.Info.DrumCount == 2 && caps.Info.KanPareUseFlag == 0; }

bool HasPrinterAddress(const DocSettings& s) {
  static constexpr char16_t kZero[] = u"0.0.0.0";
  if (s.PrinterAddress[0] == 0) return false;
  std::size_t n = 0;
  while (n < kPrinterAddressUnits && s.PrinterAddress[n] != 0) ++n;
  return !(n == 7 && std::equal(kZero, kZero + 7, s.PrinterAddress));
}

void BuildSheetNameLists(const ModelCaps& caps, SheetState& state) {
  FreeSheetNameLists(state);
  BuildList(state.PaperNames, caps.Names, caps.Papers, caps.PaperCount(), CopyListNames);
  BuildList(state.OutputPaperNames, caps.Names, caps.OutputPapers, caps.Info.OutputPaperCount, CopyListNames);
  BuildList(state.BinNames, caps.Names, caps.Bins, caps.Info.BinCount, CopyBinListNames);
  BuildList(state.SpeedNames, caps.Names, caps.Speeds, caps.Info.SpeedCount, CopyLevelListNames);
  BuildList(state.DensityNames, caps.Names, caps.Densities, caps.Info.DensityCount, CopyLevelListNames);
}

void FreeSheetNameLists(SheetState& state) {
  FreeList(state.PaperNames);
  FreeList(state.OutputPaperNames);
  FreeList(state.BinNames);
  FreeList(state.SpeedNames);
  FreeList(state.DensityNames);
}

// ---- the part copiers ----
// SheetState names each field as DocSettings does, so one routine per part
// serves both directions; only what differs by direction is written twice.

namespace {

template <typename From, typename To>
void CopyOutputFields(bool defaults, const From& f, To& t) {
  t.Copies = f.Copies;
  t.RenzokuMode = f.RenzokuMode;
  t.OutputMode = f.OutputMode;
  // Defaults mode keeps no document's names: names come from each document.
  t.HoldNameFromDoc = defaults ? 1 : f.HoldNameFromDoc;
  if (t.HoldNameFromDoc == 0) {
    CopyName(t.HoldJobName, f.HoldJobName);
  } else {
    ClearName(t.HoldJobName);
  }
  NameOrLogin(t.HoldUserName, f.HoldUserName);
  t.HoldBox = f.HoldBox;
  t.HoldJobOption = f.HoldJobOption;
  t.UsbNameFromDoc = defaults ? 1 : f.UsbNameFromDoc;
  if (t.UsbNameFromDoc == 0) {
    CopyName(t.UsbJobName, f.UsbJobName);
  } else {
    ClearName(t.UsbJobName);
  }
  if (defaults) {
    ClearName(t.UsbDrive);
  } else {
    CopyName(t.UsbDrive, f.UsbDrive);
  }
  t.UsbFolder = defaults ? 1 : f.UsbFolder;
  NameOrLogin(t.UsbUserName, f.UsbUserName);
  t.UsbJobOption = f.UsbJobOption;
  t.Preview = f.Preview;
}

template <typename From, typename To>
void CopyPaperLayoutFields(const From& f, To& t) {
  t.Duplex = f.Duplex;
  t.FreePaper = f.FreePaper;
  t.FreeWidth = f.FreeWidth;
  t.FreeLength = f.FreeLength;
  t.SheetValue24 = f.SheetValue24;
  t.SheetValue28 = f.SheetValue28;
  t.FreeUnit = f.FreeUnit;
  t.Landscape = f.Landscape;
  t.UpLayout = f.UpLayout;
  t.UpFour = f.UpFour;
  t.RensyaLayout = f.RensyaLayout;
  t.RensyaOrder = f.RensyaOrder;
  t.Booklet = f.Booklet;
  t.Booklet4P = f.Booklet4P;
  t.BindingPosition = f.BindingPosition;
  t.BindingAmount = f.BindingAmount;
  t.BindingAmountInch = f.BindingAmountInch;
  t.BindingUnit = f.BindingUnit;
  t.AutoReduce = f.AutoReduce;
  t.FitPage = f.FitPage;
  t.Rotate = f.Rotate;
  t.SyuuiYohaku = f.SyuuiYohaku;
  t.ImagePosition = f.ImagePosition;
  std::copy(std::begin(f.ImagePositionOffsets), std::end(f.ImagePositionOffsets), t.ImagePositionOffsets);
  t.SheetByte2672 = f.SheetByte2672;
  t.ImagePositionEach = f.ImagePositionEach;
}

template <typename From, typename To>
void CopyColorFields(const From& f, To& t) {
  t.ColorMode = f.ColorMode;
  t.OneInkIndex = f.OneInkIndex;
  t.Seihan = f.Seihan;
  t.OneInkColor = f.OneInkColor;
  t.Drum1Color = f.Drum1Color;
  t.Drum2Color = f.Drum2Color;
  t.SeparationKind = f.SeparationKind;
  t.SeparationModeA = f.SeparationModeA;
  t.SeparationModeB = f.SeparationModeB;
}

template <typename From, typename To>
void CopyStoredModes(const From& f, To& t) {
  t.StoredModeA = f.StoredModeA;
  t.StoredModeB = f.StoredModeB;
  t.StoredColorA = f.StoredColorA;
  t.StoredColorB = f.StoredColorB;
}

template <typename From, typename To>
void CopyImageFields(const From& f, To& t) {
  t.PhotoMode = f.PhotoMode;
  t.AmiLine = f.AmiLine;
  t.AmiAngle = f.AmiAngle;
  t.PhotoSyurui = f.PhotoSyurui;
  t.Akarusa = f.Akarusa;
  t.Contrast = f.Contrast;
  t.GyakkouOn = f.GyakkouOn;
  t.Gyakkou = f.Gyakkou;
  t.Edge = f.Edge;
  t.KaityoSmooth = f.KaityoSmooth;
  t.TextProc = f.TextProc;
  t.TextVolumeA = f.TextVolumeA;
  t.TextVolumeB = f.TextVolumeB;
}

// The print part but its list indices and the program block.
template <typename From, typename To>
void CopyPrintFields(const From& f, To& t) {
  t.Turbo = f.Turbo;
  t.Interval = f.Interval;
  t.SyouInkMode = f.SyouInkMode;
  t.Drum2LightPrint = f.Drum2LightPrint;
  t.ProgramPrint = f.ProgramPrint;
  t.ReversePrint = f.ReversePrint;
  t.DrumReverse = f.DrumReverse;
  t.Ninsyo = f.Ninsyo;
  t.NinsyoNo = f.NinsyoNo;
  t.Kimitu = f.Kimitu;
  t.RGPanelReset = f.RGPanelReset;
}

template <typename From, typename To>
void CopyFinishingFields(const From& f, To& t) {
  t.SortMode = f.SortMode;
  t.Staple = f.Staple;
  t.TapeSort = f.TapeSort;
  t.Interleaf = f.Interleaf;
}

}  // namespace

// ---- settings to sheet ----

void OutputPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  CopyOutputFields(IsDefaultsMode(s), s, state);
  state.OutputModeMask = OutputModeMaskFor(caps, s);
}

void PaperLayoutPartToSheet(const ModelCaps& caps, const DocSettings& s, std::uint16_t fallbackPaper,
                            SheetState& state) {
  CopyPaperLayoutFields(s, state);
  state.PaperIndex = ListIndex<std::uint16_t>(s.PaperIndex, fallbackPaper, caps.PaperCount());
  if (state.FreePaper == 1 && caps.Info.DocumentPaperCount > 0) {
    state.PaperIndex = static_cast<std::uint16_t>(caps.Info.DocumentPaperCount - 1);
  }
  state.OutputPaperIndex =
      ListIndex<std::uint16_t>(s.OutputPaperIndex, caps.Permanent.OutputPaperIndex, caps.Info.OutputPaperCount);
  state.BinIndex = ListIndex<std::uint8_t>(s.BinIndex, caps.Permanent.BinIndex, caps.Info.BinCount);
  LayoutBytesToChoice(state);
}

void ColorPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  CopyColorFields(s, state);
  CopyStoredModes(s, state);
  std::uint8_t mask = 15;
  if (caps.Info.OsusumeSepaEnable != 1) mask &= static_cast<std::uint8_t>(~1u);
  if (caps.Info.DrillEnable != 1) mask &= static_cast<std::uint8_t>(~4u);
  if (caps.Info.AppSepaSupportEnable != 1) mask &= static_cast<std::uint8_t>(~8u);
  state.SeparationKindMask = mask;
}

void ImagePartToSheet(const DocSettings& s, SheetState& state) { CopyImageFields(s, state); }

void PrintPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  CopyPrintFields(s, state);
  state.SpeedIndex = ListIndex<std::uint8_t>(s.SpeedIndex, caps.Permanent.SpeedIndex, caps.Info.SpeedCount);
  state.Density1 = ListIndex<std::uint8_t>(s.Density1, caps.Permanent.Density1, caps.Info.DensityCount);
  state.Density2 = ListIndex<std::uint8_t>(s.Density2, caps.Permanent.Density2, caps.Info.DensityCount);
  if (s.ProgramPrint != 0) {
    std::copy(std::begin(s.ProgramPrintBlock), std::end(s.ProgramPrintBlock), state.ProgramPrintBlock);
    state.ProgramSeparator = s.ProgramSeparator;
  } else {
    for (ProgramGroup& g : state.ProgramPrintBlock) g = ProgramGroup{0, 1};
    state.ProgramPrintBlock[0].Copies = 1;
    state.ProgramSeparator = 0;
  }
}

void FinishingPartToSheet(const DocSettings& s, SheetState& state) { CopyFinishingFields(s, state); }

void CopyPartsToSheet(const ModelCaps& caps, const DocSettings& s, std::uint16_t fallbackPaper, SheetState& state) {
  OutputPartToSheet(caps, s, state);
  PaperLayoutPartToSheet(caps, s, fallbackPaper, state);
  if (HasColorPart(caps)) ColorPartToSheet(caps, s, state);
  ImagePartToSheet(s, state);
  PrintPartToSheet(caps, s, state);
  FinishingPartToSheet(s, state);
}

void SettingsToSheetState(ModelCaps& caps, SheetState& state) {
  const DocSettings& s = caps.Defaults;
  BuildSheetNameLists(caps, state);
  std::copy(std::begin(s.InkMarks), std::end(s.InkMarks), state.InkMarks);
  state.InkLab = s.InkLab;
  state.FavoriteIndex = kNoFavorite;
  state.IpSet = HasPrinterAddress(s) ? 1 : 0;
  CopyPartsToSheet(caps, s, caps.Permanent.PaperIndex, state);
}

// ---- sheet to settings ----

void OutputPartToSettings(const SheetState& state, DocSettings& s) { CopyOutputFields(IsDefaultsMode(s), state, s); }

void PaperLayoutPartToSettings(const ModelCaps& caps, const SheetState& state, DocSettings& s) {
  SheetState bytes = state;
  LayoutChoiceToBytes(bytes);
  CopyPaperLayoutFields(bytes, s);
  s.PaperIndex = state.PaperIndex;
  s.OutputPaperIndex = state.OutputPaperIndex;
  s.BinIndex = state.BinIndex;
  // The paper's size in 0.1 mm; the free size is the one the user gave.
  const bool freeSize = caps.Info.DocumentPaperCount > 0 && state.PaperIndex == caps.Info.DocumentPaperCount - 1;
  if (freeSize) {
    s.PaperWidth = state.FreeWidth / 100;
    s.PaperLength = state.FreeLength / 100;
  } else if (const PaperEntry* p = PaperAt(caps, state.PaperIndex)) {
    s.PaperWidth = p->Width / 100;
    s.PaperLength = p->Length / 100;
  }
}

void ColorPartToSettings(SheetState& state, DocSettings& s) {
  CopyColorFields(state, s);
  s.InkLab = state.InkLab;
  s.SeparationKindTwo = state.SeparationKind == 2 ? 1 : 0;
  s.SeparationModeACopy = state.SeparationModeA;
  if (IsDefaultsMode(s) && state.SeparationKind == 1) {
    state.StoredModeA = state.SeparationModeA;
    state.StoredModeB = state.SeparationModeB;
    state.StoredColorA = state.Drum1Color;
    state.StoredColorB = state.Drum2Color;
  }
  CopyStoredModes(state, s);
}

void ImagePartToSettings(const SheetState& state, DocSettings& s) { CopyImageFields(state, s); }

void PrintPartToSettings(const SheetState& state, DocSettings& s) {
  CopyPrintFields(state, s);
  s.SpeedIndex = state.SpeedIndex;
  s.Density1 = state.Density1;
  s.Density2 = state.Density2;
  std::copy(std::begin(state.ProgramPrintBlock), std::end(state.ProgramPrintBlock), s.ProgramPrintBlock);
  s.ProgramSeparator = state.ProgramSeparator;
  std::fill(std::begin(s.Reserved1405), std::end(s.Reserved1405), std::uint8_t{0});
}

void FinishingPartToSettings(const SheetState& state, DocSettings& s) { CopyFinishingFields(state, s); }

void SheetStateToSettings(ModelCaps& caps, SheetState& state) {
  DocSettings& s = caps.Defaults;
  OutputPartToSettings(state, s);
  PaperLayoutPartToSettings(caps, state, s);
  if (HasColorPart(caps)) ColorPartToSettings(state, s);
  ImagePartToSettings(state, s);
  PrintPartToSettings(state, s);
  FinishingPartToSettings(state, s);
  if (!IsDefaultsMode(s) && state.PrinterQueried != 0) {
    std::copy(std::begin(state.InkMarks), std::end(state.InkMarks), s.InkMarks);
  }
}

// ---- layout ----

void LayoutBytesToChoice(SheetState& state) {
  std::uint8_t mode = 0, sub = 0, kind = 0;
  if (state.UpLayout == 1) {
    mode = kLayoutRepeat;
    sub = state.UpFour == 1 ? 2 : 1;
  }
  if (state.RensyaLayout == 1) {
    mode = kLayoutNup;
    if (state.RensyaOrder <= 5) {
      kind = static_cast<std::uint8_t>(state.RensyaOrder + 1);
      sub = kind <= 2 ? 1 : 2;
    } else {
      kind = 1;
      sub = 1;
    }
  }
  if (state.Booklet == 1 || state.Booklet == 2) {
    mode = kLayoutBooklet;
    kind = static_cast<std::uint8_t>(6 + state.Booklet);
  }
  if (state.Booklet4P == 1 || state.Booklet4P == 2) {
    mode = kLayoutBooklet4P;
    kind = static_cast<std::uint8_t>(6 + state.Booklet4P);
  }
  state.LayoutMode = mode;
  state.LayoutSub = sub;
  state.LayoutKind = kind;
}

void LayoutChoiceToBytes(SheetState& state) {
  state.UpLayout = state.UpFour = state.RensyaLayout = state.RensyaOrder = state.Booklet = state.Booklet4P = 0;
  switch (state.LayoutMode) {
    case kLayoutRepeat:
      state.UpLayout = 1;
      state.UpFour = state.LayoutSub == 2 ? 1 : 0;
      break;
    case kLayoutNup:
      state.RensyaLayout = 1;
      if (state.LayoutSub == 1) {
        state.RensyaOrder = state.LayoutKind == 2 ? 1 : 0;
      } else if (state.LayoutSub == 2) {
        state.RensyaOrder = state.LayoutKind >= 4 && state.LayoutKind <= 6 ? state.LayoutKind - 1 : 2;
      }
      break;
    case kLayoutBooklet: state.Booklet = state.LayoutKind == 7 ? 1 : state.LayoutKind == 8 ? 2 : 0; break;
    case kLayoutBooklet4P: state.Booklet4P = state.LayoutKind == 7 ? 1 : state.LayoutKind == 8 ? 2 : 0; break;
    default: break;
  }
}
