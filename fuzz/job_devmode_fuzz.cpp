// libFuzzer target: an application's DEVMODE through classicrender's
// DrvEnablePDEV and a whole one-page job run by the print host, on a printer
// of the two-drum sample model. The first byte picks where the job goes:
//   0  the spooler; the rest is the application's DEVMODE as it stands
//   1  the preview file, 2 a storage job on removable drive E: (folder),
//   3  likewise (automatic folder); the rest is laid over the printer's
//      default DEVMODE (its storage drive E:\, folder 2), so that a short
//      input reaches the private part, and the output fields are set for the
//      route where the DEVMODE holds them
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "device/usb_job_folders.h"
#include "fuzz_printer.h"
#include "plat/engine.h"
#include "plat/print_host.h"
#include "settings/private_devmode.h"

namespace {

template <typename T>
void PutAt(std::vector<BYTE>& devmode, std::size_t offset, const T& value) {
  if (offset + sizeof value <= devmode.size()) std::memcpy(devmode.data() + offset, &value, sizeof value);
}

// Empties the folders a preview or storage job writes to and makes the
// stick's job folder tree anew, so runs stay alike.
void ResetJobFolders() {
  std::error_code ec;
  for (const char16_t* folder : {u"E:\\", u"C:\\TEMP\\"}) {
    const std::string host = plat::machine::HostPath(folder);
    if (host.empty()) continue;
    for (const auto& entry : std::filesystem::directory_iterator(host, ec)) std::filesystem::remove_all(entry, ec);
  }
  (void)CreateJobFolderTree(u"E:\\");
}

plat::print_host::Driver& Render() {
  static const std::unique_ptr<plat::print_host::Driver> driver = [] {
    DWORD error = 0;
    auto d = plat::print_host::Driver::Load(plat::u16(std::string(LIB_DIR_STR) + "/classicrender.so"), &error);
    if (!d) std::abort();
    plat::machine::AddDrive(plat::machine::Drive{u'E', DRIVE_REMOVABLE, u"FAT32", u"STICK", 0});
    ResetJobFolders();
    return d;
  }();
  return *driver;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzzsupport::FuzzPrinter& printer = fuzzsupport::Printer();
  plat::print_host::Driver& driver = Render();
  if (size < 1) return 0;
  const int route = data[0] % 4;
  ++data;
  --size;
  std::vector<BYTE> devmode;
  if (route == 0) {
    devmode.assign(data, data + size);
  } else {
    devmode = fuzzsupport::DefaultDevmode();
    if (devmode.size() < sizeof(PrivateDevmode)) std::abort();
    if (route != 1) {
      // The job goes to folder 2 of the stick unless the input says otherwise.
      auto& settings = reinterpret_cast<PrivateDevmode*>(devmode.data())->Settings;
      std::memcpy(settings.UsbDrive, u"E:\\", sizeof u"E:\\");
      settings.UsbFolder = 2;
    }
    if (size > devmode.size()) devmode.resize(size);
    std::memcpy(devmode.data(), data, size);
  }
  // The engine hands the driver a DEVMODE whose buffer holds what its size fields say.
  constexpr std::size_t kSizeFields = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (devmode.size() < kSizeFields) return 0;
  const std::size_t own =
      std::size_t(devmode[offsetof(DEVMODEW, dmSize)] | devmode[offsetof(DEVMODEW, dmSize) + 1] << 8) +
      std::size_t(devmode[offsetof(DEVMODEW, dmDriverExtra)] | devmode[offsetof(DEVMODEW, dmDriverExtra) + 1] << 8);
  if (own < kSizeFields || own > devmode.size()) return 0;
  devmode.resize(own);
  if (route != 0) {
    constexpr std::size_t settings = offsetof(PrivateDevmode, Settings);
    PutAt(devmode, settings + offsetof(DocSettings, Preview), std::uint8_t(route == 1 ? 1 : 0));
    if (route != 1)
      PutAt(devmode, settings + offsetof(DocSettings, OutputMode),
            static_cast<std::uint8_t>(route == 2 ? OutputMode::StorageFolder : OutputMode::StorageAutomatic));
  }

  plat::print_host::Job job;
  job.printer = printer.handle;
  job.deviceName = fuzzsupport::kPrinterName;
  job.port = u"LPT1:";
  job.devmode = std::move(devmode);
  job.documentName = u"C:\\docs\\fuzz.txt";
  job.drawPage = [](const plat::print_host::PageContext& page) {
    // A bar across the page's corner: bit 0 is ink on the plane.
    (void)plat::engine::FillRect(page.surface, RECTL{10, 10, 200, 40}, 0);
    return true;
  };
  (void)plat::print_host::RunJob(driver, job);
  plat::spooler::ClearOutput(fuzzsupport::kPrinterName);
  ResetJobFolders();
  return 0;
}
