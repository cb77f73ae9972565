#include "sheets/sheet_rules.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "device/device_status.h"
#include "settings/drum_pick.h"
#include "plat/dialog.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/private_devmode.h"
#include "sheets/control_kit.h"

const ComboRow kLayoutTypeRows[5] = {{848, 1, 0}, {849, 2, 1}, {850, 4, 2}, {851, 8, 3}, {852, 16, 4}};
const ComboRow kLayoutKindRows[8] = {{855, 2, 1},  {856, 4, 2},  {857, 8, 3},   {858, 16, 4},
                                     {859, 32, 5}, {860, 64, 6}, {861, 128, 7}, {862, 256, 8}};
const ComboRow kBindingRows[6] = {{880, 1, 0}, {881, 2, 1}, {882, 4, 2}, {883, 8, 3}, {884, 16, 4}, {885, 32, 5}};

namespace {

// Paper ids and exact sizes (micrometres) of the papers duplex takes.
constexpr std::uint16_t kDuplexPaperIds[] = {8, 9, 12};
struct PaperSize {
  std::int32_t width;
  std::int32_t length;
};
constexpr PaperSize kDuplexPaperSizes[] = {{297000, 420000}, {210000, 297000}, {257000, 364000}};

// Layout kind masks.
constexpr std::uint16_t kTwoPageKinds = 6;      // kinds 1-2
constexpr std::uint16_t kFourPageKinds = 120;   // kinds 3-6
constexpr std::uint16_t kBookletKinds = 384;    // kinds 7-8
constexpr std::uint16_t kBookletBindings = 33;  // positions 0 and 5
constexpr std::uint16_t kPlainBindings = 31;    // positions 0-4

template <std::size_t N>
void FillRows(HMODULE module, HWND page, int comboId, const ComboRow (&rows)[N], std::uint16_t mask) {
  HWND combo = GetDlgItem(page, comboId);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const ComboRow& row : rows) {
    if (!(mask & row.Bit)) continue;
    WCHAR text[kKitTextUnits] = {};
    LoadStringW(module, row.StringId, text, kKitTextUnits);
    const LRESULT at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    if (at >= 0) SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), row.Data);
  }
}

void ClearLayout(SheetState& s) {
  s.LayoutMode = s.LayoutSub = s.LayoutKind = 0;
}

InkLab LabOf(const SheetState& s, int code) {
  const InkLab* lab = s.InkLab.Find(code);
  return lab ? *lab : InkLab{0, 0, 0};
}

// 0.1 mm to thousandths of an inch, rounded half away from zero.
std::int32_t TenthMmToMilInch(std::int32_t tenths) {
  const std::int64_t v = std::int64_t{tenths} * 1000;
  const std::int64_t magnitude = ((v < 0 ? -v : v) + 127) / 254;
  return static_cast<std::int32_t>(v < 0 ? -magnitude : magnitude);
}

// Marks that are 0 become 2 for the given colours.
void MarkColors(std::uint8_t (&marks)[kColorIdCount], std::initializer_list<int> colors) {
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (marks[i] != 0) continue;
    for (int c : colors) {
      if (c != 0 && ColorIdList[i] == c) marks[i] = 2;
    }
  }
}

bool ToUtf8Address(const WCHAR* address, std::string& out) {
  const std::u16string_view text = plat::view(address);
  if (text.empty() || text.size() > 20) return false;
  out = plat::utf8(text);
  return !out.empty();
}

}  // namespace

bool LayoutPaperAllowed(std::size_t documentPapers, std::uint8_t freePaper, std::uint16_t paperIndex,
                        std::uint16_t outputPaperIndex) {
  if (outputPaperIndex != 0) return true;
  return freePaper == 0 && documentPapers > 0 && paperIndex != documentPapers - 1;
}

