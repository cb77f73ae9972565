#include "device/device_status.h"

#include <cstdio>
#include <cstring>

#include "device/snmp_client.h"
#include "plat/machine.h"
#include "plat/profile.h"
#include "plat/strings.h"

namespace {

struct OidText {
  char text[40];
  std::size_t length;
};

constexpr OidText FormatOid(std::string_view prefix, int a, int b) {
  OidText oid{};
  std::size_t n = 0;
  for (char c : prefix) oid.text[n++] = c;
  for (int part : {a, b}) {
    oid.text[n++] = '.';
    if (part >= 10) oid.text[n++] = static_cast<char>('0' + part / 10);
    oid.text[n++] = static_cast<char>('0' + part % 10);
  }
  oid.length = n;
  return oid;
}

constexpr std::array<OidText, kDeviceStatusOidCount> kOids = [] {
  std::array<OidText, kDeviceStatusOidCount> oids{};
  std::size_t n = 0;
  for (int d = 1; d <= 2; ++d) {
    for (int k = 1; k <= 7; ++k) oids[n++] = FormatOid(".1.3.6.1.4.1.40613.1.1.1.3.2", d, k);
  }
  for (int r = 1; r <= 9; ++r) {
    for (int k = 1; k <= 4; ++k) oids[n++] = FormatOid(".1.3.6.1.4.1.40613.1.1.2.2.4", r, k);
  }
  for (int v = 1; v <= 3; ++v) oids[n++] = FormatOid(".1.3.6.1.4.1.40613.1.1.2.2", 1, v);
  return oids;
}();

constexpr std::size_t kDrumFirst = 0;
constexpr std::size_t kOptionFirst = kDrumOidCount;
constexpr std::size_t kDeviceValueFirst = kDrumOidCount + kOptionOidCount;

constexpr std::size_t kDrumValueSize = 4;
constexpr std::size_t kOptionValueSize = 256;

// A variable bound to its own value buffer.
template <std::size_t Size>
struct Variable {
  std::uint8_t value[Size];
};

template <std::size_t Size>
void Bind(SnmpVarBind& bind, std::size_t oidIndex, std::int32_t type, Variable<Size>& variable) {
  bind = SnmpVarBind{};
  const std::string_view oid = DeviceStatusOid(oidIndex);
  std::memcpy(bind.oid, oid.data(), oid.size());
  bind.type = type;
  bind.bufferSize = static_cast<std::int32_t>(Size);
  bind.buffer = variable.value;
}

// One session to the device, all variables in mode 1, session closed.
int AskDevice(const char* address, SnmpVarBind* binds, int count) {
  if (!address || !*address) return 0;
  SnmpSession* session = nullptr;
  if (SnmpOpen(address, kDeviceCommunity, &session) != kSnmpOk) return 0;
  const int result = SnmpGet(session, binds, count, 1);
  SnmpClose(session);
  return result == kSnmpOk;
}

// An INTEGER value from at most the 4 bytes received.
template <std::size_t Size>
std::int32_t IntegerOf(const SnmpVarBind& bind, const Variable<Size>& variable) {
  std::size_t n = bind.returnedLength > 0 ? static_cast<std::size_t>(bind.returnedLength) : 0;
  if (n > 4) n = 4;
  if (n > Size) n = Size;
  return BigEndianToInt(variable.value, n);
}

int HexDigit(WCHAR c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// Strict a.b.c.d with decimal parts of 1-3 digits, each 0-255.
bool ParseDottedQuad(const char* text, int parts[4]) {
  if (!text) return false;
  const char* p = text;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && *p++ != '.') return false;
    int value = 0;
    int digits = 0;
    while (*p >= '0' && *p <= '9' && digits < 3) {
      value = value * 10 + (*p - '0');
      ++digits;
      ++p;
    }
    if (digits == 0 || value > 255) return false;
    parts[i] = value;
  }
  return *p == '\0';
}

int PickByColor(std::int32_t color, int colorClass, std::int32_t drum1, int c1, std::int32_t drum2, int c2) {
  if (color == drum1) return 0;
  if (color == drum2) return 1;
  const bool like1 = colorClass == c1;
  const bool like2 = colorClass == c2;
  if (like1 && !like2) return 0;
  if (like2 && !like1) return 1;
  return kNoAssignment;
}

}  // namespace

std::string_view DeviceStatusOid(std::size_t index) {
  if (index >= kOids.size()) return {};
  return std::string_view(kOids[index].text, kOids[index].length);
}

std::int32_t DeviceInkToInkCode(std::int32_t deviceCode) {
  if (deviceCode >= 1 && deviceCode <= 63) return 1000 + deviceCode;
  if (deviceCode == 0) return 1032;
  return 1002;
}

