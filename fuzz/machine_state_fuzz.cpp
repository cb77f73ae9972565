// libFuzzer target: the machine root's state files (ROOT/.machine/state) as
// the platform takes them up: the spooler's model, the USB devices, the
// network, the pending file operations and the profile. The first byte picks
// the file, the rest is its text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_printer.h"
#include "plat/devices.h"
#include "plat/files.h"
#include "plat/net.h"

namespace {

std::string StatePath(const std::string& name) { return plat::machine::Root() + "/.machine/state/" + name; }

std::string Read(const std::string& name) {
  std::ifstream in(StatePath(name), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const std::string& name, const std::uint8_t* data, std::size_t size) {
  if (!fuzzsupport::PutHostFile(StatePath(name), data, size)) std::abort();
}
void Put(const std::string& name, const std::string& text) {
  Put(name, reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
}

// The machine with a printer, its state kept in its root; the profile as it was.
const std::string& GoodProfile() {
  static const std::string profile = [] {
    // A root that keeps its state (it has a profile), the spooler's model written there.
    fuzzsupport::Machine();
    if (!plat::machine::SaveProfile()) std::abort();
    (void)fuzzsupport::Printer();
    if (Read("spooler").empty()) std::abort();
    return Read("profile");
  }();
  return profile;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& profile = GoodProfile();
  if (size < 1) return 0;
  const std::uint8_t which = data[0] % 5;
  ++data;
  --size;
  switch (which) {
    case 0: {
      const std::string kept = Read("spooler");
      Put("spooler", data, size);
      DWORD needed = 0, count = 0;
      (void)EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
      if (needed != 0 && needed < (1u << 24)) {
        std::vector<std::uint64_t> buffer(needed / 8 + 1);
        (void)EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, reinterpret_cast<LPBYTE>(buffer.data()), needed, &needed,
                            &count);
      }
      (void)plat::spooler::StateText();
      // The fuzz printer comes back for the next input.
      Put("spooler", kept);
      (void)plat::spooler::StateText();
      break;
    }
    case 1:
      Put("devices", data, size);
      (void)plat::devices::UsbPrinters();
      (void)plat::devices::OpenNewHardwareWindows();
      break;
    case 2: {
      Put("net", data, size);
      ULONG base = 0;
      int prefix = 0;
      (void)plat::net::MachineSubnet(base, prefix);
      (void)plat::net::MachineAgents();
      break;
    }
    case 3:
      Put("pending-file-operations", data, size);
      (void)plat::files::PendingOperations();
      break;
    default:
      Put("profile", data, size);
      plat::machine::SetRoot(fuzzsupport::Machine().string());
      Put("profile", profile);
      plat::machine::SetRoot(fuzzsupport::Machine().string());
      break;
  }
  return 0;
}
