#include "sheets/user_file_codec.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr std::string_view kFormatNumber = "100";
constexpr std::string_view kEncoding = "UTF-8";
constexpr std::string_view kPaperBlockName = "UDP_UserDefinitionPaper";
constexpr std::string_view kSettingBlockName = "UDS_UserDefinitionSetting";
constexpr std::string_view kSignature = "NEVO/BERTAL/CORPORATION/ndrv";
constexpr std::string_view kStart = "RSsta";
constexpr std::string_view kEnd = "RSend";
constexpr std::string_view kBlockSize = "2936";

// Header fields: offset, width.
constexpr std::size_t kFormatAt = 0, kFormatWidth = 5;
constexpr std::size_t kVersionAt = 5, kVersionWidth = 10;
constexpr std::size_t kEncodingAt = 15, kEncodingWidth = 30;
constexpr std::size_t kModelLengthAt = 45, kModelLengthWidth = 5;
static_assert(kModelLengthAt + kModelLengthWidth == kUserFileHeaderFixed);

// Block fields.
constexpr std::size_t kBlockNameWidth = 32;
constexpr std::size_t kSignatureAt = 32;
constexpr std::size_t kBlockHeader = 80;
constexpr std::size_t kCountAt = 80, kCountWidth = 20;
static_assert(kSignatureAt + 28 <= kBlockHeader && kCountAt + kCountWidth == kUserBlockRecords);

// Record fields shared by both kinds: marker, number, name length.
constexpr std::size_t kNumberAt = 5, kNameLengthAt = 10, kNameAt = 15, kFieldWidth = 5;
// Paper record, from the end of the name.
constexpr std::size_t kPaperWidthAt = 0, kPaperLengthAt = 10, kSizeWidth = 10, kPaperUnitAt = 20, kPaperEndAt = 25;
static_assert(kNameAt + kPaperEndAt + kFieldWidth == kPaperRecordFixed);
// Setting record, from the end of the name.
constexpr std::size_t kSettingSizeAt = 0, kSettingBlockAt = 5, kCrcPrefixAt = 5 + kDocSettingsSize,
                      kCrcAt = kCrcPrefixAt + 2, kCrcWidth = 8, kSettingEndAt = kCrcAt + kCrcWidth;
static_assert(kNameAt + kSettingEndAt + kFieldWidth == kSettingRecordFixed);
// The CRC covers the name length, the name, the size field and the block.
constexpr std::size_t kCrcCovered = kFieldWidth + kFieldWidth + kDocSettingsSize;  // + n

// Old paper record.
constexpr std::size_t kOldCountAt = 80, kOldCountWidth = 2;
constexpr std::size_t kOldNameAt = 10, kOldNameWidth = 60;
constexpr std::size_t kOldWidthAt = 70, kOldLengthAt = 80, kOldSizeWidth = 10;
constexpr std::size_t kOldUnitAt = 90, kOldEndAt = 95;
constexpr std::size_t kOldMaxRecords = 30;

using Bytes = std::span<const std::uint8_t>;

bool Matches(Bytes bytes, std::size_t at, std::string_view text) {
  return at <= bytes.size() && text.size() <= bytes.size() - at &&
         std::memcmp(bytes.data() + at, text.data(), text.size()) == 0;
}

// A zero-filled field of width bytes holding text (cut to the width).
void PutField(std::vector<std::uint8_t>& out, std::string_view text, std::size_t width) {
  const std::size_t n = std::min(text.size(), width);
  out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), width - n, 0);
}

void PutNumber(std::vector<std::uint8_t>& out, long long value, std::size_t width) {
  PutField(out, std::to_string(value), width);
}

// How a number field may be written.
struct NumberForm {
  int maxFraction;   // digits after a point; 0: no point
  int scaleDigits;   // the result is value x 10^scaleDigits
  bool blankPadding; // blanks may pad as well as NUL bytes
};
constexpr NumberForm kWhole{0, 0, false};
constexpr NumberForm kInchRecord{2, 2, false};
constexpr NumberForm kOldWhole{0, 0, true};
constexpr NumberForm kOldSize{3, 3, true};

