#include "sheets/basic_layout_pages.h"

#include <initializer_list>
#include <iterator>
#include <utility>

#include "plat/registry.h"
#include "plat/spooler.h"
#include "sheets/binding_margin.h"
#include "sheets/control_kit.h"
#include "sheets/favorite_names.h"
#include "sheets/favorites_dialog.h"
#include "sheets/job_dialogs.h"
#include "sheets/page_protocol.h"
#include "sheets/printer_access.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

const UINT kDuplexStrings[3] = {832, 833, 834};
const OutputModeRow kOutputModeRows[5] = {{3511, 1, 0}, {3512, 2, 1}, {3513, 4, 2}, {3514, 8, 3}, {3515, 16, 4}};
const UINT kRenzokuStrings[4] = {3507, 3508, 3509, 3510};
const UINT kInkIcons[kColorIdCount] = {102, 122, 106, 103, 108, 111, 115, 117, 118, 105, 104, 106, 107, 114,
                                       107, 112, 110, 111, 109, 113, 120, 109, 106, 101, 102, 103, 103, 103,
                                       103, 106, 106, 106, 106, 111, 111, 111, 115, 115, 108, 108, 114, 114,
                                       117, 117, 118, 118, 109, 109, 120, 120, 121, 121, 110, 110, 122};

UINT InkIconFor(InkCode code) {
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    if (ColorIdList[i] == code) return kInkIcons[i];
  }
  return 0;
}

