// The plug-in devmode part and its handler: header bytes, defaults from the
// printer, the carrying of a part into another, and the traces.

#include <gtest/gtest.h>

#include <cstring>

#include "plat/com.h"
#include "plugincommon/plugin_printer.h"
#include "settings/byte_order.h"

namespace {

using plugintest::Part;
using plugintest::PartWithHeader;
using plugintest::PluginPrinterTest;

DocSettings SettingsOf(const Part& p) { return oemdm::ReadSettings(std::span<const BYTE, oemdm::kSize>(p.data(), oemdm::kSize)); }
void PutSettings(Part& p, const DocSettings& s) { oemdm::WriteSettings(std::span<BYTE, oemdm::kSize>(p.data(), oemdm::kSize), s); }

TEST(OemDevmodeHeaderTest, StoredBytesOfTheHeader) {
  Part p(oemdm::kSize, 0xEE);
  EXPECT_EQ(OemSetDevmodeHeader(p.data()), 1);
  const BYTE want[12] = {0xB0, 0x0C, 0, 0, 0x4F, 0x56, 0x45, 0x4E, 1, 0, 0, 0};
  EXPECT_EQ(std::memcmp(p.data(), want, 12), 0);
  EXPECT_EQ(p[12], 0xEE) << "only the header is written";
  EXPECT_EQ(OemSetDevmodeHeader(nullptr), 0);
}

TEST(OemDevmodeHandlerTest, BadArgumentsAndSizeQuery) {
  struct Case {
    DWORD mode;
    bool withParam;
    HRESULT hr;
    const char* trace;
  } cases[] = {
      {OEMDM_SIZE, false, E_FAIL, "COemNevoUI::hrOEMDevMode pOemDMParam=NULL\n"},
      {0, true, E_FAIL, "COemNevoUI::hrOEMDevMode pOemDMParam=NULL\n"},
      {5, true, E_FAIL, "COemNevoUI::hrOEMDevMode pOemDMParam=NULL\n"},
      {OEMDM_SIZE, true, S_OK, "COemNevoUI::hrOEMDevMode OEMDM_SIZE\n"},
      // Null parts are the workers' business; the handler still succeeds.
      {OEMDM_DEFAULT, true, S_OK, "COemNevoUI::hrOEMDevMode OEMDM_DEFAULT\n"},
      {OEMDM_CONVERT, true, S_OK, "COemNevoUI::hrOEMDevMode OEMDM_CONVERT\n"},
      {OEMDM_MERGE, true, S_OK, "COemNevoUI::hrOEMDevMode OEMDM_MERGE\n"},
  };
  for (const Case& c : cases) {
    OEMDMPARAM param{};
    param.cbSize = sizeof param;
    plat::com::ClearDebugOutput();
    SetLastError(0);
    EXPECT_EQ(hrOEMDevMode(c.mode, c.withParam ? &param : nullptr), c.hr) << c.mode;
    EXPECT_EQ(plat::com::DebugOutput(), c.trace);
    if (c.hr == E_FAIL) { EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)); }
    if (c.mode == OEMDM_SIZE && c.withParam) { EXPECT_EQ(param.cbBufSize, 3248u); }
  }
}

TEST_F(PluginPrinterTest, DefaultPartWithoutStoredDefaultsIsZeroAfterTheHeader) {
  AddPrinter(rdftest::kTwoDrum, rdftest::SampleText(rdftest::kTwoDrum));
  Open();
  Part p(oemdm::kSize, 0x5A);
  plat::com::ClearDebugOutput();
  EXPECT_EQ(OemDefaultDevmode(p.data(), printer_), 1);
  EXPECT_EQ(oemdm::ReadHeader(p.data()), oemdm::kOwnHeader);
  for (std::size_t i = 12; i < p.size(); ++i) ASSERT_EQ(p[i], 0) << i;
  EXPECT_EQ(plat::com::DebugOutput(), "COemNevoUI::OEMDM_DEFAULT Register be not setted\n");
  EXPECT_EQ(OemDefaultDevmode(nullptr, printer_), 0);
}

TEST_F(PluginPrinterTest, DefaultPartCarriesTheStoredPrivateBlock) {
  Initialise();
  plat::com::ClearDebugOutput();
  const Part p = DefaultPart();
  EXPECT_EQ(plat::com::DebugOutput(), "COemNevoUI::OEMDM_DEFAULT Register be setted\n");
  const Part stored = StoredPrivateBlock();
  ASSERT_EQ(stored.size(), kPrivateDevmodeExtra);
  EXPECT_TRUE(std::equal(stored.begin(), stored.end(), p.begin() + 12));
}

