// The UI plug-in as the core driver loads it: exports, class factory, the UI
// object's slots called through its table, and DeviceCapabilities against
// the classic driver's answers.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plat/com.h"
#include "plat/strings.h"
#include "plugincommon/ids.h"
#include "plugincommon/plugin_printer.h"
#include "support/vtable.h"
#include "uiplugin/oem_ui.h"

namespace {

using plugintest::Part;
using plugintest::PluginPrinterTest;
using testsupport::CallSlot;

// IPrintOemUI2 slots.
enum Slot : std::size_t {
  kQueryInterface, kAddRef, kRelease, kGetInfo, kDevMode, kPublishDriverInterface, kCommonUIProp,
  kDocumentPropertySheets, kDevicePropertySheets, kDevQueryPrintEx, kDeviceCapabilities, kUpgradePrinter,
  kPrinterEvent, kDriverEvent, kQueryColorProfile, kFontInstallerDlgProc, kUpdateExternalFonts,
  kQueryJobAttributes, kHideStandardUI, kDocumentEvent,
};

// The library as the core driver loads it.
class PluginLibrary {
 public:
  PluginLibrary() {
    const std::u16string path = plat::u16(std::string(LIB_DIR_STR) + "/" + PLUGINUI_STR + ".so");
    module_ = LoadLibraryW(path.c_str());
    if (!module_) return;
    getClassObject_ = reinterpret_cast<GetClassObjectFn>(GetProcAddress(module_, "DllGetClassObject"));
    canUnloadNow_ = reinterpret_cast<CanUnloadNowFn>(GetProcAddress(module_, "DllCanUnloadNow"));
    dllMain_ = reinterpret_cast<DllMainFn>(GetProcAddress(module_, "DllMain"));
  }
  ~PluginLibrary() {
    if (module_) FreeLibrary(module_);
  }
  bool loaded() const { return getClassObject_ && canUnloadNow_ && dllMain_; }
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) const { return getClassObject_(clsid, iid, out); }
  HRESULT CanUnloadNow() const { return canUnloadNow_(); }
  BOOL Main(DWORD reason) const { return dllMain_(module_, reason, nullptr); }

  // A new object of the UI class asked by interface; null on failure.
  void* Create(REFCLSID clsid, REFIID iid, HRESULT* hr = nullptr) const {
    void* factory = nullptr;
    HRESULT r = GetClassObject(clsid, IID_IClassFactory, &factory);
    void* object = nullptr;
    if (SUCCEEDED(r)) {
      r = CallSlot<HRESULT>(factory, 3, static_cast<IUnknown*>(nullptr), &iid, &object);
      CallSlot<ULONG>(factory, 2);
    }
    if (hr) *hr = r;
    return object;
  }

 private:
  using GetClassObjectFn = HRESULT (*)(REFCLSID, REFIID, LPVOID*);
  using CanUnloadNowFn = HRESULT (*)();
  using DllMainFn = BOOL (*)(HMODULE, DWORD, LPVOID);
  HMODULE module_ = nullptr;
  GetClassObjectFn getClassObject_ = nullptr;
  CanUnloadNowFn canUnloadNow_ = nullptr;
  DllMainFn dllMain_ = nullptr;
};

