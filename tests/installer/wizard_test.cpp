#include <gtest/gtest.h>

#include "installer/model_list.h"
#include "installer/ports.h"
#include "installer/printer_names.h"
#include "wizard_fixture.h"

namespace installer_test {
namespace {

using installer::Connection;

TEST_F(Wizard, FlowTableRoutesEachPageByTypeKindAndSystem) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  struct Case {
    const char16_t* os;
    int type;
    Connection kind;
    bool driverInstalled;
    int page;
    INT_PTR result;
    int expected;
  };
  const Case cases[] = {
      {u"Win7x64", 4, Connection::Network, false, 104, 1, 105},
      {u"Win7x64", 1, Connection::Network, false, 104, 1, 121},
      {u"Win7x64", 4, Connection::Network, false, 105, 1, 121},
      {u"Win7x64", 4, Connection::UsbCable, false, 105, 1, 107},
      {u"Win7x64", 4, Connection::UsbMemory, false, 105, 1, 107},
      {u"Win7x64", 4, Connection::Network, false, 105, 1001, 104},
      {u"Win7x64", 4, Connection::Network, false, 121, 1, 107},
      {u"Win7x64", 4, Connection::Network, false, 121, 1001, 105},
      {u"Win7x64", 1, Connection::Network, false, 121, 1001, 104},
      {u"Win7x64", 4, Connection::Network, false, 107, 1, 110},
      {u"Win7x64", 4, Connection::Network, true, 107, 1, 108},
      {u"Win7x64", 4, Connection::UsbCable, true, 107, 1, 110},   // USB on Vista or later: no driver question
      {u"Win8x64", 4, Connection::UsbCable, true, 107, 1, 111},   // Windows makes the printer
      {u"WinXP", 4, Connection::UsbCable, true, 107, 1, 108},
      {u"Win7x64", 4, Connection::UsbCable, false, 107, 1001, 105},
      {u"Win7x64", 4, Connection::UsbMemory, false, 107, 1001, 105},
      {u"Win7x64", 4, Connection::Network, false, 107, 1001, 121},
      {u"Win7x64", 4, Connection::Network, false, 108, 1, 110},
      {u"Win7x64", 4, Connection::Network, false, 108, 1001, 107},
      {u"Win7x64", 4, Connection::Network, false, 110, 1, 111},
      {u"Win7x64", 4, Connection::Network, true, 110, 1001, 108},
      {u"Win7x64", 4, Connection::Network, false, 110, 1001, 107},
      {u"Win7x64", 4, Connection::UsbCable, true, 110, 1001, 107},
      {u"WinXP", 4, Connection::UsbCable, true, 110, 1001, 108},
      {u"Win7x64", 4, Connection::Network, false, 111, 1, 112},
      {u"Win7x64", 4, Connection::Network, false, 111, 1001, 110},
      {u"Win8", 4, Connection::UsbCable, false, 111, 1001, 107},
      {u"Win8", 4, Connection::UsbMemory, false, 111, 1001, 110},
      {u"Win7x64", 4, Connection::Network, false, 112, 1, 113},
      {u"Win7x64", 4, Connection::Network, false, 104, 1001, 0},
  };
  for (const Case& c : cases) {
    plat::spooler::Reset();
    if (c.driverInstalled) {
      InstallDriver(u"NEVO RP2600");
    }
    installer::SetField(ctx_.osName, c.os);
    installer::SetField(ctx_.modelName, u"NEVO RP2600");
    ctx_.type = c.type;
    ctx_.connection = c.kind;
    EXPECT_EQ(installer::FollowRoute(ctx_, c.page, c.result), c.expected)
        << plat::utf8(c.os) << " type " << c.type << " kind " << int(c.kind) << " page " << c.page << " result "
        << c.result;
  }
}

// The whole chain as a user walks it: every Back returns to the page before.
TEST_F(Wizard, NetworkInstallWalksForwardAndBackThroughThePages) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  const std::size_t windowsBefore = plat::LiveWindowCount();  // system windows of earlier tests may live on
  auto network = [](plat::ui::Screen& s) {
    EXPECT_TRUE(s.Check(1024, true));
    EXPECT_TRUE(s.Click(IDOK)) << s.LastError();
  };
  auto address = [](plat::ui::Screen& s) {
    EXPECT_TRUE(s.SetAddress(1041, u"192.168.10.5")) << s.LastError();
    EXPECT_TRUE(s.Click(IDOK)) << s.LastError();
  };
  auto model = [](plat::ui::Screen& s) {
    EXPECT_EQ(s.ItemCount(1009), 3);
    EXPECT_TRUE(s.Select(1009, {1})) << s.LastError();
    EXPECT_TRUE(s.Click(IDOK));
  };
  auto confirm = [](plat::ui::Screen& s) {
    EXPECT_EQ(s.Text(1018), u"NEVO RP2600");
    EXPECT_EQ(s.Text(1019), u"NEVO_192.168.10.5");
    EXPECT_EQ(s.Text(1020), u"NEVO RP2600");
    EXPECT_TRUE(s.Cancel());
  };
  Script({{104, Press(IDOK)}, {105, network},      {121, Press(1001)}, {105, Press(1001)}, {104, Press(IDOK)},
          {105, network},     {121, address},      {107, model},       {110, Press(1001)}, {107, Press(IDOK)},
          {110, Press(IDOK)}, {111, Press(1001)},  {110, Press(IDOK)}, {111, confirm},     {0, Answer(IDYES)}});
  EXPECT_EQ(installer::ShowFirstPage(ctx_), 1);
  EXPECT_EQ(seen_.size(), 15u);
  EXPECT_EQ(installer::Str(ctx_.portName), u"NEVO_192.168.10.5");
  EXPECT_EQ(installer::Str(ctx_.modelName), u"NEVO RP2600");
  EXPECT_EQ(ctx_.kindIndex, 0u);
  EXPECT_EQ(plat::LiveWindowCount(), windowsBefore);
  EXPECT_EQ(plat::ui::LiveTimerCount(), 0u);
}

