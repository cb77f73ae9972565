#include "settings/printer_interface.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "plat/registry.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "settings/caps_store.h"
#include "settings/custom_forms.h"
#include "settings/doc_settings.h"
#include "settings/model_caps.h"
#include "settings/private_devmode.h"
#include "settings/rdf_reader.h"
#include "settings/show_message.h"

namespace printer_interface {
namespace {

HMODULE g_module = nullptr;

constexpr DWORD kProcessAttach = 1;
constexpr DWORD kLastReason = 3;
constexpr int kOrientationAngle = 270;
constexpr int kMaxCopies = 9999;
constexpr WORD kSpecVersion351 = 0x320;
constexpr WORD kDevmodeSize351 = 188;
constexpr WORD kDriverVersion351 = 0x350;

// A ModelCaps read from the printer data, freed with its texts at the end.
// The plug-in generation's papers served by user forms get their positions.
class CapsFromPrinter {
 public:
  CapsFromPrinter(HANDLE printer, Generation generation) : caps_(AllocModelCaps()) {
    if (caps_ && LoadCapsFromPrinterData(caps_, printer) != 1) Release();
    if (caps_ && generation == Generation::Plugin) MapCustomFormIndices(printer, *caps_);
  }
  ~CapsFromPrinter() { Release(); }
  CapsFromPrinter(const CapsFromPrinter&) = delete;
  CapsFromPrinter& operator=(const CapsFromPrinter&) = delete;
  ModelCaps* get() const { return caps_; }

