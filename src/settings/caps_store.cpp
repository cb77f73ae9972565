#include "settings/caps_store.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "plat/files.h"
#include "plat/machine.h"
#include "plat/registry.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/byte_order.h"
#include "settings/custom_forms.h"

namespace {

// ---------------------------------------------------------------------------
// Little-endian entry codecs: the list values are written field by field.

struct PaperCodec {
  using Entry = PaperEntry;
  static constexpr std::size_t kBytes = 16;
  static void Encode(const PaperEntry& e, BYTE* p) {
    PutLe32(p + 0, static_cast<std::uint32_t>(e.Width));
    PutLe32(p + 4, static_cast<std::uint32_t>(e.Length));
    PutLe16(p + 8, e.InchFlag);
    PutLe16(p + 10, e.PaperId);
    PutLe16(p + 12, e.NameId);
    PutLe16(p + 14, e.Zero);
  }
  static PaperEntry Decode(const BYTE* p) {
    return {static_cast<std::int32_t>(GetLe32(p)), static_cast<std::int32_t>(GetLe32(p + 4)), GetLe16(p + 8), GetLe16(p + 10),
            GetLe16(p + 12), GetLe16(p + 14)};
  }
};

struct BinCodec {
  using Entry = BinEntry;
  static constexpr std::size_t kBytes = 8;
  static void Encode(const BinEntry& e, BYTE* p) {
    PutLe16(p + 0, e.ThirdValue);
    PutLe16(p + 2, e.BinId);
    PutLe16(p + 4, e.SecondValue);
    PutLe16(p + 6, e.NameId);
  }
  static BinEntry Decode(const BYTE* p) { return {GetLe16(p), GetLe16(p + 2), GetLe16(p + 4), GetLe16(p + 6)}; }
};

struct ResolutionCodec {
  using Entry = ResolutionEntry;
  static constexpr std::size_t kBytes = 12;
  static void Encode(const ResolutionEntry& e, BYTE* p) {
    PutLe32(p + 0, static_cast<std::uint32_t>(e.X));
    PutLe32(p + 4, static_cast<std::uint32_t>(e.Y));
    PutLe16(p + 8, e.ThirdValue);
    PutLe16(p + 10, e.NameId);
  }
  static ResolutionEntry Decode(const BYTE* p) {
    return {static_cast<std::int32_t>(GetLe32(p)), static_cast<std::int32_t>(GetLe32(p + 4)), GetLe16(p + 8), GetLe16(p + 10)};
  }
};

struct LevelCodec {
  using Entry = LevelEntry;
  static constexpr std::size_t kBytes = 4;
  static void Encode(const LevelEntry& e, BYTE* p) {
    PutLe16(p + 0, e.Value);
    PutLe16(p + 2, e.NameId);
  }
  static LevelEntry Decode(const BYTE* p) { return {GetLe16(p), GetLe16(p + 2)}; }
};

template <typename Codec>
std::vector<BYTE> EncodeList(const typename Codec::Entry* list, std::size_t count) {
  std::vector<BYTE> bytes(list ? count * Codec::kBytes : 0);
  for (std::size_t i = 0; list && i < count; ++i) Codec::Encode(list[i], bytes.data() + i * Codec::kBytes);
  return bytes;
}

// A zero-filled block of count entries (at least one) decoded from the value.
template <typename Codec>
typename Codec::Entry* DecodeList(const BYTE* data, std::size_t count) {
  auto* list = static_cast<typename Codec::Entry*>(
      GlobalAlloc(GPTR, std::max<std::size_t>(count, 1) * sizeof(typename Codec::Entry)));
  if (!list) return nullptr;
  for (std::size_t i = 0; i < count; ++i) list[i] = Codec::Decode(data + i * Codec::kBytes);
  return list;
}

template <typename Codec>
std::vector<typename Codec::Entry> DecodeRecords(std::span<const BYTE> value) {
  std::vector<typename Codec::Entry> list(value.size() / Codec::kBytes);
  for (std::size_t i = 0; i < list.size(); ++i) list[i] = Codec::Decode(value.data() + i * Codec::kBytes);
  return list;
}

template <typename T>
void FreeBlock(T*& p) {
  if (p) GlobalFree(p);
  p = nullptr;
}

DWORD SetBinary(HANDLE printer, const WCHAR* name, const void* data, std::size_t size) {
  return SetPrinterDataW(printer, name, REG_BINARY, static_cast<const BYTE*>(data), static_cast<DWORD>(size));
}

DWORD SetBinary(HANDLE printer, const WCHAR* name, const std::vector<BYTE>& bytes) {
  return SetBinary(printer, name, bytes.data(), bytes.size());
}

// REG_SZ: twice the length in bytes, no terminator.
DWORD SetText(HANDLE printer, const WCHAR* name, std::u16string_view text) {
  return SetPrinterDataW(printer, name, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                         static_cast<DWORD>(text.size() * sizeof(WCHAR)));
}

std::u16string_view TextOf(const WCHAR* p) { return p ? std::u16string_view(p) : std::u16string_view(); }

// A text value of at most maxUnits units (cut there).
std::u16string_view TextOfValue(const BYTE* data, DWORD size, std::size_t maxUnits) {
  const auto* units = reinterpret_cast<const WCHAR*>(data);
  std::size_t n = 0;
  std::size_t limit = std::min<std::size_t>(size / sizeof(WCHAR), maxUnits);
  while (n < limit && units[n] != 0) ++n;
  return {units, n};
}

class OwnedPrinter {
 public:
  OwnedPrinter(HANDLE given, const WCHAR* name, ACCESS_MASK access) : handle_(given) {
    if (handle_ || !name) return;
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    if (OpenPrinterW(name, &h, &defaults)) {
      handle_ = h;
      owned_ = true;
    }
  }
  ~OwnedPrinter() {
    if (owned_) ClosePrinter(handle_);
  }
  OwnedPrinter(const OwnedPrinter&) = delete;
  OwnedPrinter& operator=(const OwnedPrinter&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_ = nullptr;
  bool owned_ = false;
};

struct GlobalBlock {
  BYTE* p = nullptr;
  DWORD size = 0;
  GlobalBlock() = default;
  GlobalBlock(const GlobalBlock&) = delete;
  GlobalBlock& operator=(const GlobalBlock&) = delete;
  ~GlobalBlock() {
    if (p) GlobalFree(p);
  }
  explicit operator bool() const { return p != nullptr; }
};

// The value in a new zero-filled global block with `pad` spare bytes behind it.
BYTE* ReadValue(HANDLE printer, const WCHAR* valueName, DWORD* size, std::size_t pad) {
  if (size) *size = 0;
  const auto value = ReadPrinterValue(printer, valueName);
  if (!value || value->empty()) return nullptr;
  auto* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, value->size() + pad));
  if (!buffer) return nullptr;
  std::memcpy(buffer, value->data(), value->size());
  if (size) *size = static_cast<DWORD>(value->size());
  return buffer;
}