TEST_F(Wizard, NoConnectionOnOfferLeavesOnlyBackAndCancel) {
  Prepare(6, 1, false, "Win7=x86", 4, 0);
  Script({{104, Press(IDOK)},
          {105,
           [](plat::ui::Screen& s) {
             for (int id : {1024, 1022, 1023, IDOK}) EXPECT_FALSE(s.Enabled(id)) << id;
             EXPECT_TRUE(s.Click(1001));
           }},
          {104, Press(IDCANCEL)},
          {0, Answer(IDYES)}});
  EXPECT_EQ(installer::ShowFirstPage(ctx_), 1);
  EXPECT_EQ(seen_, (std::vector<int>{104, 105, 104, 0}));
}

TEST_F(Wizard, ConnectionPageOffersTheValidOutputsAndDrawsTheNoteInRed) {
  const struct {
    const char* os;
    DWORD major, minor;
    bool x64;
    int flags;
    bool network, usb, memory;
  } cases[] = {
      {"Win7=x86", 6, 1, false, 7, true, true, true},
      {"Win7x64=x64", 6, 1, true, 7, true, false, true},  // no USB cable on Windows 7 x64
      {"WinXP=x86", 5, 1, false, 5, true, false, true},
      {"WinXP=x86", 5, 1, false, 2, false, true, false},
  };
  for (const auto& c : cases) {
    Prepare(c.major, c.minor, c.x64, c.os, 4, c.flags);
    COLORREF note = CLR_INVALID;
    Script({{104, Press(IDOK)},
            {105,
             [&](plat::ui::Screen& s) {
               EXPECT_EQ(s.Enabled(1024), c.network) << c.os << c.flags;
               EXPECT_EQ(s.Enabled(1022), c.usb) << c.os << c.flags;
               EXPECT_EQ(s.Enabled(1027), c.usb) << c.os << c.flags;
               EXPECT_EQ(s.Enabled(1023), c.memory) << c.os << c.flags;
               HDC dc = CreateCompatibleDC(nullptr);
               const LRESULT brush = SendMessageW(s.window(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                  reinterpret_cast<LPARAM>(s.Item(1027)));
               EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE)));
               note = plat::ui::TextColorOf(dc);
               DeleteDC(dc);
               EXPECT_TRUE(s.Cancel());
             }},
            {0, Answer(IDYES)}});
    seen_.clear();
    EXPECT_EQ(installer::ShowFirstPage(ctx_), 1);
    EXPECT_EQ(note, RGB(255, 0, 0));
    FreeLibrary(ctx_.languageLibrary);
    ctx_.languageLibrary = nullptr;
  }
}

