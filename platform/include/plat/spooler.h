// Spooler: printers with their driver, port, DEVMODE and printer data, held
// in memory for the whole process; jobs written with WritePrinter land in
// spool files of the machine (WINDOWS\System32\spool\PRINTERS, one a job)
// that tests and tools read back (plat::spooler).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plat/base.h"
#include "plat/files.h"
#include "plat/registry.h"

constexpr DWORD CCHDEVICENAME = 32;
constexpr DWORD CCHFORMNAME = 32;

// The public DEVMODE (dmSize 220). A driver's private bytes (dmDriverExtra)
// follow it directly in memory.
struct DEVMODEW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  SHORT dmOrientation;
  SHORT dmPaperSize;
  SHORT dmPaperLength;
  SHORT dmPaperWidth;
  SHORT dmScale;
  SHORT dmCopies;
  SHORT dmDefaultSource;
  SHORT dmPrintQuality;
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  union {
    DWORD dmDisplayFlags;
    DWORD dmNup;
  };
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
};
using PDEVMODEW = DEVMODEW*;
using LPDEVMODEW = DEVMODEW*;
static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmDeviceName) == 0);
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmDriverVersion) == 66);
static_assert(offsetof(DEVMODEW, dmSize) == 68);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78);
static_assert(offsetof(DEVMODEW, dmPaperLength) == 80);
static_assert(offsetof(DEVMODEW, dmPaperWidth) == 82);
static_assert(offsetof(DEVMODEW, dmScale) == 84);
static_assert(offsetof(DEVMODEW, dmCopies) == 86);
static_assert(offsetof(DEVMODEW, dmDefaultSource) == 88);
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90);
static_assert(offsetof(DEVMODEW, dmColor) == 92);
static_assert(offsetof(DEVMODEW, dmDuplex) == 94);
static_assert(offsetof(DEVMODEW, dmYResolution) == 96);
static_assert(offsetof(DEVMODEW, dmTTOption) == 98);
static_assert(offsetof(DEVMODEW, dmCollate) == 100);
static_assert(offsetof(DEVMODEW, dmFormName) == 102);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168);
static_assert(offsetof(DEVMODEW, dmPelsWidth) == 172);
static_assert(offsetof(DEVMODEW, dmPelsHeight) == 176);
static_assert(offsetof(DEVMODEW, dmNup) == 180);
static_assert(offsetof(DEVMODEW, dmDisplayFrequency) == 184);
static_assert(offsetof(DEVMODEW, dmICMMethod) == 188);
static_assert(offsetof(DEVMODEW, dmICMIntent) == 192);
static_assert(offsetof(DEVMODEW, dmMediaType) == 196);
static_assert(offsetof(DEVMODEW, dmDitherType) == 200);
static_assert(offsetof(DEVMODEW, dmReserved1) == 204);
static_assert(offsetof(DEVMODEW, dmReserved2) == 208);
static_assert(offsetof(DEVMODEW, dmPanningWidth) == 212);
static_assert(offsetof(DEVMODEW, dmPanningHeight) == 216);

constexpr WORD DM_SPECVERSION = 0x0401;

// dmFields bits.
constexpr DWORD DM_ORIENTATION = 0x00000001;
constexpr DWORD DM_PAPERSIZE = 0x00000002;
constexpr DWORD DM_PAPERLENGTH = 0x00000004;
constexpr DWORD DM_PAPERWIDTH = 0x00000008;
constexpr DWORD DM_SCALE = 0x00000010;
constexpr DWORD DM_POSITION = 0x00000020;
constexpr DWORD DM_NUP = 0x00000040;
constexpr DWORD DM_DISPLAYORIENTATION = 0x00000080;
constexpr DWORD DM_COPIES = 0x00000100;
constexpr DWORD DM_DEFAULTSOURCE = 0x00000200;
constexpr DWORD DM_PRINTQUALITY = 0x00000400;
constexpr DWORD DM_COLOR = 0x00000800;
constexpr DWORD DM_DUPLEX = 0x00001000;
constexpr DWORD DM_YRESOLUTION = 0x00002000;
constexpr DWORD DM_TTOPTION = 0x00004000;
constexpr DWORD DM_COLLATE = 0x00008000;
constexpr DWORD DM_FORMNAME = 0x00010000;
constexpr DWORD DM_LOGPIXELS = 0x00020000;
constexpr DWORD DM_BITSPERPEL = 0x00040000;
constexpr DWORD DM_PELSWIDTH = 0x00080000;
constexpr DWORD DM_PELSHEIGHT = 0x00100000;
constexpr DWORD DM_DISPLAYFLAGS = 0x00200000;
constexpr DWORD DM_DISPLAYFREQUENCY = 0x00400000;
constexpr DWORD DM_ICMMETHOD = 0x00800000;
constexpr DWORD DM_ICMINTENT = 0x01000000;
constexpr DWORD DM_MEDIATYPE = 0x02000000;
constexpr DWORD DM_DITHERTYPE = 0x04000000;
constexpr DWORD DM_PANNINGWIDTH = 0x08000000;
constexpr DWORD DM_PANNINGHEIGHT = 0x10000000;

