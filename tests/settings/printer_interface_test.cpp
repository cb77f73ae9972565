// The printer interface entries against printers initialised from the sample
// model data files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "rdf_fixture.h"
#include "settings/caps_store.h"
#include "settings/doc_settings.h"
#include "settings/printer_interface.h"
#include "settings/private_devmode.h"

namespace {

using namespace rdftest;
namespace pi = printer_interface;

std::u16string ResourceText(HMODULE module, UINT id) {
  WCHAR text[600] = {};
  LoadStringW(module, id, text, 600);
  return text;
}

std::vector<BYTE> Value(std::u16string_view name) {
  auto v = plat::spooler::GetData(kPrinter, name);
  return v ? v->bytes : std::vector<BYTE>{};
}

std::u16string SzValue(std::u16string_view name) {
  const std::vector<BYTE> b = Value(name);
  std::u16string s(b.size() / 2, u'\0');
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

std::int32_t I32(const std::vector<BYTE>& b, std::size_t off) {
  return static_cast<std::int32_t>(b[off] | (b[off + 1] << 8) | (b[off + 2] << 16) | (std::uint32_t{b[off + 3]} << 24));
}
std::uint16_t U16(const std::vector<BYTE>& b, std::size_t off) {
  return static_cast<std::uint16_t>(b[off] | (b[off + 1] << 8));
}

class PrinterInterfaceTest : public RdfTest {
 protected:
  void Initialise(const Model& m, const std::string& text) {
    AddPrinter(m, text);
    ASSERT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), PRINTER_EVENT_INITIALIZE, 0, 0), TRUE);
    Open();
  }
  void Initialise(const Model& m) { Initialise(m, SampleText(m)); }
  void Open() {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterW(kPrinter.c_str(), &printer_, &defaults));
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    RdfTest::TearDown();
  }
  DWORD Caps(WORD index, void* out = nullptr, const DEVMODEW* dm = nullptr) {
    return pi::DrvDeviceCapabilities(printer_, kPrinter.c_str(), index, out, dm);
  }
  std::vector<BYTE> DefaultDevmode() { return Value(kValueDefaultDevmode); }

  HANDLE printer_ = nullptr;
};

// ---------------------------------------------------------------------------
// Printer event

TEST_F(PrinterInterfaceTest, InitialiseStoresTheModelAsPrinterData) {
  Initialise(kTwoDrum);
  struct Want {
    const char16_t* name;
    DWORD type;
    std::size_t size;
  };
  const Want values[] = {
      {u"Info", REG_BINARY, 192},       {u"BinList", REG_BINARY, 3 * 8},  {u"Density", REG_BINARY, 5 * 4},
      {u"Speed", REG_BINARY, 5 * 4},    {u"Sort", REG_BINARY, 3 * 4},     {u"Paper", REG_BINARY, 9 * 16},
      {u"OutputPaper", REG_BINARY, 4 * 16}, {u"RdfCustomPaper", REG_BINARY, 2404}, {u"Dpi", REG_BINARY, 4 * 12},
      {u"Defaults", REG_BINARY, 2936},  {u"Permanent", REG_BINARY, 2936}, {u"Free Paper", REG_BINARY, 16},
      {u"DefaultDevmode", REG_BINARY, 3456},
  };
  for (const Want& w : values) {
    SCOPED_TRACE(plat::utf8(w.name));
    auto v = plat::spooler::GetData(kPrinter, w.name);
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->type, w.type);
    EXPECT_EQ(v->bytes.size(), w.size);
  }
  EXPECT_EQ(SzValue(u"Data File"), u"C:\\DRIVERS\\NEVO2600.RDF");
  EXPECT_EQ(SzValue(u"Resource DLL"), kResourceDll);
  EXPECT_EQ(SzValue(u"Device Name"), u"NEVO RP2600");
  EXPECT_EQ(SzValue(u"Printer Name"), kPrinter);
  EXPECT_EQ(SzValue(u"   7"), u"Free Size");
  EXPECT_EQ(SzValue(u"  34"), u"Program Card");
  EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"  35").has_value());

  const std::vector<BYTE> info = Value(u"Info");
  EXPECT_EQ(info[0], 7);    // document papers with the free paper
  EXPECT_EQ(info[1], 2);    // custom papers
  EXPECT_EQ(U16(info, 44), 34);
  EXPECT_EQ(info[108], 2);  // drums
  EXPECT_EQ(I32(info, 144), 130);
  const std::vector<BYTE> paper = Value(u"Paper");
  EXPECT_EQ(U16(paper, 6 * 16 + 10), 256);
  EXPECT_EQ(I32(paper, 7 * 16), 215900);
  EXPECT_EQ(U16(paper, 7 * 16 + 8), 1);  // custom paper in inch
  EXPECT_EQ(U16(paper, 7 * 16 + 10), 300);
  EXPECT_EQ(Value(u"Defaults"), Value(u"Permanent"));
}

