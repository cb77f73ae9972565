// Windows from resource templates, the controls' notification order, modal
// loops driven by the scripted user, and property sheets through CPSUI.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "plat/dialog.h"
#include "plat/propsheet.h"
#include "plat/resources.h"
#include "plat/strings.h"
#include "plat/ui.h"
#include "support/temp_folder.h"

namespace {

const std::string kDialogs = std::string(TEST_DATA_DIR_STR) + "/platform/dialogs.res";

// What the dialog procedures saw, one line per message, e.g. "COMMAND 10 EN_CHANGE".
std::vector<std::string>* g_log = nullptr;

std::string CommandName(WORD id, WORD code, HWND control) {
  const int kind = control ? static_cast<int>(GetWindowLongPtrW(control, GWL_STYLE)) : 0;
  (void)kind;
  static const std::pair<WORD, const char*> kEdit[] = {{EN_SETFOCUS, "EN_SETFOCUS"}, {EN_KILLFOCUS, "EN_KILLFOCUS"},
                                                       {EN_CHANGE, "EN_CHANGE"},     {EN_UPDATE, "EN_UPDATE"},
                                                       {EN_MAXTEXT, "EN_MAXTEXT"}};
  static const std::pair<WORD, const char*> kCombo[] = {{CBN_SELCHANGE, "CBN_SELCHANGE"}, {CBN_SETFOCUS, "CBN_SETFOCUS"},
                                                        {CBN_KILLFOCUS, "CBN_KILLFOCUS"}, {CBN_DROPDOWN, "CBN_DROPDOWN"},
                                                        {CBN_CLOSEUP, "CBN_CLOSEUP"},     {CBN_SELENDOK, "CBN_SELENDOK"}};
  std::string name = std::to_string(code);
  if (id == 30) {
    for (auto& [c, n] : kCombo) {
      if (c == code) name = n;
    }
  } else if (id == 31) {
    name = code == LBN_SELCHANGE ? "LBN_SELCHANGE" : code == LBN_SETFOCUS ? "LBN_SETFOCUS" : "LBN_KILLFOCUS";
  } else if (id == 10 || id == 11 || id == 33) {
    for (auto& [c, n] : kEdit) {
      if (c == code) name = n;
    }
  } else if (code == BN_CLICKED) {
    name = "BN_CLICKED";  // also STN_CLICKED
  }
  return "COMMAND " + std::to_string(static_cast<SHORT>(id)) + " " + name;
}

INT_PTR CALLBACK LoggingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!g_log) return FALSE;
  switch (message) {
    case WM_COMMAND:
      g_log->push_back(CommandName(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)));
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      auto* nm = reinterpret_cast<NMUPDOWN*>(lParam);
      if (nm->hdr.code == UDN_DELTAPOS) {
        g_log->push_back("UDN_DELTAPOS " + std::to_string(nm->iPos) + " " + std::to_string(nm->iDelta));
        // Positions above 3 are refused.
        const LONG_PTR refuse = nm->iPos + nm->iDelta > 3 ? TRUE : FALSE;
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, refuse);
        return TRUE;
      }
      return FALSE;
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
      g_log->push_back(std::string(message == WM_VSCROLL ? "VSCROLL " : "HSCROLL ") +
                       std::to_string(LOWORD(wParam)) + " " + std::to_string(static_cast<SHORT>(HIWORD(wParam))));
      return TRUE;
    case WM_LBUTTONDOWN:
      g_log->push_back("LBUTTONDOWN " + std::to_string(static_cast<SHORT>(LOWORD(static_cast<DWORD_PTR>(lParam)))) +
                       "," + std::to_string(static_cast<SHORT>(HIWORD(static_cast<DWORD_PTR>(lParam)))));
      return TRUE;
    case WM_MOUSEMOVE: g_log->push_back("MOUSEMOVE"); return TRUE;
    case WM_DESTROY: g_log->push_back("DESTROY"); return TRUE;
    default: return FALSE;
  }
}

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::resources::Reset();
    plat::ui::ResetScript();
    plat::ui::SetFailureHook([this](const std::string& what) { failures_.push_back(what); });
    windowsBefore_ = plat::LiveWindowCount();
    module_ = LoadLibraryW(plat::u16(kDialogs).c_str());
    ASSERT_NE(module_, nullptr);
    g_log = &log_;
  }
  void TearDown() override {
    g_log = nullptr;
    FreeLibrary(module_);
    plat::ui::ResetScript();
    EXPECT_EQ(plat::LiveWindowCount(), windowsBefore_) << "nothing is left open";
    EXPECT_EQ(plat::LivePageCount(), 0u);
  }

  // Runs dialog 100 with one handler; returns the dialog's result.
  INT_PTR Run(const std::function<void(plat::ui::Screen&)>& act) {
    plat::ui::QueueHandler([&](plat::ui::Screen& s) {
      log_.clear();
      act(s);
    });
    return DialogBoxParamW(module_, MAKEINTRESOURCEW(100), nullptr, LoggingProc, 0);
  }

  HMODULE module_ = nullptr;
  std::size_t windowsBefore_ = 0;
  std::vector<std::string> log_;
  std::vector<std::string> failures_;
};

