#include "installer/quick_install.h"

#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "installer/installer_entry.h"
#include "installer/uninstall_worker.h"
#include "installer_fixture.h"
#include "packed_writer.h"

namespace installer_test {
namespace {

using installer::SetupContext;
using installer::Str;

constexpr DWORD kExtra = 16;

Bytes DevmodeBytes(WORD size, WORD extra, std::size_t total) {
  Bytes dm(total, 0);
  for (std::size_t i = 0; i < total; ++i) dm[i] = static_cast<std::uint8_t>(i * 7 + 1);
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  std::memset(d->dmDeviceName, 0, sizeof d->dmDeviceName);
  d->dmSize = size;
  d->dmDriverExtra = extra;
  return dm;
}

class QuickInstall : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    SetOs(6, 1, true);
    plat::spooler::AddPort(u"LPT1:");
    const std::string spool = "C/WINDOWS/system32/spool/drivers/x64/";
    Write(spool + "render.dll", "render");
    Write(spool + "ui.dll", "ui");
    std::u16string name = u"NEVO 2600", render = u"render.dll", ui = u"ui.dll";
    DRIVER_INFO_3W info{};
    info.pName = name.data();
    info.pDriverPath = render.data();
    info.pConfigFile = ui.data();
    info.pDataFile = render.data();
    ASSERT_TRUE(AddPrinterDriverExW(nullptr, 3, reinterpret_cast<LPBYTE>(&info), APD_COPY_NEW_FILES));
    records_.clear();
    PutRecord(records_, u"PrinterDataSize", REG_DWORD, {10, 0, 0, 0});
    PutRecord(records_, u"PrinterData", REG_BINARY, {1, 2, 3, 4, 5, 6});
    PutRecord(records_, u"PrinterData_1", REG_BINARY, {7, 8, 9, 10});
    PutRecord(records_, u"Model Notes", REG_SZ, {'n', 0, 'b', 0});
    devmode_ = DevmodeBytes(sizeof(DEVMODEW), kExtra, sizeof(DEVMODEW) + kExtra);
  }

  std::string DataFile(const std::string& extra = "") const {
    return "[Driver]\nPrinterName=NEVO quick\nTestPage=0\nColor=2\n[Port]\nPortType=2\nPortName=LPT1:\n"
           "[PI2]\npDriverName=NEVO 2600\npComment=Copy room\npLocation=Floor 2\nAttributes=584\nPriority=3\n"
           "DefaultPriority=2\nStartTime=60\nUntilTime=1200\ndmSize=" +
           std::to_string(sizeof(DEVMODEW)) + "\ndmDriverExtra=" + std::to_string(kExtra) + "\n" + extra;
  }

  // The set as the Swiftinst tool writes it; check value from zlib's crc32.
  void WriteSet(const std::string& data, int recordCount, const std::string& checkFormat = "%lx") {
    Write("D/NEVO/Datafile.dat", data);
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()),
                            static_cast<uInt>(data.size()));
    char check[32];
    std::snprintf(check, sizeof check, checkFormat.c_str(), crc);
    Write("D/Swiftinst.ini", std::string("[CustomData]\nDataFileCheck=") + check +
                                 "\nPPFileCheck=" + std::to_string(recordCount) + "\n");
    const Bytes pp = Pack(records_);
    Write("D/NEVO/PPfile.dat", std::string(pp.begin(), pp.end()));
    const Bytes dm = Stored(devmode_);
    Write("D/NEVO/DMfile.dat", std::string(dm.begin(), dm.end()));
    plat::profile::DropCache();
    std::memset(&ctx_, 0, sizeof ctx_);
    installer::SetField(ctx_.setupFolder, u"D:\\");
    installer::SetField(ctx_.swiftIniPath, u"D:\\Swiftinst.ini");
    installer::SetField(ctx_.resourceFolder, u"D:\\NEVO\\");
    installer::SetField(ctx_.devmodeFilePath, u"D:\\NEVO\\DMfile.dat");
    installer::SetField(ctx_.printerName, u"NEVO quick");
    installer::SetField(ctx_.portName, u"LPT1:");
    installer::SetField(ctx_.modelName, u"NEVO 2600");
    ctx_.type = 3;
  }

  Bytes Value(const char16_t* name) {
    const auto v = plat::spooler::GetData(u"NEVO quick", name);
    return v ? Bytes(v->bytes.begin(), v->bytes.end()) : Bytes{0xEE};  // 0xEE: missing
  }

  Bytes records_;
  Bytes devmode_;
  SetupContext ctx_{};
};

