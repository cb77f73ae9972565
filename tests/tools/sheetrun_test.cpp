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
