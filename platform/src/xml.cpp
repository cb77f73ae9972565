// The DOM subset over libxml2. Wrappers are made per call and hold their
// document; nodes taken out of the tree (or made and never placed) stay the
// document's and are freed with it.
#include "plat/xml.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <mutex>
#include <new>
#include <vector>

#include "plat/strings.h"

extern "C" {
const CLSID CLSID_MXNamespaceManager = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x10}};
const IID IID_IMXNamespaceManager = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x11}};
const IID IID_IXMLDOMNode = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x12}};
const IID IID_IXMLDOMElement = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x13}};
const IID IID_IXMLDOMAttribute = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x14}};
const IID IID_IXMLDOMDocument2 = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, 0x15}};
}

namespace {

// Asked of a node to reach our own object behind it.
const IID kIidOwnNode = {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0x01, 0x00}};

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }

std::string Utf8(BSTR text) { return text ? plat::utf8(std::u16string_view(text, SysStringLen(text))) : std::string(); }

HRESULT Out(const xmlChar* text, BSTR* out) {
  const std::u16string s = plat::u16(text ? reinterpret_cast<const char*>(text) : "");
  *out = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

class DocumentImpl;

struct OwnNode {
  virtual xmlNodePtr Raw() const = 0;
  virtual DocumentImpl* Owner() = 0;

 protected:
  ~OwnNode() = default;
};

OwnNode* OwnOf(IUnknown* node) {
  void* own = nullptr;
  if (!node || FAILED(node->QueryInterface(kIidOwnNode, &own))) return nullptr;
  return static_cast<OwnNode*>(own);  // no reference taken
}

IXMLDOMNode* Wrap(DocumentImpl* doc, xmlNodePtr node);

class DocumentImpl;
void DocAddRef(DocumentImpl* d);
void DocRelease(DocumentImpl* d);
void Detached(DocumentImpl* d, xmlNodePtr node);
xmlDocPtr RawDoc(DocumentImpl* d);

// The IXMLDOMNode methods of every wrapper.
template <typename Interface>
class NodeImpl : public plat::com::Unknown<NodeImpl<Interface>, Interface>, public OwnNode {
 public:
  // Also answers the node's own interface ids and, without a reference, our
  // own view of the node.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualGUID(iid, kIidOwnNode)) {
      *out = static_cast<OwnNode*>(this);
      return S_OK;
    }
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IXMLDOMNode) || Answers(iid)) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) override {
    if (!type) return E_POINTER;
    switch (node_->type) {
      case XML_ELEMENT_NODE: *type = NODE_ELEMENT; break;
      case XML_ATTRIBUTE_NODE: *type = NODE_ATTRIBUTE; break;
      case XML_TEXT_NODE: *type = NODE_TEXT; break;
      case XML_DOCUMENT_NODE: *type = NODE_DOCUMENT; break;
      default: *type = NODE_INVALID; break;
    }
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_baseName(BSTR* name) override {
    if (!name) return E_POINTER;
    const bool named = node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE;
    return Out(named ? node_->name : nullptr, name);
  }
  HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* uri) override {
    if (!uri) return E_POINTER;
    const bool named = node_->type == XML_ELEMENT_NODE || node_->type == XML_ATTRIBUTE_NODE;
    return Out(named && node_->ns ? node_->ns->href : nullptr, uri);
  }
  HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) override {
    return Answer(node_->type == XML_ATTRIBUTE_NODE ? nullptr : node_->children, child);
  }
  HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) override {
    return Answer(node_->type == XML_ATTRIBUTE_NODE || node_->type == XML_DOCUMENT_NODE ? nullptr : node_->next,
                  sibling);
  }
  HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
    if (out) *out = nullptr;
    OwnNode* own = OwnOf(child);
    if (!own || own->Owner() != Owner()) return E_INVALIDARG;
    xmlNodePtr c = own->Raw();
    // Only elements are placed: libxml2 merges adjacent text nodes, which would free a wrapped node.
    if (c->type != XML_ELEMENT_NODE || (node_->type != XML_ELEMENT_NODE && node_->type != XML_DOCUMENT_NODE))
      return E_INVALIDARG;
    for (xmlNodePtr up = node_; up; up = up->parent)
      if (up == c) return E_INVALIDARG;  // into itself
    if (node_->type == XML_DOCUMENT_NODE && xmlDocGetRootElement(RawDoc(Owner()))) return E_FAIL;
    if (c->parent) xmlUnlinkNode(c);
    if (!xmlAddChild(node_, c)) return E_FAIL;
    AdoptNamespace(c);
    if (out) *out = Wrap(Owner(), c);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** out) override {
    if (out) *out = nullptr;
    OwnNode* own = OwnOf(child);
    if (!own || own->Owner() != Owner() || own->Raw()->parent != node_ || own->Raw()->type == XML_ATTRIBUTE_NODE)
      return E_INVALIDARG;
    xmlUnlinkNode(own->Raw());
    Detached(Owner(), own->Raw());
    if (out) *out = Wrap(Owner(), own->Raw());
    return S_OK;
  }

  xmlNodePtr Raw() const override { return node_; }

 protected:
  friend class plat::com::Unknown<NodeImpl<Interface>, Interface>;  // deletes at the last Release
  explicit NodeImpl(xmlNodePtr node) : node_(node) {}
  virtual ~NodeImpl() = default;
  virtual bool Answers(REFIID iid) const = 0;

  HRESULT Answer(xmlNodePtr node, IXMLDOMNode** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!node) return S_FALSE;
    *out = Wrap(Owner(), node);
    return *out ? S_OK : E_OUTOFMEMORY;
  }

  // A new element declares its own namespace; placed where the same prefix
  // is bound to the same namespace, it uses that binding instead.
  void AdoptNamespace(xmlNodePtr c) {
    xmlNsPtr own = c->nsDef;
    if (!own || own->next || c->ns != own || c->children || !node_->doc) return;
    bool attached = false;
    for (xmlNodePtr up = node_; up; up = up->parent)
      if (up->type == XML_DOCUMENT_NODE) attached = true;
    if (!attached) return;
    xmlNsPtr inScope = xmlSearchNs(node_->doc, node_, own->prefix);
    if (!inScope || !xmlStrEqual(inScope->href, own->href)) return;
    c->ns = inScope;
    c->nsDef = nullptr;
    xmlFreeNs(own);
  }

  xmlNodePtr node_;
};

