// machine: makes, shows and restarts a machine root in which the installer
// and the printing tools run as separate programs.
//
//   machine init ROOT [--version 6.1] [--arch x86|x64|ia64]
//                [--product workstation|server|dc] [--platform nt|9x]
//                [--lang 0x0409] [--drive D=cdrom:CDFS:LABEL]...
//                [--subnet 127.0.0.0/29] [--agent 127.0.0.2=PORT]...
//   machine show ROOT [profile|spooler|pending|ports|printer-data NAME]
//   machine reboot ROOT
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "plat/windows.h"

namespace fs = std::filesystem;

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: machine init ROOT [--version 6.1] [--arch x86|x64|ia64] [--product workstation|server|dc]\n"
               "                         [--platform nt|9x] [--lang 0x0409] [--drive D=cdrom:CDFS:LABEL]...\n"
               "                         [--subnet 127.0.0.0/29] [--agent 127.0.0.2=PORT]...\n"
               "       machine show ROOT [profile|spooler|pending|ports|printer-data NAME]\n"
               "       machine reboot ROOT\n");
  return 2;
}

std::string Json(std::u16string_view text) { return plat::JsonQuoted(text); }

std::string Hex(const std::vector<BYTE>& bytes) {
  std::string out;
  char b[3];
  for (BYTE v : bytes) std::snprintf(b, sizeof b, "%02x", v), out += b;
  return out;
}

bool ParseDrive(const std::string& arg, plat::machine::Drive& d) {
  // D=cdrom:CDFS:LABEL
  if (arg.size() < 3 || arg[1] != '=' || !std::isalpha(static_cast<unsigned char>(arg[0]))) return false;
  d.letter = static_cast<char16_t>(std::toupper(static_cast<unsigned char>(arg[0])));
  std::vector<std::string> parts;
  std::stringstream in(arg.substr(2));
  for (std::string p; std::getline(in, p, ':');) parts.push_back(p);
  if (parts.empty()) return false;
  const std::pair<const char*, UINT> types[] = {{"fixed", DRIVE_FIXED}, {"cdrom", DRIVE_CDROM},
                                                {"removable", DRIVE_REMOVABLE}, {"remote", DRIVE_REMOTE}};
  d.type = DRIVE_UNKNOWN;
  for (const auto& [name, type] : types)
    if (parts[0] == name) d.type = type;
  if (d.type == DRIVE_UNKNOWN) return false;
  d.fileSystem = plat::u16(parts.size() > 1 ? parts[1] : (d.type == DRIVE_CDROM ? "CDFS" : "NTFS"));
  d.label = plat::u16(parts.size() > 2 ? parts[2] : "");
  return true;
}

void MakeFolder(const std::u16string& windowsPath) {
  std::error_code ec;
  fs::create_directories(plat::machine::HostPath(windowsPath), ec);
}