void ReadInto(GlobalBlock& block, HANDLE printer, const WCHAR* name) {
  block.p = GetPrinterDataPadded(printer, name, &block.size);
}

}  // namespace

// ---------------------------------------------------------------------------

ModelCaps* AllocModelCaps() { return static_cast<ModelCaps*>(GlobalAlloc(GPTR, sizeof(ModelCaps))); }

void FreeModelCaps(ModelCaps* caps, bool freeTexts) {
  if (!caps) return;
  caps->Names = NameListFree(caps->Names);
  FreeBlock(caps->OutputPapers);
  FreeBlock(caps->Papers);
  FreeBlock(caps->CustomPapers);
  FreeBlock(caps->Bins);
  FreeBlock(caps->Speeds);
  FreeBlock(caps->Densities);
  FreeBlock(caps->Resolutions);
  FreeBlock(caps->Sorts);
  if (freeTexts) {
    FreeBlock(caps->DataFile);
    FreeBlock(caps->ModelName);
    FreeBlock(caps->PrinterName);
    FreeBlock(caps->ResourceDll);
  }
}

WCHAR* DuplicateText(std::u16string_view text) {
  auto* p = static_cast<WCHAR*>(GlobalAlloc(GPTR, (text.size() + 1) * sizeof(WCHAR)));
  if (p) std::copy(text.begin(), text.end(), p);
  return p;
}

