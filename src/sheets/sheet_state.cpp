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

// ---- settings to sheet ----

void OutputPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  const bool defaults = IsDefaultsMode(s);
  state.Copies = s.Copies;
  state.RenzokuMode = s.RenzokuMode;
  state.OutputMode = s.OutputMode;
  state.OutputModeMask = OutputModeMaskFor(caps, s);
  if (defaults) {
    state.HoldNameFromDoc = 1;
    ClearName(state.HoldJobName);
  } else {
    state.HoldNameFromDoc = s.HoldNameFromDoc;
    if (s.HoldNameFromDoc == 0) {
      CopyName(state.HoldJobName, s.HoldJobName);
    } else {
      ClearName(state.HoldJobName);
    }
  }
  NameOrLogin(state.HoldUserName, s.HoldUserName);
  state.HoldBox = s.HoldBox;
  state.HoldJobOption = s.HoldJobOption;
  if (defaults) {
    ClearName(state.UsbJobName);
    ClearName(state.UsbDrive);
    state.UsbNameFromDoc = 1;
    state.UsbFolder = 1;
  } else {
    state.UsbNameFromDoc = s.UsbNameFromDoc;
    if (s.UsbNameFromDoc == 0) {
      CopyName(state.UsbJobName, s.UsbJobName);
    } else {
      ClearName(state.UsbJobName);
    }
    CopyName(state.UsbDrive, s.UsbDrive);
    state.UsbFolder = s.UsbFolder;
  }
  NameOrLogin(state.UsbUserName, s.UsbUserName);
  state.UsbJobOption = s.UsbJobOption;
  state.Preview = s.Preview;
}

void PaperLayoutPartToSheet(const ModelCaps& caps, const DocSettings& s, std::uint16_t fallbackPaper,
                            SheetState& state) {
  state.Duplex = s.Duplex;
  state.PaperIndex = ListIndex<std::uint16_t>(s.PaperIndex, fallbackPaper, caps.PaperCount());
  state.FreePaper = s.FreePaper;
  if (state.FreePaper == 1 && caps.Info.DocumentPaperCount > 0) {
    state.PaperIndex = static_cast<std::uint16_t>(caps.Info.DocumentPaperCount - 1);
  }
  state.FreeWidth = s.FreeWidth;
  state.FreeLength = s.FreeLength;
  state.SheetValue24 = static_cast<std::uint32_t>(s.SheetValue24);
  state.SheetValue28 = static_cast<std::uint32_t>(s.SheetValue28);
  state.FreeUnit = s.FreeUnit;
  state.Landscape = s.Landscape;
  state.OutputPaperIndex =
      ListIndex<std::uint16_t>(s.OutputPaperIndex, caps.Permanent.OutputPaperIndex, caps.Info.OutputPaperCount);
  state.BinIndex = ListIndex<std::uint8_t>(s.BinIndex, caps.Permanent.BinIndex, caps.Info.BinCount);
  state.UpLayout = s.UpLayout;
  state.UpFour = s.UpFour;
  state.RensyaLayout = s.RensyaLayout;
  state.RensyaOrder = s.RensyaOrder;
  state.Booklet = s.Booklet;
  state.Booklet4P = s.Booklet4P;
  state.BindingPosition = s.BindingPosition;
  state.BindingAmount = s.BindingAmount;
  state.BindingAmountInch = s.BindingAmountInch;
  state.BindingUnit = s.BindingUnit;
  state.AutoReduce = s.AutoReduce;
  state.FitPage = s.FitPage;
  state.Rotate = s.Rotate;
  state.SyuuiYohaku = s.SyuuiYohaku;
  state.ImagePosition = s.ImagePosition;
  std::copy(std::begin(s.ImagePositionOffsets), std::end(s.ImagePositionOffsets), state.ImagePositionOffsets);
  state.SheetByte2672 = s.SheetByte2672;
  state.ImagePositionEach = s.ImagePositionEach;
  LayoutBytesToChoice(state);
}

void ColorPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  state.ColorMode = s.ColorMode;
  state.OneInkIndex = s.OneInkIndex;
  state.Seihan = s.Seihan;
  state.OneInkColor = s.OneInkColor;
  state.Drum1Color = s.Drum1Color;
  state.Drum2Color = s.Drum2Color;
  state.SeparationKind = s.SeparationKind;
  state.SeparationModeA = s.SeparationModeA;
  state.SeparationModeB = s.SeparationModeB;
  state.StoredModeA = s.StoredModeA;
  state.StoredModeB = s.StoredModeB;
  state.StoredColorA = s.StoredColorA;
  state.StoredColorB = s.StoredColorB;
  std::uint8_t mask = 15;
  if (caps.Info.OsusumeSepaEnable != 1) mask &= static_cast<std::uint8_t>(~1u);
  if (caps.Info.DrillEnable != 1) mask &= static_cast<std::uint8_t>(~4u);
  if (caps.Info.AppSepaSupportEnable != 1) mask &= static_cast<std::uint8_t>(~8u);
  state.SeparationKindMask = mask;
}