TEST_F(QuickInstall, CheckValueMustMatchTheWholeDataFile) {
  struct Case {
    const char* what;
    std::string format;
    bool change;
    int result;
  } cases[] = {
      {"lowercase without leading zeros", "%lx", false, 1},
      {"uppercase", "%lX", false, 0},
      {"leading zero", "0%lx", false, 0},
      {"file changed after the check", "%lx", true, 0},
  };
  for (const auto& c : cases) {
    WriteSet(DataFile(), 4, c.format);
    // The uppercase form of a value without letters would still match.
    if (c.format == "%lX") Write("D/Swiftinst.ini", "[CustomData]\nDataFileCheck=ABC\nPPFileCheck=4\n");
    if (c.change) Write("D/NEVO/Datafile.dat", DataFile() + "\n");
    plat::profile::DropCache();
    EXPECT_EQ(installer::CheckCustomDataFile(ctx_), c.result) << c.what;
    if (c.result) {
      EXPECT_EQ(ctx_.printerDataRecordCount, 4) << c.what;
    }
  }
  WriteSet(DataFile(), 4);
  Write("D/Swiftinst.ini", "[CustomData]\nPPFileCheck=4\n");
  plat::profile::DropCache();
  EXPECT_EQ(installer::CheckCustomDataFile(ctx_), 0) << "check value missing";
  WriteSet(DataFile(), -1);
  EXPECT_EQ(installer::CheckCustomDataFile(ctx_), 0) << "record count -1";
  WriteSet(DataFile(), 4);
  fs::remove(root_ / "D/NEVO/Datafile.dat");
  EXPECT_EQ(installer::CheckCustomDataFile(ctx_), 0) << "no data file";
}

