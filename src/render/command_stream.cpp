#include "render/command_stream.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "plat/spooler.h"
#include "render/job_files.h"
#include "settings/byte_order.h"

namespace {

template <std::size_t N>
constexpr CommandText Format(const char (&text)[N]) {
  static_assert(N >= 2 && N - 1 <= 0xFFFF);
  return CommandText{text, static_cast<std::uint16_t>(N - 1)};
}

// Format texts of the stream. Each starts with the command byte 0x1E.
constexpr CommandText kPaperSize = Format("\x1E&40;%d;%d&z");
constexpr CommandText kResolution = Format("\x1E&%d;%d&r");
constexpr CommandText kCopies = Format("\x1E&%d&C");
constexpr CommandText kAuthentication = Format("\x1E&%d;%d&q");
constexpr CommandText kRotation = Format("\x1E&%d&J");
constexpr CommandText kContinuous = Format("\x1E&%d&G");
constexpr CommandText kSpeed = Format("\x1E&%d&S");
constexpr CommandText kDensity = Format("\x1E&%d&D");
constexpr CommandText kTwoDensities = Format("\x1E&%d;%d&D");
constexpr CommandText kSort = Format("\x1E&%d&Q");
constexpr CommandText kSort4 = Format("\x1E&%d;%d;%d;%d&Q");
constexpr CommandText kOption = Format("\x1E&%d&O");
constexpr CommandText kOption4 = Format("\x1E&%d;%d;%d;%d&O");
constexpr CommandText kInkLab = Format("\x1E&%d;%d;%d;%d&o");
constexpr CommandText kSetup = Format("\x1E&%d;%d;%d;%d&s");
constexpr CommandText kRecordLength = Format("\x1E&%d&n");
constexpr CommandText kCompression = Format("\x1E&%d&M");
constexpr CommandText kVertical = Format("\x1E&%d&V");
constexpr CommandText kHorizontal = Format("\x1E&%d&H");
constexpr CommandText kLineBytes = Format("\x1E&%d&i");

constexpr std::uint8_t kResetBytes[] = {0x1E, 'R'};
constexpr std::uint8_t kFormFeedByte[] = {0x0C};
// "&64&e" and its fixed block: big-endian words 0, 5, 1, 0, 0, 12, 0, 210, 297, 0, 0, 10, then zeros.
constexpr std::uint8_t kEBlockCommand[] = {0x1E, '&', '6', '4', '&', 'e'};
constexpr std::uint8_t kEBlock[64] = {0x00, 0x00, 0x00, 0x05, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0C,
                                      0x00, 0x00, 0x00, 0xD2, 0x01, 0x29, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0A};

// Build number of the private DEVMODE, sent in the set-up list.
constexpr std::uint16_t kSetupBuildNumber = 518;
constexpr std::uint16_t kPluginSetupBuildNumber = 219;

// Longest formatted command: no format of ours comes near it.
constexpr std::size_t kMaxCommand = 128;

// Formats `format` with the values ("%d" only) into out; returns the length,
// or 0 when the text is not a command format or does not fit.
std::size_t FormatCommand(const CommandText& format, std::span<const std::int64_t> values, char* out,
                          std::size_t cap) {
  if (format.text == nullptr || format.length == 0 || cap == 0) return 0;
  std::size_t o = 0;
  std::size_t next = 0;
  out[o++] = format.text[0];  // the command byte is copied, never formatted
  for (std::size_t i = 1; i < format.length; ++i) {
    const char ch = format.text[i];
    if (ch == '\0') return 0;
    if (ch != '%') {
      if (o >= cap) return 0;
      out[o++] = ch;
      continue;
    }
    if (i + 1 >= format.length || format.text[i + 1] != 'd' || next >= values.size()) return 0;
    ++i;
    const auto r = std::to_chars(out + o, out + cap, values[next++]);
    if (r.ec != std::errc()) return 0;
    o = static_cast<std::size_t>(r.ptr - out);
  }
  return o;
}

std::size_t WriteToPrinter(void* printer, const std::uint8_t* data, std::size_t size) {
  const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 0x40000000));
  DWORD done = 0;
  if (!WritePrinter(static_cast<HANDLE>(printer), const_cast<std::uint8_t*>(data), piece, &done)) return 0;
  if (done > piece) {
    SetLastError(ERROR_WRITE_FAULT);  // a spooler that claims more than it was given
    return 0;
  }
  return done;
}

