#include "sheets/image_page.h"

#include <algorithm>
#include <iterator>
#include <string>

#include "plat/strings.h"
#include "sheets/color_page.h"
#include "sheets/control_kit.h"
#include "sheets/output_controls.h"
#include "sheets/page_protocol.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

namespace {

constexpr int kPhotoModeLabel = 2010, kPhotoModeCombo = 2011;
constexpr int kLinesLabel = 2012, kLinesEdit = 2013, kLinesSpin = 2014, kLinesRange = 2015;
constexpr int kAngleLabel = 2016, kAngleEdit = 2017, kAngleSpin = 2018, kAngleRange = 2019;
constexpr int kPhotoKindLabel = 2023, kPhotoKind0 = 2024, kPhotoKind1 = 2025, kPhotoKind2 = 2026;
constexpr int kAdjustButton = 2027;
constexpr int kTextProcLabel = 2028, kTextProc0 = 2029, kTextProc2 = 2030, kTextProc1 = 2031;
constexpr int kTextVolumeLabel = 2032, kTextVolumeA = 2033, kTextVolumeB = 2034, kTextVolumeNone = 2035;
constexpr int kPreviewLabel = 3158, kPreviewPicture = 3159, kPreviewCheck = 3160;
constexpr int kSeparationPicture = 4002;
constexpr int kImageGroup = 4026, kTextGroup = 4027;
constexpr int kRestoreButton = 2009;

struct PhotoModeRow {
  UINT StringId;
  std::uint8_t Mode;
};
constexpr PhotoModeRow kPhotoModeRows[] = {{3473, 1}, {3472, 0}};

// Image adjustment dialog controls.
constexpr int kBrightnessBar = 2043, kContrastBar = 2047, kBacklightCheck = 2048, kBacklightBar = 2051;
constexpr int kEdgeCheck = 2052, kSmoothCheck = 2053;
constexpr int kPreviews[3] = {2057, 2058, 2059};
constexpr int kAdjustTemplate = 1999;
constexpr int kAdjustLevels = 7, kBacklightLevels = 5;

constexpr std::array<std::array<std::uint8_t, 256>, 7> MakeToneRows() {
  // s = numerator / denominator per contrast position.
  constexpr int kNumerator[7] = {1, 2, 4, 1, 5, 3, 2};
  constexpr int kDenominator[7] = {2, 3, 5, 1, 4, 2, 1};
  std::array<std::array<std::uint8_t, 256>, 7> rows{};
  for (int r = 0; r < 7; ++r) {
    for (int x = 0; x < 256; ++x) {
      // Rounded half away from zero, in integers.
      const int scaled = (x - 128) * kNumerator[r];
      const int d = kDenominator[r];
      const int offset = scaled >= 0 ? (scaled * 2 + d) / (2 * d) : -((-scaled * 2 + d) / (2 * d));
      const int value = x == 255 ? 255 : std::clamp(128 + offset, 0, 255);
      rows[static_cast<std::size_t>(r)][static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(value);
    }
  }
  return rows;
}

std::u16string Decimal(std::int32_t value) { return plat::u16(std::to_string(value)); }

void SetUpNumberField(HWND page, int editId, int spinId, int rangeId, ScreenRange range) {
  SetSpinRange(page, spinId, range.Minimum, range.Maximum);
  const std::u16string low = Decimal(range.Minimum), high = Decimal(range.Maximum);
  FormatItemText(page, rangeId, 2, low.c_str(), high.c_str());
  LimitEditText(page, editId, static_cast<int>(std::max(low.size(), high.size())));
}

void CheckRadio(HWND page, std::initializer_list<int> group, int chosen) {
  for (int id : group) CheckDlgButton(page, id, id == chosen ? BST_CHECKED : BST_UNCHECKED);
}

bool ImageSeparated(const SheetState& s) { return s.SeparationModeB >= 8; }

// ---------------------------------------------------------------------------
// Image page

void ImageEnableRules(HWND page, const DocSheetContext& context) {
  const CapsInfo& info = context.Caps.Info;
  const SheetState& s = context.State;
  const bool separated = ImageSeparated(s);
  SetGroupState(page, info.PhotoModeEnable, !separated, {kPhotoModeLabel, kPhotoModeCombo});
  SetGroupState(page, info.AmiLineEnable, !separated && s.PhotoMode != 1,
                {kLinesLabel, kLinesEdit, kLinesSpin, kLinesRange});
  SetGroupState(page, info.AmiAngleEnable, !separated && s.PhotoMode != 1,
                {kAngleLabel, kAngleEdit, kAngleSpin, kAngleRange});
  SetGroupState(page, info.PhotoSyuruiEnable, !separated, {kPhotoKindLabel, kPhotoKind0, kPhotoKind1, kPhotoKind2});
  SetGroupState(page, info.GazouTyouseiEnable, !separated && (s.PhotoSyurui == 0 || s.PhotoSyurui == 3),
                {kAdjustButton});
  SetGroupState(page, info.TextProcEnable, true, {kTextProcLabel, kTextProc0, kTextProc2, kTextProc1});
  SetGroupState(page, info.TextVolumeEnable, true, {kTextVolumeLabel, kTextVolumeA, kTextVolumeB, kTextVolumeNone});
  SetGroupState(page, info.PreviewEnable, true, {kPreviewLabel, kPreviewPicture, kPreviewCheck});
  ShowItemIf(page, kImageGroup,
               !(info.PhotoModeEnable == 2 && info.AmiLineEnable == 2 && info.AmiAngleEnable == 2 &&
                 info.PhotoSyuruiEnable == 2 && info.GazouTyouseiEnable == 2));
  ShowItemIf(page, kTextGroup, !(info.TextProcEnable == 2 && info.TextVolumeEnable == 2));
}

void ImageRefresh(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  s.Refreshing = 1;
  SelectRowByData(page, kPhotoModeCombo, s.PhotoMode);
  SetFixedPointEdit(page, kLinesEdit, kLinesSpin, 0, s.AmiLine);
  SetFixedPointEdit(page, kAngleEdit, kAngleSpin, 0, s.AmiAngle);
  CheckRadio(page, {kPhotoKind0, kPhotoKind1, kPhotoKind2},
             s.PhotoSyurui == 0 || s.PhotoSyurui == 3 ? kPhotoKind0 : s.PhotoSyurui == 1 ? kPhotoKind1 : kPhotoKind2);
  CheckRadio(page, {kTextProc0, kTextProc2, kTextProc1},
             s.TextProc == 0 ? kTextProc0 : s.TextProc == 1 ? kTextProc1 : kTextProc2);
  CheckRadio(page, {kTextVolumeA, kTextVolumeB, kTextVolumeNone},
             s.TextVolumeB == 1 ? kTextVolumeB : s.TextVolumeA != 0 ? kTextVolumeA : kTextVolumeNone);
  SetCheck(page, kPreviewCheck, s.Preview);
  SetStaticBitmap(s.ResourceDll, page, kSeparationPicture, PageSeparationBitmap(s));
  s.Refreshing = 0;
  // Settings of the other pages (inks, separation) show here too.
  InvalidateInkPictures(page);
  ImageEnableRules(page, context);
}

void ImageFill(HWND page, DocSheetContext& context) {
  const HMODULE module = context.State.ResourceDll;
  for (const PhotoModeRow& row : kPhotoModeRows) {
    AddResourceString(module, page, kPhotoModeCombo, row.StringId);
    const int last = static_cast<int>(SendDlgItemMessageW(page, kPhotoModeCombo, CB_GETCOUNT, 0, 0)) - 1;
    SetComboItemData(page, kPhotoModeCombo, last, row.Mode);
  }
  SetUpNumberField(page, kLinesEdit, kLinesSpin, kLinesRange, AmiLineRange(context.Caps.Info));
  SetUpNumberField(page, kAngleEdit, kAngleSpin, kAngleRange, AmiAngleRange(context.Caps.Info));
}

// The screening values kept by EN_CHANGE are what was typed; on leaving the
// page they are clamped like on leaving the edit.
void ImageDeactivate(HWND page, DocSheetContext& context) {
  SheetState& s = context.State;
  std::int32_t lines = s.AmiLine, angle = s.AmiAngle;
  TakeNumberEdit(page, kLinesEdit, kLinesSpin, lines);
  TakeNumberEdit(page, kAngleEdit, kAngleSpin, angle);
  s.AmiLine = static_cast<std::int16_t>(std::clamp(lines, -32768, 32767));
  s.AmiAngle = static_cast<std::int8_t>(std::clamp(angle, -128, 127));
}

bool RadioCommand(WORD code, std::uint8_t& field, std::uint8_t value) {
  if (code != BN_CLICKED || field == value) return false;
  field = value;
  return true;
}

bool ImageCommand(HWND page, DocSheetContext& context, WORD id, WORD code) {
  SheetState& s = context.State;
  const DocSettings& permanent = context.Caps.Permanent;
  bool changed = false;
  switch (id) {
    case kRestoreButton:
      if (code != BN_CLICKED) return false;
      ApplySettingsToSheet(page, permanent, context, s);
      changed = true;
      break;
    case kPhotoModeCombo: {
      if (code != CBN_SELCHANGE) return false;
      const LPARAM mode = SelectedRowData(page, kPhotoModeCombo);
      if (mode < 0 || mode == s.PhotoMode) return false;
      s.PhotoMode = static_cast<std::uint8_t>(mode);
      changed = true;
      break;
    }
    case kLinesEdit: {
      std::int32_t lines = s.AmiLine;
      changed = NumberEditCommand(page, s, kLinesEdit, kLinesSpin, code, lines);
      s.AmiLine = static_cast<std::int16_t>(std::clamp(lines, -32768, 32767));
      break;
    }
    case kAngleEdit: {
      std::int32_t angle = s.AmiAngle;
      changed = NumberEditCommand(page, s, kAngleEdit, kAngleSpin, code, angle);
      s.AmiAngle = static_cast<std::int8_t>(std::clamp(angle, -128, 127));
      break;
    }
    case kPhotoKind0: changed = RadioCommand(code, s.PhotoSyurui, 0); break;
    case kPhotoKind1:
    case kPhotoKind2:
      changed = RadioCommand(code, s.PhotoSyurui, id == kPhotoKind1 ? 1 : 2);
      if (changed) {
        s.Akarusa = permanent.Akarusa;
        s.Contrast = permanent.Contrast;
        s.GyakkouOn = permanent.GyakkouOn;
        s.Gyakkou = permanent.Gyakkou;
        s.Edge = permanent.Edge;
        s.KaityoSmooth = permanent.KaityoSmooth;
      }
      break;
    case kAdjustButton: changed = code == BN_CLICKED && ImageAdjustDialog(page, context) == 1; break;
    case kTextProc0: changed = RadioCommand(code, s.TextProc, 0); break;
    case kTextProc2: changed = RadioCommand(code, s.TextProc, 2); break;
    case kTextProc1: changed = RadioCommand(code, s.TextProc, 1); break;
    case kTextVolumeA:
    case kTextVolumeB:
    case kTextVolumeNone: {
      if (code != BN_CLICKED) return false;
      const std::uint8_t a = id == kTextVolumeA ? 1 : 0, b = id == kTextVolumeB ? 1 : 0;
      changed = s.TextVolumeA != a || s.TextVolumeB != b;
      s.TextVolumeA = a;
      s.TextVolumeB = b;
      break;
    }
    case kPreviewCheck: changed = TakeCheck(page, id, code, s.Preview); break;
    default: return false;
  }
  return changed;
}

// ---------------------------------------------------------------------------
// Image adjustment dialog

void SetTrackBar(HWND dialog, int id, int levels, int position, int tick) {
  SendDlgItemMessageW(dialog, id, TBM_SETRANGE, TRUE, MAKELONG(1, levels));
  SendDlgItemMessageW(dialog, id, TBM_SETTIC, 0, tick);
  SendDlgItemMessageW(dialog, id, TBM_SETPOS, TRUE, position);
}

int TrackPosition(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageW(dialog, id, TBM_GETPOS, 0, 0)); }

void InvalidatePreviews(HWND dialog) {
  for (int id : kPreviews) InvalidateRect(GetDlgItem(dialog, id), nullptr, TRUE);
}

void EnableBacklightLevel(HWND dialog, bool on) {
  for (int id : {2049, 2050, kBacklightBar}) {
    if (on) {
      EnableItem(dialog, id);
    } else {
      DisableItem(dialog, id);
    }
  }
}

// Draws preview p as the dialog's settings would print it: the bundle's
// picture with every byte mapped by the contrast and brightness positions.
void DrawPreview(HWND dialog, const DocSheetContext& context, const DRAWITEMSTRUCT& item, int preview) {
  const int level = IsChecked(dialog, kBacklightCheck) ? TrackPosition(dialog, kBacklightBar) : 1;
  const UINT id = PreviewBitmapId(context.State, preview, level, IsChecked(dialog, kEdgeCheck));
  HANDLE bitmap = LoadImageW(context.State.ResourceDll, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  if (!bitmap) return;
  BITMAP info{};
  if (GetObjectW(bitmap, sizeof info, &info) == sizeof info && info.bmBits && info.bmHeight != 0) {
    auto* bits = static_cast<std::uint8_t*>(info.bmBits);
    const std::size_t bytes = static_cast<std::size_t>(info.bmWidthBytes) *
                              static_cast<std::size_t>(info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
    const int contrast = TrackPosition(dialog, kContrastBar), brightness = TrackPosition(dialog, kBrightnessBar);
    for (std::size_t i = 0; i < bytes; ++i) bits[i] = PreviewByte(bits[i], contrast, brightness);
    HDC memory = CreateCompatibleDC(item.hDC);
    HGDIOBJ before = SelectObject(memory, bitmap);
    const LONG width = std::min<LONG>(info.bmWidth, item.rcItem.right - item.rcItem.left);
    const LONG height = std::min<LONG>(info.bmHeight < 0 ? -info.bmHeight : info.bmHeight,
                                       item.rcItem.bottom - item.rcItem.top);
    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, before);
    DeleteDC(memory);
  }
  DeleteObject(bitmap);
}

void AdjustEnableRules(HWND dialog, const DocSheetContext& context) {
  const CapsInfo& info = context.Caps.Info;
  SetGroupState(dialog, info.AkarusaEnable, true, {2040, 2041, 2042, kBrightnessBar});
  SetGroupState(dialog, info.ContrastEnable, true, {2044, 2045, 2046, kContrastBar});
  SetGroupState(dialog, info.GyakkouEnable, true, {kBacklightCheck});
  SetGroupState(dialog, info.GyakkouEnable, IsChecked(dialog, kBacklightCheck), {2049, 2050, kBacklightBar});
  SetGroupState(dialog, info.EdgeEnable, true, {kEdgeCheck});
  SetGroupState(dialog, info.KaityoSmoothEnable == 2 ? 2 : 1,
                info.KaityoSmoothEnable != 0 && context.State.PhotoMode == 0, {kSmoothCheck});
}

}  // namespace

const std::array<std::array<std::uint8_t, 256>, 7> kPreviewToneRows = MakeToneRows();

std::uint8_t PreviewByte(std::uint8_t x, int contrast, int brightness) {
  const std::uint8_t toned = kPreviewToneRows[static_cast<std::size_t>(std::clamp(contrast, 1, 7) - 1)][x];
  if (x == 255 && toned == 255) return 255;
  const int offset = kPreviewBrightnessOffsets[std::clamp(brightness, 1, 7) - 1];
  return static_cast<std::uint8_t>(std::clamp(toned - offset, 0, 255));
}

UINT PreviewBitmapId(const SheetState& state, int preview, int level, bool edge) {
  const UINT base = SeparatesTwoInks(state) && state.SeparationModeB > 1 ? 460 : 490;
  return base + 6 * static_cast<UINT>(std::clamp(level, 1, kBacklightLevels) - 1) +
         static_cast<UINT>(std::clamp(preview, 0, 2)) + (edge ? 3 : 0);
}

ScreenRange AmiLineRange(const CapsInfo& info) {
  const std::int32_t low = std::clamp(std::min(info.AmiLineMin, info.AmiLineMax), 1, 32767);
  const std::int32_t high = std::clamp(std::max(info.AmiLineMin, info.AmiLineMax), 1, 32767);
  return {low, high};
}

ScreenRange AmiAngleRange(const CapsInfo& info) {
  const std::int32_t low = std::clamp(std::min(info.AmiAngleMin, info.AmiAngleMax), -128, 127);
  const std::int32_t high = std::clamp(std::max(info.AmiAngleMin, info.AmiAngleMax), -128, 127);
  return {low, high};
}

namespace {
INT_PTR ImageOther(HWND page, DocSheetContext& context, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    const int id = static_cast<int>(item.CtlID);
    if (id != kTextInkPicture && id != kImageInkPicture) return FALSE;
    InkColourPicture(page, item, context.State, false);
    return TRUE;
  }
  // Images the page showed go with it.
  if (message == WM_DESTROY) ClearStaticBitmap(page, kSeparationPicture);
  return FALSE;
}
}  // namespace

