#include "plat/spooler.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace {

namespace fs = std::filesystem;

constexpr char16_t kPrinter[] = u"NEVO Test";
constexpr char16_t kPort[] = u"USB001";
constexpr WORD kDriverExtra = 3236;

std::vector<BYTE> MakeDevmode() {
  std::vector<BYTE> dm(sizeof(DEVMODEW) + kDriverExtra);
  for (size_t i = 0; i < dm.size(); ++i) dm[i] = static_cast<BYTE>(i * 7 + 1);
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  d->dmSize = sizeof(DEVMODEW);
  d->dmDriverExtra = kDriverExtra;
  d->dmDriverVersion = 0x3092;
  return dm;
}

// The test printer on its port with its driver's name, nothing more.
plat::spooler::PrinterSetup PlainPrinter() {
  plat::spooler::PrinterSetup setup;
  setup.name = kPrinter;
  setup.port = kPort;
  setup.driver.name = u"NEVO QM7100";
  return setup;
}

class Spooler : public ::testing::Test {
 protected:
  void SetUp() override {
    plat::spooler::Reset();
    plat::spooler::PrinterSetup setup;
    setup.name = kPrinter;
    setup.port = kPort;
    setup.driver.name = u"NEVO QM7100";
    setup.driver.driverPath = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\classicrender.dll";
    setup.driver.dataFile = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\QM7100.RDF";
    setup.driver.configFile = u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\classicui.dll";
    setup.driver.dependentFiles = {u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\NEVORES.DLL", u"QM7100.HLP"};
    setup.devmode = MakeDevmode();
    ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  }
  void TearDown() override { EXPECT_EQ(plat::spooler::OpenHandleCount(), 0u) << "a printer handle was left open"; }

  static HANDLE Open(ACCESS_MASK access) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, access};
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(kPrinter, &h, &defaults));
    return h;
  }
};

