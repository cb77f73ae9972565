// A printer of the two-drum sample model for the fuzz targets that read what
// the spooler stores or an application hands over: made once per process
// in the target's machine root and initialised through classicui.
#pragma once

#include <cstdlib>
#include <filesystem>

#include "fuzz_machine.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/printer_setup.h"

namespace fuzzsupport {

inline constexpr char16_t kPrinterName[] = u"Fuzz Duplicator";

struct FuzzPrinter {
  HANDLE handle = nullptr;  // open for the process, with every access
  HMODULE ui = nullptr;     // classicui
};

inline const FuzzPrinter& Printer() {
  static const FuzzPrinter printer = [] {
    FuzzPrinter p;
    const std::filesystem::path source(PROJECT_SOURCE_DIR_STR);
    if (!printjob::SetUpMachine(Machine()).empty() ||
        !printjob::SetUpPrinter({source / "data/models/NEVO2600.RDF", source / "data/resources/NEVORES.DLL",
                                 CLASSICUI_PATH_STR, false},
                                kPrinterName, u"LPT1:")
             .empty())
      std::abort();
    p.ui = LoadLibraryW(plat::u16(CLASSICUI_PATH_STR).c_str());
    PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!p.ui || !OpenPrinterW(kPrinterName, &p.handle, &administer)) std::abort();
    return p;
  }();
  return printer;
}

}  // namespace fuzzsupport
