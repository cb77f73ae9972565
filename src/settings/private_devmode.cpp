#include "settings/private_devmode.h"

#include <algorithm>
#include <cstring>

#include "settings/drum_pick.h"
#include "settings/caps_store.h"

const BYTE kDevmodeSignature[kSignatureBytes] = {'N',  'E',  'V',  'O',  ' ', 'Q', 'M', '7', '1', '0', '0', 0xBC, 0xD8,
                                                 0xB0, 0xBD, 0xDE, ' ', 'N', 'e', 'v', 'o', 'K', 'o', 'r', 't',  0};

PrivateDevmode* AsPrivateDevmode(DEVMODEW* dm) {
  if (!dm || dm->dmSize != kPublicDevmodeSize || dm->dmDriverExtra != kPrivateDevmodeExtra) return nullptr;
  return reinterpret_cast<PrivateDevmode*>(dm);
}

const PrivateDevmode* AsPrivateDevmode(const DEVMODEW* dm) { return AsPrivateDevmode(const_cast<DEVMODEW*>(dm)); }

namespace {

SHORT ToShort(std::int64_t v) {
  return static_cast<SHORT>(std::clamp<std::int64_t>(v, INT16_MIN, INT16_MAX));
}

// The model's paper count figures: n document papers (free paper last), total with custom papers.
struct PaperCounts {
  std::size_t documents;
  std::size_t total;
};

PaperCounts CountPapers(const ModelCaps& caps) {
  if (!caps.Papers) return {0, 0};
  return {caps.Info.DocumentPaperCount, caps.PaperCount()};
}

// 0.1 mm from a paper entry's micrometres.
std::int32_t TenthMm(std::int32_t microns) { return microns / 100; }

// Bounded copy of a name into a DEVMODE text field, always terminated.
void SetDevmodeText(WCHAR (&field)[32], const WCHAR* text, std::size_t maxUnits) {
  std::size_t n = 0;
  if (text)
    while (n < maxUnits && text[n] != 0) ++n;
  SetFieldText(field, std::u16string_view(text ? text : u"", n));
}

void CopyPreviewProgram(HANDLE printer, DocSettings& s) {
  DWORD size = 0;
  BYTE* value = GetPrinterDataPadded(printer, kValuePreviewExe, &size);
  if (!value) return;
  const auto* text = reinterpret_cast<const WCHAR*>(value);
  std::size_t n = 0;
  while (n < size / sizeof(WCHAR) && n < kPreviewProgramUnits - 1 && text[n] != 0) ++n;
  SetFieldText(s.PreviewProgram, std::u16string_view(text, n));
  GlobalFree(value);
}

// dmPrintQuality/dmYResolution of a resolution entry: 300 x 600 is announced as
// 600 x 600 and 300 x 400 as 300 x 300.
void AnnouncedResolution(const ResolutionEntry& r, SHORT& x, SHORT& y) {
  std::int32_t ax = r.X, ay = r.Y;
  if (r.X == 300 && r.Y == 600) ax = 600;
  if (r.X == 300 && r.Y == 400) ay = 300;
  x = ToShort(ax);
  y = ToShort(ay);
}

std::size_t IndexOr0(std::size_t index, std::size_t count) { return index < count ? index : 0; }

}  // namespace

// ---------------------------------------------------------------------------

