#include "plat/ui.h"

#include <gtest/gtest.h>

#include "plat/machine.h"
#include "plat/msgqueue.h"

namespace {

class MessageBoxes : public ::testing::Test {
 protected:
  void SetUp() override { plat::ui::ResetMessageBoxes(); }
};

TEST_F(MessageBoxes, UnscriptedBoxesTakeTheDefaultButton) {
  struct Case {
    UINT type;
    int answer;
  };
  const Case cases[] = {
      {MB_OK | MB_ICONWARNING, IDOK},
      {MB_OKCANCEL, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
      {MB_YESNO | MB_ICONWARNING, IDYES},
      {MB_YESNO | MB_DEFBUTTON2, IDNO},
      {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
      {MB_ABORTRETRYIGNORE, IDABORT},
      {MB_RETRYCANCEL, IDRETRY},
      {MB_CANCELTRYCONTINUE | MB_DEFBUTTON3, IDCONTINUE},
      {MB_YESNO | MB_DEFMASK, IDYES},  // no fourth button: the first
  };
  for (const auto& c : cases) EXPECT_EQ(MessageBoxW(nullptr, u"t", u"c", c.type), c.answer) << c.type;
}

TEST_F(MessageBoxes, ScriptedAnswersComeFirstInFirstOut) {
  plat::ui::QueueMessageBoxAnswer(IDNO);
  plat::ui::QueueMessageBoxAnswer(IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"a", u"c", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"b", u"c", MB_OK), IDCANCEL);
  EXPECT_EQ(MessageBoxW(nullptr, u"c", u"c", MB_YESNO), IDYES);
  plat::ui::QueueMessageBoxAnswer(IDNO);
  plat::ui::ResetMessageBoxes();
  EXPECT_EQ(MessageBoxW(nullptr, u"d", u"c", MB_YESNO), IDYES) << "a reset drops queued answers";
}

TEST_F(MessageBoxes, EveryCallIsLogged) {
  HWND owner = reinterpret_cast<HWND>(0x42);
  plat::ui::QueueMessageBoxAnswer(IDNO);
  MessageBoxW(owner, u"Create the job folders on drive E:?", u"Warning", MB_YESNO | MB_ICONWARNING);
  MessageBoxW(nullptr, nullptr, nullptr, MB_OK);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].owner, owner);
  EXPECT_EQ(log[0].text, u"Create the job folders on drive E:?");
  EXPECT_EQ(log[0].caption, u"Warning");
  EXPECT_EQ(log[0].type, MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(log[0].answer, IDNO);
  EXPECT_EQ(log[1].text, u"");
  EXPECT_EQ(log[1].caption, u"Error");
  EXPECT_EQ(log[1].answer, IDOK);
}

// A message for the console session reaches the scripted user as a box
// without owner; the lengths are bytes and the texts end at their first zero.
TEST_F(MessageBoxes, ConsoleSessionMessagesAreBoxesWithoutOwner) {
  const DWORD session = WTSGetActiveConsoleSessionId();
  WCHAR title[128] = u"Caption";
  WCHAR text[512] = u"Job failed";
  plat::ui::QueueMessageBoxAnswer(IDNO);
  DWORD response = 0;
  ASSERT_TRUE(WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, title, sizeof title, text, sizeof text,
                              MB_YESNO | MB_ICONWARNING, 0, &response, TRUE));
  EXPECT_EQ(response, static_cast<DWORD>(IDNO));
  // A length shorter than the text cuts it; no wait answers IDASYNC.
  ASSERT_TRUE(WTSSendMessageW(WTS_CURRENT_SERVER_HANDLE, session, title, 6, text, 6, MB_OK, 0, &response, FALSE));
  EXPECT_EQ(response, IDASYNC);
  const auto log = plat::ui::MessageBoxLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].owner, nullptr);
  EXPECT_EQ(log[0].text, u"Job failed");
  EXPECT_EQ(log[0].caption, u"Caption");
  EXPECT_EQ(log[0].type, MB_YESNO | MB_ICONWARNING);
  EXPECT_EQ(log[1].text, u"Job");
  EXPECT_EQ(log[1].caption, u"Cap");

  struct Case {
    const char* what;
    DWORD session;
    DWORD textLength;
    bool withResponse;
  };
  const Case refused[] = {{"another session", session + 1, sizeof text, true},
                          {"an odd length", session, 7, true},
                          {"no response", session, sizeof text, false}};
  for (const Case& c : refused) {
    SetLastError(0);
    EXPECT_FALSE(WTSSendMessageW(nullptr, c.session, title, sizeof title, text, c.textLength, MB_OK, 0,
                                 c.withResponse ? &response : nullptr, TRUE))
        << c.what;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
  }
  EXPECT_EQ(plat::ui::MessageBoxLog().size(), 2u) << "a refused message shows nothing";
}

}  // namespace