// A failed job keeps nothing: what is left can never be sent in order.
void FailJob(RenderPdev* pdev, DWORD error) {
  MarkJobFailed(pdev, error);
  pdev->outputFill = 0;
}

// Writes bytes to the job's sink, all of them or fail, carrying on after
// short writes. A sink that fails, takes nothing or claims more than it was
// given fails the job; a failed job writes nothing more.
int WriteToSink(RenderPdev* pdev, const std::uint8_t* data, std::size_t size) {
  if (pdev->jobFailed != 0) return 0;
  if (pdev->sink.write == nullptr) {
    FailJob(pdev, ERROR_INVALID_HANDLE);
    return 0;
  }
  while (size > 0) {
    SetLastError(ERROR_SUCCESS);  // a sink that fails says why
    const std::size_t done = pdev->sink.write(pdev->sink.context, data, size);
    if (done == 0 || done > size) {
      FailJob(pdev, done == 0 ? GetLastError() : ERROR_WRITE_FAULT);
      return 0;
    }
    data += done;
    size -= done;
  }
  return 1;
}

bool Usable(const RenderPdev* pdev) {
  return pdev != nullptr && pdev->outputBuffer != nullptr && pdev->outputFill <= kOutputBufferSize;
}

int PutFormatted(RenderPdev* pdev, const CommandText& format, std::span<const std::int64_t> values) {
  if (!Usable(pdev)) return 0;
  char text[kMaxCommand];
  const std::size_t n = FormatCommand(format, values, text, sizeof text);
  if (n == 0) return 0;
  // The room test uses the formatted length, so no command is ever cut.
  if (pdev->outputFill + n > kOutputBufferSize && !FlushOutput(pdev, 255)) return 0;
  std::memcpy(pdev->outputBuffer->bytes + pdev->outputFill, text, n);
  pdev->outputFill = static_cast<std::uint16_t>(pdev->outputFill + n);
  return 1;
}

int Put1(RenderPdev* pdev, const CommandText& format, std::uint16_t a) { return PutCommand2(pdev, format, a, 0); }
int PutOption4(RenderPdev* pdev, std::uint16_t code) { return PutCommand4(pdev, kOption4, code, 0, 0, 0); }

std::uint16_t Clamp16(std::int64_t v) { return static_cast<std::uint16_t>(std::clamp<std::int64_t>(v, 0, 0xFFFF)); }

int WriteInk(RenderPdev* pdev, std::uint16_t code, const std::int32_t lab[3]) {
  const InkColor ink = InkCodeToRgb(code);
  return PutCommand4(pdev, kOption4, ink.code, ink.rgb[0], ink.rgb[1], ink.rgb[2]) &&
         PutCommand4Int(pdev, kInkLab, ink.code, lab[0], lab[1], lab[2]);
}

int WriteRecord(RenderPdev* pdev, const InfoRecord& record) {
  return Put1(pdev, kRecordLength, record.length) &&
         PutRawBytes(pdev, std::span<const std::uint8_t>(record.bytes, record.length));
}

// Length of a text field that may fill its array without a terminator.
template <std::size_t N>
std::size_t FieldLength(const char (&field)[N]) {
  return static_cast<std::size_t>(std::find(field, field + N, '\0') - field);
}

bool IsLeadByte(std::uint8_t b, std::uint8_t language) {
  if (language == 18) return (b >= 0x81 && b <= 0xA0) || (b >= 0xE0 && b <= 0xFC);
  return b >= 0x81 && b <= 0xFE;  // 19, 20
}

}  // namespace

OutputSink SpoolerSink(HANDLE printer) { return OutputSink{printer, WriteToPrinter, nullptr, nullptr}; }