 private:
  void Release() {
    if (!caps_) return;
    FreeModelCaps(caps_, true);
    GlobalFree(caps_);
    caps_ = nullptr;
  }
  ModelCaps* caps_;
};

struct GlobalDeleter {
  void operator()(void* p) const {
    if (p) GlobalFree(p);
  }
};

// Outputs go to the caller's buffer, which need not be aligned.
template <typename T>
void PutAt(void* output, std::size_t index, T value) {
  std::memcpy(static_cast<BYTE*>(output) + index * sizeof(T), &value, sizeof(T));
}

// A zero-filled slot of units holding the first units of text (no terminator
// when the text fills it).
void PutSlot(void* output, std::size_t index, std::size_t units, std::u16string_view text) {
  BYTE* slot = static_cast<BYTE*>(output) + index * units * sizeof(WCHAR);
  std::memset(slot, 0, units * sizeof(WCHAR));
  // A name id without a node gives an empty view with no data behind it.
  if (!text.empty()) std::memcpy(slot, text.data(), std::min(units, text.size()) * sizeof(WCHAR));
}

std::u16string_view NameOf(const ModelCaps& caps, unsigned id) {
  return plat::view(NameListText(caps.Names, id));
}

// The free paper's name followed by its size in the unit the user chose,
// e.g. "Free Size 210.0 - 297.0 mm".
std::u16string FreePaperName(const ModelCaps& caps, const PaperEntry& paper) {
  std::u16string name(NameOf(caps, paper.NameId));
  const bool inch = caps.Defaults.FreeUnit == 1;
  const std::u16string width = FormatSizeDigits(caps.Defaults.FreeWidth / 100, inch);
  if (!width.empty()) {
    name += u" ";
    name += width;
    name += u" - ";
    name += FormatSizeDigits(caps.Defaults.FreeLength / 100, inch);
    name += inch ? u" inch" : u" mm";
  }
  return name;
}

// The resolutions the engine is told about: equal pairs as they are, the
// two mixed modes as the square resolution they print at, nothing else.
bool ReportedResolution(const ResolutionEntry& r, LONG& x, LONG& y) {
  if (r.X == r.Y) {
    x = r.X;
    y = r.Y;
  } else if (r.X == 300 && r.Y == 600) {
    x = y = 600;
  } else if (r.X == 300 && r.Y == 400) {
    x = y = 300;
  } else {
    return false;
  }
  return true;
}

// A private copy of the caller's DEVMODE to validate: our own DEVMODE whole,
// any other only through its public fields over the model's defaults.
PrivateDevmode* CopyForValidation(HANDLE printer, const DEVMODEW* devmode, const ModelCaps& caps,
                                  Generation generation) {
  PrivateDevmode* copy = BuildDefaultDevmode(printer, caps, generation);
  if (!copy) return nullptr;
  if (AsPrivateDevmode(devmode)) {
    std::memcpy(copy, devmode, kPrivateDevmodeSize);
    return copy;
  }
  const std::size_t publicBytes = std::min<std::size_t>(devmode->dmSize, sizeof(DEVMODEW));
  DEVMODEW keep = copy->Public;
  std::memcpy(&copy->Public, devmode, publicBytes);
  copy->Public.dmSpecVersion = keep.dmSpecVersion;
  copy->Public.dmDriverVersion = keep.dmDriverVersion;
  copy->Public.dmSize = keep.dmSize;
  copy->Public.dmDriverExtra = keep.dmDriverExtra;
  if (publicBytes < sizeof(DEVMODEW)) {
    // Fields past the caller's public part keep the defaults' values.
    std::memcpy(reinterpret_cast<BYTE*>(&copy->Public) + publicBytes, reinterpret_cast<const BYTE*>(&keep) + publicBytes,
                sizeof(DEVMODEW) - publicBytes);
  }
  return copy;
}

DWORD Answer(const ModelCaps& caps, const DEVMODEW& dm, WORD index, void* out) {
  const CapsInfo& info = caps.Info;
  const std::size_t papers = caps.PaperCount();
  const std::size_t freeIndex = info.DocumentPaperCount ? info.DocumentPaperCount - 1u : papers;
  switch (index) {
    case DC_FIELDS:
      return dm.dmFields;
    case DC_PAPERS:
      if (out) {
        for (std::size_t i = 0; i < papers; ++i) PutAt<WORD>(out, i, caps.Papers[i].PaperId);
      }
      return static_cast<DWORD>(papers);
    case DC_PAPERSIZE:
      if (out) {
        for (std::size_t i = 0; i < papers; ++i) {
          const PaperEntry& p = caps.Papers[i];
          const POINT size = i == freeIndex ? POINT{caps.Defaults.FreeWidth / 100, caps.Defaults.FreeLength / 100}
                                            : POINT{p.Width / 100, p.Length / 100};
          PutAt<POINT>(out, i, size);
        }
      }
      return static_cast<DWORD>(papers);
    case DC_MINEXTENT:
      return MAKELONG(static_cast<WORD>(info.MinPaperWidth / 100), static_cast<WORD>(info.MinPaperLength / 100));
    case DC_MAXEXTENT:
      return MAKELONG(static_cast<WORD>(info.MaxPaperWidth / 100), static_cast<WORD>(info.MaxPaperLength / 100));
    case DC_BINS:
      if (out) {
        for (std::size_t i = 0; i < info.BinCount; ++i) PutAt<WORD>(out, i, caps.Bins[i].BinId);
      }
      return info.BinCount;
    case DC_DUPLEX:
      return info.DuplexEnable == 1 ? 1 : 0;
    case DC_SIZE:
      return dm.dmSize;
    case DC_EXTRA:
      return dm.dmDriverExtra;
    case DC_VERSION:
      return dm.dmSpecVersion;
    case DC_DRIVER:
      return dm.dmDriverVersion;
    case DC_BINNAMES:
      if (out) {
        for (std::size_t i = 0; i < info.BinCount; ++i) {
          PutSlot(out, i, kBinNameSlotUnits, NameOf(caps, caps.Bins[i].NameId));
        }
      }
      return info.BinCount;
    case DC_ENUMRESOLUTIONS: {
      // The count is what is written, so that a caller sizing its buffer
      // from the count has room for every pair.
      DWORD pairs = 0;
      for (std::size_t i = 0; i < info.ResolutionCount; ++i) {
        LONG x = 0;
        LONG y = 0;
        if (!ReportedResolution(caps.Resolutions[i], x, y)) continue;
        if (out) {
          PutAt<LONG>(out, 2 * pairs, x);
          PutAt<LONG>(out, 2 * pairs + 1, y);
        }
        ++pairs;
      }
      return pairs;
    }
    case DC_FILEDEPENDENCIES:
      if (out) PutAt<WCHAR>(out, 0, 0);
      return 0;
    case DC_TRUETYPE:
      return DCTT_BITMAP;
    case DC_PAPERNAMES:
    case DC_MEDIAREADY:
      if (out) {
        for (std::size_t i = 0; i < papers; ++i) {
          const PaperEntry& p = caps.Papers[i];
          PutSlot(out, i, kPaperNameSlotUnits, i == freeIndex ? FreePaperName(caps, p) : NameOf(caps, p.NameId));
        }
      }
      return static_cast<DWORD>(papers);
    case DC_ORIENTATION:
      return kOrientationAngle;
    case DC_COPIES:
      return kMaxCopies;
    case DC_COLLATE:
      return info.CollateSupported == 1 ? 1 : 0;
    case DC_PRINTRATE:
    case DC_PRINTRATEPPM:
      return static_cast<DWORD>(info.UnitValue);
    case DC_PRINTRATEUNIT:
      return info.UnitValue != 0 ? 1 : 0;
    case DC_STAPLE:
      return info.StapleEnable == 1 ? 1 : 0;
    case DC_COLORDEVICE:
      return info.DrumCount == 2 ? 1 : 0;
    default:
      return GDI_ERROR;
  }
}

// The failed-job key of a printer: base, printer name and "\".
std::u16string FailedJobKey(std::u16string_view printerName) {
  std::u16string key(kFailedJobKeyBase);
  key += printerName;
  key += u"\\";
  return key;
}

bool PrinterNameOf(HANDLE printer, std::u16string& name) {
  DWORD needed = 0;
  if (GetPrinterW(printer, 4, nullptr, 0, &needed) || GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0) {
    return false;
  }
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 4, buffer.data(), needed, &needed)) return false;
  PRINTER_INFO_4W info{};
  std::memcpy(&info, buffer.data(), std::min<std::size_t>(sizeof(info), buffer.size()));
  if (!info.pPrinterName) return false;
  name.assign(plat::view(info.pPrinterName));
  return true;
}

