// The print host: the engine's side of a job, in the engine's call order.
#include "plat/print_host.h"

#include "plat/engine_draw.h"

#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "plat/machine.h"
#include "plat/strings.h"

namespace plat::print_host {

std::unique_ptr<Driver> Driver::Load(const std::u16string& path, DWORD* error) {
  DWORD dummy = 0;
  DWORD& err = error ? *error : dummy;
  std::string narrow = plat::utf8(path);
  void* module = dlopen(narrow.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    err = ERROR_MOD_NOT_FOUND;
    return nullptr;
  }
  auto enable = reinterpret_cast<PFN_DrvEnableDriver>(dlsym(module, "DrvEnableDriver"));
  if (!enable) {
    dlclose(module);
    err = ERROR_PROC_NOT_FOUND;
    return nullptr;
  }
  DRVENABLEDATA ded{};
  SetLastError(0);
  if (!enable(DDI_DRIVER_VERSION_NT4, sizeof(ded), &ded) || (ded.c > 0 && !ded.pdrvfn) || ded.c > INDEX_LAST + 1) {
    err = GetLastError() ? GetLastError() : ERROR_BAD_DRIVER_LEVEL;
    dlclose(module);
    return nullptr;
  }
  std::unique_ptr<Driver> d(new Driver());
  d->module_ = module;
  d->version_ = ded.iDriverVersion;
  d->table_.assign(ded.pdrvfn, ded.pdrvfn + ded.c);
  err = ERROR_SUCCESS;
  return d;
}

Driver::~Driver() {
  if (!module_) return;
  if (auto disable = reinterpret_cast<PFN_DrvDisableDriver>(dlsym(module_, "DrvDisableDriver"))) disable();
  dlclose(module_);
}

PFN Driver::Entry(ULONG index) const {
  for (const DRVFN& f : table_)
    if (f.iFunc == index) return f.pfn;
  return nullptr;
}

namespace {

template <typename F>
F Bind(const Driver& d, ULONG index) {
  return reinterpret_cast<F>(d.Entry(index));
}

// The entries of one job, bound once.
struct Entries {
  PFN_DrvEnablePDEV enablePdev;
  PFN_DrvCompletePDEV completePdev;
  PFN_DrvDisablePDEV disablePdev;
  PFN_DrvEnableSurface enableSurface;
  PFN_DrvDisableSurface disableSurface;
  PFN_DrvResetPDEV resetPdev;
  PFN_DrvStartDoc startDoc;
  PFN_DrvStartPage startPage;
  PFN_DrvSendPage sendPage;
  PFN_DrvEndDoc endDoc;
  std::vector<DRVFN> table;  // the whole table, kept by the engine for each device

  explicit Entries(const Driver& d)
      : enablePdev(Bind<PFN_DrvEnablePDEV>(d, INDEX_DrvEnablePDEV)),
        completePdev(Bind<PFN_DrvCompletePDEV>(d, INDEX_DrvCompletePDEV)),
        disablePdev(Bind<PFN_DrvDisablePDEV>(d, INDEX_DrvDisablePDEV)),
        enableSurface(Bind<PFN_DrvEnableSurface>(d, INDEX_DrvEnableSurface)),
        disableSurface(Bind<PFN_DrvDisableSurface>(d, INDEX_DrvDisableSurface)),
        resetPdev(Bind<PFN_DrvResetPDEV>(d, INDEX_DrvResetPDEV)),
        startDoc(Bind<PFN_DrvStartDoc>(d, INDEX_DrvStartDoc)),
        startPage(Bind<PFN_DrvStartPage>(d, INDEX_DrvStartPage)),
        sendPage(Bind<PFN_DrvSendPage>(d, INDEX_DrvSendPage)),
        endDoc(Bind<PFN_DrvEndDoc>(d, INDEX_DrvEndDoc)),
        table(d.Table()) {}

  // Every entry a job needs, except DrvResetPDEV (only needed on a change).
  bool Complete() const {
    return enablePdev && completePdev && disablePdev && enableSurface && disableSurface && startDoc && startPage &&
           sendPage && endDoc;
  }
};

// One device of the job: the engine's HDEV, the driver's record and its
// locked surface.
struct HostDevice {
  HDEV hdev = nullptr;
  DHPDEV pdev = nullptr;
  HSURF hsurf = nullptr;
  SURFOBJ* so = nullptr;
};

class Run {
 public:
  Run(const Job& job, const Entries& e, Result& r) : job_(job), e_(e), r_(r) {}

  void Fail(const char* entry) {
    if (r_.failedEntry.empty()) {
      r_.failedEntry = entry;
      r_.error = GetLastError();
    }
  }

