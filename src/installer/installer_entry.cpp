#include "installer/installer_entry.h"

#include <memory>

#include "installer/ini_read.h"
#include "installer/language_page.h"
#include "installer/language_table.h"
#include "installer/messages.h"
#include "installer/quick_install.h"
#include "installer/setup_files.h"
#include "installer/uninstall.h"
#include "installer/wizard.h"

namespace installer {
namespace {

using MyWinVer9MProc = int (*)(HMODULE languageLibrary, HINSTANCE setupInstance);

struct ContextFree {
  void operator()(SetupContext* ctx) const {
    if (ctx) {
      LocalFree(ctx->languageRows);
      LocalFree(ctx);
    }
  }
};

// Hands over to the library of the systems this installer does not serve.
int HandOverTo9x(std::u16string_view resourceFolder, HMODULE handedLibrary, HINSTANCE setupInstance) {
  const std::string path = plat::ToNarrow(CP_ACP, std::u16string(resourceFolder) + u"installcore9x.dll");
  HMODULE other = LoadLibraryA(path.c_str());
  if (!other) return 0;
  if (auto entry = reinterpret_cast<MyWinVer9MProc>(GetProcAddress(other, "MyWinVer9M"))) {
    entry(handedLibrary, setupInstance);
  } else {
    ShowSystemText(GetLastError(), MB_ICONWARNING);
  }
  FreeLibrary(other);
  return 1;
}

bool IsX86Supported(const OsRow& row) { return !row.x64 && row.major != 0; }

}  // namespace

const std::array<OsRow, 13> kOsTable = {{
    {u"Win98SE", 0, 0, false},
    {u"WinMe", 0, 0, false},
    {u"WinNT", 0, 0, false},
    {u"Sv2000", 5, 0, false},
    {u"Win2000", 5, 0, false},
    {u"WinXP", 5, 1, false},
    {u"Sv2003", 5, 2, false},
    {u"WinVista", 6, 0, false},
    {u"Win7", 6, 1, false},
    {u"Win8", 6, 2, false},
    {u"WinVistax64", 6, 0, true},
    {u"Win7x64", 6, 1, true},
    {u"Win8x64", 6, 2, true},
}};

int RunInstaller(HMODULE handedLibrary, HINSTANCE setupInstance, const char* setupFolder, const char* resourceFolder) {
  std::unique_ptr<SetupContext, ContextFree> ctx(static_cast<SetupContext*>(LocalAlloc(LPTR, sizeof(SetupContext))));
  if (!ctx || !setupFolder) return 0;
  const std::u16string folder = plat::ToWide(CP_ACP, setupFolder);
  if (!SetField(ctx->setupFolder, folder) || !JoinField(ctx->setupIniPath, {folder, u"Setup.ini"})) return 0;
  const auto dllFolder = ReadIniString(Str(ctx->setupIniPath), u"DLL", u"FolderName", 29);
  if (!dllFolder || !SetField(ctx->resourceFolderName, *dllFolder) ||
      !JoinField(ctx->resourceFolder, {folder, *dllFolder, u"\\"}))
    return 0;
  ctx->type = ReadIniInt(Str(ctx->setupIniPath), u"Setup", u"Type", -1);
  if (ctx->type == -1) return 0;
  ctx->langStyle = ReadIniInt(Str(ctx->setupIniPath), u"Setup", u"LangStyle", -1);
  if (ctx->langStyle == -1) return 0;
  if (DetectOsName(*ctx) == 1) return StartSetupSession(setupInstance, *ctx, handedLibrary) ? 1 : 0;
  // The launcher's resource folder and ours name the same place; ours is checked to fit.
  (void)resourceFolder;
  return HandOverTo9x(Str(ctx->resourceFolder), handedLibrary, setupInstance);
}

void ReadOsTable(std::u16string_view setupIni, OsValues& values) {
  for (std::size_t row = kOsTable.size(); row-- > 0;)
    values[row] = ReadIniString(setupIni, u"OS", kOsTable[row].name, 19).value_or(u"");
}

int DetectOsName(SetupContext& ctx) {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&version))) return -1;
  if ((version.wProductType == VER_NT_SERVER || version.wProductType == VER_NT_DOMAIN_CONTROLLER) && ctx.type == 4)
    return 0;
  SYSTEM_INFO info{};
  using SystemInfoProc = void (*)(LPSYSTEM_INFO);
  auto native = reinterpret_cast<SystemInfoProc>(GetProcAddress(GetModuleHandleW(u"kernel32.dll"), "GetNativeSystemInfo"));
  if (native) native(&info);
  else GetSystemInfo(&info);
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_IA64) return 0;
  if (info.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64) ctx.x64System = 1;
  OsValues values;
  ReadOsTable(Str(ctx.setupIniPath), values);
  for (std::size_t row = kOsTable.size(); row-- > 0;) {
    if (values[row].empty()) continue;
    const OsRow& os = kOsTable[row];
    if (ctx.x64System ? !os.x64 : !IsX86Supported(os)) return 0;
    OSVERSIONINFOEXW want{};
    want.dwOSVersionInfoSize = sizeof want;
    want.dwMajorVersion = os.major;
    want.dwMinorVersion = os.minor;
    DWORDLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    if (VerifyVersionInfoW(&want, VER_MAJORVERSION | VER_MINORVERSION, mask)) {
      if (!SetField(ctx.osName, os.name) || !SetField(ctx.osFolder, values[row])) return 0;
      return 1;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_OLD_WIN_VERSION) {
      ShowSystemError(error);
      return 0;
    }
  }
  return 0;
}