INT_PTR CALLBACK ImagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  static const PageHooks hooks{2003, ImageFill, ImageRefresh, ImageCommand, nullptr, ImageDeactivate, ImageOther};
  return RunDocumentPage(hooks, page, message, wParam, lParam);
}

INT_PTR CALLBACK ImageAdjustDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* context = AdoptDialogRecord<const DocSheetContext>(dialog, lParam);
    const SheetState& s = context->State;
    const DocSettings& permanent = context->Caps.Permanent;
    SetTrackBar(dialog, kBrightnessBar, kAdjustLevels, s.Akarusa, permanent.Akarusa);
    SetTrackBar(dialog, kContrastBar, kAdjustLevels, s.Contrast, permanent.Contrast);
    SetTrackBar(dialog, kBacklightBar, kBacklightLevels, s.Gyakkou, permanent.Gyakkou);
    SetCheck(dialog, kBacklightCheck, s.GyakkouOn);
    SetCheck(dialog, kEdgeCheck, s.Edge);
    SetCheck(dialog, kSmoothCheck, s.KaityoSmooth);
    AdjustEnableRules(dialog, *context);
    return TRUE;
  }
  auto* context = DialogRecord<DocSheetContext>(dialog);
  if (!context) return FALSE;
  if (message == WM_HSCROLL) {
    InvalidatePreviews(dialog);
    return TRUE;
  }
  if (message == WM_DRAWITEM) {
    const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    const auto* at = std::find(std::begin(kPreviews), std::end(kPreviews), static_cast<int>(item.CtlID));
    if (at == std::end(kPreviews)) return FALSE;
    DrawPreview(dialog, *context, item, static_cast<int>(at - std::begin(kPreviews)));
    return TRUE;
  }
  if (message != WM_COMMAND) return FALSE;
  SheetState& s = context->State;
  const WORD id = LOWORD(wParam), code = HIWORD(wParam);
  switch (id) {
    case IDOK:
      s.Akarusa = static_cast<std::uint8_t>(TrackPosition(dialog, kBrightnessBar));
      s.Contrast = static_cast<std::uint8_t>(TrackPosition(dialog, kContrastBar));
      s.Gyakkou = static_cast<std::uint8_t>(TrackPosition(dialog, kBacklightBar));
      s.GyakkouOn = IsChecked(dialog, kBacklightCheck) ? 1 : 0;
      s.Edge = IsChecked(dialog, kEdgeCheck) ? 1 : 0;
      s.KaityoSmooth = IsChecked(dialog, kSmoothCheck) ? 1 : 0;
      EndDialog(dialog, 1);
      return TRUE;
    case IDCANCEL: EndDialog(dialog, 0); return TRUE;
    case kBacklightCheck:
      if (code != BN_CLICKED) return FALSE;
      if (context->Caps.Info.GyakkouEnable == 1) EnableBacklightLevel(dialog, IsChecked(dialog, kBacklightCheck));
      InvalidatePreviews(dialog);
      return TRUE;
    case kEdgeCheck:
      if (code != BN_CLICKED) return FALSE;
      InvalidatePreviews(dialog);
      return TRUE;
    default: return FALSE;
  }
}

INT_PTR ImageAdjustDialog(HWND page, DocSheetContext& context) {
  return DialogBoxParamW(context.State.ResourceDll, MAKEINTRESOURCEW(kAdjustTemplate), page, ImageAdjustDlgProc,
                         reinterpret_cast<LPARAM>(&context));
}