TEST_F(PluginPrinterTest, ConvertOfForeignOrDamagedPartsGivesTheDefaults) {
  Initialise();
  const Part defaults = DefaultPart();
  struct Case {
    const char* what;
    DWORD inSize, inSignature, outSize, outSignature;
  } cases[] = {
      {"foreign signature", 3248, 0x12345678, 3248, oemdm::kSignature},
      {"input size below the header", 8, oemdm::kSignature, 3248, oemdm::kSignature},
      {"output size below the header", 3248, oemdm::kSignature, 4, oemdm::kSignature},
      {"zero sizes", 0, oemdm::kSignature, 0, oemdm::kSignature},
  };
  for (const Case& c : cases) {
    Part in = PartWithHeader(c.inSize, c.inSignature, 1, 0x11);
    Part out = PartWithHeader(c.outSize, c.outSignature, 1, 0x22);
    EXPECT_EQ(OemConvertDevmode(in.data(), out.data(), oemdm::kSize, printer_, nullptr), 1) << c.what;
    EXPECT_EQ(out, defaults) << c.what;
  }
}

TEST_F(PluginPrinterTest, ConvertCopiesNoMoreThanBothSizesSay) {
  Initialise();
  struct Case {
    DWORD inSize, outSize;
    std::size_t copied;
  } cases[] = {{100, 3248, 100}, {3248, 200, 200}, {0xFFFFFFFF, 0xFFFFFFFF, 3248}, {3248, 3248, 3248}};
  for (const Case& c : cases) {
    // Exactly 3248-byte buffers: a copy past them is caught by the sanitizer.
    Part in = PartWithHeader(c.inSize, oemdm::kSignature, 7, 0x11);
    Part out = PartWithHeader(c.outSize, oemdm::kSignature, 9, 0x22);
    ASSERT_EQ(OemConvertDevmode(in.data(), out.data(), oemdm::kSize, printer_, nullptr), 1);
    EXPECT_EQ(oemdm::ReadHeader(out.data()), oemdm::kOwnHeader) << c.inSize << " size and version stamped";
    // Bytes outside the settings block show what was copied.
    EXPECT_EQ(out[c.copied - 1], 0x11) << c.inSize;
    if (c.copied < oemdm::kSize) { EXPECT_EQ(out[oemdm::kSize - 1], 0x22) << c.inSize; }
  }
}

TEST_F(PluginPrinterTest, ConvertWritesNothingIntoAShortBufferOrWithoutParts) {
  Initialise();
  Part in = PartWithHeader(3248, oemdm::kSignature, 1, 0x11);
  Part out = PartWithHeader(3248, oemdm::kSignature, 1, 0x22);
  const Part before = out;
  EXPECT_EQ(OemConvertDevmode(in.data(), out.data(), 3247, printer_, nullptr), 0);
  EXPECT_EQ(out, before);
  EXPECT_EQ(OemConvertDevmode(nullptr, out.data(), 3248, printer_, nullptr), 0);
  EXPECT_EQ(out, before);
  EXPECT_EQ(OemConvertDevmode(in.data(), nullptr, 3248, printer_, nullptr), 0);

  OEMDMPARAM param{};
  param.hPrinter = printer_;
  param.pOEMDMIn = in.data();
  param.pOEMDMOut = out.data();
  param.cbBufSize = 100;
  for (DWORD mode : {OEMDM_DEFAULT, OEMDM_CONVERT, OEMDM_MERGE}) {
    EXPECT_EQ(hrOEMDevMode(mode, &param), S_OK);
    EXPECT_EQ(out, before) << mode;
  }
}

TEST_F(PluginPrinterTest, MergeStampsTheHeaderOverADamagedOne) {
  Initialise();
  Part in = DefaultPart();
  oemdm::WriteHeader(in.data(), {3248, oemdm::kSignature, 77});
  Part out = DefaultPart();
  OEMDMPARAM param{};
  param.hPrinter = printer_;
  param.pOEMDMIn = in.data();
  param.pOEMDMOut = out.data();
  param.cbBufSize = oemdm::kSize;
  EXPECT_EQ(hrOEMDevMode(OEMDM_MERGE, &param), S_OK);
  EXPECT_EQ(oemdm::ReadHeader(out.data()), oemdm::kOwnHeader);
  oemdm::WriteHeader(in.data(), {3248, 0x0BADF00D, 1});
  EXPECT_EQ(hrOEMDevMode(OEMDM_MERGE, &param), S_OK);
  EXPECT_EQ(out, DefaultPart());
}

