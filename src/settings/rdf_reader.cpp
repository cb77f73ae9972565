#include "settings/rdf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>

#include "plat/files.h"
#include "plat/profile.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/doc_settings.h"
#include "settings/rdf_load.h"

namespace {

constexpr const char16_t* kVersionSection = u"RDF format version";
constexpr UINT kFreePaperNameString = 835;
constexpr std::size_t kFreePaperNameUnits = 32;
constexpr std::uint16_t kFreePaperId = 256;
constexpr std::uint16_t kFirstUnnumberedPaperId = 119;
constexpr std::uint16_t kFirstCustomPaperId = 300;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// _wtoi: optional sign and decimal digits; anything else ends the number.
// Saturated to 32 bits instead of overflowing (saturated then set).
int ToInt(std::u16string_view text, bool& saturated) {
  std::size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  std::int64_t v = 0;
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<int>::max()} + 1;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
    v = v * 10 + (text[i] - u'0');
    if (v > kLimit) {
      v = kLimit;
      saturated = true;
    }
  }
  if (negative) v = -v;
  const std::int64_t fitted = std::clamp<std::int64_t>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  if (fitted != v) saturated = true;
  return static_cast<int>(fitted);
}

// The 1-based line of key in [section] of the data file (read as bytes, ASCII
// names, UTF-16LE with its mark); 0 when either is missing or the file cannot be read.
unsigned KeyLine(const std::u16string& file, std::u16string_view section, std::u16string_view key) {
  constexpr DWORD kMaxBytes = 16u << 20;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  const DWORD size = GetFileSize(h, &high);
  std::string bytes;
  if (high == 0 && size != INVALID_FILE_SIZE && size <= kMaxBytes) {
    bytes.resize(size);
    DWORD done = 0;
    if (!ReadFile(h, bytes.data(), size, &done, nullptr)) done = 0;
    bytes.resize(done);
  }
  CloseHandle(h);
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  } else {
    for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  auto trim = [](std::u16string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == u'\r')) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
    return s;
  };
  bool inSection = false;
  unsigned line = 0;
  std::u16string_view rest(text);
  while (!rest.empty()) {
    ++line;
    const std::size_t end = rest.find(u'\n');
    const std::u16string_view raw = trim(rest.substr(0, end));
    rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    if (!raw.empty() && raw.front() == u'[') {
      const std::size_t close = raw.find(u']');
      inSection = close != std::u16string_view::npos && plat::EqualsNoCase(trim(raw.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t eq = raw.find(u'=');
    if (inSection && eq != std::u16string_view::npos && plat::EqualsNoCase(trim(raw.substr(0, eq)), key)) return line;
  }
  return 0;
}

// A paper entry's size in micrometres: 0.1 mm for unit "MM", else thousandths
// of an inch. nullopt when the result does not fit 32 bits.
std::optional<std::int32_t> PaperMicrons(int value, bool millimetres) {
  if (!millimetres) return MilsToMicrons(value);
  const std::int64_t v = std::int64_t{value} * 100;
  if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

// A new zero-filled array from the global heap; count 0 still gives a block.
template <typename T>
T* AllocList(std::size_t count) {
  return static_cast<T*>(GlobalAlloc(GPTR, sizeof(T) * std::max<std::size_t>(count, 1)));
}

// The fields of one "%s%d%d%d%s" paper value.
struct PaperFields {
  std::u16string name;
  int id = 0;
  int width = 0;
  int length = 0;
  std::u16string unit;
};

// The header of a list section: its 1-based default and its size.
struct ListHeader {
  std::u16string section;
  int indexDefault = 0;
  int size = 0;
};

// A 1-based default of a list of count entries as a 0-based index, kept inside the list.
int DefaultIndex(int oneBased, int count) {
  if (count <= 0) return 0;
  return std::clamp(oneBased, 1, count) - 1;
}

std::u16string Cat(std::u16string_view a, std::u16string_view b) {
  std::u16string s(a);
  s += b;
  return s;
}

}  // namespace

// ---------------------------------------------------------------------------
// Values

int ReadRdfString(const WCHAR* file, const WCHAR* section, const WCHAR* key, WCHAR* buffer, DWORD size) {
  if (!file || !section || !key || !buffer || size == 0) return -1;
  buffer[0] = 0;
  const DWORD n = GetPrivateProfileStringW(section, key, u"", buffer, size, file);
  if (n == 0) return -1;
  return static_cast<int>(n);
}

std::size_t NextRdfField(std::u16string_view value, std::u16string& field) {
  field.clear();
  std::size_t i = 0;
  while (i < value.size() && IsBlank(value[i])) ++i;
  const std::size_t start = i;
  while (i < value.size() && value[i] != u',') ++i;
  field.assign(value.substr(start, i - start));
  if (i < value.size()) ++i;  // the separator
  return i;
}

int ScanRdfValue(std::u16string_view value, std::string_view format, std::span<const RdfTarget> targets,
                 bool* saturated) {
  // The format is checked whole first, so that a bad one changes no target.
  std::size_t conversions = 0;
  for (std::size_t i = 0; i < format.size(); i += 2, ++conversions) {
    if (format[i] != '%' || i + 1 >= format.size() || (format[i + 1] != 'd' && format[i + 1] != 's')) return -1;
  }
  if (targets.size() < conversions) return -1;

  std::u16string field;
  bool cut = false;
  for (std::size_t c = 0; c < conversions; ++c) {
    const bool number = format[2 * c + 1] == 'd';
    const RdfTarget& target = targets[c];
    // Fields past the end of the value are zero or empty.
    const bool have = !value.empty();
    if (have) {
      value.remove_prefix(NextRdfField(value, field));
    } else {
      field.clear();
    }
    if (number) {
      if (target.number) *target.number = have ? ToInt(field, cut) : 0;
    } else if (target.text) {
      target.text->assign(field.substr(0, kRdfTextMax));
    }
  }
  if (saturated) *saturated = cut;
  return 1;
}

std::u16string RdfLoadMessage(const RdfLoadReport& report) {
  std::u16string_view what;
  switch (report.fault) {
    case RdfFault::None: return u"";
    case RdfFault::MissingKey: what = u"missing or empty"; break;
    case RdfFault::BadVersion: what = u"not a version this driver reads"; break;
    case RdfFault::BadValue: what = u"a value that cannot be read"; break;
    case RdfFault::OutOfRange: what = u"a number that does not fit its field"; break;
    case RdfFault::BadListSize: what = u"a list size out of range"; break;
    case RdfFault::NoMemory: what = u"out of memory"; break;
  }
  std::u16string message = u"model data file: \"";
  message += report.key;
  message += u"\" in [";
  message += report.section;
  message += u"]";
  if (report.line != 0) {
    message += u", line ";
    for (char c : std::to_string(report.line)) message += static_cast<char16_t>(c);
  }
  message += u": ";
  message += what;
  return message;
}

// ---------------------------------------------------------------------------
// One load

bool RdfLoad::Fail(RdfFault fault, std::u16string_view section, std::u16string_view key) {
  if (report.fault == RdfFault::None) {
    report.fault = fault;
    report.section.assign(section);
    report.key.assign(key);
    report.line = fault == RdfFault::NoMemory ? 0 : KeyLine(file, section, key);
  }
  return false;
}

bool RdfLoad::ReadText(const char16_t* section, const char16_t* key, DWORD units, std::u16string& out) {
  const char16_t* sec = section ? section : model.c_str();
  std::array<WCHAR, kRdfValueUnits> buffer{};
  units = std::min<DWORD>(units, kRdfValueUnits);
  const int n = ReadRdfString(file.c_str(), sec, key, buffer.data(), units);
  if (n < 0) return Fail(RdfFault::MissingKey, sec, key);
  out.assign(buffer.data(), static_cast<std::size_t>(n));
  return true;
}

bool RdfLoad::ReadNumbers(const char16_t* section, const char16_t* key, std::string_view format, std::span<int> out,
                          bool optional, bool* present) {
  const char16_t* sec = section ? section : model.c_str();
  std::fill(out.begin(), out.end(), 0);
  std::array<WCHAR, kRdfValueUnits> buffer{};
  const int n = ReadRdfString(file.c_str(), sec, key, buffer.data(), kRdfValueUnits);
  if (present) *present = n >= 0;
  if (n < 0) return optional ? true : Fail(RdfFault::MissingKey, sec, key);
  std::array<RdfTarget, 4> targets{};
  for (std::size_t i = 0; i < out.size() && i < targets.size(); ++i) targets[i].number = &out[i];
  bool saturated = false;
  if (ScanRdfValue(std::u16string_view(buffer.data(), static_cast<std::size_t>(n)), format,
                   std::span<const RdfTarget>(targets.data(), std::min(out.size(), targets.size())), &saturated) != 1) {
    return Fail(RdfFault::BadValue, sec, key);
  }
  if (saturated) return Fail(RdfFault::OutOfRange, sec, key);
  return true;
}

std::uint16_t RdfLoad::AppendName(std::u16string_view text) {
  NameList* node = NameListAppend(caps.Names, text);
  if (!node) {
    Fail(RdfFault::NoMemory, model, u"");
    return 0;
  }
  if (!caps.Names) caps.Names = node;
  caps.Info.NameCount = node->Id;
  return node->Id;
}

namespace {

// The model key naming a list, then that section's default and size.
bool ReadListHeader(RdfLoad& load, const char16_t* modelKey, ListHeader& header, bool readDefault = true) {
  if (!load.ReadText(nullptr, modelKey, kRdfNameValueUnits, header.section)) return false;
  const char16_t* sec = header.section.c_str();
  int value = 0;
  if (readDefault) {
    const std::u16string key = Cat(modelKey, u"IndexDefault");
    if (!load.ReadNumbers(sec, key.c_str(), "%d", {&value, 1})) return false;
    header.indexDefault = value;
  }
  const std::u16string sizeKey = Cat(modelKey, u"Size");
  if (!load.ReadNumbers(sec, sizeKey.c_str(), "%d", {&value, 1})) return false;
  if (value < 0 || value > kRdfMaxListSize) return load.Fail(RdfFault::BadListSize, sec, sizeKey);
  header.size = value;
  return true;
}

// Entry key of a list section: the decimal index.
std::u16string EntryKey(int index) { return plat::u16(std::to_string(index)); }

bool ReadPaperFields(RdfLoad& load, const std::u16string& section, const std::u16string& key, PaperFields& f) {
  std::u16string value;
  if (!load.ReadText(section.c_str(), key.c_str(), kRdfValueUnits, value)) return false;
  const RdfTarget targets[] = {{nullptr, &f.name}, {&f.id, nullptr}, {&f.width, nullptr}, {&f.length, nullptr},
                               {nullptr, &f.unit}};
  if (ScanRdfValue(value, "%s%d%d%d%s", targets) != 1) return load.Fail(RdfFault::BadValue, section, key);
  return true;
}

// A paper entry from its fields: sizes in micrometres, the name appended.
bool MakePaper(RdfLoad& load, const std::u16string& section, const std::u16string& key, const PaperFields& f,
               std::u16string_view name, PaperEntry& out) {
  const bool mm = IsMillimetreUnit(f.unit);
  const std::optional<std::int32_t> w = PaperMicrons(f.width, mm);
  const std::optional<std::int32_t> l = PaperMicrons(f.length, mm);
  if (!w || !l) return load.Fail(RdfFault::BadValue, section, key);
  out.Width = *w;
  out.Length = *l;
  out.PaperId = static_cast<std::uint16_t>(f.id);
  out.NameId = load.AppendName(name);
  return out.NameId != 0;
}

bool CheckRdfVersion(RdfLoad& load) {
  int version = 0;
  if (!load.ReadNumbers(kVersionSection, u"Version", "%d", {&version, 1})) return false;
  if (version != kRdfFormatVersion) return load.Fail(RdfFault::BadVersion, kVersionSection, u"Version");
  return true;
}

bool ReadDocumentPaperList(RdfLoad& load) {
  ListHeader h;
  if (!ReadListHeader(load, u"DocumentPaperList", h)) return false;
  ModelCaps& caps = load.caps;
  const int count = h.size + 1;  // the free paper last
  caps.Papers = AllocList<PaperEntry>(static_cast<std::size_t>(count));
  if (!caps.Papers) return load.Fail(RdfFault::NoMemory, h.section, u"");
  caps.Info.DocumentPaperCount = static_cast<std::uint8_t>(count);
  caps.Defaults.PaperIndex = static_cast<std::uint16_t>(DefaultIndex(h.indexDefault, count));

  std::uint16_t nextUnnumbered = kFirstUnnumberedPaperId;
  for (int i = 1; i <= h.size; ++i) {
    const std::u16string key = EntryKey(i);
    PaperFields f;
    if (!ReadPaperFields(load, h.section, key, f)) return false;
    PaperEntry& e = caps.Papers[i - 1];
    if (!MakePaper(load, h.section, key, f, f.name, e)) return false;
    e.InchFlag = 0;
    if (e.PaperId == 0) e.PaperId = nextUnnumbered++;
  }

  std::u16string freeSection;
  if (!load.ReadText(nullptr, u"FreePaperDefault", kRdfNameValueUnits, freeSection)) return false;
  PaperFields f;
  if (!ReadPaperFields(load, freeSection, u"1", f)) return false;
  std::array<WCHAR, kFreePaperNameUnits + 1> name{};
  if (load.resources) LoadStringW(load.resources, kFreePaperNameString, name.data(), static_cast<int>(name.size()));
  PaperEntry& free = caps.Papers[count - 1];
  if (!MakePaper(load, freeSection, u"1", f, name.data(), free)) return false;
  free.PaperId = kFreePaperId;
  return true;
}

bool ReadFormPaperList(RdfLoad& load) {
  ListHeader h;
  if (!ReadListHeader(load, u"FormPaperList", h)) return false;
  ModelCaps& caps = load.caps;
  const int count = h.size + 1;  // entry 0: no output paper change
  caps.OutputPapers = AllocList<PaperEntry>(static_cast<std::size_t>(count));
  if (!caps.OutputPapers) return load.Fail(RdfFault::NoMemory, h.section, u"");
  caps.Info.OutputPaperCount = static_cast<std::uint8_t>(count);
  caps.Defaults.OutputPaperIndex = static_cast<std::uint16_t>(std::clamp(h.indexDefault, 0, h.size));

  std::u16string name0;
  if (!load.ReadText(h.section.c_str(), u"0", kRdfValueUnits, name0)) return false;
  std::u16string field;
  NextRdfField(name0, field);
  caps.OutputPapers[0].NameId = load.AppendName(field.substr(0, kRdfTextMax));
  if (caps.OutputPapers[0].NameId == 0) return false;

  for (int i = 1; i <= h.size; ++i) {
    const std::u16string key = EntryKey(i);
    PaperFields f;
    if (!ReadPaperFields(load, h.section, key, f)) return false;
    if (!MakePaper(load, h.section, key, f, f.name, caps.OutputPapers[i])) return false;
  }
  return true;
}

bool ReadFreePaper(RdfLoad& load) {
  std::u16string section;
  if (!load.ReadText(nullptr, u"FreePaperDefault", kRdfNameValueUnits, section)) return false;
  PaperFields f;
  if (!ReadPaperFields(load, section, u"1", f)) return false;
  if (!MakePaper(load, section, u"1", f, u"Free", load.caps.FreePaper)) return false;
  load.caps.Info.FreeDefaultWidth = load.caps.FreePaper.Width;
  load.caps.Info.FreeDefaultLength = load.caps.FreePaper.Length;
  return true;
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

bool ReadBinList(RdfLoad& load) {
  ListHeader h;
  ModelCaps& caps = load.caps;
  if (!ReadNamedList<BinEntry, 3>(load, u"BinList", "%s%d%d%d", caps.Bins, caps.Info.BinCount, h,
                                  [](BinEntry& e, const std::array<int, 3>& v) {
                                    e.ThirdValue = static_cast<std::uint16_t>(v[2]);
                                    e.BinId = static_cast<std::uint16_t>(v[0]);
                                    e.SecondValue = static_cast<std::uint16_t>(v[1]);
                                  })) {
    return false;
  }
  caps.Defaults.BinIndex = static_cast<std::uint8_t>(DefaultIndex(h.indexDefault, h.size));
  return true;
}

void FillLevel(LevelEntry& e, const std::array<int, 1>& v) { e.Value = static_cast<std::uint16_t>(v[0]); }

bool ReadSpeedList(RdfLoad& load) {
  ListHeader h;
  ModelCaps& caps = load.caps;
  if (!ReadNamedList<LevelEntry, 1>(load, u"SpeedList", "%s%d", caps.Speeds, caps.Info.SpeedCount, h, FillLevel)) {
    return false;
  }
  caps.Defaults.SpeedIndex = static_cast<std::uint8_t>(DefaultIndex(h.indexDefault, h.size));
  return true;
}

bool ReadDensityList(RdfLoad& load) {
  ListHeader h;
  ModelCaps& caps = load.caps;
  if (!ReadNamedList<LevelEntry, 1>(load, u"DensityList", "%s%d", caps.Densities, caps.Info.DensityCount, h,
                                    FillLevel)) {
    return false;
  }
  const auto index = static_cast<std::uint8_t>(DefaultIndex(h.indexDefault, h.size));
  caps.Defaults.Density1 = index;
  caps.Defaults.Density2 = index;
  return true;
}

bool ReadResolutionList(RdfLoad& load) {
  ListHeader h;
  ModelCaps& caps = load.caps;
  if (!ReadNamedList<ResolutionEntry, 3>(load, u"ResolutionList", "%s%d%d%d", caps.Resolutions,
                                         caps.Info.ResolutionCount, h,
                                         [](ResolutionEntry& e, const std::array<int, 3>& v) {
                                           e.X = v[0];
                                           e.Y = v[1];
                                           e.ThirdValue = static_cast<std::uint16_t>(v[2]);
                                         })) {
    return false;
  }
  caps.Defaults.ResolutionIndex = static_cast<std::uint8_t>(DefaultIndex(h.indexDefault, h.size));
  return true;
}

bool ReadModelKeys(RdfLoad& load) {
  for (const RdfKeyRule& rule : RdfModelKeyRules()) {
    std::array<int, 4> values{};
    bool present = true;
    if (rule.key && rule.format) {
      const std::size_t n = std::string_view(rule.format).size() / 2;
      if (!load.ReadNumbers(rule.section, rule.key, rule.format, std::span<int>(values.data(), n), rule.optional,
                            &present)) {
        return false;
      }
    }
    if (!rule.apply(load, values, present)) return false;
  }
  return true;
}

// Options that the sheets set from the device's answer start from the model's
// "installed" defaults; document choices that need them start off.
void ResetLoadedDefaults(ModelCaps& caps) {
  DocSettings& d = caps.Defaults;
  d.TapeSorterInstalled = caps.Info.TapeSortDefaultOnOFF;
  d.HoldMemoryInstalled = caps.Info.HoldMemoryDefaultOnOFF;
  d.BinListInstalled = caps.Info.BinListDefaultOnOFF;
  d.SortMode = 0;
  d.Staple = 0;
  d.TapeSort = 0;
  d.Reserved2025 = 0;
  d.Interleaf = 0;
  d.SeparationKindTwo = 0;
  d.Booklet = 0;
  d.Booklet4P = 0;
  d.BindingAmount = 0;
  d.BindingAmountInch = 0;
  d.BindingUnit = 0;
  std::fill(std::begin(d.ImagePositionOffsets), std::end(d.ImagePositionOffsets), 0);
  d.SheetByte2672 = 0;
  // ImagePositionEach keeps the model's "ImagePositionEachSettingDefault".
}

bool ReadCustomPaperList(RdfLoad& load) {
  ModelCaps& caps = load.caps;
  std::array<WCHAR, kRdfNameValueUnits> probe{};
  if (ReadRdfString(load.file.c_str(), load.model.c_str(), u"CustomPaperList", probe.data(), kRdfNameValueUnits) < 0) {
    return true;  // no custom papers
  }
  ListHeader h;
  if (!ReadListHeader(load, u"CustomPaperList", h, false)) return false;
  // The custom paper table and the sheets hold at most 30.
  const int count = std::min<int>(h.size, static_cast<int>(kMaxCustomPapers));
  const std::size_t documents = caps.Info.DocumentPaperCount;
  PaperEntry* papers = AllocList<PaperEntry>(documents + static_cast<std::size_t>(count));
  if (!papers) return load.Fail(RdfFault::NoMemory, h.section, u"");
  std::copy_n(caps.Papers, documents, papers);
  GlobalFree(caps.Papers);
  caps.Papers = papers;

  for (int i = 1; i <= count; ++i) {
    const std::u16string key = EntryKey(i);
    PaperFields f;
    if (!ReadPaperFields(load, h.section, key, f)) return false;
    PaperEntry& e = caps.Papers[documents + static_cast<std::size_t>(i - 1)];
    if (!MakePaper(load, h.section, key, f, f.name, e)) return false;
    e.PaperId = static_cast<std::uint16_t>(kFirstCustomPaperId + i - 1);
    e.InchFlag = IsMillimetreUnit(f.unit) ? 0 : 1;
    caps.Info.CustomPaperCount = static_cast<std::uint8_t>(i);
  }
  return true;
}

}  // namespace

bool RdfLoad::ReadSortList() {
  ListHeader h;
  if (!ReadNamedList<LevelEntry, 1>(*this, u"SortList", "%s%d", caps.Sorts, caps.Info.SortCount, h, FillLevel)) {
    return false;
  }
  SetSortKind(caps.Defaults, DefaultIndex(h.indexDefault, h.size));
  return true;
}

int LoadRdf(HMODULE resources, ModelCaps* caps, RdfLoadReport* report) {
  RdfLoadReport local;
  RdfLoadReport& r = report ? *report : local;
  r = RdfLoadReport{};
  if (!caps || !caps->DataFile || !caps->ModelName) {
    r.fault = RdfFault::MissingKey;
    return 0;
  }
  RdfLoad load{*caps, resources, r, std::u16string(plat::view(caps->DataFile)),
               std::u16string(plat::view(caps->ModelName))};

  const bool ok = CheckRdfVersion(load) && ReadDocumentPaperList(load) && ReadFormPaperList(load) &&
                  ReadFreePaper(load) && ReadBinList(load) && ReadSpeedList(load) && ReadDensityList(load) &&
                  ReadResolutionList(load) && ReadModelKeys(load);
  if (!ok) return 0;

  ResetLoadedDefaults(*caps);
  caps->Permanent = caps->Defaults;
  caps->Info.FirstCustomNameId = static_cast<std::uint16_t>(caps->Info.NameCount + 1);
  if (!ReadCustomPaperList(load)) return 0;
  if (BuildCustomPaperTable(caps) != 1) {
    load.Fail(RdfFault::NoMemory, load.model, u"CustomPaperList");
    return 0;
  }
  return 1;
}
