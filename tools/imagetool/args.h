// Argument parsing shared by imagetool's commands.
#pragma once

#include <charconv>
#include <string>
#include <string_view>

// A whole decimal number within [low, high], else nothing.
inline bool ParseInt(std::string_view text, long low, long high, long& out) {
  long v = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end != text.data() + text.size() || v < low || v > high) return false;
  out = v;
  return true;
}

// As ParseInt; on refusal `why` says what the option takes.
inline bool ParseIntFor(std::string_view name, std::string_view text, long low, long high, long& out,
                        std::string& why) {
  if (ParseInt(text, low, high, out)) return true;
  why = std::string(name) + " takes " + std::to_string(low) + ".." + std::to_string(high) + ", not " +
        std::string(text);
  return false;
}

