// The DEVMODE the tests start from, written field by field.
#pragma once

#include <cstring>

#include "settings/private_devmode.h"

namespace testsupport {

// A classic DEVMODE of a one-ink, 300 x 300 dpi A4 portrait job.
inline PrivateDevmode BaseDevmode() {
  PrivateDevmode dm;
  std::memset(&dm, 0, sizeof(dm));
  dm.Public.dmSpecVersion = 0x401;
  dm.Public.dmDriverVersion = 0x3092;
  dm.Public.dmSize = 220;
  dm.Public.dmDriverExtra = 3236;
  dm.Public.dmFields = 0x16F0F;
  dm.Public.dmOrientation = DMORIENT_PORTRAIT;
  dm.Public.dmPaperSize = DMPAPER_A4;
  dm.Public.dmPaperWidth = 2100;
  dm.Public.dmPaperLength = 2970;
  dm.Public.dmCopies = 1;
  dm.Margins[0] = 50;  // left
  dm.Margins[1] = 40;  // top
  dm.Margins[2] = 30;  // right
  dm.Margins[3] = 20;  // bottom
  dm.XResolution = 300;
  dm.YResolution = 300;
  dm.DrumCount = 2;
  dm.LanguageNumber = 1;
  DocSettings& s = dm.Settings;
  s.ColorMode = 1;
  s.OneInkIndex = 0;
  s.Seihan = 0;
  s.Copies = 1;
  s.OneInkColor = 1001;
  s.Drum1Color = 1001;
  s.Drum2Color = 1003;
  s.InkLab = kInkLabDefaults;
  s.SeparationModeA = 0;
  s.SeparationModeB = 0;
  return dm;
}

}  // namespace testsupport
