// sheetrun: opens a printer's property sheet headless and runs a user's
// steps on it. It sets up the machine and a printer of the model as printjob
// does, with classicui as the printer's config file, then opens the document
// sheet, the defaults sheet or the device sheet through the spooler's calls.
//
//   sheetrun [--model FILE.RDF] [--resources NEVORES.DLL] [--ui classicui.so] [--root DIR]
//            [--printer-set NAME=VALUE]... [--set NAME=VALUE]...
//            [--sheet document|defaults|device] [--steps FILE|-] [--out FILE] [--dump-data DIR]
//            [--png DIR] [--plugin [--public FIELD=VALUE]...]
//
// --plugin makes a printer of the core driver (lib/coredrvui.so) with the UI
// plug-in (lib/pluginui64.so, pluginui32.so in a 32-bit build, or --ui) and opens the plug-in's sheets through
// the core. The input DEVMODE is then the core's (public part and plug-in
// part; --set changes the part's settings), --public sets one of its public
// fields (dmPaperSize, dmPaperWidth, dmPaperLength, dmFormName,
// dmDefaultSource, dmOrientation, dmCopies; its dmFields bit follows, and
// the paper bits are those of the paper fields given), --out
// writes the core's DEVMODE, --dump-data also writes DIR/forms.tsv (position,
// name, flags, cx, cy, imageable area) and each option the plug-in set on the
// core is printed as "core option: FEATURE=OPTION".
//
// --printer-set changes a settings field in the printer's "Defaults" and
// "DefaultDevmode"; --set changes it in the input DEVMODE only (a copy of
// "DefaultDevmode" taken after --printer-set). --out writes the output DEVMODE
// after OK; --dump-data writes each printer data value as a file, listed in
// DIR/index.tsv. --png draws what the user sees at each snap step and at the
// end of the steps: DIR/<template>.png for the sheet's shown page and for each
// open dialog (<template>.2.png and so on when a window is drawn again), and
// DIR/<template>-<id>.png for each owner-drawn static as the product drew it.
// The steps are described in script.h.
//
// Prints the sheet's answer, each message box and each file dialog (title,
// filter pairs, flags and the answer). Exit status: 0 done, 1 the
// sheet could not be shown, 2 bad usage, 3 a step or an expectation failed.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "plat/com.h"
#include "plat/core_options.h"
#include "plat/windows.h"
#include "plugincommon/plugin_devmode.h"
#include "printjob/printer_setup.h"
#include "printjob/settings_options.h"
#include "settings/private_devmode.h"
#include "sheetrun/script.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitNoSheet = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;
constexpr char16_t kPrinterName[] = u"NEVO Printer";
constexpr char16_t kPortName[] = u"LPT1:";

struct Options {
  fs::path model;
  fs::path resources;
  fs::path ui;
  fs::path root;
  std::vector<std::pair<std::string, std::string>> printerSets;
  std::vector<std::pair<std::string, std::string>> sets;
  std::string sheet = "document";
  std::string steps;
  fs::path out;
  fs::path dump;
  fs::path png;
  bool plugin = false;
  std::vector<std::pair<std::string, std::string>> publics;
};

int Usage(const std::string& why) {
  std::fprintf(stderr, "sheetrun: %s\n", why.c_str());
  std::fprintf(stderr,
               "usage: sheetrun [--model FILE.RDF] [--resources FILE] [--ui LIB] [--root DIR]\n"
               "                [--printer-set NAME=VALUE]... [--set NAME=VALUE]...\n"
               "                [--sheet document|defaults|device] [--steps FILE|-] [--out FILE] [--dump-data DIR]\n"
               "                [--png DIR] [--plugin [--public FIELD=VALUE]...]\n");
  return kExitUsage;
}