// Digits, optionally a point and 1..maxFraction digits, then only padding.
// false for anything else or a value beyond 10^15.
bool ParseNumber(Bytes field, NumberForm form, std::int64_t& value) {
  constexpr std::int64_t kLimit = 1'000'000'000'000'000;
  std::size_t i = 0;
  std::int64_t v = 0;
  int digits = 0;
  while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
    v = v * 10 + (field[i] - '0');
    if (v > kLimit) return false;
    ++i;
    ++digits;
  }
  if (digits == 0) return false;
  int fraction = 0;
  if (i < field.size() && field[i] == '.' && form.maxFraction > 0) {
    ++i;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
      if (++fraction > form.maxFraction) return false;
      v = v * 10 + (field[i] - '0');
      ++i;
    }
    if (fraction == 0) return false;
  }
  for (; i < field.size(); ++i) {
    if (field[i] != 0 && !(form.blankPadding && field[i] == ' ')) return false;
  }
  for (int k = fraction; k < form.scaleDigits; ++k) v *= 10;
  if (v > kLimit) return false;
  value = v;
  return true;
}

bool ParseAt(Bytes bytes, std::size_t at, std::size_t width, NumberForm form, std::int64_t& value) {
  if (at > bytes.size() || width > bytes.size() - at) return false;
  return ParseNumber(bytes.subspan(at, width), form, value);
}

bool FitsInt32(std::int64_t v) {
  return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
}

// A terminated UTF-16 name of at most capacity units.
std::u16string_view NameOf(const WCHAR* name, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && name[n] != 0) ++n;
  return {name, n};
}

// Copies text cut to maxUnits (never splitting a surrogate pair) and terminates it.
void StoreName(std::u16string_view text, WCHAR* out, std::size_t maxUnits) {
  std::size_t n = std::min(text.size(), maxUnits);
  if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
  std::copy_n(text.data(), n, out);
  out[n] = 0;
}

bool IsBlank(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return c == u' '; });
}

void PutBlockHeader(std::vector<std::uint8_t>& out, UserFileKind kind, std::size_t count) {
  PutField(out, kind == UserFileKind::Paper ? kPaperBlockName : kSettingBlockName, kBlockNameWidth);
  PutField(out, kSignature, kBlockHeader - kSignatureAt);
  PutNumber(out, static_cast<long long>(count), kCountWidth);
}

bool BlockHeaderMatches(Bytes block, UserFileKind kind) {
  if (block.size() < kBlockHeader) return false;
  std::uint8_t expected[kBlockHeader] = {};
  const std::string_view name = kind == UserFileKind::Paper ? kPaperBlockName : kSettingBlockName;
  std::memcpy(expected, name.data(), name.size());
  std::memcpy(expected + kSignatureAt, kSignature.data(), kSignature.size());
  return std::memcmp(block.data(), expected, kBlockHeader) == 0;
}

// The valid count of a block (above 0), or 0.
std::int64_t BlockCount(Bytes block, UserFileKind kind) {
  std::int64_t count = 0;
  if (!BlockHeaderMatches(block, kind) || !ParseAt(block, kCountAt, kCountWidth, kWhole, count)) return 0;
  return count;
}

// The name length n of the record at `at` when the whole record (fixed + n
// bytes) lies inside the block; false otherwise.
bool RecordFits(Bytes block, std::size_t at, std::size_t fixed, std::size_t& n) {
  std::int64_t length = 0;
  if (!ParseAt(block, at + kNameLengthAt, kFieldWidth, kWhole, length)) return false;
  const std::size_t room = block.size() - at;
  if (room < fixed || static_cast<std::uint64_t>(length) > room - fixed) return false;
  n = static_cast<std::size_t>(length);
  return true;
}

