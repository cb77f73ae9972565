// libFuzzer target: streamdump's command stream decoder, whole and through a
// listener, and the drum pages rebuilt from what it decoded.
#include <cstddef>
#include <cstdint>
#include <span>

#include "streamdump/stream_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> stream(data, size);
  const streamdump::Decoded whole = streamdump::DecodeStream(stream);
  if (whole.errorOffset > size) __builtin_trap();
  for (const streamdump::DrumPage& page : whole.pages) {
    const streamdump::Plane plane = streamdump::RebuildPlane(whole, page);
    if (plane.bits.size() > streamdump::kMaxPlaneBytes) __builtin_trap();
    if (plane.bits.size() != std::size_t(plane.stride) * plane.height) __builtin_trap();
  }
  std::size_t pages = 0;
  streamdump::DecodeListener listener;
  listener.onText = [](const std::string&) {};
  listener.onPage = [&](const streamdump::Decoded& job, const streamdump::DrumPage& page, std::size_t) {
    ++pages;
    (void)streamdump::RebuildPlane(job, page);
    return true;
  };
  const streamdump::Decoded listened = streamdump::DecodeStream(stream, listener);
  // Both ways read the same bytes the same way.
  if (listened.ok != whole.ok || listened.errorOffset != whole.errorOffset) __builtin_trap();
  if (whole.ok && pages != whole.pages.size()) __builtin_trap();
  return 0;
}
