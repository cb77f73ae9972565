// An output sink in memory for the writer's tests: it keeps what it took and
// can take a few bytes a call, stop taking after a number of bytes, or claim
// more than it was given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "planes/pdev_record.h"

namespace testsupport {

struct MemorySink {
  std::vector<std::uint8_t> bytes;
  std::size_t maxPerCall = 0;           // 0: no limit
  std::size_t failAfter = SIZE_MAX;     // every write fails once this many were taken
  bool claimMore = false;               // answers one byte more than it was given
  std::size_t calls = 0;

  OutputSink Sink() { return OutputSink{this, &Write, nullptr, nullptr}; }

  static std::size_t Write(void* context, const std::uint8_t* data, std::size_t size) {
    auto* self = static_cast<MemorySink*>(context);
    ++self->calls;
    if (self->bytes.size() >= self->failAfter) return 0;
    if (self->claimMore) return size + 1;
    std::size_t n = size;
    if (self->maxPerCall != 0 && n > self->maxPerCall) n = self->maxPerCall;
    if (n > self->failAfter - self->bytes.size()) n = self->failAfter - self->bytes.size();
    self->bytes.insert(self->bytes.end(), data, data + n);
    return n;
  }
};

}  // namespace testsupport
