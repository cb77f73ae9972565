// The spooler of a persistent machine (ROOT/.machine): the model kept as
// canonical text in the state folder, taken up when another process changed it.
#include <sys/stat.h>

#include <charconv>
#include <sstream>

#include "machine_state.h"
#include "plat/strings.h"
#include "spooler_internal.h"

using namespace plat::spool;

namespace {

constexpr const char* kStateFile = "spooler";

// A root made by tools/machine has its profile in the state folder.
bool Persistent() {
  struct stat st {};
  return ::stat((plat::state::Folder() + "/profile").c_str(), &st) == 0;
}

std::string StateStamp() {
  struct stat st {};
  if (::stat((plat::state::Folder() + "/" + kStateFile).c_str(), &st) != 0) return "none";
  return std::to_string(st.st_ino) + ":" + std::to_string(st.st_mtim.tv_sec) + "." +
         std::to_string(st.st_mtim.tv_nsec) + ":" + std::to_string(st.st_size);
}

std::string Escape(std::u16string_view text) {
  std::string out;
  for (char c : plat::utf8(text)) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::u16string Unescape(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char n = text[++i];
      out += n == 't' ? '\t' : n == 'n' ? '\n' : n;
    } else {
      out += text[i];
    }
  }
  return plat::u16(out);
}