const IID kIidNobody = {0xDEADBEEF, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

TEST(PluginUiExportsTest, ClassObjectsAndUnloading) {
  PluginLibrary lib;
  ASSERT_TRUE(lib.loaded());
  for (DWORD reason : {0u, 1u, 2u, 3u, 9u}) EXPECT_EQ(lib.Main(reason), TRUE);
  EXPECT_EQ(lib.GetClassObject(CLSID_OEMUI, IID_IClassFactory, nullptr), E_POINTER);

  struct Case {
    const CLSID* clsid;
    const IID* iid;
    HRESULT hr;
  } cases[] = {
      {&CLSID_OEMUI, &IID_IClassFactory, S_OK},
      {&CLSID_OEMPTPROVIDER, &IID_IClassFactory, S_OK},
      {&CLSID_OEMUI, &IID_IUnknown, S_OK},
      {&CLSID_OEMRENDER, &IID_IClassFactory, CLASS_E_CLASSNOTAVAILABLE},
      {&CLSID_OEMUI, &IID_IPrintOemUI2, E_NOINTERFACE},
  };
  for (const Case& c : cases) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(lib.GetClassObject(*c.clsid, *c.iid, &out), c.hr);
    if (c.hr == S_OK) {
      ASSERT_NE(out, nullptr);
      EXPECT_EQ(CallSlot<ULONG>(out, 2), 0u) << "the caller holds the only reference";
    } else {
      EXPECT_EQ(out, nullptr);
    }
  }
  EXPECT_EQ(lib.CanUnloadNow(), S_OK) << "a factory does not hold the library";

  void* factory = nullptr;
  ASSERT_EQ(lib.GetClassObject(CLSID_OEMPTPROVIDER, IID_IClassFactory, &factory), S_OK);
  EXPECT_EQ(CallSlot<HRESULT>(factory, 4, BOOL{TRUE}), S_OK);
  EXPECT_EQ(lib.CanUnloadNow(), S_FALSE) << "locked";
  EXPECT_EQ(CallSlot<HRESULT>(factory, 4, BOOL{FALSE}), S_OK);
  EXPECT_EQ(lib.CanUnloadNow(), S_OK);

  // The factory tells the objects apart by the interface asked for.
  struct Made {
    const IID* iid;
    HRESULT hr;
    const IID* answers;
  } made[] = {
      {&IID_IPrintOemUI2, S_OK, &IID_IPrintOemUI2},
      {&IID_IUnknown, S_OK, &IID_IPrintOemUI2},
      {&IID_IPrintOemPrintTicketProvider, S_OK, &IID_IPrintOemPrintTicketProvider},
      {&kIidNobody, E_NOINTERFACE, nullptr},
  };
  for (const Made& m : made) {
    void* object = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CallSlot<HRESULT>(factory, 3, static_cast<IUnknown*>(nullptr), m.iid, &object), m.hr);
    if (!m.answers) {
      EXPECT_EQ(object, nullptr);
      continue;
    }
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(lib.CanUnloadNow(), S_FALSE) << "a live object holds the library";
    void* again = nullptr;
    EXPECT_EQ(CallSlot<HRESULT>(object, 0, m.answers, &again), S_OK);
    EXPECT_EQ(again, object);
    CallSlot<ULONG>(again, 2);
    EXPECT_EQ(CallSlot<ULONG>(object, 2), 0u);
    EXPECT_EQ(lib.CanUnloadNow(), S_OK);
  }
  void* object = reinterpret_cast<void*>(0x1);
  auto* outer = reinterpret_cast<IUnknown*>(factory);
  EXPECT_EQ(CallSlot<HRESULT>(factory, 3, outer, &IID_IPrintOemUI2, &object), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(CallSlot<HRESULT>(factory, 3, static_cast<IUnknown*>(nullptr), &IID_IPrintOemUI2, static_cast<void**>(nullptr)),
            E_POINTER);
  CallSlot<ULONG>(factory, 2);
}

