#include "installer/tool_folder.h"

#include <vector>

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "plat/shell_link.h"

namespace installer {
namespace {

constexpr UINT kMakerString = 10;
constexpr UINT kPreviewLinkString = 12;
constexpr UINT kUninstallerLinkString = 45;
constexpr UINT kSetupUninstallerString = 105;

bool IsWin8(const SetupContext& ctx) { return Str(ctx.osName) == u"Win8" || Str(ctx.osName) == u"Win8x64"; }

std::u16string LoadText(HMODULE library, UINT id, int units) {
  std::vector<WCHAR> text(static_cast<std::size_t>(units), 0);
  LoadStringW(library, id, text.data(), units);
  return std::u16string(Str(text.data()));
}

// A folder that exists already is accepted; any other failure is shown.
bool MakeFolder(const std::u16string& folder) {
  if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) return true;
  ShowSystemError(GetLastError());
  return false;
}

bool CopyShown(const std::u16string& from, const std::u16string& to) {
  if (CopyFileW(from.c_str(), to.c_str(), FALSE)) return true;
  ShowSystemError(GetLastError());
  return false;
}

std::u16string ToolFolder(const SetupContext& ctx) { return std::u16string(Str(ctx.productPath)) + u"Tool\\"; }

std::u16string BaseName(std::u16string_view file) {
  const std::size_t dot = file.find_last_of(u'.');
  return std::u16string(dot == std::u16string_view::npos ? file : file.substr(0, dot));
}

}  // namespace

void ReadMakerFolder(SetupContext& ctx) {
  LoadStringW(ctx.languageLibrary, kMakerString, ctx.makerFolderName, 30);
}

std::u16string ShellFolder(INT csidl) {
  WCHAR path[kPathUnits] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return u"";
  return std::u16string(Str(path));
}

std::u16string LinkFolder(const SetupContext& ctx, std::u16string_view productFolder) {
  const std::u16string programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
  if (programs.empty()) return u"";
  const std::u16string joint = IsWin8(ctx) ? u" " : u"\\";
  return programs + u"\\" + std::u16string(Str(ctx.makerFolderName)) + joint + std::u16string(productFolder) + u"\\";
}