constexpr SHORT DMORIENT_PORTRAIT = 1;
constexpr SHORT DMORIENT_LANDSCAPE = 2;

constexpr SHORT DMPAPER_LETTER = 1;
constexpr SHORT DMPAPER_LEGAL = 5;
constexpr SHORT DMPAPER_A3 = 8;
constexpr SHORT DMPAPER_A4 = 9;
constexpr SHORT DMPAPER_A5 = 11;
constexpr SHORT DMPAPER_B4 = 12;
constexpr SHORT DMPAPER_B5 = 13;
constexpr SHORT DMPAPER_USER = 256;

constexpr SHORT DMBIN_UPPER = 1;
constexpr SHORT DMBIN_ONLYONE = 1;
constexpr SHORT DMBIN_LOWER = 2;
constexpr SHORT DMBIN_MANUAL = 4;
constexpr SHORT DMBIN_AUTO = 7;
constexpr SHORT DMBIN_USER = 256;

constexpr SHORT DMRES_DRAFT = -1;
constexpr SHORT DMRES_LOW = -2;
constexpr SHORT DMRES_MEDIUM = -3;
constexpr SHORT DMRES_HIGH = -4;

constexpr SHORT DMCOLOR_MONOCHROME = 1;
constexpr SHORT DMCOLOR_COLOR = 2;

constexpr SHORT DMDUP_SIMPLEX = 1;
constexpr SHORT DMDUP_VERTICAL = 2;
constexpr SHORT DMDUP_HORIZONTAL = 3;

constexpr SHORT DMTT_BITMAP = 1;
constexpr SHORT DMTT_DOWNLOAD = 2;
constexpr SHORT DMTT_SUBDEV = 3;
constexpr SHORT DMTT_DOWNLOAD_OUTLINE = 4;

constexpr SHORT DMCOLLATE_FALSE = 0;
constexpr SHORT DMCOLLATE_TRUE = 1;

// Printer handle access rights.
constexpr ACCESS_MASK PRINTER_ACCESS_ADMINISTER = 0x00000004;
constexpr ACCESS_MASK PRINTER_ACCESS_USE = 0x00000008;
constexpr ACCESS_MASK PRINTER_ALL_ACCESS = STANDARD_RIGHTS_REQUIRED | PRINTER_ACCESS_ADMINISTER | PRINTER_ACCESS_USE;
constexpr ACCESS_MASK PRINTER_READ = STANDARD_RIGHTS_READ | PRINTER_ACCESS_USE;
static_assert(PRINTER_ALL_ACCESS == 0xF000C);

struct PRINTER_DEFAULTSW {
  LPWSTR pDatatype;
  DEVMODEW* pDevMode;
  ACCESS_MASK DesiredAccess;
};
using LPPRINTER_DEFAULTSW = PRINTER_DEFAULTSW*;

using PSECURITY_DESCRIPTOR = void*;

struct PRINTER_INFO_2W {
  LPWSTR pServerName;
  LPWSTR pPrinterName;
  LPWSTR pShareName;
  LPWSTR pPortName;
  LPWSTR pDriverName;
  LPWSTR pComment;
  LPWSTR pLocation;
  DEVMODEW* pDevMode;
  LPWSTR pSepFile;
  LPWSTR pPrintProcessor;
  LPWSTR pDatatype;
  LPWSTR pParameters;
  PSECURITY_DESCRIPTOR pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
};
using PPRINTER_INFO_2W = PRINTER_INFO_2W*;

