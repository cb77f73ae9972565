// Bitmaps (24-bit BMP files as DIB sections), icons and cursors (PNG files)
// of resource modules. Icons and cursors keep their size, hot spot and pixels
// (drawn when a dialog is drawn to a picture).
#include <fcntl.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <memory>
#include <mutex>
#include <vector>

#include "gdi_internal.h"
#include "plat/dialog.h"
#include "resource_data.h"

namespace {

using plat::internal::ImageKind;

struct Image {
  ImageKind kind = ImageKind::Bitmap;
  LONG width = 0;
  LONG height = 0;
  POINT hotSpot{0, 0};
  bool topDown = false;    // bitmaps: row order of bits
  std::vector<BYTE> bits;  // bitmaps: rows of blue, green, red, each padded to 4 bytes
  std::vector<BYTE> rgba;  // icons and cursors: rows of red, green, blue, alpha, top down
};

constexpr LONG kMaxBitmapSide = 16384;
LONG StrideOf(LONG width) { return (width * 3 + 3) & ~3; }

struct Images {
  std::mutex lock;
  std::map<std::uintptr_t, std::unique_ptr<Image>> live;
  std::uintptr_t next = 0x70000000;
};

Images& Table() {
  static Images* t = new Images;  // lives as long as the process
  return *t;
}

std::uint32_t Le32(const BYTE* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24); }
std::uint16_t Le16(const BYTE* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Be32(const BYTE* p) { return (static_cast<std::uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// Image files are small art; anything larger is not one of ours.
constexpr off_t kMaxImageFile = 32 << 20;

// Reads an image file that lies inside its module's folder (links resolved),
// is a regular file and at most kMaxImageFile bytes. On failure, error holds
// the reason for the last error.
bool ReadImageFile(const plat::internal::ImageFile& file, std::vector<BYTE>& out, DWORD& error) {
  error = ERROR_FILE_NOT_FOUND;
  if (file.hostPath.find('\0') != std::string::npos || file.moduleFolder.find('\0') != std::string::npos) return false;
  char folder[PATH_MAX];
  char target[PATH_MAX];
  if (!realpath(file.moduleFolder.empty() ? "." : file.moduleFolder.c_str(), folder) ||
      !realpath(file.hostPath.c_str(), target)) {
    return false;
  }
  const std::string_view inside(folder);
  const std::string_view path(target);
  if (path.size() <= inside.size() + 1 || path.substr(0, inside.size()) != inside ||
      (inside != "/" && path[inside.size()] != '/')) {
    error = ERROR_ACCESS_DENIED;
    return false;
  }
  const int fd = open(target, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info {};
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kMaxImageFile;
  error = ERROR_BAD_FORMAT;
  if (ok) {
    out.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (ok && got < out.size()) {
      const ssize_t n = read(fd, out.data() + got, out.size() - got);
      if (n < 0 && errno == EINTR) continue;
      ok = n > 0;
      if (ok) got += static_cast<std::size_t>(n);
    }
  }
  close(fd);
  return ok;
}

// A BITMAPFILEHEADER (14 bytes) and BITMAPINFOHEADER (40 bytes), 24 bits, no compression.
bool DecodeBmp(const std::vector<BYTE>& file, Image& image) {
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return false;
  const std::uint32_t offset = Le32(&file[10]);
  const std::uint32_t header = Le32(&file[14]);
  const auto width = static_cast<std::int32_t>(Le32(&file[18]));
  const auto height = static_cast<std::int32_t>(Le32(&file[22]));
  if (header < 40 || Le16(&file[26]) != 1 || Le16(&file[28]) != 24 || Le32(&file[30]) != 0) return false;
  if (width <= 0 || width > 16384 || height == 0 || height < -16384 || height > 16384) return false;
  const std::size_t rows = static_cast<std::size_t>(height < 0 ? -height : height);
  const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
  if (offset > file.size() || file.size() - offset < stride * rows) return false;
  image.width = width;
  image.height = static_cast<LONG>(rows);
  image.bits.resize(stride * rows);
  for (std::size_t r = 0; r < rows; ++r) {
    // A top-down file (negative height) is stored bottom-up like the others.
    const std::size_t from = height < 0 ? rows - 1 - r : r;
    std::memcpy(&image.bits[r * stride], &file[offset + from * stride], stride);
  }
  return true;
}

// Size from a PNG's IHDR.
bool DecodePngSize(const std::vector<BYTE>& file, Image& image) {
  static const BYTE kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (file.size() < 24 || std::memcmp(file.data(), kSignature, 8) != 0 || std::memcmp(&file[12], "IHDR", 4) != 0) {
    return false;
  }
  const std::uint32_t w = Be32(&file[16]);
  const std::uint32_t h = Be32(&file[20]);
  if (w == 0 || h == 0 || w > 1024 || h > 1024) return false;
  image.width = static_cast<LONG>(w);
  image.height = static_cast<LONG>(h);
  // The pixels, when the file decodes; an icon that does not is drawn as nothing.
  png_image decoded{};
  decoded.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_memory(&decoded, file.data(), file.size()) != 0) {
    decoded.format = PNG_FORMAT_RGBA;
    if (decoded.width == w && decoded.height == h) {
      image.rgba.resize(PNG_IMAGE_SIZE(decoded));
      if (png_image_finish_read(&decoded, nullptr, image.rgba.data(), 0, nullptr) == 0) image.rgba.clear();
    }
    png_image_free(&decoded);
  }
  return true;
}

HANDLE Register(std::unique_ptr<Image> image) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  const std::uintptr_t h = t.next;
  t.next += 0x10;
  t.live.emplace(h, std::move(image));
  return reinterpret_cast<HANDLE>(h);
}

bool Release(HANDLE handle, ImageKind kind) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.live.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == t.live.end() || it->second->kind != kind) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  t.live.erase(it);
  return true;
}

