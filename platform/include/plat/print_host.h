// The print host: plays the graphics engine for one printer graphics
// library. It loads the library by path, binds DrvEnableDriver and drives a
// job through the table in the engine's order:
//   DrvEnablePDEV, DrvCompletePDEV, DrvEnableSurface, DrvStartDoc,
//   (DrvStartPage, drawing, DrvSendPage) per page, DrvEndDoc,
//   DrvDisableSurface, DrvDisablePDEV;
// and when the DEVMODE changes before a page: DrvEnablePDEV and
// DrvCompletePDEV of the new device, DrvResetPDEV(old, new),
// DrvDisableSurface and DrvDisablePDEV of the old one, DrvEnableSurface and
// DrvStartDoc of the new one.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "plat/engine.h"
#include "plat/spooler.h"

namespace plat::print_host {

// Signatures of the driver entries the host calls.
using PFN_DrvEnableDriver = BOOL (*)(ULONG iEngineVersion, ULONG cj, DRVENABLEDATA* pded);
using PFN_DrvDisableDriver = void (*)();
using PFN_DrvEnablePDEV = DHPDEV (*)(DEVMODEW* pdm, LPWSTR pwszLogAddress, ULONG cPat, HSURF* phsurfPatterns,
                                     ULONG cjCaps, ULONG* pdevcaps, ULONG cjDevInfo, DEVINFO* pdi, HDEV hdev,
                                     LPWSTR pwszDeviceName, HANDLE hDriver);
using PFN_DrvCompletePDEV = void (*)(DHPDEV dhpdev, HDEV hdev);
using PFN_DrvDisablePDEV = void (*)(DHPDEV dhpdev);
using PFN_DrvEnableSurface = HSURF (*)(DHPDEV dhpdev);
using PFN_DrvDisableSurface = void (*)(DHPDEV dhpdev);
using PFN_DrvResetPDEV = BOOL (*)(DHPDEV dhpdevOld, DHPDEV dhpdevNew);
using PFN_DrvStartDoc = BOOL (*)(SURFOBJ* pso, LPWSTR pwszDocName, DWORD dwJobId);
using PFN_DrvStartPage = BOOL (*)(SURFOBJ* pso);
using PFN_DrvSendPage = BOOL (*)(SURFOBJ* pso);
using PFN_DrvEndDoc = BOOL (*)(SURFOBJ* pso, FLONG fl);

// A loaded driver library with its function table. The library is freed
// (after DrvDisableDriver) when the object goes.
class PLATAPI Driver {
 public:
  // nullptr with the reason in *error (ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND,
  // or the driver's own error when DrvEnableDriver fails).
  static std::unique_ptr<Driver> Load(const std::u16string& path, DWORD* error);
  ~Driver();
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // The entry of a DDI index, or nullptr when the table has none.
  PFN Entry(ULONG index) const;
  const std::vector<DRVFN>& Table() const { return table_; }
  ULONG EngineVersion() const { return version_; }

 private:
  Driver() = default;
  void* module_ = nullptr;
  ULONG version_ = 0;
  std::vector<DRVFN> table_;
};

// One page as the host runs it.
struct PageContext {
  int index = 0;         // 0-based page of the job
  SURFOBJ* surface = nullptr;  // the locked page surface
  DHPDEV pdev = nullptr;       // the driver's record
  HDEV device = nullptr;
};

struct Job {
  HANDLE printer = nullptr;          // the spooler handle given to DrvEnablePDEV
  std::u16string deviceName;         // the printer's name
  std::u16string port;
  std::vector<BYTE> devmode;         // the application's DEVMODE (public part and private bytes); empty: none
  std::u16string documentName = u"Document";
  DWORD jobId = 0;                   // 0: the host starts a spooler job and passes its id
  int pages = 1;
  // Draws one page between DrvStartPage and DrvSendPage; false fails the job.
  std::function<bool(const PageContext&)> drawPage;
  // Called after DrvSendPage of page i succeeded.
  std::function<void(int page)> afterPage;
  // A DEVMODE that replaces the current one before page i (i >= 1); return
  // empty to keep the current one. Used to exercise DrvResetPDEV.
  std::function<std::vector<BYTE>(int page)> devmodeBeforePage;
  // Called after DrvEnablePDEV with what the driver filled in.
  std::function<void(const GDIINFO&, const DEVINFO&, const std::vector<HSURF>& patterns)> onEnable;
};

struct Result {
  bool ok = false;
  DWORD error = 0;                 // last error of the first entry that failed
  std::string failedEntry;         // its name, empty when ok
  std::vector<std::string> calls;  // the entries in the order they were called
  int pagesSent = 0;
  bool aborted = false;            // the spooler's cancel flag stopped the job
};

// Number of hatch pattern handles the host offers DrvEnablePDEV.
constexpr ULONG kHostPatternCount = 6;

// Runs a whole job. Never throws; every device and surface it made is gone
// when it returns.
PLATAPI Result RunJob(Driver& driver, const Job& job);

// What printui's test page does: one page through the installed printer's
// graphics library and "DefaultDevmode"-based DEVMODE; the bytes that reach
// its port are kept as ROOT/.machine/printed/<port>/job<id>.prn (the port's
// name with every character but letters and digits as "_"). ERROR_SUCCESS
// or the failure's code.
PLATAPI DWORD PrintTestPage(std::u16string_view printerName);

}  // namespace plat::print_host
