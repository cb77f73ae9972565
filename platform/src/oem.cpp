// The platform's interface ids of the core driver's plug-in interfaces.
#include "plat/oem.h"

namespace {
constexpr IID PlatformIid(BYTE n) { return {0x504C4154, 0x0000, 0x4000, {0x80, 0, 0, 0, 0, 0, 0, n}}; }
}  // namespace

extern "C" {
const IID IID_IPrintOemUni2 = PlatformIid(0x01);
const IID IID_IPrintOemDriverUni = PlatformIid(0x02);
const IID IID_IPrintOemUI2 = PlatformIid(0x03);
const IID IID_IPrintCoreHelper = PlatformIid(0x04);
const IID IID_IPrintCoreHelperUni = PlatformIid(0x05);
const IID IID_IPrintOemPrintTicketProvider = PlatformIid(0x06);
}
