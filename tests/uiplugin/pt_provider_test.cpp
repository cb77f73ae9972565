// The PrintTicket provider: its COM answers, the eight features read from
// and written into tickets (read back by libxml2's xmllint and Python's
// xml.etree), and the handler's prefixes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "plat/core.h"
#include "plat/xml.h"
#include "plugincommon/plugin_devmode.h"
#include "support/peer.h"
#include "support/python_peer.h"
#include "support/run_command.h"
#include "uiplugin/pt_convert.h"
#include "uiplugin/pt_handler.h"
#include "uiplugin/pt_provider.h"

namespace {

using uiplugin::INevoOEMPTProvider;
using Part = std::vector<BYTE>;

const std::string kPsf = plat::core::kFrameworkNamespace;
const std::string kPsk = plat::core::kKeywordsNamespace;

// A ticket with the given features, each "Feature=Option" in the keywords namespace.
std::string Ticket(const std::vector<std::pair<std::string, std::string>>& features) {
  std::string t = "<psf:PrintTicket xmlns:psf=\"" + kPsf + "\" xmlns:psk=\"" + kPsk + "\" version=\"1\">";
  for (const auto& f : features)
    t += "<psf:Feature name=\"psk:" + f.first + "\"><psf:Option name=\"psk:" + f.second + "\"/></psf:Feature>";
  return t + "</psf:PrintTicket>";
}

class ProviderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    provider_ = new INevoOEMPTProvider;
    helper_ = plat::core::NewCoreHelper();
    ASSERT_EQ(provider_->PublishDriverInterface(helper_), S_OK);
    part_.assign(oemdm::kSize, 0);
    OemSetDevmodeHeader(part_.data());
  }
  void TearDown() override {
    provider_->Release();
    helper_->Release();
  }
  DocSettings Settings() const {
    return oemdm::ReadSettings(std::span<const BYTE, oemdm::kSize>(part_.data(), oemdm::kSize));
  }
  void Put(const DocSettings& s) { oemdm::WriteSettings(std::span<BYTE, oemdm::kSize>(part_.data(), oemdm::kSize), s); }
  HRESULT FromTicket(const std::string& xml) {
    IXMLDOMDocument2* doc = plat::xml::Parse(xml);
    EXPECT_NE(doc, nullptr) << xml;
    if (!doc) return E_FAIL;
    DEVMODEW dm{};
    const HRESULT hr = provider_->ConvertPrintTicketToDevMode(doc, 220, &dm, oemdm::kSize, part_.data());
    doc->Release();
    return hr;
  }
  std::string ToTicket(const std::string& base, HRESULT* result = nullptr) {
    IXMLDOMDocument2* doc = plat::xml::Parse(base);
    EXPECT_NE(doc, nullptr) << base;
    if (!doc) return {};
    DEVMODEW dm{};
    const HRESULT hr = provider_->ConvertDevModeToPrintTicket(220, &dm, oemdm::kSize, part_.data(), doc);
    if (result) *result = hr;
    EXPECT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
    std::string xml = plat::xml::Serialize(doc);
    doc->Release();
    return xml;
  }

  INevoOEMPTProvider* provider_ = nullptr;
  IPrintCoreHelperUni* helper_ = nullptr;
  Part part_;
};