int ResumeOutput(RenderPdev* pdev) {
  if (pdev->sink.resume == nullptr) return 1;
  if (pdev->jobFailed != 0) return 0;
  if (!pdev->sink.resume(pdev->sink.context)) {
    FailJob(pdev, GetLastError());
    return 0;
  }
  return 1;
}

int PauseOutput(RenderPdev* pdev, BOOL testFailure) {
  if (pdev->sink.pause != nullptr) pdev->sink.pause(pdev->sink.context);
  return testFailure && pdev->jobFailed ? 0 : 1;
}

int AllocateOutputBuffer(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  if (pdev->outputBuffer != nullptr) return 1;
  pdev->outputBuffer = static_cast<OutputBuffer*>(GlobalAlloc(GPTR, sizeof(OutputBuffer)));
  pdev->outputFill = 0;
  return pdev->outputBuffer != nullptr ? 1 : 0;
}

void FreeOutputBuffer(RenderPdev* pdev) {
  if (pdev == nullptr) return;
  if (pdev->outputBuffer != nullptr) GlobalFree(pdev->outputBuffer);
  pdev->outputBuffer = nullptr;
  pdev->outputFill = 0;
}

int PutCommand2(RenderPdev* pdev, const CommandText& format, std::uint16_t a, std::uint16_t b) {
  const std::int64_t values[] = {a, b};
  return PutFormatted(pdev, format, values);
}

int PutCommand4(RenderPdev* pdev, const CommandText& format, std::uint16_t a, std::uint16_t b, std::uint16_t c,
                std::uint16_t d) {
  const std::int64_t values[] = {a, b, c, d};
  return PutFormatted(pdev, format, values);
}

int PutCommand4Int(RenderPdev* pdev, const CommandText& format, std::int32_t a, std::int32_t b, std::int32_t c,
                   std::int32_t d) {
  const std::int64_t values[] = {a, b, c, d};
  return PutFormatted(pdev, format, values);
}

int PutRawBytes(RenderPdev* pdev, std::span<const std::uint8_t> bytes) {
  if (!Usable(pdev) || bytes.empty()) return 0;
  const std::uint8_t* data = bytes.data();
  std::size_t size = bytes.size();
  std::uint8_t* buffer = pdev->outputBuffer->bytes;
  const std::size_t room = kOutputBufferSize - pdev->outputFill;
  if (size <= room) {
    std::memcpy(buffer + pdev->outputFill, data, size);
    pdev->outputFill = static_cast<std::uint16_t>(pdev->outputFill + size);
    return 1;
  }
  // Fill the room and empty the buffer, so the sink sees large blocks in order.
  std::memcpy(buffer + pdev->outputFill, data, room);
  pdev->outputFill = static_cast<std::uint16_t>(kOutputBufferSize);
  data += room;
  size -= room;
  if (!FlushOutput(pdev, 1)) return 0;
  if (size > kOutputBufferSize) return WriteToSink(pdev, data, size);
  std::memcpy(buffer, data, size);
  pdev->outputFill = static_cast<std::uint16_t>(size);
  return 1;
}

int FlushOutput(RenderPdev* pdev, std::uint16_t threshold) {
  if (!Usable(pdev)) return 0;
  if (threshold == 0) threshold = 1;
  if (pdev->jobFailed != 0) return 0;
  if (pdev->outputFill < threshold) return 1;
  // The whole fill goes out: the sinks carry on after short writes, so what
  // stays behind is never more than the threshold allows.
  if (!WriteToSink(pdev, pdev->outputBuffer->bytes, pdev->outputFill)) return 0;
  pdev->outputFill = 0;
  return 1;
}

int FlushOutputAll(RenderPdev* pdev) { return FlushOutput(pdev, 1); }

InkColor InkCodeToRgb(std::int32_t code) {
  if (code >= 0 && code <= 63) code += 1000;
  if (code < 1000 || code > 1063) code = 1032;
  const std::uint8_t* row = InkColorTable[code - 1000];
  return InkColor{static_cast<std::uint16_t>(code), {row[0], row[1], row[2]}};
}

