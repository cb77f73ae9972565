#include "sheets/print_page.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "plat/strings.h"
#include "sheets/control_kit.h"
#include "sheets/output_controls.h"
#include "sheets/page_protocol.h"
#include "sheets/program_print.h"
#include "sheets/sheet_rules.h"

namespace {

// Print page controls.
constexpr int kSpeedLabel = 3170, kTurboCheck = 3172;
constexpr int kDensity1Label = 3173, kDensity1Combo = 3174, kDensity2Label = 3175, kDensity2Combo = 3176;
constexpr int kIntervalCheck = 3177, kInkSavingCheck = 3178, kLightPrintCheck = 3193;
constexpr int kCopiesLabel = 3179, kRenzokuLabel = 3182;
constexpr int kProgramCheck = 3184, kProgramButton = 3185;
constexpr int kNinsyoCheck = 3186, kNinsyoLabel = 3187, kNinsyoEdit = 3188, kNinsyoSpin = 3189, kNinsyoRange = 3190;
constexpr int kKimituCheck = 3191, kPanelResetCheck = 3192, kReverseCheck = 3194, kDrumReverseCheck = 3195;
constexpr int kRestoreButton = 2009;
constexpr int kSpeedGroup = 4028, kDensityGroup = 4029, kCopiesGroup = 4030, kProgramGroup = 4032;
constexpr int kReverseGroup = 4033, kNinsyoGroup = 4034, kKimituGroup = 4035, kPanelResetGroup = 4036;

// Finishing page controls.
constexpr int kSortLabel = 3162, kSortCombo = 3163, kStapleLabel = 3164, kStapleCombo = 3165;
constexpr int kTapeSortLabel = 3166, kTapeSortCombo = 3167, kInterleafLabel = 3168, kInterleafCombo = 3169;
constexpr int kSortGroup = 4037, kTapeGroup = 4039;
constexpr UINT kSortStrings[] = {3536, 3537, 3538, 3539, 3544};
constexpr UINT kStapleStrings[] = {3545, 3546, 3547, 3548, 3549};
constexpr UINT kTapeSortStrings[] = {3552, 3553, 3554, 3555};
constexpr UINT kInterleafStrings[] = {3556, 3557, 3558, 3559};

// About page controls.
constexpr int kNoticeText = 3001, kVersionText = 3002, kModelText = 3004;
constexpr const WCHAR* kNotice = u"Printer driver for NEVO digital duplicators.";

std::u16string Decimal(std::int32_t value) { return plat::u16(std::to_string(value)); }

void FillNameSlots(HWND page, int comboId, const NameSlots& names) {
  SendDlgItemMessageW(page, comboId, CB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < names.Count; ++i) {
    const WCHAR* name = names.At(i);
    SendDlgItemMessageW(page, comboId, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name ? name : u""));
  }
}

// ---------------------------------------------------------------------------
// Print page

void PrintFill(HWND page, DocSheetContext& context) {
  const ModelCaps& caps = context.Caps;
  SheetState& state = context.State;
  FillNameSlots(page, kDensity1Combo, state.DensityNames);
  FillNameSlots(page, kDensity2Combo, state.DensityNames);
  FillOutputControls(state.ResourceDll, page, caps, state.OutputModeMask);
  const NumberRange range = NinsyoNoRange(caps.Info);
  SetSpinRange(page, kNinsyoSpin, range.Minimum, range.Maximum);
  const std::u16string low = Decimal(range.Minimum), high = Decimal(range.Maximum);
  FormatItemText(page, kNinsyoRange, 2, low.c_str(), high.c_str());
  LimitEditText(page, kNinsyoEdit, static_cast<int>(std::max(low.size(), high.size())));
  FillSpeedCombo(page, caps, state);
}

void PrintEnableRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = context.Caps.Info;
  const SheetState& s = context.State;
  const bool store = IsStoreMode(s.OutputMode);
  const bool duplex = s.Duplex != 0;
  SetGroupState(page, info.SpeedListEnable, s.Turbo != 1 && !store, {kSpeedLabel, kSpeedCombo});
  SetGroupState(page, info.TurboEnable, !duplex && !store, {kTurboCheck});
  SetGroupState(page, info.IntervalEnable, !duplex && !store, {kIntervalCheck});
  SetGroupState(page, info.DensityListEnable, s.SyouInkMode != 1 && !store, {kDensity1Label, kDensity1Combo});
  SetGroupState(page, info.DensityListEnable, s.SyouInkMode != 1 && !store && s.ColorMode != 1,
                {kDensity2Label, kDensity2Combo});
  SetGroupState(page, info.SyouInkModeEnable, true, {kInkSavingCheck});
  SetGroupState(page, info.ReversePrintEnable, true, {kReverseCheck});
  SetGroupState(page, info.Drum2LightPrintEnable, duplex, {kLightPrintCheck});
  SetGroupState(page, info.DrumReverseEnable, duplex, {kDrumReverseCheck});
  // Copies: a 0 shows them disabled like any other reason.
  SetGroupState(page, info.PrintCopiesEnable == 2 ? 2 : 1,
                info.PrintCopiesEnable != 0 && s.SeparationKind != 2 && !store && s.ProgramPrint != 1,
                {kCopiesLabel, kCopiesEdit, kCopiesSpin});
  SetGroupState(page, info.RenzokuModeEnable, s.SeparationKind != 2 && !store, {kRenzokuLabel, kRenzokuCombo});
  OutputModeEnableRules(page, context.Caps, s);

  const bool programAllowed = s.SeparationKind != 2 && !store;
  SetGroupState(page, info.ProgramPrintEnable, programAllowed, {kProgramCheck});
  SetGroupState(page, info.ProgramPrintEnable, programAllowed && s.ProgramPrint != 0, {kProgramButton});
  ShowItemIf(page, kProgramGroup, info.ProgramPrintEnable != 2);

  const bool usbAutomatic = info.UsbOutEnable == 1 && s.OutputMode == 4;
  SetGroupState(page, info.NinsyoEnable, !usbAutomatic, {kNinsyoCheck});
  SetGroupState(page, info.NinsyoEnable, !usbAutomatic && s.Ninsyo != 0,
                {kNinsyoLabel, kNinsyoEdit, kNinsyoSpin, kNinsyoRange});
  ShowItemIf(page, kNinsyoGroup, info.NinsyoEnable != 2);

  SetGroupState(page, info.KimituEnable, !store, {kKimituCheck});
  ShowItemIf(page, kKimituGroup, info.KimituEnable != 2);
  SetGroupState(page, info.RGPanelResetEnable, !store, {kPanelResetCheck});
  ShowItemIf(page, kPanelResetGroup, info.RGPanelResetEnable != 2);

  ShowItemIf(page, kSpeedGroup, !(info.SpeedListEnable == 2 && info.TurboEnable == 2));
  ShowItemIf(page, kDensityGroup, !(info.DensityListEnable == 2 && info.IntervalEnable == 2 &&
                                      info.SyouInkModeEnable == 2 && info.Drum2LightPrintEnable == 2));
  ShowItemIf(page, kCopiesGroup, !(info.PrintCopiesEnable == 2 && info.RenzokuModeEnable == 2));
  ShowItemIf(page, kReverseGroup, !(info.ReversePrintEnable == 2 && info.DrumReverseEnable == 2));
}