int BuildCustomPaperTable(ModelCaps* caps) {
  auto* table = static_cast<CustomPaperTable*>(GlobalAlloc(GPTR, sizeof(CustomPaperTable)));
  if (!table) return -1;
  // The table holds 30 papers; the list keeps the same first 30.
  if (caps->Info.CustomPaperCount > kMaxCustomPapers) caps->Info.CustomPaperCount = kMaxCustomPapers;
  std::size_t count = caps->Papers ? caps->Info.CustomPaperCount : 0;
  table->Count = static_cast<std::uint16_t>(count);
  for (std::size_t i = 0; i < count; ++i) {
    const PaperEntry& paper = caps->Papers[caps->Info.DocumentPaperCount + i];
    CustomPaperEntry& e = table->Entry[i];
    SetFieldText(e.Name, TextOf(NameListText(caps->Names, paper.NameId)));
    e.Width = paper.Width;
    e.Length = paper.Length;
    e.InchFlag = paper.InchFlag;
    e.PaperId = paper.PaperId;
  }
  FreeBlock(caps->CustomPapers);
  caps->CustomPapers = table;
  return 1;
}

// ---------------------------------------------------------------------------

int StoreCapsAsPrinterData(const ModelCaps* caps, Generation generation) {
  if (!caps || !caps->PrinterName) return 0;
  OwnedPrinter printer(nullptr, caps->PrinterName, PRINTER_ALL_ACCESS);
  HANDLE h = printer.get();
  if (!h) return 0;
  const CapsInfo& info = caps->Info;
  // Single write results are not checked: the spooler keeps what it can.
  SetBinary(h, kValueInfo, &info, sizeof(CapsInfo));
  SetBinary(h, kValueBinList, EncodeList<BinCodec>(caps->Bins, info.BinCount));
  SetBinary(h, kValueDensity, EncodeList<LevelCodec>(caps->Densities, info.DensityCount));
  SetBinary(h, kValueSpeed, EncodeList<LevelCodec>(caps->Speeds, info.SpeedCount));
  SetBinary(h, kValueSort, EncodeList<LevelCodec>(caps->Sorts, info.SortCount));
  if (generation == Generation::Plugin && caps->Papers) {
    // The plug-in's papers become user forms; "Paper" then holds 0 as their ids.
    std::vector<PaperEntry> papers(caps->Papers, caps->Papers + caps->PaperCount());
    RegisterCustomFormsIn(h, *caps, papers);
    SetBinary(h, kValuePaper, EncodeList<PaperCodec>(papers.data(), papers.size()));
  } else {
    SetBinary(h, kValuePaper, EncodeList<PaperCodec>(caps->Papers, caps->PaperCount()));
  }
  SetBinary(h, kValueOutputPaper, EncodeList<PaperCodec>(caps->OutputPapers, info.OutputPaperCount));
  CustomPaperTable empty{};
  SetBinary(h, kValueRdfCustomPaper, caps->CustomPapers ? caps->CustomPapers : &empty, sizeof(CustomPaperTable));
  SetBinary(h, kValueDpi, EncodeList<ResolutionCodec>(caps->Resolutions, info.ResolutionCount));
  SetBinary(h, kValueDefaults, &caps->Defaults, sizeof(DocSettings));
  SetBinary(h, kValuePermanent, &caps->Defaults, sizeof(DocSettings));
  SetBinary(h, kValueFreePaper, EncodeList<PaperCodec>(&caps->FreePaper, 1));
  SetText(h, kValueDataFile, TextOf(caps->DataFile));
  SetText(h, kValueResourceDll, TextOf(caps->ResourceDll));
  SetText(h, kValueDeviceName, TextOf(caps->ModelName));
  SetText(h, kValuePrinterName, TextOf(caps->PrinterName));
  const NameList* node = caps->Names;
  for (unsigned id = 1; id <= info.NameCount && node; ++id, node = node->Next) {
    SetText(h, NameValueName(id).c_str(), std::u16string_view(node->Text, FieldTextLength(node->Text)));
  }
  return 1;
}

