#include "settings/drum_pick.h"

#include <optional>

bool IsInkAvailable(std::span<const std::uint8_t, kColorIdCount> marks, std::size_t index) {
  return index < kColorIdCount && (marks[index] == 1 || marks[index] == 2);
}

namespace {
bool Available(std::span<const std::uint8_t, kColorIdCount> marks, InkCode colour) {
  int index = ColorIdIndex(colour);
  return index >= 0 && IsInkAvailable(marks, static_cast<std::size_t>(index));
}
}  // namespace

void PickDrumColors(std::span<const std::uint8_t, kColorIdCount> marks, InkCode& oneInkColor, InkCode& drum1Color,
                    InkCode& drum2Color, int mode) {
  // The first two available inks; with fewer, the list's first entry stands in.
  InkCode first = ColorIdList[0];
  InkCode second = ColorIdList[0];
  int found = 0;
  for (std::size_t i = 0; i < kColorIdCount && found < 2; ++i) {
    if (!IsInkAvailable(marks, i)) continue;
    (found == 0 ? first : second) = ColorIdList[i];
    ++found;
  }

  if (mode != 0 && oneInkColor != 0 && !Available(marks, oneInkColor)) oneInkColor = first;

  const bool drum1 = Available(marks, drum1Color);
  const bool drum2 = Available(marks, drum2Color);
  if (drum1 && drum2) return;
  if (drum1) {
    drum2Color = first == drum1Color ? second : first;
  } else if (drum2) {
    drum1Color = first == drum2Color ? second : first;
  } else {
    drum1Color = first;
    drum2Color = second;
  }
}