using Lines = std::vector<std::string>;

TEST_F(Windows, TemplatesMakeControlsWithClassStyleAndPlace) {
  HWND d = CreateDialogParamW(module_, MAKEINTRESOURCEW(100), nullptr, LoggingProc, 0);
  ASSERT_NE(d, nullptr);
  WCHAR caption[32];
  GetWindowTextW(d, caption, 32);
  EXPECT_EQ(std::u16string(caption), u"Every control");
  HWND edit = GetDlgItem(d, 10);
  EXPECT_EQ(GetWindowLongPtrW(edit, GWL_STYLE) & (ES_NUMBER | WS_TABSTOP), static_cast<LONG_PTR>(ES_NUMBER | WS_TABSTOP));
  RECT r{};
  GetWindowRect(edit, &r);
  EXPECT_EQ(r.left, 15);  // 10 dialog units across, 6 pixels per 4 units
  EXPECT_EQ(r.top, 16);   // 10 units down, 13 pixels per 8 units
  EXPECT_EQ(r.right - r.left, 90);
  RECT client{};
  GetClientRect(d, &client);
  EXPECT_EQ(client.right, 300);
  EXPECT_EQ(client.bottom, 195);
  EXPECT_EQ(CreateDialogParamW(module_, MAKEINTRESOURCEW(999), nullptr, LoggingProc, 0), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);

  // Setting values by message sends nothing; WM_SETTEXT on an edit sends EN_UPDATE and EN_CHANGE.
  log_.clear();
  SendDlgItemMessageW(d, 30, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"a"));
  SendDlgItemMessageW(d, 30, CB_SETCURSEL, 0, 0);
  CheckDlgButton(d, 20, BST_CHECKED);
  SendDlgItemMessageW(d, 12, UDM_SETPOS32, 0, 5);
  SendDlgItemMessageW(d, 33, IPM_SETADDRESS, 0, static_cast<LPARAM>(MAKEIPADDRESS(10, 0, 0, 1)));
  EXPECT_EQ(log_, Lines{});
  SetDlgItemTextW(d, 11, u"x");
  EXPECT_EQ(log_, (Lines{"COMMAND 11 EN_UPDATE", "COMMAND 11 EN_CHANGE"}));

  SetWindowLongPtrW(d, DWLP_USER, 1234);
  EXPECT_EQ(GetWindowLongPtrW(d, DWLP_USER), 1234);
  EXPECT_TRUE(DestroyWindow(d));
  EXPECT_EQ(log_.back(), "DESTROY");
}

