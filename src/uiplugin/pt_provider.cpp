#include "uiplugin/pt_provider.h"

#include "uiplugin/pt_convert.h"
#include "uiplugin/pt_handler.h"

namespace uiplugin {

INevoOEMPTProvider::~INevoOEMPTProvider() { helper_.Reset(); }

HRESULT INevoOEMPTProvider::GetSupportedVersions(HANDLE, INT* versions[], INT* count) {
  if (!versions || !count) return E_INVALIDARG;
  auto* block = static_cast<INT*>(CoTaskMemAlloc(sizeof(INT)));
  if (!block) {
    *count = 0;
    return E_OUTOFMEMORY;
  }
  block[0] = 1;
  *versions = block;
  *count = 1;
  return S_OK;
}

HRESULT INevoOEMPTProvider::BindPrinter(HANDLE printer, INT version, OEMPTOPTS** options, INT* namespaceCount,
                                        BSTR** namespaces) {
  if (!printer || !options || !namespaceCount || !namespaces) return E_INVALIDARG;
  *namespaceCount = 0;
  *namespaces = nullptr;
  if (version != 1) return E_VERSION_NOT_SUPPORTED;
  printer_ = printer;
  *options = nullptr;
  auto* array = static_cast<BSTR*>(CoTaskMemAlloc(sizeof(BSTR)));
  if (!array) return E_OUTOFMEMORY;
  array[0] = SysAllocString(kPrivateFeatureNamespace);
  if (!array[0]) {
    CoTaskMemFree(array);
    return E_OUTOFMEMORY;
  }
  *namespaces = array;
  *namespaceCount = 1;
  return S_OK;
}

HRESULT INevoOEMPTProvider::PublishDriverInterface(IUnknown* driver) {
  if (!driver) return E_INVALIDARG;
  if (helper_) return S_OK;
  const HRESULT hr = driver->QueryInterface(IID_IPrintCoreHelperUni, helper_.PutVoid());
  if (hr == E_NOINTERFACE) return S_OK;
  return hr;
}

HRESULT INevoOEMPTProvider::QueryDeviceDefaultNamespace(BSTR*) { return E_NOTIMPL; }

HRESULT INevoOEMPTProvider::ConvertPrintTicketToDevMode(IXMLDOMDocument2* ticket, ULONG devmodeSize,
                                                        DEVMODEW* devmode, ULONG privateSize, PVOID privatePart) {
  if (!ticket || devmodeSize == 0 || !devmode || privateSize == 0 || !privatePart) return E_INVALIDARG;
  OEMPTXMLHandler handler;
  // A ticket that cannot be read leaves the DEVMODE as it is.
  if (SUCCEEDED(handler.Initialize(ticket, helper_.Get())))
    PrintTicketToDevmode(handler, devmodeSize, privateSize, privatePart);
  return S_OK;
}

HRESULT INevoOEMPTProvider::ConvertDevModeToPrintTicket(ULONG devmodeSize, DEVMODEW* devmode, ULONG privateSize,
                                                        PVOID privatePart, IXMLDOMDocument2* ticket) {
  if (!ticket || devmodeSize == 0 || !devmode || privateSize == 0 || !privatePart) return E_INVALIDARG;
  OEMPTXMLHandler handler;
  HRESULT hr = handler.Initialize(ticket, helper_.Get());
  if (SUCCEEDED(hr)) hr = DevmodeToPrintTicket(handler, devmodeSize, privateSize, privatePart);
  return hr == S_FALSE ? S_OK : hr;
}

HRESULT INevoOEMPTProvider::CompletePrintCapabilities(IXMLDOMDocument2*, IXMLDOMDocument2* capabilities) {
  return capabilities ? S_OK : E_INVALIDARG;
}

HRESULT INevoOEMPTProvider::ExpandIntentOptions(IXMLDOMDocument2* ticket) {
  if (!ticket) return E_INVALIDARG;
  OEMPTXMLHandler handler;
  return handler.Initialize(ticket, helper_.Get());
}

HRESULT INevoOEMPTProvider::ValidatePrintTicket(IXMLDOMDocument2* ticket) {
  return ticket ? S_NO_CONFLICT : E_INVALIDARG;
}

}  // namespace uiplugin
