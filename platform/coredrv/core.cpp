#include "plat/core.h"

#include <array>
#include <map>

#include "plat/profile.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plat/xml.h"

namespace plat::core {
namespace {

constexpr std::array<PCSTR, 2> kCoreFeatures{"Orientation", "PaperSize"};

// The core's helper: the core's options of the bound sheet and the XML
// library's namespace manager, in process.
class CoreHelper final : public plat::com::Unknown<CoreHelper, plat::oem::CoreHelperUniStubs, &IID_IUnknown,
                                                    &IID_IPrintCoreHelper, &IID_IPrintCoreHelperUni> {
 public:
  HRESULT STDMETHODCALLTYPE SetOptions(DEVMODEW* devmode, DWORD size, BOOL, const PRINT_FEATURE_OPTION* pairs,
                                       DWORD count, DWORD* resolved, DWORD* conflicts) override {
    if (!pairs || count == 0) return E_INVALIDARG;
    DEVMODEW* target = devmode ? devmode : options_.devmode;
    if (devmode && size < kPublicBytes) return E_INVALIDARG;
    if (!target) return E_FAIL;
    for (DWORD i = 0; i < count; ++i) {
      if (!pairs[i].pszFeature || !pairs[i].pszOption) return E_INVALIDARG;
      const HRESULT hr = SetCoreOption(options_.printer, *target, pairs[i].pszFeature, pairs[i].pszOption);
      if (FAILED(hr)) return hr;
    }
    if (resolved) *resolved = count;
    if (conflicts) *conflicts = 0;
    return S_NO_CONFLICT;
  }
  HRESULT STDMETHODCALLTYPE EnumFeatures(PCSTR** features, DWORD* count) override {
    if (!features || !count) return E_POINTER;
    *features = const_cast<PCSTR*>(kCoreFeatures.data());
    *count = static_cast<DWORD>(kCoreFeatures.size());
    return S_OK;
  }
  // The list stays valid until the next call for the same feature.
  HRESULT STDMETHODCALLTYPE EnumOptions(PCSTR feature, PCSTR** options, DWORD* count) override {
    if (!feature || !options || !count) return E_POINTER;
    *options = nullptr;
    *count = 0;
    OptionList& list = options_.lists[feature];
    const HRESULT hr = CoreOptions(options_.printer, feature, list.names);
    if (FAILED(hr)) return hr;
    list.pointers.clear();
    for (const std::string& n : list.names) list.pointers.push_back(n.c_str());
    *options = list.pointers.data();
    *count = static_cast<DWORD>(list.pointers.size());
    return S_OK;
  }
  // The XML library's namespace manager, in process.
  HRESULT STDMETHODCALLTYPE CreateInstanceOfMSXMLObject(REFCLSID clsid, IUnknown* outer, DWORD, REFIID iid,
                                                        LPVOID* out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!IsEqualGUID(clsid, CLSID_MXNamespaceManager)) return REGDB_E_CLASSNOTREG;
    IMXNamespaceManager* manager = plat::xml::NewNamespaceManager();
    if (!manager) return E_OUTOFMEMORY;
    const HRESULT hr = manager->QueryInterface(iid, out);
    manager->Release();
    return hr;
  }

  void Bind(HANDLE printer, DEVMODEW* devmode) {
    options_.printer = printer;
    options_.devmode = devmode;
  }

 private:
  struct OptionList {
    std::vector<std::string> names;
    std::vector<PCSTR> pointers;
  };
  struct Options {
    HANDLE printer = nullptr;
    DEVMODEW* devmode = nullptr;  // the sheet's public DEVMODE
    std::map<std::string, OptionList> lists;
  };
  Options options_;
};

using GetClassObjectFn = HRESULT(WINAPI*)(REFCLSID, REFIID, LPVOID*);

}  // namespace

void BindCoreHelper(IPrintCoreHelperUni* helper, HANDLE printer, DEVMODEW* devmode) {
  if (helper) static_cast<CoreHelper*>(helper)->Bind(printer, devmode);
}

IPrintCoreHelperUni* NewCoreHelper() { return new CoreHelper; }

