#include "sheets/sheet_driver.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "plat/machine.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/custom_forms.h"
#include "settings/private_devmode.h"
#include "sheets/device_page.h"
#include "sheets/document_pages.h"
#include "sheets/page_protocol.h"
#include "sheets/setting_pictures.h"
#include "sheets/sheet_rules.h"

namespace {

constexpr WORD kWindows2000 = 104;
// DEVMODE bytes 220-475: the head of the private part an application page record lives in.
constexpr std::size_t kPrivateHeadBytes = 256;
constexpr std::size_t kInfoTakenOffset = offsetof(PrivateDevmode, InfoTaken);

bool CanWrite(DWORD mode) { return (mode & (DM_UPDATE | DM_COPY)) != 0 && (mode & DM_NOPERMISSION) == 0; }

// A DEVMODE of this driver: a device name, our version and the whole private part.
bool IsOurDevmode(const DEVMODEW* dm) {
  return dm && dm->dmDeviceName[0] != 0 && dm->dmDriverVersion == kClassicDriverVersion &&
         AsPrivateDevmode(dm) != nullptr;
}

bool IsForeignDevmode(const DEVMODEW* dm) {
  return dm && (dm->dmDeviceName[0] == 0 || dm->dmDriverVersion != kClassicDriverVersion);
}

// The merged public part over a foreign DEVMODE: at most its own public
// bytes, keeping its size fields.
void OverlayPublicPart(const PrivateDevmode& merged, DEVMODEW& in) {
  const WORD size = in.dmSize, extra = in.dmDriverExtra;
  const std::size_t bytes = std::min<std::size_t>(size, kPublicDevmodeSize);
  std::memmove(&in, &merged.Public, bytes);
  if (bytes >= offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD)) {
    in.dmSize = size;
    in.dmDriverExtra = extra;
  }
}

// Byte 3436 of the output, when the output holds it.
void SetInfoTaken(DEVMODEW* out, DWORD outputBytes, BYTE value) {
  if (!out) return;
  const std::size_t held = std::min<std::size_t>(std::size_t{out->dmSize} + out->dmDriverExtra, outputBytes);
  if (held > kInfoTakenOffset) reinterpret_cast<BYTE*>(out)[kInfoTakenOffset] = value;
}

bool IsExplorer() {
  WCHAR windows[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  WCHAR image[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, image, MAX_PATH);
  return plat::EqualsNoCase(plat::view(image), std::u16string(windows) + u"\\explorer.exe");
}

LONG InitDocumentSheet(PROPSHEETUI_INFO& info, const DOCUMENTPROPERTYHEADER& header) {
  auto* context = static_cast<DocSheetContext*>(GlobalAlloc(GPTR, sizeof(DocSheetContext)));
  if (!context) return -1;
  ModelCaps& caps = context->Caps;
  SheetState& state = context->State;
  if (!LoadCapsFromPrinterData(&caps, header.hPrinter)) {
    // Without the model's lists no page could show anything sound.
    FreeModelCaps(&caps, true);
    GlobalFree(context);
    return -1;
  }
  BYTE taken = 0;
  if (PrivateDevmode* merged = GetMergedDevmode(header.hPrinter, header.pdmIn)) {
    ValidateDevmode(header.hPrinter, &merged->Public, caps);
    caps.Defaults = merged->Settings;
    taken = merged->InfoTaken;
    GlobalFree(merged);
  }
  caps.Defaults.SheetMode = DefaultsModeFor(header.fMode, header.cbOut, caps.Info.WindowsKind);
  state.ResourceDll = LoadResourceDll(header.pszPrinterName, header.hPrinter);
  state.Pictures = NewPictureBitmaps();
  state.Printer = header.hPrinter;
  SettingsToSheetState(caps, state);
  QueryPrinterForSheet(caps, state, taken);
  if (AddDocumentPages(info, *context) != 1) {
    FreeDocSheetContext(context);
    info.UserData = 0;
    return -1;
  }
  return 1;
}

void ApplyDocumentSheet(DocSheetContext& context, const DOCUMENTPROPERTYHEADER& header) {
  ModelCaps& caps = context.Caps;
  SheetStateToSettings(caps, context.State);
  const bool defaults = IsDefaultsMode(caps.Defaults);
  if (defaults) WriteDefaultSettings(header.hPrinter, &caps);
  PrivateDevmode* built = BuildDefaultDevmode(header.hPrinter, caps);
  if (!built) return;
  if (caps.Defaults.AppPageApplied == 1 && IsOurDevmode(header.pdmIn)) {
    std::memcpy(reinterpret_cast<BYTE*>(built) + kPublicDevmodeSize,
                reinterpret_cast<const BYTE*>(header.pdmIn) + kPublicDevmodeSize, kPrivateHeadBytes);
    FillPrivateHeader(&built->Public, &caps);
  }
  if (CopyDevmodeOut(&built->Public, header.pdmIn, header.pdmOut, header.cbOut)) {
    if (defaults) {
      SetInfoTaken(header.pdmOut, header.cbOut, 0);
      WriteDefaultDevmodeToHandle(header.hPrinter, header.pdmOut);
    } else {
      SetInfoTaken(header.pdmOut, header.cbOut, context.State.PrinterQueried != 0 ? 1 : 0);
    }
  }
  GlobalFree(built);
}

// Creates the page and hands it to the sheet; a page the sheet did not take is destroyed.
HANDLE AddPage(PROPSHEETUI_INFO& info, const PROPSHEETPAGEW& page) {
  HPROPSHEETPAGE created = CreatePropertySheetPageW(&page);
  if (!created) return nullptr;
  const LONG_PTR handle =
      info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(created), 0);
  if (handle == 0) DestroyPropertySheetPage(created);
  return reinterpret_cast<HANDLE>(handle);
}

