// A real SNMP agent for tests and benches: Debian's snmpd, started by
// scripts/snmp-agent in a folder of the caller's, stopped with the object.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/run_command.h"

namespace testsupport {

class SnmpAgent {
 public:
  // values: one line per variable, "OID TYPE VALUE" (TYPE integer or
  // octet_str), written to the folder's file "values"; address: a loopback
  // address, 127.0.0.1 when empty. The folder is made when missing.
  SnmpAgent(const std::filesystem::path& dir, const std::string& values, const std::string& address = {})
      : dir_(dir.string()) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    const std::string file = (dir / "values").string();
    std::ofstream(file, std::ios::binary | std::ios::trunc) << values;
    std::string command = "start '" + dir_ + "' '" + file + "'";
    if (!address.empty()) command += " " + address;
    status_ = Script(command, &out_);
    if (status_ == 0) port_ = std::atoi(out_.c_str());
  }
  ~SnmpAgent() {
    std::string ignored;
    if (status_ == 0) Script("stop '" + dir_ + "'", &ignored);
  }
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  bool Missing() const { return status_ == 77; }  // snmpd is not installed
  bool Running() const { return status_ == 0; }
  // The script's exit status, and what it printed (the port, or why it failed).
  int status() const { return status_; }
  const std::string& output() const { return out_; }
  int port() const { return port_; }

 private:
  static int Script(const std::string& arguments, std::string* out) {
    return RunCommand("bash " PROJECT_SOURCE_DIR_STR "/scripts/snmp-agent " + arguments + " 2>&1", out);
  }
  std::string dir_;
  int status_ = -1;
  int port_ = 0;
  std::string out_;
};

// The values a network search reads: the system's description and name and
// the first interface's hardware address (mac as snmpd takes it: 0x... or "").
inline std::string SystemValues(const std::string& description, const std::string& name, const std::string& mac) {
  return ".1.3.6.1.2.1.1.1.0 octet_str \"" + description + "\"\n.1.3.6.1.2.1.1.5.0 octet_str \"" + name +
         "\"\n.1.3.6.1.2.1.2.2.1.6.1 octet_str " + mac + "\n";
}

}  // namespace testsupport
