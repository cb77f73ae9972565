// sheetrun as a user runs it: a script of steps on the sheets of a sample printer.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "settings/private_devmode.h"
#include "support/run_command.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int exitCode = -1;
  std::string out;
};

class SheetRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device rd;
    dir = fs::temp_directory_path() / ("sheetrun-test-" + std::to_string(rd()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  Outcome Run(const std::string& script, const std::string& args) {
    std::ofstream(dir / "steps.txt") << script;
    const std::string cmd = std::string(BIN_DIR_STR) + "/sheetrun --root '" + (dir / "root").string() +
                            "' --steps '" + (dir / "steps.txt").string() + "' " + args + " 2>&1";
    Outcome r;
    r.exitCode = testsupport::RunCommand(cmd, &r.out);
    return r;
  }
  fs::path dir;
};

TEST_F(SheetRun, StepsRunOnTheSheetAndTheAnswerIsPrinted) {
  struct Case {
    const char* what;
    const char* script;
    const char* args;
    int exitCode;
    const char* printed;
  };
  const Case cases[] = {
      {"OK after visiting the tabs", "tab 1\ntab 5\n# a comment\n\nok\n", "", 0, "sheet: OK"},
      {"tabs by their pages' templates", "tab 2006\ntab 2008\nok\n", "", 0, "sheet: OK"},
      {"Cancel", "cancel\n", "", 0, "sheet: Cancel"},
      {"the device sheet", "ok\n", "--sheet device", 0, "sheet: OK"},
      {"a tab that does not exist", "tab 9\nok\n", "", 3, "no tab 9"},
      {"steps left open the sheet", "tab 1\n", "", 3, "left open"},
      {"steps after the sheet closed", "ok\ntab 1\n", "", 3, "not run"},
      {"a bad step", "jump 3\n", "", 2, "unknown step"},
      {"a file dialog's answer queued", "file C:\\papers\\a.udp\nfile cancel\nok\n", "", 0, "sheet: OK"},
      {"a file step without its answer", "file\nok\n", "", 2, "\"file\" takes 1"},
      {"a bad option", "ok\n", "--sheet other", 2, "--sheet takes"},
      {"an unknown setting", "ok\n", "--set NoSuchField=1", 2, "NoSuchField"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Outcome r = Run(c.script, c.args);
    EXPECT_EQ(r.exitCode, c.exitCode) << r.out;
    EXPECT_NE(r.out.find(c.printed), std::string::npos) << r.out;
  }
}

// The size of a PNG file from its header; 0 x 0 when it is not one.
std::pair<unsigned, unsigned> PngSize(const fs::path& file) {
  std::ifstream f(file, std::ios::binary);
  unsigned char h[24] = {};
  if (!f.read(reinterpret_cast<char*>(h), sizeof h) || h[1] != 'P' || h[2] != 'N' || h[3] != 'G') return {0, 0};
  auto be = [&](int at) { return unsigned(h[at]) << 24 | unsigned(h[at + 1]) << 16 | unsigned(h[at + 2]) << 8 | h[at + 3]; };
  return {be(16), be(20)};
}

TEST_F(SheetRun, PngDrawsEachSnapAndTheEndWithTheOwnerDrawnPictures) {
  const fs::path png = dir / "png";
  const Outcome r = Run("tab 2008\nsnap\ntab 2001\nclickpic 4009\nok\n", "--png '" + png.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  for (const char* page : {"2008.png", "2001.png"}) {
    const auto size = PngSize(png / page);
    EXPECT_GT(size.first, 300u) << page << " holds the tab strip and the page";
    EXPECT_GT(size.second, 300u) << page;
  }
  // The layout picture as the page drew it, on both pages.
  EXPECT_EQ(PngSize(png / "2008-4009.png"), std::make_pair(142u, 142u));
  EXPECT_EQ(PngSize(png / "2001-4009.png"), std::make_pair(142u, 142u));
  EXPECT_GT(PngSize(png / "2008-4003.png").first, 0u) << "the ink pictures of the basic page";
  EXPECT_FALSE(fs::exists(png / "2001.2.png")) << "the end is drawn once";
}

TEST_F(SheetRun, SettingsReachTheOutputAndThePrinterData) {
  const fs::path out = dir / "out.dm";
  const fs::path dump = dir / "dump";
  const Outcome r = Run("ok\n", "--printer-set HoldBox=3 --set Preview=1 --out '" + out.string() + "' --dump-data '" +
                                    dump.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::ifstream in(out, std::ios::binary);
  std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  ASSERT_EQ(bytes.size(), kPrivateDevmodeSize);
  PrivateDevmode dm;
  std::memcpy(&dm, bytes.data(), sizeof dm);
  EXPECT_EQ(dm.Settings.HoldBox, 3) << "from the printer's defaults";
  EXPECT_EQ(dm.Settings.Preview, 1) << "from the input DEVMODE";

  std::ifstream index(dump / "index.tsv");
  std::string line;
  bool sawDefaults = false;
  while (std::getline(index, line)) {
    if (line.rfind("Defaults\t3\t2936\t", 0) == 0) {
      sawDefaults = true;
      const std::string file = line.substr(line.rfind('\t') + 1);
      EXPECT_EQ(fs::file_size(dump / file), 2936u);
    }
  }
  EXPECT_TRUE(sawDefaults);
}

TEST_F(SheetRun, TheFavouritesAndUserPaperDialogsCarryTheirDataToFiles) {
  const fs::path dump = dir / "dump";
  Outcome r = Run("tab 2008\nclick 2088\ntype 2094 \"Carry me\"\nclick 2096\nexpect 2097 disabled\n"
                  "file C:\\fav.uds\nclick 2099\nclick 3000\nok\n",
                  "--dump-data '" + dump.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("\"User Setting Files (*.uds)\""), std::string::npos) << r.out;
  std::ifstream index(dump / "index.tsv");
  std::string line;
  bool saved = false;
  while (std::getline(index, line)) saved = saved || line.rfind("FavSet_Carry me\t3\t2936\t", 0) == 0;
  EXPECT_TRUE(saved) << "REG_BINARY, one settings block";
  auto bytes = [&](const char* file) {
    std::ifstream in(dir / "root" / "C" / file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_NE(bytes("fav.uds").find("Carry me"), std::string::npos);

  r = Run("click 3259\ntype 3262 Mine\ntype 3201 150\ntype 3206 200\nclick 2096\n"
          "file C:\\mine.udp\nclick 2099\nclick 3000\nok\n",
          "--sheet device");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const std::string papers = bytes("mine.udp");
  const std::string record = std::string("Mine150") + std::string(7, '\0') + "200";
  EXPECT_NE(papers.find(record), std::string::npos) << "the paper as added, in millimetres";
}

}  // namespace

// ---------------------------------------------------------------------------
// The plug-in's sheets through the core driver (--plugin).

namespace {

constexpr std::size_t kPartAt = 220;                  // the core's DEVMODE: public part, then the plug-in part
constexpr std::size_t kPartSettingsAt = kPartAt + 284;
constexpr std::size_t kSheetWrittenAt = kPartAt + 3229;
constexpr std::size_t kPartInfoTakenAt = kPartAt + 3228;

std::vector<unsigned char> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
unsigned Le16(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
unsigned Le32(const std::vector<unsigned char>& b, std::size_t at) { return Le16(b, at) | Le16(b, at + 2) << 16; }
std::string FormNameOf(const std::vector<unsigned char>& dm) {
  std::string name;
  for (std::size_t i = 0; i < 32 && Le16(dm, 102 + 2 * i) != 0; ++i) name += static_cast<char>(dm[102 + 2 * i]);
  return name;
}

// The file of a printer data value, from --dump-data's index.
fs::path DumpedValue(const fs::path& dump, const std::string& name) {
  std::ifstream index(dump / "index.tsv");
  for (std::string line; std::getline(index, line);)
    if (line.rfind(name + "\t", 0) == 0) return dump / line.substr(line.rfind('\t') + 1);
  return {};
}

}  // namespace

TEST_F(SheetRun, PluginSheetsTakeThePublicDevmodeAndWriteItBack) {
  struct Case {
    const char* what;
    const char* model;
    const char* args;
    int paperIndex;
    int binIndex;
    unsigned paperSize;            // public dmPaperSize written back
    bool byName;                   // the plug-in wrote DM_FORMNAME, not DM_PAPERSIZE
    const char* formName;          // the name in DM_FORMNAME, "" for no DM_FORMNAME
    const char* paperOption;       // the core's PaperSize, "" for none pushed
    const char* orientationOption;
  };
  const Case cases[] = {
      {"unchanged", "NEVO2600", "", 2, 0, 1, false, "", "Letter", "PORTRAIT"},
      {"by number", "NEVO2600", "--public dmPaperSize=5", 1, 0, 5, false, "", "Legal", "PORTRAIT"},
      {"by a document paper's size", "NEVO2600", "--public dmPaperWidth=2159 --public dmPaperLength=3302", 5, 0, 119,
       false, "Legal 13", "Legal 13", "PORTRAIT"},
      {"a form of a document paper's size", "NEVO2600", "--public dmFormName=Folio", 5, 0, 119, false, "Legal 13",
       "Legal 13", "PORTRAIT"},
      {"a form no paper has", "NEVO2600", "--public dmFormName=A3", 6, 0, 256, false, "", "", "PORTRAIT"},
      {"256 of a size no paper has", "NEVO2600",
       "--public dmPaperSize=256 --public dmPaperWidth=1000 --public dmPaperLength=1500", 6, 0, 256, false, "", "",
       "PORTRAIT"},
      {"the first custom paper goes by name", "NEVO2600", "--public 'dmFormName=Half Letter Wide'", 7, 0, 120, true,
       "Half Letter Wide", "Half Letter Wide", "PORTRAIT"},
      {"the second custom paper goes by name", "NEVO2600", "--public 'dmFormName=Program Card'", 8, 0, 121, true,
       "Program Card", "Program Card", "PORTRAIT"},
      {"a standard paper after a custom one drops the name", "NEVO2600",
       "--public 'dmFormName=Program Card' --public dmPaperSize=1", 2, 0, 1, false, "", "Letter", "PORTRAIT"},
      {"landscape", "NEVO2600", "--public dmOrientation=2", 2, 0, 1, false, "", "Letter", "LANDSCAPE_CC90"},
      {"source 7", "NEVO2600", "--public dmDefaultSource=7", 2, 0, 1, false, "", "Letter", "PORTRAIT"},
      {"source 256", "NEVO2600", "--public dmDefaultSource=256", 2, 1, 1, false, "", "Letter", "PORTRAIT"},
      {"source 257", "NEVO2600", "--public dmDefaultSource=257", 2, 2, 1, false, "", "Letter", "PORTRAIT"},
      {"source past the bins", "NEVO2600", "--public dmDefaultSource=258", 2, 0, 1, false, "", "Letter", "PORTRAIT"},
      {"unchanged", "NEVO1100", "", 2, 0, 9, false, "", "A4", "PORTRAIT"},
      {"a document paper of a user form", "NEVO1100", "--public 'dmFormName=Wide Postcard'", 6, 0, 119, false,
       "Wide Postcard", "Wide Postcard", "PORTRAIT"},
      {"the custom paper goes by name", "NEVO1100", "--public dmFormName=Ticket", 9, 0, 121, true, "Ticket",
       "Ticket", "PORTRAIT"},
      {"by number", "NEVO1100", "--public dmPaperSize=8", 0, 0, 8, false, "", "A3", "PORTRAIT"},
      {"source past the only bin", "NEVO1100", "--public dmDefaultSource=256", 2, 0, 9, false, "", "A4", "PORTRAIT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.model) + ": " + c.what);
    const fs::path out = dir / "out.dm";
    fs::remove(out);
    const fs::path model = fs::path(PROJECT_SOURCE_DIR_STR) / "data" / "models" / (std::string(c.model) + ".RDF");
    const Outcome r = Run("ok\n", std::string("--plugin --model '") + model.string() + "' --out '" + out.string() +
                                      "' " + c.args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto dm = ReadAll(out);
    ASSERT_EQ(dm.size(), 220u + 3248u);
    EXPECT_EQ(Le16(dm, kPartSettingsAt + 1336), static_cast<unsigned>(c.paperIndex)) << "PaperIndex";
    EXPECT_EQ(dm[kPartSettingsAt + 34], c.binIndex) << "BinIndex";
    EXPECT_EQ(dm[kSheetWrittenAt], 1) << "the sheets wrote the public fields";
    const unsigned fields = Le32(dm, 72);
    EXPECT_EQ(Le16(dm, 78), c.paperSize) << "dmPaperSize";
    EXPECT_EQ(Le16(dm, kPartSettingsAt + 2094), c.paperSize) << "the written dmPaperSize is kept";
    // A user form's paper also gets its name from the core's PaperSize.
    EXPECT_EQ((fields & DM_FORMNAME) != 0, *c.formName != 0) << std::hex << fields;
    EXPECT_EQ((fields & DM_PAPERSIZE) != 0, !c.byName) << std::hex << fields;
    if (*c.formName) {
      EXPECT_EQ(FormNameOf(dm), c.formName);
    }
    EXPECT_EQ(Le16(dm, 76), std::string(c.orientationOption) == "PORTRAIT" ? 1u : 2u) << "dmOrientation";
    const std::string paper = std::string("core option: PaperSize=") + c.paperOption + "\n";
    if (*c.paperOption) {
      EXPECT_NE(r.out.find(paper), std::string::npos) << r.out;
    } else {
      EXPECT_EQ(r.out.find("core option: PaperSize"), std::string::npos) << r.out;
    }
    EXPECT_NE(r.out.find(std::string("core option: Orientation=") + c.orientationOption + "\n"), std::string::npos)
        << r.out;
  }
}

TEST_F(SheetRun, PluginDefaultsModeWritesThePrinterDefaultsAndLeavesThePartOpen) {
  const fs::path out = dir / "out.dm";
  const fs::path dump = dir / "dump";
  const Outcome r = Run("ok\n", "--plugin --sheet defaults --set Copies=4 --out '" + out.string() + "' --dump-data '" +
                                    dump.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  const auto dm = ReadAll(out);
  ASSERT_EQ(dm.size(), 220u + 3248u);
  EXPECT_EQ(dm[kSheetWrittenAt], 0) << "the next opening takes the public fields again";
  EXPECT_EQ(dm[kPartInfoTakenAt], 0);
  const auto stored = ReadAll(DumpedValue(dump, "DefaultDevmode"));
  ASSERT_EQ(stored.size(), kPrivateDevmodeSize);
  EXPECT_EQ(stored[3436], 0) << "printer information taken";
  EXPECT_EQ(stored[offsetof(PrivateDevmode, Settings) + 40], 4) << "Copies";
  const auto defaults = ReadAll(DumpedValue(dump, "Defaults"));
  ASSERT_EQ(defaults.size(), 2936u);
  EXPECT_EQ(defaults[40], 4) << "Copies";
}

// The device sheet's OK keeps the model's extra papers as user forms, and
// "Paper" holds 0 for each of them.
TEST_F(SheetRun, PluginDeviceSheetKeepsTheExtraPapersAsUserForms) {
  const fs::path dump = dir / "dump";
  const Outcome r = Run("ok\n", "--plugin --sheet device --dump-data '" + dump.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  std::ifstream forms(dump / "forms.tsv");
  std::vector<std::string> lines;
  for (std::string line; std::getline(forms, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 121u);
  EXPECT_EQ(lines[0], "1\tLetter\t1\t215900\t279400\t0\t0\t215900\t279400");
  EXPECT_EQ(lines[118], "119\tLegal 13\t0\t215900\t330200\t0\t0\t215900\t330200");
  EXPECT_EQ(lines[119], "120\tHalf Letter Wide\t0\t215900\t139700\t0\t0\t215900\t139700");
  EXPECT_EQ(lines[120], "121\tProgram Card\t0\t127000\t188000\t0\t0\t127000\t188000");
  const auto paper = ReadAll(DumpedValue(dump, "Paper"));
  ASSERT_EQ(paper.size(), 9u * 16u);
  std::vector<unsigned> ids;
  for (std::size_t at = 0; at < paper.size(); at += 16) ids.push_back(Le16(paper, at + 10));
  EXPECT_EQ(ids, (std::vector<unsigned>{3, 5, 1, 6, 9, 0, 256, 0, 0}));
}

// The same user steps through classicui and through the plug-in give the
// same settings, but for the plug-in's own fields 2094-2097.
TEST_F(SheetRun, ClassicAndPluginSheetsWriteTheSameSettings) {
  const char* scripts[] = {
      "ok\n",
      "tab 2001\nchoose 2079 1\nchoose 3290 1\ntab 2004\nok\n",
      "tab 2001\nchoose 2079 8\nok\n",
  };
  for (const char* script : scripts) {
    SCOPED_TRACE(script);
    const fs::path classic = dir / "classic.dm", plugin = dir / "plugin.dm";
    Outcome r = Run(script, "--out '" + classic.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = Run(script, "--plugin --out '" + plugin.string() + "'");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto a = ReadAll(classic), b = ReadAll(plugin);
    ASSERT_EQ(a.size(), kPrivateDevmodeSize);
    ASSERT_EQ(b.size(), 220u + 3248u);
    for (std::size_t i = 0; i < sizeof(DocSettings); ++i) {
      if (i >= 2094 && i < 2098) continue;
      EXPECT_EQ(a[offsetof(PrivateDevmode, Settings) + i], b[kPartSettingsAt + i]) << "DocSettings byte " << i;
    }
  }
}

// Each generation's about page shows its own version.
TEST_F(SheetRun, TheAboutPageShowsTheGenerationsVersion) {
  const std::pair<const char*, const char*> cases[] = {{"", "5.18.01"}, {"--plugin", "2.19.01"}};
  for (const auto& [args, version] : cases) {
    const Outcome r = Run(std::string("tab 2006\nexpect 3002 text \"Version ") + version + "\"\nok\n", args);
    EXPECT_EQ(r.exitCode, 0) << args << "\n" << r.out;
  }
}