TEST_F(Wizard, UsbMemoryMakesAHiddenFolderPortAndShowsItsText) {
  Prepare(5, 1, false, "WinXP=x86", 4);
  // The memory driver of each kind: its own INF beside the kind's.
  Write("D/inst.ini", "[Model]\nKindNum=1\nKindName=Classic\nValidOutPut=7\n[Classic]\nINF=,classic.inf\n"
                      "MtoPINF=Memory,memory.inf\n[Driver]\nFolderName=Driver\n[Setup]\nReadmeENG=readme.txt\nexcept=\n");
  Write("D/Driver/x86/US/Memory/memory.inf",
        "[Version]\nSignature=\"$Windows NT$\"\n[Manufacturer]\n%M%=MEM\n[MEM]\n\"NEVO RP2600 Memory\"=M2600\n"
        "[Strings]\nM=\"Maker\"\n");
  Write("D/Driver/x86/US/classic.inf", ReadText(Host("D/Driver/x86/Classic/US/classic.inf")));
  plat::profile::DropCache();
  std::memset(ctx_.kindNames, 0, sizeof ctx_.kindNames);
  ASSERT_EQ(installer::ReadModelInfo(ctx_, u"D:\\inst.ini"), 1);
  Script({{104, Press(IDOK)},
          {105,
           [](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Check(1023, true));
             EXPECT_TRUE(s.Click(IDOK));
           }},
          {107,
           [](plat::ui::Screen& s) {
             ASSERT_EQ(s.ItemCount(1009), 1);
             EXPECT_EQ(s.ItemText(1009, 0), u"NEVO RP2600 Memory");
             EXPECT_TRUE(s.Click(IDOK));
           }},
          {110, Press(IDOK)},
          {111,
           [](plat::ui::Screen& s) {
             EXPECT_EQ(s.Text(1019), u"USB memory");
             EXPECT_TRUE(s.Cancel());
           }},
          {0, Answer(IDYES)}});
  EXPECT_EQ(installer::ShowFirstPage(ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.portName), u"C:\\USBMEM\\USBMemory");
  EXPECT_TRUE(GetFileAttributesW(u"C:\\USBMEM") & FILE_ATTRIBUTE_HIDDEN);
  const auto ports = plat::spooler::Ports();
  EXPECT_NE(std::find(ports.begin(), ports.end(), u"C:\\USBMEM\\USBMemory"), ports.end());
}

TEST_F(Wizard, UsbMemoryFolderNameMustBeOneFolder) {
  for (const char* name : {"USB\\MEM", "C:", "..", ""}) {
    WCHAR port[MAX_PATH] = {};
    EXPECT_EQ(installer::AddUsbMemoryPort(plat::u16(name), port), 0) << name;
  }
  EXPECT_TRUE(plat::spooler::Ports() == std::vector<std::u16string>{u"LPT1:"});

  // On the connection page such a name makes no port, and the page stays.
  Prepare(5, 1, false, "WinXP=x86", 4);
  FreeLibrary(ctx_.languageLibrary);
  WriteLanguageLibrary("9\tCopy\n", "USB*MEM");
  ctx_.languageLibrary = LoadLibraryW(ctx_.languageLibraryPath);
  ASSERT_NE(ctx_.languageLibrary, nullptr);
  Script({{104, Press(IDOK)},
          {105,
           [](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Check(1023, true));
             EXPECT_TRUE(s.Click(IDOK));
             EXPECT_TRUE(s.IsOpen());
             EXPECT_TRUE(s.Cancel());
           }},
          {0, Answer(IDYES)}});
  installer::ShowFirstPage(ctx_);
  EXPECT_EQ(installer::Str(ctx_.portName), u"");
  EXPECT_TRUE(plat::spooler::Ports() == std::vector<std::u16string>{u"LPT1:"});
}