// A paper record at `at` into entry; false when it is damaged.
bool ReadPaperRecord(Bytes block, std::size_t at, std::size_t& length, UserPaper& entry) {
  std::size_t n = 0;
  if (!RecordFits(block, at, kPaperRecordFixed, n)) return false;
  const std::size_t tail = at + kNameAt + n;
  if (!Matches(block, tail + kPaperEndAt, kEnd)) return false;
  std::int64_t unit = 0, width = 0, len = 0;
  if (!ParseAt(block, tail + kPaperUnitAt, kFieldWidth, kWhole, unit) || (unit != 1 && unit != 2)) return false;
  const bool inch = unit == 2;
  const NumberForm form = inch ? kInchRecord : kWhole;
  if (!ParseAt(block, tail + kPaperWidthAt, kSizeWidth, form, width) ||
      !ParseAt(block, tail + kPaperLengthAt, kSizeWidth, form, len)) {
    return false;
  }
  const std::int64_t scale = inch ? 254 : 1000;
  if (!FitsInt32(width * scale) || !FitsInt32(len * scale)) return false;
  std::u16string name;
  const auto* text = reinterpret_cast<const char*>(block.data() + at + kNameAt);
  if (!Utf8ToUtf16(std::string_view(text, n), name) || name.find(u'\0') != std::u16string::npos) return false;
  entry = UserPaper{};
  StoreName(name, entry.Name, kUserPaperNameUnits - 1);
  entry.Width = static_cast<std::int32_t>(width * scale);
  entry.Length = static_cast<std::int32_t>(len * scale);
  entry.InchFlag = inch ? 1 : 0;
  length = kPaperRecordFixed + n;
  return true;
}

std::string CrcText(std::uint32_t crc) {
  char text[16];
  std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(crc));
  return text;
}

// A favourite's name is refused when it is empty, blank, or holds a character
// the name filter removes (the stored value name would be unusable).
bool FavoriteNameUsable(std::u16string_view name) {
  if (name.empty() || IsBlank(name)) return false;
  return std::none_of(name.begin(), name.end(),
                      [](char16_t c) { return c == 0 || kNameFilterChars.find(c) != std::u16string_view::npos; });
}

bool ReadSettingRecord(Bytes block, std::size_t at, std::size_t& length, Favorite& entry, Crc32Table& crc) {
  std::size_t n = 0;
  if (!RecordFits(block, at, kSettingRecordFixed, n)) return false;
  const std::size_t tail = at + kNameAt + n;
  std::int64_t size = 0;
  if (!ParseAt(block, tail + kSettingSizeAt, kFieldWidth, kWhole, size) || size != kDocSettingsSize) return false;
  if (!Matches(block, tail + kSettingEndAt, kEnd)) return false;
  std::uint8_t expected[kCrcWidth] = {};
  const std::string text = CrcText(Crc32(crc, block.subspan(at + kNameLengthAt, kCrcCovered + n)));
  std::memcpy(expected, text.data(), text.size());
  if (std::memcmp(block.data() + tail + kCrcAt, expected, kCrcWidth) != 0) return false;
  std::u16string name;
  const auto* bytes = reinterpret_cast<const char*>(block.data() + at + kNameAt);
  if (!Utf8ToUtf16(std::string_view(bytes, n), name)) return false;
  entry = Favorite{};
  StoreName(name, entry.Name, kFavoriteNameUnits);
  if (!FavoriteNameUsable(NameOf(entry.Name, kFavoriteEntryUnits))) return false;
  std::memcpy(&entry.Settings, block.data() + tail + kSettingBlockAt, kDocSettingsSize);
  length = kSettingRecordFixed + n;
  return true;
}