bool FormatInfoRecord(InfoRecord& record, const char tag[4], std::span<const char> value) {
  if (value.size() > 256) return false;
  char digits[8];
  const auto r = std::to_chars(digits, digits + sizeof digits, value.size());
  const std::size_t n = static_cast<std::size_t>(r.ptr - digits);
  std::uint8_t* p = record.bytes;
  *p++ = 0x1F;
  std::memcpy(p, tag, 4);
  p += 4;
  for (std::size_t k = n; k < 4; ++k) *p++ = '0';  // "%04d"
  std::memcpy(p, digits, n);
  p += n;
  *p++ = 0x1F;
  if (!value.empty()) std::memcpy(p, value.data(), value.size());
  p += value.size();
  record.length = static_cast<std::uint16_t>(p - record.bytes);
  return true;
}

void ReduceToFileName(char (&name)[256], std::uint8_t language) {
  std::size_t len = FieldLength(name);
  if (len == sizeof name) name[--len] = '\0';  // keep the terminator inside the field
  const auto* b = reinterpret_cast<const std::uint8_t*>(name);
  std::size_t start = 0;
  if (language >= 18 && language <= 20) {
    for (std::size_t i = 0; i < len;) {
      if (IsLeadByte(b[i], language)) {
        i += 2;  // the trail byte may be 0x5C and is no separator
        continue;
      }
      if (b[i] == '\\') start = i + 1;
      ++i;
    }
  } else {
    for (std::size_t i = len; i-- > 1;) {
      if (b[i] == '\\') {
        start = i + 1;
        break;
      }
    }
  }
  if (start == 0) return;
  std::memmove(name, name + start, len - start);
  name[len - start] = '\0';
}

int WriteReset(RenderPdev* pdev) { return PutRawBytes(pdev, kResetBytes); }
int WriteJobEnd(RenderPdev* pdev) { return PutRawBytes(pdev, kResetBytes); }
int WriteFormFeed(RenderPdev* pdev) { return PutRawBytes(pdev, kFormFeedByte); }

namespace {

// The on/off and kind options of the job header ("&O"), in the order they
// are sent: a value with a code of its own sends that code, any other value
// the first code. The entry without a value is the output destination.
struct HeaderOption {
  std::uint8_t (*value)(const RenderPdev&);
  std::uint16_t codes[3];
  std::uint8_t count;
  bool fourValues;  // "&code;0;0;0&O"
};
constexpr HeaderOption kHeaderOptions[] = {
    {[](const RenderPdev& p) { return p.turbo; }, {51, 52}, 2, false},
    {[](const RenderPdev& p) { return p.interval; }, {61, 62}, 2, false},
    {[](const RenderPdev& p) { return p.separationKindTwo; }, {71, 72}, 2, false},
    {nullptr, {}, 0, false},
    {[](const RenderPdev& p) { return p.inkSaving; }, {91, 92}, 2, false},
    {[](const RenderPdev& p) { return p.duplex; }, {95, 96, 97}, 3, true},
    {[](const RenderPdev& p) { return p.drum2LightPrint; }, {98, 99}, 2, true},
};

std::uint16_t OptionCode(const HeaderOption& option, std::uint8_t value) {
  return value < option.count ? option.codes[value] : option.codes[0];
}

// 80 + hold box; a storage job names its folder (81..86, else 81) or the
// automatic folder (87).
std::uint16_t DestinationCode(const RenderPdev& p) {
  if (p.outputMode == OutputMode::StorageFolder)
    return (p.storageFolder >= 1 && p.storageFolder <= 6) ? 80 + p.storageFolder : 81;
  if (p.outputMode == OutputMode::StorageAutomatic) return 87;
  return static_cast<std::uint16_t>(80 + p.holdBox);
}

}  // namespace

