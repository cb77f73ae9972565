// The scalar keys of a model section: one table in reading order, each row
// naming its key, its format and where the value goes.

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "plat/resources.h"
#include "settings/doc_settings.h"
#include "settings/rdf_load.h"
#include "settings/windows_kind.h"

namespace {

// A member of CapsInfo or of the "Defaults" block; an integer value keeps the
// low bits that fit the field.
template <typename T, typename C>
void Put(ModelCaps& caps, T C::*member, int value) {
  static_assert(std::is_integral_v<T>);
  if constexpr (std::is_same_v<C, CapsInfo>) {
    caps.Info.*member = static_cast<T>(value);
  } else {
    static_assert(std::is_same_v<C, DocSettings>);
    caps.Defaults.*member = static_cast<T>(value);
  }
}

// Every member takes the first number.
template <auto... Members>
bool Store(RdfLoad& load, std::span<const int> v, bool) {
  (Put(load.caps, Members, v[0]), ...);
  return true;
}

// Member i takes number i.
template <auto... Members>
bool StoreEach(RdfLoad& load, std::span<const int> v, bool) {
  std::size_t i = 0;
  (Put(load.caps, Members, v[i++]), ...);
  return true;
}

void SetDrumMode(ModelCaps& caps) {
  const bool oneDrum = caps.Info.DrumCount == 1;
  caps.Defaults.ColorMode = oneDrum ? 1 : 2;
  caps.Defaults.OneInkIndex = oneDrum ? 0 : 1;
}

bool PageLayoutDefault(RdfLoad& load, std::span<const int> v, bool) {
  SetLayoutChoice(load.caps.Defaults, v[0]);
  return true;
}

bool ProgramPrintEnable(RdfLoad& load, std::span<const int> v, bool) {
  load.caps.Info.ProgramPrintEnable = static_cast<std::uint8_t>(v[0]);
  for (std::size_t g = 0; g < std::size(load.caps.Defaults.ProgramPrintBlock); ++g) {
    load.caps.Defaults.ProgramPrintBlock[g] = ProgramGroup{g == 0 ? 1 : 0, 1};
  }
  return true;
}

bool PhotoSyuruiDefault(RdfLoad& load, std::span<const int> v, bool) {
  load.caps.Defaults.PhotoSyurui = load.caps.Info.PhotoSyuruiEnable == 1 ? static_cast<std::uint8_t>(v[0]) : 3;
  return true;
}

bool TextVolumeDefault(RdfLoad& load, std::span<const int> v, bool) {
  SetTextVolume(load.caps.Defaults, v[0]);
  return true;
}

// Paper limits are 0.1 mm in the file; a value whose micrometres do not fit
// 32 bits is refused rather than wrapped.
bool PaperLimit(RdfLoad& load, std::span<const int> v, std::int32_t& width, std::int32_t& length, const char16_t* key) {
  const std::int64_t w = std::int64_t{v[0]} * 100;
  const std::int64_t l = std::int64_t{v[1]} * 100;
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  if (w > kMax || w < kMin || l > kMax || l < kMin) return load.Fail(RdfFault::BadValue, load.model, key);
  width = static_cast<std::int32_t>(w);
  length = static_cast<std::int32_t>(l);
  return true;
}

bool MaxPaperSize(RdfLoad& load, std::span<const int> v, bool) {
  return PaperLimit(load, v, load.caps.Info.MaxPaperWidth, load.caps.Info.MaxPaperLength, u"MaxPaperSize");
}

bool MinPaperSize(RdfLoad& load, std::span<const int> v, bool) {
  return PaperLimit(load, v, load.caps.Info.MinPaperWidth, load.caps.Info.MinPaperLength, u"MinPaperSize");
}

bool MarginSize(RdfLoad& load, std::span<const int> v, bool) {
  std::copy_n(v.begin(), 4, load.caps.Info.Margins);
  load.caps.Defaults.FreeWidth = load.caps.FreePaper.Width;
  load.caps.Defaults.FreeLength = load.caps.FreePaper.Length;
  load.caps.Info.FreeDefaultWidth = load.caps.FreePaper.Width;
  load.caps.Info.FreeDefaultLength = load.caps.FreePaper.Length;
  return true;
}

bool DrumCount(RdfLoad& load, std::span<const int> v, bool) {
  load.caps.Info.DrumCount = static_cast<std::uint8_t>(v[0]);
  SetDrumMode(load.caps);
  return true;
}

bool DefaultInkDrum(RdfLoad& load, std::span<const int> v, bool) {
  DocSettings& d = load.caps.Defaults;
  d.OneInkColor = d.Drum1Color = d.StoredColorA = static_cast<InkCode>(v[0]);
  d.Drum2Color = d.StoredColorB = static_cast<InkCode>(v[1]);
  for (std::size_t i = 0; i < kColorIdCount; ++i) {
    d.InkMarks[i] = (ColorIdList[i] == d.Drum1Color || ColorIdList[i] == d.Drum2Color) ? 1 : 0;
  }
  return true;
}

bool SepaProcUseFlag(RdfLoad& load, std::span<const int> v, bool) {
  load.sepaUseFlag = (v[0] >= 0 && v[0] <= 2) ? v[0] : 0;
  load.caps.Info.SepaProcUseFlag = static_cast<std::uint8_t>(load.sepaUseFlag);
  return true;
}

bool SepaListDefault(RdfLoad& load, std::span<const int> v, bool present) {
  const int u = load.sepaUseFlag;
  int a = v[0];
  int b = v[1];
  if (!present) {
    a = u == 0 ? 2 : 0;
    b = u == 0 ? 2 : 1;
  } else if (u == 0) {
    if (a < 0 || a > 13) a = 2;
    if (b < 0 || b > 17) b = 2;
  } else if (u == 1) {
    if (a < 0 || a > 13) a = 0;
    if (b < 0 || b > 1) b = 1;
  } else {
    if (a < 0 || a > 1) a = 0;
    if (b < 0 || b > 1) b = 1;
  }
  load.sepaA = a;
  load.sepaB = b;
  load.caps.Info.SepaDefaultA = static_cast<std::uint8_t>(a);
  load.caps.Info.SepaDefaultACopy = static_cast<std::uint8_t>(a);
  load.caps.Info.SepaDefaultB = static_cast<std::uint8_t>(b);
  return true;
}

bool KanPareUseFlag(RdfLoad& load, std::span<const int> v, bool) {
  load.kanPareUseFlag = (v[0] == 0 || v[0] == 1) ? v[0] : 0;
  load.caps.Info.KanPareUseFlag = static_cast<std::uint8_t>(load.kanPareUseFlag);
  if (load.kanPareUseFlag == 1) {
    load.sepaB = 3;
    load.caps.Info.SepaDefaultB = 3;
  }
  return true;
}

// The end of the device keys: drum mode again, ink tables, job names,
// separation modes, language and system.
bool FinishDeviceKeys(RdfLoad& load, std::span<const int>, bool) {
  ModelCaps& caps = load.caps;
  DocSettings& d = caps.Defaults;
  SetDrumMode(caps);
  d.InkLab = kInkLabDefaults;
  d.HoldNameFromDoc = 1;
  SetFieldText(d.HoldJobName, u"");
  SetFieldText(d.HoldUserName, u"");
  d.UsbNameFromDoc = 1;
  SetFieldText(d.UsbJobName, u"");
  SetFieldText(d.UsbUserName, u"");
  d.SeparationModeA = d.SeparationModeACopy = d.StoredModeA = static_cast<std::uint8_t>(load.sepaA);
  d.SeparationModeB = d.StoredModeB = static_cast<std::uint8_t>(load.sepaB);

  int language = 0;
  if (load.resources) {
    WCHAR text[16] = {};
    if (LoadStringW(load.resources, 800, text, 16) > 0) {
      std::u16string field;
      NextRdfField(text, field);
      const RdfTarget target{&language, nullptr};
      ScanRdfValue(field, "%d", {&target, 1});
    }
  }
  caps.Info.ResourceLanguage = static_cast<std::uint8_t>(language);
  const int kind = GetWindowsKind();
  caps.Info.WindowsKind = kind < 0 ? 0 : static_cast<std::uint8_t>(kind);
  d.SheetMode = 0;
  return true;
}

bool PrinterIPAdressEnable(RdfLoad& load, std::span<const int> v, bool) {
  load.caps.Info.PrinterIPAdressEnable = static_cast<std::uint8_t>(v[0]);
  SetFieldText(load.caps.Defaults.PrinterAddress, u"0.0.0.0");
  return true;
}

bool GetInformationType(RdfLoad& load, std::span<const int> v, bool) {
  CapsInfo& info = load.caps.Info;
  info.GetInformationType = static_cast<std::uint8_t>(v[0]);
  info.GetInformationOn = (v[0] == 1 || v[0] == 2) ? 1 : 0;
  info.GetInformationBoth = v[0] == 2 ? 1 : 0;
  return true;
}

// The file's copies are kept within the range the driver offers.
bool PrintCopiesDefault(RdfLoad& load, std::span<const int> v, bool) {
  load.caps.Defaults.Copies = std::clamp(v[0], 1, 9999);
  load.caps.Info.CopiesMin = 1;
  load.caps.Info.CopiesMax = 9999;
  load.caps.Info.CollateSupported = 0;
  return true;
}

bool SortList(RdfLoad& load, std::span<const int>, bool) { return load.ReadSortList(); }

constexpr const char* D = "%d";
constexpr const char* DD = "%d%d";
constexpr const char* DDDD = "%d%d%d%d";

using C = CapsInfo;
using S = DocSettings;

constexpr RdfKeyRule kRules[] = {
    // Device keys; the layout, master, image and print groups follow the first.
    {nullptr, u"TapeSortEnable", D, false, Store<&C::TapeSortEnable>},
    {nullptr, u"OutputPaperEnable", D, false, Store<&C::OutputPaperEnable>},
    {nullptr, u"PageLayoutEnable", D, false, Store<&C::PageLayoutEnable>},
    {nullptr, u"PageLayoutDefault", D, false, PageLayoutDefault},
    {nullptr, u"SyuuiYohakuEnable", D, false, Store<&C::SyuuiYohakuEnable>},
    {nullptr, u"SyuuiYohakuDefaultOnOff", D, false, Store<&S::SyuuiYohaku>},
    {nullptr, u"RotateEnable", D, false, Store<&C::RotateEnable>},
    {nullptr, u"RotateDefaultOnOff", D, false, Store<&S::Rotate>},
    {nullptr, u"LayoutImageEnable", D, false, Store<&C::LayoutImageEnable>},
    {nullptr, u"RenzokuModeEnable", D, false, Store<&C::RenzokuModeEnable>},
    {nullptr, u"RenzokuModeDefault", D, false, Store<&S::RenzokuMode>},
    {nullptr, u"OutputModeEnable", D, false, Store<&C::OutputModeEnable>},
    {nullptr, u"OutputModeDefault", D, false, Store<&S::OutputMode>},
    {nullptr, u"HoldMemoryDirectoryEnable", D, false, Store<&C::HoldMemoryDirectoryEnable>},
    {nullptr, u"HoldMemoryDirectoryDefault", D, false, Store<&S::HoldBox>},
    {nullptr, u"ProgramPrintEnable", D, false, ProgramPrintEnable},
    {nullptr, u"ProgramPrintDefaultOnOff", D, false, Store<&S::ProgramPrint>},
    {nullptr, u"SeihanEnable", D, false, Store<&C::SeihanEnable>},
    {nullptr, u"SeihanDefault", D, false, Store<&S::Seihan>},
    {nullptr, u"OsusumeSepaEnable", D, false, Store<&C::OsusumeSepaEnable>},
    {nullptr, u"DrillEnable", D, false, Store<&C::DrillEnable>},
    {nullptr, u"PhotoModeEnable", D, false, Store<&C::PhotoModeEnable>},
    {nullptr, u"PhotoModeDefault", D, false, Store<&S::PhotoMode>},
    {nullptr, u"AmiLineEnable", D, false, Store<&C::AmiLineEnable>},
    {nullptr, u"AmiLineRange", DD, false, StoreEach<&C::AmiLineMin, &C::AmiLineMax>},
    {nullptr, u"AmiLineDefault", D, false, Store<&S::AmiLine, &C::AmiLineDefault>},
    {nullptr, u"AmiAngleEnable", D, false, Store<&C::AmiAngleEnable>},
    {nullptr, u"AmiAngleRange", DD, false, StoreEach<&C::AmiAngleMin, &C::AmiAngleMax>},
    {nullptr, u"AmiAngleDefault", D, false, Store<&S::AmiAngle, &C::AmiAngleDefault>},
    {nullptr, u"PhotoSyuruiEnable", D, false, Store<&C::PhotoSyuruiEnable>},
    {nullptr, u"PhotoSyuruiDefault", D, false, PhotoSyuruiDefault},
    {nullptr, u"GazouTyouseiEnable", D, false, Store<&C::GazouTyouseiEnable>},
    {nullptr, u"AkarusaEnable", D, false, Store<&C::AkarusaEnable>},
    {nullptr, u"AkarusaDefault", D, false, Store<&S::Akarusa>},
    {nullptr, u"ContrastEnable", D, false, Store<&C::ContrastEnable>},
    {nullptr, u"ContrastDefault", D, false, Store<&S::Contrast>},
    {nullptr, u"GyakkouEnable", D, false, Store<&C::GyakkouEnable>},
    {nullptr, u"GyakkouDefaultOnOff", D, false, Store<&S::GyakkouOn>},
    {nullptr, u"GyakkouDefault", D, false, Store<&S::Gyakkou>},
    {nullptr, u"EdgeEnable", D, false, Store<&C::EdgeEnable>},
    {nullptr, u"EdgeDefaultOnOff", D, false, Store<&S::Edge>},
    {nullptr, u"KaityoSmoothEnable", D, false, Store<&C::KaityoSmoothEnable>},
    {nullptr, u"KaityoSmoothDefaultOnOff", D, false, Store<&S::KaityoSmooth>},
    {nullptr, u"TextProcEnable", D, false, Store<&C::TextProcEnable>},
    {nullptr, u"TextProcDefault", D, false, Store<&S::TextProc, &C::TextProcDefault>},
    {nullptr, u"TextVolumeEnable", D, false, Store<&C::TextVolumeEnable>},
    {nullptr, u"TextVolumeDefault", D, false, TextVolumeDefault},
    {nullptr, u"SpeedListEnable", D, false, Store<&C::SpeedListEnable>},
    {nullptr, u"DensityListEnable", D, false, Store<&C::DensityListEnable>},
    {nullptr, u"AishiEnable", D, false, Store<&C::AishiEnable>},
    {nullptr, u"KimituEnable", D, false, Store<&C::KimituEnable>},
    {nullptr, u"KimituDefaultOnOff", D, false, Store<&S::Kimitu>},
    {nullptr, u"RGPanelResetEnable", D, false, Store<&C::RGPanelResetEnable>},
    {nullptr, u"RGPanelResetDefault", D, false, Store<&S::RGPanelReset, &C::RGPanelResetDefault>},
    {nullptr, u"TurboEnable", D, false, Store<&C::TurboEnable>},
    {nullptr, u"TurboDefaultOnOff", D, false, Store<&S::Turbo>},
    {nullptr, u"IntervalEnable", D, false, Store<&C::IntervalEnable>},
    {nullptr, u"IntervalDefaultOnOff", D, false, Store<&S::Interval>},
    {nullptr, u"SyouInkModeEnable", D, false, Store<&C::SyouInkModeEnable>},
    {nullptr, u"SyouInkModeDefaultOnOff", D, false, Store<&S::SyouInkMode>},
    {nullptr, u"NinsyoEnable", D, false, Store<&C::NinsyoEnable>},
    {nullptr, u"NinsyoDefaultOnOff", D, false, Store<&S::Ninsyo>},
    {nullptr, u"NinsyoNoDefault", D, false, Store<&S::NinsyoNo>},
    {nullptr, u"NinsyoNoRange", DD, false, StoreEach<&C::NinsyoNoMin, &C::NinsyoNoMax>},
    {nullptr, u"InkInformationEnable", D, false, Store<&C::InkInformationEnable>},
    {nullptr, u"InkInformationDefaultOnOff", D, false, Store<&S::InkInformation>},
    {nullptr, u"MaxPaperSize", DD, false, MaxPaperSize},
    {nullptr, u"MinPaperSize", DD, false, MinPaperSize},
    {nullptr, u"MarginSize", DDDD, false, MarginSize},
    {nullptr, u"ThumbnailEnable", D, false, Store<&S::Thumbnail>},
    {nullptr, u"DrumCount", D, false, DrumCount},
    {nullptr, u"InkColorList", D, false, Store<&C::InkColorList>},
    {nullptr, u"DefaultInkDrum", DD, false, DefaultInkDrum},
    {nullptr, u"DrumColorPattern", D, false, Store<&C::DrumColorPattern>},
    {nullptr, u"UsbOutEnable", D, false, Store<&C::UsbOutEnable>},
    {u"PrinterUnitData", u"UnitValue", D, true, Store<&C::UnitValue>},
    {u"PrinterDuplexData", u"DuplexEnable", D, true, Store<&C::DuplexEnable>},
    {u"PrinterDuplexData", u"DuplexDefault", D, true, Store<&S::Duplex>},
    {u"SeparationProc", u"SepaProcUseFlag", D, true, SepaProcUseFlag},
    {u"SeparationProc", u"SepaListDefault", DD, true, SepaListDefault},
    {u"KanPare", u"KanPareUseFlag", D, true, KanPareUseFlag},
    {nullptr, nullptr, nullptr, false, FinishDeviceKeys},

    // General, bin, option keys, the sort list and the tape sorter.
    {nullptr, u"PreviewEnable", D, false, Store<&C::PreviewEnable>},
    {nullptr, u"PreviewDefault", D, false, Store<&S::Preview>},
    {nullptr, u"RecognizedByPreview", D, false, Store<&C::RecognizedByPreview>},
    {nullptr, u"BookletEnable", D, false, Store<&C::BookletEnable>},
    {nullptr, u"4PBookletEnable", D, false, Store<&C::FourPBookletEnable>},
    {nullptr, u"BindingMarginEnable", D, false, Store<&C::BindingMarginEnable>},
    {nullptr, u"BindingMarginDefault", D, false, Store<&S::BindingPosition>},
    {nullptr, u"FitPageEnable", D, false, Store<&C::FitPageEnable>},
    {nullptr, u"FitPageDefault", D, false, Store<&S::FitPage>},
    {nullptr, u"ImagePositionEnable", D, false, Store<&C::ImagePositionEnable>},
    {nullptr, u"ImagePositionDefault", D, false, Store<&S::ImagePosition>},
    {nullptr, u"ImagePositionEachSettingEnable", D, false, Store<&C::ImagePositionEachSettingEnable>},
    {nullptr, u"ImagePositionEachSettingDefault", D, false, Store<&S::ImagePositionEach>},
    {nullptr, u"ImagePositionResetEnable", D, false, Store<&C::ImagePositionResetEnable>},
    {nullptr, u"AppSepaSupportEnable", D, false, Store<&C::AppSepaSupportEnable>},
    {nullptr, u"SepaEnable", D, false, Store<&C::SepaEnable>},
    {nullptr, u"SepaDefault", D, false, Store<&C::SepaDefault>},
    {nullptr, u"Drum2LightPrintEnable", D, false, Store<&C::Drum2LightPrintEnable>},
    {nullptr, u"Drum2LightPrintDefault", D, false, Store<&S::Drum2LightPrint>},
    {nullptr, u"ReversePrintEnable", D, false, Store<&C::ReversePrintEnable>},
    {nullptr, u"ReversePrintDefault", D, false, Store<&S::ReversePrint>},
    {nullptr, u"DrumReverseEnable", D, false, Store<&C::DrumReverseEnable>},
    {nullptr, u"DrumReverseDefault", D, false, Store<&S::DrumReverse>},
    {nullptr, u"OverseaModelUIChange", D, false, Store<&C::OverseaModelUIChange>},
    {nullptr, u"DirectPrintOnly", D, false, Store<&C::DirectPrintOnly>},
    {nullptr, u"PrinterIPAdressEnable", D, false, PrinterIPAdressEnable},
    {nullptr, u"PrintColorEntryEnable", D, false, Store<&C::PrintColorEntryEnable>},
    {nullptr, u"GetInformationType", D, false, GetInformationType},
    {nullptr, u"GetInformationEnable", D, false, Store<&C::GetInformationEnable>},
    {nullptr, u"OriginalSizeEnable", D, false, Store<&C::OriginalSizeEnable>},
    {nullptr, u"OrientationEnable", D, false, Store<&C::OrientationEnable>},
    {nullptr, u"OrientationDefault", D, false, Store<&S::Landscape>},
    {nullptr, u"SaveSettingEnable", D, false, Store<&C::SaveSettingEnable>},
    {nullptr, u"SaveSettingFileEnable", D, false, Store<&C::SaveSettingFileEnable>},
    {nullptr, u"RensyaEnable", D, false, Store<&C::RensyaEnable>},
    {nullptr, u"NupEnable", D, false, Store<&C::NupEnable>},
    {nullptr, u"AutoReduceEnable", D, false, Store<&C::AutoReduceEnable>},
    {nullptr, u"AutoReduceDefault", D, false, Store<&S::AutoReduce>},
    {nullptr, u"PrintCopiesEnable", D, false, Store<&C::PrintCopiesEnable>},
    {nullptr, u"PrintCopiesDefault", D, false, PrintCopiesDefault},
    {nullptr, u"BinListEnable", D, false, Store<&C::BinListEnable>},
    {nullptr, u"BinListDefaultOnOFF", D, false, Store<&C::BinListDefaultOnOFF>},
    {nullptr, u"ResolutionEnable", D, false, Store<&C::ResolutionEnable>},
    {nullptr, u"UserPaperResisterEnable", D, false, Store<&C::UserPaperResisterEnable>},
    {nullptr, u"UserPaperFileEnable", D, false, Store<&C::UserPaperFileEnable>},
    {nullptr, u"HoldMemoryEnable", D, false, Store<&C::HoldMemoryEnable>},
    {nullptr, u"HoldMemoryDefaultOnOFF", D, false, Store<&C::HoldMemoryDefaultOnOFF>},
    {nullptr, u"SortEnable", D, false, Store<&C::SortEnable>},
    {nullptr, u"StapleEnable", D, false, Store<&C::StapleEnable>},
    {nullptr, u"SortList", nullptr, false, SortList},
    {nullptr, u"TapeSortEnable", D, false, Store<&C::TapeSortEnable>},
    {nullptr, u"TapeSortDefaultOnOFF", D, false, Store<&C::TapeSortDefaultOnOFF>},
};

}  // namespace

std::span<const RdfKeyRule> RdfModelKeyRules() { return kRules; }
