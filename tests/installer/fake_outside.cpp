// A stand-in for the medium's outside libraries in the installer's tests: it
// answers the search as FAKE_SEARCH says and writes down what it was given
// (FAKE_OUTSIDE_LOG, a host file).
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "installer/search_library.h"
#include "plat/windows.h"

namespace {
void Log(const std::string& line, const void* bytes = nullptr, std::size_t size = 0) {
  const char* path = std::getenv("FAKE_OUTSIDE_LOG");
  if (!path) return;
  std::ofstream out(path, std::ios::app | std::ios::binary);
  out << line;
  if (bytes) out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
  out << "\n";
}
}  // namespace

extern "C" DLLEXPORT NevoSetFilterFn NevoSetFilter;
extern "C" DLLEXPORT NevoEnumPrintServersFn NevoEnumPrintServers;

extern "C" DLLEXPORT INT NevoSetFilter(const BYTE* filter, INT words) {
  Log("filter " + std::to_string(words) + " ", filter, 48);
  return 1;
}

// FAKE_SEARCH: "slow" answers two devices after 800 ms of real time;
// "many" reports 300 answers (the buffer holds 256); "status0" a status of 0.
extern "C" DLLEXPORT INT NevoEnumPrintServers(DWORD, DWORD, BYTE* results, DWORD bytes, INT* status, INT* count) {
  const char* mode = std::getenv("FAKE_SEARCH");
  const std::string m = mode ? mode : "";
  Log("search " + std::to_string(bytes));
  if (m == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const int answers = m == "many" ? 300 : 2;
  const int fit = static_cast<int>(bytes / 44) < answers ? static_cast<int>(bytes / 44) : answers;
  for (int i = 0; i < fit; ++i) {
    BYTE* e = results + 44 * i;
    std::memset(e, 0, 44);
    for (int b = 0; b < 6; ++b) e[b] = static_cast<BYTE>(0xA0 + b + i);
    e[8] = 10;
    e[9] = 0;
    e[10] = static_cast<BYTE>(i >> 8);
    e[11] = static_cast<BYTE>(i & 0xFF);
    const std::string name = "Device " + std::to_string(i);
    // The last device fills its 32 bytes with no terminator.
    if (i == 1) std::memset(e + 12, 'X', 32);
    else std::memcpy(e + 12, name.c_str(), name.size());
  }
  *status = m == "status0" ? 0 : 1;
  *count = answers;
  return 1;
}

extern "C" DLLEXPORT BOOL NevoAddPortW(LPCWSTR portName, DWORD level, const BYTE* data) {
  Log("addport " + plat::utf8(plat::view(portName)) + " " + std::to_string(level) + " ", data, 1052);
  const char* result = std::getenv("FAKE_ADDPORT");
  return result ? std::atoi(result) : 1;
}

extern "C" DLLEXPORT BOOL Qp4wPortMonitorInstall(HWND, char* output, DWORD outputSize, const char* arguments, DWORD) {
  Log(std::string("monitor ") + std::to_string(outputSize) + " " + (output && !output[0] ? "zeroed" : "dirty") + " ",
      arguments, std::strlen(arguments));
  const char* result = std::getenv("FAKE_MONITOR");
  return result ? std::atoi(result) : 1;
}
