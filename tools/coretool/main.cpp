// coretool: plays the core printer driver's UI side against a UI plug-in, on
// a printer of a sample model.
//
//   coretool [--model FILE.RDF] [--resources FILE] [--root DIR] [--ui LIB] [--trace] COMMAND
//     ids                                   the class and interface ids
//     default --out PART [--set NAME=VALUE]..   OEMDM_SIZE, OEMDM_DEFAULT, then settings fields
//     convert IN OUT --out PART             OEMDM_CONVERT of part IN over part OUT
//     merge IN OUT --out PART               OEMDM_MERGE of part IN over part OUT
//     caps N [--part PART]                  DeviceCapabilities index N
//     to-ticket --part PART [--base XML] --out XML   the provider writes PART into BASE
//                                           (or the core's own ticket)
//     from-ticket XML --part PART --out PART   the provider reads XML into PART
//
// PART files are the plug-in's 3248-byte devmode part. Each plug-in call's
// HRESULT is printed; --trace adds the debugger output. Exit 0, 2 for a
// usage error, 3 when a step fails.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plat/com.h"
#include "plat/core.h"
#include "plat/oem.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "printjob/printer_setup.h"
#include "printjob/settings_options.h"
#include "plugincommon/ids.h"
#include "settings/caps_store.h"
#include "settings/private_devmode.h"

namespace fs = std::filesystem;

namespace {

constexpr const char16_t* kPrinterName = u"Duplicator";
constexpr const char16_t* kPortName = u"LPT1:";
constexpr std::size_t kPartBytes = 3248;
constexpr std::size_t kSettingsOffset = 284;

struct Options {
  fs::path model, resources, root, ui;
  bool trace = false;
  std::vector<std::string> words;  // the command and its operands
  std::string out, part, base;
  std::vector<std::string> sets;
};

int Usage(const std::string& why) {
  if (!why.empty()) std::fprintf(stderr, "coretool: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: coretool [--model FILE.RDF] [--resources FILE] [--root DIR] [--ui LIB] [--trace] COMMAND\n"
               "  ids | default --out PART [--set NAME=VALUE].. | convert IN OUT --out PART |\n"
               "  merge IN OUT --out PART | caps N [--part PART] |\n"
               "  to-ticket --part PART [--base XML] --out XML | from-ticket XML --part PART --out PART\n");
  return 2;
}

std::string Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    std::string v;
    if (a == "--trace") {
      o.trace = true;
    } else if (a == "--model" || a == "--resources" || a == "--root" || a == "--ui" || a == "--out" || a == "--part" ||
               a == "--set" || a == "--base") {
      if (!value(v)) return a + " needs a value";
      if (a == "--model") o.model = v;
      if (a == "--resources") o.resources = v;
      if (a == "--root") o.root = v;
      if (a == "--ui") o.ui = v;
      if (a == "--out") o.out = v;
      if (a == "--part") o.part = v;
      if (a == "--set") o.sets.push_back(v);
      if (a == "--base") o.base = v;
    } else if (a.rfind("--", 0) == 0) {
      return "unknown option " + a;
    } else {
      o.words.push_back(a);
    }
  }
  if (o.words.empty()) return "no command";
  const std::string& c = o.words[0];
  const std::size_t operands = o.words.size() - 1;
  if (c == "ids" && operands == 0) return "";
  if (c == "default" && operands == 0 && !o.out.empty()) return "";
  if ((c == "convert" || c == "merge") && operands == 2 && !o.out.empty()) return "";
  if (c == "caps" && operands == 1) return "";
  if (c == "to-ticket" && operands == 0 && !o.part.empty() && !o.out.empty()) return "";
  if (c == "from-ticket" && operands == 1 && !o.part.empty() && !o.out.empty()) return "";
  return "bad command line for " + c;
}

std::string Guid(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

bool ReadPart(const std::string& path, std::vector<BYTE>& part, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    why = "cannot read " + path;
    return false;
  }
  part.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (part.size() != kPartBytes) {
    why = path + " is not a " + std::to_string(kPartBytes) + "-byte part";
    return false;
  }
  return true;
}

