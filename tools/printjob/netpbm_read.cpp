// Reading netpbm files for drawing scripts.
#include "printjob/netpbm_read.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <fstream>
#include <utility>

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

// The file's bytes from `at` on, into `to`; false on a short read.
bool ReadAt(int fd, std::int64_t at, BYTE* to, std::size_t n) {
  while (n > 0) {
    const ssize_t got = ::pread(fd, to, n, static_cast<off_t>(at));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    to += got;
    at += got;
    n -= static_cast<std::size_t>(got);
  }
  return true;
}

struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
  int Release() { return std::exchange(fd, -1); }
};

// One file row into one bitmap row. PBM: 1 = black, the bitmap's index 0 is
// black, so the bits are inverted and the padding bits stay 0. PGM and PPM:
// samples scaled to 0..255, PPM's stored blue, green, red.
void ConvertRow(char kind, const BYTE* s, std::size_t fileRow, long width, const BYTE (&scale)[256], BYTE* d) {
  if (kind == '4') {
    for (std::size_t i = 0; i < fileRow; ++i) d[i] = static_cast<BYTE>(~s[i]);
    const int spare = static_cast<int>(fileRow * 8 - static_cast<std::size_t>(width));
    d[fileRow - 1] &= static_cast<BYTE>(0xFF << spare);
    return;
  }
  if (kind == '5') {
    for (std::size_t i = 0; i < fileRow; ++i) d[i] = scale[s[i]];
    return;
  }
  for (long x = 0; x < width; ++x) {
    d[3 * x] = scale[s[3 * x + 2]];
    d[3 * x + 1] = scale[s[3 * x + 1]];
    d[3 * x + 2] = scale[s[3 * x]];
  }
}

// The rows converted once into a memory file, read in pieces of about a
// megabyte, padding bytes zero.
int ConvertedRows(int fd, std::int64_t at, char kind, long maxval, const NetpbmPicture& p, std::size_t fileRow) {
  const std::size_t stride = static_cast<std::size_t>(p.stride);
  const std::size_t total = stride * static_cast<std::size_t>(p.height);
  Fd mem{::memfd_create("picture", MFD_CLOEXEC)};
  if (mem.fd < 0 || ::ftruncate(mem.fd, static_cast<off_t>(total)) != 0) return -1;
  void* map = ::mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_SHARED, mem.fd, 0);
  if (map == MAP_FAILED) return -1;
  BYTE* rows = static_cast<BYTE*>(map);
  const std::size_t piece = std::max<std::size_t>(1, (std::size_t{1} << 20) / fileRow);
  std::vector<BYTE> buffer(piece * fileRow);
  BYTE scale[256];
  for (long v = 0; v < 256; ++v) scale[v] = static_cast<BYTE>(std::min(v, maxval) * 255 / maxval);
  bool ok = true;
  for (std::size_t y = 0; ok && y < static_cast<std::size_t>(p.height); y += piece) {
    const std::size_t n = std::min(piece, static_cast<std::size_t>(p.height) - y);
    ok = ReadAt(fd, at + static_cast<std::int64_t>(y * fileRow), buffer.data(), n * fileRow);
    for (std::size_t i = 0; ok && i < n; ++i)
      ConvertRow(kind, buffer.data() + i * fileRow, fileRow, p.width, scale, rows + (y + i) * stride);
  }
  ::munmap(map, total);
  return ok ? mem.Release() : -1;
}

}  // namespace

PictureRowsFile::~PictureRowsFile() {
  if (fd_ >= 0) ::close(fd_);
}

PictureRows::PictureRows(const NetpbmPicture& picture) {
  if (!picture.rows) return;
  const auto page = static_cast<std::int64_t>(::sysconf(_SC_PAGESIZE));
  const std::int64_t start = picture.rows->offset() / page * page;
  const std::int64_t lead = picture.rows->offset() - start;
  const std::int64_t data = std::int64_t{picture.stride} * picture.height;
  const std::int64_t mapped = (lead + data + page - 1) / page * page;
  length_ = static_cast<std::size_t>(mapped + page);
  // The zero page after the rows takes a kernel's read past the last one.
  map_ = ::mmap(nullptr, length_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (map_ == MAP_FAILED) {
    map_ = nullptr;
    return;
  }
  if (::mmap(map_, static_cast<std::size_t>(mapped), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED,
             picture.rows->fd(), static_cast<off_t>(start)) == MAP_FAILED)
    return;
  ::madvise(map_, static_cast<std::size_t>(mapped), MADV_SEQUENTIAL);
  bits_ = static_cast<BYTE*>(map_) + lead;
}

PictureRows::~PictureRows() {
  if (map_) ::munmap(map_, length_);
}

bool ReadNetpbm(const std::string& path, NetpbmPicture& out, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  Fd fd{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
  if (!in || fd.fd < 0) {
    error = "cannot open picture '" + path + "'";
    return false;
  }
  char magic[2] = {};
  in.read(magic, 2);
  if (!in || magic[0] != 'P' || (magic[1] != '4' && magic[1] != '5' && magic[1] != '6')) {
    error = "picture '" + path + "' is not a binary PBM, PGM or PPM (P4, P5, P6) file";
    return false;
  }
  const char kind = magic[1];
  const long width = HeaderNumber(in, kSideLimit);
  const long height = width > 0 ? HeaderNumber(in, kSideLimit) : -1;
  const long maxval = height > 0 && kind != '4' ? HeaderNumber(in, 255) : 255;
  if (width < 0 || height < 0 || maxval < 0) {
    error = "picture '" + path + "' has a bad header (sizes are 1..65535, the maximum 1..255)";
    return false;
  }
  const std::streamoff at = in.tellg();
  struct stat st{};
  const int samples = kind == '4' ? 0 : kind == '5' ? 1 : 3;
  const std::size_t fileRow =
      kind == '4' ? static_cast<std::size_t>(width + 7) / 8 : static_cast<std::size_t>(width) * samples;
  // The data must be there before anything is made of it.
  if (at < 0 || ::fstat(fd.fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size - at < static_cast<std::int64_t>(fileRow) * height) {
    error = "picture '" + path + "' is shorter than its header says";
    return false;
  }
  NetpbmPicture picture;
  picture.width = static_cast<LONG>(width);
  picture.height = static_cast<LONG>(height);
  picture.format = kind == '4' ? BMF_1BPP : kind == '5' ? BMF_8BPP : BMF_24BPP;
  if (kind == '4') picture.palette = {0x000000, 0xFFFFFF};
  if (kind == '5')
    for (ULONG g = 0; g < 256; ++g) picture.palette.push_back(g | (g << 8) | (g << 16));
  if (kind == '5' && maxval == 255) {
    // The samples are the rows: the file is mapped as it is.
    picture.stride = static_cast<LONG>(width);
    picture.rows = std::make_shared<PictureRowsFile>(fd.Release(), at);
  } else {
    picture.stride = static_cast<LONG>((fileRow + 3) / 4 * 4);
    const int rows = ConvertedRows(fd.fd, at, kind, maxval, picture, fileRow);
    if (rows < 0) {
      error = "picture '" + path + "' could not be read whole";
      return false;
    }
    picture.rows = std::make_shared<PictureRowsFile>(rows, 0);
  }
  out = std::move(picture);
  return true;
}

}  // namespace printjob