int Init(const std::string& root, const std::vector<std::string>& args) {
  plat::machine::OsProfile os;
  std::vector<plat::machine::Drive> drives = {plat::machine::Drive{}};
  std::string subnet;
  std::vector<std::pair<std::string, USHORT>> agents;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) return Usage();
    const std::string& v = args[++i];
    if (a == "--version") {
      unsigned major = 0, minor = 0;
      if (std::sscanf(v.c_str(), "%u.%u", &major, &minor) != 2) return Usage();
      os.major = major;
      os.minor = minor;
      os.build = major == 5 ? 2600 : major == 10 ? 19045 : minor == 0 ? 6002 : minor == 1 ? 7601 : 9200;
    } else if (a == "--arch") {
      if (v == "x86") os.nativeArchitecture = PROCESSOR_ARCHITECTURE_INTEL;
      else if (v == "x64") os.nativeArchitecture = PROCESSOR_ARCHITECTURE_AMD64;
      else if (v == "ia64") os.nativeArchitecture = PROCESSOR_ARCHITECTURE_IA64;
      else return Usage();
      os.processArchitecture = os.nativeArchitecture;
    } else if (a == "--product") {
      if (v == "workstation") os.productType = VER_NT_WORKSTATION;
      else if (v == "server") os.productType = VER_NT_SERVER;
      else if (v == "dc") os.productType = VER_NT_DOMAIN_CONTROLLER;
      else return Usage();
    } else if (a == "--platform") {
      if (v == "nt") os.platformId = VER_PLATFORM_WIN32_NT;
      else if (v == "9x") os.platformId = VER_PLATFORM_WIN32_WINDOWS;
      else return Usage();
    } else if (a == "--lang") {
      os.userLangId = static_cast<LANGID>(std::strtoul(v.c_str(), nullptr, 0));
    } else if (a == "--subnet") {
      subnet = v;
    } else if (a == "--agent") {
      const auto eq = v.find('=');
      const long port = eq == std::string::npos ? 0 : std::strtol(v.c_str() + eq + 1, nullptr, 10);
      if (port <= 0 || port > 65535) return Usage();
      agents.emplace_back(v.substr(0, eq), static_cast<USHORT>(port));
    } else if (a == "--drive") {
      plat::machine::Drive d;
      if (!ParseDrive(v, d)) return Usage();
      drives.push_back(d);
    } else {
      return Usage();
    }
  }
  std::error_code ec;
  fs::create_directories(fs::path(root) / ".machine" / "state", ec);
  if (ec) {
    std::fprintf(stderr, "machine: cannot make %s\n", root.c_str());
    return 1;
  }
  plat::machine::SetRoot(fs::absolute(root).string());
  plat::machine::Reset();
  plat::machine::SetOsProfile(os);
  plat::machine::SetDrives(drives);
  for (const auto& d : drives) fs::create_directories(fs::path(plat::machine::Root()) / std::string(1, static_cast<char>(d.letter)), ec);
  const bool x64 = os.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
  const std::u16string arch = x64 ? u"x64" : u"W32X86";
  for (const std::u16string& folder :
       {u"C:\\WINDOWS\\system32\\spool\\drivers\\" + arch + u"\\3", u"C:\\WINDOWS\\system32\\spool\\prtprocs\\" + arch,
        std::u16string(u"C:\\TEMP"), std::u16string(u"C:\\Program Files"),
        std::u16string(u"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs"),
        std::u16string(u"C:\\Users\\user\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs")})
    MakeFolder(folder);
  if (!plat::machine::SaveProfile()) {
    std::fprintf(stderr, "machine: cannot write the profile\n");
    return 1;
  }
  // The spooler service runs from the start.
  std::ofstream(fs::path(root) / ".machine" / "state" / "services") << "Spooler\trunning\n";
  for (const char16_t* port : {u"LPT1:", u"LPT2:", u"LPT3:", u"COM1:", u"COM2:", u"COM3:", u"COM4:", u"FILE:"})
    plat::spooler::AddPort(port);
  if (!subnet.empty() && !plat::net::SetSubnet(subnet)) {
    std::fprintf(stderr, "machine: bad subnet %s\n", subnet.c_str());
    return 1;
  }
  for (const auto& [address, port] : agents) {
    if (!plat::net::AddMachineAgent(address, port)) {
      std::fprintf(stderr, "machine: bad agent %s\n", address.c_str());
      return 1;
    }
  }
  return 0;
}

// Each port with its monitor and, for Standard TCP/IP ports, its record's fields.
void ShowPorts(std::ostream& out) {
  DWORD needed = 0, count = 0;
  EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  EnumPortsW(nullptr, 2, buffer.data(), needed, &needed, &count);
  const auto* ports = reinterpret_cast<const PORT_INFO_2W*>(buffer.data());
  out << "[";
  for (DWORD i = 0; i < count; ++i) {
    const std::u16string name(plat::view(ports[i].pPortName));
    out << (i ? "," : "") << "{\"name\":" << Json(name) << ",\"monitor\":" << Json(plat::view(ports[i].pMonitorName));
    if (const auto st = plat::spooler::PortStatusOf(name); st && st->version) {
      out << ",\"hostAddress\":" << Json(st->hostAddress) << ",\"ipAddress\":" << Json(st->ipAddress)
          << ",\"queue\":" << Json(st->queue) << ",\"community\":" << Json(st->community)
          << ",\"version\":" << st->version << ",\"protocol\":" << st->protocol << ",\"portNumber\":" << st->portNumber
          << ",\"doubleSpool\":" << st->doubleSpool << ",\"snmpEnabled\":" << st->snmpEnabled
          << ",\"snmpDevIndex\":" << st->snmpIndex;
    } else if (st && !st->hostAddress.empty()) {
      out << ",\"url\":" << Json(st->hostAddress);
    }
    out << "}";
  }
  out << "]";
}