struct PRINTER_INFO_4W {
  LPWSTR pPrinterName;
  LPWSTR pServerName;
  DWORD Attributes;
};
using PPRINTER_INFO_4W = PRINTER_INFO_4W*;

constexpr DWORD PRINTER_ATTRIBUTE_LOCAL = 0x00000040;
constexpr DWORD PRINTER_ATTRIBUTE_SHARED = 0x00000008;
constexpr DWORD PRINTER_STATUS_PENDING_DELETION = 0x00000004;
constexpr DWORD PRINTER_CONTROL_PURGE = 3;

struct PRINTER_INFO_8W {
  DEVMODEW* pDevMode;
};

struct DRIVER_INFO_3W {
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
  LPWSTR pHelpFile;
  LPWSTR pDependentFiles;  // file names, each zero-terminated, ended by an empty one
  LPWSTR pMonitorName;
  LPWSTR pDefaultDataType;
};
using PDRIVER_INFO_3W = DRIVER_INFO_3W*;

struct PORT_INFO_2W {
  LPWSTR pPortName;
  LPWSTR pMonitorName;
  LPWSTR pDescription;
  DWORD fPortType;
  DWORD Reserved;
};
struct MONITOR_INFO_2W {
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDLLName;
};
constexpr DWORD PORT_TYPE_WRITE = 0x1;
constexpr ACCESS_MASK SERVER_ACCESS_ADMINISTER = 0x00000001;
constexpr DWORD ERROR_DUP_NAME = 52;
constexpr DWORD ERROR_UNKNOWN_PRINT_MONITOR = 3000;
constexpr DWORD ERROR_PRINT_MONITOR_ALREADY_INSTALLED = 3006;
constexpr DWORD ERROR_NOT_SUPPORTED_XCV = 50;

struct PORT_INFO_3W {
  DWORD dwStatus;
  LPWSTR pszStatus;
  DWORD dwSeverity;
};
using PPORT_INFO_3W = PORT_INFO_3W*;

constexpr DWORD ERROR_SPL_NO_STARTDOC = 3004;

constexpr DWORD PORT_STATUS_TYPE_ERROR = 1;
constexpr DWORD PORT_STATUS_TYPE_WARNING = 2;
constexpr DWORD PORT_STATUS_TYPE_INFO = 3;

struct DOC_INFO_1W {
  LPWSTR pDocName;
  LPWSTR pOutputFile;
  LPWSTR pDatatype;
};