std::u16string OemPluginPath(HANDLE printer, const char16_t* key) {
  DWORD needed = 0;
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  if (needed < sizeof(DRIVER_INFO_3W)) return {};
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterDriverW(printer, nullptr, 3, buffer.data(), needed, &needed)) return {};
  const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  for (const WCHAR* entry = info->pDependentFiles; entry && *entry; entry += plat::view(entry).size() + 1) {
    const std::u16string_view name = plat::view(entry);
    if (name.size() < 4 || !plat::EqualsNoCase(name.substr(name.size() - 4), u".ini")) continue;
    const std::u16string file = plat::profile::ReadValue(name, u"OEMFiles", key).value_or(u"");
    if (file.empty()) return {};
    if (file.find_first_of(u"\\/") != std::u16string::npos) return file;
    const std::size_t slash = name.find_last_of(u"\\/");
    return std::u16string(slash == std::u16string_view::npos ? std::u16string_view() : name.substr(0, slash + 1)) + file;
  }
  return {};
}

std::unique_ptr<UiPlugin> UiPlugin::Load(const std::u16string& path, const CLSID& uiClass, std::string* error) {
  std::unique_ptr<UiPlugin> plugin(new UiPlugin);
  plugin->module_ = LoadLibraryW(path.c_str());
  if (!plugin->module_) {
    if (error) *error = "cannot load " + plat::utf8(path);
    return nullptr;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(plugin->module_, "DllGetClassObject"));
  if (!getClassObject) {
    if (error) *error = "no DllGetClassObject in " + plat::utf8(path);
    return nullptr;
  }
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject(uiClass, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IPrintOemUI2, reinterpret_cast<void**>(&plugin->ui_));
    factory->Release();
  }
  if (FAILED(hr) || !plugin->ui_) {
    if (error) *error = "the plug-in made no UI object";
    return nullptr;
  }
  plugin->helper_ = NewCoreHelper();
  return plugin;
}

UiPlugin::~UiPlugin() {
  if (ui_) ui_->Release();
  if (helper_) helper_->Release();
  if (module_) FreeLibrary(module_);
}

HRESULT UiPlugin::Publish() { return ui_->PublishDriverInterface(helper_); }

void UiPlugin::BindSheet(HANDLE printer, DEVMODEW* devmode) { BindCoreHelper(helper_, printer, devmode); }

HRESULT UiPlugin::PartSize(DWORD* size) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  const HRESULT hr = ui_->DevMode(OEMDM_SIZE, &param);
  *size = param.cbBufSize;
  return hr;
}

HRESULT UiPlugin::DefaultPart(HANDLE printer, std::vector<BYTE>& part) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.hPrinter = printer;
  param.hModule = module_;
  param.pOEMDMOut = part.data();
  param.cbBufSize = static_cast<DWORD>(part.size());
  return ui_->DevMode(OEMDM_DEFAULT, &param);
}

HRESULT UiPlugin::ConvertPart(HANDLE printer, const std::vector<BYTE>& in, std::vector<BYTE>& out, DEVMODEW* pub,
                              bool merge) {
  OEMDMPARAM param{};
  param.cbSize = sizeof param;
  param.hPrinter = printer;
  param.hModule = module_;
  param.pPublicDMOut = pub;
  param.pOEMDMIn = const_cast<BYTE*>(in.data());
  param.pOEMDMOut = out.data();
  param.cbBufSize = static_cast<DWORD>(out.size());
  return ui_->DevMode(merge ? OEMDM_MERGE : OEMDM_CONVERT, &param);
}

HRESULT UiPlugin::Capabilities(HANDLE printer, const std::u16string& device, WORD index, void* output, DEVMODEW* pub,
                               std::vector<BYTE>* part, DWORD* result) {
  std::u16string name = device;
  return ui_->DeviceCapabilities(nullptr, printer, name.data(), index, output, pub, part ? part->data() : nullptr, 0,
                                 result);
}

// ---------------------------------------------------------------------------

