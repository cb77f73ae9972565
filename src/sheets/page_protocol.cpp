#include "sheets/page_protocol.h"

#include <iterator>

#include "sheets/control_kit.h"

namespace {

int HandleIndex(int templateId) {
  for (std::size_t i = 0; i < std::size(kDocumentPageTemplates); ++i) {
    if (kDocumentPageTemplates[i] == templateId) return static_cast<int>(i);
  }
  return -1;
}

// Edits announce their own typing; while a page is refilled that is no change.
bool IsEditNotification(WORD code) { return code == EN_CHANGE || code == EN_UPDATE; }

DocSheetContext* RecordContext(HWND page) {
  const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(GetWindowLongPtrW(page, DWLP_USER));
  return record ? reinterpret_cast<DocSheetContext*>(record->lParam) : nullptr;
}

}  // namespace

DocSheetContext* PageContext(HWND page) { return RecordContext(page); }

INT_PTR RunDocumentPage(const PageHooks& hooks, HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(page, DWLP_USER, lParam);
    DocSheetContext* context = PageContext(page);
    if (context && hooks.Fill) hooks.Fill(page, *context);
    if (context && hooks.Refresh) hooks.Refresh(page, *context);
    return TRUE;
  }
  DocSheetContext* context = PageContext(page);
  if (!context) return FALSE;
  SheetState& state = context->State;
  switch (message) {
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      switch (header->code) {
        case PSN_SETACTIVE:
          if (hooks.Activate) hooks.Activate(page, *context);
          if (hooks.Refresh) hooks.Refresh(page, *context);
          SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
          return TRUE;
        case PSN_KILLACTIVE: {
          if (hooks.Deactivate) hooks.Deactivate(page, *context);
          if (!ChecksUsbOnLeave(hooks.TemplateId)) return FALSE;
          const bool stay = ValidateUsbOutput(page, *context, state) == 0;
          SetWindowLongPtrW(page, DWLP_MSGRESULT, stay ? TRUE : FALSE);
          return TRUE;
        }
        case PSN_APPLY: {
          const int index = HandleIndex(hooks.TemplateId);
          const LONG_PTR done =
              state.ComPropSheet && index >= 0
                  ? state.ComPropSheet(state.ComPropSheetHandle, CPSFUNC_SET_RESULT,
                                       reinterpret_cast<LPARAM>(state.PageHandles[index]), CPSUI_OK)
                  : 0;
          SetWindowLongPtrW(page, DWLP_MSGRESULT, done ? PSNRET_NOERROR : PSNRET_INVALID);
          return done ? TRUE : FALSE;
        }
        case PSN_RESET: return TRUE;
        default: return FALSE;
      }
    }
    case WM_COMMAND: {
      const WORD id = LOWORD(wParam), code = HIWORD(wParam);
      if (!hooks.Command || !hooks.Command(page, *context, id, code)) return FALSE;
      if (!(state.Refreshing == 1 && IsEditNotification(code))) state.FavoriteIndex = kNoFavorite;
      if (hooks.Refresh) hooks.Refresh(page, *context);
      NotifySheetChanged(page);
      return TRUE;
    }
    default: return hooks.Other ? hooks.Other(page, *context, message, wParam, lParam) : FALSE;
  }
}