namespace {

template <typename Codec>
bool LoadList(const GlobalBlock& value, std::uint8_t& count, typename Codec::Entry*& list) {
  // The count in "Info" is never trusted beyond what the value holds.
  std::size_t held = value.size / Codec::kBytes;
  if (count > held) count = static_cast<std::uint8_t>(held);
  list = DecodeList<Codec>(value.p, count);
  return list != nullptr;
}

bool LoadText(const GlobalBlock& value, WCHAR*& text) {
  WCHAR* copy = DuplicateText(TextOfValue(value.p, value.size, value.size / sizeof(WCHAR)));
  if (!copy) return false;
  FreeBlock(text);
  text = copy;
  return true;
}

// A fixed-size block: a missing value leaves zeros; a value of another size is damage.
bool LoadFixed(HANDLE printer, const WCHAR* name, void* target, std::size_t size) {
  DWORD got = 0;
  GlobalBlock value;
  value.p = GetPrinterDataAlloc(printer, name, &got);
  value.size = got;
  std::memset(target, 0, size);
  if (!value) return true;
  if (got != size) return false;
  std::memcpy(target, value.p, size);
  return true;
}

template <typename Entry>
unsigned HighestNameId(const Entry* list, std::size_t count) {
  unsigned highest = 0;
  for (std::size_t i = 0; list && i < count; ++i) highest = std::max<unsigned>(highest, list[i].NameId);
  return highest;
}

// Names are read only as far as an entry of the lists can name them: "Info"
// may claim up to 65,535 and each would be a printer data read on every load.
unsigned NamesInUse(const ModelCaps& caps) {
  const CapsInfo& info = caps.Info;
  return std::max({HighestNameId(caps.Papers, caps.PaperCount()),
                   HighestNameId(caps.OutputPapers, info.OutputPaperCount), HighestNameId(caps.Bins, info.BinCount),
                   HighestNameId(caps.Speeds, info.SpeedCount), HighestNameId(caps.Densities, info.DensityCount),
                   HighestNameId(caps.Resolutions, info.ResolutionCount), HighestNameId(caps.Sorts, info.SortCount),
                   HighestNameId(&caps.FreePaper, 1)});
}

}  // namespace

int LoadCapsFromPrinterData(ModelCaps* caps, HANDLE printerHandle) {
  if (!caps) return 0;
  OwnedPrinter printer(printerHandle, caps->PrinterName, PRINTER_ACCESS_USE);
  HANDLE h = printer.get();
  if (!h) return 0;

  FreeModelCaps(caps, false);
  GlobalBlock bins, densities, dpi, papers, outputPapers, customTable, speeds, sorts;
  GlobalBlock printerName, dataFile, resourceDll, deviceName;
  struct Required {
    GlobalBlock* block;
    const WCHAR* name;
  } required[] = {{&bins, kValueBinList},         {&densities, kValueDensity},   {&dpi, kValueDpi},
                  {&papers, kValuePaper},         {&outputPapers, kValueOutputPaper},
                  {&customTable, kValueRdfCustomPaper}, {&speeds, kValueSpeed}, {&sorts, kValueSort},
                  {&printerName, kValuePrinterName}, {&dataFile, kValueDataFile},
                  {&resourceDll, kValueResourceDll}, {&deviceName, kValueDeviceName}};
  for (const Required& r : required) {
    ReadInto(*r.block, h, r.name);
    if (!*r.block) return 0;
  }

  CapsInfo info{};
  {
    DWORD got = 0;
    GlobalBlock value;
    value.p = GetPrinterDataAlloc(h, kValueInfo, &got);
    value.size = got;
    if (!value || got != sizeof(CapsInfo)) return 0;
    std::memcpy(&info, value.p, sizeof(CapsInfo));
  }
  PaperEntry freePaper{};
  {
    DWORD got = 0;
    GlobalBlock value;
    value.p = GetPrinterDataAlloc(h, kValueFreePaper, &got);
    value.size = got;
    if (value) {
      if (got != PaperCodec::kBytes) return 0;
      freePaper = PaperCodec::Decode(value.p);
    }
  }
  DocSettings defaults, permanent;
  if (!LoadFixed(h, kValueDefaults, &defaults, sizeof(DocSettings)) ||
      !LoadFixed(h, kValuePermanent, &permanent, sizeof(DocSettings)) || customTable.size != sizeof(CustomPaperTable)) {
    return 0;
  }

  // Papers: document papers first, then at most 30 custom papers, all within the value.
  std::size_t heldPapers = papers.size / PaperCodec::kBytes;
  if (info.CustomPaperCount > kMaxCustomPapers) info.CustomPaperCount = kMaxCustomPapers;
  if (info.DocumentPaperCount > heldPapers) info.DocumentPaperCount = static_cast<std::uint8_t>(heldPapers);
  if (info.CustomPaperCount > heldPapers - info.DocumentPaperCount)
    info.CustomPaperCount = static_cast<std::uint8_t>(heldPapers - info.DocumentPaperCount);
  caps->Info = info;
  caps->FreePaper = freePaper;
  caps->Defaults = defaults;
  caps->Permanent = permanent;

  caps->Papers = DecodeList<PaperCodec>(papers.p, caps->PaperCount());
  caps->CustomPapers = static_cast<CustomPaperTable*>(GlobalAlloc(GPTR, sizeof(CustomPaperTable)));
  bool ok = caps->Papers && caps->CustomPapers &&
            LoadList<PaperCodec>(outputPapers, caps->Info.OutputPaperCount, caps->OutputPapers) &&
            LoadList<BinCodec>(bins, caps->Info.BinCount, caps->Bins) &&
            LoadList<LevelCodec>(speeds, caps->Info.SpeedCount, caps->Speeds) &&
            LoadList<LevelCodec>(densities, caps->Info.DensityCount, caps->Densities) &&
            LoadList<ResolutionCodec>(dpi, caps->Info.ResolutionCount, caps->Resolutions) &&
            LoadList<LevelCodec>(sorts, caps->Info.SortCount, caps->Sorts);
  if (ok) {
    CustomPaperTable& table = *caps->CustomPapers;
    std::memcpy(&table, customTable.p, sizeof(CustomPaperTable));
    if (table.Count > kMaxCustomPapers) table.Count = kMaxCustomPapers;
    for (CustomPaperEntry& e : table.Entry) e.Name[kCustomPaperNameUnits - 1] = 0;
  }
  // The caller's printer name stands (the printer may have been renamed since).
  ok = ok && (caps->PrinterName || LoadText(printerName, caps->PrinterName)) && LoadText(dataFile, caps->DataFile) &&
       LoadText(resourceDll, caps->ResourceDll) && LoadText(deviceName, caps->ModelName);
  const unsigned names = ok ? std::min<unsigned>(caps->Info.NameCount, NamesInUse(*caps)) : 0;
  if (names > 0) {
    caps->Names = LoadNameList(h, names);
    ok = caps->Names != nullptr;
  }
  if (!ok) {
    FreeModelCaps(caps, false);
    return 0;
  }
  return 1;
}