// ---- model list ----
TEST_F(Wizard, ModelListLeavesOutExceptedModelsAndKeepsTheirKinds) {
  Prepare(6, 1, true, "Win7x64=x64", 4, 7, " NEVO RP1100 ,Other");
  HWND page = plat::CreateHeadlessDialog({{1009, plat::ControlKind::ListBox, u""}});
  EXPECT_EQ(installer::BuildModelList(page, ctx_), 2);
  EXPECT_EQ(SendDlgItemMessageW(page, 1009, LB_GETITEMDATA, 0, 0), 0);
  EXPECT_EQ(SendDlgItemMessageW(page, 1009, LB_GETITEMDATA, 1, 0), 1);
  DestroyWindow(page);

  // Without the except key the list cannot be built.
  Write("D/inst.ini", "[Model]\nKindNum=1\nKindName=Classic\n[Classic]\nINF=,classic.inf\n[Driver]\nFolderName=Driver\n"
                      "[Setup]\nReadmeENG=readme.txt\n");
  plat::profile::DropCache();
  page = plat::CreateHeadlessDialog({{1009, plat::ControlKind::ListBox, u""}});
  EXPECT_EQ(installer::BuildModelList(page, ctx_), -1);
  DestroyWindow(page);
}

TEST_F(Wizard, UsbModelIsOfferedOnlyForItsWholeHardwareId) {
  Prepare(5, 1, false, "WinXP=x86", 4);
  ctx_.connection = Connection::UsbCable;
  const struct {
    const char16_t* id;
    std::vector<std::u16string> models;
  } cases[] = {
      {u"USBPRINT\\NEVORP2600C3D4", {u"NEVO RP2600"}},
      {u"USBPRINT\\NEVORP2600", {}},      // a part of an id is not the id
      {u"USBPRINT\\NEVORP9000", {u"NEVO RP9000"}},
      {u"usbprint\\nevorp1100a1b2", {u"NEVO RP1100"}},
  };
  for (const auto& c : cases) {
    installer::SetField(ctx_.usbHardwareId, c.id);
    HWND page = plat::CreateHeadlessDialog({{1009, plat::ControlKind::ListBox, u""}});
    std::vector<std::u16string> models;
    EXPECT_EQ(installer::BuildModelList(page, ctx_), static_cast<int>(c.models.size()));
    for (int i = 0; i < static_cast<int>(c.models.size()); ++i) {
      WCHAR text[64] = {};
      SendDlgItemMessageW(page, 1009, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
      models.emplace_back(installer::Str(text));
    }
    EXPECT_EQ(models, c.models) << plat::utf8(c.id);
    DestroyWindow(page);
  }
}

TEST_F(Wizard, ModelListStopsBeforeTheTwoHundredAndFirstRow) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  std::string lines;
  for (int i = 0; i < 201; ++i) lines += "\"M" + std::to_string(i) + "\"=S\n";
  Write("D/Driver/x64/Classic/US/classic.inf",
        "[Version]\nSignature=\"$Windows NT$\"\n[Manufacturer]\n%M%=NEVO,NTamd64\n[NEVO.NTamd64]\n" + lines);
  plat::profile::DropCache();
  HWND page = plat::CreateHeadlessDialog({{1009, plat::ControlKind::ListBox, u""}});
  EXPECT_EQ(installer::BuildModelList(page, ctx_), -1);
  EXPECT_EQ(SendDlgItemMessageW(page, 1009, LB_GETCOUNT, 0, 0), 200);
  DestroyWindow(page);
}

// ---- printer names ----
void AddPrinterNamed(std::u16string name) {
  plat::spooler::DriverInfo driver;
  driver.name = u"Some driver";
  plat::spooler::PrinterSetup setup;
  setup.name = std::move(name);
  setup.port = u"LPT1:";
  setup.driver = driver;
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
}

