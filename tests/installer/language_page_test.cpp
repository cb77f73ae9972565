#include <cstring>
#include <iterator>
#include <set>
#include <fstream>
#include <vector>

#include "installer/installer_entry.h"
#include "installer/language_page.h"
#include "installer/messages.h"
#include "installer_fixture.h"

namespace installer_test {
namespace {

using installer::SetupContext;

// A 24-bit BMP of 4 x 2 pixels, all of the colour 0xRRGGBB.
std::string SolidBmp(DWORD rgb) {
  constexpr int kWidth = 4, kHeight = 2, kRow = 12;
  std::string b(54 + kRow * kHeight, '\0');
  auto put32 = [&](std::size_t at, DWORD v) {
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<char>(v >> (8 * i));
  };
  b[0] = 'B';
  b[1] = 'M';
  put32(2, static_cast<DWORD>(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, kWidth);
  put32(22, kHeight);
  b[26] = 1;
  b[28] = 24;
  put32(34, kRow * kHeight);
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const std::size_t p = 54 + y * kRow + x * 3;
      b[p] = static_cast<char>(rgb & 0xFF);
      b[p + 1] = static_cast<char>(rgb >> 8 & 0xFF);
      b[p + 2] = static_cast<char>(rgb >> 16 & 0xFF);
    }
  return b;
}

// Each bitmap id's colour: red is the id.
DWORD ColourOf(UINT id) { return static_cast<DWORD>(id) << 16; }

class LanguagePage : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    plat::ui::ResetScript();
    plat::ClearBlits();
    std::string res =
        "RESOURCES 1\n[STRINGTABLE]\n102\tSetup\n[DIALOG 111]\nCAPTION\tSetup\nSIZE\t216\t100\n"
        "CONTROL\t1013\tComboBox\t10\t40\t195\t130\tCBS_DROPDOWNLIST|CBS_OWNERDRAWFIXED|WS_TABSTOP\n"
        "CONTROL\t1\tButton\t99\t68\t48\t14\tBS_DEFPUSHBUTTON|WS_TABSTOP\tOK\n"
        "CONTROL\t2\tButton\t157\t68\t48\t14\tWS_TABSTOP\tCancel\n"
        "CONTROL\t1011\tButton\t10\t68\t48\t14\tWS_TABSTOP\tQuit\n[BITMAP]\n";
    for (UINT id = 112; id <= 193; ++id) {
      Write("D/art/" + std::to_string(id) + ".bmp", SolidBmp(ColourOf(id)));
      res += std::to_string(id) + "\tart/" + std::to_string(id) + ".bmp\n";
    }
    Write("D/setup.res", res);
    for (const char* code : {"us", "jpn", "ara", "ger"})
      Write(std::string("D/NEVO/lang_") + code + ".dll", "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n");
    setup_ = LoadLibraryW(u"D:\\setup.res");
    ASSERT_NE(setup_, nullptr);
  }
  void TearDown() override {
    FreeLibrary(setup_);
    plat::ui::ResetScript();
    MachineRoot::TearDown();
  }

  void Prepare(SetupContext& ctx, const std::string& languages) {
    Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\nUS=lang_us.dll\nJPN=lang_jpn.dll\nARA=lang_ara.dll\n"
                         "GER=lang_ger.dll\n[Setup]\nType=4\nLangStyle=2\n[Language]\n" + languages);
    plat::profile::DropCache();
    std::memset(&ctx, 0, sizeof ctx);
    installer::SetField(ctx.setupFolder, u"D:\\");
    installer::SetField(ctx.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx.instIniPath, u"D:\\inst.ini");
    installer::SetField(ctx.resourceFolder, u"D:\\NEVO\\");
    ctx.setupInstance = setup_;
    ctx.type = 4;
    ctx.langStyle = 2;
    ASSERT_EQ(installer::CollectLanguageRows(ctx), 1);
  }
  INT_PTR Show(SetupContext& ctx) {
    const INT_PTR result = DialogBoxParamW(setup_, MAKEINTRESOURCEW(111), nullptr, installer::LanguagePageProc,
                                           reinterpret_cast<LPARAM>(&ctx));
    LocalFree(ctx.languageRows);
    ctx.languageRows = nullptr;
    return result;
  }

  HMODULE setup_ = nullptr;
};

