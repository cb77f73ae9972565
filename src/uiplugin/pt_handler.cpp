#include "uiplugin/pt_handler.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "uiplugin/pt_keywords.h"

namespace uiplugin {
namespace {

// A BSTR owned for one call.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text) : s_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(s_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return s_; }
  BSTR* put() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  std::u16string text() const { return s_ ? std::u16string(s_, SysStringLen(s_)) : std::u16string(); }
  bool ok() const { return s_ != nullptr; }

 private:
  BSTR s_ = nullptr;
};

// A name from outside the DOM, measured within the limit.
HRESULT Name(const WCHAR* text, std::u16string_view* out) {
  std::size_t n = 0;
  const HRESULT hr = BoundedLength(text, kMaxNameUnits + 1, &n);
  if (FAILED(hr)) return hr;
  if (n > kMaxNameUnits) return E_INVALIDARG;
  *out = std::u16string_view(text, n);
  return S_OK;
}

bool IsElement(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  return SUCCEEDED(node->get_nodeType(&type)) && type == NODE_ELEMENT;
}

bool Is(IXMLDOMNode* node, const WCHAR* ns, const WCHAR* local) {
  Bstr name, uri;
  if (FAILED(node->get_baseName(name.put())) || FAILED(node->get_namespaceURI(uri.put()))) return false;
  return name.text() == local && uri.text() == ns;
}

}  // namespace

HRESULT FormatBounded(WCHAR* buffer, std::size_t units, const char* format, std::initializer_list<FormatArg> args) {
  if (!buffer || units == 0 || !format) return E_INVALIDARG;
  std::u16string text;
  auto arg = args.begin();
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      text.push_back(static_cast<char16_t>(static_cast<unsigned char>(*f)));
      continue;
    }
    const std::string_view rest(f);
    if (arg == args.end()) return E_INVALIDARG;
    if (rest.starts_with("%s")) {
      std::size_t n = 0;
      if (!arg->text || FAILED(BoundedLength(arg->text, units, &n))) {
        // Longer than the buffer: it would be cut anyway.
        if (!arg->text) return E_INVALIDARG;
        text.append(arg->text, units);
      } else {
        text.append(arg->text, n);
      }
      f += 1;
    } else if (rest.starts_with("%d")) {
      for (char c : std::to_string(arg->number)) text.push_back(static_cast<char16_t>(c));
      f += 1;
    } else if (rest.starts_with("%.4X")) {
      char hex[32];
      std::snprintf(hex, sizeof hex, "%.4llX", static_cast<unsigned long long>(arg->number));
      for (const char* h = hex; *h; ++h) text.push_back(static_cast<char16_t>(*h));
      f += 3;
    } else {
      return E_INVALIDARG;
    }
    ++arg;
  }
  const bool cut = text.size() >= units;
  const std::size_t n = cut ? units - 1 : text.size();
  text.copy(buffer, n);
  buffer[n] = 0;
  return cut ? kTextCut : S_OK;
}

HRESULT BoundedLength(const WCHAR* text, std::size_t limit, std::size_t* length) {
  if (!text || !length) return E_INVALIDARG;
  for (std::size_t i = 0; i < limit; ++i) {
    if (text[i] == 0) {
      *length = i;
      return S_OK;
    }
  }
  return E_INVALIDARG;
}

HRESULT OEMPTXMLHandler::Initialize(IXMLDOMDocument2* ticket, IPrintCoreHelperUni* helper) {
  if (!ticket || !helper) return E_INVALIDARG;
  ticket->AddRef();
  *ticket_.Put() = ticket;
  HRESULT hr = helper->CreateInstanceOfMSXMLObject(CLSID_MXNamespaceManager, nullptr, CLSCTX_INPROC_SERVER,
                                                   IID_IMXNamespaceManager, manager_.PutVoid());
  if (SUCCEEDED(hr) && !manager_) hr = E_FAIL;
  if (SUCCEEDED(hr)) {
    hr = ticket->get_documentElement(root_.Put());
    if (hr == S_FALSE || !root_) hr = E_FAIL;
  }
  if (FAILED(hr)) {
    root_.Reset();
    manager_.Reset();
    ticket_.Reset();
  }
  return hr;
}

HRESULT OEMPTXMLHandler::FindFeature(IXMLDOMNode* parent, const WCHAR* ns, const WCHAR* name, IXMLDOMElement** out) {
  return FindNamedChild(parent, PtKeywordTable[kPtFrameworkNamespace], PtKeywordTable[kPtFeature], ns, name, out);
}

