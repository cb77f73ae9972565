// The graphics engine model: surfaces, devices and palettes as handles of a
// process-wide table, and the engine's own solid fills.
#include "plat/engine.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "plat/machine.h"
#include "plat/spooler.h"
#include "engine_raster.h"

namespace {

// Every EngCheckAbort call, whatever surface it names.
std::atomic<std::uint64_t> g_checkAbortCalls{0};

// The spooler model's cancel flag of the printer's current job.
bool JobCancelled(HANDLE printer) { return printer != nullptr && plat::spooler::IsJobCancelled(printer); }

// The machine clock's local time.
SYSTEMTIME LocalTime() {
  SYSTEMTIME st{};
  GetLocalTime(&st);
  return st;
}

struct Surface {
  SURFOBJ so{};
  BYTE* ownBits = nullptr;  // bits the engine allocated, freed with the surface
  FLONG hooks = 0;
  int locks = 0;
};

struct Device {
  HANDLE printer = nullptr;
  DHPDEV dhpdev = nullptr;
  ULONG paletteMode = 0;  // of the device's default palette; 0 without one
};

struct Palette {
  ULONG mode = 0;
  std::vector<ULONG> colors;
};

// Handles are the addresses of the objects; the table says which are live so
// that a stale or foreign handle fails instead of being followed.
struct Tables {
  std::mutex lock;
  std::unordered_map<void*, std::unique_ptr<Surface>> surfaces;
  std::unordered_map<void*, std::unique_ptr<Device>> devices;
  std::unordered_map<void*, std::unique_ptr<Palette>> palettes;
  ULONG nextUniq = 1;
};

Tables& T() {
  static Tables t;
  return t;
}

Surface* FindSurface(HSURF h) {
  auto it = T().surfaces.find(h);
  return it == T().surfaces.end() ? nullptr : it->second.get();
}
Device* FindDevice(HDEV h) {
  auto it = T().devices.find(h);
  return it == T().devices.end() ? nullptr : it->second.get();
}
// The surface that owns a SURFOBJ handed out by EngLockSurface.
Surface* SurfaceOf(const SURFOBJ* pso) {
  if (!pso) return nullptr;
  Surface* s = FindSurface(pso->hsurf);
  return (s && &s->so == pso) ? s : nullptr;
}

// 24- and 32-bit surfaces of a device whose palette is PAL_RGB hold red,
// green, blue; all others blue, green, red. The table lock is held.
bool RedFirstLocked(const SURFOBJ* pso) {
  if (!pso || (pso->iBitmapFormat != BMF_24BPP && pso->iBitmapFormat != BMF_32BPP) || !SurfaceOf(pso)) return false;
  const Device* d = FindDevice(pso->hdev);
  return d && d->paletteMode == PAL_RGB;
}

int BitsPerPixel(ULONG format) {
  switch (format) {
    case BMF_1BPP: return 1;
    case BMF_4BPP: return 4;
    case BMF_8BPP: return 8;
    case BMF_16BPP: return 16;
    case BMF_24BPP: return 24;
    case BMF_32BPP: return 32;
    default: return 0;
  }
}

// Fills bits [x0, x1) of one 1-bit row.
void FillBits(BYTE* row, LONG x0, LONG x1, bool set) {
  LONG x = x0;
  while (x < x1 && (x & 7)) {
    BYTE m = static_cast<BYTE>(0x80u >> (x & 7));
    row[x >> 3] = set ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
    ++x;
  }
  LONG whole = (x1 - x) / 8;
  if (whole > 0) {
    std::memset(row + (x >> 3), set ? 0xFF : 0x00, static_cast<size_t>(whole));
    x += whole * 8;
  }
  while (x < x1) {
    BYTE m = static_cast<BYTE>(0x80u >> (x & 7));
    row[x >> 3] = set ? (row[x >> 3] | m) : (row[x >> 3] & ~m);
    ++x;
  }
}

// Only the engine's own surfaces are drawn on: their size, stride and bits
// are known to belong together.
BOOL Fill(SURFOBJ* pso, RECTL r, ULONG color) {
  if (!SurfaceOf(pso) || !pso->pvScan0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  int bpp = BitsPerPixel(pso->iBitmapFormat);
  if (bpp == 0) return FALSE;
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > pso->sizlBitmap.cx) r.right = pso->sizlBitmap.cx;
  if (r.bottom > pso->sizlBitmap.cy) r.bottom = pso->sizlBitmap.cy;
  if (r.left >= r.right || r.top >= r.bottom) return TRUE;
  const bool redFirst = RedFirstLocked(pso);
  auto* scan0 = static_cast<BYTE*>(pso->pvScan0);
  for (LONG y = r.top; y < r.bottom; ++y) {
    BYTE* row = scan0 + static_cast<std::ptrdiff_t>(y) * pso->lDelta;
    switch (bpp) {
      case 1: FillBits(row, r.left, r.right, color != 0); break;
      case 4:
        for (LONG x = r.left; x < r.right; ++x) {
          BYTE& b = row[x >> 1];
          b = (x & 1) ? static_cast<BYTE>((b & 0xF0) | (color & 0x0F))
                      : static_cast<BYTE>((b & 0x0F) | ((color & 0x0F) << 4));
        }
        break;
      case 8: std::memset(row + r.left, static_cast<int>(color & 0xFF), static_cast<size_t>(r.right - r.left)); break;
      case 16:
        for (LONG x = r.left; x < r.right; ++x) {
          row[2 * x] = static_cast<BYTE>(color & 0xFF);
          row[2 * x + 1] = static_cast<BYTE>((color >> 8) & 0xFF);
        }
        break;
      case 24:
      case 32: {
        int n = bpp / 8;
        const int blue = redFirst ? 2 : 0, red = redFirst ? 0 : 2;
        for (LONG x = r.left; x < r.right; ++x) {
          BYTE* p = row + static_cast<std::ptrdiff_t>(x) * n;
          p[blue] = static_cast<BYTE>((color >> 16) & 0xFF);
          p[1] = static_cast<BYTE>((color >> 8) & 0xFF);
          p[red] = static_cast<BYTE>(color & 0xFF);
          if (n == 4) p[3] = 0;
        }
        break;
      }
    }
  }
  pso->iUniq = T().nextUniq++;
  return TRUE;
}

// Makes the surface live; its handle is its address.
HSURF Register(std::unique_ptr<Surface> s) {
  std::lock_guard<std::mutex> g(T().lock);
  s->so.iUniq = T().nextUniq++;
  void* key = s.get();
  s->so.hsurf = static_cast<HSURF>(key);
  T().surfaces.emplace(key, std::move(s));
  return static_cast<HSURF>(key);
}

}  // namespace

