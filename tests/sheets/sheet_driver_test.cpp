// The document and device sheets through the spooler's calls, on printers of
// the sample models with classicui as their config file, driven by the
// scripted user.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "printjob/printer_setup.h"
#include "settings/caps_store.h"
#include "settings/private_devmode.h"
#include "settings/model_fixture.h"
#include "sheets/sheet_driver.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kPrinterName[] = u"Sheet Printer";
const fs::path kClassicUi = fs::path(LIB_DIR_STR) / "classicui.so";

struct Model {
  const char* file;
  int tabs;
};
const Model kModels[] = {{"NEVO1100.RDF", 6}, {"NEVO2600.RDF", 6}};

class SheetDriver : public ::testing::TestWithParam<Model> {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    plat::resources::Reset();
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    root_ = fs::temp_directory_path() / ("sheet_driver_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    ASSERT_EQ(printjob::SetUpMachine(root_), "");
    printjob::PrinterFiles files{fs::path(MODELS_DIR_STR) / GetParam().file,
                                 fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL", kClassicUi, true};
    ASSERT_EQ(printjob::SetUpPrinter(files, kPrinterName, u"LPT1:"), "");
    // As an administrator: defaults and the device sheet write printer data.
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(kPrinterName, &printer_, &access));
    windowsBefore_ = plat::LiveWindowCount();
    modulesBefore_ = plat::resources::LoadedModuleCount();
  }
  void TearDown() override {
    EXPECT_EQ(plat::LiveWindowCount(), windowsBefore_);
    EXPECT_EQ(plat::LivePageCount(), 0u);
    EXPECT_EQ(plat::resources::LoadedModuleCount(), modulesBefore_);
    if (printer_) ClosePrinter(printer_);
    plat::ui::ResetScript();
    plat::resources::Reset();
    plat::machine::Reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The merged DEVMODE as the call without UI gives it.
  std::vector<BYTE> Merged() {
    std::vector<BYTE> out(kPrivateDevmodeSize);
    auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
    dm->dmSize = kPublicDevmodeSize;
    dm->dmDriverExtra = kPrivateDevmodeExtra;
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, dm, nullptr, DM_OUT_BUFFER), IDOK);
    return out;
  }

  // Runs the document sheet with the handler; the DEVMODE it wrote.
  std::vector<BYTE> RunSheet(DWORD extraMode, plat::ui::Handler handler, LONG expected) {
    std::vector<BYTE> out(kPrivateDevmodeSize, 0xEE);
    auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
    dm->dmSize = kPublicDevmodeSize;
    dm->dmDriverExtra = kPrivateDevmodeExtra;
    plat::ui::QueueHandler(std::move(handler));
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER | extraMode),
              expected);
    return out;
  }

  fs::path root_;
  HANDLE printer_ = nullptr;
  std::size_t windowsBefore_ = 0;
  std::size_t modulesBefore_ = 0;
};

