// Two-ink pictures end to end: a picture stretched through printjob --draw on
// a two-drum job separates on both drum pages, read back with streamdump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/netpbm_files.h"
#include "streamdump/stream_decoder.h"
#include "support/run_command.h"
#include "support/temp_folder.h"
#include "tools/job_run.h"

namespace fs = std::filesystem;

namespace {

std::string Bin(const std::string& tool) { return std::string(BIN_DIR_STR) + "/" + tool; }

// Runs a tool; what it wrote to stdout and stderr in *out.
int RunTool(const std::string& command, std::string* out) { return testsupport::RunCommand(command + " 2>&1", out); }

// Blocks of 10 x 10 pixels left to right: red, black, white and grey 128.
constexpr int kBlocks = 4;
constexpr std::uint8_t kColours[kBlocks][3] = {{255, 0, 0}, {0, 0, 0}, {255, 255, 255}, {128, 128, 128}};
enum Block { kRed, kBlack, kWhite, kGrey };

void WritePicture(const fs::path& path) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << 10 * kBlocks << " 10\n255\n";
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10 * kBlocks; ++x) out.write(reinterpret_cast<const char*>(kColours[x / 10]), 3);
}

// The picture goes to 100 x 100 dots a block at (100, 100) on the page.
constexpr int kLeft = 100, kTop = 100, kSide = 100;

// Share of inked dots in each block, inside a margin of 5 dots (the plane
// carries the page's unprintable margin as offset: found from the red or
// black block's ink).
struct DrumShares {
  double share[kBlocks] = {};
};

// Where the page starts on the drum planes: their top-left inked dot of all.
struct InkOrigin {
  std::uint32_t x = UINT32_MAX, y = UINT32_MAX;
  bool found() const { return x != UINT32_MAX; }
};

InkOrigin FindInkOrigin(const std::vector<streamdump::Plane>& planes) {
  InkOrigin origin;
  for (const auto& plane : planes)
    for (std::uint32_t y = 0; y < plane.height; ++y)
      for (std::uint32_t x = 0; x < plane.width; ++x)
        if (plane.Ink(x, y)) {
          origin.x = std::min(origin.x, x);
          origin.y = std::min(origin.y, y);
        }
  return origin;
}

// Share of inked dots of the kSide square at (left, top), inside a margin of 5 dots.
double InkShare(const streamdump::Plane& plane, std::uint32_t left, std::uint32_t top) {
  long ink = 0, dots = 0;
  for (std::uint32_t y = top + 5; y < top + kSide - 5; ++y)
    for (std::uint32_t x = left + 5; x < left + kSide - 5; ++x, ++dots) ink += plane.Ink(x, y);
  return double(ink) / double(dots);
}

long InkedDots(const streamdump::Plane& plane) {
  long ink = 0;
  for (std::uint32_t y = 0; y < plane.height; ++y)
    for (std::uint32_t x = 0; x < plane.width; ++x) ink += plane.Ink(x, y);
  return ink;
}

}  // namespace