extern "C" {

HBITMAP EngCreateBitmap(SIZEL sizl, LONG lWidth, ULONG iFormat, FLONG fl, PVOID pvBits) {
  int bpp = BitsPerPixel(iFormat);
  if (bpp == 0 || sizl.cx <= 0 || sizl.cy <= 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::int64_t minStride = (static_cast<std::int64_t>(sizl.cx) * bpp + 7) / 8;
  std::int64_t stride = lWidth;
  if (stride == 0 && !pvBits) stride = (minStride + 3) & ~std::int64_t{3};
  std::int64_t total = stride * sizl.cy;
  if (stride < minStride || total > 0xFFFFFFFFll) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto s = std::make_unique<Surface>();
  BYTE* bits = static_cast<BYTE*>(pvBits);
  if (!bits) {
    s->ownBits = static_cast<BYTE*>((fl & BMF_NOZEROINIT) ? std::malloc(static_cast<size_t>(total))
                                                          : std::calloc(1, static_cast<size_t>(total)));
    if (!s->ownBits) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    bits = s->ownBits;
  }
  SURFOBJ& so = s->so;
  so.sizlBitmap = sizl;
  so.cjBits = static_cast<ULONG>(total);
  so.pvBits = bits;
  so.iBitmapFormat = iFormat;
  so.iType = STYPE_BITMAP;
  if (fl & BMF_TOPDOWN) {
    so.pvScan0 = bits;
    so.lDelta = static_cast<LONG>(stride);
    so.fjBitmap = static_cast<USHORT>(BMF_TOPDOWN);
  } else {
    so.pvScan0 = bits + (sizl.cy - 1) * stride;
    so.lDelta = -static_cast<LONG>(stride);
  }
  return reinterpret_cast<HBITMAP>(Register(std::move(s)));
}

HSURF EngCreateDeviceSurface(DHSURF dhsurf, SIZEL sizl, ULONG iFormatCompat) {
  if (sizl.cx <= 0 || sizl.cy <= 0 || BitsPerPixel(iFormatCompat) == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto s = std::make_unique<Surface>();
  SURFOBJ& so = s->so;
  so.dhsurf = dhsurf;
  so.sizlBitmap = sizl;
  so.iBitmapFormat = iFormatCompat;
  so.iType = STYPE_DEVICE;
  return Register(std::move(s));
}

BOOL EngAssociateSurface(HSURF hsurf, HDEV hdev, FLONG flHooks) {
  std::lock_guard<std::mutex> g(T().lock);
  Surface* s = FindSurface(hsurf);
  Device* d = FindDevice(hdev);
  if (!s || !d) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  s->so.hdev = hdev;
  s->so.dhpdev = d->dhpdev;
  s->hooks = flHooks;
  return TRUE;
}

SURFOBJ* EngLockSurface(HSURF hsurf) {
  std::lock_guard<std::mutex> g(T().lock);
  Surface* s = FindSurface(hsurf);
  if (!s) return nullptr;
  ++s->locks;
  return &s->so;
}

void EngUnlockSurface(SURFOBJ* pso) {
  std::lock_guard<std::mutex> g(T().lock);
  Surface* s = SurfaceOf(pso);
  if (s && s->locks > 0) --s->locks;
}

BOOL EngDeleteSurface(HSURF hsurf) {
  std::unique_ptr<Surface> gone;
  {
    std::lock_guard<std::mutex> g(T().lock);
    auto it = T().surfaces.find(hsurf);
    if (it == T().surfaces.end()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    gone = std::move(it->second);
    T().surfaces.erase(it);
  }
  std::free(gone->ownBits);
  return TRUE;
}

BOOL EngEraseSurface(SURFOBJ* pso, RECTL* prcl, ULONG iColor) {
  if (!pso || !prcl) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> g(T().lock);
  return Fill(pso, *prcl, iColor);
}

HPALETTE EngCreatePalette(ULONG iMode, ULONG cColors, ULONG* pulColors, FLONG, FLONG, FLONG) {
  if (iMode != PAL_INDEXED && iMode != PAL_BITFIELDS && iMode != PAL_RGB && iMode != PAL_BGR) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (iMode == PAL_INDEXED && (cColors == 0 || cColors > 65536 || !pulColors)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto p = std::make_unique<Palette>();
  p->mode = iMode;
  if (iMode == PAL_INDEXED) p->colors.assign(pulColors, pulColors + cColors);
  std::lock_guard<std::mutex> g(T().lock);
  void* key = p.get();
  T().palettes.emplace(key, std::move(p));
  return static_cast<HPALETTE>(key);
}

BOOL EngDeletePalette(HPALETTE hpal) {
  std::lock_guard<std::mutex> g(T().lock);
  if (T().palettes.erase(hpal) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL EngCheckAbort(SURFOBJ* pso) {
  g_checkAbortCalls.fetch_add(1, std::memory_order_relaxed);
  HANDLE printer = nullptr;
  {
    std::lock_guard<std::mutex> g(T().lock);
    if (!pso) return FALSE;
    Device* d = FindDevice(pso->hdev);
    if (!d) return FALSE;
    printer = d->printer;
  }
  return JobCancelled(printer) ? TRUE : FALSE;
}

void EngQueryLocalTime(ENG_TIME_FIELDS* ptf) {
  if (!ptf) return;
  SYSTEMTIME t = LocalTime();
  ptf->usYear = t.wYear;
  ptf->usMonth = t.wMonth;
  ptf->usDay = t.wDay;
  ptf->usHour = t.wHour;
  ptf->usMinute = t.wMinute;
  ptf->usSecond = t.wSecond;
  ptf->usMilliseconds = t.wMilliseconds;
  ptf->usWeekday = t.wDayOfWeek;
}

}  // extern "C"

namespace plat::engine {

HDEV CreateDevice(HANDLE printer) {
  auto d = std::make_unique<Device>();
  d->printer = printer;
  std::lock_guard<std::mutex> g(T().lock);
  void* key = d.get();
  T().devices.emplace(key, std::move(d));
  return static_cast<HDEV>(key);
}

void SetDevicePdev(HDEV hdev, DHPDEV dhpdev) {
  std::lock_guard<std::mutex> g(T().lock);
  if (Device* d = FindDevice(hdev)) d->dhpdev = dhpdev;
}

DHPDEV DevicePdev(HDEV hdev) {
  std::lock_guard<std::mutex> g(T().lock);
  Device* d = FindDevice(hdev);
  return d ? d->dhpdev : nullptr;
}

FLONG DeviceHooks(HSURF hsurf) {
  std::lock_guard<std::mutex> g(T().lock);
  Surface* s = FindSurface(hsurf);
  return s ? s->hooks : 0;
}

void DeleteDevice(HDEV hdev) {
  raster::ForgetDevice(hdev);
  std::lock_guard<std::mutex> g(T().lock);
  T().devices.erase(hdev);
}

BOOL FillRect(SURFOBJ* pso, const RECTL& rect, ULONG color) {
  std::lock_guard<std::mutex> g(T().lock);
  return Fill(pso, rect, color);
}

void SetDevicePalette(HDEV hdev, HPALETTE hpal) {
  std::lock_guard<std::mutex> g(T().lock);
  Device* d = FindDevice(hdev);
  if (!d) return;
  auto it = T().palettes.find(hpal);
  d->paletteMode = it == T().palettes.end() ? 0 : it->second->mode;
}

bool RedFirst(const SURFOBJ* pso) {
  std::lock_guard<std::mutex> g(T().lock);
  return RedFirstLocked(pso);
}

std::uint64_t CheckAbortCalls() { return g_checkAbortCalls.load(std::memory_order_relaxed); }

std::size_t LiveSurfaceCount() {
  std::lock_guard<std::mutex> g(T().lock);
  return T().surfaces.size();
}

std::size_t LivePaletteCount() {
  std::lock_guard<std::mutex> g(T().lock);
  return T().palettes.size();
}

}  // namespace plat::engine
