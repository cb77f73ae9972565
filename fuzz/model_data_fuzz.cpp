// libFuzzer target: the model data file, loaded for the model of the first
// sample's section as printer initialisation loads it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_machine.h"
#include "plat/profile.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/rdf_reader.h"

namespace {
constexpr char16_t kDataFile[] = u"C:\\DRIVERS\\NEVO.RDF";
constexpr char16_t kResourceDll[] = u"C:\\DRIVERS\\NEVORES.DLL";

HMODULE Resources() {
  static HMODULE module = [] {
    std::ifstream in(PROJECT_SOURCE_DIR_STR "/data/resources/NEVORES.DLL", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fuzzsupport::PutFile(kResourceDll, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return LoadLibraryW(kResourceDll);
  }();
  return module;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  HMODULE resources = Resources();
  if (!fuzzsupport::PutFile(kDataFile, data, size)) return 0;
  // The sample models' sections; the corpus holds both files.
  for (const char16_t* model : {u"NEVO RP2600", u"NEVO RP1100"}) {
    ModelCaps* caps = AllocModelCaps();
    if (!caps) return 0;
    caps->DataFile = DuplicateText(kDataFile);
    caps->ModelName = DuplicateText(model);
    caps->PrinterName = DuplicateText(u"Fuzz");
    caps->ResourceDll = DuplicateText(kResourceDll);
    RdfLoadReport report;
    (void)LoadRdf(resources, caps, &report);
    (void)RdfLoadMessage(report);
    FreeModelCaps(caps, true);
    GlobalFree(caps);
  }
  return 0;
}
