// libFuzzer target: INI files through the profile calls: the section list,
// every section's keys and values, numbers, and one write read back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_machine.h"
#include "plat/profile.h"
#include "plat/strings.h"

namespace {
constexpr char16_t kFile[] = u"C:\\fuzz\\input.ini";

// The names of a list answer (each followed by a zero).
std::vector<std::u16string> Names(const WCHAR* list, DWORD units) {
  std::vector<std::u16string> names;
  for (DWORD at = 0; at < units;) {
    std::u16string name(list + at);
    at += static_cast<DWORD>(name.size()) + 1;
    names.push_back(std::move(name));
  }
  return names;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!fuzzsupport::PutFile(kFile, data, size)) return 0;
  static std::vector<WCHAR> buffer(8192);
  const DWORD units = static_cast<DWORD>(buffer.size());
  DWORD n = GetPrivateProfileStringW(nullptr, nullptr, u"", buffer.data(), units, kFile);
  if (n >= units) __builtin_trap();
  const auto sections = Names(buffer.data(), n);
  std::size_t asked = 0;
  for (const auto& section : sections) {
    n = GetPrivateProfileStringW(section.c_str(), nullptr, u"", buffer.data(), units, kFile);
    if (n >= units) __builtin_trap();
    for (const auto& key : Names(buffer.data(), n)) {
      if (++asked > 64) break;
      WCHAR small[8];
      const DWORD got = GetPrivateProfileStringW(section.c_str(), key.c_str(), u"d", small, 8, kFile);
      if (got >= 8 || small[got] != 0) __builtin_trap();
      (void)GetPrivateProfileIntW(section.c_str(), key.c_str(), -1, kFile);
    }
  }
  char narrow[64];
  (void)GetPrivateProfileStringA("a", "b", "", narrow, sizeof narrow, "C:\\fuzz\\input.ini");
  if (!sections.empty() && WritePrivateProfileStringW(sections[0].c_str(), u"FuzzKey", u"v", kFile)) {
    WCHAR back[4];
    (void)GetPrivateProfileStringW(sections[0].c_str(), u"FuzzKey", u"", back, 4, kFile);
  }
  return 0;
}