TEST(PluginUiObjectTest, GetInfoAnswers) {
  PluginLibrary lib;
  ASSERT_TRUE(lib.loaded());
  void* ui = lib.Create(CLSID_OEMUI, IID_IPrintOemUI2);
  ASSERT_NE(ui, nullptr);
  struct Case {
    DWORD mode;
    DWORD size;
    bool withNeeded;
    HRESULT hr;
    DWORD error;
    DWORD value;
  } cases[] = {
      {OEMGI_GETSIGNATURE, 4, true, S_OK, 0, 0x4E45564F},
      {OEMGI_GETVERSION, 4, true, S_OK, 0, 1},
      {OEMGI_GETREQUESTEDHELPERINTERFACES, 8, true, S_OK, 0, 1},
      {OEMGI_GETINTERFACEVERSION, 4, true, E_FAIL, ERROR_INVALID_PARAMETER, 0},
      {OEMGI_GETPUBLISHERINFO, 4, true, E_FAIL, ERROR_INVALID_PARAMETER, 0},
      {OEMGI_GETSIGNATURE, 4, false, E_FAIL, ERROR_INVALID_PARAMETER, 0},
      {OEMGI_GETSIGNATURE, 3, true, E_FAIL, ERROR_INSUFFICIENT_BUFFER, 0},
  };
  for (const Case& c : cases) {
    DWORD buffer[2] = {0xCCCCCCCC, 0xCCCCCCCC};
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_EQ(CallSlot<HRESULT>(ui, kGetInfo, c.mode, static_cast<PVOID>(buffer), c.size,
                                c.withNeeded ? &needed : static_cast<DWORD*>(nullptr)),
              c.hr)
        << c.mode << " " << c.size;
    if (c.hr == S_OK) { EXPECT_EQ(buffer[0], c.value); }
    if (c.hr != S_OK) { EXPECT_EQ(GetLastError(), c.error); }
    if (c.error == ERROR_INSUFFICIENT_BUFFER) { EXPECT_EQ(needed, 4u) << "the size is reported on a short buffer"; }
  }
  DWORD needed = 0;
  EXPECT_EQ(CallSlot<HRESULT>(ui, kGetInfo, OEMGI_GETSIGNATURE, static_cast<PVOID>(nullptr), DWORD{4}, &needed), E_FAIL);
  EXPECT_EQ(needed, 4u);
  CallSlot<ULONG>(ui, kRelease);
}

TEST(PluginUiObjectTest, SlotsThatDoNothingYet) {
  PluginLibrary lib;
  ASSERT_TRUE(lib.loaded());
  void* ui = lib.Create(CLSID_OEMUI, IID_IPrintOemUI2);
  ASSERT_NE(ui, nullptr);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kCommonUIProp, DWORD{1}, static_cast<void*>(nullptr)), S_OK);
  // The sheets refuse a missing PROPSHEETUI_INFO, each with its own answer.
  SetLastError(0);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kDocumentPropertySheets, static_cast<void*>(nullptr), LPARAM{0}), E_INVALIDARG);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kDevicePropertySheets, static_cast<void*>(nullptr), LPARAM{0}), E_FAIL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kDevQueryPrintEx, nullptr, nullptr, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kUpgradePrinter, DWORD{2}, static_cast<PBYTE>(nullptr)), E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kPrinterEvent, static_cast<PWSTR>(nullptr), INT{1}, DWORD{0}, LPARAM{0}), E_FAIL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kDriverEvent, DWORD{1}, DWORD{1}, static_cast<LPBYTE>(nullptr), LPARAM{0}), E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kQueryColorProfile, nullptr, nullptr, nullptr, nullptr, ULONG{0}, nullptr, nullptr,
                              nullptr),
            E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kFontInstallerDlgProc, static_cast<HWND>(nullptr), UINT{0}, WPARAM{0}, LPARAM{0}),
            E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kUpdateExternalFonts, nullptr, nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kQueryJobAttributes, nullptr, nullptr, DWORD{1}, nullptr), E_NOTIMPL);
  for (DWORD mode : {0u, 3u}) EXPECT_EQ(CallSlot<HRESULT>(ui, kHideStandardUI, mode), E_NOTIMPL) << mode;
  for (DWORD mode : {OEMCUIP_DOCPROP, OEMCUIP_PRNPROP}) EXPECT_EQ(CallSlot<HRESULT>(ui, kHideStandardUI, mode), S_OK);

  OEMDMPARAM param{};
  EXPECT_EQ(CallSlot<HRESULT>(ui, kDevMode, OEMDM_SIZE, &param), S_OK);
  EXPECT_EQ(param.cbBufSize, 3248u);
  CallSlot<ULONG>(ui, kRelease);
}

