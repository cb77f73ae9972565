#include "settings/rdf_reader.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>
#include <optional>

#include "plat/files.h"
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

// A paper entry's size in micrometres: 0.1 mm for unit "MM", else thousandths
// of an inch. nullopt when the result does not fit 32 bits.
std::optional<std::int32_t> PaperMicrons(int value, bool millimetres) {
  if (!millimetres) return MilsToMicrons(value);
  const std::int64_t v = std::int64_t{value} * 100;
  if (v > std::numeric_limits<std::int32_t>::max() || v < std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  return static_cast<std::int32_t>(v);
}

// The fields of one "%s%d%d%d%s" paper value.
struct PaperFields {
  std::u16string name;
  int id = 0;
  int width = 0;
  int length = 0;
  std::u16string unit;
};

}  // namespace

// ---------------------------------------------------------------------------
// Values

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

namespace {

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
