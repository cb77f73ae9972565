#include "settings/spooler_forms.h"

#include <string_view>

#include "settings/custom_forms.h"

BOOL GetFormSizeByName(HANDLE printer, const WCHAR* name, SIZEL* size) {
  if (!name || !size) return FALSE;
  const auto forms = ListSpoolerForms(printer);
  if (!forms) return FALSE;
  for (const SpoolerForm& form : *forms) {
    if (form.Name == std::u16string_view(name)) {
      *size = form.Size;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL GetFormSizeByIndex(HANDLE printer, DWORD index, SIZEL* size) {
  if (index == 0 || !size) return FALSE;
  const auto forms = ListSpoolerForms(printer);
  if (!forms || index > forms->size()) return FALSE;
  *size = (*forms)[index - 1].Size;
  return TRUE;
}
