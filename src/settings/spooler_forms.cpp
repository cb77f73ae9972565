#include "settings/spooler_forms.h"

// The platform's spooler keeps no forms yet: no form is ever found.
BOOL GetFormSizeByName(HANDLE, const WCHAR*, SIZEL*) { return FALSE; }
BOOL GetFormSizeByIndex(HANDLE, DWORD, SIZEL*) { return FALSE; }
