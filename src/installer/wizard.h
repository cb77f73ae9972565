// The install wizard: the chain of pages from the first page to the finish
// page, and the one table that says which page follows which.
#pragma once

#include <array>

#include "installer/page_kit.h"
#include "installer/setup_context.h"

namespace installer {

// The conditions the flow tests, in the order a row lists them.
enum class When : BYTE {
  Always,
  Type4,             // the full installer (else the network installer)
  KindUsbOrMemory,   // connection is USB cable or USB memory
  UsbOnWindows8,     // USB cable on "Win8" or "Win8x64"
  UsbOnVista,        // USB cable on Vista or later
  DriverInstalled,   // a driver named like the model is installed (asked when reached)
};
struct Route {
  When when;
  int page;  // 0: no more routes
};
struct PageFlow {
  int page;
  std::array<Route, 4> next;
  std::array<Route, 4> back;
};
extern const std::array<PageFlow, 8> kPageFlow;

// The page a result leads to: the first route whose condition holds; 0
// when none; -1 when a condition could not be asked (the chain ends).
int FollowRoute(SetupContext& ctx, int page, INT_PTR result);

// Show routines: each shows its page and goes on with the page that follows;
// 1 when the chain below ends normally, 0 (language library freed) when a
// page cannot run.
int ShowFirstPage(SetupContext& ctx);
int ShowConnectionPage(SetupContext& ctx);
int ShowModelSelectPage(SetupContext& ctx);
int ShowDriverOptionPage(SetupContext& ctx);
int ShowPrinterNamePage(SetupContext& ctx);
int ShowConfirmPage(SetupContext& ctx);
int ShowInstallProgressPage(SetupContext& ctx);
int ShowFinishPage(SetupContext& ctx);
int ShowNetworkSearchPage(SetupContext& ctx);
// Shows any page of the flow by its id.
int ShowPage(SetupContext& ctx, int page);

INT_PTR FirstPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ConnectionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ModelSelectPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR DriverOptionPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR PrinterNamePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR ConfirmPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR InstallProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace installer