namespace {

// Control ids of the two pages.
enum : int {
  kRestore = 2009,
  kSmallPicture1 = 2065, kSmallPicture2 = 2066, kSmallPicture3 = 2067,
  kJobGroups = 2068,
  kDrum1Label = 2073, kDrum2Label = 2074,
  kOutputModeLabel = 2076, kOutputMode = 2075,
  kFavoritesLabel = 2077,
  kPaper = 2079, kOutputPaper = 2080, kOutputPaperLabel = 2081, kPaperLabel = 2082,
  kFavorites = 2087, kFavoritesButton = 2088,
  kDrum1Icon = 2092, kDrum2Icon = 2093,
  kLayoutTypeLabel = 3024, kLayoutSub = 3022, kLayoutSubLabel = 3025, kLayoutKindLabel = 3026,
  kRotate = 3028, kSurroundingMargin = 3029, kImagePosition = 3030, kImagePositionButton = 3031,
  kFitPage = 3032, kFitPageInverted = 3033,
  kPreviewBox = 3158, kPreviewLabel = 3159, kPreview = 3160,
  kCopiesLabel = 3179, kCopies = 3180, kCopiesSpin = 3181,
  kRenzokuLabel = 3182, kRenzoku = 3183,
  kDuplexLabel = 3287, kDuplex = 3288,
  kBinLabel = 3289, kBin = 3290,
  kBindingLabel = 3291, kBindingMarginButton = 3293,
  kPortrait = 3324, kLandscape = 3325,
  kDuplexBox = 4015, kPaperBox = 4016, kLayoutBox = 4017, kBindingBox = 4018, kFitPageBox = 4019,
  kRotateBox = 4020, kMarginBox = 4021, kImagePositionBox = 4022, kCopiesBox = 4030, kOutputModeBox = 4031,
};
constexpr UINT kHandCursor = 400;
constexpr UINT kLayoutSubStrings[2] = {853, 854};
constexpr UINT kSmallPictureBitmaps[3] = {402, 403, 404};
constexpr int kColorItemHeight = 14;

const ModelCaps& Caps(const DocSheetContext& context) { return context.Caps; }

// Availability 2 hides the controls; otherwise they show, enabled when the
// availability is not 0 and the page's own condition holds.
void Availability(HWND page, std::initializer_list<int> ids, std::uint8_t availability, bool condition) {
  for (int id : ids) {
    if (availability == 2) {
      HideItem(page, id);
      continue;
    }
    ShowItem(page, id);
    if (availability != 0 && condition) EnableItem(page, id);
    else DisableItem(page, id);
  }
}

void ShowOrHide(HWND page, std::initializer_list<int> ids, bool hide) {
  for (int id : ids) {
    if (hide) HideItem(page, id);
    else ShowItem(page, id);
  }
}

void Enable(HWND page, std::initializer_list<int> ids, bool enable) {
  for (int id : ids) {
    if (enable) EnableItem(page, id);
    else DisableItem(page, id);
  }
}

void FillNames(HWND page, int id, const NameSlots& names) {
  SendDlgItemMessageW(page, id, CB_RESETCONTENT, 0, 0);
  for (std::size_t i = 0; i < names.Count; ++i) {
    SendDlgItemMessageW(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(names.At(i)));
  }
}

// Selects the row whose item data is value; none when no row has it.
void SelectRowByData(HWND page, int id, LPARAM value) {
  const int count = static_cast<int>(SendDlgItemMessageW(page, id, CB_GETCOUNT, 0, 0));
  int row = -1;
  for (int i = 0; i < count && row < 0; ++i) {
    if (GetComboItemData(page, id, i) == value) row = i;
  }
  SetComboSel(page, id, row);
}

int SelectedData(HWND page, int id) {
  const int selection = GetComboSel(page, id);
  return selection < 0 ? -1 : static_cast<int>(GetComboItemData(page, id, selection));
}

template <typename T>
bool Store(T& field, int value) {
  if (static_cast<int>(field) == value) return false;
  field = static_cast<T>(value);
  return true;
}

bool IsStoreOnly(std::uint8_t outputMode) { return outputMode == 2 || outputMode == 3; }
bool AppPage(const DocSheetContext& context) { return Caps(context).Defaults.AppPageApplied == 1; }

bool DuplexPaper(const DocSheetContext& context, const SheetState& s) {
  const ModelCaps& caps = Caps(context);
  return s.OutputPaperIndex < caps.Info.OutputPaperCount && s.PaperIndex < caps.PaperCount() &&
         IsDuplexPaper(caps.Info.DocumentPaperCount, s.FreePaper, caps.Papers, s.PaperIndex, caps.OutputPapers,
                       s.OutputPaperIndex);
}

bool DuplexSpeed(const DocSheetContext& context, const SheetState& s) {
  const LevelEntry* speed = SpeedAt(Caps(context), s.SpeedIndex);
  return speed ? IsDuplexSpeed(*speed) : s.SpeedIndex < 4;
}

// ---- shared by both pages ----

void FillPaperGroup(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  SendDlgItemMessageW(page, kDuplex, CB_RESETCONTENT, 0, 0);
  AddResourceStrings(s.ResourceDll, page, kDuplex, kDuplexStrings, static_cast<int>(std::size(kDuplexStrings)));
  FillNames(page, kPaper, s.PaperNames);
  FillNames(page, kOutputPaper, s.OutputPaperNames);
  FillNames(page, kBin, s.BinNames);
}

void SetUpPictures(HWND page, SheetState& s) {
  ResizeItem(page, kSmallPicture1, 15, 15);
  ResizeItem(page, kSmallPicture2, 15, 14);
  ResizeItem(page, kSmallPicture3, 15, 27);
  ResizeItem(page, kLayoutPicture, kLayoutPictureSide, kLayoutPictureSide);
  if (!s.HandCursor) s.HandCursor = LoadCursorW(s.ResourceDll, MAKEINTRESOURCEW(kHandCursor));
  s.PageCursor = reinterpret_cast<HANDLE>(GetClassLongPtrW(page, GCLP_HCURSOR));
}

void RefreshPaperGroup(HWND page, const SheetState& s) {
  SetComboSel(page, kDuplex, s.Duplex);
  SetComboSel(page, kPaper, s.PaperIndex);
  SetCheck(page, kPortrait, s.Landscape == 0);
  SetCheck(page, kLandscape, s.Landscape != 0);
  SetComboSel(page, kOutputPaper, s.OutputPaperIndex);
  SetComboSel(page, kBin, s.BinIndex);
  SetCheck(page, kPreview, s.Preview);
}

void PaperGroupRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = Caps(context).Info;
  const SheetState& s = context.State;
  const bool app = AppPage(context);
  Availability(page, {kDuplexLabel, kDuplex}, info.DuplexEnable,
               !app && DuplexPaper(context, s) && s.LayoutMode < kLayoutBooklet && DuplexSpeed(context, s));
  ShowOrHide(page, {kDuplexBox}, info.DuplexEnable == 2);
  Availability(page, {kPaperLabel, kPaper}, info.OriginalSizeEnable, !app);
  Availability(page, {kPortrait, kLandscape}, info.OrientationEnable, !app);
  Availability(page, {kOutputPaperLabel, kOutputPaper}, info.OutputPaperEnable, !app && s.SeparationKind != 3);
  Availability(page, {kBinLabel, kBin}, info.BinListEnable, Caps(context).Defaults.BinListInstalled != 0);
  ShowOrHide(page, {kPaperBox},
             info.OriginalSizeEnable == 2 && info.OrientationEnable == 2 && info.OutputPaperEnable == 2 &&
                 info.BinListEnable == 2);
  Availability(page, {kPreviewBox, kPreviewLabel, kPreview}, info.PreviewEnable, true);
  Availability(page, {kLayoutPicture}, info.LayoutImageEnable, true);
}