  // DrvEnablePDEV and DrvCompletePDEV with the given DEVMODE bytes.
  bool Enable(std::vector<BYTE>& devmode, HostDevice& dev) {
    dev.hdev = plat::engine::CreateDevice(job_.printer);
    GDIINFO gdi{};
    DEVINFO devinfo{};
    HSURF patterns[kHostPatternCount] = {};
    std::u16string port = job_.port;
    std::u16string name = job_.deviceName;
    auto* pdm = devmode.empty() ? nullptr : reinterpret_cast<DEVMODEW*>(devmode.data());
    r_.calls.push_back("DrvEnablePDEV");
    SetLastError(0);
    dev.pdev = e_.enablePdev(pdm, port.data(), kHostPatternCount, patterns, sizeof(gdi), reinterpret_cast<ULONG*>(&gdi),
                             sizeof(devinfo), &devinfo, dev.hdev, name.data(), job_.printer);
    if (!dev.pdev) {
      Fail("DrvEnablePDEV");
      plat::engine::DeleteDevice(dev.hdev);
      dev.hdev = nullptr;
      return false;
    }
    plat::engine::SetDevicePdev(dev.hdev, dev.pdev);
    // What the engine's drawing needs of the device: its entries, hatch
    // surfaces and cosmetic style steps.
    plat::engine::SetDeviceDriver(dev.hdev, e_.table.data(), static_cast<ULONG>(e_.table.size()));
    plat::engine::SetDeviceHatches(dev.hdev, patterns, kHostPatternCount);
    plat::engine::SetDeviceStyleSteps(dev.hdev, gdi.xStyleStep, gdi.yStyleStep, gdi.denStyleStep);
    plat::engine::SetDevicePalette(dev.hdev, devinfo.hpalDefault);
    if (job_.onEnable) job_.onEnable(gdi, devinfo, std::vector<HSURF>(patterns, patterns + kHostPatternCount));
    r_.calls.push_back("DrvCompletePDEV");
    e_.completePdev(dev.pdev, dev.hdev);
    return true;
  }

  bool EnableSurface(HostDevice& dev) {
    r_.calls.push_back("DrvEnableSurface");
    SetLastError(0);
    dev.hsurf = e_.enableSurface(dev.pdev);
    if (!dev.hsurf) {
      Fail("DrvEnableSurface");
      return false;
    }
    dev.so = EngLockSurface(dev.hsurf);
    if (!dev.so) {
      Fail("EngLockSurface");
      return false;
    }
    return true;
  }

  bool StartDoc(HostDevice& dev) {
    std::u16string doc = job_.documentName;
    r_.calls.push_back("DrvStartDoc");
    SetLastError(0);
    if (!e_.startDoc(dev.so, doc.data(), job_.jobId)) {
      Fail("DrvStartDoc");
      return false;
    }
    return true;
  }

  // DrvDisableSurface (when a surface was made) and DrvDisablePDEV.
  void Disable(HostDevice& dev) {
    if (dev.so) {
      EngUnlockSurface(dev.so);
      dev.so = nullptr;
    }
    if (dev.hsurf) {
      r_.calls.push_back("DrvDisableSurface");
      e_.disableSurface(dev.pdev);
      dev.hsurf = nullptr;
    }
    if (dev.pdev) {
      r_.calls.push_back("DrvDisablePDEV");
      e_.disablePdev(dev.pdev);
      dev.pdev = nullptr;
    }
    if (dev.hdev) {
      plat::engine::DeleteDevice(dev.hdev);
      dev.hdev = nullptr;
    }
  }

  // The engine's ResetDC between pages. On failure the old device stays.
  bool Reset(std::vector<BYTE>& devmode, HostDevice& dev) {
    if (!e_.resetPdev) {
      SetLastError(ERROR_PROC_NOT_FOUND);
      Fail("DrvResetPDEV");
      return false;
    }
    HostDevice next;
    if (!Enable(devmode, next)) return false;
    r_.calls.push_back("DrvResetPDEV");
    SetLastError(0);
    if (!e_.resetPdev(dev.pdev, next.pdev)) {
      Fail("DrvResetPDEV");
      Disable(next);
      return false;
    }
    Disable(dev);
    dev = next;
    return EnableSurface(dev) && StartDoc(dev);
  }