TEST_F(Windows, UserActionsSendTheNotificationsInThePlatformsOrder) {
  struct Case {
    const char* name;
    std::function<bool(plat::ui::Screen&)> act;
    Lines expected;
  };
  const Case cases[] = {
      {"typing into a number field skips letters",
       [](plat::ui::Screen& s) { return s.Type(10, u"1a2"); },
       {"COMMAND 10 EN_SETFOCUS", "COMMAND 10 EN_UPDATE", "COMMAND 10 EN_CHANGE", "COMMAND 10 EN_UPDATE",
        "COMMAND 10 EN_CHANGE"}},
      {"a click moves the focus first",
       [](plat::ui::Screen& s) { return s.Type(11, u"") && s.Click(20); },
       {"COMMAND 11 EN_SETFOCUS", "COMMAND 11 EN_KILLFOCUS", "COMMAND 20 BN_CLICKED"}},
      {"leaving moves the focus to the next tab stop",
       [](plat::ui::Screen& s) { return s.Type(10, u"") && s.Leave(); },
       {"COMMAND 10 EN_SETFOCUS", "COMMAND 10 EN_KILLFOCUS", "COMMAND 11 EN_SETFOCUS"}},
      {"Enter presses the default button without moving the focus",
       [](plat::ui::Screen& s) { return s.Type(11, u"") && s.Enter(); },
       {"COMMAND 11 EN_SETFOCUS", "COMMAND 1 BN_CLICKED"}},
      {"picking a combo item, even the current one",
       [](plat::ui::Screen& s) { return s.Choose(30, 0) && s.Choose(30, 0); },
       {"COMMAND 30 CBN_SETFOCUS", "COMMAND 30 CBN_DROPDOWN", "COMMAND 30 CBN_SELENDOK", "COMMAND 30 CBN_CLOSEUP",
        "COMMAND 30 CBN_SELCHANGE", "COMMAND 30 CBN_DROPDOWN", "COMMAND 30 CBN_SELENDOK", "COMMAND 30 CBN_CLOSEUP",
        "COMMAND 30 CBN_SELCHANGE"}},
      {"up-down clicks until the dialog refuses",
       [](plat::ui::Screen& s) { return s.Spin(12, 4); },
       {"UDN_DELTAPOS 0 1", "VSCROLL 4 1", "UDN_DELTAPOS 1 1", "VSCROLL 4 2", "UDN_DELTAPOS 2 1", "VSCROLL 4 3",
        "UDN_DELTAPOS 3 1"}},
      {"a trackbar slide",
       [](plat::ui::Screen& s) { return s.Slide(32, 40); },
       {"HSCROLL 4 40", "HSCROLL 8 0"}},
      {"an extended list selection",
       [](plat::ui::Screen& s) { return s.Select(31, {0, 2}); },
       {"COMMAND 31 LBN_SETFOCUS", "COMMAND 31 LBN_SELCHANGE"}},
      {"an address, then leaving",
       [](plat::ui::Screen& s) { return s.SetAddress(33, u"192.168..4") && s.Leave(); },
       {"COMMAND 33 EN_SETFOCUS", "COMMAND 33 EN_CHANGE", "COMMAND 33 EN_KILLFOCUS"}},
      {"radio buttons of a group",
       [](plat::ui::Screen& s) { return s.Click(21) && s.Click(22); },
       {"COMMAND 21 BN_CLICKED", "COMMAND 22 BN_CLICKED"}},
      {"mouse over a plain static or a group box goes to the dialog; a notifying static answers",
       [](plat::ui::Screen& s) { return s.ClickOn(42) && s.MouseMove(20, 150) && s.ClickOn(41); },
       {"LBUTTONDOWN 255,144", "MOUSEMOVE", "COMMAND 41 BN_CLICKED"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool acted = false;
    plat::ui::Screen* seen = nullptr;
    Run([&](plat::ui::Screen& s) {
      seen = &s;
      SendDlgItemMessageW(s.window(), 30, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"a"));
      for (const char16_t* t : {u"x", u"y", u"z"}) {
        SendDlgItemMessageW(s.window(), 31, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
      }
      SendDlgItemMessageW(s.window(), 12, UDM_SETRANGE32, 0, 10);
      log_.clear();
      acted = c.act(s);
      if (!acted) ADD_FAILURE() << s.LastError();
      Lines got = log_;
      EXPECT_EQ(got, c.expected);
      if (s.IsOpen()) {
        EXPECT_TRUE(s.Cancel());
      }
    });
    EXPECT_TRUE(acted);
    (void)seen;
  }
  EXPECT_TRUE(failures_.empty());
}

TEST_F(Windows, ControlsHoldWhatTheUserDid) {
  Run([&](plat::ui::Screen& s) {
    SendDlgItemMessageW(s.window(), 11, EM_LIMITTEXT, 3, 0);
    EXPECT_TRUE(s.Type(11, u"abcdef"));
    EXPECT_EQ(s.Text(11), u"abc") << "the limit applies to typing";
    SetDlgItemTextW(s.window(), 11, u"longer than three");
    EXPECT_EQ(s.Text(11), u"longer than three") << "but not to WM_SETTEXT";
    EXPECT_TRUE(s.Type(10, u"-12.5"));
    EXPECT_EQ(s.Text(10), u"125");
    EXPECT_TRUE(s.Check(20, true));
    EXPECT_EQ(s.Checked(20), static_cast<int>(BST_CHECKED));
    EXPECT_TRUE(s.Check(20, true));  // already so: no click
    EXPECT_TRUE(s.Click(21));
    EXPECT_TRUE(s.Click(23));
    EXPECT_TRUE(s.Click(22));
    EXPECT_EQ(s.Checked(21), static_cast<int>(BST_UNCHECKED));
    EXPECT_EQ(s.Checked(22), static_cast<int>(BST_CHECKED));
    EXPECT_EQ(s.Checked(23), static_cast<int>(BST_CHECKED)) << "another group";
    EXPECT_TRUE(s.SetAddress(33, u"10..3.4"));
    EXPECT_EQ(s.Text(33), u"10.0.3.4") << "a blank field reads as 0";
    DWORD address = 0;
    EXPECT_EQ(SendDlgItemMessageW(s.window(), 33, IPM_GETADDRESS, 0, reinterpret_cast<LPARAM>(&address)), 3);
    EXPECT_EQ(address, MAKEIPADDRESS(10, 0, 3, 4));
    EXPECT_FALSE(s.SetAddress(33, u"1.2.3.256"));

    // Disabled and hidden controls cannot be reached.
    EnableWindow(GetDlgItem(s.window(), 20), FALSE);
    EXPECT_FALSE(s.Click(20));
    EXPECT_NE(s.LastError().find("disabled"), std::string::npos);
    ShowWindow(GetDlgItem(s.window(), 11), SW_HIDE);
    EXPECT_FALSE(s.Type(11, u"x"));
    EXPECT_FALSE(s.Visible(11));
    EXPECT_FALSE(s.Click(999));
    EXPECT_FALSE(s.Choose(30, 5));

    // The class cursor shows unless the dialog sets one itself.
    HCURSOR hand = LoadCursorW(module_, MAKEINTRESOURCEW(400));
    ASSERT_NE(hand, nullptr);
    SetClassLongPtrW(s.window(), GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(hand));
    EXPECT_TRUE(s.MouseMove(5, 5));
    EXPECT_EQ(s.Cursor(), hand);
    SetClassLongPtrW(s.window(), GCLP_HCURSOR, 0);
    SetCursor(nullptr);
    DestroyCursor(hand);
    EXPECT_TRUE(s.Ok());
    EXPECT_FALSE(s.IsOpen());
    EXPECT_FALSE(s.Click(2)) << "a closed window takes no action";
  });
  EXPECT_TRUE(failures_.empty());
}

INT_PTR CALLBACK NestingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND) return FALSE;
  if (LOWORD(wParam) == 50) {
    HMODULE module = GetModuleHandleW(u"dialogs.res");
    const INT_PTR inner = DialogBoxParamW(module, MAKEINTRESOURCEW(100), dialog, LoggingProc, 0);
    const int answer = MessageBoxW(dialog, u"Keep it?", u"Question", MB_YESNO);
    g_log->push_back("inner " + std::to_string(inner) + " answer " + std::to_string(answer));
    return TRUE;
  }
  if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam) == IDOK ? 7 : 8);
  return TRUE;
}

