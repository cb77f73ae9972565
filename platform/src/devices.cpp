#include "plat/devices.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>

#include "machine_state.h"
#include "plat/dialog.h"
#include "plat/msgqueue.h"
#include "plat/profile.h"
#include "plat/registry.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plat/ui.h"

namespace {

using plat::devices::UsbPrinter;

constexpr const char* kStateFile = "devices";
constexpr std::u16string_view kUsbPrefix = u"USBPRINT\\";
constexpr const char16_t* kEnumKey = u"SYSTEM\\CurrentControlSet\\Enum\\";

std::u16string Field(std::string_view text) { return plat::u16(text); }

struct DeviceState {
  std::vector<UsbPrinter> printers;
  int newHardwareWindows = 0;
};

DeviceState Parse(const std::string& text) {
  DeviceState st;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;  // empty fields kept, the last one too
    for (std::size_t at = 0;;) {
      const std::size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string::npos ? std::string::npos : tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    if (f.size() == 6 && f[0] == "usb")
      st.printers.push_back({Field(f[1]), Field(f[2]), Field(f[3]), f[4] == "1", Field(f[5])});
    else if (f.size() == 2 && f[0] == "newhw")
      st.newHardwareWindows = std::atoi(f[1].c_str());
  }
  return st;
}

std::string Serialise(const DeviceState& st) {
  std::string out;
  for (const auto& p : st.printers)
    out += "usb\t" + plat::utf8(p.instanceId) + "\t" + plat::utf8(p.hardwareId) + "\t" + plat::utf8(p.port) + "\t" +
           (p.present ? "1" : "0") + "\t" + plat::utf8(p.driver) + "\n";
  if (st.newHardwareWindows) out += "newhw\t" + std::to_string(st.newHardwareWindows) + "\n";
  return out;
}

bool Change(const std::function<void(DeviceState&)>& change) {
  return plat::state::Update(kStateFile, [&](std::string& text) {
    DeviceState st = Parse(text);
    change(st);
    text = Serialise(st);
  });
}

DeviceState Load() { return Parse(plat::state::Read(kStateFile)); }

// The device keys under Enum\USBPRINT, as the devices are now.
void SyncRegistry(const DeviceState& st) {
  for (const auto& p : st.printers) {
    HKEY instance = nullptr;
    const std::u16string path = std::u16string(kEnumKey) + p.instanceId;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &instance, nullptr))
      continue;
    std::u16string ids = p.hardwareId;
    ids.push_back(0);
    ids.push_back(0);
    RegSetValueExW(instance, u"HardwareID", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(ids.data()),
                   static_cast<DWORD>(ids.size() * sizeof(WCHAR)));
    HKEY sub = nullptr;
    if (p.present) {
      if (!RegCreateKeyExW(instance, u"Control", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr)) RegCloseKey(sub);
    } else {
      RegDeleteKeyW(instance, u"Control");
    }
    if (!RegCreateKeyExW(instance, u"Device Parameters", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr)) {
      RegSetValueExW(sub, u"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(p.port.c_str()),
                     static_cast<DWORD>((p.port.size() + 1) * sizeof(WCHAR)));
      RegCloseKey(sub);
    }
    RegCloseKey(instance);
  }
}

bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix) {
  return text.size() >= prefix.size() && plat::EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// ---- device information sets ----
struct SetDevice {
  UsbPrinter printer;
  std::u16string driverPath;
  DWORD flags = 0, flagsEx = 0;
  std::vector<std::u16string> drivers;  // compatible drivers' descriptions
  int selectedDriver = -1;
};
struct DevInfoSet {
  std::vector<SetDevice> devices;
  int selected = -1;
};
struct Sets {
  std::mutex mutex;
  std::set<DevInfoSet*> live;
};
Sets& TheSets() {
  static Sets* s = new Sets;  // lives as long as the process
  return *s;
}

DevInfoSet* SetOf(HDEVINFO set) {
  auto& s = TheSets();
  std::lock_guard lock(s.mutex);
  auto* p = static_cast<DevInfoSet*>(set);
  return s.live.count(p) ? p : nullptr;
}

SetDevice* DeviceOf(HDEVINFO set, const SP_DEVINFO_DATA* data) {
  DevInfoSet* s = SetOf(set);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  const int index = data ? static_cast<int>(data->DevInst) : s->selected;
  if (index < 0 || index >= static_cast<int>(s->devices.size())) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return nullptr;
  }
  return &s->devices[static_cast<std::size_t>(index)];
}