TEST_F(Spooler, OpenFindsPrintersByNameWithoutCase) {
  HANDLE h = reinterpret_cast<HANDLE>(1);
  EXPECT_FALSE(OpenPrinterW(u"No Such Printer", &h, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PRINTER_NAME);
  EXPECT_EQ(h, nullptr);
  ASSERT_TRUE(OpenPrinterW(u"nevo test", &h, nullptr));
  EXPECT_TRUE(ClosePrinter(h));
  EXPECT_FALSE(ClosePrinter(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

// Both levels: too small a buffer fails with the size needed; that size works.
TEST_F(Spooler, GetPrinterFollowsTheSizeProtocol) {
  HANDLE h = Open(PRINTER_ACCESS_USE);
  for (DWORD level : {2u, 4u}) {
    SCOPED_TRACE(level);
    DWORD needed = 0;
    SetLastError(0);
    EXPECT_FALSE(GetPrinterW(h, level, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    ASSERT_GT(needed, 0u);
    std::vector<BYTE> buffer(needed + 16, 0xEE);
    DWORD again = 0;
    SetLastError(0);
    EXPECT_FALSE(GetPrinterW(h, level, buffer.data(), needed - 1, &again));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(again, needed);
    EXPECT_EQ(buffer[0], 0xEE) << "nothing is written into a buffer that is too small";
    ASSERT_TRUE(GetPrinterW(h, level, buffer.data(), needed, &again));
    EXPECT_EQ(again, needed);
    EXPECT_EQ(buffer[needed], 0xEE) << "nothing is written past the size needed";
  }
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
  ClosePrinter(h);
}

TEST_F(Spooler, PrinterInfo2CarriesTheStringsAndTheWholeDevmode) {
  HANDLE h = Open(PRINTER_ACCESS_USE);
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  EXPECT_EQ(std::u16string(info->pPrinterName), kPrinter);
  EXPECT_EQ(std::u16string(info->pPortName), kPort);
  EXPECT_EQ(std::u16string(info->pDriverName), u"NEVO QM7100");
  ASSERT_NE(info->pDevMode, nullptr);
  const auto* dm = reinterpret_cast<const BYTE*>(info->pDevMode);
  ASSERT_GE(dm, buffer.data() + sizeof(PRINTER_INFO_2W));
  ASSERT_LE(dm + sizeof(DEVMODEW) + kDriverExtra, buffer.data() + buffer.size());
  EXPECT_EQ(reinterpret_cast<uintptr_t>(dm) % 4, 0u);
  const auto expected = MakeDevmode();
  EXPECT_EQ(0, std::memcmp(dm, expected.data(), expected.size())) << "public and private bytes copied whole";

  GetPrinterW(h, 4, nullptr, 0, &needed);
  std::vector<BYTE> four(needed);
  ASSERT_TRUE(GetPrinterW(h, 4, four.data(), needed, &needed));
  EXPECT_EQ(std::u16string(reinterpret_cast<const PRINTER_INFO_4W*>(four.data())->pPrinterName), kPrinter);
  ClosePrinter(h);
}

TEST_F(Spooler, SetPrinterReplacesTheDevmodeAndChecksItsHeader) {
  HANDLE user = Open(PRINTER_ACCESS_USE);
  HANDLE admin = Open(PRINTER_ALL_ACCESS);
  std::vector<BYTE> dm(sizeof(DEVMODEW) + 8, 0);
  auto* d = reinterpret_cast<DEVMODEW*>(dm.data());
  d->dmSize = sizeof(DEVMODEW);
  d->dmDriverExtra = 8;
  d->dmCopies = 3;
  PRINTER_INFO_2W info{};
  info.pDevMode = d;
  EXPECT_FALSE(SetPrinterW(user, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetPrinterW(admin, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(plat::spooler::Devmode(kPrinter), dm);

  d->dmSize = 0;  // a DEVMODE without a header is refused, the stored one kept
  EXPECT_FALSE(SetPrinterW(admin, 2, reinterpret_cast<LPBYTE>(&info), 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(plat::spooler::Devmode(kPrinter).size(), sizeof(DEVMODEW) + 8);
  ClosePrinter(user);
  ClosePrinter(admin);
}

TEST_F(Spooler, AddPrinterRefusesDevmodesWhoseSizesDisagree) {
  plat::spooler::PrinterSetup setup;
  setup.name = u"Second";
  setup.devmode = MakeDevmode();
  setup.devmode.pop_back();
  EXPECT_FALSE(plat::spooler::AddPrinter(setup));
  setup.devmode.resize(40);
  EXPECT_FALSE(plat::spooler::AddPrinter(setup));
  setup.devmode.clear();
  EXPECT_TRUE(plat::spooler::AddPrinter(setup));
  EXPECT_FALSE(plat::spooler::AddPrinter(setup)) << "names are unique";

  // A printer without a DEVMODE reports none.
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(u"Second", &h, nullptr));
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
  EXPECT_EQ(reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data())->pDevMode, nullptr);
  ClosePrinter(h);
}

TEST_F(Spooler, DriverInfo3ListsTheDependentFiles) {
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(kPrinter, &h, nullptr));  // no access request
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 3, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> buffer(needed);
  EXPECT_FALSE(GetPrinterDriverW(h, nullptr, 3, buffer.data(), needed - 2, &needed));
  ASSERT_TRUE(GetPrinterDriverW(h, nullptr, 3, buffer.data(), needed, &needed));
  const auto* info = reinterpret_cast<const DRIVER_INFO_3W*>(buffer.data());
  EXPECT_EQ(info->cVersion, 3u);
  EXPECT_EQ(std::u16string(info->pName), u"NEVO QM7100");
  EXPECT_EQ(std::u16string(info->pDataFile), u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\QM7100.RDF");
  std::vector<std::u16string> files;
  for (const WCHAR* p = info->pDependentFiles; *p; p += files.back().size() + 1) files.emplace_back(p);
  EXPECT_EQ(files, (std::vector<std::u16string>{u"C:\\WINDOWS\\system32\\spool\\DRIVERS\\x64\\3\\NEVORES.DLL",
                                                u"QM7100.HLP"}));
  EXPECT_EQ(std::u16string(info->pDefaultDataType), u"RAW");
  EXPECT_FALSE(GetPrinterDriverW(h, u"Windows NT x86", 3, buffer.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_PRINTER_DRIVER);
  ClosePrinter(h);
}

TEST_F(Spooler, WritingPrinterDataNeedsAdministerAccess) {
  struct Case {
    bool useDefaults;
    ACCESS_MASK access;
    DWORD write;
  };
  const Case cases[] = {
      {false, 0, ERROR_ACCESS_DENIED},  // no defaults: use access
      {true, 0, ERROR_ACCESS_DENIED},
      {true, PRINTER_ACCESS_USE, ERROR_ACCESS_DENIED},
      {true, PRINTER_ACCESS_ADMINISTER, ERROR_SUCCESS},
      {true, PRINTER_ALL_ACCESS, ERROR_SUCCESS},
  };
  const BYTE one[4] = {1, 0, 0, 0};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.useDefaults << " " << c.access);
    plat::spooler::SetData(kPrinter, u"Speed", REG_BINARY, {9});
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, c.access};
    HANDLE h = nullptr;
    ASSERT_TRUE(OpenPrinterW(kPrinter, &h, c.useDefaults ? &defaults : nullptr));
    EXPECT_EQ(SetPrinterDataW(h, u"Density", REG_BINARY, one, 4), c.write);
    EXPECT_EQ(DeletePrinterDataW(h, u"Speed"), c.write);
    DWORD type = 0, needed = 0;
    BYTE data[4];
    EXPECT_EQ(GetPrinterDataW(h, u"Speed", &type, data, 4, &needed),
              c.write == ERROR_SUCCESS ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS)
        << "reading is allowed to every handle";
    ClosePrinter(h);
  }
}

TEST_F(Spooler, ADeniedAdministerRightRefusesAdminOpensAndWrites) {
  HANDLE admin = Open(PRINTER_ALL_ACCESS);
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinter, true));
  EXPECT_FALSE(plat::spooler::SetAdministerDenied(u"No Such Printer", true));
  const BYTE one[4] = {1, 0, 0, 0};
  for (ACCESS_MASK access : {PRINTER_ALL_ACCESS, PRINTER_ACCESS_ADMINISTER}) {
    HANDLE h = reinterpret_cast<HANDLE>(1);
    SetLastError(0);
    EXPECT_FALSE(OpenPrinterW(kPrinter, &h, std::array{PRINTER_DEFAULTSW{nullptr, nullptr, access}}.data()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(h, nullptr);
  }
  // A use handle still opens and reads, but writes nothing; nor does a handle opened before.
  HANDLE use = Open(PRINTER_ACCESS_USE);
  plat::spooler::SetData(kPrinter, u"Speed", REG_BINARY, {9});
  for (HANDLE h : {use, admin}) {
    EXPECT_EQ(SetPrinterDataW(h, u"FavSet_", REG_BINARY, one, 4), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(DeletePrinterDataW(h, u"Speed"), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    DWORD type = 0, needed = 0;
    BYTE data[4];
    EXPECT_EQ(GetPrinterDataW(h, u"Speed", &type, data, 4, &needed), static_cast<DWORD>(ERROR_SUCCESS));
  }
  EXPECT_FALSE(plat::spooler::GetData(kPrinter, u"FavSet_"));
  // Given back, the same handle writes again.
  ASSERT_TRUE(plat::spooler::SetAdministerDenied(kPrinter, false));
  EXPECT_EQ(SetPrinterDataW(admin, u"FavSet_", REG_BINARY, one, 4), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(DeletePrinterDataW(admin, u"FavSet_"), static_cast<DWORD>(ERROR_SUCCESS));
  ClosePrinter(use);
  ClosePrinter(admin);
}

TEST_F(Spooler, GetPrinterDataFollowsTheSizeProtocol) {
  const std::u16string path = u"C:\\Program Files\\NEVO\\preview.exe";
  // Texts are stored with twice their length and no terminator.
  plat::spooler::SetData(kPrinter, u"Preview EXE", REG_SZ,
                         std::vector<BYTE>(reinterpret_cast<const BYTE*>(path.data()),
                                           reinterpret_cast<const BYTE*>(path.data()) + path.size() * 2));
  plat::spooler::SetData(kPrinter, u"Empty", REG_BINARY, {});
  HANDLE h = Open(PRINTER_ACCESS_USE);
  const DWORD size = static_cast<DWORD>(path.size() * 2);
  struct Case {
    const char16_t* name;
    DWORD bufferSize;
    DWORD result;
    DWORD needed;
  };
  const Case cases[] = {
      {u"Preview EXE", 0, ERROR_MORE_DATA, size},  // size query
      {u"preview exe", size - 1, ERROR_MORE_DATA, size},
      {u"Preview EXE", size, ERROR_SUCCESS, size},
      {u"Preview EXE", 1024, ERROR_SUCCESS, size},
      {u"Empty", 0, ERROR_SUCCESS, 0},
      {u"Missing", 1024, ERROR_FILE_NOT_FOUND, 0xABCD},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << (&c - cases));
    std::vector<BYTE> buffer(1024, 0xEE);
    DWORD type = 0, needed = 0xABCD;
    EXPECT_EQ(GetPrinterDataW(h, c.name, &type, c.bufferSize ? buffer.data() : nullptr, c.bufferSize, &needed),
              c.result);
    EXPECT_EQ(needed, c.needed);
    if (c.result == ERROR_SUCCESS && c.needed) {
      EXPECT_EQ(type, REG_SZ);
      EXPECT_EQ(0, std::memcmp(buffer.data(), path.data(), size));
      EXPECT_EQ(buffer[size], 0xEE) << "no terminator is added";
    }
  }
  ClosePrinter(h);
}

TEST_F(Spooler, SetPrinterDataStoresTheCallersByteCount) {
  HANDLE h = Open(PRINTER_ALL_ACCESS);
  const std::u16string name = u"NEVO Test";
  ASSERT_EQ(SetPrinterDataW(h, u"Printer Name", REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
                            static_cast<DWORD>(name.size() * 2)),
            ERROR_SUCCESS);
  auto v = plat::spooler::GetData(kPrinter, u"PRINTER NAME");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, REG_SZ);
  EXPECT_EQ(v->bytes.size(), name.size() * 2);
  EXPECT_EQ(SetPrinterDataW(h, u"X", REG_BINARY, nullptr, 4), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(DeletePrinterDataW(h, u"X"), ERROR_FILE_NOT_FOUND);
  ClosePrinter(h);
}

TEST_F(Spooler, EnumPrinterDataReportsSizesMoreDataAndTheEnd) {
  plat::spooler::SetData(kPrinter, u"FavSet_Draft", REG_BINARY, std::vector<BYTE>(2936, 1));
  plat::spooler::SetData(kPrinter, u"Paper", REG_BINARY, std::vector<BYTE>(100, 2));
  HANDLE h = Open(PRINTER_ACCESS_USE);
  DWORD nameNeeded = 0, dataNeeded = 0;
  // Both sizes 0: the largest name (with terminator) and the largest data.
  ASSERT_EQ(EnumPrinterDataW(h, 0, nullptr, 0, &nameNeeded, nullptr, nullptr, 0, &dataNeeded), ERROR_SUCCESS);
  EXPECT_EQ(nameNeeded, 13u * 2);
  EXPECT_EQ(dataNeeded, 2936u);

  struct Case {
    DWORD index, nameSize, dataSize, result, nameNeeded, dataNeeded;
  };
  const Case cases[] = {
      {0, 26, 2936, ERROR_SUCCESS, 26, 2936},
      {0, 24, 2936, ERROR_MORE_DATA, 26, 2936},  // name without room for its terminator
      {0, 26, 2935, ERROR_MORE_DATA, 26, 2936},
      {1, 12, 100, ERROR_SUCCESS, 12, 100},
      {2, 26, 2936, ERROR_NO_MORE_ITEMS, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.index << " " << c.nameSize << " " << c.dataSize);
    WCHAR name[32];
    std::vector<BYTE> data(4000);
    DWORD type = 0, nn = 0, dn = 0;
    EXPECT_EQ(EnumPrinterDataW(h, c.index, name, c.nameSize, &nn, &type, data.data(), c.dataSize, &dn), c.result);
    EXPECT_EQ(nn, c.nameNeeded);
    EXPECT_EQ(dn, c.dataNeeded);
    if (c.result == ERROR_SUCCESS) {
      EXPECT_EQ(std::u16string(name), c.index == 0 ? u"FavSet_Draft" : u"Paper");
      EXPECT_EQ(type, REG_BINARY);
    }
  }
  ClosePrinter(h);
}

// Many values (a model with thousands of names): each is found without case,
// a deleted one leaves the others where the enumeration had them.
TEST_F(Spooler, ManyPrinterDataValuesKeepTheirNamesAndOrder) {
  constexpr int kValues = 3000;
  auto name = [](int i) {
    std::u16string n = u"Name ";
    for (char c : std::to_string(i)) n += static_cast<char16_t>(c);
    return n;
  };
  for (int i = 0; i < kValues; ++i)
    ASSERT_TRUE(plat::spooler::SetData(kPrinter, name(i), REG_SZ, std::vector<BYTE>(2, static_cast<BYTE>(i))));
  HANDLE h = Open(PRINTER_ALL_ACCESS);
  for (int i = 0; i < kValues; i += 7) {
    std::u16string upper = name(i);
    upper[1] = u'A';  // "NAme ..."
    BYTE data[2] = {};
    DWORD type = 0, needed = 0;
    ASSERT_EQ(GetPrinterDataW(h, upper.c_str(), &type, data, 2, &needed), ERROR_SUCCESS) << i;
    EXPECT_EQ(data[0], static_cast<BYTE>(i));
  }
  ASSERT_EQ(DeletePrinterDataW(h, u"name 10"), ERROR_SUCCESS);
  EXPECT_EQ(DeletePrinterDataW(h, u"Name 10"), ERROR_FILE_NOT_FOUND);
  BYTE two[2] = {0xAA, 0xBB};
  ASSERT_EQ(SetPrinterDataW(h, u"NAME 11", REG_BINARY, two, 2), ERROR_SUCCESS);  // replaces, keeps its place
  ASSERT_EQ(SetPrinterDataW(h, u"Name 10", REG_BINARY, two, 2), ERROR_SUCCESS);  // comes back at the end
  for (DWORD index : {9u, 10u, static_cast<DWORD>(kValues) - 1}) {
    WCHAR got[32];
    BYTE data[2];
    DWORD nn = 0, dn = 0, type = 0;
    ASSERT_EQ(EnumPrinterDataW(h, index, got, 64, &nn, &type, data, 2, &dn), ERROR_SUCCESS);
    const std::u16string expected = index == 9 ? name(9) : index == 10 ? name(11) : u"Name 10";
    EXPECT_EQ(std::u16string(got), expected) << index;
    if (index == 10) {
      EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
      EXPECT_EQ(data[0], 0xAA);
    }
  }
  ClosePrinter(h);
}

TEST_F(Spooler, SetPortRecordsTheStatusOfThePort) {
  PORT_INFO_3W info{0, nullptr, PORT_STATUS_TYPE_ERROR};
  ASSERT_TRUE(SetPortW(nullptr, kPort, 3, reinterpret_cast<LPBYTE>(&info)));
  auto status = plat::spooler::PortStatusOf(u"usb001");
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, 0u);
  EXPECT_EQ(status->text, u"");
  EXPECT_EQ(status->severity, 1u);
  EXPECT_EQ(status->setCount, 1u);
  WCHAR text[] = u"Paper jam";
  info = PORT_INFO_3W{0, text, PORT_STATUS_TYPE_WARNING};
  ASSERT_TRUE(SetPortW(nullptr, kPort, 3, reinterpret_cast<LPBYTE>(&info)));
  status = plat::spooler::PortStatusOf(kPort);
  EXPECT_EQ(status->text, u"Paper jam");
  EXPECT_EQ(status->setCount, 2u);

  EXPECT_FALSE(SetPortW(nullptr, u"LPT9:", 3, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), ERROR_UNKNOWN_PORT);
  EXPECT_FALSE(SetPortW(nullptr, kPort, 1, reinterpret_cast<LPBYTE>(&info)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_LEVEL);
  EXPECT_FALSE(plat::spooler::PortStatusOf(u"LPT9:"));
}

// Writes everything like a careful sender: short writes continue with the rest.
bool SendAll(HANDLE h, const std::vector<BYTE>& bytes, DWORD chunk) {
  size_t at = 0;
  while (at < bytes.size()) {
    DWORD n = static_cast<DWORD>(std::min<size_t>(chunk, bytes.size() - at)), written = 0;
    if (!WritePrinter(h, const_cast<BYTE*>(bytes.data() + at), n, &written)) return false;
    if (written == 0) return false;
    at += written;
  }
  return true;
}

TEST_F(Spooler, JobSinkTakesWritesAndInjectedFaults) {
  std::vector<BYTE> stream(10000);
  for (size_t i = 0; i < stream.size(); ++i) stream[i] = static_cast<BYTE>(i * 31);
  struct Case {
    const char* what;
    plat::spooler::WriteFault fault;
    bool ok;
    size_t kept;
    DWORD error;
  };
  const Case cases[] = {
      {"no fault", {}, true, 10000, 0},
      {"short writes of 1000", {1000, UINT64_MAX, 0, ERROR_WRITE_FAULT}, true, 10000, 0},
      {"short writes of 1", {1, UINT64_MAX, 0, ERROR_WRITE_FAULT}, true, 10000, 0},
      {"full after 5000", {0, 5000, 0, ERROR_DISK_FULL}, false, 5000, ERROR_DISK_FULL},
      {"full after 4000, short writes", {3000, 4000, 0, ERROR_WRITE_FAULT}, false, 4000, ERROR_WRITE_FAULT},
      {"third call fails", {0, UINT64_MAX, 3, ERROR_GEN_FAILURE}, false, 2 * 4096, ERROR_GEN_FAILURE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    plat::spooler::ClearOutput(kPrinter);
    plat::spooler::SetWriteFault(kPrinter, c.fault);
    HANDLE h = Open(PRINTER_ACCESS_USE);
    SetLastError(0);
    EXPECT_EQ(SendAll(h, stream, 4096), c.ok);
    if (!c.ok) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    auto out = plat::spooler::Output(kPrinter);
    ASSERT_EQ(out.size(), c.kept);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), stream.begin())) << "the sink holds an exact prefix";
    ClosePrinter(h);
  }
  plat::spooler::ClearWriteFault(kPrinter);
}

TEST_F(Spooler, ShortWriteReportsWhatWasTaken) {
  plat::spooler::SetWriteFault(kPrinter, {100, UINT64_MAX, 0, ERROR_WRITE_FAULT});
  HANDLE h = Open(PRINTER_ACCESS_USE);
  BYTE data[300] = {};
  DWORD written = 12345;
  ASSERT_TRUE(WritePrinter(h, data, 300, &written));
  EXPECT_EQ(written, 100u);
  ASSERT_TRUE(WritePrinter(h, data, 0, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_FALSE(WritePrinter(h, nullptr, 10, &written));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  ClosePrinter(h);
}

// Jobs are written through to their spool files in the machine's spool
// folder, one a job; the output of the printer is those files in order.
TEST_F(Spooler, JobsAreWrittenThroughToTheirSpoolFiles) {
  testsupport::MachineRoot machine("spooler");
  HANDLE h = Open(PRINTER_ACCESS_USE);
  auto write = [&](const std::string& text) {
    DWORD written = 0;
    EXPECT_TRUE(WritePrinter(h, const_cast<char*>(text.data()), static_cast<DWORD>(text.size()), &written));
    EXPECT_EQ(written, text.size());
  };
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"one"), nullptr, const_cast<LPWSTR>(u"RAW")};
  const DWORD first = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_NE(first, 0u);
  write("first ");
  write("job");
  const std::string firstFile = plat::spooler::JobSpoolFile(first);
  EXPECT_EQ(read(firstFile), "first job") << "written through while the job runs";
  EXPECT_EQ(fs::path(firstFile).parent_path(), machine.path() / "C" / "WINDOWS" / "System32" / "spool" / "PRINTERS");
  ASSERT_TRUE(EndDocPrinter(h));
  const DWORD second = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  write("second");
  ASSERT_TRUE(EndDocPrinter(h));
  EXPECT_EQ(read(plat::spooler::JobSpoolFile(second)), "second");
  EXPECT_EQ(plat::spooler::JobSpoolFile(second + 1), "");
  const std::vector<BYTE> all = plat::spooler::Output(kPrinter);
  EXPECT_EQ(std::string(all.begin(), all.end()), "first jobsecond");

  // Two handles with jobs at once: each job's file holds its own bytes only.
  HANDLE other = Open(PRINTER_ACCESS_USE);
  const DWORD third = StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc));
  const DWORD fourth = StartDocPrinterW(other, 1, reinterpret_cast<LPBYTE>(&doc));
  write("3a");
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(other, const_cast<char*>("4a"), 2, &written));
  write("3b");
  EXPECT_EQ(read(plat::spooler::JobSpoolFile(third)), "3a3b");
  EXPECT_EQ(read(plat::spooler::JobSpoolFile(fourth)), "4a");
  EndDocPrinter(other);
  EndDocPrinter(h);
  ClosePrinter(other);

  plat::spooler::ClearOutput(kPrinter);
  EXPECT_TRUE(plat::spooler::Output(kPrinter).empty());
  EXPECT_FALSE(fs::exists(firstFile));
  EXPECT_EQ(plat::spooler::JobSpoolFile(first), "");
  ClosePrinter(h);
}

TEST_F(Spooler, CancelStopsWritesAndIsSeenByTheAbortPoll) {
  HANDLE h = Open(PRINTER_ACCESS_USE);
  EXPECT_FALSE(plat::spooler::IsJobCancelled(h));
  plat::spooler::SetJobCancelled(u"nevo test", true);
  EXPECT_TRUE(plat::spooler::IsJobCancelled(h));
  BYTE data[8] = {};
  DWORD written = 1;
  EXPECT_FALSE(WritePrinter(h, data, 8, &written));
  EXPECT_EQ(GetLastError(), ERROR_PRINT_CANCELLED);
  EXPECT_EQ(written, 0u);
  plat::spooler::SetJobCancelled(kPrinter, false);
  EXPECT_TRUE(WritePrinter(h, data, 8, &written));
  ClosePrinter(h);
  EXPECT_FALSE(plat::spooler::IsJobCancelled(h)) << "a closed handle has no job";
}

TEST_F(Spooler, DocumentsGetIncreasingJobIds) {
  HANDLE a = Open(PRINTER_ACCESS_USE);
  HANDLE b = Open(PRINTER_ACCESS_USE);
  WCHAR name[] = u"Document";
  DOC_INFO_1W doc{name, nullptr, nullptr};
  EXPECT_EQ(StartDocPrinterW(a, 1, reinterpret_cast<LPBYTE>(&doc)), 1u);
  EXPECT_EQ(StartDocPrinterW(a, 1, reinterpret_cast<LPBYTE>(&doc)), 0u) << "one document at a time";
  EXPECT_EQ(StartDocPrinterW(b, 1, reinterpret_cast<LPBYTE>(&doc)), 2u);
  EXPECT_EQ(plat::spooler::LastJobId(), 2u);
  EXPECT_TRUE(EndDocPrinter(a));
  EXPECT_FALSE(EndDocPrinter(a));
  EXPECT_EQ(GetLastError(), ERROR_SPL_NO_STARTDOC);
  EXPECT_EQ(StartDocPrinterW(a, 1, reinterpret_cast<LPBYTE>(&doc)), 3u);
  EXPECT_TRUE(EndDocPrinter(a));
  EXPECT_TRUE(EndDocPrinter(b));
  ClosePrinter(a);
  ClosePrinter(b);
}

TEST_F(Spooler, RemovedPrinterInvalidatesItsHandles) {
  HANDLE h = Open(PRINTER_ALL_ACCESS);
  ASSERT_TRUE(plat::spooler::RemovePrinter(kPrinter));
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(h, 4, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetPrinterDataW(h, u"x", REG_BINARY, nullptr, 0), ERROR_INVALID_HANDLE);
  EXPECT_TRUE(ClosePrinter(h));
}

}  // namespace

// A job's writes of every size, two jobs interleaved, reach their files as
// sent, written through when asked and whole at the end of each job.
TEST(PersistentSpooler, JobWritesKeepEveryByteInOrder) {
  testsupport::MachineRoot root("spooler-writes");
  ASSERT_TRUE(plat::machine::SaveProfile());
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup = PlainPrinter();
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  auto open = [] {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(kPrinter, &h, &defaults));
    return h;
  };
  auto read = [](const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<BYTE>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  HANDLE a = open(), b = open();
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"doc"), nullptr, const_cast<LPWSTR>(u"RAW")};
  const DWORD jobA = StartDocPrinterW(a, 1, reinterpret_cast<LPBYTE>(&doc));
  const DWORD jobB = StartDocPrinterW(b, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_NE(jobA, 0u);
  ASSERT_NE(jobB, 0u);
  std::vector<BYTE> sentA, sentB;
  // Sizes around a buffer's: single bytes, a command buffer's 8191, 64 KiB and past it.
  const DWORD sizes[] = {1, 2, 8191, 8191, 65535, 65536, 65537, 3, 200000, 8191, 1};
  unsigned seed = 7;
  for (size_t k = 0; k < std::size(sizes); ++k) {
    SCOPED_TRACE(k);
    std::vector<BYTE> piece(sizes[k]);
    for (BYTE& byte : piece) byte = static_cast<BYTE>((seed = seed * 1103515245u + 12345u) >> 16);
    const bool toA = k % 3 != 2;  // mostly A, now and then B between
    DWORD written = 0;
    ASSERT_TRUE(WritePrinter(toA ? a : b, piece.data(), sizes[k], &written));
    ASSERT_EQ(written, sizes[k]);
    (toA ? sentA : sentB).insert((toA ? sentA : sentB).end(), piece.begin(), piece.end());
    if (k == 5) {
      EXPECT_EQ(read(plat::spooler::JobSpoolFile(jobA)), sentA) << "written through when asked";
    }
  }

  const std::string fileA = plat::spooler::JobSpoolFile(jobA), fileB = plat::spooler::JobSpoolFile(jobB);
  EXPECT_TRUE(EndDocPrinter(a));
  EXPECT_EQ(read(fileA), sentA);
  EXPECT_TRUE(EndDocPrinter(b));
  EXPECT_EQ(read(fileB), sentB);
  ClosePrinter(a);
  ClosePrinter(b);
  plat::spooler::Reset();
}

// Bytes a job wrote may wait in the spool file's buffer until the job ends:
// when they cannot be written then (a file size limit plays the full drive),
// the end of the job fails instead of reporting a whole job.
TEST(SpoolFiles, AJobWhoseLastBytesCannotBeWrittenFailsAtItsEnd) {
  testsupport::MachineRoot root("spooler-full");
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup = PlainPrinter();
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(kPrinter, &h, &defaults));
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"doc"), nullptr, const_cast<LPWSTR>(u"RAW")};
  ASSERT_NE(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
  std::vector<BYTE> bytes(3000, 0x5A);
  DWORD written = 0;
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limit = old;
  limit.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
  const BOOL wrote = WritePrinter(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written);
  SetLastError(0);
  const BOOL ended = EndDocPrinter(h);
  const DWORD error = GetLastError();
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_TRUE(wrote) << "the bytes wait in the buffer";
  EXPECT_FALSE(ended);
  EXPECT_NE(error, 0u);
  ClosePrinter(h);
  plat::spooler::Reset();
}

