#include "sheets/setting_pictures.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "sheets/control_kit.h"
#include "sheets/sheet_rules.h"

const LayoutTriple kLayoutCycle[13] = {{0, 0, 0}, {1, 1, 0}, {1, 2, 0}, {2, 1, 1}, {2, 1, 2}, {2, 2, 3}, {2, 2, 4},
                                       {2, 2, 5}, {2, 2, 6}, {3, 0, 7}, {3, 0, 8}, {4, 0, 7}, {4, 0, 8}};

const UINT kLayoutBitmaps[2][13] = {
    {521, 523, 525, 527, 528, 531, 532, 533, 534, 539, 540, 541, 542},
    {522, 524, 526, 529, 530, 535, 536, 537, 538, 539, 540, 541, 542},
};
const UINT kBindingOverlays[2][4] = {{543, 547, 544, 548}, {546, 550, 545, 549}};
const UINT kMarginOverlays[2] = {552, 553};

const UINT kTextInkBitmaps[7][9] = {
    {3679, 3670, 3661, 3685, 3676, 3667, 3682, 3673, 3664}, {3680, 3671, 3662, 3686, 3677, 3668, 3683, 3674, 3665},
    {3681, 3672, 3663, 3687, 3678, 3669, 3684, 3675, 3666}, {3730, 3718, 3706, 3738, 3726, 3714, 3734, 3722, 3710},
    {3732, 3720, 3708, 3740, 3728, 3716, 3736, 3724, 3712}, {3731, 3719, 3707, 3739, 3727, 3715, 3735, 3723, 3711},
    {3733, 3721, 3709, 3741, 3729, 3717, 3737, 3725, 3713},
};

const GreyPair kImageInkBitmaps[2][18] = {
    {{420, 420}, {420, 420}, {421, 422}, {423, 424}, {425, 426}, {422, 421}, {424, 423}, {426, 425}, {436, 437},
     {437, 436}, {438, 439}, {439, 438}, {440, 441}, {441, 440}, {442, 443}, {443, 442}, {442, 443}, {443, 442}},
    {{428, 428}, {428, 428}, {429, 430}, {431, 432}, {433, 434}, {430, 429}, {432, 431}, {434, 433}, {446, 447},
     {447, 446}, {448, 449}, {449, 448}, {450, 451}, {451, 450}, {452, 453}, {453, 452}, {452, 453}, {453, 452}},
};

COLORREF InkDisplayColour(int code) {
  const std::uint8_t* rgb = InkColorTable[IsInkCode(code) ? code - kInkCodeFirst : 0];
  return RGB(rgb[0], rgb[1], rgb[2]);
}

namespace {

constexpr InkCode kNoInk = kInkCodeFirst;  // code 1000: no colour

HGDIOBJ LoadPictureBitmap(HMODULE module, UINT id) {
  return LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
}

}  // namespace

struct PictureBitmaps {
  struct Loaded {
    HMODULE module;
    UINT id;
    HGDIOBJ bitmap;
  };
  std::vector<Loaded> loaded;
  HGDIOBJ recoloured = nullptr;  // the ink pictures are recoloured in it
  HGDIOBJ layout = nullptr;      // the layout picture is composed in it
};

PictureBitmaps* NewPictureBitmaps() { return new PictureBitmaps; }

void DeletePictureBitmaps(PictureBitmaps* pictures) {
  if (!pictures) return;
  for (const auto& l : pictures->loaded)
    if (l.bitmap) DeleteObject(l.bitmap);
  if (pictures->recoloured) DeleteObject(pictures->recoloured);
  if (pictures->layout) DeleteObject(pictures->layout);
  delete pictures;
}

namespace {

// A bitmap for one drawing: the sheet's loaded one, or one loaded for it
// and deleted after.
class PictureBitmap {
 public:
  PictureBitmap(const SheetState& s, UINT id) {
    if (!s.Pictures) {
      bitmap_ = LoadPictureBitmap(s.ResourceDll, id);
      owned_ = true;
      return;
    }
    for (const auto& l : s.Pictures->loaded)
      if (l.module == s.ResourceDll && l.id == id) {
        bitmap_ = l.bitmap;
        return;
      }
    bitmap_ = LoadPictureBitmap(s.ResourceDll, id);
    // A bitmap that did not load is asked for again next time.
    if (bitmap_) s.Pictures->loaded.push_back({s.ResourceDll, id, bitmap_});
  }
  ~PictureBitmap() {
    if (owned_ && bitmap_) DeleteObject(bitmap_);
  }
  PictureBitmap(const PictureBitmap&) = delete;
  PictureBitmap& operator=(const PictureBitmap&) = delete;
  HGDIOBJ get() const { return bitmap_; }