TEST_F(Windows, ModalLoopsNestAndNeverWait) {
  // A button opens a dialog and a message box: the next handlers act on them in turn.
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_TRUE(s.Click(50));
    EXPECT_TRUE(s.Ok());
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.kind(), plat::ui::Screen::Kind::Dialog);
    EXPECT_FALSE(IsWindowEnabled(GetParent(s.window())));  // the owner waits
    EXPECT_TRUE(s.Click(IDOK));
  });
  plat::ui::QueueHandler([](plat::ui::Screen& s) {
    EXPECT_EQ(s.kind(), plat::ui::Screen::Kind::MessageBox);
    EXPECT_EQ(s.Text(plat::ui::kMessageBoxText), u"Keep it?");
    EXPECT_EQ(s.Caption(), u"Question");
    EXPECT_TRUE(s.Click(IDNO));
  });
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(100), nullptr, NestingProc, 0), 7);
  EXPECT_NE(std::find(log_.begin(), log_.end(), "inner 1 answer 7"), log_.end());
  ASSERT_EQ(plat::ui::MessageBoxLog().size(), 1u);
  EXPECT_EQ(plat::ui::MessageBoxLog()[0].answer, IDNO);
  EXPECT_TRUE(failures_.empty());

  // Without a handler, or left open, the loop ends with IDCANCEL and says so.
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(100), nullptr, NestingProc, 0), IDCANCEL);
  ASSERT_EQ(failures_.size(), 1u);
  EXPECT_NE(failures_[0].find("no handler for the dialog 100"), std::string::npos);
  plat::ui::QueueHandler([](plat::ui::Screen&) {});
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(100), nullptr, NestingProc, 0), IDCANCEL);
  ASSERT_EQ(failures_.size(), 2u);
  EXPECT_NE(failures_[1].find("left open"), std::string::npos);
  EXPECT_EQ(DialogBoxParamW(module_, MAKEINTRESOURCEW(998), nullptr, NestingProc, 0), -1);
}