extern "C" {
// defaults NULL (or DesiredAccess 0) asks for PRINTER_ACCESS_USE. Unknown
// names fail with ERROR_INVALID_PRINTER_NAME; *printer is NULL on failure.
PLATAPI BOOL OpenPrinterW(LPCWSTR printerName, PHANDLE printer, LPPRINTER_DEFAULTSW defaults);
PLATAPI BOOL ClosePrinter(HANDLE printer);

// Levels 2 and 4. The strings (and for level 2 the DEVMODE with its private
// bytes) are placed in the caller's buffer after the structure. A buffer
// smaller than *needed: FALSE with ERROR_INSUFFICIENT_BUFFER.
PLATAPI BOOL GetPrinterW(HANDLE printer, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
// Level 2 replaces the printer's DEVMODE (when pDevMode is set); needs
// PRINTER_ACCESS_ADMINISTER. command must be 0.
PLATAPI BOOL SetPrinterW(HANDLE printer, DWORD level, LPBYTE info, DWORD command);
// Level 3; environment NULL or the driver's own. Same size protocol as GetPrinterW.
PLATAPI BOOL GetPrinterDriverW(HANDLE printer, LPCWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                               LPDWORD needed);

// Printer data; these return ERROR_SUCCESS or the error code.
// *needed receives the value's size whenever it exists; a buffer smaller
// than that gives ERROR_MORE_DATA; a missing value ERROR_FILE_NOT_FOUND.
PLATAPI DWORD GetPrinterDataW(HANDLE printer, LPCWSTR valueName, LPDWORD type, LPBYTE data, DWORD size,
                              LPDWORD needed);
// Stores exactly size bytes (REG_SZ included). Needs PRINTER_ACCESS_ADMINISTER.
PLATAPI DWORD SetPrinterDataW(HANDLE printer, LPCWSTR valueName, DWORD type, const BYTE* data, DWORD size);
PLATAPI DWORD DeletePrinterDataW(HANDLE printer, LPCWSTR valueName);
// Values under a key (apart from the unkeyed values above); the same size protocol.
PLATAPI DWORD GetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, LPDWORD type, LPBYTE data,
                                DWORD size, LPDWORD needed);
PLATAPI DWORD SetPrinterDataExW(HANDLE printer, LPCWSTR keyName, LPCWSTR valueName, DWORD type, const BYTE* data,
                                DWORD size);
// Value number index in creation order; nameSize and dataSize in bytes. Both
// 0: *nameNeeded and *dataNeeded receive the largest name (with terminator)
// and data over all values. ERROR_MORE_DATA when this value does not fit,
// ERROR_NO_MORE_ITEMS past the last one.
PLATAPI DWORD EnumPrinterDataW(HANDLE printer, DWORD index, LPWSTR valueName, DWORD nameSize, LPDWORD nameNeeded,
                               LPDWORD type, LPBYTE data, DWORD dataSize, LPDWORD dataNeeded);

// Level 3: records the port's status (read back with plat::spooler::PortStatusOf).
// server must be NULL; an unknown port fails with ERROR_UNKNOWN_PORT.
PLATAPI BOOL SetPortW(LPCWSTR server, LPCWSTR portName, DWORD level, LPBYTE info);

// Jobs. StartDocPrinterW (level 1) returns the new job id, 0 on failure.
// WritePrinter appends to the printer's sink; *written may be below size
// (a short write) when a fault is injected. A cancelled job fails with
// ERROR_PRINT_CANCELLED.
PLATAPI DWORD StartDocPrinterW(HANDLE printer, DWORD level, LPBYTE docInfo);
PLATAPI BOOL EndDocPrinter(HANDLE printer);
PLATAPI BOOL WritePrinter(HANDLE printer, LPVOID data, DWORD size, LPDWORD written);
}

// Spooler forms: the 118 built-in forms (position n is DMPAPER n), then the
// user forms in the order they were added. Sizes in micrometres.
struct FORM_INFO_1W {
  DWORD Flags;
  LPWSTR pName;
  SIZEL Size;
  RECTL ImageableArea;
};
using PFORM_INFO_1W = FORM_INFO_1W*;

constexpr DWORD FORM_USER = 0x00000000;
constexpr DWORD FORM_BUILTIN = 0x00000001;
constexpr DWORD FORM_PRINTER = 0x00000002;

extern "C" {
// Level 1 only (ERROR_INVALID_LEVEL); any open printer handle. Enum and Get
// follow the size protocol of GetPrinterW; an unknown name fails with
// ERROR_INVALID_FORM_NAME. Names are matched without case.
PLATAPI BOOL EnumFormsW(HANDLE printer, DWORD level, LPBYTE form, DWORD size, LPDWORD needed, LPDWORD returned);
PLATAPI BOOL GetFormW(HANDLE printer, LPCWSTR formName, DWORD level, LPBYTE form, DWORD size, LPDWORD needed);
// Add, Set and Delete refuse a user who may not administer the printer
// (ERROR_ACCESS_DENIED). A record needs Flags FORM_USER or FORM_PRINTER, a
// positive size and an imageable area inside it (else ERROR_INVALID_PARAMETER),
// and a name (ERROR_INVALID_FORM_NAME). Add: ERROR_FILE_EXISTS for a known
// name. Set keeps the form's name and place. Built-in forms cannot be changed
// or deleted (ERROR_INVALID_PARAMETER).
PLATAPI BOOL AddFormW(HANDLE printer, DWORD level, LPBYTE form);
PLATAPI BOOL SetFormW(HANDLE printer, LPCWSTR formName, DWORD level, LPBYTE form);
PLATAPI BOOL DeleteFormW(HANDLE printer, LPCWSTR formName);
}