  // The bitmap made writable for recolouring: a loaded-per-drawing one as it
  // is, a sheet's one copied into the sheet's scratch bitmap.
  HGDIOBJ Writable(const SheetState& s) {
    if (owned_ || !bitmap_) return bitmap_;
    DIBSECTION from{}, to{};
    if (GetObjectW(bitmap_, sizeof from, &from) != static_cast<int>(sizeof from) || !from.dsBm.bmBits) return nullptr;
    HGDIOBJ& scratch = s.Pictures->recoloured;
    if (scratch && (GetObjectW(scratch, sizeof to, &to) != static_cast<int>(sizeof to) ||
                    to.dsBm.bmWidth != from.dsBm.bmWidth || to.dsBm.bmHeight != from.dsBm.bmHeight ||
                    to.dsBm.bmBitsPixel != from.dsBm.bmBitsPixel || to.dsBm.bmWidthBytes != from.dsBm.bmWidthBytes)) {
      DeleteObject(scratch);
      scratch = nullptr;
    }
    if (!scratch) {
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof info.bmiHeader;
      info.bmiHeader.biWidth = from.dsBm.bmWidth;
      info.bmiHeader.biHeight = from.dsBmih.biHeight;
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = from.dsBm.bmBitsPixel;
      info.bmiHeader.biCompression = BI_RGB;
      void* bits = nullptr;
      scratch = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
      if (!scratch || GetObjectW(scratch, sizeof to, &to) != static_cast<int>(sizeof to) ||
          to.dsBm.bmWidthBytes != from.dsBm.bmWidthBytes || to.dsBm.bmHeight != from.dsBm.bmHeight) {
        if (scratch) DeleteObject(scratch);
        scratch = nullptr;
        return nullptr;
      }
    }
    std::memcpy(to.dsBm.bmBits, from.dsBm.bmBits,
                static_cast<std::size_t>(from.dsBm.bmWidthBytes) * static_cast<std::size_t>(from.dsBm.bmHeight));
    return scratch;
  }

 private:
  HGDIOBJ bitmap_ = nullptr;
  bool owned_ = false;
};

// The 24-bit pixels of a bitmap; false for another depth.
bool Pixels24(HGDIOBJ bitmap, DIBSECTION& ds) {
  return bitmap && GetObjectW(bitmap, sizeof ds, &ds) == static_cast<int>(sizeof ds) && ds.dsBm.bmBitsPixel == 24 &&
         ds.dsBm.bmBits != nullptr && ds.dsBm.bmWidth > 0 && ds.dsBm.bmHeight > 0 &&
         ds.dsBm.bmWidthBytes >= ds.dsBm.bmWidth * 3;
}

// Copies the whole bitmap to the item's rectangle, once.
void CopyToItem(const DRAWITEMSTRUCT& item, HGDIOBJ bitmap, int width, int height) {
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ before = SelectObject(memory, bitmap);
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory, 0, 0, SRCCOPY);
  SelectObject(memory, before);
  DeleteDC(memory);
}

// Draws the bitmap with pure red transparent; 0 without a DC or bitmap.
int KeyedBlit(HDC dc, HGDIOBJ bitmap, int x, int y, int width, int height) {
  if (!dc || !bitmap) return 0;
  BITMAP bm{};
  GetObjectW(bitmap, sizeof bm, &bm);
  HDC memory = CreateCompatibleDC(dc);
  HGDIOBJ before = SelectObject(memory, bitmap);
  TransparentBlt(dc, x, y, width, height, memory, 0, 0, bm.bmWidth, bm.bmHeight, kTransparentKey);
  SelectObject(memory, before);
  DeleteDC(memory);
  return 1;
}

int ColumnFor(const SheetState& s) {
  switch (s.LayoutMode) {
    case kLayoutRepeat: return s.LayoutSub == 2 ? 2 : 1;
    case kLayoutNup:
      if (s.LayoutSub == 2) {
        switch (s.LayoutKind) {
          case 6: return 8;
          case 5: return 7;
          case 4: return 6;
          default: return 5;
        }
      }
      return s.LayoutKind == 2 ? 4 : 3;
    case kLayoutBooklet: return s.LayoutKind == 8 ? 10 : 9;
    case kLayoutBooklet4P: return s.LayoutKind == 8 ? 12 : 11;
    default: return 0;
  }
}

