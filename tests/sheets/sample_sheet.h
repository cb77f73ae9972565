// A printer of a sample model (optionally with some of its keys changed) on a
// fresh machine, with classicui as its config file, and the document and
// device sheets run through the spooler's calls by a scripted user.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "device/device_status.h"
#include "plat/net.h"
#include "plat/windows.h"
#include "printjob/printer_setup.h"
#include "settings/caps_store.h"
#include "settings/private_devmode.h"
#include "support/run_command.h"
#include "support/snmp_agent.h"

namespace sample {

namespace fs = std::filesystem;

inline constexpr char16_t kPrinterName[] = u"Sheet Printer";

// prefix followed by the number (appended: GCC 12 warns on literal + temporary).
inline std::u16string Numbered(const char16_t* prefix, int n) {
  std::u16string text(prefix);
  text += plat::u16(std::to_string(n));
  return text;
}

// A real SNMP agent (Debian's snmpd through scripts/snmp-agent) on 127.0.0.1
// serving the device status OIDs: the drums' inks with their L, a, b and the
// option slots (tape sorter, hold memory, bin list installed). Stopped with
// the object.
class RealAgent {
 public:
  // Drum inks are the device's codes 0-63 (InkCode - 1000).
  RealAgent(int ink1, int ink2)
      : dir_{fs::temp_directory_path() / ("sheets-agent-" + std::to_string(::getpid()))},
        agent_(dir_.path, Values(ink1, ink2)) {
    if (agent_.Running()) plat::net::SetPortOverride("127.0.0.1", static_cast<USHORT>(agent_.port()));
  }
  ~RealAgent() { plat::net::ClearPortOverrides(); }
  bool Missing() const { return agent_.Missing(); }
  bool Running() const { return agent_.Running(); }
  const std::string& Output() const { return agent_.output(); }