// The paper group's commands; true when the state changed.
bool PaperGroupCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const int selection = GetComboSel(page, id);
  if (code == CBN_SELCHANGE) {
    switch (id) {
      case kPaper: {
        if (selection < 0) return false;
        const bool freeSize = static_cast<std::size_t>(selection) + 1 == Caps(context).Info.DocumentPaperCount;
        if (freeSize) {
          s.FreePaper = 1;
          FreePaperSizeDialog(page, context);
        } else {
          if (selection == s.PaperIndex) return false;
          s.FreePaper = 0;
        }
        s.PaperIndex = static_cast<std::uint16_t>(selection);
        FitLayoutToPaper(page, context, s);
        return true;
      }
      case kOutputPaper:
        if (selection < 0 || !Store(s.OutputPaperIndex, selection)) return false;
        FitLayoutToPaper(page, context, s);
        return true;
      case kDuplex: {
        const std::uint8_t previous = s.Duplex;
        if (selection < 0 || !Store(s.Duplex, selection)) return false;
        OnDuplexChanged(Caps(context), s, previous);
        return true;
      }
      case kBin: return selection >= 0 && Store(s.BinIndex, selection);
      default: return false;
    }
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case kPortrait: return Store(s.Landscape, 0);
    case kLandscape: return Store(s.Landscape, 1);
    case kPreview: return Store(s.Preview, IsChecked(page, kPreview) ? 1 : 0);
    default: return false;
  }
}

bool DrawPageItem(HWND page, DocSheetContext& context, const DRAWITEMSTRUCT& item, bool basic) {
  SheetState& s = context.State;
  switch (item.CtlID) {
    case kSmallPicture1:
    case kSmallPicture2:
    case kSmallPicture3:
      DrawResourceBitmap(s.ResourceDll, item.hDC, kSmallPictureBitmaps[item.CtlID - kSmallPicture1], 1);
      return true;
    case kLayoutPicture: {
      std::int32_t width = 0, length = 0;
      if (ChosenPaperSize(Caps(context), s, width, length)) ComposeLayoutPicture(page, item, s, width, length);
      return true;
    }
    case kTextInkPicture:
    case kImageInkPicture:
      if (!basic) return false;
      InkColourPicture(page, item, s, false);
      return true;
    case kDrum1Combo:
    case kDrum2Combo:
      if (!basic) return false;
      DrawAvailColorItem(page, item, s, Caps(context).Info.DrumColorPattern);
      return true;
    default: return false;
  }
}

POINT PointOf(LPARAM lParam) {
  return POINT{static_cast<SHORT>(LOWORD(static_cast<DWORD>(lParam))),
               static_cast<SHORT>(HIWORD(static_cast<DWORD>(lParam)))};
}

// Messages both pages handle beyond the protocol: drawing, the picture's
// cursor and clicks, and the hand cursor's end. -1 when not handled here.
INT_PTR PictureMessages(const PageHooks& hooks, HWND page, UINT message, WPARAM, LPARAM lParam, bool basic) {
  DocSheetContext* context = PageContext(page);
  if (!context) return -1;
  SheetState& s = context->State;
  switch (message) {
    case WM_DRAWITEM:
      return DrawPageItem(page, *context, *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam), basic) ? TRUE : FALSE;
    case WM_MOUSEMOVE: UpdatePictureCursor(page, PointOf(lParam), Caps(*context), s); return 1;
    case WM_LBUTTONUP:
      if (OnPictureClick(page, PointOf(lParam), *context, s)) {
        hooks.Refresh(page, *context);
        NotifySheetChanged(page);
      }
      return 1;
    case WM_DESTROY:
      if (s.HandCursor) DestroyCursor(static_cast<HCURSOR>(std::exchange(s.HandCursor, nullptr)));
      if (basic) {
        // The icon statics are gone by now; the page kept their icons.
        if (auto* icons = reinterpret_cast<HICON*>(SetWindowLongPtrW(page, GWLP_USERDATA, 0))) {
          for (int i = 0; i < 2; ++i)
            if (icons[i]) DestroyIcon(icons[i]);
          GlobalFree(icons);
        }
      }
      return 0;
    default: return -1;
  }
}

