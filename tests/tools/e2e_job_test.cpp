// Whole jobs through classicrender under the print host, as printjob runs
// them: the test draws dots straight into the page surface's ink planes,
// the driver sends the sheets to a spooler printer, and the independent
// stream decoder rebuilds every drum page, which must hold exactly the dots
// drawn, moved to where the device prints them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "plat/engine.h"
#include "plat/print_host.h"
#include "plat/spooler.h"
#include "plat/strings.h"
#include "settings/private_devmode.h"
#include "streamdump/stream_decoder.h"
#include "support/temp_folder.h"
#include "support/devmode.h"
#include "support/test_printer.h"
#include "tools/job_run.h"

namespace {

namespace fs = std::filesystem;
using plat::print_host::PageContext;
using DotList = std::vector<std::pair<long, long>>;  // (x, y), sorted

constexpr char16_t kPrinter[] = u"E2E Duplicator";
constexpr std::int64_t kDrum1Ink = 1001;
constexpr std::int64_t kDrum2Ink = 1003;

// 0.1 mm to dots, as the device counts them.
long Dots(long tenthMm, long dpi) { return (tenthMm * (dpi / 10) * 1584 + 40224) / 40225; }

// One ink plane of the page surface: bit 1 white, most significant bit leftmost.
struct PlaneRef {
  BYTE* bits = nullptr;
  long width = 0;
  long height = 0;
  long stride = 0;
  void Ink(long x, long y) const { bits[y * stride + x / 8] &= static_cast<BYTE>(~(0x80u >> (x % 8))); }
};

// A sparse picture (so that duplex thinning leaves it alone): a one-dot
// frame, a diagonal, small blocks and the four corner dots; `seed` moves it.
DotList Pattern(long w, long h, int seed) {
  std::set<std::pair<long, long>> dots;
  auto put = [&](long x, long y) {
    if (x >= 0 && y >= 0 && x < w && y < h) dots.emplace(x, y);
  };
  const long inset = 4 + 2 * seed;
  const long left = inset, right = ((w - inset) & ~1L) - 1, top = inset, bottom = h - 1 - inset;
  for (long x = left; x <= right; ++x) {
    put(x, top);
    put(x, bottom);
  }
  for (long y = top; y <= bottom; ++y) {
    put(left, y);
    put(right, y);
  }
  for (long y = top + 12; y < bottom - 12; ++y) put(left + 12 + (y - top) * (seed + 1) % (right - left - 24), y);
  for (long by = top + 20 + 7 * seed; by + 6 < bottom; by += 97)
    for (long bx = left + 30 + 10 * seed; bx + 6 < right; bx += 151)
      for (long y = by; y < by + 5; ++y)
        for (long x = bx & ~1L; x < (bx & ~1L) + 6; ++x) put(x, y);
  put(0, 0);
  put(w - 1, 0);
  put(0, h - 1);
  put(w - 1, h - 1);
  return DotList(dots.begin(), dots.end());
}

// Keeps only dots whose 600-to-300 dpi halving is plain: pairs inked whole,
// or a single dot of a pair with white on both sides (two dots each way).
DotList Halvable(DotList dots) {
  for (bool changed = true; changed;) {
    changed = false;
    std::set<std::pair<long, long>> ink(dots.begin(), dots.end());
    auto at = [&](long x, long y) { return ink.count({x, y}) != 0; };
    DotList kept;
    for (const auto& [x, y] : dots) {
      const long pair = x & ~1L;
      const bool whole = at(pair, y) && at(pair + 1, y);
      const bool alone = !at(pair - 2, y) && !at(pair - 1, y) && !at(pair + 2, y) && !at(pair + 3, y);
      if (whole || alone)
        kept.emplace_back(x, y);
      else
        changed = true;
    }
    dots = std::move(kept);
  }
  return dots;
}

// Where the device prints plane dots: line n (1 = first row, or first column
// at orientation 90) at stream position n + v0 (rebuilt row n + v0 - 1),
// dots across from h0; resolution mode 1 sends line n at n x 4 / 3 and once
// more below when that is not a multiple of 4; mode 2 halves the width.
struct Placement {
  long h0 = 0;
  long v0 = 0;
  int mode = 0;
  bool turned = false;
  long lineWidth = 0;  // dots of a row that are sent (the cut of a custom position)
  long lineCount = 0;  // rows that are sent
};

DotList Expected(const DotList& drawn, const Placement& p, long planeHeight) {
  std::set<std::pair<long, long>> out;
  for (const auto& [x, y] : drawn) {
    if (x >= p.lineWidth || y >= p.lineCount) continue;
    if (p.turned) {
      out.emplace(p.h0 + (planeHeight - 1 - y), x + p.v0);
      continue;
    }
    const long across = p.h0 + (p.mode == 2 ? x / 2 : x);
    const long n = y + 1;
    if (p.mode == 1) {
      const long scaled = n * 4 / 3;
      out.emplace(across, scaled + p.v0 - 1);
      if (scaled % 4 != 0) out.emplace(across, scaled + p.v0);
    } else {
      out.emplace(across, n + p.v0 - 1);
    }
  }
  return DotList(out.begin(), out.end());
}

DotList InkOf(const streamdump::Plane& plane) {
  DotList dots;
  for (std::uint32_t y = 0; y < plane.height; ++y) {
    const std::uint8_t* row = plane.bits.data() + std::size_t(y) * plane.stride;
    for (std::uint32_t b = 0; b < plane.stride; ++b) {
      if (row[b] == 0) continue;
      for (int k = 0; k < 8; ++k)
        if (row[b] & (0x80u >> k)) dots.emplace_back(static_cast<long>(b * 8 + k), static_cast<long>(y));
    }
  }
  std::sort(dots.begin(), dots.end());
  return dots;
}

// A two-ink 600 x 600 dpi job on a small user paper without margins, both drums printing.
PrivateDevmode TwoInkDevmode(short width = 600, short length = 900) {
  PrivateDevmode dm = testsupport::BaseDevmode();
  std::fill(std::begin(dm.Margins), std::end(dm.Margins), 0);
  dm.Public.dmPaperSize = DMPAPER_USER;
  dm.Public.dmPaperWidth = width;
  dm.Public.dmPaperLength = length;
  dm.XResolution = 600;
  dm.YResolution = 600;
  dm.DrumColorPattern = 1;  // the inks as chosen: no fold to one ink
  DocSettings& s = dm.Settings;
  s.ColorMode = 2;
  s.Seihan = 2;
  s.OneInkColor = static_cast<InkCode>(kDrum1Ink);
  s.Drum1Color = static_cast<InkCode>(kDrum1Ink);
  s.Drum2Color = static_cast<InkCode>(kDrum2Ink);
  return dm;
}

// What one job left behind.
struct Ran {
  plat::print_host::Result result;
  std::vector<BYTE> out;
  streamdump::Decoded job;
  std::vector<std::pair<DotList, DotList>> drawn;  // per page: drum 1, drum 2
  long planeWidth = 0;
  long planeHeight = 0;
};

class EndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    ASSERT_TRUE(testPrinter_.Add(testsupport::PrinterSetupOf(kPrinter, u"LPT1:", u"Duplicator")));
    printer_ = testPrinter_.handle();
    DWORD error = 0;
    driver_ = plat::print_host::Driver::Load(plat::u16(std::string(LIB_DIR_STR) + "/classicrender.so"), &error);
    ASSERT_NE(driver_, nullptr) << "classicrender did not load, error " << error;
  }
  void TearDown() override {
    driver_.reset();
    testPrinter_.Close();
    plat::spooler::Reset();
  }

  // Runs a job of `pages` pages. draw(page, drum, width, height) gives the
  // dots of each plane; twoPlanes: the surface holds a drum 1 plane behind
  // the drum 2 plane. beforeSend runs after drawing each page.
  Ran Run(const PrivateDevmode& dm, int pages, bool twoPlanes,
          const std::function<DotList(int, int, long, long)>& draw,
          const std::function<void(int)>& beforeSend = {}) {
    Ran ran;
    plat::spooler::ClearOutput(kPrinter);
    plat::print_host::Job job;
    job.printer = printer_;
    job.deviceName = kPrinter;
    job.port = u"LPT1:";
    job.devmode.resize(sizeof(dm));
    std::memcpy(job.devmode.data(), &dm, sizeof(dm));
    job.documentName = u"e2e";
    job.pages = pages;
    job.drawPage = [&](const PageContext& page) {
      SURFOBJ* so = page.surface;
      if (!so || !so->pvBits) return false;
      PlaneRef drum2{static_cast<BYTE*>(so->pvBits), so->sizlBitmap.cx, so->sizlBitmap.cy, so->lDelta};
      PlaneRef drum1 = drum2;
      if (twoPlanes) drum1.bits += static_cast<std::size_t>(drum2.stride) * static_cast<std::size_t>(drum2.height);
      ran.planeWidth = drum2.width;
      ran.planeHeight = drum2.height;
      DotList d1 = draw(page.index, 1, drum1.width, drum1.height);
      DotList d2 = twoPlanes ? draw(page.index, 2, drum2.width, drum2.height) : d1;
      for (const auto& [x, y] : d1) drum1.Ink(x, y);
      for (const auto& [x, y] : d2) drum2.Ink(x, y);
      ran.drawn.emplace_back(std::move(d1), std::move(d2));
      if (beforeSend) beforeSend(page.index);
      return true;
    };
    ran.result = plat::print_host::RunJob(*driver_, job);
    ran.out = plat::spooler::Output(kPrinter);
    ran.job = streamdump::DecodeStream(ran.out);
    return ran;
  }

  testsupport::TestPrinter testPrinter_;
  HANDLE printer_ = nullptr;
  std::unique_ptr<plat::print_host::Driver> driver_;
};

