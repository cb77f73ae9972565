#include "plat/machine.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <mutex>
#include <thread>

#include "machine_state.h"
#include "plat/codepage.h"
#include "plat/strings.h"

namespace fs = std::filesystem;
using plat::machine::Drive;
using plat::machine::OsProfile;

namespace {
using Steady = std::chrono::steady_clock;

// Days since 1970-01-01 of a civil date, and back (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

SYSTEMTIME FromEpochMs(std::int64_t ms) {
  std::int64_t days = ms / 86400000;
  std::int64_t rest = ms % 86400000;
  if (rest < 0) rest += 86400000, --days;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
  SYSTEMTIME t{};
  t.wYear = static_cast<WORD>(y);
  t.wMonth = static_cast<WORD>(m);
  t.wDay = static_cast<WORD>(d);
  t.wDayOfWeek = static_cast<WORD>(((days % 7) + 11) % 7);  // 1970-01-01 was a Thursday (4)
  t.wHour = static_cast<WORD>(rest / 3600000);
  t.wMinute = static_cast<WORD>(rest / 60000 % 60);
  t.wSecond = static_cast<WORD>(rest / 1000 % 60);
  t.wMilliseconds = static_cast<WORD>(rest % 1000);
  return t;
}

std::int64_t ToEpochMs(const SYSTEMTIME& t) {
  return DaysFromCivil(t.wYear, t.wMonth, t.wDay) * 86400000 + t.wHour * 3600000LL + t.wMinute * 60000LL +
         t.wSecond * 1000LL + t.wMilliseconds;
}

// The machine clock: host time that runs unless frozen, plus what Sleep and
// Advance added. Wall time is counted from the last time set.
struct Clock {
  std::int64_t accumulatedMs = 0;  // host time run while not frozen, before runningSince
  Steady::time_point runningSince = Steady::now();
  bool frozen = false;
  std::int64_t advancedMs = 0;
  std::int64_t wallBaseMs = 0;   // UTC at virtualAtSet
  std::int64_t virtualAtSet = 0;
  int utcOffsetMinutes = 0;
  double sleepScale = 1.0;
  std::int64_t readStepMs = 0;  // added after every time-of-day read

  std::int64_t HostRunMs() const {
    if (frozen) return accumulatedMs;
    return accumulatedMs +
           std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - runningSince).count();
  }
  std::int64_t VirtualMs() const { return HostRunMs() + advancedMs; }
  std::int64_t UtcMs() const { return wallBaseMs + (VirtualMs() - virtualAtSet); }
};

int HostUtcOffsetMinutes() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

std::int64_t HostUtcMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

struct Machine {
  std::mutex lock;
  std::string root;
  std::string defaultRoot;  // made for this process; "" with PLAT_ROOT
  pid_t rootOwner = 0;      // the process that made it
  std::vector<Drive> drives;
  std::u16string windowsDir;
  std::u16string tempPath;
  std::u16string userName;
  UINT ansiCodePage = 1252;
  UINT oemCodePage = 437;
  OsProfile os;
  Clock clock;

  void Defaults() {
    drives = {Drive{}};
    windowsDir = u"C:\\WINDOWS";
    tempPath = u"C:\\TEMP\\";
    userName = u"user";
    ansiCodePage = 1252;
    oemCodePage = 437;
    os = OsProfile{};
    clock = Clock{};
    clock.wallBaseMs = HostUtcMs();
    clock.utcOffsetMinutes = HostUtcOffsetMinutes();
    // A process started by a test can be told to wait less than it says.
    if (const char* scale = std::getenv("PLAT_SLEEP_SCALE"); scale && *scale) {
      const double value = std::atof(scale);
      clock.sleepScale = value < 0 ? 0 : value;
    }
  }
};

void RemoveDefaultRoot();

