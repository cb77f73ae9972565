// The UI plug-in's printer event: at printer initialisation the model data
// file and the resource library are found among the driver's dependent
// files, the model is read and stored as printer data, its extra papers
// registered as spooler forms.
#pragma once

#include <optional>
#include <string_view>

#include "plat/spooler.h"

namespace uiplugin {

// The model data file (the first dependent file ending in ".RDF" or ".rdf",
// no other mix of cases) and the resource library (the entry after it).
// nullopt when no entry qualifies or it is the last one. dependent is a list
// of zero-terminated names ended by an empty one; nothing past it is read.
struct ModelFiles {
  const WCHAR* dataFile;
  const WCHAR* resourceDll;
};
std::optional<ModelFiles> FindModelFiles(const WCHAR* dependent);

// INITIALIZE: TRUE when the model was read and stored; FALSE (with the last
// error) when the driver information or the model files cannot be found or
// the model data file does not load: nothing is stored then. DELETE: TRUE.
// Other events: FALSE.
BOOL HandlePrinterInitialize(const WCHAR* printerName, int event, DWORD flags, LPARAM lParam);

}  // namespace uiplugin
