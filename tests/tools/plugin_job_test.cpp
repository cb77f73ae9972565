// printjob --plugin: the job through the stand-in core driver and the
// rendering plug-in gives the classic library's stream (with the regions
// drawn as pattern blits, as on the core's device surface), but for the
// build number of the set-up list.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "streamdump/stream_decoder.h"
#include "support/run_command.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

struct JobRun {
  int exitCode = -1;
  std::string out;
  std::string stream;  // what the job wrote (spooler or job file)
};

class PluginJob : public ::testing::Test {
 protected:
  // One job in a fresh machine root; jobFile names the job file of a
  // preview or storage job under the root, else the spooler's output is read.
  JobRun Print(const std::string& root, const std::string& args, const std::string& jobFile = {}) {
    JobRun r;
    fs::remove_all(dir / root);
    const fs::path out = dir / (root + ".prn");
    fs::remove(out);
    const std::string cmd = std::string(BIN_DIR_STR) + "/printjob --root '" + (dir / root).string() + "' --out '" +
                            out.string() + "' --clock \"2026-12-11 09:30:00\" " + args + " 2>&1";
    r.exitCode = testsupport::RunCommand(cmd, &r.out);
    std::ifstream in(jobFile.empty() ? out : dir / root / jobFile, std::ios::binary);
    r.stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
  }
  std::string Script(const std::string& text) {
    const fs::path path = dir / "page.txt";
    std::ofstream(path) << text;
    return "--draw '" + path.string() + "'";
  }
  std::string Picture() {
    const fs::path path = dir / "p.pbm";
    std::ofstream pbm(path, std::ios::binary);
    pbm << "P4\n16 8\n";
    for (int y = 0; y < 8; ++y) pbm << static_cast<char>(0xF0) << static_cast<char>(0x00);
    return path.string();
  }

  testsupport::TempFolder folder_{"pluginjob"};
  const fs::path dir = folder_.path();
};