int CopyToolFiles(SetupContext& ctx) {
  ReadMakerFolder(ctx);
  const std::u16string programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
  if (programFiles.empty()) {
    ShowSystemError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  const std::u16string maker = programFiles + u"\\" + std::u16string(Str(ctx.makerFolderName)) + u"\\";
  if (!MakeFolder(maker)) return 0;
  const std::u16string product = maker + std::u16string(Str(ctx.productFolder)) + u"\\";
  if (!SetField(ctx.productPath, product)) {
    ShowSystemError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  if (!MakeFolder(product)) return 0;
  const std::u16string tool = ToolFolder(ctx);
  if (!MakeFolder(tool)) return 0;
  const std::u16string resources = tool + std::u16string(Str(ctx.resourceFolderName)) + u"\\";
  if (!MakeFolder(resources)) return 0;
  if (!CopyShown(std::u16string(Str(ctx.resourceFolder)) + u"installcore.dll", resources + u"installcore.dll")) return 0;
  if (ctx.type == 4) {
    CopyResourceDll(ctx, resources);
  } else if (!CopyShown(std::u16string(Str(ctx.languageLibraryPath)), resources + std::u16string(Str(ctx.languageLibraryName)))) {
    return 0;
  }
  const std::u16string folder(Str(ctx.setupFolder));
  const char16_t* program = ctx.type == 3 ? u"Swiftinst.exe" : u"Setup.exe";
  if (!CopyShown(folder + program, tool + u"Setup.exe") || !CopyShown(folder + u"Setup.ini", tool + u"Setup.ini") ||
      !CopyShown(folder + u"uninst.ini", tool + u"uninst.ini"))
    return 0;
  return CreateStartMenuShortcut(u"Setup.exe", ctx, LinkKind::Uninstaller, tool + u"Setup.exe");
}

int CopyResourceDll(SetupContext& ctx, std::u16string_view targetFolder) {
  const std::u16string_view ini = Str(ctx.setupIniPath);
  const std::vector<std::u16string> keys = ReadKeys(ini, u"DLL");
  if (keys.empty()) return 0;
  for (const std::u16string& key : keys) {
    if (plat::EqualsNoCase(key, u"FolderName")) continue;
    const auto library = ReadIniString(ini, u"DLL", key, 29);
    if (!library) return 0;
    if (!CopyShown(std::u16string(Str(ctx.resourceFolder)) + *library, std::u16string(targetFolder) + *library))
      return 0;
  }
  return 1;
}

int CopyManuals(SetupContext& ctx) {
  const std::u16string manual = std::u16string(Str(ctx.productPath)) + u"Manual\\";
  CreateDirectoryW(manual.c_str(), nullptr);
  CopyFolderTree(manual, Str(ctx.manualSourceFolder));
  const std::u16string folder = manual + std::u16string(Str(ctx.manualLanguageFolder));
  return CreateManualShortcuts(ctx, folder, folder + u"\\*.*");
}

int CreateManualShortcuts(SetupContext& ctx, std::u16string_view folder, std::u16string_view pattern) {
  WIN32_FIND_DATAW found{};
  const std::u16string search(pattern);
  HANDLE find = FindFirstFileW(search.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int result = -1;
  do {
    const std::u16string_view name = Str(found.cFileName);
    if (name == u"." || name == u"..") continue;
    result = CreateStartMenuShortcut(name, ctx, LinkKind::Manual, std::u16string(folder) + u"\\" + std::u16string(name));
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return result;
}

int InstallPreviewApp(SetupContext& ctx) {
  const auto fileName = ReadIniString(Str(ctx.setupIniPath), u"PVAPP", u"FileName", 31);
  if (!fileName) return 0;
  const std::u16string product(Str(ctx.productPath));
  CopyFolderTree(product, std::u16string(Str(ctx.resourceFolder)) + std::u16string(kPreviewFolder) + u"\\");
  const std::u16string target = product + std::u16string(kPreviewFolder) + u"\\" + *fileName;
  const int result = CreateStartMenuShortcut(*fileName, ctx, LinkKind::Preview, target);
  SetPreviewExePath(target, ctx);
  return result;
}

int SetPreviewExePath(std::u16string_view path, const SetupContext& ctx) {
  // A printer-data text goes without its terminator; a path that does not
  // fit a path buffer is refused, never cut.
  if (path.size() >= kPathUnits) return 0;
  const std::u16string text(path);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(ctx.printerName, &printer, &defaults)) return 0;
  const DWORD status = SetPrinterDataW(printer, u"Preview EXE", REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                                       static_cast<DWORD>(text.size() * sizeof(WCHAR)));
  ClosePrinter(printer);
  return status == ERROR_SUCCESS ? 1 : 0;
}

int CopyFolderTree(std::u16string_view destination, std::u16string_view source) {
  std::u16string from(source), to(destination);
  from.push_back(0);
  to.push_back(0);
  SHFILEOPSTRUCTW op{};
  op.wFunc = FO_COPY;
  op.pFrom = from.c_str();
  op.pTo = to.c_str();
  op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION;
  return SHFileOperationW(&op) == 0 ? 1 : 0;
}

int CreateStartMenuShortcut(std::u16string_view fileName, SetupContext& ctx, LinkKind kind, std::u16string_view target) {
  const std::u16string programs = ShellFolder(CSIDL_COMMON_PROGRAMS);
  if (programs.empty()) return 0;
  std::u16string folder = programs + u"\\" + std::u16string(Str(ctx.makerFolderName));
  if (!IsWin8(ctx)) {
    folder += u"\\";
    CreateDirectoryW(folder.c_str(), nullptr);
  } else {
    folder += u" ";
  }
  folder += std::u16string(Str(ctx.productFolder)) + u"\\";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::u16string name;
  switch (kind) {
    case LinkKind::Manual:
      name = BaseName(fileName);
      break;
    case LinkKind::Uninstaller:
      name = ctx.type == 4 ? LoadText(ctx.setupInstance, kSetupUninstallerString, 256)
                           : LoadText(ctx.languageLibrary, kUninstallerLinkString, 256);
      break;
    case LinkKind::Preview:
      name = LoadText(ctx.languageLibrary, kPreviewLinkString, 256);
      break;
  }
  return CreateShellLink(folder, name, target);
}

int CreateShellLink(std::u16string_view folder, std::u16string_view name, std::u16string_view target) {
  const std::u16string linkPath = std::u16string(folder) + std::u16string(name) + u".lnk";
  const std::u16string path(target);
  const HRESULT init = CoInitialize(nullptr);
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<LPVOID*>(&link));
  if (SUCCEEDED(hr)) hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(hr)) hr = link->SetPath(path.c_str());
  if (SUCCEEDED(hr)) hr = file->Save(linkPath.c_str(), TRUE);
  if (file) file->Release();
  if (link) link->Release();
  if (SUCCEEDED(init)) CoUninitialize();
  return SUCCEEDED(hr) ? 1 : 0;
}

int ClearReadOnlyTree(std::u16string_view folder) {
  const std::u16string base(folder.ends_with(u'\\') ? folder.substr(0, folder.size() - 1) : folder);
  WIN32_FIND_DATAW found{};
  const std::u16string pattern = base + u"\\*.*";
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 1;
  int result = 1;
  do {
    const std::u16string_view name = Str(found.cFileName);
    if (name == u"." || name == u"..") continue;
    const std::u16string path = base + u"\\" + std::u16string(name);
    DWORD kept = found.dwFileAttributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    if (kept == 0) kept = FILE_ATTRIBUTE_NORMAL;
    const BOOL cleared = SetFileAttributesW(path.c_str(), kept);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      result = ClearReadOnlyTree(path);
    } else if (!cleared) {
      result = 0;
    }
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return result;
}

int WriteUninstallerSetupIni(SetupContext& ctx) {
  const std::u16string ini = ToolFolder(ctx) + u"Setup.ini";
  const LPCWSTR file = ini.c_str();
  BOOL result = FALSE;
  if (ctx.type == 4) {
    WritePrivateProfileStringW(u"Setup", u"Type", u"5", file);
    result = WritePrivateProfileStringW(u"Setup", u"LangStyle", u"2", file);
  } else {
    WritePrivateProfileStringW(u"Setup", u"Type", u"2", file);
    WritePrivateProfileStringW(u"Setup", u"LangStyle", u"0", file);
    WritePrivateProfileStringW(u"Language", nullptr, nullptr, file);
    WritePrivateProfileStringW(u"Language", ctx.languageCode, ctx.languageValue, file);
    WritePrivateProfileStringW(u"DLL", nullptr, nullptr, file);
    WritePrivateProfileStringW(u"DLL", u"FolderName", ctx.resourceFolderName, file);
    result = WritePrivateProfileStringW(u"DLL", ctx.languageCode, ctx.languageLibraryName, file);
  }
  WritePrivateProfileStringW(u"Manual", nullptr, nullptr, file);
  return result ? 1 : 0;
}

}  // namespace installer