// Installation: drivers, print processors, printers.
constexpr DWORD PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST = 0x00000200;
constexpr DWORD PRINTER_ENUM_LOCAL = 0x00000002;
constexpr DWORD APD_COPY_NEW_FILES = 0x00000008;
constexpr DWORD UPDP_UPLOAD_ALWAYS = 0x00000002;
constexpr DWORD IPDFP_COPY_ALL_FILES = 0x00000001;
constexpr DWORD ERROR_UNKNOWN_PRINTPROCESSOR = 1798;
constexpr DWORD ERROR_PRINTER_DRIVER_IN_USE = 3001;
constexpr DWORD ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED = 3005;
constexpr DWORD DPD_DELETE_UNUSED_FILES = 0x00000001;
constexpr DWORD DPD_DELETE_SPECIFIC_VERSION = 0x00000002;
constexpr DWORD DPD_DELETE_ALL_FILES = 0x00000004;

struct DRIVER_INFO_6W {
  DWORD cVersion;
  LPWSTR pName;
  LPWSTR pEnvironment;
  LPWSTR pDriverPath;
  LPWSTR pDataFile;
  LPWSTR pConfigFile;
  LPWSTR pHelpFile;
  LPWSTR pDependentFiles;
  LPWSTR pMonitorName;
  LPWSTR pDefaultDataType;
  LPWSTR pszzPreviousNames;
  FILETIME ftDriverDate;
  std::uint64_t dwlDriverVersion;
  LPWSTR pszMfgName;
  LPWSTR pszOEMUrl;
  LPWSTR pszHardwareID;
  LPWSTR pszProvider;
};
using PDRIVER_INFO_6W = DRIVER_INFO_6W*;

struct PRINTPROCESSOR_INFO_1W {
  LPWSTR pName;
};

// DrvPrinterEvent of a printer interface library.
using PFN_DrvPrinterEvent = BOOL (*)(LPWSTR printerName, INT event, DWORD flags, LPARAM lParam);

extern "C" {
// Level 3 or 6. With APD_COPY_NEW_FILES the files (names or paths) are taken
// from the printer-driver directory and copied into its version folder "3";
// without it they must be there already (ERROR_FILE_NOT_FOUND). The
// environment must be the machine's (ERROR_INVALID_ENVIRONMENT).
PLATAPI BOOL AddPrinterDriverExW(LPWSTR server, DWORD level, LPBYTE info, DWORD flags);
// Level 3 (DRIVER_INFO_3W) or 6 with the size protocol of GetPrinterW.
PLATAPI BOOL EnumPrinterDriversW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                 LPDWORD needed, LPDWORD returned);
// The file must be in the print-processor directory (ERROR_FILE_NOT_FOUND);
// ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED for a known name.
PLATAPI BOOL AddPrintProcessorW(LPWSTR server, LPWSTR environment, LPWSTR pathName, LPWSTR printProcessorName);
PLATAPI BOOL EnumPrintProcessorsW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                  LPDWORD needed, LPDWORD returned);
// Sizes in bytes, including the terminator.
PLATAPI BOOL GetPrinterDriverDirectoryW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                        LPDWORD needed);
PLATAPI BOOL GetPrintProcessorDirectoryW(LPWSTR server, LPWSTR environment, DWORD level, LPBYTE buffer, DWORD size,
                                         LPDWORD needed);
