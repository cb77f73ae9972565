// The page protocol every document page follows, and the pages that run on it.
// A page supplies what is its own (filling, refreshing, its commands); the
// protocol does the rest: the context from the page record, refresh on
// activation, the result at apply, the USB check on leaving, and marking the
// sheet changed.
#pragma once

#include "plat/dialog.h"
#include "plat/propsheet.h"
#include "sheets/sheet_state.h"

// Dialog templates of the pages, in the order the sheet shows them.
inline constexpr int kDocumentPageTemplates[7] = {2008, 2001, 2002, 2003, 2004, 2005, 2006};
inline constexpr int kColorPageTemplate = 2002;
inline constexpr int kDevicePageTemplate = 2007;
// Pages whose leaving checks the USB destination.
inline constexpr bool ChecksUsbOnLeave(int templateId) { return templateId == 2004 || templateId == 2008; }

struct PageHooks {
  int TemplateId;
  // Fills the controls once (WM_INITDIALOG), then Refresh shows the state.
  void (*Fill)(HWND page, DocSheetContext& context);
  void (*Refresh)(HWND page, DocSheetContext& context);
  // A control notification; true when it changed the state.
  bool (*Command)(HWND page, DocSheetContext& context, WORD id, WORD code);
  // Optional. PSN_SETACTIVE work before the refresh.
  void (*Activate)(HWND page, DocSheetContext& context) = nullptr;
  // PSN_KILLACTIVE work before the USB check (numbers typed and not yet taken).
  void (*Deactivate)(HWND page, DocSheetContext& context) = nullptr;
  // Any other message (drawing, colours); its answer.
  INT_PTR (*Other)(HWND page, DocSheetContext& context, UINT message, WPARAM wParam, LPARAM lParam) = nullptr;
};

// The context of a document page, from its page record; nullptr before WM_INITDIALOG.
DocSheetContext* PageContext(HWND page);
// One dialog procedure body for every document page.
INT_PTR RunDocumentPage(const PageHooks& hooks, HWND page, UINT message, WPARAM wParam, LPARAM lParam);