// ---------------------------------------------------------------------------

namespace {
int ReadDevmodeValue(HANDLE printer, DEVMODEW* dm) {
  if (!printer || !dm) return 0;
  std::size_t room = std::size_t{dm->dmSize} + dm->dmDriverExtra;
  DWORD got = 0;
  GlobalBlock value;
  value.p = GetPrinterDataAlloc(printer, kValueDefaultDevmode, &got);
  value.size = got;
  if (!value || got < sizeof(DEVMODEW) || got > room) return 0;
  // The stored DEVMODE must describe exactly the bytes stored.
  const auto* stored = reinterpret_cast<const DEVMODEW*>(value.p);
  if (stored->dmSize < offsetof(DEVMODEW, dmFields) || std::size_t{stored->dmSize} + stored->dmDriverExtra != got) return 0;
  std::memcpy(dm, value.p, got);
  return 1;
}
}  // namespace

int ReadDefaultDevmode(const WCHAR* printerName, DEVMODEW* dm) {
  OwnedPrinter printer(nullptr, printerName, PRINTER_ACCESS_USE);
  return ReadDevmodeValue(printer.get(), dm);
}

int ReadDefaultDevmodeFromHandle(HANDLE printer, DEVMODEW* dm) { return ReadDevmodeValue(printer, dm); }

void WriteDefaultDevmode(const WCHAR* printerName, const DEVMODEW* dm) {
  OwnedPrinter printer(nullptr, printerName, PRINTER_ALL_ACCESS);
  if (printer.get()) WriteDefaultDevmodeToHandle(printer.get(), dm);
}

DWORD WriteDefaultDevmodeToHandle(HANDLE printer, const DEVMODEW* dm) {
  if (!dm) return ERROR_INVALID_PARAMETER;
  return SetBinary(printer, kValueDefaultDevmode, dm, std::size_t{dm->dmSize} + dm->dmDriverExtra);
}

DWORD WriteCapsInfo(HANDLE printer, const ModelCaps* caps) {
  if (!caps) return ERROR_INVALID_PARAMETER;
  return SetBinary(printer, kValueInfo, &caps->Info, sizeof(CapsInfo));
}

DWORD WriteDefaultSettings(HANDLE printer, const ModelCaps* caps) {
  if (!caps) return ERROR_INVALID_PARAMETER;
  return SetBinary(printer, kValueDefaults, &caps->Defaults, sizeof(DocSettings));
}

