// The UI plug-in's property sheets: the document and device PROPSHEETUI
// callbacks that the core driver runs as children of its sheet, the settings
// taken from the plug-in part and the public DEVMODE, and the core's own
// Orientation and PaperSize features kept in step with them.
#pragma once

#include <span>

#include "plat/oem.h"
#include "plat/propsheet.h"
#include "plugincommon/plugin_devmode.h"
#include "sheets/sheet_state.h"

namespace uiplugin {

// The callbacks' bodies. lParamInit of info is the core's OEMUIPSPARAM. A
// missing info or one of another version: ERROR_INVALID_PARAMETER and
// E_INVALIDARG (document) or E_FAIL (device). Reasons not handled: E_FAIL.
HRESULT DocumentSheetsCallback(PROPSHEETUI_INFO* info, LPARAM lParam, IPrintCoreHelper* helper);
HRESULT DeviceSheetsCallback(PROPSHEETUI_INFO* info, LPARAM lParam);

// The part's settings brought in line with the printer's defaults (the
// context's settings, read from "Defaults") replace the context's settings.
// The result of LoadDefaultSettings.
BOOL LoadSettingsFromOemDevmode(std::span<const BYTE, oemdm::kSize> part, DocSheetContext& context, HANDLE printer);

// Copies, orientation, paper and source from the public DEVMODE's fields
// (sizes there 0.1 mm, in the settings micrometres). Returns 1.
int PublicDevmodeToSettings(HANDLE printer, const DEVMODEW* pub, DocSheetContext& context);

// Sets the core's "Orientation" and "PaperSize" features to the context's
// orientation and paper (no paper option when no form serves the paper). The
// last result obtained, or the failure of EnumFeatures.
HRESULT PushCoreOptions(IPrintCoreHelper* helper, DocSheetContext& context);

}  // namespace uiplugin