int WriteJobHeader(RenderPdev* pdev) {
  if (!Usable(pdev)) return 0;
  if (!WriteReset(pdev)) return 0;
  if (!PutRawBytes(pdev, kEBlockCommand) || !PutRawBytes(pdev, kEBlock)) return 0;

  // Paper in whole millimetres, portrait terms.
  std::uint32_t width = pdev->paperWidth;
  std::uint32_t length = pdev->paperLength;
  if (pdev->customPosition != 0) {
    width = pdev->outputPaperWidth;
    length = pdev->outputPaperLength;
  } else if (pdev->orientation == 90) {
    std::swap(width, length);
  }
  if (!PutCommand2(pdev, kPaperSize, Clamp16((width + 9) / 10), Clamp16((length + 9) / 10))) return 0;

  std::uint16_t dpiX = pdev->resolutionX;
  std::uint16_t dpiY = pdev->resolutionY;
  if (pdev->resolutionMode == 2) {
    dpiX = 300;
    dpiY = 600;
  } else if (pdev->resolutionMode == 1) {
    dpiX = 300;
    dpiY = 400;
  } else if (pdev->orientation == 90) {
    std::swap(dpiX, dpiY);
  }
  if (!PutCommand2(pdev, kResolution, dpiX, dpiY)) return 0;

  pdev->copies = std::clamp<std::uint16_t>(pdev->copies, 1, 9999);
  if (!Put1(pdev, kCopies, pdev->copies)) return 0;
  if (pdev->authenticationOn != 0 &&
      !PutCommand2(pdev, kAuthentication, 2, static_cast<std::uint16_t>(pdev->authenticationNumber)))
    return 0;
  if (!Put1(pdev, kRotation, static_cast<std::uint16_t>(pdev->rotate180 + 1))) return 0;
  std::uint16_t continuous = 1;
  if (pdev->continuousMode == 1) continuous = 6;
  if (pdev->continuousMode == 2) continuous = 2;
  if (pdev->continuousMode == 3) continuous = 7;
  if (!Put1(pdev, kContinuous, continuous)) return 0;
  if (pdev->confidential != 0 && !Put1(pdev, kContinuous, 8)) return 0;
  if (!Put1(pdev, kSpeed, pdev->speed)) return 0;
  if (pdev->drumCount == 2) {
    if (!WriteTwoDensities(pdev)) return 0;
  } else if (!Put1(pdev, kDensity, pdev->densities[0])) {
    return 0;
  }
  if (!Put1(pdev, kSort, pdev->sortMode) || !Put1(pdev, kSort, static_cast<std::uint16_t>(pdev->staple + 10)))
    return 0;

  if (pdev->programPrint == 0) {
    if (!PutCommand4(pdev, kSort4, 51, 0, 0, 0)) return 0;
  } else {
    std::uint16_t code = 0;
    if (pdev->programSeparator == 0) code = 52;
    if (pdev->programSeparator == 1) code = 53;
    if (pdev->programSeparator == 2) code = 54;
    std::uint16_t sent = 0;
    for (const auto& row : pdev->programRows) {
      if (row[0] == 0) continue;
      ++sent;
      if (!PutCommand4(pdev, kSort4, code, sent, Clamp16(row[1]), Clamp16(row[0]))) return 0;
    }
  }
  const std::uint16_t interleaf = pdev->interleaf <= 2 ? static_cast<std::uint16_t>(40 + pdev->interleaf) : 43;
  if (!PutCommand4(pdev, kSort4, interleaf, 0, 0, 0)) return 0;
  for (const HeaderOption& option : kHeaderOptions) {
    const std::uint16_t code = option.value ? OptionCode(option, option.value(*pdev)) : DestinationCode(*pdev);
    if (!(option.fourValues ? PutOption4(pdev, code) : Put1(pdev, kOption, code))) return 0;
  }

  return WriteJobInfoRecords(pdev) && WriteBinOption(pdev) && WriteOutputModeOption(pdev) &&
         WriteColourModeOption(pdev) && WriteRgPanelOption(pdev) && WriteSetupList(pdev) &&
         WriteTapeSortOption(pdev);
}

int WriteTwoDensities(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  std::uint16_t first = pdev->densities[0];
  std::uint16_t second = pdev->densities[1];
  if (pdev->colorMode != 2) {
    if (pdev->oneInkDrum == 1) {
      first = 0;
    } else {
      second = 0;
    }
  }
  return PutCommand2(pdev, kTwoDensities, first, second);
}

