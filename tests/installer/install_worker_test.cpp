#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <vector>

#include "installer/install_worker.h"
#include "installer/quick_install.h"
#include "packed_writer.h"
#include "installer_fixture.h"

namespace installer_test {
namespace {

using installer::SetupContext;

struct Posted {
  UINT message;
  WPARAM wParam;
};
std::mutex g_postedMutex;
std::vector<Posted> g_posted;

BOOL RecordPost(HWND, UINT message, WPARAM wParam, LPARAM) {
  std::lock_guard lock(g_postedMutex);
  g_posted.push_back({message, wParam});
  return TRUE;
}

enum class Processor { None, New, Installed };

class InstallWorker : public MachineRoot {
 protected:
  void SetUp() override {
    MachineRoot::SetUp();
    g_posted.clear();
    plat::spooler::AddPort(u"LPT1:");
  }

  // The medium: Setup.ini, inst.ini and one kind's INF with its files, again
  // in the kind's USB memory folder "usbmem".
  void WriteMedium(const std::string& osName, Processor processor, int extraFiles = 0) {
    WriteToolFiles();
    Write("D/Setup.ini", "[DLL]\nFolderName=NEVO\nUS=lang_us.dll\n[Setup]\nType=1\nLangStyle=2\n[OS]\n" + osName + "=" + osName +
                             "\n[Language]\nUS=US\n");
    Write("D/inst.ini", "[Model]\nKindNum=1\nKindName=Kind A\n[Kind A]\nINF=sub,nevo.inf\nMtoPINF=usbmem,nevomem.inf\n"
                        "[Driver]\nFolderName=Driver\n[Setup]\nReadmeENG=readme.txt\n");
    for (const std::string& folder : {"D/Driver/" + osName + "/US/", "D/Driver/" + osName + "/US/usbmem/"}) {
      std::string copyFiles = "@NEVO2600.RDF,NEVO_FILES";
      std::string files = "NEVORES.DLL\nclassicrender.dll\nclassicui.dll\n";
      std::string sources = "NEVO2600.RDF=1\nNEVORES.DLL=1\nclassicrender.dll=1\nclassicui.dll=1,bin\n";
      for (int i = 0; i < extraFiles; ++i) {
        files += "extra" + std::to_string(i) + ".dll\n";
        sources += "extra" + std::to_string(i) + ".dll=1\n";
        Write(folder + "extra" + std::to_string(i) + ".dll", "x");
      }
      std::string install = "[NEVO2600]\nDataSection=NEVO_DATA\n";
      if (processor != Processor::None) {
        copyFiles += ",PROC_FILES";
        install += "PrintProcessor=%PPROC%\n";
        sources += "nevopp.dll=1\n";
        Write(folder + "nevopp.dll", "processor");
      }
      install += "CopyFiles=" + copyFiles + "\n";
      const bool usbMemory = folder.find("usbmem") != std::string::npos;
      Write(folder + (usbMemory ? "nevomem.inf" : "nevo.inf"),
            "[Version]\nSignature=\"$Windows NT$\"\nClass=Printer\nProvider=%PROV%\n"
            "[Manufacturer]\n%MFG%=NEVO,NTamd64\n"
            "[NEVO]\n\"NEVO 2600\"=NEVO2600, USBPRINT\\NEVO2600ABCD\n"
            "[NEVO.NTamd64]\n\"NEVO 2600\"=NEVO2600, USBPRINT\\NEVO2600ABCD\n"
            "[OEM URLS]\n%MFG%=\"http://duplicator.invalid/\"\n" +
                install +
                "[NEVO_DATA]\nDriverFile=classicrender.dll\nConfigFile=classicui.dll\n"
                "[NEVO_FILES]\n" +
                files +
                "[PROC_FILES]\nnevopp.dll\n"
                "[DestinationDirs]\nDefaultDestDir=66000\nPROC_FILES=66001\n"
                "[SourceDisksNames]\n1=\"Medium\",,,\n"
                "[SourceDisksFiles]\n" +
                sources + "[Strings]\nPROV=\"Duplicator Works\"\nMFG=\"Duplicator Maker\"\nPPROC=\"NEVO Processor,nevopp.dll\"\n");
      Write(folder + "NEVO2600.RDF", usbMemory ? "model data for USB memory" : "model data");
      Write(folder + "NEVORES.DLL", "resources");
      Write(folder + "classicrender.dll", "render");
      Write(folder + "bin/classicui.dll", "ui");
    }
  }