  void Go() {
    std::vector<BYTE> devmode = job_.devmode;
    HostDevice dev;
    if (!Enable(devmode, dev)) return;
    bool started = false;
    bool ok = EnableSurface(dev) && (started = StartDoc(dev));
    for (int page = 0; ok && page < job_.pages; ++page) {
      if (page > 0 && job_.devmodeBeforePage) {
        std::vector<BYTE> next = job_.devmodeBeforePage(page);
        if (!next.empty()) {
          devmode = std::move(next);
          ok = Reset(devmode, dev);
          if (!ok) break;
        }
      }
      if (job_.printer && plat::spooler::IsJobCancelled(job_.printer)) {
        r_.aborted = true;
        ok = false;
        break;
      }
      r_.calls.push_back("DrvStartPage");
      SetLastError(0);
      if (!e_.startPage(dev.so)) {
        Fail("DrvStartPage");
        ok = false;
        break;
      }
      if (job_.drawPage) {
        r_.calls.push_back("draw");
        PageContext ctx{page, dev.so, dev.pdev, dev.hdev};
        if (!job_.drawPage(ctx)) {
          Fail("draw");
          ok = false;
          break;
        }
      }
      r_.calls.push_back("DrvSendPage");
      SetLastError(0);
      if (!e_.sendPage(dev.so)) {
        Fail("DrvSendPage");
        ok = false;
        break;
      }
      ++r_.pagesSent;
      if (job_.afterPage) job_.afterPage(page);
    }
    if (started && dev.so) {
      r_.calls.push_back("DrvEndDoc");
      SetLastError(0);
      if (!e_.endDoc(dev.so, ok ? 0 : ED_ABORTDOC) && ok) {
        Fail("DrvEndDoc");
        ok = false;
      }
    }
    Disable(dev);
    r_.ok = ok && r_.failedEntry.empty() && !r_.aborted;
  }

 private:
  const Job& job_;
  const Entries& e_;
  Result& r_;
};

}  // namespace

Result RunJob(Driver& driver, const Job& job) {
  Result r;
  Entries e(driver);
  if (!e.Complete()) {
    r.failedEntry = "DrvEnableDriver";
    r.error = ERROR_PROC_NOT_FOUND;
    return r;
  }
  // The spooler's side of the document: its job id goes to DrvStartDoc.
  Job spooled = job;
  bool ownJob = false;
  if (job.printer && job.jobId == 0) {
    std::u16string doc = job.documentName;
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    spooled.jobId = StartDocPrinterW(job.printer, 1, reinterpret_cast<LPBYTE>(&info));
    ownJob = spooled.jobId != 0;
  }
  Run(spooled, e, r).Go();
  // The job's last bytes reach its spool file at its end: a failure there fails the job.
  if (ownJob && !EndDocPrinter(job.printer) && r.ok) {
    r.ok = false;
    r.error = GetLastError();
    r.failedEntry = "EndDocPrinter";
  }
  return r;
}

DWORD PrintTestPage(std::u16string_view printerName) {
  const std::u16string name(printerName);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.c_str(), &printer, nullptr)) return GetLastError();
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> info(needed ? needed : 1);
  GetPrinterDriverW(printer, nullptr, 3, nullptr, 0, &needed);
  std::vector<BYTE> driverInfo(needed ? needed : 1);
  if (!GetPrinterW(printer, 2, info.data(), static_cast<DWORD>(info.size()), &needed) ||
      !GetPrinterDriverW(printer, nullptr, 3, driverInfo.data(), static_cast<DWORD>(driverInfo.size()), &needed)) {
    const DWORD error = GetLastError();
    ClosePrinter(printer);
    return error;
  }
  const auto& p2 = *reinterpret_cast<const PRINTER_INFO_2W*>(info.data());
  const std::u16string port(plat::view(p2.pPortName));
  DWORD error = 0;
  auto driver = Driver::Load(
      plat::u16(plat::machine::HostPath(plat::view(reinterpret_cast<const DRIVER_INFO_3W*>(driverInfo.data())->pDriverPath))),
      &error);
  if (!driver) {
    ClosePrinter(printer);
    return error ? error : ERROR_MOD_NOT_FOUND;
  }
  Job job;
  job.printer = printer;
  job.deviceName = name;
  job.port = port;
  if (p2.pDevMode) {
    const auto* bytes = reinterpret_cast<const BYTE*>(p2.pDevMode);
    job.devmode.assign(bytes, bytes + p2.pDevMode->dmSize + p2.pDevMode->dmDriverExtra);
  }
  job.documentName = u"Test Page";
  job.drawPage = [](const PageContext&) { return true; };  // the driver's own page: blank paper
  plat::spooler::ClearOutput(name);
  const Result result = RunJob(*driver, job);
  ClosePrinter(printer);
  if (!result.ok) return result.error ? result.error : ERROR_GEN_FAILURE;
  // What reached the port, kept where the machine's printed pages are.
  std::string folder;
  for (char16_t c : port) folder += (c < 0x80 && std::isalnum(static_cast<int>(c))) ? static_cast<char>(c) : '_';
  const std::filesystem::path out =
      std::filesystem::path(plat::machine::Root()) / ".machine" / "printed" / folder;
  std::error_code ec;
  std::filesystem::create_directories(out, ec);
  const std::vector<BYTE> bytes = plat::spooler::Output(name);
  std::ofstream file(out / ("job" + std::to_string(plat::spooler::LastJobId()) + ".prn"), std::ios::binary);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  plat::spooler::ClearOutput(name);
  return file ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace plat::print_host