TEST_P(SheetDriver, CallWithoutUiAnswersByModeAndShapesForeignDevmodes) {
  const std::vector<BYTE> merged = Merged();
  const auto* m = reinterpret_cast<const PrivateDevmode*>(merged.data());
  EXPECT_EQ(m->Public.dmDriverVersion, kClassicDriverVersion);
  EXPECT_EQ(m->Public.dmSize, kPublicDevmodeSize);

  // The size query and the refused modes write nothing.
  struct Refusal {
    DWORD mode;
    LONG answer;
  };
  const Refusal refusals[] = {{0, 3456}, {DM_IN_BUFFER, -1}, {DM_OUT_BUFFER | DM_NOPERMISSION, -1}};
  for (const Refusal& r : refusals) {
    std::vector<BYTE> out(kPrivateDevmodeSize, 0xEE);
    DOCUMENTPROPERTYHEADER h{sizeof h, 0, printer_, nullptr, nullptr, reinterpret_cast<DEVMODEW*>(out.data()),
                             kPrivateDevmodeSize, r.mode};
    EXPECT_EQ(DocumentPropertiesNoUi(&h), r.answer) << r.mode;
    EXPECT_EQ(out, std::vector<BYTE>(kPrivateDevmodeSize, 0xEE)) << r.mode;
  }
  DOCUMENTPROPERTYHEADER sizeOnly{sizeof(DOCUMENTPROPERTYHEADER), 0, printer_, nullptr, nullptr, nullptr, 0, DM_COPY};
  EXPECT_EQ(DocumentPropertiesNoUi(&sizeOnly), 3456);
  EXPECT_EQ(sizeOnly.cbOut, 3456u);

  // A foreign input gets at most its own public bytes of the merged DEVMODE,
  // keeps its size fields, and shapes the output when its private part is short.
  struct Foreign {
    WORD size;
    WORD extra;
    std::size_t outBytes;  // the output as the merged DEVMODE shapes it
  };
  const Foreign foreign[] = {{156, 0, 156}, {220, 16, 236}, {220, 3236, 3456}, {64, 0, 72}};
  for (const Foreign& f : foreign) {
    SCOPED_TRACE(f.size);
    std::vector<BYTE> in(4096, 0xAA);
    auto* inDm = reinterpret_cast<DEVMODEW*>(in.data());
    std::memset(inDm->dmDeviceName, 0, sizeof inDm->dmDeviceName);  // empty name: foreign
    inDm->dmSize = f.size;
    inDm->dmDriverExtra = f.extra;
    inDm->dmDriverVersion = 0x0100;
    std::vector<BYTE> out(4096, 0xEE);
    DOCUMENTPROPERTYHEADER h{sizeof h, 0, printer_, nullptr, inDm, reinterpret_cast<DEVMODEW*>(out.data()),
                             4096, DM_OUT_BUFFER};
    ASSERT_EQ(DocumentPropertiesNoUi(&h), IDOK);
    const std::size_t over = std::min<std::size_t>(f.size, kPublicDevmodeSize);
    for (std::size_t i = 0; i < over; ++i) {
      if (i >= offsetof(DEVMODEW, dmSize) && i < offsetof(DEVMODEW, dmFields)) continue;
      ASSERT_EQ(in[i], merged[i]) << "input byte " << i;
    }
    EXPECT_EQ(inDm->dmSize, f.size);
    EXPECT_EQ(inDm->dmDriverExtra, f.extra);
    EXPECT_EQ(in[over], 0xAA) << "nothing past the input's public part";
    for (std::size_t i = f.outBytes; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << "output byte " << i;
    if (f.outBytes >= kPublicDevmodeSize) {
      EXPECT_EQ(std::memcmp(out.data() + kPublicDevmodeSize, merged.data() + kPublicDevmodeSize,
                            f.outBytes - kPublicDevmodeSize),
                0);
    }
  }

  // Nothing is written past cbOut.
  std::vector<BYTE> out(4096, 0xEE);
  DOCUMENTPROPERTYHEADER small{sizeof small, 0, printer_, nullptr, nullptr, reinterpret_cast<DEVMODEW*>(out.data()),
                               1000, DM_OUT_BUFFER};
  EXPECT_EQ(DocumentPropertiesNoUi(&small), IDOK);
  for (std::size_t i = 1000; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;
}

TEST_P(SheetDriver, OkWithoutChangesWritesTheMergedSettingsBack) {
  const std::vector<BYTE> merged = Merged();
  int tabs = 0;
  std::vector<BYTE> out = RunSheet(
      0,
      [&](plat::ui::Screen& s) {
        tabs = s.TabCount();
        for (int t = 0; t < tabs; ++t) EXPECT_TRUE(s.Tab(t)) << s.LastError();
        EXPECT_TRUE(s.Ok());
      },
      IDOK);
  EXPECT_EQ(tabs, GetParam().tabs);
  // Empty user names take the login name; nothing else changes.
  std::vector<BYTE> expected = merged;
  auto* e = reinterpret_cast<PrivateDevmode*>(expected.data());
  ASSERT_EQ(e->Settings.HoldUserName[0], 0);
  GetLoginName(e->Settings.HoldUserName);
  GetLoginName(e->Settings.UsbUserName);
  EXPECT_NE(e->Settings.UsbUserName[0], 0);
  for (std::size_t i = 0; i < offsetof(PrivateDevmode, InfoTaken); ++i) {
    ASSERT_EQ(out[i], expected[i]) << "byte " << i;
  }

  // Several pages applying write what one does.
  std::vector<BYTE> once = RunSheet(0, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); }, IDOK);
  EXPECT_EQ(once, out);

  // Cancel writes nothing.
  std::vector<BYTE> cancelled = RunSheet(0, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Cancel()); }, IDCANCEL);
  EXPECT_EQ(cancelled[kPublicDevmodeSize + 10], 0xEE);
  EXPECT_EQ(cancelled.back(), 0xEE);
}

TEST_P(SheetDriver, DefaultsModeStoresThePrinterDefaults) {
  std::vector<BYTE> out = RunSheet(DM_USER_DEFAULT, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); }, IDOK);
  const auto* dm = reinterpret_cast<const PrivateDevmode*>(out.data());
  EXPECT_EQ(dm->InfoTaken, 0);
  EXPECT_EQ(dm->Settings.SheetMode, 1);
  auto stored = plat::spooler::GetData(kPrinterName, u"DefaultDevmode");
  ASSERT_TRUE(stored);
  ASSERT_EQ(stored->bytes.size(), out.size());
  EXPECT_EQ(stored->bytes, out);
}

