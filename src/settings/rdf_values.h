// Values of a model data file: reading one, splitting it into fields and
// converting them, and where a reading stopped.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "plat/base.h"

// Longest text of a "%s" field, in units.
inline constexpr std::size_t kRdfTextMax = 256;
// Longest list a model may declare: its count (and the document list's count
// with the free paper) must fit a byte.
inline constexpr int kRdfMaxListSize = 254;

// One target of ScanRdfValue: a "%d" conversion fills number, a "%s" text.
struct RdfTarget {
  int* number = nullptr;
  std::u16string* text = nullptr;
};

// [section] key of the file into buffer (size units with the terminator);
// longer values are cut. The number of units read, or -1 when section or key
// is null or the value is missing or empty.
int ReadRdfString(const WCHAR* file, const WCHAR* section, const WCHAR* key, WCHAR* buffer, DWORD size);

// Copies one field of value (up to the next "," or the end, leading blanks
// and tabs skipped) into field; returns the units consumed, the separator
// included.
std::size_t NextRdfField(std::u16string_view value, std::u16string& field);

// Splits value at "," and converts field i by conversion i of format ("%d":
// decimal like _wtoi, saturated to 32 bits; "%s": text of at most 256 units).
// Fields missing at the end of the value leave zero or empty targets. 1, or
// -1 for any other conversion in format or fewer targets than conversions.
// saturated, when given, tells whether a number was cut to 32 bits.
int ScanRdfValue(std::u16string_view value, std::string_view format, std::span<const RdfTarget> targets,
                 bool* saturated = nullptr);

// Why a load stopped.
enum class RdfFault {
  None,
  MissingKey,   // required key missing or empty
  BadVersion,   // "Version" other than 701
  BadValue,     // a value that does not scan
  OutOfRange,   // a number beyond 32 bits, which no field holds
  BadListSize,  // a list size below 0 or above kRdfMaxListSize (bins, speeds,
                // densities, resolutions and sort kinds: below 1)
  NoMemory,
};

struct RdfLoadReport {
  RdfFault fault = RdfFault::None;
  std::u16string section;  // where the load stopped
  std::u16string key;
  unsigned line = 0;  // of the key in the file; 0 when it is not there
};