int StartSetupSession(HINSTANCE setupInstance, SetupContext& ctx, HMODULE handedLibrary) {
  ctx.setupInstance = setupInstance;
  ctx.icon = LoadImageW(setupInstance, MAKEINTRESOURCEW(110), IMAGE_ICON, 0, 0, 0);
  DispatchSetupMode(ctx, handedLibrary);
  // A chain that never reached page 104 or 112 leaves the closer running.
  StopCloserThread(ctx);
  if (ctx.icon) DestroyIcon(static_cast<HICON>(ctx.icon));
  ctx.icon = nullptr;
  return 1;
}

int DispatchSetupMode(SetupContext& ctx, HMODULE handedLibrary) {
  const std::u16string_view folder = Str(ctx.setupFolder);
  if (!JoinField(ctx.instIniPath, {folder, u"inst.ini"}) || !JoinField(ctx.uninstIniPath, {folder, u"uninst.ini"})) {
    FreeLibrary(handedLibrary);
    return 0;
  }
  const int type = ctx.type, style = ctx.langStyle;
  if ((type == 4 || type == 1) && style == 2) {
    FreeLibrary(handedLibrary);
    ctx.installDriver = 1;
    ctx.closerThread = nullptr;
    return ShowLanguagePage(ctx);
  }
  if (type == 2 && style == 0) {
    FreeLibrary(handedLibrary);
    if (!ReadFirstLanguage(ctx) || !ReadLanguageSettings(ctx)) return 0;
    ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
    return ShowUninstallPage(ctx);
  }
  if (type == 5 && style == 2) {
    const int found = FindInstalledModelPrinter(ctx, handedLibrary);
    if (found == 1) {
      FreeLibrary(handedLibrary);
      return ShowLanguagePage(ctx);
    }
    if (found == 0) {
      if (handedLibrary == ctx.setupInstance) ShowResourceMessage(nullptr, handedLibrary, 104, 102, MB_OK);
      else ShowResourceMessage(nullptr, handedLibrary, 27, 4, MB_OK);
    }
    FreeLibrary(handedLibrary);
    return 0;
  }
  if (type == 3 && style == 0) {
    FreeLibrary(handedLibrary);
    if (!JoinField(ctx.swiftIniPath, {folder, u"Swiftinst.ini"})) return 0;
    if (!ReadFirstLanguage(ctx)) return 0;
    if (!CheckCustomDataFile(ctx) || !ReadLanguageSettings(ctx)) return 0;
    ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
    if (!ReadDriverFolderAndReadme(ctx, Str(ctx.swiftIniPath)) || !ReadModelInfo(ctx, Str(ctx.swiftIniPath)) ||
        !ReadQuickInstallData(ctx))
      return 0;
    return ShowQuickConfirmPage(ctx);
  }
  return 0;
}

int ReadFirstLanguage(SetupContext& ctx) {
  const std::vector<std::u16string> keys = ReadKeys(Str(ctx.setupIniPath), u"Language");
  return !keys.empty() && SetField(ctx.languageCode, keys.front()) ? 1 : 0;
}

DWORD ReadLanguageKey(std::u16string_view setupIni, LanguageEntry* rows, int row) {
  if (!ReadIniString(setupIni, u"Language", rows[row].code, 19)) return kNoLanguage;
  rows[row].present = true;
  return rows[row].number;
}

int CollectLanguageRows(SetupContext& ctx) {
  LanguageEntry table[kLanguageRows];
  DWORD present = 0;
  for (int row = 0; row < kLanguageRows; ++row) {
    const LanguageRow& r = kLanguageTable[row];
    table[row] = {r.code.data(), r.number, r.normalBitmap, r.selectedBitmap, r.charset, false};
    if (ReadLanguageKey(Str(ctx.setupIniPath), table, row) != kNoLanguage) ++present;
  }
  LocalFree(ctx.languageRows);
  ctx.languageRows = static_cast<LanguageEntry*>(LocalAlloc(LPTR, sizeof(LanguageEntry) * (present ? present : 1)));
  ctx.languageRowCount = 0;
  if (!ctx.languageRows) return 0;
  for (const auto& row : table)
    if (row.present) ctx.languageRows[ctx.languageRowCount++] = row;
  return 1;
}

int ShowLanguagePage(SetupContext& ctx) {
  if (!CollectLanguageRows(ctx)) return 0;
  const INT_PTR result = DialogBoxParamW(ctx.setupInstance, MAKEINTRESOURCEW(kLanguagePage), nullptr,
                                         LanguagePageProc, reinterpret_cast<LPARAM>(&ctx));
  LocalFree(ctx.languageRows);
  ctx.languageRows = nullptr;
  ctx.languageRowCount = 0;
  if (result != IDOK) return 0;
  if (ctx.type == 1 || ctx.type == 4) return ShowFirstPage(ctx);
  if (ctx.type == 5 && ctx.langStyle == 2) return ShowUninstallPage(ctx);
  return 0;
}

}  // namespace installer