// A program started from a drive folder of a machine root ("ROOT/D/setup.exe")
// belongs to that machine: the first ancestor holding ".machine" whose child
// on the way is a drive letter.
std::string RootAboveProgram() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  for (fs::path child = exe.parent_path(), up = child.parent_path(); child != up; child = up, up = up.parent_path()) {
    const std::string name = child.filename().string();
    const bool letter = name.size() == 1 && std::isalpha(static_cast<unsigned char>(name[0]));
    if (letter && fs::is_directory(up / ".machine", ec)) return up.string();
  }
  return {};
}

// Default roots of processes that ended without their exit handlers (killed,
// or children that leave with _exit) are removed by the next process.
void RemoveStaleRoots(const fs::path& tmp) {
  std::error_code ec;
  for (fs::directory_iterator it(tmp, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    constexpr std::string_view prefix = "plat-machine-";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    const std::string digits = name.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 9) continue;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) {
      std::error_code ignored;
      fs::remove_all(it->path(), ignored);
    }
  }
}


// ---- the profile of a persistent machine root: ROOT/.machine/state/profile ----
const char* const kDriveTypes[] = {"unknown", "none", "removable", "fixed", "remote", "cdrom", "ramdisk"};

std::string ProfileText(const Machine& m) {
  std::vector<std::string> lines;
  auto add = [&](const std::string& key, const std::string& value) { lines.push_back(key + "\t" + value); };
  const OsProfile& os = m.os;
  add("version", std::to_string(os.major) + "." + std::to_string(os.minor) + "." + std::to_string(os.build));
  add("platform", os.platformId == VER_PLATFORM_WIN32_WINDOWS ? "9x" : "nt");
  add("product", os.productType == VER_NT_SERVER ? "server" : os.productType == VER_NT_DOMAIN_CONTROLLER ? "dc" : "workstation");
  add("arch", os.nativeArchitecture == PROCESSOR_ARCHITECTURE_AMD64 ? "x64"
              : os.nativeArchitecture == PROCESSOR_ARCHITECTURE_IA64 ? "ia64" : "x86");
  char lang[8];
  std::snprintf(lang, sizeof lang, "0x%04X", os.userLangId);
  add("lang", lang);
  add("service-pack", plat::utf8(os.servicePack));
  add("windows", plat::utf8(m.windowsDir));
  add("temp", plat::utf8(m.tempPath));
  add("user", plat::utf8(m.userName));
  add("ansi-code-page", std::to_string(m.ansiCodePage));
  for (const auto& d : m.drives) {
    std::string letter(1, static_cast<char>(d.letter));
    add("drive", letter + "\t" + kDriveTypes[d.type < 7 ? d.type : 0] + "\t" + plat::utf8(d.fileSystem) + "\t" +
                     plat::utf8(d.label) + "\t" + std::to_string(d.serial));
  }
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  return text;
}

