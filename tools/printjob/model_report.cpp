#include "printjob/model_report.h"

#include <cstdio>

#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/rdf_reader.h"

bool ReportModelLoadFault(const std::u16string& dataFile, const std::u16string& model,
                          const std::u16string& resourceFile) {
  ModelCaps* caps = AllocModelCaps();
  if (!caps) return false;
  caps->DataFile = DuplicateText(dataFile);
  caps->ModelName = DuplicateText(model);
  HMODULE resources = LoadLibraryW(resourceFile.c_str());
  RdfLoadReport report;
  const bool failed = caps->DataFile && caps->ModelName && LoadRdf(resources, caps, &report) != 1;
  if (resources) FreeLibrary(resources);
  FreeModelCaps(caps, true);
  GlobalFree(caps);
  if (failed) std::fprintf(stderr, "printjob: %s\n", plat::utf8(RdfLoadMessage(report)).c_str());
  return failed;
}
