// installcore: the installer library. Its only export is the entry the
// setup launcher calls.
#include "installer/installer_entry.h"

extern "C" DLLEXPORT int MyWinVer2X(HMODULE languageLibrary, HINSTANCE setupInstance, const char* setupFolder,
                                    const char* resourceFolder) {
  return installer::RunInstaller(languageLibrary, setupInstance, setupFolder, resourceFolder);
}
