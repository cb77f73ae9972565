#include "launcher/launcher.h"

#include <array>

#include "installer/language_table.h"
#include "installer/messages.h"

namespace launcher {
namespace {

constexpr const char* kMutexName = "NEVOAGE";

using MyWinVer2XProc = int (*)(HMODULE languageLibrary, HINSTANCE setupInstance, const char* setupFolder,
                               const char* resourceFolder);
using MyWinVer9MProc = int (*)(HMODULE languageLibrary, HINSTANCE setupInstance);

struct PrimaryLanguage {
  WORD primary;
  DWORD number;
};
// Chinese and English depend on the sub-language too (see below).
constexpr std::array<PrimaryLanguage, 19> kPrimaryLanguages = {{
    {1, 12}, {4, 6}, {5, 20}, {7, 2}, {8, 19}, {9, 11}, {10, 4}, {12, 1}, {16, 3}, {17, 8},
    {18, 17}, {19, 13}, {21, 14}, {22, 5}, {24, 9}, {25, 10}, {29, 15}, {30, 18}, {31, 16},
}};

std::string ReadSetupString(const SetupPaths& paths, const char* section, const char* key, DWORD size) {
  std::string buffer(size, '\0');
  const DWORD n = GetPrivateProfileStringA(section, key, "error", buffer.data(), size, paths.setupIni.c_str());
  buffer.resize(n);
  // A value that filled the buffer may have been cut: it counts as missing.
  if (n + 1 >= size) return "error";
  return buffer;
}

bool Fits(const std::string& path) { return path.size() < MAX_PATH; }

}  // namespace

bool GetSetupPaths(SetupPaths& paths) {
  char program[MAX_PATH] = {};
  SetLastError(ERROR_SUCCESS);
  const DWORD n = GetModuleFileNameA(nullptr, program, MAX_PATH);
  if (n == 0 || GetLastError() == ERROR_INSUFFICIENT_BUFFER) return false;
  const std::string path(program, n);
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return false;
  paths.setupFolder = path.substr(0, slash + 1);
  paths.setupIni = paths.setupFolder + "Setup.ini";
  if (!Fits(paths.setupIni)) return false;
  const std::string folderName = ReadSetupString(paths, "DLL", "FolderName", 32);
  if (folderName == "error") return false;
  paths.resourceFolder = paths.setupFolder + folderName + "\\";
  return Fits(paths.resourceFolder);
}

DWORD LangIdToLanguageNumber() {
  const LANGID id = GetUserDefaultLangID();
  const WORD primary = id & 0x3FF;
  const WORD sub = id >> 10;
  if (primary == 4 && sub == 1) return 7;  // Chinese (Taiwan)
  if (primary == 9 && sub == 2) return 0;  // English (United Kingdom)
  for (const auto& row : kPrimaryLanguages)
    if (row.primary == primary) return row.number;
  return installer::kLanguageTable.size();
}

int GetLanguageDllPath(const SetupPaths& paths, const std::string& code, std::string& path) {
  const std::string name = ReadSetupString(paths, "DLL", code.c_str(), 32);
  if (name == "error") return 0;
  path = paths.resourceFolder + name;
  return Fits(path) ? 1 : 0;
}

HMODULE LoadLanguageResourceDll(const SetupPaths& paths, HINSTANCE instance) {
  DWORD number = LangIdToLanguageNumber();
  if (number == 0) {
    const INT style = static_cast<INT>(GetPrivateProfileIntA("Setup", "LangStyle", -1, paths.setupIni.c_str()));
    if (style == -1) return nullptr;
    if (style == 1) number = 11;
  }
  const installer::LanguageRow* row = installer::RowOfNumber(number);
  if (!row) return instance;
  const std::string code = plat::ToNarrow(CP_ACP, row->code);
  if (ReadSetupString(paths, "Language", code.c_str(), 20) == "error") return instance;
  std::string path;
  if (!GetLanguageDllPath(paths, code, path)) return nullptr;
  return LoadLibraryA(path.c_str());
}

int IsWindows2000OrLater() {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return 0;
  const bool knownFamily = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS || info.dwPlatformId == VER_PLATFORM_WIN32_NT;
  return !knownFamily || info.dwMajorVersion > 4 ? 1 : 0;
}

int WinMain(HINSTANCE instance) {
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kMutexName);
  if (!mutex) return 0;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mutex);
    return 0;
  }
  SetupPaths paths;
  if (!GetSetupPaths(paths)) return 0;
  HMODULE language = LoadLanguageResourceDll(paths, instance);
  if (!language) return 0;
  const bool nt = IsWindows2000OrLater() == 1;
  const std::string libraryPath = paths.resourceFolder + (nt ? "installcore.dll" : "installcore9x.dll");
  if (!Fits(libraryPath)) return 0;
  HMODULE installer = LoadLibraryA(libraryPath.c_str());
  if (!installer) return 0;
  FARPROC entry = GetProcAddress(installer, nt ? "MyWinVer2X" : "MyWinVer9M");
  if (entry) {
    if (nt)
      reinterpret_cast<MyWinVer2XProc>(entry)(language, instance, paths.setupFolder.c_str(), paths.resourceFolder.c_str());
    else
      reinterpret_cast<MyWinVer9MProc>(entry)(language, instance);
  } else {
    installer::ShowSystemText(GetLastError(), MB_ICONEXCLAMATION);
  }
  FreeLibrary(installer);
  ReleaseMutex(mutex);
  CloseHandle(mutex);
  return 0;
}

}  // namespace launcher
