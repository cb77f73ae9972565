// The image page (template 2003: photo mode, screening lines and angle, photo
// kind, image adjustment, text processing and text volume) and the image
// adjustment dialog (template 1999) with its previews.
#pragma once

#include <array>
#include <cstdint>

#include "plat/base.h"
#include "sheets/sheet_state.h"

INT_PTR CALLBACK ImagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// The DialogBoxParamW result (1 = OK); writes the six adjustment values on OK.
INT_PTR ImageAdjustDialog(HWND page, DocSheetContext& context);
INT_PTR CALLBACK ImageAdjustDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The preview's tone rows, one per contrast position 1-7: about
// 128 + (x - 128) x s for s = 1/2, 2/3, 4/5, 1, 5/4, 3/2, 2, clamped, with
// 255 kept at 255.
extern const std::array<std::array<std::uint8_t, 256>, 7> kPreviewToneRows;
// Subtracted after the tone row, per brightness position 1-7.
inline constexpr int kPreviewBrightnessOffsets[7] = {90, 60, 30, 0, -30, -60, -90};
// One preview byte at contrast and brightness positions 1-7.
std::uint8_t PreviewByte(std::uint8_t x, int contrast, int brightness);
// The preview bitmap of control p (0-2) at backlight level 1-5 (1 with the
// correction off) with or without edge emphasis.
UINT PreviewBitmapId(const SheetState& state, int preview, int level, bool edge);

// The screening ranges of the up-downs: the model's, kept inside what the
// settings hold (lines 1-32767, angle -128..127).
struct ScreenRange {
  std::int32_t Minimum;
  std::int32_t Maximum;
};
ScreenRange AmiLineRange(const CapsInfo& info);
ScreenRange AmiAngleRange(const CapsInfo& info);