class DocumentImpl final : public NodeImpl<IXMLDOMDocument2> {
 public:
  explicit DocumentImpl(xmlDocPtr doc) : NodeImpl(reinterpret_cast<xmlNodePtr>(doc)), doc_(doc) {}
  DocumentImpl* Owner() override { return this; }
  xmlDocPtr Doc() const { return doc_; }
  void Keep(xmlNodePtr node) {
    if (std::find(detached_.begin(), detached_.end(), node) == detached_.end()) detached_.push_back(node);
  }

  HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** root) override {
    if (!root) return E_POINTER;
    *root = nullptr;
    xmlNodePtr r = xmlDocGetRootElement(doc_);
    if (!r) return S_FALSE;
    IXMLDOMNode* node = Wrap(this, r);
    if (!node) return E_OUTOFMEMORY;
    const HRESULT hr = node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(root));
    node->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE createNode(DOMNodeType type, BSTR name, BSTR namespaceUri, IXMLDOMNode** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (type != NODE_ELEMENT) return E_NOTIMPL;
    const std::string qualified = Utf8(name);
    const std::size_t colon = qualified.find(':');
    const std::string prefix = colon == std::string::npos ? std::string() : qualified.substr(0, colon);
    const std::string local = colon == std::string::npos ? qualified : qualified.substr(colon + 1);
    if (local.empty() || xmlValidateNCName(X(local), 0) != 0) return E_INVALIDARG;
    if (!prefix.empty() && xmlValidateNCName(X(prefix), 0) != 0) return E_INVALIDARG;
    const std::string uri = Utf8(namespaceUri);
    if (!prefix.empty() && uri.empty()) return E_INVALIDARG;
    xmlNodePtr node = xmlNewDocNode(doc_, nullptr, X(local), nullptr);
    if (!node) return E_OUTOFMEMORY;
    Keep(node);
    if (!uri.empty()) {
      xmlNsPtr ns = xmlNewNs(node, X(uri), prefix.empty() ? nullptr : X(prefix));
      if (!ns) return E_OUTOFMEMORY;
      xmlSetNs(node, ns);
    }
    *out = Wrap(this, node);
    return *out ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute** out) override;
  HRESULT STDMETHODCALLTYPE get_xml(BSTR* text) override {
    if (!text) return E_POINTER;
    xmlChar* buffer = nullptr;
    int size = 0;
    xmlDocDumpMemoryEnc(doc_, &buffer, &size, "UTF-8");
    if (!buffer) return E_OUTOFMEMORY;
    const HRESULT hr = Out(buffer, text);
    xmlFree(buffer);
    return hr;
  }

 private:
  ~DocumentImpl() override {
    // Roots first: freeing one frees the detached nodes placed under it.
    std::vector<xmlNodePtr> roots;
    for (xmlNodePtr node : detached_)
      if (!node->parent) roots.push_back(node);
    for (xmlNodePtr node : roots) {
      if (node->type == XML_ATTRIBUTE_NODE)
        xmlFreeProp(reinterpret_cast<xmlAttrPtr>(node));
      else
        xmlFreeNode(node);
    }
    xmlFreeDoc(doc_);
  }
  bool Answers(REFIID iid) const override { return IsEqualGUID(iid, IID_IXMLDOMDocument2); }

  xmlDocPtr doc_;
  std::vector<xmlNodePtr> detached_;
};

