// User paper files ("udp") and user setting files ("uds"): the file header,
// the paper and setting blocks with their records, the older fixed-record
// paper format, and the CRC-32 of setting records. Byte spans in and out; no
// files and no UI. Every length and number read is checked against the bytes
// it came from: a record that does not fit or does not parse is damaged and
// skipped, never read past.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plat/base.h"
#include "settings/doc_settings.h"
#include "sheets/favorite_names.h"

enum class UserFileKind { Paper = 0, Setting = 1 };

// The version this build writes: "V", build number, "B", revision.
inline constexpr int kUserFileBuild = 518;
inline constexpr int kUserFileRevision = 1;

inline constexpr std::size_t kUserFileHeaderFixed = 50;  // + UTF-8 length of the model name
inline constexpr std::size_t kUserBlockRecords = 100;    // records start here in a block
inline constexpr std::size_t kPaperRecordFixed = 45;     // + UTF-8 length of the name
inline constexpr std::size_t kSettingRecordFixed = 2971;  // + UTF-8 length of the name
inline constexpr std::size_t kOldPaperRecord = 100;

inline constexpr std::size_t kMaxUserPapers = 30;
inline constexpr std::size_t kUserPaperNameUnits = 31;  // 30 characters and a terminator
// A favourite's name slot in a table: at most kFavoriteNameUnits (20) characters are used.
inline constexpr std::size_t kFavoriteEntryUnits = 22;

// The characters a name field refuses (the sheets' name filter).
inline constexpr std::u16string_view kNameFilterChars = u"\"/[]:+|<>=;,*?\\";

// One user paper in memory: the user-paper dialog, the files, and the
// model's custom papers before they are merged. Widths and lengths in
// micrometres; InchFlag 0 millimetres, 1 inches; Id and NameId 0 until merged.
struct UserPaper {
  WCHAR Name[kUserPaperNameUnits];
  std::int32_t Width;
  std::int32_t Length;
  std::uint16_t InchFlag;
  std::uint16_t Id;
  std::uint16_t NameId;
};
struct UserPaperTable {
  std::uint16_t Count;
  UserPaper Entry[kMaxUserPapers];
};

struct Favorite {
  WCHAR Name[kFavoriteEntryUnits];
  DocSettings Settings;
};
struct FavoriteTable {
  std::uint16_t Count;
  Favorite Entry[kMaxFavorites];
};

// The table-driven CRC-32 (reflected 0xEDB88320, as zlib); Built is cleared
// by the caller and the table is filled on first use.
struct Crc32Table {
  bool Built = false;
  std::uint32_t Entry[256];
};
std::uint32_t Crc32(Crc32Table& table, std::span<const std::uint8_t> bytes);

// Appends the header to out; returns its length (50 + m), 0 when the model
// name does not convert to UTF-8 (out unchanged then).
std::size_t WriteUserFileHeader(std::vector<std::uint8_t>& out, const WCHAR* modelName, UserFileKind kind,
                                int build = kUserFileBuild, int revision = kUserFileRevision);
// The offset of the block (50 + m), or 0. Setting files must name modelName
// exactly; paper files may name any model.
std::size_t ReadUserFileHeader(std::span<const std::uint8_t> file, const WCHAR* modelName, UserFileKind kind);

// Append the block (100 bytes and the records); return its length, 0 when a
// name does not convert (out unchanged then).
std::size_t WriteUdpRecords(std::vector<std::uint8_t>& out, const UserPaperTable& table);
std::size_t WriteUdsRecords(std::vector<std::uint8_t>& out, const FavoriteTable& table);

// 1 when the block header and count are valid, else 0. Records that fail are
// skipped and set *damaged. table is cleared first.
int ReadUdpRecords(std::span<const std::uint8_t> block, UserPaperTable& table, bool* damaged);
int ReadUdsRecords(std::span<const std::uint8_t> block, FavoriteTable& table, bool* damaged);

// Converts a name in the system's ANSI code page; false when it does not convert.
using AnsiDecoder = bool (*)(std::string_view bytes, std::u16string& out);
// The older paper file (fixed 100-byte records, names in the ANSI code page).
int ReadOldUdpRecords(std::span<const std::uint8_t> file, UserPaperTable& table, bool* damaged,
                      AnsiDecoder decode);

// Strict UTF-8 <-> UTF-16 (no lone surrogates, no overlong forms); false on a fault.
bool Utf16ToUtf8(std::u16string_view text, std::string& out);
bool Utf8ToUtf16(std::string_view bytes, std::u16string& out);

// Micrometres as stored in a paper record: whole millimetres (truncated), or
// hundredths of an inch (rounded half up).
std::int32_t MicronsToMillimetres(std::int32_t microns);
std::int32_t MicronsToHundredthsInch(std::int32_t microns);
