// Installation: printer drivers, print processors and printers.
#include <algorithm>
#include <cstring>

#include "plat/machine.h"
#include "plat/resources.h"
#include "plat/services.h"
#include "plat/strings.h"
#include "spooler_internal.h"

using namespace plat::spool;

constexpr INT kPrinterEventInitialize = 3;  // DrvPrinterEvent(PRINTER_EVENT_INITIALIZE)
namespace {

std::u16string SpoolFolder(std::u16string_view kind) {
  WCHAR system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  const bool x64 = plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  return std::u16string(system, n < MAX_PATH ? n : 0) + u"\\spool\\" + std::u16string(kind) + (x64 ? u"\\x64" : u"\\W32X86");
}

// Creates every missing folder of a Windows path.
void MakeFolders(const std::u16string& path) {
  for (size_t at = path.find(u'\\', 3); ; at = path.find(u'\\', at + 1)) {
    const std::u16string part = path.substr(0, at);
    CreateDirectoryW(part.c_str(), nullptr);
    if (at == std::u16string::npos) break;
  }
}

BOOL FolderOut(const std::u16string& folder, LPBYTE buffer, DWORD size, LPDWORD needed) {
  MakeFolders(folder);
  const DWORD need = static_cast<DWORD>((folder.size() + 1) * sizeof(WCHAR));
  if (needed) *needed = need;
  if (!buffer || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, folder.c_str(), need);
  return TRUE;
}

bool EnvironmentOk(LPCWSTR environment) {
  return !environment || !*environment || plat::EqualsNoCase(plat::view(environment), plat::spooler::Environment());
}

std::u16string NameOf(std::u16string_view path) {
  const size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}

std::u16string Text(LPCWSTR s) { return s ? std::u16string(plat::view(s)) : std::u16string(); }

bool HasProcessor(const Spooler& s, std::u16string_view name) {
  for (const auto& p : s.processors)
    if (plat::EqualsNoCase(p, name)) return true;
  return false;
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace

extern "C" {

BOOL GetPrinterDriverDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  return FolderOut(SpoolFolder(u"drivers"), buffer, size, needed);
}

BOOL GetPrintProcessorDirectoryW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed) {
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  return FolderOut(SpoolFolder(u"prtprocs"), buffer, size, needed);
}

BOOL AddPrinterDriverExW(LPWSTR, DWORD level, LPBYTE info, DWORD flags) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (level != 3 && level != 6) return Fail(ERROR_INVALID_LEVEL);
  if (!info) return Fail(ERROR_INVALID_PARAMETER);
  // Levels 3 and 6 share their first ten fields.
  const auto* d = reinterpret_cast<const DRIVER_INFO_6W*>(info);
  if (!d->pName || !*d->pName || !d->pDriverPath || !d->pDataFile || !d->pConfigFile)
    return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(d->pEnvironment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  plat::spooler::DriverInfo driver;
  driver.name = Text(d->pName);
  driver.environment = plat::spooler::Environment();
  driver.monitorName = Text(d->pMonitorName);
  driver.defaultDataType = Text(d->pDefaultDataType);
  if (level == 6) {
    driver.manufacturer = Text(d->pszMfgName);
    driver.oemUrl = Text(d->pszOEMUrl);
    driver.hardwareId = Text(d->pszHardwareID);
    driver.provider = Text(d->pszProvider);
  }
  const std::u16string from = SpoolFolder(u"drivers");
  const std::u16string to = from + u"\\3";
  MakeFolders(to);
  // Every file goes into the version folder; the last error of a failed copy is kept.
  auto place = [&](LPCWSTR file, std::u16string& out) {
    if (!file || !*file) return true;
    const std::u16string name = NameOf(plat::view(file));
    const std::u16string target = to + u"\\" + name;
    if (flags & APD_COPY_NEW_FILES) {
      const std::u16string source = from + u"\\" + name;
      if (!CopyFileW(source.c_str(), target.c_str(), FALSE)) return false;
    } else if (GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return false;
    }
    out = target;
    return true;
  };
  if (!place(d->pDriverPath, driver.driverPath) || !place(d->pDataFile, driver.dataFile) ||
      !place(d->pConfigFile, driver.configFile) || !place(d->pHelpFile, driver.helpFile))
    return FALSE;
  for (LPCWSTR f = d->pDependentFiles; f && *f; f += std::char_traits<char16_t>::length(f) + 1) {
    std::u16string placed;
    if (!place(f, placed)) return FALSE;
    driver.dependentFiles.push_back(placed);
  }
  auto& s = Spl();
  SplLock lock(s);
  lock.Changed();
  s.drivers[Folded(driver.name)] = driver;
  return TRUE;
}

BOOL EnumPrinterDriversW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                         LPDWORD returned) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 3 && level != 6) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  *returned = 0;
  std::vector<plat::spooler::DriverInfo> list;
  {
    auto& s = Spl();
    SplLock lock(s);
    for (const auto& [key, d] : s.drivers) list.push_back(d);
  }
  const size_t fixed = (level == 3 ? sizeof(DRIVER_INFO_3W) : sizeof(DRIVER_INFO_6W)) * list.size();
  const BOOL ok = PackInto(buffer, size, needed, fixed, [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < list.size(); ++i) {
      const auto& d = list[i];
      LPWSTR name = k.String(d.name), env = k.String(d.environment), path = k.String(d.driverPath);
      LPWSTR data = k.String(d.dataFile), config = k.String(d.configFile), help = k.String(d.helpFile);
      LPWSTR deps = k.MultiString(d.dependentFiles);
      LPWSTR monitor = k.String(d.monitorName), datatype = k.String(d.defaultDataType);
      LPWSTR mfg = nullptr, url = nullptr, hwid = nullptr, provider = nullptr;
      if (level == 6) {
        mfg = k.String(d.manufacturer);
        url = k.String(d.oemUrl);
        hwid = k.String(d.hardwareId);
        provider = k.String(d.provider);
      }
      if (!out) continue;
      auto fill = [&](auto* info) {
        info->cVersion = 3;
        info->pName = name;
        info->pEnvironment = env;
        info->pDriverPath = path;
        info->pDataFile = data;
        info->pConfigFile = config;
        info->pHelpFile = help;
        info->pDependentFiles = deps;
        info->pMonitorName = monitor;
        info->pDefaultDataType = datatype;
      };
      if (level == 3) {
        fill(reinterpret_cast<DRIVER_INFO_3W*>(out) + i);
      } else {
        auto* info = reinterpret_cast<DRIVER_INFO_6W*>(out) + i;
        fill(info);
        info->pszMfgName = mfg;
        info->pszOEMUrl = url;
        info->pszHardwareID = hwid;
        info->pszProvider = provider;
      }
    }
  });
  if (ok) *returned = static_cast<DWORD>(list.size());
  return ok;
}