// The separation mode of a dialog's combo: its selected entry's item data (0 without one).
int DialogMode(HWND dialog, int comboId) {
  const int selection = GetComboSel(dialog, comboId);
  return selection < 0 ? 0 : static_cast<int>(GetComboItemData(dialog, comboId, selection));
}

struct InkPair {
  InkCode A = 0, B = 0;
};

int TextRow(const SheetState& s, int modeA) {
  if (s.ColorMode == 1 || s.Duplex != 0 || s.Seihan != 2) return 0;
  switch (modeA) {
    case 2: case 4: return 1;
    case 3: case 5: return 2;
    case 6: case 7: return 3;
    case 8: case 9: return 4;
    case 10: case 11: return 5;
    case 12: case 13: return 6;
    default: return 0;
  }
}

InkPair TextColours(const SheetState& s, int modeA) {
  if (s.ColorMode == 1) return {s.OneInkColor, 0};
  if (s.Duplex != 0 || s.Seihan == 0) return {s.Drum1Color, 0};
  if (s.Seihan == 1) return {s.Drum2Color, 0};
  switch (modeA) {
    case 0: return {s.Drum1Color, 0};
    case 1: return {s.Drum2Color, 0};
    case 2: case 3: case 6: case 8: case 10: case 12: return {s.Drum2Color, s.Drum1Color};
    case 4: case 5: case 7: case 9: case 11: case 13: return {s.Drum1Color, s.Drum2Color};
    default: return {};
  }
}

InkPair ImageColours(const SheetState& s, int modeB) {
  if (s.ColorMode == 1) return {s.OneInkColor, 0};
  if (s.Duplex != 0 || s.Seihan == 0) return {s.Drum1Color, 0};
  if (s.Seihan == 1) return {0, s.Drum2Color};
  if (modeB == 0) return {s.Drum1Color, 0};
  if (modeB == 1) return {0, s.Drum2Color};
  return {s.Drum1Color, s.Drum2Color};
}

void TextPicture(const DRAWITEMSTRUCT& item, const SheetState& s, int modeA) {
  if (s.TextProc > 2) return;
  const int column = s.TextProc + (s.TextVolumeA == 1 ? 0 : s.TextVolumeB == 1 ? 3 : 6);
  const UINT id = kTextInkBitmaps[TextRow(s, modeA)][column];
  const InkPair inks = TextColours(s, modeA);
  const COLORREF a = InkDisplayColour(inks.A ? inks.A : kNoInk);
  const COLORREF b = InkDisplayColour(inks.B ? inks.B : kNoInk);
  PictureBitmap loaded(s, id);
  HGDIOBJ bitmap = loaded.Writable(s);
  DIBSECTION ds{};
  if (Pixels24(bitmap, ds)) {
    for (LONG y = 0; y < ds.dsBm.bmHeight; ++y) {
      BYTE* row = static_cast<BYTE*>(ds.dsBm.bmBits) + static_cast<std::size_t>(y) * static_cast<std::size_t>(ds.dsBm.bmWidthBytes);
      for (LONG x = 0; x < ds.dsBm.bmWidth; ++x) {
        BYTE* p = row + x * 3;
        const bool black = p[0] == 0 && p[1] == 0 && p[2] == 0;
        const bool grey = p[0] == 128 && p[1] == 128 && p[2] == 128;
        if (!black && !grey) continue;
        const COLORREF c = black ? a : b;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
      }
    }
    CopyToItem(item, bitmap, ds.dsBm.bmWidth, ds.dsBm.bmHeight);
  }
}

// Level L of a ramp from the ink colour (level 0) to white (level 255).
BYTE RampLevel(BYTE ink, int level) { return static_cast<BYTE>(255 - (255 - ink) * (255 - level) / 255); }

struct Ramp {
  BYTE Blue[256], Green[256], Red[256];
};

// An image ink without a colour (none, 1000 or outside the codes) is white.
Ramp RampFor(InkCode code) {
  const COLORREF c = IsInkCode(code) && code != kNoInk ? InkDisplayColour(code) : RGB(255, 255, 255);
  Ramp r{};
  for (int level = 0; level < 256; ++level) {
    r.Blue[level] = RampLevel(GetBValue(c), level);
    r.Green[level] = RampLevel(GetGValue(c), level);
    r.Red[level] = RampLevel(GetRValue(c), level);
  }
  return r;
}

