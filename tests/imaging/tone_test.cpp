#include <gtest/gtest.h>

#include <vector>

#include "imaging/tone.h"

using namespace imaging;

namespace {

TEST(ContrastCurves, TellingValuesExactly) {
  const int inputs[8] = {1, 32, 64, 127, 128, 192, 224, 255};
  const int want[7][8] = {
      {64, 80, 96, 127, 127, 159, 175, 191},     {43, 64, 85, 127, 127, 170, 191, 212},
      {27, 51, 77, 127, 127, 179, 204, 229},     {1, 32, 64, 127, 128, 192, 224, 255},
      {-30, 9, 49, 127, 128, 208, 248, 287},     {-62, -15, 33, 127, 128, 224, 272, 319},
      {-125, -63, 1, 127, 129, 257, 321, 383},
  };
  for (int l = 0; l < 7; ++l) {
    EXPECT_EQ(ContrastCurves[l][0], 0) << "level " << l + 1;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(ContrastCurves[l][inputs[i]], want[l][i]) << "level " << l + 1 << " v " << inputs[i];
  }
  for (int v = 0; v < 256; ++v) {
    EXPECT_EQ(ContrastCurves[3][v], v) << "level 4 is the identity";
    if (v > 0) {
      EXPECT_EQ(ContrastCurves[6][v], 2 * v - 127) << "level 7";
    }
  }
}

TEST(ToneClampDensity, ContrastBrightnessHatchesAndExemptions) {
  struct Case {
    const char* what;
    ToneInputs in;
    BYTE d, want;
  } cases[] = {
      {"white stays white at any contrast", {.contrast = 7, .brightness = 1}, 0, 0},
      {"white stays white darkened", {.contrast = 1, .brightness = 1}, 0, 0},
      {"black stays black", {.contrast = 1, .brightness = 4}, 255, 191},
      {"black at the identity", {}, 255, 255},
      {"contrast 7: 64 to 1", {.contrast = 7, .brightness = 4}, 64, 1},
      {"contrast 7: 200 clamps", {.contrast = 7, .brightness = 4}, 200, 255},
      {"brightness +90: 10 to 100", {.contrast = 4, .brightness = 1}, 10, 100},
      {"brightness +90: 200 clamps", {.contrast = 4, .brightness = 1}, 200, 255},
      {"brightness -90 clamps at 0", {.contrast = 4, .brightness = 7}, 50, 0},
      {"contrast 7 of 1 clamps at 0", {.contrast = 7, .brightness = 0}, 1, 0},
      {"diagonal hatch lifts light colour", {.operation = 1, .hatchMarker = 4}, 30, 66},
      {"diagonal cross too", {.operation = 1, .hatchMarker = 6}, 65, 66},
      {"diagonal hatch keeps 66 and up", {.operation = 1, .hatchMarker = 3}, 66, 66},
      {"diagonal hatch keeps white", {.operation = 1, .hatchMarker = 3}, 0, 0},
      {"horizontal hatch keeps 30", {.operation = 1, .hatchMarker = 1, .contrast = 7}, 30, 30},
      {"operation 2 untouched", {.operation = 2, .contrast = 7}, 100, 100},
      {"black-and-white source untouched", {.blackWhiteSource = 1, .contrast = 7}, 100, 100},
      {"SRCAND untouched", {.rop4 = 0x8888, .contrast = 7}, 100, 100},
      {"SRCPAINT untouched", {.rop4 = 0xEEEE, .brightness = 1}, 100, 100},
      {"preset untouched", {.preset = 1, .contrast = 7}, 100, 100},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToneClampDensity(c.in, c.d), c.want) << c.what;
    BYTE table[256];
    ToneClampTable(c.in, table);
    EXPECT_EQ(table[c.d], c.want) << c.what;
  }
}

