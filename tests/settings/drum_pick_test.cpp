#include "settings/drum_pick.h"

#include <gtest/gtest.h>

#include <array>
#include <initializer_list>

namespace {

std::array<std::uint8_t, kColorIdCount> Marks(std::initializer_list<std::pair<int, std::uint8_t>> available) {
  std::array<std::uint8_t, kColorIdCount> marks{};
  for (auto [code, value] : available) marks[static_cast<std::size_t>(ColorIdIndex(code))] = value;
  return marks;
}

TEST(PickDrumColors, Cases) {
  struct Case {
    const char* name;
    std::array<std::uint8_t, kColorIdCount> marks;
    InkCode one, drum1, drum2;
    int mode;
    InkCode wantOne, wantDrum1, wantDrum2;
  } cases[] = {
      {"both available", Marks({{1004, 1}, {1011, 2}}), 1004, 1004, 1011, 1, 1004, 1004, 1011},
      {"drum 2 replaced by the first", Marks({{1004, 1}, {1011, 1}}), 0, 1011, 1002, 1, 0, 1011, 1004},
      {"drum 2 replaced by the second when the first is drum 1", Marks({{1004, 1}, {1011, 1}}), 0, 1004, 1002, 1, 0,
       1004, 1011},
      {"drum 1 replaced", Marks({{1004, 1}, {1011, 1}}), 0, 1063, 1004, 1, 0, 1011, 1004},
      {"drum 1 replaced by the first", Marks({{1004, 1}, {1011, 1}}), 0, 1063, 1011, 1, 0, 1004, 1011},
      {"neither available", Marks({{1032, 2}, {1050, 1}}), 0, 1001, 1002, 1, 0, 1032, 1050},
      {"one available entry: second defaults to 1001", Marks({{1040, 1}}), 0, 1001, 1002, 1, 0, 1040, 1001},
      {"none available", Marks({}), 0, 1005, 1006, 1, 0, 1001, 1001},
      {"availability 3 does not count", Marks({{1004, 3}, {1011, 1}}), 0, 1004, 1011, 1, 0, 1001, 1011},
      {"one-ink colour replaced with a mode", Marks({{1004, 1}, {1011, 1}}), 1063, 1004, 1011, 1, 1004, 1004, 1011},
      {"one-ink colour kept without a mode", Marks({{1004, 1}, {1011, 1}}), 1063, 1004, 1011, 0, 1063, 1004, 1011},
      {"one-ink colour 0 untouched", Marks({{1004, 1}, {1011, 1}}), 0, 1004, 1011, 2, 0, 1004, 1011},
      {"codes outside the list are unavailable", Marks({{1004, 1}, {1011, 1}}), 0, 1024, 999, 1, 0, 1004, 1011},
  };
  for (const Case& c : cases) {
    InkCode one = c.one, d1 = c.drum1, d2 = c.drum2;
    PickDrumColors(c.marks, one, d1, d2, c.mode);
    EXPECT_EQ(one, c.wantOne) << c.name;
    EXPECT_EQ(d1, c.wantDrum1) << c.name;
    EXPECT_EQ(d2, c.wantDrum2) << c.name;
  }
}

}  // namespace
