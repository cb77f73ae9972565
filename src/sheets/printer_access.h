// Opening the sheet's printer again with the right to change its data, and
// finding out whether the user has that right.
#pragma once

#include "plat/base.h"

// The printer named by the handle (PRINTER_INFO_4) opened again with
// PRINTER_ALL_ACCESS; the given handle itself when anything fails.
HANDLE OpenPrinterForWrite(HANDLE printer);
// Closes a handle from OpenPrinterForWrite unless it is the sheet's own.
void CloseWriteHandle(HANDLE written, HANDLE own);
// 1 when the user may write printer data: the value "FavSet_" (REG_BINARY,
// the 16 bytes of the text and its terminator) is written and deleted again
// through a write handle; else 0.
int ProbeWritePermission(HANDLE printer);