std::string Hex(const std::vector<BYTE>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (BYTE b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

std::vector<BYTE> Unhex(std::string_view text) {
  std::vector<BYTE> out;
  auto value = [](char c) { return c >= 'a' ? c - 'a' + 10 : c >= 'A' ? c - 'A' + 10 : c - '0'; };
  for (size_t i = 0; i + 1 < text.size(); i += 2) out.push_back(static_cast<BYTE>(value(text[i]) << 4 | value(text[i + 1])));
  return out;
}

// A damaged number in the state file reads as 0 rather than ending the
// process that takes the state up.
DWORD ParseDword(std::string_view text) {
  DWORD v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && end == text.data() + text.size() ? v : 0;
}

LONG ParseLong(std::string_view text) {
  LONG v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  return ec == std::errc() && end == text.data() + text.size() ? v : 0;
}

// The tab-separated fields of a line's value.
std::vector<std::string_view> Fields(std::string_view value) {
  std::vector<std::string_view> f;
  for (std::size_t at = 0;;) {
    const std::size_t t = value.find('\t', at);
    f.push_back(value.substr(at, t == std::string_view::npos ? std::string_view::npos : t - at));
    if (t == std::string_view::npos) break;
    at = t + 1;
  }
  return f;
}

void WriteDriver(std::ostringstream& out, const plat::spooler::DriverInfo& d, const char* indent) {
  out << indent << "version\t" << d.version << "\n";
  out << indent << "environment\t" << Escape(d.environment) << "\n";
  out << indent << "driver-path\t" << Escape(d.driverPath) << "\n";
  out << indent << "data-file\t" << Escape(d.dataFile) << "\n";
  out << indent << "config-file\t" << Escape(d.configFile) << "\n";
  out << indent << "help-file\t" << Escape(d.helpFile) << "\n";
  for (const auto& f : d.dependentFiles) out << indent << "dependent-file\t" << Escape(f) << "\n";
  out << indent << "monitor\t" << Escape(d.monitorName) << "\n";
  out << indent << "default-datatype\t" << Escape(d.defaultDataType) << "\n";
  out << indent << "manufacturer\t" << Escape(d.manufacturer) << "\n";
  out << indent << "oem-url\t" << Escape(d.oemUrl) << "\n";
  out << indent << "hardware-id\t" << Escape(d.hardwareId) << "\n";
  out << indent << "provider\t" << Escape(d.provider) << "\n";
}

bool ReadDriverField(plat::spooler::DriverInfo& d, std::string_view key, std::string_view value) {
  if (key == "version") d.version = ParseDword(value);
  else if (key == "environment") d.environment = Unescape(value);
  else if (key == "driver-path") d.driverPath = Unescape(value);
  else if (key == "data-file") d.dataFile = Unescape(value);
  else if (key == "config-file") d.configFile = Unescape(value);
  else if (key == "help-file") d.helpFile = Unescape(value);
  else if (key == "dependent-file") d.dependentFiles.push_back(Unescape(value));
  else if (key == "monitor") d.monitorName = Unescape(value);
  else if (key == "default-datatype") d.defaultDataType = Unescape(value);
  else if (key == "manufacturer") d.manufacturer = Unescape(value);
  else if (key == "oem-url") d.oemUrl = Unescape(value);
  else if (key == "hardware-id") d.hardwareId = Unescape(value);
  else if (key == "provider") d.provider = Unescape(value);
  else return false;
  return true;
}

// Ports, print processors, drivers and printers, sorted, and the user forms
// in their order; jobs and counters are not part of it.
std::string Serialise(const Spooler& s) {
  std::ostringstream out;
  for (const auto& [key, st] : s.ports) {
    out << "port\t" << Escape(st.name.empty() ? key : st.name) << "\n";
    out << "  monitor\t" << Escape(st.monitor) << "\n";
    if (st.version)
      out << "  tcp\t" << Escape(st.hostAddress) << "\t" << Escape(st.ipAddress) << "\t" << Escape(st.queue) << "\t"
          << Escape(st.community) << "\t" << st.version << "\t" << st.protocol << "\t" << st.portNumber << "\t"
          << st.doubleSpool << "\t" << st.snmpEnabled << "\t" << st.snmpIndex << "\n";
  }
  for (const auto& m : s.monitors) out << "monitor\t" << Escape(m) << "\n";
  for (const auto& p : s.processors) out << "processor\t" << Escape(p) << "\n";
  for (const auto& [key, d] : s.drivers) {
    out << "driver\t" << Escape(d.name) << "\n";
    WriteDriver(out, d, "  ");
  }
  for (const auto& h : s.heldDrivers) out << "held\t" << Escape(h) << "\n";
  // Forms keep their order: it gives their positions in the enumeration.
  for (const auto& f : s.forms)
    out << "form\t" << Escape(f.name) << "\t" << f.flags << "\t" << f.size.cx << "\t" << f.size.cy << "\t"
        << f.imageable.left << "\t" << f.imageable.top << "\t" << f.imageable.right << "\t" << f.imageable.bottom
        << "\n";
  for (const auto& [key, p] : s.printers) {
    out << "printer\t" << Escape(p->name) << "\n";
    out << "  port\t" << Escape(p->port) << "\n";
    out << "  processor\t" << Escape(p->processor) << "\n";
    out << "  datatype\t" << Escape(p->datatype) << "\n";
    out << "  attributes\t" << p->attributes << "\n";
    out << "  priority\t" << p->priority << "\n";
    if (p->defaultPriority != 1) out << "  default-priority\t" << p->defaultPriority << "\n";
    if (p->startTime) out << "  start-time\t" << p->startTime << "\n";
    if (p->untilTime) out << "  until-time\t" << p->untilTime << "\n";
    if (!p->comment.empty()) out << "  comment\t" << Escape(p->comment) << "\n";
    if (!p->location.empty()) out << "  location\t" << Escape(p->location) << "\n";
    if (!p->sepFile.empty()) out << "  sep-file\t" << Escape(p->sepFile) << "\n";
    if (!p->parameters.empty()) out << "  parameters\t" << Escape(p->parameters) << "\n";
    out << "  devmode\t" << Hex(p->devmode) << "\n";
    out << "  driver\t" << Escape(p->driver.name) << "\n";
    WriteDriver(out, p->driver, "    ");
    for (const auto& d : p->data) out << "  data\t" << Escape(d.name) << "\t" << d.type << "\t" << Hex(d.bytes) << "\n";
    for (const auto& [k, d] : p->keyed)
      out << "  keyed\t" << Escape(d.name) << "\t" << d.type << "\t" << Hex(d.bytes) << "\n";
  }
  return out.str();
}

// Makes the model what the text says; printers that stay keep their jobs and faults.
void Apply(Spooler& s, const std::string& text) {
  std::map<std::u16string, plat::spooler::PortStatus> ports;
  std::vector<std::u16string> processors;
  std::vector<std::u16string> monitors;
  std::map<std::u16string, plat::spooler::DriverInfo> drivers;
  std::set<std::u16string> held;
  std::vector<UserForm> forms;
  std::map<std::u16string, std::shared_ptr<Printer>> printers;
  plat::spooler::PortStatus* port = nullptr;
  plat::spooler::DriverInfo* driver = nullptr;
  std::shared_ptr<Printer> printer;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    size_t indent = line.find_first_not_of(' ');
    if (indent == std::string::npos) continue;
    const std::string_view body = std::string_view(line).substr(indent);
    const size_t tab = body.find('\t');
    const std::string_view key = body.substr(0, tab);
    const std::string_view value = tab == std::string_view::npos ? std::string_view() : body.substr(tab + 1);
    if (indent == 0) {
      driver = nullptr;
      printer = nullptr;
      port = nullptr;
      const std::u16string name = Unescape(value);
      if (key == "port") {
        auto old = s.ports.find(Folded(name));
        port = &(ports[Folded(name)] = old == s.ports.end() ? plat::spooler::PortStatus{} : old->second);
        port->name = name;
      } else if (key == "monitor") {
        monitors.push_back(name);
      } else if (key == "processor") {
        processors.push_back(name);
      } else if (key == "held") {
        held.insert(name);
      } else if (key == "form") {
        const auto f = Fields(value);
        if (f.size() != 8) continue;
        forms.push_back(UserForm{Unescape(f[0]), ParseDword(f[1]),
                                 SIZEL{ParseLong(f[2]), ParseLong(f[3])},
                                 RECTL{ParseLong(f[4]), ParseLong(f[5]), ParseLong(f[6]), ParseLong(f[7])}});
      } else if (key == "driver") {
        driver = &drivers[Folded(name)];
        *driver = plat::spooler::DriverInfo{};
        driver->name = name;
      } else if (key == "printer") {
        auto old = FindPrinter(s, name);
        printer = old ? old : std::make_shared<Printer>();
        printer->name = name;
        printer->data.clear();
        printer->dataIndex.clear();
        printer->defaultPriority = 1;
        printer->startTime = printer->untilTime = 0;
        printer->comment.clear();
        printer->location.clear();
        printer->sepFile.clear();
        printer->parameters.clear();
        printer->keyed.clear();
        printer->driver = plat::spooler::DriverInfo{};
        printers[Folded(name)] = printer;
      }
    } else if (port) {
      if (key == "monitor") port->monitor = Unescape(value);
      else if (key == "tcp") {
        const auto f = Fields(value);
        if (f.size() != 10) continue;
        port->hostAddress = Unescape(f[0]);
        port->ipAddress = Unescape(f[1]);
        port->queue = Unescape(f[2]);
        port->community = Unescape(f[3]);
        port->version = ParseDword(f[4]);
        port->protocol = ParseDword(f[5]);
        port->portNumber = ParseDword(f[6]);
        port->doubleSpool = ParseDword(f[7]);
        port->snmpEnabled = ParseDword(f[8]);
        port->snmpIndex = ParseDword(f[9]);
      }
    } else if (driver) {
      ReadDriverField(*driver, key, value);
    } else if (printer) {
      if (indent >= 4) ReadDriverField(printer->driver, key, value);
      else if (key == "port") printer->port = Unescape(value);
      else if (key == "processor") printer->processor = Unescape(value);
      else if (key == "datatype") printer->datatype = Unescape(value);
      else if (key == "attributes") printer->attributes = ParseDword(value);
      else if (key == "priority") printer->priority = ParseDword(value);
      else if (key == "default-priority") printer->defaultPriority = ParseDword(value);
      else if (key == "start-time") printer->startTime = ParseDword(value);
      else if (key == "until-time") printer->untilTime = ParseDword(value);
      else if (key == "comment") printer->comment = Unescape(value);
      else if (key == "location") printer->location = Unescape(value);
      else if (key == "sep-file") printer->sepFile = Unescape(value);
      else if (key == "parameters") printer->parameters = Unescape(value);
      else if (key == "devmode") {
        // A DEVMODE shorter than its size fields say (a damaged file) is dropped: the printer has none.
        std::vector<BYTE> dm = Unhex(value);
        size_t length = 0;
        if (!dm.empty() && DevmodeLength(dm.data(), dm.size(), length)) dm.resize(length);
        else dm.clear();
        printer->devmode = std::move(dm);
      }
      else if (key == "driver") printer->driver.name = Unescape(value);
      else if (key == "data") {
        const size_t t1 = value.find('\t'), t2 = value.find('\t', t1 + 1);
        if (t1 == std::string_view::npos || t2 == std::string_view::npos) continue;
        SetDataEntry(*printer, Unescape(value.substr(0, t1)),
                     ParseDword(value.substr(t1 + 1, t2 - t1 - 1)),
                     Unhex(value.substr(t2 + 1)));
      } else if (key == "keyed") {
        const size_t t1 = value.find('\t'), t2 = value.find('\t', t1 + 1);
        if (t1 == std::string_view::npos || t2 == std::string_view::npos) continue;
        DataEntry entry;
        entry.name = Unescape(value.substr(0, t1));
        entry.type = ParseDword(value.substr(t1 + 1, t2 - t1 - 1));
        entry.bytes = Unhex(value.substr(t2 + 1));
        printer->keyed[Folded(entry.name)] = entry;
      }
    }
  }
  for (auto& [key, p] : s.printers)
    if (!printers.count(key)) p->removed = true;
  s.ports = std::move(ports);
  s.processors = std::move(processors);
  s.monitors = std::move(monitors);
  s.drivers = std::move(drivers);
  s.heldDrivers = std::move(held);
  s.forms = std::move(forms);
  s.printers = std::move(printers);
}

}  // namespace

namespace plat::spool {

SplLock::SplLock(Spooler& s, bool takeUp) : s_(s), lock_(s.mutex) {
  if (takeUp) TakeUp();
}
void SplLock::TakeUp() {
  if (takenUp_) return;
  takenUp_ = true;
  persistent_ = Persistent();
  if (!persistent_) return;
  const std::string stamp = StateStamp();
  if (stamp != s_.stateStamp) {
    Apply(s_, plat::state::Read(kStateFile));
    s_.stateStamp = StateStamp();
  }
}
SplLock::~SplLock() {
  if (!persistent_ || !changed_) return;
  plat::state::Update(kStateFile, [text = Serialise(s_)](std::string& stored) { stored = text; });
  s_.stateStamp = StateStamp();
}

}  // namespace plat::spool

namespace plat::spooler {

std::string StateText() {
  auto& s = Spl();
  SplLock lock(s);
  return Serialise(s);
}

}  // namespace plat::spooler
