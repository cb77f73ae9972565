#include "plugincommon/com_base.h"

namespace plugincommon {
namespace {
LONG g_liveObjects = 0;
LONG g_serverLocks = 0;
}  // namespace

namespace detail {
void ObjectCreated() { InterlockedIncrement(&g_liveObjects); }
void ObjectDestroyed() { InterlockedDecrement(&g_liveObjects); }
}  // namespace detail

LONG LiveObjectCount() { return std::atomic_ref<LONG>(g_liveObjects).load(); }
LONG ServerLockCount() { return std::atomic_ref<LONG>(g_serverLocks).load(); }

void LockServer(BOOL lock) {
  if (lock)
    InterlockedIncrement(&g_serverLocks);
  else
    InterlockedDecrement(&g_serverLocks);
}

HRESULT CanUnloadNow() { return LiveObjectCount() != 0 || ServerLockCount() != 0 ? S_FALSE : S_OK; }

}  // namespace plugincommon