TEST_P(SheetDriver, DeviceSheetRewritesThePrinterData) {
  plat::spooler::SetData(kPrinterName, u"DefaultDevmode", REG_BINARY, std::vector<BYTE>(16, 1));
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.TabCount(), 1);
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_TRUE(PrinterPropertiesW(nullptr, printer_));
  auto stored = plat::spooler::GetData(kPrinterName, u"DefaultDevmode");
  ASSERT_TRUE(stored);
  EXPECT_EQ(stored->bytes.size(), kPrivateDevmodeSize);
}

TEST_P(SheetDriver, ASheetWithoutCapabilitiesDoesNotOpen) {
  plat::spooler::SetData(kPrinterName, u"Info", REG_BINARY, std::vector<BYTE>(3, 0));  // damaged
  plat::ui::QueueHandler([](plat::ui::Screen& s) { s.Ok(); });
  std::vector<BYTE> out(kPrivateDevmodeSize, 0xEE);
  auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
  dm->dmSize = kPublicDevmodeSize;
  dm->dmDriverExtra = kPrivateDevmodeExtra;
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, dm, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER), -1);
  EXPECT_EQ(plat::ui::QueuedHandlerCount(), 1u) << "no sheet was shown";
  EXPECT_EQ(out.back(), 0xEE);
}

TEST_P(SheetDriver, LeavingThePrintPagesChecksTheUsbDestination) {
  // A document for the USB folder on a machine without a removable drive.
  std::vector<BYTE> in = Merged();
  auto* inDm = reinterpret_cast<PrivateDevmode*>(in.data());
  inDm->Settings.OutputMode = 3;
  std::vector<BYTE> out(kPrivateDevmodeSize);
  auto* outDm = reinterpret_cast<DEVMODEW*>(out.data());
  outDm->dmSize = kPublicDevmodeSize;
  outDm->dmDriverExtra = kPrivateDevmodeExtra;
  plat::ui::ResetMessageBoxes();
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.CurrentTab(), 0);
    EXPECT_FALSE(s.Tab(1)) << "the first page keeps the user";
    EXPECT_EQ(s.CurrentTab(), 0);
    EXPECT_TRUE(s.Ok());
    EXPECT_TRUE(s.IsOpen()) << "OK is refused too";
    EXPECT_TRUE(s.Cancel());
  });
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, outDm, &inDm->Public,
                                DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER),
            IDCANCEL);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 2u) << "one warning per attempt to leave";

  // Editing the printer's defaults never asks about the drive.
  plat::ui::ResetMessageBoxes();
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_TRUE(s.Tab(1));
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, outDm, &inDm->Public,
                                DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER | DM_USER_DEFAULT),
            IDOK);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_P(SheetDriver, ApplyWritesNothingPastTheOutput) {
  // A foreign input with a short private part shapes a short output: the
  // printer-information byte lies beyond it and is not written.
  std::vector<BYTE> in(kPrivateDevmodeSize, 0);
  auto* inDm = reinterpret_cast<DEVMODEW*>(in.data());
  inDm->dmSize = kPublicDevmodeSize;
  inDm->dmDriverExtra = 16;
  inDm->dmDriverVersion = 0x0200;
  std::vector<BYTE> out(4096, 0xEE);
  auto* outDm = reinterpret_cast<DEVMODEW*>(out.data());
  outDm->dmSize = kPublicDevmodeSize;
  outDm->dmDriverExtra = 16;
  plat::ui::QueueHandler([](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); });
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, outDm, inDm, DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER),
            IDOK);
  EXPECT_EQ(outDm->dmDriverExtra, 16);
  for (std::size_t i = kPublicDevmodeSize + 16; i < out.size(); ++i) ASSERT_EQ(out[i], 0xEE) << i;

}

INSTANTIATE_TEST_SUITE_P(SampleModels, SheetDriver, ::testing::ValuesIn(kModels),
                         [](const ::testing::TestParamInfo<Model>& info) {
                           return std::string(info.param.file).substr(0, 8);
                         });