std::string Parse(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") return "help";
    if (a == "--plugin") {
      o.plugin = true;
      continue;
    }
    if (i + 1 >= argc) return a + " needs a value";
    const std::string v = argv[++i];
    auto pair = [&](std::vector<std::pair<std::string, std::string>>& to) -> std::string {
      const std::size_t eq = v.find('=');
      if (eq == std::string::npos || eq == 0) return a + " takes NAME=VALUE";
      to.emplace_back(v.substr(0, eq), v.substr(eq + 1));
      return {};
    };
    if (a == "--model") {
      o.model = v;
    } else if (a == "--resources") {
      o.resources = v;
    } else if (a == "--ui") {
      o.ui = v;
    } else if (a == "--root") {
      o.root = v;
    } else if (a == "--printer-set") {
      if (std::string why = pair(o.printerSets); !why.empty()) return why;
    } else if (a == "--set") {
      if (std::string why = pair(o.sets); !why.empty()) return why;
    } else if (a == "--public") {
      if (std::string why = pair(o.publics); !why.empty()) return why;
    } else if (a == "--sheet") {
      if (v != "document" && v != "defaults" && v != "device") return "--sheet takes document, defaults or device";
      o.sheet = v;
    } else if (a == "--steps") {
      o.steps = v;
    } else if (a == "--out") {
      o.out = v;
    } else if (a == "--dump-data") {
      o.dump = v;
    } else if (a == "--png") {
      o.png = v;
    } else {
      return "unknown option " + a;
    }
  }
  return {};
}

std::string ApplySets(std::span<BYTE> settings, const std::vector<std::pair<std::string, std::string>>& sets) {
  for (const auto& [name, value] : sets) {
    std::string why = printjob::SetDocSetting(settings, name, value);
    if (!why.empty()) return why;
  }
  return {};
}

bool WriteFile(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return out.good();
}

// Every printer data value as a file, with DIR/index.tsv: name, type, size, file.
bool DumpData(HANDLE printer, const fs::path& dir) {
  std::error_code ec;
  fs::create_directories(dir, ec);
  std::ofstream index(dir / "index.tsv", std::ios::trunc);
  if (ec || !index) return false;
  for (DWORD i = 0;; ++i) {
    DWORD nameNeeded = 0, dataNeeded = 0, type = 0;
    WCHAR name[512];
    std::vector<BYTE> data(1 << 16);
    const DWORD r = EnumPrinterDataW(printer, i, name, sizeof name, &nameNeeded, &type, data.data(),
                                     static_cast<DWORD>(data.size()), &dataNeeded);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS) return false;
    char file[32];
    std::snprintf(file, sizeof file, "%03u.bin", static_cast<unsigned>(i));
    if (!WriteFile(dir / file, data.data(), dataNeeded)) return false;
    index << plat::utf8(name) << '\t' << type << '\t' << dataNeeded << '\t' << file << '\n';
  }
  return index.good();
}

