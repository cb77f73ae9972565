#include "installer/setup_files.h"

#include <string>
#include <vector>

#include "installer/ini_read.h"

namespace installer {
namespace {

// [Manufacturer]'s first key names the models section: on x64 "name.decoration".
bool ReadModelsSection(const SetupContext& ctx, std::u16string_view inf, WCHAR (&section)[100]) {
  const std::vector<std::u16string> keys = ReadKeys(inf, u"Manufacturer");
  if (keys.empty()) return false;
  const auto value = ReadIniString(inf, u"Manufacturer", keys.front(), 99);
  if (!value) return false;
  const std::vector<std::u16string> fields = SplitCommaFields(*value);
  if (fields[0].empty()) return false;
  if (!ctx.x64System) return SetField(section, fields[0]);
  if (fields.size() < 2 || fields[1].empty()) return false;
  return JoinField(section, {fields[0], u".", fields[1]});
}

// "sub-folder, file name" of an inf.ini kind key.
bool ReadFolderAndFile(std::u16string_view modelFile, std::u16string_view kind, std::u16string_view key,
                       WCHAR (&folder)[100], WCHAR (&file)[100]) {
  const auto value = ReadIniString(modelFile, kind, key, 99);
  return value && ScanCommaList(*value, u"%s%s", {{folder, 100}, {file, 100}}) == 1;
}

}  // namespace

int ReadLanguageSettings(SetupContext& ctx) {
  const std::u16string_view ini = Str(ctx.setupIniPath), code = Str(ctx.languageCode);
  const auto value = ReadIniString(ini, u"Language", code, 29);
  const auto folderName = ReadIniString(ini, u"DLL", u"FolderName", 99);
  const auto library = ReadIniString(ini, u"DLL", code, 29);
  if (!value || !folderName || !library) return 0;
  if (!SetField(ctx.languageValue, *value) || !SetField(ctx.resourceFolderNameCopy, *folderName) ||
      !SetField(ctx.languageLibraryName, *library) ||
      !JoinField(ctx.languageLibraryPath, {Str(ctx.resourceFolder), *library}))
    return 0;
  return 1;
}

int ReadDriverFolderAndReadme(SetupContext& ctx, std::u16string_view modelFile) {
  const auto folderName = ReadIniString(modelFile, u"Driver", u"FolderName", 31);
  if (!folderName) return 0;
  const std::u16string_view folder = Str(ctx.setupFolder);
  if (!JoinField(ctx.driverFolder, {folder, *folderName, u"\\", Str(ctx.osFolder), u"\\"})) return 0;
  const char16_t* key = Str(ctx.languageCode) == u"JPN" ? u"ReadmeJPN" : u"ReadmeENG";
  const auto readme = ReadIniString(modelFile, u"Setup", key, 31);
  return readme && JoinField(ctx.readmePath, {folder, *readme}) ? 1 : 0;
}

int ReadModelInfo(SetupContext& ctx, std::u16string_view modelFile) {
  const INT n = ReadIniInt(modelFile, u"Model", u"KindNum", 0);
  if (n <= 0 || n > kMaxKinds) return 0;
  const auto kindList = ReadIniString(modelFile, u"Model", u"KindName", 99);
  if (!kindList) return 0;
  const std::vector<std::u16string> names = SplitCommaFields(*kindList);
  if (names.size() < static_cast<std::size_t>(n)) return 0;
  for (INT k = 0; k < n; ++k) {
    if (names[k].empty() || !SetField(ctx.kindNames[k], names[k])) return 0;
    const std::u16string level = n == 1 ? u"" : names[k] + u"\\";
    if (!JoinField(ctx.kindFolders[k], {Str(ctx.driverFolder), level, Str(ctx.languageValue), u"\\"})) return 0;
  }
  for (INT k = 0; k < n; ++k) {
    WCHAR subFolder[100], infName[100];
    if (!ReadFolderAndFile(modelFile, names[k], u"INF", subFolder, infName)) return 0;
    if (!JoinField(ctx.infPaths[k], {Str(ctx.kindFolders[k]), Str(infName)})) return 0;
    if (!ReadModelsSection(ctx, Str(ctx.infPaths[k]), ctx.modelsSections[k])) return 0;
    if (!ReadIniString(modelFile, names[k], u"MtoPINF", 99)) continue;
    if (!ReadFolderAndFile(modelFile, names[k], u"MtoPINF", subFolder, infName)) return 0;
    const std::u16string sub = Str(subFolder).empty() ? u"" : std::u16string(Str(subFolder)) + u"\\";
    if (!JoinField(ctx.usbMemoryFolders[k], {Str(ctx.kindFolders[k]), sub}) ||
        !JoinField(ctx.usbMemoryInfPaths[k], {Str(ctx.usbMemoryFolders[k]), Str(infName)}) ||
        !ReadModelsSection(ctx, Str(ctx.usbMemoryInfPaths[k]), ctx.usbMemoryModelsSections[k]))
      return 0;
  }
  return 1;
}

}  // namespace installer
