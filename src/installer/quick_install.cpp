#include "installer/quick_install.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>

#include "installer/ini_read.h"
#include "installer/messages.h"
#include "installer/model_folders.h"
#include "installer/packed_data.h"
#include "installer/ports.h"

namespace installer {
namespace {

constexpr DWORD kMaxDataParts = 99;

std::u16string DataFile(const SetupContext& ctx) { return std::u16string(Str(ctx.resourceFolder)) + u"Datafile.dat"; }

// A printer handle closed on every path.
struct PrinterHandle {
  HANDLE handle = nullptr;
  ~PrinterHandle() {
    if (handle) ClosePrinter(handle);
  }
  bool Open(const WCHAR* name) {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    return OpenPrinterW(name, &handle, &defaults) != FALSE;
  }
};

// The unpacked output of a packed file, or nullopt when it is missing or bad.
std::optional<std::vector<BYTE>> Unpacked(std::u16string_view path, std::uint32_t& length) {
  std::vector<BYTE> file;
  if (!ReadWholeFile(path, file)) return std::nullopt;
  std::vector<BYTE> output;
  if (UnpackDataFile(file, length, output) != 0) return std::nullopt;
  return output;
}

}  // namespace

bool ReadWholeFile(std::u16string_view path, std::vector<BYTE>& bytes) {
  const std::u16string name(path);
  HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const DWORD size = GetFileSize(file, nullptr);
  bool ok = size != INVALID_FILE_SIZE;
  if (ok) {
    bytes.assign(size, 0);
    DWORD done = 0;
    ok = size == 0 || (ReadFile(file, bytes.data(), size, &done, nullptr) && done == size);
  }
  CloseHandle(file);
  return ok;
}

int CheckCustomDataFile(SetupContext& ctx) {
  std::vector<BYTE> data;
  if (!ReadWholeFile(DataFile(ctx), data)) return 0;
  const std::uint32_t crc = DataFileCrc32(data);
  const std::u16string_view swift = Str(ctx.swiftIniPath);
  const auto check = ReadIniString(swift, u"CustomData", u"DataFileCheck", 49);
  const INT records = ReadIniInt(swift, u"CustomData", u"PPFileCheck", -1);
  if (!check || records == -1) return 0;
  ctx.printerDataRecordCount = records;
  char hex[16];
  std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(crc));
  return *check == plat::u16(hex) ? 1 : 0;
}

int ReadQuickInstallData(SetupContext& ctx) {
  const std::u16string data = DataFile(ctx);
  if (!JoinField(ctx.devmodeFilePath, {Str(ctx.resourceFolder), u"DMfile.dat"})) return 0;
  const auto printer = ReadIniString(data, u"Driver", u"PrinterName", 31);
  if (!printer || !SetField(ctx.printerName, *printer)) return 0;
  ctx.testPage = ReadIniInt(data, u"Driver", u"TestPage", -1);
  ctx.portType = ReadIniInt(data, u"Port", u"PortType", -1);
  const auto port = ReadIniString(data, u"Port", u"PortName", 64);
  if (!port || !SetField(ctx.portName, *port)) return 0;
  const auto model = ReadIniString(data, u"PI2", u"pDriverName", 31);
  if (!model || !SetField(ctx.modelName, *model)) return 0;
  return ReadModelFolder(ctx);
}


int AddTcpIpPortFromData(SetupContext& ctx) {
  const std::u16string data = DataFile(ctx);
  PORT_DATA_1 port{};
  const std::u16string_view name = Str(ctx.portName);
  name.substr(0, 63).copy(port.sztPortName, 63);
  struct Number {
    const char16_t* key;
    DWORD* field;
  } numbers[] = {{u"dwVersion", &port.dwVersion},           {u"dwProtocol", &port.dwProtocol},
                 {u"cbSize", &port.cbSize},                 {u"dwReserved", &port.dwReserved},
                 {u"dwDoubleSpool", &port.dwDoubleSpool},   {u"dwPortNumber", &port.dwPortNumber},
                 {u"dwSNMPEnabled", &port.dwSNMPEnabled},   {u"dwSNMPDevIndex", &port.dwSNMPDevIndex}};
  for (const Number& n : numbers) {
    const INT v = ReadIniInt(data, u"PD1", n.key, -1);
    if (v == -1) return 0;
    *n.field = static_cast<DWORD>(v);
  }
  // A text that is missing (or longer than its field) leaves the field empty.
  auto text = [&](const char16_t* key, auto& field) {
    constexpr std::size_t units = sizeof field / sizeof field[0];
    if (auto value = ReadIniString(data, u"PD1", key, units - 1)) value->copy(field, value->size());
  };
  text(u"sztHostAddress", port.sztHostAddress);
  text(u"sztSNMPCommunity", port.sztSNMPCommunity);
  text(u"sztQueue", port.sztQueue);
  text(u"sztIPAddress", port.sztIPAddress);
  bool opened = false;
  const DWORD status = XcvAddPort(u"Standard TCP/IP Port", reinterpret_cast<const BYTE*>(&port), sizeof port, opened);
  if (status == ERROR_SUCCESS || status == ERROR_DUP_NAME || status == ERROR_ALREADY_EXISTS) return 1;
  ShowSystemError(status);
  return 0;
}

