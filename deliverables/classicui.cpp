// classicui: the printer interface library of the classic generation. The
// spooler and GDI reach it only through these exports.

#include "plat/base.h"
#include "plat/spooler.h"
#include "settings/printer_interface.h"
#include "sheets/sheet_driver.h"

extern "C" {

DLLEXPORT BOOL WINAPI DllInitialize(HMODULE module, DWORD reason, LPVOID reserved) {
  return printer_interface::DllInitialize(module, reason, reserved);
}

DLLEXPORT DWORD WINAPI DrvDeviceCapabilities(HANDLE printer, LPWSTR deviceName, WORD index, PVOID output,
                                             DEVMODEW* devmode) {
  return printer_interface::DrvDeviceCapabilities(printer, deviceName, index, output, devmode);
}

DLLEXPORT BOOL WINAPI DrvConvertDevMode(LPWSTR printerName, DEVMODEW* in, DEVMODEW* out, LONG* size, DWORD mode) {
  return printer_interface::DrvConvertDevMode(printerName, in, out, size, mode);
}

DLLEXPORT INT WINAPI DrvDocumentEvent(HANDLE printer, HANDLE dc, INT event, ULONG inSize, PVOID in, ULONG outSize,
                                      PVOID out) {
  return printer_interface::DrvDocumentEvent(printer, dc, event, inSize, in, outSize, out);
}

DLLEXPORT BOOL WINAPI DrvPrinterEvent(LPWSTR printerName, INT event, DWORD flags, LPARAM param) {
  return printer_interface::DrvPrinterEvent(printerName, event, flags, param);
}

DLLEXPORT BOOL WINAPI DevQueryPrintEx(DEVQUERYPRINT_INFO* info) { return printer_interface::DevQueryPrintEx(info); }

DLLEXPORT LONG WINAPI DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return sheet_driver::DrvDocumentPropertySheets(info, lParam);
}

DLLEXPORT LONG WINAPI DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam) {
  return sheet_driver::DrvDevicePropertySheets(info, lParam);
}

}  // extern "C"
