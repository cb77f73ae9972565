// The document and page entries called directly: the first-page ink query,
// preview output and its port status, and the job end.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "device/ber_builder.h"
#include "device/device_status.h"
#include "device/fake_agent.h"
#include "pdev_fixture.h"
#include "plat/net.h"
#include "plat/files.h"
#include "plat/machine.h"
#include "plat/strings.h"
#include "render/document_entries.h"
#include "render/render_surface.h"
#include "streamdump/stream_decoder.h"

using namespace pdevtest;

namespace {

class DocumentEntries : public PrinterFixture {
 protected:
  void SetUp() override {
    PrinterFixture::SetUp();
    plat::machine::Reset();
    std::filesystem::create_directories(plat::machine::Root() + "/C");
    std::filesystem::remove_all(plat::machine::Root() + "/C/RSF");
    // No device answers unless a test puts an agent there.
    ASSERT_TRUE(plat::net::SetPortOverride("127.0.0.1", ClosedPort()));
  }
  void TearDown() override {
    plat::net::ClearPortOverrides();
    if (pdev) {
      DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
      DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
    }
    PrinterFixture::TearDown();
  }
  SURFOBJ* Start(PrivateDevmode& dm) {
    pdev = Enable(dm);
    if (!pdev || !DrvEnableSurface(reinterpret_cast<DHPDEV>(pdev))) return nullptr;
    return pdev->surfaceObject;
  }
  // The status file another program writes for 127.0.0.1.
  void WriteStatusFile(const char* ink1, const char* ink2) {
    std::string folder = plat::machine::HostPath(u"C:\\");
    std::filesystem::create_directories(folder + "/RSF");
    std::ofstream f(folder + "/RSF/R127000000001.rsf");
    f << "[STATUS]\r\nID46=" << ink1 << "\r\nID168=2D\r\nID169=F1\r\nID170=00\r\nID48=" << ink2
      << "\r\nID171=32\r\nID172=05\r\nID173=FB\r\n";
  }
  static void Address(PrivateDevmode& dm) {
    dm.Settings.InkInformation = 1;
    const char16_t ip[] = u"127.0.0.1";
    for (std::size_t i = 0; i < sizeof(ip) / 2; ++i) dm.Settings.PrinterAddress[i] = ip[i];
  }
  RenderPdev* pdev = nullptr;
};

TEST_F(DocumentEntries, FirstPageTakesTheInstalledInksFromTheStatusFile) {
  WriteStatusFile("04", "0A");
  PrivateDevmode dm = BaseDevmode();
  Address(dm);
  dm.Settings.ColorMode = 2;
  dm.Settings.Seihan = 2;
  dm.Settings.SeparationModeA = 2;
  dm.Settings.SeparationModeB = 2;
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  ASSERT_TRUE(DrvStartDoc(so, nullptr, 3));
  ASSERT_TRUE(DrvStartPage(so));
  EXPECT_EQ(pdev->drum1Ink, 1004);
  EXPECT_EQ(pdev->drum1Lab[0], 45);
  EXPECT_EQ(pdev->drum1Lab[1], -15);
  EXPECT_EQ(pdev->drum1Lab[2], 0);
  EXPECT_EQ(pdev->drum2Ink, 1010);
  EXPECT_EQ(pdev->drum2Lab[0], 50);
  EXPECT_EQ(pdev->drum2Lab[2], -5);
}

// The device answers the drum query with two records; each value list is
// drum number, attribute, device ink code, attribute, L, a, b.
TEST_F(DocumentEntries, FirstPageTakesTheDrumsByTheirNumbers) {
  struct Case {
    const char* name;
    std::vector<long long> first, second;  // the records in the order the device lists them
    bool statusFile;
    int ink1, lab1[3], ink2, lab2[3];
    int seps[3];
  };
  const Case cases[] = {
      // Listed drum 2 first: drum 1 is the dark neutral ink (mode A 4), drum 2
      // the warm one (mode B 5 for a neutral drum 1 and a class-1 drum 2).
      {"ListedDrum2First", {2, 0, 5, 0, 50, 60, 20}, {1, 0, 9, 0, 30, 0, 0}, false,
       1009, {30, 0, 0}, 1005, {50, 60, 20}, {4, 4, 5}},
      {"ListedInOrder", {1, 0, 9, 0, 30, 0, 0}, {2, 0, 5, 0, 50, 60, 20}, false,
       1009, {30, 0, 0}, 1005, {50, 60, 20}, {4, 4, 5}},
      // Drums 2 and 7: drum 1 is not reported, so the status file decides;
      // no image mode fits its two inks, so the one the job's own inks gave
      // at the device's creation stays.
      {"Drums2And7UseTheStatusFile", {2, 0, 5, 0, 50, 60, 20}, {7, 0, 9, 0, 30, 0, 0}, true,
       1004, {45, -15, 0}, 1010, {50, 5, -5}, {4, 4, 5}},
      // ... and without one the job keeps its own inks and the modes they
      // gave (black 1001 on drum 1, red 1003 on drum 2: 4 and 5).
      {"Drums2And7WithoutStatusFileKeepTheInks", {2, 0, 5, 0, 50, 60, 20}, {7, 0, 9, 0, 30, 0, 0}, false,
       1001, {0, 0, 0}, 1003, {0, 0, 0}, {4, 4, 5}},
  };
  FakeAgent agent;
  ASSERT_TRUE(plat::net::SetPortOverride("127.0.0.1", agent.Port()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(plat::machine::Root() + "/C/RSF");
    if (c.statusFile) WriteStatusFile("04", "0A");
    std::vector<long long> values = c.first;
    values.insert(values.end(), c.second.begin(), c.second.end());
    agent.SetScript([values](const ::Bytes& request, int) -> std::vector<::Bytes> {
      std::vector<ber::Binding> b;
      for (std::size_t i = 0; i < values.size(); ++i)
        b.push_back({std::string(DeviceStatusOid(i)), ber::Int(values[i])});
      return {ber::Response("marnit", ber::RequestId(request), b)};
    });

    PrivateDevmode dm = BaseDevmode();
    Address(dm);
    dm.Settings.ColorMode = 2;
    dm.Settings.Seihan = 2;
    dm.Settings.Drum1Color = 1001;
    dm.Settings.Drum2Color = 1003;
    dm.Settings.SeparationModeA = 2;
    dm.Settings.SeparationModeB = 2;
    SURFOBJ* so = Start(dm);
    ASSERT_NE(so, nullptr);
    const int kept1[3] = {pdev->drum1Lab[0], pdev->drum1Lab[1], pdev->drum1Lab[2]};
    const int kept2[3] = {pdev->drum2Lab[0], pdev->drum2Lab[1], pdev->drum2Lab[2]};
    const int requests = agent.RequestCount();
    ASSERT_TRUE(DrvStartDoc(so, nullptr, 3));
    ASSERT_TRUE(DrvStartPage(so));
    ASSERT_TRUE(plat::engine::FillRect(so, RECTL{0, 0, 64, 8}, 0));
    ASSERT_TRUE(DrvSendPage(so));
    ASSERT_TRUE(DrvStartPage(so));  // later pages never ask
    ASSERT_TRUE(DrvSendPage(so));
    ASSERT_TRUE(DrvEndDoc(so, 0));
    EXPECT_EQ(agent.RequestCount(), requests + 1);

    const bool kept = c.ink1 == 1001;
    EXPECT_EQ(pdev->drum1Ink, c.ink1);
    EXPECT_EQ(pdev->drum2Ink, c.ink2);
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(pdev->drum1Lab[i], kept ? kept1[i] : c.lab1[i]) << i;
      EXPECT_EQ(pdev->drum2Lab[i], kept ? kept2[i] : c.lab2[i]) << i;
      EXPECT_EQ(pdev->separationModes[i], c.seps[i]) << i;
    }
    // The drum pages announce the inks taken.
    const std::vector<BYTE> out = plat::spooler::Output(kPrinter);
    streamdump::Decoded job = streamdump::DecodeStream(std::span<const std::uint8_t>(out.data(), out.size()));
    ASSERT_TRUE(job.ok) << job.error;
    std::vector<std::int64_t> inks;
    for (const streamdump::DrumPage& page : job.pages) inks.push_back(page.inkCode);
    std::sort(inks.begin(), inks.end());
    std::vector<std::int64_t> want = {std::min(c.ink1, c.ink2), std::max(c.ink1, c.ink2)};
    want.insert(want.end(), want.begin(), want.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(inks, want);

    DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
    pdev = nullptr;
    plat::spooler::ClearOutput(kPrinter);
  }
  agent.SetScript(nullptr);
}

TEST_F(DocumentEntries, OneInkJobMovesOntoDrum1) {
  WriteStatusFile("04", "0A");
  PrivateDevmode dm = BaseDevmode();
  Address(dm);
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  ASSERT_TRUE(DrvStartDoc(so, nullptr, 3));
  ASSERT_TRUE(DrvStartPage(so));
  EXPECT_EQ(pdev->drum1Ink, 1004);
  EXPECT_EQ(pdev->drum2Ink, 0);
  EXPECT_EQ(pdev->drum2Lab[0], 0);
}

TEST_F(DocumentEntries, NoAnswerOrLaterPagesKeepTheInks) {
  PrivateDevmode dm = BaseDevmode();
  Address(dm);
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  ASSERT_TRUE(DrvStartDoc(so, nullptr, 3));
  ASSERT_TRUE(DrvStartPage(so));  // no status file: settings unchanged
  EXPECT_EQ(pdev->drum1Ink, 1001);
  WriteStatusFile("04", "0A");
  pdev->pageCounter = 1;  // a later page never asks
  ASSERT_TRUE(DrvStartPage(so));
  EXPECT_EQ(pdev->drum1Ink, 1001);
}

TEST_F(DocumentEntries, PreviewWritesTheSpoolFileAndClearsThePortStatus) {
  PrivateDevmode dm = BaseDevmode();
  dm.Settings.Preview = 1;
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  auto status = plat::spooler::PortStatusOf(kPort);
  ASSERT_TRUE(status);
  EXPECT_EQ(status->setCount, 1u);
  EXPECT_EQ(status->severity, 1u);
  ASSERT_TRUE(DrvStartDoc(so, nullptr, 7));
  ASSERT_TRUE(DrvStartPage(so));
  ASSERT_TRUE(plat::engine::FillRect(so, RECTL{0, 0, 64, 8}, 0));
  ASSERT_TRUE(DrvSendPage(so));
  ASSERT_TRUE(DrvEndDoc(so, 0));
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty());
  std::string file = plat::machine::HostPath(u"C:\\TEMP\\RV0007.PRN");
  ASSERT_FALSE(file.empty());
  std::ifstream in(file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes.substr(0, 2), "\x1eR");
  EXPECT_EQ(bytes.substr(bytes.size() - 2), "\x1eR");
  DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
  DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
  pdev = nullptr;
  status = plat::spooler::PortStatusOf(kPort);
  EXPECT_EQ(status->setCount, 2u);
  EXPECT_EQ(status->severity, 0u);
}

TEST_F(DocumentEntries, FailedJobEndIsReported) {
  PrivateDevmode dm = BaseDevmode();
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  ASSERT_TRUE(DrvStartDoc(so, nullptr, 1));
  ASSERT_TRUE(DrvStartPage(so));
  ASSERT_TRUE(DrvSendPage(so));
  plat::spooler::WriteFault fault;
  fault.failOnCall = 1;
  plat::spooler::SetWriteFault(kPrinter, fault);
  EXPECT_FALSE(DrvEndDoc(so, 0));
  plat::spooler::ClearWriteFault(kPrinter);
}

TEST_F(DocumentEntries, ResetCarriesTheJobAndEndsItOnAPaperChange) {
  PrivateDevmode dm = BaseDevmode();
  SURFOBJ* so = Start(dm);
  ASSERT_NE(so, nullptr);
  std::u16string doc = u"Report";
  ASSERT_TRUE(DrvStartDoc(so, doc.data(), 9));
  ASSERT_TRUE(DrvStartPage(so));
  ASSERT_TRUE(DrvSendPage(so));
  ASSERT_EQ(pdev->sheetCounter, 1u);
  pdev->jobText.jobName[0] = 'J';
  const auto endsOfJob = [] {
    auto out = plat::spooler::Output(kPrinter);
    int n = 0;
    for (std::size_t i = 0; i + 1 < out.size(); ++i) n += out[i] == 0x1E && out[i + 1] == 'R';
    return n;
  };
  ASSERT_EQ(endsOfJob(), 1);  // the header's reset only

  struct Case {
    const char* name;
    SHORT paper;
    bool ends;
  };
  for (const Case& c : {Case{"SamePaper", DMPAPER_A4, false}, Case{"OtherPaper", DMPAPER_A5, true}}) {
    SCOPED_TRACE(c.name);
    PrivateDevmode next = BaseDevmode();
    next.Public.dmPaperSize = c.paper;
    GDIINFO g{};
    DEVINFO d{};
    DHPDEV fresh = DrvEnablePDEV(&next.Public, nullptr, 0, nullptr, sizeof(g), reinterpret_cast<ULONG*>(&g), sizeof(d),
                                 &d, hdev, nullptr, printer);
    ASSERT_NE(fresh, nullptr);
    auto* n = reinterpret_cast<RenderPdev*>(fresh);
    ASSERT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(pdev), fresh));
    EXPECT_EQ(n->jobId, 9u);
    EXPECT_EQ(std::u16string(n->documentName), u"Report");
    if (c.ends) {
      EXPECT_EQ(endsOfJob(), 2);
      EXPECT_EQ(pdev->flags, 0u);
      EXPECT_EQ(n->sheetCounter, 0u);
      EXPECT_EQ(n->pageCounter, 0u);
      EXPECT_EQ(n->jobText.jobName[0], 0);  // the finished job's texts stay behind
    } else {
      EXPECT_EQ(endsOfJob(), 1);
      EXPECT_EQ(n->sheetCounter, 1u);
      EXPECT_EQ(n->pageCounter, 1u);
      EXPECT_EQ(n->jobText.jobName[0], 'J');
    }
    DrvDisablePDEV(fresh);
  }
}

