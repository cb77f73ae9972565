// The service control manager with the one service the installer drives:
// "Spooler". Stopping and starting take a delay of the machine clock
// (STOP_PENDING, START_PENDING); while the spooler is not running, every
// call that reaches it fails with RPC_S_SERVER_UNAVAILABLE. A start lets go
// of the drivers the spooler held. In a machine root made by tools/machine
// the state persists in ROOT/.machine/state/services.
#pragma once

#include "plat/base.h"

using SC_HANDLE = void*;
constexpr DWORD SC_MANAGER_CONNECT = 0x0001;
constexpr DWORD SC_MANAGER_ALL_ACCESS = 0xF003F;
constexpr DWORD SERVICE_QUERY_STATUS = 0x0004;
constexpr DWORD SERVICE_START = 0x0010;
constexpr DWORD SERVICE_STOP = 0x0020;
constexpr DWORD SERVICE_INTERROGATE = 0x0080;
constexpr DWORD SERVICE_ALL_ACCESS = 0xF01FF;

constexpr DWORD SERVICE_CONTROL_STOP = 0x00000001;
constexpr DWORD SERVICE_CONTROL_INTERROGATE = 0x00000004;

constexpr DWORD SERVICE_STOPPED = 1;
constexpr DWORD SERVICE_START_PENDING = 2;
constexpr DWORD SERVICE_STOP_PENDING = 3;
constexpr DWORD SERVICE_RUNNING = 4;
constexpr DWORD SERVICE_WIN32_OWN_PROCESS = 0x10;
constexpr DWORD SERVICE_ACCEPT_STOP = 0x1;

constexpr DWORD ERROR_SERVICE_REQUEST_TIMEOUT = 1053;
constexpr DWORD ERROR_SERVICE_ALREADY_RUNNING = 1056;
constexpr DWORD ERROR_SERVICE_DOES_NOT_EXIST = 1060;
constexpr DWORD ERROR_SERVICE_CANNOT_ACCEPT_CTRL = 1061;
constexpr DWORD ERROR_SERVICE_NOT_ACTIVE = 1062;
constexpr DWORD ERROR_INVALID_SERVICE_CONTROL = 1052;
constexpr DWORD RPC_S_SERVER_UNAVAILABLE = 1722;

struct SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
};
static_assert(sizeof(SERVICE_STATUS) == 28);
using LPSERVICE_STATUS = SERVICE_STATUS*;

extern "C" {
// Local machine only (a null or empty machine name).
PLATAPI SC_HANDLE OpenSCManagerW(LPCWSTR machine, LPCWSTR database, DWORD access);
// ERROR_SERVICE_DOES_NOT_EXIST for any name but "Spooler" (without case).
PLATAPI SC_HANDLE OpenServiceW(SC_HANDLE manager, LPCWSTR name, DWORD access);
PLATAPI BOOL CloseServiceHandle(SC_HANDLE handle);
// INTERROGATE: the status; a stopped service fails with
// ERROR_SERVICE_NOT_ACTIVE and still fills the status. STOP: a running
// service becomes STOP_PENDING; pending or stopped services fail with
// ERROR_SERVICE_CANNOT_ACCEPT_CTRL / ERROR_SERVICE_NOT_ACTIVE.
PLATAPI BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
// A stopped service becomes START_PENDING; otherwise ERROR_SERVICE_ALREADY_RUNNING.
PLATAPI BOOL StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR* argv);
PLATAPI BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
}

namespace plat::services {
struct Faults {
  bool refuseStop = false;       // STOP fails with ERROR_SERVICE_CANNOT_ACCEPT_CTRL
  bool refuseStart = false;      // StartServiceW fails with ERROR_SERVICE_REQUEST_TIMEOUT
  bool keepDriversHeld = false;  // a start does not let go of held drivers
  DWORD pendingMs = 1500;        // machine-clock time a stop or start takes
};
PLATAPI void SetFaults(const Faults& faults);
// true while the spooler runs (a pending change that is due takes effect).
PLATAPI bool SpoolerRunning();
// What the spooler does when its service starts again and lets go of the
// drivers it held; the spooler registers it.
PLATAPI void OnSpoolerRestart(void (*restart)());
// The spooler running, no faults, no open handles counted.
PLATAPI void Reset();
// What a restart of the machine does to the services: the spooler runs.
PLATAPI void Boot();
// A restart of the machine: Boot, and the spooler, started afresh, holds no drivers.
PLATAPI void Restart();
// Open service and manager handles, for leak checks.
PLATAPI std::size_t OpenHandleCount();
}  // namespace plat::services
