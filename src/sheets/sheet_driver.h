// The entries of the printer interface library into the common property-sheet
// UI: the document and device sheets, and the document properties without UI.
#pragma once

#include "plat/propsheet.h"
#include "sheets/sheet_state.h"

namespace sheet_driver {
// The exports of the library.
LONG DrvDocumentPropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
LONG DrvDevicePropertySheets(PROPSHEETUI_INFO* info, LPARAM lParam);
}  // namespace sheet_driver

// The call without UI: header is the DOCUMENTPROPERTYHEADER.
LONG DocumentPropertiesNoUi(DOCUMENTPROPERTYHEADER* header);

// Defaults mode of a document sheet: 1 for DM_USER_DEFAULT, or for the
// Windows 2000 explorer asking with no output buffer; else 0.
std::uint8_t DefaultsModeFor(DWORD mode, DWORD outputBytes, std::uint8_t windowsKind);

// Creates and adds the pages (records of the context's generation); both return 1.
int AddDocumentPages(PROPSHEETUI_INFO& info, DocSheetContext& context);
int AddDevicePage(PROPSHEETUI_INFO& info, DevSheetContext& context);
// Free what the context holds and the context, to the heap of its generation.
void FreeDocSheetContext(DocSheetContext* context);
void FreeDevSheetContext(DevSheetContext* context);

// The document sheet's printer query at open: with the ink information switch
// on, outside the defaults mode and taken (DEVMODE byte 3436) not 1, asks the
// printer (PrinterQueried 2); taken 1 gives PrinterQueried 1.
void QueryPrinterForSheet(ModelCaps& caps, SheetState& state, BYTE taken);

// The device sheet's OK: "Info", "Defaults", "Paper" and "DefaultDevmode"
// (the plug-in generation first registers the extra papers as forms).
void WriteDeviceSheetData(HANDLE printer, DevSheetContext& context);