TEST_F(PrinterInterfaceTest, DefaultDevmodePassesValidationUnchanged) {
  for (const Model& m : {kTwoDrum, kOneDrum}) {
    SCOPED_TRACE(m.file);
    plat::spooler::Reset();
    if (printer_) ClosePrinter(printer_);
    printer_ = nullptr;
    Initialise(m);
    const std::vector<BYTE> stored = DefaultDevmode();
    ASSERT_EQ(stored.size(), kPrivateDevmodeSize);
    CapsPtr caps(AllocModelCaps());
    caps->PrinterName = DuplicateText(kPrinter);
    ASSERT_EQ(LoadCapsFromPrinterData(caps.get(), printer_), 1);
    std::vector<BYTE> copy = stored;
    ASSERT_TRUE(ValidateDevmode(printer_, reinterpret_cast<DEVMODEW*>(copy.data()), *caps));
    EXPECT_EQ(copy, stored);
    const auto* dm = reinterpret_cast<const PrivateDevmode*>(stored.data());
    EXPECT_EQ(std::u16string(dm->Public.dmDeviceName), m.name);
    EXPECT_EQ(dm->Public.dmDriverVersion, 0x3092);
  }
}

TEST_F(PrinterInterfaceTest, InitialiseFailuresStoreNothing) {
  struct Case {
    const char* what;
    std::string text;
    DWORD error;
  };
  const Case cases[] = {
      {"version 700", WithLine(SampleText(kTwoDrum), "Version", "Version=700"), ERROR_BAD_FORMAT},
      {"key missing late", WithLine(SampleText(kTwoDrum), "TapeSortDefaultOnOFF", ""), ERROR_BAD_FORMAT},
      // An empty list would be stored as an empty value, which every later reader takes as missing.
      {"empty sort list", WithLine(SampleText(kTwoDrum), "SortListSize", "SortListSize=0"), ERROR_BAD_FORMAT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    plat::spooler::Reset();
    AddPrinter(kTwoDrum, c.text);
    SetLastError(0);
    EXPECT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), PRINTER_EVENT_INITIALIZE, 0, 0), FALSE);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"Info").has_value());
    EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"DefaultDevmode").has_value());
  }
  SetLastError(0);
  EXPECT_EQ(pi::DrvPrinterEvent(u"No Such Printer", PRINTER_EVENT_INITIALIZE, 0, 0), FALSE);
  EXPECT_NE(GetLastError(), 0u);
}

TEST_F(PrinterInterfaceTest, OtherPrinterEvents) {
  AddPrinter(kTwoDrum, SampleText(kTwoDrum));
  EXPECT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), PRINTER_EVENT_ADD_CONNECTION, 0, 0), FALSE);
  EXPECT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), PRINTER_EVENT_DELETE_CONNECTION, 0, 0), FALSE);
  EXPECT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), PRINTER_EVENT_DELETE, 0, 0), TRUE);
  EXPECT_EQ(pi::DrvPrinterEvent(kPrinter.c_str(), 5, 0, 0), FALSE);
  EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"Info").has_value());
}

// ---------------------------------------------------------------------------
// Device capabilities