bool IsDuplexPaper(std::size_t documentPapers, std::uint8_t freePaper, const PaperEntry* papers,
                   std::uint16_t paperIndex, const PaperEntry* outputPapers, std::uint16_t outputPaperIndex) {
  const PaperEntry* paper = nullptr;
  if (outputPaperIndex != 0) {
    paper = outputPapers ? &outputPapers[outputPaperIndex] : nullptr;
  } else if (freePaper == 0 && documentPapers > 0 && paperIndex != documentPapers - 1) {
    paper = papers ? &papers[paperIndex] : nullptr;
  }
  if (!paper) return false;
  for (std::uint16_t id : kDuplexPaperIds) {
    if (paper->PaperId == id) return true;
  }
  for (const PaperSize& size : kDuplexPaperSizes) {
    if (paper->Width == size.width && paper->Length == size.length) return true;
  }
  return false;
}

bool IsDuplexSpeed(const LevelEntry& speed) { return speed.Value <= 3; }

void FitLayoutToPaper(HWND page, DocSheetContext& context, SheetState& state) {
  const ModelCaps& caps = context.Caps;
  const DocSettings& permanent = caps.Permanent;
  const std::size_t documents = caps.Info.DocumentPaperCount;
  if (!LayoutPaperAllowed(documents, state.FreePaper, state.PaperIndex, state.OutputPaperIndex)) {
    state.UpLayout = state.UpFour = state.RensyaLayout = state.RensyaOrder = state.Booklet = state.Booklet4P = 0;
    ClearLayout(state);
    state.BindingPosition = permanent.BindingPosition;
    state.FitPage = permanent.FitPage;
    state.SyuuiYohaku = permanent.SyuuiYohaku;
    state.ImagePosition = permanent.ImagePosition;
  }
  const bool outputInList = state.OutputPaperIndex < caps.Info.OutputPaperCount;
  const bool paperInList = state.PaperIndex < caps.PaperCount();
  if (outputInList && paperInList && caps.Info.DuplexEnable == 1 &&
      IsDuplexPaper(documents, state.FreePaper, caps.Papers, state.PaperIndex, caps.OutputPapers,
                    state.OutputPaperIndex)) {
    state.LayoutTypeMask = 31;
  } else {
    state.Duplex = permanent.Duplex;
    state.Booklet = state.Booklet4P = 0;
    if (state.LayoutMode > kLayoutNup) ClearLayout(state);
    state.LayoutTypeMask = 7;
  }
  // A layout the model does not offer (its availability byte is not 1) is never listed.
  const std::uint8_t offered[] = {1, caps.Info.RensyaEnable, caps.Info.NupEnable, caps.Info.BookletEnable,
                                  caps.Info.FourPBookletEnable};
  for (std::uint8_t mode = 1; mode < 5; ++mode) {
    if (offered[mode] != 1) state.LayoutTypeMask = static_cast<std::uint16_t>(state.LayoutTypeMask & ~(1u << mode));
  }
  if (state.LayoutMode > 4 || !(state.LayoutTypeMask & (1u << state.LayoutMode))) ClearLayout(state);
  FillLayoutTypeCombo(state.ResourceDll, page, state.LayoutTypeMask);
  RefreshLayoutChoices(page, state);
  if (caps.Defaults.AppPageApplied == 1) {
    // The application's page record fixes the page fields.
    state.UpLayout = state.UpFour = state.RensyaLayout = state.RensyaOrder = state.Booklet = state.Booklet4P = 0;
    state.OutputPaperIndex = 0;
    state.FreePaper = 1;
    state.FreeUnit = 0;
    state.Duplex = 0;
    ClearLayout(state);
    state.BindingPosition = state.FitPage = state.SyuuiYohaku = state.ImagePosition = 0;
  }
}

