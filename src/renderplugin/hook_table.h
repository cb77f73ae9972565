// OemHookTable: the 29 drawing and document calls the plug-in hooks in the
// core driver, with what each hook does around the core's saved entry.
#pragma once

#include <span>

#include "plat/engine.h"
#include "renderplugin/plugin_pdev.h"

namespace renderplugin {

// The table in its order (DDI index, hook).
std::span<const DRVFN, kOemHookCount> OemHookTable();

// Position of a DDI index in the table, or -1.
int HookSlot(ULONG index);

}  // namespace renderplugin