DWORD WritePaperList(HANDLE printer, const ModelCaps* caps) {
  if (!caps) return ERROR_INVALID_PARAMETER;
  DWORD rc = SetBinary(printer, kValuePaper, EncodeList<PaperCodec>(caps->Papers, caps->PaperCount()));
  if (rc != ERROR_SUCCESS || !caps->Papers) return rc;
  for (std::size_t i = 0; i < caps->Info.CustomPaperCount; ++i) {
    const NameList* node = NameListFind(caps->Names, caps->Papers[caps->Info.DocumentPaperCount + i].NameId);
    if (!node) break;
    rc = SetText(printer, NameValueName(node->Id).c_str(), std::u16string_view(node->Text, FieldTextLength(node->Text)));
    if (rc != ERROR_SUCCESS) return rc;
  }
  return rc;
}

std::optional<std::vector<BYTE>> ReadPrinterValue(HANDLE printer, const WCHAR* valueName) {
  if (!printer || !valueName) return std::nullopt;
  DWORD type = 0;
  DWORD needed = 0;
  DWORD rc = GetPrinterDataW(printer, valueName, &type, nullptr, 0, &needed);
  if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA) return std::nullopt;
  std::vector<BYTE> data(needed);
  DWORD got = 0;
  rc = GetPrinterDataW(printer, valueName, &type, data.data(), needed, &got);
  if (rc != ERROR_SUCCESS || got > needed) return std::nullopt;
  data.resize(got);
  return data;
}

BYTE* GetPrinterDataPadded(HANDLE printer, const WCHAR* valueName, DWORD* size) {
  return ReadValue(printer, valueName, size, 2);
}

BYTE* GetPrinterDataAlloc(HANDLE printer, const WCHAR* valueName, DWORD* size) {
  return ReadValue(printer, valueName, size, 0);
}

// ---------------------------------------------------------------------------

std::u16string NameValueName(unsigned id) {
  std::u16string digits;
  do {
    digits.insert(digits.begin(), static_cast<char16_t>(u'0' + id % 10));
    id /= 10;
  } while (id > 0);
  if (digits.size() < 4) digits.insert(digits.begin(), 4 - digits.size(), u' ');
  return digits;
}

NameList* LoadNameList(HANDLE printer, unsigned count) {
  NameList* head = nullptr;
  NameList* tail = nullptr;  // appending after the tail keeps a long list linear
  for (unsigned id = 1; id <= count; ++id) {
    GlobalBlock value;
    ReadInto(value, printer, NameValueName(id).c_str());
    std::u16string_view text = value ? TextOfValue(value.p, value.size, kNameTextUnits - 1) : std::u16string_view();
    NameList* node = NameListAppend(tail, text);
    if (!node) return NameListFree(head);
    if (!head) head = node;
    tail = node;
  }
  return head;
}

NameList* NameListAppend(NameList* head, std::u16string_view text) {
  NameList* last = head;
  while (last && last->Next) last = last->Next;
  if (last && last->Id == 0xFFFF) return nullptr;  // ids are 16-bit
  auto* node = static_cast<NameList*>(GlobalAlloc(GPTR, sizeof(NameList)));
  if (!node) return nullptr;
  node->Id = static_cast<std::uint16_t>(last ? last->Id + 1 : 1);
  text = text.substr(0, std::min(text.find(u'\0'), text.size()));
  SetFieldText(node->Text, text);
  node->Length = static_cast<std::uint16_t>(FieldTextLength(node->Text));
  if (last) last->Next = node;
  return node;
}

void NameListRemove(NameList* head, unsigned id) {
  if (!head || id <= 1) return;
  for (NameList* prev = head; prev->Next; prev = prev->Next) {
    if (prev->Next->Id == id) {
      NameList* gone = prev->Next;
      prev->Next = gone->Next;
      GlobalFree(gone);
      return;
    }
  }
}

const NameList* NameListFind(const NameList* head, unsigned id) {
  for (const NameList* n = head; n; n = n->Next)
    if (n->Id == id) return n;
  return nullptr;
}

NameList* NameListFind(NameList* head, unsigned id) {
  return const_cast<NameList*>(NameListFind(static_cast<const NameList*>(head), id));
}

const WCHAR* NameListText(const NameList* head, unsigned id) {
  const NameList* n = NameListFind(head, id);
  return n ? n->Text : nullptr;
}

