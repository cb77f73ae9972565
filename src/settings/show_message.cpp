#include "settings/show_message.h"

#include <array>
#include <string>

#include "plat/resources.h"
#include "plat/strings.h"
#include "plat/ui.h"

namespace {
constexpr int kTextUnits = 512;
constexpr int kCaptionUnits = 128;
constexpr int kRightToLeftLanguage = 23;
constexpr UINT kLanguageString = 800;
}  // namespace

int GetLanguageNumber(HMODULE module) {
  if (!module) return 0;
  std::array<WCHAR, 16> text{};
  if (LoadStringW(module, kLanguageString, text.data(), static_cast<int>(text.size())) <= 0) return 0;
  int value = 0;
  bool negative = false;
  std::size_t i = 0;
  while (text[i] == u' ' || text[i] == u'\t') ++i;
  if (text[i] == u'-' || text[i] == u'+') negative = text[i++] == u'-';
  for (; text[i] >= u'0' && text[i] <= u'9' && value < 100000; ++i) value = value * 10 + (text[i] - u'0');
  return negative ? -value : value;
}

int ShowMessage(HMODULE module, HWND owner, UINT captionId, UINT textId, UINT style, int insertCode, const WCHAR* a,
                const WCHAR* b, const WCHAR* c, Generation generation) {
  std::array<WCHAR, kTextUnits + 1> text{};
  std::array<WCHAR, kCaptionUnits + 1> caption{};
  if (module) {
    LoadStringW(module, textId, text.data(), static_cast<int>(text.size()));
    LoadStringW(module, captionId, caption.data(), static_cast<int>(caption.size()));
  }

  // wsprintfW writes at most WSPRINTF_MAX units; the result is cut to 512.
  std::array<WCHAR, WSPRINTF_MAX> formatted{};
  const WCHAR* shown = text.data();
  const WCHAR* none = u"";
  switch (insertCode) {
    case 1:
      wsprintfW(formatted.data(), text.data(), a ? a : none);
      shown = formatted.data();
      break;
    case 2:
      wsprintfW(formatted.data(), text.data(), a ? a : none, b ? b : none);
      shown = formatted.data();
      break;
    case 4:
      wsprintfW(formatted.data(), text.data(), a ? a : none, b ? b : none, c ? c : none);
      shown = formatted.data();
      break;
    default:
      break;
  }
  formatted[kTextUnits] = 0;

  if (GetLanguageNumber(module) == kRightToLeftLanguage) style |= MB_RTLREADING | MB_RIGHT;
  if (generation == Generation::Plugin && !owner) {
    DWORD answer = 0;
    WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, WTSGetActiveConsoleSessionId(), caption.data(),
                    static_cast<DWORD>(caption.size() * sizeof(WCHAR)), const_cast<WCHAR*>(shown),
                    static_cast<DWORD>((kTextUnits + 1) * sizeof(WCHAR)), style, 0, &answer, TRUE);
    return static_cast<int>(answer);
  }
  return MessageBoxW(owner, shown, caption.data(), style);
}
