// The UI plug-in's sheets and printer event on printers of the sample
// models set up as plug-in printers: the settings taken from the public
// DEVMODE, the core's options, the user forms and the initialisation.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/machine.h"
#include "plat/propsheet.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "printjob/printer_setup.h"
#include "settings/byte_order.h"
#include "settings/caps_store.h"
#include "settings/custom_forms.h"
#include "plugincommon/plugin_devmode.h"
#include "settings/private_devmode.h"
#include "sheets/sheet_driver.h"
#include "support/temp_folder.h"
#include "uiplugin/plugin_sheets.h"
#include "uiplugin/printer_init.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kPrinter[] = u"NEVO Plugin";

class PluginPrinter : public ::testing::Test {
 protected:
  void SetUpModel(const char* model) {
    plat::spooler::Reset();
    ASSERT_EQ(printjob::SetUpMachine(root_.path()), "");
    printjob::PrinterFiles files{fs::path(MODELS_DIR_STR) / model, fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL",
                                 fs::path(LIB_DIR_STR) / (std::string(PLUGINUI_STR) + ".so"), true,
                                 fs::path(LIB_DIR_STR) / "coredrvui.so"};
    ASSERT_EQ(printjob::SetUpPrinter(files, kPrinter, u"LPT1:"), "");
    PRINTER_DEFAULTSW all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(kPrinter, &printer_, &all));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    plat::spooler::Reset();
  }
  // A zeroed document context with the printer's capabilities, as the sheets open it.
  DocSheetContext* OpenContext() {
    auto* c = static_cast<DocSheetContext*>(LocalAlloc(LPTR, sizeof(DocSheetContext)));
    c->State.Build = Generation::Plugin;
    c->State.Printer = printer_;
    EXPECT_EQ(LoadCapsFromPrinterData(&c->Caps, printer_), 1);
    EXPECT_EQ(MapCustomFormIndices(printer_, c->Caps), 1);
    return c;
  }
  std::optional<FORM_INFO_1W> Form(const char16_t* name, std::u16string* stored = nullptr) {
    DWORD needed = 0;
    GetFormW(printer_, name, 1, nullptr, 0, &needed);
    buffer_.assign(needed, 0);
    if (!GetFormW(printer_, name, 1, buffer_.data(), needed, &needed)) return std::nullopt;
    FORM_INFO_1W f;
    std::memcpy(&f, buffer_.data(), sizeof f);
    if (stored) *stored = plat::view(f.pName);
    return f;
  }
  testsupport::MachineRoot root_{"plugin-sheets"};
  HANDLE printer_ = nullptr;
  std::vector<BYTE> buffer_;
};

struct ContextDeleter {
  void operator()(DocSheetContext* c) const { FreeDocSheetContext(c); }
};
using ContextPtr = std::unique_ptr<DocSheetContext, ContextDeleter>;

// Ids of the "Paper" value's records, in order.
std::vector<std::uint16_t> StoredPaperIds() {
  const auto value = plat::spooler::GetData(kPrinter, u"Paper");
  std::vector<std::uint16_t> ids;
  for (std::size_t at = 0; value && at + 16 <= value->bytes.size(); at += 16) ids.push_back(GetLe16(&value->bytes[at + 10]));
  return ids;
}