// Family 1 (modes 2 and 5): red goes to plate 1 only, black to plate 2 only,
// grey to plate 2 alone at the density the separation gives it, white to
// neither; mode 5 prints plate 1 on drum 2. Screened and diffused alike. The
// modes are the user's own (separation kind 1), so the drums' inks leave them
// as asked.
TEST(TwoInkPicture, StretchedPictureSeparatesOnBothDrumPages) {
  testsupport::TempFolder folder{"two-ink-picture"};
  const fs::path dir = folder.path();
  WritePicture(dir / "blocks.ppm");
  const std::string script = "stretch " + (dir / "blocks.ppm").string() + " " + std::to_string(kLeft) + " " +
                             std::to_string(kTop) + " " + std::to_string(kLeft + kBlocks * kSide) + " " +
                             std::to_string(kTop + kSide) + "\n";
  struct Case {
    int mode;
    int photoMode;
    bool exchanged;  // plate 1 on drum 2
  } cases[] = {{2, 0, false}, {5, 1, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE("mode " + std::to_string(c.mode) + " photo mode " + std::to_string(c.photoMode));
    // The plate densities of the blocks as one line separates them.
    const std::string p1 = (dir / "p1.pgm").string(), p2 = (dir / "p2.pgm").string();
    std::string out;
    ASSERT_EQ(RunTool(Bin("imagetool") + " separate --mode " + std::to_string(c.mode) + " --photo-mode " +
                      std::to_string(c.photoMode) + " '" + (dir / "blocks.ppm").string() + "' '" + p1 + "' '" + p2 +
                      "'",
                  &out),
              0)
        << out;
    const testsupport::Pnm plate1 = testsupport::ReadPnm(p1), plate2 = testsupport::ReadPnm(p2);
    ASSERT_EQ(plate1.width, 10 * kBlocks);
    ASSERT_EQ(plate2.width, 10 * kBlocks);
    const int grey = plate2.data[10 * kGrey];
    ASSERT_EQ(plate1.data[10 * kRed], 255);
    ASSERT_EQ(plate2.data[10 * kRed], 0);
    ASSERT_EQ(plate1.data[10 * kBlack], 0);
    ASSERT_EQ(plate2.data[10 * kBlack], 255);
    ASSERT_EQ(plate1.data[10 * kGrey], 0);
    ASSERT_GT(grey, 20);
    ASSERT_LT(grey, 235);

    const std::vector<streamdump::Plane> planes =
        tooltest::DrawJob(dir,
                          "--set ColorMode=2 --set Seihan=2 --set SeparationKind=1 --set SeparationModeA=" +
                              std::to_string(c.mode) + " --set SeparationModeB=" + std::to_string(c.mode) +
                              " --set PhotoMode=" + std::to_string(c.photoMode),
                          script)
            .pages;
    ASSERT_EQ(planes.size(), 2u) << "drum 1 and drum 2";
    const InkOrigin origin = FindInkOrigin(planes);
    ASSERT_TRUE(origin.found()) << "nothing inked";
    DrumShares drums[2];
    long total[2] = {0, 0};
    for (int d = 0; d < 2; ++d) {
      total[d] = InkedDots(planes[d]);
      for (int b = 0; b < kBlocks; ++b) drums[d].share[b] = InkShare(planes[d], origin.x + b * kSide, origin.y);
    }
    const DrumShares& plate1Drum = drums[c.exchanged ? 1 : 0];
    const DrumShares& plate2Drum = drums[c.exchanged ? 0 : 1];
    EXPECT_EQ(plate1Drum.share[kRed], 1.0);
    EXPECT_EQ(plate2Drum.share[kRed], 0.0);
    EXPECT_EQ(plate1Drum.share[kBlack], 0.0);
    EXPECT_EQ(plate2Drum.share[kBlack], 1.0);
    EXPECT_EQ(plate1Drum.share[kWhite], 0.0);
    EXPECT_EQ(plate2Drum.share[kWhite], 0.0);
    EXPECT_EQ(plate1Drum.share[kGrey], 0.0);
    EXPECT_NEAR(plate2Drum.share[kGrey], grey / 255.0, 0.05);
    // Nothing drawn outside the picture: red alone on the plate-1 drum, black
    // and grey on the other.
    EXPECT_EQ(total[c.exchanged ? 1 : 0], long{kSide} * kSide);
    EXPECT_GT(total[c.exchanged ? 0 : 1], long{kSide} * kSide);
    EXPECT_LT(total[c.exchanged ? 0 : 1], 2L * kSide * kSide);
  }
}

// A paint over a picture (SRCAND, then SRCPAINT of a 24-bit picture) marks
// its blit as converting a black-and-white source; a later picture elsewhere
// on the page must not inherit that (it would skip the brightness and
// contrast pre-map) and prints as it does alone.
TEST(TwoInkPicture, LaterPictureIgnoresAnEarlierPaintOverMask) {
  testsupport::TempFolder folder{"two-ink-stale"};
  const fs::path dir = folder.path();
  {
    std::ofstream out(dir / "photo.ppm", std::ios::binary);
    out << "P6\n40 30\n255\n";
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) {
        const unsigned char px[3] = {static_cast<unsigned char>(60 + 4 * x), static_cast<unsigned char>(40 + 5 * y),
                                     static_cast<unsigned char>(200 - 3 * x)};
        out.write(reinterpret_cast<const char*>(px), 3);
      }
  }
  const std::string photo = (dir / "photo.ppm").string();
  const std::string later = "stretch " + photo + " 100 400 300 550\n";
  const auto drumPages = [&](const std::string& script) {
    return tooltest::DrawJob(dir,
                             "--set ColorMode=2 --set Seihan=2 --set SeparationModeA=2 --set SeparationModeB=2"
                             " --set PhotoMode=1 --set Contrast=6 --set Akarusa=2",
                             script)
        .pages;
  };
  const std::vector<streamdump::Plane> alone = drumPages(later);
  const std::vector<streamdump::Plane> after =
      drumPages("blit " + photo + " 88 200 160\nblit " + photo + " EE 200 160\n" + later);
  ASSERT_EQ(alone.size(), 2u);
  ASSERT_EQ(after.size(), 2u);
  // Rows from 300 on hold the later picture only.
  for (int d = 0; d < 2; ++d) {
    SCOPED_TRACE("drum " + std::to_string(d + 1));
    ASSERT_EQ(after[d].stride, alone[d].stride);
    ASSERT_EQ(after[d].height, alone[d].height);
    const std::size_t from = std::size_t(300) * alone[d].stride;
    const std::vector<std::uint8_t> a(after[d].bits.begin() + from, after[d].bits.end()),
        b(alone[d].bits.begin() + from, alone[d].bits.end());
    EXPECT_NE(std::count(b.begin(), b.end(), 0), std::ptrdiff_t(b.size())) << "the picture inks this drum";
    EXPECT_TRUE(a == b) << "the later picture prints as it does alone";
  }
}