void PrintRefresh(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const LevelEntry* speed = SpeedAt(context.Caps, s.SpeedIndex);
  if (s.Duplex && (!speed || !IsDuplexSpeed(*speed))) s.SpeedIndex = 0;
  s.Refreshing = 1;
  SelectRowByData(page, kSpeedCombo, s.SpeedIndex);
  SetCheck(page, kTurboCheck, s.Turbo);
  SetComboSel(page, kDensity1Combo, s.Density1);
  SetComboSel(page, kDensity2Combo, s.Density2);
  SetCheck(page, kIntervalCheck, s.Interval);
  SetCheck(page, kInkSavingCheck, s.SyouInkMode);
  SetCheck(page, kLightPrintCheck, s.Drum2LightPrint);
  RefreshOutputControls(page, s);
  SetCheck(page, kProgramCheck, s.ProgramPrint);
  SetCheck(page, kReverseCheck, s.ReversePrint);
  SetCheck(page, kDrumReverseCheck, s.DrumReverse);
  SetCheck(page, kNinsyoCheck, s.Ninsyo);
  SetFixedPointEdit(page, kNinsyoEdit, kNinsyoSpin, 0, s.NinsyoNo);
  SetCheck(page, kKimituCheck, s.Kimitu);
  SetCheck(page, kPanelResetCheck, s.RGPanelReset);
  s.Refreshing = 0;
  PrintEnableRules(page, context);
}

void PrintActivate(HWND page, DocSheetContext& context) { FillSpeedCombo(page, context.Caps, context.State); }

// Numbers typed and confirmed with Enter never saw EN_KILLFOCUS.
void PrintDeactivate(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  TakeNumberEdit(page, kCopiesEdit, kCopiesSpin, s.Copies);
  TakeNumberEdit(page, kNinsyoEdit, kNinsyoSpin, s.NinsyoNo);
}

bool PrintCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const DocSettings& permanent = context.Caps.Permanent;
  switch (id) {
    case kRestoreButton:
      if (code != BN_CLICKED) return false;
      ApplySettingsToSheet(page, permanent, context, s);
      FillSpeedCombo(page, context.Caps, s);
      return true;
    case kSpeedCombo: {
      if (code != CBN_SELCHANGE) return false;
      const LPARAM index = SelectedRowData(page, kSpeedCombo);
      if (index < 0 || index == s.SpeedIndex) return false;
      s.SpeedIndex = static_cast<std::uint8_t>(index);
      return true;
    }
    case kDensity1Combo: return TakeComboSelection(page, id, code, s.Density1);
    case kDensity2Combo: return TakeComboSelection(page, id, code, s.Density2);
    case kTurboCheck:
      if (!TakeCheck(page, id, code, s.Turbo)) return false;
      if (s.Turbo) s.SpeedIndex = permanent.SpeedIndex;
      return true;
    case kIntervalCheck: return TakeCheck(page, id, code, s.Interval);
    case kInkSavingCheck:
      if (!TakeCheck(page, id, code, s.SyouInkMode)) return false;
      if (s.SyouInkMode) {
        s.Density1 = permanent.Density1;
        s.Density2 = permanent.Density2;
      }
      return true;
    case kProgramCheck:
      if (!TakeCheck(page, id, code, s.ProgramPrint)) return false;
      if (s.ProgramPrint) {
        s.Copies = permanent.Copies;
        s.TapeSort = permanent.TapeSort;
        s.Interleaf = permanent.Interleaf;
      }
      return true;
    case kProgramButton: return code == BN_CLICKED && ProgramPrintDialog(page, context, s) == 1;
    case kNinsyoCheck: return TakeCheck(page, id, code, s.Ninsyo);
    case kNinsyoEdit: return NumberEditCommand(page, s, kNinsyoEdit, kNinsyoSpin, code, s.NinsyoNo);
    case kKimituCheck: return TakeCheck(page, id, code, s.Kimitu);
    case kPanelResetCheck: return TakeCheck(page, id, code, s.RGPanelReset);
    case kLightPrintCheck: return TakeCheck(page, id, code, s.Drum2LightPrint);
    case kReverseCheck: return TakeCheck(page, id, code, s.ReversePrint);
    case kDrumReverseCheck: return TakeCheck(page, id, code, s.DrumReverse);
    default: return OutputControlsCommand(page, context, id, code);
  }
}

// ---------------------------------------------------------------------------
// Finishing page