// The spooler's forms: position, name, flags, cx, cy, imageable area.
bool DumpForms(HANDLE printer, const fs::path& file) {
  DWORD needed = 0, returned = 0;
  EnumFormsW(printer, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> buffer(needed);
  if (!EnumFormsW(printer, 1, buffer.data(), needed, &needed, &returned)) return false;
  std::ofstream out(file, std::ios::trunc);
  for (DWORD i = 0; i < returned; ++i) {
    FORM_INFO_1W f;
    std::memcpy(&f, buffer.data() + i * sizeof f, sizeof f);
    const RECTL& a = f.ImageableArea;
    out << i + 1 << '\t' << plat::utf8(plat::view(f.pName)) << '\t' << f.Flags << '\t' << f.Size.cx << '\t'
        << f.Size.cy << '\t' << a.left << '\t' << a.top << '\t' << a.right << '\t' << a.bottom << '\n';
  }
  return out.good();
}

// One public DEVMODE field by name; its dmFields bit is set with it.
std::string SetPublicField(DEVMODEW& dm, const std::string& name, const std::string& value) {
  if (name == "dmFormName") {
    const std::u16string text = plat::u16(value);
    if (text.size() >= CCHFORMNAME) return "dmFormName takes at most 31 characters";
    std::fill(std::begin(dm.dmFormName), std::end(dm.dmFormName), u'\0');
    std::copy(text.begin(), text.end(), dm.dmFormName);
    dm.dmFields |= DM_FORMNAME;
    return {};
  }
  struct Field {
    const char* name;
    SHORT DEVMODEW::*member;
    DWORD bit;
  };
  static constexpr Field kFields[] = {
      {"dmPaperSize", &DEVMODEW::dmPaperSize, DM_PAPERSIZE},
      {"dmPaperWidth", &DEVMODEW::dmPaperWidth, DM_PAPERWIDTH},
      {"dmPaperLength", &DEVMODEW::dmPaperLength, DM_PAPERLENGTH},
      {"dmDefaultSource", &DEVMODEW::dmDefaultSource, DM_DEFAULTSOURCE},
      {"dmOrientation", &DEVMODEW::dmOrientation, DM_ORIENTATION},
      {"dmCopies", &DEVMODEW::dmCopies, DM_COPIES},
  };
  for (const Field& f : kFields) {
    if (name != f.name) continue;
    char* end = nullptr;
    const long v = std::strtol(value.c_str(), &end, 10);
    if (value.empty() || *end != 0 || v < -32768 || v > 32767) return name + " takes a number from -32768 to 32767";
    dm.*f.member = static_cast<SHORT>(v);
    dm.dmFields |= f.bit;
    return {};
  }
  return "unknown public field " + name;
}

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "IDOK";
    case IDCANCEL: return "IDCANCEL";
    case IDABORT: return "IDABORT";
    case IDRETRY: return "IDRETRY";
    case IDIGNORE: return "IDIGNORE";
    case IDYES: return "IDYES";
    case IDNO: return "IDNO";
    case IDTRYAGAIN: return "IDTRYAGAIN";
    case IDCONTINUE: return "IDCONTINUE";
    default: return "?";
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  std::string why = Parse(argc, argv, o);
  if (why == "help") {
    Usage("opens a property sheet and runs a user's steps on it");
    return 0;
  }
  if (!why.empty()) return Usage(why);
  const fs::path bin = printjob::ExecutableFolder(argv[0]);
  if (o.model.empty()) o.model = printjob::SampleDataFolder(bin) / "models" / "NEVO2600.RDF";
  if (o.resources.empty()) o.resources = printjob::SampleDataFolder(bin) / "resources" / "NEVORES.DLL";
  const std::string plugin = "pluginui" + std::to_string(sizeof(void*) * 8) + ".so";
  if (o.ui.empty()) o.ui = bin.parent_path() / "lib" / (o.plugin ? plugin : std::string("classicui.so"));
  if (!o.publics.empty() && !o.plugin) return Usage("--public needs --plugin");

  std::vector<sheetrun::Step> steps;
  if (!o.steps.empty()) {
    std::string text;
    if (o.steps == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else {
      std::ifstream in(o.steps, std::ios::binary);
      if (!in) return Usage("cannot read " + o.steps);
      text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!sheetrun::ParseScript(text, steps, why)) return Usage(why);
  }

  fs::path tempRoot;
  if (o.root.empty()) {
    std::random_device rd;
    std::error_code ec;
    tempRoot = fs::temp_directory_path(ec) / ("sheetrun-" + std::to_string(rd()));
    o.root = tempRoot;
  }
  printjob::TempRoot cleanup(tempRoot);
  why = printjob::SetUpMachine(o.root);
  if (!why.empty()) return Usage(why);
  printjob::PrinterFiles files{o.model, o.resources, o.ui, true};
  if (o.plugin) files.core = bin.parent_path() / "lib" / "coredrvui.so";
  why = printjob::SetUpPrinter(files, kPrinterName, kPortName);
  if (!why.empty()) return Usage(why);
  why = printjob::SetPrinterDefaults(kPrinterName, o.printerSets);
  if (!why.empty()) return Usage(why);

  HANDLE printer = nullptr;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  if (!OpenPrinterW(kPrinterName, &printer, &access)) return Usage("cannot open the printer");
  std::unique_ptr<void, decltype(&ClosePrinter)> closer(printer, &ClosePrinter);

  // The input DEVMODE: "DefaultDevmode", or the core's default for a plug-in printer.
  std::vector<BYTE> in;
  std::size_t settingsAt = offsetof(PrivateDevmode, Settings);
  if (o.plugin) {
    const LONG size = DocumentPropertiesW(nullptr, printer, nullptr, nullptr, nullptr, 0);
    if (size <= static_cast<LONG>(kPublicDevmodeSize)) return Usage("the core gives no DEVMODE");
    in.resize(static_cast<std::size_t>(size));
    auto* dm = reinterpret_cast<DEVMODEW*>(in.data());
    dm->dmSize = kPublicDevmodeSize;
    dm->dmDriverExtra = static_cast<WORD>(in.size() - kPublicDevmodeSize);
    if (DocumentPropertiesW(nullptr, printer, nullptr, dm, nullptr, DM_OUT_BUFFER) != IDOK)
      return Usage("the core gives no DEVMODE");
    settingsAt = kPublicDevmodeSize + oemdm::kSettings;
    // The paper goes by the paper fields given, not by those of the default.
    for (const auto& [name, value] : o.publics) {
      if (name == "dmPaperSize" || name == "dmPaperWidth" || name == "dmPaperLength" || name == "dmFormName")
        dm->dmFields &= ~(DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_FORMNAME);
    }
    for (const auto& [name, value] : o.publics)
      if (std::string bad = SetPublicField(*dm, name, value); !bad.empty()) return Usage(bad);
  } else {
    auto stored = plat::spooler::GetData(kPrinterName, u"DefaultDevmode");
    if (!stored || stored->bytes.size() != sizeof(PrivateDevmode)) return Usage("the printer has no usable \"DefaultDevmode\"");
    in = stored->bytes;
  }
  if (in.size() < settingsAt + sizeof(DocSettings)) return Usage("the input DEVMODE has no settings");
  why = ApplySets(std::span<BYTE>(in.data() + settingsAt, sizeof(DocSettings)), o.sets);
  if (!why.empty()) return Usage(why);
  plat::com::ClearDebugOutput();

  sheetrun::Runner runner(std::move(steps));
  std::map<int, int> drawn;  // times each template was written
  bool pngFault = false;
  if (!o.png.empty()) {
    std::error_code ec;
    fs::create_directories(o.png, ec);
    runner.onSnap = [&](const std::vector<plat::ui::Screen*>& open) {
      for (plat::ui::Screen* screen : open) {
        if (screen->kind() == plat::ui::Screen::Kind::MessageBox || !screen->IsOpen()) continue;
        HWND surface = screen->kind() == plat::ui::Screen::Kind::Sheet ? screen->Page() : screen->window();
        const int id = screen->kind() == plat::ui::Screen::Kind::Sheet ? screen->TabTemplate(screen->CurrentTab())
                                                                       : screen->templateId();
        const int n = ++drawn[id];
        std::string name = std::to_string(id);
        if (n > 1) name.append(".").append(std::to_string(n));
        name.append(".png");
        pngFault |= !plat::ui::WritePng(plat::ui::RenderWindow(screen->window()), (o.png / name).string());
        if (!surface) continue;
        for (HWND child : plat::ui::OwnerDrawnStatics(surface)) {
          const plat::ui::Picture picture = plat::ui::Snapshot(child);
          if (picture.width == 0) continue;
          std::string item = std::to_string(id);
          item.append("-").append(std::to_string(GetDlgCtrlID(child))).append(".png");
          pngFault |= !plat::ui::WritePng(picture, (o.png / item).string());
        }
      }
    };
  }
  plat::ui::SetFallbackHandler([&runner](plat::ui::Screen& screen) { runner(screen); });
  std::vector<std::string> loopFaults;
  plat::ui::SetFailureHook([&loopFaults](const std::string& what) { loopFaults.push_back(what); });

  std::vector<BYTE> out(in.size());
  auto* outDm = reinterpret_cast<DEVMODEW*>(out.data());
  outDm->dmSize = kPublicDevmodeSize;
  outDm->dmDriverExtra = static_cast<WORD>(out.size() - kPublicDevmodeSize);
  int status = 0;
  bool ok = false;
  if (o.sheet == "device") {
    ok = PrinterPropertiesW(nullptr, printer) != FALSE;
  } else {
    DWORD mode = DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER;
    if (o.sheet == "defaults") mode |= DM_USER_DEFAULT;
    const LONG answer = DocumentPropertiesW(nullptr, printer, nullptr, outDm, reinterpret_cast<DEVMODEW*>(in.data()),
                                            mode);
    if (answer < 0) {
      std::printf("sheet: could not be shown\n");
      status = kExitNoSheet;
    }
    ok = answer == IDOK;
  }
  plat::ui::SetFallbackHandler(nullptr);

  for (const plat::ui::MessageBoxCall& box : plat::ui::MessageBoxLog()) {
    std::printf("message box \"%s\": \"%s\" -> %s\n", plat::utf8(box.caption).c_str(), plat::utf8(box.text).c_str(),
                AnswerName(box.answer));
  }
  for (const plat::ui::FileDialogCall& call : plat::ui::FileDialogLog()) {
    std::string filter;
    for (const auto& [name, patterns] : call.filters) filter += " \"" + plat::utf8(name) + "\" \"" + plat::utf8(patterns) + "\"";
    std::printf("file dialog %s \"%s\": filter%s flags 0x%08x -> %s\n", call.save ? "save" : "open",
                plat::utf8(call.title).c_str(), filter.c_str(), static_cast<unsigned>(call.flags),
                call.answer ? plat::utf8(*call.answer).c_str() : "cancel");
  }
  // The options the plug-in set on the core, from the core's trace.
  std::istringstream trace(plat::com::DebugOutput());
  for (std::string line; std::getline(trace, line);) {
    if (line.rfind(plat::core::kSetOptionsTrace, 0) == 0)
      std::printf("core option: %s\n", line.substr(std::strlen(plat::core::kSetOptionsTrace)).c_str());
  }
  if (status == 0) std::printf("sheet: %s\n", ok ? "OK" : "Cancel");
  for (const std::string& fault : loopFaults) std::fprintf(stderr, "sheetrun: %s\n", fault.c_str());
  if (runner.Remaining() > 0) std::fprintf(stderr, "sheetrun: %zu step(s) not run: the sheet closed first\n", runner.Remaining());

  if (ok && !o.out.empty() && o.sheet != "device" && !WriteFile(o.out, out.data(), out.size())) {
    std::fprintf(stderr, "sheetrun: cannot write %s\n", o.out.string().c_str());
    status = kExitFailed;
  }
  if (!o.dump.empty() && (!DumpData(printer, o.dump) || (o.plugin && !DumpForms(printer, o.dump / "forms.tsv")))) {
    std::fprintf(stderr, "sheetrun: cannot write the printer data to %s\n", o.dump.string().c_str());
    status = kExitFailed;
  }
  if (pngFault) {
    std::fprintf(stderr, "sheetrun: cannot write the pictures to %s\n", o.png.string().c_str());
    status = kExitFailed;
  }
  closer.reset();
  plat::ui::ResetScript();
  if (status != 0) return status;
  return runner.Failed() || !loopFaults.empty() || runner.Remaining() > 0 ? kExitFailed : 0;
}
