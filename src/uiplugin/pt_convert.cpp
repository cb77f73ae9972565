#include "uiplugin/pt_convert.h"

#include <cstring>
#include <span>

#include "plugincommon/plugin_devmode.h"
#include "uiplugin/pt_keywords.h"

namespace uiplugin {
namespace {

const WCHAR* Keywords() { return PtKeywordTable[kPtKeywordsNamespace]; }
const WCHAR* const* Names(PtKeyword first) { return &PtKeywordTable[first]; }

// "ON"/"OFF" positions per byte value: MarginPlus is on at 0 (1 leaves the
// binding margin out); Rotate and ProgramPrint are on at 1.
struct SwitchFeature {
  PtKeyword feature;
  std::uint8_t DocSettings::*field;
  std::uint8_t onValue;
};
constexpr SwitchFeature kSwitches[] = {
    {kPtMarginPlus, &DocSettings::SyuuiYohaku, 0},
    {kPtRotation180, &DocSettings::Rotate, 1},
    {kPtProgramPrinting, &DocSettings::ProgramPrint, 1},
};

// Order positions each layout accepts: 2RENSYA 0-1, 4RENSYA 2-5.
struct OrderRange {
  std::uint8_t first, last;
};
constexpr OrderRange kTwoRensyaOrders{0, 1};
constexpr OrderRange kFourRensyaOrders{2, 5};

constexpr std::uint8_t kOutputModeKeptAsDirect[] = {3, 4};  // USB folder outputs print directly too

}  // namespace

HRESULT GetFeatureOptionIndex(OEMPTXMLHandler& handler, const WCHAR* feature, std::size_t* index, std::size_t count,
                              const WCHAR* const* names) {
  plugincommon::ComPtr<IXMLDOMElement> element, option;
  HRESULT hr = handler.FindFeature(nullptr, Keywords(), feature, element.Put());
  if (hr != S_OK) return hr;
  hr = handler.GetOptionNode(element.Get(), option.Put());
  if (hr != S_OK) return hr;
  std::u16string ns, local;
  hr = handler.GetNameAttribute(option.Get(), &ns, &local);
  if (hr != S_OK) return FAILED(hr) ? hr : S_FALSE;
  if (ns != Keywords()) return S_FALSE;
  for (std::size_t i = 0; i < count; ++i) {
    if (local == names[i]) {
      *index = i;
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT DeleteFeature(OEMPTXMLHandler& handler, const WCHAR* feature) {
  plugincommon::ComPtr<IXMLDOMElement> element;
  HRESULT hr = handler.FindFeature(nullptr, Keywords(), feature, element.Put());
  if (hr != S_OK) return hr;
  return handler.RemoveChild(nullptr, element.Get());
}

HRESULT SetFeatureOption(OEMPTXMLHandler& handler, const WCHAR* feature, const WCHAR* option) {
  plugincommon::ComPtr<IXMLDOMElement> element;
  HRESULT hr = handler.FindFeature(nullptr, Keywords(), feature, element.Put());
  if (hr != S_OK) return hr;
  hr = handler.RemoveChild(nullptr, element.Get());
  plugincommon::ComPtr<IXMLDOMElement> created, createdOption;
  if (SUCCEEDED(hr)) hr = handler.CreateFeature(Keywords(), feature, created.Put());
  if (SUCCEEDED(hr)) hr = handler.CreateOption(created.Get(), Keywords(), option, createdOption.Put());
  return hr;
}

HRESULT SetFeatureOptionNumber(OEMPTXMLHandler& handler, const WCHAR* feature, long long value) {
  WCHAR text[32];
  const HRESULT hr = FormatBounded(text, 32, "%d", {value});
  if (FAILED(hr)) return hr;
  return SetFeatureOption(handler, feature, text);
}

HRESULT PrintTicketToDevmode(OEMPTXMLHandler& handler, std::size_t devmodeSize, std::size_t privateSize, void* part) {
  if (!part || devmodeSize < kPublicDevmodeSize || privateSize < oemdm::kSize) return E_INVALIDARG;
  std::span<BYTE, oemdm::kSize> bytes(static_cast<BYTE*>(part), oemdm::kSize);
  DocSettings s = oemdm::ReadSettings(bytes);

  std::size_t layout = 0;
  if (GetFeatureOptionIndex(handler, PtKeywordTable[kPtPageLayout], &layout, kPtLayoutCount, Names(kPtStandard)) ==
      S_OK) {
    s.UpLayout = s.UpFour = s.RensyaLayout = s.RensyaOrder = 0;
    if (layout == 1 || layout == 2) {
      s.UpLayout = 1;
      s.UpFour = static_cast<std::uint8_t>(layout - 1);
    } else if (layout == 3 || layout == 4) {
      s.RensyaLayout = 1;
      // 2RENSYA and 4RENSYA differ only by the order: one outside the layout's
      // range (or none) takes the layout's first.
      const OrderRange range = layout == 3 ? kTwoRensyaOrders : kFourRensyaOrders;
      std::size_t order = range.first;
      if (GetFeatureOptionIndex(handler, PtKeywordTable[kPtPageOrder], &order, kPtOrderCount, Names(kPtAscending)) !=
              S_OK ||
          order < range.first || order > range.last)
        order = range.first;
      s.RensyaOrder = static_cast<std::uint8_t>(order);
    }
  }
  for (const SwitchFeature& f : kSwitches) {
    std::size_t position = 0;
    if (GetFeatureOptionIndex(handler, PtKeywordTable[f.feature], &position, 2, Names(kPtOn)) == S_OK)
      s.*f.field = static_cast<std::uint8_t>(position == 0 ? f.onValue : 1 - f.onValue);
  }
  std::size_t destination = 0;
  if (GetFeatureOptionIndex(handler, PtKeywordTable[kPtDestination], &destination, kPtDestinationCount,
                            Names(kPtDirectionPrint)) == S_OK) {
    const bool keepUsb = destination == 0 && (s.OutputMode == kOutputModeKeptAsDirect[0] ||
                                              s.OutputMode == kOutputModeKeptAsDirect[1]);
    if (!keepUsb) s.OutputMode = static_cast<std::uint8_t>(destination);
    s.HoldMemoryInstalled = 1;
  } else {
    s.HoldMemoryInstalled = 0;
  }
  oemdm::WriteSettings(bytes, s);
  return S_OK;
}

HRESULT DevmodeToPrintTicket(OEMPTXMLHandler& handler, std::size_t devmodeSize, std::size_t privateSize,
                             const void* part) {
  if (!part || devmodeSize < kPublicDevmodeSize || privateSize < oemdm::kSize) return E_INVALIDARG;
  const DocSettings s =
      oemdm::ReadSettings(std::span<const BYTE, oemdm::kSize>(static_cast<const BYTE*>(part), oemdm::kSize));
  HRESULT hr = S_OK;
  const WCHAR* layout = PtKeywordTable[kPtStandard];
  const WCHAR* order = nullptr;
  if (s.UpLayout == 1) {
    layout = PtKeywordTable[s.UpFour == 1 ? kPtStandard + 2 : kPtStandard + 1];
  } else if (s.RensyaLayout == 1) {
    // An order past the list names no option: the layout is written without one.
    if (s.RensyaOrder <= kFourRensyaOrders.last) order = PtKeywordTable[kPtAscending + s.RensyaOrder];
    layout = PtKeywordTable[s.RensyaOrder >= kFourRensyaOrders.first && order ? kPtStandard + 4 : kPtStandard + 3];
  }
  hr = SetFeatureOption(handler, PtKeywordTable[kPtPageLayout], layout);
  if (SUCCEEDED(hr)) {
    hr = order ? SetFeatureOption(handler, PtKeywordTable[kPtPageOrder], order)
               : DeleteFeature(handler, PtKeywordTable[kPtPageOrder]);
  }
  for (const SwitchFeature& f : kSwitches) {
    if (s.*f.field > 1) continue;  // neither on nor off
    hr = SetFeatureOption(handler, PtKeywordTable[f.feature],
                          PtKeywordTable[s.*f.field == f.onValue ? kPtOn : kPtOff]);
  }
  if (s.HoldMemoryInstalled == 0) {
    hr = DeleteFeature(handler, PtKeywordTable[kPtDestination]);
  } else if (s.OutputMode < kPtDestinationCount) {
    hr = SetFeatureOption(handler, PtKeywordTable[kPtDestination], PtKeywordTable[kPtDirectionPrint + s.OutputMode]);
  }  // USB outputs have no option: the ticket's stays as it is.
  hr = SetFeatureOptionNumber(handler, PtKeywordTable[kPtScreeningLines], static_cast<std::uint16_t>(s.AmiLine));
  hr = SetFeatureOptionNumber(handler, PtKeywordTable[kPtScreeningAngle], s.AmiAngle);
  return hr;
}

}  // namespace uiplugin