NameList* NameListFree(NameList* head) {
  while (head) {
    NameList* next = head->Next;
    GlobalFree(head);
    head = next;
  }
  return nullptr;
}

namespace {
template <typename Entry>
int CopyNames(const NameList* head, std::span<const Entry> entries, WCHAR* slots) {
  if (!slots) return 0;
  for (std::size_t k = 0; k < entries.size(); ++k) {
    WCHAR* slot = slots + k * kNameSlotUnits;
    std::fill(slot, slot + kNameSlotUnits, WCHAR{0});
    const NameList* node = NameListFind(head, entries[k].NameId);
    if (!node) return 0;
    std::size_t n = std::min<std::size_t>(FieldTextLength(node->Text), kNameSlotUnits - 1);
    std::copy(node->Text, node->Text + n, slot);
  }
  return 1;
}
}  // namespace

int CopyListNames(const NameList* head, std::span<const PaperEntry> entries, WCHAR* slots) {
  return CopyNames(head, entries, slots);
}
int CopyLevelListNames(const NameList* head, std::span<const LevelEntry> entries, WCHAR* slots) {
  return CopyNames(head, entries, slots);
}
int CopyBinListNames(const NameList* head, std::span<const BinEntry> entries, WCHAR* slots) {
  return CopyNames(head, entries, slots);
}

std::size_t AppendWide(WCHAR* text, std::size_t capacity, std::u16string_view tail) {
  if (!text || capacity == 0) return 0;
  std::size_t len = FieldTextLength({text, capacity});
  if (len == capacity) {  // unterminated: end it inside the buffer
    text[capacity - 1] = 0;
    len = capacity - 1;
  }
  std::size_t n = std::min(tail.size(), capacity - 1 - len);
  std::copy(tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(n), text + len);
  text[len + n] = 0;
  return len + n + 1;
}

// ---------------------------------------------------------------------------

namespace {
bool FileExists(const std::u16string& path) {
  return !path.empty() && GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HMODULE LoadIfExists(const std::u16string& path) { return FileExists(path) ? LoadLibraryW(path.c_str()) : nullptr; }

std::u16string FirstDependentFile(HANDLE printer) {
  DWORD needed = 0;
  if (GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(DRIVER_INFO_3W)) {
    return {};
  }
  std::vector<std::uint64_t> storage((needed + 7) / 8);
  auto* buffer = reinterpret_cast<LPBYTE>(storage.data());
  if (!GetPrinterDriverW(printer, nullptr, 3, buffer, needed, &needed)) return {};
  const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer);
  return info->pDependentFiles ? std::u16string(info->pDependentFiles) : std::u16string();
}

std::u16string FolderOf(const std::u16string& path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash + 1);
}

std::u16string FileNameOf(std::u16string_view path) {
  std::size_t slash = path.find_last_of(u"\\/");
  return std::u16string(slash == std::u16string_view::npos ? path : path.substr(slash + 1));
}
}  // namespace

HMODULE LoadResourceDll(const WCHAR* printerName, HANDLE printerHandle) {
  OwnedPrinter printer(printerHandle, printerName, PRINTER_ACCESS_USE);
  HANDLE h = printer.get();
  if (!h) return nullptr;

  GlobalBlock value;
  ReadInto(value, h, kValueResourceDll);
  std::u16string stored(value ? TextOfValue(value.p, value.size, MAX_PATH - 1) : std::u16string_view());
  if (value) {
    if (HMODULE m = LoadIfExists(stored)) return m;
  }
  std::u16string dependent = FirstDependentFile(h);
  if (value && !dependent.empty()) {
    std::u16string name = FileNameOf(stored);
    if (!name.empty()) {
      if (HMODULE m = LoadIfExists(FolderOf(dependent) + name)) return m;
    }
  }
  return LoadIfExists(dependent);
}

void GetLoginName(WCHAR (&target)[128]) {
  WCHAR buffer[257] = {};
  DWORD size = 257;
  if (!GetUserNameW(buffer, &size)) buffer[0] = 0;
  buffer[256] = 0;
  SetFieldText(target, std::u16string_view(buffer, FieldTextLength(buffer)));
}

std::vector<PaperEntry> DecodePaperRecords(std::span<const BYTE> value) { return DecodeRecords<PaperCodec>(value); }
std::vector<LevelEntry> DecodeLevelRecords(std::span<const BYTE> value) { return DecodeRecords<LevelCodec>(value); }