void ShowProfile(std::ostream& out) {
  const auto os = plat::machine::GetOsProfile();
  OSVERSIONINFOEXW v{};
  v.dwOSVersionInfoSize = sizeof v;
  GetVersionExW(reinterpret_cast<LPOSVERSIONINFOW>(&v));
  SYSTEM_INFO si{};
  GetNativeSystemInfo(&si);
  out << "{\"dwMajorVersion\":" << v.dwMajorVersion << ",\"dwMinorVersion\":" << v.dwMinorVersion
      << ",\"dwBuildNumber\":" << v.dwBuildNumber << ",\"dwPlatformId\":" << v.dwPlatformId
      << ",\"wProductType\":" << int{v.wProductType} << ",\"wProcessorArchitecture\":" << si.wProcessorArchitecture
      << ",\"LangID\":" << GetUserDefaultLangID() << ",\"drives\":[";
  bool first = true;
  for (const auto& d : plat::machine::Drives()) {
    out << (first ? "" : ",") << "{\"letter\":" << Json(std::u16string(1, d.letter)) << ",\"type\":" << d.type
        << ",\"fileSystem\":" << Json(d.fileSystem) << ",\"label\":" << Json(d.label) << "}";
    first = false;
  }
  out << "]}";
  (void)os;
}

void ShowSpooler(std::ostream& out) {
  out << "{\"ports\":[";
  const auto ports = plat::spooler::Ports();
  for (std::size_t i = 0; i < ports.size(); ++i) out << (i ? "," : "") << Json(ports[i]);
  out << "],\"printProcessors\":[";
  const auto processors = plat::spooler::PrintProcessors();
  for (std::size_t i = 0; i < processors.size(); ++i) out << (i ? "," : "") << Json(processors[i]);
  out << "],\"drivers\":[";
  DWORD needed = 0, count = 0;
  EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count);
  std::vector<BYTE> drivers(needed ? needed : 1);
  if (!EnumPrinterDriversW(nullptr, nullptr, 6, drivers.data(), needed, &needed, &count)) count = 0;
  for (DWORD i = 0; i < count; ++i) {
    const auto& d = reinterpret_cast<const DRIVER_INFO_6W*>(drivers.data())[i];
    out << (i ? "," : "") << "{\"pName\":" << Json(plat::view(d.pName)) << ",\"pEnvironment\":"
        << Json(plat::view(d.pEnvironment)) << ",\"pDriverPath\":" << Json(plat::view(d.pDriverPath))
        << ",\"pDataFile\":" << Json(plat::view(d.pDataFile)) << ",\"pConfigFile\":" << Json(plat::view(d.pConfigFile))
        << ",\"pHelpFile\":" << Json(plat::view(d.pHelpFile)) << ",\"pDependentFiles\":[";
    bool first = true;
    for (LPCWSTR f = d.pDependentFiles; f && *f; f += plat::view(f).size() + 1, first = false)
      out << (first ? "" : ",") << Json(plat::view(f));
    out << "],\"pDefaultDataType\":" << Json(plat::view(d.pDefaultDataType)) << ",\"pszMfgName\":"
        << Json(plat::view(d.pszMfgName)) << ",\"pszOEMUrl\":" << Json(plat::view(d.pszOEMUrl))
        << ",\"pszHardwareID\":" << Json(plat::view(d.pszHardwareID)) << ",\"pszProvider\":"
        << Json(plat::view(d.pszProvider)) << "}";
  }
  out << "],\"heldDrivers\":[";
  const auto held = plat::spooler::HeldDrivers();
  for (std::size_t i = 0; i < held.size(); ++i) out << (i ? "," : "") << Json(held[i]);
  out << "],\"printers\":[";
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> printers(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers.data(), needed, &needed, &count)) count = 0;
  for (DWORD i = 0; i < count; ++i) {
    const auto& p = reinterpret_cast<const PRINTER_INFO_2W*>(printers.data())[i];
    out << (i ? "," : "") << "{\"pPrinterName\":" << Json(plat::view(p.pPrinterName)) << ",\"pPortName\":"
        << Json(plat::view(p.pPortName)) << ",\"pDriverName\":" << Json(plat::view(p.pDriverName))
        << ",\"pPrintProcessor\":" << Json(plat::view(p.pPrintProcessor)) << ",\"pDatatype\":"
        << Json(plat::view(p.pDatatype)) << ",\"Attributes\":" << p.Attributes << ",\"Priority\":" << p.Priority
        << ",\"pDevMode\":" << (p.pDevMode ? "true" : "false") << "}";
  }
  out << "]}";
}