DotList Nothing(int, int, long, long) { return {}; }
DotList Seeded(int page, int drum, long w, long h) { return Pattern(w, h, page * 2 + drum - 1); }

struct PlacementCase {
  const char* name;
  WORD dpiX, dpiY;
  bool landscape;
  bool customPosition;
};

TEST_F(EndToEnd, RebuiltDrumPagesEqualTheDrawnPlanes) {
  const PlacementCase cases[] = {
      {"orientation 0, 600 x 600 dpi", 600, 600, false, false},
      {"orientation 90, 600 x 600 dpi", 600, 600, true, false},
      {"resolution mode 1, 300 x 400 dpi", 300, 400, false, false},
      {"resolution mode 2, 300 x 600 dpi", 300, 600, false, false},
      {"custom position cut in both directions", 300, 300, false, true},
  };
  for (const PlacementCase& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = TwoInkDevmode();
    dm.XResolution = c.dpiX;
    dm.YResolution = c.dpiY;
    dm.Margins[0] = 50;  // left
    dm.Margins[1] = 40;  // top
    dm.Margins[2] = 30;  // right
    dm.Margins[3] = 20;  // bottom
    if (c.landscape) {
      dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
      dm.Settings.Landscape = 1;
    }
    const int mode = c.dpiX == 300 && c.dpiY == 400 ? 1 : c.dpiX == 300 && c.dpiY == 600 ? 2 : 0;
    const long dpiX = mode == 2 ? 600 : c.dpiX, dpiY = mode == 1 ? 300 : c.dpiY;
    Placement p;
    p.mode = mode;
    p.turned = c.landscape;
    p.h0 = Dots(50, mode == 2 ? 300 : dpiX);
    p.v0 = Dots(40, dpiY);
    if (c.customPosition) {
      // Image 100 x 100 mm on an 80 x 90 mm output paper, moved 15 mm right
      // and 3 mm down: front x = (800 + 2 x 150 - 1000) / 2 = 50, front y = 30.
      dm.Public.dmPaperWidth = 1000;
      dm.Public.dmPaperLength = 1000;
      dm.Settings.ImagePosition = 1;
      dm.Settings.OutputPaperWidth = 800;
      dm.Settings.OutputPaperLength = 900;
      dm.Settings.ImagePositionOffsets[0] = 150;
      dm.Settings.ImagePositionOffsets[1] = 30;
      p.h0 = Dots(50, dpiX);
      p.v0 = Dots(30, dpiY);
    }
    auto draw = [&](int page, int drum, long w, long h) {
      DotList dots = Pattern(w, h, drum);
      if (c.customPosition) {
        // Dots on both sides of the cut, which is not on a byte boundary.
        const long cutW = Dots(800 - 50, dpiX), cutH = Dots(900 - 30, dpiY);
        for (long y = 0; y < h; y += 3) dots.emplace_back(cutW - 1, y), dots.emplace_back(cutW, y);
        for (long x = 0; x < w; x += 5) dots.emplace_back(x, cutH - 1), dots.emplace_back(x, cutH);
        std::sort(dots.begin(), dots.end());
        dots.erase(std::unique(dots.begin(), dots.end()), dots.end());
      }
      (void)page;
      return mode == 2 ? Halvable(std::move(dots)) : dots;
    };
    Ran ran = Run(dm, 1, true, draw);
    ASSERT_TRUE(ran.result.ok) << ran.result.failedEntry << " error " << ran.result.error;
    ASSERT_TRUE(ran.job.ok) << ran.job.error << " at " << ran.job.errorOffset;
    EXPECT_TRUE(ran.job.jobEnded);
    ASSERT_EQ(ran.job.pages.size(), 2u);
    EXPECT_EQ(ran.job.pages[0].inkCode, kDrum1Ink);
    EXPECT_EQ(ran.job.pages[1].inkCode, kDrum2Ink);
    if (c.customPosition) {
      EXPECT_EQ(ran.planeWidth, Dots(1000, dpiX)) << "no margins with a custom position";
      EXPECT_EQ(ran.job.paperWidthMm, 80u);
      EXPECT_EQ(ran.job.paperLengthMm, 90u);
    }
    p.lineWidth = c.customPosition ? std::min(ran.planeWidth, Dots(800 - 50, dpiX)) : ran.planeWidth;
    p.lineCount = c.customPosition ? std::min(ran.planeHeight, Dots(900 - 30, dpiY)) : ran.planeHeight;
    ASSERT_EQ(ran.drawn.size(), 1u);
    for (int drum = 1; drum <= 2; ++drum) {
      SCOPED_TRACE("drum " + std::to_string(drum));
      const auto& page = ran.job.pages[static_cast<std::size_t>(drum - 1)];
      EXPECT_TRUE(page.ended);
      const DotList& drawn = drum == 1 ? ran.drawn[0].first : ran.drawn[0].second;
      const DotList expected = Expected(drawn, p, ran.planeHeight);
      const DotList got = InkOf(streamdump::RebuildPlane(ran.job, page));
      EXPECT_EQ(got.size(), expected.size());
      EXPECT_TRUE(got == expected);
      if (got != expected) {
        DotList missing, extra;
        std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
        std::set_difference(got.begin(), got.end(), expected.begin(), expected.end(), std::back_inserter(extra));
        if (!missing.empty()) ADD_FAILURE() << "first missing dot " << missing[0].first << "," << missing[0].second;
        if (!extra.empty()) ADD_FAILURE() << "first extra dot " << extra[0].first << "," << extra[0].second;
      }
    }
  }
}