HRESULT OEMPTXMLHandler::FindNamedChild(IXMLDOMNode* parent, const WCHAR* elementNs, const WCHAR* elementName,
                                        const WCHAR* nameNs, const WCHAR* name, IXMLDOMElement** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!parent) parent = RootNode();
  if (!parent || !elementNs || !elementName || !nameNs || !name) return E_INVALIDARG;
  plugincommon::ComPtr<IXMLDOMNode> node;
  HRESULT hr = parent->get_firstChild(node.Put());
  while (hr == S_OK && node) {
    if (IsElement(node.Get()) && Is(node.Get(), elementNs, elementName)) {
      plugincommon::ComPtr<IXMLDOMElement> element;
      if (SUCCEEDED(node->QueryInterface(IID_IXMLDOMElement, element.PutVoid()))) {
        std::u16string ns, local;
        if (GetNameAttribute(element.Get(), &ns, &local) == S_OK && ns == nameNs && local == name) {
          *out = element.Get();
          (*out)->AddRef();
          return S_OK;
        }
      }
    }
    plugincommon::ComPtr<IXMLDOMNode> next;
    hr = node->get_nextSibling(next.Put());
    node.Swap(next);
  }
  return FAILED(hr) ? hr : S_FALSE;
}

HRESULT OEMPTXMLHandler::GetOptionNode(IXMLDOMElement* feature, IXMLDOMElement** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!feature) return E_INVALIDARG;
  plugincommon::ComPtr<IXMLDOMNode> node;
  HRESULT hr = feature->get_firstChild(node.Put());
  while (hr == S_OK && node) {
    if (IsElement(node.Get()) &&
        Is(node.Get(), PtKeywordTable[kPtFrameworkNamespace], PtKeywordTable[kPtOption]))
      return node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(out));
    plugincommon::ComPtr<IXMLDOMNode> next;
    hr = node->get_nextSibling(next.Put());
    node.Swap(next);
  }
  return FAILED(hr) ? hr : S_FALSE;
}

HRESULT OEMPTXMLHandler::GetNameAttribute(IXMLDOMElement* element, std::u16string* ns, std::u16string* local) {
  if (!element || !ns || !local || !manager_) return E_INVALIDARG;
  Bstr attribute(PtKeywordTable[kPtName]), value;
  if (!attribute.ok()) return E_OUTOFMEMORY;
  HRESULT hr = element->getAttribute(attribute.get(), value.put());
  if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
  const std::u16string text = value.text();
  const std::size_t colon = text.find(u':');
  const std::u16string prefix = colon == std::u16string::npos ? u"" : text.substr(0, colon);
  Bstr p(prefix), uri;
  if (!p.ok()) return E_OUTOFMEMORY;
  hr = manager_->getURI(p.get(), element, uri.put());
  if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
  *ns = uri.text();
  *local = colon == std::u16string::npos ? text : text.substr(colon + 1);
  return S_OK;
}

HRESULT OEMPTXMLHandler::GetQualifiedName(IXMLDOMElement* element, const WCHAR* ns, const WCHAR* name,
                                          std::u16string* out) {
  if (!element || !out || !manager_) return E_INVALIDARG;
  std::u16string_view nsText, nameText;
  HRESULT hr = Name(ns, &nsText);
  if (SUCCEEDED(hr)) hr = Name(name, &nameText);
  if (FAILED(hr)) return hr;
  Bstr uri(nsText), prefix;
  if (!uri.ok()) return E_OUTOFMEMORY;
  std::u16string p;
  hr = manager_->getPrefix(uri.get(), element, prefix.put());
  if (FAILED(hr)) return hr;
  if (hr == S_OK) {
    p = prefix.text();
  } else {
    hr = DeclarePrefix(element, ns, nullptr, &p);
    if (FAILED(hr)) return hr;
  }
  if (p.size() > kMaxNameUnits) return E_INVALIDARG;
  std::u16string buffer(p.size() + nameText.size() + 2, u'\0');
  const std::u16string nameString(nameText);
  hr = p.empty() ? FormatBounded(buffer.data(), buffer.size(), "%s", {nameString.c_str()})
                 : FormatBounded(buffer.data(), buffer.size(), "%s:%s", {p.c_str(), nameString.c_str()});
  if (FAILED(hr)) return hr;
  *out = buffer.c_str();
  return S_OK;
}