TEST_F(QuickInstall, ThePrinterGetsItsRecordedFieldsDataAndDevmode) {
  WriteSet(DataFile(), 4);
  ASSERT_EQ(installer::CheckCustomDataFile(ctx_), 1);
  ASSERT_EQ(installer::AddPrinterFromData(ctx_), 1);
  EXPECT_EQ(ctx_.dmSize, sizeof(DEVMODEW));
  EXPECT_EQ(ctx_.dmDriverExtra, kExtra);
  installer::PrinterList printers;
  ASSERT_TRUE(installer::ListLocalPrinters(printers));
  ASSERT_EQ(printers.count, 1u);
  const PRINTER_INFO_2W& p = *printers.begin();
  EXPECT_EQ(Str(p.pPrinterName), u"NEVO quick");
  EXPECT_EQ(Str(p.pPortName), u"LPT1:");
  EXPECT_EQ(Str(p.pDriverName), u"NEVO 2600");
  EXPECT_EQ(Str(p.pComment), u"Copy room");
  EXPECT_EQ(Str(p.pLocation), u"Floor 2");
  EXPECT_EQ(Str(p.pPrintProcessor), u"WinPrint");
  EXPECT_EQ(p.Attributes, 584u & ~PRINTER_ATTRIBUTE_SHARED);
  EXPECT_EQ(p.Priority, 3u);
  EXPECT_EQ(p.DefaultPriority, 2u);
  EXPECT_EQ(p.StartTime, 60u);
  EXPECT_EQ(p.UntilTime, 1200u);

  EXPECT_EQ(Value(u"PrinterDataSize"), (Bytes{10, 0, 0, 0}));
  EXPECT_EQ(Value(u"PrinterData"), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Value(u"PrinterData_1"), (Bytes{7, 8, 9, 10}));
  EXPECT_EQ(Value(u"Model Notes"), (Bytes{'n', 0, 'b', 0}));
  EXPECT_EQ(plat::spooler::GetData(u"NEVO quick", u"Model Notes")->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(Value(u"ColorRestriction"), (Bytes{2, 0, 0, 0}));
  EXPECT_EQ(Value(u"DefDevmode"), devmode_);
  EXPECT_EQ(Value(u"DefEnv"), (Bytes{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  EXPECT_EQ(plat::spooler::Devmode(u"NEVO quick"), devmode_);
  EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(QuickInstall, OnlyTheCountedRecordsAreWritten) {
  WriteSet(DataFile(), 2);
  ASSERT_EQ(installer::CheckCustomDataFile(ctx_), 1);
  ASSERT_EQ(installer::AddPrinterFromData(ctx_), 1);
  EXPECT_EQ(Value(u"PrinterData"), (Bytes{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Value(u"PrinterData_1"), Bytes{0xEE});
  EXPECT_EQ(Value(u"Model Notes"), Bytes{0xEE});
  // "PrinterDataSize" bytes in all, the missing part left zero.
  EXPECT_EQ(Value(u"DefEnv"), (Bytes{1, 2, 3, 4, 5, 6, 0, 0, 0, 0}));
}

TEST_F(QuickInstall, ADevmodeThatDisagreesWithItsSizeIsSkipped) {
  struct Case {
    const char* what;
    Bytes devmode;
  } cases[] = {
      {"own extra size differs", DevmodeBytes(sizeof(DEVMODEW), 8, sizeof(DEVMODEW) + kExtra)},
      {"own size differs", DevmodeBytes(sizeof(DEVMODEW) - 4, kExtra, sizeof(DEVMODEW) + kExtra)},
      {"file shorter than the size", DevmodeBytes(sizeof(DEVMODEW), kExtra, sizeof(DEVMODEW) + kExtra - 1)},
  };
  for (const auto& c : cases) {
    plat::spooler::RemovePrinter(u"NEVO quick");
    devmode_ = c.devmode;
    WriteSet(DataFile(), 4);
    ctx_.printerDataRecordCount = 4;
    EXPECT_EQ(installer::AddPrinterFromData(ctx_), 1) << c.what;  // the printer stays made
    EXPECT_TRUE(plat::spooler::Devmode(u"NEVO quick").empty()) << c.what;
    EXPECT_EQ(Value(u"DefDevmode"), Bytes{0xEE}) << c.what;
    EXPECT_EQ(Value(u"PrinterData"), (Bytes{1, 2, 3, 4, 5, 6})) << c.what;
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u) << c.what;
  }
}

TEST_F(QuickInstall, BadPackedFilesAreIgnoredAndHandlesClosed) {
  WriteSet(DataFile(), 4);
  ctx_.printerDataRecordCount = 4;
  Write("D/NEVO/PPfile.dat", "NEVO\x02 not a packed file");
  Write("D/NEVO/DMfile.dat", "short");
  ASSERT_EQ(installer::AddPrinterFromData(ctx_), 1);
  EXPECT_EQ(Value(u"PrinterData"), Bytes{0xEE});
  EXPECT_TRUE(plat::spooler::Devmode(u"NEVO quick").empty());
  EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(QuickInstall, DefEnvNeedsAUsablePrinterDataSize) {
  struct Case {
    const char* what;
    bool present;
    DWORD type;
    Bytes size;
    Bytes defEnv;
  } cases[] = {
      {"missing", false, REG_DWORD, {}, {0xEE}},
      {"not a DWORD", true, REG_BINARY, {10, 0, 0, 0}, {0xEE}},
      {"two bytes", true, REG_DWORD, {10, 0}, {0xEE}},
      {"zero", true, REG_DWORD, {0, 0, 0, 0}, {0xEE}},
      // No packed file unpacks to more than 65535 bytes: a larger size is not allocated.
      {"past what the records hold", true, REG_DWORD, {0x00, 0x00, 0x01, 0x00}, {0xEE}},
      {"near 4 GB", true, REG_DWORD, {0xF0, 0xFF, 0xFF, 0xFF}, {0xEE}},
      // A part that does not fit the rest is not read: no read passes the size.
      {"smaller than the parts", true, REG_DWORD, {8, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 0, 0}},
      {"larger than the parts", true, REG_DWORD, {12, 0, 0, 0}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0}},
  };
  for (const auto& c : cases) {
    plat::spooler::RemovePrinter(u"NEVO quick");
    records_.clear();
    if (c.present) PutRecord(records_, u"PrinterDataSize", c.type, c.size);
    PutRecord(records_, u"PrinterData", REG_BINARY, {1, 2, 3, 4, 5, 6});
    PutRecord(records_, u"PrinterData_1", REG_BINARY, {7, 8, 9, 10});
    WriteSet(DataFile(), 3);
    ctx_.printerDataRecordCount = 3;
    ASSERT_EQ(installer::AddPrinterFromData(ctx_), 1) << c.what;
    EXPECT_EQ(Value(u"DefDevmode"), devmode_) << c.what;
    EXPECT_EQ(Value(u"ColorRestriction"), (Bytes{2, 0, 0, 0})) << c.what;
    EXPECT_EQ(Value(u"DefEnv"), c.defEnv) << c.what;
  }
}

TEST_F(QuickInstall, APrinterThatCannotBeAddedFailsTheStep) {
  WriteSet(DataFile(), 4);
  installer::SetField(ctx_.portName, u"NOPORT:");
  EXPECT_EQ(installer::AddPrinterFromData(ctx_), 0);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 1u);
  // A required number missing fails before the spooler is asked.
  plat::ui::ResetMessageBoxes();
  WriteSet("[Driver]\nColor=1\n[PI2]\nAttributes=0\n", 4);
  EXPECT_EQ(installer::AddPrinterFromData(ctx_), 0);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}


TEST_F(QuickInstall, ConfirmPageChecksTheEditedNameAsTheNamePageDoes) {
  WriteSet(DataFile(), 4);
  ASSERT_EQ(installer::AddPrinterFromData(ctx_), 1);  // "NEVO quick" exists now
  std::ifstream pages(std::string(RESOURCES_DIR_STR) + "/uninstaller_pages.res.txt");
  Write("D/NEVO/lang_us.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n6\tEnter a name.\n7\tName exists.\n"
                              "8\tBad character.\n9\tCopy\n31\tFailed\n" +
                                  std::string(std::istreambuf_iterator<char>(pages), {}));
  ctx_.languageLibrary = LoadLibraryW(u"D:\\NEVO\\lang_us.dll");
  ASSERT_NE(ctx_.languageLibrary, nullptr);
  plat::ui::ResetScript();
  plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
  std::vector<std::u16string> messages;
  auto answer = [&](plat::ui::Screen& m) {
    messages.push_back(m.Text(plat::ui::kMessageBoxText));
    m.Ok();
  };
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_EQ(s.templateId(), 120);
    EXPECT_EQ(s.Text(1018), u"NEVO quick (Copy 1)");  // the recorded name, made unique
    EXPECT_EQ(s.Text(1019), u"LPT1:");
    EXPECT_EQ(s.Text(1020), u"NEVO 2600");
    EXPECT_FALSE(s.Visible(1029));  // no manuals
    for (const char16_t* name : {u"  ", u"NEVO quick", u"a,b"}) {
      plat::ui::QueueHandler(answer);
      EXPECT_TRUE(s.Type(1018, name)) << s.LastError();
      s.Ok();
      EXPECT_TRUE(s.IsOpen());  // the page stays
    }
    s.Type(1018, u"Fresh name");
    s.Ok();
  });
  const INT_PTR result = DialogBoxParamW(ctx_.languageLibrary, MAKEINTRESOURCEW(120), nullptr,
                                         installer::QuickConfirmPageProc, reinterpret_cast<LPARAM>(&ctx_));
  EXPECT_EQ(result, 1);
  EXPECT_EQ(messages, (std::vector<std::u16string>{u"Enter a name.", u"Name exists.", u"Bad character."}));
  EXPECT_EQ(Str(ctx_.printerName), u"Fresh name");
  EXPECT_EQ(ctx_.installDriver, 1u);
  FreeLibrary(ctx_.languageLibrary);
  plat::ui::ResetScript();
}

}  // namespace
}  // namespace installer_test
