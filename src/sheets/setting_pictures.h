// The pictures of the document pages that follow the settings: the layout
// picture (control 4009) that cycles through the layouts when clicked, the
// ink pictures of text and images (4003/4004 on the pages, 4007/4008 in the
// separation dialog), the entries of the ink-colour combos and lists, and the
// small bitmaps of the pages. Every bitmap comes from the resource library.
#pragma once

#include <cstdint>

#include "plat/dialog.h"
#include "sheets/sheet_state.h"

inline constexpr int kLayoutPicture = 4009;
inline constexpr int kTextInkPicture = 4003, kImageInkPicture = 4004;
inline constexpr int kDialogTextInkPicture = 4007, kDialogImageInkPicture = 4008;
inline constexpr int kLayoutPictureSide = 142;
// At most rotation, binding, margin, layout and frame.
inline constexpr int kLayoutPictureLayers = 5;
inline constexpr COLORREF kTransparentKey = RGB(255, 0, 0);

// One LayoutChoice (mode, sub, kind).
struct LayoutTriple {
  std::uint8_t Mode, Sub, Kind;
};
extern const LayoutTriple kLayoutCycle[13];
// Layout bitmaps by picture orientation and layout column.
extern const UINT kLayoutBitmaps[2][13];
extern const UINT kBindingOverlays[2][4];
extern const UINT kMarginOverlays[2];
inline constexpr UINT kRotationOverlay = 551, kLayoutFrame = 405;
// Text and graphics pictures by row (first separation mode) and column (text settings).
extern const UINT kTextInkBitmaps[7][9];
// Image pictures by PhotoMode (0, not 0) and second separation mode: colour A's and colour B's grey bitmaps.
struct GreyPair {
  UINT A, B;
};
extern const GreyPair kImageInkBitmaps[2][18];
// The display colour of a code; codes outside 1000-1063 show as 1000.
COLORREF InkDisplayColour(int code);

// The bitmaps of one open sheet, each loaded from the resource library once
// and kept with the scratch bitmaps the pictures are composed in. A state
// without them loads every bitmap per drawing.
PictureBitmaps* NewPictureBitmaps();
void DeletePictureBitmaps(PictureBitmaps* pictures);

void InvalidateLayoutPicture(HWND page);
void InvalidateInkPictures(HWND page);

// The bitmap ids of the layout picture, top layer first (0: an empty slot);
// ids holds kLayoutPictureLayers. Returns the count written.
int LayoutPicture(UINT* ids, const SheetState& state, std::int32_t paperWidth, std::int32_t paperLength);
void ComposeLayoutPicture(HWND page, const DRAWITEMSTRUCT& item, const SheetState& state, std::int32_t paperWidth,
                          std::int32_t paperLength);
// The document paper's size: the free size when FreePaper is 1, else the
// chosen paper's; false when the index is outside the papers.
bool ChosenPaperSize(const ModelCaps& caps, const SheetState& state, std::int32_t& width, std::int32_t& length);
// The next layout of the cycle, with the rules that follow a layout change.
void CycleLayout(HWND page, DocSheetContext& context, SheetState& state);
// Draws 4003/4007 (text) or 4004/4008 (image) by the item's control id.
void InkColourPicture(HWND window, const DRAWITEMSTRUCT& item, const SheetState& state, bool fromDialog);

// Draws the bitmap with pure red transparent, then deletes it; 0 without a DC or bitmap.
int TransparentBlit(HDC dc, HGDIOBJ bitmap, int x, int y, int width, int height);
void DrawResourceBitmap(HMODULE module, HDC dc, UINT bitmapId, int fill);

bool PictureHitTest(HWND page, POINT client);
// The layout picture takes clicks only while it is shown and enabled and the
// model offers page layouts.
bool PictureTakesClicks(HWND page, const ModelCaps& caps);
void UpdatePictureCursor(HWND page, POINT client, const ModelCaps& caps, const SheetState& state);
// True when the click hit the picture (and cycled the layout).
bool OnPictureClick(HWND page, POINT client, DocSheetContext& context, SheetState& state);

// listKind 0: combo box, 1: list box.
void OwnerDrawColorItem(HWND dialog, const DRAWITEMSTRUCT& item, int listKind, InkCode itemColour, InkCode marked1,
                        InkCode marked2, int markedIndex3062, int markedIndex3064, int oneInkFlag);
// An entry of the colour combos 2071, 2072 and 3045: the colour at the item's
// position in AvailColors, the printer's drum colours marked.
void DrawAvailColorItem(HWND page, const DRAWITEMSTRUCT& item, const SheetState& state, int oneInkFlag);