// The name of value 0 of the key. A name or path too long for the first
// buffers is fetched again with room for it, so that a long record does not
// hide the ones after it.
LSTATUS FirstValueName(HKEY key, std::u16string& name) {
  constexpr DWORD kMaxNameUnits = 16384;
  DWORD nameUnits = 25;  // job ids: 24 units and a terminator
  std::vector<BYTE> data(MAX_PATH);
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::vector<WCHAR> buffer(nameUnits + 1, 0);
    DWORD nameChars = nameUnits;
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    const LSTATUS status = RegEnumValueW(key, 0, buffer.data(), &nameChars, nullptr, &type, data.data(), &dataSize);
    if (status == ERROR_SUCCESS) {
      name.assign(buffer.data(), std::min<DWORD>(nameChars, nameUnits));
      return ERROR_SUCCESS;
    }
    if (status != ERROR_MORE_DATA) return status;
    nameUnits = kMaxNameUnits;
    data.resize(std::max<std::size_t>(data.size(), dataSize));
  }
  return ERROR_MORE_DATA;
}

}  // namespace

BOOL DllInitialize(HMODULE module, DWORD reason, LPVOID) {
  if (reason > kLastReason) return FALSE;
  if (reason == kProcessAttach) g_module = module;
  return TRUE;
}

HMODULE UiModule() { return g_module; }

DWORD DrvDeviceCapabilities(HANDLE printer, const WCHAR*, WORD index, void* output, const DEVMODEW* devmode,
                            Generation generation) {
  CapsFromPrinter caps(printer, generation);
  if (!caps.get()) return GDI_ERROR;
  std::unique_ptr<PrivateDevmode, GlobalDeleter> dm(devmode ? CopyForValidation(printer, devmode, *caps.get(), generation)
                                                           : BuildDefaultDevmode(printer, *caps.get(), generation));
  if (!dm) return GDI_ERROR;
  if (devmode) ValidateDevmode(printer, &dm->Public, *caps.get(), generation);
  return Answer(*caps.get(), dm->Public, index, output);
}

