#include "uiplugin/printer_init.h"

#include <memory>

#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/printer_interface.h"
#include "settings/private_devmode.h"
#include "settings/rdf_reader.h"

namespace uiplugin {
namespace {

struct GlobalDeleter {
  void operator()(void* p) const { GlobalFree(p); }
};

bool IsModelDataFile(std::u16string_view name) {
  return name.size() >= 4 && (name.ends_with(u".RDF") || name.ends_with(u".rdf"));
}

}  // namespace

std::optional<ModelFiles> FindModelFiles(const WCHAR* dependent) {
  for (const WCHAR* entry = dependent; entry && *entry; entry += plat::view(entry).size() + 1) {
    if (!IsModelDataFile(plat::view(entry))) continue;
    const WCHAR* next = entry + plat::view(entry).size() + 1;
    if (!*next) return std::nullopt;
    return ModelFiles{entry, next};
  }
  return std::nullopt;
}

BOOL HandlePrinterInitialize(const WCHAR* printerName, int event, DWORD, LPARAM) {
  if (event != PRINTER_EVENT_INITIALIZE) return event == PRINTER_EVENT_DELETE ? TRUE : FALSE;
  std::unique_ptr<DRIVER_INFO_3W, GlobalDeleter> driver(printer_interface::GetDriverInfo3(printerName));
  if (!driver) return FALSE;
  const auto files = FindModelFiles(driver->pDependentFiles);
  if (!files) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  ModelCaps* caps = AllocModelCaps();
  if (!caps) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  // The texts belong to the driver information, not to caps.
  caps->ModelName = driver->pName;
  caps->PrinterName = driver->pName;
  caps->DataFile = const_cast<WCHAR*>(files->dataFile);
  caps->ResourceDll = const_cast<WCHAR*>(files->resourceDll);
  HMODULE resources = LoadLibraryW(files->resourceDll);
  RdfLoadReport report;
  const int loaded = LoadRdf(resources, caps, &report);
  if (resources) FreeLibrary(resources);
  // A model that did not load whole is not stored, as the classic driver does.
  DWORD error = ERROR_SUCCESS;
  if (loaded != 1) {
    error = report.fault == RdfFault::NoMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_BAD_FORMAT;
  } else {
    caps->PrinterName = const_cast<WCHAR*>(printerName);
    if (StoreCapsAsPrinterData(caps, Generation::Plugin) != 1) error = ERROR_INVALID_PRINTER_NAME;
    caps->PrinterName = driver->pName;
    if (error == ERROR_SUCCESS) {
      if (PrivateDevmode* dm = BuildDefaultDevmode(nullptr, *caps, Generation::Plugin)) {
        WriteDefaultDevmode(printerName, &dm->Public);
        GlobalFree(dm);
      }
    }
  }
  FreeModelCaps(caps, false);
  GlobalFree(caps);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

}  // namespace uiplugin
