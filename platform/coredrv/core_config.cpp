// coredrvui: the core driver's config-file library. The spooler loads it for
// a printer whose driver is the core; it shows no sheets of its own but adds
// the UI plug-in's as a child of its sheet, and passes the printer events and
// queries to the plug-in. The plug-in is the driver INI's [OEMFiles]
// OEM1ConfigFile (plat::core::OemPluginPath).
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plat/core.h"
#include "plat/files.h"
#include "plat/resources.h"
#include "plat/profile.h"
#include "plat/propsheet.h"
#include "plat/strings.h"
#include "plugincommon/ids.h"

namespace {

// The class of UI object the core asks the plug-in for.
constexpr const CLSID& kUiPluginClass = CLSID_OEMUI;

std::unique_ptr<plat::core::UiPlugin> LoadPlugin(HANDLE printer) {
  const std::u16string path = plat::core::OemPluginPath(printer, u"OEM1ConfigFile");
  if (path.empty()) return nullptr;
  auto plugin = plat::core::UiPlugin::Load(path, kUiPluginClass, nullptr);
  if (plugin && FAILED(plugin->Publish())) return nullptr;
  return plugin;
}

// The core's DEVMODE: 220 public bytes, then the plug-in's part. The public
// part starts from the printer's "DefaultDevmode", the part from the
// plug-in's default; a caller's DEVMODE of the core's shape is carried over
// (its part through the plug-in's conversion).
std::vector<BYTE> CoreDevmode(plat::core::UiPlugin& plugin, HANDLE printer, const DEVMODEW* in) {
  DWORD partSize = 0;
  if (FAILED(plugin.PartSize(&partSize)) || partSize == 0 || partSize > 0xFFFF) return {};
  std::vector<BYTE> dm(plat::core::kPublicBytes + partSize);
  std::vector<BYTE> part(partSize);
  if (FAILED(plugin.DefaultPart(printer, part))) return {};
  DWORD type = 0, needed = 0;
  GetPrinterDataW(printer, u"DefaultDevmode", &type, nullptr, 0, &needed);
  if (needed >= sizeof(DEVMODEW)) {
    std::vector<BYTE> stored(needed);
    if (GetPrinterDataW(printer, u"DefaultDevmode", &type, stored.data(), needed, &needed) == ERROR_SUCCESS)
      std::memcpy(dm.data(), stored.data(), sizeof(DEVMODEW));
  }
  auto* pub = reinterpret_cast<DEVMODEW*>(dm.data());
  // Only a DEVMODE whose sizes are the core's own is read past its header.
  if (in && in->dmSize >= offsetof(DEVMODEW, dmFields) && in->dmSize <= plat::core::kPublicBytes &&
      in->dmDriverExtra == partSize) {
    std::memcpy(dm.data(), in, std::min<std::size_t>(in->dmSize, plat::core::kPublicBytes));
    const std::vector<BYTE> inPart(reinterpret_cast<const BYTE*>(in) + in->dmSize,
                                   reinterpret_cast<const BYTE*>(in) + in->dmSize + partSize);
    pub->dmSize = plat::core::kPublicBytes;
    pub->dmDriverExtra = static_cast<WORD>(partSize);
    if (FAILED(plugin.ConvertPart(printer, inPart, part, pub, false))) return {};
  }
  pub->dmSize = plat::core::kPublicBytes;
  pub->dmDriverExtra = static_cast<WORD>(partSize);
  std::memcpy(dm.data() + plat::core::kPublicBytes, part.data(), partSize);
  return dm;
}

// Copies the core's DEVMODE to a caller's buffer of cbOut bytes; false when it does not fit.
bool CopyOut(const std::vector<BYTE>& dm, DEVMODEW* out, DWORD cbOut) {
  if (!out || dm.empty() || cbOut < dm.size()) return false;
  std::memcpy(out, dm.data(), dm.size());
  return true;
}

// One open sheet of the core: the plug-in, what its child callback was given.
struct CoreSheet {
  std::unique_ptr<plat::core::UiPlugin> plugin;
  std::vector<BYTE> devmode;  // the document sheet's core DEVMODE
  std::u16string printerName;
  bool document = true;
};

// The child's lParamInit: the plug-in's OEMUIPSPARAM, then its sheet.
struct ChildParam {
  OEMUIPSPARAM param;
  CoreSheet* sheet;
};
static_assert(offsetof(ChildParam, param) == 0);

struct SheetRecord {
  CoreSheet sheet;
  ChildParam child{};
};

LONG AsSheetAnswer(HRESULT hr) { return SUCCEEDED(hr) ? 1 : ERR_CPSUI_GETLASTERROR; }

LONG CALLBACK PluginSheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info || !info->lParamInit) return ERR_CPSUI_GETLASTERROR;
  CoreSheet& sheet = *reinterpret_cast<ChildParam*>(info->lParamInit)->sheet;
  IPrintOemUI2* ui = sheet.plugin->Ui();
  return AsSheetAnswer(sheet.document ? ui->DocumentPropertySheets(info, lParam)
                                      : ui->DevicePropertySheets(info, lParam));
}

