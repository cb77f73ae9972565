#include "installer/model_list.h"

#include <vector>

#include "installer/ini_read.h"
#include "installer/messages.h"

namespace installer {
namespace {

constexpr std::size_t kMaxModelKey = 33;

std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

// An INF model line: install section, then hardware ids. True when one of
// the ids is the device's, whole.
bool NamesHardwareId(std::u16string_view line, std::u16string_view hardwareId) {
  if (hardwareId.empty()) return true;  // Windows 8: no device was asked for, every model fits
  const std::vector<std::u16string> fields = SplitCommaFields(line);
  for (std::size_t i = 1; i < fields.size(); ++i)
    if (plat::EqualsNoCase(fields[i], hardwareId)) return true;
  return false;
}

}  // namespace

int BuildModelList(HWND page, const SetupContext& ctx) {
  const auto except = ReadIniString(Str(ctx.instIniPath), u"Setup", u"except", 999);
  if (!except) return -1;
  const std::vector<std::u16string> excluded = SplitCommaFields(*except);
  const bool memory = ctx.connection == Connection::UsbMemory;
  const bool usb = ctx.connection == Connection::UsbCable;
  int rows = 0;
  for (int k = 0; k < kMaxKinds && ctx.kindNames[k][0]; ++k) {
    const std::u16string_view inf = Str(memory ? ctx.usbMemoryInfPaths[k] : ctx.infPaths[k]);
    const std::u16string_view section = Str(memory ? ctx.usbMemoryModelsSections[k] : ctx.modelsSections[k]);
    if (memory && inf.empty()) continue;  // this kind has no USB memory driver
    const std::vector<std::u16string> keys = ReadKeys(inf, section);
    if (keys.empty()) return -1;
    for (const std::u16string& rawKey : keys) {
      const std::u16string_view key = TrimBlanks(rawKey);
      if (key.size() > kMaxModelKey) return -1;
      if (usb) {
        const auto line = ReadIniString(inf, section, key, 99);
        if (!line) return -1;
        if (!NamesHardwareId(*line, Str(ctx.usbHardwareId))) continue;
      }
      if (key.size() < 2) continue;
      const std::u16string model(key.substr(1, key.size() - 2));
      bool skip = false;
      for (const std::u16string& name : excluded) skip = skip || (!name.empty() && name == model);
      if (skip) continue;
      if (rows == kMaxModelRows) return -1;
      const LRESULT row = SendDlgItemMessageW(page, kModelList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(model.c_str()));
      if (row < 0) return -1;
      SendDlgItemMessageW(page, kModelList, LB_SETITEMDATA, static_cast<WPARAM>(row), k);
      ++rows;
    }
  }
  return rows;
}

int InitModelList(HWND page, const SetupContext& ctx) {
  const int rows = BuildModelList(page, ctx);
  if (rows < 0) return 0;
  if (rows == 0) {
    if (ctx.connection == Connection::UsbCable) ShowResourceMessage(page, ctx.languageLibrary, 20, 4, MB_ICONWARNING);
    return 0;
  }
  LRESULT row = ctx.modelName[0] ? SendDlgItemMessageW(page, kModelList, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                                        reinterpret_cast<LPARAM>(ctx.modelName))
                                 : LB_ERR;
  if (row < 0) row = 0;
  SendDlgItemMessageW(page, kModelList, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  return 1;
}

}  // namespace installer
