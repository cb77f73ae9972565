// Our class ids, for both plug-ins; the interface ids are the platform's
// (plat/oem.h).
#pragma once

#include "plat/com.h"

namespace plugincommon {
constexpr CLSID OurClassId(BYTE n) { return {0x4E45564F, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, n}}; }
}  // namespace plugincommon

inline constexpr CLSID CLSID_OEMRENDER = plugincommon::OurClassId(1);
inline constexpr CLSID CLSID_OEMUI = plugincommon::OurClassId(2);
inline constexpr CLSID CLSID_OEMPTPROVIDER = plugincommon::OurClassId(3);