void RefreshLayoutChoices(HWND page, SheetState& state) {
  state.LayoutKindMask = 0;
  state.BindingMask = 0;
  switch (state.LayoutMode) {
    case kLayoutRepeat:
      state.LayoutKind = 0;
      if (state.LayoutSub != 1 && state.LayoutSub != 2) state.LayoutSub = 1;
      break;
    case kLayoutNup:
      if (state.LayoutSub == 2) {
        if (state.LayoutKind < 3 || state.LayoutKind > 6) state.LayoutKind = 3;
        state.LayoutKindMask = kFourPageKinds;
      } else if (state.LayoutSub == 1) {
        if (state.LayoutKind < 1 || state.LayoutKind > 2) state.LayoutKind = 1;
        state.LayoutKindMask = kTwoPageKinds;
      } else {
        state.LayoutSub = 1;
        state.LayoutKind = 1;
        state.LayoutKindMask = kTwoPageKinds;
      }
      break;
    case kLayoutBooklet:
    case kLayoutBooklet4P:
      state.LayoutSub = 0;
      if (state.LayoutKind != 7 && state.LayoutKind != 8) state.LayoutKind = 7;
      state.LayoutKindMask = kBookletKinds;
      if (state.BindingPosition != 0 && state.BindingPosition != 5) state.BindingPosition = 0;
      state.BindingMask = kBookletBindings;
      FillLayoutKindCombo(state.ResourceDll, page, state.LayoutKindMask);
      FillBindingCombo(state.ResourceDll, page, state.BindingMask);
      return;
    default:
      state.LayoutSub = 0;
      state.LayoutKind = 0;
      break;
  }
  if (state.BindingPosition > 4) state.BindingPosition = 0;
  state.BindingMask = kPlainBindings;
  FillLayoutKindCombo(state.ResourceDll, page, state.LayoutKindMask);
  FillBindingCombo(state.ResourceDll, page, state.BindingMask);
}

void OnLayoutTypeChanged(HWND page, const ModelCaps& caps, SheetState& state, std::uint8_t previousMode) {
  const DocSettings& permanent = caps.Permanent;
  const bool wasBooklet = previousMode == kLayoutBooklet || previousMode == kLayoutBooklet4P;
  const std::uint8_t previousDuplex = state.Duplex;
  if (state.LayoutMode != kLayoutNone) {
    state.ImagePosition = 0;
    if (state.LayoutMode == kLayoutBooklet || state.LayoutMode == kLayoutBooklet4P) {
      state.Duplex = 2;
      state.SyuuiYohaku = 0;
      OnDuplexChanged(caps, state, previousDuplex);
    } else if (wasBooklet) {
      state.SyuuiYohaku = permanent.SyuuiYohaku;
    }
  } else {
    state.ImagePosition = permanent.ImagePosition;
    if (wasBooklet) {
      state.SyuuiYohaku = permanent.SyuuiYohaku;
      OnDuplexChanged(caps, state, previousDuplex);
    }
  }
  RefreshLayoutChoices(page, state);
}

void OnDuplexChanged(const ModelCaps& caps, SheetState& state, std::uint8_t previousDuplex) {
  const DocSettings& permanent = caps.Permanent;
  if (state.Duplex != 0) {
    state.ColorMode = 2;
    state.Seihan = 2;
    state.SeparationKind = 0;
    const LevelEntry* speed = SpeedAt(caps, state.SpeedIndex);
    if (!speed || !IsDuplexSpeed(*speed)) state.SpeedIndex = 0;
    state.Turbo = 0;
    state.Interval = 0;
    if (previousDuplex == 0) {
      state.ImagePositionEach = permanent.ImagePositionEach;
      state.Drum2LightPrint = permanent.Drum2LightPrint;
      state.DrumReverse = permanent.DrumReverse;
    }
  } else {
    state.Turbo = permanent.Turbo;
    state.Interval = permanent.Interval;
    if (previousDuplex != 0) {
      state.ImagePositionEach = 0;
      state.Drum2LightPrint = 0;
      state.DrumReverse = 0;
    }
  }
}

void ImagePositionOn(SheetState& state) {
  ClearLayout(state);
  state.FitPage = 1;
}

void ResetForSeparationKind3(SheetState& state) {
  state.OutputPaperIndex = 0;
  ClearLayout(state);
  state.ImagePosition = 0;
  state.Seihan = 2;
  state.SeparationModeA = 4;
  state.SeparationModeB = 5;
}

