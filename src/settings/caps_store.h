// The capability store: ModelCaps written to and read back from the printer
// data, the NameList, the padded and allocating printer-data reads, the
// "DefaultDevmode" value, the drivers' resource library and the login name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/spooler.h"
#include "settings/model_caps.h"

// Printer-data value names.
inline constexpr const WCHAR* kValueInfo = u"Info";
inline constexpr const WCHAR* kValueBinList = u"BinList";
inline constexpr const WCHAR* kValueDensity = u"Density";
inline constexpr const WCHAR* kValueSpeed = u"Speed";
inline constexpr const WCHAR* kValueSort = u"Sort";
inline constexpr const WCHAR* kValuePaper = u"Paper";
inline constexpr const WCHAR* kValueOutputPaper = u"OutputPaper";
inline constexpr const WCHAR* kValueRdfCustomPaper = u"RdfCustomPaper";
inline constexpr const WCHAR* kValueDpi = u"Dpi";
inline constexpr const WCHAR* kValueDefaults = u"Defaults";
inline constexpr const WCHAR* kValuePermanent = u"Permanent";
inline constexpr const WCHAR* kValueFreePaper = u"Free Paper";
inline constexpr const WCHAR* kValueDataFile = u"Data File";
inline constexpr const WCHAR* kValueResourceDll = u"Resource DLL";
inline constexpr const WCHAR* kValueDeviceName = u"Device Name";
inline constexpr const WCHAR* kValuePrinterName = u"Printer Name";
inline constexpr const WCHAR* kValueDefaultDevmode = u"DefaultDevmode";
inline constexpr const WCHAR* kValuePreviewExe = u"Preview EXE";
inline constexpr const WCHAR* kValueFavSetPrefix = u"FavSet_";

// ---------------------------------------------------------------------------
// ModelCaps lifetime

// A zero-filled ModelCaps from the global heap; nullptr without memory.
ModelCaps* AllocModelCaps();
// Frees the NameList and the list and table blocks and clears their pointers;
// with freeTexts also the four texts. Does not free the record itself.
void FreeModelCaps(ModelCaps* caps, bool freeTexts);
// A copy of text in a new zero-filled block (owned by a ModelCaps); nullptr without memory.
WCHAR* DuplicateText(std::u16string_view text);

// Fills caps->CustomPapers from the custom papers of the paper list: at most 30,
// names cut to 30 characters. 1, or -1 without memory.
int BuildCustomPaperTable(ModelCaps* caps);

// ---------------------------------------------------------------------------
// Printer data

// Writes every value of caps under the printer named caps->PrinterName.
// 1, or 0 when the printer cannot be opened (nothing written). The plug-in
// generation registers the extra papers as user forms before "Paper".
int StoreCapsAsPrinterData(const ModelCaps* caps, Generation generation = Generation::Classic);
// Rebuilds caps (its PrinterName set) from the printer data; opens the printer
// by name when printer is null. Counts in "Info" are clamped to what each list
// value holds. 1, or 0 when a list or text value is missing or damaged.
int LoadCapsFromPrinterData(ModelCaps* caps, HANDLE printer);

// "DefaultDevmode" into a DEVMODE buffer of dm->dmSize + dm->dmDriverExtra bytes
// (at most that many are read). 1 when read.
int ReadDefaultDevmode(const WCHAR* printerName, DEVMODEW* dm);
int ReadDefaultDevmodeFromHandle(HANDLE printer, DEVMODEW* dm);
// Stores dm (dmSize + dmDriverExtra bytes) as "DefaultDevmode".
void WriteDefaultDevmode(const WCHAR* printerName, const DEVMODEW* dm);
DWORD WriteDefaultDevmodeToHandle(HANDLE printer, const DEVMODEW* dm);
// "Info", "Defaults", and "Paper" with the custom paper names.
DWORD WriteCapsInfo(HANDLE printer, const ModelCaps* caps);
DWORD WriteDefaultSettings(HANDLE printer, const ModelCaps* caps);
DWORD WritePaperList(HANDLE printer, const ModelCaps* caps);

// The records of a list value, decoded field by field: 16-byte paper records
// ("Paper", "OutputPaper", "Free Paper") and 4-byte level records ("Speed",
// "Density", "Sort"). A partial record at the end is dropped.
std::vector<PaperEntry> DecodePaperRecords(std::span<const BYTE> value);
std::vector<LevelEntry> DecodeLevelRecords(std::span<const BYTE> value);

// A printer-data value read whole: empty when present but empty, nothing when
// missing or unreadable.
std::optional<std::vector<BYTE>> ReadPrinterValue(HANDLE printer, const WCHAR* valueName);
// A new zero-filled global block of the value's size + 2 bytes holding the value
// (so a REG_SZ without terminator ends in one); nullptr when missing, empty or
// without memory. *size receives the value's size when given.
BYTE* GetPrinterDataPadded(HANDLE printer, const WCHAR* valueName, DWORD* size = nullptr);
// As above with exactly the value's size.
BYTE* GetPrinterDataAlloc(HANDLE printer, const WCHAR* valueName, DWORD* size = nullptr);

// ---------------------------------------------------------------------------
// NameList

// The value name of a node: its id formatted with "%4d" (e.g. "  12").
std::u16string NameValueName(unsigned id);
// Reads the values "%4d" of 1..count; a missing value gives an empty name.
// nullptr without memory or for count 0.
NameList* LoadNameList(HANDLE printer, unsigned count);
// Appends a node with the next id; texts longer than 255 units are cut.
// Returns the new node (the head when the list was empty), or nullptr.
NameList* NameListAppend(NameList* head, std::u16string_view text);
// Ids 0 and 1 are refused; the head node is never removed.
void NameListRemove(NameList* head, unsigned id);
const WCHAR* NameListText(const NameList* head, unsigned id);
NameList* NameListFind(NameList* head, unsigned id);
const NameList* NameListFind(const NameList* head, unsigned id);
NameList* NameListFree(NameList* head);

// Name slots for the sheets' lists: 98 bytes (49 units) each, slot k + 1 after
// slot k; each gets the first 48 units of its entry's name and a terminator.
inline constexpr std::size_t kNameSlotUnits = 49;
int CopyListNames(const NameList* head, std::span<const PaperEntry> entries, WCHAR* slots);
int CopyLevelListNames(const NameList* head, std::span<const LevelEntry> entries, WCHAR* slots);
int CopyBinListNames(const NameList* head, std::span<const BinEntry> entries, WCHAR* slots);

// Appends tail to the terminated text in a buffer of capacity units (tail cut
// to fit); returns the new length in units including the terminator.
std::size_t AppendWide(WCHAR* text, std::size_t capacity, std::u16string_view tail);

// ---------------------------------------------------------------------------
// Resource library and login name

// The drivers' resource library named by "Resource DLL", else found beside the
// driver's first dependent file. The caller frees it. nullptr when none loads.
HMODULE LoadResourceDll(const WCHAR* printerName, HANDLE printer);
// The user name cut to 127 characters, terminated, in a 128-unit target.
void GetLoginName(WCHAR (&target)[128]);