BOOL AddPrintProcessorW(LPWSTR, LPWSTR environment, LPWSTR pathName, LPWSTR printProcessorName) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!pathName || !*pathName || !printProcessorName || !*printProcessorName) return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  const std::u16string file = SpoolFolder(u"prtprocs") + u"\\" + NameOf(plat::view(pathName));
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return Fail(ERROR_FILE_NOT_FOUND);
  auto& s = Spl();
  SplLock lock(s);
  lock.Changed();
  if (HasProcessor(s, plat::view(printProcessorName))) return Fail(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);
  s.processors.push_back(Text(printProcessorName));
  return TRUE;
}

BOOL EnumPrintProcessorsW(LPWSTR, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 1) return Fail(ERROR_INVALID_LEVEL);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  *returned = 0;
  const std::vector<std::u16string> list = plat::spooler::PrintProcessors();
  const BOOL ok = PackInto(buffer, size, needed, sizeof(PRINTPROCESSOR_INFO_1W) * list.size(), [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < list.size(); ++i) {
      LPWSTR name = k.String(list[i]);
      if (out) reinterpret_cast<PRINTPROCESSOR_INFO_1W*>(out)[i].pName = name;
    }
  });
  if (ok) *returned = static_cast<DWORD>(list.size());
  return ok;
}