PrivateDevmode* BuildDefaultDevmode(HANDLE printer, const ModelCaps& caps, Generation generation) {
  auto* pd = static_cast<PrivateDevmode*>(GlobalAlloc(GPTR, sizeof(PrivateDevmode)));
  if (!pd) return nullptr;
  const DocSettings& d = caps.Defaults;
  const CapsInfo& info = caps.Info;
  DEVMODEW& dm = pd->Public;

  SetDevmodeText(dm.dmDeviceName, caps.ModelName, CCHDEVICENAME);
  dm.dmSpecVersion = kDevmodeSpecVersion;
  dm.dmDriverVersion = generation == Generation::Plugin ? kPluginDriverVersion : kClassicDriverVersion;
  dm.dmSize = kPublicDevmodeSize;
  dm.dmDriverExtra = kPrivateDevmodeExtra;
  dm.dmFields = kDefaultDevmodeFields | (info.DuplexEnable == 1 ? DM_DUPLEX : 0);
  dm.dmOrientation = d.Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;

  // Damaged defaults pointing outside a list fall back to its first entry.
  const PaperEntry* paper = PaperAt(caps, IndexOr0(d.PaperIndex, caps.PaperCount()));
  if (d.FreePaper) {
    dm.dmPaperSize = kFreePaperId;
    dm.dmPaperLength = ToShort((std::int64_t{d.FreeLength} + 50) / 100);
    dm.dmPaperWidth = ToShort((std::int64_t{d.FreeWidth} + 50) / 100);
  } else if (paper) {
    dm.dmPaperSize = static_cast<SHORT>(paper->PaperId);
    dm.dmPaperLength = ToShort(TenthMm(paper->Length));
    dm.dmPaperWidth = ToShort(TenthMm(paper->Width));
  }
  if (generation == Generation::Plugin && dm.dmPaperSize == 0) dm.dmPaperSize = kFreePaperId;
  dm.dmScale = 100;
  dm.dmCopies = static_cast<SHORT>(static_cast<std::uint16_t>(d.Copies & 0xFFFF));
  if (const BinEntry* bin = BinAt(caps, IndexOr0(d.BinIndex, info.BinCount)))
    dm.dmDefaultSource = static_cast<SHORT>(bin->BinId);
  const ResolutionEntry* res = ResolutionAt(caps, IndexOr0(d.ResolutionIndex, info.ResolutionCount));
  if (res) AnnouncedResolution(*res, dm.dmPrintQuality, dm.dmYResolution);
  dm.dmColor = DMCOLOR_COLOR;
  dm.dmTTOption = DMTT_BITMAP;
  dm.dmCollate = DMCOLLATE_FALSE;
  if (paper) SetDevmodeText(dm.dmFormName, NameListText(caps.Names, paper->NameId), CCHFORMNAME);

  std::copy(std::begin(info.Margins), std::end(info.Margins), pd->Margins);
  if (res) {
    pd->XResolution = static_cast<WORD>(res->X);
    pd->YResolution = static_cast<WORD>(res->Y);
  }
  pd->DrumCount = info.DrumCount;
  pd->DrumColorPattern = info.DrumColorPattern;
  pd->WindowsKind = info.WindowsKind;
  pd->LanguageNumber = info.ResourceLanguage;
  pd->InfoTaken = 0;

  DocSettings& s = pd->Settings;
  s = d;
  s.PaperWidth = dm.dmPaperWidth;
  s.PaperLength = dm.dmPaperLength;
  if (s.PaperIndex >= caps.PaperCount()) s.PaperIndex = 0;
  if (s.BinIndex >= info.BinCount) s.BinIndex = 0;
  if (s.ResolutionIndex >= info.ResolutionCount) s.ResolutionIndex = 0;
  if (s.OutputPaperIndex != 0) {
    if (const PaperEntry* out = OutputPaperAt(caps, s.OutputPaperIndex)) {
      s.OutputPaperWidth = TenthMm(out->Width);
      s.OutputPaperLength = TenthMm(out->Length);
    } else {
      s.OutputPaperIndex = 0;
    }
  }
  if (printer) CopyPreviewProgram(printer, s);

  FillPrivateHeader(&dm, nullptr, generation);
  pd->RecognizedByPreview = info.RecognizedByPreview;
  pd->DirectPrintOnly = info.DirectPrintOnly;
  return pd;
}

// ---------------------------------------------------------------------------