void ImagePicture(const DRAWITEMSTRUCT& item, const SheetState& s, int modeB) {
  if (modeB < 0 || modeB > 17) return;
  const bool plain = s.ColorMode == 1 || s.Seihan < 2 || modeB < 2 || s.Duplex != 0;
  const int photo = s.PhotoMode != 0 ? 1 : 0;
  const GreyPair pair = plain ? kImageInkBitmaps[photo][0] : kImageInkBitmaps[photo][modeB];
  const InkPair inks = ImageColours(s, modeB);
  const Ramp rampA = RampFor(inks.A), rampB = RampFor(inks.B);
  PictureBitmap loadedA(s, pair.A), loadedB(s, pair.B);
  HGDIOBJ first = loadedA.Writable(s);
  HGDIOBJ second = loadedB.get();
  DIBSECTION da{}, db{};
  if (Pixels24(first, da) && Pixels24(second, db) && da.dsBm.bmWidth == db.dsBm.bmWidth &&
      da.dsBm.bmHeight == db.dsBm.bmHeight) {
    for (LONG y = 0; y < da.dsBm.bmHeight; ++y) {
      BYTE* out = static_cast<BYTE*>(da.dsBm.bmBits) + static_cast<std::size_t>(y) * static_cast<std::size_t>(da.dsBm.bmWidthBytes);
      const BYTE* other = static_cast<const BYTE*>(db.dsBm.bmBits) + static_cast<std::size_t>(y) * static_cast<std::size_t>(db.dsBm.bmWidthBytes);
      for (LONG x = 0; x < da.dsBm.bmWidth; ++x) {
        BYTE* p = out + x * 3;
        const BYTE la = p[0], lb = other[x * 3];
        p[0] = std::min(rampA.Blue[la], rampB.Blue[lb]);
        p[1] = std::min(rampA.Green[la], rampB.Green[lb]);
        p[2] = std::min(rampA.Red[la], rampB.Red[lb]);
      }
    }
    CopyToItem(item, first, da.dsBm.bmWidth, da.dsBm.bmHeight);
  }
}

}  // namespace

void InvalidateLayoutPicture(HWND page) { InvalidateRect(GetDlgItem(page, kLayoutPicture), nullptr, FALSE); }

void InvalidateInkPictures(HWND page) {
  InvalidateRect(GetDlgItem(page, kTextInkPicture), nullptr, FALSE);
  InvalidateRect(GetDlgItem(page, kImageInkPicture), nullptr, FALSE);
}

int LayoutPicture(UINT* ids, const SheetState& s, std::int32_t paperWidth, std::int32_t paperLength) {
  int o = s.Landscape != 0 ? 1 : 0;
  if (paperWidth > paperLength) o ^= 1;
  int n = 0;
  if (s.Rotate) ids[n++] = kRotationOverlay;
  int bindingSlot = -1, marginSlot = -1;
  if (s.Duplex) {
    bindingSlot = n;
    ids[n++] = 0;
  }
  if (s.SyuuiYohaku) {
    marginSlot = n;
    ids[n++] = 0;
  }
  ids[n++] = kLayoutBitmaps[o][ColumnFor(s)];
  // Two pages on a sheet turn the sheet.
  if ((s.LayoutMode == kLayoutRepeat || s.LayoutMode == kLayoutNup) && s.LayoutSub != 2) o ^= 1;
  if (s.LayoutMode <= kLayoutNup) {
    if (bindingSlot >= 0) {
      const int position = s.BindingPosition;
      int index = 0;
      if ((o == 0 && s.Duplex == 1) || (o == 1 && s.Duplex == 2)) {
        index = position == 1 || position == 2 ? position - 1 : 0;
      } else {
        index = position == 3 || position == 4 ? position - 1 : 2;
      }
      ids[bindingSlot] = kBindingOverlays[o][index];
    }
    if (marginSlot >= 0) ids[marginSlot] = kMarginOverlays[o];
  }
  ids[n++] = kLayoutFrame;
  return n;
}