TEST_F(PluginPrinter, InitialisationRegistersTheExtraPapersAsUserForms) {
  SetUpModel("NEVO2600.RDF");
  struct Expected {
    DWORD position;
    const char16_t* name;
    LONG cx, cy;
  };
  // "Legal 13" is a document paper without a number; the others are custom papers.
  const Expected expected[] = {{119, u"Legal 13", 215900, 330200},
                               {120, u"Half Letter Wide", 215900, 139700},
                               {121, u"Program Card", 127000, 188000}};
  DWORD needed = 0, returned = 0;
  EnumFormsW(printer_, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> list(needed);
  ASSERT_TRUE(EnumFormsW(printer_, 1, list.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 121u);
  const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(list.data());
  for (const auto& e : expected) {
    const FORM_INFO_1W& f = forms[e.position - 1];
    EXPECT_EQ(std::u16string(f.pName), e.name);
    EXPECT_EQ(f.Flags, FORM_USER);
    EXPECT_EQ(f.Size.cx, e.cx);
    EXPECT_EQ(f.Size.cy, e.cy);
    EXPECT_EQ(f.ImageableArea.left, 0);
    EXPECT_EQ(f.ImageableArea.top, 0);
    EXPECT_EQ(f.ImageableArea.right, e.cx);
    EXPECT_EQ(f.ImageableArea.bottom, e.cy);
  }
  // "Paper": Tabloid, Legal, Letter, Statement, A4, Legal 13, free, two custom papers.
  EXPECT_EQ(StoredPaperIds(), (std::vector<std::uint16_t>{3, 5, 1, 6, 9, 0, 256, 0, 0}));
  // The printer data names both files: the resource library comes from the dependent files.
  const auto resource = plat::spooler::GetData(kPrinter, u"Resource DLL");
  ASSERT_TRUE(resource);
  const std::u16string path(reinterpret_cast<const char16_t*>(resource->bytes.data()), resource->bytes.size() / 2);
  EXPECT_EQ(path, u"C:\\DRIVERS\\NEVORES.DLL");

  ContextPtr c(OpenContext());
  const PaperEntry* p = c->Caps.Papers;
  EXPECT_EQ(p[5].PaperId, 119);
  EXPECT_EQ(p[7].PaperId, 120);
  EXPECT_EQ(p[8].PaperId, 121);
}

// The device sheet, opened through the spooler and the core, registers the
// forms again at OK.
TEST_F(PluginPrinter, DeviceSheetOkAddsTheUserForms) {
  SetUpModel("NEVO2600.RDF");
  for (const char16_t* name : {u"Legal 13", u"Half Letter Wide", u"Program Card"})
    ASSERT_TRUE(DeleteFormW(printer_, name));
  plat::ui::QueueHandler([](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); });
  EXPECT_TRUE(PrinterPropertiesW(nullptr, printer_));
  plat::ui::ResetScript();
  DWORD needed = 0, returned = 0;
  EnumFormsW(printer_, 1, nullptr, 0, &needed, &returned);
  std::vector<BYTE> list(needed);
  ASSERT_TRUE(EnumFormsW(printer_, 1, list.data(), needed, &needed, &returned));
  ASSERT_EQ(returned, 121u);
  const auto* forms = reinterpret_cast<const FORM_INFO_1W*>(list.data());
  EXPECT_EQ(std::u16string(forms[118].pName), u"Legal 13");
  EXPECT_EQ(std::u16string(forms[119].pName), u"Half Letter Wide");
  EXPECT_EQ(std::u16string(forms[120].pName), u"Program Card");
  EXPECT_EQ(forms[120].Size.cx, 127000);
  EXPECT_EQ(StoredPaperIds(), (std::vector<std::uint16_t>{3, 5, 1, 6, 9, 0, 256, 0, 0}));
  EXPECT_EQ(plat::LiveSheetCount(), 0u);
}

TEST_F(PluginPrinter, RegisteringUpdatesAChangedFormAndLeavesBuiltinFormsAlone) {
  SetUpModel("NEVO1100.RDF");
  auto changed = FORM_INFO_1W{FORM_PRINTER, const_cast<LPWSTR>(u"Ticket"), {90000, 190000}, {0, 0, 90000, 190000}};
  ASSERT_TRUE(SetFormW(printer_, u"Ticket", 1, reinterpret_cast<LPBYTE>(&changed)));
  ContextPtr c(OpenContext());
  ModelCaps& caps = c->Caps;
  const std::size_t ticket = caps.Info.DocumentPaperCount;  // the only custom paper
  EXPECT_EQ(caps.Papers[ticket].PaperId, 0) << "a form of another size is not the paper's";
  EXPECT_EQ(caps.Papers[6].PaperId, 119) << "Wide Postcard";
  EXPECT_EQ(caps.Papers[7].PaperId, 120) << "Foolscap";

  // A paper named as a built-in form: the spooler's form stays as it is.
  NameList* name = NameListFind(caps.Names, caps.Papers[6].NameId);
  ASSERT_NE(name, nullptr);
  std::u16string folio = u"Folio";
  std::fill(std::begin(name->Text), std::end(name->Text), u'\0');
  std::copy(folio.begin(), folio.end(), name->Text);
  name->Length = static_cast<std::uint16_t>(folio.size());

  EXPECT_EQ(RegisterCustomForms(printer_, caps), 1);
  EXPECT_EQ(caps.Papers[ticket].PaperId, 0);
  EXPECT_EQ(caps.Papers[6].PaperId, 0);
  const auto t = Form(u"Ticket");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->Flags, FORM_USER);
  EXPECT_EQ(t->Size.cx, 80000);
  EXPECT_EQ(t->Size.cy, 180000);
  EXPECT_EQ(t->ImageableArea.right, 80000);
  const auto f = Form(u"Folio");
  ASSERT_TRUE(f);
  EXPECT_EQ(f->Flags, FORM_BUILTIN);
  EXPECT_EQ(f->Size.cx, 215900);
  EXPECT_EQ(f->Size.cy, 330200);

  EXPECT_EQ(MapCustomFormIndices(printer_, caps), 1);
  EXPECT_EQ(caps.Papers[ticket].PaperId, 121) << "Wide Postcard, Foolscap, Ticket";
}