void ImagePartToSheet(const DocSettings& s, SheetState& state) {
  state.PhotoMode = s.PhotoMode;
  state.AmiLine = s.AmiLine;
  state.AmiAngle = s.AmiAngle;
  state.PhotoSyurui = s.PhotoSyurui;
  state.Akarusa = s.Akarusa;
  state.Contrast = s.Contrast;
  state.GyakkouOn = s.GyakkouOn;
  state.Gyakkou = s.Gyakkou;
  state.Edge = s.Edge;
  state.KaityoSmooth = s.KaityoSmooth;
  state.TextProc = s.TextProc;
  state.TextVolumeA = s.TextVolumeA;
  state.TextVolumeB = s.TextVolumeB;
}

void PrintPartToSheet(const ModelCaps& caps, const DocSettings& s, SheetState& state) {
  state.SpeedIndex = ListIndex<std::uint8_t>(s.SpeedIndex, caps.Permanent.SpeedIndex, caps.Info.SpeedCount);
  state.Density1 = ListIndex<std::uint8_t>(s.Density1, caps.Permanent.Density1, caps.Info.DensityCount);
  state.Density2 = ListIndex<std::uint8_t>(s.Density2, caps.Permanent.Density2, caps.Info.DensityCount);
  state.Turbo = s.Turbo;
  state.Interval = s.Interval;
  state.SyouInkMode = s.SyouInkMode;
  state.Drum2LightPrint = s.Drum2LightPrint;
  state.ProgramPrint = s.ProgramPrint;
  if (s.ProgramPrint != 0) {
    std::copy(std::begin(s.ProgramPrintBlock), std::end(s.ProgramPrintBlock), state.ProgramPrintBlock);
    state.ProgramSeparator = s.ProgramSeparator;
  } else {
    for (ProgramGroup& g : state.ProgramPrintBlock) g = ProgramGroup{0, 1};
    state.ProgramPrintBlock[0].Copies = 1;
    state.ProgramSeparator = 0;
  }
  state.ReversePrint = s.ReversePrint;
  state.DrumReverse = s.DrumReverse;
  state.Ninsyo = s.Ninsyo;
  state.NinsyoNo = s.NinsyoNo;
  state.Kimitu = s.Kimitu;
  state.RGPanelReset = s.RGPanelReset;
}

void FinishingPartToSheet(const DocSettings& s, SheetState& state) {
  state.SortMode = s.SortMode;
  state.Staple = s.Staple;
  state.TapeSort = s.TapeSort;
  state.Interleaf = s.Interleaf;
}

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

void OutputPartToSettings(const SheetState& state, DocSettings& s) {
  const bool defaults = IsDefaultsMode(s);
  s.Copies = state.Copies;
  s.RenzokuMode = state.RenzokuMode;
  s.OutputMode = state.OutputMode;
  if (defaults) {
    s.HoldNameFromDoc = 1;
    ClearName(s.HoldJobName);
  } else {
    s.HoldNameFromDoc = state.HoldNameFromDoc;
    if (state.HoldNameFromDoc == 0) {
      CopyName(s.HoldJobName, state.HoldJobName);
    } else {
      ClearName(s.HoldJobName);
    }
  }
  NameOrLogin(s.HoldUserName, state.HoldUserName);
  s.HoldBox = state.HoldBox;
  s.HoldJobOption = state.HoldJobOption;
  if (defaults) {
    ClearName(s.UsbJobName);
    ClearName(s.UsbDrive);
    s.UsbNameFromDoc = 1;
    s.UsbFolder = 1;
  } else {
    s.UsbNameFromDoc = state.UsbNameFromDoc;
    if (state.UsbNameFromDoc == 0) {
      CopyName(s.UsbJobName, state.UsbJobName);
    } else {
      ClearName(s.UsbJobName);
    }
    CopyName(s.UsbDrive, state.UsbDrive);
    s.UsbFolder = state.UsbFolder;
  }
  NameOrLogin(s.UsbUserName, state.UsbUserName);
  s.UsbJobOption = state.UsbJobOption;
  s.Preview = state.Preview;
}