HANDLE AddPrinterW(LPWSTR, DWORD level, LPBYTE info) {
  if (!plat::services::SpoolerRunning()) {
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return nullptr;
  }
  if (level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return nullptr;
  }
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const auto* pi = reinterpret_cast<const PRINTER_INFO_2W*>(info);
  const std::u16string name = Text(pi->pPrinterName);
  std::u16string configFile;
  HANDLE handle = nullptr;
  {
    auto& s = Spl();
    SplLock lock(s);
    lock.Changed();
    DWORD error = ERROR_SUCCESS;
    auto driver = pi->pDriverName ? s.drivers.find(Folded(plat::view(pi->pDriverName))) : s.drivers.end();
    const std::u16string processor = pi->pPrintProcessor && *pi->pPrintProcessor ? Text(pi->pPrintProcessor) : u"WinPrint";
    if (!pi->pPortName || !s.ports.count(Folded(plat::view(pi->pPortName)))) error = ERROR_UNKNOWN_PORT;
    else if (driver == s.drivers.end()) error = ERROR_UNKNOWN_PRINTER_DRIVER;
    else if (!plat::EqualsNoCase(processor, u"WinPrint") && !HasProcessor(s, processor)) error = ERROR_UNKNOWN_PRINTPROCESSOR;
    else if (name.empty() || name.size() >= MAX_PATH || name.find_first_of(u"\\,!") != std::u16string::npos)
      error = ERROR_INVALID_PRINTER_NAME;
    else if (s.printers.count(Folded(name))) error = ERROR_PRINTER_ALREADY_EXISTS;
    std::vector<BYTE> devmode;
    if (!error && pi->pDevMode && pi->pDevMode->dmSize != 0) {
      size_t length = 0;
      const auto* dm = reinterpret_cast<const BYTE*>(pi->pDevMode);
      if (!DevmodeLength(dm, pi->pDevMode->dmSize + size_t{pi->pDevMode->dmDriverExtra}, length))
        error = ERROR_INVALID_PARAMETER;
      else devmode.assign(dm, dm + length);
    }
    if (error) {
      SetLastError(error);
      return nullptr;
    }
    auto p = std::make_shared<Printer>();
    p->name = name;
    p->port = Text(pi->pPortName);
    p->driver = driver->second;
    p->devmode = std::move(devmode);
    p->processor = processor;
    p->datatype = pi->pDatatype && *pi->pDatatype ? Text(pi->pDatatype) : u"RAW";
    p->attributes = pi->Attributes | PRINTER_ATTRIBUTE_LOCAL;
    p->priority = pi->Priority;
    p->defaultPriority = pi->DefaultPriority;
    p->startTime = pi->StartTime;
    p->untilTime = pi->UntilTime;
    p->comment = Text(pi->pComment);
    p->location = Text(pi->pLocation);
    p->sepFile = Text(pi->pSepFile);
    p->parameters = Text(pi->pParameters);
    s.printers[Folded(name)] = p;
    handle = reinterpret_cast<HANDLE>(s.nextHandle);
    s.nextHandle += 8;
    s.handles[handle] = OpenHandle{p, PRINTER_ALL_ACCESS, 0, {}};
    configFile = p->driver.configFile;
  }
  // The printer interface library initialises the new printer.
  if (HMODULE ui = LoadLibraryW(configFile.c_str())) {
    if (auto event = reinterpret_cast<PFN_DrvPrinterEvent>(GetProcAddress(ui, "DrvPrinterEvent"))) {
      std::u16string writable = name;
      event(writable.data(), kPrinterEventInitialize, 0, 0);
    }
    FreeLibrary(ui);
    // The spooler keeps the printer interface library loaded from now on.
    auto& s = Spl();
    SplLock lock(s);
    lock.Changed();
    s.heldDrivers.insert(Text(pi->pDriverName));
  }
  return handle;
}

