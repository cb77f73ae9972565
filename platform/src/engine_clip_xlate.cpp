// Clip and colour-translation objects: the host's makers and the engine
// services that drawing entries call on them.
#include <algorithm>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "plat/engine_clip_xlate.h"

namespace {

struct HostClip {
  CLIPOBJ co{};
  std::vector<RECTL> rects;
  std::size_t next = 0;  // first rectangle of the next batch
};

struct HostXlate {
  XLATEOBJ xo{};
  std::vector<ULONG> palette;  // the source palette, also the table
};

struct Objects {
  std::mutex lock;
  std::unordered_map<const CLIPOBJ*, std::unique_ptr<HostClip>> clips;
  std::unordered_map<const XLATEOBJ*, std::unique_ptr<HostXlate>> xlates;
  ULONG nextUniq = 1;
};

Objects& O() {
  static Objects* objects = new Objects;  // lives past static destructors
  return *objects;
}

HostClip* FindClip(const CLIPOBJ* pco) {
  auto it = O().clips.find(pco);
  return it == O().clips.end() ? nullptr : it->second.get();
}

HostXlate* FindXlate(const XLATEOBJ* pxlo) {
  auto it = O().xlates.find(pxlo);
  return it == O().xlates.end() ? nullptr : it->second.get();
}

CLIPOBJ* AddClip(std::unique_ptr<HostClip> clip) {
  std::lock_guard<std::mutex> guard(O().lock);
  clip->co.iUniq = O().nextUniq++;
  clip->co.iMode = TC_RECTANGLES;
  CLIPOBJ* pco = &clip->co;
  O().clips.emplace(pco, std::move(clip));
  return pco;
}

// Whole rectangles of a cj-byte ENUMRECTS buffer.
std::size_t BatchCapacity(ULONG cj) {
  return cj < sizeof(ULONG) ? 0 : (cj - sizeof(ULONG)) / sizeof(RECTL);
}

void PutBatch(ULONG* pul, const RECTL* rects, std::size_t n) {
  auto* out = reinterpret_cast<ENUMRECTS*>(pul);
  out->c = static_cast<ULONG>(n);
  std::copy(rects, rects + n, out->arcl);
}

}  // namespace

extern "C" {

ULONG CLIPOBJ_cEnumStart(CLIPOBJ* pco, BOOL, ULONG, ULONG, ULONG cLimit) {
  if (!pco) return 0;
  std::size_t count = 1;
  {
    std::lock_guard<std::mutex> guard(O().lock);
    if (HostClip* clip = FindClip(pco)) {
      clip->next = 0;
      if (pco->iDComplexity == DC_COMPLEX) count = clip->rects.size();
    }
  }
  if (cLimit != 0 && count > cLimit) return CLIPOBJ_ENUM_LIMIT;
  return static_cast<ULONG>(count);
}

BOOL CLIPOBJ_bEnum(CLIPOBJ* pco, ULONG cj, ULONG* pul) {
  std::size_t room = BatchCapacity(cj);
  if (!pco || !pul || room == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::lock_guard<std::mutex> guard(O().lock);
  HostClip* clip = FindClip(pco);
  if (pco->iDComplexity != DC_COMPLEX || !clip) {
    // One rectangle, the bounds; a host clip gives it once per enumeration.
    bool given = clip && clip->next > 0;
    PutBatch(pul, &pco->rclBounds, given ? 0 : 1);
    if (clip) clip->next = 1;
    return FALSE;
  }
  std::size_t left = clip->rects.size() - std::min(clip->next, clip->rects.size());
  std::size_t n = std::min(room, left);
  PutBatch(pul, clip->rects.data() + clip->next, n);
  clip->next += n;
  return clip->next < clip->rects.size() ? TRUE : FALSE;
}

ULONG XLATEOBJ_cGetPalette(XLATEOBJ* pxlo, ULONG iPal, ULONG cPal, ULONG* pPal) {
  if (!pxlo || iPal != XO_SRCPALETTE) return 0;
  std::lock_guard<std::mutex> guard(O().lock);
  HostXlate* xlate = FindXlate(pxlo);
  const ULONG* palette = xlate ? xlate->palette.data() : pxlo->pulXlate;
  ULONG count = xlate ? static_cast<ULONG>(xlate->palette.size()) : (palette ? pxlo->cEntries : 0);
  if (!pPal) return count;
  ULONG n = std::min(cPal, count);
  std::copy(palette, palette + n, pPal);
  return n;
}

ULONG XLATEOBJ_iXlate(XLATEOBJ* pxlo, ULONG iColor) {
  if (!pxlo || !(pxlo->flXlate & XO_TABLE) || !pxlo->pulXlate) return iColor;
  return iColor < pxlo->cEntries ? pxlo->pulXlate[iColor] : 0;
}

}  // extern "C"

namespace plat::engine {

CLIPOBJ* CreateTrivialClip(const RECTL& bounds) {
  auto clip = std::make_unique<HostClip>();
  clip->co.rclBounds = bounds;
  clip->co.iDComplexity = DC_TRIVIAL;
  clip->co.iFComplexity = FC_RECT;
  return AddClip(std::move(clip));
}

CLIPOBJ* CreateClip(const RECTL* rects, ULONG count) {
  if (!rects || count == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto clip = std::make_unique<HostClip>();
  clip->rects.assign(rects, rects + count);
  RECTL bounds = rects[0];
  for (const RECTL& r : clip->rects) {
    bounds.left = std::min(bounds.left, r.left);
    bounds.top = std::min(bounds.top, r.top);
    bounds.right = std::max(bounds.right, r.right);
    bounds.bottom = std::max(bounds.bottom, r.bottom);
  }
  clip->co.rclBounds = bounds;
  clip->co.iDComplexity = count == 1 ? DC_RECT : DC_COMPLEX;
  clip->co.iFComplexity = count == 1 ? FC_RECT : FC_COMPLEX;
  return AddClip(std::move(clip));
}

void DeleteClip(CLIPOBJ* pco) {
  std::lock_guard<std::mutex> guard(O().lock);
  O().clips.erase(pco);
}

XLATEOBJ* CreateXlate(const ULONG* palette, ULONG count) {
  auto xlate = std::make_unique<HostXlate>();
  if (palette && count > 0) {
    xlate->palette.assign(palette, palette + count);
    xlate->xo.flXlate = XO_TABLE;
    xlate->xo.iSrcType = PAL_INDEXED;
    xlate->xo.cEntries = count;
    xlate->xo.pulXlate = xlate->palette.data();
  } else {
    xlate->xo.flXlate = XO_TRIVIAL;
    xlate->xo.iSrcType = PAL_RGB;
  }
  xlate->xo.iDstType = PAL_RGB;
  std::lock_guard<std::mutex> guard(O().lock);
  xlate->xo.iUniq = O().nextUniq++;
  XLATEOBJ* pxlo = &xlate->xo;
  O().xlates.emplace(pxlo, std::move(xlate));
  return pxlo;
}

void DeleteXlate(XLATEOBJ* pxlo) {
  std::lock_guard<std::mutex> guard(O().lock);
  O().xlates.erase(pxlo);
}

}  // namespace plat::engine