// ---- basic page 2008 ----

void FillFavorites(HWND page, const SheetState& s) {
  SendDlgItemMessageW(page, kFavorites, CB_RESETCONTENT, 0, 0);
  FavoriteSlot slots[kMaxFavorites] = {};
  const int count = EnumFavorites(s.Printer, slots);
  for (int i = 0; i < count; ++i) {
    SendDlgItemMessageW(page, kFavorites, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(slots[i] + kFavoritePrefixUnits));
  }
}

void FillOutputModes(HWND page, const SheetState& s) {
  SendDlgItemMessageW(page, kOutputMode, CB_RESETCONTENT, 0, 0);
  for (const OutputModeRow& row : kOutputModeRows) {
    if (!(s.OutputModeMask & row.Bit)) continue;
    AddResourceString(s.ResourceDll, page, kOutputMode, row.StringId);
    const int last = static_cast<int>(SendDlgItemMessageW(page, kOutputMode, CB_GETCOUNT, 0, 0)) - 1;
    SetComboItemData(page, kOutputMode, last, row.Value);
  }
}

// Shows the ink's icon, freeing the one shown before. The page keeps both
// icons (GWLP_USERDATA) so that they are freed with it.
void ShowInkIcon(HWND page, int id, HMODULE module, InkCode code) {
  auto* icons = reinterpret_cast<HICON*>(GetWindowLongPtrW(page, GWLP_USERDATA));
  if (!icons) {
    icons = static_cast<HICON*>(GlobalAlloc(GPTR, 2 * sizeof(HICON)));
    if (!icons) return;
    SetWindowLongPtrW(page, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(icons));
  }
  HICON& slot = icons[id == kDrum1Icon ? 0 : 1];
  const UINT iconId = InkIconFor(code);
  HICON icon = iconId ? LoadIconW(module, MAKEINTRESOURCEW(iconId)) : nullptr;
  SendDlgItemMessageW(page, id, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  if (slot) DestroyIcon(slot);
  slot = icon;
}

void BasicRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = Caps(context).Info;
  const SheetState& s = context.State;
  PaperGroupRules(page, context);
  // Output mode.
  if (info.OutputModeEnable == 2) {
    ShowOrHide(page, {kOutputModeLabel, kOutputMode, kJobGroups, kOutputModeBox}, true);
  } else {
    ShowOrHide(page, {kOutputModeLabel, kOutputMode, kJobGroups, kOutputModeBox}, false);
    const bool usb = info.UsbOutEnable == 1;
    const bool usable = info.OutputModeEnable != 0 && (Caps(context).Defaults.HoldMemoryInstalled != 0 || usb) &&
                        !(usb && s.Ninsyo == 1);
    Enable(page, {kOutputModeLabel, kOutputMode}, usable);
    Enable(page, {kJobGroups}, usable && s.OutputMode != 0);
  }
  // Drum colours.
  Enable(page, {kDrum1Label, kDrum1Combo, kDrum2Label, kDrum2Combo}, s.ColorMode != 1);
  ShowOrHide(page, {kDrum1Icon, kDrum2Icon}, s.ColorMode == 1);
  // Copies and continuous printing.
  const bool oversea = info.OverseaModelUIChange == 1;
  const bool storeOnly = IsStoreOnly(s.OutputMode);
  Availability(page, {kCopiesLabel, kCopies, kCopiesSpin}, oversea ? 2 : info.PrintCopiesEnable,
               !(s.SeparationKind == 2 || storeOnly || s.ProgramPrint == 1));
  Availability(page, {kRenzokuLabel, kRenzoku}, oversea ? 2 : info.RenzokuModeEnable,
               !(s.SeparationKind == 2 || storeOnly));
  ShowOrHide(page, {kCopiesBox}, (info.PrintCopiesEnable == 2 && info.RenzokuModeEnable == 2) || oversea);
  // Favourites.
  if (info.SaveSettingEnable == 2 || info.SaveSettingEnable == 0) {
    Availability(page, {kFavoritesLabel, kFavorites, kFavoritesButton}, info.SaveSettingEnable, false);
  } else {
    ShowOrHide(page, {kFavoritesLabel, kFavorites, kFavoritesButton}, false);
    const bool any = SendDlgItemMessageW(page, kFavorites, CB_GETCOUNT, 0, 0) > 0;
    const bool write = s.FavoriteWritePermission == 1;
    Enable(page, {kFavorites}, any);
    Enable(page, {kFavoritesButton}, write);
    Enable(page, {kFavoritesLabel}, any || write);
  }
}

