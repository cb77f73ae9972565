#include "plat/dialog.h"

#include <gtest/gtest.h>

#include "plat/ui.h"

#include <string>
#include <vector>

namespace {

constexpr int kCombo = 100;
constexpr int kButton = 101;
constexpr int kLabel = 102;

std::u16string ItemText(HWND combo, int index) {
  const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length < 0) return u"<err>";
  std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::u16string WindowText(HWND window) {
  WCHAR buffer[64];
  GetWindowTextW(window, buffer, 64);
  return buffer;
}

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windowsBefore_ = plat::LiveWindowCount();
    dialog_ = plat::CreateHeadlessDialog({{kCombo, plat::ControlKind::ComboBox, u""},
                                          {kButton, plat::ControlKind::Button, u"OK"},
                                          {kLabel, plat::ControlKind::Static, u"label"}});
    combo_ = GetDlgItem(dialog_, kCombo);
  }
  void TearDown() override {
    if (IsWindow(dialog_)) DestroyWindow(dialog_);
    EXPECT_EQ(plat::LiveWindowCount(), windowsBefore_);
  }
  void Add(std::initializer_list<const char16_t*> texts) {
    for (const char16_t* t : texts) SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  }

  std::size_t windowsBefore_ = 0;
  HWND dialog_ = nullptr;
  HWND combo_ = nullptr;
};

TEST_F(DialogTest, ItemsAreFoundByIdAndAnswerThroughTheDialog) {
  ASSERT_NE(combo_, nullptr);
  EXPECT_EQ(GetDlgCtrlID(combo_), kCombo);
  EXPECT_EQ(GetParent(combo_), dialog_);
  EXPECT_EQ(GetDlgItem(dialog_, 999), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_CONTROL_ID_NOT_FOUND);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, 999, CB_GETCOUNT, 0, 0), 0);

  EXPECT_TRUE(SetDlgItemTextW(dialog_, kLabel, u"E: USBSTICK"));
  WCHAR buffer[6];
  EXPECT_EQ(GetDlgItemTextW(dialog_, kLabel, buffer, 6), 5u);  // cut to the buffer, terminated
  EXPECT_EQ(std::u16string(buffer), u"E: US");
  EXPECT_EQ(GetWindowTextLengthW(GetDlgItem(dialog_, kLabel)), 11);
}

TEST_F(DialogTest, ComboKeepsItemsInOrderAndTracksTheSelection) {
  Add({u"E:\\", u"G:\\", u"H:\\"});
  EXPECT_EQ(SendMessageW(combo_, CB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(ItemText(combo_, 1), u"G:\\");
  EXPECT_EQ(SendMessageW(combo_, CB_GETLBTEXTLEN, 3, 0), CB_ERR);

  EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(WindowText(combo_), u"H:\\");
  // Inserting before the selection moves it with its item; deleting it clears it.
  SendMessageW(combo_, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"D:\\"));
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(SendMessageW(combo_, CB_DELETESTRING, 3, 0), 3);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR);
  EXPECT_EQ(WindowText(combo_), u"");

  // A choice outside the list clears the selection.
  SendMessageW(combo_, CB_SETCURSEL, 0, 0);
  EXPECT_EQ(SendMessageW(combo_, CB_SETCURSEL, 7, 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR);

  SendMessageW(combo_, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(SendMessageW(combo_, CB_RESETCONTENT, 0, 0), CB_OKAY);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), CB_ERR);
}

TEST_F(DialogTest, FindSearchesWithoutCaseFromAfterTheStartRoundTheList) {
  Add({u"1_FOLDER", u"Reports", u"reports", u"Rep"});
  struct Case {
    UINT message;
    int start;
    const char16_t* text;
    LRESULT expected;
  };
  const Case cases[] = {
      {CB_FINDSTRINGEXACT, -1, u"REPORTS", 1},
      {CB_FINDSTRINGEXACT, 1, u"REPORTS", 2},   // starts after item 1
      {CB_FINDSTRINGEXACT, 2, u"reports", 1},   // wraps round
      {CB_FINDSTRINGEXACT, -1, u"Repo", CB_ERR},
      {CB_FINDSTRINGEXACT, 40, u"rep", 3},      // a start outside the list searches it all
      {CB_FINDSTRING, -1, u"rep", 1},           // prefix
      {CB_FINDSTRING, 3, u"1_", 0},
      {CB_FINDSTRING, -1, u"X", CB_ERR},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SendMessageW(combo_, c.message, static_cast<WPARAM>(c.start), reinterpret_cast<LPARAM>(c.text)),
              c.expected)
        << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)) << " from " << c.start;
  }
  EXPECT_EQ(SendMessageW(combo_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), 0), CB_ERR);
  EXPECT_EQ(SendMessageW(combo_, CB_SELECTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"rep")), 1);
  EXPECT_EQ(SendMessageW(combo_, CB_GETCURSEL, 0, 0), 1);
}

