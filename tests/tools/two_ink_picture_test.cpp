// Two-ink pictures end to end: a picture stretched through printjob --draw on
// a two-drum job separates on both drum pages, read back with streamdump.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/netpbm_files.h"
#include "streamdump/stream_decoder.h"
#include "support/run_command.h"
#include "support/temp_folder.h"

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

}  // namespace

// Family 1 (modes 2 and 5): red goes to plate 1 only, black to plate 2 only,
// grey to plate 2 alone at the density the separation gives it, white to
// neither; mode 5 prints plate 1 on drum 2. Screened and diffused alike.
TEST(TwoInkPicture, StretchedPictureSeparatesOnBothDrumPages) {
  testsupport::TempFolder folder{"two-ink-picture"};
  const fs::path dir = folder.path();
  WritePicture(dir / "blocks.ppm");
  std::ofstream(dir / "page.txt") << "stretch " << (dir / "blocks.ppm").string() << " " << kLeft << " " << kTop << " "
                                  << kLeft + kBlocks * kSide << " " << kTop + kSide << "\n";
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

    const fs::path job = dir / "job.prn";
    ASSERT_EQ(RunTool(Bin("printjob") + " --root '" + (dir / "root").string() + "' --out '" + job.string() +
                      "' --set ColorMode=2 --set Seihan=2 --set SeparationModeA=" + std::to_string(c.mode) +
                      " --set SeparationModeB=" + std::to_string(c.mode) +
                      " --set PhotoMode=" + std::to_string(c.photoMode) + " --draw '" + (dir / "page.txt").string() +
                      "'",
                  &out),
              0)
        << out;
    std::ifstream in(job, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const streamdump::Decoded decoded = streamdump::DecodeStream(bytes);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    ASSERT_EQ(decoded.pages.size(), 2u) << "drum 1 and drum 2";
    streamdump::Plane planes[2] = {streamdump::RebuildPlane(decoded, decoded.pages[0]),
                                   streamdump::RebuildPlane(decoded, decoded.pages[1])};
    // The page origin on the plane: the top-left inked dot of all (red or black).
    std::uint32_t originX = UINT32_MAX, originY = UINT32_MAX;
    for (const auto& plane : planes)
      for (std::uint32_t y = 0; y < plane.height; ++y)
        for (std::uint32_t x = 0; x < plane.width; ++x)
          if (plane.Ink(x, y)) {
            originX = std::min(originX, x);
            originY = std::min(originY, y);
          }
    ASSERT_NE(originX, UINT32_MAX) << "nothing inked";
    DrumShares drums[2];
    long total[2] = {0, 0};
    for (int d = 0; d < 2; ++d) {
      for (std::uint32_t y = 0; y < planes[d].height; ++y)
        for (std::uint32_t x = 0; x < planes[d].width; ++x) total[d] += planes[d].Ink(x, y);
      for (int b = 0; b < kBlocks; ++b) {
        long ink = 0, dots = 0;
        for (std::uint32_t y = originY + 5; y < originY + kSide - 5; ++y)
          for (std::uint32_t x = originX + b * kSide + 5; x < originX + (b + 1) * kSide - 5; ++x, ++dots)
            ink += planes[d].Ink(x, y);
        drums[d].share[b] = double(ink) / double(dots);
      }
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
    std::ofstream(dir / "page.txt") << script;
    const fs::path job = dir / "job.prn";
    std::string out;
    EXPECT_EQ(RunTool(Bin("printjob") + " --root '" + (dir / "root").string() + "' --out '" + job.string() +
                          "' --set ColorMode=2 --set Seihan=2 --set SeparationModeA=2 --set SeparationModeB=2"
                          " --set PhotoMode=1 --set Contrast=6 --set Akarusa=2 --draw '" +
                          (dir / "page.txt").string() + "'",
                      &out),
              0)
        << out;
    std::ifstream in(job, std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const streamdump::Decoded decoded = streamdump::DecodeStream(bytes);
    EXPECT_TRUE(decoded.ok) << decoded.error;
    std::vector<streamdump::Plane> planes;
    for (const auto& page : decoded.pages) planes.push_back(streamdump::RebuildPlane(decoded, page));
    return planes;
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