namespace {

class ScriptText : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::ui::ResetMessageBoxes();
    plat::ui::ResetScript();
  }
  void TearDown() override { plat::ui::ResetScript(); }
};

TEST_F(ScriptText, StepsAreTakenUpAndPlayedInOrder) {
  std::string fault = "unchanged";
  ASSERT_TRUE(plat::ui::LoadScript(" msgbox:answer no ;\r\n\nmsgbox:answer IDRETRY\r\n", &fault));
  EXPECT_EQ(fault, "unchanged");
  EXPECT_EQ(MessageBoxW(nullptr, u"a", u"c", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxW(nullptr, u"b", u"c", MB_RETRYCANCEL), IDRETRY);
  EXPECT_EQ(MessageBoxW(nullptr, u"c", u"c", MB_YESNO), IDCANCEL) << "steps run out: the user closes the box";
}

TEST_F(ScriptText, AScriptThatCannotRunIsRefusedWholeNamingTheLine) {
  const struct {
    const char* script;
    const char* fault;
  } cases[] = {
      {"msgbox:answer yes;\nmsgbox:press 1", "line 2: unknown step \"press\" in \"msgbox:press 1\""},
      {"answer yes", "line 1: no page before the step (PAGE:step) in \"answer yes\""},
      {"12a:click 1", "line 1: the page \"12a\" is neither a template id nor msgbox in \"12a:click 1\""},
      {"msgbox:answer IDYESS", "line 1: unknown answer \"IDYESS\" in \"msgbox:answer IDYESS\""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(plat::ui::LoadScript("msgbox:answer no", nullptr));
    std::string fault;
    EXPECT_FALSE(plat::ui::LoadScript(c.script, &fault)) << c.script;
    EXPECT_EQ(fault, c.fault);
    // The steps taken up before stay; none of the refused script's are.
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"c", MB_YESNO), IDNO) << c.script;
    EXPECT_EQ(MessageBoxW(nullptr, u"a", u"c", MB_YESNO), IDCANCEL) << c.script;
  }
}

int g_hostPauses = 0;
void CountHostPause() { ++g_hostPauses; }

TEST_F(ScriptText, APauseRunsOnTheMachineClockWithTheHostPauseSet) {
  plat::machine::SetSleepScale(0);
  plat::machine::FreezeClock(true);
  plat::ui::SetPumpHostPause(CountHostPause);
  g_hostPauses = 0;
  ASSERT_TRUE(plat::ui::LoadScript("msgbox:pause 60000;msgbox:answer no", nullptr));
  const DWORD before = GetTickCount();
  EXPECT_EQ(MessageBoxW(nullptr, u"a", u"c", MB_YESNO), IDNO);
  const DWORD waited = GetTickCount() - before;
  plat::ui::SetPumpHostPause(nullptr);
  plat::machine::Reset();
  EXPECT_GE(waited, 60000u);
  EXPECT_LT(waited, 61000u);
  // Every idle poll of the box paused through the hook, none on the host clock.
  EXPECT_GE(g_hostPauses, 6000 / 2);
}

}  // namespace