HRESULT OEMPTXMLHandler::DeclarePrefix(IXMLDOMElement* element, const WCHAR* ns, const WCHAR* preferred,
                                       std::u16string* out) {
  if (!element || !out || !manager_ || !root_) return E_INVALIDARG;
  std::u16string_view nsText;
  HRESULT hr = Name(ns, &nsText);
  if (FAILED(hr)) return hr;
  auto bound = [&](const std::u16string& prefix, bool* isBound) {
    Bstr p(prefix), uri;
    if (!p.ok()) return E_OUTOFMEMORY;
    const HRESULT r = manager_->getURI(p.get(), element, uri.put());
    *isBound = r == S_OK;
    return FAILED(r) ? r : S_OK;
  };
  std::u16string prefix;
  bool isBound = true;
  if (preferred) {
    std::u16string_view preferredText;
    hr = Name(preferred, &preferredText);
    if (FAILED(hr)) return hr;
    prefix = preferredText;
    hr = bound(prefix, &isBound);
    if (FAILED(hr)) return hr;
  }
  WCHAR candidate[16];
  while (isBound) {
    if (prefixCounter_ > 0xFFFE) return E_FAIL;
    hr = FormatBounded(candidate, 16, "ns%.4X", {static_cast<long long>(prefixCounter_++)});
    if (FAILED(hr)) return hr;
    prefix = candidate;
    hr = bound(prefix, &isBound);
    if (FAILED(hr)) return hr;
  }
  std::u16string attribute(prefix.size() + 8, u'\0');
  hr = FormatBounded(attribute.data(), attribute.size(), "xmlns:%s", {prefix.c_str()});
  if (FAILED(hr)) return hr;
  const std::u16string nsString(nsText);
  hr = SetAttribute(root_.Get(), attribute.c_str(), nsString.c_str());
  if (FAILED(hr)) return hr;
  Bstr p(prefix), uri(nsText);
  if (!p.ok() || !uri.ok()) return E_OUTOFMEMORY;
  hr = manager_->declarePrefix(p.get(), uri.get());
  if (FAILED(hr)) return hr;
  *out = prefix;
  return S_OK;
}

HRESULT OEMPTXMLHandler::SetAttribute(IXMLDOMElement* element, const WCHAR* name, const WCHAR* value) {
  if (!element || !name || !value || !ticket_) return E_INVALIDARG;
  std::u16string_view nameText, valueText;
  HRESULT hr = Name(name, &nameText);
  if (SUCCEEDED(hr)) hr = Name(value, &valueText);
  if (FAILED(hr)) return hr;
  Bstr n(nameText), v(valueText);
  if (!n.ok() || !v.ok()) return E_OUTOFMEMORY;
  plugincommon::ComPtr<IXMLDOMAttribute> attribute;
  hr = ticket_->createAttribute(n.get(), attribute.Put());
  if (SUCCEEDED(hr)) hr = attribute->put_value(v.get());
  if (SUCCEEDED(hr)) hr = element->setAttributeNode(attribute.Get(), nullptr);
  return hr;
}

HRESULT OEMPTXMLHandler::CreateNamed(IXMLDOMNode* parent, const WCHAR* elementName, const WCHAR* ns,
                                     const WCHAR* name, IXMLDOMElement** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!parent || !ticket_ || !root_) return E_INVALIDARG;
  const WCHAR* framework = PtKeywordTable[kPtFrameworkNamespace];
  std::u16string qualified;
  HRESULT hr = GetQualifiedName(root_.Get(), framework, elementName, &qualified);
  if (FAILED(hr)) return hr;
  Bstr q(qualified), uri(framework);
  if (!q.ok() || !uri.ok()) return E_OUTOFMEMORY;
  plugincommon::ComPtr<IXMLDOMNode> node;
  hr = ticket_->createNode(NODE_ELEMENT, q.get(), uri.get(), node.Put());
  if (SUCCEEDED(hr)) hr = parent->appendChild(node.Get(), nullptr);
  plugincommon::ComPtr<IXMLDOMElement> element;
  if (SUCCEEDED(hr)) hr = node->QueryInterface(IID_IXMLDOMElement, element.PutVoid());
  std::u16string value;
  if (SUCCEEDED(hr)) hr = GetQualifiedName(element.Get(), ns, name, &value);
  if (SUCCEEDED(hr)) hr = SetAttribute(element.Get(), PtKeywordTable[kPtName], value.c_str());
  if (SUCCEEDED(hr)) {
    *out = element.Get();
    (*out)->AddRef();
  }
  return hr;
}

HRESULT OEMPTXMLHandler::CreateFeature(const WCHAR* ns, const WCHAR* name, IXMLDOMElement** out) {
  return CreateNamed(RootNode(), PtKeywordTable[kPtFeature], ns, name, out);
}

HRESULT OEMPTXMLHandler::CreateOption(IXMLDOMElement* feature, const WCHAR* ns, const WCHAR* name,
                                      IXMLDOMElement** out) {
  return CreateNamed(feature, PtKeywordTable[kPtOption], ns, name, out);
}

HRESULT OEMPTXMLHandler::RemoveChild(IXMLDOMNode* parent, IXMLDOMNode* child) {
  if (!child) return E_INVALIDARG;
  if (!parent) parent = RootNode();
  if (!parent) return E_INVALIDARG;
  return parent->removeChild(child, nullptr);
}

}  // namespace uiplugin