// ---- property sheets ----

std::vector<std::string>* g_sheetLog = nullptr;
bool g_keepPageOne = false;
HANDLE g_pageHandles[2] = {};
PFNCOMPROPSHEET g_pfn = nullptr;
HANDLE g_hcps = nullptr;

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
    SetWindowLongPtrW(page, DWLP_USER, lParam);
    g_sheetLog->push_back("INITDIALOG " + std::to_string(record->lParam));
    return TRUE;
  }
  const auto* record = reinterpret_cast<const PROPSHEETPAGEW*>(GetWindowLongPtrW(page, DWLP_USER));
  const std::string n = record ? std::to_string(record->lParam) : "?";
  if (message == WM_COMMAND) {
    SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
    return TRUE;
  }
  if (message != WM_NOTIFY) return FALSE;
  switch (reinterpret_cast<NMHDR*>(lParam)->code) {
    case PSN_SETACTIVE: g_sheetLog->push_back("SETACTIVE " + n); return TRUE;
    case PSN_KILLACTIVE:
      g_sheetLog->push_back("KILLACTIVE " + n);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, g_keepPageOne && n == "1" ? TRUE : FALSE);
      return TRUE;
    case PSN_APPLY: {
      g_sheetLog->push_back("APPLY " + n);
      const LONG_PTR ok = g_pfn(g_hcps, CPSFUNC_SET_RESULT, reinterpret_cast<LPARAM>(g_pageHandles[n == "1" ? 0 : 1]),
                                CPSUI_OK);
      SetWindowLongPtrW(page, DWLP_MSGRESULT, ok ? PSNRET_NOERROR : PSNRET_INVALID);
      return TRUE;
    }
    case PSN_RESET: g_sheetLog->push_back("RESET " + n); return TRUE;
    default: return FALSE;
  }
}

HMODULE g_pageModule = nullptr;

LONG CALLBACK SheetCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      g_sheetLog->push_back("INIT");
      for (int i = 0; i < 2; ++i) {
        PROPSHEETPAGEW page{};
        page.dwSize = PROPSHEETPAGEW_V2_SIZE;
        page.hInstance = g_pageModule;
        page.pszTemplate = MAKEINTRESOURCEW(static_cast<UINT>(101 + i));
        page.pfnDlgProc = PageProc;
        page.lParam = i + 1;
        HPROPSHEETPAGE h = CreatePropertySheetPageW(&page);
        g_pageHandles[i] = reinterpret_cast<HANDLE>(
            info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(h), 0));
      }
      g_pfn = info->pfnComPropSheet;
      g_hcps = info->hComPropSheet;
      info->UserData = 99;
      return 1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: return 1;
    case PROPSHEETUI_REASON_SET_RESULT: {
      const auto* sri = reinterpret_cast<const SETRESULT_INFO*>(lParam);
      g_sheetLog->push_back("SET_RESULT " + std::to_string(sri->Result));
      info->Result = static_cast<ULONG_PTR>(sri->Result);
      return 1;
    }
    case PROPSHEETUI_REASON_DESTROY:
      g_sheetLog->push_back("DESTROY " + std::to_string(plat::LiveWindowCount()));
      return 1;
    default: return -1;
  }
}