// A core that offers IPrintCoreHelper (or not) and counts what it is asked.
class FakeCore final : public plat::oem::CoreHelperStubs<> {
 public:
  explicit FakeCore(bool offers) : offers_(offers) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    ++queries;
    if (offers_ && (IsEqualGUID(iid, IID_IPrintCoreHelper) || IsEqualGUID(iid, IID_IUnknown))) {
      *out = this;
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--refs); }
  int refs = 1;
  int queries = 0;

 private:
  bool offers_;
};

TEST(PluginUiObjectTest, PublishDriverInterfaceHoldsTheHelperOnce) {
  PluginLibrary lib;
  ASSERT_TRUE(lib.loaded());
  void* ui = lib.Create(CLSID_OEMUI, IID_IPrintOemUI2);
  ASSERT_NE(ui, nullptr);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kPublishDriverInterface, static_cast<IUnknown*>(nullptr)), E_FAIL)
      << "nothing to ask";
  FakeCore without(false);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kPublishDriverInterface, static_cast<IUnknown*>(&without)), E_FAIL);
  EXPECT_EQ(without.refs, 1);
  FakeCore core(true);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kPublishDriverInterface, static_cast<IUnknown*>(&core)), S_OK);
  EXPECT_EQ(core.refs, 2);
  EXPECT_EQ(CallSlot<HRESULT>(ui, kPublishDriverInterface, static_cast<IUnknown*>(&core)), S_OK);
  EXPECT_EQ(core.queries, 1) << "a held helper is not asked again";
  EXPECT_EQ(core.refs, 2);
  EXPECT_EQ(CallSlot<ULONG>(ui, kRelease), 0u);
  EXPECT_EQ(core.refs, 1) << "released by the destructor";
}

class PluginUiPrinterTest : public PluginPrinterTest {
 protected:
  // The library is loaded after the fixture resets the loaded modules, and goes before it does again.
  void SetUp() override {
    PluginPrinterTest::SetUp();
    lib_ = std::make_unique<PluginLibrary>();
    ASSERT_TRUE(lib_->loaded());
    ui_ = lib_->Create(CLSID_OEMUI, IID_IPrintOemUI2);
    ASSERT_NE(ui_, nullptr);
  }
  void TearDown() override {
    if (ui_) CallSlot<ULONG>(ui_, kRelease);
    lib_.reset();
    PluginPrinterTest::TearDown();
  }
  DWORD Caps(WORD index, void* output, DEVMODEW* pub, void* part) {
    DWORD result = 0xDEADBEEF;
    std::u16string name = rdftest::kPrinter;
    EXPECT_EQ(CallSlot<HRESULT>(ui_, kDeviceCapabilities, static_cast<OEMUIOBJ*>(nullptr), printer_, name.data(), index,
                                output, pub, part, DWORD{0}, &result),
              0x0004DC01);
    return result;
  }
  std::unique_ptr<PluginLibrary> lib_;
  void* ui_ = nullptr;
};