// The printjob scripts without hatch brushes, the calls the core's surface
// does not hook and cosmetic styled pens.
TEST_F(PluginJob, SameStreamAsTheClassicLibrary) {
  const std::string pbm = Picture();
  const std::string page = Script("paint 000000 13 10 10 110 110\n"
                                  "paint FF0000 13 200 10 250 50\n"
                                  "line 000000 13 0 200 99 200\n"
                                  "clip 300 300 340 340\n"
                                  "fill FF0000 winding 250 250 400 250 400 400 250 400\n"
                                  "clip none\n"
                                  "bezier 4:solid:flat:miter 000000 10 600 100 550 200 650 300 600\n"
                                  "patblt 000000 F0 100 700 140 720\n"
                                  "patblt 000000 55 120 700 160 720\n"
                                  "blit " + pbm + " CC 200 700\n"
                                  "blit " + pbm + " 0x33 300 700\n"
                                  "blit " + pbm + " B8 400 700 000000\n"
                                  "stretch " + pbm + " 500 700 532 716\n"
                                  "stretch " + pbm + " 632 800 600 816\n"
                                  "text 40 000000 100 900 Hi\n");
  struct Case {
    const char* what;
    std::string args;
    std::string jobFile;
  };
  const std::string twoDrums = "--set ColorMode=2 --set Seihan=2 --set SeparationModeA=6 --set SeparationModeB=6 ";
  const Case cases[] = {
      {"one drum", "--pages 2 " + page, {}},
      {"two drums", twoDrums + "--pages 2 " + page, {}},
      {"landscape", "--orientation landscape " + page, {}},
      {"duplex", "--set Duplex=1 --pages 3 " + page, {}},
      {"two up", "--set RensyaLayout=1 --pages 3 " + page, {}},
      {"preview", "--preview --pages 2 " + page, "C/TEMP/RV0001.PRN"},
      {"storage", "--storage E " + page, "E/OSTRA/USB/1_FOLDER/JOB000000001.PRN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    JobRun classic = Print("classic", "--paint-as-blt " + c.args, c.jobFile);
    JobRun plugin = Print("plugin", "--plugin " + c.args, c.jobFile);
    ASSERT_EQ(classic.exitCode, 0) << classic.out;
    ASSERT_EQ(plugin.exitCode, 0) << plugin.out;
    const std::size_t at = classic.stream.find("211;518;1;0");
    ASSERT_NE(at, std::string::npos);
    classic.stream.replace(at, 11, "211;219;1;0");
    EXPECT_TRUE(plugin.stream == classic.stream) << plugin.stream.size() << " bytes against " << classic.stream.size();
    const streamdump::Decoded job = streamdump::DecodeStream(
        std::span(reinterpret_cast<const std::uint8_t*>(plugin.stream.data()), plugin.stream.size()));
    EXPECT_TRUE(job.ok && job.jobEnded) << job.error;
    EXPECT_FALSE(job.pages.empty());
  }
}

// The built-in test page prints through the plug-in on one and two drums,
// ink on every drum page; each page's shadow page is written before it is sent.
TEST_F(PluginJob, TestPagePrintsOnBothDrums) {
  for (const std::string args : {"", "--set ColorMode=2 --set Seihan=2 "}) {
    SCOPED_TRACE(args);
    JobRun r = Print("plugin", "--plugin --pages 2 --shadow-png '" + (dir / "shadows").string() + "' " + args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const streamdump::Decoded job = streamdump::DecodeStream(
        std::span(reinterpret_cast<const std::uint8_t*>(r.stream.data()), r.stream.size()));
    ASSERT_TRUE(job.ok) << job.error;
    ASSERT_EQ(job.pages.size(), args.empty() ? 2u : 4u);
    for (const auto& drumPage : job.pages) {
      const streamdump::Plane plane = streamdump::RebuildPlane(job, drumPage);
      long ink = 0;
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
      EXPECT_GT(ink, 10000);
    }
    EXPECT_TRUE(fs::is_regular_file(dir / "shadows" / "shadow-001.png"));
    EXPECT_TRUE(fs::is_regular_file(dir / "shadows" / "shadow-002.png"));
    EXPECT_FALSE(fs::exists(dir / "shadows" / "shadow-003.png"));
    fs::remove_all(dir / "shadows");
  }
}

TEST_F(PluginJob, OptionsThatNeedThePlugin) {
  struct Case {
    const char* args;
    const char* says;
  } cases[] = {
      {"--form A3", "--form needs --plugin"},
      {"--shadow-png x", "--shadow-png needs --plugin"},
      {"--plugin --clock 2026-12-11", "--clock takes"},
      {"--plugin --form ''", "--form takes a form name"},
      {"--plugin --form 0123456789012345678901234567890123", "--form takes a form name"},
  };
  for (const Case& c : cases) {
    JobRun r = Print("bad", c.args);
    EXPECT_EQ(r.exitCode, 2) << c.args << r.out;
    EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << r.out;
  }
}

// A3 is not among the sample model's papers: the classic library prints it
// on A4, the plug-in finds the spooler's form; an unknown form is A4.
TEST_F(PluginJob, FormsAndPaper) {
  struct Case {
    const char* args;
    const char* size;
  } cases[] = {
      {"--paper 8", "&40;210;297&z"},
      {"--plugin --paper 8", "&40;297;420&z"},
      {"--plugin --form A3", "&40;297;420&z"},
      {"--plugin --form 'No Such Form'", "&40;210;297&z"},
  };
  for (const Case& c : cases) {
    JobRun r = Print("paper", c.args);
    ASSERT_EQ(r.exitCode, 0) << c.args << r.out;
    EXPECT_NE(r.stream.find(c.size), std::string::npos) << c.args;
  }
}

// Without picture modes the plug-in's own entries draw the classic planes:
// the drawing scripts of the classic tests (no hatch brushes, no cosmetic
// styled pens, no DSna blits, which the plug-in always hands to its image
// path) on one drum and two, against the classic run with regions as blits.
TEST_F(PluginJob, DrawingScriptsGiveTheClassicPlanes) {
  const std::string pbm = Picture();
  {
    std::ofstream pgm(dir / "grey.pgm", std::ios::binary);
    pgm << "P5\n61 40\n255\n";
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 61; ++x) pgm << static_cast<char>((x * 4 + y * 3) % 256);
    // A mask (black where the picture goes) and its picture (black around it).
    std::ofstream mask(dir / "mask.pbm", std::ios::binary), picture(dir / "pic.ppm", std::ios::binary);
    mask << "P4\n16 8\n";
    picture << "P6\n16 8\n255\n";
    for (int y = 0; y < 8; ++y) {
      mask << static_cast<char>(0x0F) << static_cast<char>(0xF0);
      for (int x = 0; x < 16; ++x) {
        const bool inside = x >= 4 && x < 12;
        picture << (inside ? std::string{static_cast<char>(40 + 10 * x), '\x50', static_cast<char>(200 - 9 * y)}
                           : std::string(3, '\0'));
      }
    }
  }
  const std::string grey = (dir / "grey.pgm").string(), mask = (dir / "mask.pbm").string(),
                    picture = (dir / "pic.ppm").string();
  const std::string scripts[] = {
      "paint 000000 13 10 10 110 110\n"
      "paint FF0000 13 200 10 250 50\n"
      "line 000000 13 0 200 99 200\n"
      "clip 300 300 340 340\n"
      "fill FF0000 winding 250 250 400 250 400 400 250 400\n"
      "clip none\n"
      "bezier 4:solid:flat:miter 000000 10 600 100 550 200 650 300 600\n",
      "patblt 000000 F0 100 100 140 120\n"
      "patblt 000000 55 120 100 160 120\n"
      "blit " + pbm + " CC 200 100\n"
      "blit " + pbm + " 0x33 300 100\n"
      "blit " + pbm + " B8 400 100 000000\n"
      "stretch " + pbm + " 500 100 532 116\n"
      "stretch " + pbm + " 632 200 600 216\n"
      "text 40 000000 100 300 Hi # all of it\n",
      "stretch " + grey + " 100 100 261 200\n"
      "blit " + mask + " 88 400 400\n"
      "blit " + picture + " EE 400 400\n"
      "line 0000FF 13 380 404 440 404\n",
  };
  auto planes = [](const JobRun& run) {
    const streamdump::Decoded job = streamdump::DecodeStream(
        std::span(reinterpret_cast<const std::uint8_t*>(run.stream.data()), run.stream.size()));
    EXPECT_TRUE(job.ok && job.jobEnded) << job.error;
    std::vector<std::vector<bool>> out;
    for (const auto& page : job.pages) {
      const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
      std::vector<bool> bits;
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x) bits.push_back(plane.Ink(x, y));
      out.push_back(std::move(bits));
    }
    return out;
  };
  struct Drums {
    const char* args;
    std::size_t pages;
  } drums[] = {{"", 1}, {"--set Seihan=2 ", 2}};
  for (const Drums& d : drums) {
    for (std::size_t i = 0; i < std::size(scripts); ++i) {
      SCOPED_TRACE(std::string(d.args) + "script " + std::to_string(i));
      const std::string page = Script(scripts[i]);
      JobRun classic = Print("classic", std::string(d.args) + "--paint-as-blt " + page);
      JobRun plugin = Print("plugin", std::string(d.args) + "--plugin " + page);
      ASSERT_EQ(classic.exitCode, 0) << classic.out;
      ASSERT_EQ(plugin.exitCode, 0) << plugin.out;
      const auto classicPlanes = planes(classic), pluginPlanes = planes(plugin);
      ASSERT_EQ(pluginPlanes.size(), d.pages);
      EXPECT_TRUE(pluginPlanes == classicPlanes);
      long ink = 0;
      for (const auto& p : pluginPlanes) ink += std::count(p.begin(), p.end(), true);
      EXPECT_GT(ink, 100);
    }
  }
}

}  // namespace

