// A printer of the two-drum sample model for the fuzz targets that read what
// the spooler stores or an application hands over: made once per process
// in the target's machine root and initialised through classicui.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "fuzz_machine.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/printer_setup.h"

// A target that opens the printer's sheets through the spooler defines this
// true before including: classicui is then the printer's configuration file.
#ifndef FUZZ_PRINTER_SHEETS
#define FUZZ_PRINTER_SHEETS false
#endif

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
                                 CLASSICUI_PATH_STR, FUZZ_PRINTER_SHEETS},
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

// The printer's "DefaultDevmode" as the spooler stores it.
inline const std::vector<BYTE>& DefaultDevmode() {
  static const std::vector<BYTE> stored = [] {
    Printer();
    auto value = plat::spooler::GetData(kPrinterName, u"DefaultDevmode");
    if (!value || value->bytes.size() < sizeof(DEVMODEW)) std::abort();
    return value->bytes;
  }();
  return stored;
}

}  // namespace fuzzsupport
