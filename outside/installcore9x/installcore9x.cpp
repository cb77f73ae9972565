// Our double of the installer for the systems the package does not serve:
// it tells the user so with setup's own strings.
#include "plat/windows.h"

extern "C" DLLEXPORT int MyWinVer9M(HMODULE, HINSTANCE setupInstance) {
  WCHAR text[512] = {};
  WCHAR caption[128] = {};
  LoadStringW(setupInstance, 103, text, 512);
  LoadStringW(setupInstance, 102, caption, 128);
  MessageBoxW(nullptr, text, caption, MB_ICONWARNING);
  return 1;
}