HDEVINFO NewSet() {
  auto* set = new DevInfoSet;
  auto& s = TheSets();
  std::lock_guard lock(s.mutex);
  s.live.insert(set);
  return set;
}

// The models of the INF whose line names the hardware id.
std::vector<std::u16string> CompatibleDrivers(const std::u16string& inf, std::u16string_view hardwareId) {
  using plat::profile::ReadKeys, plat::profile::ReadValue, plat::profile::SplitCommaFields;
  std::vector<std::u16string> found;
  for (const auto& maker : ReadKeys(inf, u"Manufacturer")) {
    const auto fields = SplitCommaFields(ReadValue(inf, u"Manufacturer", maker).value_or(u""));
    if (fields.empty() || fields[0].empty()) continue;
    std::vector<std::u16string> sections{fields[0]};
    for (std::size_t i = 1; i < fields.size(); ++i) sections.push_back(fields[0] + u"." + fields[i]);
    for (const auto& section : sections) {
      for (const auto& key : ReadKeys(inf, section)) {
        const auto line = SplitCommaFields(ReadValue(inf, section, key).value_or(u""));
        for (std::size_t i = 1; i < line.size(); ++i) {
          if (!plat::EqualsNoCase(line[i], hardwareId)) continue;
          const std::u16string model(plat::profile::Unframe(key, u'"').value_or(key));
          if (std::find(found.begin(), found.end(), model) == found.end()) found.push_back(model);
        }
      }
    }
  }
  return found;
}

bool DriverInstalled(std::u16string_view name) {
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 3, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, nullptr, 3, buffer.data(), needed, &needed, &count)) return false;
  const auto* d = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i)
    if (plat::view(d[i].pName) == name) return true;
  return false;
}

// Gives the device its driver and a printer on its port.
BOOL InstallWithDriver(const UsbPrinter& device, const std::u16string& driver) {
  if (!DriverInstalled(driver)) {
    SetLastError(ERROR_UNKNOWN_PRINTER_DRIVER);
    return FALSE;
  }
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count);
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  std::u16string name;
  for (DWORD i = 0; i < count && name.empty(); ++i)
    if (plat::EqualsNoCase(plat::view(printers[i].pPortName), device.port) && plat::view(printers[i].pDriverName) == driver)
      name = plat::view(printers[i].pPrinterName);
  HANDLE printer = nullptr;
  if (name.empty()) {
    name = driver;
    PRINTER_INFO_2W info{};
    info.pPrinterName = name.data();
    std::u16string port = device.port, driverName = driver, processor = u"WinPrint", type = u"RAW";
    info.pPortName = port.data();
    info.pDriverName = driverName.data();
    info.pPrintProcessor = processor.data();
    info.pDatatype = type.data();
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    printer = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    if (!printer) return FALSE;
  } else {
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterW(name.c_str(), &printer, &all)) return FALSE;
  }
  const DWORD status = SetPrinterDataExW(printer, u"PnPData", u"DeviceInstanceId", REG_SZ,
                                         reinterpret_cast<const BYTE*>(device.instanceId.c_str()),
                                         static_cast<DWORD>((device.instanceId.size() + 1) * sizeof(WCHAR)));
  ClosePrinter(printer);
  if (status) {
    SetLastError(status);
    return FALSE;
  }
  Change([&](DeviceState& st) {
    for (auto& p : st.printers)
      if (p.instanceId == device.instanceId) p.driver = driver;
  });
  return TRUE;
}

