// A printer of a sample model, initialised as the printer event does, for the
// plug-in tests; and plug-in parts as byte vectors.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "plugincommon/plugin_devmode.h"
#include "settings/printer_interface.h"
#include "settings/rdf_fixture.h"

namespace plugintest {

using Part = std::vector<BYTE>;

inline Part PartWithHeader(DWORD size, DWORD signature, DWORD version, BYTE fill = 0) {
  Part p(oemdm::kSize, fill);
  oemdm::WriteHeader(p.data(), {size, signature, version});
  return p;
}

class PluginPrinterTest : public rdftest::RdfTest {
 protected:
  void Initialise(const rdftest::Model& m = rdftest::kTwoDrum) {
    AddPrinter(m, rdftest::SampleText(m));
    ASSERT_EQ(printer_interface::DrvPrinterEvent(rdftest::kPrinter.c_str(), PRINTER_EVENT_INITIALIZE, 0, 0), TRUE);
    Open();
  }
  void Open() {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(rdftest::kPrinter.c_str(), &printer_, &defaults));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    rdftest::RdfTest::TearDown();
  }
  // The private part of the printer's "DefaultDevmode" (3236 bytes).
  Part StoredPrivateBlock() const {
    auto v = plat::spooler::GetData(rdftest::kPrinter, kValueDefaultDevmode);
    if (!v || v->bytes.size() < kPrivateDevmodeSize) return {};
    return Part(v->bytes.begin() + kPublicDevmodeSize, v->bytes.begin() + kPrivateDevmodeSize);
  }
  Part DefaultPart() const {
    Part p(oemdm::kSize);
    OemDefaultDevmode(p.data(), printer_);
    return p;
  }

  HANDLE printer_ = nullptr;
};

}  // namespace plugintest