// The blends, key-colour blits, ROP stretches, parallelograms and gradients
// of a drawing script print through the classic library (whose page front
// may decompose them) and through the plug-in, inking the page where they
// draw black; a flat parallelogram draws nothing and is no failure, nor is
// a parallelogram far larger than the page.
TEST_F(PluginJob, PictureAndGradientCommandsPrintBothWays) {
  // Left half black, right half red; the red is the key colour below.
  const fs::path ppm = dir / "p.ppm";
  {
    std::ofstream out(ppm, std::ios::binary);
    out << "P6\n16 8\n255\n";
    for (int i = 0; i < 16 * 8; ++i) out << (i % 16 < 8 ? std::string(3, '\0') : std::string("\xFF\0\0", 3));
  }
  const std::string p = ppm.string();
  const std::string pbm = Picture();
  struct Case {
    std::string line;
    std::optional<bool> inks;  // none: only that it prints
  };
  const Case cases[] = {
      {"alpha " + p + " 255 100 100", true},
      {"alpha " + p + " 128 100 100", true},
      {"alpha " + p + " 0 100 100", false},
      {"transparent " + p + " FF0000 100 100", true},
      {"transparent " + pbm + " 000000 100 100", false},
      {"stretchrop " + p + " CC 100 100 164 132", true},
      {"stretchrop " + pbm + " 33 164 132 100 100", true},
      {"stretchrop " + pbm + " B8 100 100 164 132 000000", true},
      {"plgblt " + p + " 100 100 164 110 90 140", true},
      {"plgblt " + p + " 100 100 200 200 300 300", false},
      {"plgblt " + p + " 0 0 65536 0 0 65536", true},
      {"plgblt " + p + " 0 0 16777216 0 0 16777216", std::nullopt},
      {"gradient h 100 100 000000 200 150 FFFFFF", true},
      {"gradient v 100 100 000000 200 150 000000 300 100 FFFFFF 400 150 FFFFFF", true},
      {"gradient t 100 100 000000 200 100 000000 150 200 000000", true},
      {"gradient t 100 100 FFFFFF 200 100 FFFFFF 150 200 FFFFFF", false},
  };
  auto inked = [](const JobRun& run) {
    const streamdump::Decoded job = streamdump::DecodeStream(
        std::span(reinterpret_cast<const std::uint8_t*>(run.stream.data()), run.stream.size()));
    EXPECT_TRUE(job.ok && job.jobEnded) << job.error;
    long ink = 0;
    for (const auto& page : job.pages) {
      const streamdump::Plane plane = streamdump::RebuildPlane(job, page);
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
    }
    return ink;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string page = Script(c.line + "\n");
    JobRun classic = Print("classic", page);
    JobRun plugin = Print("plugin", "--plugin " + page);
    ASSERT_EQ(classic.exitCode, 0) << classic.out;
    ASSERT_EQ(plugin.exitCode, 0) << plugin.out;
    const bool classicInks = inked(classic) > 0, pluginInks = inked(plugin) > 0;
    if (c.inks) {
      EXPECT_EQ(classicInks, *c.inks);
      EXPECT_EQ(pluginInks, *c.inks);
    }
  }
}