int FillPrivateHeader(DEVMODEW* dm, ModelCaps* caps, Generation generation) {
  PrivateDevmode* pd = AsPrivateDevmode(dm);
  if (!pd) return 0;
  BYTE source[32] = {};
  std::memcpy(source, kDevmodeSignature, kSignatureBytes);
  // Bytes 220-247: the signature's 13 units and a zero unit.
  CopyWideString16(pd->Signature, (kSignatureBytes + 2) / 2, source, sizeof(source) / 2);
  pd->VersionWord = kPrivateVersionWord;
  pd->BuildNumber = generation == Generation::Plugin ? kPluginBuildNumber : kClassicBuildNumber;
  pd->One = 1;
  if (caps) {
    pd->RecognizedByPreview = caps->Info.RecognizedByPreview;
    pd->DirectPrintOnly = caps->Info.DirectPrintOnly;
  }
  std::memset(pd->Reserved347, 0, sizeof(pd->Reserved347));

  DocSettings& s = pd->Settings;
  if (pd->AppPage.ApplyFlag == 1) {
    if (ApplyAppPageRecord(pd->AppPage, s, dm) && caps) {
      DocSettings& d = caps->Defaults;
      d.Landscape = s.Landscape;
      d.Rotate = s.Rotate;
      d.FreeWidth = s.FreeWidth;
      d.FreeLength = s.FreeLength;
      d.FreePaper = s.FreePaper;
      d.AppPageApplied = s.AppPageApplied;
    }
  } else {
    pd->AppPage.Applied = 0;
    pd->AppPage.FormName[0] = 0;
    pd->AppPage.Rotation = 0;
    pd->AppPage.Size1 = 0;
    pd->AppPage.Size2 = 0;
    s.AppPageApplied = 0;
    if (caps) caps->Defaults.AppPageApplied = 0;
  }
  return 1;
}

bool ApplyAppPageRecord(AppPageRecord& record, DocSettings& s, DEVMODEW* pub) {
  // Sizes are 0.1 mm and must fit the DEVMODE's paper fields; others are refused whole.
  auto fits = [](std::int32_t v) { return v > 0 && v <= INT16_MAX; };
  if (!fits(record.Size1) || !fits(record.Size2)) return false;

  record.Applied = 1;
  std::int32_t first = record.Size1;
  std::int32_t second = record.Size2;
  switch (record.Rotation) {
    case 0:
      s.Rotate = 0;
      s.Landscape = 0;
      break;
    case 90:
      s.Rotate = 1;
      s.Landscape = 1;
      std::swap(first, second);
      break;
    case 180:
      s.Rotate = 1;
      s.Landscape = 0;
      break;
    case 270:
      s.Rotate = 0;
      s.Landscape = 1;
      std::swap(first, second);
      break;
    default:  // other rotations keep the orientation and the sizes in order
      break;
  }
  s.FreeWidth = first * 100;
  s.FreeLength = second * 100;
  s.FreePaper = 1;
  s.AppPageApplied = 1;

  s.OutputPaperIndex = 0;
  s.FreeUnit = 0;
  s.Duplex = 0;
  s.UpLayout = 0;
  s.RensyaLayout = 0;
  s.Booklet = 0;
  s.Booklet4P = 0;
  s.BindingPosition = 0;
  s.FitPage = 0;
  s.SyuuiYohaku = 0;
  s.ImagePosition = 0;

  if (pub) {
    pub->dmPaperSize = kFreePaperId;
    pub->dmOrientation = s.Landscape ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
    SetDevmodeText(pub->dmFormName, record.FormName, CCHFORMNAME);
    // Width with width, as everywhere else: the free size reads back unchanged.
    pub->dmPaperWidth = static_cast<SHORT>(first);
    pub->dmPaperLength = static_cast<SHORT>(second);
  }
  return true;
}

// ---------------------------------------------------------------------------

namespace {

// Settings bytes that choose one of a few kinds, with their range: a value
// outside it would leave the job without a drum, an output or a separation.
struct KindRange {
  std::uint8_t DocSettings::*field;
  std::uint8_t first;
  std::uint8_t last;
};
constexpr KindRange kKindRanges[] = {
    {&DocSettings::ColorMode, 1, 2},
    {&DocSettings::Seihan, 0, 2},
    {&DocSettings::OutputMode, 0, kOutputModeLast},
    {&DocSettings::SeparationKind, 0, 3},
    {&DocSettings::Duplex, 0, 2},
};

}  // namespace