BOOL InstallSelected(HDEVINFO set, SP_DEVINFO_DATA* data) {
  SetDevice* d = DeviceOf(set, data);
  if (!d) return FALSE;
  if (d->selectedDriver < 0) {
    SetLastError(ERROR_NO_DRIVER_SELECTED);
    return FALSE;
  }
  return InstallWithDriver(d->printer, d->drivers[static_cast<std::size_t>(d->selectedDriver)]);
}

// The INFs of the driver store's packages, in the order of their folders.
std::vector<std::u16string> StoredInfs() {
  WCHAR system[MAX_PATH] = {};
  // The answer is the needed size when the folder does not fit.
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  const std::u16string repository = std::u16string(system, n) + u"\\DriverStore\\FileRepository";
  const std::string host = plat::machine::HostPath(repository);
  std::error_code ec;
  if (host.empty() || !std::filesystem::is_directory(host, ec)) return {};
  std::vector<std::string> folders;
  for (const auto& entry : std::filesystem::directory_iterator(host, ec))
    if (entry.is_directory(ec)) folders.push_back(entry.path().filename().string());
  std::sort(folders.begin(), folders.end());
  std::vector<std::u16string> infs;
  for (const auto& folder : folders) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(host + "/" + folder, ec)) {
      std::string name = entry.path().filename().string();
      std::string lower = name;
      for (auto& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
      if (entry.is_regular_file(ec) && lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".inf") == 0)
        files.push_back(name);
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) infs.push_back(repository + u"\\" + plat::u16(folder) + u"\\" + plat::u16(file));
  }
  return infs;
}

// From 6.2 the system itself installs a plugged printer that has no driver
// yet from a stored package whose INF names its id: the driver, when it is
// not there, and a printer on its port.
void InstallFromStore(const UsbPrinter& device) {
  for (const auto& inf : StoredInfs()) {
    const auto drivers = CompatibleDrivers(inf, device.hardwareId);
    if (drivers.empty()) continue;
    const std::u16string& driver = drivers.front();
    if (!DriverInstalled(driver) &&
        InstallPrinterDriverFromPackageW(nullptr, inf.c_str(), driver.c_str(), nullptr, 0) != 0)
      continue;
    InstallWithDriver(device, driver);
    return;
  }
}

void FillDriver(SP_DRVINFO_DATA_W* out, const std::u16string& description) {
  const DWORD size = out->cbSize;
  std::memset(out, 0, sizeof *out);
  out->cbSize = size;
  out->DriverType = SPDIT_COMPATDRIVER;
  description.copy(out->Description, std::min<std::size_t>(description.size(), 255));
}

// The scripted user's "usb plug --hwid ID --port USB001" and "usb unplug --hwid ID".
bool UsbStep(const std::string& verb, const std::string& rest) {
  if (verb != "usb") return false;
  std::istringstream in(rest);
  std::string action, word, hwid, port;
  in >> action;
  while (in >> word) {
    if (word == "--hwid") in >> hwid;
    else if (word == "--port") in >> port;
  }
  if (action == "plug") return plat::devices::Plug(plat::u16(hwid), plat::u16(port));
  if (action == "unplug") return plat::devices::Unplug(plat::u16(hwid));
  return false;
}
const bool g_usbStep = (plat::ui::SetScriptAction(UsbStep), true);

// The closer shuts the window from its own thread while the page's timer may
// be looking for it: the window and its count change together under this lock.
std::mutex& NewHardwareLock() {
  static std::mutex lock;
  return lock;
}

INT_PTR CALLBACK NewHardwareProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  const bool closing = (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) ||
                       (message == WM_SYSCOMMAND && wParam == SC_CLOSE);
  if (!closing) return FALSE;
  std::lock_guard guard(NewHardwareLock());
  if (!IsWindow(window)) return TRUE;
  DestroyWindow(window);
  Change([](DeviceState& st) { st.newHardwareWindows = std::max(0, st.newHardwareWindows - 1); });
  return TRUE;
}

}  // namespace

