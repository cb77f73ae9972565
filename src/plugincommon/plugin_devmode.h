// OemPluginDevmode: the plug-ins' private DEVMODE part (a 12-byte header, then
// the classic driver's 3236-byte private block), its handler for the core
// driver's devmode protocol, and the assembly of a PrivateDevmode from a
// public DEVMODE and a part.
#pragma once

#include <cstddef>
#include <memory>
#include <span>

#include "plat/oem.h"
#include "settings/private_devmode.h"

namespace oemdm {

inline constexpr DWORD kSignature = 0x4E45564F;
inline constexpr DWORD kVersion = 1;
inline constexpr std::size_t kSize = 3248;

// Offsets in the part; byte k (k >= 12) is byte k + 208 of a PrivateDevmode.
inline constexpr std::size_t kSizeField = 0;
inline constexpr std::size_t kSignatureField = 4;
inline constexpr std::size_t kVersionField = 8;
inline constexpr std::size_t kPrivateBlock = 12;
inline constexpr std::size_t kAppPageFlag = 48;
inline constexpr std::size_t kSettings = 284;
inline constexpr std::size_t kDrumColorPattern = 3225;
inline constexpr std::size_t kInfoTaken = 3228;
inline constexpr std::size_t kSheetWritten = 3229;
inline constexpr std::size_t kDevmodeShift = 208;

static_assert(kSizeField + 4 == kSignatureField && kSignatureField + 4 == kVersionField);
static_assert(kPrivateBlock == sizeof(OEM_DMEXTRAHEADER));
static_assert(kPrivateBlock + kDevmodeShift == kPublicDevmodeSize);
static_assert(kAppPageFlag + kDevmodeShift == offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, ApplyFlag));
static_assert(kSettings + kDevmodeShift == offsetof(PrivateDevmode, Settings));
static_assert(kDrumColorPattern + kDevmodeShift == offsetof(PrivateDevmode, DrumColorPattern));
static_assert(kInfoTaken + kDevmodeShift == offsetof(PrivateDevmode, InfoTaken));
static_assert(kSheetWritten + kDevmodeShift == offsetof(PrivateDevmode, SheetWritten));
static_assert(kSize == kPrivateBlock + kPrivateDevmodeExtra);
static_assert(kSettings + sizeof(DocSettings) <= kDrumColorPattern);

// The header's three words, read at any alignment.
struct Header {
  DWORD size;
  DWORD signature;
  DWORD version;
  bool operator==(const Header&) const = default;
};
inline constexpr Header kOwnHeader{static_cast<DWORD>(kSize), kSignature, kVersion};

Header ReadHeader(const void* part);
void WriteHeader(void* part, const Header& header);

// The DocSettings block of a whole part, copied out and in.
DocSettings ReadSettings(std::span<const BYTE, kSize> part);
void WriteSettings(std::span<BYTE, kSize> part, const DocSettings& settings);

}  // namespace oemdm

// Writes the own header {3248, signature, 1}; 0 for a null part, else 1.
BOOL OemSetDevmodeHeader(void* part);

// The printer's default part: the own header and the private block of its
// "DefaultDevmode" (zeros when that value cannot be read). part holds 3248
// bytes. 0 for a null part, else 1.
BOOL OemDefaultDevmode(void* part, HANDLE printer);

// Carries an input part into the output part (outputBytes long) against the
// printer's defaults: a part of the output's signature is copied (no more
// bytes than both headers' sizes and 3248) and brought in line with the
// printer; a foreign one (or a header shorter than 12 bytes) is replaced by
// the defaults. 0, with nothing written, for a missing part, an output
// shorter than 3248 bytes or no memory; else 1.
BOOL OemConvertDevmode(const void* in, void* out, DWORD outputBytes, HANDLE printer, DEVMODEW* publicOut);

// Brings the device-level fields of target in line with the printer's
// defaults in source: resolution, sorter kind and options, ink switch, ink
// tables and drum colours (unless keepInk), printer address; then the four
// device-option rules against the printer's "Permanent". Always 1.
BOOL LoadDefaultSettings(HANDLE printer, const DocSettings& source, DocSettings& target, BYTE drumColorPattern,
                         BYTE keepInk);

// The core driver's devmode protocol (OEMDM_SIZE, _DEFAULT, _CONVERT,
// _MERGE), with its traces on the debugger output. S_OK for modes 1-4 (even
// when the worker found nothing to do); E_FAIL with ERROR_INVALID_PARAMETER
// for a null param or another mode.
HRESULT hrOEMDevMode(DWORD mode, OEMDMPARAM* param);

struct GlobalBlockDeleter {
  void operator()(PrivateDevmode* p) const;
};
using PrivateDevmodePtr = std::unique_ptr<PrivateDevmode, GlobalBlockDeleter>;

// A PrivateDevmode of 220 public bytes (the first min(dmSize, 220) of
// publicDm, the rest zero) marked 0x3093, with the part's private block when
// its header is the own one, else the printer's default block. nullptr when
// either input is missing or memory runs out.
PrivateDevmodePtr AssemblePluginDevmode(HANDLE printer, const DEVMODEW* publicDm, const void* part);