void BasicFill(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const CapsInfo& info = Caps(context).Info;
  s.FavoriteWritePermission = static_cast<std::uint8_t>(ProbeWritePermission(s.Printer));
  FillPaperGroup(page, context);
  FillOutputModes(page, s);
  for (int id : {kDrum1Combo, kDrum2Combo}) {
    SendDlgItemMessageW(page, id, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), kColorItemHeight);
    SendDlgItemMessageW(page, id, CB_SETITEMHEIGHT, 0, kColorItemHeight);
  }
  SetSpinRange(page, kCopiesSpin, info.CopiesMin, info.CopiesMax);
  LimitEditText(page, kCopies, 4);
  SendDlgItemMessageW(page, kRenzoku, CB_RESETCONTENT, 0, 0);
  AddResourceStrings(s.ResourceDll, page, kRenzoku, kRenzokuStrings, static_cast<int>(std::size(kRenzokuStrings)));
  SetUpPictures(page, s);
  FitLayoutToPaper(page, context, s);
  BuildDrumColorList(page, s, info.DrumColorPattern);
  RefreshColorAssignment(s);
  FillFavorites(page, s);
}

void BasicRefresh(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const std::int32_t refreshing = std::exchange(s.Refreshing, 1);
  SetComboSel(page, kFavorites, s.FavoriteIndex == kNoFavorite ? -1 : s.FavoriteIndex);
  RefreshPaperGroup(page, s);
  SelectRowByData(page, kOutputMode, s.OutputMode);
  SetComboSel(page, kDrum1Combo, s.DrumComboIndex[0]);
  SetComboSel(page, kDrum2Combo, s.DrumComboIndex[1]);
  ShowInkIcon(page, kDrum1Icon, s.ResourceDll, s.Drum1Color);
  ShowInkIcon(page, kDrum2Icon, s.ResourceDll, s.Drum2Color);
  SetFixedPointEdit(page, kCopies, kCopiesSpin, 0, s.Copies);
  SetComboSel(page, kRenzoku, s.RenzokuMode);
  ImagePositionLimits(page, Caps(context), s);
  s.Refreshing = refreshing;
  InvalidateLayoutPicture(page);
  InvalidateInkPictures(page);
  BasicRules(page, context);
}

void ToStoreOnly(const DocSettings& p, SheetState& s) {
  s.Rotate = p.Rotate;
  s.SortMode = p.SortMode;
  s.TapeSort = p.TapeSort;
  s.SpeedIndex = p.SpeedIndex;
  s.Density1 = p.Density1;
  s.Density2 = p.Density2;
  s.Interval = p.Interval;
  s.Kimitu = p.Kimitu;
  s.RGPanelReset = p.RGPanelReset;
  s.Staple = p.Staple;
  s.Interleaf = p.Interleaf;
  s.Turbo = p.Turbo;
  s.Copies = p.Copies;
  s.ProgramPrint = 0;
}