void ImagePositionLimits(HWND, const ModelCaps& caps, SheetState& state) {
  const PaperEntry* output = state.OutputPaperIndex != 0 ? OutputPaperAt(caps, state.OutputPaperIndex) : nullptr;
  const bool freeSize = caps.Info.DocumentPaperCount > 0 && state.PaperIndex == caps.Info.DocumentPaperCount - 1;
  const PaperEntry* paper = PaperAt(caps, state.PaperIndex);
  if (!output || (!freeSize && !paper)) {
    state.ImagePosition = 0;
    state.ImagePositionAvail = 0;
    return;
  }
  std::int64_t width = freeSize ? state.FreeWidth : paper->Width;
  std::int64_t length = freeSize ? state.FreeLength : paper->Length;
  if (state.Landscape) std::swap(width, length);
  const bool fits = output->Width >= width && output->Length >= length;
  const bool larger = output->Width > width || output->Length > length;
  if (!fits || !larger) {
    state.ImagePosition = 0;
    state.ImagePositionAvail = 0;
    return;
  }
  state.ImagePositionAvail = 1;
  const auto e = static_cast<std::int32_t>((output->Length - length) / 100);
  const auto f = static_cast<std::int32_t>((output->Width - width) / 200);
  for (int set = 0; set < 2; ++set) {
    std::int32_t* o = &state.ImagePositionOffsets[4 * set];
    ClampToRange(&o[0], -f, f);
    ClampToRange(&o[1], 0, e);
    ClampToRange(&o[2], TenthMmToMilInch(-f), TenthMmToMilInch(f));
    ClampToRange(&o[3], 0, TenthMmToMilInch(e));
  }
}

void FillLayoutTypeCombo(HMODULE module, HWND page, std::uint16_t mask) {
  FillRows(module, page, kLayoutTypeCombo, kLayoutTypeRows, mask);
}
void FillLayoutKindCombo(HMODULE module, HWND page, std::uint16_t mask) {
  FillRows(module, page, kLayoutKindCombo, kLayoutKindRows, mask);
}
void FillBindingCombo(HMODULE module, HWND page, std::uint16_t mask) {
  FillRows(module, page, kBindingCombo, kBindingRows, mask);
}

void FillSpeedCombo(HWND page, const ModelCaps& caps, SheetState& state) {
  HWND combo = GetDlgItem(page, kSpeedCombo);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  const LevelEntry* current = SpeedAt(caps, state.SpeedIndex);
  if (state.Duplex && (!current || !IsDuplexSpeed(*current))) state.SpeedIndex = 0;
  for (std::size_t i = 0; i < caps.Info.SpeedCount; ++i) {
    const LevelEntry* speed = SpeedAt(caps, i);
    if (!speed || (state.Duplex && !IsDuplexSpeed(*speed))) continue;
    const WCHAR* name = state.SpeedNames.At(i);
    const LRESULT at = SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name ? name : u""));
    if (at < 0) continue;
    SendMessageW(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
    if (i == state.SpeedIndex) SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
  }
}

void AssignDrumModes(SheetState& state) {
  std::int32_t modeA = state.StoredModeA;
  std::int32_t modeB = state.StoredModeB;
  AssignDrumColors(state.StoredColorA, LabOf(state, state.StoredColorA), state.StoredColorB,
                   LabOf(state, state.StoredColorB), state.Drum1Color, LabOf(state, state.Drum1Color),
                   state.Drum2Color, LabOf(state, state.Drum2Color), &modeA, &modeB);
  if (modeA != kNoAssignment) state.SeparationModeA = static_cast<std::uint8_t>(modeA);
  if (modeB != kNoAssignment) state.SeparationModeB = static_cast<std::uint8_t>(modeB);
  state.AssignedModeA = static_cast<std::uint8_t>(modeA);
  state.AssignedModeB = static_cast<std::uint8_t>(modeB);
}

void RefreshColorAssignment(SheetState& state) {
  if (state.SeparationKind == 0) {
    AssignDrumModes(state);
  } else {
    state.AssignedModeA = state.AssignedModeB = static_cast<std::uint8_t>(kNoAssignment);
  }
}

void BuildAvailColorList(HMODULE module, HWND page, std::uint16_t& count, InkCode* ids,
                         const std::uint8_t (&marks)[kColorIdCount], std::uint8_t oneInkFlag) {
  count = 0;
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (marks[i] == 1 || marks[i] == 2) ids[count++] = ColorIdList[i];
  }
  const int combos[] = {oneInkFlag ? kOneInkCombo : 0, kDrum1Combo, kDrum2Combo};
  for (int id : combos) {
    if (id == 0) continue;
    HWND combo = GetDlgItem(page, id);
    if (!combo) continue;
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (std::uint16_t n = 0; n < count; ++n) {
      WCHAR name[kKitTextUnits] = {};
      LoadStringW(module, static_cast<UINT>(ids[n]), name, kKitTextUnits);
      SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
  }
}

