// What every page of the install and uninstall wizards shares: page ids
// and results, the context a page keeps, placing pages, their common
// commands and the finish page both wizards end on.
#pragma once

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
constexpr int kProgressBar = 1002;  // of the progress pages

SetupContext* PageContext(HWND page);
// Runs the page's template from the language library with the context.
INT_PTR RunPageDialog(SetupContext& ctx, int page, DLGPROC proc, HWND owner = nullptr);
// Cancel asks first (for what is being left); Back leaves at once.
bool HandleCommonCommand(SetupContext& ctx, HWND page, int id, Leaving leaving = Leaving::Install);
// WM_INITDIALOG: keeps the context in the page's user data.
SetupContext& AdoptContext(HWND page, LPARAM lParam);
// The setup's icon on the page.
void SetIcon(const SetupContext& ctx, HWND page);
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

// The finish page both wizards end on. Its restart box is checked when
// offerRestart says so for the context, else unchecked and disabled; Finish
// with the box checked ends the page with Cancel and restarts Windows, else
// with Finish; the readme button opens the readme; Cancel ends with Cancel.
struct FinishPage {
  bool (*offerRestart)(const SetupContext& ctx);
  bool withIcon;  // the setup's icon on the page
};
INT_PTR FinishPageMessage(const FinishPage& kind, HWND page, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace installer
