// PrivateDevmode: the classic driver's 3456-byte DEVMODE (public part, then a
// 3236-byte private part around DocSettings), and the routines that build,
// validate, merge and copy it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "plat/base.h"
#include "plat/spooler.h"
#include "settings/doc_settings.h"
#include "settings/model_caps.h"

inline constexpr WORD kDevmodeSpecVersion = 0x401;
inline constexpr WORD kClassicDriverVersion = 0x3092;
inline constexpr WORD kPluginDriverVersion = 0x3093;
inline constexpr WORD kPublicDevmodeSize = 220;
inline constexpr WORD kPrivateDevmodeExtra = 3236;
inline constexpr std::size_t kPrivateDevmodeSize = 3456;
inline constexpr WORD kClassicBuildNumber = 518;
inline constexpr WORD kPluginBuildNumber = 219;
inline constexpr DWORD kPrivateVersionWord = 0x10000;
// Public fields the builder declares; DM_DUPLEX joins when the model offers duplex.
inline constexpr DWORD kDefaultDevmodeFields = 0x16F0F;
inline constexpr SHORT kFreePaperId = 256;

// The signature: "NEVO QM7100", BC D8 B0 BD DE, " NevoKort" and a zero byte.
inline constexpr std::size_t kSignatureBytes = 26;
extern const BYTE kDevmodeSignature[kSignatureBytes];

// A page of the application's own size, placed in the DEVMODE by the application.
struct AppPageRecord {
  std::int32_t ApplyFlag;      // 256 1 = apply the record
  std::int32_t Applied;        // 260 set to 1 each time it is applied
  WCHAR FormName[32];          // 264
  std::int32_t Size1;          // 328 0.1 mm
  std::int32_t Size2;          // 332 0.1 mm
  std::int32_t Rotation;       // 336 0, 90, 180 or 270
};
static_assert(sizeof(AppPageRecord) == 84);

struct PrivateDevmode {
  DEVMODEW Public;                   // 0
  BYTE Signature[kSignatureBytes];   // 220
  WORD SignatureEnd;                 // 246 zero unit after the signature copy
  BYTE Reserved248[4];               // 248
  DWORD VersionWord;                 // 252 0x10000
  AppPageRecord AppPage;             // 256
  WORD BuildNumber;                  // 340 518 (plug-in generation 219)
  WORD One;                          // 342 1
  WORD RecognizedByPreview;          // 344
  BYTE DirectPrintOnly;              // 346
  BYTE Reserved347[127];             // 347-473
  BYTE Reserved474[2];               // 474
  std::int32_t Margins[4];           // 476 "MarginSize" in key order
  DocSettings Settings;              // 492
  WORD XResolution;                  // 3428 as stored in the model (not remapped)
  WORD YResolution;                  // 3430
  BYTE DrumCount;                    // 3432
  BYTE DrumColorPattern;             // 3433
  BYTE WindowsKind;                  // 3434
  BYTE LanguageNumber;               // 3435
  BYTE InfoTaken;                    // 3436 the sheets already asked the printer
  BYTE SheetWritten;                 // 3437 plug-in: the sheets wrote the public fields
  BYTE Reserved3438[18];             // 3438-3455
};
static_assert(sizeof(PrivateDevmode) == kPrivateDevmodeSize);
static_assert(std::is_trivially_copyable_v<PrivateDevmode> && std::is_standard_layout_v<PrivateDevmode>);
static_assert(offsetof(PrivateDevmode, Signature) == 220);
static_assert(offsetof(PrivateDevmode, SignatureEnd) == 246);
static_assert(offsetof(PrivateDevmode, VersionWord) == 252);
static_assert(offsetof(PrivateDevmode, AppPage) == 256);
static_assert(offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, Applied) == 260);
static_assert(offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, FormName) == 264);
static_assert(offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, Size1) == 328);
static_assert(offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, Size2) == 332);
static_assert(offsetof(PrivateDevmode, AppPage) + offsetof(AppPageRecord, Rotation) == 336);
static_assert(offsetof(PrivateDevmode, BuildNumber) == 340);
static_assert(offsetof(PrivateDevmode, One) == 342);
static_assert(offsetof(PrivateDevmode, RecognizedByPreview) == 344);
static_assert(offsetof(PrivateDevmode, DirectPrintOnly) == 346);
static_assert(offsetof(PrivateDevmode, Reserved347) == 347);
static_assert(offsetof(PrivateDevmode, Margins) == 476);
static_assert(offsetof(PrivateDevmode, Settings) == 492);
static_assert(offsetof(PrivateDevmode, XResolution) == 3428);
static_assert(offsetof(PrivateDevmode, YResolution) == 3430);
static_assert(offsetof(PrivateDevmode, DrumCount) == 3432);
static_assert(offsetof(PrivateDevmode, DrumColorPattern) == 3433);
static_assert(offsetof(PrivateDevmode, WindowsKind) == 3434);
static_assert(offsetof(PrivateDevmode, LanguageNumber) == 3435);
static_assert(offsetof(PrivateDevmode, InfoTaken) == 3436);