// The heap each generation takes its contexts from.
void FreeContextBlock(void* block, Generation generation) {
  if (generation == Generation::Plugin) LocalFree(block);
  else GlobalFree(block);
}

// Property-sheet pages: the plug-in generation's record is version 4.
DWORD PageRecordSize(Generation generation) {
  return generation == Generation::Plugin ? PROPSHEETPAGEW_V4_SIZE : PROPSHEETPAGEW_V2_SIZE;
}

}  // namespace

void QueryPrinterForSheet(ModelCaps& caps, SheetState& state, BYTE taken) {
  if (caps.Defaults.InkInformation == 1 && taken != 1 && !IsDefaultsMode(caps.Defaults)) {
    QueryPrinterAtOpen(caps.Defaults.PrinterAddress, caps.Info.GetInformationBoth == 1, caps, state);
    state.PrinterQueried = 2;
  } else if (taken == 1) {
    state.PrinterQueried = 1;
  }
}

void FreeDevSheetContext(DevSheetContext* context) {
  if (!context) return;
  if (context->ResourceDll) FreeLibrary(context->ResourceDll);
  FreeModelCaps(&context->Caps, true);
  FreeContextBlock(context, context->Build);
}

void WriteDeviceSheetData(HANDLE printer, DevSheetContext& context) {
  ModelCaps& caps = context.Caps;
  if (context.Build == Generation::Plugin) RegisterCustomForms(printer, caps);
  WriteCapsInfo(printer, &caps);
  WriteDefaultSettings(printer, &caps);
  WritePaperList(printer, &caps);
  if (PrivateDevmode* dm = BuildDefaultDevmode(printer, caps, context.Build)) {
    WriteDefaultDevmodeToHandle(printer, &dm->Public);
    GlobalFree(dm);
  }
}

std::uint8_t DefaultsModeFor(DWORD mode, DWORD outputBytes, std::uint8_t windowsKind) {
  if (mode & DM_USER_DEFAULT) return 1;
  return windowsKind == kWindows2000 && outputBytes == 0 && IsExplorer() ? 1 : 0;
}

LONG DocumentPropertiesNoUi(DOCUMENTPROPERTYHEADER* header) {
  if (!header) return -1;
  if (header->fMode == 0 || !header->pdmOut) {
    header->cbOut = kPrivateDevmodeSize;
    return static_cast<LONG>(kPrivateDevmodeSize);
  }
  if (!CanWrite(header->fMode)) return -1;
  PrivateDevmode* merged = GetMergedDevmode(header->hPrinter, header->pdmIn);
  if (!merged) return -1;
  ModelCaps* caps = AllocModelCaps();
  if (!caps || !LoadCapsFromPrinterData(caps, header->hPrinter)) {
    if (caps) {
      FreeModelCaps(caps, true);
      GlobalFree(caps);
    }
    GlobalFree(merged);
    return -1;
  }
  ValidateDevmode(header->hPrinter, &merged->Public, *caps);
  const DEVMODEW* shape = header->pdmIn;
  if (IsForeignDevmode(header->pdmIn)) {
    OverlayPublicPart(*merged, *header->pdmIn);
    if (header->pdmIn->dmDriverExtra >= kPrivateDevmodeExtra) shape = nullptr;
  }
  CopyDevmodeOut(&merged->Public, shape, header->pdmOut, header->cbOut);
  GlobalFree(merged);
  FreeModelCaps(caps, true);
  GlobalFree(caps);
  return IDOK;
}