// Every drum page of the job equals its drawn plane at the default placement
// (no margins, 600 x 600 dpi).
void ExpectPagesEqual(const Ran& ran, const std::vector<std::pair<std::int64_t, const DotList*>>& want,
                      bool turned = false) {
  ASSERT_EQ(ran.job.pages.size(), want.size());
  Placement p;
  p.turned = turned;
  p.lineWidth = ran.planeWidth;
  p.lineCount = ran.planeHeight;
  for (std::size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE("drum page " + std::to_string(i));
    const auto& page = ran.job.pages[i];
    EXPECT_EQ(page.inkCode, want[i].first);
    EXPECT_TRUE(page.ended);
    const DotList expected = want[i].second ? Expected(*want[i].second, p, ran.planeHeight) : DotList{};
    EXPECT_TRUE(InkOf(streamdump::RebuildPlane(ran.job, page)) == expected);
  }
}

TEST_F(EndToEnd, MasterSelectionChoosesTheDrumPages) {
  for (BYTE seihan : {0, 1, 2}) {
    SCOPED_TRACE("master selection " + std::to_string(seihan));
    PrivateDevmode dm = TwoInkDevmode();
    dm.Settings.Seihan = seihan;
    const bool two = seihan == 2;
    Ran ran = Run(dm, 1, two, Seeded);
    ASSERT_TRUE(ran.result.ok) << ran.result.failedEntry;
    ASSERT_TRUE(ran.job.ok) << ran.job.error;
    ASSERT_EQ(ran.drawn.size(), 1u);
    if (seihan == 0) ExpectPagesEqual(ran, {{kDrum1Ink, &ran.drawn[0].first}});
    if (seihan == 1) ExpectPagesEqual(ran, {{kDrum2Ink, &ran.drawn[0].second}});
    if (seihan == 2) ExpectPagesEqual(ran, {{kDrum1Ink, &ran.drawn[0].first}, {kDrum2Ink, &ran.drawn[0].second}});
  }
}