TEST_F(ProviderTest, ComAnswers) {
  INT* versions = nullptr;
  INT count = 0;
  EXPECT_EQ(provider_->GetSupportedVersions(nullptr, nullptr, &count), E_INVALIDARG);
  ASSERT_EQ(provider_->GetSupportedVersions(nullptr, &versions, &count), S_OK);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(versions[0], 1);
  CoTaskMemFree(versions);

  auto printer = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(0x10));
  OEMPTOPTS* options = reinterpret_cast<OEMPTOPTS*>(0x1);
  BSTR* namespaces = reinterpret_cast<BSTR*>(0x1);
  count = 7;
  EXPECT_EQ(provider_->BindPrinter(printer, 2, &options, &count, &namespaces), E_VERSION_NOT_SUPPORTED);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(namespaces, nullptr);
  EXPECT_EQ(provider_->BindPrinter(nullptr, 1, &options, &count, &namespaces), E_INVALIDARG);
  ASSERT_EQ(provider_->BindPrinter(printer, 1, &options, &count, &namespaces), S_OK);
  ASSERT_EQ(count, 1);
  EXPECT_EQ(std::u16string(namespaces[0]), u"http://duplicator.invalid/printing/XPSDrv_Feature");
  EXPECT_EQ(options, nullptr);
  SysFreeString(namespaces[0]);
  CoTaskMemFree(namespaces);

  EXPECT_EQ(provider_->PublishDriverInterface(nullptr), E_INVALIDARG);
  EXPECT_EQ(provider_->QueryDeviceDefaultNamespace(nullptr), E_NOTIMPL);
  EXPECT_EQ(provider_->ValidatePrintTicket(nullptr), E_INVALIDARG);
  EXPECT_EQ(provider_->CompletePrintCapabilities(nullptr, nullptr), E_INVALIDARG);
  IXMLDOMDocument2* doc = plat::xml::Parse(Ticket({}));
  ASSERT_NE(doc, nullptr);
  EXPECT_EQ(provider_->ValidatePrintTicket(doc), S_NO_CONFLICT);
  EXPECT_EQ(provider_->ExpandIntentOptions(doc), S_OK);
  DEVMODEW dm{};
  EXPECT_EQ(provider_->ConvertPrintTicketToDevMode(doc, 0, &dm, oemdm::kSize, part_.data()), E_INVALIDARG);
  EXPECT_EQ(provider_->ConvertDevModeToPrintTicket(220, &dm, 0, part_.data(), doc), E_INVALIDARG);
  // Sizes too small: nothing touched, and the ticket-to-DEVMODE answer is still S_OK.
  const Part before = part_;
  EXPECT_EQ(provider_->ConvertPrintTicketToDevMode(doc, 219, &dm, oemdm::kSize, part_.data()), S_OK);
  EXPECT_EQ(provider_->ConvertPrintTicketToDevMode(doc, 220, &dm, oemdm::kSize - 1, part_.data()), S_OK);
  EXPECT_EQ(part_, before);
  doc->Release();
}

TEST_F(ProviderTest, TicketFeaturesIntoSettings) {
  struct Want {
    int up, four, rensya, order;
  };
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> features;
    Want layout;
  } cases[] = {
      {"4UP", {{"PageLayout", "4UP"}}, {1, 1, 0, 0}},
      {"2UP", {{"PageLayout", "2UP"}, {"PageOrder", "Descending"}}, {1, 0, 0, 0}},
      {"Standard", {{"PageLayout", "Standard"}}, {0, 0, 0, 0}},
      {"4RENSYA VerticalDescending", {{"PageLayout", "4RENSYA"}, {"PageOrder", "VerticalDescending"}}, {0, 0, 1, 5}},
      {"2RENSYA Descending", {{"PageLayout", "2RENSYA"}, {"PageOrder", "Descending"}}, {0, 0, 1, 1}},
      {"4RENSYA without order", {{"PageLayout", "4RENSYA"}}, {0, 0, 1, 2}},
      {"4RENSYA with a 2RENSYA order", {{"PageLayout", "4RENSYA"}, {"PageOrder", "Ascending"}}, {0, 0, 1, 2}},
      {"2RENSYA with a 4RENSYA order", {{"PageLayout", "2RENSYA"}, {"PageOrder", "HorizontalAscending"}}, {0, 0, 1, 0}},
      {"unknown layout keeps", {{"PageLayout", "8UP"}}, {9, 9, 9, 9}},
      {"case matters", {{"PageLayout", "4up"}}, {9, 9, 9, 9}},
      {"no layout keeps", {}, {9, 9, 9, 9}},
  };
  for (const Case& c : cases) {
    DocSettings s = Settings();
    s.UpLayout = s.UpFour = s.RensyaLayout = s.RensyaOrder = 9;
    Put(s);
    EXPECT_EQ(FromTicket(Ticket(c.features)), S_OK);
    const DocSettings r = Settings();
    EXPECT_EQ(r.UpLayout, c.layout.up) << c.what;
    EXPECT_EQ(r.UpFour, c.layout.four) << c.what;
    EXPECT_EQ(r.RensyaLayout, c.layout.rensya) << c.what;
    EXPECT_EQ(r.RensyaOrder, c.layout.order) << c.what;
  }
}