void ApplyProfileText(Machine& m, const std::string& text) {
  std::vector<Drive> drives;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::vector<std::string> f;
    for (std::size_t a = start; a <= end;) {
      std::size_t b = text.find('\t', a);
      if (b == std::string::npos || b > end) b = end;
      f.push_back(text.substr(a, b - a));
      a = b + 1;
    }
    start = end + 1;
    if (f.size() < 2) continue;
    const std::string& key = f[0];
    const std::string& v = f[1];
    OsProfile& os = m.os;
    if (key == "version") {
      unsigned major = 0, minor = 0, build = 0;
      if (std::sscanf(v.c_str(), "%u.%u.%u", &major, &minor, &build) >= 2) {
        os.major = major;
        os.minor = minor;
        os.build = build;
      }
    } else if (key == "platform") {
      os.platformId = v == "9x" ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
    } else if (key == "product") {
      os.productType = v == "server" ? VER_NT_SERVER : v == "dc" ? VER_NT_DOMAIN_CONTROLLER : VER_NT_WORKSTATION;
    } else if (key == "arch") {
      os.nativeArchitecture = v == "x64" ? PROCESSOR_ARCHITECTURE_AMD64
                              : v == "ia64" ? PROCESSOR_ARCHITECTURE_IA64 : PROCESSOR_ARCHITECTURE_INTEL;
      os.processArchitecture = os.nativeArchitecture;
    } else if (key == "lang") {
      os.userLangId = static_cast<WORD>(std::strtoul(v.c_str(), nullptr, 0));
    } else if (key == "service-pack") {
      os.servicePack = plat::u16(v);
    } else if (key == "windows") {
      m.windowsDir = plat::u16(v);
    } else if (key == "temp") {
      m.tempPath = plat::u16(v);
    } else if (key == "user") {
      m.userName = plat::u16(v);
    } else if (key == "ansi-code-page") {
      m.ansiCodePage = static_cast<UINT>(std::strtoul(v.c_str(), nullptr, 10));
    } else if (key == "drive" && f.size() >= 6 && v.size() == 1) {
      Drive d;
      d.letter = static_cast<char16_t>(v[0]);
      d.type = DRIVE_UNKNOWN;
      for (UINT t = 0; t < 7; ++t)
        if (f[2] == kDriveTypes[t]) d.type = t;
      d.fileSystem = plat::u16(f[3]);
      d.label = plat::u16(f[4]);
      d.serial = static_cast<DWORD>(std::strtoul(f[5].c_str(), nullptr, 10));
      drives.push_back(d);
    }
  }
  if (!drives.empty()) {
    std::sort(drives.begin(), drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    m.drives = drives;
  }
}

// Takes up the profile of a persistent root, when it has one.
void LoadProfileOf(Machine& m) {
  std::ifstream in(m.root + "/.machine/state/profile", std::ios::binary);
  if (!in) return;
  std::ostringstream text;
  text << in.rdbuf();
  ApplyProfileText(m, text.str());
}

Machine& M() {
  static Machine* m = [] {
    auto* machine = new Machine;
    machine->Defaults();
    if (const char* env = std::getenv("PLAT_ROOT"); env && *env) {
      machine->root = env;
    } else if (std::string found = RootAboveProgram(); !found.empty()) {
      machine->root = found;
    } else {
      std::error_code ec;
      fs::path tmp = fs::temp_directory_path(ec);
      if (ec) tmp = "/tmp";
      RemoveStaleRoots(tmp);
      machine->root = (tmp / ("plat-machine-" + std::to_string(getpid()))).string();
      machine->defaultRoot = machine->root;
      machine->rootOwner = getpid();
      std::atexit(RemoveDefaultRoot);
    }
    LoadProfileOf(*machine);
    // A program started by a test may run its waits faster.
    if (const char* env = std::getenv("PLAT_SLEEP_SCALE"); env && *env)
      machine->clock.sleepScale = std::max(0.0, std::atof(env));
    return machine;
  }();
  return *m;
}

// The default root belongs to this process alone; it goes when the process
// ends so that test runs leave nothing behind.
void RemoveDefaultRoot() {
  Machine& m = M();
  if (m.defaultRoot.empty() || m.rootOwner != getpid()) return;  // a forked child leaves it alone
  std::error_code ec;
  fs::remove_all(m.defaultRoot, ec);
}