TEST_F(Windows, SheetsFollowThePageProtocol) {
  g_sheetLog = &log_;
  g_pageModule = module_;
  struct Case {
    const char* name;
    bool keepPageOne;
    std::function<void(plat::ui::Screen&)> act;
    LONG result;
    Lines expected;
  };
  const std::string idle = "DESTROY " + std::to_string(windowsBefore_);
  const Case cases[] = {
      {"OK on the first page", false, [](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); }, CPSUI_OK,
       {"INIT", "INITDIALOG 1", "SETACTIVE 1", "KILLACTIVE 1", "APPLY 1", "SET_RESULT 1", idle}},
      {"a tab change, then OK applies both pages in tab order", false,
       [](plat::ui::Screen& s) {
         EXPECT_EQ(s.TabCount(), 2);
         EXPECT_EQ(s.TabTemplate(1), 102);
         EXPECT_EQ(s.TabTemplate(2), -1);
         EXPECT_TRUE(s.Tab(1));
         EXPECT_TRUE(s.Tab(0));
         EXPECT_TRUE(s.Tab(1));
         EXPECT_TRUE(s.Ok());
       },
       CPSUI_OK,
       {"INIT", "INITDIALOG 1", "SETACTIVE 1", "KILLACTIVE 1", "INITDIALOG 2", "SETACTIVE 2", "KILLACTIVE 2",
        "SETACTIVE 1", "KILLACTIVE 1", "SETACTIVE 2", "KILLACTIVE 2", "APPLY 1", "SET_RESULT 1", "APPLY 2",
        "SET_RESULT 1", idle}},
      {"a page that keeps the focus", true,
       [](plat::ui::Screen& s) {
         EXPECT_FALSE(s.Tab(1));
         EXPECT_EQ(s.CurrentTab(), 0);
         EXPECT_TRUE(s.Cancel());
       },
       CPSUI_CANCEL, {"INIT", "INITDIALOG 1", "SETACTIVE 1", "KILLACTIVE 1", "RESET 1", "SET_RESULT 0", idle}},
      {"Apply only after a change, without closing", false,
       [](plat::ui::Screen& s) {
         EXPECT_FALSE(s.Apply());
         EXPECT_TRUE(s.Tab(1));
         EXPECT_TRUE(s.Click(20));
         EXPECT_TRUE(s.Apply());
         EXPECT_TRUE(s.IsOpen());
         EXPECT_FALSE(s.Enabled(kApplyButton));
         EXPECT_TRUE(s.Close());
       },
       CPSUI_CANCEL,
       {"INIT", "INITDIALOG 1", "SETACTIVE 1", "KILLACTIVE 1", "INITDIALOG 2", "SETACTIVE 2", "KILLACTIVE 2",
        "APPLY 1", "SET_RESULT 1", "APPLY 2", "SET_RESULT 1", "RESET 1", "RESET 2", "SET_RESULT 0", idle}},
      {"a sheet left open is cancelled", false, [](plat::ui::Screen&) {}, CPSUI_CANCEL,
       {"INIT", "INITDIALOG 1", "SETACTIVE 1", "RESET 1", "SET_RESULT 0", idle}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    g_keepPageOne = c.keepPageOne;
    plat::ui::QueueHandler(c.act);
    DWORD result = 77;
    EXPECT_EQ(CommonPropertySheetUIW(nullptr, SheetCallback, 0, &result), c.result);
    EXPECT_EQ(result, static_cast<DWORD>(c.result));
    EXPECT_EQ(log_, c.expected);
    EXPECT_EQ(plat::LiveSheetCount(), 0u);
  }
  ASSERT_EQ(failures_.size(), 1u) << "only the sheet left open";
  g_sheetLog = nullptr;
}

// A child PFNPROPSHEETUI (as a core driver adds its plug-in's): its own
// handle and info record, its pages in the same sheet, the result first to
// the child its page set it through, and DESTROY before the parent's.
LONG CALLBACK ChildCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      g_sheetLog->push_back("child INIT " + std::to_string(info->lParamInit) + " " + std::to_string(lParam));
      PROPSHEETPAGEW page{};
      page.dwSize = PROPSHEETPAGEW_V4_SIZE;
      page.hInstance = g_pageModule;
      page.pszTemplate = MAKEINTRESOURCEW(101);
      page.pfnDlgProc = PageProc;
      page.lParam = 1;
      g_pageHandles[0] = reinterpret_cast<HANDLE>(info->pfnComPropSheet(
          info->hComPropSheet, CPSFUNC_ADD_HPROPSHEETPAGE, reinterpret_cast<LPARAM>(CreatePropertySheetPageW(&page)), 0));
      g_pfn = info->pfnComPropSheet;
      g_hcps = info->hComPropSheet;
      return 1;
    }
    case PROPSHEETUI_REASON_SET_RESULT:
      g_sheetLog->push_back("child SET_RESULT " +
                            std::to_string(reinterpret_cast<const SETRESULT_INFO*>(lParam)->Result));
      return 1;
    case PROPSHEETUI_REASON_DESTROY: g_sheetLog->push_back("child DESTROY"); return 1;
    default: return -1;
  }
}

