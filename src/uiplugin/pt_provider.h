// The PrintTicket provider: maps the eight private features of a PrintTicket
// to and from the plug-in devmode part.
#pragma once

#include "plat/oem.h"
#include "plugincommon/com_base.h"

namespace uiplugin {

// The private feature namespace that BindPrinter publishes.
inline constexpr const WCHAR* kPrivateFeatureNamespace = u"http://duplicator.invalid/printing/XPSDrv_Feature";

class INevoOEMPTProvider final
    : public plugincommon::ComObject<INevoOEMPTProvider, IPrintOemPrintTicketProvider, plugincommon::Lifetime::Module,
                                     &IID_IUnknown, &IID_IPrintOemPrintTicketProvider> {
 public:
  INevoOEMPTProvider() = default;

  HRESULT STDMETHODCALLTYPE GetSupportedVersions(HANDLE printer, INT* versions[], INT* count) override;
  HRESULT STDMETHODCALLTYPE BindPrinter(HANDLE printer, INT version, OEMPTOPTS** options, INT* namespaceCount,
                                        BSTR** namespaces) override;
  HRESULT STDMETHODCALLTYPE PublishDriverInterface(IUnknown* driver) override;
  HRESULT STDMETHODCALLTYPE QueryDeviceDefaultNamespace(BSTR* uri) override;
  HRESULT STDMETHODCALLTYPE ConvertPrintTicketToDevMode(IXMLDOMDocument2* ticket, ULONG devmodeSize,
                                                        DEVMODEW* devmode, ULONG privateSize,
                                                        PVOID privatePart) override;
  HRESULT STDMETHODCALLTYPE ConvertDevModeToPrintTicket(ULONG devmodeSize, DEVMODEW* devmode, ULONG privateSize,
                                                        PVOID privatePart, IXMLDOMDocument2* ticket) override;
  HRESULT STDMETHODCALLTYPE CompletePrintCapabilities(IXMLDOMDocument2* ticket,
                                                      IXMLDOMDocument2* capabilities) override;
  HRESULT STDMETHODCALLTYPE ExpandIntentOptions(IXMLDOMDocument2* ticket) override;
  HRESULT STDMETHODCALLTYPE ValidatePrintTicket(IXMLDOMDocument2* ticket) override;

  // The table's last slot.
  virtual ~INevoOEMPTProvider();

 private:
  HANDLE printer_ = nullptr;
  plugincommon::ComPtr<IPrintCoreHelperUni> helper_;
};

}  // namespace uiplugin
