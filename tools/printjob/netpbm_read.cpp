// Reading netpbm files for drawing scripts.
#include "printjob/netpbm_read.h"

#include <cctype>
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

}  // namespace

bool ReadNetpbm(const std::string& path, NetpbmPicture& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open picture '" + path + "'";
    return false;
  }
  char magic[2] = {};
  in.read(magic, 2);
  if (!in || magic[0] != 'P' || magic[1] != '4') {
    error = "picture '" + path + "' is not a binary PBM (P4) file";
    return false;
  }
  NetpbmPicture picture;
  const long width = HeaderNumber(in, kSideLimit);
  const long height = width > 0 ? HeaderNumber(in, kSideLimit) : -1;
  if (width < 0 || height < 0) {
    error = "picture '" + path + "' has a bad header (sizes are 1..65535)";
    return false;
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
