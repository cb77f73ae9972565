// The duplicator's drum and option status, asked over SNMP or read from the
// status file another program writes, and the decisions taken on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "plat/base.h"
#include "settings/doc_settings.h"

// Community of every status query.
inline constexpr char kDeviceCommunity[] = "marnit";

// The private OIDs, in query order: drum d = 1, 2 with fields k = 1..7;
// option slot r = 1..9 with fields k = 1..4; the three device values.
inline constexpr std::size_t kDrumOidCount = 14;
inline constexpr std::size_t kOptionOidCount = 36;
inline constexpr std::size_t kDeviceValueOidCount = 3;
inline constexpr std::size_t kDeviceStatusOidCount = kDrumOidCount + kOptionOidCount + kDeviceValueOidCount;
static_assert(kDeviceStatusOidCount == 53);
// Dotted text of entry index (0-52); empty for an index out of range.
std::string_view DeviceStatusOid(std::size_t index);

// One drum as the device reports it. Attributes are carried, not used.
struct DrumRecord {
  std::int32_t DrumNumber;  // 1 or 2
  std::int32_t Attribute;
  std::int32_t Ink;         // InkCode mapped from the device's code
  std::int32_t Attribute2;
  InkLab Lab;
};
static_assert(sizeof(DrumRecord) == 28);

// One option slot. Kind 1 is the tape sorter and kind 4 the bin list, whose
// value is the installed flag.
struct OptionRecord {
  std::int32_t Kind;
  std::int32_t Value;
  std::int32_t ThirdValue;
  char Text[256];  // the slot's text, cut to 255 bytes and terminated
};
static_assert(sizeof(OptionRecord) == 268);

// Device ink code to InkCode: 1-63 give 1000 + code, 0 gives 1032, anything
// else 1002.
std::int32_t DeviceInkToInkCode(std::int32_t deviceCode);

// INTEGER content bytes, most significant first, as a two's-complement
// number sign-extended from count bytes (count 0: 0; beyond 4 bytes the low
// 32 bits are kept).
std::int32_t BigEndianToInt(const std::uint8_t* bytes, std::size_t count);

// The first two characters as a hexadecimal byte (either case), 128-255
// giving -128..-1; further characters are ignored. 1, or 0 when either of
// the two is not a hexadecimal digit (value unchanged).
int HexPairToSignedByte(const WCHAR* text, std::int32_t* value);

// The queries take the device's IPv4 text (UTF-8) and return 1 with every
// output filled, or 0 on any failure with the outputs unchanged.
// Drum records in OID order: record 0 from drum 1's OIDs, record 1 from drum 2's.
int QueryDrumTable(const char* address, DrumRecord drums[2]);
int QueryOptionTable(const char* address, OptionRecord options[9]);
// The second device value (hold memory present).
int QueryDeviceValue(const char* address, std::int32_t* value);

// Status file of an address: drive root of the Windows folder followed by
// "RSF\R%03d%03d%03d%03d.rsf". Only a strict dotted quad of decimal parts
// 0-255 (1-3 digits) gives a path. 1 with the path, else 0.
int RsfStatusPath(const char* address, WCHAR* path, std::size_t pathUnits);
// Ink codes (mapped to InkCode) and L, a, b of both drums from the status
// file; 0 when the file, a key or a hexadecimal pair is missing or bad.
int ReadRsfStatus(const char* address, std::int32_t* ink1, InkLab* lab1, std::int32_t* ink2, InkLab* lab2);

// Records placed by their drum number: drums[0] drum 1, drums[1] drum 2.
// A record with another number is ignored; a slot nobody claims gets
// DrumNumber 0. Returns the number of slots filled.
int PlaceDrumRecords(const DrumRecord reported[2], DrumRecord drums[2]);

// The inks installed on the device at address (UTF-8 IPv4 text), placed by
// drum number: drums[0] is drum 1 and drums[1] drum 2. Over SNMP; when that
// fails or does not report both drums 1 and 2, from the status file.
// 1 with both records filled, 0 when neither source gave them (outputs
// unchanged; callers keep their settings). The render device's first page
// and the sheets' printer query both use it.
int QueryInstalledDrums(const char* address, DrumRecord drums[2]);

// Hue class of an L, a, b triple: 0 neutral, 1, 2 or 3 by the direction of a, b.
int HueClass(const InkLab& lab);

// Result of AssignDrumColors when no assignment fits; callers keep that mode.
inline constexpr std::int32_t kNoAssignment = 99;

// Adapts the stored separation modes (A text and graphics, B images), chosen
// for the colours X and Y, to the inks on the drums. *modeA and *modeB hold
// the current modes and receive the new ones or kNoAssignment.
void AssignDrumColors(std::int32_t colorX, const InkLab& labX, std::int32_t colorY, const InkLab& labY,
                      std::int32_t drum1Color, const InkLab& lab1, std::int32_t drum2Color, const InkLab& lab2,
                      std::int32_t* modeA, std::int32_t* modeB);
