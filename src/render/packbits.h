// Run-length compression of one raster line for the command stream
// (compression mode 1, PackBits headers).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The compression mode a line with ink is sent in.
inline constexpr std::int16_t kPackBitsMode = 1;

// Worst case of PackBitsLine for a line of n bytes: never more than twice the
// line (a single byte costs a header and the byte). Size the output from it.
constexpr std::size_t PackBitsBound(std::size_t n) { return 2 * n; }

// Compresses one line (ink = 1, most significant bit leftmost) into out.
// Trailing 0x00 bytes are dropped; a line with nothing left is blank: it
// returns 0 and leaves mode unchanged, and the caller sends nothing. Else it
// returns the compressed length and sets mode to kPackBitsMode.
// out must hold PackBitsBound(line.size()) bytes; a smaller buffer returns 0
// with mode -1 (nothing written).
std::size_t PackBitsLine(std::span<const std::uint8_t> line, std::span<std::uint8_t> out, std::int16_t& mode);

// PackBitsLine of the complement of line: for a row as the plane keeps it
// (white = 1), which then need not be inverted first.
std::size_t PackBitsLineWhiteOne(std::span<const std::uint8_t> line, std::span<std::uint8_t> out, std::int16_t& mode);
