#include "settings/spooler_forms.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "plat/spooler.h"

namespace {

struct LocalDeleter {
  void operator()(void* p) const { LocalFree(p); }
};

// The spooler's forms of the printer, listed into a zeroed local block.
struct FormList {
  std::unique_ptr<BYTE, LocalDeleter> block;
  DWORD count = 0;
  const FORM_INFO_1W* Forms() const { return reinterpret_cast<const FORM_INFO_1W*>(block.get()); }
};

bool ListForms(HANDLE printer, FormList& list) {
  DWORD needed = 0, returned = 0;
  if (EnumFormsW(printer, 1, nullptr, 0, &needed, &returned) || GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
      needed < sizeof(FORM_INFO_1W))
    return false;
  list.block.reset(static_cast<BYTE*>(LocalAlloc(LPTR, needed)));
  if (!list.block || !EnumFormsW(printer, 1, list.block.get(), needed, &needed, &returned)) return false;
  // Never more records than the block holds.
  list.count = std::min<DWORD>(returned, needed / sizeof(FORM_INFO_1W));
  return true;
}

}  // namespace

BOOL GetFormSizeByName(HANDLE printer, const WCHAR* name, SIZEL* size) {
  FormList list;
  if (!name || !size || !ListForms(printer, list)) return FALSE;
  for (DWORD i = 0; i < list.count; ++i) {
    const FORM_INFO_1W& form = list.Forms()[i];
    if (form.pName && std::u16string_view(form.pName) == std::u16string_view(name)) {
      *size = form.Size;
      return TRUE;
    }
  }
  return FALSE;
}

BOOL GetFormSizeByIndex(HANDLE printer, DWORD index, SIZEL* size) {
  FormList list;
  if (index == 0 || !size || !ListForms(printer, list) || index > list.count) return FALSE;
  *size = list.Forms()[index - 1].Size;
  return TRUE;
}
