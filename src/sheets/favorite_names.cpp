#include "sheets/favorite_names.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "plat/registry.h"
#include "plat/spooler.h"
#include "settings/caps_store.h"

int EnumFavorites(HANDLE printer, FavoriteSlot* slots) {
  DWORD nameNeeded = 0, dataNeeded = 0, type = 0;
  EnumPrinterDataW(printer, 0, nullptr, 0, &nameNeeded, &type, nullptr, 0, &dataNeeded);
  const DWORD nameUnits = std::max<DWORD>(nameNeeded / sizeof(WCHAR), 1);
  auto* name = static_cast<WCHAR*>(GlobalAlloc(GPTR, std::size_t{nameUnits} * sizeof(WCHAR)));
  auto* data = static_cast<BYTE*>(GlobalAlloc(GPTR, std::max<DWORD>(dataNeeded, 1)));
  if (!name || !data) {
    if (name) GlobalFree(name);
    if (data) GlobalFree(data);
    return -1;
  }
  int count = 0;
  for (DWORD index = 0; count < kMaxFavorites; ++index) {
    DWORD gotName = 0, gotData = 0;
    const DWORD rc = EnumPrinterDataW(printer, index, name, nameUnits * sizeof(WCHAR), &gotName, &type, data,
                                      std::max<DWORD>(dataNeeded, 1), &gotData);
    if (rc != ERROR_SUCCESS) break;
    name[nameUnits - 1] = 0;
    std::size_t length = std::char_traits<char16_t>::length(name);
    // A bare prefix is a write probe left behind, not a favourite.
    if (length <= kFavoritePrefixUnits) continue;
    if (std::char_traits<char16_t>::compare(name, kFavoritePrefix, kFavoritePrefixUnits) != 0) continue;
    length = std::min<std::size_t>(length, kFavoriteSlotUnits - 1);
    std::memcpy(slots[count], name, length * sizeof(WCHAR));
    slots[count][length] = 0;
    ++count;
  }
  GlobalFree(name);
  GlobalFree(data);
  return count;
}

std::u16string FavoriteValueName(const WCHAR* name) {
  std::u16string valueName(kFavoritePrefix);
  if (name) valueName += name;
  return valueName;
}

BYTE* ReadFavoriteBlock(HANDLE printer, const WCHAR* valueName) {
  DWORD type = 0, needed = 0;
  const DWORD rc = GetPrinterDataW(printer, valueName, &type, nullptr, 0, &needed);
  if ((rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) || type != REG_BINARY || needed != sizeof(DocSettings)) {
    return nullptr;
  }
  DWORD size = 0;
  BYTE* block = GetPrinterDataAlloc(printer, valueName, &size);
  if (block && size != sizeof(DocSettings)) {
    GlobalFree(block);
    return nullptr;
  }
  return block;
}

bool ReadFavoriteSettings(HANDLE printer, const WCHAR* name, DocSettings& out) {
  BYTE* block = ReadFavoriteBlock(printer, FavoriteValueName(name).c_str());
  if (!block) return false;
  std::memcpy(static_cast<void*>(&out), block, sizeof(DocSettings));
  GlobalFree(block);
  return true;
}