bool ReadText(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

// Written whole through a temporary beside it, so no half-written file is left.
bool WriteFile(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return false;
  }
  std::error_code ec;
  fs::rename(temp, path, ec);
  return !ec;
}

bool WritePart(const std::string& path, const std::vector<BYTE>& part) {
  return WriteFile(path, std::string_view(reinterpret_cast<const char*>(part.data()), part.size()));
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "coretool: %s\n", why.c_str());
  return 3;
}

void Report(const char* step, HRESULT hr) { std::printf("%s 0x%08X\n", step, static_cast<unsigned>(hr)); }

int Run(const Options& o, HANDLE printer, plat::core::UiPlugin& plugin) {
  const std::string& command = o.words[0];
  Report("PublishDriverInterface", plugin.Publish());
  std::string why;
  if (command == "default") {
    DWORD size = 0;
    HRESULT hr = plugin.PartSize(&size);
    Report("OEMDM_SIZE", hr);
    if (FAILED(hr) || size != kPartBytes) return Fail("the plug-in asks for a part of " + std::to_string(size) + " bytes");
    std::vector<BYTE> part(size);
    hr = plugin.DefaultPart(printer, part);
    Report("OEMDM_DEFAULT", hr);
    if (FAILED(hr)) return 3;
    std::span<BYTE> settings(part.data() + kSettingsOffset, sizeof(DocSettings));
    for (const std::string& set : o.sets) {
      const std::size_t eq = set.find('=');
      if (eq == std::string::npos) return Usage("--set wants NAME=VALUE");
      why = printjob::SetDocSetting(settings, set.substr(0, eq), set.substr(eq + 1));
      if (!why.empty()) return Usage(why);
    }
    return WritePart(o.out, part) ? 0 : Fail("cannot write " + o.out);
  }
  if (command == "convert" || command == "merge") {
    std::vector<BYTE> in, out;
    if (!ReadPart(o.words[1], in, why) || !ReadPart(o.words[2], out, why)) return Usage(why);
    DEVMODEW pub{};
    pub.dmSize = plat::core::kPublicBytes;
    pub.dmDriverExtra = kPartBytes;
    const bool merge = command == "merge";
    const HRESULT hr = plugin.ConvertPart(printer, in, out, &pub, merge);
    Report(merge ? "OEMDM_MERGE" : "OEMDM_CONVERT", hr);
    if (FAILED(hr)) return 3;
    return WritePart(o.out, out) ? 0 : Fail("cannot write " + o.out);
  }
  if (command == "caps") {
    char* end = nullptr;
    const unsigned long index = std::strtoul(o.words[1].c_str(), &end, 10);
    if (*end != 0 || index > 0xFFFF) return Usage("caps wants an index 0-65535");
    std::vector<BYTE> part;
    DEVMODEW pub{};
    if (!o.part.empty()) {
      if (!ReadPart(o.part, part, why)) return Usage(why);
      // The core's public part: the printer's default one.
      auto stored = plat::spooler::GetData(kPrinterName, kValueDefaultDevmode);
      if (stored && stored->bytes.size() >= sizeof pub) std::memcpy(&pub, stored->bytes.data(), sizeof pub);
      pub.dmSize = plat::core::kPublicBytes;
      pub.dmDriverExtra = kPartBytes;
    }
    std::vector<BYTE> output(64 * 1024);
    DWORD result = 0;
    const HRESULT hr = plugin.Capabilities(printer, kPrinterName, static_cast<WORD>(index), output.data(),
                                           o.part.empty() ? nullptr : &pub, o.part.empty() ? nullptr : &part, &result);
    Report("DeviceCapabilities", hr);
    if (FAILED(hr)) return 3;
    std::printf("result %u\n", static_cast<unsigned>(result));
    return 0;
  }
  if (command == "to-ticket" || command == "from-ticket") {
    std::vector<BYTE> part;
    if (!ReadPart(o.part, part, why)) return Usage(why);
    auto provider = plat::core::TicketProvider::Load(plat::u16(o.ui.string()), CLSID_OEMPTPROVIDER, printer, &why);
    if (!provider) return Fail(why);
    if (command == "to-ticket") {
      std::string base = plat::core::DefaultTicket();
      if (!o.base.empty() && !ReadText(o.base, base)) return Usage("cannot read " + o.base);
      std::string xml;
      const HRESULT hr = provider->ToTicket(base, part, &xml);
      Report("ConvertDevModeToPrintTicket", hr);
      if (FAILED(hr)) return 3;
      return WriteFile(o.out, xml) ? 0 : Fail("cannot write " + o.out);
    }
    std::string xml;
    if (!ReadText(o.words[1], xml)) return Usage("cannot read " + o.words[1]);
    const HRESULT hr = provider->FromTicket(xml, part);
    Report("ConvertPrintTicketToDevMode", hr);
    if (FAILED(hr)) return 3;
    return WritePart(o.out, part) ? 0 : Fail("cannot write " + o.out);
  }
  return Usage("unknown command " + command);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string why = Parse(argc, argv, o);
  if (!why.empty()) return Usage(why);
  if (o.words[0] == "ids") {
    const struct {
      const char* name;
      const GUID* id;
    } ids[] = {{"CLSID_OEMRENDER", &CLSID_OEMRENDER},
               {"CLSID_OEMUI", &CLSID_OEMUI},
               {"CLSID_OEMPTPROVIDER", &CLSID_OEMPTPROVIDER},
               {"IID_IUnknown", &IID_IUnknown},
               {"IID_IClassFactory", &IID_IClassFactory},
               {"IID_IPrintOemUni2", &IID_IPrintOemUni2},
               {"IID_IPrintOemDriverUni", &IID_IPrintOemDriverUni},
               {"IID_IPrintOemUI2", &IID_IPrintOemUI2},
               {"IID_IPrintCoreHelper", &IID_IPrintCoreHelper},
               {"IID_IPrintCoreHelperUni", &IID_IPrintCoreHelperUni},
               {"IID_IPrintOemPrintTicketProvider", &IID_IPrintOemPrintTicketProvider}};
    for (const auto& id : ids) std::printf("%s %s\n", id.name, Guid(*id.id).c_str());
    return 0;
  }
  const fs::path bin = printjob::ExecutableFolder(argv[0]);
  if (o.model.empty()) o.model = printjob::SampleDataFolder(bin) / "models" / "NEVO2600.RDF";
  if (o.resources.empty()) o.resources = printjob::SampleDataFolder(bin) / "resources" / "NEVORES.DLL";
  if (o.ui.empty()) o.ui = bin.parent_path() / "lib" / (std::string("pluginui") + std::to_string(sizeof(void*) * 8) + ".so");
  const fs::path core = bin.parent_path() / "lib" / "coredrvui.so";

  fs::path tempRoot;
  if (o.root.empty()) {
    std::random_device rd;
    std::error_code ec;
    tempRoot = fs::temp_directory_path(ec) / ("coretool-" + std::to_string(rd()));
    o.root = tempRoot;
  }
  printjob::TempRoot cleanup(tempRoot);
  why = printjob::SetUpMachine(o.root);
  if (!why.empty()) return Usage(why);
  // A printer of the core driver with the plug-in, initialised through the plug-in's printer event.
  why = printjob::SetUpPrinter({o.model, o.resources, o.ui, true, core}, kPrinterName, kPortName);
  if (!why.empty()) return Fail(why);  // the plug-in (or the model) cannot be used

  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(kPrinterName, &printer, &access)) return Usage("cannot open the printer");
  int rc = 3;
  {
    auto plugin = plat::core::UiPlugin::Load(plat::u16(o.ui.string()), CLSID_OEMUI, &why);
    if (!plugin) {
      Fail(why);
    } else {
      plat::com::ClearDebugOutput();
      rc = Run(o, printer, *plugin);
    }
  }
  ClosePrinter(printer);
  if (o.trace) std::fputs(plat::com::DebugOutput().c_str(), stdout);
  return rc;
}