void ReplaceKindsOutOfRange(DocSettings& s, const DocSettings& defaults) {
  for (const KindRange& k : kKindRanges) {
    std::uint8_t& value = s.*k.field;
    if (value >= k.first && value <= k.last) continue;
    const std::uint8_t fallback = defaults.*k.field;
    value = fallback >= k.first && fallback <= k.last ? fallback : k.first;
  }
}

void ClampListIndices(DocSettings& s, const ModelCaps& caps) {
  const DocSettings& d = caps.Defaults;
  const CapsInfo& info = caps.Info;
  auto clamp = [](auto& index, auto fallback, std::size_t count) {
    if (static_cast<std::size_t>(index) < count) return;
    index = static_cast<std::size_t>(fallback) < count ? fallback : 0;
  };
  clamp(s.PaperIndex, d.PaperIndex, caps.Papers ? caps.PaperCount() : 0);
  clamp(s.BinIndex, d.BinIndex, caps.Bins ? info.BinCount : 0);
  clamp(s.SpeedIndex, d.SpeedIndex, caps.Speeds ? info.SpeedCount : 0);
  clamp(s.Density1, d.Density1, caps.Densities ? info.DensityCount : 0);
  clamp(s.Density2, d.Density2, caps.Densities ? info.DensityCount : 0);
  clamp(s.ResolutionIndex, d.ResolutionIndex, caps.Resolutions ? info.ResolutionCount : 0);
  if (!caps.OutputPapers || s.OutputPaperIndex >= info.OutputPaperCount) s.OutputPaperIndex = 0;
}

bool ValidateDevmode(HANDLE printer, DEVMODEW* dm, ModelCaps& caps, Generation generation) {
  PrivateDevmode* pd = AsPrivateDevmode(dm);
  if (!pd) return false;
  DocSettings& s = pd->Settings;

  s.Copies = dm->dmCopies;
  s.Landscape = dm->dmOrientation == DMORIENT_LANDSCAPE ? 1 : 0;

  const PaperCounts counts = CountPapers(caps);
  const std::size_t freeIndex = counts.documents > 0 ? counts.documents - 1 : 0;
  auto paperAt = [&](std::size_t index) { return index < counts.total ? &caps.Papers[index] : nullptr; };
  // FindPaperBySize answers 1-based; 0 means no paper of that size.
  auto findBySize = [&]() { return FindPaperBySize(caps.Papers, counts.total, dm->dmPaperWidth, dm->dmPaperLength); };

  if (dm->dmFields & DM_PAPERSIZE) {
    const bool freeSize = dm->dmPaperSize == 0 || dm->dmPaperSize == kFreePaperId;
    if (!freeSize) {
      if (generation == Generation::Plugin) {
        const std::size_t position = FindPaperByFormIndex(caps.Papers, counts.total, dm->dmPaperSize);
        s.PaperIndex = static_cast<std::uint16_t>(position ? position - 1 : 0);
      } else {
        s.PaperIndex = static_cast<std::uint16_t>(FindPaperById(caps.Papers, counts.total, dm->dmPaperSize));
      }
    } else {
      s.FreeWidth = dm->dmPaperWidth * 100;
      s.FreeLength = dm->dmPaperLength * 100;
      if (std::size_t found = findBySize()) {
        s.PaperIndex = static_cast<std::uint16_t>(found - 1);
        dm->dmPaperSize = static_cast<SHORT>(caps.Papers[found - 1].PaperId);
      } else {
        s.PaperIndex = static_cast<std::uint16_t>(freeIndex);
      }
    }
    if (counts.documents > 0 && s.PaperIndex == freeIndex) {
      s.PaperWidth = s.FreeWidth / 100;
      s.PaperLength = s.FreeLength / 100;
      caps.Defaults.FreeWidth = s.FreeWidth;
      caps.Defaults.FreeLength = s.FreeLength;
    } else if (const PaperEntry* p = paperAt(s.PaperIndex)) {
      s.PaperWidth = TenthMm(p->Width);
      s.PaperLength = TenthMm(p->Length);
    }
    if (!freeSize) {
      dm->dmPaperWidth = ToShort(s.PaperWidth);
      dm->dmPaperLength = ToShort(s.PaperLength);
    }
  } else {
    std::size_t found = findBySize();
    s.PaperIndex = static_cast<std::uint16_t>(found ? found - 1 : freeIndex);
    s.FreeWidth = dm->dmPaperWidth * 100;
    s.FreeLength = dm->dmPaperLength * 100;
    s.PaperWidth = dm->dmPaperWidth;
    s.PaperLength = dm->dmPaperLength;
  }

  s.BinIndex = dm->dmDefaultSource >= 256 ? static_cast<std::uint8_t>((dm->dmDefaultSource + 1) % 256) : 0;
  ClampListIndices(s, caps);
  ReplaceKindsOutOfRange(s, caps.Defaults);

  FillPrivateHeader(dm, &caps, generation);

  if (s.OutputPaperIndex != 0) {
    if (const PaperEntry* out = OutputPaperAt(caps, s.OutputPaperIndex)) {
      s.OutputPaperWidth = TenthMm(out->Width);
      s.OutputPaperLength = TenthMm(out->Length);
    }
  }
  if (pd->InfoTaken == 0) {
    PickDrumColors(std::span<const std::uint8_t, kColorIdCount>(caps.Defaults.InkMarks), s.OneInkColor, s.Drum1Color,
                   s.Drum2Color, caps.Info.DrumColorPattern);
  }
  if (printer) CopyPreviewProgram(printer, s);
  return true;
}