namespace {

// Patches of red, black, blue and grey, 100 x 100 dots each, left to right:
// a picture on the first row and fills of the same colours on the second.
constexpr int kPatches = 4;
constexpr std::uint8_t kPatchColours[kPatches][3] = {{255, 0, 0}, {0, 0, 0}, {0, 0, 255}, {128, 128, 128}};
enum Patch { kRedPatch, kBlackPatch, kBluePatch, kGreyPatch };
constexpr int kPictureTop = 100, kFillTop = 300;

// Share of inked dots per drum, patch and row (0 picture, 1 fill), inside a
// margin of 5 dots, the plane's page origin found from the red picture patch.
struct PatchShares {
  double share[2][2][kPatches] = {};  // [drum][row][patch]
};

PatchShares PrintPatches(const fs::path& dir, const std::string& sets) {
  PatchShares result;
  {
    std::ofstream out(dir / "patches.ppm", std::ios::binary);
    out << "P6\n" << 10 * kPatches << " 10\n255\n";
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 10 * kPatches; ++x) out.write(reinterpret_cast<const char*>(kPatchColours[x / 10]), 3);
  }
  std::ostringstream script;
  {
    script << "stretch " << (dir / "patches.ppm").string() << " " << kLeft << " " << kPictureTop << " "
           << kLeft + kPatches * kSide << " " << kPictureTop + kSide << "\n";
    for (int p = 0; p < kPatches; ++p) {
      char colour[8];
      std::snprintf(colour, sizeof colour, "%02X%02X%02X", kPatchColours[p][0], kPatchColours[p][1],
                    kPatchColours[p][2]);
      script << "paint " << colour << " 13 " << kLeft + p * kSide << " " << kFillTop << " "
             << kLeft + (p + 1) * kSide << " " << kFillTop + kSide << "\n";
    }
  }
  const std::vector<streamdump::Plane> planes =
      tooltest::DrawJob(dir, "--set ColorMode=2 --set Seihan=2 " + sets, script.str()).pages;
  if (planes.size() != 2) {
    ADD_FAILURE() << "two drum pages expected, " << planes.size() << " decoded";
    return result;
  }
  const InkOrigin origin = FindInkOrigin(planes);
  if (!origin.found()) {
    ADD_FAILURE() << "nothing inked";
    return result;
  }
  for (int d = 0; d < 2; ++d)
    for (int row = 0; row < 2; ++row)
      for (int p = 0; p < kPatches; ++p) {
        const std::uint32_t top = origin.y + std::uint32_t(row == 0 ? 0 : kFillTop - kPictureTop);
        result.share[d][row][p] = InkShare(planes[d], origin.x + p * kSide, top);
      }
  return result;
}

}  // namespace