// Level 2. Checks the port (ERROR_UNKNOWN_PORT), driver
// (ERROR_UNKNOWN_PRINTER_DRIVER), print processor (ERROR_UNKNOWN_PRINTPROCESSOR)
// and name (ERROR_INVALID_PRINTER_NAME, ERROR_PRINTER_ALREADY_EXISTS); a
// DEVMODE with dmSize 0 counts as none, an empty datatype as "RAW". Then calls
// the driver's DrvPrinterEvent(PRINTER_EVENT_INITIALIZE). Returns a handle
// with full access, NULL on failure.
PLATAPI HANDLE AddPrinterW(LPWSTR server, DWORD level, LPBYTE info);
// Level 2: the ports, "SHRFAX:" of the fax monitor included from 6.0.
PLATAPI BOOL EnumPortsW(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned);
// Level 2: the port monitors.
PLATAPI BOOL EnumMonitorsW(LPWSTR server, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                           LPDWORD returned);
// Level 2 (name, environment, DLL): ERROR_PRINT_MONITOR_ALREADY_INSTALLED when present.
PLATAPI BOOL AddMonitorW(LPWSTR server, DWORD level, LPBYTE info);
// The monitor's port-name dialog (the scripted user types the name into
// edit 1000 and presses OK); the port is added under that name.
PLATAPI BOOL AddPortW(LPWSTR server, HWND window, LPWSTR monitor);
// On a handle of OpenPrinterW(",XcvMonitor NAME"): "AddPort" with a
// PORT_DATA_1 (Standard TCP/IP Port) or a port name (Local Port). *status:
// 0, ERROR_ALREADY_EXISTS (183) when the port exists, ERROR_INVALID_DATA.
PLATAPI BOOL XcvDataW(HANDLE xcv, LPCWSTR dataName, BYTE* input, DWORD inputSize, BYTE* output, DWORD outputSize,
                      LPDWORD needed, LPDWORD status);
// Levels 2 and 4 of the local printers (flags must hold PRINTER_ENUM_LOCAL).
PLATAPI BOOL EnumPrintersW(DWORD flags, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                           LPDWORD returned);
// Marks the printer for deletion (it needs a handle with DELETE access);
// it goes when its last handle is closed, and cannot be opened meanwhile.
PLATAPI BOOL DeletePrinter(HANDLE printer);
// Removes a driver no printer uses: ERROR_UNKNOWN_PRINTER_DRIVER for an
// unknown one, ERROR_PRINTER_DRIVER_IN_USE while a printer uses it or the
// spooler holds its files. DPD_DELETE_UNUSED_FILES also deletes the files
// no other driver names.
PLATAPI BOOL DeletePrinterDriverExW(LPWSTR server, LPWSTR environment, LPWSTR driverName, DWORD deleteFlag,
                                    DWORD versionFlag);
// Removes the registration (the file stays); ERROR_UNKNOWN_PRINTPROCESSOR
// for an unknown name, ERROR_ACCESS_DENIED for "WinPrint".
PLATAPI BOOL DeletePrintProcessorW(LPWSTR server, LPWSTR environment, LPWSTR printProcessorName);

// The driver store (exports of "winspool.drv" from Windows Vista on).
// Upload copies the INF's folder into the store and gives the stored INF's
// path (*destSize in units; HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) when
// it does not fit). Install reads the model's install section from the stored
// INF, installs its print processor and adds the driver from its files.
// Both return S_OK (0) or an HRESULT_FROM_WIN32 code.
PLATAPI HRESULT UploadPrinterDriverPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR environment, DWORD flags,
                                            HWND window, LPWSTR destInfPath, PULONG destSize);
PLATAPI HRESULT InstallPrinterDriverFromPackageW(LPCWSTR server, LPCWSTR infPath, LPCWSTR driverName,
                                                 LPCWSTR environment, DWORD flags);
}

namespace plat::spooler {
// The spooler's environment on this machine ("Windows x64" or "Windows NT x86").
PLATAPI std::u16string Environment();
// Adds a port to the spooler's list (true when new); the ports, sorted.
PLATAPI bool AddPort(std::u16string_view name);
PLATAPI std::vector<std::u16string> Ports();
// Installed print processors, "WinPrint" first.
PLATAPI std::vector<std::u16string> PrintProcessors();
// Drivers whose printer interface library the spooler keeps loaded (their
// files are in use) until it restarts.
PLATAPI std::vector<std::u16string> HeldDrivers();
PLATAPI void RestartSpooler();
// The spooler as a machine root stores it: canonical text, sorted.
PLATAPI std::string StateText();
}  // namespace plat::spooler

