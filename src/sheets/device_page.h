// The device settings page (template 2007), the only page of the device
// sheet: the printer's address and ink information switch, the installed
// options, the user-paper and ink-colour buttons, the printer query and the
// restore button. Every edit goes into the "Defaults" block of the context's
// ModelCaps; the sheet writes it at OK.
#pragma once

#include "plat/base.h"
#include "sheets/sheet_state.h"

INT_PTR CALLBACK DeviceSettingsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

void DevicePageInit(HWND page, DevSheetContext& context);
void DevicePageRefresh(HWND page, DevSheetContext& context);
void DevicePageEnableRules(HWND page, const DevSheetContext& context);
// The answer of the page's procedure.
INT_PTR DevicePageNotify(HWND page, DevSheetContext& context, const NMHDR& header);
// True when the command changed the settings.
bool DevicePageCommand(HWND page, DevSheetContext& context, WORD id, WORD code);

// Asks the printer for its drums and options into the working settings; the
// QueryPrinter result (0 failed, 1 drums, 2 drums and options over SNMP).
int QueryPrinterIntoDevice(DevSheetContext& context, const WCHAR* address, bool snmp);
// The printer-level settings, the custom papers and the drum colours' marks
// from "Permanent".
void RestoreDeviceDefaults(DevSheetContext& context);
