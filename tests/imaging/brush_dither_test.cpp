#include <gtest/gtest.h>

#include <vector>

#include "imaging/brush_dither.h"
#include "imaging/threshold_matrices.h"

using namespace imaging;

namespace {

TEST(DitherMatrix8x8, PatternPhaseAndLevels) {
  struct Case {
    BYTE density;
    int ink;  // of 64
  } cases[] = {{0, 0}, {3, 0}, {4, 1}, {100, 25}, {188, 47}, {251, 62}, {252, 64}, {255, 64}};
  for (const auto& c : cases) {
    std::vector<BYTE> d(16 * 16, c.density);
    std::vector<BYTE> bits(2 * 16, 0x00);
    DitherMatrix8x8(d.data(), bits.data(), {0, 0, 15, 15}, 16, 2);
    int ink = 0;
    for (int i = 0; i < 8; ++i)
      for (int j = 0; j < 8; ++j) {
        const bool on = !((bits[i * 2] >> (7 - j)) & 1);
        ink += on;
        EXPECT_EQ(on, BrushDither8x8[i][j] < c.density);
        // The same phase in every 8 x 8 block.
        EXPECT_EQ(on, !((bits[(i + 8) * 2 + 1] >> (7 - j)) & 1));
      }
    EXPECT_EQ(ink, c.ink) << int(c.density);
  }
  // A pattern 5 wide: the rest of its byte is white.
  std::vector<BYTE> d(5 * 2, 255), bits(2, 0x00);
  DitherMatrix8x8(d.data(), bits.data(), {0, 0, 4, 1}, 5, 1);
  EXPECT_EQ(bits[0], 0x07);
  EXPECT_EQ(bits[1], 0x07);
  EXPECT_TRUE(PlateIsWhite(bits.data() + 0, 0, 2, 1));
  EXPECT_FALSE(PlateIsWhite(bits.data(), 5, 2, 1));
}

}  // namespace