void FinishingFill(HWND page, DocSheetContext& context) {
  const HMODULE module = context.State.ResourceDll;
  AddResourceStrings(module, page, kSortCombo, kSortStrings, static_cast<int>(std::size(kSortStrings)));
  AddResourceStrings(module, page, kStapleCombo, kStapleStrings, static_cast<int>(std::size(kStapleStrings)));
  AddResourceStrings(module, page, kTapeSortCombo, kTapeSortStrings, static_cast<int>(std::size(kTapeSortStrings)));
  AddResourceStrings(module, page, kInterleafCombo, kInterleafStrings,
                     static_cast<int>(std::size(kInterleafStrings)));
}

void FinishingRefresh(HWND page, DocSheetContext& context) {
  const SheetState& s = context.State;
  const CapsInfo& info = context.Caps.Info;
  const DocSettings& working = context.Caps.Defaults;
  SetComboSel(page, kSortCombo, s.SortMode);
  SetComboSel(page, kStapleCombo, s.Staple);
  SetComboSel(page, kTapeSortCombo, s.TapeSort);
  SetComboSel(page, kInterleafCombo, s.Interleaf);

  const bool store = IsStoreMode(s.OutputMode);
  SetGroupState(page, info.SortEnable, working.SortKind == 0 && !store, {kSortLabel, kSortCombo});
  SetGroupState(page, info.StapleEnable, working.SortKind != 2 && !store, {kStapleLabel, kStapleCombo});
  SetGroupState(page, info.TapeSortEnable,
                working.TapeSorterInstalled != 0 && s.RenzokuMode == 0 && s.ProgramPrint != 1 && s.Interleaf < 2 &&
                    !store,
                {kTapeSortLabel, kTapeSortCombo});
  SetGroupState(page, info.AishiEnable,
                working.BinListInstalled != 0 && s.ProgramPrint != 1 && s.TapeSort < 2 && !store,
                {kInterleafLabel, kInterleafCombo});
  ShowItemIf(page, kSortGroup, !(info.SortEnable == 2 && info.StapleEnable == 2));
  ShowItemIf(page, kTapeGroup, !(info.TapeSortEnable == 2 && info.AishiEnable == 2));
}

bool FinishingCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  switch (id) {
    case kSortCombo: return TakeComboSelection(page, id, code, s.SortMode);
    case kStapleCombo: return TakeComboSelection(page, id, code, s.Staple);
    case kTapeSortCombo: return TakeComboSelection(page, id, code, s.TapeSort);
    case kInterleafCombo: return TakeComboSelection(page, id, code, s.Interleaf);
    case kRestoreButton:
      if (code != BN_CLICKED) return false;
      ApplySettingsToSheet(page, context.Caps.Permanent, context, s);
      return true;
    default: return false;
  }
}

}  // namespace

NumberRange NinsyoNoRange(const CapsInfo& info) {
  if (info.NinsyoNoMin == 0 && info.NinsyoNoMax == 0) return {0, 99};
  return {std::min(info.NinsyoNoMin, info.NinsyoNoMax), std::max(info.NinsyoNoMin, info.NinsyoNoMax)};
}

INT_PTR CALLBACK PrintPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static const PageHooks hooks{2004, PrintFill, PrintRefresh, PrintCommand, PrintActivate, PrintDeactivate};
  return RunDocumentPage(hooks, page, message, wParam, lParam);
}

INT_PTR CALLBACK FinishingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static const PageHooks hooks{2005, FinishingFill, FinishingRefresh, FinishingCommand};
  return RunDocumentPage(hooks, page, message, wParam, lParam);
}

INT_PTR CALLBACK AboutPageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;
  SetWindowLongPtrW(page, DWLP_USER, lParam);
  SetDlgItemTextW(page, kNoticeText, kNotice);
  const DocSheetContext* context = PageContext(page);
  const DriverVersion v =
      context && context->State.Build == Generation::Plugin ? kPluginVersion : kClassicVersion;
  WCHAR version[16] = {};
  wsprintfW(version, u"%d.%02d.%02d", v.Major, v.Minor, v.Build);
  FormatItemText(page, kVersionText, 1, version, nullptr);
  SetDlgItemTextW(page, kModelText, context && context->Caps.ModelName ? context->Caps.ModelName : u"");
  return TRUE;
}