bool BasicCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const DocSettings& permanent = Caps(context).Permanent;
  if (id == kRestore && code == BN_CLICKED) {
    ApplySettingsToSheet(page, permanent, context, s);
    return true;
  }
  if (id == kCopies && code == EN_KILLFOCUS) {
    std::int32_t value = s.Copies;
    const int rewrite = ParseFixedPointEdit(page, kCopies, kCopiesSpin, 0, &value);
    if (!rewrite && value == s.Copies) return false;
    s.Copies = value;
    return true;
  }
  if (code == CBN_SELCHANGE) {
    const int selection = GetComboSel(page, id);
    switch (id) {
      case kDrum1Combo:
      case kDrum2Combo: {
        const int drum = id == kDrum1Combo ? 0 : 1;
        if (selection < 0 || selection >= s.AvailColorCount || !Store(s.DrumComboIndex[drum], selection)) return false;
        (drum == 0 ? s.Drum1Color : s.Drum2Color) = s.AvailColors[selection];
        RefreshColorAssignment(s);
        s.PrinterQueried = 1;
        return true;
      }
      case kOutputMode: {
        const int value = SelectedData(page, kOutputMode);
        const std::uint8_t previous = s.OutputMode;
        if (value < 0 || !Store(s.OutputMode, value)) return false;
        if (IsStoreOnly(previous)) s.ProgramPrint = permanent.ProgramPrint;
        if (previous == 4) s.Ninsyo = permanent.Ninsyo;
        if (IsStoreOnly(s.OutputMode)) ToStoreOnly(permanent, s);
        if (s.OutputMode == 4) s.Ninsyo = 0;
        return true;
      }
      case kRenzoku:
        if (selection < 0 || !Store(s.RenzokuMode, selection)) return false;
        if (s.RenzokuMode != 0) s.TapeSort = permanent.TapeSort;
        return true;
      default: break;
    }
  }
  // The job-group button opens the hold or USB dialog of the output mode.
  if (id == kJobGroups) return code == BN_CLICKED && OpenJobGroupDialog(page, context);
  if (id == kFavoritesButton) {
    if (code != BN_CLICKED || FavoritesDialog(page, context) != 1) return false;
    FillFavorites(page, s);
    return true;
  }
  return PaperGroupCommand(page, context, id, code);
}

const PageHooks kBasicHooks{2008, BasicFill, BasicRefresh, BasicCommand};

// Typing into the copies edit: the value follows at once, the sheet is marked
// changed and the favourite dropped, without a refresh.
void CopiesTyped(HWND page, SheetState& s) {
  WCHAR text[kFixedPointTextUnits] = {};
  GetDlgItemTextW(page, kCopies, text, kFixedPointTextUnits);
  std::uint32_t value = 0;
  for (const WCHAR* p = text; *p >= u'0' && *p <= u'9'; ++p) value = value * 10 + static_cast<std::uint32_t>(*p - u'0');
  s.Copies = static_cast<std::int32_t>(value);
  if (s.Refreshing == 1) return;
  s.FavoriteIndex = kNoFavorite;
  SetComboSel(page, kFavorites, -1);
  NotifySheetChanged(page);
}

void FavoriteChosen(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const int selection = GetComboSel(page, kFavorites);
  WCHAR name[kFavoriteNameUnits + 1] = {};
  if (selection < 0 || !GetComboSelText(page, kFavorites, name, kFavoriteNameUnits + 1)) return;
  auto* block = static_cast<DocSettings*>(GlobalAlloc(GPTR, sizeof(DocSettings)));
  if (!block) return;
  if (ReadFavoriteSettings(s.Printer, name, *block)) {
    ApplySettingsToSheet(page, *block, context, s);
    s.FavoriteIndex = static_cast<std::uint8_t>(selection);
    BasicRefresh(page, context);
    NotifySheetChanged(page);
  }
  GlobalFree(block);
}

}  // namespace

INT_PTR CALLBACK BasicPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR own = PictureMessages(kBasicHooks, page, message, wParam, lParam, true);
  if (own >= 0) return own;
  DocSheetContext* context = message == WM_INITDIALOG ? nullptr : PageContext(page);
  if (context && message == WM_COMMAND) {
    const WORD id = LOWORD(wParam), code = HIWORD(wParam);
    if (id == kCopies && code == EN_CHANGE) {
      CopiesTyped(page, context->State);
      return TRUE;
    }
    if (id == kFavorites) {
      if (code == CBN_SELCHANGE) FavoriteChosen(page, *context);
      return TRUE;
    }
  }
  if (context && message == WM_NOTIFY) {
    SheetState& s = context->State;
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
      case PSN_SETACTIVE:
        FitLayoutToPaper(page, *context, s);
        BuildDrumColorList(page, s, Caps(*context).Info.DrumColorPattern);
        RefreshColorAssignment(s);
        FillFavorites(page, s);
        break;
      case PSN_KILLACTIVE: {
        // Text typed and confirmed with Enter never saw EN_KILLFOCUS.
        std::int32_t value = s.Copies;
        if (ParseFixedPointEdit(page, kCopies, kCopiesSpin, 0, &value)) SetFixedPointEdit(page, kCopies, kCopiesSpin, 0, value);
        s.Copies = value;
        break;
      }
      default: break;
    }
  }
  return RunDocumentPage(kBasicHooks, page, message, wParam, lParam);
}