 private:
  static std::string Values(int ink1, int ink2) {
    std::ostringstream values;
    std::size_t i = 0;
    for (long long n : {1, 0, ink1, 0, 60, -3, -4, 2, 0, ink2, 0, 40, 1, 2}) {
      values << DeviceStatusOid(i++) << " integer " << n << "\n";
    }
    for (int r = 1; r <= 9; ++r) {
      values << DeviceStatusOid(i++) << " integer " << (r == 1 ? 1 : r == 2 ? 4 : r == 3 ? 5 : 10 + r) << "\n";
      values << DeviceStatusOid(i++) << " integer 1\n";
      values << DeviceStatusOid(i++) << " integer 0\n";
      values << DeviceStatusOid(i++) << " octet_str \"slot\"\n";
    }
    for (long long n : {7, 1, 70000}) values << DeviceStatusOid(i++) << " integer " << n << "\n";
    return values.str();
  }
  // The folder goes after the agent has stopped.
  struct Folder {
    fs::path path;
    ~Folder() {
      std::error_code ec;
      fs::remove_all(path, ec);
    }
  };
  Folder dir_;
  testsupport::SnmpAgent agent_;
};

// The share of a control's rectangle that is pure white when its page is
// drawn as the user sees it (a short text on a white background leaves most).
inline double WhiteShare(HWND page, int id) {
  const plat::ui::Picture p = plat::ui::RenderWindow(page);
  RECT r{};
  if (!GetWindowRect(GetDlgItem(page, id), &r)) return 0.0;
  POINT origin{0, 0};
  ClientToScreen(page, &origin);
  int white = 0, all = 0;
  for (LONG y = r.top - origin.y; y < r.bottom - origin.y; ++y) {
    for (LONG x = r.left - origin.x; x < r.right - origin.x; ++x) {
      if (x < 0 || y < 0 || x >= p.width || y >= p.height) continue;
      ++all;
      white += p.At(x, y) == 0xFFFFFFu ? 1 : 0;
    }
  }
  return all ? static_cast<double>(white) / all : 0.0;
}

class SampleSheet : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    plat::resources::Reset();
    plat::ui::ResetScript();
    plat::ui::ResetMessageBoxes();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    root_ = fs::temp_directory_path() /
            ("sample_sheet_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    ASSERT_EQ(printjob::SetUpMachine(root_), "");
    windowsBefore_ = plat::LiveWindowCount();
    imagesBefore_ = plat::LiveImageCount();
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    EXPECT_EQ(plat::LiveWindowCount(), windowsBefore_);
    EXPECT_EQ(plat::LiveImageCount(), imagesBefore_) << "icons and bitmaps the sheets showed are freed";
    plat::ui::ResetScript();
    plat::resources::Reset();
    plat::machine::Reset();
    plat::spooler::Reset();
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  // The sample model file with each "Key=" line replaced (or added to the
  // model's section when absent).
  void Open(const char* model, const std::vector<std::pair<std::string, std::string>>& keys = {},
            ACCESS_MASK access = PRINTER_ACCESS_USE) {
    std::ifstream in(fs::path(MODELS_DIR_STR) / model, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string rdf = text.str();
    for (const auto& [key, value] : keys) {
      const std::string head = "\n" + key + "=";
      const std::size_t at = rdf.find(head);
      if (at != std::string::npos) {
        const std::size_t end = rdf.find_first_of("\r\n", at + head.size());
        rdf.replace(at + head.size(), end - at - head.size(), value);
      } else {
        const std::size_t section = rdf.find("]\n", rdf.find("\n[NEVO"));
        rdf.insert(section + 2, key + "=" + value + "\n");
      }
    }
    const fs::path file = root_ / model;
    std::ofstream(file, std::ios::binary) << rdf;
    printjob::PrinterFiles files{file, fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL",
                                 fs::path(LIB_DIR_STR) / "classicui.so", true};
    ASSERT_EQ(printjob::SetUpPrinter(files, kPrinterName, u"LPT1:"), "");
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    ASSERT_TRUE(OpenPrinterW(kPrinterName, &printer_, &defaults));
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

  // Runs the document sheet on input (empty: none); the DEVMODE it wrote.
  std::vector<BYTE> RunDocument(plat::ui::Handler handler, const std::vector<BYTE>& input = {},
                                LONG expected = IDOK, DWORD extraMode = 0) {
    std::vector<BYTE> out(kPrivateDevmodeSize, 0xEE);
    auto* dm = reinterpret_cast<DEVMODEW*>(out.data());
    dm->dmSize = kPublicDevmodeSize;
    dm->dmDriverExtra = kPrivateDevmodeExtra;
    plat::ui::QueueHandler(std::move(handler));
    std::vector<BYTE> in = input;
    DWORD mode = DM_IN_PROMPT | DM_OUT_BUFFER | extraMode;
    if (!in.empty()) mode |= DM_IN_BUFFER;
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer_, nullptr, dm,
                                  in.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(in.data()), mode),
              expected);
    return out;
  }

  // A merged DEVMODE whose settings the edit changed.
  std::vector<BYTE> Input(const std::function<void(DocSettings&)>& edit) {
    std::vector<BYTE> in = Merged();
    edit(reinterpret_cast<PrivateDevmode*>(in.data())->Settings);
    return in;
  }
  // The same on A4: the public paper of a DEVMODE decides its paper index.
  std::vector<BYTE> InputOnA4(const std::function<void(DocSettings&)>& edit) {
    std::vector<BYTE> in = Input(edit);
    DEVMODEW& dm = reinterpret_cast<PrivateDevmode*>(in.data())->Public;
    dm.dmFields |= DM_PAPERSIZE;
    dm.dmPaperSize = DMPAPER_A4;
    return in;
  }

  // Runs the device sheet; true when the sheet answered.
  bool RunDevice(plat::ui::Handler handler) {
    plat::ui::QueueHandler(std::move(handler));
    return PrinterPropertiesW(nullptr, printer_) != FALSE;
  }

  // Changes the printer's "Defaults" and the settings of its "DefaultDevmode".
  void SetPrinterDefaults(const std::function<void(DocSettings&)>& edit) {
    auto defaults = plat::spooler::GetData(kPrinterName, u"Defaults");
    auto devmode = plat::spooler::GetData(kPrinterName, u"DefaultDevmode");
    ASSERT_TRUE(defaults && defaults->bytes.size() == sizeof(DocSettings));
    ASSERT_TRUE(devmode && devmode->bytes.size() == sizeof(PrivateDevmode));
    edit(*reinterpret_cast<DocSettings*>(defaults->bytes.data()));
    edit(reinterpret_cast<PrivateDevmode*>(devmode->bytes.data())->Settings);
    plat::spooler::SetData(kPrinterName, u"Defaults", defaults->type, defaults->bytes);
    plat::spooler::SetData(kPrinterName, u"DefaultDevmode", devmode->type, devmode->bytes);
  }

  // Expects out to be base with edit applied (and empty user names filled
  // with the login name, as every OK does), byte for byte up to the
  // printer-information byte.
  static void ExpectDevmode(const std::vector<BYTE>& out, std::vector<BYTE> base,
                            const std::function<void(DocSettings&)>& edit) {
    auto* e = reinterpret_cast<PrivateDevmode*>(base.data());
    if (e->Settings.HoldUserName[0] == 0) GetLoginName(e->Settings.HoldUserName);
    if (e->Settings.UsbUserName[0] == 0) GetLoginName(e->Settings.UsbUserName);
    edit(e->Settings);
    ASSERT_EQ(out.size(), base.size());
    for (std::size_t i = 0; i < offsetof(PrivateDevmode, InfoTaken); ++i) {
      ASSERT_EQ(out[i], base[i]) << "byte " << i << " (settings byte "
                                 << static_cast<long>(i) - static_cast<long>(offsetof(PrivateDevmode, Settings)) << ")";
    }
  }

  // The printer's "Defaults" block.
  DocSettings StoredDefaults() {
    DocSettings s{};
    auto value = plat::spooler::GetData(kPrinterName, u"Defaults");
    EXPECT_TRUE(value && value->bytes.size() == sizeof s);
    if (value && value->bytes.size() == sizeof s) std::memcpy(&s, value->bytes.data(), sizeof s);
    return s;
  }

  static const DocSettings& Settings(const std::vector<BYTE>& dm) {
    return reinterpret_cast<const PrivateDevmode*>(dm.data())->Settings;
  }

  // A status file of the printer at 127.0.0.1 telling the drums' device ink
  // codes, on the drive of the Windows folder.
  void WriteStatusFile(const char* ink1Hex, const char* ink2Hex) {
    plat::machine::AddDrive({u'D', DRIVE_FIXED, u"NTFS", u"", 0});
    plat::machine::SetWindowsDirectory(u"D:\\WINDOWS");
    fs::create_directories(root_ / "D" / "RSF");
    std::ofstream(root_ / "D" / "RSF" / "R127000000001.rsf", std::ios::binary)
        << "[STATUS]\r\nID46=" << ink1Hex << "\r\nID168=2D\r\nID169=CC\r\nID170=00\r\nID48=" << ink2Hex
        << "\r\nID171=38\r\nID172=f1\r\nID173=CF\r\n";
  }
  void RemoveStatusFile() { fs::remove(root_ / "D" / "RSF" / "R127000000001.rsf"); }

  // A string of the drivers' resource library.
  static std::u16string ResourceString(UINT id) {
    HMODULE module = LoadLibraryW(plat::u16((fs::path(RESOURCES_DIR_STR) / "NEVORES.DLL").string()).c_str());
    WCHAR text[256] = {};
    if (module) {
      LoadStringW(module, id, text, 256);
      FreeLibrary(module);
    }
    return text;
  }

  // The texts of the message boxes shown so far, each checked for its caption.
  static std::vector<std::u16string> Messages(UINT captionId) {
    std::vector<std::u16string> texts;
    for (const auto& box : plat::ui::MessageBoxLog()) {
      EXPECT_EQ(box.caption, ResourceString(captionId));
      texts.push_back(box.text);
    }
    return texts;
  }
  // A message of the resource library with its "%s" filled in.
  static std::u16string Message(UINT id, const std::u16string& insert = {}) {
    std::u16string text = ResourceString(id);
    const std::size_t at = text.find(u"%s");
    if (at != std::u16string::npos) text.replace(at, 2, insert);
    return text;
  }
  // The texts of a list box's items, in order.
  static std::vector<std::u16string> Listed(const plat::ui::Screen& d, int list) {
    std::vector<std::u16string> names;
    for (int i = 0; i < d.ItemCount(list); ++i) names.push_back(d.ItemText(list, i));
    return names;
  }
  // The model name the printer data holds.
  std::u16string ModelName() {
    ModelCaps* caps = AllocModelCaps();
    EXPECT_EQ(LoadCapsFromPrinterData(caps, printer_), 1);
    std::u16string name = caps->ModelName ? caps->ModelName : u"";
    FreeModelCaps(caps, true);
    GlobalFree(caps);
    return name;
  }
  // The bytes of the file C:\<file>.
  std::string FileBytes(const char* file) const {
    std::ifstream in(root_ / "C" / file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // Shows the page of the template; false when the sheet has none.
  static bool ToPage(plat::ui::Screen& s, int templateId) {
    for (int i = 0; i < s.TabCount(); ++i) {
      if (s.TabTemplate(i) == templateId) return s.Tab(i);
    }
    return false;
  }

  fs::path root_;
  HANDLE printer_ = nullptr;
  std::size_t windowsBefore_ = 0;
  std::size_t imagesBefore_ = 0;
};

}  // namespace sample