// ---------------------------------------------------------------------------

DeviceLevelValues TakeDeviceLevelValues(const DocSettings& s) {
  DeviceLevelValues v{};
  v.ResolutionIndex = s.ResolutionIndex;
  v.SortKind = s.SortKind;
  v.SorterInstalled = s.SorterInstalled;
  v.StaplerInstalled = s.StaplerInstalled;
  v.TapeSorterInstalled = s.TapeSorterInstalled;
  v.HoldMemoryInstalled = s.HoldMemoryInstalled;
  v.BinListInstalled = s.BinListInstalled;
  v.InkInformation = s.InkInformation;
  std::memcpy(v.InkMarks, s.InkMarks, sizeof(v.InkMarks));
  v.InkLab = s.InkLab;
  std::memcpy(v.PrinterAddress, s.PrinterAddress, sizeof(v.PrinterAddress));
  return v;
}

void RestoreDeviceLevelValues(DocSettings& s, const DeviceLevelValues& v, bool withInk) {
  s.ResolutionIndex = v.ResolutionIndex;
  s.SortKind = v.SortKind;
  s.SorterInstalled = v.SorterInstalled;
  s.StaplerInstalled = v.StaplerInstalled;
  s.TapeSorterInstalled = v.TapeSorterInstalled;
  s.HoldMemoryInstalled = v.HoldMemoryInstalled;
  s.BinListInstalled = v.BinListInstalled;
  s.InkInformation = v.InkInformation;
  std::memcpy(s.PrinterAddress, v.PrinterAddress, sizeof(s.PrinterAddress));
  if (withInk) {
    std::memcpy(s.InkMarks, v.InkMarks, sizeof(s.InkMarks));
    s.InkLab = v.InkLab;
  }
}

void ApplySortOptionRule(DocSettings& s, const DocSettings& p) {
  if (s.SortKind == 0) {
    s.SortMode = p.SortMode;
    s.Staple = p.Staple;
  } else if (s.SortKind == 1) {
    s.Staple = p.Staple;
  }
}

void ApplyTapeSortOptionRule(DocSettings& s, const DocSettings& p) {
  if (s.TapeSorterInstalled != 0) return;
  s.TapeSort = p.TapeSort;
  if (s.ProgramSeparator == 1) s.ProgramSeparator = 0;
}

void ApplyHoldMemoryOptionRule(DocSettings& s, const DocSettings&) {
  if (s.HoldMemoryInstalled != 0) return;
  const auto mode = static_cast<OutputMode>(s.OutputMode);
  if (mode == OutputMode::PrintAndHold || mode == OutputMode::HoldOnly)
    s.OutputMode = static_cast<std::uint8_t>(OutputMode::Print);
}