namespace plat::devices {

std::u16string NewHardwareCaption() {
  const auto os = plat::machine::GetOsProfile();
  if (os.major == 5) return u"Found New Hardware Wizard";
  if (os.major == 6 && os.minor < 2) return u"Found New Hardware";
  return {};  // from 6.2 the system installs the device itself
}

bool Plug(std::u16string_view hardwareId, std::u16string_view port) {
  if (!StartsWithNoCase(hardwareId, kUsbPrefix) || hardwareId.size() == kUsbPrefix.size() ||
      hardwareId.find(u'\t') != std::u16string_view::npos || !StartsWithNoCase(port, u"USB") || port.size() < 4)
    return false;
  const bool window = !NewHardwareCaption().empty();
  const bool ok = Change([&](DeviceState& st) {
    for (auto& p : st.printers) {
      if (plat::EqualsNoCase(p.hardwareId, hardwareId)) {
        p.present = true;
        if (window) ++st.newHardwareWindows;
        return;
      }
    }
    UsbPrinter p;
    p.hardwareId = std::u16string(hardwareId);
    p.instanceId = std::u16string(hardwareId) + u"\\7&1&0&" + std::u16string(port);
    p.port = std::u16string(port);
    p.present = true;
    // The bus lists a newly plugged printer first.
    st.printers.insert(st.printers.begin(), p);
    if (window) ++st.newHardwareWindows;
  });
  if (!ok) return false;
  plat::spooler::PortStatus usbPort;
  usbPort.name = std::u16string(port);
  usbPort.monitor = u"USB Monitor";
  plat::spooler::AddPortOf(usbPort);
  const DeviceState st = Load();
  SyncRegistry(st);
  const auto os = plat::machine::GetOsProfile();
  if (os.major < 6 || (os.major == 6 && os.minor < 2)) return true;
  for (const auto& p : st.printers)
    if (plat::EqualsNoCase(p.hardwareId, hardwareId) && p.driver.empty()) InstallFromStore(p);
  return true;
}

bool Unplug(std::u16string_view hardwareId) {
  bool found = false;
  Change([&](DeviceState& st) {
    for (auto& p : st.printers)
      if (plat::EqualsNoCase(p.hardwareId, hardwareId)) found = p.present, p.present = false;
  });
  SyncRegistry(Load());
  return found;
}

std::vector<UsbPrinter> UsbPrinters() { return Load().printers; }

int OpenNewHardwareWindows() { return Load().newHardwareWindows; }

}  // namespace plat::devices

