// Working memory of the imaging kernels: zero-filled blocks from the global
// heap, held for one call, and byte counts computed with overflow checks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "plat/base.h"

namespace imaging {

// a x b x c in bytes; nothing when it does not fit a size_t (or 2^62).
inline std::optional<std::size_t> CheckedBytes(std::uint64_t a, std::uint64_t b, std::uint64_t c = 1) {
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 62;
  if (a == 0 || b == 0 || c == 0) return std::size_t{0};
  if (a > kLimit / b) return std::nullopt;
  const std::uint64_t ab = a * b;
  if (ab > kLimit / c) return std::nullopt;
  const std::uint64_t all = ab * c;
  if (all > SIZE_MAX) return std::nullopt;
  return static_cast<std::size_t>(all);
}

// A zero-filled block freed at the end of its scope; data() is null when the
// heap refused it.
class Scratch {
 public:
  explicit Scratch(std::optional<std::size_t> bytes)
      : data_(bytes && *bytes ? static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes)) : nullptr), size_(data_ ? *bytes : 0) {}
  ~Scratch() {
    if (data_) GlobalFree(data_);
  }
  // Frees the block held and takes a new one; false when the heap refused.
  bool Allocate(std::optional<std::size_t> bytes) {
    if (data_) GlobalFree(data_);
    data_ = bytes && *bytes ? static_cast<BYTE*>(GlobalAlloc(GPTR, *bytes)) : nullptr;
    size_ = data_ ? *bytes : 0;
    return data_ != nullptr;
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  BYTE* data() const { return data_; }
  std::size_t size() const { return size_; }
  explicit operator bool() const { return data_ != nullptr; }
  template <typename T>
  T* as() const {
    return reinterpret_cast<T*>(data_);
  }

 private:
  BYTE* data_;
  std::size_t size_;
};

}  // namespace imaging