char16_t UpperLetter(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

const Drive* FindDrive(const Machine& m, char16_t letter) {
  letter = UpperLetter(letter);
  for (const auto& d : m.drives)
    if (d.letter == letter) return &d;
  return nullptr;
}

// The drive letter of a root such as "E:\", "E:/" or "E:"; 0 when it is not one.
char16_t RootLetter(LPCWSTR root, bool needSeparator) {
  if (!root || !IsLetter(root[0]) || root[1] != u':') return 0;
  if (root[2] == 0) return needSeparator ? 0 : UpperLetter(root[0]);
  if ((root[2] == u'\\' || root[2] == u'/') && root[3] == 0) return UpperLetter(root[0]);
  return 0;
}

// Windows-style result of the folder queries: the length without the
// terminator, or the size needed with it when the buffer is too small.
DWORD CopyOut(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (!buffer || size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

bool CopyField(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (!buffer) return true;
  if (size < text.size() + 1) return false;
  std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
  buffer[text.size()] = 0;
  return true;
}

void FillSystemInfo(LPSYSTEM_INFO info, WORD architecture) {
  if (!info) return;
  std::memset(info, 0, sizeof *info);
  const OsProfile os = plat::machine::GetOsProfile();
  const bool is64 = architecture == PROCESSOR_ARCHITECTURE_AMD64 || architecture == PROCESSOR_ARCHITECTURE_IA64;
  info->wProcessorArchitecture = architecture;
  info->dwPageSize = 4096;
  info->lpMinimumApplicationAddress = reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(0x10000));
  info->lpMaximumApplicationAddress =
      reinterpret_cast<LPVOID>(static_cast<std::uintptr_t>(is64 ? 0x7FFFFFFEFFFFull : 0x7FFEFFFFull));
  info->dwNumberOfProcessors = os.processors;
  info->dwActiveProcessorMask = os.processors >= 32 ? 0xFFFFFFFFu : ((DWORD_PTR{1} << os.processors) - 1);
  info->dwProcessorType = architecture == PROCESSOR_ARCHITECTURE_AMD64 ? 8664 : architecture == PROCESSOR_ARCHITECTURE_IA64 ? 2200 : 586;
  info->dwAllocationGranularity = 65536;
  info->wProcessorLevel = 6;
}

// The folder of a Windows path on the host, created with its parents.
void EnsureFolder(std::u16string_view windowsPath) {
  std::string host;
  if (!plat::machine::HostPath(windowsPath, host)) return;
  std::error_code ec;
  fs::create_directories(host, ec);
}
}  // namespace

extern "C" {
DWORD GetLogicalDriveStringsW(DWORD size, LPWSTR buffer) {
  std::u16string list;
  for (const auto& d : plat::machine::Drives()) {
    list += d.letter;
    list += u":\\";
    list += u'\0';
  }
  const DWORD needed = static_cast<DWORD>(list.size() + 1);
  if (!buffer || size < needed) return needed;
  std::memcpy(buffer, list.data(), list.size() * sizeof(WCHAR));
  buffer[list.size()] = 0;
  return static_cast<DWORD>(list.size());
}

UINT GetDriveTypeW(LPCWSTR root) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  const char16_t letter = root ? RootLetter(root, false) : (m.windowsDir.empty() ? 0 : UpperLetter(m.windowsDir[0]));
  if (!letter) return DRIVE_NO_ROOT_DIR;
  const Drive* d = FindDrive(m, letter);
  return d ? d->type : DRIVE_NO_ROOT_DIR;
}

BOOL GetVolumeInformationW(LPCWSTR root, LPWSTR volumeName, DWORD volumeNameSize, LPDWORD serial,
                           LPDWORD maxComponentLength, LPDWORD fileSystemFlags, LPWSTR fileSystemName,
                           DWORD fileSystemNameSize) {
  Drive drive;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    const char16_t letter = root ? RootLetter(root, true) : (m.windowsDir.empty() ? 0 : UpperLetter(m.windowsDir[0]));
    if (!letter) {
      SetLastError(ERROR_INVALID_NAME);
      return FALSE;
    }
    const Drive* d = FindDrive(m, letter);
    if (!d) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return FALSE;
    }
    drive = *d;
  }
  if (!CopyField(drive.label, volumeName, volumeNameSize) ||
      !CopyField(drive.fileSystem, fileSystemName, fileSystemNameSize)) {
    SetLastError(ERROR_BAD_LENGTH);
    return FALSE;
  }
  if (serial) *serial = drive.serial;
  if (maxComponentLength) *maxComponentLength = 255;
  // Case-preserved and Unicode names on every file system; NTFS adds more.
  if (fileSystemFlags) *fileSystemFlags = drive.fileSystem == u"NTFS" ? 0x000700FFu : 0x00000006u;
  return TRUE;
}

