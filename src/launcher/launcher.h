// The setup launcher: one running copy, the user's language, its resource
// library, and the hand-over to the installer library.
#pragma once

#include <string>

#include "plat/windows.h"

namespace launcher {

// ANSI paths, each at most MAX_PATH - 1 characters.
struct SetupPaths {
  std::string setupFolder;     // ends in a backslash
  std::string setupIni;
  std::string resourceFolder;  // ends in a backslash
};

// false when the program's path or [DLL] FolderName is missing or too long.
bool GetSetupPaths(SetupPaths& paths);
// The LanguageNumber of the user's default language (21: none applies).
DWORD LangIdToLanguageNumber();
// The language library, setup's own instance when the language is not
// offered, or NULL when setup must end.
HMODULE LoadLanguageResourceDll(const SetupPaths& paths, HINSTANCE instance);
// Resource folder + [DLL] <code>; 0 when the key is missing or the path too long.
int GetLanguageDllPath(const SetupPaths& paths, const std::string& code, std::string& path);
int IsWindows2000OrLater();
// The whole run; always 0.
int WinMain(HINSTANCE instance);

}  // namespace launcher
