// The module side of the render library: the 20-entry function table the
// engine binds through DrvEnableDriver, the driver-info query and the
// module entry's reasons.
#pragma once

#include <span>

#include "plat/engine.h"

namespace render {

inline constexpr ULONG kDriverTableSize = 20;

// The table in its stored order.
std::span<const DRVFN, kDriverTableSize> DriverTable();

// Fills the caller's DRVENABLEDATA. FALSE with ERROR_BAD_DRIVER_LEVEL for an
// engine older than 0x20000 or a buffer smaller than the structure.
BOOL EnableDriver(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);

// Only DRVQUERY_USERMODE: *pcbNeeded = 4, and with room for 4 bytes writes 1.
BOOL QueryDriverInfo(DWORD dwMode, PVOID pBuffer, DWORD cbBuf, PDWORD pcbNeeded);

// The module entry: reasons 0 to 3 succeed.
BOOL InitializeForReason(DWORD reason);

}  // namespace render
