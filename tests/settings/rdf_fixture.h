// Sample model data files and the drivers' resource library placed on the
// machine model's C: drive, and a printer that uses them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "settings/caps_store.h"
#include "settings/model_fixture.h"
#include "settings/model_caps.h"
#include "settings/rdf_reader.h"
#include "support/test_printer.h"

namespace rdftest {

inline const std::u16string kDriverFolder = u"C:\\DRIVERS\\";
inline const std::u16string kResourceDll = u"C:\\DRIVERS\\NEVORES.DLL";
inline const std::u16string kPrinter = u"Duplicator RP";

struct Model {
  const char* file;         // in data/models
  const char16_t* name;     // the model section, also the driver's name
};
inline constexpr Model kTwoDrum{"NEVO2600.RDF", u"NEVO RP2600"};
inline constexpr Model kOneDrum{"NEVO1100.RDF", u"NEVO RP1100"};

inline std::string ReadHostFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string SampleText(const Model& m) { return ReadHostFile(std::string(MODELS_DIR_STR) + "/" + m.file); }

// Writes bytes to a Windows path of the machine model.
inline void PutFile(const std::u16string& windowsPath, const std::string& bytes) {
  const std::string host = plat::machine::HostPath(windowsPath);
  ASSERT_FALSE(host.empty());
  std::filesystem::create_directories(std::filesystem::path(host).parent_path());
  std::ofstream(host, std::ios::binary | std::ios::trunc) << bytes;
}

// Text edits of a model file: the line "key=..." (first match at a line start)
// replaced, or removed when the replacement is empty.
inline std::string WithLine(std::string text, const std::string& key, const std::string& line) {
  const std::string needle = "\n" + key + "=";
  const std::size_t at = text.find(needle);
  EXPECT_NE(at, std::string::npos) << key;
  if (at == std::string::npos) return text;
  const std::size_t end = text.find('\n', at + 1);
  text.replace(at + 1, end - at, line.empty() ? std::string() : line + "\n");
  return text;
}

using fixture::CapsPtr;

// The machine, spooler and resource modules reset, the resource library on
// C:, and the sample models beside it.
class RdfTest : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::machine::Reset();
    plat::spooler::Reset();
    plat::registry::Reset();
    plat::resources::Reset();
    plat::ui::ResetMessageBoxes();
    plat::profile::DropCache();
    PutFile(kResourceDll, ReadHostFile(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL"));
    resources_ = LoadLibraryW(kResourceDll.c_str());
    ASSERT_NE(resources_, nullptr);
  }
  void TearDown() override {
    if (resources_) FreeLibrary(resources_);
    plat::resources::Reset();
  }

  // Places text as the data file of model m and loads it.
  CapsPtr Load(const Model& m, const std::string& text, int* result, RdfLoadReport* report = nullptr,
               const std::u16string& fileName = u"") {
    const std::u16string path = kDriverFolder + (fileName.empty() ? plat::u16(m.file) : fileName);
    PutFile(path, text);
    CapsPtr caps(AllocModelCaps());
    caps->DataFile = DuplicateText(path);
    caps->ModelName = DuplicateText(m.name);
    caps->PrinterName = DuplicateText(kPrinter);
    caps->ResourceDll = DuplicateText(kResourceDll);
    *result = LoadRdf(resources_, caps.get(), report);
    return caps;
  }

  // A printer whose driver is model m with its data file on C:.
  void AddPrinter(const Model& m, const std::string& text) {
    const std::u16string path = kDriverFolder + plat::u16(m.file);
    PutFile(path, text);
    ASSERT_TRUE(plat::spooler::AddPrinter(testsupport::PrinterSetupOf(kPrinter, u"LPT1:", m.name,
                                                                      kDriverFolder + u"NEVORENDER.DLL",
                                                                      kDriverFolder + u"CLASSICUI.DLL", path,
                                                                      {kResourceDll, path})));
  }

  HMODULE resources_ = nullptr;
};

}  // namespace rdftest
