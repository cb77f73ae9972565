// OEMPTXMLHandler: finds, removes and creates Print Schema elements in a
// ticket's DOM, qualifying names through the ticket's own prefixes; and the
// bounded text helpers it builds names with.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string>

#include "plat/oem.h"
#include "plat/xml.h"
#include "plugincommon/com_base.h"

namespace uiplugin {

// HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER).
inline constexpr HRESULT kTextCut = static_cast<HRESULT>(0x8007007A);
// Names and prefixes longer than this are refused.
inline constexpr std::size_t kMaxNameUnits = 10000;

struct FormatArg {
  const WCHAR* text = nullptr;  // for %s
  long long number = 0;         // for %d and %.4X
  FormatArg(const WCHAR* t) : text(t) {}
  FormatArg(long long n) : number(n) {}
};
// Formats "%s", "%d" and "%.4X" into buffer (units long, always ended by a
// zero unit): S_OK, E_INVALIDARG for no room at all, kTextCut when the text
// had to be cut.
HRESULT FormatBounded(WCHAR* buffer, std::size_t units, const char* format, std::initializer_list<FormatArg> args);
// The units before the zero unit; E_INVALIDARG when none lies within limit.
HRESULT BoundedLength(const WCHAR* text, std::size_t limit, std::size_t* length);

class OEMPTXMLHandler {
 public:
  OEMPTXMLHandler() = default;
  OEMPTXMLHandler(const OEMPTXMLHandler&) = delete;
  OEMPTXMLHandler& operator=(const OEMPTXMLHandler&) = delete;
  virtual ~OEMPTXMLHandler() = default;

  // Takes the ticket and its root, and a namespace manager from the core.
  HRESULT Initialize(IXMLDOMDocument2* ticket, IPrintCoreHelperUni* helper);
  // The framework "Feature" child of parent (null: the root) named ns:name; S_FALSE when none.
  HRESULT FindFeature(IXMLDOMNode* parent, const WCHAR* ns, const WCHAR* name, IXMLDOMElement** out);
  HRESULT FindNamedChild(IXMLDOMNode* parent, const WCHAR* elementNs, const WCHAR* elementName, const WCHAR* nameNs,
                         const WCHAR* name, IXMLDOMElement** out);
  // The feature's first framework "Option"; S_FALSE when none.
  HRESULT GetOptionNode(IXMLDOMElement* feature, IXMLDOMElement** out);
  // The "name" attribute resolved in the element's context.
  HRESULT GetNameAttribute(IXMLDOMElement* element, std::u16string* ns, std::u16string* local);
  // "prefix:name" with the prefix bound to ns at element (declared when none is).
  HRESULT GetQualifiedName(IXMLDOMElement* element, const WCHAR* ns, const WCHAR* name, std::u16string* out);
  HRESULT DeclarePrefix(IXMLDOMElement* element, const WCHAR* ns, const WCHAR* preferred, std::u16string* out);
  HRESULT SetAttribute(IXMLDOMElement* element, const WCHAR* name, const WCHAR* value);
  // A framework "Feature" appended to the root, or "Option" to the feature, named ns:name.
  HRESULT CreateFeature(const WCHAR* ns, const WCHAR* name, IXMLDOMElement** out);
  HRESULT CreateOption(IXMLDOMElement* feature, const WCHAR* ns, const WCHAR* name, IXMLDOMElement** out);
  // parent null: the root.
  HRESULT RemoveChild(IXMLDOMNode* parent, IXMLDOMNode* child);

 private:
  HRESULT CreateNamed(IXMLDOMNode* parent, const WCHAR* elementName, const WCHAR* ns, const WCHAR* name,
                      IXMLDOMElement** out);
  IXMLDOMNode* RootNode() const { return root_.Get(); }

  plugincommon::ComPtr<IXMLDOMDocument2> ticket_;
  plugincommon::ComPtr<IXMLDOMElement> root_;
  plugincommon::ComPtr<IMXNamespaceManager> manager_;
  DWORD prefixCounter_ = 0;
};

}  // namespace uiplugin