int AddIppPortFromData(SetupContext& ctx) {
  const std::u16string data = DataFile(ctx);
  const auto url = ReadIniString(data, u"NEVOIPPPORT", u"szPrinterUrl", 256);
  const auto proxy = ReadIniString(data, u"NEVOIPPPORT", u"szProxyName", 256);
  NevoIppPortData record{};
  if (!url || !proxy || !FillIppPortData(record, *url)) return 0;
  auto putDword = [&](std::size_t at, INT value) {
    for (int i = 0; i < 4; ++i) record.bytes[at + i] = static_cast<BYTE>(static_cast<DWORD>(value) >> (8 * i));
  };
  putDword(kIppEnableProxyOffset, ReadIniInt(data, u"NEVOIPPPORT", u"dwEnableProxy", -1));
  putDword(kIppProxyPortOffset, ReadIniInt(data, u"NEVOIPPPORT", u"dwProxyPort", -1));
  putDword(kIppTimeoutOffset, ReadIniInt(data, u"NEVOIPPPORT", u"dwTimeout", -1));
  for (std::size_t i = 0; i < proxy->size(); ++i) {
    record.bytes[kIppProxyNameOffset + 2 * i] = static_cast<BYTE>((*proxy)[i] & 0xFF);
    record.bytes[kIppProxyNameOffset + 2 * i + 1] = static_cast<BYTE>((*proxy)[i] >> 8);
  }
  CallNevoAddPort(Str(ctx.portName), Str(ctx.resourceFolder), record);
  return 1;
}

int InstallQuickPrinter(SetupContext& ctx) {
  if (ctx.portType == 1) {
    AddTcpIpPortFromData(ctx);
  } else if (ctx.portType == 3) {
    if (!InstallQp4wPortMonitor(ctx)) return 0;
    AddIppPortFromData(ctx);
  }
  return AddPrinterFromData(ctx);
}

int AddPrinterFromData(SetupContext& ctx) {
  const std::u16string data = DataFile(ctx);
  auto integer = [&](const char16_t* key, DWORD& out) {
    const INT v = ReadIniInt(data, u"PI2", key, -1);
    out = static_cast<DWORD>(v);
    return v != -1;
  };
  DWORD attributes = 0, priority = 0, defaultPriority = 0, startTime = 0, untilTime = 0, dmSize = 0, dmExtra = 0;
  if (!integer(u"Attributes", attributes) || !integer(u"Priority", priority) ||
      !integer(u"DefaultPriority", defaultPriority) || !integer(u"StartTime", startTime) ||
      !integer(u"UntilTime", untilTime) || !integer(u"dmSize", dmSize) || !integer(u"dmDriverExtra", dmExtra))
    return 0;
  ctx.dmSize = dmSize;
  ctx.dmDriverExtra = dmExtra;
  std::u16string texts[6];
  const char16_t* keys[6] = {u"pComment", u"pLocation", u"pSepFile", u"pPrintProcessor", u"pDatatype", u"pParameters"};
  LPWSTR fields[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (auto text = ReadIniString(data, u"PI2", keys[i], 49)) {
      texts[i] = *text;
      fields[i] = texts[i].data();
    }
  }
  DEVMODEW devmode{};
  PRINTER_INFO_2W info{};
  info.pPrinterName = ctx.printerName;
  info.pPortName = ctx.portName;
  info.pDriverName = ctx.modelName;
  info.pDevMode = &devmode;
  info.pComment = fields[0];
  info.pLocation = fields[1];
  info.pSepFile = fields[2];
  info.pPrintProcessor = fields[3];
  info.pDatatype = fields[4];
  info.pParameters = fields[5];
  info.Attributes = attributes & ~PRINTER_ATTRIBUTE_SHARED;
  info.Priority = priority;
  info.DefaultPriority = defaultPriority;
  info.StartTime = startTime;
  info.UntilTime = untilTime;
  PrinterHandle printer;
  printer.handle = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
  if (!printer.handle) {
    ShowSystemError(GetLastError());
    return 0;
  }
  // Once the printer exists the step has succeeded; the recorded values
  // that cannot be applied are left out quietly.
  HANDLE created = printer.handle;
  printer.handle = nullptr;
  if (ApplyPrinterDataFile(ctx)) ApplyDevmodeFile(created, dmSize + dmExtra, ctx);  // it closes the handle
  else ClosePrinter(created);
  return 1;
}