// The DEVMODE as ours when its public part is 220 bytes and its private part
// 3236 (any driver version); nullptr otherwise.
PrivateDevmode* AsPrivateDevmode(DEVMODEW* dm);
const PrivateDevmode* AsPrivateDevmode(const DEVMODEW* dm);


// A new zero-filled PrivateDevmode from the global heap (caller frees it with
// GlobalFree); nullptr without memory. A printer handle adds "Preview EXE".
// The plug-in generation announces a paper id of 0 as 256 (free size).
PrivateDevmode* BuildDefaultDevmode(HANDLE printer, const ModelCaps& caps,
                                    Generation generation = Generation::Classic);

// Brings dm in line with the model. Indices outside the model's lists take the
// "Defaults" values. false (and nothing changed) when dm is not a PrivateDevmode.
bool ValidateDevmode(HANDLE printer, DEVMODEW* dm, ModelCaps& caps, Generation generation = Generation::Classic);

// Signature, version words and the AppPageRecord rule. 1, or 0 for a missing
// (or foreign) DEVMODE. caps may be null.
int FillPrivateHeader(DEVMODEW* dm, ModelCaps* caps, Generation generation = Generation::Classic);

// "DefaultDevmode", then the printer's own DEVMODE, then the caller's (only a
// 0x3092 DEVMODE of 220 + 3236 bytes), the printer-level values of the
// defaults put back, list indices beyond the model's lists set to the printer's
// "Defaults" values, then the device-option rules against "Permanent".
// A new block the caller frees with GlobalFree, or nullptr.
PrivateDevmode* GetMergedDevmode(HANDLE printer, const DEVMODEW* caller);

// Applies an application page record to settings (and pub when given). A record
// whose sizes are not 1..32767 (0.1 mm) is refused: false, nothing changed.
bool ApplyAppPageRecord(AppPageRecord& record, DocSettings& settings, DEVMODEW* pub);

// Device-option rules; permanent is the printer's "Permanent" block.
void ApplySortOptionRule(DocSettings& s, const DocSettings& permanent);
void ApplyTapeSortOptionRule(DocSettings& s, const DocSettings& permanent);
void ApplyHoldMemoryOptionRule(DocSettings& s, const DocSettings& permanent);
void ApplyBinListOptionRule(DocSettings& s, const DocSettings& permanent);
// All four in their order.
void ApplyOptionRules(DocSettings& s, const DocSettings& permanent);
// The printer's "Permanent" settings; zeros when the value is missing or not
// a settings block.
DocSettings ReadPermanentSettings(HANDLE printer);

// Device-level fields of a settings block (taken from the printer's defaults
// in every merge) and their restore; withInk also restores InkMarks and InkLab.
DeviceLevelValues TakeDeviceLevelValues(const DocSettings& s);
void RestoreDeviceLevelValues(DocSettings& s, const DeviceLevelValues& v, bool withInk);

// Indices outside the model's lists get the "Defaults" value (output paper: 0).
void ClampListIndices(DocSettings& s, const ModelCaps& caps);
// Kind bytes (ColorMode, Seihan, OutputMode, SeparationKind, Duplex) outside
// their range take the defaults' value, or the range's first value when that
// one is out of range too.
void ReplaceKindsOutOfRange(DocSettings& s, const DocSettings& defaults);

// 0 for none, 0x320 for dmSize 188, 0x400 for 212, 0x401 for 220, else dmSpecVersion.
WORD SpecVersionForSize(const DEVMODEW* dm);
// Copies the common public and private bytes, keeping the target's size and
// version fields. Buffers are dmSize + dmDriverExtra bytes as each says.
// Bytes copied, or -1.
int CopyDevmode(const DEVMODEW* source, DEVMODEW* target);
// Copies source into output shaped like the smaller of source and input.
// outputBytes is the output buffer's size; 0 when the result would not fit.
int CopyDevmodeOut(const DEVMODEW* source, const DEVMODEW* input, DEVMODEW* output, std::size_t outputBytes);

// 0-based index of the first paper with that id; 0 when none matches.
std::size_t FindPaperById(const PaperEntry* papers, std::size_t count, int id);
// 1-based position of the first paper with that id (a spooler form index); 0 when none.
std::size_t FindPaperByFormIndex(const PaperEntry* papers, std::size_t count, int formIndex);
// 1-based index of the first paper of width x length (0.1 mm); 0 when none.
std::size_t FindPaperBySize(const PaperEntry* papers, std::size_t count, std::int32_t width, std::int32_t length);

// Copies 16-bit units up to the first zero unit (at most sourceUnits read and
// targetUnits - 1 written), then a zero unit; true when any unit was copied.
// Works on unaligned bytes, in little-endian unit order.
bool CopyWideString16(void* target, std::size_t targetUnits, const void* source, std::size_t sourceUnits);
