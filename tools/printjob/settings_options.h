// The --set option of printjob: DocSettings fields by name, written into the
// settings bytes of a DEVMODE.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace printjob {

// Sets field `name` of the DocSettings bytes (2936 of them) to `value`.
// Integer fields take decimal (or 0x hexadecimal) text within their width and
// sign; text fields take UTF-8 text that must fit with its terminator;
// ImagePositionOffsets[i] and ProgramPrintBlock[i].Copies / .Sets name the
// array fields. Returns an empty string, or what is wrong.
std::string SetDocSetting(std::span<std::uint8_t> settings, std::string_view name, std::string_view value);

// Reads an integer field back (for tests and summaries); false for an
// unknown or non-integer name.
bool GetDocSetting(std::span<const std::uint8_t> settings, std::string_view name, std::int64_t& value);

// One line per name SetDocSetting takes, with what it takes ("ColorMode
// 0..255", "HoldJobName text of at most 127 characters"), in layout order.
std::vector<std::string> DocSettingNames();

}  // namespace printjob