TEST_F(PrinterInterfaceTest, EveryScalarCapabilityOfTheTwoDrumModel) {
  Initialise(kTwoDrum);
  struct Case {
    WORD index;
    DWORD answer;
  };
  const Case cases[] = {
      {DC_FIELDS, 0x16F0F | DM_DUPLEX},
      {DC_PAPERS, 9},
      {DC_PAPERSIZE, 9},
      {DC_MINEXTENT, MAKELONG(900, 1480)},
      {DC_MAXEXTENT, MAKELONG(3200, 4350)},
      {DC_BINS, 3},
      {DC_DUPLEX, 1},
      {DC_SIZE, 220},
      {DC_EXTRA, 3236},
      {DC_VERSION, 0x401},
      {DC_DRIVER, 0x3092},
      {DC_BINNAMES, 3},
      {DC_ENUMRESOLUTIONS, 4},
      {DC_FILEDEPENDENCIES, 0},
      {DC_TRUETYPE, 1},
      {DC_PAPERNAMES, 9},
      {DC_ORIENTATION, 270},
      {DC_COPIES, 9999},
      {DC_COLLATE, 0},
      {DC_PRINTRATE, 130},
      {DC_PRINTRATEUNIT, 1},
      {DC_MEDIAREADY, 9},
      {DC_STAPLE, 1},
      {DC_PRINTRATEPPM, 130},
      {DC_COLORDEVICE, 1},
      {19, GDI_ERROR},
      {0, GDI_ERROR},
      {99, GDI_ERROR},
  };
  for (const Case& c : cases) EXPECT_EQ(Caps(c.index), c.answer) << c.index;
}

TEST_F(PrinterInterfaceTest, OneDrumModelWithoutOptionalSections) {
  Initialise(kOneDrum);
  EXPECT_EQ(Caps(DC_FIELDS), 0x16F0Fu);
  EXPECT_EQ(Caps(DC_DUPLEX), 0u);
  EXPECT_EQ(Caps(DC_PRINTRATE), 0u);
  EXPECT_EQ(Caps(DC_PRINTRATEUNIT), 0u);
  EXPECT_EQ(Caps(DC_STAPLE), 0u);
  EXPECT_EQ(Caps(DC_COLORDEVICE), 0u);
  EXPECT_EQ(Caps(DC_PAPERS), 10u);
  EXPECT_EQ(Caps(DC_ENUMRESOLUTIONS), 2u);
}

TEST_F(PrinterInterfaceTest, ListAnswersOfTheTwoDrumModel) {
  Initialise(kTwoDrum);
  std::vector<WORD> ids(9);
  ASSERT_EQ(Caps(DC_PAPERS, ids.data()), 9u);
  EXPECT_EQ(ids, (std::vector<WORD>{3, 5, 1, 6, 9, 119, 256, 300, 301}));

  std::vector<POINT> sizes(9);
  ASSERT_EQ(Caps(DC_PAPERSIZE, sizes.data()), 9u);
  const POINT want[] = {{2794, 4318}, {2159, 3556}, {2159, 2794}, {1397, 2159}, {2100, 2970},
                        {2159, 3302}, {2159, 2794}, {2159, 1397}, {1270, 1880}};
  for (std::size_t i = 0; i < 9; ++i) {
    EXPECT_EQ(sizes[i].x, want[i].x) << i;
    EXPECT_EQ(sizes[i].y, want[i].y) << i;
  }

  std::vector<WORD> bins(3);
  ASSERT_EQ(Caps(DC_BINS, bins.data()), 3u);
  EXPECT_EQ(bins, (std::vector<WORD>{15, 256, 257}));

  std::vector<WCHAR> binNames(3 * kBinNameSlotUnits, u'#');
  ASSERT_EQ(Caps(DC_BINNAMES, binNames.data()), 3u);
  EXPECT_EQ(std::u16string(binNames.data()), u"Standard Feed Tray");
  EXPECT_EQ(std::u16string(binNames.data() + 2 * kBinNameSlotUnits), u"Paper Feed Unit 3");
  EXPECT_EQ(binNames[kBinNameSlotUnits - 1], 0);  // slots are zero-filled

  // 300 x 600 is announced as 600 x 600, 300 x 400 as 300 x 300.
  std::vector<LONG> dpi(8);
  ASSERT_EQ(Caps(DC_ENUMRESOLUTIONS, dpi.data()), 4u);
  EXPECT_EQ(dpi, (std::vector<LONG>{300, 300, 600, 600, 300, 300, 600, 600}));

  WCHAR dependency = u'#';
  EXPECT_EQ(Caps(DC_FILEDEPENDENCIES, &dependency), 0u);
  EXPECT_EQ(dependency, 0);

  for (WORD index : {DC_PAPERNAMES, DC_MEDIAREADY}) {
    std::vector<WCHAR> names(9 * kPaperNameSlotUnits, u'#');
    ASSERT_EQ(Caps(index, names.data()), 9u);
    EXPECT_EQ(std::u16string(names.data()), u"Tabloid");
    EXPECT_EQ(std::u16string(names.data() + 6 * kPaperNameSlotUnits), u"Free Size 215.9 - 279.4 mm");
    EXPECT_EQ(std::u16string(names.data() + 8 * kPaperNameSlotUnits), u"Program Card");
  }
}

