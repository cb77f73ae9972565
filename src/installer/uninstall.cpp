#include "installer/uninstall.h"

#include <vector>

#include "installer/ini_read.h"
#include "installer/messages.h"

namespace installer {

int FindInstalledModelPrinter(SetupContext& ctx, HMODULE library) {
  const std::u16string_view uninst = Str(ctx.uninstIniPath);
  if (ReadIniInt(uninst, u"Model", u"Num", 0) <= 0) return -1;
  const std::vector<std::u16string> keys = ReadKeys(uninst, u"Model");
  DWORD needed = 0, count = 0;
  EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
  std::vector<BYTE> buffer(needed ? needed : 1);
  if (!EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count)) {
    if (library && library == ctx.setupInstance) ShowResourceMessage(nullptr, library, 106, 102, MB_OK);
    else ShowResourceMessage(nullptr, library, 31, 4, MB_OK);
    return -1;
  }
  const auto* printers = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  for (DWORD i = 0; i < count; ++i) {
    const int match = MatchesModelKey(keys, Str(printers[i].pDriverName));
    if (match != 0) return match;
  }
  return 0;
}

int MatchesModelKey(const std::vector<std::u16string>& keys, std::u16string_view driverName) {
  for (const std::u16string& key : keys) {
    const std::vector<std::u16string> fields = SplitCommaFields(key);
    const std::u16string_view name = fields.front();
    if (name.size() > 33) return -1;
    const auto model = Unframe(name, u'"');
    if (model && *model == driverName) return 1;
  }
  return 0;
}

}  // namespace installer