void DocAddRef(DocumentImpl* d) { d->AddRef(); }
void DocRelease(DocumentImpl* d) { d->Release(); }
void Detached(DocumentImpl* d, xmlNodePtr node) { d->Keep(node); }
xmlDocPtr RawDoc(DocumentImpl* d) { return d->Doc(); }

// A node of the tree; holds its document.
template <typename Interface>
class HeldNode : public NodeImpl<Interface> {
 public:
  HeldNode(DocumentImpl* doc, xmlNodePtr node) : NodeImpl<Interface>(node), doc_(doc) { DocAddRef(doc_); }
  DocumentImpl* Owner() override { return doc_; }

 protected:
  ~HeldNode() override { DocRelease(doc_); }
  DocumentImpl* doc_;
};

class AttributeImpl final : public HeldNode<IXMLDOMAttribute> {
 public:
  using HeldNode::HeldNode;
  HRESULT STDMETHODCALLTYPE get_value(BSTR* value) override {
    if (!value) return E_POINTER;
    xmlChar* text = xmlNodeGetContent(node_);
    const HRESULT hr = Out(text, value);
    if (text) xmlFree(text);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE put_value(BSTR value) override {
    const std::string v = Utf8(value);
    xmlChar* escaped = xmlEncodeSpecialChars(node_->doc, X(v));
    if (!escaped) return E_OUTOFMEMORY;
    xmlNodeSetContent(node_, escaped);
    xmlFree(escaped);
    return S_OK;
  }

 private:
  bool Answers(REFIID iid) const override { return IsEqualGUID(iid, IID_IXMLDOMAttribute); }
};

// Declares prefix (empty: the default namespace) on the element.
HRESULT DeclareOn(xmlNodePtr node, const std::string& prefix, const std::string& uri) {
  const xmlChar* p = prefix.empty() ? nullptr : X(prefix);
  for (xmlNsPtr ns = node->nsDef; ns; ns = ns->next) {
    if (xmlStrEqual(ns->prefix, p)) {
      xmlFree(const_cast<xmlChar*>(ns->href));
      ns->href = xmlStrdup(X(uri));
      return ns->href ? S_OK : E_OUTOFMEMORY;
    }
  }
  return xmlNewNs(node, X(uri), p) ? S_OK : E_FAIL;
}

// The prefix an "xmlns" or "xmlns:P" name declares, or false for other names.
bool DeclaredPrefix(const std::string& name, std::string& prefix) {
  if (name == "xmlns") {
    prefix.clear();
    return true;
  }
  if (name.rfind("xmlns:", 0) != 0) return false;
  prefix = name.substr(6);
  return true;
}

class ElementImpl final : public HeldNode<IXMLDOMElement> {
 public:
  using HeldNode::HeldNode;
  HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, BSTR* value) override {
    if (!value) return E_POINTER;
    *value = nullptr;
    if (node_->type != XML_ELEMENT_NODE) return E_FAIL;
    xmlChar* text = xmlGetNoNsProp(node_, X(Utf8(name)));
    if (!text) return S_FALSE;
    const HRESULT hr = Out(text, value);
    xmlFree(text);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, BSTR value) override {
    if (node_->type != XML_ELEMENT_NODE) return E_FAIL;
    const std::string n = Utf8(name);
    std::string prefix;
    if (DeclaredPrefix(n, prefix)) return DeclareOn(node_, prefix, Utf8(value));
    if (xmlValidateQName(X(n), 0) != 0) return E_INVALIDARG;
    Unlink(n);
    return xmlSetProp(node_, X(n), X(Utf8(value))) ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** old) override {
    if (old) *old = nullptr;
    OwnNode* own = OwnOf(attribute);
    if (!own || own->Owner() != Owner() || own->Raw()->type != XML_ATTRIBUTE_NODE || own->Raw()->parent)
      return E_INVALIDARG;
    if (node_->type != XML_ELEMENT_NODE) return E_FAIL;
    xmlNodePtr attr = own->Raw();
    const std::string n = reinterpret_cast<const char*>(attr->name);
    std::string prefix;
    if (DeclaredPrefix(n, prefix)) {
      xmlChar* v = xmlNodeGetContent(attr);
      const HRESULT hr = DeclareOn(node_, prefix, v ? reinterpret_cast<const char*>(v) : "");
      if (v) xmlFree(v);
      return hr;
    }
    Unlink(n);
    return xmlAddChild(node_, attr) ? S_OK : E_FAIL;
  }