TEST_F(PrinterInterfaceTest, ResolutionCountIsThePairsWritten) {
  // 400 x 600 has no announced square resolution: it is left out of both
  // the list and the count.
  std::string text = SampleText(kTwoDrum);
  const std::string entry = "4=600 x 600 dpi,600,600,3";
  text.replace(text.find(entry), entry.size(), "4=400 x 600 dpi,400,600,3");
  Initialise(kTwoDrum, text);
  const DWORD n = Caps(DC_ENUMRESOLUTIONS);
  ASSERT_EQ(n, 3u);
  std::vector<LONG> dpi(2 * n);  // exactly what the count asks for
  EXPECT_EQ(Caps(DC_ENUMRESOLUTIONS, dpi.data()), 3u);
  EXPECT_EQ(dpi, (std::vector<LONG>{300, 300, 600, 600, 300, 300}));
}

TEST_F(PrinterInterfaceTest, LongFreePaperNameStaysInItsSlot) {
  Initialise(kTwoDrum);
  const std::u16string longName(60, u'F');
  std::vector<BYTE> bytes(longName.size() * 2);
  std::memcpy(bytes.data(), longName.data(), bytes.size());
  plat::spooler::SetData(kPrinter, u"   7", REG_SZ, bytes);
  std::vector<WCHAR> names(9 * kPaperNameSlotUnits);
  ASSERT_EQ(Caps(DC_PAPERNAMES, names.data()), 9u);
  const std::u16string slot(names.data() + 6 * kPaperNameSlotUnits, kPaperNameSlotUnits);
  EXPECT_EQ(slot, longName + u" 215");
  EXPECT_EQ(std::u16string(names.data() + 7 * kPaperNameSlotUnits), u"Half Letter Wide");
}

// Printer data whose name count stops short of the ids the lists use: the
// names that are not there come back as empty slots.
TEST_F(PrinterInterfaceTest, NamesMissingFromThePrinterDataGiveEmptySlots) {
  Initialise(kTwoDrum);
  std::vector<BYTE> info = Value(u"Info");
  info[44] = 2;  // NameCount: only "Tabloid" and "Legal" are read back
  info[45] = 0;
  plat::spooler::SetData(kPrinter, u"Info", REG_BINARY, info);

  std::vector<WCHAR> binNames(3 * kBinNameSlotUnits, u'#');
  ASSERT_EQ(Caps(DC_BINNAMES, binNames.data()), 3u);
  EXPECT_EQ(binNames, std::vector<WCHAR>(3 * kBinNameSlotUnits, 0));

  std::vector<WCHAR> names(9 * kPaperNameSlotUnits, u'#');
  ASSERT_EQ(Caps(DC_PAPERNAMES, names.data()), 9u);
  EXPECT_EQ(std::u16string(names.data() + kPaperNameSlotUnits), u"Legal");
  EXPECT_EQ(names[2 * kPaperNameSlotUnits], 0);
  EXPECT_EQ(std::u16string(names.data() + 6 * kPaperNameSlotUnits), u" 215.9 - 279.4 mm");
  EXPECT_EQ(names[8 * kPaperNameSlotUnits], 0);
}

TEST_F(PrinterInterfaceTest, TheCallersDevmodeIsReadNeverWritten) {
  Initialise(kTwoDrum);
  // A public-only DEVMODE of another driver, in a buffer of exactly its size.
  std::vector<BYTE> foreign(sizeof(DEVMODEW), 0);
  auto* f = reinterpret_cast<DEVMODEW*>(foreign.data());
  f->dmSize = sizeof(DEVMODEW);
  f->dmSpecVersion = 0x401;
  f->dmFields = DM_PAPERSIZE | DM_ORIENTATION;
  f->dmPaperSize = 256;
  f->dmPaperWidth = 1000;
  f->dmPaperLength = 1500;
  f->dmOrientation = DMORIENT_PORTRAIT;
  const std::vector<BYTE> before = foreign;
  std::vector<POINT> sizes(9);
  ASSERT_EQ(Caps(DC_PAPERSIZE, sizes.data(), f), 9u);
  EXPECT_EQ(foreign, before);
  // The validated copy chose the free size the DEVMODE asked for.
  EXPECT_EQ(sizes[6].x, 1000);
  EXPECT_EQ(sizes[6].y, 1500);
  EXPECT_EQ(Caps(DC_DRIVER, nullptr, f), 0x3092u);

  // Our own DEVMODE is validated as a copy too.
  std::vector<BYTE> own = DefaultDevmode();
  auto* o = reinterpret_cast<DEVMODEW*>(own.data());
  o->dmCopies = 0;
  o->dmPaperSize = DMPAPER_A4;
  const std::vector<BYTE> ownBefore = own;
  EXPECT_EQ(Caps(DC_FIELDS, nullptr, o), 0x16F0F | DM_DUPLEX);
  EXPECT_EQ(own, ownBefore);
}