extern "C" {

HDEVINFO SetupDiGetClassDevsW(const void*, LPCWSTR enumerator, HWND, DWORD flags) {
  if (!enumerator || !plat::EqualsNoCase(plat::view(enumerator), u"USBPRINT")) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  const DeviceState st = Load();
  SyncRegistry(st);
  // The system's new-hardware windows of this machine are windows here too.
  const std::u16string caption = plat::devices::NewHardwareCaption();
  if (!caption.empty()) {
    std::lock_guard guard(NewHardwareLock());
    if (Load().newHardwareWindows > 0 && !FindWindowW(nullptr, caption.c_str()))
      plat::ui::OpenSystemWindow(caption, NewHardwareProc);
  }
  HDEVINFO set = NewSet();
  auto* s = static_cast<DevInfoSet*>(set);
  for (const auto& p : st.printers)
    if (p.present || !(flags & DIGCF_PRESENT)) s->devices.push_back({p, {}, 0, 0, {}, -1});
  return set;
}

HDEVINFO SetupDiCreateDeviceInfoList(const void*, HWND) { return NewSet(); }

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set) {
  auto& s = TheSets();
  std::lock_guard lock(s.mutex);
  auto* p = static_cast<DevInfoSet*>(set);
  if (!s.live.erase(p)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete p;
  return TRUE;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA* data) {
  DevInfoSet* s = SetOf(set);
  if (!s || !data) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (index >= s->devices.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  data->DevInst = index;
  return TRUE;
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD property, LPDWORD type,
                                       LPBYTE buffer, DWORD size, LPDWORD required) {
  SetDevice* d = DeviceOf(set, data);
  if (!d) return FALSE;
  if (property != SPDRP_HARDWAREID) {
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  std::u16string ids = d->printer.hardwareId;
  ids.push_back(0);
  ids.push_back(0);
  const auto need = static_cast<DWORD>(ids.size() * sizeof(WCHAR));
  if (required) *required = need;
  if (type) *type = REG_MULTI_SZ;
  if (!buffer || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, ids.data(), need);
  return TRUE;
}

BOOL SetupDiGetDeviceInstanceIdW(HDEVINFO set, SP_DEVINFO_DATA* data, LPWSTR buffer, DWORD size, LPDWORD required) {
  SetDevice* d = DeviceOf(set, data);
  if (!d) return FALSE;
  const auto need = static_cast<DWORD>(d->printer.instanceId.size() + 1);
  if (required) *required = need;
  if (!buffer || size < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, d->printer.instanceId.c_str(), need * sizeof(WCHAR));
  return TRUE;
}

BOOL SetupDiOpenDeviceInfoW(HDEVINFO set, LPCWSTR instanceId, HWND, DWORD, SP_DEVINFO_DATA* data) {
  DevInfoSet* s = SetOf(set);
  if (!s || !instanceId) {
    SetLastError(s ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  for (const auto& p : Load().printers) {
    if (!plat::EqualsNoCase(p.instanceId, plat::view(instanceId))) continue;
    s->devices.push_back({p, {}, 0, 0, {}, -1});
    if (data) data->DevInst = static_cast<DWORD>(s->devices.size() - 1);
    return TRUE;
  }
  SetLastError(ERROR_NO_SUCH_DEVINST);
  return FALSE;
}

BOOL SetupDiSetSelectedDevice(HDEVINFO set, SP_DEVINFO_DATA* data) {
  DevInfoSet* s = SetOf(set);
  if (!s || !data || data->DevInst >= s->devices.size()) {
    SetLastError(ERROR_NO_SUCH_DEVINST);
    return FALSE;
  }
  s->selected = static_cast<int>(data->DevInst);
  return TRUE;
}

BOOL SetupDiGetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params) {
  SetDevice* d = DeviceOf(set, data);
  if (!d || !params) return FALSE;
  const DWORD size = params->cbSize;
  std::memset(params, 0, sizeof *params);
  params->cbSize = size;
  params->Flags = d->flags;
  params->FlagsEx = d->flagsEx;
  d->driverPath.copy(params->DriverPath, std::min<std::size_t>(d->driverPath.size(), MAX_PATH - 1));
  return TRUE;
}

BOOL SetupDiSetDeviceInstallParamsW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DEVINSTALL_PARAMS_W* params) {
  SetDevice* d = DeviceOf(set, data);
  if (!d || !params) return FALSE;
  d->flags = params->Flags;
  d->flagsEx = params->FlagsEx;
  d->driverPath = plat::view(params->DriverPath);
  return TRUE;
}

BOOL SetupDiBuildDriverInfoList(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD driverType) {
  SetDevice* d = DeviceOf(set, data);
  if (!d) return FALSE;
  if (driverType != SPDIT_COMPATDRIVER || !(d->flags & DI_ENUMSINGLEINF) || d->driverPath.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  d->drivers = CompatibleDrivers(d->driverPath, d->printer.hardwareId);
  d->selectedDriver = -1;
  return TRUE;
}

BOOL SetupDiEnumDriverInfoW(HDEVINFO set, SP_DEVINFO_DATA* data, DWORD, DWORD index, SP_DRVINFO_DATA_W* driver) {
  SetDevice* d = DeviceOf(set, data);
  if (!d || !driver) return FALSE;
  if (index >= d->drivers.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  FillDriver(driver, d->drivers[index]);
  return TRUE;
}

BOOL SetupDiSetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver) {
  SetDevice* d = DeviceOf(set, data);
  if (!d) return FALSE;
  if (!driver) {
    d->selectedDriver = -1;
    return TRUE;
  }
  for (std::size_t i = 0; i < d->drivers.size(); ++i) {
    if (d->drivers[i] == plat::view(driver->Description)) {
      d->selectedDriver = static_cast<int>(i);
      return TRUE;
    }
  }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

BOOL SetupDiGetSelectedDriverW(HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver) {
  SetDevice* d = DeviceOf(set, data);
  if (!d || !driver) return FALSE;
  if (d->selectedDriver < 0) {
    SetLastError(ERROR_NO_DRIVER_SELECTED);
    return FALSE;
  }
  FillDriver(driver, d->drivers[static_cast<std::size_t>(d->selectedDriver)]);
  return TRUE;
}

BOOL SetupDiInstallDevice(HDEVINFO set, SP_DEVINFO_DATA* data) { return InstallSelected(set, data); }

BOOL SetupDiCallClassInstaller(UINT function, HDEVINFO set, SP_DEVINFO_DATA* data) {
  if (function != DIF_INSTALLDEVICE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return InstallSelected(set, data);
}

BOOL DiInstallDevice(HWND, HDEVINFO set, SP_DEVINFO_DATA* data, SP_DRVINFO_DATA_W* driver, DWORD, BOOL* needReboot) {
  if (needReboot) *needReboot = FALSE;
  if (driver && !SetupDiSetSelectedDriverW(set, data, driver)) return FALSE;
  return InstallSelected(set, data);
}

BOOL SetupCopyOEMInfW(LPCWSTR source, LPCWSTR, DWORD mediaType, DWORD, LPWSTR destination, DWORD destinationSize,
                      LPDWORD required, LPWSTR* component) {
  if (!source || mediaType != SPOST_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE in = CreateFileW(source, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE) return FALSE;
  std::string bytes;
  char chunk[4096];
  DWORD got = 0;
  while (ReadFile(in, chunk, sizeof chunk, &got, nullptr) && got) bytes.append(chunk, got);
  CloseHandle(in);
  WCHAR windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  const std::u16string folder = std::u16string(plat::view(windows)) + u"\\inf";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::u16string target;
  bool exists = false;
  for (int n = 0;; ++n) {
    target = folder + u"\\oem" + plat::u16(std::to_string(n)) + u".inf";
    HANDLE old = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (old == INVALID_HANDLE_VALUE) break;
    std::string present;
    while (ReadFile(old, chunk, sizeof chunk, &got, nullptr) && got) present.append(chunk, got);
    CloseHandle(old);
    if (present == bytes) {
      exists = true;
      break;
    }
  }
  if (!exists) {
    HANDLE out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (out == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written = 0;
    const BOOL ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(out);
    if (!ok || written != bytes.size()) {
      SetLastError(ERROR_WRITE_FAULT);
      return FALSE;
    }
  }
  const auto need = static_cast<DWORD>(target.size() + 1);
  if (required) *required = need;
  if (component) *component = nullptr;
  if (destination && destinationSize >= need) std::memcpy(destination, target.c_str(), need * sizeof(WCHAR));
  if (exists) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"

namespace {
// newdev.dll exports DiInstallDevice from Windows Vista on.
[[maybe_unused]] const bool kExported = [] {
  plat::machine::RegisterSystemProc("newdev", "DiInstallDevice", reinterpret_cast<FARPROC>(&DiInstallDevice), 6);
  return true;
}();
}  // namespace