// ---- layout page 2001 ----

namespace {

bool LayoutAllowed(const DocSheetContext& context, std::uint8_t availability) {
  const SheetState& s = context.State;
  return availability != 0 && !AppPage(context) &&
         LayoutPaperAllowed(Caps(context).Info.DocumentPaperCount, s.FreePaper, s.PaperIndex, s.OutputPaperIndex);
}

void LayoutRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = Caps(context).Info;
  const SheetState& s = context.State;
  PaperGroupRules(page, context);
  // Page layout.
  ShowOrHide(page, {kLayoutTypeLabel, kLayoutTypeCombo, kLayoutSubLabel, kLayoutSub, kLayoutKindLabel,
                    kLayoutKindCombo, kLayoutBox},
             info.PageLayoutEnable == 2);
  if (info.PageLayoutEnable != 2) {
    const bool open = LayoutAllowed(context, info.PageLayoutEnable) && s.ImagePosition != 1 && s.SeparationKind != 3;
    Enable(page, {kLayoutTypeLabel, kLayoutTypeCombo}, open);
    Enable(page, {kLayoutSubLabel, kLayoutSub}, open && (s.LayoutMode == kLayoutRepeat || s.LayoutMode == kLayoutNup));
    Enable(page, {kLayoutKindLabel, kLayoutKindCombo}, open && s.LayoutMode >= kLayoutNup);
  }
  // Binding.
  ShowOrHide(page, {kBindingLabel, kBindingCombo, kBindingMarginButton, kBindingBox}, info.BindingMarginEnable == 2);
  if (info.BindingMarginEnable != 2) {
    const bool open = LayoutAllowed(context, info.BindingMarginEnable) && s.ImagePosition != 1;
    Enable(page, {kBindingLabel, kBindingCombo}, open);
    Enable(page, {kBindingMarginButton}, open && s.BindingPosition != 0);
  }
  // Fit page: models for other markets show the inverted check box.
  const bool oversea = info.OverseaModelUIChange == 1;
  if (info.FitPageEnable == 2) {
    ShowOrHide(page, {kFitPage, kFitPageInverted, kFitPageBox}, true);
  } else {
    ShowOrHide(page, {kFitPageBox, oversea ? kFitPageInverted : kFitPage}, false);
    ShowOrHide(page, {oversea ? kFitPage : kFitPageInverted}, true);
    Enable(page, {oversea ? kFitPageInverted : kFitPage},
           LayoutAllowed(context, info.FitPageEnable) && s.ImagePosition != 1 && s.SyuuiYohaku != 1);
  }
  // Rotation.
  Availability(page, {kRotate}, info.RotateEnable, !AppPage(context) && !IsStoreOnly(s.OutputMode));
  ShowOrHide(page, {kRotateBox}, info.RotateEnable == 2);
  // Surrounding margin.
  Availability(page, {kSurroundingMargin}, info.SyuuiYohakuEnable == 2 ? 2 : 1,
               LayoutAllowed(context, info.SyuuiYohakuEnable) && s.LayoutMode < kLayoutBooklet && s.FitPage != 1 &&
                   s.ImagePosition != 1);
  ShowOrHide(page, {kMarginBox}, info.SyuuiYohakuEnable == 2);
  // Image position.
  ShowOrHide(page, {kImagePosition, kImagePositionButton, kImagePositionBox}, info.ImagePositionEnable == 2);
  if (info.ImagePositionEnable != 2) {
    const bool open = info.ImagePositionEnable != 0 && !AppPage(context) && s.ImagePositionAvail != 0 &&
                      s.LayoutMode == kLayoutNone && s.SyuuiYohaku != 1 && s.BindingPosition == 0 &&
                      s.SeparationKind != 3;
    Enable(page, {kImagePosition}, open);
    Enable(page, {kImagePositionButton}, open && s.ImagePosition != 0);
  }
}