BOOL DrvConvertDevMode(const WCHAR* printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LONG full = static_cast<LONG>(kPrivateDevmodeSize);
  switch (mode) {
    case CDM_CONVERT: {
      if (out && in && *size >= 0 && LONG{out->dmSize} + out->dmDriverExtra <= *size && CopyDevmode(in, out) > 0) {
        *size = LONG{out->dmSize} + out->dmDriverExtra;
        return TRUE;
      }
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    case CDM_CONVERT351: {
      if (!out || *size < full) {
        *size = full;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
      }
      out->dmSpecVersion = kSpecVersion351;
      out->dmSize = kDevmodeSize351;
      out->dmDriverVersion = kDriverVersion351;
      out->dmDriverExtra = kPrivateDevmodeExtra;
      if (!in || CopyDevmode(in, out) <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      *size = full;
      return TRUE;
    }
    case CDM_DRIVER_DEFAULT: {
      if (!out || *size < full) {
        *size = full;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
      }
      *size = full;
      out->dmSize = kPublicDevmodeSize;
      out->dmDriverExtra = kPrivateDevmodeExtra;
      if (ReadDefaultDevmode(printerName, out) != 1) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
      }
      return TRUE;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
}

int DrvDocumentEvent(HANDLE printer, HANDLE, int event, ULONG, void*, ULONG, void*, Generation generation) {
  if (event == DOCUMENTEVENT_ENDDOC || event == DOCUMENTEVENT_ENDDOCPOST) ReportFailedJobOutputs(printer, generation);
  return DOCUMENTEVENT_SUCCESS;
}

int ReportFailedJobOutputs(HANDLE printer, Generation generation) {
  std::u16string printerName;
  if (!PrinterNameOf(printer, printerName)) return 1;
  HKEY key = nullptr;
  const std::u16string path = FailedJobKey(printerName);
  if (RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS,
                    &key) != ERROR_SUCCESS) {
    return 1;
  }
  std::u16string name;
  while (FirstValueName(key, name) == ERROR_SUCCESS) {
    // A record that cannot be deleted would be found again for ever.
    if (RegDeleteValueW(key, name.c_str()) != ERROR_SUCCESS) break;
    HMODULE resources = LoadResourceDll(nullptr, printer);
    ShowMessage(resources, nullptr, kMessageCaptionString, kFailedJobString, MB_ICONWARNING, 0, nullptr, nullptr,
                nullptr, generation);
    if (resources) FreeLibrary(resources);
  }
  RegCloseKey(key);
  return 1;
}

DRIVER_INFO_3W* GetDriverInfo3(const WCHAR* printerName) {
  HANDLE printer = nullptr;
  if (!printerName || !OpenPrinterW(printerName, &printer, nullptr)) return nullptr;
  DRIVER_INFO_3W* info = nullptr;
  DWORD needed = 0;
  if (!GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed) && GetLastError() == ERROR_INSUFFICIENT_BUFFER &&
      needed >= sizeof(DRIVER_INFO_3W)) {
    auto* buffer = static_cast<BYTE*>(GlobalAlloc(GPTR, needed));
    DWORD got = 0;
    if (buffer && GetPrinterDriverW(printer, nullptr, 3, buffer, needed, &got)) {
      info = reinterpret_cast<DRIVER_INFO_3W*>(buffer);
    } else if (buffer) {
      GlobalFree(buffer);
    }
  }
  const DWORD error = GetLastError();
  ClosePrinter(printer);
  SetLastError(error);
  return info;
}

namespace {

// Model load for INITIALIZE: texts from the driver information, the model
// read with the resource library. ERROR_SUCCESS or the reason.
DWORD LoadModelForPrinter(const DRIVER_INFO_3W& driver, const WCHAR* printerName, ModelCaps& caps) {
  const std::u16string_view dependent = plat::view(driver.pDependentFiles);  // first entry
  caps.ModelName = DuplicateText(plat::view(driver.pName));
  caps.PrinterName = DuplicateText(plat::view(printerName));
  caps.DataFile = DuplicateText(plat::view(driver.pDataFile));
  caps.ResourceDll = DuplicateText(dependent);
  if (!caps.ModelName || !caps.PrinterName || !caps.DataFile || !caps.ResourceDll) return ERROR_NOT_ENOUGH_MEMORY;

  HMODULE resources = dependent.empty() ? nullptr : LoadLibraryW(caps.ResourceDll);
  RdfLoadReport report;
  const int loaded = LoadRdf(resources, &caps, &report);
  if (resources) FreeLibrary(resources);
  if (loaded == 1) return ERROR_SUCCESS;
  return report.fault == RdfFault::NoMemory ? ERROR_NOT_ENOUGH_MEMORY : ERROR_BAD_FORMAT;
}

// Writes the model's printer data and its default DEVMODE. ERROR_SUCCESS or the reason.
DWORD StoreModel(const WCHAR* printerName, const ModelCaps& caps) {
  if (StoreCapsAsPrinterData(&caps) != 1) {
    const DWORD error = GetLastError();
    return error ? error : ERROR_INVALID_PRINTER_NAME;
  }
  std::unique_ptr<PrivateDevmode, GlobalDeleter> dm(BuildDefaultDevmode(nullptr, caps));
  if (!dm) return ERROR_NOT_ENOUGH_MEMORY;
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(printerName, &printer, &defaults)) return GetLastError();
  const DWORD written = WriteDefaultDevmodeToHandle(printer, &dm->Public);
  ClosePrinter(printer);
  return written;
}

}  // namespace

