#include <cstring>
#include <fstream>
#include <iterator>

#include "installer/install_worker.h"
#include "installer_fixture.h"
#include "streamdump/stream_decoder.h"

namespace installer_test {
namespace {

BOOL IgnorePost(HWND, UINT, WPARAM, LPARAM) { return TRUE; }

// The worker installs into a machine root made by tools/machine; printjob,
// another process, prints through the installed printer.
TEST_F(MachineRoot, InstalledPrinterPrintsFromAnotherProcess) {
  const std::string bin = BIN_DIR_STR, lib = LIB_DIR_STR;
  const std::string root = root_.string();
  std::string log;
  ASSERT_EQ(RunShell(bin + "/machine init '" + root + "' --version 6.1 --arch x64 --drive D=cdrom:CDFS:NEVO", &log), 0)
      << log;
  plat::machine::SetRoot(root);  // takes up the profile written by machine
  ASSERT_EQ(plat::machine::GetOsProfile().nativeArchitecture, PROCESSOR_ARCHITECTURE_AMD64);

  Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\nUS=lang_us.dll\n[Setup]\nType=1\nLangStyle=2\n[OS]\nWin7x64=Win7x64\n"
                       "[Language]\nUS=US\n");
  Write("D/inst.ini", "[Model]\nKindNum=1\nKindName=Classic\n[Classic]\nINF=,nevo.inf\n[Driver]\nFolderName=Driver\n"
                      "[Setup]\nReadmeENG=readme.txt\n");
  const std::string kind = "Driver/Win7x64/US/";
  Write("D/" + kind + "nevo.inf",
        "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nProvider=%MFG%\n"
        "[Manufacturer]\n%MFG%=NEVO,NTamd64\n[NEVO.NTamd64]\n\"NEVO RP2600\"=NEVO2600\n"
        "[NEVO2600]\nCopyFiles=@NEVO2600.RDF,NEVO_FILES\nDataSection=NEVO_DATA\n"
        "[NEVO_DATA]\nDriverFile=classicrender.dll\nConfigFile=classicui.dll\n"
        "[NEVO_FILES]\nNEVORES.DLL\nclassicrender.dll\nclassicui.dll\n"
        "[DestinationDirs]\nDefaultDestDir=66000\n[SourceDisksNames]\n1=\"Medium\",,,\n"
        "[SourceDisksFiles]\nNEVO2600.RDF=1\nNEVORES.DLL=1\nclassicrender.dll=1\nclassicui.dll=1\n"
        "[Strings]\nMFG=\"Duplicator Maker\"\n");
  WriteToolFiles();
  fs::copy_file(std::string(MODELS_DIR_STR) + "/NEVO2600.RDF", Host("D/" + kind + "NEVO2600.RDF"));
  fs::copy_file(std::string(RESOURCES_DIR_STR) + "/NEVORES.DLL", Host("D/" + kind + "NEVORES.DLL"));
  fs::copy_file(lib + "/classicrender.so", Host("D/" + kind + "classicrender.dll"));
  fs::copy_file(lib + "/classicui.so", Host("D/" + kind + "classicui.dll"));

  installer::SetupContext ctx;
  ReadMedium(ctx, u"NEVO RP2600");
  WCHAR datatype[32] = {};
  installer::CopyList list{};
  installer::InstallWorkerArgs args{nullptr, datatype, &list, &ctx, IgnorePost};
  installer::InstallWorkerThread(&args);
  ASSERT_TRUE(plat::ui::MessageBoxLog().empty());
  // classicui initialised the printer when it was added.
  EXPECT_TRUE(plat::spooler::GetData(u"NEVO 2600 office", u"DefaultDevmode"));
  EXPECT_EQ(plat::spooler::HeldDrivers(), std::vector<std::u16string>{u"NEVO RP2600"});

  const std::string out = root + "/job.prn";
  ASSERT_EQ(RunShell(bin + "/printjob --root '" + root + "' --printer 'NEVO 2600 office' --out '" + out + "'", &log), 0)
      << log;
  std::ifstream in(out, std::ios::binary);
  const std::vector<std::uint8_t> stream{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const auto job = streamdump::DecodeStream(stream);
  EXPECT_TRUE(job.ok);
  EXPECT_FALSE(job.pages.empty());

  // The machine shows the printer to every process; printjob left nothing of its own.
  std::string shown, data;
  RunShell(bin + "/machine show '" + root + "' spooler", &shown);
  EXPECT_NE(shown.find("\"pPrinterName\":\"NEVO 2600 office\""), std::string::npos) << shown;
  EXPECT_EQ(shown.find("NEVO Printer"), std::string::npos) << shown;
  RunShell(bin + "/machine show '" + root + "' printer-data 'NEVO 2600 office'", &data);
  EXPECT_NE(data.find("\"DefaultDevmode\":{\"type\":3,\"hex\":\""), std::string::npos) << data.substr(0, 200);
}

}  // namespace
}  // namespace installer_test