void BuildDrumColorList(HWND page, SheetState& state, std::uint8_t oneInkFlag) {
  PickDrumColors(std::span<const std::uint8_t, kColorIdCount>(state.InkMarks), state.OneInkColor, state.Drum1Color,
                 state.Drum2Color, oneInkFlag);
  BuildAvailColorList(state.ResourceDll, page, state.AvailColorCount, state.AvailColors, state.InkMarks, oneInkFlag);
  for (std::uint16_t n = 0; n < state.AvailColorCount; ++n) {
    if (oneInkFlag && state.AvailColors[n] == state.OneInkColor) state.OneInkIndex = static_cast<std::uint8_t>(n);
    if (state.AvailColors[n] == state.Drum1Color) state.DrumComboIndex[0] = static_cast<std::uint8_t>(n);
    if (state.AvailColors[n] == state.Drum2Color) state.DrumComboIndex[1] = static_cast<std::uint8_t>(n);
  }
}

int QueryPrinterOptions(const WCHAR* address, bool snmp, OptionAnswer& answer) {
  std::string ip;
  if (!ToUtf8Address(address, ip) || !snmp) return 0;
  std::int32_t value = 0;
  OptionRecord options[9];
  if (!QueryDeviceValue(ip.c_str(), &value) || !QueryOptionTable(ip.c_str(), options)) return 0;
  answer.Bytes[4] = value > 0 ? 1 : 0;
  for (const OptionRecord& r : options) {
    if (r.Kind == 1) answer.Bytes[3] = static_cast<std::uint8_t>(r.Value);
    if (r.Kind == 4) answer.Bytes[5] = static_cast<std::uint8_t>(r.Value);
  }
  return 2;
}

int QueryPrinterDrums(const WCHAR* address, bool snmp, PrinterQueryBlock& block) {
  std::string ip;
  int result = 0;
  DrumRecord drums[2] = {};
  if (ToUtf8Address(address, ip)) {
    DrumRecord reported[2];
    if (snmp && QueryDrumTable(ip.c_str(), reported) && PlaceDrumRecords(reported, drums) == 2) {
      result = 2;
    } else {
      // Without an answer over SNMP the status file still tells the drums.
      std::int32_t ink1 = 0, ink2 = 0;
      InkLab lab1{}, lab2{};
      if (ReadRsfStatus(ip.c_str(), &ink1, &lab1, &ink2, &lab2)) {
        drums[0] = DrumRecord{1, 0, ink1, 0, lab1};
        drums[1] = DrumRecord{2, 0, ink2, 0, lab2};
        result = 1;
      }
    }
  }
  if (result == 0) {
    block.Drum1Color = block.Drum2Color = 0;
    return 0;
  }
  block.Drum1Color = static_cast<InkCode>(drums[0].Ink);
  block.Drum2Color = static_cast<InkCode>(drums[1].Ink);
  block.Drum1Lab = drums[0].Lab;
  block.Drum2Lab = drums[1].Lab;
  MarkColors(block.Marks, {block.Drum1Color, block.Drum2Color});
  return result;
}

int QueryPrinter(const WCHAR* address, bool snmp, OptionAnswer& answer, PrinterQueryBlock& block) {
  PrinterQueryBlock work{};
  std::copy(std::begin(block.Marks), std::end(block.Marks), work.Marks);
  OptionAnswer options{};
  const int optionResult = QueryPrinterOptions(address, snmp, options);
  const int drums = QueryPrinterDrums(address, optionResult == 2 && snmp, work);
  if (drums == 0) {
    block.Drum1Color = work.Drum1Color;
    block.Drum2Color = work.Drum2Color;
    return 0;
  }
  if (optionResult == 2) answer = options;
  block = work;
  return optionResult == 2 ? drums : 1;
}

