#include <cstring>
#include <vector>

#include "installer/ini_read.h"
#include "installer_fixture.h"

namespace installer_test {
namespace {

using installer::SetupContext;

class DetectOs : public MachineRoot {
 protected:
  // Setup.ini with the [OS] names given ("name=folder" lines).
  int Detect(const std::string& osLines, int type, SetupContext& ctx) {
    Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\n[Setup]\nType=" + std::to_string(type) +
                             "\nLangStyle=2\n[OS]\n" + osLines);
    std::memset(&ctx, 0, sizeof ctx);
    installer::SetField(ctx.setupIniPath, u"D:\\Setup.ini");
    ctx.type = type;
    return installer::DetectOsName(ctx);
  }
};

struct OsCase {
  const char* what;
  DWORD major, minor;
  bool x64;
  BYTE product;
  int type;
  const char* osLines;
  int result;
  const char16_t* name;
};

TEST_F(DetectOs, MatchesTheHighestListedRowTheSystemMeets) {
  const char* x86 = "Win8=W8\nWin7=W7\nWinVista=WV\nSv2003=S3\nWinXP=XP\nWin2000=W2\nSv2000=S2\n";
  const char* x64 = "Win8x64=W8\nWin7x64=W7\nWinVistax64=WV\n";
  const OsCase cases[] = {
      {"7 x86", 6, 1, false, VER_NT_WORKSTATION, 4, x86, 1, u"Win7"},
      {"8.1 x86", 6, 3, false, VER_NT_WORKSTATION, 4, x86, 1, u"Win8"},
      {"10 is Win8", 10, 0, false, VER_NT_WORKSTATION, 4, x86, 1, u"Win8"},
      {"XP x86", 5, 1, false, VER_NT_WORKSTATION, 1, x86, 1, u"WinXP"},
      {"2000 row 5 before Sv2000", 5, 0, false, VER_NT_WORKSTATION, 1, x86, 1, u"Win2000"},
      {"only XP listed on 7", 6, 1, false, VER_NT_WORKSTATION, 1, "WinXP=XP\n", 1, u"WinXP"},
      {"7 x64", 6, 1, true, VER_NT_WORKSTATION, 4, x64, 1, u"Win7x64"},
      {"Vista x64", 6, 0, true, VER_NT_WORKSTATION, 1, x64, 1, u"WinVistax64"},
      {"x86 list on x64", 6, 1, true, VER_NT_WORKSTATION, 1, x86, 0, u""},
      {"x64 name in an x86 list", 6, 1, false, VER_NT_WORKSTATION, 1, "Win8x64=W8\nWin7=W7\n", 0, u""},
      {"server with Type 4", 6, 1, false, VER_NT_SERVER, 4, x86, 0, u""},
      {"domain controller with Type 4", 6, 1, false, VER_NT_DOMAIN_CONTROLLER, 4, x86, 0, u""},
      {"server with Type 1", 6, 1, false, VER_NT_SERVER, 1, x86, 1, u"Win7"},
      {"too old for every row", 5, 0, false, VER_NT_WORKSTATION, 1, "WinXP=XP\n", 0, u""},
      {"unsupported row listed", 4, 0, false, VER_NT_WORKSTATION, 1, "WinNT=NT\n", 0, u""},
      {"empty value skipped", 6, 1, false, VER_NT_WORKSTATION, 1, "Win7=\nWinXP=XP\n", 1, u"WinXP"},
  };
  for (const auto& c : cases) {
    SetOs(c.major, c.minor, c.x64, c.product);
    SetupContext ctx;
    EXPECT_EQ(Detect(c.osLines, c.type, ctx), c.result) << c.what;
    EXPECT_EQ(installer::Str(ctx.osName), c.name) << c.what;
    if (c.result == 1) {
      EXPECT_FALSE(installer::Str(ctx.osFolder).empty()) << c.what;
    }
    EXPECT_EQ(ctx.x64System, c.x64 ? 1u : 0u) << c.what;
  }
  EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
}

TEST_F(DetectOs, Ia64IsUnsupportedAndOtherFailuresAreShown) {
  plat::machine::OsProfile os;
  os.nativeArchitecture = PROCESSOR_ARCHITECTURE_IA64;
  plat::machine::SetOsProfile(os);
  SetupContext ctx;
  EXPECT_EQ(Detect("Win7x64=W7\n", 1, ctx), 0);

  os = {};
  os.verifyVersionError = ERROR_INVALID_PARAMETER;
  plat::machine::SetOsProfile(os);
  EXPECT_EQ(Detect("Win7x64=W7\n", 1, ctx), 0);
  ASSERT_EQ(plat::ui::MessageBoxLog().size(), 1u);
  EXPECT_EQ(plat::ui::MessageBoxLog()[0].type, MB_ICONERROR);

  os = {};
  os.versionQueryFails = true;
  plat::machine::SetOsProfile(os);
  EXPECT_EQ(Detect("Win7x64=W7\n", 1, ctx), -1);
}

TEST(CommaLists, ScanKnowsEachOutputsSize) {
  WCHAR a[8], b[4];
  INT n = 0;
  EXPECT_EQ(installer::ScanCommaList(u" Kind A ,\tsub", u"%s%s", {{a, 8}, {b, 4}}), 1);
  EXPECT_EQ(installer::Str(a), u"Kind A ");
  EXPECT_EQ(installer::Str(b), u"sub");
  EXPECT_EQ(installer::ScanCommaList(u"x, 42", u"%s%d", {{a, 8}, {nullptr, 0, &n}}), 1);
  EXPECT_EQ(n, 42);
  struct Bad {
    const char16_t* text;
    const char16_t* format;
  };
  const Bad bad[] = {
      {u"abcdefgh,x", u"%s%s"},  // 8 characters do not fit 8 units
      {u"a,bcde", u"%s%s"},      // 4 characters do not fit 4 units
      {u"only", u"%s%s"},        // a field missing
      {u"a,b", u"%s%x"},         // unknown conversion
      {u"a,4x", u"%s%d"},        // not a number
      {u"a,", u"%s%d"},          // empty number
  };
  for (const auto& c : bad) {
    INT number = 0;
    WCHAR* second = c.format[3] == u's' ? b : nullptr;
    EXPECT_EQ(installer::ScanCommaList(c.text, c.format, {{a, 8}, {second, second ? 4u : 0u, &number}}), -1)
        << plat::utf8(c.text);
  }
}

TEST(CommaLists, UnframeTakesOnlyFramedTexts) {
  EXPECT_EQ(installer::Unframe(u"%KEY%", u'%').value(), u"KEY");
  EXPECT_EQ(installer::Unframe(u"\"\"", u'"').value(), u"");
  EXPECT_FALSE(installer::Unframe(u"%", u'%'));
  EXPECT_FALSE(installer::Unframe(u"KEY", u'%'));
  EXPECT_FALSE(installer::Unframe(u"%KEY", u'%'));
  EXPECT_EQ(installer::SplitCommaFields(u" a , b\t,,c"), (std::vector<std::u16string>{u"a", u"b", u"", u"c"}));
}

}  // namespace
}  // namespace installer_test