TEST_F(LanguagePage, OffersTheListedLanguagesInTableOrderWithThePreselection) {
  const struct {
    const char* languages;
    const char16_t* selected;
  } cases[] = {
      {"US=US\nJPN=JPN\nARA=ARA\nGER=GER\nDefault=GER\n", u"GER"},
      {"US=US\nJPN=JPN\nGER=GER\n", u"JPN"},            // no Default: "JPN"
      {"US=US\nGER=GER\nDefault=JPN\n", u"US"},         // "JPN" not offered: row 0
      {"US=US\nGER=GER\nDefault=ITA\n", u"US"},         // Default not offered: row 0
  };
  for (const auto& c : cases) {
    SetupContext ctx;
    Prepare(ctx, c.languages);
    std::vector<std::u16string> rows;
    std::u16string selected;
    plat::ui::QueueHandler([&](plat::ui::Screen& s) {
      EXPECT_EQ(s.templateId(), 111);
      for (int i = 0; i < s.ItemCount(1013); ++i) rows.push_back(s.ItemText(1013, i));
      selected = s.ItemText(1013, s.Selection(1013));
      EXPECT_FALSE(s.Visible(1011));
      EXPECT_FALSE(s.Enabled(1011));
      s.Cancel();
    });
    EXPECT_EQ(Show(ctx), IDCANCEL) << c.languages;
    EXPECT_EQ(selected, c.selected) << c.languages;
    std::vector<std::u16string> expected;
    for (const char16_t* code : {u"ARA", u"US", u"GER", u"JPN"})  // the table's order
      if (std::string(c.languages).find(plat::utf8(code) + "=") != std::string::npos) expected.push_back(code);
    EXPECT_EQ(rows, expected) << c.languages;
  }
  EXPECT_EQ(plat::LiveWindowCount(), 0u);
}

TEST_F(LanguagePage, DrawsEachRowWithItsBitmapForItsState) {
  SetupContext ctx;
  Prepare(ctx, "US=US\nJPN=JPN\nARA=ARA\nDefault=JPN\n");
  std::vector<plat::Blit> page, list;
  RECT placed{};
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    HWND combo = s.Item(1013);
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    plat::ClearBlits();  // only this paint
    plat::PaintWindow(s.window());
    page = plat::Blits(s.window());
    list = plat::Blits(combo);
    GetWindowRect(s.window(), &placed);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    s.Cancel();
  });
  Show(ctx);
  // The page's picture, ANDed at (15, 20).
  ASSERT_EQ(page.size(), 1u);
  EXPECT_EQ(page[0].x, 15);
  EXPECT_EQ(page[0].y, 20);
  EXPECT_EQ(page[0].rop, SRCAND);
  EXPECT_EQ(page[0].firstPixel, ColourOf(112));
  // Selection field: JPN's normal bitmap; rows ARA, US, JPN (selected) at 19-pixel steps.
  struct Expected {
    int y;
    UINT bitmap;
  };
  const Expected expected[] = {{0, 115}, {0, 165}, {19, 142}, {38, 114}};
  ASSERT_EQ(list.size(), std::size(expected));
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].x, 0) << i;
    EXPECT_EQ(list[i].y, expected[i].y) << i;
    EXPECT_EQ(list[i].rop, SRCCOPY) << i;
    EXPECT_EQ(list[i].firstPixel, ColourOf(expected[i].bitmap)) << i;
  }
  // 324 x 160, centred in the work area.
  EXPECT_EQ(placed.right - placed.left, 324);
  EXPECT_EQ(placed.bottom - placed.top, 160);
  EXPECT_EQ(placed.left, (1920 - 324) / 2);
  EXPECT_EQ(plat::LiveDcCount(), 0u);
  EXPECT_EQ(plat::LiveImageCount(), 0u);
}