TEST_F(DocumentEntries, ResetEndsTheJobOnlyForAPageChangeTheNewLayoutCanNotAbsorb) {
  struct Case {
    const char* name;
    void (*old)(PrivateDevmode&);
    void (*next)(PrivateDevmode&);
    bool sendPage;
    bool ends;
  };
  const Case cases[] = {
      {"OtherPaper", [](PrivateDevmode&) {}, [](PrivateDevmode&) {}, true, true},
      {"OtherOrientation", [](PrivateDevmode&) {},
       [](PrivateDevmode& dm) {
         dm.Public.dmPaperSize = DMPAPER_A4;
         dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
       },
       true, true},
      {"NoPageYet", [](PrivateDevmode&) {}, [](PrivateDevmode&) {}, false, false},
      {"OldCustomPosition", [](PrivateDevmode& dm) { dm.Settings.ImagePosition = 1; }, [](PrivateDevmode&) {}, true,
       false},
      {"NewNUp", [](PrivateDevmode&) {}, [](PrivateDevmode& dm) { dm.Settings.RensyaLayout = 1; }, true, false},
      {"NewRepeat", [](PrivateDevmode&) {}, [](PrivateDevmode& dm) { dm.Settings.UpLayout = 1; }, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = BaseDevmode();
    c.old(dm);
    SURFOBJ* so = Start(dm);
    ASSERT_NE(so, nullptr);
    std::u16string doc = u"Report";
    ASSERT_TRUE(DrvStartDoc(so, doc.data(), 5));
    if (c.sendPage) {
      ASSERT_TRUE(DrvStartPage(so));
      ASSERT_TRUE(DrvSendPage(so));
    }
    const std::uint32_t pages = pdev->pageCounter;
    PrivateDevmode next = BaseDevmode();
    next.Public.dmPaperSize = DMPAPER_A5;
    c.next(next);
    GDIINFO g{};
    DEVINFO d{};
    DHPDEV fresh = DrvEnablePDEV(&next.Public, nullptr, 0, nullptr, sizeof(g), reinterpret_cast<ULONG*>(&g), sizeof(d),
                                 &d, hdev, nullptr, printer);
    ASSERT_NE(fresh, nullptr);
    auto* n = reinterpret_cast<RenderPdev*>(fresh);
    EXPECT_TRUE(DrvResetPDEV(reinterpret_cast<DHPDEV>(pdev), fresh));
    EXPECT_EQ(n->jobId, 5u);
    if (c.ends) {
      EXPECT_EQ(pdev->flags, 0u);
      EXPECT_EQ(n->pageCounter, 0u);
      EXPECT_EQ(n->sheetCounter, 0u);
    } else {
      EXPECT_NE(pdev->flags & kPdevJobStarted, 0u);
      EXPECT_EQ(n->pageCounter, pages);
    }
    DrvDisablePDEV(fresh);
    DrvDisableSurface(reinterpret_cast<DHPDEV>(pdev));
    DrvDisablePDEV(reinterpret_cast<DHPDEV>(pdev));
    pdev = nullptr;
  }
}

}  // namespace