 private:
  bool Answers(REFIID iid) const override {
    return IsEqualGUID(iid, IID_IXMLDOMElement) && node_->type == XML_ELEMENT_NODE;
  }
  // An attribute of that name leaves the element (wrappers may still hold it).
  void Unlink(const std::string& name) {
    if (xmlAttrPtr existing = xmlHasNsProp(node_, X(name), nullptr)) {
      xmlUnlinkNode(reinterpret_cast<xmlNodePtr>(existing));
      Detached(doc_, reinterpret_cast<xmlNodePtr>(existing));
    }
  }
};

HRESULT DocumentImpl::createAttribute(BSTR name, IXMLDOMAttribute** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const std::string n = Utf8(name);
  if (xmlValidateQName(X(n), 0) != 0) return E_INVALIDARG;
  xmlAttrPtr attr = xmlNewDocProp(doc_, X(n), nullptr);
  if (!attr) return E_OUTOFMEMORY;
  Keep(reinterpret_cast<xmlNodePtr>(attr));
  *out = new (std::nothrow) AttributeImpl(this, reinterpret_cast<xmlNodePtr>(attr));
  return *out ? S_OK : E_OUTOFMEMORY;
}

IXMLDOMNode* Wrap(DocumentImpl* doc, xmlNodePtr node) {
  if (node->type == XML_DOCUMENT_NODE) {
    doc->AddRef();
    return doc;
  }
  if (node->type == XML_ATTRIBUTE_NODE) return new (std::nothrow) AttributeImpl(doc, node);
  return new (std::nothrow) ElementImpl(doc, node);
}