void LayoutFill(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  FillPaperGroup(page, context);
  SendDlgItemMessageW(page, kLayoutSub, CB_RESETCONTENT, 0, 0);
  AddResourceStrings(s.ResourceDll, page, kLayoutSub, kLayoutSubStrings, static_cast<int>(std::size(kLayoutSubStrings)));
  SetUpPictures(page, s);
  FitLayoutToPaper(page, context, s);
}

void LayoutRefresh(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  const std::int32_t refreshing = std::exchange(s.Refreshing, 1);
  RefreshPaperGroup(page, s);
  SelectRowByData(page, kLayoutTypeCombo, s.LayoutMode);
  SetComboSel(page, kLayoutSub, s.LayoutSub - 1);
  SelectRowByData(page, kLayoutKindCombo, s.LayoutKind);
  SelectRowByData(page, kBindingCombo, s.BindingPosition);
  SetCheck(page, kFitPage, s.FitPage);
  SetCheck(page, kFitPageInverted, s.FitPage != 1);
  SetCheck(page, kRotate, s.Rotate);
  SetCheck(page, kSurroundingMargin, s.SyuuiYohaku);
  ImagePositionLimits(page, Caps(context), s);
  SetCheck(page, kImagePosition, s.ImagePosition);
  s.Refreshing = refreshing;
  InvalidateLayoutPicture(page);
  LayoutRules(page, context);
}

bool LayoutCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const ModelCaps& caps = Caps(context);
  const DocSettings& permanent = caps.Permanent;
  if (code == CBN_SELCHANGE) {
    const int selection = GetComboSel(page, id);
    const int data = SelectedData(page, id);
    switch (id) {
      case kLayoutTypeCombo: {
        const std::uint8_t previous = s.LayoutMode;
        if (data < 0 || !Store(s.LayoutMode, data)) return false;
        OnLayoutTypeChanged(page, caps, s, previous);
        return true;
      }
      case kLayoutSub:
        if (selection < 0 || !Store(s.LayoutSub, selection + 1)) return false;
        RefreshLayoutChoices(page, s);
        return true;
      case kLayoutKindCombo: return data >= 0 && Store(s.LayoutKind, data);
      case kBindingCombo:
        if (data < 0 || !Store(s.BindingPosition, data)) return false;
        s.ImagePosition = s.BindingPosition != 0 ? 0 : permanent.ImagePosition;
        return true;
      default: return PaperGroupCommand(page, context, id, code);
    }
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case kRestore:
      ApplySettingsToSheet(page, permanent, context, s);
      FitLayoutToPaper(page, context, s);
      return true;
    case kRotate: return Store(s.Rotate, IsChecked(page, kRotate) ? 1 : 0);
    case kSurroundingMargin:
      if (!Store(s.SyuuiYohaku, IsChecked(page, kSurroundingMargin) ? 1 : 0)) return false;
      s.ImagePosition = s.SyuuiYohaku ? 0 : permanent.ImagePosition;
      return true;
    case kImagePosition:
      if (!Store(s.ImagePosition, IsChecked(page, kImagePosition) ? 1 : 0)) return false;
      if (s.ImagePosition) ImagePositionOn(s);
      return true;
    case kImagePositionButton: return ImagePositionDialog(page, context) == IDOK;
    case kBindingMarginButton: return BindingMarginDialog(page, context) == 1;
    case kFitPage:
    case kFitPageInverted: {
      const bool checked = IsChecked(page, id);
      const bool inverted = id == kFitPageInverted && caps.Info.OverseaModelUIChange == 1;
      if (!Store(s.FitPage, inverted ? !checked : checked)) return false;
      s.SyuuiYohaku = s.FitPage == 1 ? 0 : permanent.SyuuiYohaku;
      return true;
    }
    default: return PaperGroupCommand(page, context, id, code);
  }
}

const PageHooks kLayoutHooks{2001, LayoutFill, LayoutRefresh, LayoutCommand};

}  // namespace

INT_PTR CALLBACK LayoutPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  const INT_PTR own = PictureMessages(kLayoutHooks, page, message, wParam, lParam, false);
  if (own >= 0) return own;
  if (message == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->code == PSN_SETACTIVE) {
    if (DocSheetContext* context = PageContext(page)) FitLayoutToPaper(page, *context, context->State);
  }
  return RunDocumentPage(kLayoutHooks, page, message, wParam, lParam);
}