BOOL EnumPrintersW(DWORD flags, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!needed || !returned) return Fail(ERROR_INVALID_PARAMETER);
  if (level != 2 && level != 4) return Fail(ERROR_INVALID_LEVEL);
  *returned = 0;
  std::vector<std::u16string> names;
  if (flags & PRINTER_ENUM_LOCAL) {
    auto& s = Spl();
    SplLock lock(s);
    for (const auto& [key, p] : s.printers) names.push_back(p->name);
  }
  // Each printer as GetPrinterW packs it, one after the other.
  std::vector<std::vector<BYTE>> records;
  for (const auto& n : names) {
    HANDLE h = nullptr;
    if (!OpenPrinterW(n.c_str(), &h, nullptr)) continue;
    DWORD need = 0;
    GetPrinterW(h, level, nullptr, 0, &need);
    std::vector<BYTE> record(need);
    if (GetPrinterW(h, level, record.data(), need, &need)) records.push_back(std::move(record));
    ClosePrinter(h);
  }
  const size_t fixed = (level == 2 ? sizeof(PRINTER_INFO_2W) : sizeof(PRINTER_INFO_4W)) * records.size();
  const BOOL ok = PackInto(buffer, size, needed, fixed, [&](Packer& k, BYTE* out) {
    for (size_t i = 0; i < records.size(); ++i) {
      if (level == 2) {
        const auto& r = *reinterpret_cast<const PRINTER_INFO_2W*>(records[i].data());
        std::vector<BYTE> dm;
        if (r.pDevMode) {
          const auto* b = reinterpret_cast<const BYTE*>(r.pDevMode);
          dm.assign(b, b + r.pDevMode->dmSize + r.pDevMode->dmDriverExtra);
        }
        BYTE* dmOut = dm.empty() ? nullptr : k.Blob(dm);
        LPWSTR strings[] = {k.String(plat::view(r.pPrinterName)), k.String(plat::view(r.pShareName)),
                            k.String(plat::view(r.pPortName)), k.String(plat::view(r.pDriverName)),
                            k.String(plat::view(r.pComment)), k.String(plat::view(r.pLocation)),
                            k.String(plat::view(r.pSepFile)), k.String(plat::view(r.pPrintProcessor)),
                            k.String(plat::view(r.pDatatype)), k.String(plat::view(r.pParameters))};
        if (!out) continue;
        auto& o = reinterpret_cast<PRINTER_INFO_2W*>(out)[i];
        o = r;
        o.pPrinterName = strings[0];
        o.pShareName = strings[1];
        o.pPortName = strings[2];
        o.pDriverName = strings[3];
        o.pComment = strings[4];
        o.pLocation = strings[5];
        o.pSepFile = strings[6];
        o.pPrintProcessor = strings[7];
        o.pDatatype = strings[8];
        o.pParameters = strings[9];
        o.pDevMode = reinterpret_cast<DEVMODEW*>(dmOut);
      } else {
        const auto& r = *reinterpret_cast<const PRINTER_INFO_4W*>(records[i].data());
        LPWSTR name = k.String(plat::view(r.pPrinterName));
        if (!out) continue;
        auto& o = reinterpret_cast<PRINTER_INFO_4W*>(out)[i];
        o.pPrinterName = name;
        o.pServerName = nullptr;
        o.Attributes = r.Attributes;
      }
    }
  });
  if (ok) *returned = static_cast<DWORD>(records.size());
  return ok;
}

BOOL DeletePrinter(HANDLE printer) {
  HandleCall call(printer, DELETE);
  if (call.Failed()) return FALSE;
  OpenHandle* h = &call.handle();
  h->printer->pendingDeletion = true;
  return TRUE;
}