// INIT of either sheet: the plug-in loaded and asked to hide the core's own
// pages, its callback added as a child.
LONG InitSheet(PROPSHEETUI_INFO& info, HANDLE printer, const WCHAR* printerName, const DEVMODEW* in, DWORD flags,
               bool document) {
  auto record = std::make_unique<SheetRecord>();
  CoreSheet& sheet = record->sheet;
  sheet.document = document;
  sheet.plugin = LoadPlugin(printer);
  if (!sheet.plugin) return ERR_CPSUI_GETLASTERROR;
  sheet.plugin->Ui()->HideStandardUI(document ? OEMCUIP_DOCPROP : OEMCUIP_PRNPROP);
  sheet.printerName = std::u16string(plat::view(printerName));
  OEMUIPSPARAM& p = record->child.param;
  p.cbSize = sizeof p;
  p.hPrinter = printer;
  p.pPrinterName = sheet.printerName.data();
  p.hModule = sheet.plugin->Module();
  p.dwFlags = flags;
  if (document) {
    sheet.devmode = CoreDevmode(*sheet.plugin, printer, in);
    if (sheet.devmode.empty()) return ERR_CPSUI_GETLASTERROR;
    p.pPublicDM = reinterpret_cast<DEVMODEW*>(sheet.devmode.data());
    p.pOEMDM = sheet.devmode.data() + plat::core::kPublicBytes;
    sheet.plugin->BindSheet(printer, p.pPublicDM);
  }
  record->child.sheet = &sheet;
  if (info.pfnComPropSheet(info.hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW, reinterpret_cast<LPARAM>(&PluginSheets),
                           reinterpret_cast<LPARAM>(&record->child)) == 0) {
    return ERR_CPSUI_GETLASTERROR;
  }
  info.UserData = reinterpret_cast<ULONG_PTR>(record.release());
  return 1;
}

LONG FinishReason(PROPSHEETUI_INFO& info, LPARAM lParam) {
  auto* record = reinterpret_cast<SheetRecord*>(info.UserData);
  switch (info.Reason) {
    case PROPSHEETUI_REASON_GET_INFO_HEADER: return 1;
    case PROPSHEETUI_REASON_GET_ICON: return 0;
    case PROPSHEETUI_REASON_DESTROY:
      if (record) record->sheet.plugin->BindSheet(nullptr, nullptr);
      delete record;
      info.UserData = 0;
      return 1;
    default: return ERR_CPSUI_GETLASTERROR;
  }
  (void)lParam;
}

}  // namespace

extern "C" {

// Without info: the call without UI (header in lParam): the size of the
// core's DEVMODE for fMode 0, else the core's DEVMODE (the caller's carried
// over) in pdmOut and IDOK. With info: the document sheet.
DLLEXPORT LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) {
    auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(lParam);
    if (!header) return ERR_CPSUI_GETLASTERROR;
    auto plugin = LoadPlugin(header->hPrinter);
    if (!plugin) return ERR_CPSUI_GETLASTERROR;
    const std::vector<BYTE> dm = CoreDevmode(*plugin, header->hPrinter, header->pdmIn);
    if (dm.empty()) return ERR_CPSUI_GETLASTERROR;
    if (header->fMode == 0 || !header->pdmOut) {
      header->cbOut = static_cast<DWORD>(dm.size());
      return static_cast<LONG>(dm.size());
    }
    return CopyOut(dm, header->pdmOut, header->cbOut) ? IDOK : ERR_CPSUI_GETLASTERROR;
  }
  auto* header = reinterpret_cast<DOCUMENTPROPERTYHEADER*>(info->lParamInit);
  if (!header) return ERR_CPSUI_GETLASTERROR;
  if (info->Reason == PROPSHEETUI_REASON_INIT) {
    return InitSheet(*info, header->hPrinter, header->pszPrinterName, header->pdmIn, header->fMode, true);
  }
  if (info->Reason == PROPSHEETUI_REASON_SET_RESULT) {
    const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
    auto* record = reinterpret_cast<SheetRecord*>(info->UserData);
    if (!result || !record) return ERR_CPSUI_GETLASTERROR;
    info->Result = static_cast<ULONG_PTR>(result->Result);
    // The plug-in has written its part and the public fields by now.
    if (result->Result == CPSUI_OK && (header->fMode & DM_OUT_BUFFER))
      CopyOut(record->sheet.devmode, header->pdmOut, header->cbOut);
    return 1;
  }
  return FinishReason(*info, lParam);
}

