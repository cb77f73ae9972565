// The quick install: an installation recorded by the Swiftinst tool in
// "Swiftinst.ini" and three data files, checked, confirmed on one page and
// repeated by the install worker.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "installer/setup_context.h"

namespace installer {

// Swiftinst.ini's check of the data file (its CRC-32) and record count: 1
// when they match.
int CheckCustomDataFile(SetupContext& ctx);
// The recorded printer name, port and model into the context.
int ReadQuickInstallData(SetupContext& ctx);

// The whole file; false when it cannot be opened or read.
bool ReadWholeFile(std::u16string_view path, std::vector<BYTE>& bytes);

// The port, the printer and its recorded values, as the worker's quick branch.
int InstallQuickPrinter(SetupContext& ctx);
int AddTcpIpPortFromData(SetupContext& ctx);
int AddIppPortFromData(SetupContext& ctx);
int AddPrinterFromData(SetupContext& ctx);
int ApplyPrinterDataFile(SetupContext& ctx);
int ApplyDevmodeFile(HANDLE printer, DWORD size, SetupContext& ctx);
int ApplyDefaultDevmodeData(std::span<const BYTE> devmode, SetupContext& ctx);

// Page 120: the recorded printer name (made unique, editable), port and model.
INT_PTR QuickConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Shows page 120, then the install progress on Next.
int ShowQuickConfirmPage(SetupContext& ctx);

}  // namespace installer