class NamespaceManager final
    : public plat::com::Unknown<NamespaceManager, IMXNamespaceManager, &IID_IUnknown, &IID_IMXNamespaceManager> {
 public:
  HRESULT STDMETHODCALLTYPE declarePrefix(BSTR prefix, BSTR uri) override {
    const std::string p = Utf8(prefix);
    if (p == "xmlns" || (!p.empty() && xmlValidateNCName(X(p), 0) != 0)) return E_INVALIDARG;
    for (auto& d : declared_) {
      if (d.first == p) {
        d.second = Utf8(uri);
        return S_OK;
      }
    }
    declared_.emplace_back(p, Utf8(uri));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE getURI(BSTR prefix, IXMLDOMNode* context, BSTR* uri) override {
    if (!uri) return E_POINTER;
    *uri = nullptr;
    const std::string p = Utf8(prefix);
    if (xmlNodePtr node = ContextElement(context)) {
      if (xmlNsPtr ns = xmlSearchNs(node->doc, node, p.empty() ? nullptr : X(p))) return Out(ns->href, uri);
    }
    for (const auto& d : declared_)
      if (d.first == p) return Out(X(d.second), uri);
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE getPrefix(BSTR uri, IXMLDOMNode* context, BSTR* prefix) override {
    if (!prefix) return E_POINTER;
    *prefix = nullptr;
    const std::string u = Utf8(uri);
    if (xmlNodePtr node = ContextElement(context)) {
      if (xmlNsPtr ns = xmlSearchNsByHref(node->doc, node, X(u))) return Out(ns->prefix, prefix);
    }
    for (const auto& d : declared_)
      if (d.second == u) return Out(X(d.first), prefix);
    return S_FALSE;
  }

 private:
  static xmlNodePtr ContextElement(IXMLDOMNode* context) {
    OwnNode* own = OwnOf(context);
    if (!own) return nullptr;
    xmlNodePtr node = own->Raw();
    if (node->type == XML_ATTRIBUTE_NODE) node = node->parent;
    if (node && node->type == XML_DOCUMENT_NODE) node = xmlDocGetRootElement(reinterpret_cast<xmlDocPtr>(node));
    return node && node->type == XML_ELEMENT_NODE ? node : nullptr;
  }
  std::vector<std::pair<std::string, std::string>> declared_;
};

}  // namespace

namespace plat::xml {

IXMLDOMDocument2* Parse(std::string_view text, std::string* error) {
  InitLibrary();
  if (text.size() > static_cast<std::size_t>(INT_MAX)) {
    if (error) *error = "document too large";
    return nullptr;
  }
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) return nullptr;
  // No network, no DTD loading, no entity substitution; errors are reported here, not printed.
  const int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  xmlDocPtr doc = xmlCtxtReadMemory(ctxt, text.data(), static_cast<int>(text.size()), nullptr, nullptr, options);
  std::string why;
  if (!doc) {
    const xmlError* e = xmlCtxtGetLastError(ctxt);
    why = e && e->message ? e->message : "not well-formed";
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
  } else if (!ctxt->nsWellFormed) {
    why = "a prefix is used without its declaration";
  } else if (doc->intSubset || doc->extSubset) {
    why = "a document type declaration is not accepted";
  } else if (!xmlDocGetRootElement(doc)) {
    why = "no root element";
  }
  xmlFreeParserCtxt(ctxt);
  if (!why.empty()) {
    if (doc) xmlFreeDoc(doc);
    if (error) *error = why;
    return nullptr;
  }
  auto* d = new (std::nothrow) DocumentImpl(doc);
  if (!d) xmlFreeDoc(doc);
  return d;
}

IMXNamespaceManager* NewNamespaceManager() { return new (std::nothrow) NamespaceManager; }

std::string Serialize(IXMLDOMDocument2* document) {
  BSTR text = nullptr;
  if (!document || FAILED(document->get_xml(&text))) return {};
  std::string s = Utf8(text);
  SysFreeString(text);
  return s;
}

}  // namespace plat::xml
