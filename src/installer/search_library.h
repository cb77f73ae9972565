// The two exports of the search library on the medium (Nevosrch.dll), typed
// as the library defines them: a call through any other pointer type is
// undefined, so the installer, the library and its doubles share these.
#pragma once

#include "plat/windows.h"

// filter: `words` slots of 16 ASCII bytes. 1 when taken.
using NevoSetFilterFn = INT(const BYTE* filter, INT words);
// results: `bytes` bytes of 44-byte answers. Non-zero when the search ran.
using NevoEnumPrintServersFn = INT(DWORD, DWORD, BYTE* results, DWORD bytes, INT* status, INT* count);
