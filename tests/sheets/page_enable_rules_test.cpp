// The availability bytes of the model decide each control group of pages
// 2008 and 2001: 0 shown disabled, 1 shown (the page's own condition decides),
// 2 hidden. The pages run in a sheet of their own on a model built in memory.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plat/windows.h"
#include "settings/model_fixture.h"
#include "sheets/basic_layout_pages.h"
#include "sheets/document_pages.h"
#include "sheets/page_protocol.h"
#include "sheets/sheet_rules.h"

namespace {

DocSheetContext* g_context = nullptr;

LONG CALLBACK Callback(PROPSHEETUI_INFO* info, LPARAM) {
  SheetState& state = g_context->State;
  if (info->Reason != PROPSHEETUI_REASON_INIT) return 1;
  const int templates[2] = {2008, 2001};
  for (int i = 0; i < 2; ++i) {
    PROPSHEETPAGEW page{};
    page.dwSize = PROPSHEETPAGEW_V2_SIZE;
    page.hInstance = state.ResourceDll;
    page.pszTemplate = MAKEINTRESOURCEW(templates[i]);
    page.pfnDlgProc = DocumentPageProc(templates[i]);
    page.lParam = reinterpret_cast<LPARAM>(g_context);
    state.PageHandles[i] = reinterpret_cast<HANDLE>(info->pfnComPropSheet(
        info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(CreatePropertySheetPageW(&page)), 0));
  }
  state.ComPropSheet = info->pfnComPropSheet;
  state.ComPropSheetHandle = info->hComPropSheet;
  return 1;
}

struct Group {
  const char* name;
  std::uint8_t CapsInfo::*availability;
  int tab;  // 0: page 2008, 1: page 2001
  std::vector<int> controls;
  bool enabledAt1;  // the page's own condition holds on the fixture's settings
};

const Group kGroups[] = {
    {"paper", &CapsInfo::OriginalSizeEnable, 0, {2082, 2079}, true},
    {"orientation", &CapsInfo::OrientationEnable, 1, {3324, 3325}, true},
    {"output paper", &CapsInfo::OutputPaperEnable, 0, {2081, 2080}, true},
    {"duplex", &CapsInfo::DuplexEnable, 1, {3287, 3288}, true},
    {"output mode", &CapsInfo::OutputModeEnable, 0, {2076, 2075}, true},
    {"copies", &CapsInfo::PrintCopiesEnable, 0, {3179, 3180, 3181}, true},
    {"continuous printing", &CapsInfo::RenzokuModeEnable, 0, {3182, 3183}, true},
    {"preview", &CapsInfo::PreviewEnable, 1, {3158, 3159, 3160}, true},
    {"layout picture", &CapsInfo::LayoutImageEnable, 0, {4009}, true},
    {"page layout", &CapsInfo::PageLayoutEnable, 1, {3024, 3021}, true},
    {"binding", &CapsInfo::BindingMarginEnable, 1, {3291, 3292}, true},
    {"fit page", &CapsInfo::FitPageEnable, 1, {3032}, true},
    {"rotation", &CapsInfo::RotateEnable, 1, {3028}, true},
};

class EnableRules : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([](const std::string& what) { ADD_FAILURE() << what; });
    resources_ = LoadLibraryW(plat::u16(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL").c_str());
    ASSERT_NE(resources_, nullptr);
  }
  void TearDown() override {
    FreeLibrary(resources_);
    plat::ui::ResetScript();
  }

  // Opens the two pages on the fixture model as changed by edit, and runs check on the sheet.
  template <typename Edit, typename Check>
  void Open(Edit edit, Check check) {
    fixture::CapsPtr caps = fixture::MakeModel(2);
    auto context = std::make_unique<DocSheetContext>();
    std::memcpy(static_cast<void*>(&context->Caps), caps.get(), sizeof(ModelCaps));
    GlobalFree(caps.release());
    CapsInfo& info = context->Caps.Info;
    info.RensyaEnable = info.NupEnable = info.BookletEnable = info.FourPBookletEnable = 1;
    edit(*context);
    SettingsToSheetState(context->Caps, context->State);
    context->State.ResourceDll = resources_;
    g_context = context.get();
    plat::ui::QueueHandler([&](plat::ui::Screen& s) {
      check(s);
      EXPECT_TRUE(s.Cancel());
    });
    DWORD result = 0;
    CommonPropertySheetUIW(nullptr, Callback, 0, &result);
    FreeSheetNameLists(context->State);
    FreeModelCaps(&context->Caps, true);
    g_context = nullptr;
  }

  HMODULE resources_ = nullptr;
};

TEST_F(EnableRules, EachAvailabilityByteHidesDisablesOrOffersItsGroup) {
  for (const Group& g : kGroups) {
    for (std::uint8_t value : {0, 1, 2}) {
      SCOPED_TRACE(std::string(g.name) + " " + std::to_string(value));
      Open([&](DocSheetContext& c) { c.Caps.Info.*g.availability = value; },
           [&](plat::ui::Screen& s) {
             ASSERT_TRUE(s.Tab(g.tab));
             for (int id : g.controls) {
               EXPECT_EQ(s.Visible(id), value != 2) << id;
               if (value == 0) {
                 EXPECT_FALSE(s.Enabled(id)) << id;
               } else if (value == 1) {
                 EXPECT_EQ(s.Enabled(id), g.enabledAt1) << id;
               }
             }
           });
    }
  }
}

TEST_F(EnableRules, DuplexNeedsADuplexSpeed) {
  // Speeds 1, 2, 3, 3, 5: index 4 is the first that duplex does not take.
  for (std::uint8_t speed : {0, 3, 4}) {
    SCOPED_TRACE(static_cast<int>(speed));
    bool enabled[2] = {};
    Open(
        [&](DocSheetContext& c) {
          c.Caps.Info.DuplexEnable = 1;
          GlobalFree(c.Caps.Speeds);
          c.Caps.Speeds = fixture::Block<LevelEntry>({{1, 11}, {2, 12}, {3, 11}, {3, 12}, {5, 11}});
          c.Caps.Info.SpeedCount = 5;
          c.Caps.Defaults.SpeedIndex = speed;
        },
        [&](plat::ui::Screen& s) {
          EXPECT_EQ(g_context->State.SpeedIndex, speed);
          ASSERT_TRUE(s.Tab(0));
          enabled[0] = s.Enabled(3288);
          ASSERT_TRUE(s.Tab(1));
          enabled[1] = s.Enabled(3288);
        });
    EXPECT_EQ(enabled[0], speed < 4);
    EXPECT_EQ(enabled[1], speed < 4) << "both pages agree";
  }
}

TEST_F(EnableRules, ThePictureCyclesOnlyWhileItAndPageLayoutsAreOffered) {
  struct Case {
    std::uint8_t picture, pageLayout;
    bool cycles;
  };
  for (const Case& c : {Case{1, 1, true}, Case{0, 1, false}, Case{2, 1, false}, Case{1, 0, false}, Case{1, 2, false}}) {
    SCOPED_TRACE(std::to_string(c.picture) + " " + std::to_string(c.pageLayout));
    Open(
        [&](DocSheetContext& ctx) {
          ctx.Caps.Info.LayoutImageEnable = c.picture;
          ctx.Caps.Info.PageLayoutEnable = c.pageLayout;
        },
        [&](plat::ui::Screen& s) {
          ASSERT_TRUE(s.Tab(1));
          HWND picture = s.Item(4009);
          RECT r{};
          GetWindowRect(picture, &r);
          POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
          ScreenToClient(s.Page(), &centre);
          SetCursor(nullptr);
          EXPECT_TRUE(s.MouseMove(centre.x, centre.y));
          EXPECT_EQ(GetCursor() == g_context->State.HandCursor, c.cycles) << "the hand only over a live picture";
          EXPECT_TRUE(s.ClickOn(centre.x, centre.y));
          EXPECT_EQ(g_context->State.LayoutMode, c.cycles ? 1 : 0);
          EXPECT_EQ(s.Enabled(kApplyButton), c.cycles);
        });
  }
}

}  // namespace