HANDLE LoadUnguarded(HINSTANCE instance, LPCWSTR name, ImageKind kind) {
  if (!IS_INTRESOURCE(name)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  plat::internal::ImageFile file;
  if (!plat::internal::FindImageFile(instance, kind, static_cast<UINT>(reinterpret_cast<ULONG_PTR>(name)), file)) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  std::vector<BYTE> bytes = std::move(file.bytes);
  DWORD error = 0;
  if (bytes.empty() && !ReadImageFile(file, bytes, error)) {
    SetLastError(error);
    return nullptr;
  }
  auto image = std::make_unique<Image>();
  image->kind = kind;
  image->hotSpot = file.hotSpot;
  if (!(kind == ImageKind::Bitmap ? DecodeBmp(bytes, *image) : DecodePngSize(bytes, *image))) {
    SetLastError(ERROR_BAD_FORMAT);
    return nullptr;
  }
  return Register(std::move(image));
}

// No exception leaves the image loaders: a failure is a NULL handle.
HANDLE Load(HINSTANCE instance, LPCWSTR name, ImageKind kind) {
  try {
    return LoadUnguarded(instance, name, kind);
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
}

}  // namespace

extern "C" {

HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int, int, UINT) {
  switch (type) {
    case IMAGE_BITMAP: return Load(instance, name, ImageKind::Bitmap);
    case IMAGE_ICON: return Load(instance, name, ImageKind::Icon);
    case IMAGE_CURSOR: return Load(instance, name, ImageKind::Cursor);
    default: SetLastError(ERROR_INVALID_PARAMETER); return nullptr;
  }
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  return static_cast<HICON>(Load(instance, name, ImageKind::Icon));
}

HCURSOR LoadCursorW(HINSTANCE instance, LPCWSTR name) {
  return static_cast<HCURSOR>(Load(instance, name, ImageKind::Cursor));
}

BOOL DestroyIcon(HICON icon) { return Release(icon, ImageKind::Icon) ? TRUE : FALSE; }
BOOL DestroyCursor(HCURSOR cursor) { return Release(cursor, ImageKind::Cursor) ? TRUE : FALSE; }
BOOL DeleteObject(HGDIOBJ object) {
  if (plat::internal::DeleteBrush(object)) return TRUE;
  return Release(object, ImageKind::Bitmap) ? TRUE : FALSE;
}

// BITMAP, or DIBSECTION when the buffer holds one.
int GetObjectW(HGDIOBJ object, int size, LPVOID out) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.live.find(reinterpret_cast<std::uintptr_t>(object));
  if (it == t.live.end() || it->second->kind != ImageKind::Bitmap || out == nullptr ||
      size < static_cast<int>(sizeof(BITMAP))) {
    return 0;
  }
  Image& image = *it->second;
  BITMAP bm{0, image.width, image.height, StrideOf(image.width), 1, 24, image.bits.data()};
  if (size < static_cast<int>(sizeof(DIBSECTION))) {
    std::memcpy(out, &bm, sizeof bm);
    return static_cast<int>(sizeof bm);
  }
  DIBSECTION ds{};
  ds.dsBm = bm;
  ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
  ds.dsBmih.biWidth = image.width;
  ds.dsBmih.biHeight = image.topDown ? -image.height : image.height;
  ds.dsBmih.biPlanes = 1;
  ds.dsBmih.biBitCount = 24;
  ds.dsBmih.biCompression = BI_RGB;
  ds.dsBmih.biSizeImage = static_cast<DWORD>(image.bits.size());
  std::memcpy(out, &ds, sizeof ds);
  return static_cast<int>(sizeof ds);
}

