// Our stand-in for the core printer driver's UI side: it loads a UI plug-in
// as the real core does (DllGetClassObject, IClassFactory, IPrintOemUI2),
// publishes its IPrintCoreHelper to it, and runs the devmode protocol and the
// device-capability query through the plug-in.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plat/com.h"
#include "plat/oem.h"
#include "plat/core_options.h"

namespace plat::core {

// The core's DEVMODE: a 220-byte public part, then the plug-in part.
inline constexpr std::size_t kPublicBytes = 220;

class UiPlugin {
 public:
  // Loads the library and creates its UI object of class uiClass; nullptr
  // with what went wrong in *error.
  static std::unique_ptr<UiPlugin> Load(const std::u16string& path, const CLSID& uiClass, std::string* error);
  ~UiPlugin();
  UiPlugin(const UiPlugin&) = delete;
  UiPlugin& operator=(const UiPlugin&) = delete;

  // PublishDriverInterface with the core's helper.
  HRESULT Publish();
  // OEMDM_SIZE: the part's size in *size.
  HRESULT PartSize(DWORD* size);
  // OEMDM_DEFAULT into part (sized by PartSize first).
  HRESULT DefaultPart(HANDLE printer, std::vector<BYTE>& part);
  // OEMDM_CONVERT (or OEMDM_MERGE) of in over out; pub is the public output.
  HRESULT ConvertPart(HANDLE printer, const std::vector<BYTE>& in, std::vector<BYTE>& out, DEVMODEW* pub, bool merge);
  // DeviceCapabilities with the core's DEVMODE (pub and part, either may be null).
  HRESULT Capabilities(HANDLE printer, const std::u16string& device, WORD index, void* output, DEVMODEW* pub,
                       std::vector<BYTE>* part, DWORD* result);

  // The printer and public DEVMODE the helper's features work on while a
  // sheet is open (null: none).
  void BindSheet(HANDLE printer, DEVMODEW* devmode);

  IPrintOemUI2* Ui() const { return ui_; }
  HMODULE Module() const { return module_; }

 private:
  UiPlugin() = default;
  HMODULE module_ = nullptr;
  IPrintOemUI2* ui_ = nullptr;
  IPrintCoreHelperUni* helper_ = nullptr;
};

// The core's helper: the features "Orientation" {PORTRAIT, LANDSCAPE_CC90}
// and "PaperSize" (one option per spooler form, named as the form), set on
// the bound public DEVMODE (see core_options.h); the XML namespace manager is
// made in process. A new object with one reference.
// The plug-in that key (OEM1File, OEM1ConfigFile) of [OEMFiles] names in
// the printer driver's INI, the first dependent file ending in ".ini"; a
// bare file name lies in the INI's folder. Empty when none is named.
std::u16string OemPluginPath(HANDLE printer, const char16_t* key);

IPrintCoreHelperUni* NewCoreHelper();
// What the helper's features work on (see UiPlugin::BindSheet).
void BindCoreHelper(IPrintCoreHelperUni* helper, HANDLE printer, DEVMODEW* devmode);

inline constexpr const char* kFrameworkNamespace =
    "http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework";
inline constexpr const char* kKeywordsNamespace =
    "http://schemas.microsoft.com/windows/2003/08/printing/printschemakeywords";

// The core's own ticket: the eight private features in the keywords
// namespace, each with its first option.
std::string DefaultTicket();

// A plug-in's PrintTicket provider, bound to a printer with the core's helper.
class TicketProvider {
 public:
  static std::unique_ptr<TicketProvider> Load(const std::u16string& path, const CLSID& providerClass, HANDLE printer,
                                              std::string* error);
  ~TicketProvider();
  TicketProvider(const TicketProvider&) = delete;
  TicketProvider& operator=(const TicketProvider&) = delete;

  // ConvertDevModeToPrintTicket of part over the ticket base; the result in *xml.
  // E_INVALIDARG for a base that does not parse.
  HRESULT ToTicket(std::string_view base, std::vector<BYTE>& part, std::string* xml);
  // Parses xml (E_INVALIDARG when it does not) and runs ConvertPrintTicketToDevMode into part.
  HRESULT FromTicket(std::string_view xml, std::vector<BYTE>& part);

  IPrintOemPrintTicketProvider* Provider() const { return provider_; }

 private:
  TicketProvider() = default;
  HMODULE module_ = nullptr;
  IPrintOemPrintTicketProvider* provider_ = nullptr;
  IPrintCoreHelperUni* helper_ = nullptr;
};

}  // namespace plat::core