// setup's own resources as the build draws them: every language row has its
// pictures, normal and selected, and the page drawn as the user sees it shows
// the banner and the chosen language's picture.
TEST_F(LanguagePage, SetupsOwnArtDrawsTheBannerAndEveryLanguagesPicture) {
  SetupContext ctx;
  std::string languages;
  for (const char* code : {"ARA", "CZE", "DUT", "UK", "US", "FRN", "GER", "GRE", "ITA", "JPN", "KOR", "POL", "POR",
                           "RUM", "RUS", "SChi", "SPA", "SWE", "THA", "TChi", "TUR"})
    languages += std::string(code) + "=" + code + "\n";
  Prepare(ctx, languages + "Default=US\n");
  ASSERT_EQ(ctx.languageRowCount, 21u);
  // The resource text at the end of the program: text, "PLATRES1", its length in 10 digits.
  std::ifstream in(std::string(BIN_DIR_STR) + "/setup", std::ios::binary);
  const std::string program((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(program.size(), 18u);
  const std::string trailer = program.substr(program.size() - 18);
  ASSERT_EQ(trailer.substr(0, 8), "PLATRES1");
  const std::size_t length = std::stoul(trailer.substr(8));
  ASSERT_LE(length + 18, program.size());
  Write("D/setup_own.res", program.substr(program.size() - 18 - length, length));
  FreeLibrary(setup_);
  setup_ = LoadLibraryW(u"D:\\setup_own.res");
  ASSERT_NE(setup_, nullptr);
  ctx.setupInstance = setup_;

  // Distinct colours of a bitmap, and its size.
  const auto colours = [&](UINT id, BITMAP& info) {
    HGDIOBJ bitmap = LoadBitmapW(setup_, MAKEINTRESOURCEW(id));
    std::set<DWORD> seen;
    info = BITMAP{};
    if (!bitmap || GetObjectW(bitmap, sizeof info, &info) == 0) return seen;
    const auto* bits = static_cast<const BYTE*>(info.bmBits);
    for (LONG y = 0; y < info.bmHeight; ++y)
      for (LONG x = 0; x < info.bmWidth; ++x) {
        const BYTE* p = bits + y * info.bmWidthBytes + x * 3;
        seen.insert(static_cast<DWORD>(p[0]) | p[1] << 8 | p[2] << 16);
      }
    DeleteObject(bitmap);
    return seen;
  };
  for (DWORD row = 0; row < ctx.languageRowCount; ++row) {
    const auto& entry = ctx.languageRows[row];
    for (const UINT id : {entry.normalBitmap, entry.selectedBitmap}) {
      BITMAP info{};
      EXPECT_GT(colours(id, info).size(), 2u) << plat::utf8(entry.code) << ": bitmap " << id << " is blank";
      EXPECT_EQ(info.bmHeight, 19) << id;
    }
  }
  BITMAP banner{};
  EXPECT_GT(colours(112, banner).size(), 2u);
  EXPECT_LE(banner.bmWidth, 293);
  SIZE iconSize{};
  HICON icon = LoadIconW(setup_, MAKEINTRESOURCEW(110));
  ASSERT_NE(icon, nullptr);
  EXPECT_TRUE(plat::ImageInfo(icon, &iconSize, nullptr));
  EXPECT_EQ(iconSize.cx, 32);
  DestroyIcon(icon);

  plat::ui::Picture drawn;
  RECT field{};
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_EQ(s.Caption(), u"HALVERDON Driver Setup");
    drawn = plat::ui::RenderWindow(s.window());
    GetWindowRect(s.Item(1013), &field);
    POINT origin{0, 0};
    ClientToScreen(s.window(), &origin);
    field = RECT{field.left - origin.x, field.top - origin.y, field.right - origin.x, field.bottom - origin.y};
    s.Cancel();
  });
  Show(ctx);
  ASSERT_GT(drawn.width, 300);
  // Dark pixels of a region of the drawn page.
  const auto ink = [&](LONG left, LONG top, LONG right, LONG bottom) {
    int n = 0;
    for (LONG y = top; y < bottom && y < drawn.height; ++y)
      for (LONG x = left; x < right && x < drawn.width; ++x) n += (drawn.At(x, y) & 0xFF) < 128;
    return n;
  };
  EXPECT_GT(ink(15, 20, 15 + banner.bmWidth, 20 + banner.bmHeight), 100) << "the banner";
  EXPECT_GT(ink(field.left, field.top, field.right - 16, field.top + 19), 30) << "US's picture in the field";
}