UINT GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
  std::u16string dir;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    dir = m.windowsDir;
  }
  EnsureFolder(dir);
  return CopyOut(dir, buffer, size);
}

DWORD GetTempPathW(DWORD size, LPWSTR buffer) {
  std::u16string dir;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    dir = m.tempPath;
  }
  EnsureFolder(dir);
  return CopyOut(dir, buffer, size);
}

BOOL GetUserNameW(LPWSTR buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string name;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    name = m.userName;
  }
  const DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, name.data(), name.size() * sizeof(WCHAR));
  buffer[name.size()] = 0;
  *size = needed;
  return TRUE;
}

BOOL GetVersionExW(LPOSVERSIONINFOW info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD size = info->dwOSVersionInfoSize;
  if (size != sizeof(OSVERSIONINFOW) && size != sizeof(OSVERSIONINFOEXW)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const OsProfile os = plat::machine::GetOsProfile();
  if (os.versionQueryFails) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  info->dwMajorVersion = os.major;
  info->dwMinorVersion = os.minor;
  info->dwBuildNumber = os.build;
  info->dwPlatformId = os.platformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  const std::size_t n = std::min<std::size_t>(os.servicePack.size(), 127);
  std::memcpy(info->szCSDVersion, os.servicePack.data(), n * sizeof(WCHAR));
  if (size == sizeof(OSVERSIONINFOEXW)) {
    auto* ex = reinterpret_cast<LPOSVERSIONINFOEXW>(info);
    ex->wServicePackMajor = os.servicePackMajor;
    ex->wServicePackMinor = os.servicePackMinor;
    ex->wSuiteMask = os.suiteMask;
    ex->wProductType = os.productType;
    ex->wReserved = 0;
  }
  return TRUE;
}

BOOL GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  OSVERSIONINFOW wide{};
  wide.dwOSVersionInfoSize = sizeof wide;
  if (!GetVersionExW(&wide)) return FALSE;
  info->dwMajorVersion = wide.dwMajorVersion;
  info->dwMinorVersion = wide.dwMinorVersion;
  info->dwBuildNumber = wide.dwBuildNumber;
  info->dwPlatformId = wide.dwPlatformId;
  std::memset(info->szCSDVersion, 0, sizeof info->szCSDVersion);
  const std::string sp = plat::ToNarrow(CP_ACP, plat::view(wide.szCSDVersion));
  std::memcpy(info->szCSDVersion, sp.data(), std::min<std::size_t>(sp.size(), 127));
  return TRUE;
}

DWORDLONG VerSetConditionMask(DWORDLONG conditionMask, DWORD typeMask, BYTE condition) {
  for (int bit = 0; bit < 8; ++bit) {
    if (!(typeMask & (1u << bit))) continue;
    const int shift = bit * 3;
    conditionMask &= ~(DWORDLONG{7} << shift);
    conditionMask |= DWORDLONG{static_cast<BYTE>(condition & 7)} << shift;
  }
  return conditionMask;
}