// The separation modes follow the inks on the drums, for either drum order
// and whichever mode the settings start from: red pictures and fills print
// on the drum holding red, black and grey on the black drum; a blue picture
// is a dark colour without red and prints on the black drum, as a blue fill
// does in the redness modes (text and graphics modes 3 and 5); the chroma
// modes (2 and 4) send every coloured fill to the red drum.
TEST(TwoInkPicture, PictureAndFillColoursPrintOnTheDrumOfTheirInk) {
  testsupport::TempFolder folder{"two-ink-drums"};
  const fs::path dir = folder.path();
  struct Case {
    int drum1, drum2;  // ink codes: 1001 black, 1003 red
    const char* modes;  // --set of the starting modes; empty: the model's
    bool blueFillOnBlack;
  } cases[] = {
      {1001, 1003, "", false},
      {1003, 1001, "", false},
      {1001, 1003, "--set SeparationModeA=2 --set SeparationModeB=2", false},
      {1003, 1001, "--set SeparationModeA=4 --set SeparationModeB=5", false},
      {1001, 1003, "--set SeparationModeA=5 --set SeparationModeB=4", true},
      {1003, 1001, "--set SeparationModeA=2 --set SeparationModeB=6", false},
      {1001, 1003, "--set SeparationModeA=3 --set SeparationModeB=7", true},
      {1003, 1001, "--set SeparationModeA=4 --set SeparationModeB=3", false},
  };
  for (const Case& c : cases) {
    const std::string sets =
        "--set Drum1Color=" + std::to_string(c.drum1) + " --set Drum2Color=" + std::to_string(c.drum2) + " " + c.modes;
    SCOPED_TRACE(sets);
    const PatchShares shares = PrintPatches(dir, sets);
    const int redDrum = c.drum1 == 1003 ? 0 : 1, blackDrum = 1 - redDrum;
    for (int row = 0; row < 2; ++row) {
      SCOPED_TRACE(row == 0 ? "picture" : "fill");
      EXPECT_GT(shares.share[redDrum][row][kRedPatch], 0.5);
      EXPECT_EQ(shares.share[blackDrum][row][kRedPatch], 0.0);
      EXPECT_GT(shares.share[blackDrum][row][kBlackPatch], 0.9);
      EXPECT_EQ(shares.share[redDrum][row][kBlackPatch], 0.0);
      EXPECT_GT(shares.share[blackDrum][row][kGreyPatch], 0.2);
      EXPECT_EQ(shares.share[redDrum][row][kGreyPatch], 0.0);
      const int blueDrum = row == 0 || c.blueFillOnBlack ? blackDrum : redDrum;
      EXPECT_GT(shares.share[blueDrum][row][kBluePatch], 0.3);
      EXPECT_EQ(shares.share[1 - blueDrum][row][kBluePatch], 0.0);
    }
  }
}

// A mid-grey picture (density 128) prints at the mean density of the tone
// curve its photo mode takes: on one ink curve 4 (87) for the screen and
// curve 7 (53) for error diffusion, which lightens the mid-tones that
// diffused dots darken; on two inks curves 16 (95) and 17 (60) after the
// separation.
TEST(TwoInkPicture, MidGreyPrintsAtTheDensityOfItsPhotoModesToneCurve) {
  testsupport::TempFolder folder{"photo-mode-density"};
  const fs::path dir = folder.path();
  {
    // Three levels (126, 127, 128 in turn), so that a picture it stays: one
    // level alone would be drawn by the colour classes, as a fill is.
    std::string levels;
    for (int i = 0; i < 40 * 40; ++i) levels += char(126 + i % 3);
    std::ofstream pgm(dir / "grey.pgm", std::ios::binary);
    pgm << "P5\n40 40\n255\n" << levels;
    std::ofstream ppm(dir / "grey.ppm", std::ios::binary);
    ppm << "P6\n40 40\n255\n";
    for (char v : levels) ppm << v << v << v;
  }
  // No photo preset and no tone adjustment (the sample model's defaults take
  // preset 1), and a coarse screen whose cell has enough levels to show the
  // mean at 300 dpi.
  const std::string plain = " --set PhotoSyurui=3 --set Akarusa=4 --set Contrast=4 --set AmiLine=50";
  struct Case {
    const char* picture;
    const char* sets;
    int density;  // the curve's value at 128
  } cases[] = {
      {"grey.pgm", "--set PhotoMode=0", 87},
      {"grey.pgm", "--set PhotoMode=1", 53},
      {"grey.ppm", "--set ColorMode=2 --set Seihan=2 --set PhotoMode=0", 95},
      {"grey.ppm", "--set ColorMode=2 --set Seihan=2 --set PhotoMode=1", 60},
  };
  constexpr int kPictureSide = 400;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.picture) + " " + c.sets);
    const tooltest::DrawnJob drawn =
        tooltest::DrawJob(dir, std::string(c.sets) + plain,
                          "stretch " + (dir / c.picture).string() + " 200 200 " +
                              std::to_string(200 + kPictureSide) + " " + std::to_string(200 + kPictureSide) + "\n");
    ASSERT_TRUE(drawn.decoded.ok);
    // Ink of all drum pages over the picture's area, wherever the plane puts it.
    long ink = 0;
    for (const auto& plane : drawn.pages) ink += InkedDots(plane);
    const double mean = double(ink) / double(kPictureSide * kPictureSide);
    EXPECT_NEAR(mean, c.density / 255.0, 0.02) << drawn.run.out;
  }
}
