#include "installer/model_folders.h"

#include "installer/ini_read.h"
#include "installer/messages.h"

namespace installer {

int ReadModelFolder(SetupContext& ctx) {
  ctx.previewFlag = 0;
  std::u16string key = u"\"";
  key.append(Str(ctx.modelName)).push_back(u'"');
  const auto line = ReadIniString(Str(ctx.uninstIniPath), u"Model", key, 29);
  if (!line) return 0;
  WCHAR flag[30] = {}, folderKey[30] = {};
  if (ScanCommaList(*line, u"%s%s", {{flag, 30}, {folderKey, 30}}) != 1) return 0;
  DWORD value = 0;  // the leading decimal digits, as the C runtime reads them
  for (const WCHAR* c = flag; *c >= u'0' && *c <= u'9'; ++c) value = value * 10 + static_cast<DWORD>(*c - u'0');
  ctx.previewFlag = value;
  const auto folder = ReadIniString(Str(ctx.uninstIniPath), u"Folder", Str(folderKey), 29);
  return folder && SetField(ctx.productFolder, *folder) ? 1 : 0;
}

int ReadManualFolder(SetupContext& ctx) {
  const auto folderName = ReadIniString(Str(ctx.setupIniPath), u"Manual", u"FolderName", 99);
  if (!folderName) return 0;
  const auto language = ReadIniString(Str(ctx.setupIniPath), u"Manual", Str(ctx.languageCode), 19);
  if (!language) return 0;
  if (!SetField(ctx.manualFolderName, *folderName) || !SetField(ctx.manualLanguageFolder, *language)) return 0;
  return JoinField(ctx.manualSourceFolder, {Str(ctx.setupFolder), *folderName, u"\\", Str(ctx.productFolder), u"\\",
                                            *language, u"\\"})
             ? 1
             : 0;
}

int FolderHasFiles(std::u16string_view folder) {
  if (folder.empty()) return 0;
  std::u16string pattern(folder);
  if (pattern.back() != u'\\') pattern += u'\\';
  pattern += u"*.*";
  WIN32_FIND_DATAW found{};
  HANDLE find = FindFirstFileW(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  FindClose(find);
  return 1;
}

void UpdateManualsCheckBox(const SetupContext& ctx, HWND page) {
  constexpr int kManuals = 1029;
  HWND box = GetDlgItem(page, kManuals);
  if (FolderHasFiles(Str(ctx.manualSourceFolder))) {
    CheckDlgButton(page, kManuals, BST_CHECKED);
    return;
  }
  CheckDlgButton(page, kManuals, BST_UNCHECKED);
  EnableWindow(box, FALSE);
  ShowWindow(box, SW_HIDE);
}

int PrintTestPage(std::u16string_view printerName, HWND page, Connection connection, HMODULE library) {
  WCHAR system[kPathUnits] = {};
  GetSystemDirectoryW(system, kPathUnits);
  const std::u16string application = std::u16string(Str(system)) + u"\\rundll32.exe";
  std::u16string command = u"\"rundll32\" printui.dll,PrintUIEntry /k /n \"" + std::u16string(printerName) + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(application.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    ShowSystemError(GetLastError());
    return 0;
  }
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  auto part = [&](UINT id) {
    WCHAR text[256] = {};
    LoadStringW(library, id, text, 256);
    return std::u16string(Str(text));
  };
  std::u16string notice = part(33) + u"\n\n" + part(34);
  if (connection == Connection::Network) notice += u"\n\n" + part(35);
  notice += u"\n\n" + part(36);
  WCHAR direction[8] = {}, caption[128] = {};
  LoadStringW(library, 40, direction, 8);
  LoadStringW(library, 4, caption, 128);
  UINT style = MB_ICONQUESTION;
  if (Str(direction) == u"23") style |= MB_RTLREADING | MB_RIGHT;
  MessageBoxW(page, notice.c_str(), caption, style);
  return 1;
}

}  // namespace installer