BOOL VerifyVersionInfoW(LPOSVERSIONINFOEXW info, DWORD typeMask, DWORDLONG conditionMask) {
  if (!info || !typeMask || !conditionMask) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const OsProfile os = plat::machine::GetOsProfile();
  if (os.verifyVersionError) {
    SetLastError(os.verifyVersionError);
    return FALSE;
  }
  auto conditionOf = [&](DWORD bit) {
    int index = 0;
    while (!(bit & 1u)) bit >>= 1, ++index;
    return static_cast<BYTE>((conditionMask >> (index * 3)) & 7);
  };
  auto meets = [](std::int64_t have, std::int64_t want, BYTE condition) {
    switch (condition) {
      case VER_EQUAL: return have == want;
      case VER_GREATER: return have > want;
      case VER_GREATER_EQUAL: return have >= want;
      case VER_LESS: return have < want;
      case VER_LESS_EQUAL: return have <= want;
      default: return false;
    }
  };
  // Major, minor and service pack form one number compared with the
  // condition of the most significant field asked.
  constexpr DWORD kVersionFields = VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR;
  bool ok = true;
  if (typeMask & kVersionFields) {
    std::int64_t have = 0, want = 0;
    BYTE condition = 0;
    const struct { DWORD bit; std::int64_t have, want; } parts[] = {
        {VER_MAJORVERSION, os.major, info->dwMajorVersion},
        {VER_MINORVERSION, os.minor, info->dwMinorVersion},
        {VER_SERVICEPACKMAJOR, os.servicePackMajor, info->wServicePackMajor},
        {VER_SERVICEPACKMINOR, os.servicePackMinor, info->wServicePackMinor}};
    for (const auto& part : parts) {
      have = have * 65536 + ((typeMask & part.bit) ? part.have : 0);
      want = want * 65536 + ((typeMask & part.bit) ? part.want : 0);
      if ((typeMask & part.bit) && !condition) condition = conditionOf(part.bit);
    }
    ok = meets(have, want, condition);
  }
  if (ok && (typeMask & VER_BUILDNUMBER))
    ok = meets(os.build, info->dwBuildNumber, conditionOf(VER_BUILDNUMBER));
  if (ok && (typeMask & VER_PLATFORMID))
    ok = meets(os.platformId, info->dwPlatformId, conditionOf(VER_PLATFORMID));
  if (ok && (typeMask & VER_PRODUCT_TYPE))
    ok = meets(os.productType, info->wProductType, conditionOf(VER_PRODUCT_TYPE));
  if (!ok) SetLastError(ERROR_OLD_WIN_VERSION);
  return ok ? TRUE : FALSE;
}

LANGID GetUserDefaultLangID() { return plat::machine::GetOsProfile().userLangId; }

UINT GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  std::u16string dir;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    dir = m.windowsDir + u"\\system32";
  }
  return CopyOut(dir, buffer, size);
}

void GetSystemInfo(LPSYSTEM_INFO info) { FillSystemInfo(info, plat::machine::GetOsProfile().processArchitecture); }
void GetNativeSystemInfo(LPSYSTEM_INFO info) { FillSystemInfo(info, plat::machine::GetOsProfile().nativeArchitecture); }

void GetSystemTime(SYSTEMTIME* time) {
  if (!time) return;
  Machine& m = M();
  std::lock_guard g(m.lock);
  *time = FromEpochMs(m.clock.UtcMs());
  m.clock.advancedMs += m.clock.readStepMs;
}

void GetLocalTime(SYSTEMTIME* time) {
  if (!time) return;
  Machine& m = M();
  std::lock_guard g(m.lock);
  *time = FromEpochMs(m.clock.UtcMs() + m.clock.utcOffsetMinutes * 60000LL);
  m.clock.advancedMs += m.clock.readStepMs;
}

DWORD GetTickCount() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return static_cast<DWORD>(m.clock.VirtualMs());
}

void Sleep(DWORD ms) {
  double scale;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    scale = m.clock.sleepScale;
  }
  const auto start = Steady::now();
  if (scale > 0 && ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms * scale));
  else std::this_thread::yield();
  Machine& m = M();
  std::lock_guard g(m.lock);
  // The clock moves by exactly ms: what the host clock did not cover is added.
  const std::int64_t ran =
      m.clock.frozen ? 0 : std::chrono::duration_cast<std::chrono::milliseconds>(Steady::now() - start).count();
  if (ran < static_cast<std::int64_t>(ms)) m.clock.advancedMs += ms - ran;
}
}

