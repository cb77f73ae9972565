#include "sheets/control_kit.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <string>

#include "device/usb_job_folders.h"
#include "plat/dialog.h"
#include "plat/propsheet.h"
#include "plat/resources.h"
#include "plat/strings.h"

namespace {

std::u16string ResourceText(HMODULE module, UINT id) {
  WCHAR text[kKitTextUnits] = {};
  LoadStringW(module, id, text, kKitTextUnits);
  return text;
}

// Copies text into buffer cut to capacity - 1 units and terminated.
void CopyCut(std::u16string_view text, WCHAR* buffer, int capacity) {
  if (!buffer || capacity <= 0) return;
  const std::size_t n = std::min(text.size(), static_cast<std::size_t>(capacity - 1));
  std::copy_n(text.data(), n, buffer);
  buffer[n] = 0;
}

constexpr std::int64_t kPowers[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
constexpr std::int64_t kSaturated = std::numeric_limits<std::int64_t>::max() / 20;

// Adds a digit to a non-negative number, saturating well inside 64 bits.
std::int64_t AddDigit(std::int64_t v, char16_t digit) {
  if (v >= kSaturated) return kSaturated;
  return std::min(v * 10 + (digit - u'0'), kSaturated);
}

}  // namespace

void SetTextFromResource(HMODULE module, HWND window, UINT stringId) {
  const std::u16string text = ResourceText(module, stringId);
  SetWindowTextW(window, text.c_str());
}

void EnableItem(HWND dialog, int id) { EnableWindow(GetDlgItem(dialog, id), TRUE); }
void DisableItem(HWND dialog, int id) { EnableWindow(GetDlgItem(dialog, id), FALSE); }
void ShowItem(HWND dialog, int id) { ShowWindow(GetDlgItem(dialog, id), SW_SHOW); }
void HideItem(HWND dialog, int id) { ShowWindow(GetDlgItem(dialog, id), SW_HIDE); }

void ApplyAvailability(HWND dialog, int id, std::uint8_t availability) {
  if (availability == 2) {
    HideItem(dialog, id);
    return;
  }
  ShowItem(dialog, id);
  EnableWindow(GetDlgItem(dialog, id), availability == 1 ? TRUE : FALSE);
}

bool IsChecked(HWND dialog, int id) {
  return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == static_cast<LRESULT>(BST_CHECKED);
}

void SetCheck(HWND dialog, int id, std::uint8_t value) {
  SendDlgItemMessageW(dialog, id, BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
}

int GetComboSel(HWND dialog, int id) { return static_cast<int>(SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0)); }

void SetComboSel(HWND dialog, int id, int index) {
  SendDlgItemMessageW(dialog, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

LPARAM GetComboItemData(HWND dialog, int id, int index) {
  return SendDlgItemMessageW(dialog, id, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
}

void SetComboItemData(HWND dialog, int id, int index, LPARAM data) {
  SendDlgItemMessageW(dialog, id, CB_SETITEMDATA, static_cast<WPARAM>(index), data);
}

SpinRange GetSpinRange(HWND dialog, int id) {
  int low = 0, high = 0;
  SendDlgItemMessageW(dialog, id, UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
  return SpinRange{low, high};
}

void SetSpinRange(HWND dialog, int id, std::int32_t minimum, std::int32_t maximum) {
  SendDlgItemMessageW(dialog, id, UDM_SETRANGE32, static_cast<WPARAM>(static_cast<INT_PTR>(minimum)), maximum);
}

void SetSpinPos(HWND dialog, int id, std::int32_t position) {
  SendDlgItemMessageW(dialog, id, UDM_SETPOS32, 0, position);
}

void LimitEditText(HWND dialog, int id, int characters) {
  SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void SetStaticIcon(HMODULE module, HWND dialog, int id, UINT iconId) {
  HICON icon = LoadIconW(module, MAKEINTRESOURCEW(iconId));
  const LRESULT old = SendDlgItemMessageW(dialog, id, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  if (old && old != reinterpret_cast<LRESULT>(icon)) DestroyIcon(reinterpret_cast<HICON>(old));
}
void ClearStaticIcon(HWND dialog, int id) {
  const LRESULT old = SendDlgItemMessageW(dialog, id, STM_SETICON, 0, 0);
  if (old) DestroyIcon(reinterpret_cast<HICON>(old));
}

void SetStaticBitmap(HMODULE module, HWND dialog, int id, UINT bitmapId) {
  HANDLE bitmap = LoadImageW(module, MAKEINTRESOURCEW(bitmapId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
  const LRESULT old = SendDlgItemMessageW(dialog, id, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
  if (old && old != reinterpret_cast<LRESULT>(bitmap)) DeleteObject(reinterpret_cast<HGDIOBJ>(old));
}
void ClearStaticBitmap(HWND dialog, int id) {
  const LRESULT old = SendDlgItemMessageW(dialog, id, STM_SETIMAGE, IMAGE_BITMAP, 0);
  if (old) DeleteObject(reinterpret_cast<HGDIOBJ>(old));
}

void NotifySheetChanged(HWND page) { SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0); }

INT_PTR WhiteTextBackground(HWND dialog, int id, WPARAM wParam, LPARAM lParam) {
  HWND control = reinterpret_cast<HWND>(lParam);
  if (!control || control != GetDlgItem(dialog, id)) return 0;
  SetBkColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));
  return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
}

void AddResourceString(HMODULE module, HWND dialog, int id, UINT stringId) {
  const std::u16string text = ResourceText(module, stringId);
  SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void AddResourceStrings(HMODULE module, HWND dialog, int id, const UINT* stringIds, int count) {
  for (int i = 0; stringIds && i < count; ++i) AddResourceString(module, dialog, id, stringIds[i]);
}

void MoveListItem(HWND dialog, int id, int from, int to, WCHAR* buffer, int capacity) {
  const LRESULT length = SendDlgItemMessageW(dialog, id, LB_GETTEXTLEN, static_cast<WPARAM>(from), 0);
  if (length < 0 || !buffer || length >= capacity) return;  // the caller's buffer must hold the item
  SendDlgItemMessageW(dialog, id, LB_GETTEXT, static_cast<WPARAM>(from), reinterpret_cast<LPARAM>(buffer));
  SendDlgItemMessageW(dialog, id, LB_DELETESTRING, static_cast<WPARAM>(from), 0);
  SendDlgItemMessageW(dialog, id, LB_INSERTSTRING, static_cast<WPARAM>(to), reinterpret_cast<LPARAM>(buffer));
  SendDlgItemMessageW(dialog, id, LB_SETCURSEL, static_cast<WPARAM>(to), 0);
}

void ResizeItem(HWND dialog, int id, int width, int height) {
  HWND item = GetDlgItem(dialog, id);
  RECT r{};
  if (!GetWindowRect(item, &r)) return;
  POINT corner{r.left, r.top};
  ScreenToClient(dialog, &corner);
  MoveWindow(item, corner.x, corner.y, width, height, FALSE);
}

void FormatWithInserts(WCHAR* buffer, int capacity, const WCHAR* format, int count, const WCHAR* a, const WCHAR* b) {
  // Each "%s" takes the next insert; "%%" is a percent sign; anything else stays.
  std::u16string out;
  const std::u16string_view f = plat::view(format);
  int used = 0;
  for (std::size_t i = 0; i < f.size(); ++i) {
    if (f[i] == u'%' && i + 1 < f.size()) {
      if (f[i + 1] == u's') {
        const WCHAR* insert = used == 0 ? a : (count == 2 && used == 1 ? b : nullptr);
        out += plat::view(insert);
        ++used;
        ++i;
        continue;
      }
      if (f[i + 1] == u'%') {
        out += u'%';
        ++i;
        continue;
      }
    }
    out += f[i];
  }
  CopyCut(out, buffer, capacity);
}

void FormatItemText(HWND dialog, int id, int count, const WCHAR* a, const WCHAR* b) {
  WCHAR format[kKitTextUnits] = {};
  GetDlgItemTextW(dialog, id, format, kKitTextUnits);
  WCHAR text[kKitTextUnits] = {};
  FormatWithInserts(text, kKitTextUnits, format, count, a, b);
  SetDlgItemTextW(dialog, id, text);
}

int GetComboSelText(HWND dialog, int id, WCHAR* buffer, int capacity) {
  const LRESULT sel = SendDlgItemMessageW(dialog, id, CB_GETCURSEL, 0, 0);
  if (sel < 0 || !buffer) return 0;
  const LRESULT length = SendDlgItemMessageW(dialog, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
  if (length < 0 || length + 1 > capacity) return 0;
  SendDlgItemMessageW(dialog, id, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(buffer));
  return static_cast<int>(length) + 1;
}

void* AllocBlock(std::size_t bytes) { return std::malloc(bytes); }

void FreeBlock(void*& block) {
  std::free(block);
  block = nullptr;
}

int ClampToRange(std::int32_t* value, std::int32_t minimum, std::int32_t maximum) {
  if (*value < minimum) {
    *value = minimum;
    return 1;
  }
  if (*value > maximum) {
    *value = maximum;
    return 1;
  }
  return 0;
}

int ParseFixedPointEdit(HWND dialog, int editId, int spinId, int digits, std::int32_t* value) {
  WCHAR buffer[kFixedPointTextUnits] = {};
  GetDlgItemTextW(dialog, editId, buffer, kFixedPointTextUnits);
  const SpinRange range = GetSpinRange(dialog, spinId);
  digits = std::clamp(digits, 0, 9);
  std::u16string_view text(buffer);
  bool rewrite = false;
  const bool negative = !text.empty() && text[0] == u'-';
  if (negative) text.remove_prefix(1);

  std::size_t at = 0;
  std::int64_t whole = 0;
  std::size_t wholeDigits = 0;
  while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
    whole = AddDigit(whole, text[at++]);
    ++wholeDigits;
  }
  std::int64_t number = whole;
  if (digits == 0) {
    if (wholeDigits == 0) rewrite = true;
  } else {
    bool point = at < text.size() && text[at] == u'.';
    std::int64_t fraction = 0;
    std::size_t fractionDigits = 0;
    if (point) {
      ++at;
      while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
        if (fractionDigits < static_cast<std::size_t>(digits)) fraction = fraction * 10 + (text[at] - u'0');
        ++fractionDigits;
        ++at;
      }
    }
    if (!point || wholeDigits == 0 || fractionDigits != static_cast<std::size_t>(digits)) rewrite = true;
    for (std::size_t d = fractionDigits; d < static_cast<std::size_t>(digits); ++d) fraction *= 10;
    number = whole >= kSaturated / kPowers[digits] ? kSaturated : whole * kPowers[digits] + fraction;
  }
  if (at != text.size()) rewrite = true;  // the valid prefix stops before the end
  if (negative) number = -number;

  const std::int64_t lo = std::min(range.Minimum, range.Maximum);
  const std::int64_t hi = std::max(range.Minimum, range.Maximum);
  const std::int64_t clamped = std::clamp(number, lo, hi);
  *value = static_cast<std::int32_t>(clamped);
  return rewrite || clamped != number ? 1 : 0;
}

void FormatFixedPoint(std::int32_t value, int digits, WCHAR* buffer, int capacity) {
  digits = std::clamp(digits, 0, 9);
  // In 64 bits, so that the lowest 32-bit value has a magnitude.
  const std::int64_t v = value;
  const std::uint64_t magnitude = static_cast<std::uint64_t>(v < 0 ? -v : v);
  std::string text = v < 0 ? "-" : "";
  if (digits == 0) {
    text += std::to_string(magnitude);
  } else {
    const auto power = static_cast<std::uint64_t>(kPowers[digits]);
    std::string fraction = std::to_string(magnitude % power);
    fraction.insert(0, static_cast<std::size_t>(digits) - fraction.size(), '0');
    text += std::to_string(magnitude / power) + "." + fraction;
  }
  CopyCut(plat::u16(text), buffer, capacity);
}

void SetFixedPointEdit(HWND dialog, int editId, int spinId, int digits, std::int32_t value) {
  SetSpinPos(dialog, spinId, value);
  WCHAR text[kFixedPointTextUnits];
  FormatFixedPoint(value, digits, text, kFixedPointTextUnits);
  SetDlgItemTextW(dialog, editId, text);
}

WCHAR* TrimSpaces(WCHAR* text) {
  if (!text) return text;
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  std::size_t start = 0;
  while (start < length && text[start] == u' ') ++start;
  std::size_t end = length;
  while (end > start && text[end - 1] == u' ') --end;
  std::copy(text + start, text + end, text);
  text[end - start] = 0;
  return text;
}

void UpdateAddButton(HWND dialog, int maximumCount, int buttonId, int editId, int listId) {
  const LRESULT count = SendDlgItemMessageW(dialog, listId, LB_GETCOUNT, 0, 0);
  const bool hasText = GetWindowTextLengthW(GetDlgItem(dialog, editId)) > 0;
  EnableWindow(GetDlgItem(dialog, buttonId), hasText && count != LB_ERR && count < maximumCount ? TRUE : FALSE);
}

int EditCharFilter(HWND dialog, int editId, int flags) {
  static constexpr std::u16string_view kNotInNames = u"\"/[]:+|<>=;,*?\\";
  WCHAR buffer[kKitTextUnits] = {};
  GetDlgItemTextW(dialog, editId, buffer, kKitTextUnits);
  const std::u16string_view text(buffer);
  if (text.empty()) return 1;
  std::u16string kept;
  bool point = false, minus = false;
  for (char16_t c : text) {
    bool keep = false;
    if (flags & kFilterName) {
      keep = kNotInNames.find(c) == std::u16string_view::npos;
    } else if (c >= u'0' && c <= u'9') {
      keep = (flags & kFilterDigits) != 0;
    } else if (c == u'.') {
      keep = (flags & kFilterPoint) && !point;
      point = point || keep;
    } else if (c == u'-') {
      keep = (flags & kFilterMinus) && !minus;
      minus = minus || keep;
    }
    if (keep) kept += c;
  }
  if (kept.size() == text.size()) return 1;
  DWORD start = 0, end = 0;
  HWND edit = GetDlgItem(dialog, editId);
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  SetWindowTextW(edit, kept.c_str());
  const LPARAM caret = start > 0 ? static_cast<LPARAM>(start - 1) : 0;
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(caret), caret);
  return 1;
}

int ValidateUsbOutput(HWND page, DocSheetContext& context, SheetState& state) {
  if (IsDefaultsMode(context.Caps.Defaults)) return 1;
  if (state.OutputMode != 3 && state.OutputMode != 4) return 1;
  const BOOL automatic = state.OutputMode == 4 ? TRUE : FALSE;
  if (!PrepareUsbJobFolder(page, state.ResourceDll, automatic, FALSE, state.UsbDrive, state.UsbFolder)) return 0;
  if (state.UsbDrive[0] != 0 && !CheckJobFolderTree(state.UsbDrive, TRUE)) {
    std::fill(std::begin(state.UsbDrive), std::end(state.UsbDrive), WCHAR{0});
    state.UsbFolder = 1;
  }
  return 1;
}

void SetGroupState(HWND dialog, std::uint8_t availability, bool enabled, std::initializer_list<int> ids) {
  for (int id : ids) {
    if (availability == 2) {
      HideItem(dialog, id);
      continue;
    }
    ShowItem(dialog, id);
    if (availability == 1 && enabled) {
      EnableItem(dialog, id);
    } else {
      DisableItem(dialog, id);
    }
  }
}

void ShowItemIf(HWND dialog, int id, bool shown) {
  if (shown) {
    ShowItem(dialog, id);
  } else {
    HideItem(dialog, id);
  }
}

bool TakeComboSelection(HWND dialog, int id, WORD code, std::uint8_t& field) {
  if (code != CBN_SELCHANGE) return false;
  const int selection = GetComboSel(dialog, id);
  if (selection < 0 || selection == field) return false;
  field = static_cast<std::uint8_t>(selection);
  return true;
}

bool TakeCheck(HWND dialog, int id, WORD code, std::uint8_t& field) {
  if (code != BN_CLICKED) return false;
  const std::uint8_t value = IsChecked(dialog, id) ? 1 : 0;
  if (value == field) return false;
  field = value;
  return true;
}