std::int32_t BigEndianToInt(const std::uint8_t* bytes, std::size_t count) {
  if (!bytes || count == 0) return 0;
  std::uint32_t value = (bytes[0] & 0x80) ? 0xFFFFFFFFu : 0;
  for (std::size_t i = 0; i < count; ++i) value = (value << 8) | bytes[i];
  return static_cast<std::int32_t>(value);
}

int HexPairToSignedByte(const WCHAR* text, std::int32_t* value) {
  if (!text || !value) return 0;
  const int high = HexDigit(text[0]);
  if (high < 0) return 0;
  const int low = HexDigit(text[1]);
  if (low < 0) return 0;
  const int byte = high * 16 + low;
  *value = byte >= 128 ? byte - 256 : byte;
  return 1;
}

int QueryDrumTable(const char* address, DrumRecord drums[2]) {
  if (!drums) return 0;
  SnmpVarBind binds[kDrumOidCount];
  Variable<kDrumValueSize> values[kDrumOidCount];
  for (std::size_t i = 0; i < kDrumOidCount; ++i) Bind(binds[i], kDrumFirst + i, kSnmpTypeInteger, values[i]);
  if (!AskDevice(address, binds, static_cast<int>(kDrumOidCount))) return 0;
  for (std::size_t d = 0; d < 2; ++d) {
    std::int32_t field[7];
    for (std::size_t k = 0; k < 7; ++k) field[k] = IntegerOf(binds[d * 7 + k], values[d * 7 + k]);
    drums[d] = DrumRecord{field[0], field[1], DeviceInkToInkCode(field[2]), field[3], {field[4], field[5], field[6]}};
  }
  return 1;
}

int QueryOptionTable(const char* address, OptionRecord options[9]) {
  if (!options) return 0;
  SnmpVarBind binds[kOptionOidCount];
  auto* values = new (std::nothrow) Variable<kOptionValueSize>[kOptionOidCount];
  if (!values) return 0;
  for (std::size_t i = 0; i < kOptionOidCount; ++i) {
    Bind(binds[i], kOptionFirst + i, (i % 4 == 3) ? kSnmpTypeOctetString : kSnmpTypeInteger, values[i]);
  }
  const int ok = AskDevice(address, binds, static_cast<int>(kOptionOidCount));
  if (ok) {
    for (std::size_t r = 0; r < 9; ++r) {
      OptionRecord& option = options[r];
      option = OptionRecord{};
      option.Kind = IntegerOf(binds[r * 4], values[r * 4]);
      option.Value = IntegerOf(binds[r * 4 + 1], values[r * 4 + 1]);
      option.ThirdValue = IntegerOf(binds[r * 4 + 2], values[r * 4 + 2]);
      const SnmpVarBind& text = binds[r * 4 + 3];
      std::size_t n = text.returnedLength > 0 ? static_cast<std::size_t>(text.returnedLength) : 0;
      if (n > sizeof option.Text - 1) n = sizeof option.Text - 1;
      std::memcpy(option.Text, values[r * 4 + 3].value, n);
    }
  }
  delete[] values;
  return ok;
}

int QueryDeviceValue(const char* address, std::int32_t* value) {
  if (!value) return 0;
  SnmpVarBind binds[kDeviceValueOidCount];
  Variable<kDrumValueSize> values[kDeviceValueOidCount];
  for (std::size_t i = 0; i < kDeviceValueOidCount; ++i) {
    Bind(binds[i], kDeviceValueFirst + i, kSnmpTypeInteger, values[i]);
  }
  if (!AskDevice(address, binds, static_cast<int>(kDeviceValueOidCount))) return 0;
  *value = IntegerOf(binds[1], values[1]);
  return 1;
}