TEST_F(ProviderTest, SwitchesAndDestination) {
  struct Case {
    std::string feature, option;
    std::uint8_t DocSettings::*field;
    int before, after;
  } cases[] = {
      {"MarginPlus", "ON", &DocSettings::SyuuiYohaku, 1, 0},
      {"MarginPlus", "OFF", &DocSettings::SyuuiYohaku, 0, 1},
      {"Rotation180", "ON", &DocSettings::Rotate, 0, 1},
      {"Rotation180", "OFF", &DocSettings::Rotate, 1, 0},
      {"ProgramPrinting", "ON", &DocSettings::ProgramPrint, 0, 1},
      {"ProgramPrinting", "OFF", &DocSettings::ProgramPrint, 1, 0},
      {"Destination", "HoldOnly", &DocSettings::OutputMode, 0, 2},
      {"Destination", "PrintAndHold", &DocSettings::OutputMode, 0, 1},
      {"Destination", "DirectionPrint", &DocSettings::OutputMode, 2, 0},
      {"Destination", "DirectionPrint", &DocSettings::OutputMode, 3, 3},  // USB folder output prints directly
      {"Destination", "DirectionPrint", &DocSettings::OutputMode, 4, 4},
  };
  for (const Case& c : cases) {
    DocSettings s = Settings();
    s.*c.field = static_cast<std::uint8_t>(c.before);
    s.HoldMemoryInstalled = 0;
    Put(s);
    EXPECT_EQ(FromTicket(Ticket({{c.feature, c.option}, {"Destination", "HoldOnly"}})), S_OK);
    if (c.feature != "Destination") { EXPECT_EQ(Settings().*c.field, c.after) << c.feature << " " << c.option; }
    s = Settings();
    s.*c.field = static_cast<std::uint8_t>(c.before);
    Put(s);
    EXPECT_EQ(FromTicket(Ticket({{c.feature, c.option}})), S_OK);
    EXPECT_EQ(Settings().*c.field, c.after) << c.feature << " " << c.option;
  }
  DocSettings s = Settings();
  s.HoldMemoryInstalled = 1;
  Put(s);
  EXPECT_EQ(FromTicket(Ticket({{"MarginPlus", "ON"}})), S_OK);
  EXPECT_EQ(Settings().HoldMemoryInstalled, 0) << "a ticket without Destination has no hold memory";
}

// Features in another prefix, or bound on an inner element, are the same features.
TEST_F(ProviderTest, KeywordsFoundThroughAnyBinding) {
  const std::string inner = "<psf:PrintTicket xmlns:psf=\"" + kPsf +
                            "\" version=\"1\"><psf:Feature xmlns:k=\"" + kPsk +
                            "\" name=\"k:PageLayout\"><psf:Option name=\"k:4UP\"/></psf:Feature></psf:PrintTicket>";
  const std::string other = "<f:PrintTicket xmlns:f=\"" + kPsf + "\" xmlns:kw=\"" + kPsk +
                            "\"><f:Feature name=\"kw:PageLayout\"><f:Option name=\"kw:2UP\"/></f:Feature></f:PrintTicket>";
  const std::string foreign = "<psf:PrintTicket xmlns:psf=\"" + kPsf +
                              "\" xmlns:x=\"urn:other\"><psf:Feature name=\"x:PageLayout\"><psf:Option "
                              "name=\"x:4UP\"/></psf:Feature></psf:PrintTicket>";
  EXPECT_EQ(FromTicket(inner), S_OK);
  EXPECT_EQ(Settings().UpFour, 1);
  EXPECT_EQ(FromTicket(other), S_OK);
  EXPECT_EQ(Settings().UpLayout, 1);
  EXPECT_EQ(Settings().UpFour, 0);
  DocSettings s = Settings();
  s.UpLayout = 7;
  Put(s);
  EXPECT_EQ(FromTicket(foreign), S_OK);
  EXPECT_EQ(Settings().UpLayout, 7) << "another namespace's PageLayout is not ours";
}