LONG CALLBACK RefusingChild(PROPSHEETUI_INFO* info, LPARAM) {
  g_sheetLog->push_back("refusing child " + std::to_string(info->Reason));
  return -1;
}

LONG CALLBACK ParentCallback(PROPSHEETUI_INFO* info, LPARAM lParam) {
  switch (info->Reason) {
    case PROPSHEETUI_REASON_INIT: {
      const LONG_PTR refused = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                                     reinterpret_cast<LPARAM>(&RefusingChild), 5);
      const LONG_PTR child = info->pfnComPropSheet(info->hComPropSheet, CPSFUNC_ADD_PFNPROPSHEETUIW,
                                                   reinterpret_cast<LPARAM>(&ChildCallback), 7);
      g_sheetLog->push_back(std::string("parent INIT ") + (refused == 0 ? "refused " : "? ") +
                            (child != 0 && reinterpret_cast<HANDLE>(child) != info->hComPropSheet ? "added" : "?"));
      return 1;
    }
    case PROPSHEETUI_REASON_GET_INFO_HEADER: return 1;
    case PROPSHEETUI_REASON_SET_RESULT:
      g_sheetLog->push_back("parent SET_RESULT " +
                            std::to_string(reinterpret_cast<const SETRESULT_INFO*>(lParam)->Result));
      return 1;
    case PROPSHEETUI_REASON_DESTROY: g_sheetLog->push_back("parent DESTROY"); return 1;
    default: return -1;
  }
}

