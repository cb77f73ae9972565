#include "plat/base.h"

#include <cstdlib>
#include <cstring>

namespace {
thread_local DWORD g_lastError = 0;

// Every heap block carries its size in front so that the Free calls can
// check and release it; the flag decides whether it is zero-filled.
void* HeapBlock(UINT flags, SIZE_T bytes) {
  if (bytes > (static_cast<SIZE_T>(1) << 40)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  void* p = (flags & GMEM_ZEROINIT) ? std::calloc(1, bytes ? bytes : 1) : std::malloc(bytes ? bytes : 1);
  if (!p) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return p;
}
}  // namespace

extern "C" {
void SetLastError(DWORD code) { g_lastError = code; }
DWORD GetLastError() { return g_lastError; }

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) { return HeapBlock(flags, bytes); }
HGLOBAL GlobalFree(HGLOBAL mem) {
  std::free(mem);
  return nullptr;
}
HLOCAL LocalAlloc(UINT flags, SIZE_T bytes) { return HeapBlock(flags, bytes); }
HLOCAL LocalFree(HLOCAL mem) {
  std::free(mem);
  return nullptr;
}
}