TEST(TonePreset, KindBrightnessAndContrast) {
  struct Case {
    int kind, brightness, contrast, want;
  } cases[] = {{1, 4, 4, 1}, {0, 5, 5, 1}, {2, 5, 5, 1}, {0, 3, 3, 2}, {1, 3, 3, 1}, {3, 5, 5, 0},
               {3, 3, 3, 0}, {0, 5, 4, 0}, {0, 4, 4, 0}, {2, 0, 0, 2}};
  for (const auto& c : cases)
    EXPECT_EQ(TonePreset(c.kind, c.brightness, c.contrast), c.want) << c.kind << " " << c.brightness << " " << c.contrast;
  EXPECT_TRUE(ThinnedSheet(1, 2, false));
  EXPECT_FALSE(ThinnedSheet(1, 3, false));
  EXPECT_TRUE(ThinnedSheet(2, 3, true));
  EXPECT_FALSE(ThinnedSheet(0, 2, true));
}

TEST(ToneAdjust, WholeImageUnlessPreset) {
  std::vector<BYTE> image = {0, 10, 200, 99, 10, 10};  // two rows of two, stride 3
  ToneAdjust(0, 4, 1, image.data(), 2, 2, 3);
  EXPECT_EQ(image, (std::vector<BYTE>{0, 100, 200, 189, 100, 10}));
  ToneAdjust(1, 7, 1, image.data(), 2, 2, 3);
  EXPECT_EQ(image, (std::vector<BYTE>{0, 100, 200, 189, 100, 10}));
}

TEST(ToneTableSet, SamplesAndShapes) {
  const int inputs[12] = {0, 16, 32, 64, 96, 128, 160, 192, 224, 240, 254, 255};
  const int rows[][12] = {{0, 15, 28, 57, 87, 118, 151, 185, 220, 238, 254, 255},
                          {0, 4, 9, 22, 37, 53, 72, 91, 112, 120, 127, 128},
                          {0, 8, 15, 28, 40, 61, 87, 128, 223, 246, 255, 255}};
  const int numbers[] = {0, 8, 18};
  for (int i = 0; i < 3; ++i)
    for (int k = 0; k < 12; ++k) EXPECT_EQ(ToneTableSet[numbers[i]][inputs[k]], rows[i][k]) << "#" << numbers[i];
  for (int c = 0; c < 20; ++c) {
    EXPECT_EQ(ToneTableSet[c][0], 0);
    EXPECT_EQ(ToneTableSet[c][255], c >= 8 && c <= 10 ? 128 : 255) << "#" << c;
    for (int v = 1; v < 256; ++v) ASSERT_LE(ToneTableSet[c][v - 1], ToneTableSet[c][v]) << "#" << c << " at " << v;
  }
  EXPECT_EQ(ToneTableSet[18][1], 0);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(ToneTableSet[19][v], v);
  EXPECT_EQ(ToneTableSet[4][8], 2);  // 0 + 4 x 8 / 16
  EXPECT_EQ(ToneTableSet[4][20], 5);  // 4 + 6 x 4 / 16, truncated
}

TEST(ApplyToneCurve, CurveByPhotoModePresetResolutionAndThinning) {
  struct Case {
    int photo, preset, resMode;
    bool thinned;
    int curve;
  } cases[] = {
      {1, 0, 2, true, 13}, {1, 0, 0, true, 8},  {1, 0, 1, false, 7}, {1, 1, 2, false, 14}, {1, 1, 0, true, 9},
      {1, 1, 0, false, 11}, {1, 2, 2, true, 15}, {1, 2, 0, true, 10}, {1, 2, 1, false, 12}, {1, 3, 2, true, 4},
      {0, 0, 2, true, 4},  {0, 3, 0, false, 4}, {0, 1, 2, true, 5},  {0, 2, 0, false, 6},  {2, 1, 0, false, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ToneCurveIndex(c.photo, c.preset, c.resMode, c.thinned), c.curve)
        << c.photo << " " << c.preset << " " << c.resMode << " " << c.thinned;
    std::vector<BYTE> image(256);
    for (int v = 0; v < 256; ++v) image[v] = static_cast<BYTE>(v);
    ApplyToneCurve(c.photo, c.preset, image.data(), 16, 16, 16, c.resMode, c.thinned);
    for (int v = 0; v < 256; ++v) ASSERT_EQ(image[v], ToneTableSet[c.curve][v]);
  }
}

}  // namespace