// The core's exports reach the plug-in: the papers it reports carry their
// forms' positions, and its DEVMODE is the public part and the plug-in's part.
TEST_F(PluginPrinter, TheCoresExportsAnswerThroughThePlugin) {
  SetUpModel("NEVO2600.RDF");
  HMODULE core = LoadLibraryW(u"C:\\DRIVERS\\coredrvui.so");
  ASSERT_NE(core, nullptr);
  using Capabilities = DWORD (*)(HANDLE, LPWSTR, WORD, PVOID, DEVMODEW*);
  using Convert = BOOL (*)(LPWSTR, DEVMODEW*, DEVMODEW*, LONG*, DWORD);
  auto capabilities = reinterpret_cast<Capabilities>(GetProcAddress(core, "DrvDeviceCapabilities"));
  auto convert = reinterpret_cast<Convert>(GetProcAddress(core, "DrvConvertDevMode"));
  ASSERT_TRUE(capabilities && convert);
  std::u16string name = kPrinter;
  constexpr WORD kPapers = 2;
  const DWORD count = capabilities(printer_, name.data(), kPapers, nullptr, nullptr);
  ASSERT_EQ(count, 9u);
  std::vector<WORD> ids(count);
  EXPECT_EQ(capabilities(printer_, name.data(), kPapers, ids.data(), nullptr), count);
  EXPECT_EQ(ids, (std::vector<WORD>{3, 5, 1, 6, 9, 119, 256, 120, 121}));

  constexpr DWORD kDriverDefault = 4, kConvert = 1, kConvert351 = 2;
  LONG size = 0;
  EXPECT_FALSE(convert(name.data(), nullptr, nullptr, &size, kDriverDefault));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_EQ(size, 220 + 3248);
  std::vector<BYTE> dm(static_cast<std::size_t>(size));
  ASSERT_TRUE(convert(name.data(), nullptr, reinterpret_cast<DEVMODEW*>(dm.data()), &size, kDriverDefault));
  const auto* pub = reinterpret_cast<const DEVMODEW*>(dm.data());
  EXPECT_EQ(pub->dmSize, 220);
  EXPECT_EQ(pub->dmDriverExtra, 3248);
  EXPECT_EQ(oemdm::ReadHeader(dm.data() + 220), oemdm::kOwnHeader);
  std::vector<BYTE> converted(dm.size());
  LONG convertedSize = static_cast<LONG>(converted.size());
  reinterpret_cast<DEVMODEW*>(dm.data())->dmCopies = 5;
  ASSERT_TRUE(convert(name.data(), reinterpret_cast<DEVMODEW*>(dm.data()),
                      reinterpret_cast<DEVMODEW*>(converted.data()), &convertedSize, kConvert));
  EXPECT_EQ(reinterpret_cast<const DEVMODEW*>(converted.data())->dmCopies, 5);
  EXPECT_FALSE(convert(name.data(), nullptr, reinterpret_cast<DEVMODEW*>(converted.data()), &convertedSize,
                       kConvert351));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  FreeLibrary(core);
}