TEST_F(ProviderTest, SettingsIntoTicketAndBack) {
  DocSettings s = Settings();
  s.RensyaLayout = 1;
  s.RensyaOrder = 5;
  s.Rotate = 1;
  s.SyuuiYohaku = 1;
  s.ProgramPrint = 0;
  s.HoldMemoryInstalled = 1;
  s.OutputMode = 2;
  s.AmiLine = -1;  // 65535 unsigned
  s.AmiAngle = -45;
  Put(s);
  const std::string xml = ToTicket(plat::core::DefaultTicket());
  for (const char* want : {"psk:4RENSYA", "psk:VerticalDescending", "psk:HoldOnly", "psk:65535", "psk:-45"})
    EXPECT_NE(xml.find(want), std::string::npos) << want << "\n" << xml;

  Part written = part_;
  DocSettings cleared = s;
  cleared.RensyaLayout = cleared.RensyaOrder = cleared.Rotate = cleared.SyuuiYohaku = 0;
  cleared.ProgramPrint = 1;
  cleared.OutputMode = 0;
  Put(cleared);
  EXPECT_EQ(FromTicket(xml), S_OK);
  const DocSettings r = Settings();
  EXPECT_EQ(r.RensyaLayout, 1);
  EXPECT_EQ(r.RensyaOrder, 5);
  EXPECT_EQ(r.Rotate, 1) << "Rotation180 ON is a rotated page";
  EXPECT_EQ(r.SyuuiYohaku, 1);
  EXPECT_EQ(r.ProgramPrint, 0);
  EXPECT_EQ(r.OutputMode, 2);
  EXPECT_EQ(r.HoldMemoryInstalled, 1);
}

TEST_F(ProviderTest, OutOfRangeValuesNeverNameAnOption) {
  struct Case {
    const char* what;
    int rensyaOrder, outputMode, holdMemory;
    const char* layout;
    bool pageOrder;
    bool destination;
  } cases[] = {
      {"order 6", 6, 0, 1, "psk:2RENSYA", false, true},
      {"order 255", 255, 0, 1, "psk:2RENSYA", false, true},
      {"order 1", 1, 0, 1, "psk:2RENSYA", true, true},
      {"output mode 3 leaves Destination", 0, 3, 1, "psk:2RENSYA", true, true},
      {"output mode 200 leaves Destination", 0, 200, 1, "psk:2RENSYA", true, true},
      {"no hold memory deletes Destination", 0, 1, 0, "psk:2RENSYA", true, false},
  };
  for (const Case& c : cases) {
    DocSettings s = Settings();
    s.UpLayout = 0;
    s.RensyaLayout = 1;
    s.RensyaOrder = static_cast<std::uint8_t>(c.rensyaOrder);
    s.OutputMode = static_cast<std::uint8_t>(c.outputMode);
    s.HoldMemoryInstalled = static_cast<std::uint8_t>(c.holdMemory);
    Put(s);
    const std::string xml = ToTicket(plat::core::DefaultTicket());
    EXPECT_NE(xml.find(c.layout), std::string::npos) << c.what << "\n" << xml;
    EXPECT_EQ(xml.find("psk:PageOrder") != std::string::npos, c.pageOrder) << c.what << "\n" << xml;
    EXPECT_EQ(xml.find("psk:Destination") != std::string::npos, c.destination) << c.what << "\n" << xml;
    if (c.outputMode > 2 && c.holdMemory) {
      EXPECT_NE(xml.find("psk:DirectionPrint"), std::string::npos) << "the core's option stays: " << c.what;
    }
  }
}

TEST_F(ProviderTest, FeaturesTheTicketLacksAreNotAdded) {
  const std::string xml = ToTicket(Ticket({{"PageLayout", "Standard"}}));
  EXPECT_EQ(xml.find("MarginPlus"), std::string::npos) << xml;
  EXPECT_NE(xml.find("PageLayout"), std::string::npos) << xml;
}

