// The page protocol every document page follows, on a page of the platform's
// test templates inside a real sheet.
#include "sheets/page_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plat/windows.h"
#include "settings/model_fixture.h"

namespace {

constexpr int kEdit = 10;  // the edit of test template 101

DocSheetContext* g_context = nullptr;
HMODULE g_templates = nullptr;
int g_fills = 0, g_refreshes = 0;
HANDLE g_resultFrom = nullptr;

const PageHooks kHooks{
    2008, [](HWND, DocSheetContext&) { ++g_fills; }, [](HWND, DocSheetContext&) { ++g_refreshes; },
    [](HWND page, DocSheetContext& context, WORD id, WORD code) {
      if (id != kEdit || code != EN_CHANGE) return false;
      WCHAR text[16] = {};
      GetDlgItemTextW(page, kEdit, text, 16);
      const bool changed = context.State.Copies != static_cast<std::int32_t>(std::u16string(text).size());
      context.State.Copies = static_cast<std::int32_t>(std::u16string(text).size());
      return changed;  // an edit that leaves the value as it was is no change
    }};

INT_PTR CALLBACK TestPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  return RunDocumentPage(kHooks, page, message, wParam, lParam);
}

LONG CALLBACK Callback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  SheetState& state = g_context->State;
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      PROPSHEETPAGEW page{};
      page.dwSize = PROPSHEETPAGEW_V2_SIZE;
      page.hInstance = g_templates;
      page.pszTemplate = MAKEINTRESOURCEW(101);
      page.pfnDlgProc = TestPage;
      page.lParam = reinterpret_cast<LPARAM>(g_context);
      state.PageHandles[0] = reinterpret_cast<HANDLE>(info->pfnComPropSheet(
          info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(CreatePropertySheetPageW(&page)), 0));
      state.ComPropSheet = info->pfnComPropSheet;
      state.ComPropSheetHandle = info->hComPropSheet;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      g_resultFrom = reinterpret_cast<const SETRESULT_INFO*>(lParam)->hSetResult;
      return 1;
    default: return 1;
  }
}

TEST(PageProtocol, ChangesMarkTheSheetAndDropTheFavouriteApplySetsTheResult) {
  plat::ui::ResetScript();
  g_templates = LoadLibraryW(plat::u16(std::string(TEST_DATA_DIR_STR) + "/platform/dialogs.res").c_str());
  ASSERT_NE(g_templates, nullptr);
  fixture::CapsPtr caps = fixture::MakeModel(2);
  auto context = std::make_unique<DocSheetContext>();
  std::memcpy(static_cast<void*>(&context->Caps), caps.get(), sizeof(ModelCaps));
  g_context = context.get();
  SheetState& state = context->State;
  state.Copies = 1;
  state.FavoriteIndex = 3;

  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_EQ(g_fills, 1);
    EXPECT_EQ(g_refreshes, 2) << "at WM_INITDIALOG and PSN_SETACTIVE";
    EXPECT_EQ(PageContext(s.Page()), g_context);
    // Refilling: an edit notification is no user change of the favourite.
    state.Refreshing = 1;
    EXPECT_TRUE(s.Type(kEdit, u"ab"));
    EXPECT_EQ(state.Copies, 2);
    EXPECT_EQ(state.FavoriteIndex, 3);
    EXPECT_TRUE(s.Enabled(kApplyButton)) << "still a change of the sheet";
    state.Refreshing = 0;
    EXPECT_TRUE(s.Type(kEdit, u"xyz"));
    EXPECT_EQ(state.FavoriteIndex, kNoFavorite);
    const int refreshes = g_refreshes;
    EXPECT_TRUE(s.Type(kEdit, u"xyz"));  // the same length: no change
    EXPECT_GT(g_refreshes, refreshes);   // a change along the way refreshed
    EXPECT_TRUE(s.Ok());
  });
  DWORD result = 0;
  EXPECT_EQ(CommonPropertySheetUIW(nullptr, Callback, 0, &result), CPSUI_OK);
  EXPECT_EQ(g_resultFrom, state.PageHandles[0]) << "the page names itself in SET_RESULT";
  EXPECT_TRUE(plat::ui::Failures().empty());
  FreeSheetNameLists(state);
  FreeModelCaps(&context->Caps, true);
  GlobalFree(caps.release());
  FreeLibrary(g_templates);
  g_context = nullptr;
}

}  // namespace