int WriteJobInfoRecords(RenderPdev* pdev) {
  if (!Usable(pdev)) return 0;
  JobTextBlock& texts = pdev->jobText;
  InfoRecord record;

  ReduceToFileName(texts.jobName, pdev->languageNumber);
  FormatInfoRecord(record, "FILE", std::span<const char>(texts.jobName, FieldLength(texts.jobName)));
  if (!WriteRecord(pdev, record)) return 0;

  SetJobHeaderText(pdev, kJobHeaderDate);
  FormatInfoRecord(record, "TIME", std::span<const char>(texts.dateText, FieldLength(texts.dateText)));
  if (!WriteRecord(pdev, record)) return 0;

  FormatInfoRecord(record, "HOST", std::span<const char>(texts.userName, FieldLength(texts.userName)));
  return WriteRecord(pdev, record);
}

int WriteBinOption(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  static constexpr std::uint16_t kBinCodes[] = {9, 2, 3, 0};
  const std::uint16_t code = pdev->binIndex < 4 ? kBinCodes[pdev->binIndex] : 1;
  return PutOption4(pdev, code);
}

int WriteOutputModeOption(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  const bool option = pdev->jobText.jobOption == 1;
  std::uint16_t code = 11;
  if (IsStorageMode(pdev->outputMode)) code = option ? 17 : 16;
  if (pdev->outputMode == OutputMode::PrintAndHold) code = option ? 15 : 14;
  if (pdev->outputMode == OutputMode::HoldOnly) code = option ? 13 : 12;
  return PutOption4(pdev, code);
}

int WriteColourModeOption(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  std::uint16_t code;
  if (IsDuplexKind(pdev->duplex)) {
    code = 37;
  } else if (pdev->colorMode != 2) {
    code = pdev->oneInkDrum == 1 ? 32 : 31;
  } else if (pdev->masterSelection == 0) {
    code = 35;
  } else if (pdev->masterSelection == 1) {
    code = 36;
  } else {
    code = (pdev->masterSelection == 2 && pdev->option2025 == 1) ? 34 : 33;
  }
  return PutOption4(pdev, code);
}

int WriteRgPanelOption(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  return PutOption4(pdev, pdev->panelReset != 0 ? 42 : 41);
}

int WriteSetupList(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  const std::uint8_t language = pdev->languageNumber;
  const std::int32_t* m = pdev->rawMargins;  // left, top, right, bottom
  return PutCommand4(pdev, kSetup, (language >= 1 && language <= 30) ? language : 0, 0, 0, 0) &&
         PutCommand4(pdev, kSetup, pdev->systemCode, 0, 0, 0) && PutCommand4(pdev, kSetup, 201, 333, 0, 0) &&
         PutCommand4(pdev, kSetup, 211, IsPluginPdev(pdev) ? kPluginSetupBuildNumber : kSetupBuildNumber, 1, 0) &&
         PutCommand4(pdev, kSetup, 301, Clamp16(m[1]), Clamp16(m[0]), Clamp16(m[3]));
}

int WriteTapeSortOption(RenderPdev* pdev) {
  if (pdev == nullptr) return 0;
  const std::uint8_t t = pdev->tapeSort;
  return PutCommand4(pdev, kSort4, (t >= 1 && t <= 5) ? 30 + t : 30, 0, 0, 0);
}

int WriteDrum1Ink(RenderPdev* pdev) { return pdev != nullptr && WriteInk(pdev, pdev->drum1Ink, pdev->drum1Lab); }
int WriteDrum2Ink(RenderPdev* pdev) { return pdev != nullptr && WriteInk(pdev, pdev->drum2Ink, pdev->drum2Lab); }