void ComposeLayoutPicture(HWND, const DRAWITEMSTRUCT& item, const SheetState& state, std::int32_t paperWidth,
                          std::int32_t paperLength) {
  UINT ids[kLayoutPictureLayers] = {};
  const int count = LayoutPicture(ids, state, paperWidth, paperLength);
  HDC memory = CreateCompatibleDC(item.hDC);
  HGDIOBJ kept = state.Pictures ? state.Pictures->layout : nullptr;
  HGDIOBJ picture = kept ? kept : CreateCompatibleBitmap(item.hDC, kLayoutPictureSide, kLayoutPictureSide);
  if (!memory || !picture) {
    if (picture && !kept) DeleteObject(picture);
    if (memory) DeleteDC(memory);
    return;
  }
  if (state.Pictures) state.Pictures->layout = picture;
  HGDIOBJ before = SelectObject(memory, picture);
  // A kept picture starts as a new one does: black.
  if (kept) {
    const RECT all{0, 0, kLayoutPictureSide, kLayoutPictureSide};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  }
  for (int i = count - 1; i >= 0; --i) {
    if (ids[i] == 0) continue;
    const PictureBitmap layer(state, ids[i]);
    KeyedBlit(memory, layer.get(), 0, 0, kLayoutPictureSide, kLayoutPictureSide);
  }
  BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, kLayoutPictureSide, kLayoutPictureSide, memory, 0, 0, SRCCOPY);
  SelectObject(memory, before);
  if (!state.Pictures) DeleteObject(picture);
  DeleteDC(memory);
}

bool ChosenPaperSize(const ModelCaps& caps, const SheetState& state, std::int32_t& width, std::int32_t& length) {
  if (state.FreePaper == 1) {
    width = state.FreeWidth;
    length = state.FreeLength;
    return true;
  }
  const PaperEntry* paper = PaperAt(caps, state.PaperIndex);
  if (!paper) return false;
  width = paper->Width;
  length = paper->Length;
  return true;
}

void CycleLayout(HWND page, DocSheetContext& context, SheetState& state) {
  constexpr int kCount = static_cast<int>(std::size(kLayoutCycle));
  int current = -1;
  for (int i = 0; i < kCount; ++i) {
    const LayoutTriple& t = kLayoutCycle[i];
    if (t.Mode == state.LayoutMode && t.Sub == state.LayoutSub && t.Kind == state.LayoutKind) current = i;
  }
  if (current < 0) return;
  // Layouts the paper or the model does not offer are passed over.
  int next = current + 1;
  while (next < kCount && !(state.LayoutTypeMask & (1u << kLayoutCycle[next].Mode))) ++next;
  const std::uint8_t previousMode = state.LayoutMode;
  if (next >= kCount) {
    next = 0;
    state.Duplex = 0;
  }
  state.LayoutMode = kLayoutCycle[next].Mode;
  state.LayoutSub = kLayoutCycle[next].Sub;
  state.LayoutKind = kLayoutCycle[next].Kind;
  FitLayoutToPaper(page, context, state);
  if (state.ImagePosition == 1) ImagePositionOn(state);
  if (state.SeparationKind == 3) ResetForSeparationKind3(state);
  if (next != current) OnLayoutTypeChanged(page, context.Caps, state, previousMode);
}

void InkColourPicture(HWND window, const DRAWITEMSTRUCT& item, const SheetState& state, bool fromDialog) {
  const int modeA = fromDialog ? DialogMode(window, 3062) : state.SeparationModeA;
  const int modeB = fromDialog ? DialogMode(window, 3064) : state.SeparationModeB;
  switch (item.CtlID) {
    case kTextInkPicture:
    case kDialogTextInkPicture: TextPicture(item, state, modeA); break;
    case kImageInkPicture:
    case kDialogImageInkPicture: ImagePicture(item, state, modeB); break;
    default: break;
  }
}

int TransparentBlit(HDC dc, HGDIOBJ bitmap, int x, int y, int width, int height) {
  const int drawn = KeyedBlit(dc, bitmap, x, y, width, height);
  if (bitmap) DeleteObject(bitmap);
  return drawn;
}

void DrawResourceBitmap(HMODULE module, HDC dc, UINT bitmapId, int fill) {
  if (bitmapId == 0) return;
  HGDIOBJ bitmap = LoadPictureBitmap(module, bitmapId);
  if (!bitmap) return;
  BITMAP bm{};
  GetObjectW(bitmap, sizeof bm, &bm);
  if (fill == 1) {
    const RECT r{0, 0, bm.bmWidth, bm.bmHeight};
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
  }
  TransparentBlit(dc, bitmap, 0, 0, bm.bmWidth, bm.bmHeight);
}

