// Plate classes of colours, hue against Python's colorsys, and the palette
// mapping of the drawing paths.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <vector>

#include "imaging/image_entries.h"
#include "planes/plane_ops.h"
#include "support/host_files.h"
#include "support/peer.h"
#include "support/python_peer.h"

namespace {

struct Colour {
  std::uint8_t r, g, b;
};
constexpr Colour kWhite{255, 255, 255}, kBlack{0, 0, 0};
// Hues on either side of the class edges (chroma 60).
constexpr Colour kHue49{200, 189, 140}, kHue50{200, 190, 140}, kHue169{140, 200, 189}, kHue170{140, 200, 190},
    kHue289{189, 140, 200}, kHue290{190, 140, 200};
// Chroma on either side of the low-chroma and the colour-plate thresholds.
constexpr Colour kChroma10{110, 100, 105}, kChroma11{111, 100, 105}, kChroma19{119, 100, 105},
    kChroma20{120, 100, 105}, kRedless20{100, 120, 105};
// Brightest channel on either side of 40.
constexpr Colour kValue39{39, 20, 20}, kValue40{40, 20, 20};
// Dark enough that every divisor caps it at 255.
constexpr Colour kDarkRed{60, 0, 0};

struct Case {
  Colour colour;
  int code, kind, plate, density;
};

// Expectations from the class rules: darkness 255^3 - L, the plate's divisor,
// codes without a rule (and codes 2 and 4 with an unknown kind) as code 0.
const Case kCases[] = {
      {kWhite, 0, 0, 1, 0}, {kBlack, 0, 0, 1, 255}, {kWhite, 1, 0, 2, 0}, {kBlack, 1, 0, 2, 255},
      {kWhite, 2, 0, 2, 0}, {kBlack, 2, 0, 2, 255}, {kWhite, 3, 0, 1, 0}, {kBlack, 3, 0, 1, 255},
      {kWhite, 4, 0, 1, 0}, {kBlack, 4, 0, 1, 255}, {kWhite, 5, 0, 1, 0}, {kBlack, 5, 0, 1, 255},
      {kWhite, 6, 0, 2, 0}, {kBlack, 6, 0, 2, 255}, {kWhite, 7, 0, 1, 0}, {kBlack, 7, 0, 1, 255},
      {kWhite, 8, 0, 2, 0}, {kBlack, 8, 0, 2, 255}, {kWhite, 9, 0, 1, 0}, {kBlack, 9, 0, 1, 255},
      {kWhite, 10, 0, 2, 0}, {kBlack, 10, 0, 2, 255}, {kWhite, 11, 0, 1, 0}, {kBlack, 11, 0, 1, 255},
      {kWhite, 12, 0, 2, 0}, {kBlack, 12, 0, 1, 255}, {kWhite, 13, 0, 1, 0}, {kBlack, 13, 0, 2, 255},
      {kWhite, 50, 0, 1, 0}, {kBlack, 50, 0, 1, 255}, {kWhite, 51, 0, 2, 0}, {kBlack, 51, 0, 2, 255},
      {kWhite, 52, 0, 1, 0}, {kBlack, 52, 0, 1, 255}, {kWhite, 53, 0, 1, 0}, {kBlack, 53, 0, 1, 255},
      {kWhite, 54, 0, 1, 0}, {kBlack, 54, 0, 1, 255}, {kWhite, 55, 0, 1, 0}, {kBlack, 55, 0, 1, 255},
      {kWhite, 56, 0, 1, 0}, {kBlack, 56, 0, 1, 255}, {kWhite, 57, 0, 1, 0}, {kBlack, 57, 0, 1, 255},
      {kWhite, 58, 0, 2, 0}, {kBlack, 58, 0, 2, 255}, {kWhite, 59, 0, 1, 0}, {kBlack, 59, 0, 1, 255},
      {kWhite, 60, 0, 2, 0}, {kBlack, 60, 0, 2, 255}, {kWhite, 61, 0, 1, 0}, {kBlack, 61, 0, 1, 255},
      {kWhite, 62, 0, 2, 0}, {kBlack, 62, 0, 2, 255}, {kWhite, 63, 0, 1, 0}, {kBlack, 63, 0, 1, 255},
      {kWhite, 64, 0, 2, 0}, {kBlack, 64, 0, 1, 255}, {kWhite, 65, 0, 1, 0}, {kBlack, 65, 0, 2, 255},
      {kWhite, 66, 0, 1, 0}, {kBlack, 66, 0, 1, 255}, {kWhite, 67, 0, 2, 0}, {kBlack, 67, 0, 2, 255},
      {kWhite, 14, 0, 1, 0}, {kBlack, 14, 0, 1, 255}, {kWhite, 49, 0, 1, 0}, {kBlack, 49, 0, 1, 255},
      {kWhite, 68, 0, 1, 0}, {kBlack, 68, 0, 1, 255}, {kWhite, -1, 0, 1, 0}, {kBlack, -1, 0, 1, 255},
      {kChroma19, 2, 0, 2, 154}, {kChroma20, 2, 0, 1, 219}, {kDarkRed, 2, 0, 1, 255}, {kChroma19, 2, 1, 2, 154},
      {kChroma20, 2, 1, 1, 255}, {kDarkRed, 2, 1, 1, 255}, {kChroma19, 2, 2, 2, 154}, {kChroma20, 2, 2, 1, 173},
      {kDarkRed, 2, 2, 1, 255}, {kChroma19, 2, 5, 1, 154}, {kChroma20, 2, 5, 1, 153}, {kDarkRed, 2, 5, 1, 237},
      {kChroma19, 4, 0, 1, 154}, {kChroma20, 4, 0, 2, 219}, {kDarkRed, 4, 0, 2, 255}, {kChroma19, 4, 1, 1, 154},
      {kChroma20, 4, 1, 2, 255}, {kDarkRed, 4, 1, 2, 255}, {kChroma19, 4, 2, 1, 154}, {kChroma20, 4, 2, 2, 173},
      {kDarkRed, 4, 2, 2, 255}, {kChroma19, 4, 5, 1, 154}, {kChroma20, 4, 5, 1, 153}, {kDarkRed, 4, 5, 1, 237},
      {kChroma19, 3, 0, 1, 154}, {kChroma20, 3, 0, 1, 219}, {kRedless20, 3, 0, 1, 148}, {kChroma19, 5, 0, 1, 154},
      {kChroma20, 5, 0, 2, 219}, {kRedless20, 5, 0, 1, 148}, {kHue49, 6, 0, 1, 109}, {kHue50, 6, 0, 2, 76},
      {kHue169, 6, 0, 2, 82}, {kHue170, 6, 0, 2, 82}, {kHue289, 6, 0, 2, 101}, {kHue290, 6, 0, 1, 144},
      {kChroma10, 6, 0, 2, 156}, {kChroma11, 6, 0, 1, 223}, {kHue49, 7, 0, 2, 109}, {kHue50, 7, 0, 1, 76},
      {kHue169, 7, 0, 1, 82}, {kHue170, 7, 0, 1, 82}, {kHue289, 7, 0, 1, 101}, {kHue290, 7, 0, 2, 144},
      {kChroma10, 7, 0, 1, 156}, {kChroma11, 7, 0, 2, 223}, {kHue49, 8, 0, 2, 76}, {kHue50, 8, 0, 2, 76},
      {kHue169, 8, 0, 2, 82}, {kHue170, 8, 0, 1, 92}, {kHue289, 8, 0, 1, 114}, {kHue290, 8, 0, 2, 101},
      {kChroma10, 8, 0, 2, 156}, {kChroma11, 8, 0, 2, 156}, {kHue49, 9, 0, 1, 76}, {kHue50, 9, 0, 1, 76},
      {kHue169, 9, 0, 1, 82}, {kHue170, 9, 0, 2, 92}, {kHue289, 9, 0, 2, 114}, {kHue290, 9, 0, 1, 101},
      {kChroma10, 9, 0, 1, 156}, {kChroma11, 9, 0, 1, 156}, {kHue49, 10, 0, 2, 76}, {kHue50, 10, 0, 1, 185},
      {kHue169, 10, 0, 1, 201}, {kHue170, 10, 0, 2, 82}, {kHue289, 10, 0, 2, 101}, {kHue290, 10, 0, 2, 101},
      {kChroma10, 10, 0, 2, 156}, {kChroma11, 10, 0, 2, 156}, {kHue49, 11, 0, 1, 76}, {kHue50, 11, 0, 2, 185},
      {kHue169, 11, 0, 2, 201}, {kHue170, 11, 0, 1, 82}, {kHue289, 11, 0, 1, 101}, {kHue290, 11, 0, 1, 101},
      {kChroma10, 11, 0, 1, 156}, {kChroma11, 11, 0, 1, 156}, {kHue49, 58, 0, 1, 109}, {kHue50, 58, 0, 2, 76},
      {kHue169, 58, 0, 2, 82}, {kHue170, 58, 0, 2, 82}, {kHue289, 58, 0, 2, 101}, {kHue290, 58, 0, 1, 144},
      {kChroma10, 58, 0, 2, 156}, {kChroma11, 58, 0, 1, 223}, {kHue49, 59, 0, 2, 109}, {kHue50, 59, 0, 1, 76},
      {kHue169, 59, 0, 1, 82}, {kHue170, 59, 0, 1, 82}, {kHue289, 59, 0, 1, 101}, {kHue290, 59, 0, 2, 144},
      {kChroma10, 59, 0, 1, 156}, {kChroma11, 59, 0, 2, 223}, {kHue49, 60, 0, 2, 76}, {kHue50, 60, 0, 2, 76},
      {kHue169, 60, 0, 2, 82}, {kHue170, 60, 0, 1, 92}, {kHue289, 60, 0, 1, 114}, {kHue290, 60, 0, 2, 101},
      {kChroma10, 60, 0, 2, 156}, {kChroma11, 60, 0, 2, 156}, {kHue49, 61, 0, 1, 76}, {kHue50, 61, 0, 1, 76},
      {kHue169, 61, 0, 1, 82}, {kHue170, 61, 0, 2, 92}, {kHue289, 61, 0, 2, 114}, {kHue290, 61, 0, 1, 101},
      {kChroma10, 61, 0, 1, 156}, {kChroma11, 61, 0, 1, 156}, {kHue49, 62, 0, 2, 76}, {kHue50, 62, 0, 1, 185},
      {kHue169, 62, 0, 1, 201}, {kHue170, 62, 0, 2, 82}, {kHue289, 62, 0, 2, 101}, {kHue290, 62, 0, 2, 101},
      {kChroma10, 62, 0, 2, 156}, {kChroma11, 62, 0, 2, 156}, {kHue49, 63, 0, 1, 76}, {kHue50, 63, 0, 2, 185},
      {kHue169, 63, 0, 2, 201}, {kHue170, 63, 0, 1, 82}, {kHue289, 63, 0, 1, 101}, {kHue290, 63, 0, 1, 101},
      {kChroma10, 63, 0, 1, 156}, {kChroma11, 63, 0, 1, 156}, {kValue39, 12, 0, 1, 229}, {kValue40, 12, 0, 2, 229},
      {kValue39, 13, 0, 2, 229}, {kValue40, 13, 0, 1, 229}, {kValue39, 64, 0, 1, 229}, {kValue40, 64, 0, 2, 229},
      {kValue39, 65, 0, 2, 229}, {kValue40, 65, 0, 1, 229}, {kChroma10, 66, 0, 1, 156}, {kChroma11, 66, 0, 2, 156},
      {kChroma10, 67, 0, 2, 156}, {kChroma11, 67, 0, 1, 156}, {kDarkRed, 0, 0, 1, 237}, {kHue50, 0, 0, 1, 76},
      {kDarkRed, 1, 0, 2, 237}, {kHue50, 1, 0, 2, 76}, {kDarkRed, 14, 0, 1, 237}, {kHue50, 14, 0, 1, 76},
      {kDarkRed, 68, 0, 1, 237}, {kHue50, 68, 0, 1, 76},
};

TEST(ClassifyColourForPlates, EveryCodeAtItsEdges) {
  for (const Case& c : kCases) {
    std::uint8_t plate = 0xEE, density = 0xEE;
    const std::uint8_t result =
        ClassifyColourForPlates(c.code, c.colour.r, c.colour.g, c.colour.b, c.kind, &plate, &density);
    const std::string where = "code " + std::to_string(c.code) + " kind " + std::to_string(c.kind) + " rgb " +
                              std::to_string(c.colour.r) + "," + std::to_string(c.colour.g) + "," +
                              std::to_string(c.colour.b);
    EXPECT_EQ(plate, c.plate) << where;
    EXPECT_EQ(density, c.density) << where;
    EXPECT_EQ(result, density) << where;
  }
}

TEST(ClassifyColourForPlates, GraphicsModesMapToClassCodes) {
  for (int mode = 0; mode <= 13; ++mode) EXPECT_EQ(ClassCodeOfMode(mode), mode);
  for (int mode = 14; mode <= 17; ++mode) EXPECT_EQ(ClassCodeOfMode(mode), mode + 50);
}

// The palette mapping classifies each entry with the graphics separation
// mode's class code, as object kind 0.
TEST(PaletteToInkDensity, EqualsTheClassifierPerEntry) {
  std::vector<ULONG> palette;
  for (const Case& c : kCases) palette.push_back(c.colour.r | (c.colour.g << 8) | (c.colour.b << 16));
  std::mt19937 random(7);
  for (int i = 0; i < 200; ++i) palette.push_back(random() & 0xFFFFFF);
  auto pdev = std::make_unique<RenderPdev>();
  for (int mode = 0; mode <= 17; ++mode) {
    pdev->separationModes[1] = static_cast<std::uint8_t>(mode);
    pdev->separationModes[0] = pdev->separationModes[2] = 0;
    std::vector<InkDensityPair> pairs(palette.size(), InkDensityPair{0xEE, 0xEE});
    PaletteToInkDensity(pdev.get(), palette.data(), pairs.data(), static_cast<ULONG>(palette.size()));
    for (std::size_t i = 0; i < palette.size(); ++i) {
      const ULONG c = palette[i];
      std::uint8_t plate = 0, density = 0;
      ClassifyColourForPlates(ClassCodeOfMode(mode), c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF, 0, &plate,
                              &density);
      ASSERT_EQ(pairs[i].plate, plate) << "mode " << mode << " entry " << i;
      ASSERT_EQ(pairs[i].density, density) << "mode " << mode << " entry " << i;
    }
  }
}

TEST(RgbToHsv, ValueSaturationAndLowChroma) {
  const Hsv grey = RgbToHsv(90, 90, 90);
  EXPECT_EQ(grey.hue, 0);
  EXPECT_FLOAT_EQ(grey.saturation, 0.0f);
  EXPECT_TRUE(grey.lowChroma);
  const Hsv black = RgbToHsv(0, 0, 0);
  EXPECT_FLOAT_EQ(black.saturation, 0.0f);
  EXPECT_FLOAT_EQ(black.value, 0.0f);
  const Hsv red = RgbToHsv(255, 0, 0);
  EXPECT_EQ(red.hue, 0);
  EXPECT_FLOAT_EQ(red.saturation, 1.0f);
  EXPECT_FLOAT_EQ(red.value, 1.0f);
  EXPECT_FALSE(red.lowChroma);
  EXPECT_EQ(RgbToHsv(255, 0, 1).hue, 360);  // -0.24 degrees wraps to 359.76
  EXPECT_EQ(RgbToHsv(0, 0, 255).hue, 240);
  EXPECT_TRUE(RgbToHsv(110, 100, 105).lowChroma);
  EXPECT_FALSE(RgbToHsv(111, 100, 105).lowChroma);
}

// Hue of 100,000 random colours against colorsys: within one degree, 0 and
// 360 being the same hue.
TEST(RgbToHsv, HueAgreesWithColorsys) {
  const std::string python = testsupport::PythonWith("colorsys");
  REQUIRE_PEER(!python.empty(), "python3");
  testsupport::ScratchDir dir("hsv-colorsys");
  const std::string in = dir.File("colours.bin"), out = dir.File("hues.txt");
  constexpr int kCount = 100000;
  std::mt19937 random(2024);
  std::vector<BYTE> rgb(3 * kCount);
  for (BYTE& v : rgb) v = static_cast<BYTE>(random() & 0xFF);
  testsupport::WriteHostFile(in, rgb);
  const std::string command =
      python + " -c \"import colorsys, sys; d = open(sys.argv[1], 'rb').read(); "
               "open(sys.argv[2], 'w').write(''.join('%.6f\\n' % (360 * colorsys.rgb_to_hsv(d[i] / 255, d[i + 1] / "
               "255, d[i + 2] / 255)[0]) for i in range(0, len(d), 3)))\" " +
      in + " " + out;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream hues(out);
  int bad = 0;
  for (int i = 0; i < kCount; ++i) {
    double theirs = 0;
    ASSERT_TRUE(hues >> theirs) << "line " << i;
    const int ours = RgbToHsv(rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]).hue;
    ASSERT_GE(ours, 0);
    ASSERT_LE(ours, 360);
    double diff = std::fabs(ours - theirs);
    diff = std::min(diff, 360 - diff);
    if (diff > 1.0 && bad++ < 5)
      ADD_FAILURE() << "rgb " << int(rgb[3 * i]) << "," << int(rgb[3 * i + 1]) << "," << int(rgb[3 * i + 2])
                    << ": ours " << ours << ", colorsys " << theirs;
  }
  EXPECT_EQ(bad, 0);
}

}  // namespace
