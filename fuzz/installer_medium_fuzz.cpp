// libFuzzer target: the installer's medium files through the installer's
// readers (Setup.ini, inst.ini, uninst.ini, Swiftinst.ini) and a driver INF
// through SetupAPI and the driver store. The first byte picks the file, the
// rest is its text; the other files are the sample medium's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_machine.h"
#include "installer/ini_read.h"
#include "installer/installer_entry.h"
#include "installer/model_folders.h"
#include "installer/setup_context.h"
#include "installer/uninstall.h"
#include "plat/com.h"
#include "plat/setup.h"
#include "plat/spooler.h"
#include "plat/strings.h"

namespace {

constexpr char16_t kMedium[] = u"C:\\Medium\\";
constexpr char16_t kInf[] = u"C:\\Medium\\Driver\\Win8x64\\US\\nevo2600.inf";
constexpr char16_t kModel[] = u"NEVO RP2600";

struct MediumFile {
  const char16_t* path;
  std::string_view sample;
};
const MediumFile kFiles[] = {
    {u"C:\\Medium\\Setup.ini",
     "[Setup]\nType=4\nLangStyle=2\n[DLL]\nFolderName=NEVO\nUS=lang_us.dll\nJPN=lang_jpn.dll\n[OS]\nWin8x64=x64\n"
     "WinXP=x86\n[Language]\nUS=US\nJPN=JPN\nDefault=US\n[Manual]\nFolderName=Manual\nUS=English\n"},
    {u"C:\\Medium\\inst.ini",
     "[Model]\nKindNum=1\nKindName=NEVO2600\nValidOutPut=1\n[NEVO2600]\nINF=,nevo2600.inf\n[Driver]\n"
     "FolderName=Driver\n[Setup]\nReadmeJPN=readme.txt\nReadmeENG=readme.txt\nexcept=\n"},
    {u"C:\\Medium\\uninst.ini", "[Model]\nNum=1\n\"NEVO RP2600\"=1,0\n[Folder]\nNum=1\n0=NEVO RP\n"},
    {u"C:\\Medium\\Swiftinst.ini",
     "[Model]\nKindNum=1\nKindName=NEVO2600\n[NEVO2600]\nINF=,nevo2600.inf\n[Driver]\nFolderName=Driver\n"
     "[Setup]\nReadmeENG=readme.txt\n[CustomData]\nDataFileCheck=0\nPPFileCheck=1\n"},
    {kInf,
     "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nProvider=%MFG%\n[Manufacturer]\n%MFG%=NEVO,NTamd64\n"
     "[NEVO]\n\"NEVO RP2600\"=NEVO2600\n[NEVO.NTamd64]\n\"NEVO RP2600\"=NEVO2600\n[NEVO2600]\n"
     "CopyFiles=@NEVO2600.RDF,NEVO_FILES\nDataSection=NEVO_DATA\n[NEVO_DATA]\nDriverFile=classicrender.dll\n"
     "ConfigFile=classicui.dll\n[NEVO_FILES]\nclassicrender.dll\nclassicui.dll\n[DestinationDirs]\n"
     "DefaultDestDir=66000\n[SourceDisksNames]\n1=\"NEVO\",,,\n[SourceDisksFiles]\nNEVO2600.RDF=1\n"
     "classicrender.dll=1\nclassicui.dll=1\n[Strings]\nMFG=\"NEVO Duplicators\"\n"},
};

void PutText(const char16_t* path, std::string_view text) {
  if (!fuzzsupport::PutFile(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size())) std::abort();
}

void PutSampleMedium() {
  for (const MediumFile& f : kFiles) PutText(f.path, f.sample);
  // The files the INF names (stubs: the store copies them, nothing loads them).
  for (const char16_t* name : {u"NEVO2600.RDF", u"classicrender.dll", u"classicui.dll"})
    PutText((std::u16string(u"C:\\Medium\\Driver\\Win8x64\\US\\") + name).c_str(), "stub\n");
  PutText(u"C:\\Medium\\readme.txt", "readme\n");
}

installer::SetupContext Context() {
  installer::SetupContext ctx{};
  installer::SetField(ctx.setupFolder, kMedium);
  installer::SetField(ctx.setupIniPath, kFiles[0].path);
  installer::SetField(ctx.instIniPath, kFiles[1].path);
  installer::SetField(ctx.uninstIniPath, kFiles[2].path);
  installer::SetField(ctx.swiftIniPath, kFiles[3].path);
  installer::SetField(ctx.resourceFolder, u"C:\\Medium\\NEVO\\");
  installer::SetField(ctx.osFolder, u"Win8x64");
  installer::SetField(ctx.modelName, kModel);
  ctx.x64System = 1;
  return ctx;
}

void ReadModelFile(installer::SetupContext& ctx, std::u16string_view file) {
  if (installer::ReadDriverFolderAndReadme(ctx, file)) (void)installer::ReadModelInfo(ctx, file);
}

// The INF as SetupAPI reads it, then uploaded to the driver store and the
// model installed from the stored copy; the machine is left as it was.
void ReadInf() {
  UINT errorLine = 0;
  HINF inf = SetupOpenInfFileW(kInf, nullptr, INF_STYLE_WIN4, &errorLine);
  if (inf != INVALID_HANDLE_VALUE) {
    for (const char16_t* name : {u"NEVO2600.RDF", u"classicui.dll", u"missing.dll"}) {
      UINT disk = 0;
      WCHAR folder[MAX_PATH];
      DWORD needed = 0;
      if (SetupGetSourceFileLocationW(inf, nullptr, name, &disk, folder, MAX_PATH, &needed)) {
        WCHAR text[MAX_PATH];
        for (UINT info : {SRCINFO_PATH, SRCINFO_TAGFILE, SRCINFO_DESCRIPTION})
          (void)SetupGetSourceInfoW(inf, disk, info, text, MAX_PATH, &needed);
      }
    }
    SetupCloseInfFile(inf);
  }
  if (plat::setup::OpenInfCount() != 0) __builtin_trap();
  WCHAR stored[MAX_PATH];
  ULONG storedSize = MAX_PATH;
  const std::u16string environment = plat::spooler::Environment();
  if (UploadPrinterDriverPackageW(nullptr, kInf, environment.c_str(), 0, nullptr, stored, &storedSize) == S_OK) {
    if (InstallPrinterDriverFromPackageW(nullptr, stored, kModel, environment.c_str(), 0) == S_OK) {
      std::u16string model = kModel, env = environment;
      (void)DeletePrinterDriverExW(nullptr, env.data(), model.data(), DPD_DELETE_UNUSED_FILES, 0);
    }
  }
  WCHAR system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  std::error_code ec;
  if (n != 0 && n < MAX_PATH)
    std::filesystem::remove_all(plat::machine::HostPath(std::u16string(system, n) + u"\\DriverStore"), ec);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    fuzzsupport::Machine();
    PutSampleMedium();
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  const std::size_t which = data[0] % std::size(kFiles);
  if (!fuzzsupport::PutFile(kFiles[which].path, data + 1, size - 1)) std::abort();

  installer::SetupContext ctx = Context();
  switch (which) {
    case 0: {
      installer::OsValues os;
      installer::ReadOsTable(ctx.setupIniPath, os);
      if (installer::ReadFirstLanguage(ctx)) (void)installer::ReadLanguageSettings(ctx);
      if (installer::CollectLanguageRows(ctx)) LocalFree(ctx.languageRows);
      (void)installer::ReadManualFolder(ctx);
      break;
    }
    case 1:
      installer::SetField(ctx.languageCode, u"US");
      installer::SetField(ctx.languageValue, u"US");
      ReadModelFile(ctx, ctx.instIniPath);
      break;
    case 2:
      (void)installer::ReadModelFolder(ctx);
      (void)installer::MatchesModelKey(installer::ReadKeys(ctx.uninstIniPath, u"Model"), kModel);
      break;
    case 3:
      installer::SetField(ctx.languageValue, u"US");
      ReadModelFile(ctx, ctx.swiftIniPath);
      (void)installer::ReadIniString(ctx.swiftIniPath, u"CustomData", u"DataFileCheck", 49);
      (void)installer::ReadIniInt(ctx.swiftIniPath, u"CustomData", u"PPFileCheck", -1);
      break;
    default:
      installer::SetField(ctx.languageValue, u"US");
      ReadModelFile(ctx, ctx.instIniPath);
      ReadInf();
      break;
  }
  // The next input finds the sample file again.
  PutText(kFiles[which].path, kFiles[which].sample);
  return 0;
}
