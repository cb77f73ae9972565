#include "settings/rdf_load.h"

#include <string>

#include "plat/files.h"
#include "plat/strings.h"
#include "settings/caps_store.h"
#include "settings/doc_settings.h"

namespace {

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }

// The 1-based line of key in [section] of the data file (read as bytes, ASCII
// names, UTF-16LE with its mark); 0 when either is missing or the file cannot be read.
unsigned KeyLine(const std::u16string& file, std::u16string_view section, std::u16string_view key) {
  constexpr DWORD kMaxBytes = 16u << 20;
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  DWORD high = 0;
  const DWORD size = GetFileSize(h, &high);
  std::string bytes;
  if (high == 0 && size != INVALID_FILE_SIZE && size <= kMaxBytes) {
    bytes.resize(size);
    DWORD done = 0;
    if (!ReadFile(h, bytes.data(), size, &done, nullptr)) done = 0;
    bytes.resize(done);
  }
  CloseHandle(h);
  std::u16string text;
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  } else {
    for (char c : bytes) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  auto trim = [](std::u16string_view s) {
    while (!s.empty() && (IsBlank(s.front()) || s.front() == u'\r')) s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == u'\r')) s.remove_suffix(1);
    return s;
  };
  bool inSection = false;
  unsigned line = 0;
  std::u16string_view rest(text);
  while (!rest.empty()) {
    ++line;
    const std::size_t end = rest.find(u'\n');
    const std::u16string_view raw = trim(rest.substr(0, end));
    rest = end == std::u16string_view::npos ? std::u16string_view() : rest.substr(end + 1);
    if (!raw.empty() && raw.front() == u'[') {
      const std::size_t close = raw.find(u']');
      inSection = close != std::u16string_view::npos && plat::EqualsNoCase(trim(raw.substr(1, close - 1)), section);
      continue;
    }
    const std::size_t eq = raw.find(u'=');
    if (inSection && eq != std::u16string_view::npos && plat::EqualsNoCase(trim(raw.substr(0, eq)), key)) return line;
  }
  return 0;
}

}  // namespace

// ---------------------------------------------------------------------------
// One load

bool RdfLoad::Fail(RdfFault fault, std::u16string_view section, std::u16string_view key) {
  if (report.fault == RdfFault::None) {
    report.fault = fault;
    report.section.assign(section);
    report.key.assign(key);
    report.line = fault == RdfFault::NoMemory ? 0 : KeyLine(file, section, key);
  }
  return false;
}

bool RdfLoad::ReadText(const char16_t* section, const char16_t* key, DWORD units, std::u16string& out) {
  const char16_t* sec = section ? section : model.c_str();
  std::array<WCHAR, kRdfValueUnits> buffer{};
  units = std::min<DWORD>(units, kRdfValueUnits);
  const int n = ReadRdfString(file.c_str(), sec, key, buffer.data(), units);
  if (n < 0) return Fail(RdfFault::MissingKey, sec, key);
  out.assign(buffer.data(), static_cast<std::size_t>(n));
  return true;
}

bool RdfLoad::ReadNumbers(const char16_t* section, const char16_t* key, std::string_view format, std::span<int> out,
                          bool optional, bool* present) {
  const char16_t* sec = section ? section : model.c_str();
  std::fill(out.begin(), out.end(), 0);
  std::array<WCHAR, kRdfValueUnits> buffer{};
  const int n = ReadRdfString(file.c_str(), sec, key, buffer.data(), kRdfValueUnits);
  if (present) *present = n >= 0;
  if (n < 0) return optional ? true : Fail(RdfFault::MissingKey, sec, key);
  std::array<RdfTarget, 4> targets{};
  for (std::size_t i = 0; i < out.size() && i < targets.size(); ++i) targets[i].number = &out[i];
  bool saturated = false;
  if (ScanRdfValue(std::u16string_view(buffer.data(), static_cast<std::size_t>(n)), format,
                   std::span<const RdfTarget>(targets.data(), std::min(out.size(), targets.size())), &saturated) != 1) {
    return Fail(RdfFault::BadValue, sec, key);
  }
  if (saturated) return Fail(RdfFault::OutOfRange, sec, key);
  return true;
}

std::uint16_t RdfLoad::AppendName(std::u16string_view text) {
  NameList* node = NameListAppend(caps.Names, text);
  if (!node) {
    Fail(RdfFault::NoMemory, model, u"");
    return 0;
  }
  if (!caps.Names) caps.Names = node;
  caps.Info.NameCount = node->Id;
  return node->Id;
}

bool RdfLoad::ReadSortList() {
  ListHeader h;
  if (!ReadNamedList<LevelEntry, 1>(*this, u"SortList", "%s%d", caps.Sorts, caps.Info.SortCount, h, FillLevel)) {
    return false;
  }
  SetSortKind(caps.Defaults, DefaultIndex(h.indexDefault, h.size));
  return true;
}

bool ReadListHeader(RdfLoad& load, const char16_t* modelKey, ListHeader& header, bool readDefault) {
  if (!load.ReadText(nullptr, modelKey, kRdfNameValueUnits, header.section)) return false;
  const char16_t* sec = header.section.c_str();
  int value = 0;
  if (readDefault) {
    const std::u16string key = Cat(modelKey, u"IndexDefault");
    if (!load.ReadNumbers(sec, key.c_str(), "%d", {&value, 1})) return false;
    header.indexDefault = value;
  }
  const std::u16string sizeKey = Cat(modelKey, u"Size");
  if (!load.ReadNumbers(sec, sizeKey.c_str(), "%d", {&value, 1})) return false;
  if (value < 0 || value > kRdfMaxListSize) return load.Fail(RdfFault::BadListSize, sec, sizeKey);
  header.size = value;
  return true;
}

int DefaultIndex(int oneBased, int count) {
  if (count <= 0) return 0;
  return std::clamp(oneBased, 1, count) - 1;
}

std::u16string EntryKey(int index) { return plat::u16(std::to_string(index)); }

std::u16string Cat(std::u16string_view a, std::u16string_view b) {
  std::u16string s(a);
  s += b;
  return s;
}

void FillLevel(LevelEntry& e, const std::array<int, 1>& v) { e.Value = static_cast<std::uint16_t>(v[0]); }