// The scan shared by both blocks: records that fail set *damaged and the scan
// resumes just after their "RSsta".
template <typename Entry, typename ReadOne>
int ScanBlock(Bytes block, UserFileKind kind, std::size_t capacity, Entry* entries, std::uint16_t& count,
              bool* damaged, ReadOne readOne) {
  count = 0;
  const std::int64_t wanted = BlockCount(block, kind);
  if (wanted <= 0) return 0;
  std::size_t at = kUserBlockRecords;
  while (count < wanted && count < capacity && at < block.size()) {
    if (!Matches(block, at, kStart)) {
      if (damaged) *damaged = true;
      ++at;
      continue;
    }
    std::size_t length = 0;
    if (readOne(at, length, entries[count])) {
      ++count;
      at += length;
    } else {
      if (damaged) *damaged = true;
      at += kStart.size();
    }
  }
  return 1;
}

}  // namespace

std::uint32_t Crc32(Crc32Table& table, std::span<const std::uint8_t> bytes) {
  if (!table.Built) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table.Entry[i] = c;
    }
    table.Built = true;
  }
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t b : bytes) crc = table.Entry[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

bool Utf16ToUtf8(std::u16string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u);
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return true;
}

bool Utf8ToUtf16(std::string_view bytes, std::u16string& out) {
  out.clear();
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b0 = static_cast<std::uint8_t>(bytes[i]);
    std::size_t extra = 0;
    std::uint32_t c = 0, minimum = 0;
    if (b0 < 0x80) {
      c = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      extra = 1, c = b0 & 0x1F, minimum = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
      extra = 2, c = b0 & 0x0F, minimum = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
      extra = 3, c = b0 & 0x07, minimum = 0x10000;
    } else {
      return false;
    }
    if (extra > bytes.size() - i - 1) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto b = static_cast<std::uint8_t>(bytes[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      c = (c << 6) | (b & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += extra + 1;
  }
  return true;
}

std::int32_t MicronsToMillimetres(std::int32_t microns) { return microns / 1000; }

std::int32_t MicronsToHundredthsInch(std::int32_t microns) {
  return static_cast<std::int32_t>((static_cast<std::int64_t>(microns) + 127) / 254);
}

std::size_t WriteUserFileHeader(std::vector<std::uint8_t>& out, const WCHAR* modelName, UserFileKind,
                                int build, int revision) {
  std::string model;
  if (!modelName || !Utf16ToUtf8(NameOf(modelName, 0xFFFF), model) || model.empty() || model.size() > 99999) {
    return 0;
  }
  PutField(out, kFormatNumber, kFormatWidth);
  std::string version = "V";
  version.append(std::to_string(build)).append("B").append(std::to_string(revision));
  PutField(out, version, kVersionWidth);
  PutField(out, kEncoding, kEncodingWidth);
  PutNumber(out, static_cast<long long>(model.size()), kModelLengthWidth);
  out.insert(out.end(), model.begin(), model.end());
  return kUserFileHeaderFixed + model.size();
}

std::size_t ReadUserFileHeader(std::span<const std::uint8_t> file, const WCHAR* modelName, UserFileKind kind) {
  if (file.size() < kUserFileHeaderFixed) return 0;
  std::int64_t format = 0;
  if (!ParseAt(file, kFormatAt, kFormatWidth, kWhole, format) || format <= 0 || format > 100) return 0;
  // The build number: the digits from the version's second character up to its "B".
  const Bytes version = file.subspan(kVersionAt, kVersionWidth);
  const auto b = std::find(version.begin(), version.end(), std::uint8_t{'B'});
  if (b == version.end()) return 0;
  const auto bAt = static_cast<std::size_t>(b - version.begin());
  std::int64_t build = 0;
  if (bAt < 2 || !ParseNumber(version.subspan(1, bAt - 1), kWhole, build)) return 0;
  if (!((build >= 200 && build <= 299) || (build >= 500 && build <= 599))) return 0;
  std::uint8_t encoding[kEncodingWidth] = {};
  std::memcpy(encoding, kEncoding.data(), kEncoding.size());
  if (std::memcmp(file.data() + kEncodingAt, encoding, kEncodingWidth) != 0) return 0;
  std::int64_t m = 0;
  if (!ParseAt(file, kModelLengthAt, kModelLengthWidth, kWhole, m) || m <= 0 ||
      static_cast<std::uint64_t>(m) > file.size() - kUserFileHeaderFixed) {
    return 0;
  }
  std::u16string model;
  const auto* text = reinterpret_cast<const char*>(file.data() + kUserFileHeaderFixed);
  if (!Utf8ToUtf16(std::string_view(text, static_cast<std::size_t>(m)), model)) return 0;
  if (kind == UserFileKind::Setting) {
    // Compared with the terminator: a name with a NUL inside is another name.
    if (!modelName || model.find(u'\0') != std::u16string::npos || model != NameOf(modelName, 0xFFFF)) return 0;
  }
  return kUserFileHeaderFixed + static_cast<std::size_t>(m);
}

std::size_t WriteUdpRecords(std::vector<std::uint8_t>& out, const UserPaperTable& table) {
  if (table.Count > kMaxUserPapers) return 0;
  std::vector<std::string> names(table.Count);
  std::size_t total = kUserBlockRecords;
  for (std::size_t i = 0; i < table.Count; ++i) {
    if (!Utf16ToUtf8(NameOf(table.Entry[i].Name, kUserPaperNameUnits), names[i])) return 0;
    total += names[i].size() + kPaperRecordFixed;
  }
  std::vector<std::uint8_t> block;
  block.reserve(total);
  PutBlockHeader(block, UserFileKind::Paper, table.Count);
  for (std::size_t i = 0; i < table.Count; ++i) {
    const UserPaper& e = table.Entry[i];
    PutField(block, kStart, kFieldWidth);
    PutNumber(block, static_cast<long long>(i + 1), kFieldWidth);
    PutNumber(block, static_cast<long long>(names[i].size()), kFieldWidth);
    block.insert(block.end(), names[i].begin(), names[i].end());
    for (const std::int32_t v : {e.Width, e.Length}) {
      if (e.InchFlag) {
        const std::int32_t h = MicronsToHundredthsInch(v);
        char text[24];
        std::snprintf(text, sizeof text, "%d.%02d", h / 100, h % 100);
        PutField(block, text, kSizeWidth);
      } else {
        PutNumber(block, MicronsToMillimetres(v), kSizeWidth);
      }
    }
    PutField(block, e.InchFlag ? "2" : "1", kFieldWidth);
    PutField(block, kEnd, kFieldWidth);
  }
  out.insert(out.end(), block.begin(), block.end());
  return block.size();
}

std::size_t WriteUdsRecords(std::vector<std::uint8_t>& out, const FavoriteTable& table) {
  if (table.Count > kMaxFavorites) return 0;
  std::vector<std::string> names(table.Count);
  std::size_t total = kUserBlockRecords;
  for (std::size_t i = 0; i < table.Count; ++i) {
    if (!Utf16ToUtf8(NameOf(table.Entry[i].Name, kFavoriteEntryUnits), names[i])) return 0;
    total += names[i].size() + kSettingRecordFixed;
  }
  std::vector<std::uint8_t> block;
  block.reserve(total);
  PutBlockHeader(block, UserFileKind::Setting, table.Count);
  Crc32Table crc;
  for (std::size_t i = 0; i < table.Count; ++i) {
    PutField(block, kStart, kFieldWidth);
    PutNumber(block, static_cast<long long>(i + 1), kFieldWidth);
    const std::size_t covered = block.size();
    PutNumber(block, static_cast<long long>(names[i].size()), kFieldWidth);
    block.insert(block.end(), names[i].begin(), names[i].end());
    PutField(block, kBlockSize, kFieldWidth);
    const auto* settings = reinterpret_cast<const std::uint8_t*>(&table.Entry[i].Settings);
    block.insert(block.end(), settings, settings + kDocSettingsSize);
    const std::uint32_t value = Crc32(crc, Bytes(block).subspan(covered));
    PutField(block, "0x", 2);
    PutField(block, CrcText(value), kCrcWidth);
    PutField(block, kEnd, kFieldWidth);
  }
  out.insert(out.end(), block.begin(), block.end());
  return block.size();
}

int ReadUdpRecords(std::span<const std::uint8_t> block, UserPaperTable& table, bool* damaged) {
  table = UserPaperTable{};
  return ScanBlock(block, UserFileKind::Paper, kMaxUserPapers, table.Entry, table.Count, damaged,
                   [&](std::size_t at, std::size_t& length, UserPaper& entry) {
                     return ReadPaperRecord(block, at, length, entry);
                   });
}

int ReadUdsRecords(std::span<const std::uint8_t> block, FavoriteTable& table, bool* damaged) {
  table.Count = 0;
  Crc32Table crc;
  return ScanBlock(block, UserFileKind::Setting, kMaxFavorites, table.Entry, table.Count, damaged,
                   [&](std::size_t at, std::size_t& length, Favorite& entry) {
                     return ReadSettingRecord(block, at, length, entry, crc);
                   });
}

int ReadOldUdpRecords(std::span<const std::uint8_t> file, UserPaperTable& table, bool* damaged,
                      AnsiDecoder decode) {
  table = UserPaperTable{};
  if (file.size() < 2 * kOldPaperRecord || file.size() % kOldPaperRecord != 0) return 0;
  if (!BlockHeaderMatches(file, UserFileKind::Paper)) return 0;
  std::int64_t count = 0;
  if (!ParseAt(file, kOldCountAt, kOldCountWidth, kWhole, count) || count < 1 ||
      count > static_cast<std::int64_t>(kOldMaxRecords) ||
      static_cast<std::size_t>(count) != file.size() / kOldPaperRecord - 1) {
    return 0;
  }
  const Bytes rest = file.subspan(kOldCountAt + kOldCountWidth, kOldPaperRecord - kOldCountAt - kOldCountWidth);
  if (std::any_of(rest.begin(), rest.end(), [](std::uint8_t b) { return b != 0; })) return 0;
  for (std::int64_t number = 1; number <= count; ++number) {
    const Bytes r = file.subspan(static_cast<std::size_t>(number) * kOldPaperRecord, kOldPaperRecord);
    std::int64_t stated = 0, width = 0, length = 0;
    const std::uint8_t unit = r[kOldUnitAt];
    bool valid = Matches(r, 0, kStart) && Matches(r, kOldEndAt, kEnd) &&
                 ParseAt(r, kNumberAt, kFieldWidth, kOldWhole, stated) && stated == number &&
                 (unit == '1' || unit == '2') && ParseAt(r, kOldWidthAt, kOldSizeWidth, kOldSize, width) &&
                 ParseAt(r, kOldLengthAt, kOldSizeWidth, kOldSize, length);
    if (valid && unit == '2') {
      width = (width * 254 + 5) / 10;
      length = (length * 254 + 5) / 10;
    }
    valid = valid && FitsInt32(width) && FitsInt32(length);
    std::u16string name;
    if (valid) {
      const auto* text = reinterpret_cast<const char*>(r.data() + kOldNameAt);
      const std::size_t n = std::find(r.begin() + kOldNameAt, r.begin() + kOldNameAt + kOldNameWidth, 0) -
                            (r.begin() + kOldNameAt);
      valid = decode && decode(std::string_view(text, n), name) && !name.empty() &&
              name.find(u'\0') == std::u16string::npos;
    }
    UserPaper& entry = table.Entry[table.Count];
    if (valid) {
      StoreName(name, entry.Name, kUserPaperNameUnits - 1);
      valid = !IsBlank(NameOf(entry.Name, kUserPaperNameUnits));
    }
    if (!valid) {
      entry = UserPaper{};
      if (damaged) *damaged = true;
      continue;
    }
    entry.Width = static_cast<std::int32_t>(width);
    entry.Length = static_cast<std::int32_t>(length);
    entry.InchFlag = unit == '2' ? 1 : 0;
    entry.Id = static_cast<std::uint16_t>(number);
    ++table.Count;
  }
  return 1;
}
