#include "sheets/printer_access.h"

#include <vector>

#include "plat/spooler.h"
#include "settings/caps_store.h"

HANDLE OpenPrinterForWrite(HANDLE printer) {
  DWORD needed = 0;
  GetPrinterW(printer, 4, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_4W)) return printer;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer, 4, buffer.data(), needed, &needed)) return printer;
  const auto* info = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
  if (!info->pPrinterName) return printer;
  PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE written = nullptr;
  if (!OpenPrinterW(info->pPrinterName, &written, &access) || !written) return printer;
  return written;
}

void CloseWriteHandle(HANDLE written, HANDLE own) {
  if (written && written != own) ClosePrinter(written);
}

int ProbeWritePermission(HANDLE printer) {
  HANDLE written = OpenPrinterForWrite(printer);
  static constexpr WCHAR kProbe[8] = u"FavSet_";
  const DWORD rc =
      SetPrinterDataW(written, kValueFavSetPrefix, REG_BINARY, reinterpret_cast<const BYTE*>(kProbe), sizeof kProbe);
  if (rc == ERROR_SUCCESS) DeletePrinterDataW(written, kValueFavSetPrefix);
  CloseWriteHandle(written, printer);
  return rc == ERROR_SUCCESS ? 1 : 0;
}
