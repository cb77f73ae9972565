#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "imaging/error_diffusion.h"
#include "imaging/netpbm_files.h"
#include "imaging/screen_dither.h"
#include "imaging/screens.h"
#include "imaging/tone.h"

using namespace imaging;

namespace {

const std::string kTool = std::string(BIN_DIR_STR) + "/imagetool";

std::vector<std::uint8_t> Ramp(int w, int h) {
  std::vector<std::uint8_t> d(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) d[size_t(y) * w + x] = std::uint8_t((x * 255 / (w - 1) + y * 3) % 256);
  return d;
}

// PBM (1 = ink) back to plane rows (1 = white) of (w + 7) / 8 bytes.
std::vector<BYTE> PlaneOf(const testsupport::Pnm& pbm) {
  std::vector<BYTE> plane(pbm.data);
  for (BYTE& b : plane) b = BYTE(~b);
  return plane;
}

std::vector<BYTE> Padded(std::vector<BYTE> plane, int w, int h) {
  const int rowBytes = (w + 7) / 8;
  if (w % 8)
    for (int y = 0; y < h; ++y) plane[size_t(y) * rowBytes + rowBytes - 1] |= BYTE(0xFF >> (w % 8));
  return plane;
}

TEST(Imagetool, TileScreenAndDiffuseMatchTheKernels) {
  testsupport::ScratchDir dir;
  const int w = 45, h = 21;
  const auto density = Ramp(w, h);
  testsupport::WritePgm(dir.File("d.pgm"), w, h, density);

  ASSERT_EQ(testsupport::Run(kTool + " tile --lines 85 --angle 30 --smooth 1 " + dir.File("t.pgm")), 0);
  const ScreenSpec params{600, 85, 30, 0, 0, true, false};
  std::vector<BYTE> tile(*ScreenTileBytes(params));
  LONG side = 0;
  ASSERT_TRUE(BuildScreen(params, tile.data(), tile.size(), &side));
  const testsupport::Pnm t = testsupport::ReadPnm(dir.File("t.pgm"));
  ASSERT_EQ(t.width, side);
  EXPECT_EQ(t.data, tile);

  ASSERT_EQ(testsupport::Run(kTool + " screen --lines 85 --angle 30 --smooth 1 --origin 3,-2 --size 90,42 " +
                             dir.File("d.pgm") + " " + dir.File("s.pbm")),
            0);
  const testsupport::Pnm s = testsupport::ReadPnm(dir.File("s.pbm"));
  ASSERT_EQ(s.width, 90);
  ASSERT_EQ(s.height, 42);
  std::vector<BYTE> want(12 * 42, 0xFF);
  DitherByScreen({}, {density.data(), w, h, w}, {want.data(), 12, 42, {3, -2}}, {0, 0, 89, 41}, {tile.data(), side});
  EXPECT_EQ(Padded(PlaneOf(s), 90, 42), want);

  ASSERT_EQ(testsupport::Run(kTool + " diffuse --res-mode 2 " + dir.File("d.pgm") + " " + dir.File("e.pbm")), 0);
  std::vector<BYTE> diffused(6 * h, 0xFF);
  DiffusionCarry carry;
  DiffuseError({2, 0, 0, h, &carry}, {density.data(), w, h, w}, {diffused.data(), 6, h, {0, 0}}, {0, 0, w - 1, h - 1});
  FreeDiffusionCarry(carry);
  EXPECT_EQ(Padded(PlaneOf(testsupport::ReadPnm(dir.File("e.pbm"))), w, h), diffused);
}

TEST(Imagetool, DensityAndTone) {
  testsupport::ScratchDir dir;
  testsupport::WritePgm(dir.File("g.pgm"), 3, 1, {255, 0, 118});
  ASSERT_EQ(testsupport::Run(kTool + " density --contrast 7 " + dir.File("g.pgm") + " " + dir.File("d.pgm")), 0);
  // Grey 118 is density 137 (luminance of a grey); contrast 7 doubles the distance from 127.
  EXPECT_EQ(testsupport::ReadPnm(dir.File("d.pgm")).data, (std::vector<std::uint8_t>{0, 255, 147}));
  {
    std::ofstream ppm(dir.File("c.ppm"), std::ios::binary);
    ppm << "P6\n2 1\n255\n";
    const char rgb[] = {char(255), 0, 0, 0, 0, char(255)};
    ppm.write(rgb, 6);
  }
  ASSERT_EQ(testsupport::Run(kTool + " density " + dir.File("c.ppm") + " " + dir.File("e.pgm")), 0);
  EXPECT_EQ(testsupport::ReadPnm(dir.File("e.pgm")).data,
            (std::vector<std::uint8_t>{std::uint8_t(255 - ((2449 * 255) >> 13)), std::uint8_t(255 - ((938 * 255) >> 13))}));
  ASSERT_EQ(testsupport::Run(kTool + " tone --curve 8 " + dir.File("g.pgm") + " " + dir.File("t.pgm")), 0);
  EXPECT_EQ(testsupport::ReadPnm(dir.File("t.pgm")).data,
            (std::vector<std::uint8_t>{ToneTableSet[8][255], ToneTableSet[8][0], ToneTableSet[8][118]}));
}

// Pure red, black, white and grey of a picture: family 1 (mode 2) puts red on
// plate 1 and black and grey on plate 2 (grey 100 at 155 on the diagonal);
// masked, only black inks, on both plates in the class modes.
TEST(Imagetool, SeparateEveryRow) {
  testsupport::ScratchDir dir;
  {
    std::ofstream ppm(dir.File("c.ppm"), std::ios::binary);
    ppm << "P6\n2 2\n255\n";
    const unsigned char rgb[] = {255, 0, 0, 0, 0, 0, 255, 255, 255, 100, 100, 100};
    ppm.write(reinterpret_cast<const char*>(rgb), 12);
  }
  auto separate = [&](const std::string& options) {
    EXPECT_EQ(testsupport::Run(kTool + " separate " + options + " " + dir.File("c.ppm") + " " + dir.File("1.pgm") +
                               " " + dir.File("2.pgm")),
              0)
        << options;
    return std::make_pair(testsupport::ReadPnm(dir.File("1.pgm")).data, testsupport::ReadPnm(dir.File("2.pgm")).data);
  };
  using Bytes = std::vector<std::uint8_t>;
  const auto q = [](int v) { return ToneTableSet[16][std::size_t(v)]; };
  // Plate 2 of black is boosted by nothing (plate 1 is 0); grey 100 is 155 on the diagonal.
  EXPECT_EQ(separate("--mode 2"), std::make_pair(Bytes{q(255), 0, 0, 0}, Bytes{0, q(255), 0, q(155)}));
  EXPECT_EQ(separate("--mode 9 --mask"), std::make_pair(Bytes{0, 255, 0, 0}, Bytes{0, 255, 0, 0}));
}

// enhance: the picture's band walk and gray pipeline. Nothing asked leaves
// it as it was; Gyakkou 3 spreads a low-contrast picture; contrast 7 clears
// the light densities.
TEST(Imagetool, Enhance) {
  testsupport::ScratchDir dir;
  const int w = 300, h = 520;  // more than one band of a centimetre at 600 dpi
  std::vector<std::uint8_t> flat(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) flat[size_t(y) * w + x] = std::uint8_t(100 + (x + 2 * y) % 40);
  testsupport::WritePgm(dir.File("f.pgm"), w, h, flat);
  const auto spread = [](const std::vector<std::uint8_t>& v) {
    double m = 0, s = 0;
    for (auto b : v) m += b;
    m /= double(v.size());
    for (auto b : v) s += (b - m) * (b - m);
    return s / double(v.size());
  };
  ASSERT_EQ(testsupport::Run(kTool + " enhance --gyakkou 0 " + dir.File("f.pgm") + " " + dir.File("0.pgm")), 0);
  EXPECT_EQ(testsupport::ReadPnm(dir.File("0.pgm")).data, flat);
  ASSERT_EQ(testsupport::Run(kTool + " enhance --gyakkou 3 " + dir.File("f.pgm") + " " + dir.File("3.pgm")), 0);
  EXPECT_GT(spread(testsupport::ReadPnm(dir.File("3.pgm")).data), 2 * spread(flat));
  // A picture shorter than one band is enhanced as well.
  const int shortRows = 100;
  const std::vector<std::uint8_t> low(flat.begin(), flat.begin() + std::ptrdiff_t(w) * shortRows);
  testsupport::WritePgm(dir.File("s.pgm"), w, shortRows, low);
  ASSERT_EQ(testsupport::Run(kTool + " enhance --gyakkou 3 " + dir.File("s.pgm") + " " + dir.File("s3.pgm")), 0);
  EXPECT_GT(spread(testsupport::ReadPnm(dir.File("s3.pgm")).data), 2 * spread(low));
  ASSERT_EQ(testsupport::Run(kTool + " enhance --gyakkou 0 --contrast 7 " + dir.File("f.pgm") + " " + dir.File("7.pgm")),
            0);
  const std::vector<std::uint8_t> steep = testsupport::ReadPnm(dir.File("7.pgm")).data;
  EXPECT_EQ(steep[0], 128 + (100 - 128) * 2);
  EXPECT_NE(testsupport::Run(kTool + " enhance --gyakkou 6 " + dir.File("f.pgm") + " " + dir.File("x.pgm")), 0);
}

TEST(Imagetool, RefusesBadArgumentsAndShortFiles) {
  testsupport::ScratchDir dir;
  {
    std::ofstream short_(dir.File("short.pgm"), std::ios::binary);
    short_ << "P5\n100 100\n255\nabc";
  }
  testsupport::WritePgm(dir.File("ok.pgm"), 4, 4, std::vector<std::uint8_t>(16, 200));
  struct Case {
    std::string args;
    int status;
  } cases[] = {
      {"tone " + dir.File("short.pgm") + " x.pgm", 2},            // no curve
      {"tone --curve 20 a b", 2},                                   // no such curve
      {"screen --orientation 45 a b", 2},                           // orientation 0 or 90
      {"screen --size 0,4 a b", 2},                                 // empty target
      {"diffuse " + dir.File("short.pgm") + " " + dir.File("o.pbm"), 1},  // fewer pixels than the size says
      {"screen --res-mode 3 " + dir.File("ok.pgm") + " " + dir.File("o.pbm"), 1},  // no dither for mode 3
      {"separate --mode 1 a b c", 2},                                                   // one-ink modes have no plates
      {"separate --mode 2 " + dir.File("ok.pgm") + " a b", 1},                         // a grey picture
  };
  for (const auto& c : cases) {
    const int rc = std::system((kTool + " " + c.args + " 2>/dev/null").c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    EXPECT_EQ(WEXITSTATUS(rc), c.status) << c.args;
  }
}

}  // namespace