// A two-drum model whose sheet shows the colour page and asks the printer at open.
TEST(SheetQuery, AfterOkTheDevmodeCarriesTheDrumsAndSaysThePrinterWasAsked) {
  const fs::path root = fs::temp_directory_path() / ("sheet_query_" + std::to_string(::getpid()));
  fs::remove_all(root);
  ASSERT_EQ(printjob::SetUpMachine(root), "");
  plat::machine::AddDrive({u'D', DRIVE_FIXED, u"NTFS", u"", 0});
  plat::machine::SetWindowsDirectory(u"D:\\WINDOWS");
  fs::create_directories(root / "D" / "RSF");
  std::ofstream(root / "D" / "RSF" / "R127000000001.rsf", std::ios::binary)
      << "[STATUS]\r\nID46=05\r\nID168=2D\r\nID169=CC\r\nID170=00\r\nID48=0A\r\nID171=38\r\nID172=f1\r\nID173=CF\r\n";

  fixture::CapsPtr caps = fixture::MakeModel(2);
  caps->Defaults.InkInformation = 1;
  SetFieldText(caps->Defaults.PrinterAddress, u"127.0.0.1");
  caps->Permanent = caps->Defaults;
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup;
  setup.name = fixture::kPrinter;
  setup.port = u"LPT1:";
  setup.driver.name = u"NEVO Duo 9";
  setup.driver.configFile = plat::u16(kClassicUi.string());
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  ASSERT_EQ(StoreCapsAsPrinterData(caps.get()), 1);
  fixture::DevmodePtr defaults(BuildDefaultDevmode(nullptr, *caps));
  WriteDefaultDevmode(fixture::kPrinter.c_str(), &defaults->Public);

  fixture::Printer printer;
  std::vector<BYTE> out(kPrivateDevmodeSize);
  auto* dm = reinterpret_cast<PrivateDevmode*>(out.data());
  dm->Public.dmSize = kPublicDevmodeSize;
  dm->Public.dmDriverExtra = kPrivateDevmodeExtra;
  int tabs = 0;
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    tabs = s.TabCount();
    EXPECT_TRUE(s.Ok());
  });
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer.h, nullptr, &dm->Public, nullptr, DM_IN_PROMPT | DM_OUT_BUFFER),
            IDOK);
  EXPECT_EQ(tabs, 7) << "the colour page too";
  const DocSettings& d = dm->Settings;
  EXPECT_EQ(d.Drum1Color, 1005);
  EXPECT_EQ(d.Drum2Color, 1010);
  EXPECT_EQ(d.InkLab.Entry[5].L, 45);
  EXPECT_EQ(d.InkLab.Entry[5].a, -52);
  EXPECT_EQ(d.InkMarks[ColorIdIndex(1005)], 2);
  EXPECT_EQ(d.InkMarks[ColorIdIndex(1010)], 2);
  EXPECT_EQ(dm->InfoTaken, 1);

  // A DEVMODE that says so is not asked again, and keeps saying so.
  fs::remove(root / "D" / "RSF" / "R127000000001.rsf");
  std::vector<BYTE> again(kPrivateDevmodeSize);
  auto* dm2 = reinterpret_cast<PrivateDevmode*>(again.data());
  dm2->Public.dmSize = kPublicDevmodeSize;
  dm2->Public.dmDriverExtra = kPrivateDevmodeExtra;
  plat::ui::QueueHandler([](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); });
  EXPECT_EQ(DocumentPropertiesW(nullptr, printer.h, nullptr, &dm2->Public, &dm->Public,
                                DM_IN_PROMPT | DM_IN_BUFFER | DM_OUT_BUFFER),
            IDOK);
  EXPECT_EQ(dm2->InfoTaken, 1);
  EXPECT_EQ(dm2->Settings.Drum1Color, 1005);
  plat::ui::ResetScript();
  plat::resources::Reset();
  plat::machine::Reset();
  fs::remove_all(root);
}

TEST(DefaultsMode, UserDefaultsOrWindows2000ExplorerWithoutOutput) {
  plat::machine::SetWindowsDirectory(u"C:\\WINNT");
  struct Case {
    DWORD mode;
    DWORD cbOut;
    std::uint8_t kind;
    const char16_t* image;
    std::uint8_t expected;
  };
  const Case cases[] = {
      {DM_USER_DEFAULT, 3456, 110, u"C:\\app.exe", 1},      {0, 0, 104, u"c:\\winnt\\EXPLORER.EXE", 1},
      {0, 3456, 104, u"C:\\WINNT\\explorer.exe", 0},        {0, 0, 106, u"C:\\WINNT\\explorer.exe", 0},
      {0, 0, 104, u"C:\\WINNT\\system32\\explorer.exe", 0}, {DM_OUT_BUFFER, 0, 104, u"C:\\app.exe", 0},
  };
  for (const Case& c : cases) {
    plat::SetProcessImagePath(c.image);
    EXPECT_EQ(DefaultsModeFor(c.mode, c.cbOut, c.kind), c.expected) << plat::utf8(c.image);
  }
  plat::SetProcessImagePath(u"C:\\Program Files\\app.exe");
  plat::machine::Reset();
}

}  // namespace
