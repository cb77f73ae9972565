// The dialog-control kit: fixed-point fields, the character filter, combo and
// list helpers.
#include "sheets/control_kit.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "plat/dialog.h"
#include "plat/strings.h"

namespace {

constexpr int kEdit = 10, kSpin = 11, kCombo = 12, kCheck = 13, kList = 14, kAdd = 15;

class Kit : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog_ = plat::CreateHeadlessDialog({{kEdit, plat::ControlKind::Edit, u""},
                                          {kSpin, plat::ControlKind::UpDown, u""},
                                          {kCombo, plat::ControlKind::ComboBox, u""},
                                          {kCheck, plat::ControlKind::Button, u"", true, BS_AUTO3STATE},
                                          {kList, plat::ControlKind::ListBox, u""},
                                          {kAdd, plat::ControlKind::Button, u"Add"}});
  }
  void TearDown() override { DestroyWindow(dialog_); }
  std::u16string EditText() {
    WCHAR text[128] = {};
    GetDlgItemTextW(dialog_, kEdit, text, 128);
    return text;
  }
  HWND dialog_ = nullptr;
};

TEST_F(Kit, FixedPointFieldsReadTheirValidPrefixSaturateAndRewrite) {
  struct Case {
    const char16_t* text;
    int digits;
    std::int32_t low, high;
    std::int32_t value;
    int rewrite;
    const char16_t* shown;  // after SetFixedPointEdit
  };
  const Case cases[] = {
      {u"1.50", 2, -100000, 100000, 150, 0, u"1.50"},
      {u"1.5", 2, -100000, 100000, 150, 1, u"1.50"},
      {u"1.567", 2, -100000, 100000, 156, 1, u"1.56"},
      {u"-0.5", 2, -100000, 100000, -50, 1, u"-0.50"},
      {u"12", 2, -100000, 100000, 1200, 1, u"12.00"},
      {u".5", 2, -100000, 100000, 50, 1, u"0.50"},
      {u"3.", 2, -100000, 100000, 300, 1, u"3.00"},
      {u"250", 0, 0, 200, 200, 1, u"200"},  // clamped to the nearer bound
      {u"-7", 0, 0, 200, 0, 1, u"0"},
      {u"42", 0, 0, 200, 42, 0, u"42"},
      {u"", 0, 0, 200, 0, 1, u"0"},
      {u"-", 0, -5, 200, 0, 1, u"0"},
      {u"5-", 0, 0, 200, 5, 1, u"5"},
      {u"12ab", 0, 0, 200, 12, 1, u"12"},
      {u"1.2.3", 1, 0, 200, 12, 1, u"1.2"},
      {u"999999999999999999999999999999999999999999999999999999999999999", 0, INT_MIN, INT_MAX, INT_MAX, 1,
       u"2147483647"},
      {u"-999999999999999999999999999999999999999999999999999999999999999", 2, INT_MIN, INT_MAX, INT_MIN, 1,
       u"-21474836.48"},
      {u"-2147483648", 0, INT_MIN, INT_MAX, INT_MIN, 0, u"-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(plat::utf8(c.text));
    SetSpinRange(dialog_, kSpin, c.low, c.high);
    SetDlgItemTextW(dialog_, kEdit, c.text);
    std::int32_t value = 12345;
    EXPECT_EQ(ParseFixedPointEdit(dialog_, kEdit, kSpin, c.digits, &value), c.rewrite);
    EXPECT_EQ(value, c.value);
    SetFixedPointEdit(dialog_, kEdit, kSpin, c.digits, value);
    EXPECT_EQ(EditText(), c.shown);
    EXPECT_EQ(SendDlgItemMessageW(dialog_, kSpin, UDM_GETPOS32, 0, 0), value);
  }
  const SpinRange range = GetSpinRange(dialog_, kSpin);
  EXPECT_EQ(range.Minimum, INT_MIN);

  WCHAR small[6];
  FormatFixedPoint(-50, 2, small, 6);
  EXPECT_EQ(std::u16string(small), u"-0.50");
  FormatFixedPoint(INT_MIN, 9, small, 6);
  EXPECT_EQ(std::u16string(small), u"-2.14") << "cut to the buffer";
  WCHAR wide[32];
  FormatFixedPoint(7, 9, wide, 32);
  EXPECT_EQ(std::u16string(wide), u"0.000000007");
}

TEST_F(Kit, ClampAndTrim) {
  std::int32_t v = 5;
  EXPECT_EQ(ClampToRange(&v, 0, 10), 0);
  v = -1;
  EXPECT_EQ(ClampToRange(&v, 0, 10), 1);
  EXPECT_EQ(v, 0);
  v = 11;
  EXPECT_EQ(ClampToRange(&v, 0, 10), 1);
  EXPECT_EQ(v, 10);
  struct Trim {
    const char16_t* in;
    const char16_t* out;
  };
  for (const Trim& t : {Trim{u"   ", u""}, Trim{u"  a b  ", u"a b"}, Trim{u"\tx ", u"\tx"}, Trim{u"", u""}}) {
    std::u16string text = t.in;
    EXPECT_EQ(std::u16string(TrimSpaces(text.data())), t.out);
  }
}

TEST_F(Kit, CharacterFilterKeepsWhatTheFieldTakes) {
  struct Case {
    const char16_t* typed;
    int flags;
    const char16_t* kept;
  };
  const Case cases[] = {
      {u"12a3", kFilterDigits, u"123"},
      {u"1.2.3", kFilterDigits | kFilterPoint, u"1.23"},
      {u"-1-2", kFilterDigits | kFilterMinus, u"-12"},
      {u"5-", kFilterDigits | kFilterMinus, u"5-"},  // one minus, anywhere
      {u"a/b:c*d?e", kFilterName, u"abcde"},
      {u"Report 2026", kFilterName, u"Report 2026"},
      {u"\"[]+|<>=;,\\", kFilterName, u""},
  };
  for (const Case& c : cases) {
    SetDlgItemTextW(dialog_, kEdit, c.typed);
    const int length = static_cast<int>(std::u16string_view(c.typed).size());
    SendDlgItemMessageW(dialog_, kEdit, EM_SETSEL, static_cast<WPARAM>(length), length);
    EXPECT_EQ(EditCharFilter(dialog_, kEdit, c.flags), 1);
    EXPECT_EQ(EditText(), c.kept) << plat::utf8(c.typed);
    if (EditText() != c.typed) {
      DWORD start = 0;
      SendDlgItemMessageW(dialog_, kEdit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
      EXPECT_EQ(static_cast<int>(start), std::min(length - 1, static_cast<int>(EditText().size())))
          << "the caret goes back one place";
    }
  }
}

TEST_F(Kit, ComboCheckAndListHelpers) {
  SendDlgItemMessageW(dialog_, kCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(u"Tray 2"));
  WCHAR buffer[8];
  EXPECT_EQ(GetComboSelText(dialog_, kCombo, buffer, 8), 0) << "nothing selected";
  SetComboSel(dialog_, kCombo, 0);
  EXPECT_EQ(GetComboSel(dialog_, kCombo), 0);
  EXPECT_EQ(GetComboSelText(dialog_, kCombo, buffer, 7), 7) << "exactly one more than the text";
  EXPECT_EQ(std::u16string(buffer), u"Tray 2");
  EXPECT_EQ(GetComboSelText(dialog_, kCombo, buffer, 6), 0);
  SetComboItemData(dialog_, kCombo, 0, 77);
  EXPECT_EQ(GetComboItemData(dialog_, kCombo, 0), 77);

  SetCheck(dialog_, kCheck, 5);
  EXPECT_TRUE(IsChecked(dialog_, kCheck));
  SendDlgItemMessageW(dialog_, kCheck, BM_SETCHECK, BST_INDETERMINATE, 0);
  EXPECT_FALSE(IsChecked(dialog_, kCheck));

  for (const char16_t* t : {u"one", u"two", u"three"}) {
    SendDlgItemMessageW(dialog_, kList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(t));
  }
  WCHAR moved[16];
  MoveListItem(dialog_, kList, 0, 2, moved, 16);
  WCHAR item[16];
  SendDlgItemMessageW(dialog_, kList, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(item));
  EXPECT_EQ(std::u16string(item), u"one");
  EXPECT_EQ(SendDlgItemMessageW(dialog_, kList, LB_GETCURSEL, 0, 0), 2);

  // The add button: text in the edit and room in the list.
  SetDlgItemTextW(dialog_, kEdit, u"");
  UpdateAddButton(dialog_, 5, kAdd, kEdit, kList);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog_, kAdd)));
  SetDlgItemTextW(dialog_, kEdit, u"four");
  UpdateAddButton(dialog_, 5, kAdd, kEdit, kList);
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog_, kAdd)));
  UpdateAddButton(dialog_, 3, kAdd, kEdit, kList);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog_, kAdd)));

  SetDlgItemTextW(dialog_, kEdit, u"%s to %s");
  FormatItemText(dialog_, kEdit, 2, u"1", u"9");
  EXPECT_EQ(EditText(), u"1 to 9");
  WCHAR cut[5];
  FormatWithInserts(cut, 5, u"100%% %s", 1, u"x", nullptr);
  EXPECT_EQ(std::u16string(cut), u"100%");

  HideItem(dialog_, kCheck);
  EXPECT_FALSE(IsWindowVisible(GetDlgItem(dialog_, kCheck)));
  ShowItem(dialog_, kCheck);
  DisableItem(dialog_, kCheck);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog_, kCheck)));
  EnableItem(dialog_, kCheck);
  EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog_, kCheck)) && IsWindowEnabled(GetDlgItem(dialog_, kCheck)));
  ResizeItem(dialog_, kCheck, 40, 12);
  RECT r{};
  GetWindowRect(GetDlgItem(dialog_, kCheck), &r);
  EXPECT_EQ(r.right - r.left, 40);
}

}  // namespace