TEST_F(LanguagePage, OkTakesTheChosenLanguageAndLoadsItsLibrary) {
  SetupContext ctx;
  Prepare(ctx, "US=US\nJPN=JPN\nGER=GER\n");
  plat::ui::QueueHandler([&](plat::ui::Screen& s) {
    EXPECT_TRUE(s.ChooseText(1013, u"US"));
    s.Ok();
  });
  EXPECT_EQ(Show(ctx), IDOK);
  EXPECT_EQ(installer::Str(ctx.languageCode), u"US");
  EXPECT_EQ(installer::Str(ctx.languageLibraryPath), u"D:\\NEVO\\lang_us.dll");
  ASSERT_NE(ctx.languageLibrary, nullptr);
  FreeLibrary(ctx.languageLibrary);
  EXPECT_EQ(plat::resources::LoadedModuleCount(), 1u);  // setup's own resources
}

TEST_F(LanguagePage, RightToLeftLanguagesMirrorEveryMessage) {
  Write("D/rtl.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tCaption\n31\tFailure\n40\t23\n");
  Write("D/ltr.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tCaption\n31\tFailure\n40\t1\n");
  for (const char16_t* name : {u"D:\\rtl.dll", u"D:\\ltr.dll"}) {
    HMODULE library = LoadLibraryW(name);
    plat::ui::ResetMessageBoxes();
    EXPECT_EQ(installer::ReportAllocFailure(library), 0);
    const auto log = plat::ui::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    const auto& box = log[0];
    EXPECT_EQ(box.text, u"Failure");
    EXPECT_EQ(box.caption, u"Caption");
    const UINT rtl = MB_RTLREADING | MB_RIGHT;
    EXPECT_EQ(box.type, MB_ICONERROR | (name[3] == u'r' ? rtl : 0u));
    FreeLibrary(library);
  }
}

}  // namespace
}  // namespace installer_test

namespace installer_test {
namespace {

TEST_F(LanguagePage, PagesArePlacedWhereTheLastWasLeft) {
  SetupContext ctx;
  std::memset(&ctx, 0, sizeof ctx);
  HWND page = plat::CreateHeadlessDialog({});
  MoveWindow(page, 0, 0, 400, 300, FALSE);
  installer::PlaceDialog(ctx, page);
  RECT r{};
  GetWindowRect(page, &r);
  EXPECT_EQ(r.left, (1920 - 400) / 2);
  EXPECT_EQ(r.top, (1040 - 300) / 2);
  EXPECT_EQ(ctx.pageWidth, 401);
  EXPECT_EQ(ctx.pageHeight, 301);
  const LONG saved[4] = {100, 50, 500, 350};
  std::copy(std::begin(saved), std::end(saved), ctx.pageRect);
  installer::PlaceDialog(ctx, page);
  GetWindowRect(page, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right - r.left, 400);
  DestroyWindow(page);
}

TEST_F(LanguagePage, LeavingAsksFirst) {
  Write("D/lang.dll", "RESOURCES 1\n[STRINGTABLE]\n4\tSetup\n28\tLeave the installation?\n29\tLeave the removal?\n");
  SetupContext ctx;
  std::memset(&ctx, 0, sizeof ctx);
  ctx.languageLibrary = LoadLibraryW(u"D:\\lang.dll");
  const DLGPROC quiet = [](HWND, UINT, WPARAM, LPARAM) -> INT_PTR { return FALSE; };
  for (int answer : {IDNO, IDYES}) {
    plat::ui::ResetMessageBoxes();
    plat::ui::QueueHandler([&](plat::ui::Screen& s) {
      plat::ui::QueueMessageBoxAnswer(answer);
      installer::ConfirmCancel(ctx, s.window(), installer::Leaving::Uninstall);
      if (s.IsOpen()) EndDialog(s.window(), 42);  // the page stays after No
    });
    const INT_PTR result = DialogBoxParamW(setup_, MAKEINTRESOURCEW(111), nullptr, quiet, 0);
    EXPECT_EQ(result, answer == IDYES ? IDCANCEL : 42);
    const auto log = plat::ui::MessageBoxLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].text, u"Leave the removal?");
    EXPECT_EQ(log[0].type, MB_YESNO | MB_ICONQUESTION);
  }
  FreeLibrary(ctx.languageLibrary);
}

}  // namespace
}  // namespace installer_test
