// The names of the favourites kept as printer data ("FavSet_" + name), and
// the read of one favourite's settings block.
#pragma once

#include <cstdint>
#include <string>

#include "plat/base.h"
#include "settings/doc_settings.h"

inline constexpr char16_t kFavoritePrefix[] = u"FavSet_";
inline constexpr int kFavoritePrefixUnits = 7;
inline constexpr int kMaxFavorites = 10;
// A value name slot: at most 27 characters and a terminator.
inline constexpr int kFavoriteSlotUnits = 28;
// A favourite's name: at most 20 characters.
inline constexpr int kFavoriteNameUnits = 20;
using FavoriteSlot = WCHAR[kFavoriteSlotUnits];

// The whole value names that begin with "FavSet_" (case-sensitive), in
// enumeration order, at most ten; -1 when the buffers cannot be allocated.
int EnumFavorites(HANDLE printer, FavoriteSlot* slots);
// The whole value name of a favourite: "FavSet_" + name.
std::u16string FavoriteValueName(const WCHAR* name);
// A new global block (GlobalFree) holding the value; nullptr unless it is a
// REG_BINARY of exactly one DocSettings block, the only form of a favourite.
BYTE* ReadFavoriteBlock(HANDLE printer, const WCHAR* valueName);
// The settings block of "FavSet_" + name into out; false as above.
bool ReadFavoriteSettings(HANDLE printer, const WCHAR* name, DocSettings& out);
