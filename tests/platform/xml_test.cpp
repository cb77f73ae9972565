// The DOM subset over libxml2: parsing limits, building elements in
// namespaces, "xmlns:" attributes, and the namespace manager's lookups.

#include <gtest/gtest.h>

#include <string>

#include "plat/strings.h"
#include "plat/xml.h"

namespace {

template <typename T>
struct Held {
  T* p = nullptr;
  ~Held() {
    if (p) p->Release();
  }
  T** put() { return &p; }
  T* operator->() const { return p; }
};

struct Text {
  BSTR s = nullptr;
  explicit Text(std::u16string_view v = u"") : s(SysAllocStringLen(v.data(), static_cast<UINT>(v.size()))) {}
  ~Text() { SysFreeString(s); }
  std::u16string str() const { return s ? std::u16string(s, SysStringLen(s)) : u""; }
  BSTR* put() {
    SysFreeString(s);
    s = nullptr;
    return &s;
  }
};

constexpr char kFramework[] = "http://schemas.microsoft.com/windows/2003/08/printing/printschemaframework";

TEST(XmlTest, ParseRefusesWhatItMustNot) {
  struct Case {
    const char* what;
    std::string text;
    bool ok;
  } cases[] = {
      {"plain", "<a><b/></a>", true},
      {"malformed", "<a><b></a>", false},
      {"empty", "", false},
      {"doctype with entity", "<!DOCTYPE a [<!ENTITY e \"x\">]><a>&e;</a>", false},
      {"external entity", "<!DOCTYPE a SYSTEM \"http://127.0.0.1:9/x.dtd\"><a/>", false},
      {"undeclared prefix", "<p:a/>", false},
  };
  for (const Case& c : cases) {
    std::string error;
    IXMLDOMDocument2* doc = plat::xml::Parse(c.text, &error);
    EXPECT_EQ(doc != nullptr, c.ok) << c.what;
    if (doc) doc->Release();
    if (!c.ok) { EXPECT_FALSE(error.empty()) << c.what; }
  }
}

TEST(XmlTest, ElementsInNamespacesAndXmlnsAttributes) {
  Held<IXMLDOMDocument2> doc;
  doc.p = plat::xml::Parse(std::string("<psf:PrintTicket xmlns:psf=\"") + kFramework + "\"/>");
  ASSERT_NE(doc.p, nullptr);
  Held<IXMLDOMElement> root;
  ASSERT_EQ(doc->get_documentElement(root.put()), S_OK);

  // An "xmlns:P" attribute declares P.
  Text xmlnsName(u"xmlns:ns0000"), uri(u"urn:k"), value(u"ns0000:PageLayout");
  Held<IXMLDOMAttribute> attr;
  ASSERT_EQ(doc->createAttribute(xmlnsName.s, attr.put()), S_OK);
  ASSERT_EQ(attr->put_value(uri.s), S_OK);
  ASSERT_EQ(root->setAttributeNode(attr.p, nullptr), S_OK);

  Text qualified(u"psf:Feature"), framework(plat::u16(kFramework)), nameAttr(u"name");
  Held<IXMLDOMNode> feature;
  ASSERT_EQ(doc->createNode(NODE_ELEMENT, qualified.s, framework.s, feature.put()), S_OK);
  ASSERT_EQ(root->appendChild(feature.p, nullptr), S_OK);
  Held<IXMLDOMElement> element;
  ASSERT_EQ(feature->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(element.put())), S_OK);
  ASSERT_EQ(element->setAttribute(nameAttr.s, value.s), S_OK);

  const std::string xml = plat::xml::Serialize(doc.p);
  EXPECT_NE(xml.find("xmlns:ns0000=\"urn:k\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("<psf:Feature name=\"ns0000:PageLayout\"/>"), std::string::npos)
      << "the feature uses the root's binding: " << xml;

  Text base, ns;
  ASSERT_EQ(element->get_baseName(base.put()), S_OK);
  ASSERT_EQ(element->get_namespaceURI(ns.put()), S_OK);
  EXPECT_EQ(base.str(), u"Feature");
  EXPECT_EQ(ns.str(), framework.str());

  // The manager resolves in the node's context first, then its own declarations.
  Held<IMXNamespaceManager> manager;
  manager.p = plat::xml::NewNamespaceManager();
  Text prefix(u"ns0000"), own(u"mine"), ownUri(u"urn:mine"), found;
  ASSERT_EQ(manager->getURI(prefix.s, element.p, found.put()), S_OK);
  EXPECT_EQ(found.str(), u"urn:k");
  EXPECT_EQ(manager->getURI(own.s, element.p, found.put()), S_FALSE);
  ASSERT_EQ(manager->declarePrefix(own.s, ownUri.s), S_OK);
  ASSERT_EQ(manager->getURI(own.s, element.p, found.put()), S_OK);
  EXPECT_EQ(found.str(), u"urn:mine");
  ASSERT_EQ(manager->getPrefix(uri.s, element.p, found.put()), S_OK);
  EXPECT_EQ(found.str(), u"ns0000");
  Text xmlnsPrefix(u"xmlns");
  EXPECT_EQ(manager->declarePrefix(xmlnsPrefix.s, uri.s), E_INVALIDARG);
}

TEST(XmlTest, RemovedAndUnplacedNodesGoWithTheDocument) {
  Held<IXMLDOMDocument2> doc;
  doc.p = plat::xml::Parse("<a><b/><c/></a>");
  ASSERT_NE(doc.p, nullptr);
  Held<IXMLDOMElement> root;
  ASSERT_EQ(doc->get_documentElement(root.put()), S_OK);
  Held<IXMLDOMNode> b, c, none;
  ASSERT_EQ(root->get_firstChild(b.put()), S_OK);
  ASSERT_EQ(b->get_nextSibling(c.put()), S_OK);
  EXPECT_EQ(c->get_nextSibling(none.put()), S_FALSE);
  EXPECT_EQ(none.p, nullptr);
  EXPECT_EQ(b->removeChild(c.p, nullptr), E_INVALIDARG) << "not its child";
  ASSERT_EQ(root->removeChild(b.p, nullptr), S_OK);
  EXPECT_EQ(plat::xml::Serialize(doc.p).find("<b/>"), std::string::npos);
  // A node made and never placed, and one placed into itself, are refused or kept safely.
  Text name(u"d"), empty;
  Held<IXMLDOMNode> d;
  ASSERT_EQ(doc->createNode(NODE_ELEMENT, name.s, empty.s, d.put()), S_OK);
  EXPECT_EQ(d->appendChild(d.p, nullptr), E_INVALIDARG);
  EXPECT_EQ(root->appendChild(b.p, nullptr), S_OK) << "a removed node can be placed again";
  Text bad(u"1x");
  Held<IXMLDOMNode> refused;
  EXPECT_EQ(doc->createNode(NODE_ELEMENT, bad.s, empty.s, refused.put()), E_INVALIDARG);
}

}  // namespace
