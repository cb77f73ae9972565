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

// Creates and adds the pages; both return 1.
int AddDocumentPages(PROPSHEETUI_INFO& info, DocSheetContext& context);
int AddDevicePage(PROPSHEETUI_INFO& info, DevSheetContext& context);
void FreeDocSheetContext(DocSheetContext* context);