int ApplyPrinterDataFile(SetupContext& ctx) {
  PrinterHandle printer;
  if (!printer.Open(ctx.printerName)) return 0;
  std::uint32_t length = 0;
  const auto output = Unpacked(std::u16string(Str(ctx.resourceFolder)) + u"PPfile.dat", length);
  if (!output) return 1;  // a bad file is ignored
  const std::size_t count = ctx.printerDataRecordCount > 0 ? static_cast<std::size_t>(ctx.printerDataRecordCount) : 0;
  for (const PrinterDataRecord& record : ReadPrinterDataRecords(std::span(output->data(), length), count)) {
    const std::u16string name = record.name;
    if (SetPrinterDataW(printer.handle, name.c_str(), record.type, record.data.data(),
                        static_cast<DWORD>(record.data.size())) != ERROR_SUCCESS)
      break;
  }
  return 1;
}

int ApplyDevmodeFile(HANDLE handle, DWORD size, SetupContext& ctx) {
  PrinterHandle printer;
  printer.handle = handle;
  std::uint32_t length = 0;
  const auto output = Unpacked(Str(ctx.devmodeFilePath), length);
  if (!output) return 1;
  // Only a DEVMODE that the output holds whole and whose own size fields
  // say the recorded size is applied; anything else is skipped like a bad file.
  constexpr DWORD kSizeFields = offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD);
  if (size < kSizeFields || size > length) return 1;
  std::vector<BYTE> devmode(output->begin(), output->begin() + size);
  const DWORD ownSize = static_cast<DWORD>(devmode[offsetof(DEVMODEW, dmSize)] | devmode[offsetof(DEVMODEW, dmSize) + 1] << 8);
  const DWORD ownExtra =
      static_cast<DWORD>(devmode[offsetof(DEVMODEW, dmDriverExtra)] | devmode[offsetof(DEVMODEW, dmDriverExtra) + 1] << 8);
  if (ownSize + ownExtra != size) return 1;
  DWORD needed = 0;
  GetPrinterW(printer.handle, 8, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_8W)) return 1;
  std::vector<BYTE> buffer(needed);
  if (!GetPrinterW(printer.handle, 8, buffer.data(), needed, &needed)) return 1;
  auto* info = reinterpret_cast<PRINTER_INFO_8W*>(buffer.data());
  info->pDevMode = reinterpret_cast<DEVMODEW*>(devmode.data());
  if (SetPrinterW(printer.handle, 8, buffer.data(), 0)) ApplyDefaultDevmodeData(devmode, ctx);
  return 1;
}

int ApplyDefaultDevmodeData(std::span<const BYTE> devmode, SetupContext& ctx) {
  const INT colour = ReadIniInt(DataFile(ctx), u"Driver", u"Color", -1);
  if (colour == -1) return 0;
  PrinterHandle printer;
  if (!printer.Open(ctx.printerName)) return 0;
  const DWORD colourValue = static_cast<DWORD>(colour);
  if (SetPrinterDataW(printer.handle, u"ColorRestriction", REG_DWORD, reinterpret_cast<const BYTE*>(&colourValue),
                      sizeof colourValue) != ERROR_SUCCESS ||
      SetPrinterDataW(printer.handle, u"DefDevmode", REG_BINARY, devmode.data(), static_cast<DWORD>(devmode.size())) !=
          ERROR_SUCCESS)
    return 0;
  // "PrinterDataSize" must be a 4-byte REG_DWORD above 0 and within what the
  // records of one unpacked file can hold; no read goes past it.
  DWORD type = 0, total = 0, needed = 0;
  if (GetPrinterDataW(printer.handle, u"PrinterDataSize", &type, reinterpret_cast<LPBYTE>(&total), sizeof total,
                      &needed) != ERROR_SUCCESS ||
      type != REG_DWORD || needed != sizeof total || total == 0 || total > kMaxUnpackedLength)
    return 0;
  std::vector<BYTE> joined(total, 0);
  DWORD got = 0;
  if (GetPrinterDataW(printer.handle, u"PrinterData", &type, joined.data(), total, &got) != ERROR_SUCCESS) return 0;
  DWORD at = std::min(got, total);
  for (DWORD n = 1; n <= kMaxDataParts && at < total; ++n) {
    const std::u16string name = u"PrinterData_" + plat::u16(std::to_string(n));
    got = 0;
    if (GetPrinterDataW(printer.handle, name.c_str(), &type, joined.data() + at, total - at, &got) != ERROR_SUCCESS)
      break;
    at += std::min(got, total - at);
  }
  return SetPrinterDataW(printer.handle, u"DefEnv", REG_BINARY, joined.data(), total) == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace installer