int QueryPrinterIntoSheet(const WCHAR* address, bool snmp, DocSettings& settings, SheetState& state) {
  PrinterQueryBlock block{};
  std::copy(std::begin(state.InkMarks), std::end(state.InkMarks), block.Marks);
  OptionAnswer options{};
  const int result = QueryPrinter(address, snmp, options, block);
  if (result == 0) {
    state.PrinterDrum1Color = block.Drum1Color;
    state.PrinterDrum2Color = block.Drum2Color;
    return 0;
  }
  if (result == 2) {
    settings.HoldMemoryInstalled = options.Bytes[4];
    settings.TapeSorterInstalled = options.Bytes[3];
    settings.BinListInstalled = options.Bytes[5];
  }
  std::copy(std::begin(block.Marks), std::end(block.Marks), state.InkMarks);
  state.OneInkColor = state.Drum1Color = state.PrinterDrum1Color = block.Drum1Color;
  state.Drum2Color = state.PrinterDrum2Color = block.Drum2Color;
  if (IsInkCode(block.Drum1Color)) state.InkLab.Entry[block.Drum1Color - kInkCodeFirst] = block.Drum1Lab;
  if (IsInkCode(block.Drum2Color)) state.InkLab.Entry[block.Drum2Color - kInkCodeFirst] = block.Drum2Lab;
  return result;
}

int QueryPrinterAtOpen(const WCHAR* address, bool snmp, ModelCaps& caps, SheetState& state) {
  DocSettings& working = caps.Defaults;
  const int result = QueryPrinterIntoSheet(address, snmp, working, state);
  if (result == 0) return 0;
  // The answer may add the hold modes or take them away.
  state.OutputModeMask = OutputModeMaskFor(caps, working);
  ApplySortOptionRule(working, caps.Permanent);
  ApplyTapeSortOptionRule(working, caps.Permanent);
  ApplyHoldMemoryOptionRule(working, caps.Permanent);
  ApplyBinListOptionRule(working, caps.Permanent);
  state.SortMode = working.SortMode;
  state.Staple = working.Staple;
  state.TapeSort = working.TapeSort;
  state.Interleaf = working.Interleaf;
  state.ProgramSeparator = working.ProgramSeparator;
  state.OutputMode = working.OutputMode;
  return result;
}

void ApplySettingsToSheet(HWND page, const DocSettings& block, DocSheetContext& context, SheetState& state) {
  ModelCaps& caps = context.Caps;
  const DocSettings& working = caps.Defaults;
  DocSettings copy = block;
  copy.HoldMemoryInstalled = working.HoldMemoryInstalled;
  copy.SheetMode = working.SheetMode;
  copy.SortKind = working.SortKind;
  copy.SorterInstalled = working.SorterInstalled;
  copy.StaplerInstalled = working.StaplerInstalled;
  copy.TapeSorterInstalled = working.TapeSorterInstalled;
  copy.BinListInstalled = working.BinListInstalled;
  ApplyHoldMemoryOptionRule(copy, caps.Permanent);
  ApplySortOptionRule(copy, caps.Permanent);
  ApplyTapeSortOptionRule(copy, caps.Permanent);
  ApplyBinListOptionRule(copy, caps.Permanent);
  if (working.AppPageApplied == 1) {
    copy.OutputPaperIndex = working.OutputPaperIndex;
    copy.FreeWidth = working.FreeWidth;
    copy.FreeLength = working.FreeLength;
    copy.FreePaper = working.FreePaper;
    copy.FreeUnit = working.FreeUnit;
    copy.Landscape = working.Landscape;
    copy.Rotate = working.Rotate;
    copy.Duplex = working.Duplex;
    copy.UpLayout = working.UpLayout;
    copy.RensyaLayout = working.RensyaLayout;
    copy.Booklet = working.Booklet;
    copy.Booklet4P = working.Booklet4P;
    copy.BindingPosition = working.BindingPosition;
    copy.FitPage = working.FitPage;
    copy.SyuuiYohaku = working.SyuuiYohaku;
    copy.ImagePosition = working.ImagePosition;
  }
  CopyPartsToSheet(caps, copy, caps.Permanent.PaperIndex, state);
  MarkColors(state.InkMarks, {state.OneInkColor, state.Drum1Color, state.Drum2Color});
  BuildDrumColorList(page, state, caps.Info.DrumColorPattern);
  state.PrinterQueried = 1;
}
