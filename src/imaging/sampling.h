// How target pixels of a halftone pick their source pixels: target pixel k
// of a span of T takes source pixel floor(k S / T), for reduction and
// enlargement alike; and a target span clipped to its buffer.
#pragma once

#include <algorithm>
#include <cstdint>

#include "plat/base.h"

namespace imaging {

// An inclusive target span lo..hi cut to 0..limit - 1; size is the whole
// span's length, first and last the part inside.
struct TargetSpan {
  std::int64_t size = 0;
  LONG first = 0;
  LONG last = -1;
  bool empty() const { return size <= 0 || last < first; }
};

inline TargetSpan SpanOf(LONG lo, LONG hi, std::int64_t limit) {
  TargetSpan s;
  s.size = std::int64_t{hi} - lo + 1;
  if (s.size <= 0 || limit <= 0) return s;
  s.first = std::max<LONG>(lo, 0);
  s.last = static_cast<LONG>(std::min<std::int64_t>(hi, limit - 1));
  return s;
}

class SampleWalker {
 public:
  SampleWalker(std::int64_t k, std::int64_t S, std::int64_t T)
      : q_(k * S / T), r_(k * S % T), whole_(S / T), part_(S % T), T_(T) {}
  // The source index of the current target pixel, then steps to the next.
  LONG Next() {
    const LONG at = static_cast<LONG>(q_);
    q_ += whole_;
    r_ += part_;
    if (r_ >= T_) {
      ++q_;
      r_ -= T_;
    }
    return at;
  }

 private:
  std::int64_t q_, r_, whole_, part_, T_;
};

class Sampler {
 public:
  Sampler(std::int64_t sourceSize, std::int64_t targetSize) : S_(sourceSize), T_(std::max<std::int64_t>(targetSize, 1)) {}
  LONG At(std::int64_t k) const { return static_cast<LONG>(k * S_ / T_); }
  SampleWalker Walk(std::int64_t k) const { return SampleWalker(k, S_, T_); }

 private:
  std::int64_t S_, T_;
};

}  // namespace imaging