namespace plat::machine {
void SetRoot(const std::string& hostFolder) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.root = hostFolder;
  LoadProfileOf(m);
}

bool SaveProfile() {
  std::string text;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    text = ProfileText(m);
  }
  return plat::state::Update("profile", [&](std::string& stored) { stored = text; });
}

std::string Root() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return m.root;
}

bool HostPath(std::u16string_view path, std::string& host) {
  std::string root;
  {
    Machine& m = M();
    std::lock_guard g(m.lock);
    // Long-path prefix "\\?\" adds nothing here.
    if (path.size() >= 4 && path.substr(0, 4) == u"\\\\?\\") path.remove_prefix(4);
    if (path.size() < 2 || !IsLetter(path[0]) || path[1] != u':') {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    if (!FindDrive(m, path[0])) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
    root = m.root;
  }
  std::vector<std::u16string> parts;
  std::size_t i = 2;
  while (i < path.size()) {
    std::size_t j = i;
    while (j < path.size() && path[j] != u'\\' && path[j] != u'/') ++j;
    const std::u16string_view part = path.substr(i, j - i);
    i = j + 1;
    if (part.empty() || part == u".") continue;
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    for (char16_t c : part)
      if (c < 0x20 || c == u'<' || c == u'>' || c == u':' || c == u'"' || c == u'|' || c == u'?' || c == u'*') {
        SetLastError(ERROR_INVALID_NAME);
        return false;
      }
    parts.emplace_back(part);
  }
  std::string dir = root + "/" + static_cast<char>(UpperLetter(path[0]));
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) fs::create_directories(dir, ec);
  // Each component takes the spelling of an existing entry that matches it
  // without case; the rest keep the caller's spelling.
  bool searching = true;
  for (const auto& part : parts) {
    std::string name = plat::utf8(part);
    if (searching) {
      struct stat st {};
      if (::lstat((dir + "/" + name).c_str(), &st) != 0) {
        bool found = false;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
          const std::string entry = it->path().filename().string();
          if (plat::EqualsNoCase(plat::u16(entry), part)) {
            name = entry;
            found = true;
            break;
          }
        }
        if (!found) searching = false;
      }
    }
    dir += "/" + name;
  }
  host = std::move(dir);
  return true;
}

std::string HostPath(std::u16string_view path) {
  std::string host;
  return HostPath(path, host) ? host : std::string();
}

void SetDrives(const std::vector<Drive>& drives) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.drives.clear();
  for (Drive d : drives) {
    d.letter = UpperLetter(d.letter);
    if (!IsLetter(d.letter)) continue;
    std::erase_if(m.drives, [&](const Drive& x) { return x.letter == d.letter; });
    m.drives.push_back(d);
  }
  std::sort(m.drives.begin(), m.drives.end(), [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
}

void AddDrive(const Drive& drive) {
  auto drives = Drives();
  std::erase_if(drives, [&](const Drive& x) { return x.letter == UpperLetter(drive.letter); });
  drives.push_back(drive);
  SetDrives(drives);
}

void RemoveDrive(char16_t letter) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  std::erase_if(m.drives, [&](const Drive& x) { return x.letter == UpperLetter(letter); });
}

std::vector<Drive> Drives() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return m.drives;
}

void SetWindowsDirectory(std::u16string_view path) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.windowsDir = path;
  while (m.windowsDir.size() > 3 && (m.windowsDir.back() == u'\\' || m.windowsDir.back() == u'/')) m.windowsDir.pop_back();
}

void SetTempPath(std::u16string_view path) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.tempPath = path;
  if (m.tempPath.empty() || m.tempPath.back() != u'\\') m.tempPath += u'\\';
}

void SetUserName(std::u16string_view name) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.userName = name;
}

void SetAnsiCodePage(UINT codePage) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.ansiCodePage = codePage;
}
UINT AnsiCodePage() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return m.ansiCodePage;
}
void SetOemCodePage(UINT codePage) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.oemCodePage = codePage;
}
UINT OemCodePage() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return m.oemCodePage;
}