void ApplyBinListOptionRule(DocSettings& s, const DocSettings& p) {
  if (s.BinListInstalled != 0) return;
  s.Interleaf = p.Interleaf;
  if (s.ProgramSeparator == 2) s.ProgramSeparator = 0;
}

void ApplyOptionRules(DocSettings& s, const DocSettings& permanent) {
  ApplySortOptionRule(s, permanent);
  ApplyTapeSortOptionRule(s, permanent);
  ApplyHoldMemoryOptionRule(s, permanent);
  ApplyBinListOptionRule(s, permanent);
}

DocSettings ReadPermanentSettings(HANDLE printer) {
  DocSettings permanent{};
  DWORD size = 0;
  if (BYTE* value = GetPrinterDataAlloc(printer, kValuePermanent, &size)) {
    if (size == sizeof(DocSettings)) std::memcpy(&permanent, value, sizeof(DocSettings));
    GlobalFree(value);
  }
  return permanent;
}

// ---------------------------------------------------------------------------

namespace {

// The printer's own DEVMODE (PRINTER_INFO_2) over pd; false when the printer
// has none of ours or the spooler does not answer as expected.
bool OverlayPrinterDevmode(HANDLE printer, PrivateDevmode* pd) {
  DWORD needed = 0;
  if (GetPrinterW(printer, 2, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(PRINTER_INFO_2W)) {
    return false;
  }
  auto* buffer = static_cast<BYTE*>(LocalAlloc(LPTR, needed));
  if (!buffer) return false;
  bool ok = false;
  DWORD again = 0;
  if (GetPrinterW(printer, 2, buffer, needed, &again) && again == needed) {
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer);
    const auto* dm = reinterpret_cast<const BYTE*>(info->pDevMode);
    // Only a DEVMODE of our shape, lying wholly inside the answer, is taken.
    if (dm && dm >= buffer && dm + sizeof(DEVMODEW) <= buffer + needed && AsPrivateDevmode(info->pDevMode) &&
        dm + sizeof(PrivateDevmode) <= buffer + needed) {
      std::memcpy(pd, dm, sizeof(PrivateDevmode));
      ok = true;
    }
  }
  LocalFree(buffer);
  return ok;
}

// List sizes of the printer's model for the index check after a merge:
// counts of "Info", bounded by what each list value holds.
struct ListCounts {
  std::size_t papers, outputPapers, bins, speeds, densities, resolutions;
};

DWORD ValueSize(HANDLE printer, const WCHAR* name) {
  DWORD type = 0, needed = 0;
  DWORD rc = GetPrinterDataW(printer, name, &type, nullptr, 0, &needed);
  return rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA ? needed : 0;
}

bool ReadListCounts(HANDLE printer, ListCounts& c) {
  DWORD size = 0;
  BYTE* value = GetPrinterDataAlloc(printer, kValueInfo, &size);
  if (!value) return false;
  bool ok = size == sizeof(CapsInfo);
  if (ok) {
    CapsInfo info;
    std::memcpy(&info, value, sizeof(info));
    auto bounded = [&](std::size_t count, const WCHAR* name, std::size_t entryBytes) {
      return std::min(count, std::size_t{ValueSize(printer, name)} / entryBytes);
    };
    c.papers = bounded(std::size_t{info.DocumentPaperCount} + std::min<std::size_t>(info.CustomPaperCount, kMaxCustomPapers),
                       kValuePaper, sizeof(PaperEntry));
    c.outputPapers = bounded(info.OutputPaperCount, kValueOutputPaper, sizeof(PaperEntry));
    c.bins = bounded(info.BinCount, kValueBinList, sizeof(BinEntry));
    c.speeds = bounded(info.SpeedCount, kValueSpeed, sizeof(LevelEntry));
    c.densities = bounded(info.DensityCount, kValueDensity, sizeof(LevelEntry));
    c.resolutions = bounded(info.ResolutionCount, kValueDpi, sizeof(ResolutionEntry));
  }
  GlobalFree(value);
  return ok;
}

void ClampToCounts(DocSettings& s, const DocSettings& d, const ListCounts& c) {
  auto clamp = [](auto& index, auto fallback, std::size_t count) {
    if (static_cast<std::size_t>(index) < count) return;
    index = static_cast<std::size_t>(fallback) < count ? fallback : 0;
  };
  clamp(s.PaperIndex, d.PaperIndex, c.papers);
  clamp(s.BinIndex, d.BinIndex, c.bins);
  clamp(s.SpeedIndex, d.SpeedIndex, c.speeds);
  clamp(s.Density1, d.Density1, c.densities);
  clamp(s.Density2, d.Density2, c.densities);
  clamp(s.ResolutionIndex, d.ResolutionIndex, c.resolutions);
  if (s.OutputPaperIndex >= c.outputPapers) s.OutputPaperIndex = 0;
}

}  // namespace

