#include <gtest/gtest.h>

#include "installer/install_worker.h"
#include "installer/usb_detect.h"
#include "wizard_fixture.h"

namespace installer_test {
namespace {

class Usb : public Wizard {
 protected:
  int ShowPage106() {
    HWND owner = plat::CreateHeadlessDialog({});
    const int found = installer::ShowUsbConnectPage(owner, ctx_);
    DestroyWindow(owner);
    return found;
  }
};

// Two printers are there before the page; the third is listed first once plugged.
TEST_F(Usb, PrinterPluggedDuringTheWaitIsFoundWithItsPort) {
  Prepare(5, 1, false, "WinXP=x86", 4, 7);
  ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\OTHERA", u"USB001"));
  ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\OTHERB", u"USB002"));
  std::u16string first;
  Script({{106,
           [&](plat::ui::Screen& s) {
             EXPECT_TRUE(s.Wait(3000));
             EXPECT_TRUE(s.IsOpen());
             ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\NEVORP2600C3D4", u"USB003"));
             first = plat::devices::UsbPrinters().front().hardwareId;
             EXPECT_TRUE(s.Wait(3000));
             EXPECT_FALSE(s.IsOpen());
           }},
          {0, Answer(IDOK)}});
  EXPECT_EQ(ShowPage106(), 1);
  EXPECT_EQ(first, u"USBPRINT\\NEVORP2600C3D4");
  EXPECT_EQ(ctx_.connection, installer::Connection::UsbCable);
  EXPECT_EQ(installer::Str(ctx_.portName), u"USB003");
  EXPECT_EQ(installer::Str(ctx_.usbHardwareId), u"USBPRINT\\NEVORP2600C3D4");
  EXPECT_EQ(plat::ui::LiveTimerCount(), 0u);
  installer::StopCloserThread(ctx_);
}

TEST_F(Usb, ThirtySecondsWithoutAPrinterRemindAndWaitingGoesOnUntilCancel) {
  Prepare(5, 1, false, "WinXP=x86", 4, 7);
  int reminders = 0;
  Script({{106,
           [&](plat::ui::Screen& s) {
             EXPECT_TRUE(s.WaitFor([] { return !plat::ui::MessageBoxLog().empty(); }, 120000));
             EXPECT_TRUE(s.IsOpen());
             reminders = static_cast<int>(plat::ui::MessageBoxLog().size());
             EXPECT_TRUE(s.Cancel());
           }},
          {0, Answer(IDOK)},
          {0, Answer(IDOK)}});
  EXPECT_EQ(ShowPage106(), 0);
  EXPECT_EQ(reminders, 1);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].type & MB_SETFOREGROUND, MB_SETFOREGROUND);
  EXPECT_EQ(log[1].type & MB_ICONMASK, MB_ICONWARNING);
  EXPECT_EQ(ctx_.connection, installer::Connection::Network);
  installer::StopCloserThread(ctx_);
}

// Windows 7: the plug opens the system's new-hardware window, which the
// closer shuts; the closer is joined when the chain stops it.
TEST_F(Usb, NewHardwareWindowIsClosedAndTheCloserJoined) {
  Prepare(6, 1, false, "Win7=x86", 4, 7);
  Script({{106,
           [&](plat::ui::Screen& s) {
             ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\NEVORP2600C3D4", u"USB001"));
             EXPECT_EQ(plat::devices::OpenNewHardwareWindows(), 1);
             EXPECT_TRUE(s.Wait(3000));
           }},
          {0, Answer(IDOK)}});
  EXPECT_EQ(ShowPage106(), 1);
  ASSERT_NE(ctx_.closerThread, nullptr);
  EXPECT_TRUE(plat::ui::Pump([] { return plat::devices::OpenNewHardwareWindows() == 0; }, 10000));
  EXPECT_EQ(FindWindowW(nullptr, u"Found New Hardware"), nullptr);
  installer::StopCloserThread(ctx_);
  EXPECT_EQ(ctx_.closerThread, nullptr);
  EXPECT_EQ(plat::setup::RunningThreadCount(), 0);
}