std::string DefaultTicket() {
  std::string t =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<psf:PrintTicket xmlns:psf=\"" + std::string(kFrameworkNamespace) + "\" xmlns:psk=\"" +
      std::string(kKeywordsNamespace) + "\" version=\"1\">\n";
  const char* const features[][2] = {{"PageLayout", "Standard"}, {"PageOrder", "Ascending"},
                                     {"MarginPlus", "ON"},       {"Rotation180", "ON"},
                                     {"ProgramPrinting", "ON"},  {"Destination", "DirectionPrint"},
                                     {"ScreeningLines", "0"},    {"ScreeningAngle", "0"}};
  for (const auto& f : features)
    t += std::string("  <psf:Feature name=\"psk:") + f[0] + "\"><psf:Option name=\"psk:" + f[1] +
         "\"/></psf:Feature>\n";
  return t + "</psf:PrintTicket>\n";
}

std::unique_ptr<TicketProvider> TicketProvider::Load(const std::u16string& path, const CLSID& providerClass,
                                                     HANDLE printer, std::string* error) {
  std::unique_ptr<TicketProvider> p(new TicketProvider);
  p->module_ = LoadLibraryW(path.c_str());
  if (!p->module_) {
    if (error) *error = "cannot load " + plat::utf8(path);
    return nullptr;
  }
  auto getClassObject = reinterpret_cast<GetClassObjectFn>(GetProcAddress(p->module_, "DllGetClassObject"));
  IClassFactory* factory = nullptr;
  HRESULT hr = getClassObject ? getClassObject(providerClass, IID_IClassFactory, reinterpret_cast<void**>(&factory))
                              : E_FAIL;
  if (SUCCEEDED(hr)) {
    hr = factory->CreateInstance(nullptr, IID_IPrintOemPrintTicketProvider, reinterpret_cast<void**>(&p->provider_));
    factory->Release();
  }
  if (FAILED(hr) || !p->provider_) {
    if (error) *error = "the plug-in made no PrintTicket provider";
    return nullptr;
  }
  p->helper_ = NewCoreHelper();
  OEMPTOPTS* options = nullptr;
  INT count = 0;
  BSTR* namespaces = nullptr;
  hr = p->provider_->BindPrinter(printer, 1, &options, &count, &namespaces);
  for (INT i = 0; namespaces && i < count; ++i) SysFreeString(namespaces[i]);
  CoTaskMemFree(namespaces);
  if (SUCCEEDED(hr)) hr = p->provider_->PublishDriverInterface(p->helper_);
  if (FAILED(hr)) {
    if (error) *error = "the PrintTicket provider refused the printer";
    return nullptr;
  }
  return p;
}

TicketProvider::~TicketProvider() {
  if (provider_) provider_->Release();
  if (helper_) helper_->Release();
  if (module_) FreeLibrary(module_);
}

HRESULT TicketProvider::ToTicket(std::string_view base, std::vector<BYTE>& part, std::string* xml) {
  std::string why;
  IXMLDOMDocument2* ticket = plat::xml::Parse(base, &why);
  if (!ticket) return E_INVALIDARG;
  DEVMODEW pub{};
  pub.dmSize = kPublicBytes;
  pub.dmDriverExtra = static_cast<WORD>(part.size());
  const HRESULT hr = provider_->ConvertDevModeToPrintTicket(sizeof pub, &pub, static_cast<ULONG>(part.size()),
                                                            part.data(), ticket);
  if (SUCCEEDED(hr)) *xml = plat::xml::Serialize(ticket);
  ticket->Release();
  return hr;
}

HRESULT TicketProvider::FromTicket(std::string_view xml, std::vector<BYTE>& part) {
  IXMLDOMDocument2* ticket = plat::xml::Parse(xml, nullptr);
  if (!ticket) return E_INVALIDARG;
  DEVMODEW pub{};
  pub.dmSize = kPublicBytes;
  pub.dmDriverExtra = static_cast<WORD>(part.size());
  const HRESULT hr = provider_->ConvertPrintTicketToDevMode(ticket, sizeof pub, &pub, static_cast<ULONG>(part.size()),
                                                            part.data());
  ticket->Release();
  return hr;
}

}  // namespace plat::core
