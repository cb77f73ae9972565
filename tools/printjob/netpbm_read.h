// Pictures for printjob's drawing scripts, read from netpbm files into the
// rows of an engine bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "plat/engine.h"

namespace printjob {

// Where a picture's rows lie: its own file, when the samples are the
// bitmap's bytes (PGM of maximum 255), or a memory file holding the rows
// converted once. Closed with the last picture that shares it.
class PictureRowsFile {
 public:
  PictureRowsFile(int fd, std::int64_t offset) : fd_(fd), offset_(offset) {}
  ~PictureRowsFile();
  PictureRowsFile(const PictureRowsFile&) = delete;
  PictureRowsFile& operator=(const PictureRowsFile&) = delete;
  int fd() const { return fd_; }
  std::int64_t offset() const { return offset_; }  // of the first row

 private:
  int fd_;
  std::int64_t offset_;
};

struct NetpbmPicture {
  LONG width = 0;
  LONG height = 0;
  ULONG format = 0;            // BMF_1BPP, BMF_8BPP (PGM) or BMF_24BPP (PPM)
  LONG stride = 0;             // bytes a row
  std::shared_ptr<const PictureRowsFile> rows;  // top row first
  std::vector<ULONG> palette;  // 0x00BBGGRR; PBM: {black, white}, black = index 0;
                               // PGM: 256 greys, index = grey; PPM: none
};

// A picture's rows mapped for one use, copy on write: a write through
// bits() stays in this mapping and never reaches the file or other uses.
// A page of zeros follows the last row. bits() is null when mapping failed.
class PictureRows {
 public:
  explicit PictureRows(const NetpbmPicture& picture);
  ~PictureRows();
  PictureRows(const PictureRows&) = delete;
  PictureRows& operator=(const PictureRows&) = delete;
  BYTE* bits() const { return bits_; }

 private:
  void* map_ = nullptr;
  std::size_t length_ = 0;
  BYTE* bits_ = nullptr;
};

// Reads a binary PBM (P4), PGM (P5) or PPM (P6) file; grey and colour
// samples of a maximum below 255 are scaled to 0..255 (a maximum above 255
// is refused). PBM bits are inverted (1 = white), PPM samples stored blue,
// green, red, rows of those two and of scaled PGMs padded to 4 bytes with
// zeros. False with `error` naming the file and the fault for another kind,
// a bad header, a size above 65535 or short data.
bool ReadNetpbm(const std::string& path, NetpbmPicture& out, std::string& error);

}  // namespace printjob