// Keywords bound only on an inner element: the new feature needs a prefix of
// its own, declared on the root as "ns0000".
TEST_F(ProviderTest, NewPrefixesAreDeclaredOnTheRoot) {
  const std::string base = "<psf:PrintTicket xmlns:psf=\"" + kPsf + "\"><psf:Feature xmlns:k=\"" + kPsk +
                           "\" name=\"k:PageLayout\"><psf:Option name=\"k:Standard\"/></psf:Feature></psf:PrintTicket>";
  DocSettings s = Settings();
  s.UpLayout = 1;
  s.UpFour = 1;
  Put(s);
  const std::string xml = ToTicket(base);
  EXPECT_NE(xml.find("xmlns:ns0000=\"" + kPsk + "\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("name=\"ns0000:PageLayout\""), std::string::npos) << xml;
  EXPECT_NE(xml.find("name=\"ns0000:4UP\""), std::string::npos) << xml;
  Part before = part_;
  EXPECT_EQ(FromTicket(xml), S_OK);
  EXPECT_EQ(part_, before) << "read back unchanged";
}

TEST(PtHandlerTest, BoundedTextAnswers) {
  WCHAR buffer[8];
  EXPECT_EQ(uiplugin::FormatBounded(buffer, 0, "%s", {u"x"}), E_INVALIDARG);
  EXPECT_EQ(uiplugin::FormatBounded(buffer, 8, "ns%.4X", {0x1Fll}), S_OK);
  EXPECT_EQ(std::u16string(buffer), u"ns001F");
  EXPECT_EQ(uiplugin::FormatBounded(buffer, 8, "%s:%s", {u"prefix", u"name"}), uiplugin::kTextCut);
  EXPECT_EQ(std::u16string(buffer), u"prefix:");
  EXPECT_EQ(uiplugin::FormatBounded(buffer, 8, "%d", {-45ll}), S_OK);
  EXPECT_EQ(std::u16string(buffer), u"-45");
  std::size_t n = 99;
  EXPECT_EQ(uiplugin::BoundedLength(u"abc", 4, &n), S_OK);
  EXPECT_EQ(n, 3u);
  const WCHAR unterminated[3] = {u'a', u'b', u'c'};
  EXPECT_EQ(uiplugin::BoundedLength(unterminated, 3, &n), E_INVALIDARG);
  EXPECT_EQ(uiplugin::BoundedLength(nullptr, 3, &n), E_INVALIDARG);
}

// Tickets written by the provider, read by libxml2's xmllint and by Python.
TEST_F(ProviderTest, WrittenTicketsReadByPeers) {
  DocSettings s = Settings();
  s.UpLayout = 1;
  s.HoldMemoryInstalled = 1;
  s.OutputMode = 1;
  Put(s);
  testsupport::ScratchDir dir("ticket");
  const std::string path = dir.File("ticket.xml");
  {
    std::ofstream f(path, std::ios::binary);
    f << ToTicket(plat::core::DefaultTicket());
  }
  REQUIRE_PEER(testsupport::HasProgram("xmllint"), "libxml2-utils");
  EXPECT_EQ(testsupport::RunCommand("xmllint --noout --nonet '" + path + "'"), 0);
  const std::string python = testsupport::PythonWith("xml.etree.ElementTree");
  REQUIRE_PEER(!python.empty(), "python3");
  const std::string script =
      "import sys, xml.etree.ElementTree as E\n"
      "psf='{" + kPsf + "}'\n"
      "root=E.parse(sys.argv[1]).getroot()\n"
      "for f in root.findall(psf+'Feature'):\n"
      "  o=f.find(psf+'Option')\n"
      "  print(f.get('name').split(':')[1], o.get('name').split(':')[1])\n";
  const std::string scriptPath = dir.File("read.py");
  {
    std::ofstream f(scriptPath);
    f << script;
  }
  std::string out;
  ASSERT_EQ(testsupport::RunCommand(python + " '" + scriptPath + "' '" + path + "'", &out), 0);
  for (const char* want : {"PageLayout 2UP\n", "Destination PrintAndHold\n", "MarginPlus ON\n", "Rotation180 OFF\n",
                           "ScreeningLines 0\n"})
    EXPECT_NE(out.find(want), std::string::npos) << want << out;
  EXPECT_EQ(out.find("PageOrder"), std::string::npos) << out;
}

}  // namespace