int WriteThumbnail(RenderPdev* pdev, std::span<const std::uint8_t> pixels, std::uint32_t width,
                   std::uint32_t height) {
  constexpr std::uint32_t kBitmapHeaders = 14 + 40 + 256 * 4;  // 1078
  constexpr std::uint32_t kRecordHead = 1 + 4 + 6 + 1;
  if (width == 0 || height == 0 || width % 4 != 0 || width > 0xFFFF || height > 0xFFFF) return 0;
  const std::uint64_t count = std::uint64_t(width) * height;
  if (count + kBitmapHeaders + kRecordHead > 0xFFFF || pixels.size() != count) return 0;
  const auto image = static_cast<std::uint32_t>(count);
  const std::uint32_t fileSize = image + kBitmapHeaders;

  std::uint8_t head[kRecordHead + kBitmapHeaders] = {};
  std::uint8_t* p = head;
  char text[16];
  const auto r = std::to_chars(text, text + sizeof text, fileSize);
  const std::size_t digits = static_cast<std::size_t>(r.ptr - text);
  *p++ = 0x1F;
  std::memcpy(p, "THUM", 4);
  p += 4;
  for (std::size_t k = digits; k < 6; ++k) *p++ = '0';  // "%06d"
  std::memcpy(p, text, digits);
  p += digits;
  *p++ = 0x1F;
  // BITMAPFILEHEADER
  *p++ = 'B';
  *p++ = 'M';
  PutLe32(p, fileSize);
  PutLe32(p + 4, 0);
  PutLe32(p + 8, kBitmapHeaders);
  p += 12;
  // BITMAPINFOHEADER
  PutLe32(p, 40);
  PutLe32(p + 4, width);
  PutLe32(p + 8, height);
  PutLe16(p + 12, 1);
  PutLe16(p + 14, 8);
  PutLe32(p + 16, 0);
  PutLe32(p + 20, image);
  p += 40;  // resolutions and colour counts stay 0
  for (std::uint32_t i = 0; i < 256; ++i) {
    *p++ = static_cast<std::uint8_t>(i);
    *p++ = static_cast<std::uint8_t>(i);
    *p++ = static_cast<std::uint8_t>(i);
    *p++ = 0;
  }
  return Put1(pdev, kRecordLength, static_cast<std::uint16_t>(image + kBitmapHeaders + kRecordHead)) &&
         PutRawBytes(pdev, head) && PutRawBytes(pdev, pixels);
}

int WriteCompressionMode(RenderPdev* pdev, std::int16_t mode) {
  if (pdev == nullptr || mode < 0) return 0;
  if (!Put1(pdev, kCompression, static_cast<std::uint16_t>(mode))) return 0;
  pdev->compressionMode = mode;
  return 1;
}

int WriteLinePosition(RenderPdev* pdev, std::int32_t line) {
  if (pdev == nullptr) return 0;
  const std::int64_t dpiX = pdev->resolutionMode == 2 ? 300 : pdev->resolutionX;
  const std::int64_t dpiY = pdev->resolutionY;
  std::int64_t v = line;
  std::int64_t h;
  if (pdev->customPosition == 0) {
    v += TenthMmToDots(pdev->marginTop, dpiY);
    h = TenthMmToDots(pdev->marginLeft, dpiX);
  } else if (!IsDuplexKind(pdev->duplex)) {
    v += TenthMmToDots(pdev->frontY, dpiY);
    h = TenthMmToDots(pdev->frontX, dpiX);
  } else {
    const bool back = (pdev->sheetCounter & 1) != 0;  // odd sheets are backs
    const std::int32_t y = back ? pdev->backY : pdev->frontY;
    if (y > 0) v += TenthMmToDots(y, dpiY);
    h = TenthMmToDots(back ? pdev->backX : pdev->frontX, dpiX);
  }
  if (v < 0 || v > 0xFFFF || h < 0 || h > 0xFFFF) return 0;
  return Put1(pdev, kVertical, static_cast<std::uint16_t>(v)) && Put1(pdev, kHorizontal, static_cast<std::uint16_t>(h));
}

int WriteRasterLine(RenderPdev* pdev, std::span<const std::uint8_t> packed) {
  if (packed.empty() || packed.size() > 0xFFFF) return 0;
  return Put1(pdev, kLineBytes, static_cast<std::uint16_t>(packed.size())) && PutRawBytes(pdev, packed);
}