BOOL DeletePrinterDriverExW(LPWSTR, LPWSTR environment, LPWSTR driverName, DWORD deleteFlag, DWORD) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!driverName || !*driverName) return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  std::vector<std::u16string> unused;
  {
    auto& s = Spl();
    SplLock lock(s);
    const std::u16string key = Folded(plat::view(driverName));
    auto it = s.drivers.find(key);
    if (it == s.drivers.end()) return Fail(ERROR_UNKNOWN_PRINTER_DRIVER);
    for (const auto& [name, p] : s.printers)
      if (Folded(p->driver.name) == key) return Fail(ERROR_PRINTER_DRIVER_IN_USE);
    for (const auto& held : s.heldDrivers)
      if (Folded(held) == key) return Fail(ERROR_PRINTER_DRIVER_IN_USE);
    lock.Changed();
    const plat::spooler::DriverInfo gone = it->second;
    s.drivers.erase(it);
    if (deleteFlag & (DPD_DELETE_UNUSED_FILES | DPD_DELETE_ALL_FILES)) {
      std::vector<std::u16string> files = {gone.driverPath, gone.dataFile, gone.configFile, gone.helpFile};
      files.insert(files.end(), gone.dependentFiles.begin(), gone.dependentFiles.end());
      auto named = [&](const plat::spooler::DriverInfo& d, const std::u16string& f) {
        if (plat::EqualsNoCase(d.driverPath, f) || plat::EqualsNoCase(d.dataFile, f) ||
            plat::EqualsNoCase(d.configFile, f) || plat::EqualsNoCase(d.helpFile, f))
          return true;
        for (const auto& dep : d.dependentFiles)
          if (plat::EqualsNoCase(dep, f)) return true;
        return false;
      };
      for (const auto& f : files) {
        if (f.empty() || std::find(unused.begin(), unused.end(), f) != unused.end()) continue;
        bool other = false;
        for (const auto& [k, d] : s.drivers) other = other || named(d, f);
        if (!other) unused.push_back(f);
      }
    }
  }
  for (const auto& f : unused) DeleteFileW(f.c_str());
  return TRUE;
}

BOOL DeletePrintProcessorW(LPWSTR, LPWSTR environment, LPWSTR printProcessorName) {
  if (!plat::services::SpoolerRunning()) return Fail(RPC_S_SERVER_UNAVAILABLE);
  if (!printProcessorName || !*printProcessorName) return Fail(ERROR_INVALID_PARAMETER);
  if (!EnvironmentOk(environment)) return Fail(ERROR_INVALID_ENVIRONMENT);
  if (plat::EqualsNoCase(plat::view(printProcessorName), u"WinPrint")) return Fail(ERROR_ACCESS_DENIED);
  auto& s = Spl();
  SplLock lock(s);
  auto it = std::find_if(s.processors.begin(), s.processors.end(),
                         [&](const std::u16string& p) { return plat::EqualsNoCase(p, plat::view(printProcessorName)); });
  if (it == s.processors.end()) return Fail(ERROR_UNKNOWN_PRINTPROCESSOR);
  lock.Changed();
  s.processors.erase(it);
  return TRUE;
}
}

namespace plat::spooler {

std::u16string Environment() {
  return plat::machine::GetOsProfile().nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? u"Windows x64"
                                                                                          : u"Windows NT x86";
}

std::vector<std::u16string> HeldDrivers() {
  auto& s = Spl();
  SplLock lock(s);
  return {s.heldDrivers.begin(), s.heldDrivers.end()};
}

void RestartSpooler() {
  auto& s = Spl();
  SplLock lock(s);
  lock.Changed();
  s.heldDrivers.clear();
}

std::vector<std::u16string> PrintProcessors() {
  auto& s = Spl();
  SplLock lock(s);
  std::vector<std::u16string> out = {u"WinPrint"};
  out.insert(out.end(), s.processors.begin(), s.processors.end());
  return out;
}

}  // namespace plat::spooler

namespace {
[[maybe_unused]] const bool kRestartRegistered = [] {
  plat::services::OnSpoolerRestart(&plat::spooler::RestartSpooler);
  return true;
}();
}  // namespace