BOOL DrvPrinterEvent(const WCHAR* printerName, int event, DWORD, LPARAM) {
  if (event != PRINTER_EVENT_INITIALIZE) return event == PRINTER_EVENT_DELETE ? TRUE : FALSE;

  std::unique_ptr<DRIVER_INFO_3W, GlobalDeleter> driver(GetDriverInfo3(printerName));
  if (!driver) return FALSE;
  ModelCaps* caps = AllocModelCaps();
  if (!caps) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  // A model that did not load whole is not stored: the printer keeps no
  // half-read capabilities, and the failure reaches the spooler.
  DWORD error = LoadModelForPrinter(*driver, printerName, *caps);
  if (error == ERROR_SUCCESS) error = StoreModel(printerName, *caps);
  FreeModelCaps(caps, true);
  GlobalFree(caps);
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return FALSE;
  }
  return TRUE;
}

UINT CheckDevmodeFields(const DEVMODEW* devmode) {
  if (devmode->dmSize < kPublicDevmodeSize) return kOldDevmodeString;
  const DWORD f = devmode->dmFields;
  const bool bySize = (f & DM_PAPERLENGTH) && (f & DM_PAPERWIDTH);
  const bool byForm = (f & DM_ORIENTATION) && (f & DM_PAPERSIZE);
  return (bySize || byForm) ? 0 : kNoPaperFieldsString;
}

BOOL DevQueryPrintEx(DEVQUERYPRINT_INFO* info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const UINT id = info->pDevMode ? CheckDevmodeFields(info->pDevMode) : kNoDevmodeString;
  if (id == 0) return TRUE;
  HMODULE resources = LoadResourceDll(nullptr, info->hPrinter);
  int loaded = 0;
  if (resources && info->pszErrorStr && info->cchErrorStr > 0) {
    const int chars = static_cast<int>(std::min<DWORD>(info->cchErrorStr, 0x7FFFFFFF));
    loaded = LoadStringW(resources, id, info->pszErrorStr, chars);
  }
  info->cchNeeded = static_cast<DWORD>(std::max(loaded, 0));
  if (resources) FreeLibrary(resources);
  return FALSE;
}

}  // namespace printer_interface