TEST_F(Wizard, UniqueNameAddsTheSuffixAndCutsTheBaseToFit) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  const std::u16string thirty = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  const struct {
    std::vector<std::u16string> existing;
    std::u16string base;
    std::u16string expected;
  } cases[] = {
      {{}, u"NEVO RP2600", u"NEVO RP2600"},
      {{u"NEVO RP2600 office"}, u"NEVO RP2600", u"NEVO RP2600"},  // a longer name is no clash
      {{u"nevo rp2600"}, u"NEVO RP2600", u"NEVO RP2600 (Copy 1)"},
      {{u"NEVO RP2600", u"NEVO RP2600 (Copy 1)"}, u"NEVO RP2600", u"NEVO RP2600 (Copy 2)"},
      {{thirty}, thirty, u"ABCDEFGHIJKLMNOPQRSTUV (Copy 1)"},
  };
  for (const auto& c : cases) {
    plat::spooler::Reset();
    plat::spooler::AddPort(u"LPT1:");
    for (const auto& name : c.existing) AddPrinterNamed(name);
    WCHAR out[32] = {};
    EXPECT_EQ(installer::MakeUniquePrinterName(out, c.base, ctx_.languageLibrary), 1);
    EXPECT_EQ(installer::Str(out), c.expected);
    EXPECT_LE(installer::Str(out).size(), 31u);
  }
}

// A 25-character word: " (word 9)" leaves one character of the base, " (word 10)" none.
TEST_F(Wizard, UniqueNameFailsWhenTheSuffixLeavesNoRoom) {
  const std::u16string word = u"Duplicate of the printers";
  WriteLanguageLibrary("9\t" + plat::utf8(word) + "\n");
  Prepare(6, 1, true, "Win7x64=x64", 4);
  AddPrinterNamed(u"NEVO RP2600");
  for (int n = 1; n <= 8; ++n) {
    const std::u16string suffix = u" (" + word + u" " + plat::u16(std::to_string(n)) + u")";
    AddPrinterNamed(std::u16string(u"NEVO RP2600").substr(0, 31 - suffix.size()) + suffix);
  }
  WCHAR out[32] = {};
  ASSERT_EQ(installer::MakeUniquePrinterName(out, u"NEVO RP2600", ctx_.languageLibrary), 1);
  EXPECT_EQ(installer::Str(out), u"N (" + word + u" 9)");
  AddPrinterNamed(installer::Str(out).data());
  EXPECT_EQ(installer::MakeUniquePrinterName(out, u"NEVO RP2600", ctx_.languageLibrary), 0);
}

TEST_F(Wizard, PrinterNameRulesNameTheirMessage) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  AddPrinterNamed(u"Office");
  const struct {
    const char16_t* name;
    int valid;
    const char16_t* message;
  } cases[] = {
      {u"Duplicator", 1, nullptr},       {u" Duplicator 2 ", 1, nullptr}, {u"", 0, u"Empty name"},
      {u"   ", 0, u"Empty name"},        {u"OFFICE", 0, u"Name exists"},  {u"Off!ce", 0, u"Bad character"},
      {u"A,B", 0, u"Bad character"},     {u"A\\B", 0, u"Bad character"},  {u"Say \"hi\"", 0, u"Bad character"},
  };
  for (const auto& c : cases) {
    plat::ui::ResetMessageBoxes();
    EXPECT_EQ(installer::ValidatePrinterName(ctx_, nullptr, c.name), c.valid) << plat::utf8(c.name);
    const auto log = plat::ui::MessageBoxLog();
    if (!c.message) {
      EXPECT_TRUE(log.empty());
      continue;
    }
    ASSERT_EQ(log.size(), 1u) << plat::utf8(c.name);
    EXPECT_EQ(log[0].text, c.message);
    EXPECT_EQ(log[0].type & MB_ICONMASK, MB_ICONERROR);
  }
}

TEST_F(Wizard, RefusedNameIsPutBackAndThePageStays) {
  Prepare(6, 1, true, "Win7x64=x64", 4);
  installer::SetField(ctx_.modelName, u"NEVO RP2600");
  Script({{110,
           [](plat::ui::Screen& s) {
             EXPECT_EQ(s.Text(1012), u"NEVO RP2600");
             EXPECT_TRUE(s.Type(1012, u"Bad!"));
             EXPECT_TRUE(s.Click(IDOK));
             EXPECT_TRUE(s.IsOpen());
             EXPECT_EQ(s.Text(1012), u"NEVO RP2600");
             EXPECT_TRUE(s.Type(1012, u"Front office"));
             EXPECT_TRUE(s.Click(IDOK));
           }},
          {0, Answer(IDOK)},
          {111, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Cancel()); }},
          {0, Answer(IDYES)}});
  EXPECT_EQ(installer::ShowPrinterNamePage(ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.printerName), u"Front office");
}

}  // namespace
}  // namespace installer_test
