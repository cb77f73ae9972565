// libFuzzer target: the job-folder control file ("NEVOFOLDER") on a USB
// memory drive, and the check of the tree around it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/usb_job_folders.h"
#include "fuzz_machine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::u16string control = [] {
    fuzzsupport::Machine();
    const std::u16string folder = JobTreeControlFolder(u"C:\\");
    const auto counter = JobCounterFileImage(7);
    fuzzsupport::PutFile(folder + u"\\NEVOJOB", counter.data(), counter.size());
    return folder;
  }();
  if (!fuzzsupport::PutFile(control + u"\\NEVOFOLDER", data, size)) return 0;
  std::array<JobFolderRecord, kJobFolderCount> records{};
  if (ReadJobFolderFile(control.c_str(), records) == 1) {
    for (const auto& record : records) {
      bool terminated = false;
      for (auto c : record.name) terminated = terminated || c == 0;
      if (!terminated) __builtin_trap();
    }
  }
  (void)CheckJobFolderTree(u"C:\\", FALSE);
  return 0;
}
