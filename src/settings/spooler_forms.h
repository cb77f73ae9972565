// The spooler's forms of a printer as the plug-ins look them up: by exact
// name and by 1-based position in the spooler's list.
#pragma once

#include "plat/base.h"

// The form's size in micrometres. FALSE when the list cannot be read or has
// no such form; *size is then untouched.
BOOL GetFormSizeByName(HANDLE printer, const WCHAR* name, SIZEL* size);
BOOL GetFormSizeByIndex(HANDLE printer, DWORD index, SIZEL* size);