TEST(ModelFiles, TheModelDataFileIsFoundByItsExtensionAndTheLibraryFollowsIt) {
  struct Case {
    const char* what;
    std::u16string list;  // entries separated by '|', ended by an empty one
    const char16_t* dataFile;  // nullptr: none found
    const char16_t* resourceDll;
  };
  const Case cases[] = {
      {"lower-case extension", u"M.rdf|R.DLL|", u"M.rdf", u"R.DLL"},
      {"upper-case extension", u"M.RDF|R.DLL|X.INI|", u"M.RDF", u"R.DLL"},
      {"mixed case is not recognised", u"M.Rdf|R.DLL|", nullptr, nullptr},
      {"the first match counts", u"A.INI|M.Rdf|N.rdf|R.DLL|O.RDF|S.DLL|", u"N.rdf", u"R.DLL"},
      {"the model data file last", u"R.DLL|M.RDF|", nullptr, nullptr},
      {"no model data file", u"R.DLL|X.INI|", nullptr, nullptr},
      {"an empty list", u"", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::u16string list = c.list;
    for (auto& ch : list) if (ch == u'|') ch = u'\0';
    list.push_back(u'\0');
    const auto found = uiplugin::FindModelFiles(list.c_str());
    if (!c.dataFile) {
      EXPECT_FALSE(found);
      continue;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(std::u16string(found->dataFile), c.dataFile);
    EXPECT_EQ(std::u16string(found->resourceDll), c.resourceDll);
  }
}

TEST_F(PluginPrinter, PrinterEventsAnswerByEventAndABadModelStoresNothing) {
  SetUpModel("NEVO1100.RDF");
  for (int event : {1, 2, 3, 4}) {
    EXPECT_EQ(uiplugin::HandlePrinterInitialize(kPrinter, event, 0, 0), event >= 3 ? TRUE : FALSE) << event;
  }

  // A printer whose model data file does not load, and one whose model data
  // file is the last dependent file: FALSE, and no printer data.
  const std::u16string bad = u"C:\\DRIVERS\\BROKEN.RDF";
  std::ofstream(plat::machine::HostPath(bad)) << "[Version]\nno model here\n";
  struct Case {
    const char16_t* name;
    std::vector<std::u16string> dependent;
  };
  const Case cases[] = {{u"Broken Model", {bad, u"C:\\DRIVERS\\NEVORES.DLL"}},
                        {u"Model Last", {u"C:\\DRIVERS\\NEVORES.DLL", u"C:\\DRIVERS\\NEVO1100.RDF"}},
                        {u"No Model", {u"C:\\DRIVERS\\NEVORES.DLL"}}};
  for (const Case& c : cases) {
    plat::spooler::PrinterSetup setup;
    setup.name = c.name;
    setup.port = u"LPT1:";
    setup.driver.name = u"RP1100";
    setup.driver.dependentFiles = c.dependent;
    ASSERT_TRUE(plat::spooler::AddPrinter(setup));
    EXPECT_FALSE(uiplugin::HandlePrinterInitialize(c.name, 3, 0, 0)) << plat::utf8(c.name);
    EXPECT_FALSE(plat::spooler::GetData(c.name, u"Info")) << plat::utf8(c.name);
    EXPECT_FALSE(plat::spooler::GetData(c.name, u"DefaultDevmode")) << plat::utf8(c.name);
  }
}

// A public DEVMODE of the given fields over the printer's default.
DEVMODEW PublicDevmode(DWORD fields) {
  DEVMODEW dm{};
  dm.dmSize = sizeof dm;
  dm.dmFields = fields;
  dm.dmCopies = 1;
  dm.dmOrientation = DMORIENT_PORTRAIT;
  return dm;
}

TEST_F(PluginPrinter, PublicDevmodeChoosesThePaperTheBinAndTheCopies) {
  SetUpModel("NEVO2600.RDF");
  // A user form whose 32-unit name fills dmFormName with no terminator.
  const std::u16string longName = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012345";
  ASSERT_EQ(longName.size(), CCHFORMNAME);
  auto legalSize = FORM_INFO_1W{FORM_USER, const_cast<LPWSTR>(longName.c_str()), {215900, 355600},
                                {0, 0, 215900, 355600}};
  ASSERT_TRUE(AddFormW(printer_, 1, reinterpret_cast<LPBYTE>(&legalSize)));

  struct Case {
    const char* what;
    DWORD fields;
    SHORT paperSize, width, length;
    const char16_t* formName;
    int paperIndex;
    int freePaper;
    std::int32_t sizeWidth, sizeLength;  // PaperWidth/Length or FreeWidth/Length
  };
  const Case cases[] = {
      {"by number", DM_PAPERSIZE, 5, 0, 0, nullptr, 1, 0, 215900, 355600},
      {"by a mapped user form's number", DM_PAPERSIZE, 119, 0, 0, nullptr, 5, 0, 215900, 330200},
      {"by a built-in form no paper has", DM_PAPERSIZE, 8, 0, 0, nullptr, 6, 1, 297000, 420000},
      {"by width and length", DM_PAPERWIDTH | DM_PAPERLENGTH, 0, 2159, 3302, nullptr, 5, 0, 215900, 330200},
      {"256 goes by width and length", DM_PAPERSIZE, 256, 2159, 2794, nullptr, 2, 0, 215900, 279400},
      {"256 of a size no paper has", DM_PAPERSIZE, 256, 1000, 1500, nullptr, 6, 1, 100000, 150000},
      {"a form of a document paper's size", DM_FORMNAME, 0, 0, 0, u"Folio", 5, 0, 215900, 330200},
      {"a form of a size no paper has", DM_FORMNAME, 0, 0, 0, u"A3", 6, 1, 297000, 420000},
      {"a name without terminator", DM_FORMNAME, 0, 0, 0, longName.c_str(), 1, 0, 215900, 355600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ContextPtr context(OpenContext());
    DEVMODEW dm = PublicDevmode(c.fields);
    dm.dmPaperSize = c.paperSize;
    dm.dmPaperWidth = c.width;
    dm.dmPaperLength = c.length;
    dm.dmLogPixels = 0x5858;  // right after the name: read as part of it, no form would match
    if (c.formName) std::memcpy(dm.dmFormName, c.formName, std::min<std::size_t>(std::u16string_view(c.formName).size(), CCHFORMNAME) * 2);
    EXPECT_EQ(uiplugin::PublicDevmodeToSettings(printer_, &dm, *context), 1);
    const DocSettings& s = context->Caps.Defaults;
    EXPECT_EQ(s.PaperIndex, c.paperIndex);
    EXPECT_EQ(s.FreePaper, c.freePaper);
    EXPECT_EQ(c.freePaper ? s.FreeWidth : s.PaperWidth, c.sizeWidth);
    EXPECT_EQ(c.freePaper ? s.FreeLength : s.PaperLength, c.sizeLength);
  }

  // Sources: below 256 the first bin; DMBIN_USER + n bin n + 1; past the
  // model's three bins the first again.
  const std::pair<SHORT, int> sources[] = {{7, 0}, {256, 1}, {257, 2}, {258, 0}, {511, 0}};
  for (const auto& [source, bin] : sources) {
    ContextPtr context(OpenContext());
    DEVMODEW dm = PublicDevmode(DM_DEFAULTSOURCE | DM_COPIES | DM_ORIENTATION);
    dm.dmDefaultSource = source;
    dm.dmCopies = 12;
    dm.dmOrientation = DMORIENT_LANDSCAPE;
    uiplugin::PublicDevmodeToSettings(printer_, &dm, *context);
    EXPECT_EQ(context->Caps.Defaults.BinIndex, bin) << source;
    EXPECT_EQ(context->Caps.Defaults.Copies, 12);
    EXPECT_EQ(context->Caps.Defaults.Landscape, 1);
  }
}

// A core helper that lists what it is told and records what is set.
class FakeHelper final : public plat::oem::CoreHelperStubs<> {
 public:
  HRESULT featuresResult = S_OK;
  std::vector<PCSTR> features{"Orientation", "PaperSize"};
  std::map<std::string, std::vector<PCSTR>> options;
  std::map<std::string, HRESULT> optionsResult;
  std::vector<std::pair<std::string, std::string>> set;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetOptions(DEVMODEW* dm, DWORD size, BOOL resolve, const PRINT_FEATURE_OPTION* pairs,
                                       DWORD count, DWORD*, DWORD*) override {
    EXPECT_EQ(dm, nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_FALSE(resolve);
    for (DWORD i = 0; i < count; ++i) set.emplace_back(pairs[i].pszFeature, pairs[i].pszOption);
    return S_NO_CONFLICT;
  }
  HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** out, DWORD* count) override {
    *out = features.data();
    *count = static_cast<DWORD>(features.size());
    return featuresResult;
  }
  HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR feature, PCSTR** out, DWORD* count) override {
    auto& list = options[feature];
    *out = list.data();
    *count = static_cast<DWORD>(list.size());
    const auto r = optionsResult.find(feature);
    return r == optionsResult.end() ? S_OK : r->second;
  }
};

TEST_F(PluginPrinter, CoreOptionsFollowTheOrientationAndTheChosenPapersForm) {
  SetUpModel("NEVO2600.RDF");
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  struct Case {
    const char* what;
    int landscape;
    int paperIndex;  // -1: the free-size paper
    std::vector<PCSTR> orientations;
    HRESULT orientationResult;
    HRESULT featuresResult;
    Pairs expected;
    HRESULT result;
  };
  const std::vector<PCSTR> two{"PORTRAIT", "LANDSCAPE_CC90"};
  const Case cases[] = {
      {"portrait, Letter", 0, 2, two, S_OK, S_OK, {{"Orientation", "PORTRAIT"}, {"PaperSize", "Letter"}}, S_NO_CONFLICT},
      {"landscape, a user form's paper", 1, 5, two, S_OK, S_OK,
       {{"Orientation", "LANDSCAPE_CC90"}, {"PaperSize", "Legal 13"}}, S_NO_CONFLICT},
      {"landscape with one orientation", 1, 2, {"PORTRAIT"}, S_OK, S_OK,
       {{"Orientation", "PORTRAIT"}, {"PaperSize", "Letter"}}, S_NO_CONFLICT},
      {"a custom paper", 0, 8, two, S_OK, S_OK, {{"Orientation", "PORTRAIT"}, {"PaperSize", "Program Card"}},
       S_NO_CONFLICT},
      {"the free-size paper pushes no paper", 0, -1, two, S_OK, S_OK, {{"Orientation", "PORTRAIT"}}, S_OK},
      {"orientations not listed", 1, 2, two, E_FAIL, S_OK, {{"PaperSize", "Letter"}}, S_NO_CONFLICT},
      {"features not listed", 1, 2, two, S_OK, E_NOTIMPL, {}, E_NOTIMPL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ContextPtr context(OpenContext());
    DocSettings& s = context->Caps.Defaults;
    s.Landscape = static_cast<std::uint8_t>(c.landscape);
    s.FreePaper = c.paperIndex < 0 ? 1 : 0;
    s.PaperIndex = static_cast<std::uint16_t>(c.paperIndex < 0 ? 6 : c.paperIndex);
    FakeHelper helper;
    helper.featuresResult = c.featuresResult;
    helper.options["Orientation"] = c.orientations;
    helper.optionsResult["Orientation"] = c.orientationResult;
    helper.options["PaperSize"] = {"Letter", "Legal", "Legal 13", "Half Letter Wide", "Program Card"};
    EXPECT_EQ(uiplugin::PushCoreOptions(&helper, *context), c.result);
    EXPECT_EQ(helper.set, c.expected);
  }
}

// The document callback through a stand-in CPSUI that takes the pages.
LONG_PTR CALLBACK TakePages(HANDLE, UINT function, LPARAM page, LPARAM) {
  if (function == CPSFUNC_ADD_HPROPSHEETPAGE) {
    DestroyPropertySheetPage(reinterpret_cast<HPROPSHEETPAGE>(page));
    return 1;
  }
  return 0;
}

TEST_F(PluginPrinter, OkWithoutMemoryForTheDevmodeWritesNothing) {
  SetUpModel("NEVO1100.RDF");
  std::vector<BYTE> dm(220 + oemdm::kSize);
  auto* pub = reinterpret_cast<DEVMODEW*>(dm.data());
  pub->dmSize = 220;
  pub->dmDriverExtra = static_cast<WORD>(oemdm::kSize);
  ASSERT_TRUE(OemDefaultDevmode(dm.data() + 220, printer_));
  const std::vector<BYTE> before = dm;
  OEMUIPSPARAM param{};
  param.cbSize = sizeof param;
  param.hPrinter = printer_;
  std::u16string name = kPrinter;
  param.pPrinterName = name.data();
  param.pPublicDM = pub;
  param.pOEMDM = dm.data() + 220;
  PROPSHEETUI_INFO info{};
  info.cbSize = sizeof info;
  info.Version = PROPSHEETUI_INFO_VERSION;
  info.pfnComPropSheet = TakePages;
  info.lParamInit = reinterpret_cast<LPARAM>(&param);
  info.Reason = PROPSHEETUI_REASON_INIT;
  FakeHelper helper;
  ASSERT_EQ(uiplugin::DocumentSheetsCallback(&info, 0, &helper), S_OK);
  ASSERT_NE(info.UserData, 0u);
  info.Reason = PROPSHEETUI_REASON_SET_RESULT;
  SETRESULT_INFO ok{sizeof(SETRESULT_INFO), 0, nullptr, CPSUI_OK};
  plat::FailNthHeapAlloc(1);
  EXPECT_EQ(uiplugin::DocumentSheetsCallback(&info, reinterpret_cast<LPARAM>(&ok), &helper), E_OUTOFMEMORY);
  plat::FailNthHeapAlloc(0);
  EXPECT_EQ(info.Result, static_cast<ULONG_PTR>(CPSUI_OK));
  EXPECT_TRUE(dm == before) << "neither the part nor the public DEVMODE may change";
  EXPECT_TRUE(helper.set.empty());
  info.Reason = PROPSHEETUI_REASON_DESTROY;
  EXPECT_EQ(uiplugin::DocumentSheetsCallback(&info, 0, &helper), S_OK);
  EXPECT_EQ(info.UserData, 0u);

  // A missing or foreign info record.
  PROPSHEETUI_INFO old = info;
  old.Version = 0x0200;
  SetLastError(0);
  EXPECT_EQ(uiplugin::DocumentSheetsCallback(&old, 0, &helper), E_INVALIDARG);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(uiplugin::DeviceSheetsCallback(&old, 0), E_FAIL);
}

}  // namespace