TEST_F(PluginPrinterTest, ConvertBringsDeviceLevelFieldsToThePrinters) {
  Initialise();
  const Part defaults = DefaultPart();
  const DocSettings d = SettingsOf(defaults);
  Part in = defaults;
  DocSettings s = d;
  s.ResolutionIndex = static_cast<std::uint8_t>(d.ResolutionIndex + 1);
  s.HoldMemoryInstalled = static_cast<std::uint8_t>(!d.HoldMemoryInstalled);
  s.Copies = 17;
  std::memset(s.InkMarks, 0x7, sizeof s.InkMarks);
  PutSettings(in, s);
  Part out = defaults;

  struct Case {
    BYTE infoTaken;
    bool inkKept;
  } cases[] = {{0, false}, {1, true}};
  for (const Case& c : cases) {
    in[oemdm::kInfoTaken] = c.infoTaken;
    ASSERT_EQ(OemConvertDevmode(in.data(), out.data(), oemdm::kSize, printer_, nullptr), 1);
    const DocSettings r = SettingsOf(out);
    EXPECT_EQ(r.Copies, 17) << "document fields come from the input";
    EXPECT_EQ(r.ResolutionIndex, d.ResolutionIndex);
    EXPECT_EQ(r.HoldMemoryInstalled, d.HoldMemoryInstalled);
    EXPECT_EQ(r.InkMarks[0], c.inkKept ? 7 : d.InkMarks[0]) << int{c.infoTaken};
  }
}

TEST_F(PluginPrinterTest, InputBytesPastItsSizeAreTheDefaults) {
  Initialise();
  const Part defaults = DefaultPart();
  ASSERT_EQ(defaults[oemdm::kInfoTaken], 0);
  // The input claims 100 bytes; what lies beyond in its buffer says "ink taken".
  Part in = PartWithHeader(100, oemdm::kSignature, 1);
  in[oemdm::kInfoTaken] = 1;
  Part out = defaults;
  DocSettings garbage = SettingsOf(out);
  std::memset(garbage.InkMarks, 0x7, sizeof garbage.InkMarks);
  PutSettings(out, garbage);
  ASSERT_EQ(OemConvertDevmode(in.data(), out.data(), oemdm::kSize, printer_, nullptr), 1);
  const DocSettings r = SettingsOf(out);
  EXPECT_EQ(std::memcmp(r.InkMarks, SettingsOf(defaults).InkMarks, sizeof r.InkMarks), 0)
      << "the printer's ink replaces the part's, as the defaults' byte says";
}

TEST_F(PluginPrinterTest, ConvertAppliesTheApplicationPageRecord) {
  Initialise();
  Part in = DefaultPart();
  PutLe32(in.data() + oemdm::kAppPageFlag, 1);
  PutLe32(in.data() + oemdm::kAppPageFlag + 80, 90);   // rotation
  PutLe32(in.data() + oemdm::kAppPageFlag + 72, 1000);  // first size, 0.1 mm
  PutLe32(in.data() + oemdm::kAppPageFlag + 76, 2000);
  Part out = DefaultPart();
  DEVMODEW pub{};
  ASSERT_EQ(OemConvertDevmode(in.data(), out.data(), oemdm::kSize, printer_, &pub), 1);
  EXPECT_EQ(GetLe32(out.data() + oemdm::kAppPageFlag + 4), 1u) << "marked applied";
  EXPECT_EQ(pub.dmPaperSize, 256);
  EXPECT_EQ(pub.dmPaperWidth, 2000);
  EXPECT_EQ(pub.dmPaperLength, 1000);
  EXPECT_EQ(SettingsOf(out).FreePaper, 1);
}

TEST_F(PluginPrinterTest, LoadDefaultSettingsIsTheMergeTail) {
  Initialise();
  // The merge with a caller's DEVMODE whose printer information was taken:
  // its settings with the printer's device-level values and option rules.
  auto stored = plat::spooler::GetData(rdftest::kPrinter, kValueDefaultDevmode);
  ASSERT_TRUE(stored && stored->bytes.size() == kPrivateDevmodeSize);
  std::vector<BYTE> caller = stored->bytes;
  auto* pd = reinterpret_cast<PrivateDevmode*>(caller.data());
  const DocSettings defaults = pd->Settings;
  pd->InfoTaken = 1;
  DocSettings& s = pd->Settings;
  s.SortKind = static_cast<std::uint8_t>(defaults.SortKind ^ 1);
  s.TapeSorterInstalled = 0;
  s.TapeSort = 3;
  s.ProgramSeparator = 1;
  s.HoldMemoryInstalled = static_cast<std::uint8_t>(defaults.HoldMemoryInstalled ^ 1);
  s.OutputMode = 1;
  s.PrinterAddress[0] = u'9';
  s.Copies = 5;
  DocSettings target = s;

  PrivateDevmodePtr merged(GetMergedDevmode(printer_, &pd->Public));
  ASSERT_TRUE(merged);
  EXPECT_EQ(LoadDefaultSettings(printer_, defaults, target, pd->DrumColorPattern, 1), 1);
  EXPECT_EQ(std::memcmp(&target, &merged->Settings, sizeof(DocSettings)), 0);
}

}  // namespace
