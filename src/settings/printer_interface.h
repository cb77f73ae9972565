// The printer interface entries through which the spooler and GDI query and
// prepare the driver: device capabilities, DEVMODE conversion, document and
// printer events, the print query, and the failed-job report. classicui
// exports them under their platform names; the UI plug-in runs the same code.
#pragma once

#include <cstdint>

#include "plat/base.h"
#include "plat/spooler.h"
#include "settings/private_devmode.h"

// DrvDeviceCapabilities indices.
constexpr WORD DC_FIELDS = 1;
constexpr WORD DC_PAPERS = 2;
constexpr WORD DC_PAPERSIZE = 3;
constexpr WORD DC_MINEXTENT = 4;
constexpr WORD DC_MAXEXTENT = 5;
constexpr WORD DC_BINS = 6;
constexpr WORD DC_DUPLEX = 7;
constexpr WORD DC_SIZE = 8;
constexpr WORD DC_EXTRA = 9;
constexpr WORD DC_VERSION = 10;
constexpr WORD DC_DRIVER = 11;
constexpr WORD DC_BINNAMES = 12;
constexpr WORD DC_ENUMRESOLUTIONS = 13;
constexpr WORD DC_FILEDEPENDENCIES = 14;
constexpr WORD DC_TRUETYPE = 15;
constexpr WORD DC_PAPERNAMES = 16;
constexpr WORD DC_ORIENTATION = 17;
constexpr WORD DC_COPIES = 18;
constexpr WORD DC_COLLATE = 22;
constexpr WORD DC_PRINTRATE = 26;
constexpr WORD DC_PRINTRATEUNIT = 27;
constexpr WORD DC_MEDIAREADY = 29;
constexpr WORD DC_STAPLE = 30;
constexpr WORD DC_PRINTRATEPPM = 31;
constexpr WORD DC_COLORDEVICE = 32;
constexpr DWORD DCTT_BITMAP = 1;
constexpr DWORD GDI_ERROR = 0xFFFFFFFF;

// Slots of the name answers, in units.
constexpr std::size_t kBinNameSlotUnits = 24;
constexpr std::size_t kPaperNameSlotUnits = 64;

// DrvConvertDevMode modes.
constexpr DWORD CDM_CONVERT = 1;
constexpr DWORD CDM_CONVERT351 = 2;
constexpr DWORD CDM_DRIVER_DEFAULT = 4;

// DrvDocumentEvent.
constexpr int DOCUMENTEVENT_ENDDOC = 8;
constexpr int DOCUMENTEVENT_ENDDOCPOST = 12;
constexpr int DOCUMENTEVENT_SUCCESS = 1;

// DrvPrinterEvent.
constexpr int PRINTER_EVENT_ADD_CONNECTION = 1;
constexpr int PRINTER_EVENT_DELETE_CONNECTION = 2;
constexpr int PRINTER_EVENT_INITIALIZE = 3;
constexpr int PRINTER_EVENT_DELETE = 4;

struct DEVQUERYPRINT_INFO {
  WORD cbSize;
  WORD Level;
  HANDLE hPrinter;
  DEVMODEW* pDevMode;
  LPWSTR pszErrorStr;   // caller's buffer of cchErrorStr characters
  DWORD cchErrorStr;
  DWORD cchNeeded;      // characters of the message loaded
};
using PDEVQUERYPRINT_INFO = DEVQUERYPRINT_INFO*;

// Per-user key under which the render library records jobs whose job file
// could not be written; the printer name and "\" follow it.
inline constexpr const WCHAR* kFailedJobKeyBase = u"Software\\Nevo Bertal Corporation\\NEVO Printer Driver\\";

// String ids of the drivers' resource library used here.
constexpr UINT kMessageCaptionString = 3632;
constexpr UINT kFailedJobString = 3635;
constexpr UINT kNoDevmodeString = 3648;
constexpr UINT kOldDevmodeString = 3649;
constexpr UINT kNoPaperFieldsString = 3650;

namespace printer_interface {

// 1 for reasons 0-3 (process attach stores the module), else 0.
BOOL DllInitialize(HMODULE module, DWORD reason, LPVOID reserved);
// The module DllInitialize stored at process attach (none before).
HMODULE UiModule();

// The answer for one capability index (sizes in 0.1 mm), or GDI_ERROR when the
// printer's model data is missing or memory runs out. The caller's DEVMODE
// is read, never written: a copy of it is validated.
// The plug-in generation builds and validates as the core driver's DEVMODE.
DWORD DrvDeviceCapabilities(HANDLE printer, const WCHAR* deviceName, WORD index, void* output, const DEVMODEW* devmode,
                            Generation generation = Generation::Classic);

// TRUE, or FALSE with the last error 87 (bad arguments) or 122 (output
// smaller than 3456 bytes in modes 2 and 4, *size then set to 3456).
BOOL DrvConvertDevMode(const WCHAR* printerName, const DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode);

// DOCUMENTEVENT_SUCCESS for every event; the end-of-document events report failed jobs.
int DrvDocumentEvent(HANDLE printer, HANDLE dc, int event, ULONG inSize, void* in, ULONG outSize, void* out,
                     Generation generation = Generation::Classic);

// INITIALIZE: reads the model data file and stores the capabilities and the
// default DEVMODE as printer data. FALSE with the last error when the driver
// information, the model data file or a required write fails (nothing is
// stored from a file that did not load). DELETE: TRUE. Others: FALSE.
BOOL DrvPrinterEvent(const WCHAR* printerName, int event, DWORD flags, LPARAM param);

// TRUE when the job's DEVMODE can print; otherwise FALSE with the reason's
// text in the caller's buffer.
BOOL DevQueryPrintEx(DEVQUERYPRINT_INFO* info);

// 0, or the string id of what is wrong with the DEVMODE (3649, 3650).
UINT CheckDevmodeFields(const DEVMODEW* devmode);

// Shows one warning per recorded failed job of the printer and deletes the
// records. Always 1.
int ReportFailedJobOutputs(HANDLE printer, Generation generation = Generation::Classic);

// The printer's DRIVER_INFO_3 in a new global block (GlobalFree), or nullptr.
DRIVER_INFO_3W* GetDriverInfo3(const WCHAR* printerName);

}  // namespace printer_interface