int RsfStatusPath(const char* address, WCHAR* path, std::size_t pathUnits) {
  int parts[4];
  if (!path || !ParseDottedQuad(address, parts)) return 0;
  WCHAR windows[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(windows, MAX_PATH);
  if (n < 2 || n >= MAX_PATH || windows[1] != u':') return 0;
  // "X:\" + "RSF\R" + 12 digits + ".rsf" + terminator
  constexpr std::size_t kUnits = 3 + 5 + 12 + 4 + 1;
  if (pathUnits < kUnits) return 0;
  WCHAR root[4] = {windows[0], u':', u'\\', 0};
  wsprintfW(path, u"%sRSF\\R%03d%03d%03d%03d.rsf", root, parts[0], parts[1], parts[2], parts[3]);
  return 1;
}

int ReadRsfStatus(const char* address, std::int32_t* ink1, InkLab* lab1, std::int32_t* ink2, InkLab* lab2) {
  if (!ink1 || !lab1 || !ink2 || !lab2) return 0;
  WCHAR path[MAX_PATH];
  if (!RsfStatusPath(address, path, MAX_PATH)) return 0;
  static constexpr const WCHAR* kKeys[8] = {u"ID46", u"ID168", u"ID169", u"ID170",
                                            u"ID48", u"ID171", u"ID172", u"ID173"};
  std::int32_t got[8];
  for (int i = 0; i < 8; ++i) {
    WCHAR text[10] = {};
    if (GetPrivateProfileStringW(u"STATUS", kKeys[i], u"", text, 10, path) == 0) return 0;
    if (!HexPairToSignedByte(text, &got[i])) return 0;
  }
  *ink1 = DeviceInkToInkCode(got[0]);
  *lab1 = InkLab{got[1], got[2], got[3]};
  *ink2 = DeviceInkToInkCode(got[4]);
  *lab2 = InkLab{got[5], got[6], got[7]};
  return 1;
}

int PlaceDrumRecords(const DrumRecord reported[2], DrumRecord drums[2]) {
  DrumRecord placed[2] = {};
  int filled = 0;
  for (int i = 0; i < 2; ++i) {
    const std::int32_t number = reported[i].DrumNumber;
    if ((number == 1 || number == 2) && placed[number - 1].DrumNumber == 0) {
      placed[number - 1] = reported[i];
      ++filled;
    }
  }
  drums[0] = placed[0];
  drums[1] = placed[1];
  return filled;
}

int QueryInstalledDrums(const char* address, DrumRecord drums[2]) {
  if (!drums) return 0;
  DrumRecord reported[2];
  DrumRecord placed[2];
  if (QueryDrumTable(address, reported) && PlaceDrumRecords(reported, placed) == 2) {
    drums[0] = placed[0];
    drums[1] = placed[1];
    return 1;
  }
  std::int32_t ink1;
  std::int32_t ink2;
  InkLab lab1;
  InkLab lab2;
  if (!ReadRsfStatus(address, &ink1, &lab1, &ink2, &lab2)) return 0;
  drums[0] = DrumRecord{1, 0, ink1, 0, lab1};
  drums[1] = DrumRecord{2, 0, ink2, 0, lab2};
  return 1;
}

int HueClass(const InkLab& lab) {
  // 64-bit: the triple may come straight from the device.
  const std::int64_t a = lab.a;
  const std::int64_t b = lab.b;
  const std::uint64_t chroma = static_cast<std::uint64_t>(a * a) + static_cast<std::uint64_t>(b * b);
  if (chroma <= 36) return 0;
  if (a >= 0) return (a + b > 0) ? 1 : 2;
  return (2 * b - a > 0) ? 3 : 2;
}

void AssignDrumColors(std::int32_t colorX, const InkLab& labX, std::int32_t colorY, const InkLab& labY,
                      std::int32_t drum1Color, const InkLab& lab1, std::int32_t drum2Color, const InkLab& lab2,
                      std::int32_t* modeA, std::int32_t* modeB) {
  const bool noInk = IsNoInkLab(lab1) || IsNoInkLab(lab2);
  const int c1 = HueClass(lab1);
  const int c2 = HueClass(lab2);
  const int cX = HueClass(labX);
  const int cY = HueClass(labY);

  if (modeA) {
    std::int32_t result = kNoAssignment;
    if (!noInk) {
      switch (*modeA) {
        case 0: result = PickByColor(colorX, cX, drum1Color, c1, drum2Color, c2); break;
        case 1: result = PickByColor(colorY, cY, drum1Color, c1, drum2Color, c2); break;
        case 2:
        case 4:
          if (c1 == 0 && lab1.L < 35) {
            result = 4;
          } else if (c2 == 0 && lab2.L < 35) {
            result = 2;
          } else if (c1 == 0 && c2 != 0) {
            result = 4;
          } else if (c1 != 0 && c2 == 0) {
            result = 2;
          } else if (lab1.L != lab2.L) {
            result = lab1.L < lab2.L ? 4 : 2;
          }
          break;
        case 3:
        case 5:
          if (c1 == 1 && c2 != 1) result = 3;
          if (c1 != 1 && c2 == 1) result = 5;
          break;
        default: break;
      }
    }
    *modeA = result;
  }

  if (modeB) {
    std::int32_t result = kNoAssignment;
    if (!noInk) {
      switch (*modeB) {
        case 0: result = PickByColor(colorX, cX, drum1Color, c1, drum2Color, c2); break;
        case 1: result = PickByColor(colorY, cY, drum1Color, c1, drum2Color, c2); break;
        case 2: case 3: case 4: case 5: case 6: case 7: {
          struct Pair { int c1, c2; std::int32_t mode; };
          static constexpr Pair kPairs[] = {{1, 0, 2}, {1, 2, 3}, {1, 3, 4}, {0, 1, 5}, {2, 1, 6}, {3, 1, 7}};
          for (const Pair& p : kPairs) {
            if (p.c1 == c1 && p.c2 == c2) result = p.mode;
          }
          break;
        }
        default: break;
      }
    }
    *modeB = result;
  }
}