PrivateDevmode* GetMergedDevmode(HANDLE printer, const DEVMODEW* caller) {
  auto* pd = static_cast<PrivateDevmode*>(GlobalAlloc(GPTR, sizeof(PrivateDevmode)));
  if (!pd) return nullptr;
  pd->Public.dmSize = kPublicDevmodeSize;
  pd->Public.dmDriverExtra = kPrivateDevmodeExtra;
  if (!ReadDefaultDevmodeFromHandle(printer, &pd->Public) || !AsPrivateDevmode(&pd->Public)) {
    GlobalFree(pd);
    return nullptr;
  }
  const DocSettings defaults = pd->Settings;
  const DeviceLevelValues kept = TakeDeviceLevelValues(pd->Settings);
  const WORD keptX = pd->XResolution;
  const WORD keptY = pd->YResolution;

  OverlayPrinterDevmode(printer, pd);
  pd->InfoTaken = 0;

  DEVMODEW& dm = pd->Public;
  if (caller && caller->dmSize >= offsetof(DEVMODEW, dmFormName) && caller->dmDeviceName[0] != 0 &&
      caller->dmDriverVersion == kClassicDriverVersion && caller->dmDriverExtra == kPrivateDevmodeExtra) {
    dm.dmCopies = caller->dmCopies < 1 ? SHORT{1} : caller->dmCopies;
    if (caller->dmPaperSize != 0 || (caller->dmPaperWidth != 0 && caller->dmPaperLength != 0)) {
      dm.dmPaperSize = caller->dmPaperSize;
      dm.dmOrientation = caller->dmOrientation;
      dm.dmPaperWidth = caller->dmPaperWidth;
      dm.dmPaperLength = caller->dmPaperLength;
    }
    dm.dmCollate = (dm.dmFields & DM_COLLATE) ? caller->dmCollate : SHORT{0};
    dm.dmScale = caller->dmScale;
    dm.dmDefaultSource = caller->dmDefaultSource;
    // The private part sits right after the caller's own public part.
    std::memcpy(reinterpret_cast<BYTE*>(pd) + kPublicDevmodeSize,
                reinterpret_cast<const BYTE*>(caller) + caller->dmSize, kPrivateDevmodeExtra);
  }

  // The printer's own values stand over any document's.
  RestoreDeviceLevelValues(pd->Settings, kept, pd->InfoTaken == 0);
  pd->XResolution = keptX;
  pd->YResolution = keptY;

  // Out-of-range indices and kinds take the printer's "Defaults"; without
  // that value, those of the stored default DEVMODE.
  DocSettings fallback = defaults;
  {
    DWORD size = 0;
    if (BYTE* value = GetPrinterDataAlloc(printer, kValueDefaults, &size)) {
      if (size == sizeof(DocSettings)) std::memcpy(&fallback, value, sizeof(DocSettings));
      GlobalFree(value);
    }
  }
  ListCounts counts{};
  if (ReadListCounts(printer, counts)) ClampToCounts(pd->Settings, fallback, counts);
  ReplaceKindsOutOfRange(pd->Settings, fallback);

  ApplyOptionRules(pd->Settings, ReadPermanentSettings(printer));
  return pd;
}

// ---------------------------------------------------------------------------

WORD SpecVersionForSize(const DEVMODEW* dm) {
  if (!dm) return 0;
  switch (dm->dmSize) {
    case 188:
      return 0x320;
    case 212:
      return 0x400;
    case 220:
      return 0x401;
    default:
      return dm->dmSpecVersion;
  }
}