// Every index of the classic answers, for a DEVMODE of the core (public
// part, then the plug-in part) against the same settings in a classic one.
TEST_F(PluginUiPrinterTest, DeviceCapabilitiesAnswersAsTheClassicDriver) {
  Initialise();
  auto stored = plat::spooler::GetData(rdftest::kPrinter, kValueDefaultDevmode);
  ASSERT_TRUE(stored && stored->bytes.size() == kPrivateDevmodeSize);
  const std::vector<BYTE> classic = stored->bytes;
  const Part part = DefaultPart();

  for (WORD publicSize : {WORD{220}, WORD{156}}) {
    std::vector<BYTE> pub(classic.begin(), classic.begin() + publicSize);
    reinterpret_cast<DEVMODEW*>(pub.data())->dmSize = publicSize;
    reinterpret_cast<DEVMODEW*>(pub.data())->dmDriverExtra = 0;
    const std::vector<WORD> indices = {DC_FIELDS,  DC_PAPERS,    DC_PAPERSIZE,   DC_MINEXTENT,       DC_MAXEXTENT,
                                       DC_BINS,    DC_DUPLEX,    DC_SIZE,        DC_EXTRA,           DC_VERSION,
                                       DC_BINNAMES, DC_ENUMRESOLUTIONS, DC_FILEDEPENDENCIES, DC_TRUETYPE,
                                       DC_PAPERNAMES, DC_ORIENTATION, DC_COPIES, DC_COLLATE, DC_PRINTRATE,
                                       DC_PRINTRATEUNIT, DC_MEDIAREADY, DC_STAPLE, DC_PRINTRATEPPM, DC_COLORDEVICE};
    for (WORD index : indices) {
      std::vector<BYTE> want(64 * 1024), got(64 * 1024);
      const DWORD classicAnswer = printer_interface::DrvDeviceCapabilities(
          printer_, rdftest::kPrinter.c_str(), index, want.data(), reinterpret_cast<const DEVMODEW*>(classic.data()));
      Part p = part;
      const DWORD pluginAnswer = Caps(index, got.data(), reinterpret_cast<DEVMODEW*>(pub.data()), p.data());
      EXPECT_EQ(pluginAnswer, classicAnswer) << "index " << index << ", public part " << publicSize;
      if (index == DC_PAPERS) {
        // The plug-in reports a paper without a number by its user form's
        // position; this printer (set up by the classic driver) has none.
        for (DWORD i = 0; i < classicAnswer; ++i) {
          const WORD id = static_cast<WORD>(want[2 * i] | want[2 * i + 1] << 8);
          if (id > 118 && id != 256) want[2 * i] = want[2 * i + 1] = 0;
        }
      }
      EXPECT_EQ(want, got) << "index " << index << ", public part " << publicSize;
    }
  }
  // Without either DEVMODE the printer's defaults answer.
  EXPECT_EQ(Caps(DC_PAPERS, nullptr, nullptr, nullptr),
            printer_interface::DrvDeviceCapabilities(printer_, rdftest::kPrinter.c_str(), DC_PAPERS, nullptr, nullptr));
  std::vector<BYTE> pub(classic.begin(), classic.begin() + kPublicDevmodeSize);
  EXPECT_EQ(Caps(DC_DRIVER, nullptr, reinterpret_cast<DEVMODEW*>(pub.data()), Part(part).data()), 0x3093u);
}

TEST_F(PluginUiPrinterTest, DeviceCapabilitiesTakesTheDefaultsForAForeignPart) {
  Initialise();
  auto stored = plat::spooler::GetData(rdftest::kPrinter, kValueDefaultDevmode);
  ASSERT_TRUE(stored);
  std::vector<BYTE> pub(stored->bytes.begin(), stored->bytes.begin() + kPublicDevmodeSize);
  Part foreign = plugintest::PartWithHeader(3248, 0x1234, 1, 0xFF);
  Part own = DefaultPart();
  EXPECT_EQ(Caps(DC_COPIES, nullptr, reinterpret_cast<DEVMODEW*>(pub.data()), foreign.data()),
            Caps(DC_COPIES, nullptr, reinterpret_cast<DEVMODEW*>(pub.data()), own.data()));
}

TEST_F(PluginUiPrinterTest, DocumentEventStoresTheSharedResult) {
  Initialise();
  INT result = -5;
  EXPECT_EQ(CallSlot<HRESULT>(ui_, kDocumentEvent, printer_, static_cast<PVOID>(nullptr), INT{DOCUMENTEVENT_ENDDOC},
                              ULONG{0}, static_cast<PVOID>(nullptr), ULONG{0}, static_cast<PVOID>(nullptr), &result),
            S_OK);
  EXPECT_EQ(result, DOCUMENTEVENT_SUCCESS);
}

TEST_F(PluginUiPrinterTest, DevModeThroughTheTableRunsTheHandler) {
  Initialise();
  Part out(oemdm::kSize);
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.hPrinter = printer_;
  param.pOEMDMOut = out.data();
  param.cbBufSize = oemdm::kSize;
  EXPECT_EQ(CallSlot<HRESULT>(ui_, kDevMode, OEMDM_DEFAULT, &param), S_OK);
  EXPECT_EQ(out, DefaultPart());
}

}  // namespace