void PaperLayoutPartToSettings(const ModelCaps& caps, const SheetState& state, DocSettings& s) {
  SheetState bytes = state;
  LayoutChoiceToBytes(bytes);
  s.Duplex = state.Duplex;
  s.PaperIndex = state.PaperIndex;
  s.FreePaper = state.FreePaper;
  s.FreeWidth = state.FreeWidth;
  s.FreeLength = state.FreeLength;
  s.SheetValue24 = static_cast<std::int32_t>(state.SheetValue24);
  s.SheetValue28 = static_cast<std::int32_t>(state.SheetValue28);
  s.FreeUnit = state.FreeUnit;
  s.Landscape = state.Landscape;
  s.OutputPaperIndex = state.OutputPaperIndex;
  s.BinIndex = state.BinIndex;
  s.UpLayout = bytes.UpLayout;
  s.UpFour = bytes.UpFour;
  s.RensyaLayout = bytes.RensyaLayout;
  s.RensyaOrder = bytes.RensyaOrder;
  s.Booklet = bytes.Booklet;
  s.Booklet4P = bytes.Booklet4P;
  s.BindingPosition = state.BindingPosition;
  s.BindingAmount = state.BindingAmount;
  s.BindingAmountInch = state.BindingAmountInch;
  s.BindingUnit = state.BindingUnit;
  s.AutoReduce = state.AutoReduce;
  s.FitPage = state.FitPage;
  s.Rotate = state.Rotate;
  s.SyuuiYohaku = state.SyuuiYohaku;
  s.ImagePosition = state.ImagePosition;
  std::copy(std::begin(state.ImagePositionOffsets), std::end(state.ImagePositionOffsets), s.ImagePositionOffsets);
  s.SheetByte2672 = state.SheetByte2672;
  s.ImagePositionEach = state.ImagePositionEach;
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
  s.ColorMode = state.ColorMode;
  s.OneInkIndex = state.OneInkIndex;
  s.Seihan = state.Seihan;
  s.OneInkColor = state.OneInkColor;
  s.Drum1Color = state.Drum1Color;
  s.Drum2Color = state.Drum2Color;
  s.InkLab = state.InkLab;
  s.SeparationKind = state.SeparationKind;
  s.SeparationKindTwo = state.SeparationKind == 2 ? 1 : 0;
  s.SeparationModeA = state.SeparationModeA;
  s.SeparationModeACopy = state.SeparationModeA;
  s.SeparationModeB = state.SeparationModeB;
  if (IsDefaultsMode(s) && state.SeparationKind == 1) {
    state.StoredModeA = state.SeparationModeA;
    state.StoredModeB = state.SeparationModeB;
    state.StoredColorA = state.Drum1Color;
    state.StoredColorB = state.Drum2Color;
  }
  s.StoredModeA = state.StoredModeA;
  s.StoredModeB = state.StoredModeB;
  s.StoredColorA = state.StoredColorA;
  s.StoredColorB = state.StoredColorB;
}

void ImagePartToSettings(const SheetState& state, DocSettings& s) {
  s.PhotoMode = state.PhotoMode;
  s.AmiLine = state.AmiLine;
  s.AmiAngle = state.AmiAngle;
  s.PhotoSyurui = state.PhotoSyurui;
  s.Akarusa = state.Akarusa;
  s.Contrast = state.Contrast;
  s.GyakkouOn = state.GyakkouOn;
  s.Gyakkou = state.Gyakkou;
  s.Edge = state.Edge;
  s.KaityoSmooth = state.KaityoSmooth;
  s.TextProc = state.TextProc;
  s.TextVolumeA = state.TextVolumeA;
  s.TextVolumeB = state.TextVolumeB;
}

void PrintPartToSettings(const SheetState& state, DocSettings& s) {
  s.SpeedIndex = state.SpeedIndex;
  s.Density1 = state.Density1;
  s.Density2 = state.Density2;
  s.Turbo = state.Turbo;
  s.Interval = state.Interval;
  s.SyouInkMode = state.SyouInkMode;
  s.Drum2LightPrint = state.Drum2LightPrint;
  s.ProgramPrint = state.ProgramPrint;
  std::copy(std::begin(state.ProgramPrintBlock), std::end(state.ProgramPrintBlock), s.ProgramPrintBlock);
  s.ProgramSeparator = state.ProgramSeparator;
  std::fill(std::begin(s.Reserved1405), std::end(s.Reserved1405), std::uint8_t{0});
  s.ReversePrint = state.ReversePrint;
  s.DrumReverse = state.DrumReverse;
  s.Ninsyo = state.Ninsyo;
  s.NinsyoNo = state.NinsyoNo;
  s.Kimitu = state.Kimitu;
  s.RGPanelReset = state.RGPanelReset;
}

void FinishingPartToSettings(const SheetState& state, DocSettings& s) {
  s.SortMode = state.SortMode;
  s.Staple = state.Staple;
  s.TapeSort = state.TapeSort;
  s.Interleaf = state.Interleaf;
}

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