void ShowPending(std::ostream& out) {
  out << "[";
  bool first = true;
  for (const auto& op : plat::files::PendingOperations()) {
    out << (first ? "" : ",") << "{\"from\":" << Json(op.from) << ",\"to\":" << Json(op.to) << "}";
    first = false;
  }
  out << "]";
}

int ShowPrinterData(std::ostream& out, const std::string& printer) {
  HANDLE h = nullptr;
  const std::u16string name = plat::u16(printer);
  if (!OpenPrinterW(name.c_str(), &h, nullptr)) {
    std::fprintf(stderr, "machine: no printer %s\n", printer.c_str());
    return 1;
  }
  out << "{";
  for (DWORD i = 0;; ++i) {
    WCHAR value[512];
    BYTE data[1];
    DWORD nameNeeded = 0, dataNeeded = 0, type = 0;
    DWORD rc = EnumPrinterDataW(h, i, value, sizeof value, &nameNeeded, &type, data, 0, &dataNeeded);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    std::vector<BYTE> bytes(dataNeeded ? dataNeeded : 1);
    rc = EnumPrinterDataW(h, i, value, sizeof value, &nameNeeded, &type, bytes.data(), dataNeeded, &dataNeeded);
    if (rc != ERROR_SUCCESS) break;
    bytes.resize(dataNeeded);
    out << (i ? "," : "") << Json(plat::view(value)) << ":{\"type\":" << type << ",\"hex\":\"" << Hex(bytes) << "\"}";
  }
  out << "}";
  ClosePrinter(h);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string command = argv[1], root = argv[2];
  std::vector<std::string> rest(argv + 3, argv + argc);
  if (command == "init") return Init(root, rest);
  if (!fs::exists(fs::path(root) / ".machine" / "state" / "profile")) {
    std::fprintf(stderr, "machine: %s is not a machine root (run machine init)\n", root.c_str());
    return 1;
  }
  plat::machine::SetRoot(fs::absolute(root).string());
  if (command == "reboot") {
    plat::setup::Reboot();
    return 0;
  }
  if (command != "show") return Usage();
  const std::string section = rest.empty() ? "" : rest[0];
  if (section == "printer-data") {
    if (rest.size() < 2) return Usage();
    const int rc = ShowPrinterData(std::cout, rest[1]);
    std::cout << "\n";
    return rc;
  }
  if (section == "profile") ShowProfile(std::cout);
  else if (section == "spooler") ShowSpooler(std::cout);
  else if (section == "pending") ShowPending(std::cout);
  else if (section == "ports") ShowPorts(std::cout);
  else if (section.empty()) {
    std::cout << "{\"profile\":";
    ShowProfile(std::cout);
    std::cout << ",\"spooler\":";
    ShowSpooler(std::cout);
    std::cout << ",\"pending\":";
    ShowPending(std::cout);
    std::cout << "}";
  } else {
    return Usage();
  }
  std::cout << "\n";
  return 0;
}