  void Prepare(SetupContext& ctx, DWORD major, DWORD minor, bool x64) {
    SetOs(major, minor, x64);
    ReadMedium(ctx, u"NEVO 2600");
  }

  bool Run(SetupContext& ctx) {
    WCHAR datatype[32] = {};
    installer::CopyList list{};
    installer::InstallWorkerArgs args{nullptr, datatype, &list, &ctx, RecordPost};
    HANDLE thread = CreateThread(nullptr, 0, installer::InstallWorkerThread, &args, 0, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    EXPECT_EQ(code, 0u);
    CloseHandle(thread);
    std::lock_guard lock(g_postedMutex);
    return !g_posted.empty() && g_posted.back().message == installer::kWorkerDoneMessage && g_posted.back().wParam == 1;
  }

  std::vector<WPARAM> ProgressValues() {
    std::vector<WPARAM> out;
    for (const auto& p : g_posted)
      if (p.message == installer::kProgressMessage) out.push_back(p.wParam);
    return out;
  }
};

struct WorkerCase {
  const char* os;
  DWORD major, minor;
  bool x64;
  int type;
  installer::Connection connection;
  Processor processor;
};

TEST_F(InstallWorker, InstallsDriverProcessorAndPrinter) {
  using C = installer::Connection;
  const WorkerCase cases[] = {
      {"WinXP", 5, 1, false, 1, C::Network, Processor::None},
      {"WinXP", 5, 1, false, 4, C::UsbMemory, Processor::New},
      {"Win7", 6, 1, false, 1, C::Network, Processor::New},
      {"Win7", 6, 1, false, 4, C::Network, Processor::New},     // driver store
      {"Win7x64", 6, 1, true, 1, C::UsbMemory, Processor::New},
      {"Win7x64", 6, 1, true, 4, C::UsbMemory, Processor::None},  // driver store
      {"Win8", 6, 2, false, 4, C::Network, Processor::None},    // driver store
      {"Win8x64", 6, 2, true, 1, C::Network, Processor::None},
  };
  for (const auto& c : cases) {
    const bool package = c.type == 4 && c.major >= 6;
    const bool processor = c.processor != Processor::None;
    const bool usbMemory = c.connection == C::UsbMemory;
    SCOPED_TRACE(std::string(c.os) + " Type " + std::to_string(c.type) + (usbMemory ? " USB memory" : " network") +
                 (processor ? " with processor" : ""));
    plat::spooler::Reset();
    plat::spooler::AddPort(u"LPT1:");
    fs::remove_all(root_ / "C" / "WINDOWS" / "system32");
    g_posted.clear();
    WriteMedium(c.os, c.processor);
    SetupContext ctx;
    Prepare(ctx, c.major, c.minor, c.x64);
    ctx.type = c.type;
    ctx.connection = c.connection;
    ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
    ctx.setupInstance = LoadLibraryW(u"D:\\setupres.dll");
    ASSERT_TRUE(Run(ctx));
    FreeLibrary(ctx.languageLibrary);
    FreeLibrary(ctx.setupInstance);
    // The tool folder and the uninstaller's link.
    EXPECT_EQ(installer::Str(ctx.productPath), u"C:\\Program Files\\NEVO Works\\NEVO 2600\\");
    EXPECT_TRUE(Exists("C/Program Files/NEVO Works/NEVO 2600/Tool/Setup.exe"));
    const std::string links = c.major < 6 ? "C/Documents and Settings/All Users/Start Menu/Programs/"
                                          : "C/ProgramData/Microsoft/Windows/Start Menu/Programs/";
    const bool win8 = std::string(c.os).rfind("Win8", 0) == 0;
    EXPECT_TRUE(Exists(links + (win8 ? "NEVO Works NEVO 2600/" : "NEVO Works/NEVO 2600/") +
                       (c.type == 4 ? "Uninstaller.lnk" : "Uninstall NEVO.lnk")));
    EXPECT_EQ(ProgressValues(), package ? (std::vector<WPARAM>{30, 70, 80, 90, 95, 100})
                                        : (std::vector<WPARAM>{30, 40, 50, 70, 80, 90, 95, 100}));
    EXPECT_EQ(installer::Str(ctx.installSection), u"NEVO2600");
    // The network and USB memory installs keep the INF's hardware id, except on Windows 8.
    EXPECT_EQ(installer::Str(ctx.usbHardwareId), std::string(c.os).rfind("Win8", 0) == 0 ? u"" : u"USBPRINT\\NEVO2600ABCD");
    EXPECT_EQ(installer::Str(ctx.installedInfPath).find(u"\\DriverStore\\FileRepository\\") != std::u16string::npos,
              package);

    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count);
    std::vector<BYTE> drivers(needed);
    ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 6, drivers.data(), needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    const auto& d = *reinterpret_cast<const DRIVER_INFO_6W*>(drivers.data());
    const std::u16string spool = c.x64 ? u"C:\\WINDOWS\\system32\\spool\\drivers\\x64\\3\\"
                                       : u"C:\\WINDOWS\\system32\\spool\\drivers\\W32X86\\3\\";
    EXPECT_EQ(installer::Str(d.pName), u"NEVO 2600");
    EXPECT_EQ(installer::Str(d.pDriverPath), spool + u"classicrender.dll");
    EXPECT_EQ(installer::Str(d.pConfigFile), spool + u"classicui.dll");
    EXPECT_EQ(installer::Str(d.pDataFile), spool + u"NEVO2600.RDF");
    // One dependent file: the resource library, first as the UI library wants it.
    EXPECT_EQ(installer::Str(d.pDependentFiles), spool + u"NEVORES.DLL");
    EXPECT_EQ(installer::Str(d.pDependentFiles + installer::Str(d.pDependentFiles).size() + 1), u"");
    if (!package) {
      const std::u16string datatype = !processor ? u"" : c.type == 4 ? u"NT EMF 1.008" : u"RAW";
      EXPECT_EQ(installer::Str(d.pDefaultDataType), datatype);
      EXPECT_EQ(installer::Str(d.pszOEMUrl), u"http://duplicator.invalid/");
      EXPECT_EQ(installer::Str(d.pszHardwareID), installer::Str(ctx.usbHardwareId));
    }
    EXPECT_EQ(installer::Str(d.pszMfgName), u"Duplicator Maker");
    EXPECT_EQ(installer::Str(d.pszProvider), u"Duplicator Works");
    // The model data file came from the connection's own folder.
    std::ifstream rdf(plat::machine::HostPath(spool + u"NEVO2600.RDF"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(rdf), {}), usbMemory ? "model data for USB memory" : "model data");

    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> printers(needed);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers.data(), needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    const auto& p = *reinterpret_cast<const PRINTER_INFO_2W*>(printers.data());
    EXPECT_EQ(installer::Str(p.pPrinterName), u"NEVO 2600 office");
    EXPECT_EQ(installer::Str(p.pPortName), u"LPT1:");
    EXPECT_EQ(installer::Str(p.pDriverName), u"NEVO 2600");
    EXPECT_EQ(installer::Str(p.pPrintProcessor), processor ? u"NEVO Processor" : u"WinPrint");
    // The datatype goes with the processor; an empty one is taken as RAW.
    EXPECT_EQ(installer::Str(p.pDatatype), processor && c.type == 4 ? u"NT EMF 1.008" : u"RAW");
    EXPECT_EQ(p.pDevMode, nullptr);  // the zero DEVMODE counts as none
    EXPECT_EQ(p.Attributes, 0x240u);
    EXPECT_EQ(p.Priority, 1u);

    // The copies in the driver directory are gone; the processor file is in its own.
    const std::string arch = c.x64 ? "x64" : "W32X86";
    EXPECT_FALSE(Exists("C/WINDOWS/system32/spool/drivers/" + arch + "/classicui.dll"));
    EXPECT_TRUE(Exists("C/WINDOWS/system32/spool/drivers/" + arch + "/3/classicui.dll"));
    EXPECT_EQ(Exists("C/WINDOWS/system32/spool/prtprocs/" + arch + "/nevopp.dll"), processor);
    // Files from the CD-ROM were made writable.
    EXPECT_EQ(GetFileAttributesW((spool + u"classicui.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
    EXPECT_EQ(plat::LiveHandleCount(plat::HandleKind::Thread), 0u);
    EXPECT_EQ(plat::setup::OpenInfCount(), 0u);
    EXPECT_EQ(plat::resources::LoadedModuleCount(), 0u);
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  }
}

TEST_F(InstallWorker, AnInstalledProcessorIsReplacedAtTheNextRestart) {
  WriteMedium("Win7", Processor::Installed);
  Write("C/WINDOWS/system32/spool/prtprocs/W32X86/nevopp.dll", "old processor");
  SetupContext ctx;
  Prepare(ctx, 6, 1, false);
  WCHAR name[] = u"NEVO Processor", file[] = u"nevopp.dll";
  ASSERT_TRUE(AddPrintProcessorW(nullptr, nullptr, file, name));
  ASSERT_TRUE(Run(ctx));
  const auto pending = plat::files::PendingOperations();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].from, u"C:\\WINDOWS\\system32\\spool\\drivers\\W32X86\\nevopp.dll");
  EXPECT_EQ(pending[0].to, u"C:\\WINDOWS\\system32\\spool\\prtprocs\\W32X86\\nevopp.dll");
  plat::files::RunPendingOperations();
  std::ifstream in(Host("C/WINDOWS/system32/spool/prtprocs/W32X86/nevopp.dll"));
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "processor");
  EXPECT_TRUE(plat::files::PendingOperations().empty());
}

TEST_F(InstallWorker, FailsWithoutMessageOnBadListsAndSources) {
  struct Case {
    const char* what;
    int extraFiles;
    bool compress;
  };
  const Case cases[] = {{"11 files", 6, false}, {"compressed source", 0, true}};
  for (const auto& c : cases) {
    plat::spooler::Reset();
    g_posted.clear();
    plat::ui::ResetMessageBoxes();
    WriteMedium("Win7", Processor::New, c.extraFiles);
    if (c.compress) Write("D/Driver/Win7/US/classicrender.dll", std::string("SZDD\x88\xF0\x27\x33\x41\x00\x06\x00\x00\x00", 14));
    SetupContext ctx;
    Prepare(ctx, 6, 1, false);
    EXPECT_FALSE(Run(ctx)) << c.what;
    EXPECT_TRUE(plat::ui::MessageBoxLog().empty()) << c.what;
    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 4, nullptr, 0, &needed, &count);
    EXPECT_EQ(count, 0u) << c.what;
  }
}

TEST_F(InstallWorker, AUsbLineForAnotherPrinterDoesNotFit) {
  WriteMedium("Win7", Processor::None);
  SetupContext ctx;
  Prepare(ctx, 6, 1, false);
  ctx.connection = installer::Connection::UsbCable;
  installer::SetField(ctx.usbHardwareId, u"USBPRINT\\OTHER1234");
  WCHAR datatype[32] = {};
  EXPECT_EQ(installer::ReadInfModelSection(ctx, datatype), 0);
  installer::SetField(ctx.usbHardwareId, u"USBPRINT\\NEVO2600ABCD");
  EXPECT_EQ(installer::ReadInfModelSection(ctx, datatype), 1);
}

TEST_F(InstallWorker, AnOverlongModelLineFieldFailsInsteadOfBeingCut) {
  WriteMedium("Win7", Processor::None);
  SetupContext ctx;
  Prepare(ctx, 6, 1, false);
  Write("D/Driver/Win7/US/nevo.inf",
        "[Version]\nSignature=x\n[Manufacturer]\nM=NEVO\n[NEVO]\n\"NEVO 2600\"=" + std::string(40, 'S') + "\n");
  plat::profile::DropCache();
  WCHAR datatype[32] = {};
  EXPECT_EQ(installer::ReadInfModelSection(ctx, datatype), 0);
  EXPECT_EQ(installer::Str(ctx.installSection), u"");
}


// The quick install repeats a recorded set: the worker makes the port from
// [PD1] (or uses the named one) and the printer from the data files.
TEST_F(InstallWorker, QuickInstallRepeatsTheRecordedPortAndPrinter) {
  struct Case {
    int portType;
    const char* portName;
  } cases[] = {{1, "NEVO_10.0.0.9"}, {2, "LPT1:"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.portName);
    plat::spooler::Reset();
    plat::spooler::AddPort(u"LPT1:");
    g_posted.clear();
    WriteMedium("Win7x64", Processor::None);
    Write("D/Swiftinst.exe", "quick setup program");
    const std::string data =
        "[Driver]\nPrinterName=NEVO quick\nTestPage=0\nColor=1\n[Port]\nPortType=" + std::to_string(c.portType) +
        "\nPortName=" + c.portName +
        "\n[PI2]\npDriverName=NEVO 2600\npComment=Quick\nAttributes=8\nPriority=1\nDefaultPriority=1\nStartTime=0\n"
        "UntilTime=0\ndmSize=220\ndmDriverExtra=0\n"
        "[PD1]\ndwVersion=1\ndwProtocol=1\ncbSize=964\ndwReserved=0\nsztHostAddress=10.0.0.9\n"
        "sztSNMPCommunity=public\ndwDoubleSpool=0\nsztQueue=\nsztIPAddress=10.0.0.9\ndwPortNumber=9100\n"
        "dwSNMPEnabled=1\ndwSNMPDevIndex=1\n";
    Write("D/NEVO/Datafile.dat", data);
    Bytes records;
    PutRecord(records, u"Copies", REG_DWORD, {3, 0, 0, 0});
    const Bytes pp = Pack(records);
    Write("D/NEVO/PPfile.dat", std::string(pp.begin(), pp.end()));
    Bytes dm(220, 0);
    dm[offsetof(DEVMODEW, dmSize)] = 220;
    const Bytes stored = Stored(dm);
    Write("D/NEVO/DMfile.dat", std::string(stored.begin(), stored.end()));
    SetupContext ctx;
    Prepare(ctx, 6, 1, true);
    ctx.type = 3;
    ctx.langStyle = 0;
    ctx.printerDataRecordCount = 1;
    installer::SetField(ctx.uninstIniPath, u"D:\\uninst.ini");
    ASSERT_EQ(installer::ReadQuickInstallData(ctx), 1);
    EXPECT_EQ(installer::Str(ctx.productFolder), u"NEVO 2600");
    ctx.languageLibrary = LoadLibraryW(ctx.languageLibraryPath);
    ASSERT_TRUE(Run(ctx));
    FreeLibrary(ctx.languageLibrary);
    EXPECT_TRUE(plat::ui::MessageBoxLog().empty());
    const auto port = plat::spooler::PortStatusOf(plat::u16(c.portName));
    ASSERT_TRUE(port.has_value());
    if (c.portType == 1) {
      EXPECT_EQ(port->monitor, u"Standard TCP/IP Port");
      EXPECT_EQ(port->hostAddress, u"10.0.0.9");
      EXPECT_EQ(port->community, u"public");
      EXPECT_EQ(port->portNumber, 9100u);
      EXPECT_EQ(port->protocol, 1u);
      EXPECT_EQ(port->snmpEnabled, 1u);
    }
    EXPECT_EQ(plat::spooler::Ports().size(), c.portType == 1 ? 2u : 1u);
    const auto copies = plat::spooler::GetData(u"NEVO quick", u"Copies");
    ASSERT_TRUE(copies.has_value());
    EXPECT_EQ(copies->bytes, (std::vector<BYTE>{3, 0, 0, 0}));
    EXPECT_EQ(plat::spooler::Devmode(u"NEVO quick").size(), 220u);
    // The tool folder's launcher is the quick set's.
    std::ifstream launcher(Host("C/Program Files/NEVO Works/NEVO 2600/Tool/Setup.exe"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(launcher), {}), "quick setup program");
  }
}

// From Windows 8 a plugged printer installs itself from a stored package whose
// INF names its id (the driver too, when it is missing); before, the system
// opens its new-hardware window and leaves the device to the installer.
TEST_F(InstallWorker, PluggedPrinterInstallsItselfFromAStoredPackageFromWindows8) {
  const struct {
    const char* what;
    DWORD major, minor;
    bool x64;
    bool stored, driverThere;
    const char16_t* hardwareId;
    bool installs;
    int windows;
  } cases[] = {
      {"Win8", 6, 2, false, true, false, u"USBPRINT\\NEVO2600ABCD", true, 0},
      {"Win8x64, driver there", 6, 2, true, true, true, u"USBPRINT\\NEVO2600ABCD", true, 0},
      {"Win10", 10, 0, false, true, false, u"USBPRINT\\NEVO2600ABCD", true, 0},
      {"Win8 without a package", 6, 2, false, false, false, u"USBPRINT\\NEVO2600ABCD", false, 0},
      {"Win8, another device", 6, 2, false, true, false, u"USBPRINT\\NEVO2600ABC", false, 0},
      {"Win7", 6, 1, false, true, false, u"USBPRINT\\NEVO2600ABCD", false, 1},
      {"WinXP", 5, 1, false, true, false, u"USBPRINT\\NEVO2600ABCD", false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    plat::spooler::Reset();
    plat::registry::Reset();
    fs::remove_all(root_ / "C" / "WINDOWS" / "system32");
    fs::remove(root_ / ".machine" / "state" / "devices");
    SetOs(c.major, c.minor, c.x64);
    WriteMedium("Win8", Processor::None);
    if (c.stored) {
      WCHAR stored[MAX_PATH] = {};
      ULONG size = MAX_PATH;
      ASSERT_EQ(UploadPrinterDriverPackageW(nullptr, u"D:\\Driver\\Win8\\US\\nevo.inf", nullptr, 0, nullptr, stored, &size), 0);
      if (c.driverThere) {
        ASSERT_EQ(InstallPrinterDriverFromPackageW(nullptr, stored, u"NEVO 2600", nullptr, 0), 0);
      }
    }
    ASSERT_TRUE(plat::devices::Plug(c.hardwareId, u"USB001"));
    EXPECT_EQ(plat::devices::OpenNewHardwareWindows(), c.windows);
    const auto devices = plat::devices::UsbPrinters();
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].driver, c.installs ? u"NEVO 2600" : u"");

    DWORD needed = 0, count = 0;
    EnumPrinterDriversW(nullptr, nullptr, 6, nullptr, 0, &needed, &count);
    std::vector<BYTE> drivers(needed ? needed : 1);
    ASSERT_TRUE(EnumPrinterDriversW(nullptr, nullptr, 6, drivers.data(), needed, &needed, &count));
    EXPECT_EQ(count, c.installs || c.driverThere ? 1u : 0u);
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> printers(needed ? needed : 1);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, printers.data(), needed, &needed, &count));
    ASSERT_EQ(count, c.installs ? 1u : 0u);
    if (!c.installs) continue;
    const auto& p = *reinterpret_cast<const PRINTER_INFO_2W*>(printers.data());
    EXPECT_EQ(installer::Str(p.pPrinterName), u"NEVO 2600");
    EXPECT_EQ(installer::Str(p.pPortName), u"USB001");
    EXPECT_EQ(installer::Str(p.pDriverName), u"NEVO 2600");
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(p.pPrinterName, &printer, nullptr));
    WCHAR instance[128] = {};
    DWORD type = 0;
    EXPECT_EQ(GetPrinterDataExW(printer, u"PnPData", u"DeviceInstanceId", &type, reinterpret_cast<LPBYTE>(instance),
                                sizeof instance, &needed),
              0u);
    ClosePrinter(printer);
    EXPECT_EQ(installer::Str(instance), devices[0].instanceId);
    // Plugged again, it keeps its one printer.
    ASSERT_TRUE(plat::devices::Unplug(c.hardwareId));
    ASSERT_TRUE(plat::devices::Plug(c.hardwareId, u"USB001"));
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> again(needed ? needed : 1);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, again.data(), needed, &needed, &count));
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u);
  }
}

}  // namespace
}  // namespace installer_test
