// A printer in the spooler model with the printer data the render library
// reads, and DEVMODEs written field by field for the device record tests.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plat/engine.h"
#include "plat/spooler.h"
#include "render/render_pdev.h"
#include "settings/private_devmode.h"
#include "support/devmode.h"
#include "support/test_printer.h"

namespace pdevtest {

inline constexpr char16_t kPrinter[] = u"Render Test Printer";
inline constexpr char16_t kPort[] = u"TESTPORT:";

// A 16-byte "Paper" record: width, length (micrometres), unit flag, id, name id, 0.
inline void AddPaperRecord(std::vector<BYTE>& out, std::int32_t width, std::int32_t length, std::uint16_t id) {
  auto put32 = [&](std::int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<BYTE>((static_cast<std::uint32_t>(v) >> (8 * i)) & 0xFF));
  };
  auto put16 = [&](std::uint16_t v) {
    out.push_back(static_cast<BYTE>(v & 0xFF));
    out.push_back(static_cast<BYTE>(v >> 8));
  };
  put32(width);
  put32(length);
  put16(0);
  put16(id);
  put16(static_cast<std::uint16_t>(id + 100));
  put16(0);
}

// 4-byte level entries: u16 value, u16 name id.
inline std::vector<BYTE> LevelList(std::initializer_list<std::uint16_t> values) {
  std::vector<BYTE> out;
  for (std::uint16_t v : values) {
    out.push_back(static_cast<BYTE>(v & 0xFF));
    out.push_back(static_cast<BYTE>(v >> 8));
    out.push_back(1);
    out.push_back(0);
  }
  return out;
}

using testsupport::BaseDevmode;

inline std::vector<BYTE> Bytes(const PrivateDevmode& dm) {
  std::vector<BYTE> out(sizeof(dm));
  std::memcpy(out.data(), &dm, sizeof(dm));
  return out;
}

// The spooler printer with "DefaultDevmode", "Paper", "Speed" and "Density".
class PrinterFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    ASSERT_TRUE(testPrinter.Add(testsupport::PrinterSetupOf(kPrinter, kPort, u"Render Test Driver"), PRINTER_ALL_ACCESS));
    printer = testPrinter.handle();
    defaults = BaseDevmode();
    defaults.Settings.Copies = 7;
    defaults.Public.dmCopies = 7;
    SetDefaultDevmode(defaults);
    std::vector<BYTE> papers;
    AddPaperRecord(papers, 210000, 297000, DMPAPER_A4);
    AddPaperRecord(papers, 148000, 210000, DMPAPER_A5);
    AddPaperRecord(papers, 297000, 420000, DMPAPER_A3);
    SetData(u"Paper", papers);
    SetData(u"Speed", LevelList({11, 22, 33}));
    SetData(u"Density", LevelList({41, 42}));
    hdev = plat::engine::CreateDevice(printer);
  }
  void TearDown() override {
    plat::engine::DeleteDevice(hdev);
    testPrinter.Close();
    plat::spooler::Reset();
  }

  void SetData(const char16_t* name, std::vector<BYTE> bytes) {
    ASSERT_TRUE(testsupport::SetPrinterValue(kPrinter, name, std::move(bytes)));
  }
  void SetDefaultDevmode(const PrivateDevmode& dm) { SetData(u"DefaultDevmode", Bytes(dm)); }

  // DrvEnablePDEV with room for everything; the records land in gdi/devinfo.
  RenderPdev* Enable(DEVMODEW* dm) {
    std::memset(&gdi, 0, sizeof(gdi));
    std::memset(&devinfo, 0, sizeof(devinfo));
    for (HSURF& h : patterns) h = nullptr;
    DHPDEV p = DrvEnablePDEV(dm, const_cast<LPWSTR>(kPort), 6, patterns, sizeof(gdi), reinterpret_cast<ULONG*>(&gdi),
                             sizeof(devinfo), &devinfo, hdev, const_cast<LPWSTR>(kPrinter), printer);
    if (p) plat::engine::SetDevicePdev(hdev, p);
    return reinterpret_cast<RenderPdev*>(p);
  }
  RenderPdev* Enable(PrivateDevmode& dm) { return Enable(&dm.Public); }

  PrivateDevmode defaults;
  testsupport::TestPrinter testPrinter;
  HANDLE printer = nullptr;
  HDEV hdev = nullptr;
  GDIINFO gdi{};
  DEVINFO devinfo{};
  HSURF patterns[6] = {};
};

}  // namespace pdevtest