// Another process may leave a damaged state file; taking it up must not end
// this one.
TEST(PersistentSpooler, DamagedNumbersInTheStateFileReadAsZero) {
  testsupport::MachineRoot root("spooler-state");
  ASSERT_TRUE(plat::machine::SaveProfile());
  plat::spooler::Reset();
  plat::spooler::PrinterSetup setup = PlainPrinter();
  setup.devmode = MakeDevmode();
  ASSERT_TRUE(plat::spooler::AddPrinter(setup));

  const fs::path state = root.path() / ".machine" / "state" / "spooler";
  std::ifstream in(state, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  for (const std::string key : {"attributes\t", "priority\t", "version\t"}) {
    const size_t at = text.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    const size_t end = text.find('\n', at);
    text.replace(at + key.size(), end - at - key.size(), key == "version\t" ? "99999999999999999999" : "x7");
  }
  std::ofstream(state, std::ios::binary | std::ios::trunc) << text;

  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
  HANDLE h = nullptr;
  ASSERT_TRUE(OpenPrinterW(kPrinter, &h, &defaults));
  DWORD needed = 0;
  GetPrinterW(h, 2, nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  ASSERT_TRUE(GetPrinterW(h, 2, buffer.data(), needed, &needed));
  const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
  EXPECT_EQ(info->Attributes, 0u);
  EXPECT_EQ(info->Priority, 0u);
  EXPECT_TRUE(ClosePrinter(h));
  plat::spooler::Reset();
}

// A stored DEVMODE is taken up only when it holds what its size fields say.
TEST(PersistentSpooler, DamagedDevmodeInTheStateFileIsDropped) {
  testsupport::MachineRoot root("spooler-devmode");
  const fs::path state = root.path() / ".machine" / "state" / "spooler";
  const struct {
    const char* what;
    std::function<void(std::string& hex)> damage;
  } cases[] = {
      {"cut short", [](std::string& hex) { hex.resize(hex.size() / 2); }},
      {"header only", [](std::string& hex) { hex.resize(2 * offsetof(DEVMODEW, dmFields)); }},
      {"dmSize too small", [](std::string& hex) { hex.replace(2 * offsetof(DEVMODEW, dmSize), 4, "0400"); }},
      {"dmDriverExtra past the end", [](std::string& hex) { hex.replace(2 * offsetof(DEVMODEW, dmDriverExtra), 4, "ffff"); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(plat::machine::SaveProfile());
    plat::spooler::Reset();
    plat::spooler::PrinterSetup setup = PlainPrinter();
    setup.devmode = MakeDevmode();
    ASSERT_TRUE(plat::spooler::AddPrinter(setup));

    std::ifstream in(state, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    const std::string key = "  devmode\t";
    const size_t at = text.find(key);
    ASSERT_NE(at, std::string::npos);
    const size_t end = text.find('\n', at);
    std::string hex = text.substr(at + key.size(), end - at - key.size());
    c.damage(hex);
    text.replace(at + key.size(), end - at - key.size(), hex);
    std::ofstream(state, std::ios::binary | std::ios::trunc) << text;

    DWORD needed = 0, count = 0;
    EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, nullptr, 0, &needed, &count);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer.data(), needed, &needed, &count));
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data())->pDevMode, nullptr);
    plat::spooler::Reset();
  }
}