bool PictureHitTest(HWND page, POINT client) {
  HWND picture = GetDlgItem(page, kLayoutPicture);
  RECT r{};
  if (!picture || !GetWindowRect(picture, &r)) return false;
  ClientToScreen(page, &client);
  return client.x >= r.left && client.x <= r.right && client.y >= r.top && client.y <= r.bottom;
}

bool PictureTakesClicks(HWND page, const ModelCaps& caps) {
  HWND picture = GetDlgItem(page, kLayoutPicture);
  return picture && IsWindowVisible(picture) && IsWindowEnabled(picture) && caps.Info.LayoutImageEnable == 1 &&
         caps.Info.PageLayoutEnable == 1;
}

void UpdatePictureCursor(HWND page, POINT client, const ModelCaps& caps, const SheetState& state) {
  HWND picture = GetDlgItem(page, kLayoutPicture);
  if (!picture) return;
  if (PictureTakesClicks(page, caps) && PictureHitTest(page, client)) {
    SetClassLongPtrW(picture, GCLP_HCURSOR, 0);
    SetCursor(static_cast<HCURSOR>(state.HandCursor));
  } else {
    SetClassLongPtrW(picture, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(state.PageCursor));
  }
}

bool OnPictureClick(HWND page, POINT client, DocSheetContext& context, SheetState& state) {
  if (!PictureTakesClicks(page, context.Caps) || !PictureHitTest(page, client)) return false;
  SetCursor(static_cast<HCURSOR>(state.HandCursor));
  CycleLayout(page, context, state);
  return true;
}

void OwnerDrawColorItem(HWND, const DRAWITEMSTRUCT& item, int listKind, InkCode itemColour, InkCode marked1,
                        InkCode marked2, int markedIndex3062, int markedIndex3064, int oneInkFlag) {
  const int index = static_cast<int>(item.itemID);
  if (index < 0) return;
  const bool either = itemColour == marked1 || itemColour == marked2;
  bool marked = false;
  switch (item.CtlID) {
    case 3062: marked = index == markedIndex3062; break;
    case 3064: marked = index == markedIndex3064; break;
    case kOneInkCombo: marked = oneInkFlag != 0 && either; break;
    case kDrum1Combo: marked = itemColour == marked1; break;
    case kDrum2Combo: marked = itemColour == marked2; break;
    case 3154:
    case 3155: marked = either; break;
    default: break;
  }
  COLORREF back, text;
  if (item.itemState & ODS_SELECTED) {
    back = GetSysColor(COLOR_HIGHLIGHT);
    text = marked ? RGB(255, 255, 0) : GetSysColor(COLOR_HIGHLIGHTTEXT);
  } else if (item.itemState & ODS_DISABLED) {
    back = GetBkColor(item.hDC);
    text = GetSysColor(COLOR_GRAYTEXT);
  } else {
    back = GetSysColor(COLOR_WINDOW);
    text = marked ? RGB(0, 0, 255) : GetSysColor(COLOR_WINDOWTEXT);
  }
  const UINT lengthMessage = listKind == 0 ? CB_GETLBTEXTLEN : LB_GETTEXTLEN;
  const UINT textMessage = listKind == 0 ? CB_GETLBTEXT : LB_GETTEXT;
  const LRESULT length = SendMessageW(item.hwndItem, lengthMessage, item.itemID, 0);
  std::u16string label(length > 0 ? static_cast<std::size_t>(length) : 0, u'\0');
  if (length > 0) {
    std::u16string buffer(static_cast<std::size_t>(length) + 1, u'\0');
    SendMessageW(item.hwndItem, textMessage, item.itemID, reinterpret_cast<LPARAM>(buffer.data()));
    label.assign(buffer.c_str());
  }
  HBRUSH brush = CreateSolidBrush(back);
  FillRect(item.hDC, &item.rcItem, brush);
  DeleteObject(brush);
  SetTextColor(item.hDC, text);
  SetBkColor(item.hDC, back);
  RECT r = item.rcItem;
  DrawTextW(item.hDC, label.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void DrawAvailColorItem(HWND page, const DRAWITEMSTRUCT& item, const SheetState& state, int oneInkFlag) {
  const int index = static_cast<int>(item.itemID);
  if (index < 0 || index >= static_cast<int>(kColorIdCount) || index >= state.AvailColorCount) return;
  OwnerDrawColorItem(page, item, 0, state.AvailColors[index], state.PrinterDrum1Color, state.PrinterDrum2Color, -1, -1,
                     oneInkFlag);
}