namespace plat::spooler {
struct DriverInfo {
  DWORD version = 3;
  std::u16string name;
  std::u16string environment = u"Windows x64";
  std::u16string driverPath;
  std::u16string dataFile;
  std::u16string configFile;
  std::u16string helpFile;
  std::vector<std::u16string> dependentFiles;
  std::u16string monitorName;
  std::u16string defaultDataType = u"RAW";
  std::u16string manufacturer;
  std::u16string oemUrl;
  std::u16string hardwareId;
  std::u16string provider;
};

struct PrinterSetup {
  std::u16string name;
  std::u16string port;
  DriverInfo driver;           // driver.name is also the printer's driver name
  std::vector<BYTE> devmode;   // public part and private bytes; empty: none
};

// Adds a printer (and its port when new). false when the name is taken or empty.
PLATAPI bool AddPrinter(const PrinterSetup& setup);
PLATAPI bool RemovePrinter(std::u16string_view name);
// In a machine root made by tools/machine (ROOT/.machine), the spooler's
// ports, print processors, drivers and printers with their data persist in
// ROOT/.machine/state/spooler and every process of the root sees them.
//
// Removes every printer, port, job and user form; open handles become
// invalid; job ids restart at 1.
PLATAPI void Reset();

// Printer data without a handle. GetData: nullopt when missing.
struct DataValue {
  DWORD type = 0;
  std::vector<BYTE> bytes;
};
PLATAPI bool SetData(std::u16string_view printer, std::u16string_view valueName, DWORD type,
                     std::vector<BYTE> bytes);
PLATAPI std::optional<DataValue> GetData(std::u16string_view printer, std::u16string_view valueName);
// The printer's DEVMODE as stored (empty when none or no such printer).
PLATAPI std::vector<BYTE> Devmode(std::u16string_view printer);

// Everything written to the printer with WritePrinter since it was added or
// cleared. Clearing, removing the printer and Reset delete its spool files.
PLATAPI std::vector<BYTE> Output(std::u16string_view printer);
PLATAPI void ClearOutput(std::u16string_view printer);
// Host path of the spool file holding what the job (a StartDocPrinterW id)
// wrote, all of it written through; "" when the job wrote nothing.
PLATAPI std::string JobSpoolFile(DWORD job);

// Faults of the printer's sink. maxPerCall > 0: every call takes at most that
// many bytes (a short write, the call still succeeds). failAfterBytes: once
// the sink holds that many bytes of this printer, calls fail with error and
// take nothing; the call that reaches the limit is cut short at it.
// failOnCall n > 0: the n-th call from now fails with error.
struct WriteFault {
  DWORD maxPerCall = 0;
  std::uint64_t failAfterBytes = UINT64_MAX;
  DWORD failOnCall = 0;
  DWORD error = ERROR_WRITE_FAULT;
};
PLATAPI void SetWriteFault(std::u16string_view printer, const WriteFault& fault);
PLATAPI void ClearWriteFault(std::u16string_view printer);

// The cancel flag of the printer's current job, polled by the engine's abort check.
PLATAPI void SetJobCancelled(std::u16string_view printer, bool cancelled);
PLATAPI bool IsJobCancelled(HANDLE printer);

struct PortStatus {
  std::u16string name;                     // as created
  std::u16string monitor = u"Local Port";  // the monitor that made it
  // Standard TCP/IP ports: the PORT_DATA_1 fields they were made with.
  std::u16string hostAddress, community, queue, ipAddress;
  DWORD version = 0, protocol = 0, portNumber = 0, doubleSpool = 0, snmpEnabled = 0, snmpIndex = 0;
  DWORD status = 0;
  std::u16string text;
  DWORD severity = 0;
  DWORD setCount = 0;  // SetPortW calls so far
};
// Adds a port of a monitor; false when one of that name exists.
PLATAPI bool AddPortOf(const PortStatus& port);
// The installed monitors: the system's and those added with AddMonitorW.
PLATAPI std::vector<std::u16string> Monitors();
// nullopt for an unknown port.
PLATAPI std::optional<PortStatus> PortStatusOf(std::u16string_view port);

// Takes away (denied) or gives back the user's right to administer the
// printer: OpenPrinterW asking for PRINTER_ACCESS_ADMINISTER then fails with
// ERROR_ACCESS_DENIED, and so do calls that need it on handles already open.
// false for an unknown printer. Reset gives the right back.
PLATAPI bool SetAdministerDenied(std::u16string_view printer, bool denied);

// Job ids given by StartDocPrinterW so far (0 before the first).
PLATAPI DWORD LastJobId();
// Open printer handles, for leak checks.
PLATAPI std::size_t OpenHandleCount();
}  // namespace plat::spooler