namespace {

// The drum pages of a job's stream, as streamdump --planes writes them.
std::vector<streamdump::Plane> DrumPages(const std::string& stream) {
  const streamdump::Decoded job =
      streamdump::DecodeStream(std::span(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size()));
  EXPECT_TRUE(job.ok && job.jobEnded) << job.error;
  std::vector<streamdump::Plane> pages;
  for (const auto& page : job.pages) pages.push_back(streamdump::RebuildPlane(job, page));
  return pages;
}

struct InkBox {
  long ink = 0;
  std::uint32_t left = ~0u, top = ~0u, right = 0, bottom = 0;  // inclusive; empty when ink is 0
};
InkBox InkOf(const streamdump::Plane& plane) {
  InkBox box;
  for (std::uint32_t y = 0; y < plane.height; ++y)
    for (std::uint32_t x = 0; x < plane.width; ++x)
      if (plane.Ink(x, y)) {
        ++box.ink;
        box.left = std::min(box.left, x), box.right = std::max(box.right, x);
        box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
      }
  return box;
}
double InkShare(const streamdump::Plane& plane, std::uint32_t left, std::uint32_t top, std::uint32_t right,
                std::uint32_t bottom) {
  long ink = 0;
  for (std::uint32_t y = top; y <= bottom; ++y)
    for (std::uint32_t x = left; x <= right; ++x) ink += plane.Ink(x, y);
  return double(ink) / (double(right - left + 1) * double(bottom - top + 1));
}

}  // namespace

// In picture mode the plug-in queues a picture's strips and renders them
// from the shadow page as one: ten strips print the drum pages that one
// stretch prints, on one drum and on two.
TEST_F(PluginJob, PictureInTenStripsPrintsAsInOne) {
  {
    std::ofstream ppm(dir / "photo.ppm", std::ios::binary);
    ppm << "P6\n160 120\n255\n";
    for (int y = 0; y < 120; ++y)
      for (int x = 0; x < 160; ++x)
        ppm << static_cast<char>(40 + x) << static_cast<char>(30 + (x + y) / 2) << static_cast<char>(200 - y);
  }
  const std::string photo = (dir / "photo.ppm").string();
  for (const std::string sets : {"--set PhotoMode=1 ", "--set PhotoMode=1 --set ColorMode=2 --set Seihan=2 "}) {
    SCOPED_TRACE(sets);
    JobRun whole = Print("whole", "--plugin " + sets + Script("stretch " + photo + " 100 100 420 340\n"));
    JobRun strips = Print("strips", "--plugin " + sets + Script("stretch " + photo + " 100 100 420 340 10\n"));
    ASSERT_EQ(whole.exitCode, 0) << whole.out;
    ASSERT_EQ(strips.exitCode, 0) << strips.out;
    const auto wholePages = DrumPages(whole.stream), stripPages = DrumPages(strips.stream);
    ASSERT_FALSE(wholePages.empty());
    ASSERT_EQ(stripPages.size(), wholePages.size());
    long ink = 0;
    for (std::size_t i = 0; i < wholePages.size(); ++i) {
      EXPECT_TRUE(stripPages[i].bits == wholePages[i].bits) << "drum page " << i + 1;
      ink += InkOf(wholePages[i]).ink;
    }
    EXPECT_GT(ink, 320 * 240 / 10);
  }
}