TEST_F(Windows, ChildSheetCallbacksComeBeforeTheirParent) {
  g_sheetLog = &log_;
  g_pageModule = module_;
  g_keepPageOne = false;
  struct Case {
    const char* name;
    std::function<void(plat::ui::Screen&)> act;
    LONG result;
    Lines expected;
  };
  const Case cases[] = {
      {"OK", [](plat::ui::Screen& s) { EXPECT_TRUE(s.Ok()); }, CPSUI_OK,
       {"refusing child 0", "child INIT 7 7", "parent INIT refused added", "INITDIALOG 1", "SETACTIVE 1",
        "KILLACTIVE 1", "APPLY 1", "child SET_RESULT 1", "parent SET_RESULT 1", "child DESTROY", "parent DESTROY"}},
      {"Cancel", [](plat::ui::Screen& s) { EXPECT_TRUE(s.Cancel()); }, CPSUI_CANCEL,
       {"refusing child 0", "child INIT 7 7", "parent INIT refused added", "INITDIALOG 1", "SETACTIVE 1", "RESET 1",
        "child SET_RESULT 0", "parent SET_RESULT 0", "child DESTROY", "parent DESTROY"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    plat::ui::QueueHandler(c.act);
    DWORD result = 77;
    EXPECT_EQ(CommonPropertySheetUIW(nullptr, ParentCallback, 0, &result), c.result);
    EXPECT_EQ(log_, c.expected);
    EXPECT_EQ(plat::LiveSheetCount(), 0u);
  }
  g_sheetLog = nullptr;
}

TEST_F(Windows, ImagesComeFromTheResourceModule) {
  const std::size_t before = plat::LiveImageCount();
  HANDLE bitmap = LoadImageW(module_, MAKEINTRESOURCEW(400), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
  ASSERT_NE(bitmap, nullptr);
  BITMAP bm{};
  ASSERT_EQ(GetObjectW(bitmap, sizeof bm, &bm), static_cast<int>(sizeof bm));
  EXPECT_EQ(bm.bmWidth, 5);
  EXPECT_EQ(bm.bmHeight, 3);
  EXPECT_EQ(bm.bmBitsPixel, 24);
  EXPECT_EQ(bm.bmWidthBytes, 16);
  EXPECT_EQ(static_cast<const BYTE*>(bm.bmBits)[2], 255) << "red, stored blue green red";
  HICON icon = LoadIconW(module_, MAKEINTRESOURCEW(500));
  SIZE size{};
  POINT hot{};
  ASSERT_TRUE(plat::ImageInfo(icon, &size));
  EXPECT_EQ(size.cx, 32);
  HCURSOR cursor = LoadCursorW(module_, MAKEINTRESOURCEW(400));
  ASSERT_TRUE(plat::ImageInfo(cursor, &size, &hot));
  EXPECT_EQ(hot.x, 7);
  EXPECT_EQ(hot.y, 2);
  EXPECT_EQ(LoadIconW(module_, MAKEINTRESOURCEW(501)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_FALSE(DestroyIcon(cursor)) << "a cursor is not an icon";
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DestroyIcon(icon));
  EXPECT_TRUE(DestroyCursor(cursor));
  EXPECT_EQ(plat::LiveImageCount(), before);

  const std::string data = std::string(TEST_DATA_DIR_STR) + "/platform/";
  EXPECT_EQ(plat::resources::CheckResourceFile(kDialogs), "");
  EXPECT_EQ(plat::resources::CheckResourceFile(data + "bad_dialog.res"), "line 3: unknown control class");
  EXPECT_NE(plat::resources::CheckResourceFile(data + "missing_image.res").find("missing file"), std::string::npos);
}

// An image line is a name inside the module's folder; whatever else it
// names gives a NULL handle and a reason, never an exception or a read of a
// device or of a file past the size limit.
TEST(ModuleImages, NamesResolveInsideTheModulesFolderOnly) {
  testsupport::TempFolder top("module-images");
  const std::filesystem::path folder = top / "module";
  std::filesystem::create_directories(folder / "art" / "sub");
  const std::string picture = std::string(TEST_DATA_DIR_STR) + "/platform/picture.bmp";
  std::filesystem::copy_file(picture, folder / "art" / "inside.bmp");
  std::filesystem::copy_file(picture, top / "outside.bmp");
  std::filesystem::create_symlink(top / "outside.bmp", folder / "art" / "link.bmp");
  std::ofstream(folder / "huge.bmp").put('B');
  std::filesystem::resize_file(folder / "huge.bmp", std::uintmax_t{40} << 20);  // sparse, past the limit
  struct Case {
    UINT id;
    std::string name;
    DWORD error;  // 0: loads
  } cases[] = {
      {1, "art/inside.bmp", 0},
      {2, "art/sub", ERROR_BAD_FORMAT},
      {3, "art", ERROR_BAD_FORMAT},
      {4, "/dev/zero", ERROR_ACCESS_DENIED},
      {5, "../outside.bmp", ERROR_ACCESS_DENIED},
      {6, top.str() + "/outside.bmp", ERROR_ACCESS_DENIED},
      {7, "art/link.bmp", ERROR_ACCESS_DENIED},
      {8, std::string("\0art/inside.bmp", 15), ERROR_FILE_NOT_FOUND},
      {9, "huge.bmp", ERROR_BAD_FORMAT},
      {10, "art/missing.bmp", ERROR_FILE_NOT_FOUND},
  };
  {
    std::ofstream text(folder / "images.res", std::ios::binary);
    text << "RESOURCES 1\n[BITMAP]\n";
    for (const Case& c : cases) text << c.id << '\t' << c.name << '\n';
  }
  HMODULE module = LoadLibraryW(plat::u16((folder / "images.res").string()).c_str());
  ASSERT_NE(module, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    SetLastError(0);
    HANDLE image = LoadImageW(module, MAKEINTRESOURCEW(c.id), IMAGE_BITMAP, 0, 0, 0);
    if (c.error == 0) {
      EXPECT_NE(image, nullptr);
      EXPECT_TRUE(DeleteObject(image));
    } else {
      EXPECT_EQ(image, nullptr);
      EXPECT_EQ(GetLastError(), c.error);
    }
  }
  FreeLibrary(module);
}

TEST(ProcessImage, TestsSetThePathOfTheProgram) {
  plat::SetProcessImagePath(u"C:\\WINDOWS\\explorer.exe");
  WCHAR path[64];
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 64), 23u);
  EXPECT_EQ(std::u16string(path), u"C:\\WINDOWS\\explorer.exe");
  EXPECT_EQ(GetModuleFileNameW(nullptr, path, 4), 3u);
  EXPECT_EQ(std::u16string(path), u"C:\\");
  plat::SetProcessImagePath(u"C:\\Program Files\\app.exe");
}

}  // namespace
