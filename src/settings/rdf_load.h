// Internal to the model data file reader: the state of one load, reading the
// lists a model names, and the key table that drives the scalar keys of the
// model section.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "plat/base.h"
#include "settings/model_caps.h"
#include "settings/rdf_values.h"

// Value buffers: section-naming keys are cut at 63 units, all others at 127.
inline constexpr DWORD kRdfNameValueUnits = 64;
inline constexpr DWORD kRdfValueUnits = 128;

struct RdfLoad {
  ModelCaps& caps;
  HMODULE resources;
  RdfLoadReport& report;
  std::u16string file;
  std::u16string model;

  // Separation section state, kept until the device keys finish.
  int sepaUseFlag = 0;
  int kanPareUseFlag = 0;
  int sepaA = 2;
  int sepaB = 2;

  // Records where the load stopped; always false.
  bool Fail(RdfFault fault, std::u16string_view section, std::u16string_view key);
  // A required text value (MissingKey when absent). section null: the model section.
  bool ReadText(const char16_t* section, const char16_t* key, DWORD units, std::u16string& out);
  // Numbers of a "%d..." value. With optional, a missing key gives *present
  // false and zeros instead of a failure.
  bool ReadNumbers(const char16_t* section, const char16_t* key, std::string_view format, std::span<int> out,
                   bool optional = false, bool* present = nullptr);
  // Appends a name to the NameList; its id, or 0 without memory (load failed).
  std::uint16_t AppendName(std::u16string_view text);
  // The sort list named by the model key "SortList".
  bool ReadSortList();
};

// Reading the lists a model key names ("SpeedList=..."): the list section's
// header, then its entries "1", "2", ...
// The header of a list section: its 1-based default and its size.
struct ListHeader {
  std::u16string section;
  int indexDefault = 0;
  int size = 0;
};
// The model key naming a list, then that section's default and size.
bool ReadListHeader(RdfLoad& load, const char16_t* modelKey, ListHeader& header, bool readDefault = true);
// A 1-based default of a list of count entries as a 0-based index, kept inside the list.
int DefaultIndex(int oneBased, int count);
// Entry key of a list section: the decimal index.
std::u16string EntryKey(int index);
// modelKey followed by a suffix ("SpeedList" "Size").
std::u16string Cat(std::u16string_view a, std::u16string_view b);
// A new zero-filled array from the global heap; count 0 still gives a block.
template <typename T>
T* AllocList(std::size_t count) {
  return static_cast<T*>(GlobalAlloc(GPTR, sizeof(T) * std::max<std::size_t>(count, 1)));
}
// A list of "%s%d..." entries: each entry's numbers go to fill, its name to the NameList.
template <typename Entry, std::size_t N, typename Fill>
bool ReadNamedList(RdfLoad& load, const char16_t* modelKey, const char* format, Entry*& list, std::uint8_t& count,
                   ListHeader& h, Fill fill) {
  if (!ReadListHeader(load, modelKey, h)) return false;
  // Stored as printer data, an empty list is an empty value, which every
  // reader takes as missing: the printer would be initialised yet unusable.
  if (h.size == 0) return load.Fail(RdfFault::BadListSize, h.section, Cat(modelKey, u"Size"));
  list = AllocList<Entry>(static_cast<std::size_t>(h.size));
  if (!list) return load.Fail(RdfFault::NoMemory, h.section, u"");
  count = static_cast<std::uint8_t>(h.size);
  for (int i = 1; i <= h.size; ++i) {
    const std::u16string key = EntryKey(i);
    std::u16string value;
    if (!load.ReadText(h.section.c_str(), key.c_str(), kRdfValueUnits, value)) return false;
    std::u16string name;
    std::array<int, N> v{};
    std::array<RdfTarget, N + 1> targets{};
    targets[0].text = &name;
    for (std::size_t k = 0; k < N; ++k) targets[k + 1].number = &v[k];
    if (ScanRdfValue(value, format, targets) != 1) return load.Fail(RdfFault::BadValue, h.section, key);
    Entry& e = list[i - 1];
    fill(e, v);
    e.NameId = load.AppendName(name);
    if (e.NameId == 0) return false;
  }
  return true;
}
void FillLevel(LevelEntry& e, const std::array<int, 1>& v);

// One row of the key table. A row without key is a step that runs at that
// point of the reading order. apply gets the numbers of the value (zeros and
// present false for a missing optional key).
using RdfApply = bool (*)(RdfLoad& load, std::span<const int> values, bool present);
struct RdfKeyRule {
  const char16_t* section;  // null: the model section
  const char16_t* key;
  const char* format;
  bool optional;
  RdfApply apply;
};

// Every scalar key of the model and its optional sections, in reading order.
std::span<const RdfKeyRule> RdfModelKeyRules();
