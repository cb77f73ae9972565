// libFuzzer target: the user paper and setting file readers on arbitrary files.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "sheets/user_file_codec.h"

namespace {
bool Latin1(std::string_view bytes, std::u16string& out) {
  out.clear();
  for (unsigned char c : bytes) out += static_cast<char16_t>(c);
  return true;
}

// Every stored name is terminated within its slot.
bool Terminated(const WCHAR* name, std::size_t units) {
  for (std::size_t i = 0; i < units; ++i) {
    if (name[i] == 0) return true;
  }
  return false;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> file(data, size);
  static auto favorites = std::make_unique<FavoriteTable>();
  UserPaperTable papers{};
  bool damaged = false;
  for (const UserFileKind kind : {UserFileKind::Paper, UserFileKind::Setting}) {
    const std::size_t at = ReadUserFileHeader(file, u"NEVO 2600", kind);
    if (at > size) __builtin_trap();
    const auto block = file.subspan(at);
    if (kind == UserFileKind::Paper && ReadUdpRecords(block, papers, &damaged)) {
      if (papers.Count > kMaxUserPapers) __builtin_trap();
      for (std::size_t i = 0; i < papers.Count; ++i) {
        if (!Terminated(papers.Entry[i].Name, kUserPaperNameUnits)) __builtin_trap();
      }
    }
    if (kind == UserFileKind::Setting && ReadUdsRecords(block, *favorites, &damaged)) {
      if (favorites->Count > kMaxFavorites) __builtin_trap();
      for (std::size_t i = 0; i < favorites->Count; ++i) {
        if (!Terminated(favorites->Entry[i].Name, kFavoriteNameUnits + 1)) __builtin_trap();
      }
    }
  }
  // Whole-file readers see the raw bytes too.
  if (ReadUdpRecords(file, papers, &damaged) && papers.Count > kMaxUserPapers) __builtin_trap();
  if (ReadUdsRecords(file, *favorites, &damaged) && favorites->Count > kMaxFavorites) __builtin_trap();
  if (ReadOldUdpRecords(file, papers, &damaged, Latin1)) {
    if (papers.Count > 30 || size % 100 != 0) __builtin_trap();
  }
  return 0;
}
