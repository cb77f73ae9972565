// Pictures for printjob's drawing scripts, read from netpbm files into the
// rows of an engine bitmap.
#pragma once

#include <string>
#include <vector>

#include "plat/engine.h"

namespace printjob {

struct NetpbmPicture {
  LONG width = 0;
  LONG height = 0;
  ULONG format = 0;            // BMF_1BPP, BMF_8BPP (PGM) or BMF_24BPP (PPM)
  LONG stride = 0;             // bytes a row, a multiple of 4
  std::vector<BYTE> bits;      // rows top first
  std::vector<ULONG> palette;  // 0x00BBGGRR; PBM: {black, white}, black = index 0;
                               // PGM: 256 greys, index = grey; PPM: none
};

// Reads a binary PBM (P4), PGM (P5) or PPM (P6) file; grey and colour
// samples of a maximum below 255 are scaled to 0..255 (a maximum above 255
// is refused). False with `error` naming the file and the fault for another
// kind, a bad header, a size above 65535 or short data.
bool ReadNetpbm(const std::string& path, NetpbmPicture& out, std::string& error);

}  // namespace printjob