HGDIOBJ CreateCompatibleBitmap(HDC, int width, int height) {
  if (width < 1 || height < 1 || width > kMaxBitmapSide || height > kMaxBitmapSide) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto image = std::make_unique<Image>();
  image->width = width;
  image->height = height;
  image->bits.assign(static_cast<std::size_t>(StrideOf(width)) * static_cast<std::size_t>(height), 0);
  return Register(std::move(image));
}

HGDIOBJ CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info || usage != DIB_RGB_COLORS || info->bmiHeader.biBitCount != 24 || info->bmiHeader.biCompression != BI_RGB ||
      info->bmiHeader.biWidth < 1 || info->bmiHeader.biWidth > kMaxBitmapSide || info->bmiHeader.biHeight == 0 ||
      info->bmiHeader.biHeight < -kMaxBitmapSide || info->bmiHeader.biHeight > kMaxBitmapSide) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto image = std::make_unique<Image>();
  image->width = info->bmiHeader.biWidth;
  image->height = info->bmiHeader.biHeight < 0 ? -info->bmiHeader.biHeight : info->bmiHeader.biHeight;
  image->topDown = info->bmiHeader.biHeight < 0;
  image->bits.assign(static_cast<std::size_t>(StrideOf(image->width)) * static_cast<std::size_t>(image->height), 0);
  BYTE* data = image->bits.data();
  HANDLE handle = Register(std::move(image));
  if (bits) *bits = data;
  return handle;
}

}  // extern "C"

namespace plat {

std::size_t LiveImageCount() {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  return t.live.size();
}

namespace internal {

bool BitmapPixels(HGDIOBJ bitmap, PixelView& out) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.live.find(reinterpret_cast<std::uintptr_t>(bitmap));
  if (it == t.live.end() || it->second->kind != ImageKind::Bitmap) return false;
  Image& image = *it->second;
  out = PixelView{image.width, image.height, StrideOf(image.width), image.topDown, image.bits.data()};
  return true;
}

bool IconPixels(HANDLE icon, LONG& width, LONG& height, std::vector<BYTE>& rgba) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.live.find(reinterpret_cast<std::uintptr_t>(icon));
  if (it == t.live.end() || it->second->kind == ImageKind::Bitmap || it->second->rgba.empty()) return false;
  width = it->second->width;
  height = it->second->height;
  rgba = it->second->rgba;
  return true;
}

std::size_t LiveBitmapCount() {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  std::size_t n = 0;
  for (const auto& [handle, image] : t.live) n += image->kind == ImageKind::Bitmap ? 1 : 0;
  return n;
}

}  // namespace internal

bool ImageInfo(HANDLE image, SIZE* size, POINT* hotSpot) {
  auto& t = Table();
  std::lock_guard<std::mutex> guard(t.lock);
  auto it = t.live.find(reinterpret_cast<std::uintptr_t>(image));
  if (it == t.live.end()) return false;
  if (size) *size = SIZE{it->second->width, it->second->height};
  if (hotSpot) *hotSpot = it->second->hotSpot;
  return true;
}

}  // namespace plat
