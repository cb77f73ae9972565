// Keeping a document's drum colours among the inks the printer has.
#pragma once

#include <cstdint>
#include <span>

#include "settings/doc_settings.h"

// True when the availability byte of ColorIdList entry index is 1 or 2.
bool IsInkAvailable(std::span<const std::uint8_t, kColorIdCount> marks, std::size_t index);

// Changes the three colours in place so that each is an available ink
// (availability: one byte per ColorIdList entry). The one-ink colour is checked
// only when it is not 0 and mode (drum colour pattern or colour mode) is not 0.
void PickDrumColors(std::span<const std::uint8_t, kColorIdCount> marks, InkCode& oneInkColor, InkCode& drum1Color,
                    InkCode& drum2Color, int mode);