int CopyDevmode(const DEVMODEW* source, DEVMODEW* target) {
  if (SpecVersionForSize(source) == 0 || SpecVersionForSize(target) == 0) return -1;
  // Both must hold at least the header fields that are kept.
  constexpr std::size_t kHeader = offsetof(DEVMODEW, dmFields);
  if (source->dmSize < kHeader || target->dmSize < kHeader) return -1;
  const WORD driverVersion = target->dmDriverVersion;
  const WORD size = target->dmSize;
  const WORD extra = target->dmDriverExtra;
  const WORD specVersion = SpecVersionForSize(target);
  const std::size_t publicBytes = std::min(source->dmSize, size);
  const std::size_t privateBytes = std::min(source->dmDriverExtra, extra);
  const WORD sourceSize = source->dmSize;
  std::memmove(target, source, publicBytes);
  target->dmDriverVersion = driverVersion;
  target->dmSize = size;
  target->dmDriverExtra = extra;
  target->dmSpecVersion = specVersion;
  std::memmove(reinterpret_cast<BYTE*>(target) + size, reinterpret_cast<const BYTE*>(source) + sourceSize, privateBytes);
  return static_cast<int>(publicBytes + privateBytes);
}

int CopyDevmodeOut(const DEVMODEW* source, const DEVMODEW* input, DEVMODEW* output, std::size_t outputBytes) {
  if (!source || !output) return 0;
  if (!input) {
    std::size_t whole = std::size_t{source->dmSize} + source->dmDriverExtra;
    if (whole > outputBytes) return 0;
    std::memmove(output, source, whole);
    return 1;
  }
  const DEVMODEW* sizeFrom = input->dmSize < source->dmSize ? input : source;
  const DEVMODEW* extraFrom = input->dmDriverExtra < source->dmDriverExtra ? input : source;
  if (std::size_t{sizeFrom->dmSize} + extraFrom->dmDriverExtra > outputBytes || outputBytes < offsetof(DEVMODEW, dmFields))
    return 0;
  const WORD specVersion = sizeFrom->dmSpecVersion, size = sizeFrom->dmSize;
  const WORD version = extraFrom->dmDriverVersion, extra = extraFrom->dmDriverExtra;
  output->dmSpecVersion = specVersion;
  output->dmSize = size;
  output->dmDriverVersion = version;
  output->dmDriverExtra = extra;
  return CopyDevmode(source, output) > 0 ? 1 : 0;
}

std::size_t FindPaperById(const PaperEntry* papers, std::size_t count, int id) {
  for (std::size_t i = 0; papers && i < count; ++i)
    if (papers[i].PaperId == id) return i;
  return 0;
}

std::size_t FindPaperByFormIndex(const PaperEntry* papers, std::size_t count, int formIndex) {
  for (std::size_t i = 0; papers && i < count; ++i)
    if (papers[i].PaperId == formIndex) return i + 1;
  return 0;
}

std::size_t FindPaperBySize(const PaperEntry* papers, std::size_t count, std::int32_t width, std::int32_t length) {
  const std::int64_t w = std::int64_t{width} * 100, l = std::int64_t{length} * 100;
  for (std::size_t i = 0; papers && i < count; ++i)
    if (papers[i].Width == w && papers[i].Length == l) return i + 1;
  return 0;
}

bool CopyWideString16(void* target, std::size_t targetUnits, const void* source, std::size_t sourceUnits) {
  if (!target || targetUnits == 0) return false;
  auto* out = static_cast<BYTE*>(target);
  const auto* in = static_cast<const BYTE*>(source);
  std::size_t n = 0;
  while (in && n < sourceUnits && n + 1 < targetUnits && (in[2 * n] != 0 || in[2 * n + 1] != 0)) {
    out[2 * n] = in[2 * n];
    out[2 * n + 1] = in[2 * n + 1];
    ++n;
  }
  out[2 * n] = 0;
  out[2 * n + 1] = 0;
  return n > 0;
}
