#include "uiplugin/plugin_sheets.h"

#include <cstring>
#include <optional>
#include <string>

#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/byte_order.h"
#include "settings/caps_store.h"
#include "settings/custom_forms.h"
#include "settings/private_devmode.h"
#include "settings/spooler_forms.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_driver.h"

namespace uiplugin {
namespace {

// DEVMODE bytes 220-475: the private part's head an application page record lives in.
constexpr std::size_t kPrivateHeadBytes = 256;
constexpr std::size_t kFirstPaperBin = 256;  // dmDefaultSource DMBIN_USER + n selects bin n + 1

std::span<BYTE, oemdm::kSize> PartOf(const OEMUIPSPARAM& param) {
  return std::span<BYTE, oemdm::kSize>(static_cast<BYTE*>(param.pOEMDM), oemdm::kSize);
}

// A part the core handed over is ours when its header says so.
bool IsOwnPart(const OEMUIPSPARAM& param) {
  return param.pOEMDM && oemdm::ReadHeader(param.pOEMDM) == oemdm::kOwnHeader;
}

// The paper chosen by position (0-based), or the free-size paper.
void ChoosePaper(DocSettings& s, std::size_t position, const PaperEntry& e) {
  s.PaperIndex = static_cast<std::uint16_t>(position);
  s.FreePaper = 0;
  s.PaperWidth = e.Width;
  s.PaperLength = e.Length;
}
void ChooseFreeSize(DocSettings& s, const ModelCaps& caps, std::int32_t width, std::int32_t length) {
  s.PaperIndex = static_cast<std::uint16_t>(caps.Info.DocumentPaperCount ? caps.Info.DocumentPaperCount - 1 : 0);
  s.FreePaper = 1;
  s.FreeWidth = width;
  s.FreeLength = length;
}

// A paper found by a size in micrometres (compared in 0.1 mm), else the
// free-size paper of that size.
void ChooseBySize(DocSettings& s, const ModelCaps& caps, std::int32_t width, std::int32_t length) {
  const std::size_t p = FindPaperBySize(caps.Papers, caps.PaperCount(), width / 100, length / 100);
  if (p) {
    ChoosePaper(s, p - 1, caps.Papers[p - 1]);
    s.PaperWidth = width;
    s.PaperLength = length;
  } else {
    ChooseFreeSize(s, caps, width, length);
  }
}

// The name of the form that serves the chosen paper, "" when none does.
std::u16string ChosenFormName(HANDLE printer, const ModelCaps& caps, const DocSettings& s) {
  if (s.FreePaper != 0 || !caps.Papers || s.PaperIndex >= caps.PaperCount()) return {};
  const std::uint16_t id = caps.Papers[s.PaperIndex].PaperId;
  if (id == 0) return {};
  const auto forms = ListSpoolerForms(printer);
  if (!forms || id > forms->size()) return {};
  return (*forms)[id - 1].Name;
}

HRESULT InitDocumentSheets(PROPSHEETUI_INFO& info, const OEMUIPSPARAM& param) {
  HMODULE resources = LoadResourceDll(param.pPrinterName, param.hPrinter);
  auto* context = static_cast<DocSheetContext*>(LocalAlloc(LPTR, sizeof(DocSheetContext)));
  if (!context) {
    if (resources) FreeLibrary(resources);
    return E_FAIL;
  }
  ModelCaps& caps = context->Caps;
  SheetState& state = context->State;
  state.Build = Generation::Plugin;
  state.ResourceDll = resources;
  if (!LoadCapsFromPrinterData(&caps, param.hPrinter)) {
    // Without the model's lists no page could show anything sound.
    FreeDocSheetContext(context);
    return E_FAIL;
  }
  MapCustomFormIndices(param.hPrinter, caps);
  BYTE taken = 0;
  if (IsOwnPart(param)) {
    const auto part = PartOf(param);
    LoadSettingsFromOemDevmode(part, *context, param.hPrinter);
    taken = part[oemdm::kInfoTaken];
  }
  if (param.dwFlags & DM_USER_DEFAULT) {
    caps.Defaults.SheetMode = 1;
  } else {
    const bool written = IsOwnPart(param) && PartOf(param)[oemdm::kSheetWritten] != 0;
    if (!written) PublicDevmodeToSettings(param.hPrinter, param.pPublicDM, *context);
    if (IsOwnPart(param) && GetLe32(PartOf(param).data() + oemdm::kAppPageFlag) == 1) {
      AppPageRecord record;
      std::memcpy(&record, PartOf(param).data() + oemdm::kAppPageFlag, sizeof record);
      ApplyAppPageRecord(record, caps.Defaults, nullptr);
    }
    caps.Defaults.SheetMode = 0;
  }
  state.Pictures = NewPictureBitmaps();
  state.Printer = param.hPrinter;
  SettingsToSheetState(caps, state);
  QueryPrinterForSheet(caps, state, taken);
  AddDocumentPages(info, *context);
  return S_OK;
}

// OK: settings, the plug-in part, the public DEVMODE and the core's features.
HRESULT ApplyDocumentSheets(DocSheetContext& context, const OEMUIPSPARAM& param, IPrintCoreHelper* helper) {
  ModelCaps& caps = context.Caps;
  SheetStateToSettings(caps, context.State);
  // Every later step writes from the built DEVMODE: without it nothing is written.
  PrivateDevmode* built = BuildDefaultDevmode(param.hPrinter, caps, Generation::Plugin);
  if (!built) return E_OUTOFMEMORY;
  const DocSettings& s = caps.Defaults;
  if (IsDefaultsMode(s)) {
    built->InfoTaken = 0;
    WriteDefaultDevmodeToHandle(param.hPrinter, &built->Public);
    WriteDefaultSettings(param.hPrinter, &caps);
    built->SheetWritten = 0;
  } else {
    built->SheetWritten = 1;
    built->InfoTaken = context.State.PrinterQueried != 0 ? 1 : 0;
    if (s.AppPageApplied == 1 && IsOwnPart(param)) {
      std::memcpy(reinterpret_cast<BYTE*>(built) + kPublicDevmodeSize, PartOf(param).data() + oemdm::kPrivateBlock,
                  kPrivateHeadBytes);
      built->AppPage.Applied = 1;
    }
  }

  if (DEVMODEW* pub = param.pPublicDM) {
    const DEVMODEW& b = built->Public;
    if (static_cast<std::uint16_t>(b.dmPaperSize) >= DMPAPER_USER) {
      pub->dmFields = (pub->dmFields & ~DM_FORMNAME) | DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH;
      pub->dmPaperSize = DMPAPER_USER;
    } else {
      // A custom paper (the first one included) goes by its form's name; any
      // other paper by its number, dropping a name an earlier paper left.
      if (s.FreePaper == 0 && s.PaperIndex >= caps.Info.DocumentPaperCount) {
        pub->dmFields = (pub->dmFields & ~(DM_PAPERSIZE | DM_PAPERLENGTH | DM_PAPERWIDTH)) | DM_FORMNAME;
        std::memcpy(pub->dmFormName, b.dmFormName, sizeof pub->dmFormName);
      } else {
        pub->dmFields = (pub->dmFields & ~DM_FORMNAME) | DM_PAPERSIZE;
      }
      pub->dmPaperSize = b.dmPaperSize;
    }
    pub->dmPaperLength = b.dmPaperLength;
    pub->dmPaperWidth = b.dmPaperWidth;
    pub->dmOrientation = b.dmOrientation;
    pub->dmCopies = b.dmCopies;
  }

  const HRESULT hr = PushCoreOptions(helper, context);

  if (IsOwnPart(param)) {
    const auto part = PartOf(param);
    const std::size_t bytes = std::min<std::size_t>(built->Public.dmDriverExtra, oemdm::kSize - oemdm::kPrivateBlock);
    std::memcpy(part.data() + oemdm::kPrivateBlock, reinterpret_cast<const BYTE*>(built) + kPublicDevmodeSize, bytes);
    DocSettings written = oemdm::ReadSettings(part);
    written.PluginPaperSize = param.pPublicDM ? static_cast<std::uint16_t>(param.pPublicDM->dmPaperSize) : 0;
    written.PluginOutputForm = 0;
    if (s.OutputPaperIndex != 0 && caps.OutputPapers && s.OutputPaperIndex < caps.Info.OutputPaperCount)
      written.PluginOutputForm = caps.OutputPapers[s.OutputPaperIndex].PaperId;
    oemdm::WriteSettings(part, written);
  }
  GlobalFree(built);
  return hr;
}

HRESULT InitDeviceSheet(PROPSHEETUI_INFO& info, const OEMUIPSPARAM& param) {
  HMODULE resources = LoadResourceDll(param.pPrinterName, param.hPrinter);
  auto* context = static_cast<DevSheetContext*>(LocalAlloc(LPTR, sizeof(DevSheetContext)));
  if (!context) {
    if (resources) FreeLibrary(resources);
    return E_FAIL;
  }
  context->Build = Generation::Plugin;
  context->ResourceDll = resources;
  LoadCapsFromPrinterData(&context->Caps, param.hPrinter);
  MapCustomFormIndices(param.hPrinter, context->Caps);
  context->Caps.Defaults.SheetMode = 2;
  context->Printer = param.hPrinter;
  AddDevicePage(info, *context);
  return S_OK;
}

bool BadInfo(const PROPSHEETUI_INFO* info) {
  if (info && info->Version == PROPSHEETUI_INFO_VERSION) return false;
  SetLastError(ERROR_INVALID_PARAMETER);
  return true;
}

}  // namespace

BOOL LoadSettingsFromOemDevmode(std::span<const BYTE, oemdm::kSize> part, DocSheetContext& context, HANDLE printer) {
  DocSettings target = oemdm::ReadSettings(part);
  const BOOL result = LoadDefaultSettings(printer, context.Caps.Defaults, target, part[oemdm::kDrumColorPattern],
                                          part[oemdm::kInfoTaken]);
  context.Caps.Defaults = target;
  return result;
}

int PublicDevmodeToSettings(HANDLE printer, const DEVMODEW* pub, DocSheetContext& context) {
  if (!pub) return 1;
  ModelCaps& caps = context.Caps;
  DocSettings& s = caps.Defaults;
  s.Copies = pub->dmCopies;
  s.Landscape = pub->dmOrientation == DMORIENT_LANDSCAPE ? 1 : 0;
  const DWORD fields = pub->dmFields;
  const std::int32_t width = std::int32_t{pub->dmPaperWidth} * 100, length = std::int32_t{pub->dmPaperLength} * 100;
  const bool bySize = (fields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) ||
                      ((fields & DM_PAPERSIZE) && (pub->dmPaperSize == 0 || pub->dmPaperSize == DMPAPER_USER));
  if (bySize) {
    ChooseBySize(s, caps, width, length);
  } else if (fields & DM_PAPERSIZE) {
    const std::size_t p = FindPaperByFormIndex(caps.Papers, caps.PaperCount(), pub->dmPaperSize);
    if (p) {
      ChoosePaper(s, p - 1, caps.Papers[p - 1]);
    } else {
      SIZEL form{width, length};
      GetFormSizeByIndex(printer, static_cast<DWORD>(pub->dmPaperSize), &form);
      ChooseFreeSize(s, caps, form.cx, form.cy);
    }
  } else if (fields & DM_FORMNAME) {
    // The name is read within its field, terminated or not.
    WCHAR name[CCHFORMNAME + 1] = {};
    std::memcpy(name, pub->dmFormName, sizeof(pub->dmFormName));
    SIZEL form{};
    if (GetFormSizeByName(printer, name, &form)) ChooseBySize(s, caps, form.cx, form.cy);
  }
  // A source beyond the model's bins falls back to the first bin.
  std::uint32_t bin = 0;
  if (static_cast<std::uint16_t>(pub->dmDefaultSource) >= kFirstPaperBin)
    bin = (static_cast<std::uint16_t>(pub->dmDefaultSource) & 0xFF) + 1u;
  s.BinIndex = static_cast<std::uint8_t>(bin < caps.Info.BinCount ? bin : 0);
  if (s.OutputPaperIndex != 0 && caps.OutputPapers && s.OutputPaperIndex < caps.Info.OutputPaperCount) {
    s.OutputPaperWidth = caps.OutputPapers[s.OutputPaperIndex].Width / 100;
    s.OutputPaperLength = caps.OutputPapers[s.OutputPaperIndex].Length / 100;
  }
  return 1;
}

HRESULT PushCoreOptions(IPrintCoreHelper* helper, DocSheetContext& context) {
  if (!helper) return E_FAIL;
  PCSTR* features = nullptr;
  DWORD featureCount = 0;
  HRESULT hr = helper->EnumFeatures(&features, &featureCount);
  if (FAILED(hr) || featureCount == 0 || !features) return hr;
  const DocSettings& s = context.Caps.Defaults;
  for (DWORD i = 0; i < featureCount; ++i) {
    const std::string_view feature = features[i] ? features[i] : "";
    PCSTR* options = nullptr;
    DWORD optionCount = 0;
    hr = helper->EnumOptions(features[i], &options, &optionCount);
    // A feature whose options cannot be listed is left as the core has it.
    if (FAILED(hr) || !options) continue;
    PCSTR chosen = nullptr;
    if (feature == "Orientation") {
      if (optionCount > 0) chosen = options[s.Landscape == 1 && optionCount >= 2 ? 1 : 0];
    } else if (feature == "PaperSize") {
      // The user's paper, by the name of the form serving it; none: no push.
      const std::string name = plat::utf8(ChosenFormName(context.State.Printer, context.Caps, s));
      for (DWORD o = 0; !name.empty() && o < optionCount; ++o)
        if (options[o] && name == options[o]) chosen = options[o];
    }
    if (!chosen) continue;
    const PRINT_FEATURE_OPTION pair{features[i], chosen};
    DWORD resolved = 0, conflicts = 0;
    hr = helper->SetOptions(nullptr, 0, FALSE, &pair, 1, &resolved, &conflicts);
  }
  return hr;
}

HRESULT DocumentSheetsCallback(PROPSHEETUI_INFO* info, LPARAM lParam, IPrintCoreHelper* helper) {
  if (BadInfo(info)) return E_INVALIDARG;
  const auto* param = reinterpret_cast<const OEMUIPSPARAM*>(info->lParamInit);
  auto* context = reinterpret_cast<DocSheetContext*>(info->UserData);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: return param ? InitDocumentSheets(*info, *param) : E_FAIL;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: info->Result = 1; return S_OK;
    case PROPSHEETUI_REASON_DESTROY:
      info->Result = 1;
      FreeDocSheetContext(context);
      info->UserData = 0;
      return S_OK;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
      if (!result) return E_FAIL;
      info->Result = static_cast<ULONG_PTR>(result->Result);
      if (result->Result != CPSUI_OK || !context || !param) return S_OK;
      return ApplyDocumentSheets(*context, *param, helper);
    }
    case PROPSHEETUI_REASON_GET_ICON: info->Result = 0; return S_OK;
    default: return E_FAIL;
  }
}

HRESULT DeviceSheetsCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (BadInfo(info)) return E_FAIL;
  const auto* param = reinterpret_cast<const OEMUIPSPARAM*>(info->lParamInit);
  auto* context = reinterpret_cast<DevSheetContext*>(info->UserData);
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: return param ? InitDeviceSheet(*info, *param) : E_FAIL;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: info->Result = 1; return S_OK;
    case PROPSHEETUI_REASON_DESTROY:
      info->Result = 1;
      FreeDevSheetContext(context);
      info->UserData = 0;
      return S_OK;
    case PROPSHEETUI_REASON_GET_ICON: info->Result = 0; return S_OK;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
      if (!result) return E_FAIL;
      info->Result = static_cast<ULONG_PTR>(result->Result);
      if (result->Result == CPSUI_OK && context && param) WriteDeviceSheetData(param->hPrinter, *context);
      return S_OK;
    }
    default: return E_FAIL;
  }
}

}  // namespace uiplugin