// Duplex and separation kind 3 send even sheets on drum 1 and odd sheets on
// drum 2 from the one plane; an odd sheet count ends with a blank back sheet.
TEST_F(EndToEnd, AlternatingSheetsEndWithABlankBackSheet) {
  struct Case {
    const char* name;
    BYTE duplex;
    BYTE separationKind;
    BYTE thumbnail;
    bool landscape;
  } cases[] = {{"duplex kind 1 with thumbnails", 1, 0, 2, false},
               {"duplex kind 2", 2, 0, 0, false},
               {"duplex kind 1 at orientation 90", 1, 0, 0, true},
               {"separation kind 3", 0, 3, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = TwoInkDevmode();
    dm.Settings.Duplex = c.duplex;
    dm.Settings.SeparationKind = c.separationKind;
    dm.Settings.Thumbnail = c.thumbnail;
    if (c.landscape) {
      dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
      dm.Settings.Landscape = 1;
    }
    Ran ran = Run(dm, 3, false, Seeded);
    ASSERT_TRUE(ran.result.ok) << ran.result.failedEntry;
    ASSERT_TRUE(ran.job.ok) << ran.job.error;
    EXPECT_TRUE(ran.job.jobEnded);
    ASSERT_EQ(ran.drawn.size(), 3u);
    ExpectPagesEqual(ran, {{kDrum1Ink, &ran.drawn[0].first},
                           {kDrum2Ink, &ran.drawn[1].first},
                           {kDrum1Ink, &ran.drawn[2].first},
                           {kDrum2Ink, nullptr}},
                     c.landscape);
    if (c.thumbnail == 0) continue;
    // 1418 x 2127 dots in blocks of 14: 100 x 151 pixels; the back sheet's is white.
    for (const auto& page : ran.job.pages) {
      ASSERT_EQ(page.thumbnails.size(), 1u);
      EXPECT_EQ(page.thumbnails[0].width, 100u);
      EXPECT_EQ(page.thumbnails[0].height, 151u);
    }
    const auto& blank = ran.job.pages.back().thumbnails[0].pixels;
    EXPECT_TRUE(!blank.empty() && std::all_of(blank.begin(), blank.end(), [](std::uint8_t g) { return g == 255; }));
  }
}

TEST_F(EndToEnd, ThumbnailsHaveTheSizesOfTheirPlanes) {
  struct Case {
    const char* name;
    short width, length;  // 0.1 mm
    bool landscape;
    std::uint32_t thumbWidth, thumbHeight;
    // The picture pixel of the plane's top-left block.
    std::uint32_t cornerX, cornerY;
  } cases[] = {
      // 4962 x 7018 dots: blocks of 49, like the 4960 x 7016 plane.
      {"A4 portrait", 2100, 2970, false, 100, 143, 0, 0},
      // 7018 x 4962 dots: 143 blocks across, rounded down to 140.
      {"A4 sideways paper", 2970, 2100, false, 140, 100, 0, 0},
      // Turned a quarter clockwise: the top-left block goes top right.
      {"A4 landscape", 2100, 2970, true, 100, 143, 99, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PrivateDevmode dm = TwoInkDevmode(c.width, c.length);
    dm.Settings.Seihan = 0;
    dm.Settings.Thumbnail = 2;
    if (c.landscape) {
      dm.Public.dmOrientation = DMORIENT_LANDSCAPE;
      dm.Settings.Landscape = 1;
    }
    auto corner = [](int, int, long, long) {
      DotList dots;
      for (long y = 0; y < 49; ++y)
        for (long x = 0; x < 49; ++x) dots.emplace_back(x, y);
      return dots;
    };
    Ran ran = Run(dm, 1, false, corner);
    ASSERT_TRUE(ran.result.ok) << ran.result.failedEntry;
    ASSERT_TRUE(ran.job.ok) << ran.job.error;
    ASSERT_EQ(ran.job.pages.size(), 1u);
    const auto& page = ran.job.pages[0];
    ASSERT_EQ(page.thumbnails.size(), 1u);
    const auto& thumb = page.thumbnails[0];
    EXPECT_EQ(thumb.width, c.thumbWidth);
    EXPECT_EQ(thumb.height, c.thumbHeight);
    ASSERT_EQ(thumb.pixels.size(), std::size_t(thumb.width) * thumb.height);
    for (std::uint32_t y = 0; y < thumb.height; ++y)
      for (std::uint32_t x = 0; x < thumb.width; ++x) {
        const bool inked = x == c.cornerX && y == c.cornerY;
        if (thumb.pixels[std::size_t(y) * thumb.width + x] != (inked ? 0 : 255)) {
          ADD_FAILURE() << "thumbnail pixel " << x << "," << y << " is "
                        << int(thumb.pixels[std::size_t(y) * thumb.width + x]);
          y = thumb.height;
          break;
        }
      }
  }
}

TEST_F(EndToEnd, SheetWithoutInkSendsInksAndFormFeedsOnly) {
  Ran ran = Run(TwoInkDevmode(), 1, true, Nothing);
  ASSERT_TRUE(ran.result.ok) << ran.result.failedEntry;
  ASSERT_TRUE(ran.job.ok) << ran.job.error;
  ASSERT_EQ(ran.job.pages.size(), 2u);
  for (const auto& page : ran.job.pages) {
    EXPECT_TRUE(page.hasLab);
    EXPECT_TRUE(page.ended);
    EXPECT_TRUE(page.lines.empty());
    EXPECT_TRUE(page.thumbnails.empty());
  }
  for (const auto& command : ran.job.commands)
    EXPECT_TRUE(command.letter != 'M' && command.letter != 'V' && command.letter != 'H' && command.letter != 'i')
        << command.text;
  const std::size_t feeds = static_cast<std::size_t>(std::count(ran.out.begin(), ran.out.end(), BYTE{0x0C}));
  EXPECT_GE(feeds, 2u);
  EXPECT_TRUE(ran.job.jobEnded);
}

TEST_F(EndToEnd, JobWithoutPagesWritesNothing) {
  Ran ran = Run(TwoInkDevmode(), 0, true, Seeded);
  EXPECT_TRUE(ran.result.ok) << ran.result.failedEntry;
  EXPECT_TRUE(ran.out.empty()) << ran.out.size() << " bytes";
}

// The spooler cancels the job while its second sheet is drawn: the first
// sheet stays as it was sent, nothing of the second sheet and no job end
// follow, and the host sees the job fail.
TEST_F(EndToEnd, CancelledJobKeepsOnlyTheSheetsSentBeforeIt) {
  Ran ran = Run(TwoInkDevmode(), 3, true, Seeded, [](int page) {
    if (page == 1) plat::spooler::SetJobCancelled(kPrinter, true);
  });
  EXPECT_FALSE(ran.result.ok);
  EXPECT_EQ(ran.result.pagesSent, 1);
  ASSERT_TRUE(ran.job.ok) << ran.job.error << " at " << ran.job.errorOffset;
  EXPECT_FALSE(ran.job.jobEnded);
  ASSERT_GE(ran.drawn.size(), 1u);
  ExpectPagesEqual(ran, {{kDrum1Ink, &ran.drawn[0].first}, {kDrum2Ink, &ran.drawn[0].second}});
}

// printjob's own run: its built-in test page on the sample two-drum model
// decodes whole, each drum page closed by its form feed and carrying ink.
TEST(PrintjobStream, TestPageDecodesIntoDrumPagesWithInk) {
  const testsupport::TempFolder folder("e2e-printjob");
  const fs::path& dir = folder.path();
  const fs::path out = dir / "job.prn";
  const std::string command = tooltest::PrintJobCommand(dir, out, "--model '" MODELS_DIR_STR "/NEVO2600.RDF'") +
                              " > '" + (dir / "log.txt").string() + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream in(out, std::ios::binary);
  const std::vector<BYTE> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  const streamdump::Decoded job = streamdump::DecodeStream(bytes);
  ASSERT_TRUE(job.ok) << job.error << " at " << job.errorOffset;
  EXPECT_TRUE(job.jobEnded);
  ASSERT_FALSE(job.pages.empty());
  for (const auto& page : job.pages) {
    EXPECT_TRUE(page.ended);
    EXPECT_FALSE(page.lines.empty());
  }
}

}  // namespace
