// The PostScript file that has Ghostscript draw a 24-bit picture 1:1 at
// 600 dpi, for the benchmarks that race it.
#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "plat/base.h"

namespace benchsupport {

// Writes the picture (rows of blue, green, red) as raw RGB into dir and a
// PostScript page drawing it; the page's path.
inline std::string RgbImagePostScript(const std::string& dir, const std::vector<BYTE>& bgr, LONG width, LONG height) {
  const std::string raw = dir + "/photo.rgb";
  {
    std::ofstream out(raw, std::ios::binary);
    std::vector<BYTE> rgb(bgr.size());
    for (size_t i = 0; i + 2 < bgr.size(); i += 3) {
      rgb[i] = bgr[i + 2];
      rgb[i + 1] = bgr[i + 1];
      rgb[i + 2] = bgr[i];
    }
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
  }
  const std::string ps = dir + "/photo.ps";
  std::ofstream out(ps);
  out << "/DeviceRGB setcolorspace " << width << " 72 mul 600 div " << height << " 72 mul 600 div scale\n"
      << "<< /ImageType 1 /Width " << width << " /Height " << height << " /BitsPerComponent 8 /Decode [0 1 0 1 0 1]"
      << " /ImageMatrix [" << width << " 0 0 -" << height << " 0 " << height << "] /DataSource (" << raw
      << ") (r) file >> image showpage\n";
  return ps;
}

}  // namespace benchsupport