// A transparent picture drawn as XOR, AND with its mask, XOR again leaves
// the white page where the mask is white and prints the picture where it is
// black, as a copy of that result does; a half blend of a light ramp over black prints the ramp's greys
// blended against the black (darker than half ink, lighter than the black,
// darker at the ramp's dark end), not against white.
TEST_F(PluginJob, ShadowPageGivesMaskedPicturesAndBlendsTheirTrueColours) {
  {
    // A dark picture 64 x 32; its mask black in the middle 32 x 16.
    std::ofstream ppm(dir / "dark.ppm", std::ios::binary), pbm(dir / "mask.pbm", std::ios::binary);
    ppm << "P6\n64 32\n255\n";
    pbm << "P4\n64 32\n";
    for (int y = 0; y < 32; ++y) {
      for (int x = 0; x < 64; ++x) ppm << static_cast<char>(20 + x / 4) << '\x18' << static_cast<char>(40 - y);
      for (int b = 0; b < 8; ++b) {
        const bool rowInside = y >= 8 && y < 24;
        pbm << static_cast<char>(rowInside && b >= 2 && b < 6 ? 0xFF : 0x00);
      }
    }
    // What the three blits leave: the picture inside the mask's black, white around.
    std::ofstream composite(dir / "composite.ppm", std::ios::binary);
    composite << "P6\n64 32\n255\n";
    for (int y = 0; y < 32; ++y)
      for (int x = 0; x < 64; ++x) {
        const bool inside = y >= 8 && y < 24 && x >= 16 && x < 48;
        composite << (inside ? std::string{static_cast<char>(20 + x / 4), '\x18', static_cast<char>(40 - y)}
                             : std::string(3, '\xFF'));
      }
    // A light ramp 200 x 40, 160 at the left to 255 at the right.
    std::ofstream ramp(dir / "ramp.ppm", std::ios::binary);
    ramp << "P6\n200 40\n255\n";
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 200; ++x) ramp << std::string(3, static_cast<char>(160 + x * 95 / 199));
  }
  const std::string dark = (dir / "dark.ppm").string(), mask = (dir / "mask.pbm").string(),
                    ramp = (dir / "ramp.ppm").string(), composite = (dir / "composite.ppm").string();
  {
    SCOPED_TRACE("XOR, AND, XOR");
    JobRun r = Print("xor", "--plugin --set PhotoMode=1 " +
                                Script("blit " + dark + " 66 300 300\nblit " + mask + " 88 300 300\nblit " + dark +
                                       " 66 300 300\n"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto pages = DrumPages(r.stream);
    ASSERT_EQ(pages.size(), 1u);
    const InkBox box = InkOf(pages[0]);
    ASSERT_GT(box.ink, 0);
    // Only the mask's black 32 x 16 inks, and most of it, as a copy of the
    // visible result prints.
    EXPECT_LE(box.right - box.left + 1, 32u);
    EXPECT_LE(box.bottom - box.top + 1, 16u);
    EXPECT_GT(box.ink, 32 * 16 / 2);
    JobRun copy = Print("copy", "--plugin --set PhotoMode=1 " + Script("blit " + composite + " CC 300 300\n"));
    ASSERT_EQ(copy.exitCode, 0) << copy.out;
    const auto copyPages = DrumPages(copy.stream);
    ASSERT_EQ(copyPages.size(), 1u);
    EXPECT_TRUE(pages[0].bits == copyPages[0].bits);
  }
  {
    SCOPED_TRACE("half blend over black");
    JobRun r = Print("blend", "--plugin " + Script("paint 000000 13 100 100 500 300\nalpha " + ramp + " 128 200 180\n"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto pages = DrumPages(r.stream);
    ASSERT_EQ(pages.size(), 1u);
    const InkBox box = InkOf(pages[0]);
    ASSERT_EQ(box.right - box.left + 1, 400u);
    ASSERT_EQ(box.bottom - box.top + 1, 200u);
    // The ramp at (200, 180) in the black's (100, 100), its edges left out.
    const std::uint32_t left = box.left + 100 + 4, top = box.top + 80 + 4, right = left + 192 - 1,
                        bottom = top + 32 - 1;
    const double darkEnd = InkShare(pages[0], left, top, left + 47, bottom);
    const double lightEnd = InkShare(pages[0], right - 47, top, right, bottom);
    EXPECT_GT(darkEnd, 0.5);
    EXPECT_LT(darkEnd, 0.95);
    EXPECT_GT(lightEnd, 0.25);
    EXPECT_LT(lightEnd, darkEnd);
    EXPECT_EQ(InkShare(pages[0], box.left, box.top, box.left + 99, box.bottom), 1.0);
  }
}
