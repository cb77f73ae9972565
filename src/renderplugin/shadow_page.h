// The shadow page: a 24-bit top-down colour copy of the page on which every
// drawing call the plug-in accepts is repeated. Its bytes are red, green,
// blue (the core's palette is PAL_RGB). The bitmap is kept from page to page
// of one size; between SendPage and StartPage the page's fields are null,
// and StartPage whitens only the rows the repeated calls touched.
#pragma once

#include <cstdint>

#include "plat/engine.h"

struct ShadowPage {
  HSURF surface;     // the page's shadow, null outside a page
  SURFOBJ* object;   // locked, null outside a page
  HSURF kept;        // the bitmap kept between pages, null when none
  SURFOBJ* keptObject;
  std::int32_t touchedTop;  // rows drawn on since the last whitening; top > bottom: none
  std::int32_t touchedBottom;
};

// Makes (or takes back and whitens) the shadow of a page of width x height
// pixels on the core's engine device. A bitmap of another size is deleted
// first. False leaves no shadow page (the drawing hooks then skip it).
bool BeginShadowPage(ShadowPage& shadow, HDEV engine, std::int32_t width, std::int32_t height);
// The page is sent: the bitmap is kept for the next page, the fields cleared.
void EndShadowPage(ShadowPage& shadow);
// Unlocks and deletes the shadow page and the kept bitmap.
void DeleteShadowPage(ShadowPage& shadow);
// Records rows drawn on (exclusive bottom, cut to the page); a null
// rectangle stands for the whole page.
void TouchShadowRows(ShadowPage& shadow, const RECTL* bounds);
// Whether every byte of the page is white (tests).
bool ShadowPageIsWhite(const SURFOBJ* object);
