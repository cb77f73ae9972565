// Jobs through the stand-in core driver under the print host, against the
// classic library on the same printer: the same stream but for the set-up
// list's build number, an aborted job alike, and write faults that fail
// the job with their error.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plat/engine_draw.h"
#include "plat/gdi.h"
#include "plat/machine.h"
#include "plat/print_host.h"
#include "plat/resources.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "plugincommon/plugin_devmode.h"
#include "printjob/printer_setup.h"
#include "settings/private_devmode.h"

namespace fs = std::filesystem;

namespace {

constexpr char16_t kPrinter[] = u"Core Job Printer";
const fs::path kLib = LIB_DIR_STR;

class CoreJob : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    root_ = fs::temp_directory_path() / ("core_job_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    ASSERT_EQ(printjob::SetUpMachine(root_), "");
    printjob::PrinterFiles files{fs::path(MODELS_DIR_STR) / "NEVO2600.RDF", fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL",
                                 kLib / "classicui.so", true};
    printjob::PluginFiles plugins{kLib / (std::string(PLUGINRENDER_STR) + ".so"),
                                  kLib / (std::string(PLUGINUI_STR) + ".so")};
    ASSERT_EQ(printjob::SetUpPrinter(files, kPrinter, u"LPT1:", plugins), "");
    ASSERT_TRUE(OpenPrinterW(kPrinter, &printer_, nullptr));
    SYSTEMTIME noon{2026, 12, 5, 11, 12, 0, 0, 0};
    plat::machine::SetLocalTime(noon);
    plat::machine::FreezeClock(true);
    auto stored = plat::spooler::GetData(kPrinter, u"DefaultDevmode");
    ASSERT_TRUE(stored && stored->bytes.size() == sizeof(PrivateDevmode));
    std::memcpy(&dm_, stored->bytes.data(), sizeof dm_);
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    plat::machine::FreezeClock(false);
    plat::spooler::Reset();
    plat::machine::Reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The core's DEVMODE: the public part, then the plug-ins' part.
  std::vector<BYTE> CoreDevmode() const {
    DEVMODEW pub = dm_.Public;
    if (!form_.empty()) {
      pub.dmFields = (pub.dmFields & ~(DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH)) | DM_FORMNAME;
      std::fill(std::begin(pub.dmFormName), std::end(pub.dmFormName), u'\0');
      std::copy(form_.begin(), form_.end(), pub.dmFormName);
    }
    pub.dmDriverExtra = static_cast<WORD>(oemdm::kSize);
    std::vector<BYTE> bytes(kPublicDevmodeSize + oemdm::kSize);
    std::memcpy(bytes.data(), &pub, kPublicDevmodeSize);
    oemdm::WriteHeader(bytes.data() + kPublicDevmodeSize, oemdm::kOwnHeader);
    std::memcpy(bytes.data() + kPublicDevmodeSize + oemdm::kPrivateBlock,
                reinterpret_cast<const BYTE*>(&dm_) + kPublicDevmodeSize, kPrivateDevmodeExtra);
    return bytes;
  }

  struct Outcome {
    plat::print_host::Result result;
    std::string stream;
  };
  // pages pages with two black bars each; afterPage runs after each sent page.
  Outcome Print(bool plugin, int pages, std::function<void(int)> afterPage = {}) {
    DWORD error = 0;
    auto driver = plat::print_host::Driver::Load(
        plat::u16((kLib / (plugin ? "coredriver.so" : "classicrender.so")).string()), &error);
    EXPECT_NE(driver, nullptr) << error;
    if (!driver) return {};
    plat::print_host::Job job;
    job.printer = printer_;
    job.deviceName = kPrinter;
    job.port = u"LPT1:";
    job.pages = pages;
    job.devmode = plugin ? CoreDevmode()
                         : std::vector<BYTE>(reinterpret_cast<const BYTE*>(&dm_),
                                             reinterpret_cast<const BYTE*>(&dm_) + sizeof dm_);
    job.drawPage = [](const plat::print_host::PageContext& page) {
      plat::gdi::Page gdi(page.surface);
      gdi.SetPaintAsBlt(true);
      BRUSHOBJ* black = plat::engine::CreateSolidBrush(0);
      const bool ok = gdi.PaintRegion({RECTL{100, 100 + 40 * page.index, 400, 130 + 40 * page.index},
                                       RECTL{50, 700, 90, 900}},
                                      black, 13) &&
                      gdi.LineTo(10, 10, 600, 400, black, 13);
      plat::engine::DeleteBrush(black);
      return ok;
    };
    job.afterPage = std::move(afterPage);
    plat::spooler::ClearOutput(kPrinter);
    Outcome o;
    o.result = plat::print_host::RunJob(*driver, job);
    const std::vector<BYTE> out = plat::spooler::Output(kPrinter);
    o.stream.assign(out.begin(), out.end());
    return o;
  }
  static std::string AsClassic(std::string stream) {
    const std::size_t at = stream.find("211;219;1;0");
    if (at != std::string::npos) stream.replace(at, 11, "211;518;1;0");
    return stream;
  }

  fs::path root_;
  HANDLE printer_ = nullptr;
  PrivateDevmode dm_{};
  std::u16string form_;  // the paper by form name alone
};

TEST_F(CoreJob, SameStreamAsTheClassicLibrary) {
  Outcome classic = Print(false, 3);
  Outcome plugin = Print(true, 3);
  ASSERT_TRUE(classic.result.ok) << classic.result.failedEntry;
  ASSERT_TRUE(plugin.result.ok) << plugin.result.failedEntry << " " << plugin.result.error;
  ASSERT_GT(plugin.stream.size(), 1000u);
  EXPECT_NE(plugin.stream.find("211;219;1;0"), std::string::npos);
  EXPECT_TRUE(AsClassic(plugin.stream) == classic.stream);
  EXPECT_EQ(plugin.result.calls, classic.result.calls);
}

TEST_F(CoreJob, AnAbortedJobAlike) {
  auto cancelAfterFirst = [](int page) {
    if (page == 0) plat::spooler::SetJobCancelled(kPrinter, true);
  };
  Outcome classic = Print(false, 3, cancelAfterFirst);
  plat::spooler::SetJobCancelled(kPrinter, false);
  Outcome plugin = Print(true, 3, cancelAfterFirst);
  plat::spooler::SetJobCancelled(kPrinter, false);
  EXPECT_TRUE(classic.result.aborted);
  EXPECT_TRUE(plugin.result.aborted);
  EXPECT_EQ(plugin.result.pagesSent, 1);
  EXPECT_TRUE(AsClassic(plugin.stream) == classic.stream);
}

// Both of the core's write routes go through WritePrinter: short writes
// carry on, a failed write fails the job with its error and nothing follows it.
TEST_F(CoreJob, WriteFaultsFailTheJobWithTheirError) {
  const Outcome whole = Print(true, 2);
  ASSERT_TRUE(whole.result.ok);
  struct Case {
    const char* what;
    plat::spooler::WriteFault fault;
    DWORD error;  // 0: the job succeeds
  };
  plat::spooler::WriteFault full;
  full.failAfterBytes = 3000;
  full.error = ERROR_DISK_FULL;
  plat::spooler::WriteFault shortWrites;
  shortWrites.maxPerCall = 100;
  plat::spooler::WriteFault first;
  first.failOnCall = 1;
  first.error = ERROR_NOT_READY;
  const Case cases[] = {{"spool full", full, ERROR_DISK_FULL},
                        {"short writes", shortWrites, 0},
                        {"first write fails", first, ERROR_NOT_READY}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plat::spooler::SetWriteFault(kPrinter, c.fault);
    Outcome plugin = Print(true, 2);
    plat::spooler::ClearWriteFault(kPrinter);
    if (c.error == 0) {
      EXPECT_TRUE(plugin.result.ok);
      EXPECT_TRUE(plugin.stream == whole.stream);
      continue;
    }
    EXPECT_FALSE(plugin.result.ok);
    EXPECT_EQ(plugin.result.error, c.error) << plugin.result.failedEntry;
    EXPECT_LE(plugin.stream.size(), 3000u);
  }
}

// Paper by the spooler's forms: by position (the paper id) and by name; a
// user form gives its size; a form the stream cannot carry fails the device
// as a bad "Paper" record does.
TEST_F(CoreJob, PaperFromTheSpoolersForms) {
  PRINTER_DEFAULTSW administer{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE admin = nullptr;
  ASSERT_TRUE(OpenPrinterW(kPrinter, &admin, &administer));
  std::u16string card = u"Card 100x150", huge = u"Banner";
  FORM_INFO_1W cardForm{FORM_USER, card.data(), SIZEL{100000, 150000}, RECTL{0, 0, 100000, 150000}};
  FORM_INFO_1W hugeForm{FORM_USER, huge.data(), SIZEL{7000000, 100000}, RECTL{0, 0, 7000000, 100000}};
  ASSERT_TRUE(AddFormW(admin, 1, reinterpret_cast<LPBYTE>(&cardForm)));
  ASSERT_TRUE(AddFormW(admin, 1, reinterpret_cast<LPBYTE>(&hugeForm)));
  ClosePrinter(admin);
  struct Case {
    const char* what;
    SHORT paper;
    std::u16string form;
    const char* size;  // null: the device is refused
  };
  const Case cases[] = {
      {"A3 by its number", DMPAPER_A3, u"", "&40;297;420&z"},
      {"A5 by its number", DMPAPER_A5, u"", "&40;148;210&z"},
      {"the user form by its number", 119, u"", "&40;100;150&z"},
      {"A3 by name", 0, u"A3", "&40;297;420&z"},
      {"the user form by name", 0, u"Card 100x150", "&40;100;150&z"},
      {"no such form", 0, u"Card 100x151", "&40;210;297&z"},
      {"a form too long for the stream", 0, u"Banner", nullptr},
      {"the same by its number", 120, u"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    form_ = c.form;
    dm_.Public.dmPaperSize = c.paper ? c.paper : DMPAPER_A4;
    dm_.Public.dmFields |= DM_PAPERSIZE;
    Outcome plugin = Print(true, 1);
    if (!c.size) {
      EXPECT_FALSE(plugin.result.ok);
      EXPECT_EQ(plugin.result.failedEntry, "DrvEnablePDEV");
      continue;
    }
    ASSERT_TRUE(plugin.result.ok) << plugin.result.failedEntry;
    EXPECT_NE(plugin.stream.find(c.size), std::string::npos);
  }
}

}  // namespace
