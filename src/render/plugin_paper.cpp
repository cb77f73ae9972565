// The paper of a device built by the rendering plug-in: spooler forms by
// position and by name before the printer's "Paper" records.
#include <cstring>

#include "render/render_pdev.h"
#include "settings/spooler_forms.h"

namespace {

constexpr PaperSize kA4{2100, 2970};

// A form's micrometres as 0.1 mm; nothing for a side of 0 or over 16 bits.
std::optional<PaperSize> FormTenths(const SIZEL& size) {
  const std::int64_t w = size.cx / 100;
  const std::int64_t l = size.cy / 100;
  if (w <= 0 || l <= 0 || w > 0xFFFF || l > 0xFFFF) return std::nullopt;
  return PaperSize{static_cast<std::int32_t>(w), static_cast<std::int32_t>(l)};
}

}  // namespace

std::optional<PaperSize> OemGetPaperSize(HANDLE printer, int paperId) {
  SIZEL form{};
  if (paperId > 0 && GetFormSizeByIndex(printer, static_cast<DWORD>(paperId), &form)) return FormTenths(form);
  return LookupPaperSize(printer, paperId);
}

std::optional<PaperSize> PluginPaperSize(const DEVMODEW& dm, HANDLE printer) {
  if ((dm.dmFields & DM_PAPERSIZE) && dm.dmPaperSize != 0 && dm.dmPaperSize != DMPAPER_USER)
    return OemGetPaperSize(printer, dm.dmPaperSize);
  if (dm.dmFields & DM_FORMNAME) {
    // The name field need not be terminated.
    WCHAR name[CCHFORMNAME + 1] = {};
    std::memcpy(name, dm.dmFormName, sizeof(dm.dmFormName));
    SIZEL form{};
    if (GetFormSizeByName(printer, name, &form)) return FormTenths(form);
    return kA4;
  }
  if ((dm.dmFields & (DM_PAPERLENGTH | DM_PAPERWIDTH)) || dm.dmPaperSize == DMPAPER_USER)
    return PaperSize{dm.dmPaperWidth, dm.dmPaperLength};
  return kA4;
}