DLLEXPORT LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  if (!info) return ERR_CPSUI_GETLASTERROR;
  auto* header = reinterpret_cast<DEVICEPROPERTYHEADER*>(info->lParamInit);
  if (!header) return ERR_CPSUI_GETLASTERROR;
  if (info->Reason == PROPSHEETUI_REASON_INIT)
    return InitSheet(*info, header->hPrinter, header->pszPrinterName, nullptr, 0, false);
  if (info->Reason == PROPSHEETUI_REASON_SET_RESULT) {
    const auto* result = reinterpret_cast<const SETRESULT_INFO*>(lParam);
    if (!result) return ERR_CPSUI_GETLASTERROR;
    info->Result = static_cast<ULONG_PTR>(result->Result);
    return 1;
  }
  return FinishReason(*info, lParam);
}

// The plug-in's PrinterEvent decides; TRUE when it succeeded.
DLLEXPORT BOOL DrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(printerName, &printer, nullptr)) return FALSE;
  auto plugin = LoadPlugin(printer);
  ClosePrinter(printer);
  if (!plugin) return FALSE;
  return SUCCEEDED(plugin->Ui()->PrinterEvent(printerName, event, flags, lParam)) ? TRUE : FALSE;
}

// CDM_DRIVER_DEFAULT: the core's default DEVMODE; CDM_CONVERT: the caller's
// carried into the core's shape. *size in bytes: a smaller output fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed. Other modes: ERROR_INVALID_PARAMETER.
DLLEXPORT BOOL DrvConvertDevMode(LPWSTR printerName, DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode) {
  constexpr DWORD kConvert = 1, kDriverDefault = 4;
  if (!size || (mode != kConvert && mode != kDriverDefault) || (mode == kConvert && !in)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  HANDLE printer = nullptr;
  if (!OpenPrinterW(printerName, &printer, nullptr)) return FALSE;
  std::vector<BYTE> dm;
  if (auto plugin = LoadPlugin(printer)) dm = CoreDevmode(*plugin, printer, mode == kConvert ? in : nullptr);
  ClosePrinter(printer);
  if (dm.empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!out || *size < 0 || static_cast<std::size_t>(*size) < dm.size()) {
    *size = static_cast<LONG>(dm.size());
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(out, dm.data(), dm.size());
  *size = static_cast<LONG>(dm.size());
  return TRUE;
}

// The plug-in's answer; GDI_ERROR when it gives none.
DLLEXPORT DWORD DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD capability, PVOID output,
                                      DEVMODEW* devmode) {
  constexpr DWORD kGdiError = 0xFFFFFFFF;
  auto plugin = LoadPlugin(printer);
  if (!plugin) return kGdiError;
  std::vector<BYTE> dm = CoreDevmode(*plugin, printer, devmode);
  if (dm.empty()) return kGdiError;
  std::vector<BYTE> part(dm.begin() + plat::core::kPublicBytes, dm.end());
  DWORD result = kGdiError;
  const HRESULT hr = plugin->Capabilities(printer, std::u16string(plat::view(deviceName)), capability, output,
                                          reinterpret_cast<DEVMODEW*>(dm.data()), &part, &result);
  return SUCCEEDED(hr) ? result : kGdiError;
}

DLLEXPORT INT DrvDocumentEvent(HANDLE printer, HANDLE dc, INT escape, ULONG inSize, PVOID in, ULONG outSize,
                               PVOID out) {
  constexpr INT kDocumentEventFailure = -1;
  auto plugin = LoadPlugin(printer);
  if (!plugin) return kDocumentEventFailure;
  INT result = kDocumentEventFailure;
  const HRESULT hr = plugin->Ui()->DocumentEvent(printer, dc, escape, inSize, in, outSize, out, &result);
  return SUCCEEDED(hr) ? result : kDocumentEventFailure;
}

}  // extern "C"