TEST_F(Usb, RegistryWalkGivesThePresentInstancesPort) {
  Prepare(5, 1, false, "WinXP=x86", 4, 7);
  ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\NEVORP2600C3D4", u"USB004"));
  ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\GONE", u"USB005"));
  ASSERT_TRUE(plat::devices::Unplug(u"USBPRINT\\GONE"));
  DWORD count = 0;
  auto* entries = installer::FindUsbPrintPortName(ctx_.languageLibrary, count);
  ASSERT_NE(entries, nullptr);
  ASSERT_EQ(count, 2u);
  int present = 0;
  for (DWORD i = 0; i < count; ++i) {
    if (installer::Str(entries[i].hardwareId) == u"USBPRINT\\NEVORP2600C3D4") {
      EXPECT_EQ(entries[i].present, 1);
      EXPECT_EQ(installer::Str(entries[i].portName), u"USB004");
      ++present;
    } else {
      EXPECT_EQ(entries[i].present, 0);
    }
  }
  EXPECT_EQ(present, 1);
  LocalFree(entries);
  WORD ids = 0;
  auto* snapshot = installer::EnumUsbPrintHardwareIds(ctx_.languageLibrary, ids);
  ASSERT_EQ(ids, 1);  // only the present one
  EXPECT_EQ(installer::Str(snapshot[0]), u"USBPRINT\\NEVORP2600C3D4");
  LocalFree(snapshot);
}

// An id longer than the context held before is kept whole and compared whole.
TEST_F(Usb, LongHardwareIdIsComparedWhole) {
  Prepare(5, 1, false, "WinXP=x86", 4, 7);
  const std::u16string longId = u"USBPRINT\\NEVODUPLICATORRP2600MODELC3D4";
  ASSERT_GT(longId.size(), 34u);
  ASSERT_TRUE(plat::devices::Plug(longId.substr(0, 34), u"USB001"));
  WORD count = 0;
  auto* snapshot = installer::EnumUsbPrintHardwareIds(ctx_.languageLibrary, count);
  ASSERT_TRUE(plat::devices::Plug(longId, u"USB002"));
  ASSERT_EQ(installer::CheckUsbPrinterArrived(snapshot, count, ctx_), 1);
  EXPECT_EQ(installer::Str(ctx_.usbHardwareId), longId);
  EXPECT_EQ(installer::Str(ctx_.portName), u"USB002");
  LocalFree(snapshot);
}

}  // namespace
}  // namespace installer_test

namespace installer_test {
namespace {

// No driver of the INF for the device is named like the model: nothing is
// installed and the installer hears why.
TEST_F(Usb, DeviceWithoutTheModelsDriverIsNotInstalled) {
  Prepare(5, 1, false, "WinXP=x86", 4, 7);
  ASSERT_TRUE(plat::devices::Plug(u"USBPRINT\\NEVORP1100A1B2", u"USB001"));
  ctx_.connection = installer::Connection::UsbCable;
  installer::SetField(ctx_.modelName, u"NEVO RP2600");  // the INF names RP1100 for this device
  installer::SetField(ctx_.deviceInstanceId, plat::devices::UsbPrinters().front().instanceId);
  EXPECT_EQ(installer::InstallUsbDevice(ctx_), ERROR_NO_DRIVER_SELECTED);
  installer::SetField(ctx_.deviceInstanceId, u"USBPRINT\\NOSUCH\\1");
  EXPECT_EQ(installer::InstallUsbDevice(ctx_), ERROR_NO_SUCH_DEVINST);
  EXPECT_EQ(plat::devices::UsbPrinters().front().driver, u"");
}

// A chain that ends before page 104 or 112 (here: the language page is
// cancelled) still stops the closer before the context goes.
TEST_F(Usb, SessionStopsARunningCloser) {
  Prepare(6, 1, false, "Win7=x86", 4, 7);
  ASSERT_EQ(installer::StartCloserThread(ctx_), 1);
  ctx_.type = 0;  // no run mode: the dispatch ends at once
  EXPECT_EQ(installer::StartSetupSession(nullptr, ctx_, nullptr), 1);
  EXPECT_EQ(ctx_.closerThread, nullptr);
  EXPECT_EQ(plat::setup::RunningThreadCount(), 0);
}

}  // namespace
}  // namespace installer_test