LONG sheet_driver::DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) return DocumentPropertiesNoUi(reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam));
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
  auto* context = reinterpret_cast<DocSheetContext*>(info->UserData);
  if (info->Reason == PROPSHEETUI_REASON_INIT) return header ? InitDocumentSheet(*info, *header) : -1;
  if (!context || !header) return -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: return lParam ? 1 : -1;
    case PROPSHEETUI_REASON_GET_ICON: return 0;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
      if (!result) return -1;
      if (result->Result == CPSUI_OK && CanWrite(header->fMode) && header->pdmOut) {
        ApplyDocumentSheet(*context, *header);
      }
      info->Result = static_cast<ULONG_PTR>(result->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      FreeDocSheetContext(context);
      info->UserData = 0;
      return 1;
    default: return -1;
  }
}

LONG sheet_driver::DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) return -1;
  auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit);
  if (!header) return -1;
  auto* context = reinterpret_cast<DevSheetContext*>(info->UserData);
  const bool temporary = context == nullptr && info->Reason != PROPSHEETUI_REASON_INIT;
  if (!context) {
    context = static_cast<DevSheetContext*>(GlobalAlloc(GPTR, sizeof(DevSheetContext)));
    if (!context) return -1;
    LoadCapsFromPrinterData(&context->Caps, header->hPrinter);
  }
  LONG answer = -1;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT:
      context->ResourceDll = LoadResourceDll(header->pszPrinterName, header->hPrinter);
      context->Caps.Defaults.SheetMode = 2;
      context->Printer = header->hPrinter;
      answer = AddDevicePage(*info, *context);
      break;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
      if (!result) break;
      info->Result = static_cast<ULONG_PTR>(result->Result);
      if (result->Result == CPSUI_OK) WriteDeviceSheetData(header->hPrinter, *context);
      answer = 1;
      break;
    }
    case PROPSHEETUI_REASON_DESTROY:
      FreeDevSheetContext(context);
      info->UserData = 0;
      return 1;
    case PROPSHEETUI_REASON_GET_INFO_HEADER: answer = lParam ? 1 : -1; break;
    case PROPSHEETUI_REASON_GET_ICON: answer = 0; break;
    default: break;
  }
  if (temporary) FreeDevSheetContext(context);
  return answer;
}

int AddDocumentPages(PROPSHEETUI_INFO& info, DocSheetContext& context) {
  SheetState& state = context.State;
  const bool colorPage = HasColorPart(context.Caps);
  for (std::size_t i = 0; i < std::size(kDocumentPageTemplates); ++i) {
    const int id = kDocumentPageTemplates[i];
    if (id == kColorPageTemplate && !colorPage) continue;
    PROPSHEETPAGEW page{};
    page.dwSize = PageRecordSize(state.Build);
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = state.ResourceDll;
    page.pszTemplate = MAKEINTRESOURCEW(static_cast<UINT>(id));
    page.pfnDlgProc = DocumentPageProc(id);
    page.lParam = reinterpret_cast<LPARAM>(&context);
    state.PageHandles[i] = AddPage(info, page);
  }
  state.ComPropSheet = info.pfnComPropSheet;
  state.ComPropSheetHandle = info.hComPropSheet;
  info.UserData = reinterpret_cast<ULONG_PTR>(&context);
  info.Result = 0;
  return 1;
}

int AddDevicePage(PROPSHEETUI_INFO& info, DevSheetContext& context) {
  PROPSHEETPAGEW page{};
  page.dwSize = PageRecordSize(context.Build);
  page.dwFlags = PSP_DEFAULT;
  page.hInstance = context.ResourceDll;
  page.pszTemplate = MAKEINTRESOURCEW(static_cast<UINT>(kDevicePageTemplate));
  page.pfnDlgProc = DeviceSettingsPageProc;
  page.lParam = reinterpret_cast<LPARAM>(&context);
  context.PageHandle = AddPage(info, page);
  context.ComPropSheet = info.pfnComPropSheet;
  context.ComPropSheetHandle = info.hComPropSheet;
  info.UserData = reinterpret_cast<ULONG_PTR>(&context);
  info.Result = 0;
  return 1;
}

void FreeDocSheetContext(DocSheetContext* context) {
  if (!context) return;
  FreeSheetNameLists(context->State);
  DeletePictureBitmaps(context->State.Pictures);
  context->State.Pictures = nullptr;
  if (context->State.ResourceDll) FreeLibrary(context->State.ResourceDll);
  FreeModelCaps(&context->Caps, true);
  FreeContextBlock(context, context->State.Build);
}