namespace installer_test {
namespace {

// Values longer than their fields fail the step that reads them; nothing is cut.
TEST_F(DetectOs, OverlongValuesFailTheirStep) {
  const std::string v19(19, 'v'), v20(20, 'v');
  struct Case {
    const char* what;
    std::string setupIni, instIni;
    int language, model;
  } cases[] = {
      {"fitting", "[Language]\nUS=" + v19 + "\n", "[Model]\nKindNum=1\nKindName=" + v19 + "\n", 1, 1},
      {"language value of 20", "[Language]\nUS=" + v20 + "\n", "", 0, 0},
      {"kind name of 20", "[Language]\nUS=US\n", "[Model]\nKindNum=1\nKindName=" + v20 + "\n", 1, 0},
      {"fewer kind names than KindNum", "[Language]\nUS=US\n", "[Model]\nKindNum=2\nKindName=A\n", 1, 0},
  };
  for (const auto& c : cases) {
    Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\nUS=lang_us.dll\n" + c.setupIni);
    Write("D/inst.ini", c.instIni + "[A]\nINF=,a.inf\n[" + v19 + "]\nINF=,a.inf\n");
    for (const std::string& value : {v19, std::string("US")})
      Write("D/Drv/" + value + "/a.inf", "[Version]\nSignature=x\n[Manufacturer]\nM=NEVO\n");
    plat::profile::DropCache();
    SetupContext ctx;
    std::memset(&ctx, 0, sizeof ctx);
    installer::SetField(ctx.setupFolder, u"D:\\");
    installer::SetField(ctx.setupIniPath, u"D:\\Setup.ini");
    installer::SetField(ctx.resourceFolder, u"D:\\NEVO\\");
    installer::SetField(ctx.languageCode, u"US");
    installer::SetField(ctx.driverFolder, u"D:\\Drv\\");
    EXPECT_EQ(installer::ReadLanguageSettings(ctx), c.language) << c.what;
    EXPECT_EQ(installer::ReadModelInfo(ctx, u"D:\\inst.ini"), c.model) << c.what;
    if (c.language == 0) {
      EXPECT_EQ(installer::Str(ctx.languageValue), u"") << c.what;
    }
  }
  // A first language code longer than its field.
  std::string longCode(20, 'C');
  Write("D/Setup.ini", "[Language]\n" + longCode + "=x\n");
  plat::profile::DropCache();
  SetupContext ctx;
  std::memset(&ctx, 0, sizeof ctx);
  installer::SetField(ctx.setupIniPath, u"D:\\Setup.ini");
  EXPECT_EQ(installer::ReadFirstLanguage(ctx), 0);
}

}  // namespace
}  // namespace installer_test
