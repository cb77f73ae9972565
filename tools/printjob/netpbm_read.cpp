// Reading netpbm files for drawing scripts.
#include "printjob/netpbm_read.h"

#include <cctype>
#include <algorithm>
#include <cstdint>
#include <fstream>

namespace printjob {

namespace {

constexpr long kSideLimit = 65535;

// The header's next number after white space and comments; -1 when there is
// none or it is out of 1..limit.
long HeaderNumber(std::istream& in, long limit) {
  int c = in.get();
  while (c != EOF && (std::isspace(c) || c == '#')) {
    if (c == '#')
      while (c != EOF && c != '\n' && c != '\r') c = in.get();
    c = in.get();
  }
  long v = 0;
  bool any = false;
  while (c != EOF && std::isdigit(c)) {
    v = v * 10 + (c - '0');
    if (v > limit) return -1;
    any = true;
    c = in.get();
  }
  // One white-space character ends the number (and, after the last one, the header).
  if (!any || c == EOF || !std::isspace(c)) return -1;
  return v < 1 ? -1 : v;
}

// PBM rows: 1 = black; the bitmap's index 0 is black, so the bits are
// inverted, and the padding bits of each row stay 0.
bool ReadPbmRows(std::istream& in, NetpbmPicture& out) {
  const std::size_t fileRow = (static_cast<std::size_t>(out.width) + 7) / 8;
  std::vector<char> row(fileRow);
  const int spare = static_cast<int>(fileRow * 8 - static_cast<std::size_t>(out.width));
  const BYTE lastMask = static_cast<BYTE>(0xFF << spare);
  for (LONG y = 0; y < out.height; ++y) {
    if (!in.read(row.data(), static_cast<std::streamsize>(fileRow))) return false;
    BYTE* d = out.bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.stride);
    for (std::size_t i = 0; i < fileRow; ++i) d[i] = static_cast<BYTE>(~static_cast<BYTE>(row[i]));
    d[fileRow - 1] &= lastMask;
  }
  return true;
}

// PGM and PPM rows: 8-bit indices of a grey palette, or 24-bit pixels stored
// blue, green, red.
bool ReadSampleRows(std::istream& in, long width, long height, int samples, long maxval, NetpbmPicture& out) {
  const std::streamoff start = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(start);
  const std::int64_t rowBytes = std::int64_t{width} * samples;
  if (start < 0 || size - start < static_cast<std::streamoff>(rowBytes * height)) return false;
  out.width = static_cast<LONG>(width);
  out.height = static_cast<LONG>(height);
  out.format = samples == 1 ? BMF_8BPP : BMF_24BPP;
  out.stride = static_cast<LONG>((rowBytes + 3) / 4 * 4);
  out.bits.assign(static_cast<std::size_t>(out.stride) * static_cast<std::size_t>(height), 0);
  if (samples == 1)
    for (ULONG g = 0; g < 256; ++g) out.palette.push_back(g | (g << 8) | (g << 16));
  std::vector<char> row(static_cast<std::size_t>(rowBytes));
  for (long y = 0; y < height; ++y) {
    if (!in.read(row.data(), static_cast<std::streamsize>(rowBytes))) return false;
    BYTE* d = out.bits.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(out.stride);
    for (std::int64_t i = 0; i < rowBytes; ++i) {
      const long v = static_cast<unsigned char>(row[static_cast<std::size_t>(i)]);
      d[i] = static_cast<BYTE>(std::min(v, maxval) * 255 / maxval);
    }
    if (samples == 3)
      for (std::int64_t x = 0; x < width; ++x) std::swap(d[3 * x], d[3 * x + 2]);
  }
  return true;
}

}  // namespace

bool ReadNetpbm(const std::string& path, NetpbmPicture& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open picture '" + path + "'";
    return false;
  }
  char magic[2] = {};
  in.read(magic, 2);
  if (!in || magic[0] != 'P' || (magic[1] != '4' && magic[1] != '5' && magic[1] != '6')) {
    error = "picture '" + path + "' is not a binary PBM, PGM or PPM (P4, P5, P6) file";
    return false;
  }
  NetpbmPicture picture;
  const long width = HeaderNumber(in, kSideLimit);
  const long height = width > 0 ? HeaderNumber(in, kSideLimit) : -1;
  const long maxval = height > 0 && magic[1] != '4' ? HeaderNumber(in, 255) : 255;
  if (width < 0 || height < 0 || maxval < 0) {
    error = "picture '" + path + "' has a bad header (sizes are 1..65535, the maximum 1..255)";
    return false;
  }
  if (magic[1] != '4') {
    const int samples = magic[1] == '5' ? 1 : 3;
    if (!ReadSampleRows(in, width, height, samples, maxval, picture)) {
      error = "picture '" + path + "' is shorter than its header says";
      return false;
    }
    out = std::move(picture);
    return true;
  }
  // The data must be there before the rows are allocated.
  const std::streamoff start = in.tellg();
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(start);
  if (start < 0 || size - start < static_cast<std::streamoff>((width + 7) / 8 * height)) {
    error = "picture '" + path + "' is shorter than its header says";
    return false;
  }
  picture.width = static_cast<LONG>(width);
  picture.height = static_cast<LONG>(height);
  picture.format = BMF_1BPP;
  picture.stride = static_cast<LONG>((width + 31) / 32 * 4);
  picture.bits.assign(static_cast<std::size_t>(picture.stride) * static_cast<std::size_t>(height), 0);
  picture.palette = {0x000000, 0xFFFFFF};
  if (!ReadPbmRows(in, picture)) {
    error = "picture '" + path + "' is shorter than its header says";
    return false;
  }
  out = std::move(picture);
  return true;
}

}  // namespace printjob