TEST_F(PrinterInterfaceTest, PrinterWithoutModelDataAnswersError) {
  AddPrinter(kTwoDrum, SampleText(kTwoDrum));
  Open();
  EXPECT_EQ(Caps(DC_PAPERS), GDI_ERROR);
  EXPECT_EQ(Caps(DC_COPIES), GDI_ERROR);
}

// ---------------------------------------------------------------------------
// DEVMODE conversion

TEST_F(PrinterInterfaceTest, ConvertModes) {
  Initialise(kTwoDrum);
  const std::vector<BYTE> defaults = DefaultDevmode();
  const auto* in = reinterpret_cast<const DEVMODEW*>(defaults.data());

  struct Case {
    const char* what;
    DWORD mode;
    LONG size;
    bool withOut;
    bool withIn;
    BOOL result;
    DWORD error;
    LONG sizeAfter;
  };
  const Case cases[] = {
      {"convert", CDM_CONVERT, 3456, true, true, TRUE, 0, 3456},
      {"convert into a smaller buffer", CDM_CONVERT, 3000, true, true, FALSE, ERROR_INVALID_PARAMETER, 3000},
      {"convert without output", CDM_CONVERT, 3456, false, true, FALSE, ERROR_INVALID_PARAMETER, 3456},
      {"convert without input", CDM_CONVERT, 3456, true, false, FALSE, ERROR_INVALID_PARAMETER, 3456},
      {"3.51 too small", CDM_CONVERT351, 1000, true, true, FALSE, ERROR_INSUFFICIENT_BUFFER, 3456},
      {"3.51 without output", CDM_CONVERT351, 3456, false, true, FALSE, ERROR_INSUFFICIENT_BUFFER, 3456},
      {"3.51 without input", CDM_CONVERT351, 3456, true, false, FALSE, ERROR_INVALID_PARAMETER, 3456},
      {"3.51", CDM_CONVERT351, 4000, true, true, TRUE, 0, 3456},
      {"default too small", CDM_DRIVER_DEFAULT, 1000, true, true, FALSE, ERROR_INSUFFICIENT_BUFFER, 3456},
      {"default", CDM_DRIVER_DEFAULT, 3456, true, false, TRUE, 0, 3456},
      {"unknown mode", 3, 3456, true, true, FALSE, ERROR_INVALID_PARAMETER, 3456},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<BYTE> out(4000, 0);
    auto* o = reinterpret_cast<DEVMODEW*>(out.data());
    o->dmSize = 220;
    o->dmDriverExtra = 3236;
    o->dmSpecVersion = 0x401;
    LONG size = c.size;
    SetLastError(0);
    EXPECT_EQ(pi::DrvConvertDevMode(kPrinter.c_str(), c.withIn ? in : nullptr, c.withOut ? o : nullptr, &size, c.mode),
              c.result);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(size, c.sizeAfter);
    if (!c.result) continue;
    if (c.mode == CDM_CONVERT351) {
      EXPECT_EQ(o->dmSpecVersion, 0x320);
      EXPECT_EQ(o->dmSize, 188);
      EXPECT_EQ(o->dmDriverVersion, 0x350);
      EXPECT_EQ(o->dmDriverExtra, 3236);
      // The private part follows the shorter public part.
      EXPECT_EQ(std::memcmp(out.data() + 188, defaults.data() + 220, 3236), 0);
    } else if (c.mode == CDM_CONVERT) {
      // The output keeps its own version words; everything else is copied.
      EXPECT_EQ(o->dmDriverVersion, 0);
      EXPECT_EQ(std::memcmp(out.data(), defaults.data(), 64), 0);
      EXPECT_EQ(std::memcmp(out.data() + 72, defaults.data() + 72, 3456 - 72), 0);
    } else {
      EXPECT_EQ(std::memcmp(out.data(), defaults.data(), 3456), 0);
    }
  }
  EXPECT_EQ(pi::DrvConvertDevMode(kPrinter.c_str(), in, nullptr, nullptr, CDM_CONVERT), FALSE);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST_F(PrinterInterfaceTest, DriverDefaultOfAnUninitialisedPrinterFails) {
  AddPrinter(kTwoDrum, SampleText(kTwoDrum));
  std::vector<BYTE> out(3456, 0);
  LONG size = 3456;
  EXPECT_EQ(pi::DrvConvertDevMode(kPrinter.c_str(), nullptr, reinterpret_cast<DEVMODEW*>(out.data()), &size,
                                  CDM_DRIVER_DEFAULT),
            FALSE);
  EXPECT_NE(GetLastError(), 0u);
}

// ---------------------------------------------------------------------------
// Document event and failed jobs

class FailedJobTest : public PrinterInterfaceTest {
 protected:
  void Record(const std::u16string& name, const std::u16string& path) {
    HKEY key = nullptr;
    const std::u16string sub = std::u16string(kFailedJobKeyBase) + kPrinter + u"\\";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                             static_cast<DWORD>((path.size() + 1) * 2)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
  DWORD ValuesLeft() {
    HKEY key = nullptr;
    const std::u16string sub = std::u16string(kFailedJobKeyBase) + kPrinter + u"\\";
    if (RegOpenKeyExW(HKEY_CURRENT_USER, sub.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD n = 0;
    WCHAR name[64];
    for (;; ++n) {
      DWORD chars = 64;
      if (RegEnumValueW(key, n, name, &chars, nullptr, nullptr, nullptr, nullptr) == ERROR_NO_MORE_ITEMS) break;
    }
    RegCloseKey(key);
    return n;
  }
};

TEST_F(FailedJobTest, EachRecordGivesOneWarningAndIsDeleted) {
  Initialise(kTwoDrum);
  Record(u"7", u"E:\\OSTRA\\USB\\1_FOLDER\\JOB000000007.PRN");
  Record(u"8", u"");
  EXPECT_EQ(pi::DrvDocumentEvent(printer_, nullptr, DOCUMENTEVENT_ENDDOC, 0, nullptr, 0, nullptr),
            DOCUMENTEVENT_SUCCESS);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  for (const auto& call : log) {
    EXPECT_EQ(call.owner, nullptr);
    EXPECT_EQ(call.caption, ResourceText(resources_, 3632));
    EXPECT_EQ(call.text, ResourceText(resources_, 3635));
    EXPECT_EQ(call.type, MB_ICONWARNING);
  }
  EXPECT_EQ(ValuesLeft(), 0u);

  // Nothing left to report at the next end of document.
  EXPECT_EQ(pi::DrvDocumentEvent(printer_, nullptr, DOCUMENTEVENT_ENDDOCPOST, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 2u);
}

TEST_F(FailedJobTest, LongRecordsDoNotHideLaterOnes) {
  Initialise(kTwoDrum);
  Record(u"9", u"E:\\" + std::u16string(400, u'd') + u"\\JOB000000009.PRN");
  Record(std::u16string(40, u'1'), u"E:\\JOB.PRN");
  Record(u"10", u"E:\\JOB000000010.PRN");
  EXPECT_EQ(pi::DrvDocumentEvent(printer_, nullptr, DOCUMENTEVENT_ENDDOCPOST, 0, nullptr, 0, nullptr), 1);
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 3u);
  EXPECT_EQ(ValuesLeft(), 0u);
}

TEST_F(FailedJobTest, OtherEventsAndOtherPrintersReportNothing) {
  Initialise(kTwoDrum);
  Record(u"7", u"E:\\JOB.PRN");
  for (int event : {1, 2, 5, 6, 7, 9, 11, 13}) {
    EXPECT_EQ(pi::DrvDocumentEvent(printer_, nullptr, event, 0, nullptr, 0, nullptr), 1) << event;
  }
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
  EXPECT_EQ(ValuesLeft(), 1u);
  // A printer handle that is no printer: nothing, and still success.
  EXPECT_EQ(pi::DrvDocumentEvent(nullptr, nullptr, DOCUMENTEVENT_ENDDOC, 0, nullptr, 0, nullptr), 1);
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

// ---------------------------------------------------------------------------
// Print query and module entry

TEST_F(PrinterInterfaceTest, QueryPrintNamesWhatIsWrong) {
  Initialise(kTwoDrum);
  struct Case {
    const char* what;
    bool withDevmode;
    WORD size;
    DWORD fields;
    BOOL result;
    UINT string;
  };
  const Case cases[] = {
      {"no DEVMODE", false, 220, 0, FALSE, 3648},
      {"old DEVMODE", true, 188, DM_PAPERSIZE | DM_ORIENTATION, FALSE, 3649},
      {"paper size without orientation", true, 220, DM_PAPERSIZE, FALSE, 3650},
      {"only a width", true, 220, DM_PAPERWIDTH | DM_ORIENTATION, FALSE, 3650},
      {"paper and orientation", true, 220, DM_PAPERSIZE | DM_ORIENTATION, TRUE, 0},
      {"length and width", true, 220, DM_PAPERLENGTH | DM_PAPERWIDTH, TRUE, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    DEVMODEW dm{};
    dm.dmSize = c.size;
    dm.dmFields = c.fields;
    WCHAR text[300] = {};
    DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer_, c.withDevmode ? &dm : nullptr, text, 300, 0};
    EXPECT_EQ(pi::DevQueryPrintEx(&info), c.result);
    if (c.string) {
      const std::u16string want = ResourceText(resources_, c.string);
      EXPECT_EQ(std::u16string(text), want);
      EXPECT_EQ(info.cchNeeded, want.size());
    } else {
      EXPECT_EQ(text[0], 0);
    }
  }
  // A short buffer gets the start of the text.
  WCHAR shortText[10];
  DEVQUERYPRINT_INFO info{sizeof(DEVQUERYPRINT_INFO), 1, printer_, nullptr, shortText, 10, 0};
  EXPECT_EQ(pi::DevQueryPrintEx(&info), FALSE);
  EXPECT_EQ(info.cchNeeded, 9u);
  EXPECT_EQ(std::u16string(shortText), ResourceText(resources_, 3648).substr(0, 9));
}

TEST(DllInitializeTest, ReasonsAndModule) {
  const auto module = reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(0x1000));
  for (DWORD reason : {0u, 2u, 3u}) EXPECT_EQ(pi::DllInitialize(module, reason, nullptr), TRUE) << reason;
  EXPECT_EQ(pi::DllInitialize(module, 4, nullptr), FALSE);
  EXPECT_EQ(pi::DllInitialize(module, 1, nullptr), TRUE);
  EXPECT_EQ(pi::UiModule(), module);
}

// ---------------------------------------------------------------------------
// The library as the spooler loads it

TEST_F(PrinterInterfaceTest, ClassicUiExportsInitialiseAPrinter) {
  const std::u16string path = plat::u16(std::string(LIB_DIR_STR) + "/classicui.so");
  HMODULE ui = LoadLibraryW(path.c_str());
  ASSERT_NE(ui, nullptr);
  for (const char* name : {"DllInitialize", "DrvDeviceCapabilities", "DrvConvertDevMode", "DrvDocumentEvent",
                           "DrvPrinterEvent", "DevQueryPrintEx"}) {
    EXPECT_NE(GetProcAddress(ui, name), nullptr) << name;
  }
  using PrinterEventFn = BOOL (*)(LPWSTR, INT, DWORD, LPARAM);
  using CapsFn = DWORD (*)(HANDLE, LPWSTR, WORD, PVOID, DEVMODEW*);
  auto printerEvent = reinterpret_cast<PrinterEventFn>(GetProcAddress(ui, "DrvPrinterEvent"));
  auto deviceCaps = reinterpret_cast<CapsFn>(GetProcAddress(ui, "DrvDeviceCapabilities"));
  ASSERT_TRUE(printerEvent && deviceCaps);
  AddPrinter(kTwoDrum, SampleText(kTwoDrum));
  std::u16string name = kPrinter;
  EXPECT_EQ(printerEvent(name.data(), PRINTER_EVENT_INITIALIZE, 0, 0), TRUE);
  Open();
  EXPECT_EQ(deviceCaps(printer_, name.data(), DC_PAPERS, nullptr, nullptr), 9u);
  FreeLibrary(ui);
}

}  // namespace
