// Calls a COM object's slots as a C caller does: through the object's table
// of function pointers, the object first.
#pragma once

#include <cstddef>

namespace testsupport {

template <typename R, typename... Args>
R CallSlot(void* object, std::size_t slot, Args... args) {
  using Fn = R (*)(void*, Args...);
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot])(object, args...);
}

}  // namespace testsupport