TEST_F(DialogTest, EnableWindowReportsThePreviousState) {
  HWND button = GetDlgItem(dialog_, kButton);
  EXPECT_TRUE(IsWindowEnabled(button));
  EXPECT_FALSE(EnableWindow(button, FALSE));  // was enabled
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_TRUE(EnableWindow(button, TRUE));  // was disabled
  EXPECT_TRUE(IsWindowEnabled(button));
}

struct Seen {
  std::vector<std::pair<UINT, WPARAM>> messages;
  LPARAM initParam = 0;
};
Seen* g_seen = nullptr;

INT_PTR CALLBACK RecordingProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) g_seen->initParam = lParam;
  g_seen->messages.push_back({message, wParam});
  return TRUE;
}

TEST(DialogUser, ActsOnlyOnEnabledControlsAndNotifiesTheDialog) {
  Seen seen;
  g_seen = &seen;
  HWND dialog = plat::CreateHeadlessDialog(
      {{kCombo, plat::ControlKind::ComboBox, u""}, {kButton, plat::ControlKind::Button, u"OK", false}}, RecordingProc,
      42);
  ASSERT_EQ(seen.messages.size(), 1u);
  EXPECT_EQ(seen.messages[0].first, WM_INITDIALOG);
  EXPECT_EQ(seen.initParam, 42);

  HWND combo = GetDlgItem(dialog, kCombo);
  HWND button = GetDlgItem(dialog, kButton);
  SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"E:\\"));
  EXPECT_FALSE(plat::UserSelectComboItem(combo, 1));  // no such item
  EXPECT_FALSE(plat::UserClickButton(button));        // disabled
  EXPECT_TRUE(plat::UserSelectComboItem(combo, 0));
  EnableWindow(button, TRUE);
  EXPECT_TRUE(plat::UserClickButton(button));
  EnableWindow(dialog, FALSE);
  EXPECT_FALSE(plat::UserClickButton(button));  // the whole dialog is disabled

  ASSERT_EQ(seen.messages.size(), 3u);
  EXPECT_EQ(seen.messages[1].first, WM_COMMAND);
  EXPECT_EQ(seen.messages[1].second, MAKELONG(kCombo, CBN_SELCHANGE));
  EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(seen.messages[2].second, MAKELONG(kButton, BN_CLICKED));

  EXPECT_TRUE(DestroyWindow(dialog));
  EXPECT_FALSE(IsWindow(combo));
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);  // a stale handle answers nothing
  g_seen = nullptr;
}

TEST(DialogUser, DeviceChangesReachEveryOpenDialogButNotAClosedOne) {
  Seen seen;
  g_seen = &seen;
  HWND first = plat::CreateHeadlessDialog({{kButton, plat::ControlKind::Button, u"OK"}}, RecordingProc);
  HWND second = plat::CreateHeadlessDialog({{kButton, plat::ControlKind::Button, u"OK"}}, RecordingProc);
  HWND closed = plat::CreateHeadlessDialog({{kButton, plat::ControlKind::Button, u"OK"}}, RecordingProc);
  EndDialog(closed, IDOK);
  seen.messages.clear();
  plat::ui::BroadcastDeviceChange(DBT_DEVICEARRIVAL);
  plat::ui::BroadcastDeviceChange(DBT_DEVICEREMOVECOMPLETE);
  ASSERT_EQ(seen.messages.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(seen.messages[i].first, WM_DEVICECHANGE);
    EXPECT_EQ(static_cast<WPARAM>(seen.messages[i].second), i < 2 ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE);
  }
  for (HWND d : {first, second, closed}) DestroyWindow(d);
  g_seen = nullptr;
}

}  // namespace
