// Internal to the model data file reader: the state of one load and the key
// table that drives the scalar keys of the model section.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "plat/base.h"
#include "settings/model_caps.h"
#include "settings/rdf_reader.h"

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
