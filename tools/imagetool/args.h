// Argument parsing shared by imagetool's commands.
#pragma once

#include <charconv>
#include <string_view>

// A whole decimal number within [low, high], else nothing.
inline bool ParseInt(std::string_view text, long low, long high, long& out) {
  long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
  out = v;
  return true;
}
