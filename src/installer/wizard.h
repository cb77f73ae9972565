// The install wizard: the chain of pages from the first page to the finish
// page, and the one table that says which page follows which.
#pragma once

#include <array>

#include "installer/messages.h"
#include "installer/setup_context.h"

namespace installer {

// Page (template) ids and page results.
enum Page : int {
  kFirstPage = 104,
  kConnectionPage = 105,
  kUsbConnectPage = 106,
  kModelPage = 107,
  kDriverOptionPage = 108,
  kPrinterNamePage = 110,
  kConfirmPage = 111,
  kInstallProgressPage = 112,
  kFinishPage = 113,
  kQuickConfirmPage = 120,
  kNetworkSearchPage = 121,
  kPortSelectPage = 122,
  kSearchProgressPage = 123,
};
constexpr INT_PTR kResultNext = 1;
constexpr INT_PTR kResultCancel = 2;
constexpr INT_PTR kResultBack = 1001;
constexpr INT_PTR kResultFinish = 1007;
constexpr int kBackButton = 1001;
constexpr int kFinishButton = 1007;

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

bool IsWindows8(const SetupContext& ctx);
bool IsVistaOrLater(const SetupContext& ctx);

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

// Shared by the page procedures.
SetupContext* PageContext(HWND page);
// Runs the page's template from the language library with the context.
INT_PTR RunPageDialog(SetupContext& ctx, int page, DLGPROC proc, HWND owner = nullptr);
// Cancel asks first (for what is being left); Back leaves at once.
bool HandleCommonCommand(SetupContext& ctx, HWND page, int id, Leaving leaving = Leaving::Install);
// WM_INITDIALOG: keeps the context in the page's user data.
SetupContext& AdoptContext(HWND page, LPARAM lParam);
// Keeps the page's screen rectangle, where the next page appears.
void SavePageRect(SetupContext& ctx, HWND page);
// Moves the page to the kept place with the kept size.
void MoveToSavedPlace(const SetupContext& ctx, HWND page);
void CentreInWorkArea(HWND page);
// Starts a progress page's worker on args. When the thread cannot start the
// user hears why, the page ends with Cancel and the answer is false; else the
// page is centred with OK disabled and its bar coloured.
bool StartProgressWorker(HWND page, HANDLE& worker, LPTHREAD_START_ROUTINE proc, void* args);
void CentreOn(HWND page, HWND on);
void FreeLanguageLibrary(SetupContext& ctx);
// Stops the new-hardware window closer and waits for it to end.
void StopCloserThread(SetupContext& ctx);
bool IsChecked(HWND page, int id);
void EnableItem(HWND page, int id, bool on);
void HideItem(HWND page, int id);

}  // namespace installer
