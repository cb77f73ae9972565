// The XML DOM subset that a PrintTicket provider calls, COM-style: documents,
// nodes, elements, attributes and a namespace manager. Backed by libxml2;
// parsing reads no network, DTD or entity. An attribute "xmlns:P" (or
// "xmlns") set on an element declares the prefix P (or the default
// namespace) there.
#pragma once

#include <string>
#include <string_view>

#include "plat/base.h"
#include "plat/com.h"

enum DOMNodeType : INT {
  NODE_INVALID = 0,
  NODE_ELEMENT = 1,
  NODE_ATTRIBUTE = 2,
  NODE_TEXT = 3,
  NODE_DOCUMENT = 9,
};

struct IXMLDOMDocument2;
struct IXMLDOMAttribute;
struct IXMLDOMElement;

struct IXMLDOMNode : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE get_nodeType(DOMNodeType* type) = 0;
  // The local name (after any prefix).
  virtual HRESULT STDMETHODCALLTYPE get_baseName(BSTR* name) = 0;
  // The node's namespace, "" for none.
  virtual HRESULT STDMETHODCALLTYPE get_namespaceURI(BSTR* uri) = 0;
  // S_FALSE and null when there is none.
  virtual HRESULT STDMETHODCALLTYPE get_firstChild(IXMLDOMNode** child) = 0;
  virtual HRESULT STDMETHODCALLTYPE get_nextSibling(IXMLDOMNode** sibling) = 0;
  // child becomes this node's last child (out may be null).
  virtual HRESULT STDMETHODCALLTYPE appendChild(IXMLDOMNode* child, IXMLDOMNode** out) = 0;
  // E_INVALIDARG when child is not this node's child.
  virtual HRESULT STDMETHODCALLTYPE removeChild(IXMLDOMNode* child, IXMLDOMNode** out) = 0;

 protected:
  ~IXMLDOMNode() = default;
};

struct IXMLDOMAttribute : IXMLDOMNode {
  virtual HRESULT STDMETHODCALLTYPE get_value(BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE put_value(BSTR value) = 0;

 protected:
  ~IXMLDOMAttribute() = default;
};

struct IXMLDOMElement : IXMLDOMNode {
  // The attribute's value by its qualified name; S_FALSE and null when absent.
  virtual HRESULT STDMETHODCALLTYPE getAttribute(BSTR name, BSTR* value) = 0;
  virtual HRESULT STDMETHODCALLTYPE setAttribute(BSTR name, BSTR value) = 0;
  // Adds (or replaces) the attribute made by the document (old may be null).
  virtual HRESULT STDMETHODCALLTYPE setAttributeNode(IXMLDOMAttribute* attribute, IXMLDOMAttribute** old) = 0;

 protected:
  ~IXMLDOMElement() = default;
};

struct IXMLDOMDocument2 : IXMLDOMNode {
  // S_FALSE and null for an empty document.
  virtual HRESULT STDMETHODCALLTYPE get_documentElement(IXMLDOMElement** root) = 0;
  // A new element (NODE_ELEMENT only) of qualified name "prefix:local" in
  // the namespace, not yet in the tree.
  virtual HRESULT STDMETHODCALLTYPE createNode(DOMNodeType type, BSTR name, BSTR namespaceUri, IXMLDOMNode** node) = 0;
  virtual HRESULT STDMETHODCALLTYPE createAttribute(BSTR name, IXMLDOMAttribute** attribute) = 0;
  // The document as UTF-8 XML text.
  virtual HRESULT STDMETHODCALLTYPE get_xml(BSTR* text) = 0;

 protected:
  ~IXMLDOMDocument2() = default;
};

// Prefixes declared to the manager, then those in scope at a node.
struct IMXNamespaceManager : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE declarePrefix(BSTR prefix, BSTR uri) = 0;
  // The namespace bound to the prefix ("" the default) at context; S_FALSE and null when unbound.
  virtual HRESULT STDMETHODCALLTYPE getURI(BSTR prefix, IXMLDOMNode* context, BSTR* uri) = 0;
  // A prefix bound to uri at context; S_FALSE and null when none.
  virtual HRESULT STDMETHODCALLTYPE getPrefix(BSTR uri, IXMLDOMNode* context, BSTR* prefix) = 0;

 protected:
  ~IMXNamespaceManager() = default;
};

extern "C" {
PLATAPI extern const CLSID CLSID_MXNamespaceManager;
PLATAPI extern const IID IID_IMXNamespaceManager;
PLATAPI extern const IID IID_IXMLDOMNode;
PLATAPI extern const IID IID_IXMLDOMElement;
PLATAPI extern const IID IID_IXMLDOMAttribute;
PLATAPI extern const IID IID_IXMLDOMDocument2;
}

namespace plat::xml {
// Parses UTF-8 XML text: a new document with one reference, or null (and
// what is wrong in *error) for text that is not well-formed, or that holds
// a DOCTYPE.
PLATAPI IXMLDOMDocument2* Parse(std::string_view text, std::string* error = nullptr);
// A new namespace manager with one reference.
PLATAPI IMXNamespaceManager* NewNamespaceManager();
// The document as UTF-8 XML text.
PLATAPI std::string Serialize(IXMLDOMDocument2* document);
}  // namespace plat::xml