void SetOsProfile(const OsProfile& profile) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.os = profile;
}
OsProfile GetOsProfile() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  return m.os;
}

namespace {
struct RegisteredProc {
  std::u16string module;
  std::string function;
  FARPROC address;
  DWORD sinceMajor;
};
struct RegisteredProcs {
  std::mutex lock;
  std::vector<RegisteredProc> procs;
};
RegisteredProcs& Registered() {
  static RegisteredProcs* r = new RegisteredProcs;  // registered during static initialisation
  return *r;
}
}  // namespace

void RegisterSystemProc(std::string_view module, std::string_view function, FARPROC address, DWORD sinceMajor) {
  RegisteredProcs& r = Registered();
  std::lock_guard g(r.lock);
  r.procs.push_back({plat::u16(module), std::string(function), address, sinceMajor});
}

FARPROC SystemProcAddress(std::string_view module, std::string_view function) {
  std::u16string mod = plat::u16(module);
  if (mod.size() > 4 && plat::EqualsNoCase(std::u16string_view(mod).substr(mod.size() - 4), u".dll")) mod.resize(mod.size() - 4);
  if (!plat::EqualsNoCase(mod, u"kernel32")) {
    RegisteredProcs& r = Registered();
    std::lock_guard g(r.lock);
    for (const RegisteredProc& p : r.procs)
      if (plat::EqualsNoCase(p.module, mod) && p.function == function)
        return GetOsProfile().major >= p.sinceMajor ? p.address : nullptr;
    return nullptr;
  }
  if (function == "GetNativeSystemInfo")
    return GetOsProfile().hasNativeSystemInfo ? reinterpret_cast<FARPROC>(&GetNativeSystemInfo) : nullptr;
  if (function == "GetSystemInfo") return reinterpret_cast<FARPROC>(&GetSystemInfo);
  if (function == "GetVersionExW") return reinterpret_cast<FARPROC>(&GetVersionExW);
  return nullptr;
}

void SetLocalTime(const SYSTEMTIME& local, int utcOffsetMinutes) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.clock.virtualAtSet = m.clock.VirtualMs();
  m.clock.wallBaseMs = ToEpochMs(local) - utcOffsetMinutes * 60000LL;
  m.clock.utcOffsetMinutes = utcOffsetMinutes;
}

void SetSleepScale(double scale) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.clock.sleepScale = scale < 0 ? 0 : scale;
}

void FreezeClock(bool frozen) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  if (frozen == m.clock.frozen) return;
  if (frozen) m.clock.accumulatedMs = m.clock.HostRunMs();
  else m.clock.runningSince = Steady::now();
  m.clock.frozen = frozen;
}

void Advance(DWORD ms) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.clock.advancedMs += ms;
}

void SetReadStep(DWORD ms) {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.clock.readStepMs = ms;
}

std::u16string WindowsPath(const std::string& hostPath) {
  std::error_code ec;
  const fs::path root = fs::weakly_canonical(Root(), ec);
  const fs::path path = fs::weakly_canonical(hostPath, ec);
  const fs::path rel = path.lexically_relative(root);
  if (rel.empty() || rel.begin() == rel.end()) return {};
  const std::string first = rel.begin()->string();
  if (first.size() != 1 || !std::isalpha(static_cast<unsigned char>(first[0]))) return {};
  std::u16string out(1, UpperLetter(static_cast<char16_t>(first[0])));
  out += u":";
  auto it = rel.begin();
  ++it;
  if (it == rel.end()) return out + u"\\";
  for (; it != rel.end(); ++it) out += u"\\" + plat::u16(it->string());
  return out;
}

void Reset() {
  Machine& m = M();
  std::lock_guard g(m.lock);
  m.Defaults();
}
}  // namespace plat::machine
